// SmartTextView: what a key press means, and input methods.
//
// A key goes, in this order: the keys that switch tabs to the window; to the
// completion list while it shows; Shift-Tab outdents; a key with modifiers is offered to the key bindings; Tab indents
// a selection (with "TAB_INDENTS_SELECTION"); Return and Enter have their
// variants; every other key is interpreted here: editing keys become
// commands that edit through the storage, moving and selecting keys go to
// QTextEdit (which only moves the cursor), text is typed through the
// storage, and anything else is left to the parents. After a typed
// character the label completion may open.
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextLayout>

#include "editor/input/completion_popup.h"
#include "editor/input/incoming_text.h"
#include "editor/input/kvx_key_bindings.h"
#include "editor/smart_text_view.h"
#include "editor/smart_text_view_routing.h"
#include "platform/prefs/defaults.h"
#include "platform/text/key_characters.h"
#include "platform/text/key_modifiers.h"

namespace {

namespace keys = platform::keys;

// Keys that edit, and the command each one is.
struct EditingKey {
    QKeySequence::StandardKey key;
    const char *action;
};

constexpr EditingKey kEditingKeys[] = {
    {QKeySequence::Undo, "undo:"},
    {QKeySequence::Redo, "redo:"},
    {QKeySequence::Cut, "cut:"},
    {QKeySequence::Copy, "copy:"},
    {QKeySequence::Paste, "paste:"},
    {QKeySequence::SelectAll, "selectAll:"},
    {QKeySequence::Delete, "deleteForward:"},
    {QKeySequence::Backspace, "deleteBackward:"},
    {QKeySequence::DeleteStartOfWord, "deleteWordBackward:"},
    {QKeySequence::DeleteEndOfWord, "deleteWordForward:"},
    {QKeySequence::DeleteEndOfLine, "deleteToEndOfLine:"},
    {QKeySequence::Cancel, "cancelOperation:"},
};

// Keys QTextEdit may have: they move the cursor or the selection, or search.
constexpr QKeySequence::StandardKey kMovingKeys[] = {
    QKeySequence::MoveToNextChar,        QKeySequence::MoveToPreviousChar,
    QKeySequence::MoveToNextWord,        QKeySequence::MoveToPreviousWord,
    QKeySequence::MoveToNextLine,        QKeySequence::MoveToPreviousLine,
    QKeySequence::MoveToNextPage,        QKeySequence::MoveToPreviousPage,
    QKeySequence::MoveToStartOfLine,     QKeySequence::MoveToEndOfLine,
    QKeySequence::MoveToStartOfBlock,    QKeySequence::MoveToEndOfBlock,
    QKeySequence::MoveToStartOfDocument, QKeySequence::MoveToEndOfDocument,
    QKeySequence::SelectNextChar,        QKeySequence::SelectPreviousChar,
    QKeySequence::SelectNextWord,        QKeySequence::SelectPreviousWord,
    QKeySequence::SelectNextLine,        QKeySequence::SelectPreviousLine,
    QKeySequence::SelectNextPage,        QKeySequence::SelectPreviousPage,
    QKeySequence::SelectStartOfLine,     QKeySequence::SelectEndOfLine,
    QKeySequence::SelectStartOfBlock,    QKeySequence::SelectEndOfBlock,
    QKeySequence::SelectStartOfDocument, QKeySequence::SelectEndOfDocument,
    QKeySequence::Find,                  QKeySequence::FindNext,
    QKeySequence::FindPrevious,
};

// Whether a key types its text: printable characters and the invisible
// formatting ones (joiners, direction marks), but not what Ctrl with a key
// makes (Ctrl+Alt stays text: AltGr on some keyboards).
bool typesText(const QKeyEvent *event) {
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    const QChar c = text.front();
    if (c.category() == QChar::Other_Format)
        return true;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier) ||
        (mods & Qt::MetaModifier))
        return false;
    return c.isPrint() || c.category() == QChar::Other_PrivateUse ||
           (c.isHighSurrogate() && text.size() > 1 && text[1].isLowSurrogate());
}

// The desktop's keys for the next and previous tab: Ctrl with Tab (Shift
// for the previous one; the X server reports Ctrl+Shift+Tab as Backtab),
// Page Up or Page Down. They belong to the window, whose menu takes them
// while it has more than one tab; with one tab they do nothing, and with a
// binding for Ctrl+Tab or a back-tab's outdent they would edit the text.
bool switchesTabs(const QKeyEvent *event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (!(mods & Qt::ControlModifier) || (mods & (Qt::AltModifier | Qt::MetaModifier)))
        return false;
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return !(mods & Qt::ShiftModifier);
    default:
        return false;
    }
}

}  // namespace

