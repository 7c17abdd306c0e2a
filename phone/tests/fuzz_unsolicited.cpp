// The unsolicited-result scan and the stored-message parsers on arbitrary bytes: nothing is
// added to the text, every PDU handed up or listed is hexadecimal, and a second scan of
// what is left finds nothing more before the line not yet ended.
#include <cstddef>
#include <cstdint>
#include <string>

#include "phone/stored_messages.h"
#include "phone/tests/fuzz_check.h"
#include "phone/unsolicited.h"

namespace {

bool isHex(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
}

struct CheckingSink : phone::UnsolicitedSink {
    void messageRouted(const std::string& pdu, int length) override { check(pdu, length); }
    void messageStored(const std::string& mem, int index) override { stored(mem, index); }
    void reportRouted(const std::string& pdu, int length) override { check(pdu, length); }
    void reportStored(const std::string& mem, int index) override { stored(mem, index); }
    void check(const std::string& pdu, int length) {
        FUZZ_CHECK(isHex(pdu) && length >= -1);
        ++count;
    }
    void stored(const std::string& mem, int index) {
        FUZZ_CHECK(!mem.empty() && index >= 0);
        ++count;
    }
    int count = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // In two pieces, as deliveries come.
    const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    CheckingSink sink;
    std::string buffer = text.substr(0, cut);
    size_t from = phone::takeUnsolicited(buffer, 0, sink);
    FUZZ_CHECK(from <= buffer.size());
    buffer += text.substr(cut);
    from = phone::takeUnsolicited(buffer, from, sink);
    FUZZ_CHECK(from <= buffer.size());
    FUZZ_CHECK(buffer.size() <= text.size());
    std::string again = buffer;
    CheckingSink second;
    FUZZ_CHECK(phone::takeUnsolicited(again, 0, second) <= again.size());

    for (const phone::StoredPdu& item : phone::parseMessageList(text)) {
        FUZZ_CHECK(isHex(item.pduHex) && item.index >= 0 && item.stat >= 0 && item.length > 0);
    }
    if (const auto item = phone::parseMessageRead(text)) {
        FUZZ_CHECK(isHex(item->pduHex) && item->index == -1 && item->length > 0);
    }
    return 0;
}
