// The send buttons and the bulk run on the bulk tab, against the simulated phone.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <utility>

#include "app/bulk_progress_panel.h"
#include "app/list_imports.h"
#include "app/main_window.h"
#include "app/phone_controller.h"
#include "app/phonebook_buttons.h"
#include "app/qt_message_queue.h"
#include "app/send_controller.h"
#include "app/tests/fake_asker.h"
#include "app/tests/simulated_phone.h"
#include "platform/tests/scratch_folder.h"
#include "store/database_recorder.h"
#include "store/optout_list.h"

namespace app {
namespace {

namespace fs = std::filesystem;

class SendWindow : public ::testing::Test {
protected:
    void SetUp() override {
        MainFormOptions options;
        options.listFile = m_dir / "rehber.txt";
        options.settingsFile = QString::fromStdString((m_dir / "settings.conf").string());
        options.asker = &asker;
        options.openUrl = [this](const QUrl& url) { opened.push_back(url); };
        form = std::make_unique<TMainForm>(options);
        phone = std::make_unique<PhoneController>(*form, queue);
        sending = std::make_unique<SendController>(*form, *phone, queue);
        // As in the program: the imports' buttons are the ones a run must lock.
        ListImportOptions importOptions;
        importOptions.chooseTextFile = [this](QWidget*) {
            ++m_importsStarted;
            return QString();
        };
        importOptions.chooseWorkbook = importOptions.chooseTextFile;
        imports = std::make_unique<ListImports>(*form, importOptions);
        phonebooks = std::make_unique<PhonebookButtons>(*form, *phone);
    }
    void TearDown() override {
        phonebooks.reset();
        imports.reset();
        sending.reset();
        phone.reset();
        form.reset();
        sim.reset();
    }
    bool connect(phonesim::Config config = {}) {
        sim = std::make_unique<SimulatedPhone>(std::move(config));
        if (!sim->start()) {
            return false;
        }
        form->btnOpen->click();
        return form->statusPanel(0) == "Bağlı: Com5";
    }
    void list(const QStringList& entries) {
        for (const QString& e : entries) {
            form->ListBox1->addItem(e);
        }
    }
    // The columns of the results table.
    enum { kPosition, kNumber, kState, kTime, kDetail };
    int rows() const { return sending->panel().results->model()->rowCount(); }
    // A campaign whose first rows were served with `outcomes` before the program went away.
    std::int64_t campaignServed(std::vector<std::string> entries,
                                const std::vector<sms::SendStatus>& outcomes) {
        store::NewCampaign c;
        c.text = u"Kampanya";
        c.options.pauseSeconds = 0;
        c.entries = std::move(entries);
        store::Database& db = *sending->database().database();
        const std::int64_t id = sending->database().campaigns()->create(c);
        auto lock = db.takeSenderLock();
        store::DatabaseRecorder recorder(db, *lock, id);
        std::string error;
        for (const sms::SendStatus status : outcomes) {
            sms::SendOutcome o;
            o.status = status;
            if (status == sms::SendStatus::Sent) {
                o.references = {7};
            }
            const auto r = recorder.nextQueued(error);
            EXPECT_TRUE(r && recorder.markSending(*r, error) && recorder.markFinished(*r, o, error))
                << error;
        }
        return id;
    }
    QString cell(int row, int column) const {
        return sending->panel().results->model()->index(row, column).data().toString();
    }

