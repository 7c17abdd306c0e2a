// toplusms: sends SMS messages one by one and in bulk through a phone on a serial line.
//
//   toplusms                 the program
//   toplusms --demo          the program against the phone simulator (Com5)
//   toplusms --screenshot D  writes a picture of every tab to folder D and ends
//   toplusms --trace --log   also writes SERIAL.TRC and SERIAL.LOG when the port closes
//   toplusms --user-folder   works in ~/.local/share/toplusms (the menu entry starts it so)

#include <QApplication>
#include <QCommandLineParser>
#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/com_select_form.h"
#include "app/error_handler.h"
#include "app/extra_phones.h"
#include "app/list_imports.h"
#include "app/main_window.h"
#include "app/phone_controller.h"
#include "app/phone_finder.h"
#include "app/phonebook_buttons.h"
#include "app/port_hints.h"
#include "app/qt_message_queue.h"
#include "app/receive_controller.h"
#include "app/screenshot.h"
#include "app/send_controller.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/window_settings.h"
#include "serial/com_port.h"
#include "tools/phone-sim/port_link.h"
#include "tools/phone-sim/simulator.h"

namespace {

// Screenshots run unattended: no box may wait for an answer.
class ConsoleAsker : public app::Asker {
public:
    bool askYesNo(QWidget*, const QString&, const QString& text, Icon) override {
        std::fprintf(stderr, "%s -> No\n", qPrintable(text));
        return false;
    }
    void tell(QWidget*, const QString&, const QString& text, Icon) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
};

// The demonstration phone: a simulator on a pseudo-terminal that the port map names
// Com5, so the preset port reaches it. Every message it accepts is printed.
struct DemoPhone {
    QTemporaryDir folder;
    std::unique_ptr<phonesim::Simulator> simulator;

    bool start() {
        phonesim::Config config;
        // A phone whose network keeps its promise: every message asked for it gets a
        // delivery report a few seconds later, as the delivery column then shows.
        config.messaging.reports = phonesim::ReportOutcome::Delivered;
        config.messaging.reportDelayMs = 3000;
        config.onMessage = [](const phonesim::AcceptedMessage& m) {
            std::printf("demo phone: message to %s: %s\n", m.pdu.destination.c_str(),
                        m.pdu.text.c_str());
            std::fflush(stdout);
        };
        simulator = std::make_unique<phonesim::Simulator>(config);
        std::string error;
        if (!folder.isValid() || !simulator->start(&error)) {
            std::fprintf(stderr, "toplusms: the demonstration phone cannot start: %s\n",
                         error.c_str());
            return false;
        }
        const std::string map = folder.filePath(QStringLiteral("ports.conf")).toStdString();
        if (!phonesim::writePortMap(map, "Com5", simulator->slavePath())) {
            std::fprintf(stderr, "toplusms: cannot write %s\n", map.c_str());
            return false;
        }
        qputenv("TOPLUSMS_PORTS", QByteArray::fromStdString(map));
        std::printf("demo phone on %s as Com5\n", simulator->slavePath().c_str());
        std::fflush(stdout);
        return true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (const auto noDisplay = app::choosePlatform(argc, argv)) {
        std::fprintf(stderr, "%s\n", noDisplay->c_str());
        return 1;
    }
    std::unique_ptr<app::DisplayStartGuard> displayGuard =
        std::make_unique<app::DisplayStartGuard>();
    QApplication application(argc, argv);
    displayGuard.reset();
    QCoreApplication::setApplicationName(app::kApplicationTitle);
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    app::installQtTranslations(application);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Toplu SMS gönderme programı"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Write a PNG picture of every tab to <dir>."),
                                  QStringLiteral("dir"));
    QCommandLineOption demo(QStringLiteral("demo"),
                            QStringLiteral("Use the phone simulator behind Com5."));
    QCommandLineOption trace(
        QStringLiteral("trace"),
        QStringLiteral("Write every byte to SERIAL.TRC when the port closes."));
    QCommandLineOption log(
        QStringLiteral("log"),
        QStringLiteral("Write the serial events to SERIAL.LOG when the port closes."));
    parser.addOption(trace);
    parser.addOption(log);
    QCommandLineOption userFolder(
        QStringLiteral("user-folder"),
        QStringLiteral("Work in ~/.local/share/toplusms (created when missing), where "
                       "rehber.txt and the sent-message records are kept."));
    parser.addOption(screenshot);
    parser.addOption(demo);
    parser.addOption(userFolder);
    parser.process(application);
    serial::SetRunRecording(parser.isSet(trace), parser.isSet(log));

    if (parser.isSet(userFolder)) {
        QString error;
        if (!app::enterFolder(app::userDataFolder(), &error)) {
            std::fprintf(stderr, "toplusms: %s\n", qPrintable(error));
            return 1;
        }
    }

    // The user-interface thread's message queue: the serial layer's events reach the
    // window through it.
    app::QtMessageQueue queue;

    if (parser.isSet(screenshot)) {
        ConsoleAsker asker;
        app::MainFormOptions options;
        options.asker = &asker;
        app::TMainForm form(options);
        app::ListImports imports(form);  // its button under the list belongs in the pictures
        app::PortHints portHints(form);
        app::ExtraPhones extraPhones(form, queue, nullptr);
        app::PhoneFinder phoneFinder(form, &extraPhones);
        QString error;
        const QStringList files = app::saveTabScreenshots(form, parser.value(screenshot), &error);
        for (const QString& f : files) {
            std::printf("%s\n", qPrintable(f));
        }
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        return 0;
    }

    DemoPhone demoPhone;
    if (parser.isSet(demo) && !demoPhone.start()) {
        return 1;
    }

    // A port opened with no number asks the operator for one.
    app::ComSelectPrompt portPrompt;
    serial::setPortPrompt(&portPrompt);
    app::TMainForm form;
    // The demonstration phone answers on Com5 only: its runs neither take nor leave
    // the remembered choices.
    app::Settings settings;
    if (!parser.isSet(demo)) {
        app::applySettings(form, settings);
    }
    app::PhoneController phone(form, queue);
    // The demonstration's messages reach no one: its campaigns stay out of the real history.
    std::filesystem::path demoDatabase;
    if (parser.isSet(demo)) {
        demoDatabase = demoPhone.folder.filePath(QStringLiteral("toplusms.db")).toStdString();
    }
    app::SendController sending(form, phone, queue, {}, demoDatabase);
    // Delivery reports and replies, kept in the same database.
    app::ReceiveController receiving(form, phone, sending, queue);
    app::ListImports imports(form);
    app::PhonebookButtons phonebooks(form, phone);
    app::PortHints portHints(form);
    // Further phones, each on a thread of its own, and the search for them.
    // The demonstration phone's list is not remembered either.
    app::ExtraPhones extraPhones(form, queue, parser.isSet(demo) ? nullptr : &settings);
    app::PhoneFinder phoneFinder(form, &extraPhones);
    // A campaign goes over every connected phone; the list counts what each sent today.
    extraPhones.serve(sending);
    // Each of them receives into the window's database as the first phone does.
    extraPhones.receiveOn = [&receiving](sms::PhoneWorker& worker) {
        return receiving.receiveOn(worker);
    };
    form.show();
    const int code = QApplication::exec();
    if (!parser.isSet(demo)) {
        app::storeSettings(form, settings);
    }
    return code;
}
