// The connection tab against the simulated phone behind "Com5", through the window.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "app/main_window.h"
#include "app/phone_controller.h"
#include "app/qt_message_queue.h"
#include "app/tests/fake_asker.h"
#include "app/tests/simulated_phone.h"
#include "phone/phone_dialogue.h"
#include "platform/tests/scratch_folder.h"
#include "serial/com_port.h"
#include "serial/exception_display.h"
#include "serial/pump.h"

namespace app {
namespace {

namespace fs = std::filesystem;
using phone::CommandOutcome;

class PhoneWindow : public ::testing::Test {
protected:
    void SetUp() override {
        MainFormOptions options;
        options.listFile = m_dir / "rehber.txt";
        options.asker = &asker;
        form = std::make_unique<TMainForm>(options);
        controller = std::make_unique<PhoneController>(*form, queue);
        // Short enough that no test sits through the program's 2000 ms.
        controller->dialogue().setReplyLimitMs(kLimitMs);
    }
    static constexpr int kLimitMs = 400;
    void TearDown() override {
        controller.reset();
        form.reset();
        sim.reset();
    }

    // A phone behind Com5.
    void plugIn(phonesim::Config config = {}) {
        sim = std::make_unique<SimulatedPhone>(std::move(config));
        ASSERT_TRUE(sim->start());
    }
    QString panel(int i) const { return form->statusPanel(i); }
    // A close that meets an event on its way to the window is finished by the port
    // window a moment later; until then Open still reads true.
    bool portClosed() {
        for (int i = 0; i < 2000 && form->PhoneComPort->Open(); ++i) {
            queue.waitAndPumpOne(1);
        }
        return !form->PhoneComPort->Open();
    }
    phone::PhoneDialogue& dialogue() { return controller->dialogue(); }
    // The connect button, once the port of an earlier connection has finished closing.
    bool connectPhone() {
        if (portClosed()) {
            form->btnOpen->click();
        }
        return dialogue().state().IsConnected;
    }
    std::string send(const std::string& command, const std::string& completion = "\r\nOK") {
        return dialogue().SendCommand(command, completion);
    }

