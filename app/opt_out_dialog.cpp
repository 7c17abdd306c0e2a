#include "app/opt_out_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "app/asker.h"
#include "app/campaign_models.h"
#include "app/code_page_text.h"
#include "app/settings.h"
#include "store/database.h"

namespace app {
namespace {

const QString kTitle = QStringLiteral("Ret Listesi");

// A file of numbers is small; anything far larger is not what the user meant to choose.
constexpr qint64 kMaxImportBytes = 64LL * 1024 * 1024;

enum Column { kNumber, kAdded, kReason, kColumns };

QString utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

// ---------------------------------------------------------------- model

OptOutModel::OptOutModel(store::OptOutList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {}

void OptOutModel::refresh() {
    std::vector<store::OptOutEntry> entries = m_list.entries();
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

const store::OptOutEntry* OptOutModel::entry(int row) const {
    return row >= 0 && row < int(m_entries.size()) ? &m_entries[size_t(row)] : nullptr;
}

int OptOutModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_entries.size());
}

int OptOutModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant OptOutModel::data(const QModelIndex& index, int role) const {
    const store::OptOutEntry* e = index.isValid() ? entry(index.row()) : nullptr;
    if (e == nullptr || role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
        case kNumber:
            return QString::fromStdString(e->number);
        case kAdded:
            return timeText(e->added);
        case kReason:
            return utf8(store::optOutReasonName(e->reason));
        default:
            return {};
    }
}

QVariant OptOutModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    static const char* const kHeaders[] = {"Numara", "Eklenme", "Neden"};
    return section >= 0 && section < kColumns ? QString::fromUtf8(kHeaders[section]) : QVariant();
}

// ---------------------------------------------------------------- dialog

OptOutDialog::OptOutDialog(store::OptOutList& list, Asker& asker, QWidget* parent)
    : QDialog(parent), m_list(list), m_asker(asker), m_model(list) {
    setWindowTitle(kTitle);
    resize(560, 520);
    auto* layout = new QVBoxLayout(this);

    countLabel = new QLabel(this);
    layout->addWidget(countLabel);
    table = new QTableView(this);
    table->setModel(&m_model);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(20);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setColumnWidth(kNumber, 170);
    table->setColumnWidth(kAdded, 160);
    layout->addWidget(table, 1);

    auto* add = new QHBoxLayout;
    numberEdit = new QLineEdit(this);
    numberEdit->setPlaceholderText(QStringLiteral("Telefon numarası"));
    addButton = new QPushButton(QStringLiteral("Ekle"), this);
    removeButton = new QPushButton(QStringLiteral("Seçili Numarayı Sil"), this);
    add->addWidget(numberEdit, 1);
    add->addWidget(addButton);
    add->addWidget(removeButton);
    layout->addLayout(add);

    auto* keywords = new QHBoxLayout;
    keywords->addWidget(new QLabel(QStringLiteral("Ret sözcükleri (virgülle ayırın):"), this));
    keywordsEdit = new QLineEdit(this);
    keywordsButton = new QPushButton(QStringLiteral("Kaydet"), this);
    keywords->addWidget(keywordsEdit, 1);
    keywords->addWidget(keywordsButton);
    layout->addLayout(keywords);

    auto* buttons = new QHBoxLayout;
    importButton = new QPushButton(QStringLiteral("CSV'den Al"), this);
    exportButton = new QPushButton(QStringLiteral("CSV olarak kaydet"), this);
    closeButton = new QPushButton(QStringLiteral("Kapat"), this);
    buttons->addWidget(importButton);
    buttons->addWidget(exportButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);

    connect(addButton, &QPushButton::clicked, this, [this] { addTyped(); });
    connect(numberEdit, &QLineEdit::returnPressed, this, [this] { addTyped(); });
    connect(removeButton, &QPushButton::clicked, this, [this] { removeChosen(); });
    connect(importButton, &QPushButton::clicked, this, [this] { importCsv(); });
    connect(exportButton, &QPushButton::clicked, this, [this] { exportCsv(); });
    connect(keywordsButton, &QPushButton::clicked, this, [this] { saveKeywords(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    // Enter in a field is its own button's, not the dialog's default one.
    for (QPushButton* b :
         {addButton, removeButton, importButton, exportButton, keywordsButton, closeButton}) {
        b->setAutoDefault(false);
    }

    refresh();
}

void OptOutDialog::tell(const QString& text, bool error) {
    m_asker.tell(this, kTitle, text, error ? Asker::Icon::Error : Asker::Icon::Information);
}

void OptOutDialog::showCount() {
    countLabel->setText(QStringLiteral("Ret listesinde %1 numara var.").arg(m_model.rowCount()));
    removeButton->setEnabled(m_model.rowCount() > 0);
}

void OptOutDialog::refresh() {
    try {
        m_model.refresh();
    } catch (const store::StoreError& e) {
        countLabel->setText(QStringLiteral("Ret listesi okunamadı: %1").arg(utf8(e.what())));
        return;
    }
    showCount();
}

void OptOutDialog::addTyped() {
    const QString typed = numberEdit->text().trimmed();
    if (typed.isEmpty()) {
        return;
    }
    const std::string number = toCodePage(typed);
    try {
        if (m_list.contains(number)) {
            tell(QStringLiteral("%1 zaten ret listesinde.").arg(typed), false);
            return;
        }
        if (!m_list.add(number, store::OptOutReason::Manual)) {
            tell(QStringLiteral("\"%1\" bir telefon numarası değil.").arg(typed), true);
            return;
        }
    } catch (const store::StoreError& e) {
        tell(QStringLiteral("Ret listesine eklenemedi: %1").arg(utf8(e.what())), true);
        return;
    }
    numberEdit->clear();
    refresh();
}

void OptOutDialog::removeChosen() {
    const store::OptOutEntry* e = m_model.entry(table->currentIndex().row());
    if (e == nullptr) {
        tell(QStringLiteral("Önce listeden bir numara seçin."), false);
        return;
    }
    const std::string number = e->number;
    const QString shown = QString::fromStdString(number);
    if (!m_asker.askYesNo(this, kTitle,
                          QStringLiteral("%1 ret listesinden çıkarılsın mı?\nBu numaraya yeniden "
                                         "toplu mesaj gönderilebilecek.")
                              .arg(shown),
                          Asker::Icon::Warning)) {
        return;
    }
    try {
        m_list.remove(number);
    } catch (const store::StoreError& err) {
        tell(QStringLiteral("Ret listesinden çıkarılamadı: %1").arg(utf8(err.what())), true);
        return;
    }
    refresh();
}

void OptOutDialog::importCsv() {
    const QString file =
        chooseImportFile
            ? chooseImportFile(this)
            : QFileDialog::getOpenFileName(this, QStringLiteral("Ret listesine aktar"), QString(),
                                           QStringLiteral("CSV ve metin (*.csv *.txt);;Tüm "
                                                          "dosyalar (*)"));
    if (file.isEmpty()) {
        return;
    }
    if (QFileInfo(file).size() > kMaxImportBytes) {
        tell(QStringLiteral("%1 bir numara listesi için çok büyük (en çok 64 MB).")
                 .arg(QDir::toNativeSeparators(file)),
             true);
        return;
    }
    store::OptOutImport result;
    try {
        result = m_list.importCsv(file.toStdString());
    } catch (const store::StoreError& e) {
        tell(QStringLiteral("Dosya okunamadı; hiçbir numara eklenmedi: %1").arg(utf8(e.what())),
             true);
        return;
    }
    refresh();
    tell(QStringLiteral("%1 numara eklendi, %2 numara zaten listedeydi, %3 satırda numara yoktu.")
             .arg(result.added)
             .arg(result.alreadyListed)
             .arg(result.refused),
         false);
}

void OptOutDialog::exportCsv() {
    const QString suggested = QDir::current().filePath(QStringLiteral("ret-listesi.csv"));
    const QString file =
        chooseExportFile ? chooseExportFile(this, suggested)
                         : QFileDialog::getSaveFileName(this, QStringLiteral("CSV olarak kaydet"),
                                                        suggested, QStringLiteral("CSV (*.csv)"));
    if (file.isEmpty()) {
        return;
    }
    try {
        m_list.exportCsv(file.toStdString());
    } catch (const store::StoreError& e) {
        tell(QStringLiteral("CSV dosyası yazılamadı: %1").arg(utf8(e.what())), true);
        return;
    }
    tell(QStringLiteral("Ret listesi kaydedildi: %1").arg(QDir::toNativeSeparators(file)), false);
}

void OptOutDialog::setKeywords(const QStringList& keywords) {
    keywordsEdit->setText(keywords.join(QStringLiteral(", ")));
}

void OptOutDialog::saveKeywords() {
    QStringList words = Settings::parseKeywords(keywordsEdit->text());
    if (words.isEmpty()) {
        // Without a word no refusal would be noticed: the defaults come back.
        words = Settings::defaultOptOutKeywords();
    }
    setKeywords(words);
    if (keywordsSaved) {
        keywordsSaved(words);
    }
}

}  // namespace app
