// The editor's document layout: lays out only the blocks that are needed
// (those painted, hit or asked for, and those an edit touched), keeps every
// block's height in a Fenwick tree so that positions and "the block at this
// y" cost O(log n), and settles the estimated heights of the rest in short
// idle slices, each going on from where the last one stopped and jumping
// to the next block that waits (a second Fenwick tree counts them), so
// that settling a whole document costs one layout per block (a very long
// document settles only the neighbourhood of what is shown). Block
// geometry follows Qt's own QTextDocumentLayout rule for rule (root-frame
// margins, block margins collapsed between blocks, indents, line height,
// tab stops, alignment, positions in 1/64 px), so that a
// QTextEdit shows the same picture as with the stock layout, at a cost per
// keystroke that does not grow with the document. Tables, frames, floats and
// list bullets are not laid out: the editor's documents have none.
#pragma once

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextOption>
#include <QTimer>

#include <functional>
#include <utility>
#include <vector>

#include "editor/view/fenwick_tree.h"
#include "platform/runtime/idle_work.h"

class LazyDocumentLayout : public QAbstractTextDocumentLayout {
    Q_OBJECT
public:
    explicit LazyDocumentLayout(QTextDocument *document);

    void draw(QPainter *painter, const PaintContext &context) override;
    int hitTest(const QPointF &point, Qt::HitTestAccuracy accuracy) const override;
    int pageCount() const override { return 1; }
    // The size with every block not yet laid out at its estimated height.
    QSizeF documentSize() const override;
    QRectF frameBoundingRect(QTextFrame *frame) const override;
    // Lays the block out when needed; its QTextLayout then also sits at the
    // block's position.
    QRectF blockBoundingRect(const QTextBlock &block) const override;

    // Space above the first and below the last block (typewriter scrolling),
    // part of the document's size and positions.
    void setVerticalPadding(qreal top, qreal bottom);
    qreal topPadding() const { return m_topPadding; }
    qreal bottomPadding() const { return m_bottomPadding; }
    // Space left and right of the text column (an editor's margins), inside
    // the root frame's own margins, in whole pixels; a change lays every
    // block out again at the new width.
    void setHorizontalPadding(qreal left, qreal right);
    qreal leftPadding() const { return m_leftPadding; }
    qreal rightPadding() const { return m_rightPadding; }

    // What a hook may change of a block just before it is laid out: its
    // text option (tab stops, wrapping) and the indents of its lines, in
    // pixels from the text column's left edge: `left` for every line, plus
    // `firstLine` for the first. `tabScale` is what Qt multiplies tab
    // positions by (the paint device's dots per inch over 96).
    struct BlockGeometry {
        QTextOption option;
        qreal left = 0;
        qreal firstLine = 0;
        qreal tabScale = 1;
    };
    // A hook that may change a block's geometry before it is laid out
    // (elastic tab stops); blocks laid out before it was set keep their
    // lines until they are next invalidated.
    using OptionHook = std::function<void(const QTextBlock &, BlockGeometry &)>;
    void setOptionHook(OptionHook hook);
    // Marks blocks [first, last] for a new layout (after the hook's input
    // changed). Inside an edit of the document that has not reached the
    // layout yet, the blocks are marked once it has.
    void invalidateBlocks(int first, int last);
    // A hook that gives a block's QTextLayout its formats just before the
    // block is laid out, so that the formats of blocks never shown need not
    // live in Qt's layouts (each a QTextLayout of its own). Setting formats
    // is a change of the document: the hook makes it one of its own (an
    // edit block of its own), which the layout takes as known.
    using FormatHook = std::function<void(const QTextBlock &)>;
    void setFormatHook(FormatHook hook) { m_formatHook = std::move(hook); }
    // A hook that tells where the text whose formats are still to come
    // begins (-1 when they all are known): the idle slices lay out no
    // block from there on, which would be laid out again once its formats
    // came, but wait until they have. Blocks painted are laid out whatever
    // they hold.
    using PendingFormatsHook = std::function<qsizetype()>;
    void setPendingFormatsHook(PendingFormatsHook hook) { m_pendingFormatsHook = std::move(hook); }
    // The change the document reports next is new formats of `block`
    // alone (its layout's, set by the caller), if it comes as exactly that
    // block: its text, and so the block after it, stay as they were. An
    // invalid block ends the expectation.
    void expectFormatsOf(const QTextBlock &block) { m_formatsOf = block.isValid() ? block.blockNumber() : -1; }
    // Whether block `number` is laid out at the current width (its lines
    // hold); true inside an edit the layout has not heard of yet, when its
    // records may not be those of the document's numbers.
    bool isLaidOut(int number) const;

