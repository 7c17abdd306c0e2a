#pragma once
// The text-file import: one number per line, or several on a line separated by blanks
// or tabs.
//
// The encoding is found as text_encoding.h says. Lines end at CR LF, a lone CR or a
// lone LF; a line break at the end adds no line; a zero character ends the text. Every
// blank or tab on a line separates two entries, so two in a row give an empty entry
// between them, one at the start gives an empty first entry, one at the end none, and
// an empty line none. Nothing else is trimmed: commas and semicolons stay in the entry.
//
// A file beyond kMaxTextImportBytes, or one giving more than kMaxTextImportEntries
// entries, is refused whole, so a wrong file never floods the list.

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string_view>

#include "recipients/list_entry.h"
#include "recipients/workbook.h"

namespace recipients {

inline constexpr std::size_t kMaxTextImportBytes = 64u * 1024 * 1024;
// As many as a worksheet has rows.
inline constexpr std::size_t kMaxTextImportEntries = kMaxRow;

// A text file refused for what it holds; the message says why, in Turkish.
class TextImportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The entries of a text file's contents; result.note names a guessed encoding. Throws
// TextImportError (too many entries) or ImportCancelled.
ImportResult textImportEntries(std::string_view bytes, const ReadControl& control = {});

// Reads the file and gives its entries. Throws FileError
// ("Cannot open file "<path>". <reason>") when it cannot be read or is too large, and
// what textImportEntries throws.
ImportResult readTextImport(const std::filesystem::path& file, const ReadControl& control = {});

}  // namespace recipients
