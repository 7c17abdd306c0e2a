#include "tools/phone-sim/submit_pdu.h"

#include <cstdint>
#include <cstdio>

#include "tools/phone-sim/gsm_alphabet.h"

namespace phonesim {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::string toHex(std::string_view octets) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : octets) {
        out += kDigits[c >> 4];
        out += kDigits[c & 0x0F];
    }
    return out;
}

// Reads octets front to back; every read checks that the octets are there.
class Reader {
public:
    explicit Reader(std::string_view octets) : m_octets(octets) {}
    bool take(std::size_t n, std::string_view* out) {
        if (m_octets.size() - m_pos < n) {
            return false;
        }
        *out = m_octets.substr(m_pos, n);
        m_pos += n;
        return true;
    }
    bool byte(int* out) {
        std::string_view b;
        if (!take(1, &b)) {
            return false;
        }
        *out = static_cast<unsigned char>(b[0]);
        return true;
    }
    std::size_t pos() const { return m_pos; }
    std::size_t left() const { return m_octets.size() - m_pos; }

private:
    std::string_view m_octets;
    std::size_t m_pos = 0;
};

bool fail(std::string* error, const std::string& why) {
    if (error) {
        *error = why;
    }
    return false;
}

// Semi-octet digits of an address (TS 23.040 9.1.2.3); `digits` useful semi-octets.
bool semiOctets(std::string_view octets, int digits, std::string* out, std::string* error) {
    static const char kDigit[] = "0123456789*#abc";
    for (int i = 0; i < digits; ++i) {
        const unsigned char o = static_cast<unsigned char>(octets[i / 2]);
        const int nibble = i % 2 == 0 ? (o & 0x0F) : (o >> 4);
        if (nibble == 0x0F) {
            return fail(error, "filler inside the address digits");
        }
        *out += kDigit[nibble];
    }
    if (digits % 2 == 1 && (static_cast<unsigned char>(octets[digits / 2]) >> 4) != 0x0F) {
        return fail(error, "odd address without the filler F");
    }
    return true;
}

// TP-DA: length in useful semi-octets, type of address, the digits.
bool readAddress(Reader& r, SubmitPdu* pdu, std::string* error) {
    int length = 0;
    if (!r.byte(&length) || !r.byte(&pdu->addressType)) {
        return fail(error, "address cut short");
    }
    if (length > 20) {
        return fail(error, "address longer than 20 digits");
    }
    if ((pdu->addressType & 0x80) == 0) {
        return fail(error, "type of address without bit 7");
    }
    std::string_view octets;
    if (!r.take(static_cast<std::size_t>((length + 1) / 2), &octets)) {
        return fail(error, "address cut short");
    }
    const int typeOfNumber = (pdu->addressType >> 4) & 0x07;
    if (typeOfNumber == 5) {  // alphanumeric, in the default alphabet
        pdu->destination = gsm7ToUtf8(unpackSeptets(octets, length * 4 / 7));
    } else {
        if (typeOfNumber == 1) {
            pdu->destination = "+";
        }
        if (!semiOctets(octets, length, &pdu->destination, error)) {
            return false;
        }
    }
    if (length == 0) {
        return fail(error, "no destination digits");
    }
    return true;
}

bool readServiceCentre(Reader& r, SubmitPdu* pdu, std::string* error) {
    int length = 0;
    if (!r.byte(&length)) {
        return fail(error, "empty PDU");
    }
    if (length == 0) {
        return true;
    }
    std::string_view octets;
    if (length > 11 || !r.take(static_cast<std::size_t>(length), &octets)) {
        return fail(error, "bad service-centre field");
    }
    const int type = static_cast<unsigned char>(octets[0]);
    std::string_view digits = octets.substr(1);
    int count = static_cast<int>(digits.size()) * 2;
    if (count > 0 && (static_cast<unsigned char>(digits.back()) >> 4) == 0x0F) {
        --count;
    }
    if (((type >> 4) & 0x07) == 1) {
        pdu->serviceCentre = "+";
    }
    return semiOctets(digits, count, &pdu->serviceCentre, error);
}

