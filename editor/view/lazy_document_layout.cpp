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
#include <limits>

#include <time.h>

namespace {

// Lengths in 1/64 px, cut as Qt's own layout cuts them (towards zero), so
// that sums of heights and positions come out exactly as the stock layout's.
// In 64 bits throughout: a y of a long document (a few hundred thousand
// lines) is past what 32 bits hold in 1/64 px (2^25 px).
using Fixed = int64_t;
Fixed fixed(qreal r) { return Fixed(r * 64.0); }
qreal real(Fixed f) { return qreal(f) / 64.0; }
Fixed roundToPixel(Fixed f) { return (f + 32) & ~Fixed(63); }

// Edits that touch more blocks than this are not laid out at once: the
// blocks keep estimated heights until they are shown or the idle pass
// reaches them.
constexpr int kImmediateBlocks = 64;

// The CPU time the calling thread has used, in nanoseconds: what a layout
// costs, whatever else the machine runs meanwhile.
qint64 threadNanoseconds() {
    timespec now;
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0)
        return 0;
    return qint64(now.tv_sec) * 1000000000 + qint64(now.tv_nsec);
}

// What laying out a paragraph of prose costs per character on this machine,
// in this build, in nanoseconds: measured once, the best of a few tries.
qint64 proseCost(const QFont &font) {
    static const qint64 cost = [&font] {
        QString text;
        while (text.size() < 4000)
            text += QStringLiteral("A sentence of ordinary prose, with words short and longer, reads on. ");
        qint64 best = std::numeric_limits<qint64>::max();
        for (int i = 0; i < 4; i++) {
            const qint64 start = threadNanoseconds();
            QTextLayout layout(text, font);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
                line.setLineWidth(400);
            layout.endLayout();
            best = qMin(best, threadNanoseconds() - start);
        }
        return qMax<qint64>(1, best / text.size());
    }();
    return cost;
}

// A block counts for at least this many characters in what layouts cost: a
// short or empty line costs what any block does.
constexpr qint64 kLeastCharactersOfABlock = 64;

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
    : QAbstractTextDocumentLayout(document), m_idleTask([this](QDeadlineTimer deadline) {
          // Slices of 5 ms at most, shorter when the turn ends sooner.
          return settleIdle(int(qBound(qint64(1), deadline.remainingTime(), qint64(5))));
      }) {
    m_pendingFormatsPoll.setSingleShot(true);
    m_pendingFormatsPoll.setInterval(kPendingFormatsPoll);
    connect(&m_pendingFormatsPoll, &QTimer::timeout, this, [this] { scheduleIdle(); });
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
    const Fixed leftInset = roundToPixel(fixed(m_leftPadding));
    const Fixed rightInset = roundToPixel(fixed(m_rightPadding));
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
    bool widthChanged = !m_frameKnown || f.right - f.left != m_frame.right - m_frame.left;
    m_frame = f;
    m_frameKnown = true;
    if (widthChanged) {
        markAllDirty();
        m_idleScan = 0;
        if (!m_blocks.empty())
            const_cast<LazyDocumentLayout *>(this)->scheduleIdle();
    }
}

void LazyDocumentLayout::markDirty(int index) const {
    if (!m_blocks[size_t(index)].dirty) {
        m_blocks[size_t(index)].dirty = true;
        m_dirtyCount++;
        m_dirty.add(size_t(index), 1);
    }
}

void LazyDocumentLayout::markAllDirty() const {
    for (Block &entry : m_blocks)
        entry.dirty = true;
    m_dirtyCount = int(m_blocks.size());
    m_dirty.assign(std::vector<int64_t>(m_blocks.size(), 1));
}

size_t LazyDocumentLayout::nextDirty(size_t index) const {
    if (index >= m_blocks.size())
        return m_blocks.size();
    const int64_t before = m_dirty.prefix(index);
    if (before >= m_dirtyCount)
        return m_blocks.size();
    return qMin(m_dirty.find(before), m_blocks.size());
}

void LazyDocumentLayout::setWidth(Block &entry, int64_t width) const {
    if (width >= m_widest)
        m_widest = width;
    else if (m_widest > 0 && entry.width == m_widest)
        m_widestKnown = false;
    entry.width = width;
}

