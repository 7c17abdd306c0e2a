#pragma once
// The PDUs a phone hands to the program in PDU mode (3GPP TS 27.005 3.1): an incoming
// message as SMS-DELIVER (TS 23.040 9.2.2.1), cut into concatenated parts when it is
// long, and a status report as SMS-STATUS-REPORT (9.2.2.3), as upper-case hexadecimal
// digits with the service-centre field first. Written from the standards for the
// simulator alone.

#include <string>
#include <vector>

namespace phonesim {

// A time stamp (TS 23.040 9.2.3.11): local time and its zone in quarters of an hour.
struct PduTime {
    int year = 2026;  // 2000-2099
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int zoneQuarters = 12;  // +03:00, Turkey
};

// One PDU and the length a phone gives before it (+CMT: ,<length>, +CDS: <length>,
// +CMGR: <stat>,,<length>): its octets after the service-centre field.
struct BuiltPdu {
    std::string hex;
    int tpduLength = 0;
};

struct IncomingMessage {
    std::string serviceCentre = "+905320000000";  // empty: the field names none
    // "+905321234567" (international), digits (unknown type of number), or a sender name
    // of up to 11 characters of the default alphabet (alphanumeric).
    std::string sender;
    std::string text;  // UTF-8
    PduTime time;
    // Send letters of the Turkish tables (ç ğ ı İ ş Ş ...) in 7 bits with the locking and
    // single shift elements, as Turkish phones do; otherwise such a text goes as UCS-2.
    bool turkishShift = false;
};

// The parts of `message` in order, each a whole SMS-DELIVER: one part when the text fits
// 160 septets (70 UCS-2 units), else parts under `reference` with the 8-bit concatenation
// element, never cutting an escape pair or a surrogate pair. Empty when the sender cannot
// be written as an address or the text needs more than 255 parts.
std::vector<BuiltPdu> buildDeliver(const IncomingMessage& message, int reference);

struct StatusReport {
    std::string serviceCentre = "+905320000000";
    int messageReference = 0;  // TP-MR of the submitted message
    std::string recipient;     // as the destination was given: "+90...", or digits
    PduTime submitted;         // TP-SCTS
    PduTime discharged;        // TP-DT
    int status = 0;            // TP-ST, e.g. 0x00 delivered, 0x43 not obtainable
};

// The report; an empty hex when the recipient cannot be written as an address.
BuiltPdu buildStatusReport(const StatusReport& report);

}  // namespace phonesim
