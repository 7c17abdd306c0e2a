#pragma once
// Who made the program, as the "Hakkında" tab shows it and where its web and mail
// labels lead. Kept in this one place; the numbers are fictitious and the domain is
// reserved for examples.

#include <QString>

namespace app::maker {

inline const QString kRightsLine = QStringLiteral("Tüm hakları Tarvel Yazılım'a aittir.");
inline const QString kTelephone = QStringLiteral("+90 212 555 00 00");
inline const QString kMobile = QStringLiteral("+90 555 555 00 00");
inline const QString kSupportMail = QStringLiteral("destek@example.com");
inline const QString kWebAddress = QStringLiteral("https://www.example.com/");
// 250 x 100 PNG, drawn for this program.
inline const QString kLogoResource = QStringLiteral(":/toplusms/logo.png");

}  // namespace app::maker
