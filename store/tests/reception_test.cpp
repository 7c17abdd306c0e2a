// Reports and replies received from the simulated phone, through the serial layer, the
// phone dialogue and the receiver, into the database; with a bulk run going on where it
// matters.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "phone/message_receiver.h"
#include "platform/codepage_1254.h"
#include "platform/tests/scratch_folder.h"
#include "sms/bulk_run.h"
#include "sms/tests/simulated_phone_line.h"
#include "store/campaigns.h"
#include "store/database.h"
#include "store/database_recorder.h"
#include "store/optout_list.h"
#include "store/received_store.h"

namespace store {
namespace {

using phone::ReceiveRoute;
using phone::testing::cp;
using phonesim::Route;
using phonesim::SmsEvent;

class Results : public sms::BulkView {
public:
    void runStarted(int) override {}
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const sms::RecipientResult& r) override {
        results.push_back(r);
        if (onResult) {
            onResult(r);
        }
    }
    void runFinished(const sms::BulkSummary&) override {}
    std::vector<sms::RecipientResult> results;
    std::function<void(const sms::RecipientResult&)> onResult;
};

std::string number(int i) {
    return "+9053200000" + std::string(i < 10 ? "0" : "") + std::to_string(i);
}

int countEvents(const std::vector<SmsEvent>& events, SmsEvent::Kind kind) {
    return int(std::count_if(events.begin(), events.end(),
                             [&](const SmsEvent& e) { return e.kind == kind; }));
}

// A phone, a database, and the receiver between them.
struct Reception {
    explicit Reception(phonesim::Config config) : phone(std::move(config), 500) {
        m_tick = phone.queue.startTimer(50, [this] { receiver.poll(); });  // the refresh tick
    }
    // The port's close, after the receiver has gone, still runs the queue: no tick then.
    ~Reception() { phone.queue.stopTimer(m_tick); }

    bool connect() {
        if (!phone.connect()) {
            return false;
        }
        receiver.connected();
        return true;
    }
    // Closes the port and opens it again, as the connect button twice.
    bool reconnect() {
        if (!phone.reconnect()) {
            return false;
        }
        receiver.connected();
        return true;
    }
    // Keeps the program running until `done`, at most `limitMs`.
    bool until(const std::function<bool()>& done, int limitMs = 8000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            phone.dialogue.pause(10);
        }
        return true;
    }

    std::int64_t campaign(int count, std::u16string text = u"Kampanya", int from = 1) {
        NewCampaign c;
        c.text = std::move(text);
        c.options.pauseSeconds = 0;
        c.options.reportsRequested = true;
        for (int i = from; i < from + count; ++i) {
            c.entries.push_back(number(i));
        }
        return CampaignStore(db).create(c);
    }
    sms::BulkSummary runCampaign(std::int64_t id) {
        DatabaseRecorder recorder(db, *lock, id);
        sms::BulkRequest request = bulkRequestFor(*CampaignStore(db).campaign(id));
        OptOutList optOuts(db);
        request.skipReason = optOuts.skipCheck();
        return run.run(request, recorder);
    }
    std::vector<RecipientRow> rows(std::int64_t id) {
        return CampaignStore(db).recipients(id, 0, 1000);
    }

    platform::testing::ScratchFolder scratch{"toplusms-reception"};
    Database db{scratch / "toplusms.db"};
    std::unique_ptr<SenderLock> lock = db.takeSenderLock();
    sms::testing::SimulatedPhoneLine phone;
    ReceivedStore keeper{db};
    phone::MessageReceiver receiver{phone.dialogue, phone.queue, keeper};
    sms::SmsSender sender{phone.dialogue, phone.view};
    Results results;
    sms::BulkRun run{sender, results, sms::queuePause(phone.queue)};
    platform::TimerId m_tick = platform::kNoTimer;
};

// Each way a phone can hand reports over, and the three parts of a long message: its
// recipient is delivered only once the last of its parts is, failed as soon as one part
// finally failed. Reports come inside AT+CMGS's wait for its prompt, which still goes on.
struct ReportCase {
    const char* name;
    Route route;
    bool refuseCnmi;
    std::set<std::string> refused;  // AT+CNMI values this phone refuses
    phonesim::ReportOutcome outcome;
    ReceiveRoute expectedRoute;
    DeliveryState expected;
};

