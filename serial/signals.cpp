#include "serial/signals.h"

#include <algorithm>
#include <chrono>

#include "platform/wait_word.h"

namespace serial {

namespace {
// Which waiter's word each signal moves (by Signal order).
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

void SignalSet::nudge(int waiter) {
    m_changes[waiter].fetch_add(1);
    if (m_sleepers[waiter].load() > 0) {
        platform::wakeAllWaiters(m_changes[waiter]);
    }
}

void SignalSet::create() {
    m_set.store(0);
    m_valid.store(true);
}

void SignalSet::close() {
    m_valid.store(false);
    m_set.store(0);
    for (int w = 0; w < kWaiters; ++w) {
        nudge(w);
    }
}

void SignalSet::set(Signal s) {
    if (!m_valid.load()) {
        return;
    }
    m_set.fetch_or(bit(s));
    nudge(kWaiter[static_cast<int>(s)]);
}

void SignalSet::reset(Signal s) {
    m_set.fetch_and(~bit(s));
}

bool SignalSet::take(Signal s) {
    return (m_set.fetch_and(~bit(s)) & bit(s)) != 0;
}

int SignalSet::takeAny(uint32_t mask) {
    uint32_t current = m_set.load();
    for (;;) {
        const uint32_t ready = current & mask;
        if (ready == 0) {
            return kNone;
        }
        const int i = __builtin_ctz(ready);
        if (m_set.compare_exchange_weak(current, current & ~(1u << i))) {
            return i;
        }
    }
}

int SignalSet::wait(Signal s, int timeoutMs) {
    return waitMask(bit(s), timeoutMs);
}

int SignalSet::waitAny(Signal a, Signal b, int timeoutMs) {
    return waitMask(bit(a) | bit(b), timeoutMs);
}

int SignalSet::waitMask(uint32_t mask, int timeoutMs) {
    const int w = waiterOf(mask);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (!m_valid.load()) {
            return kNone;
        }
        if (int i = takeAny(mask); i != kNone) {
            return i;
        }
        m_sleepers[w].fetch_add(1);
        const uint32_t seen = m_changes[w].load();
        bool inTime = true;
        if (m_valid.load() && (m_set.load() & mask) == 0) {
            if (timeoutMs < 0) {
                platform::waitWhileEquals(m_changes[w], seen);
            } else {
                inTime = platform::waitWhileEquals(m_changes[w], seen, deadline);
            }
        }
        m_sleepers[w].fetch_sub(1);
        if (!inTime) {
            // As a condition variable's wait: a signal set just in time still counts.
            return m_valid.load() ? takeAny(mask) : kNone;
        }
    }
}

}  // namespace serial
