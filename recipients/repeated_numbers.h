#pragma once
// Finding the same phone number written in different ways, for "Tekrarları Sil".

#include <string>
#include <string_view>
#include <vector>

namespace recipients {

// The number as it is compared: its E.164 form (phone_number.h), so that
// +90 532 111 22 33, 905321112233 and 0532-111-22-33 are one number. An entry that holds
// no valid number is compared as written without blanks and separators (- . / ( )), and
// without a +90, 0090, 90 or 0 in front of ten digits, so that a mistyped number repeated
// in two forms still counts once. An entry that is empty after that has an empty key.
std::string numberKey(std::string_view entry);

// The entries with every repeat of a number removed, the first one kept; entries
// without a number (an empty key) all stay. `removed` gets the count taken out.
std::vector<std::string> withoutRepeats(const std::vector<std::string>& entries, int* removed);

}  // namespace recipients
