// Trigger events on real pseudo-terminals: the far side sends, the port's handlers run on
// the test's thread, which pumps the message queue like the program's main loop.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/tests/pty_pair.h"
#include "serial/com_port.h"
#include "serial/dispatcher.h"
#include "serial/serial_exceptions.h"
#include "serial/tests/serial_test_support.h"

namespace serial::testing {

using platform::testing::PtyPair;
using namespace std::chrono_literals;

class Delivery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        port.SetComNumber(5);
        port.SetBaud(115200);
        port.SetAutoOpen(false);
        port.SetOnTriggerAvail([this](TCustomComPort& p, uint16_t count) {
            events.push_back("avail " + std::to_string(count));
            int take = takeLimit < 0 ? count : std::min<int>(takeLimit, count);
            for (int i = 0; i < take; ++i) {
                taken += char(p.ReadChar());
            }
            if (onAvail) {
                onAvail(p, count);
            }
        });
        port.SetOpen(true);
        ASSERT_TRUE(port.Open());
    }
    void TearDown() override {
        // The tests' handlers hold their locals, which are gone by now.
        port.OnPortClose = nullptr;
        port.SetOnTriggerData(nullptr);
        port.SetOnTriggerTimer(nullptr);
        port.SetOnTriggerOutbuffUsed(nullptr);
        onAvail = nullptr;
        port.SetOpen(false);
    }

    // Pumps the queue until pred holds or the time runs out.
    template <class P>
    bool pumpUntil(P pred, std::chrono::milliseconds limit = 5000ms) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            ui.queue().waitAndPumpOne(5);
        }
        return true;
    }
    // Pumps for a while, for events that should not come.
    void pumpFor(std::chrono::milliseconds d) {
        auto end = std::chrono::steady_clock::now() + d;
        while (std::chrono::steady_clock::now() < end) {
            ui.queue().waitAndPumpOne(5);
        }
    }

    PtyPair pty;
    PortMap map{{{5, pty.path()}}};
    UiQueue ui;
    TComPort port;
    std::vector<std::string> events;
    std::string taken;
    int takeLimit = -1;  // characters the handler takes; -1: all it is offered
    std::function<void(TCustomComPort&, uint16_t)> onAvail;
};

TEST_F(Delivery, OneEventPerArrivalWithTheWholeCount) {
    pty.send("hello");
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    pumpFor(150ms);
    EXPECT_EQ(events, std::vector<std::string>{"avail 5"});
    EXPECT_EQ(taken, "hello");
    EXPECT_EQ(port.Dispatcher()->InputCount(), 0u);
}

TEST_F(Delivery, CharactersLeftByTheHandlerComeAgainWithTheNextArrival) {
    takeLimit = 2;
    pty.send("abcde");
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    pumpFor(150ms);  // no second event for the three left behind
    EXPECT_EQ(events, std::vector<std::string>{"avail 5"});
    EXPECT_EQ(port.Dispatcher()->InputCount(), 3u);
    pty.send("xy");
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events[1], "avail 5");
    EXPECT_EQ(taken, "abcd");
}

TEST_F(Delivery, BytesArrivingDuringTheHandlerAreReportedAfterIt) {
    bool first = true;
    int32_t beyond = 0;
    onAvail = [&](TCustomComPort& p, uint16_t) {
        if (!first) {
            return;
        }
        first = false;
        pty.send("later");
        std::this_thread::sleep_for(100ms);
        try {
            p.ReadChar();  // beyond the count: as on an empty buffer
        } catch (const ESerialException& e) {
            beyond = e.ErrorCode;
        }
    };
    pty.send("now");
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(beyond, -3007);
    EXPECT_EQ(events, (std::vector<std::string>{"avail 3", "avail 5"}));
    EXPECT_EQ(taken, "nowlater");
}

TEST_F(Delivery, NoEventDuringATextWaitAndTheRestIsAnnouncedAfter) {
    pty.send("\r\nOK\r\n");
    EXPECT_TRUE(port.WaitForText("OK", 20, false, false));
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<std::string>{"avail 2"});
    EXPECT_EQ(taken, "\r\n");
}

TEST_F(Delivery, ReadsOutsideTheHandlerWhileItsEventWaitsAreNotSeenTwice) {
    pty.send("abcdef");
    // The event is on its way, but this thread does not pump yet: it reads itself.
    std::this_thread::sleep_for(200ms);
    std::string own;
    for (int i = 0; i < 4; ++i) {
        own += char(port.ReadChar());
    }
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ(own, "abcd");
    EXPECT_EQ(events, std::vector<std::string>{"avail 2"});
    EXPECT_EQ(taken, "ef");
    EXPECT_EQ(port.Dispatcher()->InputCount(), 0u);
}

TEST_F(Delivery, ClosingInsideTheHandlerIsDeferredSafely) {
    std::vector<std::string> order;
    bool openInside = false;
    port.OnPortClose = [&](TCustomComPort&) { order.push_back("close"); };
    onAvail = [&](TCustomComPort& p, uint16_t) {
        p.SetOpen(false);
        order.push_back("handler returns");
        openInside = p.Open();
        EXPECT_EQ(p.LifeState(), PortLifeState::Closing);
        EXPECT_NE(p.Dispatcher(), nullptr);  // not freed under the running delivery
    };
    pty.send("RING\r\n");
    ASSERT_TRUE(pumpUntil([&] { return !order.empty(); }));
    EXPECT_EQ(order, (std::vector<std::string>{"close", "handler returns"}));
    EXPECT_TRUE(openInside);
    ASSERT_TRUE(pumpUntil([&] { return port.LifeState() == PortLifeState::Closed; }));
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.Dispatcher(), nullptr);
    // And it opens again.
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
}

