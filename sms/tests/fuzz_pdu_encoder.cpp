// Any number and text either fail with "Error encoding PDU" or give upper-case
// hexadecimal PDUs whose fields and length counts agree with their content. A text in
// several parts keeps every part within one message, cuts no escape or surrogate pair,
// numbers its parts under one reference, and the parts put together give the text back
// (in UCS-2 with a surrogate that lacks its partner sent as U+FFFD).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage_1254.h"
#include "sms/message_parts.h"
#include "sms/pdu_encoder.h"
#include "sms/septet_tables.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz-pdu-encoder: %s\n", what);
        std::abort();
    }
}

int hexNibble(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads the PDU octet by octet.
struct Reader {
    std::vector<unsigned char> octets;
    std::size_t pos = 0;
    unsigned char next() {
        check(pos < octets.size(), "PDU ends inside a field");
        return octets[pos++];
    }
};

constexpr char kHex[] = "0123456789ABCDEF";

std::string toHex(const std::vector<unsigned char>& bytes) {
    std::string s;
    for (unsigned char b : bytes) {
        s += kHex[b >> 4];
        s += kHex[b & 15];
    }
    return s;
}

// What one PDU holds after its fields have been checked.
struct Decoded {
    unsigned coding = 0;                // TP-DCS without the class bit: 00, 04 or 08
    std::vector<unsigned char> header;  // user data header, length octet first
    std::vector<unsigned char> units;   // septets (7-bit) or octets after the header
};

Decoded checkPdu(const sms::TSMS& in, const std::string& pdu, std::int32_t tpduLength) {
    check(pdu.size() % 2 == 0 && pdu.size() >= 2 && pdu.compare(0, 2, "00") == 0,
          "PDU must start with an empty service centre and have whole octets");
    check(static_cast<std::size_t>(tpduLength) * 2 + 2 == pdu.size(), "TpduLength");
    Reader r;
    for (std::size_t i = 2; i < pdu.size(); i += 2) {
        const int hi = hexNibble(pdu[i]), lo = hexNibble(pdu[i + 1]);
        check(hi >= 0 && lo >= 0, "PDU holds a character other than 0-9 A-F");
        r.octets.push_back(static_cast<unsigned char>(hi << 4 | lo));
    }

    const unsigned char first = r.next();
    check((first & 0x1F) == 0x11, "first octet: SMS-SUBMIT, relative validity");
    check(((first & 0x20) != 0) == in.StatusReport, "TP-SRR");
    check(((first & 0x80) != 0) == in.ReplyPath, "TP-RP");
    r.next();  // TP-MR

    const unsigned digits = r.next();
    check(digits >= 1 && digits <= 20, "address length");
    const unsigned char toa = r.next();
    check(toa == 0x81 || toa == 0x91, "type of address");
    for (unsigned i = 0; i < (digits + 1) / 2; ++i) {
        const unsigned char o = r.next();
        check((o & 0x0F) <= 0x0B, "address semi-octet");
        if (2 * i + 1 < digits) {
            check((o >> 4) <= 0x0B, "address semi-octet");
        } else {
            check((o >> 4) == 0x0F, "odd address must end in F");
        }
    }
    // Nothing but what a phone can dial may have come through.
    for (char c : in.Number) {
        check(std::memchr("0123456789+*#-./() \t\xA0", c, 21) != nullptr,
              "number with a foreign character was accepted");
    }

    check(r.next() == 0x00, "TP-PID");
    const unsigned char dcs = r.next();
    check(((dcs & 0x10) != 0) == in.Flash, "flash class");
    Decoded d;
    d.coding = dcs & ~0x10u;
    check(d.coding == 0x00 || d.coding == 0x04 || d.coding == 0x08, "coding scheme");
    check(r.next() == 0xFF, "TP-VP");
    const unsigned udl = r.next();
    const std::size_t rest = r.octets.size() - r.pos;
    const std::size_t headerOctets = (first & 0x40) ? r.octets.at(r.pos) + 1u : 0;
    d.header.assign(r.octets.begin() + r.pos,
                    r.octets.begin() + r.pos + std::min(headerOctets, rest));
    if (d.coding == 0x00) {
        check(rest == (udl * 7 + 7) / 8, "7-bit data octets disagree with TP-UDL");
        const std::size_t headerSeptets = (headerOctets * 8 + 6) / 7;
        check(udl >= headerSeptets, "TP-UDL shorter than the header");
        const std::size_t bits = udl * 7;
        if (bits % 8 != 0) {
            check((r.octets.back() >> (bits % 8)) == 0, "fill bits must be zero");
        }
        if (headerOctets > 0 && headerOctets * 8 % 7 != 0) {
            const std::size_t fill = 7 - headerOctets * 8 % 7;
            check((r.octets[r.pos + headerOctets] & ((1u << fill) - 1)) == 0,
                  "fill bits after the header must be zero");
        }
        for (std::size_t k = headerSeptets; k < udl; ++k) {
            const std::size_t bit = k * 7;
            unsigned v = r.octets[r.pos + bit / 8] >> (bit % 8);
            if (bit % 8 > 1)
                v |= r.octets[r.pos + bit / 8 + 1] << (8 - bit % 8);
            d.units.push_back(static_cast<unsigned char>(v & 0x7F));
        }
    } else {
        check(rest == udl && rest >= headerOctets, "data octets disagree with TP-UDL");
        d.units.assign(r.octets.begin() + r.pos + headerOctets, r.octets.end());
    }
    return d;
}

// Every escape in `septets` is followed by a code of the extension table in use.
void checkEscapes(const std::vector<unsigned char>& septets, bool locking, bool single) {
    for (std::size_t k = 0; k < septets.size(); ++k) {
        if (septets[k] == sms::kGsmEscape) {
            check(k + 1 < septets.size(), "a part ends in an escape");
            check(sms::SeptetCharacter({septets[++k], true}, locking, single).has_value(),
                  "escape followed by a non-extension code");
        }
    }
}

bool isHigh(unsigned unit) {
    return unit >= 0xD800 && unit < 0xDC00;
}

bool isLow(unsigned unit) {
    return unit >= 0xDC00 && unit < 0xE000;
}

// The UTF-16 a phone receives for `text` in UCS-2: a surrogate without its partner cannot
// be shown and goes as U+FFFD.
std::u16string sentAsUcs2(const std::u16string& text) {
    std::u16string out = text;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (isHigh(out[i]) && i + 1 < out.size() && isLow(out[i + 1])) {
            ++i;
        } else if (isHigh(out[i]) || isLow(out[i])) {
            out[i] = 0xFFFD;
        }
    }
    return out;
}

