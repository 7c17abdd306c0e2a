// .ods: the OpenDocument spreadsheet, a zip whose content.xml holds every sheet. Rows
// and cells may carry a repeat count (a sheet often ends in one row repeated a million
// times); they are counted, never expanded.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "recipients/cell_text.h"
#include "recipients/workbook_readers.h"
#include "recipients/xml_stream.h"
#include "recipients/zip_archive.h"

namespace recipients {
namespace {

// The attribute in the office namespace as the files write it, else any of that name.
const char* officeAttribute(const char** attributes, std::string_view local) {
    const char* any = nullptr;
    for (const char** a = attributes; a && *a; a += 2) {
        const std::string_view name = *a;
        if (name.size() == local.size() + 7 && name.starts_with("office:") &&
            name.substr(7) == local) {
            return a[1];
        }
        if (!any && xml::localName(name) == local) {
            any = a[1];
        }
    }
    return any ? any : "";
}

long long repeat(const char** attributes, std::string_view local) {
    const char* v = xml::attribute(attributes, local);
    const long long n = v ? std::atoll(v) : 1;
    return n < 1 ? 1 : n;
}

bool isGroup(std::string_view name) {
    return name == "table-row-group" || name == "table-header-rows" || name == "table-rows";
}

// document-content / body / spreadsheet / table (the first): its rows, also inside row
// groups nested to any depth, and the wanted column's cell of every wanted row.
class ContentHandler : public xml::Handler {
public:
    ContentHandler(ColumnCollector& cells, const CellRange& range, const ReadControl& control)
        : m_cells(cells), m_range(range), m_control(control) {}

    void start(std::string_view name, const char** attributes) override {
        ++m_depth;
        if (m_skipFrom) {
            return;
        }
        if (!m_tableAt) {
            startOutside(name);
        } else if (m_cellAt) {
            startInCell(name, attributes);
        } else if (m_rowAt) {
            if (m_depth == m_rowAt + 1 && (name == "table-cell" || name == "covered-table-cell")) {
                startCell(attributes);
            } else {
                m_skipFrom = m_depth;
            }
        } else if (name == "table-row") {
            startRow(attributes);
        } else if (!isGroup(name)) {
            m_skipFrom = m_depth;  // columns, sources, shapes: no rows of this table
        }
    }

    void end() override {
        if (m_skipFrom == m_depth) {
            m_skipFrom = 0;
        } else if (!m_skipFrom) {
            if (m_depth == m_cellAt) {
                endCell();
            } else if (m_depth == m_paragraphAt) {
                m_paragraphAt = 0;
            } else if (m_depth == m_rowAt) {
                m_rowAt = 0;
            } else if (m_depth == m_tableAt) {
                m_tableAt = 0;
                m_done = true;  // the first table only
            } else if (m_depth <= m_outsideDepth) {
                m_outsideDepth = m_depth - 1;
            }
        }
        --m_depth;
    }

    void text(std::string_view piece) override {
        if (m_paragraphAt && !m_skipFrom && !capped(m_text)) {
            appendCapped(m_text, piece);
        }
    }

    bool done() const override { return m_done; }
    bool sawTable() const { return m_sawTable; }

private:
    // document-content, body, spreadsheet, table: each the child of the one before.
    void startOutside(std::string_view name) {
        static constexpr std::string_view kPath[] = {"document-content", "body", "spreadsheet",
                                                     "table"};
        if (m_depth == m_outsideDepth + 1 && m_depth <= 4 && name == kPath[m_depth - 1]) {
            m_outsideDepth = m_depth;
            if (m_depth == 4) {
                m_tableAt = m_depth;
                m_sawTable = true;
            }
        }
    }

    void startRow(const char** attributes) {
        const long long first = m_next;
        const long long count =
            std::min<long long>(repeat(attributes, "number-rows-repeated"), kMaxRow + 1);
        m_next += count;
        if (m_cells.pastEnd(first)) {
            m_done = true;
            return;
        }
        if (++m_rowsSeen % 4096 == 0) {
            m_control.check();
            m_control.report(30 + m_cells.percent(first) * 7 / 10);
        }
        m_from = std::max<long long>(first, m_range.first);
        m_to = std::min<long long>(first + count - 1, m_range.last);
        if (m_from > m_to) {
            m_skipFrom = m_depth;
            return;
        }
        m_rowAt = m_depth;
        m_column = 1;
    }