// "Bağlantıyı Kes" then "Bağlan" while an event is delivered: the open follows the
// deferred close; a close asked once more before it completes takes the open back.
TEST_F(Delivery, AnOpenAskedWhileTheCloseIsDeferredFollowsIt) {
    int opens = 0;
    int closes = 0;
    port.OnPortOpen = [&](TCustomComPort&) { ++opens; };
    port.OnPortClose = [&](TCustomComPort&) { ++closes; };
    bool thenCloseAgain = false;
    onAvail = [&](TCustomComPort& p, uint16_t) {
        p.SetOpen(false);
        p.SetOpen(true);
        if (thenCloseAgain) {
            p.SetOpen(false);
        }
    };
    pty.send("RING\r\n");
    ASSERT_TRUE(pumpUntil([&] { return opens == 1; }));
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(port.LifeState(), PortLifeState::Opened);
    EXPECT_TRUE(port.Open());

    thenCloseAgain = true;
    pty.send("RING\r\n");
    ASSERT_TRUE(pumpUntil([&] { return port.LifeState() == PortLifeState::Closed; }));
    (void)pumpUntil([] { return false; }, 100ms);  // a reopen would come meanwhile
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(opens, 1);
    EXPECT_FALSE(port.Open());
    port.OnPortOpen = nullptr;
}

TEST_F(Delivery, AHandlerBlockingPastTheLimitDoesNotStallTheDispatcher) {
    takeLimit = 0;
    bool first = true;
    bool filledWhileBlocked = false;
    onAvail = [&](TCustomComPort& p, uint16_t) {
        if (!first) {
            return;
        }
        first = false;
        // Block past the 3000 ms the dispatcher waits for a window: once it has given up
        // on us it goes on, and bytes sent now reach the ring while we still block.
        pty.send("more");
        auto end = std::chrono::steady_clock::now() + 20s;
        while (!filledWhileBlocked && std::chrono::steady_clock::now() < end) {
            filledWhileBlocked = p.Dispatcher()->InputCount() >= 8;
            std::this_thread::sleep_for(5ms);
        }
    };
    pty.send("slow");
    ASSERT_TRUE(pumpUntil([&] { return !first; }, 25s));
    EXPECT_TRUE(filledWhileBlocked);
    // The characters stayed in the ring, and a new arrival reports old and new together.
    EXPECT_EQ(port.Dispatcher()->InputCount(), 8u);
    pty.send("!");
    ASSERT_TRUE(pumpUntil([&] { return events.back() == "avail 9"; }, 10s));
}

TEST_F(Delivery, DataTriggersAnnounceWhatComesBeforeThemFirst) {
    std::vector<std::string> order;
    onAvail = [&](TCustomComPort&, uint16_t count) {
        order.push_back("avail " + std::to_string(count));
    };
    takeLimit = -1;
    int32_t ok = port.Dispatcher()->AddDataTrigger("OK", false);
    ASSERT_GT(ok, 0);
    port.SetOnTriggerData([&](TCustomComPort& p, uint16_t handle) {
        EXPECT_EQ(handle, uint16_t(ok));
        std::string s;
        s += char(p.ReadChar());
        s += char(p.ReadChar());
        taken += s;
        order.push_back("data " + s);
    });
    pty.send("abcOKdef");
    ASSERT_TRUE(pumpUntil([&] { return order.size() >= 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"avail 3", "data OK", "avail 3"}));
    EXPECT_EQ(taken, "abcOKdef");
}

TEST_F(Delivery, TimerAndStatusTriggersFire) {
    TBaseDispatcher* d = port.Dispatcher();
    std::vector<std::string> fired;
    port.SetOnTriggerTimer(
        [&](TCustomComPort&, uint16_t h) { fired.push_back("timer " + std::to_string(h)); });
    port.SetOnTriggerOutbuffUsed([&](TCustomComPort&) { fired.push_back("used"); });
    int32_t timer = d->AddTimerTrigger();
    int32_t used = d->AddStatusTrigger(4);
    ASSERT_GT(timer, 0);
    ASSERT_EQ(used & 7, 4);
    ASSERT_EQ(d->SetTimerTrigger(uint32_t(timer), 2, true), 0);
    ASSERT_EQ(d->SetStatusTrigger(uint32_t(used), 0, true), 0);  // output ring empty
    ASSERT_TRUE(pumpUntil([&] { return fired.size() >= 2; }));
    pumpFor(200ms);  // each fires once until armed again
    std::sort(fired.begin(), fired.end());
    EXPECT_EQ(fired,
              (std::vector<std::string>{"timer " + std::to_string(uint16_t(timer)), "used"}));
    EXPECT_EQ(d->AddDataTrigger(std::string(23, 'x'), false), -5002);
    EXPECT_EQ(d->SetTimerTrigger(12345, 1, true), -5003);
}

TEST_F(Delivery, TriggersSurviveAChangeOfPort) {
    PtyPair other;
    ASSERT_TRUE(other.ok());
    PortMap both{{{5, pty.path()}, {6, other.path()}}};
    int32_t ok = port.Dispatcher()->AddDataTrigger("OK", false);
    std::vector<uint16_t> data;
    port.SetOnTriggerData([&](TCustomComPort& p, uint16_t h) {
        data.push_back(h);
        p.ReadChar();
        p.ReadChar();
    });
    port.SetComNumber(6);
    ASSERT_TRUE(port.Open());
    other.send("OK");
    ASSERT_TRUE(pumpUntil([&] { return !data.empty(); }));
    EXPECT_EQ(data[0], uint16_t(ok));
}

}  // namespace serial::testing
