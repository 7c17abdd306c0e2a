// The port component on real pseudo-terminals: the far side (master) plays the phone.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/serial_device.h"
#include "platform/tests/pty_pair.h"
#include "serial/com_port.h"
#include "serial/dispatcher.h"
#include "serial/dispatcher_table.h"
#include "serial/serial_exceptions.h"
#include "serial/tests/serial_test_support.h"

namespace serial::testing {

using platform::testing::PtyPair;

namespace {

size_t countEntries(const char* dir) {
    size_t n = 0;
    if (DIR* d = opendir(dir)) {
        while (readdir(d)) {
            ++n;
        }
        closedir(d);
    }
    return n;
}

// Waits (answering the queue) until the port has n unread characters.
bool waitForInput(TComPort& p, uint32_t n, int timeoutMs = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (p.Dispatcher()->InputCount() < n) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        pumpWhileWaiting();
    }
    return true;
}

}  // namespace

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        port.SetComNumber(5);
        port.SetBaud(115200);
        port.SetAutoOpen(false);
        port.SetOpen(true);
        ASSERT_TRUE(port.Open());
    }

    PtyPair pty;
    PortMap map{{{5, pty.path()}}};
    UiQueue ui;
    TComPort port;
};

TEST_F(PtyPort, TextWrittenArrivesInOrder) {
    port.WriteText("ATE1\r");
    port.WriteText("AT+CSQ\r");
    EXPECT_EQ(pty.receive(12), "ATE1\rAT+CSQ\r");
}

TEST_F(PtyPort, BytesFromTheFarSideComeOutInOrder) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += char(i);
    }
    ASSERT_TRUE(pty.send(all));
    ASSERT_TRUE(waitForInput(port, 256));
    std::string got;
    while (port.CharAvailable()) {
        got += char(port.ReadChar());
    }
    EXPECT_EQ(got, all);
}

