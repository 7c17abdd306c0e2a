#include "tools/phone-sim/sms_service.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <utility>

namespace phonesim {
namespace {

using Clock = SmsService::Clock;

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";
const std::string kStorage = "SM";  // the one storage this phone has

// TS 27.005 3.2.5.
constexpr int kNotAllowed = 302;
constexpr int kNotSupported = 303;
constexpr int kBadPdu = 304;
constexpr int kSimPin = 311;
constexpr int kBadIndex = 321;
constexpr int kNoAckExpected = 340;

// Still trying, for the first report of PendingThenDelivered: no response from the SME.
constexpr int kStillTrying = 0x22;

SmsService::Answer cmsError(int code) {
    return {"", "\r\n+CMS ERROR: " + std::to_string(code) + "\r\n"};
}

SmsService::Answer info(const std::vector<std::string>& lines) {
    std::string text = "\r\n";
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return {text, kOk};
}

// A decimal number of at most six digits filling the whole text, or -1.
int parseNumber(const std::string& s) {
    if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    return std::stoi(s);
}

std::vector<std::string> split(const std::string& s, char separator) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == separator) {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

// The local time `laterMs` from now, as time stamps in a PDU carry it.
PduTime wallTime(int laterMs) {
    const auto when = std::chrono::system_clock::now() + std::chrono::milliseconds(laterMs);
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return {tm.tm_year + 1900,
            tm.tm_mon + 1,
            tm.tm_mday,
            tm.tm_hour,
            tm.tm_min,
            tm.tm_sec,
            static_cast<int>(tm.tm_gmtoff / 900)};
}

// A text for the record: long ones cut after 60 bytes, between characters.
std::string shortened(const std::string& utf8) {
    constexpr std::size_t kMax = 60;
    if (utf8.size() <= kMax) {
        return utf8;
    }
    std::size_t cut = kMax;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return utf8.substr(0, cut) + "...";
}

std::string hexByte(int value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", value & 0xFF);
    return buf;
}

}  // namespace

SmsService::SmsService(MessageSettings settings, std::string serviceCentre)
    : m_settings(std::move(settings)),
      m_serviceCentre(serviceCentre.starts_with('+') ? std::move(serviceCentre) : ""),
      m_store(m_settings.storageSize),
      m_service(m_settings.service) {
    if (const auto start = parseCnmi(m_settings.cnmi)) {
        m_cnmi = *start;
    }
    for (const IncomingText& message : m_settings.incoming) {
        incoming(message, std::nullopt);
    }
    if (m_settings.incomingRoute == Route::Stored) {
        // Messages that came before anyone connected: in the storage already.
        for (Arrival& a : std::exchange(m_arrivals, {})) {
            store(std::move(a), false);
        }
    }
}

void SmsService::record(SmsEvent::Kind kind, bool report, int index, std::string detail) {
    m_events.push_back({kind, report, index, std::move(detail)});
}

void SmsService::submitted(int reference, const SubmitPdu& pdu, Clock::time_point now) {
    if (m_settings.reports == ReportOutcome::None ||
        (!pdu.statusReport && !m_settings.reportsUnasked)) {
        return;
    }
    StatusReport r;
    r.serviceCentre = m_serviceCentre;
    r.messageReference = reference;
    r.recipient = pdu.destination;
    r.submitted = wallTime(0);
    const BrokenReport broken = m_settings.brokenReports;
    auto add = [&](int status, int delayMs) {
        r.status = broken == BrokenReport::BadStatus ? 0xFF : status;
        r.discharged = wallTime(delayMs);
        BuiltPdu built = buildStatusReport(r);
        if (built.hex.empty()) {
            return;  // a destination no report can name
        }
        if (broken == BrokenReport::Truncated) {
            built.hex.resize(built.hex.size() - 4);
        } else if (broken == BrokenReport::NoPdu) {
            built.hex.clear();
        }
        schedule({true, std::move(built),
                  "report #" + std::to_string(reference) + " to " + pdu.destination + ", status " +
                      hexByte(status),
                  now + std::chrono::milliseconds(delayMs)});
    };
    const int delay = std::max(0, m_settings.reportDelayMs);
    switch (m_settings.reports) {
        case ReportOutcome::Delivered:
            add(0x00, delay);
            break;
        case ReportOutcome::Failed:
            add(m_settings.failedStatus, delay);
            break;
        case ReportOutcome::PendingThenDelivered:
            add(kStillTrying, delay);
            add(0x00, 2 * delay);
            break;
        case ReportOutcome::None:
            break;
    }
}

bool SmsService::incoming(const IncomingText& message, std::optional<Clock::time_point> due) {
    IncomingMessage m;
    m.serviceCentre = m_serviceCentre;
    m.sender = message.sender;
    m.text = message.text;
    m.time = wallTime(0);
    m.turkishShift = m_settings.turkishShift;
    std::vector<BuiltPdu> parts = buildDeliver(m, m_nextConcatenation);
    if (parts.empty()) {
        return false;
    }
    m_nextConcatenation = (m_nextConcatenation + 1) % 256;
    // The chosen order first, then the parts it does not name.
    std::vector<std::size_t> order;
    for (int n : m_settings.partsOrder) {
        const auto i = static_cast<std::size_t>(n - 1);
        if (n >= 1 && i < parts.size() && std::find(order.begin(), order.end(), i) == order.end()) {
            order.push_back(i);
        }
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (std::find(order.begin(), order.end(), i) == order.end()) {
            order.push_back(i);
        }
    }
    for (std::size_t i : order) {
        std::string summary = "message from " + message.sender;
        if (parts.size() > 1) {
            summary += " part " + std::to_string(i + 1) + "/" + std::to_string(parts.size());
        }
        schedule({false, std::move(parts[i]), summary + ": " + shortened(message.text), due});
    }
    return true;
}

void SmsService::lineInUse(Clock::time_point now) {
    for (Arrival& a : m_arrivals) {
        if (!a.due) {
            a.due = now + std::chrono::milliseconds(std::max(0, m_settings.incomingDelayMs));
        }
    }
}

void SmsService::schedule(Arrival arrival) {
    m_arrivals.push_back(std::move(arrival));
}

std::string SmsService::handle(Arrival a, Clock::time_point now) {
    // Mode 0 would keep indications in the phone; this one stores what it cannot pass on.
    const bool forwarding = m_cnmi.mode != 0;
    if (a.report) {
        if (forwarding && m_cnmi.ds == 1) {
            return route(std::move(a), now);
        }
        return store(std::move(a), forwarding && m_cnmi.ds == 2);
    }
    if (forwarding && m_cnmi.mt == 2) {
        return route(std::move(a), now);
    }
    // mt 3 routes class 3 only; these messages have no class, so they are stored.
    return store(std::move(a), forwarding && (m_cnmi.mt == 1 || m_cnmi.mt == 3));
}

std::string SmsService::routedText(const Arrival& a) {
    std::string text = std::string("\r\n") + (a.report ? "+CDS: " : "+CMT: ,") +
                       std::to_string(a.pdu.tpduLength) + "\r\n";
    if (!a.pdu.hex.empty()) {  // empty only for a report broken that way
        text += a.pdu.hex + "\r\n";
    }
    return text;
}

std::string SmsService::route(Arrival a, Clock::time_point now) {
    if (m_service == 1 && m_unacknowledged) {
        // TS 27.005 3.4.1: nothing more is routed before the last one is acknowledged.
        m_behindAck.push_back(std::move(a));
        return "";
    }
    record(SmsEvent::Kind::Routed, a.report, 0, a.summary);
    std::string text = routedText(a);
    if (m_service == 1) {
        m_unacknowledged = std::move(a);
        m_resendAt = now + std::chrono::milliseconds(std::max(0, m_settings.ackTimeoutMs));
    }
    return text;
}

std::string SmsService::store(Arrival a, bool notify) {
    const bool report = a.report;
    const std::string summary = a.summary;
    const std::optional<int> index =
        m_store.add({0, kRecUnread, report, a.pdu.hex, a.pdu.tpduLength, summary});
    if (!index) {
        // The network is told the memory is full and tries again once there is room.
        record(SmsEvent::Kind::Waiting, report, 0, summary);
        m_waiting.push_back(std::move(a));
        return "";
    }
    record(SmsEvent::Kind::Stored, report, *index, summary);
    if (!notify) {
        return "";
    }
    record(SmsEvent::Kind::Notified, report, *index, summary);
    return std::string("\r\n") + (report ? "+CDSI: " : "+CMTI: ") + "\"" + kStorage + "\"," +
           std::to_string(*index) + "\r\n";
}

void SmsService::freed(Clock::time_point now) {
    // Handled afresh, before anything newer: the setting may route them now.
    std::vector<Arrival> back;
    for (int room = m_store.capacity() - m_store.used(); room > 0 && !m_waiting.empty(); --room) {
        back.push_back(std::move(m_waiting.front()));
        back.back().due = now;
        m_waiting.pop_front();
    }
    m_arrivals.insert(m_arrivals.begin(), std::make_move_iterator(back.begin()),
                      std::make_move_iterator(back.end()));
}

std::string SmsService::due(Clock::time_point now) {
    std::string text;
    if (m_unacknowledged && now >= m_resendAt) {
        Arrival a = std::move(*m_unacknowledged);
        m_unacknowledged.reset();
        if (a.resends < m_settings.resends) {
            ++a.resends;
            record(SmsEvent::Kind::Resent, a.report, 0, a.summary);
            text += routedText(a);
            m_unacknowledged = std::move(a);
            m_resendAt = now + std::chrono::milliseconds(std::max(0, m_settings.ackTimeoutMs));
        } else {
            // TS 27.005 3.4.1: the phone stops routing; the network's next try is stored.
            record(SmsEvent::Kind::RoutingOff, a.report, 0, a.summary);
            m_cnmi.mt = 0;
            m_cnmi.ds = 0;
            text += store(std::move(a), false);
            for (Arrival& behind : std::exchange(m_behindAck, {})) {
                text += store(std::move(behind), false);
            }
        }
    }
    std::vector<Arrival> ready;
    for (auto it = m_arrivals.begin(); it != m_arrivals.end();) {
        if (it->due && *it->due <= now) {
            ready.push_back(std::move(*it));
            it = m_arrivals.erase(it);
        } else {
            ++it;
        }
    }
    std::stable_sort(ready.begin(), ready.end(),
                     [](const Arrival& a, const Arrival& b) { return *a.due < *b.due; });
    for (Arrival& a : ready) {
        text += handle(std::move(a), now);
    }
    return text;
}

std::string SmsService::arriveNow(bool report, Clock::time_point now) {
    auto best = m_arrivals.end();
    for (auto it = m_arrivals.begin(); it != m_arrivals.end(); ++it) {
        if (it->report == report &&
            (best == m_arrivals.end() || it->due.value_or(now) < best->due.value_or(now))) {
            best = it;
        }
    }
    if (best == m_arrivals.end()) {
        return "";
    }
    Arrival a = std::move(*best);
    m_arrivals.erase(best);
    return handle(std::move(a), now);
}

std::optional<Clock::time_point> SmsService::nextDue() const {
    std::optional<Clock::time_point> next;
    if (m_unacknowledged) {
        next = m_resendAt;
    }
    for (const Arrival& a : m_arrivals) {
        if (a.due && (!next || *a.due < *next)) {
            next = a.due;
        }
    }
    return next;
}

std::optional<SmsService::Answer> SmsService::command(const std::string& u, bool textMode,
                                                      bool simLocked, Clock::time_point now) {
    const std::string name = u.substr(0, u.find_first_of("=?"));
    static const char* const kNames[] = {"+CSMS", "+CNMI", "+CNMA", "+CPMS",
                                         "+CMGL", "+CMGR", "+CMGD"};
    if (std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames)) {
        return std::nullopt;
    }
    if (simLocked) {
        return cmsError(kSimPin);
    }
    const std::string rest = u.substr(name.size());
    const std::string args = rest.starts_with("=") ? rest.substr(1) : "";
    if (rest != "?" && rest != "=?" && !rest.empty() && !rest.starts_with("=")) {
        return Answer{"", kError};
    }
    if (name == "+CSMS") {
        if (rest == "?") {
            return info({"+CSMS: " + std::to_string(m_service) + ",1,1,1"});
        }
        if (rest == "=?") {
            return info({"+CSMS: (0,1)"});
        }
        if (args == "0" || args == "1") {
            m_service = args == "1" ? 1 : 0;
            return info({"+CSMS: 1,1,1"});
        }
        return cmsError(kNotSupported);
    }
    if (name == "+CNMI") {
        if (rest == "?") {
            const Cnmi& c = m_cnmi;
            return info({"+CNMI: " + std::to_string(c.mode) + "," + std::to_string(c.mt) + "," +
                         std::to_string(c.bm) + "," + std::to_string(c.ds) + "," +
                         std::to_string(c.bfr)});
        }
        if (rest == "=?") {
            return info({cnmiRanges()});
        }
        return cnmiCommand(args);
    }
    if (name == "+CNMA") {
        if (rest == "=?") {
            return info({"+CNMA: (0-2)"});
        }
        return acknowledge(rest.empty() ? "0" : args, now);
    }
    if (name == "+CPMS") {
        const std::string used = std::to_string(m_store.used());
        const std::string total = std::to_string(m_store.capacity());
        const std::string counts = used + "," + total;
        const std::string q = "\"" + kStorage + "\"";
        if (rest == "?") {
            return info(
                {"+CPMS: " + q + "," + counts + "," + q + "," + counts + "," + q + "," + counts});
        }
        if (rest == "=?") {
            return info({"+CPMS: (" + q + "),(" + q + "),(" + q + ")"});
        }
        const std::vector<std::string> names = split(args, ',');
        if (args.empty() || names.size() > 3) {
            return Answer{"", kError};
        }
        for (std::string n : names) {
            for (char& ch : n) {
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            }
            if (n != q) {
                return cmsError(kNotAllowed);  // a storage this phone does not have
            }
        }
        return info({"+CPMS: " + counts + "," + counts + "," + counts});
    }
    if (textMode && (name == "+CMGL" || name == "+CMGR")) {
        return cmsError(kNotAllowed);  // this phone lists and reads in PDU mode only
    }
    if (name == "+CMGL") {
        if (rest == "=?") {
            return info({"+CMGL: (0-4)"});
        }
        return listCommand(rest.empty() ? "0" : args);
    }
    if (name == "+CMGR") {
        if (rest == "=?") {
            return Answer{"", kOk};
        }
        return readCommand(args);
    }
    if (rest == "=?") {
        return info({"+CMGD: (" + m_store.indices() + "),(0-4)"});
    }
    return deleteCommand(args, now);
}

