// The .csv reader on arbitrary bytes: it ends with one text per row of the range, and
// the text import gives entries the list can store.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "recipients/text_import.h"
#include "recipients/workbook_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const int first = 1 + (data[0] & 7);
    const auto texts =
        recipients::readCsvColumn(input, {1 + (data[0] >> 3 & 3), first, first + 9}, {});
    if (texts.size() != 10) {
        std::abort();
    }
    const recipients::ImportResult r = recipients::textImportEntries(input);
    for (const std::string& e : r.entries) {
        if (e.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
            std::abort();
        }
    }
    return 0;
}
