#include "tools/phone-sim/received_pdu.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>

#include "platform/codepage_1254.h"
#include "tools/phone-sim/gsm_alphabet.h"

namespace phonesim {
namespace {

using Octets = std::vector<std::uint8_t>;

constexpr std::uint8_t kEscape = 0x1B;
constexpr int kTurkish = 1;
constexpr std::size_t kMaxParts = 255;
constexpr std::size_t kMaxSeptets = 160;
constexpr std::size_t kMaxOctets = 140;
constexpr std::size_t kConcatOctets = 5;  // 00 03 reference count index

// Character (as UTF-8) -> its septets, from the simulator's own tables: every main-table
// code first, then the escaped codes whose character the main table does not have.
std::map<std::string, Octets> makeSeptetMap(int language) {
    std::map<std::string, Octets> map;
    for (std::uint8_t code = 0; code < 0x80; ++code) {
        if (code != kEscape) {
            map.emplace(gsm7ToUtf8({code}, language, language), Octets{code});
        }
    }
    for (std::uint8_t code = 0; code < 0x80; ++code) {
        if (code != kEscape) {
            map.emplace(gsm7ToUtf8({kEscape, code}, language, language), Octets{kEscape, code});
        }
    }
    return map;
}

const std::map<std::string, Octets>& septetMap(bool turkish) {
    static const auto kDefault = makeSeptetMap(0);
    static const auto kTurkishTables = makeSeptetMap(kTurkish);
    return turkish ? kTurkishTables : kDefault;
}

// The UTF-8 characters of a text.
std::vector<std::string> characters(const std::string& utf8) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        out.push_back(utf8.substr(i, n));
        i += n;
    }
    return out;
}

// A text as units with the width of each character: septets, or UCS-2 octets.
struct Units {
    bool septets = true;
    bool shift = false;
    Octets units;
    std::vector<std::size_t> widths;
};

std::optional<Units> asSeptets(const std::string& text, bool turkish) {
    const auto& map = septetMap(turkish);
    Units u;
    u.shift = turkish;
    for (const std::string& ch : characters(text)) {
        const auto it = map.find(ch);
        if (it == map.end()) {
            return std::nullopt;
        }
        u.units.insert(u.units.end(), it->second.begin(), it->second.end());
        u.widths.push_back(it->second.size());
    }
    return u;
}

Units asUcs2(const std::string& text) {
    Units u;
    u.septets = false;
    const std::u16string utf16 = platform::cp1254::utf8ToUtf16(text);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const bool pair = utf16[i] >= 0xD800 && utf16[i] < 0xDC00 && i + 1 < utf16.size();
        for (std::size_t k = i; k <= i + (pair ? 1 : 0); ++k) {
            u.units.push_back(static_cast<std::uint8_t>(utf16[k] >> 8));
            u.units.push_back(static_cast<std::uint8_t>(utf16[k] & 0xFF));
        }
        u.widths.push_back(pair ? 4 : 2);
        i += pair ? 1 : 0;
    }
    return u;
}

// Units one part carries behind a header of `headerOctets` octets (its length octet
// included); 7-bit text starts at the septet boundary after the header.
std::size_t capacity(const Units& u, std::size_t headerOctets) {
    return u.septets ? kMaxSeptets - (headerOctets * 8 + 6) / 7 : kMaxOctets - headerOctets;
}

void appendHex(std::string& out, unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += kDigits[(value >> 4) & 0x0F];
    out += kDigits[value & 0x0F];
}

// Digits as swapped semi-octets, F after an odd count.
void appendSemiOctets(Octets& out, const std::string& digits) {
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const unsigned lo = digits[i] - '0';
        const unsigned hi = i + 1 < digits.size() ? digits[i + 1] - '0' : 0x0F;
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
}

bool allDigits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

void packSeptets(const Octets& septets, std::size_t startBit, Octets& out) {
    for (std::size_t k = 0; k < septets.size(); ++k) {
        const std::size_t bit = startBit + k * 7;
        out[bit / 8] |= static_cast<std::uint8_t>(septets[k] << (bit % 8));
        if (bit % 8 > 1) {
            out[bit / 8 + 1] |= static_cast<std::uint8_t>(septets[k] >> (8 - bit % 8));
        }
    }
}

// TP-OA / TP-RA (TS 23.040 9.1.2.5): international, unknown type, or alphanumeric.
std::optional<Octets> address(const std::string& text) {
    Octets out;
    if (text.size() > 1 && text[0] == '+' && allDigits(text.substr(1)) && text.size() <= 21) {
        out = {static_cast<std::uint8_t>(text.size() - 1), 0x91};
        appendSemiOctets(out, text.substr(1));
        return out;
    }
    if (allDigits(text) && text.size() <= 20) {
        out = {static_cast<std::uint8_t>(text.size()), 0x81};
        appendSemiOctets(out, text);
        return out;
    }
    const std::optional<Units> name = asSeptets(text, false);
    if (text.empty() || !name || name->units.size() > 11) {
        return std::nullopt;
    }
    const std::size_t semiOctets = (name->units.size() * 7 + 3) / 4;
    Octets packed((semiOctets + 1) / 2, 0);
    packSeptets(name->units, 0, packed);
    out = {static_cast<std::uint8_t>(semiOctets), 0xD0};
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
}

