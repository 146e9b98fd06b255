#include "editor/storage/line_parts.h"

#include <QTextBoundaryFinder>

#include <array>

namespace lineparts {

namespace {

// A fixed random value for each byte (a "gear"), from a seeded generator,
// so that parts end in the same places in every run of the program.
constexpr std::array<quint64, 256> makeGears() {
    std::array<quint64, 256> gears{};
    quint64 state = 0x2545F4914F6CDD1DULL;
    for (quint64 &gear : gears) {
        state += 0x9E3779B97F4A7C15ULL;
        quint64 z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        gear = z ^ (z >> 31);
    }
    return gears;
}
constexpr std::array<quint64, 256> kGears = makeGears();
static_assert(kWindow == 64, "the hash shifts each unit out after 64 more");

quint64 gearOf(QChar c) { return kGears[(c.unicode() ^ (c.unicode() >> 8)) & 0xFF]; }

constexpr char16_t kJoiner = 0x200D;
constexpr char16_t kEmojiPresentation = 0xFE0F;
// What a part's start tests for a repetition: two of the longest period.
constexpr qsizetype kPeriodWindow = 2 * kRadius + kWindow;
// Units the cutter keeps before a part's start (the marks' context).
constexpr qsizetype kKeep = kRadius + kWindow + 32;
constexpr qsizetype kChunk = 64 * 1024;
// How far the cutter reads ahead of what it looks at: a part or two, so that
// cutting again after an edit reads little more than it must.
constexpr qsizetype kReadAhead = 8 * 1024;

// The smallest period of `text` (its length when it does not repeat).
qsizetype smallestPeriod(QStringView text, std::vector<qsizetype> &border) {
    const qsizetype n = text.size();
    if (n == 0)
        return 0;
    border.assign(size_t(n), 0);
    for (qsizetype i = 1; i < n; i++) {
        qsizetype k = border[size_t(i - 1)];
        while (k > 0 && text[i] != text[k])
            k = border[size_t(k - 1)];
        if (text[i] == text[k])
            k++;
        border[size_t(i)] = k;
    }
    return n - border[size_t(n - 1)];
}

}  // namespace

int endRank(QStringView text, qsizetype at) {
    if (at < 0 || at >= text.size())
        return kCannotEnd;
    const QChar c = text[at];
    const QChar next = at + 1 < text.size() ? text[at + 1] : QChar();
    const QChar before = at > 0 ? text[at - 1] : QChar();
    if (c.isSurrogate() || c == QLatin1Char('\n'))
        return kCannotEnd;
    if (c == QChar(kJoiner)) {
        // Between two emoji of two units each (an emoji's presentation
        // selector may come before it).
        const bool emojiBefore = before.isLowSurrogate() || (before == QChar(kEmojiPresentation) && at > 1 &&
                                                             text[at - 2].isLowSurrogate());
        return emojiBefore && next.isHighSurrogate() ? kJoinerEnd : kUnitEnd;
    }
    if (c.isMark())
        return kUnitEnd;
    // Nothing below U+0300 joins a character before it.
    if (c.unicode() < 0x80 && (next.isNull() || next.unicode() < 0x300) && before != QChar(kJoiner))
        return isBlank(c) ? kBlankEnd : kCharacterEnd;
    // A consonant after a virama joins it in a conjunct.
    if (before.combiningClass() == 9)
        return kUnitEnd;
    const qsizetype from = qMax<qsizetype>(0, at - kRankReach), to = qMin(text.size(), at + kRankReach / 2);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data() + from, int(to - from));
    finder.setPosition(int(at - from));
    if (!finder.isAtBoundary())
        return kUnitEnd;
    finder.setPosition(int(at + 1 - from));
    if (!finder.isAtBoundary())
        return kUnitEnd;
    return isBlank(c) ? kBlankEnd : kCharacterEnd;
}

qsizetype LineText::repeatsUntil(qsizetype from, qsizetype period, qsizetype until) const {
    const qsizetype n = qMin(size(), until);
    for (qsizetype i = qMax(from, period); i < n;) {
        const qsizetype end = qMin(n, i + kChunk);
        const QString stretch = units(i - period, end - i + period);
        for (qsizetype k = 0; k < end - i; k++)
            if (stretch[k + period] != stretch[k])
                return i + k;
        i = end;
    }
    return qMax<qsizetype>(n, 0);
}

