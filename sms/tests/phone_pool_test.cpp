#include "sms/phone_pool.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "sms/send_texts.h"

namespace sms {
namespace {

// Time for the run and its phones, on one thread: a wait runs the next answer due within
// it and moves the clocks to its moment, or moves them by the whole wait. A click is the
// user's: handled inside a wait, which goes on unless something wakes it.
struct FakeTime {
    std::int64_t ms = 0;
    std::time_t start = 0;
    std::multimap<std::int64_t, std::function<void()>> due;
    std::multimap<std::int64_t, std::function<void()>> clicks;
    bool woken = false;

    std::time_t now() const { return start + std::time_t(ms / 1000); }
    void at(std::int64_t when, std::function<void()> f) { due.emplace(when, std::move(f)); }
    void wait(int waitMs) {
        const std::int64_t from = ms;
        const std::int64_t until = ms + waitMs;
        for (;;) {
            if (woken) {
                woken = false;
                return;
            }
            const bool answer = !due.empty() && due.begin()->first <= until;
            const bool click = !clicks.empty() && clicks.begin()->first <= until &&
                               (!answer || clicks.begin()->first < due.begin()->first);
            if (!answer && !click) {
                ms = std::max(until, from + 1);
                return;
            }
            auto& events = click ? clicks : due;
            auto first = events.begin();
            ms = std::max(ms, first->first);
            auto f = std::move(first->second);
            events.erase(first);
            f();
            if (!click) {
                return;
            }
        }
    }
    PoolClock clock() {
        return {[this] { return ms; }, [this] { return now(); }, [this](int w) { wait(w); },
                [this] { woken = true; }};
    }
};

// A recorder that checks the order of changes: a row is marked on its way, with the phone
// that is to send it, before that phone hears of it.
class CheckedRecorder : public MemoryRecorder {
public:
    explicit CheckedRecorder(std::vector<std::string> numbers) : MemoryRecorder(numbers) {}

    void setPhone(const std::string& imei, const std::string&) override { m_imei = imei; }
    bool markSending(const QueuedRecipient& r, std::string& e) override {
        EXPECT_FALSE(sendingBy.count(r.number)) << r.number << " handed out twice";
        sendingBy[r.number] = m_imei;
        return MemoryRecorder::markSending(r, e);
    }
    bool markFinished(const QueuedRecipient& r, const SendOutcome& o, std::string& e) override {
        EXPECT_EQ(sendingBy[r.number], m_imei) << "finished as another phone's";
        if (o.status == SendStatus::NotSent) {
            sendingBy.erase(r.number);
        } else {
            finished[r.number] = o.status;
        }
        return MemoryRecorder::markFinished(r, o, e);
    }
    int sentSince(const std::string& imei, const std::string&, std::time_t since,
                  std::string&) override {
        countedSince.insert(since);
        return since == earlierDay && earlier.count(imei) ? earlier[imei] : 0;
    }

    std::map<std::string, std::string> sendingBy;  // number -> IMEI while on its way
    std::map<std::string, SendStatus> finished;
    std::map<std::string, int> earlier;  // sent on earlierDay before the run, per IMEI
    std::time_t earlierDay = 0;
    std::set<std::time_t> countedSince;

private:
    std::string m_imei;
};

struct FakePhone : PhoneSlot {
    FakePhone(FakeTime& t, CheckedRecorder& rec, std::string imei) : time(t), recorder(rec) {
        id = {std::move(imei), "Com" + std::to_string(++s_ports)};
    }
    PhoneIdentity identity() const override { return id; }
    bool available() const override { return connected && !busy; }
    void submit(const std::string& number, const std::u16string&, const EncodeOptions&,
                Done done) override {
        EXPECT_TRUE(available());
        EXPECT_EQ(recorder.sendingBy[number], id.imei) << "submitted before it was recorded";
        busy = true;
        submitted.push_back({time.ms, number});
        SendOutcome o;
        o.status = SendStatus::Sent;
        o.parts = 1;
        o.references = {int(submitted.size())};
        if (answer) {
            answer(int(submitted.size()), o);
        }
        const std::int64_t answerAt = time.ms + latencyMs;
        while (pumps && time.ms < answerAt) {
            time.wait(int(answerAt - time.ms));
        }
        time.at(answerAt, [this, o, done] {
            busy = false;
            if (o.lineLost) {
                connected = false;
            }
            done(o);
        });
    }

