#pragma once
// A window and a port for the dialogue's tests: the window records what it is shown,
// the port answers written commands with scripted texts delivered as data-available
// events through the message queue, as the serial layer delivers them.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "phone/phone_dialogue.h"
#include "phone/phone_port.h"
#include "phone/phone_view.h"
#include "platform/codepage_1254.h"
#include "platform/plain_message_queue.h"

namespace phone::testing {

// Literal UTF-8 text as the dialogue's 1254 bytes.
inline std::string cp(std::string_view utf8) {
    return platform::cp1254::fromUtf8(utf8);
}

class FakeView : public PhoneView {
public:
    void setLamp(LampColor color) override { lamp = color; }
    void setStatusPanel(int index, const std::string& text) override {
        panels.at(index) = text;
        panelLog.push_back(text);
    }
    void addInfoRow(const std::string& caption, const std::string& value) override {
        infoRows.push_back(caption + "=" + value);
    }
    void clearInfoRows() override { infoRows.clear(); }
    void setSignalGauge(int percent) override { signal = percent; }
    void setBatteryGauge(int percent) override { battery = percent; }
    void setLabel(int number, const std::string& text) override { labels[number] = text; }
    void setConnectCaption(const std::string& text) override { caption = text; }
    void setRefreshEnabled(bool enabled) override { refresh = enabled; }
    void setClearEnabled(bool enabled) override {
        clear = enabled;
        clearStarts += enabled ? 1 : 0;
    }
    int portIndex() const override { return port; }
    std::string portText() const override { return portName; }
    std::string speedText() const override { return speed; }

    LampColor lamp = LampColor::Red;
    std::vector<std::string> panels = {"", "", ""};
    std::vector<std::string> panelLog;
    std::vector<std::string> infoRows;
    int signal = -1;
    int battery = -1;
    std::map<int, std::string> labels;
    std::string caption = cp("Bağlan");
    bool refresh = false;
    bool clear = false;
    int clearStarts = 0;
    int port = 4;
    std::string portName = "Com5";
    std::string speed = "115200";
};

// A phone's answer to `command` (without its CR), echo on: the information lines
// framed as the phone frames them, then OK.
inline std::string reply(const std::string& command, const std::vector<std::string>& lines) {
    std::string text = command + "\r\r\n";
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text + (lines.empty() ? "OK\r\n" : "\r\nOK\r\n");
}

class ScriptedPort : public PhonePort {
public:
    explicit ScriptedPort(platform::PlainMessageQueue& queue) : m_queue(queue) {
        m_handler = m_queue.addHandler([this](const platform::Message& m) {
            // A delivery announces what had arrived when it was made, like the
            // dispatcher's count.
            if (dialogue != nullptr) {
                dialogue->PhoneComPortTriggerAvail(uint16_t(m.wParam));
            }
            return intptr_t(0);
        });
    }
    ~ScriptedPort() override { m_queue.removeHandler(m_handler); }

    // What the phone sends after `command` (as written, CR included), `delayMs` later.
    void answer(const std::string& command, std::string text, int delayMs = 0) {
        answers[command].push_back({delayMs, std::move(text)});
    }
    // Sends `text` now (delayMs 0) or later, unasked.
    void arrive(std::string text, int delayMs = 0) {
        if (delayMs <= 0) {
            deliver(text);
            return;
        }
        auto id = std::make_shared<platform::TimerId>(platform::kNoTimer);
        *id = m_queue.startTimer(delayMs, [this, id, text] {
            m_queue.stopTimer(*id);
            deliver(text);
        });
    }

    // Answers to the identity query of a connect, at once.
    void answerQuery() {
        const std::pair<std::string, std::vector<std::string>> replies[] = {
            {"AT+CGMI", {"MAKER"}},
            {"AT+CGMM", {"PS-100"}},
            {"AT+CGMR", {"1.0.1"}},
            {"AT+CGSN", {"490154203237518"}},
            {"AT+CIMI", {"286011234567890"}},
            {"AT+COPS?", {"+COPS: 0,0,\"NET\""}},
            {"AT^SCID", {"^SCID: 8990011234567890123"}},
            {"AT+CSCA?", {"+CSCA: \"+905320000000\",145"}},
            {"AT+GMM", {"MODEL"}},
            {"AT+GMR", {"REVISION 1"}},
            {"AT+CLIP=1", {}},
            {"AT+CIND=?", {"+CIND: (\"battchg\",(0-5))"}},
            {"AT+CSQ", {"+CSQ: 20,99"}},
            {"AT+CBC", {"+CBC: 0,80"}},
        };
        for (const auto& [command, lines] : replies) {
            answer(command + "\r", reply(command, lines));
        }
    }

    bool probe(int number) override { return ports.count(number) != 0; }
    void setComNumber(uint16_t number) override { comNumber = number; }
    void setBaud(int32_t value) override { baud = value; }
    void setOpen(bool value) override {
        if (value == open) {
            return;
        }
        open = value;
        if (dialogue == nullptr) {
            return;
        }
        if (value) {
            try {
                dialogue->PhoneComPortPortOpen();
            } catch (...) {
                open = false;  // a failed open closes without the close notification
                throw;
            }
        } else {
            // As the component's close: its wait for the workers runs the queue's
            // messages before the close notification.
            m_closing = true;
            if (whileClosing) {
                whileClosing();
            }
            m_closing = false;
            dialogue->PhoneComPortPortClose();
        }
    }
    bool closing() const override { return m_closing; }
    void writeText(const std::string& text) override {
        if (m_closing) {
            return;  // dropped, as the component drops it
        }
        if (!open) {
            throw std::runtime_error("ie_NOpen - device not open");
        }
        written.push_back(text);
        if (auto it = answers.find(text); it != answers.end()) {
            for (const auto& [delay, reply] : it->second) {
                arrive(reply, delay);
            }
        }
    }
    uint8_t readChar() override {
        if (input.empty()) {
            throw std::runtime_error("Buffer is empty");
        }
        const uint8_t c = uint8_t(input.front());
        input.pop_front();
        return c;
    }
    bool waitForText(const std::string& text, int32_t, bool, bool) override {
        waitedFor = text;
        return handshakeAnswered;
    }

    PhoneDialogue* dialogue = nullptr;
    std::map<std::string, std::vector<std::pair<int, std::string>>> answers;
    std::set<int> ports = {5};
    bool handshakeAnswered = true;
    bool open = false;
    int comNumber = 0;
    int baud = 0;
    std::vector<std::string> written;
    std::deque<char> input;
    std::string waitedFor;
    std::function<void()> whileClosing;  // run inside a close, before its notification

private:
    void deliver(const std::string& text) {
        input.insert(input.end(), text.begin(), text.end());
        m_queue.post(m_handler, {1, text.size(), 0});
    }

    platform::PlainMessageQueue& m_queue;
    platform::HandlerId m_handler = platform::kNoHandler;
    bool m_closing = false;
};

}  // namespace phone::testing
