// The phone subcommands of toplusms-cli against the simulated phone.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "tools/phone-sim/simulator.h"

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;  // stdout and stderr together
};

CliRun runCli(const std::string& args) {
    CliRun r;
    const std::string line = std::string(TOPLUSMS_CLI) + " " + args + " 2>&1";
    FILE* p = ::popen(line.c_str(), "r");
    if (p == nullptr) {
        ADD_FAILURE() << "popen";
        return r;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        r.out.append(buf, n);
    }
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class CliPhoneTest : public ::testing::Test {
protected:
    void start(phonesim::Config config = {}) {
        sim = std::make_unique<phonesim::Simulator>(std::move(config));
        std::string error;
        ASSERT_TRUE(sim->start(&error)) << error;
    }
    std::string device() const { return "--device " + sim->slavePath(); }

    std::unique_ptr<phonesim::Simulator> sim;
};

TEST_F(CliPhoneTest, ConnectPrintsTheStatusTexts) {
    start();
    CliRun r = runCli("connect " + device() + " --baud 115200");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("panel 0: Bağlı: " + sim->slavePath()), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("panel 0: Bağlantısız !"), std::string::npos) << r.out;

    phonesim::Config lower;
    lower.faults.lowerCaseOk = true;
    start(lower);
    r = runCli("connect " + device());
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("panel 1: Telefon yanıt vermiyor !"), std::string::npos) << r.out;

    r = runCli("connect " + device() + " --baud abc");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("'abc' is not a valid integer value"), std::string::npos) << r.out;

    r = runCli("connect Com49");  // not in any map file or band
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("panel 1: Comport Yok!"), std::string::npos) << r.out;

    EXPECT_EQ(runCli("connect").exitCode, 2);
    EXPECT_EQ(runCli("connect Port5").exitCode, 2);
}

TEST_F(CliPhoneTest, AtPrintsEachReply) {
    phonesim::Config config;
    config.faults.errorFor = {"AT^SCID"};
    start(config);
    CliRun r = runCli("at " + device() + " AT+CSQ AT+CGMI");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("AT+CSQ\\r\\r\\n+CSQ: 20,99\\r\\n\\r\\nOK\\r\\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("AT+CGMI\\r\\r\\nPHONESIM\\r\\n\\r\\nOK\\r\\n"), std::string::npos)
        << r.out;

    // An answered ERROR: its status text, the reply, and a failing exit.
    r = runCli("at " + device() + " 'AT^SCID'");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("panel 1: AT^SCID\\rTelefon Tarafından Desteklenmiyor !"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("ERROR"), std::string::npos) << r.out;
}

TEST_F(CliPhoneTest, InfoPrintsTheRowsThenTheGauges) {
    start();
    const CliRun r = runCli("info " + device());
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::string rows =
        "Üretici: PHONESIM\nTip: PS-100\nYazılım Sürümü: 1.0.1\nIMEI: 490154203237518\n"
        "IMSI: 286011234567890\nSağlayan: PHONESIM NET\nKart Numarası: 8990011234567890123\n"
        "Servis Merkezi: +905320000000\nModem: PS-100 - 1.0.1\nSinyal: 65%\nBatarya: 80%\n";
    EXPECT_NE(r.out.find(rows), std::string::npos) << r.out;

    phonesim::Config lower;
    lower.faults.lowerCaseOk = true;
    start(lower);
    EXPECT_EQ(runCli("info " + device()).exitCode, 1);
    EXPECT_EQ(runCli("info").exitCode, 2);
}

// A ring while watching; the end of the time asked for ends the watch with 0.
TEST_F(CliPhoneTest, WatchPrintsWhatChanges) {
    start();
    CliRun r;
    std::thread watcher([&] { r = runCli("watch " + device() + " --seconds 2"); });
    // ATE1 and the fourteen commands of the query; then the caller identification is on.
    const bool connected = sim->waitForCommands(15, 5000);
    sim->ring("+905551112233", 145);
    watcher.join();
    ASSERT_TRUE(connected) << r.out;
    EXPECT_EQ(r.exitCode, 0) << r.out;
    for (const char* line : {" panel 0: Bağlı: ", " Sinyal: 65%\n", " Batarya: 80%\n",
                             " Gelen Çağrı! Telefon Numarası: +905551112233\n"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    }
    // Every line starts with the milliseconds since the start.
    EXPECT_TRUE(r.out.size() > 0 && r.out[0] >= '0' && r.out[0] <= '9') << r.out;

    EXPECT_EQ(runCli("watch " + device() + " --seconds x").exitCode, 2);
    EXPECT_EQ(runCli("watch --device /nonexistent/tty --seconds 1").exitCode, 1);
}

TEST(CliPortsTest, ListsTheMappedDevice) {
    phonesim::Simulator sim;
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    const std::string map = ::testing::TempDir() + "cli-ports.conf";
    FILE* f = std::fopen(map.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "Com40=%s\nCom41=/nonexistent/tty\n", sim.slavePath().c_str());
    std::fclose(f);
    const CliRun r = runCli("ports");  // the environment below is the child's
    ::setenv("TOPLUSMS_PORTS", map.c_str(), 1);
    const CliRun mapped = runCli("ports");
    ::unsetenv("TOPLUSMS_PORTS");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(mapped.out.find("Com40  " + sim.slavePath()), std::string::npos) << mapped.out;
    EXPECT_NE(mapped.out.find("Com41  /nonexistent/tty"), std::string::npos) << mapped.out;
    const auto line = [&](const std::string& start) {
        const size_t at = mapped.out.find(start);
        return at == std::string::npos ? std::string()
                                       : mapped.out.substr(at, mapped.out.find('\n', at) - at);
    };
    EXPECT_NE(line("Com40").find("present"), std::string::npos) << line("Com40");
    EXPECT_NE(line("Com41").find("missing"), std::string::npos) << line("Com41");
    EXPECT_NE(line("Com50").find("missing"), std::string::npos) << line("Com50");

    // Held by another program: still there, but in use.
    const int held = ::open(sim.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    ::setenv("TOPLUSMS_PORTS", map.c_str(), 1);
    const CliRun busy = runCli("ports");
    ::unsetenv("TOPLUSMS_PORTS");
    ::close(held);
    const size_t at = busy.out.find("Com40");
    ASSERT_NE(at, std::string::npos) << busy.out;
    EXPECT_NE(busy.out.substr(at, busy.out.find('\n', at) - at).find("in use"), std::string::npos)
        << busy.out;
}

}  // namespace