    FakeTime& time;
    CheckedRecorder& recorder;
    PhoneIdentity id;
    bool connected = true;
    bool busy = false;
    int latencyMs = 300;
    // Runs the run's queue inside submit() until the phone answers, as the window's own
    // phone does while it waits for the network.
    bool pumps = false;
    // Changes the outcome of the n-th submission (from 1).
    std::function<void(int n, SendOutcome& o)> answer;
    std::vector<std::pair<std::int64_t, std::string>> submitted;  // when, to whom
    static inline int s_ports = 4;
};

class RecordingView : public BulkView {
public:
    void runStarted(int) override {}
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const RecipientResult& r) override {
        results.push_back(r);
        if (onResult) {
            onResult(r);
        }
    }
    void runFinished(const BulkSummary&) override {}
    void runPaused(const std::string& reason) override {
        events.push_back("paused: " + reason);
        if (onPaused) {
            onPaused();
        }
    }
    void runGoesOn() override { events.push_back("goes on"); }

    std::vector<RecipientResult> results;
    std::vector<std::string> events;
    std::function<void(const RecipientResult&)> onResult;
    std::function<void()> onPaused;
};

std::vector<std::string> numbers(int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
        out.push_back("0532" + std::to_string(1000000 + i));
    }
    return out;
}

struct PoolTest : ::testing::Test {
    PoolTest() { time.start = localDayStart(1796900000) + 10 * 3600; }

    FakePhone& phone(std::string imei) {
        phones.push_back(std::make_unique<FakePhone>(time, recorder, std::move(imei)));
        pool.addSlot(*phones.back());
        return *phones.back();
    }
    BulkSummary run(int pauseSeconds = 0) {
        BulkRequest request;
        request.text = u"merhaba";
        request.pauseSeconds = pauseSeconds;
        return pool.run(request, recorder);
    }
    // Every number has exactly one result; returns how many each port served.
    std::map<std::string, int> servedOnce(int total) {
        std::map<std::string, int> perNumber, perPort;
        for (const RecipientResult& r : view.results) {
            ++perNumber[r.number];
            if (r.outcome.status != SendStatus::NotSent) {
                ++perPort[r.phone.port];
            }
        }
        EXPECT_EQ(int(perNumber.size()), total);
        for (const auto& [number, count] : perNumber) {
            EXPECT_EQ(count, 1) << number;
        }
        return perPort;
    }

    FakeTime time;
    CheckedRecorder recorder{numbers(30)};
    RecordingView view;
    PhonePool pool{view, time.clock()};
    std::vector<std::unique_ptr<FakePhone>> phones;
};

TEST_F(PoolTest, EveryNumberIsServedOnceAndTheFreePhonesShareTheLoad) {
    FakePhone& a = phone("111");
    FakePhone& b = phone("222");
    FakePhone& c = phone("333");
    c.latencyMs = 600;  // a slower phone simply takes fewer rows
    const BulkSummary s = run();
    EXPECT_TRUE(s.started);
    EXPECT_EQ(s.sent, 30);
    EXPECT_EQ(s.notSent, 0);
    const auto perPort = servedOnce(30);
    EXPECT_EQ(perPort.at(a.id.port), 12);
    EXPECT_EQ(perPort.at(b.id.port), 12);
    EXPECT_EQ(perPort.at(c.id.port), 6);
    EXPECT_EQ(time.ms, 3600);  // the three worked side by side
    for (const RecipientResult& r : view.results) {
        EXPECT_EQ(recorder.sendingBy[r.number], r.phone.imei);
    }
}

TEST_F(PoolTest, EachPhoneKeepsThePauseAfterItsOwnMessage) {
    FakePhone& a = phone("111");
    FakePhone& b = phone("222");
    b.latencyMs = 2000;
    recorder = CheckedRecorder(numbers(6));
    run(10);
    const auto starts = [](const FakePhone& p) {
        std::vector<std::int64_t> t;
        for (const auto& s : p.submitted) {
            t.push_back(s.first);
        }
        return t;
    };
    EXPECT_EQ(starts(a), (std::vector<std::int64_t>{0, 10300, 20600}));
    EXPECT_EQ(starts(b), (std::vector<std::int64_t>{0, 12000, 24000}));
}

