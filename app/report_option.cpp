// The check box "Teslim raporu iste" on both sending tabs: one setting, remembered between
// runs, shown in two places and kept alike. On by default: a report is how the user learns
// whether the customer's phone got the message, not only the network.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalBlocker>

#include "app/main_window.h"
#include "app/settings.h"

namespace app {
namespace {

const QString kCaption = QStringLiteral("Teslim raporu iste");
constexpr int kRowHeight = 22;

}  // namespace

void TMainForm::buildReportOption() {
    const bool on = settingsFileOf(m_options).deliveryReports();

    // Single-message tab: under the Turkish option, beside the send button.
    chkReports2 = new QCheckBox(kCaption, cxGroupBox2);
    chkReports2->setGeometry(chkTurkish2->x(), chkTurkish2->geometry().bottom() + 3,
                             chkTurkish2->width(), kRowHeight);

    // Bulk tab: the editor gives up one more line; the counter and the Turkish option move
    // up, this box takes the Turkish option's place.
    const int place = chkTurkish3->y();
    Memo3->resize(Memo3->width(), Memo3->height() - kRowHeight);
    Label20->move(Label20->x(), Label20->y() - kRowHeight);
    chkTurkish3->move(chkTurkish3->x(), chkTurkish3->y() - kRowHeight);
    chkReports3 = new QCheckBox(kCaption, cxGroupBox4);
    chkReports3->setGeometry(chkTurkish3->x(), place, chkTurkish3->width(), kRowHeight);

    for (QCheckBox* box : {chkReports2, chkReports3}) {
        box->setChecked(on);
        connect(box, &QCheckBox::toggled, this, [this](bool checked) {
            guarded([this, checked] { ReportOptionToggled(checked); });
        });
    }
}

bool TMainForm::deliveryReportsRequested() const {
    return chkReports2->isChecked();
}

void TMainForm::ReportOptionToggled(bool checked) {
    for (QCheckBox* box : {chkReports2, chkReports3}) {
        const QSignalBlocker quiet(box);
        box->setChecked(checked);
    }
    settingsFileOf(m_options).setDeliveryReports(checked);
}

}  // namespace app
