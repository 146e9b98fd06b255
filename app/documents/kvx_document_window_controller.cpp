#include "app/documents/kvx_document_window_controller.h"

#include <QVBoxLayout>

#include "editor/view/kvx_text_view.h"
#include "editor/storage/smart_text_storage.h"
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

KVXDocumentViewController::KVXDocumentViewController(QWidget *parent) : QWidget(parent) {
    m_storage = std::make_unique<SmartTextStorage>(Defaults::standard());
    m_textView = new KVXTextView(m_storage.get(), nullptr, this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_textView);
}

KVXDocumentViewController::~KVXDocumentViewController() {
    // The view goes before the storage it shows.
    delete m_textView;
}
