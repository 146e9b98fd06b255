#include "editor/smart_view_support.h"

#include <QApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QTextBlock>

#include "editor/input/kvx_key_bindings.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/editor_test_support.h"
#include "textengine/settings/keybindings.h"
#include "support/qt_wait.h"

namespace editortest {

ShownEditor::ShownEditor(const std::function<void(platform::Defaults &)> &configure) {
    platform::Defaults &d = m_scoped.defaults();
    d.setObject(QStringLiteral("DejaVu Sans"), QStringLiteral("defaultFontName"));
    d.setFloat(12, QStringLiteral("defaultFontSize"));
    if (configure)
        configure(d);
    m_storage = std::make_unique<SmartTextStorage>(d);
    m_storage->applyThemeFromPath(themePath());
    m_view = std::make_unique<SmartTextView>(m_storage.get(), &d);
}

ShownEditor::~ShownEditor() {
    m_view.reset();
    m_storage.reset();
}

void ShownEditor::show(const QString &text, QSize size) {
    m_storage->setInitialText(text);
    m_view->resize(size);
    m_view->show();
    m_view->activateWindow();
    m_view->setFocus();
    m_view->setSelectedRange({0, 0});
    settle();
}

void ShownEditor::settle() {
    m_storage->documentLayout()->finishLayout();
    testing_qt::spinFor(std::chrono::milliseconds(10));
    QCoreApplication::processEvents();
}

void ShownEditor::press(int key, Qt::KeyboardModifiers modifiers, const QString &text) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(m_view.get(), &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(m_view.get(), &up);
}

void ShownEditor::type(const QString &text) {
    for (qsizetype i = 0; i < text.size(); i++) {
        QString typed(text[i]);
        if (text[i].isHighSurrogate() && i + 1 < text.size())
            typed += text[++i];
        const QChar c = typed[0];
        int key = 0;
        if (c == QLatin1Char('\n'))
            key = Qt::Key_Return;
        else if (c == QLatin1Char('\t'))
            key = Qt::Key_Tab;
        else if (c.unicode() < 0x80)
            key = c.toUpper().unicode();
        const Qt::KeyboardModifiers shift =
            c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
        press(key, shift, c == QLatin1Char('\n') ? QStringLiteral("\r") : typed);
    }
}

QPoint ShownEditor::pointAt(qsizetype position) {
    QTextCursor cursor(m_storage->document());
    cursor.setPosition(int(position));
    return m_view->cursorRect(cursor).center();
}

void ShownEditor::click(qsizetype position, Qt::MouseButton button) {
    const QPointF at = pointAt(position);
    const QPointF global = m_view->viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(m_view->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(m_view->viewport(), &release);
}

void ShownEditor::drop(qsizetype position, const QMimeData &data, Qt::DropAction action) {
    const QPoint at = pointAt(position);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(m_view->viewport(), &enter);
    QDropEvent dropped(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    dropped.setDropAction(action);
    QApplication::sendEvent(m_view->viewport(), &dropped);
}

bool ShownEditor::inStep() {
    return shownText(*m_storage) == expectedShown(*m_storage) &&
           m_storage->document()->characterCount() - 1 == m_storage->length();
}

ScopedKeyBindings::ScopedKeyBindings(const QByteArray &json) : m_json(json) {
    KVXKeyBindings::sharedController().setProvider(this);
}

ScopedKeyBindings::~ScopedKeyBindings() { KVXKeyBindings::sharedController().setProvider(nullptr); }

stack *ScopedKeyBindings::keyBindingStack() {
    asked++;
    return key_bindings_from_string(m_json.constData());
}

}  // namespace editortest
