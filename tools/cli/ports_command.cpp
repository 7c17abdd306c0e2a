// toplusms-cli ports: Com1 to Com50, the device each stands for, and whether it is
// there.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/port_names.h"
#include "serial/com_port.h"
#include "tools/cli/command.h"

namespace cli {
namespace {

constexpr int kLastPort = 50;

// "present", "in use" or "missing", as the connect button's probe sees it, with a look
// at whether another program holds the device.
const char* portState(int n, const std::string& path) {
    if (!serial::ProbePort(uint16_t(n))) {
        return "missing";
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == EBUSY || errno == EACCES ? "in use" : "missing";
    }
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);  // also drops our own lock
    return held ? "in use" : "present";
}

int runPorts(std::span<const std::string_view> args) {
    if (!args.empty()) {
        std::fprintf(stderr, "usage: toplusms-cli ports\n");
        return kExitUsage;
    }
    for (int n = 1; n <= kLastPort; ++n) {
        const std::optional<std::string> path = platform::resolveComPort(n);
        std::printf("Com%-3d %-40s %s\n", n, path ? path->c_str() : "-",
                    path ? portState(n, *path) : "missing");
    }
    return kExitOk;
}

const CommandRegistration kRegistration(
    {"ports", "",
     "list Com1 to Com50 with the device each stands for and whether it is present, in use "
     "or missing",
     runPorts});

}  // namespace
}  // namespace cli
