#include "recipients/phonebook_import.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "phone/tests/fake_phone.h"

namespace recipients {
namespace {

using phone::testing::cp;
using phone::testing::FakeView;
using phone::testing::ScriptedPort;
using Kind = LocationReply::Kind;

class VectorList : public RecipientList {
public:
    int count() const override { return static_cast<int>(entries.size()); }
    std::string entry(int index) const override {
        return entries.at(static_cast<std::size_t>(index));
    }
    void append(const std::string& entry) override { entries.push_back(entry); }
    void clear() override { entries.clear(); }
    void updateNumberCount() override { ++counted; }

    std::vector<std::string> entries;
    int counted = 0;
};

std::string entry(int location, const std::string& number, int type) {
    return "AT+CPBR=" + std::to_string(location) + "\r\r\n+CPBR: " + std::to_string(location) +
           ",\"" + number + "\"," + std::to_string(type) + ",\"Ad, Soyad\"\r\n\r\nOK\r\n";
}

TEST(PhonebookReply, OneLocation) {
    const std::string ok = "\r\n\r\nOK\r\n";
    const struct {
        std::string reply;
        bool ucs2;
        Kind kind;
        std::string number;
    } cases[] = {
        {entry(2, "905321112233", 145), false, Kind::Entry, "+905321112233"},
        {entry(2, "+905321112233", 145), false, Kind::Entry, "+905321112233"},
        {entry(2, "05321112233", 129), false, Kind::Entry, "05321112233"},
        // Unsolicited lines between the echo and the entry.
        {"AT+CPBR=2\r\r\n^RSSI: 3\r\n\r\n+CMTI: \"SM\",4\r\n\r\n+CPBR: 2,\"0532\",129,\"A\"" + ok,
         false, Kind::Entry, "0532"},
        {"AT+CPBR=2\r\r\n+CPBR: 2,\"\",129,\"Sadece ad\"" + ok, false, Kind::Entry, ""},
        {"AT+CPBR=2\r\r\n+CPBR:2,\"0532\",129,\"A\"" + ok, false, Kind::Entry, "0532"},
        {"AT+CPBR=2\r\r\nOK\r\n", false, Kind::Empty, ""},
        {"AT+CPBR=2\r\r\n+CME ERROR: 22\r\n", false, Kind::Empty, ""},
        {"AT+CPBR=2\r\r\nERROR\r\n", false, Kind::Empty, ""},
        {"AT+CPBR=2\r", false, Kind::Unanswered, ""},              // timed out
        {"AT+CPBR=2\r\r\nRING\r\n", false, Kind::Unanswered, ""},  // a call ended the wait
        // The late answer of location 1: its OK says nothing about location 2.
        {"AT+CPBR=2\r\r\n+CPBR: 1,\"0532\",129,\"A\"" + ok, false, Kind::Unanswered, ""},
        {"\r\nOK\r\nAT+CPBR=2\r", false, Kind::Unanswered, ""},
        // Cut off inside the number.
        {"AT+CPBR=2\r\r\n+CPBR: 2,\"0532", false, Kind::Unanswered, ""},
        {"2,\"05321112233\",129,\"x\"\r\nOK\r\n", false, Kind::Unanswered, ""},  // echo off
        // A phone that stays in UCS2: "+90532" and a name in hex.
        {"AT+CPBR=2\r\r\n+CPBR: 2,\"002B00390030003500330032\",145,\"0041\"" + ok, true,
         Kind::Entry, "+90532"},
        {"AT+CPBR=2\r\r\n+CPBR: 2,\"003900300035\",145,\"0041\"" + ok, true, Kind::Entry, "+905"},
        // Plain digits from a phone in UCS2, and hex from one that is not, as they are.
        {entry(2, "905321112233", 129), true, Kind::Entry, "905321112233"},
        {entry(2, "00300035", 129), false, Kind::Entry, "00300035"},
    };
    for (const auto& c : cases) {
        const LocationReply r = parseLocationReply(c.reply, 2, c.ucs2);
        EXPECT_EQ(r.kind, c.kind) << c.reply;
        EXPECT_EQ(r.number, c.number) << c.reply;
    }
}

TEST(PhonebookReply, Range) {
    const struct {
        std::string reply;
        std::optional<std::pair<int, int>> range;
    } cases[] = {
        {"AT+CPBR=?\r\r\n+CPBR: (1-250),40,18\r\n\r\nOK\r\n", std::pair{1, 250}},
        {"AT+CPBR=?\r\r\n+CPBR: ( 1 - 250 ),40,18\r\n\r\nOK\r\n", std::pair{1, 250}},
        {"AT+CPBR=?\r\r\n+CPBR: (0-99),40,18\r\n\r\nOK\r\n", std::pair{0, 99}},
        {"AT+CPBR=?\r\r\n+CPBR: 1-3\r\n\r\nOK\r\n", std::nullopt},
        {"AT+CPBR=?\r\r\n+CPBR: (5-1),40,18\r\n\r\nOK\r\n", std::nullopt},
        {"AT+CPBR=?\r\r\n+CPBR: (1-2147483647),40,18\r\n", std::nullopt},
        {"AT+CPBR=?\r\r\n+CPBR: (1-", std::nullopt},
        {"AT+CPBR=?\r\r\nERROR\r\n", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<LocationRange> r = phonebookRange(c.reply);
        ASSERT_EQ(r.has_value(), c.range.has_value()) << c.reply;
        if (r) {
            EXPECT_EQ(std::pair(r->first, r->last), *c.range) << c.reply;
        }
    }
    EXPECT_EQ(withoutLinesBeforeKeyword("AT+CPBR=?\r\r\n^RSSI: 2\r\n\r\n+CPBR: (1-9)\r\n"),
              "AT+CPBR=?\r+CPBR: (1-9)\r\n");
}

class PhonebookImportTest : public ::testing::Test {
protected:
    PhonebookImportTest() {
        port.dialogue = &dialogue;
        dialogue.setReplyLimitMs(100);
        port.answerQuery();
        dialogue.btnOpenClick();
        port.answer("AT+CPBS=\"SM\"\r", "AT+CPBS=\"SM\"\r\r\nOK\r\n");
        port.answer("AT+CSCS=\"GSM\"\r", "AT+CSCS=\"GSM\"\r\r\nOK\r\n");
        list.entries = {"eski"};
    }
    void range(const std::string& text) {
        port.answer("AT+CPBR=?\r", "AT+CPBR=?\r\r\n" + text + "\r\n\r\nOK\r\n");
    }
    int asked(const std::string& command) const {
        return static_cast<int>(std::count(port.written.begin(), port.written.end(), command));
    }

    platform::PlainMessageQueue queue;
    FakeView view;
    ScriptedPort port{queue};
    phone::PhoneDialogue dialogue{view, port, queue};
    VectorList list;
    PhonebookImport import{dialogue, view, list};
};

TEST_F(PhonebookImportTest, ASilentLocationIsAskedTwiceThenCountedAndTheReadGoesOn) {
    range("+CPBR: (1-4),40,18");
    port.answer("AT+CPBR=1\r", entry(1, "905321112233", 145));
    port.answer("AT+CPBR=2\r", "AT+CPBR=2\r");                        // echoed, never answered
    port.answer("AT+CPBR=3\r", "AT+CPBR=3\r\r\n+CME ERROR: 22\r\n");  // not found
    port.answer("AT+CPBR=4\r", entry(4, "02125556677", 129));
    import.start("SM");
    // The range reply went through the parser, which leaves the lamp red.
    EXPECT_EQ(view.lamp, phone::LampColor::Red);
    EXPECT_TRUE(dialogue.state().PhonebookReading);
    EXPECT_EQ(list.entries, std::vector<std::string>{"eski"});  // until the read has ended
    list.entries.push_back("0555");  // typed in meanwhile: not what the click replaces
    EXPECT_TRUE(import.tick());
    EXPECT_EQ(list.entries, (std::vector<std::string>{"+905321112233", "02125556677", "0555"}));
    EXPECT_EQ(asked("AT+CPBR=2\r"), 2);
    EXPECT_EQ(asked("AT+CPBR=3\r"), 1);
    EXPECT_EQ(view.panels[2], cp("2 numara alındı, 1 konum okunamadı"));
    EXPECT_EQ(import.result(), PhonebookImport::Result::Read);
    EXPECT_TRUE(view.refresh);
    EXPECT_FALSE(import.tick());  // the next tick is the status poll's
}

// A ring, or a late final result of an earlier command, ends the wait before the
// location's own answer: that answer is waited for, not asked for again, so the later
// answers do not fall one command behind.
TEST_F(PhonebookImportTest, AnAnswerCutShortIsAwaitedNotAskedAgain) {
    range("+CPBR: (1-3),40,18");
    port.answer("AT+CPBR=1\r", "AT+CPBR=1\r\r\nRING\r\n");
    port.answer("AT+CPBR=1\r", "\r\n+CPBR: 1,\"0532\",129,\"A\"\r\n\r\nOK\r\n", 30);
    port.answer("AT+CPBR=2\r", "\r\nOK\r\nAT+CPBR=2\r");
    port.answer("AT+CPBR=2\r", "\r\nOK\r\n", 30);  // empty
    port.answer("AT+CPBR=3\r", entry(3, "0212", 129));
    import.start("SM");
    EXPECT_TRUE(import.tick());
    EXPECT_EQ(list.entries, (std::vector<std::string>{"0532", "0212"}));
    EXPECT_EQ(asked("AT+CPBR=1\r") + asked("AT+CPBR=2\r"), 2);
    EXPECT_EQ(view.panels[2], cp("2 numara alındı"));
}

TEST_F(PhonebookImportTest, WithoutARangeTheFirstEmptyLocationEnds) {
    range("+CPBR: 1-3");  // no parentheses
    port.answer("AT+CPBR=1\r", entry(1, "+905321112233", 145));
    port.answer("AT+CPBR=2\r", "AT+CPBR=2\r\r\nOK\r\n");
    import.start("SM");
    EXPECT_TRUE(import.tick());
    EXPECT_EQ(list.entries, std::vector<std::string>{"+905321112233"});
    EXPECT_EQ(port.written.back(), "AT+CPBR=2\r");
    EXPECT_EQ(view.panels[2], cp("1 numara alındı"));
}

TEST_F(PhonebookImportTest, AReadThatCannotFinishLeavesTheList) {
    // A phone that stops answering after its first entry.
    range("+CPBR: (1-50),40,18");
    port.answer("AT+CPBR=1\r", entry(1, "905321112233", 145));
    import.start("SM");
    EXPECT_TRUE(import.tick());
    EXPECT_EQ(list.entries, std::vector<std::string>{"eski"});
    EXPECT_EQ(port.written.back(), "AT+CPBR=4\r");  // three silent locations, then no more
    EXPECT_EQ(view.panels[2], cp("Telefon rehberi okunamadı, liste değişmedi"));
    EXPECT_EQ(import.result(), PhonebookImport::Result::Failed);
    EXPECT_FALSE(dialogue.state().PhonebookReading);
    EXPECT_TRUE(view.refresh);

    // Two locations, neither answering: no phonebook to replace the list with.
    port.answers.erase("AT+CPBR=?\r");
    port.answers.erase("AT+CPBR=1\r");
    range("+CPBR: (1-2),40,18");
    import.start("SM");
    EXPECT_TRUE(import.tick());
    EXPECT_EQ(import.result(), PhonebookImport::Result::Failed);
    EXPECT_EQ(list.entries, std::vector<std::string>{"eski"});

    // A phone that refuses the range query: the reading never starts, and says so.
    port.answers.erase("AT+CPBR=?\r");
    port.answer("AT+CPBR=?\r", "AT+CPBR=?\r\r\n+CME ERROR: 3\r\n");
    view.lamp = phone::LampColor::Green;
    import.start("SM");
    EXPECT_FALSE(dialogue.state().PhonebookReading);
    EXPECT_EQ(view.lamp, phone::LampColor::Red);
    EXPECT_EQ(view.panels[2], cp("Telefon rehberi okunamadı, liste değişmedi"));
    EXPECT_EQ(list.entries, std::vector<std::string>{"eski"});
}

TEST_F(PhonebookImportTest, AReadingDueWhenThePortClosesDoesNotStartOnTheNextConnection) {
    range("+CPBR: (1-1),40,18");
    import.start("SM");
    ASSERT_TRUE(dialogue.state().PhonebookReading);
    dialogue.btnOpenClick();  // disconnect, then connect again
    dialogue.btnOpenClick();
    ASSERT_TRUE(dialogue.state().IsConnected);
    const std::size_t written = port.written.size();
    EXPECT_FALSE(import.tick());
    EXPECT_EQ(port.written.size(), written);
    EXPECT_EQ(list.entries, std::vector<std::string>{"eski"});
}

TEST_F(PhonebookImportTest, APhoneThatStaysInUcs2) {
    port.answers.erase("AT+CSCS=\"GSM\"\r");
    port.answer("AT+CSCS=\"GSM\"\r", "AT+CSCS=\"GSM\"\r\r\n+CME ERROR: 4\r\n");
    port.answer("AT+CSCS=\"IRA\"\r", "AT+CSCS=\"IRA\"\r\r\n+CME ERROR: 4\r\n");
    port.answer("AT+CSCS?\r", "AT+CSCS?\r\r\n+CSCS: \"UCS2\"\r\n\r\nOK\r\n");
    range("+CPBR: (1-1),40,18");
    port.answer("AT+CPBR=1\r",
                "AT+CPBR=1\r\r\n+CPBR: 1,\"00300035003300320031\",129,\"0041\"\r\n\r\nOK\r\n");
    import.start("SM");
    EXPECT_TRUE(import.tick());
    EXPECT_EQ(list.entries, std::vector<std::string>{"05321"});
}

}  // namespace
}  // namespace recipients
