#include "editor/view/lazy_document_layout.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>

#include <algorithm>
#include <climits>

namespace {

// Lengths in 1/64 px, cut as Qt's own layout cuts them (towards zero), so
// that sums of heights and positions come out exactly as the stock layout's.
using Fixed = int64_t;
Fixed fixed(qreal r) { return Fixed(int(r * 64.0)); }
qreal real(Fixed f) { return qreal(f) / 64.0; }
Fixed roundToPixel(Fixed f) { return (f + 32) & ~Fixed(63); }

// Edits that touch more blocks than this are not laid out at once: the
// blocks keep estimated heights until they are shown or the idle pass
// reaches them.
constexpr int kImmediateBlocks = 64;
constexpr Fixed kNoLimit = INT64_MAX / 4;

void lineHeights(const QTextBlockFormat &format, const QTextLine &line, qreal scaling,
                 Fixed *adjustment, Fixed *height, Fixed *bottom) {
    const qreal natural = line.height();
    const int type = format.lineHeightType();
    qreal raw = qCeil(line.ascent() + line.descent() + line.leading());
    *height = fixed(format.lineHeight(raw, scaling));
    *bottom = fixed(format.lineHeight(natural, scaling));
    if (type == QTextBlockFormat::FixedHeight)
        *adjustment = fixed(line.ascent() + qMax(line.leading(), qreal(0))) - (*height * 4) / 5;
    else if (type == QTextBlockFormat::MinimumHeight)
        *adjustment = fixed(natural) - *height;
    else
        *adjustment = 0;
}

}  // namespace

LazyDocumentLayout::LazyDocumentLayout(QTextDocument *document)
    : QAbstractTextDocumentLayout(document) {
    idleTimer_.setSingleShot(true);
    idleTimer_.setInterval(0);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        if (layoutSome(5))
            idleTimer_.start();
    });
    syncBlockCount();
}

// --- Frame and blocks -----------------------------------------------------------

LazyDocumentLayout::Frame LazyDocumentLayout::frame() const {
    QTextFrameFormat format = document()->rootFrame()->frameFormat();
    QPaintDevice *device = paintDevice();
    qreal scale = device ? device->logicalDpiY() / 96.0 : 1.0;
    auto scaled = [scale](qreal v) { return roundToPixel(fixed(v * scale)); };
    Fixed top = scaled(format.topMargin()), bottom = scaled(format.bottomMargin());
    Fixed left = scaled(format.leftMargin()), right = scaled(format.rightMargin());
    Fixed border = scaled(format.border()), padding = scaled(format.padding());
    qreal available = qMax(qreal(0), document()->pageSize().width());
    Fixed width = fixed(format.width().value(available));
    const Fixed leftInset = roundToPixel(fixed(leftPadding_));
    const Fixed rightInset = roundToPixel(fixed(rightPadding_));
    Frame f;
    f.left = left + border + padding + leftInset;
    f.pageWidth = width - 2 * (border + padding) - left - right - leftInset - rightInset;
    f.right = f.left + f.pageWidth;
    f.top = top + border + padding;
    f.bottom = border + padding + bottom;
    f.marginWidth = 2 * (border + padding) + left + right + leftInset + rightInset;
    return f;
}

void LazyDocumentLayout::checkFrame() const {
    Frame f = frame();
    // Lines are placed relative to the column's left edge: a column that
    // only moves (an editor re-centring its text) keeps every line.
    bool widthChanged = !frameKnown_ || f.right - f.left != frame_.right - frame_.left;
    frame_ = f;
    frameKnown_ = true;
    if (widthChanged) {
        for (size_t i = 0; i < blocks_.size(); i++)
            markDirty(int(i));
        idleScan_ = 0;
        if (!blocks_.empty())
            const_cast<LazyDocumentLayout *>(this)->scheduleIdle();
    }
}

void LazyDocumentLayout::markDirty(int index) const {
    if (!blocks_[size_t(index)].dirty) {
        blocks_[size_t(index)].dirty = true;
        dirtyCount_++;
    }
}

int64_t LazyDocumentLayout::estimateHeight(const QTextBlock &block) const {
    QFontMetricsF metrics(document()->defaultFont());
    Fixed line = fixed(qCeil(metrics.height() + qMax(metrics.leading(), qreal(0))));
    Fixed width = frameKnown_ ? frame_.pageWidth : 0;
    Fixed charWidth = fixed(metrics.averageCharWidth());
    Fixed lines = 1;
    if (width > 0 && charWidth > 0)
        lines = qMax<Fixed>(1, (Fixed(block.length()) * charWidth + width - 1) / width);
    return lines * line;
}

