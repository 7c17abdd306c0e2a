#pragma once
// The GSM 7-bit default alphabet and its extension table (3GPP TS 23.038, 6.2.1), and
// the Turkish locking and single shift tables (Annex A), for turning the septets of a
// message into readable text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace phonesim {

// Septets packed low bit first, as TS 23.038 6.1.2.1.1 lays them out: `count` septets
// from `octets`. Septets that the octets do not hold come back as 0.
std::vector<std::uint8_t> unpackSeptets(std::string_view octets, std::size_t count);

// Septets of the default alphabet as UTF-8. An escape followed by a code of the
// extension table gives that character; an escape followed by any other code gives the
// code's character of the main table, as TS 23.038 asks of a receiver.
// `lockingShift` and `singleShift` are the national languages of the shift elements of
// the user data header (0: none); Turkish (1) is known, any other gives the default tables.
std::string gsm7ToUtf8(const std::vector<std::uint8_t>& septets, int lockingShift = 0,
                       int singleShift = 0);

// One Unicode character as UTF-8 (surrogate code points become U+FFFD).
void appendUtf8(std::string& out, char32_t ch);

}  // namespace phonesim
