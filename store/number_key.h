#pragma once
// The form in which two phone numbers are compared (opt-out list, report pairing).

#include <string>
#include <string_view>

namespace store {

// The digits of `cp1254`, a Turkish number written nationally given its country code, so
// that a number matches however it was written: "+90 532 123 45 67", "0532 123 45 67",
// "00905321234567" and "5321234567" are all "905321234567". Anything else (short codes,
// other lengths) is its digits as they stand.
// Stored beside every recipient (the opt-out list and the inbox keep optOutKey() of it),
// so a change of rule needs a migration that fills the columns again (normalise_number()
// and opt_out_key() in SQL while migrating).
std::string normaliseForMatching(std::string_view cp1254);

}  // namespace store
