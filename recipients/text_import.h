#pragma once
// The text-file import: one number per line, or several on a line separated by blanks.
//
// A file with a byte-order mark is read in that encoding (UTF-8, UTF-16 LE or BE);
// without one it is Windows-1254. Lines end at CR LF, a lone CR or a lone LF; a line
// break at the end adds no line; a zero character ends the text. Every blank on a line
// separates two entries, so two blanks in a row give an empty entry between them, a
// blank at the start gives an empty first entry, a blank at the end none, and an empty
// line none. Nothing else is trimmed: tabs, commas and semicolons stay in the entry.

#include <filesystem>
#include <string_view>

#include "recipients/list_entry.h"

namespace recipients {

// The text of a file's bytes as Unicode, by its byte-order mark (see above).
std::u16string decodeText(std::string_view bytes);

// The entries of a text file's contents.
ImportResult textImportEntries(std::string_view bytes);

// Reads the file and gives its entries. Throws FileError
// ("Cannot open file "<path>". <reason>") when it cannot be read.
ImportResult readTextImport(const std::filesystem::path& file);

}  // namespace recipients
