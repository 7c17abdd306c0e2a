#pragma once
// Decoder of SMS-SUBMIT PDUs as a phone in PDU mode receives them after AT+CMGS
// (3GPP TS 27.005 3.5.1, TS 23.040 9.2.2.2, TS 23.038 4): hexadecimal digits, the
// service-centre field first.

#include <optional>
#include <string>
#include <string_view>

namespace phonesim {

enum class Coding { Gsm7, Data8, Ucs2 };

const char* codingName(Coding coding);

struct SubmitPdu {
    std::string serviceCentre;  // empty when the PDU names none
    int firstOctet = 0;
    bool rejectDuplicates = false;
    bool statusReport = false;
    bool replyPath = false;
    int messageRef = 0;
    std::string destination;  // digits; '+' in front when the type of number is international
    int addressType = 0;      // the type-of-address octet, e.g. 0x81 or 0x91
    int protocolId = 0;
    int dataCoding = 0;  // the TP-DCS octet
    Coding coding = Coding::Gsm7;
    int messageClass = -1;  // 0..3, or -1 when the coding scheme gives none (0 is "flash")
    bool compressed = false;
    int validityFormat = 0;      // TP-VPF: 0 none, 1 enhanced, 2 relative, 3 absolute
    std::string validity;        // the TP-VP octets, as hexadecimal digits
    int userDataLength = 0;      // TP-UDL: septets for Gsm7, octets otherwise
    std::string userDataHeader;  // its octets with the length octet first, as hexadecimal digits
    // Elements of the header (TS 23.040 9.2.3.24): a part of a concatenated message, and
    // the national language shift tables (0: none).
    struct Concatenation {
        int reference = 0;  // 8 or 16 bits
        int count = 0;
        int index = 0;  // 1..count
    };
    std::optional<Concatenation> concatenation;
    int lockingShift = 0;
    int singleShift = 0;
    std::string userData;  // the user data octets after the header, raw
    std::string text;      // the decoded text in UTF-8 (see decodeSubmitPdu)
    int tpduLength = 0;    // octets after the service-centre field
};

// Decodes a PDU; on a malformed one returns nothing and says why in *error.
// `text` is the message (or this part of it) in UTF-8: the default alphabet, with the
// shift tables the header names, and UCS-2 decoded, 8-bit data
// shown byte by byte, printable ASCII as it is and every other byte as \xNN.
std::optional<SubmitPdu> decodeSubmitPdu(std::string_view hex, std::string* error = nullptr);

// Longest user data one message carries (TS 23.040 9.2.3.24).
inline constexpr int kMaxSeptets = 160;
inline constexpr int kMaxOctets = 140;

}  // namespace phonesim
