#include "platform/wait_word.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace platform {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) &&
                  std::atomic<uint32_t>::is_always_lock_free,
              "the kernel must see the atomic as a plain 32-bit word");

namespace {

using Clock = std::chrono::steady_clock;

uint32_t* address(const std::atomic<uint32_t>& word) {
    return reinterpret_cast<uint32_t*>(const_cast<std::atomic<uint32_t>*>(&word));
}

// Sleeps on the word; a limit is absolute, on the monotonic clock (the steady clock's),
// so that an interrupted wait resumes with what is left of it. 0, or the errno.
int futexWait(const std::atomic<uint32_t>& word, uint32_t expected, const timespec* limit) {
    const long r = ::syscall(SYS_futex, address(word), FUTEX_WAIT_BITSET_PRIVATE, expected, limit,
                             nullptr, FUTEX_BITSET_MATCH_ANY);
    return r == 0 ? 0 : errno;
}

// A failure these arguments cannot cause: never let the caller spin on it.
void pauseAfterFailure() {
    const timespec pause{0, 1000000L};
    ::nanosleep(&pause, nullptr);
}

}  // namespace

void waitWhileEquals(const std::atomic<uint32_t>& word, uint32_t expected) {
    const int e = futexWait(word, expected, nullptr);
    if (e != 0 && e != EAGAIN && e != EINTR) {
        pauseAfterFailure();
    }
}

bool waitWhileEquals(const std::atomic<uint32_t>& word, uint32_t expected,
                     Clock::time_point deadline) {
    const auto sinceEpoch =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
    if (sinceEpoch < 0) {
        return false;
    }
    const timespec limit{time_t(sinceEpoch / 1000000000), long(sinceEpoch % 1000000000)};
    for (;;) {
        const int e = futexWait(word, expected, &limit);
        if (e == 0 || e == EAGAIN) {
            return true;  // woken, or the word had changed already
        }
        if (e == ETIMEDOUT) {
            return false;
        }
        if (e != EINTR) {
            pauseAfterFailure();
            return Clock::now() < deadline;
        }
        if (word.load() != expected) {
            return true;
        }
    }
}

void wakeAllWaiters(std::atomic<uint32_t>& word) {
    ::syscall(SYS_futex, address(word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace platform
