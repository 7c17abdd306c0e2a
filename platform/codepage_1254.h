#pragma once
// Windows-1254 (Turkish) <-> Unicode. The program's single-byte texts are 1254 bytes;
// this is the one place where they meet Unicode.

#include <optional>
#include <string>
#include <string_view>

namespace platform::cp1254 {

// The Unicode character of a byte. The five bytes 1254 leaves undefined map to the C1
// control of the same value, as the Windows converter does.
char16_t toUnicode(unsigned char byte);

// The byte of a Unicode character, or nothing when 1254 has none.
std::optional<unsigned char> fromUnicode(char32_t ch);

std::u16string toUtf16(std::string_view bytes);
// Characters without a byte become '?'; *lossy (when given) tells whether any did.
// A surrogate pair counts as one character.
std::string fromUtf16(std::u16string_view text, bool* lossy = nullptr);

std::string toUtf8(std::string_view bytes);
// Invalid UTF-8 sequences count as characters without a byte.
std::string fromUtf8(std::string_view utf8, bool* lossy = nullptr);

// UTF-8 <-> UTF-16 helpers for the edges (command line, files).
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace platform::cp1254
