// A bulk run over the database: what is recorded before the phone hears of it, and what
// happens when recording fails.
#include <gtest/gtest.h>

#include "sms/bulk_run.h"
#include "sms/tests/fake_line.h"
#include "store/database_recorder.h"
#include "store/tests/store_fixture.h"

namespace store {
namespace {

using sms::testing::Answer;

class NullBulkView : public sms::BulkView {
public:
    void runStarted(int total) override { started = total; }
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const sms::RecipientResult& r) override { results.push_back(r); }
    void runFinished(const sms::BulkSummary&) override {}
    int started = -1;
    std::vector<sms::RecipientResult> results;
};

struct RecordedRunTest : testing::StoreTest {
    sms::BulkSummary runCampaign(std::int64_t id) {
        DatabaseRecorder recorder(db, *lock, id);
        recorder.setPhone("", "Com5");  // as the window names its one phone
        sms::BulkRequest request = bulkRequestFor(*CampaignStore(db).campaign(id));
        request.resultsFolder = m_scratch / "gonderimler";
        request.pauseSeconds = 1;  // the fake pause returns at once
        return run.run(request, recorder);
    }
    std::string stateOf(std::int64_t id, int position) {
        return testing::peek(file,
                             "SELECT state FROM recipient WHERE campaign=" + std::to_string(id) +
                                 " AND position=" + std::to_string(position));
    }

    Database db{file};
    std::unique_ptr<SenderLock> lock = db.takeSenderLock();
    phone::testing::FakeView view;
    sms::testing::FakeLine line{view};
    sms::SmsSender sender{line, view};
    NullBulkView bulkView;
    std::function<void()> onPause;
    sms::BulkRun run{sender, bulkView, [this](std::int64_t, const std::function<bool()>&) {
                         if (onPause) {
                             onPause();
                         }
                     }};
};

TEST_F(RecordedRunTest, EachRowIsOnItsWayInTheFileBeforeItsCommandIsWritten) {
    const std::int64_t id = createCampaign(db, {"1", "2", "3"});
    std::vector<std::string> seen;
    int cmgs = 0;
    line.script = [&](const std::string& cmd) -> std::optional<Answer> {
        if (cmd.starts_with("AT+CMGS=")) {
            seen.push_back(stateOf(id, cmgs++));
        }
        return std::nullopt;
    };
    const sms::BulkSummary s = runCampaign(id);
    EXPECT_EQ(s.sent, 3);
    EXPECT_EQ(seen, (std::vector<std::string>(3, "gönderiliyor")));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(stateOf(id, i), "gönderildi");
        EXPECT_EQ(CampaignStore(db).recipients(id, i, 1).at(0).phonePort, "Com5");
    }
    EXPECT_TRUE(CampaignStore(db).campaign(id)->finished());
}

// Stopped halfway and run again: the second run serves exactly the rows still queued.
TEST_F(RecordedRunTest, AResumeServesOnlyTheRowsStillQueued) {
    const std::int64_t id = createCampaign(db, {"1", "2", "3", "4", "5"});
    int pauses = 0;
    onPause = [&] {
        if (++pauses == 2) {
            run.stop();
        }
    };
    sms::BulkSummary s = runCampaign(id);
    EXPECT_EQ(s.sent, 2);
    EXPECT_EQ(s.notSent, 3);
    EXPECT_EQ(stateOf(id, 2), "sırada");
    line.written.clear();
    onPause = nullptr;
    s = runCampaign(id);
    EXPECT_EQ(bulkView.started, 3);
    EXPECT_EQ(s.sent, 3);
    std::vector<int> positions;
    for (const auto& r : bulkView.results) {
        positions.push_back(r.position);
    }
    // The first run's three unserved rows, then the second run's three.
    EXPECT_EQ(positions, (std::vector<int>{0, 1, 2, 3, 4, 2, 3, 4}));
    EXPECT_EQ(std::count_if(line.written.begin(), line.written.end(),
                            [](const std::string& w) { return w.starts_with("AT+CMGS="); }),
              3);
}

// The database stops taking writes (disk full, file made read-only) in the middle of a
// run: nothing more reaches the phone, and the reason is shown.
TEST_F(RecordedRunTest, ARunThatCannotRecordStopsBeforeTheNextSubmission) {
    const std::int64_t id = createCampaign(db, {"1", "2", "3"});
    onPause = [&] { sqlite3_exec(db.handle(), "PRAGMA query_only=1", nullptr, nullptr, nullptr); };
    const sms::BulkSummary s = runCampaign(id);
    EXPECT_FALSE(s.recordError.empty());
    EXPECT_NE(view.panels[1].find(s.recordError), std::string::npos);
    EXPECT_EQ(s.sent, 1);
    EXPECT_EQ(s.notSent, 2);
    EXPECT_EQ(std::count_if(line.written.begin(), line.written.end(),
                            [](const std::string& w) { return w.starts_with("AT+CMGS="); }),
              1);
    EXPECT_EQ(stateOf(id, 1), "sırada");
}

TEST_F(RecordedRunTest, ANumberTheRunMustNotServeIsSkippedWithItsReason) {
    const std::int64_t id = createCampaign(db, {"1", "2", "3"});
    DatabaseRecorder recorder(db, *lock, id);
    sms::BulkRequest request = bulkRequestFor(*CampaignStore(db).campaign(id));
    request.skipReason = [](const std::string& n) { return n == "2" ? "Ret listesinde" : ""; };
    const sms::BulkSummary s = run.run(request, recorder);
    EXPECT_EQ(s.sent, 2);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(stateOf(id, 1), "atlandı");
    EXPECT_EQ(bulkView.results[1].outcome.status, sms::SendStatus::Skipped);
}

}  // namespace
}  // namespace store
