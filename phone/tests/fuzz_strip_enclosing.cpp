// StripEnclosing on arbitrary bytes, and its round trip: any text between two non-blank
// bytes, padded with bytes 0 to 32, comes back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "phone/FunctionsUnit.h"
#include "phone/tests/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string stripped = phone::StripEnclosing(text);
    FUZZ_CHECK(stripped.size() + 2 <= text.size() || stripped.empty());
    FUZZ_CHECK(text.find(stripped) != std::string::npos);

    if (size < 3) {
        return 0;
    }
    // Padding from the first byte's low bits; enclosing bytes forced above 32.
    const std::string pad(data[0] % 4, static_cast<char>(data[1] % 33));
    const char open = static_cast<char>(data[2] | 0x40);
    const std::string inner = text.substr(3);
    const std::string enclosed = pad + open + inner + '"' + pad;
    FUZZ_CHECK(phone::StripEnclosing(enclosed) == inner);
    return 0;
}
