#pragma once
// The dialogue with the phone: one AT command at a time with its reply collected from
// the data-available event, and the connection (connect button, ATE1 handshake, close).
//
// Everything runs on the user-interface thread. Waits process the thread's messages, so
// timer ticks and clicks run inside them. The line is shared in turns: a command, or a
// few that belong together, hold the line from the first write to the last reply.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "phone/command_line.h"
#include "phone/phone_state.h"
#include "platform/message_queue.h"

namespace phone {

class PhonePort;
class PhoneView;
class UnsolicitedSink;

class PhoneDialogue : public CommandLine {
public:
    PhoneDialogue(PhoneView& view, PhonePort& port, platform::MessageQueue& queue);
    virtual ~PhoneDialogue();
    PhoneDialogue(const PhoneDialogue&) = delete;
    PhoneDialogue& operator=(const PhoneDialogue&) = delete;

    PhoneState& state() { return m_state; }
    const PhoneState& state() const { return m_state; }

    // A turn on the line. User: waits, processing messages, until no other turn holds
    // the line and the clicks that came earlier (runWhenLineFree) have had theirs. Poll:
    // skipped when the line is busy. The turn is empty when not connected, skipped, or
    // started inside an unfinished turn's wait (lastOutcome says which).
    CommandTurn beginTurn(CommandOrigin origin = CommandOrigin::User) override;

    bool connected() const override { return m_state.IsConnected; }
    uint64_t connection() const override { return m_connection; }
    bool answerMayBeLate() const override { return m_answerMayBeLate; }
    // Processes messages for `ms`, as the waits do.
    void pause(int ms) override;

    // A one-command turn: writes `command` (with its final CR) and waits until the
    // receive handler has seen `completion`, an error line or a ring, or the reply limit
    // has passed; returns what was received for this command. Not connected: returns an
    // empty text at once and writes nothing. The line is free again as soon as the
    // reply is in. A command that runs into the limit on a port whose device has gone
    // closes the port.
    std::string SendCommand(const std::string& command, const std::string& completion,
                            CommandOrigin origin = CommandOrigin::User);
    CommandOutcome lastOutcome() const { return m_lastOutcome; }
    // Whether a command is on the line and its wait has not ended.
    bool commandWaiting() const;
    // Whether a turn holds the line or clicks wait for it.
    bool lineBusy() const;

    // Runs `action` (a click that talks to the phone) now when the line is free, or else
    // once every turn and every click before it has had its turn, in the order of the
    // clicks. A click inside a wait cannot wait there for the turn beneath it to end:
    // that turn goes on only when the click has returned.
    void runWhenLineFree(std::function<void()> action);
    // Forgets the clicks still waiting for the line (the window is closing).
    void dropWaitingClicks();

    // The limit of every command sent without a limit of its own (2000 ms). Tests
    // shorten it rather than wait for it.
    void setReplyLimitMs(int ms) { m_replyLimitMs = ms; }
    int replyLimitMs() const { return m_replyLimitMs; }

    // Where the messages and status reports that the phone hands over unasked go (null:
    // nowhere). They are taken out of the received text whatever the sink.
    void setUnsolicitedSink(UnsolicitedSink* sink) { m_unsolicited = sink; }

    // While set, an error line ends a command as Failed without "... Telefon Tarafından
    // Desteklenmiyor !" in panel 1: for probes whose refusal is an answer (the AT+CNMI
    // values a phone may or may not take). Set it only while holding the line.
    void setFailuresQuiet(bool quiet) { m_failuresQuiet = quiet; }
    // Panel 1, the last failure, for those who talk to the phone through the dialogue.
    void showFailure(const std::string& text);

    // OnTriggerAvail of PhoneComPort: `Count` characters can be read.
    void PhoneComPortTriggerAvail(uint16_t Count);

    // The connect button (btnOpen, Tag 23): disconnect when connected, else connect.
    void btnOpenClick();
    void OpenPhonePort();
    // OnPortOpen: the ATE1 handshake and what follows it.
    void PhoneComPortPortOpen();
    // OnPortClose: the window back to the disconnected state.
    void PhoneComPortPortClose();

