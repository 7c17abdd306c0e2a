#include "platform/text_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>

namespace platform {

namespace {

int fileError(int err, int otherwise) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
            return 3;  // path not found
        case EACCES:
        case EPERM:
        case EISDIR:
            return 5;  // access denied
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return 101;  // disk full
        case EROFS:
            return 150;  // write-protected
        case EMFILE:
        case ENFILE:
            return 4;  // too many open files
        default:
            return otherwise;
    }
}

bool writeAll(int fd, std::string_view data) {
    const char* p = data.data();
    size_t n = data.size();
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += w;
        n -= size_t(w);
    }
    return true;
}

// Makes a rename in the folder of path last through a power cut.
int syncFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
    // A folder that cannot be opened (no read permission) or synced (EINVAL: the file
    // system cannot) keeps the rename as safe as the system makes it; the file has been
    // replaced all the same, so that is no failure.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    int err = 0;
    if (::fsync(fd) != 0 && errno != EINVAL) {
        err = errno;
    }
    ::close(fd);
    return err;
}

}  // namespace

int replaceFileContents(const std::string& path, std::string_view content) {
    static std::atomic<unsigned> counter{0};
    const std::string temp =
        path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    // 0644 less the umask, unless the old file's permissions are worth keeping: not those
    // of a file its owner could not read and write, such as mode 000.
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno;
    }
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
        (old.st_mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR)) {
        ::fchmod(fd, old.st_mode & 07777);
    }
    int err = 0;
    if (!writeAll(fd, content) || ::fsync(fd) != 0) {
        err = errno;
    }
    if (::close(fd) != 0 && err == 0) {
        err = errno;
    }
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::unlink(temp.c_str());
        return err;
    }
    return syncFolderOf(path);
}

int writeWholeTextFile(const std::string& path, bool append, const std::string& content) {
    std::string old;
    if (append) {
        int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (in >= 0) {
            char buf[65536];
            ssize_t r;
            while ((r = ::read(in, buf, sizeof buf)) != 0) {
                if (r < 0 && errno == EINTR) {
                    continue;
                }
                if (r < 0) {
                    int e = fileError(errno, 161);
                    ::close(in);
                    return -e;
                }
                old.append(buf, size_t(r));
            }
            ::close(in);
        } else if (errno != ENOENT) {
            return -fileError(errno, 161);
        }
    }
    old += content;
    if (int err = replaceFileContents(path, old); err != 0) {
        return -fileError(err, 160);
    }
    return 0;
}

std::string describeOs() {
    utsname u{};
    if (::uname(&u) != 0) {
        return "Linux";
    }
    return std::string("Linux ") + u.release;
}

}  // namespace platform