TEST_F(PoolTest, EachPhoneKeepsItsOwnDailyLimitAndTheRunGoesOnTheNextDay) {
    time.start = nextLocalDay(time.start) - 60;  // a minute before midnight
    phone("111");
    phone("222");
    FakePhone& noImei = phone("");
    // Just enough for the next day's limits: the run ends then, with no pause for nothing.
    recorder = CheckedRecorder(numbers(18));
    recorder.earlier["222"] = 2;  // sent before this run today
    recorder.earlierDay = localDayStart(time.start);
    // As the window keys them: by IMEI, by port for a phone that gave none.
    pool.setDailyLimits([&](const PhoneIdentity& p) {
        return p.imei == "111" ? 3 : p.imei == "222" ? 5 : p.port == noImei.id.port ? 2 : 0;
    });
    std::map<std::string, int> beforeMidnight;
    view.onPaused = [&] {
        for (const RecipientResult& r : view.results) {
            ++beforeMidnight[r.phone.imei.empty() ? r.phone.port : r.phone.imei];
        }
    };
    const BulkSummary s = run();
    EXPECT_EQ(beforeMidnight,
              (std::map<std::string, int>{{"111", 3}, {"222", 3}, {noImei.id.port, 2}}));
    EXPECT_EQ(view.events,
              (std::vector<std::string>{"paused: " + texts::dailyLimitReached(), "goes on"}));
    EXPECT_EQ(s.sent, 18);
    EXPECT_FALSE(s.dailyLimitReached);
    // Counted from the store once per phone and day: today's and tomorrow's midnight.
    EXPECT_EQ(recorder.countedSince,
              (std::set<std::time_t>{localDayStart(time.start), nextLocalDay(time.start)}));
}

TEST_F(PoolTest, StoppedWhileEveryPhoneIsAtItsLimitLeavesTheRestQueued) {
    // Stopped as the pause is told, or by a click during the wait for the next day: a
    // click does not end a wait by itself, the stop must.
    for (const bool byClick : {false, true}) {
        SCOPED_TRACE(byClick ? "by a click" : "as the pause is told");
        FakeTime t;
        t.start = time.start;
        CheckedRecorder rec(numbers(12));
        RecordingView v;
        PhonePool p(v, t.clock());
        FakePhone a(t, rec, "111"), b(t, rec, "222");
        p.addSlot(a);
        p.addSlot(b);
        p.setDailyLimit(5);  // every phone's, as the command line sets it
        std::int64_t stoppedAt = -1;
        v.onPaused = [&] {
            if (!byClick) {
                stoppedAt = t.ms;
                p.stop();
                return;
            }
            t.clicks.emplace(t.ms + 5000, [&] {
                stoppedAt = t.ms;
                p.stop();
            });
        };
        BulkRequest request;
        request.text = u"x";
        request.pauseSeconds = 0;
        const BulkSummary s = p.run(request, rec);
        EXPECT_EQ(t.ms, stoppedAt);  // at once, not when the wait would have ended
        EXPECT_EQ(s.sent, 10);
        EXPECT_EQ(s.notSent, 2);
        EXPECT_TRUE(s.dailyLimitReached);
        EXPECT_TRUE(s.stopped);
        std::string error;
        EXPECT_EQ(rec.queuedCount(error), 2);
        EXPECT_NE(s.statusText().find(texts::dailyLimitReached()), std::string::npos);
    }
}

struct WhilePumping {
    const char* name;
    int stopAfterResults;  // 0: not stopped
    int fastLimit;         // 0: none
    int fastServes;
    int slowServes;
};

TEST_F(PoolTest, OutcomesThatComeInWhileAPhoneWaitsOnTheQueueHandOutAtOnce) {
    // The fast phone answers in 100 ms; the slow one holds the run inside its submit()
    // for 1000 ms. The fast one must not wait for it, and a stop or a limit still holds.
    const WhilePumping cases[] = {
        {"free phones served at once", 0, 0, 9, 1},
        {"stopped after 4 results", 4, 0, 4, 1},
        {"fast phone's limit 5", 0, 5, 5, 5},
    };
    for (const WhilePumping& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTime t;
        t.start = time.start;
        CheckedRecorder rec(numbers(10));
        RecordingView v;
        PhonePool p(v, t.clock());
        FakePhone fast(t, rec, "222"), slow(t, rec, "111");
        fast.latencyMs = 100;
        slow.latencyMs = 1000;
        slow.pumps = true;
        p.addSlot(fast);
        p.addSlot(slow);
        p.setDailyLimits(
            [&](const PhoneIdentity& id) { return id.imei == "222" ? c.fastLimit : 0; });
        v.onResult = [&](const RecipientResult&) {
            if (int(v.results.size()) == c.stopAfterResults) {
                p.stop();
            }
        };
        BulkRequest request;
        request.text = u"x";
        request.pauseSeconds = 0;
        const BulkSummary s = p.run(request, rec);
        EXPECT_EQ(int(fast.submitted.size()), c.fastServes);
        EXPECT_EQ(int(slow.submitted.size()), c.slowServes);
        EXPECT_EQ(s.sent, c.fastServes + c.slowServes);
        EXPECT_EQ(s.notSent, 10 - s.sent);
        EXPECT_EQ(int(rec.finished.size()), s.sent);
    }
}

