// Crafted files that once took the machine: each is read in a child process, whose
// peak memory is measured, and whose address space is limited so that a real blow-up
// fails instead of swapping. The margins are generous; what counts is the result.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include "platform/tests/scratch_folder.h"
#include "recipients/recipient_file.h"
#include "recipients/tests/fuzz_zip.h"
#include "recipients/text_import.h"
#include "recipients/workbook.h"

namespace recipients {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

constexpr long kBudgetMb = 300;

// The sanitizers reserve vast address space and add to every allocation: under them
// only the results count.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMeasured = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kMeasured = false;
#else
constexpr bool kMeasured = true;
#endif
#else
constexpr bool kMeasured = true;
#endif

// The memory this process holds now (not its peak so far), which a child starts with.
long residentMb() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return resident * ::sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

// Runs `check` in a child limited to a few GB of address space; gives the child's
// peak memory beyond what it started with, or -1 when it failed.
long peakMbOf(const std::function<bool()>& check) {
    std::fflush(nullptr);
    const long before = residentMb();
    const pid_t child = ::fork();
    if (child == 0) {
        if (kMeasured) {
            const rlimit limit{4ul << 30, 4ul << 30};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        bool ok = false;
        try {
            ok = check();
        } catch (...) {
        }
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    return kMeasured ? std::max(0L, usage.ru_maxrss / 1024 - before) : 0;
}

std::string repeated(std::string_view piece, std::size_t times) {
    std::string s;
    s.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        s += piece;
    }
    return s;
}

std::string xlsx(const std::string& sheetData, const std::string& strings = "<sst/>") {
    return fuzz::zipOf(
        {
            {"xl/workbook.xml", "<workbook><sheets><sheet r:id=\"rId1\"/></sheets></workbook>"},
            {"xl/_rels/workbook.xml.rels",
             "<Relationships><Relationship Id=\"rId1\" Target=\"s.xml\" Type=\"x/worksheet\"/>"
             "<Relationship Id=\"rId2\" Target=\"t.xml\" Type=\"x/sharedStrings\"/>"
             "</Relationships>"},
            {"xl/s.xml", "<worksheet><sheetData>" + sheetData + "</sheetData></worksheet>"},
            {"xl/t.xml", strings},
        },
        true);
}

std::string ods(const std::string& tableBody) {
    return fuzz::zipOf({{"content.xml",
                         "<office:document-content><office:body><office:spreadsheet>"
                         "<table:table>" +
                             tableBody +
                             "</table:table></office:spreadsheet></office:body>"
                             "</office:document-content>"}},
                       true);
}

class ImportBudget : public testing::Test {
protected:
    fs::path write(const std::string& name, const std::string& bytes) {
        const fs::path file = m_scratch.path() / name;
        std::ofstream(file, std::ios::binary) << bytes;
        EXPECT_LE(bytes.size(), 10u * 1024 * 1024) << name;
        return file;
    }
    platform::testing::ScratchFolder m_scratch{"budget"};
};

constexpr int kDeep = 150000;

TEST_F(ImportBudget, DeepNestingIsWalkedWithoutRecursion) {
    struct Case {
        const char* name;
        std::string bytes;
        CellRange range;
        Texts texts;
    };
    const Case cases[] = {
        {"runs.xlsx",
         xlsx("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>",
              "<sst><si>" + repeated("<r>", kDeep) + "<t>0532</t>" + repeated("</r>", kDeep) +
                  "</si></sst>"),
         {1, 1, 1},
         {"0532"}},
        {"inline.xlsx",
         xlsx("<row><c t=\"inlineStr\"><is>" + repeated("<r>", kDeep) + "<t>0533</t>" +
              repeated("</r>", kDeep) + "</is></c></row>"),
         {1, 1, 1},
         {"0533"}},
        {"spans.ods",
         ods("<table:table-row><table:table-cell><text:p>" + repeated("<text:span>", kDeep) +
             "0534" + repeated("</text:span>", kDeep) +
             "</text:p></table:table-cell></table:table-row>"),
         {1, 1, 1},
         {"0534"}},
        {"groups.ods",
         ods(repeated("<table:table-row-group>", kDeep) +
             "<table:table-row><table:table-cell office:value-type=\"float\" "
             "office:value=\"535\"/></table:table-row>" +
             repeated("</table:table-row-group>", kDeep)),
         {1, 1, 2},
         {"535", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = write(c.name, c.bytes);
        const long peak = peakMbOf(
            [&] { return readWorkbookColumn(file, workbookKind(file), c.range) == c.texts; });
        EXPECT_GE(peak, 0);
        EXPECT_LT(peak, kBudgetMb);
    }
}

TEST_F(ImportBudget, SmallFilesThatUnpackLargeStayWithinTheBudget) {
    // About 8 million empty cells; a sheet of them was kept whole as a tree before.
    const fs::path empty = write("empty.xlsx", xlsx("<row r=\"1\">" + repeated("<c/>", 8'000'000) +
                                                    "</row><row><c><v>905321112233</v></c></row>"));
    // Millions of shared strings of which one is used.
    const fs::path strings = write(
        "strings.xlsx",
        xlsx("<row><c t=\"s\"><v>3000000</v></c></row>",
             "<sst>" + repeated("<si><t>x</t></si>", 3'000'000) + "<si><t>0532</t></si></sst>"));
    // One 100 KB shared string in 20,000 rows: each is refused, none is copied whole.
    std::string rows;
    for (int r = 1; r <= 20000; ++r) {
        rows += "<row><c t=\"s\"><v>0</v></c></row>";
    }
    const fs::path shared = write(
        "shared.xlsx", xlsx(rows, "<sst><si><t>" + std::string(100000, '5') + "</t></si></sst>"));
    // One blank element a thousand wide, repeated in a row that repeats 20,000 times.
    const fs::path blanks =
        write("blanks.ods", ods("<table:table-row table:number-rows-repeated=\"20000\">"
                                "<table:table-cell><text:p>" +
                                repeated("<text:s text:c=\"1000\"/>", 100000) +
                                "</text:p></table:table-cell></table:table-row>"));

    EXPECT_LT(peakMbOf([&] {
                  const ImportResult r = workbookImportEntries(empty, {1, 1, 2});
                  return r.entries == Texts{"", "905321112233"};
              }),
              kBudgetMb);
    EXPECT_LT(peakMbOf([&] {
                  return workbookImportEntries(strings, {1, 1, 1}).entries == Texts{"0532"};
              }),
              kBudgetMb);
    for (const fs::path& file : {shared, blanks}) {
        SCOPED_TRACE(file.filename().string());
        const long peak = peakMbOf([&] {
            const ImportResult r = workbookImportEntries(file, {1, 1, 20000});
            return r.entries.empty() && r.refusedCount == 20000 && r.refused.size() == kRefusedKept;
        });
        EXPECT_GE(peak, 0);
        EXPECT_LT(peak, kBudgetMb);
    }
    // What is refused is named shortly.
    const std::string message = refusalMessage(workbookImportEntries(shared, {1, 1, 3}));
    EXPECT_NE(message.find("3 kayıt listeye alınmadı:\n\"" + std::string(40, '5') + "…\""),
              std::string::npos)
        << message;
}

TEST_F(ImportBudget, WhatWouldMakeTheParserExpandOrHoldMuchIsRefused) {
    const std::string laughs = "<!DOCTYPE w [<!ENTITY a \"aaaaaaaaaa\">" +
                               std::string("<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">") +
                               "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>";
    const std::pair<const char*, std::string> files[] = {
        {"entities.xlsx",
         fuzz::zipOf(
             {{"xl/workbook.xml", laughs + "<workbook><sheets><sheet/></sheets>&c;</workbook>"}})},
        // One tag bigger than the parser may hold.
        {"tag.ods", ods("<table:table-row a=\"" + std::string(80u << 20, 'x') + "\"/>")},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const fs::path file = write(name, bytes);
        const long peak = peakMbOf([&] {
            try {
                readWorkbookColumn(file, workbookKind(file), {1, 1, 1});
            } catch (const WorkbookError& e) {
                return std::string(e.what()).find("karmaşık") != std::string::npos;
            }
            return false;
        });
        EXPECT_GE(peak, 0);
        EXPECT_LT(peak, kBudgetMb);
    }
}

TEST_F(ImportBudget, AHugeTextFileIsRefusedUnread) {
    const fs::path file = m_scratch.path() / "huge.txt";
    {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "0532\r\n", 6, (1l << 30) - 6), 6);  // 1 GB, sparse
        ::close(fd);
    }
    const long peak = peakMbOf([&] {
        try {
            readTextImport(file);
        } catch (const FileError& e) {
            return std::string(e.what()).find("çok büyük") != std::string::npos;
        }
        return false;
    });
    EXPECT_GE(peak, 0);
    EXPECT_LT(peak, kBudgetMb);
    // Just under the limit, one number per line: read within the budget.
    const std::string numbers = repeated("05321112233\r\n", kMaxTextImportBytes / 13 - 1);
    EXPECT_LT(peakMbOf([&] {
                  return textImportEntries(numbers).entries.size() == kMaxTextImportBytes / 13 - 1;
              }),
              kBudgetMb);
    // Too many entries: refused whole, with a message.
    EXPECT_THROW(textImportEntries(repeated("1 ", kMaxTextImportEntries + 1)), TextImportError);
}

TEST_F(ImportBudget, ATextImportIsStoppedWhenAsked) {
    std::atomic<bool> cancel{true};
    ReadControl control;
    control.cancel = &cancel;
    const fs::path file = write("numbers.txt", repeated("0532\r\n", 10000));
    EXPECT_THROW(readTextImport(file, control), ImportCancelled);
    cancel = false;
    EXPECT_EQ(readTextImport(file, control).entries.size(), 10000u);
}

}  // namespace
}  // namespace recipients