void PrintTo(const ReportCase& c, std::ostream* out) {
    *out << c.name;
}

// The status texts, the phone's commands and what it did with each report, for a
// failure's message.
std::string whatHappened(Reception& r) {
    std::string out = "\n";
    for (const std::string& text : r.phone.view.panelLog) {
        out += "panel: " + platform::cp1254::toUtf8(text) + "\n";
    }
    for (const std::string& command : r.phone.sim.commands()) {
        out += "command: " + command + "\n";
    }
    for (const SmsEvent& event : r.phone.sim.smsEvents()) {
        out += "phone: " + phonesim::describe(event) + "\n";
    }
    return out;
}

class ReportsArrive : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ReportsArrive, EveryRecipientReachesItsFinalState) {
    const ReportCase& c = GetParam();
    phonesim::Config config;
    config.messaging.service = 1;
    config.messaging.reports = c.outcome;
    config.messaging.reportRoute = c.route;
    config.messaging.refuseCnmi = c.refuseCnmi;
    config.messaging.refusedCnmi = c.refused;
    config.messaging.reportDelayMs = 20;
    config.messaging.reportDuring = {"AT+CMGS"};
    Reception r(config);
    ASSERT_TRUE(r.connect());
    EXPECT_EQ(r.receiver.reportRoute(), c.expectedRoute);
    EXPECT_EQ(r.phone.view.panels[1], "") << "a refused AT+CNMI value is no failure to show";

    // One recipient with three parts, then twenty with one. The long one is never
    // delivered before its third report came.
    const std::int64_t first = r.campaign(1, std::u16string(400, u'a'), 99);
    int longReports = 0;
    bool deliveredEarly = false;
    r.keeper.onReport = [&](const StoredReport& s) {
        longReports += s.number == number(99) ? 1 : 0;
        deliveredEarly |= longReports < 3 && r.rows(first).at(0).delivery == c.expected;
    };
    EXPECT_EQ(r.runCampaign(first).sent, 1);
    const std::int64_t id = r.campaign(20);
    const sms::BulkSummary s = r.runCampaign(id);
    EXPECT_EQ(s.sent, 20) << "a report inside the prompt's wait must not break a submission";
    ASSERT_TRUE(r.until([&] {
        return r.keeper.reports().count() == 23 && r.receiver.idle() &&
               r.phone.sim.storedMessages().empty();
    })) << CampaignStore(r.db).deliveryCounts(id).text()
        << " / " << CampaignStore(r.db).deliveryCounts(first).text() << " idle "
        << r.receiver.idle() << " kept " << r.keeper.reports().count() << " stored "
        << r.phone.sim.storedMessages().size() << whatHappened(r);

