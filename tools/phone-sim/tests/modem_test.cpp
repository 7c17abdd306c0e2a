// The answer's timing and cutting, which a reader on the pty cannot see reliably on a
// busy machine, checked on the engine itself.
#include "tools/phone-sim/modem.h"

#include <gtest/gtest.h>

namespace phonesim {
namespace {

std::string joined(const Response& r) {
    std::string all;
    for (const Chunk& c : r.chunks) {
        all += c.bytes;
    }
    return all;
}

TEST(Modem, DelaysAndCutsTheAnswerButNotTheEcho) {
    Config config;
    config.faults.delayMs = 300;
    config.faults.pieceSize = 5;
    config.faults.pieceGapMs = 40;
    Modem modem(config);
    const Response r = modem.receive("AT+CSQ\r");
    ASSERT_GE(r.chunks.size(), 2u);
    EXPECT_EQ(r.chunks[0].bytes, "AT+CSQ\r");
    EXPECT_EQ(r.chunks[0].delayMs, 0);
    EXPECT_EQ(r.chunks[1].delayMs, 300);
    EXPECT_EQ(r.chunks[1].bytes, "\r\n+CS");
    for (std::size_t i = 2; i < r.chunks.size(); ++i) {
        EXPECT_EQ(r.chunks[i].delayMs, 40);
        EXPECT_LE(r.chunks[i].bytes.size(), 5u);
    }
    EXPECT_EQ(joined(r), "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
}

TEST(Modem, CommandSplitOverDeliveriesAndLineEditing) {
    Modem modem(Config{});
    EXPECT_EQ(joined(modem.receive("AT+C")), "AT+C");
    // A backspace takes back a typing error; the echo shows what was typed.
    EXPECT_EQ(joined(modem.receive("BX\bC\r")), "BX\bC\r\r\n+CBC: 0,80\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.commands().back(), "AT+CBC");
    // Noise before AT is ignored; a line without AT gets no answer.
    EXPECT_EQ(joined(modem.receive("xxAT\r")), "xxAT\r\r\nOK\r\n");
    EXPECT_EQ(joined(modem.receive("hello\r")), "hello\r");
    // A runaway line is refused once it ends, and the next command works.
    EXPECT_EQ(joined(modem.receive("AT" + std::string(2000, 'X') + "\r")).substr(2002),
              "\r\r\nERROR\r\n");
    EXPECT_EQ(joined(modem.receive("AT\r")), "AT\r\r\nOK\r\n");
}

const std::string kPdu = "001100099121436587F90000FF0361F118";  // "abc" to +123456789

TEST(Modem, SendingFaultsOfRealPhones) {
    {
        // Starts in text mode: a PDU after AT+CMGS=16 is sent as text to "16".
        Config config;
        config.faults.textMode = true;
        Modem modem(config);
        EXPECT_EQ(joined(modem.receive("AT+CMGF?\r")), "AT+CMGF?\r\r\n+CMGF: 1\r\n\r\nOK\r\n");
        EXPECT_EQ(joined(modem.receive("AT+CMGS=16\r")), "AT+CMGS=16\r\r\n> ");
        modem.receive(kPdu + "\x1A");
        EXPECT_TRUE(modem.messages().empty());
        EXPECT_EQ(modem.refusals().back(), "text mode: message to 16 with the text " + kPdu);
        modem.receive("AT+CMGF=0\r");
        modem.receive("AT+CMGS=16\r");
        modem.receive(kPdu + "\x1A");
        EXPECT_EQ(modem.messages().size(), 1u);
    }
    {
        // Busy while the network takes the message; the answer comes after the delay.
        Config config;
        config.faults.submitDelayMs = 600000;
        Modem modem(config);
        modem.receive("AT+CMGS=16\r");
        const Response r = modem.receive(kPdu + "\x1A");
        ASSERT_GE(r.chunks.size(), 2u);
        EXPECT_EQ(r.chunks[1].delayMs, 600000);
        EXPECT_EQ(joined(modem.receive("AT+CMGS=16\r")), "AT+CMGS=16\r\r\n+CMS ERROR: 302\r\n");
    }
    {
        // No prompt; ESC cancels what came and is recorded.
        Config config;
        config.faults.silentPrompt = true;
        Modem modem(config);
        EXPECT_EQ(joined(modem.receive("AT+CMGS=16\r")), "AT+CMGS=16\r");
        modem.receive("\x1B");
        EXPECT_EQ(modem.commands().back(), "\x1B");
        EXPECT_TRUE(modem.messages().empty());
    }
    {
        Config config;
        config.faults.simPin = true;
        Modem modem(config);
        EXPECT_EQ(joined(modem.receive("AT+CPIN?\r")),
                  "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
        EXPECT_EQ(joined(modem.receive("AT+CMGS=16\r")), "AT+CMGS=16\r\r\n+CMS ERROR: 311\r\n");
    }
    {
        Config config;
        config.faults.notRegistered = true;
        Modem modem(config);
        EXPECT_EQ(joined(modem.receive("AT+CPIN?\r")), "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n");
        EXPECT_EQ(joined(modem.receive("AT+CREG?\r")), "AT+CREG?\r\r\n+CREG: 0,0\r\n\r\nOK\r\n");
        modem.receive("AT+CMGS=16\r");
        EXPECT_EQ(joined(modem.receive(kPdu + "\x1A")), kPdu + "\r\n+CMS ERROR: 331\r\n");
    }
}

// The bytes of the phonebook faults, pinned here rather than through the program's own
// reading of them, so that both cannot share one mistake.
TEST(Modem, PhonebookFaultsOfRealPhones) {
    Config config;
    config.phonebook = "ME";
    config.phonebooks = {{"ME", {3, {{0, "+90", 145, "Ç"}, {2, "05", 129, "B"}}}}};
    config.faults.firstLocation = 0;
    config.faults.rangeWithBlanks = true;
    config.faults.silentOnceFor = {"AT+CPBR=2"};
    config.faults.urcBeforeEntry = {{2, "^RSSI: 3"}};
    config.faults.ucs2Insisting = config.faults.ucs2 = true;
    Modem modem(config);
    EXPECT_EQ(joined(modem.receive("AT+CPBR=?\r")),
              "AT+CPBR=?\r\r\n+CPBR: (0 - 2),40,18\r\n\r\nOK\r\n");
    EXPECT_EQ(joined(modem.receive("AT+CSCS=\"GSM\"\r")), "AT+CSCS=\"GSM\"\r\r\n+CME ERROR: 4\r\n");
    EXPECT_EQ(joined(modem.receive("AT+CSCS?\r")), "AT+CSCS?\r\r\n+CSCS: \"UCS2\"\r\n\r\nOK\r\n");
    EXPECT_EQ(joined(modem.receive("AT+CPBR=0\r")),
              "AT+CPBR=0\r\r\n+CPBR: 0,\"002B00390030\",145,\"00C7\"\r\n\r\nOK\r\n");
    EXPECT_EQ(joined(modem.receive("AT+CPBR=2\r")), "AT+CPBR=2\r");  // silent the first time
    EXPECT_EQ(joined(modem.receive("AT+CPBR=2\r")),
              "AT+CPBR=2\r\r\n^RSSI: 3\r\n\r\n+CPBR: 2,\"00300035\",129,\"0042\"\r\n\r\nOK\r\n");

    // Without insisting, the phone leaves UCS2 when asked.
    config.faults.ucs2Insisting = false;
    Modem leaving(config);
    EXPECT_EQ(joined(leaving.receive("AT+CSCS=\"IRA\"\r")), "AT+CSCS=\"IRA\"\r\r\nOK\r\n");
    EXPECT_EQ(joined(leaving.receive("AT+CPBR=0\r")),
              "AT+CPBR=0\r\r\n+CPBR: 0,\"+90\",145,\"\xC7\"\r\n\r\nOK\r\n");
}

}  // namespace
}  // namespace phonesim
