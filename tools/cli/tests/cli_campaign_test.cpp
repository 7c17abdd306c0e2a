// toplusms-cli over the campaign database, against the simulated phone: a run killed at
// random moments and resumed never texts a number twice; what only reads works while
// another program sends.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/tests/scratch_folder.h"
#include "store/campaigns.h"
#include "store/database.h"
#include "tools/cli/tests/cli_process.h"
#include "tools/phone-sim/simulator.h"

namespace {

using store::RecipientState;

using cli::testing::CliRun;
using cli::testing::runCli;
using cli::testing::spawnCli;

struct CliCampaignTest : ::testing::Test {
    void start(phonesim::Config config) {
        sim = std::make_unique<phonesim::Simulator>(std::move(config));
        std::string error;
        ASSERT_TRUE(sim->start(&error)) << error;
    }
    std::string writeNumbers(int count) {
        std::ofstream out(numbersFile);
        for (int i = 0; i < count; ++i) {
            char n[16];
            std::snprintf(n, sizeof n, "0532%07d", i);
            out << n << "\r\n";
        }
        return numbersFile.string();
    }

    platform::testing::ScratchFolder m_scratch{"toplusms-cli-campaign"};
    const std::filesystem::path db = m_scratch / "toplusms.db";
    const std::filesystem::path numbersFile = m_scratch / "rehber.txt";
    std::unique_ptr<phonesim::Simulator> sim;
};

TEST_F(CliCampaignTest, KilledTwentyTimesAndResumedNoNumberIsTextedTwice) {
    constexpr int kNumbers = 200;
    constexpr int kKills = 20;
    const std::string refused = "05320000077";
    phonesim::Config config;
    config.faults.refuseNumbers = {refused};
    config.faults.submitDelayMs = 15;
    // A phone gives up a prompt whose program went away; without it a kill between
    // AT+CMGS and the PDU would leave it waiting for a PDU for ever.
    config.faults.promptTimeoutMs = 150;
    start(config);
    writeNumbers(kNumbers);
    const std::vector<std::string> bulk = {
        "bulk",    "--device", sim->slavePath(), "--numbers", numbersFile, "--text", "Kampanya",
        "--pause", "0",        "--db",           db};
    const std::vector<std::string> resume = {"resume", "--device", sim->slavePath(), "--db", db};

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> moment(60, 600);
    const auto campaignExists = [&] {
        if (!std::filesystem::exists(db)) {
            return false;
        }
        store::Database reader(db);
        return !store::CampaignStore(reader).campaigns().empty();
    };
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t pid = spawnCli(campaignExists() ? resume : bulk);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    // Then to the end; a resume that found the phone still holding a prompt goes again.
    // On a loaded machine every kill may have come before the campaign was recorded.
    CliRun last;
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (!campaignExists()) {
            cli::testing::exitCodeOf(spawnCli(bulk));
            continue;
        }
        last = runCli("resume --device " + sim->slavePath() + " --db " + db.string());
        if (last.out.find("Yarım kalan gönderim yok") != std::string::npos) {
            break;
        }
    }
    EXPECT_NE(last.out.find("Yarım kalan gönderim yok"), std::string::npos) << last.out;

    std::map<std::string, int> submitted;  // by the destination the phone took
    for (const phonesim::AcceptedMessage& m : sim->messages()) {
        ++submitted[m.pdu.destination];
    }
    store::Database reader(db);
    store::CampaignStore campaigns(reader);
    ASSERT_EQ(campaigns.campaigns().size(), 1u);
    const std::int64_t id = campaigns.campaigns().front().id;
    const auto rows = campaigns.recipients(id, 0, kNumbers);
    ASSERT_EQ(int(rows.size()), kNumbers);
    int unknown = 0;
    for (const store::RecipientRow& r : rows) {
        SCOPED_TRACE(r.entry);
        const int times = submitted.count(r.entry) ? submitted[r.entry] : 0;
        EXPECT_LE(times, 1);
        switch (r.state) {
            case RecipientState::Sent:
                EXPECT_EQ(times, 1);
                break;
            case RecipientState::Failed:
                EXPECT_EQ(r.entry, refused);
                EXPECT_EQ(times, 0);
                break;
            case RecipientState::Unknown:
                ++unknown;
                break;
            default:
                ADD_FAILURE() << "left " << store::stateName(r.state);
        }
    }
    EXPECT_LE(unknown, kKills);
    std::printf("kill test: %zu submitted, %d uncertain after %d kills\n", sim->messages().size(),
                unknown, kKills);
}

