// .csv: fields separated by semicolons, commas or tabs (see chooseDelimiter), a field
// in double quotes may hold any of them and line breaks, a doubled quote inside stands
// for one. Encoding as text_encoding.h says.

#include <array>
#include <string>

#include "recipients/cell_text.h"
#include "recipients/text_encoding.h"
#include "recipients/workbook_readers.h"

namespace recipients {
namespace {

// Reads the text field by field.
class CsvScanner {
public:
    CsvScanner(std::string_view text, char delimiter) : m_text(text), m_delimiter(delimiter) {}

    bool atEnd() const { return m_i >= m_text.size(); }
    std::size_t position() const { return m_i; }

    // Reads one field, appending its text to `value` when given (cut at the cell
    // length). Returns true when the field ended its record.
    bool field(std::string* value) {
        const std::string_view text = m_text;
        const std::size_t n = text.size();
        if (m_i < n && text[m_i] == '"') {
            ++m_i;
            for (;;) {
                const std::size_t quote = text.find('"', m_i);
                if (quote == std::string_view::npos) {  // no closing quote: the rest of the file
                    keep(value, text.substr(m_i));
                    m_i = n;
                    return true;
                }
                keep(value, text.substr(m_i, quote - m_i));
                m_i = quote + 1;
                if (m_i < n && text[m_i] == '"') {
                    keep(value, "\"");
                    ++m_i;
                    continue;
                }
                break;
            }
        }
        // Up to the delimiter or the line's end (text after a closing quote is kept).
        std::size_t end = m_i;
        while (end < n && text[end] != m_delimiter && text[end] != '\r' && text[end] != '\n') {
            ++end;
        }
        keep(value, text.substr(m_i, end - m_i));
        m_i = end;
        if (m_i < n && text[m_i] == m_delimiter) {
            ++m_i;
            // A delimiter at the very end leaves an empty last field, which is not read.
            return m_i == n;
        }
        if (m_i < n) {  // a line break ends the record
            m_i += (text[m_i] == '\r' && m_i + 1 < n && text[m_i + 1] == '\n') ? 2 : 1;
        }
        return true;
    }

private:
    static void keep(std::string* value, std::string_view piece) {
        if (value) {
            appendCapped(*value, piece);
        }
    }

    std::string_view m_text;
    char m_delimiter;
    std::size_t m_i = 0;
};

constexpr int kRecordsLooked = 20;

// The delimiter under which most of the first records have one and the same number of
// fields (two or more); ';' on a tie, as Turkish spreadsheet programs write it. A
// title line above the table, or a decimal comma in a field, does not mislead it.
char chooseDelimiter(std::string_view text) {
    constexpr std::array<char, 3> kCandidates = {';', ',', '\t'};
    char best = ';';
    int bestScore = 0;
    for (char candidate : kCandidates) {
        CsvScanner scanner(text, candidate);
        std::array<int, kRecordsLooked> fields{};
        int records = 0;
        while (records < kRecordsLooked && !scanner.atEnd()) {
            int count = 1;
            while (!scanner.field(nullptr)) {
                ++count;
            }
            fields[static_cast<std::size_t>(records++)] = count;
        }
        int score = 0;
        for (int i = 0; i < records; ++i) {
            int same = 0;
            for (int k = 0; k < records; ++k) {
                same += fields[static_cast<std::size_t>(k)] == fields[static_cast<std::size_t>(i)];
            }
            if (fields[static_cast<std::size_t>(i)] >= 2 && same > score) {
                score = same;
            }
        }
        if (score > bestScore) {
            best = candidate;
            bestScore = score;
        }
    }
    return best;
}

}  // namespace

std::vector<std::string> readCsvColumn(std::string_view bytes, const CellRange& range,
                                       const ReadControl& control) {
    ColumnCollector cells(range);
    const TextForm form = textForm(bytes);
    control.tell(encodingNote(form));
    // UTF-8 is read where it lies; any other form is converted once.
    std::string converted;
    if (form.encoding != TextEncoding::Utf8) {
        converted = toUtf8(form);
    }
    const std::string_view text = form.encoding == TextEncoding::Utf8 ? form.body : converted;
    CsvScanner scanner(text, chooseDelimiter(text));
    long long row = 1;
    int field = 1;
    std::string value;
    while (!scanner.atEnd() && !cells.pastEnd(row)) {
        const bool wanted = field == cells.column() && cells.wants(row);
        value.clear();
        const bool recordEnded = scanner.field(wanted ? &value : nullptr);
        if (wanted) {
            cells.set(row, value);
        }
        if (!recordEnded) {
            ++field;
            continue;
        }
        ++row;
        field = 1;
        if ((row & 0xFFF) == 0) {
            control.check();
            control.report(static_cast<int>(90.0 * static_cast<double>(scanner.position()) /
                                            static_cast<double>(text.size())));
        }
    }
    return cells.take();
}

}  // namespace recipients
