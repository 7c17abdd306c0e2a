#include "app/error_handler.h"

#include <QStringDecoder>

#include <string>

#include "app/asker.h"
#include "platform/codepage_1254.h"

namespace app {

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) {
        return message + QLatin1Char('.');
    }
    return message;
}

QString exceptionText(const std::exception& e) {
    const std::string bytes = e.what();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(QByteArray::fromStdString(bytes));
    if (!utf8.hasError()) {
        return text;
    }
    const std::u16string wide = platform::cp1254::toUtf16(bytes);
    return QString::fromStdU16String(wide);
}

void showError(Asker& asker, QWidget* parent, const QString& message) {
    asker.tell(parent, kApplicationTitle, errorBoxText(message), Asker::Icon::Error);
}

void runGuarded(Asker& asker, QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        showError(asker, parent, exceptionText(e));
    }
}

}  // namespace app
