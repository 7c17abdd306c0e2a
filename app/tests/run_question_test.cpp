// The question before a bulk run: its counts come from the encoder, its duration from the
// pause, and the editor's initial text is named as such.
#include <gtest/gtest.h>

#include "app/bulk_progress_panel.h"
#include "app/main_window.h"
#include "app/run_question.h"

namespace app {
namespace {

TEST(RunQuestion, CountsPartsAndSmsAsTheEncoderSplitsTheText) {
    struct Case {
        const char* name;
        int recipients;
        QString text;
        bool turkish;
        int parts;
    };
    const Case cases[] = {
        {"160 GSM characters fit one part", 3, QString(160, QLatin1Char('a')), false, 1},
        {"161 take two", 3, QString(161, QLatin1Char('a')), false, 2},
        {"a Turkish letter without the tables: UCS-2", 2, QString(100, QChar(0x0131)), false, 2},
        {"the same with the Turkish tables: 7 bit", 2, QString(100, QChar(0x0131)), true, 1},
    };
    for (const Case& c : cases) {
        const RunQuestion q = planRunQuestion(c.recipients, c.text, c.turkish, 30);
        EXPECT_EQ(q.partsPerMessage, c.parts) << c.name;
        EXPECT_EQ(q.totalSms, c.recipients * c.parts) << c.name;
        EXPECT_TRUE(q.text().startsWith(QStringLiteral("%1 kişiye %2 parçalı mesaj gönderilecek "
                                                       "(toplam %3 SMS). Başlatılsın mı?\n")
                                            .arg(c.recipients)
                                            .arg(c.parts)
                                            .arg(c.recipients * c.parts)))
            << c.name << ": " << q.text().toStdString();
    }
}

TEST(RunQuestion, ShowsTheStartOfTheTextTheDurationAndThePlaceholder) {
    const RunQuestion q = planRunQuestion(
        2000, QStringLiteral("Sayın müşterimiz,\r\nkampanyamız ") + QString(80, 'x'), false, 30);
    EXPECT_FALSE(q.placeholder);
    // One line, cut after 60 characters.
    EXPECT_TRUE(q.text().contains(QStringLiteral("Mesaj: \"Sayın müşterimiz, kampanyamız xxx")));
    EXPECT_TRUE(q.text().contains(QStringLiteral("x…\"")));
    // 1999 pauses of 30 s, and 2 parts (UCS-2) of about 3 s each per person.
    EXPECT_TRUE(q.text().contains(
        QStringLiteral("Tahmini süre: yaklaşık 20 saat (iki gönderim arası 30 saniye)")))
        << q.text().toStdString();

    const RunQuestion initial = planRunQuestion(1, kMessagePlaceholder, false, 0);
    EXPECT_TRUE(initial.placeholder);
    EXPECT_TRUE(initial.text().contains(QStringLiteral("mesaj kutusunun ilk metnidir")));
    EXPECT_TRUE(initial.text().contains(QStringLiteral("(gönderimler arası bekleme yok)")));
}

TEST(RunQuestion, DurationsAndTimeLeftReadAsWords) {
    const std::pair<std::int64_t, const char*> durations[] = {
        {0, "yaklaşık 1 saniye"},
        {45, "yaklaşık 45 saniye"},
        {89, "yaklaşık 1 dakika"},
        {3600, "yaklaşık 1 saat"},
        {3 * 3600 + 300, "yaklaşık 3 saat 5 dakika"},
        {90000, "yaklaşık 1 gün 1 saat"},
    };
    for (const auto& [seconds, text] : durations) {
        EXPECT_EQ(durationText(seconds), QString::fromUtf8(text)) << seconds;
    }
    EXPECT_EQ(timeLeftText(0, 10, 0), QStringLiteral("Kalan süre: hesaplanıyor"));
    // 2 served in 60 s: 8 more take 4 minutes at that pace.
    EXPECT_EQ(timeLeftText(2, 10, 60000), QStringLiteral("Kalan süre: yaklaşık 4 dakika"));
    EXPECT_EQ(timeLeftText(10, 10, 60000), QString());
}

}  // namespace
}  // namespace app
