#include "platform/plain_message_queue.h"

#include <algorithm>

namespace platform {

PlainMessageQueue::PlainMessageQueue() : m_uiThread(std::this_thread::get_id()) {}

PlainMessageQueue::~PlainMessageQueue() {
    // Release any sender still waiting: its message will never run.
    std::lock_guard lock(m_mutex);
    for (auto& p : m_sent) {
        if (p.send->state == SendState::Waiting) {
            p.send->state = SendState::NoHandler;
        }
    }
    m_changed.notify_all();
}

HandlerId PlainMessageQueue::addHandler(MessageHandler handler) {
    std::lock_guard lock(m_mutex);
    HandlerId id = m_nextHandler++;
    if (m_nextHandler == kNoHandler) {
        m_nextHandler = 1;
    }
    m_handlers.emplace(id, std::make_shared<MessageHandler>(std::move(handler)));
    return id;
}

void PlainMessageQueue::removeHandler(HandlerId id) {
    std::lock_guard lock(m_mutex);
    m_handlers.erase(id);
    auto drop = [&](std::deque<Pending>& q) {
        for (auto it = q.begin(); it != q.end();) {
            if (it->handler == id) {
                if (it->send && it->send->state == SendState::Waiting) {
                    it->send->state = SendState::NoHandler;
                }
                it = q.erase(it);
            } else {
                ++it;
            }
        }
    };
    drop(m_sent);
    drop(m_posted);
    m_changed.notify_all();
}

bool PlainMessageQueue::post(HandlerId id, const Message& message) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_handlers.contains(id)) {
            return false;
        }
        m_posted.push_back(Pending{id, message, nullptr});
        m_changed.notify_all();
    }
    onArrival();
    return true;
}

SendResult PlainMessageQueue::send(HandlerId id, const Message& message, int timeoutMs,
                                   intptr_t* result) {
    if (isUiThread()) {
        std::shared_ptr<MessageHandler> handler;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_handlers.find(id);
            if (it == m_handlers.end()) {
                return SendResult::NoHandler;
            }
            handler = it->second;
        }
        intptr_t r = (*handler)(message);
        if (result) {
            *result = r;
        }
        return SendResult::Answered;
    }

    auto slot = std::make_shared<SendSlot>();
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    {
        std::lock_guard lock(m_mutex);
        if (!m_handlers.contains(id)) {
            return SendResult::NoHandler;
        }
        m_sent.push_back(Pending{id, message, slot});
        m_changed.notify_all();
    }
    onArrival();

    std::unique_lock lock(m_mutex);
    const bool finished = m_changed.wait_until(lock, deadline, [&] {
        return slot->state == SendState::Done || slot->state == SendState::NoHandler;
    });
    if (!finished) {
        if (slot->state == SendState::Waiting) {
            slot->state = SendState::Withdrawn;  // pumpOne skips it from now on
        }
        return SendResult::TimedOut;
    }
    if (slot->state == SendState::NoHandler) {
        return SendResult::NoHandler;
    }
    if (result) {
        *result = slot->result;
    }
    return SendResult::Answered;
}

bool PlainMessageQueue::pumpOne() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::deque<Pending>* q = !m_sent.empty()     ? &m_sent
                                 : !m_posted.empty() ? &m_posted
                                                     : nullptr;
        if (q == nullptr) {
            break;
        }
        Pending p = std::move(q->front());
        q->pop_front();
        if (p.send && p.send->state != SendState::Waiting) {
            continue;  // withdrawn by a sender whose limit ran out
        }
        auto it = m_handlers.find(p.handler);
        if (it == m_handlers.end()) {
            if (p.send) {
                p.send->state = SendState::NoHandler;
                m_changed.notify_all();
            }
            continue;
        }
        std::shared_ptr<MessageHandler> handler = it->second;
        if (p.send) {
            p.send->state = SendState::Running;
        }
        lock.unlock();
        intptr_t r = (*handler)(p.message);
        if (p.send) {
            lock.lock();
            p.send->result = r;
            p.send->state = SendState::Done;
            m_changed.notify_all();
        }
        return true;
    }

    // Timers come last, as on a desktop: only when no message waits.
    const auto now = Clock::now();
    auto due = std::min_element(m_timers.begin(), m_timers.end(),
                                [](const Timer& a, const Timer& b) { return a.due < b.due; });
    if (due == m_timers.end() || due->due > now) {
        return false;
    }
    due->due += due->interval;
    if (due->due <= now) {
        due->due = now + due->interval;  // do not fire a burst after a long stall
    }
    std::shared_ptr<TimerCallback> callback = due->callback;
    lock.unlock();
    (*callback)();
    return true;
}

bool PlainMessageQueue::waitAndPumpOne(int waitMs) {
    {
        std::unique_lock lock(m_mutex);
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
        while (!m_quit && !hasWorkLocked(Clock::now())) {
            const auto until = std::min(deadline, nextTimerDueLocked());
            if (Clock::now() >= deadline) {
                break;
            }
            m_changed.wait_until(lock, until);
        }
    }
    return pumpOne();
}

void PlainMessageQueue::pumpAll() {
    size_t budget;
    {
        std::lock_guard lock(m_mutex);
        budget = m_sent.size() + m_posted.size() + m_timers.size();
    }
    while (budget-- > 0 && pumpOne()) {
    }
}

TimerId PlainMessageQueue::startTimer(int intervalMs, TimerCallback callback) {
    std::lock_guard lock(m_mutex);
    TimerId id = m_nextTimer++;
    if (m_nextTimer == kNoTimer) {
        m_nextTimer = 1;
    }
    const auto interval = std::chrono::milliseconds(std::max(intervalMs, 1));
    m_timers.push_back(Timer{id, interval, Clock::now() + interval,
                             std::make_shared<TimerCallback>(std::move(callback))});
    m_changed.notify_all();
    return id;
}

void PlainMessageQueue::stopTimer(TimerId id) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_timers, [id](const Timer& t) { return t.id == id; });
}

void PlainMessageQueue::quit() {
    std::lock_guard lock(m_mutex);
    m_quit = true;
    m_changed.notify_all();
}

bool PlainMessageQueue::quitRequested() const {
    std::lock_guard lock(m_mutex);
    return m_quit;
}

bool PlainMessageQueue::isUiThread() const {
    return std::this_thread::get_id() == m_uiThread;
}

void PlainMessageQueue::run() {
    while (!quitRequested()) {
        waitAndPumpOne(1000);
    }
}

bool PlainMessageQueue::hasWork() const {
    std::lock_guard lock(m_mutex);
    return hasWorkLocked(Clock::now());
}

bool PlainMessageQueue::hasWorkLocked(Clock::time_point now) const {
    return !m_sent.empty() || !m_posted.empty() || nextTimerDueLocked() <= now;
}

PlainMessageQueue::Clock::time_point PlainMessageQueue::nextTimerDueLocked() const {
    auto next = Clock::time_point::max();
    for (const auto& t : m_timers) {
        next = std::min(next, t.due);
    }
    return next;
}

}  // namespace platform
