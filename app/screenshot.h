#pragma once
// Pictures of the main window's tabs, for review and for the README.

#include <QString>
#include <QStringList>

namespace app {

class TMainForm;

// Renders each tab of the window, as it looks when first selected, to a PNG file in
// dir (created when missing), without putting the window on the screen. Returns the
// files written; on failure *error says why and the list holds what was done.
QStringList saveTabScreenshots(TMainForm& form, const QString& dir, QString* error);

}  // namespace app
