#pragma once
// Trigger records kept by a dispatcher and carried across a re-open of the port.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace serial {

constexpr uint32_t MsgTriggerAvail = 0x7E01;
constexpr uint32_t MsgTriggerData = 0x7E02;
constexpr uint32_t MsgTriggerTimer = 0x7E03;
constexpr uint32_t MsgTriggerStatus = 0x7E04;
constexpr uint32_t MsgClosePending = 0x7E0A;
// The device has hung up: the port window closes the port.
constexpr uint32_t MsgDeviceGone = 0x7E0B;

constexpr int kDataTriggerCounters = 22;

// The upper-casing of the text waits and the data triggers (ASCII letters only, as the
// system's ANSI upper-casing leaves the code page's own letters to its tables).
inline uint8_t upperAnsi(uint8_t c) {
    return c >= 'a' && c <= 'z' ? uint8_t(c - 'a' + 'A') : c;
}

struct TimerTrigger {
    uint32_t handle = 0;
    platform::TickTimer timer;
    int32_t ticks = 0;
    uint32_t active = 0;
};

struct DataTrigger {
    uint32_t handle = 0;
    uint32_t length = 0;  // 0: not in use
    uint32_t counters[kDataTriggerCounters] = {};
    uint32_t matched = 0;
    uint32_t ignoreCase = 0;
    std::string text;  // upper-case when ignoreCase
};

struct StatusTrigger {
    uint32_t handle = 0;
    uint32_t type = 0;  // 0 to 5
    uint16_t data = 0;
    bool enabled = false;
    bool hit = false;
};

// A copy of a dispatcher's triggers (the component keeps one from a close to the next
// open).
struct TriggerSet {
    uint32_t availThreshold = 0;
    std::vector<TimerTrigger> timers;
    std::vector<DataTrigger> data;
    std::vector<StatusTrigger> status;
};

}  // namespace serial