    // Whether every block is laid out at the current width, and how many
    // blocks are not (they have estimated heights).
    bool isExact() const { return m_dirtyCount == 0; }
    int estimatedBlocks() const { return m_dirtyCount; }
    // Whether the idle slices have nothing left to do. A document of up to
    // settleLimit() blocks settles the height of every block; a longer one
    // (hundreds of thousands of lines), only those within kSettleRadius
    // blocks of what was painted last: the others keep their estimates
    // until they are shown or asked for, so that such a document neither
    // keeps a core busy for minutes nor holds the lines of every block.
    // So does a document whose text costs far more to lay out than prose
    // (isCostly()), with only the blocks within a screen's height of what
    // was painted last.
    bool isSettled() const;
    static constexpr size_t kSettleRadius = 1000;
    // Whether the idle slices found this document's text far costlier to
    // lay out than prose: more than kCostlyFactor times what a paragraph of
    // prose costs per character on this machine, over their last
    // kCostSample of work. Colour emoji are: Qt decodes each one's picture
    // to learn its width, every time a line holding it is laid out (a line
    // of them costs about 200 times prose, where CJK costs 10 to 15 times).
    // Settling all of such a text would keep a core busy for as long as a
    // document of hundreds of megabytes of prose. It stays costly until
    // every block has been laid out.
    bool isCostly() const { return m_costly; }
    static constexpr qint64 kCostlyFactor = 40;
    static constexpr qint64 kCostSampleNanoseconds = 250'000'000;
    size_t settleLimit() const { return m_settleLimit; }
    void setSettleLimit(size_t blocks);
    // The number of blocks a document still growing (a long text laid in
    // from its start) is to have: it settles as a document of that length
    // from its first block on. 0 when the document has all its blocks.
    void setExpectedBlocks(size_t blocks);
    // Lays out blocks with estimated heights that the idle slices settle,
    // for about `milliseconds`; true while some are left.
    bool layoutSome(int milliseconds);
    // The widget that shows the document: its idle slices go first while it
    // is in front.
    void setWidget(QWidget *widget, int order) { m_idleTask.setWidget(widget, order); }
    // Lays out every block.
    void finishLayout();
    // Lays out `block` and the blocks within `above` pixels above it and
    // `below` below it, and tells of their new heights at once, as an idle
    // slice does (the new size follows with the next slice, not inside a
    // caller that may be handling a resize): a view that then scrolls to
    // the block works out where from the real heights of what it will show,
    // which painting would otherwise give them after the scroll, moving
    // the block.
    void layOutAround(const QTextBlock &block, qreal above, qreal below);
    // The top of a block (of its first line's box, margins excluded).
    qreal blockTop(int blockNumber) const;
    // The block at `y` as the heights stand now, estimates included: what
    // is on screen, asked for without laying out (and so moving) anything.
    QTextBlock blockAtHeight(qreal y) const;
    // How many characters this layout has laid out in lines since it was
    // made: a count of the work done, for tests.
    qint64 charactersLaidOut() const { return m_charactersLaidOut; }

signals:
    // Blocks [firstBlock, lastBlock] got exact heights in an idle slice; the
    // block range began at `top` and was `oldHeight` tall, now `newHeight`.
    // A view keeps its text still by moving its scroll position when the
    // range lies above what it shows.
    void heightsSettled(qreal top, qreal oldHeight, qreal newHeight);

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    struct Block {
        int64_t gap = 0;     // collapsed margin above the block (1/64 px)
        int64_t height = 0;  // lines and the last line's bottom (1/64 px)
        int64_t width = 0;   // widest line's right edge plus right margin
        bool dirty = true;
    };
    struct Frame {
        int64_t left = 0, right = 0;  // x of the text column's edges
        int64_t top = 0, bottom = 0;  // frame margins above and below the blocks
        int64_t pageWidth = 0;        // for the document's width
        int64_t marginWidth = 0;
    };

