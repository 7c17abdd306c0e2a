// Trigger scans of the dispatcher thread and the delivery of trigger messages to the
// port window on the user-interface thread.

#include <algorithm>

#include "platform/clock.h"
#include "serial/dispatcher.h"
#include "serial/pump.h"

namespace serial {

namespace {

constexpr int kSendTimeoutMs = 3000;
constexpr int32_t kErrTriggerTooLong = -5002;
constexpr int32_t kErrBadTriggerHandle = -5003;

uint8_t upperAnsi(uint8_t c) {
    return c >= 'a' && c <= 'z' ? uint8_t(c - 'a' + 'A') : c;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Trigger lists

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

// ---------------------------------------------------------------------------------------
// Modem status and line errors

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
    std::lock_guard state(m_stateLock);
    uint32_t f = m_lineErrorFlags.load();
    static constexpr struct {
        uint32_t bit;
        uint16_t code;
    } kCodes[] = {{platform::kCeRxOver, 1},
                  {platform::kCeOverrun, 2},
                  {platform::kCeRxParity, 3},
                  {platform::kCeFrame, 4},
                  {platform::kCeBreak, 9}};
    for (const auto& c : kCodes) {
        if (f & c.bit) {
            m_lineErrorFlags.fetch_and(~0x0Fu);
            return c.code;
        }
    }
    return 0;
}

bool TBaseDispatcher::ReadLineBreak() {
    std::lock_guard state(m_stateLock);
    return (m_lineErrorFlags.fetch_and(~platform::kCeBreak) & platform::kCeBreak) != 0;
}

// ---------------------------------------------------------------------------------------
// Scans

bool TBaseDispatcher::MatchTriggerChar(uint32_t* counters, uint8_t c, uint32_t length,
                                       bool ignoreCase, const std::string& text) {
    bool found = false;
    if (ignoreCase) {
        c = upperAnsi(c);
    }
    const auto at = [&](uint32_t k) { return uint8_t(text[k]); };
    bool started = false;
    bool check = true;
    for (uint32_t i = 0; i < length; ++i) {
        if (check) {
            uint32_t k = counters[i];
            if (at(k) == c) {
                if (k == length - 1) {
                    counters[i] = 0;
                    found = true;
                    std::fill(counters, counters + kDataTriggerCounters, 0u);
                } else {
                    counters[i] = k + 1;
                }
            } else if (at(0) == c) {
                counters[i] = 1;
                started = true;
            } else {
                counters[i] = 0;
            }
        }
        if (counters[i] == 1) {
            started = true;
        }
        if (i == length - 1) {
            check = false;
        } else if (started) {
            check = counters[i + 1] != 0;  // only running matches advance
        } else {
            check = counters[i + 1] != 0 || at(0) == c;  // a new match may start here
        }
    }
    return found;
}

bool TBaseDispatcher::ScanReceived() {
    bool result = true;
    uint32_t p;
    {
        std::lock_guard in(m_inputLock);
        if (!m_inRing) {
            return false;
        }
        p = m_scanPos;
    }
    bool anyDataTrigger;
    {
        std::lock_guard state(m_stateLock);
        anyDataTrigger = !m_dataTriggers.empty();
    }
    for (; anyDataTrigger;) {
        uint8_t c;
        uint32_t head;
        uint32_t tail;
        {
            std::lock_guard in(m_inputLock);
            if (!m_inRing || p == m_inHead) {
                break;
            }
            c = m_inRing[p];
            head = m_inHead;
            tail = m_inTail;
        }
        (void)head;
        uint32_t longest = 0;
        bool any = false;
        std::vector<std::pair<uint32_t, uint32_t>> matched;  // handle, length
        uint32_t threshold;
        {
            std::lock_guard state(m_stateLock);
            threshold = m_availThreshold;
            for (auto& t : m_dataTriggers) {
                if (t.length == 0) {
                    continue;
                }
                if (!t.matched &&
                    MatchTriggerChar(t.counters, c, t.length, t.ignoreCase != 0, t.text)) {
                    t.matched = 0xFFFFFFFFu;
                }
                if (t.matched) {
                    any = true;
                    longest = std::max(longest, t.length);
                }
            }
            if (any) {
                for (auto it = m_dataTriggers.rbegin(); it != m_dataTriggers.rend(); ++it) {
                    if (it->matched) {
                        it->matched = 0;
                        matched.emplace_back(it->handle, it->length);
                    }
                }
            }
        }
        if (!any) {
            p = (p + 1) % kInRingSize;
            continue;
        }
        uint32_t notifyPos;
        {
            std::lock_guard in(m_inputLock);
            notifyPos = m_notifyPos;
        }
        if (threshold != 0 && notifyPos != p) {
            // The characters in front of the matched string are reported before it.
            uint32_t unreadToP = (p + 1 + kInRingSize - tail) % kInRingSize;
            uint32_t n = unreadToP > longest ? unreadToP - longest : 0;
            if (n >= threshold) {
                result = DeliverTrigger(MsgTriggerAvail, n, 0);
                std::lock_guard in(m_inputLock);
                m_scanPos = p;
                m_notifyPos = p;
            }
        }
        for (const auto& [handle, length] : matched) {
            result = DeliverTrigger(MsgTriggerData, handle, length);
        }
        std::lock_guard in(m_inputLock);
        m_scanPos = (p + 1) % kInRingSize;
        return result;
    }
    uint32_t threshold;
    {
        std::lock_guard state(m_stateLock);
        threshold = m_availThreshold;
    }
    uint32_t n;
    {
        std::lock_guard in(m_inputLock);
        if (!anyDataTrigger && m_inRing) {
            p = m_inHead;  // nothing to match: everything received is scanned
        }
        m_scanPos = p;
        if (threshold == 0 || m_notifyPos == p) {
            return false;
        }
        n = InputCount();
        if (n < threshold) {
            return false;
        }
        m_notifyPos = p;
    }
    return DeliverTrigger(MsgTriggerAvail, n, 0);
}

bool TBaseDispatcher::ScanStatusTriggers() {
    bool needOutput = false;
    {
        std::lock_guard state(m_stateLock);
        bool any = false;
        for (const auto& t : m_statusTriggers) {
            if (t.enabled && !t.hit) {
                any = true;
                needOutput = needOutput || t.type == 3 || t.type == 4;
            }
        }
        if (!any) {
            return false;
        }
    }
    // What the output types look at, taken before StateLock (the rings' locks come first).
    const uint32_t outCount = needOutput ? OutputCount() : 0;
    const uint32_t outFree = needOutput ? OutQueueSize() - outCount : 0;
    uint32_t handle = 0;
    uint32_t value = 0;
    {
        std::lock_guard state(m_stateLock);
        for (size_t i = 0; i < m_statusTriggers.size(); ++i) {
            StatusTrigger& t = m_statusTriggers[i];
            if (!t.enabled || t.hit) {
                continue;
            }
            bool fire = false;
            value = 0;
            switch (t.type) {
                case 1:
                    fire = (((t.data & 0xFF) ^ m_modemStatusByte) & (t.data >> 8)) != 0;
                    break;
                case 2:
                    if (t.data & m_lineErrorFlags.load()) {
                        fire = true;
                        t.data = uint16_t(m_lineErrorFlags.load());
                    }
                    break;
                case 3:
                    fire = outFree >= t.data;
                    value = outFree;
                    break;
                case 4:
                    fire = outCount <= t.data;
                    value = outCount;
                    break;
                case 5:
                    fire = m_outputSent.exchange(false);
                    break;
                default:
                    break;
            }
            if (fire) {
                t.enabled = false;  // fires once until armed again
                t.hit = true;
                m_statusHitSeen = true;
                handle = t.handle;
                break;
            }
        }
    }
    if (handle == 0) {
        return false;
    }
    return DeliverTrigger(MsgTriggerStatus, handle, value);
}

bool TBaseDispatcher::ScanTimerTriggers() {
    uint32_t handle = 0;
    {
        std::lock_guard state(m_stateLock);
        for (auto& t : m_timerTriggers) {
            if (t.active && platform::TickTimerExpired(t.timer)) {
                t.active = 0;
                handle = t.handle;
                break;
            }
        }
    }
    if (handle == 0) {
        return false;
    }
    return DeliverTrigger(MsgTriggerTimer, handle, 0);
}

// ---------------------------------------------------------------------------------------
// Delivery

uint32_t TBaseDispatcher::BeginReadEvent(uint32_t offered) {
    std::lock_guard in(m_inputLock);
    m_readEventActive = true;
    m_takenCount = 0;
    return std::min(offered, usedLocked());
}

bool TBaseDispatcher::DeliverTrigger(uint32_t msg, uint32_t triggerHandle, uint32_t data) {
    bool result = true;
    if (!m_deliveryWanted.load()) {
        return true;
    }
    {
        std::lock_guard state(m_stateLock);
        m_deliveryBusy.store(true);
    }
    const intptr_t lParam = intptr_t((data & 0xFFFF) + (m_dispatcherHandle << 16));
    platform::MessageQueue* queue = messageQueue();
    bool cut = false;
    size_t count;
    bool toWindows;
    {
        std::lock_guard state(m_stateLock);
        count = m_windowHandlers.size();
        toWindows = queue && count > 0 && (count > 1 || m_portHandlerOn);
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
        {
            std::lock_guard state(m_stateLock);
            if (i < m_windowHandlers.size() && !m_windowHandlers[i].deleted) {
                window = m_windowHandlers[i].window;
            }
        }
        {
            std::lock_guard in(m_inputLock);
            m_takenCount = 0;
        }
        if (window != platform::kNoHandler) {
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
    m_deliveryBusy.store(false);
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

void TBaseDispatcher::ServiceCommEvent() {
    const uint32_t mask = m_commEventMask.exchange(0);
    auto statusScan = [&] {
        if (m_deliveryBusy.load()) {
            return;
        }
        while (ScanStatusTriggers()) {
            if (m_closeDeferred.load()) {
                return;
            }
        }
        bool seen;
        {
            std::lock_guard state(m_stateLock);
            seen = m_statusHitSeen;
        }
        if (seen) {
            ClearStatusHits();
        }
    };
    if (mask & 0x2138) {
        RefreshModemStatus();
        statusScan();
    }
    if (mask & 0xC0) {
        RefreshDeviceStatus();
        statusScan();
    }
    FillInRing();
    if (!m_deliveryBusy.load()) {
        uint8_t b = ReadModemStatus(0xF0);
        {
            std::lock_guard state(m_stateLock);
            m_modemStatusByte = b;
        }
        bool stop = false;
        while (!stop && ScanStatusTriggers()) {
            stop = m_closeDeferred.load();
        }
        while (!stop && ScanReceived()) {
            stop = m_closeDeferred.load();
        }
    }
    bool seen;
    {
        std::lock_guard state(m_stateLock);
        seen = m_statusHitSeen;
    }
    if (seen) {
        ClearStatusHits();
    }
    m_signals.set(Signal::DispatchDoneSignal);
}

void TBaseDispatcher::ServiceTimersAndStatus() {
    if (m_closeDeferred.load() || m_deliveryBusy.load()) {
        return;
    }
    {
        std::lock_guard state(m_stateLock);
        m_statusHitSeen = false;
    }
    bool more;
    do {
        more = ScanStatusTriggers();
        if (!more) {
            more = ScanTimerTriggers();
        }
    } while (more && !m_closeDeferred.load());
    bool seen;
    {
        std::lock_guard state(m_stateLock);
        seen = m_statusHitSeen;
    }
    if (seen) {
        ClearStatusHits();
    }
}

}  // namespace serial
