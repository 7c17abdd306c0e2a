#pragma once
// The phone's message storage ("SM"): numbered locations holding received messages and
// status reports as PDUs, with the status AT+CMGL and AT+CMGR give (3GPP TS 27.005 3.1).

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace phonesim {

// <stat> of TS 27.005 3.1, PDU mode.
inline constexpr int kRecUnread = 0;
inline constexpr int kRecRead = 1;
inline constexpr int kAllMessages = 4;

struct StoredMessage {
    int index = 0;  // 1..capacity
    int stat = kRecUnread;
    bool report = false;  // a status report, else an SMS-DELIVER
    std::string pduHex;
    int tpduLength = 0;
    std::string summary;  // for the record
};

class MessageStore {
public:
    explicit MessageStore(int capacity) : m_capacity(capacity < 0 ? 0 : capacity) {}

    int capacity() const { return m_capacity; }
    int used() const { return static_cast<int>(m_messages.size()); }
    bool full() const { return used() >= m_capacity; }

    // Into the lowest free location; nothing when the storage is full.
    std::optional<int> add(StoredMessage message);
    StoredMessage* find(int index);
    // In the order of their locations; `stat` kAllMessages for all.
    std::vector<StoredMessage*> list(int stat);
    std::vector<StoredMessage> all() const;
    // What was at `index`, now gone; nothing when the location was empty.
    std::optional<StoredMessage> remove(int index);
    // AT+CMGD's <delflag>: 1 every read message, 2 and sent ones, 3 and unsent ones,
    // 4 all. What was removed.
    std::vector<StoredMessage> removeByFlag(int flag);
    std::string indices() const;  // "1,3,4" for AT+CMGD=?

private:
    int m_capacity;
    std::map<int, StoredMessage> m_messages;  // by location
};

}  // namespace phonesim
