#include "serial/com_port.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "serial/dispatcher.h"
#include "serial/dispatcher_table.h"
#include "serial/exception_display.h"
#include "serial/port_prompt.h"
#include "serial/pump.h"
#include "serial/serial_exceptions.h"
#include "serial/trace_log.h"

namespace serial {

namespace {

std::string comDeviceName(uint16_t n) {
    return "\\\\.\\COM" + std::to_string(n);
}

}  // namespace

namespace {
std::atomic<bool> g_runTrace{false};
std::atomic<bool> g_runLog{false};
}  // namespace

void SetRunRecording(bool trace, bool log) {
    g_runTrace.store(trace);
    g_runLog.store(log);
}

TCustomComPort::TCustomComPort(TComponent* owner)
    : TSerialComponent(owner), m_runTrace(g_runTrace.load()), m_runLog(g_runLog.load()) {
    m_tracing = m_runTrace ? tlOn : tlOff;
    m_logging = m_runLog ? tlOn : tlOff;
}

TCustomComPort::~TCustomComPort() {
    if (m_lifeState == PortLifeState::Opened) {
        try {
            ShutdownPort();
        } catch (const std::exception& e) {
            showException(e);
        }
    }
    // A close deferred until the workers have gone: finish it here, since the port
    // window's message would otherwise arrive for a component that no longer exists.
    while (m_dispatcher && m_dispatcher->WorkersActive()) {
        pumpWhileWaiting();
    }
    if (m_dispatcher) {
        finishClose();
    }
    SetPortWindow(false);
}

// ---------------------------------------------------------------------------------------
// Properties

void TCustomComPort::SetDeviceLayer(TDeviceLayer value) {
    if (m_lifeState != PortLifeState::Closed || value != dlWin32) {
        return;  // only the supported layer, and only while closed
    }
    m_deviceLayer = value;
    DeviceLayerChanged();
}

void TCustomComPort::SetComNumber(uint16_t value) {
    if (value == m_comNumber) {
        return;
    }
    if (m_lifeState != PortLifeState::Opened) {
        m_comNumber = value;
        return;
    }
    TriggerSet saved;
    m_dispatcher->CopyTriggersOut(saved);
    TTraceLogState tracing = m_tracing;
    TTraceLogState logging = m_logging;
    SetOpen(false);
    m_comNumber = value;
    SetTracing(tracing);
    SetLogging(logging);
    SetOpen(true);
    if (m_dispatcher && m_lifeState == PortLifeState::Opened) {
        m_dispatcher->CopyTriggersIn(saved);
    }
}

template <class T>
void TCustomComPort::setLineValue(T& field, T value) {
    if (value == field) {
        return;
    }
    field = value;
    if (m_lifeState == PortLifeState::Opened) {
        CheckResult(m_dispatcher->SetLineParams(m_baud, m_parity, m_dataBits, m_stopBits));
    }
}

void TCustomComPort::SetBaud(int32_t value) {
    setLineValue(m_baud, value);
}

void TCustomComPort::SetParity(TParity value) {
    setLineValue(m_parity, value);
}

void TCustomComPort::SetDataBits(uint16_t value) {
    setLineValue(m_dataBits, value);
}

void TCustomComPort::SetStopBits(uint16_t value) {
    setLineValue(m_stopBits, value);
}

void TCustomComPort::SetInSize(uint16_t value) {
    if (value == m_inSize) {
        return;
    }
    m_inSize = value;
    if (m_lifeState == PortLifeState::Opened) {
        m_dispatcher->DeviceSetQueues(m_inSize, m_outSize);
    }
}

void TCustomComPort::SetOutSize(uint16_t value) {
    if (value == m_outSize) {
        return;
    }
    m_outSize = value;
    if (m_lifeState == PortLifeState::Opened) {
        m_dispatcher->DeviceSetQueues(m_inSize, m_outSize);
    }
}

void TCustomComPort::SetOpen(bool value) {
    // A close under way keeps the stored Open true until it completes: an open asked
    // meanwhile (a "Bağlan" right after "Bağlantıyı Kes") follows it, and a close asked
    // again takes that back. Compared with the stored value, the open would be lost.
    if (m_lifeState == PortLifeState::Closing) {
        m_reopenPending = value;
        return;
    }
    if (value == m_open) {
        return;
    }
    if (Loading()) {
        m_open = value;
        if (value) {
            m_openAfterLoad = true;
        }
        return;
    }
    if (!value) {
        ShutdownPort();
    } else if (m_lifeState == PortLifeState::Closed) {
        ActivatePort();
    } else {
        m_reopenPending = true;
    }
}

void TCustomComPort::SetDTR(bool value) {
    if (value == m_dtr && !m_forceApply) {
        return;
    }
    if (m_lifeState == PortLifeState::Opened) {
        // Under hardware flow control the line is the driver's: nothing changes.
        if (CheckResult(m_dispatcher->SetDtrLine(value)) == 0) {
            m_dtr = value;
        }
    } else {
        m_dtr = value;
    }
}

void TCustomComPort::SetRTS(bool value) {
    if (value == m_rts && !m_forceApply) {
        return;
    }
    if (m_lifeState == PortLifeState::Opened) {
        if (CheckResult(m_dispatcher->SetRtsLine(value)) == 0) {
            m_rts = value;
        }
    } else {
        m_rts = value;
    }
}

void TCustomComPort::SetAvailLength(uint16_t value) {
    bool changed = value != m_availLength;
    m_availLength = value;
    if (m_lifeState == PortLifeState::Opened && (changed || m_forceApply)) {
        m_dispatcher->SetAvailThreshold(value);
    }
}

void TCustomComPort::SetOnTrigger(TTriggerEvent handler) {
    m_onTrigger = std::move(handler);
    RefreshHandlerFlag();
}
void TCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent handler) {
    m_onTriggerAvail = std::move(handler);
    RefreshHandlerFlag();
}
void TCustomComPort::SetOnTriggerData(TTriggerDataEvent handler) {
    m_onTriggerData = std::move(handler);
    RefreshHandlerFlag();
}
void TCustomComPort::SetOnTriggerStatus(TTriggerStatusEvent handler) {
    m_onTriggerStatus = std::move(handler);
    RefreshHandlerFlag();
}
void TCustomComPort::SetOnTriggerTimer(TTriggerTimerEvent handler) {
    m_onTriggerTimer = std::move(handler);
    RefreshHandlerFlag();
}
void TCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent handler) {
    m_onTriggerLineError = std::move(handler);
    RefreshHandlerFlag();
}
void TCustomComPort::SetOnTriggerModemStatus(TNotifyEvent handler) {
    m_onTriggerModemStatus = std::move(handler);
    RefreshHandlerFlag();
}
void TCustomComPort::SetOnTriggerOutbuffFree(TNotifyEvent handler) {
    m_onTriggerOutbuffFree = std::move(handler);
    RefreshHandlerFlag();
}
void TCustomComPort::SetOnTriggerOutbuffUsed(TNotifyEvent handler) {
    m_onTriggerOutbuffUsed = std::move(handler);
    RefreshHandlerFlag();
}
void TCustomComPort::SetOnTriggerOutSent(TNotifyEvent handler) {
    m_onTriggerOutSent = std::move(handler);
    RefreshHandlerFlag();
}

