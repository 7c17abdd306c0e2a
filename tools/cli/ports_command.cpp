// toplusms-cli ports: Com1 to Com50, the device each stands for, whether it is there,
// and what it is.
#include <cstdio>
#include <optional>
#include <string>

#include "platform/port_check.h"
#include "platform/port_description.h"
#include "platform/port_names.h"
#include "serial/com_port.h"
#include "tools/cli/command.h"

namespace cli {
namespace {

constexpr int kLastPort = 50;

// "present" as the connect button's probe sees it, or why the device cannot be used.
const char* portState(int n, const std::string& path) {
    switch (platform::checkPort(path).problem) {
        case platform::PortProblem::NotSerial:
            return "not usable";  // a map line naming a file or a folder
        case platform::PortProblem::Held:
            return "in use";
        case platform::PortProblem::NoPermission:
            return "no access";
        case platform::PortProblem::None:
            return serial::ProbePort(uint16_t(n)) ? "present" : "missing";
        default:
            return "missing";
    }
}

int runPorts(std::span<const std::string_view> args) {
    if (!args.empty()) {
        std::fprintf(stderr, "usage: toplusms-cli ports\n");
        return kExitUsage;
    }
    for (int n = 1; n <= kLastPort; ++n) {
        const std::optional<std::string> path = platform::resolveComPort(n);
        const std::string description = path ? platform::describeDevice(*path) : "";
        const char* state = path ? portState(n, *path) : "missing";
        if (description.empty()) {
            std::printf("Com%-3d %-40s %s\n", n, path ? path->c_str() : "-", state);
        } else {
            std::printf("Com%-3d %-40s %-10s %s\n", n, path->c_str(), state, description.c_str());
        }
    }
    return kExitOk;
}

const CommandRegistration kRegistration(
    {"ports", "",
     "list Com1 to Com50 with the device each stands for, whether it is present, in use, "
     "not permitted (no access), not usable or missing, and its maker and model",
     runPorts});

}  // namespace
}  // namespace cli
