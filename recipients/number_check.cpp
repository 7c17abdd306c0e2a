#include "recipients/number_check.h"

namespace recipients {

int NumberCheck::notMobile() const {
    int n = 0;
    for (int k = 0; k < kNumberKindCount; ++k) {
        const auto kind = static_cast<NumberKind>(k);
        if (kind != NumberKind::Mobile && kind != NumberKind::Invalid) {
            n += count(kind);
        }
    }
    return n;
}

NumberCheck checkNumbers(const std::vector<std::string>& entries) {
    NumberCheck check;
    check.kinds.reserve(entries.size());
    for (const std::string& e : entries) {
        const NumberKind kind = readEntry(e).kind;
        check.kinds.push_back(kind);
        ++check.counts[static_cast<std::size_t>(kind)];
    }
    return check;
}

std::vector<std::string> mobileOnly(const std::vector<std::string>& entries,
                                    const NumberCheck& check) {
    std::vector<std::string> kept;
    kept.reserve(static_cast<std::size_t>(check.count(NumberKind::Mobile)));
    for (std::size_t i = 0; i < entries.size() && i < check.kinds.size(); ++i) {
        if (check.kinds[i] == NumberKind::Mobile) {
            kept.push_back(entries[i]);
        }
    }
    return kept;
}

std::string describeNotMobile(const NumberCheck& check) {
    std::string text;
    if (check.invalid() > 0) {
        text = std::to_string(check.invalid()) + " kayıt geçersiz numara";
    }
    if (check.notMobile() > 0) {
        if (!text.empty()) {
            text += ", ";
        }
        text += std::to_string(check.notMobile()) + " kayıt mobil numara değil (";
        bool first = true;
        for (NumberKind kind : {NumberKind::FixedLine, NumberKind::TollFree, NumberKind::SharedCost,
                                NumberKind::Other}) {
            if (check.count(kind) > 0) {
                text += (first ? "" : ", ") + std::to_string(check.count(kind)) + " " +
                        std::string(kindName(kind));
                first = false;
            }
        }
        text += ")";
    }
    return text;
}

}  // namespace recipients