// UCS-2 octets as they would be read back: every surrogate in its pair, and the text.
void checkUcs2(const std::vector<unsigned char>& octets, const std::u16string& text,
               const char* what) {
    const std::u16string sent = sentAsUcs2(text);
    check(octets.size() == 2 * sent.size(), what);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        check((octets[2 * i] << 8 | octets[2 * i + 1]) == sent[i], what);
    }
}

// One PDU from EncodePdu, as before.
void checkSingle(const sms::TSMS& in, const std::string& pdu, std::size_t headerOctets) {
    const Decoded d = checkPdu(in, pdu, in.TpduLength);
    check(d.header.size() == headerOctets, "header");
    if (in.Coding == sms::SmsCoding::Auto) {
        check(d.coding == 4u * static_cast<unsigned>(sms::ChooseCoding(in.Text)), "auto coding");
    }
    if (d.coding == 0x00) {
        bool escaped = false;
        for (unsigned char v : d.units) {
            if (escaped) {
                bool known = false;
                for (const auto& e : sms::GsmExtension)
                    known = known || e.code == v;
                check(known, "escape followed by a non-extension code");
                escaped = false;
            } else {
                escaped = v == sms::kGsmEscape;
            }
        }
        check(!escaped, "text ends in an escape");
    } else if (d.coding == 0x08) {
        checkUcs2(d.units, in.Text, "UCS-2 data");
    }
}

