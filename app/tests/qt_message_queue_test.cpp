#include "app/qt_message_queue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <thread>

#include "platform/tests/message_queue_cases.h"

namespace platform::testing {

INSTANTIATE_TEST_SUITE_P(Qt, MessageQueueCases, ::testing::Values(QueueFactory([] {
                             return std::make_unique<app::QtMessageQueue>();
                         })),
                         [](const auto&) { return std::string("QtMessageQueue"); });

}  // namespace platform::testing

namespace app {
namespace {

// What the program relies on beyond the shared cases: Qt's own loop runs our messages
// and timers, and our waits let Qt's own events through.
TEST(QtMessageQueue, QtEventLoopRunsPostedMessagesAndTimers) {
    QtMessageQueue queue;
    int messages = 0;
    int ticks = 0;
    const platform::HandlerId h = queue.addHandler([&](const platform::Message&) {
        ++messages;
        return 0;
    });
    std::thread poster([&] { queue.post(h, platform::Message{1, 0, 0}); });
    poster.join();
    const platform::TimerId t = queue.startTimer(10, [&] { ++ticks; });
    QElapsedTimer clock;
    clock.start();
    while ((messages < 1 || ticks < 3) && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    queue.stopTimer(t);
    EXPECT_EQ(messages, 1);
    EXPECT_GE(ticks, 3);
}

TEST(QtMessageQueue, WaitingLetsQtTimersFire) {
    QtMessageQueue queue;
    bool fired = false;
    QTimer::singleShot(5, [&] { fired = true; });
    QElapsedTimer clock;
    clock.start();
    while (!fired && clock.elapsed() < 5000) {
        queue.waitAndPumpOne(20);
    }
    EXPECT_TRUE(fired);
}

TEST(QtMessageQueue, QuitEndsQtsEventLoop) {
    QtMessageQueue queue;
    QTimer::singleShot(0, [&] { queue.quit(); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    guard.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(queue.quitRequested());
}

}  // namespace
}  // namespace app
