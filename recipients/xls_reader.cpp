// .xls: the Excel 97-2003 binary workbook, read with FreeXL.

#include <freexl.h>

#include "recipients/cell_text.h"
#include "recipients/workbook_readers.h"

namespace recipients {
namespace {

class XlsHandle {
public:
    explicit XlsHandle(const std::string& path) {
        if (freexl_open(path.c_str(), &m_handle) != FREEXL_OK) {
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

}  // namespace

std::vector<std::string> readXlsColumn(const std::string& path, const CellRange& range,
                                       const ReadControl& control) {
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
            throw WorkbookError("Dosya bozuk: " + std::to_string(row) +
                                ". satırdaki hücre okunamadı.");
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
                cells.set(row, value.value.text_value ? value.value.text_value : "");
                break;
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                cells.set(row, value.value.text_value ? isoDateText(value.value.text_value) : "");
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
