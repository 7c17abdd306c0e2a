// The text import on arbitrary bytes: every entry is one the list can store and read
// back as it was (no line break, zero byte or other control character but the tab),
// and only a handful of refused texts are kept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "recipients/text_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    recipients::ImportResult r;
    try {
        r = recipients::textImportEntries(input);
    } catch (const recipients::TextImportError&) {
        return 0;
    }
    for (const std::string& e : r.entries) {
        if (e.size() > recipients::kMaxEntryLength) {
            std::abort();
        }
        for (char c : e) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
                std::abort();
            }
        }
    }
    if (r.refused.size() > recipients::kRefusedKept || r.refusedCount < r.refused.size()) {
        std::abort();
    }
    return 0;
}
