#include "sms/pdu_encoder.h"

#include <algorithm>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "platform/hex_digit.h"
#include "sms/coded_text.h"

namespace sms {
namespace {

constexpr unsigned char kFirstOctetSubmit = 0x11;  // TP-MTI SMS-SUBMIT, TP-VPF relative
constexpr unsigned char kStatusReportFlag = 0x20;
constexpr unsigned char kHeaderFlag = 0x40;
constexpr unsigned char kReplyPathFlag = 0x80;
constexpr unsigned char kFlashClass = 0x10;       // message class present, class 0
constexpr int kMaxAddressDigits = 20;             // TP-DA holds at most 10 octets of digits
constexpr std::size_t kMaxUserDataLength = 0xFF;  // TP-UDL is one octet

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendHex(std::string& out, unsigned value) {
    out += kHexDigits[(value >> 4) & 0x0F];
    out += kHexDigits[value & 0x0F];
}

// Octets of a hexadecimal text; throws for odd length or a non-hex character, since
// such a field would put raw text into the PDU.
std::vector<unsigned char> parseHex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        throw EPduError();
    }
    std::vector<unsigned char> out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = platform::hexValue(hex[i]);
        const int lo = platform::hexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) {
            throw EPduError();
        }
        out.push_back(static_cast<unsigned char>(hi << 4 | lo));
    }
    return out;
}

// Septets packed low bit first into ud, starting at bit startBit.
void packSeptets(std::span<const unsigned char> septets, std::size_t startBit,
                 std::vector<unsigned char>& ud) {
    std::size_t bit = startBit;
    for (unsigned char s : septets) {
        const std::size_t octet = bit / 8;
        const unsigned shift = bit % 8;
        ud[octet] |= static_cast<unsigned char>(s << shift);
        if (shift > 1) {
            ud[octet + 1] |= static_cast<unsigned char>(s >> (8 - shift));
        }
        bit += 7;
    }
}

// TP-UDL and TP-UD (header included) as octets.
struct UserData {
    std::size_t length = 0;
    std::vector<unsigned char> octets;
};

UserData packUserData(SmsCoding coding, std::span<const unsigned char> header,
                      std::span<const unsigned char> units) {
    UserData ud;
    if (coding != SmsCoding::Gsm7) {
        ud.octets.assign(header.begin(), header.end());
        ud.octets.insert(ud.octets.end(), units.begin(), units.end());
        ud.length = ud.octets.size();
        return ud;
    }
    // 7-bit: a header is followed by fill bits up to the next septet boundary, and
    // TP-UDL counts the header's septets too.
    const std::size_t headerSeptets = (header.size() * 8 + 6) / 7;
    ud.length = headerSeptets + units.size();
    ud.octets.assign((ud.length * 7 + 7) / 8, 0);
    std::copy(header.begin(), header.end(), ud.octets.begin());
    packSeptets(units, headerSeptets * 7, ud.octets);
    return ud;
}

}  // namespace

std::string TSMS::SwapSemiOctets(std::string_view digits) {
    if (digits.size() % 2 != 0) {
        throw EPduError();
    }
    std::string out(digits);
    for (std::size_t i = 0; i + 1 < out.size(); i += 2) {
        std::swap(out[i], out[i + 1]);
    }
    return out;
}

std::string TSMS::EncodeAddress(std::string_view number) {
    bool international = false;
    bool anyDigit = false;
    std::string semiOctets;
    for (char c : number) {
        switch (c) {
            case ' ':
            case '\t':
            case '\xA0':  // no-break space, common in workbook cells
            case '-':
            case '.':
            case '/':
            case '(':
            case ')':
                break;
            case '+':
                if (international || !semiOctets.empty()) {
                    throw EPduError();
                }
                international = true;
                break;
            case '*':
                semiOctets += 'A';
                break;
            case '#':
                semiOctets += 'B';
                break;
            default:
                if (c < '0' || c > '9') {
                    throw EPduError();
                }
                semiOctets += c;
                anyDigit = true;
        }
    }
    if (!anyDigit || semiOctets.size() > kMaxAddressDigits) {
        throw EPduError();
    }
    std::string field;
    appendHex(field, static_cast<unsigned>(semiOctets.size()));
    field += international ? "91" : "81";
    if (semiOctets.size() % 2 != 0) {
        semiOctets += 'F';
    }
    field += SwapSemiOctets(semiOctets);
    return field;
}

std::string TSMS::EncodePdu() {
    // The header's first octet counts the octets after it; anything else makes a PDU the
    // phone would read wrongly.
    const std::vector<unsigned char> header = parseHex(UserDataHeader);
    if (!header.empty() && header[0] != header.size() - 1) {
        throw EPduError();
    }
    const SmsCoding coding = EffectiveCoding(Coding, Text);
    return EncodeSubmit(*this, coding, header, CodeText(Text, coding).units, TpduLength);
}

std::string EncodeSubmit(const TSMS& sms, SmsCoding coding, std::span<const unsigned char> header,
                         std::span<const unsigned char> units, std::int32_t& tpduLength) {
    const std::string address = TSMS::EncodeAddress(sms.Number);

    unsigned messageRef = 0;
    if (!sms.MessageRef.empty()) {
        const auto mr = parseHex(sms.MessageRef);
        if (mr.size() != 1) {
            throw EPduError();
        }
        messageRef = mr[0];
    }

    const UserData ud = packUserData(coding, header, units);
    if (ud.length > kMaxUserDataLength) {
        throw EPduError();
    }

    unsigned firstOctet = kFirstOctetSubmit;
    if (sms.StatusReport) {
        firstOctet |= kStatusReportFlag;
    }
    if (!header.empty()) {
        firstOctet |= kHeaderFlag;
    }
    if (sms.ReplyPath) {
        firstOctet |= kReplyPathFlag;
    }
    unsigned dcs = coding == SmsCoding::Gsm7 ? 0x00 : coding == SmsCoding::Data8 ? 0x04 : 0x08;
    if (sms.Flash) {
        dcs |= kFlashClass;
    }

    std::string tpdu;
    tpdu.reserve(address.size() + 14 + ud.octets.size() * 2);
    appendHex(tpdu, firstOctet);
    appendHex(tpdu, messageRef);
    tpdu += address;
    appendHex(tpdu, 0x00);  // TP-PID
    appendHex(tpdu, dcs);
    appendHex(tpdu, 0xFF);  // TP-VP: the longest relative validity, 63 weeks
    appendHex(tpdu, static_cast<unsigned>(ud.length));
    for (unsigned char o : ud.octets) {
        appendHex(tpdu, o);
    }

    tpduLength = static_cast<std::int32_t>(tpdu.size() / 2);
    return "00" + tpdu;
}

}  // namespace sms
