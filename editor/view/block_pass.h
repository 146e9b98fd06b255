// Work over the blocks of a document done while the program idles, in
// slices of a few milliseconds, that always ends.
//
// The blocks that wait are kept as ranges of the text held by cursors of
// the document, so that they move with every edit as the text does: a
// slice finds its place with one lookup, goes on from where the last one
// stopped, and takes from the ranges what it did. A pass over the whole
// document thus looks at each block once however many slices it takes, an
// edit meanwhile adds only the blocks it touched (never starting the pass
// again), and the pass ends once no range is left. The blocks on screen, if
// any wait, are served first in every slice.
//
// The work itself belongs to the owner (spelling marks, and any other
// checker over the same blocks): `visit` does it for a block, and perhaps
// for blocks after it (a parse of whole top-level blocks), and returns the
// last block it covered; `needsVisit` lets the pass step over blocks the
// owner brought up to date another way (at once, after a keystroke). The
// clock is read after each visit and every few blocks stepped over, not at
// every block.
//
// Main thread only. The pass does nothing more once its document is gone.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include "platform/runtime/idle_work.h"

#include <climits>
#include <functional>
#include <utility>
#include <vector>

class QTextDocument;

class BlockPass : public QObject {
    Q_OBJECT
public:
    struct Work {
        // Does the work for `block` (and perhaps the blocks after it);
        // returns the last block done.
        std::function<QTextBlock(const QTextBlock &)> visit;
        // Whether a waiting block still needs its visit; every waiting
        // block does when unset.
        std::function<bool(const QTextBlock &)> needsVisit;
        // The first and last block on screen, served first; none when unset.
        std::function<std::pair<QTextBlock, QTextBlock>()> shownBlocks;
    };

    // Each idle slice lasts about `sliceMilliseconds`, or less when the
    // turn of idle work it runs in ends sooner.
    BlockPass(QTextDocument *document, Work work, int sliceMilliseconds, QObject *parent = nullptr);

    // Blocks [first, last] wait for a visit; the pass goes on in idle slices.
    void add(const QTextBlock &first, const QTextBlock &last);
    void addAll();
    // Nothing waits any more.
    void clear();
    bool isPending() const { return !m_ranges.empty(); }
    // Whether block `block` waits for a visit.
    bool isWaiting(const QTextBlock &block) const;
    // Asks for a slice soon, if anything waits (what is shown changed).
    void schedule();
    // Visits every waiting block now.
    void finish();
    // The widget that shows the document: its pass goes first while it is
    // in front.
    void setWidget(QWidget *widget, int order = 0) { m_task.setWidget(widget, order); }

    // What the pass has cost since it was made: slices run, visits made, and
    // blocks looked at (those visits covered and those of the ranges stepped
    // over; not the look at the screen's blocks that begins every slice).
    struct Counts {
        qint64 slices = 0;
        qint64 visits = 0;
        qint64 blocks = 0;
    };
    const Counts &counts() const { return m_counts; }

private:
    // A waiting range: the blocks from the one at `start` up to the one
    // that begins at `end` (a null cursor: to the end of the text). Both are
    // made at a block's start and then only moved by the document's edits:
    // moving a cursor by hand lays out its block (for the caret's x), and a
    // block laid out above the screen would move the text shown.
    struct Range {
        QTextCursor start;
        QTextCursor end;
    };
    static int startOf(const Range &range) { return range.start.position(); }
    static int endOf(const Range &range) { return range.end.isNull() ? INT_MAX : range.end.position(); }
    // The cursor at `block`'s start; a null one past the last block.
    static QTextCursor cursorAt(const QTextBlock &block) {
        return block.isValid() ? QTextCursor(block) : QTextCursor();
    }

    // Runs until `deadline` (at most one slice's length), to the end for a
    // forever one; whether blocks still wait.
    bool run(QDeadlineTimer deadline);
    // Visits the waiting blocks on screen.
    void serveShown();
    // Blocks from `first` up to (not including) `after` (none: to the end).
    void addBlocks(const QTextBlock &first, const QTextBlock &after);
    // Takes those blocks out of every range.
    void take(const QTextBlock &first, const QTextBlock &after);
    QTextBlock visit(const QTextBlock &block);

    QPointer<QTextDocument> m_document;
    Work m_work;
    int m_sliceMilliseconds;
    platform::IdleTask m_task;
    // In the order of the text; they may touch or overlap after edits.
    std::vector<Range> m_ranges;
    Counts m_counts;
};
