#include "recipients/repeated_numbers.h"

#include <unordered_set>

#include "recipients/phone_number.h"

namespace recipients {
namespace {

// The key of an entry that holds no valid number.
std::string writtenKey(std::string_view entry) {
    std::string key;
    key.reserve(entry.size());
    for (char c : entry) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0xA0 || c == '-' || c == '.' || c == '/' || c == '(' || c == ')') {
            continue;
        }
        key += c;
    }
    // A Turkish subscriber number has ten digits after the country or trunk prefix.
    auto tenDigitsAfter = [&key](std::size_t prefix) {
        if (key.size() != prefix + 10) {
            return false;
        }
        for (std::size_t i = prefix; i < key.size(); ++i) {
            if (key[i] < '0' || key[i] > '9') {
                return false;
            }
        }
        return true;
    };
    for (std::string_view prefix : {"+90", "0090", "90", "0"}) {
        if (key.starts_with(prefix) && tenDigitsAfter(prefix.size())) {
            return key.substr(prefix.size());
        }
    }
    return key;
}

}  // namespace

std::string numberKey(std::string_view entry) {
    std::string key = normalise(entry);
    return key.empty() ? writtenKey(entry) : key;
}

std::vector<std::string> withoutRepeats(const std::vector<std::string>& entries, int* removed) {
    std::vector<std::string> kept;
    kept.reserve(entries.size());
    std::unordered_set<std::string> seen;
    int count = 0;
    for (const std::string& e : entries) {
        std::string key = numberKey(e);
        if (!key.empty() && !seen.insert(std::move(key)).second) {
            ++count;
            continue;
        }
        kept.push_back(e);
    }
    if (removed) {
        *removed = count;
    }
    return kept;
}

}  // namespace recipients
