// The delivery of trigger messages from the dispatcher thread to each port window, on
// the thread whose queue the window was added with.

#include "serial/dispatcher.h"

#include <algorithm>

namespace serial {

namespace {
// A port window that has not answered by then is passed over.
constexpr int kSendTimeoutMs = 3000;
}  // namespace

bool TBaseDispatcher::ExchangeDeliveryBusy(bool value) {
    std::lock_guard state(m_stateLock);
    return m_deliveryBusy.exchange(value);
}

uint32_t TBaseDispatcher::BeginReadEvent(uint32_t offered) {
    std::lock_guard in(m_inputLock);
    m_readEventActive = true;
    m_takenCount = 0;
    return std::min(offered, usedLocked());
}

bool TBaseDispatcher::claimDelivery() {
    std::lock_guard state(m_stateLock);
    if (m_deliveryBusy.load()) {
        return false;
    }
    m_deliveryBusy.store(true);
    return true;
}

bool TBaseDispatcher::DeliverTrigger(uint32_t msg, uint32_t triggerHandle, uint32_t data) {
    bool result = true;
    m_deliveryRefused = false;
    static constexpr struct {
        uint32_t msg;
        uint8_t subkind;
    } kLogged[] = {
        {MsgTriggerAvail, 5}, {MsgTriggerTimer, 6}, {MsgTriggerData, 7}, {MsgTriggerStatus, 8}};
    for (const auto& l : kLogged) {
        if (l.msg == msg) {
            AddLogEntry(2, l.subkind, triggerHandle);
        }
    }
    if (!m_deliveryWanted.load()) {
        return true;
    }
    if (!claimDelivery()) {
        m_deliveryRefused = true;
        return false;
    }
    const intptr_t lParam = intptr_t((data & 0xFFFF) + (m_dispatcherHandle << 16));
    bool cut = false;
    size_t count;
    bool toWindows;
    {
        std::lock_guard state(m_stateLock);
        count = m_windowHandlers.size();
        const bool anyQueue = std::any_of(m_windowHandlers.begin(), m_windowHandlers.end(),
                                          [](const WindowHandler& w) { return w.queue; });
        toWindows = anyQueue && (count > 1 || m_portHandlerOn);
    }
    // Characters are read ahead only inside a handler: the port window switches that on
    // as the handler starts (BeginReadEvent). A reader outside a handler, before it runs
    // or with nobody to call, keeps taking them for good.
    const bool readEvent = toWindows && (msg == MsgTriggerAvail || msg == MsgTriggerData);
    {
        std::lock_guard in(m_inputLock);
        m_maxTakenCount = 0;
        m_takenCount = 0;
        m_readEventActive = false;
    }
    for (size_t i = 0; toWindows && i < count; ++i) {
        platform::HandlerId window = platform::kNoHandler;
        platform::MessageQueue* queue = nullptr;
        {
            std::lock_guard state(m_stateLock);
            if (i < m_windowHandlers.size() && !m_windowHandlers[i].deleted) {
                window = m_windowHandlers[i].window;
                queue = m_windowHandlers[i].queue;
            }
        }
        {
            std::lock_guard in(m_inputLock);
            m_takenCount = 0;
        }
        if (window != platform::kNoHandler && queue) {
            queue->send(window, platform::Message{msg, triggerHandle, lParam}, kSendTimeoutMs);
        }
        if (m_closeDeferred.load()) {
            result = false;
            cut = true;
            break;
        }
        std::lock_guard in(m_inputLock);
        m_maxTakenCount = std::max(m_maxTakenCount, m_takenCount);
    }
    if (!cut && readEvent) {
        std::lock_guard in(m_inputLock);
        // A handler that outlived its time limit may still be taking characters: what
        // it took counts, so it does not see them twice.
        m_maxTakenCount = std::max(m_maxTakenCount, m_takenCount);
        m_readEventActive = false;
        if (m_inRing) {
            m_inTail = (m_inTail + std::min(m_maxTakenCount, usedLocked())) % kInRingSize;
            if (m_maxTakenCount > 0) {
                m_inFull = false;
            }
            wakeForRefillLocked();
        }
        if (msg == MsgTriggerAvail && m_maxTakenCount != triggerHandle) {
            result = false;
        }
    }
    std::lock_guard state(m_stateLock);
    m_deliveryBusy.store(false);  // the value before the claim
    if (m_purgePending) {
        for (size_t i = m_windowHandlers.size(); i-- > 0;) {
            if (m_windowHandlers[i].deleted) {
                m_windowHandlers.erase(m_windowHandlers.begin() + ptrdiff_t(i));
            }
        }
        m_purgePending = false;
        RefreshDeliveryFlags(0);
    }
    return result;
}

void TBaseDispatcher::reportDeviceGone() {
    if (m_deviceGone.exchange(true)) {
        return;
    }
    // What arrived before the hang-up still goes into the ring.
    m_signals.set(Signal::CommEventSignal);
    postDeviceGone();
}

void TBaseDispatcher::postDeviceGone() {
    std::vector<WindowHandler> windows;
    {
        std::lock_guard state(m_stateLock);
        for (const auto& w : m_windowHandlers) {
            if (!w.deleted && w.queue) {
                windows.push_back(w);
            }
        }
    }
    const intptr_t lParam = intptr_t(m_dispatcherHandle) << 16;
    for (const WindowHandler& w : windows) {
        w.queue->post(w.window, platform::Message{MsgDeviceGone, 0, lParam});
    }
}

}  // namespace serial
