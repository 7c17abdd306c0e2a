#pragma once
// How a run serves a recipient, whichever phone serves it: the opt-out check, the record
// of each change before the run acts on it, the summary's counts, the results file and
// the view. The run over one phone and the run over several both go through here, so
// there is one place that says how a recipient is served.

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "sms/bulk_run.h"
#include "sms/campaign_recorder.h"
#include "sms/phone_slot.h"
#include "sms/results_log.h"

namespace sms {

class RecipientSteps {
public:
    RecipientSteps(const BulkRequest& request, CampaignRecorder& recorder, BulkView& view,
                   BulkSummary& summary, std::function<std::time_t()> now);

    // Opens the results file the request names (none named: nothing to do). False, with
    // summary.reason, when it cannot be made.
    bool openResults();
    // The next recipient to submit to. The ones the run must not text come first are
    // recorded as skipped and reported on the way. Nothing when none is left or a change
    // could not be recorded (summary.recordError says so).
    std::optional<QueuedRecipient> next();
    // Records "on its way" by `phone` and tells the view. False (summary.recordError) when
    // it could not be recorded: nothing may be submitted then. `phone` null: the phone the
    // recorder was given by its owner (a run over one phone).
    bool startSending(const QueuedRecipient& r, const PhoneIdentity* phone);
    // Counts, records and reports what became of a submission by `phone` (as above). An
    // outcome of NotSent puts the row back in the queue and is reported only at the end.
    void finish(const QueuedRecipient& r, const SendOutcome& outcome, const PhoneIdentity* phone);
    // Makes what was recorded survive a power cut; false (summary.recordError) on a failure.
    bool settle();
    // The end of a run: settles, reports every row the run left queued as not served and
    // completes the summary.
    void close();

    // Recipients taken from the queue so far, skipped ones included.
    int taken() const { return m_taken; }

private:
    void report(RecipientResult result);

    const BulkRequest& m_request;
    CampaignRecorder& m_recorder;
    BulkView& m_view;
    BulkSummary& m_summary;
    std::function<std::time_t()> m_now;
    ResultsLog m_log;
    bool m_logging = false;
    int m_taken = 0;
};

}  // namespace sms
