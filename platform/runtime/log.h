// The platform layer logs through Qt under "orvane.platform"; each layer above
// has a category of its own ("orvane.editor", "orvane.window", "orvane.app").
#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QUrl>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

namespace platform {

// An address as a log line shows it: whole when short, else its start and
// how long it was, so that a page asking for addresses of megabytes in a
// loop cannot fill the log with them.
QString loggedAddress(const QUrl &url);

}  // namespace platform
