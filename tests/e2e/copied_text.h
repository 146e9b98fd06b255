// The text of the window that has the keyboard's focus, as a user takes it
// from another program's window: all of it selected and copied (Ctrl+A,
// Ctrl+C, typed through the X server), read from the clipboard. Main thread.
#pragma once

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

#include <chrono>

#include "e2e/x_keyboard.h"
#include "support/qt_wait.h"

namespace testing_x {

// Empty when nothing was copied within a few tries.
inline QString copiedText() {
    QClipboard *clipboard = QGuiApplication::clipboard();
    const QString before = QStringLiteral("nothing copied yet");
    clipboard->setText(before);
    QString text;
    for (int attempt = 0; attempt < 3 && (text.isEmpty() || text == before); attempt++) {
        if (!pressKeys({"Control_L", "a"}) || !pressKeys({"Control_L", "c"}))
            return QString();
        testing_qt::spinUntil(
            [&] {
                text = clipboard->text();
                return !text.isEmpty() && text != before;
            },
            std::chrono::seconds(5));
    }
    return text == before ? QString() : text;
}

}  // namespace testing_x
