// One campaign over phones on threads of their own, against simulated phones: the run on
// this thread hears each phone's answer through its queue; a phone that goes away leaves
// its rows to the other.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "platform/plain_message_queue.h"
#include "sms/campaign_recorder.h"
#include "sms/phone_pool.h"
#include "sms/phone_worker.h"
#include "tools/phone-sim/simulator.h"

namespace sms {
namespace {

class ResultsView : public BulkView {
public:
    void runStarted(int) override {}
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const RecipientResult& r) override { results.push_back(r); }
    void runFinished(const BulkSummary&) override {}
    std::vector<RecipientResult> results;
};

TEST(PhonePoolWorkers, TwoThreadedPhonesShareARunAndOneGoingAwayLeavesItsRowsToTheOther) {
    constexpr int kNumbers = 24;
    std::vector<std::unique_ptr<phonesim::Simulator>> sims;
    for (int i = 0; i < 2; ++i) {
        phonesim::Config config;
        config.imei = "35693803564380" + std::to_string(i);
        config.faults.submitDelayMs = 20;
        if (i == 1) {
            config.faults.hangUpAfterMessages = 4;
        }
        sims.push_back(std::make_unique<phonesim::Simulator>(std::move(config)));
        std::string error;
        ASSERT_TRUE(sims.back()->start(&error)) << error;
    }
    platform::PlainMessageQueue queue;
    std::vector<std::unique_ptr<PhoneWorker>> workers;
    for (int i = 0; i < 2; ++i) {
        PhoneWorkerPort port;
        port.name = "Com" + std::to_string(5 + i);
        port.devicePath = sims[size_t(i)]->slavePath();
        workers.push_back(std::make_unique<PhoneWorker>(port, queue));
        workers.back()->connect();
    }
    // The limit only keeps a broken connect from hanging the test.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((!workers[0]->available() || !workers[1]->available()) &&
           std::chrono::steady_clock::now() < end) {
        queue.waitAndPumpOne(5);
    }
    ASSERT_TRUE(workers[0]->available() && workers[1]->available());

    ResultsView view;
    PhonePool pool(view, queueClock(queue));
    pool.addSlot(*workers[0]);
    pool.addSlot(*workers[1]);
    std::vector<std::string> numbers;
    for (int i = 0; i < kNumbers; ++i) {
        numbers.push_back("0532" + std::to_string(1000000 + i));
    }
    MemoryRecorder recorder(numbers);
    BulkRequest request;
    request.text = u"merhaba";
    request.pauseSeconds = 0;
    const BulkSummary s = pool.run(request, recorder);

    EXPECT_EQ(s.sent, kNumbers - 1);
    EXPECT_EQ(s.unknown, 1);  // in flight as the phone went away
    EXPECT_EQ(s.notSent, 0);
    EXPECT_EQ(sims[1]->messages().size(), 4u);
    EXPECT_EQ(sims[0]->messages().size(), size_t(kNumbers - 5));
    std::map<std::string, int> results;
    for (const RecipientResult& r : view.results) {
        ++results[r.number];
        EXPECT_EQ(r.phone.imei, r.phone.port == "Com5" ? "356938035643800" : "356938035643801");
        if (r.outcome.status == SendStatus::Unknown) {
            EXPECT_EQ(r.phone.port, "Com6");
        }
    }
    EXPECT_EQ(int(results.size()), kNumbers);
}

}  // namespace
}  // namespace sms
