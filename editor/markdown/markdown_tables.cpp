#include "editor/markdown/markdown_tables.h"

#include <QVariant>

#include <algorithm>
#include <functional>

#include "editor/markdown/markdown_transforms.h"
#include "platform/prefs/defaults.h"
#include "platform/text/icu_regex.h"

namespace markdown {

using platform::IcuRegex;

namespace {

constexpr IcuRegex::Options kLines = IcuRegex::AnchorsMatchLines;
const QString kEscapedPipe = QStringLiteral("TZRESCAPEDPIPE");

// A cell of one line; offsets are from the line's start.
struct Cell {
    qsizetype contentStart = 0;
    qsizetype contentLength = 0;
    qsizetype span = 1;
    qsizetype pipesStart = 0;  // the closing pipes
};

// Cells are taken line by line: the pattern's white space would otherwise
// run on into the next line. A line so long that the pattern gives up holds
// no further cells.
QList<Cell> cellsOf(const QString &line) {
    static const IcuRegex cell(QStringLiteral("\\|?\\s*?(.+?)\\s*(((?<!\\\\)\\|+))"), kLines);
    QList<Cell> cells;
    for (auto it = cell.globalMatch(line); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        cells.append({match.capturedStart(1), match.capturedLength(1), match.capturedLength(2),
                      match.capturedStart(2)});
    }
    return cells;
}

bool isSeparatorLike(const QString &line) {
    static const IcuRegex separator(QStringLiteral("[\\s\\|\\-\\+\\:\\.]+"));
    return separator.matchesWhole(line);
}

bool isTableLine(const QString &line) { return line.contains(u'|') && !isSeparatorLike(line); }

// Rewrites the text of every line (terminators stay), first to last; the
// rewrite learns where the line stood.
void rewriteLines(QString &text, const std::function<void(QString &line, const LineBounds &bounds)> &rewrite) {
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const LineBounds &bounds : linesOf(text)) {
        QString line = text.mid(bounds.start, bounds.contentsEnd - bounds.start);
        rewrite(line, bounds);
        out += line;
        out += QStringView(text).mid(bounds.contentsEnd, bounds.end - bounds.contentsEnd);
    }
    text = out;
}

// The cells of every table line.
QList<QList<Cell>> tableRows(const QString &text) {
    QList<QList<Cell>> rows;
    for (const LineBounds &bounds : linesOf(text)) {
        const QString line = text.mid(bounds.start, bounds.contentsEnd - bounds.start);
        if (isTableLine(line))
            rows.append(cellsOf(line));
    }
    return rows;
}

void apply(QString &text, const IcuRegex &pattern, const QString &templ) {
    text = pattern.replaceMatches(text, templ);
}

// White space between a cell's last visible character and its closing
// pipes becomes one tab per pipe: blanks and tabs, and every other space
// that the cell pattern does not count as content (a form feed, a
// no-break space), so that cells padded after their content clean alike.
void tabsBeforeClosingPipes(QString &text) {
    static const IcuRegex closing(
        QStringLiteral("(?<=[^\\s\\|])[^\\S\\n\\r\\x{85}\\x{2028}\\x{2029}]*(\\|+)"), kLines);
    QString out;
    qsizetype copied = 0;
    for (auto it = closing.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        out += QStringView(text).mid(copied, match.capturedStart() - copied);
        out += QString(match.capturedLength(1), u'\t');
        out += match.captured(1);
        copied = match.capturedEnd();
    }
    out += QStringView(text).mid(copied);
    text = out;
}

// The separator line made from a table's first row: every cell becomes
// dashes.
QString separatorForRow(const QString &row) {
    static const IcuRegex cell(QStringLiteral("(?<=\\A|\\|)[ ]?([^\\|]+?)[ ]?(\\|)"));
    return cell.replaceMatches(row + u'\n', QStringLiteral(" ------\t|"));
}

// A separator cell's content rebuilt to `width` characters: its first
// character (and a ":" after a first blank: left alignment), dashes, its
// last character.
QString separatorCell(const QString &content, qsizetype width) {
    // A blank cell (its one character is white space) is read as a blank
    // and a dash, as the clean-up writes an opening pipe and text.
    const QString c = content.isEmpty()        ? QStringLiteral("-")
                      : content.back().isSpace() ? QStringLiteral(" -")
                                                 : content;
    if (width <= 1)
        return QString(c.back());
    QString body(c.front());
    const QString trimmed = c.trimmed();
    if (c.front().isSpace() && trimmed.size() > 1 && trimmed.startsWith(u':'))
        body += u':';
    const qsizetype prefix = body.size();
    while (body.size() < width - 1)
        body += u'-';
    body += c.back();
    if (!body.mid(prefix).contains(u'-'))
        body.insert(prefix, u'-');  // a colon alone marks no column
    return body;
}

}  // namespace

