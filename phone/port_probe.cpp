#include "phone/port_probe.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/port_check.h"
#include "platform/port_names.h"
#include "platform/serial_device.h"
#include "platform/trim.h"

namespace phone {
namespace {

using Clock = std::chrono::steady_clock;

// How often a probe looks for bytes while it waits for an answer.
constexpr auto kReadPoll = std::chrono::milliseconds(5);
// A phone that chatters without end (a misbehaving device) is not read further.
constexpr size_t kMaxReply = 4096;

enum class Outcome { Ok, Error, NoAnswer };

std::vector<std::string> replyLines(const std::string& reply) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= reply.size()) {
        const size_t end = reply.find_first_of("\r\n", start);
        const std::string line =
            platform::trimBlanks(std::string_view(reply).substr(start, end - start));
        if (!line.empty()) {
            lines.push_back(line);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

bool isErrorLine(const std::string& line) {
    return line == "ERROR" || line.rfind("+CME ERROR", 0) == 0 || line.rfind("+CMS ERROR", 0) == 0;
}

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The result of a reply so far: a line "OK", an error line, or not yet.
Outcome resultOf(const std::string& reply) {
    // Only complete lines count: "OK" is not taken from half of "OKAY".
    const size_t lastBreak = reply.find_last_of("\r\n");
    if (lastBreak == std::string::npos) {
        return Outcome::NoAnswer;
    }
    for (const std::string& line : replyLines(reply.substr(0, lastBreak + 1))) {
        if (line == "OK") {
            return Outcome::Ok;
        }
        if (isErrorLine(line)) {
            return Outcome::Error;
        }
    }
    return Outcome::NoAnswer;
}

// Writes `command` and CR, then collects what comes until a result line or `waitMs`.
Outcome exchange(platform::SerialDevice& device, const std::string& command, int waitMs,
                 std::string& reply) {
    reply.clear();
    device.purge(true, true);
    const std::string line = command + "\r";
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    size_t written = 0;
    while (written < line.size()) {
        const int n = device.write(reinterpret_cast<const uint8_t*>(line.data()) + written,
                                   line.size() - written);
        if (n < 0) {
            return Outcome::NoAnswer;
        }
        written += size_t(n);
        if (written < line.size()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || device.waitWritable(int(left.count())) <= 0) {
                return Outcome::NoAnswer;
            }
        }
    }
    uint8_t buffer[256];
    while (Clock::now() < deadline && reply.size() < kMaxReply) {
        const int n = device.read(buffer, sizeof buffer);
        if (n < 0) {
            return Outcome::NoAnswer;  // gone
        }
        if (n == 0) {
            std::this_thread::sleep_for(kReadPoll);
            continue;
        }
        reply.append(reinterpret_cast<const char*>(buffer), size_t(n));
        if (const Outcome o = resultOf(reply); o != Outcome::NoAnswer) {
            return o;
        }
    }
    return Outcome::NoAnswer;
}

bool setSpeed(platform::SerialDevice& device, uint32_t baud) {
    platform::DeviceState state;
    if (device.getState(state) < 0) {
        return false;
    }
    state.baud = baud;
    state.byteSize = 8;
    state.parity = 0;
    state.stopBits = platform::kOneStopBit;
    state.dtrControl = platform::kDtrControlEnable;
    state.rtsControl = platform::kRtsControlEnable;
    state.outxCtsFlow = state.outxDsrFlow = state.outX = state.inX = false;
    return device.setState(state) >= 0;
}

// A port of the range whose device opens now.
struct Candidate {
    int port = 0;
    std::string path;
};

}  // namespace

std::vector<uint32_t> probeSpeeds(uint32_t first) {
    std::vector<uint32_t> speeds;
    for (const uint32_t baud : {first, 115200u, 19200u, 9600u}) {
        if (baud != 0 && std::find(speeds.begin(), speeds.end(), baud) == speeds.end()) {
            speeds.push_back(baud);
        }
    }
    return speeds;
}

std::string identityValue(const std::string& reply, const std::string& command) {
    for (const std::string& line : replyLines(reply)) {
        if (sameText(line, command)) {
            continue;  // the echo
        }
        if (line == "OK" || isErrorLine(line)) {
            return {};
        }
        std::string value = line;
        // "+CGMI: Maker" as some modems answer.
        if (value.front() == '+') {
            if (const size_t colon = value.find(':'); colon != std::string::npos) {
                value = platform::trimBlanks(std::string_view(value).substr(colon + 1));
            }
        }
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return {};
}

bool probeDevice(const std::string& path, const std::vector<uint32_t>& speeds, int answerMs,
                 int replyMs, ProbedPhone& phone) {
    int sysError = 0;
    const std::unique_ptr<platform::SerialDevice> device =
        platform::serialDeviceOpener()(path, sysError);
    if (!device) {
        return false;
    }
    std::string reply;
    for (const uint32_t baud : speeds) {
        if (!setSpeed(*device, baud)) {
            continue;
        }
        if (exchange(*device, "AT", answerMs, reply) != Outcome::Ok) {
            continue;
        }
        phone.baud = baud;
        const std::pair<const char*, std::string*> identity[] = {
            {"AT+CGMI", &phone.maker}, {"AT+CGMM", &phone.model}, {"AT+CGSN", &phone.imei}};
        for (const auto& [command, value] : identity) {
            *value = exchange(*device, command, replyMs, reply) == Outcome::Ok
                         ? identityValue(reply, command)
                         : std::string();
        }
        device->close();
        return true;
    }
    device->close();
    return false;
}

ProbeResult probePorts(const ProbeOptions& options) {
    ProbeResult result;
    // Device numbers already seen: the ports this program holds, then each probed one.
    std::set<dev_t> seen;
    auto deviceNumber = [](const std::string& path) -> std::optional<dev_t> {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
            return std::nullopt;
        }
        return st.st_rdev;
    };
    for (const int n : options.skip) {
        if (const auto path = platform::resolveComPort(n)) {
            if (const auto rdev = deviceNumber(*path)) {
                seen.insert(*rdev);
            }
        }
    }
    // Looked at one after the other: the holder and permission checks read the process
    // table and the group database, which are not for several threads at once.
    std::vector<Candidate> candidates;
    for (int n = options.firstPort; n <= options.lastPort; ++n) {
        if (options.skip.count(n) != 0) {
            continue;
        }
        const std::optional<std::string> path = platform::resolveComPort(n);
        if (!path) {
            continue;
        }
        const std::optional<dev_t> rdev = deviceNumber(*path);
        if (!rdev || !seen.insert(*rdev).second) {
            continue;
        }
        const platform::PortCheck check = platform::checkPort(*path);
        switch (check.problem) {
            case platform::PortProblem::None:
                candidates.push_back({n, *path});
                break;
            case platform::PortProblem::Held:
            case platform::PortProblem::NoPermission:
            case platform::PortProblem::Other:
                result.held.push_back(
                    {n, *path, platform::explainPortCheck(check, "Com" + std::to_string(n))});
                break;
            case platform::PortProblem::Missing:
            case platform::PortProblem::NotSerial:
                break;
        }
    }

    // One thread per port, each with its own device; a thread writes only its own slot.
    const std::vector<uint32_t> speeds = probeSpeeds(options.baud);
    std::vector<ProbedPhone> found(candidates.size());
    std::vector<char> answered(candidates.size(), 0);
    std::vector<std::thread> threads;
    threads.reserve(candidates.size());
    auto probe = [&](size_t i) {
        answered[i] =
            probeDevice(candidates[i].path, speeds, options.answerMs, options.replyMs, found[i]);
    };
    for (size_t i = 0; i < candidates.size(); ++i) {
        try {
            threads.emplace_back(probe, i);
        } catch (const std::system_error&) {
            probe(i);  // no thread to be had: this one on ours, more slowly
        }
    }
    for (std::thread& t : threads) {
        t.join();
    }

    std::set<std::string> imeis;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (!answered[i]) {
            continue;
        }
        ProbedPhone& phone = found[i];
        // A second port of the same modem: the first one stands for it.
        if (!phone.imei.empty() && !imeis.insert(phone.imei).second) {
            continue;
        }
        phone.port = candidates[i].port;
        phone.device = candidates[i].path;
        result.phones.push_back(std::move(phone));
    }
    return result;
}

}  // namespace phone
