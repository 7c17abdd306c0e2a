#include "app/asker.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace app {
namespace {

QMessageBox::Icon toQt(Asker::Icon icon) {
    switch (icon) {
        case Asker::Icon::Information:
            return QMessageBox::Information;
        case Asker::Icon::Warning:
            return QMessageBox::Warning;
        case Asker::Icon::Error:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

bool MessageBoxAsker::askYesNo(QWidget* parent, const QString& title, const QString& text,
                               Icon icon) {
    QMessageBox box(toQt(icon), title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Evet"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Hayır"));
    return box.exec() == QMessageBox::Yes;
}

void MessageBoxAsker::tell(QWidget* parent, const QString& title, const QString& text, Icon icon) {
    QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("Tamam"));
    box.exec();
}

}  // namespace app
