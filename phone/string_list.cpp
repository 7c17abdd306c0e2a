#include "phone/string_list.h"

#include <algorithm>

namespace phone {

EListIndexError::EListIndexError(int index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")"),
      m_index(index) {}

namespace {

unsigned char asciiUpper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return asciiUpper(static_cast<unsigned char>(x)) ==
               asciiUpper(static_cast<unsigned char>(y));
    });
}

void StringList::check(int index) const {
    if (index < 0 || index >= count()) {
        throw EListIndexError(index);
    }
}

const std::string& StringList::operator[](int index) const {
    check(index);
    return m_items[static_cast<size_t>(index)];
}

std::string& StringList::operator[](int index) {
    check(index);
    return m_items[static_cast<size_t>(index)];
}

int StringList::indexOf(std::string_view text) const {
    for (int i = 0; i < count(); ++i) {
        if (equalsIgnoringCase(m_items[static_cast<size_t>(i)], text)) {
            return i;
        }
    }
    return -1;
}

StringList SplitLines(std::string_view text) {
    // Replies are C-style texts to the parser: a NUL ends them.
    text = text.substr(0, text.find('\0'));
    StringList lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
        lines.add(std::string(text.substr(pos, end - pos)));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') {
            ++pos;
        }
        if (pos < text.size() && text[pos] == '\n') {
            ++pos;
        }
    }
    return lines;
}

}  // namespace phone
