// .xlsx: the Office Open XML workbook, a zip of XML parts. The first worksheet is the
// first <sheet> of xl/workbook.xml, found through the workbook's relationships.

#include <pugixml.hpp>

#include <cstdlib>
#include <map>
#include <optional>

#include "recipients/cell_text.h"
#include "recipients/workbook_readers.h"
#include "recipients/xml_parts.h"
#include "recipients/zip_archive.h"

namespace recipients {
namespace {

using xml::attribute;
using xml::child;
using xml::is;

std::string folderOf(const std::string& part) {
    const std::size_t slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// A relationship target, relative to the part's folder or absolute from the root.
std::string resolve(const std::string& folder, std::string target) {
    if (target.starts_with("/")) {
        return target.substr(1);
    }
    std::string path = folder;
    while (target.starts_with("../")) {
        target.erase(0, 3);
        if (!path.empty()) {
            path.pop_back();
            path = folderOf(path);
        }
    }
    return path + target;
}

struct Relationships {
    std::map<std::string, std::string> byId;    // Id -> part
    std::map<std::string, std::string> byType;  // last word of the type -> part
};

Relationships readRelationships(const ZipArchive& zip, const std::string& part,
                                const ReadControl& control) {
    Relationships rels;
    const std::string folder = folderOf(part);
    const std::string name = folder + "_rels/" + part.substr(folder.size()) + ".rels";
    if (!zip.has(name)) {
        return rels;
    }
    std::string text = zip.read(name, control);
    pugi::xml_document doc;
    xml::parse(doc, text);
    for (pugi::xml_node r = child(doc, "Relationships").first_child(); r; r = r.next_sibling()) {
        if (!is(r, "Relationship")) {
            continue;
        }
        const std::string target = resolve(folder, r.attribute("Target").value());
        rels.byId[r.attribute("Id").value()] = target;
        std::string type = r.attribute("Type").value();
        rels.byType.emplace(type.substr(type.rfind('/') + 1), target);
    }
    return rels;
}

// The text of a string item (<si> or <is>): its <t> elements, phonetic runs left out.
void appendText(const pugi::xml_node& node, std::string& out) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (is(c, "t")) {
            out += c.child_value();
        } else if (is(c, "r")) {
            appendText(c, out);
        }
    }
}

std::vector<std::string> readSharedStrings(const ZipArchive& zip, const std::string& part,
                                           const ReadControl& control) {
    std::vector<std::string> strings;
    if (part.empty() || !zip.has(part)) {
        return strings;
    }
    std::string text = zip.read(part, control);
    pugi::xml_document doc;
    xml::parse(doc, text);
    for (pugi::xml_node si = child(doc, "sst").first_child(); si; si = si.next_sibling()) {
        if (is(si, "si")) {
            std::string s;
            appendText(si, s);
            strings.push_back(std::move(s));
        }
    }
    return strings;
}

// Per cell style (index of <xf> in <cellXfs>): whether it shows a date, and which part.
std::vector<std::optional<DatePart>> readDateStyles(const ZipArchive& zip, const std::string& part,
                                                    const ReadControl& control) {
    std::vector<std::optional<DatePart>> styles;
    if (part.empty() || !zip.has(part)) {
        return styles;
    }
    std::string text = zip.read(part, control);
    pugi::xml_document doc;
    xml::parse(doc, text);
    const pugi::xml_node sheet = child(doc, "styleSheet");
    std::map<unsigned, std::string> codes;
    for (pugi::xml_node f = child(sheet, "numFmts").first_child(); f; f = f.next_sibling()) {
        if (is(f, "numFmt")) {
            codes[f.attribute("numFmtId").as_uint()] = f.attribute("formatCode").value();
        }
    }
    for (pugi::xml_node xf = child(sheet, "cellXfs").first_child(); xf; xf = xf.next_sibling()) {
        if (!is(xf, "xf")) {
            continue;
        }
        const unsigned id = xf.attribute("numFmtId").as_uint();
        std::optional<DatePart> part;
        if (auto code = codes.find(id); code != codes.end()) {
            bool date = false;
            const DatePart p = formatDatePart(code->second, &date);
            if (date) {
                part = p;
            }
        } else if (id >= 14 && id <= 17) {
            part = DatePart::Date;
        } else if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47)) {
            part = DatePart::Time;
        } else if (id == 22) {
            part = DatePart::DateTime;
        }
        styles.push_back(part);
    }
    return styles;
}

