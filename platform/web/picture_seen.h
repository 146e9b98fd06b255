// What a picture of a page shows where the user clicked it, read from the
// picture's own bytes: a page may not read the pixels of the pictures it
// shows, so the program looks at them itself when the page's click watch
// asks whether a click on a picture fell where the user saw something.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QPointF>
#include <QString>

#include <optional>

namespace platform {

// The bytes a data: address ("data:[type][;base64],payload") holds; none
// for any other address, or a payload that does not decode.
std::optional<QByteArray> dataUrlBytes(const QString &address);

// Whether the picture whose file is `bytes` shows something at `at` (as
// fractions of its width and height), drawn with `opacity`, over the colour
// `behind` when that is known: opaque there, and not all of one colour, nor
// all of the colour behind it. A picture that cannot be read, one drawn by
// a program of its own (SVG) and one that moves (an animation, which may
// show anything a moment later) show nothing that can be told.
bool pictureShowsAt(const QByteArray &bytes, QPointF at, double opacity, std::optional<QColor> behind);

}  // namespace platform
