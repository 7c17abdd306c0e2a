// The dispatcher's trigger lists and registered windows: adding, arming and removing
// triggers, and copying the set out and back across a re-open of the port.

#include "serial/dispatcher.h"

#include <algorithm>

#include "serial/pump.h"

namespace serial {

namespace {
constexpr int32_t kErrTriggerTooLong = -5002;
constexpr int32_t kErrBadTriggerHandle = -5003;
}  // namespace

void TBaseDispatcher::ClearStatusHits() {
    std::lock_guard state(m_stateLock);
    for (auto it = m_statusTriggers.rbegin(); it != m_statusTriggers.rend(); ++it) {
        it->hit = false;
    }
    m_statusHitSeen = false;
}

void TBaseDispatcher::ClearDataMatches() {
    std::lock_guard state(m_stateLock);
    for (auto& t : m_dataTriggers) {
        std::fill(std::begin(t.counters), std::end(t.counters), 0u);
    }
}

int32_t TBaseDispatcher::AddDataTrigger(const std::string& text, bool ignoreCase) {
    if (text.empty()) {
        return kErrBadArgument;
    }
    if (text.size() > size_t(kDataTriggerCounters)) {
        return kErrTriggerTooLong;  // one partial-match counter per character
    }
    std::lock_guard state(m_stateLock);
    DataTrigger t;
    t.handle = m_nextTriggerHandle++ << 3;
    t.length = uint32_t(text.size());
    t.ignoreCase = ignoreCase ? 1 : 0;
    t.text = text;
    if (ignoreCase) {
        std::transform(t.text.begin(), t.text.end(), t.text.begin(),
                       [](char c) { return char(upperAnsi(uint8_t(c))); });
    }
    m_dataTriggers.push_back(t);
    return int32_t(t.handle);
}

int32_t TBaseDispatcher::AddTimerTrigger() {
    std::lock_guard state(m_stateLock);
    TimerTrigger t;
    t.handle = m_nextTriggerHandle++ << 3;
    m_timerTriggers.push_back(t);
    return int32_t(t.handle);
}

int32_t TBaseDispatcher::SetTimerTrigger(uint32_t handle, int32_t ticks, bool activate) {
    std::lock_guard state(m_stateLock);
    for (auto& t : m_timerTriggers) {
        if (t.handle == handle) {
            t.ticks = ticks;
            if (activate) {
                platform::StartTickTimer(t.timer, ticks);
            }
            t.active = activate ? 1 : 0;
            return 0;
        }
    }
    return kErrBadTriggerHandle;
}

int32_t TBaseDispatcher::AddStatusTrigger(uint32_t type) {
    if (type < 1 || type > 5) {
        return kErrBadArgument;
    }
    std::lock_guard state(m_stateLock);
    StatusTrigger t;
    t.handle = (m_nextTriggerHandle++ << 3) | type;
    t.type = type;
    m_statusTriggers.push_back(t);
    return int32_t(t.handle);
}

int32_t TBaseDispatcher::SetStatusTrigger(uint32_t handle, uint16_t data, bool enable) {
    std::lock_guard state(m_stateLock);
    for (auto& t : m_statusTriggers) {
        if (t.handle == handle) {
            t.data = data;
            t.enabled = enable;
            t.hit = false;
            return 0;
        }
    }
    return kErrBadTriggerHandle;
}

int32_t TBaseDispatcher::RemoveTrigger(uint32_t handle) {
    std::lock_guard state(m_stateLock);
    auto drop = [&](auto& list) {
        auto it = std::find_if(list.begin(), list.end(),
                               [&](const auto& t) { return t.handle == handle; });
        if (it == list.end()) {
            return false;
        }
        list.erase(it);
        return true;
    };
    if (drop(m_dataTriggers) || drop(m_timerTriggers) || drop(m_statusTriggers)) {
        return 0;
    }
    return kErrBadTriggerHandle;
}

void TBaseDispatcher::AddWindowHandler(platform::HandlerId window) {
    AddWindowHandler(window, messageQueue());
}

void TBaseDispatcher::AddWindowHandler(platform::HandlerId window, platform::MessageQueue* queue) {
    std::lock_guard state(m_stateLock);
    m_windowHandlers.push_back({window, queue, false});
    m_deliveryWanted.store(true);
    AddLogEntry(7, 17, uint32_t(window));
    if (m_deviceGone.load()) {
        // Gone before the window came: it must still hear of it.
        postDeviceGone();
    }
}

void TBaseDispatcher::RemoveWindowHandler(platform::HandlerId window) {
    std::lock_guard state(m_stateLock);
    for (auto it = m_windowHandlers.begin(); it != m_windowHandlers.end(); ++it) {
        if (it->window == window) {
            AddLogEntry(8, 17, uint32_t(window));
            if (m_deliveryBusy.load()) {
                it->deleted = true;
                m_purgePending = true;
            } else {
                m_windowHandlers.erase(it);
            }
            return;
        }
    }
}

void TBaseDispatcher::SetAvailThreshold(uint32_t n) {
    std::lock_guard state(m_stateLock);
    m_availThreshold = n;
    AddLogEntry(9, 16, n);
}

uint32_t TBaseDispatcher::AvailThreshold() {
    std::lock_guard state(m_stateLock);
    return m_availThreshold;
}

void TBaseDispatcher::ClearAllTriggers() {
    std::lock_guard state(m_stateLock);
    m_availThreshold = 0;
    m_timerTriggers.clear();
    m_dataTriggers.clear();
    m_statusTriggers.clear();
}

void TBaseDispatcher::CopyTriggersOut(TriggerSet& snapshot) {
    std::lock_guard state(m_stateLock);
    snapshot = TriggerSet{};
    snapshot.availThreshold = m_availThreshold;
    snapshot.timers = m_timerTriggers;
    snapshot.data = m_dataTriggers;
    snapshot.status = m_statusTriggers;
}

void TBaseDispatcher::CopyTriggersIn(const TriggerSet& snapshot) {
    std::lock_guard state(m_stateLock);
    m_availThreshold = snapshot.availThreshold;
    m_timerTriggers = snapshot.timers;
    m_dataTriggers = snapshot.data;
    m_statusTriggers = snapshot.status;
}

void TBaseDispatcher::RefreshDeliveryFlags(int mode) {
    std::lock_guard state(m_stateLock);
    bool others = m_windowHandlers.size() > 1;
    switch (mode) {
        case 0:
            m_deliveryWanted.store(others || m_portHandlerOn);
            break;
        case 1:
            m_portHandlerOn = true;
            m_deliveryWanted.store(true);
            break;
        case 2:
            m_portHandlerOn = false;
            m_deliveryWanted.store(others);
            break;
        default:
            break;
    }
}

}  // namespace serial
