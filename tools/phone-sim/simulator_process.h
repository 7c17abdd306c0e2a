#pragma once
// A simulated phone in a child process, for benchmarks: the CPU time they count is then
// the program's alone. The child ends with the object.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tools/phone-sim/simulator.h"

namespace phonesim {

struct SimulatorProcess {
    pid_t pid = -1;
    std::string path;  // the line, once start() has succeeded

    bool start(Config config = {}) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return false;
        }
        pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            Simulator sim(std::move(config));
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

// The benchmarks' baseline exchange on a line opened with plain open(): writes `text`
// and reads until `until` has come. False after 2 s of silence or at the line's end.
inline bool plainExchange(int fd, const std::string& text, const std::string& until) {
    (void)!::write(fd, text.data(), text.size());
    std::string got;
    while (got.find(until) == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) {
            return false;
        }
        char buf[512];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) {
            return false;
        }
        got.append(buf, size_t(n));
    }
    return true;
}

}  // namespace phonesim
