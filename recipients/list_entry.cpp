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

constexpr std::size_t kShownLength = 40;

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// At most `units` UTF-16 units of the text, never half a surrogate pair.
std::u16string_view prefix(std::u16string_view text, std::size_t units) {
    if (text.size() <= units) {
        return text;
    }
    text = text.substr(0, units);
    if (isHighSurrogate(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A refused text as the message names it: cut to kShownLength characters, control
// characters as their symbols (U+2400 ...), so that a zero byte shows instead of
// ending the message.
std::string shortened(std::string_view utf8) {
    const std::u16string text = platform::cp1254::utf8ToUtf16(utf8);
    std::u16string shown(prefix(text, kShownLength));
    for (char16_t& c : shown) {
        if (c < 0x20) {
            c = static_cast<char16_t>(0x2400 + c);
        }
    }
    return platform::cp1254::utf16ToUtf8(shown) + (shown.size() < text.size() ? "…" : "");
}

void refuse(ImportResult& result, std::u16string_view text) {
    ++result.refusedCount;
    if (result.refused.size() < kRefusedKept) {
        // A little more than is shown, so the message still knows the text went on.
        result.refused.push_back(platform::cp1254::utf16ToUtf8(prefix(text, kShownLength + 8)));
    }
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
    if (text.size() > kMaxEntryUnits) {
        refuse(result, text);
        return false;
    }
    std::string bytes;
    bool refused = false;
    std::size_t length = 0;
    forEachCodePoint(text, [&](char32_t c) {
        if (refused || isInvisibleFormatting(c)) {
            return;
        }
        const std::optional<unsigned char> b = platform::cp1254::fromUnicode(c);
        refused = !b || (c < 0x20 && c != '\t') || ++length > kMaxEntryLength;
        if (!refused) {
            bytes += static_cast<char>(*b);
        }
    });
    if (refused) {
        refuse(result, text);
        return false;
    }
    result.entries.push_back(std::move(bytes));
    return true;
}

bool addEntryUtf8(ImportResult& result, std::string_view utf8) {
    return addEntry(result, platform::cp1254::utf8ToUtf16(utf8));
}

std::string refusalMessage(const ImportResult& result) {
    // Counted as they were added; a caller that filled `refused` itself is counted too.
    const std::size_t count = std::max(result.refusedCount, result.refused.size());
    if (count == 0) {
        return {};
    }
    std::string text = count == 1 ? std::string("Bu kayıt listeye alınmadı:")
                                  : std::to_string(count) + " kayıt listeye alınmadı:";
    const std::size_t shown = std::min<std::size_t>(result.refused.size(), kRefusedKept);
    for (std::size_t i = 0; i < shown; ++i) {
        text += "\n\"" + shortened(result.refused[i]) + "\"";
    }
    if (shown < count) {
        text += "\n...";
    }
    text +=
        "\nListe yalnızca Türkçe kod sayfasındaki (1254) karakterleri tutabilir (sekme dışında "
        "kontrol karakterleri olmadan) ve bir kayıt en çok " +
        std::to_string(kMaxEntryLength) + " karakter olabilir.";
    return text;
}

}  // namespace recipients
