#include "app/library_log.h"

#include "library/diagnostics.h"

Q_LOGGING_CATEGORY(lcLibrary, "orvane.library")

namespace {

void toQtLog(const char *line, void *) {
    QByteArrayView text(line ? line : "");
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    qCWarning(lcLibrary).noquote() << QString::fromUtf8(text);
}

}  // namespace

void installLibraryLogHandler() { tzr_log_set_handler(&toQtLog, nullptr); }

void removeLibraryLogHandler() { tzr_log_set_handler(nullptr, nullptr); }
