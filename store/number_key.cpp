#include "store/number_key.h"

#include "recipients/phone_number.h"

namespace store {

std::string normaliseForMatching(std::string_view cp1254) {
    std::string normal = recipients::normalise(cp1254);
    if (!normal.empty()) {
        return normal;
    }
    for (char c : cp1254) {
        if (c >= '0' && c <= '9') {
            normal += c;
        }
    }
    return normal;
}

}  // namespace store
