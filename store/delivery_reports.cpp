#include "store/delivery_reports.h"

#include <cctype>
#include <optional>
#include <vector>

#include "platform/codepage_1254.h"
#include "sms/status_report_decoder.h"
#include "store/database.h"
#include "store/number_key.h"
#include "store/statement.h"
#include "store/transaction.h"

namespace store {
namespace {

// part.delivery_class
constexpr int kClassDelivered = 0;
constexpr int kClassPending = 1;
constexpr int kClassFailed = 2;

int classOf(sms::DeliveryState state) {
    switch (state) {
        case sms::DeliveryState::Delivered:
            return kClassDelivered;
        case sms::DeliveryState::Pending:
            return kClassPending;
        case sms::DeliveryState::Failed:
            break;
    }
    return kClassFailed;
}

// The text a report is known by: upper case, no blanks (the phone's line ends and
// spacing differ between reads of the same stored report).
std::string pduKey(std::string_view pdu) {
    std::string key;
    key.reserve(pdu.size());
    for (char c : pdu) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            key += char(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return key;
}

}  // namespace

struct DeliveryReports::Statements {
    explicit Statements(sqlite3* db)
        : seen(db,
               "SELECT id, ifnull(part_recipient, 0), ifnull(part_seq, -1) FROM delivery_report "
               "WHERE raw_pdu = ?1 AND phone_imei = ?2"),
          insert(db,
                 "INSERT INTO delivery_report (raw_pdu, tpdu_length, received, phone_imei, "
                 "reference, number, number_key, status, centre_time, discharge_time, "
                 "discharge_text, problem) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, "
                 "?12)"),
          // A part's phone is its recipient row's; a row served before phones were
          // recorded pairs with a report from any phone.
          candidate(db,
                    "SELECT p.recipient, p.seq FROM part p JOIN recipient r ON r.id = p.recipient "
                    "WHERE p.reference = ?1 AND p.submitted >= ?2 AND r.normalised = ?3 "
                    "AND (?4 = '' OR r.phone_imei = '' OR r.phone_imei = ?4) "
                    "ORDER BY p.submitted DESC, p.recipient DESC, p.seq DESC LIMIT 1"),
          attach(db, "UPDATE delivery_report SET part_recipient = ?2, part_seq = ?3 WHERE id = ?1"),
          // The latest word stays: a final one ends a wait, and among words of the same
          // kind the later discharge time wins, whatever order the reports came in.
          update(db,
                 "UPDATE part SET delivery_status = ?3, delivery_class = ?4, delivery_time = ?5, "
                 "delivery_meaning = ?6 WHERE recipient = ?1 AND seq = ?2 AND ("
                 "delivery_class IS NULL OR (delivery_class = 1 AND ?4 <> 1) OR "
                 "((delivery_class = 1) = (?4 = 1) AND ?5 >= ifnull(delivery_time, 0)))"),
          // Oldest first, so that the latest word is the one that stays.
          early(db,
                "SELECT d.id, d.raw_pdu, d.tpdu_length, p.seq FROM delivery_report d "
                "JOIN part p ON p.reference = d.reference JOIN recipient r ON r.id = p.recipient "
                "WHERE p.recipient = ?1 AND d.part_recipient IS NULL AND d.received >= ?2 "
                "AND d.number_key = r.normalised "
                "AND (d.phone_imei = '' OR r.phone_imei = '' OR d.phone_imei = r.phone_imei) "
                "ORDER BY d.id"),
          count(db, "SELECT count(*) FROM delivery_report"),
          unpaired(db, "SELECT count(*) FROM delivery_report WHERE part_recipient IS NULL") {}

