// ClassifyReply on arbitrary text and on keywords with their letters' case changed:
// the result is a keyword index or -1, a match is the whole text, the case of ASCII letters
// never changes the result, and the UTF-16 and code-page forms agree.
#include <cstddef>
#include <cstdint>
#include <string>

#include "phone/reply_classifier.h"
#include "phone/tests/fuzz_check.h"
#include "platform/codepage_1254.h"

namespace {

std::string toggleAsciiCase(std::string text, const uint8_t* bits, size_t size) {
    for (size_t i = 0; i < text.size() && i < size * 8; ++i) {
        const char c = text[i];
        const bool flip = (bits[i / 8] >> (i % 8)) & 1;
        if (flip && c >= 'a' && c <= 'z') {
            text[i] = static_cast<char>(c - 'a' + 'A');
        } else if (flip && c >= 'A' && c <= 'Z') {
            text[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string asciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // Half the inputs start from a keyword, so that matches are common.
    std::string text;
    if (data[0] % 2 == 0) {
        text = phone::kReplyKeywords[data[0] / 2 % phone::kReplyKeywords.size()];
        if (data[0] % 4 == 2 && size > 1) {
            text += static_cast<char>(data[1]);
        }
    } else {
        text.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    }

    const int index = phone::ClassifyReply(std::string_view(text));
    FUZZ_CHECK(index >= -1 && index < static_cast<int>(phone::kReplyKeywords.size()));
    FUZZ_CHECK(phone::ClassifyReply(std::u16string_view(platform::cp1254::toUtf16(text))) == index);
    for (int i = 0; i < static_cast<int>(phone::kReplyKeywords.size()); ++i) {
        const bool same = asciiUpper(text) == phone::kReplyKeywords[static_cast<size_t>(i)];
        FUZZ_CHECK(same == (i == index));
    }
    const std::string toggled = toggleAsciiCase(text, data, size);
    FUZZ_CHECK(phone::ClassifyReply(std::string_view(toggled)) == index);

    // The raw bytes read as UTF-16 code units: no crash, a valid result.
    std::u16string wide(size / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i) {
        wide[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
    const int wideIndex = phone::ClassifyReply(std::u16string_view(wide));
    FUZZ_CHECK(wideIndex >= -1 && wideIndex < static_cast<int>(phone::kReplyKeywords.size()));
    return 0;
}
