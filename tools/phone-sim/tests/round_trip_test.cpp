// Texts of every coding and length, encoded by the program's encoder, submitted to the
// simulated phone, decoded by its own decoder and put back together: the same text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/codepage_1254.h"
#include "sms/message_parts.h"
#include "tools/phone-sim/concatenation.h"
#include "tools/phone-sim/modem.h"

namespace phonesim {
namespace {

struct Pool {
    const char* name;
    std::u16string characters;  // drawn from at random
    bool turkish;               // EncodeOptions::TurkishTables
    sms::SmsCoding coding;      // the coding the texts must get
    sms::ShiftTables shift = sms::ShiftTables::None;
};

// 8-bit data is shown by the decoder byte by byte: printable ASCII as it is, others \xNN.
std::string shownAsData(const std::u16string& text) {
    std::string out;
    for (char c : platform::cp1254::fromUtf16(text)) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", b);
            out += buf;
        }
    }
    return out;
}

TEST(RoundTrip, RandomTextsComeBackWhole) {
    const std::u16string ascii =
        u"abcdefghijklmnopqrstuvwxyzABCXYZ0123456789 .,:;!?()'\"-+=/*%&#<>";
    const Pool pools[] = {
        {"7-bit with extension characters", ascii + u"[]{}|^~\\\r\n£¥§¡¿", false,
         sms::SmsCoding::Gsm7},
        {"8-bit data", u"abcXYZ 0123©®°±µ¶«»", false, sms::SmsCoding::Data8},
        {"UCS-2: Turkish without the tables", ascii + u"şğıİĞŞçÇüÖ", false, sms::SmsCoding::Ucs2},
        {"UCS-2: Cyrillic and emoji", u"абвгд \U0001F600\U0001F44D x", true, sms::SmsCoding::Ucs2},
        {"real default alphabet", ascii + u"üÜöÖéÉàèìòÅåÆæßØøΔΦΓΛΩΠΨΣΘΞ€[]{}|^~\\", true,
         sms::SmsCoding::Gsm7},
        {"Turkish single shift", ascii + ascii + ascii + u"şğıİĞŞçèìæ", true, sms::SmsCoding::Gsm7,
         sms::ShiftTables::TurkishSingle},
        {"Turkish locking shift", u"şğıİĞŞçÇüÜöÖ abc[]€", true, sms::SmsCoding::Gsm7,
         sms::ShiftTables::TurkishLockingAndSingle},
    };
    std::mt19937 rng(20261210);
    const int lengths[] = {0, 1, 70, 71, 134, 135, 140, 141, 152, 153, 160, 161, 306, 307, 1000};
    Modem modem(Config{});
    std::vector<std::string> expected;
    for (const Pool& pool : pools) {
        SCOPED_TRACE(pool.name);
        // The pool's characters, a surrogate pair being one.
        std::vector<std::u16string> characters;
        for (std::size_t i = 0; i < pool.characters.size(); ++i) {
            const bool pair = pool.characters[i] >= 0xD800 && pool.characters[i] < 0xDC00;
            characters.push_back(pool.characters.substr(i, pair ? 2 : 1));
            i += pair ? 1 : 0;
        }
        bool poolLayoutSeen = false;
        for (int round = 0; round < 30; ++round) {
            const int length = round < 15 ? lengths[round] : static_cast<int>(rng() % 700);
            std::u16string text;
            while (static_cast<int>(text.size()) < length) {
                text += characters[rng() % characters.size()];
            }
            sms::TSMS message;
            message.Number = "+905321234567";
            message.Coding = sms::SmsCoding::Auto;
            message.Text = text;
            sms::EncodeOptions options;
            options.TurkishTables = pool.turkish;
            const sms::MessageLayout layout = sms::PlanMessage(text, message.Coding, options);
            poolLayoutSeen =
                poolLayoutSeen || (layout.Coding == pool.coding && layout.Shift == pool.shift);
            for (const sms::PduPart& part : sms::EncodeMessage(message, options)) {
                modem.receive("AT+CMGS=" + std::to_string(part.TpduLength) + "\r");
                modem.receive(part.Pdu + "\x1A");
            }
            expected.push_back(layout.Coding == sms::SmsCoding::Data8
                                   ? shownAsData(text)
                                   : platform::cp1254::utf16ToUtf8(text));
        }
        EXPECT_TRUE(poolLayoutSeen);
    }
    EXPECT_EQ(modem.refusals(), std::vector<std::string>{});
    const std::vector<WholeMessage> whole = reassemble(modem.messages());
    ASSERT_EQ(whole.size(), expected.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        EXPECT_TRUE(whole[i].complete) << i;
        EXPECT_EQ(whole[i].destination, "+905321234567");
        EXPECT_EQ(whole[i].text, expected[i]) << i;
    }
}

TEST(RoundTrip, PartsOutOfOrderAndTwiceStillMakeOneMessage) {
    sms::TSMS message;
    message.Number = "0123456789";
    message.Coding = sms::SmsCoding::Auto;
    message.Text = std::u16string(200, u'x');
    const auto parts = sms::EncodeMessage(message);
    ASSERT_EQ(parts.size(), 2u);
    Modem modem(Config{});
    for (int i : {1, 1, 0}) {
        modem.receive("AT+CMGS=" + std::to_string(parts[i].TpduLength) + "\r");
        modem.receive(parts[i].Pdu + "\x1A");
    }
    const auto whole = reassemble(modem.messages());
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_TRUE(whole[0].complete);
    EXPECT_EQ(whole[0].text, std::string(200, 'x'));
    EXPECT_EQ(whole[0].parts, 2);
}

}  // namespace
}  // namespace phonesim
