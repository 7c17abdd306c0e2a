#include "platform/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "platform/tests/scratch_folder.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

TEST(ReplaceFileContents, KeepsAUsableModeAndNeverAnUnusableOne) {
    testing::ScratchFolder scratch("text-file");
    const fs::path file = scratch / "list.txt";
    const mode_t savedMask = ::umask(022);
    struct Case {
        fs::perms old;
        fs::perms now;
    };
    using P = fs::perms;
    const Case cases[] = {
        {P::owner_read | P::owner_write | P::group_read,
         P::owner_read | P::owner_write | P::group_read},
        {P::none, P::owner_read | P::owner_write | P::group_read | P::others_read},
        {P::owner_write, P::owner_read | P::owner_write | P::group_read | P::others_read},
    };
    for (const Case& c : cases) {
        std::ofstream(file) << "old";
        fs::permissions(file, c.old);
        ASSERT_EQ(replaceFileContents(file.string(), "new"), 0);
        EXPECT_EQ(fs::status(file).permissions(), c.now) << static_cast<int>(c.old);
        std::ifstream in(file);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
    }
    fs::remove(file);
    ASSERT_EQ(replaceFileContents(file.string(), "first"), 0);  // no old file
    EXPECT_EQ(fs::status(file).permissions(),
              P::owner_read | P::owner_write | P::group_read | P::others_read);
    ::umask(savedMask);
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), {}), 1);
}

}  // namespace
}  // namespace platform
