#include "recipients/phonebook_import.h"

#include <gtest/gtest.h>

#include "phone/tests/fake_phone.h"

namespace recipients {
namespace {

using phone::testing::FakeView;
using phone::testing::ScriptedPort;

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

class PhonebookImportTest : public ::testing::Test {
protected:
    PhonebookImportTest() {
        port.dialogue = &dialogue;
        dialogue.setReplyLimitMs(200);
    }
    void connect() {
        dialogue.btnOpenClick();
        ASSERT_TRUE(dialogue.state().IsConnected);
    }
    std::string entry(int location, const std::string& number, int type) {
        return "AT+CPBR=" + std::to_string(location) + "\r\r\n+CPBR: " + std::to_string(location) +
               ",\"" + number + "\"," + std::to_string(type) + ",\"Ad, Soyad\"\r\n\r\nOK\r\n";
    }

    platform::PlainMessageQueue queue;
    FakeView view;
    ScriptedPort port{queue};
    phone::PhoneDialogue dialogue{view, port, queue};
    VectorList list;
    PhonebookImport import{dialogue, view, list};
};

TEST_F(PhonebookImportTest, AnErrorForAnEmptyLocationIsSkipped) {
    connect();
    port.answer("AT+CPBS=\"SM\"\r", "AT+CPBS=\"SM\"\r\r\nOK\r\n");
    port.answer("AT+CPBR=?\r", "AT+CPBR=?\r\r\n+CPBR: (1-3),40,18\r\n\r\nOK\r\n");
    port.answer("AT+CPBR=1\r", entry(1, "905321112233", 145));
    port.answer("AT+CPBR=2\r", "AT+CPBR=2\r\r\n+CME ERROR: 22\r\n");  // not found
    port.answer("AT+CPBR=3\r", entry(3, "02125556677", 129));
    list.entries = {"eski"};
    import.start("SM");
    EXPECT_TRUE(list.entries.empty());
    EXPECT_TRUE(dialogue.state().PhonebookReading);
    EXPECT_TRUE(import.tick());
    // Had the error reply waited for the limit, the reading would have ended there.
    EXPECT_EQ(list.entries, (std::vector<std::string>{"+905321112233", "02125556677"}));
    EXPECT_EQ(view.panels[2], phone::testing::cp("Hazır !"));
    EXPECT_EQ(port.written.back(), "AT+CPBR=3\r");
    EXPECT_FALSE(import.tick());  // the next tick is the status poll's
}

TEST_F(PhonebookImportTest, WithoutARangeTheFirstEmptyLocationEnds) {
    connect();
    port.answer("AT+CPBS=\"ME\"\r", "AT+CPBS=\"ME\"\r\r\nOK\r\n");
    port.answer("AT+CPBR=?\r", "AT+CPBR=?\r\r\n+CPBR: 1-3\r\n\r\nOK\r\n");  // no parentheses
    port.answer("AT+CPBR=1\r", entry(1, "+905321112233", 145));
    port.answer("AT+CPBR=2\r", "AT+CPBR=2\r\r\nOK\r\n");
    import.start("ME");
    EXPECT_TRUE(import.tick());
    EXPECT_EQ(list.entries, std::vector<std::string>{"+905321112233"});
    EXPECT_EQ(port.written.back(), "AT+CPBR=2\r");
}

TEST_F(PhonebookImportTest, ParsePhonebookEntry) {
    connect();
    const struct {
        std::string reply;
        bool taken;
        std::string number;
    } cases[] = {
        {entry(1, "905321112233", 145), true, "+905321112233"},
        {entry(1, "+905321112233", 145), true, "+905321112233"},
        {entry(1, "05321112233", 129), true, "05321112233"},
        {"AT+CPBR=1\r\r\nOK\r\n", false, ""},
        {"AT+CPBR=1\r\r\nERROR\r\n", false, ""},
        {"1,\"05321112233\",129,\"x\"\r\nOK", false, ""},  // echo off: field 1 is the number
    };
    for (const auto& c : cases) {
        list.entries.clear();
        EXPECT_EQ(import.ParsePhonebookEntry(c.reply), c.taken) << c.reply;
        EXPECT_EQ(list.entries,
                  c.taken ? std::vector<std::string>{c.number} : std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace recipients