    QtMessageQueue queue;
    FakeAsker asker;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<PhoneController> controller;
    std::unique_ptr<SimulatedPhone> sim;

private:
    platform::testing::ScratchFolder m_scratch{"phone-window"};
    const fs::path m_dir = m_scratch.path();
};

TEST_F(PhoneWindow, ConnectAndDisconnect) {
    plugIn();
    EXPECT_EQ(form->ComboBox1->currentText(), "Com5");
    EXPECT_EQ(form->ComboBox2->currentText(), "115200");
    form->setStatusPanel(1, "older failure");
    form->btnOpen->click();
    EXPECT_EQ(panel(0), "Bağlı: Com5");
    EXPECT_EQ(panel(1), "older failure");
    EXPECT_EQ(form->btnOpen->text(), "Bağlantıyı Kes");
    EXPECT_TRUE(form->tiRefresh->isActive());
    EXPECT_TRUE(form->PhoneComPort->Open());
    EXPECT_EQ(form->PhoneComPort->Baud(), 115200);

    form->setSignalGauge(60);
    form->setBatteryGauge(70);
    form->addInfoRow("Marka", "PHONESIM");
    form->btnOpen->click();
    EXPECT_EQ(panel(0), "Bağlantısız !");
    EXPECT_EQ(form->btnOpen->text(), "Bağlan");
    EXPECT_EQ(form->Gauge1->value(), 0);
    EXPECT_EQ(form->Gauge2->value(), 0);
    EXPECT_EQ(form->infoRowCount(), 0);
    EXPECT_FALSE(form->tiRefresh->isActive());
    EXPECT_TRUE(portClosed());
    EXPECT_TRUE(asker.told.empty());
}

TEST_F(PhoneWindow, PhonesThatDoNotAnswerOk) {
    phonesim::Config lower;
    lower.faults.lowerCaseOk = true;
    phonesim::Config silent;
    silent.faults.silentFor = {"ATE1"};
    for (const auto& [name, config] : {std::pair{"ok in lower case", lower}, {"silent", silent}}) {
        SCOPED_TRACE(name);
        plugIn(config);
        form->setStatusPanel(1, "");
        form->btnOpen->click();
        EXPECT_EQ(panel(1), "Telefon yanıt vermiyor !");
        EXPECT_EQ(panel(0), "Bağlantısız !");
        EXPECT_EQ(form->btnOpen->text(), "Bağlan");
        EXPECT_TRUE(portClosed());
    }
}

TEST_F(PhoneWindow, PortAndSpeedChoices) {
    plugIn();
    // Com7 is neither mapped nor present; -1 is no selected item.
    for (int index : {6, -1}) {
        form->setStatusPanel(1, "");
        form->ComboBox1->setCurrentIndex(index);
        form->btnOpen->click();
        EXPECT_EQ(panel(1), "Comport Yok!") << index;
        EXPECT_EQ(form->PhoneComPort->ComNumber(), 5);
    }

    form->ComboBox1->setCurrentIndex(4);
    form->ComboBox2->setCurrentText("abc");
    form->btnOpen->click();
    ASSERT_EQ(asker.told.size(), 1u);
    EXPECT_EQ(asker.told[0].text, "'abc' is not a valid integer value.");
    EXPECT_EQ(asker.told[0].icon, Asker::Icon::Error);
    EXPECT_FALSE(form->PhoneComPort->Open());
    EXPECT_EQ(form->btnOpen->text(), "Bağlan");
}

TEST_F(PhoneWindow, RepliesErrorsRingsAndTheLimit) {
    phonesim::Config config;
    config.faults.errorFor = {"AT^SCID"};
    config.faults.silentFor = {"AT+CGMM"};
    plugIn(config);
    ASSERT_TRUE(connectPhone());

    std::string reply = send("AT^SCID\r");
    EXPECT_EQ(dialogue().lastOutcome(), CommandOutcome::Failed);
    EXPECT_EQ(panel(1), "AT^SCID\rTelefon Tarafından Desteklenmiyor !");
    EXPECT_NE(reply.find("\r\nERROR"), std::string::npos) << reply;
    EXPECT_EQ(form->lamp(), QColor(0, 255, 0));

    // A command the phone never answers: a ring ends its wait at once, without a text.
    form->setStatusPanel(1, "");
    QTimer::singleShot(100, form.get(), [&] { sim->sim.ring(); });
    const auto start = std::chrono::steady_clock::now();
    reply = send("AT+CGMM\r");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(dialogue().lastOutcome(), CommandOutcome::Completed);
    EXPECT_EQ(reply.rfind("AT+CGMM\r", 0), 0u) << reply;
    EXPECT_NE(reply.find("RING"), std::string::npos) << reply;
    EXPECT_EQ(panel(1), "");

    reply = send("AT+CMGS=12\r", ">");
    EXPECT_EQ(dialogue().lastOutcome(), CommandOutcome::Completed);
    EXPECT_NE(reply.find('>'), std::string::npos) << reply;
    send("\x1b");  // leave the prompt without sending

    // OK is no prompt: the command runs into the limit.
    form->setStatusPanel(1, "");
    reply = send("AT\r", ">");
    EXPECT_EQ(dialogue().lastOutcome(), CommandOutcome::TimedOut);
    EXPECT_NE(reply.find("\r\nOK"), std::string::npos) << reply;
    EXPECT_EQ(panel(1), "Zaman Aşımı");
    EXPECT_TRUE(dialogue().state().IsConnected);

    // A slow phone: the limit, then the late OK still completes the state.
    phonesim::Faults slow;
    slow.delayMs = kLimitMs + 300;
    sim->sim.setFaults(slow);
    form->setStatusPanel(1, "");
    reply = send("AT+CGMI\r");
    EXPECT_EQ(dialogue().lastOutcome(), CommandOutcome::TimedOut);
    EXPECT_EQ(panel(1), "Zaman Aşımı");
    EXPECT_FALSE(dialogue().state().ReplyDone);
    for (int i = 0; i < 100 && !dialogue().state().ReplyDone; ++i) {
        QTest::qWait(20);
    }
    EXPECT_TRUE(dialogue().state().ReplyDone);
}

TEST_F(PhoneWindow, HangUpLeavesTheWindowDisconnectedAndUsable) {
    plugIn();
    ASSERT_TRUE(connectPhone());
    sim->sim.hangUp();
    // Told by the port layer at once, without waiting for a command to run out.
    for (int i = 0; i < 5000 && dialogue().state().IsConnected; ++i) {
        queue.waitAndPumpOne(1);
    }
    EXPECT_FALSE(dialogue().state().IsConnected);
    EXPECT_EQ(panel(0), "Bağlantısız !");
    EXPECT_EQ(form->btnOpen->text(), "Bağlan");
    EXPECT_TRUE(portClosed());

    plugIn();  // plugged in again
    form->btnOpen->click();
    EXPECT_EQ(panel(0), "Bağlı: Com5");
    EXPECT_NE(send("AT+CSQ\r").find("+CSQ:"), std::string::npos);
    EXPECT_TRUE(asker.told.empty());
}

TEST_F(PhoneWindow, HangUpInTheMiddleOfACommandEndsItsWait) {
    plugIn();
    form->btnOpen->click();
    ASSERT_TRUE(dialogue().state().IsConnected);
    phonesim::Faults slow;
    slow.delayMs = 1500;
    sim->sim.setFaults(slow);
    QTimer::singleShot(50, form.get(), [&] { sim->sim.hangUp(); });
    const auto t0 = std::chrono::steady_clock::now();
    send("AT+CGMI\r");
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(dialogue().lastOutcome(), CommandOutcome::Disconnected);
    EXPECT_LT(took, std::chrono::milliseconds(1500));  // not the phone's delay, not the limit
    EXPECT_EQ(panel(0), "Bağlantısız !");
    EXPECT_EQ(form->btnOpen->text(), "Bağlan");
    EXPECT_TRUE(portClosed());
    EXPECT_TRUE(asker.told.empty());
}

TEST_F(PhoneWindow, CloseLetsTheWaitingCommandFinish) {
    plugIn();
    form->show();
    ASSERT_TRUE(connectPhone());
    phonesim::Faults slow;
    slow.delayMs = kLimitMs / 2;
    sim->sim.setFaults(slow);
    bool closed = false;
    QTimer::singleShot(50, form.get(), [&] { closed = form->close(); });
    const std::string reply = send("AT+CGMI\r");
    EXPECT_TRUE(closed);
    EXPECT_EQ(dialogue().lastOutcome(), CommandOutcome::Completed);
    EXPECT_NE(reply.find("PHONESIM\r\n\r\nOK"), std::string::npos) << reply;
    EXPECT_TRUE(portClosed());
    EXPECT_EQ(panel(0), "Bağlantısız !");
}

// Waits, processing messages, until `done` or about `ms`; returns `done()`.
template <typename Done>
bool waitFor(Done done, int ms = 3000) {
    for (int i = 0; i < ms / 10 && !done(); ++i) {
        QTest::qWait(10);
    }
    return done();
}

QStringList infoRows(const TMainForm& form) {
    QStringList rows;
    for (int r = 0; r < form.Info->rowCount(); ++r) {
        rows << form.Info->item(r, 0)->text() + "=" + form.Info->item(r, 1)->text();
    }
    return rows;
}

TEST_F(PhoneWindow, ConnectShowsWhoThePhoneIsAndPollingKeepsTheGauges) {
    phonesim::Config config;
    config.signal = 20;
    config.charge = 80;
    plugIn(config);
    form->tiRefresh->setInterval(100);
    ASSERT_TRUE(connectPhone());
    EXPECT_EQ(infoRows(*form),
              (QStringList{"Üretici=PHONESIM", "Tip=PS-100", "Yazılım Sürümü=1.0.1",
                           "IMEI=490154203237518", "IMSI=286011234567890", "Sağlayan=PHONESIM NET",
                           "Kart Numarası=8990011234567890123", "Servis Merkezi=+905320000000",
                           "Modem=PS-100 - 1.0.1"}));
    EXPECT_EQ(form->Gauge2->value(), 65);
    EXPECT_EQ(form->Gauge1->value(), 80);
    EXPECT_EQ(form->lamp(), QColor(255, 0, 0));
    EXPECT_TRUE(asker.told.empty());

    // Signal on one tick, battery on the next.
    const size_t queried = sim->sim.commands().size();
    sim->sim.setSignal(31);
    sim->sim.setBattery(40);
    EXPECT_TRUE(
        waitFor([&] { return form->Gauge2->value() == 100 && form->Gauge1->value() == 40; }));
    EXPECT_TRUE(waitFor([&] { return sim->sim.commands().size() >= queried + 3; }));
    const std::vector<std::string> commands = sim->sim.commands();
    ASSERT_GE(commands.size(), queried + 3);
    EXPECT_EQ(commands[queried], "AT+CSQ");
    EXPECT_EQ(commands[queried + 1], "AT+CBC");
    EXPECT_EQ(commands[queried + 2], "AT+CSQ");
}

TEST_F(PhoneWindow, IncomingCallShowsTheNumberUntilTheRingsStop) {
    phonesim::Config config;
    config.faults.ringDuring = {"AT+CSQ"};
    plugIn(config);
    form->tiClear->setInterval(300);
    ASSERT_TRUE(connectPhone());  // the query's AT+CSQ already meets a ring
    QLabel* notice = controller->callNotice();
    EXPECT_EQ(form->Label2->text(), "Gelen Çağrı!");
    EXPECT_TRUE(waitFor([&] { return form->Label2->text().isEmpty(); }));
    EXPECT_TRUE(notice->isHidden());

    sim->sim.ring("+905551112233", 145);
    EXPECT_TRUE(waitFor([&] { return !form->Label3->text().isEmpty(); }));
    EXPECT_EQ(form->Label3->text(), "Telefon Numarası: +905551112233");
    EXPECT_EQ(notice->text(), "Gelen Çağrı!\n+905551112233");
    EXPECT_FALSE(notice->isHidden());
    // A second ring keeps it; then the labels and the notice clear together.
    sim->sim.ring("+905551112233", 145);
    EXPECT_TRUE(waitFor([&] { return form->Label3->text().isEmpty(); }));
    EXPECT_EQ(form->Label2->text(), "");
    EXPECT_TRUE(notice->isHidden());
}

// Clicks during a wait run after it, in the order they came; a click while a message is
// being handed over (prompt, then PDU) waits for the whole of it.
TEST_F(PhoneWindow, ClicksWaitForTheLineInTheirOrder) {
    plugIn();
    form->show();
    ASSERT_TRUE(connectPhone());
    form->Edit1->setText("05321112233");
    form->Memo2->setPlainText("merhaba");
    // As the sending and the phonebook controllers hand their clicks to the dialogue.
    std::vector<std::string> order;
    form->hooks().sendSms = [&](const QString&) {
        dialogue().runWhenLineFree([&] {
            order.push_back("sms");
            send("AT+CSQ\r");
        });
    };
    form->hooks().phonebookClicked = [&](const char*) {
        dialogue().runWhenLineFree([&] {
            order.push_back("phonebook");
            send("AT+CBC\r");
        });
    };
    phonesim::Faults slow;
    slow.delayMs = 200;
    sim->sim.setFaults(slow);
    const size_t before = sim->sim.commands().size();
    QTimer::singleShot(30, form.get(), [&] { form->btnSMS->click(); });
    QTimer::singleShot(60, form.get(), [&] { form->btnME->click(); });
    send("AT+CGMI\r");
    order.push_back("first command done");
    EXPECT_TRUE(waitFor([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"first command done", "sms", "phonebook"}));

    sim->sim.setFaults({});
    QTimer::singleShot(0, form.get(), [&] { form->btnME->click(); });
    {
        phone::CommandTurn turn = dialogue().beginTurn(phone::CommandOrigin::User);
        ASSERT_TRUE(turn);
        EXPECT_NE(turn.send("AT+CMGS=13\r", ">").find('>'), std::string::npos);
        // Not a message the phone takes: "+CMS ERROR: n" ends the wait at once.
        const std::string reply = turn.send("0011000B810000\x1a", "\r\nOK", 60000);
        EXPECT_EQ(turn.lastOutcome(), CommandOutcome::Failed);
        EXPECT_NE(reply.find("+CMS ERROR: 304"), std::string::npos) << reply;
    }
    EXPECT_TRUE(waitFor([&] { return order.size() == 4; }));
    const std::vector<std::string> commands = sim->sim.commands();
    ASSERT_GE(commands.size(), before + 6);
    EXPECT_EQ(std::vector<std::string>(commands.begin() + long(before), commands.end()),
              (std::vector<std::string>{"AT+CGMI", "AT+CSQ", "AT+CBC", "AT+CMGS=13",
                                        "0011000B810000\x1a", "AT+CBC"}));
}

TEST_F(PhoneWindow, SerialErrorsReachTheErrorBoxOnTheWindowThread) {
    const std::runtime_error error("ie_NOpen - device not open");
    std::thread worker([&] { serial::showException(error); });
    worker.join();
    EXPECT_TRUE(asker.told.empty());  // not from the worker thread itself
    for (int i = 0; i < 50 && asker.told.empty(); ++i) {
        QTest::qWait(10);
    }
    ASSERT_EQ(asker.told.size(), 1u);
    EXPECT_EQ(asker.told[0].text, "ie_NOpen - device not open.");
    EXPECT_EQ(asker.told[0].icon, Asker::Icon::Error);
}

}  // namespace
}  // namespace app
