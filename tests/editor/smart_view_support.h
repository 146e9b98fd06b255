// The Markdown editor view shown offscreen with the focus, over a storage
// with the preferences of a new user, and the ways a person reaches it: key
// presses, typed text, mouse clicks; a key-binding table of the test's own;
// a document that records what it is told.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMimeData>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

#include "editor/editor_interfaces.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/smart_text_view.h"
#include "platform/prefs/registered_defaults.h"

namespace editortest {

class ShownEditor {
public:
    // `configure` sets preferences before the storage and the view read
    // them; the font is DejaVu Sans at 12 points and the theme the tests'.
    explicit ShownEditor(const std::function<void(platform::Defaults &)> &configure = {});
    ~ShownEditor();

    platform::Defaults &defaults() { return m_scoped.defaults(); }
    SmartTextStorage &storage() { return *m_storage; }
    SmartTextView &view() { return *m_view; }

    // Sets the text, shows the view at `size` with the focus, caret at 0.
    void show(const QString &text, QSize size = QSize(600, 400));
    void settle();

    // A key pressed and released in the view; `text` is what it types.
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               const QString &text = QString());
    // Each character typed with a key press of its own.
    void type(const QString &text);
    // A click of `button` at the caret position of `position`.
    void click(qsizetype position, Qt::MouseButton button = Qt::LeftButton);
    // The viewport point of a text position (its caret rectangle's middle).
    QPoint pointAt(qsizetype position);
    // A drag that enters the view and drops `data` at a text position.
    void drop(qsizetype position, const QMimeData &data, Qt::DropAction action = Qt::CopyAction);

    QString text() { return m_storage->string(); }
    // The buffer's text equals what the document shows.
    bool inStep();
    void select(qsizetype location, qsizetype length = 0) { m_view->setSelectedRange({location, length}); }
    CharRange selection() { return m_view->selectedRange(); }

private:
    platform::ScopedStandardDefaults m_scoped;
    std::unique_ptr<SmartTextStorage> m_storage;
    std::unique_ptr<SmartTextView> m_view;
};

// Key bindings from a JSON text, handed to the shared dispatcher while it
// lives.
class ScopedKeyBindings : public KeyBindingProvider {
public:
    explicit ScopedKeyBindings(const QByteArray &json);
    ~ScopedKeyBindings() override;
    void setJson(const QByteArray &json) { m_json = json; }
    stack *keyBindingStack() override;
    int asked = 0;

private:
    QByteArray m_json;
};

// A document that keeps what the editor tells it.
class RecordingDocument : public OwningDocument {
public:
    using Kind = OwningDocument::ChangeKind;
    void updateChangeCount(Kind kind) override { changes.append(kind); }
    bool isSavedText(QByteArrayView utf8) const override { return utf8 == saved; }
    QString filePath() const override { return path; }

    QByteArray saved;
    QString path;
    QList<Kind> changes;
};

}  // namespace editortest
