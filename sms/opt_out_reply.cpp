#include "sms/opt_out_reply.h"

namespace sms {
namespace {

bool isLetter(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
        return true;
    }
    if (c >= 0xC0 && c <= 0x24F) {
        return c != 0xD7 && c != 0xF7;  // × and ÷
    }
    // Greek, Cyrillic and the scripts after them up to the general punctuation block;
    // emoji and other symbols lie beyond it (or in surrogates) and end a word.
    return c >= 0x370 && c < 0x2000;
}

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

char16_t fold(char16_t c) {
    switch (c) {
        case u'I':
            return u'ı';
        case u'İ':
            return u'i';
        default:
            break;
    }
    if (c >= u'A' && c <= u'Z') {
        return char16_t(c + 0x20);
    }
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
        return char16_t(c + 0x20);
    }
    // Latin Extended-A pairs capitals and smalls on even and odd code points (Ğ ğ, Ş ş).
    if (c >= 0x100 && c <= 0x137 && c % 2 == 0) {
        return char16_t(c + 1);
    }
    if (c >= 0x14A && c <= 0x177 && c % 2 == 0) {
        return char16_t(c + 1);
    }
    return c;
}

}  // namespace

std::vector<std::u16string> defaultOptOutKeywords() {
    return {u"RET", u"İPTAL", u"IPTAL", u"STOP", u"DUR"};
}

std::u16string foldTurkish(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        c = fold(c);
    }
    return out;
}

bool isOptOutReply(std::u16string_view text, const std::vector<std::u16string>& keywords) {
    size_t start = 0;
    while (start < text.size() && !isLetter(text[start]) && !isDigit(text[start])) {
        ++start;
    }
    const std::u16string folded = foldTurkish(text.substr(start));
    for (const std::u16string& keyword : keywords) {
        const std::u16string k = foldTurkish(keyword);
        if (!k.empty() && folded.starts_with(k) &&
            (folded.size() == k.size() || !isLetter(folded[k.size()]))) {
            return true;
        }
    }
    return false;
}

}  // namespace sms
