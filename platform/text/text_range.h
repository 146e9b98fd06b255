// A range of characters (UTF-16 units of a view's text) and its text form
// "{location, length}", the form in which selections are stored in the
// preferences ("Selection %@").
#pragma once

#include <QString>

#include <optional>

namespace platform {

struct TextRange {
    qsizetype location = 0;
    qsizetype length = 0;

    qsizetype end() const { return location + length; }
    bool operator==(const TextRange &) const = default;
};

// "{3, 5}".
QString rangeToString(TextRange range);

// Reads "{3, 5}" back; blanks around the numbers are allowed. Text of any
// other shape, negative numbers and numbers too large for a range give
// nothing rather than a made-up range.
std::optional<TextRange> rangeFromString(const QString &text);

}  // namespace platform