// The parts of EncodeMessage: each a message of its own, together the whole text.
void checkParts(const sms::TSMS& in, const std::vector<sms::PduPart>& parts,
                const sms::EncodeOptions& options) {
    check(!parts.empty() && parts.size() <= sms::kMaxParts, "part count");
    const sms::MessageLayout layout = sms::PlanMessage(in.Text, in.Coding, options);
    check(static_cast<std::size_t>(layout.Parts) == parts.size(), "planned part count");
    const bool locking = layout.Shift == sms::ShiftTables::TurkishLockingAndSingle;
    const bool single = layout.Shift != sms::ShiftTables::None;
    std::vector<unsigned char> all;
    int reference = -1;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const Decoded d = checkPdu(in, parts[i].Pdu, parts[i].TpduLength);
        check(d.coding == 4u * static_cast<unsigned>(layout.Coding), "coding of a part");
        const std::size_t headerSeptets = (d.header.size() * 8 + 6) / 7;
        if (d.coding == 0x00) {
            check(headerSeptets + d.units.size() <= 160, "part over 160 septets");
        } else {
            check(d.header.size() + d.units.size() <= 140, "part over 140 octets");
        }
        // The elements: concatenation when there are several parts, then the shifts.
        std::vector<unsigned char> expected;
        if (parts.size() > 1) {
            reference = reference < 0 ? d.header.at(3) : reference;
            expected = {0x00, 3, static_cast<unsigned char>(reference),
                        static_cast<unsigned char>(parts.size()),
                        static_cast<unsigned char>(i + 1)};
        }
        if (single)
            expected.insert(expected.end(), {0x24, 1, 1});
        if (locking)
            expected.insert(expected.end(), {0x25, 1, 1});
        if (!expected.empty())
            expected.insert(expected.begin(), static_cast<unsigned char>(expected.size()));
        check(d.header == expected, "user data header of a part");
        if (d.coding == 0x00) {
            checkEscapes(d.units, locking, single);
        } else if (d.coding == 0x08 && !d.units.empty() && i + 1 < parts.size()) {
            const unsigned last = d.units[d.units.size() - 2] << 8 | d.units.back();
            check(!isHigh(last), "a part ends in a high surrogate");
        }
        all.insert(all.end(), d.units.begin(), d.units.end());
    }
    if (layout.Coding == sms::SmsCoding::Ucs2) {
        checkUcs2(all, in.Text, "UCS-2 parts data");
    } else if (options.TurkishTables && in.Coding == sms::SmsCoding::Auto) {
        // With the tables every character is sent as itself.
        std::u16string text;
        for (std::size_t k = 0; k < all.size(); ++k) {
            const bool escaped = all[k] == sms::kGsmEscape;
            const auto ch = sms::SeptetCharacter({all[k + escaped], escaped}, locking, single);
            check(ch.has_value(), "septet without a character");
            text += *ch;
            k += escaped;
        }
        check(text == in.Text, "the parts do not give the text back");
    } else {
        check(all == sms::CodeText(in.Text, layout.Coding).units, "the parts lose units");
    }
}

}  // namespace

