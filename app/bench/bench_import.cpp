// bench-import: how long a large list takes to read and to show. Writes a workbook of
// N rows (.xlsx, numbers in column A and names as shared strings in column B) and the
// same as .csv, then for each: the read alone, and the read with the entries put into
// the bulk tab's list, as the window does it. Prints "name: value" lines.
//
//   bench-import [ROWS]    (100000 by default)

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "app/import_runner.h"
#include "app/main_window.h"
#include "recipients/tests/fuzz_zip.h"
#include "recipients/workbook.h"

namespace {

void writeWorkbooks(const std::string& dir, int rows) {
    std::string sheet = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet><sheetData>";
    std::string strings = "<sst>";
    std::string csv;
    for (int r = 1; r <= rows; ++r) {
        const std::string number = std::to_string(905320000000LL + r);
        const std::string row = std::to_string(r);
        sheet += "<row r=\"" + row + "\"><c r=\"A" + row + "\"><v>" + number + "</v></c><c r=\"B" +
                 row + "\" t=\"s\"><v>" + std::to_string(r - 1) + "</v></c></row>";
        strings += "<si><t>Müşteri " + row + "</t></si>";
        csv += number + ";\"Müşteri " + row + "\"\r\n";
    }
    sheet += "</sheetData></worksheet>";
    strings += "</sst>";
    const std::string xlsx = recipients::fuzz::zipOf({
        {"xl/workbook.xml",
         "<workbook><sheets><sheet name=\"a\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\" "
         "Type=\"x/worksheet\"/><Relationship Id=\"rId2\" Target=\"sharedStrings.xml\" "
         "Type=\"x/sharedStrings\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml", sheet},
        {"xl/sharedStrings.xml", strings},
    });
    std::ofstream(dir + "/big.xlsx", std::ios::binary) << xlsx;
    std::ofstream(dir + "/big.csv", std::ios::binary) << csv;
}

double seconds(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    writeWorkbooks(dir.path().toStdString(), rows);
    std::printf("rows: %d\n", rows);

    for (const char* name : {"big.xlsx", "big.csv"}) {
        const std::filesystem::path file = dir.filePath(QString::fromLatin1(name)).toStdString();
        const recipients::CellRange range{1, 1, rows};
        QElapsedTimer t;
        t.start();
        const recipients::ImportResult read = recipients::workbookImportEntries(file, range);
        std::printf("%s read: %.3f s\n", name, seconds(t));

        app::MainFormOptions options;
        options.listFile = dir.filePath(QStringLiteral("rehber.txt")).toStdString();
        app::TMainForm form(options);
        form.show();
        t.restart();
        const recipients::ImportResult result =
            app::runImport(form, [&](const recipients::ReadControl& c) {
                return recipients::workbookImportEntries(file, range, c);
            });
        app::appendImported(form, result);
        QApplication::processEvents();
        std::printf("%s read and shown: %.3f s (%d entries)\n", name, seconds(t),
                    form.ListBox1->count());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %ld MB\n", usage.ru_maxrss / 1024);
    return 0;
}
