#include "recipients/repeated_numbers.h"

#include <gtest/gtest.h>

namespace recipients {
namespace {

TEST(RepeatedNumbers, OneNumberInItsManyForms) {
    const char* const same[] = {"5321112233",        "05321112233",       "905321112233",
                                "+905321112233",     "+90 532 111 22 33", "0090 532 111 22 33",
                                "0 (532) 111-22-33", "0532.111.22.33",    "\t0532 1112233 "};
    for (const char* s : same) {
        EXPECT_EQ(numberKey(s), "+905321112233") << s;
    }
    EXPECT_EQ(numberKey("0049 170 1234567"), "+491701234567");
    // No valid number: compared as written, a Turkish prefix before ten digits aside.
    EXPECT_EQ(numberKey("0500 123 45 67"), "5001234567");
    EXPECT_EQ(numberKey("+90 500 1234567"), "5001234567");
    EXPECT_EQ(numberKey("90123"), "90123");
    EXPECT_EQ(numberKey("  "), "");
}

TEST(RepeatedNumbers, KeepsTheFirstAndEveryEntryWithoutANumber) {
    int removed = -1;
    const std::vector<std::string> list = {
        "0532 111 22 33", "",    "+905321112233", "Ali", "", "ali",
        "905321112233",   "Ali", "05441234567"};
    EXPECT_EQ(withoutRepeats(list, &removed), (std::vector<std::string>{
                                                  "0532 111 22 33",
                                                  "",
                                                  "Ali",
                                                  "",
                                                  "ali",
                                                  "05441234567",
                                              }));
    EXPECT_EQ(removed, 3);
}

}  // namespace
}  // namespace recipients