int64_t LazyDocumentLayout::gapBefore(const QTextBlock &block) const {
    QTextBlock previous = block.previous();
    if (!previous.isValid())
        return 0;
    qreal margin = qMax(block.blockFormat().topMargin(), previous.blockFormat().bottomMargin());
    if (margin > 0 && paintDevice())
        margin *= paintDevice()->logicalDpiY() / 96.0;
    return margin > 0 ? fixed(margin) : 0;
}

void LazyDocumentLayout::rebuildTree() const {
    std::vector<int64_t> values(blocks_.size());
    for (size_t i = 0; i < blocks_.size(); i++)
        values[i] = blocks_[i].gap + blocks_[i].height;
    advances_.assign(values);
}

void LazyDocumentLayout::syncBlockCount() const {
    size_t count = size_t(document()->blockCount());
    if (blocks_.size() == count)
        return;
    if (!frameKnown_) {
        frame_ = frame();
        frameKnown_ = true;
    }
    blocks_.assign(count, Block{});
    dirtyCount_ = int(count);
    QTextBlock block = document()->firstBlock();
    for (size_t i = 0; i < count && block.isValid(); i++, block = block.next()) {
        blocks_[i].gap = gapBefore(block);
        blocks_[i].height = estimateHeight(block);
    }
    idleScan_ = 0;
    rebuildTree();
}

bool LazyDocumentLayout::layoutBlock(const QTextBlock &block) const {
    const size_t index = size_t(block.blockNumber());
    Block &entry = blocks_[index];
    QTextLayout *layout = block.layout();
    const QTextBlockFormat format = block.blockFormat();
    QTextDocument *doc = document();
    const qreal scaling =
        paintDevice() && paintDevice()->logicalDpiY() != 96 ? paintDevice()->logicalDpiY() / 96.0 : 1;

    const Qt::LayoutDirection direction = block.textDirection();
    Fixed indent = 0;
    if (format.indent() != 0)
        indent = fixed(format.indent() * scaling * doc->indentWidth());
    const QTextOption defaultOption = doc->defaultTextOption();
    Fixed extra = 0;
    if (defaultOption.flags() & QTextOption::AddSpaceForLineAndParagraphSeparators)
        extra = fixed(QFontMetricsF(block.charFormat().font()).horizontalAdvance(QChar(0x21B5)));
    Fixed leftMargin = fixed(format.leftMargin()) + (direction == Qt::RightToLeft ? extra : indent);
    const Fixed rightMargin = fixed(format.rightMargin()) + (direction == Qt::RightToLeft ? indent : extra);
    Fixed firstLineIndent = fixed(format.textIndent());

    QTextOption option = defaultOption;
    option.setTextDirection(direction);
    option.setTabs(format.tabPositions());
    Qt::Alignment align = defaultOption.alignment();
    if (format.hasProperty(QTextFormat::BlockAlignment))
        align = format.alignment();
    option.setAlignment(QStyle::visualAlignment(direction, align));
    if (format.nonBreakableLines() || doc->pageSize().width() < 0)
        option.setWrapMode(QTextOption::ManualWrap);
    if (optionHook_) {
        BlockGeometry geometry{option, real(leftMargin), real(firstLineIndent), scaling};
        optionHook_(block, geometry);
        option = geometry.option;
        leftMargin = fixed(geometry.left);
        firstLineIndent = fixed(geometry.firstLine);
    }
    layout->setTextOption(option);
    const bool wordOrAnywhere = option.wrapMode() == QTextOption::WrapAtWordBoundaryOrAnywhere;

    const Fixed l = frame_.left + leftMargin;
    const Fixed r = frame_.right - rightMargin;
    Fixed y = 0, bottom = 0, width = 0;
    layout->beginLayout();
    bool first = true;
    for (;;) {
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        line.setLeadingIncluded(true);
        Fixed left = l, right = r;
        Fixed textIndent = 0;
        if (first) {
            textIndent = firstLineIndent;
            if (direction == Qt::LeftToRight)
                left += textIndent;
            else
                right -= textIndent;
            first = false;
        }
        line.setLineWidth(real(right - left));
        if (fixed(line.naturalTextWidth()) > right - left) {
            line.setLineWidth(real(right - left));
            if (fixed(line.naturalTextWidth()) > right - left) {
                if (wordOrAnywhere) {
                    option.setWrapMode(QTextOption::WrapAnywhere);
                    layout->setTextOption(option);
                }
                line.setLineWidth(qMax<qreal>(line.naturalTextWidth(), real(right - left)));
                if (wordOrAnywhere) {
                    option.setWrapMode(QTextOption::WordWrap);
                    layout->setTextOption(option);
                }
            }
        }
        Fixed adjustment, height, lineBottom;
        lineHeights(format, line, scaling, &adjustment, &height, &lineBottom);
        line.setPosition(QPointF(real(left - frame_.left), real(y - adjustment)));
        bottom = y + lineBottom;
        y += height;
        width = qMax(width, fixed(line.x() + line.naturalTextWidth()) + rightMargin);
    }
    y = qMax(y, bottom);
    layout->endLayout();

    const Fixed gap = gapBefore(block);
    const Fixed oldAdvance = entry.gap + entry.height;
    entry.gap = gap;
    entry.height = y;
    entry.width = width;
    if (entry.dirty) {
        entry.dirty = false;
        dirtyCount_--;
    }
    const Fixed delta = gap + y - oldAdvance;
    if (delta != 0)
        advances_.add(index, delta);
    return delta != 0;
}

