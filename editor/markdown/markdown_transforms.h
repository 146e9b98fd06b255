// Small Markdown rewrites of plain text, for the window's commands on pasted
// text and on the selection: line endings, list items, block quotes, and the
// stripping of list, heading, quote and indentation markers.
//
// Each works in place on a QString, on a range of it (UTF-16 units, clamped
// to the text) or on the whole, and keeps no state. A command runs them on a
// copy of the text and puts the result into the editor as one edit:
//
//   QString text = storage.string().mid(range.location, range.length);
//   markdown::addListBullets(text);
//   storage.bulkReplaceCharactersInRange(range, text);
//
// The builders work on whole lines: a range that starts or ends inside a
// line takes that whole line. The stripping forms take the range's text as a
// text of its own ("^" matches at the range's start).
#pragma once

#include <QString>

#include "editor/markdown/markdown_lines.h"

namespace platform {
class Defaults;
}

namespace markdown {

// Every CR LF becomes LF, then every remaining CR.
void fixLineEndings(QString &text);

// The bullet that "tzrListMarker" chooses: 1 "+", 2 "-", anything else "*".
QString listBullet(qint64 listMarker);
// The same from the user's preferences (platform::Defaults::standard()).
QString listBullet();

// A line that is no list item yet and holds more than blanks gets `bullet`
// and a blank before its first visible character (its indentation stays).
// Returns the units inserted (0 or the marker's length).
qsizetype addListBulletToLine(QString &text, TextRange line, const QString &bullet = listBullet());
void addListBulletsToRange(QString &text, TextRange range, const QString &bullet = listBullet());
// The same with "1. " for every item.
qsizetype addListEnumeratorToLine(QString &text, TextRange line);
void addListEnumeratorsToRange(QString &text, TextRange range);
// "> " at the start of every line, blank lines included.
qsizetype addBlockquoteToLine(QString &text, TextRange line);
void addBlockquoteToRange(QString &text, TextRange range);

// Whether a line (without its terminator) is already a list item: blanks,
// then "*", "+" or "-", or digits, a period and a blank.
bool isListItemLine(const QString &line);

// Markers removed from every line of the range:
//  - list markers ("*", "+", "-", or a number with its period) with the
//    blanks after them; one needs at least one blank after it ("-word"
//    stays), the indentation before it stays;
//  - heading markers: the opening "#" run with its blanks and a closing run
//    (one that follows a blank: "## Learn C#" keeps its "#");
//  - quote markers: a run of ">" with the blanks after it;
//  - indentation: leading blanks.
void stripListMarkersFromRange(QString &text, TextRange range);
void stripHeaderMarkersFromRange(QString &text, TextRange range);
void stripBlockquoteMarkersFromRange(QString &text, TextRange range);
void stripIndentsFromRange(QString &text, TextRange range);
// List markers, then quote markers, then heading markers; indentation stays.
// A quoted list item loses its quote marker only: its list marker is looked
// for while the quote marker still stands before it.
void stripMarkersFromRange(QString &text, TextRange range);

void stripListMarkers(QString &text);
void stripHeaderMarkers(QString &text);
void stripBlockquoteMarkers(QString &text);
void stripIndents(QString &text);
void stripMarkers(QString &text);

}  // namespace markdown
