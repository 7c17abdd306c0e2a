#include "app/campaign_models.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

#include <algorithm>

#include "app/code_page_text.h"
#include "sms/sms_sender.h"
#include "store/database.h"

namespace app {
namespace {

const QColor kFailedColour(176, 0, 0);
const QColor kUnknownColour(176, 96, 0);

enum ResultColumn { kPosition, kNumber, kState, kTime, kDetail, kPhone, kDelivery, kResultColumns };

// Which states the list shows, in this order, after the first three columns.
constexpr store::RecipientState kListedStates[] = {
    store::RecipientState::Queued, store::RecipientState::Sent, store::RecipientState::Failed,
    store::RecipientState::Unknown, store::RecipientState::Skipped};
constexpr int kListFixedColumns = 3;
constexpr int kListDeliveryColumn = kListFixedColumns + int(std::size(kListedStates));
constexpr int kListColumns = kListDeliveryColumn + 1;
constexpr int kTextStart = 40;

QString detailText(const store::RecipientRow& r) {
    if (r.state == store::RecipientState::Sent) {
        sms::SendOutcome o;
        o.references = r.references;
        return QStringLiteral("ref ") + fromCodePage(o.referencesText());
    }
    return fromCodePage(r.error);
}

// "teslim edildi 2026-12-10 14:05:31": the state and when the centre says it was reached.
QString deliveryText(const store::RecipientRow& r) {
    const std::string_view name = store::deliveryStateName(r.delivery);
    QString text = QString::fromUtf8(name.data(), qsizetype(name.size()));
    if (r.deliveryTime != 0 && r.delivery != store::DeliveryState::None) {
        text += QLatin1Char(' ') + timeText(r.deliveryTime);
    }
    return text;
}

}  // namespace

QString stateText(store::RecipientState state) {
    const std::string_view name = store::stateName(state);
    return QString::fromUtf8(name.data(), qsizetype(name.size()));
}

QString timeText(std::time_t t) {
    return QDateTime::fromSecsSinceEpoch(t).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// ---------------------------------------------------------------- results

CampaignResultsModel::CampaignResultsModel(store::CampaignStore& store, QObject* parent)
    : QAbstractTableModel(parent), m_store(store) {}

void CampaignResultsModel::setCampaign(std::int64_t campaign) {
    beginResetModel();
    m_campaign = campaign;
    m_count = campaign != 0 ? m_store.recipientCount(campaign) : 0;
    m_pageStart = -1;
    m_page.clear();
    endResetModel();
}

void CampaignResultsModel::refresh(int row) {
    // A campaign's rows change state but are never added or removed: the count holds.
    m_pageStart = -1;
    m_page.clear();
    if (row >= 0 && row < m_count) {
        emit dataChanged(index(row, 0), index(row, kResultColumns - 1));
    } else if (m_count > 0) {
        emit dataChanged(index(0, 0), index(m_count - 1, kResultColumns - 1));
    }
}

const store::RecipientRow* CampaignResultsModel::row(int row) const {
    if (row < 0 || row >= m_count) {
        return nullptr;
    }
    if (m_pageStart < 0 || row < m_pageStart || row >= m_pageStart + int(m_page.size())) {
        // Painting must not throw: a page that cannot be read shows empty cells.
        m_pageStart = row - row % kPageSize;
        try {
            m_page = m_store.recipients(m_campaign, m_pageStart, kPageSize);
        } catch (const store::StoreError&) {
            m_page.clear();
        }
    }
    const int at = row - m_pageStart;
    return at < int(m_page.size()) ? &m_page[size_t(at)] : nullptr;
}

int CampaignResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

int CampaignResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kResultColumns;
}

QVariant CampaignResultsModel::data(const QModelIndex& index, int role) const {
    const store::RecipientRow* r = index.isValid() ? row(index.row()) : nullptr;
    if (r == nullptr) {
        return {};
    }
    if (index.column() == kDelivery) {
        if (role == Qt::ToolTipRole) {
            return r->deliveryMeaning.empty() ? QVariant() : fromCodePage(r->deliveryMeaning);
        }
        if (role == Qt::ForegroundRole) {
            return r->delivery == store::DeliveryState::Failed ? QBrush(kFailedColour) : QVariant();
        }
    }
    if (role == Qt::ToolTipRole && index.column() == kPhone) {
        return r->phoneImei.empty() ? QVariant()
                                    : QStringLiteral("IMEI %1").arg(fromCodePage(r->phoneImei));
    }
    if (role == Qt::ForegroundRole) {
        if (r->state == store::RecipientState::Failed) {
            return QBrush(kFailedColour);
        }
        if (r->state == store::RecipientState::Unknown) {
            return QBrush(kUnknownColour);
        }
        return {};
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    const bool served =
        r->state != store::RecipientState::Queued && r->state != store::RecipientState::Sending;
    switch (index.column()) {
        case kPosition:
            return r->position + 1;
        case kNumber:
            return fromCodePage(r->entry);
        case kState:
            return stateText(r->state);
        case kTime:
            return served ? timeText(r->changed) : QString();
        case kDetail:
            return detailText(*r);
        case kPhone:  // the phone that served it, when several may have
            return served ? fromCodePage(r->phonePort) : QString();
        case kDelivery:
            return deliveryText(*r);
        default:
            return {};
    }
}

QVariant CampaignResultsModel::headerData(int section, Qt::Orientation orientation,
                                          int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    static const char* const kHeaders[] = {"Sıra",    "Numara", "Durum", "Zaman", "Referans / Hata",
                                           "Telefon", "Teslim"};
    return section >= 0 && section < kResultColumns ? QString::fromUtf8(kHeaders[section])
                                                    : QVariant();
}

// ---------------------------------------------------------------- campaigns

CampaignListModel::CampaignListModel(store::CampaignStore& store, QObject* parent)
    : QAbstractTableModel(parent), m_store(store) {
    refresh();
}

void CampaignListModel::refresh() {
    std::vector<store::CampaignSummary> campaigns = m_store.campaigns();
    std::vector<QString> delivery;
    delivery.reserve(campaigns.size());
    for (const store::CampaignSummary& c : campaigns) {
        delivery.push_back(c.options.reportsRequested
                               ? QString::fromStdString(m_store.deliveryCounts(c.id).text())
                               : QString());
    }
    const bool sameRows =
        std::equal(campaigns.begin(), campaigns.end(), m_campaigns.begin(), m_campaigns.end(),
                   [](const store::CampaignSummary& a, const store::CampaignSummary& b) {
                       return a.id == b.id;
                   });
    if (sameRows) {
        // Counts changed (a report came in): the rows stay, and so does the user's choice.
        m_campaigns = std::move(campaigns);
        m_delivery = std::move(delivery);
        if (!m_campaigns.empty()) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, kListColumns - 1));
        }
        return;
    }
    beginResetModel();
    m_campaigns = std::move(campaigns);
    m_delivery = std::move(delivery);
    endResetModel();
}

