#pragma once
// The readers behind readWorkbookColumn, one per format. Each gives the texts of
// range.first .. range.last (UTF-8), empty for empty cells.

#include <string>
#include <string_view>
#include <vector>

#include "recipients/workbook.h"

namespace recipients {

// What is kept of a text too long for the list: more than the refusal message shows.
inline constexpr std::size_t kRefusedTextBytes = 200;

// Collects the cells of one column within the range. A text cut at kMaxCellBytes is
// kept as its first kRefusedTextBytes bytes and U+0001, so that it is still refused.
class ColumnCollector {
public:
    explicit ColumnCollector(const CellRange& range);
    // Whether a row is wanted; rows are 1-based.
    bool wants(long long row) const { return row >= m_range.first && row <= m_range.last; }
    // Whether no row at or after `row` is wanted (always, for an empty range).
    bool pastEnd(long long row) const { return row > m_range.last || m_range.first > m_range.last; }
    // How far through the range `row` is, 0 to 100.
    int percent(long long row) const;
    // Throws WorkbookError once the texts kept pass kMaxColumnTextBytes.
    void set(long long row, std::string text);
    // The text as set() keeps it; a reader that sets one text in many rows makes it so
    // first.
    static std::string kept(std::string text);
    // Ends the read at `row`, keeping the rows before it.
    [[noreturn]] void fail(long long row, const std::string& message);
    int column() const { return m_range.column; }
    std::vector<std::string> take() { return std::move(m_texts); }

private:
    CellRange m_range;
    std::vector<std::string> m_texts;
    std::size_t m_bytes = 0;  // of the texts kept, beyond what a string holds in place
};

std::vector<std::string> readCsvColumn(std::string_view bytes, const CellRange& range,
                                       const ReadControl& control);
std::vector<std::string> readXlsxColumn(std::string_view bytes, const CellRange& range,
                                        const ReadControl& control);
std::vector<std::string> readOdsColumn(std::string_view bytes, const CellRange& range,
                                       const ReadControl& control);
std::vector<std::string> readXlsColumn(const std::string& path, const CellRange& range,
                                       const ReadControl& control);

}  // namespace recipients
