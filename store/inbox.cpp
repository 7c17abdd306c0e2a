#include "store/inbox.h"

#include <cctype>

#include "platform/codepage_1254.h"
#include "sms/deliver_decoder.h"
#include "sms/opt_out_reply.h"
#include "store/database.h"
#include "store/optout_list.h"
#include "store/statement.h"
#include "store/transaction.h"

namespace store {
namespace {

using platform::cp1254::utf16ToUtf8;

// A PDU read again after a crash is recognised this long.
constexpr std::time_t kRememberPduSeconds = 7 * 24 * 60 * 60;

constexpr char kMessageColumns[] =
    "SELECT m.id, m.sender, m.sender_number, m.sent, m.sort_time, m.received, m.text, "
    "m.is_read, m.incomplete, ifnull(m.raw_pdu, ''), m.problem, "
    "(SELECT ifnull(max(r.campaign), 0) FROM recipient r JOIN campaign c ON c.id = r.campaign "
    " WHERE m.sender_number != '' AND r.normalised = m.sender_number"
    " AND r.state IN ('gönderildi', 'belirsiz') "
    " AND c.started BETWEEN m.received - ?3 AND m.received) "
    "FROM message m ";

// Upper-case hexadecimal without blanks: one PDU, one key, however the phone spaced it.
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

std::string unitsToHex(std::u16string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(text.size() * 4);
    for (char16_t u : text) {
        for (int shift = 12; shift >= 0; shift -= 4) {
            hex += kDigits[(u >> shift) & 0xF];
        }
    }
    return hex;
}

std::u16string unitsFromHex(std::string_view hex) {
    std::u16string text;
    for (size_t i = 0; i + 4 <= hex.size(); i += 4) {
        text += char16_t(std::stoul(std::string(hex.substr(i, 4)), nullptr, 16));
    }
    return text;
}

InboxMessage readMessage(const Statement& s) {
    InboxMessage m;
    m.id = s.integer(0);
    m.sender = s.text(1);
    m.senderNumber = s.text(2);
    m.sent = s.text(3);
    m.sortTime = std::time_t(s.integer(4));
    m.received = std::time_t(s.integer(5));
    m.text = s.text(6);
    m.read = s.integer(7) != 0;
    m.incomplete = s.integer(8) != 0;
    m.rawPdu = s.text(9);
    m.problem = s.text(10);
    m.campaign = s.integer(11);
    return m;
}

}  // namespace

struct Inbox::Statements {
    explicit Statements(sqlite3* db)
        : seen(db, "SELECT ifnull(message, 0) FROM received_pdu WHERE pdu = ?1"),
          remember(db, "INSERT INTO received_pdu (pdu, received, message) VALUES (?1, ?2, ?3)"),
          forget(db, "DELETE FROM received_pdu WHERE received < ?1"),
          insertMessage(db,
                        "INSERT INTO message (sender, sender_number, sent, sort_time, received, "
                        "text, incomplete, raw_pdu, problem) "
                        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"),
          insertPart(db,
                     "INSERT OR IGNORE INTO message_part (sender, reference, total, sequence, "
                     "sender_number, sent, sort_time, received, text_utf16) "
                     "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"),
          partCount(db,
                    "SELECT count(*) FROM message_part "
                    "WHERE sender = ?1 AND reference = ?2 AND total = ?3"),
          parts(db,
                "SELECT sender_number, sent, sort_time, received, text_utf16, sequence "
                "FROM message_part "
                "WHERE sender = ?1 AND reference = ?2 AND total = ?3 ORDER BY sequence"),
          dropParts(db,
                    "DELETE FROM message_part WHERE sender = ?1 AND reference = ?2 AND total = ?3"),
          overdue(db,
                  "SELECT sender, reference, total FROM message_part GROUP BY sender, reference, "
                  "total HAVING min(received) <= ?1"),
          page(db, (std::string(kMessageColumns) +
                    "ORDER BY m.sort_time DESC, m.id DESC LIMIT ?2 OFFSET ?1")
                       .c_str()),
          one(db, (std::string(kMessageColumns) + "WHERE m.id = ?1").c_str()),
          count(db, "SELECT count(*) FROM message"),
          unread(db, "SELECT count(*) FROM message WHERE is_read = 0"),
          markRead(db, "UPDATE message SET is_read = 1 WHERE id = ?1"),
          recentCampaign(db,
                         "SELECT ifnull(max(r.campaign), 0) FROM recipient r JOIN campaign c "
                         "ON c.id = r.campaign WHERE r.normalised = ?1 "
                         "AND r.state IN ('gönderildi', 'belirsiz') "
                         "AND c.started BETWEEN ?2 - ?3 AND ?2"),
          optOut(db,
                 "INSERT OR IGNORE INTO opt_out (number, added, reason, message) "
                 "VALUES (?1, ?2, 'yanıt', ?3)") {}

    Statement seen;
    Statement remember;
    Statement forget;
    Statement insertMessage;
    Statement insertPart;
    Statement partCount;
    Statement parts;
    Statement dropParts;
    Statement overdue;
    Statement page;
    Statement one;
    Statement count;
    Statement unread;
    Statement markRead;
    Statement recentCampaign;
    Statement optOut;
};

Inbox::Inbox(Database& db, Now now)
    : m_db(db),
      m_now(std::move(now)),
      m_keywords(sms::defaultOptOutKeywords()),
      m_st(std::make_unique<Statements>(db.handle())) {}

Inbox::~Inbox() = default;

void Inbox::setOptOutKeywords(std::vector<std::u16string> keywords) {
    m_keywords = std::move(keywords);
}

std::int64_t Inbox::insertMessage(const InboxMessage& m) {
    StatementUse s(m_st->insertMessage);
    s->bind(1, m.sender)
        .bind(2, m.senderNumber)
        .bind(3, m.sent)
        .bind(4, std::int64_t(m.sortTime))
        .bind(5, std::int64_t(m.received))
        .bind(6, m.text)
        .bind(7, std::int64_t(m.incomplete))
        .bind(9, m.problem);
    if (!m.rawPdu.empty()) {
        s->bind(8, m.rawPdu);
    }
    s->step();
    return sqlite3_last_insert_rowid(m_db.handle());
}

bool Inbox::optOutIfAsked(const InboxMessage& m, std::int64_t id) {
    // Of a message given up on, only one whose beginning came is read for a keyword.
    if (m.senderNumber.empty() || m.startMissing ||
        !sms::isOptOutReply(platform::cp1254::utf8ToUtf16(m.text), m_keywords)) {
        return false;
    }
    StatementUse s(m_st->optOut);
    s->bind(1, m.senderNumber).bind(2, std::int64_t(m_now())).bind(3, id);
    s->step();
    return sqlite3_changes(m_db.handle()) == 1;  // 0: listed already, its first reason stays
}

std::int64_t Inbox::joinParts(const std::string& sender, std::int64_t reference, std::int64_t total,
                              bool incomplete, InboxMessage& m) {
    m = InboxMessage();
    m.sender = sender;
    m.incomplete = incomplete;
    std::u16string text;
    {
        StatementUse s(m_st->parts);
        s->bind(1, sender).bind(2, reference).bind(3, total);
        bool first = true;
        while (s->step()) {
            if (first) {
                m.startMissing = s->integer(5) != 1;
                // The lowest part there is gives the time: the message begins there.
                m.senderNumber = s->text(0);
                m.sent = s->text(1);
                m.sortTime = std::time_t(s->integer(2));
                m.received = std::time_t(s->integer(3));
                first = false;
            }
            text += unitsFromHex(s->text(4));
        }
    }
    m.text = utf16ToUtf8(text);
    const std::int64_t id = insertMessage(m);
    StatementUse drop(m_st->dropParts);
    drop->bind(1, sender).bind(2, reference).bind(3, total);
    drop->step();
    return id;
}

StoredPdu Inbox::store(std::string_view pdu, int tpduLength) {
    const std::string key = pduKey(pdu);
    const std::time_t now = m_now();
    StoredPdu result;
    Transaction tx(m_db.handle());
    {
        StatementUse forget(m_st->forget);
        forget->bind(1, std::int64_t(now - kRememberPduSeconds));
        forget->step();
    }
    {
        StatementUse seen(m_st->seen);
        seen->bind(1, key);
        if (seen->step()) {
            result.message = seen->integer(0);
            result.duplicate = true;
            return result;  // the transaction rolls back: nothing changed
        }
    }
    std::string error;
    const std::optional<sms::SmsDeliver> deliver = sms::decodeDeliver(key, &error, tpduLength);
    InboxMessage m;
    m.received = now;
    if (!deliver) {
        m.sortTime = now;
        m.rawPdu = key;
        m.problem = platform::cp1254::toUtf8(error);
        result.message = insertMessage(m);
    } else {
        m.sender = utf16ToUtf8(deliver->sender.text);
        if (deliver->sender.kind != sms::AddressKind::Alphanumeric) {
            m.senderNumber = optOutKey(platform::cp1254::fromUtf16(deliver->sender.text));
        }
        m.sent = deliver->serviceCentreTime.iso8601();
        m.sortTime = deliver->serviceCentreTime.utcTime();
        const auto& part = deliver->content.concatenation;
        // A part numbered outside its message is no part (the element is ignored).
        if (part && part->total > 1 && part->sequence >= 1 && part->sequence <= part->total) {
            {
                StatementUse s(m_st->insertPart);
                s->bind(1, m.sender)
                    .bind(2, std::int64_t(part->reference))
                    .bind(3, std::int64_t(part->total))
                    .bind(4, std::int64_t(part->sequence))
                    .bind(5, m.senderNumber)
                    .bind(6, m.sent)
                    .bind(7, std::int64_t(m.sortTime))
                    .bind(8, std::int64_t(now))
                    .bind(9, unitsToHex(deliver->content.text));
                s->step();
            }
            std::int64_t there = 0;
            {
                StatementUse n(m_st->partCount);
                n->bind(1, m.sender)
                    .bind(2, std::int64_t(part->reference))
                    .bind(3, std::int64_t(part->total));
                n->step();
                there = n->integer(0);
            }
            if (there == part->total) {
                InboxMessage whole;
                result.message = joinParts(m.sender, part->reference, part->total, false, whole);
                result.optedOut = optOutIfAsked(whole, result.message);
            }
        } else {
            m.text = utf16ToUtf8(deliver->content.text);
            result.message = insertMessage(m);
            result.optedOut = optOutIfAsked(m, result.message);
        }
    }
    {
        StatementUse s(m_st->remember);
        s->bind(1, key).bind(2, std::int64_t(now));
        if (result.message != 0) {
            s->bind(3, result.message);
        }
        s->step();
    }
    expireLocked();
    tx.commit();
    return result;
}

int Inbox::expireLocked() {
    struct Group {
        std::string sender;
        std::int64_t reference;
        std::int64_t total;
    };
    std::vector<Group> groups;
    {
        StatementUse s(m_st->overdue);
        s->bind(1, std::int64_t(m_now() - kPartsWaitSeconds));
        while (s->step()) {
            groups.push_back({s->text(0), s->integer(1), s->integer(2)});
        }
    }
    for (const Group& g : groups) {
        InboxMessage m;
        const std::int64_t id = joinParts(g.sender, g.reference, g.total, true, m);
        optOutIfAsked(m, id);
    }
    return int(groups.size());
}

int Inbox::expireIncomplete() {
    Transaction tx(m_db.handle());
    const int n = expireLocked();
    tx.commit();
    return n;
}

std::vector<InboxMessage> Inbox::messages(int offset, int limit) {
    std::vector<InboxMessage> out;
    StatementUse s(m_st->page);
    s->bind(1, std::int64_t(offset))
        .bind(2, std::int64_t(limit))
        .bind(3, std::int64_t(kRecentCampaignSeconds));
    while (s->step()) {
        out.push_back(readMessage(*s));
    }
    return out;
}

std::optional<InboxMessage> Inbox::message(std::int64_t id) {
    StatementUse s(m_st->one);
    s->bind(1, id).bind(3, std::int64_t(kRecentCampaignSeconds));
    if (!s->step()) {
        return std::nullopt;
    }
    return readMessage(*s);
}

int Inbox::count() {
    return int(m_st->count.scalar());
}

int Inbox::unreadCount() {
    return int(m_st->unread.scalar());
}

void Inbox::markRead(std::int64_t message) {
    Transaction tx(m_db.handle());
    StatementUse s(m_st->markRead);
    s->bind(1, message);
    s->step();
    tx.commit();
}

std::int64_t Inbox::recentCampaignOf(std::string_view number, std::time_t at) {
    const std::string key = optOutKey(number);
    if (key.empty()) {
        return 0;
    }
    StatementUse s(m_st->recentCampaign);
    s->bind(1, key).bind(2, std::int64_t(at)).bind(3, std::int64_t(kRecentCampaignSeconds));
    s->step();
    return s->integer(0);
}

}  // namespace store
