// SmartTextView: the clipboard, the middle button's selection, drops and
// drags, and the mouse presses that start them; the context menu.
//
// Every way Qt would put text into the document by itself ends here, in the
// storage: QTextEdit's paste and its middle-button paste come through
// insertFromMimeData; drops are taken whole (QTextEdit would remove a moved
// selection from the document itself); and a drag of the selection is
// started here rather than by QTextEdit, whose drag would delete text moved
// out of the view directly from the document.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStringDecoder>
#include <QTextBlock>

#include "editor/input/completion_popup.h"
#include "editor/input/context_menu_controllers.h"
#include "editor/input/incoming_text.h"
#include "editor/smart_text_view.h"
#include "editor/smart_text_view_routing.h"
#include "platform/text/pasteboard.h"

namespace {

// Firefox and Chromium name a dragged link in this type: UTF-16, the
// address and its title on two lines.
const char kMozillaURL[] = "text/x-moz-url";

// A drag of an editor's selection: "<view>:<edit generation>:<location>:<length>".
const char kTextDrag[] = "application/x-orvane-text-drag";

QString nameOfDraggedURL(const QMimeData *data) {
    if (!data->hasFormat(QLatin1String(kMozillaURL)))
        return QString();
    const QByteArray bytes = data->data(QLatin1String(kMozillaURL));
    QStringDecoder decode(QStringDecoder::Utf16);
    const QStringList lines = QString(decode(bytes)).split(QLatin1Char('\n'));
    return lines.size() > 1 ? lines[1].trimmed() : QString();
}

}  // namespace

// --- The clipboard ----------------------------------------------------------------------

void SmartTextView::paste() { pasteAsPlainText(); }

void SmartTextView::pasteAsPlainText() {
    const std::optional<QString> pasted = platform::Pasteboard::string();
    if (!pasted)
        return;
    const CharRange selection = selectedRange();
    if (const std::optional<QString> link =
            incoming::linkForPastedText(*pasted, textOfRange(selection))) {
        insertText(*link, selection);
        return;
    }
    insertIncomingText(*pasted);
}

void SmartTextView::cut() {
    const CharRange selection = selectedRange();
    if (selection.length == 0)
        return;
    stringToPasteboard(textOfRange(selection));
    RoutedEdit routed(this);
    storage()->replaceCharactersInRange(selection, QString());
}

bool SmartTextView::stringIsValidURL(const QString &text) { return incoming::isValidURL(text); }

void SmartTextView::insertIncomingText(const QString &text) {
    insertText(incoming::normalizedText(text));
}

bool SmartTextView::canInsertFromMimeData(const QMimeData *source) const {
    return source && (source->hasUrls() || source->hasText());
}

// Whatever QTextEdit itself would insert (its paste, the middle button's
// selection on X11) arrives as plain text, through the storage.
void SmartTextView::insertFromMimeData(const QMimeData *source) {
    if (source && source->hasText())
        insertIncomingText(source->text());
}

// --- The selection buffer -------------------------------------------------------------------

void SmartTextView::pasteSelectionBuffer(const QPoint &at) {
    const std::optional<QString> text = platform::Pasteboard::selectionString();
    if (!text || text->isEmpty())
        return;
    setSelectedRange({cursorForPosition(at).position(), 0});
    insertIncomingText(*text);
}

// X11 keeps the selection itself (QTextEdit hands it over); elsewhere the
// program's own buffer takes the editor's selections.
void SmartTextView::publishSelectionBuffer() {
    if (QGuiApplication::clipboard()->supportsSelection())
        return;
    const CharRange selection = selectedRange();
    if (selection.length > 0)
        platform::Pasteboard::setSelectionString(textOfRange(selection));
}

// --- Drops ----------------------------------------------------------------------------------

void SmartTextView::dropEvent(QDropEvent *event) {
    const QMimeData *data = event->mimeData();
    const qsizetype at = cursorForPosition(event->position().toPoint()).position();
    setFocus(Qt::MouseFocusReason);
    // QTextEdit's drop caret goes as the drag ends.
    QDragLeaveEvent leave;
    KVXTextView::dragLeaveEvent(&leave);
    if (data->hasUrls() && !data->urls().isEmpty()) {
        setSelectedRange({at, 0});
        concludeDragOperation(event);
        return;
    }
    if (!data->hasText()) {
        event->ignore();
        return;
    }
    const std::optional<CharRange> moved = draggedRangeOf(data);
    if (moved && event->dropAction() == Qt::MoveAction) {
        // Text moved within the view: one edit of the storage.
        if (at < moved->location || at > moved->end()) {
            RoutedEdit routed(this);
            storage()->moveCharactersInRange(*moved, at);
        }
        event->acceptProposedAction();
        return;
    }
    setSelectedRange({at, 0});
    insertIncomingText(data->text());
    // The dropped text comes selected.
    const CharRange after = selectedRange();
    setSelectedRange({at, qMax<qsizetype>(0, after.end() - at)});
    event->acceptProposedAction();
}

// A dropped address or file becomes Markdown: a link, or a file's path
// relative to the document's folder (an image link for an image).
void SmartTextView::concludeDragOperation(QDropEvent *event) {
    const QMimeData *data = event->mimeData();
    const QString document = m_owningDocument ? m_owningDocument->filePath() : QString();
    // The link's name comes from the dragging program: made safe as text.
    insertIncomingText(
        incoming::markdownForDroppedURL(data->urls().first(), nameOfDraggedURL(data), document));
    event->acceptProposedAction();
}

