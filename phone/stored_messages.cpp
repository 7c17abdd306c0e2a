#include "phone/stored_messages.h"

#include <string_view>

#include "phone/at_fields.h"

namespace phone {
namespace {

// The fields after the keyword, split at commas outside double quotes (the <alpha> of a
// phonebook name may hold commas).
std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ',' && !quoted) {
            out.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(line.substr(start));
    return out;
}

// The lines of `reply`, CR LF or LF ended, the last one also when unended.
std::vector<std::string_view> lines(const std::string& reply) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (start < reply.size()) {
        size_t end = reply.find('\n', start);
        if (end == std::string::npos) {
            end = reply.size();
        }
        out.push_back(trimmed(std::string_view(reply).substr(start, end - start)));
        start = end + 1;
    }
    return out;
}

// An item whose header (after the keyword) is `header`: with `indexed`, it begins with
// the index. The <alpha> may be absent altogether, as some phones leave it out.
std::optional<StoredPdu> item(std::string_view header, std::string_view pdu, bool indexed) {
    const std::vector<std::string_view> f = fields(header);
    const size_t first = indexed ? 1 : 0;
    if (f.size() < first + 2 || f.size() > first + 3 || !isHex(pdu)) {
        return std::nullopt;
    }
    StoredPdu out;
    out.index = indexed ? wholeNumber(f[0]) : -1;
    out.stat = wholeNumber(f[first]);
    out.length = wholeNumber(f.back());
    if ((indexed && out.index < 0) || out.stat < 0 || out.length <= 0) {
        return std::nullopt;
    }
    out.pduHex.assign(pdu);
    return out;
}

}  // namespace

std::vector<StoredPdu> parseMessageList(const std::string& reply) {
    constexpr std::string_view kKeyword = "+CMGL:";
    std::vector<StoredPdu> out;
    const std::vector<std::string_view> all = lines(reply);
    for (size_t i = 0; i + 1 < all.size(); ++i) {
        if (!all[i].starts_with(kKeyword)) {
            continue;
        }
        if (auto found = item(all[i].substr(kKeyword.size()), all[i + 1], true)) {
            out.push_back(std::move(*found));
            ++i;  // its PDU line
        }
    }
    return out;
}

std::optional<StoredPdu> parseMessageRead(const std::string& reply) {
    constexpr std::string_view kKeyword = "+CMGR:";
    const std::vector<std::string_view> all = lines(reply);
    for (size_t i = 0; i + 1 < all.size(); ++i) {
        if (all[i].starts_with(kKeyword)) {
            return item(all[i].substr(kKeyword.size()), all[i + 1], false);
        }
    }
    return std::nullopt;
}

}  // namespace phone
