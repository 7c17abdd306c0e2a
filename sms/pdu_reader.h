#pragma once
// The reading shared by the decoders of received PDUs: octets from the hexadecimal text,
// addresses, time stamps, the coding scheme and the user data with its header. A reader
// never looks past the octets it has; a field that is cut short, out of range or not
// allowed ends the decoding with a DecodeFailure, which the decoders turn into their
// error text. Nothing here is guessed: a field either reads as 3GPP TS 23.040 and
// 23.038 define it or fails.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sms/pdu_fields.h"

namespace sms::pdu {

// The reason, in Windows-1254 Turkish, why a PDU could not be read.
struct DecodeFailure {
    std::string reason;
};

// `utf8` turned into the 1254 reason; throws it.
[[noreturn]] void fail(std::string_view utf8);

// What `read()` decodes, or nullopt with the failure's reason in *error (when given):
// the decoders' own interface, which throws nothing.
template <typename Read>
auto decodeOrFail(Read read, std::string* error) -> std::optional<decltype(read())> {
    try {
        return read();
    } catch (const DecodeFailure& failure) {
        if (error != nullptr) {
            *error = failure.reason;
        }
        return std::nullopt;
    }
}

class Reader {
public:
    // The octets of `hex` (either letter case; blanks at its two ends are ignored).
    explicit Reader(std::string_view hex);

    // `field` names what is being read (UTF-8), for the reason when the PDU ends first.
    unsigned char octet(std::string_view field);
    std::span<const unsigned char> octets(std::size_t count, std::string_view field);
    std::size_t remaining() const { return m_octets.size() - m_pos; }

    // Reads the service-centre field of 27.005 PDU mode and, when `tpduLength` is 0 or
    // more, checks that the octets after it are that many (the length the phone gave on
    // the line before the PDU).
    SmsAddress serviceCentre(int tpduLength);

    // Fails unless every octet has been read.
    void expectEnd();

private:
    std::vector<unsigned char> m_octets;
    std::size_t m_pos = 0;
};

// TP-OA, TP-RA (9.1.2.5): digit count, type of address, semi-octets or packed septets.
SmsAddress readAddress(Reader& reader, std::string_view field);

// TP-SCTS, TP-DT (9.2.3.11, 9.2.3.13): seven octets of swapped decimal digits.
SmsTimestamp readTimestamp(Reader& reader, std::string_view field);

// TP-UDL and TP-UD for the coding scheme `dataCoding`; `hasHeader` is TP-UDHI. The user
// data must end the PDU.
UserDataContent readUserData(Reader& reader, unsigned char dataCoding, bool hasHeader);

// "0x7F": an octet for a reason text.
std::string hexOctet(unsigned value);

}  // namespace sms::pdu
