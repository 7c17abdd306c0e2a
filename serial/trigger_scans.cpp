// The dispatcher thread's trigger scans: received data against the avail threshold and
// the data triggers, status triggers, timer triggers.

#include "serial/dispatcher.h"

#include <algorithm>

#include "platform/clock.h"

namespace serial {

namespace {

// Puts back a trigger whose delivery was refused, so that it fires on a later pass.
template <class List, class F>
void rearm(List& list, uint32_t handle, F f) {
    for (auto& t : list) {
        if (t.handle == handle) {
            f(t);
            return;
        }
    }
}

}  // namespace

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
        uint32_t tail;
        {
            std::lock_guard in(m_inputLock);
            if (!m_inRing || p == m_inHead) {
                break;
            }
            c = m_inRing[p];
            tail = m_inTail;
        }
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
                if (!m_deliveryRefused) {
                    m_notifyPos = p;
                }
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
    }
    result = DeliverTrigger(MsgTriggerAvail, n, 0);
    if (!m_deliveryRefused) {
        // A refused delivery leaves the position, so the characters are told later.
        std::lock_guard in(m_inputLock);
        m_notifyPos = p;
    }
    return result;
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
    bool result = DeliverTrigger(MsgTriggerStatus, handle, value);
    if (m_deliveryRefused) {
        rearm(m_statusTriggers, handle, [](StatusTrigger& t) { t.enabled = true, t.hit = false; });
    }
    return result;
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
    bool result = DeliverTrigger(MsgTriggerTimer, handle, 0);
    if (m_deliveryRefused) {
        rearm(m_timerTriggers, handle, [](TimerTrigger& t) { t.active = 1; });
    }
    return result;
}

}  // namespace serial
