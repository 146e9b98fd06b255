// SmartTextView: the commands it performs, by action name, and the commands
// on the selection that the storage carries out.
//
// Moving and selecting commands move Qt's cursor (which never edits);
// every command that changes text does so through the storage. The
// Emacs-style commands keep a mark and a kill buffer: deleting to a line's
// or paragraph's end or start, or to the mark, keeps the deleted text for
// yank.
#include <QAction>
#include <QHash>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>

#include <cstdlib>
#include <functional>

#include "editor/storage/critic_markup.h"
#include "platform/runtime/alerts.h"
#include "platform/runtime/dispatch.h"
#include "editor/view/find_bar.h"
#include "editor/smart_text_view.h"
#include "editor/smart_text_view_routing.h"
#include "editor/smart_undo_manager.h"
#include "textengine/transforms/title_case.h"

struct SmartTextView::ActionEntry {
    const char *name;
    void (*perform)(SmartTextView &view);
};

namespace {

using Op = QTextCursor::MoveOperation;

// How long the found change of a CriticMarkup step shows highlighted.
constexpr int kFindIndicatorMs = 600;

QString capitalized(const QString &text) {
    QString result = text.toLower();
    bool inWord = false;
    for (QChar &c : result) {
        if (c.isLetterOrNumber()) {
            if (!inWord)
                c = c.toUpper();
            inWord = true;
        } else {
            inWord = false;
        }
    }
    return result;
}

}  // namespace

// --- The table ----------------------------------------------------------------------------------