// TP-DCS (TS 23.038 4): alphabet, class and compression.
void readCodingScheme(int dcs, SubmitPdu* pdu) {
    const int group = dcs >> 4;
    int alphabet = 0;
    if (group <= 0x7) {  // general data coding, with or without automatic deletion
        pdu->compressed = (dcs & 0x20) != 0;
        alphabet = (dcs >> 2) & 0x03;
        if (dcs & 0x10) {
            pdu->messageClass = dcs & 0x03;
        }
    } else if (group == 0xE) {  // message waiting, stored, UCS-2
        alphabet = 2;
    } else if (group == 0xF) {  // data coding and message class
        alphabet = (dcs & 0x04) ? 1 : 0;
        pdu->messageClass = dcs & 0x03;
    }
    // Reserved alphabets and groups are taken as the default alphabet, as TS 23.038 asks.
    pdu->coding = alphabet == 1 ? Coding::Data8 : alphabet == 2 ? Coding::Ucs2 : Coding::Gsm7;
}

std::string printable(std::string_view octets) {
    std::string out;
    for (unsigned char c : octets) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string ucs2ToUtf8(std::string_view octets) {
    std::string out;
    for (std::size_t i = 0; i + 1 < octets.size(); i += 2) {
        char32_t unit = (static_cast<unsigned char>(octets[i]) << 8) |
                        static_cast<unsigned char>(octets[i + 1]);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < octets.size()) {
            const char32_t low = (static_cast<unsigned char>(octets[i + 2]) << 8) |
                                 static_cast<unsigned char>(octets[i + 3]);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        appendUtf8(out, unit);
    }
    return out;
}

// The information elements of a user data header (TS 23.040 9.2.3.24). An element with
// values out of range is ignored, as a receiving phone does; one that runs past the
// header makes the whole PDU malformed.
bool readHeaderElements(std::string_view header, SubmitPdu* pdu, std::string* error) {
    std::size_t at = 1;
    while (at < header.size()) {
        if (at + 2 > header.size()) {
            return fail(error, "user data header element cut short");
        }
        const int id = static_cast<unsigned char>(header[at]);
        const std::size_t length = static_cast<unsigned char>(header[at + 1]);
        if (at + 2 + length > header.size()) {
            return fail(error, "user data header element longer than the header");
        }
        const auto value = [&](std::size_t i) {
            return static_cast<int>(static_cast<unsigned char>(header[at + 2 + i]));
        };
        if (id == 0x00 && length == 3 && value(1) > 0 && value(2) > 0 && value(2) <= value(1)) {
            pdu->concatenation = SubmitPdu::Concatenation{value(0), value(1), value(2)};
        } else if (id == 0x08 && length == 4 && value(2) > 0 && value(3) > 0 &&
                   value(3) <= value(2)) {
            pdu->concatenation =
                SubmitPdu::Concatenation{value(0) << 8 | value(1), value(2), value(3)};
        } else if (id == 0x24 && length == 1) {
            pdu->singleShift = value(0);
        } else if (id == 0x25 && length == 1) {
            pdu->lockingShift = value(0);
        }
        at += 2 + length;
    }
    return true;
}

bool readUserData(Reader& r, SubmitPdu* pdu, std::string* error) {
    if (!r.byte(&pdu->userDataLength)) {
        return fail(error, "user data length missing");
    }
    const int udl = pdu->userDataLength;
    const bool gsm7 = pdu->coding == Coding::Gsm7 && !pdu->compressed;
    if (udl > (gsm7 ? kMaxSeptets : kMaxOctets)) {
        return fail(error, "user data longer than one message carries");
    }
    const std::size_t octetCount = gsm7 ? (static_cast<std::size_t>(udl) * 7 + 7) / 8 : udl;
    if (r.left() != octetCount) {
        return fail(error, "user data length " + std::to_string(udl) + " does not match " +
                               std::to_string(r.left()) + " octets of user data");
    }
    std::string_view ud;
    r.take(octetCount, &ud);
    std::size_t headerOctets = 0;
    if (pdu->firstOctet & 0x40) {
        if (ud.empty() || static_cast<unsigned char>(ud[0]) + 1u > ud.size()) {
            return fail(error, "user data header longer than the user data");
        }
        headerOctets = static_cast<unsigned char>(ud[0]) + 1u;
        pdu->userDataHeader = toHex(ud.substr(0, headerOctets));
        if (!readHeaderElements(ud.substr(0, headerOctets), pdu, error)) {
            return false;
        }
    }
    if (gsm7) {
        // The text starts at the first septet boundary after the header.
        const std::size_t skip = (headerOctets * 8 + 6) / 7;
        if (skip > static_cast<std::size_t>(udl)) {
            return fail(error, "user data header longer than the user data");
        }
        auto septets = unpackSeptets(ud, udl);
        septets.erase(septets.begin(), septets.begin() + static_cast<std::ptrdiff_t>(skip));
        pdu->userData = ud.substr(headerOctets);
        pdu->text = gsm7ToUtf8(septets, pdu->lockingShift, pdu->singleShift);
        return true;
    }
    pdu->userData = ud.substr(headerOctets);
    if (pdu->coding == Coding::Ucs2 && !pdu->compressed) {
        if (pdu->userData.size() % 2 != 0) {
            return fail(error, "odd number of UCS-2 octets");
        }
        pdu->text = ucs2ToUtf8(pdu->userData);
    } else {
        pdu->text = printable(pdu->userData);
    }
    return true;
}

bool decode(std::string_view hex, SubmitPdu* pdu, std::string* error) {
    if (hex.size() % 2 != 0) {
        return fail(error, "odd number of hexadecimal digits");
    }
    std::string octets;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hexValue(hex[i]);
        const int lo = hexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) {
            return fail(error, "not a hexadecimal digit");
        }
        octets += static_cast<char>(hi * 16 + lo);
    }
    Reader r(octets);
    if (!readServiceCentre(r, pdu, error)) {
        return false;
    }
    pdu->tpduLength = static_cast<int>(r.left());
    if (!r.byte(&pdu->firstOctet)) {
        return fail(error, "no TPDU after the service-centre field");
    }
    if ((pdu->firstOctet & 0x03) != 0x01) {
        return fail(error, "not an SMS-SUBMIT");
    }
    pdu->rejectDuplicates = pdu->firstOctet & 0x04;
    pdu->validityFormat = (pdu->firstOctet >> 3) & 0x03;
    pdu->statusReport = pdu->firstOctet & 0x20;
    pdu->replyPath = pdu->firstOctet & 0x80;
    if (!r.byte(&pdu->messageRef)) {
        return fail(error, "message reference missing");
    }
    if (!readAddress(r, pdu, error)) {
        return false;
    }
    if (!r.byte(&pdu->protocolId) || !r.byte(&pdu->dataCoding)) {
        return fail(error, "protocol identifier or coding scheme missing");
    }
    readCodingScheme(pdu->dataCoding, pdu);
    static const std::size_t kValiditySize[4] = {0, 7, 1, 7};
    std::string_view vp;
    if (!r.take(kValiditySize[pdu->validityFormat], &vp)) {
        return fail(error, "validity period cut short");
    }
    pdu->validity = toHex(vp);
    return readUserData(r, pdu, error);
}

}  // namespace

const char* codingName(Coding coding) {
    switch (coding) {
        case Coding::Gsm7:
            return "7-bit";
        case Coding::Data8:
            return "8-bit";
        case Coding::Ucs2:
            return "UCS-2";
    }
    return "?";
}

std::optional<SubmitPdu> decodeSubmitPdu(std::string_view hex, std::string* error) {
    SubmitPdu pdu;
    if (!decode(hex, &pdu, error)) {
        return std::nullopt;
    }
    return pdu;
}

}  // namespace phonesim
