#pragma once
// The value of one hexadecimal digit, for the texts phones send as hex (PDUs, UCS2).

namespace platform {

// 0-15, or -1 when `c` is no hexadecimal digit (either letter case).
constexpr int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace platform
