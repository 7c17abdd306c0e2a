// toplusms-cli listen COM [--db PATH] [--seconds N]: stays connected and keeps what the
// phone hands over (delivery reports, customers' messages) in the database, one line per
// report and per whole message, until Ctrl-C or the given seconds.
#include <cstdio>
#include <string>

#include "tools/cli/campaign_run.h"
#include "tools/cli/command.h"
#include "tools/cli/reception.h"
#include "tools/cli/sending.h"

namespace cli {
namespace {

constexpr std::string_view kUsage = "COM|--device PATH [--baud N] [--db PATH] [--seconds N]";

int usage() {
    std::fprintf(stderr, "usage: toplusms-cli listen %.*s\n", int(kUsage.size()), kUsage.data());
    return kExitUsage;
}

int runListen(std::span<const std::string_view> args) {
    std::vector<std::string_view> rest;
    const std::optional<PortChoice> choice = parsePortChoice(args, &rest, "listen", kUsage);
    if (!choice) {
        return kExitUsage;
    }
    const std::optional<std::filesystem::path> dbFile = takeDatabaseOption(rest);
    if (!dbFile) {
        return usage();
    }
    const std::optional<int> seconds = parseStaySeconds(rest);
    if (!seconds) {
        return usage();
    }
    const std::unique_ptr<store::Database> db = openDatabase(*dbFile);
    if (!db) {
        return kExitFailed;
    }
    PhoneSession session(*choice);
    if (!connectQuietly(session)) {
        return kExitFailed;
    }
    Reception reception(session, *db);
    reception.start();
    const phone::ReceiveRoute route = reception.receiver().reportRoute();
    if (route == phone::ReceiveRoute::None) {
        printLine(session.view().panel(1));  // "Teslim raporları alınamıyor"
    }
    return reception.stay(*seconds) ? kExitOk : kExitFailed;
}

const CommandRegistration kRegistration(
    {"listen", kUsage,
     "stay connected and keep the delivery reports and messages the phone hands over in the "
     "database, printing \"rapor<TAB>NUMBER<TAB>ref N<TAB>STATE\" per report (STATE teslim "
     "edildi, teslim edilemedi, bekliyor; e\xC5\x9Fle\xC5\x9Fmedi when it matched no part, "
     "okunamad\xC4\xB1 when unreadable) and \"mesaj<TAB>SENDER<TAB>TIME<TAB>TEXT\" per message, "
     "until Ctrl-C or N seconds; exit 1 when the phone went away",
     runListen});

}  // namespace
}  // namespace cli
