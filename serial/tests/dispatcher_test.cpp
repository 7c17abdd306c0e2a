#include "serial/dispatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <system_error>
#include <thread>

#include "platform/fake_serial_device.h"
#include "serial/dispatcher_table.h"
#include "serial/tests/serial_test_support.h"

namespace serial {

// Lets the tests set ring positions and run the data path without worker threads.
struct DispatcherTestAccess {
    static void attach(TBaseDispatcher& d, std::unique_ptr<platform::SerialDevice> device,
                       uint32_t outSize) {
        d.m_device = std::move(device);
        d.m_deviceOpen.store(true);
        d.m_inRing = std::make_unique<uint8_t[]>(kInRingSize);
        d.m_outRing = std::make_unique<uint8_t[]>(outSize);
        d.m_outQueueSize = outSize;
    }
    static void setInRing(TBaseDispatcher& d, uint32_t head, uint32_t tail, bool full) {
        d.m_inHead = head;
        d.m_inTail = tail;
        d.m_inFull = full;
    }
    static uint32_t inHead(TBaseDispatcher& d) { return d.m_inHead; }
    static uint8_t inByte(TBaseDispatcher& d, uint32_t i) { return d.m_inRing[i]; }
    static void setOutRing(TBaseDispatcher& d, uint32_t head, uint32_t tail) {
        d.m_outHead = head;
        d.m_outTail = tail;
    }
    static uint8_t* outRing(TBaseDispatcher& d) { return d.m_outRing.get(); }
    static uint32_t outHead(TBaseDispatcher& d) { return d.m_outHead; }
    static uint32_t outTail(TBaseDispatcher& d) { return d.m_outTail; }
};

namespace testing {

using platform::FakeLine;
using platform::FakeSerialDevice;
using Access = DispatcherTestAccess;

namespace {

std::unique_ptr<TWin32Dispatcher> attached(std::shared_ptr<FakeLine> line, uint32_t outSize) {
    auto d = std::make_unique<TWin32Dispatcher>(nullptr);
    Access::attach(*d, std::make_unique<FakeSerialDevice>(line), outSize);
    return d;
}

std::string readAll(TBaseDispatcher& d) {
    std::string s;
    uint8_t c;
    while (d.ReadChar(c) == 0) {
        s += char(c);
    }
    return s;
}

}  // namespace

TEST(InputRing, FillWrapsAroundTheEnd) {
    auto line = std::make_shared<FakeLine>();
    auto d = attached(line, 4096);
    Access::setInRing(*d, 8190, 8190, false);
    line->send("abcde");
    EXPECT_TRUE(d->FillInRing());
    EXPECT_EQ(Access::inHead(*d), 3u);  // 2 bytes at the end, 3 at the start
    EXPECT_EQ(Access::inByte(*d, 8191), 'b');
    EXPECT_EQ(Access::inByte(*d, 0), 'c');
    EXPECT_EQ(d->InputCount(), 5u);
    EXPECT_EQ(readAll(*d), "abcde");
    EXPECT_FALSE(d->FillInRing());  // nothing in the driver
}

TEST(InputRing, FullRingLeavesBytesInTheDriver) {
    auto line = std::make_shared<FakeLine>();
    auto d = attached(line, 4096);
    line->send(std::string(kInRingSize, 'x'));
    EXPECT_TRUE(d->FillInRing());
    EXPECT_EQ(d->InputCount(), kInRingSize);
    line->send("more");
    EXPECT_TRUE(d->FillInRing());  // full: true, nothing read
    EXPECT_EQ(line->pendingInput(), 4u);
    uint8_t c;
    ASSERT_EQ(d->ReadChar(c), 0);
    EXPECT_TRUE(d->FillInRing());
    EXPECT_EQ(line->pendingInput(), 3u);  // one byte of room, one byte taken
    EXPECT_EQ(d->InputCount(), kInRingSize);
}

TEST(InputRing, PeekBeyondTheUnreadBytesFailsAndConsumesNothing) {
    auto line = std::make_shared<FakeLine>();
    auto d = attached(line, 4096);
    line->send("OK");
    d->FillInRing();
    uint8_t c = 0;
    EXPECT_EQ(d->PeekInput(3, c), kErrBufferEmpty);
    EXPECT_EQ(d->PeekInput(2, c), 0);
    EXPECT_EQ(c, 'K');
    EXPECT_EQ(d->InputCount(), 2u);
    EXPECT_TRUE(d->CharAvailable());
    EXPECT_EQ(readAll(*d), "OK");
    EXPECT_FALSE(d->CharAvailable());
    EXPECT_EQ(d->ReadChar(c), kErrBufferEmpty);
}

TEST(OutputRing, WrappedBytesGoOutAsOneWriteInOrder) {
    auto line = std::make_shared<FakeLine>();
    auto d = attached(line, 4096);
    uint8_t* ring = Access::outRing(*d);
    for (uint32_t i = 4000; i < 4096; ++i) {
        ring[i] = uint8_t(i - 4000);  // 0..95
    }
    for (uint32_t i = 0; i < 100; ++i) {
        ring[i] = uint8_t(96 + i);  // 96..195
    }
    Access::setOutRing(*d, 100, 4000);
    EXPECT_EQ(d->OutputCount(), 196u);
    d->DrainOutput();
    ASSERT_EQ(line->writeSizes(), std::vector<size_t>{196});
    auto sent = line->received();
    for (size_t i = 0; i < sent.size(); ++i) {
        ASSERT_EQ(sent[i], uint8_t(i)) << i;
    }
    EXPECT_EQ(d->OutputCount(), 0u);
}

TEST(OutputRing, AFullWrappedRingGoesOutOnce) {
    auto line = std::make_shared<FakeLine>();
    auto d = attached(line, 64);
    Access::setOutRing(*d, 10, 10);  // an empty ring whose positions are not at 0
    std::string block(64, '\0');
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = char('A' + i % 26);
    }
    ASSERT_EQ(d->WriteBlock(block.data(), 64), 0);
    EXPECT_EQ(d->OutputCount(), 64u);
    EXPECT_EQ(d->OutputFree(), 0u);
    d->DrainOutput();
    auto sent = line->received();
    EXPECT_EQ(std::string(sent.begin(), sent.end()), block);
    EXPECT_EQ(d->OutputCount(), 0u);
}

TEST(OutputRing, PartialWritesAdvanceAndTheRestFollows) {
    auto line = std::make_shared<FakeLine>();
    auto d = attached(line, 16);
    ASSERT_EQ(d->WriteBlock("0123456789", 10), 0);
    EXPECT_EQ(d->WriteBlock("abcdefg", 7), kErrOutputTooSmall);  // 6 free: nothing queued
    EXPECT_EQ(d->OutputCount(), 10u);
    d->DrainOutput();
    ASSERT_EQ(d->WriteBlock("abcdefg", 7), 0);  // wraps in the ring
    d->DrainOutput();
    auto sent = line->received();
    EXPECT_EQ(std::string(sent.begin(), sent.end()), "0123456789abcdefg");
}

TEST(LineSettings, UnchangedValuesMakeNoDeviceCall) {
    auto line = std::make_shared<FakeLine>();
    line->setState({19200, 0, 8, platform::kOneStopBit});
    auto d = attached(line, 4096);
    EXPECT_EQ(d->SetLineParams(19200, 0, 8, 1), 0);
    EXPECT_EQ(d->SetLineParams(0, 5, 9, 3), 0);  // "keep the current value" everywhere
    EXPECT_EQ(line->setStateCalls(), 0);
    EXPECT_TRUE(line->escapes().empty());
}

TEST(LineSettings, NewValuesAreWrittenAndFiveDataBitsTakeOneAndAHalfStopBits) {
    struct Case {
        int baud, parity, dataBits, stopBits;
        uint32_t wantBaud;
        uint8_t wantParity, wantSize, wantStop;
    };
    const Case cases[] = {
        {115200, 0, 8, 1, 115200, 0, 8, platform::kOneStopBit},
        {9600, 2, 7, 2, 9600, 2, 7, platform::kTwoStopBits},
        {9600, 0, 5, 1, 9600, 0, 5, platform::kOne5StopBits},
        {9600, 0, 5, 2, 9600, 0, 5, platform::kOne5StopBits},
        {0, 4, 9, 7, 19200, 4, 8, platform::kTwoStopBits},  // stop bits above 2 mean 2
        {0, 1, 9, 0, 19200, 1, 8, platform::kOneStopBit},   // and 0 means 1
    };
    for (const auto& c : cases) {
        auto line = std::make_shared<FakeLine>();
        line->setState({19200, 0, 8, platform::kOneStopBit});
        auto d = attached(line, 4096);
        ASSERT_EQ(d->SetLineParams(c.baud, c.parity, c.dataBits, c.stopBits), 0);
        auto s = line->state();
        EXPECT_EQ(s.baud, c.wantBaud) << c.baud;
        EXPECT_EQ(s.parity, c.wantParity);
        EXPECT_EQ(s.byteSize, c.wantSize);
        EXPECT_EQ(s.stopBits, c.wantStop) << c.dataBits << "/" << c.stopBits;
        EXPECT_EQ(d->AppliedBaud(), c.wantBaud);
    }
}

TEST(LineSettings, RefusedSettingsKeepTheDeviceButTheRateIsRemembered) {
    auto line = std::make_shared<FakeLine>();
    line->setState({19200, 0, 8, platform::kOneStopBit});
    line->setSetStateResult(-87);
    auto d = attached(line, 4096);
    EXPECT_EQ(d->SetLineParams(57600, 0, 8, 1), -87);
    EXPECT_EQ(line->state().baud, 19200u);
    EXPECT_EQ(d->AppliedBaud(), 57600u);
}

TEST(LineSettings, DrainWaitIsEighteenCharacterTimes) {
    platform::DeviceState n81{0, 0, 8, platform::kOneStopBit};
    platform::DeviceState e72{0, 2, 7, platform::kTwoStopBits};
    struct Case {
        uint32_t baud;
        platform::DeviceState state;
        uint32_t ms;
    };
    const Case cases[] = {
        {115200, n81, 2},   // 86 x 10 x 18 = 15480 tenths of a microsecond
        {9600, n81, 19},    // 1041 x 10 x 18 = 187380
        {0xFEFF, n81, 2},   // legacy code for 115200
        {0xFF16, n81, 19},  // legacy code for 9600
        {0xFF27, n81, 2},   // 256000: 39 x 10 x 18 = 7020, doubled to 14040
        {9600, e72, 21},    // 7 + 2 + parity + second stop bit = 11 bits
        {0, n81, 0},        // no rate: no wait
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OutputDrainSleepMs(c.baud, c.state), c.ms) << std::hex << c.baud;
    }
}

