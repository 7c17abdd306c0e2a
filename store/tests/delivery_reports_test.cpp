// Delivery reports: each kept as it came and paired with the part it speaks of, never
// with a guess; a recipient is delivered only when every part is, and failed as soon as
// one part finally is.
#include "store/delivery_reports.h"

#include <gtest/gtest.h>

#include <deque>

#include "platform/codepage_1254.h"
#include "platform/plain_message_queue.h"
#include "sms/phone_pool.h"
#include "store/database_recorder.h"
#include "store/number_key.h"
#include "store/optout_list.h"
#include "store/statement.h"
#include "store/tests/store_fixture.h"
#include "tools/phone-sim/received_pdu.h"

namespace store {

extern const char kSchemaV1[];
extern const char kSchemaV2[];

namespace {

using platform::cp1254::fromUtf8;
using testing::peek;

constexpr char kImei[] = "356938035643809";
constexpr std::time_t kDay = 24 * 3600;

struct DeliveryReportsTest : testing::StoreTest {
    // A campaign with reports asked for, every entry sent with these references per part,
    // `age` seconds before now.
    std::int64_t sent(std::vector<std::string> entries, std::vector<std::vector<int>> refs,
                      std::time_t age = 60, const std::string& imei = kImei) {
        NewCampaign c;
        c.text = u"merhaba";
        c.options.reportsRequested = true;
        c.entries = std::move(entries);
        const std::int64_t id = CampaignStore(db).create(c);
        auto lock = db.takeSenderLock();
        DatabaseRecorder recorder(db, *lock, id);
        recorder.setPhone(imei, "Com5");
        std::string error;
        for (const auto& partRefs : refs) {
            const auto row = recorder.nextQueued(error);
            EXPECT_TRUE(row && recorder.markSending(*row, error)) << error;
            sms::SendOutcome o;
            o.status = sms::SendStatus::Sent;
            o.parts = int(partRefs.size());
            o.references = partRefs;
            EXPECT_TRUE(recorder.markFinished(*row, o, error)) << error;
        }
        execute(db.handle(), ("UPDATE part SET submitted = " + std::to_string(now - age) +
                              " WHERE recipient IN (SELECT id FROM recipient WHERE campaign = " +
                              std::to_string(id) + ")")
                                 .c_str());
        return id;
    }

    StoredReport report(const std::string& number, int ref, int status, int minute = 0,
                        const std::string& imei = kImei) {
        phonesim::StatusReport r;
        r.messageReference = ref;
        r.recipient = number;
        r.status = status;
        r.submitted = {2026, 12, 10, 14, 0, 0, 12};
        r.discharged = {2026, 12, 10, 14, minute, 30, 12};
        const phonesim::BuiltPdu pdu = phonesim::buildStatusReport(r);
        return reports.storeReport(pdu.hex, pdu.tpduLength, imei);
    }

    RecipientRow row(std::int64_t campaign, int position) {
        return CampaignStore(db).recipients(campaign, position, 1).at(0);
    }

