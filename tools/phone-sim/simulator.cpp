#include "tools/phone-sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace phonesim {
namespace {

using Clock = std::chrono::steady_clock;

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

struct Simulator::Pending {
    Clock::time_point due;
    std::string bytes;
    bool hangUp = false;
    bool immediate = false;  // a hang-up asked for at run time: what is unread is lost
};

Simulator::Simulator(Config config) : m_config(config), m_modem(std::move(config)) {}

Simulator::~Simulator() {
    stop();
    // Closed only here, so that an event racing with stop() never writes to a stale fd.
    closeFd(m_wakeRead);
    closeFd(m_wakeWrite);
}

bool Simulator::start(std::string* error) {
    if (m_wakeWrite >= 0) {
        if (error) {
            *error = "already started";
        }
        return false;
    }
    struct termios raw {};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B115200);
    cfsetospeed(&raw, B115200);
    int master = -1;
    int slave = -1;
    // Raw from the start: the line discipline must neither echo (the phone does that
    // itself) nor turn the CR that ends a command into LF.
    if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
        if (error) {
            *error = std::string("openpty: ") + std::strerror(errno);
        }
        return false;
    }
    char name[128] = {};
    int pipeFds[2];
    if (::ptsname_r(master, name, sizeof name) != 0 ||
        ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) {
            *error = std::string("pseudo-terminal: ") + std::strerror(errno);
        }
        ::close(master);
        ::close(slave);
        return false;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
    m_slaveHold = slave;
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];
    {
        std::lock_guard lock(m_mutex);
        m_slavePath = name;
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void Simulator::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wake();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_master >= 0) {
        closeLine();
    }
}

std::string Simulator::slavePath() const {
    std::lock_guard lock(m_mutex);
    return m_slavePath;
}

std::vector<std::string> Simulator::commands() const {
    std::lock_guard lock(m_mutex);
    return m_modem.commands();
}

std::vector<AcceptedMessage> Simulator::messages() const {
    std::lock_guard lock(m_mutex);
    return m_modem.messages();
}

std::vector<std::string> Simulator::refusals() const {
    std::lock_guard lock(m_mutex);
    return m_modem.refusals();
}

bool Simulator::waitForCommands(std::size_t count, int timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_modem.commands().size() >= count; });
}

std::vector<SmsEvent> Simulator::smsEvents() const {
    std::lock_guard lock(m_mutex);
    return m_modem.smsEvents();
}

bool Simulator::waitForSmsEvents(std::size_t count, int timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_modem.smsEvents().size() >= count; });
}

std::vector<StoredMessage> Simulator::storedMessages() const {
    std::lock_guard lock(m_mutex);
    return m_modem.storedMessages();
}

bool Simulator::receiveSms(const IncomingText& message) {
    bool ok;
    {
        std::lock_guard lock(m_mutex);
        ok = m_modem.receiveSms(message);
    }
    wake();  // the run loop hands it over
    return ok;
}

void Simulator::ring() {
    const std::string& number = m_config.callerNumber;
    ring(number, number.starts_with('+') ? 145 : 129);
}

void Simulator::ring(const std::string& number, int type) {
    std::lock_guard lock(m_mutex);
    post(m_modem.ring(number, type));
}

void Simulator::hangUp() {
    {
        std::lock_guard lock(m_mutex);
        m_hangUpRequested = true;
    }
    wake();
}

bool Simulator::hungUp() const {
    std::lock_guard lock(m_mutex);
    return m_hungUp;
}

void Simulator::setSignal(int rssi, int ber) {
    std::lock_guard lock(m_mutex);
    m_modem.setSignal(rssi, ber);
}

void Simulator::setBattery(int charge, int state) {
    std::lock_guard lock(m_mutex);
    m_modem.setBattery(state, charge);
}

void Simulator::setFaults(const Faults& faults) {
    std::lock_guard lock(m_mutex);
    m_modem.setFaults(faults);
}

void Simulator::post(Response response) {
    m_posted.push_back(std::move(response));
    wake();
}

void Simulator::wake() {
    if (m_wakeWrite >= 0) {
        const char b = 1;
        [[maybe_unused]] auto n = ::write(m_wakeWrite, &b, 1);  // full pipe: already woken
    }
}

void Simulator::closeLine() {
    {
        // Set first, so that whoever sees the line close also sees hungUp().
        std::lock_guard lock(m_mutex);
        m_hungUp = true;
        m_changed.notify_all();
    }
    closeFd(m_master);
    closeFd(m_slaveHold);
}

void Simulator::waitUntilRead() {
    // Closing the master discards what the far end has not read yet; an answer that
    // comes before a hang-up is given up to a second to be read. The bytes reach the far
    // end's queue a moment after the write, so an empty queue counts only after 50 ms.
    for (int i = 0; i < 100; ++i) {
        int unread = 0;
        if (::ioctl(m_slaveHold, FIONREAD, &unread) != 0 || (unread == 0 && i >= 5)) {
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) {
                return;
            }
        }
        ::usleep(10000);
    }
}

Simulator::Counts Simulator::counts() const {
    return {m_modem.commands().size(), m_modem.messages().size(), m_modem.refusals().size(),
            m_modem.smsEvents().size()};
}

