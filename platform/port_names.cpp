#include "platform/port_names.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/trim.h"

namespace platform {

namespace {

// "COM<digits>" in any case, nothing else; the number must be 1 to 65535.
std::optional<int> parseComWord(const std::string& word) {
    if (word.size() < 4 || word.size() > 8) {
        return std::nullopt;
    }
    if (std::toupper(static_cast<unsigned char>(word[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(word[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(word[2])) != 'M') {
        return std::nullopt;
    }
    int n = 0;
    for (size_t i = 3; i < word.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(word[i]))) {
            return std::nullopt;
        }
        n = n * 10 + (word[i] - '0');
    }
    if (n < 1 || n > 65535) {
        return std::nullopt;
    }
    return n;
}

std::mutex g_heldMutex;
std::map<int, std::string> g_held;  // g_heldMutex

std::optional<std::string> heldPortPath(int n) {
    std::lock_guard lock(g_heldMutex);
    auto it = g_held.find(n);
    return it == g_held.end() ? std::nullopt : std::optional<std::string>(it->second);
}

}  // namespace

int holdPortNumber(const std::string& path) {
    std::lock_guard lock(g_heldMutex);
    for (int n = kFirstHeldPort; n <= 65535; ++n) {
        if (g_held.emplace(n, path).second) {
            return n;
        }
    }
    return 0;
}

void releasePortNumber(int n) {
    std::lock_guard lock(g_heldMutex);
    g_held.erase(n);
}

std::string portMapPath() {
    if (const char* p = std::getenv("TOPLUSMS_PORTS"); p && *p) {
        return p;
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/toplusms/ports.conf";
}

std::optional<std::string> lookupPortMap(const std::string& mapFile, int n) {
    std::ifstream in(mapFile);
    if (!in) {
        return std::nullopt;
    }
    std::string line;
    while (std::getline(in, line)) {
        line = trimBlanks(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        auto key = parseComWord(trimBlanks(line.substr(0, eq)));
        std::string path = trimBlanks(line.substr(eq + 1));
        if (key && *key == n && !path.empty()) {
            return path;
        }
    }
    return std::nullopt;
}

std::optional<std::string> bandPortPath(int n) {
    struct Band {
        int first;
        int last;
        const char* prefix;
    };
    static constexpr Band kBands[] = {
        {1, 4, "/dev/ttyS"},
        {5, 14, "/dev/ttyACM"},
        {15, 24, "/dev/ttyUSB"},
        {25, 34, "/dev/rfcomm"},
    };
    for (const auto& b : kBands) {
        if (n >= b.first && n <= b.last) {
            return std::string(b.prefix) + std::to_string(n - b.first);
        }
    }
    return std::nullopt;
}

std::optional<std::string> resolveComPort(int n) {
    if (n <= 0) {
        return std::nullopt;
    }
    if (auto held = heldPortPath(n)) {
        return held;
    }
    if (auto mapped = lookupPortMap(portMapPath(), n)) {
        return mapped;
    }
    return bandPortPath(n);
}

std::optional<int> parseComName(const std::string& name) {
    std::string word = name;
    static const std::string kPrefix = "\\\\.\\";
    if (word.rfind(kPrefix, 0) == 0) {
        word = word.substr(kPrefix.size());
    }
    return parseComWord(word);
}

std::optional<std::string> devicePathForName(const std::string& name) {
    if (auto n = parseComName(name)) {
        return resolveComPort(*n);
    }
    if (!name.empty() && name[0] == '/') {
        return name;
    }
    return std::nullopt;
}

}  // namespace platform
