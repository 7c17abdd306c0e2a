// toplusms-cli at COM COMMAND...: connects, sends each command as the program does and
// prints each reply.
#include <cstdio>
#include <string>

#include "platform/codepage_1254.h"
#include "tools/cli/command.h"
#include "tools/cli/phone_session.h"
#include "tools/cli/recording_options.h"

namespace cli {
namespace {

constexpr std::string_view kUsage = "[--trace] [--log] COM|--device PATH [--baud N] COMMAND...";

bool startsWithIgnoringCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'a' && c <= 'z') {
            c = char(c - 'a' + 'A');
        }
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

int runAt(std::span<const std::string_view> args) {
    args = takeRecordingOptions(args);
    std::vector<std::string_view> commands;
    const std::optional<PortChoice> choice = parsePortChoice(args, &commands, "at", kUsage);
    if (!choice) {
        return kExitUsage;
    }
    if (commands.empty()) {
        std::fprintf(stderr, "usage: toplusms-cli at %.*s\n", int(kUsage.size()), kUsage.data());
        return kExitUsage;
    }
    PhoneSession session(*choice);
    if (!session.connect()) {
        return kExitFailed;
    }
    bool allCompleted = true;
    for (std::string_view command : commands) {
        // The message submission waits for the prompt, every other command for OK.
        const std::string completion = startsWithIgnoringCase(command, "AT+CMGS=") ? ">" : "\r\nOK";
        // The phone reads code page 1254. A PDU ends in Ctrl-Z, which sends it: no CR.
        bool lossy = false;
        std::string bytes = platform::cp1254::fromUtf8(command, &lossy);
        if (lossy) {
            std::fprintf(stderr,
                         "toplusms-cli at: '%.*s' has characters code page 1254 lacks; "
                         "they are sent as '?'\n",
                         int(command.size()), command.data());
        }
        if (bytes.empty() || bytes.back() != '\x1a') {
            bytes += '\r';
        }
        std::string reply;
        try {
            reply = session.dialogue().SendCommand(bytes, completion);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", visible(e.what()).c_str());
            return kExitFailed;
        }
        std::printf("%s\n", visible(reply).c_str());
        std::fflush(stdout);
        if (session.dialogue().lastOutcome() != phone::CommandOutcome::Completed) {
            allCompleted = false;
        }
    }
    return allCompleted ? kExitOk : kExitFailed;
}

const CommandRegistration kRegistration(
    {"at", kUsage,
     "connect, send each COMMAND in code page 1254 (CR added, except after a PDU ending in "
     "Ctrl-Z) and print its reply with control characters made visible; exit 0 when every "
     "command completed",
     runAt});

}  // namespace
}  // namespace cli