    const DeliveryCounts counts = CampaignStore(r.db).deliveryCounts(id);
    const bool delivered = c.expected == DeliveryState::Delivered;
    EXPECT_EQ(counts.delivered, delivered ? 20 : 0);
    EXPECT_EQ(counts.failed, delivered ? 0 : 20);
    for (const RecipientRow& row : r.rows(id)) {
        EXPECT_EQ(row.delivery, c.expected) << row.entry;
        if (!delivered) {
            EXPECT_FALSE(row.deliveryMeaning.empty()) << "the reason of the failure";
        }
    }
    EXPECT_EQ(r.rows(first).at(0).delivery, c.expected);
    EXPECT_EQ(longReports, 3);
    EXPECT_EQ(deliveredEarly, !delivered) << "failed at once, delivered only by the last";
    // Nothing is left in the phone, and every routed report was acknowledged.
    EXPECT_TRUE(r.phone.sim.storedMessages().empty());
    const auto events = r.phone.sim.smsEvents();
    EXPECT_EQ(countEvents(events, SmsEvent::Kind::Acknowledged),
              countEvents(events, SmsEvent::Kind::Routed));
    EXPECT_EQ(countEvents(events, SmsEvent::Kind::Resent), 0);
    EXPECT_EQ(r.keeper.reports().unpairedCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, ReportsArrive,
    ::testing::Values(ReportCase{"Routed",
                                 Route::Routed,
                                 false,
                                 {},
                                 phonesim::ReportOutcome::Delivered,
                                 ReceiveRoute::Routed,
                                 DeliveryState::Delivered},
                      ReportCase{"NoticeAndFailed",
                                 Route::Notified,
                                 false,
                                 {},
                                 phonesim::ReportOutcome::Failed,
                                 ReceiveRoute::Stored,
                                 DeliveryState::Failed},
                      // The value it refuses is not taken as set: the next one is.
                      ReportCase{"NoticeWhenRoutingIsRefused",
                                 Route::Routed,
                                 false,
                                 {"2,2,0,1,0"},
                                 phonesim::ReportOutcome::Delivered,
                                 ReceiveRoute::Stored,
                                 DeliveryState::Delivered},
                      ReportCase{"PollWhenEveryCnmiIsRefused",
                                 Route::Routed,
                                 true,
                                 {},
                                 phonesim::ReportOutcome::Delivered,
                                 ReceiveRoute::Polled,
                                 DeliveryState::Delivered}),
    [](const auto& info) { return std::string(info.param.name); });

// Reports the phone stored while the program was away are read at the next connect, and
// each is deleted only once it is in the database.
TEST(Reception, StoredReportsAreReadAtConnectAndDeletedAfterKeeping) {
    phonesim::Config config;
    config.messaging.reports = phonesim::ReportOutcome::Delivered;
    config.messaging.reportDelayMs = 10;
    Reception r(config);
    ASSERT_TRUE(r.phone.connect());  // no receiver yet: nothing tells the phone to route
    const std::int64_t id = r.campaign(3);
    EXPECT_EQ(r.runCampaign(id).sent, 3);
    ASSERT_TRUE(r.until([&] { return r.phone.sim.storedMessages().size() == 3; }));

    size_t storedWhileKept = 0;
    r.keeper.onReport = [&](const StoredReport&) {
        storedWhileKept += r.phone.sim.storedMessages().size();
    };
    ASSERT_TRUE(r.reconnect());
    ASSERT_TRUE(r.until([&] { return r.receiver.idle(); }));
    EXPECT_EQ(storedWhileKept, 3u + 2u + 1u) << "each was still in the phone when kept";
    EXPECT_TRUE(r.phone.sim.storedMessages().empty());
    EXPECT_EQ(CampaignStore(r.db).deliveryCounts(id).delivered, 3);
}

// A phone that offers no way of telling and cannot list what it stores: the user is told
// that no reports will come, and nothing else is shown as a failure.
TEST(Reception, APhoneWithoutAnyWayOfReportsSaysSo) {
    phonesim::Config config;
    config.messaging.refuseCnmi = true;
    config.faults.errorFor = {"AT+CMGL"};
    Reception r(config);
    ASSERT_TRUE(r.connect());
    EXPECT_EQ(r.receiver.reportRoute(), ReceiveRoute::None);
    EXPECT_EQ(r.phone.view.panels[1], cp("Teslim raporları alınamıyor"));
    for (const std::string& text : r.phone.view.panelLog) {
        EXPECT_EQ(text.find(cp("Desteklenmiyor")), std::string::npos) << text;
    }
}

// A "RET" routed in the middle of a submission's wait, during a run of 30: its sender is
// on the list before the run reaches it, and the submission it came in goes on.
TEST(Reception, ARetDuringARunIsHonouredBeforeTheRunReachesItsSender) {
    phonesim::Config config;
    config.messaging.service = 1;
    config.faults.submitDelayMs = 30;  // the network taking the PDU: the reply comes then
    phonesim::Simulator* sim = nullptr;
    int pdus = 0;
    config.onCommand = [&](const std::string& command) {
        if (command.ends_with('\x1A') && ++pdus == 6) {
            sim->receiveSms({number(20), "  ret."});
        }
    };
    Reception r(config);
    sim = &r.phone.sim;
    ASSERT_TRUE(r.connect());
    ASSERT_EQ(r.receiver.messageRoute(), ReceiveRoute::Routed);
    const std::int64_t id = r.campaign(30);
    const sms::BulkSummary s = r.runCampaign(id);
    EXPECT_EQ(s.sent, 29);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(s.failed, 0) << "the submission the reply came in is not disturbed";
    ASSERT_EQ(r.results.results.size(), 30u);
    EXPECT_EQ(r.results.results[5].outcome.status, sms::SendStatus::Sent);
    EXPECT_EQ(r.results.results[19].outcome.status, sms::SendStatus::Skipped);
    EXPECT_EQ(r.results.results[19].outcome.error, optedOutReason());
    ASSERT_EQ(r.phone.sim.messages().size(), 29u);
    for (const auto& m : r.phone.sim.messages()) {
        EXPECT_NE(m.pdu.destination, number(20));
    }
    EXPECT_TRUE(r.until([&] { return r.receiver.idle(); }));
    EXPECT_EQ(countEvents(r.phone.sim.smsEvents(), SmsEvent::Kind::Acknowledged), 1);
}

// Five messages stored before the program connected (one long in three parts that came
// out of order, one UCS-2 with an emoji, one with the Turkish shift tables): read at
// connect, each shown once and deleted only once stored. A delete that fails (as a
// program killed between the two) leaves them in the phone; read again at the next
// connect, they are still shown once.
TEST(Reception, StoredMessagesAreShownOnceAndDeletedOnlyAfterStoring) {
    phonesim::Config config;
    config.messaging.incomingRoute = Route::Stored;
    config.messaging.turkishShift = true;
    config.messaging.partsOrder = {2, 3, 1};
    const std::string longText = std::string(200, 'x') + "/" + std::string(200, 'y');
    config.messaging.incoming = {{"+905321112233", "Tamam"},
                                 {"+905321112234", longText},
                                 {"+905321112235", "Yarın gelirim 😀"},
                                 {"+905321112236", "Şükrü Ağaoğlu çiçekçi"},
                                 {"05321112237", "Teşekkürler"}};
    config.faults.errorFor = {"AT+CMGD"};
    Reception r(config);
    ASSERT_TRUE(r.phone.connect());
    ASSERT_EQ(r.phone.sim.storedMessages().size(), 7u);
    r.receiver.connected();
    ASSERT_TRUE(r.until([&] { return r.receiver.idle(); }));
    EXPECT_EQ(r.keeper.inbox().count(), 5);
    EXPECT_EQ(r.phone.sim.storedMessages().size(), 7u) << "none deleted";

    r.phone.sim.setFaults({});
    size_t storedWhileKept = 0;
    int kept = 0;
    r.keeper.onMessage = [&](const StoredPdu&) {
        ++kept;
        storedWhileKept += r.phone.sim.storedMessages().size();
    };
    ASSERT_TRUE(r.reconnect());
    ASSERT_TRUE(r.until([&] { return r.receiver.idle(); }));
    EXPECT_EQ(kept, 7);
    EXPECT_EQ(storedWhileKept, size_t(7 + 6 + 5 + 4 + 3 + 2 + 1));
    EXPECT_TRUE(r.phone.sim.storedMessages().empty());

    const std::vector<InboxMessage> inbox = r.keeper.inbox().messages(0, 10);
    ASSERT_EQ(inbox.size(), 5u);
    std::vector<std::string> texts;
    for (const InboxMessage& m : inbox) {
        EXPECT_FALSE(m.unreadable()) << m.problem;
        EXPECT_FALSE(m.incomplete);
        texts.push_back(m.text);
    }
    for (const auto& sent : config.messaging.incoming) {
        EXPECT_EQ(std::count(texts.begin(), texts.end(), sent.text), 1) << sent.text;
    }
}

// A flood of stored messages at connect: every one kept and deleted, in steps that let
// the rest of the program run between them.
TEST(Reception, AFloodOfStoredMessagesIsKeptWhole) {
    constexpr int kCount = 500;
    phonesim::Config config;
    config.messaging.incomingRoute = Route::Stored;
    config.messaging.storageSize = kCount;
    for (int i = 0; i < kCount; ++i) {
        config.messaging.incoming.push_back({"+9053211" + std::to_string(10000 + i), "mesaj"});
    }
    Reception r(config);
    ASSERT_TRUE(r.phone.connect());
    int ticks = 0;
    r.phone.queue.startTimer(5, [&] { ++ticks; });
    r.receiver.connected();
    const int ticksAtReturn = ticks;
    ASSERT_TRUE(r.until([&] { return r.receiver.idle(); }, 120000));
    EXPECT_EQ(r.keeper.inbox().count(), kCount);
    EXPECT_TRUE(r.phone.sim.storedMessages().empty());
    EXPECT_GT(ticks - ticksAtReturn, 10) << "the program ran between the steps";
}

}  // namespace
}  // namespace store
