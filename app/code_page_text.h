#pragma once
// The program's Windows-1254 texts as the widgets hold them, and back.

#include <QString>

#include <string>

#include "platform/codepage_1254.h"

namespace app {

inline QString fromCodePage(const std::string& text) {
    return QString::fromStdU16String(platform::cp1254::toUtf16(text));
}

inline std::string toCodePage(const QString& text) {
    return platform::cp1254::fromUtf16(text.toStdU16String());
}

}  // namespace app