TEST(DispatcherTable, SlotsAreReusedLowestFirstAndTrimmedAtTheEnd) {
    auto& table = DispatcherTable::instance();
    size_t before = table.size();
    auto a = std::make_unique<TWin32Dispatcher>(nullptr);
    auto b = std::make_unique<TWin32Dispatcher>(nullptr);
    auto c = std::make_unique<TWin32Dispatcher>(nullptr);
    uint32_t hb = b->DispatcherHandle();
    EXPECT_EQ(table.at(hb), b.get());
    b.reset();
    EXPECT_EQ(table.at(hb), nullptr);
    auto d = std::make_unique<TWin32Dispatcher>(nullptr);
    EXPECT_EQ(d->DispatcherHandle(), hb);
    a.reset();
    c.reset();
    d.reset();
    EXPECT_EQ(table.size(), before);
}

TEST(DeliveryFlag, ADeliveryBesideATextWaitIsRefusedAndLeavesTheWaitsFlag) {
    UiQueue ui;
    auto line = std::make_shared<FakeLine>();
    auto d = attached(line, 4096);
    int calls = 0;
    platform::HandlerId window = ui.queue().addHandler([&](const platform::Message&) {
        ++calls;
        return intptr_t(0);
    });
    d->AddWindowHandler(window);
    d->RefreshDeliveryFlags(1);
    EXPECT_FALSE(d->ExchangeDeliveryBusy(true));  // a text wait begins
    EXPECT_FALSE(d->DeliverTrigger(MsgTriggerTimer, 8, 0));
    EXPECT_TRUE(d->DeliveryBusy());  // the wait's own flag stays
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(d->ExchangeDeliveryBusy(false));
    d->RemoveWindowHandler(window);
    ui.queue().removeHandler(window);
}

