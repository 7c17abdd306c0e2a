#pragma once
// Shared pieces of the serial tests: a port map file that points COM numbers at test
// devices, and the message queue the serial layer pumps.

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/plain_message_queue.h"
#include "serial/pump.h"

namespace serial::testing {

// Time bounds are checked only where the code runs at its own speed: sanitizers slow it
// down many times over, and their runs are about correctness.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kTimed = false;
#else
constexpr bool kTimed = true;
#endif

// Writes "ComN=path" lines to a file of its own and points $TOPLUSMS_PORTS at it.
class PortMap {
public:
    explicit PortMap(const std::map<int, std::string>& ports) {
        static int counter = 0;
        m_file = std::filesystem::temp_directory_path() /
                 ("toplusms-serial-" + std::to_string(::getpid()) + "-" +
                  std::to_string(++counter) + ".conf");
        std::ofstream out(m_file);
        for (const auto& [n, path] : ports) {
            out << "Com" << n << "=" << path << "\n";
        }
        setenv("TOPLUSMS_PORTS", m_file.c_str(), 1);
    }
    ~PortMap() {
        unsetenv("TOPLUSMS_PORTS");
        std::filesystem::remove(m_file);
    }

private:
    std::filesystem::path m_file;
};

// The user-interface thread's queue for the life of a test.
class UiQueue {
public:
    UiQueue() { setMessageQueue(&m_queue); }
    ~UiQueue() { setMessageQueue(nullptr); }
    platform::PlainMessageQueue& queue() { return m_queue; }

private:
    platform::PlainMessageQueue m_queue;
};

}  // namespace serial::testing
