// .xlsx: the Office Open XML workbook, a zip of XML parts. The first worksheet is the
// first <sheet> of xl/workbook.xml, found through the workbook's relationships. The
// worksheet is read before the shared strings, so that only the strings its wanted
// cells use are kept.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>

#include "recipients/cell_text.h"
#include "recipients/workbook_readers.h"
#include "recipients/xml_stream.h"
#include "recipients/zip_archive.h"

namespace recipients {
namespace {

using xml::attribute;

// More relationships or cell styles than any workbook has, or longer names and format
// codes, are not kept.
constexpr std::size_t kMaxRelationships = 4096;
constexpr std::size_t kMaxStyles = 65536;
constexpr std::size_t kMaxNameBytes = 1024;
constexpr std::size_t kMaxFormatBytes = 256;

// The attribute's value, empty when it is missing or longer than `max` bytes.
std::string value(const char** attributes, std::string_view local,
                  std::size_t max = kMaxNameBytes) {
    const char* v = attribute(attributes, local);
    const std::size_t length = v ? strnlen(v, max + 1) : 0;
    return length <= max ? std::string(v ? v : "", length) : std::string();
}

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

class RelationshipsHandler : public xml::Handler {
public:
    RelationshipsHandler(Relationships& rels, std::string folder)
        : m_rels(rels), m_folder(std::move(folder)) {}
    void start(std::string_view name, const char** attributes) override {
        ++m_depth;
        if (m_depth != 2 || name != "Relationship" || m_rels.byId.size() >= kMaxRelationships) {
            return;
        }
        const std::string target = value(attributes, "Target");
        const std::string id = value(attributes, "Id");
        const std::string type = value(attributes, "Type");
        const std::string part = resolve(m_folder, target);
        m_rels.byId[id] = part;
        m_rels.byType.emplace(type.substr(type.rfind('/') + 1), part);
    }
    void end() override { --m_depth; }
    void text(std::string_view) override {}

private:
    Relationships& m_rels;
    std::string m_folder;
    int m_depth = 0;
};

Relationships readRelationships(const ZipArchive& zip, const std::string& part,
                                const ReadControl& control) {
    Relationships rels;
    const std::string folder = folderOf(part);
    const std::string name = folder + "_rels/" + part.substr(folder.size()) + ".rels";
    if (zip.has(name)) {
        RelationshipsHandler handler(rels, folder);
        xml::parsePart(zip, name, handler, control);
    }
    return rels;
}

// workbook / workbookPr and workbook / sheets / sheet (the first).
class WorkbookHandler : public xml::Handler {
public:
    void start(std::string_view name, const char** attributes) override {
        ++m_depth;
        if (m_depth == 2) {
            m_inSheets = name == "sheets";
            if (name == "workbookPr") {
                const std::string v = value(attributes, "date1904");
                system1904 =
                    !v.empty() && std::string_view("1tTyY").find(v[0]) != std::string_view::npos;
            }
        } else if (m_depth == 3 && m_inSheets && name == "sheet" && !sheetId) {
            sheetId = value(attributes, "id");
        }
    }
    void end() override { --m_depth; }
    void text(std::string_view) override {}
    bool done() const override { return sheetId.has_value(); }

    bool system1904 = false;
    std::optional<std::string> sheetId;

private:
    int m_depth = 0;
    bool m_inSheets = false;
};

// Per cell style (index of <xf> in <cellXfs>): whether it shows a date, and which part.
using DateStyles = std::vector<std::optional<DatePart>>;

class StylesHandler : public xml::Handler {
public:
    void start(std::string_view name, const char** attributes) override {
        ++m_depth;
        if (m_depth == 2) {
            m_section = name.substr(0, 16);  // enough to tell the sections
        } else if (m_depth == 3 && m_section == "numFmts" && name == "numFmt" &&
                   m_codes.size() < kMaxStyles) {
            m_codes[std::strtoul(value(attributes, "numFmtId").c_str(), nullptr, 10)] =
                value(attributes, "formatCode", kMaxFormatBytes);
        } else if (m_depth == 3 && m_section == "cellXfs" && name == "xf" &&
                   styles.size() < kMaxStyles) {
            styles.push_back(datePart(static_cast<unsigned>(
                std::strtoul(value(attributes, "numFmtId").c_str(), nullptr, 10))));
        }
    }
    void end() override {
        // The cell styles come after the number formats: nothing further is needed.
        m_done = m_depth == 2 && m_section == "cellXfs";
        --m_depth;
    }
    void text(std::string_view) override {}
    bool done() const override { return m_done; }

    DateStyles styles;

private:
    std::optional<DatePart> datePart(unsigned id) const {
        if (auto code = m_codes.find(id); code != m_codes.end()) {
            bool date = false;
            const DatePart p = formatDatePart(code->second, &date);
            return date ? std::optional<DatePart>(p) : std::nullopt;
        }
        if (id >= 14 && id <= 17) {
            return DatePart::Date;
        }
        if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47)) {
            return DatePart::Time;
        }
        if (id == 22) {
            return DatePart::DateTime;
        }
        return std::nullopt;
    }

