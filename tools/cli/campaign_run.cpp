#include "tools/cli/campaign_run.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>

#include "platform/codepage_1254.h"
#include "platform/plain_message_queue.h"
#include "sms/bulk_run.h"
#include "sms/phone_pool.h"
#include "sms/phone_reception.h"
#include "sms/phone_worker.h"
#include "sms/send_texts.h"
#include "store/campaigns.h"
#include "store/database_recorder.h"
#include "store/optout_list.h"
#include "store/received_store.h"
#include "tools/cli/command.h"
#include "tools/cli/reception.h"
#include "tools/cli/sending.h"

namespace cli {
namespace {

class PrintingView : public sms::BulkView {
public:
    // `namePhones`: each line ends with the port that served the number.
    explicit PrintingView(bool namePhones = false) : m_namePhones(namePhones) {}

    void runStarted(int) override {}
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const sms::RecipientResult& r) override {
        const sms::SendOutcome& o = r.outcome;
        std::string line;
        switch (o.status) {
            case sms::SendStatus::NotSent:
                line = sms::texts::failedLine(sms::texts::outcomeNotSent());
                break;
            case sms::SendStatus::Skipped:
                line = platform::cp1254::fromUtf8("Atlandı: ") + o.error;
                break;
            default:
                line = o.statusLine();
        }
        if (m_namePhones && !r.phone.port.empty()) {
            line += "\t" + r.phone.port;
        }
        printLine(r.number + "\t" + line);
    }
    void runFinished(const sms::BulkSummary&) override {}
    void runPaused(const std::string& reason) override {
        printLine(reason);
        // A command does not wait for the next day: a resume goes on.
        if (onPaused) {
            onPaused();
        }
    }

    std::function<void()> onPaused;

private:
    bool m_namePhones;
};

// How long the phones of a run may take to connect.
constexpr int kConnectLimitMs = 60000;

// The campaign named by `makeCampaign`, printed as "Gönderim N"; nullopt (and `exit` set)
// when there is none or it cannot be read.
std::optional<store::CampaignSummary> campaignToServe(
    store::Database& db, const std::function<std::int64_t()>& makeCampaign, int& exit) {
    std::int64_t campaign = 0;
    std::optional<store::CampaignSummary> summary;
    try {
        campaign = makeCampaign();
        if (campaign == 0) {
            exit = kExitOk;
            return std::nullopt;
        }
        summary = store::CampaignStore(db).campaign(campaign);
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        exit = kExitFailed;
        return std::nullopt;
    }
    if (!summary) {
        std::fprintf(stderr, "Gönderim %lld yok\n", static_cast<long long>(campaign));
        exit = kExitFailed;
        return std::nullopt;
    }
    printLine("G\xF6nderim " + std::to_string(campaign));
    return summary;
}

// The run's text and options as the campaign recorded them; the numbers on the opt-out
// list are skipped.
sms::BulkRequest requestFor(const store::CampaignSummary& campaign, store::OptOutList& optOuts,
                            const std::filesystem::path& resultsFile) {
    sms::BulkRequest request = store::bulkRequestFor(campaign);
    request.resultsFile = resultsFile;
    request.skipReason = optOuts.skipCheck();
    return request;
}

// Prints the end of a run (`statusLine` when it started) and returns the exit code: 0 when
// every row it served was accepted.
int endOfRun(const sms::BulkSummary& result, const std::string& statusLine) {
    if (!result.started) {
        if (!result.reason.empty()) {
            printLine(sms::texts::failedLine(result.reason));
            return kExitFailed;
        }
        return kExitOk;  // nothing was left to send
    }
    printLine(statusLine);
    return result.failed == 0 && result.notSent == 0 && result.recordError.empty() ? kExitOk
                                                                                   : kExitFailed;
}

// How long the end of a run waits for what the phones handed over to be kept and deleted.
constexpr int kFinishLimitMs = 10000;

// Lets the receivers' work still waiting run (keeping, acknowledging, deleting), at most
// `limitMs`, while the owner's queue serves their hand-overs.
void finishReceiving(std::vector<std::unique_ptr<sms::PhoneReception>>& receptions,
                     platform::PlainMessageQueue& queue, int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < end) {
        for (const auto& r : receptions) {
            r->askIdle();
        }
        bool answered = false;
        while (!answered && std::chrono::steady_clock::now() < end) {
            queue.waitAndPumpOne(20);
            answered = std::all_of(receptions.begin(), receptions.end(),
                                   [](const auto& r) { return r->idle().has_value(); });
        }
        if (answered && std::all_of(receptions.begin(), receptions.end(),
                                    [](const auto& r) { return *r->idle(); })) {
            return;
        }
    }
}

