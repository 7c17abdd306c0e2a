// toplusms-cli bulk COM --numbers FILE --text TEXT: one message to every number of a
// list file, as the bulk tab sends it, one line per recipient and a summary.
#include <charconv>
#include <cstdio>
#include <string>

#include "platform/codepage_1254.h"
#include "recipients/recipient_file.h"
#include "sms/bulk_run.h"
#include "sms/send_texts.h"
#include "tools/cli/command.h"
#include "tools/cli/recording_options.h"
#include "tools/cli/sending.h"

namespace cli {
namespace {

constexpr std::string_view kUsage =
    "[--trace] [--log] COM|--device PATH [--baud N] --numbers FILE --text TEXT [--pause S] "
    "[--results CSV]";

class PrintingView : public sms::BulkView {
public:
    void runStarted(int) override {}
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const sms::RecipientResult& r) override {
        const sms::SendOutcome& o = r.outcome;
        printLine(r.number + "\t" +
                  (o.status == sms::SendStatus::NotSent
                       ? sms::texts::failedLine(sms::texts::outcomeNotSent())
                       : o.statusLine()));
    }
    void runFinished(const sms::BulkSummary&) override {}
};

int usage() {
    std::fprintf(stderr, "usage: toplusms-cli bulk %.*s\n", int(kUsage.size()), kUsage.data());
    return kExitUsage;
}

int runBulk(std::span<const std::string_view> args) {
    args = takeRecordingOptions(args);
    std::vector<std::string_view> rest;
    const std::optional<PortChoice> choice = parsePortChoice(args, &rest, "bulk", kUsage);
    if (!choice) {
        return kExitUsage;
    }
    std::string numbersFile, results;
    std::optional<std::string> text;
    int pause = 30;
    for (size_t i = 0; i < rest.size(); ++i) {
        const std::string_view a = rest[i];
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
        } else if (a == "--pause") {
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), pause);
            if (ec != std::errc() || end != v.data() + v.size()) {
                return usage();
            }
        } else {
            return usage();
        }
    }
    if (numbersFile.empty() || !text) {
        return usage();
    }
    sms::BulkRequest request;
    try {
        request.numbers = recipients::loadLines(numbersFile);
    } catch (const recipients::FileError& e) {
        std::fprintf(stderr, "%s\n", platform::cp1254::toUtf8(e.what()).c_str());
        return kExitFailed;
    }
    request.text = platform::cp1254::utf8ToUtf16(*text);
    request.pauseSeconds = pause;
    request.resultsFile = results;

    PhoneSession session(*choice);
    if (!connectQuietly(session)) {
        return kExitFailed;
    }
    sms::SmsSender sender(session.dialogue(), session.view());
    PrintingView view;
    sms::BulkRun run(sender, view, sms::queuePause(session.queue()));
    const sms::BulkSummary summary = run.run(request);
    if (!summary.started) {
        if (!summary.reason.empty()) {
            printLine(sms::texts::failedLine(summary.reason));
        }
        return request.numbers.empty() ? kExitOk : kExitFailed;
    }
    printLine(session.view().panel(1));
    return summary.failed == 0 && summary.notSent == 0 ? kExitOk : kExitFailed;
}

const CommandRegistration kRegistration(
    {"bulk", kUsage,
     "send the UTF-8 TEXT to every number of FILE (one per line), S seconds apart (30), "
     "printing one line per number and a summary; exit 0 when all were accepted",
     runBulk});

}  // namespace
}  // namespace cli
