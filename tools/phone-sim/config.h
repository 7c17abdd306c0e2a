#pragma once
// What the simulated phone knows and how it misbehaves. Every value has a default that
// makes a plausible phone, so `Config{}` is ready for a demonstration.

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/phone-sim/message_settings.h"
#include "tools/phone-sim/submit_pdu.h"

namespace phonesim {

// Texts here (identity, operator, phonebook names) are UTF-8; the phone sends them in
// code page 1254, as a phone on this program's line does.
struct PhonebookEntry {
    int index = 0;
    std::string number;
    int type = 129;    // 145 for a number with a leading '+'
    std::string text;  // sent as it is, between double quotes
};

struct Phonebook {
    int capacity = 100;  // locations 1..capacity
    std::vector<PhonebookEntry> entries;
};

// Faults for tests. A "command" below is the command line without its CR, compared
// ignoring letter case, either whole ("AT+CPBR=?") or by its name, the text before the
// first '=' or '?' ("AT+CPBR" matches AT+CPBR=?, AT+CPBR=1 ...).
struct Faults {
    bool echoOff = false;                 // no echo, whatever ATE1 says
    bool lowerCaseOk = false;             // "ok" in place of the final "OK"
    std::set<std::string> errorFor;       // answered with ERROR
    std::set<std::string> silentFor;      // echoed, then never answered
    std::set<std::string> ringDuring;     // a ring between the information text and the result
    int delayMs = 0;                      // before every answer (the echo is not delayed)
    std::size_t pieceSize = 0;            // answers cut into pieces of this many bytes; 0: whole
    int pieceGapMs = 20;                  // pause between two pieces
    std::set<std::string> refuseNumbers;  // messages to these destinations (exact, '+' included)
    int refuseCode = 21;                  // ... get "+CMS ERROR: <refuseCode>"
    int hangUpAfter = 0;                  // hang up after answering this many commands; 0: never
    // Sending. A phone that is still submitting one message answers a further AT+CMGS
    // with "+CMS ERROR: 302".
    int submitDelayMs = 0;       // before the answer to a PDU: the network accepting it
    bool silentPrompt = false;   // AT+CMGS waits for the PDU without sending "> "
    bool textMode = false;       // starts in text mode (AT+CMGF=1)
    bool simPin = false;         // the SIM wants its PIN: nothing can be sent
    bool notRegistered = false;  // no network: messages are refused
};

struct AcceptedMessage {
    int reference = 0;       // the reference answered with +CMGS
    int declaredLength = 0;  // the length given with AT+CMGS
    std::string pduHex;      // the PDU as received
    SubmitPdu pdu;           // destination, coding, text ... (submit_pdu.h)
};

struct Config {
    std::string manufacturer = "PHONESIM";        // AT+CGMI
    std::string model = "PS-100";                 // AT+CGMM, AT+GMM
    std::string revision = "1.0.1";               // AT+CGMR, AT+GMR
    std::string imei = "490154203237518";         // AT+CGSN
    std::string imsi = "286011234567890";         // AT+CIMI
    std::string operatorName = "PHONESIM NET";    // AT+COPS?; empty: no network
    std::string simId = "8990011234567890123";    // AT^SCID
    std::string serviceCentre = "+905320000000";  // AT+CSCA?
    int serviceCentreType = 145;
    int signal = 20;  // AT+CSQ: 0..31, 99 not known
    int bitErrorRate = 99;
    int chargeState = 0;                         // AT+CBC: 0 on battery, 1 charging ...
    int charge = 80;                             // per cent
    std::string callerNumber = "+905321112233";  // the number a ring reports
    std::string phonebook = "SM";                // selected at start
    std::map<std::string, Phonebook> phonebooks = {
        {"ME",
         {100,
          {{1, "+905321112233", 145, "Ali Veli"},
           {2, "02125556677", 129, "Ofis, santral"},
           {3, "+905337778899", 145, "Mehmet Bey"}}}},
        {"SM", {50, {{1, "+905051234567", 145, "Fatma Hanim"}, {2, "05443332211", 129, "Eve"}}}},
    };
    Faults faults;
    MessageSettings messaging;  // reports, incoming messages, storage (message_settings.h)

    // Observers, called on the simulator's thread as the record grows (may be empty).
    std::function<void(const std::string& command)> onCommand;
    std::function<void(const AcceptedMessage& message)> onMessage;
    std::function<void(const std::string& why)> onRefusal;
    std::function<void(const SmsEvent& event)> onSmsEvent;
};

}  // namespace phonesim
