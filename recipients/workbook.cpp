#include "recipients/workbook.h"

#include <algorithm>
#include <cctype>

#include "recipients/cell_text.h"
#include "recipients/recipient_file.h"
#include "recipients/workbook_readers.h"

namespace recipients {

WorkbookKind workbookKind(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".xls") {
        return WorkbookKind::Xls;
    }
    if (ext == ".xlsx") {
        return WorkbookKind::Xlsx;
    }
    if (ext == ".ods") {
        return WorkbookKind::Ods;
    }
    if (ext == ".csv") {
        return WorkbookKind::Csv;
    }
    return WorkbookKind::None;
}

void ReadControl::report(int percent) const {
    if (progress) {
        progress(std::clamp(percent, 0, 100));
    }
}

void ReadControl::check() const {
    if (cancel && cancel->load(std::memory_order_relaxed)) {
        throw ImportCancelled();
    }
}

ColumnCollector::ColumnCollector(const CellRange& range) : m_range(range) {
    if (range.first <= range.last) {
        m_texts.resize(static_cast<std::size_t>(range.last - range.first + 1));
    }
}

int ColumnCollector::percent(long long row) const {
    if (m_texts.empty() || row <= m_range.first) {
        return 0;
    }
    return static_cast<int>(100 * (row - m_range.first) / static_cast<long long>(m_texts.size()));
}

void ColumnCollector::set(long long row, std::string text) {
    if (wants(row)) {
        m_texts[static_cast<std::size_t>(row - m_range.first)] = std::move(text);
    }
}

std::vector<std::string> readWorkbookColumn(const std::filesystem::path& file, WorkbookKind kind,
                                            const CellRange& range, const ReadControl& control) {
    if (range.column < 1 || range.column > kMaxColumn) {
        throw WorkbookError("Kolon numarası 1 ile " + std::to_string(kMaxColumn) +
                            " arasında olmalıdır.");
    }
    if (range.first < 1 || range.last < 1 || range.first > kMaxRow || range.last > kMaxRow) {
        throw WorkbookError("Satır numaraları 1 ile " + std::to_string(kMaxRow) +
                            " arasında olmalıdır.");
    }
    control.report(0);
    if (kind == WorkbookKind::None) {
        throw WorkbookError("Bu dosya türü okunamaz: .xls, .xlsx, .ods ya da .csv olmalıdır.");
    }
    // Read first in every case: a missing or unreadable file gets the usual message, and
    // an oversized one is refused before any parser sees it.
    const std::string bytes = readFileBytes(file, kMaxFileBytes);
    control.check();
    std::vector<std::string> texts;
    switch (kind) {
        case WorkbookKind::Xls:
            texts = readXlsColumn(file.string(), range, control);  // FreeXL opens the file itself
            break;
        case WorkbookKind::Xlsx:
            texts = readXlsxColumn(bytes, range, control);
            break;
        case WorkbookKind::Ods:
            texts = readOdsColumn(bytes, range, control);
            break;
        case WorkbookKind::Csv:
            texts = readCsvColumn(bytes, range, control);
            break;
        case WorkbookKind::None:
            break;
    }
    control.report(100);
    return texts;
}

ImportResult workbookImportEntries(const std::filesystem::path& file, const CellRange& range,
                                   const ReadControl& control) {
    const std::vector<std::string> texts =
        readWorkbookColumn(file, workbookKind(file), range, control);
    ImportResult result;
    result.entries.reserve(texts.size());
    for (const std::string& text : texts) {
        addEntryUtf8(result, flattenLines(text));
    }
    return result;
}

}  // namespace recipients
