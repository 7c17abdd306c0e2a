#include "serial/dispatcher.h"

#include <cstring>
#include <system_error>
#include <thread>

#include "platform/clock.h"
#include "platform/system_error.h"
#include "serial/dispatcher_table.h"
#include "serial/exception_display.h"
#include "serial/pump.h"

namespace serial {

using platform::DeviceQueueStatus;
using platform::DeviceState;

namespace {

uint32_t legacyRate(uint32_t rate) {
    switch (rate) {
        case 0xFEFF:
            return 115200;
        case 0xFF10:
            return 110;
        case 0xFF11:
            return 300;
        case 0xFF12:
            return 600;
        case 0xFF13:
            return 1200;
        case 0xFF14:
            return 2400;
        case 0xFF15:
            return 4800;
        case 0xFF16:
            return 9600;
        case 0xFF17:
            return 14400;
        case 0xFF18:
            return 19200;
        case 0xFF1B:
            return 38400;
        case 0xFF1F:
            return 56000;
        case 0xFF23:
            return 128000;
        case 0xFF27:
            return 256000;
        default:
            return rate;
    }
}

}  // namespace

uint32_t OutputDrainSleepMs(uint32_t appliedBaud, const DeviceState& state) {
    uint32_t bits = state.byteSize + 2u + (state.parity != 0 ? 1u : 0u) +
                    (state.stopBits != platform::kOneStopBit ? 1u : 0u);
    uint32_t rate = legacyRate(appliedBaud);
    if (rate == 0) {
        return 0;  // no rate known: nothing to wait for (and no division by zero)
    }
    uint64_t t = uint64_t(10000000u / rate) * bits * 18u;  // tenths of a microsecond
    if (t < 10000) {
        t *= 2;
    }
    return uint32_t((t + 9999) / 10000);
}

// ---------------------------------------------------------------------------------------
// Creation and destruction

TBaseDispatcher::TBaseDispatcher(TCustomComPort* owner) : m_owner(owner) {
    m_dispatcherHandle = DispatcherTable::instance().add(this);
}

TBaseDispatcher::~TBaseDispatcher() {
    // The device class has closed the device and waited for the workers; what is left
    // of each thread is its last return.
    m_threadObjects.clear();
    DispatcherTable::instance().remove(m_dispatcherHandle);
}

void TBaseDispatcher::shutDownForDestruction() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    if (m_closeDeferred.load()) {
        ReleaseBuffers();
    } else {
        CloseDevice();
    }
    while (m_threadCount.load() > 0) {
        pumpWhileWaiting();
    }
}

// ---------------------------------------------------------------------------------------
// Opening, closing, line settings

int TBaseDispatcher::OpenDevice(const std::string& name, int32_t baud, int parity, int dataBits,
                                int stopBits, uint32_t inSize, uint32_t outSize, uint32_t options) {
    m_ringLatch.store(false);
    {
        std::lock_guard state(m_stateLock);
        m_deliveryBusy.store(false);
        m_purgePending = false;
    }
    m_signals.create();

    int handle = DeviceOpen(name, inSize, outSize);
    if (handle < 0) {
        int code = handle == -8 ? -8 : -m_lastSystemError;
        CloseDevice();
        return code;
    }
    if (!DeviceSetQueues(inSize, outSize)) {
        int code = -m_lastSystemError;
        CloseDevice();
        return code;
    }
    if (outSize == 0) {
        outSize = 1;  // a ring needs room for at least one byte
    }
    {
        std::lock_guard in(m_inputLock);
        std::lock_guard out(m_outputLock);
        m_inRing = std::make_unique<uint8_t[]>(kInRingSize);
        m_outRing = std::make_unique<uint8_t[]>(outSize);
        m_outHead = m_outTail = 0;
        m_outFull = false;
        m_outQueueSize = outSize;
        m_inFull = false;
        m_takenCount = 0;
    }
    m_lineErrorFlags.store(0);
    m_outputSent.store(false);
    m_closeDeferred.store(false);
    {
        std::lock_guard state(m_stateLock);
        m_inQueueSize = inSize;
        m_rs485Active = false;
        DeviceGetState(m_deviceSettings);
        if (options & kOptionDtrHardware) {
            m_dtrHandshake = true;
        } else {
            m_dtrHandshake = false;
            SetDtrLine((options & kOptionDtrOn) != 0);
        }
        if (options & kOptionRtsHardware) {
            m_rtsHandshake = true;
        } else {
            m_rtsHandshake = false;
            SetRtsLine((options & kOptionRtsOn) != 0);
        }
    }
    ClearAllTriggers();
    {
        std::lock_guard in(m_inputLock);
        m_scanPos = m_notifyPos = 0;
        m_readEventActive = false;
        m_inHead = m_inTail = 0;
    }
    {
        std::lock_guard state(m_stateLock);
        for (auto it = m_statusTriggers.rbegin(); it != m_statusTriggers.rend(); ++it) {
            it->hit = false;
        }
        uint32_t lines = 0;
        m_device->modemStatus(lines);
        m_modemStatusByte = uint8_t(lines & 0xF0);
        m_appliedBaud = 115200;
    }
    int r = SetLineParams(baud, parity, dataBits, stopBits);
    if (r < 0) {
        CloseDevice();
        return r;
    }
    RefreshDeviceStatus();
    {
        std::lock_guard state(m_stateLock);
        m_trace.Drop();
        m_log.Drop();
        m_openTimeMs = platform::ClockMs();
    }
    try {
        StartWorkers();
    } catch (const std::system_error&) {
        // A worker thread could not be made: the system is out of threads or memory.
        CloseDevice();
        return -platform::kErrorNotEnoughMemory;
    }
    return 0;
}

