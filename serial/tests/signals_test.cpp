#include "serial/signals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace serial {
namespace {

// Long enough never to run out on a loaded machine; a lost wake-up shows as a failed
// wait, not as a hang.
constexpr int kPatientMs = 5000;

TEST(SignalSet, SetThenWaitTakesItOnceAndEmptyWaitRunsOut) {
    SignalSet s;
    s.create();
    s.set(Signal::OutputFlushSignal);
    s.set(Signal::OutputFlushSignal);  // no count: set twice is set once
    EXPECT_EQ(s.waitAny(Signal::OutputReadySignal, Signal::OutputFlushSignal, 0),
              int(Signal::OutputFlushSignal));
    EXPECT_EQ(s.wait(Signal::OutputFlushSignal, 20), SignalSet::kNone);
    EXPECT_FALSE(s.take(Signal::OutputFlushSignal));

    s.set(Signal::FlushAckSignal);
    s.reset(Signal::FlushAckSignal);
    EXPECT_EQ(s.wait(Signal::FlushAckSignal, 0), SignalSet::kNone);
    s.set(Signal::FlushAckSignal);
    EXPECT_TRUE(s.take(Signal::FlushAckSignal));
    EXPECT_FALSE(s.take(Signal::FlushAckSignal));
}

TEST(SignalSet, CloseReleasesAWaiterWithoutLimitAndLaterWaits) {
    SignalSet s;
    s.create();
    std::atomic<int> got{0};
    std::thread waiter([&] { got = s.wait(Signal::DispatchDoneSignal, -1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    s.close();
    waiter.join();
    EXPECT_EQ(got.load(), SignalSet::kNone);
    s.set(Signal::DispatchDoneSignal);  // closed: ignored
    EXPECT_EQ(s.wait(Signal::DispatchDoneSignal, -1), SignalSet::kNone);
}

// The event thread and the dispatcher thread take turns, as they do for every device
// event: no hand-off may be lost, whichever side gets there first.
TEST(SignalSet, TwoThreadsTakingTurnsNeverLoseAHandOff) {
    SignalSet s;
    s.create();
    constexpr int kRounds = 20000;
    std::atomic<int> missed{0};
    std::thread dispatcher([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (s.wait(Signal::CommEventSignal, kPatientMs) != int(Signal::CommEventSignal)) {
                ++missed;
            }
            s.set(Signal::DispatchDoneSignal);
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        s.set(Signal::CommEventSignal);
        if (s.wait(Signal::DispatchDoneSignal, kPatientMs) != int(Signal::DispatchDoneSignal)) {
            ++missed;
        }
    }
    dispatcher.join();
    EXPECT_EQ(missed.load(), 0);
}

// The output thread waits for either of two signals, set by two other threads at once.
TEST(SignalSet, EitherOfTwoSignalsFromTwoThreadsWakesTheOutputThread) {
    SignalSet s;
    s.create();
    constexpr int kRounds = 2000;
    std::atomic<int> ready{0};
    std::atomic<int> flushes{0};
    std::atomic<int> missed{0};
    std::thread output([&] {
        while (ready.load() < kRounds || flushes.load() < kRounds) {
            const int got =
                s.waitAny(Signal::OutputReadySignal, Signal::OutputFlushSignal, kPatientMs);
            if (got == int(Signal::OutputFlushSignal)) {
                ++flushes;
                s.set(Signal::FlushAckSignal);
            } else if (got == int(Signal::OutputReadySignal)) {
                ++ready;
                s.set(Signal::ThreadAckSignal);
            } else {
                ++missed;
                return;
            }
        }
    });
    std::thread writer([&] {
        for (int i = 0; i < kRounds; ++i) {
            s.set(Signal::OutputReadySignal);
            s.wait(Signal::ThreadAckSignal, kPatientMs);
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        s.set(Signal::OutputFlushSignal);
        s.wait(Signal::FlushAckSignal, kPatientMs);
    }
    writer.join();
    output.join();
    EXPECT_EQ(missed.load(), 0);
}

}  // namespace
}  // namespace serial
