#include "store/received_store.h"

#include "platform/codepage_1254.h"
#include "store/database.h"

namespace store {

ReceivedStore::ReceivedStore(Database& db) : m_inbox(db), m_reports(db) {}

ReceivedStore::~ReceivedStore() = default;

void ReceivedStore::setOptOutKeywords(std::vector<std::u16string> keywords) {
    m_inbox.setOptOutKeywords(std::move(keywords));
}

bool ReceivedStore::keepMessage(const std::string& pduHex, int tpduLength, std::string& error) {
    StoredPdu stored;
    try {
        stored = m_inbox.store(pduHex, tpduLength);
    } catch (const StoreError& e) {
        error = platform::cp1254::fromUtf8(e.what());
        return false;
    }
    if (onMessage) {
        onMessage(stored);
    }
    return true;
}

bool ReceivedStore::keepReport(const std::string& pduHex, int tpduLength, std::string& error) {
    StoredReport stored;
    try {
        stored = m_reports.storeReport(pduHex, tpduLength, m_imei);
    } catch (const StoreError& e) {
        error = platform::cp1254::fromUtf8(e.what());
        return false;
    }
    if (onReport) {
        onReport(stored);
    }
    return true;
}

}  // namespace store
