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
    int capacity = 100;  // locations 1..capacity (from Faults::firstLocation on)
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
    // After accepting this many messages (0: never): the next PDU closes the line unanswered,
    // as a phone unplugged while the network takes a message ...
    int hangUpAfterMessages = 0;
    // ... or every further PDU is answered "+CMS ERROR: 332" (network timeout).
    int networkErrorAfter = 0;
    // Sending. A phone that is still submitting one message answers a further AT+CMGS
    // with "+CMS ERROR: 302".
    int submitDelayMs = 0;      // before the answer to a PDU: the network accepting it
    bool silentPrompt = false;  // AT+CMGS waits for the PDU without sending "> "
    // A prompt left without its PDU for this long is given up, as a phone does when the
    // program that asked went away; 0: it waits for ever.
    int promptTimeoutMs = 0;
    bool textMode = false;       // starts in text mode (AT+CMGF=1), and is back in it at
                                 // every ATE1: each connection finds it so, as a phone
                                 // that another program used in between
    bool simPin = false;         // the SIM wants its PIN: nothing can be sent
    bool notRegistered = false;  // no network: messages are refused

    // Phonebook and character set.
    std::set<std::string> silentOnceFor;        // echoed and left unanswered the first time only
    std::map<int, std::string> urcBeforeEntry;  // location -> an unsolicited line ("^RSSI: 3",
                                                // "+CMTI: \"SM\",4", "RING") before its entry
    bool rangeWithBlanks = false;               // AT+CPBR=? answers "(1 - 100)"
    int firstLocation = 1;                      // the phonebooks count from here (0 on some phones)
    bool ucs2 = false;           // starts in AT+CSCS="UCS2": numbers and names as UCS2 hex
    bool ucs2Insisting = false;  // ... and refuses to leave it ("+CME ERROR: 4")

    // A SIM that is slow after power-up, and answers that come late.
    int cpinDelayMs = 0;            // before the answer to AT+CPIN?
    bool simBusyOnce = false;       // the first AT+CPIN? gets "+CME ERROR: 14" (SIM busy)
    std::set<std::string> lateFor;  // echoed at once, answered lateMs later, out of turn:
    int lateMs = 2500;              // answers to later commands do not wait for it
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
