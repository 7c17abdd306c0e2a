#include "recipients/phonebook_reply.h"

#include <charconv>

#include "phone/FunctionsUnit.h"
#include "phone/string_list.h"
#include "platform/hex_digit.h"

namespace recipients {
namespace {

constexpr std::string_view kKeyword = "+CPBR:";
// No phonebook has more; a larger figure is a garbled reply, not a range to walk.
constexpr int kMostLocations = 100000;

bool isFinalResult(std::string_view line) {
    return line == "OK" || line == "ERROR" || line.starts_with("+CME ERROR:") ||
           line.starts_with("+CMS ERROR:");
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') {
        s.remove_suffix(1);
    }
    return s;
}

// A whole decimal number, or nothing.
std::optional<int> wholeNumber(std::string_view s) {
    int value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || error != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return value;
}

// Leading blanks skipped, then a decimal number; `s` moves past both.
std::optional<int> takeNumber(std::string_view& s) {
    s = trimmed(s);
    int value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc()) {
        return std::nullopt;
    }
    s.remove_prefix(static_cast<std::size_t>(end - s.data()));
    return value;
}

}  // namespace

LocationReply parseLocationReply(std::string_view reply, int location, bool ucs2) {
    const std::string echo = "AT+CPBR=" + std::to_string(location);
    const phone::StringList lines = phone::SplitLines(reply);
    bool echoSeen = false;
    bool finalSeen = false;
    bool otherLocation = false;
    for (const std::string& raw : lines) {
        const std::string_view line = trimmed(raw);
        if (!echoSeen) {
            // What comes before our echo belongs to an earlier command.
            echoSeen = line.ends_with(echo);
            continue;
        }
        if (isFinalResult(line)) {
            finalSeen = true;
            continue;
        }
        if (!line.starts_with(kKeyword)) {
            continue;  // unsolicited
        }
        // Location, number, type, text; some phones leave out the blank after the colon.
        phone::StringList fields;
        phone::SplitFields(',', line.substr(kKeyword.size()), fields);
        // The number must be whole: its closing quote arrived.
        const std::size_t open = line.find('"');
        const bool closed =
            open != std::string_view::npos && line.find('"', open + 1) != std::string_view::npos;
        if (fields.count() < 3 || !closed || wholeNumber(fields[0]) != location) {
            otherLocation = true;
            continue;
        }
        std::string number = fields[1];
        if (ucs2) {
            if (std::optional<std::string> decoded = ucs2Number(number)) {
                number = std::move(*decoded);
            }
        }
        // An international number (type 145) that the phone gives without its '+' would
        // later go out as a national one.
        if (fields[2] == "145" && !number.empty() && number[0] != '+') {
            number.insert(number.begin(), '+');
        }
        return {LocationReply::Kind::Entry, std::move(number)};
    }
    if (echoSeen && finalSeen && !otherLocation) {
        return {LocationReply::Kind::Empty, {}};
    }
    return {};
}

std::optional<LocationRange> phonebookRange(std::string_view reply) {
    const std::size_t keyword = reply.find(kKeyword);
    if (keyword == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = trimmed(reply.substr(keyword + kKeyword.size()));
    if (!rest.starts_with('(')) {
        return std::nullopt;
    }
    rest.remove_prefix(1);
    const std::optional<int> first = takeNumber(rest);
    rest = trimmed(rest);
    if (!first || !rest.starts_with('-')) {
        return std::nullopt;
    }
    rest.remove_prefix(1);
    const std::optional<int> last = takeNumber(rest);
    rest = trimmed(rest);
    if (!last || !rest.starts_with(')') || *first < 0 || *last < *first ||
        *last - *first >= kMostLocations) {
        return std::nullopt;
    }
    return LocationRange{*first, *last};
}

std::string withoutLinesBeforeKeyword(std::string_view reply) {
    const std::size_t echoEnd = reply.find('\r');
    const std::size_t keyword = reply.find(kKeyword);
    if (echoEnd == std::string_view::npos || keyword == std::string_view::npos ||
        keyword <= echoEnd) {
        return std::string(reply);
    }
    return std::string(reply.substr(0, echoEnd + 1)) + std::string(reply.substr(keyword));
}

std::optional<std::string> ucs2Number(std::string_view hex) {
    if (hex.empty() || hex.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string number;
    for (std::size_t i = 0; i < hex.size(); i += 4) {
        int unit = 0;
        for (std::size_t k = i; k < i + 4; ++k) {
            const int digit = platform::hexValue(hex[k]);
            if (digit < 0) {
                return std::nullopt;
            }
            unit = unit * 16 + digit;
        }
        // Digits, '+', '*', '#' and the pauses p and w (TS 27.007 dial string).
        const bool dial = (unit >= '0' && unit <= '9') || unit == '+' || unit == '*' ||
                          unit == '#' || unit == 'p' || unit == 'P' || unit == 'w' || unit == 'W';
        if (!dial) {
            return std::nullopt;
        }
        number += static_cast<char>(unit);
    }
    return number;
}

}  // namespace recipients
