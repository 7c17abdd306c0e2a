#include "sms/sms_sender.h"

#include "phone/phone_view.h"
#include "platform/clock.h"
#include "sms/send_texts.h"
#include "sms/sms_line.h"

namespace sms {
namespace {

const std::string kOk = "\r\nOK";
const std::string kPrompt = ">";
constexpr char kCtrlZ = 26;
constexpr char kEsc = 27;
// Rings that may each end a wait before the phone has answered.
constexpr int kMaxInterruptions = 8;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The value after "+NAME:" up to the end of its line, blanks trimmed; empty when absent.
std::string field(const std::string& reply, const std::string& name) {
    const size_t at = reply.find(name);
    if (at == std::string::npos) {
        return {};
    }
    size_t start = at + name.size();
    size_t end = reply.find_first_of("\r\n", start);
    if (end == std::string::npos) {
        end = reply.size();
    }
    while (start < end && reply[start] == ' ') {
        ++start;
    }
    while (end > start && reply[end - 1] == ' ') {
        --end;
    }
    return reply.substr(start, end - start);
}

// The reference of "+CMGS: n" (0..255), or -1.
int messageReference(const std::string& reply) {
    const std::string value = field(reply, "+CMGS:");
    int n = 0;
    size_t digits = 0;
    for (char c : value) {
        if (c < '0' || c > '9' || digits == 3) {
            break;
        }
        n = n * 10 + (c - '0');
        ++digits;
    }
    return digits == 0 || n > 255 ? -1 : n;
}

// Sends `command` in `turn` and waits for `completion` or an error line for at most
// `limitMs` in all. A ring ends the line's wait early; then the wait goes on for the
// answer still to come.
std::string exchange(LineTurn& turn, const std::string& command, const std::string& completion,
                     int limitMs) {
    const uint32_t start = platform::ClockMs();
    std::string reply = turn.send(command, completion, limitMs);
    for (int i = 0; i < kMaxInterruptions && turn.lastOutcome() == LineOutcome::Completed &&
                    !contains(reply, completion) && texts::errorReplyText(reply).empty();
         ++i) {
        const int left = limitMs - int(platform::ClockMs() - start);
        if (left <= 0) {
            break;
        }
        reply += turn.send("", completion, left);
    }
    return reply;
}

// Why no turn was had.
std::string noTurn(SmsLine& line) {
    return line.connected() ? texts::lineBusy() : texts::lineLost();
}

// The reason a command that did not complete failed.
std::string failureReason(LineTurn& turn, const std::string& reply) {
    std::string reason = texts::errorReplyText(reply);
    if (!reason.empty()) {
        return reason;
    }
    return turn.lastOutcome() == LineOutcome::Disconnected ? texts::lineLost() : texts::noAnswer();
}

// tiRefresh is off while a message is on its way, and on again after it while the phone
// is connected: a poll without a phone would only put the lamp to red every 5 s.
class RefreshPause {
public:
    RefreshPause(phone::PhoneView& view, SmsLine& line) : m_view(view), m_line(line) {
        m_view.setRefreshEnabled(false);
    }
    ~RefreshPause() {
        if (m_line.connected()) {
            m_view.setRefreshEnabled(true);
        }
    }
    RefreshPause(const RefreshPause&) = delete;
    RefreshPause& operator=(const RefreshPause&) = delete;

private:
    phone::PhoneView& m_view;
    SmsLine& m_line;
};

}  // namespace

std::string SendOutcome::referencesText() const {
    std::string s;
    for (int r : references) {
        s += (s.empty() ? "" : " ") + (r < 0 ? std::string("?") : std::to_string(r));
    }
    return s;
}

std::string SendOutcome::errorText() const {
    if (parts > 1 && !references.empty() && status == SendStatus::Failed) {
        return texts::partsSent(int(references.size()), parts) + ": " + error;
    }
    return error;
}

std::string SendOutcome::statusLine() const {
    return status == SendStatus::Sent ? texts::sentLine(referencesText())
                                      : texts::failedLine(errorText());
}

SmsSender::SmsSender(SmsLine& line, phone::PhoneView& view, SendLimits limits)
    : m_line(line), m_view(view), m_limits(limits) {}

SendOutcome SmsSender::SendSms(const std::string& number, const std::u16string& text,
                               const EncodeOptions& options) {
    if (!m_line.connected()) {
        // As before: without a phone a send does nothing, but now it says so.
        SendOutcome outcome;
        outcome.status = SendStatus::Failed;
        outcome.error = texts::notConnected();
        return show(outcome);
    }
    // A phone left in text mode would take AT+CMGS=23 as "send to 23" and the PDU as
    // its text. Each send selects PDU mode: the connection may be new since the last.
    RefreshPause pause(m_view, m_line);
    const std::string refused = selectPduMode();
    if (!refused.empty()) {
        SendOutcome outcome;
        outcome.status = SendStatus::Failed;
        outcome.error = refused;
        outcome.lineLost = !m_line.connected();
        return show(outcome);
    }
    return submit(number, text, options);
}

std::string SmsSender::selectPduMode() {
    std::unique_ptr<LineTurn> turn = m_line.beginTurn();
    if (!turn) {
        return m_line.connected() ? texts::lineBusy() : texts::notConnected();
    }
    const std::string reply = exchange(*turn, "AT+CMGF=0\r", kOk, m_limits.commandMs);
    if (turn->lastOutcome() == LineOutcome::Completed && contains(reply, kOk)) {
        return {};
    }
    if (turn->lastOutcome() == LineOutcome::Disconnected) {
        return texts::lineLost();
    }
    const std::string why = texts::errorReplyText(reply);
    return texts::pduModeRefused() + (why.empty() ? "" : ": " + why);
}

std::string SmsSender::prepareRun() {
    std::string reason;
    std::unique_ptr<LineTurn> turn = m_line.connected() ? m_line.beginTurn() : nullptr;
    if (!turn) {
        reason = m_line.connected() ? texts::lineBusy() : texts::notConnected();
    } else {
        const std::string pin = exchange(*turn, "AT+CPIN?\r", kOk, m_limits.commandMs);
        const std::string state = field(pin, "+CPIN:");
        if (state != "READY") {
            reason = texts::simNotReady(state.empty() ? failureReason(*turn, pin) : state);
        } else {
            const std::string reg = exchange(*turn, "AT+CREG?\r", kOk, m_limits.commandMs);
            const std::string value = field(reg, "+CREG:");
            const size_t comma = value.find(',');
            // +CREG: <n>,<stat>[,...]; some phones put a blank after the comma.
            std::string stat =
                comma == std::string::npos
                    ? ""
                    : value.substr(comma + 1, value.find(',', comma + 1) - comma - 1);
            stat.erase(0, stat.find_first_not_of(' '));
            if (stat != "1" && stat != "5") {
                reason = texts::notRegistered();
                if (value.empty()) {
                    reason += " (" + failureReason(*turn, reg) + ")";
                }
            }
        }
        turn.reset();
        if (reason.empty()) {
            reason = selectPduMode();
        }
    }
    if (!reason.empty()) {
        m_view.setStatusPanel(1, reason);
    }
    return reason;
}

SendOutcome SmsSender::submit(const std::string& number, const std::u16string& text,
                              const EncodeOptions& options) {
    RefreshPause pause(m_view, m_line);
    SendOutcome outcome;
    outcome.status = SendStatus::Failed;
    std::vector<PduPart> parts;
    try {
        TSMS message;
        message.Number = number;
        message.Coding = SmsCoding::Auto;
        message.Text = text;
        message.UserDataHeader.clear();
        parts = EncodeMessage(message, options);
    } catch (const EPduError& e) {
        outcome.error = e.what();
        return show(outcome);
    }
    outcome.parts = int(parts.size());

    bool ok = true;
    for (const PduPart& part : parts) {
        ok = submitPart(part, outcome);
        if (!ok) {
            // The rest would arrive as a message the phone cannot put together; a resend
            // sends the whole message again.
            break;
        }
    }
    if (ok) {
        outcome.status = SendStatus::Sent;
    }
    outcome.lineLost = !m_line.connected();
    return show(outcome);
}

bool SmsSender::submitPart(const PduPart& part, SendOutcome& outcome) {
    std::unique_ptr<LineTurn> turn = m_line.beginTurn();
    if (!turn) {
        outcome.error = noTurn(m_line);
        return false;
    }
    const std::string command = "AT+CMGS=" + std::to_string(part.TpduLength) + "\r";
    const std::string prompt = exchange(*turn, command, kPrompt, m_limits.commandMs);
    if (!contains(prompt, kPrompt) || !texts::errorReplyText(prompt).empty()) {
        // Never write the PDU without its prompt: a phone that is not waiting for it
        // would read it as a command line. ESC closes a prompt that may still come.
        if (turn->lastOutcome() != LineOutcome::Disconnected) {
            turn->write(std::string(1, kEsc));
        }
        const std::string why = texts::errorReplyText(prompt);
        outcome.error = !why.empty()                                       ? why
                        : turn->lastOutcome() == LineOutcome::Disconnected ? texts::lineLost()
                                                                           : texts::noPrompt();
        return false;
    }
    const std::string reply = exchange(*turn, part.Pdu + kCtrlZ, kOk, m_limits.submitMs);
    if (turn->lastOutcome() == LineOutcome::Completed && contains(reply, kOk) &&
        texts::errorReplyText(reply).empty()) {
        outcome.references.push_back(messageReference(reply));
        return true;
    }
    outcome.error = failureReason(*turn, reply);
    return false;
}

SendOutcome SmsSender::show(SendOutcome outcome) {
    m_view.setStatusPanel(1, outcome.statusLine());
    return outcome;
}

}  // namespace sms
