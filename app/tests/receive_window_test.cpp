// Delivery reports, replies and the opt-out list as the window shows them, against the
// simulated phone: the report option reaches the PDU, reports fill the delivery column,
// replies reach "Gelen Mesajlar", and the opt-out list is kept by hand or by a reply.
#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "app/bulk_progress_panel.h"
#include "app/campaign_history_dialog.h"
#include "app/campaign_models.h"
#include "app/inbox_dialog.h"
#include "app/main_window.h"
#include "app/opt_out_dialog.h"
#include "app/phone_controller.h"
#include "app/qt_message_queue.h"
#include "app/receive_controller.h"
#include "app/send_controller.h"
#include "app/settings.h"
#include "app/tests/fake_asker.h"
#include "app/tests/simulated_phone.h"
#include "phone/message_receiver.h"
#include "platform/tests/scratch_folder.h"
#include "store/optout_list.h"
#include "store/received_store.h"

namespace app {
namespace {

namespace fs = std::filesystem;

class ReceiveWindow : public ::testing::Test {
protected:
    void SetUp() override { makeWindow(); }
    void TearDown() override {
        dropWindow();
        sim.reset();
    }
    void makeWindow() {
        MainFormOptions options;
        options.listFile = m_dir / "rehber.txt";
        options.settingsFile = settingsFile();
        options.asker = &asker;
        form = std::make_unique<TMainForm>(options);
        phone = std::make_unique<PhoneController>(*form, queue);
        sending = std::make_unique<SendController>(*form, *phone, queue);
        receiving = std::make_unique<ReceiveController>(*form, *phone, *sending, queue);
    }
    void dropWindow() {
        receiving.reset();
        sending.reset();
        phone.reset();
        form.reset();
    }
    QString settingsFile() const {
        return QString::fromStdString((m_dir / "settings.conf").string());
    }
    // Connects and waits until the receiver has set up the phone's reception.
    bool connect(phonesim::Config config = {}) {
        sim = std::make_unique<SimulatedPhone>(std::move(config));
        if (!sim->start()) {
            return false;
        }
        form->btnOpen->click();
        if (form->statusPanel(0) != "Bağlı: Com5") {
            return false;
        }
        return pumpUntil([&] {
            const phone::MessageReceiver* r = receiving->receiver();
            return r != nullptr && r->reportRoute() != phone::ReceiveRoute::Unknown && r->idle();
        });
    }
    // Processes the window's messages until `done`, at most `ms` (a bound for a broken
    // build, not a wait: the simulator answers in milliseconds).
    bool pumpUntil(const std::function<bool()>& done, int ms = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done() && std::chrono::steady_clock::now() < end) {
            queue.waitAndPumpOne(5);
        }
        return done();
    }
    void runBulk(const QStringList& entries, const QString& text) {
        for (const QString& e : entries) {
            form->ListBox1->addItem(e);
        }
        form->Memo3->setPlainText(text);
        form->edtSure->setValue(0);
        asker.answers.push_back(true);
        form->Button1->click();
    }
    QString resultCell(int row, int column) const {
        return sending->panel().results->model()->index(row, column).data().toString();
    }
    static phonesim::Config reporting(phonesim::ReportOutcome outcome) {
        phonesim::Config config;
        config.messaging.reports = outcome;
        config.messaging.reportDelayMs = 20;
        return config;
    }

    QtMessageQueue queue;
    FakeAsker asker;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<PhoneController> phone;
    std::unique_ptr<SendController> sending;
    std::unique_ptr<ReceiveController> receiving;
    std::unique_ptr<SimulatedPhone> sim;
    platform::testing::ScratchFolder m_scratch{"receive-window"};
    const fs::path m_dir = m_scratch.path();
};

enum { kDeliveryColumn = 6 };

// "Teslim raporu iste": on at first, on both tabs alike, remembered, and it is what sets
// TP-SRR in the SMS-SUBMIT of a single send and in the campaign of a bulk run.
TEST_F(ReceiveWindow, ReportOptionReachesThePduAndTheSettings) {
    EXPECT_TRUE(form->chkReports2->isChecked());
    EXPECT_TRUE(form->chkReports3->isChecked());
    ASSERT_TRUE(connect());
    form->Edit1->setText("+905321112233");
    form->Memo2->setPlainText("Merhaba");
    form->btnSMS->click();

    form->chkReports3->setChecked(false);
    EXPECT_FALSE(form->chkReports2->isChecked());
    EXPECT_FALSE(Settings(settingsFile()).deliveryReports());
    form->btnSMS->click();
    ASSERT_EQ(sim->sim.messages().size(), 2u);
    EXPECT_TRUE(sim->sim.messages()[0].pdu.statusReport);
    EXPECT_FALSE(sim->sim.messages()[1].pdu.statusReport);

    // A run without reports records so: its campaign shows no delivery counts.
    runBulk({"05321112233"}, "Kampanya");
    ASSERT_EQ(sim->sim.messages().size(), 3u);
    EXPECT_FALSE(sim->sim.messages()[2].pdu.statusReport);
    const auto c = sending->database().campaigns()->campaign(sending->shownCampaign());
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->options.reportsRequested);

