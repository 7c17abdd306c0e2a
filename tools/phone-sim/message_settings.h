#pragma once
// How the simulated phone handles short messages that come to it: status reports for the
// messages it submitted and messages other phones send (3GPP TS 27.005 3.4, 3.5), and the
// record of what it did with each, so that tests can check, for example, that a message
// was read before it was deleted.

#include <set>
#include <string>
#include <vector>

namespace phonesim {

// What the network says about a submitted message.
enum class ReportOutcome { None, Delivered, Failed, PendingThenDelivered };

// Reports spoilt on purpose, for the program's handling of bad input.
enum class BrokenReport {
    None,
    NoPdu,      // +CDS: <length> and no PDU line after it
    Truncated,  // the PDU two octets short of the length given
    BadStatus,  // TP-ST 0xFF, which TS 23.040 leaves reserved
};

// The best way this phone can hand a report or a message over. AT+CNMI=? offers only the
// values that allow it, and the setting the program chooses can ask for less: a report
// the setting does not route is stored, as a phone does.
enum class Route {
    Routed,    // +CDS / +CMT with the PDU (and the stored forms below)
    Notified,  // stored, with a +CDSI / +CMTI notice (or stored silently)
    Stored,    // stored silently; only AT+CMGL finds it
};

struct IncomingText {
    std::string sender;  // "+905321234567", digits, or a sender name
    std::string text;    // UTF-8
};

struct MessageSettings {
    int service = 0;  // AT+CSMS: in service 1 every routed +CMT/+CDS needs AT+CNMA
    // Reports, only for messages whose SMS-SUBMIT asked for one, unless reportsUnasked.
    ReportOutcome reports = ReportOutcome::None;
    bool reportsUnasked = false;
    int reportDelayMs = 1000;  // after the submission (twice this for the final one of
                               // PendingThenDelivered)
    int failedStatus = 0x46;   // TP-ST of a failed delivery: validity period expired
    BrokenReport brokenReports = BrokenReport::None;
    Route reportRoute = Route::Routed;
    std::set<std::string> reportDuring;  // commands inside whose answer a pending report comes
    // Incoming messages: --incoming ones stored at start when their route is Stored,
    // otherwise arriving incomingDelayMs after the first command of the line.
    std::vector<IncomingText> incoming;
    Route incomingRoute = Route::Routed;
    int incomingDelayMs = 1000;
    std::set<std::string> incomingDuring;  // commands inside whose answer a message comes
    std::vector<int> partsOrder;           // e.g. {2, 1, 3}; parts not named follow in order
    bool turkishShift = false;             // Turkish letters in 7 bits with the shift tables
    int storageSize = 30;                  // locations of "SM"; full, a message waits
    // AT+CNMI: the setting at start ("mode,mt,bm,ds,bfr"), and refusals.
    std::string cnmi = "0,0,0,0,0";
    bool refuseCnmi = false;            // every AT+CNMI=... gets +CMS ERROR: 303
    std::set<std::string> refusedCnmi;  // these values ("2,1,0,1,0") get it
    int ackTimeoutMs = 10000;           // service 1: no AT+CNMA within this, sent again ...
    int resends = 2;                    // ... this many times, then stored
};

// One step in the life of a report or an incoming message in the phone.
struct SmsEvent {
    enum class Kind {
        Stored,        // put into the storage, at `index`
        Waiting,       // the storage is full: it waits until a location is free
        Routed,        // +CDS / +CMT sent with the PDU
        Notified,      // +CDSI / +CMTI sent for `index`
        Acknowledged,  // AT+CNMA for the routed one
        Resent,        // not acknowledged in time: sent again
        RoutingOff,    // never acknowledged: routing switched off (mt and ds 0), as TS
                       // 27.005 3.4.1 asks; the message is then stored
        Listed,        // AT+CMGL gave `index`
        Read,          // AT+CMGR gave `index`
        Deleted,       // AT+CMGD removed `index`
        Refused,       // a setting refused (detail: the command)
    };
    Kind kind = Kind::Stored;
    bool report = false;  // a status report, else an SMS-DELIVER (or neither, for Refused)
    int index = 0;        // storage location, 0 where none
    std::string detail;   // what it is: "report #7 to +9053..., status 0x00", "from ...: text"
};

const char* kindName(SmsEvent::Kind kind);
// One line for the terminal: "stored 3: report #7 to +905321234567, status 0x00".
std::string describe(const SmsEvent& event);

}  // namespace phonesim
