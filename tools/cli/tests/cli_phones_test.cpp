// toplusms-cli serving one campaign over three simulated phones: every number served once
// also when a phone goes away, a daily limit per phone, and a killed run resumed.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <thread>

#include "platform/codepage_1254.h"
#include "platform/tests/scratch_folder.h"
#include "store/campaigns.h"
#include "store/database.h"
#include "store/statement.h"
#include "tools/cli/tests/cli_process.h"
#include "tools/phone-sim/simulator.h"

namespace {

using cli::testing::CliRun;
using cli::testing::runCli;
using cli::testing::spawnCli;
using store::RecipientState;

struct CliPhonesTest : ::testing::Test {
    // Three phones, each with its own IMEI, taking `submitMs` per message.
    void startPhones(int count, int submitMs,
                     const std::function<void(int, phonesim::Config&)>& tune = {}) {
        for (int i = 0; i < count; ++i) {
            phonesim::Config config;
            config.imei = "35693803564380" + std::to_string(i);
            config.faults.submitDelayMs = submitMs;
            if (tune) {
                tune(i, config);
            }
            sims.push_back(std::make_unique<phonesim::Simulator>(std::move(config)));
            std::string error;
            ASSERT_TRUE(sims.back()->start(&error)) << error;
        }
    }
    std::string devices() const {
        std::string out;
        for (const auto& s : sims) {
            out += " --device " + s->slavePath();
        }
        return out;
    }
    std::vector<std::string> deviceArgs() const {
        std::vector<std::string> out;
        for (const auto& s : sims) {
            out.insert(out.end(), {"--device", s->slavePath()});
        }
        return out;
    }
    void writeNumbers(int count) {
        std::ofstream out(numbersFile);
        for (int i = 0; i < count; ++i) {
            char n[16];
            std::snprintf(n, sizeof n, "0532%07d", i);
            out << n << "\r\n";
        }
    }
    CliRun bulk(const std::string& extra = {}) {
        return runCli("bulk" + devices() + " --numbers " + numbersFile.string() +
                      " --text Kampanya --pause 0 --db " + db.string() + extra);
    }
    // How many times each number reached a phone, over all of them.
    std::map<std::string, int> texted() const {
        std::map<std::string, int> out;
        for (const auto& s : sims) {
            for (const phonesim::AcceptedMessage& m : s->messages()) {
                ++out[m.pdu.destination];
            }
        }
        return out;
    }
    bool campaignExists() const {
        if (!std::filesystem::exists(db)) {
            return false;
        }
        store::Database reader(db);
        return !store::CampaignStore(reader).campaigns().empty();
    }
    std::vector<store::RecipientRow> rows() {
        store::Database reader(db);
        store::CampaignStore campaigns(reader);
        const std::int64_t id = campaigns.campaigns().at(0).id;
        return campaigns.recipients(id, 0, campaigns.recipientCount(id));
    }

