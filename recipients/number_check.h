#pragma once
// Which entries of a list are no mobile numbers, before a run sends to them: an SMS to
// an invalid number or to a fixed line costs a message and reaches nobody.

#include <array>
#include <string>
#include <vector>

#include "recipients/phone_number.h"

namespace recipients {

struct NumberCheck {
    std::vector<NumberKind> kinds;  // one per entry, in list order
    std::array<int, kNumberKindCount> counts{};

    int count(NumberKind kind) const { return counts[static_cast<std::size_t>(kind)]; }
    // Entries that hold no number ("geçersiz").
    int invalid() const { return count(NumberKind::Invalid); }
    // Valid numbers that are not mobile ("sabit hat", "ücretsiz hat", "paylaşımlı", "diğer").
    int notMobile() const;
};

// The kind of every entry (Windows-1254 bytes) and how many there are of each.
NumberCheck checkNumbers(const std::vector<std::string>& entries);

// The entries that are mobile numbers, in their order: the list without those counted
// as invalid or not mobile. `check` is checkNumbers(entries).
std::vector<std::string> mobileOnly(const std::vector<std::string>& entries,
                                    const NumberCheck& check);

// What the check found, in UTF-8, for a question before a run: "2 kayıt geçersiz numara,
// 3 kayıt mobil numara değil (2 sabit hat, 1 ücretsiz hat)". Empty when every entry is a
// mobile number.
std::string describeNotMobile(const NumberCheck& check);

}  // namespace recipients
