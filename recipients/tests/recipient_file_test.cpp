#include "recipients/recipient_file.h"
#include "platform/tests/other_user.h"
#include "platform/tests/scratch_folder.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>

namespace recipients {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Lines = std::vector<std::string>;

struct SplitCase {
    std::string text;
    Lines lines;
};

TEST(SplitLines, BreaksAtEveryKindOfLineEnd) {
    const SplitCase cases[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},              // line feeds only
        {"a\rb\r", {"a", "b"}},              // carriage returns only
        {"a\r\nb", {"a", "b"}},              // last line without a break
        {"a\r\n\r\nb\r\n", {"a", "", "b"}},  // empty line between two others
        {"\r\n", {""}},                      // one empty line
        {"a\n\rb", {"a", "", "b"}},          // LF CR is two breaks
        {"a\r\nb\0c\r\nd"s, {"a", "b"}},     // a zero byte ends the text
        {"\0a"s, {}},
        {"  12 34  \r\n", {"  12 34  "}},  // blanks stay
    };
    for (const auto& c : cases) {
        EXPECT_EQ(splitLines(c.text), c.lines) << testing::PrintToString(c.text);
    }
}

class RecipientFile : public testing::Test {
protected:
    void SetUp() override { m_file = m_dir / "rehber.txt"; }

    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void write(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    // Only the list file and nothing else (no temporary left behind).
    size_t filesInDir() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(m_dir), {}));
    }

    platform::testing::ScratchFolder m_scratch{"recipients"};
    const fs::path m_dir = m_scratch.path();
    fs::path m_file;
};

TEST_F(RecipientFile, SavesEveryLineWithCrLfInCodePageBytes) {
    // "Şule" in Windows-1254: 0xDE 'u' 'l' 'e'.
    const Lines entries{" 0532 111 22 33 ", "", "\xDEule", "0532"};
    saveLines(m_file, entries);
    EXPECT_EQ(read(m_file), " 0532 111 22 33 \r\n\r\n\xDEule\r\n0532\r\n");
    EXPECT_EQ(loadLines(m_file), entries);
    EXPECT_EQ(filesInDir(), 1u);
}

TEST_F(RecipientFile, EmptyListGivesAnEmptyFileAndLoadsEmpty) {
    write(m_file, "old\r\n");
    saveLines(m_file, {});
    EXPECT_TRUE(fs::exists(m_file));
    EXPECT_EQ(fs::file_size(m_file), 0u);
    EXPECT_TRUE(loadLines(m_file).empty());
}

TEST_F(RecipientFile, SaveKeepsThePermissionsOfTheOldFile) {
    write(m_file, "old\r\n");
    fs::permissions(m_file, fs::perms::owner_read | fs::perms::owner_write);
    saveLines(m_file, {"new"});
    EXPECT_EQ(fs::status(m_file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(RecipientFile, FailedWriteLeavesTheOldFileWhole) {
    const std::string old = "0532 000 00 01\r\n0532 000 00 02\r\n";
    write(m_file, old);
    // A file size limit makes the write fail the way a full disk does, even for root.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        saveLines(m_file, {"0532 999 99 99", "0532 999 99 98"});
    } catch (const FileError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(message, "Cannot create file \"" + m_file.string() + "\". File too large");
    EXPECT_EQ(read(m_file), old);
    EXPECT_EQ(filesInDir(), 1u);
}

TEST_F(RecipientFile, AReadOnlyFileOrFolderKeepsTheOldList) {
    const std::string old = "0532 000 00 01\r\n";
    write(m_file, old);
    fs::permissions(m_file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(isReadOnly(m_file));
    try {
        saveLines(m_file, {"new"});
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + m_file.string() + "\". Dosya salt okunur.");
    }
    EXPECT_EQ(read(m_file), old);

    // A file anyone may write, in a folder nobody may: the new file cannot be made.
    fs::permissions(m_file, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                ~fs::perms::others_exec);
    fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec);
    {
        platform::testing::OtherUser nobody;
        EXPECT_FALSE(isReadOnly(m_file));
        EXPECT_THROW(saveLines(m_file, {"new"}), FileError);
    }
    fs::permissions(m_dir, fs::perms::owner_all);
    EXPECT_EQ(read(m_file), old);
    EXPECT_EQ(filesInDir(), 1u);
    EXPECT_FALSE(isReadOnly(m_dir / "none.txt"));
}

TEST_F(RecipientFile, ErrorsNameTheFullPathAndTheReason) {
    const fs::path missing = m_dir / "none" / "rehber.txt";
    try {
        saveLines(missing, {"1"});
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + missing.string() + "\". No such file or directory");
    }
    try {
        loadLines(missing);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + missing.string() + "\". No such file or directory");
    }
    fs::create_directory(m_file);  // a folder in the list's place cannot be read
    EXPECT_THROW(loadLines(m_file), FileError);
}

}  // namespace
}  // namespace recipients
