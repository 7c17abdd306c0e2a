#pragma once
// Every question and message box of the window goes through an Asker, so that tests can
// answer them without a modal dialog.

#include <QString>

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
};

// The real boxes (QMessageBox).
class MessageBoxAsker : public Asker {
public:
    bool askYesNo(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
    void tell(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
};

}  // namespace app
