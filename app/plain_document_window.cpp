#include "app/plain_document_window.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "app/tzr_theme_controller.h"
#include "editor/kvx_text_view.h"
#include "editor/smart_text_storage.h"
#include "platform/alerts.h"
#include "platform/defaults.h"

namespace {

// The actions the editor itself carries out here, with what each does.
struct EditorAction {
    const char *name;
    void (*run)(KVXTextView *);
    bool (*checked)(const KVXTextView *);
};

constexpr EditorAction kEditorActions[] = {
    {"zoomIn:", [](KVXTextView *v) { v->zoomIn(); }, nullptr},
    {"zoomOut:", [](KVXTextView *v) { v->zoomOut(); }, nullptr},
    {"toggleAutoZoom:", [](KVXTextView *v) { v->toggleAutoZoom(); }, [](const KVXTextView *v) { return v->autoZoom(); }},
    {"toggleTypewriterMode:", [](KVXTextView *v) { v->toggleTypewriterMode(); },
     [](const KVXTextView *v) { return v->typewriterMode(); }},
    {"toggleShowLineNumbers:", [](KVXTextView *v) { v->setShowLineNumbers(!v->showLineNumbers()); },
     [](const KVXTextView *v) { return v->showLineNumbers(); }},
    {"copy:", [](KVXTextView *v) { v->copy(); }, nullptr},
    {"selectAll:", [](KVXTextView *v) { v->selectAll(); }, nullptr},
};

const EditorAction *editorAction(const QString &name) {
    for (const EditorAction &action : kEditorActions)
        if (name == QLatin1String(action.name))
            return &action;
    return nullptr;
}

QString readText(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        platform::Alerts::simpleAlert(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()),
                                      QStringLiteral("The document could not be opened"));
        return QString();
    }
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace

PlainDocumentWindow::PlainDocumentWindow(const QString &path, QWidget *parent)
    : QMainWindow(parent), path_(path) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("KVXDocument"));
    storage_ = new SmartTextStorage(platform::Defaults::standard(), TZRThemeController::sharedController());
    storage_->setParent(this);
    editor_ = new KVXTextView(storage_, nullptr, this);
    setCentralWidget(editor_);
    const QString theme = TZRThemeController::sharedController()->filePathForThemeNamed(
        platform::Defaults::standard().stringForKey(QStringLiteral("defaultTheme")));
    if (!theme.isEmpty() && storage_->applyThemeFromPath(theme)) {
        QPalette colours = editor_->palette();
        colours.setColor(QPalette::Base, storage_->backgroundColor());
        colours.setColor(QPalette::Text, storage_->foregroundColor());
        editor_->setPalette(colours);
    }
    storage_->setInitialText(path.isEmpty() ? QString() : readText(path));
    setWindowTitle(path.isEmpty() ? tr("Untitled") : QFileInfo(path).fileName());
    setWindowFilePath(path);
    resize(900, 760);
    editor_->setFocus(Qt::OtherFocusReason);
}

PlainDocumentWindow::~PlainDocumentWindow() {
    // The view goes before the storage it shows.
    delete editor_;
}

bool PlainDocumentWindow::respondsToAction(const QString &action) const {
    return editorAction(action) || action == QLatin1String("performClose:") ||
           action == QLatin1String("performMiniaturize:") || action == QLatin1String("performZoom:") ||
           action == QLatin1String("toggleFullScreen:");
}

void PlainDocumentWindow::performAction(const QString &action, QObject *) {
    if (const EditorAction *editing = editorAction(action))
        editing->run(editor_);
    else if (action == QLatin1String("performClose:"))
        close();
    else if (action == QLatin1String("performMiniaturize:"))
        showMinimized();
    else if (action == QLatin1String("performZoom:"))
        isMaximized() ? showNormal() : showMaximized();
    else if (action == QLatin1String("toggleFullScreen:"))
        isFullScreen() ? showNormal() : showFullScreen();
}

bool PlainDocumentWindow::validateAction(const QString &action, QAction *item) {
    if (const EditorAction *editing = editorAction(action); editing && editing->checked && item)
        item->setChecked(editing->checked(editor_));
    return true;
}
