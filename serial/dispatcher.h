#pragma once
// The dispatcher: owns an open port's device, its input and output rings and its three
// worker threads, and offers the byte-level operations the port component rests on.
//
// Locks, all re-entrant, taken in this order: InputLock, then OutputLock, then
// StateLock. WriteBlock lets OutputLock go before it takes StateLock.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/message_queue.h"
#include "platform/serial_device.h"
#include "serial/signals.h"
#include "serial/trace_log.h"
#include "serial/triggers.h"

namespace serial {

class TCustomComPort;
class TDispatcherThread;

constexpr uint32_t kInRingSize = 8192;

// DeviceOptions bits of OpenDevice.
constexpr uint32_t kOptionDtrOn = 0x01;
constexpr uint32_t kOptionRtsOn = 0x02;
constexpr uint32_t kOptionDtrHardware = 0x10;
constexpr uint32_t kOptionRtsHardware = 0x20;

// Option bits of SetHardwareFlow and SetSoftwareFlow.
constexpr uint32_t kFlowUseDtr = 0x01;
constexpr uint32_t kFlowUseRts = 0x02;
constexpr uint32_t kFlowRequireDsr = 0x04;
constexpr uint32_t kFlowRequireCts = 0x08;
constexpr uint32_t kFlowTransmit = 0x01;
constexpr uint32_t kFlowReceive = 0x02;

// Result codes of the dispatcher.
constexpr int32_t kErrBadArgument = -1002;
constexpr int32_t kErrOutputTooSmall = -3006;
constexpr int32_t kErrBufferEmpty = -3007;
constexpr int32_t kErrBaseAddressNotSet = -3010;

// The milliseconds WaitOutputDrain sleeps once the ring is empty: the time of 18
// characters at the applied rate (legacy rate codes converted), doubled when under 1 ms.
uint32_t OutputDrainSleepMs(uint32_t appliedBaud, const platform::DeviceState& state);

class TBaseDispatcher {
public:
    explicit TBaseDispatcher(TCustomComPort* owner);
    virtual ~TBaseDispatcher();
    TBaseDispatcher(const TBaseDispatcher&) = delete;
    TBaseDispatcher& operator=(const TBaseDispatcher&) = delete;

    TCustomComPort* Owner() const { return m_owner; }
    uint32_t DispatcherHandle() const { return m_dispatcherHandle; }
    const std::string& DeviceName() const { return m_deviceName; }
    void SetDeviceName(const std::string& name) { m_deviceName = name; }

    // Opening and closing.
    int OpenDevice(const std::string& name, int32_t baud, int parity, int dataBits, int stopBits,
                   uint32_t inSize, uint32_t outSize, uint32_t options);
    void CloseDevice();
    int SetLineParams(int32_t baud, int parity, int dataBits, int stopBits);

    // Input.
    bool CharAvailable();
    int ReadChar(uint8_t& c);
    int PeekInput(uint32_t n, uint8_t& c);
    uint32_t InputCount();
    int FlushInput();

    // Output.
    int WriteBlock(const void* buffer, uint32_t length);
    uint32_t OutputCount();
    uint32_t OutputFree();
    int FlushOutput();

    void WaitOutputDrain();
    void RefreshDeviceStatus();

    // The data path of the worker threads.
    bool FillInRing();   // dispatcher thread
    void DrainOutput();  // output thread

    // Modem lines (the flow-control operations build on these).
    int SetDtrLine(bool on);
    int SetRtsLine(bool on);
    int ApplyDeviceState(platform::DeviceState& state);

    // Trace and dispatch log, each under StateLock (the component's trace and log
    // operations act through these). InitTraceQueue gives -1002 for more than kTraceLimit
    // entries when there is no queue yet; an existing queue or buffer is only emptied.
    int32_t InitTraceQueue(uint32_t n);
    void ClearTraceQueue();
    void DropTraceQueue();
    void ResumeTrace();  // only with a queue to record into
    void PauseTrace();
    bool HasTraceQueue() const;
    void InitLogBuffer(uint32_t n);
    void ClearLogBuffer();
    void DropLogBuffer();
    void ResumeLog();  // only with a buffer to record into
    void PauseLog();
    bool HasLogBuffer() const;
    // Write the file: 0, or minus the file I/O error. The trace queue is gone afterwards
    // either way; the log buffer stays, paused, when its file could not be written.
    int32_t WriteTraceFile(const std::string& name, bool append, bool inHex, bool allHex);
    int32_t WriteLogFile(const std::string& name, bool append, bool inHex, bool allHex);
    void AddTraceEntry(char kind, const uint8_t* bytes, uint32_t n);
    void AddLogEntry(uint8_t kind, uint8_t subkind, uint32_t data, const uint8_t* extra = nullptr,
                     uint32_t extraLength = 0);

