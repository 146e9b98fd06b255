// Lets GoogleTest print Qt strings, variants, points and rectangles in failure
// messages as text.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QVariant>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

inline void PrintTo(const QVariant &value, std::ostream *out) {
    *out << "QVariant(" << value.typeName() << ", " << value.toString().toStdString() << ')';
}

inline void PrintTo(const QPoint &point, std::ostream *out) { *out << '(' << point.x() << ", " << point.y() << ')'; }

inline void PrintTo(const QRect &rect, std::ostream *out) {
    *out << rect.width() << 'x' << rect.height() << " at (" << rect.x() << ", " << rect.y() << ')';
}
