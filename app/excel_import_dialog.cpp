#include "app/excel_import_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>

#include <exception>

#include "app/import_runner.h"
#include "app/main_window.h"
#include "recipients/workbook.h"

namespace app {

namespace {

// Puts the hourglass up for as long as it lives, on every way out.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QSpinBox* spin(QWidget* parent, int maximum) {
    auto* s = new QSpinBox(parent);
    s->setRange(1, maximum);
    s->setValue(1);
    return s;
}

}  // namespace

TFrm_Cari_Excel::TFrm_Cari_Excel(TMainForm& form, FileChooser choose,
                                 recipients::ColumnReader readColumn)
    : QDialog(&form),
      m_form(form),
      m_choose(std::move(choose)),
      m_readColumn(std::move(readColumn)) {
    setWindowTitle(QStringLiteral("Excel'den Veri Al"));
    // A fixed single border without title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* grid = new QGridLayout(this);
    cxSpinEdit2 = spin(this, recipients::kMaxColumn);
    cxSpinEdit4 = spin(this, recipients::kMaxRow);
    cxSpinEdit1 = spin(this, recipients::kMaxRow);
    grid->addWidget(new QLabel(QStringLiteral("Telefon No Kolon No :"), this), 0, 0);
    grid->addWidget(cxSpinEdit2, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Aktarıma Başlanacak \nSatır No :"), this), 1, 0);
    grid->addWidget(cxSpinEdit4, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Aktarım Yapılacak\nKayıt Sayısı :"), this), 2, 0);
    grid->addWidget(cxSpinEdit1, 2, 1);
    // The second box is the last row read, not a count as its label says: the rows are
    // spelled out.
    lblRows = new QLabel(this);
    grid->addWidget(lblRows, 3, 0, 1, 2);
    const auto showRows = [this] { lblRows->setText(rowsText()); };
    connect(cxSpinEdit4, &QSpinBox::valueChanged, this, showRows);
    connect(cxSpinEdit1, &QSpinBox::valueChanged, this, showRows);
    showRows();
    Label5 = new QLabel(QStringLiteral("Not: .xls, .xlsx, .ods ve .csv uzantılı dosyalar okunur;\n"
                                       "ilk çalışma sayfası alınır."),
                        this);
    QFont bold = Label5->font();
    bold.setBold(true);
    Label5->setFont(bold);
    grid->addWidget(Label5, 4, 0, 1, 2);
    cxButton1 = new QPushButton(QStringLiteral("Excel'den Aktar"), this);
    cxButton1->setFont(bold);
    cxButton1->setAutoDefault(false);
    cxButton2 = new QPushButton(QStringLiteral("Kapat"), this);
    cxButton2->setAutoDefault(false);
    grid->addWidget(cxButton1, 5, 0);
    grid->addWidget(cxButton2, 5, 1);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(cxButton1, &QPushButton::clicked, this,
            [this] { m_form.guarded([this] { cxButton1Click(); }); });
    connect(cxButton2, &QPushButton::clicked, this, [this] { cxButton2Click(); });
}

QString TFrm_Cari_Excel::rowsText() const {
    const int first = cxSpinEdit4->value();
    const int last = cxSpinEdit1->value();
    if (first > last) {
        return QStringLiteral("İlk satır son satırdan sonra: hiçbir satır okunmaz.");
    }
    return QStringLiteral("%1. satırdan %2. satıra: %3 satır")
        .arg(first)
        .arg(last)
        .arg(last - first + 1);
}

void TFrm_Cari_Excel::cxButton1Click() {
    if (cxSpinEdit1->value() <= 0) {
        m_form.asker().tell(this, QString(),
                            QStringLiteral("Aktarım Yapılacak Kayıt Sayısını Seçiniz !"),
                            Asker::Icon::Warning);
        return;
    }
    const QString file = m_choose ? m_choose(this) : chooseWorkbook(this);
    if (file.isEmpty()) {
        return;  // cancelled: the window stays open
    }
    const recipients::CellRange range{cxSpinEdit2->value(), cxSpinEdit4->value(),
                                      cxSpinEdit1->value()};
    const std::filesystem::path path = file.toStdString();
    recipients::ImportResult result;
    // A read that failed part-way: its rows are appended first, then the error shown.
    std::exception_ptr failure;
    {
        WaitCursor hourglass;
        // The window stays painted while the file is read and takes no second import;
        // "Kapat" and Escape stop the read.
        for (QWidget* w :
             std::initializer_list<QWidget*>{cxButton1, cxSpinEdit1, cxSpinEdit2, cxSpinEdit4}) {
            w->setEnabled(false);
        }
        m_cancel = false;
        m_reading = true;
        const auto enableAgain = qScopeGuard([this] {
            m_reading = false;
            for (QWidget* w : std::initializer_list<QWidget*>{cxButton1, cxSpinEdit1, cxSpinEdit2,
                                                              cxSpinEdit4}) {
                w->setEnabled(true);
            }
        });
        try {
            // An error goes to the default error handler and leaves the window open.
            result = runImport(
                m_form,
                [&](const recipients::ReadControl& control) {
                    return recipients::workbookImportEntries(path, range, control, m_readColumn);
                },
                &m_cancel);
        } catch (const recipients::ImportCancelled&) {
            reject();
            return;
        } catch (recipients::ImportFailedPartway& e) {
            failure = std::current_exception();
            result = std::move(e.kept);  // the error shown later needs only its text
        }
    }
    if (failure) {
        appendImported(m_form, result, QString(), this);
        std::rethrow_exception(failure);
    }
    appendImported(m_form, result, QStringLiteral("Aktarım İşlemi Tamamlandı."), this);
    accept();
}

void TFrm_Cari_Excel::cxButton2Click() {
    if (m_reading) {
        m_cancel = true;  // the read ends soon and closes the window
        return;
    }
    reject();
}

void TFrm_Cari_Excel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        cxButton2Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ShowExcelImport(TMainForm& form, const FileChooser& choose) {
    TFrm_Cari_Excel window(form, choose);
    window.exec();
    form.UpdateNumberCount();
}

QString chooseWorkbook(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Çalışma kitapları (*.xls *.xlsx *.ods *.csv)"),
                           QStringLiteral("*.xls (*.xls)"), QStringLiteral("*.xlsx (*.xlsx)"),
                           QStringLiteral("*.ods (*.ods)"), QStringLiteral("*.csv (*.csv)"),
                           QStringLiteral("Tüm dosyalar (*)")});
    dialog.setDefaultSuffix(QStringLiteral("xls"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

}  // namespace app
