#include "platform/codepage_1254.h"

#include <array>

namespace platform::cp1254 {
namespace {

// 0x80..0x9F; undefined positions hold their own value.
constexpr std::array<char16_t, 32> kHigh80 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178};

// 0xA0..0xFF equal Latin-1 except these six Turkish letters.
char16_t turkish(unsigned char b) {
    switch (b) {
        case 0xD0:
            return 0x011E;  // Ğ
        case 0xDD:
            return 0x0130;  // İ
        case 0xDE:
            return 0x015E;  // Ş
        case 0xF0:
            return 0x011F;  // ğ
        case 0xFD:
            return 0x0131;  // ı
        case 0xFE:
            return 0x015F;  // ş
        default:
            return b;
    }
}

// Decodes one UTF-8 sequence at s[i]; returns U+FFFFFFFF for an invalid one and
// advances i past what it consumed.
char32_t nextUtf8(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i++]);
    if (b0 < 0x80) {
        return b0;
    }
    int extra;
    char32_t cp;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07;
    } else {
        return 0xFFFFFFFF;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            return 0xFFFFFFFF;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0xFFFFFFFF;
    }
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

}  // namespace

char16_t toUnicode(unsigned char byte) {
    if (byte < 0x80) {
        return byte;
    }
    if (byte < 0xA0) {
        return kHigh80[byte - 0x80];
    }
    return turkish(byte);
}

std::optional<unsigned char> fromUnicode(char32_t ch) {
    if (ch < 0x80) {
        return static_cast<unsigned char>(ch);
    }
    if (ch >= 0xA0 && ch <= 0xFF) {
        const auto b = static_cast<unsigned char>(ch);
        if (turkish(b) == ch) {
            return b;
        }
        return std::nullopt;  // Ð Ý Þ ð ý þ: their places hold the Turkish letters
    }
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        if (toUnicode(static_cast<unsigned char>(b)) == ch) {
            return static_cast<unsigned char>(b);
        }
    }
    return std::nullopt;
}

std::u16string toUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        out += toUnicode(static_cast<unsigned char>(c));
    }
    return out;
}

std::string fromUtf16(std::u16string_view text, bool* lossy) {
    std::string out;
    out.reserve(text.size());
    bool lost = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        auto b = (cp >= 0xD800 && cp <= 0xDFFF) ? std::nullopt : fromUnicode(cp);
        if (b) {
            out += static_cast<char>(*b);
        } else {
            out += '?';
            lost = true;
        }
    }
    if (lossy) {
        *lossy = lost;
    }
    return out;
}

std::string toUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        appendUtf8(out, toUnicode(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string fromUtf8(std::string_view utf8, bool* lossy) {
    std::string out;
    out.reserve(utf8.size());
    bool lost = false;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t cp = nextUtf8(utf8, i);
        auto b = cp == 0xFFFFFFFF ? std::nullopt : fromUnicode(cp);
        if (b) {
            out += static_cast<char>(*b);
        } else {
            out += '?';
            lost = true;
        }
    }
    if (lossy) {
        *lossy = lost;
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t cp = nextUtf8(utf8, i);
        appendUtf16(out, cp == 0xFFFFFFFF ? 0xFFFD : cp);
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        appendUtf8(out, cp);
    }
    return out;
}

}  // namespace platform::cp1254
