#include "app/inbox_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "app/campaign_models.h"
#include "store/database.h"

namespace app {

InboxDialog::InboxDialog(store::Inbox& inbox, QWidget* parent)
    : QDialog(parent), m_inbox(inbox), m_model(inbox) {
    setWindowTitle(QStringLiteral("Gelen Mesajlar"));
    resize(720, 520);
    auto* layout = new QVBoxLayout(this);

    messages = new QTableView(this);
    messages->setModel(&m_model);
    messages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    messages->setSelectionBehavior(QAbstractItemView::SelectRows);
    messages->setSelectionMode(QAbstractItemView::SingleSelection);
    messages->verticalHeader()->setVisible(false);
    messages->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    messages->verticalHeader()->setDefaultSectionSize(20);
    messages->setColumnWidth(0, 130);
    messages->setColumnWidth(1, 140);
    messages->setColumnWidth(3, 90);
    messages->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    layout->addWidget(messages, 3);

    caption = new QLabel(this);
    layout->addWidget(caption);
    text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    layout->addWidget(text, 1);

    auto* buttons = new QHBoxLayout;
    addToListButton = new QPushButton(QStringLiteral("Listeye Ekle"), this);
    optOutButton = new QPushButton(QStringLiteral("Ret Listesine Ekle"), this);
    closeButton = new QPushButton(QStringLiteral("Kapat"), this);
    buttons->addWidget(addToListButton);
    buttons->addWidget(optOutButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);

    connect(messages->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) {
                    openRow(current.row());
                }
            });
    connect(addToListButton, &QPushButton::clicked, this, [this] {
        if (const auto m = openedMessage(); m && addToList) {
            addToList(*m);
        }
    });
    connect(optOutButton, &QPushButton::clicked, this, [this] {
        if (const auto m = openedMessage(); m && addToOptOut) {
            addToOptOut(*m);
        }
    });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    showOpened();
}

void InboxDialog::refresh() {
    m_model.refresh();
    // New messages come first: the opened one has moved down by as many.
    m_openedRow = m_opened != 0 ? m_model.rowOf(m_opened) : -1;
    if (m_openedRow >= 0) {
        messages->selectRow(m_openedRow);  // opening it again changes nothing: it is read
    }
    showOpened();
}

void InboxDialog::openRow(int row) {
    const store::InboxMessage* m = m_model.message(row);
    if (m == nullptr) {
        return;
    }
    m_opened = m->id;
    m_openedRow = row;
    if (!m->read) {
        try {
            m_inbox.markRead(m->id);
        } catch (const store::StoreError&) {
            // Still shown unread; opening it again tries again.
        }
        m_model.refreshRow(row);
        if (readChanged) {
            readChanged();
        }
    }
    showOpened();
}

std::optional<store::InboxMessage> InboxDialog::openedMessage() const {
    const store::InboxMessage* m = m_model.message(m_openedRow);
    if (m != nullptr && m->id == m_opened) {
        return *m;
    }
    return std::nullopt;
}

void InboxDialog::showOpened() {
    const std::optional<store::InboxMessage> m = openedMessage();
    if (!m) {
        caption->setText(m_model.rowCount() == 0 ? QStringLiteral("Gelen mesaj yok") : QString());
        text->clear();
    } else {
        QString line = senderText(*m) + QStringLiteral(", ") + timeText(m->sortTime);
        if (m->campaign != 0) {
            line += QStringLiteral(" (Gönderim %1)").arg(m->campaign);
        }
        caption->setText(line);
        text->setPlainText(messageText(*m));
    }
    // Only a number can go into a list: a sender name or an unreadable sender cannot.
    const bool number = m && !m->senderNumber.empty();
    addToListButton->setEnabled(number);
    optOutButton->setEnabled(number);
}

}  // namespace app