// Input: a control byte (coding, flags), a byte with the number's length and the path
// (EncodePdu, or the parts with and without the Turkish tables), the number's bytes,
// optionally a user data header, then the text (1254 bytes, or UTF-16 code units in
// pairs). On the parts path the number is mostly dialable and the text is repeated, so
// that it takes several parts; with the Turkish tables it is mostly letters of the tables.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const unsigned ctrl = data[0];
    std::size_t pos = 2;
    const bool partsPath = data[1] & 0x40;
    sms::EncodeOptions options;
    options.TurkishTables = data[1] & 0x20;
    const std::size_t numberLen =
        std::min<std::size_t>(data[1] % (partsPath ? 16 : 32), size - pos);
    sms::TSMS sms;
    sms.Number.assign(reinterpret_cast<const char*>(data + pos), numberLen);
    if ((data[1] & 0x80) || partsPath) {
        // Mostly dialable characters, so that the encoding paths get their share.
        static constexpr char kDialable[] = "0123456789+*#- ()";
        for (char& c : sms.Number) {
            const auto u = static_cast<unsigned char>(c);
            if (u % 8 != 0 && u >= 0x20)
                c = kDialable[u % (sizeof kDialable - 1)];
        }
    }
    pos += numberLen;

    static constexpr int kCodings[] = {-1, -1, -1, 0, 1, 2, 3, -7};
    sms.Coding = static_cast<sms::SmsCoding>(kCodings[ctrl & 7]);
    sms.Flash = ctrl & 0x08;
    sms.ReplyPath = ctrl & 0x10;
    sms.StatusReport = ctrl & 0x20;
    std::size_t headerOctets = 0;
    if ((ctrl & 0x40) && pos < size) {
        const unsigned n = data[pos++] % 16;
        std::vector<unsigned char> header{static_cast<unsigned char>(n)};
        for (unsigned i = 0; i < n && pos < size; ++i)
            header.push_back(data[pos++]);
        sms.UserDataHeader = toHex(header);
        if (n + 1 == header.size())
            headerOctets = header.size();
    }
    if (ctrl & 0x80) {
        for (; pos + 1 < size; pos += 2)
            sms.Text += static_cast<char16_t>(data[pos] << 8 | data[pos + 1]);
    } else {
        sms.Text = platform::cp1254::toUtf16(
            std::string_view(reinterpret_cast<const char*>(data + pos), size - pos));
    }
    if (options.TurkishTables && !(ctrl & 0x80)) {
        // Mostly letters of the tables, so that the shifts get their share.
        static constexpr char16_t kTableLetters[] =
            u"aeIk \u015F\u011F\u0131\u0130\u011E\u015E\u00E7\u00C7\u00FC\u00F6"
            u"\u015F\u011F\u0131\u0130\u011E\u015E\u00E7\u20AC[]{}^~|\\\f\r\n@\u00A3$\u00E9";
        for (char16_t& c : sms.Text) {
            if (c % 16 != 0)
                c = kTableLetters[c % (std::size(kTableLetters) - 1)];
        }
    }
    if (partsPath) {
        const std::u16string once = sms.Text;
        for (std::size_t k = size % 5; k > 0; --k)
            sms.Text += once;
    }

    const sms::TSMS before = sms;
    sms.TpduLength = -12345;
    try {
        if (partsPath) {
            const std::vector<sms::PduPart> parts = sms::EncodeMessage(sms, options);
            check(sms.TpduLength == parts.front().TpduLength, "TpduLength of the first part");
            if (!sms.UserDataHeader.empty()) {
                check(parts.size() == 1, "a message with its own header was split");
                checkSingle(sms, parts[0].Pdu, headerOctets);
            } else {
                checkParts(sms, parts, options);
            }
            if (parts.size() == 1 && !options.TurkishTables) {
                check(sms.EncodePdu() == parts[0].Pdu, "one part differs from EncodePdu");
            }
        } else {
            const std::string pdu = sms.EncodePdu();
            checkSingle(sms, pdu, headerOctets);
            check(sms.EncodePdu() == pdu, "second encoding differs");
        }
    } catch (const sms::EPduError& e) {
        check(std::string_view(e.what()) == "Error encoding PDU", "error message");
        check(sms.TpduLength == -12345, "a failure changed TpduLength");
        return 0;
    }
    check(sms.Number == before.Number && sms.Text == before.Text, "encoding changed a field");
    return 0;
}