    // Asks the phone who it is, once per successful handshake: fourteen commands, each
    // reply but that to AT+CLIP=1 parsed.
    virtual void QueryDeviceInfo();
    // The general reply parser: rows of the device information, the gauges, the make
    // label, the start of a phonebook read; the lamp to red at its end. A reply cut short
    // adds no row for the line it lacks. A signal or battery field that is not a number
    // goes to the error box, once until that gauge reads well again.
    void ParseReply(const std::string& reply);

    // tiRefresh: the phonebook read when one is asked for, else the signal and the
    // battery in turn. A tick that finds the line busy does neither and asks again next.
    void tiRefreshTimer();
    // What the tick runs while PhonebookReading is set.
    void setPhonebookReader(std::function<void()> reader) { m_phonebookReader = std::move(reader); }
    // tiClear: the call notice and the caller's number go.
    void tiClearTimer();
    // Label3 from the caller identification in `text`, when it holds a whole one.
    void ShowCallerNumber(const std::string& text);

    // The wait of the window's close: processes messages until no command waits, at
    // most `limitMs`. Returns at once when not connected.
    void waitForPendingCommand(int limitMs = kReplyLimitMs);

protected:
    // The incoming-call display, run on the receive buffer when it holds a ring.
    virtual void showIncomingCall(const std::string& buffer);

    PhoneView& view() { return m_view; }
    PhonePort& port() { return m_port; }

private:
    struct Exchange;

    std::string turnSend(uint64_t turn, const std::string& command, const std::string& completion,
                         int limitMs, CommandOutcome* outcome) override;
    void turnWrite(uint64_t turn, const std::string& text) override;
    void endTurn(uint64_t turn) override;
    // One command of turn `turn`; the outcome goes to *outcome. `endsTurn`: the turn is
    // over as soon as this reply is in (SendCommand).
    std::string runCommand(uint64_t turn, const std::string& command, const std::string& completion,
                           int limitMs, CommandOutcome* outcome, bool endsTurn);
    // Lets the first waiting click run, later, from the message queue.
    void scheduleWaitingClick();
    void runWaitingClick();
    // Ends the wait of the command on the line if its reply, an error line, the close
    // of the port or its time limit has come; every waiting loop calls it.
    void settleActive();
    // A wait: process the pending messages, settle the command on the line, test
    // `done`; sleep on the queue until a message comes or the command's deadline or
    // `wakeBy` (ClockMs) passes, and again.
    void waitUntil(const std::function<bool()>& done, std::optional<uint32_t> wakeBy);

    PhoneView& m_view;
    PhonePort& m_port;
    platform::MessageQueue& m_queue;
    PhoneState m_state;
    // The command on the line, while its wait runs; null otherwise.
    Exchange* m_active = nullptr;
    CommandOutcome m_lastOutcome = CommandOutcome::Disconnected;
    int m_replyLimitMs = kReplyLimitMs;
    // The port number of the last open.
    int m_portNumber = 0;
    // Counts the successful handshakes.
    uint64_t m_connection = 0;
    // The last command written ended by its limit or by a ring before its completion.
    bool m_answerMayBeLate = false;
    // The turn holding the line (0: none), and the number of the next one.
    uint64_t m_holder = 0;
    uint64_t m_nextTurn = 1;
    // User starts waiting for the line inside some wait.
    int m_waiters = 0;
    // Clicks waiting for the line, oldest first, and whether a run is on the queue.
    std::deque<std::function<void()>> m_waitingClicks;
    bool m_clickScheduled = false;
    // Clicks running now: their own turns go before the clicks that came after them.
    int m_clicksRunning = 0;
    platform::HandlerId m_handler = platform::kNoHandler;
    UnsolicitedSink* m_unsolicited = nullptr;
    bool m_failuresQuiet = false;
    // Where the first line of the receive buffer not yet ended begins: unsolicited
    // results before it have been taken out.
    size_t m_scanFrom = 0;
    // The hidden scratch text that carries reply text from one reply to the next; its
    // lines are separated by CR LF.
    std::string m_scratch;
    // A bad signal or battery field has been shown; the next one is not, until a good one.
    bool m_signalErrorShown = false;
    bool m_batteryErrorShown = false;
    std::function<void()> m_phonebookReader;
};

}  // namespace phone
