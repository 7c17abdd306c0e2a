#include "tools/phone-sim/submit_pdu.h"

#include <gtest/gtest.h>

namespace phonesim {
namespace {

struct Good {
    const char* pdu;
    const char* destination;
    Coding coding;
    const char* text;
    int tpduLength;
};

// The program's own worked examples, and a few forms other senders use.
TEST(SubmitPdu, DecodesWellFormedSubmits) {
    const Good table[] = {
        {"001100099121436587F90000FF0361F118", "+123456789", Coding::Gsm7, "abc", 16},
        {"0011000A8110325476980000FF04E10D4F0C", "0123456789", Coding::Gsm7, "a[b", 17},
        {"0011000A8110325476980000FF0831D98C56B3DD70", "0123456789", Coding::Gsm7, "12345678", 20},
        {"0011000A8110325476980008FF0A015E0065006B00650072", "0123456789", Coding::Ucs2,
         "\xC5\x9E"
         "eker",
         23},
        {"0011000A8110325476980004FF0378A905", "0123456789", Coding::Data8, "x\\xA9\\x05", 16},
        {"0011000A8110325476980000FF00", "0123456789", Coding::Gsm7, "", 13},
        // A service centre in front, no validity period, the euro sign (escape + 0x65).
        {"07919050230000F001000A8110325476980000029B32", "0123456789", Coding::Gsm7, "\xE2\x82\xAC",
         14},
        // UCS-2 beyond the basic plane: a surrogate pair.
        {"0011000A8110325476980008FF04D83DDE00", "0123456789", Coding::Ucs2, "\xF0\x9F\x98\x80",
         17},
    };
    for (const Good& g : table) {
        SCOPED_TRACE(g.pdu);
        std::string error;
        const auto pdu = decodeSubmitPdu(g.pdu, &error);
        ASSERT_TRUE(pdu) << error;
        EXPECT_EQ(pdu->destination, g.destination);
        EXPECT_EQ(pdu->coding, g.coding);
        EXPECT_EQ(pdu->text, g.text);
        EXPECT_EQ(pdu->tpduLength, g.tpduLength);
    }
}

TEST(SubmitPdu, ReadsFlagsClassAndHeader) {
    // Status report asked, flash (class 0) 7-bit, and a concatenation header in front of
    // the text: the text starts at the septet boundary after the six header octets.
    const auto pdu = decodeSubmitPdu("00710A0A8110325476980010FF0A050003010201C2E231");
    ASSERT_TRUE(pdu);
    EXPECT_TRUE(pdu->statusReport);
    EXPECT_EQ(pdu->messageRef, 0x0A);
    EXPECT_EQ(pdu->messageClass, 0);
    EXPECT_EQ(pdu->userDataHeader, "050003010201");
    EXPECT_EQ(pdu->text, "abc");
}

TEST(SubmitPdu, RefusesMalformedPdus) {
    const char* bad[] = {
        "",                                      // nothing at all
        "001100099121436587F90000FF0361F11",     // odd digit count
        "001100099121436587F90000FF0361F1G8",    // not hexadecimal
        "000100099121436587F90000FF0361F118",    // SMS-DELIVER's type, not SUBMIT
        "0011000991214365",                      // cut inside the address
        "001100099121436587090000FF0361F118",    // odd address without the F filler
        "0011000A81103F5476980000FF0161",        // filler inside the digits
        "00110000910000FF00",                    // no destination digits
        "001100099121436587F90000FF0461F118",    // UDL says 4 septets, 3 octets hold 3
        "001100099121436587F90000FF0361F11800",  // an octet after the user data
        "0011000A8110325476980008FF03015E00",    // odd number of UCS-2 octets
        "0011000A8110325476980004FFA1",          // 161 octets of 8-bit data
        "001100091121436587F90000FF0361F118",    // type of address without bit 7
        "0A9121",                                // service centre longer than the PDU
        "0051000A8110325476980000FF0106",        // header length past the user data
    };
    for (const char* hex : bad) {
        SCOPED_TRACE(hex);
        std::string error;
        EXPECT_FALSE(decodeSubmitPdu(hex, &error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace phonesim
