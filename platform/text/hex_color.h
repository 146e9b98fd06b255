// Colours from hexadecimal text, as themes, sidebar style sheets and the
// layout manager's marks give them.
//
//   "#fff", "FFF"    RGB, one digit each, opaque
//   "#8F00"          ARGB, one digit each
//   "#1a2b3c"        RRGGBB, opaque
//   "#80FF0000"      AARRGGBB: red at alpha 128/255
//
// Every "#" is dropped first; any other number of digits is no colour. A
// digit that is not hexadecimal makes its component 0.
#pragma once

#include <QColor>
#include <QString>

namespace platform {

struct HexColor {
    // An invalid QColor stands for "no colour".
    static QColor colorWithHexString(const QString &text);

    // One component from `length` (1 or 2) digits of `text` at `start`, from
    // 0 to 1: a single digit counts twice ("F" is "FF"); the leading
    // hexadecimal digits are read, anything else counts 0.
    static double colorComponentFrom(const QString &text, qsizetype start, qsizetype length);
};

}  // namespace platform
