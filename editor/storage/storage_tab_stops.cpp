// The elastic tab stops of SmartTextStorage. A tab block of depth d is a run
// of consecutive lines that each hold at least d tabs; the stop of column d
// in it sits one gap past the widest d-th cell of its lines, after the
// line's stop of column d - 1. Blocks of depth d + 1 lie inside blocks of
// depth d, so the columns are placed depth by depth over the whole region:
// iteratively, and no deeper than kMaxTabDepth, whatever a line holds.
//
// The stops live in each block's BlockStyle; the document layout's option
// hook turns them into the block's QTextOption tabs (which Qt measures from
// the start of each line) just before the block is laid out.
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextDocument>
#include <QThread>

#include <climits>
#include <functional>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <vector>

#include "editor/editor_log.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/storage/smart_text_storage.h"

namespace {

// The unit of the stops, times the zoom factor: the narrowest column and the
// gap after every column.
constexpr qreal kTabUnit = 15;

BlockStyle *styleOf(const QTextBlock &block) { return static_cast<BlockStyle *>(block.userData()); }

// One line of a region with where its tabs are (no more than the deepest
// column placed) and the stops it gets.
struct TabLine {
    QTextBlock block;
    QString text;
    QList<int> tabs;
    QList<qreal> stops;
    qreal headIndent = -1;
    bool overflow = false;  // more tabs than columns placed
};

}  // namespace

// Typeset widths of parts of a line in the fonts the line shows, with one
// QFontMetricsF per style.
class SmartTextStorage::CellMeasure {
public:
    explicit CellMeasure(const SmartTextStorage &storage)
        : m_storage(storage), m_base(storage.m_document->defaultFont()) {}

    qreal width(const QTextBlock &block, const QString &text, int from, int to) {
        if (from >= to)
            return 0;
        const BlockStyle *style = styleOf(block);
        if (!style || style->runs.isEmpty())
            return baseMetrics().horizontalAdvance(text.mid(from, to - from));
        qreal w = 0;
        for (const StyleRun &run : style->runs) {
            const int a = qMax(from, run.start), b = qMin(to, run.start + run.length);
            if (a < b)
                w += metrics(run.attrs).horizontalAdvance(text.mid(a, b - a));
        }
        // Text past the runs (none, unless a restyle is still to come).
        const int covered = style->runs.last().start + style->runs.last().length;
        if (to > covered)
            w += baseMetrics().horizontalAdvance(text.mid(qMax(from, covered), to - qMax(from, covered)));
        return w;
    }

    // Cell `cell` (from 1) of a line that ends it with a tab; a first cell
    // that begins a block quote adds the quote's indent, since stops count
    // from the text column's edge.
    qreal cellWidth(const TabLine &line, int cell) {
        const int from = cell == 1 ? 0 : line.tabs[cell - 2] + 1;
        const int to = line.tabs[cell - 1];
        qreal w = width(line.block, line.text, from, to);
        if (cell == 1 && from < to && line.text[from] == u'>')
            w += line.block.blockFormat().leftMargin();
        return w;
    }

private:
    const QFontMetricsF &baseMetrics() {
        if (!m_baseFontMetrics)
            m_baseFontMetrics.emplace(m_base);
        return *m_baseFontMetrics;
    }
    const QFontMetricsF &metrics(quint32 attrs) {
        auto found = m_metrics.find(attrs);
        if (found == m_metrics.end())
            found = m_metrics.emplace(attrs, QFontMetricsF(m_storage.m_styles.font(attrs, m_base))).first;
        return found->second;
    }

    const SmartTextStorage &m_storage;
    QFont m_base;
    std::optional<QFontMetricsF> m_baseFontMetrics;
    std::unordered_map<quint32, QFontMetricsF> m_metrics;
};