const store::CampaignSummary* CampaignListModel::campaignAt(int row) const {
    return row >= 0 && row < int(m_campaigns.size()) ? &m_campaigns[size_t(row)] : nullptr;
}

int CampaignListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_campaigns.size());
}

int CampaignListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kListColumns;
}

QVariant CampaignListModel::data(const QModelIndex& index, int role) const {
    const store::CampaignSummary* c = index.isValid() ? campaignAt(index.row()) : nullptr;
    if (c == nullptr) {
        return {};
    }
    if (role == Qt::ToolTipRole && index.column() == 2) {
        return QString::fromStdU16String(c->text);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
        case 0:
            return c->resendOf != 0 ? QStringLiteral("%1 (%2 için)").arg(c->id).arg(c->resendOf)
                                    : QString::number(c->id);
        case 1:
            return timeText(c->started);
        case 2: {
            QString text = QString::fromStdU16String(c->text).simplified();
            return text.size() > kTextStart ? text.left(kTextStart) + QStringLiteral("…") : text;
        }
        case kListDeliveryColumn:
            return m_delivery[size_t(index.row())];
        default: {
            const int state = index.column() - kListFixedColumns;
            return state < int(std::size(kListedStates)) ? c->counts.of(kListedStates[state])
                                                         : QVariant();
        }
    }
}

QVariant CampaignListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    if (section == 0) {
        return QStringLiteral("No");
    }
    if (section == 1) {
        return QStringLiteral("Başlangıç");
    }
    if (section == 2) {
        return QStringLiteral("Metin");
    }
    if (section == kListDeliveryColumn) {
        return QStringLiteral("Teslim");
    }
    const int state = section - kListFixedColumns;
    return state >= 0 && state < int(std::size(kListedStates)) ? stateText(kListedStates[state])
                                                               : QVariant();
}

}  // namespace app
