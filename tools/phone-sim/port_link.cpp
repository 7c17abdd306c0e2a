#include "tools/phone-sim/port_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace phonesim {

namespace {

// Key without blanks around it, lower case.
std::string keyOf(const std::string& line) {
    std::string out;
    for (char c : line.substr(0, line.find('='))) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

bool isLineOf(const std::string& line, const std::string& port) {
    return line.find('=') != std::string::npos && keyOf(line) == keyOf(port);
}

// The file's lines; false when it is there but cannot be read (rewriting it would lose
// its lines). A missing file has none.
bool readLines(const std::string& file, std::vector<std::string>& lines) {
    std::ifstream in(file);
    struct stat st {};
    if (!in && ::stat(file.c_str(), &st) == 0) {
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return true;
}

// Written to a temporary file of an unguessable name first, then renamed over the
// file, so that a crash never leaves half a file.
bool writeLines(const std::string& file, const std::vector<std::string>& lines) {
    // The usual place, ~/.config/toplusms/, may not exist yet on a fresh machine.
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(file).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, ec);
    }
    std::string tmp = file + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        return false;
    }
    std::string text;
    for (const auto& l : lines) {
        text += l + '\n';
    }
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (::close(fd) != 0 || !written || std::rename(tmp.c_str(), file.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

// The port's first line is replaced where it stands; further lines of the port go.
bool writePortMap(const std::string& file, const std::string& port, const std::string& path,
                  std::optional<std::string>* replaced) {
    std::vector<std::string> old;
    if (!readLines(file, old)) {
        return false;
    }
    std::vector<std::string> lines;
    std::optional<std::string> previous;
    for (const std::string& line : old) {
        if (!isLineOf(line, port)) {
            lines.push_back(line);
        } else if (!previous) {
            previous = line;
            lines.push_back(port + "=" + path);
        }
    }
    if (!previous) {
        lines.push_back(port + "=" + path);
    }
    if (!writeLines(file, lines)) {
        return false;
    }
    if (replaced != nullptr) {
        *replaced = previous;
    }
    return true;
}

bool restorePortMap(const std::string& file, const std::string& port, const std::string& path,
                    const std::optional<std::string>& replaced) {
    std::vector<std::string> lines;
    if (!readLines(file, lines)) {
        return false;
    }
    const std::string ours = port + "=" + path;
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        if (isLineOf(*it, port)) {
            if (*it != ours) {
                return true;  // changed by someone else since: theirs now
            }
            if (replaced) {
                *it = *replaced;
            } else {
                lines.erase(it);
            }
            return writeLines(file, lines);
        }
    }
    return true;
}

// A link is replaced only when it is a symbolic link already: never clobber a file.
bool makeLink(const std::string& link, const std::string& target, std::string* error) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *error = link + " exists and is not a symbolic link";
        return false;
    }
    const std::string tmp = link + ".phone-sim.tmp";
    ::unlink(tmp.c_str());
    if (::symlink(target.c_str(), tmp.c_str()) != 0 ||
        std::rename(tmp.c_str(), link.c_str()) != 0) {
        *error = link + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

void removeLinkIfOurs(const std::string& link, const std::string& target) {
    char buf[4096];
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == target) {
        ::unlink(link.c_str());
    }
}

}  // namespace phonesim
