// The phone subcommands of toplusms-cli against the simulated phone.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "tools/cli/tests/cli_process.h"
#include "tools/phone-sim/simulator.h"

namespace {

using cli::testing::CliRun;
using cli::testing::PortMapInEnvironment;
using cli::testing::runCli;

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

TEST_F(CliPhoneTest, TraceAndLogAreWrittenInTheWorkingFolder) {
    start();
    char tmpl[] = "/tmp/toplusms-cli-trace-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const std::string line = "cd " + dir + " && " + TOPLUSMS_CLI + " at --trace --log " + device() +
                             " AT+CGMI > /dev/null 2>&1";
    ASSERT_EQ(std::system(line.c_str()), 0);
    auto slurp = [](const std::string& path) {
        std::string s;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
                s.append(buf, n);
            }
            std::fclose(f);
        }
        return s;
    };
    const std::string trace = slurp(dir + "/SERIAL.TRC");
    EXPECT_EQ(trace.rfind("Transmit: \r\nATE1[0D]", 0), 0u) << trace;
    EXPECT_NE(trace.find("AT+CGMI[0D]"), std::string::npos) << trace;
    EXPECT_NE(trace.find("Receive: \r\n"), std::string::npos) << trace;
    const std::string log = slurp(dir + "/SERIAL.LOG");
    EXPECT_EQ(log.rfind("SERIAL v4.06\r\n", 0), 0u) << log;
    EXPECT_NE(log.find("WriteCom"), std::string::npos);
    ASSERT_EQ(std::system(("rm -rf " + dir).c_str()), 0);
}

TEST_F(CliPhoneTest, PhonebookPrintsTheNumbers) {
    phonesim::Config config;
    config.phonebooks = {
        {"ME", {6, {{1, "+905321112233", 145, "Ali, Veli"}, {3, "905337778899", 145, "Mehmet"}}}},
        {"SM", {5, {}}},
    };
    start(config);
    CliRun r = runCli("phonebook " + device() + " me");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("\n+905321112233\n+905337778899\n"), std::string::npos) << r.out;
    r = runCli("phonebook " + device() + " SM");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.find("+90"), std::string::npos) << r.out;

    phonesim::Config refusing = config;
    refusing.faults.errorFor = {"AT+CPBR=?"};
    start(refusing);
    r = runCli("phonebook " + device() + " ME");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("Telefon rehberi okunamadı"), std::string::npos) << r.out;

    EXPECT_EQ(runCli("phonebook " + device()).exitCode, 2);
    EXPECT_EQ(runCli("phonebook " + device() + " XX").exitCode, 2);
}

// Arguments go to the phone in code page 1254; a PDU ending in Ctrl-Z goes without the
// CR that would otherwise reach the phone as an empty line before the next command.
TEST_F(CliPhoneTest, AtSpeaksCodePage1254AndSendsAPduWithoutCr) {
    start();
    const CliRun pdu = runCli("pdu +905321112233 abc");
    ASSERT_EQ(pdu.exitCode, 0) << pdu.out;
    const std::string hex = pdu.out.substr(0, pdu.out.find('\n'));
    const std::string length =
        pdu.out.substr(hex.size() + 1, pdu.out.find('\n', hex.size() + 1) - hex.size() - 1);
    const CliRun r = runCli("at " + device() + " AT+CMGS=" + length + " \"$(printf '" + hex +
                            "\\032')\" AT 'AT+CPBS=\"Şirket\"'");
    EXPECT_NE(r.out.find("+CMGS: 1\\r\\n\\r\\nOK"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nAT\\r\\r\\nOK\\r\\n\n"), std::string::npos) << r.out;
    ASSERT_EQ(sim->messages().size(), 1u);
    EXPECT_EQ(sim->messages()[0].pdu.text, "abc");
    const std::vector<std::string> commands = sim->commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "AT+CPBS=\"\xDEirket\""), commands.end());
}