bool SmsService::allowed(const Cnmi& c) const {
    const int mtMax = m_settings.incomingRoute == Route::Routed     ? 3
                      : m_settings.incomingRoute == Route::Notified ? 1
                                                                    : 0;
    const bool dsOk = m_settings.reportRoute == Route::Routed     ? c.ds <= 2
                      : m_settings.reportRoute == Route::Notified ? c.ds == 0 || c.ds == 2
                                                                  : c.ds == 0;
    return c.mode <= 2 && c.mt <= mtMax && (c.bm == 0 || c.bm == 2) && dsOk && c.bfr <= 1;
}

std::string SmsService::cnmiRanges() const {
    const char* mt = m_settings.incomingRoute == Route::Routed     ? "(0-3)"
                     : m_settings.incomingRoute == Route::Notified ? "(0,1)"
                                                                   : "(0)";
    const char* ds = m_settings.reportRoute == Route::Routed     ? "(0-2)"
                     : m_settings.reportRoute == Route::Notified ? "(0,2)"
                                                                 : "(0)";
    return std::string("+CNMI: (0-2),") + mt + ",(0,2)," + ds + ",(0,1)";
}

std::optional<SmsService::Cnmi> SmsService::parseCnmi(const std::string& args) const {
    const std::vector<std::string> values = split(args, ',');
    if (args.empty() || values.size() > 5) {
        return std::nullopt;
    }
    Cnmi c = m_cnmi;
    int* fields[] = {&c.mode, &c.mt, &c.bm, &c.ds, &c.bfr};
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i].empty()) {
            continue;  // left as it is
        }
        const int v = parseNumber(values[i]);
        if (v < 0 || v > 9) {
            return std::nullopt;
        }
        *fields[i] = v;
    }
    return c;
}