    QtMessageQueue queue;
    FakeAsker asker;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<PhoneController> phone;
    std::unique_ptr<SendController> sending;
    std::unique_ptr<ListImports> imports;
    std::unique_ptr<PhonebookButtons> phonebooks;
    std::unique_ptr<SimulatedPhone> sim;
    std::vector<QUrl> opened;
    platform::testing::ScratchFolder m_scratch{"send-window"};
    const fs::path m_dir = m_scratch.path();
    int m_importsStarted = 0;
};

TEST_F(SendWindow, SingleSendShowsTheReference) {
    ASSERT_TRUE(connect());
    form->Edit1->setText("+905321112233");
    form->Memo2->setPlainText("Merhaba");
    form->btnSMS->click();
    EXPECT_EQ(form->statusPanel(1), "Gönderildi: ref 1");
    ASSERT_EQ(sim->sim.messages().size(), 1u);
    EXPECT_EQ(sim->sim.messages()[0].pdu.destination, "+905321112233");
    EXPECT_TRUE(form->btnSMS->isEnabled());
    EXPECT_TRUE(form->tiRefresh->isActive());

    // "Türkçe karakterleri 7 bit gönder" reaches the send: 7-bit with the Turkish tables.
    form->chkTurkish2->setChecked(true);
    form->Memo2->setPlainText("Şeker ğ");
    form->btnSMS->click();
    ASSERT_EQ(sim->sim.messages().size(), 2u) << form->statusPanel(1).toStdString();
    EXPECT_EQ(sim->sim.messages()[1].pdu.coding, phonesim::Coding::Gsm7);
    EXPECT_EQ(sim->sim.messages()[1].pdu.text, "Şeker ğ");
}

TEST_F(SendWindow, BulkRunFillsTheResultsAndResendsTheFailed) {
    phonesim::Config config;
    config.faults.refuseNumbers = {"05550000000"};
    ASSERT_TRUE(connect(config));
    list({"05321112233", "", "05550000000", "05321112234"});
    form->Memo3->setPlainText("Kampanya");
    form->edtSure->setValue(0);
    asker.answers = {true, true};  // the run's question and the resend's
    form->Button1->click();

    BulkProgressPanel& panel = sending->panel();
    EXPECT_FALSE(panel.isHidden());
    EXPECT_EQ(form->statusPanel(1), "2 gönderildi, 2 başarısız");
    EXPECT_EQ(panel.count->text(), "4 / 4");
    EXPECT_EQ(panel.progress->value(), 4);
    ASSERT_EQ(rows(), 4);
    EXPECT_EQ(cell(0, kState), "gönderildi");
    EXPECT_EQ(cell(0, kDetail), "ref 1");
    EXPECT_EQ(cell(1, kDetail), "Error encoding PDU");
    EXPECT_EQ(cell(2, kState), "başarısız");
    EXPECT_EQ(cell(2, kDetail), "Kısa mesaj aktarımı reddedildi (+CMS ERROR: 21)");
    EXPECT_EQ(form->Edit1->text(), "05321112234");
    EXPECT_TRUE(form->cxGroupBox3->isEnabled());
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_TRUE(panel.resendButton->isEnabled());
    EXPECT_TRUE(fs::exists(sending->lastSummary().resultsFile));
    EXPECT_EQ(sending->lastSummary().resultsFile.parent_path(), m_dir / "gonderimler");
    EXPECT_TRUE(panel.fileLabel->toolTip().endsWith(
        QString::fromStdString(sending->lastSummary().resultsFile.filename().string())));
    EXPECT_TRUE(asker.told.empty());

    // A single send from the other tab leaves the run's buttons as they were.
    form->Edit1->setText("+905321112233");
    form->Memo2->setPlainText("Merhaba");
    form->btnSMS->click();
    ASSERT_EQ(sim->sim.messages().size(), 3u);
    EXPECT_TRUE(panel.resendButton->isEnabled());
    EXPECT_TRUE(panel.closeButton->isEnabled());

    // The resend serves only the two that failed, with the run's own text.
    form->Memo3->setPlainText("başka");
    sim->sim.setFaults({});
    panel.resendButton->click();
    ASSERT_EQ(asker.asked.size(), 2u);
    EXPECT_TRUE(asker.asked[1].text.startsWith(
        "2 kişiye 1 parçalı mesaj gönderilecek (toplam 2 SMS). Başlatılsın mı?"));
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(cell(0, kNumber), "");
    EXPECT_EQ(cell(1, kNumber), "05550000000");
    EXPECT_EQ(cell(1, kState), "gönderildi");
    EXPECT_EQ(sim->sim.messages().back().pdu.text, "Kampanya");

    panel.closeButton->click();
    EXPECT_TRUE(panel.isHidden());
}

// A click while a command holds the line waits for it, once: the buttons are off.
TEST_F(SendWindow, BulkClickWaitsForTheLineOnce) {
    ASSERT_TRUE(connect());
    list({"05321112233", "05321112234"});
    form->Memo3->setPlainText("Kampanya");
    form->edtSure->setValue(0);
    asker.answers = {true};
    {
        phone::CommandTurn held = phone->dialogue().beginTurn(phone::CommandOrigin::User);
        ASSERT_TRUE(held);
        form->Button1->click();
        EXPECT_FALSE(form->Button1->isEnabled());
        EXPECT_FALSE(form->btnSMS->isEnabled());
        form->Button1->click();
        EXPECT_TRUE(sim->sim.messages().empty());
    }
    for (int i = 0; i < 5000 && (sending->lastSummary().sent < 2 || !form->Button1->isEnabled());
         ++i) {
        queue.waitAndPumpOne(1);
    }
    EXPECT_EQ(sending->lastSummary().sent, 2);
    EXPECT_EQ(sim->sim.messages().size(), 2u);
    EXPECT_TRUE(form->Button1->isEnabled());
}

// "Durdur" during the 30 s pause: the window answers, the run ends at once, and the
// list could not be changed nor a send, an import or a phonebook reading started
// meanwhile.
TEST_F(SendWindow, StopDuringThePause) {
    ASSERT_TRUE(connect());
    list({"05321112233", "05321112234", "05321112235"});
    form->Memo3->setPlainText("Kampanya");
    form->edtSure->setValue(30);
    // Everything that changes the list or starts a send.
    const std::vector<std::pair<const char*, QPushButton*>> buttons = {
        {"Ekle", form->Button2},
        {"Seçili Kaydı Sil", form->Button3},
        {"Tüm Kayıtları Sil", form->Button4},
        {"Aktar (Txt Dosya)", form->Button5},
        {"Aktar (Excel)", form->Button6},
        {"Aktar (Telefon)", form->btnME},
        {"Aktar (SIM Kart)", form->btnSM},
        {"Tekrarları Sil", imports->btnRepeats},
        {"Sms Gönder (toplu)", form->Button1},
        {"Sms Gönder (tek)", form->btnSMS}};
    std::vector<std::string> enabledDuringRun;
    QTimer::singleShot(300, form.get(), [&] {
        for (const auto& [name, button] : buttons) {
            if (button->isEnabled()) {
                enabledDuringRun.push_back(name);
            }
            button->click();  // a disabled button takes no click
        }
        sending->panel().stopButton->click();
    });
    asker.answers = {true};
    form->Button1->click();
    EXPECT_TRUE(enabledDuringRun.empty()) << enabledDuringRun.front();
    EXPECT_EQ(m_importsStarted, 0);
    for (const auto& [name, button] : buttons) {
        EXPECT_TRUE(button->isEnabled()) << name;
    }
    EXPECT_EQ(form->statusPanel(1), "1 gönderildi, 0 başarısız, 2 gönderilmedi");
    EXPECT_EQ(sim->sim.messages().size(), 1u);
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(cell(2, kState), "sırada");
    EXPECT_EQ(form->ListBox1->count(), 3);
    // The bar and the counts show how far the run got, not a full bar.
    EXPECT_EQ(sending->panel().progress->value(), 1);
    EXPECT_EQ(sending->panel().count->text(), "1 / 3");
    EXPECT_EQ(sending->panel().tally->text(), "1 gönderildi · 0 başarısız · 0 belirsiz");
    sending->panel().folderButton->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0],
              QUrl::fromLocalFile(QString::fromStdString((m_dir / "gonderimler").string())));
}