namespace {

// The lines of [first, last]; those `inParts` tells of (the parts of a long
// line) keep the layout's fixed stops, as lines without tabs do.
std::vector<TabLine> tabLines(const QTextBlock &first, const QTextBlock &last, int depthLimit,
                              const std::function<bool(const QTextBlock &)> &inParts) {
    std::vector<TabLine> lines;
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        TabLine line;
        line.block = block;
        line.text = inParts(block) ? QString() : block.text();
        for (int i = 0; i < line.text.size(); i++) {
            if (line.text[i] != u'\t')
                continue;
            if (line.tabs.size() == depthLimit) {
                line.overflow = true;
                break;
            }
            line.tabs.append(i);
        }
        if (const BlockStyle *style = styleOf(block)) {
            line.stops = style->tabStops;
            line.headIndent = style->tabHeadIndent;
        }
        lines.push_back(std::move(line));
        if (block == last)
            break;
    }
    return lines;
}

}  // namespace

// --- Aligning ------------------------------------------------------------------------------

void SmartTextStorage::watchTabStops() {
    connect(this, &SmartTextStorage::restyled, this, &SmartTextStorage::restyledForTabStops);
    m_layout->setOptionHook([](const QTextBlock &block, LazyDocumentLayout::BlockGeometry &geometry) {
        const BlockStyle *style = styleOf(block);
        if (!style || (style->tabStops.isEmpty() && style->tabHeadIndent < 0))
            return;
        // Qt measures tab positions from the start of the line: the first
        // line's, for the stops are placed for the text of the first line.
        const qreal firstLineStart = geometry.left + geometry.firstLine;
        QList<QTextOption::Tab> tabs;
        for (qreal x : style->tabStops)
            if (x > firstLineStart)
                tabs.append(QTextOption::Tab((x - firstLineStart) / geometry.tabScale, QTextOption::LeftTab));
        geometry.option.setTabs(tabs);
        if (style->tabHeadIndent >= 0) {
            geometry.left = style->tabHeadIndent;
            geometry.firstLine = firstLineStart - style->tabHeadIndent;
        }
    });
}

void SmartTextStorage::restyledForTabStops(CharRange range) {
    if (m_preferences.useElasticTabstops)
        alignTabStopsInRange(range);
    else if (m_hasTabStops)
        clearTabStops();
}

void SmartTextStorage::alignTabStops() { alignTabStopsInRange({0, length()}); }

void SmartTextStorage::alignTabStopsInRange(CharRange range) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, range] { alignTabStopsInRange(range); }, Qt::BlockingQueuedConnection);
        return;
    }
    auto [first, last] = blocksOf(range);
    if (!first.isValid() || !last.isValid())
        return;
    // The tab blocks that hold or touch the lines: an edit that adds or
    // removes a line's tabs changes the columns of its neighbours. A line
    // without tabs (a blank line among them) ends the search.
    auto holdsTab = [this](const QTextBlock &block) {
        return block.isValid() && !continuesLine(block) && !endsInLine(block) && block.text().contains(u'\t');
    };
    while (holdsTab(first.previous()))
        first = first.previous();
    while (holdsTab(last.next()))
        last = last.next();
    configureTabStops(1, first, last);
}

std::pair<QTextBlock, QTextBlock> SmartTextStorage::blocksOf(CharRange range) const {
    const CharRange r = clamp(range);
    // A range that reaches the end of the text holds the last line, also
    // when that line is empty (it begins where the range ends): a line
    // emptied there must lose its stops too.
    if (r.end() >= length())
        return {m_document->findBlock(int(r.location)), m_document->lastBlock()};
    return {m_document->findBlock(int(r.location)),
            m_document->findBlock(int(r.length > 0 ? r.end() - 1 : r.location))};
}

void SmartTextStorage::configureTabStopsDepth(int depth, CharRange range) {
    assertThread();
    auto [first, last] = blocksOf(range);
    if (first.isValid() && last.isValid())
        configureTabStops(depth, first, last);
}

