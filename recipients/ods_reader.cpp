// .ods: the OpenDocument spreadsheet, a zip whose content.xml holds every sheet. Rows
// and cells may carry a repeat count (a sheet often ends in one row repeated a million
// times); they are counted, never expanded.

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>

#include "recipients/cell_text.h"
#include "recipients/workbook_readers.h"
#include "recipients/xml_parts.h"
#include "recipients/zip_archive.h"

namespace recipients {
namespace {

using xml::child;
using xml::is;

const char* officeAttribute(const pugi::xml_node& node, const char* name) {
    const std::string qualified = std::string("office:") + name;
    if (pugi::xml_attribute a = node.attribute(qualified.c_str())) {
        return a.value();
    }
    return xml::attribute(node, name).value();
}

long long repeat(const pugi::xml_node& node, const char* name) {
    const long long n = xml::attribute(node, name).as_llong(1);
    return n < 1 ? 1 : n;
}

void appendParagraph(const pugi::xml_node& node, std::string& out) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
            out += c.value();
        } else if (is(c, "s")) {
            out.append(static_cast<std::size_t>(std::clamp<long long>(repeat(c, "c"), 1, 1000)),
                       ' ');
        } else if (is(c, "tab")) {
            out += '\t';
        } else if (is(c, "line-break")) {
            out += '\n';
        } else if (c.type() == pugi::node_element && !is(c, "annotation") && !is(c, "note")) {
            appendParagraph(c, out);
        }
    }
}

std::string cellText(const pugi::xml_node& cell) {
    const std::string_view type = officeAttribute(cell, "value-type");
    if (type == "float" || type == "percentage" || type == "currency") {
        return numberText(std::string_view(officeAttribute(cell, "value")));
    }
    if (type == "date") {
        return isoDateText(officeAttribute(cell, "date-value"));
    }
    if (type == "time") {
        return isoDateText(officeAttribute(cell, "time-value"));
    }
    if (type == "boolean") {
        return std::strcmp(officeAttribute(cell, "boolean-value"), "true") == 0 ? "DOĞRU"
                                                                                : "YANLIŞ";
    }
    std::string text;
    bool first = true;
    for (pugi::xml_node p = cell.first_child(); p; p = p.next_sibling()) {
        if (is(p, "p")) {
            if (!first) {
                text += '\n';
            }
            first = false;
            appendParagraph(p, text);
        }
    }
    return text;
}

class SheetWalk {
public:
    SheetWalk(ColumnCollector& cells, const CellRange& range, const ReadControl& control)
        : m_cells(cells), m_range(range), m_control(control) {}

    // Walks the rows of a table or of a row group; false once past the range.
    bool rows(const pugi::xml_node& parent) {
        for (pugi::xml_node r = parent.first_child(); r; r = r.next_sibling()) {
            if (is(r, "table-row")) {
                if (!row(r)) {
                    return false;
                }
            } else if (is(r, "table-row-group") || is(r, "table-header-rows") ||
                       is(r, "table-rows")) {
                if (!rows(r)) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    bool row(const pugi::xml_node& r) {
        const long long first = m_next;
        const long long count = repeat(r, "number-rows-repeated");
        m_next += count;
        if (m_cells.pastEnd(first)) {
            return false;
        }
        if (++m_rowsSeen % 4096 == 0) {
            m_control.check();
            m_control.report(30 + m_cells.percent(first) * 7 / 10);
        }
        const long long from = std::max<long long>(first, m_range.first);
        const long long to = std::min<long long>(first + count - 1, m_range.last);
        if (from > to) {
            return true;
        }
        long long column = 1;
        for (pugi::xml_node c = r.first_child(); c; c = c.next_sibling()) {
            if (!is(c, "table-cell") && !is(c, "covered-table-cell")) {
                continue;
            }
            const long long span = repeat(c, "number-columns-repeated");
            if (m_cells.column() >= column && m_cells.column() < column + span) {
                const std::string text = cellText(c);
                for (long long k = from; k <= to; ++k) {
                    m_cells.set(k, text);
                }
                break;
            }
            column += span;
            if (column > m_cells.column()) {
                break;
            }
        }
        return true;
    }

    ColumnCollector& m_cells;
    const CellRange& m_range;
    const ReadControl& m_control;
    long long m_next = 1;
    long long m_rowsSeen = 0;
};

}  // namespace

std::vector<std::string> readOdsColumn(std::string_view bytes, const CellRange& range,
                                       const ReadControl& control) {
    const ZipArchive zip(bytes);
    std::string text = zip.read("content.xml", control);
    control.check();
    pugi::xml_document doc;
    xml::parse(doc, text);
    control.report(30);
    const pugi::xml_node spreadsheet =
        child(child(child(doc, "document-content"), "body"), "spreadsheet");
    const pugi::xml_node table = child(spreadsheet, "table");
    if (!table) {
        throw WorkbookError("Çalışma kitabında çalışma sayfası yok.");
    }
    ColumnCollector cells(range);
    SheetWalk(cells, range, control).rows(table);
    return cells.take();
}

}  // namespace recipients
