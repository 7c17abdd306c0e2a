// toplusms-cli send COM NUMBER TEXT: one message through the phone, as the single send
// button sends it.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/codepage_1254.h"
#include "sms/sms_sender.h"
#include "store/optout_list.h"
#include "tools/cli/campaign_run.h"
#include "tools/cli/command.h"
#include "tools/cli/reception.h"
#include "tools/cli/recording_options.h"
#include "tools/cli/sending.h"

namespace cli {
namespace {

constexpr std::string_view kUsage =
    "[--trace] [--log] COM|--device PATH [--baud N] [--db PATH] [--no-reports] NUMBER TEXT";

// The opt-out list's word on `number` (Windows-1254): its reason when it must not be
// texted, empty when it may. A database that is not there has no list; one that cannot
// be read stops the send, as the list cannot be asked.
std::optional<std::string> optOutReason(const std::filesystem::path& file, bool named,
                                        const std::string& number) {
    if (!named && !std::filesystem::exists(file)) {
        return std::string();
    }
    const auto db = openDatabase(file);
    if (!db) {
        return std::nullopt;
    }
    try {
        store::OptOutList optOuts(*db);
        return optOuts.contains(number) ? store::optedOutReason() : std::string();
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return std::nullopt;
    }
}

int runSend(std::span<const std::string_view> args) {
    args = takeRecordingOptions(args);
    std::vector<std::string_view> rest;
    const std::optional<PortChoice> choice = parsePortChoice(args, &rest, "send", kUsage);
    if (!choice) {
        return kExitUsage;
    }
    const bool dbNamed = std::find(rest.begin(), rest.end(), "--db") != rest.end();
    sms::EncodeOptions options;
    options.StatusReport = true;  // as the window asks by default
    if (const auto flag = std::find(rest.begin(), rest.end(), "--no-reports"); flag != rest.end()) {
        options.StatusReport = false;
        rest.erase(flag);
    }
    const auto dbFile = takeDatabaseOption(rest);
    if (!dbFile || rest.size() != 2) {
        std::fprintf(stderr, "usage: toplusms-cli send %.*s\n", int(kUsage.size()), kUsage.data());
        return kExitUsage;
    }
    const std::string number = platform::cp1254::fromUtf8(rest[0]);
    const std::optional<std::string> skip = optOutReason(*dbFile, dbNamed, number);
    if (!skip) {
        return kExitFailed;
    }
    if (!skip->empty()) {
        printLine(platform::cp1254::fromUtf8("Atlandı: ") + *skip);
        return kExitFailed;
    }
    PhoneSession session(*choice);
    if (!connectQuietly(session)) {
        return kExitFailed;
    }
    // What the phone hands over meanwhile is kept, where there is a database to keep it.
    std::unique_ptr<store::Database> db;
    std::optional<Reception> reception;
    if (dbNamed || std::filesystem::exists(*dbFile)) {
        db = openDatabase(*dbFile);
        if (db) {
            reception.emplace(session, *db);
            reception->start();
        }
    }
    sms::SmsSender sender(session.dialogue(), session.view());
    const sms::SendOutcome outcome =
        sender.SendSms(number, platform::cp1254::utf8ToUtf16(rest[1]), options);
    printLine(outcome.statusLine());
    if (reception) {
        reception->finish();
    }
    return outcome.status == sms::SendStatus::Sent ? kExitOk : kExitFailed;
}

const CommandRegistration kRegistration(
    {"send", kUsage,
     "send the UTF-8 TEXT to NUMBER and print \"Gönderildi: ref N\" or \"Gönderilemedi: "
     "REASON\" (\"Atlandı: Ret listesinde\" for a number on the opt-out list); exit 0 when "
     "the phone accepted it",
     runSend});

}  // namespace
}  // namespace cli
