// SmartTextStorage's long lines: shown in parts (line_parts.h), the parts
// kept within bounds after each edit, and what a part's end stands for.
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
// converted where it looks.
class Utf8Line final : public lineparts::LineText {
public:
    Utf8Line(const char *line, size_t bytes, qsizetype units) : m_line(line), m_bytes(bytes), m_units(units) {}
    // A byte of the line (a character's start) and the units before it.
    void know(size_t byte, size_t units) { m_anchor.moveTo(byte, units); }

    qsizetype size() const override { return m_units; }

    QString units(qsizetype from, qsizetype length) const override {
        from = qBound<qsizetype>(0, from, m_units);
        length = qBound<qsizetype>(0, length, m_units - from);
        if (length == 0)
            return {};
        // (A unit inside a surrogate pair begins with the pair's bytes.)
        const size_t begin = m_anchor.byteAt(m_line, m_bytes, size_t(from));
        const size_t before = m_anchor.unitsAt(m_line, m_bytes, begin);
        const size_t end = m_anchor.byteAt(m_line, m_bytes, size_t(from + length + 1));
        return textunits::displayText(m_line + begin, end - begin).mid(from - qsizetype(before), length);
    }

    // Compares bytes a period apart, which is quicker than units, up to
    // the character where they differ, then the units from there.
    qsizetype repeatsUntil(qsizetype from, qsizetype period) const override {
        from = qMax(from, period);
        if (from >= m_units)
            return m_units;
        const size_t a = m_anchor.byteAt(m_line, m_bytes, size_t(from));
        const size_t b = m_anchor.byteAt(m_line, m_bytes, size_t(from - period));
        if (m_anchor.unitsAt(m_line, m_bytes, b) != size_t(from - period) ||
            m_anchor.unitsAt(m_line, m_bytes, a) != size_t(from) || a <= b)
            return LineText::repeatsUntil(from, period);
        const size_t shift = a - b;
        size_t j = a;
        constexpr size_t kBlock = 4096;
        while (j + kBlock <= m_bytes && std::memcmp(m_line + j, m_line + j - shift, kBlock) == 0)
            j += kBlock;
        while (j < m_bytes && m_line[j] == m_line[j - shift])
            j++;
        while (j > a && j < m_bytes && isContinuation(m_line[j]))
            j--;
        return LineText::repeatsUntil(qsizetype(m_anchor.unitsAt(m_line, m_bytes, j)), period);
    }

private:
    const char *m_line;
    size_t m_bytes;
    qsizetype m_units;
    mutable textunits::UnitAnchor m_anchor;
};

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
                Utf8Line units(text + lineStart, lineStop - lineStart, qsizetype(line.units));
                units.know(line.byte, line.unitsBefore);
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

// After an edit between document positions `from` and `to`: the parts of
// the lines there are cut again as a fresh showing of their text would cut
// them. A part's end depends on the text from where the part begins to
// lineparts::kReach units on (and, in text that repeats, on where the
// repetition ends), and on how far the line goes on, so the cuts are made
// again from that far before the edit (or before the repetition that
// reaches it) until they meet the old ones past the edit, and over the
// line's last parts; each cut or join puts one unit in place of another,
// so positions stay where they were.
std::vector<qsizetype> SmartTextStorage::fitLineParts(qsizetype from, qsizetype to) {
    std::vector<qsizetype> moved;
    const DString *mirror = smart_string_mirror_text(m_buffer);
    const qsizetype total = m_document->characterCount() - 1;
    if (qsizetype(mirror->length) < total)
        return moved;
    const char *units = mirror->str;
    const void *lineFeed = from > 0 ? memrchr(units, '\n', size_t(from)) : nullptr;
    qsizetype lineStart = lineFeed ? qsizetype(static_cast<const char *>(lineFeed) - units) + 1 : 0;
    while (lineStart <= to && lineStart <= total) {
        const void *feed = memchr(units + lineStart, '\n', size_t(total - lineStart));
        const qsizetype lineEnd = feed ? qsizetype(static_cast<const char *>(feed) - units) : total;
        const QTextBlock head = m_document->findBlock(int(lineStart));
        const bool whole = head.position() + head.length() - 1 >= lineEnd;
        if (lineEnd - lineStart <= lineparts::kLimit) {
            // A line that fits in one block is one block.
            if (!whole)
                recutLine(lineStart, lineEnd, lineStart, lineEnd, &moved);
        } else {
            const qsizetype editFrom = qMax(from, lineStart);
            const auto [byte, bytes] = byteRangeFromCharRange({lineStart, lineEnd - lineStart});
            const Utf8Line line(str() + byte, bytes, lineEnd - lineStart);
            const qsizetype run = lineStart + line.repeatingRunStart(editFrom - lineStart);
            const qsizetype back = qMax(lineStart, qMin(editFrom, run) - lineparts::kReach);
            recutLine(lineStart, lineEnd, m_document->findBlock(int(back)).position(), qMin(to, lineEnd), &moved);
            const qsizetype tail = qMax(lineStart, lineEnd - lineparts::kLimit - lineparts::kMin - lineparts::kReach);
            recutLine(lineStart, lineEnd, m_document->findBlock(int(tail)).position(), lineEnd, &moved);
        }
        lineStart = lineEnd + 1;
    }
    return moved;
}

// Cuts a line [lineStart, lineEnd) again from `start` (where a part of it
// begins) until, past `past`, a new cut falls where an old one was.
void SmartTextStorage::recutLine(qsizetype lineStart, qsizetype lineEnd, qsizetype start, qsizetype past,
                                 std::vector<qsizetype> *moved) {
    const auto [byte, bytes] = byteRangeFromCharRange({lineStart, lineEnd - lineStart});
    const Utf8Line line(str() + byte, bytes, lineEnd - lineStart);
    lineparts::Cutter cutter(line, start - lineStart - 1);
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
            put(end, shownUnit(end));
            m_partEnds = qMax<qsizetype>(0, m_partEnds - 1);
            block = m_document->findBlock(int(end));
        }
        if (next < 0)
            return;
        if (block.isValid() && block.position() + block.length() - 1 == cut) {
            if (cut >= past)
                return;
        } else {
            put(cut, QStringLiteral("\n"));
            m_partEnds++;
            block = m_document->findBlock(int(cut));
        }
        block = block.next();
    }
}
