#include "phone/command_line.h"

#include <utility>

namespace phone {

CommandTurn::CommandTurn(CommandTurn&& other) noexcept
    : m_line(std::exchange(other.m_line, nullptr)), m_id(other.m_id), m_outcome(other.m_outcome) {}

CommandTurn& CommandTurn::operator=(CommandTurn&& other) noexcept {
    if (this != &other) {
        release();
        m_line = std::exchange(other.m_line, nullptr);
        m_id = other.m_id;
        m_outcome = other.m_outcome;
    }
    return *this;
}

CommandTurn::~CommandTurn() {
    release();
}

void CommandTurn::release() {
    if (m_line != nullptr) {
        std::exchange(m_line, nullptr)->endTurn(m_id);
    }
}

std::string CommandTurn::send(const std::string& command, const std::string& completion,
                              int limitMs) {
    if (m_line == nullptr) {
        return {};
    }
    return m_line->turnSend(m_id, command, completion, limitMs, &m_outcome);
}

void CommandTurn::write(const std::string& text) {
    if (m_line != nullptr) {
        m_line->turnWrite(m_id, text);
    }
}

}  // namespace phone
