#pragma once
// The application's default error handler: an error that ends an event handler is shown
// in a message box with the error icon, titled with the application title, and the
// program goes on.

#include <QString>

#include <exception>
#include <functional>

class QWidget;

namespace app {

class Asker;

inline const QString kApplicationTitle = QStringLiteral("TARVEL Toplu Sms 1.0.1");

// The text as the box shows it: a full stop is added when the last character sorts
// after the full stop ("Error encoding PDU." but "Comport Yok!").
QString errorBoxText(const QString& message);

// An exception's message as a QString. Our messages are UTF-8; a text that is not
// valid UTF-8 is taken as Windows-1254 bytes, the core's single-byte texts.
QString exceptionText(const std::exception& e);

void showError(Asker& asker, QWidget* parent, const QString& message);

// Runs an event handler; an exception it raises goes to the default error handler.
void runGuarded(Asker& asker, QWidget* parent, const std::function<void()>& handler);

}  // namespace app
