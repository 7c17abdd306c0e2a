// Which replies ask to be left off further runs.
#include "sms/opt_out_reply.h"

#include <gtest/gtest.h>

namespace sms {
namespace {

TEST(OptOutReplyTest, AKeywordAtTheStartFollowedByNoLetterAsks) {
    const struct {
        std::u16string text;
        bool asks;
    } cases[] = {
        {u"RET", true},
        {u"İptal", true},
        {u"iptal", true},
        {u"Iptal", true},  // written without the Turkish keyboard
        {u"IPTAL", true},
        {u"  ret.", true},
        {u"Ret lütfen", true},
        {u"\"Stop\"", true},
        {u"...DUR!!", true},
        {u"RET😀", true},
        {u"\n\tRET\r\n", true},
        {u"Retro kampanya ne zaman?", false},
        {u"Durum nedir?", false},
        {u"İptalci", false},
        {u"Stopaj", false},
        {u"Lütfen ret", false},  // only the start of a reply counts
        {u"", false},
        {u"  ...  ", false},
        {u"RE T", false},
        {u"Tamam", false},
    };
    const auto keywords = defaultOptOutKeywords();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        EXPECT_EQ(isOptOutReply(c.text, keywords), c.asks);
    }
}

// The list comes from the settings: a keyword as the user typed it, in any case, and an
// empty one that must not match everything.
TEST(OptOutReplyTest, UserKeywordsFoldLikeTheReply) {
    const std::vector<std::u16string> keywords = {u"", u"istemiyorum", u"ÇIK"};
    EXPECT_TRUE(isOptOutReply(u"İSTEMİYORUM", keywords));
    EXPECT_TRUE(isOptOutReply(u"çık", keywords));
    EXPECT_FALSE(isOptOutReply(u"ISTEMIYORUM", keywords));  // ı is not i
    EXPECT_FALSE(isOptOutReply(u"merhaba", keywords));
    EXPECT_EQ(foldTurkish(u"İIĞŞÇÖÜ"), u"iığşçöü");
}

}  // namespace
}  // namespace sms
