// Modem lines, the modem status byte and the line errors of an open port.

#include "serial/dispatcher.h"

#include <functional>

#include "platform/serial_device.h"

namespace serial {

using platform::DeviceState;

int TBaseDispatcher::SetDtrLine(bool on) {
    std::lock_guard state(m_stateLock);
    if (m_dtrHandshake) {
        return 1;
    }
    int r = DeviceEscape(on ? platform::kSetDtr : platform::kClrDtr);
    m_dtrLevel = on;
    return r < 0 ? kErrBadArgument : r;
}

int TBaseDispatcher::SetRtsLine(bool on) {
    std::lock_guard state(m_stateLock);
    if (m_rtsHandshake) {
        return 1;
    }
    int r = DeviceEscape(on ? platform::kSetRts : platform::kClrRts);
    m_rtsLevel = on;
    return r < 0 ? kErrBadArgument : r;
}

int TBaseDispatcher::ApplyDeviceState(DeviceState& s) {
    std::lock_guard state(m_stateLock);
    if (!m_dtrHandshake) {
        s.dtrControl = m_dtrLevel ? platform::kDtrControlEnable : platform::kDtrControlDisable;
    }
    if (!m_rtsHandshake) {
        s.rtsControl = m_rtsLevel ? platform::kRtsControlEnable : platform::kRtsControlDisable;
    }
    int r = DeviceSetState(s);
    m_appliedBaud = s.baud;
    SetDtrLine(m_dtrLevel);
    if (!m_rs485Active) {
        SetRtsLine(m_rtsLevel);
    }
    return r;
}

int TBaseDispatcher::applyFlow(const std::function<void(DeviceState&)>& change) {
    std::lock_guard state(m_stateLock);
    DeviceState s;
    if (DeviceGetState(s) != 0) {
        s = m_deviceSettings;
    }
    const bool dtrHandshake = m_dtrHandshake;
    const bool rtsHandshake = m_rtsHandshake;
    change(s);
    int r = ApplyDeviceState(s);
    if (r < 0) {
        // Refused: the device keeps its settings, and so does the dispatcher.
        m_dtrHandshake = dtrHandshake;
        m_rtsHandshake = rtsHandshake;
        return r;
    }
    m_deviceSettings = s;
    return r;
}

int TBaseDispatcher::SetHardwareFlow(uint32_t full, uint32_t resume, uint32_t options) {
    std::lock_guard state(m_stateLock);
    if (full < resume || full > m_inQueueSize) {
        return kErrBadArgument;
    }
    return applyFlow([&](DeviceState& s) {
        s.outxCtsFlow = s.outxDsrFlow = false;
        s.dtrControl = platform::kDtrControlDisable;
        s.rtsControl = platform::kRtsControlDisable;
        m_dtrHandshake = m_rtsHandshake = false;
        if (options & kFlowUseDtr) {
            s.dtrControl = platform::kDtrControlHandshake;
            m_dtrHandshake = true;
        } else if (m_dtrLevel) {
            s.dtrControl = platform::kDtrControlEnable;
        }
        if (options & kFlowUseRts) {
            s.rtsControl = platform::kRtsControlHandshake;
            m_rtsHandshake = true;
        } else if (m_rtsLevel) {
            s.rtsControl = platform::kRtsControlEnable;
        }
        if (m_rs485Active) {
            // The driver raises RTS while it sends (the kernel's RS-485 mode).
            s.rtsControl = platform::kRtsControlToggle;
            m_rtsHandshake = true;
        }
        // Kept for the record: the Linux driver keeps its own limits for both.
        s.xoffLim = uint16_t(m_inQueueSize - full);
        s.xonLim = uint16_t(resume);
        s.outxDsrFlow = (options & kFlowRequireDsr) != 0;
        s.outxCtsFlow = (options & kFlowRequireCts) != 0;
    });
}

int TBaseDispatcher::SetSoftwareFlow(uint32_t full, uint32_t resume, uint32_t options) {
    std::lock_guard state(m_stateLock);
    if (full < resume || full > m_inQueueSize) {
        return kErrBadArgument;
    }
    return applyFlow([&](DeviceState& s) {
        if (options & kFlowReceive) {
            s.inX = true;
            s.xoffLim = uint16_t(m_inQueueSize - full);
            s.xonLim = uint16_t(resume);
            s.xonChar = 17;
            s.xoffChar = 19;
        }
        if (options & kFlowTransmit) {
            s.outX = true;
            s.xonChar = 17;
            s.xoffChar = 19;
        }
    });
}

int TBaseDispatcher::StopSoftwareFlow() {
    return applyFlow([](DeviceState& s) { s.outX = s.inX = false; });
}

int TBaseDispatcher::SetFlowChars(uint8_t xon, uint8_t xoff) {
    return applyFlow([&](DeviceState& s) {
        s.xonChar = xon;
        s.xoffChar = xoff;
    });
}

int TBaseDispatcher::SetRs485(bool on) {
    std::lock_guard state(m_stateLock);
    int r = m_device ? m_device->setRs485(on) : 0;
    if (r < 0 && on) {
        // The driver has no RS-485 mode: nothing would drive RTS around the writes.
        return kErrBaseAddressNotSet;
    }
    m_rs485Active = on;
    return 0;
}

uint8_t TBaseDispatcher::ReadModemStatus(uint8_t keepMask) {
    uint32_t lines = 0;
    if (m_device && m_deviceOpen.load()) {
        m_device->modemStatus(lines);
    }
    std::lock_guard state(m_stateLock);
    uint8_t b = uint8_t((lines & 0xF0) | (m_modemStatusByte & 0x0F));
    if (m_ringLatch.exchange(false)) {
        b |= 0x04;  // TERI
    }
    m_modemStatusByte = uint8_t(b & keepMask);
    return b;
}

void TBaseDispatcher::RefreshModemStatus() {
    uint8_t old = ModemStatusByte();
    uint8_t now = ReadModemStatus(0xFF);
    std::lock_guard state(m_stateLock);
    m_modemStatusByte = uint8_t(now | (((now ^ old) & 0xF0) >> 4));
}

uint8_t TBaseDispatcher::ModemStatusByte() {
    std::lock_guard state(m_stateLock);
    return m_modemStatusByte;
}

uint16_t TBaseDispatcher::ReadLineError() {
    static constexpr struct {
        uint32_t bit;
        uint16_t code;
    } kCodes[] = {{platform::kCeRxOver, 1},
                  {platform::kCeOverrun, 2},
                  {platform::kCeRxParity, 3},
                  {platform::kCeFrame, 4},
                  {platform::kCeBreak, 9}};
    std::lock_guard state(m_stateLock);
    // The dispatcher thread ORs new bits in without the lock: read and clear in one
    // atomic step, or a bit arriving in between would be cleared unseen.
    uint32_t f = m_lineErrorFlags.load();
    for (;;) {
        uint16_t code = 0;
        for (const auto& c : kCodes) {
            if (f & c.bit) {
                code = c.code;
                break;
            }
        }
        if (code == 0) {
            return 0;
        }
        if (m_lineErrorFlags.compare_exchange_weak(f, f & ~0x0Fu)) {
            return code;
        }
    }
}

bool TBaseDispatcher::ReadLineBreak() {
    std::lock_guard state(m_stateLock);
    return (m_lineErrorFlags.fetch_and(~platform::kCeBreak) & platform::kCeBreak) != 0;
}

}  // namespace serial
