#include "sms/deliver_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codepage_1254.h"
#include "sms/message_parts.h"
#include "sms/tests/deliver_builder.h"

namespace sms {
namespace {

using platform::cp1254::toUtf8;
using platform::cp1254::utf16ToUtf8;

// Fixtures are written with blanks between the fields, for reading.
std::string compact(std::string_view spaced) {
    std::string out;
    for (char c : spaced) {
        if (c != ' ')
            out += c;
    }
    return out;
}

std::u16string repeat(std::u16string_view piece, int times) {
    std::u16string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

SmsDeliver decodeOk(const std::string& pdu) {
    std::string error;
    const std::optional<SmsDeliver> m = decodeDeliver(pdu, &error);
    EXPECT_TRUE(m.has_value()) << pdu << ": " << toUtf8(error);
    return m.value_or(SmsDeliver{});
}

// Every text the encoder makes comes back from the DELIVER a recipient would get: each
// part on its own, and the parts joined in the order their headers give.
TEST(DeliverDecoder, RoundTripThroughTheEncoder) {
    struct Case {
        const char* name;
        std::u16string text;
        bool turkish;
        SmsCoding coding;
        bool concatenated;
        int lockingShift;
        int singleShift;
    };
    // ı and ş, escaped in the single shift table, fit one message only with the locking one.
    const std::u16string lockingOnly = repeat(u"\u0131\u015F", 70) + u"\u20AC\u011E\u00C7";
    const Case cases[] = {
        {"default alphabet",
         u"Merhaba, randevunuz 14:30'da. @ \u00A3$\u00A5 \u00A7\u00A1\u00BF\u00A4\r\n_", false,
         SmsCoding::Gsm7, false, 0, 0},
        {"extension table", u"[a]{b}~^|\\\f", false, SmsCoding::Gsm7, false, 0, 0},
        {"empty", u"", false, SmsCoding::Gsm7, false, 0, 0},
        {"Turkish single shift", u"\u011Eeli\u015F \u0130zmir \u00E7ok", true, SmsCoding::Gsm7,
         false, 0, 1},
        {"Turkish locking and single shift", lockingOnly, true, SmsCoding::Gsm7, false, 1, 1},
        {"UCS-2 with a surrogate pair", u"G\u00FCnayd\u0131n \U0001F600 \u0416", false,
         SmsCoding::Ucs2, false, 0, 0},
        {"long default alphabet", repeat(u"0123456789[", 35), false, SmsCoding::Gsm7, true, 0, 0},
        {"long Turkish", repeat(u"\u015Eeker \u0131\u011F\u0131 ", 50), true, SmsCoding::Gsm7, true,
         1, 1},
        {"long UCS-2, pairs at the cuts", repeat(u"\U0001F600", 100), false, SmsCoding::Ucs2, true,
         0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSMS sms;
        sms.Number = "+905551112233";
        sms.Coding = SmsCoding::Auto;
        sms.Text = c.text;
        EncodeOptions options;
        options.TurkishTables = c.turkish;
        options.ConcatReference = 0xA7;
        const std::vector<PduPart> parts = EncodeMessage(sms, options);
        ASSERT_EQ(parts.size() > 1, c.concatenated);
        const int total = static_cast<int>(parts.size());

        std::u16string joined;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const std::string pdu = test::deliverFromSubmit(parts[i].Pdu);
            std::string error;
            const int tpduLength = static_cast<int>(pdu.size() / 2 - 8);  // after the SCA
            const std::optional<SmsDeliver> m = decodeDeliver(pdu, &error, tpduLength);
            ASSERT_TRUE(m) << toUtf8(error);
            EXPECT_EQ(m->content.coding, c.coding);
            EXPECT_EQ(m->content.lockingShift, c.lockingShift);
            EXPECT_EQ(m->content.singleShift, c.singleShift);
            if (c.concatenated) {
                ASSERT_TRUE(m->content.concatenation);
                EXPECT_EQ(*m->content.concatenation,
                          (Concatenation{0xA7, total, static_cast<int>(i + 1), false}));
            } else {
                EXPECT_FALSE(m->content.concatenation);
            }
            joined += m->content.text;
        }
        EXPECT_EQ(utf16ToUtf8(joined), utf16ToUtf8(c.text));
    }
}

TEST(DeliverDecoder, EightBitDataIsShownAsHex) {
    TSMS sms;
    sms.Number = "0123456789";
    sms.Coding = SmsCoding::Auto;
    sms.Text = u"x\u00A9\u00E9";  // © decides: 8-bit data
    const SmsDeliver m = decodeOk(test::deliverFromSubmit(sms.EncodePdu()));
    EXPECT_EQ(m.content.coding, SmsCoding::Data8);
    EXPECT_EQ(m.content.text, u"78A905");
}

// Hexadecimal as phones give it after +CMT or +CMGR, written from 23.040 field by field.
TEST(DeliverDecoder, FieldsOfPhoneLikePdus) {
    // International sender, "Tamam" in 7 bits, sent 2026-12-01 14:05:00 +03:00.
    SmsDeliver m = decodeOk(compact(
        "07 91 093502000000  04  0C 91 093512325476  00 00  62 21 10 41 50 00 21  05 D4703BDC06"));
    EXPECT_EQ(m.serviceCentre.text, u"+905320000000");
    EXPECT_EQ(m.serviceCentre.kind, AddressKind::International);
    EXPECT_EQ(m.sender.kind, AddressKind::International);
    EXPECT_EQ(m.sender.text, u"+905321234567");
    EXPECT_FALSE(m.moreMessagesToSend);
    EXPECT_EQ(m.serviceCentreTime, (SmsTimestamp{2026, 12, 1, 14, 5, 0, 12}));
    EXPECT_EQ(m.serviceCentreTime.iso8601(), "2026-12-01T14:05:00+03:00");
    EXPECT_EQ(m.content.text, u"Tamam");
    EXPECT_EQ(m.content.messageClass, -1);

    // National sender with an odd digit count, no service centre, reply path and status
    // report indication set, a zone west of Greenwich, flash (class 0).
    m = decodeOk(compact("00  A0  0B A1 5023214365F7  00 10  62 70 30 81 95 45 0A  05 D4703BDC06"));
    EXPECT_TRUE(m.serviceCentre.text.empty());
    EXPECT_EQ(m.sender.kind, AddressKind::National);
    EXPECT_EQ(m.sender.text, u"05321234567");
    EXPECT_TRUE(m.replyPath);
    EXPECT_TRUE(m.statusReportIndication);
    EXPECT_TRUE(m.moreMessagesToSend);
    EXPECT_EQ(m.content.messageClass, 0);
    EXPECT_EQ(m.serviceCentreTime.iso8601(), "2026-07-03T18:59:54-05:00");

    // Alphanumeric senders: an odd count of semi-octets and one of whole octets.
    m = decodeOk(compact("00 04 09 D0 C2A0731904 00 00 62211041500021 05 D4703BDC06"));
    EXPECT_EQ(m.sender.kind, AddressKind::Alphanumeric);
    EXPECT_EQ(m.sender.text, u"BANKA");
    m = decodeOk(compact("00 04 0E D0 D4BA7C3D2EB3D9 00 00 62211041500021 05 D4703BDC06"));
    EXPECT_EQ(m.sender.text, u"Turkcell");

    // A part with an 8-bit reference: the fill bit after the six header octets is skipped.
    m = decodeOk(
        compact("00 44 0C91093512325476 00 00 62211041500021 0E 0500032A0201 9A65393A2C0E03"));
    EXPECT_EQ(m.content.concatenation, (Concatenation{0x2A, 2, 1, false}));
    EXPECT_EQ(m.content.text, u"Merhaba");

    // UCS-2 under a 16-bit reference, in the message-waiting group that stores UCS-2.
    m = decodeOk(
        compact("00 44 0C91093512325476 00 E0 62211041500021 0B 06 08 04 1234 03 02 D83DDE00"));
    EXPECT_EQ(m.content.coding, SmsCoding::Ucs2);
    EXPECT_EQ(m.content.concatenation, (Concatenation{0x1234, 3, 2, true}));
    EXPECT_EQ(m.content.text, u"\U0001F600");
}

// Where 23.040 and 23.038 say how to read an odd field, it is read that way.
TEST(DeliverDecoder, FieldsTheStandardSaysHowToRead) {
    struct Case {
        const char* name;
        const char* dataCoding;
        const char* userData;  // TP-UDL and TP-UD, a header when the name starts with '+'
        std::u16string text;
        bool concatenated;
    };
    const Case cases[] = {
        // Escape before a code the extension table lacks: the main table's character.
        {"unknown extension code", "00", "02 1B07", u"\u00C5", false},
        {"two escapes show a space", "00", "03 9B4D0C", u" 1", false},
        {"escape cut at the end", "00", "02 C10D", u"A", false},
        {"class in group F, 7-bit", "F1", "05 D4703BDC06", u"Tamam", false},
        {"8-bit in group F", "F6", "02 0102", u"0102", false},
        {"message waiting, 7-bit", "D8", "05 D4703BDC06", u"Tamam", false},
        // A concatenation numbered 0, or beyond its count, is ignored; an unknown element
        // is skipped.
        {"+sequence 0 ignored", "08", "0A 0500032A0200 0041 0042", u"AB", false},
        {"+sequence beyond count", "08", "0A 0500032A0203 0041 0042", u"AB", false},
        {"+unknown element skipped", "08", "07 047002AABB 0041", u"A", false},
        // A pair cut by the sender between two parts: each half stays at its cut.
        {"+high half at the end of part 1", "08", "0A 0500030702 01 0041 D83D", u"A\xD83D", true},
        {"+low half at the start of part 2", "08", "0A 0500030702 02 DE00 0041",
         u"\xDE00"
         u"A",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool header = c.name[0] == '+';
        const SmsDeliver m =
            decodeOk(compact(std::string("00 ") + (header ? "44" : "04") + " 0C91093512325476 00 " +
                             c.dataCoding + " 62211041500021 " + c.userData));
        EXPECT_EQ(m.content.text, c.text);
        EXPECT_EQ(m.content.concatenation.has_value(), c.concatenated);
    }
}

// Whatever is wrong with a PDU, the decoder says what and reads nothing past its end.
TEST(DeliverDecoder, BadInputGivesAReason) {
    struct Case {
        std::string pdu;
        int tpduLength;
        const char* reason;  // part of the UTF-8 reason
    };
    const std::string head = "00 04 0C91093512325476 00 00 62211041500021 ";
    const std::string ucs2 = "00 04 0C91093512325476 00 08 62211041500021 ";
    const std::string withHeader = "00 44 0C91093512325476 00 08 62211041500021 ";
    const std::vector<Case> cases = {
        {"", -1, "PDU boş"},
        {"0004 0C9", -1, "tek sayıda"},
        {"00 04 0C91 09351232547G", -1, "onaltılık olmayan"},
        {"0C 91 0935", -1, "SMS merkezi adresi çok uzun"},
        {"07 91 0935", -1, "SMS merkezi adresi yarım"},
        {"00", -1, "ilk sekizli yarım"},
        {"00 06 0C91093512325476", -1, "SMS-DELIVER"},
        {"00 04 0C91 0935123254", -1, "gönderen adresi yarım"},
        {"00 04 15 91 0935123254760935123254", -1, "21 hane"},
        {"00 04 0C91 0935F2325476 0000 62211041500021 00", -1, "yerinde olmayan F"},
        {"00 04 0C91093512325476 00 00 622110415000", -1, "zaman damgası yarım"},
        {"00 04 0C91093512325476 00 00 62311041500021 00", -1, "zaman damgası geçersiz"},
        {"00 04 0C91093512325476 00 00 6221104150A021 00", -1, "zaman damgası geçersiz"},
        {"00 04 0C91093512325476 00 00 62211041500021", -1, "uzunluğu yarım"},
        {head + "05 D4703BDC", -1, "5 sekizli bildirildi, 4 geldi"},
        {head + "05 D4703BDC0600", -1, "5 sekizli bildirildi, 6 geldi"},
        {head + "A1 " + std::string(282, '0'), -1, "161 yedili"},
        {head + "05 D4703BDC06", 30, "30 sekizli bildirildi, 24 geldi"},
        {"00 04 0C91093512325476 00 0C 62211041500021 01 41", -1, "DCS 0x0C"},
        {"00 04 0C91093512325476 00 20 62211041500021 01 41", -1, "DCS 0x20"},
        {"00 04 0C91093512325476 00 80 62211041500021 01 41", -1, "DCS 0x80"},
        {"00 44 0C91093512325476 00 00 62211041500021 03 050003", -1, "başlığı mesajdan uzun"},
        {withHeader + "04 05000300", -1, "başlığı mesajdan uzun"},
        {withHeader + "00", -1, "başlığı mesajdan uzun"},
        {withHeader + "04 03000300", -1, "taşıyor"},
        {"00 44 0C91093512325476 00 00 62211041500021 06 03 240102 4100", -1, "dil tablosu (2)"},
        {ucs2 + "03 004100", -1, "tek sayıda sekizli"},
        {ucs2 + "04 D83D0041", -1, "vekil"},
        {ucs2 + "02 DE00", -1, "vekil"},
        {ucs2 + "02 D83D", -1, "vekil"},
        {withHeader + "08 0500030702 02 D83D", -1, "vekil"},  // last part: nothing follows
        {withHeader + "08 0500030702 01 DE00", -1, "vekil"},  // first part: nothing before
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pdu);
        std::string error;
        EXPECT_FALSE(decodeDeliver(compact(c.pdu), &error, c.tpduLength));
        EXPECT_NE(toUtf8(error).find(c.reason), std::string::npos) << toUtf8(error);
    }
    EXPECT_FALSE(decodeDeliver("zz"));  // without a place for the reason
}

}  // namespace
}  // namespace sms
