#include "sms/gsm_alphabet.h"

#include <gtest/gtest.h>

#include <set>

namespace sms {
namespace {

TEST(GsmAlphabet, MapGsmCharTakesTheLowestIndexThenTheExtensionThenTheQuestionMark) {
    struct Case {
        unsigned char ansi;
        GsmCode expected;
    };
    const Case cases[] = {
        {0x40, {0x00, false}},  // @
        {0x24, {0x02, false}},  // $
        {0x5B, {0x3C, true}},   // [
        {0x0C, {0x0A, true}},   // form feed
        {0x7E, {0x3D, true}},   // ~
        {0x60, {0x3F, false}},  // grave accent: not in the alphabet
        {0xA9, {0xA9, false}},  // ©: only as 8-bit data
        {0x0D, {0x0D, false}},  // CR
        {0x0A, {0x0A, false}},  // LF
        {0xC4, {0x10, false}},  // Ä: Δ at 0x10 comes before Ä at 0x5B
        {0xD6, {0x12, false}},  // Ö: Φ before Ö
        {0xD8, {0x0B, false}},  // Ø before Ψ
        {0xB7, {0x88, false}},  // middle dot moved to 0x88
        {0x00, {0x1B, false}},  // the escape's entry
        {0xF8, {0x0C, false}},  // ø
        {0xFA, {0x06, false}},  // ú sits where the alphabet has ù
        {0xA3, {0x01, false}},  // £
        {0xBF, {0x60, false}},  // ¿
        {0xFE, {0xFE, false}},  // ş
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MapGsmChar(c.ansi), c.expected) << std::hex << int(c.ansi);
    }
}

// Checks the table and the reverse index byte by byte against a plain linear search and
// against the byte classes the alphabet is defined by.
TEST(GsmAlphabet, EveryByteFallsInItsClass) {
    std::set<int> questionMark = {0x60, 0x7F, 0xA0, 0xAD, 0xF7};
    for (int b = 0x01; b <= 0x09; ++b)
        questionMark.insert(b);
    questionMark.insert(0x0B);
    for (int b = 0x0E; b <= 0x1F; ++b)
        questionMark.insert(b);
    for (int b = 0x80; b <= 0x9F; ++b)
        questionMark.insert(b);
    std::set<int> dataOnly = {0xA2, 0xA6};
    for (int b = 0xA8; b <= 0xAC; ++b)
        dataOnly.insert(b);
    for (int b = 0xAE; b <= 0xBE; ++b)
        dataOnly.insert(b);

    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        const GsmCode got = MapGsmChar(static_cast<unsigned char>(b));
        int linear = -1;
        for (int i = 0; i < 256 && linear < 0; ++i) {
            if (GsmToAnsi[i] == b)
                linear = i;
        }
        if (linear >= 0) {
            EXPECT_EQ(got, (GsmCode{static_cast<unsigned char>(linear), false}));
        } else if (!got.extension) {
            EXPECT_EQ(got.code, 0x3F);
        }
        EXPECT_EQ(questionMark.count(b) == 1, !got.extension && got.code == 0x3F && b != 0x3F);
        if (b < 0xC0) {
            EXPECT_EQ(dataOnly.count(b) == 1, (got.code & 0x80) != 0);
        }
    }
    for (const auto& e : GsmExtension) {
        EXPECT_EQ(MapGsmChar(e.ansi), (GsmCode{e.code, true}));
    }
}

TEST(GsmAlphabet, ChooseCodingLetsTheFirstDecidingByteWin) {
    struct Case {
        std::u16string text;
        SmsCoding expected;
    };
    const Case cases[] = {
        {u"", SmsCoding::Gsm7},
        {u"Merhaba", SmsCoding::Gsm7},
        {u"Günaydın", SmsCoding::Ucs2},
        {u"İstanbul", SmsCoding::Ucs2},
        {u"50 €", SmsCoding::Gsm7},  // the euro sign goes as '?'
        {u"[{~}]|\\^\f\r\n£¥§¡¿¤", SmsCoding::Gsm7},
        {u"©ş", SmsCoding::Data8},  // 0xA9 decides before ş
        {u"ş©", SmsCoding::Ucs2},
        {u"a·b", SmsCoding::Data8},  // middle dot
        {u"©Ж", SmsCoding::Ucs2},    // no 1254 byte wins over anything before it
        {u"©λ", SmsCoding::Ucs2},
        {u"ok \U0001F600", SmsCoding::Ucs2},
        {u"Ä", SmsCoding::Ucs2},  // in the alphabet, but 0xC0 or more
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseCoding(c.text), c.expected) << testing::PrintToString(c.text);
    }
}

}  // namespace
}  // namespace sms
