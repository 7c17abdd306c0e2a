#include "tools/phone-sim/modem.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/codepage_1254.h"

namespace phonesim {
namespace {

constexpr char kCtrlZ = 26;
constexpr char kEsc = 27;
constexpr char kBackspace = 8;
// Longer lines are refused; a PDU is at most 176 octets, 352 digits.
constexpr std::size_t kMaxLine = 512;
constexpr std::size_t kMaxPduDigits = 2 * (12 + 164);
constexpr int kMaxTpdu = 164;
constexpr int kBadPdu = 304;      // "invalid PDU mode parameter", TS 27.005 3.2.5
constexpr int kNotAllowed = 302;  // "operation not allowed"
constexpr int kSimPin = 311;      // "(U)SIM PIN required"
constexpr int kNoNetwork = 331;   // "no network service"
constexpr int kNetworkTimeout = 332;

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

std::string framed(const std::vector<std::string>& lines) {
    std::string out = "\r\n";
    for (const std::string& line : lines) {
        out += line + "\r\n";
    }
    return out;
}

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// The configured texts are UTF-8; a phone on this line speaks code page 1254.
std::string onLine(const std::string& utf8) {
    return platform::cp1254::fromUtf8(utf8);
}

// Upper case outside double quotes: command names ignore case, quoted texts keep it.
std::string upperOutsideQuotes(const std::string& s) {
    std::string out = s;
    bool inQuotes = false;
    for (char& c : out) {
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

std::string upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

// A decimal number of at most six digits filling the whole text, or -1.
int parseNumber(const std::string& s) {
    if (s.empty() || s.size() > 6 ||
        !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    return std::stoi(s);
}

}  // namespace

Modem::Modem(Config config)
    : m_config(std::move(config)),
      m_textMode(m_config.faults.textMode),
      m_characterSet(m_config.faults.ucs2 ? "UCS2" : "GSM"),
      m_sms(m_config.messaging, m_config.serviceCentre) {}

void Modem::setSignal(int rssi, int ber) {
    m_config.signal = rssi;
    m_config.bitErrorRate = ber;
}

void Modem::setBattery(int state, int charge) {
    m_config.chargeState = state;
    m_config.charge = charge;
}

void Modem::setFaults(const Faults& faults) {
    m_config.faults = faults;
}

void Modem::abandonPdu() {
    if (m_pduMode) {
        m_pduMode = false;
        m_commands.push_back(std::exchange(m_line, {}));
        m_overflow = false;
        m_echoOut.clear();
    }
}

Response Modem::receive(std::string_view bytes) {
    Response out;
    if (m_hungUp) {
        return out;
    }
    for (char c : bytes) {
        const bool echo = m_echo && !m_config.faults.echoOff;
        if (m_pduMode) {
            if (c == kCtrlZ) {
                endOfPdu(out);
            } else if (c == kEsc) {
                // Cancelled: nothing is sent. The record keeps what had come.
                m_pduMode = false;
                m_commands.push_back(std::exchange(m_line, {}) + kEsc);
                m_overflow = false;
                deliver(out, std::exchange(m_echoOut, {}), false);
                deliver(out, okText(), true);
            } else if (c != '\r' && c != '\n') {
                if (echo) {
                    m_echoOut += c;
                }
                if (m_line.size() < kMaxPduDigits) {
                    m_line += c;
                } else {
                    m_overflow = true;
                }
            }
            if (m_hungUp) {
                return out;
            }
            continue;
        }
        if (echo) {
            m_echoOut += c;
        }
        if (c == '\r') {
            endOfLine(out);
            if (m_hungUp) {
                return out;
            }
        } else if (c == '\n') {
            // A terminal's line feed after CR: not part of any command.
        } else if (c == kBackspace || c == 127) {
            if (!m_line.empty()) {
                m_line.pop_back();
            }
        } else if (c == kCtrlZ || c == kEsc) {
            m_line.clear();
            m_overflow = false;
        } else if (m_line.size() < kMaxLine) {
            m_line += c;
        } else {
            m_overflow = true;
        }
    }
    deliver(out, std::exchange(m_echoOut, {}), false);
    return out;
}

Response Modem::ring(const std::string& number, int type) {
    Response out;
    if (m_hungUp) {
        return out;
    }
    deliver(out, ringText(number, type), false);
    return out;
}

std::string Modem::ringText(const std::string& number, int type) const {
    std::string text = "\r\nRING\r\n";
    if (m_clip) {
        text += framed({"+CLIP: " + quoted(number) + "," + std::to_string(type)});
    }
    return text;
}

std::string Modem::okText() const {
    return m_config.faults.lowerCaseOk ? "\r\nok\r\n" : kOk;
}

bool Modem::matches(const std::set<std::string>& chosen, const std::string& line) const {
    if (chosen.empty()) {
        return false;
    }
    const std::string whole = upper(line);
    const std::string name = whole.substr(0, whole.find_first_of("=?"));
    return std::any_of(chosen.begin(), chosen.end(), [&](const std::string& c) {
        const std::string u = upper(c);
        return u == whole || u == name;
    });
}

void Modem::deliver(Response& out, std::string bytes, bool delayed) {
    if (bytes.empty()) {
        return;
    }
    const Faults& f = m_config.faults;
    const std::size_t piece = delayed && f.pieceSize > 0 ? f.pieceSize : bytes.size();
    for (std::size_t pos = 0; pos < bytes.size(); pos += piece) {
        const int delay = !delayed ? 0 : pos == 0 ? f.delayMs : f.pieceGapMs;
        out.chunks.push_back({delay, bytes.substr(pos, piece)});
    }
}

void Modem::deliverAfter(Response& out, const std::string& bytes, int submitDelayMs) {
    const std::size_t first = out.chunks.size();
    deliver(out, bytes, true);
    if (first < out.chunks.size()) {
        out.chunks[first].delayMs += submitDelayMs;
    }
}

void Modem::refuse(const std::string& why) {
    m_refusals.push_back(why);
}

void Modem::endOfLine(Response& out) {
    const std::string line = std::exchange(m_line, {});
    const bool overflow = std::exchange(m_overflow, false);
    deliver(out, std::exchange(m_echoOut, {}), false);
    if (line.empty() && !overflow) {
        return;
    }
    m_commands.push_back(line);
    // Anything before "AT" is noise on the line; a line without it is not a command.
    const std::size_t at = upper(line).find("AT");
    if (at == std::string::npos) {
        return;
    }
    const std::string body = line.substr(at + 2);
    const std::string command = "AT" + body;
    const Faults& f = m_config.faults;
    ++m_answered;
    const auto now = std::chrono::steady_clock::now();
    m_sms.lineInUse(now);

    Answer answer;
    if (overflow) {
        answer.final = kError;
    } else if (matches(f.silentFor, command)) {
        // Echoed above, never answered.
    } else if (matches(f.silentOnceFor, command) && m_silenced.insert(upper(command)).second) {
        // Echoed above, answered only when asked again.
    } else if (matches(f.errorFor, command)) {
        answer.final = kError;
    } else {
        answer = execute(body);
    }
    std::string text = answer.info;
    // A report or a message that comes while this command waits: after the echo, before
    // anything else of its answer.
    const MessageSettings& during = m_config.messaging;
    if (matches(during.incomingDuring, command)) {
        text = m_sms.arriveNow(false, now) + text;
    }
    if (matches(during.reportDuring, command)) {
        text = m_sms.arriveNow(true, now) + text;
    }
    if (!answer.final.empty() && matches(f.ringDuring, command)) {
        const std::string& number = m_config.callerNumber;
        text += ringText(number, number.starts_with('+') ? 145 : 129);
    }
    text += answer.final == kOk ? okText() : answer.final;
    if (matches(f.lateFor, command)) {
        out.outOfTurn.push_back({f.lateMs, text});
    } else if (upper(command) == "AT+CPIN?") {
        deliverAfter(out, text, f.cpinDelayMs);
    } else {
        deliver(out, text, true);
    }
    if (f.hangUpAfter > 0 && m_answered >= f.hangUpAfter) {
        out.hangUp = true;
        m_hungUp = true;
    }
}

void Modem::endOfPdu(Response& out) {
    const std::string hex = std::exchange(m_line, {});
    const bool overflow = std::exchange(m_overflow, false);
    m_pduMode = false;
    deliver(out, std::exchange(m_echoOut, {}), false);
    m_commands.push_back(hex + kCtrlZ);
    ++m_answered;
    const Faults& f = m_config.faults;
    const int delay = f.submitDelayMs;
    m_submittingUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(delay);
    if (m_textMode) {
        // What a phone left in text mode does with a PDU: sends its digits as the text.
        refuse("text mode: message to " + m_textDestination + " with the text " + hex);
        const int reference = m_nextReference;
        m_nextReference = (m_nextReference + 1) % 256;
        deliverAfter(out, framed({"+CMGS: " + std::to_string(reference)}) + okText(), delay);
        return;
    }

    const int accepted = int(m_messages.size());
    if (f.hangUpAfterMessages > 0 && accepted >= f.hangUpAfterMessages) {
        refuse("hung up while submitting message " + std::to_string(accepted + 1));
        out.hangUp = true;
        m_hungUp = true;
        return;
    }
    std::string error = "PDU longer than any message";
    std::optional<SubmitPdu> pdu;
    if (!overflow) {
        pdu = decodeSubmitPdu(hex, &error);
    }
    int code = 0;
    if (!pdu) {
        refuse("malformed PDU (" + error + "): " + hex);
        code = kBadPdu;
    } else if (pdu->tpduLength != m_declaredLength) {
        refuse("AT+CMGS=" + std::to_string(m_declaredLength) + " but the PDU has " +
               std::to_string(pdu->tpduLength) + " octets after the service-centre field");
        code = kBadPdu;
    } else if (f.refuseNumbers.count(pdu->destination)) {
        refuse("message to " + pdu->destination + " refused");
        code = f.refuseCode;
    } else if (f.notRegistered) {
        refuse("message to " + pdu->destination + ": no network");
        code = kNoNetwork;
    } else if (f.networkErrorAfter > 0 && accepted >= f.networkErrorAfter) {
        refuse("message to " + pdu->destination + ": network timeout");
        code = kNetworkTimeout;
    }
    // A report or a message that comes while the network takes the PDU (the command name
    // "PDU"), before its answer; only ones on their way before this message.
    const auto now = std::chrono::steady_clock::now();
    std::string early;
    if (matches(m_config.messaging.reportDuring, "PDU")) {
        early += m_sms.arriveNow(true, now);
    }
    if (matches(m_config.messaging.incomingDuring, "PDU")) {
        early += m_sms.arriveNow(false, now);
    }
    if (code != 0) {
        deliverAfter(out, early + framed({"+CMS ERROR: " + std::to_string(code)}), delay);
    } else {
        const int reference = m_nextReference;
        m_nextReference = (m_nextReference + 1) % 256;
        m_messages.push_back({reference, m_declaredLength, hex, *pdu});
        m_sms.submitted(reference, *pdu, now);
        deliverAfter(out, early + framed({"+CMGS: " + std::to_string(reference)}) + okText(),
                     delay);
    }
    if (f.hangUpAfter > 0 && m_answered >= f.hangUpAfter) {
        out.hangUp = true;
        m_hungUp = true;
    }
}

Modem::Answer Modem::execute(const std::string& body) {
    const std::string u = upperOutsideQuotes(body);
    const Config& c = m_config;
    auto info = [](std::vector<std::string> lines) { return Answer{framed(lines), kOk}; };

    if (u.empty()) {
        return {"", kOk};
    }
    if (u == "E" || u == "E0" || u == "E1") {
        m_echo = u == "E1";
        if (m_echo && c.faults.textMode) {
            m_textMode = true;  // a new connection finds the phone as it starts
        }
        return {"", kOk};
    }
    if (u == "Z" || u == "&F") {
        m_echo = true;
        m_clip = false;
        return {"", kOk};
    }
    if (u == "I") {
        return info({onLine(c.manufacturer), onLine(c.model), onLine(c.revision)});
    }
    const std::pair<const char*, const std::string*> identity[] = {
        {"+CGMI", &c.manufacturer}, {"+GMI", &c.manufacturer}, {"+CGMM", &c.model},
        {"+GMM", &c.model},         {"+CGMR", &c.revision},    {"+GMR", &c.revision},
        {"+CGSN", &c.imei},         {"+GSN", &c.imei},         {"+CIMI", &c.imsi},
    };
    for (const auto& [name, value] : identity) {
        if (u == name) {
            return info({onLine(*value)});
        }
        if (u == std::string(name) + "=?") {
            return {"", kOk};
        }
    }
    if (u == "+COPS?") {
        return info(
            {c.operatorName.empty() ? "+COPS: 0" : "+COPS: 0,0," + quoted(onLine(c.operatorName))});
    }
    if (u == "^SCID") {
        return info({"^SCID: " + c.simId});
    }
    if (u == "+CSCA?") {
        return info(
            {"+CSCA: " + quoted(c.serviceCentre) + "," + std::to_string(c.serviceCentreType)});
    }
    if (u == "+CLIP=0" || u == "+CLIP=1") {
        m_clip = u == "+CLIP=1";
        return {"", kOk};
    }
    if (u == "+CLIP?") {
        return info({std::string("+CLIP: ") + (m_clip ? "1" : "0") + ",1"});
    }
    if (u == "+CLIP=?") {
        return info({"+CLIP: (0,1)"});
    }
    if (u == "+CIND=?") {
        return info(
            {"+CIND: (\"battchg\",(0-5)),(\"signal\",(0-5)),(\"service\",(0,1)),"
             "(\"call\",(0,1)),(\"roam\",(0,1)),(\"smsfull\",(0,1))"});
    }
    if (u == "+CIND?") {
        const int bars = c.signal == 99 ? 0 : std::clamp(c.signal, 0, 31) * 5 / 31;
        return info({"+CIND: " + std::to_string(std::clamp(c.charge, 0, 100) / 20) + "," +
                     std::to_string(bars) + "," + (c.operatorName.empty() ? "0" : "1") + ",0,0,0"});
    }
    if (u == "+CSQ") {
        return info({"+CSQ: " + std::to_string(c.signal) + "," + std::to_string(c.bitErrorRate)});
    }
    if (u == "+CSQ=?") {
        return info({"+CSQ: (0-31,99),(0-7,99)"});
    }
    if (u == "+CBC") {
        return info({"+CBC: " + std::to_string(c.chargeState) + "," + std::to_string(c.charge)});
    }
    if (u == "+CBC=?") {
        return info({"+CBC: (0-3),(0-100)"});
    }
    if (u == "+CMGF?") {
        return info({m_textMode ? "+CMGF: 1" : "+CMGF: 0"});
    }
    if (u == "+CMGF=0" || u == "+CMGF=1") {
        m_textMode = u == "+CMGF=1";
        return {"", kOk};
    }
    if (u == "+CMGF=?") {
        return info({"+CMGF: (0,1)"});
    }
    if (u == "+CPIN?" && c.faults.simBusyOnce && !std::exchange(m_simBusyAnswered, true)) {
        return {"", framed({"+CME ERROR: 14"})};
    }
    if (u == "+CPIN?") {
        return info({c.faults.simPin ? "+CPIN: SIM PIN" : "+CPIN: READY"});
    }
    if (u == "+CREG?") {
        return info({c.faults.simPin || c.faults.notRegistered ? "+CREG: 0,0" : "+CREG: 0,1"});
    }
    if (u == "+CMGS=?") {
        return {"", kOk};
    }
    if (u.starts_with("+CMGS=")) {
        if (c.faults.simPin) {
            return {"", framed({"+CMS ERROR: " + std::to_string(kSimPin)})};
        }
        if (std::chrono::steady_clock::now() < m_submittingUntil) {
            refuse("AT+CMGS while the last message is still being submitted");
            return {"", framed({"+CMS ERROR: " + std::to_string(kNotAllowed)})};
        }
        if (m_textMode) {
            // TS 27.005 3.5.1: the destination, the prompt, then the text.
            m_textDestination = body.substr(6);
            m_pduMode = true;
            m_declaredLength = 0;
            return {"", c.faults.silentPrompt ? "" : "\r\n> "};
        }
        const int n = parseNumber(u.substr(6));
        if (n < 0) {
            return {"", kError};
        }
        if (n < 1 || n > kMaxTpdu) {
            refuse("AT+CMGS=" + std::to_string(n) + ": no message has that length");
            return {"", framed({"+CMS ERROR: " + std::to_string(kBadPdu)})};
        }
        m_pduMode = true;
        m_declaredLength = n;
        return {"", c.faults.silentPrompt ? "" : "\r\n> "};
    }
    if (u.starts_with("+CPBS") || u.starts_with("+CPBR")) {
        return phonebookCommand(u, body);
    }
    if (u.starts_with("+CSCS")) {
        return characterSetCommand(u);
    }
    if (auto sms =
            m_sms.command(u, m_textMode, c.faults.simPin, std::chrono::steady_clock::now())) {
        return {sms->info, sms->final};
    }
    return {"", kError};
}

Modem::Answer Modem::phonebookCommand(const std::string& u, const std::string& body) {
    auto info = [](std::vector<std::string> lines) { return Answer{framed(lines), kOk}; };
    const auto selected = m_config.phonebooks.find(m_config.phonebook);
    if (u == "+CPBS=?") {
        std::string list;
        for (const auto& [name, book] : m_config.phonebooks) {
            list += (list.empty() ? "" : ",") + quoted(name);
        }
        return info({"+CPBS: (" + list + ")"});
    }
    if (u.starts_with("+CPBS=")) {
        const std::string arg = body.substr(6);
        if (arg.size() < 2 || arg.front() != '"' || arg.back() != '"') {
            return {"", kError};
        }
        const std::string name = upper(arg.substr(1, arg.size() - 2));
        if (!m_config.phonebooks.count(name)) {
            return {"", kError};
        }
        m_config.phonebook = name;
        return {"", kOk};
    }
    if (selected == m_config.phonebooks.end()) {
        return {"", kError};
    }
    const Phonebook& book = selected->second;
    if (u == "+CPBS?") {
        return info({"+CPBS: " + quoted(selected->first) + "," +
                     std::to_string(book.entries.size()) + "," + std::to_string(book.capacity)});
    }
    const int lowest = m_config.faults.firstLocation;
    const int highest = lowest + book.capacity - 1;
    if (u == "+CPBR=?") {
        const char* dash = m_config.faults.rangeWithBlanks ? " - " : "-";
        return info(
            {"+CPBR: (" + std::to_string(lowest) + dash + std::to_string(highest) + "),40,18"});
    }
    if (!u.starts_with("+CPBR=")) {
        return {"", kError};
    }
    const std::string args = u.substr(6);
    const std::size_t comma = args.find(',');
    const int first = parseNumber(args.substr(0, comma));
    const int last = comma == std::string::npos ? first : parseNumber(args.substr(comma + 1));
    if (first < lowest || last < first || last > highest) {
        return {"", kError};
    }
    std::vector<const PhonebookEntry*> found;
    for (const PhonebookEntry& e : book.entries) {
        if (e.index >= first && e.index <= last) {
            found.push_back(&e);
        }
    }
    if (found.empty()) {
        return {"", kOk};  // empty locations: only the final result
    }
    std::sort(found.begin(), found.end(),
              [](const PhonebookEntry* a, const PhonebookEntry* b) { return a->index < b->index; });
    // TS 27.007 puts several entries into one information text, one line each; an
    // unsolicited line comes framed on its own, between two such texts.
    std::string text;
    std::vector<std::string> lines;
    for (const PhonebookEntry* e : found) {
        if (const auto urc = m_config.faults.urcBeforeEntry.find(e->index);
            urc != m_config.faults.urcBeforeEntry.end()) {
            text += lines.empty() ? "" : framed(std::exchange(lines, {}));
            text += framed({urc->second});
        }
        lines.push_back("+CPBR: " + std::to_string(e->index) + "," +
                        quoted(inCharacterSet(e->number)) + "," + std::to_string(e->type) + "," +
                        quoted(inCharacterSet(e->text)));
    }
    return {text + framed(lines), kOk};
}

Modem::Answer Modem::characterSetCommand(const std::string& u) {
    static const std::set<std::string> kKnown = {"GSM", "IRA", "UCS2"};
    if (u == "+CSCS=?") {
        return {framed({"+CSCS: (\"GSM\",\"IRA\",\"UCS2\")"}), kOk};
    }
    if (u == "+CSCS?") {
        return {framed({"+CSCS: " + quoted(m_characterSet)}), kOk};
    }
    const std::string arg = u.starts_with("+CSCS=") ? upper(u.substr(6)) : std::string();
    if (arg.size() < 2 || arg.front() != '"' || arg.back() != '"' ||
        !kKnown.count(arg.substr(1, arg.size() - 2))) {
        return {"", kError};
    }
    const std::string name = arg.substr(1, arg.size() - 2);
    if (m_config.faults.ucs2Insisting && name != "UCS2") {
        return {"", framed({"+CME ERROR: 4"})};  // operation not supported
    }
    m_characterSet = name;
    return {"", kOk};
}

std::string Modem::inCharacterSet(const std::string& utf8) const {
    if (m_characterSet != "UCS2") {
        return onLine(utf8);
    }
    // TS 27.007 +CSCS: each 16-bit unit as four hexadecimal digits.
    static const char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (char16_t unit : platform::cp1254::utf8ToUtf16(utf8)) {
        for (int shift = 12; shift >= 0; shift -= 4) {
            hex += kHex[(unit >> shift) & 0xF];
        }
    }
    return hex;
}

}  // namespace phonesim
