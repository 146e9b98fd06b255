// SmartTextStorage's long lines: shown in parts (line_parts.h), the parts
// kept within bounds after each edit, and what a part's end stands for.
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>

#include <cstring>

#include "editor/storage/line_parts.h"
#include "editor/storage/smart_text_storage.h"
#include "library/d_string.h"
#include "textengine/buffer/smart_string.h"

namespace {

// A line end farther than this past what a chunk of shown text must hold
// ends the chunk at one of the line's parts instead.
constexpr size_t kFarLineEnd = 64 * 1024;

bool isContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// A line of the buffer's UTF-8 text as the cutter reads it: display units,
// converted where it looks. The line is `units` units of `text` from unit
// `first` on; `near` is a byte of `text` and the units before it, near where
// the cutter reads, so that no read walks the line from its start. Counts
// the units it converts and the bytes it compares.
class Utf8Line final : public lineparts::LineText {
public:
    Utf8Line(const char *text, size_t bytes, qsizetype first, qsizetype units, const textunits::UnitAnchor &near,
             bool ascii)
        : m_text(text), m_bytes(bytes), m_first(first), m_units(units), m_anchor(near), m_ascii(ascii) {}

    qsizetype size() const override { return m_units; }
    qint64 read() const { return m_read; }

    QString units(qsizetype from, qsizetype length) const override {
        from = qBound<qsizetype>(0, from, m_units);
        length = qBound<qsizetype>(0, length, m_units - from);
        if (length == 0)
            return {};
        m_read += length;
        const size_t unit = size_t(m_first + from);
        if (m_ascii)
            return textunits::displayText(m_text + unit, size_t(length));
        // (A unit inside a surrogate pair begins with the pair's bytes.)
        const size_t begin = m_anchor.byteAt(m_text, m_bytes, unit);
        const size_t before = m_anchor.unitsAt(m_text, m_bytes, begin);
        const size_t end = m_anchor.byteAt(m_text, m_bytes, unit + size_t(length) + 1);
        return textunits::displayText(m_text + begin, end - begin).mid(qsizetype(unit - before), length);
    }

    // Compares bytes a period apart, which is quicker than units, up to
    // the character where they differ, then the units from there.
    qsizetype repeatsUntil(qsizetype from, qsizetype period, qsizetype until) const override {
        until = qMin(until, m_units);
        from = qMax(from, period);
        if (from >= until)
            return qMax<qsizetype>(until, 0);
        const size_t a = byteOf(m_first + from), b = byteOf(m_first + from - period);
        if (unitOf(b) != size_t(m_first + from - period) || unitOf(a) != size_t(m_first + from) || a <= b)
            return LineText::repeatsUntil(from, period, until);
        size_t stop = m_bytes;
        if (until < m_units) {
            textunits::UnitAnchor probe;
            probe.moveTo(a, size_t(m_first + from));
            stop = m_ascii ? size_t(m_first + until) : probe.byteAt(m_text, m_bytes, size_t(m_first + until));
        }
        const size_t shift = a - b;
        size_t j = a;
        constexpr size_t kBlock = 4096;
        while (j + kBlock <= stop && std::memcmp(m_text + j, m_text + j - shift, kBlock) == 0)
            j += kBlock;
        while (j < stop && m_text[j] == m_text[j - shift])
            j++;
        m_read += qint64(j - a);
        while (j > a && j < m_bytes && isContinuation(m_text[j]))
            j--;
        return LineText::repeatsUntil(qsizetype(unitOf(j)) - m_first, period, until);
    }

private:
    size_t byteOf(qsizetype unit) const {
        return m_ascii ? size_t(unit) : m_anchor.byteAt(m_text, m_bytes, size_t(unit));
    }
    size_t unitOf(size_t byte) const { return m_ascii ? byte : m_anchor.unitsAt(m_text, m_bytes, byte); }

