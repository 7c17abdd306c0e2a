// Flow control and modem lines: the component's rules on a fake device, and the termios
// flags on a pseudo-terminal.

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <vector>

#include "platform/fake_serial_device.h"
#include "platform/tests/pty_pair.h"
#include "serial/com_port.h"
#include "serial/dispatcher.h"
#include "serial/serial_exceptions.h"
#include "serial/tests/serial_test_support.h"

namespace serial::testing {

using platform::FakeLine;

class Flow : public ::testing::Test {
protected:
    void SetUp() override {
        port.SetComNumber(40);
        port.SetAutoOpen(false);
    }
    void open() {
        port.SetOpen(true);
        ASSERT_TRUE(port.Open());
    }
    platform::DeviceState device() const { return line->state(); }

    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    PortMap map{{{40, "/fake/com40"}}};
    platform::ScopedSerialDeviceOpener opener{platform::fakeOpener({{"/fake/com40", line}})};
    UiQueue ui;
    TComPort port;
};

TEST_F(Flow, DtrUnderDtrHandshakingStaysWithTheDriver) {
    port.SetHWFlowOptions(hwfUseDTR);
    open();
    EXPECT_EQ(device().dtrControl, platform::kDtrControlHandshake);
    size_t escapes = line->escapes().size();
    port.SetDTR(false);
    EXPECT_TRUE(port.DTR());
    EXPECT_EQ(line->escapes().size(), escapes);  // the line was left alone
    EXPECT_EQ(port.BufferFull(), 3686);          // 0.9 and 0.1 of InSize 4096
    EXPECT_EQ(port.BufferResume(), 409);
}

TEST_F(Flow, SoftwareFlowBothWaysOnAnOpenPort) {
    open();
    port.SetSWFlowOptions(swfBoth);
    EXPECT_EQ(port.BufferFull(), 3072);
    EXPECT_EQ(port.BufferResume(), 1024);
    auto s = device();
    EXPECT_EQ(s.xoffLim, 1024);
    EXPECT_EQ(s.xonLim, 1024);
    EXPECT_TRUE(s.outX);
    EXPECT_TRUE(s.inX);
    port.SetXOnChar(0x11 + 1);
    EXPECT_EQ(device().xonChar, 0x12);
    port.SetSWFlowOptions(swfNone);
    EXPECT_FALSE(device().outX);
    EXPECT_FALSE(device().inX);
}

TEST_F(Flow, CtsFlowSwitchesRs485Off) {
    open();
    port.SetRS485Mode(true);
    EXPECT_TRUE(line->rs485());
    EXPECT_FALSE(port.RTS());  // RTS is the transmitter's now
    port.SetHWFlowOptions(hwfRequireCTS);
    EXPECT_FALSE(port.RS485Mode());
    EXPECT_FALSE(line->rs485());
    EXPECT_TRUE(device().outxCtsFlow);
    EXPECT_FALSE(port.Dispatcher()->Rs485Active());
}

TEST_F(Flow, RefusedSettingsRaiseAndKeepTheOldValue) {
    open();
    port.SetBufferResume(100);
    port.SetBufferFull(50);  // below resume: refused once flow control is on
    EXPECT_THROW(port.SetHWFlowOptions(hwfRequireCTS), EBadArgument);
    EXPECT_EQ(port.HWFlowOptions(), 0);
    EXPECT_FALSE(device().outxCtsFlow);

    line->setRs485Supported(false);
    try {
        port.SetRS485Mode(true);
        ADD_FAILURE();
    } catch (const EBaseAddressNotSet& e) {
        EXPECT_EQ(e.ErrorCode, -3010);
    }
    EXPECT_FALSE(port.RS485Mode());
}

TEST_F(Flow, UnchangedThresholdsWriteNothingToTheDevice) {
    open();
    port.SetSWFlowOptions(swfBoth);
    const int before = line->setStateCalls();
    port.SetBufferFull(port.BufferFull());
    port.SetBufferResume(port.BufferResume());
    EXPECT_EQ(line->setStateCalls(), before);

    port.SetBufferResume(port.BufferFull() + 1);  // above BufferFull: a tenth of it
    EXPECT_EQ(port.BufferResume(), 307);
    const int changed = line->setStateCalls();
    EXPECT_GT(changed, before);
    port.SetBufferResume(port.BufferFull() + 1);  // the same tenth again
    EXPECT_EQ(line->setStateCalls(), changed);

    port.SetBufferFull(3000);
    EXPECT_GT(line->setStateCalls(), changed);
    EXPECT_EQ(device().xoffLim, 4096 - 3000);
}

TEST_F(Flow, Rs485ModeIsStoredBeforeTheDeviceHearsOfIt) {
    open();
    std::vector<bool> seen;
    line->onRs485Request([&](bool) { seen.push_back(port.RS485Mode()); });
    port.SetRS485Mode(true);
    port.SetRS485Mode(false);
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST_F(Flow, StoredWhileClosedAndAppliedAtOpen) {
    port.SetSWFlowOptions(swfReceive);
    port.SetXOffChar(0x93);
    EXPECT_EQ(line->setStateCalls(), 0);
    open();
    auto s = device();
    EXPECT_TRUE(s.inX);
    EXPECT_FALSE(s.outX);
    EXPECT_EQ(s.xoffChar, 0x93);  // the port's characters come after the flow defaults
    EXPECT_EQ(s.xonChar, 17);
}

// The modem status byte: lines and change bits, as the dispatcher thread keeps them.
TEST_F(Flow, ModemLinesAndTheirChangeBits) {
    open();
    TBaseDispatcher* d = port.Dispatcher();
    auto settle = [&](uint8_t want) {
        for (int i = 0; i < 5000 && d->ModemStatusByte() != want; ++i) {
            ui.queue().waitAndPumpOne(1);
        }
        return d->ModemStatusByte();
    };
    line->setModemLines(platform::kMsCtsOn | platform::kMsRlsdOn);
    EXPECT_EQ(settle(0x10 | 0x80 | 0x01 | 0x08), 0x99);  // CTS, DCD and their change bits
    // Read as a status trigger does: the change bits go.
    EXPECT_EQ(d->ReadModemStatus(0xF0), 0x99);
    EXPECT_EQ(d->ModemStatusByte(), 0x90);
}

TEST(FlowOnAPseudoTerminal, TheTermiosFlagsReachTheDevice) {
    platform::testing::PtyPair pty;
    ASSERT_TRUE(pty.ok());
    PortMap map{{{5, pty.path()}}};
    UiQueue ui;
    TComPort port;
    port.SetComNumber(5);
    port.SetAutoOpen(false);
    port.SetOpen(true);
    port.SetSWFlowOptions(swfBoth);
    port.SetXOnChar(0x01);
    port.SetXOffChar(0x02);
    port.SetHWFlowOptions(hwfUseRTS | hwfRequireCTS);
    termios t{};
    ASSERT_EQ(tcgetattr(pty.master(), &t), 0);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_EQ(t.c_cc[VSTART], 0x01);
    EXPECT_EQ(t.c_cc[VSTOP], 0x02);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    // DTR/DSR handshaking has no driver support: refused with a clear error.
    try {
        port.SetHWFlowOptions(hwfUseDTR);
        ADD_FAILURE();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 50);
        EXPECT_EQ(e.Message(), "The request is not supported.");
    }
    EXPECT_EQ(port.HWFlowOptions(), hwfUseRTS | hwfRequireCTS);
    port.SetSWFlowOptions(swfNone);
    port.SetHWFlowOptions(0);
    ASSERT_EQ(tcgetattr(pty.master(), &t), 0);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
}

}  // namespace serial::testing
