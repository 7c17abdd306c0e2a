#pragma once
// A phone line for the sending's tests: every command written is recorded, and a
// script answers it with a reply and the way the wait ended. The default script is a
// phone that accepts everything.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "phone/tests/fake_phone.h"
#include "sms/sms_line.h"

namespace sms::testing {

struct Answer {
    std::string reply;
    LineOutcome outcome = LineOutcome::Completed;
};

class FakeLine : public SmsLine {
public:
    explicit FakeLine(phone::testing::FakeView& view) : m_view(view) {}

    bool connected() const override { return isConnected; }
    std::unique_ptr<LineTurn> beginTurn() override;

    // The default answers: OK to commands, the prompt to AT+CMGS, a reference to a PDU.
    Answer standard(const std::string& command) {
        if (command.starts_with("AT+CPIN?")) {
            return {"\r\n+CPIN: READY\r\n\r\nOK\r\n"};
        }
        if (command.starts_with("AT+CREG?")) {
            return {"\r\n+CREG: 0,1\r\n\r\nOK\r\n"};
        }
        if (command.starts_with("AT+CMGS=")) {
            return {command + "\r\n> "};
        }
        if (!command.empty() && command.back() == '\x1A') {
            return {"\r\n+CMGS: " + std::to_string(nextReference++) + "\r\n\r\nOK\r\n"};
        }
        return {command + "\r\nOK\r\n"};
    }

    // Replaces the default answer where it gives one; null: the default.
    std::function<std::optional<Answer>(const std::string& command)> script;
    bool isConnected = true;
    std::vector<std::string> written;  // commands and writes, in order
    std::vector<bool> refreshWhenWritten;
    int nextReference = 1;
    int turns = 0;

private:
    friend class FakeTurn;
    phone::testing::FakeView& m_view;
};

class FakeTurn : public LineTurn {
public:
    explicit FakeTurn(FakeLine& line) : m_line(line) {}
    std::string send(const std::string& command, const std::string&, int) override {
        if (!m_line.isConnected) {
            m_outcome = LineOutcome::Disconnected;
            return {};
        }
        m_line.written.push_back(command);
        m_line.refreshWhenWritten.push_back(m_line.m_view.refresh);
        std::optional<Answer> a = m_line.script ? m_line.script(command) : std::nullopt;
        const Answer answer = a ? *a : m_line.standard(command);
        m_outcome = answer.outcome;
        if (answer.outcome == LineOutcome::Disconnected) {
            m_line.isConnected = false;
        }
        return answer.reply;
    }
    void write(const std::string& text) override { m_line.written.push_back(text); }
    LineOutcome lastOutcome() const override { return m_outcome; }

private:
    FakeLine& m_line;
    LineOutcome m_outcome = LineOutcome::Completed;
};

inline std::unique_ptr<LineTurn> FakeLine::beginTurn() {
    if (!isConnected) {
        return nullptr;
    }
    ++turns;
    return std::make_unique<FakeTurn>(*this);
}

}  // namespace sms::testing
