// The full document window content for a Markdown document: the window's
// panes (TZRMasterView) answering what the document asks of its content.
#pragma once

#include "editor/smart_text_view.h"
#include "window/content/document_content.h"
#include "window/content/tzr_master_view.h"

class MasterViewContent : public TZRMasterView, public DocumentContent {
    Q_OBJECT
public:
    explicit MasterViewContent(QWidget *parent = nullptr);
    ~MasterViewContent() override;

    QWidget *widget() override { return this; }
    TextContent *textContent() const override { return m_text; }
    void setText(const QString &text, bool clearingUndo) override;
    void setTransclusionPath(const QString &path) override;
    QByteArray exportToFormat(short format, LeftOutFiles *leftOut) override;
    std::optional<QStringList> tzrTags() override;
    std::optional<QString> metadataForKey(const QString &key) override;
    // The document names the file; a name without a file keeps what is shown.
    void applyTheme(const QString &name, const QString &path) override;
    void applyCSS(const QString &name, const QString &path) override;
    void setOkToUpdatePreview(bool ok) override;
    QWebEngineView *previewView() const override;

private:
    TextContent *m_text;  // a child of the editor
};
