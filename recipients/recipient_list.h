#pragma once
// The recipient list as the rest of the program sees it: the entries of the bulk tab's
// list box, in order, duplicates and empty entries allowed. The window implements it;
// the imports and the bulk send use it.

#include <string>

namespace recipients {

class RecipientList {
public:
    virtual ~RecipientList() = default;

    virtual int count() const = 0;
    // Entries are Windows-1254 bytes. Throws std::out_of_range
    // ("List index out of bounds (<index>)") outside 0 .. count() - 1.
    virtual std::string entry(int index) const = 0;
    virtual void append(const std::string& entry) = 0;
    virtual void clear() = 0;
    // Refreshes the counter label after a change.
    virtual void updateNumberCount() = 0;
};

}  // namespace recipients
