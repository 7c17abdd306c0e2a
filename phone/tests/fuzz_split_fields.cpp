// SplitFields on arbitrary bytes, and two round trips it must honour:
// - a text without blanks, quotes or NUL gives fields that joined by the delimiter give the
//   text back;
// - any fields without NUL, each quoted with doubled inner quotes and joined by commas, come
//   back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "phone/FunctionsUnit.h"
#include "phone/tests/fuzz_check.h"

namespace {

bool isBlankOrNul(unsigned char c) {
    return c <= 32;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const char delimiter = static_cast<char>(data[0]);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    phone::StringList list;

    // Anything: no crash, and no more fields than bytes plus one.
    phone::SplitFields(delimiter, text, list);
    FUZZ_CHECK(list.count() <= static_cast<int>(text.size()) + 1);

    // Plain round trip, with a delimiter that is neither blank nor quote.
    const char plainDelimiter =
        isBlankOrNul(static_cast<unsigned char>(delimiter)) || delimiter == '"' ? ',' : delimiter;
    std::string plain;
    for (char c : text) {
        plain += isBlankOrNul(static_cast<unsigned char>(c)) || c == '"' ? plainDelimiter : c;
    }
    phone::SplitFields(plainDelimiter, plain, list);
    std::string joined;
    for (int i = 0; i < list.count(); ++i) {
        FUZZ_CHECK(list[i].find(plainDelimiter) == std::string::npos);
        joined += (i > 0 ? std::string(1, plainDelimiter) : std::string()) + list[i];
    }
    FUZZ_CHECK(joined == plain);

    // Quoted round trip: the input's NUL bytes cut it into the fields.
    phone::StringList fields;
    std::string field;
    for (char c : text) {
        if (c == '\0') {
            fields.add(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.add(field);
    std::string quoted;
    for (int i = 0; i < fields.count(); ++i) {
        quoted += i > 0 ? ",\"" : "\"";
        for (char c : fields[i]) {
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        quoted += '"';
    }
    phone::SplitFields(',', quoted, list);
    FUZZ_CHECK(list == fields);
    return 0;
}
