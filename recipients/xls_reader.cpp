// .xls: the Excel 97-2003 binary workbook, read with FreeXL.

#include <freexl.h>

#include <cstring>

#include "recipients/cell_text.h"
#include "recipients/workbook_readers.h"

namespace recipients {
namespace {

// A text of FreeXL's, cut at the cell cap.
std::string cellText(const char* text) {
    std::string kept;
    if (text) {
        appendCapped(kept, std::string_view(text, strnlen(text, kMaxCellBytes + 1)));
    }
    return kept;
}

// FreeXL keeps every cell of every sheet that the sheets' headers claim; more than any
// real workbook of this format holds is refused before it is loaded.
constexpr unsigned long long kMaxXlsCells = 10'000'000;

class XlsHandle {
public:
    // `infoOnly`: the sheets' names and sizes, no cells.
    explicit XlsHandle(const std::string& path, bool infoOnly = false) {
        const int rc = infoOnly ? freexl_open_info(path.c_str(), &m_handle)
                                : freexl_open(path.c_str(), &m_handle);
        if (rc != FREEXL_OK) {
            close();
            throw WorkbookError("Dosya bozuk ya da bir Excel (.xls) çalışma kitabı değil.");
        }
    }
    ~XlsHandle() { close(); }
    XlsHandle(const XlsHandle&) = delete;
    XlsHandle& operator=(const XlsHandle&) = delete;
    const void* get() const { return m_handle; }

private:
    void close() {
        if (m_handle) {
            freexl_close(m_handle);
            m_handle = nullptr;
        }
    }
    const void* m_handle = nullptr;
};

void checkSize(const std::string& path) {
    const XlsHandle info(path, true);
    unsigned int sheets = 0;
    if (freexl_get_info(info.get(), FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK) {
        return;  // the full open says what is wrong
    }
    unsigned long long cells = 0;
    for (unsigned int s = 0; s < sheets; ++s) {
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_select_active_worksheet(info.get(), s) == FREEXL_OK &&
            freexl_worksheet_dimensions(info.get(), &rows, &columns) == FREEXL_OK) {
            cells += static_cast<unsigned long long>(rows) * columns;
        }
    }
    if (cells > kMaxXlsCells) {
        throw WorkbookError("Çalışma kitabının sayfaları çok büyük (en çok " +
                            std::to_string(kMaxXlsCells) + " hücre); okunmadı.");
    }
}

}  // namespace

std::vector<std::string> readXlsColumn(const std::string& path, const CellRange& range,
                                       const ReadControl& control) {
    checkSize(path);
    control.check();
    const XlsHandle xls(path);
    control.check();
    unsigned int sheets = 0;
    if (freexl_get_info(xls.get(), FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK || sheets == 0 ||
        freexl_select_active_worksheet(xls.get(), 0) != FREEXL_OK) {
        throw WorkbookError("Çalışma kitabında çalışma sayfası yok.");
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(xls.get(), &rows, &columns) != FREEXL_OK) {
        throw WorkbookError("Dosya bozuk ya da bir Excel (.xls) çalışma kitabı değil.");
    }
    control.report(50);
    ColumnCollector cells(range);
    const auto column = static_cast<unsigned>(range.column - 1);
    for (long long row = range.first; row <= range.last && row <= rows; ++row) {
        if (column >= columns) {
            break;
        }
        FreeXL_CellValue value{};
        if (freexl_get_cell_value(xls.get(), static_cast<unsigned>(row - 1),
                                  static_cast<unsigned short>(column), &value) != FREEXL_OK) {
            cells.fail(row, "Dosya bozuk: " + std::to_string(row) + ". satırdaki hücre okunamadı.");
        }
        switch (value.type) {
            case FREEXL_CELL_INT:
                cells.set(row, std::to_string(value.value.int_value));
                break;
            case FREEXL_CELL_DOUBLE:
                cells.set(row, numberText(value.value.double_value));
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
                cells.set(row, cellText(value.value.text_value));
                break;
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                cells.set(row, isoDateText(cellText(value.value.text_value)));
                break;
            default:
                break;
        }
        if ((row & 0xFFF) == 0) {
            control.check();
        }
    }
    return cells.take();
}

}  // namespace recipients
