// What a document asks of the editor in its window, and no more: the text,
// replacing it, the selection, being told of every edit, and the text with
// its styles for printing. The documents reach their editor only through
// this, so they know nothing of the editor's views and text storage.
//
// EditorTextContent answers it over an editor view; the window contents
// (plain, basic and full) each make one for their editor. It is a child of
// that view and goes with it, so a document that keeps a QPointer to it
// learns when the window has gone. Main thread only.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QMetaObject>
#include <QObject>
#include <QString>

#include <memory>

#include "editor/editor_interfaces.h"
#include "platform/text/text_range.h"

class KVXTextView;
class QTextDocument;

class TextContent : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The text as the editor holds it; the same as UTF-8 (a snapshot, where
    // the editor holds UTF-8: a copy of its bytes, cheap to take), and
    // whether it is `utf8` (without making a copy of a long text to find
    // out, where the editor can).
    virtual QString text() const = 0;
    virtual QByteArray utf8Text() const { return text().toUtf8(); }
    virtual bool holdsUtf8(QByteArrayView utf8) const { return utf8Text() == utf8; }
    // The text a window opens with: shown as it is, and nothing to undo.
    virtual void loadText(const QString &text) = 0;
    // Replaces the whole text as one undoable edit that applies only the
    // differences, so that unchanged text keeps its place.
    virtual void replaceText(const QString &text) = 0;
    // Replaces the whole text as one ordinary undoable edit.
    virtual void resetText(const QString &text) = 0;

    virtual platform::TextRange selectedRange() const = 0;
    // Selects `range` and brings it to the middle of the view (the
    // typewriter height when that is set).
    virtual void showSelection(platform::TextRange range) = 0;
    // Keeps the selection across a replacement of the whole text.
    virtual void saveSelection() = 0;
    virtual void restoreSelection() = 0;
    // The editor takes the keyboard focus.
    virtual void focusEditor() = 0;

    // The document told of every change of the text, so that it knows whether
    // it is edited (null: none). An editor with undo of its own tells of
    // edits, undos and redos; a plain one tells after each change whether
    // the text is the saved text.
    virtual void setOwningDocument(OwningDocument *document) = 0;

    // The whole text with the styles the editor shows, as a document of its
    // own: what printing lays out on pages.
    virtual std::unique_ptr<QTextDocument> richText() const = 0;
};

class EditorTextContent final : public TextContent {
    Q_OBJECT
public:
    // Answers over `view`, whose child it becomes.
    explicit EditorTextContent(KVXTextView *view);
    ~EditorTextContent() override;

    QString text() const override;
    QByteArray utf8Text() const override;
    bool holdsUtf8(QByteArrayView utf8) const override;
    void loadText(const QString &text) override;
    void replaceText(const QString &text) override;
    void resetText(const QString &text) override;
    platform::TextRange selectedRange() const override;
    void showSelection(platform::TextRange range) override;
    void saveSelection() override;
    void restoreSelection() override;
    void focusEditor() override;
    void setOwningDocument(OwningDocument *document) override;
    std::unique_ptr<QTextDocument> richText() const override;

private:
    KVXTextView *m_view;
    QMetaObject::Connection m_edits;
};
