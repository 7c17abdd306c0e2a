#pragma once
// toplusms-cli as a child process for the tests: run to its end with its output, or in
// the background to be killed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace cli::testing {

struct CliRun {
    int exitCode = -1;
    std::string out;  // stdout and stderr together
};

inline CliRun runCli(const std::string& args) {
    CliRun r;
    FILE* p = ::popen((std::string(TOPLUSMS_CLI) + " " + args + " 2>&1").c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        r.out.append(buf, n);
    }
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// The cli in the background, its output thrown away.
inline pid_t spawnCli(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string program = TOPLUSMS_CLI;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

}  // namespace cli::testing
