// phone-sim: a phone or GSM modem on a pseudo-terminal. Prints every command and every
// accepted message as it comes; reads events (ring, hangup, signal, battery) from stdin.

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codepage_1254.h"
#include "tools/phone-sim/message_options.h"
#include "tools/phone-sim/port_link.h"
#include "tools/phone-sim/simulator.h"

namespace {

const char kHelp[] = R"(Usage: phone-sim [options]

Plays a phone or GSM modem on a pseudo-terminal until interrupted (Ctrl-C), printing
each command received and each message accepted.

Line:
  --link PATH            make PATH a symbolic link to the pseudo-terminal (removed at exit)
  --port-map FILE        write the line "Com5=/dev/pts/N" into FILE (other lines are kept;
                         the line it replaced is put back at exit)
  --port NAME            port name for --port-map (default Com5)

Identity (answers to the information commands):
  --manufacturer TEXT    AT+CGMI            --model TEXT      AT+CGMM, AT+GMM
  --revision TEXT        AT+CGMR, AT+GMR    --imei TEXT       AT+CGSN
  --imsi TEXT            AT+CIMI            --operator TEXT   AT+COPS? (empty: no network)
  --sim-id TEXT          AT^SCID            --service-centre NUMBER   AT+CSCA?
  --signal N             AT+CSQ level, 0-31 or 99
  --battery N            AT+CBC charge in per cent
  --caller NUMBER        the number a ring reports
  --entry BOOK,INDEX,NUMBER,TEXT
                         a phonebook entry in BOOK (ME or SM); the text may hold commas.
                         The first --entry replaces the built-in example entries.

Faults:
  --echo-off             never echo, whatever ATE1 says
  --lower-ok             answer "ok" in place of "OK"
  --error CMD            answer CMD with ERROR (repeatable)
  --silent CMD           echo CMD but never answer it (repeatable)
  --ring-during CMD      put a ring in the middle of the answer to CMD (repeatable)
  --delay MS             wait MS milliseconds before every answer
  --pieces N             send every answer in pieces of N bytes ...
  --piece-gap MS         ... MS milliseconds apart (default 20)
  --refuse NUMBER        answer messages to NUMBER with +CMS ERROR (repeatable)
  --refuse-code N        the error code for --refuse (default 21)
  --hangup-after N       hang up (close the line) after answering N commands
  --hangup-after-messages N
                         after accepting N messages, hang up when the next PDU comes,
                         leaving it unanswered
  --network-error-after N
                         after accepting N messages, answer every further one with
                         "+CMS ERROR: 332" (network timeout)
  --submit-delay MS      take MS milliseconds to submit each message; a further AT+CMGS
                         meanwhile is answered "+CMS ERROR: 302"
  --silent-prompt        AT+CMGS waits for the PDU without sending the "> " prompt
  --prompt-timeout MS    give up a prompt whose PDU has not come within MS milliseconds
  --text-mode            start in text mode (AT+CMGF=1), and be back in it at every ATE1
                         (each connection finds it so)
  --sim-pin              the SIM wants its PIN (AT+CPIN? SIM PIN; messages refused)
  --not-registered       no network (AT+CREG? 0,0; messages refused)
  --cpin-delay MS        wait MS milliseconds before answering AT+CPIN? (a slow SIM)
  --sim-busy-once        answer the first AT+CPIN? with "+CME ERROR: 14" (SIM busy)
  --late CMD             echo CMD at once, answer it --late-ms later, out of turn: the
                         answers to later commands do not wait for it (repeatable)
  --late-ms MS           the delay of --late (default 2500)
  CMD is a command line as sent, compared ignoring case, either whole (AT+CPBR=?) or by
  its name before '=' or '?' (AT+CPBR stands for every AT+CPBR command).

Phonebook and character set faults:
  --silent-once CMD      echo CMD but answer it only when it is sent again (repeatable)
  --urc-before INDEX:LINE
                         send the unsolicited LINE (^RSSI: 3, +CMTI: "SM",4, RING) just
                         before the phonebook entry at INDEX (repeatable)
  --range-blanks         answer AT+CPBR=? with blanks in the range: (1 - N),40,18
  --first-location N     the phonebooks count their locations from N (0 or 1)
  --ucs2                 start in the UCS2 character set: phonebook numbers and names
                         come as UCS2 hex until AT+CSCS="GSM" or "IRA"
  --ucs2-insist          with --ucs2: refuse AT+CSCS="GSM" and "IRA"

Events, one per line on standard input:
  ring [NUMBER]   signal N   battery N   hangup   quit   sms NUMBER TEXT