// ---------------------------------------------------------------------------------------
// Open and close

void TCustomComPort::ResolvePortNumber() {
    if (m_comNumber != 0) {
        return;
    }
    if (!m_promptForPort) {
        throw ENoPortSelected(-2011);
    }
    std::optional<uint16_t> chosen = portPrompt().ChoosePort();
    if (!chosen || *chosen == 0) {
        throw ENoPortSelected(-2011);
    }
    SetComNumber(*chosen);
}

void TCustomComPort::CreateDispatcher() {
    if (m_deviceLayer != dlWin32) {
        throw ENullApi(-3001);
    }
    m_dispatcher = std::make_unique<TWin32Dispatcher>(this);
}

int TCustomComPort::StartDevice() {
    uint32_t options = 0;
    if (m_dtr) {
        options |= kOptionDtrOn;
    }
    if (m_rts) {
        options |= kOptionRtsOn;
    }
    if (m_hwFlowOptions & hwfUseDTR) {
        options |= kOptionDtrHardware;
    }
    if (m_hwFlowOptions & hwfUseRTS) {
        options |= kOptionRtsHardware;
    }
    return m_dispatcher->OpenDevice(comDeviceName(m_comNumber), m_baud, m_parity, m_dataBits,
                                    m_stopBits, m_inSize, m_outSize, options);
}

