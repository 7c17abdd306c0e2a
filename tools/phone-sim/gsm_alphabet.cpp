#include "tools/phone-sim/gsm_alphabet.h"

namespace phonesim {
namespace {

constexpr char16_t kMain[128] = {
    u'@',      u'\u00A3', u'$',      u'\u00A5', u'\u00E8', u'\u00E9', u'\u00F9', u'\u00EC',
    u'\u00F2', u'\u00C7', u'\n',     u'\u00D8', u'\u00F8', u'\r',     u'\u00C5', u'\u00E5',
    u'\u0394', u'_',      u'\u03A6', u'\u0393', u'\u039B', u'\u03A9', u'\u03A0', u'\u03A8',
    u'\u03A3', u'\u0398', u'\u039E', u'\u00A0', u'\u00C6', u'\u00E6', u'\u00DF', u'\u00C9',
    u' ',      u'!',      u'"',      u'#',      u'\u00A4', u'%',      u'&',      u'\'',
    u'(',      u')',      u'*',      u'+',      u',',      u'-',      u'.',      u'/',
    u'0',      u'1',      u'2',      u'3',      u'4',      u'5',      u'6',      u'7',
    u'8',      u'9',      u':',      u';',      u'<',      u'=',      u'>',      u'?',
    u'\u00A1', u'A',      u'B',      u'C',      u'D',      u'E',      u'F',      u'G',
    u'H',      u'I',      u'J',      u'K',      u'L',      u'M',      u'N',      u'O',
    u'P',      u'Q',      u'R',      u'S',      u'T',      u'U',      u'V',      u'W',
    u'X',      u'Y',      u'Z',      u'\u00C4', u'\u00D6', u'\u00D1', u'\u00DC', u'\u00A7',
    u'\u00BF', u'a',      u'b',      u'c',      u'd',      u'e',      u'f',      u'g',
    u'h',      u'i',      u'j',      u'k',      u'l',      u'm',      u'n',      u'o',
    u'p',      u'q',      u'r',      u's',      u't',      u'u',      u'v',      u'w',
    u'x',      u'y',      u'z',      u'\u00E4', u'\u00F6', u'\u00F1', u'\u00FC', u'\u00E0',
};

// Turkish locking shift table (TS 23.038 A.3.1); 0x1B stays the escape.
constexpr char16_t kTurkishLocking[128] = {
    u'@',      u'\u00A3', u'$',      u'\u00A5', u'\u20AC', u'\u00E9', u'\u00F9', u'\u0131',
    u'\u00F2', u'\u00C7', u'\n',     u'\u011E', u'\u011F', u'\r',     u'\u00C5', u'\u00E5',
    u'\u0394', u'_',      u'\u03A6', u'\u0393', u'\u039B', u'\u03A9', u'\u03A0', u'\u03A8',
    u'\u03A3', u'\u0398', u'\u039E', u'\u00A0', u'\u015E', u'\u015F', u'\u00DF', u'\u00C9',
    u' ',      u'!',      u'"',      u'#',      u'\u00A4', u'%',      u'&',      u'\'',
    u'(',      u')',      u'*',      u'+',      u',',      u'-',      u'.',      u'/',
    u'0',      u'1',      u'2',      u'3',      u'4',      u'5',      u'6',      u'7',
    u'8',      u'9',      u':',      u';',      u'<',      u'=',      u'>',      u'?',
    u'\u0130', u'A',      u'B',      u'C',      u'D',      u'E',      u'F',      u'G',
    u'H',      u'I',      u'J',      u'K',      u'L',      u'M',      u'N',      u'O',
    u'P',      u'Q',      u'R',      u'S',      u'T',      u'U',      u'V',      u'W',
    u'X',      u'Y',      u'Z',      u'\u00C4', u'\u00D6', u'\u00D1', u'\u00DC', u'\u00A7',
    u'\u00E7', u'a',      u'b',      u'c',      u'd',      u'e',      u'f',      u'g',
    u'h',      u'i',      u'j',      u'k',      u'l',      u'm',      u'n',      u'o',
    u'p',      u'q',      u'r',      u's',      u't',      u'u',      u'v',      u'w',
    u'x',      u'y',      u'z',      u'\u00E4', u'\u00F6', u'\u00F1', u'\u00FC', u'\u00E0',
};

constexpr std::uint8_t kEscape = 0x1B;
constexpr int kTurkish = 1;  // national language identifier

// The Turkish single shift table (TS 23.038 A.2.1): the default extension table's
// characters and the Turkish letters; nothing for a code it leaves unused.
char16_t turkishSingleShift(std::uint8_t code) {
    switch (code) {
        case 0x47:
            return u'\u011E';
        case 0x49:
            return u'\u0130';
        case 0x53:
            return u'\u015E';
        case 0x63:
            return u'\u00E7';
        case 0x67:
            return u'\u011F';
        case 0x69:
            return u'\u0131';
        case 0x73:
            return u'\u015F';
        default:
            return 0;
    }
}

char16_t extension(std::uint8_t code, const char16_t* main, int singleShift) {
    if (singleShift == kTurkish) {
        if (const char16_t ch = turkishSingleShift(code)) {
            return ch;
        }
    }
    switch (code) {
        case 0x0A:
            return u'\f';
        case 0x14:
            return u'^';
        case 0x28:
            return u'{';
        case 0x29:
            return u'}';
        case 0x2F:
            return u'\\';
        case 0x3C:
            return u'[';
        case 0x3D:
            return u'~';
        case 0x3E:
            return u']';
        case 0x40:
            return u'|';
        case 0x65:
            return u'\u20AC';
        default:
            return main[code & 0x7F];
    }
}

}  // namespace

std::vector<std::uint8_t> unpackSeptets(std::string_view octets, std::size_t count) {
    std::vector<std::uint8_t> septets(count, 0);
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t bit = k * 7;
        const std::size_t byte = bit / 8;
        const unsigned shift = bit % 8;
        unsigned value = 0;
        if (byte < octets.size()) {
            value = static_cast<unsigned char>(octets[byte]) >> shift;
        }
        if (shift > 1 && byte + 1 < octets.size()) {
            value |= static_cast<unsigned>(static_cast<unsigned char>(octets[byte + 1]))
                     << (8 - shift);
        }
        septets[k] = static_cast<std::uint8_t>(value & 0x7F);
    }
    return septets;
}

void appendUtf8(std::string& out, char32_t ch) {
    if ((ch >= 0xD800 && ch <= 0xDFFF) || ch > 0x10FFFF) {
        ch = 0xFFFD;
    }
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

std::string gsm7ToUtf8(const std::vector<std::uint8_t>& septets, int lockingShift,
                       int singleShift) {
    const char16_t* main = lockingShift == kTurkish ? kTurkishLocking : kMain;
    std::string out;
    for (std::size_t i = 0; i < septets.size(); ++i) {
        if (septets[i] == kEscape && i + 1 < septets.size()) {
            appendUtf8(out, extension(septets[++i], main, singleShift));
        } else {
            appendUtf8(out, main[septets[i] & 0x7F]);
        }
    }
    return out;
}

}  // namespace phonesim
