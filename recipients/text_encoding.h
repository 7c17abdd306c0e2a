#pragma once
// How the bytes of a text file (a list of numbers, a .csv) are read. A byte-order mark
// decides (UTF-8, UTF-16 LE or BE). Without one, zero bytes in every other place mark
// UTF-16 (Windows' "Unicode" save leaves the mark out at times); otherwise a text that
// is valid UTF-8 is UTF-8 and anything else Windows-1254, as programs here write it.

#include <string>
#include <string_view>

namespace recipients {

enum class TextEncoding { Utf8, Utf16Le, Utf16Be, Cp1254 };

struct TextForm {
    TextEncoding encoding = TextEncoding::Cp1254;
    std::string_view body;  // the bytes after the byte-order mark
    bool guessedUtf16 = false;
};

TextForm textForm(std::string_view bytes);

// What the user should know of the way the file was read (UTF-8), or empty.
std::string encodingNote(const TextForm& form);

// The body as UTF-16 or UTF-8; an odd last byte of UTF-16 is dropped.
std::u16string toUtf16(const TextForm& form);
std::string toUtf8(const TextForm& form);

// Whether the text is valid UTF-8; a sequence cut short at the very end (a file whose
// copy broke off) does not count against it.
bool validUtf8(std::string_view text);

}  // namespace recipients