TEST(ModemLines, LineErrorsAreReadInOrderAndTheBreakApart) {
    auto line = std::make_shared<FakeLine>();
    auto d = attached(line, 4096);
    line->setLineErrors(platform::kCeFrame | platform::kCeOverrun | platform::kCeBreak);
    d->RefreshDeviceStatus();
    EXPECT_EQ(d->ReadLineError(), 2);  // overrun before framing
    EXPECT_EQ(d->ReadLineError(), 9);  // the four error bits went at once; the break stays
    EXPECT_TRUE(d->ReadLineBreak());
    EXPECT_FALSE(d->ReadLineBreak());
    EXPECT_EQ(d->ReadLineError(), 0);
    line->setLineErrors(platform::kCeRxParity);
    d->RefreshDeviceStatus();
    ASSERT_EQ(d->WriteBlock("x", 1), 0);  // its status look must not wipe what was kept
    EXPECT_EQ(d->ReadLineError(), 3);
}

TEST(ModemLines, ALineTogglingBetweenTwoLooksLeavesNoTrace) {
    auto line = std::make_shared<FakeLine>();
    auto d = attached(line, 4096);
    line->setModemLines(platform::kMsCtsOn);
    d->RefreshModemStatus();
    EXPECT_EQ(d->ModemStatusByte(), 0x11);  // CTS and its change bit
    d->ReadModemStatus(0xF0);
    line->setModemLines(0);
    line->setModemLines(platform::kMsCtsOn);
    d->RefreshModemStatus();
    EXPECT_EQ(d->ModemStatusByte(), 0x10);
}

