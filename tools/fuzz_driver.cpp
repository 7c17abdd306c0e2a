// Runs a fuzz target on a fixed number of generated inputs, so that it can take part
// in the ordinary test suite without libFuzzer. The inputs come from a seeded
// generator and are biased towards the bytes that matter to a text protocol.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    std::mt19937 rng(20261209);
    static const uint8_t kInteresting[] = {0,    '\r', '\n', 26,   27,   '"',  ',', ':',
                                           ' ',  '+',  '0',  '9',  'A',  'O',  'K', 'a',
                                           0x7F, 0x80, 0xA9, 0xD0, 0xDD, 0xFE, 0xFF};
    std::vector<uint8_t> buf;
    for (long i = 0; i < runs; ++i) {
        const size_t len = rng() % (i % 16 == 0 ? 1024 : 96);
        buf.resize(len);
        for (auto& b : buf) {
            b = rng() % 3 == 0 ? kInteresting[rng() % sizeof kInteresting]
                               : static_cast<uint8_t>(rng() % 3 == 0 ? rng() : 32 + rng() % 95);
        }
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
    }
    std::printf("%ld inputs run\n", runs);
    return 0;
}
