#pragma once
// The recipient list file, rehber.txt: one entry per line in Windows-1254 bytes, every
// line (the last one included) ended by CR LF, no byte-order mark.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace recipients {

// Raised when a file cannot be read or written. The message names the file's full path
// and the system's reason, as the window shows it.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits a text into lines at CR LF, a lone CR and a lone LF. A zero byte ends the text;
// a line break at the very end gives no extra line, an empty line between two others
// gives an empty one.
std::vector<std::string> splitLines(std::string_view text);

// Reads a file whole. Throws FileError ("Cannot open file "<path>". <reason>"); a file
// longer than `limit` bytes fails the same way, its reason saying so.
std::string readFileBytes(const std::filesystem::path& file,
                          std::size_t limit = static_cast<std::size_t>(-1));

// Reads a text file whole and splits it into lines. Throws FileError
// ("Cannot open file "<path>". <reason>").
std::vector<std::string> loadLines(const std::filesystem::path& file);

// Whether the file exists and is read-only: its mode gives nobody write permission (as
// root, who may write it anyway, would not notice), or the system refuses writing to it
// (a read-only mount, an immutable file).
bool isReadOnly(const std::filesystem::path& file);

// Writes the entries, each followed by CR LF (no entries: an empty file). The text goes
// to a temporary file in the same folder first, which then replaces the file, so a
// failed save leaves the previous file as it was. A read-only file is not replaced.
// Throws FileError ("Cannot create file "<path>". <reason>").
void saveLines(const std::filesystem::path& file, const std::vector<std::string>& entries);

}  // namespace recipients