    platform::testing::ScratchFolder m_scratch{"toplusms-cli-phones"};
    const std::filesystem::path db = m_scratch / "toplusms.db";
    const std::filesystem::path numbersFile = m_scratch / "rehber.txt";
    std::vector<std::unique_ptr<phonesim::Simulator>> sims;
};

TEST_F(CliPhonesTest, ThreePhonesServeEveryNumberOnceAndEachLineNamesItsPort) {
    constexpr int kNumbers = 300;
    startPhones(3, 300);
    writeNumbers(kNumbers);
    const CliRun r = bulk();
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const auto times = texted();
    EXPECT_EQ(int(times.size()), kNumbers);
    for (const auto& [number, n] : times) {
        EXPECT_EQ(n, 1) << number;
    }
    std::map<std::string, int> byPort;  // from the printed lines
    for (const auto& s : sims) {
        const std::string port = s->slavePath();
        for (size_t at = r.out.find("\t" + port + "\n"); at != std::string::npos;
             at = r.out.find("\t" + port + "\n", at + 1)) {
            ++byPort[port];
        }
        EXPECT_EQ(byPort[port], int(s->messages().size())) << port;
    }
    EXPECT_NE(r.out.find("\t" + platform::cp1254::toUtf8("G\xF6nderildi: ref ")),
              std::string::npos);
    for (const store::RecipientRow& row : rows()) {
        EXPECT_EQ(row.state, RecipientState::Sent);
        EXPECT_FALSE(row.phoneImei.empty());
    }
}

TEST_F(CliPhonesTest, APhoneThatHangsUpLeavesItsRowsToTheOthers) {
    constexpr int kNumbers = 150;
    startPhones(3, 50, [](int i, phonesim::Config& c) {
        if (i == 1) {
            c.faults.hangUpAfterMessages = 40;
        }
    });
    writeNumbers(kNumbers);
    const CliRun r = bulk();
    EXPECT_EQ(r.exitCode, 1) << r.out;  // one message is uncertain
    EXPECT_EQ(sims[1]->messages().size(), 40u);
    const auto times = texted();
    int unknown = 0;
    for (const store::RecipientRow& row : rows()) {
        SCOPED_TRACE(row.entry);
        const int n = times.count(row.entry) ? times.at(row.entry) : 0;
        if (row.state == RecipientState::Unknown) {
            ++unknown;  // the one in flight when the phone went away
            EXPECT_EQ(row.phoneImei, "356938035643801");
            EXPECT_EQ(n, 0);
        } else {
            EXPECT_EQ(row.state, RecipientState::Sent);
            EXPECT_EQ(n, 1);
        }
    }
    EXPECT_EQ(unknown, 1);
}

TEST_F(CliPhonesTest, APhoneFailingOnTheNetworkThreeTimesInARowLeavesTheRun) {
    constexpr int kNumbers = 60;
    startPhones(2, 20, [](int i, phonesim::Config& c) {
        if (i == 0) {
            c.faults.networkErrorAfter = 5;
        }
    });
    writeNumbers(kNumbers);
    const CliRun r = bulk();
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(sims[0]->messages().size(), 5u);
    EXPECT_EQ(sims[1]->messages().size(), size_t(kNumbers - 5 - 3)) << r.out;
    int failed = 0;
    for (const store::RecipientRow& row : rows()) {
        if (row.state == RecipientState::Failed) {
            ++failed;
            EXPECT_EQ(row.phoneImei, "356938035643800");
            EXPECT_NE(row.error.find("+CMS ERROR: 332"), std::string::npos) << row.error;
        } else {
            EXPECT_EQ(row.state, RecipientState::Sent);
        }
    }
    EXPECT_EQ(failed, 3);
}

TEST_F(CliPhonesTest, ADailyLimitPausesTheRunWithTheRestQueued) {
    startPhones(2, 0);
    writeNumbers(120);
    const CliRun r = bulk(" --daily-limit 50");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find(platform::cp1254::toUtf8("G\xFCnl\xFCk s\xFDn\xFDra ula\xFE\xFDld\xFD")),
              std::string::npos)
        << r.out;
    EXPECT_EQ(sims[0]->messages().size(), 50u);
    EXPECT_EQ(sims[1]->messages().size(), 50u);
    int queued = 0;
    for (const store::RecipientRow& row : rows()) {
        queued += row.state == RecipientState::Queued;
    }
    EXPECT_EQ(queued, 20);
    // The same day, the same phones: the count is kept in the database.
    const CliRun again = runCli("resume" + devices() + " --daily-limit 50 --db " + db.string());
    EXPECT_EQ(sims[0]->messages().size() + sims[1]->messages().size(), 100u) << again.out;
}

// Both phones start at the same message reference, so the same reference comes back from
// each: every report is kept with its own phone's IMEI and pairs with the row that phone
// sent, and --wait-reports stays for the last of them.
TEST_F(CliPhonesTest, EachPhonesReportsPairWithTheRowsItSentThoughTheReferencesOverlap) {
    constexpr int kNumbers = 16;
    startPhones(2, 20, [](int, phonesim::Config& c) {
        c.messaging.reports = phonesim::ReportOutcome::Delivered;
        c.messaging.reportDelayMs = 30;
    });
    writeNumbers(kNumbers);
    const CliRun r = bulk(" --wait-reports 1");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    ASSERT_GT(sims[0]->messages().size(), 0u);
    ASSERT_GT(sims[1]->messages().size(), 0u);
    EXPECT_EQ(sims[0]->messages().front().reference, sims[1]->messages().front().reference);
    int reports = 0;
    for (size_t at = r.out.find("rapor\t"); at != std::string::npos;
         at = r.out.find("rapor\t", at + 1)) {
        EXPECT_EQ(r.out.substr(r.out.find('\n', at) - 14, 14), "\tteslim edildi");
        ++reports;
    }
    EXPECT_EQ(reports, kNumbers) << r.out;
    for (const store::RecipientRow& row : rows()) {
        EXPECT_EQ(row.delivery, store::DeliveryState::Delivered) << row.entry;
    }
    store::Database reader(db);
    store::Statement unpaired(reader.handle(),
                              "SELECT COUNT(*) FROM delivery_report r LEFT JOIN recipient p ON "
                              "p.id = r.part_recipient WHERE p.id IS NULL OR "
                              "p.phone_imei <> r.phone_imei OR r.phone_imei = ''");
    EXPECT_EQ(unpaired.scalar(), 0);
    EXPECT_EQ(store::Statement(reader.handle(), "SELECT COUNT(*) FROM delivery_report").scalar(),
              kNumbers);
}

