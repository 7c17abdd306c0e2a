// The .csv reader on arbitrary bytes: it ends with one text per row of the range, each
// within the cell cap, and the import of them gives entries the list can store.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "recipients/cell_text.h"
#include "recipients/list_entry.h"
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
    recipients::ImportResult r;
    for (const std::string& text : texts) {
        if (text.size() > recipients::kMaxCellBytes) {
            std::abort();
        }
        recipients::addEntryUtf8(r, recipients::flattenLines(text));
    }
    for (const std::string& e : r.entries) {
        for (char c : e) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
                std::abort();
            }
        }
    }
    return 0;
}
