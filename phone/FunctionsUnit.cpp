#include "phone/FunctionsUnit.h"

namespace phone {

namespace {

constexpr char kQuote = '"';

bool isBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

// `raw` with every doubled double quote made single.
std::string undoubleQuotes(std::string_view raw) {
    std::string field;
    field.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        field += raw[i];
        if (raw[i] == kQuote && i + 1 < raw.size() && raw[i + 1] == kQuote) {
            ++i;
        }
    }
    return field;
}

// Reads the quoted field whose opening quote is at `pos`; leaves `pos` after the closing
// quote, or at the end when there is none.
std::string readQuoted(std::string_view text, size_t& pos) {
    const size_t start = pos + 1;
    size_t i = start;
    while (i < text.size()) {
        if (text[i] != kQuote) {
            ++i;
        } else if (i + 1 < text.size() && text[i + 1] == kQuote) {
            i += 2;
        } else {
            pos = i + 1;
            return undoubleQuotes(text.substr(start, i - start));
        }
    }
    // Unterminated: the field is the rest less its last byte.
    pos = text.size();
    const size_t restLength = text.size() - start;
    return undoubleQuotes(text.substr(start, restLength == 0 ? 0 : restLength - 1));
}

}  // namespace

EAssertionFailed::EAssertionFailed(const char* source, int line)
    : std::logic_error(std::string("Assertion failure (") + source + ", line " +
                       std::to_string(line) + ")") {}

StringList& SplitFields(char delimiter, std::string_view text, StringList& list) {
    list.clear();
    text = text.substr(0, text.find('\0'));
    size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < text.size() && isBlank(text[pos])) {
            ++pos;
        }
    };

    skipBlanks();
    while (pos < text.size()) {
        if (text[pos] == kQuote) {
            list.add(readQuoted(text, pos));
        } else {
            const size_t start = pos;
            while (pos < text.size() && !isBlank(text[pos]) && text[pos] != delimiter) {
                ++pos;
            }
            list.add(std::string(text.substr(start, pos - start)));
        }
        skipBlanks();
        if (pos < text.size() && text[pos] == delimiter) {
            if (pos + 1 == text.size()) {
                list.add(std::string());
            }
            ++pos;
            skipBlanks();
        }
    }
    return list;
}

StringList& SplitFields(char delimiter, std::string_view text, StringList* list) {
    if (list == nullptr) {
        throw EAssertionFailed("FunctionsUnit", 24);
    }
    return SplitFields(delimiter, text, *list);
}

std::string StripEnclosing(std::string_view text) {
    auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    size_t first = 0;
    size_t last = text.size();
    while (first < last && isTrimmed(text[first])) {
        ++first;
    }
    while (last > first && isTrimmed(text[last - 1])) {
        --last;
    }
    if (last - first <= 2) {
        return std::string();
    }
    return std::string(text.substr(first + 1, last - first - 2));
}

}  // namespace phone
