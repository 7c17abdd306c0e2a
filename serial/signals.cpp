#include "serial/signals.h"

#include <chrono>

namespace serial {

namespace {
// Which waiter's condition variable each signal wakes (by Signal order).
constexpr int kWaiter[SignalSet::kCount] = {0, 1, 2, 3, 3, 2};
}  // namespace

int SignalSet::waiterOf(uint32_t mask) {
    for (int i = 0; i < kCount; ++i) {
        if (mask & (1u << i)) {
            return kWaiter[i];
        }
    }
    return 0;
}

void SignalSet::create() {
    std::lock_guard lock(m_mutex);
    m_set = 0;
    m_valid = true;
}

void SignalSet::close() {
    std::lock_guard lock(m_mutex);
    m_valid = false;
    m_set = 0;
    for (auto& cv : m_changed) {
        cv.notify_all();
    }
}

void SignalSet::set(Signal s) {
    std::lock_guard lock(m_mutex);
    if (m_valid) {
        m_set |= bit(s);
        m_changed[kWaiter[static_cast<int>(s)]].notify_all();
    }
}

void SignalSet::reset(Signal s) {
    std::lock_guard lock(m_mutex);
    m_set &= ~bit(s);
}

int SignalSet::wait(Signal s, int timeoutMs) {
    return waitMask(bit(s), timeoutMs);
}

int SignalSet::waitAny(Signal a, Signal b, int timeoutMs) {
    return waitMask(bit(a) | bit(b), timeoutMs);
}

bool SignalSet::take(Signal s) {
    std::lock_guard lock(m_mutex);
    if (!(m_set & bit(s))) {
        return false;
    }
    m_set &= ~bit(s);
    return true;
}

int SignalSet::waitMask(uint32_t mask, int timeoutMs) {
    std::unique_lock lock(m_mutex);
    auto ready = [&] { return !m_valid || (m_set & mask) != 0; };
    std::condition_variable& cv = m_changed[waiterOf(mask)];
    if (timeoutMs < 0) {
        cv.wait(lock, ready);
    } else if (!cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        return kNone;
    }
    if (!m_valid) {
        return kNone;
    }
    for (int i = 0; i < kCount; ++i) {
        uint32_t b = 1u << i;
        if (m_set & mask & b) {
            m_set &= ~b;
            return i;
        }
    }
    return kNone;
}

}  // namespace serial
