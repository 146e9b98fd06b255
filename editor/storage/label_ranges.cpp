#include "editor/storage/label_ranges.h"

namespace labels {

std::optional<CharRange> rangeOfLabel(QByteArrayView text, CharRange range, bool footnotes) {
    const qsizetype n = text.size();
    if (range.location < 0 || range.length < 0 || range.end() > n)
        return std::nullopt;
    // Forward from the end: the first bracket must be the closing one.
    qsizetype close = range.end();
    while (close < n && text[close] != ']' && text[close] != '[')
        close++;
    if (close == n || text[close] != ']')
        return std::nullopt;
    // Backward from the start: the first bracket must be the opening one.
    qsizetype open = range.location - 1;
    while (open >= 0 && text[open] != '[' && text[open] != ']')
        open--;
    if (open < 0 || text[open] != '[')
        return std::nullopt;
    if (!footnotes && open + 1 < n && text[open + 1] == '^')
        return std::nullopt;
    return CharRange{open, close + 1 - open};
}

std::optional<CharRange> insideOfLabel(QByteArrayView text, CharRange range, bool footnotes) {
    const std::optional<CharRange> label = rangeOfLabel(text, {range.end(), 0}, footnotes);
    if (!label)
        return std::nullopt;
    return CharRange{label->location + 1, label->length - 2};
}

QString pendingCompletion(const QString &pending, const QString &typed) {
    if (!pending.isEmpty() && typed.toLower().startsWith(pending.toLower()))
        return pending + typed.mid(pending.size());
    return typed;
}

}  // namespace labels