TEST_F(PtyPort, OneMebibyteEachWayLosesNothing) {
    constexpr size_t kSize = 1 << 20;
    std::string data(kSize, '\0');
    uint32_t x = 12345;
    for (auto& c : data) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    // Towards the far side, in pieces that fit the output ring.
    std::string farGot;
    std::thread reader([&] { farGot = pty.receive(kSize, 60000); });
    for (size_t off = 0; off < kSize;) {
        size_t n = std::min<size_t>(1000, kSize - off);
        if (port.Dispatcher()->OutputFree() >= n) {
            port.WriteText(data.substr(off, n));
            off += n;
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    reader.join();
    ASSERT_EQ(farGot.size(), kSize);
    EXPECT_TRUE(farGot == data);

    // From the far side: the input ring (8 KiB) fills and the rest waits in the driver.
    std::thread writer([&] { pty.send(data); });
    std::string got;
    got.reserve(kSize);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (got.size() < kSize && std::chrono::steady_clock::now() < end) {
        if (port.CharAvailable()) {
            got += char(port.ReadChar());
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    writer.join();
    ASSERT_EQ(got.size(), kSize);
    EXPECT_TRUE(got == data);
}

TEST_F(PtyPort, AFullRingWithBytesLeftInTheDriverIdlesQuietly) {
    std::string data(12000, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = char('a' + i % 26);
    }
    ASSERT_TRUE(pty.send(data));
    ASSERT_TRUE(waitForInput(port, kInRingSize));
    auto cpu = [] {
        rusage ru{};
        getrusage(RUSAGE_SELF, &ru);
        return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
               double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    };
    double c0 = cpu();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LT(cpu() - c0, 0.2) << "the workers spin while the ring is full";
    std::string got;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.size() < data.size() && std::chrono::steady_clock::now() < end) {
        if (port.CharAvailable()) {
            got += char(port.ReadChar());
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    EXPECT_TRUE(got == data);
}

TEST_F(PtyPort, WaitForTextMatching) {
    struct Case {
        const char* input;
        const char* text;
        bool ignoreCase;
        bool found;
        const char* left;  // what stays unread after the wait
    };
    const Case cases[] = {
        {"ATE1\r\r\nOK\r\n", "OK", false, true, "\r\n"},
        {"OOOK", "OOK", false, false, ""},  // the restart looks only at the first character
        {"ok", "OK", false, false, ""},
        {"ok\r", "OK", true, true, "\r"},
        {"xxOOKyy", "OOK", false, true, "yy"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(pty.send(c.input));
        ASSERT_TRUE(waitForInput(port, uint32_t(strlen(c.input))));
        EXPECT_EQ(port.WaitForText(c.text, 2, false, c.ignoreCase), c.found) << c.input;
        std::string left;
        while (port.CharAvailable()) {
            left += char(port.ReadChar());
        }
        EXPECT_EQ(left, c.left) << c.input;
    }
}

TEST_F(PtyPort, WaitForTextTimesOutAfterItsTicksAndTakesLaterData) {
    uint32_t t0 = platform::ClockMs();
    EXPECT_FALSE(port.WaitForText("OK", 10, false, false));
    uint32_t took = platform::ClockMs() - t0;
    EXPECT_GT(took, 550u - 55u);   // 10 to 11 ticks, counted from a tick boundary
    EXPECT_LT(took, 605u + 400u);  // a wide margin for a busy machine

    std::thread phone([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.send("\r\nOK\r\n");
    });
    EXPECT_TRUE(port.WaitForText("OK", 20, false, false));
    phone.join();
}

TEST_F(PtyPort, WaitForTextEmptyAndDeliveryFlag) {
    TBaseDispatcher* d = port.Dispatcher();
    EXPECT_TRUE(port.WaitForText("", 10, false, false));
    EXPECT_FALSE(d->DeliveryBusy());
    d->ExchangeDeliveryBusy(true);
    EXPECT_TRUE(port.WaitForText("", 10, false, false));
    EXPECT_TRUE(d->DeliveryBusy());  // untouched
    EXPECT_FALSE(port.WaitForText("OK", 0, false, false));
    EXPECT_TRUE(d->DeliveryBusy());  // it was set before the wait: it stays set
    d->ExchangeDeliveryBusy(false);
    EXPECT_FALSE(port.WaitForText("OK", 0, false, false));
    EXPECT_FALSE(d->DeliveryBusy());
}

TEST_F(PtyPort, ClosingInsideAYieldingWaitEndsTheWait) {
    ui.queue().post(ui.queue().addHandler([&](const platform::Message&) {
        port.SetOpen(false);
        return intptr_t(0);
    }),
                    platform::Message{1, 0, 0});
    bool closedSeen = false;
    port.OnPortClose = [&](TCustomComPort&) { closedSeen = true; };
    EXPECT_FALSE(port.WaitForText("OK", 40, true, false));
    EXPECT_TRUE(closedSeen);
    // The deferred close completes through the port window's message.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (port.LifeState() != PortLifeState::Closed && std::chrono::steady_clock::now() < end) {
        pumpWhileWaiting();
    }
    EXPECT_EQ(port.LifeState(), PortLifeState::Closed);
    EXPECT_FALSE(port.Open());
}

TEST(PtyProbe, ExistingMissingAndHeldPorts) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    PortMap map{{{36, pty.path()}, {37, "/dev/toplusms-no-such-port"}}};
    UiQueue ui;
    EXPECT_FALSE(ProbePort(0));
    EXPECT_FALSE(ProbePort(37));
    EXPECT_FALSE(ProbePort(38));  // no map entry, no band
    EXPECT_TRUE(ProbePort(36));
    int err = 0;
    auto holder = platform::openPosixSerialDevice(pty.path(), err);
    ASSERT_TRUE(holder);
    EXPECT_TRUE(ProbePort(36));  // held by another open: exists
    TComPort p;
    p.SetComNumber(36);
    try {
        p.SetOpen(true);
        ADD_FAILURE();
    } catch (const EAlreadyOpen& e) {
        EXPECT_EQ(e.ErrorCode, -2008);
        EXPECT_STREQ(e.what(), "ie_Open - device already open");
    }
    EXPECT_FALSE(p.Open());
}

TEST(PtyLifecycle, HundredOpensLeakNothing) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    PortMap map{{{5, pty.path()}}};
    UiQueue ui;
    size_t table = DispatcherTable::instance().size();
    TComPort p;
    p.SetComNumber(5);
    p.SetOpen(true);  // the first open makes whatever the process keeps for good
    p.SetOpen(false);
    size_t threads = countEntries("/proc/self/task");
    size_t fds = countEntries("/proc/self/fd");
    for (int i = 0; i < 100; ++i) {
        p.SetOpen(true);
        ASSERT_TRUE(p.Open());
        p.WriteText("x");
        p.SetOpen(false);
    }
    EXPECT_EQ(countEntries("/proc/self/task"), threads);
    EXPECT_EQ(countEntries("/proc/self/fd"), fds);
    EXPECT_EQ(DispatcherTable::instance().size(), table);
}

TEST(PtyLifecycle, FarSideClosingClosesThePort) {
    auto pty = std::make_unique<PtyPair>();
    ASSERT_TRUE(pty->ok());
    PortMap map{{{5, pty->path()}}};
    UiQueue ui;
    TComPort p;
    p.SetComNumber(5);
    p.SetAutoOpen(false);
    p.SetOpen(true);
    int closes = 0;
    p.OnPortClose = [&](TCustomComPort&) { ++closes; };
    pty->send("RING\r\n");
    ASSERT_TRUE(waitForInput(p, 6));
    auto t0 = std::chrono::steady_clock::now();
    pty->closeMaster();  // the phone is unplugged
    while (p.Open() && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(10)) {
        ui.queue().waitAndPumpOne(1);
    }
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_FALSE(p.Open());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(p.LifeState(), PortLifeState::Closed);
    if (kTimed) {
        EXPECT_LT(took, std::chrono::seconds(1));  // the benchmark holds it to 100 ms
    }
    EXPECT_THROW(p.WriteText("AT\r"), ECommNotOpen);
}

TEST(PtyLifecycle, AHangUpEndsATextWaitAtOnce) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    PortMap map{{{5, pty.path()}}};
    UiQueue ui;
    TComPort p;
    p.SetComNumber(5);
    p.SetAutoOpen(false);
    p.SetOpen(true);
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.closeMaster();
    });
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(p.WaitForText("OK", 200, false, false));  // 11 s unless it ends early
    auto took = std::chrono::steady_clock::now() - t0;
    unplug.join();
    EXPECT_LT(took, std::chrono::seconds(kTimed ? 2 : 9));
    // The wait did not pump; the port closes with the next round of the queue.
    for (int i = 0; i < 5000 && p.Open(); ++i) {
        ui.queue().waitAndPumpOne(1);
    }
    EXPECT_FALSE(p.Open());
}

