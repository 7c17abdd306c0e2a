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

// Replaces the line of `port` in the port map, keeping every other line; written to a
// temporary file first so that a crash never leaves half a file.
bool writePortMap(const std::string& file, const std::string& port, const std::string& path) {
    std::vector<std::string> lines;
    {
        std::ifstream in(file);
        struct stat st {};
        if (!in && ::stat(file.c_str(), &st) == 0) {
            return false;  // there but unreadable: rewriting it would lose its lines
        }
        std::string line;
        // Key without blanks around it, lower case.
        auto lower = [](std::string s) {
            std::string out;
            for (char c : s) {
                if (!std::isspace(static_cast<unsigned char>(c))) {
                    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
            }
            return out;
        };
        while (std::getline(in, line)) {
            const std::string key = line.substr(0, line.find('='));
            if (line.find('=') == std::string::npos || lower(key) != lower(port)) {
                lines.push_back(line);
            }
        }
    }
    lines.push_back(port + "=" + path);
    // The usual place, ~/.config/toplusms/, may not exist yet on a fresh machine.
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(file).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, ec);
    }
    const std::string tmp = file + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (const auto& l : lines) {
            out << l << '\n';
        }
        if (!out.flush()) {
            return false;
        }
    }
    return std::rename(tmp.c_str(), file.c_str()) == 0;
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
