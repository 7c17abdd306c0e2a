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

void ReadControl::tell(const std::string& text) const {
    if (note && !text.empty()) {
        note(text);
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

std::string ColumnCollector::kept(std::string text) {
    // A text at the cell cap is refused whatever it holds. Its first bytes, ended by a
    // control character (which the list refuses too), name it as well and cost little,
    // however many rows repeat it.
    if (text.size() + 4 <= kMaxCellBytes) {
        return text;
    }
    std::size_t cut = kRefusedTextBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return text.substr(0, cut) + '\x01';  // a new string: none of the long one's room
}

void ColumnCollector::set(long long row, std::string text) {
    if (!wants(row)) {
        return;
    }
    text = kept(std::move(text));
    // A short text lives inside the string itself; only longer ones cost memory.
    constexpr std::size_t kInPlace = 15;
    std::string& slot = m_texts[static_cast<std::size_t>(row - m_range.first)];
    if (slot.size() > kInPlace) {
        m_bytes -= slot.size();
    }
    if (text.size() > kInPlace) {
        m_bytes += text.size();
        if (m_bytes > kMaxColumnTextBytes) {
            throw WorkbookError("Seçilen hücreler çok fazla metin tutuyor (en çok " +
                                std::to_string(kMaxColumnTextBytes / (1024 * 1024)) +
                                " MB); bir numara listesi olmadığı için aktarılmadı.");
        }
    }
    slot = std::move(text);
}

void ColumnCollector::fail(long long row, const std::string& message) {
    const long long before =
        std::clamp<long long>(row - m_range.first, 0, static_cast<long long>(m_texts.size()));
    m_texts.resize(static_cast<std::size_t>(before));
    throw WorkbookPartlyRead(message, take());
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

namespace {

ImportResult entriesOf(const std::vector<std::string>& texts) {
    ImportResult result;
    result.entries.reserve(texts.size());
    for (const std::string& text : texts) {
        addEntryUtf8(result, flattenLines(text));
    }
    return result;
}

}  // namespace

ImportResult workbookImportEntries(const std::filesystem::path& file, const CellRange& range,
                                   const ReadControl& control, const ColumnReader& read) {
    std::string note;
    ReadControl inner = control;
    inner.note = [&note, &control](const std::string& text) {
        note = text;
        control.tell(text);
    };
    try {
        ImportResult result =
            entriesOf(read ? read(file, range, inner)
                           : readWorkbookColumn(file, workbookKind(file), range, inner));
        result.note = std::move(note);
        return result;
    } catch (const WorkbookPartlyRead& e) {
        throw ImportFailedPartway(e.what(), entriesOf(e.rowsRead));
    }
}

}  // namespace recipients
