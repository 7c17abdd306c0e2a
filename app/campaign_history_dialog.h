#pragma once
// "Gönderim Geçmişi": past campaigns with their counts per state; the chosen one's
// recipients below, "CSV olarak kaydet" and "Başarısızları Tekrar Gönder".

#include <QDialog>

#include <cstdint>
#include <functional>

#include "app/campaign_models.h"

class QLabel;
class QPushButton;
class QTableView;

namespace app {

class CampaignHistoryDialog : public QDialog {
public:
    CampaignHistoryDialog(store::CampaignStore& store, QWidget* parent);

    // The campaign chosen for a resend when the dialog ended with it; 0 otherwise.
    std::int64_t resendRequested() const { return m_resend; }
    // Shows `campaign`'s recipients (selects its row).
    void showCampaign(std::int64_t campaign);
    // "CSV olarak kaydet" for the chosen campaign.
    void saveCsv();
    // Reads what is shown again (delivery reports came in), keeping the chosen campaign.
    void refresh();

    // Where the export goes (empty: cancelled), and how a result or an error is told.
    std::function<QString(QWidget* parent, const QString& suggested)> chooseCsvFile;
    std::function<void(const QString& text, bool error)> tell;

    QTableView* campaigns = nullptr;
    QTableView* recipients = nullptr;
    QLabel* caption = nullptr;
    QPushButton* csvButton = nullptr;     // "CSV olarak kaydet"
    QPushButton* resendButton = nullptr;  // "Başarısızları Tekrar Gönder"
    QPushButton* closeButton = nullptr;   // "Kapat"

private:
    void chosen(int row);

    store::CampaignStore& m_store;
    CampaignListModel m_list;
    CampaignResultsModel m_rows;
    std::int64_t m_resend = 0;
};

}  // namespace app
