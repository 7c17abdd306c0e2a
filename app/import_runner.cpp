#include "app/import_runner.h"

#include <algorithm>

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

QString importSummary(const recipients::ImportResult& result) {
    const QString added = QStringLiteral("%1 kayıt eklendi").arg(result.entries.size());
    const std::size_t refused = std::max(result.refusedCount, result.refused.size());
    if (refused == 0) {
        return added + QLatin1Char('.');
    }
    return added + QStringLiteral(", %1 kayıt alınmadı.").arg(refused);
}

void appendImported(TMainForm& form, const recipients::ImportResult& result,
                    const QString& headline, QWidget* parent) {
    form.recipientList().appendAll(result.entries);
    form.UpdateNumberCount();
    form.setStatusPanel(2, importSummary(result));
    QString text = headline.isEmpty() ? QString() : headline + QLatin1Char('\n');
    text += QStringLiteral("%1 kayıt eklendi.").arg(result.entries.size());
    QWidget* over = parent != nullptr ? parent : &form;
    // One box says it all: what was added, what was refused, how the file was read.
    if (!result.note.empty()) {
        text += QStringLiteral("\n") + QString::fromStdString(result.note);
    }
    const std::string refused = recipients::refusalMessage(result);
    if (!refused.empty()) {
        text += QStringLiteral("\n\n") + QString::fromStdString(refused);
        form.asker().tell(over, QStringLiteral("Uyarı"), text, Asker::Icon::Warning);
    } else if (!headline.isEmpty() || !result.note.empty()) {
        form.asker().tell(over, QStringLiteral("Bilgi"), text, Asker::Icon::Information);
    }
}

}  // namespace app
