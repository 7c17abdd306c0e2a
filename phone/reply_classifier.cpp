#include "phone/reply_classifier.h"

#include "phone/string_list.h"
#include "platform/codepage_1254.h"

namespace phone {

int ClassifyReply(std::string_view text) {
    for (size_t i = 0; i < kReplyKeywords.size(); ++i) {
        if (equalsIgnoringCase(text, kReplyKeywords[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int ClassifyReply(std::u16string_view text) {
    return ClassifyReply(platform::cp1254::fromUtf16(text));
}

}  // namespace phone
