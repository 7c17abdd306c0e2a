#include "serial/com_port.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/fake_serial_device.h"
#include "serial/dispatcher.h"
#include "serial/exception_display.h"
#include "serial/port_prompt.h"
#include "serial/serial_exceptions.h"
#include "serial/tests/serial_test_support.h"

namespace serial::testing {

using platform::FakeLine;

TEST(ComPort, Defaults) {
    TComPort p;
    EXPECT_EQ(p.Baud(), 19200);
    EXPECT_EQ(p.Parity(), pNone);
    EXPECT_EQ(p.DataBits(), 8);
    EXPECT_EQ(p.StopBits(), 1);
    EXPECT_EQ(p.InSize(), 4096);
    EXPECT_EQ(p.OutSize(), 4096);
    EXPECT_TRUE(p.AutoOpen());
    EXPECT_FALSE(p.Open());
    EXPECT_TRUE(p.DTR());
    EXPECT_TRUE(p.RTS());
    EXPECT_EQ(p.XOnChar(), 17);
    EXPECT_EQ(p.XOffChar(), 19);
    EXPECT_EQ(p.TraceSize(), 10000u);
    EXPECT_EQ(p.LogSize(), 10000u);
    EXPECT_EQ(p.CommNotificationLevel(), 10);
    EXPECT_EQ(p.TapiMode(), tmAuto);
    EXPECT_EQ(p.Version(), "v4.06");
    EXPECT_EQ(p.ComNumber(), 0);
    EXPECT_TRUE(p.PromptForPort());
    EXPECT_EQ(p.DeviceLayer(), dlWin32);
    EXPECT_EQ(p.LifeState(), PortLifeState::Closed);
    p.SetDeviceLayer(dlWinsock);  // not supported: ignored
    EXPECT_EQ(p.DeviceLayer(), dlWin32);
}

class FakePort : public ::testing::Test {
protected:
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    PortMap map{{{40, "/fake/com40"}}};
    platform::ScopedSerialDeviceOpener opener{platform::fakeOpener({{"/fake/com40", line}})};
    UiQueue ui;
    std::vector<std::string> events;

    void watch(TComPort& p) {
        p.OnPortOpen = [this](TCustomComPort&) { events.push_back("open"); };
        p.OnPortClose = [this](TCustomComPort&) { events.push_back("close"); };
    }
};

// Runs f and gives back the ESerialException it raised (fails when it raised none).
template <class F>
std::pair<int32_t, std::string> raised(F f) {
    try {
        f();
    } catch (const ESerialException& e) {
        return {e.ErrorCode, e.Message()};
    }
    ADD_FAILURE() << "nothing raised";
    return {0, ""};
}

TEST_F(FakePort, OpenFailuresRaiseAndLeaveThePortClosed) {
    struct Case {
        int sysError;
        int32_t code;
    };
    for (auto c : {Case{2, -2001}, Case{5, -2008}, Case{1617, -1617}}) {
        line->setOpenError(c.sysError);
        TComPort p;
        watch(p);
        p.SetComNumber(40);
        auto [code, message] = raised([&] { p.SetOpen(true); });
        EXPECT_EQ(code, c.code);
        EXPECT_FALSE(p.Open());
        EXPECT_EQ(p.LifeState(), PortLifeState::Closed);
        EXPECT_EQ(p.Dispatcher(), nullptr);
    }
    EXPECT_TRUE(events.empty());  // neither notification fires

    line->setOpenError(8);
    TComPort p;
    p.SetComNumber(40);
    EXPECT_THROW(p.SetOpen(true), EOutOfMemory);

    line->setOpenError(0);
    line->setSetStateResult(-87);  // settings the driver refuses
    p.SetBaud(115200);
    try {
        p.SetOpen(true);
        ADD_FAILURE();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 87);
        EXPECT_EQ(e.Message(), "The parameter is incorrect.");
    }
    EXPECT_FALSE(line->isOpen());
}

