#pragma once
// A message text turned into the units its user data carries: septets for 7-bit, octets
// otherwise, with the width of every character so that a long text is cut only between
// characters (never inside an escape pair or a surrogate pair).

#include <optional>
#include <string_view>
#include <vector>

#include "sms/gsm_alphabet.h"

namespace sms {

// Which national language shift tables a 7-bit text uses (3GPP TS 23.038 Annex A).
enum class ShiftTables {
    None,                     // the default alphabet and its extension table
    TurkishSingle,            // default alphabet, Turkish single shift
    TurkishLockingAndSingle,  // Turkish locking shift and single shift
};

struct CodedText {
    SmsCoding coding = SmsCoding::Gsm7;  // Gsm7, Data8 or Ucs2
    ShiftTables shift = ShiftTables::None;
    std::vector<unsigned char> units;   // septets for Gsm7, octets otherwise
    std::vector<unsigned char> widths;  // units of each character, in text order
};

// The coding a TSMS with `requested` uses: Auto asks ChooseCoding, an unknown value is Ucs2.
SmsCoding EffectiveCoding(SmsCoding requested, std::u16string_view text);

// The program's own coding of a text in `coding` (Gsm7, Data8 or Ucs2): 7-bit and 8-bit
// through each character's 1254 byte, where a character without a septet is sent as '?';
// UCS-2 unit by unit, a surrogate without its partner as U+FFFD.
CodedText CodeText(std::u16string_view text, SmsCoding coding);

// 7-bit through the tables of 3GPP TS 23.038 by Unicode character; nothing when some
// character is in none of the chosen tables.
std::optional<CodedText> CodeSeptets(std::u16string_view text, ShiftTables shift);

}  // namespace sms
