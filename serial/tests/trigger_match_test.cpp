#include <gtest/gtest.h>

#include "serial/dispatcher.h"

namespace serial::testing {

// Feeds a stream through MatchTriggerChar and gives the positions where it reported the
// string complete.
std::vector<size_t> matchesIn(const std::string& text, bool ignoreCase, const std::string& stream) {
    uint32_t counters[kDataTriggerCounters] = {};
    std::string stored = text;
    if (ignoreCase) {
        for (auto& c : stored) {
            c = char(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    std::vector<size_t> found;
    for (size_t i = 0; i < stream.size(); ++i) {
        if (TBaseDispatcher::MatchTriggerChar(counters, uint8_t(stream[i]), uint32_t(text.size()),
                                              ignoreCase, stored)) {
            found.push_back(i);
        }
    }
    return found;
}

TEST(MatchTriggerChar, FindsStringsInStreams) {
    struct Case {
        const char* text;
        bool ignoreCase;
        const char* stream;
        std::vector<size_t> at;
    };
    const Case cases[] = {
        {"OK", false, "xxOKyyOK", {3, 7}},
        {"OK", false, "ok", {}},
        {"OK", true, "xoKy", {2}},
        {"OOK", false, "OOOK", {3}},  // a second partial match runs beside the first
        {"AAB", false, "AAAAB", {4}},
        {"ABAB", false, "ABABAB", {3}},  // counting starts afresh after a match
        {"ABAB", false, "ABABABAB", {3, 7}},
        {"\r\nOK\r\n", false, "AT\r\r\nOK\r\n", {8}},
        {"RING", false, "RIRINGRING", {5, 9}},
        {"X", false, "XXX", {0, 1, 2}},
        {"ABCDEFGHIJKLMNOPQRSTUV", false, "--ABCDEFGHIJKLMNOPQRSTUV", {23}},  // 22 characters
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchesIn(c.text, c.ignoreCase, c.stream), c.at) << c.text << " in " << c.stream;
    }
}

}  // namespace serial::testing
