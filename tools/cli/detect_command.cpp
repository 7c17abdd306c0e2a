// toplusms-cli detect: the ports with a phone that answers AT, with its maker, model and
// IMEI; ports another program holds are named on stderr with the reason.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>

#include "phone/port_probe.h"
#include "platform/codepage_1254.h"
#include "tools/cli/command.h"

namespace cli {
namespace {

constexpr const char* kUsage = "usage: toplusms-cli detect [--baud N]\n";

int runDetect(std::span<const std::string_view> args) {
    phone::ProbeOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--baud" && i + 1 < args.size()) {
            const std::string_view v = args[++i];
            uint32_t baud = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), baud);
            if (ec != std::errc() || end != v.data() + v.size() || baud == 0) {
                std::fprintf(stderr, "toplusms-cli detect: '%.*s' is no speed\n", int(v.size()),
                             v.data());
                return kExitUsage;
            }
            options.baud = baud;
        } else {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    const phone::ProbeResult result = phone::probePorts(options);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    for (const phone::ProbedPhone& p : result.phones) {
        std::printf("Com%d\t%s\t%s\t%s\t%s\n", p.port, p.device.c_str(),
                    platform::cp1254::toUtf8(p.maker).c_str(),
                    platform::cp1254::toUtf8(p.model).c_str(),
                    platform::cp1254::toUtf8(p.imei).c_str());
    }
    for (const phone::HeldPort& h : result.held) {
        std::fprintf(stderr, "%s\n", platform::cp1254::toUtf8(h.reason).c_str());
    }
    std::fprintf(stderr, "%zu phone(s) found in %lld ms\n", result.phones.size(),
                 static_cast<long long>(ms));
    return result.phones.empty() ? kExitFailed : kExitOk;
}

const CommandRegistration kRegistration(
    {"detect", "[--baud N]",
     "probe every free port with AT (at N, then 115200, 19200, 9600) and print "
     "COM<TAB>DEVICE<TAB>MAKER<TAB>MODEL<TAB>IMEI for each phone that answers; ports held by "
     "another program are named on stderr",
     runDetect});

}  // namespace
}  // namespace cli