    const char *m_text;
    size_t m_bytes;
    qsizetype m_first;
    qsizetype m_units;
    mutable textunits::UnitAnchor m_anchor;
    bool m_ascii;
    mutable qint64 m_read = 0;
};

// The ends of a line's parts [lineStart, lineEnd) that the document shows,
// in offsets of the line, but for those within kRankReach of an edit of
// [editFrom, editTo).
class ShownCuts final : public lineparts::KeptCuts {
public:
    ShownCuts(const QTextDocument *document, qsizetype lineStart, qsizetype lineEnd, qsizetype editFrom,
              qsizetype editTo)
        : m_document(document), m_lineStart(lineStart), m_lineEnd(lineEnd),
          m_nearFrom(editFrom - lineparts::kRankReach), m_nearTo(editTo + lineparts::kRankReach) {}
    qsizetype from(qsizetype at) const override {
        for (qsizetype position = m_lineStart + qMax<qsizetype>(0, at); position < m_lineEnd;) {
            const QTextBlock block = m_document->findBlock(int(position));
            const qsizetype end = block.position() + block.length() - 1;
            if (!block.isValid() || end >= m_lineEnd)
                return -1;
            if (end < m_nearFrom || end >= m_nearTo)
                return end - m_lineStart;
            position = end + 1;
        }
        return -1;
    }

private:
    const QTextDocument *m_document;
    qsizetype m_lineStart;
    qsizetype m_lineEnd;
    qsizetype m_nearFrom;
    qsizetype m_nearTo;
};

textunits::UnitAnchor anchorAt(size_t byte, size_t units) {
    textunits::UnitAnchor anchor;
    anchor.moveTo(byte, units);
    return anchor;
}

}  // namespace

bool SmartTextStorage::endsInLine(const QTextBlock &block) const {
    if (!block.isValid() || block.document() != m_document || !block.next().isValid())
        return false;
    const qsizetype at = block.position() + block.length() - 1;
    const DString *mirror = smart_string_mirror_text(m_buffer);
    return at < qsizetype(mirror->length) && mirror->str[at] != '\n';
}

bool SmartTextStorage::continuesLine(const QTextBlock &block) const {
    return block.isValid() && block.document() == m_document && endsInLine(block.previous());
}

QChar SmartTextStorage::partEnd(const QTextBlock &block) const {
    if (!endsInLine(block))
        return QChar();
    const QString unit = shownUnit(block.position() + block.length() - 1);
    return unit.isEmpty() ? QChar() : unit.front();
}

std::pair<QTextBlock, QTextBlock> SmartTextStorage::lineOf(const QTextBlock &block) const {
    QTextBlock first = block, last = block;
    while (continuesLine(first))
        first = first.previous();
    while (endsInLine(last))
        last = last.next();
    return {first, last};
}

CharRange SmartTextStorage::characterSplitAt(qsizetype position) const {
    const CharRange none{position, 0};
    if (!mayHaveLineParts() || position <= 0 || position >= m_document->characterCount() - 1)
        return none;
    const QTextBlock block = m_document->findBlock(int(position));
    // The part's end before the block or at its end, the nearer.
    qsizetype end = -1;
    if (continuesLine(block) && position - block.position() < block.position() + block.length() - 1 - position)
        end = block.position() - 1;
    else if (endsInLine(block))
        end = block.position() + block.length() - 1;
    else if (continuesLine(block))
        end = block.position() - 1;
    // (A cluster far longer than this, a letter under dozens of marks, is
    // taken as what of it lies within reach.)
    constexpr qsizetype kAround = 64;
    if (end < 0 || qAbs(position - end) >= kAround)
        return none;
    const auto [first, last] = lineOf(block);
    qsizetype from = qMax<qsizetype>(first.position(), end - kAround);
    qsizetype to = qMin<qsizetype>(last.position() + last.length() - 1, end + kAround);
    // (Text read from inside a surrogate pair would begin with the pair.)
    if (m_document->characterAt(int(from)).isLowSurrogate())
        from--;
    if (m_document->characterAt(int(to)).isLowSurrogate())
        to++;
    const QString around = shownText(from, to - from);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, around);
    finder.setPosition(int(end + 1 - from));
    const qsizetype start = from + qMax<qsizetype>(0, finder.toPreviousBoundary());
    finder.setPosition(int(end - from));
    const qsizetype next = finder.toNextBoundary();
    const qsizetype stop = next < 0 ? to : from + next;
    if (position <= start || position >= stop)
        return none;
    return {start, stop - start};
}

