#pragma once
// "Gelen Mesajlar": the messages customers sent back, newest first, unread in bold. The
// chosen one is shown in full below and marked read; its sender can go into the
// recipient list ("Listeye Ekle") or onto the opt-out list ("Ret Listesine Ekle").
// A window of its own beside the main window, so replies can be watched during a run.

#include <QDialog>

#include <cstdint>
#include <functional>
#include <optional>

#include "app/inbox_model.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace app {

class InboxDialog : public QDialog {
public:
    InboxDialog(store::Inbox& inbox, QWidget* parent);

    // Messages came in: the table is read again, the chosen message stays chosen.
    void refresh();
    // Opens the message at `row`: shows it and marks it read.
    void openRow(int row);
    // The message opened last; nullopt when none (or it is no longer in the table).
    std::optional<store::InboxMessage> openedMessage() const;

    // What the buttons do with the opened message, and what follows a message being read.
    std::function<void(const store::InboxMessage&)> addToList;
    std::function<void(const store::InboxMessage&)> addToOptOut;
    std::function<void()> readChanged;

    InboxModel& model() { return m_model; }
    QTableView* messages = nullptr;
    QPlainTextEdit* text = nullptr;
    QLabel* caption = nullptr;
    QPushButton* addToListButton = nullptr;  // "Listeye Ekle"
    QPushButton* optOutButton = nullptr;     // "Ret Listesine Ekle"
    QPushButton* closeButton = nullptr;      // "Kapat"

private:
    void showOpened();

    store::Inbox& m_inbox;
    InboxModel m_model;
    std::int64_t m_opened = 0;  // the message's id; 0 before one is opened
    int m_openedRow = -1;       // where it was last seen
};

}  // namespace app
