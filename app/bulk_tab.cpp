// The "Toplu Sms Gönderme" tab: the recipient list with its editing buttons and imports,
// and the message text of the bulk send.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include <climits>
#include <stdexcept>

#include "app/main_window.h"
#include "platform/codepage_1254.h"
#include "recipients/list_entry.h"

namespace app {
namespace {

// The list box as the recipient list of the rest of the program: entries are kept as
// the user sees them and given out as Windows-1254 bytes.
class ListBoxRecipients : public recipients::RecipientList {
public:
    explicit ListBoxRecipients(TMainForm& form) : m_form(form) {}

    int count() const override { return m_form.ListBox1->count(); }
    std::string entry(int index) const override {
        if (index < 0 || index >= count()) {
            throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
        }
        return platform::cp1254::fromUtf16(m_form.ListBox1->item(index)->text().toStdU16String());
    }
    void append(const std::string& entry) override {
        m_form.ListBox1->addItem(QString::fromStdU16String(platform::cp1254::toUtf16(entry)));
    }
    void appendAll(const std::vector<std::string>& entries) override {
        QStringList items;
        items.reserve(static_cast<qsizetype>(entries.size()));
        for (const std::string& e : entries) {
            items.append(QString::fromStdU16String(platform::cp1254::toUtf16(e)));
        }
        m_form.ListBox1->addItems(items);
    }
    void clear() override { m_form.ListBox1->clear(); }
    void updateNumberCount() override { m_form.UpdateNumberCount(); }

private:
    TMainForm& m_form;
};

}  // namespace

void TMainForm::buildBulkTab() {
    m_recipients = std::make_unique<ListBoxRecipients>(*this);

    cxGroupBox3 = new QGroupBox(QStringLiteral(" Telefon Numaraları "), cxTabSheet3);
    cxGroupBox3->setGeometry(6, 6, 440, 440);
    QWidget* g = cxGroupBox3;

    // Imports on the left, the list and its editing on the right.
    auto importButton = [&](QPushButton* b, int y) {
        b->setGeometry(14, y, 130, 40);
        b->setCursor(Qt::PointingHandCursor);
        return b;
    };
    Button5 = importButton(new QPushButton(QStringLiteral("Aktar (Txt Dosya)"), g), 40);
    Button6 = importButton(new QPushButton(QStringLiteral("Aktar (Excel)"), g), 88);
    btnME = importButton(makeTagButton(g, QStringLiteral("Aktar (Telefon)"), 19), 136);
    btnSM = importButton(makeTagButton(g, QStringLiteral("Aktar (SIM Kart)"), 20), 184);
    connect(Button5, &QPushButton::clicked, this, [this] {
        if (m_hooks.textImportClicked) {
            guarded(m_hooks.textImportClicked);
        }
    });
    connect(Button6, &QPushButton::clicked, this, [this] {
        if (m_hooks.excelImportClicked) {
            guarded(m_hooks.excelImportClicked);
        }
    });

    const int x = 158;
    Label14 = new QLabel(QStringLiteral("TELEFON NO"), g);
    Label14->move(x, 24);
    Label14->adjustSize();
    Edit3 = new QLineEdit(g);
    Edit3->setGeometry(x, 42, 180, 26);
    Button2 = new QPushButton(QStringLiteral("Ekle"), g);
    Button2->setGeometry(x + 186, 41, 82, 28);
    connect(Button2, &QPushButton::clicked, this, [this] { guarded([this] { Button2Click(); }); });

    ListBox1 = new QListWidget(g);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    ListBox1->setGeometry(x, 76, 268, 286);

    Button3 = new QPushButton(QStringLiteral("Seçili Kaydı Sil"), g);
    Button3->setGeometry(x, 370, 131, 30);
    connect(Button3, &QPushButton::clicked, this, [this] { guarded([this] { Button3Click(); }); });
    Button4 = new QPushButton(QStringLiteral("Tüm Kayıtları Sil"), g);
    Button4->setGeometry(x + 137, 370, 131, 30);
    connect(Button4, &QPushButton::clicked, this, [this] { guarded([this] { Button4Click(); }); });

    Label18 = new QLabel(QStringLiteral("Toplam Telefon No :"), g);
    Label18->setGeometry(x, 410, 268, 18);

    cxGroupBox4 = new QGroupBox(QStringLiteral(" Gönderilecek SMS Metni "), cxTabSheet3);
    cxGroupBox4->setGeometry(452, 6, 316, 440);
    QWidget* m = cxGroupBox4;
    Memo3 = new QPlainTextEdit(QStringLiteral("Mesajınızı buraya yazınız."), m);
    Memo3->setGeometry(9, 24, 298, 315);
    Memo3->viewport()->installEventFilter(this);
    connect(Memo3, &QPlainTextEdit::textChanged, this,
            [this] { guarded([this] { Memo3Change(); }); });
    Label20 = new QLabel(QStringLiteral("Toplam Karekter :"), m);
    Label20->setGeometry(9, 344, 200, 18);

    Label15 = new QLabel(QStringLiteral("İki gönderim arası bekleme (Saniye)"), m);
    Label15->setGeometry(9, 368, 298, 18);
    edtSure = new QSpinBox(m);
    edtSure->setRange(INT_MIN, INT_MAX);  // no bounds of its own
    edtSure->setValue(30);
    edtSure->setGeometry(9, 392, 90, 26);
    Button1 = new QPushButton(QStringLiteral("Sms Gönder"), m);
    Button1->setGeometry(9 + 298 - 139, 384, 139, 44);
    Button1->setCursor(Qt::PointingHandCursor);
    connect(Button1, &QPushButton::clicked, this, [this] {
        if (m_hooks.bulkSendClicked) {
            guarded(m_hooks.bulkSendClicked);
        }
    });
}

void TMainForm::Button2Click() {
    // Only what rehber.txt can store enters the list; a refused text stays in the field.
    recipients::ImportResult typed;
    if (!recipients::addEntry(typed, Edit3->text().toStdU16String())) {
        m_asker->tell(this, QStringLiteral("Uyarı"),
                      QString::fromStdString(recipients::refusalMessage(typed)),
                      Asker::Icon::Warning);
        return;
    }
    m_recipients->append(typed.entries.front());
    Edit3->clear();
    Edit3->setFocus();
    UpdateNumberCount();
}

void TMainForm::Button3Click() {
    if (!m_asker->askYesNo(this, QStringLiteral("Uyarı"),
                           QStringLiteral("Seçili kaydı silmek istiyor musnuz ?"),
                           Asker::Icon::Warning)) {
        return;
    }
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    if (!selected.isEmpty()) {
        delete ListBox1->takeItem(ListBox1->row(selected.front()));
    }
    UpdateNumberCount();
}

void TMainForm::Button4Click() {
    if (!m_asker->askYesNo(this, QStringLiteral("Uyarı"),
                           QStringLiteral("Kayıtların tümünü silmek istiyor musnuz ?"),
                           Asker::Icon::Warning)) {
        return;
    }
    ListBox1->clear();
    UpdateNumberCount();
}

void TMainForm::UpdateNumberCount() {
    Label18->setText(QStringLiteral("Toplam Telefon No: ") + QString::number(ListBox1->count()));
}

void TMainForm::cxTabSheet3Show() {
    UpdateNumberCount();
}

}  // namespace app
