// The simplest window content of a Markdown document: the editor over its
// text storage, with an engine bridge for exports and tags, and no preview
// or sidebars, so no web engine. Documents use it when no other content is
// given to them (SmartEditorDocument::setContentFactory): the program gives
// them the full window (MasterViewContent); documents made without a display
// keep this one.
#pragma once

#include <memory>

#include "window/content/document_content.h"
#include "window/content/plain_text_content.h"

class TZREngine;
class BasicEditorLink;

class BasicDocumentContent : public PlainTextContent, public DocumentContent {
    Q_OBJECT
public:
    explicit BasicDocumentContent(QWidget *parent = nullptr);
    ~BasicDocumentContent() override;

    TZREngine *engine() const { return m_engine.get(); }
    QString activeCSSPath() const { return m_cssPath; }

    QWidget *widget() override { return this; }
    TextContent *textContent() const override { return PlainTextContent::textContent(); }
    void setText(const QString &text, bool clearingUndo) override;
    void setTransclusionPath(const QString &path) override;
    QByteArray exportToFormat(short format, LeftOutFiles *leftOut) override;
    std::optional<QStringList> tzrTags() override;
    std::optional<QString> metadataForKey(const QString &key) override;
    void applyTheme(const QString &name, const QString &path) override;
    void applyCSS(const QString &name, const QString &path) override;
    void setOkToUpdatePreview(bool ok) override;
    QWebEngineView *previewView() const override { return nullptr; }

private:
    std::unique_ptr<BasicEditorLink> m_link;
    std::unique_ptr<TZREngine> m_engine;
    QString m_cssPath;
};