const std::vector<SmartTextView::ActionEntry> &SmartTextView::actionTable() {
    using V = SmartTextView;
    static const std::vector<ActionEntry> table = {
        // The Markdown editor's commands
        {"addStrong:", [](V &v) { v.addStrong(); }},
        {"addEmph:", [](V &v) { v.addEmph(); }},
        {"decreaseLine:", [](V &v) { v.decreaseLine(); }},
        {"increaseLine:", [](V &v) { v.increaseLine(); }},
        {"shiftLeft:", [](V &v) { v.shiftLeft(); }},
        {"shiftRight:", [](V &v) { v.shiftRight(); }},
        {"shiftUp:", [](V &v) { v.shiftUp(); }},
        {"shiftDown:", [](V &v) { v.shiftDown(); }},
        {"indent:", [](V &v) { v.shiftRight(); }},
        {"insertBacktab:", [](V &v) { v.shiftLeft(); }},
        {"increaseSelection:", [](V &v) { v.increaseSelection(); }},
        {"decreaseSelection:", [](V &v) { v.decreaseSelection(); }},
        {"moveSelectionToPreviousParagraph:", [](V &v) { v.moveSelectionToPreviousParagraph(); }},
        {"moveSelectionToNextParagraph:", [](V &v) { v.moveSelectionToNextParagraph(); }},
        {"moveSelectionToNextCriticMarkup:", [](V &v) { v.moveSelectionToNextCriticMarkup(); }},
        {"moveSelectionToPreviousCriticMarkup:", [](V &v) { v.moveSelectionToPreviousCriticMarkup(); }},
        {"acceptCurrentCriticMarkup:", [](V &v) { v.acceptCurrentCriticMarkup(); }},
        {"rejectCurrentCriticMarkup:", [](V &v) { v.rejectCurrentCriticMarkup(); }},
        {"toggleChangeTracking:", [](V &v) { v.toggleChangeTracking(); }},
        {"applyTitleCase:", [](V &v) { v.applyTitleCase(); }},
        {"complete:", [](V &v) { v.complete(); }},
        {"cancelOperation:", [](V &v) { v.cancelOperation(); }},
        // Undo
        {"undo:", [](V &v) { v.undoManager()->undo(); }},
        {"redo:", [](V &v) { v.undoManager()->redo(); }},
        {"smartUndo:", [](V &v) { v.smartUndo(); }},
        {"smartRedo:", [](V &v) { v.smartRedo(); }},
        // The base view's switches and copies
        {"toggleAutoZoom:", [](V &v) { v.toggleAutoZoom(); }},
        {"toggleTypewriterMode:", [](V &v) { v.toggleTypewriterMode(); }},
        {"toggleShowLineNumbers:", [](V &v) { v.toggleShowLineNumbers(); }},
        {"toggleShowParagraphNumbers:", [](V &v) { v.toggleShowParagraphNumbers(); }},
        {"toggleShowInvisibleCharacters:", [](V &v) { v.toggleShowInvisibleCharacters(); }},
        {"zoomIn:", [](V &v) { v.zoomIn(); }},
        {"zoomOut:", [](V &v) { v.zoomOut(); }},
        {"copy:", [](V &v) { v.copy(); }},
        {"copyAsPlainText:", [](V &v) { v.copyAsPlainText(); }},
        {"copyAsRichText:", [](V &v) { v.copyAsRichText(); }},
        {"cut:", [](V &v) { v.cut(); }},
        {"paste:", [](V &v) { v.paste(); }},
        {"pasteAsPlainText:", [](V &v) { v.pasteAsPlainText(); }},
        {"performFindPanelAction:", [](V &v) { v.findBar()->showBar(); }},
        // Typing
        {"insertNewline:", [](V &v) { v.insertText(QStringLiteral("\n")); }},
        {"insertNewlineIgnoringFieldEditor:", [](V &v) { v.insertText(QStringLiteral("\n")); }},
        {"insertTab:", [](V &v) { v.insertText(QStringLiteral("\t")); }},
        {"insertTabIgnoringFieldEditor:", [](V &v) { v.insertText(QStringLiteral("\t")); }},
        // Typed without the substitutions typing makes.
        {"insertDoubleQuoteIgnoringSubstitution:", [](V &v) { v.insertText(QStringLiteral("\"")); }},
        {"insertSingleQuoteIgnoringSubstitution:", [](V &v) { v.insertText(QStringLiteral("'")); }},
        // Text services
        {"checkSpelling:", [](V &v) { v.checkSpelling(); }},
        {"showGuessPanel:", [](V &v) { v.showGuessPanel(); }},
        {"toggleContinuousSpellChecking:", [](V &v) { v.togglePreference("checkSpelling"); }},
        {"toggleGrammarChecking:", [](V &v) { v.togglePreference("checkGrammar"); }},
        {"toggleAutomaticSpellingCorrection:", [](V &v) { v.togglePreference("correctSpelling"); }},
        {"toggleAutomaticQuoteSubstitution:", [](V &v) { v.togglePreference("smartQuotes"); }},
        {"toggleAutomaticDashSubstitution:", [](V &v) { v.togglePreference("smartDashes"); }},
        {"toggleAutomaticLinkDetection:", [](V &v) { v.togglePreference("smartLinks"); }},
        {"orderFrontSubstitutionsPanel:", [](V &v) { v.orderFrontSubstitutionsPanel(); }},
        {"startSpeaking:", [](V &v) { v.startSpeaking(); }},
        {"stopSpeaking:", [](V &v) { v.stopSpeaking(); }},
        {"transpose:", [](V &v) { v.transpose(); }},
        {"capitalizeWord:", [](V &v) { v.changeCaseOfWord(LetterCase::Capitalized); }},
        {"lowercaseWord:", [](V &v) { v.changeCaseOfWord(LetterCase::Lower); }},
        {"uppercaseWord:", [](V &v) { v.changeCaseOfWord(LetterCase::Upper); }},
        // Deleting
        {"deleteBackward:", [](V &v) { v.deleteBackward(); }},
        {"deleteBackwardByDecomposingPreviousCharacter:", [](V &v) { v.deleteBackward(); }},
        {"deleteForward:", [](V &v) { v.deleteTowards(Op::NextCharacter, false); }},
        {"delete:", [](V &v) { v.deleteRange(v.selectedRange(), false); }},
        {"deleteWordBackward:", [](V &v) { v.deleteTowards(Op::PreviousWord, false); }},
        {"deleteWordForward:", [](V &v) { v.deleteTowards(Op::NextWord, false); }},
        {"deleteToBeginningOfLine:", [](V &v) { v.deleteTowards(Op::StartOfLine, true); }},
        {"deleteToEndOfLine:", [](V &v) { v.deleteTowards(Op::EndOfLine, true); }},
        {"deleteToBeginningOfParagraph:", [](V &v) { v.deleteTowards(Op::StartOfBlock, true); }},
        {"deleteToEndOfParagraph:", [](V &v) { v.deleteTowards(Op::EndOfBlock, true); }},
        {"yank:", [](V &v) { v.yank(false); }},
        {"yankAndSelect:", [](V &v) { v.yank(true); }},
        // The mark
        {"setMark:", [](V &v) { v.m_mark = v.selectedRange().location; }},
        {"deleteToMark:", [](V &v) {
             if (v.m_mark) {
                 const qsizetype caret = v.selectedRange().location;
                 const qsizetype mark = qMin(*v.m_mark, v.storage()->length());
                 v.deleteRange({qMin(caret, mark), std::abs(caret - mark)}, true);
             }
         }},
        {"selectToMark:", [](V &v) {
             if (v.m_mark) {
                 const qsizetype caret = v.selectedRange().location;
                 const qsizetype mark = qMin(*v.m_mark, v.storage()->length());
                 v.setSelectedRange({qMin(caret, mark), std::abs(caret - mark)});
             }
         }},
        {"swapWithMark:", [](V &v) {
             if (v.m_mark) {
                 const qsizetype caret = v.selectedRange().location;
                 v.setSelectedRange({qMin(*v.m_mark, v.storage()->length()), 0});
                 v.m_mark = caret;
                 v.makeCaretVisible();
             }
         }},
        // Moving
        {"moveForward:", [](V &v) { v.collapseOrMove(true, false); }},
        {"moveRight:", [](V &v) { v.collapseOrMove(true, false); }},
        {"moveBackward:", [](V &v) { v.collapseOrMove(false, false); }},
        {"moveLeft:", [](V &v) { v.collapseOrMove(false, false); }},
        {"moveForwardAndModifySelection:", [](V &v) { v.collapseOrMove(true, true); }},
        {"moveRightAndModifySelection:", [](V &v) { v.collapseOrMove(true, true); }},
        {"moveBackwardAndModifySelection:", [](V &v) { v.collapseOrMove(false, true); }},
        {"moveLeftAndModifySelection:", [](V &v) { v.collapseOrMove(false, true); }},
        {"moveUp:", [](V &v) { v.moveCaret(Op::Up, false); }},
        {"moveDown:", [](V &v) { v.moveCaret(Op::Down, false); }},
        {"moveUpAndModifySelection:", [](V &v) { v.moveCaret(Op::Up, true); }},
        {"moveDownAndModifySelection:", [](V &v) { v.moveCaret(Op::Down, true); }},
        {"moveWordForward:", [](V &v) { v.moveCaret(Op::NextWord, false); }},
        {"moveWordRight:", [](V &v) { v.moveCaret(Op::NextWord, false); }},
        {"moveWordBackward:", [](V &v) { v.moveCaret(Op::PreviousWord, false); }},
        {"moveWordLeft:", [](V &v) { v.moveCaret(Op::PreviousWord, false); }},
        {"moveWordForwardAndModifySelection:", [](V &v) { v.moveCaret(Op::NextWord, true); }},
        {"moveWordRightAndModifySelection:", [](V &v) { v.moveCaret(Op::NextWord, true); }},
        {"moveWordBackwardAndModifySelection:", [](V &v) { v.moveCaret(Op::PreviousWord, true); }},
        {"moveWordLeftAndModifySelection:", [](V &v) { v.moveCaret(Op::PreviousWord, true); }},
        {"moveToBeginningOfLine:", [](V &v) { v.moveCaret(Op::StartOfLine, false); }},
        {"moveToLeftEndOfLine:", [](V &v) { v.moveCaret(Op::StartOfLine, false); }},
        {"moveToEndOfLine:", [](V &v) { v.moveCaret(Op::EndOfLine, false); }},
        {"moveToRightEndOfLine:", [](V &v) { v.moveCaret(Op::EndOfLine, false); }},
        {"moveToBeginningOfLineAndModifySelection:", [](V &v) { v.moveCaret(Op::StartOfLine, true); }},
        {"moveToLeftEndOfLineAndModifySelection:", [](V &v) { v.moveCaret(Op::StartOfLine, true); }},
        {"moveToEndOfLineAndModifySelection:", [](V &v) { v.moveCaret(Op::EndOfLine, true); }},
        {"moveToRightEndOfLineAndModifySelection:", [](V &v) { v.moveCaret(Op::EndOfLine, true); }},
        {"moveToBeginningOfParagraph:", [](V &v) { v.moveCaret(Op::StartOfBlock, false); }},
        {"moveToEndOfParagraph:", [](V &v) { v.moveCaret(Op::EndOfBlock, false); }},
        {"moveToBeginningOfParagraphAndModifySelection:", [](V &v) { v.moveCaret(Op::StartOfBlock, true); }},
        {"moveToEndOfParagraphAndModifySelection:", [](V &v) { v.moveCaret(Op::EndOfBlock, true); }},
        {"moveParagraphBackwardAndModifySelection:", [](V &v) {
             const QTextCursor caret = v.textCursor();
             const bool atStart = caret.position() == v.storage()->lineOf(caret.block()).first.position();
             v.moveCaret(atStart ? Op::PreviousBlock : Op::StartOfBlock, true);
         }},
        {"moveParagraphForwardAndModifySelection:", [](V &v) {
             const QTextCursor caret = v.textCursor();
             const QTextBlock last = v.storage()->lineOf(caret.block()).second;
             if (caret.position() == last.position() + last.length() - 1)
                 v.moveCaret(Op::NextBlock, true);
             v.moveCaret(Op::EndOfBlock, true);
         }},
        {"moveToBeginningOfDocument:", [](V &v) { v.moveCaret(Op::Start, false); }},
        {"moveToEndOfDocument:", [](V &v) { v.moveCaret(Op::End, false); }},
        {"moveToBeginningOfDocumentAndModifySelection:", [](V &v) { v.moveCaret(Op::Start, true); }},
        {"moveToEndOfDocumentAndModifySelection:", [](V &v) { v.moveCaret(Op::End, true); }},
        {"pageDown:", [](V &v) { v.movePage(true, false); }},
        {"pageUp:", [](V &v) { v.movePage(false, false); }},
        {"pageDownAndModifySelection:", [](V &v) { v.movePage(true, true); }},
        {"pageUpAndModifySelection:", [](V &v) { v.movePage(false, true); }},
        // Scrolling and selecting
        {"scrollLineDown:", [](V &v) { v.verticalScrollBar()->triggerAction(QScrollBar::SliderSingleStepAdd); }},
        {"scrollLineUp:", [](V &v) { v.verticalScrollBar()->triggerAction(QScrollBar::SliderSingleStepSub); }},
        {"scrollPageDown:", [](V &v) { v.verticalScrollBar()->triggerAction(QScrollBar::SliderPageStepAdd); }},
        {"scrollPageUp:", [](V &v) { v.verticalScrollBar()->triggerAction(QScrollBar::SliderPageStepSub); }},
        {"scrollToBeginningOfDocument:", [](V &v) { v.verticalScrollBar()->triggerAction(QScrollBar::SliderToMinimum); }},
        {"scrollToEndOfDocument:", [](V &v) { v.verticalScrollBar()->triggerAction(QScrollBar::SliderToMaximum); }},
        {"centerSelectionInVisibleArea:", [](V &v) { v.centerRange(v.selectedRange(), false); }},
        {"selectAll:", [](V &v) { v.selectAll(); }},
        {"selectWord:", [](V &v) {
             QTextCursor cursor = v.textCursor();
             cursor.select(QTextCursor::WordUnderCursor);
             v.setTextCursor(cursor);
         }},
        {"selectLine:", [](V &v) {
             QTextCursor cursor = v.textCursor();
             cursor.select(QTextCursor::LineUnderCursor);
             v.setTextCursor(cursor);
         }},
        {"selectParagraph:", [](V &v) {
             // The paragraph with its line end (a line shown in parts whole).
             const auto [first, last] = v.storage()->lineOf(v.textCursor().block());
             const qsizetype end = qMin<qsizetype>(last.position() + last.length(), v.storage()->length());
             v.setSelectedRange({first.position(), end - first.position()});
         }},
    };
    return table;
}

