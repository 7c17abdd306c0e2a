#include "app/receive_controller.h"

#include <QFont>
#include <QGroupBox>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>

#include <vector>

#include "app/inbox_dialog.h"
#include "app/main_window.h"
#include "app/opt_out_dialog.h"
#include "app/phone_controller.h"
#include "app/send_controller.h"
#include "app/settings.h"
#include "phone/message_receiver.h"
#include "recipients/list_entry.h"
#include "sms/phone_reception.h"
#include "store/database.h"
#include "store/optout_list.h"
#include "store/received_store.h"

namespace app {
namespace {

const QString kInboxCaption = QStringLiteral("Gelen Mesajlar");

std::vector<std::u16string> wordsOf(const QStringList& keywords) {
    std::vector<std::u16string> words;
    words.reserve(size_t(keywords.size()));
    for (const QString& k : keywords) {
        words.push_back(k.toStdU16String());
    }
    return words;
}

// A hook of the receiver's keeper must not throw: a view that cannot be read now is
// read again on the next change.
template <typename F>
void quietly(F&& f) {
    try {
        f();
    } catch (const std::exception&) {
    }
}

}  // namespace

ReceiveController::ReceiveController(TMainForm& form, PhoneController& phone,
                                     SendController& sending, platform::MessageQueue& queue)
    : m_form(form),
      m_phone(phone),
      m_sending(sending),
      m_queue(queue),
      m_keywords(form.settings().optOutKeywords()),
      // After the sending's own work on a new connection (it names an unfinished run).
      m_connected(phone.onConnected,
                  [this](const HookWrap::Hook& inner) {
                      HookWrap::callInner(inner);
                      connected();
                  }),
      // After the signal or battery of the tick: the receiver's poll is skipped when the
      // line is busy, and waits for nothing.
      m_refreshTick(form.hooks().refreshTick, [this](const HookWrap::Hook& inner) {
          HookWrap::callInner(inner);
          if (m_receiver) {
              m_receiver->poll();
          } else if (m_phone.dialogue().connected() && m_sending.database().database() != nullptr) {
              connected();  // the database opened only after this connection was made
          }
      }) {
    // Under "Gönderim Geçmişi", in the column of the imports.
    QPushButton* history = sending.historyButton;
    auto place = [&](QPushButton* b, int row) {
        b->setGeometry(history->x(), history->y() + row * (history->height() + 8), history->width(),
                       history->height());
        b->setCursor(Qt::PointingHandCursor);
        b->show();
    };
    inboxButton = new QPushButton(kInboxCaption, form.cxGroupBox3);
    place(inboxButton, 1);
    optOutButton = new QPushButton(QStringLiteral("Ret Listesi"), form.cxGroupBox3);
    place(optOutButton, 2);
    QObject::connect(inboxButton, &QPushButton::clicked, inboxButton,
                     [this] { m_form.guarded([this] { inboxClick(); }); });
    QObject::connect(optOutButton, &QPushButton::clicked, optOutButton,
                     [this] { m_form.guarded([this] { optOutClick(); }); });

    // Without asking to open it: the sending has opened it, or told why it cannot.
    if (m_sending.database().database() != nullptr) {
        ready();
    }
    refreshUnread();
}

ReceiveController::~ReceiveController() {
    // The windows read through what this owns.
    delete m_inboxDialog;
    delete m_optOutDialog;
    m_receiver.reset();
    delete inboxButton;
    delete optOutButton;
}

bool ReceiveController::ready() {
    if (m_receiver) {
        return true;
    }
    store::Database* db = m_sending.database().database();
    if (db == nullptr) {
        return false;
    }
    try {
        m_keeper = std::make_unique<store::ReceivedStore>(*db);
        m_extraKeeper = std::make_unique<store::ReceivedStore>(*db);
        m_optOuts = std::make_unique<store::OptOutList>(*db);
    } catch (const store::StoreError& e) {
        m_keeper.reset();
        m_extraKeeper.reset();
        m_optOuts.reset();
        m_form.setStatusPanel(
            1,
            QStringLiteral("Gelen mesajlar kaydedilemiyor: %1").arg(QString::fromUtf8(e.what())));
        return false;
    }
    for (store::ReceivedStore* keeper : {m_keeper.get(), m_extraKeeper.get()}) {
        keeper->setOptOutKeywords(wordsOf(m_keywords));
        keeper->onMessage = [this](const store::StoredPdu& pdu) { messageKept(pdu); };
        keeper->onReport = [this](const store::StoredReport& report) { reportKept(report); };
    }
    m_receiver = std::make_unique<phone::MessageReceiver>(m_phone.dialogue(), m_queue, *m_keeper);
    showExpiredParts();
    return true;
}

void ReceiveController::showExpiredParts() {
    // A long message whose parts stopped coming is shown as it is after a day, also when
    // nothing else has come in since.
    quietly([this] {
        if (m_keeper->inbox().expireIncomplete() > 0) {
            refreshUnread();
        }
    });
}

void ReceiveController::connected() {
    if (!ready()) {
        return;
    }
    m_keeper->setPhoneImei(m_phone.imei());
    // Not inside the port's open event that made the connection: from the event loop, once
    // the line is free and the clicks that came first have had their turn. The button
    // lives as long as this, so neither step runs after it is gone.
    const QPointer<QPushButton> alive(inboxButton);
    QMetaObject::invokeMethod(
        inboxButton,
        [this, alive] {
            m_phone.dialogue().runWhenLineFree([this, alive] {
                if (alive && m_receiver) {
                    m_form.guarded([this] { m_receiver->connected(); });
                }
            });
        },
        Qt::QueuedConnection);
}

std::unique_ptr<sms::PhoneReception> ReceiveController::receiveOn(sms::PhoneWorker& phone) {
    // Opened now when the first phone has not done so: the extra phone may be the only one.
    if (m_sending.database().campaigns() == nullptr || !ready()) {
        return nullptr;
    }
    store::ReceivedStore& keeper = *m_extraKeeper;
    return std::make_unique<sms::PhoneReception>(
        phone, keeper, [&keeper](const std::string& imei) { keeper.setPhoneImei(imei); });
}

void ReceiveController::messageKept(const store::StoredPdu& pdu) {
    if (pdu.duplicate || (pdu.message == 0 && !pdu.optedOut)) {
        return;  // nothing new to show: a part waiting for the rest, or one seen before
    }
    quietly([&] {
        refreshUnread();
        if (m_inboxDialog != nullptr) {
            m_inboxDialog->refresh();
        }
        if (pdu.optedOut && m_optOutDialog != nullptr) {
            m_optOutDialog->refresh();
        }
    });
}

void ReceiveController::reportKept(const store::StoredReport& report) {
    if (report.duplicate || report.recipient == 0) {
        return;  // unpaired or unreadable: no recipient changed
    }
    quietly([&] { m_sending.deliveryChanged(); });
}

void ReceiveController::refreshUnread() {
    int unread = 0;
    if (m_keeper) {
        try {
            unread = m_keeper->inbox().unreadCount();
        } catch (const store::StoreError&) {
            unread = m_unread;
        }
    }
    m_unread = unread;
    inboxButton->setText(unread > 0 ? QStringLiteral("%1 (%2)").arg(kInboxCaption).arg(unread)
                                    : kInboxCaption);
    QFont font = inboxButton->font();
    font.setBold(unread > 0);
    inboxButton->setFont(font);
}

void ReceiveController::inboxClick() {
    if (m_inboxDialog != nullptr) {
        m_inboxDialog->refresh();
        m_inboxDialog->raise();
        m_inboxDialog->activateWindow();
        return;
    }
    if (m_sending.database().campaigns() == nullptr || !ready()) {
        return;  // the user has been told why
    }
    showExpiredParts();
    auto* dialog = new InboxDialog(m_keeper->inbox(), &m_form);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->addToList = [this](const store::InboxMessage& m) { addToList(m); };
    dialog->addToOptOut = [this](const store::InboxMessage& m) { addToOptOut(m); };
    dialog->readChanged = [this] { refreshUnread(); };
    QObject::connect(dialog, &QObject::destroyed, inboxButton, [this] { m_inboxDialog = nullptr; });
    m_inboxDialog = dialog;
    dialog->show();
}

void ReceiveController::optOutClick() {
    if (m_optOutDialog != nullptr) {
        m_optOutDialog->refresh();
        m_optOutDialog->raise();
        m_optOutDialog->activateWindow();
        return;
    }
    if (m_sending.database().campaigns() == nullptr || !ready()) {
        return;
    }
    auto* dialog = new OptOutDialog(*m_optOuts, m_form.asker(), &m_form);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->chooseImportFile = chooseImportFile;
    dialog->chooseExportFile = chooseExportFile;
    dialog->setKeywords(m_keywords);
    dialog->keywordsSaved = [this](const QStringList& keywords) { setOptOutKeywords(keywords); };
    QObject::connect(dialog, &QObject::destroyed, optOutButton,
                     [this] { m_optOutDialog = nullptr; });
    m_optOutDialog = dialog;
    dialog->show();
}

void ReceiveController::setOptOutKeywords(const QStringList& keywords) {
    m_keywords = keywords;
    m_form.settings().setOptOutKeywords(keywords);
    if (m_keeper) {
        m_keeper->setOptOutKeywords(wordsOf(keywords));
        m_extraKeeper->setOptOutKeywords(wordsOf(keywords));
    }
}

void ReceiveController::addToList(const store::InboxMessage& m) {
    // The list is the run's while a run goes on, as for every other addition.
    if (!m_form.cxGroupBox3->isEnabled()) {
        m_form.setStatusPanel(1, QStringLiteral("Gönderim sürerken liste değiştirilemez"));
        return;
    }
    const QString number = QString::fromUtf8(m.sender.data(), qsizetype(m.sender.size()));
    recipients::ImportResult typed;
    if (!recipients::addEntry(typed, number.toStdU16String())) {
        m_form.asker().tell(m_inboxDialog, QStringLiteral("Uyarı"),
                            QString::fromStdString(recipients::refusalMessage(typed)),
                            Asker::Icon::Warning);
        return;
    }
    m_form.recipientList().append(typed.entries.front());
    m_form.UpdateNumberCount();
    m_form.setStatusPanel(1, QStringLiteral("%1 listeye eklendi").arg(number));
}

void ReceiveController::addToOptOut(const store::InboxMessage& m) {
    const QString number = QString::fromUtf8(m.sender.data(), qsizetype(m.sender.size()));
    try {
        if (!m_optOuts->add(m.senderNumber, store::OptOutReason::Manual, m.id)) {
            m_form.setStatusPanel(1, QStringLiteral("%1 zaten ret listesinde").arg(number));
            return;
        }
    } catch (const store::StoreError& e) {
        m_form.asker().tell(
            m_inboxDialog, QStringLiteral("Ret Listesi"),
            QStringLiteral("Ret listesine eklenemedi: %1").arg(QString::fromUtf8(e.what())),
            Asker::Icon::Error);
        return;
    }
    m_form.setStatusPanel(1, QStringLiteral("%1 ret listesine eklendi").arg(number));
    if (m_optOutDialog != nullptr) {
        m_optOutDialog->refresh();
    }
}

}  // namespace app
