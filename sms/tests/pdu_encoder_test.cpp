#include "sms/pdu_encoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

namespace sms {
namespace {

// Expected PDUs are written with blanks between the fields, for reading.
std::string compact(std::string_view spaced) {
    std::string out;
    for (char c : spaced) {
        if (c != ' ')
            out += c;
    }
    return out;
}

struct Encoded {
    std::optional<std::string> pdu;  // empty: "Error encoding PDU"
    std::int32_t tpduLength = -1;
};

Encoded encode(TSMS& sms) {
    Encoded e;
    sms.TpduLength = -1;
    try {
        e.pdu = sms.EncodePdu();
    } catch (const EPduError& err) {
        EXPECT_STREQ(err.what(), "Error encoding PDU");
    }
    e.tpduLength = sms.TpduLength;
    return e;
}

Encoded encode(std::string number, std::u16string text, SmsCoding coding = SmsCoding::Auto) {
    TSMS sms;
    sms.Number = std::move(number);
    sms.Text = std::move(text);
    sms.Coding = coding;
    return encode(sms);
}

TEST(PduEncoder, ReferenceMessages) {
    struct Case {
        const char* number;
        std::u16string text;
        const char* pdu;
        std::int32_t tpduLength;
    };
    const Case cases[] = {
        {"+123456789", u"abc", "00 11 00 0991 21436587F9 00 00 FF 03 61F118", 16},
        {"0123456789", u"a[b", "00 11 00 0A81 1032547698 00 00 FF 04 E10D4F0C", 17},
        {"0123456789", u"12345678", "00 11 00 0A81 1032547698 00 00 FF 08 31D98C56B3DD70", 20},
        {"0123456789", u"Şeker", "00 11 00 0A81 1032547698 00 08 FF 0A 015E0065006B00650072", 23},
        {"0123456789", u"x©é", "00 11 00 0A81 1032547698 00 04 FF 03 78A905", 16},
        {"0123456789", u"", "00 11 00 0A81 1032547698 00 00 FF 00", 13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pdu);
        const Encoded e = encode(c.number, c.text);
        EXPECT_EQ(e.pdu, compact(c.pdu));
        EXPECT_EQ(e.tpduLength, c.tpduLength);
    }
}

TEST(PduEncoder, AddressAndUserDataEdgeCases) {
    struct Case {
        const char* name;
        const char* number;
        std::u16string text;
        SmsCoding coding;
        const char* pdu;
    };
    const Case cases[] = {
        {"odd digit count padded", "12345", u"", SmsCoding::Auto,
         "00 11 00 0581 2143F5 00 00 FF 00"},
        {"even digit count", "+905321234567", u"", SmsCoding::Auto,
         "00 11 00 0C91 093512325476 00 00 FF 00"},
        {"8 septets: 7 octets", "12", u"12345678", SmsCoding::Auto,
         "00 11 00 0281 21 00 00 FF 08 31D98C56B3DD70"},
        {"9 septets: 8 octets", "12", u"123456789", SmsCoding::Auto,
         "00 11 00 0281 21 00 00 FF 09 31D98C56B3DD7039"},
        {"CR LF as 0D 0A", "12", u"\r\n", SmsCoding::Auto, "00 11 00 0281 21 00 00 FF 02 0D05"},
        {"extension char alone in 8-bit data", "12", u"a[", SmsCoding::Data8,
         "00 11 00 0281 21 00 04 FF 02 613C"},
        {"8-bit-only char in forced 7-bit is '?'", "12", u"©", SmsCoding::Gsm7,
         "00 11 00 0281 21 00 00 FF 01 3F"},
        {"NUL in 7-bit is '?', not a stray escape", "12", std::u16string(u"\0\n", 2),
         SmsCoding::Gsm7, "00 11 00 0281 21 00 00 FF 02 3F05"},
        {"unknown coding value is UCS-2", "12", u"A", static_cast<SmsCoding>(7),
         "00 11 00 0281 21 00 08 FF 02 0041"},
        {"UCS-2 keeps surrogate pairs", "12", u"\U0001F600", SmsCoding::Auto,
         "00 11 00 0281 21 00 08 FF 04 D83DDE00"},
        {"a surrogate without its partner goes as U+FFFD", "12",
         std::u16string{0xD9EC, 0x0100, 0xDE00, 0xD83D}, SmsCoding::Auto,
         "00 11 00 0281 21 00 08 FF 08 FFFD0100FFFDFFFD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(encode(c.number, c.text, c.coding).pdu, compact(c.pdu));
    }
}

TEST(PduEncoder, EachExtensionCharacterCountsTwoSeptets) {
    for (const auto& e : GsmExtension) {
        SCOPED_TRACE(int(e.ansi));
        const std::u16string text = u"a" + std::u16string(1, char16_t(e.ansi));
        const Encoded enc = encode("12", text);
        ASSERT_TRUE(enc.pdu);
        // a, escape, code: 3 septets in 3 octets.
        EXPECT_EQ(enc.pdu->substr(18, 2), "03");
        const unsigned char o0 = 0x61 | (0x1B & 1) << 7;
        const unsigned char o1 = 0x1B >> 1 | (e.code & 0x03) << 6;
        const unsigned char o2 = e.code >> 2;
        char expected[7];
        std::snprintf(expected, sizeof expected, "%02X%02X%02X", o0, o1, o2);
        EXPECT_EQ(enc.pdu->substr(20), expected);
    }
}

// A number goes onto the line after AT+CMGS, so only what a phone can dial gets through.
TEST(PduEncoder, NumbersAreCleanedOrRefused) {
    struct Case {
        const char* number;
        const char* address;  // nullptr: refused
    };
    const Case cases[] = {
        {"0532 123 45 67", "0B81 5023214365F7"},
        {"(0532) 123-45.67/", "0B81 5023214365F7"},
        {"\t0532\xA0"
         "1234567",
         "0B81 5023214365F7"},
        {" +90 532 123 45 67", "0C91 093512325476"},
        {"(+90) 532", "0591 0935F2"},
        {"*123#", "0581 1A32FB"},
        {"12345678901234567890", "1481 21436587092143658709"},
        {"+", nullptr},  // nothing to dial
        {"", nullptr},
        {" - ", nullptr},
        {"*#", nullptr},
        {"123456789012345678901", nullptr},  // more than TP-DA holds
        {"0532\r", nullptr},
        {"0532\x1A"
         "AT+CFUN=0",
         nullptr},
        {"0532\n", nullptr},
        {"05AB", nullptr},
        {"90+532", nullptr},
        {"++90", nullptr},
        {"0532;", nullptr},
        {"0532?", nullptr},  // what the 1254 conversion leaves for an unknown character
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.number)));
        const Encoded e = encode(c.number, u"");
        if (c.address) {
            EXPECT_EQ(e.pdu, "001100" + compact(c.address) + "0000FF00");
        } else {
            EXPECT_FALSE(e.pdu);
            EXPECT_EQ(e.tpduLength, -1) << "TpduLength must keep its value";
        }
    }
}