const SmartTextView::ActionEntry *SmartTextView::findAction(const QString &action) {
    static const QHash<QString, const ActionEntry *> index = [] {
        QHash<QString, const ActionEntry *> map;
        for (const ActionEntry &entry : actionTable())
            map.insert(QString::fromLatin1(entry.name), &entry);
        return map;
    }();
    return index.value(action, nullptr);
}

bool SmartTextView::respondsToAction(const QString &action) const {
    return findAction(action) != nullptr;
}

void SmartTextView::performAction(const QString &action, QObject *) {
    // A command acts on the whole text, which the document must hold.
    if (const ActionEntry *entry = findAction(action)) {
        storage()->finishLayingIn();
        entry->perform(*this);
    }
}

bool SmartTextView::validateAction(const QString &action, QAction *item) {
    return validateUserInterfaceItem(action, item);
}

bool SmartTextView::validateUserInterfaceItem(const QString &action, QAction *item) {
    const auto is = [&action](const char *name) { return action == QLatin1String(name); };
    if (is("undo:") || is("smartUndo:"))
        return canUndo();
    if (is("redo:") || is("smartRedo:"))
        return canRedo();
    if (is("performFindPanelAction:"))
        return true;
    bool enabled = true;
    if (validateTextService(action, item, &enabled))
        return enabled;
    if (is("cut:") || is("delete:"))
        return selectedRange().length > 0;
    if (is("toggleChangeTracking:") && item) {
        item->setCheckable(true);
        item->setChecked(isTrackingChanges());
    }
    return KVXTextView::validateUserInterfaceItem(action, item);
}

