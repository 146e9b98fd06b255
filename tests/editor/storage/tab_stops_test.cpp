// Elastic tab stops: where the columns of a tab block go, how deeper columns
// follow shallower ones, zoom and block quotes, what an edit realigns, where
// the laid-out text really stands, and lines with more tabs than columns.
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include "editor/view/lazy_document_layout.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/editor_test_support.h"

namespace {

// Indented code blocks (lines that start with a tab) get a left indent, so
// that stops and the text column's edge are apart.
QString tabTheme() {
    static const QString path = editortest::writeTheme(QStringLiteral("tabs.theme"), R"({
        "fontName": "DejaVu Sans", "fontSize": 12, "foregroundColor": "#222222",
        "codeBlock": {"leftIndent": 20},
        "blockquote": {"leftIndent": 16},
        "heading1": {"fontSize": 36},
        "strong": {"bold": 1}})");
    return path;
}

StoragePreferences elastic(bool on = true) {
    StoragePreferences preferences;
    preferences.useElasticTabstops = on;
    return preferences;
}

struct Tabs {
    SmartTextStorage storage{elastic()};

    explicit Tabs(const QString &text) {
        storage.applyThemeFromPath(tabTheme());
        storage.setInitialText(text);
    }
    QTextBlock line(int n) const { return storage.document()->findBlockByNumber(n); }
    QList<qreal> stops(int n) const { return storage.tabStops(line(n)); }
    // The typeset width of the text at [position, position + length), all
    // in the style of its first character.
    qreal width(qsizetype position, qsizetype length) const {
        const CharAttrs attrs = storage.attributesAt(position);
        QFont font(attrs.family);
        font.setPointSizeF(attrs.pointSize * storage.zoomFactor());
        font.setBold(attrs.bold);
        font.setItalic(attrs.italic);
        return QFontMetricsF(font).horizontalAdvance(storage.string().mid(position, length));
    }
    qreal width(const QString &needle) const {
        const qsizetype at = storage.string().indexOf(needle);
        EXPECT_GE(at, 0) << needle.toStdString();
        return width(at, needle.size());
    }
    // The stop of a column whose widest cell is `needle`, after a stop at
    // `before`: no column is narrower than 15, and a gap of 15 follows.
    qreal column(const QString &needle, qreal before = 0) const {
        const qreal unit = 15 * storage.zoomFactor();
        return before + qMax(unit, width(needle)) + unit;
    }
    // Where the character at `offset` of line `n` stands once laid out, from
    // the text column's left edge.
    qreal xOf(int n, int offset) const {
        const QTextBlock block = line(n);
        storage.documentLayout()->blockBoundingRect(block);
        return block.layout()->lineForTextPosition(offset).cursorToX(offset);
    }
};

void expectStops(const QList<qreal> &actual, const QList<qreal> &expected, int line) {
    ASSERT_EQ(actual.size(), expected.size()) << "line " << line;
    for (qsizetype i = 0; i < actual.size(); i++)
        EXPECT_NEAR(actual[i], expected[i], 1e-6) << "line " << line << " stop " << i;
}

}  // namespace

TEST(ElasticTabStops, AColumnEndsOneGapPastItsWidestCell) {
    Tabs t(QStringLiteral("a\tx\nabcdefghi\ty\n\nalone\tz"));
    const qreal x = t.column(QStringLiteral("abcdefghi"));
    expectStops(t.stops(0), {x}, 0);
    expectStops(t.stops(1), {x}, 1);
    expectStops(t.stops(2), {}, 2);
    // A blank line ends the block: the line after it has its own column.
    expectStops(t.stops(3), {t.column(QStringLiteral("alone"))}, 3);
    EXPECT_FALSE(t.storage.tabHeadIndent(t.line(0)));
    EXPECT_NEAR(t.storage.widthOfCell(1, {0, t.storage.length()}), t.width(QStringLiteral("abcdefghi")), 1e-6);
    EXPECT_EQ(t.storage.widthOfCell(0, {0, t.storage.length()}), 0);
    EXPECT_EQ(t.storage.widthOfCell(2, {0, 4}), 15);  // no line ends cell 2 with a tab
    // The text after the tab stands at the stop.
    EXPECT_NEAR(t.xOf(0, 2), x, 1);
    EXPECT_NEAR(t.xOf(1, 10), x, 1);
}