QString StringLine::units(qsizetype from, qsizetype length) const {
    from = qBound<qsizetype>(0, from, m_line.size());
    return m_line.mid(from, qBound<qsizetype>(0, length, m_line.size() - from)).toString();
}

qsizetype StringLine::repeatsUntil(qsizetype from, qsizetype period, qsizetype until) const {
    const qsizetype n = qBound<qsizetype>(0, until, m_line.size());
    qsizetype i = qMax(from, period);
    while (i < n && m_line[i] == m_line[i - period])
        i++;
    return qMin(i, n);
}

Cutter::Cutter(const LineText &line, qsizetype after, const KeptCuts *kept)
    : m_line(line), m_kept(kept), m_size(line.size()) {
    m_partStart = qMax<qsizetype>(0, after + 1);
    m_textFrom = qMax<qsizetype>(0, m_partStart - kKeep);
    m_scan = m_partStart;
    m_pushed = qMax<qsizetype>(0, m_partStart - kRadius);
}

void Cutter::load(qsizetype to) {
    qsizetype end = m_textFrom + m_text.size();
    if (to <= end || end >= m_size)
        return;
    // What no part from here on looks at any more goes.
    const qsizetype keepFrom = m_partStart - kKeep;
    if (keepFrom - m_textFrom > kChunk) {
        const qsizetype drop = keepFrom - m_textFrom;
        m_text.remove(0, drop);
        m_hashes.erase(m_hashes.begin(), m_hashes.begin() + drop);
        m_textFrom += drop;
    }
    const QString more = m_line.units(end, qMax(to, end + kReadAhead) - end);
    m_text += more;
    for (QChar c : more) {
        m_hash = (m_hash << 1) + gearOf(c);
        m_hashes.push_back(m_hash);
    }
}

QChar Cutter::at(qsizetype i) {
    load(i + 1);
    return m_text[i - m_textFrom];
}

quint64 Cutter::hashAt(qsizetype i) {
    load(i + 1);
    return m_hashes[size_t(i - m_textFrom)];
}

int Cutter::rankAt(qsizetype i) {
    load(i + 9);
    const qsizetype from = qMax(m_textFrom, i - 16);
    const qsizetype to = qMin(m_textFrom + m_text.size(), i + 9);
    return endRank(QStringView(m_text).mid(from - m_textFrom, to - from), i - from);
}

// Tests the next place for a mark: its hash smaller than every other within
// kRadius on either side.
void Cutter::scanOne() {
    const qsizetype place = m_scan++;
    for (const qsizetype last = qMin(m_size - 1, place + kRadius); m_pushed <= last; m_pushed++) {
        const quint64 hash = hashAt(m_pushed);
        while (!m_lowest.empty() && hashAt(m_lowest.back()) >= hash)
            m_lowest.pop_back();
        m_lowest.push_back(m_pushed);
        while (!m_first.empty() && hashAt(m_first.back()) > hash)
            m_first.pop_back();
        m_first.push_back(m_pushed);
    }
    while (!m_lowest.empty() && m_lowest.front() < place - kRadius)
        m_lowest.pop_front();
    while (!m_first.empty() && m_first.front() < place - kRadius)
        m_first.pop_front();
    if (!m_lowest.empty() && m_lowest.front() == place && m_first.front() == place)
        m_marked.push_back(place);
}

// From a marked place: the first space or tab, or where none came for
// kBlankReach units, the first character that may end a part.
qsizetype Cutter::cutFrom(qsizetype marked, qsizetype top) {
    qsizetype lastBlank = marked - kBlankReach - 1;
    for (qsizetype j = marked - 1; j > marked - kBlankReach - 1 && j >= m_textFrom; j--) {
        if (isBlank(at(j))) {
            lastBlank = j;
            break;
        }
    }
    for (qsizetype j = marked; j <= top; j++) {
        if (isBlank(at(j))) {
            if (rankAt(j) == kBlankEnd)
                return j;
            lastBlank = j;
        } else if (j - lastBlank > kBlankReach && rankAt(j) >= kCharacterEnd) {
            return j;
        }
    }
    return -1;
}

