#pragma once
// What main() settles before and right after the application object exists: which
// window system to use, a clear word when there is none, and the working folder of a
// program started from the desktop menu.

#include <QString>

class QCoreApplication;
class QTranslator;

#include <optional>
#include <string>

namespace app {

// Decides the Qt platform from the command line and the environment, before the
// application object is made. A screenshot run needs no display: it takes the offscreen
// platform unless QT_QPA_PLATFORM names one. Any other run without QT_QPA_PLATFORM,
// DISPLAY or WAYLAND_DISPLAY gets the one-line reason it cannot start.
std::optional<std::string> choosePlatform(int argc, char** argv);

// While it lives, a fatal error of the window system (a display that cannot be reached)
// ends the program with one line and exit code 1, where Qt would abort and dump core.
// Qt's own warnings of that moment are held back and passed on when the start succeeds.
class DisplayStartGuard {
public:
    DisplayStartGuard();
    ~DisplayStartGuard();
    DisplayStartGuard(const DisplayStartGuard&) = delete;
    DisplayStartGuard& operator=(const DisplayStartGuard&) = delete;
};

// Makes Qt's own texts Turkish: the file dialogs and the standard buttons of message
// boxes (Qt's translations, installed with Debian's qt6-translations-l10n). The
// translator belongs to `application`; null when the translations are not installed, and
// Qt then speaks English.
QTranslator* installQtTranslations(QCoreApplication& application);

// The working folder of a program started from the desktop menu:
// ~/.local/share/toplusms ($XDG_DATA_HOME honoured).
QString userDataFolder();
// Creates `folder` when missing and makes it the working folder; false with the
// reason in *error.
bool enterFolder(const QString& folder, QString* error);

}  // namespace app
