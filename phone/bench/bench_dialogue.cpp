// Round trip of SendCommand for "AT" against the simulated phone, beside a baseline of
// the same run: a plain write and read of "AT" CR on an identical pseudo-terminal
// answered by the same simulator. The simulator runs in a child process, so that the
// CPU time counted is the program's alone. Prints one "name: value" line per figure.
//
//   bench-dialogue [--quick]     --quick: a small sample, for a smoke run

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "phone/null_phone_view.h"
#include "phone/phone_dialogue.h"
#include "phone/phone_port.h"
#include "platform/plain_message_queue.h"
#include "serial/com_port.h"
#include "serial/pump.h"
#include "tools/phone-sim/simulator_process.h"

namespace {

using Clock = std::chrono::steady_clock;

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double cpuMs() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    const auto tv = [](const timeval& t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    return tv(u.ru_utime) + tv(u.ru_stime);
}

// Plain write and read of "AT" CR until the final OK line; *cpuPerCommand gets the
// processor time this side spent per exchange.
std::vector<double> baseline(const std::string& path, int rounds, double* cpuPerCommand) {
    std::vector<double> times;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return times;
    }
    // Echo on, as the program's handshake leaves the phone.
    const auto exchange = [fd](const std::string& command) {
        return phonesim::plainExchange(fd, command, "\r\nOK\r\n");
    };
    exchange("ATE1\r");
    const double cpuStart = cpuMs();
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        if (!exchange("AT\r")) {
            break;
        }
        times.push_back(ms(Clock::now() - start));
    }
    *cpuPerCommand = times.empty() ? 0 : (cpuMs() - cpuStart) / double(times.size());
    ::close(fd);
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int rounds = quick ? 20 : 300;

    // Two simulators, two identical lines: one for the baseline, one for the program.
    phonesim::SimulatorProcess plain;
    phonesim::SimulatorProcess phone;
    if (!plain.start() || !phone.start()) {
        std::fprintf(stderr, "bench-dialogue: no pseudo-terminal\n");
        return 1;
    }
    double baseCpuPerCommand = 0;
    const std::vector<double> base = baseline(plain.path, rounds, &baseCpuPerCommand);

    const std::filesystem::path map =
        std::filesystem::temp_directory_path() / ("bench-dialogue-" + std::to_string(::getpid()));
    std::ofstream(map) << "Com5=" << phone.path << "\n";
    ::setenv("TOPLUSMS_PORTS", map.c_str(), 1);

    std::vector<double> times;
    double cpuPerCommand = 0;
    {
        platform::PlainMessageQueue queue;
        serial::setMessageQueue(&queue);
        phone::NullPhoneView view;
        serial::TComPort port;
        port.SetAutoOpen(false);
        phone::ComPortLink link(port);
        phone::PhoneDialogue dialogue(view, link, queue);
        phone::routePortEvents(port, dialogue);
        dialogue.btnOpenClick();
        if (!dialogue.state().IsConnected) {
            std::fprintf(stderr, "bench-dialogue: the simulated phone did not connect\n");
            return 1;
        }
        dialogue.SendCommand("AT\r", "\r\nOK");  // warm up
        const double cpuStart = cpuMs();
        for (int i = 0; i < rounds; ++i) {
            const auto start = Clock::now();
            dialogue.SendCommand("AT\r", "\r\nOK");
            if (dialogue.lastOutcome() != phone::CommandOutcome::Completed) {
                std::fprintf(stderr, "bench-dialogue: command %d did not complete\n", i);
                return 1;
            }
            times.push_back(ms(Clock::now() - start));
        }
        cpuPerCommand = (cpuMs() - cpuStart) / rounds;
        dialogue.btnOpenClick();
        serial::setMessageQueue(nullptr);
    }
    std::filesystem::remove(map);

    if (base.empty() || times.empty()) {
        std::fprintf(stderr, "bench-dialogue: no figures\n");
        return 1;
    }
    std::printf("rounds: %d\n", rounds);
    std::printf("baseline_roundtrip_p50_ms: %.3f\n", percentile(base, 0.5));
    std::printf("baseline_roundtrip_p99_ms: %.3f\n", percentile(base, 0.99));
    std::printf("at_roundtrip_p50_ms: %.3f\n", percentile(times, 0.5));
    std::printf("at_roundtrip_p99_ms: %.3f\n", percentile(times, 0.99));
    std::printf("baseline_cpu_ms_per_command: %.3f\n", baseCpuPerCommand);
    std::printf("at_cpu_ms_per_command: %.3f\n", cpuPerCommand);
    return 0;
}