void TCustomComPort::ActivatePort() {
    if (m_tapiMode != tmOn) {
        ResolvePortNumber();
    }
    CreateDispatcher();
    m_dispatcher->SetDeviceName("COM" + std::to_string(m_comNumber));
    try {
        int32_t r = StartDevice();
        if (r == -5) {
            r = -2008;
        } else if (r == -2 || r == -3) {
            r = -2001;
        }
        if (r != 0) {
            CheckResult(r);
        }
        m_lifeState = PortLifeState::Opened;
        RefreshHandlerFlag();
        m_forceApply = true;
        try {
            SetTracing(m_tracing);
            SetLogging(m_logging);
            SetHWFlowOptions(m_hwFlowOptions);
            SetSWFlowOptions(m_swFlowOptions);
            SetXOnChar(m_xonChar);
            SetXOffChar(m_xoffChar);
            SetAvailLength(m_availLength);
            SetDTR(m_dtr);
            SetRTS(m_rts);
            SetUseEventWord(m_useEventWord);
            SetRS485Mode(m_rs485Mode);
            m_dispatcher->SetWorkerPriority(0);
        } catch (...) {
            m_forceApply = false;
            throw;
        }
        m_forceApply = false;
        m_open = true;
        SetPortWindow(true);
        if (m_snapshotValid) {
            m_snapshotValid = false;
            m_dispatcher->CopyTriggersIn(m_triggerSnapshot);
        }
        AnnouncePortOpen();
    } catch (...) {
        m_open = false;
        if (m_dispatcher) {
            // The window goes with the dispatcher: nothing may reach a port that failed
            // to open.
            SetPortWindow(false);
            dropDispatcher();
        }
        m_lifeState = PortLifeState::Closed;
        throw;
    }
}

void TCustomComPort::ShutdownPort() {
    if (m_lifeState != PortLifeState::Opened) {
        return;
    }
    // A trace or log file that cannot be written must not keep the port open (nor the
    // program from ending): the close goes on, and the error is raised after it.
    std::exception_ptr dumpError;
    for (bool trace : {true, false}) {
        try {
            setRecordingState(trace, tlDump);
        } catch (...) {
            dumpError = dumpError ? dumpError : std::current_exception();
        }
    }
    // Whatever the dumps left (a log kept after a failed write goes with the dispatcher),
    // a closed port keeps only recording for the whole run, which goes on with the next
    // open.
    m_tracing = m_runTrace ? tlOn : tlOff;
    m_logging = m_runLog ? tlOn : tlOff;
    m_lifeState = PortLifeState::Closing;
    m_reopenPending = false;
    m_dispatcher->CopyTriggersOut(m_triggerSnapshot);
    m_snapshotValid = true;
    m_dispatcher->CloseDevice();
    if (m_dispatcher->DeliveryBusy() && m_portWindow != platform::kNoHandler) {
        platform::Message m{MsgClosePending, 0, intptr_t(m_dispatcher->DispatcherHandle()) << 16};
        m_portWindowQueue->post(m_portWindow, m);
        PumpOneMessage();
    } else {
        // Without a port window nothing would finish a deferred close later: the workers
        // end by themselves (the device is closed), so wait for them here.
        while (m_dispatcher->WorkersActive()) {
            pumpWhileWaiting();
        }
        finishClose();
    }
    AnnouncePortClose();
    if (dumpError) {
        std::rethrow_exception(dumpError);
    }
    // An open asked while the wait above ran the queue.
    if (m_lifeState == PortLifeState::Closed && m_reopenPending) {
        m_reopenPending = false;
        ActivatePort();
    }
}

