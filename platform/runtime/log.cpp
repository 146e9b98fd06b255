#include "platform/runtime/log.h"

Q_LOGGING_CATEGORY(lcPlatform, "orvane.platform")
