// Ports opened on different threads: each thread's port window gets its events on that
// thread's own queue, and the two exchanges go on side by side.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/plain_message_queue.h"
#include "platform/port_names.h"
#include "serial/com_port.h"
#include "serial/pump.h"
#include "tools/phone-sim/simulator.h"

namespace serial {
namespace testing {
namespace {

struct Exchange {
    std::string imeis;  // every IMEI line received
    int answers = 0;
    bool eventsOnOwnThread = true;
    bool textWaitsAnswered = true;
    std::string error;
};

// Opens Com`number` on the calling thread with a queue of its own and asks for the IMEI
// `rounds` times, half by a text wait, then half by the data event.
void exchange(int number, int rounds, std::atomic<int>& ready, Exchange& out) {
    platform::PlainMessageQueue queue;
    setMessageQueue(&queue);
    const auto me = std::this_thread::get_id();
    std::string received;
    {
        TComPort port;
        port.SetAutoOpen(false);
        port.SetComNumber(uint16_t(number));
        port.SetBaud(115200);
        port.SetOnTriggerAvail([&](TCustomComPort& p, uint16_t count) {
            out.eventsOnOwnThread = out.eventsOnOwnThread && std::this_thread::get_id() == me;
            for (uint16_t i = 0; i < count; ++i) {
                received += char(p.ReadChar());
            }
        });
        try {
            port.SetOpen(true);
        } catch (const std::exception& e) {
            out.error = e.what();
        }
        // Both threads open first, then talk at the same time.
        ready.fetch_add(1);
        while (ready.load() < 2) {
            queue.waitAndPumpOne(1);
        }
        for (int r = 0; r < rounds && out.error.empty(); ++r) {
            if (r < rounds / 2) {
                // The text wait takes the answer itself; no event sees it. (First: a
                // text wait begun while an event is on its way stalls that event.)
                const bool ok = port.writeAndWaitForText("AT+CGSN\r", "OK\r\n", 200, false, false);
                out.textWaitsAnswered = out.textWaitsAnswered && ok;
                out.answers += ok ? 1 : 0;
                continue;
            }
            received.clear();
            port.WriteText("AT+CGSN\r");
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (received.find("OK\r\n") == std::string::npos &&
                   std::chrono::steady_clock::now() < end) {
                queue.waitAndPumpOne(5);
            }
            if (received.find("OK\r\n") != std::string::npos) {
                ++out.answers;
                const size_t digits = received.find_first_of("0123456789");
                out.imeis += received.substr(digits, received.find('\r', digits) - digits) + ";";
            }
        }
        port.SetOpen(false);
    }
    setMessageQueue(nullptr);
}

TEST(PortThreads, TwoPortsOnTwoThreadsExchangeAtOnce) {
    constexpr int kRounds = 20;
    const std::vector<std::string> imeis = {"356938035643809", "490154203237518"};
    std::vector<std::unique_ptr<phonesim::Simulator>> sims;
    std::vector<int> numbers;
    for (const std::string& imei : imeis) {
        phonesim::Config config;
        config.imei = imei;
        config.faults.delayMs = 5;  // answers come while the other thread talks
        sims.push_back(std::make_unique<phonesim::Simulator>(config));
        std::string error;
        ASSERT_TRUE(sims.back()->start(&error)) << error;
        numbers.push_back(platform::holdPortNumber(sims.back()->slavePath()));
    }
    // The test's own thread has no queue: nothing may reach it.
    ASSERT_EQ(messageQueue(), nullptr);

    std::atomic<int> ready{0};
    std::vector<Exchange> results(2);
    std::thread a(exchange, numbers[0], kRounds, std::ref(ready), std::ref(results[0]));
    std::thread b(exchange, numbers[1], kRounds, std::ref(ready), std::ref(results[1]));
    a.join();
    b.join();

    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[i].error, "");
        EXPECT_EQ(results[i].answers, kRounds);
        EXPECT_TRUE(results[i].eventsOnOwnThread);
        EXPECT_TRUE(results[i].textWaitsAnswered);
        // Each thread heard its own phone only.
        std::string expected;
        for (int r = 0; r < kRounds / 2; ++r) {
            expected += imeis[i] + ";";
        }
        EXPECT_EQ(results[i].imeis, expected);
        platform::releasePortNumber(numbers[i]);
    }
}

}  // namespace
}  // namespace testing
}  // namespace serial
