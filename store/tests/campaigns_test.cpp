#include "store/campaigns.h"

#include <gtest/gtest.h>

#include "platform/codepage_1254.h"
#include "store/database_recorder.h"
#include "store/tests/store_fixture.h"

namespace store {
namespace {

using platform::cp1254::fromUtf8;
using testing::readBytes;

struct CampaignsTest : testing::StoreTest {
    // Serves the campaign's rows in order with these outcomes.
    void serve(std::int64_t id, const std::vector<sms::SendStatus>& outcomes,
               const std::string& imei = "356938035643809", const std::string& port = "Com5") {
        auto lock = db.takeSenderLock();
        DatabaseRecorder recorder(db, *lock, id);
        recorder.setPhone(imei, port);
        std::string error;
        int ref = 40;
        for (sms::SendStatus status : outcomes) {
            const auto row = recorder.nextQueued(error);
            ASSERT_TRUE(row) << error;
            if (status == sms::SendStatus::Skipped) {
                ASSERT_TRUE(recorder.markSkipped(*row, "Ret listesinde", error)) << error;
                continue;
            }
            ASSERT_TRUE(recorder.markSending(*row, error)) << error;
            sms::SendOutcome o;
            o.status = status;
            o.parts = 2;
            if (status == sms::SendStatus::Sent) {
                o.references = {ref++, ref++};
            } else if (status == sms::SendStatus::Unknown) {
                o.references = {ref++};
                o.error = fromUtf8("Yanıt gelmedi");
            } else {
                o.error = "+CMS ERROR: 30";
            }
            ASSERT_TRUE(recorder.markFinished(*row, o, error)) << error;
        }
    }

    Database db{file};
    CampaignStore store{db};
};

TEST_F(CampaignsTest, ASnapshotOfTheListWithItsStatesCountsAndReferences) {
    NewCampaign c;
    c.text = u"Kampanya: şimdi %20 indirim";
    c.options = {true, 15, true};
    c.entries = {fromUtf8("+90 532 111 22 33"), "05324445566", fromUtf8("Ayşe 0532"), "", "5"};
    const std::int64_t id = store.create(c);
    serve(id, {sms::SendStatus::Sent, sms::SendStatus::Failed, sms::SendStatus::Unknown,
               sms::SendStatus::Skipped});

    const auto summary = store.campaign(id);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->text, c.text);
    EXPECT_TRUE(summary->options.turkishTables);
    EXPECT_EQ(summary->options.pauseSeconds, 15);
    EXPECT_TRUE(summary->options.reportsRequested);
    const StateCounts& n = summary->counts;
    EXPECT_EQ(n.of(RecipientState::Sent), 1);
    EXPECT_EQ(n.of(RecipientState::Failed), 1);
    EXPECT_EQ(n.of(RecipientState::Unknown), 1);
    EXPECT_EQ(n.of(RecipientState::Skipped), 1);
    EXPECT_EQ(n.of(RecipientState::Queued), 1);
    EXPECT_FALSE(summary->finished());
    EXPECT_EQ(store.latestUnfinished()->id, id);

    const auto rows = store.recipients(id, 0, 100);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].entry, c.entries[0]);
    EXPECT_EQ(rows[0].normalised, "+905321112233");
    EXPECT_EQ(rows[0].references, (std::vector<int>{40, 41}));
    EXPECT_EQ(rows[0].phoneImei, "356938035643809");
    EXPECT_EQ(rows[1].error, "+CMS ERROR: 30");
    EXPECT_EQ(rows[2].references, (std::vector<int>{42}));
    EXPECT_NE(rows[2].error.find(fromUtf8("Yanıt gelmedi")), std::string::npos);
    EXPECT_EQ(rows[3].error, "Ret listesinde");
    EXPECT_EQ(rows[2].entry, fromUtf8("Ayşe 0532"));
    EXPECT_EQ(rows[4].state, RecipientState::Queued);
    EXPECT_EQ(store.recipients(id, 3, 10).front().position, 3);
    EXPECT_EQ(store.recipientCount(id), 5);
}

