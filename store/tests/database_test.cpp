#include "store/database.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/database_recorder.h"
#include "store/tests/store_fixture.h"

namespace store {
namespace {

using testing::peek;
using testing::readBytes;
using testing::writeBytes;
using DatabaseTest = testing::StoreTest;

TEST_F(DatabaseTest, ANewFileGetsTheSchemaInWalModeAndOpensAgainAsItIs) {
    {
        Database db(file);
        EXPECT_EQ(db.schemaVersion(), Database::kSchemaVersion);
        createCampaign(db, {"0532"});
    }
    EXPECT_EQ(peek(file, "PRAGMA journal_mode"), "wal");
    Database again(file);
    EXPECT_EQ(again.schemaVersion(), Database::kSchemaVersion);
    EXPECT_EQ(CampaignStore(again).campaigns().size(), 1u);
}

// A file the program cannot use is named as such and left byte for byte as it was, and
// can be set aside for a new database.
TEST_F(DatabaseTest, AFileItCannotUseIsRefusedUntouchedAndCanBeSetAside) {
    const auto makeDatabase = [&](const char* sql) {
        {
            Database db(file);
            createCampaign(db, std::vector<std::string>(2000, "05321234567"));
        }
        sqlite3* raw = nullptr;
        sqlite3_open(file.c_str(), &raw);
        sqlite3_exec(raw, sql, nullptr, nullptr, nullptr);
        sqlite3_close(raw);
        return readBytes(file);
    };
    const struct {
        const char* name;
        std::function<std::string()> make;
        OpenError::Kind kind;
    } cases[] = {
        {"text", [] { return std::string("numara;zaman\r\n05321234567;\r\n"); },
         OpenError::Kind::NotDatabase},
        {"truncated",
         [&] {
             const std::string whole = makeDatabase("PRAGMA wal_checkpoint(TRUNCATE)");
             return whole.substr(0, whole.size() / 2);
         },
         OpenError::Kind::NotDatabase},
        {"newer", [&] { return makeDatabase("PRAGMA user_version=99"); },
         OpenError::Kind::NewerSchema},
        {"another program's",
         [&] { return makeDatabase("DROP TABLE part; PRAGMA user_version=0"); },
         OpenError::Kind::NotDatabase},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(m_scratch.path());
        std::filesystem::create_directories(m_scratch.path());
        const std::string bytes = c.make();
        writeBytes(file, bytes);
        std::filesystem::remove(file.string() + "-wal");
        try {
            Database db(file);
            ADD_FAILURE() << "opened";
        } catch (const OpenError& e) {
            EXPECT_EQ(e.kind(), c.kind) << e.what();
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos);
        }
        EXPECT_EQ(readBytes(file), bytes);
        const std::filesystem::path aside = Database::setAside(file);
        EXPECT_EQ(readBytes(aside), bytes);
        EXPECT_FALSE(std::filesystem::exists(file));
        Database fresh(file);
        EXPECT_TRUE(CampaignStore(fresh).campaigns().empty());
    }
}

TEST_F(DatabaseTest, SettingAsideTwiceKeepsBothFiles) {
    writeBytes(file, "first");
    const auto a = Database::setAside(file);
    writeBytes(file, "second");
    const auto b = Database::setAside(file);
    EXPECT_NE(a, b);
    EXPECT_EQ(readBytes(a), "first");
    EXPECT_EQ(readBytes(b), "second");
}

TEST_F(DatabaseTest, OneSenderAtATimeWhileOthersRead) {
    Database first(file);
    Database second(file);
    const std::int64_t id = createCampaign(first, {"1", "2"});
    {
        auto lock = first.takeSenderLock();
        EXPECT_THROW(second.takeSenderLock(), SenderBusy);
        DatabaseRecorder recorder(first, *lock, id);
        std::string error;
        const auto row = recorder.nextQueued(error);
        ASSERT_TRUE(recorder.markSending(*row, error)) << error;
        // The reader sees the row on its way and leaves it so.
        const auto summary = CampaignStore(second).campaign(id);
        EXPECT_EQ(summary->counts.of(RecipientState::Sending), 1);
    }
    EXPECT_NO_THROW(second.takeSenderLock());
}

// A sender killed between "on its way" and the phone's answer: its lock goes with it, and
// the next sender finds the row uncertain, never queued again.
TEST_F(DatabaseTest, ASenderKilledMidSubmissionLeavesTheRowUncertainAndTheDatabaseFree) {
    std::int64_t id = 0;
    {
        Database db(file);
        id = createCampaign(db, {"05321112233", "05324445566"});
    }
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        // Never back into the test runner: a failure here ends the child, which the
        // parent sees as a pipe closed without its byte.
        try {
            Database db(file);
            auto lock = db.takeSenderLock();
            DatabaseRecorder recorder(db, *lock, id);
            std::string error;
            const auto row = recorder.nextQueued(error);
            if (!row || !recorder.markSending(*row, error)) {
                _exit(1);
            }
            (void)!write(ready[1], "x", 1);
            for (;;) {
                pause();
            }
        } catch (...) {
            _exit(1);
        }
    }
    struct Reaper {
        pid_t pid;
        void now() {
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
                pid = -1;
            }
        }
        ~Reaper() { now(); }
    } reaper{child};
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    Database db(file);
    EXPECT_THROW(db.takeSenderLock(), SenderBusy);
    reaper.now();

    auto lock = db.takeSenderLock();
    const auto rows = CampaignStore(db).recipients(id, 0, 10);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].state, RecipientState::Unknown);
    EXPECT_FALSE(rows[0].error.empty());
    EXPECT_EQ(rows[1].state, RecipientState::Queued);
    std::string error;
    EXPECT_EQ(DatabaseRecorder(db, *lock, id).nextQueued(error)->position, 1);
}

}  // namespace
}  // namespace store
