// KVXTextView: keeping the caret in view, typewriter scrolling and
// centring, the positions other views read, and the top line held still
// while the heights of blocks above it settle.
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

#include "editor/editor_log.h"
#include "editor/view/kvx_text_view.h"
#include "editor/view/lazy_document_layout.h"
#include "platform/prefs/defaults.h"

using namespace zoomgeometry;

// --- Geometry of ranges ---------------------------------------------------------------

QTextBlock KVXTextView::blockAtDocumentY(qreal y) const {
    const int position = m_storage->documentLayout()->hitTest(QPointF(0, y), Qt::FuzzyHit);
    QTextBlock block = document()->findBlock(qMax(0, position));
    return block.isValid() ? block : document()->firstBlock();
}

// The rectangle the glyphs of a range take, in document pixels: the union of
// the parts of the lines it covers; an empty range gives its caret line.
QRectF KVXTextView::documentRectForRange(CharRange range) const {
    const qsizetype n = m_storage->length();
    const int from = int(qBound<qsizetype>(0, range.location, n));
    const int to = int(qBound<qsizetype>(from, range.end(), n));
    LazyDocumentLayout *layout = m_storage->documentLayout();
    QRectF result;
    bool any = false;
    auto add = [&](const QRectF &r) {
        result = any ? result.united(r) : r;
        any = true;
    };
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        const QPointF origin = layout->blockBoundingRect(block).topLeft();
        const QTextLayout *lines = block.layout();
        if (lines->lineCount() == 0)
            continue;
        const int start = qMax(0, from - block.position());
        const int end = qMin(block.length() - 1, to - block.position());
        if (from == to) {
            const QTextLine line = lines->lineForTextPosition(start);
            if (line.isValid())
                add(QRectF(origin.x() + line.cursorToX(start), origin.y() + line.y(), 0,
                           line.height()));
            break;
        }
        for (int i = 0; i < lines->lineCount(); i++) {
            const QTextLine line = lines->lineAt(i);
            const int lineStart = line.textStart();
            const int lineEnd = lineStart + line.textLength();
            if (lineEnd < start || lineStart > end || (lineStart == end && end > start && i > 0))
                continue;
            const qreal x1 = line.cursorToX(qMax(start, lineStart));
            const qreal x2 = line.cursorToX(qMin(end, lineEnd));
            add(QRectF(origin.x() + qMin(x1, x2), origin.y() + line.y(), qAbs(x2 - x1),
                       line.height()));
        }
    }
    return result;
}

QRectF KVXTextView::offsetRectForLocation(CharRange range) const {
    return documentRectForRange(range).translated(0, -m_storage->documentLayout()->topPadding());
}

double KVXTextView::screenPositionForLocation(CharRange range) const {
    const QRectF r = offsetRectForLocation(range);
    const double visibleTop = verticalScrollBar()->value();
    const double visibleHeight = viewport()->height();
    const double inset = m_storage->documentLayout()->topPadding();
    return (r.height() * 0.5 + r.top() + inset - visibleTop) / visibleHeight;
}

double KVXTextView::cursorPosition() const { return screenPositionForLocation(selectedRange()); }

QRectF KVXTextView::percentOffsetRectForRange(CharRange range) const {
    const QRectF first = offsetRectForLocation({range.location, 1});
    const QRectF whole = offsetRectForLocation(range);
    LazyDocumentLayout *layout = m_storage->documentLayout();
    const double height = layout->documentSize().height();
    const double inset = layout->topPadding();
    return QRectF(whole.x(), (first.height() * 0.5 + inset + whole.top()) / height, whole.width(),
                  whole.height() / height);
}

// --- Scrolling ----------------------------------------------------------------------------

double KVXTextView::scrollY() const { return geometry().toText(verticalScrollBar()->value()); }

void KVXTextView::scrollToY(double textY) {
    verticalScrollBar()->setValue(int(std::floor(geometry().toScreen(textY))));
}

// A block not laid out yet has the height its length gives: scrolled to
// with such heights around it, a position would move out of the view once
// the blocks in view are laid out to be painted. They are laid out first.
void KVXTextView::layOutAround(qsizetype position) {
    const QTextBlock target = document()->findBlock(int(qBound<qsizetype>(0, position, m_storage->length())));
    const qreal screen = viewport()->height();
    m_storage->documentLayout()->layOutAround(target, screen, screen);
}

void KVXTextView::makeCaretVisible() {
    const QTextCursor cursor = textCursor();
    layOutAround(cursor.position());
    if (documentRectForRange({cursor.position(), 0}).isNull()) {
        qCWarning(lcEditor, "error in makeCaretVisible");
        return;
    }
    ensureCursorVisible();
    holdCaretLine();
}

void KVXTextView::locateOnCaret() {
    if (m_typewriterMode)
        forceRecenterCaret();
    else
        makeCaretVisible();
}

void KVXTextView::textDidChange() {
    const qsizetype n = m_storage->length();
    const CharRange selection = selectedRange();
    if (selection.end() > n) {
        if (selection.location == n) {
            setSelectedRange({n, 0});
        } else {
            const qsizetype start = qMin(selection.location, n);
            setSelectedRange({start, qMin(selection.end(), n) - start});
        }
    }
    locateOnCaret();
    rememberTopLine();
}