// --- Commands passed to the storage ------------------------------------------------------------

void SmartTextView::runStorageCommand(void (SmartTextStorage::*command)(CharRange)) {
    RoutedEdit routed(this);
    (storage()->*command)(selectedRange());
    didChangeTextOrSelection();
}

void SmartTextView::runSelectionCommand(void (SmartTextStorage::*command)(CharRange)) {
    (storage()->*command)(selectedRange());
    moveToNewSelection();
}

void SmartTextView::addStrong() { runStorageCommand(&SmartTextStorage::addStrongToRange); }
void SmartTextView::addEmph() { runStorageCommand(&SmartTextStorage::addEmphToRange); }
void SmartTextView::decreaseLine() { runStorageCommand(&SmartTextStorage::decreaseLine); }
void SmartTextView::increaseLine() { runStorageCommand(&SmartTextStorage::increaseLine); }
void SmartTextView::shiftLeft() { runStorageCommand(&SmartTextStorage::shiftRangeLeft); }
void SmartTextView::shiftRight() { runStorageCommand(&SmartTextStorage::shiftRangeRight); }
void SmartTextView::shiftUp() { runStorageCommand(&SmartTextStorage::shiftRangeUp); }
void SmartTextView::shiftDown() { runStorageCommand(&SmartTextStorage::shiftRangeDown); }

