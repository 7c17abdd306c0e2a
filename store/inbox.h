#pragma once
// "Gelen Mesajlar": the messages customers send back, kept in the database. A message is
// stored before the phone is told to delete it, and storing the same PDU again (read a
// second time after the program was killed before the delete) changes nothing, so every
// message is shown once. A long message waits here in parts until it is whole, or until a
// day has passed, when it is shown as it is and marked incomplete. A reply that asks to
// be left alone ("RET", "İptal" ...) puts its sender on the opt-out list in the same
// transaction that stores it.
//
// Texts are UTF-8. Every method throws StoreError when the database fails.

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

class Database;

struct InboxMessage {
    std::int64_t id = 0;
    std::string sender;        // "+90532...", or a sender name; empty when unreadable
    std::string senderNumber;  // optOutKey() of the sender; empty for a name
    std::string sent;          // "2026-12-10T14:05:09+03:00" as the centre stamped it
    std::time_t sortTime = 0;  // the same in UTC (when received, for an unreadable one)
    std::time_t received = 0;
    std::string text;
    bool read = false;
    bool incomplete = false;    // parts were still missing after a day
    std::string rawPdu;         // only for a message that could not be read
    std::string problem;        // why not
    std::int64_t campaign = 0;  // a recent campaign that texted the sender; 0 when none
    bool startMissing = false;  // given up on without its first part (known as it is joined)
    bool unreadable() const { return !problem.empty(); }
};

struct StoredPdu {
    // The inbox message the PDU became or completed; 0 for a part still waiting for
    // others, and for a duplicate part.
    std::int64_t message = 0;
    bool duplicate = false;  // taken in before; nothing was changed
    bool optedOut = false;   // its sender was put on the opt-out list now
};

class Inbox {
public:
    using Now = std::function<std::time_t()>;
    // Parts of a long message wait this long for the rest.
    static constexpr std::time_t kPartsWaitSeconds = 24 * 60 * 60;
    // A sender is matched to the campaigns of this many days before the message.
    static constexpr std::time_t kRecentCampaignSeconds = 30 * 24 * 60 * 60;

    explicit Inbox(
        Database& db, Now now = [] { return std::time(nullptr); });
    ~Inbox();
    Inbox(const Inbox&) = delete;
    Inbox& operator=(const Inbox&) = delete;

    // The words that put a reply's sender on the opt-out list (the settings' list).
    void setOptOutKeywords(std::vector<std::u16string> keywords);

    // Takes in one SMS-DELIVER as the phone gave it (hexadecimal; `tpduLength` the length
    // it named, -1 when none). A PDU that cannot be read is kept as an unreadable message
    // with the PDU. Returns once committed: only then may the phone delete it.
    StoredPdu store(std::string_view pdu, int tpduLength = -1);
    // Shows the long messages whose first part came more than a day ago, marked
    // incomplete; returns how many. store() does this too.
    int expireIncomplete();

    // Newest first (by the centre's time stamp), from `offset`, at most `limit`.
    std::vector<InboxMessage> messages(int offset, int limit);
    // One message by its id; none when there is no such message.
    std::optional<InboxMessage> message(std::int64_t id);
    int count();
    int unreadCount();
    void markRead(std::int64_t message);

    // The newest campaign that texted `number` (Windows-1254, any form) in the 30 days
    // before `at`; 0 when none.
    std::int64_t recentCampaignOf(std::string_view number, std::time_t at);

private:
    struct Statements;
    // Makes one message of a long message's parts there are, in part order, and drops them.
    std::int64_t joinParts(const std::string& sender, std::int64_t reference, std::int64_t total,
                           bool incomplete, InboxMessage& joined);
    std::int64_t insertMessage(const InboxMessage& m);
    bool optOutIfAsked(const InboxMessage& m, std::int64_t id);
    int expireLocked();

    Database& m_db;
    Now m_now;
    std::vector<std::u16string> m_keywords;
    std::unique_ptr<Statements> m_st;
};

}  // namespace store
