#include "app/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace app {
namespace {

bool isSet(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
}

bool wantsScreenshot(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            break;
        }
        if (std::strcmp(argv[i], "--screenshot") == 0 ||
            std::strncmp(argv[i], "--screenshot=", 13) == 0) {
            return true;
        }
    }
    return false;
}

// A message Qt gave while the window system started, kept to be passed on later.
struct HeldMessage {
    QtMsgType type;
    std::string category;
    std::string text;
};

// Only touched on the main thread while the application object is being made.
QtMessageHandler g_previousHandler = nullptr;
std::vector<HeldMessage> g_held;

void holdingHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        g_held.push_back({type, context.category ? context.category : "", text.toStdString()});
        return;
    }
    // The reason Qt printed first ("could not connect to display") says more than the
    // fatal text about plugins that follows it.
    std::string reason = text.section(QLatin1Char('\n'), 0, 0).toStdString();
    for (const HeldMessage& m : g_held) {
        if (m.category.rfind("qt.qpa", 0) == 0) {
            reason = m.text.substr(0, m.text.find('\n'));
            break;
        }
    }
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "toplusms: the window cannot open (DISPLAY=%s): %s\n",
                 display ? display : "", reason.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

std::optional<std::string> choosePlatform(int argc, char** argv) {
    if (isSet("QT_QPA_PLATFORM")) {
        return std::nullopt;
    }
    if (wantsScreenshot(argc, argv)) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return std::nullopt;
    }
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
        return "toplusms: no display to open the window on (neither DISPLAY nor "
               "WAYLAND_DISPLAY is set); start it in a desktop session, or use "
               "--screenshot DIR";
    }
    return std::nullopt;
}

DisplayStartGuard::DisplayStartGuard() {
    g_held.clear();
    g_previousHandler = qInstallMessageHandler(holdingHandler);
}

DisplayStartGuard::~DisplayStartGuard() {
    qInstallMessageHandler(g_previousHandler);
    for (const HeldMessage& m : g_held) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category.c_str());
        qt_message_output(m.type, context, QString::fromStdString(m.text));
    }
    g_held.clear();
}

QTranslator* installQtTranslations(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_tr"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

QString userDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/toplusms");
}

bool enterFolder(const QString& folder, QString* error) {
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    if (!QDir::setCurrent(folder)) {
        *error = QStringLiteral("cannot work in the folder %1").arg(folder);
        return false;
    }
    return true;
}

}  // namespace app
