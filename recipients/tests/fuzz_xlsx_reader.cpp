// The .xlsx reader on arbitrary bytes: the first byte chooses between the bytes as a
// whole file and the bytes as the worksheet of an otherwise sound workbook (with their
// first half as the shared strings). It must end with texts or WorkbookError.
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
        const std::string sheet =
            "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>" + input +
            "</sheetData></worksheet>";
        file = recipients::fuzz::zipOf({
            {"xl/workbook.xml",
             "<workbook><sheets><sheet name=\"a\" r:id=\"rId1\"/></sheets></workbook>"},
            {"xl/_rels/workbook.xml.rels",
             "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\" "
             "Type=\"x/worksheet\"/><Relationship Id=\"rId2\" Target=\"sharedStrings.xml\" "
             "Type=\"x/sharedStrings\"/><Relationship Id=\"rId3\" Target=\"styles.xml\" "
             "Type=\"x/styles\"/></Relationships>"},
            {"xl/worksheets/sheet1.xml", data[0] & 2 ? input : sheet},
            {"xl/sharedStrings.xml",
             "<sst><si><t>" + input.substr(0, input.size() / 2) + "</t></si></sst>"},
            {"xl/styles.xml", "<styleSheet><numFmts><numFmt numFmtId=\"164\" formatCode=\"" +
                                  input.substr(0, 8) +
                                  "\"/></numFmts><cellXfs><xf numFmtId=\"164\"/></cellXfs>"
                                  "</styleSheet>"},
        });
    }
    const int first = 1 + (data[0] >> 4);
    try {
        recipients::readXlsxColumn(file, {1 + (data[0] >> 2 & 3), first, first + 20}, {});
    } catch (const recipients::WorkbookError&) {
    }
    return 0;
}
