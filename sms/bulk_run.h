#pragma once
// The bulk send: one message text to every number of a list, in order, with a pause
// between messages, a result for every recipient, and a stop the user can ask for at any
// time (it takes effect after the message in flight). The bulk tab shows the run through
// BulkView; a run is tested without widgets.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "sms/campaign_recorder.h"
#include "sms/phone_slot.h"
#include "sms/sms_sender.h"

namespace platform {
class MessageQueue;
}

namespace sms {

struct RecipientResult {
    int position = 0;    // in the run's list (a campaign's list when resumed), from 0
    std::string number;  // Windows-1254, as listed
    std::string time;    // when it was served, ISO 8601 local time; empty when not served
    SendOutcome outcome;
    // The phone that served it; empty when not served, or over one phone that did not
    // name itself.
    PhoneIdentity phone;
};

struct BulkSummary {
    bool started = false;
    std::string reason;  // why the run did not start (Windows-1254)
    int sent = 0;
    int failed = 0;
    int notSent = 0;
    int unknown = 0;        // of `failed`: the PDU went out and no answer came
    int skipped = 0;        // not served on purpose (not counted in `notSent`)
    bool stopped = false;   // "Durdur"
    bool lineLost = false;  // the phone went away (over several phones: every one did)
    // Over several phones: every one reached its daily limit and the run ended before the
    // next day (stopped meanwhile).
    bool dailyLimitReached = false;
    // A state change could not be recorded: the run stopped before the next submission.
    std::string recordError;  // Windows-1254; empty when every change was recorded
    std::filesystem::path resultsFile;
    bool resultsFileFailed = false;  // a row could not be written
    std::string text() const;        // "118 gönderildi, 2 başarısız" ...
    // text() and, in parentheses, why the run ended early or what could not be kept: the
    // status bar's line at the end of a run.
    std::string statusText() const;
};

class BulkView {
public:
    virtual ~BulkView() = default;
    // `total`: how many recipients this run serves (those still waiting when resumed).
    virtual void runStarted(int total) = 0;
    // Before the message to `number` goes out (Edit1 shows it, "3 / 120").
    virtual void recipientStarted(int position, const std::string& number) = 0;
    // Every recipient gets one result, also those a stop or a lost phone left unserved.
    virtual void recipientFinished(const RecipientResult& result) = 0;
    virtual void runFinished(const BulkSummary& summary) = 0;
    // Over several phones: the run waits with nothing in flight, for `reason` ("Günlük
    // sınıra ulaşıldı"), and later goes on (runGoesOn) or ends.
    virtual void runPaused(const std::string& reason) { (void)reason; }
    virtual void runGoesOn() {}
};

struct BulkRequest {
    std::vector<std::string> numbers;  // the list as it was when the run started
    std::u16string text;
    int pauseSeconds = 30;  // after each message but the last; none at 0 or below
    EncodeOptions options;
    // Where the results go as the run goes: a file of its own under resultsFolder
    // (YYYY-MM-DD_HH-MM-SS.csv), or resultsFile as named. Both empty: no file.
    std::filesystem::path resultsFolder;
    std::filesystem::path resultsFile;
    // Why a number must not be texted (Windows-1254), or empty to send to it; asked just
    // before each recipient. Not set: every number is served.
    std::function<std::string(const std::string& number)> skipReason;
};

class BulkRun {
public:
    // Waits `ms` or until `stopRequested()` turns true, keeping the program responsive.
    using Pause = std::function<void(std::int64_t ms, const std::function<bool()>& stopRequested)>;
    using Now = std::function<std::time_t()>;

    BulkRun(
        SmsSender& sender, BulkView& view, Pause pause,
        Now now = [] { return std::time(nullptr); });

    // Runs the whole list. When the phone is not ready, or the results file cannot be
    // made, nothing is sent and the summary says why.
    BulkSummary run(const BulkRequest& request);
    // Serves the recipients `recorder` hands out, in its order, until none is left (a new
    // campaign and a resumed one are the same run); `request.numbers` is not used.
    // Every state change is recorded before the run acts on it: when one cannot be, the
    // run stops before the next submission and the summary's recordError says why.
    // Stopped or cut short, the rows not served stay queued in the recorder.
    BulkSummary run(const BulkRequest& request, CampaignRecorder& recorder);
    // "Durdur": ends the run after the message in flight; cuts a pause short.
    void stop() { m_stopRequested = true; }
    bool running() const { return m_running; }

private:
    SmsSender& m_sender;
    BulkView& m_view;
    Pause m_pause;
    Now m_now;
    bool m_running = false;
    bool m_stopRequested = false;
};

// A pause that processes the messages of `queue` (clicks, events of the port) while it
// waits.
BulkRun::Pause queuePause(platform::MessageQueue& queue);

// ISO 8601 local time without zone: "2026-12-10T04:41:07".
std::string isoLocalTime(std::time_t t);

}  // namespace sms
