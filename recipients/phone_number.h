#pragma once
// One normal form of a phone number, so that "0532 123 45 67", "+90 (532) 123-45-67"
// and "905321234567" are known as one number wherever two numbers are compared. The
// numbering plans come from Google's libphonenumber; a number that does not name its
// country (no + or 00) is read as a Turkish one.
//
// An entry is a number when it holds only digits (Arabic-Indic digits included), blanks,
// the separators - . / ( ) and at most one + before the first digit. Anything else, a
// letter above all, makes it no number: libphonenumber would read "0532ABC4567" as a
// keypad word and "5321234567a" as 5321234567, and the entry as listed is what the
// phone is given. Two numbers in one cell are too long for any plan and no number either.
// What is sent stays the entry as the user listed it; the normal form only compares.

#include <string>
#include <string_view>

namespace recipients {

// The kind of line a number reaches, as the list names it.
enum class NumberKind {
    Mobile,      // "mobil"
    FixedLine,   // "sabit hat"
    TollFree,    // "ücretsiz hat" (0800)
    SharedCost,  // "paylaşımlı" (0850, 444)
    Other,       // "diğer": premium rate (0900), personal, VoIP, pager, or undecidable
    Invalid,     // "geçersiz": no number of any plan
};
inline constexpr int kNumberKindCount = 6;

// The kind's name in UTF-8, as above.
std::string_view kindName(NumberKind kind);

struct NumberForm {
    std::string e164;  // "+905321234567"; empty for an invalid entry
    NumberKind kind = NumberKind::Invalid;
};

// The number a Unicode text holds.
NumberForm readNumber(std::u16string_view text);
// The same for a list entry (Windows-1254 bytes).
NumberForm readEntry(std::string_view entry);

// The E.164 form of the number a list entry (Windows-1254 bytes) holds, or empty when it
// holds none. Two entries are the same number exactly when these agree and are not empty.
std::string normalise(std::string_view entry);

}  // namespace recipients