TEST(PduEncoder, FlagsReferenceAndHeader) {
    struct Case {
        const char* name;
        void (*fill)(TSMS&);
        const char* pdu;  // nullptr: refused
    };
    const Case cases[] = {
        {"status report", [](TSMS& s) { s.StatusReport = true; },
         "00 31 00 0281 21 00 00 FF 01 61"},
        {"reply path", [](TSMS& s) { s.ReplyPath = true; }, "00 91 00 0281 21 00 00 FF 01 61"},
        {"flash 7-bit", [](TSMS& s) { s.Flash = true; }, "00 11 00 0281 21 00 10 FF 01 61"},
        {"flash 8-bit",
         [](TSMS& s) {
             s.Flash = true;
             s.Coding = SmsCoding::Data8;
         },
         "00 11 00 0281 21 00 14 FF 01 61"},
        {"flash UCS-2",
         [](TSMS& s) {
             s.Flash = true;
             s.Coding = SmsCoding::Ucs2;
         },
         "00 11 00 0281 21 00 18 FF 02 0061"},
        {"message reference", [](TSMS& s) { s.MessageRef = "a7"; },
         "00 11 A7 0281 21 00 00 FF 01 61"},
        {"message reference too long", [](TSMS& s) { s.MessageRef = "123"; }, nullptr},
        {"message reference not hex", [](TSMS& s) { s.MessageRef = "\r1"; }, nullptr},
        // A 6-octet header takes 7 septets (one fill bit); 'a' starts at bit 49.
        {"7-bit behind a header", [](TSMS& s) { s.UserDataHeader = "050003CC0201"; },
         "00 51 00 0281 21 00 00 FF 08 050003CC0201 C2"},
        {"UCS-2 behind a header",
         [](TSMS& s) {
             s.UserDataHeader = "050003cc0201";
             s.Coding = SmsCoding::Ucs2;
         },
         "00 51 00 0281 21 00 08 FF 08 050003CC0201 0061"},
        {"header length octet wrong", [](TSMS& s) { s.UserDataHeader = "0500"; }, nullptr},
        {"header not hex", [](TSMS& s) { s.UserDataHeader = "01\r"; }, nullptr},
        {"header odd length", [](TSMS& s) { s.UserDataHeader = "000"; }, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSMS sms;
        sms.Number = "12";
        sms.Text = u"a";
        c.fill(sms);
        const Encoded e = encode(sms);
        if (c.pdu) {
            EXPECT_EQ(e.pdu, compact(c.pdu));
        } else {
            EXPECT_FALSE(e.pdu);
        }
    }
}

// TP-UDL is one octet: longer texts are refused, not written with three digits.
TEST(PduEncoder, UserDataLengthMustFitOneOctet) {
    struct Case {
        std::u16string text;
        const char* udl;  // nullptr: refused
    };
    const Case cases[] = {
        {std::u16string(255, u'a'), "FF"},           {std::u16string(256, u'a'), nullptr},
        {std::u16string(127, u'[') + u"a", "FF"},  // 254 + 1 septets
        {std::u16string(128, u'['), nullptr},        {std::u16string(127, u'ş'), "FE"},
        {std::u16string(128, u'ş'), nullptr},        {u"©" + std::u16string(254, u'a'), "FF"},
        {u"©" + std::u16string(255, u'a'), nullptr},
    };
    for (const auto& c : cases) {
        const Encoded e = encode("12", c.text);
        if (c.udl) {
            ASSERT_TRUE(e.pdu) << c.text.size();
            EXPECT_EQ(e.pdu->substr(18, 2), c.udl);
        } else {
            EXPECT_FALSE(e.pdu) << c.text.size();
        }
    }
}

TEST(PduEncoder, EncodingTwiceGivesTheSameAndChangesNoField) {
    TSMS sms;
    sms.Number = "+90 532";
    sms.Text = u"Şeker";
    sms.Coding = SmsCoding::Auto;
    const std::string first = sms.EncodePdu();
    EXPECT_EQ(sms.EncodePdu(), first);
    EXPECT_EQ(sms.Number, "+90 532");
    EXPECT_EQ(sms.Coding, SmsCoding::Auto);
    EXPECT_EQ(sms.TpduLength, static_cast<std::int32_t>(first.size() / 2 - 1));
}

TEST(PduEncoder, NewMessageStartsEmptyWithGsm7) {
    const TSMS sms;
    EXPECT_TRUE(sms.Text.empty() && sms.MessageRef.empty() && sms.Number.empty() &&
                sms.UserDataHeader.empty());
    EXPECT_FALSE(sms.Flash || sms.ReplyPath || sms.StatusReport);
    EXPECT_EQ(sms.TpduLength, 0);
    EXPECT_EQ(sms.Coding, SmsCoding::Gsm7);
}

TEST(PduEncoder, SwapSemiOctetsExchangesPairs) {
    EXPECT_EQ(TSMS::SwapSemiOctets("123456789F"), "21436587F9");
    EXPECT_EQ(TSMS::SwapSemiOctets(""), "");
    EXPECT_THROW(TSMS::SwapSemiOctets("123"), EPduError);
}

}  // namespace
}  // namespace sms