    Statement seen;
    Statement insert;
    Statement candidate;
    Statement attach;
    Statement update;
    Statement early;
    Statement count;
    Statement unpaired;
};

DeliveryReports::DeliveryReports(Database& db, Now now)
    : m_db(db),
      m_now(std::move(now)),
      m_st(std::make_unique<Statements>(db.handle())),
      m_campaigns(db) {}

DeliveryReports::~DeliveryReports() = default;

StoredReport DeliveryReports::storeReport(std::string_view pduHex, int tpduLength,
                                          const std::string& phoneImei) {
    using platform::cp1254::fromUtf16;
    using platform::cp1254::toUtf8;
    const std::string key = pduKey(pduHex);
    const std::time_t now = m_now();
    StoredReport result;
    std::string error;
    const std::optional<sms::SmsStatusReport> report =
        sms::decodeStatusReport(key, &error, tpduLength);
    std::string numberKey;
    if (report) {
        result.readable = true;
        result.reference = report->messageReference;
        result.number = fromUtf16(report->recipient.text);
        result.status = report->status;
        result.meaning = report->delivery.meaning;
        if (report->recipient.kind != sms::AddressKind::Alphanumeric) {
            numberKey = normaliseForMatching(result.number);
        }
    } else {
        result.problem = error;
    }

    Transaction tx(m_db.handle());
    {
        StatementUse s(m_st->seen);
        s->bind(1, key).bind(2, phoneImei);
        if (s->step()) {
            result.id = s->integer(0);
            result.recipient = s->integer(1);
            result.part = int(s->integer(2));
            result.duplicate = true;
        }
    }
    if (!result.duplicate) {
        {
            StatementUse s(m_st->insert);
            s->bind(1, key)
                .bind(2, std::int64_t(tpduLength < 0 ? -1 : tpduLength))
                .bind(3, std::int64_t(now))
                .bind(4, phoneImei)
                .bind(12, toUtf8(result.problem));
            if (report) {
                s->bind(5, std::int64_t(report->messageReference))
                    .bind(6, toUtf8(result.number))
                    .bind(7, numberKey)
                    .bind(8, std::int64_t(report->status))
                    .bind(9, std::int64_t(report->serviceCentreTime.utcTime()))
                    .bind(10, std::int64_t(report->dischargeTime.utcTime()))
                    .bind(11, report->dischargeTime.iso8601());
            }
            s->step();
        }
        result.id = sqlite3_last_insert_rowid(m_db.handle());
        // An unreadable report, or one naming no number, is kept and pairs with nothing.
        if (report && !numberKey.empty() && pair(result, numberKey, phoneImei, now)) {
            applyToPart(result.recipient, result.part, *report);
        }
    }
    tx.commit();
    if (result.recipient != 0) {
        if (const auto row = m_campaigns.recipient(result.recipient)) {
            result.delivery = row->delivery;
        }
    }
    return result;
}

void DeliveryReports::applyToPart(std::int64_t recipient, int part,
                                  const sms::SmsStatusReport& report) {
    StatementUse s(m_st->update);
    s->bind(1, recipient)
        .bind(2, std::int64_t(part))
        .bind(3, std::int64_t(report.status))
        .bind(4, std::int64_t(classOf(report.delivery.state)))
        .bind(5, std::int64_t(report.dischargeTime.utcTime()))
        .bind(6, platform::cp1254::toUtf8(report.delivery.meaning));
    s->step();
}

void DeliveryReports::pairEarlyReports(std::int64_t recipient) {
    struct Early {
        std::int64_t id;
        std::string pdu;
        int length;
        int part;
    };
    std::vector<Early> early;
    {
        StatementUse s(m_st->early);
        s->bind(1, recipient).bind(2, std::int64_t(m_now() - kEarlyReportSeconds));
        while (s->step()) {
            early.push_back({s->integer(0), s->text(1), int(s->integer(2)), int(s->integer(3))});
        }
    }
    for (const Early& e : early) {
        const std::optional<sms::SmsStatusReport> report =
            sms::decodeStatusReport(e.pdu, nullptr, e.length);
        if (!report) {
            continue;
        }
        {
            StatementUse s(m_st->attach);
            s->bind(1, e.id).bind(2, recipient).bind(3, std::int64_t(e.part));
            s->step();
        }
        applyToPart(recipient, e.part, *report);
    }
}

bool DeliveryReports::pair(StoredReport& report, const std::string& numberKey,
                           const std::string& phoneImei, std::time_t now) {
    {
        StatementUse s(m_st->candidate);
        s->bind(1, std::int64_t(report.reference))
            .bind(2, std::int64_t(now - kPairingWindowSeconds))
            .bind(3, numberKey)
            .bind(4, phoneImei);
        if (!s->step()) {
            return false;
        }
        report.recipient = s->integer(0);
        report.part = int(s->integer(1));
    }
    StatementUse s(m_st->attach);
    s->bind(1, report.id).bind(2, report.recipient).bind(3, std::int64_t(report.part));
    s->step();
    return true;
}

int DeliveryReports::count() {
    return int(m_st->count.scalar());
}

int DeliveryReports::unpairedCount() {
    return int(m_st->unpaired.scalar());
}

}  // namespace store
