// toplusms-cli receiving against the simulated phone: listen prints what it keeps and
// ends cleanly on Ctrl-C; killed between storing and deleting, nothing is shown twice; a
// bulk run receives while it runs and waits for the reports when asked.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "platform/tests/scratch_folder.h"
#include "tools/cli/tests/cli_process.h"
#include "tools/phone-sim/simulator.h"

namespace {

using cli::testing::CliRun;
using cli::testing::exitCodeOf;
using cli::testing::runCli;

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> linesStarting(const std::string& out, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(prefix)) {
            lines.push_back(line);
        }
    }
    return lines;
}

bool eventually(const std::function<bool()>& done, int limitMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct CliListenTest : ::testing::Test {
    void start(phonesim::Config config) {
        sim = std::make_unique<phonesim::Simulator>(std::move(config));
        std::string error;
        ASSERT_TRUE(sim->start(&error)) << error;
    }
    // The cli in the background, its output into `output`.
    pid_t spawnListen(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"listen", "--device", sim->slavePath(), "--db", db};
        args.insert(args.end(), extra.begin(), extra.end());
        return cli::testing::spawnCli(args, output);
    }

    platform::testing::ScratchFolder m_scratch{"toplusms-cli-listen"};
    const std::string db = (m_scratch / "toplusms.db").string();
    const std::string output = (m_scratch / "listen.out").string();
    std::unique_ptr<phonesim::Simulator> sim;
};

TEST_F(CliListenTest, ListenPrintsWhatItKeepsAndEndsCleanlyOnCtrlC) {
    phonesim::Config config;
    config.messaging.incomingRoute = phonesim::Route::Stored;
    config.messaging.incoming = {{"+905321112233", "Tamam\nYar\xC4\xB1n gelirim"},
                                 {"+905321112234", "RET"}};
    start(config);
    const pid_t pid = spawnListen();
    ASSERT_TRUE(eventually([&] {
        return linesStarting(readFile(output), "mesaj\t").size() == 2 &&
               sim->storedMessages().empty();
    })) << readFile(output);
    ::kill(pid, SIGINT);
    EXPECT_EQ(exitCodeOf(pid), 0) << readFile(output);
    const std::vector<std::string> lines = linesStarting(readFile(output), "mesaj\t");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].starts_with("mesaj\t+905321112233\t20")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("\tTamam\\nYar\xC4\xB1n gelirim")) << lines[0];
    EXPECT_EQ(runCli("optout --db " + db + " --list").out, "+905321112234\n");
}

// Killed after storing, before the delete was answered: the messages are still in the
// phone, read again at the next start, and each is in the inbox once.
TEST_F(CliListenTest, KilledBetweenStoringAndDeletingEachMessageIsShownOnce) {
    phonesim::Config config;
    config.messaging.incomingRoute = phonesim::Route::Stored;
    config.messaging.incoming = {{"+905321112233", "bir"}, {"+905321112234", "iki"}};
    config.faults.silentFor = {"AT+CMGD"};  // the delete never answers
    start(config);
    const pid_t pid = spawnListen();
    ASSERT_TRUE(eventually([&] {
        const auto c = sim->commands();
        return std::find(c.begin(), c.end(), "AT+CMGD=1") != c.end();
    })) << readFile(output);
    ::kill(pid, SIGKILL);
    exitCodeOf(pid);
    EXPECT_EQ(sim->storedMessages().size(), 2u);
    EXPECT_EQ(linesStarting(readFile(output), "mesaj\t").size(), 1u) << "stored before the delete";

    sim->setFaults({});
    const CliRun again =
        runCli("listen --device " + sim->slavePath() + " --db " + db + " --seconds 0");
    EXPECT_EQ(again.exitCode, 0) << again.out;
    EXPECT_EQ(linesStarting(again.out, "mesaj\t").size(), 1u) << again.out;
    EXPECT_TRUE(sim->storedMessages().empty());
    const CliRun inbox = runCli("inbox --db " + db);
    EXPECT_EQ(linesStarting(inbox.out, "+90532111223").size(), 2u) << inbox.out;
}

// A bulk run receives while it runs: a "RET" mid-run skips its sender when the run gets
// there; with --wait-reports it stays for the reports and prints each.
TEST_F(CliListenTest, BulkHonoursARetThatComesMidRunAndWaitsForTheReports) {
    phonesim::Config config;
    config.messaging.reports = phonesim::ReportOutcome::Delivered;
    config.messaging.reportDelayMs = 20;
    phonesim::Simulator* simulator = nullptr;
    int pdus = 0;
    config.onCommand = [&](const std::string& command) {
        if (command.ends_with('\x1A') && ++pdus == 2) {
            simulator->receiveSms({"+905320000004", "Ret l\xC3\xBCtfen"});
        }
    };
    start(config);
    simulator = sim.get();
    const auto numbers = m_scratch / "rehber.txt";
    std::ofstream(numbers) << "05320000001\r\n05320000002\r\n05320000003\r\n05320000004\r\n"
                              "05320000005\r\n";
    const CliRun r = runCli("bulk --device " + sim->slavePath() + " --db " + db + " --numbers " +
                            numbers.string() + " --text merhaba --pause 0 --wait-reports 1");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("05320000004\tAtland\xC4\xB1: Ret listesinde\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(linesStarting(r.out, "mesaj\t+905320000004\t").size(), 1u) << r.out;
    const std::vector<std::string> reports = linesStarting(r.out, "rapor\t");
    ASSERT_EQ(reports.size(), 4u) << r.out;
    for (const std::string& line : reports) {
        EXPECT_TRUE(line.ends_with("\tteslim edildi")) << line;
    }
    EXPECT_EQ(sim->messages().size(), 4u);
}

// A report that cannot be read is kept, printed as such, and changes nobody's state; the
// run goes on.
TEST_F(CliListenTest, AnUnreadableReportIsPrintedAsSuchAndChangesNothing) {
    phonesim::Config config;
    config.messaging.reports = phonesim::ReportOutcome::Delivered;
    config.messaging.reportDelayMs = 20;
    config.messaging.brokenReports = phonesim::BrokenReport::Truncated;
    start(config);
    const auto numbers = m_scratch / "rehber.txt";
    std::ofstream(numbers) << "05320000001\r\n05320000002\r\n";
    const CliRun r = runCli("bulk --device " + sim->slavePath() + " --db " + db + " --numbers " +
                            numbers.string() + " --text merhaba --pause 0 --wait-reports 1");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(linesStarting(r.out, "rapor\t\tref ?\tokunamad\xC4\xB1").size(), 2u) << r.out;
    const CliRun results = runCli("results --db " + db + " 1");
    for (const char* row : {"1\t05320000001\t", "2\t05320000002\t"}) {
        const std::vector<std::string> line = linesStarting(results.out, row);
        ASSERT_EQ(line.size(), 1u) << results.out;
        EXPECT_NE(line[0].find("\tbekliyor\t"), std::string::npos) << line[0];
    }
}

}  // namespace
