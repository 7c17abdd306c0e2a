#pragma once
// TComPort: the component through which the program uses one serial port.
//
// Used on the user-interface thread only. Setting Open opens or closes the port; while
// it is open the component owns a dispatcher (worker threads, rings, device).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/message_queue.h"
#include "serial/triggers.h"

namespace serial {

class TBaseDispatcher;
class TCustomComPort;

enum TDeviceLayer { dlWin32, dlWinsock };
enum TParity { pNone, pOdd, pEven, pMark, pSpace };
enum THWFlowOption : uint8_t {
    hwfUseDTR = 0x01,
    hwfUseRTS = 0x02,
    hwfRequireDSR = 0x04,
    hwfRequireCTS = 0x08,
};
using THWFlowOptionSet = uint8_t;  // THWFlowOption bits
enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTraceLogState { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
enum TTapiMode { tmNone, tmAuto, tmOn, tmOff };
enum class PortLifeState { Closed = 0, Closing = 1, Opened = 2 };

using TNotifyEvent = std::function<void(TCustomComPort& Sender)>;
using TTriggerEvent =
    std::function<void(TCustomComPort& CP, uint16_t Msg, uint16_t TriggerHandle, uint16_t Data)>;
using TTriggerAvailEvent = std::function<void(TCustomComPort& CP, uint16_t Count)>;
using TTriggerHandleEvent = std::function<void(TCustomComPort& CP, uint16_t TriggerHandle)>;
using TTriggerDataEvent = TTriggerHandleEvent;
using TTriggerStatusEvent = TTriggerHandleEvent;
using TTriggerTimerEvent = TTriggerHandleEvent;
using TTriggerLineErrorEvent =
    std::function<void(TCustomComPort& CP, uint16_t Error, bool LineBreak)>;
using TWaitCharEvent = std::function<void(TCustomComPort& CP, uint8_t C)>;

// The component base: name, owner, tag, and the state "being loaded from stored
// settings".
class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr) : m_owner(owner) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return m_owner; }
    std::string Name;
    intptr_t Tag = 0;

    bool Loading() const { return m_loading; }
    // Starts loading stored settings; Loaded() ends it.
    void BeginLoading() { m_loading = true; }
    virtual void Loaded() { m_loading = false; }

private:
    TComponent* m_owner;
    bool m_loading = false;
};

class TSerialComponent : public TComponent {
public:
    using TComponent::TComponent;
    std::string Version() const { return "v4.06"; }
    void SetVersion(const std::string&) {}  // read-only: writing is ignored
};

class TCustomComPort : public TSerialComponent {
public:
    explicit TCustomComPort(TComponent* owner = nullptr);
    ~TCustomComPort() override;

    // Published properties.
    TDeviceLayer DeviceLayer() const { return m_deviceLayer; }
    void SetDeviceLayer(TDeviceLayer value);
    uint16_t ComNumber() const { return m_comNumber; }
    void SetComNumber(uint16_t value);
    int32_t Baud() const { return m_baud; }
    void SetBaud(int32_t value);
    bool PromptForPort() const { return m_promptForPort; }
    void SetPromptForPort(bool value) { m_promptForPort = value; }
    TParity Parity() const { return m_parity; }
    void SetParity(TParity value);
    uint16_t DataBits() const { return m_dataBits; }
    void SetDataBits(uint16_t value);
    uint16_t StopBits() const { return m_stopBits; }
    void SetStopBits(uint16_t value);
    uint16_t InSize() const { return m_inSize; }
    void SetInSize(uint16_t value);
    uint16_t OutSize() const { return m_outSize; }
    void SetOutSize(uint16_t value);
    bool AutoOpen() const { return m_autoOpen; }
    void SetAutoOpen(bool value) { m_autoOpen = value; }
    bool Open() const { return m_open; }
    void SetOpen(bool value);
    bool DTR() const { return m_dtr; }
    void SetDTR(bool value);
    bool RTS() const { return m_rts; }
    void SetRTS(bool value);
    THWFlowOptionSet HWFlowOptions() const { return m_hwFlowOptions; }
    void SetHWFlowOptions(THWFlowOptionSet value);
    TSWFlowOptions SWFlowOptions() const { return m_swFlowOptions; }
    void SetSWFlowOptions(TSWFlowOptions value);
    uint8_t XOnChar() const { return m_xonChar; }
    void SetXOnChar(uint8_t value);
    uint8_t XOffChar() const { return m_xoffChar; }
    void SetXOffChar(uint8_t value);
    uint16_t BufferFull() const { return m_bufferFull; }
    void SetBufferFull(uint16_t value);
    uint16_t BufferResume() const { return m_bufferResume; }
    void SetBufferResume(uint16_t value);
    TTraceLogState Tracing() const { return m_tracing; }
    void SetTracing(TTraceLogState value);
    TTraceLogState Logging() const { return m_logging; }
    void SetLogging(TTraceLogState value);
    uint32_t TraceSize() const { return m_traceSize; }
    void SetTraceSize(uint32_t value);
    uint32_t LogSize() const { return m_logSize; }
    void SetLogSize(uint32_t value);
    const std::string& TraceName() const { return m_traceName; }
    void SetTraceName(const std::string& value) { m_traceName = value.substr(0, 255); }
    const std::string& LogName() const { return m_logName; }
    void SetLogName(const std::string& value) { m_logName = value.substr(0, 255); }
    bool TraceHex() const { return m_traceHex; }
    void SetTraceHex(bool value) { m_traceHex = value; }
    bool LogHex() const { return m_logHex; }
    void SetLogHex(bool value) { m_logHex = value; }
    bool TraceAllHex() const { return m_traceAllHex; }
    void SetTraceAllHex(bool value) { m_traceAllHex = value; }
    bool LogAllHex() const { return m_logAllHex; }
    void SetLogAllHex(bool value) { m_logAllHex = value; }
    bool UseMSRShadow() const { return true; }
    virtual void SetUseMSRShadow(bool) {}
    bool UseEventWord() const { return m_useEventWord; }
    void SetUseEventWord(bool value);
    uint16_t CommNotificationLevel() const { return m_commNotificationLevel; }
    void SetCommNotificationLevel(uint16_t value) { m_commNotificationLevel = value; }
    TTapiMode TapiMode() const { return m_tapiMode; }
    void SetTapiMode(TTapiMode value) { m_tapiMode = value; }
    bool RS485Mode() const { return m_rs485Mode; }
    void SetRS485Mode(bool value);
    uint16_t AvailLength() const { return m_availLength; }
    void SetAvailLength(uint16_t value);

