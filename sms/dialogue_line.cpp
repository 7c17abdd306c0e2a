#include "sms/dialogue_line.h"

#include "phone/phone_dialogue.h"

namespace sms {
namespace {

LineOutcome lineOutcome(phone::CommandOutcome outcome) {
    switch (outcome) {
        case phone::CommandOutcome::Completed:
            return LineOutcome::Completed;
        case phone::CommandOutcome::Failed:
            return LineOutcome::Failed;
        case phone::CommandOutcome::TimedOut:
            return LineOutcome::TimedOut;
        default:
            return LineOutcome::Disconnected;
    }
}

class DialogueTurn : public LineTurn {
public:
    explicit DialogueTurn(phone::CommandTurn turn) : m_turn(std::move(turn)) {}

    std::string send(const std::string& command, const std::string& completion,
                     int limitMs) override {
        return m_turn.send(command, completion, limitMs);
    }
    void write(const std::string& text) override { m_turn.write(text); }
    LineOutcome lastOutcome() const override { return lineOutcome(m_turn.lastOutcome()); }

private:
    phone::CommandTurn m_turn;
};

}  // namespace

bool DialogueLine::connected() const {
    return m_dialogue.state().IsConnected;
}

std::unique_ptr<LineTurn> DialogueLine::beginTurn() {
    phone::CommandTurn turn = m_dialogue.beginTurn(phone::CommandOrigin::User);
    if (!turn) {
        return nullptr;
    }
    return std::make_unique<DialogueTurn>(std::move(turn));
}

}  // namespace sms
