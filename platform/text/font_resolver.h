// Font families by the names themes and preferences give them.
//
// Themes and preferences written on a Mac name its faces: Palatino, Menlo,
// Monaco, Courier New, Helvetica, Lucida Grande. A family that is installed
// is used as it is. Otherwise a known Mac face falls back to an installed face
// of its kind (serif, sans-serif or monospace), so that code spans keep a
// fixed pitch; any other name goes to the system's own font matching. The
// monospace kind is always a face of fixed pitch when one is installed, even
// where the system's own monospace face is not one.
// PostScript-style names ("Menlo-Regular") are read by their family part.
//
// Answers are remembered; the functions may be called from any thread once
// the QGuiApplication exists.
#pragma once

#include <QFont>
#include <QString>

namespace platform {

class FontResolver {
public:
    enum class Kind { Serif, SansSerif, Monospace };

    // The installed family to use for `family`.
    static QString resolveFamily(const QString &family);
    // A font of that family at `pointSize` (12 when not positive).
    static QFont font(const QString &family, qreal pointSize);
    // The installed family standing for a kind.
    static QString familyForKind(Kind kind);

    // The name of the face of its family a font shows in ("Book", "Regular"):
    // its own style name, else the family's face of its weight and slant at
    // normal width; empty for a family the system does not have.
    static QString styleNameOf(const QFont &font);

    // The platform's font for the user's text: the family and size that a
    // new user starts with ("defaultFontName", "defaultFontSize").
    static QFont userFont();
};

}  // namespace platform
