#include "app/port_hints.h"

#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/file.h>

#include <fstream>
#include <stdexcept>

#include "app/main_window.h"
#include "app/tests/fake_asker.h"
#include "platform/tests/pty_pair.h"

namespace app {
namespace {

class PortHintsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.ok());
        m_map = m_dir.filePath(QStringLiteral("ports.conf")).toStdString();
        m_notPort = m_dir.filePath(QStringLiteral("not-a-port")).toStdString();
        std::ofstream(m_notPort) << "x\n";
        std::ofstream(m_map) << "Com3=" << m_pty.path() << "\nCom4=" << m_notPort << "\n";
        ::setenv("TOPLUSMS_PORTS", m_map.c_str(), 1);
        MainFormOptions options;
        options.listFile = m_dir.filePath(QStringLiteral("rehber.txt")).toStdString();
        options.asker = &m_asker;
        m_form = std::make_unique<TMainForm>(options);
    }
    void TearDown() override { ::unsetenv("TOPLUSMS_PORTS"); }

    QTemporaryDir m_dir;
    platform::testing::PtyPair m_pty;
    std::string m_map;
    std::string m_notPort;
    FakeAsker m_asker;
    std::unique_ptr<TMainForm> m_form;
};

TEST_F(PortHintsTest, ItemsKeepTheirNamesAndTellTheirDevices) {
    PortHints hints(*m_form);
    QComboBox* box = m_form->ComboBox1;
    ASSERT_EQ(box->count(), 40);
    for (int i = 0; i < box->count(); ++i) {
        EXPECT_EQ(box->itemText(i), QStringLiteral("Com%1").arg(i + 1));
    }
    EXPECT_EQ(box->itemData(2, Qt::ToolTipRole).toString(), QString::fromStdString(m_pty.path()));
    EXPECT_EQ(box->itemData(4, Qt::ToolTipRole).toString(), "/dev/ttyACM0");
    EXPECT_EQ(hints.label()->text(), "/dev/ttyACM0");  // Com5, the preset
    box->setCurrentIndex(2);
    EXPECT_EQ(hints.label()->text(), QString::fromStdString(m_pty.path()));
    EXPECT_EQ(box->toolTip(), QString::fromStdString(m_pty.path()));
    // The label sits under the box, clear of the speed choice below.
    EXPECT_GE(hints.label()->y(), box->y() + box->height());
    EXPECT_LE(hints.label()->y() + hints.label()->height(), m_form->Label13->y());
}

TEST_F(PortHintsTest, AFailedConnectSaysWhyWhateverTheSerialLayerSaid) {
    int calls = 0;
    m_form->hooks().connectClicked = [&] {
        ++calls;
        throw std::runtime_error("ie_Open");
    };
    {
        PortHints hints(*m_form);
        m_form->ComboBox1->setCurrentIndex(3);  // Com4: a regular file
        EXPECT_THROW(m_form->hooks().connectClicked(), std::runtime_error);
        EXPECT_EQ(m_form->statusPanel(1), QStringLiteral("Com4 (%1) bir seri port değil, "
                                                         "kullanılamaz: ports.conf dosyasındaki "
                                                         "satırını düzeltin.")
                                              .arg(QString::fromStdString(m_notPort)));

        // Held by another open of the device: the serial layer's message stays in the
        // box, the status bar says who has it.
        const int held = ::open(m_pty.path().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
        m_form->ComboBox1->setCurrentIndex(2);
        EXPECT_THROW(m_form->hooks().connectClicked(), std::runtime_error);
        ::close(held);
        EXPECT_TRUE(m_form->statusPanel(1).startsWith(
            QStringLiteral("Com3 (%1) başka bir program tarafından kullanılıyor")
                .arg(QString::fromStdString(m_pty.path()))))
            << m_form->statusPanel(1).toStdString();
    }
    // Gone with the hints: the hook is the one it wrapped.
    EXPECT_THROW(m_form->hooks().connectClicked(), std::runtime_error);
    EXPECT_EQ(calls, 3);
}

}  // namespace
}  // namespace app
