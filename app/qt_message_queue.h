#pragma once
// The message queue of the user-interface thread on Qt's event loop: what the program
// uses. Messages and timers are those of the plain queue; Qt is woken to pump them, and
// every pump also lets Qt handle its own events (clicks, paints, QTimers), as the waits
// of the phone dialogue need.

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "platform/plain_message_queue.h"

namespace app {

class QtMessageQueue : public platform::PlainMessageQueue {
public:
    // Create it on the thread that runs the QApplication.
    QtMessageQueue();
    ~QtMessageQueue() override;

    bool pumpOne() override;
    bool waitAndPumpOne(int waitMs) override;
    void pumpAll() override;
    platform::TimerId startTimer(int intervalMs, platform::TimerCallback callback) override;
    void stopTimer(platform::TimerId id) override;
    void quit() override;

protected:
    void onArrival() override;

private:
    // Runs waiting messages and due timers, at most one round's worth; true when any ran.
    bool drain();
    // Lets Qt handle what is pending; true when that ran any of our messages.
    bool processQtEvents();
    void scheduleWake();
    void addQtTimer(platform::TimerId id, int intervalMs);

    std::unique_ptr<QObject> m_waker;  // lives on the UI thread; target of queued wakes
    std::atomic<bool> m_wakePending{false};
    std::atomic<unsigned> m_ran{0};  // messages and ticks run by drain(), ever
    std::mutex m_timersMutex;
    // One QTimer per timer of ours wakes Qt's loop when the timer is due.
    std::map<platform::TimerId, QPointer<QTimer>> m_qtTimers;  // guarded by m_timersMutex
};

}  // namespace app
