#include "platform/clock.h"

#include <gtest/gtest.h>

#include <thread>

namespace platform::testing {

TEST(TickTimer, ExpiryRules) {
    struct Case {
        const char* what;
        int32_t start;
        int32_t ticks;
        int32_t now;
        bool expired;
    };
    constexpr int32_t kTop = int32_t(kTicksPerWrap - 1);  // the last tick before the wrap
    const Case cases[] = {
        {"0 ticks: not within its own tick", 1000, 0, 1000, false},
        {"0 ticks: expired at the next tick", 1000, 0, 1001, true},
        {"10 ticks: still running at the expiry tick", 1000, 10, 1010, false},
        {"10 ticks: expired after it", 1000, 10, 1011, true},
        {"length cut to the limit", 0, kTickLimit + 5, kTickLimit, false},
        {"length cut to the limit: expires after it", 0, kTickLimit + 5, kTickLimit + 1, true},
        {"started before the wrap, 20 ticks: 5 ticks after it, running", kTop - 5, 20, 4, false},
        {"started before the wrap, 20 ticks: expired after 20 ticks", kTop - 5, 20, 15, true},
        {"started before the wrap, expiry before it: expired just after", kTop - 5, 3, 0, true},
        {"negative length: expired at once", 500, -1, 500, true},
    };
    for (const auto& c : cases) {
        TickTimer t;
        startTickTimerAt(t, c.ticks, c.start);
        EXPECT_EQ(tickTimerExpiredAt(t, c.now), c.expired) << c.what;
    }
}

TEST(TickTimer, ZeroTicksExpireAtTheNextTickBoundary) {
    TickTimer t;
    StartTickTimer(t, 0);
    uint32_t begin = ClockMs();
    while (!TickTimerExpired(t)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_LT(ClockMs() - begin, 1000u);
    }
    // Within one tick, with a wide margin for a busy machine.
    EXPECT_LE(ClockMs() - begin, 55u + 200u);
}

}  // namespace platform::testing
