// The port map as phone-sim leaves it, and the texts it puts on the line.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "tools/phone-sim/modem.h"
#include "tools/phone-sim/port_link.h"

namespace phonesim {
namespace {

namespace fs = std::filesystem;

class PortMapTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("phone-sim-map-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_map = (m_dir / "ports.conf").string();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string read() const {
        std::ifstream in(m_map, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void write(const std::string& text) const { std::ofstream(m_map, std::ios::binary) << text; }

    fs::path m_dir;
    std::string m_map;
};

TEST_F(PortMapTest, TheReplacedLineComesBackOrOursGoes) {
    const struct {
        const char* before;
        const char* during;
    } cases[] = {
        {"# phones\nCom5=/dev/ttyACM0\nCom7=/dev/ttyUSB0\n",
         "# phones\nCom5=/dev/pts/9\nCom7=/dev/ttyUSB0\n"},
        {"Com7=/dev/ttyUSB0\n", "Com7=/dev/ttyUSB0\nCom5=/dev/pts/9\n"},
        {" com5 = /dev/rfcomm0\n", "Com5=/dev/pts/9\n"},
        {"", "Com5=/dev/pts/9\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        write(c.before);
        std::optional<std::string> replaced;
        ASSERT_TRUE(writePortMap(m_map, "Com5", "/dev/pts/9", &replaced));
        EXPECT_EQ(read(), c.during);
        ASSERT_TRUE(restorePortMap(m_map, "Com5", "/dev/pts/9", replaced));
        EXPECT_EQ(read(), c.before);
    }
    // A line someone changed meanwhile is theirs.
    write("Com5=/dev/ttyACM0\n");
    std::optional<std::string> replaced;
    ASSERT_TRUE(writePortMap(m_map, "Com5", "/dev/pts/9", &replaced));
    write("Com5=/dev/ttyACM3\n");
    ASSERT_TRUE(restorePortMap(m_map, "Com5", "/dev/pts/9", replaced));
    EXPECT_EQ(read(), "Com5=/dev/ttyACM3\n");
    // No temporary file left beside the map.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

// The program itself, ended as users end it.
TEST_F(PortMapTest, PhoneSimPutsTheLineBackWhenStopped) {
    const std::string before = "# phones\nCom5=/dev/ttyACM0\n";
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        write(before);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::execl(PHONE_SIM, PHONE_SIM, "--port-map", m_map.c_str(), nullptr);
            ::_exit(127);
        }
        // Up to a minute on a loaded machine; usually at once.
        bool written = false;
        for (int i = 0; i < 600 && !written; ++i) {
            written = read().find("/dev/pts/") != std::string::npos;
            if (!written) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        ::kill(child, sig);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(written) << read();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(read(), before);
    }
}

std::string answer(Modem& modem, const std::string& command) {
    std::string all;
    for (const Chunk& c : modem.receive(command).chunks) {
        all += c.bytes;
    }
    return all;
}

TEST(LineTexts, OperatorAndPhonebookNamesGoOutInCodePage1254) {
    Config config;
    config.operatorName = "Türk Telekom";
    config.phonebooks["SM"].entries = {{1, "+905051234567", 145, "Ayşe Hanım"}};
    config.manufacturer = "Çağrı";
    Modem modem(config);
    EXPECT_NE(answer(modem, "AT+COPS?\r").find("+COPS: 0,0,\"T\xFCrk Telekom\""),
              std::string::npos);
    EXPECT_NE(answer(modem, "AT+CPBR=1\r")
                  .find(",145,\"Ay\xFE"
                        "e Han\xFDm\""),
              std::string::npos);
    EXPECT_NE(answer(modem, "AT+CGMI\r")
                  .find("\r\n\xC7"
                        "a\xF0r\xFD\r\n"),
              std::string::npos);
}

}  // namespace
}  // namespace phonesim
