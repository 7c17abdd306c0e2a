#include "sms/sms_sender.h"

#include <gtest/gtest.h>

#include "sms/tests/fake_line.h"

namespace sms {
namespace {

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

// What the phone answers to the PDU, and the reason the user reads.
TEST_F(SenderTest, ARefusedOrUnansweredPduFailsWithItsReason) {
    const struct {
        Answer answer;
        const char* reason;
    } cases[] = {
        {{"\r\n+CMS ERROR: 21\r\n", LineOutcome::Failed},
         "Kısa mesaj aktarımı reddedildi (+CMS ERROR: 21)"},
        {{"\r\n+CMS ERROR: 197\r\n", LineOutcome::Failed},
         "Mesaj reddedildi (yinelenen mesaj) (+CMS ERROR: 197)"},
        {{"\r\n+CMS ERROR: 145\r\n", LineOutcome::Failed}, "Veri kodlama hatası (+CMS ERROR: 145)"},
        {{"\r\n+CMS ERROR: 600\r\n", LineOutcome::Failed}, "+CMS ERROR: 600"},
        {{"\r\n+CMS ERROR: invalid PDU mode parameter\r\n", LineOutcome::Failed},
         "+CMS ERROR: invalid PDU mode parameter"},
        {{"\r\n+CME ERROR: 30\r\n", LineOutcome::Failed}, "Şebeke hizmeti yok (+CME ERROR: 30)"},
        {{"\r\nERROR\r\n", LineOutcome::Failed}, "Telefon hata bildirdi (ERROR)"},
        {{"", LineOutcome::TimedOut}, "Telefon yanıt vermedi (Zaman Aşımı)"},
        {{"", LineOutcome::Disconnected}, "Telefon bağlantısı koptu"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        line.isConnected = true;
        line.script = [&](const std::string& cmd) -> std::optional<Answer> {
            if (cmd.back() == '\x1A') {
                return c.answer;
            }
            return std::nullopt;
        };
        const SendOutcome o = sender.SendSms("05321112233", u"merhaba");
        EXPECT_EQ(o.status, SendStatus::Failed);
        EXPECT_EQ(o.error, cp(c.reason));
        EXPECT_EQ(view.panels[1], cp("Gönderilemedi: ") + cp(c.reason));
        EXPECT_EQ(o.lineLost, c.answer.outcome == LineOutcome::Disconnected);
        EXPECT_EQ(view.refresh, c.answer.outcome != LineOutcome::Disconnected);
    }
}

// Without the prompt the PDU is never written; ESC closes a prompt that comes late.
TEST_F(SenderTest, NoPromptSendsEscapeAndNeverThePdu) {
    const struct {
        Answer answer;
        const char* reason;
    } cases[] = {
        {{"AT+CMGS=20\r", LineOutcome::TimedOut}, "Telefon mesaj istemini (>) göndermedi"},
        {{"AT+CMGS=20\r\r\n+CMS ERROR: 302\r\n", LineOutcome::Failed},
         "İşleme izin verilmiyor (+CMS ERROR: 302)"},
        {{"AT+CMGS=20\r\r\n+CMS ERROR: 311\r\n", LineOutcome::Failed},
         "SIM PIN gerekli (+CMS ERROR: 311)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        line.written.clear();
        line.script = [&](const std::string& cmd) -> std::optional<Answer> {
            if (cmd.starts_with("AT+CMGS=")) {
                return c.answer;
            }
            return std::nullopt;
        };
        const SendOutcome o = sender.SendSms("0123456789", u"12345678");
        EXPECT_EQ(o.status, SendStatus::Failed);
        EXPECT_EQ(o.error, cp(c.reason));
        EXPECT_EQ(line.written, (std::vector<std::string>{"AT+CMGF=0\r", "AT+CMGS=20\r", kEsc}));
    }
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
            return Answer{"\r\nERROR\r\n", LineOutcome::Failed};
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
            return Answer{"\r\n+CMS ERROR: 42\r\n", LineOutcome::Failed};
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