// What only reads works while a sender holds the database; a second sender is refused
// before it touches the phone.
TEST_F(CliCampaignTest, ReadersWorkAndASecondSenderIsRefusedWhileOneSends) {
    phonesim::Config config;
    config.faults.submitDelayMs = 200;
    start(config);
    writeNumbers(10);
    const pid_t sender = spawnCli({"bulk", "--device", sim->slavePath(), "--numbers", numbersFile,
                                   "--text", "Selam", "--pause", "0", "--db", db});
    ASSERT_TRUE(sim->waitForCommands(1, 5000));
    // Until the phone has the first PDU (answered after 200 ms).
    for (int i = 0; i < 100 && sim->messages().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const CliRun list = runCli("campaigns --db " + db.string());
    EXPECT_EQ(list.exitCode, 0) << list.out;
    EXPECT_NE(list.out.find("\tyarım\t"), std::string::npos) << list.out;
    const CliRun results = runCli("results --db " + db.string() + " 1");
    EXPECT_EQ(results.exitCode, 0) << results.out;
    // The first row on its way or just answered, the last one still waiting.
    EXPECT_NE(results.out.find("1\t05320000000\tgönderil"), std::string::npos) << results.out;
    EXPECT_NE(results.out.find("10\t05320000009\tsırada\t"), std::string::npos) << results.out;

    const CliRun second = runCli("resume --device " + sim->slavePath() + " --db " + db.string());
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.out.find("başka bir program bu veritabanından gönderiyor"), std::string::npos)
        << second.out;
    int status = 0;
    ::waitpid(sender, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(sim->messages().size(), 10u);

    const CliRun done = runCli("campaigns --db " + db.string());
    EXPECT_NE(done.out.find("\tbitti\t0\t10\t0\t0\t0\n"), std::string::npos) << done.out;
    EXPECT_EQ(done.out.substr(0, done.out.find('\n')),
              "gönderim\tbaşlangıç\tdurum\tsırada\tgönderildi\tbaşarısız\tbelirsiz\tatlandı");
}

// Resend: the refused number only, as a new campaign that names the old one.
TEST_F(CliCampaignTest, ResendServesTheFailedAsANewCampaign) {
    phonesim::Config config;
    config.faults.refuseNumbers = {"05320000001"};
    start(config);
    writeNumbers(3);
    CliRun r = runCli("bulk --device " + sim->slavePath() + " --numbers " + numbersFile.string() +
                      " --text Selam --pause 0 --db " + db.string());
    EXPECT_EQ(r.exitCode, 1) << r.out;
    sim->setFaults({});
    r = runCli("resend --device " + sim->slavePath() + " --db " + db.string() + " 1");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find('\n') + 1)),
              "Gönderim 2\n05320000001\tGönderildi: ref 3");
    r = runCli("resend --device " + sim->slavePath() + " --db " + db.string() + " 2");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("tekrar gönderilecek kimse yok"), std::string::npos) << r.out;
    EXPECT_EQ(runCli("resend --device x --db " + db.string()).exitCode, 2);
}

// Reports are asked for by default, for every message of the campaign and of its resend;
// results end with the delivery state (waiting for a sent row, empty for a failed one)
// and its time. --no-reports asks for none and shows none.
TEST_F(CliCampaignTest, ReportsAreAskedByDefaultAndResultsEndWithTheDeliveryState) {
    phonesim::Config config;
    config.faults.refuseNumbers = {"05320000001"};
    start(config);
    writeNumbers(2);
    const std::string bulk = "bulk --device " + sim->slavePath() + " --numbers " +
                             numbersFile.string() + " --text Selam --pause 0 --db " + db.string();
    EXPECT_EQ(runCli(bulk).exitCode, 1);
    sim->setFaults({});
    EXPECT_EQ(
        runCli("resend --device " + sim->slavePath() + " --db " + db.string() + " 1").exitCode, 0);
    EXPECT_EQ(runCli(bulk + " --no-reports").exitCode, 0);
    const auto sent = sim->messages();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_TRUE(sent[0].pdu.statusReport && sent[1].pdu.statusReport);
    EXPECT_FALSE(sent[2].pdu.statusReport || sent[3].pdu.statusReport);

    const CliRun first = runCli("results --db " + db.string() + " 1");
    EXPECT_EQ(first.out.substr(0, first.out.find('\n')),
              "sıra\tnumara\tdurum\tzaman\treferanslar\thata\tteslim\tteslim zamanı");
    EXPECT_NE(first.out.find("\tgönderildi\t"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("\tbekliyor\t\n"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("\tbaşarısız\t"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("\t\t\n"), std::string::npos) << first.out;  // the failed row
    const CliRun none = runCli("results --db " + db.string() + " 3");
    EXPECT_EQ(none.out.find("bekliyor"), std::string::npos) << none.out;
}

}  // namespace

namespace {

// A database file the program cannot use is named, left as it was, and never sent from.
TEST_F(CliCampaignTest, AnUnusableDatabaseIsRefusedAndLeftAsItWas) {
    { std::ofstream(db, std::ios::binary) << "numara;zaman\r\n05321112233;\r\n"; }
    start({});
    writeNumbers(2);
    for (const std::string& args :
         {"campaigns --db " + db.string(), "bulk --device " + sim->slavePath() + " --numbers " +
                                               numbersFile.string() +
                                               " --text Selam --pause 0 --db " + db.string()}) {
        const CliRun r = runCli(args);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.out.find("bir SQLite veritabanı değil"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Dosyaya dokunulmadı"), std::string::npos) << r.out;
    }
    EXPECT_TRUE(sim->messages().empty());
    std::ifstream in(db, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "numara;zaman\r\n05321112233;\r\n");
}

}  // namespace
