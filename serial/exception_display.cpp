#include "serial/exception_display.h"

#include <cstdio>
#include <mutex>

namespace serial {

namespace {
std::mutex g_displayMutex;
ExceptionDisplay g_display;  // g_displayMutex
thread_local ExceptionDisplay t_display;
}  // namespace

void setExceptionDisplay(ExceptionDisplay display) {
    std::lock_guard lock(g_displayMutex);
    g_display = std::move(display);
}

void setThreadExceptionDisplay(ExceptionDisplay display) {
    t_display = std::move(display);
}

void showException(const std::exception& error) {
    if (t_display) {
        t_display(error);
        return;
    }
    ExceptionDisplay display;
    {
        std::lock_guard lock(g_displayMutex);
        display = g_display;
    }
    if (display) {
        display(error);
    } else {
        std::fprintf(stderr, "%s\n", error.what());
    }
}

}  // namespace serial