// The close that stalled for seconds: the dispatcher thread busy with streaming data
// while the port closes. Every round must close promptly and completely.
TEST(PtyLifecycle, ClosingWhileDataStreamsInNeverStalls) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    PortMap map{{{5, pty.path()}}};
    UiQueue ui;
    TComPort p;
    p.SetComNumber(5);
    p.SetAutoOpen(false);
    size_t received = 0;
    p.SetOnTriggerAvail([&](TCustomComPort& port, uint16_t count) {
        for (int i = 0; i < count; ++i) {
            port.ReadChar();
        }
        received += count;
    });
    std::atomic<bool> streaming{true};
    std::thread phone([&] {
        const std::string chunk(64, 'x');
        while (streaming.load()) {
            // Never blocks: while the port is closed the bytes have nowhere to go.
            [[maybe_unused]] ssize_t w = ::write(pty.master(), chunk.data(), chunk.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const int rounds = kTimed ? 300 : 60;
    std::chrono::steady_clock::duration worst{};
    for (int i = 0; i < rounds; ++i) {
        p.SetOpen(true);
        ASSERT_TRUE(p.Open());
        for (int k = 0; k < 5; ++k) {
            ui.queue().waitAndPumpOne(1);
        }
        auto t0 = std::chrono::steady_clock::now();
        p.SetOpen(false);
        // A close that met a delivery on its way finishes through the port window.
        while (p.LifeState() != PortLifeState::Closed &&
               std::chrono::steady_clock::now() - t0 < std::chrono::seconds(20)) {
            ui.queue().waitAndPumpOne(1);
        }
        ASSERT_EQ(p.LifeState(), PortLifeState::Closed) << "round " << i;
        worst = std::max(worst, std::chrono::steady_clock::now() - t0);
    }
    streaming.store(false);
    phone.join();
    EXPECT_GT(received, 0u);
    if (kTimed) {
        EXPECT_LT(worst, std::chrono::seconds(1)) << "a close stalled";
    }
}

}  // namespace serial::testing
