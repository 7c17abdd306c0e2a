#include "sms/dialogue_line.h"

#include "phone/phone_dialogue.h"

namespace sms {
namespace {

class DialogueTurn : public LineTurn {
public:
    explicit DialogueTurn(phone::PhoneDialogue& dialogue) : m_dialogue(dialogue) {}

    std::string send(const std::string& command, const std::string& completion,
                     int /*limitMs*/) override {
        std::string reply = m_dialogue.SendCommand(command, completion, phone::CommandOrigin::User);
        switch (m_dialogue.lastOutcome()) {
            case phone::CommandOutcome::Completed:
                m_outcome = LineOutcome::Completed;
                break;
            case phone::CommandOutcome::Failed:
                m_outcome = LineOutcome::Failed;
                break;
            case phone::CommandOutcome::TimedOut:
                m_outcome = LineOutcome::TimedOut;
                break;
            default:
                m_outcome = LineOutcome::Disconnected;
                break;
        }
        return reply;
    }
    void write(const std::string& text) override { send(text, "\r\nOK", 0); }
    LineOutcome lastOutcome() const override { return m_outcome; }

private:
    phone::PhoneDialogue& m_dialogue;
    LineOutcome m_outcome = LineOutcome::Completed;
};

}  // namespace

bool DialogueLine::connected() const {
    return m_dialogue.state().IsConnected;
}

std::unique_ptr<LineTurn> DialogueLine::beginTurn() {
    if (!connected()) {
        return nullptr;
    }
    return std::make_unique<DialogueTurn>(m_dialogue);
}

}  // namespace sms
