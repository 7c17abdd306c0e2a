#include "platform/wait_word.h"

#include <gtest/gtest.h>

#include <thread>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(WaitWord, ReturnsAtOnceWhenTheWordHasMovedAndRunsOutOtherwise) {
    std::atomic<uint32_t> word{7};
    EXPECT_TRUE(waitWhileEquals(word, 6, Clock::now() + milliseconds(5000)));
    waitWhileEquals(word, 6);  // no limit, but the word is not 6: returns

    const auto start = Clock::now();
    EXPECT_FALSE(waitWhileEquals(word, 7, start + milliseconds(20)));
    EXPECT_GE(Clock::now() - start, milliseconds(20));
    EXPECT_FALSE(waitWhileEquals(word, 7, start - milliseconds(1)));  // already past
}

TEST(WaitWord, AChangeAndWakeEndsASleepWithoutLimit) {
    std::atomic<uint32_t> word{0};
    std::thread waker([&] {
        std::this_thread::sleep_for(milliseconds(20));
        word.store(1);
        wakeAllWaiters(word);
    });
    while (word.load() == 0) {
        waitWhileEquals(word, 0);
    }
    waker.join();
    EXPECT_EQ(word.load(), 1u);
}

}  // namespace
}  // namespace platform
