#include "phone/reply_classifier.h"

#include <gtest/gtest.h>

#include <clocale>
#include <initializer_list>
#include <string>

namespace phone {
namespace {

TEST(ClassifyReply, EveryKeywordGivesItsIndex) {
    const char16_t* const expected[] = {
        u"RING",     u"+CSQ:",       u"+CBC:",     u"+CLIP:",  u"SONY",        u"NOKIA",
        u"+CPBR:",   u"+CMTI:",      u"+CMGR:",    u"OK",      u"DIRBACK",     u"SOURCE",
        u"GOTO",     u"NEXT",        u"PREV",      u"VOL+",    u"VOL-",        u"HIBERNATE",
        u"PLAY",     u"RELAY",       u"MUTE",      u"TUNEUP",  u"TUNEDOWN",    u"SETFREQ",
        u"MINIMISE", u"PICTUREPATH", u"VIDEOPATH", u"SHUFFLE", u"SAVETORADIO", u"SETPICTUREPATH",
        u"PICBACK",  u"SAVETOSKIN",  u"SAVEROFF",  u"SAVERON", u"VISSETUP",    u"REPEAT",
        u"RADIOAF",
    };
    static_assert(std::size(expected) == 37);
    for (int i = 0; i < 37; ++i) {
        EXPECT_EQ(ClassifyReply(std::u16string_view(expected[i])), i);
    }
}

// Cases checked under whatever locale the process runs in.
void expectCaseRules() {
    struct Case {
        std::u16string text;
        int index;
    };
    const Case cases[] = {
        {u"ok", 9},
        {u"Ok", 9},
        {u"OK", 9},
        {u"Nokia", 5},
        {u"nokia", 5},
        {u"ring", 0},
        {u"+csq:", 1},
        {u"Sony", 4},
        {u"vol-", 16},
        {u"RadioAf", 36},
        // Whole text only.
        {u"+CSQ", -1},
        {u"+CSQ:20", -1},
        {u" OK", -1},
        {u"OK\r", -1},
        {std::u16string(u"OK\0", 3), -1},
        {u"RINGS", -1},
        {u"", -1},
        // Dotted capital and dotless small i are different letters, not case variants.
        {u"NOK\u0130A", -1},
        {u"nok\u0131a", -1},
        {u"\u0130\u015eTE", -1},
        // No 1254 byte: becomes '?'.
        {u"\u4e00", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(ClassifyReply(std::u16string_view(c.text)), c.index);
    }
}

TEST(ClassifyReply, IgnoresAsciiCaseOnlyAndMatchesWholeTexts) {
    expectCaseRules();
    EXPECT_EQ(ClassifyReply(std::string_view("nOkIa")), 5);
    EXPECT_EQ(ClassifyReply(std::string_view("NOK\xDD"
                                             "A")),
              -1);  // 'İ' in 1254
}

TEST(ClassifyReply, TurkishLocaleChangesNothing) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const char* turkish = nullptr;
    for (const char* name : {"tr_TR.UTF-8", "tr_TR.utf8", "tr_TR.ISO-8859-9", "tr_TR"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            turkish = name;
            break;
        }
    }
    if (turkish == nullptr) {
        GTEST_SKIP() << "no Turkish locale installed";
    }
    expectCaseRules();
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace phone
