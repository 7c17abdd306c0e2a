// The device class of the dispatcher, on the serial device operations of platform/.

#include <sched.h>

#include <cstring>

#include "platform/port_names.h"
#include "platform/system_error.h"
#include "serial/dispatcher.h"
#include "serial/pump.h"
#include "serial/serial_exceptions.h"

namespace serial {

using platform::DeviceQueueStatus;
using platform::DeviceState;

namespace {
constexpr int kStartAckMs = 3000;
constexpr int kFlushAckMs = 5000;
}  // namespace

TWin32Dispatcher::TWin32Dispatcher(TCustomComPort* owner) : TBaseDispatcher(owner) {}

TWin32Dispatcher::~TWin32Dispatcher() {
    shutDownForDestruction();
}

int TWin32Dispatcher::DeviceOpen(const std::string& name, uint32_t, uint32_t) {
    auto path = platform::devicePathForName(name);
    if (!path) {
        m_lastSystemError = 2;
        return -1;
    }
    int err = 0;
    auto device = platform::serialDeviceOpener()(*path, err);
    if (!device) {
        m_lastSystemError = err != 0 ? err : 2;
        return m_lastSystemError == 8 ? -8 : -1;
    }
    m_device = std::move(device);
    m_deviceOpen.store(true);
    return 0;
}

int TWin32Dispatcher::DeviceClose() {
    if (!m_device) {
        return -1;
    }
    if (m_workersActive.load()) {
        m_stopRequested.store(true);
        m_device->setEventMask(0);
        m_signals.set(Signal::DispatchDoneSignal);
    }
    int r = m_device->close();
    // A failed close still gives the descriptor back on this system: the device counts
    // as closed either way.
    m_deviceOpen.store(false);
    return r < 0 ? -1 : 0;
}

int TWin32Dispatcher::DeviceEscape(int function) {
    if (m_device) {
        m_device->escape(function);
    }
    return 0;
}

int TWin32Dispatcher::DevicePurge(int queue) {
    if (!m_device) {
        return 0;
    }
    if (queue == 0) {
        if (m_outThread.load()) {
            // The output thread answers once it has let go of the ring; only then may
            // the ring be emptied under it.
            m_signals.reset(Signal::FlushAckSignal);
            m_signals.set(Signal::OutputFlushSignal);
            m_device->cancelWriteWait();
            m_signals.wait(Signal::FlushAckSignal, kFlushAckMs);
        }
        std::lock_guard out(m_outputLock);
        resetOutputRingLocked();
        return m_device->purge(false, true);
    }
    return m_device->purge(true, false);
}

uint32_t TWin32Dispatcher::DeviceStatus(DeviceQueueStatus& status) {
    uint32_t errors = 0;
    if (m_device && m_device->status(status) == 0) {
        errors = status.errors;
    } else {
        status = DeviceQueueStatus{};
    }
    std::lock_guard out(m_outputLock);
    status.outQueue = transmitCountLocked();
    return errors;
}

int TWin32Dispatcher::DeviceReadError(int) {
    return 0;
}

int TWin32Dispatcher::DeviceGetState(DeviceState& state) {
    return m_device && m_device->getState(state) == 0 ? 0 : -1;
}

int TWin32Dispatcher::DeviceRead(uint8_t* buffer, uint32_t n) {
    int r = m_device ? m_device->read(buffer, n) : 0;
    return r > 0 ? r : 0;
}

int TWin32Dispatcher::DeviceSetState(const DeviceState& state) {
    if (!m_device) {
        return -platform::kErrorInvalidHandle;
    }
    int r = m_device->setState(state);
    if (r < 0) {
        m_lastSystemError = -r;
    }
    return r < 0 ? r : 0;
}

int TWin32Dispatcher::DeviceWrite(const uint8_t* buffer, uint32_t length) {
    std::lock_guard out(m_outputLock);
    uint8_t* ring = m_outRing.get();
    uint32_t r = m_outQueueSize - m_outHead;
    if (r < length) {
        std::memcpy(ring + m_outHead, buffer, r);
        std::memcpy(ring, buffer + r, length - r);
        m_outHead = length - r;
    } else {
        std::memcpy(ring + m_outHead, buffer, length);
        m_outHead = r == length ? 0 : m_outHead + length;
    }
    m_signals.set(Signal::OutputReadySignal);
    return int(length);
}

bool TWin32Dispatcher::DeviceWaitEvent(uint32_t& mask) {
    uint32_t events = 0;
    int r = m_device ? m_device->waitEvent(events) : -platform::kErrorInvalidHandle;
    if (r == 0) {
        mask = events;
        return true;
    }
    if (r == -platform::kErrorOperationAborted) {
        mask = 0;  // the mask was set to 0: the wait completes with no event
        return true;
    }
    return false;
}

bool TWin32Dispatcher::DeviceSetQueues(uint32_t inSize, uint32_t outSize) {
    if (!m_device) {
        return false;
    }
    int r = m_device->setQueues(inSize, outSize);
    if (r < 0) {
        m_lastSystemError = -r;
    }
    return r == 0;
}

int TWin32Dispatcher::DeviceIdle() {
    sched_yield();
    return 0;
}

void TWin32Dispatcher::StartWorkers() {
    if (m_workersActive.exchange(true)) {
        throw Exception("Dispatcher already started");
    }
    m_stopRequested.store(false);
    auto launch = [&](std::unique_ptr<TDispatcherThread> thread,
                      std::atomic<TDispatcherThread*>& reference) {
        // Counted before it runs, so that nobody sees the count at 0 while a thread is
        // still about to start; a thread that does not start is taken off again.
        TDispatcherThread* t = thread.get();
        m_threadCount.fetch_add(1);
        reference.store(t);
        try {
            startThread(*t);
        } catch (...) {
            reference.store(nullptr);
            if (m_threadCount.fetch_sub(1) == 1) {
                m_workersActive.store(false);
            }
            throw;
        }
        {
            std::lock_guard state(m_stateLock);
            m_threadObjects.push_back(std::move(thread));
        }
        m_signals.wait(Signal::ThreadAckSignal, kStartAckMs);
    };
    launch(std::make_unique<TComThread>(*this), m_comThread);
    launch(std::make_unique<TDispThread>(*this), m_dispThread);
    launch(std::make_unique<TOutThread>(*this), m_outThread);
}

void TWin32Dispatcher::StopWorkers() {
    // Without StateLock: the dispatcher thread may need it to finish its pass, and
    // waiting for it under the lock would stall both until a time limit ran out.
    if (!m_workersActive.load()) {
        return;
    }
    m_stopRequested.store(true);
    if (m_device) {
        m_device->setEventMask(0);
        m_device->cancelWriteWait();
    }
    // Closing the signals ends every wait of the workers at once.
    m_signals.close();
    // Each ends by itself now; a delivery of the dispatcher thread's may still be on its
    // way to this thread, so keep answering. The thread calling this (the dispatcher
    // thread finishing a deferred close) has cleared its own reference already. The
    // threads are joined once, with the dispatcher.
    for (auto* reference : {&m_outThread, &m_comThread, &m_dispThread}) {
        while (reference->load()) {
            pumpWhileWaiting();
        }
    }
}

}  // namespace serial
