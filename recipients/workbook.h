#pragma once
// The workbook import: one column of the first worksheet of an .xls, .xlsx, .ods or
// .csv file, rows `first` to `last`, each cell as the text a user sees in it.
//
// Every row of the range gives one entry, an empty cell (or a row past the sheet's
// end) an empty one; a first row greater than the last gives none, though the file is
// still read. Caps keep a hostile file from taking the machine: a file or a zipped
// part beyond kMaxFileBytes, or a range beyond kMaxRow, ends the import with a message;
// so does a range whose texts together pass kMaxColumnTextBytes. A cell's text is cut at
// kMaxCellBytes as it is read (and then refused as too long).

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
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

// A read that failed part-way: the texts of the rows read before the failure, in order
// from the range's first row.
class WorkbookPartlyRead : public WorkbookError {
public:
    WorkbookPartlyRead(const std::string& message, std::vector<std::string> rows)
        : WorkbookError(message), rowsRead(std::move(rows)) {}
    std::vector<std::string> rowsRead;
};

// An import that failed part-way: the entries of the rows read before the failure,
// which the list keeps as it would have kept them had the read gone on.
class ImportFailedPartway : public WorkbookError {
public:
    ImportFailedPartway(const std::string& message, ImportResult result)
        : WorkbookError(message), kept(std::move(result)) {}
    ImportResult kept;
};

// The user stopped the import.
class ImportCancelled : public std::runtime_error {
public:
    ImportCancelled() : std::runtime_error("Aktarım durduruldu.") {}
};

inline constexpr int kMaxRow = 1048576;
inline constexpr int kMaxColumn = 16384;
inline constexpr std::size_t kMaxFileBytes = 256u * 1024 * 1024;
inline constexpr std::size_t kMaxColumnTextBytes = 64u * 1024 * 1024;

struct CellRange {
    int column = 1;  // 1 = column A
    int first = 1;
    int last = 1;
};

// How a long read reports and is stopped; any may be empty. Called on the reading
// thread.
struct ReadControl {
    std::function<void(int percent)> progress;
    const std::atomic<bool>* cancel = nullptr;
    // A note on how the file was read (UTF-8), for the user.
    std::function<void(const std::string& note)> note;

    void report(int percent) const;
    // Passes a non-empty note on.
    void tell(const std::string& text) const;
    // Throws ImportCancelled when the user asked to stop.
    void check() const;
};

// The texts (UTF-8) of the range, one per row. Throws WorkbookError (WorkbookPartlyRead
// when a cell fails after some rows were read), FileError (a file that cannot be
// opened) or ImportCancelled.
std::vector<std::string> readWorkbookColumn(const std::filesystem::path& file, WorkbookKind kind,
                                            const CellRange& range,
                                            const ReadControl& control = {});

using ColumnReader = std::function<std::vector<std::string>(
    const std::filesystem::path& file, const CellRange& range, const ReadControl& control)>;

// The import: the range's texts as list entries (a line break inside a cell becomes a
// blank); texts the list cannot hold are refused; result.note is the reader's note. The
// kind comes from the extension; a name without one of the four extensions is refused
// with WorkbookError. A read that fails part-way throws ImportFailedPartway with the rows
// before the failure. `read` stands in for readWorkbookColumn when given.
ImportResult workbookImportEntries(const std::filesystem::path& file, const CellRange& range,
                                   const ReadControl& control = {}, const ColumnReader& read = {});

}  // namespace recipients