int runOnPhones(const std::vector<PortChoice>& ports, store::Database& db,
                const store::SenderLock& lock, const std::function<std::int64_t()>& makeCampaign,
                const std::filesystem::path& resultsFile, int dailyLimit, int waitReportsSeconds) {
    platform::PlainMessageQueue queue;
    // Each phone's reports and messages are kept in the database on this thread, with that
    // phone's IMEI for the pairing. Declared before the phones: they outlive the receivers.
    std::vector<std::unique_ptr<store::ReceivedStore>> keepers;
    try {
        for (size_t i = 0; i < ports.size(); ++i) {
            keepers.push_back(std::make_unique<store::ReceivedStore>(db));
            printWhatIsKept(*keepers.back());
        }
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    std::vector<std::unique_ptr<sms::PhoneWorker>> phones;
    // Ended before the phones, whose threads they are attached to.
    std::vector<std::unique_ptr<sms::PhoneReception>> receptions;
    for (size_t i = 0; i < ports.size(); ++i) {
        const PortChoice& c = ports[i];
        sms::PhoneWorkerPort port;
        port.number = c.number;
        port.name = c.name;
        port.devicePath = c.devicePath;
        port.speed = c.speed;
        phones.push_back(std::make_unique<sms::PhoneWorker>(port, queue));
        store::ReceivedStore& keeper = *keepers[i];
        receptions.push_back(std::make_unique<sms::PhoneReception>(
            *phones.back(), keeper,
            [&keeper](const std::string& imei) { keeper.setPhoneImei(imei); }));
        receptions.back()->onKeepFailed = printKeepFailure;
        phones.back()->connect();
    }
    const auto connecting = [&] {
        return std::any_of(phones.begin(), phones.end(),
                           [](const auto& p) { return p->state().connecting; });
    };
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectLimitMs);
    while (connecting() && std::chrono::steady_clock::now() < deadline) {
        queue.waitAndPumpOne(100);
    }
    PrintingView view(ports.size() > 1);
    sms::PhonePool pool(view, sms::queueClock(queue));
    pool.setDailyLimit(dailyLimit);
    view.onPaused = [&] { pool.stop(); };
    std::string firstError;
    for (const auto& p : phones) {
        const sms::PhoneWorkerState state = p->state();
        if (state.connected) {
            pool.addSlot(*p);
        } else {
            // One phone that does not answer leaves the others to the campaign.
            const std::string why =
                state.lastError.empty() ? sms::texts::notConnected() : state.lastError;
            std::fprintf(stderr, "%s: %s\n", state.port.c_str(),
                         platform::cp1254::toUtf8(why).c_str());
            if (firstError.empty()) {
                firstError = why;
            }
        }
    }
    if (std::none_of(phones.begin(), phones.end(), [](const auto& p) { return p->available(); })) {
        printLine(
            sms::texts::failedLine(firstError.empty() ? sms::texts::notConnected() : firstError));
        return kExitFailed;
    }
    int exit = kExitOk;
    const std::optional<store::CampaignSummary> campaign = campaignToServe(db, makeCampaign, exit);
    if (!campaign) {
        finishReceiving(receptions, queue, kFinishLimitMs);
        return exit;
    }
    store::DatabaseRecorder recorder(db, lock, campaign->id);
    store::OptOutList optOuts(db);
    const sms::BulkSummary result = pool.run(requestFor(*campaign, optOuts, resultsFile), recorder);
    if (waitReportsSeconds > 0 && result.started) {
        stayReceiving(
            waitReportsSeconds, [&](int ms) { queue.waitAndPumpOne(ms); },
            [&] {
                return std::any_of(phones.begin(), phones.end(),
                                   [](const auto& p) { return p->state().connected; });
            });
    }
    finishReceiving(receptions, queue, kFinishLimitMs);
    return endOfRun(result, result.statusText());
}

}  // namespace

