#include "editor/markdown/markdown_lines.h"

#include <algorithm>

namespace markdown {

bool isLineTerminator(QChar c) {
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == 0x0085 || u == 0x2028 || u == 0x2029;
}

LineBounds lineBoundsAt(QStringView text, qsizetype position) {
    const qsizetype n = text.size();
    position = std::clamp<qsizetype>(position, 0, n);
    LineBounds line;
    line.start = position;
    while (line.start > 0 && !isLineTerminator(text[line.start - 1]))
        line.start--;
    // Between the CR and the LF of one terminator: the line is the one the
    // pair ends.
    if (line.start > 0 && line.start == position && position < n && text[position] == u'\n' &&
        text[position - 1] == u'\r') {
        line.start = position - 1;
        while (line.start > 0 && !isLineTerminator(text[line.start - 1]))
            line.start--;
    }
    line.contentsEnd = line.start;
    while (line.contentsEnd < n && !isLineTerminator(text[line.contentsEnd]))
        line.contentsEnd++;
    line.end = line.contentsEnd;
    if (line.end < n) {
        if (text[line.end] == u'\r' && line.end + 1 < n && text[line.end + 1] == u'\n')
            line.end += 2;
        else
            line.end += 1;
    }
    return line;
}

QList<LineBounds> linesOf(QStringView text) {
    QList<LineBounds> lines;
    for (qsizetype at = 0; at < text.size();) {
        lines.append(lineBoundsAt(text, at));
        at = lines.last().end;
    }
    return lines;
}

TextRange clampedRange(QStringView text, TextRange range) {
    const qsizetype n = text.size();
    const qsizetype start = std::clamp<qsizetype>(range.location, 0, n);
    const qsizetype length = std::clamp<qsizetype>(range.length, 0, n - start);
    return {start, length};
}

TextRange lineRangeForRange(QStringView text, TextRange range) {
    range = clampedRange(text, range);
    const LineBounds first = lineBoundsAt(text, range.location);
    qsizetype end = first.end;
    if (range.length > 0) {
        // The last unit of the range decides the last line.
        const LineBounds last = lineBoundsAt(text, range.end() - 1);
        end = std::max(end, last.end);
    }
    return {first.start, end - first.start};
}

TextRange forEachLine(QString &text, TextRange range, const LineVisitor &visit) {
    // An empty line range (an empty text, or the end of a text after its
    // final terminator) holds no line.
    const TextRange lines = lineRangeForRange(text, range);
    qsizetype at = lines.location;
    qsizetype stop = lines.end();
    while (at < stop) {
        const LineBounds line = lineBoundsAt(text, at);
        const qsizetype delta = visit(text, {line.start, line.contentsEnd - line.start});
        at = line.end + delta;
        stop += delta;
    }
    return {lines.location, stop - lines.location};
}

}  // namespace markdown
