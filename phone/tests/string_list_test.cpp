#include "phone/string_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace phone {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

TEST(StringList, ReadingOutsideTheListNamesTheIndex) {
    StringList list{"a", "b"};
    EXPECT_EQ(list[1], "b");
    for (int index : {2, -1, 1000}) {
        try {
            (void)list[index];
            FAIL() << "no exception for " << index;
        } catch (const EListIndexError& e) {
            EXPECT_EQ(e.what(), "List index out of bounds (" + std::to_string(index) + ")");
            EXPECT_EQ(e.index(), index);
        }
    }
    const StringList empty;
    EXPECT_THROW((void)empty[0], EListIndexError);
}

TEST(StringList, IndexOfIgnoresAsciiCaseAndFindsTheFirst) {
    const StringList list{"RING", "+clip:", "\"123\"", "+CLIP:"};
    EXPECT_EQ(list.indexOf("+CLIP:"), 1);
    EXPECT_EQ(list.indexOf("ring"), 0);
    EXPECT_EQ(list.indexOf("+CLIP"), -1);
    EXPECT_EQ(list.indexOf(""), -1);
    // Turkish dotted and dotless i (1254 bytes) are not case variants of ASCII i.
    EXPECT_EQ(StringList{"r\xDDng"}.indexOf("RING"), -1);
    EXPECT_EQ(StringList{"r\xFDng"}.indexOf("RING"), -1);
}

TEST(SplitLines, EachLineEndEndsOneLine) {
    struct Case {
        std::string text;
        Lines lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\nc", {"a", "b", "c"}},
        // CR CR LF: the line, then an empty line.
        {"a\r\r\nb", {"a", "", "b"}},
        {"+CGMI\r\r\nX\r\n\r\nOK\r\n", {"+CGMI", "", "X", "", "OK"}},
        {"+CGSN\r\r\nERROR\r\n", {"+CGSN", "", "ERROR"}},
        // A break at the very end adds no line; LF CR is two breaks.
        {"a\r\n", {"a"}},
        {"\r\n", {""}},
        {"\n\n", {"", ""}},
        {"a\n\r", {"a", ""}},
        {"a\n\nb", {"a", "", "b"}},
        {"a\0b\r\n"s, {"a"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(SplitLines(c.text).items(), c.lines);
    }
}

}  // namespace
}  // namespace phone