TEST(CliPortsTest, ListsTheMappedDevice) {
    phonesim::Simulator sim;
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    const std::string map = ::testing::TempDir() + "cli-ports.conf";
    FILE* f = std::fopen(map.c_str(), "w");
    ASSERT_NE(f, nullptr);
    // Map lines naming a regular file and a folder: not usable, never a crash.
    std::fprintf(f, "Com40=%s\nCom41=/nonexistent/tty\nCom42=%s\nCom43=%s\n",
                 sim.slavePath().c_str(), map.c_str(), ::testing::TempDir().c_str());
    std::fclose(f);
    const CliRun r = runCli("ports");  // the environment below is the child's
    const CliRun mapped = [&] {
        const PortMapInEnvironment inEnvironment(map);
        return runCli("ports");
    }();
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
    EXPECT_NE(line("Com42").find("not usable"), std::string::npos) << line("Com42");
    EXPECT_NE(line("Com43").find("not usable"), std::string::npos) << line("Com43");

    // Held by another program: still there, but in use.
    const int held = ::open(sim.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    std::optional<PortMapInEnvironment> inEnvironment(map);
    const CliRun busy = runCli("ports");
    // Connecting says who holds it; a map line naming a file says it is no port.
    const CliRun refused = runCli("connect Com40");
    const CliRun notPort = runCli("connect Com42");
    inEnvironment.reset();
    ::close(held);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(
        refused.out.find("panel 1: Com40 (" + sim.slavePath() +
                         ") başka bir program tarafından kullanılıyor: cli_phone_tests (pid " +
                         std::to_string(::getpid()) + ")"),
        std::string::npos)
        << refused.out;
    EXPECT_EQ(notPort.exitCode, 1);
    EXPECT_NE(notPort.out.find("panel 1: Com42 (" + map + ") bir seri port değil, kullanılamaz"),
              std::string::npos)
        << notPort.out;
    const size_t at = busy.out.find("Com40");
    ASSERT_NE(at, std::string::npos) << busy.out;
    EXPECT_NE(busy.out.substr(at, busy.out.find('\n', at) - at).find("in use"), std::string::npos)
        << busy.out;
}

TEST_F(CliPhoneTest, SendPrintsTheOutcomeAndExitsWithIt) {
    phonesim::Config config;
    config.faults.refuseNumbers = {"+905550000000"};
    start(config);
    CliRun r = runCli("send " + device() + " +905321112233 'Merhaba dünya'");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "Gönderildi: ref 1\n");
    ASSERT_EQ(sim->messages().size(), 1u);
    EXPECT_EQ(sim->messages()[0].pdu.text, "Merhaba dünya");

    r = runCli("send " + device() + " +905550000000 x");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(r.out, "Gönderilemedi: Kısa mesaj aktarımı reddedildi (+CMS ERROR: 21)\n");
    EXPECT_EQ(runCli("send " + device() + " +905321112233").exitCode, 2);
}

TEST_F(CliPhoneTest, BulkServesANumbersFile) {
    phonesim::Config config;
    config.faults.refuseNumbers = {"05550000000"};
    start(config);
    const std::string dir = ::testing::TempDir();
    const std::string numbers = dir + "/cli-bulk-numbers.txt";
    const std::string results = dir + "/cli-bulk-results.csv";
    const std::string dbFolder = dir + "/cli-bulk-db";
    std::filesystem::remove_all(dbFolder);
    std::filesystem::create_directories(dbFolder);
    const std::string db = " --db " + dbFolder + "/toplusms.db";
    std::FILE* f = std::fopen(numbers.c_str(), "wb");
    std::fputs("05321112233\r\n\r\n05550000000\r\n05321112234\r\n", f);
    std::fclose(f);

    CliRun r = runCli("bulk " + device() + " --numbers " + numbers +
                      " --text Selam --pause 0 --results " + results + db);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(r.out,
              "Gönderim 1\n"
              "05321112233\tGönderildi: ref 1\n"
              "\tGönderilemedi: Error encoding PDU\n"
              "05550000000\tGönderilemedi: Kısa mesaj aktarımı reddedildi (+CMS ERROR: 21)\n"
              "05321112234\tGönderildi: ref 2\n"
              "2 gönderildi, 2 başarısız\n");
    std::FILE* csv = std::fopen(results.c_str(), "rb");
    ASSERT_NE(csv, nullptr);
    char head[64] = {};
    ASSERT_NE(std::fgets(head, sizeof head, csv), nullptr);
    std::fclose(csv);
    EXPECT_STREQ(head, "\xEF\xBB\xBFnumara;zaman;sonuç;referanslar;hata\r\n");

    f = std::fopen(numbers.c_str(), "wb");
    std::fputs("05321112233\n", f);
    std::fclose(f);
    r = runCli("bulk " + device() + " --numbers " + numbers + " --text Selam --pause 0" + db);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "Gönderim 2\n05321112233\tGönderildi: ref 3\n1 gönderildi, 0 başarısız\n");
    EXPECT_EQ(runCli("bulk " + device() + " --numbers " + numbers).exitCode, 2);
    std::remove(numbers.c_str());
    std::remove(results.c_str());
    std::filesystem::remove_all(dbFolder);
}

}  // namespace
