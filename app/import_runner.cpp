#include "app/import_runner.h"

#include <QEventLoop>
#include <QMetaObject>

#include <atomic>
#include <exception>
#include <thread>

#include "app/main_window.h"

namespace app {

recipients::ImportResult runImport(TMainForm& form, const ImportRead& read,
                                   const std::atomic<bool>* cancel) {
    QEventLoop loop;
    recipients::ImportResult result;
    std::exception_ptr error;
    std::atomic<int> shown{-1};
    recipients::ReadControl control;
    control.cancel = cancel;
    // The form outlives the read; a progress call still queued when it is gone is
    // dropped by Qt with its context.
    TMainForm* window = &form;
    control.progress = [&shown, window](int percent) {
        if (shown.exchange(percent) == percent) {
            return;
        }
        QMetaObject::invokeMethod(
            window,
            [window, percent] {
                // Turkish writes the per cent sign first: %45.
                window->setStatusPanel(2, QStringLiteral("Aktarılıyor... %%1").arg(percent));
            },
            Qt::QueuedConnection);
    };
    // `result` and `error` are written by the reader before it posts the quit, and read
    // here only after the thread has been joined.
    std::thread reader([&] {
        try {
            result = read(control);
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    reader.join();
    form.setStatusPanel(2, QString());
    if (error) {
        std::rethrow_exception(error);
    }
    return result;
}

void appendImported(TMainForm& form, const recipients::ImportResult& result) {
    form.recipientList().appendAll(result.entries);
    form.UpdateNumberCount();
    const std::string refused = recipients::refusalMessage(result);
    if (!refused.empty()) {
        form.asker().tell(&form, QStringLiteral("Uyarı"), QString::fromStdString(refused),
                          Asker::Icon::Warning);
    }
    if (!result.note.empty()) {
        form.asker().tell(&form, QStringLiteral("Bilgi"), QString::fromStdString(result.note),
                          Asker::Icon::Information);
    }
}

}  // namespace app
