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
// A phone may join (again) while the run goes. Each phone may have a daily limit of its
// own: a phone that reached it takes no more rows today; when every phone has, the run
// waits for the next local day.
//
// A phone's submission may run the queue while it waits (the window's own phone does),
// and the other phones' outcomes come in meanwhile: each outcome hands the free phones
// their next rows at once, from inside that wait, rather than leaving them idle until
// the slow phone is done.
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
    // Makes the wait under way, or else the next one, return at once (a stop, a changed
    // limit). May be empty: the run then sees such a change when its wait ends.
    std::function<void()> wake;
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
    // How many messages a phone may send a local day (0: no limit), asked of each phone
    // as it is to be handed a row, so that a changed limit holds from its next message on.
    using DailyLimits = std::function<int(const PhoneIdentity& phone)>;
    void setDailyLimits(DailyLimits limitOf);
    // The same limit for every phone.
    void setDailyLimit(int perPhone);

    // Serves what `recorder` hands out until none is left, the run is stopped, or no phone
    // is left (lineLost: the rest stay queued for a resume). `request.numbers` is not
    // used. Not started (summary.started false, the reason in summary.reason) when nothing
    // waits, the text is empty, no phone was added or the results file cannot be made.
    BulkSummary run(const BulkRequest& request, CampaignRecorder& recorder);
    // "Durdur": no further row is handed out; the run ends once the messages in flight are
    // answered. Also ends a wait for a pause or the next day at once.
    void stop();
    bool running() const { return m_running; }

private:
    struct Member;
    struct Run;

    Member* memberOf(const PhoneSlot& slot);
    // Hands a row to every free phone that is not at its limit. Entered again from an
    // outcome that comes in while a phone's submit() runs the queue.
    void handOut(Run& run);
    // The first phone that may be handed a row now; null when none.
    Member* freeMember(Run& run);
    int limitOf(const Member& m) const;
    bool atLimit(const Member& m) const;
    // The count of today's messages of `m`, read again once a day; false on a failure.
    bool countToday(Run& run, Member& m);
    void answered(Run& run, Member& m, const SendOutcome& outcome);
    void leave(Member& m);
    void wake();

    BulkView& m_view;
    PoolClock m_clock;
    std::vector<std::unique_ptr<Member>> m_members;  // in the order they joined
    DailyLimits m_dailyLimits;                       // empty: none
    bool m_running = false;
    // From taking a row from the recorder until it is recorded on its way: a hand-out
    // entered meanwhile (from the view, running the queue) would take the same row.
    bool m_takingRow = false;
    bool m_stopRequested = false;
    Run* m_run = nullptr;  // while run() goes
    // Numbers each handing out, over every run: an answer to an earlier one is told apart.
    std::uint64_t m_handings = 0;
    // Set false when the pool ends: an answer that comes later finds nothing to tell.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace sms