bool useTabsInTables() {
    const platform::Defaults &defaults = platform::Defaults::standard();
    const QString key = QStringLiteral("useTabsInTables");
    return !defaults.objectForKey(key).isValid() || defaults.boolForKey(key);
}

// --- Rows and tables ---------------------------------------------------------

void makeTableRowsFromRange(QString &text, TextRange range) {
    range = clampedRange(text, range);
    QString rows = text.mid(range.location, range.length);
    if (!rows.contains(u'\t'))
        rows.replace(u',', u'\t');
    rows.replace(QLatin1String("\t"), QLatin1String("\t| "));
    rows.replace(QLatin1String("\n"), QLatin1String("\t|  \n| "));
    // A final line feed opens no empty row.
    if (rows.size() >= 3 && rows.endsWith(QLatin1String("\n| ")))
        rows.chop(2);
    rows.prepend(QLatin1String("| "));
    text.replace(range.location, range.length, rows);
}

void makeTableRows(QString &text) {
    fixLineEndings(text);
    makeTableRowsFromRange(text, {0, text.size()});
}

void makeTableFromRange(QString &text, TextRange range, bool useTabs) {
    range = clampedRange(text, range);
    QString table = text.mid(range.location, range.length);
    if (table.isEmpty())
        return;
    makeTableRows(table);
    // The last row closes too when no line feed follows it: a single line
    // is a table of all its columns, not of all but its last.
    if (!table.endsWith(u'\n') && !table.endsWith(u'|'))
        table += QLatin1String("\t|");
    const qsizetype firstBreak = table.indexOf(u'\n');
    const QString separator = separatorForRow(firstBreak < 0 ? table : table.left(firstBreak));
    if (firstBreak >= 0)
        table.replace(firstBreak, 1, u'\n' + separator);
    else
        table += u'\n' + separator.chopped(1);  // no line feed the text did not have
    cleanAsTable(table, useTabs);
    text.replace(range.location, range.length, table);
}

void makeTable(QString &text, bool useTabs) {
    fixLineEndings(text);
    makeTableFromRange(text, {0, text.size()}, useTabs);
}

// --- Clean-up ----------------------------------------------------------------