TEST_F(CampaignsTest, ResendTakesTheFailedAndOnlyWhenAskedTheUncertain) {
    const std::int64_t id = createCampaign(db, {"1", "2", "3", "4"}, u"tekrar");
    serve(id, {sms::SendStatus::Unknown, sms::SendStatus::Failed, sms::SendStatus::Sent,
               sms::SendStatus::Failed});
    const auto entriesOf = [&](std::int64_t c) {
        std::vector<std::string> e;
        for (const auto& r : store.recipients(c, 0, 10)) {
            e.push_back(r.entry);
        }
        return e;
    };
    const std::int64_t failedOnly = store.createResend(id, false);
    EXPECT_EQ(entriesOf(failedOnly), (std::vector<std::string>{"2", "4"}));
    EXPECT_EQ(store.campaign(failedOnly)->resendOf, id);
    EXPECT_EQ(store.campaign(failedOnly)->text, u"tekrar");
    EXPECT_EQ(entriesOf(store.createResend(id, true)), (std::vector<std::string>{"1", "2", "4"}));

    const std::int64_t clean = createCampaign(db, {"5"});
    serve(clean, {sms::SendStatus::Sent});
    EXPECT_EQ(store.createResend(clean, true), 0);
    EXPECT_EQ(store.campaigns().size(), 4u);
    EXPECT_EQ(store.campaigns().front().id, clean);
    EXPECT_TRUE(store.campaigns().front().finished());
}

// Numbers stay text in a spreadsheet, and nothing the list or the phone gave becomes a
// formula there.
TEST_F(CampaignsTest, CsvExportKeepsNumbersAsTextForSpreadsheets) {
    const std::int64_t id = createCampaign(
        db, {"+905321112233", "05324445566", "0532;7", "=HYPERLINK(\"x\")", "05\"&1&\""});
    serve(id, {sms::SendStatus::Sent, sms::SendStatus::Failed});
    const auto csv = m_scratch / "sonuc.csv";
    store.exportCsv(id, csv);
    const auto rows = store.recipients(id, 0, 5);
    const std::string sentAt = sms::isoLocalTime(rows[0].changed);
    const std::string failedAt = sms::isoLocalTime(rows[1].changed);
    EXPECT_EQ(readBytes(csv),
              "\xEF\xBB\xBFnumara;zaman;sonuç;referanslar;hata;teslim;teslim zamanı\r\n"
              "\"=\"\"+905321112233\"\"\";" +
                  sentAt +
                  ";gönderildi;40 41;;;\r\n"
                  "\"=\"\"05324445566\"\"\";" +
                  failedAt +
                  ";başarısız;;'+CMS ERROR: 30;;\r\n"
                  "\"0532;7\";;sırada;;;;\r\n"
                  "\"'=HYPERLINK(\"\"x\"\")\";;sırada;;;;\r\n"
                  "\"05\"\"&1&\"\"\";;sırada;;;;\r\n");
}

// A campaign is made whole or not at all: a disk that fills up halfway leaves nothing.
TEST_F(CampaignsTest, ACampaignThatCannotBeWrittenWholeLeavesNothing) {
    createCampaign(db, {"1"});
    sqlite3_exec(db.handle(), "PRAGMA max_page_count=20", nullptr, nullptr, nullptr);
    EXPECT_THROW(createCampaign(db, std::vector<std::string>(20000, "05321112233")), StoreError);
    EXPECT_EQ(store.campaigns().size(), 1u);
    EXPECT_EQ(testing::peek(file, "SELECT count(*) FROM recipient"), "1");
}

TEST_F(CampaignsTest, WhatAPhoneSentTodayIsCountedOverEveryCampaign) {
    using S = sms::SendStatus;
    const std::string a = "356938035643809", b = "490154203237518";
    serve(createCampaign(db, {"1", "2", "3", "4"}), {S::Sent, S::Failed, S::Unknown, S::Sent}, a);
    serve(createCampaign(db, {"5", "6", "7"}), {S::Sent, S::Skipped, S::Sent}, a);
    serve(createCampaign(db, {"8"}), {S::Sent}, b);
    serve(createCampaign(db, {"9", "10"}), {S::Sent, S::Sent}, "", "Com7");  // no IMEI given
    const std::time_t today = std::time(nullptr) - 60;
    EXPECT_EQ(store.sentSince(a, "Com5", today), 5);  // sent or perhaps sent, not failed
    EXPECT_EQ(store.sentSince(b, "Com5", today), 1);
    EXPECT_EQ(store.sentSince("", "Com7", today), 2);
    EXPECT_EQ(store.sentSince("", "Com5", today), 0);
    EXPECT_EQ(store.sentSince(a, "Com5", today + 3600), 0);
}

}  // namespace
}  // namespace store
