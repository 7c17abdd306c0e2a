#include "store/number_key.h"

namespace store {
namespace {

constexpr std::string_view kCountryCode = "90";
constexpr size_t kNationalDigits = 10;  // a Turkish number without its trunk 0

}  // namespace

std::string normaliseForMatching(std::string_view cp1254) {
    std::string digits;
    for (char c : cp1254) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    if (digits.size() > 4 && digits.starts_with("00")) {
        digits.erase(0, 2);  // international prefix
    } else if (digits.size() == kNationalDigits + 1 && digits[0] == '0' && digits[1] != '0') {
        digits.replace(0, 1, kCountryCode);  // trunk prefix
    } else if (digits.size() == kNationalDigits && digits[0] >= '2' && digits[0] <= '5') {
        // Landline (2-4) and mobile (5) numbers written without the trunk 0.
        digits.insert(0, kCountryCode);
    }
    return digits;
}

}  // namespace store
