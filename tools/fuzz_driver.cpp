// Runs a fuzz target without libFuzzer, so that it can take part in the ordinary test
// suite: first every file of the given corpus folders (the seeds and the inputs that once
// failed, so that a fault found once stays found), then a fixed number of generated
// inputs from a seeded generator biased towards the bytes that matter to a text protocol
// (deterministic, so that a run can be repeated).
//
//   fuzz-NAME [RUNS] [FOLDER...]
//
// When an input fails, the driver names it; a generated one is also written to
// "fuzz-failed-input" in the current folder, ready to be added to the target's corpus.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Present only in a sanitizer build: called before the sanitizer ends the process.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

constexpr const char* kFailedInputFile = "fuzz-failed-input";

// What runs now, for the report of a failure. Written before each input and read only
// by the failure report, which runs on the same thread.
char g_current[4096];
const std::vector<uint8_t>* g_generated = nullptr;

void writeAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n <= 0) {
            return;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
}

// Runs inside a signal handler or the sanitizer's death callback: only plain system calls.
void reportFailure() {
    static const char kLead[] = "\nfuzz driver: the failing input is ";
    writeAll(2, kLead, sizeof kLead - 1);
    writeAll(2, g_current, std::strlen(g_current));
    writeAll(2, "\n", 1);
    if (g_generated) {
        const int fd = ::open(kFailedInputFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            writeAll(fd, g_generated->data(), g_generated->size());
            ::close(fd);
            static const char kSaved[] = "fuzz driver: written to fuzz-failed-input\n";
            writeAll(2, kSaved, sizeof kSaved - 1);
        }
    }
}

void onFatalSignal(int sig) {
    reportFailure();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void setCurrent(const std::string& what) {
    const size_t n = std::min(what.size(), sizeof g_current - 1);
    std::memcpy(g_current, what.data(), n);
    g_current[n] = '\0';
}

// Every file under the folders, in name order; a name starting with '.' is not an input.
std::vector<std::filesystem::path> corpusFiles(const std::vector<std::filesystem::path>& folders) {
    std::vector<std::filesystem::path> files;
    for (const auto& folder : folders) {
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) {
            std::fprintf(stderr, "fuzz driver: no corpus folder %s\n", folder.c_str());
            continue;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    std::vector<std::filesystem::path> folders(argv + std::min(argc, 2), argv + argc);

    // A failed check aborts; a sanitizer reports the rest itself and then calls back, and
    // its own handlers of the other signals must stay in place.
    std::signal(SIGABRT, onFatalSignal);
    if (__sanitizer_set_death_callback) {
        __sanitizer_set_death_callback(reportFailure);
    } else {
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
            std::signal(sig, onFatalSignal);
        }
    }

    const auto files = corpusFiles(folders);
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        setCurrent(file.string());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }

    std::mt19937 rng(20261209);
    static const uint8_t kInteresting[] = {0,    '\r', '\n', 26,   27,   '"',  ',', ':',
                                           ' ',  '+',  '0',  '9',  'A',  'O',  'K', 'a',
                                           0x7F, 0x80, 0xA9, 0xD0, 0xDD, 0xFE, 0xFF};
    std::vector<uint8_t> buf;
    g_generated = &buf;
    for (long i = 0; i < runs; ++i) {
        const size_t len = rng() % (i % 16 == 0 ? 1024 : 96);
        buf.resize(len);
        for (auto& b : buf) {
            b = rng() % 3 == 0 ? kInteresting[rng() % sizeof kInteresting]
                               : static_cast<uint8_t>(rng() % 3 == 0 ? rng() : 32 + rng() % 95);
        }
        setCurrent("generated input " + std::to_string(i));
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
    }
    std::printf("%zu corpus files and %ld generated inputs run\n", files.size(), runs);
    return 0;
}
