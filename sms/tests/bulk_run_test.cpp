#include "sms/bulk_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/plain_message_queue.h"
#include "platform/tests/scratch_folder.h"
#include "sms/results_log.h"
#include "sms/tests/fake_line.h"

namespace sms {
namespace {

using phone::CommandOutcome;
using phone::testing::cp;
using phone::testing::FakeView;
using testing::Answer;
using testing::FakeLine;

class RecordingView : public BulkView {
public:
    void runStarted(int total) override { events.push_back("start " + std::to_string(total)); }
    void recipientStarted(int position, const std::string& number) override {
        events.push_back("send " + std::to_string(position) + " " + number);
    }
    void recipientFinished(const RecipientResult& r) override { results.push_back(r); }
    void runFinished(const BulkSummary&) override { events.push_back("end"); }

    std::vector<std::string> events;
    std::vector<RecipientResult> results;
};

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct BulkTest : ::testing::Test {
    BulkRequest request(std::vector<std::string> numbers) {
        BulkRequest r;
        r.numbers = std::move(numbers);
        r.text = u"merhaba";
        r.resultsFolder = folder / "gonderimler";
        return r;
    }
    // Refuses the PDUs with these ordinal numbers (from 1) with `answer`.
    void refusePdus(std::set<int> which, Answer answer) {
        line.script = [this, which, answer](const std::string& cmd) -> std::optional<Answer> {
            if (!cmd.empty() && cmd.back() == '\x1A' && which.count(++pdus)) {
                return answer;
            }
            return std::nullopt;
        };
    }
    int countWritten(const std::string& prefix) const {
        return int(std::count_if(line.written.begin(), line.written.end(),
                                 [&](const std::string& w) { return w.starts_with(prefix); }));
    }

    platform::testing::ScratchFolder m_scratch{"toplusms-bulk"};
    const std::filesystem::path folder = m_scratch.path();
    FakeView view;
    FakeLine line{view};
    SmsSender sender{line, view};
    RecordingView bulkView;
    std::vector<std::int64_t> pauses;
    std::function<void()> onPause;
    const std::time_t when = 1796900000;  // a fixed moment for the times and the file name
    BulkRun run{sender, bulkView,
                [this](std::int64_t ms, const std::function<bool()>&) {
                    pauses.push_back(ms);
                    if (onPause) {
                        onPause();
                    }
                },
                [this] { return when; }};
    int pdus = 0;
};

TEST_F(BulkTest, ServesEveryEntryInOrderAndRecordsEachAsItGoes) {
    refusePdus({2}, {"\r\n+CMS ERROR: 21\r\n", CommandOutcome::Failed});
    const BulkSummary s = run.run(request({"0532", "", "+90555", "0533", "0534"}));

    EXPECT_TRUE(s.started);
    EXPECT_EQ(s.text(), cp("3 gönderildi, 2 başarısız"));
    EXPECT_EQ(view.panels[1], s.text());
    EXPECT_EQ(bulkView.events,
              (std::vector<std::string>{"start 5", "send 0 0532", "send 1 ", "send 2 +90555",
                                        "send 3 0533", "send 4 0534", "end"}));
    // The SIM, the network and the mode are checked once, before the first message.
    EXPECT_EQ(
        std::vector<std::string>(line.written.begin(), line.written.begin() + 4),
        (std::vector<std::string>{"AT+CPIN?\r", "AT+CREG?\r", "AT+CMGF=0\r", "AT+CMGS=17\r"}));
    // 30 s after every message but the last; none after an entry that never reached the phone.
    EXPECT_EQ(pauses, std::vector<std::int64_t>(3, 30000));

    const std::string time = isoLocalTime(when);
    const std::string expected =
        "\xEF\xBB\xBFnumara;zaman;sonuç;referanslar;hata\r\n"
        "0532;" +
        time +
        ";gönderildi;1;\r\n"
        ";" +
        time +
        ";başarısız;;Error encoding PDU\r\n"
        "+90555;" +
        time +
        ";başarısız;;Kısa mesaj aktarımı reddedildi (+CMS ERROR: 21)\r\n"
        "0533;" +
        time +
        ";gönderildi;2;\r\n"
        "0534;" +
        time + ";gönderildi;3;\r\n";
    ASSERT_EQ(s.resultsFile.parent_path(), folder / "gonderimler");
    EXPECT_EQ(readFile(s.resultsFile), expected);
    // An error in the middle did not pause the run, nor did the empty entry.
    EXPECT_EQ(bulkView.results.size(), 5u);
}

TEST_F(BulkTest, ResultsFileNamedAfterTheRunsStartAndNeverReused) {
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);

