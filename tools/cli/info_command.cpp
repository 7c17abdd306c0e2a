// toplusms-cli info COM: connects, and prints who the phone is and its gauges.
#include <cstdio>

#include "tools/cli/command.h"
#include "tools/cli/phone_session.h"

namespace cli {
namespace {

constexpr std::string_view kUsage = "COM|--device PATH [--baud N]";

int runInfo(std::span<const std::string_view> args) {
    const std::optional<PortChoice> choice = parsePortChoice(args, nullptr, "info", kUsage);
    if (!choice) {
        return kExitUsage;
    }
    PhoneSession session(*choice);
    // The query runs inside the connection, as after the connect button.
    if (!session.connect()) {
        return kExitFailed;
    }
    const ConsoleView& view = session.view();
    for (const auto& [caption, value] : view.rows()) {
        std::printf("%s: %s\n", visible(caption).c_str(), visible(value).c_str());
    }
    std::printf("Sinyal: %d%%\nBatarya: %d%%\n", view.signal(), view.battery());
    std::fflush(stdout);
    return kExitOk;
}

const CommandRegistration kRegistration(
    {"info", kUsage,
     "connect, print the device information rows as 'Caption: value', then the signal and "
     "battery gauges, and disconnect",
     runInfo});

}  // namespace
}  // namespace cli
