// Reports and incoming messages as the program sees them on the line: in the middle of
// another command's answer, and arriving on their own.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "tools/phone-sim/modem.h"
#include "tools/phone-sim/simulator.h"

namespace phonesim {
namespace {

using Clock = std::chrono::steady_clock;

// "abc" to +905321234567, asking for a status report (TP-SRR), 17 octets.
const std::string kAsking = "0031000C910935123254760000FF0361F118";

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
    // Sends `text`, then reads until `until` has come (3 s at most) and 50 ms more.
    std::string exchange(const std::string& text, const std::string& until) {
        if (::write(m_fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            return "<write failed>";
        }
        std::string got;
        const auto end = Clock::now() + std::chrono::seconds(3);
        auto settled = Clock::time_point::max();
        while (Clock::now() < std::min(end, settled)) {
            struct pollfd p = {m_fd, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0) {
                char buf[1024];
                const ssize_t n = ::read(m_fd, buf, sizeof buf);
                if (n <= 0) {
                    break;
                }
                got.append(buf, static_cast<std::size_t>(n));
            }
            if (settled == Clock::time_point::max() && got.find(until) != std::string::npos) {
                settled = Clock::now() + std::chrono::milliseconds(50);
            }
        }
        return got;
    }

private:
    int m_fd;
};

struct Phone {
    explicit Phone(const Config& config) : sim(config) {
        std::string error;
        started = sim.start(&error);
        line = std::make_unique<Line>(sim.slavePath());
    }
    Simulator sim;
    bool started = false;
    std::unique_ptr<Line> line;
};

TEST(SmsSimulator, ReportAndMessageInsideOtherAnswersLeaveThemWhole) {
    Config config;
    config.messaging.reports = ReportOutcome::Delivered;
    config.messaging.reportDelayMs = 600000;  // only ever inside AT+CMGS
    config.messaging.reportDuring = {"AT+CMGS"};
    config.messaging.incoming = {{"+905551112233", "RET"}};
    config.messaging.incomingDelayMs = 600000;
    config.messaging.incomingDuring = {"AT+CSQ"};
    config.messaging.cnmi = "2,2,0,1,0";
    Phone phone(config);
    ASSERT_TRUE(phone.started && phone.line->ok());
    Line& line = *phone.line;

    EXPECT_EQ(line.exchange("AT+CMGS=17\r", "> "), "AT+CMGS=17\r\r\n> ");
    EXPECT_EQ(line.exchange(kAsking + "\x1A", "OK\r\n"), kAsking + "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    // The first message's report comes between the echo and the prompt of the second.
    const std::string prompt = line.exchange("AT+CMGS=17\r", "> ");
    EXPECT_TRUE(prompt.starts_with("AT+CMGS=17\r\r\n+CDS: 25\r\n07")) << prompt;
    EXPECT_TRUE(prompt.ends_with("\r\n\r\n> ")) << prompt;
    EXPECT_EQ(line.exchange(kAsking + "\x1A", "OK\r\n"), kAsking + "\r\n+CMGS: 2\r\n\r\nOK\r\n");

    const std::string csq = line.exchange("AT+CSQ\r", "OK\r\n");
    EXPECT_TRUE(csq.starts_with("AT+CSQ\r\r\n+CMT: ,")) << csq;
    EXPECT_TRUE(csq.ends_with("\r\n\r\n+CSQ: 20,99\r\n\r\nOK\r\n")) << csq;
    ASSERT_EQ(phone.sim.messages().size(), 2u);
    ASSERT_EQ(phone.sim.smsEvents().size(), 2u);
    EXPECT_EQ(phone.sim.smsEvents()[0].detail, "report #1 to +905321234567, status 0x00");
}

TEST(SmsSimulator, ReportInsideTheWaitAfterAPduIsAnEarlierMessages) {
    Config config;
    config.messaging.reports = ReportOutcome::Delivered;
    config.messaging.reportDelayMs = 600000;
    config.messaging.reportDuring = {"PDU"};
    config.messaging.cnmi = "2,0,0,1,0";
    Modem modem(config);
    auto answer = [&](const std::string& bytes) {
        std::string all;
        for (const Chunk& c : modem.receive(bytes).chunks) {
            all += c.bytes;
        }
        return all;
    };
    modem.receive("AT+CMGS=17\r");
    EXPECT_EQ(answer(kAsking + "\x1A"), kAsking + "\r\n+CMGS: 1\r\n\r\nOK\r\n");  // none yet
    modem.receive("AT+CMGS=17\r");
    const std::string second = answer(kAsking + "\x1A");
    EXPECT_TRUE(second.starts_with(kAsking + "\r\n+CDS: 25\r\n")) << second;
    EXPECT_TRUE(second.ends_with("\r\n\r\n+CMGS: 2\r\n\r\nOK\r\n")) << second;
    ASSERT_EQ(modem.smsEvents().size(), 1u);
    EXPECT_EQ(modem.smsEvents()[0].detail, "report #1 to +905321234567, status 0x00");
}

TEST(SmsSimulator, ReportsAndMessagesArriveOnTheirOwn) {
    Config config;
    config.messaging.reports = ReportOutcome::Delivered;
    config.messaging.reportDelayMs = 50;
    config.messaging.reportRoute = Route::Notified;
    config.messaging.incomingRoute = Route::Notified;
    Phone phone(config);
    ASSERT_TRUE(phone.started && phone.line->ok());
    Line& line = *phone.line;
    EXPECT_EQ(line.exchange("AT+CNMI=2,1,0,2,0\r", "OK\r\n"), "AT+CNMI=2,1,0,2,0\r\r\nOK\r\n");
    EXPECT_EQ(line.exchange("AT+CMGS=17\r", "> "), "AT+CMGS=17\r\r\n> ");
    EXPECT_EQ(line.exchange(kAsking + "\x1A", "+CDSI"),
              kAsking + "\r\n+CMGS: 1\r\n\r\nOK\r\n\r\n+CDSI: \"SM\",1\r\n");
    ASSERT_TRUE(phone.sim.receiveSms({"+905321234567", "Tamam"}));
    EXPECT_EQ(line.exchange("", "+CMTI"), "\r\n+CMTI: \"SM\",2\r\n");
    EXPECT_TRUE(phone.sim.waitForSmsEvents(4, 3000));
    const std::vector<StoredMessage> stored = phone.sim.storedMessages();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_TRUE(stored[0].report);
    EXPECT_FALSE(stored[1].report);
    EXPECT_EQ(stored[1].summary, "message from +905321234567: Tamam");
}

}  // namespace
}  // namespace phonesim
