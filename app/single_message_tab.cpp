// The "Tek Kişiye Sms Gönderme" tab: number field, keypad, message editor; and the
// handlers the two message editors share.

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVariant>

#include "app/main_window.h"
#include "app/message_counter.h"
#include "app/ui_fonts.h"
#include "platform/codepage_1254.h"

namespace app {
namespace {

const char* const kTagProperty = "Tag";
const QString kCounterStart = QStringLiteral("Toplam Karekter :");

constexpr int kKey = 50;  // keypad buttons are square
constexpr int kKeyGap = 6;

}  // namespace

QString memoText(const QPlainTextEdit* memo) {
    QString text = memo->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

int codePageLength(const QString& text) {
    // Characters without a 1254 byte still take one ('?'), as the conversion gives them.
    return static_cast<int>(platform::cp1254::fromUtf16(text.toStdU16String()).size());
}

QPushButton* TMainForm::makeTagButton(QWidget* parent, const QString& caption, int tag) {
    auto* button = new QPushButton(caption, parent);
    button->setProperty(kTagProperty, tag);
    connect(button, &QPushButton::clicked, this,
            [this, button] { guarded([this, button] { ButtonClick(button); }); });
    return button;
}

void TMainForm::buildSingleMessageTab() {
    cxGroupBox2 = new QGroupBox(QStringLiteral(" Tekli Sms Gönderim "), cxTabSheet2);
    cxGroupBox2->setGeometry(6, 6, 762, 440);
    QWidget* g = cxGroupBox2;
    const QFont arial19 = arialFont(19, true);

    const int left = 28;
    Label10 = new QLabel(QStringLiteral("TELEFON NO :"), g);
    Label10->setFont(arial19);
    Label10->move(left, 34);
    Label10->adjustSize();

    Edit1 = new QLineEdit(g);
    Edit1->setFont(arialFont(21, true));
    Edit1->setGeometry(left, 64, 274, 32);

    // Three rows of digits over the middle three buttons of the last row of five.
    const int top = 112;
    auto place = [&](QPushButton* b, int col, int row) {
        b->setGeometry(left + col * (kKey + kKeyGap), top + row * (kKey + kKeyGap), kKey, kKey);
        b->setFont(arial19);
        b->setCursor(Qt::PointingHandCursor);
    };
    QPushButton** digits[] = {&btn0, &btn1, &btn2, &btn3, &btn4, &btn5, &btn6, &btn7, &btn8, &btn9};
    for (int d = 0; d <= 9; ++d) {
        *digits[d] = makeTagButton(g, QString::number(d), d);
        (*digits[d])->setObjectName(QStringLiteral("btn%1").arg(d));
    }
    for (int d = 1; d <= 9; ++d) {
        place(*digits[d], 1 + (d - 1) % 3, (d - 1) / 3);
    }
    btnClear = makeTagButton(g, QStringLiteral("Del"), 13);
    btnStern = makeTagButton(g, QStringLiteral("*"), 10);
    btnRaute = makeTagButton(g, QStringLiteral("#"), 11);
    btnBack = makeTagButton(g, QStringLiteral("C"), 12);
    place(btnClear, 0, 3);
    place(btnStern, 1, 3);
    place(btn0, 2, 3);
    place(btnRaute, 3, 3);
    place(btnBack, 4, 3);

    const int right = 338;
    Label11 = new QLabel(QStringLiteral("Gönderilecek SMS metini :"), g);
    Label11->setFont(arial19);
    Label11->move(right, 34);
    Label11->adjustSize();

    Memo2 = new QPlainTextEdit(kMessagePlaceholder, g);
    Memo2->setFont(arial19);
    Memo2->setGeometry(right, 64, 396, 203);
    Memo2->viewport()->installEventFilter(this);
    connect(Memo2, &QPlainTextEdit::textChanged, this,
            [this] { guarded([this] { Memo2Change(); }); });

    Label19 = new QLabel(kCounterStart, g);
    Label19->setGeometry(right, 272, 250, 18);

    btnSMS = makeTagButton(g, QStringLiteral("Sms Gönder"), 16);
    btnSMS->setFont(tahomaFont(15, true));
    btnSMS->setGeometry(right + 396 - 139, 296, 139, 50);
    fitCaption(btnSMS);
}

void TMainForm::ButtonClick(QAbstractButton* sender) {
    const int tag = sender->property(kTagProperty).toInt();
    switch (tag) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 7:
        case 8:
        case 9:
        case 10:
        case 11:
            Edit1->setText(Edit1->text() + sender->text());
            break;
        case 12: {
            QString text = Edit1->text();
            // One character, also when it takes two UTF-16 units.
            const bool pair = text.size() >= 2 && text.back().isLowSurrogate() &&
                              text.at(text.size() - 2).isHighSurrogate();
            text.chop(pair ? 2 : 1);
            Edit1->setText(text);
            break;
        }
        case 13:
            Edit1->clear();
            break;
        case 16:
            if (!Memo2->toPlainText().isEmpty() && !Edit1->text().isEmpty() && m_hooks.sendSms) {
                m_hooks.sendSms(memoText(Memo2));
            }
            break;
        case 19:
        case 20:
            if (m_hooks.phonebookClicked) {
                m_hooks.phonebookClicked(tag == 19 ? "ME" : "SM");
            }
            break;
        case 23:
            if (m_hooks.connectClicked) {
                m_hooks.connectClicked();
            }
            break;
        default:
            break;
    }
}

// A click takes the placeholder away; a message the user has typed stays.
void TMainForm::Memo2Click() {
    if (Memo2->toPlainText() == kMessagePlaceholder) {
        Memo2->clear();
    }
}

void TMainForm::Memo3Click() {
    if (Memo3->toPlainText() == kMessagePlaceholder) {
        Memo3->clear();
    }
}

void TMainForm::Memo2Change() {
    Label19->setText(counterText(memoText(Memo2), turkishSevenBit()));
}

void TMainForm::Memo3Change() {
    Label20->setText(counterText(memoText(Memo3), turkishSevenBit()));
}

}  // namespace app