bool LazyDocumentLayout::ensureBlock(const QTextBlock &block) const {
    if (!block.isValid())
        return false;
    syncBlockCount();
    if (!frameKnown_)
        checkFrame();
    if (!blocks_[size_t(block.blockNumber())].dirty)
        return false;
    bool changed = layoutBlock(block);
    if (changed)
        const_cast<LazyDocumentLayout *>(this)->scheduleIdle();
    return changed;
}

int64_t LazyDocumentLayout::blockTopFixed(int index) const {
    return frame_.top + fixed(topPadding_) + advances_.prefix(size_t(index)) +
           blocks_[size_t(index)].gap;
}

qreal LazyDocumentLayout::blockTop(int blockNumber) const {
    syncBlockCount();
    if (blockNumber < 0 || size_t(blockNumber) >= blocks_.size())
        return 0;
    return real(blockTopFixed(blockNumber));
}

QTextBlock LazyDocumentLayout::blockAtY(int64_t y) const {
    size_t index = advances_.find(y - frame_.top - fixed(topPadding_));
    if (index >= blocks_.size())
        index = blocks_.empty() ? 0 : blocks_.size() - 1;
    return document()->findBlockByNumber(int(index));
}

void LazyDocumentLayout::placeLayout(const QTextBlock &block) const {
    QPointF position(real(frame_.left), real(blockTopFixed(block.blockNumber())));
    if (block.layout()->position() != position)
        block.layout()->setPosition(position);
}

// --- Edits ---------------------------------------------------------------------

void LazyDocumentLayout::documentChanged(int from, int charsRemoved, int charsAdded) {
    Q_UNUSED(charsRemoved);
    QTextDocument *doc = document();
    const int count = doc->blockCount();
    QTextBlock first = doc->findBlock(from);
    if (!first.isValid())
        first = doc->firstBlock();
    QTextBlock last = doc->findBlock(from + charsAdded);
    if (!last.isValid())
        last = doc->lastBlock();
    const int f = first.blockNumber(), l = last.blockNumber();
    const int delta = count - int(blocks_.size());
    const int oldLast = l - delta;

    // The records still describe the old blocks: read them as they are (blockTop
    // would match them to the new block count and drop them all).
    const qreal oldTop = blocks_.empty() || size_t(f) >= blocks_.size() ? 0 : real(blockTopFixed(f));
    if (blocks_.empty() || oldLast < f - 1 || oldLast >= int(blocks_.size())) {
        blocks_.clear();
        syncBlockCount();
    } else if (delta != 0) {
        std::vector<Block> fresh(size_t(l - f + 1));
        QTextBlock block = first;
        for (Block &entry : fresh) {
            entry.gap = gapBefore(block);
            entry.height = estimateHeight(block);
            block = block.next();
        }
        for (int i = f; i <= oldLast; i++)
            if (blocks_[size_t(i)].dirty)
                dirtyCount_--;
        blocks_.erase(blocks_.begin() + f, blocks_.begin() + oldLast + 1);
        blocks_.insert(blocks_.begin() + f, fresh.begin(), fresh.end());
        dirtyCount_ += int(fresh.size());
        rebuildTree();
    } else {
        for (int i = f; i <= l; i++)
            markDirty(i);
    }
    // The block after the change collapses its margin with a block that may
    // have new formats.
    if (size_t(l + 1) < blocks_.size())
        markDirty(l + 1);

    checkFrame();
    bool heightChanged = false;
    const int touched = l - f + 2;
    if (touched <= kImmediateBlocks && dirtyCount_ <= touched) {
        for (QTextBlock block = first; block.isValid() && block.blockNumber() <= l + 1;
             block = block.next())
            if (blocks_[size_t(block.blockNumber())].dirty)
                heightChanged |= layoutBlock(block);
    } else {
        heightChanged = true;
        scheduleIdle();
    }
    if (delta != 0)
        heightChanged = true;

    const qreal top = qMin(oldTop, blockTop(f));
    const int below = qMin(l + 1, count - 1);
    const qreal height = heightChanged ? qreal(INT_MAX)
                                       : blockTop(below) + real(blocks_[size_t(below)].height) - top;
    emit update(QRectF(0, top, qreal(INT_MAX), height));
    emitSizeIfChanged();
    if (pendingFirst_ <= pendingLast_) {
        const int pf = pendingFirst_, pl = pendingLast_;
        pendingFirst_ = 0;
        pendingLast_ = -1;
        invalidateBlocks(pf, pl);
    }
}

