#include "app/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include "app/number_marks.h"
#include "app/screenshot.h"
#include "app/tests/fake_asker.h"
#include "platform/tests/other_user.h"
#include "platform/tests/scratch_folder.h"

namespace app {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const QString kPlaceholder = QStringLiteral("Mesajınızı buraya yazınız.");

class MainWindow : public testing::Test {
protected:
    void SetUp() override { m_file = m_dir / "rehber.txt"; }
    void TearDown() override { m_form.reset(); }

    TMainForm& makeForm() {
        MainFormOptions options;
        options.listFile = m_file;
        options.asker = &m_asker;
        options.openUrl = [this](const QUrl& url) { m_urls.push_back(url); };
        options.settingsFile = QString::fromStdString((m_dir / "toplusms.conf").string());
        m_form = std::make_unique<TMainForm>(options);
        return *m_form;
    }
    std::string fileBytes() const {
        std::ifstream in(m_file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void writeFile(const std::string& bytes) const {
        std::ofstream(m_file, std::ios::binary) << bytes;
    }
    static QStringList entries(const TMainForm& form) {
        QStringList list;
        for (int i = 0; i < form.ListBox1->count(); ++i) {
            list << form.ListBox1->item(i)->text();
        }
        return list;
    }

    platform::testing::ScratchFolder m_scratch{"app"};
    const fs::path m_dir = m_scratch.path();
    fs::path m_file;
    FakeAsker m_asker;
    std::vector<QUrl> m_urls;
    std::unique_ptr<TMainForm> m_form;
};

TEST_F(MainWindow, StartsWithPresetsEmptyListAndFirstTab) {
    TMainForm& form = makeForm();
    form.cxPageControl1->setCurrentIndex(3);
    form.show();

    EXPECT_EQ(form.windowTitle(),
              QStringLiteral("Tarvel Yazılım - Toplu Sms Gönderme - Sürüm: 1.0.1"));
    EXPECT_EQ(form.size(), QSize(784, 564));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    const QStringList captions{"Cihaz İletişim", "Tek Kişiye Sms Gönderme", "Toplu Sms Gönderme",
                               "Hakkında", "Yardım"};
    ASSERT_EQ(form.cxPageControl1->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(form.cxPageControl1->tabText(i), captions[i]);
    }
    EXPECT_EQ(form.cxPageControl1->currentIndex(), 0);  // showing selects the first tab
    EXPECT_EQ(form.cxGroupBox6->title(), QStringLiteral("İlk Kullanım  Adımları "));

    EXPECT_EQ(form.ComboBox1->count(), 40);
    EXPECT_EQ(form.ComboBox1->itemText(39), QStringLiteral("Com40"));
    EXPECT_EQ(form.ComboBox1->currentText(), QStringLiteral("Com5"));
    EXPECT_EQ(form.ComboBox2->currentText(), QStringLiteral("115200"));
    EXPECT_EQ(form.btnOpen->text(), QStringLiteral("Bağlan"));
    EXPECT_TRUE(form.focusWidget() == form.ComboBox1 ||
                form.focusWidget() == form.ComboBox1->lineEdit());

    EXPECT_EQ(form.ListBox1->count(), 0);
    EXPECT_EQ(form.Label18->text(), QStringLiteral("Toplam Telefon No :"));
    EXPECT_EQ(form.lamp(), QColor(255, 0, 0));
    EXPECT_EQ(form.Gauge1->value(), 0);
    EXPECT_EQ(form.Gauge2->value(), 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(form.statusPanel(i).isEmpty());
    }
    EXPECT_FALSE(form.tiRefresh->isActive());
    EXPECT_EQ(form.tiRefresh->interval(), 5000);
    EXPECT_FALSE(form.tiClear->isActive());
    EXPECT_EQ(form.tiClear->interval(), 4000);
    EXPECT_EQ(form.edtSure->value(), 30);
    EXPECT_TRUE(m_asker.told.empty());
}

TEST_F(MainWindow, GaugesKeepWithinZeroToHundred) {
    TMainForm& form = makeForm();
    form.setSignalGauge(140);
    form.setBatteryGauge(-5);
    EXPECT_EQ(form.Gauge2->value(), 100);
    EXPECT_EQ(form.Gauge1->value(), 0);
}

TEST_F(MainWindow, ExitQuestionYesClosesAndSavesNoChangesNothing) {
    TMainForm& form = makeForm();
    form.show();
    form.ListBox1->addItem(QStringLiteral("0532"));

    m_asker.answers = {false};
    QTest::mouseClick(form.Button7, Qt::LeftButton);
    ASSERT_EQ(m_asker.asked.size(), 1u);
    EXPECT_EQ(m_asker.asked[0].title, QStringLiteral("Bilgi"));
    EXPECT_EQ(m_asker.asked[0].text, QStringLiteral("Programdan çıkmak istiyor musunuz?"));
    EXPECT_EQ(m_asker.asked[0].icon, Asker::Icon::Information);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(fs::exists(m_file));
    EXPECT_EQ(form.ListBox1->count(), 1);

    m_asker.answers = {true};
    QTest::mouseClick(form.Button7, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(fileBytes(), "0532\r\n");
}

TEST_F(MainWindow, ClosingByTheTitleBarSavesWithoutAQuestionThenRunsTheCloseSteps) {
    TMainForm& form = makeForm();
    form.show();
    form.ListBox1->addItem(QStringLiteral("0532"));
    form.tiRefresh->start();
    bool savedFirst = false;
    bool pollingStopped = false;
    int closings = 0;
    MainFormHooks& hooks = form.hooks();
    hooks.closing = [&] {
        ++closings;
        savedFirst = fs::exists(m_file);
        pollingStopped = !form.tiRefresh->isActive();
    };

    EXPECT_TRUE(form.close());
    EXPECT_TRUE(m_asker.asked.empty());
    EXPECT_EQ(fileBytes(), "0532\r\n");
    EXPECT_EQ(closings, 1);
    EXPECT_TRUE(savedFirst);
    EXPECT_TRUE(pollingStopped);
}

TEST_F(MainWindow, KeypadAppendsDeletesAndClears) {
    using Key = QPushButton* TMainForm::*;
    const struct {
        const char* typed;
        std::vector<Key> keys;
        const char* expected;
    } cases[] = {
        {"", {&TMainForm::btn1, &TMainForm::btn2, &TMainForm::btn3}, "123"},
        {"", {&TMainForm::btnStern, &TMainForm::btn0, &TMainForm::btnRaute}, "*0#"},
        {"",
         {&TMainForm::btn4, &TMainForm::btn5, &TMainForm::btn6, &TMainForm::btn7, &TMainForm::btn8,
          &TMainForm::btn9},
         "456789"},
        {"abc", {&TMainForm::btn5}, "abc5"},  // after whatever was typed, also non-digits
        {"12", {&TMainForm::btnBack}, "1"},
        {"", {&TMainForm::btnBack}, ""},
        {"0532 11", {&TMainForm::btnClear}, ""},
        {"", {&TMainForm::btnClear, &TMainForm::btn7}, "7"},
    };
    TMainForm& form = makeForm();
    form.show();
    form.cxPageControl1->setCurrentWidget(form.cxTabSheet2);
    for (const auto& c : cases) {
        form.Edit1->setText(QString::fromUtf8(c.typed));
        form.Edit1->setCursorPosition(0);  // the caret plays no part
        for (Key key : c.keys) {
            QTest::mouseClick(form.*key, Qt::LeftButton);
        }
        EXPECT_EQ(form.Edit1->text(), QString::fromUtf8(c.expected)) << c.typed;
    }
}

TEST_F(MainWindow, SmsButtonSendsOnlyWithNumberAndText) {
    const struct {
        const char* number;
        const char* text;  // null: the placeholder stays
        bool sent;
        const char* message;
    } cases[] = {
        {"05321112233", nullptr, true, "Mesajınızı buraya yazınız."},
        {"05321112233", "ab\nc", true, "ab\r\nc"},
        {"", "merhaba", false, ""},
        {"05321112233", "", false, ""},
    };
    TMainForm& form = makeForm();
    std::vector<QString> sent;
    MainFormHooks& hooks = form.hooks();
    hooks.sendSms = [&](const QString& text) { sent.push_back(text); };
    form.show();
    form.cxPageControl1->setCurrentWidget(form.cxTabSheet2);
    for (const auto& c : cases) {
        sent.clear();
        form.Edit1->setText(QString::fromUtf8(c.number));
        form.Memo2->setPlainText(c.text ? QString::fromUtf8(c.text) : kPlaceholder);
        QTest::mouseClick(form.btnSMS, Qt::LeftButton);
        ASSERT_EQ(sent.size(), c.sent ? 1u : 0u) << c.number << " / " << (c.text ? c.text : "");
        if (c.sent) {
            EXPECT_EQ(sent[0], QString::fromUtf8(c.message));
        }
    }
    EXPECT_TRUE(m_asker.told.empty());
}

TEST_F(MainWindow, TagButtonsReachTheirHooks) {
    TMainForm& form = makeForm();
    std::vector<std::string> calls;
    MainFormHooks& hooks = form.hooks();
    hooks.connectClicked = [&] { calls.push_back("connect"); };
    hooks.phonebookClicked = [&](const char* storage) { calls.push_back(storage); };
    form.show();
    form.btnOpen->click();
    form.btnME->click();
    form.btnSM->click();
    EXPECT_EQ(calls, (std::vector<std::string>{"connect", "ME", "SM"}));
}

TEST_F(MainWindow, EditorsClearThePlaceholderOnlyAndCountBytesAndParts) {
    TMainForm& form = makeForm();
    form.show();
    const struct {
        QWidget* tab;
        QPlainTextEdit* memo;
        QLabel* counter;
    } editors[] = {{form.cxTabSheet2, form.Memo2, form.Label19},
                   {form.cxTabSheet3, form.Memo3, form.Label20}};
    for (const auto& e : editors) {
        form.cxPageControl1->setCurrentWidget(e.tab);
        EXPECT_EQ(e.memo->toPlainText(), kPlaceholder);
        EXPECT_EQ(e.counter->text(), QStringLiteral("Toplam Karekter :"));

        QTest::mouseClick(e.memo->viewport(), Qt::LeftButton);  // the placeholder goes
        EXPECT_TRUE(e.memo->toPlainText().isEmpty());
        EXPECT_EQ(e.counter->text(), QStringLiteral("Toplam Karekter: 0"));

        const struct {
            QString text;
            const char* counter;
        } counts[] = {
            {QStringLiteral("ab\nc"), "Toplam Karekter: 5 · 1 SMS (7 bit)"},  // CR LF counts 2
            {QStringLiteral("Şişli ğ"), "Toplam Karekter: 7 · 1 SMS (UCS-2)"},
            {QString(172, QLatin1Char('a')), "Toplam Karekter: 172 · 2 SMS (7 bit)"},
            {QStringLiteral("x©"), "Toplam Karekter: 2 · 1 SMS (8 bit)"},
            {QString(71, QChar(0x15F)), "Toplam Karekter: 71 · 2 SMS (UCS-2)"},
        };
        for (const auto& c : counts) {
            e.memo->setPlainText(c.text);
            EXPECT_EQ(e.counter->text(), QString::fromUtf8(c.counter));
        }

        // A typed message survives further clicks.
        e.memo->setPlainText(QStringLiteral("yazılmış mesaj"));
        QTest::mouseClick(e.memo->viewport(), Qt::LeftButton);
        QTest::mouseClick(e.memo->viewport(), Qt::LeftButton);
        EXPECT_EQ(e.memo->toPlainText(), QStringLiteral("yazılmış mesaj"));
    }
}

TEST_F(MainWindow, TurkishCheckBoxIsOneRememberedSettingOnBothTabs) {
    TMainForm& form = makeForm();
    form.show();
    ASSERT_TRUE(form.chkTurkish2 && form.chkTurkish3);
    EXPECT_EQ(form.chkTurkish2->text(), QStringLiteral("Türkçe karakterleri 7 bit gönder"));
    EXPECT_FALSE(form.chkTurkish2->isChecked());
    EXPECT_FALSE(form.chkTurkish3->isChecked());
    EXPECT_FALSE(form.turkishSevenBit());

    const QString turkish = QString(152, QChar(0x15F));  // ş: one SMS with the tables, 3 without
    form.Memo2->setPlainText(turkish);
    form.Memo3->setPlainText(QStringLiteral("Günaydın"));
    EXPECT_EQ(form.Label19->text(), QStringLiteral("Toplam Karekter: 152 · 3 SMS (UCS-2)"));

    form.cxPageControl1->setCurrentWidget(form.cxTabSheet3);
    QTest::mouseClick(form.chkTurkish3, Qt::LeftButton);
    EXPECT_TRUE(form.chkTurkish2->isChecked());
    EXPECT_TRUE(form.turkishSevenBit());
    // Counters follow at once.
    EXPECT_EQ(form.Label19->text(), QStringLiteral("Toplam Karekter: 152 · 1 SMS (7 bit, Türkçe)"));
    EXPECT_EQ(form.Label20->text(), QStringLiteral("Toplam Karekter: 8 · 1 SMS (7 bit, Türkçe)"));

    // The next run starts with the box as it was left.
    m_form.reset();
    TMainForm& again = makeForm();
    EXPECT_TRUE(again.chkTurkish2->isChecked());
    EXPECT_TRUE(again.chkTurkish3->isChecked());
    again.chkTurkish2->setChecked(false);
    EXPECT_FALSE(again.chkTurkish3->isChecked());
    m_form.reset();
    EXPECT_FALSE(makeForm().turkishSevenBit());
}

TEST_F(MainWindow, AddAndDeleteEntriesWithTheirQuestions) {
    TMainForm& form = makeForm();
    form.show();
    form.cxPageControl1->setCurrentWidget(form.cxTabSheet3);

    QTest::mouseClick(form.Button2, Qt::LeftButton);  // an empty entry counts too
    EXPECT_EQ(entries(form), QStringList{""});
    EXPECT_EQ(form.Label18->text(), QStringLiteral("Toplam Telefon No: 1"));
    for (int i = 0; i < 2; ++i) {
        form.Edit3->setText(QStringLiteral(" 0532 111 "));
        QTest::mouseClick(form.Button2, Qt::LeftButton);
        EXPECT_TRUE(form.Edit3->text().isEmpty());
    }
    EXPECT_EQ(entries(form), (QStringList{"", " 0532 111 ", " 0532 111 "}));
    EXPECT_EQ(form.Label18->text(), QStringLiteral("Toplam Telefon No: 3"));
    // Enter in the field adds as "Ekle" does.
    form.Edit3->setText(QStringLiteral("05321112233"));
    QTest::keyClick(form.Edit3, Qt::Key_Return);
    EXPECT_EQ(entries(form).back(), QStringLiteral("05321112233"));
    EXPECT_TRUE(form.Edit3->text().isEmpty());
    delete form.ListBox1->takeItem(3);

    // Nothing selected: asked all the same, Yes removes nothing.
    form.ListBox1->clearSelection();
    m_asker.answers = {true};
    QTest::mouseClick(form.Button3, Qt::LeftButton);
    ASSERT_EQ(m_asker.asked.size(), 1u);
    EXPECT_EQ(m_asker.asked[0].title, QStringLiteral("Uyarı"));
    EXPECT_EQ(m_asker.asked[0].text, QStringLiteral("Seçili kaydı silmek istiyor musnuz ?"));
    EXPECT_EQ(m_asker.asked[0].icon, Asker::Icon::Warning);
    EXPECT_EQ(form.ListBox1->count(), 3);

    form.ListBox1->setCurrentRow(0);
    m_asker.answers = {false};
    QTest::mouseClick(form.Button3, Qt::LeftButton);
    EXPECT_EQ(form.ListBox1->count(), 3);
    m_asker.answers = {true};
    QTest::mouseClick(form.Button3, Qt::LeftButton);
    EXPECT_EQ(entries(form), (QStringList{" 0532 111 ", " 0532 111 "}));
    EXPECT_EQ(form.Label18->text(), QStringLiteral("Toplam Telefon No: 2"));

    m_asker.answers = {false};
    QTest::mouseClick(form.Button4, Qt::LeftButton);
    EXPECT_EQ(m_asker.asked.back().text,
              QStringLiteral("Kayıtların tümünü silmek istiyor musnuz ?"));
    EXPECT_EQ(form.ListBox1->count(), 2);
    m_asker.answers = {true};
    QTest::mouseClick(form.Button4, Qt::LeftButton);
    EXPECT_EQ(form.ListBox1->count(), 0);
    EXPECT_EQ(form.Label18->text(), QStringLiteral("Toplam Telefon No: 0"));
}

// The delegate's view of a row, as it paints it.
struct RowLook : NumberMarkDelegate {
    QStyleOptionViewItem look(const QModelIndex& index) const {
        QStyleOptionViewItem option;
        initStyleOption(&option, index);
        return option;
    }
};

TEST_F(MainWindow, EntriesThatAreNoMobileNumbersAreMarkedWithTheReason) {
    TMainForm& form = makeForm();
    ASSERT_NE(dynamic_cast<NumberMarkDelegate*>(form.ListBox1->itemDelegate()), nullptr);
    form.ListBox1->addItems({"0532 111 22 33", "0212 555 66 77", "Ali", "0850 222 33 44"});
    const QColor plain = form.ListBox1->palette().color(QPalette::Text);
    const RowLook delegate;
    const struct {
        int row;
        bool marked;
        const char* toolTip;
    } rows[] = {
        {0, false, ""},
        {1, true, "Mobil numara değil: sabit hat."},
        {2, true, "Geçersiz numara: bu kayda SMS ulaşmaz."},
        {3, true, "Mobil numara değil: paylaşımlı."},
    };
    for (const auto& r : rows) {
        const QModelIndex index = form.ListBox1->model()->index(r.row, 0);
        const QStyleOptionViewItem look = delegate.look(index);
        const std::optional<NumberMark> mark = numberMark(index.data().toString());
        EXPECT_EQ(!look.icon.isNull(), r.marked) << r.row;
        EXPECT_EQ(mark.has_value(), r.marked) << r.row;
        if (mark) {
            EXPECT_EQ(mark->toolTip, QString::fromUtf8(r.toolTip));
            EXPECT_NE(look.palette.color(QPalette::Text), plain);
        }
    }
}

TEST_F(MainWindow, RecipientListGivesCodePageBytesAndChecksItsIndex) {
    TMainForm& form = makeForm();
    recipients::RecipientList& list = form.recipientList();
    list.append("\xDEule");
    list.append("0532");
    EXPECT_EQ(entries(form), (QStringList{"Şule", "0532"}));
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.entry(0), "\xDEule");
    try {
        list.entry(2);
        FAIL() << "no error";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (2)");
    }
    list.updateNumberCount();
    EXPECT_EQ(form.Label18->text(), QStringLiteral("Toplam Telefon No: 2"));
    list.clear();
    EXPECT_EQ(list.count(), 0);
}

TEST_F(MainWindow, LoadsTheListFileAndSavesItBackWithCrLf) {
    // LF-only lines, blanks kept, an empty line, a 1254 letter, a lone CR, a last line
    // without a break and, after a zero byte, text that is ignored.
    writeFile("0532 111 22 33\n  0533  \n\n\xDEule\r0534"s + '\0' + "0999\r\n"s);
    TMainForm& form = makeForm();
    form.show();
    EXPECT_EQ(entries(form), (QStringList{"0532 111 22 33", "  0533  ", "", "Şule", "0534"}));
    EXPECT_EQ(form.Label18->text(), QStringLiteral("Toplam Telefon No :"));
    form.cxPageControl1->setCurrentWidget(form.cxTabSheet3);  // showing the tab counts
    EXPECT_EQ(form.Label18->text(), QStringLiteral("Toplam Telefon No: 5"));

    ASSERT_TRUE(form.close());
    EXPECT_EQ(fileBytes(), "0532 111 22 33\r\n  0533  \r\n\r\n\xDEule\r\n0534\r\n");
}

TEST_F(MainWindow, AnEmptyListGivesAnEmptyFileAndAnEmptyNextStart) {
    writeFile("0532\r\n");
    {
        TMainForm& form = makeForm();
        form.show();
        m_asker.answers = {true};
        form.Button4Click();
        ASSERT_TRUE(form.close());
    }
    EXPECT_EQ(fs::file_size(m_file), 0u);
    TMainForm& again = makeForm();
    EXPECT_EQ(again.ListBox1->count(), 0);
    EXPECT_TRUE(m_asker.told.empty());
}

TEST_F(MainWindow, AnUnreadableListFileIsReportedAndSkipsThePresets) {
    fs::create_directory(m_file);
    TMainForm& form = makeForm();
    ASSERT_EQ(m_asker.told.size(), 1u);
    EXPECT_EQ(m_asker.told[0].title, QStringLiteral("TARVEL Toplu Sms 1.0.1"));
    EXPECT_EQ(m_asker.told[0].text,
              QString::fromStdString("Cannot open file \"" + m_file.string() +
                                     "\". Is a directory\n\nBu dosyanın üzerine yazılmayacak: "
                                     "program kapanırken liste başka bir adla kaydedilebilir."));
    EXPECT_EQ(m_asker.told[0].icon, Asker::Icon::Error);
    EXPECT_EQ(form.ListBox1->count(), 0);
    EXPECT_EQ(form.ComboBox1->currentIndex(), -1);
    EXPECT_TRUE(form.ComboBox2->currentText().isEmpty());
    // Nothing of this session to keep: it closes at once and leaves the file alone.
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(m_asker.asked.empty());
    EXPECT_TRUE(fs::is_directory(m_file));
}

TEST_F(MainWindow, AListFileThatCouldNotBeReadIsNeverReplaced) {
    writeFile("0532 111 22 33\r\n");
    fs::permissions(m_file, fs::perms::owner_read | fs::perms::owner_write);
    const fs::path other = m_dir / "yedek.txt";
    std::size_t chooserCalls = 0;
    MainFormOptions options;
    options.listFile = m_file;
    options.asker = &m_asker;
    options.settingsFile = QString::fromStdString((m_dir / "toplusms.conf").string());
    std::vector<fs::path> named;
    options.chooseListFile = [&](QWidget*) {
        return QString::fromStdString(named.at(chooserCalls++).string());
    };
    {
        platform::testing::OtherUser nobody;  // who may not read the file
        m_form = std::make_unique<TMainForm>(options);
    }
    TMainForm& form = *m_form;
    ASSERT_EQ(m_asker.told.size(), 1u);
    EXPECT_TRUE(m_asker.told[0].text.startsWith(QStringLiteral("Cannot open file")));
    EXPECT_TRUE(m_asker.told[0].text.contains(QStringLiteral("Permission denied")));
    form.show();
    form.Edit3->setText(QStringLiteral("05441112233"));
    form.Button2Click();

    // "Başka yere kaydet", naming the unreadable file itself, then another one.
    named = {m_file, other};
    m_asker.choices = {0, 0};
    EXPECT_TRUE(form.close());
    ASSERT_EQ(m_asker.asked.size(), 2u);
    EXPECT_EQ(m_asker.asked[1].text, m_asker.asked[0].text);
    EXPECT_EQ(m_asker.asked[0].text,
              QString::fromStdString("\"" + m_file.string() +
                                     "\" açılışta okunamadığı için üzerine yazılmadı.\n\n"
                                     "Listedeki 1 kayıt kaydedilmedi."));
    EXPECT_EQ(m_asker.offeredChoices[0],
              (QStringList{"Başka yere kaydet", "Kaydetmeden çık", "Vazgeç"}));
    EXPECT_EQ(chooserCalls, 2u);
    EXPECT_EQ(fileBytes(), "0532 111 22 33\r\n");
    std::ifstream in(other, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "05441112233\r\n");
}

TEST_F(MainWindow, AFailedSaveOffersAnotherPlaceOrLeavingAndStaysOpenOnVazgec) {
    writeFile("0532\r\n");
    TMainForm& form = makeForm();
    form.show();
    int closings = 0;
    MainFormHooks& hooks = form.hooks();
    hooks.closing = [&] { ++closings; };
    form.ListBox1->addItem(QStringLiteral("05321112233"));

    // A file size limit fails the write as a full disk would, also for root.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool closed = form.close();  // no choice made: "Vazgeç"
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_FALSE(closed);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(closings, 0);
    ASSERT_EQ(m_asker.asked.size(), 1u);
    EXPECT_EQ(m_asker.asked[0].text,
              QString::fromStdString("Cannot create file \"" + m_file.string() +
                                     "\". File too large.\n\nListedeki 2 kayıt kaydedilmedi."));
    EXPECT_EQ(fileBytes(), "0532\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), {}), 1);  // no temporary left

    EXPECT_TRUE(form.close());  // the next close tries again
    EXPECT_EQ(closings, 1);
    EXPECT_EQ(fileBytes(), "0532\r\n05321112233\r\n");
}

TEST_F(MainWindow, AReadOnlyFileOrFolderDoesNotTrapTheWindow) {
    writeFile("0532\r\n");
    fs::permissions(m_file, fs::perms::owner_read | fs::perms::group_read);
    int chooserCalls = 0;
    MainFormOptions options;
    options.listFile = m_file;
    options.asker = &m_asker;
    options.settingsFile = QString::fromStdString((m_dir / "toplusms.conf").string());
    options.chooseListFile = [&](QWidget*) {
        ++chooserCalls;
        return QString();  // cancelled
    };
    m_form = std::make_unique<TMainForm>(options);
    TMainForm& form = *m_form;
    form.show();
    form.ListBox1->addItem(QStringLiteral("05321112233"));

    // Another place, then cancelled; leaving, then No to the second question; leaving.
    m_asker.choices = {0, 1, 1};
    m_asker.answers = {false, true};
    EXPECT_TRUE(form.close());
    EXPECT_EQ(chooserCalls, 1);
    ASSERT_EQ(m_asker.asked.size(), 5u);
    EXPECT_TRUE(m_asker.asked[0].text.startsWith(QString::fromStdString(
        "Cannot create file \"" + m_file.string() + "\". Dosya salt okunur.\n\n")));
    EXPECT_EQ(m_asker.asked[2].text, QStringLiteral("Liste kaydedilmeden çıkılsın mı? Bu "
                                                    "oturumda yapılan değişiklikler kaybolacak."));
    EXPECT_EQ(fileBytes(), "0532\r\n");

    // A folder the user may not write to: as the user nobody, in a folder of root's.
    fs::permissions(m_file, fs::perms::owner_read | fs::perms::owner_write |
                                fs::perms::others_read | fs::perms::others_write);
    m_asker.asked.clear();
    {
        platform::testing::OtherUser nobody;
        m_form = std::make_unique<TMainForm>(options);
        m_form->show();
        m_form->ListBox1->addItem(QStringLiteral("05321112233"));
        m_asker.choices = {1};
        m_asker.answers = {true};
        EXPECT_TRUE(m_form->close());
    }
    ASSERT_EQ(m_asker.asked.size(), 2u);
    EXPECT_TRUE(m_asker.asked[0].text.contains(QStringLiteral("Permission denied")))
        << m_asker.asked[0].text.toStdString();
    EXPECT_EQ(fileBytes(), "0532\r\n");
}

TEST_F(MainWindow, WebAndMailLabelsOpenTheMakersAddresses) {
    TMainForm& form = makeForm();
    form.show();
    form.cxPageControl1->setCurrentWidget(form.cxTabSheet4);
    QTest::mouseClick(form.Label27, Qt::LeftButton);
    QTest::mouseClick(form.Image1, Qt::LeftButton);
    QTest::mouseClick(form.Label26, Qt::LeftButton);
    ASSERT_EQ(m_urls.size(), 3u);
    EXPECT_EQ(m_urls[0], QUrl(QStringLiteral("https://www.example.com/")));
    EXPECT_EQ(m_urls[1], m_urls[0]);
    EXPECT_EQ(m_urls[2].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(m_urls[2].path(), QStringLiteral("destek@example.com"));
    EXPECT_EQ(m_urls[2].query(QUrl::FullyDecoded), QStringLiteral("subject=Toplu Sms 1.0.1&body="));
    EXPECT_FALSE(form.Image1->pixmap().isNull());  // the logo is there
}

TEST_F(MainWindow, ScreenshotsShowEveryTabAtFullSize) {
    TMainForm& form = makeForm();
    QString error;
    const QStringList files =
        saveTabScreenshots(form, QString::fromStdString((m_dir / "shots").string()), &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(files.size(), 5);
    for (const QString& f : files) {
        EXPECT_EQ(QImage(f).size(), QSize(784, 564)) << f.toStdString();
    }
}

}  // namespace
}  // namespace app
