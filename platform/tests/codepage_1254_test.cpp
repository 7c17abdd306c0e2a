#include "platform/codepage_1254.h"

#include <gtest/gtest.h>

namespace platform::cp1254 {

TEST(Codepage1254, TurkishLettersAndTheHighRangeRoundTrip) {
    // "Gönderilecek SMS metini" style text with every Turkish letter.
    const std::string utf8 = "ÇçĞğİıÖöŞşÜü €‚™";
    bool lossy = true;
    const std::string bytes = fromUtf8(utf8, &lossy);
    EXPECT_FALSE(lossy);
    EXPECT_EQ(bytes, "\xC7\xE7\xD0\xF0\xDD\xFD\xD6\xF6\xDE\xFE\xDC\xFC\x20\x80\x82\x99");
    EXPECT_EQ(toUtf8(bytes), utf8);
}

TEST(Codepage1254, EveryByteRoundTripsThroughUnicode) {
    for (int b = 0; b < 256; ++b) {
        const auto ch = toUnicode(static_cast<unsigned char>(b));
        auto back = fromUnicode(ch);
        ASSERT_TRUE(back.has_value()) << b;
        EXPECT_EQ(*back, b);
    }
}

TEST(Codepage1254, CharactersWithoutAByteAreReported) {
    struct Case {
        std::u16string text;
        std::string bytes;
        bool lossy;
    } cases[] = {
        {u"abc", "abc", false},         {u"\u00D0", "?", true},  // Latin Ð: its place holds Ğ
        {u"\u0416x", "?x", true},                                // Cyrillic
        {u"a\U0001F600b", "a?b", true},                          // one '?' for a surrogate pair
        {u"\xD800", "?", true},                                  // lone surrogate
    };
    for (const auto& c : cases) {
        bool lossy = !c.lossy;
        EXPECT_EQ(fromUtf16(c.text, &lossy), c.bytes);
        EXPECT_EQ(lossy, c.lossy);
    }
}

TEST(Codepage1254, Utf8AndUtf16Convert) {
    EXPECT_EQ(utf8ToUtf16("aş😀"), u"aş😀");
    EXPECT_EQ(utf16ToUtf8(u"aş😀"), "aş😀");
    bool lossy = false;
    EXPECT_EQ(fromUtf8("a\xC3", &lossy), "a?");  // cut sequence
    EXPECT_TRUE(lossy);
}

}  // namespace platform::cp1254
