#include "phone/str_to_int.h"

#include <charconv>

namespace phone {

int32_t StrToInt(std::string_view text) {
    std::string_view s = text;
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    // from_chars takes '-' but not '+'.
    if (s.size() > 1 && s.front() == '+' && s[1] != '-') {
        s.remove_prefix(1);
    }
    int32_t value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || error != std::errc() || end != s.data() + s.size()) {
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    }
    return value;
}

}  // namespace phone
