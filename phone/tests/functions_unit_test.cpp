#include "phone/FunctionsUnit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace phone {
namespace {

using namespace std::string_literals;
using Fields = std::vector<std::string>;

Fields split(std::string_view text, char delimiter = ',') {
    StringList list;
    return SplitFields(delimiter, text, list).items();
}

TEST(SplitFields, CutsRepliesAsTheParserExpects) {
    struct Case {
        std::string text;
        Fields fields;
    };
    const Case cases[] = {
        {"", {}},
        {" \r\n\t\x01 ", {}},
        // The echo is field 0 and the keyword field 1.
        {"AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n", {"AT+CSQ", "+CSQ:", "20", "99", "OK"}},
        {"+CSQ: 20,99", {"+CSQ:", "20", "99"}},
        {"AT+COPS?\r\r\n+COPS: 0,0,\"Turk Telekom\"\r\n\r\nOK\r\n",
         {"AT+COPS?", "+COPS:", "0", "0", "Turk Telekom", "OK"}},
        {"\r\nRING\r\n\r\n+CLIP: \"05321234567\",129\r\n",
         {"RING", "+CLIP:", "05321234567", "129"}},
        {"a,,b", {"a", "", "b"}},
        {"a,", {"a", ""}},
        {",", {"", ""}},
        {",,", {"", "", ""}},
        {"a , b", {"a", "b"}},
        {"  a b  ", {"a", "b"}},
        // Only a delimiter that is the very last byte adds the empty field.
        {"a, ", {"a"}},
        {"\"a\"\"b\",c", {"a\"b", "c"}},
        {"\"\"", {""}},
        {"\"\"\"\"", {"\""}},
        {"\"a, b\" c", {"a, b", "c"}},
        {"\"a\"b", {"a", "b"}},
        // Unterminated quotes: the rest less its last byte.
        {"+CLIP: \"0532", {"+CLIP:", "053"}},
        {"\"", {""}},
        {"\"x", {""}},
        // A NUL byte ends the text.
        {"a\0b,c"s, {"a"}},
        // Letters above 127 (here 'Ş' 'ı' in 1254) are not blanks.
        {"\xDE\xFD \xA0x", {"\xDE\xFD", "\xA0x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(split(c.text), c.fields);
    }
}

TEST(SplitFields, OtherDelimiterAndBlanksStillSeparate) {
    EXPECT_EQ(split("a;b c,d;", ';'), (Fields{"a", "b", "c,d", ""}));
}

TEST(SplitFields, EmptiesTheListFirst) {
    StringList list{"old", "items"};
    SplitFields(',', "x", list);
    EXPECT_EQ(list, (StringList{"x"}));
    SplitFields(',', "", list);
    EXPECT_TRUE(list.empty());
}

TEST(SplitFields, MissingListIsAnAssertionFailure) {
    try {
        SplitFields(',', "a", static_cast<StringList*>(nullptr));
        FAIL() << "no exception";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Assertion failure (FunctionsUnit, line 24)");
    }
}

TEST(StripEnclosing, DropsOuterBlanksThenFirstAndLastByte) {
    struct Case {
        std::string text;
        std::string stripped;
    };
    const Case cases[] = {
        {"\"Turkcell\" ", "Turkcell"},
        {"\r\n \"+905321234567\"\r", "+905321234567"},
        {"\0 \"abc\"\r\n\0"s, "abc"},
        {"\"a b\"", "a b"},
        {"\"\"", ""},
        {"OK", ""},
        {"x", ""},
        {"", ""},
        {"   ", ""},
        {"\"a\"", "a"},
        {"ABCD", "BC"},
        // 0xA0 (no-break space in 1254) is above 32 and stays.
        {"\xA0\"x\"\xA0", "\"x\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(StripEnclosing(c.text), c.stripped);
    }
}

}  // namespace
}  // namespace phone
