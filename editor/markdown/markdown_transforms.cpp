#include "editor/markdown/markdown_transforms.h"

#include "platform/prefs/defaults.h"
#include "platform/text/icu_regex.h"

namespace markdown {

using platform::IcuRegex;

namespace {

// The patterns, compiled once; "^" and "$" match at every line.
const IcuRegex &listItemPattern() {
    static const IcuRegex re(QStringLiteral("^[ \\t]*((\\d+\\.\\s)|[\\*\\+\\-]).*"));
    return re;
}

const IcuRegex &listMarkerPattern() {
    static const IcuRegex re(
        QStringLiteral("^([ \\t]*)(?:(?:[\\*\\+\\-][ \\t]+)|(?:\\d+\\.[ \\t]+))(.*?)$"),
        IcuRegex::AnchorsMatchLines);
    return re;
}

// A heading of nothing but "#" runs, or the opening run with its blanks, the
// title, and a closing run only where a blank stands before it, as the text
// engine reads headings: "## Learn C#" keeps its "#".
const IcuRegex &headerMarkerPattern() {
    static const IcuRegex re(
        QStringLiteral("^#+(?:[ \\t]+#+)?[ \\t]*$|^#+[ \\t]*(.*?)(?:[ \\t]+#+[ \\t]*)?$"),
        IcuRegex::AnchorsMatchLines);
    return re;
}

const IcuRegex &blockquoteMarkerPattern() {
    static const IcuRegex re(QStringLiteral("^(>+[ \\t]*)(.*)$"), IcuRegex::AnchorsMatchLines);
    return re;
}

const IcuRegex &indentPattern() {
    static const IcuRegex re(QStringLiteral("^([ \\t]*)(.*)$"), IcuRegex::AnchorsMatchLines);
    return re;
}

void replaceInRange(QString &text, TextRange range, const IcuRegex &pattern, const QString &templ) {
    text = pattern.replaceMatches(text, templ, clampedRange(text, range));
}

TextRange whole(const QString &text) { return {0, text.size()}; }

// Inserts `marker` before the first visible character of the line that holds
// `line.location`, unless the line is a list item already or blank.
qsizetype addListMarker(QString &text, TextRange line, const QString &marker) {
    const LineBounds bounds = lineBoundsAt(text, line.location);
    if (isListItemLine(text.mid(bounds.start, bounds.contentsEnd - bounds.start)))
        return 0;
    for (qsizetype i = bounds.start; i < bounds.end; i++) {
        if (!text[i].isSpace()) {
            text.insert(i, marker);
            return marker.size();
        }
    }
    return 0;
}

}  // namespace

void fixLineEndings(QString &text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
}

QString listBullet(qint64 listMarker) {
    switch (listMarker) {
    case 1: return QStringLiteral("+");
    case 2: return QStringLiteral("-");
    default: return QStringLiteral("*");
    }
}

QString listBullet() {
    return listBullet(platform::Defaults::standard().integerForKey(QStringLiteral("tzrListMarker")));
}

bool isListItemLine(const QString &line) { return listItemPattern().matchesWhole(line); }

qsizetype addListBulletToLine(QString &text, TextRange line, const QString &bullet) {
    return addListMarker(text, line, bullet + u' ');
}

void addListBulletsToRange(QString &text, TextRange range, const QString &bullet) {
    forEachLine(text, range, [&bullet](QString &t, TextRange line) {
        return addListBulletToLine(t, line, bullet);
    });
}

qsizetype addListEnumeratorToLine(QString &text, TextRange line) {
    return addListMarker(text, line, QStringLiteral("1. "));
}

void addListEnumeratorsToRange(QString &text, TextRange range) {
    forEachLine(text, range, addListEnumeratorToLine);
}

qsizetype addBlockquoteToLine(QString &text, TextRange line) {
    text.insert(lineBoundsAt(text, line.location).start, QLatin1String("> "));
    return 2;
}

void addBlockquoteToRange(QString &text, TextRange range) {
    forEachLine(text, range, addBlockquoteToLine);
}

void stripListMarkersFromRange(QString &text, TextRange range) {
    replaceInRange(text, range, listMarkerPattern(), QStringLiteral("$1$2"));
}

void stripHeaderMarkersFromRange(QString &text, TextRange range) {
    replaceInRange(text, range, headerMarkerPattern(), QStringLiteral("$1"));
}

void stripBlockquoteMarkersFromRange(QString &text, TextRange range) {
    replaceInRange(text, range, blockquoteMarkerPattern(), QStringLiteral("$2"));
}

void stripIndentsFromRange(QString &text, TextRange range) {
    replaceInRange(text, range, indentPattern(), QStringLiteral("$2"));
}

void stripMarkersFromRange(QString &text, TextRange range) {
    range = clampedRange(text, range);
    QString part = text.mid(range.location, range.length);
    stripListMarkers(part);
    stripBlockquoteMarkers(part);
    stripHeaderMarkers(part);
    text.replace(range.location, range.length, part);
}

void stripListMarkers(QString &text) { stripListMarkersFromRange(text, whole(text)); }
void stripHeaderMarkers(QString &text) { stripHeaderMarkersFromRange(text, whole(text)); }
void stripBlockquoteMarkers(QString &text) { stripBlockquoteMarkersFromRange(text, whole(text)); }
void stripIndents(QString &text) { stripIndentsFromRange(text, whole(text)); }
void stripMarkers(QString &text) { stripMarkersFromRange(text, whole(text)); }

}  // namespace markdown
