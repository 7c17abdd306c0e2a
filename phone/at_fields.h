#pragma once
// Small readers for the fields of the SMS service's lines (+CMGL, +CMGR, +CMT, +CDS,
// +CMTI, +CSMS, +CNMI=?), shared by the unsolicited-line scan, the stored-message
// parsers and the receiver.

#include <string_view>

namespace phone {

// Without the blanks and tabs around it, and without a CR at its end.
std::string_view trimmed(std::string_view s);
// Not empty, and hexadecimal digits only (either letter case).
bool isHex(std::string_view s);
// A whole non-negative decimal number, blanks around it allowed; -1 otherwise.
int wholeNumber(std::string_view s);

}  // namespace phone
