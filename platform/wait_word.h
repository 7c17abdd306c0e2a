#pragma once
// Sleeping on a 32-bit word until another thread changes it: the kernel's futex, the
// cheapest hand-off between two threads here (a mutex and condition variable cost a
// third more per wake-up, and a contended mutex costs further system calls).
//
// The waiter reads the word, checks its condition, and sleeps only while the word still
// holds what it read; the other side changes its data, then the word, then wakes.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace platform {

// Sleeps while word holds expected. May return early for no reason, like a condition
// variable: the caller checks its condition again.
void waitWhileEquals(const std::atomic<uint32_t>& word, uint32_t expected);

// The same, at most until the deadline; false once it has passed.
bool waitWhileEquals(const std::atomic<uint32_t>& word, uint32_t expected,
                     std::chrono::steady_clock::time_point deadline);

// Wakes every thread sleeping on word.
void wakeAllWaiters(std::atomic<uint32_t>& word);

}  // namespace platform