void cleanTableAtRange(QString &text, std::optional<TextRange> range, bool useTabs) {
    if (!range)
        return;
    const TextRange r = clampedRange(text, *range);
    QString table = text.mid(r.location, r.length);
    if (table.isEmpty())
        return;
    static const IcuRegex escapedPipe(QStringLiteral("\\\\\\|"), kLines);
    static const IcuRegex openingPipe(QStringLiteral("\\|(?=[^\\|])"), kLines);
    static const IcuRegex emptyFirstCell(QStringLiteral("^\\|(?=\\|)"), kLines);
    static const IcuRegex blanksAfterPipe(QStringLiteral("\\|[ ]+"), kLines);
    static const IcuRegex blanksBeforeTab(QStringLiteral("[ ]+\\t\\|"), kLines);
    // A line ends at any terminator that ends the transforms' lines (CR and
    // CR LF too), so a table written with them is cleaned as one with LF.
    static const IcuRegex lineEnd(QStringLiteral("(?<![\\n\\r\\x{85}\\x{2028}\\x{2029} ])[ ]*"
                                                 "(?=[\\n\\r\\x{85}\\x{2028}\\x{2029}])"),
                                  kLines);
    static const IcuRegex textEnd(QStringLiteral("(?<![\\n\\r\\x{85}\\x{2028}\\x{2029} ])[ ]*\\z"), kLines);
    static const IcuRegex blankRun(QStringLiteral("[ ]{2,}"), kLines);
    static const IcuRegex blankLine(QStringLiteral("^[ ]+$"), kLines);
    // A vertical tab or form feed inside a table is white space; as line
    // ends (which the patterns would take them for) they would split a row
    // for some steps and not for others.
    table.replace(u'\v', u' ');
    table.replace(u'\f', u' ');
    apply(table, escapedPipe, kEscapedPipe);
    // One blank after every opening pipe; a row that opens with "||" opens
    // with an empty cell that spans columns.
    apply(table, openingPipe, QStringLiteral("| "));
    apply(table, emptyFirstCell, QStringLiteral("| "));
    apply(table, blanksAfterPipe, QStringLiteral("| "));
    tabsBeforeClosingPipes(table);
    apply(table, blanksBeforeTab, QStringLiteral("\t|"));
    // Every line with something in it ends in exactly two blanks.
    apply(table, lineEnd, QStringLiteral("  "));
    apply(table, textEnd, QStringLiteral("  "));
    // Lines of blanks become empty; their line feeds stay as they were.
    apply(table, blankLine, QString());
    if (useTabs) {
        // Twice: empty cells side by side share their pipes.
        table.replace(QLatin1String("| |"), QLatin1String("|\t|"));
        table.replace(QLatin1String("| |"), QLatin1String("|\t|"));
    } else {
        // Every run of blanks becomes one, so that a cleaned table (whose
        // padding is blanks) cleans to itself; a line that held only tabs
        // and blanks is a line of blanks now, and becomes empty too.
        table.replace(u'\t', u' ');
        apply(table, blankRun, QStringLiteral(" "));
        apply(table, blankLine, QString());
    }
    table.replace(kEscapedPipe, QLatin1String("\\|"));
    fixTableWidths(table, useTabs);
    text.replace(r.location, r.length, table);
}

void cleanAsTable(QString &text, bool useTabs) {
    fixLineEndings(text);
    cleanTableAtRange(text, TextRange{0, text.size()}, useTabs);
}

// --- Widths ------------------------------------------------------------------

void fixTableWidths(QString &text, bool useTabs) {
    QList<qsizetype> widths = columnWidths(text);
    fixColumnCount(text, widths.size(), useTabs);
    // Text after a row's last pipe that the count made a cell counts too.
    widths = columnWidths(text);
    fixSeparatorStringsForWidths(text, widths, useTabs);
    if (!useTabs)
        padCellsForWidths(text, widths);
}

QList<qsizetype> columnWidths(const QString &text) {
    const QList<QList<Cell>> rows = tableRows(text);
    QList<qsizetype> widths;
    for (const QList<Cell> &row : rows) {
        qsizetype column = 0;
        for (const Cell &cell : row) {
            if (cell.span < 2) {
                // A column that so far only spanning cells covered gets the
                // narrowest width, so that every width stays at its column.
                if (column >= widths.size())
                    widths.resize(column + 1, 2);
                widths[column] = std::max(widths[column], std::max<qsizetype>(cell.contentLength, 2));
            }
            column += cell.span;
        }
    }
    // Spanning cells widen the columns under them in proportion. The factor
    // grows until they are wide enough, so the loop ends.
    for (const QList<Cell> &row : rows) {
        qsizetype column = 0;
        for (const Cell &cell : row) {
            const qsizetype first = column, last = std::min(column + cell.span, widths.size());
            column += cell.span;
            if (cell.span < 2 || first >= last)
                continue;
            const qint64 need = qint64(cell.contentLength) - cell.span + 2;
            auto sum = [&] {
                qint64 total = 0;
                for (qsizetype i = first; i < last; i++)
                    total += widths[i];
                return total;
            };
            qint64 total = sum();
            for (qint64 factor = need; total > 0 && need > total;) {
                for (qsizetype i = first; i < last; i++)
                    widths[i] = qsizetype(qint64(widths[i]) * factor / total);
                total = sum();
                if (need > total)
                    factor++;
            }
        }
    }
    return widths;
}