int64_t LazyDocumentLayout::estimateHeight(const QTextBlock &block) const {
    QFontMetricsF metrics(document()->defaultFont());
    Fixed line = fixed(qCeil(metrics.height() + qMax(metrics.leading(), qreal(0))));
    Fixed width = m_frameKnown ? m_frame.pageWidth : 0;
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
    std::vector<int64_t> values(m_blocks.size());
    std::vector<int64_t> dirty(m_blocks.size());
    for (size_t i = 0; i < m_blocks.size(); i++) {
        values[i] = m_blocks[i].gap + m_blocks[i].height;
        dirty[i] = m_blocks[i].dirty ? 1 : 0;
    }
    m_advances.assign(values);
    m_dirty.assign(dirty);
}

void LazyDocumentLayout::syncBlockCount() const {
    size_t count = size_t(document()->blockCount());
    if (m_blocks.size() == count)
        return;
    if (!m_frameKnown) {
        m_frame = frame();
        m_frameKnown = true;
    }
    m_blocks.assign(count, Block{});
    m_dirtyCount = int(count);
    m_widest = 0;
    m_widestKnown = true;
    QTextBlock block = document()->firstBlock();
    for (size_t i = 0; i < count && block.isValid(); i++, block = block.next()) {
        m_blocks[i].gap = gapBefore(block);
        m_blocks[i].height = estimateHeight(block);
    }
    m_idleScan = 0;
    rebuildTree();
}

bool LazyDocumentLayout::layoutBlock(const QTextBlock &block) const {
    const size_t index = size_t(block.blockNumber());
    if (m_formatHook) {
        m_formatting = true;
        m_formatHook(block);
        m_formatting = false;
    }
    Block &entry = m_blocks[index];
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
    if (m_optionHook) {
        BlockGeometry geometry{option, real(leftMargin), real(firstLineIndent), scaling};
        m_optionHook(block, geometry);
        option = geometry.option;
        leftMargin = fixed(geometry.left);
        firstLineIndent = fixed(geometry.firstLine);
    }
    layout->setTextOption(option);
    const bool wordOrAnywhere = option.wrapMode() == QTextOption::WrapAtWordBoundaryOrAnywhere;

    const Fixed l = m_frame.left + leftMargin;
    const Fixed r = m_frame.right - rightMargin;
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
        line.setPosition(QPointF(real(left - m_frame.left), real(y - adjustment)));
        bottom = y + lineBottom;
        y += height;
        m_charactersLaidOut += line.textLength();
        width = qMax(width, fixed(line.x() + line.naturalTextWidth()) + rightMargin);
    }
    y = qMax(y, bottom);
    layout->endLayout();

    const Fixed gap = gapBefore(block);
    const Fixed oldAdvance = entry.gap + entry.height;
    entry.gap = gap;
    entry.height = y;
    setWidth(entry, width);
    if (entry.dirty) {
        entry.dirty = false;
        m_dirtyCount--;
        m_dirty.add(index, -1);
    }
    const Fixed delta = gap + y - oldAdvance;
    if (delta != 0)
        m_advances.add(index, delta);
    return delta != 0;
}

bool LazyDocumentLayout::ensureBlock(const QTextBlock &block) const {
    if (!block.isValid())
        return false;
    syncBlockCount();
    if (!m_frameKnown)
        checkFrame();
    if (!m_blocks[size_t(block.blockNumber())].dirty)
        return false;
    bool changed = layoutBlock(block);
    if (changed)
        const_cast<LazyDocumentLayout *>(this)->scheduleIdle();
    return changed;
}

int64_t LazyDocumentLayout::blockTopFixed(int index) const {
    return m_frame.top + fixed(m_topPadding) + m_advances.prefix(size_t(index)) +
           m_blocks[size_t(index)].gap;
}

qreal LazyDocumentLayout::blockTop(int blockNumber) const {
    syncBlockCount();
    if (blockNumber < 0 || size_t(blockNumber) >= m_blocks.size())
        return 0;
    return real(blockTopFixed(blockNumber));
}

QTextBlock LazyDocumentLayout::blockAtHeight(qreal y) const {
    syncBlockCount();
    if (!m_frameKnown)
        checkFrame();
    return blockAtY(fixed(y));
}

QTextBlock LazyDocumentLayout::blockAtY(int64_t y) const {
    size_t index = m_advances.find(y - m_frame.top - fixed(m_topPadding));
    if (index >= m_blocks.size())
        index = m_blocks.empty() ? 0 : m_blocks.size() - 1;
    return document()->findBlockByNumber(int(index));
}

