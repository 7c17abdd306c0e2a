// toplusms-cli connect COM [--baud N]: connects as the connect button does and prints
// each status-bar text as it changes.
#include "tools/cli/command.h"
#include "tools/cli/phone_session.h"
#include "tools/cli/recording_options.h"

namespace cli {
namespace {

constexpr std::string_view kUsage = "[--trace] [--log] COM|--device PATH [--baud N]";

int runConnect(std::span<const std::string_view> args) {
    args = takeRecordingOptions(args);
    const std::optional<PortChoice> choice = parsePortChoice(args, nullptr, "connect", kUsage);
    if (!choice) {
        return kExitUsage;
    }
    PhoneSession session(*choice);
    return session.connect() ? kExitOk : kExitFailed;
}

const CommandRegistration kRegistration(
    {"connect", kUsage,
     "connect to the phone as the connect button does (ATE1), print the status texts, "
     "disconnect; exit 0 when the phone answered",
     runConnect});

}  // namespace
}  // namespace cli
