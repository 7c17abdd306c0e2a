// Runs the built toplusms-cli and checks what it prints and how it exits.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

CliRun runCli(std::vector<std::string> args) {
    args.insert(args.begin(), TOPLUSMS_CLI);
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]), close(outPipe[1]), close(errPipe[0]), close(errPipe[1]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    CliRun r;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open = 2;
    while (open > 0 && poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(CliPdu, PrintsThePduAndItsLength) {
    struct Case {
        const char* number;
        const char* text;
        const char* out;
    };
    const Case cases[] = {
        {"+123456789", "abc", "001100099121436587F90000FF0361F118\n16\n"},
        {"0123456789", "Şeker", "0011000A8110325476980008FF0A015E0065006B00650072\n23\n"},
        {"0532 123-45-67", "", "0011000B815023214365F70000FF00\n14\n"},
    };
    for (const auto& c : cases) {
        const CliRun r = runCli({"pdu", c.number, c.text});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST(CliPdu, OnePairPerPartAndTheTurkishTables) {
    // 161 septets take two parts under one reference: a PDU line and a length line each.
    const CliRun r = runCli({"pdu", "0123456789", std::string(161, 'a')});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(r.out.substr(at, end - at));
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 36),
              "0051000A8110325476980000FFA0050003" + lines[0].substr(34, 2));
    EXPECT_EQ(lines[0].substr(36, 4), "0201");
    EXPECT_EQ(lines[1], "153");
    EXPECT_EQ(lines[2].substr(26, 14), "0F050003" + lines[0].substr(34, 2) + "0202");
    EXPECT_EQ(lines[3], std::to_string((lines[2].size() - 2) / 2));

    const CliRun t = runCli({"pdu", "--turkish", "0123456789", "Şeker"});
    EXPECT_EQ(t.exitCode, 0) << t.err;
    EXPECT_EQ(t.out, "0051000A8110325476980000FF0B03240101D84CCBEBB21C\n23\n");
}

TEST(CliPdu, RefusedNumbersAndBadArguments) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* err;  // expected start of stderr
    };
    const Case cases[] = {
        {{"pdu", "", "merhaba"}, 1, "Error encoding PDU\n"},
        {{"pdu", "0532\rATD112;", "x"}, 1, "Error encoding PDU\n"},
        {{"pdu", "12", std::string(255 * 153 + 1, 'a')}, 1, "Error encoding PDU\n"},
        {{"pdu", "12", "\xC3("}, 2, "toplusms-cli pdu: arguments must be UTF-8"},
        {{"pdu", "12"}, 2, "usage: toplusms-cli pdu [--turkish] NUMBER TEXT"},
        {{}, 2, "usage: toplusms-cli COMMAND"},
        {{"nosuch"}, 2, "toplusms-cli: unknown command 'nosuch'"},
    };
    for (const auto& c : cases) {
        const CliRun r = runCli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
    }
}

// Several phones are named as a comma list or with --device repeated; each once.
TEST(CliBulk, PortListsThatNameNoPhoneOrOneTwiceAreRefused) {
    struct Case {
        std::vector<std::string> args;
        const char* err;  // expected start of stderr
    };
    const Case cases[] = {
        {{"bulk", "Com5,Com5", "--numbers", "x", "--text", "t"}, "usage: toplusms-cli bulk"},
        {{"bulk", "Com5", "--device", "/tmp/a", "--device", "/tmp/a", "--numbers", "x", "--text",
          "t"},
         "usage: toplusms-cli bulk"},
        {{"bulk", "Com5,", "--numbers", "x", "--text", "t"},
         "toplusms-cli bulk: '' is no port name"},
        {{"bulk", "Com5,Com51", "--numbers", "x", "--text", "t"},
         "toplusms-cli bulk: 'Com51' is no port name"},
        {{"bulk", "--numbers", "x", "--text", "t"}, "usage: toplusms-cli bulk"},
        {{"bulk", "Com5", "--numbers", "x", "--text", "t", "--daily-limit", "-1"},
         "usage: toplusms-cli bulk"},
        {{"resume", "Com5,Com6", "--daily-limit"}, "usage: toplusms-cli resume"},
    };
    for (const auto& c : cases) {
        const CliRun r = runCli(c.args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
    }
}

TEST(CliPdu, HelpListsThePduCommand) {
    const CliRun r = runCli({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("pdu [--turkish] NUMBER TEXT"), std::string::npos) << r.out;
}

TEST(CliImport, PrintsTheEntriesOfAWorkbookOrATextFile) {
    const std::string fixtures = TOPLUSMS_RECIPIENT_FIXTURES;
    const std::string dir = testing::TempDir();
    // The kind comes from the extension in any letter case.
    const std::string upper = dir + "/BOOK.XLSX";
    {
        std::ifstream in(fixtures + "/book.xlsx", std::ios::binary);
        std::ofstream(upper, std::ios::binary) << in.rdbuf();
    }
    CliRun r = runCli({"import", upper});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "905321112233\n");
    r = runCli({"import", fixtures + "/book.ods", "--column", "2", "--first", "3", "--last", "4"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Ayşe\nFatma, Hanım\n");

    const std::string text = dir + "/numbers.dat";
    std::ofstream(text, std::ios::binary) << "0532 111\r\n\xFE\r\n";
    r = runCli({"import", text, "--column", "5"});  // a text file ignores the options
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0532\n111\nş\n");
}

TEST(CliImport, FailuresAndUsageErrors) {
    const std::string fixtures = TOPLUSMS_RECIPIENT_FIXTURES;
    const struct {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{"import", fixtures + "/truncated.xlsx"}, 1},
        {{"import", fixtures + "/missing.txt"}, 1},
        {{"import", fixtures + "/book.xls", "--last", "2000000"}, 1},
        {{"import"}, 2},
        {{"import", fixtures + "/book.xls", "--column"}, 2},
        {{"import", fixtures + "/book.xls", "--first", "0"}, 2},
        {{"import", fixtures + "/book.xls", "--last", "x"}, 2},
        {{"import", fixtures + "/book.xls", "--sheet", "2"}, 2},
        {{"import", "a.xls", "b.xls"}, 2},
    };
    for (const auto& c : cases) {
        const CliRun r = runCli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.back() << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(r.err.empty());
    }
}

TEST(CliNumbers, PrintsEachEntrysNormalFormAndKindThenTheRepeats) {
    const std::string file = testing::TempDir() + "/rehber-numbers.txt";
    // 1254 bytes as rehber.txt holds them ("Şule" is 0xDE u l e), LF and CR LF line ends.
    std::ofstream(file, std::ios::binary) << "0532 111 22 33\r\n+905321112233\n\xDEule\r\n"
                                             "0212 555 66 77\r\n\r\n905321112233\r\n";
    const CliRun r = runCli({"numbers", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "0532 111 22 33\t+905321112233\tmobil\n"
              "+905321112233\t+905321112233\tmobil\n"
              "Şule\t\tgeçersiz\n"
              "0212 555 66 77\t+902125556677\tsabit hat\n"
              "\t\tgeçersiz\n"
              "905321112233\t+905321112233\tmobil\n"
              "2 tekrar\n");

    EXPECT_EQ(runCli({"numbers", file + ".missing"}).exitCode, 1);
    EXPECT_EQ(runCli({"numbers"}).exitCode, 2);
    EXPECT_EQ(runCli({"numbers", file, file}).exitCode, 2);
}

}  // namespace