// The question before a run names its counts; No sends nothing and leaves the list shown.
TEST_F(SendWindow, RunStartsOnlyAfterItsQuestion) {
    ASSERT_TRUE(connect());
    list({"05321112233", "05321112234", "05321112235"});
    form->Memo3->setPlainText(QString(170, QLatin1Char('a')));
    form->edtSure->setValue(0);
    form->Button1->click();
    ASSERT_EQ(asker.asked.size(), 1u);
    EXPECT_TRUE(asker.asked[0].text.startsWith(
        "3 kişiye 2 parçalı mesaj gönderilecek (toplam 6 SMS). Başlatılsın mı?"))
        << asker.asked[0].text.toStdString();
    EXPECT_TRUE(sim->sim.messages().empty());
    EXPECT_TRUE(sending->panel().isHidden());
    EXPECT_TRUE(form->Button1->isEnabled());

    // The editor's first text is named as such; Yes sends it as it stands.
    form->ListBox1->clear();
    list({"05321112233"});
    form->Memo3->setPlainText(kMessagePlaceholder);
    asker.answers = {true};
    form->Button1->click();
    ASSERT_EQ(asker.asked.size(), 2u);
    EXPECT_TRUE(asker.asked[1].text.contains("mesaj kutusunun ilk metnidir"));
    EXPECT_EQ(asker.asked[1].icon, Asker::Icon::Warning);
    ASSERT_EQ(sim->sim.messages().size(), 1u);
    EXPECT_EQ(sim->sim.messages()[0].pdu.text, kMessagePlaceholder.toStdString());
}

