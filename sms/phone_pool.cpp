#include "sms/phone_pool.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "platform/message_queue.h"
#include "sms/recipient_steps.h"
#include "sms/send_texts.h"

namespace sms {
namespace {

// +CMS ERROR codes of a phone that cannot reach the network, or a network that cannot take
// the message now (3GPP TS 27.005 3.2.5, RP causes of TS 24.011 8.2.5.4, TP-FCS of TS
// 23.040 9.2.3.22). A refused number or a bad PDU is not among them: any phone would get
// the same answer.
constexpr int kNetworkErrors[] = {
    38,   // network out of order
    41,   // temporary failure
    42,   // congestion
    47,   // resources unavailable
    192,  // SC busy
    194,  // SC system failure
    330,  // SMSC address unknown: this SIM cannot reach its centre
    331,  // no network service
    332,  // network timeout
};

// How long a run with rows left waits for a phone while none is in flight, none pauses and
// none is ready (all disconnected without saying so) before it ends as having no phone.
constexpr std::int64_t kNoPhoneMs = 30000;
// A phone that gave back a row untried is offered the next one only after this long.
constexpr std::int64_t kUntriedBackOffMs = 1000;
// The longest single wait: the run looks again at least this often (a changed limit, the
// day turning).
constexpr int kLongestWaitMs = 60000;

}  // namespace

bool isNetworkError(int cmsError) {
    return std::find(std::begin(kNetworkErrors), std::end(kNetworkErrors), cmsError) !=
           std::end(kNetworkErrors);
}

PoolClock queueClock(platform::MessageQueue& queue) {
    PoolClock clock;
    clock.steadyMs = [] {
        return std::int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count());
    };
    clock.now = [] { return std::time(nullptr); };
    clock.wait = [&queue](int ms) { queue.waitAndPumpOne(ms); };
    // A message to a handler that does nothing: the wait has handled one event and returns.
    struct Waker {
        explicit Waker(platform::MessageQueue& q)
            : queue(q), id(q.addHandler([](const platform::Message&) { return intptr_t(0); })) {}
        ~Waker() { queue.removeHandler(id); }
        Waker(const Waker&) = delete;
        Waker& operator=(const Waker&) = delete;
        platform::MessageQueue& queue;
        const platform::HandlerId id;
    };
    clock.wake = [waker = std::make_shared<Waker>(queue)] { waker->queue.post(waker->id, {}); };
    return clock;
}

std::time_t localDayStart(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;  // whatever holds at that midnight
    return std::mktime(&local);
}

