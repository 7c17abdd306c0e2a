#pragma once
// One campaign over several phones. The run lives on one thread, the only one that
// records: it hands the queued recipients out one at a time to whichever phone is free,
// records "on its way" (with that phone) before the phone hears of the row, records each
// outcome as it comes back, keeps the campaign's pause per phone (a phone's next message
// starts pauseSeconds after its own last one; the others go on meanwhile) and waits on
// its queue between events, so clicks and port events keep flowing.
//
// A phone leaves the run when it goes away, or fails kNetworkFailuresToLeave submissions
// in a row with network errors (or gives rows back untried); the rest go to the others.
// A phone may join (again) while the run goes. With a daily limit, a phone that reached
// it takes no more rows today; when every phone has, the run waits for the next local day.
//
// Every call is made on the run's thread: the thread of the queue the phones report to.

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "sms/bulk_run.h"
#include "sms/campaign_recorder.h"
#include "sms/phone_slot.h"

namespace platform {
class MessageQueue;
}

namespace sms {

// The +CMS ERROR codes that say the phone's way to the network failed, not the message
// or its recipient: another phone may well get it through.
bool isNetworkError(int cmsError);
inline constexpr int kNetworkFailuresToLeave = 3;

// What the run's waits and times come from; a test gives its own so that it can move the
// day or a pause along without waiting.
struct PoolClock {
    std::function<std::int64_t()> steadyMs;  // a monotonic clock, for the pauses
    std::function<std::time_t()> now;        // wall time: the local day, result times
    // Waits at most `ms` for one event of the run's queue and handles it.
    std::function<void(int ms)> wait;
};
// The real clocks, waiting on `queue` (which the phones report to).
PoolClock queueClock(platform::MessageQueue& queue);

// The local midnight that starts the day of `t`, and the one after it.
std::time_t localDayStart(std::time_t t);
std::time_t nextLocalDay(std::time_t t);

class PhonePool {
public:
    PhonePool(BulkView& view, PoolClock clock);
    ~PhonePool();
    PhonePool(const PhonePool&) = delete;
    PhonePool& operator=(const PhonePool&) = delete;

    // Takes the phone into the run (any time, on the run's thread): it is handed rows
    // once available(). A phone that left the run takes rows again when added again.
    // `slot` must stay alive until removed or until the pool ends.
    void addSlot(PhoneSlot& slot);
    // The phone takes no more rows. A message it has in flight is recorded as
    // unanswered (the network may have it); its late answer is ignored.
    void removeSlot(PhoneSlot& slot);
    // Messages a phone may send a local day, per IMEI; 0: no limit. May change while the
    // run goes.
    void setDailyLimit(int perPhone) { m_dailyLimit = perPhone < 0 ? 0 : perPhone; }

    // Serves what `recorder` hands out until none is left, the run is stopped, or no phone
    // is left (lineLost: the rest stay queued for a resume). `request.numbers` is not
    // used. Not started (summary.started false, the reason in summary.reason) when nothing
    // waits, the text is empty, no phone was added or the results file cannot be made.
    BulkSummary run(const BulkRequest& request, CampaignRecorder& recorder);
    // "Durdur": no further row is handed out; the run ends once the messages in flight are
    // answered. Also ends a wait for the next day.
    void stop() { m_stopRequested = true; }
    bool running() const { return m_running; }

private:
    struct Member;
    struct Run;

    Member* memberOf(const PhoneSlot& slot);
    // Hands a row to every free phone that is not at its limit.
    void handOut(Run& run);
    // The count of today's messages of `m`, read again once a day; false on a failure.
    bool countToday(Run& run, Member& m);
    void answered(Run& run, Member& m, const SendOutcome& outcome);
    void leave(Member& m);

    BulkView& m_view;
    PoolClock m_clock;
    std::vector<std::unique_ptr<Member>> m_members;  // in the order they joined
    int m_dailyLimit = 0;
    bool m_running = false;
    bool m_stopRequested = false;
    Run* m_run = nullptr;  // while run() goes
    // Numbers each handing out, over every run: an answer to an earlier one is told apart.
    std::uint64_t m_handings = 0;
    // Set false when the pool ends: an answer that comes later finds nothing to tell.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace sms
