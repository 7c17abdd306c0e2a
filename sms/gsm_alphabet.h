#pragma once
// The GSM 7-bit default alphabet (3GPP TS 23.038) as seen from Windows-1254 text, and the
// choice between 7-bit, 8-bit data and UCS-2 for a message text. Pure functions over
// constant tables; everything here works on 1254 bytes, never on Unicode values.

#include <array>
#include <cstdint>
#include <string_view>

namespace sms {

// The coding of a message's user data. Values are stored as plain integers by callers, so
// the numbers are fixed; an out-of-range value is treated as Ucs2 by the encoder.
enum class SmsCoding : int {
    Auto = -1,  // let ChooseCoding decide
    Gsm7 = 0,   // default alphabet, packed septets
    Data8 = 1,  // one octet per character
    Ucs2 = 2,   // two octets per UTF-16 code unit, high octet first
};

// Indexed by a code: below 0x80 a default-alphabet code and the 1254 byte shown for it;
// from 0x80 up a byte whose lookup yields that index (a character sent only as 8-bit data).
extern const std::array<unsigned char, 256> GsmToAnsi;

// Characters the default alphabet carries only through its extension table: in 7-bit
// coding each is sent as the escape 0x1B followed by the extension code.
struct GsmExtensionEntry {
    unsigned char ansi;
    unsigned char code;
};
extern const std::array<GsmExtensionEntry, 9> GsmExtension;

inline constexpr unsigned char kGsmEscape = 0x1B;
inline constexpr unsigned char kGsmQuestionMark = 0x3F;

struct GsmCode {
    unsigned char code;  // 0-255; bit 7 set means "only as 8-bit data"
    bool extension;      // code is an extension-table code (needs the escape in 7-bit)

    friend bool operator==(const GsmCode&, const GsmCode&) = default;
};

// The code of one 1254 byte: the lowest index of GsmToAnsi holding it, else its extension
// code, else the question mark.
GsmCode MapGsmChar(unsigned char ansi);

// Gsm7, Data8 or Ucs2 (never Auto) for a message text; the first deciding byte wins.
SmsCoding ChooseCoding(std::u16string_view text);

}  // namespace sms
