// The .ods reader on arbitrary bytes: the first byte chooses between the bytes as a
// whole file and the bytes as rows of an otherwise sound content.xml. It must end with
// texts or WorkbookError, and never expand repeated rows.
#include <cstddef>
#include <cstdint>

#include "recipients/tests/fuzz_zip.h"
#include "recipients/workbook_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string file = input;
    if (data[0] & 1) {
        file = recipients::fuzz::zipOf({
            {"content.xml",
             "<office:document-content><office:body><office:spreadsheet><table:table>"
             "<table:table-row table:number-rows-repeated=\"999999\"><table:table-cell "
             "office:value-type=\"float\" office:value=\"1\"/></table:table-row>"
             "<table:table-row><table:table-cell table:number-columns-repeated=\"2\"/>"
             "<table:table-cell><text:p>" +
                 input + "</text:p></table:table-cell></table:table-row>" + input +
                 "</table:table></office:spreadsheet></office:body></office:document-content>"},
        });
    }
    const int first = data[0] & 2 ? 999990 : 1;
    try {
        recipients::readOdsColumn(file, {1 + (data[0] >> 2 & 3), first, first + 20}, {});
    } catch (const recipients::WorkbookError&) {
    }
    return 0;
}