TEST(ElasticTabStops, DeeperColumnsFollowTheirLinesOwnStops) {
    // All three lines share column 1; column 2 belongs to the first two,
    // which hold two tabs or more, and column 3 to the second alone.
    Tabs t(QStringLiteral("ab\tc\td\nx\tlonger cell\te\tthird\nwide first cell\tf"));
    const qreal c1 = t.column(QStringLiteral("wide first cell"));
    const qreal c2 = t.column(QStringLiteral("longer cell"), c1);
    const qreal c3 = t.column(QStringLiteral("e"), c2);
    expectStops(t.stops(0), {c1, c2}, 0);
    expectStops(t.stops(1), {c1, c2, c3}, 1);
    expectStops(t.stops(2), {c1}, 2);
    EXPECT_NEAR(t.xOf(1, t.line(1).text().indexOf(QStringLiteral("third"))), c3, 1);
}

TEST(ElasticTabStops, EmptyCellsTakeTheMinimumAndIndentWrappedLines) {
    // Lines indented by tabs: every cell before the text is empty. The text
    // starts at 30 (one minimum column and one gap), then 60, from the text
    // column's edge, whatever the code block's own indent.
    Tabs t(QStringLiteral("\tone\n\t\ttwo words that go on and on until the line has to wrap somewhere"));
    expectStops(t.stops(0), {30}, 0);
    expectStops(t.stops(1), {30, 60}, 1);
    EXPECT_EQ(t.storage.tabHeadIndent(t.line(0)), 30);
    EXPECT_EQ(t.storage.tabHeadIndent(t.line(1)), 60);
    EXPECT_NEAR(t.xOf(0, 1), 30, 1);
    EXPECT_NEAR(t.xOf(1, 2), 60, 1);
    // Wrapped lines line up with the text after the tabs.
    t.storage.document()->setTextWidth(220);
    const QTextBlock block = t.line(1);
    t.storage.documentLayout()->blockBoundingRect(block);
    ASSERT_GT(block.layout()->lineCount(), 1);
    EXPECT_NEAR(block.layout()->lineAt(1).x(), 60, 1);
}

TEST(ElasticTabStops, ZoomScalesMinimumsGapsAndCells) {
    Tabs t(QStringLiteral("\tx\nwords\ty"));
    t.storage.setZoomFactor(2);
    expectStops(t.stops(0), {t.column(QStringLiteral("words"))}, 0);
    Tabs empty(QStringLiteral("\tx\n\ty"));
    empty.storage.setZoomFactor(2);
    expectStops(empty.stops(0), {60}, 0);
    EXPECT_EQ(empty.storage.tabHeadIndent(empty.line(1)), 60);
}

TEST(ElasticTabStops, AQuotedFirstCellCountsTheQuotesIndent) {
    Tabs t(QStringLiteral("> q\tanswer\n> quoted cell\tx"));
    const qreal indent = t.storage.paragraphAttributes(t.line(0)).headIndent;
    ASSERT_EQ(indent, 16);
    const qreal x = t.width(QStringLiteral("> quoted cell")) + indent + 15;
    expectStops(t.stops(0), {x}, 0);
    expectStops(t.stops(1), {x}, 1);
    // Stops count from the text column's edge, the quote's lines from its
    // indent: the answer still stands at the stop.
    EXPECT_NEAR(t.xOf(0, 4), x, 1);
}

TEST(ElasticTabStops, EditsRealignTheBlockAroundThemAndNothingElse) {
    Tabs t(QStringLiteral("a\tb\ncc\td\ne\tf\n\nlone\tg"));
    const QList<qreal> lone = t.stops(4);
    // Widening a cell moves the whole column, laid-out lines included.
    t.storage.replaceCharactersInRange({1, 0}, QStringLiteral("aaaaaaaaaaaa"));
    const qreal wide = t.column(QStringLiteral("aaaaaaaaaaaaa"));
    for (int n = 0; n < 3; n++)
        expectStops(t.stops(n), {wide}, n);
    EXPECT_NEAR(t.xOf(2, 2), wide, 1);
    EXPECT_EQ(t.stops(4), lone);

    // A line that loses its tab leaves the block: it drops its stops and
    // splits the block in two, each with its own column.
    const qsizetype tab = t.storage.string().indexOf(QStringLiteral("cc\t")) + 2;
    t.storage.replaceCharactersInRange({tab, 1}, QStringLiteral(" "));
    expectStops(t.stops(1), {}, 1);
    expectStops(t.stops(0), {wide}, 0);
    expectStops(t.stops(2), {t.column(QStringLiteral("e"))}, 2);
    EXPECT_NEAR(t.xOf(2, 2), t.column(QStringLiteral("e")), 1);

    // A new line joins the block below it: lines are added inside the edit,
    // and the layout still places every line at its stop.
    t.storage.replaceCharactersInRange({tab + 3, 0}, QStringLiteral("a rather wide cell\th\n"));
    const qreal joined = t.column(QStringLiteral("a rather wide cell"));
    expectStops(t.stops(2), {joined}, 2);
    expectStops(t.stops(3), {joined}, 3);
    EXPECT_NEAR(t.xOf(3, 2), joined, 1);
}

