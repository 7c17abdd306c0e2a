// The port selection dialog on the offscreen platform, alone and as the port's prompt.
#include "app/com_select_form.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>

#include "serial/com_port.h"
#include "serial/serial_exceptions.h"
#include "serial/tests/serial_test_support.h"

namespace app {
namespace {

TComSelectForm::Probe present(std::set<int> ports) {
    return [ports](int n) { return ports.contains(n); };
}

TEST(ComSelectForm, ListsThePortsFoundWithTheFirstSelected) {
    std::vector<int> asked;
    TComSelectForm form(nullptr, [&](int n) {
        asked.push_back(n);
        return n == 3 || n == 12 || n == 51;
    });
    ASSERT_EQ(form.PortsComboBox->count(), 2);  // nothing above 50 is asked for
    EXPECT_EQ(form.PortsComboBox->itemText(0), "COM3");
    EXPECT_EQ(form.PortsComboBox->itemText(1), "COM12");
    EXPECT_EQ(asked.size(), 50u);
    EXPECT_EQ(form.PortsComboBox->currentIndex(), 0);
    EXPECT_EQ(form.SelectedPortNumber(), 3);
    form.PortsComboBox->setCurrentIndex(1);
    EXPECT_EQ(form.SelectedPortNumber(), 12);
    EXPECT_FALSE(form.PortsComboBox->isEditable());
    EXPECT_TRUE(form.OkBtn->isEnabled());
    EXPECT_TRUE(form.OkBtn->isDefault());

    EXPECT_EQ(form.windowTitle(), "Select Port");
    EXPECT_EQ(form.size(), QSize(220, 131));
    EXPECT_EQ(form.Label1->text(), "The configured serial port is not valid.");
    EXPECT_EQ(form.Label2->text(), "Please choose another port.");
    EXPECT_EQ(form.Bevel1->geometry(), QRect(8, 8, 201, 42));
    EXPECT_EQ(form.OkBtn->geometry(), QRect(8, 95, 85, 27));
    EXPECT_EQ(form.AbortBtn->geometry(), QRect(124, 95, 85, 27));
    EXPECT_EQ(form.AbortBtn->text(), "Cancel");
}

TEST(ComSelectForm, EveryTextFitsItsControl) {
    TComSelectForm form(nullptr, present({50}));
    form.show();
    const QRect inside = form.Bevel1->geometry().adjusted(1, 1, -1, -1);
    for (QLabel* label : {form.Label1, form.Label2}) {
        SCOPED_TRACE(label->text().toStdString());
        const QFontMetrics metrics(label->font());
        const QRect text(label->pos(),
                         QSize(metrics.horizontalAdvance(label->text()), metrics.height()));
        EXPECT_TRUE(inside.contains(text)) << text.right() << " past " << inside.right();
        EXPECT_LE(text.width(), label->width());
    }
    for (QPushButton* button : {form.OkBtn, form.AbortBtn}) {
        EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()),
                  button->width() - 12);
    }
    // "COM50", the widest entry, beside the drop-down arrow.
    EXPECT_LE(QFontMetrics(form.PortsComboBox->font()).horizontalAdvance("COM50"),
              form.PortsComboBox->width() - 30);
    EXPECT_EQ(form.font().pixelSize(), 11);
}

TEST(ComSelectForm, WithNoPortOnlyCancelIsLeft) {
    TComSelectForm form(nullptr, present({}));
    EXPECT_EQ(form.PortsComboBox->count(), 0);
    EXPECT_FALSE(form.OkBtn->isEnabled());
    EXPECT_TRUE(form.AbortBtn->isEnabled());
    EXPECT_EQ(form.SelectedPortNumber(), 0);
}

// Clicks a button of the dialog once it is showing.
void clickWhenShown(QPushButton* TComSelectForm::*button, int choose = -1) {
    QTimer::singleShot(0, [=] {
        auto* form = dynamic_cast<TComSelectForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        if (choose >= 0) {
            form->PortsComboBox->setCurrentIndex(choose);
        }
        (form->*button)->click();
    });
}

TEST(ComSelectForm, AsThePortsPromptCancelRaisesAndOkTakesThePort) {
    serial::testing::PortMap map{{{12, "/dev/toplusms-no-such-port"}}};
    ComSelectPrompt prompt(present({3, 12}));
    serial::setPortPrompt(&prompt);
    serial::TComPort port;
    port.SetAutoOpen(false);

    clickWhenShown(&TComSelectForm::AbortBtn);
    EXPECT_THROW(port.SetOpen(true), serial::ENoPortSelected);
    EXPECT_EQ(port.ComNumber(), 0);
    EXPECT_FALSE(port.Open());

    clickWhenShown(&TComSelectForm::OkBtn, 1);
    EXPECT_THROW(port.SetOpen(true), serial::EBadId);  // the chosen port is opened
    EXPECT_EQ(port.ComNumber(), 12);
    serial::setPortPrompt(nullptr);
}

}  // namespace
}  // namespace app
