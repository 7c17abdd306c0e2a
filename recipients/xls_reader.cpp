// .xls: the Excel 97-2003 binary workbook, read with FreeXL.
//
// FreeXL reads out of bounds on some damaged files (seen under AddressSanitizer, inside
// its character conversion), so it never runs in the program itself: a child process
// reads the column and hands the texts back through a pipe. Whatever a file does to
// FreeXL, the program gets the texts or a message, never a crash or corrupted memory.

#include <fcntl.h>
#include <freexl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
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

std::vector<std::string> readInProcess(const std::string& path, const CellRange& range,
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

// What the child sends: a kind byte, then length-prefixed texts.
constexpr char kRows = 'R';        // the rows
constexpr char kError = 'E';       // a WorkbookError's message
constexpr char kPartlyRead = 'P';  // a message, then the rows read before it

void putText(std::string& out, const std::string& text) {
    const auto size = static_cast<std::uint32_t>(text.size());
    out.append(reinterpret_cast<const char*>(&size), sizeof size);
    out += text;
}

std::string encodeRows(char kind, const std::string& message,
                       const std::vector<std::string>& rows) {
    std::string out(1, kind);
    if (kind != kRows) {
        putText(out, message);
    }
    for (const std::string& row : rows) {
        putText(out, row);
    }
    return out;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

[[noreturn]] void childRead(int fd, const std::string& path, const CellRange& range) {
    std::string reply;
    try {
        reply = encodeRows(kRows, {}, readInProcess(path, range, {}));
    } catch (const WorkbookPartlyRead& e) {
        reply = encodeRows(kPartlyRead, e.what(), e.rowsRead);
    } catch (const std::exception& e) {
        reply = encodeRows(kError, e.what(), {});
    }
    // _exit: nothing of the parent's (buffers, handlers, open files) is run or flushed.
    ::_exit(writeAll(fd, reply) ? 0 : 1);
}

const std::string kDamaged = "Dosya bozuk ya da bir Excel (.xls) çalışma kitabı değil.";

// Reads the child's whole answer, stopping it when the user cancels.
std::string collect(int fd, pid_t child, const ReadControl& control) {
    std::string bytes;
    char buf[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        try {
            control.check();
        } catch (...) {
            ::kill(child, SIGKILL);
            throw;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return bytes;
        }
        bytes.append(buf, static_cast<std::size_t>(n));
        if (bytes.size() > kMaxFileBytes + kMaxColumnTextBytes) {
            ::kill(child, SIGKILL);
            throw WorkbookError(kDamaged);
        }
    }
}

std::vector<std::string> decodeRows(const std::string& bytes) {
    if (bytes.empty()) {
        throw WorkbookError(kDamaged);  // the child died before it could answer
    }
    std::size_t at = 1;
    const auto take = [&](std::string& text) {
        std::uint32_t size = 0;
        if (bytes.size() - at < sizeof size) {
            throw WorkbookError(kDamaged);
        }
        std::memcpy(&size, bytes.data() + at, sizeof size);
        at += sizeof size;
        if (bytes.size() - at < size) {
            throw WorkbookError(kDamaged);
        }
        text.assign(bytes, at, size);
        at += size;
    };
    std::string message;
    if (bytes[0] != kRows) {
        take(message);
    }
    std::vector<std::string> rows;
    while (at < bytes.size()) {
        take(rows.emplace_back());
    }
    switch (bytes[0]) {
        case kRows:
            return rows;
        case kPartlyRead:
            throw WorkbookPartlyRead(message, std::move(rows));
        default:
            throw WorkbookError(message);
    }
}

}  // namespace

std::vector<std::string> readXlsColumn(const std::string& path, const CellRange& range,
                                       const ReadControl& control) {
    control.check();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw WorkbookError("Excel (.xls) dosyası okunamadı: " + std::string(std::strerror(errno)));
    }
    const pid_t child = ::fork();
    if (child < 0) {
        const int err = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        throw WorkbookError("Excel (.xls) dosyası okunamadı: " + std::string(std::strerror(err)));
    }
    if (child == 0) {
        ::close(fds[0]);
        childRead(fds[1], path, range);
    }
    ::close(fds[1]);
    control.report(10);
    std::string bytes;
    try {
        bytes = collect(fds[0], child, control);
    } catch (...) {
        ::close(fds[0]);
        ::waitpid(child, nullptr, 0);
        throw;
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw WorkbookError(kDamaged);
    }
    control.report(100);
    return decodeRows(bytes);
}

}  // namespace recipients
