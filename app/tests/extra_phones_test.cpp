// Finding the phones and the extra phones of the connection tab, against simulated phones.
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "app/bulk_progress_panel.h"
#include "app/extra_phones.h"
#include "app/main_window.h"
#include "app/phone_controller.h"
#include "app/phone_finder.h"
#include "app/qt_message_queue.h"
#include "app/send_controller.h"
#include "app/settings.h"
#include "app/tests/fake_asker.h"
#include "phone/phone_dialogue.h"
#include "platform/tests/scratch_folder.h"
#include "serial/com_port.h"
#include "tools/phone-sim/simulator.h"

namespace app {
namespace {

class ExtraPhonesWindow : public ::testing::Test {
protected:
    void SetUp() override {
        MainFormOptions options;
        options.listFile = m_dir.path() / "rehber.txt";
        options.asker = &asker;
        form = std::make_unique<TMainForm>(options);
        controller = std::make_unique<PhoneController>(*form, queue);
        settings = std::make_unique<Settings>(
            QString::fromStdString((m_dir.path() / "toplusms.conf").string()));
        extras = std::make_unique<ExtraPhones>(*form, queue, settings.get());
        finder = std::make_unique<PhoneFinder>(*form, extras.get());
        // Only simulators answer here, and on a loaded machine they may be slow.
        finder->setProbeTimes(1500, 3000);
        // As the program wires them.
        sending = std::make_unique<SendController>(*form, *controller, queue);
        extras->serve(*sending);
    }
    void TearDown() override {
        sending.reset();
        finder.reset();
        extras.reset();
        controller.reset();
        form.reset();
        sims.clear();
        ::unsetenv("TOPLUSMS_PORTS");
    }

    // Simulated phones behind the given ports, every other name pointing nowhere. The first
    // answers a submission after `firstSubmitDelayMs` when given, the others after
    // `submitDelayMs`.
    void plugIn(const std::vector<std::pair<int, std::string>>& phones, int submitDelayMs = 0,
                int lastHangsUpAfter = 0, int firstSubmitDelayMs = -1) {
        const std::filesystem::path map = m_dir.path() / "ports.conf";
        std::ofstream f(map);
        std::set<int> used;
        for (const auto& [port, imei] : phones) {
            phonesim::Config config;
            config.imei = imei;
            config.faults.submitDelayMs =
                sims.empty() && firstSubmitDelayMs >= 0 ? firstSubmitDelayMs : submitDelayMs;
            if (sims.size() + 1 == phones.size()) {
                config.faults.hangUpAfterMessages = lastHangsUpAfter;
            }
            sims.push_back(std::make_unique<phonesim::Simulator>(config));
            std::string error;
            ASSERT_TRUE(sims.back()->start(&error)) << error;
            f << "Com" << port << "=" << sims.back()->slavePath() << "\n";
            used.insert(port);
        }
        for (int n = 1; n <= 50; ++n) {
            if (used.count(n) == 0) {
                f << "Com" << n << "=/nonexistent/tty" << n << "\n";
            }
        }
        ::setenv("TOPLUSMS_PORTS", map.c_str(), 1);
    }

    // Pumps the window's queue until `done` or 10 s.
    bool pumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            queue.waitAndPumpOne(10);
        }
        return true;
    }
    QString cellText(int row, int column) const {
        const QTableWidgetItem* item = extras->table()->item(row, column);
        return item ? item->text() : QString();
    }
    QPushButton* rowButton(int row) const {
        return qobject_cast<QPushButton*>(extras->table()->cellWidget(row, ExtraPhones::kButton));
    }
    QComboBox* rowPort(int row) const {
        return qobject_cast<QComboBox*>(extras->table()->cellWidget(row, ExtraPhones::kPort));
    }
    QSpinBox* rowLimit(int row) const {
        return qobject_cast<QSpinBox*>(extras->table()->cellWidget(row, ExtraPhones::kLimit));
    }
    bool rowConnected(int row) const {
        return extras->worker(row) && extras->worker(row)->state().connected;
    }

    platform::testing::ScratchFolder m_dir{"extra-phones"};
    QtMessageQueue queue;
    FakeAsker asker;
    std::vector<std::unique_ptr<phonesim::Simulator>> sims;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<PhoneController> controller;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<ExtraPhones> extras;
    std::unique_ptr<PhoneFinder> finder;
    std::unique_ptr<SendController> sending;
};

