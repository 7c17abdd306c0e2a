// The bookkeeping of a bulk run: 200 messages without a pause to the simulated phone
// answering at once, beside a baseline of the same run made of plain writes and reads of
// the same AT+CMGS= and PDU pairs on an identical pseudo-terminal; then the same run kept
// in the database, and the durable bookkeeping it adds per message. Then a campaign of
// 100,000 recipients: made, counted, a page of its result table read. The simulators run
// in child processes. Prints one "name: value" line per figure.
//
//   bench-bulk [--quick]     --quick: 20 messages and 10,000 recipients, for a smoke run

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "phone/null_phone_view.h"
#include "phone/phone_dialogue.h"
#include "phone/phone_port.h"
#include "platform/plain_message_queue.h"
#include "serial/com_port.h"
#include "serial/pump.h"
#include "sms/bulk_run.h"
#include "sms/dialogue_line.h"
#include "sms/message_parts.h"
#include "store/campaigns.h"
#include "store/database.h"
#include "store/database_recorder.h"
#include "tools/phone-sim/simulator_process.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// This thread's CPU time: on a machine busy with other work the wall clock measures the
// others too, and the disk's flushes, which show in the wall figures.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

const std::u16string kText = u"Kampanya: bu hafta sonu tum urunlerde yuzde yirmi indirim.";

std::string number(int i) {
    return "0532" + std::to_string(1000000 + i);
}

// The baseline: each message as AT+CMGS= and its PDU, written and read plainly. Returns
// the run's milliseconds, or a negative number when the phone did not answer.
double baseline(const std::string& path, int count) {
    std::vector<sms::PduPart> parts;
    for (int i = 0; i < count; ++i) {
        sms::TSMS message;
        message.Number = number(i);
        message.Coding = sms::SmsCoding::Auto;
        message.Text = kText;
        parts.push_back(sms::EncodeMessage(message).front());
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const auto exchange = [fd](const std::string& text, const char* until) {
        return phonesim::plainExchange(fd, text, until);
    };
    exchange("ATE1\r", "\r\nOK\r\n");
    exchange("AT+CMGF=0\r", "\r\nOK\r\n");
    const auto start = Clock::now();
    for (const sms::PduPart& part : parts) {
        if (!exchange("AT+CMGS=" + std::to_string(part.TpduLength) + "\r", "> ") ||
            !exchange(part.Pdu + "\x1A", "\r\nOK\r\n")) {
            ::close(fd);
            return -1;
        }
    }
    const double total = ms(Clock::now() - start);
    ::close(fd);
    return total;
}

class NullView : public phone::NullPhoneView, public sms::BulkView {
public:
    void runStarted(int) override {}
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const sms::RecipientResult&) override {}
    void runFinished(const sms::BulkSummary&) override {}
};

// Passes every call on and adds up the time the database took: the bookkeeping alone,
// free of the phone's share.
class TimedRecorder : public sms::CampaignRecorder {
    template <typename F>
    auto timed(F f) -> decltype(f()) {
        const auto start = Clock::now();
        const double cpuStart = threadCpuMs();
        auto result = f();
        spent += Clock::now() - start;
        cpuMs += threadCpuMs() - cpuStart;
        return result;
    }

public:
    explicit TimedRecorder(sms::CampaignRecorder& inner) : m_inner(inner) {}
    std::optional<sms::QueuedRecipient> nextQueued(std::string& e) override {
        return timed([&] { return m_inner.nextQueued(e); });
    }
    int queuedCount(std::string& e) override {
        return timed([&] { return m_inner.queuedCount(e); });
    }
    std::vector<sms::QueuedRecipient> queued(std::string& e) override {
        return timed([&] { return m_inner.queued(e); });
    }
    bool markSending(const sms::QueuedRecipient& r, std::string& e) override {
        return timed([&] { return m_inner.markSending(r, e); });
    }
    bool markFinished(const sms::QueuedRecipient& r, const sms::SendOutcome& o,
                      std::string& e) override {
        return timed([&] { return m_inner.markFinished(r, o, e); });
    }
    bool markSkipped(const sms::QueuedRecipient& r, const std::string& why,
                     std::string& e) override {
        return timed([&] { return m_inner.markSkipped(r, why, e); });
    }
    Clock::duration spent{};
    double cpuMs = 0;

private:
    sms::CampaignRecorder& m_inner;
};