    // Notifications and events.
    TNotifyEvent OnPortOpen;
    TNotifyEvent OnPortClose;
    TWaitCharEvent OnWaitCharTaken;  // not published
    void SetOnTrigger(TTriggerEvent handler);
    void SetOnTriggerAvail(TTriggerAvailEvent handler);
    void SetOnTriggerData(TTriggerDataEvent handler);
    void SetOnTriggerStatus(TTriggerStatusEvent handler);
    void SetOnTriggerTimer(TTriggerTimerEvent handler);
    void SetOnTriggerLineError(TTriggerLineErrorEvent handler);
    void SetOnTriggerModemStatus(TNotifyEvent handler);
    void SetOnTriggerOutbuffFree(TNotifyEvent handler);
    void SetOnTriggerOutbuffUsed(TNotifyEvent handler);
    void SetOnTriggerOutSent(TNotifyEvent handler);

    // Data operations.
    bool CharAvailable();
    uint8_t ReadChar();
    void WriteText(const std::string& text);
    bool WaitForText(const std::string& text, int32_t timeout, bool yield, bool ignoreCase);
    // Writes `command`, then waits for `text` as WaitForText does, with delivery held back
    // from before the write: an answer quicker than the start of the wait would otherwise
    // go to the data-available handler, whose delivery the wait never lets run.
    bool writeAndWaitForText(const std::string& command, const std::string& text, int32_t timeout,
                             bool yield, bool ignoreCase);
    TBaseDispatcher* ValidDispatcher();

    // Trace and dispatch log, on the open port's dispatcher; each does nothing while the
    // port is closing, and raises a negative result. Init starts recording (n entries or
    // bytes; 0 keeps TraceSize or LogSize), Dump and Append write the file and end the
    // recording, Clear empties it, Abort ends it unwritten, Start resumes and Stop pauses.
    void TraceInit(uint32_t n);
    void TraceDump(const std::string& name, bool inHex);
    void TraceAppend(const std::string& name, bool inHex);
    void TraceClear();
    void TraceAbort();
    void TraceStart();
    void TraceStop();
    void LogInit(uint32_t n);
    void LogDump(const std::string& name, bool inHex);
    void LogAppend(const std::string& name, bool inHex);
    void LogClear();
    void LogAbort();
    void LogStart();
    void LogStop();

    // The negative result codes of the serial layer become exceptions here.
    int32_t CheckResult(int32_t code);

    void Loaded() override;
    void Assign(const TCustomComPort& source);
    void PollDevice();

