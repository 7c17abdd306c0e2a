// The .xls reader (FreeXL) on arbitrary bytes written to a file. The first 512 bytes
// of a sound workbook's header go in front of half the inputs, so that FreeXL gets
// past the signature check and meets damaged sectors.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "recipients/workbook_readers.h"

namespace {

const std::string& path() {
    static const std::string p = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/fuzz-xls-" + std::to_string(::getpid()) +
               ".xls";
    }();
    return p;
}

const std::string& header() {
    static const std::string h = [] {
        std::ifstream in(TOPLUSMS_RECIPIENT_FIXTURES "/book.xls", std::ios::binary);
        std::string bytes(512, '\0');
        in.read(bytes.data(), 512);
        return bytes;
    }();
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    {
        std::ofstream out(path(), std::ios::binary | std::ios::trunc);
        if (data[0] & 1) {
            out << header();
        }
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    try {
        recipients::readXlsColumn(path(), {1 + (data[0] >> 1 & 3), 1, 30}, {});
    } catch (const recipients::WorkbookError&) {
    }
    std::remove(path().c_str());
    return 0;
}