    Frame frame() const;
    void syncBlockCount() const;
    void rebuildTree() const;
    int64_t estimateHeight(const QTextBlock &block) const;
    int64_t gapBefore(const QTextBlock &block) const;
    // Lays out one block at the current frame; returns whether its advance
    // (gap + height) changed.
    bool layoutBlock(const QTextBlock &block) const;
    bool ensureBlock(const QTextBlock &block) const;
    void markDirty(int index) const;
    void markAllDirty() const;
    // The first block at or after `index` that waits for its layout (the
    // block count when none does).
    size_t nextDirty(size_t index) const;
    void setWidth(Block &entry, int64_t width) const;
    // The blocks [first, last) whose heights the idle slices settle, and
    // how many of a range wait.
    std::pair<size_t, size_t> settleWindow() const;
    size_t dirtyIn(std::pair<size_t, size_t> window) const;
    // The first block whose formats are still to come (the block count
    // when none is).
    size_t formatsKnownBefore() const;
    // An idle slice: lays out the blocks the idle slices settle, up to the
    // first whose formats are still to come, for about `milliseconds`; true
    // while some are left that it may lay out now.
    bool settleIdle(int milliseconds);
    // How often, in milliseconds, the idle slices look whether formats
    // they wait for have come.
    static constexpr int kPendingFormatsPoll = 20;
    bool settleSome(int milliseconds, std::pair<size_t, size_t> window);
    // Takes in what laying out `characters` cost an idle slice.
    void weighCost(qint64 nanoseconds, qint64 characters) const;
    void checkFrame() const;
    int64_t blockTopFixed(int index) const;
    QTextBlock blockAtY(int64_t y) const;
    void placeLayout(const QTextBlock &block) const;
    void emitSizeIfChanged() const;
    // Whether blocks [first, last] meet what was painted last, with a
    // screen's height around it.
    bool nearView(int first, int last) const;
    void scheduleIdle() const;
    // The blocks the view shows and the caret's keep the glyphs they were
    // shaped into, which Qt would otherwise drop after each layout and
    // drawing: every paint and the caret's blink (its line drawn, its place
    // asked for) would shape them again, and shaping a line of colour emoji
    // costs a picture decoded for each. A block that leaves the view lets
    // its glyphs go.
    void keepGlyphs(int firstShown, int lastShown, int caretPosition);

    mutable std::vector<Block> m_blocks;
    mutable FenwickTree m_advances;  // gap + height per block
    mutable FenwickTree m_dirty;     // 1 per block that waits for its layout
    mutable int m_dirtyCount = 0;
    // The widest block's width, known unless that block got narrower or
    // went away.
    mutable int64_t m_widest = 0;
    mutable bool m_widestKnown = true;
    mutable size_t m_idleScan = 0;
    // The blocks painted last, first and last.
    size_t m_shownFirst = 0, m_shownLast = 0;
    // The blocks within a screen's height of the painter's whole view at the
    // last paint, whatever part of it was painted.
    int m_nearFirst = 0, m_nearLast = 0;
    bool m_viewKnown = false;
    size_t m_settleLimit = 500000;
    size_t m_expectedBlocks = 0;
    mutable Frame m_frame;
    mutable bool m_frameKnown = false;
    mutable QSizeF m_reportedSize;
    // The idle slices, in the program's turns of idle work.
    mutable platform::IdleTask m_idleTask;
    // Brings the idle slices back once formats they waited for may have come.
    QTimer m_pendingFormatsPoll;
    qreal m_topPadding = 0;
    qreal m_bottomPadding = 0;
    qreal m_leftPadding = 0;
    qreal m_rightPadding = 0;
    OptionHook m_optionHook;
    FormatHook m_formatHook;
    PendingFormatsHook m_pendingFormatsHook;
    int m_formatsOf = -1;  // see expectFormatsOf()
    mutable bool m_formatting = false;
    mutable qint64 m_charactersLaidOut = 0;
    // What the idle slices' layouts cost lately (CPU time of the thread)
    // and for how many characters, and whether that made the text costly.
    mutable qint64 m_sampleNanoseconds = 0;
    mutable qint64 m_sampleCharacters = 0;
    mutable bool m_costly = false;
    // Blocks to mark after the pending edit of the document (first > last:
    // none).
    int m_pendingFirst = 0, m_pendingLast = -1;
    std::vector<int> m_keptGlyphs;  // the blocks whose layouts keep their glyphs, in order
};
