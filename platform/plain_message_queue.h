#pragma once
// The message queue without a toolkit: used by tests and command-line tools. The
// thread that creates it is its user-interface thread.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/message_queue.h"

namespace platform {

class PlainMessageQueue : public MessageQueue {
public:
    PlainMessageQueue();
    ~PlainMessageQueue() override;

    HandlerId addHandler(MessageHandler handler) override;
    void removeHandler(HandlerId id) override;
    bool post(HandlerId id, const Message& message) override;
    SendResult send(HandlerId id, const Message& message, int timeoutMs,
                    intptr_t* result = nullptr) override;
    bool pumpOne() override;
    bool waitAndPumpOne(int waitMs) override;
    void pumpAll() override;
    TimerId startTimer(int intervalMs, TimerCallback callback) override;
    void stopTimer(TimerId id) override;
    void quit() override;
    bool quitRequested() const override;
    bool isUiThread() const override;

    // Pumps until quit() is called.
    void run();

protected:
    // Called (outside the lock) whenever a message is queued, so that a toolkit's own
    // event loop can be woken to pump.
    virtual void onArrival() {}
    // Whether anything is ready to run now.
    bool hasWork() const;

private:
    using Clock = std::chrono::steady_clock;
    enum class SendState { Waiting, Running, Done, Withdrawn, NoHandler };
    struct SendSlot {
        SendState state = SendState::Waiting;  // guarded by m_mutex
        intptr_t result = 0;                   // guarded by m_mutex
    };
    struct Pending {
        HandlerId handler = kNoHandler;
        Message message;
        std::shared_ptr<SendSlot> send;  // null for a posted message
    };
    struct Timer {
        TimerId id = kNoTimer;
        Clock::duration interval{};
        Clock::time_point due{};
        std::shared_ptr<TimerCallback> callback;
    };

    bool hasWorkLocked(Clock::time_point now) const;
    Clock::time_point nextTimerDueLocked() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;  // arrivals, answers, quit; waits on m_mutex
    std::unordered_map<HandlerId, std::shared_ptr<MessageHandler>> m_handlers;  // m_mutex
    std::deque<Pending> m_sent;    // m_mutex; sent messages run before posted ones
    std::deque<Pending> m_posted;  // m_mutex
    std::vector<Timer> m_timers;   // m_mutex
    HandlerId m_nextHandler = 1;   // m_mutex
    TimerId m_nextTimer = 1;       // m_mutex
    bool m_quit = false;           // m_mutex
    const std::thread::id m_uiThread;
};

}  // namespace platform
