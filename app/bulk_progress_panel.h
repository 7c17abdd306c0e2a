#pragma once
// The bulk run on the bulk tab: a progress bar with "3 / 120", "Durdur", the counts so
// far with the time left, the results file with a button that opens its folder, and a
// table of the campaign's recipients (state, time, references or the reason), and
// "Başarısızları Tekrar Gönder" once the run is over. It stands where the recipient
// list is, which cannot change during a run; "Listeye Dön" shows the list again.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

namespace app {

class BulkProgressPanel : public QWidget {
public:
    explicit BulkProgressPanel(QWidget* parent);

    // A new run of `total` recipients whose results go to `resultsFile` (or, while the
    // name is not known yet, into that folder); empty: no file.
    void start(int total, const QString& resultsFile);
    void showPosition(int position, int total);  // "3 / 120" while sending the 3rd
    // How many the run has served so far: the bar shows how far it got, so a stop leaves
    // it where the run ended.
    void setServed(int served);
    // Column widths for the results model, once it is set.
    void sizeColumns();
    // The counts so far and the time left at the pace of the run so far.
    void showTally(int sent, int failed, int unknown, int served, std::int64_t elapsedMs);
    void setResultsFile(const QString& path);
    // The run is over: "Durdur" off, the resend button on when `resendable` > 0.
    void finish(int resendable);
    // While another send holds the line the resend and "Listeye Dön" wait; unlocked they
    // are as the last run left them.
    void setLocked(bool locked);

    // Opens the results file's folder (the desktop's file manager).
    std::function<void(const QString& folder)> openFolder;

    QProgressBar* progress = nullptr;
    QLabel* count = nullptr;
    QPushButton* stopButton = nullptr;  // "Durdur"
    QLabel* tally = nullptr;            // "3 gönderildi · 1 başarısız · 0 belirsiz"
    QLabel* timeLeft = nullptr;         // "Kalan süre: yaklaşık 2 saat"
    QTableView* results = nullptr;      // over the campaign's rows in the database
    QLabel* fileLabel = nullptr;
    QPushButton* folderButton = nullptr;  // "Klasörü Aç"
    QPushButton* resendButton = nullptr;  // "Başarısızları Tekrar Gönder"
    QPushButton* closeButton = nullptr;   // "Listeye Dön"

private:
    int m_total = 0;
    bool m_finished = false;
    bool m_locked = false;
    int m_resendable = 0;
    QString m_resultsFile;
};

// The time left when `served` of `total` took `elapsedMs`: "Kalan süre: yaklaşık 5 dakika".
QString timeLeftText(int served, int total, std::int64_t elapsedMs);

}  // namespace app