QPointF KVXTextView::idealScrollPointForCenteringRange(CharRange range, bool useTarget) const {
    const ZoomGeometry g = geometry();
    const QRectF r = offsetRectForLocation(range);
    const double y = idealScrollY(g.toText(viewHeight()), useTarget ? m_typewriterHeight : 0.5,
                                  verticalPadding(), g.toText(r.top()), g.toText(r.height()));
    return QPointF(0, std::floor(y));
}

// The height of the view's bounds in text coordinates: the text's with its
// padding, or the visible height when the text is shorter.
double KVXTextView::boundsHeight() const {
    return geometry().toText(std::max(m_storage->documentLayout()->documentSize().height(),
                                      double(viewport()->height())));
}

QPointF KVXTextView::safeScrollPointForCenteringRange(CharRange range, bool useTarget) const {
    const QPointF ideal = idealScrollPointForCenteringRange(range, useTarget);
    return QPointF(ideal.x(),
                   safeScrollY(ideal.y(), boundsHeight(), geometry().toText(viewHeight())));
}

void KVXTextView::centerRange(CharRange range, bool useTarget) {
    if (range.end() > m_storage->length()) {
        qCWarning(lcEditor, "failed sanity check on scroll");
        return;
    }
    layOutAround(range.location);
    scrollToY(safeScrollPointForCenteringRange(range, useTarget).y());
    holdCaretLine();
}

void KVXTextView::centerTopOfRange(CharRange range, bool useTarget) {
    centerRange({range.location, 0}, useTarget);
}

void KVXTextView::centerBottomOfRange(CharRange range, bool useTarget) {
    centerRange({range.end(), 0}, useTarget);
}

void KVXTextView::centerCaretUsingTarget(bool useTarget) {
    const CharRange selection = selectedRange();
    if (m_typewriterMode && m_defaults->boolForKey(QStringLiteral("typewriterFollowsSelection"))) {
        if (m_oldSelectedRange == selection)
            return;
        // The end that moved is the one followed: extending a selection
        // downwards keeps its bottom in place.
        if (selection.location != m_oldSelectedRange.location)
            centerTopOfRange(selection, useTarget);
        else
            centerBottomOfRange(selection, useTarget);
        m_oldSelectedRange = selection;
        return;
    }
    centerTopOfRange(selection, useTarget);
}

void KVXTextView::forceRecenterCaret() {
    m_oldSelectedRange = kNoRange;
    centerCaretUsingTarget(true);
}

void KVXTextView::toggleTypewriterMode() {
    m_typewriterMode = !m_typewriterMode;
    m_defaults->setBool(m_typewriterMode, QStringLiteral("defaultTypewriterMode"));
    const double oldInset = geometry().toText(m_storage->documentLayout()->topPadding());
    adjustMargins();
    refreshLayout();
    tryToCenterRange(selectedRange(), oldInset);
}

void KVXTextView::tryToCenterRange(CharRange range, double oldContentInset) {
    if (range.end() > m_storage->length()) {
        qCWarning(lcEditor, "failed sanity check on scroll");
        return;
    }
    layOutAround(range.location);
    const QPointF ideal = idealScrollPointForCenteringRange(range, true);
    const double y = std::max(ideal.y(), 0.0);
    double limit = verticalPadding() + boundsHeight() - 2 * oldContentInset;
    if (m_typewriterMode)
        limit += viewHeight();
    scrollToY(std::min(y, limit));
    holdCaretLine();
}

// --- The top line while heights settle ---------------------------------------------------------

// The block the view shows at its top and how far below that block's top
// the view stands, remembered whenever the view scrolls by other means than
// its own relayouts.
void KVXTextView::rememberTopLine() {
    if (m_holdingTopLine > 0)
        return;
    m_settlePending = false;
    const double y = verticalScrollBar()->value();
    const QTextBlock block = blockAtDocumentY(y);
    m_topBlock = block.blockNumber();
    m_topOffset = y - m_storage->documentLayout()->blockTop(m_topBlock);
}

// Puts the remembered top line back at the top: the blocks above it may
// have new heights (settled estimates, a new width, a new zoom). Where the
// view last scrolled to show the caret, and nothing scrolled it since, the
// caret's line is put back where it was shown instead: the blocks between
// it and the top may have new heights too (laid out to be painted, or
// styled when the styling ahead came to them).
void KVXTextView::keepTopLineStill() {
    if (m_holdingTopLine > 0)
        return;
    m_holdingTopLine++;
    if (m_caretLineOffset) {
        // All of the line, which may have grown taller meanwhile.
        const QRectF caret = documentRectForRange({textCursor().position(), 0});
        const double offset = std::max(0.0, std::min(*m_caretLineOffset, viewport()->height() - caret.height()));
        verticalScrollBar()->setValue(int(std::lround(caret.top() - offset)));
        m_holdingTopLine--;
        // The top line shown now is the one to keep once the caret's line
        // is no longer held.
        rememberTopLine();
        return;
    }
    const int blocks = document()->blockCount();
    if (m_topBlock >= blocks)
        m_topBlock = qMax(0, blocks - 1);
    const double y = m_storage->documentLayout()->blockTop(m_topBlock) + m_topOffset;
    verticalScrollBar()->setValue(int(std::lround(y)));
    m_holdingTopLine--;
}

void KVXTextView::holdCaretLine() {
    const QRectF caret = documentRectForRange({textCursor().position(), 0});
    if (caret.isNull()) {
        m_caretLineOffset.reset();
        return;
    }
    m_caretLineOffset = caret.top() - verticalScrollBar()->value();
}
