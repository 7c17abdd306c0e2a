#include "store/number_key.h"

namespace store {

std::string normaliseForMatching(std::string_view cp1254) {
    std::string digits;
    for (char c : cp1254) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    return digits;
}

}  // namespace store
