#include "tools/cli/phone_session.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <utility>

#include "phone/str_to_int.h"
#include "platform/codepage_1254.h"
#include "platform/port_check.h"
#include "serial/exception_display.h"
#include "serial/pump.h"
#include "tools/cli/command.h"

namespace cli {

namespace {

// Ports named through --device use the last number, which only a map file reaches.
constexpr int kDevicePortNumber = 50;

std::optional<int> parseComName(std::string_view s) {
    if (s.size() < 4 || (s[0] != 'C' && s[0] != 'c') || (s[1] != 'O' && s[1] != 'o') ||
        (s[2] != 'M' && s[2] != 'm')) {
        return std::nullopt;
    }
    int n = 0;
    for (char c : s.substr(3)) {
        if (c < '0' || c > '9' || n > 1000) {
            return std::nullopt;
        }
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > 50) {
        return std::nullopt;
    }
    return n;
}

volatile std::sig_atomic_t g_stopRequested = 0;

void onStopSignal(int) {
    g_stopRequested = 1;
}

}  // namespace

std::optional<PortChoice> parsePortChoice(std::span<const std::string_view> args,
                                          std::vector<std::string_view>* rest,
                                          std::string_view command, std::string_view usage) {
    PortChoice choice;
    bool havePort = false;
    bool bad = false;
    for (size_t i = 0; i < args.size() && !bad; ++i) {
        const std::string_view a = args[i];
        if ((a == "--baud" || a == "--device") && i + 1 < args.size()) {
            if (a == "--baud") {
                choice.speed = std::string(args[++i]);
            } else if (havePort) {
                bad = true;
            } else {
                choice.devicePath = std::string(args[++i]);
                choice.number = kDevicePortNumber;
                choice.name = choice.devicePath;
                havePort = true;
            }
        } else if (a == "--baud" || a == "--device") {
            bad = true;
        } else if (!havePort) {
            const std::optional<int> n = parseComName(a);
            if (!n) {
                std::fprintf(stderr, "toplusms-cli %.*s: '%.*s' is no port name (Com1 ... Com50)\n",
                             int(command.size()), command.data(), int(a.size()), a.data());
                return std::nullopt;
            }
            choice.number = *n;
            choice.name = "Com" + std::to_string(*n);
            havePort = true;
        } else if (rest != nullptr) {
            rest->push_back(a);
        } else {
            bad = true;
        }
    }
    if (bad || !havePort) {
        std::fprintf(stderr, "usage: toplusms-cli %.*s %.*s\n", int(command.size()), command.data(),
                     int(usage.size()), usage.data());
        return std::nullopt;
    }
    return choice;
}

std::optional<std::vector<PortChoice>> parsePortChoices(std::span<const std::string_view> args,
                                                        std::vector<std::string_view>* rest,
                                                        std::string_view command,
                                                        std::string_view usage) {
    std::vector<PortChoice> choices;
    std::string speed = "115200";
    bool bad = false;
    bool haveComList = false;
    const auto add = [&](PortChoice choice) {
        for (const PortChoice& c : choices) {
            bad = bad || c.name == choice.name;
        }
        choices.push_back(std::move(choice));
    };
    for (size_t i = 0; i < args.size() && !bad; ++i) {
        const std::string_view a = args[i];
        if (a == "--baud" || a == "--device") {
            if (i + 1 >= args.size()) {
                bad = true;
            } else if (a == "--baud") {
                speed = std::string(args[++i]);
            } else {
                PortChoice choice;
                choice.devicePath = std::string(args[++i]);
                choice.number = kDevicePortNumber;
                choice.name = choice.devicePath;
                add(std::move(choice));
            }
        } else if (!haveComList && (a.starts_with("C") || a.starts_with("c"))) {
            haveComList = true;
            for (size_t start = 0; start <= a.size();) {
                const size_t comma = std::min(a.find(',', start), a.size());
                const std::string_view name = a.substr(start, comma - start);
                const std::optional<int> n = parseComName(name);
                if (!n) {
                    std::fprintf(
                        stderr, "toplusms-cli %.*s: '%.*s' is no port name (Com1 ... Com50)\n",
                        int(command.size()), command.data(), int(name.size()), name.data());
                    return std::nullopt;
                }
                PortChoice choice;
                choice.number = *n;
                choice.name = "Com" + std::to_string(*n);
                add(std::move(choice));
                start = comma + 1;
            }
        } else if (rest != nullptr) {
            rest->push_back(a);
        } else {
            bad = true;
        }
    }
    if (bad || choices.empty()) {
        std::fprintf(stderr, "usage: toplusms-cli %.*s %.*s\n", int(command.size()), command.data(),
                     int(usage.size()), usage.data());
        return std::nullopt;
    }
    for (PortChoice& c : choices) {
        c.speed = speed;
    }
    return choices;
}

void ConsoleView::setStatusPanel(int index, const std::string& text) {
    if (index < 0 || index > 2 || m_panels[index] == text) {
        return;
    }
    m_panels[index] = text;
    if (m_printing) {
        print("panel " + std::to_string(index) + ": " + text);
    }
}

void ConsoleView::addInfoRow(const std::string& caption, const std::string& value) {
    m_rows.emplace_back(caption, value);
}

void ConsoleView::setSignalGauge(int percent) {
    if (std::exchange(m_signal, percent) != percent && m_reporting) {
        print("Sinyal: " + std::to_string(percent) + "%");
    }
}

void ConsoleView::setBatteryGauge(int percent) {
    if (std::exchange(m_battery, percent) != percent && m_reporting) {
        print("Batarya: " + std::to_string(percent) + "%");
    }
}

void ConsoleView::setLabel(int number, const std::string& text) {
    if (number == 2 || number == 3) {
        m_labels[number - 2] = text;
    }
}

void ConsoleView::setRefreshEnabled(bool enabled) {
    if (onRefreshSwitched) {
        onRefreshSwitched(enabled);
    }
}

void ConsoleView::setClearEnabled(bool enabled) {
    // The call display switches tiClear on when it has written the labels and off when
    // it has emptied them: the moments to show what changed.
    if (m_reporting) {
        std::string shown = m_labels[0];
        if (!m_labels[1].empty()) {
            shown += (shown.empty() ? "" : " ") + m_labels[1];
        }
        if (shown != m_callShown) {
            print(shown.empty() ? platform::cp1254::fromUtf8("Çağrı bitti") : shown);
            m_callShown = shown;
        }
    }
    if (onClearSwitched) {
        onClearSwitched(enabled);
    }
}

void ConsoleView::reportChanges() {
    m_reporting = true;
    m_start = std::chrono::steady_clock::now();
}

void ConsoleView::print(const std::string& text) {
    if (m_reporting) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - m_start)
                            .count();
        std::fprintf(out, "%lld ", static_cast<long long>(ms));
    }
    std::fprintf(out, "%s\n", visible(text).c_str());
    std::fflush(out);
}