    Database db{file};
    std::time_t now = 1'800'000'000;
    DeliveryReports reports{db, [this] { return now; }};
};

// 2026-12-10T14:MM:30+03:00 in UTC.
std::time_t discharged(int minute) {
    return 1'796'860'800 + 11 * 3600 + minute * 60 + 30;
}

TEST_F(DeliveryReportsTest, AReportPairsByReferenceAndTheNumberInAnyWrittenForm) {
    const std::int64_t id = sent({"0532 123 45 67", "05329998877"}, {{7}, {8}});
    EXPECT_EQ(row(id, 0).delivery, DeliveryState::Pending);

    const StoredReport r = report("+905321234567", 7, 0x00, 5);
    EXPECT_TRUE(r.readable);
    EXPECT_EQ(r.recipient, row(id, 0).id);
    EXPECT_EQ(r.part, 0);
    EXPECT_EQ(r.delivery, DeliveryState::Delivered);
    EXPECT_EQ(row(id, 0).delivery, DeliveryState::Delivered);
    EXPECT_EQ(row(id, 0).deliveryTime, discharged(5));

    // The right reference for another number, and a number written nationally.
    EXPECT_EQ(report("+905329998877", 7, 0x00).recipient, 0);
    EXPECT_EQ(report("05329998877", 8, 0x00).recipient, row(id, 1).id);
    EXPECT_EQ(CampaignStore(db).deliveryCounts(id).text(),
              "2 teslim edildi, 0 teslim edilemedi, 0 bekliyor");
}

TEST_F(DeliveryReportsTest, TheMostRecentPartWithinAWeekAndOfTheSamePhoneWins) {
    const std::int64_t older = sent({"05321234567"}, {{5}}, 3 * kDay);
    const std::int64_t newer = sent({"05321234567"}, {{5}}, 1 * kDay);
    EXPECT_EQ(report("+905321234567", 5, 0x00).recipient, row(newer, 0).id);
    EXPECT_EQ(row(older, 0).delivery, DeliveryState::Pending);

    const std::int64_t stale = sent({"05325550000"}, {{9}}, 8 * kDay);
    const std::int64_t otherPhone = sent({"05326660000"}, {{9}}, 60, "490154203237518");
    EXPECT_EQ(report("+905325550000", 9, 0x00).recipient, 0);
    EXPECT_EQ(report("+905326660000", 9, 0x00).recipient, 0);
    EXPECT_EQ(row(stale, 0).delivery, DeliveryState::Pending);
    EXPECT_EQ(row(otherPhone, 0).delivery, DeliveryState::Pending);
    // A report from a phone not known pairs with any phone's part.
    EXPECT_EQ(report("+905326660000", 9, 0x00, 1, "").recipient, row(otherPhone, 0).id);
    EXPECT_EQ(reports.count(), 4);
    EXPECT_EQ(reports.unpairedCount(), 2);  // kept, not attached to a guess
}

// A phone that accepts every message and numbers its references from 1, answering
// through the run's queue.
struct CountingPhone : sms::PhoneSlot {
    CountingPhone(platform::MessageQueue& q, std::string imei, std::string port)
        : queue(q), id{std::move(imei), std::move(port)} {
        handler = queue.addHandler([this](const platform::Message&) {
            auto [done, outcome] = std::move(answers.front());
            answers.pop_front();
            busy = false;
            done(outcome);
            return intptr_t(0);
        });
    }
    ~CountingPhone() override { queue.removeHandler(handler); }
    sms::PhoneIdentity identity() const override { return id; }
    bool available() const override { return !busy; }
    void submit(const std::string&, const std::u16string&, const sms::EncodeOptions&,
                Done done) override {
        busy = true;
        sms::SendOutcome o;
        o.status = sms::SendStatus::Sent;
        o.parts = 1;
        o.references = {next++};
        answers.emplace_back(std::move(done), o);
        queue.post(handler, {});
    }

