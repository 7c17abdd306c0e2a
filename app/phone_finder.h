#pragma once
// "Telefonları Bul" on the connection tab: probes the free ports on a thread of its own,
// so the window goes on answering, then shows what answered (maker, model, IMEI per
// port). Its "Bağlan" connects the first phone with the tab's own boxes and button and
// puts the others into the "Ek telefonlar" list.

#include <QObject>
#include <QPointer>

#include <functional>
#include <set>
#include <thread>

#include "phone/port_probe.h"

class QDialog;
class QLabel;
class QPushButton;
class QTableWidget;

namespace app {

class ExtraPhones;
class TMainForm;

class PhoneFinder : public QObject {
public:
    // `extras` may be null: then only the first phone is connected.
    PhoneFinder(TMainForm& form, ExtraPhones* extras);
    // Waits for a probe still running (it ends within a few seconds).
    ~PhoneFinder() override;

    QPushButton* button() const { return m_button; }
    // Starts a probe unless one runs; the result shows in dialog() when it is done.
    void find();
    bool probing() const { return m_probing; }
    // The list of the last probe; null before the first has ended.
    QDialog* dialog() const { return m_dialog; }
    const phone::ProbeResult& lastResult() const { return m_result; }
    // The dialog's "Bağlan": the first phone found with the tab's boxes, the rest as
    // extra phones; phones already connected are left as they are.
    void connectFound();

    // Called when a probe has ended and its dialog shows (tests wait for it).
    std::function<void()> onFound;

    // For tests: the probe's limits.
    void setProbeTimes(int answerMs, int replyMs);

private:
    std::set<int> portsInUse() const;
    void showResult(phone::ProbeResult result);
    // The buttons as they were before the probe.
    void endProbe();

    TMainForm& m_form;
    QPointer<ExtraPhones> m_extras;
    QPushButton* m_button = nullptr;
    QPointer<QDialog> m_dialog;
    QTableWidget* m_table = nullptr;   // in m_dialog
    QLabel* m_note = nullptr;          // in m_dialog
    QPushButton* m_connect = nullptr;  // in m_dialog
    phone::ProbeOptions m_options;
    phone::ProbeResult m_result;
    std::thread m_thread;
    bool m_probing = false;      // from find() until the result is back on this thread
    bool m_heldConnect = false;  // the probe switched the connect button off
};

}  // namespace app
