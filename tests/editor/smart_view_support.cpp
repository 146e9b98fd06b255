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
#include "keybindings.h"
#include "support/qt_wait.h"

namespace editortest {

ShownEditor::ShownEditor(const std::function<void(platform::Defaults &)> &configure) {
    platform::Defaults &d = scoped_.defaults();
    d.setObject(QStringLiteral("DejaVu Sans"), QStringLiteral("defaultFontName"));
    d.setFloat(12, QStringLiteral("defaultFontSize"));
    if (configure)
        configure(d);
    storage_ = std::make_unique<SmartTextStorage>(d);
    storage_->applyThemeFromPath(themePath());
    view_ = std::make_unique<SmartTextView>(storage_.get(), &d);
}

ShownEditor::~ShownEditor() {
    view_.reset();
    storage_.reset();
}

void ShownEditor::show(const QString &text, QSize size) {
    storage_->setInitialText(text);
    view_->resize(size);
    view_->show();
    view_->activateWindow();
    view_->setFocus();
    view_->setSelectedRange({0, 0});
    settle();
}

void ShownEditor::settle() {
    storage_->documentLayout()->finishLayout();
    testing_qt::spinFor(std::chrono::milliseconds(10));
    QCoreApplication::processEvents();
}

void ShownEditor::press(int key, Qt::KeyboardModifiers modifiers, const QString &text) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(view_.get(), &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(view_.get(), &up);
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
    QTextCursor cursor(storage_->document());
    cursor.setPosition(int(position));
    return view_->cursorRect(cursor).center();
}

void ShownEditor::click(qsizetype position, Qt::MouseButton button) {
    const QPointF at = pointAt(position);
    const QPointF global = view_->viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(view_->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view_->viewport(), &release);
}

void ShownEditor::drop(qsizetype position, const QMimeData &data, Qt::DropAction action) {
    const QPoint at = pointAt(position);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(view_->viewport(), &enter);
    QDropEvent dropped(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    dropped.setDropAction(action);
    QApplication::sendEvent(view_->viewport(), &dropped);
}

bool ShownEditor::inStep() {
    return shownText(*storage_) == expectedShown(*storage_) &&
           storage_->document()->characterCount() - 1 == storage_->length();
}

ScopedKeyBindings::ScopedKeyBindings(const QByteArray &json) : json_(json) {
    KVXKeyBindings::sharedController().setProvider(this);
}

ScopedKeyBindings::~ScopedKeyBindings() { KVXKeyBindings::sharedController().setProvider(nullptr); }

stack *ScopedKeyBindings::keyBindingStack() {
    asked++;
    return key_bindings_from_string(json_.constData());
}

}  // namespace editortest
