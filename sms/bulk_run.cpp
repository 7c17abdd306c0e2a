#include "sms/bulk_run.h"

#include <algorithm>
#include <exception>

#include "phone/phone_view.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "sms/recipient_steps.h"
#include "sms/send_texts.h"
#include "sms/sms_line.h"

namespace sms {

std::string BulkSummary::text() const {
    return texts::summary(sent, failed - unknown, notSent) + texts::unknownCount(unknown) +
           texts::skippedCount(skipped);
}

std::string BulkSummary::statusText() const {
    std::string line = text();
    if (dailyLimitReached) {
        line += " (" + texts::dailyLimitReached() + ")";
    }
    if (lineLost) {
        line += " (" + texts::lineLost() + ")";
    }
    if (resultsFileFailed) {
        line += " (" + texts::resultsFileFailed() + ")";
    }
    if (!recordError.empty()) {
        line += " (" + recordError + ")";
    }
    return line;
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
    RecipientSteps steps(request, recorder, m_view, summary, m_now);
    if (!steps.openResults()) {
        panel.setStatusPanel(1, summary.reason);
        return summary;
    }

    summary.started = true;
    m_view.runStarted(total);
    while (!m_stopRequested && !summary.lineLost && summary.recordError.empty()) {
        const std::optional<QueuedRecipient> next = steps.next();
        // The rows name the phone the recorder's owner gave it.
        if (!next || !steps.startSending(*next, nullptr)) {
            break;
        }
        SendOutcome outcome;
        try {
            outcome = m_sender.submit(next->number, request.text, request.options);
        } catch (const std::exception& e) {
            // A serial error under a write: this recipient failed; the rest are
            // served while the phone is still there.
            outcome = SendOutcome{};
            outcome.status = SendStatus::Failed;
            outcome.error = e.what();
            panel.setStatusPanel(1, outcome.statusLine());
        }
        summary.lineLost = outcome.lineLost || !m_sender.line().connected();
        steps.finish(*next, outcome, nullptr);
        if (outcome.status == SendStatus::NotSent) {
            // Back in the queue: going on would only offer the phone the same row again.
            break;
        }
        // The pause paces the phone and the network: none after an entry that never
        // reached the phone, none after the last.
        if (steps.taken() < total && request.pauseSeconds > 0 && !m_stopRequested &&
            !summary.lineLost && summary.recordError.empty() && outcome.parts > 0) {
            // The outcome is made power-safe before the wait, not only at the next row.
            if (!steps.settle()) {
                break;
            }
            m_pause(std::int64_t(request.pauseSeconds) * 1000, [this] { return m_stopRequested; });
        }
    }
    steps.close();
    summary.stopped = m_stopRequested;
    panel.setStatusPanel(1, summary.statusText());
    m_view.runFinished(summary);
    return summary;
}

}  // namespace sms
