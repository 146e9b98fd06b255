// The platform layer logs through Qt under "orvane.platform"; each layer above
// has a category of its own ("orvane.editor", "orvane.window", "orvane.app").
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
