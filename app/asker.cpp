#include "app/asker.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

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

bool MessageBoxAsker::askWithChoices(QWidget* parent, const QString& title, const QString& text,
                                     Icon icon, std::vector<Choice>& choices) {
    QDialog box(parent);
    box.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&box);
    auto* top = new QHBoxLayout;
    auto* iconLabel = new QLabel(&box);
    const QStyle::StandardPixmap pixmap = icon == Icon::Error     ? QStyle::SP_MessageBoxCritical
                                          : icon == Icon::Warning ? QStyle::SP_MessageBoxWarning
                                                                  : QStyle::SP_MessageBoxQuestion;
    const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    iconLabel->setPixmap(box.style()->standardIcon(pixmap, nullptr, &box).pixmap(size, size));
    iconLabel->setAlignment(Qt::AlignTop);
    top->addWidget(iconLabel);
    auto* textLabel = new QLabel(text, &box);
    textLabel->setWordWrap(true);
    textLabel->setTextFormat(Qt::PlainText);
    textLabel->setMinimumWidth(420);
    top->addWidget(textLabel, 1);
    layout->addLayout(top);
    std::vector<QCheckBox*> boxes;
    for (const Choice& c : choices) {
        auto* check = new QCheckBox(c.caption, &box);
        check->setChecked(c.checked);
        layout->addWidget(check);
        boxes.push_back(check);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, &box);
    buttons->button(QDialogButtonBox::Yes)->setText(QStringLiteral("Evet"));
    QPushButton* no = buttons->button(QDialogButtonBox::No);
    no->setText(QStringLiteral("Hayır"));
    no->setDefault(true);
    no->setFocus();
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    layout->addWidget(buttons);
    const bool yes = box.exec() == QDialog::Accepted;
    for (size_t i = 0; i < choices.size(); ++i) {
        choices[i].checked = boxes[i]->isChecked();
    }
    return yes;
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
