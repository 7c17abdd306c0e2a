#pragma once
// Reception of what the phone hands over: status reports of the messages we sent and
// the messages customers send us (3GPP TS 27.005 3.4.1, 3.4.2, 3.4.3).
//
// After the identity query of a connection, connected() asks the phone how it delivers
// them (AT+CSMS?, AT+CPMS?, AT+CNMI=?), chooses the AT+CNMI values from what it lists
// (routed first, then stored with a notice), switches to PDU mode and reads what the
// phone already holds (AT+CMGL=4). Every PDU is handed to a ReceivedKeeper and only
// once it is kept is it acknowledged (AT+CNMA, where the service is +CSMS 1) or deleted
// (AT+CMGD). One that could not be kept stays in the phone and is read again later.
//
// Everything runs on the thread of the dialogue's message queue. Routed PDUs and notices
// arrive inside the data handler, which must not wait: their work is posted, one item a
// step. A routed PDU is kept on the next step, even while a command waits (a "RET" is on
// the opt-out list before the submission it came in has ended); what needs the phone
// (AT+CNMA, AT+CMGR, AT+CMGD) runs when the line is free, never inside another turn.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "phone/command_line.h"
#include "phone/stored_messages.h"
#include "phone/unsolicited.h"
#include "platform/message_queue.h"

namespace phone {

class PhoneDialogue;

// Where received PDUs are kept (the database). `pduHex` as the phone gave it, with its
// service-centre field; `tpduLength` the length the phone named (-1 when none). Each
// returns only once the PDU is committed; false, with a Windows-1254 reason in `error`,
// when it could not be kept: the phone then keeps it (not acknowledged, not deleted).
class ReceivedKeeper {
public:
    virtual ~ReceivedKeeper() = default;
    virtual bool keepMessage(const std::string& pduHex, int tpduLength, std::string& error) = 0;
    virtual bool keepReport(const std::string& pduHex, int tpduLength, std::string& error) = 0;
};

// How the phone hands over one kind (reports, or messages).
enum class ReceiveRoute {
    Unknown,  // not set up yet on this connection (or not connected)
    Routed,   // +CDS / +CMT with the PDU
    Stored,   // +CDSI / +CMTI notices, then AT+CMGR
    Polled,   // no way of being told: AT+CMGL=4 on every refresh tick
    None,     // not even the stored ones can be listed: nothing comes in
};

class MessageReceiver : public UnsolicitedSink {
public:
    // Installs itself as the dialogue's unsolicited sink (and removes itself when
    // destroyed). `queue` is the dialogue's message queue.
    MessageReceiver(PhoneDialogue& dialogue, platform::MessageQueue& queue, ReceivedKeeper& keeper);
    ~MessageReceiver() override;
    MessageReceiver(const MessageReceiver&) = delete;
    MessageReceiver& operator=(const MessageReceiver&) = delete;

    // Once the identity query of a connection is done: sets up reception and reads what
    // the phone holds (the keeping and deleting go on in steps after it returns).
    void connected();
    // Every refresh tick: where the phone cannot tell us, lists what it holds (a poll
    // turn, skipped when the line is busy); a PDU that could not be kept is read again.
    void poll();

    ReceiveRoute reportRoute() const { return m_reportRoute; }
    ReceiveRoute messageRoute() const { return m_messageRoute; }
    // The phone's message service (+CSMS): 1 wants every routed PDU acknowledged.
    int messageService() const { return m_service; }
    // The storage that AT+CMGL, AT+CMGR and AT+CMGD work on ("SM", "ME" ...), as
    // AT+CPMS? named it; empty when not known.
    const std::string& storage() const { return m_storage; }
    // The AT+CNMI values set, e.g. "2,2,0,1,0"; empty when none was accepted.
    const std::string& notificationSetting() const { return m_cnmi; }

    // Whether no work is waiting (for tests and the command-line tool, which wait
    // for everything received to be kept and deleted).
    bool idle() const;
    // How many PDUs could not be kept since the receiver was made, and the last reason.
    int keepFailures() const { return m_keepFailures; }
    const std::string& lastKeepError() const { return m_lastKeepError; }
    // Called with the reason (Windows-1254) when a PDU could not be kept.
    std::function<void(const std::string& reason)> onKeepFailed;

    // UnsolicitedSink: called inside the data handler; each only posts its work.
    void messageRouted(const std::string& pduHex, int tpduLength) override;
    void messageStored(const std::string& mem, int index) override;
    void reportRouted(const std::string& pduHex, int tpduLength) override;
    void reportStored(const std::string& mem, int index) override;

private:
    enum class Kind { Message, Report };
    // A PDU routed to us: in memory only until it is kept.
    struct Routed {
        Kind kind = Kind::Message;
        std::string pduHex;
        int tpduLength = -1;      // as the +CMT or +CDS line gave it
        uint64_t connection = 0;  // the connection an acknowledgement belongs to
        bool retried = false;     // kept too late to be acknowledged
    };
    // A location of the phone's storage to be read (a notice) or kept and deleted (listed).
    struct Stored {
        Kind kind = Kind::Message;
        std::string mem;
        int index = -1;
        StoredPdu listed;  // the listed PDU; empty pduHex for a notice
        uint64_t connection = 0;
    };

    void setUp();
    // AT+CMGL=4 and every received item of it queued; false when the phone refused.
    bool listStored(CommandTurn& turn);
    void queueStored(Stored item);
    void scheduleStep();
    void runStep();
    void keepRouted(Routed item);
    void doStored(const Stored& item);
    bool keep(Kind kind, const std::string& pduHex, int tpduLength);
    void acknowledge(uint64_t connection);

    PhoneDialogue& m_dialogue;
    platform::MessageQueue& m_queue;
    ReceivedKeeper& m_keeper;
    platform::HandlerId m_handler = platform::kNoHandler;
    // Work handed to the line holds a weak copy: it does nothing once the receiver is gone.
    std::shared_ptr<MessageReceiver*> m_self;

    // All fields: the queue's thread only.
    uint64_t m_connection = 0;  // the connection set up; 0 none
    ReceiveRoute m_reportRoute = ReceiveRoute::Unknown;
    ReceiveRoute m_messageRoute = ReceiveRoute::Unknown;
    int m_service = 0;
    std::string m_storage;
    std::string m_cnmi;
    std::deque<Routed> m_routed;  // not yet kept, oldest first
    std::deque<Routed> m_unkept;  // could not be kept: tried again on the poll
    std::deque<Stored> m_stored;  // locations to do, oldest first
    // Locations queued and not yet done (storage, index): never queued twice.
    std::set<std::pair<std::string, int>> m_queued;
    bool m_stepPosted = false;  // a step is on the message queue
    bool m_lineAsked = false;   // a stored item waits for the line, or is being done
    int m_acksWaiting = 0;      // acknowledgements waiting for the line
    bool m_listAgain = false;   // something stays in the phone: list it on the next poll
    int m_keepFailures = 0;
    std::string m_lastKeepError;
};

}  // namespace phone
