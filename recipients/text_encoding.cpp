#include "recipients/text_encoding.h"

#include <algorithm>

#include "platform/codepage_1254.h"

namespace recipients {
namespace {

// Enough of a file to tell UTF-16 by its zero bytes.
constexpr std::size_t kSampleBytes = 65536;

// Zero bytes, by the parity of their place, in the sample. Zero bytes at the end are
// left out: a file cut short on a pulled stick often ends in a block of them.
bool looksUtf16(std::string_view bytes, bool* bigEndian) {
    const std::size_t end = bytes.find_last_not_of('\0');
    if (end == std::string_view::npos) {
        return false;
    }
    const std::string_view sample = bytes.substr(0, std::min(end + 1, kSampleBytes));
    std::size_t zeros[2] = {0, 0};
    for (std::size_t i = 0; i < sample.size(); ++i) {
        zeros[i % 2] += sample[i] == '\0';
    }
    const std::size_t units = (sample.size() + 1) / 2;
    // Digits and Latin letters have a zero high byte, and numbers are mostly digits. A
    // scattered zero byte in an 8-bit file lands on both sides alike.
    for (int side : {1, 0}) {
        if (zeros[side] >= 2 && zeros[side] * 2 >= units && zeros[1 - side] * 8 <= zeros[side]) {
            *bigEndian = side == 0;
            return true;
        }
    }
    return false;
}

std::u16string decodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        text += static_cast<char16_t>(hi << 8 | lo);
    }
    return text;
}

}  // namespace

bool validUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int more = c < 0x80                 ? 0
                         : c >= 0xC2 && c <= 0xDF ? 1
                         : c >= 0xE0 && c <= 0xEF ? 2
                         : c >= 0xF0 && c <= 0xF4 ? 3
                                                  : -1;
        if (more < 0) {
            return false;
        }
        for (int k = 1; k <= more; ++k) {
            if (i + k == s.size()) {
                return true;  // cut short at the end
            }
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

TextForm textForm(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return {TextEncoding::Utf8, bytes.substr(3)};
    }
    if (bytes.starts_with("\xFF\xFE")) {
        return {TextEncoding::Utf16Le, bytes.substr(2)};
    }
    if (bytes.starts_with("\xFE\xFF")) {
        return {TextEncoding::Utf16Be, bytes.substr(2)};
    }
    bool bigEndian = false;
    if (looksUtf16(bytes, &bigEndian)) {
        return {bigEndian ? TextEncoding::Utf16Be : TextEncoding::Utf16Le, bytes, true};
    }
    return {validUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Cp1254, bytes};
}

std::string encodingNote(const TextForm& form) {
    if (!form.guessedUtf16) {
        return {};
    }
    return "Dosyada bayt sırası işareti yok; sıfır baytlarından UTF-16 olduğu anlaşıldı ve "
           "öyle okundu.";
}

std::u16string toUtf16(const TextForm& form) {
    switch (form.encoding) {
        case TextEncoding::Utf8:
            return platform::cp1254::utf8ToUtf16(form.body);
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            return decodeUtf16(form.body, form.encoding == TextEncoding::Utf16Be);
        case TextEncoding::Cp1254:
            break;
    }
    return platform::cp1254::toUtf16(form.body);
}

std::string toUtf8(const TextForm& form) {
    switch (form.encoding) {
        case TextEncoding::Utf8:
            return std::string(form.body);
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            return platform::cp1254::utf16ToUtf8(toUtf16(form));
        case TextEncoding::Cp1254:
            break;
    }
    return platform::cp1254::toUtf8(form.body);
}

}  // namespace recipients
