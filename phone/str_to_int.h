#pragma once
// Reading a whole number typed by the user, with the error the user is shown.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace phone {

// "'%s' is not a valid integer value", with the text in place of %s.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decimal, with an optional sign; blanks may precede it. Anything else, or a number
// outside the 32-bit range, throws EConvertError.
int32_t StrToInt(std::string_view text);

}  // namespace phone
