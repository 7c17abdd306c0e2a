#include "recipients/workbook.h"

#include <gtest/gtest.h>

#include <fstream>

#include "recipients/cell_text.h"
#include "recipients/recipient_file.h"
#include "recipients/tests/fuzz_zip.h"
#include "recipients/workbook_readers.h"

namespace recipients {
namespace {

using Texts = std::vector<std::string>;

std::filesystem::path fixture(const std::string& name) {
    return std::filesystem::path(TOPLUSMS_RECIPIENT_FIXTURES) / name;
}

const Texts kColumnA = {"905321112233", "05321112233",  "",
                        "05.03.2024",   "3,25",         " 0532 111 22 33 ",
                        "05321112233",  "905321112234", "0544 333 22 11",
                        "5551234567",   "son"};
const Texts kColumnB = {"Ad",   "Ali, Veli", "Ayşe", "Fatma, Hanım", "", "Mehmet",
                        "Ofis", "Ev",        "İş",   "Şule",         "Ğ"};

const char* const kBooks[] = {"book.xls", "book.xlsx", "book.ods", "book.csv", "comma.csv"};

Texts read(const std::string& name, CellRange range) {
    return readWorkbookColumn(fixture(name), workbookKind(fixture(name)), range);
}

TEST(Workbook, EveryFormatGivesTheCellsAsShown) {
    for (const char* book : kBooks) {
        SCOPED_TRACE(book);
        EXPECT_EQ(read(book, {1, 1, 11}), kColumnA);
        EXPECT_EQ(read(book, {2, 1, 11}), kColumnB);
    }
}

TEST(Workbook, RowRules) {
    for (const char* book : kBooks) {
        SCOPED_TRACE(book);
        EXPECT_EQ(read(book, {1, 1, 1}), Texts{"905321112233"});  // the window's defaults
        EXPECT_EQ(read(book, {1, 2, 10}), Texts(kColumnA.begin() + 1, kColumnA.begin() + 10));
        EXPECT_TRUE(read(book, {1, 5, 4}).empty());  // first after last: none
        // Past the sheet's end and in an empty column: empty entries.
        EXPECT_EQ(read(book, {1, 11, 11}), Texts{"son"});
        EXPECT_EQ(read(book, {1, 13, 14}), (Texts{"", ""}));
        EXPECT_EQ(read(book, {9, 1, 2}), (Texts{"", ""}));
    }
    // A row repeated a million times is counted, not expanded.
    EXPECT_EQ(read("book.ods", {1, 1000000, 1000001}), (Texts{"", ""}));
}

TEST(Workbook, ImportEntriesAreListTextWithoutLineBreaks) {
    const ImportResult r = workbookImportEntries(fixture("comma.csv"), {1, 11, 12});
    EXPECT_EQ(r.entries, (Texts{"son", "sat\xFDr k\xFDr\xFDk \"t\xFDrnak\""}));
    const ImportResult names = workbookImportEntries(fixture("book.xlsx"), {2, 3, 3});
    EXPECT_EQ(names.entries, Texts{"Ay\xFE"
                                   "e"});
}

TEST(Workbook, BrokenFilesEndWithAMessage) {
    const std::pair<const char*, const char*> broken[] = {
        {"truncated.xls", "bozuk"},       {"truncated.xlsx", "bozuk"},
        {"truncated.ods", "bozuk"},       {"not-a-workbook.xls", "bozuk"},
        {"not-a-workbook.xlsx", "bozuk"}, {"bomb.xlsx", "çok büyüyor"},
    };
    for (const auto& [name, words] : broken) {
        SCOPED_TRACE(name);
        try {
            read(name, {1, 1, 5});
            ADD_FAILURE() << "no error";
        } catch (const WorkbookError& e) {
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(read("missing.xlsx", {1, 1, 1}), FileError);
    EXPECT_THROW(read("missing.xls", {1, 1, 1}), FileError);
    EXPECT_THROW(workbookImportEntries(fixture("make_fixtures.py"), {1, 1, 1}), WorkbookError);
    EXPECT_THROW(read("book.xlsx", {1, 1, kMaxRow + 1}), WorkbookError);
    EXPECT_THROW(read("book.xlsx", {0, 1, 1}), WorkbookError);
}

TEST(Workbook, LongSheetsWithAnyRange) {
    // Past the reader's progress steps, with the first row after the last among them.
    std::string sheet = "<worksheet><sheetData>";
    std::string table = "<office:document-content><office:body><office:spreadsheet><table:table>";
    for (int r = 1; r <= 9000; ++r) {
        sheet +=
            "<row r=\"" + std::to_string(r) + "\"><c><v>" + std::to_string(r) + "</v></c></row>";
        table += "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"" +
                 std::to_string(r) + "\"/></table:table-row>";
    }
    sheet += "</sheetData></worksheet>";
    table += "</table:table></office:spreadsheet></office:body></office:document-content>";
    const std::string xlsx = fuzz::zipOf({
        {"xl/workbook.xml", "<workbook><sheets><sheet r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/s.xml\"/></Relationships>"},
        {"xl/worksheets/s.xml", sheet},
    });
    const std::string ods = fuzz::zipOf({{"content.xml", table}});
    for (const auto& read : {readXlsxColumn, readOdsColumn}) {
        const std::string& bytes = read == readXlsxColumn ? xlsx : ods;
        EXPECT_TRUE(read(bytes, {1, 8001, 8000}, {}).empty());
        EXPECT_EQ(read(bytes, {1, 8999, 9001}, {}), (Texts{"8999", "9000", ""}));
    }
}

TEST(Workbook, KindFromTheExtensionInAnyCase) {
    EXPECT_EQ(workbookKind("a/B.XLS"), WorkbookKind::Xls);
    EXPECT_EQ(workbookKind("b.XlsX"), WorkbookKind::Xlsx);
    EXPECT_EQ(workbookKind("c.Ods"), WorkbookKind::Ods);
    EXPECT_EQ(workbookKind("d.CSV"), WorkbookKind::Csv);
    EXPECT_EQ(workbookKind("e.txt"), WorkbookKind::None);
    EXPECT_EQ(workbookKind("xlsx"), WorkbookKind::None);
}

TEST(Workbook, CancelStopsTheRead) {
    std::atomic<bool> cancel{true};
    ReadControl control;
    control.cancel = &cancel;
    EXPECT_THROW(readWorkbookColumn(fixture("book.xlsx"), WorkbookKind::Xlsx, {1, 1, 3}, control),
                 ImportCancelled);
}

TEST(Csv, SeparatorFromTheFirstRecords) {
    struct Case {
        const char* name;
        std::string text;
        CellRange range;
        Texts texts;
    };
    const Case cases[] = {
        // A title above ';' rows; before, its comma decided and every row was one field.
        {"title",
         "Liste, 2024\r\n0532;Ali\r\n0533;Veli\r\n0534;Can\r\n",
         {2, 2, 4},
         {"Ali", "Veli", "Can"}},
        // A decimal comma gives ',' as many fields as ';': the tie goes to ';'.
        {"decimal",
         "05321112233;1.234,50\r\n05321112234;2,00\r\n",
         {2, 1, 2},
         {"1.234,50", "2,00"}},
        {"tabs",
         "0532\tAli, Veli\r\n0533\tAy\xC5\x9F"
         "e\r\n",
         {2, 1, 2},
         {"Ali, Veli", "Ayşe"}},
        {"commas", "0532,\"Ali; Veli\"\r\n0533,Can\r\n", {2, 1, 2}, {"Ali; Veli", "Can"}},
        {"one column", "0532\r\n0533\r\n", {1, 1, 2}, {"0532", "0533"}},
        // A quoted line break does not end the record that is counted.
        {"quoted", "\"a\r\nb\";1\r\nc;2\r\n", {2, 1, 2}, {"1", "2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readCsvColumn(c.text, c.range, {}), c.texts);
    }
}

TEST(Csv, AZeroByteNeverReachesTheList) {
    const std::filesystem::path file = std::filesystem::path(testing::TempDir()) / "zero.csv";
    std::ofstream(file, std::ios::binary) << std::string(
        "0532;a\r\n05\0"
        "33;b\r\n0534;c\r\n",
        25);
    const ImportResult r = workbookImportEntries(file, {1, 1, 3});
    EXPECT_EQ(r.entries, (Texts{"0532", "0534"}));
    EXPECT_EQ(r.refusedCount, 1u);
    // UTF-16 without a byte-order mark is read as such, and said so.
    std::string utf16;
    for (char c : std::string("0532;a\r\n0533;b\r\n")) {
        utf16 += {c, '\0'};
    }
    std::ofstream(file, std::ios::binary | std::ios::trunc) << utf16;
    const ImportResult wide = workbookImportEntries(file, {1, 1, 2});
    EXPECT_EQ(wide.entries, (Texts{"0532", "0533"}));
    EXPECT_NE(wide.note.find("UTF-16"), std::string::npos);
}

TEST(CellText, NumbersAndDates) {
    const std::pair<double, const char*> numbers[] = {
        {905321112233.0, "905321112233"},
        {3.25, "3,25"},
        {-0.5, "-0,5"},
        {-0.0, "0"},
        {1e20, "100000000000000000000"},
        {0.1 + 0.2, "0,30000000000000004"},
        {5551234567.0, "5551234567"},
    };
    for (const auto& [value, text] : numbers) {
        EXPECT_EQ(numberText(value), text) << value;
    }
    EXPECT_EQ(numberText(std::string_view("9.05321112233E11")), "905321112233");
    EXPECT_EQ(numberText(std::string_view("0532")), "532");
    EXPECT_EQ(numberText(std::string_view("abc")), "abc");

    EXPECT_EQ(serialDateText(45356, DatePart::Date, false), "05.03.2024");
    EXPECT_EQ(serialDateText(45356.75, DatePart::DateTime, false), "05.03.2024 18:00:00");
    EXPECT_EQ(serialDateText(0.5, DatePart::Time, false), "12:00:00");
    EXPECT_EQ(serialDateText(1, DatePart::Date, false), "01.01.1900");
    EXPECT_EQ(serialDateText(60, DatePart::Date, false), "29.02.1900");
    EXPECT_EQ(serialDateText(61, DatePart::Date, false), "01.03.1900");
    EXPECT_EQ(serialDateText(0, DatePart::Date, true), "01.01.1904");
    EXPECT_EQ(isoDateText("2024-03-05"), "05.03.2024");
    EXPECT_EQ(isoDateText("2024-03-05 10:20:30"), "05.03.2024 10:20:30");
    EXPECT_EQ(isoDateText("PT10H20M30S"), "10:20:30");
    EXPECT_EQ(isoDateText("yarın"), "yarın");

    const std::pair<const char*, int> formats[] = {
        {"dd.mm.yyyy", 1}, {"h:mm", 2},   {"yyyy-mm-dd hh:mm", 3}, {"[h]:mm", 2}, {"0.00", 0},
        {"#,##0", 0},      {"\"d\"0", 0}, {"[Red]0", 0},           {"mmm", 1},
    };
    for (const auto& [code, part] : formats) {
        bool date = false;
        const DatePart p = formatDatePart(code, &date);
        EXPECT_EQ(date ? static_cast<int>(p) : 0, part) << code;
    }
}

}  // namespace
}  // namespace recipients
