#include "platform/text_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

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

bool writeAll(int fd, const char* p, size_t n) {
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

}  // namespace

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
    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return -fileError(errno, 160);
    }
    ::fchmod(fd, 0644);
    bool ok = writeAll(fd, old.data(), old.size()) && writeAll(fd, content.data(), content.size());
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
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
