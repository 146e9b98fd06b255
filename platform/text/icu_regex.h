// Regular expressions as the ICU engine reads them, on QRegularExpression.
//
// The patterns this program uses are written for ICU. PCRE2 reads almost all
// of them alike once three differences are taken care of, which this class
// does for every pattern:
//   - \w, \d, \s, \b and the POSIX classes follow Unicode, as in ICU;
//   - "." and "$" treat every Unicode line terminator as one (CR, LF, CRLF,
//     VT, FF, NEL, U+2028, U+2029), as in ICU, unless the Unix-line option
//     asks for LF alone;
//   - replacement templates use ICU's "$n" for groups and "\" to take the
//     next character literally (Qt's own replace reads "\n" as a group).
// What PCRE2 lacks is left out: ICU's set operations inside classes
// ("[a-z&&[^aeiou]]", "--") and "\uhhhh" escapes (write "\x{hhhh}").
//
// A pattern that does not compile gives a clear neutral result everywhere:
// no matches, whole-string tests false, replacements that leave the text as
// it was. Objects are safe to share between threads once made.
#pragma once

#include <QFlags>
#include <QRegularExpression>
#include <QString>

#include <optional>

#include "platform/text/text_range.h"

namespace platform {

class IcuRegex {
public:
    enum Option {
        NoOptions = 0,
        CaseInsensitive = 1 << 0,
        AllowCommentsAndWhitespace = 1 << 1,
        DotMatchesLineSeparators = 1 << 3,
        AnchorsMatchLines = 1 << 4,
        UseUnixLineSeparators = 1 << 5,
    };
    Q_DECLARE_FLAGS(Options, Option)

    IcuRegex() = default;
    explicit IcuRegex(const QString &pattern, Options options = NoOptions);

    bool isValid() const { return m_search.isValid(); }
    QString errorString() const { return m_search.errorString(); }
    const QString &pattern() const { return m_pattern; }
    // The pattern as compiled for searching.
    const QRegularExpression &regularExpression() const { return m_search; }

    // Whether the whole text matches, anchored at both ends (the test of the
    // platform's predicate "SELF MATCHES %@").
    bool matchesWhole(const QString &text) const;

    QRegularExpressionMatch firstMatch(const QString &text, qsizetype from = 0) const;
    QRegularExpressionMatchIterator globalMatch(const QString &text, qsizetype from = 0) const;

    // Every match replaced by `templ` expanded for it. With a range, only
    // that part of the text is searched, as a text of its own ("^" and "\A"
    // match at its start; nothing outside it is looked at). `replaced`, when
    // given, receives the number of matches.
    QString replaceMatches(const QString &text, const QString &templ,
                           std::optional<TextRange> range = std::nullopt, int *replaced = nullptr) const;

    // "$0" is the whole match, "$1".."$n" the groups; after the first digit,
    // further digits are taken while they still name a group of the pattern
    // ("$12" with one group is group 1 then "2"). A group that took no part
    // is empty. "\" takes the next character literally ("\$", "\\"); a "$"
    // not followed by a digit is itself.
    static QString expandTemplate(const QString &templ, const QRegularExpressionMatch &match);

private:
    QString m_pattern;
    QRegularExpression m_search;
    QRegularExpression m_whole;
};

// Whether the whole of `text` matches `pattern`; false for an invalid pattern.
bool matchesRegExp(const QString &text, const QString &pattern);

// `text` with the characters \ * + ? | { [ ( ) ^ $ . # preceded by a
// backslash, tab written as \t and newline as \n; "}", "]" and spaces stay.
QString escaped(const QString &text);

}  // namespace platform

Q_DECLARE_OPERATORS_FOR_FLAGS(platform::IcuRegex::Options)
