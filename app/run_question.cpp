#include "app/run_question.h"

#include <algorithm>

#include "app/main_window.h"
#include "sms/message_parts.h"

namespace app {
namespace {

// A part takes the phone and the network a few seconds to accept; the pause comes on top.
constexpr std::int64_t kSecondsPerPart = 3;
constexpr int kTextStartLength = 60;

QString oneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

}  // namespace

RunQuestion planRunQuestion(int recipients, const QString& text, bool turkishSevenBit,
                            int pauseSeconds) {
    RunQuestion q;
    q.recipients = recipients;
    sms::EncodeOptions options;
    options.TurkishTables = turkishSevenBit;
    q.partsPerMessage =
        sms::PlanMessage(text.toStdU16String(), sms::SmsCoding::Auto, options).Parts;
    q.totalSms = std::int64_t(recipients) * q.partsPerMessage;
    const QString line = oneLine(text);
    q.textStart = line.size() > kTextStartLength
                      ? line.left(kTextStartLength).trimmed() + QStringLiteral("…")
                      : line;
    q.placeholder = text.trimmed() == kMessagePlaceholder;
    q.pauseSeconds = pauseSeconds;
    // The run pauses after every message but the last.
    q.seconds = std::int64_t(std::max(recipients - 1, 0)) * std::max(pauseSeconds, 0) +
                q.totalSms * kSecondsPerPart;
    return q;
}

QString RunQuestion::text() const {
    QString t = QStringLiteral(
                    "%1 kişiye %2 parçalı mesaj gönderilecek (toplam %3 SMS). "
                    "Başlatılsın mı?")
                    .arg(recipients)
                    .arg(partsPerMessage)
                    .arg(totalSms);
    t += QStringLiteral("\n\nMesaj: \"%1\"").arg(textStart);
    if (placeholder) {
        t += QStringLiteral(
            "\nDikkat: bu, mesaj kutusunun ilk metnidir; kendi mesajınız yazılmamış. "
            "Başlatırsanız herkese bu metin gider.");
    }
    t += QStringLiteral("\nTahmini süre: %1").arg(durationText(seconds));
    t += pauseSeconds > 0 ? QStringLiteral(" (iki gönderim arası %1 saniye)").arg(pauseSeconds)
                          : QStringLiteral(" (gönderimler arası bekleme yok)");
    for (const QString& note : notes) {
        t += QLatin1Char('\n') + note;
    }
    return t;
}

QString durationText(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 1);
    if (seconds < 60) {
        return QStringLiteral("yaklaşık %1 saniye").arg(seconds);
    }
    const std::int64_t minutes = (seconds + 30) / 60;
    if (minutes < 60) {
        return QStringLiteral("yaklaşık %1 dakika").arg(minutes);
    }
    const std::int64_t hours = minutes / 60;
    if (hours < 24) {
        const std::int64_t rest = minutes % 60;
        return rest == 0 ? QStringLiteral("yaklaşık %1 saat").arg(hours)
                         : QStringLiteral("yaklaşık %1 saat %2 dakika").arg(hours).arg(rest);
    }
    const std::int64_t days = hours / 24;
    const std::int64_t rest = hours % 24;
    return rest == 0 ? QStringLiteral("yaklaşık %1 gün").arg(days)
                     : QStringLiteral("yaklaşık %1 gün %2 saat").arg(days).arg(rest);
}

}  // namespace app