// A "RET" sent to the second phone while the run goes is on the list before the run
// reaches its sender, who is skipped; the run goes on.
TEST_F(CliPhonesTest, ARetSentToTheSecondPhoneMidRunSkipsItsSender) {
    constexpr int kNumbers = 20;
    phonesim::Simulator* second = nullptr;
    int pdus = 0;
    startPhones(2, 40, [&](int i, phonesim::Config& c) {
        c.messaging.incomingDelayMs = 0;
        if (i == 1) {
            c.onCommand = [&](const std::string& command) {
                if (command.ends_with('\x1A') && ++pdus == 2) {
                    second->receiveSms(
                        {"+90532"
                         "0000017",
                         "RET"});
                }
            };
        }
    });
    second = sims[1].get();
    writeNumbers(kNumbers);
    const CliRun r = bulk();
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("mesaj\t+905320000017\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("05320000017\t" + platform::cp1254::toUtf8("Atland\xFD: Ret listesinde")),
              std::string::npos)
        << r.out;
    const auto times = texted();
    EXPECT_EQ(int(times.size()), kNumbers - 1);
    EXPECT_EQ(times.count("05320000017"), 0u);
}

// --trace and --log over two phones: each port records into files named after it, so
// that neither phone's close writes over the other's record.
TEST_F(CliPhonesTest, EachPhoneTracesIntoFilesOfItsOwn) {
    startPhones(2, 20);
    writeNumbers(6);
    const std::string line = "cd " + m_scratch.path().string() + " && " + TOPLUSMS_CLI +
                             " bulk --trace --log" + devices() + " --numbers " +
                             numbersFile.string() + " --text Kampanya --pause 0 --db " +
                             db.string() + " > /dev/null 2>&1";
    ASSERT_EQ(std::system(line.c_str()), 0);
    const auto slurp = [](const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    for (const auto& sim : sims) {
        const std::string path = sim->slavePath();
        ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
        const std::string stem = "SERIAL-dev-pts-" + path.substr(9);  // the port's own name
        SCOPED_TRACE(stem);
        const std::string trace = slurp(m_scratch / (stem + ".TRC"));
        EXPECT_EQ(trace.rfind("Transmit: \r\nATE1[0D]", 0), 0u) << trace.substr(0, 200);
        EXPECT_NE(trace.find("AT+CMGS="), std::string::npos);
        EXPECT_EQ(slurp(m_scratch / (stem + ".LOG")).rfind("SERIAL v4.06\r\n", 0), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(m_scratch / "SERIAL.TRC"));
}

TEST_F(CliPhonesTest, KilledAndResumedOverThreePhonesNoNumberIsTextedTwice) {
    constexpr int kNumbers = 150;
    constexpr int kKills = 6;
    // A phone gives up a prompt whose program went away.
    startPhones(3, 20, [](int, phonesim::Config& c) { c.faults.promptTimeoutMs = 150; });
    writeNumbers(kNumbers);
    std::vector<std::string> bulkArgs = {"bulk"}, resumeArgs = {"resume"};
    for (const std::string& a : deviceArgs()) {
        bulkArgs.push_back(a);
        resumeArgs.push_back(a);
    }
    bulkArgs.insert(bulkArgs.end(),
                    {"--numbers", numbersFile, "--text", "Kampanya", "--pause", "0", "--db", db});
    resumeArgs.insert(resumeArgs.end(), {"--db", db});
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> moment(300, 900);
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t pid = spawnCli(campaignExists() ? resumeArgs : bulkArgs);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    // On a loaded machine every kill may have come before the campaign was recorded.
    CliRun last;
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (!campaignExists()) {
            last = bulk();
            continue;
        }
        last = runCli("resume" + devices() + " --db " + db.string());
        if (last.out.find("Yarım kalan gönderim yok") != std::string::npos) {
            break;
        }
    }
    EXPECT_NE(last.out.find("Yarım kalan gönderim yok"), std::string::npos) << last.out;
    const auto times = texted();
    for (const store::RecipientRow& row : rows()) {
        SCOPED_TRACE(row.entry);
        const int n = times.count(row.entry) ? times.at(row.entry) : 0;
        EXPECT_LE(n, 1);
        if (row.state == RecipientState::Sent) {
            EXPECT_EQ(n, 1);
        } else {
            EXPECT_EQ(row.state, RecipientState::Unknown);
        }
    }
}

}  // namespace