    dropWindow();
    makeWindow();
    EXPECT_FALSE(form->chkReports2->isChecked());
    EXPECT_FALSE(form->chkReports3->isChecked());
}

// Reports that come in during and after a run fill the delivery column of the running
// campaign's table and the counts of the campaign list; a failed one says why.
TEST_F(ReceiveWindow, ReportsUpdateTheDeliveryColumnAndTheCounts) {
    ASSERT_TRUE(connect(reporting(phonesim::ReportOutcome::Delivered)));
    runBulk({"05321112233", "05321112234", "05321112235"}, "Kampanya");
    ASSERT_EQ(sim->sim.messages().size(), 3u);
    ASSERT_TRUE(pumpUntil([&] {
        return resultCell(0, kDeliveryColumn).startsWith("teslim edildi") &&
               resultCell(2, kDeliveryColumn).startsWith("teslim edildi");
    })) << resultCell(0, kDeliveryColumn).toStdString();
    // The state and when the centre says it was delivered.
    EXPECT_GT(resultCell(0, kDeliveryColumn).size(), QString("teslim edildi ").size());
    EXPECT_EQ(sending->panel().results->model()->headerData(kDeliveryColumn, Qt::Horizontal),
              "Teslim");

    CampaignListModel list(*sending->database().campaigns());
    const int delivery = list.columnCount() - 1;
    EXPECT_EQ(list.headerData(delivery, Qt::Horizontal), "Teslim");
    EXPECT_EQ(list.index(0, delivery).data().toString(),
              "3 teslim edildi, 0 teslim edilemedi, 0 bekliyor");

    // A later campaign, and reports that say the phone never got it.
    form->btnOpen->click();  // disconnect
    sim.reset();
    ASSERT_TRUE(connect(reporting(phonesim::ReportOutcome::Failed)));
    form->ListBox1->clear();
    runBulk({"05321112236"}, "İkinci");
    ASSERT_TRUE(pumpUntil([&] {
        return resultCell(0, kDeliveryColumn).startsWith("teslim edilemedi");
    })) << resultCell(0, kDeliveryColumn).toStdString();
    EXPECT_FALSE(sending->panel()
                     .results->model()
                     ->index(0, kDeliveryColumn)
                     .data(Qt::ToolTipRole)
                     .toString()
                     .isEmpty());
    list.refresh();
    EXPECT_EQ(list.index(0, delivery).data().toString(),
              "0 teslim edildi, 1 teslim edilemedi, 0 bekliyor");
}

// "Gönderim Geçmişi" open while the reports come: its rows and its counts follow them, and
// the campaign the user chose stays chosen.
TEST_F(ReceiveWindow, AnOpenHistoryFollowsTheReports) {
    phonesim::Config config = reporting(phonesim::ReportOutcome::Delivered);
    config.messaging.reportDelayMs = 300;
    ASSERT_TRUE(connect(config));
    runBulk({"05321112233"}, "Birinci");
    form->ListBox1->clear();
    runBulk({"05321112234", "05321112235"}, "İkinci");
    ASSERT_EQ(sim->sim.messages().size(), 3u);

    QString shownDelivery;
    QString listed;
    int chosenRow = -1;
    bool chosen = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = dynamic_cast<CampaignHistoryDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        if (!chosen) {
            dialog->campaigns->selectRow(1);  // the older campaign
            chosen = true;
        }
        chosenRow = dialog->campaigns->currentIndex().row();
        shownDelivery = dialog->recipients->model()->index(0, kDeliveryColumn).data().toString();
        const QAbstractItemModel* list = dialog->campaigns->model();
        listed = list->index(0, list->columnCount() - 1).data().toString();
        if ((shownDelivery.startsWith("teslim edildi") && listed.startsWith("2 teslim edildi")) ||
            poll.property("ticks").toInt() > 500) {
            dialog->reject();
        }
        poll.setProperty("ticks", poll.property("ticks").toInt() + 1);
    });
    poll.start();
    sending->historyButton->click();
    EXPECT_TRUE(shownDelivery.startsWith("teslim edildi")) << shownDelivery.toStdString();
    EXPECT_EQ(listed, "2 teslim edildi, 0 teslim edilemedi, 0 bekliyor");
    EXPECT_EQ(chosenRow, 1);
}

