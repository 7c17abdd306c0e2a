#include "sms/sms_sender.h"

#include <functional>

#include "phone/phone_view.h"
#include "platform/clock.h"
#include "sms/send_texts.h"

namespace sms {
namespace {

const std::string kOk = "\r\nOK";
const std::string kPrompt = ">";
constexpr char kCtrlZ = 26;
constexpr char kEsc = 27;
// Rings (or stray results) that may each end a wait before the phone has answered.
constexpr int kMaxInterruptions = 8;
// "AT" sent to bring the line back to a known state after an answer that did not come.
constexpr int kSyncTries = 3;
const std::string kSyncCommand = "AT\r";
// The phone's echo of it, then its OK: an OK before the echo belongs to an earlier command.
const std::string kSyncAnswer = "AT\r\r\nOK";
const std::string kSimBusy = "+CME ERROR: 14";

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

using phone::CommandOutcome;
using phone::CommandTurn;

// Whether `reply` holds the information line `name` and a final OK after it.
bool answeredWith(const std::string& reply, const std::string& name) {
    const size_t at = reply.find(name);
    return at != std::string::npos && reply.find(kOk, at) != std::string::npos;
}

// Sends `command` in `turn` and waits, for at most `limitMs` in all, until `answered`
// holds or an error line came. A ring, or an OK that belongs to an earlier command, ends
// the line's wait early; then the wait goes on for the answer still to come.
std::string exchange(CommandTurn& turn, const std::string& command, const std::string& completion,
                     int limitMs, const std::function<bool(const std::string&)>& answered) {
    const uint32_t start = platform::ClockMs();
    std::string reply = turn.send(command, completion, limitMs);
    for (int i = 0; i < kMaxInterruptions && turn.lastOutcome() == CommandOutcome::Completed &&
                    !answered(reply) && texts::errorReplyText(reply).empty();
         ++i) {
        const int left = limitMs - int(platform::ClockMs() - start);
        if (left <= 0) {
            break;
        }
        reply += turn.send("", completion, left);
    }
    return reply;
}

std::string exchange(CommandTurn& turn, const std::string& command, const std::string& completion,
                     int limitMs) {
    return exchange(turn, command, completion, limitMs,
                    [&](const std::string& reply) { return contains(reply, completion); });
}

// Why no turn was had.
std::string noTurn(SmsLine& line) {
    return line.connected() ? texts::lineBusy() : texts::lineLost();
}

// The reason a command that did not complete failed.
std::string failureReason(const CommandTurn& turn, const std::string& reply) {
    std::string reason = texts::errorReplyText(reply);
    if (!reason.empty()) {
        return reason;
    }
    return turn.lastOutcome() == CommandOutcome::Disconnected ? texts::lineLost()
                                                              : texts::noAnswer();
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
    if (parts > 1 && !references.empty() &&
        (status == SendStatus::Failed || status == SendStatus::Unknown)) {
        return texts::partsSent(int(references.size()), parts) + ": " + error;
    }
    return error;
}

std::string SendOutcome::statusLine() const {
    switch (status) {
        case SendStatus::Sent:
            return texts::sentLine(referencesText());
        case SendStatus::Unknown:
            return texts::unknownLine(errorText());
        default:
            return texts::failedLine(errorText());
    }
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
    return sendParts(number, text, options);
}

bool SmsSender::resynchronise(CommandTurn& turn) {
    if (m_promptMayBeOpen) {
        turn.write(std::string(1, kEsc));
    }
    for (int i = 0; i < kSyncTries; ++i) {
        const std::string reply = turn.send(kSyncCommand, kSyncAnswer, m_limits.commandMs);
        const CommandOutcome outcome = turn.lastOutcome();
        if (outcome == CommandOutcome::Disconnected) {
            return false;
        }
        // A phone without echo: its OK is all there is to go by.
        const bool noEcho = outcome == CommandOutcome::TimedOut && !contains(reply, kSyncCommand) &&
                            contains(reply, kOk);
        if (contains(reply, kSyncAnswer) || noEcho) {
            m_inDoubt = m_promptMayBeOpen = false;
            return true;
        }
        // A late error line, or nothing yet: ask again.
    }
    return false;
}

bool SmsSender::synchronised(CommandTurn& turn) {
    return !(m_inDoubt || m_line.answerMayBeLate()) || resynchronise(turn);
}

std::string SmsSender::selectPduMode() {
    CommandTurn turn = m_line.beginTurn();
    if (!turn) {
        return m_line.connected() ? texts::lineBusy() : texts::notConnected();
    }
    if (!synchronised(turn)) {
        return failureReason(turn, {});
    }
    const std::string reply = exchange(turn, "AT+CMGF=0\r", kOk, m_limits.commandMs);
    if (turn.lastOutcome() == CommandOutcome::Completed && contains(reply, kOk)) {
        return {};
    }
    if (turn.lastOutcome() == CommandOutcome::Disconnected) {
        return texts::lineLost();
    }
    m_inDoubt = m_inDoubt || turn.lastOutcome() == CommandOutcome::TimedOut;
    const std::string why = texts::errorReplyText(reply);
    return texts::pduModeRefused() + (why.empty() ? "" : ": " + why);
}

std::string SmsSender::simReady(CommandTurn& turn) {
    for (int attempt = 1;; ++attempt) {
        const std::string pin =
            exchange(turn, "AT+CPIN?\r", kOk, m_limits.simMs,
                     [](const std::string& reply) { return answeredWith(reply, "+CPIN:"); });
        const std::string state = field(pin, "+CPIN:");
        if (state == "READY") {
            return {};
        }
        if (turn.lastOutcome() == CommandOutcome::TimedOut) {
            m_inDoubt = true;
        }
        // Busy while it starts up: it will be ready, the run waits for it.
        if (contains(pin, kSimBusy) && attempt < m_limits.simBusyTries && m_line.connected()) {
            m_line.pause(m_limits.simBusyRetryMs);
            continue;
        }
        return texts::simNotReady(state.empty() ? failureReason(turn, pin) : state);
    }
}

std::string SmsSender::prepare() {
    std::string reason;
    CommandTurn turn = m_line.connected() ? m_line.beginTurn() : CommandTurn();
    if (!turn) {
        reason = m_line.connected() ? texts::lineBusy() : texts::notConnected();
    } else if (!synchronised(turn)) {
        reason = failureReason(turn, {});
    } else {
        reason = simReady(turn);
        if (reason.empty()) {
            const std::string reg =
                exchange(turn, "AT+CREG?\r", kOk, m_limits.commandMs,
                         [](const std::string& reply) { return answeredWith(reply, "+CREG:"); });
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
                    m_inDoubt = m_inDoubt || turn.lastOutcome() == CommandOutcome::TimedOut;
                    reason += " (" + failureReason(turn, reg) + ")";
                }
            }
        }
        turn = CommandTurn();
        if (reason.empty()) {
            reason = selectPduMode();
        }
    }
    m_prepared = reason.empty() ? m_line.connection() : 0;
    return reason;
}

