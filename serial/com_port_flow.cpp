// The flow-control settings of the port component: hardware and software flow control,
// their thresholds and characters, and RS-485 mode.

#include "serial/com_port.h"
#include "serial/dispatcher.h"

namespace serial {

void TCustomComPort::defaultThresholds(double full, double resume) {
    if (m_bufferFull == 0 || m_bufferFull > m_inSize) {
        m_bufferFull = uint16_t(m_inSize * full);
    }
    if (m_bufferResume == 0 || m_bufferResume > m_bufferFull) {
        m_bufferResume = uint16_t(m_inSize * resume);
    }
}

void TCustomComPort::SetHWFlowOptions(THWFlowOptionSet value) {
    if (value == m_hwFlowOptions && !m_forceApply) {
        return;
    }
    // The option bits are the dispatcher's (1 use DTR, 2 use RTS, 4 DSR, 8 CTS).
    const uint32_t options = value & (hwfUseDTR | hwfUseRTS | hwfRequireDSR | hwfRequireCTS);
    if (options != 0) {
        defaultThresholds(0.9, 0.1);
    }
    if (m_lifeState == PortLifeState::Opened) {
        CheckResult(m_dispatcher->SetHardwareFlow(m_bufferFull, m_bufferResume, options));
    }
    m_hwFlowOptions = value;
    if (value & (hwfUseRTS | hwfRequireCTS)) {
        SetRS485Mode(false);
    }
}

void TCustomComPort::SetSWFlowOptions(TSWFlowOptions value) {
    if (value == m_swFlowOptions && !m_forceApply) {
        return;
    }
    static constexpr uint32_t kOptions[] = {0, kFlowReceive, kFlowTransmit,
                                            kFlowReceive | kFlowTransmit};
    const uint32_t options = kOptions[value];
    if (options != 0) {
        defaultThresholds(0.75, 0.25);
    }
    if (m_lifeState == PortLifeState::Opened) {
        CheckResult(options != 0
                        ? m_dispatcher->SetSoftwareFlow(m_bufferFull, m_bufferResume, options)
                        : m_dispatcher->StopSoftwareFlow());
    }
    m_swFlowOptions = value;
}

void TCustomComPort::SetXOnChar(uint8_t value) {
    if (value == m_xonChar && !m_forceApply) {
        return;
    }
    m_xonChar = value;
    if (m_lifeState == PortLifeState::Opened) {
        CheckResult(m_dispatcher->SetFlowChars(m_xonChar, m_xoffChar));
    }
}

void TCustomComPort::SetXOffChar(uint8_t value) {
    if (value == m_xoffChar && !m_forceApply) {
        return;
    }
    m_xoffChar = value;
    if (m_lifeState == PortLifeState::Opened) {
        CheckResult(m_dispatcher->SetFlowChars(m_xonChar, m_xoffChar));
    }
}

void TCustomComPort::reapplyFlow() {
    bool force = m_forceApply;
    m_forceApply = true;
    try {
        SetHWFlowOptions(m_hwFlowOptions);
        SetSWFlowOptions(m_swFlowOptions);
    } catch (...) {
        m_forceApply = force;
        throw;
    }
    m_forceApply = force;
}

void TCustomComPort::SetBufferFull(uint16_t value) {
    if (value == m_bufferFull && !m_forceApply) {
        return;
    }
    // A value above InSize is stored as it is; the flow setters replace it by their
    // default when flow control is on, and the device refuses it (-1002) otherwise.
    m_bufferFull = value;
    reapplyFlow();
}

void TCustomComPort::SetBufferResume(uint16_t value) {
    const uint16_t resume = value > m_bufferFull ? uint16_t(m_bufferFull * 0.1) : value;
    if (resume == m_bufferResume && !m_forceApply) {
        return;
    }
    m_bufferResume = resume;
    reapplyFlow();
}

void TCustomComPort::SetUseEventWord(bool value) {
    m_useEventWord = value;
}

void TCustomComPort::SetRS485Mode(bool value) {
    if (value == m_rs485Mode && !m_forceApply) {
        return;
    }
    const bool previous = m_rs485Mode;
    m_rs485Mode = value;
    if (m_lifeState == PortLifeState::Opened) {
        const int32_t r = m_dispatcher->SetRs485(value);
        if (r < 0) {
            m_rs485Mode = previous;  // a mode the device refused is not kept
            CheckResult(r);
        }
    }
    if (value) {
        SetHWFlowOptions(m_hwFlowOptions & ~(hwfUseRTS | hwfRequireCTS));
        SetRTS(false);
    }
}

}  // namespace serial
