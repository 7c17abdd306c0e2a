#pragma once
// Every question and message box of the window goes through an Asker, so that tests can
// answer them without a modal dialog.

#include <QString>
#include <QStringList>

#include <vector>

class QWidget;

namespace app {

class Asker {
public:
    enum class Icon { Information, Warning, Error };
    // A check box under a question's text; the answer comes back in `checked`.
    struct Choice {
        QString caption;
        bool checked = false;
    };

    virtual ~Asker() = default;
    // A Yes / No question; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& title, const QString& text,
                          Icon icon) = 0;
    // A Yes / No question with check boxes, No the default button: for questions whose
    // Yes starts something long that Enter alone should not start. Without choices it is a
    // plain question.
    virtual bool askWithChoices(QWidget* parent, const QString& title, const QString& text,
                                Icon icon, std::vector<Choice>& choices) {
        (void)choices;
        return askYesNo(parent, title, text, icon);
    }
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
    bool askWithChoices(QWidget* parent, const QString& title, const QString& text, Icon icon,
                        std::vector<Choice>& choices) override;
    void tell(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
    int askChoice(QWidget* parent, const QString& title, const QString& text, Icon icon,
                  const QStringList& choices) override;
};

}  // namespace app
