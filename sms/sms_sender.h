#pragma once
// SendSms: one message to one number through the phone, as AT+CMGS turns in PDU mode,
// one turn per part of a long text, and the outcome the phone gave for it.

#include <cstdint>
#include <string>
#include <vector>

#include "sms/message_parts.h"
#include "sms/sms_line.h"

namespace phone {
class PhoneView;
}

namespace sms {

struct SendLimits {
    // Every command but the PDU and AT+CPIN?: the line's own reply limit by default.
    int commandMs = phone::CommandLine::kLineLimit;
    // The network takes seconds to accept a message; the PDU waits this long for its
    // final result.
    int submitMs = 60000;
    // Many SIMs take seconds to answer AT+CPIN? right after power-up, and some say
    // "SIM busy" (+CME ERROR: 14) meanwhile: asked again after simBusyRetryMs, at most
    // simBusyTries times.
    int simMs = 10000;
    int simBusyRetryMs = 1000;
    int simBusyTries = 10;
};

enum class SendStatus {
    Sent,     // the phone accepted every part: "+CMGS: n" for each
    Failed,   // it refused one, or the text cannot be encoded
    NotSent,  // nothing was tried (a bulk run that ended before this recipient)
    Unknown,  // a PDU went out and no final answer came: the network may have taken it
    Skipped,  // the run must not serve this number (it asked not to be texted)
};

struct SendOutcome {
    SendStatus status = SendStatus::NotSent;
    // The references of the accepted parts, in order; -1 where the phone gave none.
    std::vector<int> references;
    int parts = 0;            // parts of the encoded message; 0 when it was not encoded
    std::string error;        // the reason, Windows-1254; empty when sent
    bool lineLost = false;    // the phone went away during the submission
    bool pduWritten = false;  // a PDU went to the phone: the network may have the message
    int cmsError = -1;        // n of the phone's "+CMS ERROR: n"; -1 when it gave none

    // "5 6 7"
    std::string referencesText() const;
    // The reason, with "2/3 parça" in front when some parts of a long message went out.
    std::string errorText() const;
    // "Gönderildi: ref 5", "Gönderilemedi: REASON" or "Belirsiz: REASON".
    std::string statusLine() const;
};

class SmsSender {
public:
    // `view` gets the outcome of each message in panel 1 and switches tiRefresh.
    SmsSender(SmsLine& line, phone::PhoneView& view, SendLimits limits = {});

    // The single send: selects PDU mode, then submits `text` (UTF-16) to `number`
    // (Windows-1254, as typed).
    SendOutcome SendSms(const std::string& number, const std::u16string& text,
                        const EncodeOptions& options = {});

    // Before a bulk run: a connected phone with its SIM ready, registered on a network,
    // in PDU mode. Empty when ready, else the reason (also shown in panel 1).
    std::string prepareRun();
    // One message of a run. The phone is prepared again first whenever the connection
    // is not the one prepareRun() readied (a reconnect during the run); a phone that is
    // then not ready fails the message with the reason, before anything is submitted.
    SendOutcome submit(const std::string& number, const std::u16string& text,
                       const EncodeOptions& options);

    const SendLimits& limits() const { return m_limits; }
    SmsLine& line() { return m_line; }
    phone::PhoneView& view() { return m_view; }

private:
    // Empty when ready, else the reason; remembers the connection it readied.
    std::string prepare();
    // Empty when the SIM says READY, else the reason.
    std::string simReady(phone::CommandTurn& turn);
    // Empty when the phone took AT+CMGF=0, else the reason.
    std::string selectPduMode();
    // Encodes and submits every part; the phone is ready.
    SendOutcome sendParts(const std::string& number, const std::u16string& text,
                          const EncodeOptions& options);
    // One part: AT+CMGS=length, the prompt, the PDU. Fills the part's reference or the
    // reason into `outcome`; false when the part was not accepted.
    bool submitPart(const PduPart& part, SendOutcome& outcome);
    // After a command that did not end with its answer: ESC for a prompt that may be
    // open, then AT until the phone's OK follows its echo. False when it never did.
    bool resynchronise(phone::CommandTurn& turn);
    // At the start of a turn: resynchronises when an answer may still be on its way.
    bool synchronised(phone::CommandTurn& turn);
    SendOutcome show(SendOutcome outcome);

    SmsLine& m_line;
    phone::PhoneView& m_view;
    SendLimits m_limits;
    // The connection prepareRun() or a reconnect's preparation readied; 0: none.
    uint64_t m_prepared = 0;
    // A command of ours ended without its answer: resynchronise before the next
    // submission; with ESC first after an unanswered PDU, as the phone may still be
    // taking one in.
    bool m_inDoubt = false;
    bool m_promptMayBeOpen = false;
};

}  // namespace sms
