// toplusms-cli import FILE [--column C] [--first F] [--last L]: the entries an import
// of FILE would append to the recipient list, one per line in UTF-8. .xls, .xlsx, .ods
// and .csv (in any letter case) are workbooks read as the workbook window reads them;
// any other file is a text file, which ignores the three options.
#include <charconv>
#include <cstdio>
#include <exception>
#include <string>

#include "platform/codepage_1254.h"
#include "recipients/text_import.h"
#include "recipients/workbook.h"
#include "tools/cli/command.h"

namespace cli {
namespace {

constexpr std::string_view kUsage = "FILE [--column C] [--first F] [--last L]";

int usage() {
    std::fprintf(stderr, "usage: toplusms-cli import %.*s\n", int(kUsage.size()), kUsage.data());
    return kExitUsage;
}

bool readPositive(std::string_view text, int& value) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && value >= 1;
}

int runImport(std::span<const std::string_view> args) {
    std::string file;
    recipients::CellRange range;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        int* target = a == "--column"  ? &range.column
                      : a == "--first" ? &range.first
                      : a == "--last"  ? &range.last
                                       : nullptr;
        if (target) {
            if (i + 1 >= args.size() || !readPositive(args[i + 1], *target)) {
                return usage();
            }
            ++i;
        } else if (a.starts_with("-") && a.size() > 1) {
            return usage();
        } else if (file.empty()) {
            file = a;
        } else {
            return usage();
        }
    }
    if (file.empty()) {
        return usage();
    }
    try {
        const recipients::ImportResult result =
            recipients::workbookKind(file) == recipients::WorkbookKind::None
                ? recipients::readTextImport(file)
                : recipients::workbookImportEntries(file, range);
        std::string out;
        for (const std::string& entry : result.entries) {
            out += platform::cp1254::toUtf8(entry);
            out += '\n';
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        if (!result.refused.empty()) {
            std::fprintf(stderr, "%s\n", recipients::refusalMessage(result).c_str());
        }
        if (!result.note.empty()) {
            std::fprintf(stderr, "%s\n", result.note.c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    return kExitOk;
}

const CommandRegistration kRegistration({"import", kUsage,
                                         "print the entries an import of FILE would append "
                                         "(.xls/.xlsx/.ods/.csv: a workbook column; else a "
                                         "text file)",
                                         runImport});

}  // namespace
}  // namespace cli
