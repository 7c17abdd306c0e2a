#include "app/qt_message_queue.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <chrono>

namespace app {
namespace {

// How much one wake-up runs before it lets Qt paint and take input again.
constexpr int kRoundBudget = 256;
// A wait looks at Qt's own events at least this often.
constexpr int kQtSliceMs = 10;

}  // namespace

QtMessageQueue::QtMessageQueue() : m_waker(std::make_unique<QObject>()) {}

QtMessageQueue::~QtMessageQueue() {
    // Queued wakes and the QTimers die with their target.
    m_waker.reset();
}

void QtMessageQueue::onArrival() {
    scheduleWake();
}

void QtMessageQueue::scheduleWake() {
    if (m_wakePending.exchange(true)) {
        return;  // one wake-up on its way is enough
    }
    QMetaObject::invokeMethod(
        m_waker.get(),
        [this] {
            m_wakePending = false;
            drain();
        },
        Qt::QueuedConnection);
}

bool QtMessageQueue::drain() {
    bool any = false;
    for (int i = 0; i < kRoundBudget && PlainMessageQueue::pumpOne(); ++i) {
        any = true;
        ++m_ran;
    }
    if (hasWork()) {
        scheduleWake();
    }
    return any;
}

bool QtMessageQueue::processQtEvents() {
    if (QCoreApplication::instance() == nullptr || !isUiThread()) {
        return false;
    }
    const unsigned before = m_ran;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return m_ran != before;
}

bool QtMessageQueue::pumpOne() {
    if (PlainMessageQueue::pumpOne()) {
        return true;
    }
    return processQtEvents();
}

bool QtMessageQueue::waitAndPumpOne(int waitMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    for (;;) {
        if (pumpOne()) {
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || quitRequested()) {
            return false;
        }
        // Sleeps on our own queue, waking at once for a message or a due timer; Qt's
        // events get their turn at the next slice.
        if (PlainMessageQueue::waitAndPumpOne(
                static_cast<int>(std::min<long long>(left, kQtSliceMs)))) {
            return true;
        }
    }
}

void QtMessageQueue::pumpAll() {
    processQtEvents();
    drain();
}

platform::TimerId QtMessageQueue::startTimer(int intervalMs, platform::TimerCallback callback) {
    const platform::TimerId id = PlainMessageQueue::startTimer(intervalMs, std::move(callback));
    {
        std::lock_guard lock(m_timersMutex);
        m_qtTimers.emplace(id, nullptr);
    }
    if (isUiThread()) {
        addQtTimer(id, intervalMs);
    } else {
        QMetaObject::invokeMethod(
            m_waker.get(), [this, id, intervalMs] { addQtTimer(id, intervalMs); },
            Qt::QueuedConnection);
    }
    return id;
}

void QtMessageQueue::addQtTimer(platform::TimerId id, int intervalMs) {
    std::lock_guard lock(m_timersMutex);
    auto it = m_qtTimers.find(id);
    if (it == m_qtTimers.end()) {
        return;  // stopped before it got here
    }
    auto* timer = new QTimer(m_waker.get());
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(std::max(intervalMs, 1));
    QObject::connect(timer, &QTimer::timeout, m_waker.get(), [this] {
        if (!drain()) {
            // Our clock said "not yet": look again in a moment rather than an interval.
            QTimer::singleShot(2, m_waker.get(), [this] { drain(); });
        }
    });
    timer->start();
    it->second = timer;
}

void QtMessageQueue::stopTimer(platform::TimerId id) {
    PlainMessageQueue::stopTimer(id);
    QPointer<QTimer> timer;
    {
        std::lock_guard lock(m_timersMutex);
        auto it = m_qtTimers.find(id);
        if (it == m_qtTimers.end()) {
            return;
        }
        timer = it->second;
        m_qtTimers.erase(it);
    }
    if (timer.isNull()) {
        return;
    }
    // Later, not at once: the timer may be the one whose tick is running now.
    if (isUiThread()) {
        timer->stop();
        timer->deleteLater();
    } else {
        QMetaObject::invokeMethod(
            m_waker.get(),
            [timer] {
                if (timer) {
                    timer->stop();
                    timer->deleteLater();
                }
            },
            Qt::QueuedConnection);
    }
}

void QtMessageQueue::quit() {
    PlainMessageQueue::quit();
    if (QCoreApplication::instance() != nullptr) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    }
}

}  // namespace app
