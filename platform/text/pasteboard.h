// The general pasteboard: the system clipboard (never X11's selection
// buffer, which follows the mouse); and that selection buffer, which the
// middle mouse button pastes.
#pragma once

#include <QString>

#include <optional>

class QMimeData;

namespace platform {

struct Pasteboard {
    // The plain text on the pasteboard, or nothing.
    static std::optional<QString> string();
    // Clears the pasteboard and puts `text` on it as plain text.
    static void setString(const QString &text);
    // Clears the pasteboard and puts `data` on it (ownership passes).
    static void setMimeData(QMimeData *data);

    // The text of the selection buffer (the text last selected), or
    // nothing. Where the system keeps no such buffer (the offscreen
    // platform, some Wayland compositors), the program keeps one of its own,
    // so that middle-click paste behaves the same everywhere.
    static std::optional<QString> selectionString();
    static void setSelectionString(const QString &text);
};

}  // namespace platform