void SmartTextView::increaseSelection() { runSelectionCommand(&SmartTextStorage::increaseSelection); }
void SmartTextView::decreaseSelection() { runSelectionCommand(&SmartTextStorage::decreaseSelection); }
void SmartTextView::moveSelectionToPreviousParagraph() {
    runSelectionCommand(&SmartTextStorage::moveSelectionToPreviousParagraph);
}
void SmartTextView::moveSelectionToNextParagraph() {
    runSelectionCommand(&SmartTextStorage::moveSelectionToNextParagraph);
}

bool SmartTextView::moveToCHeadings(const std::vector<HeadingRow> &headings,
                                    const HeadingRow *ontoHeading, const HeadingRow *beforeHeading,
                                    const HeadingRow *afterHeading) {
    // The storage refuses a move that does not fit the text; the selection
    // stays where Qt keeps it.
    return storage()->moveToCHeadings(headings, ontoHeading, beforeHeading, afterHeading);
}

// --- CriticMarkup ------------------------------------------------------------------------------

void SmartTextView::showRange(CharRange range) {
    setSelectedRange(range);
    makeCaretVisible();
    // The find indicator: the range lit up for a moment.
    QTextEdit::ExtraSelection indicator;
    indicator.cursor = textCursor();
    indicator.format.setBackground(QColor(255, 230, 0, 160));
    setExtraSelections({indicator});
    QTimer::singleShot(kFindIndicatorMs, this, [this] { setExtraSelections({}); });
}

