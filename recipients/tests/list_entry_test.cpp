#include "recipients/list_entry.h"

#include <gtest/gtest.h>

namespace recipients {
namespace {

TEST(ListEntry, DropsInvisibleFormattingAndRefusesOtherScripts) {
    struct Case {
        std::u16string text;
        bool taken;
        std::string entry;
    };
    const Case cases[] = {
        {u"0532 111 22 33", true, "0532 111 22 33"},
        {u"\u200E+90\u202A532\u202C1112233\uFEFF", true, "+905321112233"},
        {u"\u00AD0532\u2066", true, "0532"},
        {u"Şükrü 0533€", true, "\xDE\xFCkr\xFC 0533\x80"},
        {u"Привет 0533€", false, ""},
        {u"0532\U0001F600", false, ""},  // an emoji (a surrogate pair)
        {u"\xD800"
         u"0532",
         false, ""},  // a lone surrogate
        {std::u16string(kMaxEntryLength, u'1'), true, std::string(kMaxEntryLength, '1')},
        {std::u16string(kMaxEntryLength + 1, u'1'), false, ""},
    };
    for (const auto& c : cases) {
        ImportResult r;
        EXPECT_EQ(addEntry(r, c.text), c.taken);
        EXPECT_EQ(r.entries.size(), c.taken ? 1u : 0u);
        EXPECT_EQ(r.refused.size(), c.taken ? 0u : 1u);
        if (c.taken && !r.entries.empty()) {
            EXPECT_EQ(r.entries[0], c.entry);
        }
    }
}

TEST(ListEntry, RefusalMessageNamesTheFirstFiveShortened) {
    std::vector<std::string> refused;
    for (int i = 0; i < 7; ++i) {
        refused.push_back("Привет" + std::to_string(i));
    }
    refused[0] = std::string(60, 'x') + "Я";
    const std::string m = refusalMessage(refused);
    EXPECT_EQ(m.rfind("7 kayıt listeye alınmadı:", 0), 0u) << m;
    EXPECT_NE(m.find("\"" + std::string(40, 'x') + "…\""), std::string::npos) << m;
    EXPECT_NE(m.find("Привет4"), std::string::npos);
    EXPECT_EQ(m.find("Привет5"), std::string::npos);
    EXPECT_NE(m.find("1254"), std::string::npos);
}

}  // namespace
}  // namespace recipients
