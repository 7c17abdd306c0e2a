// toplusms-cli bulk COM --numbers FILE --text TEXT: one message to every number of a
// list file, as the bulk tab sends it, one line per recipient and a summary.
#include <charconv>
#include <cstdio>
#include <string>

#include "platform/codepage_1254.h"
#include "recipients/recipient_file.h"
#include "sms/send_texts.h"
#include "store/campaigns.h"
#include "tools/cli/campaign_run.h"
#include "tools/cli/command.h"
#include "tools/cli/recording_options.h"
#include "tools/cli/sending.h"

namespace cli {
namespace {

constexpr std::string_view kUsage =
    "[--trace] [--log] COM[,COM...]|--device PATH... [--baud N] --numbers FILE --text TEXT "
    "[--pause S] [--results CSV] [--db PATH] [--no-reports] [--daily-limit N]";

int usage() {
    std::fprintf(stderr, "usage: toplusms-cli bulk %.*s\n", int(kUsage.size()), kUsage.data());
    return kExitUsage;
}

int runBulk(std::span<const std::string_view> args) {
    args = takeRecordingOptions(args);
    std::vector<std::string_view> rest;
    const std::optional<std::vector<PortChoice>> choice =
        parsePortChoices(args, &rest, "bulk", kUsage);
    if (!choice) {
        return kExitUsage;
    }
    const std::optional<std::filesystem::path> dbFile = takeDatabaseOption(rest);
    if (!dbFile) {
        return usage();
    }
    std::string numbersFile, results;
    std::optional<std::string> text;
    int pause = 30;
    int dailyLimit = 0;
    // Reports are asked for unless refused, as the window's "Teslim raporu iste" is on by
    // default.
    bool reports = true;
    for (size_t i = 0; i < rest.size(); ++i) {
        const std::string_view a = rest[i];
        if (a == "--no-reports") {
            reports = false;
            continue;
        }
        if (i + 1 >= rest.size()) {
            return usage();
        }
        const std::string_view v = rest[++i];
        if (a == "--numbers") {
            numbersFile = std::string(v);
        } else if (a == "--text") {
            text = std::string(v);
        } else if (a == "--results") {
            results = std::string(v);
        } else if (a == "--pause" || a == "--daily-limit") {
            int& n = a == "--pause" ? pause : dailyLimit;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc() || end != v.data() + v.size() || n < 0) {
                return usage();
            }
        } else {
            return usage();
        }
    }
    if (numbersFile.empty() || !text) {
        return usage();
    }
    std::vector<std::string> numbers;
    try {
        numbers = recipients::loadLines(numbersFile);
    } catch (const recipients::FileError& e) {
        std::fprintf(stderr, "%s\n", platform::cp1254::toUtf8(e.what()).c_str());
        return kExitFailed;
    }
    if (numbers.empty()) {
        return kExitOk;
    }
    if (text->empty()) {
        // Refused before a campaign is made that no resume could ever send.
        printLine(sms::texts::failedLine(sms::texts::emptyText()));
        return kExitFailed;
    }
    const std::unique_ptr<store::Database> db = openDatabase(*dbFile);
    if (!db) {
        return kExitFailed;
    }
    // Refused here, before the phone is touched, when another program sends from it.
    const std::unique_ptr<store::SenderLock> lock = takeSenderLock(*db);
    if (!lock) {
        return kExitFailed;
    }
    store::NewCampaign campaign;
    campaign.text = platform::cp1254::utf8ToUtf16(*text);
    campaign.options.pauseSeconds = pause;
    campaign.options.reportsRequested = reports;
    campaign.entries = std::move(numbers);
    return runCampaign(
        *choice, *db, *lock, [&] { return store::CampaignStore(*db).create(campaign); }, results,
        dailyLimit);
}

const CommandRegistration kRegistration(
    {"bulk", kUsage,
     "send the UTF-8 TEXT to every number of FILE (one per line), S seconds apart (30), with "
     "delivery reports asked for unless --no-reports, as a new campaign of the database (first "
     "line \"G\xC3\xB6nderim N\"), printing one line "
     "per number and a summary; exit 0 when all were accepted. Several ports share the list, "
     "each line then naming the port that served it; --daily-limit N caps each phone's "
     "messages a day (the run ends when every phone reached it; resume goes on)",
     runBulk});

}  // namespace
}  // namespace cli
