#pragma once
// The dispatcher's six signals: events that are set by one thread and waited for by
// another, reset by the wait that takes them. Each waiting thread sleeps on a word of its
// own, so that setting a signal wakes only the thread that waits for it (the output thread
// waits for either of two signals). No lock: a hand-off costs one wake-up and one sleep.

#include <atomic>
#include <cstdint>

namespace serial {

enum class Signal : uint8_t {
    CommEventSignal,
    DispatchDoneSignal,
    ThreadAckSignal,
    OutputReadySignal,
    OutputFlushSignal,
    // The output thread's answer to a flush: it has let go of the output ring.
    FlushAckSignal,
};

class SignalSet {
public:
    static constexpr int kCount = 6;
    static constexpr int kNone = -1;

    // Creates (valid, not signalled) all six.
    void create();
    // Closes all: they are invalid until created again, and every waiter is released at
    // once (so is every later wait).
    void close();

    void set(Signal s);
    void reset(Signal s);

    // Waits up to timeoutMs (-1: no limit) for one of the given signals. Returns the
    // signal that ended the wait (an automatic one is reset by the wait), or kNone when
    // the time ran out or the signals were closed.
    int wait(Signal s, int timeoutMs);
    int waitAny(Signal a, Signal b, int timeoutMs);
    // Whether the signal is set now; an automatic one is reset by taking it.
    bool take(Signal s);

private:
    static constexpr int kWaiters = 4;

    int waitMask(uint32_t mask, int timeoutMs);
    // Takes the first signal of mask that is set: its number, or kNone.
    int takeAny(uint32_t mask);
    // Tells the waiter that something changed: its word moves on, and it is woken if asleep.
    void nudge(int waiter);
    static uint32_t bit(Signal s) { return 1u << static_cast<unsigned>(s); }

    static int waiterOf(uint32_t mask);

    std::atomic<uint32_t> m_set{0};  // bits of the signalled ones
    std::atomic<bool> m_valid{false};
    // Per waiter (dispatcher thread, event thread, starter or flusher, output thread): the
    // word it sleeps on, moved on by every set and close, and how many sleep on it (so a
    // set with nobody asleep makes no system call). All accesses sequentially consistent:
    // a waiter counts itself before it reads the bits, a setter sets the bits before it
    // reads the count, so one of them always sees the other.
    std::atomic<uint32_t> m_changes[kWaiters] = {};
    std::atomic<uint32_t> m_sleepers[kWaiters] = {};
};

}  // namespace serial