void Simulator::notify(const Counts& before) {
    // Copies taken under the lock, observers called without it, so that they may use
    // the accessors.
    std::vector<std::string> newCommands;
    std::vector<AcceptedMessage> newMessages;
    std::vector<std::string> newRefusals;
    std::vector<SmsEvent> newSmsEvents;
    {
        std::lock_guard lock(m_mutex);
        const auto& c = m_modem.commands();
        const auto& m = m_modem.messages();
        const auto& r = m_modem.refusals();
        const auto& e = m_modem.smsEvents();
        newCommands.assign(c.begin() + before.commands, c.end());
        newMessages.assign(m.begin() + before.messages, m.end());
        newRefusals.assign(r.begin() + before.refusals, r.end());
        newSmsEvents.assign(e.begin() + before.smsEvents, e.end());
        m_changed.notify_all();
    }
    for (const auto& c : newCommands) {
        if (m_config.onCommand) {
            m_config.onCommand(c);
        }
    }
    for (const auto& r : newRefusals) {
        if (m_config.onRefusal) {
            m_config.onRefusal(r);
        }
    }
    for (const auto& m : newMessages) {
        if (m_config.onMessage) {
            m_config.onMessage(m);
        }
    }
    for (const auto& e : newSmsEvents) {
        if (m_config.onSmsEvent) {
            m_config.onSmsEvent(e);
        }
    }
}

void Simulator::run() {
    std::deque<Pending> queue;
    Clock::time_point lastDue = Clock::now();
    // In time order; what is due at the same moment in the order it came. An answer out
    // of turn holds up nothing that is due before it.
    auto insert = [&](Pending p) {
        const auto at = std::find_if(queue.begin(), queue.end(),
                                     [&](const Pending& q) { return q.due > p.due; });
        queue.insert(at, std::move(p));
    };
    auto enqueue = [&](const Response& r) {
        Clock::time_point t = std::max(Clock::now(), lastDue);
        for (const Chunk& c : r.chunks) {
            t += std::chrono::milliseconds(c.delayMs);
            insert({t, c.bytes, false});
        }
        if (r.hangUp) {
            insert({t, {}, true});
        }
        lastDue = t;
        for (const Chunk& c : r.outOfTurn) {
            insert({Clock::now() + std::chrono::milliseconds(c.delayMs), c.bytes, false});
        }
    };

    char buf[4096];
    Clock::time_point lastInput = Clock::now();
    for (;;) {
        Clock::time_point promptExpiry = Clock::time_point::max();
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) {
                return;
            }
            if (m_modem.awaitingPdu() && m_modem.promptTimeoutMs() > 0) {
                promptExpiry = lastInput + std::chrono::milliseconds(m_modem.promptTimeoutMs());
                if (Clock::now() >= promptExpiry) {
                    m_modem.abandonPdu();
                    promptExpiry = Clock::time_point::max();
                }
            }
            if (m_hangUpRequested) {
                queue.clear();
                queue.push_back({Clock::now(), {}, true, true});
            }
            for (const Response& r : m_posted) {
                enqueue(r);
            }
            m_posted.clear();
        }
        // Reports and messages that have come due, after any answer already on its way.
        {
            Counts before;
            bool grew;
            {
                std::lock_guard lock(m_mutex);
                before = counts();
                enqueue(m_modem.unsolicited(Clock::now()));
                grew = m_modem.smsEvents().size() != before.smsEvents;
            }
            if (grew) {
                notify(before);
            }
        }

        // Write what is due; a full pty buffer waits for POLLOUT.
        bool blocked = false;
        while (!queue.empty() && queue.front().due <= Clock::now()) {
            Pending& p = queue.front();
            if (p.hangUp) {
                if (!p.immediate) {
                    waitUntilRead();
                }
                closeLine();
                return;
            }
            const ssize_t n = ::write(m_master, p.bytes.data(), p.bytes.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN) {
                closeLine();
                return;
            }
            if (n > 0) {
                p.bytes.erase(0, static_cast<std::size_t>(n));
            }
            if (!p.bytes.empty()) {
                blocked = true;
                break;
            }
            queue.pop_front();
        }

        int timeout = -1;
        auto waitFor = [&](Clock::time_point due) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
            const int ms = static_cast<int>(std::max<long long>(0, wait.count()));
            timeout = timeout < 0 ? ms : std::min(timeout, ms);
        };
        if (!queue.empty() && !blocked) {
            waitFor(queue.front().due);
        }
        {
            std::lock_guard lock(m_mutex);
            if (const auto next = m_modem.nextUnsolicited()) {
                waitFor(*next);
            }
        }
        if (promptExpiry != Clock::time_point::max()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(promptExpiry - Clock::now());
            const int ms = static_cast<int>(std::max<long long>(0, wait.count()));
            timeout = timeout < 0 ? ms : std::min(timeout, ms);
        }
        struct pollfd fds[2] = {{m_master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                                {m_wakeRead, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0) {
            continue;  // EINTR
        }
        if (fds[1].revents & POLLIN) {
            while (::read(m_wakeRead, buf, sizeof buf) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                lastInput = Clock::now();
                Counts before;
                Response r;
                {
                    std::lock_guard lock(m_mutex);
                    before = counts();
                    r = m_modem.receive(std::string_view(buf, static_cast<std::size_t>(n)));
                }
                enqueue(r);
                notify(before);
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            // Not expected while m_slaveHold is open; do not spin if it happens.
            ::usleep(20000);
        }
    }
}

}  // namespace phonesim
