#pragma once
// Answers the window's questions without a dialog and records what was asked and told.

#include <deque>
#include <vector>

#include "app/asker.h"

namespace app {

class FakeAsker : public Asker {
public:
    struct Box {
        QString title;
        QString text;
        Icon icon;
    };

    bool askYesNo(QWidget*, const QString& title, const QString& text, Icon icon) override {
        asked.push_back({title, text, icon});
        if (answers.empty()) {
            return false;
        }
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    bool askWithChoices(QWidget* parent, const QString& title, const QString& text, Icon icon,
                        std::vector<Choice>& choices) override {
        offered.push_back(choices);
        if (!tickChoices.empty()) {
            for (Choice& c : choices) {
                c.checked = tickChoices.front();
            }
            tickChoices.pop_front();
        }
        return askYesNo(parent, title, text, icon);
    }
    void tell(QWidget*, const QString& title, const QString& text, Icon icon) override {
        told.push_back({title, text, icon});
    }

    int askChoice(QWidget*, const QString& title, const QString& text, Icon icon,
                  const QStringList& offered) override {
        asked.push_back({title, text, icon});
        offeredChoices.push_back(offered);
        if (choices.empty()) {
            return static_cast<int>(offered.size()) - 1;  // as Escape does
        }
        const int choice = choices.front();
        choices.pop_front();
        return choice;
    }

    std::deque<bool> answers;  // next answers, true for Yes; No when none are left
    std::deque<int> choices;   // next choices by index; the last one offered when none are left
    std::vector<QStringList> offeredChoices;
    std::vector<Box> asked;
    std::vector<Box> told;
    std::vector<std::vector<Choice>> offered;  // the check boxes of each askWithChoices
    std::deque<bool> tickChoices;  // per askWithChoices: tick all its boxes or none; as offered
                                   // when none are left
};

}  // namespace app