void LazyDocumentLayout::invalidateBlocks(int first, int last) {
    if (first > last)
        return;
    // Block numbers of a document whose edit the layout has not heard of
    // yet: its records would be thrown away and estimated anew if they were
    // matched to the document now.
    if (!blocks_.empty() && size_t(document()->blockCount()) != blocks_.size()) {
        if (pendingFirst_ > pendingLast_) {
            pendingFirst_ = first;
            pendingLast_ = last;
        } else {
            pendingFirst_ = qMin(pendingFirst_, first);
            pendingLast_ = qMax(pendingLast_, last);
        }
        return;
    }
    syncBlockCount();
    first = qMax(0, first);
    last = qMin(int(blocks_.size()) - 1, last);
    for (int i = first; i <= last; i++)
        markDirty(i);
    idleScan_ = qMin(idleScan_, size_t(qMax(0, first)));
    scheduleIdle();
    emit update(QRectF(0, blockTop(first), qreal(INT_MAX), qreal(INT_MAX)));
}

void LazyDocumentLayout::setOptionHook(OptionHook hook) { optionHook_ = std::move(hook); }

void LazyDocumentLayout::setHorizontalPadding(qreal left, qreal right) {
    left = qMax<qreal>(0, left);
    right = qMax<qreal>(0, right);
    if (left == leftPadding_ && right == rightPadding_)
        return;
    leftPadding_ = left;
    rightPadding_ = right;
    syncBlockCount();
    checkFrame();
    emit update(QRectF(0, 0, qreal(INT_MAX), qreal(INT_MAX)));
    emitSizeIfChanged();
}

void LazyDocumentLayout::setVerticalPadding(qreal top, qreal bottom) {
    if (top == topPadding_ && bottom == bottomPadding_)
        return;
    topPadding_ = top;
    bottomPadding_ = bottom;
    emit update(QRectF(0, 0, qreal(INT_MAX), qreal(INT_MAX)));
    emitSizeIfChanged();
}

// --- Idle layout -----------------------------------------------------------------

void LazyDocumentLayout::scheduleIdle() const {
    if (!idleTimer_.isActive())
        const_cast<QTimer &>(idleTimer_).start();
}