    const BulkSummary first = run.run(request({"0532"}));
    const BulkSummary second = run.run(request({"0533"}));
    EXPECT_EQ(first.resultsFile.filename(), std::string(stamp) + ".csv");
    EXPECT_EQ(second.resultsFile.filename(), std::string(stamp) + "_2.csv");
    EXPECT_NE(readFile(first.resultsFile).find("0532"), std::string::npos);
}

TEST_F(BulkTest, StopEndsTheRunAfterTheMessageInFlight) {
    onPause = [this] {
        if (pauses.size() == 2) {
            run.stop();
        }
    };
    const BulkSummary s = run.run(request({"1", "2", "3", "4", "5"}));
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(s.text(), cp("2 gönderildi, 0 başarısız, 3 gönderilmedi"));
    EXPECT_EQ(countWritten("AT+CMGS="), 2);
    ASSERT_EQ(bulkView.results.size(), 5u);
    EXPECT_EQ(bulkView.results[2].outcome.status, SendStatus::NotSent);
    EXPECT_TRUE(bulkView.results[2].time.empty());
    EXPECT_NE(readFile(s.resultsFile).find("\r\n5;;gönderilmedi;;\r\n"), std::string::npos);
}

TEST_F(BulkTest, AnErrorOfTheLineFailsOneRecipientAndTheRunGoesOn) {
    line.script = [this](const std::string& cmd) -> std::optional<Answer> {
        if (cmd.starts_with("AT+CMGS=") && ++pdus == 2) {
            throw std::runtime_error("ie_NOpen - device not open");
        }
        return std::nullopt;
    };
    const BulkSummary s = run.run(request({"1", "2", "3"}));
    EXPECT_EQ(s.text(), cp("2 gönderildi, 1 başarısız"));
    EXPECT_EQ(bulkView.results[1].outcome.error, "ie_NOpen - device not open");
    EXPECT_TRUE(view.refresh);
}

// The PDU of the message in flight was written: the network may have it, so it is
// unknown, not failed (and never resent unasked).
TEST_F(BulkTest, APhoneLostMidRunLeavesTheMessageInFlightUnknownAndTheRestUnsent) {
    refusePdus({2}, {"", CommandOutcome::Disconnected});
    const BulkSummary s = run.run(request({"1", "2", "3", "4"}));
    EXPECT_TRUE(s.lineLost);
    EXPECT_EQ(bulkView.results[1].outcome.status, SendStatus::Unknown);
    EXPECT_EQ(s.text(), cp("1 gönderildi, 0 başarısız, 2 gönderilmedi, 1 belirsiz"));
    EXPECT_EQ(view.panels[1], s.text() + cp(" (Telefon bağlantısı koptu)"));
    EXPECT_EQ(bulkView.results[1].outcome.error, cp("Telefon bağlantısı koptu"));
    EXPECT_EQ(pauses.size(), 1u);  // no pause once the phone is gone
}

// A run that cannot succeed does not start: nothing is submitted, no file is made.
TEST_F(BulkTest, APhoneThatIsNotReadyKeepsTheRunFromStarting) {
    const struct {
        const char* command;
        Answer answer;
        const char* reason;
    } cases[] = {
        {"AT+CPIN?", {"\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"}, "SIM kart hazır değil (SIM PIN)"},
        {"AT+CPIN?",
         {"\r\n+CME ERROR: 10\r\n", CommandOutcome::Failed},
         "SIM kart hazır değil (SIM kart takılı değil (+CME ERROR: 10))"},
        {"AT+CREG?", {"\r\n+CREG: 0,2\r\n\r\nOK\r\n"}, "Telefon şebekeye kayıtlı değil"},
        {"AT+CREG?",
         {"", CommandOutcome::TimedOut},
         "Telefon şebekeye kayıtlı değil (Telefon yanıt vermedi (Zaman Aşımı))"},
        {"AT+CMGF=0",
         {"\r\nERROR\r\n", CommandOutcome::Failed},
         "Telefon PDU kipine geçmedi (AT+CMGF=0): Telefon hata bildirdi (ERROR)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        line.written.clear();
        line.script = [&](const std::string& cmd) -> std::optional<Answer> {
            if (cmd.starts_with(c.command)) {
                return c.answer;
            }
            return std::nullopt;
        };
        const BulkSummary s = run.run(request({"1", "2"}));
        EXPECT_FALSE(s.started);
        EXPECT_EQ(s.reason, cp(c.reason));
        EXPECT_EQ(view.panels[1], cp(c.reason));
        EXPECT_EQ(countWritten("AT+CMGS"), 0);
    }
    // Roaming (5) is registered too.
    line.script = [](const std::string& cmd) -> std::optional<Answer> {
        if (cmd.starts_with("AT+CREG?")) {
            return Answer{"\r\n+CREG: 2, 5,\"00C3\",\"A1B2\"\r\n\r\nOK\r\n"};
        }
        return std::nullopt;
    };
    EXPECT_TRUE(run.run(request({"1"})).started);
    std::filesystem::remove_all(folder);

    line.isConnected = false;
    EXPECT_EQ(run.run(request({"1"})).reason, cp("Telefon bağlı değil"));
    line.isConnected = true;
    BulkRequest empty = request({"1"});
    empty.text.clear();
    EXPECT_EQ(run.run(empty).reason, cp("Gönderilecek SMS metni boş"));
    EXPECT_FALSE(run.run(request({})).started);  // an empty list does nothing
    EXPECT_FALSE(std::filesystem::exists(folder / "gonderimler"));
}

// The pause keeps the program answering: what the queue delivers runs during it, and a
// stop that arrives through it ends it.
TEST(QueuePause, ProcessesMessagesAndEndsOnStop) {
    platform::PlainMessageQueue queue;
    bool stop = false;
    const platform::HandlerId h = queue.addHandler([&](const platform::Message&) {
        stop = true;
        return intptr_t(0);
    });
    queue.post(h, {});
    const auto start = std::chrono::steady_clock::now();
    queuePause(queue)(600000, [&] { return stop; });
    EXPECT_TRUE(stop);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    queue.removeHandler(h);
}

TEST(ResultsFile, FieldsWithSeparatorsAreQuoted) {
    EXPECT_EQ(csvField("0532"), "0532");
    EXPECT_EQ(csvField("a;b"), "\"a;b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("a\r\nb"), "\"a\r\nb\"");
}

}  // namespace
}  // namespace sms
