// Who the phone is: the device information query and the general reply parser.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

#include "phone/FunctionsUnit.h"
#include "phone/phone_dialogue.h"
#include "phone/phone_texts.h"
#include "phone/phone_view.h"
#include "phone/reply_classifier.h"
#include "phone/str_to_int.h"
#include "phone/string_list.h"
#include "serial/exception_display.h"

namespace phone {

namespace {

constexpr std::string_view kLineBreak = "\r\n";

// The reply from 0-based position `from` on; empty past its end.
std::string_view from(std::string_view text, size_t pos) {
    return pos < text.size() ? text.substr(pos) : std::string_view();
}

// Line `index` of `text` split by SplitLines, or nothing when a reply cut short lacks it.
std::optional<std::string> lineOf(std::string_view text, int index) {
    const StringList lines = SplitLines(text);
    if (index >= lines.count()) {
        return std::nullopt;
    }
    return lines[index];
}

// `text` with every comma made a CR, so that the items of a reply line become lines.
std::string commasToLines(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), ',', '\r');
    return out;
}

// Line `index` of the scratch text: lines end at CR LF, a CR right before it is not
// part of the line, and a line the text does not have reads as empty.
std::string scratchLine(const std::string& scratch, int index) {
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const size_t end = scratch.find(kLineBreak, start);
        if (end == std::string::npos) {
            return {};
        }
        start = end + kLineBreak.size();
    }
    const size_t end = std::min(scratch.find(kLineBreak, start), scratch.size());
    std::string line = scratch.substr(start, end - start);
    if (!line.empty() && line.back() == '\r' && end < scratch.size()) {
        line.pop_back();
    }
    return line;
}

// The gauge value of a +CSQ signal level: 0..31 in per cent, rounded, within the
// gauge's 0..100 (99, "not detectable", shows as full).
int signalPercent(int32_t level) {
    return int(std::lround(std::clamp(double(level) * 100.0 / 31.0, 0.0, 100.0)));
}

}  // namespace

void PhoneDialogue::QueryDeviceInfo() {
    static constexpr std::string_view kCommands[] = {
        "AT+CGMI",  "AT+CGMM", "AT+CGMR", "AT+CGSN",   "AT+CIMI",   "AT+COPS?", "AT^SCID",
        "AT+CSCA?", "AT+GMM",  "AT+GMR",  "AT+CLIP=1", "AT+CIND=?", "AT+CSQ",   "AT+CBC",
    };
    for (std::string_view command : kCommands) {
        // A command that fails or times out does not stop the query.
        const std::string reply = SendCommand(std::string(command) + "\r", "\r\nOK");
        if (command != "AT+CLIP=1") {
            ParseReply(reply);
        }
    }
}

void PhoneDialogue::ParseReply(const std::string& reply) {
    struct RedAtTheEnd {
        PhoneView& view;
        ~RedAtTheEnd() { view.setLamp(LampColor::Red); }
    } red{m_view};
    if (!m_state.IsConnected) {
        return;
    }
    const std::string_view r = reply;

    StringList fields;
    SplitFields(',', r, fields);
    if (fields.count() >= 2) {
        // A bad gauge field is shown once; until a good one comes the gauge keeps its value.
        const auto gauge = [&](int index, bool& shown, auto set) {
            if (fields.count() <= index) {
                return;  // cut off before its number
            }
            try {
                set(StrToInt(fields[index]));
                shown = false;
            } catch (const EConvertError& e) {
                if (!shown) {
                    shown = true;
                    serial::showException(e);
                }
            }
        };
        switch (ClassifyReply(std::string_view(fields[1]))) {
            case 1:  // +CSQ:
                gauge(2, m_signalErrorShown,
                      [this](int32_t n) { m_view.setSignalGauge(signalPercent(n)); });
                break;
            case 2:  // +CBC:
                gauge(3, m_batteryErrorShown,
                      [this](int32_t n) { m_view.setBatteryGauge(std::clamp(n, 0, 100)); });
                break;
            case 4:  // SONY
                if (fields.count() > 2) {
                    m_view.setLabel(4, fields[1] + " " + fields[2]);
                }
                break;
            case 5:  // NOKIA
                m_view.setLabel(4, "Nokia");
                break;
            case 6:  // +CPBR: the answer to AT+CPBR=?; the read starts on the tick 5 s on
                m_view.setRefreshEnabled(false);
                m_state.PhonebookReading = true;
                m_view.setRefreshEnabled(true);
                break;
            default:
                break;
        }
    }

    // Identity lines: line 2 of the reply after the echo's "AT" (the information line
    // after '+CGMI' and an empty line).
    static constexpr std::pair<std::string_view, std::string_view> kIdentity[] = {
        {"AT+CGMI", texts::kMaker}, {"AT+CGMM", texts::kModel}, {"AT+CGMR", texts::kSoftware},
        {"AT+CGSN", texts::kImei},  {"AT+CIMI", texts::kImsi},
    };
    for (const auto& [command, caption] : kIdentity) {
        const size_t p = r.find(command);
        if (p == std::string_view::npos) {
            continue;
        }
        if (auto value = lineOf(from(r, p + 2), 2)) {
            m_view.addInfoRow(std::string(caption), *value);
        }
    }
    if (r.find("AT+COPS") != std::string_view::npos) {
        // The third item of '+COPS: mode,format,"name"'. Without such a line the items
        // are counted from the reply's seventh character, as the line would have them.
        const size_t p = r.find("+COPS:");
        const size_t start = p == std::string_view::npos ? 6 : p + 7;
        if (auto value = lineOf(commasToLines(from(r, start)), 2)) {
            m_view.addInfoRow(std::string(texts::kOperator), StripEnclosing(*value));
        }
    }
    if (r.find("^SCID: ") != std::string_view::npos) {
        // The scratch text's line 1 is the '^SCID: ' line, unless an earlier reply left
        // text in it.
        m_scratch += std::string(from(r, 6)) + std::string(kLineBreak);
        const std::string line = scratchLine(m_scratch, 1);
        m_view.addInfoRow(std::string(texts::kSimNumber), line.size() > 7 ? line.substr(7) : "");
        m_scratch.clear();
    }
    if (const size_t p = r.find("+CSCA:"); p != std::string_view::npos) {
        if (auto value = lineOf(commasToLines(from(r, p + 7)), 0)) {
            m_view.addInfoRow(std::string(texts::kServiceCentre), StripEnclosing(*value));
        }
    }
    if (const size_t p = r.find("AT+GMM"); p != std::string_view::npos) {
        m_scratch += std::string(from(r, p + 2)) + std::string(kLineBreak);
    }
    if (const size_t p = r.find("AT+GMR"); p != std::string_view::npos) {
        // Model line and revision line of the two replies, one after the other.
        m_scratch += std::string(from(r, p + 2)) + std::string(kLineBreak);
        m_view.addInfoRow(std::string(texts::kModem),
                          scratchLine(m_scratch, 1) + " - " + scratchLine(m_scratch, 6));
        m_scratch.clear();
    }
}

}  // namespace phone
