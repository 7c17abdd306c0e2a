#pragma once
// What may enter the recipient list. The list is kept in rehber.txt as Windows-1254
// bytes, so a text holding a character that code page lacks would be saved with '?'
// in its place: such a text is refused instead, and named to the user. Invisible
// formatting characters (direction marks, zero-width spaces, the byte-order mark) come
// along with numbers copied from web pages and spreadsheets; they are dropped.

#include <string>
#include <string_view>
#include <vector>

namespace recipients {

// Longest entry taken, in characters; a longer text is no phone number.
inline constexpr std::size_t kMaxEntryLength = 1000;

// What an import (or the entry field) gives: the entries to append, as 1254 bytes, and
// the texts refused, as UTF-8 for the message.
struct ImportResult {
    std::vector<std::string> entries;
    std::vector<std::string> refused;
};

// True for the characters dropped from entries.
bool isInvisibleFormatting(char32_t ch);

// Converts one Unicode text to an entry: appends it to result.entries, or to
// result.refused when it holds a character outside 1254 or is too long. Returns
// whether it was taken.
bool addEntry(ImportResult& result, std::u16string_view text);
// The same for UTF-8 text (invalid sequences count as characters outside 1254).
bool addEntryUtf8(ImportResult& result, std::string_view utf8);

// The message naming the refused texts (at most the first five, each cut to 40
// characters), in UTF-8; empty when none was refused.
std::string refusalMessage(const std::vector<std::string>& refused);

}  // namespace recipients
