// The opt-out list: kept across a migration, added to by hand, by a file and by a reply,
// and honoured by every run.
#include "store/optout_list.h"

#include <gtest/gtest.h>

#include "sms/bulk_run.h"
#include "sms/tests/fake_line.h"
#include "store/database_recorder.h"
#include "store/inbox.h"
#include "store/statement.h"
#include "store/tests/store_fixture.h"
#include "tools/phone-sim/received_pdu.h"

namespace store {
extern const char kSchemaV1[];

namespace {

using testing::peek;
using testing::readBytes;
using testing::writeBytes;
using OptOutListTest = testing::StoreTest;

// A database the first version of the program wrote, with a campaign in it.
TEST_F(OptOutListTest, AFirstVersionDatabaseGainsTheListAndKeepsItsCampaigns) {
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &raw), SQLITE_OK);
        execute(raw, kSchemaV1);
        execute(raw,
                "INSERT INTO campaign (id, started, text) VALUES (7, 100, 'eski');"
                "INSERT INTO recipient (campaign, position, entry, normalised, changed) "
                "VALUES (7, 0, '0532 111 22 33', '05321112233', 100);"
                "PRAGMA user_version=1");
        sqlite3_close(raw);
    }
    Database db(file);
    EXPECT_EQ(db.schemaVersion(), Database::kSchemaVersion);
    EXPECT_EQ(CampaignStore(db).campaign(7)->counts.total(), 1);
    OptOutList list(db);
    EXPECT_TRUE(list.add("0532 111 22 33", OptOutReason::Manual));
    EXPECT_EQ(Inbox(db).count(), 0);
}

TEST_F(OptOutListTest, ANumberIsListedOnceInItsComparedFormAndRemovedByAnyForm) {
    Database db(file);
    std::time_t now = 1000;
    OptOutList list(db, [&] { return now; });
    EXPECT_TRUE(list.add("+90 532 111 22 33", OptOutReason::Reply, 0));
    now = 2000;
    EXPECT_FALSE(list.add("90-532-111-22-33", OptOutReason::Manual));  // the same number
    EXPECT_FALSE(list.add("yok", OptOutReason::Manual));               // no number at all
    EXPECT_TRUE(list.contains("(90) 532 1112233"));
    EXPECT_TRUE(list.contains("0532 111 22 33"));
    EXPECT_TRUE(list.contains("0090 5321112233"));
    EXPECT_FALSE(list.contains("532 111 22 3"));
    EXPECT_EQ(list.listedAmong({"05321112233", "05321112234", "+905321112233", ""}), 2);
    EXPECT_FALSE(list.contains(""));
    ASSERT_EQ(list.entries().size(), 1u);
    EXPECT_EQ(list.entries()[0].number, "+905321112233");
    EXPECT_EQ(list.entries()[0].added, 1000);  // the first reason stays
    EXPECT_EQ(list.entries()[0].reason, OptOutReason::Reply);
    EXPECT_TRUE(list.remove("05321112233"));
    EXPECT_FALSE(list.remove("+905321112233"));
    EXPECT_EQ(list.count(), 0);
}

