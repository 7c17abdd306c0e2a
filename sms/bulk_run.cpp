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
    return texts::summary(sent, failed, notSent);
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
    BulkSummary summary;
    if (m_running || request.numbers.empty()) {
        return summary;
    }
    phone::PhoneView& panel = m_sender.view();
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
        std::string error;
        logging = request.resultsFile.empty() ? log.createIn(request.resultsFolder, m_now(), &error)
                                              : log.open(request.resultsFile, &error);
        if (!logging) {
            summary.reason = error;
            panel.setStatusPanel(1, summary.reason);
            return summary;
        }
        summary.resultsFile = log.path();
    }

    summary.started = true;
    const int total = int(request.numbers.size());
    m_view.runStarted(total);
    for (int i = 0; i < total; ++i) {
        RecipientResult result;
        result.position = i;
        result.number = request.numbers[size_t(i)];
        if (m_stopRequested || summary.lineLost) {
            result.outcome.status = SendStatus::NotSent;
            ++summary.notSent;
        } else {
            m_view.recipientStarted(i, result.number);
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
            result.time = isoLocalTime(m_now());
            if (result.outcome.status == SendStatus::Sent) {
                ++summary.sent;
            } else {
                ++summary.failed;
            }
            summary.lineLost = result.outcome.lineLost || !m_sender.line().connected();
        }
        if (logging && !log.append(result)) {
            summary.resultsFileFailed = true;
        }
        m_view.recipientFinished(result);
        const bool last = i + 1 == total;
        // The pause paces the phone and the network: none after an entry that never
        // reached the phone, none after the last.
        if (!last && request.pauseSeconds > 0 && !m_stopRequested && !summary.lineLost &&
            result.outcome.parts > 0) {
            m_pause(std::int64_t(request.pauseSeconds) * 1000, [this] { return m_stopRequested; });
        }
    }
    summary.stopped = m_stopRequested;
    std::string text = summary.text();
    if (summary.lineLost) {
        text += " (" + texts::lineLost() + ")";
    }
    if (summary.resultsFileFailed) {
        text += " (" + texts::resultsFileFailed() + ")";
    }
    panel.setStatusPanel(1, text);
    m_view.runFinished(summary);
    return summary;
}

}  // namespace sms