    void startCell(const char** attributes) {
        const long long span =
            std::min<long long>(repeat(attributes, "number-columns-repeated"), kMaxColumn + 1);
        if (m_cells.column() < m_column || m_cells.column() >= m_column + span) {
            m_column += span;
            m_skipFrom = m_depth;
            return;
        }
        m_column = kMaxColumn + 2;  // found: the rest of the row is passed over
        m_text.clear();
        const std::string_view type = officeAttribute(attributes, "value-type");
        if (type == "float" || type == "percentage" || type == "currency") {
            m_text = numberText(std::string_view(officeAttribute(attributes, "value")));
        } else if (type == "date") {
            m_text = isoDateText(officeAttribute(attributes, "date-value"));
        } else if (type == "time") {
            m_text = isoDateText(officeAttribute(attributes, "time-value"));
        } else if (type == "boolean") {
            m_text = std::strcmp(officeAttribute(attributes, "boolean-value"), "true") == 0
                         ? "DOĞRU"
                         : "YANLIŞ";
        } else {
            m_cellAt = m_depth;
            m_paragraphs = 0;
            return;
        }
        setRows();
        m_skipFrom = m_depth;
    }

    // Paragraphs are the cell's <text:p>; inside one, the text of any element but notes,
    // with <text:s>, <text:tab> and <text:line-break> for what they stand for.
    void startInCell(std::string_view name, const char** attributes) {
        if (!m_paragraphAt) {
            if (m_depth == m_cellAt + 1 && name == "p") {
                if (m_paragraphs++ > 0) {
                    appendCapped(m_text, "\n");
                }
                m_paragraphAt = m_depth;
            } else {
                m_skipFrom = m_depth;
            }
            return;
        }
        if (name == "s") {
            const auto blanks = static_cast<std::size_t>(std::clamp<long long>(
                repeat(attributes, "c"), 1, static_cast<long long>(kMaxEntryLength)));
            if (!capped(m_text)) {
                appendCapped(m_text, std::string(blanks, ' '));
            }
            m_skipFrom = m_depth;
        } else if (name == "tab") {
            appendCapped(m_text, "\t");
            m_skipFrom = m_depth;
        } else if (name == "line-break") {
            appendCapped(m_text, "\n");
            m_skipFrom = m_depth;
        } else if (name == "annotation" || name == "note") {
            m_skipFrom = m_depth;
        }
    }

    void endCell() {
        m_cellAt = 0;
        m_paragraphAt = 0;
        setRows();
    }

    void setRows() {
        m_text = ColumnCollector::kept(std::move(m_text));
        for (long long k = m_from; k <= m_to; ++k) {
            m_cells.set(k, m_text);
        }
    }

    ColumnCollector& m_cells;
    const CellRange& m_range;
    const ReadControl& m_control;
    int m_depth = 0;
    int m_outsideDepth = 0;  // how deep the path to the table goes so far
    int m_skipFrom = 0;      // inside an element whose content does not count
    int m_tableAt = 0, m_rowAt = 0, m_cellAt = 0, m_paragraphAt = 0;
    bool m_sawTable = false;
    bool m_done = false;
    long long m_next = 1;
    long long m_rowsSeen = 0;
    long long m_from = 0, m_to = 0;
    long long m_column = 1;
    int m_paragraphs = 0;
    std::string m_text;
};

}  // namespace

std::vector<std::string> readOdsColumn(std::string_view bytes, const CellRange& range,
                                       const ReadControl& control) {
    const ZipArchive zip(bytes);
    ColumnCollector cells(range);
    ContentHandler content(cells, range, control);
    xml::parsePart(zip, "content.xml", content, control);
    if (!content.sawTable()) {
        throw WorkbookError("Çalışma kitabında çalışma sayfası yok.");
    }
    return cells.take();
}

}  // namespace recipients
