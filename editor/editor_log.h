// The editor layer's log category, "orvane.editor": its fixed log lines go
// through Qt's logging under it.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcEditor)
