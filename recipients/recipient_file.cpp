#include "recipients/recipient_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/text_file.h"

namespace recipients {
namespace {

std::string reason(int err) {
    return std::generic_category().message(err);
}

std::string fullPath(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(file, ec);
    return (ec ? file : abs.lexically_normal()).string();
}

[[noreturn]] void failOpen(const std::filesystem::path& file, int err) {
    throw FileError("Cannot open file \"" + fullPath(file) + "\". " + reason(err));
}

[[noreturn]] void failCreate(const std::filesystem::path& file, int err) {
    throw FileError("Cannot create file \"" + fullPath(file) + "\". " + reason(err));
}

// Closes the descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closes now and reports the error close() gave (0 when none).
    int release() {
        int err = 0;
        if (m_fd >= 0 && ::close(m_fd) != 0) {
            err = errno;
        }
        m_fd = -1;
        return err;
    }

private:
    int m_fd;
};

}  // namespace

std::vector<std::string> splitLines(std::string_view text) {
    if (size_t zero = text.find('\0'); zero != std::string_view::npos) {
        text = text.substr(0, zero);
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') {
            ++start;
        }
    }
    return lines;
}

std::string readFileBytes(const std::filesystem::path& file, std::size_t limit) {
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        failOpen(file, errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        failOpen(file, errno);
    }
    if (S_ISDIR(st.st_mode)) {
        failOpen(file, EISDIR);
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            failOpen(file, errno);
        }
        if (n == 0) {
            break;
        }
        if (static_cast<std::size_t>(n) > limit - text.size()) {
            throw FileError("Cannot open file \"" + fullPath(file) +
                            "\". Dosya çok büyük (en çok " + std::to_string(limit / (1024 * 1024)) +
                            " MB).");
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

std::vector<std::string> loadLines(const std::filesystem::path& file) {
    return splitLines(readFileBytes(file));
}

bool isReadOnly(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;  // nothing there to keep, or the save itself will say what is wrong
    }
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return true;
    }
    return ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0 &&
           (errno == EACCES || errno == EPERM || errno == EROFS);
}

void saveLines(const std::filesystem::path& file, const std::vector<std::string>& entries) {
    if (isReadOnly(file)) {
        throw FileError("Cannot create file \"" + fullPath(file) + "\". Dosya salt okunur.");
    }
    std::string text;
    for (const auto& e : entries) {
        text += e;
        text += "\r\n";
    }

    if (int err = platform::replaceFileContents(file.string(), text); err != 0) {
        failCreate(file, err);
    }
}

}  // namespace recipients
