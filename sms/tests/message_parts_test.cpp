#include "sms/message_parts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace sms {
namespace {

constexpr const char* kNumber = "0123456789";
// In a PDU for kNumber the user data length stands at this digit, the header after it.
constexpr std::size_t kUdlAt = 26;

std::u16string repeat(std::u16string_view piece, int times) {
    std::u16string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

unsigned octetAt(const std::string& pdu, std::size_t digit) {
    return static_cast<unsigned>(std::stoul(pdu.substr(digit, 2), nullptr, 16));
}

std::vector<PduPart> encode(std::u16string text, bool turkish, int reference = 0x42) {
    TSMS sms;
    sms.Number = kNumber;
    sms.Coding = SmsCoding::Auto;
    sms.Text = std::move(text);
    EncodeOptions options;
    options.TurkishTables = turkish;
    options.ConcatReference = reference;
    return EncodeMessage(sms, options);
}

TEST(MessageParts, SplitPointsAndLimits) {
    const std::u16string a = u"a", s = u"\u015F", pair = u"\U0001F600";
    struct Case {
        const char* name;
        std::u16string text;
        bool turkish;
        MessageLayout layout;
        std::vector<unsigned> udl;  // TP-UDL of each part, header included
    };
    const auto gsm7 = [](int parts, ShiftTables shift = ShiftTables::None) {
        return MessageLayout{SmsCoding::Gsm7, shift, parts};
    };
    const auto other = [](SmsCoding c, int parts) {
        return MessageLayout{c, ShiftTables::None, parts};
    };
    const Case cases[] = {
        {"160 septets fit one", repeat(a, 160), false, gsm7(1), {160}},
        {"161 take two of 153", repeat(a, 161), false, gsm7(2), {160, 15}},
        {"306 septets", repeat(a, 306), false, gsm7(2), {160, 160}},
        {"307 septets", repeat(a, 307), false, gsm7(3), {160, 160, 8}},
        {"escape pair over the one-message limit",
         repeat(a, 159) + u"[",
         false,
         gsm7(2),
         {160, 15}},
        {"escape pair over the part limit moves whole",
         repeat(a, 152) + u"[" + repeat(a, 10),
         false,
         gsm7(2),
         {159, 19}},
        {"escape pair just inside the part",
         repeat(a, 151) + u"[" + repeat(a, 10),
         false,
         gsm7(2),
         {160, 17}},
        {"70 UCS-2", repeat(s, 70), false, other(SmsCoding::Ucs2, 1), {140}},
        {"71 UCS-2", repeat(s, 71), false, other(SmsCoding::Ucs2, 2), {140, 14}},
        {"134 UCS-2", repeat(s, 134), false, other(SmsCoding::Ucs2, 2), {140, 140}},
        {"135 UCS-2", repeat(s, 135), false, other(SmsCoding::Ucs2, 3), {140, 140, 8}},
        {"surrogate pair over the part limit moves whole",
         repeat(s, 66) + pair + repeat(s, 3),
         false,
         other(SmsCoding::Ucs2, 2),
         {138, 16}},
        {"surrogate pair fills one message",
         repeat(s, 68) + pair,
         false,
         other(SmsCoding::Ucs2, 1),
         {140}},
        {"140 octets of 8-bit data",
         repeat(u"\u00A9", 140),
         false,
         other(SmsCoding::Data8, 1),
         {140}},
        {"141 octets of 8-bit data",
         repeat(u"\u00A9", 141),
         false,
         other(SmsCoding::Data8, 2),
         {140, 13}},
        {"single shift holds 155",
         repeat(a, 153) + s,
         true,
         gsm7(1, ShiftTables::TurkishSingle),
         {160}},
        {"single shift parts hold 149",
         repeat(a, 154) + s,
         true,
         gsm7(2, ShiftTables::TurkishSingle),
         {160, 18}},
        {"locking shift holds 152",
         repeat(s, 152),
         true,
         gsm7(1, ShiftTables::TurkishLockingAndSingle),
         {160}},
        {"locking shift parts hold 146",
         repeat(s, 153),
         true,
         gsm7(2, ShiftTables::TurkishLockingAndSingle),
         {160, 21}},
        {"the same Turkish text without the tables",
         repeat(s, 152),
         false,
         other(SmsCoding::Ucs2, 3),
         {140, 140, 42}},
        {"the real default alphabet needs no shift", u"café über € ~", true, gsm7(1), {15}},
        {"single shift wins a tie", u"Günaydın", true, gsm7(1, ShiftTables::TurkishSingle), {14}},
        {"nothing in a table is UCS-2, never 8-bit",
         u"x\u00A9\u0416",
         true,
         other(SmsCoding::Ucs2, 1),
         {6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EncodeOptions options;
        options.TurkishTables = c.turkish;
        const MessageLayout layout = PlanMessage(c.text, SmsCoding::Auto, options);
        EXPECT_EQ(layout.Coding, c.layout.Coding);
        EXPECT_EQ(layout.Shift, c.layout.Shift);
        EXPECT_EQ(layout.Parts, c.layout.Parts);

        const std::vector<PduPart> parts = encode(c.text, c.turkish);
        std::vector<unsigned> udl;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const std::string& pdu = parts[i].Pdu;
            EXPECT_EQ(parts[i].TpduLength * 2 + 2, static_cast<int>(pdu.size()));
            udl.push_back(octetAt(pdu, kUdlAt));
            const bool header = (octetAt(pdu, 2) & 0x40) != 0;
            EXPECT_EQ(header, parts.size() > 1 || c.layout.Shift != ShiftTables::None);
            if (parts.size() > 1) {
                // 00 03 reference count index, first in the header.
                EXPECT_EQ(pdu.substr(kUdlAt + 4, 6), "000342");
                EXPECT_EQ(octetAt(pdu, kUdlAt + 10), parts.size());
                EXPECT_EQ(octetAt(pdu, kUdlAt + 12), i + 1);
            }
        }
        EXPECT_EQ(udl, c.udl);
    }
}

TEST(MessageParts, OneMessageEncodesAsBefore) {
    // Without the tables every text that fits one message gives EncodePdu's PDU; with
    // them, so does plain text.
    for (const std::u16string& text :
         {std::u16string(u"abc"), std::u16string(u"a[b"), std::u16string(u"Şeker"),
          std::u16string(u"x©é"), std::u16string(), repeat(u"a", 160)}) {
        TSMS sms;
        sms.Number = kNumber;
        sms.Coding = SmsCoding::Auto;
        sms.Text = text;
        const std::string single = sms.EncodePdu();
        const std::vector<PduPart> parts = EncodeMessage(sms);
        ASSERT_EQ(parts.size(), 1u);
        EXPECT_EQ(parts[0].Pdu, single);
        EXPECT_EQ(parts[0].TpduLength, sms.TpduLength);
    }
    EXPECT_EQ(encode(u"abc", true)[0].Pdu, "0011000A8110325476980000FF0361F118");
    // The worked Turkish example as six septets behind the single shift element 24 01 01:
    // three fill bits, then escape 53 (Ş), e k e r.
    EXPECT_EQ(encode(u"Şeker", true)[0].Pdu,
              "0051000A8110325476980000FF0B03240101"
              "D84CCBEBB21C");
}

TEST(MessageParts, LoneSurrogateGoesAsReplacementCharacter) {
    // A lone high surrogate where the first part ends: the part ends in U+FFFD, never in
    // half a pair, and the rest follows whole in the second part.
    const std::u16string text = repeat(u"a", 66) + std::u16string{0xD9EC, 0x0100} + u"bbb";
    const std::vector<PduPart> parts = encode(text, false);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].Pdu.substr(parts[0].Pdu.size() - 4), "FFFD");
    EXPECT_EQ(parts[1].Pdu.substr(kUdlAt + 14), "0100006200620062");
    // The same text whole through EncodePdu carries the same unit.
    TSMS sms;
    sms.Number = kNumber;
    sms.Coding = SmsCoding::Auto;
    sms.Text = text;
    EXPECT_NE(sms.EncodePdu().find("0061FFFD0100"), std::string::npos);
}

TEST(MessageParts, ReferencesChangeAndLimitsHold) {
    std::set<std::string> references;
    for (int i = 0; i < 3; ++i) {
        const auto parts = encode(repeat(u"a", 200), false, -1);
        ASSERT_EQ(parts.size(), 2u);
        // Both parts of one message share a reference; the next message has another.
        EXPECT_EQ(parts[0].Pdu.substr(kUdlAt + 8, 2), parts[1].Pdu.substr(kUdlAt + 8, 2));
        references.insert(parts[0].Pdu.substr(kUdlAt + 8, 2));
    }
    EXPECT_EQ(references.size(), 3u);

    EXPECT_EQ(encode(repeat(u"a", 255 * 153), false).size(), 255u);
    EXPECT_THROW(encode(repeat(u"a", 255 * 153 + 1), false), EPduError);
    EXPECT_THROW(encode(repeat(u"ş", 40000), true), EPduError);
    EXPECT_EQ(PlanMessage(repeat(u"ş", 40000), SmsCoding::Auto, {true}).Parts, 274);

    // A bad number fails as before, whatever the text.
    TSMS sms;
    sms.Text = repeat(u"a", 400);
    sms.TpduLength = 7;
    EXPECT_THROW(EncodeMessage(sms), EPduError);
    EXPECT_EQ(sms.TpduLength, 7);
}

// A long message asked for reports asks for one per part; the parts differ in nothing else.
TEST(MessageParts, EveryPartAsksForAReportWhenReportsAreAsked) {
    TSMS sms;
    sms.Number = kNumber;
    sms.Text = repeat(u"a", 400);
    EncodeOptions options;
    options.ConcatReference = 7;
    const std::vector<PduPart> plain = EncodeMessage(sms, options);
    options.StatusReport = true;
    TSMS asked = sms;
    const std::vector<PduPart> parts = EncodeMessage(asked, options);
    ASSERT_EQ(parts.size(), 3u);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(octetAt(parts[i].Pdu, 2), octetAt(plain[i].Pdu, 2) | 0x20u) << i;  // TP-SRR
        EXPECT_EQ(parts[i].Pdu.substr(4), plain[i].Pdu.substr(4)) << i;
    }
}

}  // namespace
}  // namespace sms
