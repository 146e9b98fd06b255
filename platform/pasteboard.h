// The general pasteboard: the system clipboard (never X11's selection
// buffer, which follows the mouse).
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
};

}  // namespace platform