// The disk's own price for what the database cannot do without: a 4 KiB write and its
// flush, the median of 50, beside the bookkeeping that pays one such flush per message.
double diskFlushMs(const std::filesystem::path& dir) {
    const std::filesystem::path file = dir / "flush.bin";
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return -1;
    }
    const std::string block(4096, 'x');
    std::vector<double> times;
    for (int i = 0; i < 50; ++i) {
        const auto start = Clock::now();
        (void)!::pwrite(fd, block.data(), block.size(), off_t(i) * 4096);
        ::fdatasync(fd);
        times.push_back(ms(Clock::now() - start));
    }
    ::close(fd);
    std::filesystem::remove(file);
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A campaign of `count` recipients: how long it takes to make, to count and to read a
// page of its table from the middle, as the history view does.
void bigCampaign(const std::filesystem::path& dir, int count) {
    store::Database db(dir / "big.db");
    store::CampaignStore campaigns(db);
    store::NewCampaign c;
    c.text = kText;
    for (int i = 0; i < count; ++i) {
        c.entries.push_back(number(i));
    }
    auto start = Clock::now();
    double cpu = threadCpuMs();
    const std::int64_t id = campaigns.create(c);
    std::printf("campaign_recipients: %d\n", count);
    std::printf("campaign_create_ms: %.1f\n", ms(Clock::now() - start));
    std::printf("campaign_create_cpu_ms: %.1f\n", threadCpuMs() - cpu);
    start = Clock::now();
    cpu = threadCpuMs();
    const int rows = campaigns.recipientCount(id);
    const auto page = campaigns.recipients(id, count / 2, 100);
    std::printf("result_table_count_and_page_ms: %.2f\n", ms(Clock::now() - start));
    std::printf("result_table_count_and_page_cpu_ms: %.2f\n", threadCpuMs() - cpu);
    start = Clock::now();
    const auto list = campaigns.campaigns();
    std::printf("campaign_list_with_counts_ms: %.2f\n", ms(Clock::now() - start));
    start = Clock::now();
    campaigns.exportCsv(id, dir / "big.csv");
    std::printf("csv_export_ms: %.1f\n", ms(Clock::now() - start));
    if (rows != count || page.size() != 100 || list.front().counts.total() != count) {
        std::fprintf(stderr, "bench-bulk: the big campaign reads back wrong\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int count = quick ? 20 : 200;

    phonesim::SimulatorProcess plain;
    phonesim::SimulatorProcess phone;
    if (!plain.start() || !phone.start()) {
        std::fprintf(stderr, "bench-bulk: no pseudo-terminal\n");
        return 1;
    }
    // The baseline runs before and after ours, so that a change in the machine's load
    // weighs on both alike.
    const double before = baseline(plain.path, count);

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("bench-bulk-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "ports.conf") << "Com5=" << phone.path << "\n";
    ::setenv("TOPLUSMS_PORTS", (dir / "ports.conf").c_str(), 1);

    double ours = -1;
    double withDb = -1;
    double bookkeeping = -1;
    double bookkeepingCpu = -1;
    {
        platform::PlainMessageQueue queue;
        serial::setMessageQueue(&queue);
        NullView view;
        serial::TComPort port;
        port.SetAutoOpen(false);
        phone::ComPortLink link(port);
        phone::PhoneDialogue dialogue(view, link, queue);
        phone::routePortEvents(port, dialogue);
        dialogue.btnOpenClick();
        if (!dialogue.state().IsConnected) {
            std::fprintf(stderr, "bench-bulk: the simulated phone did not connect\n");
            return 1;
        }
        sms::DialogueLine line(dialogue);
        sms::SmsSender sender(line, view);
        sms::BulkRun run(sender, view, sms::queuePause(queue));
        sms::BulkRequest request;
        for (int i = 0; i < count; ++i) {
            request.numbers.push_back(number(i));
        }
        request.text = kText;
        request.pauseSeconds = 0;
        request.resultsFolder = dir / "gonderimler";
        // Without the database and with it, twice over in turns, the best of each.
        store::Database db(dir / "toplusms.db");
        const auto lock = db.takeSenderLock();
        for (int round = 0; round < 2; ++round) {
            auto start = Clock::now();
            sms::BulkSummary summary = run.run(request);
            const double plainRun = ms(Clock::now() - start);
            ours = ours < 0 ? plainRun : std::min(ours, plainRun);

            store::NewCampaign campaign;
            campaign.text = kText;
            campaign.options.pauseSeconds = 0;
            campaign.entries = request.numbers;
            const std::int64_t id = store::CampaignStore(db).create(campaign);
            store::DatabaseRecorder recorder(db, *lock, id);
            TimedRecorder timed(recorder);
            start = Clock::now();
            const sms::BulkSummary recorded = run.run(request, timed);
            const double dbRun = ms(Clock::now() - start);
            withDb = withDb < 0 ? dbRun : std::min(withDb, dbRun);
            const double book = ms(timed.spent);
            bookkeeping = bookkeeping < 0 ? book : std::min(bookkeeping, book);
            bookkeepingCpu =
                bookkeepingCpu < 0 ? timed.cpuMs : std::min(bookkeepingCpu, timed.cpuMs);
            if (summary.sent != count || recorded.sent != count) {
                std::fprintf(stderr, "bench-bulk: %d and %d of %d messages accepted\n",
                             summary.sent, recorded.sent, count);
                return 1;
            }
        }
        dialogue.btnOpenClick();
        serial::setMessageQueue(nullptr);
    }
    const double after = baseline(plain.path, count);
    const double base = (before + after) / 2;

    if (before < 0 || after < 0) {
        std::fprintf(stderr, "bench-bulk: the baseline phone did not answer\n");
        return 1;
    }
    std::printf("messages: %d\n", count);
    std::printf("baseline_ms_per_message: %.3f\n", base / count);
    std::printf("bulk_ms_per_message: %.3f\n", ours / count);
    std::printf("bulk_overhead_ms_per_message: %.3f\n", (ours - base) / count);
    std::printf("bulk_with_database_ms_per_message: %.3f\n", withDb / count);
    std::printf("disk_flush_ms: %.3f\n", diskFlushMs(dir));
    std::printf("database_bookkeeping_ms_per_message: %.3f\n", bookkeeping / count);
    std::printf("database_bookkeeping_cpu_ms_per_message: %.3f\n", bookkeepingCpu / count);
    std::printf("database_run_difference_ms_per_message: %.3f\n", (withDb - ours) / count);
    bigCampaign(dir, quick ? 10000 : 100000);
    std::filesystem::remove_all(dir);
    return 0;
}
