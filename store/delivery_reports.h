#pragma once
// Delivery reports (SMS-STATUS-REPORT) kept in the database and paired with the part of a
// campaign's message they speak of: the message reference and the recipient's number in
// the compared form, among the parts sent over the last 7 days, the most recent first.
// A report that matches no part is kept unpaired; one that cannot be read is kept with
// its raw text and changes no recipient. A report is committed before storeReport()
// returns, so the caller deletes it from the phone only afterwards; storing the same
// report again (read a second time after a crash) changes nothing.
//
// Every method throws StoreError when the database fails.

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "store/campaigns.h"

namespace sms {
struct SmsStatusReport;
}

namespace store {

class Database;

struct StoredReport {
    std::int64_t id = 0;     // the report's row
    bool duplicate = false;  // stored before; nothing was changed
    bool readable = false;
    std::string problem;  // Windows-1254; why it could not be read
    int reference = -1;   // TP-MR; -1 when unreadable
    std::string number;   // the recipient address as the report gives it, Windows-1254
    int status = -1;      // TP-ST; -1 when unreadable
    std::string meaning;  // Windows-1254: what TP-ST says
    // The recipient row and part it was paired with; 0 and -1 when unpaired.
    std::int64_t recipient = 0;
    int part = -1;
    // That recipient's delivery state after this report.
    DeliveryState delivery = DeliveryState::None;
};

class DeliveryReports {
public:
    using Now = std::function<std::time_t()>;

    // Reports pair with parts sent this long before they are stored.
    static constexpr std::time_t kPairingWindowSeconds = 7 * 24 * 3600;

    explicit DeliveryReports(
        Database& db, Now now = [] { return std::time(nullptr); });
    ~DeliveryReports();
    DeliveryReports(const DeliveryReports&) = delete;
    DeliveryReports& operator=(const DeliveryReports&) = delete;

    // Decodes, stores and pairs one report: `pduHex` as the phone gave it (service-centre
    // field first), `tpduLength` the length given on the line before it (-1 when none),
    // `phoneImei` the phone it came from (empty when not known: then any phone's part
    // may pair).
    StoredReport storeReport(std::string_view pduHex, int tpduLength,
                             const std::string& phoneImei = {});

    // Pairs the reports kept unpaired that came before the parts of `recipient` were
    // recorded: a long message's first part reports while its last is still being
    // submitted, and a report may come before the submission's answer is recorded. Only
    // reports of the last kEarlyReportSeconds. Runs inside the caller's transaction.
    static constexpr std::time_t kEarlyReportSeconds = 10 * 60;
    void pairEarlyReports(std::int64_t recipient);

    // How many reports are kept, and how many of them matched no part.
    int count();
    int unpairedCount();

private:
    struct Statements;
    // The part `report` speaks of, by its reference and number; false when none.
    bool pair(StoredReport& report, const std::string& numberKey, const std::string& phoneImei,
              std::time_t now);
    // What the report says, into its part (when it is newer than what the part holds).
    void applyToPart(std::int64_t recipient, int part, const sms::SmsStatusReport& report);

    Database& m_db;
    Now m_now;
    std::unique_ptr<Statements> m_st;
    CampaignStore m_campaigns;  // reads back the paired recipient's state
};

}  // namespace store
