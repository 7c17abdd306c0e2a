// Figures of the serial layer on pseudo-terminals, each beside a baseline measured in the
// same run on an identical pseudo-terminal with plain poll() and read(). Prints one
// "name: value" line per figure.
//
//   bench-serial [--quick]     --quick: smaller samples, for a smoke run

#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/plain_message_queue.h"
#include "platform/tests/pty_pair.h"
#include "serial/com_port.h"
#include "serial/dispatcher.h"
#include "serial/pump.h"

using platform::testing::PtyPair;
using Clock = std::chrono::steady_clock;

namespace {

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

double us(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double cpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Opens the slave of a pty the way a plain program would.
int openPlain(const PtyPair& pty) {
    int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

class MapFile {
public:
    explicit MapFile(const std::string& path) {
        m_file = "/tmp/bench-serial-" + std::to_string(::getpid()) + ".conf";
        std::ofstream(m_file) << "Com5=" << path << "\n";
        setenv("TOPLUSMS_PORTS", m_file.c_str(), 1);
    }
    ~MapFile() { ::unlink(m_file.c_str()); }

private:
    std::string m_file;
};

}  // namespace

int main(int argc, char** argv) {
    bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int samples = quick ? 200 : 2000;
    const size_t streamBytes = quick ? (4u << 20) : (64u << 20);
    const int idleSeconds = quick ? 2 : 10;

    // Short sleeps of the polling loops below should be short: no timer slack.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    platform::PlainMessageQueue queue;
    serial::setMessageQueue(&queue);

    PtyPair pty;
    PtyPair basePty;
    if (!pty.ok() || !basePty.ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    MapFile map(pty.path());
    serial::TComPort port;
    port.SetComNumber(5);
    port.SetBaud(115200);
    port.SetAutoOpen(false);
    port.SetOpen(true);

    // The baseline: the same one byte on the other pseudo-terminal, read by a thread of
    // its own that waits in a plain poll() and read(), as the serial layer's event thread
    // waits; one way, from the write until that thread is awake with the byte. Its
    // samples are taken between ours, so that both meet the same load of the machine.
    int base = openPlain(basePty);
    std::vector<double> baseLat;
    std::mutex baseMutex;
    std::condition_variable baseChanged;
    Clock::time_point baseAwake;  // baseMutex
    bool baseGot = false;         // baseMutex
    int stopPipe[2];
    if (pipe(stopPipe) != 0) {
        return 1;
    }
    std::thread baseReader([&] {
        for (;;) {
            pollfd pfd[2] = {{base, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
            ::poll(pfd, 2, -1);
            auto t1 = Clock::now();
            if (pfd[1].revents) {
                return;
            }
            char c;
            if (::read(base, &c, 1) == 1) {
                std::lock_guard lock(baseMutex);
                baseAwake = t1;
                baseGot = true;
                baseChanged.notify_all();
            }
        }
    });
    auto baselineSample = [&] {
        auto t0 = Clock::now();
        basePty.send("x", 1);
        std::unique_lock lock(baseMutex);
        baseChanged.wait(lock, [&] { return baseGot; });
        baseGot = false;
        baseLat.push_back(us(baseAwake - t0));
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    };

    // Receive latency: one byte written on the far side until CharAvailable is true.
    std::vector<double> lat;
    for (int i = 0; i < samples; ++i) {
        auto t0 = Clock::now();
        pty.send("x", 1);
        // Look every 50 us, giving the processor up in between. Spinning, or waking every
        // few microseconds, keeps one of two cores so busy that the workers wait whole
        // time slices for it (p99 in milliseconds); 50 us costs at most that much of
        // resolution, and errs on the slow side.
        while (!port.CharAvailable()) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        lat.push_back(us(Clock::now() - t0));
        port.ReadChar();
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        baselineSample();
    }
    // The same until OnTriggerAvail runs on the user-interface thread (which waits in
    // its message queue as the program's main loop does).
    std::vector<double> availLat;
    {
        Clock::time_point t0;
        bool seen = false;
        port.SetOnTriggerAvail([&](serial::TCustomComPort& p, uint16_t count) {
            availLat.push_back(us(Clock::now() - t0));
            for (uint16_t i = 0; i < count; ++i) {
                p.ReadChar();
            }
            seen = true;
        });
        for (int i = 0; i < samples; ++i) {
            seen = false;
            t0 = Clock::now();
            pty.send("x", 1);
            while (!seen) {
                queue.waitAndPumpOne(100);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            baselineSample();
        }
        port.SetOnTriggerAvail(nullptr);
    }
    std::printf("rx_latency_p50_us: %.1f\n", percentile(lat, 0.50));
    std::printf("rx_latency_p99_us: %.1f\n", percentile(lat, 0.99));
    std::printf("avail_latency_p50_us: %.1f\n", percentile(availLat, 0.50));
    std::printf("avail_latency_p99_us: %.1f\n", percentile(availLat, 0.99));
    std::printf("baseline_latency_p50_us: %.1f\n", percentile(baseLat, 0.50));
    std::printf("baseline_latency_p99_us: %.1f\n", percentile(baseLat, 0.99));

    std::string block(64 * 1024, 'd');

    // Receive throughput: the far side writes as fast as it can; the port is read with
    // CharAvailable and ReadChar.
    {
        std::thread writer([&] {
            for (size_t sent = 0; sent < streamBytes; sent += block.size()) {
                pty.send(block.data(), std::min(block.size(), streamBytes - sent));
            }
        });
        auto t0 = Clock::now();
        size_t got = 0;
        while (got < streamBytes) {
            if (port.CharAvailable()) {
                port.ReadChar();
                ++got;
            } else {
                sched_yield();
            }
        }
        double s = std::chrono::duration<double>(Clock::now() - t0).count();
        writer.join();
        std::printf("rx_throughput_mb_s: %.2f\n", double(streamBytes) / 1e6 / s);
    }
    // Transmit throughput: WriteText into the output ring, the far side reads.
    {
        std::thread reader([&] {
            std::vector<char> buf(64 * 1024);
            size_t got = 0;
            while (got < streamBytes) {
                ssize_t r = ::read(pty.master(), buf.data(), buf.size());
                if (r > 0) {
                    got += size_t(r);
                } else {
                    pollfd pfd{pty.master(), POLLIN, 0};
                    ::poll(&pfd, 1, 100);
                }
            }
        });
        const std::string chunk(4000, 't');
        auto t0 = Clock::now();
        for (size_t sent = 0; sent < streamBytes;) {
            size_t n = std::min(chunk.size(), streamBytes - sent);
            if (port.Dispatcher()->OutputFree() >= n) {
                port.WriteText(chunk.substr(0, n));
                sent += n;
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        }
        reader.join();
        double s = std::chrono::duration<double>(Clock::now() - t0).count();
        std::printf("tx_throughput_mb_s: %.2f\n", double(streamBytes) / 1e6 / s);
    }
    {
        [[maybe_unused]] ssize_t w = ::write(stopPipe[1], "q", 1);
        baseReader.join();
        ::close(stopPipe[0]);
        ::close(stopPipe[1]);
    }
    // Baseline: plain poll() and read() of the same stream.
    {
        std::thread writer([&] {
            for (size_t sent = 0; sent < streamBytes; sent += block.size()) {
                basePty.send(block.data(), std::min(block.size(), streamBytes - sent));
            }
        });
        std::vector<char> buf(64 * 1024);
        auto t0 = Clock::now();
        size_t got = 0;
        while (got < streamBytes) {
            pollfd pfd{base, POLLIN, 0};
            ::poll(&pfd, 1, -1);
            ssize_t r = ::read(base, buf.data(), buf.size());
            if (r > 0) {
                got += size_t(r);
            }
        }
        double s = std::chrono::duration<double>(Clock::now() - t0).count();
        writer.join();
        std::printf("baseline_throughput_mb_s: %.2f\n", double(streamBytes) / 1e6 / s);
    }
    ::close(base);

    // Processor use of an open port with nothing to do.
    double c0 = cpuSeconds();
    auto t0 = Clock::now();
    while (Clock::now() - t0 < std::chrono::seconds(idleSeconds)) {
        queue.waitAndPumpOne(100);
    }
    double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("idle_cpu_percent: %.3f\n", (cpuSeconds() - c0) / wall * 100.0);

    port.SetOpen(false);

    // Closing: idle, and with the far side streaming while an avail handler reads, the
    // case in which the dispatcher thread is always in the middle of a pass. A close that
    // meets a delivery is finished by the port window; it counts until then.
    auto closeMs = [&] {
        auto c0 = Clock::now();
        port.SetOpen(false);
        while (port.LifeState() != serial::PortLifeState::Closed) {
            queue.waitAndPumpOne(1);
        }
        return std::chrono::duration<double, std::milli>(Clock::now() - c0).count();
    };
    const int closes = quick ? 50 : 300;
    std::vector<double> idleClose;
    for (int i = 0; i < closes; ++i) {
        port.SetOpen(true);
        queue.waitAndPumpOne(5);
        idleClose.push_back(closeMs());
    }
    port.SetOnTriggerAvail([](serial::TCustomComPort& p, uint16_t count) {
        for (int i = 0; i < count; ++i) {
            p.ReadChar();
        }
    });
    std::atomic<bool> streaming{true};
    std::thread phone([&] {
        const std::string chunk(64, 'x');
        while (streaming.load()) {
            [[maybe_unused]] ssize_t w = ::write(pty.master(), chunk.data(), chunk.size());
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    std::vector<double> streamingClose;
    for (int i = 0; i < closes; ++i) {
        port.SetOpen(true);
        for (int k = 0; k < 10; ++k) {
            queue.waitAndPumpOne(1);
        }
        streamingClose.push_back(closeMs());
    }
    streaming.store(false);
    phone.join();
    port.SetOnTriggerAvail(nullptr);
    std::printf("close_idle_p50_ms: %.2f\n", percentile(idleClose, 0.50));
    std::printf("close_idle_p99_ms: %.2f\n", percentile(idleClose, 0.99));
    std::printf("close_streaming_p50_ms: %.2f\n", percentile(streamingClose, 0.50));
    std::printf("close_streaming_p99_ms: %.2f\n", percentile(streamingClose, 0.99));
    std::printf("close_streaming_max_ms: %.2f\n", percentile(streamingClose, 1.0));

    // A hang-up: from the far side's close until the port has closed by itself.
    std::vector<double> hangUp;
    for (int i = 0; i < (quick ? 5 : 20); ++i) {
        PtyPair gone;
        MapFile goneMap(gone.path());
        serial::TComPort p;
        p.SetComNumber(5);
        p.SetAutoOpen(false);
        p.SetOpen(true);
        queue.waitAndPumpOne(5);
        auto h0 = Clock::now();
        gone.closeMaster();
        while (p.Open() && Clock::now() - h0 < std::chrono::seconds(5)) {
            queue.waitAndPumpOne(1);
        }
        hangUp.push_back(std::chrono::duration<double, std::milli>(Clock::now() - h0).count());
    }
    std::printf("hangup_close_p50_ms: %.2f\n", percentile(hangUp, 0.50));
    std::printf("hangup_close_max_ms: %.2f\n", percentile(hangUp, 1.0));

    serial::setMessageQueue(nullptr);
    return 0;
}
