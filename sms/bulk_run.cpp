#include "sms/bulk_run.h"

#include <algorithm>
#include <exception>

#include "phone/phone_view.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "sms/results_log.h"
#include "sms/send_texts.h"
#include "sms/sms_line.h"

namespace sms {

std::string BulkSummary::text() const {
    return texts::summary(sent, failed - unknown, notSent) + texts::unknownCount(unknown) +
           texts::skippedCount(skipped);
}

std::string isoLocalTime(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
    return buf;
}

BulkRun::Pause queuePause(platform::MessageQueue& queue) {
    return [&queue](std::int64_t ms, const std::function<bool()>& stopRequested) {
        uint32_t last = platform::ClockMs();
        std::int64_t left = ms;
        for (;;) {
            queue.pumpAll();
            const uint32_t now = platform::ClockMs();
            left -= now - last;
            last = now;
            if (stopRequested() || left <= 0) {
                return;
            }
            // Sleeps in the queue's own wait, so a click or a port event ends it at once.
            queue.waitAndPumpOne(int(std::min<std::int64_t>(left, 50)));
        }
    };
}

BulkRun::BulkRun(SmsSender& sender, BulkView& view, Pause pause, Now now)
    : m_sender(sender), m_view(view), m_pause(std::move(pause)), m_now(std::move(now)) {}

BulkSummary BulkRun::run(const BulkRequest& request) {
    MemoryRecorder recorder(request.numbers);
    return run(request, recorder);
}

BulkSummary BulkRun::run(const BulkRequest& request, CampaignRecorder& recorder) {
    BulkSummary summary;
    if (m_running) {
        return summary;
    }
    phone::PhoneView& panel = m_sender.view();
    std::string error;
    const int total = recorder.queuedCount(error);
    if (total < 0) {
        summary.reason = summary.recordError = texts::recordFailed(error);
        panel.setStatusPanel(1, summary.reason);
        return summary;
    }
    if (total == 0) {
        return summary;
    }
    if (request.text.empty()) {
        summary.reason = texts::emptyText();
        panel.setStatusPanel(1, summary.reason);
        return summary;
    }
    m_running = true;
    m_stopRequested = false;
    struct Running {
        bool& flag;
        ~Running() { flag = false; }
    } running{m_running};

    summary.reason = m_sender.prepareRun();
    if (!summary.reason.empty()) {
        return summary;
    }
    ResultsLog log;
    bool logging = false;
    if (!request.resultsFolder.empty() || !request.resultsFile.empty()) {
        logging = request.resultsFile.empty() ? log.createIn(request.resultsFolder, m_now(), &error)
                                              : log.open(request.resultsFile, &error);
        if (!logging) {
            summary.reason = error;
            panel.setStatusPanel(1, summary.reason);
            return summary;
        }
        summary.resultsFile = log.path();
    }
    const auto finish = [&](const RecipientResult& result) {
        if (logging && !log.append(result)) {
            summary.resultsFileFailed = true;
        }
        m_view.recipientFinished(result);
    };

    summary.started = true;
    m_view.runStarted(total);
    int served = 0;
    while (!m_stopRequested && !summary.lineLost && summary.recordError.empty()) {
        error.clear();
        const std::optional<QueuedRecipient> next = recorder.nextQueued(error);
        if (!next) {
            if (!error.empty()) {
                summary.recordError = error;
            }
            break;
        }
        RecipientResult result;
        result.position = next->position;
        result.number = next->number;
        ++served;
        if (const std::string why = request.skipReason ? request.skipReason(next->number) : "";
            !why.empty()) {
            if (!recorder.markSkipped(*next, why, error)) {
                summary.recordError = error;
                break;
            }
            result.outcome.status = SendStatus::Skipped;
            result.outcome.error = why;
            result.time = isoLocalTime(m_now());
            ++summary.skipped;
            finish(result);
            continue;
        }
        // The row must say "on its way" before anything reaches the phone: a crash after
        // this point leaves it for the next start to call uncertain, never to send again.
        if (!recorder.markSending(*next, error)) {
            summary.recordError = error;
            break;
        }
        m_view.recipientStarted(result.position, result.number);
        try {
            result.outcome = m_sender.submit(result.number, request.text, request.options);
        } catch (const std::exception& e) {
            // A serial error under a write: this recipient failed; the rest are
            // served while the phone is still there.
            result.outcome = SendOutcome{};
            result.outcome.status = SendStatus::Failed;
            result.outcome.error = e.what();
            panel.setStatusPanel(1, result.outcome.statusLine());
        }
        const bool untried = result.outcome.status == SendStatus::NotSent;
        if (!untried) {
            result.time = isoLocalTime(m_now());
        }
        if (result.outcome.status == SendStatus::Sent) {
            ++summary.sent;
        } else if (!untried) {
            ++summary.failed;
            if (result.outcome.status == SendStatus::Unknown) {
                ++summary.unknown;
            }
        }
        summary.lineLost = result.outcome.lineLost || !m_sender.line().connected();
        if (!recorder.markFinished(*next, result.outcome, error)) {
            // The row stays "on its way", which the next start turns uncertain.
            summary.recordError = error;
        }
        if (untried) {
            // Back in the queue: going on would only offer the phone the same row again.
            break;
        }
        finish(result);
        // The pause paces the phone and the network: none after an entry that never
        // reached the phone, none after the last.
        if (served < total && request.pauseSeconds > 0 && !m_stopRequested && !summary.lineLost &&
            summary.recordError.empty() && result.outcome.parts > 0) {
            // The outcome is made power-safe before the wait, not only at the next row.
            if (!recorder.settle(error)) {
                summary.recordError = error;
                break;
            }
            m_pause(std::int64_t(request.pauseSeconds) * 1000, [this] { return m_stopRequested; });
        }
    }
    if (summary.recordError.empty() && !recorder.settle(error)) {
        summary.recordError = error;
    }
    // Those the run did not reach stay queued for a resume; the view and the file still
    // get a row for each.
    std::string queuedError;
    for (const QueuedRecipient& r : recorder.queued(queuedError)) {
        RecipientResult result;
        result.position = r.position;
        result.number = r.number;
        ++summary.notSent;
        finish(result);
    }
    summary.stopped = m_stopRequested;
    std::string text = summary.text();
    if (summary.lineLost) {
        text += " (" + texts::lineLost() + ")";
    }
    if (summary.resultsFileFailed) {
        text += " (" + texts::resultsFileFailed() + ")";
    }
    if (!summary.recordError.empty()) {
        summary.recordError = texts::recordFailed(summary.recordError);
        text += " (" + summary.recordError + ")";
    }
    panel.setStatusPanel(1, text);
    m_view.runFinished(summary);
    return summary;
}

}  // namespace sms
