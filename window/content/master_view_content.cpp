#include "window/content/master_view_content.h"

#include "window/content/text_content.h"
#include "window/preview/smart_web_view.h"
#include "window/window_log.h"

MasterViewContent::MasterViewContent(QWidget *parent)
    : TZRMasterView(parent), m_text(new EditorTextContent(textView())) {}

MasterViewContent::~MasterViewContent() = default;

void MasterViewContent::setText(const QString &text, bool clearingUndo) { TZRMasterView::setText(text, clearingUndo); }

void MasterViewContent::setTransclusionPath(const QString &path) { TZRMasterView::setTransclusionPath(path); }

QByteArray MasterViewContent::exportToFormat(short format, LeftOutFiles *leftOut) {
    return TZRMasterView::exportToFormat(format, leftOut);
}

std::optional<QStringList> MasterViewContent::tzrTags() { return TZRMasterView::tzrTags(); }

std::optional<QString> MasterViewContent::metadataForKey(const QString &key) {
    return TZRMasterView::metadataForKey(key);
}

void MasterViewContent::applyTheme(const QString &name, const QString &path) {
    if (path.isEmpty()) {
        qCWarning(lcWindow, "no theme named %s", qPrintable(name));
        return;
    }
    textView()->applyThemeFromPath(path);
    applyAppearanceTheme();
}

void MasterViewContent::applyCSS(const QString &name, const QString &path) {
    if (path.isEmpty()) {
        qCWarning(lcWindow, "no style sheet named %s", qPrintable(name));
        return;
    }
    webView()->applyCSSFromPath(path);
}

void MasterViewContent::setOkToUpdatePreview(bool ok) { TZRMasterView::setOkToUpdatePreview(ok); }

QWebEngineView *MasterViewContent::previewView() const { return webView(); }
