#include "app/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <utility>

namespace app {
namespace {

constexpr const char* kPortKey = "port";
constexpr const char* kBaudKey = "baud";
constexpr const char* kPauseKey = "pause";
constexpr const char* kTurkishKey = "turkish7bit";

QString defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/toplusms/toplusms.conf");
}

int intOr(const QString& text, int fallback) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : fallback;
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
    return value.isValid() ? value.toString() : fallback;
}

int Settings::readInt(const char* key, int fallback) const {
    return intOr(readText(key, QString()), fallback);
}

void Settings::write(const char* key, const QString& value) {
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSettings file(m_path, QSettings::IniFormat);
    file.setValue(QLatin1String(key), value);
    file.sync();
}

QString Settings::port() const {
    return readText(kPortKey, QStringLiteral("Com5"));
}
void Settings::setPort(const QString& port) {
    write(kPortKey, port);
}

int Settings::baud() const {
    return readInt(kBaudKey, 115200);
}
void Settings::setBaud(int baud) {
    write(kBaudKey, QString::number(baud));
}

int Settings::pauseSeconds() const {
    return readInt(kPauseKey, 30);
}
void Settings::setPauseSeconds(int seconds) {
    write(kPauseKey, QString::number(seconds));
}

bool Settings::turkishSevenBit() const {
    const QString text = readText(kTurkishKey, QString()).trimmed().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1");
}
void Settings::setTurkishSevenBit(bool on) {
    write(kTurkishKey, on ? QStringLiteral("true") : QStringLiteral("false"));
}

}  // namespace app