std::optional<std::filesystem::path> takeDatabaseOption(std::vector<std::string_view>& args) {
    std::filesystem::path file = store::Database::defaultFile(".");
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--db") {
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            file = std::string(args[i + 1]);
            args.erase(args.begin() + std::ptrdiff_t(i), args.begin() + std::ptrdiff_t(i) + 2);
            --i;
        }
    }
    return file;
}

std::optional<int> takeWaitReportsOption(std::vector<std::string_view>& args) {
    int seconds = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--wait-reports") {
            continue;
        }
        if (i + 1 >= args.size()) {
            return std::nullopt;
        }
        const std::string_view v = args[i + 1];
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
        if (ec != std::errc() || end != v.data() + v.size() || seconds < 0) {
            return std::nullopt;
        }
        args.erase(args.begin() + std::ptrdiff_t(i), args.begin() + std::ptrdiff_t(i) + 2);
        --i;
    }
    return seconds;
}

std::unique_ptr<store::Database> openDatabase(const std::filesystem::path& file) {
    try {
        return std::make_unique<store::Database>(file);
    } catch (const store::OpenError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        if (e.kind() != store::OpenError::Kind::CannotOpen) {
            std::fprintf(stderr,
                         "Dosyaya dokunulmadı. Yeni bir veritabanıyla başlamak için onu kenara "
                         "alın (örneğin: mv %s %s.eski).\n",
                         file.c_str(), file.c_str());
        }
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return nullptr;
}

std::unique_ptr<store::SenderLock> takeSenderLock(store::Database& db) {
    try {
        return db.takeSenderLock();
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return nullptr;
    }
}

int runCampaign(const std::vector<PortChoice>& ports, store::Database& db,
                const store::SenderLock& lock, const std::function<std::int64_t()>& makeCampaign,
                const std::filesystem::path& resultsFile, int dailyLimit, int waitReportsSeconds) {
    if (ports.size() > 1 || dailyLimit > 0) {
        return runOnPhones(ports, db, lock, makeCampaign, resultsFile, dailyLimit,
                           waitReportsSeconds);
    }
    PhoneSession session(ports.front());
    if (!connectQuietly(session)) {
        return kExitFailed;
    }
    int exit = kExitOk;
    const std::optional<store::CampaignSummary> summary = campaignToServe(db, makeCampaign, exit);
    if (!summary) {
        return exit;
    }
    Reception reception(session, db);
    reception.start();
    store::DatabaseRecorder recorder(db, lock, summary->id);
    recorder.setPhone(reception.keeper().phoneImei(), session.view().portText());
    sms::SmsSender sender(session.dialogue(), session.view());
    PrintingView view;
    sms::BulkRun run(sender, view, sms::queuePause(session.queue()));
    store::OptOutList optOuts(db);
    const sms::BulkSummary result = run.run(requestFor(*summary, optOuts, resultsFile), recorder);
    if (waitReportsSeconds > 0 && result.started) {
        reception.stay(waitReportsSeconds);
    } else {
        reception.finish();
    }
    return endOfRun(result, session.view().panel(1));
}

}  // namespace cli
