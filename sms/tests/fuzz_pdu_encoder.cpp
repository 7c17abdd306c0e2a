// Any number and text either fail with "Error encoding PDU" or give an upper-case
// hexadecimal PDU whose fields and length counts agree with its content.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage_1254.h"
#include "sms/pdu_encoder.h"

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

void checkPdu(const sms::TSMS& in, const std::string& pdu, std::size_t headerOctets) {
    check(pdu.size() % 2 == 0 && pdu.size() >= 2 && pdu.compare(0, 2, "00") == 0,
          "PDU must start with an empty service centre and have whole octets");
    check(static_cast<std::size_t>(in.TpduLength) * 2 + 2 == pdu.size(), "TpduLength");
    Reader r;
    for (std::size_t i = 2; i < pdu.size(); i += 2) {
        const int hi = hexNibble(pdu[i]), lo = hexNibble(pdu[i + 1]);
        check(hi >= 0 && lo >= 0, "PDU holds a character other than 0-9 A-F");
        r.octets.push_back(static_cast<unsigned char>(hi << 4 | lo));
    }

    const unsigned char first = r.next();
    check((first & 0x1F) == 0x11, "first octet: SMS-SUBMIT, relative validity");
    check(((first & 0x20) != 0) == in.StatusReport, "TP-SRR");
    check(((first & 0x40) != 0) == (headerOctets > 0), "TP-UDHI");
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
    const unsigned coding = dcs & ~0x10u;
    check(coding == 0x00 || coding == 0x04 || coding == 0x08, "coding scheme");
    if (in.Coding == sms::SmsCoding::Auto) {
        check(coding == 4u * static_cast<unsigned>(sms::ChooseCoding(in.Text)), "auto coding");
    }
    check(r.next() == 0xFF, "TP-VP");
    const unsigned udl = r.next();
    const std::size_t rest = r.octets.size() - r.pos;
    if (coding == 0x00) {
        check(rest == (udl * 7 + 7) / 8, "7-bit data octets disagree with TP-UDL");
        const std::size_t headerSeptets = (headerOctets * 8 + 6) / 7;
        check(udl >= headerSeptets, "TP-UDL shorter than the header");
        const std::size_t bits = udl * 7;
        if (bits % 8 != 0) {
            check((r.octets.back() >> (bits % 8)) == 0, "fill bits must be zero");
        }
        // An escape is always followed by an extension code.
        bool escaped = false;
        for (std::size_t k = headerSeptets; k < udl; ++k) {
            const std::size_t bit = k * 7;
            unsigned v = r.octets[r.pos + bit / 8] >> (bit % 8);
            if (bit % 8 > 1)
                v |= r.octets[r.pos + bit / 8 + 1] << (8 - bit % 8);
            v &= 0x7F;
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
    } else {
        check(rest == udl, "data octets disagree with TP-UDL");
        if (coding == 0x08) {
            check(udl == headerOctets + 2 * in.Text.size(), "UCS-2 length");
            for (std::size_t i = 0; i < in.Text.size(); ++i) {
                const std::size_t at = r.pos + headerOctets + 2 * i;
                check((r.octets[at] << 8 | r.octets[at + 1]) == in.Text[i], "UCS-2 data");
            }
        }
    }
    if (headerOctets > 0) {
        check(r.octets[r.pos] + 1u == headerOctets, "header length octet");
    }
}

}  // namespace

// Input: a control byte (coding, flags), the number's length and bytes, optionally a
// user data header, then the text (1254 bytes, or UTF-16 code units in pairs).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const unsigned ctrl = data[0];
    std::size_t pos = 2;
    const std::size_t numberLen = std::min<std::size_t>(data[1] % 32, size - pos);
    sms::TSMS sms;
    sms.Number.assign(reinterpret_cast<const char*>(data + pos), numberLen);
    if (data[1] & 0x20) {
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

    const sms::TSMS before = sms;
    sms.TpduLength = -12345;
    std::string pdu;
    try {
        pdu = sms.EncodePdu();
    } catch (const sms::EPduError& e) {
        check(std::string_view(e.what()) == "Error encoding PDU", "error message");
        check(sms.TpduLength == -12345, "a failure changed TpduLength");
        return 0;
    }
    check(sms.Number == before.Number && sms.Text == before.Text, "encoding changed a field");
    checkPdu(sms, pdu, headerOctets);
    check(sms.EncodePdu() == pdu, "second encoding differs");
    return 0;
}
