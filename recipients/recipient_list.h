#pragma once
// The recipient list as the rest of the program sees it: the entries of the bulk tab's
// list box, in order, duplicates and empty entries allowed. The window implements it;
// the imports and the bulk send use it.

#include <string>
#include <vector>

namespace recipients {

class RecipientList {
public:
    virtual ~RecipientList() = default;

    virtual int count() const = 0;
    // Entries are Windows-1254 bytes. Throws std::out_of_range
    // ("List index out of bounds (<index>)") outside 0 .. count() - 1.
    virtual std::string entry(int index) const = 0;
    virtual void append(const std::string& entry) = 0;
    // Appends many entries in order; a list may do it faster than one by one.
    virtual void appendAll(const std::vector<std::string>& entries) {
        for (const std::string& e : entries) {
            append(e);
        }
    }
    virtual void clear() = 0;
    // Refreshes the counter label after a change.
    virtual void updateNumberCount() = 0;
};

}  // namespace recipients
