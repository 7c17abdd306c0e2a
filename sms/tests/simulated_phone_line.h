#pragma once
// The whole line for the sending's tests against the simulated phone: the simulator on a
// pseudo-terminal behind "Com5", the serial port component, the phone dialogue over the
// plain message queue, and a view that records what it is shown.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "phone/phone_dialogue.h"
#include "phone/phone_port.h"
#include "phone/tests/fake_phone.h"
#include "platform/plain_message_queue.h"
#include "serial/com_port.h"
#include "serial/pump.h"
#include "tools/phone-sim/simulator.h"

namespace sms::testing {

class SimulatedPhoneLine {
public:
    explicit SimulatedPhoneLine(phonesim::Config config, int replyLimitMs = 1000)
        : sim(std::move(config)) {
        serial::setMessageQueue(&queue);
        port.SetAutoOpen(false);
        phone::routePortEvents(port, dialogue);
        dialogue.setReplyLimitMs(replyLimitMs);
    }
    ~SimulatedPhoneLine() {
        if (port.Open()) {
            port.SetOpen(false);
        }
        serial::setMessageQueue(nullptr);
        sim.stop();
        std::error_code ignored;
        std::filesystem::remove(m_mapFile, ignored);
    }

    // Starts the phone and connects to it as the connect button does.
    bool connect() {
        std::string error;
        if (!sim.start(&error)) {
            ADD_FAILURE() << "simulator: " << error;
            return false;
        }
        m_mapFile = std::filesystem::temp_directory_path() /
                    ("toplusms-send-" + std::to_string(::getpid()) + ".conf");
        std::ofstream(m_mapFile) << "Com5=" << sim.slavePath() << "\n";
        ::setenv("TOPLUSMS_PORTS", m_mapFile.c_str(), 1);
        dialogue.btnOpenClick();
        EXPECT_TRUE(dialogue.state().IsConnected) << view.panels[1];
        return dialogue.state().IsConnected;
    }
    // "Bağlantıyı Kes", then "Bağlan" at once. A close that waits for an event in
    // delivery completes on the queue, and the open follows it there: the queue runs
    // until the phone is back, at most `limitMs`, as the window's would.
    bool reconnect(int limitMs = 10000) {
        dialogue.btnOpenClick();
        dialogue.btnOpenClick();
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!dialogue.state().IsConnected && std::chrono::steady_clock::now() < end) {
            queue.waitAndPumpOne(10);
        }
        return dialogue.state().IsConnected;
    }

    phonesim::Simulator sim;
    platform::PlainMessageQueue queue;
    phone::testing::FakeView view;
    serial::TComPort port;
    phone::ComPortLink link{port};
    phone::PhoneDialogue dialogue{view, link, queue};
    phone::PhoneDialogue& line = dialogue;

private:
    std::filesystem::path m_mapFile;
};

}  // namespace sms::testing
