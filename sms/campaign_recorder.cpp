#include "sms/campaign_recorder.h"

namespace sms {

MemoryRecorder::MemoryRecorder(std::vector<std::string> numbers) : m_numbers(std::move(numbers)) {}

std::optional<QueuedRecipient> MemoryRecorder::nextQueued(std::string&) {
    if (m_next >= m_numbers.size()) {
        return std::nullopt;
    }
    return QueuedRecipient{std::int64_t(m_next), int(m_next), m_numbers[m_next]};
}

int MemoryRecorder::queuedCount(std::string&) {
    return int(m_numbers.size() - m_next);
}

std::vector<QueuedRecipient> MemoryRecorder::queued(std::string&) {
    std::vector<QueuedRecipient> rows;
    for (size_t i = m_next; i < m_numbers.size(); ++i) {
        rows.push_back({std::int64_t(i), int(i), m_numbers[i]});
    }
    return rows;
}

bool MemoryRecorder::markSending(const QueuedRecipient&, std::string&) {
    return true;
}

bool MemoryRecorder::markFinished(const QueuedRecipient& r, const SendOutcome& outcome,
                                  std::string&) {
    if (outcome.status != SendStatus::NotSent && size_t(r.id) == m_next) {
        ++m_next;
    }
    return true;
}

bool MemoryRecorder::markSkipped(const QueuedRecipient& r, const std::string&, std::string&) {
    if (size_t(r.id) == m_next) {
        ++m_next;
    }
    return true;
}

}  // namespace sms