// The question names the entries that are no mobile numbers and offers to leave them
// out; a number on the opt-out list is counted there, skipped by the run and refused by
// the single send.
TEST_F(SendWindow, TheQuestionNamesWhatTheRunWillNotReachAndTheOptOutListIsHonoured) {
    ASSERT_TRUE(connect());
    store::OptOutList(*sending->database().database())
        .add("+90 532 111 22 35", store::OptOutReason::Manual);
    list({"05321112233", "0212 555 11 22", "05321112235"});
    form->Memo3->setPlainText("Kampanya");
    form->edtSure->setValue(0);
    form->Button1->click();  // No
    ASSERT_EQ(asker.asked.size(), 1u);
    const QString question = asker.asked[0].text;
    EXPECT_TRUE(question.contains("1 kayıt mobil numara değil (1 sabit hat)"))
        << question.toStdString();
    EXPECT_TRUE(question.contains("1 kişi ret listesinde")) << question.toStdString();
    ASSERT_EQ(asker.offered.size(), 1u);
    ASSERT_EQ(asker.offered[0].size(), 1u);
    EXPECT_FALSE(asker.offered[0][0].checked);
    EXPECT_TRUE(sim->sim.messages().empty());

    asker.answers = {true};
    asker.tickChoices = {true};
    form->Button1->click();
    ASSERT_EQ(sim->sim.messages().size(), 1u);
    EXPECT_EQ(sim->sim.messages()[0].pdu.destination, "05321112233");
    EXPECT_EQ(sending->lastSummary().skipped, 1);
    EXPECT_EQ(rows(), 2);  // the fixed line left out, the listed number skipped

    form->Edit1->setText("05321112235");
    form->Memo2->setPlainText("Merhaba");
    form->btnSMS->click();
    EXPECT_EQ(form->statusPanel(1), "Atlandı: Ret listesinde");
    EXPECT_EQ(sim->sim.messages().size(), 1u);
}

