#pragma once
// The workbook import: one column of the first worksheet of an .xls, .xlsx, .ods or
// .csv file, rows `first` to `last`, each cell as the text a user sees in it.
//
// Every row of the range gives one entry, an empty cell (or a row past the sheet's
// end) an empty one; a first row greater than the last gives none, though the file is
// still read. Caps keep a hostile file from taking the machine: a file or a zipped
// part beyond kMaxFileBytes, or a range beyond kMaxRow, ends the import with a message.

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "recipients/list_entry.h"

namespace recipients {

enum class WorkbookKind { None, Xls, Xlsx, Ods, Csv };

// By the file name's extension, in any letter case.
WorkbookKind workbookKind(const std::filesystem::path& file);

// A workbook that cannot be read: the message says why, in Turkish.
class WorkbookError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user stopped the import.
class ImportCancelled : public std::runtime_error {
public:
    ImportCancelled() : std::runtime_error("Aktarım durduruldu.") {}
};

inline constexpr int kMaxRow = 1048576;
inline constexpr int kMaxColumn = 16384;
inline constexpr std::size_t kMaxFileBytes = 256u * 1024 * 1024;

struct CellRange {
    int column = 1;  // 1 = column A
    int first = 1;
    int last = 1;
};

// How a long read reports and is stopped; both may be empty. Called on the reading
// thread.
struct ReadControl {
    std::function<void(int percent)> progress;
    const std::atomic<bool>* cancel = nullptr;

    void report(int percent) const;
    // Throws ImportCancelled when the user asked to stop.
    void check() const;
};

// The texts (UTF-8) of the range, one per row. Throws WorkbookError, FileError (a file
// that cannot be opened) or ImportCancelled.
std::vector<std::string> readWorkbookColumn(const std::filesystem::path& file, WorkbookKind kind,
                                            const CellRange& range,
                                            const ReadControl& control = {});

// The import: the range's texts as list entries (a line break inside a cell becomes a
// blank); texts the list cannot hold are refused. The kind comes from the extension;
// a name without one of the four extensions is refused with WorkbookError.
ImportResult workbookImportEntries(const std::filesystem::path& file, const CellRange& range,
                                   const ReadControl& control = {});

}  // namespace recipients
