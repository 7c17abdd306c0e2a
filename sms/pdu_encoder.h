#pragma once
// One outgoing SMS and its SMS-SUBMIT PDU (3GPP TS 23.040) as the upper-case hexadecimal
// text a phone in PDU mode expects after AT+CMGS, with an empty service-centre field first.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "sms/gsm_alphabet.h"

namespace sms {

inline constexpr const char* kEncodeErrorText = "Error encoding PDU";

// Every encoding failure; the message is always kEncodeErrorText, as the user sees it.
class EPduError : public std::runtime_error {
public:
    EPduError() : std::runtime_error(kEncodeErrorText) {}
};

// Lives for one message: filled, encoded, dropped. Texts other than Text are 1254 bytes.
class TSMS {
public:
    std::u16string Text;
    std::string MessageRef;       // TP-MR as two hexadecimal digits; empty means 00
    std::string Number;           // as typed; a leading '+' makes it international
    bool Flash = false;           // class 0 message
    bool ReplyPath = false;       // TP-RP
    std::string UserDataHeader;   // hexadecimal digits, its length octet first; empty: none
    bool StatusReport = false;    // TP-SRR
    std::int32_t TpduLength = 0;  // result: octets after the service-centre field
    SmsCoding Coding = SmsCoding::Gsm7;

    // The whole PDU; sets TpduLength. Throws EPduError and leaves TpduLength alone when
    // the fields cannot make a PDU a phone would accept.
    std::string EncodePdu();

    // TP-DA: digit count, type of address, swapped semi-octets. Blanks and the separators
    // - . / ( ) are dropped, '*' and '#' become the semi-octets A and B, and '+' is allowed
    // only first; anything else would go raw onto the command line, so it throws EPduError.
    static std::string EncodeAddress(std::string_view number);

    // Exchanges the characters of each pair; throws EPduError for an odd length.
    static std::string SwapSemiOctets(std::string_view digits);
};

// One SMS-SUBMIT from the fields of `sms` other than Text, Coding and UserDataHeader,
// around user data already coded in `coding` (Gsm7, Data8 or Ucs2): `header` is a user
// data header with its length octet first, or empty; `units` are septets for Gsm7 and
// octets otherwise. Sets tpduLength only on success; throws EPduError.
std::string EncodeSubmit(const TSMS& sms, SmsCoding coding, std::span<const unsigned char> header,
                         std::span<const unsigned char> units, std::int32_t& tpduLength);

}  // namespace sms
