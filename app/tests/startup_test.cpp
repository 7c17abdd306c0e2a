#include "app/startup.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>

namespace app {
namespace {

TEST(QtTranslations, StandardButtonsAndFileDialogsSpeakTurkish) {
    const std::unique_ptr<QTranslator> translator(
        installQtTranslations(*QCoreApplication::instance()));
    ASSERT_NE(translator, nullptr) << "qt6-translations-l10n is not installed";
    QMessageBox box(QMessageBox::Question, QString(), QString(),
                    QMessageBox::Save | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("İptal"));
    EXPECT_EQ(box.button(QMessageBox::Save)->text(), QStringLiteral("Kaydet"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"),
              QStringLiteral("Arama konumu:"));
}

}  // namespace
}  // namespace app