TEST(Dispatcher, NeverOpenedMakesNoDeviceCall) {
    int opens = 0;
    platform::ScopedSerialDeviceOpener guard(
        [&](const std::string&, int& err) -> std::unique_ptr<platform::SerialDevice> {
            ++opens;
            err = 2;
            return nullptr;
        });
    { TWin32Dispatcher d(nullptr); }
    EXPECT_EQ(opens, 0);
}

class OpenDispatcher : public ::testing::Test {
protected:
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    PortMap map{{{40, "/fake/com40"}}};
    platform::ScopedSerialDeviceOpener opener{platform::fakeOpener({{"/fake/com40", line}})};
    UiQueue ui;
};

TEST_F(OpenDispatcher, OpenErrorsCarryTheSystemError) {
    struct Case {
        int sysError;
        int code;
    };
    for (auto c : {Case{2, -2}, Case{5, -5}, Case{8, -8}, Case{13, -13}}) {
        line->setOpenError(c.sysError);
        TWin32Dispatcher d(nullptr);
        EXPECT_EQ(d.OpenDevice("\\\\.\\COM40", 19200, 0, 8, 1, 4096, 4096, 3), c.code);
        EXPECT_FALSE(d.WorkersActive());
        EXPECT_FALSE(d.RingsAllocated());
    }
    line->setOpenError(0);
    TWin32Dispatcher d(nullptr);
    EXPECT_EQ(d.OpenDevice("\\\\.\\COM41", 19200, 0, 8, 1, 4096, 4096, 3), -2);
}

