#pragma once
// The campaigns of the database as tables for the window: the list of past campaigns,
// and one campaign's recipients read a page at a time, so a campaign of 100,000 rows
// costs what is on screen.

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <vector>

#include "store/campaigns.h"

namespace app {

// One campaign's recipients in list order: "Sıra", "Numara", "Durum", "Zaman",
// "Referans / Hata", "Teslim" (what the delivery reports say, and when).
class CampaignResultsModel : public QAbstractTableModel {
public:
    explicit CampaignResultsModel(store::CampaignStore& store, QObject* parent = nullptr);

    // Shows `campaign` (0: nothing).
    void setCampaign(std::int64_t campaign);
    std::int64_t campaign() const { return m_campaign; }
    // Rows changed state in the database (a run served `row`, -1: any): read again what
    // is shown.
    void refresh(int row = -1);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    static constexpr int kPageSize = 200;

private:
    // The row at `row`, reading its page when it is not the one held.
    const store::RecipientRow* row(int row) const;

    store::CampaignStore& m_store;
    std::int64_t m_campaign = 0;
    int m_count = 0;
    // The page last read; the view asks for neighbouring rows, which mostly share it.
    mutable int m_pageStart = -1;
    mutable std::vector<store::RecipientRow> m_page;
};

// Past campaigns, newest first: "No", "Başlangıç", "Metin", the count of every state, then
// "Teslim": the recipients by delivery state, where reports were asked for.
class CampaignListModel : public QAbstractTableModel {
public:
    explicit CampaignListModel(store::CampaignStore& store, QObject* parent = nullptr);

    // Reads the campaigns again; where they are the same ones, only their counts change
    // and the view keeps its selection.
    void refresh();
    const store::CampaignSummary* campaignAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    store::CampaignStore& m_store;
    std::vector<store::CampaignSummary> m_campaigns;
    std::vector<QString> m_delivery;  // per campaign, DeliveryCounts::text() or empty
};

// A state's name as the window shows it ("sırada", "gönderildi" ...).
QString stateText(store::RecipientState state);
// A time as the tables show it: "2026-12-10 14:05:31".
QString timeText(std::time_t t);

}  // namespace app
