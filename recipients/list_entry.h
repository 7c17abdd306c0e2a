#pragma once
// What may enter the recipient list. The list is kept in rehber.txt as Windows-1254
// bytes, so a text holding a character that code page lacks would be saved with '?'
// in its place: such a text is refused instead, and named to the user. So is a text
// holding a control character other than the tab: a line break or a zero byte would
// split or end the list when it is read back. Invisible
// formatting characters (direction marks, zero-width spaces, the byte-order mark) come
// along with numbers copied from web pages and spreadsheets; they are dropped.

#include <string>
#include <string_view>
#include <vector>

namespace recipients {

// Longest entry taken, in characters; a longer text is no phone number.
inline constexpr std::size_t kMaxEntryLength = 1000;
// Longest text looked at, in UTF-16 units of any kind, invisible ones included.
inline constexpr std::size_t kMaxEntryUnits = 4 * kMaxEntryLength;
// The readers keep at most this many bytes of a cell's UTF-8 text. Three bytes at most
// make one UTF-16 unit, so a text cut here (a few bytes short, at a character's start)
// still holds more than kMaxEntryUnits units and is refused, never taken shortened.
inline constexpr std::size_t kMaxCellBytes = 3 * (kMaxEntryUnits + 1) + 3;
// How many refused texts an import keeps to name them; the rest are only counted.
inline constexpr std::size_t kRefusedKept = 5;

// What an import (or the entry field) gives: the entries to append, as 1254 bytes, the
// first refused texts (UTF-8, cut to a little more than the message shows) and how many
// were refused in all, and a note on how the file was read (UTF-8; empty when there is
// nothing to say).
struct ImportResult {
    std::vector<std::string> entries;
    std::vector<std::string> refused;
    std::size_t refusedCount = 0;
    std::string note;
};

// True for the characters dropped from entries.
bool isInvisibleFormatting(char32_t ch);

// Converts one Unicode text to an entry: appends it to result.entries, or counts it as
// refused (keeping the first few) when it holds a character outside 1254 or a control
// character other than the tab, or is too long. Returns whether it was taken.
bool addEntry(ImportResult& result, std::u16string_view text);
// The same for UTF-8 text (invalid sequences count as characters outside 1254).
bool addEntryUtf8(ImportResult& result, std::string_view utf8);

// The message naming the refused texts (at most the first five, each cut to 40
// characters, control characters shown as their visible symbols), in UTF-8; empty
// when none was refused.
std::string refusalMessage(const ImportResult& result);

}  // namespace recipients
