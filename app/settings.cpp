#include "app/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

#include "sms/opt_out_reply.h"

namespace app {
namespace {

constexpr const char* kPortKey = "port";
constexpr const char* kBaudKey = "baud";
constexpr const char* kPauseKey = "pause";
constexpr const char* kTurkishKey = "turkish7bit";
constexpr const char* kReportsKey = "deliveryReports";
constexpr const char* kKeywordsKey = "optOutKeywords";
constexpr const char* kDailyLimitGroup = "dailyLimit/";
constexpr const char* kExtraPhonesKey = "extraPhones";  // "Com6:115200 Com7:19200"

QString defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/toplusms/toplusms.conf");
}

constexpr int kLastPort = 50;

int intOr(const QString& text, int fallback) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : fallback;
}

bool boolOr(const QString& text, bool fallback) {
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1")) {
        return true;
    }
    if (t == QLatin1String("false") || t == QLatin1String("0")) {
        return false;
    }
    return fallback;
}

}  // namespace

Settings::Settings() : m_path(defaultPath()) {}

Settings::Settings(QString path) : m_path(std::move(path)) {}

QString Settings::readText(const char* key, const QString& fallback) const {
    QSettings file(m_path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        return fallback;
    }
    const QVariant value = file.value(QLatin1String(key));
    if (value.metaType() == QMetaType::fromType<QStringList>()) {
        return value.toStringList().join(QLatin1Char(','));  // commas unquoted, written by hand
    }
    return value.isValid() ? value.toString() : fallback;
}

int Settings::readInt(const char* key, int fallback) const {
    return intOr(readText(key, QString()), fallback);
}

void Settings::write(const char* key, const QString& value) {
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Qt leaves a file it cannot parse alone, so nothing would be remembered again:
    // the broken one is kept beside it and a new one begun.
    if (QSettings(m_path, QSettings::IniFormat).status() == QSettings::FormatError) {
        const QString kept = m_path + QStringLiteral(".bad");
        QFile::remove(kept);
        QFile::rename(m_path, kept);
    }
    QSettings file(m_path, QSettings::IniFormat);
    file.setValue(QLatin1String(key), value);
    file.sync();
}

namespace {

// An IMEI as a key: its digits alone, so no text from the phone shapes the file.
QByteArray dailyLimitKey(const QString& imei) {
    QString digits;
    for (const QChar c : imei) {
        if (c >= u'0' && c <= u'9') {
            digits += c;
        }
    }
    return digits.isEmpty() ? QByteArray() : QByteArray(kDailyLimitGroup) + digits.toLatin1();
}

}  // namespace

int Settings::dailyLimit(const QString& imei) const {
    const QByteArray key = dailyLimitKey(imei);
    return key.isEmpty() ? 0 : std::max(0, readInt(key.constData(), 0));
}

void Settings::setDailyLimit(const QString& imei, int limit) {
    const QByteArray key = dailyLimitKey(imei);
    if (!key.isEmpty()) {
        write(key.constData(), QString::number(std::max(0, limit)));
    }
}

std::vector<Settings::PortChoice> Settings::extraPhones() const {
    std::vector<PortChoice> phones;
    const QStringList items =
        readText(kExtraPhonesKey, QString()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& item : items) {
        const QString port = item.section(QLatin1Char(':'), 0, 0);
        bool ok = false;
        const int baud = item.section(QLatin1Char(':'), 1, 1).toInt(&ok);
        if (isPortName(port) && ok && baud > 0) {
            phones.push_back({QStringLiteral("Com") + port.mid(3), baud});
        }
    }
    return phones;
}

void Settings::setExtraPhones(const std::vector<PortChoice>& phones) {
    QStringList items;
    for (const PortChoice& p : phones) {
        items << QStringLiteral("%1:%2").arg(p.port).arg(p.baud);
    }
    write(kExtraPhonesKey, items.join(QLatin1Char(' ')));
}

bool Settings::isPortName(const QString& text) {
    if (!text.startsWith(QLatin1String("com"), Qt::CaseInsensitive) || text.size() > 5) {
        return false;
    }
    const QStringView digits = QStringView(text).mid(3);
    bool ok = false;
    const int n = digits.toInt(&ok);
    return ok && !digits.startsWith(u'0') && !digits.startsWith(u'+') && n >= 1 && n <= kLastPort;
}

QString Settings::port() const {
    const QString text = readText(kPortKey, QString()).trimmed();
    return isPortName(text) ? QStringLiteral("Com") + text.mid(3) : QStringLiteral("Com5");
}
void Settings::setPort(const QString& port) {
    write(kPortKey, port);
}

int Settings::baud() const {
    const int baud = readInt(kBaudKey, 115200);
    return baud > 0 ? baud : 115200;
}
void Settings::setBaud(int baud) {
    write(kBaudKey, QString::number(baud));
}

int Settings::pauseSeconds() const {
    const int seconds = readInt(kPauseKey, 30);
    return seconds >= 0 ? seconds : 30;
}
void Settings::setPauseSeconds(int seconds) {
    write(kPauseKey, QString::number(seconds));
}

bool Settings::turkishSevenBit() const {
    return boolOr(readText(kTurkishKey, QString()), false);
}
void Settings::setTurkishSevenBit(bool on) {
    write(kTurkishKey, on ? QStringLiteral("true") : QStringLiteral("false"));
}

bool Settings::deliveryReports() const {
    return boolOr(readText(kReportsKey, QString()), true);
}
void Settings::setDeliveryReports(bool on) {
    write(kReportsKey, on ? QStringLiteral("true") : QStringLiteral("false"));
}

QStringList Settings::parseKeywords(const QString& text) {
    QStringList words;
    for (const QString& part : text.split(QRegularExpression(QStringLiteral("[,;\\n]")))) {
        const QString word = part.simplified();
        if (!word.isEmpty() && !words.contains(word)) {
            words.append(word);
        }
    }
    return words;
}

QStringList Settings::optOutKeywords() const {
    // An emptied list would let every refusal through unnoticed: it gives the defaults.
    const QStringList words = parseKeywords(readText(kKeywordsKey, QString()));
    return words.isEmpty() ? defaultOptOutKeywords() : words;
}

QStringList Settings::defaultOptOutKeywords() {
    QStringList words;
    for (const std::u16string& w : sms::defaultOptOutKeywords()) {
        words.append(QString::fromStdU16String(w));
    }
    return words;
}
void Settings::setOptOutKeywords(const QStringList& keywords) {
    write(kKeywordsKey, keywords.join(QStringLiteral(", ")));
}

}  // namespace app