    // Flow control. Thresholds: full (stop the sender) must not be below resume nor above
    // the input queue size, else -1002. Options of SetHardwareFlow: kFlowUseDtr,
    // kFlowUseRts, kFlowRequireDsr, kFlowRequireCts; of SetSoftwareFlow: kFlowTransmit,
    // kFlowReceive. A device that refuses gives minus its system error.
    int SetHardwareFlow(uint32_t full, uint32_t resume, uint32_t options);
    int SetSoftwareFlow(uint32_t full, uint32_t resume, uint32_t options);
    int StopSoftwareFlow();
    int SetFlowChars(uint8_t xon, uint8_t xoff);
    // RTS as the RS-485 transmitter enable, by the driver; -3010 where it has none.
    int SetRs485(bool on);
    bool Rs485Active() {
        std::lock_guard state(m_stateLock);
        return m_rs485Active;
    }

    // Event delivery state.
    bool DeliveryBusy() const { return m_deliveryBusy.load(); }
    // Sets DeliveryBusy to the value and returns the old one, in one locked step.
    bool ExchangeDeliveryBusy(bool value);
    // A port window: its messages (trigger events, the device gone) go to `queue`, the
    // queue of the thread that added it. Without a queue, the calling thread's.
    void AddWindowHandler(platform::HandlerId window, platform::MessageQueue* queue);
    void AddWindowHandler(platform::HandlerId window);
    void RemoveWindowHandler(platform::HandlerId window);
    void SetAvailThreshold(uint32_t n);
    uint32_t AvailThreshold();
    void ClearAllTriggers();
    void ClearStatusHits();
    void ClearDataMatches();
    void CopyTriggersOut(TriggerSet& snapshot);
    void CopyTriggersIn(const TriggerSet& snapshot);

    // Adding and arming triggers. Results: the trigger's handle, or a negative code
    // (-1002 bad argument, -5002 string too long, -5003 unknown handle).
    int32_t AddDataTrigger(const std::string& text, bool ignoreCase);
    int32_t AddTimerTrigger();
    int32_t SetTimerTrigger(uint32_t handle, int32_t ticks, bool activate);
    // The handle's low three bits are the status type (1 to 5).
    int32_t AddStatusTrigger(uint32_t type);
    int32_t SetStatusTrigger(uint32_t handle, uint16_t data, bool enable);
    int32_t RemoveTrigger(uint32_t handle);

    // Delivery of a trigger to the registered handlers; false when the delivery was cut
    // short (a close inside it, or an avail event whose handler did not take its count),
    // or refused because a text wait or another delivery holds DeliveryBusy.
    bool DeliverTrigger(uint32_t msg, uint32_t triggerHandle, uint32_t data);
    // Called by the port window as an avail or data handler starts: from here until the
    // delivery ends, ReadChar reads ahead instead of consuming. Returns the offered count,
    // cut to what is still unread (a reader outside the handler may have taken some).
    uint32_t BeginReadEvent(uint32_t offered);
    bool ScanReceived();
    bool ScanStatusTriggers();
    bool ScanTimerTriggers();
    // Whether the data trigger's string is complete with character c (counters: how far
    // each of the overlapping partial matches has come).
    static bool MatchTriggerChar(uint32_t* counters, uint8_t c, uint32_t length, bool ignoreCase,
                                 const std::string& text);

    // Modem status and line errors, as status triggers and the line-error event read them.
    uint8_t ReadModemStatus(uint8_t keepMask);
    void RefreshModemStatus();
    uint8_t ModemStatusByte();
    uint16_t ReadLineError();
    bool ReadLineBreak();

    // State seen by the component and by tests.
    bool WorkersActive() const { return m_workersActive.load(); }
    // The device has hung up (unplugged, link lost, far side closed): the port window
    // has been told, and writes fail with the device-gone code.
    bool DeviceGone() const { return m_deviceGone.load(); }
    bool CloseDeferred() const { return m_closeDeferred.load(); }
    int ThreadCount() const { return m_threadCount.load(); }
    bool DeviceIsOpen();
    bool RingsAllocated();
    uint32_t LineErrorFlags() const { return m_lineErrorFlags.load(); }
    uint32_t AppliedBaud();
    platform::DeviceState DeviceSettings();
    uint32_t OutQueueSize();
    // The system error of the last failed device open, as the probe needs it.
    int LastSystemError() const { return m_lastSystemError; }

