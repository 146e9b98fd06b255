// Pipe tables in plain text: rows from separated values, tables with their
// separator line, the clean-up in both layouts, and the width steps.
#include <gtest/gtest.h>

#include <random>

#include "editor/markdown/markdown_tables.h"
#include "platform/prefs/registered_defaults.h"
#include "support/qt_print.h"

namespace {

// Results as std::string, which GoogleTest prints with its tabs and line
// feeds escaped.
std::string rows(QString text) {
    markdown::makeTableRows(text);
    return text.toStdString();
}

std::string table(QString text, bool useTabs) {
    markdown::makeTable(text, useTabs);
    return text.toStdString();
}

std::string cleaned(QString text, bool useTabs) {
    markdown::cleanAsTable(text, useTabs);
    return text.toStdString();
}

}  // namespace

TEST(MarkdownTables, SeparatedValuesBecomeRows) {
    EXPECT_EQ(rows(QStringLiteral("a,b\nc,d\n")), "| a\t| b\t|  \n| c\t| d\t|  \n");
    // With a tab anywhere, commas are text.
    EXPECT_EQ(rows(QStringLiteral("1,5\tx\ny\tz")), "| 1,5\t| x\t|  \n| y\t| z");
    // CR LF first becomes a line feed; a last line without one gets no
    // closing pipe.
    EXPECT_EQ(rows(QStringLiteral("a\tb\r\nc")), "| a\t| b\t|  \n| c");
    EXPECT_EQ(rows(QString()), "| ");
    QString text = QStringLiteral("keep\nx,y\nkeep");
    markdown::makeTableRowsFromRange(text, {5, 3});
    EXPECT_EQ(text, QStringLiteral("keep\n| x\t| y\nkeep"));
}

TEST(MarkdownTables, ATableGetsItsSeparatorAndIsCleanedInEitherLayout) {
    EXPECT_EQ(table(QStringLiteral("a,b\nc,d\n"), true),
              "| a\t| b\t|  \n| -\t| -\t|  \n| c\t| d\t|  \n");
    EXPECT_EQ(table(QStringLiteral("name,n\nbanana,12\n"), false),
              "| name   | n  | \n| ------ | -- | \n| banana | 12 | \n");
    // One line without a line feed is still a table of all its columns,
    // and gets no line feed after its separator.
    EXPECT_EQ(table(QStringLiteral("a,b"), true), "| a\t| b\t|  \n| -\t| -\t|  ");
}

TEST(MarkdownTables, CleanUpNormalisesPipesBlanksAndLineEnds) {
    // One blank after each opening pipe, a tab before each closing pipe,
    // two blanks at the end of every line that holds something; blank
    // lines stay, lines of blanks become empty.
    EXPECT_EQ(cleaned(QStringLiteral("|a|bb|\n|--|--|\n|c |  d|\n\n   \n"), true),
              "| a\t| bb\t|  \n| -\t| --\t|  \n| c\t| d\t|  \n\n\n");
    // No line feed is added, whether or not the text ends in one.
    EXPECT_EQ(cleaned(QStringLiteral("| a | b |"), true), "| a\t| b\t|  ");
    EXPECT_EQ(cleaned(QStringLiteral("| a | b |\n    "), true), "| a\t| b\t|  \n");
    // Empty cells side by side keep their tabs.
    EXPECT_EQ(cleaned(QStringLiteral("| a | | | b |"), true), "| a\t|\t|\t| b\t|  ");
    // An escaped pipe stays in its cell and counts for no column.
    EXPECT_EQ(cleaned(QStringLiteral("| a \\| b | c |\n|---|---|"), true),
              "| a \\| b\t| c\t|  \n| ------\t| -\t|  ");
    // No range, or an empty one, changes nothing.
    QString text = QStringLiteral("| a|");
    markdown::cleanTableAtRange(text, std::nullopt, true);
    EXPECT_EQ(text, QStringLiteral("| a|"));
    markdown::cleanTableAtRange(text, markdown::TextRange{2, 0}, true);
    EXPECT_EQ(text, QStringLiteral("| a|"));
    // A range: the text around it stays as it was.
    text = QStringLiteral("Intro,\n|x|y|\nOutro |");
    markdown::cleanTableAtRange(text, markdown::TextRange{7, 6}, true);
    EXPECT_EQ(text, QStringLiteral("Intro,\n| x\t| y\t|  \nOutro |"));
}