TEST_F(FakePort, NoPortNumberWithoutPromptRaises) {
    TComPort p;
    p.SetPromptForPort(false);
    auto [code, message] = raised([&] { p.SetOpen(true); });
    EXPECT_EQ(code, -2011);
    EXPECT_EQ(message, "The ComNumber property of the TComPort has not been set");
    EXPECT_EQ(p.LifeState(), PortLifeState::Closed);
    // The plain prompt answers "no port": the same error.
    p.SetPromptForPort(true);
    EXPECT_THROW(p.SetOpen(true), ENoPortSelected);
    // With a prompt that chooses, the chosen port is taken.
    struct Choose40 : PortPrompt {
        std::optional<uint16_t> ChoosePort() override { return 40; }
    } choose40;
    setPortPrompt(&choose40);
    p.SetOpen(true);
    EXPECT_EQ(p.ComNumber(), 40);
    EXPECT_TRUE(p.Open());
    p.SetOpen(false);
    setPortPrompt(nullptr);
}

TEST_F(FakePort, DataOperationsOnAClosedPort) {
    TComPort p;
    watch(p);
    p.SetComNumber(40);
    p.SetAutoOpen(false);
    EXPECT_EQ(raised([&] { p.WriteText("AT\r"); }).first, -2007);
    EXPECT_EQ(raised([&] { p.ReadChar(); }).first, -2007);
    EXPECT_EQ(raised([&] { p.CharAvailable(); }).first, -2007);
    EXPECT_EQ(raised([&] { p.WaitForText("OK", 1, false, false); }).first, -2007);
    EXPECT_TRUE(events.empty());

    p.SetAutoOpen(true);
    bool availableInsideOpen = true;
    p.OnPortOpen = [&](TCustomComPort& port) {
        events.push_back("open");
        availableInsideOpen = port.CharAvailable();
    };
    EXPECT_FALSE(p.CharAvailable());  // opens the port first
    EXPECT_TRUE(p.Open());
    EXPECT_EQ(events, std::vector<std::string>{"open"});
    EXPECT_FALSE(availableInsideOpen);
}

TEST_F(FakePort, EmptyBufferAndFullOutputRing) {
    line->holdWrites(true);
    TComPort p;
    p.SetComNumber(40);
    p.SetOpen(true);
    EXPECT_FALSE(p.CharAvailable());
    auto [code, message] = raised([&] { p.ReadChar(); });
    EXPECT_EQ(code, -3007);
    EXPECT_EQ(message, "Buffer is empty");

    auto [code2, message2] = raised([&] { p.WriteText(std::string(4097, 'x')); });
    EXPECT_EQ(code2, -3006);
    EXPECT_EQ(message2, "Output buffer too small for block");
    EXPECT_EQ(p.Dispatcher()->OutputCount(), 0u);
    p.WriteText(std::string(4096, 'y'));
    EXPECT_EQ(p.Dispatcher()->OutputFree(), 0u);
    p.WriteText("");  // nothing to queue: no error
    p.SetOpen(false);
    EXPECT_TRUE(line->received().empty());  // the close discarded what waited
}

TEST_F(FakePort, SettersWhileOpen) {
    TComPort p;
    watch(p);
    p.SetComNumber(40);
    p.SetBaud(115200);
    p.SetOpen(true);
    int writes = line->setStateCalls();
    p.SetBaud(115200);  // the same value: no device call
    EXPECT_EQ(line->setStateCalls(), writes);
    p.SetBaud(9600);
    EXPECT_EQ(line->state().baud, 9600u);
    line->setSetStateResult(-87);
    EXPECT_THROW(p.SetBaud(57600), EInOutError);
    EXPECT_EQ(p.Baud(), 57600);  // stays stored
    EXPECT_EQ(line->state().baud, 9600u);
    line->setSetStateResult(0);
    p.SetOpen(false);
    p.SetOpen(false);  // already closed: no second notification
    EXPECT_EQ(events, (std::vector<std::string>{"open", "close"}));
}

TEST_F(FakePort, ClosingInsideTheOpenNotification) {
    TComPort p;
    p.SetComNumber(40);
    p.OnPortOpen = [&](TCustomComPort& port) {
        events.push_back("open");
        port.SetOpen(false);
        events.push_back(port.Open() ? "still open" : "closed");
    };
    p.OnPortClose = [&](TCustomComPort&) { events.push_back("close"); };
    p.SetOpen(true);
    EXPECT_FALSE(p.Open());
    EXPECT_EQ(p.LifeState(), PortLifeState::Closed);
    EXPECT_EQ(events, (std::vector<std::string>{"open", "close", "closed"}));
    EXPECT_FALSE(line->isOpen());
}

