#pragma once
// What the program remembers between runs, in one file:
// ~/.config/toplusms/toplusms.conf ($XDG_CONFIG_HOME honoured). A missing, unreadable or
// corrupt file gives the defaults; a value of the wrong kind gives that value's default.

#include <QString>
#include <QStringList>

#include <vector>

namespace app {

class Settings {
public:
    // The file of the current user, or `path` (tests).
    Settings();
    explicit Settings(QString path);

    QString path() const { return m_path; }

    // Values, each with the default the program has without a settings file.
    QString port() const;  // "Com5"; a stored value that names no port gives it too
    void setPort(const QString& port);
    int baud() const;  // 115200; also for a stored value that is no positive number
    void setBaud(int baud);
    int pauseSeconds() const;  // 30; also for a stored negative value
    void setPauseSeconds(int seconds);
    // Send Turkish letters with the national language tables of 3GPP TS 23.038.
    bool turkishSevenBit() const;  // false
    void setTurkishSevenBit(bool on);
    // "Teslim raporu iste": ask the network for a delivery report of every part.
    bool deliveryReports() const;  // true
    void setDeliveryReports(bool on);
    // The words that put a reply's sender on the opt-out list: RET, İPTAL, IPTAL, STOP,
    // DUR; also for a stored list that holds no word. Kept as one text, comma-separated.
    QStringList optOutKeywords() const;
    void setOptOutKeywords(const QStringList& keywords);
    // A comma-separated text of keywords as the settings keep it: each trimmed, empty
    // ones and repeats dropped.
    static QStringList parseKeywords(const QString& text);
    static QStringList defaultOptOutKeywords();
    // "Günlük sınır" of the phone with this IMEI: at most so many messages a day, 0 for
    // none (also for a phone without an IMEI and a stored value that is no count).
    int dailyLimit(const QString& imei) const;
    void setDailyLimit(const QString& imei, int limit);
    // The ports and speeds of the "Ek telefonlar" list, in its order; entries that name no
    // port or no speed are passed over.
    struct PortChoice {
        QString port;  // "Com6"
        int baud = 115200;
        bool operator==(const PortChoice&) const = default;
    };
    std::vector<PortChoice> extraPhones() const;
    void setExtraPhones(const std::vector<PortChoice>& phones);

    // "Com1" to "Com50", letter case ignored: the names a port can have.
    static bool isPortName(const QString& text);

private:
    QString readText(const char* key, const QString& fallback) const;
    int readInt(const char* key, int fallback) const;
    void write(const char* key, const QString& value);

    QString m_path;
};

}  // namespace app
