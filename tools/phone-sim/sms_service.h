#pragma once
// The receiving side of the simulated phone's SMS service (3GPP TS 27.005): the commands
// AT+CSMS, AT+CNMI, AT+CNMA, AT+CPMS, AT+CMGL, AT+CMGR and AT+CMGD in PDU mode, the
// status reports for submitted messages, and incoming messages, each handed over the way
// the AT+CNMI setting asks: routed (+CDS, +CMT), stored with a notice (+CDSI, +CMTI) or
// stored silently. Without I/O, like Modem, which owns it; times come in as arguments.

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "tools/phone-sim/message_settings.h"
#include "tools/phone-sim/message_store.h"
#include "tools/phone-sim/received_pdu.h"
#include "tools/phone-sim/submit_pdu.h"

namespace phonesim {

class SmsService {
public:
    using Clock = std::chrono::steady_clock;

    struct Answer {
        std::string info;   // information text, framed
        std::string final;  // "\r\nOK\r\n" or an error, framed
    };

    SmsService(MessageSettings settings, std::string serviceCentre);

    // The answer to a command of this service (`u`: after "AT", upper case outside
    // quotes), or nothing when it is not one.
    std::optional<Answer> command(const std::string& u, bool textMode, bool simLocked,
                                  Clock::time_point now);
    // A message was accepted with `reference`: its reports, if any, are on their way.
    void submitted(int reference, const SubmitPdu& pdu, Clock::time_point now);
    // A message from another phone arrives at `due` (none: held until lineInUse()), in
    // parts when it is long. False when the sender cannot be written as an address or the
    // text is too long.
    bool incoming(const IncomingText& message, std::optional<Clock::time_point> due);
    // The program has started talking: the --incoming messages held for it are due soon.
    void lineInUse(Clock::time_point now);

    // The text of what has come due by `now` (routed lines, notices; nothing for a message
    // stored silently), and of the acknowledgements that ran out.
    std::string due(Clock::time_point now);
    // Like due(), for the earliest pending report or message whatever its time: one that
    // comes in the middle of a command's answer.
    std::string arriveNow(bool report, Clock::time_point now);
    // When due() next has something to do.
    std::optional<Clock::time_point> nextDue() const;

    const std::vector<SmsEvent>& events() const { return m_events; }
    std::vector<StoredMessage> stored() const { return m_store.all(); }

private:
    struct Arrival {
        bool report = false;
        BuiltPdu pdu;
        std::string summary;
        std::optional<Clock::time_point> due;  // none: waits for lineInUse()
        int resends = 0;
    };
    struct Cnmi {
        int mode = 0, mt = 0, bm = 0, ds = 0, bfr = 0;
    };

    std::string handle(Arrival arrival, Clock::time_point now);
    std::string route(Arrival arrival, Clock::time_point now);
    static std::string routedText(const Arrival& arrival);
    std::string store(Arrival arrival, bool notify);
    void schedule(Arrival arrival);
    void freed(Clock::time_point now);  // locations became free: waiting ones come
    Answer cnmiCommand(const std::string& args);
    Answer listCommand(const std::string& args);
    Answer readCommand(const std::string& args);
    Answer deleteCommand(const std::string& args, Clock::time_point now);
    Answer acknowledge(const std::string& args, Clock::time_point now);
    std::optional<Cnmi> parseCnmi(const std::string& args) const;
    bool allowed(const Cnmi& c) const;
    std::string cnmiRanges() const;
    void record(SmsEvent::Kind kind, bool report, int index, std::string detail);

    MessageSettings m_settings;
    std::string m_serviceCentre;
    MessageStore m_store;
    Cnmi m_cnmi;
    int m_service = 0;
    int m_nextConcatenation = 1;
    std::vector<Arrival> m_arrivals;  // in the order they came
    std::deque<Arrival> m_waiting;    // for a free location
    // Service 1: the routed one waiting for AT+CNMA, and the ones routed after it.
    std::optional<Arrival> m_unacknowledged;
    Clock::time_point m_resendAt{};
    std::deque<Arrival> m_behindAck;
    std::vector<SmsEvent> m_events;
};

}  // namespace phonesim
