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

#include "phone/phone_dialogue.h"
#include "phone/phone_port.h"
#include "phone/phone_view.h"
#include "platform/plain_message_queue.h"
#include "serial/com_port.h"
#include "serial/pump.h"
#include "tools/phone-sim/simulator.h"

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

// A simulator in a child process; its line's path comes back through a pipe.
struct SimulatorProcess {
    pid_t pid = -1;
    std::string path;

    bool start() {
        int fds[2];
        if (::pipe(fds) != 0) {
            return false;
        }
        pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            phonesim::Simulator sim;
            std::string error;
            std::string line = sim.start(&error) ? sim.slavePath() : "";
            line += "\n";
            (void)!::write(fds[1], line.data(), line.size());
            ::close(fds[1]);
            ::pause();  // until the parent ends us
            _exit(0);
        }
        ::close(fds[1]);
        char buf[256];
        ssize_t n;
        while ((n = ::read(fds[0], buf, sizeof buf)) > 0) {
            path.append(buf, size_t(n));
            if (path.find('\n') != std::string::npos) {
                break;
            }
        }
        ::close(fds[0]);
        if (!path.empty() && path.back() == '\n') {
            path.pop_back();
        }
        return !path.empty();
    }
    ~SimulatorProcess() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

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
        (void)!::write(fd, command.data(), command.size());
        std::string got;
        while (got.find("\r\nOK\r\n") == std::string::npos) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) {
                return false;
            }
            char buf[256];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) {
                return false;
            }
            got.append(buf, size_t(n));
        }
        return true;
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

class NullView : public phone::PhoneView {
public:
    void setLamp(phone::LampColor) override {}
    void setStatusPanel(int, const std::string&) override {}
    void addInfoRow(const std::string&, const std::string&) override {}
    void clearInfoRows() override {}
    void setSignalGauge(int) override {}
    void setBatteryGauge(int) override {}
    void setLabel(int, const std::string&) override {}
    void setConnectCaption(const std::string&) override {}
    void setRefreshEnabled(bool) override {}
    int portIndex() const override { return 4; }
    std::string portText() const override { return "Com5"; }
    std::string speedText() const override { return "115200"; }
};

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int rounds = quick ? 20 : 300;

    // Two simulators, two identical lines: one for the baseline, one for the program.
    SimulatorProcess plain;
    SimulatorProcess phone;
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
        NullView view;
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
