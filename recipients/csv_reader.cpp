// .csv: fields separated by commas or semicolons (whichever the first record holds
// more of), a field in double quotes may hold either and line breaks, a doubled quote
// inside stands for one. Encoding: a byte-order mark decides; without one, text that is
// valid UTF-8 is UTF-8 and anything else Windows-1254, as Excel writes it here.

#include "platform/codepage_1254.h"
#include "recipients/text_import.h"
#include "recipients/workbook_readers.h"

namespace recipients {
namespace {

bool validUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int more = c < 0x80                 ? 0
                         : c >= 0xC2 && c <= 0xDF ? 1
                         : c >= 0xE0 && c <= 0xEF ? 2
                         : c >= 0xF0 && c <= 0xF4 ? 3
                                                  : -1;
        if (more < 0 || s.size() - i <= static_cast<std::size_t>(more)) {
            return false;
        }
        for (int k = 1; k <= more; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

std::string asUtf8(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return std::string(bytes.substr(3));
    }
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        return platform::cp1254::utf16ToUtf8(decodeText(bytes));
    }
    if (validUtf8(bytes)) {
        return std::string(bytes);
    }
    return platform::cp1254::toUtf8(bytes);
}

char chooseDelimiter(std::string_view text) {
    int commas = 0, semicolons = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == '\r' || c == '\n')) {
            break;
        } else if (!quoted && c == ',') {
            ++commas;
        } else if (!quoted && c == ';') {
            ++semicolons;
        }
    }
    return semicolons > commas ? ';' : ',';
}

}  // namespace

std::vector<std::string> readCsvColumn(std::string_view bytes, const CellRange& range,
                                       const ReadControl& control) {
    ColumnCollector cells(range);
    const std::string text = asUtf8(bytes);
    const char delimiter = chooseDelimiter(text);
    const std::size_t n = text.size();
    std::size_t i = 0;
    long long row = 1;
    int field = 1;
    std::string value;
    while (i < n && !cells.pastEnd(row)) {
        // One field.
        value.clear();
        const bool wanted = field == cells.column() && cells.wants(row);
        if (text[i] == '"') {
            ++i;
            for (;;) {
                const std::size_t quote = text.find('"', i);
                if (quote == std::string::npos) {  // no closing quote: the rest of the file
                    if (wanted) {
                        value.append(text, i, n - i);
                    }
                    i = n;
                    break;
                }
                if (wanted) {
                    value.append(text, i, quote - i);
                }
                i = quote + 1;
                if (i < n && text[i] == '"') {
                    if (wanted) {
                        value += '"';
                    }
                    ++i;
                    continue;
                }
                break;
            }
        }
        // Up to the delimiter or the line's end (text after a closing quote is kept).
        std::size_t end = i;
        while (end < n && text[end] != delimiter && text[end] != '\r' && text[end] != '\n') {
            ++end;
        }
        if (wanted) {
            value.append(text, i, end - i);
            cells.set(row, value);
        }
        i = end;
        if (i < n && text[i] == delimiter) {
            ++i;
            ++field;
            if (i == n) {
                break;
            }
            continue;
        }
        if (i < n) {  // a line break ends the record
            i += (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
        }
        ++row;
        field = 1;
        if ((row & 0xFFF) == 0) {
            control.check();
            control.report(
                static_cast<int>(90.0 * static_cast<double>(i) / static_cast<double>(n)));
        }
    }
    return cells.take();
}

}  // namespace recipients
