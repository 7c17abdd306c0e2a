#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/serial_device.h"
#include "platform/system_error.h"
#include "platform/tests/pty_pair.h"

namespace platform::testing {

namespace {

std::unique_ptr<SerialDevice> openOk(const std::string& path) {
    int err = -1;
    auto dev = openPosixSerialDevice(path, err);
    EXPECT_TRUE(dev) << path << " error " << err;
    EXPECT_EQ(err, 0);
    return dev;
}

// Runs waitEvent on another thread and cancels it after cancelAfterMs.
int waitEventCancelledAfter(SerialDevice& dev, int cancelAfterMs, uint32_t& events) {
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(cancelAfterMs));
        dev.setEventMask(0);
    });
    int r = dev.waitEvent(events);
    canceller.join();
    return r;
}

}  // namespace

TEST(PosixSerialDevice, OpenErrorsTellMissingFromHeld) {
    int err = 0;
    EXPECT_FALSE(openPosixSerialDevice("/dev/ttyACM-none-such", err));
    EXPECT_EQ(err, 2);

    // A file that is not a terminal is no serial port.
    char tmpl[] = "/tmp/toplusms-notatty-XXXXXX";
    int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_FALSE(openPosixSerialDevice(tmpl, err));
    EXPECT_EQ(err, 2);
    ::unlink(tmpl);

    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto first = openOk(pty.path());
    EXPECT_FALSE(openPosixSerialDevice(pty.path(), err));
    EXPECT_EQ(err, 5);
    first->close();
    auto again = openOk(pty.path());  // the lock went with the close
}

TEST(PosixSerialDevice, BytesBothWaysAndQueueCounts) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto dev = openOk(pty.path());
    const std::string out = "AT\r\n\x00\xff\x1a";
    EXPECT_EQ(dev->write(reinterpret_cast<const uint8_t*>(out.data()), out.size()),
              int(out.size()));
    EXPECT_EQ(pty.receive(out.size()), out);

    ASSERT_TRUE(pty.send("OK\r\n"));
    DeviceQueueStatus st;
    for (int i = 0; i < 200 && st.inQueue < 4; ++i) {
        dev->status(st);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(st.inQueue, 4u);
    uint8_t buf[16] = {};
    EXPECT_EQ(dev->read(buf, sizeof buf), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "OK\r\n");
    EXPECT_EQ(dev->read(buf, sizeof buf), 0);  // nothing there: at once, no error
}

TEST(PosixSerialDevice, LineSettingsRoundTripAndRefusals) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto dev = openOk(pty.path());
    DeviceState s;
    ASSERT_EQ(dev->getState(s), 0);
    s.baud = 115200;
    s.stopBits = kTwoStopBits;
    ASSERT_EQ(dev->setState(s), 0);
    DeviceState back;
    ASSERT_EQ(dev->getState(back), 0);
    EXPECT_EQ(back.baud, 115200u);
    EXPECT_EQ(back.stopBits, kTwoStopBits);
    s.baud = 123457;  // any rate, not only the standard ones
    ASSERT_EQ(dev->setState(s), 0);
    ASSERT_EQ(dev->getState(back), 0);
    EXPECT_EQ(back.baud, 123457u);

    DeviceState bad = s;
    bad.stopBits = kOne5StopBits;  // 1.5 stop bits only with 5 data bits
    EXPECT_EQ(dev->setState(bad), -kErrorInvalidParameter);
    bad = s;
    bad.baud = 0;
    EXPECT_EQ(dev->setState(bad), -kErrorInvalidParameter);
    // Pseudo-terminals have no modem lines: the line operations are accepted.
    EXPECT_EQ(dev->escape(kClrDtr), 0);
    uint32_t lines = 1;
    EXPECT_EQ(dev->modemStatus(lines), 0);
    EXPECT_EQ(lines, 0u);
}

TEST(PosixSerialDevice, ReceivedDataIsReportedOncePerArrival) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto dev = openOk(pty.path());
    dev->setEventMask(kEvRxChar | kEvErr);
    ASSERT_TRUE(pty.send("abc"));
    uint32_t ev = 0;
    ASSERT_EQ(dev->waitEvent(ev), 0);
    EXPECT_EQ(ev, kEvRxChar);

    // Nobody reads: the same bytes are not reported again, the wait goes on until
    // it is cancelled (and it does not spin meanwhile).
    clock_t cpu0 = clock();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(waitEventCancelledAfter(*dev, 300, ev), -kErrorOperationAborted);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(250));
    double cpuMs = double(clock() - cpu0) * 1000.0 / CLOCKS_PER_SEC;
    EXPECT_LT(cpuMs, 150.0) << "the wait burned the processor";
}

TEST(PosixSerialDevice, ReadingWakesAParkedWaitAndNewBytesAreReported) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto dev = openOk(pty.path());
    dev->setEventMask(kEvRxChar);
    ASSERT_TRUE(pty.send("12345"));
    uint32_t ev = 0;
    ASSERT_EQ(dev->waitEvent(ev), 0);

    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        uint8_t b[2];
        dev->read(b, 2);  // takes some: the rest counts as news for the waiter
    });
    ASSERT_EQ(dev->waitEvent(ev), 0);
    EXPECT_EQ(ev, kEvRxChar);
    reader.join();

    uint8_t rest[8];
    EXPECT_EQ(dev->read(rest, sizeof rest), 3);
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.send("x");
    });
    ASSERT_EQ(dev->waitEvent(ev), 0);
    EXPECT_EQ(ev, kEvRxChar);
    sender.join();
}

TEST(PosixSerialDevice, FarSideClosingEndsTheWaitAsHangUp) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto dev = openOk(pty.path());
    dev->setEventMask(kEvRxChar);
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.closeMaster();
    });
    uint32_t ev = 0;
    EXPECT_EQ(dev->waitEvent(ev), -kErrorDeviceRemoved);
    closer.join();
    uint8_t b[4];
    EXPECT_EQ(dev->read(b, sizeof b), -kErrorDeviceRemoved);
    EXPECT_EQ(dev->write(b, sizeof b), -kErrorDeviceRemoved);
    EXPECT_EQ(dev->waitEvent(ev), -kErrorDeviceRemoved);  // and again, at once
}

TEST(PosixSerialDevice, WriteWaitCanBeCancelled) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto dev = openOk(pty.path());
    // Fill the pty until it takes no more and stays full (the kernel moves bytes on
    // behind the first refusal, making room once or twice).
    std::vector<uint8_t> block(4096, 'x');
    bool full = false;
    for (int i = 0; i < 100000 && !full; ++i) {
        int w = dev->write(block.data(), block.size());
        ASSERT_GE(w, 0);
        if (w == 0) {
            full = dev->waitWritable(100) == 0;
        }
    }
    ASSERT_TRUE(full);
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        dev->cancelWriteWait();
    });
    EXPECT_EQ(dev->waitWritable(5000), 0);
    canceller.join();
    EXPECT_EQ(dev->purge(false, true), 0);
}

}  // namespace platform::testing
