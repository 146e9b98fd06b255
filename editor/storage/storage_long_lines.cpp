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
    const size_t end = feed ? size_t(static_cast<const char *>(feed) - text) + 1 : length;
    // The line `from` is in: where it began, and what of it comes before
    // `from` (a part's start) that decides its cuts.
    const void *lineEnd = memchr(text + from, '\n', length - from);
    const size_t firstEnd = lineEnd ? size_t(static_cast<const char *>(lineEnd) - text) : length;
    const void *lineFeed = from > 0 ? memrchr(text, '\n', from) : nullptr;
    const size_t lineStart = lineFeed ? size_t(static_cast<const char *>(lineFeed) - text) + 1 : 0;
    size_t warmFrom = from;
    for (qsizetype units = 0; warmFrom > lineStart && units < lineparts::kContext;) {
        warmFrom--;
        if ((static_cast<unsigned char>(text[warmFrom]) & 0xC0) != 0x80)
            units++;
    }
    const QString warm = textunits::displayText(text + warmFrom, from - warmFrom);
    const qsizetype firstRest = qsizetype(textunits::unitsIn(text + from, firstEnd - from));
    if (end - target > kFarLineEnd) {
        // The line runs on: up to the end of its last part that begins in
        // the next stretch of it.
        size_t limit = target + kFarLineEnd;
        while (limit > target && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80)
            limit--;
        const void *lastStart = memrchr(text + from, '\n', limit - from);
        const size_t lastLine = lastStart ? size_t(static_cast<const char *>(lastStart) - text) + 1 : from;
        const qsizetype lastRest = qsizetype(textunits::unitsIn(text + lastLine, end - 1 - lastLine));
        QString stretch = textunits::displayText(text + from, limit - from);
        const qsizetype made = lineparts::cutLines(stretch, warm, firstRest, lastRest);
        const qsizetype last = stretch.lastIndexOf(QLatin1Char('\n'));
        if (last >= 0) {
            stretch.truncate(last + 1);
            m_partEnds += made;
            textunits::UnitAnchor anchor;
            anchor.moveTo(from, 0);
            *shown = std::move(stretch);
            return anchor.byteAt(text, length, size_t(last + 1));
        }
    }
    *shown = textunits::displayText(text + from, end - from);
    m_partEnds += lineparts::cutLines(*shown, warm, firstRest);
    return end;
}

QString SmartTextStorage::shownText(qsizetype from, qsizetype length) const {
    auto [byte, bytes] = byteRangeFromCharRange({from, length});
    return textunits::displayText(str() + byte, bytes);
}

// After an edit between document positions `from` and `to`: the parts of
// the lines there are cut again as a fresh showing of their text would cut
// them. A part's end depends on the text before it and on how far the line
// goes on after it, so the cuts are made again from the part the edit began
// in until they meet the old ones past the edit, and over the line's last
// parts (those near its end); each cut or join puts one unit in place of
// another, so positions stay where they were.
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
            // Where the cuts are made again: from the part the edit began
            // in, and from the part where the line's last kLimit + kMin
            // units begin.
            const qsizetype editFrom = qMax(from, lineStart);
            recutLine(lineStart, lineEnd, m_document->findBlock(int(editFrom)).position(), qMin(to, lineEnd), &moved);
            const qsizetype tail = qMax(lineStart, lineEnd - lineparts::kLimit - lineparts::kMin);
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
    const qsizetype warmFrom = qMax(lineStart, start - lineparts::kContext);
    lineparts::Cutter cutter(lineEnd - start);
    for (QChar c : shownText(warmFrom, start - warmFrom))
        cutter.warm(c);
    QTextCursor cursor(m_document);
    // The old cuts, as the document's parts end, walked along with the new.
    QTextBlock block = m_document->findBlock(int(start));
    constexpr qsizetype kStretch = 64 * 1024;
    for (qsizetype at = start; at < lineEnd;) {
        const qsizetype stretchEnd = qMin(lineEnd, at + kStretch);
        const QString text = shownText(at, stretchEnd - at);
        for (qsizetype i = 0; i < text.size(); i++, at++) {
            const bool cut = cutter.feed(text[i]);
            while (block.isValid() && block.position() + block.length() - 1 < at)
                block = block.next();
            const bool wasCut = block.isValid() && block.position() + block.length() - 1 == at && at < lineEnd;
            if (cut == wasCut) {
                if (cut && at >= past)
                    return;
                continue;
            }
            // A part's end comes or goes: one unit in place of another.
            cursor.setPosition(int(at));
            cursor.setPosition(int(at + 1), QTextCursor::KeepAnchor);
            cursor.insertText(cut ? QStringLiteral("\n") : QString(text[i]));
            m_partEnds = cut ? m_partEnds + 1 : qMax<qsizetype>(0, m_partEnds - 1);
            moved->push_back(at);
            block = m_document->findBlock(int(at));
        }
    }
}
