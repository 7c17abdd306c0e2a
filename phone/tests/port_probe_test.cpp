// What the probe takes from an identity reply, as phones of different makes give it.
#include <gtest/gtest.h>

#include "phone/port_probe.h"

namespace {

TEST(PortProbeTest, IdentityValueOfEachReplyShape) {
    struct Case {
        const char* reply;
        const char* value;
    };
    const Case cases[] = {
        {"AT+CGMI\r\r\nNokia\r\n\r\nOK\r\n", "Nokia"},               // echo, then the value
        {"\r\nhuawei\r\n\r\nOK\r\n", "huawei"},                      // echo off
        {"at+cgmi\r\r\n+CGMI: \"SIMCOM\"\r\n\r\nOK\r\n", "SIMCOM"},  // prefix and quotes
        {"AT+CGMI\r\r\nERROR\r\n", ""},
        {"AT+CGMI\r\r\n+CME ERROR: 4\r\n", ""},
        {"AT+CGMI\r\r\nOK\r\n", ""},  // nothing said
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(phone::identityValue(c.reply, "AT+CGMI"), c.value) << c.reply;
    }
    EXPECT_EQ(phone::identityValue("AT+CGSN\r\r\n+CGSN: 490154203237518\r\nOK\r\n", "AT+CGSN"),
              "490154203237518");
}

TEST(PortProbeTest, SpeedsStartWithTheChosenOneNoneTwice) {
    EXPECT_EQ(phone::probeSpeeds(19200), (std::vector<uint32_t>{19200, 115200, 9600}));
    EXPECT_EQ(phone::probeSpeeds(115200), (std::vector<uint32_t>{115200, 19200, 9600}));
    EXPECT_EQ(phone::probeSpeeds(57600), (std::vector<uint32_t>{57600, 115200, 19200, 9600}));
}

}  // namespace
