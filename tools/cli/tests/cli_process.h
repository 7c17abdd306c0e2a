#pragma once
// toplusms-cli as a child process for the tests: run to its end with its output, or in
// the background to be killed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace cli::testing {

struct CliRun {
    int exitCode = -1;
    std::string out;  // stdout, with stderr unless run apart
    std::string err;  // stderr when run apart
};

namespace detail {
inline CliRun runShell(const std::string& line) {
    CliRun r;
    FILE* p = ::popen(line.c_str(), "r");
    if (p == nullptr) {
        r.err = "popen failed";
        return r;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        r.out.append(buf, n);
    }
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
}  // namespace detail

// Runs the cli to its end, stdout and stderr together.
inline CliRun runCli(const std::string& args) {
    return detail::runShell(std::string(TOPLUSMS_CLI) + " " + args + " 2>&1");
}

// Runs the cli with stdout (the data) and stderr kept apart; `errFile` holds stderr.
inline CliRun runCliApart(const std::string& args, const std::string& errFile) {
    CliRun r = detail::runShell(std::string(TOPLUSMS_CLI) + " " + args + " 2>" + errFile);
    std::ifstream in(errFile, std::ios::binary);
    r.err.assign(std::istreambuf_iterator<char>(in), {});
    return r;
}

// The cli in the background; stdout and stderr into `outputFile`, or thrown away.
inline pid_t spawnCli(const std::vector<std::string>& args, const std::string& outputFile = {}) {
    std::vector<char*> argv;
    std::string program = TOPLUSMS_CLI;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const std::string output = outputFile.empty() ? "/dev/null" : outputFile;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for a child to end: its exit code, -1 when it did not exit by itself.
inline int exitCodeOf(pid_t pid) {
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Points the cli children at a port-map file for its lifetime (TOPLUSMS_PORTS).
class PortMapInEnvironment {
public:
    explicit PortMapInEnvironment(const std::string& file) {
        ::setenv("TOPLUSMS_PORTS", file.c_str(), 1);
    }
    ~PortMapInEnvironment() { ::unsetenv("TOPLUSMS_PORTS"); }
    PortMapInEnvironment(const PortMapInEnvironment&) = delete;
    PortMapInEnvironment& operator=(const PortMapInEnvironment&) = delete;
};

}  // namespace cli::testing