// A reply shows in "Gelen Mesajlar" with the campaign that texted its sender, bold and
// counted until opened; "Listeye Ekle" and "Ret Listesine Ekle" take its sender. A reply
// with a keyword puts its sender on the list by itself, with the keywords as saved.
TEST_F(ReceiveWindow, RepliesReachTheInboxAndTheOptOutList) {
    ASSERT_TRUE(connect());
    runBulk({"05321112233"}, "Kampanya");
    ASSERT_EQ(sim->sim.messages().size(), 1u);
    const std::int64_t campaign = sending->shownCampaign();

    ASSERT_TRUE(sim->sim.receiveSms({"+905321112233", "Yarın gelirim"}));
    ASSERT_TRUE(pumpUntil([&] { return receiving->unreadCount() == 1; }));
    EXPECT_EQ(receiving->inboxButton->text(), "Gelen Mesajlar (1)");

    receiving->inboxButton->click();
    InboxDialog* inbox = receiving->inboxDialog();
    ASSERT_NE(inbox, nullptr);
    QAbstractItemModel* rows = inbox->messages->model();
    ASSERT_EQ(rows->rowCount(), 1);
    EXPECT_EQ(rows->index(0, 0).data().toString(), "+905321112233");
    EXPECT_EQ(rows->index(0, 2).data().toString(), "Yarın gelirim");
    EXPECT_EQ(rows->index(0, 3).data().toString(), QString("Gönderim %1").arg(campaign));
    EXPECT_TRUE(rows->index(0, 0).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(inbox->optOutButton->isEnabled());  // nothing opened yet

    inbox->messages->selectRow(0);
    EXPECT_EQ(inbox->text->toPlainText(), "Yarın gelirim");
    EXPECT_FALSE(rows->index(0, 0).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(receiving->inboxButton->text(), "Gelen Mesajlar");

    form->ListBox1->clear();
    inbox->addToListButton->click();
    ASSERT_EQ(form->ListBox1->count(), 1);
    EXPECT_EQ(form->ListBox1->item(0)->text(), "+905321112233");

    store::OptOutList optOuts(*sending->database().database());
    inbox->optOutButton->click();
    EXPECT_TRUE(optOuts.contains("05321112233"));

    // Keywords saved in the opt-out window reach the settings and the inbox.
    receiving->optOutButton->click();
    OptOutDialog* list = receiving->optOutDialog();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->keywordsEdit->text(), "RET, İPTAL, IPTAL, STOP, DUR");
    list->keywordsEdit->setText("RET, , BİTİR,RET");
    list->keywordsButton->click();
    EXPECT_EQ(Settings(settingsFile()).optOutKeywords(), QStringList({"RET", "BİTİR"}));
    ASSERT_TRUE(sim->sim.receiveSms({"+905321112299", "bitir lütfen"}));
    ASSERT_TRUE(pumpUntil([&] { return optOuts.contains("05321112299"); }));
    EXPECT_EQ(list->model().rowCount(), 2);  // the open list shows it
    EXPECT_EQ(rows->rowCount(), 2);
    EXPECT_EQ(rows->index(0, 2).data().toString(), "bitir lütfen");  // newest first
    EXPECT_EQ(receiving->inboxButton->text(), "Gelen Mesajlar (1)");

    // A PDU that cannot be read is shown as such, with what the phone gave; its sender
    // cannot go into a list.
    std::string error;
    ASSERT_TRUE(receiving->keeper()->keepMessage("0791FFFF", -1, error)) << error;
    ASSERT_EQ(rows->rowCount(), 3);
    int unreadable = -1;
    for (int row = 0; row < rows->rowCount(); ++row) {
        if (rows->index(row, 2).data().toString().startsWith("Okunamayan mesaj")) {
            unreadable = row;
        }
    }
    ASSERT_GE(unreadable, 0);
    inbox->messages->selectRow(unreadable);
    EXPECT_TRUE(inbox->text->toPlainText().contains("0791FFFF"));
    EXPECT_FALSE(inbox->addToListButton->isEnabled());
    EXPECT_FALSE(inbox->optOutButton->isEnabled());
}

// A "RET" that comes inside a submission's wait during a run: the submission goes on
// undisturbed, and its sender, further down the list, is skipped.
TEST_F(ReceiveWindow, ARefusalDuringARunIsHonouredBeforeTheRunReachesIt) {
    phonesim::Config config;
    config.messaging.incoming = {{"+905321112235", "RET"}};
    config.messaging.incomingDelayMs = 600000;  // only inside the first submission's answer
    config.messaging.incomingDuring = {"PDU"};
    ASSERT_TRUE(connect(config));
    runBulk({"05321112233", "05321112234", "05321112235"}, "Kampanya");
    ASSERT_EQ(sim->sim.messages().size(), 2u);
    EXPECT_EQ(resultCell(0, 2), "gönderildi");
    EXPECT_EQ(resultCell(0, 4), QString("ref %1").arg(sim->sim.messages()[0].reference));
    EXPECT_EQ(resultCell(1, 2), "gönderildi");
    EXPECT_EQ(resultCell(2, 2), "atlandı");
    EXPECT_EQ(resultCell(2, 4), "Ret listesinde");
    EXPECT_EQ(receiving->unreadCount(), 1);
}

// The opt-out window: a number by hand in its normal form, a removal only after Yes, an
// export and an import of a CSV file of numbers.
TEST_F(ReceiveWindow, OptOutListIsKeptByHandAndByFile) {
    receiving->optOutButton->click();
    OptOutDialog* dialog = receiving->optOutDialog();
    ASSERT_NE(dialog, nullptr);
    QAbstractItemModel* rows = dialog->table->model();

    dialog->numberEdit->setText("0532 111 22 33");
    dialog->addButton->click();
    dialog->numberEdit->setText("+905321112233");  // the same number written otherwise
    dialog->addButton->click();
    dialog->numberEdit->setText("merhaba");
    dialog->addButton->click();
    ASSERT_EQ(rows->rowCount(), 1);
    EXPECT_EQ(rows->index(0, 0).data().toString(), "+905321112233");
    EXPECT_EQ(rows->index(0, 2).data().toString(), "elle");
    ASSERT_EQ(asker.told.size(), 2u);
    EXPECT_TRUE(asker.told[0].text.contains("zaten ret listesinde"));
    EXPECT_EQ(asker.told[1].icon, Asker::Icon::Error);

    const fs::path out = m_dir / "ret.csv";
    dialog->chooseExportFile = [&](QWidget*, const QString&) {
        return QString::fromStdString(out.string());
    };
    dialog->exportButton->click();
    std::ifstream in(out, std::ios::binary);
    const std::string csv{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(csv.find("905321112233"), std::string::npos) << csv;

    // Removal asks, and No keeps the number.
    dialog->table->selectRow(0);
    asker.answers = {false};
    dialog->removeButton->click();
    ASSERT_EQ(asker.asked.size(), 1u);
    EXPECT_TRUE(asker.asked[0].text.contains("+905321112233"));
    EXPECT_EQ(rows->rowCount(), 1);
    asker.answers = {true};
    dialog->removeButton->click();
    EXPECT_EQ(rows->rowCount(), 0);

    // The export read back, with a header and a number of another list.
    std::ofstream(out, std::ios::app) << "05321112234\r\n";
    dialog->chooseImportFile = [&](QWidget*) { return QString::fromStdString(out.string()); };
    dialog->importButton->click();
    ASSERT_EQ(rows->rowCount(), 2);
    EXPECT_EQ(rows->index(0, 2).data().toString(), "içe aktarma");
    EXPECT_TRUE(asker.told.back().text.startsWith("2 numara eklendi"))
        << asker.told.back().text.toStdString();
}

}  // namespace
}  // namespace app