SmsService::Answer SmsService::cnmiCommand(const std::string& args) {
    const std::optional<Cnmi> c = parseCnmi(args);
    if (!c) {
        return {"", kError};
    }
    if (m_settings.refuseCnmi || m_settings.refusedCnmi.count(args) || !allowed(*c)) {
        record(SmsEvent::Kind::Refused, false, 0, "AT+CNMI=" + args);
        return cmsError(kNotSupported);
    }
    m_cnmi = *c;
    return {"", kOk};
}

SmsService::Answer SmsService::acknowledge(const std::string& args, Clock::time_point now) {
    const int n = parseNumber(args);
    if (n < 0 || n > 2) {
        // An acknowledgement with a PDU of its own is not supported here.
        return cmsError(n < 0 ? kNotSupported : kBadPdu);
    }
    if (m_service != 1 || !m_unacknowledged) {
        return cmsError(kNoAckExpected);
    }
    if (n == 2) {
        // A negative acknowledgement: the network tries again when the wait runs out.
        return {"", kOk};
    }
    record(SmsEvent::Kind::Acknowledged, m_unacknowledged->report, 0, m_unacknowledged->summary);
    m_unacknowledged.reset();
    // The ones held back follow, in their order.
    for (Arrival& a : m_behindAck) {
        a.due = now;
    }
    m_arrivals.insert(m_arrivals.begin(), std::make_move_iterator(m_behindAck.begin()),
                      std::make_move_iterator(m_behindAck.end()));
    m_behindAck.clear();
    return {"", kOk};
}