    int m_depth = 0;
    bool m_done = false;
    std::string m_section;
    std::map<unsigned long, std::string> m_codes;
};

// The text of a string item (<si> or <is>) is that of its <t> elements, directly inside
// it or inside its runs <r>; phonetic runs and anything else are left out. Fed the
// events below the item.
class StringItem {
public:
    void start(std::string_view name) {
        ++m_depth;
        if (m_skipFrom || m_tAt) {
            if (!m_skipFrom) {
                m_skipFrom = m_depth;  // nothing inside a <t> but its text
            }
        } else if (name == "t") {
            m_tAt = m_depth;
        } else if (name != "r") {
            m_skipFrom = m_depth;
        }
    }
    void end() {
        if (m_skipFrom == m_depth) {
            m_skipFrom = 0;
        } else if (m_tAt == m_depth) {
            m_tAt = 0;
        }
        --m_depth;
    }
    void text(std::string_view piece, std::string& out) const {
        if (m_tAt && !m_skipFrom && !capped(out)) {
            appendCapped(out, piece);
        }
    }

private:
    int m_depth = 0;
    int m_skipFrom = 0;
    int m_tAt = 0;
};

// "AB12" -> column 28, row 12 (0 for a part that is missing).
void cellReference(const char* ref, long long& column, long long& row) {
    column = 0;
    row = 0;
    if (!ref) {
        return;
    }
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

// worksheet / sheetData / row / c: the wanted column's cell of every wanted row.
class SheetHandler : public xml::Handler {
public:
    SheetHandler(ColumnCollector& cells, const DateStyles& styles, bool system1904,
                 const ReadControl& control)
        : m_cells(cells), m_styles(styles), m_system1904(system1904), m_control(control) {}

    void start(std::string_view name, const char** attributes) override {
        ++m_depth;
        if (m_depth == 2) {
            m_inData = name == "sheetData";
        } else if (m_depth == 3 && m_inData && name == "row") {
            startRow(attributes);
        } else if (m_depth == 4 && m_rowWanted && name == "c") {
            startCell(attributes);
        } else if (m_depth == 5 && m_inCell) {
            if (name == "v" && !m_seenValue) {
                m_inValue = m_seenValue = true;
            } else if (name == "is" && !m_seenInline) {
                m_inInline = m_seenInline = true;
            }
        } else if (m_inInline) {
            m_item.start(name);
        }
    }

    void end() override {
        if (m_inInline && m_depth > 5) {
            m_item.end();
        } else if (m_depth == 5) {
            m_inValue = m_inInline = false;
        } else if (m_depth == 4 && m_inCell) {
            endCell();
        } else if (m_depth == 3) {
            m_rowWanted = false;
        }
        --m_depth;
    }

    void text(std::string_view piece) override {
        if (m_inValue && m_depth == 5) {
            appendCapped(m_value, piece);
        } else if (m_inInline && m_depth > 5) {
            m_item.text(piece, m_inlineText);
        }
    }

    bool done() const override { return m_done; }

    // Rows whose cell is a shared string, with its index.
    std::vector<std::pair<long long, unsigned long>> sharedCells;

private:
    void startRow(const char** attributes) {
        const char* given = attribute(attributes, "r");
        const long long r = given ? std::atoll(given) : 0;
        m_row = r > m_row ? std::min<long long>(r, kMaxRow + 1) : m_row + 1;
        if (m_cells.pastEnd(m_row)) {
            m_done = true;
            return;
        }
        if (++m_rowsSeen % 4096 == 0) {
            m_control.check();
            m_control.report(50 + m_cells.percent(m_row) / 2);
        }
        m_rowWanted = m_cells.wants(m_row);
        m_column = 0;
        m_cellFound = false;
    }

    void startCell(const char** attributes) {
        long long refColumn = 0, refRow = 0;
        cellReference(attribute(attributes, "r"), refColumn, refRow);
        m_column = refColumn > 0 ? refColumn : m_column + 1;
        if (m_cellFound || m_column != m_cells.column()) {
            return;
        }
        m_cellFound = m_inCell = true;
        m_type = value(attributes, "t");
        const char* style = attribute(attributes, "s");
        m_style = style ? std::strtoul(style, nullptr, 10) : 0;
        m_value.clear();
        m_inlineText.clear();
        m_item = StringItem();
        m_seenValue = m_seenInline = false;
    }

    void endCell() {
        m_inCell = false;
        std::string text;
        if (m_type == "s") {
            char* end = nullptr;
            const unsigned long index = std::strtoul(m_value.c_str(), &end, 10);
            if (end != m_value.c_str()) {
                sharedCells.emplace_back(m_row, index);
            }
            return;
        }
        if (m_type == "inlineStr") {
            text = std::move(m_inlineText);
        } else if (m_type == "str" || m_type == "e") {
            text = std::move(m_value);
        } else if (m_type == "b") {
            text = m_value == "1" ? "DOĞRU" : "YANLIŞ";
        } else if (m_type == "d") {
            text = isoDateText(m_value);
        } else if (!m_value.empty()) {
            if (m_style < m_styles.size() && m_styles[m_style]) {
                const std::optional<double> serial = parseNumber(m_value);
                text = serial ? serialDateText(*serial, *m_styles[m_style], m_system1904) : m_value;
            } else {
                text = numberText(std::string_view(m_value));
            }
        }
        m_cells.set(m_row, std::move(text));
    }

    ColumnCollector& m_cells;
    const DateStyles& m_styles;
    bool m_system1904;
    const ReadControl& m_control;
    int m_depth = 0;
    bool m_inData = false;
    bool m_done = false;
    long long m_row = 0;
    long long m_rowsSeen = 0;
    bool m_rowWanted = false;
    long long m_column = 0;
    bool m_cellFound = false;
    bool m_inCell = false;
    std::string m_type;
    unsigned long m_style = 0;
    bool m_inValue = false, m_seenValue = false;
    bool m_inInline = false, m_seenInline = false;
    std::string m_value;
    std::string m_inlineText;
    StringItem m_item;
};

// sst / si: the texts of the wanted items only (indices sorted, without repeats).
class SharedStringsHandler : public xml::Handler {
public:
    explicit SharedStringsHandler(const std::vector<unsigned long>& wanted)
        : m_wanted(wanted), texts(wanted.size()) {}

    void start(std::string_view name, const char**) override {
        ++m_depth;
        if (m_depth == 2) {
            m_isItem = name == "si";
            m_inItem = m_isItem && m_cursor < m_wanted.size() && m_wanted[m_cursor] == m_index;
            m_item = StringItem();
        } else if (m_depth > 2 && m_inItem) {
            m_item.start(name);
        }
    }
    void end() override {
        if (m_depth > 2 && m_inItem) {
            m_item.end();
        } else if (m_depth == 2) {
            if (m_inItem) {
                ++m_cursor;
                m_inItem = false;
            }
            m_index += m_isItem;
        }
        --m_depth;
    }
    void text(std::string_view piece) override {
        if (m_inItem && m_depth > 2) {
            m_item.text(piece, texts[m_cursor]);
        }
    }
    bool done() const override { return m_cursor == m_wanted.size(); }

private:
    const std::vector<unsigned long>& m_wanted;
    std::size_t m_cursor = 0;
    unsigned long m_index = 0;
    int m_depth = 0;
    bool m_isItem = false;
    bool m_inItem = false;
    StringItem m_item;

public:
    std::vector<std::string> texts;  // one per wanted index
};

}  // namespace

