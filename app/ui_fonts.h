#pragma once
// Fonts of the window. The Windows faces are asked for first; where they are missing
// (most Linux desktops) narrow faces of similar size keep the texts inside their
// controls.

#include <QAbstractButton>
#include <QFont>
#include <QFontMetrics>
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

// The serial port's dialogs: "MS Sans Serif" of Windows (or its TrueType successor).
inline QFont msSansSerifFont(int pixelSize) {
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                   QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixelSize);
    return f;
}

// A caption wider than its button (a wide fallback face) gets a smaller size rather
// than being cut.
inline void fitCaption(QAbstractButton* button, int padding = 12) {
    QFont f = button->font();
    while (f.pixelSize() > 8 &&
           QFontMetrics(f).horizontalAdvance(button->text()) > button->width() - padding) {
        f.setPixelSize(f.pixelSize() - 1);
    }
    button->setFont(f);
}

}  // namespace app
