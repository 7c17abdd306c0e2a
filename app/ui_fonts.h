#pragma once
// Fonts of the window. The Windows faces are asked for first; where they are missing
// (most Linux desktops) narrow faces of similar size keep the texts inside their
// controls.

#include <QFont>
#include <QStringList>

namespace app {

inline QFont tahomaFont(int pixelSize, bool bold = false) {
    QFont f;
    f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

inline QFont arialFont(int pixelSize, bool bold = false) {
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

}  // namespace app
