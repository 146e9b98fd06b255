#include "platform/text/icu_regex.h"

#include <algorithm>

namespace platform {

namespace {

bool isAsciiDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

QRegularExpression compile(const QString &pattern, IcuRegex::Options options, bool whole) {
    QRegularExpression::PatternOptions qt = QRegularExpression::UseUnicodePropertiesOption;
    if (options & IcuRegex::CaseInsensitive)
        qt |= QRegularExpression::CaseInsensitiveOption;
    if (options & IcuRegex::AllowCommentsAndWhitespace)
        qt |= QRegularExpression::ExtendedPatternSyntaxOption;
    if (options & IcuRegex::DotMatchesLineSeparators)
        qt |= QRegularExpression::DotMatchesEverythingOption;
    if (options & IcuRegex::AnchorsMatchLines)
        qt |= QRegularExpression::MultilineOption;

    // The newline convention goes first; it must open the pattern.
    QString text = options & IcuRegex::UseUnixLineSeparators ? QStringLiteral("(*LF)") : QStringLiteral("(*ANY)");
    if (whole) {
        // A comment at the end of an extended pattern must not swallow the
        // closing anchor.
        const bool extended = options & IcuRegex::AllowCommentsAndWhitespace;
        text += QStringLiteral("\\A(?:") + pattern + (extended ? QStringLiteral("\n)\\z") : QStringLiteral(")\\z"));
    } else {
        text += pattern;
    }
    return QRegularExpression(text, qt);
}

}  // namespace

IcuRegex::IcuRegex(const QString &pattern, Options options)
    : m_pattern(pattern), m_search(compile(pattern, options, false)), m_whole(compile(pattern, options, true)) {}

bool IcuRegex::matchesWhole(const QString &text) const {
    return m_whole.isValid() && m_whole.match(text).hasMatch();
}

QRegularExpressionMatch IcuRegex::firstMatch(const QString &text, qsizetype from) const {
    return m_search.match(text, from);
}

QRegularExpressionMatchIterator IcuRegex::globalMatch(const QString &text, qsizetype from) const {
    return m_search.globalMatch(text, from);
}

QString IcuRegex::replaceMatches(const QString &text, const QString &templ, std::optional<TextRange> range,
                                 int *replaced) const {
    if (replaced)
        *replaced = 0;
    qsizetype start = 0, end = text.size();
    if (range) {
        start = std::clamp<qsizetype>(range->location, 0, text.size());
        end = std::clamp<qsizetype>(range->end(), start, text.size());
    }
    if (!isValid())
        return text;
    const QString searched = text.mid(start, end - start);
    QString out = text.left(start);
    qsizetype copied = 0;
    int count = 0;
    for (auto it = m_search.globalMatch(searched); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        out += QStringView(searched).mid(copied, match.capturedStart() - copied);
        out += expandTemplate(templ, match);
        copied = match.capturedEnd();
        count++;
    }
    out += QStringView(searched).mid(copied);
    out += QStringView(text).mid(end);
    if (replaced)
        *replaced = count;
    return out;
}

QString IcuRegex::expandTemplate(const QString &templ, const QRegularExpressionMatch &match) {
    const int groups = match.regularExpression().captureCount();
    QString out;
    out.reserve(templ.size());
    for (qsizetype i = 0; i < templ.size(); i++) {
        const QChar c = templ[i];
        if (c == u'\\' && i + 1 < templ.size()) {
            out += templ[++i];
            continue;
        }
        if (c != u'$' || i + 1 >= templ.size() || !isAsciiDigit(templ[i + 1])) {
            out += c;
            continue;
        }
        int group = templ[++i].unicode() - '0';
        while (i + 1 < templ.size() && isAsciiDigit(templ[i + 1])) {
            const int longer = group * 10 + (templ[i + 1].unicode() - '0');
            if (longer > groups)
                break;
            group = longer;
            i++;
        }
        if (group <= groups)
            out += match.captured(group);
    }
    return out;
}

bool matchesRegExp(const QString &text, const QString &pattern) {
    return IcuRegex(pattern).matchesWhole(text);
}

QString escaped(const QString &text) {
    static const QString special = QStringLiteral("\\*+?|{[()^$.#");
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        if (c == u'\t')
            out += QLatin1String("\\t");
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else {
            if (special.contains(c))
                out += u'\\';
            out += c;
        }
    }
    return out;
}

}  // namespace platform
