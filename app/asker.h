#pragma once
// Every question and message box of the window goes through an Asker, so that tests can
// answer them without a modal dialog.

#include <QString>
#include <QStringList>

class QWidget;

namespace app {

class Asker {
public:
    enum class Icon { Information, Warning, Error };

    virtual ~Asker() = default;
    // A Yes / No question; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& title, const QString& text,
                          Icon icon) = 0;
    // A message with an OK button.
    virtual void tell(QWidget* parent, const QString& title, const QString& text, Icon icon) = 0;
    // A question with a button per choice; the index of the one pressed. The last choice
    // is the one that changes nothing: Escape and closing the box give it, and so does
    // this default.
    virtual int askChoice(QWidget* parent, const QString& title, const QString& text, Icon icon,
                          const QStringList& choices);
};

// The real boxes (QMessageBox).
class MessageBoxAsker : public Asker {
public:
    bool askYesNo(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
    void tell(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
    int askChoice(QWidget* parent, const QString& title, const QString& text, Icon icon,
                  const QStringList& choices) override;
};

}  // namespace app
