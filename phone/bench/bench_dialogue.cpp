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

// Voluntary context switches of the whole process: every time one of its threads went
// to sleep. Steadier than the CPU time on a shared machine, and what that time mostly is.
long sleeps() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw;
}

// What one side spent per exchange: processor time and times a thread went to sleep.
struct Cost {
    double cpuMs = 0;
    double sleeps = 0;
};

class CostMeter {
public:
    CostMeter() : m_cpu(cpuMs()), m_sleeps(sleeps()) {}
    Cost perCommand(size_t commands) const {
        if (commands == 0) {
            return {};
        }
        const double n = double(commands);
        return {(cpuMs() - m_cpu) / n, double(sleeps() - m_sleeps) / n};
    }

private:
    double m_cpu;
    long m_sleeps;
};

// The baseline: a plain write and read of "AT" CR on a line of its own, until the
// final OK line.
class PlainLine {
public:
    explicit PlainLine(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        // Echo on, as the program's handshake leaves the phone.
        m_ok = m_fd >= 0 && exchange("ATE1\r");
    }
    ~PlainLine() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    PlainLine(const PlainLine&) = delete;
    PlainLine& operator=(const PlainLine&) = delete;

    bool ok() const { return m_ok; }
    bool exchange(const std::string& command) {
        return phonesim::plainExchange(m_fd, command, "\r\nOK\r\n");
    }

private:
    int m_fd;
    bool m_ok = false;
};

// Runs one block of timed exchanges; false when one failed.
template <typename Exchange>
bool runBlock(int rounds, std::vector<double>& times, std::vector<Cost>& costs, Exchange exchange) {
    const CostMeter meter;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        if (!exchange()) {
            return false;
        }
        times.push_back(ms(Clock::now() - start));
    }
    costs.push_back(meter.perCommand(size_t(rounds)));
    return true;
}

// The median block: one block disturbed by another program on the machine moves it little.
Cost medianCost(std::vector<Cost> costs) {
    if (costs.empty()) {
        return {};
    }
    std::sort(costs.begin(), costs.end(),
              [](const Cost& a, const Cost& b) { return a.cpuMs < b.cpuMs; });
    return costs[costs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    // Blocks of the baseline and of the program take turns, so that both meet the same
    // load of the machine; each figure is the median block's.
    const int blocks = quick ? 1 : 9;
    const int rounds = quick ? 20 : 300;

    // Two simulators, two identical lines: one for the baseline, one for the program.
    phonesim::SimulatorProcess plain;
    phonesim::SimulatorProcess phone;
    if (!plain.start() || !phone.start()) {
        std::fprintf(stderr, "bench-dialogue: no pseudo-terminal\n");
        return 1;
    }
    PlainLine plainLine(plain.path);
    if (!plainLine.ok()) {
        std::fprintf(stderr, "bench-dialogue: the baseline line does not answer\n");
        return 1;
    }

    const std::filesystem::path map =
        std::filesystem::temp_directory_path() / ("bench-dialogue-" + std::to_string(::getpid()));
    std::ofstream(map) << "Com5=" << phone.path << "\n";
    ::setenv("TOPLUSMS_PORTS", map.c_str(), 1);

    std::vector<double> base;
    std::vector<double> times;
    std::vector<Cost> baseCosts;
    std::vector<Cost> costs;
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
        std::filesystem::remove(map);
        if (!dialogue.state().IsConnected) {
            std::fprintf(stderr, "bench-dialogue: the simulated phone did not connect\n");
            return 1;
        }
        dialogue.SendCommand("AT\r", "\r\nOK");  // warm up
        const auto sendAt = [&dialogue] {
            dialogue.SendCommand("AT\r", "\r\nOK");
            return dialogue.lastOutcome() == phone::CommandOutcome::Completed;
        };
        for (int b = 0; b < blocks; ++b) {
            if (!runBlock(rounds, base, baseCosts, [&] { return plainLine.exchange("AT\r"); })) {
                std::fprintf(stderr, "bench-dialogue: the baseline line stopped answering\n");
                return 1;
            }
            if (!runBlock(rounds, times, costs, sendAt)) {
                std::fprintf(stderr, "bench-dialogue: a command did not complete\n");
                return 1;
            }
        }
        dialogue.btnOpenClick();
        serial::setMessageQueue(nullptr);
    }

    const Cost baseCost = medianCost(baseCosts);
    const Cost cost = medianCost(costs);
    std::printf("rounds: %d\n", blocks * rounds);
    std::printf("baseline_roundtrip_p50_ms: %.3f\n", percentile(base, 0.5));
    std::printf("baseline_roundtrip_p99_ms: %.3f\n", percentile(base, 0.99));
    std::printf("at_roundtrip_p50_ms: %.3f\n", percentile(times, 0.5));
    std::printf("at_roundtrip_p99_ms: %.3f\n", percentile(times, 0.99));
    std::printf("baseline_cpu_ms_per_command: %.3f\n", baseCost.cpuMs);
    std::printf("at_cpu_ms_per_command: %.3f\n", cost.cpuMs);
    std::printf("baseline_sleeps_per_command: %.1f\n", baseCost.sleeps);
    std::printf("at_sleeps_per_command: %.1f\n", cost.sleeps);
    return 0;
}
