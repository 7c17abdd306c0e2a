#include "app/bulk_progress_panel.h"

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

namespace app {

BulkProgressPanel::BulkProgressPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("BulkProgressPanel"));
    setAutoFillBackground(true);
    const int w = 440;

    progress = new QProgressBar(this);
    progress->setGeometry(8, 8, w - 8 - 8 - 90 - 80 - 12, 26);
    progress->setTextVisible(false);
    count = new QLabel(QStringLiteral("0 / 0"), this);
    count->setGeometry(progress->geometry().right() + 6, 8, 90, 26);
    count->setAlignment(Qt::AlignCenter);
    stopButton = new QPushButton(QStringLiteral("Durdur"), this);
    stopButton->setGeometry(w - 8 - 80, 6, 80, 30);
    stopButton->setCursor(Qt::PointingHandCursor);

    results = new QTableWidget(0, 4, this);
    results->setHorizontalHeaderLabels({QStringLiteral("Numara"), QStringLiteral("Zaman"),
                                        QStringLiteral("Sonuç"),
                                        QStringLiteral("Referans / Hata")});
    results->setGeometry(8, 42, w - 16, 350);
    results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results->setSelectionBehavior(QAbstractItemView::SelectRows);
    results->verticalHeader()->setVisible(false);
    results->horizontalHeader()->setStretchLastSection(true);
    results->setColumnWidth(0, 110);
    results->setColumnWidth(1, 70);
    results->setColumnWidth(2, 80);

    resendButton = new QPushButton(QStringLiteral("Başarısızları Tekrar Gönder"), this);
    resendButton->setGeometry(8, 400, 220, 32);
    resendButton->setEnabled(false);
    closeButton = new QPushButton(QStringLiteral("Listeye Dön"), this);
    closeButton->setGeometry(w - 8 - 120, 400, 120, 32);
    resize(w, 440);
}

void BulkProgressPanel::start(int total) {
    results->setRowCount(0);
    progress->setRange(0, total);
    progress->setValue(0);
    count->setText(QStringLiteral("0 / %1").arg(total));
    stopButton->setEnabled(true);
    resendButton->setEnabled(false);
    closeButton->setEnabled(false);
    show();
    raise();
}

void BulkProgressPanel::showPosition(int position, int total) {
    count->setText(QStringLiteral("%1 / %2").arg(position).arg(total));
}

void BulkProgressPanel::addResult(const QString& number, const QString& time,
                                  const QString& outcome, const QString& detail, bool sent) {
    const int row = results->rowCount();
    results->insertRow(row);
    const QString cells[] = {number, time, outcome, detail};
    for (int c = 0; c < 4; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (!sent) {
            item->setForeground(QColor(176, 0, 0));
        }
        results->setItem(row, c, item);
    }
    results->scrollToItem(results->item(row, 0));
    progress->setValue(row + 1);
}

void BulkProgressPanel::finish(int failures) {
    stopButton->setEnabled(false);
    resendButton->setEnabled(failures > 0);
    closeButton->setEnabled(true);
}

}  // namespace app