TEST_F(FakePort, AnExceptionFromTheOpenNotificationUndoesTheOpen) {
    TComPort p;
    watch(p);
    p.SetComNumber(40);
    p.OnPortOpen = [](TCustomComPort&) { throw ECommNotOpen(-2007); };
    EXPECT_THROW(p.SetOpen(true), ECommNotOpen);
    EXPECT_FALSE(p.Open());
    EXPECT_EQ(p.LifeState(), PortLifeState::Closed);
    EXPECT_EQ(p.Dispatcher(), nullptr);
    EXPECT_FALSE(line->isOpen());
    EXPECT_TRUE(events.empty());
}

TEST_F(FakePort, ChangingThePortWhileOpenKeepsTheTriggers) {
    auto other = std::make_shared<FakeLine>();
    PortMap both{{{40, "/fake/com40"}, {41, "/fake/com41"}}};
    platform::ScopedSerialDeviceOpener o(
        platform::fakeOpener({{"/fake/com40", line}, {"/fake/com41", other}}));
    TComPort p;
    watch(p);
    p.SetComNumber(40);
    p.SetOpen(true);
    p.Dispatcher()->SetAvailThreshold(7);
    p.SetComNumber(41);
    EXPECT_EQ(events, (std::vector<std::string>{"open", "close", "open"}));
    EXPECT_TRUE(other->isOpen());
    EXPECT_FALSE(line->isOpen());
    EXPECT_EQ(p.Dispatcher()->AvailThreshold(), 7u);
}

TEST_F(FakePort, OpenAfterLoading) {
    TComPort p;
    watch(p);
    p.BeginLoading();
    p.SetComNumber(40);
    p.SetOpen(true);  // only stored while loading
    EXPECT_TRUE(events.empty());
    p.Loaded();
    EXPECT_EQ(p.LifeState(), PortLifeState::Opened);
    EXPECT_EQ(events, std::vector<std::string>{"open"});

    // A failing open after loading is shown, not raised.
    std::string shown;
    setExceptionDisplay([&](const std::exception& e) { shown = e.what(); });
    TComPort q;
    q.BeginLoading();
    q.SetComNumber(41);
    q.SetOpen(true);
    q.Loaded();
    setExceptionDisplay(nullptr);
    EXPECT_FALSE(q.Open());
    EXPECT_EQ(shown, "ie_BadId - Specified comport doesn't exist");
}

}  // namespace serial::testing

namespace serial::testing {

TEST(ComPortWithoutWindow, ADeferredCloseCompletes) {
    auto line = std::make_shared<FakeLine>();
    PortMap map{{{40, "/fake/com40"}}};
    platform::ScopedSerialDeviceOpener opener{platform::fakeOpener({{"/fake/com40", line}})};
    TComPort p;  // no message queue: no port window
    p.SetComNumber(40);
    p.SetAutoOpen(false);
    p.SetOpen(true);
    ASSERT_EQ(p.PortWindow(), platform::kNoHandler);
    int closes = 0;
    p.OnPortClose = [&](TCustomComPort&) { ++closes; };
    p.Dispatcher()->ExchangeDeliveryBusy(true);  // as inside a text wait
    p.SetOpen(false);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(p.LifeState(), PortLifeState::Closed);
    EXPECT_FALSE(p.Open());
    EXPECT_EQ(p.Dispatcher(), nullptr);
    EXPECT_FALSE(line->isOpen());
}

TEST_F(FakePort, AHangUpClosesThePortAsTheProgramWould) {
    TComPort p;
    watch(p);
    p.SetComNumber(40);
    p.SetAutoOpen(false);
    p.SetOpen(true);
    line->hangUp();
    for (int i = 0; i < 5000 && p.Open(); ++i) {
        ui.queue().waitAndPumpOne(1);
    }
    EXPECT_FALSE(p.Open());
    EXPECT_EQ(p.LifeState(), PortLifeState::Closed);
    EXPECT_EQ(events, (std::vector<std::string>{"open", "close"}));
    EXPECT_FALSE(line->isOpen());
    EXPECT_THROW(p.WriteText("AT\r"), ECommNotOpen);
}

}  // namespace serial::testing