void TBaseDispatcher::CloseDevice() {
    if (m_deviceOpen.load()) {
        FlushOutput();
        FlushInput();
        DeviceClose();
    }
    bool busy;
    {
        std::lock_guard state(m_stateLock);
        busy = m_deliveryBusy.load();
        if (busy) {
            // The delivering thread ends by itself (StopRequested is set) and releases
            // the rest when it goes.
            m_closeDeferred.store(true);
        }
    }
    if (!busy) {
        ReleaseBuffers();
    }
}

int TBaseDispatcher::SetLineParams(int32_t baud, int parity, int dataBits, int stopBits) {
    DeviceState current;
    {
        std::lock_guard state(m_stateLock);
        DeviceGetState(m_deviceSettings);
        current = m_deviceSettings;
    }
    if (stopBits != 3) {
        stopBits = stopBits < 1 ? 1 : stopBits > 2 ? 2 : stopBits;
    }
    uint32_t newBaud = baud == 0 ? current.baud : uint32_t(baud);
    uint8_t newParity = parity == 5 ? current.parity : uint8_t(parity);
    uint8_t newSize = dataBits == 9 ? current.byteSize : uint8_t(dataBits);
    uint8_t newStop = current.stopBits;
    if (stopBits == 1) {
        newStop = platform::kOneStopBit;
    } else if (stopBits == 2) {
        newStop = platform::kTwoStopBits;
    }
    if (newSize == 5) {
        newStop = platform::kOne5StopBits;
    }
    if (newBaud == current.baud && newParity == current.parity && newSize == current.byteSize &&
        newStop == current.stopBits) {
        return 0;
    }
    WaitOutputDrain();
    std::lock_guard state(m_stateLock);
    DeviceGetState(m_deviceSettings);
    m_deviceSettings.baud = newBaud;
    m_deviceSettings.parity = newParity;
    m_deviceSettings.byteSize = newSize;
    m_deviceSettings.stopBits = newStop;
    return ApplyDeviceState(m_deviceSettings);
}

