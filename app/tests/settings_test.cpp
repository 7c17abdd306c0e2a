#include "app/settings.h"

#include <QComboBox>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "app/tests/fake_asker.h"
#include "app/window_settings.h"

namespace app {
namespace {

class SettingsFile : public testing::Test {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("sub/toplusms.conf")); }
    void writeRaw(const std::string& bytes) const {
        QDir().mkpath(m_dir.filePath(QStringLiteral("sub")));
        std::ofstream(path().toStdString(), std::ios::binary) << bytes;
        // Qt keeps a file's settings in memory while its time stamp and size stay the
        // same: each write gets a time of its own, so the next reader sees it.
        static int writes = 0;
        std::filesystem::last_write_time(
            path().toStdString(),
            std::filesystem::file_time_type::clock::now() + std::chrono::seconds(++writes));
    }
    TMainForm& makeForm() {
        MainFormOptions options;
        options.listFile = (m_dir.path() + QStringLiteral("/rehber.txt")).toStdString();
        options.asker = &m_asker;
        m_form = std::make_unique<TMainForm>(options);
        return *m_form;
    }

    QTemporaryDir m_dir;
    FakeAsker m_asker;
    std::unique_ptr<TMainForm> m_form;
};

TEST_F(SettingsFile, BrokenOrOddFilesGiveThePresets) {
    const std::string cases[] = {
        "",                                                    // empty
        std::string("\x00\xff\x01[[[\n=\xfe\n", 10),           // not text at all
        "[General\nport=Com7\n",                               // unclosed section
        "port=Com0\nbaud=fast\npause=-4\n",                    // values of no use
        "port=Com51\nbaud=0\npause=x\n",                       // out of range
        "port=Com05\nbaud=-9600\n",                            // a port no box names
        "port=/dev/ttyACM0\nbaud=1e5\nturkish7bit=perhaps\n",  // the wrong kind
    };
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        writeRaw(bytes);
        const Settings s(path());
        EXPECT_EQ(s.port(), "Com5");
        EXPECT_EQ(s.baud(), 115200);
        EXPECT_EQ(s.pauseSeconds(), 30);
        EXPECT_FALSE(s.turkishSevenBit());
        EXPECT_TRUE(s.deliveryReports());
        EXPECT_EQ(s.optOutKeywords(), Settings::defaultOptOutKeywords());
    }
}

// The opt-out words as the window saves them and as a user may write them by hand; a
// list left without a word gives the defaults, never none.
TEST_F(SettingsFile, OptOutKeywordsKeepWhatWasWritten) {
    const std::pair<std::string, QStringList> cases[] = {
        {"optOutKeywords=RET, STOP\n", {"RET", "STOP"}},  // unquoted: a list to Qt
        {"optOutKeywords=\"İPTAL;  BİTİR ; İPTAL\"\n", {"İPTAL", "BİTİR"}},
        {"optOutKeywords=\" , ,\"\n", Settings::defaultOptOutKeywords()},
        {"deliveryReports=false\n", Settings::defaultOptOutKeywords()},
    };
    for (const auto& [bytes, words] : cases) {
        SCOPED_TRACE(bytes);
        writeRaw(bytes);
        EXPECT_EQ(Settings(path()).optOutKeywords(), words);
    }
    EXPECT_FALSE(Settings(path()).deliveryReports());
    Settings(path()).setOptOutKeywords({"RET", "Bana yazma"});
    EXPECT_EQ(Settings(path()).optOutKeywords(), QStringList({"RET", "Bana yazma"}));
    EXPECT_FALSE(Settings(path()).deliveryReports());  // the other values stay
}

