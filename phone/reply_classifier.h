#pragma once
// Maps one field of a phone reply to the index of its keyword.

#include <array>
#include <string_view>

namespace phone {

// The reply keywords; the index is what ClassifyReply returns. The order is fixed: callers
// act on the numbers (1 signal, 2 battery, 4 and 5 the make, 6 phonebook).
inline constexpr std::array<std::string_view, 37> kReplyKeywords = {
    "RING",     "+CSQ:",       "+CBC:",     "+CLIP:",  "SONY",        "NOKIA",
    "+CPBR:",   "+CMTI:",      "+CMGR:",    "OK",      "DIRBACK",     "SOURCE",
    "GOTO",     "NEXT",        "PREV",      "VOL+",    "VOL-",        "HIBERNATE",
    "PLAY",     "RELAY",       "MUTE",      "TUNEUP",  "TUNEDOWN",    "SETFREQ",
    "MINIMISE", "PICTUREPATH", "VIDEOPATH", "SHUFFLE", "SAVETORADIO", "SETPICTUREPATH",
    "PICBACK",  "SAVETOSKIN",  "SAVEROFF",  "SAVERON", "VISSETUP",    "REPEAT",
    "RADIOAF",
};

// Index of the first keyword equal to the whole of `text`, ignoring the case of ASCII
// letters; -1 when none is. '+CSQ:20' and '+CSQ' match nothing. The text is converted to
// code page 1254 first (characters it lacks become '?').
int ClassifyReply(std::u16string_view text);
// The same for a text already in code page 1254.
int ClassifyReply(std::string_view text);

}  // namespace phone