void TBaseDispatcher::WaitOutputDrain() {
    for (int i = 0; i < 5000 && OutputCount() != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    DeviceState s;
    uint32_t baud;
    {
        std::lock_guard state(m_stateLock);
        DeviceGetState(s);
        baud = m_appliedBaud;
    }
    if (uint32_t ms = OutputDrainSleepMs(baud, s)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void TBaseDispatcher::RefreshDeviceStatus() {
    std::lock_guard out(m_outputLock);
    uint32_t errors = DeviceStatus(m_deviceStatusRecord);
    m_lineErrorFlags.fetch_or(errors & 0x1F);
}

// ---------------------------------------------------------------------------------------
// Input ring

uint32_t TBaseDispatcher::usedLocked() const {
    if (m_inTail < m_inHead) {
        return m_inHead - m_inTail;
    }
    if (m_inTail > m_inHead) {
        return m_inHead + kInRingSize - m_inTail;
    }
    return m_inFull ? kInRingSize : 0;
}

bool TBaseDispatcher::FillInRing() {
    std::lock_guard in(m_inputLock);
    if (!m_inRing) {
        return false;
    }
    if (m_inFull) {
        m_refillWanted = true;
        return true;
    }
    uint32_t n;
    {
        std::lock_guard out(m_outputLock);
        RefreshDeviceStatus();
        n = m_deviceStatusRecord.inQueue;
    }
    if (n == 0) {
        return false;
    }
    uint32_t free = kInRingSize - usedLocked();
    uint32_t first = m_inTail <= m_inHead ? kInRingSize - m_inHead : m_inTail - m_inHead;
    uint32_t want = std::min(free, n);
    uint32_t second = first < want ? want - first : 0;
    if (first > 0) {
        int got = DeviceRead(m_inRing.get() + m_inHead, first);
        uint32_t k = got > 0 ? uint32_t(got) : 0;
        AddLogEntry(1, 1, k, m_inRing.get() + m_inHead, k);
        m_inHead += k;
        if (k < first) {
            second = 0;
        }
        if (m_inHead == kInRingSize) {
            m_inHead = 0;
        }
        if (k > 0) {
            m_inFull = m_inHead == m_inTail;
        }
    }
    if (second > 0) {
        int got = DeviceRead(m_inRing.get() + m_inHead, second);
        uint32_t k = got > 0 ? uint32_t(got) : 0;
        AddLogEntry(1, 1, k, m_inRing.get() + m_inHead, k);
        m_inHead += k;
        m_inFull = m_inHead == m_inTail;
    }
    if (m_inFull) {
        m_refillWanted = true;
    }
    return true;
}

void TBaseDispatcher::wakeForRefillLocked() {
    if (m_refillWanted && usedLocked() <= kInRingSize / 2) {
        m_refillWanted = false;
        m_signals.set(Signal::CommEventSignal);
    }
}

bool TBaseDispatcher::CharAvailable() {
    std::lock_guard in(m_inputLock);
    if (!m_inRing) {
        return false;
    }
    if (!m_readEventActive) {
        return m_inHead != m_inTail || m_inFull;
    }
    uint32_t p = (m_inTail + m_takenCount) % kInRingSize;
    return p != m_inHead || (m_inFull && m_takenCount < kInRingSize);
}

int TBaseDispatcher::PeekInput(uint32_t n, uint8_t& c) {
    std::lock_guard in(m_inputLock);
    if (!m_inRing || n == 0 || n > usedLocked()) {
        return kErrBufferEmpty;
    }
    c = m_inRing[(m_inTail + n - 1) % kInRingSize];
    return 0;
}

int TBaseDispatcher::ReadChar(uint8_t& c) {
    std::lock_guard in(m_inputLock);
    if (m_readEventActive) {
        ++m_takenCount;
        int r = PeekInput(m_takenCount, c);
        if (r < 0) {
            --m_takenCount;
        } else {
            AddTraceEntry('R', &c, 1);
        }
        return r;
    }
    int r = PeekInput(1, c);
    if (r == 0) {
        AddTraceEntry('R', &c, 1);
        m_inTail = (m_inTail + 1) % kInRingSize;
        m_inFull = false;
        wakeForRefillLocked();
    }
    return r;
}

uint32_t TBaseDispatcher::InputCount() {
    std::lock_guard in(m_inputLock);
    uint32_t used = usedLocked();
    return m_readEventActive ? used - std::min(used, m_takenCount) : used;
}

int TBaseDispatcher::FlushInput() {
    std::lock_guard in(m_inputLock);
    int r = m_deviceOpen.load() ? DevicePurge(1) : 0;
    if (m_readEventActive) {
        m_maxTakenCount = usedLocked();
    } else {
        m_inTail = m_inHead;
        m_takenCount = 0;
    }
    m_inFull = false;
    wakeForRefillLocked();
    std::lock_guard state(m_stateLock);
    for (auto& t : m_dataTriggers) {
        std::fill(std::begin(t.counters), std::end(t.counters), 0u);
    }
    return r;
}

// ---------------------------------------------------------------------------------------
// Output ring

uint32_t TBaseDispatcher::transmitCountLocked() const {
    if (m_outFull) {
        return m_outQueueSize;
    }
    if (m_outTail < m_outHead) {
        return m_outHead - m_outTail;
    }
    if (m_outHead < m_outTail) {
        return m_outHead - m_outTail + m_outQueueSize;
    }
    return 0;
}

bool TBaseDispatcher::outputPendingLocked() const {
    return m_outFull || m_outHead != m_outTail;
}

void TBaseDispatcher::advanceOutputLocked(uint32_t k) {
    m_outTail += k;
    if (m_outTail == m_outQueueSize) {
        m_outTail = 0;
    }
    if (m_outTail == m_outHead) {
        m_outTail = m_outHead = 0;
    }
    m_outFull = false;
}

void TBaseDispatcher::resetOutputRingLocked() {
    m_outFull = false;
    m_outHead = m_outTail = 0;
}

int TBaseDispatcher::WriteBlock(const void* buffer, uint32_t length) {
    if (length == 0) {
        return 0;
    }
    {
        std::lock_guard out(m_outputLock);
        if (!m_outRing) {
            return kErrOutputTooSmall;
        }
        if (m_deviceGone.load()) {
            return -platform::kErrorDeviceRemoved;
        }
        DeviceQueueStatus st;
        m_lineErrorFlags.fetch_or(DeviceStatus(st) & 0x1F);
        uint32_t free = m_outQueueSize - st.outQueue;
        if (length > free) {
            return kErrOutputTooSmall;
        }
        if (length == free) {
            m_outFull = true;
        }
        DeviceWrite(static_cast<const uint8_t*>(buffer), length);
        m_outputSent.store(true);
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    AddTraceEntry('T', bytes, length);
    AddLogEntry(1, 2, length, bytes, length);
    return 0;
}

uint32_t TBaseDispatcher::OutputCount() {
    std::lock_guard out(m_outputLock);
    RefreshDeviceStatus();
    return m_deviceStatusRecord.outQueue;
}

uint32_t TBaseDispatcher::OutputFree() {
    std::lock_guard out(m_outputLock);
    return m_outQueueSize - OutputCount();
}

int TBaseDispatcher::FlushOutput() {
    return m_deviceOpen.load() ? DevicePurge(0) : 0;
}

bool TBaseDispatcher::flushRequested() {
    if (!m_signals.take(Signal::OutputFlushSignal)) {
        return false;
    }
    m_signals.set(Signal::FlushAckSignal);
    return true;
}

void TBaseDispatcher::DrainOutput() {
    for (;;) {
        // A flush waits for the ring to be let go of: look for one before every write,
        // or a device that keeps taking bytes would get the whole ring first.
        if (flushRequested()) {
            return;
        }
        const uint8_t* run;
        uint32_t n;
        {
            std::lock_guard out(m_outputLock);
            if (!m_outRing || !outputPendingLocked()) {
                return;
            }
            uint8_t* ring = m_outRing.get();
            const uint32_t q = m_outQueueSize;
            if (m_outHead > m_outTail) {
                n = m_outHead - m_outTail;
            } else if (m_outHead == 0) {
                n = q - m_outTail;
            } else {
                // The waiting bytes wrap: make them one run at the start of the ring.
                std::vector<uint8_t> front(ring, ring + m_outHead);
                std::memmove(ring, ring + m_outTail, q - m_outTail);
                std::memcpy(ring + (q - m_outTail), front.data(), front.size());
                m_outHead += q - m_outTail;
                n = m_outHead;
                m_outTail = 0;
                if (m_outHead == q) {
                    // A full ring: keep the head inside it, or the end of this run would
                    // not be seen as "all sent" and the ring would go out twice.
                    m_outHead = 0;
                }
            }
            run = ring + m_outTail;
        }
        int k = m_device->write(run, n);
        if (k < 0 || uint32_t(k) >= n) {
            // Sent, or refused by the device: either way those bytes are done with.
            std::lock_guard out(m_outputLock);
            advanceOutputLocked(n);
            continue;
        }
        uint32_t remaining = n - uint32_t(k);
        if (k > 0) {
            std::lock_guard out(m_outputLock);
            advanceOutputLocked(uint32_t(k));
        }
        // The driver's queue is full: wait until it takes more, or until a flush
        // abandons the rest.
        for (;;) {
            int w = m_device->waitWritable(500);
            if (flushRequested()) {
                return;
            }
            if (w > 0) {
                break;
            }
            if (w < 0) {
                std::lock_guard out(m_outputLock);
                advanceOutputLocked(remaining);
                break;
            }
            if (m_stopRequested.load()) {
                return;
            }
        }
    }
}

void TBaseDispatcher::SetWorkerPriority(int) {
    // All workers run at the normal priority: the component only ever passes 0.
}

// ---------------------------------------------------------------------------------------
// State

bool TBaseDispatcher::DeviceIsOpen() {
    return m_deviceOpen.load();
}

bool TBaseDispatcher::RingsAllocated() {
    std::lock_guard in(m_inputLock);
    std::lock_guard out(m_outputLock);
    return m_inRing && m_outRing;
}

uint32_t TBaseDispatcher::AppliedBaud() {
    std::lock_guard state(m_stateLock);
    return m_appliedBaud;
}

DeviceState TBaseDispatcher::DeviceSettings() {
    std::lock_guard state(m_stateLock);
    return m_deviceSettings;
}

uint32_t TBaseDispatcher::OutQueueSize() {
    std::lock_guard out(m_outputLock);
    return m_outQueueSize;
}

// ---------------------------------------------------------------------------------------
// Workers

void TBaseDispatcher::ReleaseBuffers() {
    m_releaseOnExit.store(false);
    // Not under StateLock: the workers being waited for may need it to end their pass.
    if (m_workersActive.load()) {
        StopWorkers();
    }
    // The rings go under their own locks, taken in their order and without StateLock.
    std::lock_guard in(m_inputLock);
    std::lock_guard out(m_outputLock);
    m_outRing.reset();
    m_inRing.reset();
}

void TBaseDispatcher::WorkerEnded(TDispatcherThread* thread) {
    bool wasDispatcher = false;
    TDispatcherThread* expected = thread;
    if (m_comThread.compare_exchange_strong(expected, nullptr)) {
    } else if (expected = thread; m_dispThread.compare_exchange_strong(expected, nullptr)) {
        wasDispatcher = true;
    } else {
        expected = thread;
        m_outThread.compare_exchange_strong(expected, nullptr);
    }
    if (wasDispatcher && m_releaseOnExit.load()) {
        ReleaseBuffers();
    }
    if (m_threadCount.fetch_sub(1) == 1) {
        m_workersActive.store(false);
    }
}

TDispatcherThread::~TDispatcherThread() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void TDispatcherThread::start() {
    m_thread = std::thread([this] { run(); });
}

void TBaseDispatcher::startThread(TDispatcherThread& thread) {
    thread.start();
}

void TDispatcherThread::run() {
    try {
        Execute();
    } catch (const std::exception& e) {
        showException(e);
        m_dispatcher.m_releaseOnExit.store(false);
    } catch (...) {
        m_dispatcher.m_releaseOnExit.store(false);
    }
    m_dispatcher.WorkerEnded(this);
}

void TComThread::Execute() {
    TBaseDispatcher& d = m_dispatcher;
    d.m_device->setEventMask(platform::kEvRxChar | platform::kEvCts | platform::kEvDsr |
                             platform::kEvRlsd | platform::kEvBreak | platform::kEvErr |
                             platform::kEvRing);
    d.m_signals.set(Signal::ThreadAckSignal);
    for (;;) {
        uint32_t mask = 0;
        bool ok = d.DeviceWaitEvent(mask);
        if (d.m_stopRequested.load()) {
            return;
        }
        if (!ok || mask == 0) {
            // The wait failed: the device hung up or went away under us.
            d.reportDeviceGone();
            return;
        }
        d.m_commEventMask.store(mask);
        if (mask & platform::kEvRing) {
            d.m_ringLatch.store(true);
        }
        d.m_signals.set(Signal::CommEventSignal);
        d.m_signals.wait(Signal::DispatchDoneSignal, -1);
        if (d.m_stopRequested.load()) {
            return;
        }
    }
}

void TDispThread::Execute() {
    TBaseDispatcher& d = m_dispatcher;
    d.m_signals.set(Signal::ThreadAckSignal);
    for (;;) {
        d.m_signals.wait(Signal::CommEventSignal, 50);
        if (d.m_stopRequested.load()) {
            break;
        }
        d.ServiceCommEvent();
        d.ServiceTimersAndStatus();
        if (d.m_stopRequested.load() || d.m_closeDeferred.load()) {
            break;
        }
    }
    d.m_releaseOnExit.store(d.m_closeDeferred.load() || d.m_stopRequested.load());
}

void TOutThread::Execute() {
    TBaseDispatcher& d = m_dispatcher;
    d.m_signals.set(Signal::ThreadAckSignal);
    for (;;) {
        int s = d.m_signals.waitAny(Signal::OutputReadySignal, Signal::OutputFlushSignal, -1);
        if (s == int(Signal::OutputReadySignal)) {
            if (d.m_stopRequested.load()) {
                return;
            }
            d.DrainOutput();
        } else if (s == int(Signal::OutputFlushSignal)) {
            d.m_signals.set(Signal::FlushAckSignal);
        } else {
            return;  // the signals were closed
        }
        if (d.m_stopRequested.load() || d.m_closeDeferred.load()) {
            return;
        }
    }
}

}  // namespace serial