TEST_F(ExtraPhonesWindow, FoundPhonesConnectTheFirstWithTheTabAndTheRestAsExtras) {
    plugIn({{7, "490154203237511"}, {12, "490154203237522"}, {45, "490154203237533"}});
    form->ComboBox2->setCurrentText(QStringLiteral("19200"));
    extras->addPhone(12, 9600);  // a row of the last session for one of them

    bool found = false;
    finder->onFound = [&] { found = true; };
    // The probe runs beside the window: the click returns at once.
    finder->button()->click();
    EXPECT_TRUE(finder->probing());
    EXPECT_FALSE(finder->button()->isEnabled());
    EXPECT_FALSE(form->btnOpen->isEnabled());  // its port may be the one being probed
    ASSERT_TRUE(pumpUntil([&] { return found; }));
    EXPECT_TRUE(finder->button()->isEnabled());
    EXPECT_TRUE(form->btnOpen->isEnabled());

    auto* table = finder->dialog()->findChild<QTableWidget*>();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 0)->text(), "Com7");
    EXPECT_EQ(table->item(0, 2)->text(), "19200");  // the tab's speed, tried first
    EXPECT_EQ(table->item(0, 3)->text(), "PHONESIM");
    EXPECT_EQ(table->item(1, 5)->text(), "490154203237522");
    EXPECT_EQ(table->item(2, 0)->text(), "Com45");

    // One click: Com7 through the tab's boxes and button, the others as extra phones
    // (Com45 is beyond the tab's port box).
    finder->connectFound();
    EXPECT_TRUE(controller->dialogue().state().IsConnected);
    EXPECT_EQ(form->PhoneComPort->ComNumber(), 7);
    EXPECT_EQ(form->ComboBox1->currentText(), "Com7");
    ASSERT_EQ(extras->rowCount(), 2);
    EXPECT_EQ(rowPort(0)->currentText(), "Com12");
    EXPECT_EQ(rowPort(1)->currentText(), "Com45");
    // Connected once the phone's information has been read.
    ASSERT_TRUE(pumpUntil([&] {
        return cellText(0, ExtraPhones::kState) == "Bağlı" &&
               cellText(1, ExtraPhones::kState) == "Bağlı";
    }));
    EXPECT_TRUE(rowConnected(0) && rowConnected(1));
    EXPECT_EQ(cellText(1, ExtraPhones::kOperator), "PHONESIM NET");
    EXPECT_EQ(cellText(0, ExtraPhones::kToday), "0");
    EXPECT_EQ(rowButton(0)->text(), "Bağlantıyı Kes");
    EXPECT_FALSE(rowPort(0)->isEnabled());  // the port of a connected phone stays put

    // A second search leaves the connected phones alone and finds nothing new to connect.
    found = false;
    finder->find();
    ASSERT_TRUE(pumpUntil([&] { return found; }));
    EXPECT_EQ(table->rowCount(), 0);

    // Its own button disconnects a row; the first phone stays.
    rowButton(0)->click();
    ASSERT_TRUE(pumpUntil([&] { return !rowConnected(0); }));
    ASSERT_TRUE(pumpUntil([&] { return cellText(0, ExtraPhones::kState) == "Bağlantısız !"; }));
    EXPECT_EQ(rowButton(0)->text(), "Bağlan");
    EXPECT_TRUE(controller->dialogue().state().IsConnected);
    EXPECT_TRUE(rowConnected(1));
}

