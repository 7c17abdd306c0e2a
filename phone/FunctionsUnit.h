#pragma once
// Cutting a phone reply into fields and taking the quotes off a value. Texts are
// Windows-1254 bytes; a "blank" is any byte from 1 to 32 (space, CR, LF, tab, ...).

#include <stdexcept>
#include <string>
#include <string_view>

#include "phone/string_list.h"

namespace phone {

// A broken internal assumption: the message reads "Assertion failure (FunctionsUnit, line 24)".
class EAssertionFailed : public std::logic_error {
public:
    EAssertionFailed(const char* source, int line);
};

// Empties `list` and fills it with the fields of `text`:
// - blanks separate fields just as `delimiter` does, and blanks around fields are dropped;
// - a field that starts with a double quote runs to the next double quote not followed by
//   another one; a doubled double quote inside stands for one, the quotes are dropped;
//   without a closing quote the field is the rest of the text less its last byte;
// - every field is kept, also an empty one ('a,,b' gives 'a', '' and 'b'), and a delimiter
//   that is the very last byte adds an empty field ('a,' gives 'a' and '');
// - a NUL byte ends the text.
// Returns `list`.
StringList& SplitFields(char delimiter, std::string_view text, StringList& list);
// The same for a list that may be missing: no list throws EAssertionFailed.
StringList& SplitFields(char delimiter, std::string_view text, StringList* list);

// `text` without the bytes 0 to 32 at both ends, and then without its first and last byte
// (the quotes around a value). Two bytes or fewer left give an empty text.
std::string StripEnclosing(std::string_view text);

}  // namespace phone
