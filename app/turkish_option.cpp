// The check box "Türkçe karakterleri 7 bit gönder" on both sending tabs: one setting,
// remembered between runs, shown in two places and kept alike. Off by default, since
// phones without the Turkish tables show such messages wrongly.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalBlocker>

#include "app/main_window.h"
#include "app/settings.h"

namespace app {
namespace {

const QString kCaption = QStringLiteral("Türkçe karakterleri 7 bit gönder");

}  // namespace

void TMainForm::buildTurkishOption() {
    const bool on = settingsFileOf(m_options).turkishSevenBit();

    // Single-message tab: under the counter, beside the send button; the counter gets
    // the width of the editor for its longer text.
    Label19->resize(396, Label19->height());
    chkTurkish2 = new QCheckBox(kCaption, cxGroupBox2);
    chkTurkish2->setGeometry(Label19->x(), 300, 250, 22);

    // Bulk tab: the editor gives up one line for the box under its counter.
    Memo3->resize(Memo3->width(), 291);
    Label20->setGeometry(Memo3->x(), 320, Memo3->width(), Label20->height());
    chkTurkish3 = new QCheckBox(kCaption, cxGroupBox4);
    chkTurkish3->setGeometry(Memo3->x(), 341, Memo3->width(), 22);

    for (QCheckBox* box : {chkTurkish2, chkTurkish3}) {
        box->setChecked(on);
        connect(box, &QCheckBox::toggled, this, [this](bool checked) {
            guarded([this, checked] { TurkishOptionToggled(checked); });
        });
    }
}

bool TMainForm::turkishSevenBit() const {
    return chkTurkish2->isChecked();
}

void TMainForm::TurkishOptionToggled(bool checked) {
    for (QCheckBox* box : {chkTurkish2, chkTurkish3}) {
        const QSignalBlocker quiet(box);
        box->setChecked(checked);
    }
    settingsFileOf(m_options).setTurkishSevenBit(checked);
    // A counter that already counts shows the coding the send would now use.
    if (Label19->text() != QStringLiteral("Toplam Karekter :")) {
        Memo2Change();
    }
    if (Label20->text() != QStringLiteral("Toplam Karekter :")) {
        Memo3Change();
    }
}

}  // namespace app
