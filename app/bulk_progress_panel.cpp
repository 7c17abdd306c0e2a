#include "app/bulk_progress_panel.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include "app/run_question.h"

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

    tally = new QLabel(this);
    tally->setGeometry(8, 40, w - 16, 18);
    timeLeft = new QLabel(this);
    timeLeft->setGeometry(8, 58, w - 16, 18);

    results = new QTableView(this);
    results->setGeometry(8, 80, w - 16, 280);
    results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results->setSelectionBehavior(QAbstractItemView::SelectRows);
    results->verticalHeader()->setVisible(false);
    results->horizontalHeader()->setStretchLastSection(true);
    // Rows of one height: the view then never measures rows it does not show.
    results->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    results->verticalHeader()->setDefaultSectionSize(20);

    fileLabel = new QLabel(this);
    fileLabel->setGeometry(8, 366, w - 16 - 100 - 6, 26);
    fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folderButton = new QPushButton(QStringLiteral("Klasörü Aç"), this);
    folderButton->setGeometry(w - 8 - 100, 364, 100, 30);
    folderButton->setEnabled(false);
    connect(folderButton, &QPushButton::clicked, this, [this] {
        if (openFolder && !m_resultsFile.isEmpty()) {
            const QFileInfo info(m_resultsFile);
            openFolder(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
        }
    });

    resendButton = new QPushButton(QStringLiteral("Başarısızları Tekrar Gönder"), this);
    resendButton->setGeometry(8, 400, 220, 32);
    resendButton->setEnabled(false);
    closeButton = new QPushButton(QStringLiteral("Listeye Dön"), this);
    closeButton->setGeometry(w - 8 - 120, 400, 120, 32);
    resize(w, 440);
}

void BulkProgressPanel::start(int total, const QString& resultsFile) {
    m_total = total;
    m_finished = false;
    m_resendable = 0;
    progress->setRange(0, total);
    progress->setValue(0);
    count->setText(QStringLiteral("0 / %1").arg(total));
    showTally(0, 0, 0, 0, 0);
    setResultsFile(resultsFile);
    stopButton->setEnabled(true);
    setLocked(m_locked);
    show();
    raise();
}

void BulkProgressPanel::showPosition(int position, int total) {
    count->setText(QStringLiteral("%1 / %2").arg(position).arg(total));
}

void BulkProgressPanel::setServed(int served) {
    progress->setValue(served);
}

void BulkProgressPanel::sizeColumns() {
    results->setColumnWidth(0, 36);
    results->setColumnWidth(1, 96);
    results->setColumnWidth(2, 70);
    results->setColumnWidth(3, 118);
    results->setColumnWidth(4, 90);
    results->setColumnWidth(5, 160);  // delivery: its state and time, beyond a scroll
}

void BulkProgressPanel::showTally(int sent, int failed, int unknown, int served,
                                  std::int64_t elapsedMs) {
    tally->setText(QStringLiteral("%1 gönderildi · %2 başarısız · %3 belirsiz")
                       .arg(sent)
                       .arg(failed)
                       .arg(unknown));
    timeLeft->setText(timeLeftText(served, m_total, elapsedMs));
}

void BulkProgressPanel::setResultsFile(const QString& path) {
    m_resultsFile = path;
    fileLabel->setText(path.isEmpty()
                           ? QString()
                           : QStringLiteral("Sonuç dosyası: ") + QDir::toNativeSeparators(path));
    fileLabel->setToolTip(QFileInfo(path).absoluteFilePath());
    folderButton->setEnabled(!path.isEmpty());
}

void BulkProgressPanel::finish(int resendable) {
    m_finished = true;
    m_resendable = resendable;
    stopButton->setEnabled(false);
    timeLeft->clear();
    setLocked(m_locked);
}

void BulkProgressPanel::setLocked(bool locked) {
    m_locked = locked;
    resendButton->setEnabled(!locked && m_finished && m_resendable > 0);
    closeButton->setEnabled(!locked && m_finished);
}

QString timeLeftText(int served, int total, std::int64_t elapsedMs) {
    if (served >= total) {
        return QString();
    }
    if (served <= 0) {
        return QStringLiteral("Kalan süre: hesaplanıyor");
    }
    const std::int64_t leftMs = elapsedMs * (total - served) / served;
    return QStringLiteral("Kalan süre: ") + durationText((leftMs + 500) / 1000);
}

}  // namespace app
