// The command exchange and the connection, against a scripted port and a recording
// window.
#include "phone/phone_dialogue.h"

#include <gtest/gtest.h>

#include <chrono>

#include "phone/str_to_int.h"
#include "phone/tests/fake_phone.h"
#include "platform/clock.h"

namespace phone {
namespace {

using testing::cp;
using testing::FakeView;
using testing::ScriptedPort;

class DialogueTest : public ::testing::Test {
protected:
    DialogueTest() {
        port.dialogue = &dialogue;
        dialogue.setReplyLimitMs(kLimitMs);
    }

    // Runs `action` once, `delayMs` from now, from the message queue (a click or a tick
    // inside whatever wait is running then).
    void later(int delayMs, std::function<void()> action) {
        auto id = std::make_shared<platform::TimerId>();
        *id = queue.startTimer(delayMs, [this, id, action] {
            queue.stopTimer(*id);
            action();
        });
    }

    // Short, so that tests do not sit through the program's 2000 ms.
    static constexpr int kLimitMs = 200;

    // Connects through the button, as the user does.
    void connect() {
        port.answerQuery();
        dialogue.btnOpenClick();
        port.answers.clear();
        ASSERT_TRUE(dialogue.state().IsConnected);
        port.written.clear();
    }

    platform::PlainMessageQueue queue;
    FakeView view;
    ScriptedPort port{queue};
    PhoneDialogue dialogue{view, port, queue};
};

TEST_F(DialogueTest, NotConnectedWritesNothingAndReturnsEmpty) {
    port.open = true;
    EXPECT_EQ(dialogue.SendCommand("AT+CSQ\r", "\r\nOK"), "");
    EXPECT_TRUE(port.written.empty());
    EXPECT_EQ(view.lamp, LampColor::Red);
    EXPECT_EQ(dialogue.lastOutcome(), CommandOutcome::Disconnected);
}

// How each kind of answer ends a command, and what panel 1 shows for it.
TEST_F(DialogueTest, AnswersEndTheCommandAsTheyShould) {
    struct Case {
        const char* name;
        std::string command;
        std::string completion;
        std::vector<std::string> pieces;  // delivered one after another
        CommandOutcome outcome;
        std::string panel1;
    };
    const std::string unsupported = cp("Telefon Tarafından Desteklenmiyor !");
    const std::string timedOut = cp("Zaman Aşımı");
    const std::vector<Case> cases = {
        {"completion split over deliveries",
         "AT+CSQ\r",
         "\r\nOK",
         {"AT+CSQ\r\r\n+CSQ: 20,99\r\n\r", "\nO", "K\r\n"},
         CommandOutcome::Completed,
         ""},
        {"prompt", "AT+CMGS=20\r", ">", {"AT+CMGS=20\r\r\n> "}, CommandOutcome::Completed, ""},
        {"OK does not complete a prompt",
         "AT+CMGS=20\r",
         ">",
         {"AT+CMGS=20\r\r\nOK\r\n"},
         CommandOutcome::TimedOut,
         timedOut},
        {"error line",
         "AT^SCID\r",
         "\r\nOK",
         {"AT^SCID\r\r\nERROR\r\n"},
         CommandOutcome::Failed,
         "AT^SCID\r" + unsupported},
        {"ring ends the wait",
         "AT+CBC\r",
         "\r\nOK",
         {"AT+CBC\r\r\nRING\r\n"},
         CommandOutcome::Completed,
         ""},
        {"+CME ERROR ends the wait as ERROR does",
         "AT+CPBR=1\r",
         "\r\nOK",
         {"AT+CPBR=1\r\r\n+CME ERROR: 21\r\n"},
         CommandOutcome::Failed,
         "AT+CPBR=1\r" + unsupported},
        {"+CMS ERROR waits for the end of its line",
         "0011\x1a",
         "\r\nOK",
         {"0011\x1a\r\n+CMS ERROR: 3", "04\r\n"},
         CommandOutcome::Failed,
         "0011\x1a" + unsupported},
        {"lower-case ok is no completion",
         "AT+CGMI\r",
         "\r\nOK",
         {"AT+CGMI\r\r\nok\r\n"},
         CommandOutcome::TimedOut,
         timedOut},
    };
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view.panels[1].clear();
        int delay = 10;
        for (const std::string& piece : c.pieces) {
            port.answer(c.command, piece, delay);
            delay += 30;
        }
        const auto start = std::chrono::steady_clock::now();
        const std::string reply = dialogue.SendCommand(c.command, c.completion);
        const auto took = std::chrono::steady_clock::now() - start;
        port.answers.clear();

        std::string all;
        for (const std::string& piece : c.pieces) {
            all += piece;
        }
        EXPECT_EQ(reply, all);  // the reply is returned also after a failure or the limit
        EXPECT_EQ(dialogue.lastOutcome(), c.outcome);
        EXPECT_EQ(view.panels[1], c.panel1);
        EXPECT_EQ(view.lamp, LampColor::Green);
        if (c.outcome == CommandOutcome::TimedOut) {
            EXPECT_GE(took, std::chrono::milliseconds(kLimitMs));
            EXPECT_TRUE(port.open);  // the phone is still there
        } else {
            EXPECT_LT(took, std::chrono::milliseconds(1500));
        }
    }
}

TEST_F(DialogueTest, TextBetweenCommandsIsDroppedAndFailureTextStays) {
    connect();
    port.answer("AT+X\r", "AT+X\r\r\nERROR\r\n", 5);
    dialogue.SendCommand("AT+X\r", "\r\nOK");
    const std::string failure = view.panels[1];

    port.arrive("\r\nRING\r\n");
    queue.pumpAll();
    EXPECT_TRUE(dialogue.state().ReplyDone);

    port.answer("AT+CSQ\r", "AT+CSQ\r\r\n+CSQ: 9,99\r\n\r\nOK\r\n", 5);
    EXPECT_EQ(dialogue.SendCommand("AT+CSQ\r", "\r\nOK"), "AT+CSQ\r\r\n+CSQ: 9,99\r\n\r\nOK\r\n");
    EXPECT_EQ(view.panels[1], failure);
}

TEST_F(DialogueTest, LateAnswersAfterTheLimit) {
    connect();
    // A late OK still completes the timed-out command.
    port.answer("AT+CGMR\r", "AT+CGMR\r\r\n1.0\r\n", 5);
    dialogue.SendCommand("AT+CGMR\r", "\r\nOK");
    ASSERT_EQ(dialogue.lastOutcome(), CommandOutcome::TimedOut);
    EXPECT_FALSE(dialogue.state().ReplyDone);
    EXPECT_TRUE(dialogue.answerMayBeLate());
    port.arrive("\r\nOK\r\n");
    queue.pumpAll();
    EXPECT_TRUE(dialogue.state().ReplyDone);

    // A late error line marks the state failed; the next command must not take that
    // failure for its own.
    port.answer("AT+CIMI\r", "AT+CIMI\r", 5);
    dialogue.SendCommand("AT+CIMI\r", "\r\nOK");
    port.arrive("\r\nERROR\r\n");
    queue.pumpAll();
    EXPECT_TRUE(dialogue.state().ReplyFailed);
    view.panels[1].clear();
    port.answer("AT+CBC\r", "AT+CBC\r\r\n+CBC: 0,80\r\n\r\nOK\r\n", 20);
    EXPECT_EQ(dialogue.SendCommand("AT+CBC\r", "\r\nOK"), "AT+CBC\r\r\n+CBC: 0,80\r\n\r\nOK\r\n");
    EXPECT_EQ(dialogue.lastOutcome(), CommandOutcome::Completed);
    EXPECT_EQ(view.panels[1], "");
    EXPECT_FALSE(dialogue.answerMayBeLate());
}

TEST_F(DialogueTest, CommandStartedInsideAWaitNeverTakesItsReply) {
    connect();
    port.answer("AT+CGMI\r", "AT+CGMI\r\r\nACME\r\n\r\nOK\r\n", 150);
    port.answer("AT+CSQ\r", "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n", 10);

    std::string inner;
    std::string skipped = "unset";
    CommandOutcome pollOutcome = CommandOutcome::Completed;
    auto id = std::make_shared<platform::TimerId>();
    *id = queue.startTimer(20, [&, id] {
        queue.stopTimer(*id);
        // A poll tick inside the wait is skipped ...
        skipped = dialogue.SendCommand("AT+CBC\r", "\r\nOK", CommandOrigin::Poll);
        pollOutcome = dialogue.lastOutcome();
        // ... a click waits its turn.
        inner = dialogue.SendCommand("AT+CSQ\r", "\r\nOK");
    });
    const std::string outer = dialogue.SendCommand("AT+CGMI\r", "\r\nOK");

    EXPECT_EQ(outer, "AT+CGMI\r\r\nACME\r\n\r\nOK\r\n");
    EXPECT_EQ(inner, "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    EXPECT_EQ(skipped, "");
    EXPECT_EQ(pollOutcome, CommandOutcome::Skipped);
    EXPECT_EQ(port.written, (std::vector<std::string>{"AT+CGMI\r", "AT+CSQ\r"}));
    EXPECT_EQ(dialogue.lastOutcome(), CommandOutcome::Completed);
}

TEST_F(DialogueTest, DisconnectInsideAWaitEndsIt) {
    connect();
    port.answer("AT+COPS?\r", "AT+COPS?\r", 5);
    later(40, [&] { dialogue.btnOpenClick(); });
    dialogue.setReplyLimitMs(PhoneDialogue::kReplyLimitMs);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(dialogue.SendCommand("AT+COPS?\r", "\r\nOK"), "AT+COPS?\r");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(dialogue.lastOutcome(), CommandOutcome::Disconnected);
    EXPECT_FALSE(port.open);
}

// A timer's command that runs inside the close's own wait: nothing is written, and it
// ends at once instead of waiting out its limit for an answer that cannot come.
TEST_F(DialogueTest, CommandStartedInsideACloseEndsAtOnce) {
    connect();
    dialogue.setReplyLimitMs(PhoneDialogue::kReplyLimitMs);
    CommandOutcome turnOutcome = CommandOutcome::Completed;
    std::string panel;
    port.whileClosing = [&] {
        dialogue.SendCommand("AT+CMGL=4\r", "\r\nOK");
        turnOutcome = dialogue.lastOutcome();
        panel = view.panels[1];
    };
    const auto start = std::chrono::steady_clock::now();
    dialogue.btnOpenClick();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(turnOutcome, CommandOutcome::Disconnected);
    EXPECT_NE(panel, cp("Zaman Aşımı"));
    EXPECT_TRUE(port.written.empty());
    EXPECT_FALSE(dialogue.state().IsConnected);
}

TEST_F(DialogueTest, PhoneGoneIsNoticedAtTheLimit) {
    connect();
    port.ports.clear();  // unplugged
    dialogue.SendCommand("AT+CSQ\r", "\r\nOK");
    EXPECT_EQ(dialogue.lastOutcome(), CommandOutcome::TimedOut);
    EXPECT_FALSE(port.open);
    EXPECT_FALSE(dialogue.state().IsConnected);
    EXPECT_EQ(view.panels[0], cp("Bağlantısız !"));
    EXPECT_EQ(view.caption, cp("Bağlan"));
    EXPECT_EQ(view.panels[1], cp("Zaman Aşımı"));
}

TEST_F(DialogueTest, CloseWaitEndsWhenNoCommandWaits) {
    connect();
    // Idle after a timed-out command (ReplyDone still false): no wait at all.
    dialogue.SendCommand("AT+CGSN\r", "\r\nOK");
    ASSERT_FALSE(dialogue.state().ReplyDone);
    auto start = std::chrono::steady_clock::now();
    dialogue.waitForPendingCommand();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

    // Closing inside a wait: the close wait lasts until the reply has come.
    port.answer("AT+CSCA?\r", "AT+CSCA?\r\r\n+CSCA: \"+90532\",145\r\n\r\nOK\r\n", 120);
    bool waitingAfterClose = true;
    auto id = std::make_shared<platform::TimerId>();
    *id = queue.startTimer(20, [&, id] {
        queue.stopTimer(*id);
        dialogue.waitForPendingCommand();
        waitingAfterClose = dialogue.commandWaiting();
    });
    start = std::chrono::steady_clock::now();
    const std::string reply = dialogue.SendCommand("AT+CSCA?\r", "\r\nOK");
    EXPECT_FALSE(waitingAfterClose);
    EXPECT_EQ(dialogue.lastOutcome(), CommandOutcome::Completed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));

    // A phone that never answers: the close wait is bounded by the command's limit.
    *id = queue.startTimer(20, [&, id] {
        queue.stopTimer(*id);
        const auto closeStart = std::chrono::steady_clock::now();
        dialogue.waitForPendingCommand();
        EXPECT_LT(std::chrono::steady_clock::now() - closeStart, std::chrono::milliseconds(4000));
    });
    dialogue.SendCommand("AT+CGMM\r", "\r\nOK");
    EXPECT_EQ(dialogue.lastOutcome(), CommandOutcome::TimedOut);
}

TEST_F(DialogueTest, ConnectAndDisconnect) {
    view.panels[1] = "older failure";
    port.answerQuery();
    dialogue.btnOpenClick();
    ASSERT_FALSE(port.written.empty());
    EXPECT_EQ(port.written[0], "ATE1\r");
    EXPECT_EQ(port.waitedFor, "OK");
    EXPECT_EQ(port.comNumber, 5);
    EXPECT_EQ(port.baud, 115200);
    EXPECT_TRUE(dialogue.state().IsConnected);
    EXPECT_EQ(view.panels[0], cp("Bağlı: Com5"));
    EXPECT_EQ(view.panels[1], "older failure");
    EXPECT_EQ(view.caption, cp("Bağlantıyı Kes"));
    EXPECT_TRUE(view.refresh);
    EXPECT_EQ(dialogue.connection(), 1u);

    view.infoRows = {"Marka=ACME"};
    view.signal = view.battery = 50;
    dialogue.btnOpenClick();
    EXPECT_FALSE(port.open);
    EXPECT_FALSE(dialogue.state().IsConnected);
    EXPECT_TRUE(view.infoRows.empty());
    EXPECT_EQ(view.panels[0], cp("Bağlantısız !"));
    EXPECT_EQ(view.caption, cp("Bağlan"));
    EXPECT_EQ(view.signal, 0);
    EXPECT_EQ(view.battery, 0);
    EXPECT_FALSE(view.refresh);

    // What was set up on the phone holds for its connection only.
    port.answerQuery();
    dialogue.btnOpenClick();
    EXPECT_EQ(dialogue.connection(), 2u);
}

TEST_F(DialogueTest, ConnectFailures) {
    // The phone does not answer OK: the port closes again, the rows of an earlier
    // connection stay.
    port.handshakeAnswered = false;
    view.infoRows = {"Marka=ACME"};
    dialogue.btnOpenClick();
    EXPECT_FALSE(port.open);
    EXPECT_FALSE(dialogue.state().IsConnected);
    EXPECT_EQ(view.panels[1], cp("Telefon yanıt vermiyor !"));
    EXPECT_EQ(view.panels[0], cp("Bağlantısız !"));
    EXPECT_EQ(view.caption, cp("Bağlan"));
    EXPECT_EQ(view.signal, 0);
    EXPECT_EQ(view.infoRows.size(), 1u);

    // No item selected, and a port that does not exist.
    for (int index : {-1, 6}) {
        view.panels[1].clear();
        view.port = index;
        port.comNumber = 0;
        dialogue.btnOpenClick();
        EXPECT_EQ(view.panels[1], "Comport Yok!");
        EXPECT_EQ(port.comNumber, 0);
        EXPECT_FALSE(port.open);
    }

    // A speed that is not a number: the error goes to the caller, the port stays closed.
    view.port = 4;
    view.speed = "abc";
    try {
        dialogue.btnOpenClick();
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    EXPECT_FALSE(port.open);
    EXPECT_EQ(port.comNumber, 5);
}

// The identity query fails inside the open notification; the port layer then closes
// the port without a close notification.
class FailingQuery : public PhoneDialogue {
public:
    using PhoneDialogue::PhoneDialogue;
    std::function<void()> query;

protected:
    void QueryDeviceInfo() override { query(); }
};

TEST(DialogueQueryTest, WindowMatchesThePortAfterTheQuery) {
    platform::PlainMessageQueue queue;
    FakeView view;
    ScriptedPort port{queue};
    FailingQuery dialogue{view, port, queue};
    port.dialogue = &dialogue;

    dialogue.query = [] { throw std::runtime_error("Error encoding PDU"); };
    EXPECT_THROW(dialogue.btnOpenClick(), std::runtime_error);
    EXPECT_FALSE(port.open);
    EXPECT_FALSE(dialogue.state().IsConnected);
    EXPECT_EQ(view.panels[0], cp("Bağlantısız !"));
    EXPECT_EQ(view.caption, cp("Bağlan"));
    EXPECT_FALSE(view.refresh);

    // The user disconnects while the query waits: polling must not start.
    dialogue.query = [&] { dialogue.btnOpenClick(); };
    dialogue.btnOpenClick();
    EXPECT_FALSE(port.open);
    EXPECT_FALSE(view.refresh);
    EXPECT_EQ(view.caption, cp("Bağlan"));
}

// The message submission: prompt and PDU in one turn. Whatever starts inside its waits
// (a click, a tick) writes nothing before the turn has ended; clicks then run in the
// order they came.
TEST_F(DialogueTest, ATurnKeepsTheLineUntilItEnds) {
    connect();
    port.answer("AT+CMGS=12\r", "AT+CMGS=12\r\r\n> ", 30);
    port.answer("0011\x1a", "0011\x1a\r\n+CMGS: 7\r\n\r\nOK\r\n", 60);
    port.answer("AT+CSQ\r", "AT+CSQ\r\r\n+CSQ: 9,99\r\n\r\nOK\r\n", 5);
    port.answer("AT+CBC\r", "AT+CBC\r\r\n+CBC: 0,80\r\n\r\nOK\r\n", 5);

    std::vector<std::string> events;
    CommandOutcome pollOutcome = CommandOutcome::Completed;
    std::string inner;
    CommandOutcome innerOutcome = CommandOutcome::Completed;
    later(10, [&] {
        EXPECT_EQ(dialogue.SendCommand("AT+CBC\r", "\r\nOK", CommandOrigin::Poll), "");
        pollOutcome = dialogue.lastOutcome();
        dialogue.runWhenLineFree([&] {
            events.push_back("first click: " + dialogue.SendCommand("AT+CSQ\r", "\r\nOK"));
        });
        dialogue.runWhenLineFree([&] {
            events.push_back("second click: " + dialogue.SendCommand("AT+CBC\r", "\r\nOK"));
        });
    });
    // Between the prompt and the PDU: a command started here directly cannot wait for
    // a turn that goes on only after it has returned.
    later(45, [&] {
        inner = dialogue.SendCommand("AT+CSQ\r", "\r\nOK");
        innerOutcome = dialogue.lastOutcome();
    });
    {
        CommandTurn turn = dialogue.beginTurn(CommandOrigin::User);
        ASSERT_TRUE(turn);
        EXPECT_NE(turn.send("AT+CMGS=12\r", ">").find("> "), std::string::npos);
        EXPECT_EQ(turn.lastOutcome(), CommandOutcome::Completed);
        // The inner start needs a pumped wait: the PDU's is the next one.
        EXPECT_EQ(turn.send("0011\x1a", "\r\nOK", 60000), "0011\x1a\r\n+CMGS: 7\r\n\r\nOK\r\n");
        EXPECT_EQ(turn.lastOutcome(), CommandOutcome::Completed);
        events.push_back("turn ended");
    }
    // The clicks run from the queue once the turn is over.
    for (int i = 0; i < 200 && events.size() < 3; ++i) {
        queue.waitAndPumpOne(5);
    }
    EXPECT_EQ(pollOutcome, CommandOutcome::Skipped);
    EXPECT_EQ(inner, "");
    EXPECT_EQ(innerOutcome, CommandOutcome::Busy);
    EXPECT_EQ(port.written,
              (std::vector<std::string>{"AT+CMGS=12\r", "0011\x1a", "AT+CSQ\r", "AT+CBC\r"}));
    EXPECT_EQ(events, (std::vector<std::string>{
                          "turn ended", "first click: AT+CSQ\r\r\n+CSQ: 9,99\r\n\r\nOK\r\n",
                          "second click: AT+CBC\r\r\n+CBC: 0,80\r\n\r\nOK\r\n"}));
    EXPECT_FALSE(dialogue.lineBusy());
}

// Clicks that came while a command waited go before a command started after them,
// also when that command belongs to the operation which held the line (the next
// message of a bulk run), and a click on a free line runs at once.
TEST_F(DialogueTest, WaitingClicksGoFirst) {
    connect();
    port.answer("AT+CGMI\r", "AT+CGMI\r\r\nACME\r\n\r\nOK\r\n", 40);
    port.answer("AT+CSQ\r", "AT+CSQ\r\r\n+CSQ: 9,99\r\n\r\nOK\r\n", 5);
    port.answer("AT+CBC\r", "AT+CBC\r\r\n+CBC: 0,80\r\n\r\nOK\r\n", 5);
    later(10,
          [&] { dialogue.runWhenLineFree([&] { dialogue.SendCommand("AT+CSQ\r", "\r\nOK"); }); });
    dialogue.SendCommand("AT+CGMI\r", "\r\nOK");
    dialogue.SendCommand("AT+CBC\r", "\r\nOK");
    EXPECT_EQ(port.written, (std::vector<std::string>{"AT+CGMI\r", "AT+CSQ\r", "AT+CBC\r"}));

    bool ran = false;
    dialogue.runWhenLineFree([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(StrToIntTest, DecimalNumbersOnly) {
    const std::pair<const char*, int32_t> good[] = {
        {"115200", 115200}, {"  9600", 9600}, {"-5", -5}, {"+7", 7}, {"2147483647", 2147483647}};
    for (const auto& [text, value] : good) {
        EXPECT_EQ(StrToInt(text), value) << text;
    }
    for (const char* bad : {"", "abc", "9600 ", "12a", "0x10", "+", "+-1", "2147483648"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}

}  // namespace
}  // namespace phone
