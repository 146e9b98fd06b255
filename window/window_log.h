// The window layer logs through Qt under "orvane.window".
#pragma once

#include <QDebug>
#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

// What Qt's debug stream makes of a value (an object's class, address and
// name; a rectangle's corner and size), for log lines that embed it.
template <typename T>
QString debugText(const T &value) {
    QString text;
    QDebug(&text).nospace() << value;
    return text;
}
