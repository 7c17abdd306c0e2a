// The messages and reports the phone hands over unasked, taken out of what is received,
// and the stored ones as AT+CMGL and AT+CMGR list them.
#include "phone/unsolicited.h"

#include <gtest/gtest.h>

#include "phone/stored_messages.h"
#include "phone/tests/fake_phone.h"

namespace phone {
namespace {

using testing::FakeView;
using testing::ScriptedPort;

// What a sink was handed, one text per call.
struct RecordingSink : UnsolicitedSink {
    void messageRouted(const std::string& pdu, int length) override {
        got.push_back("CMT " + std::to_string(length) + " " + pdu);
    }
    void messageStored(const std::string& mem, int index) override {
        got.push_back("CMTI " + mem + " " + std::to_string(index));
    }
    void reportRouted(const std::string& pdu, int length) override {
        got.push_back("CDS " + std::to_string(length) + " " + pdu);
    }
    void reportStored(const std::string& mem, int index) override {
        got.push_back("CDSI " + mem + " " + std::to_string(index));
    }
    std::vector<std::string> got;
};

TEST(Unsolicited, TakenOutOfTheReplyWithTheirFraming) {
    const struct {
        const char* name;
        std::string received;
        std::string left;  // what stays in the buffer
        std::vector<std::string> got;
    } cases[] = {
        {"between echo and information text",
         "AT+CSQ\r\r\n+CMTI: \"SM\",3\r\n\r\n+CSQ: 20,99\r\n\r\nOK\r\n",
         "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n",
         {"CMTI SM 3"}},
        {"before the final result",
         "AT+CBC\r\r\n+CBC: 0,80\r\n\r\n+CDSI: \"SR\",12\r\n\r\nOK\r\n",
         "AT+CBC\r\r\n+CBC: 0,80\r\n\r\nOK\r\n",
         {"CDSI SR 12"}},
        {"routed message with and without a sender name",
         "\r\n+CMT: ,24\r\n07911326040000F0040B911346610089F60000208062917314080CC8329BFD06\r\n"
         "\r\n+CMT: \"Ali, Veli\",3\r\n00ab\r\n\r\n+CMT: ,x\r\n00\r\n",
         "",
         {"CMT 24 07911326040000F0040B911346610089F60000208062917314080CC8329BFD06", "CMT 3 00ab",
          "CMT -1 00"}},
        {"routed report, between commands",
         "\r\n+CDS: 25\r\n0006D60B911326880736F4111011719551401110117195714000\r\n",
         "",
         {"CDS 25 0006D60B911326880736F4111011719551401110117195714000"}},
        {"a report line without its PDU drops alone",
         "\r\n+CDS: 25\r\nAT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n",
         "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n",
         {}},
        {"a notice that does not read drops",
         "\r\n+CMTI: \"SM\"\r\n\r\n+CDSI: \"SM\",x\r\n\r\nOK\r\n",
         "\r\nOK\r\n",
         {}},
        {"information lines that only look alike stay",
         "AT+CMGL=4\r\r\n+CMGL: 1,0,,24\r\n00AB\r\n\r\n+CMTX: 1\r\n\r\nOK\r\n",
         "AT+CMGL=4\r\r\n+CMGL: 1,0,,24\r\n00AB\r\n\r\n+CMTX: 1\r\n\r\nOK\r\n",
         {}},
        {"the prompt after a notice",
         "AT+CMGS=20\r\r\n+CMTI: \"ME\",1\r\n\r\n> ",
         "AT+CMGS=20\r\r\n> ",
         {"CMTI ME 1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string buffer = c.received;
        RecordingSink sink;
        takeUnsolicited(buffer, 0, sink);
        EXPECT_EQ(buffer, c.left);
        EXPECT_EQ(sink.got, c.got);
    }
}

// Text arrives in pieces: an unsolicited result is taken once whole, the PDU line
// included, and the scan goes on from the line not yet ended.
TEST(Unsolicited, WholeOnlyOnceItsLastLineHasEnded) {
    const std::string text = "\r\n+CMT: ,3\r\n0011AB\r\n\r\nOK\r\n";
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        SCOPED_TRACE(cut);
        RecordingSink sink;
        std::string buffer = text.substr(0, cut);
        size_t from = takeUnsolicited(buffer, 0, sink);
        buffer += text.substr(cut);
        from = takeUnsolicited(buffer, from, sink);
        EXPECT_EQ(buffer, "\r\nOK\r\n");
        EXPECT_EQ(sink.got, std::vector<std::string>{"CMT 3 0011AB"});
        EXPECT_EQ(from, buffer.size());
    }
    EXPECT_TRUE(mayBeUnsolicited("+CM"));
    EXPECT_TRUE(mayBeUnsolicited("+CDS: 25\r\n00"));
    EXPECT_FALSE(mayBeUnsolicited("+CSQ"));
    EXPECT_FALSE(mayBeUnsolicited("> "));
}

class UnsolicitedDialogue : public ::testing::Test {
protected:
    UnsolicitedDialogue() {
        port.dialogue = &dialogue;
        dialogue.setReplyLimitMs(300);
        dialogue.setUnsolicitedSink(&sink);
        port.answerQuery();
        dialogue.btnOpenClick();
        port.answers.clear();
        port.written.clear();
    }

    platform::PlainMessageQueue queue;
    FakeView view;
    ScriptedPort port{queue};
    PhoneDialogue dialogue{view, port, queue};
    RecordingSink sink;
};

// A report that comes while AT+CMGS waits for its prompt: handed up, and the submission
// goes on as if it had not come.
TEST_F(UnsolicitedDialogue, AReportDuringThePromptWaitLeavesTheSubmissionAlone) {
    port.answer("AT+CMGS=20\r", "AT+CMGS=20\r", 5);
    port.answer("AT+CMGS=20\r", "\r\n+CDS: 25\r\n0006D60B9113", 20);
    port.answer("AT+CMGS=20\r", "26880736F4111011719551401110117195714000\r\n", 40);
    port.answer("AT+CMGS=20\r", "\r\n> ", 60);
    port.answer("0011\x1a", "0011\x1a\r\n+CMTI: \"SM\",4\r\n\r\n+CMGS: 7\r\n\r\nOK\r\n", 10);
    CommandTurn turn = dialogue.beginTurn();
    EXPECT_EQ(turn.send("AT+CMGS=20\r", ">"), "AT+CMGS=20\r\r\n> ");
    EXPECT_EQ(turn.lastOutcome(), CommandOutcome::Completed);
    EXPECT_EQ(turn.send("0011\x1a", "\r\nOK"), "0011\x1a\r\n+CMGS: 7\r\n\r\nOK\r\n");
    EXPECT_EQ(turn.lastOutcome(), CommandOutcome::Completed);
    EXPECT_EQ(sink.got,
              (std::vector<std::string>{
                  "CDS 25 0006D60B911326880736F4111011719551401110117195714000", "CMTI SM 4"}));
}

// A routed message whose PDU line comes only after the next command was written still
// reaches the sink, and that command's reply is its own; a report line whose PDU never
// comes does not take the next reply with it, and a ring still ends a wait.
TEST_F(UnsolicitedDialogue, PiecesAcrossCommandsAndRings) {
    port.arrive("\r\n+CMT: ,3\r\n00");
    queue.pumpAll();
    port.answer("AT+CSQ\r", "11AB\r\nAT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n", 5);
    EXPECT_EQ(dialogue.SendCommand("AT+CSQ\r", "\r\nOK"), "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    EXPECT_EQ(sink.got, std::vector<std::string>{"CMT 3 0011AB"});

    port.answer("AT+CBC\r", "AT+CBC\r\r\n+CDS: 25\r\n\r\n+CBC: 0,80\r\n\r\nOK\r\n", 5);
    EXPECT_EQ(dialogue.SendCommand("AT+CBC\r", "\r\nOK"), "AT+CBC\r\r\n+CBC: 0,80\r\n\r\nOK\r\n");
    EXPECT_EQ(dialogue.lastOutcome(), CommandOutcome::Completed);

    port.answer("AT+CGMI\r", "AT+CGMI\r\r\n+CMTI: \"SM\",9\r\n\r\nRING\r\n", 5);
    EXPECT_EQ(dialogue.SendCommand("AT+CGMI\r", "\r\nOK"), "AT+CGMI\r\r\nRING\r\n");
    EXPECT_EQ(dialogue.lastOutcome(), CommandOutcome::Completed);
    EXPECT_EQ(view.labels[2], testing::cp("Gelen Çağrı!"));
    EXPECT_EQ(sink.got.back(), "CMTI SM 9");
}

TEST(StoredMessages, ListAndReadInPduMode) {
    const std::string list =
        "AT+CMGL=4\r\r\n"
        "+CMGL: 1,0,,24\r\n07911326040000F0040B911346610089F60000208062917314080CC8329BFD06\r\n"
        "+CMGL: 2,1,\"Ali, Veli\",3\r\n0011ab\r\n"
        "+CMGL: 3,1,5\r\n00AA\r\n"   // no <alpha> at all
        "+CMGL: x,1,,5\r\n00BB\r\n"  // an index that is no number
        "+CMGL: 5,1,,5\r\n\r\n"      // no PDU line
        "+CMGL: 6,0,,7\r\n0022\r\n\r\nOK\r\n";
    const std::vector<StoredPdu> items = parseMessageList(list);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].index, 1);
    EXPECT_EQ(items[0].stat, 0);
    EXPECT_EQ(items[0].length, 24);
    EXPECT_EQ(items[0].pduHex, "07911326040000F0040B911346610089F60000208062917314080CC8329BFD06");
    EXPECT_EQ(items[1].index, 2);
    EXPECT_EQ(items[1].pduHex, "0011ab");
    EXPECT_EQ(items[2].index, 3);
    EXPECT_EQ(items[2].length, 5);
    EXPECT_EQ(items[3].index, 6);
    EXPECT_TRUE(parseMessageList("AT+CMGL=4\r\r\nOK\r\n").empty());

    const auto read = parseMessageRead("AT+CMGR=3\r\r\n+CMGR: 1,,25\r\n0006D60B91\r\n\r\nOK\r\n");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->index, -1);
    EXPECT_EQ(read->stat, 1);
    EXPECT_EQ(read->length, 25);
    EXPECT_EQ(read->pduHex, "0006D60B91");
    EXPECT_FALSE(parseMessageRead("AT+CMGR=4\r\r\nOK\r\n"));
    EXPECT_FALSE(parseMessageRead("AT+CMGR=4\r\r\n+CMGR: 1,,25\r\n\r\nOK\r\n"));
}

}  // namespace
}  // namespace phone
