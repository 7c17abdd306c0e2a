#include "phone/phone_dialogue.h"

#include <chrono>
#include <thread>

#include "phone/phone_port.h"
#include "phone/phone_texts.h"
#include "phone/phone_view.h"
#include "phone/str_to_int.h"
#include "platform/clock.h"
#include "platform/message_queue.h"

namespace phone {

namespace {

constexpr std::string_view kRing = "RING";
constexpr std::string_view kErrorLine = "\r\nERROR";
constexpr int32_t kHandshakeTicks = 10;

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// Whether the millisecond clock has passed `deadline`, across its wrap.
bool after(uint32_t now, uint32_t deadline) {
    return int32_t(now - deadline) > 0;
}

}  // namespace

// One command from the moment it is written until its wait ends.
struct PhoneDialogue::Exchange {
    std::string command;
    uint32_t deadline = 0;
    bool settled = false;
    CommandOutcome outcome = CommandOutcome::Completed;
    std::string reply;  // the receive buffer when the wait ended
};

PhoneDialogue::PhoneDialogue(PhoneView& view, PhonePort& port, platform::MessageQueue& queue)
    : m_view(view), m_port(port), m_queue(queue) {}

PhoneDialogue::~PhoneDialogue() = default;

bool PhoneDialogue::commandWaiting() const {
    return m_active != nullptr && !m_active->settled;
}

void PhoneDialogue::settleActive() {
    Exchange* e = m_active;
    if (e == nullptr || e->settled) {
        return;
    }
    if (m_state.ReplyFailed) {
        m_state.ReplyFailed = false;
        m_view.setStatusPanel(1, e->command + std::string(texts::kNotSupported));
        e->outcome = CommandOutcome::Failed;
    } else if (m_state.ReplyDone) {
        e->outcome = CommandOutcome::Completed;
    } else if (!m_state.IsConnected) {
        // The port has closed: nothing more can arrive.
        e->outcome = CommandOutcome::Disconnected;
    } else if (after(platform::ClockMs(), e->deadline)) {
        m_view.setStatusPanel(1, std::string(texts::kTimedOut));
        e->outcome = CommandOutcome::TimedOut;
    } else {
        return;
    }
    e->reply = m_state.ReceiveBuffer;
    e->settled = true;
}

void PhoneDialogue::waitUntil(const std::function<bool()>& done) {
    for (;;) {
        m_queue.pumpAll();
        settleActive();
        if (done()) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string PhoneDialogue::SendCommand(const std::string& command, const std::string& completion,
                                       CommandOrigin origin) {
    if (!m_state.IsConnected) {
        m_lastOutcome = CommandOutcome::Disconnected;
        return {};
    }
    if (commandWaiting()) {
        // Started from a tick or a click inside another command's wait. Taking over the
        // line now would hand that command our reply.
        if (origin == CommandOrigin::Poll) {
            m_lastOutcome = CommandOutcome::Skipped;
            return {};
        }
        waitUntil([this] { return !commandWaiting(); });
        if (!m_state.IsConnected) {
            m_lastOutcome = CommandOutcome::Disconnected;
            return {};
        }
    }

    m_view.setLamp(LampColor::Green);
    Exchange e;
    e.command = command;
    m_state.ExpectedReply = completion;
    m_state.ReceiveBuffer.clear();
    m_state.ReplyDone = false;
    // A failure left over from a command that had already timed out belongs to that one.
    m_state.ReplyFailed = false;

    struct Active {
        Exchange*& slot;
        Exchange* mine;
        ~Active() {
            if (slot == mine) {
                slot = nullptr;
            }
        }
    } active{m_active, &e};
    m_active = &e;

    m_port.writeText(command);
    e.deadline = platform::ClockMs() + kReplyLimitMs;
    waitUntil([&e] { return e.settled; });
    m_lastOutcome = e.outcome;
    if (e.outcome == CommandOutcome::TimedOut && m_state.IsConnected &&
        !m_port.probe(m_portNumber)) {
        // The device itself has gone (an unplugged phone, a closed line): the port layer
        // does not say so, and every further command would only run into the limit.
        m_port.setOpen(false);
    }
    return e.reply;
}

void PhoneDialogue::PhoneComPortTriggerAvail(uint16_t Count) {
    for (uint16_t i = 0; i < Count; ++i) {
        m_state.ReceiveBuffer.push_back(char(m_port.readChar()));
    }
    if (contains(m_state.ReceiveBuffer, kRing)) {
        m_state.ReplyDone = true;
        showIncomingCall(m_state.ReceiveBuffer);
    }
    if (!m_state.ReplyDone && contains(m_state.ReceiveBuffer, kErrorLine)) {
        m_state.ReplyFailed = true;
        m_state.ReplyDone = true;
    }
    if (!m_state.ReplyDone && !m_state.ExpectedReply.empty() &&
        contains(m_state.ReceiveBuffer, m_state.ExpectedReply)) {
        m_state.ReplyDone = true;
    }
}

void PhoneDialogue::btnOpenClick() {
    if (m_state.IsConnected) {
        m_port.setOpen(false);
        m_view.clearInfoRows();
    } else {
        OpenPhonePort();
    }
}

void PhoneDialogue::OpenPhonePort() {
    // No selected item (-1) gives port 0, which never exists.
    const int number = m_view.portIndex() + 1;
    if (number > 0 && number <= 0xFFFF && m_port.probe(number)) {
        m_port.setComNumber(uint16_t(number));
        m_portNumber = number;
        m_port.setBaud(StrToInt(m_view.speedText()));
        m_port.setOpen(true);
    } else {
        m_view.setStatusPanel(1, std::string(texts::kNoPort));
    }
}

void PhoneDialogue::PhoneComPortPortOpen() {
    m_port.writeText("ATE1\r");
    if (!m_port.waitForText("OK", kHandshakeTicks, false, false)) {
        m_view.setStatusPanel(1, std::string(texts::kNoAnswer));
        m_port.setOpen(false);
        return;
    }
    m_state.IsConnected = true;
    m_view.setStatusPanel(0, std::string(texts::kConnectedPrefix) + m_view.portText());
    m_view.setConnectCaption(std::string(texts::kDisconnectCaption));
    try {
        QueryDeviceInfo();
    } catch (...) {
        // The failed handler makes the port layer close the port without its close
        // notification; put the window in the state that matches.
        PhoneComPortPortClose();
        throw;
    }
    // A disconnect clicked while the query waited has already closed the port.
    if (m_state.IsConnected) {
        m_view.setRefreshEnabled(true);
    }
}

void PhoneDialogue::PhoneComPortPortClose() {
    m_state.IsConnected = false;
    m_view.setRefreshEnabled(false);
    m_view.setConnectCaption(std::string(texts::kConnectCaption));
    m_view.setSignalGauge(0);
    m_view.setBatteryGauge(0);
    m_view.setStatusPanel(0, std::string(texts::kDisconnected));
}

void PhoneDialogue::waitForPendingCommand(int limitMs) {
    if (!m_state.IsConnected) {
        return;
    }
    const uint32_t deadline = platform::ClockMs() + uint32_t(limitMs);
    waitUntil([&] { return !commandWaiting() || after(platform::ClockMs(), deadline); });
}

void PhoneDialogue::QueryDeviceInfo() {}

void PhoneDialogue::showIncomingCall(const std::string&) {}

}  // namespace phone
