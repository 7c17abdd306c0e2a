#include "recipients/repeated_numbers.h"

#include <gtest/gtest.h>

namespace recipients {
namespace {

TEST(RepeatedNumbers, OneTurkishNumberInItsManyForms) {
    const char* const same[] = {"5321112233",        "05321112233",       "905321112233",
                                "+905321112233",     "+90 532 111 22 33", "0090 532 111 22 33",
                                "0 (532) 111-22-33", "0532.111.22.33",    "\t0532 1112233 "};
    for (const char* s : same) {
        EXPECT_EQ(numberKey(s), "5321112233") << s;
    }
    // Not Turkish numbers, or not ten digits after the prefix: compared as written.
    EXPECT_EQ(numberKey("+491701234567"), "+491701234567");
    EXPECT_EQ(numberKey("90123"), "90123");
    EXPECT_EQ(numberKey("0212 555 66 77"), "2125556677");
    EXPECT_EQ(numberKey("  "), "");
}

TEST(RepeatedNumbers, KeepsTheFirstAndEveryEntryWithoutANumber) {
    int removed = -1;
    const std::vector<std::string> list = {
        "0532 111 22 33", "",    "+905321112233", "Ali", "", "ali",
        "905321112233",   "Ali", "05441234567"};
    EXPECT_EQ(withoutRepeats(list, &removed),
              (std::vector<std::string>{"0532 111 22 33", "", "Ali", "", "ali", "05441234567"}));
    EXPECT_EQ(removed, 3);
}

}  // namespace
}  // namespace recipients
