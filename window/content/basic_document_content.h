// The simplest window content of a Markdown document: the editor over its
// text storage, with an engine bridge for exports and tags, and no preview
// or sidebars, so no web engine. Documents use it when no other content is
// given to them (SmartEditorDocument::setContentFactory): the program gives
// them the full window (MasterViewContent); documents made without a display
// keep this one.
#pragma once

#include <QWidget>

#include <memory>

#include "window/content/document_content.h"

class SmartTextStorage;
class TZREngine;
class BasicEditorLink;

class BasicDocumentContent : public QWidget, public DocumentContent {
    Q_OBJECT
public:
    explicit BasicDocumentContent(QWidget *parent = nullptr);
    ~BasicDocumentContent() override;

    SmartTextStorage *storage() const { return m_storage.get(); }
    TZREngine *engine() const { return m_engine.get(); }
    QString activeCSSPath() const { return m_cssPath; }

    QWidget *widget() override { return this; }
    KVXTextView *textView() const override { return m_view; }
    void setText(const QString &text, bool clearingUndo) override;
    void setTransclusionPath(const QString &path) override;
    QByteArray exportToFormat(short format) override;
    std::optional<QStringList> tzrTags() override;
    std::optional<QString> metadataForKey(const QString &key) override;
    void applyTheme(const QString &name, const QString &path) override;
    void applyCSS(const QString &name, const QString &path) override;
    void setOkToUpdatePreview(bool ok) override;
    QWebEngineView *previewView() const override { return nullptr; }

private:
    std::unique_ptr<SmartTextStorage> m_storage;
    KVXTextView *m_view = nullptr;
    std::unique_ptr<BasicEditorLink> m_link;
    std::unique_ptr<TZREngine> m_engine;
    QString m_cssPath;
};
