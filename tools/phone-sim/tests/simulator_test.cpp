// The simulator as the program sees it: a raw pseudo-terminal, bytes in, bytes out.
#include "tools/phone-sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tools/phone-sim/port_link.h"

namespace phonesim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The far end of the line, opened as a serial port is.
class Line {
public:
    explicit Line(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~Line() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    bool ok() const { return m_fd >= 0; }

    void send(const std::string& s) {
        ASSERT_EQ(::write(m_fd, s.data(), s.size()), static_cast<ssize_t>(s.size()));
    }
    // Whatever comes within `ms`, or until `count` bytes have come.
    std::string read(std::size_t count, int ms) {
        std::string got;
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0) {
                break;
            }
            struct pollfd p = {m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char buf[1024];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0) {
                m_closed = true;
                break;
            }
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
    // Sends `command` and returns what comes back: as many bytes as `expected` has (3 s
    // at most), then anything more within 50 ms, so that surplus bytes show too.
    std::string exchange(const std::string& command, const std::string& expected) {
        send(command);
        std::string got = read(expected.size(), 3000);
        return got + read(SIZE_MAX, 50);
    }
    bool closed() const { return m_closed; }

private:
    int m_fd;
    bool m_closed = false;
};

Config testConfig() {
    Config c;
    c.manufacturer = "MAKER";
    c.model = "MODEL";
    c.revision = "REVISION 1";
    c.imei = "351234567890123";
    c.imsi = "286019876543210";
    c.operatorName = "TR OPERATOR";
    c.simId = "89900112233445566778";
    c.serviceCentre = "+905329990000";
    c.signal = 20;
    c.charge = 80;
    c.callerNumber = "+905551112233";
    c.phonebooks = {
        {"ME", {10, {{1, "+905321234567", 145, "Ali, Veli Bey"}, {2, "02121234567", 129, "Ev"}}}},
        {"SM", {5, {{1, "05059876543", 129, "SIM 1"}}}},
    };
    return c;
}

class SimulatorTest : public ::testing::Test {
protected:
    void startWith(const Config& config) {
        m_sim = std::make_unique<Simulator>(config);
        std::string error;
        ASSERT_TRUE(m_sim->start(&error)) << error;
        m_line = std::make_unique<Line>(m_sim->slavePath());
        ASSERT_TRUE(m_line->ok());
    }
    std::string ask(const std::string& command, const std::string& expected) {
        return m_line->exchange(command, expected);
    }
    std::unique_ptr<Simulator> m_sim;
    std::unique_ptr<Line> m_line;
};

#define EXPECT_ANSWER(command, expected) EXPECT_EQ(ask(command, expected), expected)

TEST_F(SimulatorTest, AnswersEveryCommandWithEchoAndVerboseFraming) {
    startWith(testConfig());
    const std::pair<const char*, const char*> table[] = {
        {"ATE1\r", "ATE1\r\r\nOK\r\n"},
        {"AT+CGMI\r", "AT+CGMI\r\r\nMAKER\r\n\r\nOK\r\n"},
        {"AT+CGMM\r", "AT+CGMM\r\r\nMODEL\r\n\r\nOK\r\n"},
        {"AT+CGMR\r", "AT+CGMR\r\r\nREVISION 1\r\n\r\nOK\r\n"},
        {"AT+CGSN\r", "AT+CGSN\r\r\n351234567890123\r\n\r\nOK\r\n"},
        {"AT+CIMI\r", "AT+CIMI\r\r\n286019876543210\r\n\r\nOK\r\n"},
        {"AT+COPS?\r", "AT+COPS?\r\r\n+COPS: 0,0,\"TR OPERATOR\"\r\n\r\nOK\r\n"},
        {"AT^SCID\r", "AT^SCID\r\r\n^SCID: 89900112233445566778\r\n\r\nOK\r\n"},
        {"AT+CSCA?\r", "AT+CSCA?\r\r\n+CSCA: \"+905329990000\",145\r\n\r\nOK\r\n"},
        {"AT+GMM\r", "AT+GMM\r\r\nMODEL\r\n\r\nOK\r\n"},
        {"AT+GMR\r", "AT+GMR\r\r\nREVISION 1\r\n\r\nOK\r\n"},
        {"AT+CLIP=1\r", "AT+CLIP=1\r\r\nOK\r\n"},
        {"AT+CIND=?\r",
         "AT+CIND=?\r\r\n+CIND: (\"battchg\",(0-5)),(\"signal\",(0-5)),(\"service\",(0,1)),"
         "(\"call\",(0,1)),(\"roam\",(0,1)),(\"smsfull\",(0,1))\r\n\r\nOK\r\n"},
        {"AT+CSQ\r", "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n"},
        {"AT+CBC\r", "AT+CBC\r\r\n+CBC: 0,80\r\n\r\nOK\r\n"},
        {"at+csq\r", "at+csq\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n"},  // names ignore case
        {"AT+FOO\r", "AT+FOO\r\r\nERROR\r\n"},
        {"AT+CGMI?\r", "AT+CGMI?\r\r\nERROR\r\n"},
    };
    for (const auto& [command, expected] : table) {
        EXPECT_ANSWER(command, expected);
    }
    EXPECT_EQ(m_sim->commands().size(), std::size(table));
    EXPECT_EQ(m_sim->commands()[1], "AT+CGMI");
}

TEST_F(SimulatorTest, EchoFollowsAte0AndAte1UnlessTurnedOff) {
    startWith(testConfig());
    EXPECT_ANSWER("ATE0\r", "ATE0\r\r\nOK\r\n");  // echoed: echo was on when it came
    EXPECT_ANSWER("AT+CSQ\r", "\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    EXPECT_ANSWER("ATE1\r", "\r\nOK\r\n");
    EXPECT_ANSWER("AT\r", "AT\r\r\nOK\r\n");

    Faults f;
    f.echoOff = true;
    m_sim->setFaults(f);
    EXPECT_ANSWER("ATE1\r", "\r\nOK\r\n");
    EXPECT_ANSWER("AT+CBC\r", "\r\n+CBC: 0,80\r\n\r\nOK\r\n");
}

TEST_F(SimulatorTest, PhonebooksOfPhoneAndSim) {
    startWith(testConfig());
    EXPECT_ANSWER("AT+CPBS=\"ME\"\r", "AT+CPBS=\"ME\"\r\r\nOK\r\n");
    EXPECT_ANSWER("AT+CPBR=?\r", "AT+CPBR=?\r\r\n+CPBR: (1-10),40,18\r\n\r\nOK\r\n");
    EXPECT_ANSWER("AT+CPBR=1\r",
                  "AT+CPBR=1\r\r\n+CPBR: 1,\"+905321234567\",145,\"Ali, Veli Bey\"\r\n\r\nOK\r\n");
    EXPECT_ANSWER("AT+CPBR=3\r", "AT+CPBR=3\r\r\nOK\r\n");  // empty location
    EXPECT_ANSWER("AT+CPBR=1,3\r",
                  "AT+CPBR=1,3\r\r\n+CPBR: 1,\"+905321234567\",145,\"Ali, Veli Bey\"\r\n"
                  "+CPBR: 2,\"02121234567\",129,\"Ev\"\r\n\r\nOK\r\n");
    EXPECT_ANSWER("AT+CPBR=11\r", "AT+CPBR=11\r\r\nERROR\r\n");  // past the last location
    EXPECT_ANSWER("AT+CPBR=0\r", "AT+CPBR=0\r\r\nERROR\r\n");
    EXPECT_ANSWER("AT+CPBS=\"XX\"\r", "AT+CPBS=\"XX\"\r\r\nERROR\r\n");
    EXPECT_ANSWER("AT+CPBS=\"SM\"\r", "AT+CPBS=\"SM\"\r\r\nOK\r\n");
    EXPECT_ANSWER("AT+CPBS?\r", "AT+CPBS?\r\r\n+CPBS: \"SM\",1,5\r\n\r\nOK\r\n");
    EXPECT_ANSWER("AT+CPBR=1\r",
                  "AT+CPBR=1\r\r\n+CPBR: 1,\"05059876543\",129,\"SIM 1\"\r\n\r\nOK\r\n");
}

TEST_F(SimulatorTest, SubmitsAMessageAfterThePromptAndRecordsIt) {
    startWith(testConfig());
    const std::string pdu = "001100099121436587F90000FF0361F118";
    EXPECT_ANSWER("AT+CMGS=16\r", "AT+CMGS=16\r\r\n> ");
    EXPECT_ANSWER(pdu + "\x1A", pdu + "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    const std::string ucs2 = "0011000A8110325476980008FF0A015E0065006B00650072";
    EXPECT_ANSWER("AT+CMGS=23\r", "AT+CMGS=23\r\r\n> ");
    EXPECT_ANSWER(ucs2 + "\x1A", ucs2 + "\r\n+CMGS: 2\r\n\r\nOK\r\n");

    const auto messages = m_sim->messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].pdu.destination, "+123456789");
    EXPECT_EQ(messages[0].pdu.coding, Coding::Gsm7);
    EXPECT_EQ(messages[0].pdu.text, "abc");
    EXPECT_EQ(messages[0].declaredLength, 16);
    EXPECT_EQ(messages[1].pdu.destination, "0123456789");
    EXPECT_EQ(messages[1].pdu.text,
              "\xC5\x9E"
              "eker");
    EXPECT_EQ(m_sim->commands().back(), ucs2 + "\x1A");
}

// A prompt whose PDU never comes is given up: the next command is a command again.
TEST_F(SimulatorTest, APromptLeftWithoutItsPduIsGivenUp) {
    Config config = testConfig();
    config.faults.promptTimeoutMs = 100;
    startWith(config);
    EXPECT_ANSWER("AT+CMGS=16\r", "AT+CMGS=16\r\r\n> ");
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_ANSWER("AT\r", "AT\r\r\nOK\r\n");
    EXPECT_TRUE(m_sim->messages().empty());
}

TEST_F(SimulatorTest, RefusesWrongLengthMalformedAndChosenNumbers) {
    Config config = testConfig();
    config.faults.refuseNumbers = {"+123456789"};
    startWith(config);
    const std::string abc = "001100099121436587F90000FF0361F118";    // 16 octets
    const std::string other = "0011000A8110325476980000FF0361F118";  // to 0123456789, 16 octets

    EXPECT_ANSWER("AT+CMGS=17\r", "AT+CMGS=17\r\r\n> ");
    EXPECT_ANSWER(abc + "\x1A", abc + "\r\n+CMS ERROR: 304\r\n");  // length does not match
    EXPECT_ANSWER("AT+CMGS=16\r", "AT+CMGS=16\r\r\n> ");
    EXPECT_ANSWER("00110009\x1A", "00110009\r\n+CMS ERROR: 304\r\n");  // malformed
    EXPECT_ANSWER("AT+CMGS=16\r", "AT+CMGS=16\r\r\n> ");
    EXPECT_ANSWER(abc + "\x1A", abc + "\r\n+CMS ERROR: 21\r\n");  // chosen number
    EXPECT_ANSWER("AT+CMGS=17\r", "AT+CMGS=17\r\r\n> ");
    EXPECT_ANSWER(other.substr(0, 10) + "\x1B", other.substr(0, 10) + "\r\nOK\r\n");  // ESC
    EXPECT_ANSWER("AT+CMGS=0\r", "AT+CMGS=0\r\r\n+CMS ERROR: 304\r\n");
    EXPECT_ANSWER("AT+CMGS=x\r", "AT+CMGS=x\r\r\nERROR\r\n");
    // After all that the phone is back in command mode and still sends.
    EXPECT_ANSWER("AT+CMGS=16\r", "AT+CMGS=16\r\r\n> ");
    EXPECT_ANSWER(other + "\x1A", other + "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    ASSERT_EQ(m_sim->messages().size(), 1u);
    EXPECT_EQ(m_sim->messages()[0].pdu.destination, "0123456789");
    EXPECT_EQ(m_sim->refusals().size(), 4u);
}

TEST_F(SimulatorTest, ScriptedFaults) {
    Config config = testConfig();
    config.faults.lowerCaseOk = true;
    config.faults.errorFor = {"AT^SCID"};
    config.faults.silentFor = {"at+cbc"};
    config.faults.pieceSize = 3;
    config.faults.pieceGapMs = 5;
    startWith(config);
    EXPECT_ANSWER("ATE1\r", "ATE1\r\r\nok\r\n");
    EXPECT_ANSWER("AT^SCID\r", "AT^SCID\r\r\nERROR\r\n");
    EXPECT_ANSWER("AT+CBC\r", "AT+CBC\r");  // the echo and nothing more
    EXPECT_ANSWER("AT+CSQ\r", "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nok\r\n");  // in pieces, whole

    Faults slow;
    slow.delayMs = 300;
    m_sim->setFaults(slow);
    m_line->send("AT\r");
    const auto start = Clock::now();
    EXPECT_EQ(m_line->read(3, 3000), "AT\r");
    EXPECT_EQ(m_line->read(6, 3000), "\r\nOK\r\n");
    EXPECT_GE(Clock::now() - start, 250ms);  // lower bound only: a slow machine is later still
}

TEST_F(SimulatorTest, RingsWithCallerNumberAlsoInsideAReply) {
    Config config = testConfig();
    config.faults.ringDuring = {"AT+CSQ"};
    startWith(config);
    m_sim->ring();
    EXPECT_EQ(m_line->read(8, 3000), "\r\nRING\r\n");  // no number before AT+CLIP=1
    EXPECT_ANSWER("AT+CLIP=1\r", "AT+CLIP=1\r\r\nOK\r\n");
    m_sim->ring("05321112233", 129);
    const std::string ring = "\r\nRING\r\n\r\n+CLIP: \"05321112233\",129\r\n";
    EXPECT_EQ(m_line->read(ring.size(), 3000), ring);
    EXPECT_ANSWER("AT+CSQ\r",
                  "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nRING\r\n\r\n+CLIP: \"+905551112233\",145\r\n"
                  "\r\nOK\r\n");
}

TEST_F(SimulatorTest, ValuesChangeAtRunTimeAndTheLineSurvivesReopening) {
    startWith(testConfig());
    m_sim->setSignal(31);
    m_sim->setBattery(55, 1);
    EXPECT_ANSWER("AT+CSQ\r", "AT+CSQ\r\r\n+CSQ: 31,99\r\n\r\nOK\r\n");
    m_line.reset();                                       // the program disconnects ...
    m_line = std::make_unique<Line>(m_sim->slavePath());  // ... and connects again
    ASSERT_TRUE(m_line->ok());
    EXPECT_ANSWER("AT+CBC\r", "AT+CBC\r\r\n+CBC: 1,55\r\n\r\nOK\r\n");
}

TEST_F(SimulatorTest, HangUpLooksLikeAnUnpluggedPhone) {
    Config config = testConfig();
    config.faults.hangUpAfter = 2;
    startWith(config);
    EXPECT_ANSWER("AT\r", "AT\r\r\nOK\r\n");
    EXPECT_ANSWER("AT+CSQ\r", "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n");  // answered, then gone
    m_line->read(1, 3000);
    EXPECT_TRUE(m_line->closed());
    EXPECT_TRUE(m_sim->hungUp());
    EXPECT_NE(::access(m_sim->slavePath().c_str(), F_OK), 0);

    // hangUp() on request, in the middle of nothing.
    startWith(testConfig());
    m_sim->hangUp();
    m_line->read(1, 3000);
    EXPECT_TRUE(m_line->closed());
}

TEST(PortMap, SetsItsLineAndKeepsTheOthers) {
    char dir[] = "/tmp/phonesim-test-XXXXXX";
    ASSERT_TRUE(::mkdtemp(dir));
    // A fresh configuration folder is made on the way.
    ASSERT_TRUE(writePortMap(std::string(dir) + "/new/ports.conf", "Com5", "/dev/pts/9"));
    std::remove((std::string(dir) + "/new/ports.conf").c_str());
    ::rmdir((std::string(dir) + "/new").c_str());
    const std::string file = std::string(dir) + "/ports.conf";
    std::ofstream(file) << "Com1=/dev/ttyUSB3\ncom5 = /dev/old\n# note\n";
    ASSERT_TRUE(writePortMap(file, "Com5", "/dev/pts/9"));
    std::stringstream content;
    content << std::ifstream(file).rdbuf();
    // In the old line's place, so that putting the old line back restores the file.
    EXPECT_EQ(content.str(), "Com1=/dev/ttyUSB3\nCom5=/dev/pts/9\n# note\n");

    const std::string link = std::string(dir) + "/phone";
    std::string error;
    EXPECT_TRUE(makeLink(link, "/dev/pts/9", &error)) << error;
    EXPECT_TRUE(makeLink(link, "/dev/pts/10", &error)) << error;  // a link is replaced
    EXPECT_FALSE(makeLink(file, "/dev/pts/9", &error));           // a file is not
    removeLinkIfOurs(link, "/dev/pts/10");
    EXPECT_NE(::access(link.c_str(), F_OK), 0);
    std::remove(file.c_str());
    ::rmdir(dir);
}

}  // namespace
}  // namespace phonesim
