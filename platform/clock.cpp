#include "platform/clock.h"

#include <time.h>

namespace platform {

uint32_t ClockMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
    return uint32_t(ms);
}

int32_t CurrentTick() {
    return int32_t(ClockMs() / kTickMs);
}

void startTickTimerAt(TickTimer& timer, int32_t ticks, int32_t now) {
    if (ticks > kTickLimit) {
        ticks = kTickLimit;
    }
    timer.Start = now;
    timer.Expiry = now + ticks;
}

bool tickTimerExpiredAt(const TickTimer& timer, int32_t now) {
    if (now > timer.Expiry) {
        return true;
    }
    // The tick count has wrapped since the start: count the lost turn. (Adding only
    // kTickLimit here would keep a short timer started just before the wrap running
    // for weeks.)
    return now < timer.Start && int64_t(now) + kTicksPerWrap > int64_t(timer.Expiry);
}

void StartTickTimer(TickTimer& timer, int32_t ticks) {
    startTickTimerAt(timer, ticks, CurrentTick());
}

bool TickTimerExpired(const TickTimer& timer) {
    return tickTimerExpiredAt(timer, CurrentTick());
}

}  // namespace platform
