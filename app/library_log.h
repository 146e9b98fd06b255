// The document library's and the text engine's reports, sent to Qt's
// logging under "orvane.library" (warnings), one message per line.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLibrary)

// Sends the library's lines to Qt's logging from now on; any thread.
void installLibraryLogHandler();
// Gives them back to standard error.
void removeLibraryLogHandler();
