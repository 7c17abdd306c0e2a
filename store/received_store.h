#pragma once
// Where the phone's receiver keeps what comes in: messages into the inbox (a "RET"
// puts its sender on the opt-out list in the same transaction), status reports into the
// delivery reports, paired with the part they speak of. Each PDU is committed before
// keepMessage()/keepReport() return true, so the phone may then acknowledge or delete
// it; a database failure returns false with its reason and the phone keeps the PDU.
//
// One database, one phone: the IMEI narrows which parts a report may pair with.

#include <functional>
#include <string>
#include <vector>

#include "phone/message_receiver.h"
#include "store/delivery_reports.h"
#include "store/inbox.h"

namespace store {

class Database;

class ReceivedStore : public phone::ReceivedKeeper {
public:
    explicit ReceivedStore(Database& db);
    ~ReceivedStore() override;
    ReceivedStore(const ReceivedStore&) = delete;
    ReceivedStore& operator=(const ReceivedStore&) = delete;

    // The phone the reports come from (its IMEI, as the identity query read it; empty:
    // not known, any phone's part may pair).
    void setPhoneImei(std::string imei) { m_imei = std::move(imei); }
    const std::string& phoneImei() const { return m_imei; }
    // The words that put a reply's sender on the opt-out list (the settings' list).
    void setOptOutKeywords(std::vector<std::u16string> keywords);

    bool keepMessage(const std::string& pduHex, int tpduLength, std::string& error) override;
    bool keepReport(const std::string& pduHex, int tpduLength, std::string& error) override;

    // Called after each commit, also for a PDU taken in before (duplicate set) and for a
    // part still waiting for the rest (message 0). They must not throw.
    std::function<void(const StoredPdu&)> onMessage;
    std::function<void(const StoredReport&)> onReport;

    Inbox& inbox() { return m_inbox; }
    DeliveryReports& reports() { return m_reports; }

private:
    Inbox m_inbox;
    DeliveryReports m_reports;
    std::string m_imei;
};

}  // namespace store
