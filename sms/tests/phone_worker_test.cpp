// Phones on threads of their own against simulated phones: connecting, submitting and
// reporting on the owner's queue, several at once, a phone that goes away, and the end
// of a worker with a command waiting.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "platform/plain_message_queue.h"
#include "sms/phone_worker.h"
#include "sms/send_texts.h"
#include "tools/phone-sim/simulator.h"

namespace sms {
namespace {

using Clock = std::chrono::steady_clock;

// Sanitizers slow every step many times over; the limits only keep a broken run from
// hanging, they measure nothing.
constexpr int kLimitMs = 60000;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Pumps the owner's queue until `done` holds; false when the limit ran out first.
template <typename Pred>
bool pumpUntil(platform::PlainMessageQueue& queue, Pred done, int limitMs = kLimitMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        queue.waitAndPumpOne(5);
    }
    return true;
}

struct SimulatedPhone {
    explicit SimulatedPhone(phonesim::Config config) : sim(std::move(config)) {
        std::string error;
        started = sim.start(&error);
        EXPECT_TRUE(started) << error;
    }
    PhoneWorkerPort port(const std::string& name) const {
        PhoneWorkerPort p;
        p.name = name;
        p.devicePath = sim.slavePath();
        return p;
    }
    phonesim::Simulator sim;
    bool started = false;
};

phonesim::Config withImei(const std::string& imei, int submitDelayMs = 0) {
    phonesim::Config config;
    config.imei = imei;
    config.faults.submitDelayMs = submitDelayMs;
    return config;
}

bool pduCame(const phonesim::Simulator& sim) {
    const auto commands = sim.commands();
    return std::any_of(commands.begin(), commands.end(),
                       [](const std::string& c) { return c.find('\x1A') != std::string::npos; });
}

TEST(PhoneWorker, ConnectsSubmitsAndReportsOnTheOwnersQueue) {
    SimulatedPhone phone(withImei("356938035643809"));
    ASSERT_TRUE(phone.started);
    platform::PlainMessageQueue owner;
    PhoneWorker worker(phone.port("Com6"), owner);
    std::vector<PhoneWorkerState> seen;
    worker.setObserver([&](const PhoneWorkerState& s) {
        EXPECT_TRUE(owner.isUiThread());
        seen.push_back(s);
    });
    EXPECT_FALSE(worker.available());

    worker.connect();
    ASSERT_TRUE(pumpUntil(owner, [&] {
        const PhoneWorkerState s = worker.state();
        return s.connected && !s.connecting;
    })) << worker.state().lastError;
    const PhoneWorkerState s = worker.state();
    EXPECT_EQ(s.imei, "356938035643809");
    EXPECT_EQ(s.maker, "PHONESIM");
    EXPECT_EQ(s.model, "PS-100");
    EXPECT_EQ(s.operatorName, "PHONESIM NET");
    EXPECT_GT(s.signal, 0);
    EXPECT_EQ(worker.identity().imei, "356938035643809");
    EXPECT_EQ(worker.identity().port, "Com6");
    ASSERT_TRUE(pumpUntil(owner, [&] { return !seen.empty() && seen.back().connected; }));

    std::optional<SendOutcome> outcome;
    bool availableInDone = false;
    worker.submit("+905321112233", u"Merhaba", {}, [&](const SendOutcome& o) {
        EXPECT_TRUE(owner.isUiThread());
        availableInDone = worker.available();
        outcome = o;
    });
    EXPECT_FALSE(worker.available());   // from the call on, not only once the thread has it
    EXPECT_FALSE(outcome.has_value());  // never inside the call
    ASSERT_TRUE(pumpUntil(owner, [&] { return outcome.has_value(); }));
    EXPECT_EQ(outcome->status, SendStatus::Sent) << outcome->error;
    EXPECT_TRUE(availableInDone);
    EXPECT_EQ(worker.state().sent, 1);
    ASSERT_EQ(phone.sim.messages().size(), 1u);
    EXPECT_EQ(phone.sim.messages()[0].pdu.destination, "+905321112233");
    EXPECT_EQ(phone.sim.messages()[0].pdu.text, "Merhaba");

    // A job on the phone's thread, with the dialogue to itself.
    std::string reply;
    bool onPhoneThread = false;
    const auto ownerThread = std::this_thread::get_id();
    worker.post([&](phone::PhoneDialogue& dialogue) {
        const bool elsewhere = std::this_thread::get_id() != ownerThread;
        const std::string r = dialogue.SendCommand("AT+CSQ\r", "\r\nOK");
        worker.toOwner([&, elsewhere, r] {
            onPhoneThread = elsewhere;
            reply = r;
        });
    });
    ASSERT_TRUE(pumpUntil(owner, [&] { return !reply.empty(); }));
    EXPECT_NE(reply.find("+CSQ:"), std::string::npos);
    EXPECT_TRUE(onPhoneThread);

    // Off and on again, as the list's buttons do.
    worker.disconnect();
    // The identity goes with a disconnect asked for (a phone that went away keeps it).
    ASSERT_TRUE(pumpUntil(owner, [&] {
        const PhoneWorkerState s = worker.state();
        return !s.connected && s.imei.empty() && s.maker.empty();
    }));
    worker.connect();
    ASSERT_TRUE(pumpUntil(owner, [&] { return worker.available(); }));
    EXPECT_EQ(worker.state().imei, "356938035643809");
}

TEST(PhoneWorker, APortThatIsNotThereIsReported) {
    platform::PlainMessageQueue owner;
    PhoneWorkerPort port;
    port.name = "Com7";
    port.devicePath = "/dev/toplusms-no-such-phone";
    PhoneWorker worker(port, owner);
    worker.connect();
    ASSERT_TRUE(pumpUntil(owner, [&] { return !worker.state().connecting; }));
    EXPECT_FALSE(worker.state().connected);
    // Named as the user named it, not by the number standing in for the path.
    EXPECT_EQ(worker.state().lastError.rfind("Com7", 0), 0u) << worker.state().lastError;

    // Handed a message all the same, it answers with the reason, later.
    std::optional<SendOutcome> outcome;
    worker.submit("+905321112233", u"x", {}, [&](const SendOutcome& o) { outcome = o; });
    ASSERT_TRUE(pumpUntil(owner, [&] { return outcome.has_value(); }));
    EXPECT_EQ(outcome->status, SendStatus::Failed);
    EXPECT_FALSE(outcome->pduWritten);
}

TEST(PhoneWorker, ThreePhonesSubmitSideBySide) {
    constexpr int kPhones = 3;
    constexpr int kEach = 4;
    constexpr int kDelayMs = 300;
    std::vector<std::unique_ptr<SimulatedPhone>> phones;
    for (int i = 0; i < kPhones; ++i) {
        phones.push_back(std::make_unique<SimulatedPhone>(
            withImei("35693803564380" + std::to_string(i), kDelayMs)));
        ASSERT_TRUE(phones.back()->started);
    }
    platform::PlainMessageQueue owner;
    std::vector<std::unique_ptr<PhoneWorker>> workers;
    for (int i = 0; i < kPhones; ++i) {
        workers.push_back(
            std::make_unique<PhoneWorker>(phones[i]->port("Com" + std::to_string(40 + i)), owner));
        workers.back()->connect();
    }
    ASSERT_TRUE(pumpUntil(owner, [&] {
        return std::all_of(workers.begin(), workers.end(),
                           [](const auto& w) { return w->available(); });
    }));

    // Each phone sends its messages one after the other, all phones at once.
    struct Span {
        Clock::time_point start, end;
    };
    std::vector<std::vector<Span>> spans(kPhones);
    std::vector<int> failures(kPhones, 0);
    std::function<void(int)> next = [&](int i) {
        const int k = int(spans[i].size());
        spans[i].push_back({Clock::now(), {}});
        workers[i]->submit("+90532111" + std::to_string(1000 + i * 100 + k), u"Kampanya", {},
                           [&, i](const SendOutcome& o) {
                               spans[i].back().end = Clock::now();
                               failures[i] += o.status == SendStatus::Sent ? 0 : 1;
                               if (int(spans[i].size()) < kEach) {
                                   next(i);
                               }
                           });
    };
    const auto start = Clock::now();
    for (int i = 0; i < kPhones; ++i) {
        next(i);
    }
    ASSERT_TRUE(pumpUntil(owner, [&] {
        return std::all_of(workers.begin(), workers.end(), [&](const auto& w) {
            return w->state().sent + failures[&w - &workers[0]] == kEach;
        });
    }));
    const double elapsed = msSince(start);

    for (int i = 0; i < kPhones; ++i) {
        EXPECT_EQ(failures[i], 0);
        EXPECT_EQ(phones[i]->sim.messages().size(), size_t(kEach));
    }
    // The first messages of every two phones were with the network at the same time:
    // no phone's submission waited for another's.
    for (int a = 0; a < kPhones; ++a) {
        for (int b = a + 1; b < kPhones; ++b) {
            EXPECT_LT(spans[a][0].start, spans[b][0].end);
            EXPECT_LT(spans[b][0].start, spans[a][0].end);
        }
    }
    std::printf(
        "%d phones x %d messages, %d ms each at the network: %.0f ms (one after the "
        "other at least %d ms)\n",
        kPhones, kEach, kDelayMs, elapsed, kPhones * kEach * kDelayMs);
}

TEST(PhoneWorker, APhoneThatHangsUpMidMessage) {
    SimulatedPhone phone(withImei("356938035643809", 800));
    ASSERT_TRUE(phone.started);
    platform::PlainMessageQueue owner;
    PhoneWorker worker(phone.port("Com8"), owner);
    worker.connect();
    ASSERT_TRUE(pumpUntil(owner, [&] { return worker.available(); }));

    std::optional<SendOutcome> outcome;
    worker.submit("+905321112233", u"Merhaba", {}, [&](const SendOutcome& o) { outcome = o; });
    // Unplugged while the network has the message.
    ASSERT_TRUE(pumpUntil(owner, [&] { return pduCame(phone.sim); }));
    phone.sim.hangUp();
    ASSERT_TRUE(pumpUntil(owner, [&] { return outcome.has_value(); }));
    EXPECT_EQ(outcome->status, SendStatus::Unknown) << outcome->error;
    EXPECT_TRUE(outcome->lineLost);
    ASSERT_TRUE(pumpUntil(owner, [&] { return !worker.state().connected; }));
    EXPECT_FALSE(worker.available());
    EXPECT_FALSE(worker.state().lastError.empty());

    // Hung up between messages (after so many answers): the list shows it by itself.
    phonesim::Config config = withImei("356938035643810");
    config.faults.hangUpAfter = 30;
    SimulatedPhone second(config);
    ASSERT_TRUE(second.started);
    PhoneWorker other(second.port("Com9"), owner);
    other.connect();
    ASSERT_TRUE(pumpUntil(owner, [&] { return other.available(); }));
    std::vector<SendOutcome> outcomes;
    std::function<void()> send = [&] {
        other.submit("+905321112233", u"x", {}, [&](const SendOutcome& o) {
            outcomes.push_back(o);
            if (o.status == SendStatus::Sent && outcomes.size() < 30) {
                send();
            }
        });
    };
    send();
    ASSERT_TRUE(pumpUntil(
        owner, [&] { return !outcomes.empty() && outcomes.back().status != SendStatus::Sent; }));
    EXPECT_FALSE(other.state().connected);
    EXPECT_NE(outcomes.back().status, SendStatus::Sent);
    EXPECT_TRUE(outcomes.back().lineLost);

    // Gone while idle: off in the list, with the reason; it still says which phone it was.
    SimulatedPhone third(withImei("356938035643811"));
    ASSERT_TRUE(third.started);
    PhoneWorker idle(third.port("Com10"), owner);
    idle.connect();
    ASSERT_TRUE(pumpUntil(owner, [&] { return idle.available(); }));
    third.sim.hangUp();
    ASSERT_TRUE(pumpUntil(owner, [&] { return !idle.state().connected; }));
    EXPECT_EQ(idle.state().lastError, texts::lineLost());
    EXPECT_EQ(idle.identity().imei, "356938035643811");
    EXPECT_FALSE(idle.available());
}

TEST(PhoneWorker, EndsWithACommandWaiting) {
    // The network never answers: the PDU would wait a minute for its result.
    SimulatedPhone phone(withImei("356938035643809", 600000));
    ASSERT_TRUE(phone.started);
    platform::PlainMessageQueue owner;
    auto worker = std::make_unique<PhoneWorker>(phone.port("Com6"), owner);
    worker->connect();
    ASSERT_TRUE(pumpUntil(owner, [&] { return worker->available(); }));
    // What was attached to the phone ends on its thread, after the port has closed.
    std::atomic<bool> endedOnPhoneThread{false};
    const auto ownerThread = std::this_thread::get_id();
    worker->attach([&](phone::PhoneDialogue& dialogue) {
        return [&] {
            endedOnPhoneThread =
                std::this_thread::get_id() != ownerThread && !dialogue.state().IsConnected;
        };
    });
    bool reported = false;
    worker->submit("+905321112233", u"x", {}, [&](const SendOutcome&) { reported = true; });
    worker->post([](phone::PhoneDialogue&) { ADD_FAILURE() << "a dropped job ran"; });
    ASSERT_TRUE(pumpUntil(owner, [&] { return pduCame(phone.sim); }));

    const auto start = Clock::now();
    worker.reset();
    const double ms = msSince(start);
    EXPECT_LT(ms, 20000.0);  // the PDU's own limit is 60 s
    owner.pumpAll();
    EXPECT_FALSE(reported);  // dropped with the worker
    EXPECT_TRUE(endedOnPhoneThread);
    std::printf("worker ended with a command waiting in %.0f ms\n", ms);
}

}  // namespace
}  // namespace sms