bool LazyDocumentLayout::layoutSome(int milliseconds) {
    syncBlockCount();
    checkFrame();
    if (dirtyCount_ == 0) {
        emitSizeIfChanged();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    if (idleScan_ >= blocks_.size())
        idleScan_ = 0;
    int firstIndex = -1;
    qreal top = 0;
    Fixed oldHeight = 0, newHeight = 0;
    QTextBlock block = document()->findBlockByNumber(int(idleScan_));
    int done = 0;
    while (dirtyCount_ > 0) {
        if (!block.isValid()) {
            block = document()->firstBlock();
            if (firstIndex >= 0)
                break;  // report the range laid out so far; the rest comes next
        }
        const size_t index = size_t(block.blockNumber());
        if (blocks_[index].dirty) {
            if (firstIndex < 0) {
                firstIndex = int(index);
                top = blockTop(int(index));
            }
            oldHeight += blocks_[index].gap + blocks_[index].height;
            layoutBlock(block);
            newHeight += blocks_[index].gap + blocks_[index].height;
        } else if (firstIndex >= 0) {
            oldHeight += blocks_[index].gap + blocks_[index].height;
            newHeight += blocks_[index].gap + blocks_[index].height;
        }
        block = block.next();
        idleScan_ = block.isValid() ? size_t(block.blockNumber()) : 0;
        if (++done % 16 == 0 && clock.elapsed() >= milliseconds)
            break;
    }
    if (firstIndex >= 0 && oldHeight != newHeight) {
        emit heightsSettled(top, real(oldHeight), real(newHeight));
        emit update(QRectF(0, top, qreal(INT_MAX), qreal(INT_MAX)));
    }
    emitSizeIfChanged();
    return dirtyCount_ > 0;
}

void LazyDocumentLayout::finishLayout() {
    while (layoutSome(1000)) {
    }
}

void LazyDocumentLayout::emitSizeIfChanged() const {
    QSizeF size = documentSize();
    if (size != reportedSize_) {
        reportedSize_ = size;
        emit const_cast<LazyDocumentLayout *>(this)->documentSizeChanged(size);
    }
}

// --- Geometry ----------------------------------------------------------------------

QSizeF LazyDocumentLayout::documentSize() const {
    syncBlockCount();
    if (!frameKnown_)
        checkFrame();
    Fixed widest = 0;
    for (const Block &block : blocks_)
        widest = qMax(widest, block.width);
    Fixed width = frame_.pageWidth <= 0 ? frame_.pageWidth : qMax(frame_.pageWidth, widest);
    Fixed height = frame_.top + advances_.total() + frame_.bottom;
    return QSizeF(real(width + frame_.marginWidth), real(height) + topPadding_ + bottomPadding_);
}

QRectF LazyDocumentLayout::frameBoundingRect(QTextFrame *frame) const {
    if (frame != document()->rootFrame())
        return QRectF();
    QSizeF size = documentSize();
    return QRectF(QPointF(0, 0), size);
}

QRectF LazyDocumentLayout::blockBoundingRect(const QTextBlock &block) const {
    if (!block.isValid() || !block.isVisible())
        return QRectF();
    ensureBlock(block);
    placeLayout(block);
    const QTextLayout *layout = block.layout();
    QRectF rect = layout->boundingRect();
    rect.moveTopLeft(layout->position());
    return rect;
}

int LazyDocumentLayout::hitTest(const QPointF &where, Qt::HitTestAccuracy accuracy) const {
    syncBlockCount();
    checkFrame();
    // Points are taken in 1/64 px, as the positions they are compared with.
    const QPointF point(real(fixed(where.x())), real(fixed(where.y())));
    const Fixed y = fixed(point.y());
    QTextBlock block = blockAtY(y);
    // Laying the block out may move the blocks below; look again until the
    // block found stays the same.
    for (int tries = 0; tries < 8 && ensureBlock(block); tries++) {
        QTextBlock again = blockAtY(y);
        if (again == block)
            break;
        block = again;
    }
    // Blocks are tried from the top, as Qt's own layout does: where the text
    // of one reaches into the next's space (on their boundary, or with fixed
    // line heights), the upper one takes the point.
    for (int back = 0; back < 4; back++) {
        QTextBlock previous = block.previous();
        if (!previous.isValid())
            break;
        ensureBlock(previous);
        placeLayout(previous);
        QRectF r = previous.layout()->boundingRect();
        r.translate(previous.layout()->position());
        if (point.y() > r.bottom())
            break;
        block = previous;
    }
    placeLayout(block);
    QTextLayout *layout = block.layout();
    QRectF textRect = layout->boundingRect();
    textRect.translate(layout->position());
    int position = block.position();
    bool exact = false;
    if (point.y() < textRect.top() - block.blockFormat().topMargin()) {
        // before the block: its start
    } else if (point.y() > textRect.bottom()) {
        position += block.length();
    } else {
        const QPointF local = point - layout->position();
        int offset = 0;
        for (int i = 0; i < layout->lineCount(); ++i) {
            QTextLine line = layout->lineAt(i);
            const QRectF lr = line.naturalTextRect();
            if (lr.top() > local.y()) {
                offset = qMin(offset, line.textStart());
            } else if (lr.bottom() <= local.y()) {
                offset = qMax(offset, line.textStart() + line.textLength());
            } else {
                exact = lr.left() <= local.x() && lr.right() >= local.x();
                offset = line.xToCursor(local.x(), accuracy == Qt::ExactHit
                                                       ? QTextLine::CursorOnCharacter
                                                       : QTextLine::CursorBetweenCharacters);
                break;
            }
        }
        position += offset;
    }
    if (accuracy == Qt::ExactHit && !exact)
        return -1;
    int lastPosition = document()->characterCount() - 1;
    if (!layout->preeditAreaText().isEmpty())
        lastPosition += layout->preeditAreaText().size();
    return qBound(0, position, lastPosition);
}

// --- Painting ------------------------------------------------------------------------

void LazyDocumentLayout::draw(QPainter *painter, const PaintContext &context) {
    syncBlockCount();
    checkFrame();
    QTextDocument *doc = document();
    const QSizeF size = documentSize();
    const QRectF frameRect(QPointF(0, 0), size);
    QTextFrameFormat rootFormat = doc->rootFrame()->frameFormat();
    QRectF clipRect = QRectF(QPointF(0, 0), size)
                          .adjusted(rootFormat.leftMargin(), 0, -rootFormat.rightMargin(), 0);
    const QRectF clip = context.clip.isValid() ? context.clip : frameRect;
    QBrush background = rootFormat.background();
    if (background != Qt::NoBrush)
        painter->fillRect(frameRect & clip, background);

    const Fixed top = fixed(clip.top()), bottom = fixed(clip.bottom());
    // Lay out what is to be painted; a block whose estimated height was wrong
    // moves the ones below it, so look again until nothing moves.
    for (int pass = 0; pass < 8; pass++) {
        bool moved = false;
        for (QTextBlock block = blockAtY(top); block.isValid(); block = block.next()) {
            if (blockTopFixed(block.blockNumber()) > bottom)
                break;
            if (blocks_[size_t(block.blockNumber())].dirty)
                moved |= layoutBlock(block);
        }
        if (!moved)
            break;
        scheduleIdle();
    }

    for (QTextBlock block = blockAtY(top); block.isValid(); block = block.next()) {
        const Fixed blockTop = blockTopFixed(block.blockNumber());
        if (blockTop > bottom)
            break;
        placeLayout(block);
        QTextLayout *layout = block.layout();
        QRectF r = layout->boundingRect();
        r.translate(layout->position());
        const QTextBlockFormat format = block.blockFormat();
        QBrush blockBackground = format.background();
        if (blockBackground != Qt::NoBrush)
            painter->fillRect(r, blockBackground);

        QList<QTextLayout::FormatRange> selections;
        const int blockPosition = block.position();
        const int blockLength = block.length();
        for (const Selection &range : context.selections) {
            const int start = range.cursor.selectionStart() - blockPosition;
            const int end = range.cursor.selectionEnd() - blockPosition;
            if (start < blockLength && end > 0 && end > start) {
                QTextLayout::FormatRange o;
                o.start = start;
                o.length = end - start;
                o.format = range.format;
                selections.append(o);
            } else if (!range.cursor.hasSelection() &&
                       range.format.hasProperty(QTextFormat::FullWidthSelection) &&
                       block.contains(range.cursor.position())) {
                QTextLayout::FormatRange o;
                QTextLine line = layout->lineForTextPosition(range.cursor.position() - blockPosition);
                o.start = line.textStart();
                o.length = line.textLength();
                if (o.start + o.length == blockLength - 1)
                    ++o.length;
                o.format = range.format;
                selections.append(o);
            }
        }
        const QPen pen = painter->pen();
        painter->setPen(context.palette.color(QPalette::Text));
        layout->draw(painter, QPointF(), selections, clip & clipRect);
        if ((context.cursorPosition >= blockPosition &&
             context.cursorPosition < blockPosition + blockLength) ||
            (context.cursorPosition < -1 && !layout->preeditAreaText().isEmpty())) {
            int cursor = context.cursorPosition;
            if (cursor < -1)
                cursor = layout->preeditAreaPosition() - (cursor + 2);
            else
                cursor -= blockPosition;
            bool ok = false;
            int cursorWidth = property("cursorWidth").toInt(&ok);
            layout->drawCursor(painter, QPointF(), cursor, ok ? cursorWidth : 1);
        }
        painter->setPen(pen);
    }
}