std::string ConsoleView::portText() const {
    return platform::cp1254::fromUtf8(m_choice.name);
}

PhoneSession::PhoneSession(PortChoice choice) : m_choice(std::move(choice)) {
    if (!m_choice.devicePath.empty()) {
        // A name nobody can guess: a planted file or link there would redirect the port.
        std::string name =
            (std::filesystem::temp_directory_path() / "toplusms-cli-XXXXXX").string();
        const int fd = ::mkstemp(name.data());
        if (fd < 0) {
            std::fprintf(stderr, "toplusms-cli: cannot make a temporary port map: %s\n",
                         std::strerror(errno));
        } else {
            m_mapFile = name;
            const std::string line =
                "Com" + std::to_string(m_choice.number) + "=" + m_choice.devicePath + "\n";
            const bool written = ::write(fd, line.data(), line.size()) == ssize_t(line.size());
            ::close(fd);
            if (written) {
                ::setenv("TOPLUSMS_PORTS", m_mapFile.c_str(), 1);
            }
        }
    }
    serial::setMessageQueue(&m_queue);
    serial::setExceptionDisplay([](const std::exception& e) {
        std::fprintf(stderr, "%s\n", platform::cp1254::toUtf8(e.what()).c_str());
    });
    m_port.SetAutoOpen(false);
    phone::routePortEvents(m_port, m_dialogue);
}

PhoneSession::~PhoneSession() {
    try {
        disconnect();
    } catch (const std::exception&) {
        // The port is going away with the program.
    }
    serial::setExceptionDisplay(nullptr);
    serial::setMessageQueue(nullptr);
    if (!m_mapFile.empty()) {
        std::error_code ignored;
        std::filesystem::remove(m_mapFile, ignored);
    }
}

bool PhoneSession::connect() {
    bool connected = false;
    try {
        m_dialogue.btnOpenClick();
        connected = m_dialogue.state().IsConnected;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", platform::cp1254::toUtf8(e.what()).c_str());
    }
    // Whatever the serial layer said, the user learns why the device did not open.
    if (!connected && !m_port.Open()) {
        if (const std::string why = platform::explainComPort(m_choice.number); !why.empty()) {
            m_view.setStatusPanel(1, why);
        }
    }
    return connected;
}

void PhoneSession::disconnect() {
    if (m_dialogue.state().IsConnected) {
        m_dialogue.btnOpenClick();
    }
    m_port.SetOpen(false);
}

std::string visible(std::string_view bytes) {
    std::string plain;
    std::string out;
    auto flush = [&] {
        out += platform::cp1254::toUtf8(plain);
        plain.clear();
    };
    for (unsigned char c : bytes) {
        if (c >= 32 && c != 127 && c != '\\') {
            plain.push_back(char(c));
            continue;
        }
        flush();
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    flush();
    return out;
}

std::optional<int> parseStaySeconds(std::span<const std::string_view> rest) {
    if (rest.empty()) {
        return -1;
    }
    if (rest.size() != 2 || rest[0] != "--seconds") {
        return std::nullopt;
    }
    try {
        const int seconds = phone::StrToInt(rest[1]);
        return seconds >= 0 ? std::optional<int>(seconds) : std::nullopt;
    } catch (const phone::EConvertError&) {
        return std::nullopt;
    }
}

StopSignals::StopSignals() {
    g_stopRequested = 0;
    m_previousInt = std::signal(SIGINT, onStopSignal);
    m_previousTerm = std::signal(SIGTERM, onStopSignal);
}

StopSignals::~StopSignals() {
    std::signal(SIGINT, m_previousInt);
    std::signal(SIGTERM, m_previousTerm);
}

bool StopSignals::requested() const {
    return g_stopRequested != 0;
}

}  // namespace cli