TEST(MarkdownTables, AlignmentColonsSurviveOnBothSides) {
    EXPECT_EQ(cleaned(QStringLiteral("| left | centre | right |\n|:--|:-:|--:|"), true),
              "| left\t| centre\t| right\t|  \n| :---\t| :----:\t| ----:\t|  ");
    // A column too narrow for colon and dash still gets a dash.
    EXPECT_EQ(cleaned(QStringLiteral("|a|\n|:-|"), true), "| a\t|  \n| :-\t|  ");
}

TEST(MarkdownTables, ShortRowsGetColumnsAndSpanningCellsWidenTheirs) {
    EXPECT_EQ(cleaned(QStringLiteral("| a | b | c |\n| d |"), true),
              "| a\t| b\t| c\t|  \n| d\t|\t|\t|  ");
    // " a long cell" (12 units) spans two columns of 2 and 3: they grow in
    // proportion until they sum to its length, less its span, plus 2.
    const QString spanning = QStringLiteral("| a | bb |\n| a long cell ||\n| - | - |");
    EXPECT_EQ(markdown::columnWidths(QStringLiteral("| a | bb |\n| a long cell ||")), (QList<qsizetype>{4, 8}));
    EXPECT_EQ(cleaned(spanning, false),
              "| a   | bb      | \n| a long cell  || \n| --- | ------- | ");
    // The space layout pads every cell of a column to its width; an empty
    // cell gets one blank more.
    EXPECT_EQ(cleaned(QStringLiteral("|a|bbbb|\n| |x|"), false), "| a | bbbb | \n|   | x    | ");
}

TEST(MarkdownTables, TheSeparatorLineIsFoundWhereItIsAndCellsInTheirOwnRow) {
    // The separator's cell text stands in the row above as well: only the
    // separator line is rebuilt.
    QString text = QStringLiteral("| a --- b |\n| --- |");
    EXPECT_EQ(markdown::separatorLineRange(text), (markdown::TextRange{12, 7}));
    markdown::fixSeparatorStringsForWidths(text, {6});
    EXPECT_EQ(text, QStringLiteral("| a --- b |\n| ----- |"));
    EXPECT_EQ(markdown::separatorLineRange(QStringLiteral("| a |\n| b |")), std::nullopt);
    // More cells than widths: the first ones stay as they were.
    text = QStringLiteral("|--|--|--|");
    markdown::fixSeparatorStringsForWidths(text, {0, 4});
    EXPECT_EQ(text, QStringLiteral("|--|-|----|"));
}

TEST(MarkdownTables, TheLayoutPreferenceIsReadNotWritten) {
    platform::ScopedStandardDefaults defaults;
    const QString key = QStringLiteral("useTabsInTables");
    EXPECT_TRUE(markdown::useTabsInTables());  // a user who never chose: tabs
    EXPECT_EQ(cleaned(QStringLiteral("|a|b|"), markdown::useTabsInTables()), "| a\t| b\t|  ");
    EXPECT_FALSE(defaults.defaults().hasStoredValue(key));
    defaults.defaults().setBool(false, key);
    QString text = QStringLiteral("|a|b|");
    markdown::cleanAsTable(text);
    EXPECT_EQ(text, QStringLiteral("| a | b | "));
    EXPECT_FALSE(defaults.defaults().boolForKey(key));
}

TEST(MarkdownTables, AVeryLongLineFinishes) {
    // A lazy cell pattern on a line with no closing pipe backtracks without
    // end unless bounded: a hang check (the suite's timeout), not a timing.
    QString text = QStringLiteral("| ") + QString(200000, u'x') + QStringLiteral("\n|a|b|");
    markdown::cleanAsTable(text, false);
    // The long line's text is closed into a cell, and its column is as wide.
    EXPECT_TRUE(text.startsWith(QStringLiteral("| xxx")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("\n| a") + QString(200000, u' ') + QStringLiteral("| b | ")))
        << text.right(40).toStdString();
}

namespace {

// Tables as people and other programs write them: rows with and without
// their outer pipes, with fewer cells than others, cells spanning columns,
// escaped pipes, blanks and tabs anywhere around the cells, a separator
// line (with alignment colons) or none, blank lines and lines of blanks,
// and any line end, a carriage return alone among them.
class TableWriter {
public:
    explicit TableWriter(unsigned seed) : m_random(seed) {}

