// The web engine's start-up flags that the program adds to the user's: no
// page reads back what it draws into a canvas. The preview's page counts
// every file: address as its own (its pictures must load), so a script could
// otherwise read the pixels of the user's pictures through one.
//
// Call before the application object is made: the engine reads its flags
// once, when it starts. Header only, so that every program and test suite
// can call it whether or not it links the web engine.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QtGlobal>

namespace platform {

inline void hardenWebEngineFlags() {
    static const QByteArray flag = QByteArrayLiteral("--disable-reading-from-canvas");
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.split(' ').contains(flag))
        return;
    if (!flags.isEmpty())
        flags += ' ';
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + flag);
}

// Whether the web engine draws without the graphics processor (the user's
// flags say "--disable-gpu").
inline bool webEngineDrawsWithoutGpu() {
    return qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").split(' ').contains(QByteArrayLiteral("--disable-gpu"));
}

// Without the graphics processor the engine's pages arrive as pictures:
// composing windows with OpenGL then adds nothing but a copy of every frame
// and, where OpenGL itself is software, the composition of the whole window
// for every blink of the caret (2-3% of a core with a large document open,
// against under 0.5% drawn in software). Such windows are drawn in software,
// unless the user chose how Qt Quick draws. Call before the application
// object is made.
inline void drawWindowsInSoftwareWithoutGpu() {
    if (webEngineDrawsWithoutGpu() && qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
}

}  // namespace platform
