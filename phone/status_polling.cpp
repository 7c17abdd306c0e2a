// Keeping the gauges alive and showing who calls.
#include "phone/FunctionsUnit.h"
#include "phone/phone_dialogue.h"
#include "phone/phone_texts.h"
#include "phone/phone_view.h"
#include "phone/string_list.h"

namespace phone {

void PhoneDialogue::tiRefreshTimer() {
    if (m_state.PhonebookReading) {
        // Like a poll, the read waits for a tick that finds the line free.
        if (m_phonebookReader && !lineBusy()) {
            m_phonebookReader();
        }
        return;
    }
    const char* command = m_state.PollPhase == 0 ? "AT+CSQ\r" : "AT+CBC\r";
    const std::string reply = SendCommand(command, "\r\nOK", CommandOrigin::Poll);
    if (m_lastOutcome == CommandOutcome::Skipped) {
        return;  // the line was busy: the same question on the next tick
    }
    ParseReply(reply);
    m_state.PollPhase = m_state.PollPhase == 0 ? 1 : 0;
}

void PhoneDialogue::showIncomingCall(const std::string& buffer) {
    m_view.setClearEnabled(false);
    m_view.setLabel(2, std::string(texts::kIncomingCall));
    if (buffer.find("+CLIP:") != std::string::npos) {
        ShowCallerNumber(buffer);
    }
    m_view.setClearEnabled(true);
}

void PhoneDialogue::ShowCallerNumber(const std::string& text) {
    StringList fields;
    SplitFields(',', text, fields);
    const int i = fields.indexOf("+CLIP:");
    // The number is the field after the keyword; a line cut off before it writes nothing.
    if (i > 0 && i + 1 < fields.count()) {
        m_view.setLabel(3, std::string(texts::kCallerPrefix) + fields[i + 1]);
    }
}

void PhoneDialogue::tiClearTimer() {
    m_view.setLabel(2, "");
    m_view.setLabel(3, "");
    m_view.setClearEnabled(false);
}

}  // namespace phone
