#pragma once
// The message queue of the user-interface thread.
//
// Worker threads reach the user-interface thread only through this queue: they post a
// message to a handler, or send one and wait for the answer with a time limit. The
// user-interface thread runs the handlers when it pumps the queue (its main loop, or a
// wait that processes messages). Repeating timers fire on the same thread.
//
// Two implementations: PlainMessageQueue (tests, command-line tools) and the Qt one in
// app/ (the program). Everything below serial/ and phone/ sees only this interface.

#include <cstdint>
#include <functional>

namespace platform {

struct Message {
    uint32_t msg = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

using HandlerId = uint32_t;
using TimerId = uint32_t;
constexpr HandlerId kNoHandler = 0;
constexpr TimerId kNoTimer = 0;

// A handler runs on the user-interface thread; its result is what a send returns.
using MessageHandler = std::function<intptr_t(const Message&)>;
using TimerCallback = std::function<void()>;

enum class SendResult {
    Answered,   // the handler ran to its end within the time limit
    TimedOut,   // the limit ran out; a message not yet started is withdrawn and never runs
    NoHandler,  // the handler does not exist (or was removed before the message ran)
};

class MessageQueue {
public:
    virtual ~MessageQueue() = default;

    // Handlers. Removing a handler drops the messages still waiting for it. Both may be
    // called from any thread; removal from inside the handler itself is allowed.
    virtual HandlerId addHandler(MessageHandler handler) = 0;
    virtual void removeHandler(HandlerId id) = 0;

    // Queues a message for the handler and returns at once (any thread). False when
    // the handler does not exist.
    virtual bool post(HandlerId id, const Message& message) = 0;

    // Runs the handler on the user-interface thread and waits at most timeoutMs for it
    // to finish. Called on the user-interface thread itself, the handler runs at once.
    // A message whose handler has not started when the limit runs out is withdrawn.
    // A handler that started but is still running counts as TimedOut; it goes on.
    virtual SendResult send(HandlerId id, const Message& message, int timeoutMs,
                            intptr_t* result = nullptr) = 0;

    // User-interface thread only. Processes at most one waiting message or due timer;
    // true when something was processed.
    virtual bool pumpOne() = 0;
    // As pumpOne, but first waits up to waitMs for something to arrive.
    virtual bool waitAndPumpOne(int waitMs) = 0;
    // Processes everything that is waiting now (not what handlers queue meanwhile
    // beyond one round), including due timers.
    virtual void pumpAll() = 0;

    // Repeating timers, fired on the user-interface thread every intervalMs.
    virtual TimerId startTimer(int intervalMs, TimerCallback callback) = 0;
    virtual void stopTimer(TimerId id) = 0;

    // Asks the main loop to end; quitRequested() stays true from then on.
    virtual void quit() = 0;
    virtual bool quitRequested() const = 0;

    // Whether the caller runs on the queue's user-interface thread.
    virtual bool isUiThread() const = 0;
};

}  // namespace platform