std::time_t nextLocalDay(std::time_t t) {
    std::tm local{};
    const std::time_t start = localDayStart(t);
    localtime_r(&start, &local);
    local.tm_mday += 1;
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

struct PhonePool::Member {
    PhoneSlot* slot = nullptr;
    bool inRun = true;     // false once it left the run
    bool removed = false;  // removeSlot() during a run: erased between two steps
    // Its message on its way, the phone it was handed to as it named itself then, and the
    // number of the handing out (an answer to an earlier one is not this one's).
    std::optional<QueuedRecipient> inFlight;
    PhoneIdentity servedAs;
    std::uint64_t handing = 0;
    std::int64_t readyAtMs = 0;  // its pause ends
    int networkFailures = 0;     // in a row
    std::time_t countedDay = -1;
    int sentToday = 0;  // on countedDay
};

struct PhonePool::Run {
    Run(const BulkRequest& r, CampaignRecorder& rec, BulkView& view, BulkSummary& s,
        std::function<std::time_t()> now)
        : request(r), recorder(rec), summary(s), steps(r, rec, view, s, std::move(now)) {}

    const BulkRequest& request;
    CampaignRecorder& recorder;
    BulkSummary& summary;
    RecipientSteps steps;
    bool queueEmpty = false;
    int inFlight = 0;
    bool unsettled = false;  // outcomes recorded since the last settle
};

PhonePool::PhonePool(BulkView& view, PoolClock clock) : m_view(view), m_clock(std::move(clock)) {}

PhonePool::~PhonePool() {
    *m_alive = false;
}

PhonePool::Member* PhonePool::memberOf(const PhoneSlot& slot) {
    for (const auto& m : m_members) {
        if (m->slot == &slot && !m->removed) {
            return m.get();
        }
    }
    return nullptr;
}

void PhonePool::addSlot(PhoneSlot& slot) {
    if (Member* m = memberOf(slot)) {
        m->inRun = true;
        m->networkFailures = 0;
        m->countedDay = -1;  // another phone may be behind the slot now: counted again
    } else {
        auto added = std::make_unique<Member>();
        added->slot = &slot;
        m_members.push_back(std::move(added));
    }
    wake();  // a run waiting for a pause or the next day has a phone to hand rows to
}

void PhonePool::setDailyLimits(DailyLimits limitOf) {
    m_dailyLimits = std::move(limitOf);
    wake();
}

void PhonePool::setDailyLimit(int perPhone) {
    setDailyLimits(perPhone > 0 ? DailyLimits([perPhone](const PhoneIdentity&) { return perPhone; })
                                : DailyLimits());
}

void PhonePool::stop() {
    m_stopRequested = true;
    wake();
}

void PhonePool::wake() {
    if (m_running && m_clock.wake) {
        m_clock.wake();
    }
}

void PhonePool::removeSlot(PhoneSlot& slot) {
    Member* m = memberOf(slot);
    if (m == nullptr) {
        return;
    }
    if (m_run == nullptr) {
        std::erase_if(m_members, [m](const auto& p) { return p.get() == m; });
        return;
    }
    // During a run the record stays until the run is between two steps (this may be
    // called from the view, inside one); the slot itself is not touched again.
    m->removed = true;
    leave(*m);
    if (m->inFlight) {
        SendOutcome outcome;
        outcome.status = SendStatus::Unknown;
        outcome.error = texts::lineLost();
        outcome.lineLost = true;
        answered(*m_run, *m, outcome);
    }
}

void PhonePool::leave(Member& m) {
    m.inRun = false;
    m.networkFailures = 0;
}

bool PhonePool::countToday(Run& run, Member& m) {
    const std::time_t day = localDayStart(m_clock.now());
    if (m.countedDay == day) {
        return true;
    }
    const PhoneIdentity id = m.slot->identity();
    std::string error;
    const int n = run.recorder.sentSince(id.imei, id.port, day, error);
    if (n < 0) {
        run.summary.recordError = error;
        return false;
    }
    m.sentToday = n;
    m.countedDay = day;
    return true;
}

int PhonePool::limitOf(const Member& m) const {
    return m_dailyLimits ? std::max(0, m_dailyLimits(m.slot->identity())) : 0;
}

bool PhonePool::atLimit(const Member& m) const {
    const int limit = limitOf(m);
    return limit > 0 && m.countedDay == localDayStart(m_clock.now()) && m.sentToday >= limit;
}

PhonePool::Member* PhonePool::freeMember(Run& run) {
    const std::int64_t now = m_clock.steadyMs();
    for (const auto& p : m_members) {
        Member& m = *p;
        if (!m.inRun || m.removed || m.inFlight || now < m.readyAtMs || !m.slot->available()) {
            continue;
        }
        if (!countToday(run, m)) {
            return nullptr;  // summary.recordError says why
        }
        if (!atLimit(m)) {
            return &m;
        }
    }
    return nullptr;
}

void PhonePool::handOut(Run& run) {
    if (m_takingRow) {
        return;  // the hand-out under way looks for free phones again once its row is recorded
    }
    struct TakingRow {
        bool& flag;
        explicit TakingRow(bool& f) : flag(f) { flag = true; }
        ~TakingRow() { flag = false; }
    };
    for (;;) {
        if (m_stopRequested || !run.summary.recordError.empty() || run.queueEmpty) {
            return;
        }
        Member* m = freeMember(run);
        if (m == nullptr) {
            return;
        }
        std::optional<QueuedRecipient> next;
        {
            const TakingRow taking(m_takingRow);
            next = run.steps.next();
            if (!next) {
                run.queueEmpty = run.summary.recordError.empty();
                return;
            }
            if (m_stopRequested) {
                return;  // stopped by the view as it heard of a skipped row: the row still waits
            }
            if (m->removed || !m->inRun) {
                continue;  // the view let this phone go meanwhile: the row goes to another
            }
            const PhoneIdentity id = m->slot->identity();
            if (!run.steps.startSending(*next, &id)) {
                return;
            }
            m->inFlight = *next;
            m->servedAs = id;
            m->handing = ++m_handings;
            ++run.inFlight;
        }
        const std::uint64_t handing = m->handing;
        // Recorded: the phone hears of it now. Its submit() may run the queue, and other
        // phones' outcomes that come in meanwhile hand out from inside it.
        try {
            m->slot->submit(
                next->number, run.request.text, run.request.options,
                [this, alive = std::weak_ptr<bool>(m_alive), slot = m->slot,
                 handing](const SendOutcome& outcome) {
                    const auto live = alive.lock();
                    if (!live || !*live || m_run == nullptr) {
                        return;
                    }
                    Member* member = memberOf(*slot);
                    if (member != nullptr && member->inFlight && member->handing == handing) {
                        answered(*m_run, *member, outcome);
                        // At once, not when the run's own loop next gets its turn: that may
                        // be held by another phone's submission waiting on the queue.
                        handOut(*m_run);
                    }
                });
        } catch (const std::exception& e) {
            // Nothing reached the phone's thread: this recipient failed, the phone goes on,
            // after a rest (a slot that cannot take rows would fail every one of them).
            SendOutcome outcome;
            outcome.status = SendStatus::Failed;
            outcome.error = e.what();
            if (m->inFlight && m->handing == handing) {  // not answered meanwhile
                answered(run, *m, outcome);
            }
            m->readyAtMs = std::max(m->readyAtMs, m_clock.steadyMs() + kUntriedBackOffMs);
        }
    }
}

void PhonePool::answered(Run& run, Member& m, const SendOutcome& outcome) {
    const QueuedRecipient r = *m.inFlight;
    const PhoneIdentity servedAs = m.servedAs;
    m.inFlight.reset();
    --run.inFlight;
    run.unsettled = true;
    const std::int64_t now = m_clock.steadyMs();
    switch (outcome.status) {
        case SendStatus::Sent:
        case SendStatus::Unknown:
            ++m.sentToday;
            m.networkFailures = 0;
            break;
        case SendStatus::NotSent:
            // Back in the queue, perhaps for another phone; this one rests a moment, and
            // leaves as a failing one does when it keeps giving rows back.
            run.queueEmpty = false;
            m.readyAtMs = now + kUntriedBackOffMs;
            ++m.networkFailures;
            break;
        default:
            m.networkFailures = isNetworkError(outcome.cmsError) ? m.networkFailures + 1 : 0;
    }
    if (outcome.parts > 0 && run.request.pauseSeconds > 0) {
        m.readyAtMs = now + std::int64_t(run.request.pauseSeconds) * 1000;
    }
    if (outcome.lineLost || m.networkFailures >= kNetworkFailuresToLeave) {
        leave(m);
    }
    // Last: the view hears of it here and may add or remove phones.
    run.steps.finish(r, outcome, &servedAs);
}

BulkSummary PhonePool::run(const BulkRequest& request, CampaignRecorder& recorder) {
    BulkSummary summary;
    if (m_running) {
        return summary;
    }
    std::string error;
    const int total = recorder.queuedCount(error);
    if (total < 0) {
        summary.reason = summary.recordError = texts::recordFailed(error);
        return summary;
    }
    if (total == 0) {
        return summary;
    }
    if (request.text.empty()) {
        summary.reason = texts::emptyText();
        return summary;
    }
    if (std::none_of(m_members.begin(), m_members.end(), [](const auto& m) { return m->inRun; })) {
        summary.reason = texts::notConnected();
        return summary;
    }
    Run run(request, recorder, m_view, summary, m_clock.now);
    if (!run.steps.openResults()) {
        return summary;
    }
    m_running = true;
    m_stopRequested = false;
    m_run = &run;
    struct Running {
        PhonePool& pool;
        ~Running() {
            pool.m_running = false;
            pool.m_run = nullptr;
        }
    } running{*this};

    summary.started = true;
    m_view.runStarted(total);
    bool waitingForDay = false;
    std::int64_t noPhoneSince = -1;
    for (;;) {
        std::erase_if(m_members, [](const auto& m) { return m->removed; });
        handOut(run);
        if (waitingForDay && run.inFlight > 0) {
            waitingForDay = summary.dailyLimitReached = false;
            m_view.runGoesOn();
        }
        if (run.inFlight > 0) {
            // Woken by an answer, or when the first pause of a free phone ends.
            noPhoneSince = -1;
            const std::int64_t now = m_clock.steadyMs();
            std::int64_t ms = 1000;
            for (const auto& m : m_members) {
                if (m->inRun && !m->inFlight && m->readyAtMs > now) {
                    ms = std::min(ms, m->readyAtMs - now);
                }
            }
            m_clock.wait(int(ms));
            continue;
        }
        if (m_stopRequested || !summary.recordError.empty() || run.queueEmpty) {
            break;
        }
        // Rows are left and nothing is in flight: phones pausing, at their limit, or gone.
        const std::int64_t now = m_clock.steadyMs();
        bool anyInRun = false;
        bool allAtLimit = true;
        std::int64_t nextReady = -1;
        bool anyAvailable = false;
        for (const auto& m : m_members) {
            if (!m->inRun) {
                continue;
            }
            anyInRun = true;
            if (atLimit(*m)) {
                continue;
            }
            allAtLimit = false;
            if (m->readyAtMs > now) {
                nextReady = nextReady < 0 ? m->readyAtMs : std::min(nextReady, m->readyAtMs);
            } else if (m->slot->available()) {
                anyAvailable = true;
            }
        }
        if (!anyInRun) {
            summary.lineLost = true;
            break;
        }
        if (run.unsettled) {
            // Nothing goes to a phone for a while: what was recorded is made power-safe now.
            run.unsettled = false;
            run.steps.settle();
            continue;
        }
        if (allAtLimit) {
            if (!waitingForDay) {
                // The last rows may just have gone out: no pause for rows that are not there.
                std::string error;
                const int left = recorder.queuedCount(error);
                if (left <= 0) {
                    if (left < 0) {
                        summary.recordError = error;
                    }
                    run.queueEmpty = true;
                    continue;
                }
                waitingForDay = summary.dailyLimitReached = true;
                m_view.runPaused(texts::dailyLimitReached());
                if (m_stopRequested) {
                    continue;  // stopped by the view as it heard of the pause
                }
            }
            const std::time_t wall = m_clock.now();
            m_clock.wait(int(std::min<std::int64_t>(
                std::max<std::int64_t>(std::int64_t(nextLocalDay(wall) - wall) * 1000, 1),
                kLongestWaitMs)));
            continue;
        }
        if (nextReady < 0 && !anyAvailable) {
            // Every phone still in the run is away without having said so.
            if (noPhoneSince < 0) {
                noPhoneSince = now;
            } else if (now - noPhoneSince >= kNoPhoneMs) {
                summary.lineLost = true;
                break;
            }
            m_clock.wait(1000);
            continue;
        }
        noPhoneSince = -1;
        // A phone ready now is handed a row at once; events that came meanwhile first.
        m_clock.wait(anyAvailable ? 0
                                  : int(std::min<std::int64_t>(nextReady - now, kLongestWaitMs)));
    }
    run.steps.close();
    std::erase_if(m_members, [](const auto& m) { return m->removed; });
    summary.stopped = m_stopRequested;
    m_view.runFinished(summary);
    return summary;
}

}  // namespace sms