// A file kept elsewhere, as spreadsheets and people write them; then the list written
// out and read into a new database comes back the same.
TEST_F(OptOutListTest, ACsvFileOfNumbersIsReadInAndTheListWrittenOutRoundTrips) {
    const auto in = m_scratch / "ret.csv";
    writeBytes(in,
               "\xEF\xBB\xBFnumara;not\r\n"
               "=\"05321112233\";Ali\r\n"
               "\"0532 444 55 66\",Veli\r\n"
               "\r\n"
               "05321112233\t(tekrar)\n"
               "Ay\xFE"
               "e Hanım\n"  // no number, and not even UTF-8
               "+905557778899");
    std::vector<OptOutEntry> before;
    {
        Database db(file);
        OptOutList list(db);
        const OptOutImport r = list.importCsv(in);
        EXPECT_EQ(r.added, 3);
        EXPECT_EQ(r.alreadyListed, 1);
        EXPECT_EQ(r.refused, 2);  // the header and the name
        before = list.entries();
        EXPECT_EQ(before[0].reason, OptOutReason::Import);
        list.exportCsv(m_scratch / "out.csv");
        EXPECT_THROW(list.importCsv(m_scratch / "yok.csv"), StoreError);
        EXPECT_EQ(list.count(), 3);
    }
    const std::string out = readBytes(m_scratch / "out.csv");
    EXPECT_TRUE(out.starts_with("\xEF\xBB\xBFnumara;eklendi;neden\r\n\"=\"\"+905321112233\"\"\";"))
        << out;
    Database other(m_scratch / "other.db");
    OptOutList copy(other);
    EXPECT_EQ(copy.importCsv(m_scratch / "out.csv").added, 3);
    std::vector<std::string> a, b;
    for (const auto& e : before) {
        a.push_back(e.number);
    }
    for (const auto& e : copy.entries()) {
        b.push_back(e.number);
    }
    EXPECT_EQ(a, b);
}

class NullBulkView : public sms::BulkView {
public:
    void runStarted(int) override {}
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const sms::RecipientResult& r) override { results.push_back(r); }
    void runFinished(const sms::BulkSummary&) override {}
    std::vector<sms::RecipientResult> results;
};

// A customer answers "RET" while the run is on its way to them (the reply from
// +90 532 ..., the list holding 0532 ...): the reply is stored in a pause, and the run, which asks
// the list just before each recipient, skips them. A resume asks the list the same way.
TEST_F(OptOutListTest, AReplyDuringARunKeepsTheRunFromTextingItsSender) {
    Database db(file);
    const auto lock = db.takeSenderLock();
    const std::int64_t id = createCampaign(
        db,
        {"0532 111 00 01", "0532 111 00 02", "0532 111 00 03", "0532 111 00 04", "0532 111 00 05"});
    phone::testing::FakeView view;
    sms::testing::FakeLine line{view};
    sms::SmsSender sender{line, view};
    NullBulkView bulkView;
    Inbox inbox(db);
    OptOutList list(db);
    int pauses = 0;
    sms::BulkRun run{
        sender, bulkView, [&](std::int64_t, const std::function<bool()>&) {
            if (++pauses == 1) {
                phonesim::IncomingMessage reply;
                reply.sender = "+905321110003";
                reply.text = "  Ret.";
                EXPECT_TRUE(inbox.store(phonesim::buildDeliver(reply, 0)[0].hex).optedOut);
            } else if (std::count_if(
                           line.written.begin(), line.written.end(),
                           [](const std::string& w) { return w.starts_with("AT+CMGS="); }) == 3) {
                run.stop();  // the fifth is left for the resume
            }
        }};
    sms::BulkRequest request = bulkRequestFor(*CampaignStore(db).campaign(id));
    request.pauseSeconds = 1;
    request.skipReason = list.skipCheck();
    {
        DatabaseRecorder recorder(db, *lock, id);
        const sms::BulkSummary s = run.run(request, recorder);
        EXPECT_EQ(s.sent, 3);
        EXPECT_EQ(s.skipped, 1);
    }
    EXPECT_EQ(peek(file, "SELECT state || ' ' || error FROM recipient WHERE position = 2"),
              "atlandı Ret listesinde");
    list.add("+90 532 111 00 05", OptOutReason::Manual);
    {
        DatabaseRecorder recorder(db, *lock, id);
        const sms::BulkSummary s = run.run(request, recorder);
        EXPECT_EQ(s.sent, 0);
        EXPECT_EQ(s.skipped, 1);
    }
    int submissions = 0;
    for (const std::string& w : line.written) {
        submissions += w.starts_with("AT+CMGS=");
    }
    EXPECT_EQ(submissions, 3);
    EXPECT_EQ(bulkView.results.back().outcome.status, sms::SendStatus::Skipped);
}

}  // namespace
}  // namespace store
