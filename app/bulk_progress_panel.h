#pragma once
// The bulk run on the bulk tab: a progress bar with "3 / 120", "Durdur", the counts so
// far with the time left, the results file with a button that opens its folder, and a
// table with one row per recipient (time, outcome, references or the reason), and
// "Başarısızları Tekrar Gönder" once the run is over. It stands where the recipient
// list is, which cannot change during a run; "Listeye Dön" shows the list again.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace app {

class BulkProgressPanel : public QWidget {
public:
    explicit BulkProgressPanel(QWidget* parent);

    // A new run of `total` recipients whose results go to `resultsFile` (or, while the
    // name is not known yet, into that folder); empty: no file.
    void start(int total, const QString& resultsFile);
    void showPosition(int position, int total);  // "3 / 120" while sending the 3rd
    // One finished recipient: number, time, outcome word, references or reason; `served`
    // is false for a recipient the run ended before.
    void addResult(const QString& number, const QString& time, const QString& outcome,
                   const QString& detail, bool sent, bool served);
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
    QTableWidget* results = nullptr;
    QLabel* fileLabel = nullptr;
    QPushButton* folderButton = nullptr;  // "Klasörü Aç"
    QPushButton* resendButton = nullptr;  // "Başarısızları Tekrar Gönder"
    QPushButton* closeButton = nullptr;   // "Listeye Dön"

private:
    int m_total = 0;
    int m_served = 0;
    bool m_finished = false;
    bool m_locked = false;
    int m_resendable = 0;
    QString m_resultsFile;
};

// The time left when `served` of `total` took `elapsedMs`: "Kalan süre: yaklaşık 5 dakika".
QString timeLeftText(int served, int total, std::int64_t elapsedMs);

}  // namespace app
