#include "app/campaign_history_dialog.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "store/database.h"

namespace app {
namespace {

QTableView* makeTable(QWidget* parent) {
    auto* view = new QTableView(parent);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->verticalHeader()->setVisible(false);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(20);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

}  // namespace

CampaignHistoryDialog::CampaignHistoryDialog(store::CampaignStore& store, QWidget* parent)
    : QDialog(parent), m_store(store), m_list(store), m_rows(store) {
    setWindowTitle(QStringLiteral("Gönderim Geçmişi"));
    resize(1080, 560);  // the delivery counts take the last column
    auto* layout = new QVBoxLayout(this);

    campaigns = makeTable(this);
    campaigns->setModel(&m_list);
    campaigns->setColumnWidth(0, 50);
    campaigns->setColumnWidth(1, 140);
    campaigns->setColumnWidth(2, 160);
    for (int c = 3; c < m_list.columnCount() - 1; ++c) {
        campaigns->setColumnWidth(c, 72);
    }
    layout->addWidget(campaigns, 2);

    caption = new QLabel(this);
    layout->addWidget(caption);
    recipients = makeTable(this);
    recipients->setModel(&m_rows);
    recipients->setColumnWidth(0, 50);
    recipients->setColumnWidth(1, 130);
    recipients->setColumnWidth(2, 90);
    recipients->setColumnWidth(3, 150);
    recipients->setColumnWidth(4, 150);
    layout->addWidget(recipients, 3);

    auto* buttons = new QHBoxLayout;
    csvButton = new QPushButton(QStringLiteral("CSV olarak kaydet"), this);
    resendButton = new QPushButton(QStringLiteral("Başarısızları Tekrar Gönder"), this);
    closeButton = new QPushButton(QStringLiteral("Kapat"), this);
    buttons->addWidget(csvButton);
    buttons->addWidget(resendButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);

    connect(campaigns->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { chosen(current.row()); });
    connect(csvButton, &QPushButton::clicked, this, [this] { saveCsv(); });
    connect(resendButton, &QPushButton::clicked, this, [this] {
        m_resend = m_rows.campaign();
        accept();
    });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);

    chosen(-1);
    if (m_list.rowCount() > 0) {
        campaigns->selectRow(0);
    }
}

void CampaignHistoryDialog::showCampaign(std::int64_t campaign) {
    for (int row = 0; row < m_list.rowCount(); ++row) {
        if (m_list.campaignAt(row)->id == campaign) {
            campaigns->selectRow(row);
            return;
        }
    }
}

void CampaignHistoryDialog::refresh() {
    try {
        m_list.refresh();
    } catch (const store::StoreError&) {
        return;  // what is shown stays; the next change reads it again
    }
    m_rows.refresh();
}

void CampaignHistoryDialog::chosen(int row) {
    const store::CampaignSummary* c = m_list.campaignAt(row);
    m_rows.setCampaign(c != nullptr ? c->id : 0);
    caption->setText(
        c != nullptr ? QStringLiteral("Gönderim %1: %2 kişi, %3")
                           .arg(c->id)
                           .arg(c->counts.total())
                           .arg(c->finished() ? QStringLiteral("bitti") : QStringLiteral("yarım"))
                     : QString());
    csvButton->setEnabled(c != nullptr);
    resendButton->setEnabled(c != nullptr && (c->counts.of(store::RecipientState::Failed) +
                                                  c->counts.of(store::RecipientState::Unknown) >
                                              0));
}

void CampaignHistoryDialog::saveCsv() {
    const std::int64_t campaign = m_rows.campaign();
    if (campaign == 0 || !chooseCsvFile) {
        return;
    }
    const QString file = chooseCsvFile(
        this, QDir::current().filePath(QStringLiteral("gonderim-%1.csv").arg(campaign)));
    if (file.isEmpty()) {
        return;
    }
    try {
        m_store.exportCsv(campaign, file.toStdString());
        if (tell) {
            tell(QStringLiteral("Gönderim %1 kaydedildi: %2")
                     .arg(campaign)
                     .arg(QDir::toNativeSeparators(file)),
                 false);
        }
    } catch (const store::StoreError& e) {
        if (tell) {
            tell(QStringLiteral("CSV dosyası yazılamadı: %1").arg(QString::fromUtf8(e.what())),
                 true);
        }
    }
}

}  // namespace app
