#include "sms/recipient_steps.h"

#include "sms/send_texts.h"

namespace sms {

RecipientSteps::RecipientSteps(const BulkRequest& request, CampaignRecorder& recorder,
                               BulkView& view, BulkSummary& summary,
                               std::function<std::time_t()> now)
    : m_request(request),
      m_recorder(recorder),
      m_view(view),
      m_summary(summary),
      m_now(std::move(now)) {}

bool RecipientSteps::openResults() {
    if (m_request.resultsFolder.empty() && m_request.resultsFile.empty()) {
        return true;
    }
    std::string error;
    m_logging = m_request.resultsFile.empty()
                    ? m_log.createIn(m_request.resultsFolder, m_now(), &error)
                    : m_log.open(m_request.resultsFile, &error);
    if (!m_logging) {
        m_summary.reason = error;
        return false;
    }
    m_summary.resultsFile = m_log.path();
    return true;
}

void RecipientSteps::report(RecipientResult result) {
    if (m_logging && !m_log.append(result)) {
        m_summary.resultsFileFailed = true;
    }
    m_view.recipientFinished(result);
}

std::optional<QueuedRecipient> RecipientSteps::next() {
    std::string error;
    for (;;) {
        std::optional<QueuedRecipient> r = m_recorder.nextQueued(error);
        if (!r) {
            if (!error.empty()) {
                m_summary.recordError = error;
            }
            return std::nullopt;
        }
        ++m_taken;
        const std::string why = m_request.skipReason ? m_request.skipReason(r->number) : "";
        if (why.empty()) {
            return r;
        }
        if (!m_recorder.markSkipped(*r, why, error)) {
            m_summary.recordError = error;
            return std::nullopt;
        }
        RecipientResult result;
        result.position = r->position;
        result.number = r->number;
        result.outcome.status = SendStatus::Skipped;
        result.outcome.error = why;
        result.time = isoLocalTime(m_now());
        ++m_summary.skipped;
        report(result);
    }
}

bool RecipientSteps::startSending(const QueuedRecipient& r, const PhoneIdentity* phone) {
    // The row must say "on its way" before anything reaches the phone: a crash after this
    // point leaves it for the next start to call uncertain, never to send again.
    std::string error;
    if (phone != nullptr) {
        m_recorder.setPhone(phone->imei, phone->port);
    }
    if (!m_recorder.markSending(r, error)) {
        m_summary.recordError = error;
        return false;
    }
    m_view.recipientStarted(r.position, r.number);
    return true;
}

void RecipientSteps::finish(const QueuedRecipient& r, const SendOutcome& outcome,
                            const PhoneIdentity* phone) {
    RecipientResult result;
    result.position = r.position;
    result.number = r.number;
    if (phone != nullptr) {
        result.phone = *phone;
    }
    result.outcome = outcome;
    const bool untried = outcome.status == SendStatus::NotSent;
    if (!untried) {
        result.time = isoLocalTime(m_now());
        if (outcome.status == SendStatus::Sent) {
            ++m_summary.sent;
        } else {
            ++m_summary.failed;
            if (outcome.status == SendStatus::Unknown) {
                ++m_summary.unknown;
            }
        }
    }
    std::string error;
    if (phone != nullptr) {
        m_recorder.setPhone(phone->imei, phone->port);
    }
    if (!m_recorder.markFinished(r, outcome, error) && m_summary.recordError.empty()) {
        // The row stays "on its way", which the next start turns uncertain.
        m_summary.recordError = error;
    }
    if (!untried) {
        report(result);
    }
}

bool RecipientSteps::settle() {
    std::string error;
    if (!m_recorder.settle(error)) {
        if (m_summary.recordError.empty()) {
            m_summary.recordError = error;
        }
        return false;
    }
    return true;
}

void RecipientSteps::close() {
    if (m_summary.recordError.empty()) {
        settle();
    }
    // Those the run did not reach stay queued for a resume; the view and the file still
    // get a row for each.
    std::string error;
    for (const QueuedRecipient& r : m_recorder.queued(error)) {
        RecipientResult result;
        result.position = r.position;
        result.number = r.number;
        ++m_summary.notSent;
        report(result);
    }
    if (!m_summary.recordError.empty()) {
        m_summary.recordError = texts::recordFailed(m_summary.recordError);
    }
}

}  // namespace sms
