#pragma once
// The behaviour every MessageQueue implementation must show. A test file instantiates
// these cases with a factory for its implementation (the Qt one does so in app/).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/message_queue.h"

namespace platform::testing {

using QueueFactory = std::function<std::unique_ptr<MessageQueue>()>;

class MessageQueueCases : public ::testing::TestWithParam<QueueFactory> {
protected:
    void SetUp() override { m_queue = GetParam()(); }
    // Pumps until pred holds or the limit passes.
    bool pumpUntil(const std::function<bool()>& pred, int limitMs = 5000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            m_queue->waitAndPumpOne(5);
        }
        return true;
    }
    std::unique_ptr<MessageQueue> m_queue;
};

TEST_P(MessageQueueCases, PostedMessagesRunInOrderOnThePumpingThread) {
    std::vector<intptr_t> seen;
    std::vector<std::thread::id> threads;
    HandlerId h = m_queue->addHandler([&](const Message& m) {
        seen.push_back(m.lParam);
        threads.push_back(std::this_thread::get_id());
        return 0;
    });
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) {
            ASSERT_TRUE(m_queue->post(h, Message{1, 0, i}));
        }
    });
    poster.join();
    ASSERT_TRUE(pumpUntil([&] { return seen.size() == 100; }));
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(seen[i], i);
        EXPECT_EQ(threads[i], std::this_thread::get_id());
    }
}

TEST_P(MessageQueueCases, PumpOneRunsOneMessage) {
    int count = 0;
    HandlerId h = m_queue->addHandler([&](const Message&) { return ++count; });
    m_queue->post(h, Message{1, 0, 0});
    m_queue->post(h, Message{1, 0, 0});
    EXPECT_TRUE(m_queue->pumpOne());
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(m_queue->pumpOne());
    EXPECT_EQ(count, 2);
    EXPECT_FALSE(m_queue->pumpOne());
}

TEST_P(MessageQueueCases, SendAnsweredInTimeReturnsTheHandlersResult) {
    HandlerId h = m_queue->addHandler([](const Message& m) { return m.lParam * 2; });
    std::atomic<bool> done{false};
    SendResult r{};
    intptr_t value = 0;
    std::thread sender([&] {
        r = m_queue->send(h, Message{2, 0, 21}, 3000, &value);
        done = true;
    });
    ASSERT_TRUE(pumpUntil([&] { return done.load(); }));
    sender.join();
    EXPECT_EQ(r, SendResult::Answered);
    EXPECT_EQ(value, 42);
}

TEST_P(MessageQueueCases, SendOnTheUiThreadRunsAtOnce) {
    HandlerId h = m_queue->addHandler([](const Message& m) { return m.lParam + 1; });
    intptr_t value = 0;
    EXPECT_EQ(m_queue->send(h, Message{2, 0, 1}, 0, &value), SendResult::Answered);
    EXPECT_EQ(value, 2);
}

TEST_P(MessageQueueCases, SendThatRunsOutOfTimeIsNeverRunLater) {
    std::atomic<int> runs{0};
    HandlerId h = m_queue->addHandler([&](const Message&) { return ++runs; });
    SendResult r{};
    std::thread sender([&] { r = m_queue->send(h, Message{3, 0, 0}, 50); });
    sender.join();  // nobody pumped meanwhile
    EXPECT_EQ(r, SendResult::TimedOut);
    m_queue->pumpAll();
    for (int i = 0; i < 10; ++i) {
        m_queue->waitAndPumpOne(2);
    }
    EXPECT_EQ(runs.load(), 0);
}

TEST_P(MessageQueueCases, SendToARemovedHandlerFails) {
    HandlerId h = m_queue->addHandler([](const Message&) { return 0; });
    m_queue->removeHandler(h);
    SendResult r{};
    std::thread sender([&] { r = m_queue->send(h, Message{}, 1000); });
    sender.join();
    EXPECT_EQ(r, SendResult::NoHandler);
    EXPECT_FALSE(m_queue->post(h, Message{}));
}

TEST_P(MessageQueueCases, RemovingAHandlerDropsItsWaitingMessages) {
    int runs = 0;
    HandlerId h = m_queue->addHandler([&](const Message&) { return ++runs; });
    m_queue->post(h, Message{});
    m_queue->removeHandler(h);
    m_queue->pumpAll();
    EXPECT_EQ(runs, 0);
}

TEST_P(MessageQueueCases, TimersRepeatUntilStopped) {
    int ticks = 0;
    TimerId t = m_queue->startTimer(10, [&] { ++ticks; });
    ASSERT_TRUE(pumpUntil([&] { return ticks >= 3; }));
    m_queue->stopTimer(t);
    const int after = ticks;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(60);
    while (std::chrono::steady_clock::now() < end) {
        m_queue->waitAndPumpOne(5);
    }
    EXPECT_EQ(ticks, after);
}

TEST_P(MessageQueueCases, QuitIsRemembered) {
    EXPECT_FALSE(m_queue->quitRequested());
    m_queue->quit();
    EXPECT_TRUE(m_queue->quitRequested());
}

}  // namespace platform::testing
