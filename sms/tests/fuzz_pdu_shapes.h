#pragma once
// Shared by the fuzz targets of the received-PDU decoders: fields built from fuzz bytes in
// the shapes 3GPP TS 23.040 allows (so that most inputs get past the first checks and reach
// the text), together with what a decoder must make of them, and the checks every decoded
// field must pass whatever the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sms/pdu_fields.h"
#include "sms/septet_tables.h"

namespace fuzzpdu {

inline void check(bool ok, const char* target, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", target, what);
        std::abort();
    }
}

// The fuzz bytes, read one at a time; zeros once they run out.
struct Bytes {
    const uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
    unsigned next() { return pos < size ? data[pos++] : 0; }
};

using Octets = std::vector<unsigned char>;

inline std::string toHex(const Octets& octets, bool lower) {
    const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string s;
    for (unsigned char o : octets) {
        s += digits[o >> 4];
        s += digits[o & 0x0F];
    }
    return s;
}

inline unsigned char swappedDecimal(unsigned value) {
    return static_cast<unsigned char>((value % 10) << 4 | (value / 10 % 10));
}

// Septets packed low bit first from bit `startBit` of `out` (already sized).
inline void pack(const Octets& septets, std::size_t startBit, Octets& out) {
    for (std::size_t k = 0; k < septets.size(); ++k) {
        const std::size_t bit = startBit + k * 7;
        out[bit / 8] |= static_cast<unsigned char>(septets[k] << (bit % 8));
        if (bit % 8 > 1)
            out[bit / 8 + 1] |= static_cast<unsigned char>(septets[k] >> (8 - bit % 8));
    }
}

// The character of a septet that is not an escape, in the main table.
inline char16_t mainCharacter(unsigned char septet, bool locking) {
    return sms::SeptetCharacter({septet, false}, locking, false).value_or(u'?');
}

// An address field and the text a decoder must give for it.
inline void address(Bytes& b, Octets& out, std::u16string& text) {
    const unsigned kind = b.next() % 4;
    text.clear();
    if (kind == 0) {  // alphanumeric, no escapes
        const unsigned chars = b.next() % 12;
        Octets septets;
        for (unsigned i = 0; i < chars; ++i) {
            unsigned char s = b.next() % 128;
            s = s == sms::kGsmEscape ? 0x20 : s;
            septets.push_back(s);
            text += mainCharacter(s, false);
        }
        const unsigned semiOctets = (chars * 7 + 3) / 4;
        Octets packed((semiOctets + 1) / 2, 0);
        pack(septets, 0, packed);
        out.push_back(static_cast<unsigned char>(semiOctets));
        out.push_back(0xD0);
        out.insert(out.end(), packed.begin(), packed.end());
        return;
    }
    static constexpr unsigned char kTypes[] = {0, 0x91, 0xA1, 0x81};
    const unsigned digits = b.next() % 21;
    out.push_back(static_cast<unsigned char>(digits));
    out.push_back(kTypes[kind]);
    if (kind == 1 && digits > 0)
        text += u'+';
    Octets semi;
    for (unsigned i = 0; i < digits; ++i) {
        const unsigned v = b.next() % 15;
        semi.push_back(static_cast<unsigned char>(v));
        text += u"0123456789*#abc"[v];
    }
    if (digits % 2 != 0)
        semi.push_back(0x0F);
    for (std::size_t i = 0; i < semi.size(); i += 2)
        out.push_back(static_cast<unsigned char>(semi[i + 1] << 4 | semi[i]));
}

inline void timestamp(Bytes& b, Octets& out, sms::SmsTimestamp& t) {
    t.year = 2000 + static_cast<int>(b.next() % 100);
    t.month = 1 + static_cast<int>(b.next() % 12);
    t.day = 1 + static_cast<int>(b.next() % 31);
    t.hour = static_cast<int>(b.next() % 24);
    t.minute = static_cast<int>(b.next() % 60);
    t.second = static_cast<int>(b.next() % 60);
    const unsigned zone = b.next();
    t.zoneQuarters = static_cast<int>(zone % 80) * ((zone & 0x80) ? -1 : 1);
    for (int v : {t.year - 2000, t.month, t.day, t.hour, t.minute, t.second})
        out.push_back(swappedDecimal(static_cast<unsigned>(v)));
    out.push_back(swappedDecimal(zone % 80) | ((zone & 0x80) && zone % 80 ? 0x08 : 0x00));
    if (zone % 80 == 0)
        t.zoneQuarters = 0;
}