void SmartTextStorage::configureTabStops(int depth, const QTextBlock &first, const QTextBlock &last) {
    depth = qMax(depth, 1);
    std::vector<TabLine> lines = tabLines(first, last, kMaxTabDepth, [this](const QTextBlock &block) {
        return continuesLine(block) || endsInLine(block);
    });
    if (depth == 1) {
        for (TabLine &line : lines) {
            line.stops.clear();
            line.headIndent = -1;
        }
    }

    const qreal unit = kTabUnit * m_zoomFactor;
    CellMeasure measure(*this);
    for (int d = depth; d <= kMaxTabDepth; d++) {
        bool placed = false;
        for (size_t i = 0; i < lines.size();) {
            if (lines[i].tabs.size() < d) {
                i++;
                continue;
            }
            size_t end = i;
            qreal width = unit;
            for (; end < lines.size() && lines[end].tabs.size() >= d; end++)
                width = qMax(width, measure.cellWidth(lines[end], d));
            for (; i < end; i++) {
                TabLine &line = lines[i];
                const qreal x = (line.stops.isEmpty() ? 0 : line.stops.last()) + width + unit;
                line.stops.append(x);
                // Cells no wider than the minimum up to here (lines indented
                // by tabs): wrapped lines line up with the text after them.
                if (std::abs(x - 2 * unit * d) < 1e-6)
                    line.headIndent = x;
            }
            placed = true;
        }
        if (!placed)
            break;
    }

    int changedFirst = INT_MAX, changedLast = -1;
    for (TabLine &line : lines) {
        if (line.overflow && !m_tabDepthLogged) {
            m_tabDepthLogged = true;
            qCWarning(lcEditor, "elastic tab stops: columns past %d keep fixed tab stops", kMaxTabDepth);
        }
        BlockStyle *style = styleOf(line.block);
        if (style ? style->tabStops == line.stops && style->tabHeadIndent == line.headIndent
                  : line.stops.isEmpty() && line.headIndent < 0)
            continue;
        if (!style) {
            style = new BlockStyle;
            line.block.setUserData(style);
        }
        style->tabStops = std::move(line.stops);
        style->tabHeadIndent = line.headIndent;
        if (!style->tabStops.isEmpty() || style->tabHeadIndent >= 0)
            m_hasTabStops = true;
        changedFirst = qMin(changedFirst, line.block.blockNumber());
        changedLast = qMax(changedLast, line.block.blockNumber());
    }
    if (changedLast >= 0)
        m_layout->invalidateBlocks(changedFirst, changedLast);
}

qreal SmartTextStorage::widthOfCell(int cell, CharRange range) const {
    assertThread();
    if (cell < 1)
        return 0;
    auto [first, last] = blocksOf(range);
    qreal width = kTabUnit * m_zoomFactor;
    if (!first.isValid() || !last.isValid() || cell > kMaxTabDepth)
        return width;
    CellMeasure measure(*this);
    for (const TabLine &line : tabLines(first, last, cell, [this](const QTextBlock &block) {
             return continuesLine(block) || endsInLine(block);
         }))
        if (line.tabs.size() >= cell)
            width = qMax(width, measure.cellWidth(line, cell));
    return width;
}

void SmartTextStorage::clearTabStops() {
    int changedFirst = INT_MAX, changedLast = -1;
    for (QTextBlock block = m_document->firstBlock(); block.isValid(); block = block.next()) {
        BlockStyle *style = styleOf(block);
        if (!style || (style->tabStops.isEmpty() && style->tabHeadIndent < 0))
            continue;
        style->tabStops.clear();
        style->tabHeadIndent = -1;
        changedFirst = qMin(changedFirst, block.blockNumber());
        changedLast = block.blockNumber();
    }
    m_hasTabStops = false;
    if (changedLast >= 0)
        m_layout->invalidateBlocks(changedFirst, changedLast);
}

QList<qreal> SmartTextStorage::tabStops(const QTextBlock &block) const {
    const BlockStyle *style = styleOf(block);
    return style ? style->tabStops : QList<qreal>();
}

std::optional<qreal> SmartTextStorage::tabHeadIndent(const QTextBlock &block) const {
    const BlockStyle *style = styleOf(block);
    if (!style || style->tabHeadIndent < 0)
        return std::nullopt;
    return style->tabHeadIndent;
}
