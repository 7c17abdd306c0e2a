#include "phone/at_fields.h"

#include <algorithm>
#include <charconv>

#include "platform/hex_digit.h"

namespace phone {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool isHex(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return platform::hexValue(c) >= 0; });
}

int wholeNumber(std::string_view s) {
    s = trimmed(s);
    int n = -1;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), n);
    return error == std::errc() && end == s.data() + s.size() && n >= 0 ? n : -1;
}

}  // namespace phone