// What a shaped user data must decode to.
struct ExpectedContent {
    unsigned char dataCoding = 0;
    sms::SmsCoding coding = sms::SmsCoding::Gsm7;
    bool concatenated = false;
    std::u16string text;
};

// TP-UDL and TP-UD for a coding scheme picked from the bytes, or for `scheme` when it is
// 0 or more; `hasHeader` says whether the first octet will carry TP-UDHI.
inline void userData(Bytes& b, Octets& out, bool hasHeader, ExpectedContent& e, int scheme = -1) {
    static constexpr unsigned char kSchemes[] = {0x00, 0x04, 0x08, 0x10, 0xF1, 0xF6, 0xD0, 0xE0};
    const unsigned pick = b.next() % 8;
    e.dataCoding = scheme >= 0 ? static_cast<unsigned char>(scheme) : kSchemes[pick];
    const bool ucs2 = e.dataCoding == 0x08 || e.dataCoding == 0xE0;
    const bool data8 = e.dataCoding == 0x04 || e.dataCoding == 0xF6;
    e.coding = ucs2 ? sms::SmsCoding::Ucs2 : data8 ? sms::SmsCoding::Data8 : sms::SmsCoding::Gsm7;

    Octets header;
    bool locking = false;
    if (hasHeader) {
        header.push_back(0);
        const unsigned elements = b.next() % 4;
        for (unsigned i = 0; i < elements; ++i) {
            const unsigned kind = b.next() % 4;
            if (kind == 0) {
                const unsigned total = 1 + b.next() % 4;
                header.insert(header.end(), {0x00, 3, static_cast<unsigned char>(b.next()),
                                             static_cast<unsigned char>(total),
                                             static_cast<unsigned char>(1 + b.next() % total)});
                e.concatenated = true;
            } else if (kind == 1 && !ucs2) {
                header.insert(header.end(), {0x25, 1, 1});
                locking = true;
            } else if (kind == 2 && !ucs2) {
                header.insert(header.end(), {0x24, 1, 1});
            } else {
                header.insert(header.end(), {0x70, 1, static_cast<unsigned char>(b.next())});
            }
        }
        header[0] = static_cast<unsigned char>(header.size() - 1);
    }

    const unsigned units = b.next();
    if (e.coding == sms::SmsCoding::Gsm7) {
        const std::size_t headerSeptets = (header.size() * 8 + 6) / 7;
        const std::size_t count = std::min<std::size_t>(units % 161, 160 - headerSeptets);
        Octets septets;
        for (std::size_t i = 0; i < count; ++i) {
            unsigned char s = b.next() % 128;
            s = s == sms::kGsmEscape ? 0x20 : s;
            septets.push_back(s);
            e.text += mainCharacter(s, locking);
        }
        const std::size_t length = headerSeptets + count;
        Octets ud((length * 7 + 7) / 8, 0);
        std::copy(header.begin(), header.end(), ud.begin());
        pack(septets, headerSeptets * 7, ud);
        out.push_back(static_cast<unsigned char>(length));
        out.insert(out.end(), ud.begin(), ud.end());
        return;
    }
    Octets ud = header;
    if (ucs2) {
        const std::size_t count = std::min<std::size_t>(units % 71, (140 - header.size()) / 2);
        for (std::size_t i = 0; i < count; ++i) {
            char16_t c = static_cast<char16_t>(b.next() << 8 | b.next());
            if (c >= 0xD800 && c < 0xE000) {  // only whole pairs
                if (i + 1 == count) {
                    c = u'x';
                } else {
                    const char16_t low = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
                    c = static_cast<char16_t>(0xD800 | (c & 0x3FF));
                    e.text += c;
                    ud.insert(ud.end(), {static_cast<unsigned char>(c >> 8),
                                         static_cast<unsigned char>(c & 0xFF)});
                    c = low;
                    ++i;
                }
            }
            e.text += c;
            ud.insert(ud.end(),
                      {static_cast<unsigned char>(c >> 8), static_cast<unsigned char>(c & 0xFF)});
        }
    } else {
        const std::size_t count = std::min<std::size_t>(units % 141, 140 - header.size());
        for (std::size_t i = 0; i < count; ++i) {
            const auto o = static_cast<unsigned char>(b.next());
            ud.push_back(o);
            e.text += u"0123456789ABCDEF"[o >> 4];
            e.text += u"0123456789ABCDEF"[o & 0x0F];
        }
    }
    out.push_back(static_cast<unsigned char>(ud.size()));
    out.insert(out.end(), ud.begin(), ud.end());
}

