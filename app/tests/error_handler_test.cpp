#include "app/error_handler.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "app/tests/fake_asker.h"

namespace app {
namespace {

TEST(ErrorHandler, AddsAFullStopOnlyAfterCharactersSortingAfterIt) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Error encoding PDU", "Error encoding PDU."},
        {"Comport Yok!", "Comport Yok!"},
        {"'abc' is not a valid integer value", "'abc' is not a valid integer value."},
        {"Zaman Aşımı", "Zaman Aşımı."},
        {"Done.", "Done."},
        {"(x)", "(x)"},
        {"Port 5", "Port 5."},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorBoxText(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown))
            << c.message;
    }
}

TEST(ErrorHandler, ShowsTheErrorInAnErrorBoxTitledWithTheApplicationTitleAndGoesOn) {
    FakeAsker asker;
    bool after = false;
    runGuarded(asker, nullptr, [] { throw std::runtime_error("Error encoding PDU"); });
    runGuarded(asker, nullptr, [&] { after = true; });
    ASSERT_EQ(asker.told.size(), 1u);
    EXPECT_EQ(asker.told[0].title, QStringLiteral("TARVEL Toplu Sms 1.0.1"));
    EXPECT_EQ(asker.told[0].text, QStringLiteral("Error encoding PDU."));
    EXPECT_EQ(asker.told[0].icon, Asker::Icon::Error);
    EXPECT_TRUE(after);
}

TEST(ErrorHandler, ReadsUtf8MessagesAndFallsBackToCodePage1254) {
    EXPECT_EQ(exceptionText(std::runtime_error("Bağlantı")), QStringLiteral("Bağlantı"));
    // "Bağlantı" in Windows-1254 bytes is not UTF-8.
    EXPECT_EQ(exceptionText(std::runtime_error("Ba\xF0lant\xFD")), QStringLiteral("Bağlantı"));
}

}  // namespace
}  // namespace app
