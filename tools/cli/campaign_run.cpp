#include "tools/cli/campaign_run.h"

#include <charconv>
#include <cstdio>

#include "platform/codepage_1254.h"
#include "sms/bulk_run.h"
#include "sms/send_texts.h"
#include "store/campaigns.h"
#include "store/database_recorder.h"
#include "store/optout_list.h"
#include "tools/cli/command.h"
#include "tools/cli/reception.h"
#include "tools/cli/sending.h"

namespace cli {
namespace {

class PrintingView : public sms::BulkView {
public:
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
        printLine(r.number + "\t" + line);
    }
    void runFinished(const sms::BulkSummary&) override {}
};

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

int runCampaign(const PortChoice& port, store::Database& db, const store::SenderLock& lock,
                const std::function<std::int64_t()>& makeCampaign,
                const std::filesystem::path& resultsFile, int waitReportsSeconds) {
    PhoneSession session(port);
    if (!connectQuietly(session)) {
        return kExitFailed;
    }
    std::optional<store::CampaignSummary> summary;
    std::int64_t campaign = 0;
    try {
        campaign = makeCampaign();
        if (campaign == 0) {
            return kExitOk;
        }
        summary = store::CampaignStore(db).campaign(campaign);
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    if (!summary) {
        std::fprintf(stderr, "Gönderim %lld yok\n", static_cast<long long>(campaign));
        return kExitFailed;
    }
    printLine("G\xF6nderim " + std::to_string(campaign));
    Reception reception(session, db);
    reception.start();
    store::DatabaseRecorder recorder(db, lock, campaign);
    recorder.setPhone(reception.keeper().phoneImei(), session.view().portText());
    sms::SmsSender sender(session.dialogue(), session.view());
    PrintingView view;
    sms::BulkRun run(sender, view, sms::queuePause(session.queue()));
    sms::BulkRequest request = store::bulkRequestFor(*summary);
    request.resultsFile = resultsFile;
    store::OptOutList optOuts(db);
    request.skipReason = optOuts.skipCheck();
    const sms::BulkSummary result = run.run(request, recorder);
    if (waitReportsSeconds > 0 && result.started) {
        reception.stay(waitReportsSeconds);
    } else {
        reception.finish();
    }
    if (!result.started) {
        if (!result.reason.empty()) {
            printLine(sms::texts::failedLine(result.reason));
            return kExitFailed;
        }
        return kExitOk;  // nothing was left to send
    }
    printLine(session.view().panel(1));
    return result.failed == 0 && result.notSent == 0 && result.recordError.empty() ? kExitOk
                                                                                   : kExitFailed;
}

}  // namespace cli
