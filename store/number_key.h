#pragma once
// The form in which two phone numbers are compared (opt-out list, report pairing).

#include <string>
#include <string_view>

namespace store {

// For now the digits of `cp1254` and nothing else: "+90 532-123" is "90532123".
// Stored beside every recipient, so a better rule later needs a migration that fills
// the column again.
std::string normaliseForMatching(std::string_view cp1254);

}  // namespace store
