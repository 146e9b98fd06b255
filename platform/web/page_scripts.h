// The scripts and styles the program itself puts into its web pages: files
// under resources/page, built into the program (":/page/NAME").
#pragma once

#include <QString>
#include <QStringView>

namespace platform {

// The text of the page file `name` ("click-watch.js"), read once and kept.
// Asking for a file the program does not carry is a fault of the program:
// it is logged and answered with an empty text.
const QString &pageResource(QStringView name);
// Whether the program carries the page file `name`.
bool hasPageResource(QStringView name);

}  // namespace platform
