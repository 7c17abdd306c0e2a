#pragma once
// Finding the same phone number written in different ways, for "Tekrarları Sil".

#include <string>
#include <string_view>
#include <vector>

namespace recipients {

// The number as it is compared: without blanks and separators (- . / ( )), and for a
// Turkish number without its leading +90, 0090, 90 or 0, so that +90 532 111 22 33,
// 905321112233 and 0532-111-22-33 are one number. An entry that is empty after that is
// no number and has an empty key.
std::string numberKey(std::string_view entry);

// The entries with every repeat of a number removed, the first one kept; entries
// without a number (an empty key) all stay. `removed` gets the count taken out.
std::vector<std::string> withoutRepeats(const std::vector<std::string>& entries, int* removed);

}  // namespace recipients