void TCustomComPort::finishClose() {
    SetPortWindow(false);
    dropDispatcher();
    m_lifeState = PortLifeState::Closed;
    m_open = false;
}

void TCustomComPort::dropDispatcher() {
    std::unique_ptr<TBaseDispatcher> d = std::move(m_dispatcher);
    d.reset();
}

void TCustomComPort::AnnouncePortOpen() {
    if (OnPortOpen) {
        OnPortOpen(*this);
    }
}

void TCustomComPort::AnnouncePortClose() {
    if (OnPortClose) {
        OnPortClose(*this);
    }
}

void TCustomComPort::Loaded() {
    TSerialComponent::Loaded();
    if (m_openAfterLoad) {
        m_open = true;
    }
    if (m_open) {
        m_openAfterLoad = false;
        try {
            ActivatePort();
        } catch (const std::exception& e) {
            m_open = false;
            showException(e);
        }
    }
}

void TCustomComPort::Assign(const TCustomComPort& s) {
    m_deviceLayer = s.m_deviceLayer;
    m_comNumber = s.m_comNumber;
    m_baud = s.m_baud;
    m_parity = s.m_parity;
    m_dataBits = s.m_dataBits;
    m_stopBits = s.m_stopBits;
    m_inSize = s.m_inSize;
    m_outSize = s.m_outSize;
    m_autoOpen = s.m_autoOpen;
    m_promptForPort = s.m_promptForPort;
    m_rs485Mode = s.m_rs485Mode;
    m_dtr = s.m_dtr;
    m_rts = s.m_rts;
    m_bufferFull = s.m_bufferFull;
    m_bufferResume = s.m_bufferResume;
    m_hwFlowOptions = s.m_hwFlowOptions;
    m_swFlowOptions = s.m_swFlowOptions;
    m_xonChar = s.m_xonChar;
    m_xoffChar = s.m_xoffChar;
    m_tracing = s.m_tracing;
    m_logging = s.m_logging;
    m_traceSize = s.m_traceSize;
    m_logSize = s.m_logSize;
    m_traceName = s.m_traceName;
    m_logName = s.m_logName;
    m_traceHex = s.m_traceHex;
    m_logHex = s.m_logHex;
    m_traceAllHex = s.m_traceAllHex;
    m_logAllHex = s.m_logAllHex;
    m_availLength = s.m_availLength;
    m_tapiMode = s.m_tapiMode;
    m_onTrigger = s.m_onTrigger;
    m_onTriggerAvail = s.m_onTriggerAvail;
    m_onTriggerData = s.m_onTriggerData;
    m_onTriggerStatus = s.m_onTriggerStatus;
    m_onTriggerTimer = s.m_onTriggerTimer;
    OnPortOpen = s.OnPortOpen;
    OnPortClose = s.OnPortClose;
    m_open = false;
    if (s.m_lifeState == PortLifeState::Opened && s.m_dispatcher) {
        s.m_dispatcher->CopyTriggersOut(m_triggerSnapshot);
        m_snapshotValid = true;
    }
}

void TCustomComPort::PollDevice() {
    if (m_lifeState != PortLifeState::Closing) {
        CheckResult(ValidDispatcher()->DeviceIdle());
    }
}

// ---------------------------------------------------------------------------------------
// Data operations