    // Device operations, implemented by the device class.
    virtual int DeviceEscape(int function) = 0;
    virtual int DevicePurge(int queue) = 0;  // 0 output, 1 input
    virtual uint32_t DeviceStatus(platform::DeviceQueueStatus& status) = 0;
    virtual int DeviceReadError(int code) = 0;
    virtual int DeviceGetState(platform::DeviceState& state) = 0;
    virtual int DeviceRead(uint8_t* buffer, uint32_t n) = 0;
    virtual int DeviceSetState(const platform::DeviceState& state) = 0;
    virtual int DeviceWrite(const uint8_t* buffer, uint32_t n) = 0;
    virtual bool DeviceWaitEvent(uint32_t& mask) = 0;
    virtual bool DeviceSetQueues(uint32_t inSize, uint32_t outSize) = 0;
    virtual void ReleaseBuffers();
    virtual void StartWorkers() = 0;
    virtual void StopWorkers() = 0;
    virtual int DeviceOpen(const std::string& name, uint32_t inSize, uint32_t outSize) = 0;
    virtual int DeviceClose() = 0;
    virtual int DeviceIdle() = 0;
    virtual void SetWorkerPriority(int offset);
    virtual void RefreshDeliveryFlags(int mode);

protected:
    friend class TDispatcherThread;
    friend class TComThread;
    friend class TDispThread;
    friend class TOutThread;
    friend struct DispatcherTestAccess;

    // Destruction steps that need the device class: close (or finish a deferred
    // release) and wait for the workers. The device class's destructor calls it.
    void shutDownForDestruction();
    // Starts a worker thread; may throw std::system_error (tests put a failure here).
    virtual void startThread(TDispatcherThread& thread);
    // The output thread's check for a flush request; acknowledges one it finds.
    bool flushRequested();
    // The event thread found the device gone: post the news to the port window once.
    void reportDeviceGone();
    void postDeviceGone();
    // The dispatcher thread's claim on DeliveryBusy for one delivery: checked and set in
    // one step, so that a text wait and a delivery never run side by side.
    bool claimDelivery();
    // Reads the device settings, lets change() alter them and writes them (StateLock).
    int applyFlow(const std::function<void(platform::DeviceState&)>& change);
    void clearStatusHitsIfSeen();

    // Called by each worker thread as its last act.
    void WorkerEnded(TDispatcherThread* thread);
    // One pass of the dispatcher thread over the received data.
    void ServiceCommEvent();
    void ServiceTimersAndStatus();

    uint32_t usedLocked() const;           // InputLock held
    void wakeForRefillLocked();            // InputLock held
    uint32_t transmitCountLocked() const;  // OutputLock held
    bool outputPendingLocked() const;      // OutputLock held
    void advanceOutputLocked(uint32_t k);  // OutputLock held
    void resetOutputRingLocked();          // OutputLock held

    TCustomComPort* const m_owner;
    uint32_t m_dispatcherHandle = 0;
    std::string m_deviceName;   // set before the open; read by the log's dump
    int m_lastSystemError = 0;  // user-interface thread

    // The device handle: set by DeviceOpen, closed by DeviceClose, the object freed only
    // with the dispatcher so that a worker finishing its pass never meets freed memory.
    std::unique_ptr<platform::SerialDevice> m_device;
    std::atomic<bool> m_deviceOpen{false};

    SignalSet m_signals;

    mutable std::recursive_mutex m_stateLock;
    mutable std::recursive_mutex m_outputLock;
    mutable std::recursive_mutex m_inputLock;

    // StateLock.
    platform::DeviceState m_deviceSettings;
    uint32_t m_appliedBaud = 0;
    uint32_t m_inQueueSize = 0;
    bool m_dtrLevel = true;
    bool m_dtrHandshake = false;
    bool m_rtsLevel = true;
    bool m_rtsHandshake = false;
    bool m_rs485Active = false;
    uint8_t m_modemStatusByte = 0;
    uint32_t m_availThreshold = 0;
    std::vector<TimerTrigger> m_timerTriggers;
    std::vector<DataTrigger> m_dataTriggers;
    std::vector<StatusTrigger> m_statusTriggers;
    struct WindowHandler {
        platform::HandlerId window;
        platform::MessageQueue* queue;  // null: nothing is delivered to it
        bool deleted;
    };
    std::vector<WindowHandler> m_windowHandlers;
    bool m_purgePending = false;
    bool m_statusHitSeen = false;
    bool m_portHandlerOn = false;
    uint32_t m_nextTriggerHandle = 1;
    uint32_t m_openTimeMs = 0;
    TraceRecorder m_trace;
    DispatchLog m_log;
    // Written under StateLock, read without it by the worker threads.
    std::atomic<bool> m_deliveryBusy{false};
    std::atomic<bool> m_deliveryWanted{false};

