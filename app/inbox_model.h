#pragma once
// "Gelen Mesajlar" as a table for the window: the messages of the database newest first,
// read a page at a time like the campaign tables, unread ones in bold.

#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

#include "store/inbox.h"

namespace app {

// "Gönderen", "Zaman", "Mesaj", "Gönderim".
class InboxModel : public QAbstractTableModel {
public:
    explicit InboxModel(store::Inbox& inbox, QObject* parent = nullptr);

    // Messages came in: everything is read again (rows move down under new ones).
    void refresh();
    // One message changed (it was read): its row is read again.
    void refreshRow(int row);
    // The message at `row`; null outside the table or when its page cannot be read.
    const store::InboxMessage* message(int row) const;
    // The row of message `id` among the first page; -1 when it is not there.
    int rowOf(std::int64_t id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    static constexpr int kPageSize = 200;

private:
    store::Inbox& m_inbox;
    int m_count = 0;
    mutable int m_pageStart = -1;
    mutable std::vector<store::InboxMessage> m_page;
};

// The message's text as the window shows it in full: the text, or for an unreadable
// message why and its raw PDU; an incomplete one says so first.
QString messageText(const store::InboxMessage& m);
// The sender as shown: the number or name, "(bilinmiyor)" when the PDU could not say.
QString senderText(const store::InboxMessage& m);

}  // namespace app
