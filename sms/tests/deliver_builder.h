#pragma once
// Test helper: the SMS-DELIVER a recipient's phone would give for an SMS-SUBMIT of our
// encoder. The user data (coding, header, packing) is taken over unchanged; the first
// octet, the addresses and the time stamp are what a network puts in their place.

#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace sms::test {

// Service centre +905320000000, sender +905321234567, sent 2026-12-01 14:05:00 +03:00.
inline constexpr const char* kServiceCentreField = "0791093502000000";
inline constexpr const char* kSenderField = "0C91093512325476";
inline constexpr const char* kTimeField = "62211041500021";

inline unsigned hexOctetAt(const std::string& hex, std::size_t octet) {
    return static_cast<unsigned>(std::stoul(hex.substr(octet * 2, 2), nullptr, 16));
}

inline std::string deliverFromSubmit(const std::string& submit) {
    // Submit: SCA length 00, first octet, TP-MR, TP-DA, TP-PID, TP-DCS, TP-VP (relative,
    // one octet), TP-UDL and TP-UD.
    if (hexOctetAt(submit, 0) != 0 || (hexOctetAt(submit, 1) & 0x1B) != 0x11) {
        throw std::invalid_argument("not an SMS-SUBMIT of our encoder");
    }
    const unsigned first = hexOctetAt(submit, 1);
    const unsigned digits = hexOctetAt(submit, 3);
    const std::size_t pid = 5 + (digits + 1) / 2;
    const std::string dcs = submit.substr((pid + 1) * 2, 2);
    const std::string userData = submit.substr((pid + 3) * 2);

    char firstOctet[3];
    std::snprintf(firstOctet, sizeof firstOctet, "%02X", 0x04 | (first & 0x40));
    return std::string(kServiceCentreField) + firstOctet + kSenderField + "00" + dcs + kTimeField +
           userData;
}

}  // namespace sms::test
