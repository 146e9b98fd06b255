#include "editor/storage/line_parts.h"

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

// A place is marked where the hash's top bits are all zero: one place in
// kMean on average.
constexpr int kMarkShift = 64 - 12;
static_assert(kMean == 1 << 12, "the mark's bits give the mean distance between places");

quint64 gearOf(QChar c) { return kGears[(c.unicode() ^ (c.unicode() >> 8)) & 0xFF]; }

}  // namespace

bool canEndPart(QChar c) {
    return !c.isSurrogate() && !c.isMark() && c != QLatin1Char('\t') && c != QChar(0x200C) && c != QChar(0x200D);
}

void Cutter::warm(QChar c) {
    m_hash = (m_hash << 1) + gearOf(c);
    // Offsets before the first unit fed are negative.
    m_lastBlank = isBlank(c) ? -1 : m_lastBlank - 1;
}

bool Cutter::feed(QChar c) {
    const qsizetype at = m_at++;
    m_hash = (m_hash << 1) + gearOf(c);
    const bool blank = isBlank(c);
    const qsizetype sinceBlank = at - m_lastBlank;
    if (blank)
        m_lastBlank = at;
    // What is left of the line fits in one part.
    if (m_rest - m_partStart <= kLimit)
        return false;
    const qsizetype size = at - m_partStart;
    // A part ends no nearer than kMin to the line's end.
    if (m_rest - at - 1 < kMin)
        return false;
    if (m_trigger < 0 && size >= kMin && (m_hash >> kMarkShift) == 0)
        m_trigger = at;
    // A part ends at a space or tab, or where none came for long, at a
    // character that can end it.
    const bool canCut = blank || (sinceBlank > kBlankReach && canEndPart(c));
    bool cut = m_trigger >= 0 && canCut;
    // A part no place was marked in ends before it grows past kLimit, at a
    // space or tab where one comes.
    if (!cut && size >= kLimit - kMin)
        cut = canCut || (size >= kLimit && !c.isLowSurrogate());
    if (cut) {
        m_partStart = at + 1;
        m_trigger = -1;
    }
    return cut;
}

std::vector<qsizetype> cuts(QStringView line) {
    std::vector<qsizetype> found;
    if (line.size() <= kLimit)
        return found;
    Cutter cutter(line.size());
    for (qsizetype i = 0; i < line.size(); i++)
        if (cutter.feed(line[i]))
            found.push_back(i);
    return found;
}

qsizetype cutLines(QString &shown, QStringView warm, qsizetype firstRest, qsizetype lastRest) {
    qsizetype made = 0;
    qsizetype start = 0;
    for (bool first = true; start <= shown.size(); first = false) {
        qsizetype end = shown.indexOf(QLatin1Char('\n'), start);
        const bool last = end < 0;
        if (last)
            end = shown.size();
        qsizetype rest = end - start;
        if (first && firstRest >= 0)
            rest = firstRest;
        else if (last && lastRest >= 0)
            rest = lastRest;
        if (rest > kLimit) {
            Cutter cutter(rest);
            if (first)
                for (QChar c : warm.right(kContext))
                    cutter.warm(c);
            for (qsizetype i = start; i < end; i++) {
                if (cutter.feed(shown[i])) {
                    shown[i] = QLatin1Char('\n');
                    made++;
                }
            }
        }
        start = end + 1;
    }
    return made;
}

}  // namespace lineparts