TBaseDispatcher* TCustomComPort::ValidDispatcher() {
    if (!m_dispatcher && !Loading() && m_lifeState != PortLifeState::Opened && m_autoOpen) {
        SetOpen(true);
    }
    if (!m_dispatcher) {
        // Raised even while loading: there is no dispatcher to hand back.
        throw ECommNotOpen(-2007);
    }
    return m_dispatcher.get();
}

int32_t TCustomComPort::CheckResult(int32_t code) {
    if (code >= 0 || Loading()) {
        return code;
    }
    RaiseSerialError(code);
}

bool TCustomComPort::CharAvailable() {
    if (m_lifeState == PortLifeState::Closing) {
        return false;
    }
    return ValidDispatcher()->CharAvailable();
}

uint8_t TCustomComPort::ReadChar() {
    if (m_lifeState == PortLifeState::Closing) {
        return 0;
    }
    uint8_t c = 0;
    CheckResult(ValidDispatcher()->ReadChar(c));
    return c;
}

void TCustomComPort::WriteText(const std::string& text) {
    if (m_lifeState == PortLifeState::Closing) {
        return;
    }
    TBaseDispatcher* d = ValidDispatcher();
    CheckResult(d->WriteBlock(text.data(), uint32_t(text.size())));
}

// Holds delivery back for its lifetime. Gives it back on every way out, but only to the
// dispatcher it was taken from, and only while that still exists (a handler run by a
// wait may close the port and free it).
class TCustomComPort::DeliveryHold {
public:
    DeliveryHold(TCustomComPort& port, TBaseDispatcher* d)
        : m_port(port), m_d(d), m_wasBusy(d->ExchangeDeliveryBusy(true)) {}
    ~DeliveryHold() {
        if (!m_wasBusy && m_port.m_dispatcher.get() == m_d) {
            m_d->ExchangeDeliveryBusy(false);
        }
    }
    DeliveryHold(const DeliveryHold&) = delete;
    DeliveryHold& operator=(const DeliveryHold&) = delete;

private:
    TCustomComPort& m_port;
    TBaseDispatcher* m_d;
    bool m_wasBusy;
};

bool TCustomComPort::writeAndWaitForText(const std::string& command, const std::string& text,
                                         int32_t timeout, bool yield, bool ignoreCase) {
    if (m_lifeState == PortLifeState::Closing) {
        return true;  // as WaitForText: nothing is written to a closing port
    }
    DeliveryHold hold(*this, ValidDispatcher());
    WriteText(command);
    return WaitForText(text, timeout, yield, ignoreCase);
}