size_t SmartTextStorage::shownChunk(const char *text, size_t length, size_t from, size_t want, QString *shown) {
    const size_t target = qMin(length, from + want);
    const void *feed = memchr(text + target, '\n', length - target);
    const size_t lineEnd = feed ? size_t(static_cast<const char *>(feed) - text) + 1 : length;
    size_t end = lineEnd;
    // The line runs on: up to the end of its last part that begins in the
    // next stretch of it.
    const bool runsOn = end - target > kFarLineEnd;
    if (runsOn) {
        end = target + kFarLineEnd;
        while (end > target && isContinuation(text[end]))
            end--;
    }
    *shown = textunits::displayText(text + from, end - from);
    // A text laid in from its start is a new one, whatever its address.
    if (from == 0)
        m_chunkLine = ChunkLine{};
    qsizetype made = 0;
    size_t byte = from;
    for (qsizetype start = 0; start <= shown->size();) {
        qsizetype stop = shown->indexOf(QLatin1Char('\n'), start);
        if (stop < 0)
            stop = shown->size();
        // The line this stretch of the chunk belongs to.
        const void *before = start == 0 && from > 0 ? memrchr(text, '\n', from) : nullptr;
        const size_t lineStart =
            start > 0 || from == 0 ? byte : before ? size_t(static_cast<const char *>(before) - text) + 1 : 0;
        const void *after = memchr(text + byte, '\n', length - byte);
        const size_t lineStop = after ? size_t(static_cast<const char *>(after) - text) : length;
        if (lineStart == byte && lineStop <= end) {
            if (stop - start > lineparts::kLimit) {
                for (qsizetype cut : lineparts::cuts(QStringView(*shown).mid(start, stop - start))) {
                    (*shown)[start + cut] = QLatin1Char('\n');
                    made++;
                }
            }
        } else {
            // A line begun before the chunk or running on past it, cut from
            // where the chunk takes it up, as the whole line is cut.
            ChunkLine &line = m_chunkLine;
            if (line.text != text || line.start != lineStart || line.byte > byte - lineStart)
                line = ChunkLine{text, lineStart, textunits::unitsIn(text + lineStart, lineStop - lineStart), 0, 0};
            line.unitsBefore += textunits::unitsIn(text + lineStart + line.byte, byte - lineStart - line.byte);
            line.byte = byte - lineStart;
            if (qsizetype(line.units) > lineparts::kLimit) {
                const Utf8Line units(text + lineStart, lineStop - lineStart, 0, qsizetype(line.units),
                                     anchorAt(line.byte, line.unitsBefore), line.units == lineStop - lineStart);
                const qsizetype offset = qsizetype(line.unitsBefore);
                lineparts::Cutter cutter(units, offset - 1);
                for (qsizetype cut; (cut = cutter.next()) >= 0 && cut - offset < stop - start;) {
                    (*shown)[start + cut - offset] = QLatin1Char('\n');
                    made++;
                }
            }
        }
        if (stop >= shown->size())
            break;
        byte = lineStop + 1;
        start = stop + 1;
    }
    if (runsOn) {
        const qsizetype last = shown->lastIndexOf(QLatin1Char('\n'));
        if (last >= 0) {
            shown->truncate(last + 1);
            m_partEnds += made;
            textunits::UnitAnchor anchor;
            anchor.moveTo(from, 0);
            return anchor.byteAt(text, length, size_t(last + 1));
        }
        // No part ends in the stretch: the whole line.
        return shownChunk(text, length, from, lineEnd - from, shown);
    }
    m_partEnds += made;
    return end;
}

QString SmartTextStorage::shownText(qsizetype from, qsizetype length) const {
    auto [byte, bytes] = byteRangeFromCharRange({from, length});
    return textunits::displayText(str() + byte, bytes);
}