std::vector<std::string> readXlsxColumn(std::string_view bytes, const CellRange& range,
                                        const ReadControl& control) {
    const ZipArchive zip(bytes);

    std::string workbookPart = "xl/workbook.xml";
    if (const Relationships root = readRelationships(zip, "", control);
        root.byType.count("officeDocument")) {
        workbookPart = root.byType.at("officeDocument");
    }
    WorkbookHandler workbook;
    xml::parsePart(zip, workbookPart, workbook, control);
    if (!workbook.sheetId) {
        throw WorkbookError("Çalışma kitabında çalışma sayfası yok.");
    }
    const Relationships rels = readRelationships(zip, workbookPart, control);
    const auto sheetPart = rels.byId.find(*workbook.sheetId);
    if (sheetPart == rels.byId.end()) {
        throw WorkbookError("Dosya bozuk ya da bir çalışma kitabı değil.");
    }
    auto partOf = [&](const char* type) {
        auto it = rels.byType.find(type);
        return it == rels.byType.end() || !zip.has(it->second) ? std::string() : it->second;
    };
    StylesHandler styles;
    if (const std::string part = partOf("styles"); !part.empty()) {
        xml::parsePart(zip, part, styles, control);
    }
    control.report(15);

    ColumnCollector cells(range);
    SheetHandler sheet(cells, styles.styles, workbook.system1904, control);
    xml::parsePart(zip, sheetPart->second, sheet, control);
    control.report(90);

    if (sheet.sharedCells.empty()) {
        return cells.take();
    }
    std::vector<unsigned long> wanted;
    wanted.reserve(sheet.sharedCells.size());
    for (const auto& cell : sheet.sharedCells) {
        wanted.push_back(cell.second);
    }
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    SharedStringsHandler strings(wanted);
    if (const std::string part = partOf("sharedStrings"); !part.empty()) {
        xml::parsePart(zip, part, strings, control);
    }
    for (std::string& text : strings.texts) {
        text = ColumnCollector::kept(std::move(text));
    }
    // An index past the last item gives an empty text.
    for (const auto& [row, index] : sheet.sharedCells) {
        const auto at = std::lower_bound(wanted.begin(), wanted.end(), index) - wanted.begin();
        cells.set(row, strings.texts[static_cast<std::size_t>(at)]);
    }
    return cells.take();
}

}  // namespace recipients
