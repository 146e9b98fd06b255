// Lines of a text as the Markdown transforms see them: a line ends at LF,
// CR, CR LF, NEL (U+0085), LINE SEPARATOR (U+2028) or PARAGRAPH SEPARATOR
// (U+2029); a blank line is a line too, and a final terminator opens no
// line after it. Ranges are in UTF-16 units, as the editor counts.
#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <functional>

#include "platform/text/text_range.h"

namespace markdown {

using platform::TextRange;

bool isLineTerminator(QChar c);

// The line that holds `position`: where it starts, where its text ends and
// where the next line starts (after the terminator).
struct LineBounds {
    qsizetype start = 0;
    qsizetype contentsEnd = 0;
    qsizetype end = 0;
};
LineBounds lineBoundsAt(QStringView text, qsizetype position);

// Every line of the text, first to last.
QList<LineBounds> linesOf(QStringView text);

// `range` clamped to the text (a negative location or length counts as 0).
TextRange clampedRange(QStringView text, TextRange range);

// The whole lines that `range` touches, terminators included; an empty range
// gives the line that holds it.
TextRange lineRangeForRange(QStringView text, TextRange range);

// Visits every line of `range` (whole lines), first to last, while the
// visitor changes the text: it gets the line's text range (terminator
// excluded) and returns how many units it inserted (negative: removed)
// inside that line. Each line of the range as it stood before the call is
// visited once. Returns the range the lines take afterwards.
using LineVisitor = std::function<qsizetype(QString &text, TextRange line)>;
TextRange forEachLine(QString &text, TextRange range, const LineVisitor &visit);

}  // namespace markdown
