// The device information query, the reply parser, the status polling and the
// incoming-call display, against a scripted port and a recording window.
#include <gtest/gtest.h>

#include "phone/phone_dialogue.h"
#include "phone/tests/fake_phone.h"
#include "serial/exception_display.h"

namespace phone {
namespace {

using testing::cp;
using testing::FakeView;
using testing::reply;
using testing::ScriptedPort;

class ParseTest : public ::testing::Test {
protected:
    ParseTest() {
        port.dialogue = &dialogue;
        dialogue.setReplyLimitMs(200);
        dialogue.state().IsConnected = true;
        serial::setExceptionDisplay(
            [this](const std::exception& e) { errors.push_back(e.what()); });
    }
    ~ParseTest() override { serial::setExceptionDisplay(nullptr); }

    platform::PlainMessageQueue queue;
    FakeView view;
    ScriptedPort port{queue};
    PhoneDialogue dialogue{view, port, queue};
    std::vector<std::string> errors;
};

TEST_F(ParseTest, OneReplyAtATime) {
    struct Case {
        const char* name;
        std::string reply;
        std::vector<std::string> rows;  // "Caption=value"
        int signal = -1;                // -1: unchanged
        int battery = -1;
        std::string make = "";  // Label4; empty: unchanged
    };
    const std::vector<Case> cases = {
        {"maker", "AT+CGMI\r\r\nMAKER\r\n\r\nOK\r\n", {cp("Üretici=MAKER")}},
        {"model", reply("AT+CGMM", {"PS-100"}), {"Tip=PS-100"}},
        {"software", reply("AT+CGMR", {"1.0"}), {cp("Yazılım Sürümü=1.0")}},
        {"IMEI answered ERROR", "AT+CGSN\r\r\nERROR\r\n", {"IMEI=ERROR"}},
        {"IMSI", reply("AT+CIMI", {"28601"}), {"IMSI=28601"}},
        {"operator", reply("AT+COPS?", {"+COPS: 0,0,\"TURKCELL\""}), {cp("Sağlayan=TURKCELL")}},
        {"SIM card", reply("AT^SCID", {"^SCID: 8990011234"}), {cp("Kart Numarası=8990011234")}},
        {"service centre",
         reply("AT+CSCA?", {"+CSCA: \"+905320000000\",145"}),
         {"Servis Merkezi=+905320000000"}},
        {"no SIM number: no row", "AT^SCID\r\r\nERROR\r\n", {}},
        {"signal 20", reply("AT+CSQ", {"+CSQ: 20,99"}), {}, 65},
        {"signal 0", reply("AT+CSQ", {"+CSQ: 0,99"}), {}, 0},
        {"signal not known", reply("AT+CSQ", {"+CSQ: 99,99"}), {}, 100},
        {"battery", reply("AT+CBC", {"+CBC: 0,80"}), {}, -1, 80},
        {"Nokia", reply("AT+CGMI", {"Nokia"}), {cp("Üretici=Nokia")}, -1, -1, "Nokia"},
        {"Sony Ericsson",
         reply("AT+CGMI", {"SONY ERICSSON"}),
         {cp("Üretici=SONY ERICSSON")},
         -1,
         -1,
         "SONY ERICSSON"},
        // Cut short by the limit: no row, no gauge, no error.
        {"only the echo", "AT+CGMI\r", {}},
        {"operator line missing", "AT+COPS?\r\r\n", {}},
        {"service centre cut off", "AT+CSCA?\r\r\n+CSCA:", {}},
        {"signal cut off", "AT+CSQ\r\r\n+CSQ:", {}},
        {"one field", "AT+CSQ", {}},
        {"nothing", "", {}},
        {"a ring instead of the answer", "AT+CSQ\r\r\nRING\r\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view.infoRows.clear();
        view.signal = view.battery = -1;
        view.labels.clear();
        view.lamp = LampColor::Green;
        dialogue.ParseReply(c.reply);
        EXPECT_EQ(view.infoRows, c.rows);
        EXPECT_EQ(view.signal, c.signal);
        EXPECT_EQ(view.battery, c.battery);
        EXPECT_EQ(view.labels[4], c.make);
        EXPECT_EQ(view.lamp, LampColor::Red);
    }
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(dialogue.state().PhonebookReading);
}

// The modem row joins two replies through the scratch text, which an unanswered
// revision leaves filled for the next reply that uses it.
TEST_F(ParseTest, ModemRowFromTwoReplies) {
    dialogue.ParseReply(reply("AT+GMM", {"MODEL"}));
    EXPECT_TRUE(view.infoRows.empty());
    dialogue.ParseReply(reply("AT+GMR", {"REVISION 1"}));
    EXPECT_EQ(view.infoRows, (std::vector<std::string>{"Modem=MODEL - REVISION 1"}));

    view.infoRows.clear();
    dialogue.ParseReply("AT+GMM\r\r\nERROR\r\n");
    dialogue.ParseReply("AT+GMR\r\r\nERROR\r\n");
    EXPECT_EQ(view.infoRows, (std::vector<std::string>{"Modem=ERROR - "}));

    // No answer to AT+GMR: the model text stays and shifts the SIM number's line.
    view.infoRows.clear();
    dialogue.ParseReply(reply("AT+GMM", {"MODEL"}));
    dialogue.ParseReply("");
    dialogue.ParseReply(reply("AT^SCID", {"^SCID: 8990"}));
    EXPECT_EQ(view.infoRows, (std::vector<std::string>{cp("Kart Numarası=")}));
    view.infoRows.clear();
    dialogue.ParseReply(reply("AT^SCID", {"^SCID: 8990"}));
    EXPECT_EQ(view.infoRows, (std::vector<std::string>{cp("Kart Numarası=8990")}));
}

TEST_F(ParseTest, BadGaugeFieldIsShownOnceAndOtherwiseIgnored) {
    view.signal = 40;
    dialogue.ParseReply(reply("AT+CSQ", {"+CSQ: x1,99"}));
    dialogue.ParseReply(reply("AT+CSQ", {"+CSQ: x1,99"}));
    EXPECT_EQ(errors, (std::vector<std::string>{"'x1' is not a valid integer value"}));
    EXPECT_EQ(view.signal, 40);
    EXPECT_EQ(view.lamp, LampColor::Red);
    dialogue.ParseReply(reply("AT+CBC", {"+CBC: 0,full"}));
    EXPECT_EQ(errors.size(), 2u);
    // Good again, then bad again: shown again.
    dialogue.ParseReply(reply("AT+CSQ", {"+CSQ: 31,99"}));
    EXPECT_EQ(view.signal, 100);
    dialogue.ParseReply(reply("AT+CSQ", {"+CSQ: x1,99"}));
    EXPECT_EQ(errors.size(), 3u);
}

TEST_F(ParseTest, PhonebookAnswerStartsTheRead) {
    view.refresh = false;
    dialogue.ParseReply(reply("AT+CPBR=?", {"+CPBR: (1-250),40,18"}));
    EXPECT_TRUE(dialogue.state().PhonebookReading);
    EXPECT_TRUE(view.refresh);

    dialogue.state().IsConnected = false;
    view.lamp = LampColor::Green;
    dialogue.ParseReply(reply("AT+CGMI", {"MAKER"}));
    EXPECT_EQ(view.lamp, LampColor::Red);
    EXPECT_TRUE(view.infoRows.empty());
}

TEST_F(ParseTest, ConnectFillsTheRowsAndGauges) {
    dialogue.state().IsConnected = false;
    port.answerQuery();
    dialogue.btnOpenClick();
    EXPECT_EQ(view.infoRows, (std::vector<std::string>{
                                 cp("Üretici=MAKER"), "Tip=PS-100", cp("Yazılım Sürümü=1.0.1"),
                                 "IMEI=490154203237518", "IMSI=286011234567890", cp("Sağlayan=NET"),
                                 cp("Kart Numarası=8990011234567890123"),
                                 "Servis Merkezi=+905320000000", "Modem=MODEL - REVISION 1"}));
    EXPECT_EQ(view.signal, 65);
    EXPECT_EQ(view.battery, 80);
    EXPECT_EQ(port.written.size(), 15u);
    EXPECT_EQ(port.written[11], "AT+CLIP=1\r");
    EXPECT_TRUE(view.refresh);
    EXPECT_EQ(view.lamp, LampColor::Red);
}

TEST_F(ParseTest, PollAlternatesAndSkipsABusyLine) {
    port.open = true;
    port.answer("AT+CSQ\r", reply("AT+CSQ", {"+CSQ: 10,99"}));
    port.answer("AT+CBC\r", reply("AT+CBC", {"+CBC: 0,55"}));
    dialogue.tiRefreshTimer();
    dialogue.tiRefreshTimer();
    dialogue.tiRefreshTimer();
    EXPECT_EQ(port.written, (std::vector<std::string>{"AT+CSQ\r", "AT+CBC\r", "AT+CSQ\r"}));
    EXPECT_EQ(view.signal, 32);
    EXPECT_EQ(view.battery, 55);
    EXPECT_EQ(dialogue.state().PollPhase, 1);

    // A tick inside a turn's wait writes nothing and asks the same next time.
    {
        CommandTurn turn = dialogue.beginTurn(CommandOrigin::User);
        dialogue.tiRefreshTimer();
        EXPECT_EQ(dialogue.lastOutcome(), CommandOutcome::Skipped);
    }
    EXPECT_EQ(dialogue.state().PollPhase, 1);
    EXPECT_EQ(port.written.size(), 3u);

    // While a phonebook read is asked for, the tick runs it instead.
    int reads = 0;
    dialogue.setPhonebookReader([&] { ++reads; });
    dialogue.state().PhonebookReading = true;
    {
        CommandTurn turn = dialogue.beginTurn(CommandOrigin::User);
        dialogue.tiRefreshTimer();
        EXPECT_EQ(reads, 0);
    }
    dialogue.tiRefreshTimer();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(port.written.size(), 3u);
}

TEST_F(ParseTest, ShowCallerNumber) {
    const std::pair<std::string, std::string> cases[] = {
        {"\r\nRING\r\n\r\n+CLIP: \"+905321112233\",145\r\n", cp("Telefon Numarası: +905321112233")},
        {"\r\nRING\r\n\r\n+clip: 05321112233,129\r\n", cp("Telefon Numarası: 05321112233")},
        {"\r\nRING\r\n\r\n+CLIP:", ""},        // the number has not come yet
        {"+CLIP: \"+905321112233\",145", ""},  // keyword first: field 0 is no keyword
        {"\r\nRING\r\n", ""},
    };
    for (const auto& [text, label] : cases) {
        view.labels.clear();
        dialogue.ShowCallerNumber(text);
        EXPECT_EQ(view.labels[3], label) << text;
    }
}

// A ring during a poll ends the poll; the number comes in a later delivery; the labels
// clear with tiClear.
TEST_F(ParseTest, RingDuringAPoll) {
    port.open = true;
    view.signal = 40;
    port.answer("AT+CSQ\r", "AT+CSQ\r\r\nRING\r\n", 5);
    dialogue.tiRefreshTimer();
    EXPECT_EQ(dialogue.lastOutcome(), CommandOutcome::Completed);
    EXPECT_EQ(view.signal, 40);
    EXPECT_EQ(view.labels[2], cp("Gelen Çağrı!"));
    EXPECT_EQ(view.labels[3], "");
    EXPECT_TRUE(view.clear);

    port.arrive("\r\n+CLIP: \"+905321112233\",145\r\n");
    queue.pumpAll();
    EXPECT_EQ(view.labels[3], cp("Telefon Numarası: +905321112233"));
    EXPECT_EQ(view.clearStarts, 2);  // every delivery restarts tiClear

    dialogue.tiClearTimer();
    EXPECT_EQ(view.labels[2], "");
    EXPECT_EQ(view.labels[3], "");
    EXPECT_FALSE(view.clear);
}

}  // namespace
}  // namespace phone
