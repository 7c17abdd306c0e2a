// toplusms-cli over the opt-out list and the inbox: a listed number is skipped by a run
// against the simulated phone; the stored messages come out one per line.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/tests/scratch_folder.h"
#include "store/database.h"
#include "store/inbox.h"
#include "tools/cli/tests/cli_process.h"
#include "tools/phone-sim/received_pdu.h"
#include "tools/phone-sim/simulator.h"

namespace {

using cli::testing::CliRun;
using cli::testing::runCli;

struct CliOptOutTest : ::testing::Test {
    platform::testing::ScratchFolder m_scratch{"toplusms-cli-optout"};
    const std::string db = (m_scratch / "toplusms.db").string();
};

TEST_F(CliOptOutTest, AListedNumberIsSkippedByARunAndTheSingleSend) {
    phonesim::Simulator sim{phonesim::Config{}};
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    const auto numbers = m_scratch / "rehber.txt";
    std::ofstream(numbers) << "05320000000\r\n0532 000 00 01\r\n05320000002\r\n";

    CliRun r = runCli("optout --db " + db + " --add 05320000001");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    r = runCli("optout --db " + db + " --add 0532-000-00-09");
    r = runCli("optout --db " + db + " --list");
    EXPECT_EQ(r.out, "+905320000001\n+905320000009\n");
    r = runCli("optout --db " + db + " --remove 05320000009");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    r = runCli("optout --db " + db + " --remove 05320000009");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(runCli("optout --db " + db + " --add").exitCode, 2);

    r = runCli("bulk --device " + sim.slavePath() + " --numbers " + numbers.string() +
               " --text Selam --pause 0 --db " + db);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("\n0532 000 00 01\tAtlandı: Ret listesinde\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(sim.messages().size(), 2u);
    r = runCli("send --device " + sim.slavePath() + " --db " + db + " 05320000001 Selam");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Atlandı: Ret listesinde\n");
    EXPECT_EQ(sim.messages().size(), 2u);
}

TEST_F(CliOptOutTest, TheInboxPrintsOneMessageALineNewestFirst) {
    {
        store::Database database(db);
        store::Inbox inbox(database);
        phonesim::IncomingMessage m;
        m.sender = "+905321112233";
        m.text = "Tamam\r\nyarın\tgelirim";
        m.time = {2026, 12, 10, 14, 5, 9, 12};
        inbox.store(phonesim::buildDeliver(m, 0)[0].hex);
        m.sender = "BILGI";
        m.text = "Son";
        m.time.minute = 6;
        inbox.store(phonesim::buildDeliver(m, 0)[0].hex);
    }
    const CliRun r = runCli("inbox --db " + db);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out,
              "BILGI\t2026-12-10T14:06:09+03:00\tSon\n"
              "+905321112233\t2026-12-10T14:05:09+03:00\tTamam\\nyarın gelirim\n");
}

}  // namespace
