#include "app/inbox_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>

#include "app/campaign_models.h"
#include "store/database.h"

namespace app {
namespace {

enum Column { kSender, kTime, kText, kCampaign, kColumns };

const QColor kUnreadableColour(128, 128, 128);

QString utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

QString messageText(const store::InboxMessage& m) {
    if (m.unreadable()) {
        return QStringLiteral("Okunamayan mesaj (%1)\nPDU: %2")
            .arg(utf8(m.problem), utf8(m.rawPdu));
    }
    if (m.incomplete) {
        return QStringLiteral("[Eksik parçalı mesaj] ") + utf8(m.text);
    }
    return utf8(m.text);
}

QString senderText(const store::InboxMessage& m) {
    return m.sender.empty() ? QStringLiteral("(bilinmiyor)") : utf8(m.sender);
}

InboxModel::InboxModel(store::Inbox& inbox, QObject* parent)
    : QAbstractTableModel(parent), m_inbox(inbox) {
    refresh();
}

void InboxModel::refresh() {
    int count = 0;
    try {
        count = m_inbox.count();
    } catch (const store::StoreError&) {
        count = m_count;  // what was counted stays; the page reads show empty cells
    }
    beginResetModel();
    m_count = count;
    m_pageStart = -1;
    m_page.clear();
    endResetModel();
}

void InboxModel::refreshRow(int row) {
    m_pageStart = -1;
    m_page.clear();
    if (row >= 0 && row < m_count) {
        emit dataChanged(index(row, 0), index(row, kColumns - 1));
    }
}

const store::InboxMessage* InboxModel::message(int row) const {
    if (row < 0 || row >= m_count) {
        return nullptr;
    }
    if (m_pageStart < 0 || row < m_pageStart || row >= m_pageStart + int(m_page.size())) {
        // Painting must not throw: a page that cannot be read shows empty cells.
        m_pageStart = row - row % kPageSize;
        try {
            m_page = m_inbox.messages(m_pageStart, kPageSize);
        } catch (const store::StoreError&) {
            m_page.clear();
        }
    }
    const int at = row - m_pageStart;
    return at < int(m_page.size()) ? &m_page[size_t(at)] : nullptr;
}

int InboxModel::rowOf(std::int64_t id) const {
    for (int row = 0; row < m_count && row < kPageSize; ++row) {
        const store::InboxMessage* m = message(row);
        if (m != nullptr && m->id == id) {
            return row;
        }
    }
    return -1;
}

int InboxModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

int InboxModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant InboxModel::data(const QModelIndex& index, int role) const {
    const store::InboxMessage* m = index.isValid() ? message(index.row()) : nullptr;
    if (m == nullptr) {
        return {};
    }
    switch (role) {
        case Qt::FontRole: {
            if (m->read) {
                return {};
            }
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        case Qt::ForegroundRole:
            return m->unreadable() ? QBrush(kUnreadableColour) : QVariant();
        case Qt::ToolTipRole:
            return index.column() == kText ? messageText(*m) : QVariant();
        case Qt::DisplayRole:
            break;
        default:
            return {};
    }
    switch (index.column()) {
        case kSender:
            return senderText(*m);
        case kTime:
            return timeText(m->sortTime);
        case kText:
            return messageText(*m).simplified();
        case kCampaign:
            return m->campaign != 0 ? QStringLiteral("Gönderim %1").arg(m->campaign) : QString();
        default:
            return {};
    }
}

QVariant InboxModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    static const char* const kHeaders[] = {"Gönderen", "Zaman", "Mesaj", "Gönderim"};
    return section >= 0 && section < kColumns ? QString::fromUtf8(kHeaders[section]) : QVariant();
}

}  // namespace app
