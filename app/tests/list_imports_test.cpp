#include "app/list_imports.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>

#include "app/main_window.h"
#include "app/tests/fake_asker.h"
#include "platform/tests/scratch_folder.h"
#include "recipients/workbook_readers.h"

namespace app {
namespace {

namespace fs = std::filesystem;

QString fixture(const char* name) {
    return QString::fromStdString((fs::path(TOPLUSMS_RECIPIENT_FIXTURES) / name).string());
}

class ListImportsTest : public testing::Test {
protected:
    void SetUp() override {
        MainFormOptions options;
        options.listFile = m_dir / "rehber.txt";
        options.asker = &m_asker;
        m_form = std::make_unique<TMainForm>(options);
        ListImportOptions imports;
        imports.chooseTextFile = [this](QWidget*) { return m_chosen; };
        imports.chooseWorkbook = [this](QWidget*) { return m_chosen; };
        m_imports = std::make_unique<ListImports>(*m_form, imports);
        m_form->ListBox1->addItem(QStringLiteral("önce"));
    }
    void TearDown() override {
        m_imports.reset();
        m_form.reset();
    }
    QStringList entries() const {
        QStringList list;
        for (int i = 0; i < m_form->ListBox1->count(); ++i) {
            list << m_form->ListBox1->item(i)->text();
        }
        return list;
    }
    QString writeText(const std::string& bytes) {
        const fs::path file = m_dir / "numbers.txt";
        std::ofstream(file, std::ios::binary) << bytes;
        return QString::fromStdString(file.string());
    }

