#pragma once
// The bulk run on the bulk tab: a progress bar with "3 / 120", "Durdur", and below them
// a table with one row per recipient (time, outcome, references or the reason), and
// "Başarısızları Tekrar Gönder" once the run is over. It stands where the recipient
// list is, which cannot change during a run; "Listeye Dön" shows the list again.

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace app {

class BulkProgressPanel : public QWidget {
public:
    explicit BulkProgressPanel(QWidget* parent);

    void start(int total);
    void showPosition(int position, int total);  // "3 / 120" while sending the 3rd
    // One finished recipient: number, time, outcome word, references or reason.
    void addResult(const QString& number, const QString& time, const QString& outcome,
                   const QString& detail, bool sent);
    // The run is over: "Durdur" off, the resend button on when `failures` > 0.
    void finish(int failures);

    QProgressBar* progress = nullptr;
    QLabel* count = nullptr;
    QPushButton* stopButton = nullptr;  // "Durdur"
    QTableWidget* results = nullptr;
    QPushButton* resendButton = nullptr;  // "Başarısızları Tekrar Gönder"
    QPushButton* closeButton = nullptr;   // "Listeye Dön"
};

}  // namespace app