// Closing during a run asks; No goes on, Yes stops after the message in flight, records
// its outcome and then closes the window.
TEST_F(SendWindow, CloseDuringARunWaitsForTheMessageInFlight) {
    phonesim::Config config;
    config.faults.submitDelayMs = 400;
    ASSERT_TRUE(connect(config));
    list({"05321112233", "05321112234", "05321112235"});
    form->Memo3->setPlainText("Kampanya");
    form->edtSure->setValue(0);
    form->show();
    bool openAfterNo = false;
    bool openAfterYes = false;
    // While the first message waits for its answer: Edit1 shows the number as it starts.
    bool closing = false;
    QObject::connect(form->Edit1, &QLineEdit::textChanged, form.get(), [&] {
        if (std::exchange(closing, true)) {
            return;
        }
        QTimer::singleShot(0, form.get(), [&] {
            asker.answers = {false, true};
            form->close();
            openAfterNo = form->isVisible() && sending->running();
            form->close();
            openAfterYes = form->isVisible();
            form->close();  // asked once only
        });
    });
    asker.answers = {true};
    form->Button1->click();
    for (int i = 0; i < 2000 && form->isVisible(); ++i) {
        queue.waitAndPumpOne(1);
    }
    EXPECT_TRUE(openAfterNo);
    EXPECT_TRUE(openAfterYes);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(asker.asked.size(), 3u);
    // The message in flight got its answer and was recorded; nothing more went out.
    EXPECT_EQ(sim->sim.messages().size(), 1u);
    EXPECT_EQ(sending->lastSummary().sent, 1);
    EXPECT_EQ(sending->lastSummary().notSent, 2);
    EXPECT_TRUE(fs::exists(m_dir / "rehber.txt"));
}

// A campaign cut short is offered after connecting; its resume serves the rows still
// waiting, in order, and nothing else.
TEST_F(SendWindow, ResumeServesOnlyTheWaitingRows) {
    const std::int64_t id =
        campaignServed({"05321112233", "05321112234", "05321112235"}, {sms::SendStatus::Sent});
    ASSERT_TRUE(connect());
    EXPECT_FALSE(sending->resumeButton->isHidden());
    EXPECT_EQ(sending->resumeButton->text(), "Yarım kalan gönderimi sürdür (2 kişi kaldı)");
    EXPECT_TRUE(form->statusPanel(1).contains("2 kişi kaldı"))
        << form->statusPanel(1).toStdString();

    asker.answers = {true};
    sending->resumeButton->click();
    for (int i = 0; i < 2000 && sim->sim.messages().size() < 2; ++i) {
        queue.waitAndPumpOne(1);
    }
    ASSERT_EQ(asker.asked.size(), 1u);
    EXPECT_TRUE(asker.asked[0].text.startsWith("2 kişiye 1 parçalı mesaj"));
    ASSERT_EQ(sim->sim.messages().size(), 2u);
    EXPECT_EQ(sim->sim.messages()[0].pdu.destination, "05321112234");
    EXPECT_EQ(sim->sim.messages()[1].pdu.destination, "05321112235");
    EXPECT_TRUE(sending->resumeButton->isHidden());
    EXPECT_EQ(sending->shownCampaign(), id);
    EXPECT_EQ(cell(0, kDetail), "ref 7");
    EXPECT_EQ(cell(2, kState), "gönderildi");
}

// The resend serves the refused; those whose answer never came are offered, unticked,
// and go again only when ticked.
TEST_F(SendWindow, ResendTakesTheUnknownOnlyWhenAsked) {
    const std::int64_t id =
        campaignServed({"05321112233", "05321112234", "05321112235"},
                       {sms::SendStatus::Failed, sms::SendStatus::Unknown, sms::SendStatus::Sent});
    ASSERT_TRUE(connect());
    asker.answers = {true, true};
    asker.tickChoices = {false, true};
    sending->resendFailed(id);
    ASSERT_EQ(asker.offered.size(), 1u);
    ASSERT_EQ(asker.offered[0].size(), 1u);
    EXPECT_EQ(asker.offered[0][0].caption, "Belirsizleri de gönder");
    EXPECT_FALSE(asker.offered[0][0].checked);
    EXPECT_TRUE(asker.asked[0].text.startsWith("1 kişiye"));
    EXPECT_TRUE(asker.asked[0].text.contains("belirsiz"));
    ASSERT_EQ(sim->sim.messages().size(), 1u);
    EXPECT_EQ(sim->sim.messages()[0].pdu.destination, "05321112233");

    sending->resendFailed(id);
    ASSERT_EQ(sim->sim.messages().size(), 3u);
    EXPECT_EQ(sim->sim.messages()[1].pdu.destination, "05321112233");
    EXPECT_EQ(sim->sim.messages()[2].pdu.destination, "05321112234");
}

}  // namespace
}  // namespace app
