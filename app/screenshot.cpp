#include "app/screenshot.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>

#include "app/main_window.h"

namespace app {

QStringList saveTabScreenshots(TMainForm& form, const QString& dir, QString* error) {
    static const char* const kNames[] = {"1-cihaz-iletisim.png", "2-tek-kisiye-sms.png",
                                         "3-toplu-sms.png", "4-hakkinda.png", "5-yardim.png"};
    QStringList written;
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("Cannot create folder \"%1\"").arg(dir);
        return written;
    }
    // Laid out and painted as if shown, but never put on the screen.
    form.setAttribute(Qt::WA_DontShowOnScreen, true);
    form.show();
    for (int i = 0; i < form.cxPageControl1->count() && i < 5; ++i) {
        form.cxPageControl1->setCurrentIndex(i);
        QCoreApplication::processEvents();
        const QString path = QDir(dir).filePath(QString::fromLatin1(kNames[i]));
        if (!form.grab().save(path, "PNG")) {
            *error = QStringLiteral("Cannot write \"%1\"").arg(path);
            return written;
        }
        written << path;
    }
    form.cxPageControl1->setCurrentIndex(0);
    return written;
}

}  // namespace app