// After an edit between document positions `from` and `to` (`fromByte` the
// byte where `from` begins): the parts of the lines there are cut again.
// A part's end depends on the text from kLookBack units before where the
// part begins to lineparts::kReach units on, on the ends the line's parts
// had (kept where nothing in the text decides), and on how far the line goes
// on, so the cuts are made again from that far before the edit until they
// meet the old ones far enough past it, and over the line's last parts. No
// more of a long line is read, whatever it holds: its units are read from
// the edit's byte and from the line's end. Each cut or join puts one unit in
// place of another, so positions stay where they were.
std::vector<qsizetype> SmartTextStorage::fitLineParts(qsizetype from, qsizetype to, size_t fromByte) {
    std::vector<qsizetype> moved;
    const DString *mirror = smart_string_mirror_text(m_buffer);
    const qsizetype total = m_document->characterCount() - 1;
    if (qsizetype(mirror->length) < total)
        return moved;
    const CharRange edit{from, to - from};
    const char *units = mirror->str;
    const char *text = str();
    const size_t n = len();
    const void *lineFeed = from > 0 ? memrchr(units, '\n', size_t(from)) : nullptr;
    qsizetype lineStart = lineFeed ? qsizetype(static_cast<const char *>(lineFeed) - units) + 1 : 0;
    // The byte of the line end last found (the text's line ends are the
    // mirror's, in the same order).
    size_t byte = qMin(fromByte, n);
    while (lineStart <= to && lineStart <= total) {
        const void *feed = memchr(units + lineStart, '\n', size_t(total - lineStart));
        const qsizetype lineEnd = feed ? qsizetype(static_cast<const char *>(feed) - units) : total;
        const void *feedByte = memchr(text + byte, '\n', n - byte);
        const size_t lineEndByte = feedByte ? size_t(static_cast<const char *>(feedByte) - text) : n;
        const QTextBlock head = m_document->findBlock(int(lineStart));
        const bool whole = head.position() + head.length() - 1 >= lineEnd;
        if (lineEnd - lineStart <= lineparts::kLimit) {
            // A line that fits in one block is one block.
            if (!whole)
                recutLine(lineStart, lineEnd, lineStart, lineEnd, edit, anchorAt(lineEndByte, size_t(lineEnd)), &moved);
        } else {
            const qsizetype editFrom = qMax(from, lineStart);
            const textunits::UnitAnchor near =
                editFrom == from ? anchorAt(fromByte, size_t(from)) : anchorAt(byte, size_t(lineStart));
            const qsizetype back = qMax(lineStart, editFrom - lineparts::kReach);
            recutLine(lineStart, lineEnd, m_document->findBlock(int(back)).position(),
                      qMin(to, lineEnd) + lineparts::kLookBack, edit, near, &moved);
            const qsizetype tail = qMax(lineStart, lineEnd - lineparts::kLimit - lineparts::kMin - lineparts::kReach);
            recutLine(lineStart, lineEnd, m_document->findBlock(int(tail)).position(), lineEnd, edit,
                      anchorAt(lineEndByte, size_t(lineEnd)), &moved);
        }
        lineStart = lineEnd + 1;
        byte = qMin(lineEndByte + 1, n);
    }
    return moved;
}

// Cuts a line [lineStart, lineEnd) again from `start` (where a part of it
// begins) until, past `past`, a new cut falls where an old one was; `near`
// is a byte of the text and the units before it, near `start` or near the
// line's end. The parts' ends the document shows are kept where the text
// does not decide, but for those `edit` (the range the last edit inserted)
// reached.
void SmartTextStorage::recutLine(qsizetype lineStart, qsizetype lineEnd, qsizetype start, qsizetype past,
                                 CharRange edit, const textunits::UnitAnchor &near, std::vector<qsizetype> *moved) {
    const Utf8Line line(str(), len(), lineStart, lineEnd - lineStart, near, length() == qsizetype(len()));
    const ShownCuts kept(m_document, lineStart, lineEnd, edit.location, edit.end());
    lineparts::Cutter cutter(line, start - lineStart - 1, &kept);
    QTextCursor cursor(m_document);
    // One unit in place of another: a part's end comes or goes.
    auto put = [&](qsizetype at, const QString &unit) {
        cursor.setPosition(int(at));
        cursor.setPosition(int(at + 1), QTextCursor::KeepAnchor);
        cursor.insertText(unit);
        moved->push_back(at);
    };
    // The old cuts, as the document's parts end, walked along with the new.
    QTextBlock block = m_document->findBlock(int(start));
    for (;;) {
        const qsizetype next = cutter.next();
        const qsizetype cut = next < 0 ? lineEnd : lineStart + next;
        for (qsizetype end; block.isValid() && (end = block.position() + block.length() - 1) < cut;) {
            put(end, line.units(end - lineStart, 1));
            m_partEnds = qMax<qsizetype>(0, m_partEnds - 1);
            block = m_document->findBlock(int(end));
        }
        if (next < 0)
            break;
        if (block.isValid() && block.position() + block.length() - 1 == cut) {
            if (cut >= past)
                break;
        } else {
            put(cut, QStringLiteral("\n"));
            m_partEnds++;
            block = m_document->findBlock(int(cut));
        }
        block = block.next();
    }
    m_unitsRecut += line.read();
}
