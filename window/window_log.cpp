#include "window/window_log.h"

Q_LOGGING_CATEGORY(lcWindow, "orvane.window")
