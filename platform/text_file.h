#pragma once
// Writing a whole text file at once, so that a failure never leaves a partly written file
// in the place of a complete one.

#include <string>
#include <string_view>

namespace platform {

// Replaces the file at path by content in one step: the text goes to a new file beside
// it (the same file system), is flushed to the disk and renamed over path, and the folder
// is synced. The new file keeps the old one's permissions when its owner could read and
// write it, else it gets 0644 less the umask. 0, or the errno of the step that failed;
// path is then untouched, unless only the folder's sync failed (an I/O error).
int replaceFileContents(const std::string& path, std::string_view content);

// Writes content to path, or appends it to what path holds when append is set and the
// file exists. The text goes to a new file beside path first, which then replaces path:
// path is either the complete new file or untouched. 0, or minus the file I/O error
// (3 path not found, 5 access denied, 101 disk full, 150 write-protected, 160 write
// error, 161 read error).
int writeWholeTextFile(const std::string& path, bool append, const std::string& content);

// The running system, for diagnostic files: "Linux " and the kernel's release.
std::string describeOs();

}  // namespace platform