    QString table() {
        QString text;
        const int rows = pick(1, 6);
        const bool separator = pick(0, 3) != 0;
        for (int row = 0; row < rows; row++) {
            text += row == 1 && separator ? separatorRow() : cellRow();
            if (row + 1 < rows || pick(0, 1))
                text += lineEnd();
            if (pick(0, 9) == 0) {
                static const QString blankish[] = {"", "   ", "\t", " \t "};
                text += blankish[pick(0, 3)] + lineEnd();
            }
        }
        return text;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    QString blanks() {
        static const QString kinds[] = {"", "", " ", "  ", "\t", " \t", "\t\t"};
        return kinds[pick(0, 6)];
    }

    QString lineEnd() {
        static const QString kinds[] = {"\n", "\n", "\n", "\r\n", "\r"};
        return kinds[pick(0, 4)];
    }

    QString content() {
        static const QString words[] = {"a", "bb", "word", "two words", "x\\|y", "\\|", "12.5", "ü", "-",
                                        ":", "**b**", "`c`", "a,b"};
        QString c = words[pick(0, 12)];
        if (pick(0, 5) == 0)
            c += QStringLiteral(" ") + words[pick(0, 12)];
        return c;
    }

    QString cellRow() {
        QString row = pick(0, 4) ? QStringLiteral("|") : QString();
        const int cells = pick(1, 5);
        for (int i = 0; i < cells; i++) {
            row += blanks();
            if (pick(0, 7))
                row += content();
            row += blanks();
            row += pick(0, 9) ? QStringLiteral("|") : QStringLiteral("||");
        }
        if (pick(0, 5) == 0)
            row += blanks();
        return row;
    }

    QString separatorRow() {
        static const QString cells[] = {"---", "-", ":--", "--:", ":-:", " --- ", "-----", ":---:"};
        QString row = QStringLiteral("|");
        const int count = pick(1, 5);
        for (int i = 0; i < count; i++)
            row += cells[pick(0, 7)] + QStringLiteral("|");
        return row;
    }

    std::mt19937 m_random;
};

std::string shown(const QString &text) {
    std::string out;
    for (const QChar c : text)
        out += c == u'\t' ? std::string("\\t") : c == u'\n' ? std::string("\\n")
               : c == u'\r' ? std::string("\\r") : QString(c).toStdString();
    return out;
}

}  // namespace

// Cleaning a cleaned table changes nothing, in either layout, whether the
// table was cleaned as a whole text or as a range of one.
TEST(MarkdownTables, CleaningACleanedTableChangesNothing) {
    // A line of tabs is a line of blanks in the space layout: empty at once.
    EXPECT_EQ(cleaned(QStringLiteral("| a |\n\t \t\n| b |"), false), "| a | \n\n| b | ");
    // Text after a row's last pipe is closed into a cell, and its column is
    // as wide as it at once.
    EXPECT_EQ(cleaned(QStringLiteral("|wide cell\n|a|b|"), false), "| wide cell |   | \n| a         | b | ");
    EXPECT_EQ(cleaned(QStringLiteral("| a | b |\n| c\t"), true), "| a\t| b\t|  \n| c\t|\t|  ");
    // Vertical tabs and form feeds are white space, not line ends; any
    // white space before a closing pipe goes as blanks and tabs do.
    EXPECT_EQ(cleaned(QStringLiteral("|a|b\v\n|c|d|\f"), false), "| a | b | \n| c | d | ");
    EXPECT_EQ(cleaned(QStringLiteral("|a\f|b\u00A0 |\n|ccc|d|"), false), "| a   | b | \n| ccc | d | ");
    TableWriter writer(20240611);
    int failures = 0;
    for (int i = 0; i < 3000 && failures < 5; i++) {
        const QString table = writer.table();
        for (bool useTabs : {true, false}) {
            QString once = table;
            markdown::cleanAsTable(once, useTabs);
            QString twice = once;
            markdown::cleanAsTable(twice, useTabs);
            QString inRange = QStringLiteral("before\n") + table + QStringLiteral("\nafter");
            markdown::cleanTableAtRange(inRange, markdown::TextRange{7, table.size()}, useTabs);
            const qsizetype cleanedLength = inRange.size() - 13;
            QString inRangeTwice = inRange;
            markdown::cleanTableAtRange(inRangeTwice, markdown::TextRange{7, cleanedLength}, useTabs);
            const bool stable = twice == once && inRangeTwice == inRange;
            EXPECT_TRUE(stable) << (useTabs ? "tabs" : "spaces") << "\n  table: " << shown(table)
                                << "\n  once:  " << shown(once) << "\n  twice: " << shown(twice)
                                << "\n  in a range once:  " << shown(inRange)
                                << "\n  in a range twice: " << shown(inRangeTwice);
            failures += stable ? 0 : 1;
        }
    }
}
