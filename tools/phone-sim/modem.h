#pragma once
// The phone's side of the AT dialogue, without any I/O: bytes from the line go in, the
// bytes to send back come out, each with the pause that comes before it. Not thread-safe;
// Simulator serialises the calls.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "tools/phone-sim/config.h"
#include "tools/phone-sim/sms_service.h"

namespace phonesim {

struct Chunk {
    int delayMs = 0;  // pause before these bytes, after the chunk before them
    std::string bytes;
};

struct Response {
    std::vector<Chunk> chunks;
    // Sent this long after now, whatever else is sent meanwhile.
    std::vector<Chunk> outOfTurn;
    bool hangUp = false;  // close the line once the chunks are out
};

class Modem {
public:
    explicit Modem(Config config);

    Response receive(std::string_view bytes);
    // "RING" and, once AT+CLIP=1 has switched it on, the caller's number.
    Response ring(const std::string& number, int type);

    void setSignal(int rssi, int ber);
    void setBattery(int state, int charge);
    void setFaults(const Faults& faults);

    // Collecting a PDU after the prompt.
    bool awaitingPdu() const { return m_pduMode; }
    // Gives up the PDU being collected: nothing is sent and nothing is answered.
    void abandonPdu();
    int promptTimeoutMs() const { return m_config.faults.promptTimeoutMs; }

    const std::vector<std::string>& commands() const { return m_commands; }
    const std::vector<AcceptedMessage>& messages() const { return m_messages; }
    const std::vector<std::string>& refusals() const { return m_refusals; }

    // Reports and incoming messages (modem_sms.cpp). What has come due by `now`, held
    // while the program is typing a PDU; and when that next is.
    Response unsolicited(std::chrono::steady_clock::time_point now);
    std::optional<std::chrono::steady_clock::time_point> nextUnsolicited() const;
    bool receiveSms(const IncomingText& message);  // false: no PDU can carry it
    const std::vector<SmsEvent>& smsEvents() const { return m_sms.events(); }
    std::vector<StoredMessage> storedMessages() const { return m_sms.stored(); }

private:
    struct Answer {
        std::string info;   // information text, framed
        std::string final;  // final result code or prompt, framed
    };

    void endOfLine(Response& out);
    void endOfPdu(Response& out);
    Answer execute(const std::string& body);
    Answer phonebookCommand(const std::string& upper, const std::string& body);
    Answer characterSetCommand(const std::string& upper);
    // A phonebook text in the character set the phone is in.
    std::string inCharacterSet(const std::string& utf8) const;
    void deliver(Response& out, std::string bytes, bool delayed);
    // An answer to a PDU: after the usual delay and the submission's own.
    void deliverAfter(Response& out, const std::string& bytes, int submitDelayMs);
    bool matches(const std::set<std::string>& chosen, const std::string& line) const;
    void refuse(const std::string& why);
    std::string ringText(const std::string& number, int type) const;
    std::string okText() const;  // the final "OK", or "ok" under that fault

    Config m_config;
    bool m_echo = true;
    bool m_clip = false;
    bool m_pduMode = false;         // collecting a PDU after the "> " prompt
    bool m_textMode = false;        // AT+CMGF=1: AT+CMGS takes a number and the text follows
    std::string m_textDestination;  // of the message being typed in text mode
    // Until then the last message is still being submitted.
    std::chrono::steady_clock::time_point m_submittingUntil{};
    int m_declaredLength = 0;  // from AT+CMGS
    bool m_overflow = false;   // the current line or PDU grew past its limit
    std::string m_line;        // command line or PDU being received
    std::string m_echoOut;     // echo not yet handed out
    int m_nextReference = 1;
    int m_answered = 0;  // commands counted for hangUpAfter
    bool m_simBusyAnswered = false;
    bool m_hungUp = false;
    std::string m_characterSet;        // AT+CSCS: "GSM", "IRA" or "UCS2"
    std::set<std::string> m_silenced;  // silentOnceFor commands already left unanswered
    std::vector<std::string> m_commands;
    std::vector<AcceptedMessage> m_messages;
    std::vector<std::string> m_refusals;
    SmsService m_sms;  // after m_config, which it is made from
};

}  // namespace phonesim
