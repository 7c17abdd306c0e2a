#pragma once
// Subcommands of toplusms-cli. Each lives in its own file and registers itself with a
// static CommandRegistration, so adding one means adding a file to the build and no more.

#include <span>
#include <string_view>
#include <vector>

namespace cli {

// Exit codes shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the operation itself failed
inline constexpr int kExitUsage = 2;   // wrong arguments

struct Command {
    std::string_view name;
    std::string_view usage;    // arguments after the name, for the help text
    std::string_view summary;  // one line
    // Gets the arguments after the subcommand's name; returns the exit code.
    int (*run)(std::span<const std::string_view> args);
};

const std::vector<Command>& commands();

struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

}  // namespace cli