struct Failover {
    const char* name;
    std::function<void(int n, SendOutcome& o)> answer;  // of the failing phone
    int failingServes;                                  // rows it took before it left
    SendStatus lastOfIt;
};

TEST_F(PoolTest, APhoneThatGoesAwayOrKeepsFailingOnTheNetworkLeavesTheRun) {
    const auto refuse = [](int code) {
        return [code](int n, SendOutcome& o) {
            if (n >= 2) {
                o.status = SendStatus::Failed;
                o.cmsError = code;
                o.error = "+CMS ERROR: " + std::to_string(code);
                o.references.clear();
            }
        };
    };
    const Failover cases[] = {
        {"hung up during its 4th message",
         [](int n, SendOutcome& o) {
             if (n == 4) {
                 o = SendOutcome{};
                 o.status = SendStatus::Unknown;
                 o.parts = 1;
                 o.pduWritten = o.lineLost = true;
             }
         },
         4, SendStatus::Unknown},
        {"network timeout three times in a row", refuse(332), 4, SendStatus::Failed},
        {"number refused: not the phone's fault", refuse(21), 15, SendStatus::Failed},
    };
    for (const Failover& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTime t;
        CheckedRecorder rec(numbers(30));
        RecordingView v;
        PhonePool p(v, t.clock());
        FakePhone good(t, rec, "111"), failing(t, rec, "222");
        failing.answer = c.answer;
        p.addSlot(good);
        p.addSlot(failing);
        BulkRequest request;
        request.text = u"x";
        request.pauseSeconds = 0;
        const BulkSummary s = p.run(request, rec);
        EXPECT_EQ(int(rec.finished.size()), 30);
        EXPECT_EQ(int(failing.submitted.size()), c.failingServes);
        EXPECT_EQ(rec.finished[failing.submitted.back().second], c.lastOfIt);
        EXPECT_EQ(s.notSent, 0);
        EXPECT_FALSE(s.lineLost);
    }
}

TEST_F(PoolTest, WithNoPhoneLeftTheRunEndsResumable) {
    FakePhone& a = phone("111");
    a.answer = [](int n, SendOutcome& o) {
        if (n == 3) {
            o.status = SendStatus::Failed;
            o.lineLost = true;
        }
    };
    const BulkSummary s = run();
    EXPECT_TRUE(s.lineLost);
    EXPECT_EQ(s.sent, 2);
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(s.notSent, 27);
    std::string error;
    EXPECT_EQ(recorder.queuedCount(error), 27);

    // A phone that went away without a word (never available again) ends the run too,
    // after a while, not never.
    a.connected = false;
    pool.addSlot(a);
    const BulkSummary silent = run();
    EXPECT_TRUE(silent.started);
    EXPECT_TRUE(silent.lineLost);
    EXPECT_EQ(silent.notSent, 27);
}

TEST_F(PoolTest, APhoneMayJoinWhileTheRunGoesAndRejoinAfterItLeft) {
    FakePhone& a = phone("111");
    FakePhone later(time, recorder, "222");
    a.answer = [](int n, SendOutcome& o) {
        if (n == 5) {
            o.lineLost = true;  // sent, then the cable came out
        }
    };
    view.onResult = [&](const RecipientResult& r) {
        if (view.results.size() == 2) {
            pool.addSlot(later);
        }
        if (r.phone.imei == "111" && !a.connected) {
            // Plugged in again by the user a little later: it takes rows again.
            time.at(time.ms + 2000, [&] {
                a.connected = true;
                pool.addSlot(a);
            });
        }
    };
    const BulkSummary s = run();
    EXPECT_EQ(s.sent, 30);
    EXPECT_EQ(s.notSent, 0);
    EXPECT_GT(later.submitted.size(), 5u);
    EXPECT_GT(a.submitted.size(), 5u);
    servedOnce(30);
}

TEST_F(PoolTest, APhoneRemovedWithAMessageInFlightLeavesItUnknown) {
    FakePhone& a = phone("111");
    FakePhone& b = phone("222");
    b.latencyMs = 5000;
    // Disconnected by the user as the other phone's first result shows; its late answer
    // comes at 5000.
    view.onResult = [&](const RecipientResult& r) {
        if (r.phone.imei == "111" && view.results.size() == 1) {
            pool.removeSlot(b);
        }
    };
    const BulkSummary s = run();
    EXPECT_EQ(recorder.finished[b.submitted.front().second], SendStatus::Unknown);
    EXPECT_EQ(s.unknown, 1);
    EXPECT_EQ(s.sent, 29);
    EXPECT_EQ(int(a.submitted.size()), 29);
    servedOnce(30);
}

}  // namespace
}  // namespace sms
