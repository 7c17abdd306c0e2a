#pragma once
// A workbook cell's value as the text a user sees in it (UTF-8): numbers in decimal
// with the Turkish decimal comma, dates as dd.mm.yyyy, times as hh:mm:ss.

#include <optional>
#include <string>
#include <string_view>

#include "recipients/list_entry.h"

namespace recipients {

// A whole number without ".0" or an exponent (905321112233); any other number in
// plain decimal notation with a comma (3,25).
std::string numberText(double value);
// A number in the files' own notation (a full stop before the decimals, an optional
// exponent), whatever the process's locale; nothing for any other text.
std::optional<double> parseNumber(std::string_view text);
// `text` is a number in the files' own notation ("9.05321112233E11"): its numberText;
// any other text is given back unchanged.
std::string numberText(std::string_view text);

enum class DatePart { Date = 1, Time = 2, DateTime = 3 };

// A serial day number of a workbook (1900 system, with its 29 February 1900, or the
// 1904 system) as the text of a date, a time of day or both.
std::string serialDateText(double serial, DatePart part, bool system1904);
// An ISO 8601 date, date-time or ODF duration-like time ("2024-03-05",
// "2024-03-05T10:20:00", "PT10H20M00S", "10:20:00") in the same form; an unreadable
// text is given back unchanged.
std::string isoDateText(std::string_view iso);

// True when a number format code shows a date or a time, and which.
DatePart formatDatePart(std::string_view formatCode, bool* isDate);

// Appends as much of `piece` as keeps `text` within kMaxCellBytes, cut at the start of
// a UTF-8 character: a cell is cut as it is read, and what is cut is still refused.
void appendCapped(std::string& text, std::string_view piece);
// Whether `text` reached the cap, so that nothing more can be appended.
inline bool capped(const std::string& text) {
    return text.size() + 4 > kMaxCellBytes;
}

// Line breaks inside a cell would split a list entry when the list is saved: they
// become blanks.
std::string flattenLines(std::string text);

}  // namespace recipients