    platform::MessageQueue& queue;
    sms::PhoneIdentity id;
    platform::HandlerId handler;
    std::deque<std::pair<Done, sms::SendOutcome>> answers;
    bool busy = false;
    int next = 1;
};

struct NoView : sms::BulkView {
    void runStarted(int) override {}
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const sms::RecipientResult& r) override { results.push_back(r); }
    void runFinished(const sms::BulkSummary&) override {}
    std::vector<sms::RecipientResult> results;
};

TEST_F(DeliveryReportsTest, TwoPhonesReferencesOverlapAndEachReportFindsItsOwnPhonesPart) {
    now = std::time(nullptr);  // the parts are stamped with the real clock
    NewCampaign c;
    c.text = u"merhaba";
    c.options.pauseSeconds = 0;
    c.options.reportsRequested = true;
    // The same customer listed twice: both phones text them at once, each as its message 1.
    c.entries = {"05321234567", "05321234567", "05329998877", "05327776655"};
    const std::int64_t id = CampaignStore(db).create(c);
    const std::string other = "490154203237518";
    platform::PlainMessageQueue queue;
    CountingPhone a(queue, kImei, "Com5"), b(queue, other, "Com6");
    NoView view;
    sms::PhonePool pool(view, sms::queueClock(queue));
    pool.addSlot(a);
    pool.addSlot(b);
    {
        auto lock = db.takeSenderLock();
        DatabaseRecorder recorder(db, *lock, id);
        const sms::BulkSummary s =
            pool.run(store::bulkRequestFor(*CampaignStore(db).campaign(id)), recorder);
        EXPECT_EQ(s.sent, 4);
    }
    // Every row names the phone that served it, as the run reported it.
    for (const sms::RecipientResult& r : view.results) {
        const RecipientRow stored = row(id, r.position);
        EXPECT_EQ(stored.phoneImei, r.phone.imei);
        EXPECT_EQ(stored.phonePort, r.phone.port);
    }
    ASSERT_EQ(row(id, 0).phoneImei, kImei);
    ASSERT_EQ(row(id, 1).phoneImei, other);
    EXPECT_EQ(row(id, 0).references, std::vector<int>{1});
    EXPECT_EQ(row(id, 1).references, std::vector<int>{1});

    EXPECT_EQ(report("+905321234567", 1, 0x00, 1, other).recipient, row(id, 1).id);
    EXPECT_EQ(row(id, 0).delivery, DeliveryState::Pending);
    EXPECT_EQ(report("+905321234567", 1, 0x00, 2, kImei).recipient, row(id, 0).id);
    EXPECT_EQ(row(id, 0).delivery, DeliveryState::Delivered);
}

TEST_F(DeliveryReportsTest, ALongMessageIsDeliveredOnlyWhenEveryPartReported) {
    const std::int64_t id = sent({"05321234567"}, {{10, 11, 12}});
    report("+905321234567", 12, 0x00, 3);
    report("+905321234567", 10, 0x00, 1);
    EXPECT_EQ(row(id, 0).delivery, DeliveryState::Pending);
    EXPECT_EQ(report("+905321234567", 11, 0x00, 2).delivery, DeliveryState::Delivered);
    EXPECT_EQ(row(id, 0).deliveryTime, discharged(3));

    // A message cut short after its first part was accepted is not delivered by it.
    const std::int64_t cut = sent({"05329998877"}, {{13}});
    execute(db.handle(),
            ("UPDATE recipient SET state = 'başarısız' WHERE campaign = " + std::to_string(cut))
                .c_str());
    EXPECT_EQ(report("+905329998877", 13, 0x00).delivery, DeliveryState::None);
}

TEST_F(DeliveryReportsTest, PendingShowsTheLatestWordAndOneFailedPartFailsTheMessage) {
    const std::int64_t id = sent({"05321234567", "05329998877"}, {{20}, {21, 22}});
    report("+905321234567", 20, 0x21, 1);  // recipient busy, still trying
    RecipientRow waiting = row(id, 0);
    EXPECT_EQ(waiting.delivery, DeliveryState::Pending);
    EXPECT_EQ(waiting.deliveryMeaning, fromUtf8("Alıcı meşgul, tekrar deneniyor"));
    report("+905321234567", 20, 0x00, 9);
    report("+905321234567", 20, 0x22, 5);  // an older wait, come late: the delivery stays
    EXPECT_EQ(row(id, 0).delivery, DeliveryState::Delivered);

    report("+905329998877", 21, 0x00, 1);
    EXPECT_EQ(report("+905329998877", 22, 0x43, 4).delivery, DeliveryState::Failed);
    report("+905329998877", 22, 0x20, 8);  // a wait never undoes a final word
    const RecipientRow failed = row(id, 1);
    EXPECT_EQ(failed.delivery, DeliveryState::Failed);
    EXPECT_EQ(failed.deliveryMeaning, fromUtf8("Numara yok"));
    EXPECT_EQ(failed.deliveryTime, discharged(4));

    EXPECT_EQ(CampaignStore(db).deliveryCounts(id).text(),
              "1 teslim edildi, 1 teslim edilemedi, 0 bekliyor");
    const auto csv = m_scratch / "sonuc.csv";
    CampaignStore(db).exportCsv(id, csv);
    const std::string text = testing::readBytes(csv);
    EXPECT_NE(text.find(";teslim edildi;" + sms::isoLocalTime(discharged(9)) + "\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(";teslim edilemedi;" + sms::isoLocalTime(discharged(4)) + "\r\n"),
              std::string::npos)
        << text;
}

TEST_F(DeliveryReportsTest, AnUnreadableReportIsKeptRawAndChangesNothing) {
    const std::int64_t id = sent({"05321234567"}, {{30}});
    phonesim::StatusReport good;
    good.messageReference = 30;
    good.recipient = "+905321234567";
    const phonesim::BuiltPdu pdu = phonesim::buildStatusReport(good);
    phonesim::StatusReport reserved = good;
    reserved.status = 0x80;
    const struct {
        const char* name;
        std::string hex;
        int length;
    } cases[] = {
        {"truncated", pdu.hex.substr(0, pdu.hex.size() - 4), -1},
        {"wrong length", pdu.hex, pdu.tpduLength + 1},
        {"reserved status", phonesim::buildStatusReport(reserved).hex, -1},
        {"not hexadecimal", "0791XYZ", -1},
    };
    for (const auto& c : cases) {
        const StoredReport r = reports.storeReport(c.hex, c.length, kImei);
        EXPECT_FALSE(r.readable) << c.name;
        EXPECT_FALSE(r.problem.empty()) << c.name;
        EXPECT_EQ(r.recipient, 0) << c.name;
        EXPECT_NE(r.id, 0) << c.name;
        EXPECT_EQ(
            peek(file, "SELECT raw_pdu FROM delivery_report WHERE id = " + std::to_string(r.id)),
            c.hex)
            << c.name;
    }
    EXPECT_EQ(row(id, 0).delivery, DeliveryState::Pending);
    EXPECT_EQ(reports.unpairedCount(), 4);
}

// Read again after a crash between storing it and deleting it from the phone.
TEST_F(DeliveryReportsTest, TheSameReportStoredTwiceCountsOnce) {
    const std::int64_t id = sent({"05321234567"}, {{40}});
    const StoredReport first = report("+905321234567", 40, 0x00);
    const StoredReport again = report("+905321234567", 40, 0x00);
    EXPECT_FALSE(first.duplicate);
    EXPECT_TRUE(again.duplicate);
    EXPECT_EQ(again.id, first.id);
    EXPECT_EQ(again.recipient, row(id, 0).id);
    EXPECT_EQ(reports.count(), 1);
}

// A database of the version before: its numbers take the new compared form, its parts
// pair with reports, and reports are asked for again only where the campaign asked.
TEST_F(DeliveryReportsTest, AVersionTwoDatabaseGainsReportsAndComparesNumbersAgain) {
    const auto old = m_scratch / "v2.db";
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(old.c_str(), &raw), SQLITE_OK);
        execute(raw, kSchemaV1);
        execute(raw, kSchemaV2);
        const std::string t = std::to_string(std::time(nullptr) - 60);
        execute(raw, ("INSERT INTO campaign (id, started, text, reports_requested) VALUES "
                      "(3, 100, 'eski', 1), (4, 100, 'raporsuz', 0);"
                      "INSERT INTO recipient (id, campaign, position, entry, normalised, state, "
                      "changed) VALUES (1, 3, 0, '0532 111 22 33', '05321112233', 'gönderildi', "
                      "100), (2, 4, 0, '05324445566', '05324445566', 'gönderildi', 100);"
                      "INSERT INTO part (recipient, seq, reference, submitted) VALUES (1, 0, 61, " +
                      t + "), (2, 0, 62, " + t +
                      ");"
                      "INSERT INTO opt_out (number, added, reason) VALUES "
                      "('05321112233', 100, 'elle'), ('905321112233', 200, 'yanıt');"
                      "PRAGMA user_version=2")
                         .c_str());
        sqlite3_close(raw);
    }
    Database db2(old);
    EXPECT_EQ(db2.schemaVersion(), Database::kSchemaVersion);
    CampaignStore campaigns(db2);
    EXPECT_EQ(campaigns.recipient(1)->normalised, "+905321112233");
    EXPECT_EQ(campaigns.recipient(1)->delivery, DeliveryState::Pending);
    EXPECT_EQ(campaigns.recipient(2)->delivery, DeliveryState::None);
    EXPECT_EQ(peek(old, "SELECT group_concat(number) FROM opt_out"), "+905321112233");
    EXPECT_TRUE(OptOutList(db2).contains("+90 532 111 22 33"));
    EXPECT_TRUE(bulkRequestFor(*campaigns.campaign(3)).options.StatusReport);
    EXPECT_FALSE(bulkRequestFor(*campaigns.campaign(4)).options.StatusReport);

    DeliveryReports late(db2);
    phonesim::StatusReport r;
    r.messageReference = 61;
    r.recipient = "+905321112233";
    const phonesim::BuiltPdu pdu = phonesim::buildStatusReport(r);
    EXPECT_EQ(late.storeReport(pdu.hex, pdu.tpduLength).delivery, DeliveryState::Delivered);
}

TEST(NumberKey, ANumberMatchesHoweverItIsWritten) {
    const struct {
        const char* written;
        const char* key;
    } cases[] = {
        {"+90 532 123 45 67", "+905321234567"},
        {"0532 123 45 67", "+905321234567"},
        {"00905321234567", "+905321234567"},
        {"5321234567", "+905321234567"},
        {"(0212) 555 11 22", "+902125551122"},
        {"+4915112345678", "+4915112345678"},
        {"4440123", "+904440123"},
        {"Ayşe", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(normaliseForMatching(c.written), c.key) << c.written;
    }
}

}  // namespace
}  // namespace store
