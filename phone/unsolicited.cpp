#include "phone/unsolicited.h"

#include <algorithm>

#include "phone/at_fields.h"

namespace phone {
namespace {

enum class Kind { MessageRouted, MessageStored, ReportRouted, ReportStored };

struct Keyword {
    std::string_view text;
    Kind kind;
};

// Longest first where one begins another ("+CMTI:" is not "+CMT:", but both start "+CMT").
constexpr Keyword kKeywords[] = {
    {"+CMTI:", Kind::MessageStored},
    {"+CDSI:", Kind::ReportStored},
    {"+CMT:", Kind::MessageRouted},
    {"+CDS:", Kind::ReportRouted},
};

// `"SM",3` (the quotes optional) as storage and index; false when it does not read.
bool storedAt(std::string_view fields, std::string& mem, int& index) {
    const size_t comma = fields.rfind(',');
    if (comma == std::string_view::npos) {
        return false;
    }
    std::string_view name = trimmed(fields.substr(0, comma));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        name = name.substr(1, name.size() - 2);
    }
    index = wholeNumber(fields.substr(comma + 1));
    if (name.empty() || index < 0) {
        return false;
    }
    mem.assign(name);
    return true;
}

// The <length> that ends the fields of +CMT ([<alpha>],<length>) and +CDS (<length>);
// -1 when it is no number.
int routedLength(std::string_view fields) {
    const size_t comma = fields.rfind(',');
    return wholeNumber(comma == std::string_view::npos ? fields : fields.substr(comma + 1));
}

const Keyword* keywordOf(std::string_view line) {
    for (const Keyword& k : kKeywords) {
        if (line.starts_with(k.text)) {
            return &k;
        }
    }
    return nullptr;
}

}  // namespace

bool mayBeUnsolicited(std::string_view tail) {
    return std::any_of(std::begin(kKeywords), std::end(kKeywords), [&](const Keyword& k) {
        return tail.starts_with(k.text) || k.text.starts_with(tail);
    });
}

size_t takeUnsolicited(std::string& buffer, size_t from, UnsolicitedSink& sink) {
    size_t pos = std::min(from, buffer.size());
    while (pos < buffer.size()) {
        const size_t end = buffer.find('\n', pos);
        if (end == std::string::npos) {
            return pos;  // not ended yet
        }
        const std::string_view line(buffer.data() + pos, end - pos);
        const Keyword* keyword = buffer[pos] == '+' ? keywordOf(line) : nullptr;
        if (keyword == nullptr) {
            pos = end + 1;
            continue;
        }
        // The CR LF before it frames it ("\r\n+CMTI: ...\r\n") when it follows an earlier
        // framed line or an echo (ended by CR, or Ctrl-Z after a PDU); right after a line
        // of text it ends that line and stays.
        size_t start = pos;
        if (pos >= 2 && buffer.compare(pos - 2, 2, "\r\n") == 0 &&
            (pos == 2 || static_cast<unsigned char>(buffer[pos - 3]) < 0x20)) {
            start = pos - 2;
        }
        const std::string_view fields = line.substr(keyword->text.size());
        size_t taken = end + 1;  // past what goes
        std::string pdu;
        bool whole = true;
        if (keyword->kind == Kind::MessageRouted || keyword->kind == Kind::ReportRouted) {
            const size_t pduEnd = buffer.find('\n', end + 1);
            if (pduEnd == std::string::npos) {
                return pos;  // its PDU line is still to come
            }
            const std::string_view next =
                trimmed(std::string_view(buffer.data() + end + 1, pduEnd - end - 1));
            whole = isHex(next);
            if (whole) {
                pdu.assign(next);
                taken = pduEnd + 1;
            }
        }
        const int length = routedLength(fields);  // before the erase moves the text
        std::string mem;
        int index = 0;
        if (whole &&
            (keyword->kind == Kind::MessageStored || keyword->kind == Kind::ReportStored)) {
            whole = storedAt(fields, mem, index);
        }
        buffer.erase(start, taken - start);
        pos = start;
        if (!whole) {
            continue;
        }
        switch (keyword->kind) {
            case Kind::MessageRouted:
                sink.messageRouted(pdu, length);
                break;
            case Kind::MessageStored:
                sink.messageStored(mem, index);
                break;
            case Kind::ReportRouted:
                sink.reportRouted(pdu, length);
                break;
            case Kind::ReportStored:
                sink.reportStored(mem, index);
                break;
        }
    }
    return pos;
}

}  // namespace phone
