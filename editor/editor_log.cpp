#include "editor/editor_log.h"

Q_LOGGING_CATEGORY(lcEditor, "orvane.editor")