    platform::testing::ScratchFolder m_scratch{"imports"};
    const fs::path m_dir = m_scratch.path();
    FakeAsker m_asker;
    QString m_chosen;
    std::unique_ptr<TMainForm> m_form;
    std::unique_ptr<ListImports> m_imports;
};

TEST_F(ListImportsTest, TextImportAppendsAfterTheListAndNamesWhatItRefused) {
    m_chosen = writeText(
        "\xEF\xBB\xBF"
        "0532 111\r\n\xD0\x9F\xD1\x80\xD0\xB8 0533\xE2\x82\xAC\r\n");
    m_form->Button5->click();
    EXPECT_EQ(entries(), (QStringList{"önce", "0532", "111", "0533€"}));
    EXPECT_EQ(m_form->Label18->text(), QStringLiteral("Toplam Telefon No: 4"));
    ASSERT_EQ(m_asker.told.size(), 1u);
    EXPECT_EQ(m_asker.told[0].icon, Asker::Icon::Warning);
    EXPECT_TRUE(m_asker.told[0].text.contains(QStringLiteral("\"При\"")))
        << m_asker.told[0].text.toStdString();
    EXPECT_TRUE(m_form->statusPanel(2).isEmpty());

    m_chosen.clear();  // cancelled
    m_form->Button5->click();
    EXPECT_EQ(entries().size(), 4);

    m_chosen = QString::fromStdString((m_dir / "gone.txt").string());
    m_asker.told.clear();
    m_form->Button5->click();
    EXPECT_EQ(entries().size(), 4);
    ASSERT_EQ(m_asker.told.size(), 1u);
    EXPECT_EQ(m_asker.told[0].icon, Asker::Icon::Error);
    EXPECT_TRUE(m_asker.told[0].text.startsWith(QStringLiteral("Cannot open file \"")));
}

TEST_F(ListImportsTest, TextImportStopsWhenAskedAndTellsAGuessedEncoding) {
    const QString file = writeText(std::string("0\0005\0003\0002\0\r\0\n\0", 12));
    // Stopped before the read begins: nothing is appended.
    ListImportOptions options;
    options.chooseTextFile = [&](QWidget*) {
        m_imports->cancelTextImport();
        return file;
    };
    m_imports.reset();
    m_imports = std::make_unique<ListImports>(*m_form, options);
    m_form->Button5->click();
    EXPECT_EQ(entries(), QStringList{"önce"});
    EXPECT_EQ(m_form->statusPanel(2), QStringLiteral("Aktarım durduruldu."));
    EXPECT_TRUE(m_asker.told.empty());

    // UTF-16 without a byte-order mark: read as such, and said so.
    m_chosen = file;
    m_imports.reset();
    m_imports = std::make_unique<ListImports>(
        *m_form, ListImportOptions{[this](QWidget*) { return m_chosen; }, {}});
    m_form->Button5->click();
    EXPECT_EQ(entries(), (QStringList{"önce", "0532"}));
    ASSERT_EQ(m_asker.told.size(), 1u);
    EXPECT_EQ(m_asker.told[0].icon, Asker::Icon::Information);
    EXPECT_TRUE(m_asker.told[0].text.contains(QStringLiteral("UTF-16")));
}

TEST_F(ListImportsTest, WorkbookWindowReadsTheRowsAndCloses) {
    TFrm_Cari_Excel window(*m_form, [this](QWidget*) { return m_chosen; });
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Excel'den Veri Al"));
    EXPECT_EQ(window.cxSpinEdit2->value(), 1);
    EXPECT_EQ(window.cxSpinEdit4->value(), 1);
    EXPECT_EQ(window.cxSpinEdit1->value(), 1);
    EXPECT_EQ(window.cxSpinEdit1->minimum(), 1);
    EXPECT_TRUE(window.Label5->text().contains(QStringLiteral(".xlsx")));

    m_chosen = fixture("book.xlsx");
    window.cxSpinEdit4->setValue(2);
    window.cxSpinEdit1->setValue(10);  // the last row: rows 2 to 10
    window.cxButton1->click();
    EXPECT_EQ(entries(),
              (QStringList{"önce", "05321112233", "", "05.03.2024", "3,25", " 0532 111 22 33 ",
                           "05321112233", "905321112234", "0544 333 22 11", "5551234567"}));
    ASSERT_EQ(m_asker.told.size(), 1u);
    EXPECT_EQ(m_asker.told[0].title, QStringLiteral("Bilgi"));
    EXPECT_EQ(m_asker.told[0].text, QStringLiteral("Aktarım İşlemi Tamamlandı."));
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A cell that cannot be read after some rows: those rows stay in the list, under the
// list's own rules, and the error is shown with the window left open.
TEST_F(ListImportsTest, WorkbookFailingPartWayKeepsTheRowsBeforeTheFailure) {
    const auto failAtRow6 = [](const fs::path&, const recipients::CellRange& range,
                               const recipients::ReadControl&) -> std::vector<std::string> {
        recipients::ColumnCollector cells(range);
        cells.set(2, "05321112233");
        cells.set(3, "Привет");
        cells.set(5, "0532 111\n2234");
        cells.fail(6, "Dosya bozuk: 6. satırdaki hücre okunamadı.");
    };
    TFrm_Cari_Excel window(
        *m_form, [this](QWidget*) { return m_chosen; }, failAtRow6);
    window.show();
    m_chosen = fixture("book.xls");
    window.cxSpinEdit4->setValue(2);
    window.cxSpinEdit1->setValue(10);
    window.cxButton1->click();

    EXPECT_EQ(entries(), (QStringList{"önce", "05321112233", "", "0532 111 2234"}));
    ASSERT_EQ(m_asker.told.size(), 2u);
    EXPECT_EQ(m_asker.told[0].icon, Asker::Icon::Warning);
    EXPECT_TRUE(m_asker.told[0].text.contains(QStringLiteral("\"Привет\"")));
    EXPECT_EQ(m_asker.told[1].icon, Asker::Icon::Error);
    EXPECT_EQ(m_asker.told[1].text, QStringLiteral("Dosya bozuk: 6. satırdaki hücre okunamadı."));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.cxButton1->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ListImportsTest, WorkbookWindowStaysOpenOnCancelAndOnABrokenFile) {
    TFrm_Cari_Excel window(*m_form, [this](QWidget*) { return m_chosen; });
    window.show();
    window.cxButton1->click();  // the file dialog cancelled
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(m_asker.told.empty());

    for (const char* name : {"truncated.xlsx", "not-a-workbook.xls", "missing.ods"}) {
        m_asker.told.clear();
        m_chosen = fixture(name);
        window.cxButton1->click();
        EXPECT_TRUE(window.isVisible()) << name;
        ASSERT_EQ(m_asker.told.size(), 1u) << name;
        EXPECT_EQ(m_asker.told[0].icon, Asker::Icon::Error);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(entries(), QStringList{"önce"});

    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(entries(), QStringList{"önce"});
}

TEST_F(ListImportsTest, KapatStopsAReadAndClosesTheWindow) {
    TFrm_Cari_Excel window(*m_form, [this](QWidget*) { return m_chosen; });
    window.show();
    m_chosen = fixture("bomb.xlsx");  // long enough to be stopped halfway
    QTimer::singleShot(0, &window, [&window] {
        EXPECT_FALSE(window.cxButton1->isEnabled());
        window.cxButton2->click();
    });
    window.cxButton1->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_TRUE(m_asker.told.empty());
    EXPECT_EQ(entries(), QStringList{"önce"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(window.cxButton1->isEnabled());
}

TEST_F(ListImportsTest, ExcelButtonShowsTheWindowAndRefreshesTheCountAfterIt) {
    QTimer::singleShot(0, [] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            QTest::keyClick(w, Qt::Key_Escape);
        }
    });
    m_form->Button6->click();
    EXPECT_EQ(m_form->Label18->text(), QStringLiteral("Toplam Telefon No: 1"));
}

TEST_F(ListImportsTest, EntryFieldRefusesTextTheListCannotHold) {
    m_form->Edit3->setText(QStringLiteral("Привет 0533€"));
    m_form->Button2->click();
    EXPECT_EQ(entries(), QStringList{"önce"});
    EXPECT_EQ(m_form->Edit3->text(), QStringLiteral("Привет 0533€"));
    ASSERT_EQ(m_asker.told.size(), 1u);
    EXPECT_TRUE(m_asker.told[0].text.contains(QStringLiteral("\"Привет 0533€\"")));

    m_form->Edit3->setText(QStringLiteral("\u200E0532\u200B111"));
    m_form->Button2->click();
    EXPECT_EQ(entries(), (QStringList{"önce", "0532111"}));
}

TEST_F(ListImportsTest, RepeatsButtonRemovesRepeatedNumbers) {
    m_form->ListBox1->addItems(
        {"0532 111 22 33", "+905321112233", "", "", "05441234567", "905321112233"});
    m_imports->btnRepeats->click();
    EXPECT_EQ(entries(), (QStringList{"önce", "0532 111 22 33", "", "", "05441234567"}));
    EXPECT_EQ(m_form->Label18->text(), QStringLiteral("Toplam Telefon No: 5"));
    EXPECT_EQ(m_form->statusPanel(2), QStringLiteral("2 tekrar eden numara silindi."));
    EXPECT_EQ(m_imports->btnRepeats->text(), QStringLiteral("Tekrarları Sil"));
}

}  // namespace
}  // namespace app
