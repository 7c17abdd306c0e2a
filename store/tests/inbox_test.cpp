// The inbox: every message the phone hands over is kept once, long ones whole and in part
// order, unreadable ones with their PDU, and a reply that asks to be left alone lists its
// sender.
#include "store/inbox.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/optout_list.h"
#include "store/tests/store_fixture.h"
#include "tools/phone-sim/received_pdu.h"

namespace store {
namespace {

using phonesim::buildDeliver;
using phonesim::IncomingMessage;

IncomingMessage message(std::string sender, std::string text, int minute = 0) {
    IncomingMessage m;
    m.sender = std::move(sender);
    m.text = std::move(text);
    m.time = {2026, 12, 10, 14, minute, 9, 12};
    return m;
}

struct InboxTest : testing::StoreTest {
    Database db{file};
    std::time_t now = 1'800'000'000;
    Inbox inbox{db, [this] { return now; }};
};

TEST_F(InboxTest, AMessageIsKeptWithItsSenderAndZoneAndShownNewestFirst) {
    const auto older = buildDeliver(message("+905321112233", "Tamam\nyarın gelirim", 1), 0);
    const auto newer = buildDeliver(message("TURKCELL", "Kampanya", 2), 0);
    const StoredPdu a = inbox.store(newer[0].hex, newer[0].tpduLength);
    const StoredPdu b = inbox.store(older[0].hex, older[0].tpduLength);
    EXPECT_NE(a.message, 0);
    EXPECT_NE(b.message, a.message);
    const auto shown = inbox.messages(0, 10);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].sender, "TURKCELL");
    EXPECT_EQ(shown[0].senderNumber, "");
    EXPECT_EQ(shown[1].sender, "+905321112233");
    EXPECT_EQ(shown[1].senderNumber, "+905321112233");
    EXPECT_EQ(shown[1].sent, "2026-12-10T14:01:09+03:00");
    EXPECT_EQ(shown[1].sortTime, shown[0].sortTime - 60);
    EXPECT_EQ(shown[1].text, "Tamam\nyarın gelirim");
    EXPECT_EQ(inbox.unreadCount(), 2);
    inbox.markRead(b.message);
    EXPECT_EQ(inbox.unreadCount(), 1);
    EXPECT_TRUE(inbox.messages(0, 10)[1].read);
}

// Parts come in any order and one of them twice: one message in part order, shown only
// when whole; re-reading a part afterwards changes nothing.
TEST_F(InboxTest, ALongMessageIsShownOnceWholeInPartOrder) {
    std::string text;
    for (int i = 0; i < 15; ++i) {
        text += "parça " + std::to_string(i) + " 😀 ";  // UCS-2: pairs may fall on a cut
    }
    const auto parts = buildDeliver(message("+905321112233", text), 77);
    ASSERT_EQ(parts.size(), 3u);
    for (int i : {2, 0, 2}) {
        const StoredPdu r = inbox.store(parts[size_t(i)].hex, parts[size_t(i)].tpduLength);
        EXPECT_EQ(r.message, 0);
        EXPECT_EQ(inbox.count(), 0);
    }
    const StoredPdu whole = inbox.store(parts[1].hex, parts[1].tpduLength);
    EXPECT_NE(whole.message, 0);
    EXPECT_TRUE(inbox.store(parts[0].hex).duplicate);
    const auto shown = inbox.messages(0, 10);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, text);
    EXPECT_FALSE(shown[0].incomplete);
    EXPECT_EQ(testing::peek(file, "SELECT count(*) FROM message_part"), "0");
}

// A part that never comes: after a day the message is shown with what came, marked.
TEST_F(InboxTest, PartsStillMissingAfterADayAreShownAsTheyAreMarkedIncomplete) {
    std::string text(400, 'a');
    text.replace(153, 1, "B");
    text.replace(306, 1, "C");
    const auto parts = buildDeliver(message("+905321112233", text), 5);
    ASSERT_EQ(parts.size(), 3u);
    inbox.store(parts[2].hex);
    now += 3600;
    inbox.store(parts[0].hex);
    now += Inbox::kPartsWaitSeconds - 3601;
    EXPECT_EQ(inbox.expireIncomplete(), 0);
    now += 1;
    EXPECT_EQ(inbox.expireIncomplete(), 1);
    const auto shown = inbox.messages(0, 10);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].incomplete);
    EXPECT_EQ(shown[0].text, text.substr(0, 153) + text.substr(306));
    EXPECT_EQ(inbox.expireIncomplete(), 0);
}

