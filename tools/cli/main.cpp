// toplusms-cli: development tool over the program's libraries, one subcommand per file.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cli/command.h"

namespace cli {
namespace {

std::vector<Command>& registry() {
    static std::vector<Command> all;  // filled before main by the static registrations
    return all;
}

void printUsage(std::FILE* out) {
    std::fprintf(out, "usage: toplusms-cli COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const Command& c : commands()) {
        std::fprintf(out, "  %.*s %.*s\n      %.*s\n", int(c.name.size()), c.name.data(),
                     int(c.usage.size()), c.usage.data(), int(c.summary.size()), c.summary.data());
    }
}

}  // namespace

const std::vector<Command>& commands() {
    return registry();
}

CommandRegistration::CommandRegistration(const Command& command) {
    auto& all = registry();
    all.push_back(command);
    std::sort(all.begin(), all.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
}

}  // namespace cli

int main(int argc, char** argv) {
    if (argc < 2) {
        cli::printUsage(stderr);
        return cli::kExitUsage;
    }
    const std::string_view name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        cli::printUsage(stdout);
        return cli::kExitOk;
    }
    for (const cli::Command& c : cli::commands()) {
        if (c.name == name) {
            const std::vector<std::string_view> args(argv + 2, argv + argc);
            return c.run(args);
        }
    }
    std::fprintf(stderr, "toplusms-cli: unknown command '%s'\n\n", argv[1]);
    cli::printUsage(stderr);
    return cli::kExitUsage;
}