std::string SmsSender::prepareRun() {
    const std::string reason = prepare();
    if (!reason.empty()) {
        m_view.setStatusPanel(1, reason);
    }
    return reason;
}

SendOutcome SmsSender::submit(const std::string& number, const std::u16string& text,
                              const EncodeOptions& options) {
    if (m_prepared == 0 || m_prepared != m_line.connection()) {
        // A new connection since the run was readied: the phone may have been restarted,
        // or another program may have left it in text mode.
        RefreshPause pause(m_view, m_line);
        const std::string reason = prepare();
        if (!reason.empty()) {
            SendOutcome outcome;
            outcome.status = SendStatus::Failed;
            outcome.error = reason;
            outcome.lineLost = !m_line.connected();
            return show(outcome);
        }
    }
    return sendParts(number, text, options);
}

SendOutcome SmsSender::sendParts(const std::string& number, const std::u16string& text,
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
    CommandTurn turn = m_line.beginTurn();
    if (!turn) {
        outcome.error = noTurn(m_line);
        return false;
    }
    if (!synchronised(turn)) {
        // Nothing is written into a dialogue whose state is unknown.
        outcome.error = failureReason(turn, {});
        return false;
    }
    const std::string command = "AT+CMGS=" + std::to_string(part.TpduLength) + "\r";
    const std::string prompt = exchange(turn, command, kPrompt, m_limits.commandMs);
    if (!contains(prompt, kPrompt) || !texts::errorReplyText(prompt).empty()) {
        // Never write the PDU without its prompt: a phone that is not waiting for it
        // would read it as a command line. ESC closes a prompt that may still come.
        const CommandOutcome how = turn.lastOutcome();
        if (how != CommandOutcome::Disconnected) {
            turn.write(std::string(1, kEsc));
        }
        // The phone answers the ESC, or a prompt comes late: not the next command's.
        m_inDoubt = how == CommandOutcome::TimedOut;
        const std::string why = texts::errorReplyText(prompt);
        outcome.cmsError = texts::cmsErrorCode(prompt);
        outcome.error = !why.empty()                          ? why
                        : how == CommandOutcome::Disconnected ? texts::lineLost()
                                                              : texts::noPrompt();
        return false;
    }
    if (!m_line.connected()) {
        // Gone after the prompt: the PDU was never written.
        outcome.error = texts::lineLost();
        return false;
    }
    // Accepted only with "+CMGS: n": a bare OK may belong to an earlier command.
    const std::string reply =
        exchange(turn, part.Pdu + kCtrlZ, kOk, m_limits.submitMs,
                 [](const std::string& r) { return answeredWith(r, "+CMGS:"); });
    outcome.pduWritten = true;
    const std::string why = texts::errorReplyText(reply);
    const int reference = messageReference(reply);
    if (why.empty() && reference >= 0) {
        outcome.references.push_back(reference);
        return true;
    }
    if (!why.empty()) {
        outcome.error = why;  // the phone said no: Failed
        outcome.cmsError = texts::cmsErrorCode(reply);
        return false;
    }
    // Written, and no answer: the network may have the message.
    outcome.status = SendStatus::Unknown;
    outcome.error = failureReason(turn, reply);
    m_inDoubt = m_promptMayBeOpen = true;
    return false;
}

SendOutcome SmsSender::show(SendOutcome outcome) {
    m_view.setStatusPanel(1, outcome.statusLine());
    return outcome;
}

}  // namespace sms