// --- The mouse -------------------------------------------------------------------------------

void SmartTextView::mousePressEvent(QMouseEvent *event) {
    m_dragCandidate = false;
    if (m_completionPopup)
        m_completionPopup->hide();
    if (event->button() == Qt::MiddleButton) {
        event->accept();  // pasted when released
        return;
    }
    // Ctrl+click on an address shown as a link opens it.
    if (event->button() == Qt::LeftButton && event->modifiers() == Qt::ControlModifier &&
        openLinkAt(event->position().toPoint())) {
        event->accept();
        return;
    }
    const CharRange selection = selectedRange();
    const bool tripleClick =
        m_lastDoubleClick.isValid() && m_lastDoubleClick.elapsed() < QApplication::doubleClickInterval();
    if (event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier &&
        selection.length > 0 && !tripleClick) {
        const qsizetype at = cursorForPosition(event->position().toPoint()).position();
        if (at >= selection.location && at < selection.end()) {
            // Perhaps a drag of the selection; a click if the mouse stays.
            m_dragCandidate = true;
            m_dragStart = event->position().toPoint();
            event->accept();
            return;
        }
    }
    KVXTextView::mousePressEvent(event);
}

void SmartTextView::mouseMoveEvent(QMouseEvent *event) {
    if (m_dragCandidate) {
        if ((event->position().toPoint() - m_dragStart).manhattanLength() >=
            QApplication::startDragDistance()) {
            m_dragCandidate = false;
            startTextDrag();
        }
        event->accept();
        return;
    }
    KVXTextView::mouseMoveEvent(event);
}

void SmartTextView::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::MiddleButton) {
        pasteSelectionBuffer(event->position().toPoint());
        event->accept();
        return;
    }
    if (m_dragCandidate) {
        m_dragCandidate = false;
        setSelectedRange({cursorForPosition(event->position().toPoint()).position(), 0});
        event->accept();
        return;
    }
    KVXTextView::mouseReleaseEvent(event);
}

void SmartTextView::mouseDoubleClickEvent(QMouseEvent *event) {
    m_dragCandidate = false;
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    m_lastDoubleClick.start();
    KVXTextView::mouseDoubleClickEvent(event);
}

QMimeData *SmartTextView::dragDataForSelection() const {
    const CharRange range = selectedRange();
    QMimeData *data = createMimeDataFromSelection();
    data->setData(QLatin1String(kTextDrag),
                  QStringLiteral("%1:%2:%3:%4")
                      .arg(quintptr(this))
                      .arg(storage()->editGeneration())
                      .arg(range.location)
                      .arg(range.length)
                      .toLatin1());
    return data;
}

std::optional<CharRange> SmartTextView::draggedRangeOf(const QMimeData *data) const {
    const QList<QByteArray> fields = data->data(QLatin1String(kTextDrag)).split(':');
    if (fields.size() != 4 || fields[0].toULongLong() != quintptr(this) ||
        fields[1].toULongLong() != storage()->editGeneration())
        return std::nullopt;
    const CharRange range{fields[2].toLongLong(), fields[3].toLongLong()};
    if (range.location < 0 || range.length <= 0 || range.end() > storage()->length())
        return std::nullopt;
    return range;
}

// The selection dragged out of the view is removed through the storage when
// the drop moved it; dropped back into the view, dropEvent moved it.
void SmartTextView::startTextDrag() {
    const CharRange range = selectedRange();
    const quint64 generation = storage()->editGeneration();
    auto *drag = new QDrag(this);
    drag->setMimeData(dragDataForSelection());
    const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    const QObject *target = drag->target();
    const bool here = target == this || target == viewport();
    // Text changed meanwhile leaves nothing sure to remove.
    if (action == Qt::MoveAction && !here && storage()->editGeneration() == generation) {
        RoutedEdit routed(this);
        storage()->replaceCharactersInRange(range, QString());
    }
}

// --- Menus and focus ---------------------------------------------------------------------------

// The shared context menu, never QTextEdit's own (whose items would edit the
// document directly).
// A misspelt word under the pointer (or at the caret, for the menu key)
// puts its guesses first, for this showing only: the menu itself is shared.
void SmartTextView::contextMenuEvent(QContextMenuEvent *event) {
    setFocus(Qt::PopupFocusReason);
    QMenu *menu = SmartTextContextMenuController::sharedController().contextMenu();
    if (!menu) {
        event->accept();
        return;
    }
    const qsizetype at = event->reason() == QContextMenuEvent::Mouse ? cursorForPosition(event->pos()).position()
                                                                     : selectedRange().location;
    const QList<QAction *> spelling = spellingMenuItems(at, menu);
    QAction *first = menu->actions().value(0);
    menu->insertActions(first, spelling);
    if (!menu->isEmpty())
        menu->exec(event->globalPos());
    for (QAction *item : spelling) {
        menu->removeAction(item);
        delete item;
    }
    event->accept();
}

void SmartTextView::focusOutEvent(QFocusEvent *event) {
    // A menu, an alert, a dialog or another window took the keyboard: the
    // completion offered was not chosen, and its Escape is not the list's.
    withdrawOfferedText();
    if (m_completionPopup)
        m_completionPopup->hide();
    KVXTextView::focusOutEvent(event);
}