TEST_F(SettingsFile, FirstRunKeepsThePresetsAndTheLastChoicesComeBack) {
    {
        TMainForm& form = makeForm();
        applySettings(form, Settings(path()));  // no file yet
        EXPECT_EQ(form.ComboBox1->currentText(), "Com5");
        EXPECT_EQ(form.ComboBox1->currentIndex(), 4);
        EXPECT_EQ(form.ComboBox2->currentText(), "115200");
        EXPECT_EQ(form.edtSure->value(), 30);

        form.ComboBox1->setCurrentIndex(2);
        form.ComboBox2->setCurrentText(QStringLiteral("9600"));
        form.edtSure->setValue(7);
        Settings s(path());
        s.setTurkishSevenBit(true);
        storeSettings(form, s);
    }
    TMainForm& next = makeForm();
    applySettings(next, Settings(path()));
    EXPECT_EQ(next.ComboBox1->currentText(), "Com3");
    EXPECT_EQ(next.ComboBox1->currentIndex(), 2);
    EXPECT_EQ(next.ComboBox2->currentText(), "9600");
    EXPECT_EQ(next.edtSure->value(), 7);
    EXPECT_TRUE(Settings(path()).turkishSevenBit());  // other values stay in the same file

    // A port typed beyond the list, and a speed box emptied: the port is kept as typed,
    // the speed as it was remembered.
    next.ComboBox1->setCurrentText(QStringLiteral("com45"));
    next.ComboBox2->setCurrentText(QString());
    Settings s(path());
    storeSettings(next, s);
    EXPECT_EQ(s.port(), "Com45");
    EXPECT_EQ(s.baud(), 9600);
    TMainForm& third = makeForm();
    applySettings(third, s);
    EXPECT_EQ(third.ComboBox1->currentText(), "Com45");
}

TEST_F(SettingsFile, ABrokenFileIsSetAsideAndTheNewChoiceRemembered) {
    writeRaw("[General\nport=Com7\n");
    Settings s(path());
    s.setPort(QStringLiteral("Com9"));
    EXPECT_EQ(Settings(path()).port(), "Com9");
    EXPECT_TRUE(QFile::exists(path() + QStringLiteral(".bad")));
}

TEST_F(SettingsFile, DailyLimitsAreKeptPerImei) {
    {
        Settings s(path());
        s.setTurkishSevenBit(true);
        s.setDailyLimit(QStringLiteral("490154203237511"), 50);
        s.setDailyLimit(QStringLiteral("490154203237522"), 120);
        s.setDailyLimit(QStringLiteral("490154203237522"), 0);  // taken back
        s.setDailyLimit(QString(), 70);                         // no IMEI: nothing kept
        s.setDailyLimit(QStringLiteral("3569/../x"), -5);       // odd text, negative count
    }
    const Settings s(path());
    EXPECT_EQ(s.dailyLimit(QStringLiteral("490154203237511")), 50);
    EXPECT_EQ(s.dailyLimit(QStringLiteral("490154203237522")), 0);
    EXPECT_EQ(s.dailyLimit(QStringLiteral("490154203237533")), 0);  // never set
    EXPECT_EQ(s.dailyLimit(QString()), 0);
    EXPECT_EQ(s.dailyLimit(QStringLiteral("3569")), 0);
    EXPECT_TRUE(s.turkishSevenBit());  // the other values stay
    EXPECT_TRUE(s.extraPhones().empty());
    Settings(path()).setExtraPhones({{"Com6", 115200}, {"Com45", 9600}});
    EXPECT_EQ(Settings(path()).extraPhones(),
              (std::vector<Settings::PortChoice>{{"Com6", 115200}, {"Com45", 9600}}));
    writeRaw("extraPhones=Com6:115200 com7:19200 Com0:9600 Com8:fast Port9:9600 Com10\n");
    EXPECT_EQ(Settings(path()).extraPhones(),
              (std::vector<Settings::PortChoice>{{"Com6", 115200}, {"Com7", 19200}}));
    writeRaw("[dailyLimit]\n490154203237511=lots\n");
    EXPECT_EQ(Settings(path()).dailyLimit(QStringLiteral("490154203237511")), 0);
}

}  // namespace
}  // namespace app