void SmartTextView::moveSelectionToNextCriticMarkup() {
    if (const auto found = storage()->rangeOfNextCriticChange(selectedRange().end()))
        showRange(*found);
}

void SmartTextView::moveSelectionToPreviousCriticMarkup() {
    if (const auto found = storage()->rangeOfPreviousCriticChange(selectedRange().location))
        showRange(*found);
}

void SmartTextView::alertCriticMarkupBlocked() {
    platform::Dispatch::main([] {
        platform::Alerts::runModal({QStringLiteral("Alert"),
                                    QStringLiteral("You cannot modify CriticMarkup while change tracking is enabled."),
                                    {QStringLiteral("OK")},
                                    platform::AlertStyle::Informational});
    });
}

void SmartTextView::acceptCurrentCriticMarkup() {
    const auto found = storage()->rangeOfCriticChangeIntersectingRange(selectedRange());
    if (found && isTrackingChanges()) {
        alertCriticMarkupBlocked();
    } else if (found) {
        RoutedEdit routed(this);
        storage()->replaceCharactersInRange(*found, stringAcceptingChanges(textOfRange(*found)));
    }
}

void SmartTextView::rejectCurrentCriticMarkup() {
    const auto found = storage()->rangeOfCriticChangeIntersectingRange(selectedRange());
    if (found && isTrackingChanges()) {
        alertCriticMarkupBlocked();
    } else if (found) {
        RoutedEdit routed(this);
        storage()->replaceCharactersInRange(*found, stringRejectingChanges(textOfRange(*found)));
    }
}

void SmartTextView::toggleChangeTracking() { storage()->toggleChangeTracking(); }

bool SmartTextView::isTrackingChanges() const { return storage()->isTrackingChanges(); }

void SmartTextView::applyTitleCase() {
    const CharRange selection = selectedRange();
    if (selection.length == 0)
        return;
    const QByteArray bytes = textOfRange(selection).toUtf8();
    char *titled = title_case_first_line(bytes.constData());
    if (!titled)
        return;
    const QString result = QString::fromUtf8(titled);
    free(titled);
    RoutedEdit routed(this);
    storage()->replaceCharactersInRange(selection, result);
}

void SmartTextView::setLastUndoTags(quint64 tags) { storage()->setLastUndoTags(tags); }

// --- Moving ----------------------------------------------------------------------------------------

