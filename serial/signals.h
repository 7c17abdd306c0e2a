#pragma once
// The dispatcher's six signals: events that are set by one thread and waited for by
// another, reset by the wait that takes them. All of one dispatcher share one mutex; each
// waiting thread has its own condition variable, so that setting a signal wakes only the
// thread that waits for it (the output thread waits for either of two signals).

#include <condition_variable>
#include <cstdint>
#include <mutex>

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
    int waitMask(uint32_t mask, int timeoutMs);
    static uint32_t bit(Signal s) { return 1u << static_cast<unsigned>(s); }

    static int waiterOf(uint32_t mask);

    mutable std::mutex m_mutex;
    // Waits on m_mutex: dispatcher thread, event thread, starter or flusher, output thread.
    std::condition_variable m_changed[4];
    uint32_t m_set = 0;    // m_mutex: bits of the signalled ones
    bool m_valid = false;  // m_mutex
};

}  // namespace serial
