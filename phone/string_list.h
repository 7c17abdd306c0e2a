#pragma once
// The ordered list of texts that replies are parsed into, and the line-splitting rule.
// Texts are Windows-1254 bytes.

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace phone {

// Reading a position the list does not have. The message, "List index out of bounds (%d)"
// with the position, is what the user sees in the error box.
class EListIndexError : public std::out_of_range {
public:
    explicit EListIndexError(int index);
    int index() const { return m_index; }

private:
    int m_index;
};

// Whole-text comparison ignoring the case of the ASCII letters only. The texts compared
// this way are protocol keywords, which are ASCII; folding by the user's locale would turn
// 'i' into a dotted capital under a Turkish locale and stop "Nokia" matching "NOKIA".
// Bytes outside ASCII compare exactly: 'İ' and 'ı' are letters of their own, not 'I' or 'i'.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

class StringList {
public:
    StringList() = default;
    StringList(std::initializer_list<std::string> items) : m_items(items) {}

    int count() const { return static_cast<int>(m_items.size()); }
    bool empty() const { return m_items.empty(); }

    // Checked: a position outside 0 .. count() - 1 throws EListIndexError.
    const std::string& operator[](int index) const;
    std::string& operator[](int index);

    void add(std::string item) { m_items.push_back(std::move(item)); }
    void clear() { m_items.clear(); }

    // First item equal to `text` ignoring letter case (see equalsIgnoringCase), or -1.
    int indexOf(std::string_view text) const;

    const std::vector<std::string>& items() const { return m_items; }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    friend bool operator==(const StringList&, const StringList&) = default;

private:
    void check(int index) const;

    std::vector<std::string> m_items;
};

// The lines of `text`. CR LF, a lone CR and a lone LF each end one line (so CR CR LF ends
// a line and then gives an empty one); a line break at the very end adds no empty line;
// a NUL byte ends the text.
StringList SplitLines(std::string_view text);

}  // namespace phone
