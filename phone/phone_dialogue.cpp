#include "phone/phone_dialogue.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "phone/phone_port.h"
#include "phone/phone_texts.h"
#include "phone/phone_view.h"
#include "phone/str_to_int.h"
#include "phone/unsolicited.h"
#include "platform/clock.h"
#include "platform/message_queue.h"

namespace phone {

namespace {

constexpr std::string_view kRing = "RING";
constexpr std::string_view kErrorLine = "\r\nERROR";
constexpr int32_t kHandshakeTicks = 10;

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// A whole "+CME ERROR: n" or "+CMS ERROR: n" line: a final result as ERROR is, whose
// number the caller reads from the reply.
bool hasExtendedError(std::string_view text) {
    for (std::string_view code : {"\r\n+CME ERROR:", "\r\n+CMS ERROR:"}) {
        const size_t at = text.find(code);
        if (at != std::string::npos && text.find('\r', at + code.size()) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Counts itself in `count` while it lives.
class Counted {
public:
    explicit Counted(int& count) : m_count(count) { ++m_count; }
    ~Counted() { --m_count; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;

private:
    int& m_count;
};

// Whether the millisecond clock has passed `deadline`, across its wrap.
bool after(uint32_t now, uint32_t deadline) {
    return int32_t(now - deadline) > 0;
}

}  // namespace

// One command from the moment it is written until its wait ends.
struct PhoneDialogue::Exchange {
    uint64_t turn = 0;
    bool endsTurn = false;
    std::string command;
    uint32_t deadline = 0;
    bool settled = false;
    CommandOutcome outcome = CommandOutcome::Completed;
    std::string reply;  // the receive buffer when the wait ended
};

PhoneDialogue::PhoneDialogue(PhoneView& view, PhonePort& port, platform::MessageQueue& queue)
    : m_view(view), m_port(port), m_queue(queue) {
    m_handler = m_queue.addHandler([this](const platform::Message&) {
        runWaitingClick();
        return intptr_t(0);
    });
}

PhoneDialogue::~PhoneDialogue() {
    m_queue.removeHandler(m_handler);
}

bool PhoneDialogue::commandWaiting() const {
    return m_active != nullptr && !m_active->settled;
}

bool PhoneDialogue::lineBusy() const {
    return m_holder != 0 || m_waiters > 0 || !m_waitingClicks.empty();
}

void PhoneDialogue::settleActive() {
    Exchange* e = m_active;
    if (e == nullptr || e->settled) {
        return;
    }
    if (m_state.ReplyFailed) {
        m_state.ReplyFailed = false;
        if (!m_failuresQuiet) {
            m_view.setStatusPanel(1, e->command + std::string(texts::kNotSupported));
        }
        e->outcome = CommandOutcome::Failed;
    } else if (m_state.ReplyDone) {
        e->outcome = CommandOutcome::Completed;
    } else if (!m_state.IsConnected || m_port.closing()) {
        // The port has closed, or is closing: nothing more can arrive.
        e->outcome = CommandOutcome::Disconnected;
    } else if (after(platform::ClockMs(), e->deadline)) {
        m_view.setStatusPanel(1, std::string(texts::kTimedOut));
        e->outcome = CommandOutcome::TimedOut;
    } else {
        return;
    }
    e->reply = m_state.ReceiveBuffer;
    e->settled = true;
    if (e->endsTurn && m_holder == e->turn) {
        // A one-command turn ends with its reply, so that a command started inside
        // its wait can go before the wait has unwound.
        m_holder = 0;
        scheduleWaitingClick();
    }
}

void PhoneDialogue::waitUntil(const std::function<bool()>& done, std::optional<uint32_t> wakeBy) {
    // Without a deadline of its own a wait still looks up now and then.
    constexpr int kLongestSleepMs = 1000;
    for (;;) {
        m_queue.pumpAll();
        settleActive();
        if (done()) {
            return;
        }
        const uint32_t now = platform::ClockMs();
        int32_t sleepMs = kLongestSleepMs;
        const auto until = [&](uint32_t deadline) {
            // One past the deadline: it has passed only once the clock is beyond it.
            sleepMs = std::min(sleepMs, std::max(int32_t(deadline - now) + 1, 0));
        };
        if (commandWaiting()) {
            until(m_active->deadline);
        }
        if (wakeBy) {
            until(*wakeBy);
        }
        m_queue.waitAndPumpOne(sleepMs);
    }
}

CommandTurn PhoneDialogue::beginTurn(CommandOrigin origin) {
    const auto none = [this](CommandOutcome outcome) {
        m_lastOutcome = outcome;
        return CommandTurn(outcome);
    };
    if (!m_state.IsConnected || m_port.closing()) {
        return none(CommandOutcome::Disconnected);
    }
    if (origin == CommandOrigin::Poll) {
        if (lineBusy()) {
            return none(CommandOutcome::Skipped);
        }
    } else {
        bool heldBeneath = false;
        const auto mayGo = [&] {
            if (!m_state.IsConnected) {
                return true;
            }
            if (m_holder != 0) {
                // The holder's wait is beneath this one. While its command waits, its
                // reply will free the line (or let the holder's next step wait);
                // between its commands it can go on only once this start has returned.
                heldBeneath = !commandWaiting();
                return heldBeneath;
            }
            if (!m_waitingClicks.empty() && m_clicksRunning == 0) {
                scheduleWaitingClick();  // clicks that came earlier go first
                return false;
            }
            return true;
        };
        if (!mayGo()) {
            const Counted waiting(m_waiters);
            waitUntil(mayGo, std::nullopt);
        }
        if (!m_state.IsConnected) {
            return none(CommandOutcome::Disconnected);
        }
        if (heldBeneath) {
            return none(CommandOutcome::Busy);
        }
    }
    m_holder = m_nextTurn++;
    return grant(m_holder);
}

void PhoneDialogue::endTurn(uint64_t turn) {
    if (m_holder == turn) {
        m_holder = 0;
        scheduleWaitingClick();
    }
}

std::string PhoneDialogue::SendCommand(const std::string& command, const std::string& completion,
                                       CommandOrigin origin) {
    CommandTurn turn = beginTurn(origin);
    if (!turn) {
        return {};
    }
    CommandOutcome outcome = CommandOutcome::Completed;
    return runCommand(m_holder, command, completion, m_replyLimitMs, &outcome, true);
}

std::string PhoneDialogue::turnSend(uint64_t turn, const std::string& command,
                                    const std::string& completion, int limitMs,
                                    CommandOutcome* outcome) {
    const int limit = limitMs == kLineLimit ? m_replyLimitMs : limitMs;
    return runCommand(turn, command, completion, limit, outcome, false);
}

void PhoneDialogue::turnWrite(uint64_t, const std::string& text) {
    if (m_state.IsConnected && !m_port.closing()) {
        m_port.writeText(text);
    }
}

void PhoneDialogue::pause(int ms) {
    const uint32_t deadline = platform::ClockMs() + uint32_t(std::max(ms, 0));
    waitUntil([&] { return after(platform::ClockMs(), deadline); }, deadline);
}

std::string PhoneDialogue::runCommand(uint64_t turn, const std::string& command,
                                      const std::string& completion, int limitMs,
                                      CommandOutcome* outcome, bool endsTurn) {
    // A command started inside a close (a timer's, run by the close's wait) would be
    // dropped unwritten and wait out its whole limit for an answer that cannot come.
    if (!m_state.IsConnected || m_port.closing()) {
        *outcome = m_lastOutcome = CommandOutcome::Disconnected;
        return {};
    }
    m_view.setLamp(LampColor::Green);
    Exchange e;
    e.turn = turn;
    e.endsTurn = endsTurn;
    e.command = command;
    m_state.ExpectedReply = completion;
    // What has come is dropped, but for a message or report the phone is still handing
    // over: the rest of it is on its way.
    const std::string_view tail = std::string_view(m_state.ReceiveBuffer)
                                      .substr(std::min(m_scanFrom, m_state.ReceiveBuffer.size()));
    m_state.ReceiveBuffer = mayBeUnsolicited(tail) ? std::string(tail) : std::string();
    m_scanFrom = 0;
    m_state.ReplyDone = false;
    // A failure left over from a command that had already timed out belongs to that one.
    m_state.ReplyFailed = false;

    struct Active {
        Exchange*& slot;
        Exchange* mine;
        ~Active() {
            if (slot == mine) {
                slot = nullptr;
            }
        }
    } active{m_active, &e};
    m_active = &e;

    // Before the write: a write that blocks on a full line counts against the limit.
    e.deadline = platform::ClockMs() + uint32_t(std::max(limitMs, 0));
    m_port.writeText(command);
    waitUntil([&e] { return e.settled; }, std::nullopt);
    *outcome = m_lastOutcome = e.outcome;
    // A ring ends a wait before the answer, which then comes later.
    m_answerMayBeLate = e.outcome == CommandOutcome::TimedOut ||
                        (e.outcome == CommandOutcome::Completed && !contains(e.reply, completion));
    if (e.outcome == CommandOutcome::TimedOut && m_state.IsConnected &&
        !m_port.probe(m_portNumber)) {
        // The device itself has gone (an unplugged phone, a closed line): the port layer
        // does not say so, and every further command would only run into the limit.
        m_port.setOpen(false);
    }
    return e.reply;
}

void PhoneDialogue::showFailure(const std::string& text) {
    m_view.setStatusPanel(1, text);
}

void PhoneDialogue::runWhenLineFree(std::function<void()> action) {
    if (!lineBusy()) {
        const Counted running(m_clicksRunning);
        action();
        return;
    }
    m_waitingClicks.push_back(std::move(action));
    scheduleWaitingClick();
}

void PhoneDialogue::dropWaitingClicks() {
    m_waitingClicks.clear();
}

void PhoneDialogue::scheduleWaitingClick() {
    if (m_clickScheduled || m_waitingClicks.empty() || m_holder != 0) {
        return;
    }
    m_clickScheduled = m_queue.post(m_handler, platform::Message{});
}

void PhoneDialogue::runWaitingClick() {
    m_clickScheduled = false;
    if (m_waitingClicks.empty() || m_holder != 0) {
        return;  // the holder's end schedules it again
    }
    std::function<void()> action = std::move(m_waitingClicks.front());
    m_waitingClicks.pop_front();
    {
        const Counted running(m_clicksRunning);
        action();
    }
    scheduleWaitingClick();
}

void PhoneDialogue::PhoneComPortTriggerAvail(uint16_t Count) {
    std::string& buffer = m_state.ReceiveBuffer;
    for (uint16_t i = 0; i < Count; ++i) {
        buffer.push_back(char(m_port.readChar()));
    }
    // Messages and reports the network hands over are no part of any reply.
    struct Discard : UnsolicitedSink {
        void messageRouted(const std::string&, int) override {}
        void messageStored(const std::string&, int) override {}
        void reportRouted(const std::string&, int) override {}
        void reportStored(const std::string&, int) override {}
    };
    static Discard discard;
    m_scanFrom =
        takeUnsolicited(buffer, m_scanFrom, m_unsolicited != nullptr ? *m_unsolicited : discard);
    // One still arriving is not looked into either (its sender's name could hold "> ").
    std::string_view reply = buffer;
    if (mayBeUnsolicited(reply.substr(m_scanFrom))) {
        reply = reply.substr(0, m_scanFrom);
    }
    if (contains(reply, kRing)) {
        m_state.ReplyDone = true;
        showIncomingCall(buffer);
    }
    if (!m_state.ReplyDone && (contains(reply, kErrorLine) || hasExtendedError(reply))) {
        m_state.ReplyFailed = true;
        m_state.ReplyDone = true;
    }
    if (!m_state.ReplyDone && !m_state.ExpectedReply.empty() &&
        contains(reply, m_state.ExpectedReply)) {
        m_state.ReplyDone = true;
    }
}

void PhoneDialogue::btnOpenClick() {
    if (m_state.IsConnected) {
        m_port.setOpen(false);
        m_view.clearInfoRows();
    } else {
        OpenPhonePort();
    }
}

void PhoneDialogue::OpenPhonePort() {
    // No selected item (-1) gives port 0, which never exists.
    const int number = m_view.portIndex() + 1;
    if (number > 0 && number <= 0xFFFF && m_port.probe(number)) {
        m_port.setComNumber(uint16_t(number));
        m_portNumber = number;
        m_port.setBaud(StrToInt(m_view.speedText()));
        m_port.setOpen(true);
    } else {
        m_view.setStatusPanel(1, std::string(texts::kNoPort));
    }
}

void PhoneDialogue::PhoneComPortPortOpen() {
    if (!m_port.writeAndWaitForText("ATE1\r", "OK", kHandshakeTicks, false, false)) {
        m_view.setStatusPanel(1, std::string(texts::kNoAnswer));
        m_port.setOpen(false);
        return;
    }
    m_state.IsConnected = true;
    ++m_connection;
    m_answerMayBeLate = false;
    m_signalErrorShown = m_batteryErrorShown = false;  // a new phone may be shown again
    m_view.setStatusPanel(0, std::string(texts::kConnectedPrefix) + m_view.portText());
    m_view.setConnectCaption(std::string(texts::kDisconnectCaption));
    try {
        QueryDeviceInfo();
    } catch (...) {
        // The failed handler makes the port layer close the port without its close
        // notification; put the window in the state that matches.
        PhoneComPortPortClose();
        throw;
    }
    // A disconnect clicked while the query waited has already closed the port.
    if (m_state.IsConnected) {
        m_view.setRefreshEnabled(true);
    }
}

void PhoneDialogue::PhoneComPortPortClose() {
    m_state.IsConnected = false;
    // A phonebook read asked of this phone must not start on the next one's first tick.
    m_state.PhonebookReading = false;
    m_view.setRefreshEnabled(false);
    m_view.setConnectCaption(std::string(texts::kConnectCaption));
    m_view.setSignalGauge(0);
    m_view.setBatteryGauge(0);
    m_view.setStatusPanel(0, std::string(texts::kDisconnected));
}

void PhoneDialogue::waitForPendingCommand(int limitMs) {
    if (!m_state.IsConnected) {
        return;
    }
    const uint32_t deadline = platform::ClockMs() + uint32_t(limitMs);
    waitUntil([&] { return !commandWaiting() || after(platform::ClockMs(), deadline); }, deadline);
}

}  // namespace phone