// A kept cut that ends the part: the first in [lo, top] (at a place where a
// part may end: the edit kept none it reached); with `repeating`, only one
// in text that repeats with a short period. The showing it was kept from
// had it for a reason the text alone no longer gives: nothing tells the
// places of a repetition apart, and an edit elsewhere must not move them.
qsizetype Cutter::keptCut(qsizetype lo, qsizetype top, bool repeating) {
    if (!m_kept)
        return -1;
    std::vector<qsizetype> border;
    for (qsizetype cut = m_kept->from(lo); cut >= 0 && cut <= top; cut = m_kept->from(cut + 1)) {
        if (rankAt(cut) == kCannotEnd)
            continue;
        if (!repeating)
            return cut;
        if (cut < kPeriodWindow)
            continue;
        const qsizetype from = cut - kPeriodWindow;
        const QString before = from >= m_textFrom ? QString() : m_line.units(from, kPeriodWindow);
        const QStringView window =
            from >= m_textFrom ? QStringView(m_text).mid(from - m_textFrom, kPeriodWindow) : QStringView(before);
        if (smallestPeriod(window, border) <= kRadius)
            return cut;
    }
    return -1;
}

// Whether the repetition found goes on (every unit the one a period before
// it) up to `until`, reading on from as far as it is known to go: no
// further than asked, so that finding where a repetition of megabytes ends
// is done once, and only where nothing nearer says where to cut it.
bool Cutter::runReaches(qsizetype until) {
    until = qMin(until, m_size);
    if (m_runTo < until && !m_runEnds) {
        m_runTo = m_line.repeatsUntil(m_runTo, m_period, until);
        m_runEnds = m_runTo < until || m_runTo >= m_size;
    }
    return m_runTo >= until;
}

// The place of the period (last - period, last] where a part ends best, the
// last of the best; gives how well it ends there.
int Cutter::bestInPeriod(qsizetype last, qsizetype period, qsizetype *place) const {
    const qsizetype nearFrom = qMax<qsizetype>(0, last - period - 16);
    const QString near = m_line.units(nearFrom, last + 9 - nearFrom);
    int best = kCannotEnd;
    *place = -1;
    for (qsizetype j = last; j > last - period && j >= 0; j--) {
        const int rank = endRank(near, j - nearFrom);
        if (rank > best) {
            *place = j;
            best = rank;
            if (rank == kBlankEnd)
                break;
        }
    }
    return best;
}

// In text that repeats with a period of at most kRadius, and where no kept
// cut ends the part: the ends fall on the same character of every L units
// (L the period's multiple nearest below kMean), in step with the first kept
// cut after the part where the repetition reaches it (so that the part after
// this one ends there), else counted back from the repetition's last whole
// period. The character is the one of the period where a part ends best.
qsizetype Cutter::cutInRepetition(qsizetype lo, qsizetype top) {
    const qsizetype check = m_partStart + kLimit - kMin;
    if (check > top)
        return -1;
    load(check);
    std::vector<qsizetype> border;
    const qsizetype period =
        smallestPeriod(QStringView(m_text).mid(check - kPeriodWindow - m_textFrom, kPeriodWindow), border);
    if (period > kRadius)
        return -1;
    if (period != m_period || check > m_runTo) {
        m_period = period;
        m_runTo = check;
        m_runEnds = false;
        m_gridFrom = -1;
    }
    // (A part's end reads the units up to 8 after it.)
    const qsizetype kept = m_kept ? m_kept->from(top + 1) : -1;
    const bool inStep = kept >= 0 && runReaches(kept + 9);
    if (!inStep)
        runReaches(m_size);
    const qsizetype last = inStep ? kept : m_runTo - period - 1;
    if (last != m_gridFrom) {
        m_gridFrom = last;
        m_gridRank = bestInPeriod(last, period, &m_gridPlace);
    }
    if (m_gridRank == kCannotEnd)
        return -1;
    // Where the run begins, as far back as this part may end.
    qsizetype start = check - kPeriodWindow;
    while (start > lo && at(start - 1) == at(start - 1 + period))
        start--;
    const qsizetype every = period * qMax<qsizetype>(1, kMean / period);
    const qsizetype from = qMax(lo, start + 1);
    if (m_gridPlace < from)
        return -1;
    for (qsizetype cut = m_gridPlace - (m_gridPlace - from) / every * every; cut <= top; cut += every)
        if (rankAt(cut) >= m_gridRank)
            return cut;
    return -1;
}

