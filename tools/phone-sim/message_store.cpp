#include "tools/phone-sim/message_store.h"

namespace phonesim {

std::optional<int> MessageStore::add(StoredMessage message) {
    for (int index = 1; index <= m_capacity; ++index) {
        if (!m_messages.count(index)) {
            message.index = index;
            m_messages.emplace(index, std::move(message));
            return index;
        }
    }
    return std::nullopt;
}

StoredMessage* MessageStore::find(int index) {
    const auto it = m_messages.find(index);
    return it == m_messages.end() ? nullptr : &it->second;
}

std::vector<StoredMessage*> MessageStore::list(int stat) {
    std::vector<StoredMessage*> out;
    for (auto& [index, message] : m_messages) {
        if (stat == kAllMessages || message.stat == stat) {
            out.push_back(&message);
        }
    }
    return out;
}

std::vector<StoredMessage> MessageStore::all() const {
    std::vector<StoredMessage> out;
    for (const auto& [index, message] : m_messages) {
        out.push_back(message);
    }
    return out;
}

std::optional<StoredMessage> MessageStore::remove(int index) {
    const auto it = m_messages.find(index);
    if (it == m_messages.end()) {
        return std::nullopt;
    }
    StoredMessage gone = std::move(it->second);
    m_messages.erase(it);
    return gone;
}

std::vector<StoredMessage> MessageStore::removeByFlag(int flag) {
    // Only received messages are ever stored here, so flags 1-3 all mean "the read ones".
    std::vector<StoredMessage> removed;
    for (auto it = m_messages.begin(); it != m_messages.end();) {
        if (flag == kAllMessages || (flag >= 1 && flag <= 3 && it->second.stat == kRecRead)) {
            removed.push_back(std::move(it->second));
            it = m_messages.erase(it);
        } else {
            ++it;
        }
    }
    return removed;
}

std::string MessageStore::indices() const {
    std::string out;
    for (const auto& [index, message] : m_messages) {
        out += (out.empty() ? "" : ",") + std::to_string(index);
    }
    return out;
}

}  // namespace phonesim
