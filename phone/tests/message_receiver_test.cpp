// How the receiver sets up a phone that answers as scripted: the AT+CNMI values it
// chooses from the ranges the phone lists, in the forms phones write them, and that a
// value the phone refuses is never taken as set.
#include <gtest/gtest.h>

#include "phone/message_receiver.h"
#include "phone/phone_dialogue.h"
#include "phone/tests/fake_phone.h"

namespace phone {
namespace {

using testing::FakeView;
using testing::reply;
using testing::ScriptedPort;

class NothingKept : public ReceivedKeeper {
public:
    bool keepMessage(const std::string&, int, std::string&) override { return true; }
    bool keepReport(const std::string&, int, std::string&) override { return true; }
};

struct CnmiCase {
    const char* name;
    std::string ranges;  // the answer to AT+CNMI=?; empty: ERROR
    std::vector<std::string> refused;
    std::string accepted;  // the one value answered OK; empty: none tried is
    ReceiveRoute reports;
    ReceiveRoute messages;
};

TEST(MessageReceiverSetUp, ChoosesFromTheListedValuesAndNeverCountsARefusedOne) {
    const std::vector<CnmiCase> cases = {
        {"ranges",
         "+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)",
         {},
         "2,2,0,1,0",
         ReceiveRoute::Routed,
         ReceiveRoute::Routed},
        {"lists, routing refused",
         "+CNMI: (0,1,2),(0,1,2,3),(0,2),(0,1,2),(0,1)",
         {"2,2,0,1,0"},
         "2,2,0,2,0",
         ReceiveRoute::Stored,
         ReceiveRoute::Routed},
        {"blanks and single values",
         "+CNMI: (1), (0,1), (0), (0,2), (0)",
         {},
         "1,1,0,2,0",
         ReceiveRoute::Stored,
         ReceiveRoute::Stored},
        {"only buffering in the phone",
         "+CNMI: (0),(0-3),(0),(0-2),(0)",
         {},
         "",
         ReceiveRoute::Polled,
         ReceiveRoute::Polled},
        {"no ranges: the usual values tried",
         "",
         {"2,2,0,1,0", "2,2,0,2,0"},
         "2,1,0,1,0",
         ReceiveRoute::Routed,
         ReceiveRoute::Stored},
    };
    for (const CnmiCase& c : cases) {
        SCOPED_TRACE(c.name);
        platform::PlainMessageQueue queue;
        FakeView view;
        ScriptedPort port{queue};
        PhoneDialogue dialogue{view, port, queue};
        port.dialogue = &dialogue;
        dialogue.setReplyLimitMs(200);
        port.open = true;
        dialogue.state().IsConnected = true;
        port.answer("AT+CSMS?\r", reply("AT+CSMS?", {"+CSMS: 0,1,1,1"}));
        port.answer("AT+CPMS?\r",
                    reply("AT+CPMS?", {"+CPMS: \"SM\",0,30,\"SM\",0,30,\"SM\",0,30"}));
        port.answer("AT+CNMI=?\r",
                    c.ranges.empty() ? "AT+CNMI=?\r\r\nERROR\r\n" : reply("AT+CNMI=?", {c.ranges}));
        for (const std::string& value : c.refused) {
            const std::string command = "AT+CNMI=" + value;
            port.answer(command + "\r", command + "\r\r\n+CMS ERROR: 303\r\n");
        }
        if (!c.accepted.empty()) {
            port.answer("AT+CNMI=" + c.accepted + "\r", reply("AT+CNMI=" + c.accepted, {}));
        }
        port.answer("AT+CMGF=0\r", reply("AT+CMGF=0", {}));
        port.answer("AT+CMGL=4\r", reply("AT+CMGL=4", {}));

        NothingKept keeper;
        MessageReceiver receiver(dialogue, queue, keeper);
        receiver.connected();
        EXPECT_EQ(receiver.notificationSetting(), c.accepted);
        EXPECT_EQ(receiver.reportRoute(), c.reports);
        EXPECT_EQ(receiver.messageRoute(), c.messages);
        EXPECT_EQ(receiver.storage(), "SM");
        EXPECT_EQ(view.panels[1], "") << "a refusal is an answer, not a failure to show";
        std::vector<std::string> probes;
        for (const std::string& w : port.written) {
            if (w.starts_with("AT+CNMI=") && w != "AT+CNMI=?\r") {
                probes.push_back(w.substr(8, w.size() - 9));
            }
        }
        std::vector<std::string> expected = c.refused;
        if (!c.accepted.empty()) {
            expected.push_back(c.accepted);
        }
        EXPECT_EQ(probes, expected);
    }
}

}  // namespace
}  // namespace phone