void fixColumnCount(QString &text, qsizetype count, bool useTabs) {
    const std::optional<TextRange> separator = separatorLineRange(text);
    rewriteLines(text, [&](QString &line, const LineBounds &bounds) {
        const bool isSeparator = separator && separator->location == bounds.start;
        if (!line.contains(u'|'))
            return;
        qsizetype columns = 0;
        for (const Cell &cell : cellsOf(line))
            columns += cell.span;
        if (columns >= count)
            return;
        // The cells go in as the clean-up leaves cells, before the blanks
        // that end the line: a cleaned table cleans to itself. The first
        // closes what follows the last pipe; the separator line gets
        // separator cells.
        qsizetype blanks = line.size();
        while (blanks > 0 && line[blanks - 1] == u' ')
            blanks--;
        qsizetype end = blanks;
        const QString close = useTabs ? QStringLiteral("\t|") : QStringLiteral(" |");
        QString cells;
        if (line[end - 1] != u'|') {
            // In the tab layout the closing pipe's tab replaces the white
            // space before it.
            if (useTabs)
                while (end > 0 && (line[end - 1] == u'\t' || line[end - 1] == u' '))
                    end--;
            cells += close;
            columns++;
        }
        for (; columns < count; columns++)
            cells += isSeparator ? QStringLiteral(" -") + close : close;
        line.replace(end, blanks - end, cells);
    });
}

std::optional<TextRange> separatorLineRange(const QString &text) {
    for (const LineBounds &bounds : linesOf(text)) {
        const TextRange line{bounds.start, bounds.contentsEnd - bounds.start};
        if (isSeparatorLike(text.mid(line.location, line.length)))
            return line;
    }
    return std::nullopt;
}

void fixSeparatorStringsForWidths(QString &text, const QList<qsizetype> &widths, bool useTabs) {
    const std::optional<TextRange> range = separatorLineRange(text);
    if (!range)
        return;
    QString line = text.mid(range->location, range->length);
    const QList<Cell> cells = cellsOf(line);
    qsizetype k = widths.size() - 1;
    for (auto cell = cells.crbegin(); cell != cells.crend() && k >= 0; ++cell, --k) {
        const qsizetype width = widths[k] == 0 ? 1 : widths[k];
        const QString content = line.mid(cell->contentStart, cell->contentLength);
        if (!content.isEmpty() && content.back().isSpace()) {
            // A blank cell gets dashes, and the white space up to its pipes
            // is then laid out as the clean-up lays it out after text.
            const QString gap = useTabs ? QString(cell->span, u'\t') : QStringLiteral(" ");
            line.replace(cell->contentStart, cell->pipesStart - cell->contentStart,
                         separatorCell(content, width) + gap);
            continue;
        }
        line.replace(cell->contentStart, cell->contentLength, separatorCell(content, width));
    }
    text.replace(range->location, range->length, line);
}

void padCellsForWidths(QString &text, const QList<qsizetype> &widths) {
    rewriteLines(text, [&widths](QString &line, const LineBounds &) {
        const QList<Cell> cells = cellsOf(line);
        qsizetype k = widths.size() - 1;
        for (auto cell = cells.crbegin(); cell != cells.crend(); ++cell) {
            const qsizetype span = cell->span;
            if (k - span + 1 >= 0) {
                qsizetype total = span > 1 ? 1 : 0;
                for (qsizetype i = k - span + 1; i <= k; i++)
                    total += widths[i];
                const qsizetype length = cell->contentLength;
                if (length < total) {
                    if (length == 1 && line[cell->contentStart] == u' ')
                        total++;  // an empty cell
                    line.insert(cell->contentStart + length, QString(total - length, u' '));
                }
            }
            k -= span;
        }
    });
}

}  // namespace markdown
