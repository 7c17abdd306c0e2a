#include "app/asker.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

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

int Asker::askChoice(QWidget*, const QString&, const QString&, Icon, const QStringList& choices) {
    return static_cast<int>(choices.size()) - 1;
}

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

int MessageBoxAsker::askChoice(QWidget* parent, const QString& title, const QString& text,
                               Icon icon, const QStringList& choices) {
    QMessageBox box(toQt(icon), title, text, QMessageBox::NoButton, parent);
    std::vector<QAbstractButton*> buttons;
    for (qsizetype i = 0; i < choices.size(); ++i) {
        const bool last = i + 1 == choices.size();
        buttons.push_back(
            box.addButton(choices[i], last ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
    }
    if (!buttons.empty()) {
        box.setEscapeButton(buttons.back());
    }
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) {
            return static_cast<int>(i);
        }
    }
    return static_cast<int>(choices.size()) - 1;
}

}  // namespace app
