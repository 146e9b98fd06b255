// Labels: the bracketed names of references, notes and citations ("[ref]",
// "[^note]", "[#key]") that the editor completes while one is typed.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

#include "editor/storage/smart_text_storage.h"

namespace labels {

// The label that encloses `range` in `text` (one byte per UTF-16 unit, as
// the text buffer's mirror text has it), from its "[" through its "]": the
// first "]" at or after the range's end with no "[" before it, and the last
// "[" before the range's start with no "]" after it. A footnote label (a
// "^" right after the "[") counts only with `footnotes`.
std::optional<CharRange> rangeOfLabel(QByteArrayView text, CharRange range, bool footnotes);

// The inside of that label (without its brackets), for the empty range at
// `range`'s end.
std::optional<CharRange> insideOfLabel(QByteArrayView text, CharRange range, bool footnotes);

// The user's own text of a label being completed, after they typed `typed`
// (the label's text up to the end of the word being completed): `typed`,
// unless the text kept so far already begins it (ignoring case), in which
// case only what `typed` adds beyond it is appended.
QString pendingCompletion(const QString &pending, const QString &typed);

}  // namespace labels