    PortLifeState LifeState() const { return m_lifeState; }
    // The open port's dispatcher, or null.
    TBaseDispatcher* Dispatcher() const { return m_dispatcher.get(); }
    // The hidden port window's handler in the message queue (kNoHandler without one).
    platform::HandlerId PortWindow() const { return m_portWindow; }

protected:
    virtual void CreateDispatcher();
    virtual void DeviceLayerChanged() {}
    virtual int StartDevice();
    virtual void SetPortWindow(bool on);
    virtual void ResolvePortNumber();
    virtual void NotifyTrigger(uint16_t msg, uint16_t triggerHandle, uint16_t data);
    virtual void NotifyTriggerAvail(uint16_t count);
    virtual void NotifyTriggerData(uint16_t triggerHandle);
    virtual void NotifyTriggerStatus(uint16_t triggerHandle);
    virtual void NotifyTriggerTimer(uint16_t triggerHandle);
    virtual void RefreshHandlerFlag();
    virtual void NotifyLineError(uint16_t error, bool lineBreak);
    virtual void NotifyModemStatus();
    virtual void NotifyOutbuffFree();
    virtual void NotifyOutbuffUsed();
    virtual void NotifyOutSent();
    virtual void NotifyWaitChar(uint8_t c);
    virtual void ShutdownPort();
    virtual void ActivatePort();
    virtual void AnnouncePortOpen();
    virtual void AnnouncePortClose();

    // The port window's message handler (user-interface thread).
    intptr_t portWindowProc(const platform::Message& message);
    // One setter for Baud, Parity, DataBits and StopBits: store, and apply while open.
    template <class T>
    void setLineValue(T& field, T value);
    // Flow control: BufferFull and BufferResume chosen from InSize where they are 0 or
    // out of range, and both kinds of flow control applied again after a change of them.
    void defaultThresholds(double full, double resume);
    void reapplyFlow();
    // One setter for Tracing and Logging, one for TraceSize and LogSize, over the trace
    // and log operations.
    void setRecordingState(bool trace, TTraceLogState value);
    void setRecordingSize(bool trace, uint32_t value);
    TBaseDispatcher* recordingDispatcher();
    void writeTrace(const std::string& name, bool append, bool inHex);
    void writeLog(const std::string& name, bool append, bool inHex);
    // Frees the dispatcher of a completed close and leaves the port closed.
    void finishClose();
    void dropDispatcher();

private:
    class DeliveryHold;

    TDeviceLayer m_deviceLayer = dlWin32;
    uint16_t m_comNumber = 0;
    int32_t m_baud = 19200;
    bool m_promptForPort = true;
    TParity m_parity = pNone;
    uint16_t m_dataBits = 8;
    uint16_t m_stopBits = 1;
    uint16_t m_inSize = 4096;
    uint16_t m_outSize = 4096;
    bool m_autoOpen = true;
    bool m_open = false;
    bool m_dtr = true;
    bool m_rts = true;
    THWFlowOptionSet m_hwFlowOptions = 0;
    TSWFlowOptions m_swFlowOptions = swfNone;
    uint8_t m_xonChar = 17;
    uint8_t m_xoffChar = 19;
    uint16_t m_bufferFull = 0;
    uint16_t m_bufferResume = 0;
    TTraceLogState m_tracing = tlOff;
    TTraceLogState m_logging = tlOff;
    uint32_t m_traceSize = 10000;
    uint32_t m_logSize = 10000;
    std::string m_traceName = "SERIAL.TRC";
    std::string m_logName = "SERIAL.LOG";
    bool m_traceHex = true;
    bool m_logHex = true;
    bool m_traceAllHex = false;
    bool m_logAllHex = false;
    bool m_useEventWord = true;
    uint16_t m_commNotificationLevel = 10;
    TTapiMode m_tapiMode = tmAuto;
    bool m_rs485Mode = false;
    uint16_t m_availLength = 1;
    // Tracing and logging for the whole run (SetRunRecording when the port was made).
    const bool m_runTrace;
    const bool m_runLog;

    TTriggerEvent m_onTrigger;
    TTriggerAvailEvent m_onTriggerAvail;
    TTriggerDataEvent m_onTriggerData;
    TTriggerStatusEvent m_onTriggerStatus;
    TTriggerTimerEvent m_onTriggerTimer;
    TTriggerLineErrorEvent m_onTriggerLineError;
    TNotifyEvent m_onTriggerModemStatus;
    TNotifyEvent m_onTriggerOutbuffFree;
    TNotifyEvent m_onTriggerOutbuffUsed;
    TNotifyEvent m_onTriggerOutSent;

    PortLifeState m_lifeState = PortLifeState::Closed;
    std::unique_ptr<TBaseDispatcher> m_dispatcher;
    bool m_reopenPending = false;
    bool m_openAfterLoad = false;
    bool m_forceApply = false;
    TriggerSet m_triggerSnapshot;
    bool m_snapshotValid = false;
    platform::HandlerId m_portWindow = platform::kNoHandler;
    platform::MessageQueue* m_portWindowQueue = nullptr;
};

// Publishes the properties of TCustomComPort and adds nothing.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};

// Tracing and logging for the whole run (the programs' --trace and --log): every port
// made from now on starts with them on and takes them up again after each close, which
// writes TraceName and LogName.
void SetRunRecording(bool trace, bool log);

// Whether COM port n exists; a port that another program holds counts as existing.
bool ProbePort(uint16_t n);

}  // namespace serial