SmsService::Answer SmsService::listCommand(const std::string& args) {
    const int stat = parseNumber(args);
    if (stat < 0 || stat > kAllMessages) {
        return cmsError(kBadPdu);
    }
    std::vector<std::string> lines;
    for (StoredMessage* m : m_store.list(stat)) {
        lines.push_back("+CMGL: " + std::to_string(m->index) + "," + std::to_string(m->stat) +
                        ",," + std::to_string(m->tpduLength));
        lines.push_back(m->pduHex);
        m->stat = kRecRead;
        record(SmsEvent::Kind::Listed, m->report, m->index, m->summary);
    }
    if (lines.empty()) {
        return {"", kOk};
    }
    return info(lines);
}

SmsService::Answer SmsService::readCommand(const std::string& args) {
    StoredMessage* m = m_store.find(parseNumber(args));
    if (!m) {
        return cmsError(kBadIndex);
    }
    Answer answer = info(
        {"+CMGR: " + std::to_string(m->stat) + ",," + std::to_string(m->tpduLength), m->pduHex});
    m->stat = kRecRead;
    record(SmsEvent::Kind::Read, m->report, m->index, m->summary);
    return answer;
}

SmsService::Answer SmsService::deleteCommand(const std::string& args, Clock::time_point now) {
    const std::vector<std::string> values = split(args, ',');
    if (values.size() > 2) {
        return {"", kError};
    }
    const int index = parseNumber(values[0]);
    const int flag = values.size() == 2 ? parseNumber(values[1]) : 0;
    if (flag < 0 || flag > kAllMessages) {
        return {"", kError};
    }
    std::vector<StoredMessage> removed;
    if (flag == 0) {
        if (index < 1 || index > m_store.capacity()) {
            return cmsError(kBadIndex);
        }
        if (std::optional<StoredMessage> gone = m_store.remove(index)) {
            removed.push_back(std::move(*gone));
        }
    } else {
        removed = m_store.removeByFlag(flag);
    }
    for (const StoredMessage& m : removed) {
        record(SmsEvent::Kind::Deleted, m.report, m.index, m.summary);
    }
    if (!removed.empty()) {
        freed(now);
    }
    return {"", kOk};
}

}  // namespace phonesim
