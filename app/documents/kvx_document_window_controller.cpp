#include "app/documents/kvx_document_window_controller.h"

#include "platform/prefs/defaults.h"
#include "platform/documents/document.h"

using platform::Defaults;

namespace {

const QString kUntitledFrame = QStringLiteral("KVXDocument");

KVXDocumentWindowController::WindowSetUp &windowSetUp() {
    static KVXDocumentWindowController::WindowSetUp setUp;
    return setUp;
}

}  // namespace

void KVXDocumentWindowController::setWindowSetUp(WindowSetUp setUp) { windowSetUp() = std::move(setUp); }

void KVXDocumentWindowController::setUpWindow(QMainWindow *window) {
    if (windowSetUp() && window)
        windowSetUp()(window);
}

void KVXDocumentWindowController::windowDidLoad() {
    setUpWindow(window());
    const QString path = document() ? document()->filePath() : QString();
    if (path.isEmpty()) {
        setFrameUsingName(kUntitledFrame);
        setFrameAutosaveName(kUntitledFrame);
        return;
    }
    if (!Defaults::standard().hasStoredValue(frameKey(path)))
        setFrameUsingName(kUntitledFrame);
    setFrameAutosaveName(path);
}

void KVXDocumentWindowController::windowWillClose() {
    if (isFullScreen() || !document() || document()->filePath().isEmpty())
        return;
    saveFrameUsingName(document()->filePath());
}

QSize KVXDocumentWindowController::willUseFullScreenContentSize(QSize proposed) const {
    const qint64 widest = Defaults::standard().integerForKey(QStringLiteral("fullScreenWidth"));
    int width = int(qMin<qint64>(proposed.width(), widest));
    if (width <= 0)
        width = 5;
    return {width, proposed.height()};
}
