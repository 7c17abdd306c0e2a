#include "platform/plain_message_queue.h"

#include "platform/tests/message_queue_cases.h"

namespace platform::testing {

INSTANTIATE_TEST_SUITE_P(Plain, MessageQueueCases, ::testing::Values(QueueFactory([] {
                             return std::unique_ptr<MessageQueue>(new PlainMessageQueue);
                         })));

TEST(PlainMessageQueue, RunEndsOnQuitFromAnotherThread) {
    PlainMessageQueue q;
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        q.quit();
    });
    q.run();
    t.join();
    EXPECT_TRUE(q.quitRequested());
}

}  // namespace platform::testing