bool TCustomComPort::WaitForText(const std::string& text, int32_t timeout, bool yield,
                                 bool ignoreCase) {
    if (text.empty() || m_lifeState == PortLifeState::Closing) {
        return true;
    }
    TBaseDispatcher* d = ValidDispatcher();
    DeliveryHold hold(*this, d);

    platform::TickTimer timer;
    platform::StartTickTimer(timer, timeout);
    const size_t len = text.size();
    uint8_t pos = 0;
    uint8_t first = uint8_t(text[0]);
    if (ignoreCase) {
        first = upperAnsi(first);
    }
    // The queue of the thread that opened the port: its messages keep running meanwhile.
    platform::MessageQueue* queue = m_portWindowQueue ? m_portWindowQueue : messageQueue();
    bool found = false;
    bool lost = false;
    for (;;) {
        if (m_lifeState != PortLifeState::Opened || m_dispatcher.get() != d || d->DeviceGone()) {
            lost = true;  // closed by a handler inside the wait, or the device has gone
            break;
        }
        bool took = false;
        if (d->CharAvailable()) {
            took = true;
            uint8_t c = ReadChar();
            ++pos;
            uint8_t t = pos >= 1 && pos <= len ? uint8_t(text[pos - 1]) : 0;
            NotifyWaitChar(c);
            if (ignoreCase) {
                c = upperAnsi(c);
                t = upperAnsi(t);
            }
            if (pos != 0 && c == t) {
                if (pos == len) {
                    found = true;
                }
            } else {
                pos = c == first ? 1 : 0;
            }
        }
        bool over = false;
        if (!found) {
            over = platform::TickTimerExpired(timer);
            if (yield && queue) {
                queue->pumpAll();
            }
        }
        if (found || over || (queue && queue->quitRequested())) {
            break;
        }
        if (!took) {
            // Nothing waiting: rest a moment instead of spinning the processor.
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
    if (lost) {
        return false;
    }
    if (queue && queue->quitRequested()) {
        return true;
    }
    return !platform::TickTimerExpired(timer);
}

// ---------------------------------------------------------------------------------------
// Port window and notifications

void TCustomComPort::SetPortWindow(bool on) {
    if (on) {
        platform::MessageQueue* q = messageQueue();
        if (!q || m_portWindow != platform::kNoHandler || !m_dispatcher) {
            return;
        }
        m_portWindowQueue = q;
        m_portWindow =
            q->addHandler([this](const platform::Message& m) { return portWindowProc(m); });
        m_dispatcher->AddWindowHandler(m_portWindow, q);
        return;
    }
    if (m_portWindow == platform::kNoHandler) {
        return;
    }
    if (m_dispatcher) {
        m_dispatcher->RemoveWindowHandler(m_portWindow);
    }
    m_portWindowQueue->removeHandler(m_portWindow);
    m_portWindow = platform::kNoHandler;
    m_portWindowQueue = nullptr;
}

intptr_t TCustomComPort::portWindowProc(const platform::Message& message) {
    const uint32_t msg = message.msg;
    if (!((msg >= MsgTriggerAvail && msg <= MsgTriggerStatus) || msg == MsgClosePending ||
          msg == MsgDeviceGone)) {
        return 0;
    }
    uint32_t handle = uint32_t(uintptr_t(message.lParam) >> 16) & 0xFFFF;
    TBaseDispatcher* d = nullptr;
    {
        // Only this port's own dispatcher is served, and only this thread frees it: once
        // found, it outlives the handler without the table held. Holding the table for
        // the whole handler would make every other thread's ports wait for this one.
        std::lock_guard table(DispatcherTable::instance().lock());
        d = DispatcherTable::instance().at(handle);
        if (!d || d->Owner() != this) {
            return 0;
        }
    }
    try {
        uint16_t wLow = uint16_t(message.wParam & 0xFFFF);
        uint16_t lLow = uint16_t(uintptr_t(message.lParam) & 0xFFFF);
        if (msg == MsgClosePending) {
            if (d->WorkersActive()) {
                // Not yet: look again shortly.
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                m_portWindowQueue->post(m_portWindow, message);
                return 0;
            }
            finishClose();
            if (m_reopenPending) {
                m_reopenPending = false;
                ActivatePort();
            }
            return 0;
        }
        if (msg == MsgDeviceGone) {
            // Unplugged, or the link is lost: close as the program would, so that the
            // owner's close notification puts its window right.
            if (m_lifeState == PortLifeState::Opened && d->DeviceGone()) {
                SetOpen(false);
            }
            return 0;
        }
        if (msg == MsgTriggerAvail) {
            wLow = uint16_t(d->BeginReadEvent(wLow));
            if (wLow == 0) {
                return 0;  // taken meanwhile by a reader outside the event: nothing to tell
            }
        } else if (msg == MsgTriggerData) {
            d->BeginReadEvent(0xFFFF);
        }
        NotifyTrigger(uint16_t(msg), wLow, msg == MsgTriggerAvail ? wLow : lLow);
        switch (msg) {
            case MsgTriggerAvail:
                NotifyTriggerAvail(wLow);
                break;
            case MsgTriggerData:
                NotifyTriggerData(wLow);
                break;
            case MsgTriggerTimer:
                NotifyTriggerTimer(wLow);
                break;
            case MsgTriggerStatus:
                NotifyTriggerStatus(wLow);
                switch (wLow & 7) {
                    case 1:
                        NotifyModemStatus();
                        break;
                    case 2: {
                        bool opened = m_lifeState == PortLifeState::Opened;
                        bool lineBreak = opened && d->ReadLineBreak();
                        uint16_t code = opened ? d->ReadLineError() : 0;
                        NotifyLineError(code, lineBreak);
                        break;
                    }
                    case 3:
                        NotifyOutbuffFree();
                        break;
                    case 4:
                        NotifyOutbuffUsed();
                        break;
                    case 5:
                        NotifyOutSent();
                        break;
                    default:
                        break;
                }
                break;
            default:
                break;
        }
    } catch (const std::exception& e) {
        if (m_portWindowQueue && m_portWindowQueue->isUiThread()) {
            showException(e);
        }
    }
    return 0;
}

void TCustomComPort::RefreshHandlerFlag() {
    if (m_lifeState != PortLifeState::Opened || !m_dispatcher) {
        return;
    }
    bool any = m_onTrigger || m_onTriggerAvail || m_onTriggerData || m_onTriggerStatus ||
               m_onTriggerTimer || m_onTriggerLineError || m_onTriggerModemStatus ||
               m_onTriggerOutbuffFree || m_onTriggerOutbuffUsed || m_onTriggerOutSent;
    m_dispatcher->RefreshDeliveryFlags(any ? 1 : 2);
}

void TCustomComPort::NotifyTrigger(uint16_t msg, uint16_t triggerHandle, uint16_t data) {
    if (m_onTrigger) {
        m_onTrigger(*this, msg, triggerHandle, data);
    }
}
void TCustomComPort::NotifyTriggerAvail(uint16_t count) {
    if (m_onTriggerAvail) {
        m_onTriggerAvail(*this, count);
    }
}
void TCustomComPort::NotifyTriggerData(uint16_t triggerHandle) {
    if (m_onTriggerData) {
        m_onTriggerData(*this, triggerHandle);
    }
}
void TCustomComPort::NotifyTriggerStatus(uint16_t triggerHandle) {
    if (m_onTriggerStatus) {
        m_onTriggerStatus(*this, triggerHandle);
    }
}
void TCustomComPort::NotifyTriggerTimer(uint16_t triggerHandle) {
    if (m_onTriggerTimer) {
        m_onTriggerTimer(*this, triggerHandle);
    }
}
void TCustomComPort::NotifyLineError(uint16_t error, bool lineBreak) {
    if (m_onTriggerLineError) {
        m_onTriggerLineError(*this, error, lineBreak);
    }
}
void TCustomComPort::NotifyModemStatus() {
    if (m_onTriggerModemStatus) {
        m_onTriggerModemStatus(*this);
    }
}
void TCustomComPort::NotifyOutbuffFree() {
    if (m_onTriggerOutbuffFree) {
        m_onTriggerOutbuffFree(*this);
    }
}
void TCustomComPort::NotifyOutbuffUsed() {
    if (m_onTriggerOutbuffUsed) {
        m_onTriggerOutbuffUsed(*this);
    }
}
void TCustomComPort::NotifyOutSent() {
    if (m_onTriggerOutSent) {
        m_onTriggerOutSent(*this);
    }
}
void TCustomComPort::NotifyWaitChar(uint8_t c) {
    if (OnWaitCharTaken) {
        OnWaitCharTaken(*this, c);
    }
}

// ---------------------------------------------------------------------------------------

bool ProbePort(uint16_t n) {
    if (n == 0) {
        return false;
    }
    TWin32Dispatcher probe(nullptr);
    if (probe.DeviceOpen(comDeviceName(n), 64, 64) >= 0) {
        probe.DeviceClose();
        return true;
    }
    return probe.LastSystemError() == 5;
}

}  // namespace serial
