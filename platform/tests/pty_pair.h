#pragma once
// A pseudo-terminal pair for tests: the slave is the "serial port", the master is the
// phone at the far end of the line.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace platform::testing {

class PtyPair {
public:
    PtyPair() {
        int slave = -1;
        char name[256] = {};
        if (openpty(&m_master, &slave, name, nullptr, nullptr) == 0) {
            m_path = name;
            // Raw on the slave so the far side sees the bytes as written; the test's
            // own slave descriptor closes so that the device under test is the only one.
            termios t{};
            tcgetattr(slave, &t);
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
            ::close(slave);
            fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPair() { closeMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return m_master >= 0 && !m_path.empty(); }
    const std::string& path() const { return m_path; }
    int master() const { return m_master; }

    void closeMaster() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

    // Writes everything (waits while the pty's buffer is full).
    bool send(const std::string& bytes) { return send(bytes.data(), bytes.size()); }
    bool send(const void* data, size_t n) {
        auto* p = static_cast<const char*>(data);
        while (n > 0) {
            ssize_t w = ::write(m_master, p, n);
            if (w > 0) {
                p += w;
                n -= size_t(w);
                continue;
            }
            if (w < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
            pollfd pfd{m_master, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
        }
        return true;
    }

    // Reads until n bytes have come or the time has run out.
    std::string receive(size_t n, int timeoutMs = 5000) {
        std::string out;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < n && std::chrono::steady_clock::now() < end) {
            char buf[4096];
            ssize_t r = ::read(m_master, buf, std::min(sizeof buf, n - out.size()));
            if (r > 0) {
                out.append(buf, size_t(r));
                continue;
            }
            pollfd pfd{m_master, POLLIN, 0};
            ::poll(&pfd, 1, 20);
        }
        return out;
    }

private:
    int m_master = -1;
    std::string m_path;
};

}  // namespace platform::testing
