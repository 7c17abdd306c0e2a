#pragma once
// A phone line for the sending's tests: every command written is recorded, and a
// script answers it with a reply and the way the wait ended. The default script is a
// phone that accepts everything.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "phone/command_line.h"
#include "phone/tests/fake_phone.h"

namespace sms::testing {

using phone::CommandOutcome;

struct Answer {
    std::string reply;
    CommandOutcome outcome = CommandOutcome::Completed;
};

class FakeLine : public phone::CommandLine {
public:
    explicit FakeLine(phone::testing::FakeView& view) : m_view(view) {}

    bool connected() const override { return isConnected; }
    uint64_t connection() const override { return isConnected ? connectionNumber : 0; }
    bool answerMayBeLate() const override { return m_late; }
    phone::CommandTurn beginTurn(phone::CommandOrigin = phone::CommandOrigin::User) override {
        if (!isConnected) {
            return phone::CommandTurn(CommandOutcome::Disconnected);
        }
        ++turns;
        return grant(uint64_t(turns));
    }
    void pause(int ms) override { pauses.push_back(ms); }

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
    uint64_t connectionNumber = 1;     // a reconnect: a new number
    std::vector<std::string> written;  // commands and writes, in order
    std::vector<bool> refreshWhenWritten;
    std::map<std::string, int> limitOf;  // the limit each command was last sent with
    std::vector<int> pauses;
    int nextReference = 1;
    int turns = 0;

protected:
    std::string turnSend(uint64_t, const std::string& command, const std::string&, int limitMs,
                         CommandOutcome* outcome) override {
        if (!isConnected) {
            *outcome = CommandOutcome::Disconnected;
            return {};
        }
        written.push_back(command);
        limitOf[command] = limitMs;
        refreshWhenWritten.push_back(m_view.refresh);
        std::optional<Answer> a = script ? script(command) : std::nullopt;
        const Answer answer = a ? *a : standard(command);
        *outcome = answer.outcome;
        m_late = answer.outcome == CommandOutcome::TimedOut;
        if (answer.outcome == CommandOutcome::Disconnected) {
            isConnected = false;
        }
        return answer.reply;
    }
    void turnWrite(uint64_t, const std::string& text) override { written.push_back(text); }
    void endTurn(uint64_t) override {}

private:
    phone::testing::FakeView& m_view;
    bool m_late = false;
};

}  // namespace sms::testing
