#include "recipients/list_entry.h"

#include <algorithm>
#include <optional>

#include "platform/codepage_1254.h"

namespace recipients {
namespace {

// Code points of a UTF-16 text; a lone surrogate gives U+FFFD.
template <typename F>
void forEachCodePoint(std::u16string_view text, F&& f) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        f(c);
    }
}

std::string shortened(std::string_view utf8) {
    std::u16string text = platform::cp1254::utf8ToUtf16(utf8);
    if (text.size() <= 40) {
        return std::string(utf8);
    }
    text.resize(40);
    if (text.back() >= 0xD800 && text.back() <= 0xDBFF) {
        text.pop_back();
    }
    return platform::cp1254::utf16ToUtf8(text) + "…";
}

}  // namespace

bool isInvisibleFormatting(char32_t ch) {
    return ch == 0x00AD ||                    // soft hyphen
           ch == 0x061C ||                    // Arabic letter mark
           ch == 0x180E ||                    // Mongolian vowel separator
           (ch >= 0x200B && ch <= 0x200F) ||  // zero-width space, joiners, LRM, RLM
           (ch >= 0x202A && ch <= 0x202E) ||  // embeddings and overrides
           (ch >= 0x2060 && ch <= 0x2064) ||  // word joiner, invisible operators
           (ch >= 0x2066 && ch <= 0x2069) ||  // isolates
           ch == 0xFEFF;                      // byte-order mark, zero-width no-break space
}

bool addEntry(ImportResult& result, std::u16string_view text) {
    std::string bytes;
    bool outside = false;
    std::size_t length = 0;
    forEachCodePoint(text, [&](char32_t c) {
        if (isInvisibleFormatting(c)) {
            return;
        }
        ++length;
        std::optional<unsigned char> b = platform::cp1254::fromUnicode(c);
        if (!b) {
            outside = true;
            return;
        }
        bytes += static_cast<char>(*b);
    });
    if (outside || length > kMaxEntryLength) {
        result.refused.push_back(platform::cp1254::utf16ToUtf8(text));
        return false;
    }
    result.entries.push_back(std::move(bytes));
    return true;
}

bool addEntryUtf8(ImportResult& result, std::string_view utf8) {
    return addEntry(result, platform::cp1254::utf8ToUtf16(utf8));
}

std::string refusalMessage(const std::vector<std::string>& refused) {
    if (refused.empty()) {
        return {};
    }
    std::string text = refused.size() == 1
                           ? std::string("Bu kayıt listeye alınmadı:")
                           : std::to_string(refused.size()) + " kayıt listeye alınmadı:";
    const std::size_t shown = std::min<std::size_t>(refused.size(), 5);
    for (std::size_t i = 0; i < shown; ++i) {
        text += "\n\"" + shortened(refused[i]) + "\"";
    }
    if (shown < refused.size()) {
        text += "\n...";
    }
    text +=
        "\nListe yalnızca Türkçe kod sayfasındaki (1254) karakterleri tutabilir ve bir kayıt en "
        "çok " +
        std::to_string(kMaxEntryLength) + " karakter olabilir.";
    return text;
}

}  // namespace recipients