void LazyDocumentLayout::placeLayout(const QTextBlock &block) const {
    QPointF position(real(m_frame.left), real(blockTopFixed(block.blockNumber())));
    if (block.layout()->position() != position)
        block.layout()->setPosition(position);
}

// --- Edits ---------------------------------------------------------------------

void LazyDocumentLayout::documentChanged(int from, int charsRemoved, int charsAdded) {
    // The formats the hook gives the block about to be laid out.
    if (m_formatting && charsRemoved == charsAdded)
        return;
    QTextDocument *doc = document();
    const int count = doc->blockCount();
    QTextBlock first = doc->findBlock(from);
    if (!first.isValid())
        first = doc->firstBlock();
    QTextBlock last = doc->findBlock(from + charsAdded);
    if (!last.isValid())
        last = doc->lastBlock();
    // New formats of one block are reported as a change of all of it, its
    // separator with it, which would take the next block for changed too.
    if (first.blockNumber() == m_formatsOf && charsRemoved == charsAdded && from == first.position() &&
        charsAdded == first.length())
        last = first;
    const int f = first.blockNumber(), l = last.blockNumber();
    const int delta = count - int(m_blocks.size());
    const int oldLast = l - delta;

    // The records still describe the old blocks: read them as they are (blockTop
    // would match them to the new block count and drop them all).
    const qreal oldTop = m_blocks.empty() || size_t(f) >= m_blocks.size() ? 0 : real(blockTopFixed(f));
    if (m_blocks.empty() || oldLast < f - 1 || oldLast >= int(m_blocks.size())) {
        m_blocks.clear();
        syncBlockCount();
    } else if (delta != 0) {
        std::vector<Block> fresh(size_t(l - f + 1));
        QTextBlock block = first;
        for (Block &entry : fresh) {
            entry.gap = gapBefore(block);
            entry.height = estimateHeight(block);
            block = block.next();
        }
        for (int i = f; i <= oldLast; i++) {
            if (m_blocks[size_t(i)].dirty)
                m_dirtyCount--;
            if (m_widest > 0 && m_blocks[size_t(i)].width == m_widest)
                m_widestKnown = false;
        }
        m_dirtyCount += int(fresh.size());
        if (size_t(oldLast) + 1 == m_blocks.size()) {
            // The change reaches the last block (text appended, as a large
            // text is laid in): the trees are cut there and grown again,
            // without a pass over the blocks before.
            m_blocks.resize(size_t(f));
            m_advances.truncate(size_t(f));
            m_dirty.truncate(size_t(f));
            for (const Block &entry : fresh) {
                m_blocks.push_back(entry);
                m_advances.append(entry.gap + entry.height);
                m_dirty.append(1);
            }
        } else {
            m_blocks.erase(m_blocks.begin() + f, m_blocks.begin() + oldLast + 1);
            m_blocks.insert(m_blocks.begin() + f, fresh.begin(), fresh.end());
            rebuildTree();
        }
    } else {
        for (int i = f; i <= l; i++)
            markDirty(i);
    }
    // The block after the change collapses its margin with a block that may
    // have new formats: its gap is all that can change of it, and it is laid
    // out again only when its gap did (laying out a long line's next part
    // again at each key doubled what the key cost).
    if (size_t(l + 1) < m_blocks.size() && gapBefore(last.next()) != m_blocks[size_t(l + 1)].gap)
        markDirty(l + 1);

    checkFrame();
    bool heightChanged = false;
    const int touched = l - f + 2;
    // At once when nothing else waits for the idle slices and the blocks are
    // on screen or near it: a keystroke's blocks then cost no more than
    // themselves. Blocks far from the view (a background pass marking text
    // the user does not see) wait for the idle slices, which lay each out
    // once however often its formats changed meanwhile.
    if (touched <= kImmediateBlocks && dirtyIn(settleWindow()) <= size_t(touched) && nearView(f, l + 1)) {
        for (QTextBlock block = first; block.isValid() && block.blockNumber() <= l + 1;
             block = block.next())
            if (m_blocks[size_t(block.blockNumber())].dirty)
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
                                       : blockTop(below) + real(m_blocks[size_t(below)].height) - top;
    emit update(QRectF(0, top, qreal(INT_MAX), height));
    emitSizeIfChanged();
    if (m_pendingFirst <= m_pendingLast) {
        const int pf = m_pendingFirst, pl = m_pendingLast;
        m_pendingFirst = 0;
        m_pendingLast = -1;
        invalidateBlocks(pf, pl);
    }
}

void LazyDocumentLayout::invalidateBlocks(int first, int last) {
    if (first > last)
        return;
    // Block numbers of a document whose edit the layout has not heard of
    // yet: its records would be thrown away and estimated anew if they were
    // matched to the document now.
    if (!m_blocks.empty() && size_t(document()->blockCount()) != m_blocks.size()) {
        if (m_pendingFirst > m_pendingLast) {
            m_pendingFirst = first;
            m_pendingLast = last;
        } else {
            m_pendingFirst = qMin(m_pendingFirst, first);
            m_pendingLast = qMax(m_pendingLast, last);
        }
        return;
    }
    syncBlockCount();
    first = qMax(0, first);
    last = qMin(int(m_blocks.size()) - 1, last);
    for (int i = first; i <= last; i++)
        markDirty(i);
    m_idleScan = qMin(m_idleScan, size_t(qMax(0, first)));
    scheduleIdle();
    emit update(QRectF(0, blockTop(first), qreal(INT_MAX), qreal(INT_MAX)));
}

void LazyDocumentLayout::setOptionHook(OptionHook hook) { m_optionHook = std::move(hook); }

bool LazyDocumentLayout::nearView(int first, int last) const {
    // Before the first paint every change is taken as near.
    return !m_viewKnown || (last >= m_nearFirst && first <= m_nearLast);
}

bool LazyDocumentLayout::isLaidOut(int number) const {
    if (number < 0 || size_t(document()->blockCount()) != m_blocks.size())
        return true;
    return size_t(number) < m_blocks.size() && !m_blocks[size_t(number)].dirty;
}

void LazyDocumentLayout::setHorizontalPadding(qreal left, qreal right) {
    left = qMax<qreal>(0, left);
    right = qMax<qreal>(0, right);
    if (left == m_leftPadding && right == m_rightPadding)
        return;
    m_leftPadding = left;
    m_rightPadding = right;
    syncBlockCount();
    checkFrame();
    emit update(QRectF(0, 0, qreal(INT_MAX), qreal(INT_MAX)));
    emitSizeIfChanged();
}

void LazyDocumentLayout::setVerticalPadding(qreal top, qreal bottom) {
    if (top == m_topPadding && bottom == m_bottomPadding)
        return;
    m_topPadding = top;
    m_bottomPadding = bottom;
    emit update(QRectF(0, 0, qreal(INT_MAX), qreal(INT_MAX)));
    emitSizeIfChanged();
}

// --- Idle layout -----------------------------------------------------------------

void LazyDocumentLayout::scheduleIdle() const { m_idleTask.schedule(); }

std::pair<size_t, size_t> LazyDocumentLayout::settleWindow() const {
    const size_t count = m_blocks.size();
    if (m_costly) {
        // What a screen's height around the view holds, as painted last.
        const size_t first = qMin(size_t(qMax(0, m_nearFirst)), count);
        return {first, qMin(count, qMax(first, size_t(qMax(0, m_nearLast)) + 1))};
    }
    if (qMax(count, m_expectedBlocks) <= m_settleLimit)
        return {0, count};
    const size_t first = qMin(m_shownFirst, count), last = qMin(m_shownLast, count);
    return {first > kSettleRadius ? first - kSettleRadius : 0, qMin(count, last + kSettleRadius + 1)};
}

size_t LazyDocumentLayout::dirtyIn(std::pair<size_t, size_t> window) const {
    return size_t(m_dirty.prefix(window.second) - m_dirty.prefix(window.first));
}

bool LazyDocumentLayout::isSettled() const {
    syncBlockCount();
    return dirtyIn(settleWindow()) == 0;
}

bool LazyDocumentLayout::layoutSome(int milliseconds) { return settleSome(milliseconds, settleWindow()); }

bool LazyDocumentLayout::settleIdle(int milliseconds) {
    std::pair<size_t, size_t> window = settleWindow();
    const size_t wanted = window.second;
    window.second = qMin(window.second, formatsKnownBefore());
    if (settleSome(milliseconds, window))
        return true;
    // The formats of the rest are on their way: looked for again soon,
    // without keeping a core busy meanwhile.
    if (window.second < wanted && dirtyIn({window.second, wanted}) > 0)
        m_pendingFormatsPoll.start();
    return false;
}

size_t LazyDocumentLayout::formatsKnownBefore() const {
    const qsizetype pending = m_pendingFormatsHook ? m_pendingFormatsHook() : -1;
    if (pending < 0)
        return m_blocks.size();
    const QTextBlock block = document()->findBlock(int(qMin<qsizetype>(pending, INT_MAX)));
    return block.isValid() ? qMin(m_blocks.size(), size_t(block.blockNumber())) : m_blocks.size();
}

// Lays out the blocks of `window` that wait, from the first one at or after
// where the last slice stopped, jumping over those laid out already; past
// the window's last one it goes round to its first in the next slice. The
// blocks laid out form one range for heightsSettled, those jumped over
// inside it included.
bool LazyDocumentLayout::settleSome(int milliseconds, std::pair<size_t, size_t> window) {
    syncBlockCount();
    checkFrame();
    const size_t lo = qMin(window.first, m_blocks.size()), hi = qMin(window.second, m_blocks.size());
    size_t index = nextDirty(qMax(m_idleScan, lo));
    if (index >= hi)
        index = nextDirty(lo);
    if (index >= hi) {
        emitSizeIfChanged();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    const size_t firstIndex = index;
    const qreal top = blockTop(int(index));
    Fixed settled = 0;
    QTextBlock block = document()->findBlockByNumber(int(index));
    while (block.isValid() && index < hi) {
        const Fixed before = m_blocks[index].gap + m_blocks[index].height;
        const qint64 cpu = threadNanoseconds();
        layoutBlock(block);
        weighCost(threadNanoseconds() - cpu, qMax<qint64>(block.length(), kLeastCharactersOfABlock));
        settled += m_blocks[index].gap + m_blocks[index].height - before;
        index++;
        block = block.next();
        if (index < hi && !m_blocks[index].dirty) {
            index = nextDirty(index);
            if (index >= hi)
                break;
            block = document()->findBlockByNumber(int(index));
        }
        // A block may be a long line's part of thousands of characters:
        // the clock is read after each.
        if (clock.elapsed() >= milliseconds)
            break;
    }
    m_idleScan = index < hi ? index : lo;
    if (settled != 0) {
        const Fixed newHeight = m_advances.prefix(qMin(index, m_blocks.size())) - m_advances.prefix(firstIndex);
        emit heightsSettled(top, real(newHeight - settled), real(newHeight));
        emit update(QRectF(0, top, qreal(INT_MAX), qreal(INT_MAX)));
    }
    emitSizeIfChanged();
    return dirtyIn({lo, hi}) > 0;
}

void LazyDocumentLayout::weighCost(qint64 nanoseconds, qint64 characters) const {
    m_sampleNanoseconds += qMax<qint64>(0, nanoseconds);
    m_sampleCharacters += characters;
    if (m_dirtyCount == 0) {
        m_costly = false;
        return;
    }
    if (m_sampleNanoseconds < kCostSampleNanoseconds)
        return;
    if (!m_costly && m_sampleNanoseconds > kCostlyFactor * proseCost(document()->defaultFont()) * m_sampleCharacters)
        m_costly = true;
    // What came last counts most: a text of prose that gets a line of
    // emoji pasted in is weighed by that line soon after.
    m_sampleNanoseconds /= 2;
    m_sampleCharacters /= 2;
}

void LazyDocumentLayout::finishLayout() {
    while (settleSome(1000, {0, m_blocks.size()})) {
    }
}

void LazyDocumentLayout::layOutAround(const QTextBlock &block, qreal above, qreal below) {
    if (!block.isValid() || block.document() != document())
        return;
    syncBlockCount();
    checkFrame();
    const int number = block.blockNumber();
    const Fixed up = fixed(qMax<qreal>(0, above)), down = fixed(qMax<qreal>(0, below));
    // The range laid out, and its height before and after.
    int first = number;
    Fixed before = 0, after = 0;
    auto lay = [&](const QTextBlock &b) {
        const size_t index = size_t(b.blockNumber());
        before += m_blocks[index].gap + m_blocks[index].height;
        ensureBlock(b);
        after += m_blocks[index].gap + m_blocks[index].height;
    };
    lay(block);
    for (QTextBlock b = block.previous(); b.isValid() && blockTopFixed(number) - blockTopFixed(b.blockNumber()) < up;
         b = b.previous()) {
        lay(b);
        first = b.blockNumber();
    }
    for (QTextBlock b = block.next(); b.isValid() && blockTopFixed(b.blockNumber()) - blockTopFixed(number) < down;
         b = b.next())
        lay(b);
    if (after != before) {
        const qreal top = real(blockTopFixed(first) - m_blocks[size_t(first)].gap);
        emit heightsSettled(top, real(before), real(after));
        emit update(QRectF(0, top, qreal(INT_MAX), qreal(INT_MAX)));
    }
}

void LazyDocumentLayout::setSettleLimit(size_t blocks) {
    m_settleLimit = blocks;
    scheduleIdle();
}

void LazyDocumentLayout::setExpectedBlocks(size_t blocks) {
    m_expectedBlocks = blocks;
    scheduleIdle();
}

void LazyDocumentLayout::emitSizeIfChanged() const {
    QSizeF size = documentSize();
    if (size != m_reportedSize) {
        m_reportedSize = size;
        emit const_cast<LazyDocumentLayout *>(this)->documentSizeChanged(size);
    }
}

// --- Geometry ----------------------------------------------------------------------

QSizeF LazyDocumentLayout::documentSize() const {
    syncBlockCount();
    if (!m_frameKnown)
        checkFrame();
    if (!m_widestKnown) {
        m_widest = 0;
        for (const Block &block : m_blocks)
            m_widest = qMax(m_widest, block.width);
        m_widestKnown = true;
    }
    Fixed width = m_frame.pageWidth <= 0 ? m_frame.pageWidth : qMax(m_frame.pageWidth, m_widest);
    Fixed height = m_frame.top + m_advances.total() + m_frame.bottom;
    return QSizeF(real(width + m_frame.marginWidth), real(height) + m_topPadding + m_bottomPadding);
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

void LazyDocumentLayout::keepGlyphs(int firstShown, int lastShown, int caretPosition) {
    const QTextBlock caret = caretPosition >= 0 ? document()->findBlock(caretPosition) : QTextBlock();
    std::vector<int> keep;
    if (firstShown >= 0)
        for (int number = firstShown; number <= lastShown; number++)
            keep.push_back(number);
    if (caret.isValid() && (caret.blockNumber() < firstShown || caret.blockNumber() > lastShown))
        keep.insert(std::lower_bound(keep.begin(), keep.end(), caret.blockNumber()), caret.blockNumber());
    if (keep == m_keptGlyphs)
        return;
    // The blocks that left, if they are still there (a number may now be
    // another block's, which loses nothing by it).
    const int blocks = document()->blockCount();
    for (const int number : m_keptGlyphs)
        if (number < blocks && !std::binary_search(keep.begin(), keep.end(), number))
            document()->findBlockByNumber(number).layout()->setCacheEnabled(false);
    for (const int number : keep)
        if (number < blocks)
            document()->findBlockByNumber(number).layout()->setCacheEnabled(true);
    m_keptGlyphs = std::move(keep);
}

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
            if (m_blocks[size_t(block.blockNumber())].dirty)
                moved |= layoutBlock(block);
        }
        if (!moved)
            break;
        scheduleIdle();
    }
    // What the painter's device shows, with a screen's height above and
    // below: changes there are laid out at once.
    if (QPaintDevice *device = painter->device(); device && device->height() > 0) {
        const QRectF view =
            painter->transform().inverted().mapRect(QRectF(0, 0, device->width(), device->height()));
        const Fixed viewTop = fixed(view.top()), viewBottom = fixed(view.bottom());
        const Fixed margin = viewBottom - viewTop;
        m_nearFirst = qMax(0, blockAtY(viewTop - margin).blockNumber());
        m_nearLast = qMax(m_nearFirst, blockAtY(viewBottom + margin).blockNumber());
        m_viewKnown = true;
        const int firstInView = qMax(0, blockAtY(viewTop).blockNumber());
        keepGlyphs(firstInView, qMax(firstInView, blockAtY(viewBottom).blockNumber()), context.cursorPosition);
    } else {
        keepGlyphs(-1, -1, context.cursorPosition);
    }
    // What is painted is where a long document's heights settle next.
    const QTextBlock firstShown = blockAtY(top);
    m_shownFirst = size_t(qMax(0, firstShown.blockNumber()));
    m_shownLast = qMax(m_shownFirst, size_t(qMax(0, blockAtY(bottom).blockNumber())));
    if (!isSettled())
        scheduleIdle();

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