  --help                 this text
)";

std::atomic<bool> g_interrupted{false};
int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    g_interrupted = true;
    const char b = 1;
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &b, 1);
}

std::mutex g_outMutex;

// Control characters of a command or text shown as escapes, so each record is one line.
std::string visible(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == 26) {
            out += "<Ctrl-Z>";
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void say(const std::string& line) {
    std::lock_guard lock(g_outMutex);
    std::cout << line << std::endl;
}

int toInt(const std::string& option, const std::string& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || v < -1000000 || v > 1000000) {
        std::cerr << "phone-sim: " << option << " needs a whole number, not '" << value << "'\n";
        std::exit(2);
    }
    return static_cast<int>(v);
}

// One event line from standard input; false when it asks to quit.
bool handleEvent(phonesim::Simulator& sim, const std::string& line) {
    std::istringstream in(line);
    std::string word, arg;
    in >> word >> arg;
    if (word.empty()) {
        return true;
    }
    if (word == "ring") {
        if (arg.empty()) {
            sim.ring();
        } else {
            sim.ring(arg, arg.starts_with('+') ? 145 : 129);
        }
        say("event: ring");
    } else if (word == "hangup") {
        sim.hangUp();
    } else if (word == "quit") {
        return false;
    } else if (word == "sms" && !arg.empty()) {
        // The text is the rest of the line after the number, blanks and all.
        const std::size_t at = line.find(arg, line.find("sms") + 3) + arg.size();
        const std::string text = at < line.size() ? line.substr(at + 1) : "";
        if (!sim.receiveSms({arg, text})) {
            say("event not understood: no message can come from " + visible(arg) +
                " with that text");
        }
    } else if ((word == "signal" || word == "battery") && !arg.empty() &&
               arg.find_first_not_of("0123456789") == std::string::npos && arg.size() < 4) {
        if (word == "signal") {
            sim.setSignal(std::stoi(arg));
        } else {
            sim.setBattery(std::stoi(arg));
        }
        say("event: " + word + " " + arg);
    } else {
        say("event not understood: " + visible(line) +
            " (ring [NUMBER], signal N, battery N, hangup, quit, sms NUMBER TEXT)");
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    phonesim::Config config;
    std::string link, portMap, port = "Com5";
    bool ownEntries = false;

    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) {
                std::cerr << "phone-sim: " << a << " needs a value (see --help)\n";
                std::exit(2);
            }
            return args[++i];
        };
        phonesim::Faults& f = config.faults;
        std::string optionError;
        if (a == "--help" || a == "-h") {
            std::cout << kHelp << phonesim::kMessageHelp;
            return 0;
        } else if (a == "--link") {
            link = value();
        } else if (a == "--port-map") {
            portMap = value();
        } else if (a == "--port") {
            port = value();
        } else if (a == "--manufacturer") {
            config.manufacturer = value();
        } else if (a == "--model") {
            config.model = value();
        } else if (a == "--revision") {
            config.revision = value();
        } else if (a == "--imei") {
            config.imei = value();
        } else if (a == "--imsi") {
            config.imsi = value();
        } else if (a == "--operator") {
            config.operatorName = value();
        } else if (a == "--sim-id") {
            config.simId = value();
        } else if (a == "--service-centre") {
            config.serviceCentre = value();
            config.serviceCentreType = config.serviceCentre.starts_with('+') ? 145 : 129;
        } else if (a == "--signal") {
            config.signal = toInt(a, value());
        } else if (a == "--battery") {
            config.charge = toInt(a, value());
        } else if (a == "--caller") {
            config.callerNumber = value();
        } else if (a == "--entry") {
            const std::string v = value();
            std::vector<std::string> parts;
            std::size_t start = 0;
            for (int k = 0; k < 3; ++k) {
                const std::size_t comma = v.find(',', start);
                if (comma == std::string::npos) {
                    break;
                }
                parts.push_back(v.substr(start, comma - start));
                start = comma + 1;
            }
            if (parts.size() != 3) {
                std::cerr << "phone-sim: --entry needs BOOK,INDEX,NUMBER,TEXT\n";
                return 2;
            }
            if (!ownEntries) {
                for (auto& [name, book] : config.phonebooks) {
                    book.entries.clear();
                }
                ownEntries = true;
            }
            std::string book = parts[0];
            for (char& c : book) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            const int index = toInt(a, parts[1]);
            auto& target = config.phonebooks[book];
            // 0 is a location for --first-location 0, which may come later.
            if (index < 0 || index > target.capacity) {
                std::cerr << "phone-sim: --entry index must be 0-" << target.capacity << "\n";
                return 2;
            }
            target.entries.push_back(
                {index, parts[2], parts[2].starts_with('+') ? 145 : 129, v.substr(start)});
        } else if (a == "--echo-off") {
            f.echoOff = true;
        } else if (a == "--lower-ok") {
            f.lowerCaseOk = true;
        } else if (a == "--error") {
            f.errorFor.insert(value());
        } else if (a == "--silent") {
            f.silentFor.insert(value());
        } else if (a == "--ring-during") {
            f.ringDuring.insert(value());
        } else if (a == "--delay") {
            f.delayMs = std::max(0, toInt(a, value()));
        } else if (a == "--pieces") {
            f.pieceSize = static_cast<std::size_t>(std::max(0, toInt(a, value())));
        } else if (a == "--piece-gap") {
            f.pieceGapMs = std::max(0, toInt(a, value()));
        } else if (a == "--refuse") {
            f.refuseNumbers.insert(value());
        } else if (a == "--refuse-code") {
            f.refuseCode = toInt(a, value());
        } else if (a == "--hangup-after") {
            f.hangUpAfter = std::max(0, toInt(a, value()));
        } else if (a == "--hangup-after-messages") {
            f.hangUpAfterMessages = std::max(0, toInt(a, value()));
        } else if (a == "--network-error-after") {
            f.networkErrorAfter = std::max(0, toInt(a, value()));
        } else if (a == "--submit-delay") {
            f.submitDelayMs = std::max(0, toInt(a, value()));
        } else if (a == "--prompt-timeout") {
            f.promptTimeoutMs = std::max(0, toInt(a, value()));
        } else if (a == "--silent-prompt") {
            f.silentPrompt = true;
        } else if (a == "--text-mode") {
            f.textMode = true;
        } else if (a == "--sim-pin") {
            f.simPin = true;
        } else if (a == "--not-registered") {
            f.notRegistered = true;
        } else if (a == "--silent-once") {
            f.silentOnceFor.insert(value());
        } else if (a == "--urc-before") {
            const std::string v = value();
            const std::size_t colon = v.find(':');
            if (colon == std::string::npos || colon + 1 >= v.size()) {
                std::cerr << "phone-sim: --urc-before needs INDEX:LINE\n";
                return 2;
            }
            f.urcBeforeEntry[toInt(a, v.substr(0, colon))] = v.substr(colon + 1);
        } else if (a == "--range-blanks") {
            f.rangeWithBlanks = true;
        } else if (a == "--first-location") {
            f.firstLocation = std::clamp(toInt(a, value()), 0, 1);
        } else if (a == "--ucs2") {
            f.ucs2 = true;
        } else if (a == "--ucs2-insist") {
            f.ucs2 = f.ucs2Insisting = true;
        } else if (a == "--cpin-delay") {
            f.cpinDelayMs = std::max(0, toInt(a, value()));
        } else if (a == "--sim-busy-once") {
            f.simBusyOnce = true;
        } else if (a == "--late") {
            f.lateFor.insert(value());
        } else if (a == "--late-ms") {
            f.lateMs = std::max(0, toInt(a, value()));
        } else if (const auto taken =
                       phonesim::takeMessageOption(a, value, config.messaging, &optionError);
                   taken != phonesim::OptionResult::NotMine) {
            if (taken == phonesim::OptionResult::Bad) {
                std::cerr << "phone-sim: " << optionError << " (see --help)\n";
                return 2;
            }
        } else {
            std::cerr << "phone-sim: unknown option " << a << " (see --help)\n";
            return 2;
        }
    }

    // Commands come in code page 1254; the terminal reads UTF-8.
    config.onCommand = [](const std::string& c) {
        say("command: " + visible(platform::cp1254::toUtf8(c)));
    };
    config.onRefusal = [](const std::string& why) { say("refused: " + visible(why)); };
    config.onSmsEvent = [](const phonesim::SmsEvent& e) {
        say("sms: " + visible(phonesim::describe(e)));
    };
    config.onMessage = [](const phonesim::AcceptedMessage& m) {
        const phonesim::SubmitPdu& p = m.pdu;
        say("message: #" + std::to_string(m.reference) + " to " + visible(p.destination) +
            " (type " + std::to_string(p.addressType) + "), " + phonesim::codingName(p.coding) +
            (p.messageClass == 0 ? " flash" : "") + ", length " + std::to_string(m.declaredLength) +
            ", " + std::to_string(p.userDataLength) +
            (p.coding == phonesim::Coding::Gsm7 ? " septets" : " octets") + ": " + visible(p.text));
    };

    if (::pipe(g_signalPipe) != 0) {
        std::perror("phone-sim: pipe");
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);

    phonesim::Simulator sim(config);
    std::string error;
    if (!sim.start(&error)) {
        std::cerr << "phone-sim: " << error << "\n";
        return 1;
    }
    const std::string path = sim.slavePath();
    say("phone-sim: " + path);
    if (!link.empty()) {
        if (!phonesim::makeLink(link, path, &error)) {
            std::cerr << "phone-sim: " << error << "\n";
            return 1;
        }
        say("phone-sim: link " + link + " -> " + path);
    }
    // The line our port had before, put back when we end however we end.
    std::optional<std::string> replacedLine;
    if (!portMap.empty()) {
        if (!phonesim::writePortMap(portMap, port, path, &replacedLine)) {
            std::cerr << "phone-sim: cannot write " << portMap << ": " << std::strerror(errno)
                      << "\n";
            if (!link.empty()) {
                phonesim::removeLinkIfOurs(link, path);
            }
            return 1;
        }
        say("phone-sim: " + portMap + ": " + port + "=" + path);
    }

    bool readStdin = true;
    std::string pending;
    while (!g_interrupted && !sim.hungUp()) {
        // A terminal is read only while we are in its foreground: a read from the
        // background would stop the process (SIGTTIN).
        const bool foreground = !::isatty(0) || ::tcgetpgrp(0) == ::getpgrp();
        struct pollfd fds[2] = {{readStdin && foreground ? 0 : -1, POLLIN, 0},
                                {g_signalPipe[0], POLLIN, 0}};
        if (::poll(fds, 2, 200) <= 0) {
            continue;
        }
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buf[512];
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n <= 0) {
                readStdin = false;  // end of input: keep answering until interrupted
                continue;
            }
            pending.append(buf, static_cast<std::size_t>(n));
            std::size_t nl;
            bool quit = false;
            while (!quit && (nl = pending.find('\n')) != std::string::npos) {
                quit = !handleEvent(sim, pending.substr(0, nl));
                pending.erase(0, nl + 1);
            }
            if (quit) {
                break;
            }
        }
    }
    const bool hungUp = sim.hungUp();
    sim.stop();
    if (!link.empty()) {
        phonesim::removeLinkIfOurs(link, path);
    }
    if (!portMap.empty() && !phonesim::restorePortMap(portMap, port, path, replacedLine)) {
        std::cerr << "phone-sim: cannot restore " << portMap << "\n";
    }
    say(hungUp ? "phone-sim: hung up" : "phone-sim: stopped");
    return 0;
}