// Stored, then the program is killed before the phone deletes the message: read again
// after the restart, it is shown once.
TEST_F(InboxTest, AMessageStoredBeforeAKillIsShownOnceAfterTheRestart) {
    const auto pdu = buildDeliver(message("+905321112233", "Yarın gelirim"), 0)[0];
    const pid_t child = fork();
    if (child == 0) {
        try {
            Database own(file);
            Inbox(own).store(pdu.hex, pdu.tpduLength);
        } catch (...) {
            _exit(1);
        }
        raise(SIGKILL);  // before any AT+CMGD
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    Database again(file);
    Inbox after(again);
    // The phone lists it again, perhaps spaced or in lower case.
    std::string lower = pdu.hex;
    for (char& c : lower) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    const StoredPdu r = after.store(lower, pdu.tpduLength);
    EXPECT_TRUE(r.duplicate);
    EXPECT_NE(r.message, 0);
    EXPECT_EQ(after.count(), 1);
}

TEST_F(InboxTest, AnUnreadablePduIsKeptWithItsBytesAndTheReason) {
    const auto good = buildDeliver(message("+905321112233", "Merhaba"), 0)[0];
    const struct {
        const char* name;
        std::string pdu;
        int length;
    } cases[] = {
        {"wrong length", good.hex, good.tpduLength + 1},
        {"cut short", good.hex.substr(0, good.hex.size() - 6), -1},
        {"not hexadecimal", "07919052XYZ", -1},
        {"a status report", "0006D60B911326880736F4111011719551401110117195714000", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const StoredPdu r = inbox.store(c.pdu, c.length);
        ASSERT_NE(r.message, 0);
        const InboxMessage m = inbox.messages(0, 1)[0];
        EXPECT_EQ(m.id, r.message);
        EXPECT_TRUE(m.unreadable());
        EXPECT_FALSE(m.problem.empty());
        EXPECT_TRUE(inbox.store(c.pdu, c.length).duplicate);
    }
    EXPECT_EQ(inbox.count(), 4);
}

TEST_F(InboxTest, AReplyThatAsksListsItsNumberedSenderWithTheMessage) {
    const struct {
        std::string sender;
        std::string text;
        bool listed;
    } cases[] = {
        {"+905320000001", "İptal", true},
        {"+905320000002", "Ret lütfen", true},
        {"+905320000003", "Retro kampanya ne zaman?", false},
        {"BILGI", "STOP", false},  // a sender name cannot be texted anyway
    };
    OptOutList list(db);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto pdu = buildDeliver(message(c.sender, c.text), 0)[0];
        const StoredPdu r = inbox.store(pdu.hex);
        EXPECT_EQ(r.optedOut, c.listed);
        EXPECT_EQ(list.contains(c.sender), c.listed);
        if (c.listed) {
            const auto entries = list.entries();
            EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const OptOutEntry& e) {
                return e.message == r.message && e.reason == OptOutReason::Reply;
            }));
        }
    }
    inbox.setOptOutKeywords({u"istemiyorum"});
    const auto pdu = buildDeliver(message("+905320000005", "İSTEMİYORUM"), 0)[0];
    EXPECT_TRUE(inbox.store(pdu.hex).optedOut);
}

// A reply names the recent campaign that texted its sender, whichever way the list wrote
// the number.
TEST_F(InboxTest, AReplyNamesTheRecentCampaignItsSenderWasTextedBy) {
    const std::int64_t old = createCampaign(db, {"+90 532 111 22 33"});
    const std::int64_t recent = createCampaign(db, {"0532 111 22 33", "+90 532 999 88 77"});
    sqlite3_exec(db.handle(),
                 ("UPDATE recipient SET state = 'gönderildi' WHERE position = 0;"
                  "UPDATE campaign SET started = " +
                  std::to_string(now - 3600) + " WHERE id = " + std::to_string(recent) +
                  "; UPDATE campaign SET started = " +
                  std::to_string(now - Inbox::kRecentCampaignSeconds - 1) +
                  " WHERE id = " + std::to_string(old))
                     .c_str(),
                 nullptr, nullptr, nullptr);
    for (const char* sender : {"+905321112233", "+905329998877"}) {
        inbox.store(buildDeliver(message(sender, "Tamam"), 0)[0].hex);
    }
    const auto shown = inbox.messages(0, 10);
    ASSERT_EQ(shown.size(), 2u);
    for (const InboxMessage& m : shown) {
        // The second number was never texted: its row is still queued.
        EXPECT_EQ(m.campaign, m.sender == "+905321112233" ? recent : 0) << m.sender;
    }
    EXPECT_EQ(inbox.recentCampaignOf("+90 532 111 22 33", now), recent);
    EXPECT_EQ(inbox.recentCampaignOf("532 111 22 3", now), 0);
    // A day earlier the older one was recent, and the newer not yet made.
    EXPECT_EQ(inbox.recentCampaignOf("+90 532 111 22 33", now - 86400), old);
}

}  // namespace
}  // namespace store
