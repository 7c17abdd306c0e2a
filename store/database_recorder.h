#pragma once
// The bulk run's recorder over the database: serves one campaign's "sırada" rows in list
// order and commits every change of state before it returns.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sms/bulk_run.h"
#include "sms/campaign_recorder.h"

namespace store {

class Database;
class SenderLock;
struct CampaignSummary;

// The run's text and options as the campaign recorded them.
sms::BulkRequest bulkRequestFor(const CampaignSummary& campaign);

class DatabaseRecorder : public sms::CampaignRecorder {
public:
    // `lock` proves this program is the database's sender; it must outlive the recorder.
    DatabaseRecorder(Database& db, const SenderLock& lock, std::int64_t campaign);
    ~DatabaseRecorder() override;

    // The phone that serves the rows marked from now on (its IMEI and port name).
    void setPhone(const std::string& imei, const std::string& port) override;

    std::optional<sms::QueuedRecipient> nextQueued(std::string& error) override;
    int queuedCount(std::string& error) override;
    std::vector<sms::QueuedRecipient> queued(std::string& error) override;
    bool markSending(const sms::QueuedRecipient& r, std::string& error) override;
    bool markFinished(const sms::QueuedRecipient& r, const sms::SendOutcome& outcome,
                      std::string& error) override;
    bool markSkipped(const sms::QueuedRecipient& r, const std::string& reason,
                     std::string& error) override;
    bool settle(std::string& error) override;
    int sentSince(const std::string& imei, const std::string& port, std::time_t since,
                  std::string& error) override;

    std::int64_t campaign() const { return m_campaign; }

private:
    struct Statements;
    // One row from state `from` to `to`; false (with `error`) when it was not in `from`.
    bool change(std::int64_t id, std::string_view from, std::string_view to,
                const std::string& errorText, std::string& error);

    Database& m_db;
    std::int64_t m_campaign;
    std::string m_imei;
    std::string m_port;
    std::unique_ptr<Statements> m_st;
};

}  // namespace store
