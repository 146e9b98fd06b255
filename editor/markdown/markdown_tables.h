// Markdown pipe tables in plain text: rows made from tab- or comma-separated
// lines, a table with its header separator, and the clean-up that normalises
// a table (one blank after every opening pipe, tabs before closing pipes, a
// common column count, separator cells as wide as their columns, and in the
// space layout cells padded to equal width). Like the other transforms
// (markdown_transforms.h) they work in place on a QString and keep no state:
//
//   QString text = pasteboardText;
//   markdown::makeTable(text);            // the pasted lines as a table
//   markdown::cleanTableAtRange(text, range);
//
// Cells: an optional opening pipe, the content (starting right after the
// opening pipe, so with the blank that follows it), trailing white space,
// and a run of closing pipes not preceded by a backslash; a run of n pipes
// makes the cell span n columns. "\|" is a pipe inside a cell.
//
// Layouts: with "useTabsInTables" (the tab layout) cells end in tabs and
// keep their widths; without it (the space layout) tabs become blanks and
// cells are padded with blanks to their column's width.
#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "editor/markdown/markdown_lines.h"

namespace markdown {

// The user's "useTabsInTables"; the tab layout for a user who never chose.
bool useTabsInTables();

// Lines of separated values become rows: without any tab in the text, commas
// separate (quotes are not recognised). Each row reads "| a\t| b\t|  "; a last
// line without a line feed gets no closing pipe.
void makeTableRowsFromRange(QString &text, TextRange range);
void makeTableRows(QString &text);  // line endings fixed, then the whole text

// Rows, a separator line after the first row, then the clean-up.
void makeTableFromRange(QString &text, TextRange range, bool useTabs = useTabsInTables());
void makeTable(QString &text, bool useTabs = useTabsInTables());

// Normalises the table in `range`; no range changes nothing. Adds no line
// feed: a text that ended without one still does.
void cleanTableAtRange(QString &text, std::optional<TextRange> range,
                       bool useTabs = useTabsInTables());
void cleanAsTable(QString &text, bool useTabs = useTabsInTables());

// The width steps of the clean-up, over the whole text: column count,
// separator cells, and (space layout only) padding.
void fixTableWidths(QString &text, bool useTabs = useTabsInTables());

// The width of every column in characters: the longest content of a cell
// that spans one column (at least 2), then columns widened in proportion
// where a spanning cell needs more than they give.
QList<qsizetype> columnWidths(const QString &text);
// Adds empty cells to the end of every line that holds a pipe (before the
// blanks that end it) until its cells span `count` columns: "\t|" in the tab
// layout, " |" in the space layout, a dash cell in the separator line. Text
// after the last pipe becomes a cell of its own first.
void fixColumnCount(QString &text, qsizetype count, bool useTabs = useTabsInTables());
// Rebuilds the separator line's cells, last to first, to the widths: the
// first character (a blank, and a ":" after it when it marks left
// alignment), dashes, and the last character (a ":" for right alignment).
// A blank cell becomes dashes, followed by the layout's white space.
void fixSeparatorStringsForWidths(QString &text, const QList<qsizetype> &widths,
                                  bool useTabs = useTabsInTables());
// Pads the cells of every line with blanks, last to first, to the widths of
// the columns they span.
void padCellsForWidths(QString &text, const QList<qsizetype> &widths);
// The first line made only of white space, "|", "-", "+", ":" and ".".
std::optional<TextRange> separatorLineRange(const QString &text);

}  // namespace markdown
