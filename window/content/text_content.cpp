#include "window/content/text_content.h"

#include <QTextDocument>

#include "editor/smart_text_view.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/kvx_text_view.h"

EditorTextContent::EditorTextContent(KVXTextView *view) : TextContent(view), m_view(view) {}

EditorTextContent::~EditorTextContent() = default;

QString EditorTextContent::text() const { return m_view->committedString(); }

QByteArray EditorTextContent::utf8Text() const { return m_view->committedUtf8(); }

bool EditorTextContent::holdsUtf8(QByteArrayView utf8) const { return m_view->holdsCommittedUtf8(utf8); }

void EditorTextContent::loadText(const QString &text) {
    m_view->withdrawOfferedText();
    m_view->storage()->setInitialText(text);
}

void EditorTextContent::replaceText(const QString &text) {
    m_view->withdrawOfferedText();
    SmartTextStorage *storage = m_view->storage();
    storage->bulkReplaceCharactersInRange({0, storage->length()}, text);
}

void EditorTextContent::resetText(const QString &text) {
    m_view->withdrawOfferedText();
    SmartTextStorage *storage = m_view->storage();
    storage->replaceCharactersInRange({0, storage->length()}, text);
}

platform::TextRange EditorTextContent::selectedRange() const {
    const CharRange selection = m_view->selectedRange();
    return {selection.location, selection.length};
}

void EditorTextContent::showSelection(platform::TextRange range) {
    m_view->setSelectedRange({range.location, range.length});
    m_view->centerCaretUsingTarget(true);
}

void EditorTextContent::saveSelection() { m_view->saveSelection(); }

void EditorTextContent::restoreSelection() { m_view->restoreSelection(); }

void EditorTextContent::focusEditor() { m_view->setFocus(); }

void EditorTextContent::setOwningDocument(OwningDocument *document) {
    if (auto *editor = qobject_cast<SmartTextView *>(m_view)) {
        editor->setOwningDocument(document);
        return;
    }
    disconnect(m_edits);
    if (!document)
        return;
    SmartTextStorage *storage = m_view->storage();
    m_edits = connect(storage, &SmartTextStorage::textChanged, this, [storage, document] {
        const bool saved = document->isSavedText(QByteArrayView(storage->str(), qsizetype(storage->len())));
        document->updateChangeCount(saved ? OwningDocument::ChangeKind::Cleared : OwningDocument::ChangeKind::Done);
    });
}

std::unique_ptr<QTextDocument> EditorTextContent::richText() const {
    return m_view->richDocumentOfRange({0, m_view->storage()->length()});
}
