// SendSms and the bulk run against the simulated phone, through the serial layer and the
// phone dialogue, as the program sends.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sms/bulk_run.h"
#include "sms/sms_sender.h"
#include "sms/tests/simulated_phone_line.h"

namespace sms {
namespace {

using phone::testing::cp;
using testing::SimulatedPhoneLine;

std::vector<std::string> cmgsLines(const std::vector<std::string>& commands) {
    std::vector<std::string> out;
    for (const std::string& c : commands) {
        if (c.starts_with("AT+CMGS") || c.find('\x1A') != std::string::npos ||
            c.find('\x1B') != std::string::npos) {
            out.push_back(c);
        }
    }
    return out;
}

class Results : public BulkView {
public:
    void runStarted(int) override {}
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const RecipientResult& r) override {
        results.push_back(r);
        if (onResult) {
            onResult(r);
        }
    }
    void runFinished(const BulkSummary&) override {}

    std::vector<RecipientResult> results;
    std::function<void(const RecipientResult&)> onResult;
};

TEST(SendingWithThePhone, SingleSendsAcceptedAndRefused) {
    phonesim::Config config;
    config.faults.refuseNumbers = {"+905550000000"};
    config.faults.textMode = true;  // left in text mode by another program
    SimulatedPhoneLine phone(config);
    ASSERT_TRUE(phone.connect());
    SmsSender sender(phone.line, phone.view);

    SendOutcome o = sender.SendSms("+905321112233", u"Merhaba");
    EXPECT_EQ(o.status, SendStatus::Sent) << o.error;
    EXPECT_EQ(phone.view.panels[1], cp("Gönderildi: ref 1"));
    ASSERT_EQ(phone.sim.messages().size(), 1u);
    EXPECT_EQ(phone.sim.messages()[0].pdu.text, "Merhaba");
    EXPECT_TRUE(phone.sim.refusals().empty());  // PDU mode was selected first

    // A long text: three messages, one after the other.
    o = sender.SendSms("+905321112233", std::u16string(400, u'a'));
    EXPECT_EQ(o.referencesText(), "2 3 4") << o.error;
    EXPECT_EQ(phone.sim.messages().size(), 4u);

    o = sender.SendSms("+905550000000", u"Merhaba");
    EXPECT_EQ(o.status, SendStatus::Failed);
    EXPECT_EQ(phone.view.panels[1],
              cp("Gönderilemedi: Kısa mesaj aktarımı reddedildi (+CMS ERROR: 21)"));
    EXPECT_TRUE(phone.view.refresh);
}

TEST(SendingWithThePhone, SilentPromptIsCancelledAndNoPduWritten) {
    phonesim::Config config;
    config.faults.silentPrompt = true;
    SimulatedPhoneLine phone(config, 300);
    ASSERT_TRUE(phone.connect());
    SmsSender sender(phone.line, phone.view);
    const size_t connected = phone.sim.commands().size();  // ATE1 and the identity query

    const SendOutcome o = sender.SendSms("05321112233", u"abc");
    EXPECT_EQ(o.error, cp("Telefon mesaj istemini (>) göndermedi"));
    // The phone sees the command and the ESC that closes its prompt, never a PDU.
    phone.sim.waitForCommands(connected + 3, 2000);  // AT+CMGF=0, AT+CMGS, ESC
    EXPECT_EQ(cmgsLines(phone.sim.commands()), (std::vector<std::string>{"AT+CMGS=17", "\x1B"}));
    EXPECT_TRUE(phone.sim.messages().empty());
}

// The network takes longer than any command may: the PDU waits for its answer, and the
// next message goes out only after it, so the phone is never asked while busy.
TEST(SendingWithThePhone, SlowSubmissionIsWaitedFor) {
    phonesim::Config config;
    config.faults.submitDelayMs = 1000;
    SimulatedPhoneLine phone(config, 300);
    ASSERT_TRUE(phone.connect());
    SmsSender sender(phone.line, phone.view);
    Results view;
    BulkRun run(sender, view, queuePause(phone.queue));
    BulkRequest request;
    request.numbers = {"05321112233", "05321112234"};
    request.text = u"abc";
    request.pauseSeconds = 0;

    const BulkSummary s = run.run(request);
    EXPECT_EQ(s.sent, 2) << platform::cp1254::toUtf8(phone.view.panels[1]);
    EXPECT_TRUE(phone.sim.refusals().empty());  // never "+CMS ERROR: 302"
}

struct BulkWithThePhone : ::testing::Test {
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("toplusms-bulk-sim-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    static std::vector<std::string> numbers(int count) {
        std::vector<std::string> list;
        for (int i = 0; i < count; ++i) {
            list.push_back("0532111" + std::to_string(2200 + i));
        }
        return list;
    }
    BulkRequest request(std::vector<std::string> list) {
        BulkRequest r;
        r.numbers = std::move(list);
        r.text = u"Kampanya";
        r.pauseSeconds = 0;
        r.resultsFolder = folder;
        return r;
    }
    static std::vector<std::string> lines(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::vector<std::string> out;
        std::string line;
        while (std::getline(in, line)) {
            out.push_back(line);
        }
        return out;
    }
    static std::vector<SendStatus> statuses(const std::vector<RecipientResult>& results) {
        std::vector<SendStatus> out;
        for (const RecipientResult& r : results) {
            out.push_back(r.outcome.status);
        }
        return out;
    }

