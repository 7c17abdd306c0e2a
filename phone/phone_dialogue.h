#pragma once
// The dialogue with the phone: one AT command at a time with its reply collected from
// the data-available event, and the connection (connect button, ATE1 handshake, close).
//
// Everything runs on the user-interface thread. Waits process the thread's messages, so
// timer ticks and clicks run inside them; the rules for a command started inside
// another one's wait are those of SendCommand below.

#include <cstdint>
#include <functional>
#include <string>

#include "phone/phone_state.h"

namespace platform {
class MessageQueue;
}

namespace phone {

class PhonePort;
class PhoneView;

// Who starts a command, which decides what happens when another command is waiting.
enum class CommandOrigin {
    User,  // a click or an operation the user started: waits its turn
    Poll,  // a timer tick: skipped, the next tick asks again
};

// How the last SendCommand ended.
enum class CommandOutcome {
    Completed,     // completion text or ring
    Failed,        // error line: "... Telefon Tarafından Desteklenmiyor !" in panel 1
    TimedOut,      // 2000 ms without completion: "Zaman Aşımı" in panel 1
    Disconnected,  // not connected, or the port closed during the wait
    Skipped,       // a poll while another command was waiting: nothing written
};

class PhoneDialogue {
public:
    static constexpr int kReplyLimitMs = 2000;

    PhoneDialogue(PhoneView& view, PhonePort& port, platform::MessageQueue& queue);
    virtual ~PhoneDialogue();
    PhoneDialogue(const PhoneDialogue&) = delete;
    PhoneDialogue& operator=(const PhoneDialogue&) = delete;

    PhoneState& state() { return m_state; }
    const PhoneState& state() const { return m_state; }

    // Writes `command` (with its final CR) and waits, processing messages, until the
    // receive handler has seen `completion`, an error line or a ring, or 2000 ms have
    // passed; returns what was received for this command. Not connected: returns an
    // empty text at once and writes nothing. A command that runs into the limit on a
    // port whose device has gone closes the port.
    //
    // A command started while another one waits never takes that command's reply: a
    // user's command waits until the other one has ended (its reply is put aside for
    // it) and then runs; a poll is skipped.
    std::string SendCommand(const std::string& command, const std::string& completion,
                            CommandOrigin origin = CommandOrigin::User);
    CommandOutcome lastOutcome() const { return m_lastOutcome; }
    // Whether a command is on the line and its wait has not ended.
    bool commandWaiting() const;

    // OnTriggerAvail of PhoneComPort: `Count` characters can be read.
    void PhoneComPortTriggerAvail(uint16_t Count);

    // The connect button (btnOpen, Tag 23): disconnect when connected, else connect.
    void btnOpenClick();
    void OpenPhonePort();
    // OnPortOpen: the ATE1 handshake and what follows it.
    void PhoneComPortPortOpen();
    // OnPortClose: the window back to the disconnected state.
    void PhoneComPortPortClose();

    // The wait of the window's close: processes messages until no command waits, at
    // most `limitMs`. Returns at once when not connected.
    void waitForPendingCommand(int limitMs = kReplyLimitMs);

protected:
    // Reads the phone's identity after a successful handshake. Nothing yet.
    virtual void QueryDeviceInfo();
    // The incoming-call display, run on the receive buffer when it holds a ring.
    virtual void showIncomingCall(const std::string& buffer);

    PhoneView& view() { return m_view; }
    PhonePort& port() { return m_port; }

private:
    struct Exchange;

    // Ends the wait of the command on the line if its reply, an error line, the close
    // of the port or its time limit has come; every waiting loop calls it.
    void settleActive();
    // A wait: process the pending messages, settle the command on the line, test
    // `done`, sleep 1 ms, and again.
    void waitUntil(const std::function<bool()>& done);

    PhoneView& m_view;
    PhonePort& m_port;
    platform::MessageQueue& m_queue;
    PhoneState m_state;
    // The command on the line, while its SendCommand runs; null otherwise.
    Exchange* m_active = nullptr;
    CommandOutcome m_lastOutcome = CommandOutcome::Disconnected;
    // The port number of the last open.
    int m_portNumber = 0;
};

}  // namespace phone
