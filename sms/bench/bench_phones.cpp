// One campaign over several phones: the same run of 300 messages without a pause over one
// simulated phone and over three, each taking 300 ms to submit a message, each phone on
// a thread of its own and the simulators in child processes. Prints the two times, their
// ratio (three phones should take at most 0.4 of the time of one) and each phone's share
// (each within 10 % of the others'). One "name: value" line per figure.
//
//   bench-phones [--quick]     --quick: 60 messages, for a smoke run

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/plain_message_queue.h"
#include "sms/campaign_recorder.h"
#include "sms/phone_pool.h"
#include "sms/phone_worker.h"
#include "tools/phone-sim/simulator_process.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSubmitMs = 300;

class CountingView : public sms::BulkView {
public:
    void runStarted(int) override {}
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const sms::RecipientResult& r) override {
        if (r.outcome.status == sms::SendStatus::Sent) {
            ++byPort[r.phone.port];
        }
    }
    void runFinished(const sms::BulkSummary&) override {}
    std::map<std::string, int> byPort;
};

struct Outcome {
    double ms = -1;
    int sent = 0;
    std::map<std::string, int> byPort;
};

// The run of `messages` over `phones` simulators; ms < 0 when a phone did not connect.
Outcome runOver(int phones, int messages) {
    Outcome out;
    std::vector<std::unique_ptr<phonesim::SimulatorProcess>> sims;
    for (int i = 0; i < phones; ++i) {
        phonesim::Config config;
        config.imei = "35693803564380" + std::to_string(i);
        config.faults.submitDelayMs = kSubmitMs;
        sims.push_back(std::make_unique<phonesim::SimulatorProcess>());
        if (!sims.back()->start(config)) {
            std::fprintf(stderr, "simulator %d did not start\n", i);
            return out;
        }
    }
    platform::PlainMessageQueue queue;
    std::vector<std::unique_ptr<sms::PhoneWorker>> workers;
    for (int i = 0; i < phones; ++i) {
        sms::PhoneWorkerPort port;
        port.name = "Com" + std::to_string(5 + i);
        port.devicePath = sims[size_t(i)]->path;
        workers.push_back(std::make_unique<sms::PhoneWorker>(port, queue));
        workers.back()->connect();
    }
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline && std::any_of(workers.begin(), workers.end(),
                                                  [](const auto& w) { return !w->available(); })) {
        queue.waitAndPumpOne(50);
    }
    CountingView view;
    sms::PhonePool pool(view, sms::queueClock(queue));
    for (const auto& w : workers) {
        if (!w->available()) {
            std::fprintf(stderr, "%s did not connect\n", w->identity().port.c_str());
            return out;
        }
        pool.addSlot(*w);
    }
    std::vector<std::string> numbers;
    for (int i = 0; i < messages; ++i) {
        numbers.push_back("0532" + std::to_string(1000000 + i));
    }
    sms::MemoryRecorder recorder(numbers);
    sms::BulkRequest request;
    request.text = u"Kampanya: bu hafta sonu tum urunlerde yuzde yirmi indirim.";
    request.pauseSeconds = 0;
    const auto start = Clock::now();
    const sms::BulkSummary summary = pool.run(request, recorder);
    out.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    out.sent = summary.sent;
    out.byPort = view.byPort;
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int messages = quick ? 60 : 300;
    const Outcome one = runOver(1, messages);
    const Outcome three = runOver(3, messages);
    if (one.ms < 0 || three.ms < 0) {
        return 1;
    }
    std::printf("messages: %d, each phone %d ms per message\n", messages, kSubmitMs);
    std::printf("one phone: %.0f ms (%d sent)\n", one.ms, one.sent);
    std::printf("three phones: %.0f ms (%d sent)\n", three.ms, three.sent);
    std::printf("three / one: %.3f (target at most 0.4)\n", three.ms / one.ms);
    int least = messages, most = 0;
    for (const auto& [port, n] : three.byPort) {
        std::printf("share %s: %d\n", port.c_str(), n);
        least = std::min(least, n);
        most = std::max(most, n);
    }
    std::printf("balance, fewest against most: %.1f %% apart (target at most 10 %%)\n",
                most > 0 ? 100.0 * (most - least) / most : 0.0);
    return one.sent == messages && three.sent == messages ? 0 : 1;
}
