#include "sms/campaign_recorder.h"

#include <algorithm>

namespace sms {

MemoryRecorder::MemoryRecorder(std::vector<std::string> numbers)
    : m_numbers(std::move(numbers)), m_waiting(m_numbers.size(), true) {}

std::optional<QueuedRecipient> MemoryRecorder::nextQueued(std::string&) {
    while (m_first < m_numbers.size() && !m_waiting[m_first]) {
        ++m_first;
    }
    for (size_t i = m_first; i < m_numbers.size(); ++i) {
        if (m_waiting[i]) {
            return QueuedRecipient{std::int64_t(i), int(i), m_numbers[i]};
        }
    }
    return std::nullopt;
}

int MemoryRecorder::queuedCount(std::string&) {
    return int(std::count(m_waiting.begin() + std::ptrdiff_t(m_first), m_waiting.end(), true));
}

std::vector<QueuedRecipient> MemoryRecorder::queued(std::string&) {
    std::vector<QueuedRecipient> rows;
    for (size_t i = m_first; i < m_numbers.size(); ++i) {
        if (m_waiting[i]) {
            rows.push_back({std::int64_t(i), int(i), m_numbers[i]});
        }
    }
    return rows;
}

bool MemoryRecorder::markSending(const QueuedRecipient& r, std::string&) {
    m_waiting.at(size_t(r.id)) = false;
    return true;
}

bool MemoryRecorder::markFinished(const QueuedRecipient& r, const SendOutcome& outcome,
                                  std::string&) {
    if (outcome.status == SendStatus::NotSent) {
        m_waiting.at(size_t(r.id)) = true;
        m_first = std::min(m_first, size_t(r.id));
    }
    return true;
}

bool MemoryRecorder::markSkipped(const QueuedRecipient& r, const std::string&, std::string&) {
    m_waiting.at(size_t(r.id)) = false;
    return true;
}

}  // namespace sms
