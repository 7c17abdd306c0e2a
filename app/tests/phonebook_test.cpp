// The phonebook import through the window's buttons, against the simulated phone.
#include <QColor>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "app/main_window.h"
#include "app/phone_controller.h"
#include "app/phonebook_buttons.h"
#include "app/qt_message_queue.h"
#include "app/tests/fake_asker.h"
#include "app/tests/simulated_phone.h"
#include "platform/tests/scratch_folder.h"

namespace app {
namespace {

namespace fs = std::filesystem;

phonesim::Config phonebooks() {
    phonesim::Config c;
    c.phonebooks = {
        {"ME",
         {8,
          {{1, "+905321112233", 145, "Ali, Veli"},
           {2, "02125556677", 129, "Ofis, santral, dahili 12"},
           {3, "905337778899", 145, "Mehmet"},  // international without its '+'
           {5, "05441234567", 129, "Eve"}}}},   // after a gap at 4
        {"SM", {5, {}}},                        // empty
    };
    return c;
}

class Phonebook : public ::testing::Test {
protected:
    void SetUp() override {
        MainFormOptions options;
        options.listFile = m_dir / "rehber.txt";
        options.asker = &asker;
        form = std::make_unique<TMainForm>(options);
        controller = std::make_unique<PhoneController>(*form, queue);
        buttons = std::make_unique<PhonebookButtons>(*form, *controller);
        form->ListBox1->addItem(QStringLiteral("eski"));
    }
    void TearDown() override {
        buttons.reset();
        controller.reset();
        form.reset();
        sim.reset();
    }
    void connect(phonesim::Config config) {
        sim = std::make_unique<SimulatedPhone>(std::move(config));
        ASSERT_TRUE(sim->start());
        form->btnOpen->click();
        ASSERT_TRUE(controller->dialogue().state().IsConnected);
    }
    // The poll timer's tick, without waiting its 5 s.
    void tick() { form->hooks().refreshTick(); }
    QStringList entries() const {
        QStringList list;
        for (int i = 0; i < form->ListBox1->count(); ++i) {
            list << form->ListBox1->item(i)->text();
        }
        return list;
    }

    QtMessageQueue queue;
    FakeAsker asker;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<PhoneController> controller;
    std::unique_ptr<PhonebookButtons> buttons;
    std::unique_ptr<SimulatedPhone> sim;

private:
    platform::testing::ScratchFolder m_scratch{"phonebook"};
    const fs::path m_dir = m_scratch.path();
};

TEST_F(Phonebook, ReadsEveryLocationOfTheRangePastAGap) {
    connect(phonebooks());
    asker.answers = {true};
    form->btnME->click();
    ASSERT_EQ(asker.asked.size(), 1u);  // the list was not empty
    EXPECT_TRUE(asker.asked[0].text.contains("telefon rehberindeki"));
    EXPECT_EQ(form->statusPanel(2), "Telefon rehberi okunuyor !");
    EXPECT_EQ(entries(), QStringList{"eski"});  // until the read has ended
    EXPECT_TRUE(controller->dialogue().state().PhonebookReading);
    EXPECT_TRUE(form->tiRefresh->isActive());
    // The range reply went through the reply parser, which leaves the lamp red.
    EXPECT_EQ(form->lamp(), QColor(255, 0, 0));
    tick();
    EXPECT_EQ(entries(),
              (QStringList{"+905321112233", "02125556677", "+905337778899", "05441234567"}));
    EXPECT_EQ(form->Label18->text(), "Toplam Telefon No: 4");
    EXPECT_EQ(form->statusPanel(2), "4 numara alındı");
    EXPECT_FALSE(controller->dialogue().state().PhonebookReading);
    EXPECT_EQ(controller->dialogue().state().PhonebookIndex, 0);
    EXPECT_TRUE(form->tiRefresh->isActive());
    // Locations 1 to 8 were asked for, none beyond.
    const auto commands = sim->sim.commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "AT+CPBR=8"), commands.end());
    EXPECT_EQ(std::find(commands.begin(), commands.end(), "AT+CPBR=9"), commands.end());

    // A later tick is the status poll's again.
    tick();
    EXPECT_EQ(entries().size(), 4);
}

TEST_F(Phonebook, AskedNotToReplaceTheListNothingHappens) {
    connect(phonebooks());
    const std::size_t before = sim->sim.commands().size();
    form->btnSM->click();  // answered No
    EXPECT_EQ(asker.asked.size(), 1u);
    EXPECT_TRUE(asker.asked[0].text.contains("SIM kart rehberindeki"));
    EXPECT_EQ(sim->sim.commands().size(), before);
    EXPECT_EQ(entries(), QStringList{"eski"});
    EXPECT_FALSE(controller->dialogue().state().PhonebookReading);

    // An empty list is not asked about.
    form->ListBox1->clear();
    form->btnME->click();
    EXPECT_EQ(asker.asked.size(), 1u);
    EXPECT_TRUE(controller->dialogue().state().PhonebookReading);
}

TEST_F(Phonebook, EmptyPhonebookAndErrorsForEmptyLocations) {
    phonesim::Config config = phonebooks();
    config.faults.errorFor = {"AT+CPBR=4"};  // some phones refuse an empty location
    connect(config);
    asker.answers = {true};
    form->btnSM->click();
    tick();
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_EQ(form->Label18->text(), "Toplam Telefon No: 0");
    EXPECT_EQ(form->statusPanel(2), "0 numara alındı");

    form->btnME->click();
    tick();
    EXPECT_EQ(entries().size(), 4);
}

