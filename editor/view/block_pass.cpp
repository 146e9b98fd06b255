#include "editor/view/block_pass.h"

#include <QTextDocument>

namespace {

// Blocks stepped over between two readings of the clock; a visit is
// always followed by one.
constexpr int kStepsPerClockReading = 64;

int positionOf(const QTextBlock &block) { return block.isValid() ? block.position() : INT_MAX; }

}  // namespace

BlockPass::BlockPass(QTextDocument *document, Work work, int sliceMilliseconds, QObject *parent)
    : QObject(parent),
      m_document(document),
      m_work(std::move(work)),
      m_sliceMilliseconds(sliceMilliseconds),
      m_task([this](QDeadlineTimer deadline) {
          const QDeadlineTimer slice(m_sliceMilliseconds, Qt::PreciseTimer);
          return run(slice.deadlineNSecs() < deadline.deadlineNSecs() ? slice : deadline);
      }) {}

void BlockPass::add(const QTextBlock &first, const QTextBlock &last) {
    if (!m_document || !first.isValid() || !last.isValid() || first.document() != m_document ||
        last.document() != m_document)
        return;
    if (last.position() < first.position())
        addBlocks(last, first.next());
    else
        addBlocks(first, last.next());
    schedule();
}

void BlockPass::addAll() {
    if (m_document)
        add(m_document->firstBlock(), m_document->lastBlock());
}

void BlockPass::clear() {
    m_ranges.clear();
    m_task.cancel();
}

bool BlockPass::isWaiting(const QTextBlock &block) const {
    if (!block.isValid() || block.document() != m_document)
        return false;
    const int start = block.position();
    const int end = positionOf(block.next());
    for (const Range &range : m_ranges)
        if (startOf(range) < end && endOf(range) > start)
            return true;
    return false;
}

void BlockPass::schedule() {
    if (isPending())
        m_task.schedule();
}

void BlockPass::finish() {
    m_task.cancel();
    run(QDeadlineTimer(QDeadlineTimer::Forever));
}

// Merges the new range with those it overlaps or touches; the ranges stay
// few, however the blocks that wait came.
void BlockPass::addBlocks(const QTextBlock &first, const QTextBlock &after) {
    Range added{cursorAt(first), cursorAt(after)};
    std::vector<Range> ranges;
    ranges.reserve(m_ranges.size() + 1);
    bool placed = false;
    for (Range &range : m_ranges) {
        if (endOf(range) < startOf(added)) {
            ranges.push_back(std::move(range));
        } else if (startOf(range) > endOf(added)) {
            if (!placed) {
                ranges.push_back(std::move(added));
                placed = true;
            }
            ranges.push_back(std::move(range));
        } else {
            if (startOf(range) < startOf(added))
                added.start = range.start;
            if (endOf(range) > endOf(added))
                added.end = range.end;
        }
    }
    if (!placed)
        ranges.push_back(std::move(added));
    m_ranges = std::move(ranges);
}

void BlockPass::take(const QTextBlock &first, const QTextBlock &after) {
    const int from = first.position();
    const int to = positionOf(after);
    std::vector<Range> ranges;
    ranges.reserve(m_ranges.size() + 1);
    for (Range &range : m_ranges) {
        const int start = startOf(range), end = endOf(range);
        if (end <= from || start >= to) {
            // Edits may have emptied a range: its blocks went with its text.
            if (start < end)
                ranges.push_back(std::move(range));
            continue;
        }
        if (start < from)
            ranges.push_back({range.start, cursorAt(first)});
        if (end > to)
            ranges.push_back({cursorAt(after), range.end});
    }
    m_ranges = std::move(ranges);
}

QTextBlock BlockPass::visit(const QTextBlock &block) {
    m_counts.visits++;
    const QTextBlock done = m_work.visit(block);
    // A visit covers at least its own block.
    if (!done.isValid() || done.document() != m_document || done.position() < block.position()) {
        m_counts.blocks++;
        return block;
    }
    m_counts.blocks += done.blockNumber() - block.blockNumber() + 1;
    return done;
}

void BlockPass::serveShown() {
    if (!m_work.shownBlocks)
        return;
    const auto [first, last] = m_work.shownBlocks();
    if (!first.isValid() || first.document() != m_document)
        return;
    const int lastNumber = last.isValid() && last.document() == m_document ? last.blockNumber() : first.blockNumber();
    int number = first.blockNumber();
    for (QTextBlock block = first; block.isValid() && number <= lastNumber && isPending();) {
        if (isWaiting(block) && (!m_work.needsVisit || m_work.needsVisit(block))) {
            const QTextBlock done = visit(block);
            take(block, done.next());
            number = done.blockNumber() + 1;
            block = done.next();
        } else {
            block = block.next();
            number++;
        }
    }
}

// A slice: the blocks on screen, then the first range from its start. What
// was done (visited, or stepped over as not needing it) is taken out of the
// ranges when the slice stops, so that the next one begins right after it.
bool BlockPass::run(QDeadlineTimer deadline) {
    if (!m_document) {
        clear();
        return false;
    }
    m_counts.slices++;
    serveShown();
    int steps = 0;
    bool overdue = false;
    while (!m_ranges.empty() && !overdue) {
        const int start = startOf(m_ranges.front());
        const int end = endOf(m_ranges.front());
        const QTextBlock first = m_document->findBlock(start);
        if (end <= start || !first.isValid()) {
            m_ranges.erase(m_ranges.begin());
            continue;
        }
        const QTextBlock last = end == INT_MAX ? m_document->lastBlock() : m_document->findBlock(end - 1);
        const int lastNumber = last.isValid() ? last.blockNumber() : m_document->blockCount() - 1;
        QTextBlock block = first;
        int number = block.blockNumber();
        while (block.isValid() && number <= lastNumber) {
            if (!m_work.needsVisit || m_work.needsVisit(block)) {
                const QTextBlock done = visit(block);
                number = done.blockNumber() + 1;
                block = done.next();
                steps = kStepsPerClockReading;
            } else {
                m_counts.blocks++;
                block = block.next();
                number++;
            }
            if (++steps >= kStepsPerClockReading) {
                steps = 0;
                if (deadline.hasExpired()) {
                    overdue = true;
                    break;
                }
            }
        }
        // Everything before `block` is done.
        take(first, block);
    }
    if (isPending())
        m_task.schedule();
    else
        m_task.cancel();
    return isPending();
}
