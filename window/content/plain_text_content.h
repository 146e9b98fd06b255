// The simplest window content: an editor view over a text storage of its
// own, filling the widget, with the text content the document reaches it
// through. The plain text window and the basic Markdown content are built
// on it. The widget owns the storage and the view (the view goes first).
// Main thread only.
#pragma once

#include <QWidget>

#include <memory>

class KVXTextView;
class SmartTextStorage;
class TextContent;

class PlainTextContent : public QWidget {
    Q_OBJECT
public:
    explicit PlainTextContent(QWidget *parent = nullptr);
    ~PlainTextContent() override;

    TextContent *textContent() const { return m_text; }

protected:
    SmartTextStorage *storage() const { return m_storage.get(); }
    KVXTextView *view() const { return m_view; }

private:
    std::unique_ptr<SmartTextStorage> m_storage;
    KVXTextView *m_view = nullptr;
    TextContent *m_text = nullptr;
};