    // Read and written by several threads, each alone.
    std::atomic<uint32_t> m_lineErrorFlags{0};
    std::atomic<uint32_t> m_commEventMask{0};
    std::atomic<bool> m_ringLatch{false};
    std::atomic<bool> m_outputSent{false};
    std::atomic<bool> m_deviceGone{false};
    // Dispatcher thread only: the last DeliverTrigger was refused (DeliveryBusy held).
    bool m_deliveryRefused = false;

    // InputLock.
    std::unique_ptr<uint8_t[]> m_inRing;
    uint32_t m_inHead = 0;
    uint32_t m_inTail = 0;
    bool m_inFull = false;
    bool m_readEventActive = false;
    uint32_t m_takenCount = 0;
    uint32_t m_maxTakenCount = 0;
    uint32_t m_scanPos = 0;
    uint32_t m_notifyPos = 0;
    // The ring was found full with bytes left in the driver: once the reader has taken
    // half of it, the dispatcher thread is woken to fetch the rest at once rather than
    // at its next 50 ms round (no new arrival may come to wake it).
    bool m_refillWanted = false;

    // OutputLock.
    std::unique_ptr<uint8_t[]> m_outRing;
    uint32_t m_outQueueSize = 0;
    uint32_t m_outHead = 0;
    uint32_t m_outTail = 0;
    bool m_outFull = false;
    platform::DeviceQueueStatus m_deviceStatusRecord;

    // Threads. The references are cleared by WorkerEnded; the thread objects are joined
    // and freed with the dispatcher.
    std::atomic<TDispatcherThread*> m_comThread{nullptr};
    std::atomic<TDispatcherThread*> m_dispThread{nullptr};
    std::atomic<TDispatcherThread*> m_outThread{nullptr};
    std::vector<std::unique_ptr<TDispatcherThread>> m_threadObjects;  // StateLock
    std::atomic<int> m_threadCount{0};
    std::atomic<bool> m_workersActive{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_closeDeferred{false};
    std::atomic<bool> m_releaseOnExit{false};

private:
    bool m_shutDown = false;  // user-interface thread
};

// The device class on the serial device operations of platform/.
class TWin32Dispatcher : public TBaseDispatcher {
public:
    explicit TWin32Dispatcher(TCustomComPort* owner);
    ~TWin32Dispatcher() override;

    int DeviceEscape(int function) override;
    int DevicePurge(int queue) override;
    uint32_t DeviceStatus(platform::DeviceQueueStatus& status) override;
    int DeviceReadError(int code) override;
    int DeviceGetState(platform::DeviceState& state) override;
    int DeviceRead(uint8_t* buffer, uint32_t n) override;
    int DeviceSetState(const platform::DeviceState& state) override;
    int DeviceWrite(const uint8_t* buffer, uint32_t n) override;
    bool DeviceWaitEvent(uint32_t& mask) override;
    bool DeviceSetQueues(uint32_t inSize, uint32_t outSize) override;
    void StartWorkers() override;
    void StopWorkers() override;
    int DeviceOpen(const std::string& name, uint32_t inSize, uint32_t outSize) override;
    int DeviceClose() override;
    int DeviceIdle() override;
};

// Worker threads. Each starts running when created and ends by itself.
class TDispatcherThread {
public:
    explicit TDispatcherThread(TBaseDispatcher& dispatcher) : m_dispatcher(dispatcher) {}
    virtual ~TDispatcherThread();
    void start();

protected:
    virtual void Execute() = 0;
    // Runs Execute; an exception that escapes is shown and the thread ends.
    void run();
    TBaseDispatcher& m_dispatcher;

private:
    std::thread m_thread;
};

class TComThread : public TDispatcherThread {
public:
    using TDispatcherThread::TDispatcherThread;

protected:
    void Execute() override;
};

class TDispThread : public TDispatcherThread {
public:
    using TDispatcherThread::TDispatcherThread;

protected:
    void Execute() override;
};

class TOutThread : public TDispatcherThread {
public:
    using TDispatcherThread::TDispatcherThread;

protected:
    void Execute() override;
};

}  // namespace serial