TEST_F(OpenDispatcher, RefusedLineSettingsCloseTheDevice) {
    line->setSetStateResult(-87);
    TWin32Dispatcher d(nullptr);
    EXPECT_EQ(d.OpenDevice("\\\\.\\COM40", 115200, 0, 8, 1, 4096, 4096, 3), -87);
    EXPECT_FALSE(line->isOpen());
    EXPECT_FALSE(d.WorkersActive());
}

TEST_F(OpenDispatcher, OptionsRaiseTheLinesUnlessHardwareDrivesThem) {
    {
        TWin32Dispatcher d(nullptr);
        ASSERT_EQ(d.OpenDevice("\\\\.\\COM40", 115200, 0, 8, 1, 4096, 4096, 0x03), 0);
        auto e = line->escapes();
        ASSERT_GE(e.size(), 2u);
        EXPECT_EQ(e[0], platform::kSetDtr);
        EXPECT_EQ(e[1], platform::kSetRts);
        EXPECT_EQ(line->state().dtrControl, platform::kDtrControlEnable);
    }
    auto line2 = std::make_shared<FakeLine>();
    platform::ScopedSerialDeviceOpener o2(platform::fakeOpener({{"/fake/com40", line2}}));
    TWin32Dispatcher d(nullptr);
    ASSERT_EQ(d.OpenDevice("\\\\.\\COM40", 115200, 0, 8, 1, 4096, 4096, 0x10 | 0x02), 0);
    for (int f : line2->escapes()) {
        EXPECT_NE(f, platform::kSetDtr);
        EXPECT_NE(f, platform::kClrDtr);
    }
}

