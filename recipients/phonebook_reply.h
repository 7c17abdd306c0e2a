#pragma once
// Reading the phone's phonebook replies (Windows-1254 bytes, echo on): the range of
// locations, one location's entry, numbers a phone in UCS2 gives as hexadecimal text.

#include <optional>
#include <string>
#include <string_view>

namespace recipients {

// What a reply to AT+CPBR=n says about location n.
struct LocationReply {
    enum class Kind {
        Entry,       // an entry (its number may be empty)
        Empty,       // a final result for this command and no entry: nothing stored there
        Unanswered,  // no answer of its own: a time-out, a ring, another location's line
    };
    Kind kind = Kind::Unanswered;
    std::string number;  // Entry: as the phone gave it, UCS2 hex decoded
};

// Reads the reply to "AT+CPBR=" `location`. Lines other than the echo, "+CPBR:" lines
// and final results (unsolicited ones such as ^RSSI:, +CMTI:, RING) are passed over.
// Only an entry for `location` counts; a line of another location is a late answer to
// an earlier command, so the final result beside it may be that command's too.
// `ucs2`: the phone gives numbers in UCS2 hex.
LocationReply parseLocationReply(std::string_view reply, int location, bool ucs2);

struct LocationRange {
    int first = 0;
    int last = 0;
};
// The locations of a reply to AT+CPBR=?: "+CPBR: (1-250),40,18", also "(1 - 250)" and
// "(0-99)". Nothing when the reply has no such list.
std::optional<LocationRange> phonebookRange(std::string_view reply);

// `reply` without the lines between the echo and the first "+CPBR:" line, so that an
// unsolicited line there does not take the keyword's place. Unchanged without one.
std::string withoutLinesBeforeKeyword(std::string_view reply);

// A number given as UCS2 hex ("002B0039" is "+9"): its text when every unit is a
// character a number can hold, else nothing.
std::optional<std::string> ucs2Number(std::string_view hex);

}  // namespace recipients
