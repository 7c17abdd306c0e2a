#pragma once
// The form in which two phone numbers are compared (opt-out list, report pairing).

#include <string>
#include <string_view>

namespace store {

// The E.164 form of a valid number ("0532 123 45 67" and "+905321234567" are both
// "+905321234567"); for anything else its digits alone, so that a name or a short code
// still compares with itself. Stored beside every recipient, so a change of this rule
// needs a migration that fills the column again.
std::string normaliseForMatching(std::string_view cp1254);

}  // namespace store