// A service-centre field: none, or an international number of 1-20 digits.
inline void serviceCentre(Bytes& b, Octets& out) {
    const unsigned digits = b.next() % 21;
    if (digits == 0) {
        out.push_back(0);
        return;
    }
    out.push_back(static_cast<unsigned char>(1 + (digits + 1) / 2));
    out.push_back(0x91);
    for (unsigned i = 0; i < digits; i += 2) {
        const unsigned lo = b.next() % 10;
        const unsigned hi = i + 1 < digits ? b.next() % 10 : 0x0F;
        out.push_back(static_cast<unsigned char>(hi << 4 | lo));
    }
}

inline std::string lowerCase(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// A PDU text that decoded: its digits without the blanks around them, its octets, and
// the octets after its service-centre field.
struct DecodedSize {
    std::string digits;
    std::size_t octets = 0;
    int tpduLength = 0;
};

inline DecodedSize decodedSize(const std::string& pdu) {
    static constexpr const char* kBlanks = " \t\r\n\v\f";
    DecodedSize d;
    const std::size_t first = pdu.find_first_not_of(kBlanks);
    d.digits = pdu.substr(first, pdu.find_last_not_of(kBlanks) + 1 - first);
    d.octets = d.digits.size() / 2;
    d.tpduLength = static_cast<int>(d.octets - 1 - std::stoul(d.digits.substr(0, 2), nullptr, 16));
    return d;
}

// Checks that hold for every decoded field, whatever the input was.
inline void checkAddress(const sms::SmsAddress& a, const char* target) {
    check(a.text.size() <= 21, target, "address longer than its field");
    if (a.kind == sms::AddressKind::Alphanumeric)
        return;
    for (std::size_t i = 0; i < a.text.size(); ++i) {
        const char16_t c = a.text[i];
        const bool plus = c == u'+' && i == 0 && a.kind == sms::AddressKind::International;
        check(plus || std::u16string_view(u"0123456789*#abc").find(c) != std::u16string::npos,
              target, "address holds a character no semi-octet gives");
    }
}

inline void checkTimestamp(const sms::SmsTimestamp& t, const char* target) {
    check(t.year >= 2000 && t.year <= 2099 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
              t.day <= 31 && t.hour <= 23 && t.minute <= 59 && t.second <= 59 &&
              t.zoneQuarters >= -79 && t.zoneQuarters <= 79,
          target, "time stamp out of range");
    check(t.iso8601().size() == 25, target, "ISO 8601 form");
}

inline void checkContent(const sms::UserDataContent& c, const char* target) {
    switch (c.coding) {
        case sms::SmsCoding::Gsm7:
            check(c.text.size() <= 160, target, "7-bit text over 160 characters");
            break;
        case sms::SmsCoding::Data8:
            check(c.text.size() % 2 == 0 && c.text.size() <= 280, target, "8-bit hex length");
            break;
        case sms::SmsCoding::Ucs2: {
            check(c.text.size() <= 70, target, "UCS-2 text over 70 code units");
            const auto& part = c.concatenation;
            for (std::size_t i = 0; i < c.text.size(); ++i) {
                const char16_t u = c.text[i];
                if (u >= 0xD800 && u < 0xDC00) {
                    const bool paired =
                        i + 1 < c.text.size() && c.text[i + 1] >= 0xDC00 && c.text[i + 1] < 0xE000;
                    check(
                        paired || (part && part->sequence < part->total && i + 1 == c.text.size()),
                        target, "lone high surrogate");
                    i += paired;
                } else if (u >= 0xDC00 && u < 0xE000) {
                    check(part && part->sequence > 1 && i == 0, target, "lone low surrogate");
                }
            }
            break;
        }
        default:
            check(false, target, "coding outside Gsm7, Data8, Ucs2");
    }
    if (c.concatenation) {
        const auto& p = *c.concatenation;
        check(p.total >= 1 && p.sequence >= 1 && p.sequence <= p.total && p.total <= 255 &&
                  p.reference >= 0 && p.reference <= (p.wideReference ? 0xFFFF : 0xFF),
              target, "concatenation numbers");
    }
    check(c.lockingShift == 0 || c.lockingShift == 1 || c.coding != sms::SmsCoding::Gsm7, target,
          "a locking shift table without a decoder");
    check(c.messageClass >= -1 && c.messageClass <= 3, target, "message class");
}

}  // namespace fuzzpdu
