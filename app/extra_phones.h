#pragma once
// "Ek telefonlar" on the connection tab: phones beyond the first, each on a thread of
// its own (sms::PhoneWorker). A row per phone: port, speed, "Bağlan"/"Bağlantıyı Kes",
// its state, operator, signal, the messages it sent today and its daily limit
// ("Günlük sınır", per IMEI, remembered). The gauges and the information rows stay the
// first phone's.

#include <QObject>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sms/phone_reception.h"
#include "sms/phone_worker.h"

class QComboBox;
class QGroupBox;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace platform {
class MessageQueue;
}

namespace app {

class SendController;
class Settings;
class TMainForm;

class ExtraPhones : public QObject {
public:
    enum Column { kPort, kSpeed, kButton, kState, kOperator, kSignal, kToday, kLimit, kColumns };

    // `queue` is the user-interface thread's: the phones report through it. `settings`
    // keeps the daily limits and the list's ports (read here, written when the list
    // goes); null: nothing is remembered.
    ExtraPhones(TMainForm& form, platform::MessageQueue& queue, Settings* settings);
    ~ExtraPhones() override;

    QGroupBox* group() const { return m_group; }
    QTableWidget* table() const { return m_table; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* removeButton() const { return m_remove; }
    // The first phone's "Günlük sınır", under the tab's connect button.
    QSpinBox* firstLimit() const { return m_firstLimit; }

    // A new row for Com<port> at `baud`, not yet connected; its index.
    int addPhone(int port = 0, int baud = 115200);
    // The row for Com<port> at `baud`: the list's own, not connected, when it has one
    // (its speed set to `baud`), else a new one; its index.
    int rowFor(int port, int baud);
    // What the row's button does when the phone is not connected, and when it is.
    void connectRow(int row);
    void disconnectRow(int row);
    // Takes away the selected row if its phone is not connected.
    void removeSelected();
    int rowCount() const { return int(m_rows.size()); }
    // The row's phone; null before its first connect.
    sms::PhoneWorker* worker(int row) const;
    int dailyLimit(int row) const;

    // The ports the rows hold (connected or connecting).
    std::set<int> portsInUse() const;
    // The phones connected now, for a campaign over all of them.
    std::vector<sms::PhoneWorker*> connectedPhones() const;
    // The "Günlük sınır" of a phone of a campaign, the first one's or a row's, found by
    // its IMEI, by its port when it gave none; 0 (none) for a phone not shown here.
    int dailyLimitOf(const sms::PhoneIdentity& phone) const;

    // Lets `sending`'s campaigns go over the connected phones too, and counts what each
    // sent today from its database. Call once; `sending` must outlive this list.
    void serve(SendController& sending);

    // The messages the phone with this IMEI sent today (the campaign database's count);
    // unset: what the phone sent since it was connected.
    std::function<int(const std::string& imei)> sentToday;
    // A row's phone has connected and read its information (each time it does), and one
    // is about to be destroyed (its row removed, or another port chosen).
    std::function<void(sms::PhoneSlot& phone)> phoneJoins;
    std::function<void(sms::PhoneSlot& phone)> phoneGoes;
    // Reception for a new phone, attached before it connects and ended before it goes
    // (asked again when it joins, while it has none); null: the phone receives nothing.
    std::function<std::unique_ptr<sms::PhoneReception>(sms::PhoneWorker& phone)> receiveOn;
    // A daily limit box was changed.
    std::function<void()> limitsChanged;
    // Refreshes every row's counts (a run has recorded messages).
    void refreshCounts();

private:
    struct Row;
    int indexOf(const Row* row) const;
    void show(Row& row);
    void refuse(Row& row, const QString& why);
    // The first phone said its IMEI (or went): its limit follows.
    void showFirstLimit();
    // Destroys the row's phone, telling phoneGoes first.
    void dropWorker(Row& row);

    TMainForm& m_form;
    platform::MessageQueue& m_queue;
    Settings* m_settings = nullptr;
    QGroupBox* m_group = nullptr;
    QTableWidget* m_table = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QSpinBox* m_firstLimit = nullptr;
    std::string m_firstImei;                   // whose limit m_firstLimit shows
    std::vector<std::unique_ptr<Row>> m_rows;  // in the table's order
};

}  // namespace app