TEST_F(ExtraPhonesWindow, ARowRefusesATakenOrWrongPortAndRemembersItsPhonesLimit) {
    plugIn({{5, "490154203237511"}, {6, "490154203237522"}});
    form->ComboBox1->setCurrentText(QStringLiteral("Com5"));
    form->ComboBox2->setCurrentText(QStringLiteral("115200"));
    form->btnOpen->click();
    ASSERT_TRUE(controller->dialogue().state().IsConnected);

    extras->addButton()->click();
    ASSERT_EQ(extras->rowCount(), 1);
    EXPECT_FALSE(rowLimit(0)->isEnabled());  // no IMEI yet
    rowPort(0)->setCurrentText(QStringLiteral("Com5"));
    rowButton(0)->click();
    EXPECT_EQ(cellText(0, ExtraPhones::kState), "Com5 zaten bağlı");
    rowPort(0)->setCurrentText(QStringLiteral("Port6"));
    rowButton(0)->click();
    EXPECT_EQ(cellText(0, ExtraPhones::kState), "Port adı geçersiz");
    rowPort(0)->setCurrentText(QStringLiteral("Com9"));  // nothing behind it
    rowButton(0)->click();
    // The row follows the worker once its news has come through the window's queue.
    ASSERT_TRUE(pumpUntil([&] {
        return extras->worker(0) && !extras->worker(0)->state().connecting &&
               !extras->worker(0)->state().lastError.empty() && rowButton(0)->text() == "Bağlan";
    }));
    EXPECT_FALSE(rowConnected(0));

    rowPort(0)->setCurrentText(QStringLiteral("Com6"));
    rowButton(0)->click();
    ASSERT_TRUE(pumpUntil([&] { return cellText(0, ExtraPhones::kState) == "Bağlı"; }));
    EXPECT_TRUE(rowLimit(0)->isEnabled());
    rowLimit(0)->setValue(50);
    EXPECT_EQ(Settings(settings->path()).dailyLimit(QStringLiteral("490154203237522")), 50);
    EXPECT_EQ(extras->dailyLimit(0), 50);
    EXPECT_EQ(extras->portsInUse(), (std::set<int>{6}));
    ASSERT_EQ(extras->connectedPhones().size(), 1u);

    // A connected row stays; another list over the same settings finds the limit again.
    extras->table()->selectRow(0);
    extras->removeButton()->click();
    EXPECT_EQ(extras->rowCount(), 1);
    extras->disconnectRow(0);
    ASSERT_TRUE(pumpUntil([&] { return cellText(0, ExtraPhones::kState) == "Bağlantısız !"; }));
    extras->removeButton()->click();
    EXPECT_EQ(extras->rowCount(), 0);
    extras->connectRow(extras->addPhone(6, 115200));
    ASSERT_TRUE(pumpUntil([&] { return rowConnected(0) && rowLimit(0)->isEnabled(); }));
    EXPECT_EQ(rowLimit(0)->value(), 50);

    // The next session's list has the row back, not connected until asked.
    extras->addPhone(0, 9600);  // no port chosen: not kept
    extras.reset();
    extras = std::make_unique<ExtraPhones>(*form, queue, settings.get());
    ASSERT_EQ(extras->rowCount(), 1);
    EXPECT_EQ(rowPort(0)->currentText(), "Com6");
    EXPECT_EQ(extras->worker(0), nullptr);
}

// The window's phone on Com5 and an extra one on Com6, connected.
class CampaignOverPhones : public ExtraPhonesWindow {
protected:
    // `extraHangsUpAfter`: the extra phone goes away after so many messages. Each answers a
    // submission after 100 ms, the window's own after `firstSubmitDelayMs`.
    void connectBoth(int extraHangsUpAfter = 0, int firstSubmitDelayMs = 100) {
        plugIn({{5, "490154203237511"}, {6, "490154203237522"}}, 100, extraHangsUpAfter,
               firstSubmitDelayMs);
        form->ComboBox1->setCurrentText(QStringLiteral("Com5"));
        form->btnOpen->click();
        ASSERT_TRUE(controller->dialogue().state().IsConnected);
        extras->connectRow(extras->addPhone(6, 115200));
        ASSERT_TRUE(pumpUntil([&] { return cellText(0, ExtraPhones::kState) == "Bağlı"; }));
    }
    void run(int count) {
        for (int i = 0; i < count; ++i) {
            form->ListBox1->addItem(QStringLiteral("0532111%1").arg(2000 + i));
        }
        form->Memo3->setPlainText(QStringLiteral("Kampanya"));
        form->edtSure->setValue(0);
        asker.answers = {true};
        form->Button1->click();  // returns when the run has ended
    }
    QString result(int row, int column) const {
        return sending->panel().results->model()->index(row, column).data().toString();
    }
    std::vector<std::string> destinations(const phonesim::Simulator& sim) const {
        std::vector<std::string> numbers;
        for (const auto& m : sim.messages()) {
            numbers.push_back(m.pdu.destination);
        }
        return numbers;
    }
    enum { kNumber = 1, kState = 2, kPhone = 5 };
};

