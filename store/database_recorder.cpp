#include "store/database_recorder.h"

#include <ctime>

#include "platform/codepage_1254.h"
#include "store/campaigns.h"
#include "store/database.h"
#include "store/statement.h"
#include "store/transaction.h"

namespace store {
namespace {

std::string_view finishedState(sms::SendStatus status) {
    switch (status) {
        case sms::SendStatus::Sent:
            return stateName(RecipientState::Sent);
        case sms::SendStatus::Failed:
            return stateName(RecipientState::Failed);
        case sms::SendStatus::Unknown:
            return stateName(RecipientState::Unknown);
        case sms::SendStatus::Skipped:
            return stateName(RecipientState::Skipped);
        case sms::SendStatus::NotSent:
            break;
    }
    return stateName(RecipientState::Queued);
}

// What went wrong, for the run's status text (Windows-1254).
bool failed(const StoreError& e, std::string& error) {
    error = platform::cp1254::fromUtf8(e.what());
    return false;
}

// The connection's commits wait for the disk again when the scope ends.
class LazySync {
public:
    explicit LazySync(sqlite3* db) : m_db(db) { execute(m_db, "PRAGMA synchronous=NORMAL"); }
    ~LazySync() { sqlite3_exec(m_db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr); }
    LazySync(const LazySync&) = delete;
    LazySync& operator=(const LazySync&) = delete;

private:
    sqlite3* m_db;
};

}  // namespace

sms::BulkRequest bulkRequestFor(const CampaignSummary& campaign) {
    sms::BulkRequest request;
    request.text = campaign.text;
    request.pauseSeconds = campaign.options.pauseSeconds;
    request.options.TurkishTables = campaign.options.turkishTables;
    request.options.StatusReport = campaign.options.reportsRequested;
    return request;
}

struct DatabaseRecorder::Statements {
    explicit Statements(sqlite3* db)
        : next(db,
               "SELECT id, position, entry FROM recipient WHERE campaign = ?1 AND state = 'sırada' "
               "ORDER BY position LIMIT ?2"),
          count(db, "SELECT count(*) FROM recipient WHERE campaign = ?1 AND state = 'sırada'"),
          // The state it must be in is part of each change: a row is never taken twice.
          change(db,
                 "UPDATE recipient SET state = ?2, changed = ?3, error = ?4, "
                 "phone_imei = ?5, phone_port = ?6 WHERE id = ?1 AND state = ?7"),
          clearParts(db, "DELETE FROM part WHERE recipient = ?1"),
          insertPart(db,
                     "INSERT INTO part (recipient, seq, reference, submitted) "
                     "VALUES (?1, ?2, ?3, ?4)") {}

