// toplusms-cli detect against several simulated phones, a line that answers nothing and a
// port another program holds.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tools/cli/tests/cli_process.h"
#include "tools/phone-sim/simulator.h"

namespace {

using cli::testing::CliRun;
using cli::testing::PortMapInEnvironment;

// stdout is the data: kept apart from the messages.
CliRun runDetect(const std::string& args) {
    return cli::testing::runCliApart(args, ::testing::TempDir() + "cli-detect.err");
}

// A pseudo-terminal whose far end never answers.
struct SilentLine {
    int master = -1;
    std::string path;
    SilentLine() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) {
            path = ::ptsname(master);
        }
    }
    ~SilentLine() {
        if (master >= 0) {
            ::close(master);
        }
    }
};

TEST(CliDetectTest, ListsThePhonesThatAnswerOnce) {
    // Three phones; a silent line; a fourth port of the first phone's modem (same IMEI); a
    // phone another program holds. Every other name points nowhere, so the machine's own
    // ports stay out of it.
    std::vector<std::unique_ptr<phonesim::Simulator>> sims;
    const char* imeis[] = {"490154203237511", "490154203237522", "490154203237533",
                           "490154203237511", "490154203237544"};
    for (const char* imei : imeis) {
        phonesim::Config config;
        config.imei = imei;
        config.model = std::string("PS-") + imei[14];
        sims.push_back(std::make_unique<phonesim::Simulator>(config));
        std::string error;
        ASSERT_TRUE(sims.back()->start(&error)) << error;
    }
    SilentLine silent;
    ASSERT_FALSE(silent.path.empty());
    const std::string map = ::testing::TempDir() + "cli-detect.conf";
    {
        std::ofstream f(map);
        f << "Com3=" << sims[0]->slavePath() << "\n"
          << "Com4=" << silent.path << "\n"
          << "Com7=" << sims[1]->slavePath() << "\n"
          << "Com9=" << sims[2]->slavePath() << "\n"
          << "Com12=" << sims[3]->slavePath() << "\n"
          << "Com20=" << sims[4]->slavePath() << "\n"
          << "Com21=" << sims[1]->slavePath() << "\n";  // a second name for Com7's device
        for (int n = 1; n <= 50; ++n) {
            if (n != 3 && n != 4 && n != 7 && n != 9 && n != 12 && n != 20 && n != 21) {
                f << "Com" << n << "=/nonexistent/tty" << n << "\n";
            }
        }
    }
    const int held = ::open(sims[4]->slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    const PortMapInEnvironment mapped(map);
    const auto start = std::chrono::steady_clock::now();
    const CliRun r = runDetect("detect --baud 19200");
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    ::close(held);
    std::printf("detect over 6 ports (3 phones, 1 silent, 1 second port, 1 held): %lld ms\n",
                static_cast<long long>(ms));

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Com3\t" + sims[0]->slavePath() + "\tPHONESIM\tPS-1\t490154203237511\n" +
                         "Com7\t" + sims[1]->slavePath() + "\tPHONESIM\tPS-2\t490154203237522\n" +
                         "Com9\t" + sims[2]->slavePath() + "\tPHONESIM\tPS-3\t490154203237533\n")
        << r.err;
    EXPECT_NE(r.err.find("Com20 (" + sims[4]->slavePath() +
                         ") başka bir program tarafından kullanılıyor: cli_phone_tests"),
              std::string::npos)
        << r.err;
    // No phone: nothing on stdout, and the exit code says so.
    for (auto& sim : sims) {
        sim->stop();
    }
    const CliRun none = runDetect("detect");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(runDetect("detect --baud fast").exitCode, 2);
}

}  // namespace
