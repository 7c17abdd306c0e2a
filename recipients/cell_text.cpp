#include "recipients/cell_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace recipients {
namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(long long z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yy + (m <= 2));
}

std::string dateText(int y, unsigned m, unsigned d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02u.%02u.%04d", d, m, y);
    return buf;
}

std::string timeText(long long seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return buf;
}

std::string joined(const std::string& date, const std::string& time, DatePart part) {
    switch (part) {
        case DatePart::Date:
            return date;
        case DatePart::Time:
            return time;
        case DatePart::DateTime:
            break;
    }
    return date + " " + time;
}

}  // namespace

std::string numberText(double value) {
    if (value == 0) {
        return "0";  // also -0
    }
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", value);
        return buf;
    }
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (r.ec != std::errc()) {
        return "0";
    }
    std::string text(buf, r.ptr);
    for (char& c : text) {
        if (c == '.') {
            c = ',';
        }
    }
    return text;
}

std::optional<double> parseNumber(std::string_view text) {
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string numberText(std::string_view text) {
    const std::optional<double> value = parseNumber(text);
    return value ? numberText(*value) : std::string(text);
}

std::string serialDateText(double serial, DatePart part, bool system1904) {
    if (!std::isfinite(serial) || serial < 0 || serial > 2958466) {  // past 31.12.9999
        return numberText(serial);
    }
    long long day = static_cast<long long>(std::floor(serial));
    long long seconds = std::llround((serial - static_cast<double>(day)) * 86400.0);
    if (seconds >= 86400) {
        ++day;
        seconds -= 86400;
    }
    std::string date;
    if (system1904) {
        int y;
        unsigned m, d;
        civilFromDays(day - 24107, y, m, d);  // 1904-01-01 is day 0
        date = dateText(y, m, d);
    } else if (day == 60) {
        date = dateText(1900, 2, 29);  // the day the 1900 system counts and the calendar lacks
    } else if (day == 0) {
        date = dateText(1900, 1, 0);
    } else {
        int y;
        unsigned m, d;
        civilFromDays(day - (day < 60 ? 25568 : 25569), y, m, d);  // 1899-12-30 is day 0
        date = dateText(y, m, d);
    }
    return joined(date, timeText(seconds), part);
}

std::string isoDateText(std::string_view iso) {
    int y = 0;
    unsigned mo = 0, d = 0, h = 0, mi = 0;
    double s = 0;
    std::string text(iso);
    if (text.size() > 10 && text[10] == ' ') {
        text[10] = 'T';  // "2024-03-05 10:20:00"
    }
    if (std::sscanf(text.c_str(), "PT%uH%uM%lfS", &h, &mi, &s) == 3) {
        return timeText(static_cast<long long>(h) * 3600 + mi * 60 + std::llround(s));
    }
    const int n = std::sscanf(text.c_str(), "%d-%u-%uT%u:%u:%lf", &y, &mo, &d, &h, &mi, &s);
    if (n == 3 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31) {
        return dateText(y, mo, d);
    }
    if (n >= 5 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31) {
        return dateText(y, mo, d) + " " +
               timeText(static_cast<long long>(h) * 3600 + mi * 60 + std::llround(s));
    }
    if (std::sscanf(text.c_str(), "%u:%u:%lf", &h, &mi, &s) == 3) {
        return timeText(static_cast<long long>(h) * 3600 + mi * 60 + std::llround(s));
    }
    return text;
}

DatePart formatDatePart(std::string_view code, bool* isDate) {
    bool date = false, time = false, minute = false;
    bool quoted = false;
    int bracket = 0;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (quoted) {
            quoted = c != '"';
            continue;
        }
        if (c == '"') {
            quoted = true;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;  // the next character is shown as it is, or is padding
        } else if (c == '[') {
            // [h], [mm], [ss]: elapsed time; anything else in brackets is a colour,
            // a condition or a locale.
            const std::size_t close = code.find(']', i);
            const std::string_view inside =
                code.substr(i + 1, close == std::string_view::npos ? 0 : close - i - 1);
            if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string_view::npos) {
                time = true;
            }
            ++bracket;
        } else if (c == ']') {
            bracket = bracket > 0 ? bracket - 1 : 0;
        } else if (c == ';') {
            break;  // the first section decides
        } else if (bracket == 0) {
            switch (c) {
                case 'd':
                case 'D':
                case 'y':
                case 'Y':
                    date = true;
                    break;
                case 'h':
                case 'H':
                case 's':
                case 'S':
                    time = true;
                    break;
                case 'm':
                case 'M':
                    minute = true;
                    break;
                default:
                    break;
            }
        }
    }
    if (minute && !time) {
        date = true;  // a month
    }
    *isDate = date || time;
    return date && time ? DatePart::DateTime : (time ? DatePart::Time : DatePart::Date);
}

void appendCapped(std::string& text, std::string_view piece) {
    const std::size_t room = kMaxCellBytes - std::min(text.size(), kMaxCellBytes);
    if (piece.size() <= room) {
        text += piece;
        return;
    }
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(piece[cut]) & 0xC0) == 0x80) {
        --cut;  // not inside a character
    }
    text.append(piece.substr(0, cut));
}

std::string flattenLines(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

}  // namespace recipients
