// toplusms-cli watch COM [--seconds N]: stays connected with polling on and prints what
// changes, each line after the milliseconds since the start.
#include <cstdio>
#include <string>

#include "tools/cli/command.h"
#include "tools/cli/phone_session.h"

namespace cli {
namespace {

constexpr std::string_view kUsage = "COM|--device PATH [--baud N] [--seconds N]";
constexpr int kRefreshMs = 5000;  // tiRefresh
constexpr int kClearMs = 4000;    // tiClear
// How often the wait looks at the clock and the signals.
constexpr int kLookMs = 100;

// A repeating timer of the plain queue that the view switches on and off.
class SwitchedTimer {
public:
    SwitchedTimer(platform::MessageQueue& queue, int intervalMs, std::function<void()> tick)
        : m_queue(queue), m_intervalMs(intervalMs), m_tick(std::move(tick)) {}
    ~SwitchedTimer() { set(false); }

    void set(bool enabled) {
        if (m_id != platform::kNoTimer) {
            m_queue.stopTimer(m_id);
            m_id = platform::kNoTimer;
        }
        if (enabled) {
            m_id = m_queue.startTimer(m_intervalMs, m_tick);
        }
    }

private:
    platform::MessageQueue& m_queue;
    int m_intervalMs;
    std::function<void()> m_tick;
    platform::TimerId m_id = platform::kNoTimer;
};

int runWatch(std::span<const std::string_view> args) {
    std::vector<std::string_view> rest;
    const std::optional<PortChoice> choice = parsePortChoice(args, &rest, "watch", kUsage);
    if (!choice) {
        return kExitUsage;
    }
    const std::optional<int> seconds = parseStaySeconds(rest);
    if (!seconds) {
        std::fprintf(stderr, "usage: toplusms-cli watch %.*s\n", int(kUsage.size()), kUsage.data());
        return kExitUsage;
    }
    const StopSignals stop;

    PhoneSession session(*choice);
    phone::PhoneDialogue& dialogue = session.dialogue();
    ConsoleView& view = session.view();
    // A tick's error (a serial error) is shown and the watch goes on, as in the window.
    const auto guarded = [](const std::function<void()>& tick) {
        try {
            tick();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", visible(e.what()).c_str());
        }
    };
    SwitchedTimer refresh(session.queue(), kRefreshMs,
                          [&] { guarded([&] { dialogue.tiRefreshTimer(); }); });
    SwitchedTimer clear(session.queue(), kClearMs,
                        [&] { guarded([&] { dialogue.tiClearTimer(); }); });
    view.onRefreshSwitched = [&](bool on) { refresh.set(on); };
    view.onClearSwitched = [&](bool on) { clear.set(on); };
    view.reportChanges();

    const bool connected = session.connect();
    const auto start = std::chrono::steady_clock::now();
    const auto done = [&] {
        return stop.requested() || (*seconds >= 0 && std::chrono::steady_clock::now() - start >=
                                                         std::chrono::seconds(*seconds));
    };
    while (connected && dialogue.state().IsConnected && !done()) {
        session.queue().waitAndPumpOne(kLookMs);
    }
    const bool wentAway = !dialogue.state().IsConnected;
    view.onRefreshSwitched = nullptr;
    view.onClearSwitched = nullptr;
    return wentAway ? kExitFailed : kExitOk;
}

const CommandRegistration kRegistration(
    {"watch", kUsage,
     "connect and stay connected with polling on for N seconds (default: until Ctrl-C), "
     "printing 'MS TEXT' for every change of the status texts, gauges and call display; "
     "exit 1 when the phone went away",
     runWatch});

}  // namespace
}  // namespace cli
