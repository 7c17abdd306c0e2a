// SplitLines on arbitrary bytes: no line holds CR or LF, and the lines joined by LF give the
// text (up to its first NUL) with CR LF and lone CR turned into LF and one final break
// dropped.
#include <cstddef>
#include <cstdint>
#include <string>

#include "phone/string_list.h"
#include "phone/tests/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const phone::StringList lines = phone::SplitLines(text);

    text = text.substr(0, text.find('\0'));
    std::string normalised;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;  // the LF that follows stands for both
        }
        normalised += text[i] == '\r' ? '\n' : text[i];
    }
    if (!normalised.empty() && normalised.back() == '\n') {
        normalised.pop_back();
    }

    FUZZ_CHECK(lines.empty() == text.empty());
    std::string joined;
    for (int i = 0; i < lines.count(); ++i) {
        FUZZ_CHECK(lines[i].find_first_of("\r\n") == std::string::npos);
        joined += (i > 0 ? "\n" : "") + lines[i];
    }
    FUZZ_CHECK(joined == normalised);
    return 0;
}
