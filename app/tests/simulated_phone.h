#pragma once
// A simulated phone behind "Com5": the port map file that $TOPLUSMS_PORTS names points
// Com5 at the simulator's pseudo-terminal.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tools/phone-sim/simulator.h"

namespace app {

class SimulatedPhone {
public:
    explicit SimulatedPhone(phonesim::Config config = {}) : sim(std::move(config)) {}
    ~SimulatedPhone() {
        sim.stop();
        std::error_code ignored;
        std::filesystem::remove(m_mapFile, ignored);
    }

    // Starts the phone and maps `comName` ("Com5") to it. False with a test failure when
    // no pseudo-terminal can be had.
    bool start(const std::string& comName = "Com5") {
        std::string error;
        if (!sim.start(&error)) {
            ADD_FAILURE() << "simulator: " << error;
            return false;
        }
        m_mapFile = std::filesystem::temp_directory_path() /
                    ("toplusms-ports-" + std::to_string(::getpid()) + "-" +
                     std::to_string(reinterpret_cast<uintptr_t>(this)) + ".conf");
        std::ofstream(m_mapFile) << comName << "=" << sim.slavePath() << "\n";
        ::setenv("TOPLUSMS_PORTS", m_mapFile.c_str(), 1);
        return true;
    }

    phonesim::Simulator sim;

private:
    std::filesystem::path m_mapFile;
};

}  // namespace app
