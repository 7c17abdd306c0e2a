#pragma once
// The phone dialogue as the line of the sending: a turn is a user's turn of the
// dialogue, which waits for the turn holding the line to end.

#include "sms/sms_line.h"

namespace phone {
class PhoneDialogue;
}

namespace sms {

class DialogueLine : public SmsLine {
public:
    explicit DialogueLine(phone::PhoneDialogue& dialogue) : m_dialogue(dialogue) {}

    bool connected() const override;
    std::unique_ptr<LineTurn> beginTurn() override;

private:
    phone::PhoneDialogue& m_dialogue;
};

}  // namespace sms