    std::filesystem::path folder;
    Results view;
};

TEST_F(BulkWithThePhone, TwentyRecipientsWithABadEntryAndARefusedNumber) {
    std::vector<std::string> list = numbers(20);
    list[4] = "0532ABC";  // letters: cannot be encoded
    phonesim::Config config;
    config.faults.refuseNumbers = {list[11]};
    SimulatedPhoneLine phone(config);
    ASSERT_TRUE(phone.connect());
    SmsSender sender(phone.line, phone.view);
    BulkRun run(sender, view, queuePause(phone.queue));

    const BulkSummary s = run.run(request(list));
    EXPECT_EQ(s.text(), cp("18 gönderildi, 2 başarısız"));
    ASSERT_EQ(view.results.size(), 20u);
    std::vector<std::string> accepted;
    for (const RecipientResult& r : view.results) {
        const bool bad = r.position == 4 || r.position == 11;
        EXPECT_EQ(r.outcome.status, bad ? SendStatus::Failed : SendStatus::Sent) << r.position;
        if (!bad) {
            accepted.push_back(r.number);
        }
    }
    EXPECT_EQ(view.results[4].outcome.error, "Error encoding PDU");
    EXPECT_EQ(view.results[11].outcome.error,
              cp("Kısa mesaj aktarımı reddedildi (+CMS ERROR: 21)"));
    // The phone got the 18 in the list's order.
    std::vector<std::string> delivered;
    for (const auto& m : phone.sim.messages()) {
        delivered.push_back(m.pdu.destination);
    }
    EXPECT_EQ(delivered, accepted);
    // The file holds the header and one row per recipient.
    const std::vector<std::string> rows = lines(s.resultsFile);
    ASSERT_EQ(rows.size(), 21u);
    EXPECT_TRUE(rows[5].starts_with("0532ABC;")) << rows[5];
    EXPECT_NE(rows[12].find(";başarısız;;Kısa mesaj"), std::string::npos) << rows[12];
}

TEST_F(BulkWithThePhone, StopInTheMiddleThenResendTheRest) {
    SimulatedPhoneLine phone(phonesim::Config{});
    ASSERT_TRUE(phone.connect());
    SmsSender sender(phone.line, phone.view);
    BulkRun run(sender, view, queuePause(phone.queue));
    // "Durdur" comes while the third message is on its way.
    view.onResult = [&](const RecipientResult& r) {
        if (r.position == 1) {
            run.stop();
        }
    };
    BulkSummary s = run.run(request(numbers(6)));
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(s.text(), cp("2 gönderildi, 0 başarısız, 4 gönderilmedi"));
    EXPECT_EQ(phone.sim.messages().size(), 2u);

    std::vector<std::string> rest;
    for (const RecipientResult& r : view.results) {
        if (r.outcome.status != SendStatus::Sent) {
            rest.push_back(r.number);
        }
    }
    view.results.clear();
    view.onResult = nullptr;
    s = run.run(request(rest));
    EXPECT_EQ(s.text(), cp("4 gönderildi, 0 başarısız"));
    EXPECT_EQ(phone.sim.messages().size(), 6u);
}

TEST_F(BulkWithThePhone, UnpluggedMidRunEndsTheRun) {
    phonesim::Config config;
    // ATE1 and the fourteen commands of the identity query, AT+CPIN?, AT+CREG?,
    // AT+CMGF=0, then two commands per message: the phone goes away after accepting two
    // messages and the third's AT+CMGS.
    config.faults.hangUpAfter = 1 + 14 + 3 + 2 * 2 + 1;
    SimulatedPhoneLine phone(config, 500);
    ASSERT_TRUE(phone.connect());
    // The PDU after the last prompt waits in vain: a short limit instead of the minute.
    SmsSender sender(phone.line, phone.view, SendLimits{phone::CommandLine::kLineLimit, 1000});
    BulkRun run(sender, view, queuePause(phone.queue));

    const BulkSummary s = run.run(request(numbers(5)));
    EXPECT_TRUE(s.lineLost);
    // The third PDU went out and no answer came: it may have been delivered.
    EXPECT_EQ(statuses(view.results),
              (std::vector<SendStatus>{SendStatus::Sent, SendStatus::Sent, SendStatus::Unknown,
                                       SendStatus::NotSent, SendStatus::NotSent}));
    EXPECT_FALSE(phone.dialogue.state().IsConnected);
    EXPECT_EQ(lines(s.resultsFile).size(), 6u);
}

// A phone that cannot send keeps the run from starting.
TEST_F(BulkWithThePhone, NoSimOrNoNetworkNoRun) {
    for (const bool pin : {true, false}) {
        phonesim::Config config;
        config.faults.simPin = pin;
        config.faults.notRegistered = !pin;
        SimulatedPhoneLine phone(config);
        ASSERT_TRUE(phone.connect());
        SmsSender sender(phone.line, phone.view);
        BulkRun run(sender, view, queuePause(phone.queue));
        const BulkSummary s = run.run(request(numbers(2)));
        EXPECT_FALSE(s.started);
        EXPECT_EQ(s.reason, pin ? cp("SIM kart hazır değil (SIM PIN)")
                                : cp("Telefon şebekeye kayıtlı değil"));
        EXPECT_TRUE(cmgsLines(phone.sim.commands()).empty());
    }
}

// A reconnect in the pause: the phone, which every new connection finds in text mode,
// is readied again (AT+CMGF=0 and the SIM and network checks) before the next AT+CMGS,
// so no PDU is taken as the text of a message to "17".
TEST_F(BulkWithThePhone, ReconnectDuringThePauseReadiesThePhoneAgain) {
    phonesim::Config config;
    config.faults.textMode = true;
    SimulatedPhoneLine phone(config);
    ASSERT_TRUE(phone.connect());
    SmsSender sender(phone.line, phone.view);
    int pauses = 0;
    BulkRun run(sender, view, [&](std::int64_t, const std::function<bool()>&) {
        if (++pauses == 1) {
            EXPECT_TRUE(phone.reconnect());
        }
    });
    BulkRequest r = request(numbers(3));
    r.pauseSeconds = 1;

    const BulkSummary s = run.run(r);
    EXPECT_EQ(s.sent, 3) << platform::cp1254::toUtf8(phone.view.panels[1]);
    EXPECT_TRUE(phone.sim.refusals().empty());
    // After the second ATE1: AT+CMGF=0 before the next AT+CMGS.
    const std::vector<std::string> commands = phone.sim.commands();
    const auto reconnect = std::find(std::next(std::find(commands.begin(), commands.end(), "ATE1")),
                                     commands.end(), "ATE1");
    ASSERT_NE(reconnect, commands.end());
    const auto pduMode = std::find(reconnect, commands.end(), "AT+CMGF=0");
    const auto next = std::find_if(reconnect, commands.end(),
                                   [](const std::string& c) { return c.starts_with("AT+CMGS="); });
    EXPECT_LT(pduMode, next);
}

// The answer to a command that timed out comes while the next message waits for its
// own: that OK does not make the message sent, which the phone in fact refuses.
TEST_F(BulkWithThePhone, ALateOkDoesNotMarkTheNextMessageSent) {
    const std::string refused = "05321112299";
    phonesim::Config config;
    config.faults.lateFor = {"AT+CSQ"};
    config.faults.lateMs = 700;
    config.faults.submitDelayMs = 800;
    config.faults.refuseNumbers = {refused};
    SimulatedPhoneLine phone(config, 300);
    ASSERT_TRUE(phone.connect());
    SmsSender sender(phone.line, phone.view, SendLimits{phone::CommandLine::kLineLimit, 5000});
    ASSERT_EQ(sender.prepareRun(), "");

    phone.dialogue.SendCommand("AT+CSQ\r", "\r\nOK");  // a poll whose answer is late
    ASSERT_EQ(phone.dialogue.lastOutcome(), phone::CommandOutcome::TimedOut);
    const SendOutcome o = sender.submit(refused, u"Kampanya", {});
    EXPECT_EQ(o.status, SendStatus::Failed);
    EXPECT_EQ(o.error, cp("Kısa mesaj aktarımı reddedildi (+CMS ERROR: 21)"));
    EXPECT_TRUE(phone.sim.messages().empty());
}

// A SIM that answers AT+CPIN? only after longer than any other command may take, and
// says "SIM busy" once first: every run starts, later each time.
TEST_F(BulkWithThePhone, ASlowAndBusySimStartsEveryRun) {
    phonesim::Config config;
    config.faults.cpinDelayMs = 600;
    config.faults.simBusyOnce = true;
    SimulatedPhoneLine phone(config, 1500);
    ASSERT_TRUE(phone.connect());
    SendLimits limits;
    limits.simMs = 8000;  // far above the delay: a loaded machine must not fail it
    limits.simBusyRetryMs = 50;
    SmsSender sender(phone.line, phone.view, limits);
    BulkRun run(sender, view, queuePause(phone.queue));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const BulkSummary s = run.run(request(numbers(1)));
        EXPECT_TRUE(s.started) << platform::cp1254::toUtf8(s.reason);
        EXPECT_EQ(s.sent, 1);
        ASSERT_TRUE(phone.reconnect());
    }
    EXPECT_EQ(phone.sim.messages().size(), 3u);
}

}  // namespace
}  // namespace sms
