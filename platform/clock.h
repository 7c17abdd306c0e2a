#pragma once
// The millisecond clock and the 55 ms tick timer of the serial layer.

#include <cstdint>

namespace platform {

// Milliseconds of the monotonic clock, low 32 bits: wraps after about 49.7 days.
uint32_t ClockMs();

constexpr uint32_t kTickMs = 55;
// The largest timer length accepted, in ticks.
constexpr int32_t kTickLimit = 39045157;
// Tick counts in one turn of the 32-bit millisecond clock: the count runs from 0 to
// 78090314 and then starts again at 0.
constexpr int64_t kTicksPerWrap = (int64_t{1} << 32) / kTickMs + 1;

// ClockMs div 55.
int32_t CurrentTick();

struct TickTimer {
    int32_t Start = 0;
    int32_t Expiry = 0;
};

void StartTickTimer(TickTimer& timer, int32_t ticks);
bool TickTimerExpired(const TickTimer& timer);

// The same rules against a given tick count, so that the wrap can be tested.
void startTickTimerAt(TickTimer& timer, int32_t ticks, int32_t now);
bool tickTimerExpiredAt(const TickTimer& timer, int32_t now);

}  // namespace platform
