#include "app/window_settings.h"

#include <QComboBox>
#include <QSpinBox>

#include "app/main_window.h"
#include "app/settings.h"

namespace app {

void applySettings(TMainForm& form, const Settings& settings) {
    const QString port = settings.port();
    const int index = form.ComboBox1->findText(port, Qt::MatchFixedString);
    if (index >= 0) {
        form.ComboBox1->setCurrentIndex(index);
    } else {
        form.ComboBox1->setCurrentText(port);  // Com41-Com50 are typed, not listed
    }
    form.ComboBox2->setCurrentText(QString::number(settings.baud()));
    form.edtSure->setValue(settings.pauseSeconds());
}

void storeSettings(const TMainForm& form, Settings& settings) {
    const QString port = form.ComboBox1->currentText().trimmed();
    if (Settings::isPortName(port)) {
        settings.setPort(port);
    }
    bool ok = false;
    const int baud = form.ComboBox2->currentText().trimmed().toInt(&ok);
    if (ok && baud > 0) {
        settings.setBaud(baud);
    }
    settings.setPauseSeconds(form.edtSure->value());
}

}  // namespace app