void SmartTextView::moveCaret(int operation, bool extend) {
    QTextCursor cursor = textCursor();
    moveByLines(cursor, operation, extend ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    setTextCursor(cursor);
    makeCaretVisible();
}

void SmartTextView::moveByLines(QTextCursor &cursor, int operation, QTextCursor::MoveMode mode) const {
    const auto [first, last] = storage()->lineOf(cursor.block());
    int target = -1;
    switch (operation) {
    case Op::StartOfBlock:
        target = first.position();
        break;
    case Op::EndOfBlock:
        target = last.position() + last.length() - 1;
        break;
    case Op::PreviousBlock:
        if (first.previous().isValid())
            target = storage()->lineOf(first.previous()).first.position();
        break;
    case Op::NextBlock:
        if (last.next().isValid())
            target = last.next().position();
        break;
    default:
        cursor.movePosition(QTextCursor::MoveOperation(operation), mode);
        return;
    }
    if (target >= 0)
        cursor.setPosition(target, mode);
}

// Moving left or right without extending first collapses a selection to
// the side moved to.
void SmartTextView::collapseOrMove(bool forward, bool extend) {
    const CharRange selection = selectedRange();
    if (!extend && selection.length > 0) {
        setSelectedRange({forward ? selection.end() : selection.location, 0});
        makeCaretVisible();
        return;
    }
    moveCaret(forward ? Op::NextCharacter : Op::PreviousCharacter, extend);
}

// A page: the caret keeps its place in the view while the text scrolls by
// the visible height; at either end of the text it goes to that end.
void SmartTextView::movePage(bool down, bool extend) {
    QScrollBar *bar = verticalScrollBar();
    const QPoint caret = cursorRect().center();
    const int before = bar->value();
    bar->setValue(before + (down ? 1 : -1) * viewport()->height());
    QTextCursor cursor = textCursor();
    const auto mode = extend ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    if (bar->value() == before)
        cursor.movePosition(down ? Op::End : Op::Start, mode);
    else
        cursor.setPosition(cursorForPosition(caret).position(), mode);
    setTextCursor(cursor);
}

// --- Deleting and case ---------------------------------------------------------------------------------

void SmartTextView::deleteRange(CharRange range, bool kill) {
    if (range.length <= 0)
        return;
    if (kill)
        m_killBuffer = textOfRange(range);
    setTypedSpace(false);
    RoutedEdit routed(this);
    storage()->replaceCharactersInRange(range, QString());
}

// The selection, or from the caret to where `operation` moves it; at a
// paragraph's end, deleting to its end takes the line end.
void SmartTextView::deleteTowards(int operation, bool kill) {
    const CharRange selection = selectedRange();
    if (selection.length > 0)
        return deleteRange(selection, kill);
    QTextCursor cursor = textCursor();
    moveByLines(cursor, operation, QTextCursor::KeepAnchor);
    CharRange range{cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
    if (range.length == 0 && operation == Op::EndOfBlock && range.location < storage()->length())
        range.length = 1;
    deleteRange(range, kill);
}

void SmartTextView::yank(bool select) {
    if (m_killBuffer.isEmpty())
        return;
    const qsizetype at = selectedRange().location;
    insertText(m_killBuffer);
    if (select)
        setSelectedRange({at, selectedRange().end() - at});
}

void SmartTextView::transpose() {
    const qsizetype n = storage()->length();
    qsizetype at = selectedRange().location;
    if (n < 2)
        return;
    QTextCursor cursor(document());
    cursor.setPosition(int(at));
    if (at == n) {
        // At the end, the last two characters change places.
        cursor.movePosition(Op::PreviousCharacter);
        at = cursor.position();
    }
    cursor.movePosition(Op::PreviousCharacter);
    const qsizetype from = cursor.position();
    cursor.setPosition(int(at));
    cursor.movePosition(Op::NextCharacter);
    const qsizetype to = cursor.position();
    if (from == at || to == at)
        return;
    const QString text = textOfRange({from, to - from});
    RoutedEdit routed(this);
    storage()->replaceCharactersInRange({from, to - from}, text.mid(at - from) + text.left(at - from));
}

// The selection, or the word at the caret, in another case; the text stays
// selected.
void SmartTextView::changeCaseOfWord(LetterCase letterCase) {
    CharRange range = selectedRange();
    if (range.length == 0) {
        QTextCursor cursor = textCursor();
        cursor.select(QTextCursor::WordUnderCursor);
        range = {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
    }
    if (range.length == 0)
        return;
    const QString text = textOfRange(range);
    const QString changed = letterCase == LetterCase::Capitalized ? capitalized(text)
                            : letterCase == LetterCase::Lower     ? text.toLower()
                                                                  : text.toUpper();
    if (changed == text)
        return;
    {
        RoutedEdit routed(this);
        storage()->replaceCharactersInRange(range, changed);
    }
    setSelectedRange({range.location, qMin(changed.size(), storage()->length() - range.location)});
}
