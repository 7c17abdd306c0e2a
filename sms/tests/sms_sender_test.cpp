#include "sms/sms_sender.h"

#include <gtest/gtest.h>

#include <utility>

#include "sms/tests/fake_line.h"

namespace sms {
namespace {

using phone::CommandOutcome;
using phone::testing::cp;
using phone::testing::FakeView;
using testing::Answer;
using testing::FakeLine;

constexpr char kEsc[] = "\x1B";

struct SenderTest : ::testing::Test {
    FakeView view;
    FakeLine line{view};
    SmsSender sender{line, view};
};

TEST_F(SenderTest, SelectsPduModeThenSubmitsWithRefreshOffAndShowsTheReference) {
    line.nextReference = 42;
    view.refresh = true;
    const SendOutcome o = sender.SendSms("+123456789", u"abc");

    EXPECT_EQ(o.status, SendStatus::Sent);
    EXPECT_EQ(o.references, std::vector<int>{42});
    EXPECT_EQ(line.written, (std::vector<std::string>{"AT+CMGF=0\r", "AT+CMGS=16\r",
                                                      "001100099121436587F90000FF0361F118\x1A"}));
    EXPECT_EQ(line.refreshWhenWritten, (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(view.refresh);
    EXPECT_EQ(view.panels[1], cp("Gönderildi: ref 42"));
}

// What the phone answers to the PDU, and what the user reads: a refusal fails the
// message; no answer, or an OK without "+CMGS: n", leaves it unknown, since the PDU went
// out and the network may have taken it.
TEST_F(SenderTest, APduIsSentOnlyWithItsReferenceAndUnknownWithoutAnAnswer) {
    const struct {
        Answer answer;
        SendStatus status;
        const char* line;
    } cases[] = {
        {{"\r\n+CMS ERROR: 21\r\n", CommandOutcome::Failed},
         SendStatus::Failed,
         "Gönderilemedi: Kısa mesaj aktarımı reddedildi (+CMS ERROR: 21)"},
        {{"\r\n+CMS ERROR: 197\r\n", CommandOutcome::Failed},
         SendStatus::Failed,
         "Gönderilemedi: Mesaj reddedildi (yinelenen mesaj) (+CMS ERROR: 197)"},
        {{"\r\n+CMS ERROR: 145\r\n", CommandOutcome::Failed},
         SendStatus::Failed,
         "Gönderilemedi: Veri kodlama hatası (+CMS ERROR: 145)"},
        {{"\r\n+CMS ERROR: 600\r\n", CommandOutcome::Failed},
         SendStatus::Failed,
         "Gönderilemedi: +CMS ERROR: 600"},
        {{"\r\n+CMS ERROR: invalid PDU mode parameter\r\n", CommandOutcome::Failed},
         SendStatus::Failed,
         "Gönderilemedi: +CMS ERROR: invalid PDU mode parameter"},
        {{"\r\n+CME ERROR: 30\r\n", CommandOutcome::Failed},
         SendStatus::Failed,
         "Gönderilemedi: Şebeke hizmeti yok (+CME ERROR: 30)"},
        {{"\r\nERROR\r\n", CommandOutcome::Failed},
         SendStatus::Failed,
         "Gönderilemedi: Telefon hata bildirdi (ERROR)"},
        {{"", CommandOutcome::TimedOut},
         SendStatus::Unknown,
         "Belirsiz: Telefon yanıt vermedi (Zaman Aşımı)"},
        {{"", CommandOutcome::Disconnected},
         SendStatus::Unknown,
         "Belirsiz: Telefon bağlantısı koptu"},
        // An OK alone, again and again: some earlier command's, never this message's.
        {{"\r\nOK\r\n"}, SendStatus::Unknown, "Belirsiz: Telefon yanıt vermedi (Zaman Aşımı)"},
        // The reference came and the final OK did not: the network has the message.
        {{"\r\n+CMGS: 12\r\n", CommandOutcome::TimedOut}, SendStatus::Sent, "Gönderildi: ref 12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        FakeLine fresh{view};
        SmsSender s{fresh, view};
        fresh.script = [&](const std::string& cmd) -> std::optional<Answer> {
            if (!cmd.empty() && cmd.back() == '\x1A') {
                return c.answer;
            }
            if (cmd.empty()) {  // the wait going on after a stray OK
                return c.answer;
            }
            return std::nullopt;
        };
        const SendOutcome o = s.SendSms("05321112233", u"merhaba");
        EXPECT_EQ(o.status, c.status);
        EXPECT_TRUE(o.pduWritten);
        EXPECT_EQ(o.statusLine(), cp(c.line));
        EXPECT_EQ(view.panels[1], cp(c.line));
        EXPECT_EQ(o.lineLost, c.answer.outcome == CommandOutcome::Disconnected);
        EXPECT_EQ(view.refresh, c.answer.outcome != CommandOutcome::Disconnected);
    }
}

// Without the prompt the PDU is never written; ESC closes a prompt that comes late.
TEST_F(SenderTest, NoPromptSendsEscapeAndNeverThePdu) {
    const struct {
        Answer answer;
        const char* reason;
    } cases[] = {
        {{"AT+CMGS=20\r", CommandOutcome::TimedOut}, "Telefon mesaj istemini (>) göndermedi"},
        {{"AT+CMGS=20\r\r\n+CMS ERROR: 302\r\n", CommandOutcome::Failed},
         "İşleme izin verilmiyor (+CMS ERROR: 302)"},
        {{"AT+CMGS=20\r\r\n+CMS ERROR: 311\r\n", CommandOutcome::Failed},
         "SIM PIN gerekli (+CMS ERROR: 311)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        FakeLine fresh{view};
        SmsSender s{fresh, view};
        fresh.script = [&](const std::string& cmd) -> std::optional<Answer> {
            if (cmd.starts_with("AT+CMGS=")) {
                return c.answer;
            }
            return std::nullopt;
        };
        const SendOutcome o = s.SendSms("0123456789", u"12345678");
        EXPECT_EQ(o.status, SendStatus::Failed);
        EXPECT_FALSE(o.pduWritten);
        EXPECT_EQ(o.error, cp(c.reason));
        EXPECT_EQ(fresh.written, (std::vector<std::string>{"AT+CMGF=0\r", "AT+CMGS=20\r", kEsc}));
    }
}

// After a command whose answer did not come, the next message first brings the line
// back to a known state: ESC for a prompt that may be open, then AT until its OK comes
// after its echo, so that a late answer is never taken for the next message's.
TEST_F(SenderTest, ALateAnswerIsClearedAwayBeforeTheNextMessage) {
    // The PDU of the first message is not answered in time.
    bool first = true;
    line.script = [&](const std::string& cmd) -> std::optional<Answer> {
        if (cmd.back() == '\x1A' && std::exchange(first, false)) {
            return Answer{"", CommandOutcome::TimedOut};
        }
        return std::nullopt;
    };
    EXPECT_EQ(sender.SendSms("0123456789", u"abc").status, SendStatus::Unknown);
    line.written.clear();
    int syncs = 0;
    line.script = [&](const std::string& cmd) -> std::optional<Answer> {
        if (cmd == "AT\r" && ++syncs == 1) {
            // The first message's answer arrives now, before the phone's echo.
            return Answer{"\r\n+CMGS: 7\r\n\r\nOK\r\n"};
        }
        return std::nullopt;
    };
    SendOutcome o = sender.SendSms("0123456789", u"abc");
    EXPECT_EQ(o.status, SendStatus::Sent);
    ASSERT_EQ(line.written.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(line.written.begin(), line.written.begin() + 5),
              (std::vector<std::string>{kEsc, "AT\r", "AT\r", "AT+CMGF=0\r", "AT+CMGS=16\r"}));
    EXPECT_EQ(o.references, std::vector<int>{1});  // not the late 7
    // Once in step, no more AT.
    line.written.clear();
    sender.SendSms("0123456789", u"abc");
    EXPECT_EQ(line.written.size(), 3u);

    // A phone that answers nothing at all gets no message.
    line.script = [&](const std::string& cmd) -> std::optional<Answer> {
        if (cmd.starts_with("AT+CMGS=")) {
            return Answer{"", CommandOutcome::TimedOut};
        }
        if (cmd == "AT\r") {
            return Answer{"AT\r", CommandOutcome::TimedOut};
        }
        return std::nullopt;
    };
    sender.SendSms("0123456789", u"abc");
    line.written.clear();
    o = sender.SendSms("0123456789", u"abc");
    EXPECT_EQ(o.status, SendStatus::Failed);
    EXPECT_EQ(o.error, cp("Telefon yanıt vermedi (Zaman Aşımı)"));
    EXPECT_EQ(line.written, (std::vector<std::string>{"AT\r", "AT\r", "AT\r"}));
}

// A run is readied once per connection: a reconnect during the run (in the pause) readies
// the phone again before its next message, and a phone that is then not ready fails that
// message before anything is submitted.
TEST_F(SenderTest, EveryConnectionIsPreparedBeforeItsFirstMessage) {
    const std::vector<std::string> preparation = {"AT+CPIN?\r", "AT+CREG?\r", "AT+CMGF=0\r"};
    ASSERT_EQ(sender.prepareRun(), "");
    EXPECT_EQ(line.written, preparation);
    line.written.clear();
    EXPECT_EQ(sender.submit("0123456789", u"abc", {}).status, SendStatus::Sent);
    EXPECT_EQ(line.written.size(), 2u);  // AT+CMGS and the PDU

    line.connectionNumber = 2;  // disconnected and connected again
    line.written.clear();
    EXPECT_EQ(sender.submit("0123456789", u"abc", {}).status, SendStatus::Sent);
    ASSERT_EQ(line.written.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(line.written.begin(), line.written.begin() + 3),
              preparation);
    EXPECT_EQ(line.written[3], "AT+CMGS=16\r");

    line.connectionNumber = 3;
    line.written.clear();
    line.script = [](const std::string& cmd) -> std::optional<Answer> {
        if (cmd.starts_with("AT+CPIN?")) {
            return Answer{"\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"};
        }
        return std::nullopt;
    };
    const SendOutcome o = sender.submit("0123456789", u"abc", {});
    EXPECT_EQ(o.status, SendStatus::Failed);
    EXPECT_FALSE(o.pduWritten);
    EXPECT_EQ(o.error, cp("SIM kart hazır değil (SIM PIN)"));
    EXPECT_EQ(line.written, std::vector<std::string>{"AT+CPIN?\r"});
}

// A SIM that is slow after power-up: AT+CPIN? waits longer than other commands, and
// "SIM busy" is asked again after a pause, a bounded number of times.
TEST_F(SenderTest, ASlowOrBusySimDelaysTheRunWithoutFailingIt) {
    SendLimits limits;
    limits.simMs = 7000;
    limits.simBusyRetryMs = 250;
    limits.simBusyTries = 4;
    SmsSender slow{line, view, limits};
    int busy = 3;
    line.script = [&](const std::string& cmd) -> std::optional<Answer> {
        if (cmd.starts_with("AT+CPIN?") && busy-- > 0) {
            return Answer{"\r\n+CME ERROR: 14\r\n", CommandOutcome::Failed};
        }
        return std::nullopt;
    };
    EXPECT_EQ(slow.prepareRun(), "");
    EXPECT_EQ(line.pauses, (std::vector<int>{250, 250, 250}));
    EXPECT_EQ(line.limitOf["AT+CPIN?\r"], 7000);
    EXPECT_EQ(line.limitOf["AT+CREG?\r"], limits.commandMs);

    // Busy for good: the run does not start, and says why.
    busy = 100;
    line.pauses.clear();
    EXPECT_EQ(slow.prepareRun(), cp("SIM kart hazır değil (SIM kart meşgul (+CME ERROR: 14))"));
    EXPECT_EQ(line.pauses.size(), 3u);
}

TEST_F(SenderTest, ARingBeforeTheAnswerKeepsWaitingForIt) {
    int pduAnswers = 0;
    line.script = [&](const std::string& cmd) -> std::optional<Answer> {
        if (cmd.back() == '\x1A') {
            return Answer{"\r\nRING\r\n"};
        }
        if (cmd.empty() && ++pduAnswers == 1) {
            return Answer{"\r\n+CMGS: 9\r\n\r\nOK\r\n"};
        }
        return std::nullopt;
    };
    const SendOutcome o = sender.SendSms("0123456789", u"abc");
    EXPECT_EQ(o.status, SendStatus::Sent);
    EXPECT_EQ(o.references, std::vector<int>{9});
}

TEST_F(SenderTest, WhatCannotBeSentFailsBeforeAnySubmission) {
    // An empty or lettered number cannot be encoded.
    for (const char* number : {"", "0532abc"}) {
        line.written.clear();
        view.refresh = true;
        const SendOutcome o = sender.SendSms(number, u"abc");
        EXPECT_EQ(o.status, SendStatus::Failed);
        EXPECT_EQ(o.error, "Error encoding PDU");
        EXPECT_EQ(line.written, std::vector<std::string>{"AT+CMGF=0\r"});
        EXPECT_EQ(view.panels[1], cp("Gönderilemedi: Error encoding PDU"));
        EXPECT_TRUE(view.refresh);
    }
    // A phone that stays in text mode would send the PDU as text to the number "23".
    line.written.clear();
    line.script = [](const std::string& cmd) -> std::optional<Answer> {
        if (cmd == "AT+CMGF=0\r") {
            return Answer{"\r\nERROR\r\n", CommandOutcome::Failed};
        }
        return std::nullopt;
    };
    SendOutcome o = sender.SendSms("0123456789", u"abc");
    EXPECT_EQ(o.error, cp("Telefon PDU kipine geçmedi (AT+CMGF=0): Telefon hata bildirdi (ERROR)"));
    EXPECT_EQ(line.written, std::vector<std::string>{"AT+CMGF=0\r"});
    // No phone: nothing written, and the user is told.
    line.written.clear();
    line.isConnected = false;
    o = sender.SendSms("0123456789", u"abc");
    EXPECT_EQ(o.error, cp("Telefon bağlı değil"));
    EXPECT_TRUE(line.written.empty());
}

// A long text goes out as one AT+CMGS turn per part, in order; the first refused part
// ends the message, which then failed.
TEST_F(SenderTest, LongTextOneTurnPerPart) {
    const std::u16string text(400, u'a');  // three parts of at most 153 septets
    SendOutcome o = sender.SendSms("0123456789", text);
    EXPECT_EQ(o.status, SendStatus::Sent);
    EXPECT_EQ(o.parts, 3);
    EXPECT_EQ(o.referencesText(), "1 2 3");
    EXPECT_EQ(line.turns, 1 + 3);  // AT+CMGF=0, then one per part
    EXPECT_EQ(view.panels[1], cp("Gönderildi: ref 1 2 3"));

    line.written.clear();
    int pdu = 0;
    line.script = [&](const std::string& cmd) -> std::optional<Answer> {
        if (cmd.back() == '\x1A' && ++pdu == 3) {
            return Answer{"\r\n+CMS ERROR: 42\r\n", CommandOutcome::Failed};
        }
        return std::nullopt;
    };
    o = sender.SendSms("0123456789", text);
    EXPECT_EQ(o.status, SendStatus::Failed);
    EXPECT_EQ(o.referencesText(), "4 5");
    EXPECT_EQ(o.statusLine(), cp("Gönderilemedi: 2/3 parça: Şebeke yoğun (+CMS ERROR: 42)"));
    EXPECT_EQ(line.written.size(), 1u + 3 * 2);
}

TEST(SendOutcome, PartlySentMessageSaysHowManyParts) {
    SendOutcome o;
    o.status = SendStatus::Failed;
    o.parts = 3;
    o.references = {7, -1};
    o.error = "x";
    EXPECT_EQ(o.referencesText(), "7 ?");
    EXPECT_EQ(o.statusLine(), cp("Gönderilemedi: 2/3 parça: x"));
}

}  // namespace
}  // namespace sms