// A phone that misbehaves as real ones do: every entry it can give arrives.
TEST_F(Phonebook, AMisbehavingPhoneGivesEveryReadableEntry) {
    phonesim::Config config = phonebooks();
    config.phonebooks["ME"].entries.push_back({0, "05051112233", 129, "Sıfırıncı"});
    phonesim::Faults& f = config.faults;
    f.firstLocation = 0;              // locations 0 to 7
    f.rangeWithBlanks = true;         // "(0 - 7)"
    f.silentFor = {"AT+CPBR=2"};      // never answers: asked twice, then counted
    f.silentOnceFor = {"AT+CPBR=3"};  // answers when asked again
    f.urcBeforeEntry = {{0, "RING"}, {1, "^RSSI: 3"}, {5, "+CMTI: \"SM\",4"}};
    connect(config);
    controller->dialogue().setReplyLimitMs(300);
    asker.answers = {true};
    form->btnME->click();
    tick();
    EXPECT_EQ(entries(),
              (QStringList{"05051112233", "+905321112233", "+905337778899", "05441234567"}));
    EXPECT_EQ(form->statusPanel(2), "4 numara alındı, 1 konum okunamadı");
    EXPECT_TRUE(form->tiRefresh->isActive());
}

TEST_F(Phonebook, APhoneInUcs2) {
    for (const bool insisting : {false, true}) {
        SCOPED_TRACE(insisting ? "refuses to leave UCS2" : "leaves UCS2 when asked");
        phonesim::Config config = phonebooks();
        config.faults.ucs2 = true;
        config.faults.ucs2Insisting = insisting;
        connect(config);
        asker.answers = {true};
        form->btnME->click();
        tick();
        EXPECT_EQ(entries(),
                  (QStringList{"+905321112233", "02125556677", "+905337778899", "05441234567"}));
        form->btnOpen->click();  // disconnect
    }
}

TEST_F(Phonebook, ADisconnectEndsTheReadingAndLeavesTheList) {
    connect(phonebooks());
    // Unplugged after answering AT+CPBS, AT+CSCS, AT+CPBR=? and two locations.
    phonesim::Faults faults;
    faults.hangUpAfter = static_cast<int>(sim->sim.commands().size()) + 5;
    sim->sim.setFaults(faults);
    controller->dialogue().setReplyLimitMs(300);
    asker.answers = {true};
    form->btnME->click();
    tick();
    EXPECT_FALSE(controller->dialogue().state().PhonebookReading);
    EXPECT_EQ(entries(), QStringList{"eski"});
    EXPECT_EQ(form->statusPanel(2), "Telefon rehberi okunamadı, liste değişmedi");
    EXPECT_FALSE(form->tiRefresh->isActive());
}

TEST_F(Phonebook, ASecondClickStopsTheReadingAndStartsAnew) {
    connect(phonebooks());
    form->ListBox1->clear();
    form->btnME->click();
    // The SIM button clicked while the first location is being read.
    QTimer::singleShot(0, form.get(), [this] { form->btnSM->click(); });
    tick();
    EXPECT_EQ(entries(), QStringList{});
    // The new import runs once the window's events are processed.
    for (int i = 0; i < 500 && !controller->dialogue().state().PhonebookReading; ++i) {
        queue.waitAndPumpOne(5);
    }
    ASSERT_TRUE(controller->dialogue().state().PhonebookReading);  // the SIM's reading is due
    EXPECT_TRUE(form->tiRefresh->isActive());
    const auto commands = sim->sim.commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "AT+CPBS=\"SM\""), commands.end());
    tick();
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_EQ(form->statusPanel(2), "0 numara alındı");
}

// A SIM that refuses the range query, clicked during the phone's reading: the gauges
// must not freeze, and panel 2 must not go on saying a reading runs.
TEST_F(Phonebook, ASecondClickOnARefusingSimLeavesPollingOn) {
    connect(phonebooks());
    form->ListBox1->clear();
    form->btnME->click();
    ASSERT_TRUE(controller->dialogue().state().PhonebookReading);
    phonesim::Faults refusing;
    refusing.errorFor = {"AT+CPBR=?"};
    sim->sim.setFaults(refusing);
    QTimer::singleShot(0, form.get(), [this] { form->btnSM->click(); });
    tick();
    for (int i = 0; i < 500 && form->statusPanel(2) == "Telefon rehberi okunuyor !"; ++i) {
        queue.waitAndPumpOne(5);
    }
    EXPECT_FALSE(controller->dialogue().state().PhonebookReading);
    EXPECT_TRUE(form->tiRefresh->isActive());
    EXPECT_EQ(form->statusPanel(2), "Telefon rehberi okunamadı, liste değişmedi");
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(Phonebook, WithoutAConnectionTheButtonsDoNothing) {
    form->btnME->click();
    form->btnSM->click();
    EXPECT_EQ(entries(), QStringList{"eski"});
    EXPECT_TRUE(form->statusPanel(2).isEmpty());
}

}  // namespace
}  // namespace app
