#include "platform/port_check.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/codepage_1254.h"
#include "platform/tests/pty_pair.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string explained(const PortCheck& c) {
    return cp1254::toUtf8(explainPortCheck(c, "Com5"));
}

class PortCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.ok());
        m_dir = fs::temp_directory_path() / ("port-check-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    testing::PtyPair m_pty;
    fs::path m_dir;
};

TEST_F(PortCheckTest, MissingNotSerialAndUsable) {
    std::ofstream(m_dir / "file") << "Com5 is no file\n";
    fs::create_directories(m_dir / "folder");
    fs::create_symlink(m_pty.path(), m_dir / "link");
    const struct {
        fs::path path;
        PortProblem problem;
    } cases[] = {
        {m_dir / "absent", PortProblem::Missing},
        {m_dir / "file", PortProblem::NotSerial},
        {m_dir / "folder", PortProblem::NotSerial},
        {"/dev/null", PortProblem::NotSerial},  // a device, but no terminal
        {m_pty.path(), PortProblem::None},
        {m_dir / "link", PortProblem::None},
    };
    for (const auto& c : cases) {
        const PortCheck check = checkPort(c.path);
        EXPECT_EQ(check.problem, c.problem) << c.path;
    }
    EXPECT_NE(explained(checkPort(m_dir / "absent"))
                  .find("Com5 (" + (m_dir / "absent").string() + ") bulunamadı"),
              std::string::npos);
    EXPECT_NE(explained(checkPort(m_dir / "folder")).find("kullanılamaz"), std::string::npos);
    EXPECT_EQ(explainPortCheck(checkPort(m_pty.path()), "Com5"), "");
    // The check leaves no lock behind: the serial layer can take the device next.
    const int fd = ::open(m_pty.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

// Another process opens the device and locks it, as the program does while connected.
TEST_F(PortCheckTest, HeldByAnotherProgramNamesIt) {
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(release[1]);  // so that the parent's close ends the read below
        ::close(ready[0]);
        ::prctl(PR_SET_NAME, "phone-holder");
        const int fd = ::open(m_pty.path().c_str(), O_RDWR | O_NOCTTY);
        char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 1 : 0;
        [[maybe_unused]] auto w = ::write(ready[1], &ok, 1);
        char b;
        [[maybe_unused]] auto r = ::read(release[0], &b, 1);  // until the test is done
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);

    const PortCheck check = checkPort(m_pty.path());
    ::close(release[1]);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);

    EXPECT_EQ(check.problem, PortProblem::Held);
    ASSERT_EQ(check.holders.size(), 1u);
    EXPECT_EQ(check.holders[0].pid, child);
    EXPECT_EQ(check.holders[0].name, "phone-holder");
    EXPECT_NE(
        explained(check).find("başka bir program tarafından kullanılıyor: phone-holder (pid " +
                              std::to_string(child) + ")"),
        std::string::npos)
        << explained(check);
}

// A process table of our own: a ModemManager holding the device, entries that cannot
// be read, names that are no process.
TEST_F(PortCheckTest, ModemManagerGetsItsHintAndUnreadableEntriesArePassedOver) {
    const int lock = ::open(m_pty.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    const fs::path proc = m_dir / "proc";
    fs::create_directories(proc / "812" / "fd");
    std::ofstream(proc / "812" / "comm") << "ModemManager\n";
    fs::create_symlink(m_pty.path(), proc / "812" / "fd" / "9");
    fs::create_symlink("/dev/null", proc / "812" / "fd" / "3");
    fs::create_directories(proc / "900");         // no comm, no fd folder
    fs::create_directories(proc / "901" / "fd");  // a dangling descriptor
    fs::create_symlink(m_dir / "gone", proc / "901" / "fd" / "1");
    fs::create_directories(proc / "self" / "fd");  // not a process number
    fs::create_symlink(m_pty.path(), proc / "self" / "fd" / "1");
    std::ofstream(proc / "uptime") << "1.0\n";

    const PortCheck check = checkPort(m_pty.path(), proc.string());
    ::close(lock);
    EXPECT_EQ(check.problem, PortProblem::Held);
    ASSERT_EQ(check.holders.size(), 1u);
    EXPECT_EQ(check.holders[0].pid, 812);
    EXPECT_TRUE(check.modemManagerRunning);
    const std::string text = explained(check);
    EXPECT_NE(text.find("ModemManager (pid 812)"), std::string::npos) << text;
    EXPECT_NE(text.find("sudo systemctl stop ModemManager"), std::string::npos) << text;
    EXPECT_NE(text.find("ID_MM_DEVICE_IGNORE"), std::string::npos) << text;

    // No process table at all: still held, nobody named.
    const PortCheck blind = [&] {
        const int again = ::open(m_pty.path().c_str(), O_RDWR | O_NOCTTY);
        ::flock(again, LOCK_EX | LOCK_NB);
        PortCheck c = checkPort(m_pty.path(), (m_dir / "no-proc").string());
        ::close(again);
        return c;
    }();
    EXPECT_EQ(blind.problem, PortProblem::Held);
    EXPECT_TRUE(blind.holders.empty());
    EXPECT_FALSE(blind.modemManagerRunning);
}

// The device belongs to a group we are not in. Root may open anything, so as root the
// check runs in a child that has become "nobody".
TEST_F(PortCheckTest, NoPermissionNamesTheGroupAndTheCommand) {
    const group* dialout = ::getgrnam("dialout");
    const passwd* nobody = ::getpwnam("nobody");
    const bool root = ::geteuid() == 0;
    if (root && (dialout == nullptr || nobody == nullptr)) {
        GTEST_SKIP() << "running as root, and there is no 'dialout' group or 'nobody' user to "
                        "check as";
    }
    if (root) {
        ASSERT_EQ(::chown(m_pty.path().c_str(), 0, dialout->gr_gid), 0);
    }
    ASSERT_EQ(::chmod(m_pty.path().c_str(), root ? 0660 : 0), 0);
    struct stat st {};
    ASSERT_EQ(::stat(m_pty.path().c_str(), &st), 0);
    const group* owner = ::getgrgid(st.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string groupName = owner->gr_name;

    std::string text;
    PortProblem problem = PortProblem::None;
    if (!root) {
        const PortCheck check = checkPort(m_pty.path());
        problem = check.problem;
        text = explained(check);
    } else {
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const uid_t uid = nobody->pw_uid;
        const gid_t gid = nobody->pw_gid;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(out[0]);
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
                ::_exit(3);
            }
            const PortCheck check = checkPort(m_pty.path());
            const std::string line = std::to_string(int(check.problem)) + "\n" + explained(check);
            [[maybe_unused]] auto w = ::write(out[1], line.data(), line.size());
            ::_exit(0);
        }
        ::close(out[1]);
        std::string got;
        char buf[512];
        ssize_t n;
        while ((n = ::read(out[0], buf, sizeof buf)) > 0) {
            got.append(buf, size_t(n));
        }
        ::close(out[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
        problem = PortProblem(std::stoi(got.substr(0, got.find('\n'))));
        text = got.substr(got.find('\n') + 1);
    }
    EXPECT_EQ(problem, PortProblem::NoPermission);
    if (root) {
        EXPECT_NE(text.find("aygıt 'dialout' grubunun. 'sudo adduser nobody dialout'"),
                  std::string::npos)
            << text;
    } else {
        EXPECT_NE(text.find("grubu '" + groupName + "'"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace platform