TEST_F(OpenDispatcher, DataFlowsThroughTheWorkers) {
    TWin32Dispatcher d(nullptr);
    ASSERT_EQ(d.OpenDevice("\\\\.\\COM40", 115200, 0, 8, 1, 4096, 4096, 3), 0);
    EXPECT_TRUE(d.WorkersActive());
    EXPECT_EQ(d.ThreadCount(), 3);
    ASSERT_EQ(d.WriteBlock("AT\r", 3), 0);
    line->send("OK\r\n");
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((d.InputCount() < 4 || line->received().size() < 3) &&
           std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    auto sent = line->received();
    EXPECT_EQ(std::string(sent.begin(), sent.end()), "AT\r");
    EXPECT_EQ(readAll(d), "OK\r\n");
    EXPECT_THROW(d.StartWorkers(), std::exception);  // "Dispatcher already started"
}

TEST_F(OpenDispatcher, ExactlyTheFreeRoomFillsTheRing) {
    line->holdWrites(true);
    TWin32Dispatcher d(nullptr);
    ASSERT_EQ(d.OpenDevice("\\\\.\\COM40", 115200, 0, 8, 1, 4096, 256, 3), 0);
    std::string block(256, 'z');
    ASSERT_EQ(d.WriteBlock(block.data(), 256), 0);
    EXPECT_EQ(d.OutputCount(), 256u);
    EXPECT_EQ(d.OutputFree(), 0u);
    EXPECT_EQ(d.WriteBlock("x", 1), kErrOutputTooSmall);
    // A flush abandons the pending write: the ring is empty again.
    EXPECT_EQ(d.FlushOutput(), 0);
    EXPECT_EQ(d.OutputCount(), 0u);
    line->holdWrites(false);
}

TEST_F(OpenDispatcher, AThreadThatCannotStartFailsTheOpenAndLeavesNothingRunning) {
    struct FailingSecondStart : TWin32Dispatcher {
        using TWin32Dispatcher::TWin32Dispatcher;
        void startThread(TDispatcherThread& t) override {
            if (++starts == 2) {
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            TWin32Dispatcher::startThread(t);
        }
        int starts = 0;
    };
    FailingSecondStart d(nullptr);
    EXPECT_EQ(d.OpenDevice("\\\\.\\COM40", 115200, 0, 8, 1, 4096, 4096, 3), -8);
    EXPECT_EQ(d.ThreadCount(), 0);
    EXPECT_FALSE(d.WorkersActive());
    EXPECT_FALSE(d.RingsAllocated());
    EXPECT_FALSE(line->isOpen());
}

TEST_F(OpenDispatcher, AFlushStopsTheOutputAtOnceAndNoStaleByteFollows) {
    line->setWriteChunk(1);  // a device that keeps taking bytes, one at a time
    TWin32Dispatcher d(nullptr);
    ASSERT_EQ(d.OpenDevice("\\\\.\\COM40", 115200, 0, 8, 1, 4096, 4096, 3), 0);
    for (int round = 0; round < 5; ++round) {
        std::string block(4000, char('a' + round));
        ASSERT_EQ(d.WriteBlock(block.data(), uint32_t(block.size())), 0);
        ASSERT_EQ(d.FlushOutput(), 0);
        size_t atFlush = line->received().size();
        EXPECT_EQ(d.OutputCount(), 0u);
        ASSERT_EQ(d.WriteBlock("NEW", 3), 0);
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (line->received().size() < atFlush + 3 && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        auto sent = line->received();
        ASSERT_EQ(std::string(sent.begin() + long(atFlush), sent.end()), "NEW") << round;
    }
}

TEST_F(OpenDispatcher, DeferredCloseKeepsTheRingsUntilTheWorkersHaveGone) {
    TWin32Dispatcher d(nullptr);
    ASSERT_EQ(d.OpenDevice("\\\\.\\COM40", 115200, 0, 8, 1, 4096, 4096, 3), 0);
    d.ExchangeDeliveryBusy(true);
    d.CloseDevice();
    EXPECT_TRUE(d.CloseDeferred());
    EXPECT_FALSE(line->isOpen());
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (d.WorkersActive() && std::chrono::steady_clock::now() < end) {
        pumpWhileWaiting();
    }
    EXPECT_FALSE(d.WorkersActive());
    EXPECT_EQ(d.ThreadCount(), 0);
    EXPECT_FALSE(d.RingsAllocated());
}

TEST_F(OpenDispatcher, AHangUpIsPostedToTheWindowAndWritesFail) {
    TWin32Dispatcher d(nullptr);
    ASSERT_EQ(d.OpenDevice("\\\\.\\COM40", 115200, 0, 8, 1, 4096, 4096, 3), 0);
    std::vector<platform::Message> told;
    platform::HandlerId window = ui.queue().addHandler([&](const platform::Message& m) {
        told.push_back(m);
        return intptr_t(0);
    });
    d.AddWindowHandler(window);
    line->send("ab");
    line->hangUp();
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((told.empty() || d.InputCount() < 2) && std::chrono::steady_clock::now() < end) {
        ui.queue().waitAndPumpOne(1);
    }
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].msg, MsgDeviceGone);
    EXPECT_EQ(uint32_t(told[0].lParam >> 16), d.DispatcherHandle());
    EXPECT_TRUE(d.DeviceGone());
    EXPECT_EQ(readAll(d), "ab");  // what came before the hang-up is kept
    EXPECT_EQ(d.WriteBlock("lost", 4), -1617);
    EXPECT_EQ(d.OutputCount(), 0u);
    // A window registered after the hang-up hears of it as well.
    d.RemoveWindowHandler(window);
    d.AddWindowHandler(window);
    ui.queue().pumpAll();
    EXPECT_EQ(told.size(), 2u);
    d.RemoveWindowHandler(window);
    ui.queue().removeHandler(window);
}

}  // namespace testing
}  // namespace serial
