#pragma once
// The application's standard exception display, as the serial layer reaches it.

#include <exception>
#include <functional>

namespace serial {

// The application's standard exception display (a message box in the program). Used
// for errors that have no caller to go to: a worker thread's, or an open after loading.
using ExceptionDisplay = std::function<void(const std::exception&)>;
void setExceptionDisplay(ExceptionDisplay display);
// The calling thread's own display, which goes before the program's: a phone worker
// keeps the errors of its thread with that phone's state. Null: the program's again.
void setThreadExceptionDisplay(ExceptionDisplay display);
void showException(const std::exception& error);

}  // namespace serial
