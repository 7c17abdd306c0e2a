#include "recipients/text_import.h"

#include <gtest/gtest.h>

#include <fstream>

#include "recipients/recipient_file.h"

namespace recipients {
namespace {

using namespace std::string_literals;
using Entries = std::vector<std::string>;

struct Case {
    std::string bytes;
    Entries entries;
};

TEST(TextImport, LineAndBlankRules) {
    const Case cases[] = {
        {"0123456789\r\n0123456780\r\n", {"0123456789", "0123456780"}},
        {"0123456789\n0123456780", {"0123456789", "0123456780"}},
        {"111 222\r\n", {"111", "222"}},
        {"111  222\r\n", {"111", "", "222"}},  // two blanks: an empty entry between
        {" 111\r\n", {"", "111"}},             // a blank at the start: an empty first entry
        {"111 \r\n", {"111"}},                 // a blank at the end: none
        {"111  \r\n", {"111", ""}},
        {"\r\n\r\n111\r\n\r\n", {"111"}},  // empty lines give nothing
        {" \r\n", {""}},
        {"111\t222;333,444\r\n", {"111", "222;333,444"}},  // blanks and tabs separate
        {"111\t\t222\t\r\n", {"111", "", "222"}},
        {"111\r222\n\r333", {"111", "222", "333"}},
        {"111\0"
         "222"s,
         {"111"}},                                                // a zero byte ends the text
        {"\xDE\xFEkr\xFC 0532\r\n", {"\xDE\xFEkr\xFC", "0532"}},  // 1254 without a mark
        {"\xC5\x9E\xC3\xBC 0532\r\n", {"\xDE\xFC", "0532"}},      // valid UTF-8 without one
        {"\xC5\x9E 05\xC5", {"\xDE"}},  // UTF-8 cut short at the end stays UTF-8
        // A file cut short on a pulled stick: zeros at the end end the text.
        {"111\r\n222\r\n" + std::string(300, '\0'), {"111", "222"}},
        // A byte-order mark decides the encoding and is not part of the first entry.
        {"\xEF\xBB\xBF"
         "0532 \xC5\x9E\xC3\xBC\r\n",
         {"0532", "\xDE\xFC"}},
        {"\xFF\xFE"
         "0\0"
         "5\0"
         " \0"
         "1\0"
         "\r\0\n\0"
         "2\0"s,
         {"05", "1", "2"}},
        {"\xFE\xFF"
         "\0"
         "0\0"
         "5\0\r\0"
         "1"s,
         {"05", "1"}},
        {"\xFF\xFE"
         "1\0\0\0"
         "2\0"s,
         {"1"}},  // a zero character ends it too
    };
    for (const auto& c : cases) {
        const ImportResult r = textImportEntries(c.bytes);
        EXPECT_EQ(r.entries, c.entries) << testing::PrintToString(c.bytes);
        EXPECT_TRUE(r.note.empty());
    }
}

TEST(TextImport, Utf16WithoutAMarkIsKnownByItsZeroBytes) {
    const std::u16string text = u"0532 111\r\n\u015Eule\r\n";
    std::string le, be;
    for (char16_t c : text) {
        le += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    }
    for (const std::string& bytes : {le, be}) {
        const ImportResult r = textImportEntries(bytes);
        EXPECT_EQ(r.entries, (Entries{"0532", "111", "\xDEule"}));
        EXPECT_NE(r.note.find("UTF-16"), std::string::npos) << r.note;
    }
    // A zero here and there in an 8-bit file is no UTF-16: it ends the text.
    EXPECT_EQ(textImportEntries("0532 111\r\n0544\0"
                                "222 333\r\n"s)
                  .entries,
              (Entries{"0532", "111", "0544"}));
}

TEST(TextImport, RefusesWhatTheListCannotHoldAndKeepsTheRest) {
    // "Привет" is no 1254 text; the euro sign is. A zero-width space and a direction
    // mark inside a number are dropped.
    const std::string utf8 =
        "\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
        "0533\xE2\x82\xAC\r\n"
        "0532\xE2\x80\x8B"
        "111\xE2\x80\x8E"
        "2233\r\n";
    const ImportResult r = textImportEntries(utf8 +
                                             "0532\x1B"
                                             "111\r\n");
    EXPECT_EQ(r.entries, (Entries{"0533\x80", "05321112233"}));
    EXPECT_EQ(r.refusedCount, 2u);
    ASSERT_EQ(r.refused.size(), 2u);
    EXPECT_EQ(r.refused[0], "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    const std::string message = refusalMessage(r);
    EXPECT_NE(message.find("\"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\""),
              std::string::npos)
        << message;
    EXPECT_TRUE(refusalMessage({}).empty());
}

TEST(TextImport, ReadsAFileAndNamesOneItCannotOpen) {
    const std::filesystem::path dir = testing::TempDir();
    const auto file = dir / "numbers.txt";
    std::ofstream(file, std::ios::binary) << "111 222\r\n333\r\n";
    EXPECT_EQ(readTextImport(file).entries, (Entries{"111", "222", "333"}));
    try {
        readTextImport(dir / "missing.txt");
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"", 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find("missing.txt\". "), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace recipients