void SmartTextView::keyPressEvent(QKeyEvent *event) {
    if (switchesTabs(event)) {
        event->ignore();
        return;
    }
    if (m_completionPopup && m_completionPopup->isVisible()) {
        if (m_completionPopup->handleKey(event)) {
            event->accept();
            return;
        }
        // Typing on keeps the word the list offered.
        if (!m_completionPopup->isVisible())
            m_tentative.reset();
    }
    // An Escape held down repeats: its first press closed something (a
    // dialog, the list), and the repeats must not open the list again.
    if (event->key() == Qt::Key_Escape && event->isAutoRepeat()) {
        event->accept();
        return;
    }
    const char16_t c = platform::keyCharacter(*event);
    if (c == 0) {
        interpretKey(event);
        return;
    }
    if (c == keys::kBackTab) {
        shiftLeft();
        event->accept();
        return;
    }
    if (event->modifiers() != Qt::NoModifier &&
        KVXKeyBindings::sharedController().performActionForKey(
            c, platform::keyBindingModifiers(event->modifiers()), this)) {
        event->accept();
        return;
    }
    switch (c) {
    case keys::kTab:
        if (defaults().boolForKey(QStringLiteral("TAB_INDENTS_SELECTION")) &&
            selectedRange().length > 0) {
            shiftRight();
            event->accept();
            return;
        }
        interpretKey(event);
        return;
    case keys::kReturn:
    case keys::kEnter:
        returnVariant(event->modifiers());
        event->accept();
        return;
    case 0x08:
    case 0x10:
    case u' ':
    case keys::kBackspace:
    case keys::kUpArrow:
    case keys::kDownArrow:
    case keys::kLeftArrow:
    case keys::kRightArrow:
    case keys::kDelete:
    case keys::kDeleteChar:
    case keys::kEscape:  // opens the list itself
        interpretKey(event);
        return;
    default:
        // Only a typed character may open the list; Ctrl+C, which Cocoa's
        // menus would have taken before the editor saw it, does not.
        if (interpretKey(event))
            checkLabelCompletion();
        return;
    }
}

// What the text system does with a key no rule above took; true when the
// key typed text.
bool SmartTextView::interpretKey(QKeyEvent *event) {
    for (const EditingKey &editing : kEditingKeys) {
        if (event->matches(editing.key)) {
            performAction(QString::fromLatin1(editing.action), this);
            event->accept();
            return false;
        }
    }
    for (QKeySequence::StandardKey moving : kMovingKeys) {
        if (event->matches(moving)) {
            KVXTextView::keyPressEvent(event);
            return false;
        }
    }
    // Backspace and Delete with modifiers that no sequence names delete as
    // the plain keys do; Tab types a tab.
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) &&
        !(mods & (Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier))) {
        performAction(QString::fromLatin1(event->key() == Qt::Key_Backspace ? "deleteBackward:"
                                                                             : "deleteForward:"),
                      this);
        event->accept();
        return false;
    }
    if (event->key() == Qt::Key_Tab && !(mods & ~Qt::ShiftModifier)) {
        typeText(QStringLiteral("\t"));
        event->accept();
        return true;
    }
    if (typesText(event)) {
        typeText(event->text());
        event->accept();
        return true;
    }
    event->ignore();
    return false;
}

// Command-Return (Ctrl) ends the line wherever the caret is in it, with a
// hard line break when Control (Meta) is held too; Control-Return (or
// Ctrl+Shift+Return, for keyboards whose Meta key the desktop keeps) breaks
// the line at the caret with a hard line break; Return is a new line, which
// the storage's smart enter continues.
void SmartTextView::returnVariant(Qt::KeyboardModifiers modifiers) {
    const bool command = modifiers & Qt::ControlModifier;
    const bool control = modifiers & Qt::MetaModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    const QString hardBreak = QStringLiteral("  \n");
    if (command && !shift) {
        const CharRange selection = selectedRange();
        const qsizetype last =
            selection.length > 0 ? selection.end() - 1 : selection.location;
        const QTextBlock line = storage()->lineOf(document()->findBlock(int(last))).second;
        const qsizetype end = line.position() + line.length() - 1;
        insertText(control ? hardBreak : QStringLiteral("\n"), CharRange{end, 0});
    } else if (control || command) {
        insertText(hardBreak);
    } else {
        typeText(QStringLiteral("\n"));
    }
}

bool SmartTextView::hasMarkedText() const {
    const QTextLayout *layout = textCursor().block().layout();
    return layout && !layout->preeditAreaText().isEmpty();
}

void SmartTextView::checkLabelCompletion() {
    if (!defaults().boolForKey(QStringLiteral("autocompleteLabels")) || hasMarkedText())
        return;
    const CharRange selection = selectedRange();
    const QByteArrayView text = mirrorText();
    if (selection.end() >= text.size() || text[selection.end()] != ']')
        return;
    if (rangeIsInsideLabel(selection))
        complete();
}

// Qt keeps the text being composed in the layout, not in the document, so
// only what the input method commits (and the text it replaces) is an edit,
// made through the storage as typed text, and so tracked like typing. The
// event goes on to QTextEdit without it, for the composition alone.
void SmartTextView::inputMethodEvent(QInputMethodEvent *event) {
    const QString commit = incoming::normalizedText(event->commitString());
    const bool replaces = !event->commitString().isEmpty() || event->replacementLength() > 0;
    const bool composes = event->preeditString() != textCursor().block().layout()->preeditAreaText();
    CharRange selection = selectedRange();
    if ((replaces || composes) && selection.length > 0 &&
        (event->replacementStart() != 0 || event->replacementLength() != 0 || !replaces)) {
        // Composing over a selection replaces it first.
        RoutedEdit routed(this);
        storage()->replaceCharactersInRange(selection, QString());
        selection = selectedRange();
    }
    if (replaces) {
        CharRange range = selection;
        if (event->replacementStart() != 0 || event->replacementLength() != 0) {
            const qsizetype n = storage()->length();
            const qsizetype from = qBound<qsizetype>(0, selection.location + event->replacementStart(), n);
            range = {from, qBound<qsizetype>(0, qsizetype(event->replacementLength()), n - from)};
        }
        // A character committed alone is typed as a key types it.
        if (commit.size() == 1 && range == selection && range.length == 0 && event->preeditString().isEmpty())
            typeText(commit);
        else
            insertText(commit, range);
    }
    QInputMethodEvent composition(event->preeditString(), event->attributes());
    KVXTextView::inputMethodEvent(&composition);
    event->accept();
}