// No place marked, none kept and no repetition: a space or tab near kLimit,
// else a character that may end a part; where the part holds none, a joiner
// between two emoji, else any unit of one code point; past kLimit only where
// the part holds none of those either (a stretch of emoji of two units, and
// nothing else, is one part however long).
qsizetype Cutter::cutAnywhere(qsizetype lo, qsizetype top, qsizetype hi) {
    const qsizetype late = qMin(top + 1, qMax(lo, m_partStart + kLimit - kMin));
    for (qsizetype j = late; j <= top; j++)
        if (isBlank(at(j)) && rankAt(j) == kBlankEnd)
            return j;
    for (qsizetype j = late; j <= top; j++)
        if (rankAt(j) >= kCharacterEnd)
            return j;
    for (qsizetype j = late - 1; j >= lo; j--)
        if (rankAt(j) >= kCharacterEnd)
            return j;
    for (const int rank : {kJoinerEnd, kUnitEnd})
        for (qsizetype j = lo; j <= top; j++)
            if (rankAt(j) >= rank)
                return j;
    for (qsizetype j = top + 1; j <= hi; j++)
        if (rankAt(j) >= kUnitEnd)
            return j;
    return -1;
}

qsizetype Cutter::take(qsizetype cut) {
    m_partStart = cut + 1;
    return cut;
}

qsizetype Cutter::next() {
    const qsizetype start = m_partStart;
    if (m_size - start <= kLimit)
        return -1;
    const qsizetype lo = start + kMin, hi = m_size - 1 - kMin, top = qMin(hi, start + kLimit);
    while (!m_marked.empty() && m_marked.front() < start)
        m_marked.pop_front();
    // The first cut a marked place gives.
    qsizetype fromMark = -1;
    for (;;) {
        if (m_marked.empty()) {
            if (m_scan > top)
                break;
            scanOne();
            continue;
        }
        const qsizetype marked = m_marked.front();
        if (marked > top)
            break;
        const qsizetype cut = cutFrom(marked, top);
        if (cut < 0)
            break;
        if (cut >= lo) {
            fromMark = cut;
            break;
        }
        m_marked.pop_front();
    }
    // Before it, a kept cut in a repetition (whose marks come only from
    // edits in it, and must not take its kept parts along), else that cut;
    // with none, the kept cut.
    qsizetype cut = keptCut(lo, fromMark >= 0 ? fromMark - 1 : top, fromMark >= 0);
    if (cut < 0)
        cut = fromMark;
    if (cut < 0)
        cut = cutInRepetition(lo, top);
    if (cut < 0)
        cut = cutAnywhere(lo, top, hi);
    if (cut >= 0)
        return take(cut);
    m_partStart = m_size;
    return -1;
}

std::vector<qsizetype> cuts(QStringView line) {
    std::vector<qsizetype> found;
    if (line.size() <= kLimit)
        return found;
    const StringLine text(line);
    Cutter cutter(text);
    for (qsizetype cut; (cut = cutter.next()) >= 0;)
        found.push_back(cut);
    return found;
}

qsizetype cutLines(QString &shown) {
    qsizetype made = 0;
    for (qsizetype start = 0; start <= shown.size();) {
        qsizetype end = shown.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = shown.size();
        if (end - start > kLimit) {
            for (qsizetype cut : cuts(QStringView(shown).mid(start, end - start))) {
                shown[start + cut] = QLatin1Char('\n');
                made++;
            }
        }
        start = end + 1;
    }
    return made;
}

}  // namespace lineparts
