#pragma once
// The zipped files of an .xlsx or .ods workbook, read from memory with libzip. A part
// is never unpacked beyond kMaxPartBytes, whatever its header claims, so a zip bomb
// ends with a message instead of filling the memory.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "recipients/workbook.h"

struct zip;

namespace recipients {

inline constexpr std::size_t kMaxPartBytes = 200u * 1024 * 1024;

class ZipArchive {
public:
    // Throws WorkbookError when the bytes are no zip archive.
    explicit ZipArchive(std::string_view bytes);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool has(const std::string& name) const;
    // Hands the unpacked part to `sink` in chunks, until the part ends or the sink
    // returns false. Throws WorkbookError when it is missing, damaged or too large.
    void stream(const std::string& name, const ReadControl& control,
                const std::function<bool(std::string_view chunk)>& sink) const;

private:
    zip* m_zip = nullptr;
};

}  // namespace recipients