// "AB12" -> column 28, row 12 (0 for a part that is missing).
void cellReference(const char* ref, long long& column, long long& row) {
    column = 0;
    row = 0;
    for (; *ref >= 'A' && *ref <= 'Z'; ++ref) {
        column = column * 26 + (*ref - 'A' + 1);
        if (column > kMaxColumn) {
            column = kMaxColumn + 1;
        }
    }
    for (; *ref >= '0' && *ref <= '9'; ++ref) {
        row = row * 10 + (*ref - '0');
        if (row > kMaxRow) {
            row = kMaxRow + 1;
        }
    }
}

}  // namespace

std::vector<std::string> readXlsxColumn(std::string_view bytes, const CellRange& range,
                                        const ReadControl& control) {
    const ZipArchive zip(bytes);

    std::string workbookPart = "xl/workbook.xml";
    if (const Relationships root = readRelationships(zip, "", control);
        root.byType.count("officeDocument")) {
        workbookPart = root.byType.at("officeDocument");
    }
    std::string workbookText = zip.read(workbookPart, control);
    pugi::xml_document workbook;
    xml::parse(workbook, workbookText);
    const pugi::xml_node wb = child(workbook, "workbook");
    const bool system1904 = child(wb, "workbookPr").attribute("date1904").as_bool();
    const pugi::xml_node sheet = child(child(wb, "sheets"), "sheet");
    if (!sheet) {
        throw WorkbookError("Çalışma kitabında çalışma sayfası yok.");
    }
    const Relationships rels = readRelationships(zip, workbookPart, control);
    const auto sheetPart = rels.byId.find(attribute(sheet, "id").value());
    if (sheetPart == rels.byId.end()) {
        throw WorkbookError("Dosya bozuk ya da bir çalışma kitabı değil.");
    }
    auto partOf = [&](const char* type) {
        auto it = rels.byType.find(type);
        return it == rels.byType.end() ? std::string() : it->second;
    };
    const std::vector<std::string> strings =
        readSharedStrings(zip, partOf("sharedStrings"), control);
    const auto dateStyles = readDateStyles(zip, partOf("styles"), control);
    control.report(15);

    std::string sheetText = zip.read(sheetPart->second, control);
    control.check();
    pugi::xml_document doc;
    xml::parse(doc, sheetText);
    control.report(50);

    ColumnCollector cells(range);
    const pugi::xml_node data = child(child(doc, "worksheet"), "sheetData");
    long long row = 0;
    long long rowsSeen = 0;
    for (pugi::xml_node r = data.first_child(); r; r = r.next_sibling()) {
        if (!is(r, "row")) {
            continue;
        }
        const long long given = r.attribute("r").as_llong();
        row = given > row ? given : row + 1;
        if (cells.pastEnd(row)) {
            break;
        }
        if (++rowsSeen % 4096 == 0) {
            control.check();
            control.report(50 + cells.percent(row) / 2);
        }
        if (!cells.wants(row)) {
            continue;
        }
        long long column = 0;
        for (pugi::xml_node c = r.first_child(); c; c = c.next_sibling()) {
            if (!is(c, "c")) {
                continue;
            }
            long long refColumn = 0, refRow = 0;
            cellReference(c.attribute("r").value(), refColumn, refRow);
            column = refColumn > 0 ? refColumn : column + 1;
            if (column != cells.column()) {
                continue;
            }
            const std::string_view type = c.attribute("t").value();
            const char* value = child(c, "v").child_value();
            std::string text;
            if (type == "s") {
                char* end = nullptr;
                const unsigned long index = std::strtoul(value, &end, 10);
                if (end != value && index < strings.size()) {
                    text = strings[index];
                }
            } else if (type == "inlineStr") {
                appendText(child(c, "is"), text);
            } else if (type == "str" || type == "e") {
                text = value;
            } else if (type == "b") {
                text = std::string_view(value) == "1" ? "DOĞRU" : "YANLIŞ";
            } else if (type == "d") {
                text = isoDateText(value);
            } else if (*value) {
                const unsigned style = c.attribute("s").as_uint();
                if (style < dateStyles.size() && dateStyles[style]) {
                    const std::optional<double> serial = parseNumber(value);
                    text = serial ? serialDateText(*serial, *dateStyles[style], system1904)
                                  : std::string(value);
                } else {
                    text = numberText(std::string_view(value));
                }
            }
            cells.set(row, std::move(text));
            break;
        }
    }
    return cells.take();
}

}  // namespace recipients
