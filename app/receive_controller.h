#pragma once
// The window's side of what the phone hands over: the delivery reports of the messages
// sent and the messages customers send back. One receiver for the window's phone
// dialogue keeps them in the window's database; it is set up once a connection's
// information has been read and asked on every refresh tick. The bulk tab gets
// "Gelen Mesajlar" (with the number of unread ones) and "Ret Listesi"; the campaign
// views are refreshed as reports come in.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "app/hook_wrap.h"

class QPushButton;
class QWidget;

namespace phone {
class MessageReceiver;
}

namespace platform {
class MessageQueue;
}

namespace sms {
class PhoneReception;
class PhoneWorker;
}  // namespace sms

namespace store {
class Inbox;
class OptOutList;
class ReceivedStore;
struct InboxMessage;
struct StoredPdu;
struct StoredReport;
}  // namespace store

namespace app {

class InboxDialog;
class OptOutDialog;
class PhoneController;
class SendController;
class TMainForm;

class ReceiveController {
public:
    // Made after `sending`, whose database it shares, and destroyed before it.
    ReceiveController(TMainForm& form, PhoneController& phone, SendController& sending,
                      platform::MessageQueue& queue);
    ~ReceiveController();
    ReceiveController(const ReceiveController&) = delete;
    ReceiveController& operator=(const ReceiveController&) = delete;

    // "Gelen Mesajlar" and "Ret Listesi": open their windows (or bring them up).
    void inboxClick();
    void optOutClick();
    // Their windows while open; null otherwise.
    InboxDialog* inboxDialog() const { return m_inboxDialog; }
    OptOutDialog* optOutDialog() const { return m_optOutDialog; }

    // The receiver and its keeper; null while the database is not open.
    phone::MessageReceiver* receiver() const { return m_receiver.get(); }
    store::ReceivedStore* keeper() const { return m_keeper.get(); }
    int unreadCount() const { return m_unread; }

    // Reception on a further phone (app/extra_phones.h) into the same database: its
    // reports fill the delivery column and its messages the inbox as the first phone's do.
    // Opens the database when it is not open; null when it cannot be used. What it
    // returns must end before this does.
    std::unique_ptr<sms::PhoneReception> receiveOn(sms::PhoneWorker& phone);

    // The opt-out words (read from the settings at start): saved there and passed to the
    // inbox.
    void setOptOutKeywords(const QStringList& keywords);

    // Chooses the files of the opt-out list's import and export; null: file dialogs.
    std::function<QString(QWidget* parent)> chooseImportFile;
    std::function<QString(QWidget* parent, const QString& suggested)> chooseExportFile;

    QPushButton* inboxButton = nullptr;   // "Gelen Mesajlar", "Gelen Mesajlar (3)"
    QPushButton* optOutButton = nullptr;  // "Ret Listesi"

private:
    // The keeper, the receiver and the views' readers over the window's database, made
    // once it is open; false while it is not.
    bool ready();
    void connected();
    // Long messages whose parts have waited a day become messages, marked incomplete.
    void showExpiredParts();
    void messageKept(const store::StoredPdu& pdu);
    void reportKept(const store::StoredReport& report);
    void refreshUnread();
    void addToList(const store::InboxMessage& m);
    void addToOptOut(const store::InboxMessage& m);

    TMainForm& m_form;
    PhoneController& m_phone;
    SendController& m_sending;
    platform::MessageQueue& m_queue;
    QStringList m_keywords;
    int m_unread = 0;
    // Destroyed in reverse: the receiver before the keeper it hands PDUs to.
    std::unique_ptr<store::ReceivedStore> m_keeper;
    // The further phones' keeper: told each PDU's phone before it keeps it.
    std::unique_ptr<store::ReceivedStore> m_extraKeeper;
    std::unique_ptr<store::OptOutList> m_optOuts;
    std::unique_ptr<phone::MessageReceiver> m_receiver;
    InboxDialog* m_inboxDialog = nullptr;    // owned by the window while open
    OptOutDialog* m_optOutDialog = nullptr;  // owned by the window while open
    HookWrap m_connected;
    HookWrap m_refreshTick;
};

}  // namespace app
