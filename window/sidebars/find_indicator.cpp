#include "window/sidebars/find_indicator.h"

#include <QPointer>
#include <QTextCursor>
#include <QTimer>

#include "editor/view/kvx_text_view.h"

namespace {

// Marks the indicator's extra selection among the editor's others.
constexpr int kIndicatorProperty = QTextFormat::UserProperty + 0x4649;

// The selections without the indicator `serial` (any indicator for 0).
QList<QTextEdit::ExtraSelection> withoutIndicator(const QList<QTextEdit::ExtraSelection> &selections,
                                                  int serial = 0) {
    QList<QTextEdit::ExtraSelection> kept;
    for (const QTextEdit::ExtraSelection &selection : selections) {
        const QVariant mark = selection.format.property(kIndicatorProperty);
        if (!mark.isValid() || (serial && mark.toInt() != serial))
            kept.append(selection);
    }
    return kept;
}

QTextCursor cursorFor(KVXTextView *editor, CharRange range) {
    const qsizetype length = editor->storage()->length();
    const qsizetype start = std::clamp<qsizetype>(range.location, 0, length);
    const qsizetype end = std::clamp<qsizetype>(range.end(), start, length);
    QTextCursor cursor(editor->document());
    cursor.setPosition(int(start));
    cursor.setPosition(int(end), QTextCursor::KeepAnchor);
    return cursor;
}

}  // namespace

void scrollRangeToVisible(KVXTextView *editor, CharRange range) {
    if (!editor)
        return;
    const QTextCursor cursor = cursorFor(editor, range);
    QTextCursor start(cursor), end(cursor);
    start.setPosition(cursor.selectionStart());
    end.setPosition(cursor.selectionEnd());
    const QRect visible = editor->viewport()->rect();
    if (!visible.contains(editor->cursorRect(start)) || !visible.contains(editor->cursorRect(end)))
        editor->centerRange({cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()}, false);
}

void showFindIndicatorForRange(KVXTextView *editor, CharRange range) {
    if (!editor)
        return;
    scrollRangeToVisible(editor, range);
    static int lastSerial = 0;
    const int serial = ++lastSerial;
    QTextEdit::ExtraSelection mark;
    mark.cursor = cursorFor(editor, range);
    mark.format.setBackground(QColor(255, 222, 40));
    mark.format.setProperty(kIndicatorProperty, serial);
    editor->setExtraSelections(withoutIndicator(editor->extraSelections()) << mark);
    QPointer<KVXTextView> guarded(editor);
    QTimer::singleShot(kFindIndicatorMilliseconds, editor, [guarded, serial] {
        if (guarded)
            guarded->setExtraSelections(withoutIndicator(guarded->extraSelections(), serial));
    });
}
