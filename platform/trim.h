#pragma once
// Text without the blanks (spaces, tabs, line ends) at its two ends.

#include <cctype>
#include <string>
#include <string_view>

namespace platform {

inline std::string trimBlanks(std::string_view s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) {
        ++b;
    }
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) {
        --e;
    }
    return std::string(s.substr(b, e - b));
}

}  // namespace platform