// The last line of the text, emptied by an edit, is inside the edit too:
// it begins where the edit's range ends.
TEST(ElasticTabStops, ALastLineEmptiedLosesItsStops) {
    // Lines indented by a tab: the stop at 30 with a head indent there.
    Tabs t(QStringLiteral("\ttwo\n"));
    t.storage.replaceCharactersInRange({5, 0}, QStringLiteral("\tx"));
    expectStops(t.stops(1), {30}, 1);
    EXPECT_EQ(t.storage.tabHeadIndent(t.line(1)), 30);
    t.storage.replaceCharactersInRange({5, 2}, QString());
    EXPECT_EQ(t.storage.string(), QStringLiteral("\ttwo\n"));
    expectStops(t.stops(1), {}, 1);
    EXPECT_FALSE(t.storage.tabHeadIndent(t.line(1)).has_value());
    expectStops(t.stops(0), {30}, 0);
}

TEST(ElasticTabStops, AnEditThatAddsLinesKeepsTheExactHeightsOfTheRest) {
    // Stops change inside the document's edit, before the layout has heard
    // of the new lines: the lines are marked once it has, and the layout of
    // everything else stays as exact as it was.
    QString text = QStringLiteral("a\tb\nc\td\n\n");
    for (int i = 0; i < 100; i++)
        text += QStringLiteral("# Heading %1\n\n").arg(i);
    Tabs t(text);
    LazyDocumentLayout *layout = t.storage.documentLayout();
    layout->finishLayout();
    const qreal before = layout->documentSize().height();
    t.storage.replaceCharactersInRange({0, 0}, QStringLiteral("a wide first cell\tx\n"));
    const qreal added = layout->blockBoundingRect(t.line(0)).height();
    EXPECT_NEAR(layout->documentSize().height(), before + added, 1);
    expectStops(t.stops(2), {t.column(QStringLiteral("a wide first cell"))}, 2);
    EXPECT_NEAR(t.xOf(2, 2), t.column(QStringLiteral("a wide first cell")), 1);
}

TEST(ElasticTabStops, ThePreferenceTurnsThemOnAndOff) {
    Tabs t(QStringLiteral("a\tb\nlonger\tc"));
    ASSERT_FALSE(t.stops(0).isEmpty());
    t.storage.setPreferences(elastic(false));
    EXPECT_TRUE(t.stops(0).isEmpty());
    EXPECT_TRUE(t.stops(1).isEmpty());
    t.storage.replaceCharactersInRange({0, 0}, QStringLiteral("x"));
    EXPECT_TRUE(t.stops(0).isEmpty());
    t.storage.setPreferences(elastic(true));
    expectStops(t.stops(0), {t.column(QStringLiteral("longer"))}, 0);
    // By hand, on the whole text.
    t.storage.configureTabStopsDepth(1, {0, t.storage.length()});
    expectStops(t.stops(1), {t.column(QStringLiteral("longer"))}, 1);
}

TEST(ElasticTabStops, ALineOfThousandsOfTabsStopsAtTheDeepestColumn) {
    editortest::LogCapture log;
    const QString tabs(5000, u'\t');
    Tabs t(QStringLiteral("x") + tabs + QStringLiteral("\ny") + tabs);
    const QList<qreal> stops = t.stops(0);
    ASSERT_EQ(stops.size(), SmartTextStorage::kMaxTabDepth);
    EXPECT_NEAR(stops.last(), SmartTextStorage::kMaxTabDepth * 30.0, 1e-6);
    EXPECT_TRUE(log.contains(QStringLiteral("columns past 256 keep fixed tab stops")));
    t.storage.replaceCharactersInRange({1, 0}, QStringLiteral("\t"));
    EXPECT_EQ(t.stops(1).size(), SmartTextStorage::kMaxTabDepth);
}
