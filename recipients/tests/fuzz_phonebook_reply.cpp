// The phonebook reply readers on arbitrary bytes from the line: an entry's number holds
// no line break, a range is in order, and cutting the lines before the keyword only
// ever removes text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "phone/tests/fuzz_check.h"
#include "recipients/phonebook_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the location asked for and whether the phone is in UCS2.
    const int location = data[0] % 16;
    const bool ucs2 = (data[0] & 0x80) != 0;
    const std::string reply(reinterpret_cast<const char*>(data) + 1, size - 1);

    const recipients::LocationReply r = recipients::parseLocationReply(reply, location, ucs2);
    if (r.kind == recipients::LocationReply::Kind::Entry) {
        FUZZ_CHECK(reply.find("+CPBR:") != std::string::npos);
        FUZZ_CHECK(r.number.find_first_of("\r\n") == std::string::npos);
    } else {
        FUZZ_CHECK(r.number.empty());
    }
    if (const auto range = recipients::phonebookRange(reply)) {
        FUZZ_CHECK(range->first >= 0 && range->first <= range->last);
    }
    FUZZ_CHECK(recipients::withoutLinesBeforeKeyword(reply).size() <= reply.size());
    if (const auto number = recipients::ucs2Number(reply)) {
        FUZZ_CHECK(number->size() * 4 == reply.size());
    }
    return 0;
}