    Statement next;
    Statement count;
    Statement change;
    Statement clearParts;
    Statement insertPart;
};

DatabaseRecorder::DatabaseRecorder(Database& db, const SenderLock&, std::int64_t campaign)
    : m_db(db), m_campaign(campaign), m_st(std::make_unique<Statements>(db.handle())) {}

DatabaseRecorder::~DatabaseRecorder() = default;

void DatabaseRecorder::setPhone(const std::string& imei, const std::string& port) {
    m_imei = imei;
    m_port = port;
}

std::optional<sms::QueuedRecipient> DatabaseRecorder::nextQueued(std::string& error) {
    error.clear();
    try {
        StatementUse s(m_st->next);
        s->bind(1, m_campaign).bind(2, std::int64_t(1));
        if (!s->step()) {
            return std::nullopt;
        }
        return sms::QueuedRecipient{s->integer(0), int(s->integer(1)),
                                    platform::cp1254::fromUtf8(s->text(2))};
    } catch (const StoreError& e) {
        failed(e, error);
        return std::nullopt;
    }
}

int DatabaseRecorder::queuedCount(std::string& error) {
    try {
        return int(m_st->count.bind(1, m_campaign).scalar());
    } catch (const StoreError& e) {
        failed(e, error);
        return -1;
    }
}

std::vector<sms::QueuedRecipient> DatabaseRecorder::queued(std::string& error) {
    std::vector<sms::QueuedRecipient> rows;
    try {
        StatementUse s(m_st->next);
        s->bind(1, m_campaign).bind(2, std::int64_t(-1));  // no limit
        while (s->step()) {
            rows.push_back(
                {s->integer(0), int(s->integer(1)), platform::cp1254::fromUtf8(s->text(2))});
        }
    } catch (const StoreError& e) {
        failed(e, error);
        rows.clear();
    }
    return rows;
}

bool DatabaseRecorder::change(std::int64_t id, std::string_view from, std::string_view to,
                              const std::string& errorText, std::string& error) {
    StatementUse s(m_st->change);
    s->bind(1, id)
        .bind(2, to)
        .bind(3, std::int64_t(std::time(nullptr)))
        .bind(4, platform::cp1254::toUtf8(errorText))
        .bind(5, m_imei)
        .bind(6, m_port)
        .bind(7, from);
    s->step();
    if (sqlite3_changes(m_db.handle()) != 1) {
        error = platform::cp1254::fromUtf8("Alıcı kaydı beklenen durumda değil (") +
                std::to_string(id) + ")";
        return false;
    }
    return true;
}

bool DatabaseRecorder::markSending(const sms::QueuedRecipient& r, std::string& error) {
    try {
        // Whatever came before, this commit waits for the disk: the phone hears of the
        // row only once its "on its way" would survive a power cut.
        execute(m_db.handle(), "PRAGMA synchronous=FULL");
        Transaction tx(m_db.handle());
        if (!change(r.id, stateName(RecipientState::Queued), stateName(RecipientState::Sending), {},
                    error)) {
            return false;
        }
        tx.commit();
        return true;
    } catch (const StoreError& e) {
        return failed(e, error);
    }
}

bool DatabaseRecorder::markFinished(const sms::QueuedRecipient& r, const sms::SendOutcome& outcome,
                                    std::string& error) {
    try {
        Transaction tx(m_db.handle());
        const bool sent = outcome.status == sms::SendStatus::Sent;
        if (!change(r.id, stateName(RecipientState::Sending), finishedState(outcome.status),
                    sent ? std::string() : outcome.errorText(), error)) {
            return false;
        }
        {
            StatementUse clear(m_st->clearParts);
            clear->bind(1, r.id);
            clear->step();
        }
        const std::int64_t now = std::time(nullptr);
        for (size_t i = 0; i < outcome.references.size(); ++i) {
            StatementUse s(m_st->insertPart);
            s->bind(1, r.id).bind(2, std::int64_t(i)).bind(4, now);
            if (outcome.references[i] >= 0) {
                s->bind(3, std::int64_t(outcome.references[i]));
            }
            s->step();
        }
        tx.commit();
        return true;
    } catch (const StoreError& e) {
        return failed(e, error);
    }
}

bool DatabaseRecorder::markSkipped(const sms::QueuedRecipient& r, const std::string& reason,
                                   std::string& error) {
    try {
        Transaction tx(m_db.handle());
        if (!change(r.id, stateName(RecipientState::Queued), stateName(RecipientState::Skipped),
                    reason, error)) {
            return false;
        }
        tx.commit();
        return true;
    } catch (const StoreError& e) {
        return failed(e, error);
    }
}

bool DatabaseRecorder::settle(std::string& error) {
    try {
        m_db.syncJournal();
        return true;
    } catch (const StoreError& e) {
        return failed(e, error);
    }
}

int DatabaseRecorder::sentSince(const std::string& imei, const std::string& port, std::time_t since,
                                std::string& error) {
    try {
        // As change() records them: the bytes the phone and the user gave.
        return CampaignStore(m_db).sentSince(imei, port, since);
    } catch (const StoreError& e) {
        failed(e, error);
        return -1;
    }
}

}  // namespace store