TEST_F(CampaignOverPhones, EveryNumberGoesOutOnceOverBothPhones) {
    connectBoth();
    run(10);
    ASSERT_EQ(asker.asked.size(), 1u);
    EXPECT_TRUE(asker.asked[0].text.contains("2 telefon ile gönderilecek"))
        << asker.asked[0].text.toStdString();
    const std::vector<std::string> first = destinations(*sims[0]);
    const std::vector<std::string> second = destinations(*sims[1]);
    EXPECT_EQ(first.size() + second.size(), 10u);
    EXPECT_GE(first.size(), 3u);  // both served: the extra phone does not wait for the first
    EXPECT_GE(second.size(), 3u);
    std::set<std::string> all(first.begin(), first.end());
    all.insert(second.begin(), second.end());
    EXPECT_EQ(all.size(), 10u);
    ASSERT_EQ(sending->panel().results->model()->rowCount(), 10);
    for (int row = 0; row < 10; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(result(row, kState), "gönderildi");
        const std::string number = result(row, kNumber).toStdString();
        const bool byFirst = std::count(first.begin(), first.end(), number) == 1;
        EXPECT_EQ(result(row, kPhone), byFirst ? "Com5" : "Com6");
    }
    // The list counts what the extra phone sent today from the campaign database.
    extras->refreshCounts();
    EXPECT_EQ(cellText(0, ExtraPhones::kToday).toInt(), int(second.size()));
}

TEST_F(CampaignOverPhones, TheExtraPhoneGoesOnWhileTheWindowsOwnWaitsForItsAnswer) {
    // The window's phone waits 1.5 s for each answer on the window's queue; the extra one
    // answers in 100 ms and takes its next number as each answer comes in.
    connectBoth(0, 1500);
    run(10);
    const size_t first = sims[0]->messages().size();
    const size_t second = sims[1]->messages().size();
    EXPECT_EQ(first + second, 10u);
    EXPECT_GE(second, 7u) << "the window's phone sent " << first;
}

TEST_F(CampaignOverPhones, APhoneThatGoesAwayLeavesItsRowsToTheOther) {
    connectBoth(2);
    run(8);
    int sent = 0;
    int unknown = 0;
    for (int row = 0; row < 8; ++row) {
        sent += result(row, kState) == "gönderildi" ? 1 : 0;
        unknown += result(row, kState) == "belirsiz" ? 1 : 0;
    }
    // Every number served: sent, or unknown for the one on its way when the phone went.
    EXPECT_EQ(sent + unknown, 8);
    EXPECT_LE(unknown, 1);
    EXPECT_LE(sims[1]->messages().size(), 3u);
    // The one in flight never reached the network here: no number got two messages.
    EXPECT_EQ(sims[0]->messages().size() + sims[1]->messages().size(), size_t(sent));
    EXPECT_TRUE(controller->dialogue().state().IsConnected);
    EXPECT_FALSE(rowConnected(0));
}

TEST_F(CampaignOverPhones, AnExtraPhoneAloneServesTheCampaign) {
    connectBoth();
    form->btnOpen->click();  // the window's own phone disconnected
    ASSERT_FALSE(controller->dialogue().state().IsConnected);
    run(3);
    EXPECT_EQ(sims[1]->messages().size(), 3u);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(result(row, kState), "gönderildi");
        EXPECT_EQ(result(row, kPhone), "Com6");
    }
}

TEST_F(CampaignOverPhones, EachPhoneKeepsItsOwnDailyLimitAndTheRunPausesWhenAllHave) {
    connectBoth();
    extras->firstLimit()->setValue(2);
    rowLimit(0)->setValue(4);
    // The run waits for the next day; "Durdur" ends the wait at once.
    QString paused;
    std::chrono::steady_clock::time_point stoppedAt;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (paused.isEmpty() && sending->panel().timeLeft->text() == "Günlük sınıra ulaşıldı") {
            paused = form->statusPanel(1);
            stoppedAt = std::chrono::steady_clock::now();
            sending->stop();
        }
    });
    watch.start(20);
    run(8);
    // Far less than the minute the wait would have lasted.
    EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt, std::chrono::seconds(20));
    EXPECT_EQ(paused, "Günlük sınıra ulaşıldı");
    EXPECT_EQ(sims[0]->messages().size(), 2u);
    EXPECT_EQ(sims[1]->messages().size(), 4u);
    int queued = 0;
    for (int row = 0; row < 8; ++row) {
        queued += result(row, kState) == "sırada" ? 1 : 0;
    }
    EXPECT_EQ(queued, 2);
    EXPECT_FALSE(sending->resumeButton->isHidden());  // resumable
}

}  // namespace
}  // namespace app
