#pragma once
// Fields of the PDUs a phone hands over in PDU mode (3GPP TS 23.040), as the decoders of
// received messages and status reports give them.

#include <ctime>
#include <optional>
#include <string>

#include "sms/gsm_alphabet.h"

namespace sms {

enum class AddressKind {
    International,  // type of number 001: text starts with '+'
    National,       // type of number 010
    Alphanumeric,   // type of number 101: a sender name packed in 7 bits
    Other,          // unknown, network specific, subscriber, abbreviated: digits as sent
};

struct SmsAddress {
    AddressKind kind = AddressKind::Other;
    unsigned char typeOfAddress = 0;  // the octet as sent, e.g. 0x91
    // Digits ('*', '#', 'a', 'b', 'c' for the semi-octets A to E) with '+' in front of an
    // international number, or the sender name. Empty when the field holds no digits.
    std::u16string text;
};

// A time stamp of 3GPP TS 23.040 9.2.3.11: the sender's local time and its zone.
struct SmsTimestamp {
    int year = 2000;  // 2000-2099: the field carries two digits
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int zoneQuarters = 0;  // local time minus UTC, in quarters of an hour (-79..79)

    // "2026-12-10T14:05:09+03:00": the local fields with their zone.
    std::string iso8601() const;
    // The same moment in seconds since 1970 (UTC): the local fields less the zone.
    std::time_t utcTime() const;

    friend bool operator==(const SmsTimestamp&, const SmsTimestamp&) = default;
};

// One part of a concatenated message (information element 0x00 or 0x08).
struct Concatenation {
    int reference = 0;  // 0-255, or 0-65535 for the 16-bit element
    int total = 0;      // 1-255
    int sequence = 0;   // 1-total
    bool wideReference = false;

    friend bool operator==(const Concatenation&, const Concatenation&) = default;
};

// TP-DCS, TP-UDL and TP-UD read together.
struct UserDataContent {
    unsigned char dataCoding = 0;        // TP-DCS as sent
    SmsCoding coding = SmsCoding::Gsm7;  // Gsm7, Data8 or Ucs2
    int messageClass = -1;               // 0-3, or -1 when the scheme names none
    std::optional<Concatenation> concatenation;
    int lockingShift = 0;  // national language of the locking shift (1 Turkish), 0 none
    int singleShift = 0;   // national language of the single shift, 0 none
    // The text; 8-bit data as upper-case hexadecimal digits, two per octet. A part of a
    // concatenated UCS-2 message may begin or end with half of a surrogate pair that the
    // sender cut; the parts joined in order make it whole.
    std::u16string text;
};

}  // namespace sms