// The service-centre field of 27.005 PDU mode: its length in octets first.
std::optional<Octets> serviceCentreField(const std::string& number) {
    if (number.empty()) {
        return Octets{0};
    }
    if (number[0] != '+' || !allDigits(number.substr(1)) || number.size() > 21) {
        return std::nullopt;
    }
    const std::size_t digits = number.size() - 1;
    Octets out{static_cast<std::uint8_t>(1 + (digits + 1) / 2), 0x91};
    appendSemiOctets(out, number.substr(1));
    return out;
}

std::uint8_t swappedDecimal(int value) {
    return static_cast<std::uint8_t>((value % 10) << 4 | (value / 10 % 10));
}

void appendTime(Octets& out, const PduTime& t) {
    for (int v : {t.year % 100, t.month, t.day, t.hour, t.minute, t.second}) {
        out.push_back(swappedDecimal(v));
    }
    const int quarters = t.zoneQuarters < 0 ? -t.zoneQuarters : t.zoneQuarters;
    out.push_back(swappedDecimal(quarters) | (t.zoneQuarters < 0 ? 0x08 : 0x00));
}

BuiltPdu finish(const Octets& serviceCentre, const Octets& tpdu) {
    BuiltPdu pdu;
    for (std::uint8_t o : serviceCentre) {
        appendHex(pdu.hex, o);
    }
    for (std::uint8_t o : tpdu) {
        appendHex(pdu.hex, o);
    }
    pdu.tpduLength = static_cast<int>(tpdu.size());
    return pdu;
}

}  // namespace

std::vector<BuiltPdu> buildDeliver(const IncomingMessage& message, int reference) {
    const std::optional<Octets> sender = address(message.sender);
    const std::optional<Octets> centre = serviceCentreField(message.serviceCentre);
    if (!sender || !centre) {
        return {};
    }
    std::optional<Units> units = asSeptets(message.text, false);
    if (!units && message.turkishShift) {
        units = asSeptets(message.text, true);
    }
    if (!units) {
        units = asUcs2(message.text);
    }

    Octets shift;
    if (units->shift) {
        shift = {0x25, 1, kTurkish, 0x24, 1, kTurkish};
    }
    // [begin, end) of each part's units, cut between characters only.
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    const std::size_t single = shift.empty() ? 0 : 1 + shift.size();
    if (units->units.size() <= capacity(*units, single)) {
        ranges.emplace_back(0, units->units.size());
    } else {
        const std::size_t limit = capacity(*units, 1 + kConcatOctets + shift.size());
        std::size_t begin = 0;
        std::size_t end = 0;
        for (std::size_t w : units->widths) {
            if (end + w - begin > limit) {
                ranges.emplace_back(begin, end);
                begin = end;
            }
            end += w;
        }
        ranges.emplace_back(begin, end);
    }
    if (ranges.size() > kMaxParts) {
        return {};
    }

    std::vector<BuiltPdu> parts;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        Octets header;
        if (ranges.size() > 1) {
            header = {0x00, 3, static_cast<std::uint8_t>(reference & 0xFF),
                      static_cast<std::uint8_t>(ranges.size()), static_cast<std::uint8_t>(i + 1)};
        }
        header.insert(header.end(), shift.begin(), shift.end());
        if (!header.empty()) {
            header.insert(header.begin(), static_cast<std::uint8_t>(header.size()));
        }
        const Octets body(units->units.begin() + ranges[i].first,
                          units->units.begin() + ranges[i].second);

        Octets tpdu{static_cast<std::uint8_t>(0x04 | (header.empty() ? 0 : 0x40))};
        tpdu.insert(tpdu.end(), sender->begin(), sender->end());
        tpdu.push_back(0x00);                          // TP-PID
        tpdu.push_back(units->septets ? 0x00 : 0x08);  // TP-DCS
        appendTime(tpdu, message.time);
        if (units->septets) {
            const std::size_t headerSeptets = (header.size() * 8 + 6) / 7;
            const std::size_t length = headerSeptets + body.size();
            Octets ud((length * 7 + 7) / 8, 0);
            std::copy(header.begin(), header.end(), ud.begin());
            packSeptets(body, headerSeptets * 7, ud);
            tpdu.push_back(static_cast<std::uint8_t>(length));
            tpdu.insert(tpdu.end(), ud.begin(), ud.end());
        } else {
            tpdu.push_back(static_cast<std::uint8_t>(header.size() + body.size()));
            tpdu.insert(tpdu.end(), header.begin(), header.end());
            tpdu.insert(tpdu.end(), body.begin(), body.end());
        }
        parts.push_back(finish(*centre, tpdu));
    }
    return parts;
}

BuiltPdu buildStatusReport(const StatusReport& report) {
    const std::optional<Octets> recipient = address(report.recipient);
    const std::optional<Octets> centre = serviceCentreField(report.serviceCentre);
    if (!recipient || !centre) {
        return {};
    }
    Octets tpdu{0x06, static_cast<std::uint8_t>(report.messageReference & 0xFF)};
    tpdu.insert(tpdu.end(), recipient->begin(), recipient->end());
    appendTime(tpdu, report.submitted);
    appendTime(tpdu, report.discharged);
    tpdu.push_back(static_cast<std::uint8_t>(report.status & 0xFF));
    return finish(*centre, tpdu);
}

}  // namespace phonesim
