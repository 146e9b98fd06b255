// Sidebar rows from the library's answers about real parses: the table of
// contents under the depth rule, the heading filter, and the change list.
#include <gtest/gtest.h>

#include "library/engine.h"
#include "library/export.h"
#include "library/queries.h"
#include "support/qt_print.h"
#include "library/tzr.h"
#include "window/sidebars/sidebar_rows.h"

namespace {

// A parsed and exported document and the library's answers about it.
struct Parsed {
    tzr_engine *e;
    explicit Parsed(const char *text) : e(tzr_engine_create_with_string(text, TZR_EXT_NOTES | TZR_EXT_CRITIC)) {
        tzr_engine_parse_string(e);
        DString *html = d_string_new("");
        tzr_export_document(html, e, 0);
        d_string_free(html, true);
    }
    ~Parsed() { tzr_engine_free(e, true); }
    QList<HeaderRow> toc(qint64 maxToCDepth) const {
        header *entries = tzr_engine_toc_entries(e);
        QList<HeaderRow> rows = tocRows(entries, maxToCDepth, 7);
        toc_entry_free(entries);
        return rows;
    }
    QList<ChangeRow> changes() const {
        stack *list = tzr_engine_critic_changes(e);
        QList<ChangeRow> rows = changesFromStack(list, 7);
        critic_change_list_free(list);
        return rows;
    }
};

// The rows' labels as one text: "A(B(C)) D".
QString outline(const QList<HeaderRow> &rows) {
    QStringList parts;
    for (const HeaderRow &row : rows)
        parts.append(row.label + (row.children.isEmpty() ? QString() : "(" + outline(row.children) + ")"));
    return parts.join(' ');
}

}  // namespace

TEST(TocRows, TheDepthCountsFromTheFirstHeadingIsAtLeastOneAndDropsWholeSubtrees) {
    EXPECT_EQ(outline(Parsed("## A\n\n### B\n\n#### C\n\n## D\n").toc(2)), "A(B) D");
    Parsed first("# A\n\n## B\n\n# C\n");
    EXPECT_EQ(outline(first.toc(0)), "A C");
    EXPECT_EQ(outline(first.toc(10)), "A(B) C");
    EXPECT_EQ(outline(Parsed("# A\n\n### B\n\n#### B2\n\n## C\n").toc(2)), "A(C)");
    // Setext headings count as the levels they are.
    EXPECT_EQ(outline(Parsed("Top\n===\n\nSub\n---\n\n### Deep\n").toc(2)), "Top(Sub)");
}

TEST(TocRows, RowsCarryOffsetsLevelsIdentifiersAndTheirGeneration) {
    const char *text = "# One\n\nText.\n\n## Sub é\n\nMore.\n\n# Two\n\nEnd.\n";
    const QString units = QString::fromUtf8(text);
    const QList<HeaderRow> rows = Parsed(text).toc(10);
    ASSERT_EQ(outline(rows), "One(Sub é) Two");
    const HeaderRow &one = rows[0], &sub = rows[0].children[0], &two = rows[1];
    EXPECT_EQ(one.shortcut, "one");
    EXPECT_EQ(sub.level, 2);
    EXPECT_EQ(sub.start, units.indexOf("## Sub"));
    EXPECT_EQ(two.start, units.indexOf("# Two"));
    // The next heading of the same list ends a row; the last one ends where it stops.
    EXPECT_EQ(one.end, two.start - 1);
    EXPECT_EQ(one.stop, one.start + one.length);
    EXPECT_EQ(two.end, two.stop);
    EXPECT_EQ(sub.generation, 7u);
    HeaderRow later = one;  // the generation does not make rows differ
    later.generation = 8;
    EXPECT_EQ(later, one);
}

TEST(TocFilter, EveryWordMustMatchARowsWholeSectionAndChildrenArePrunedOnTheirOwn) {
    const QString text = "# Fruit\n\nApples and pears.\n\n## Apples\n\nRed ones.\n\n## Pears\n\nGreen ones.\n\n"
                         "# Vegetables\n\nNo fruit here.\n";
    const QList<HeaderRow> rows = Parsed(text.toUtf8().constData()).toc(10);
    ASSERT_EQ(outline(rows), "Fruit(Apples Pears) Vegetables");
    // Sections span lines and hold their sub-sections; case does not count.
    EXPECT_EQ(outline(headersFilteredFor(rows, "apples", text)), "Fruit(Apples)");
    EXPECT_EQ(outline(headersFilteredFor(rows, "red green", text)), "Fruit");
    EXPECT_EQ(outline(headersFilteredFor(rows, "fruit here", text)), "Vegetables");
    // Each word is a regular expression; an invalid one (a pattern still
    // being typed) filters nothing, while the other words still filter.
    EXPECT_EQ(outline(headersFilteredFor(rows, "gr(e|a)en", text)), "Fruit(Pears)");
    EXPECT_EQ(outline(headersFilteredFor(rows, "app(", text)), outline(rows));
    EXPECT_EQ(outline(headersFilteredFor(rows, "app( apples", text)), "Fruit(Apples)");
    EXPECT_EQ(outline(headersFilteredFor(rows, "", text)), outline(rows));
    // Rows past the end of a shorter text see what is left of it.
    EXPECT_EQ(outline(headersFilteredFor(rows, "Fruit", "# Fruit")), "Fruit");
}

TEST(ChangeRows, SubstitutionsJoinTheirPartsAndADirectCommentWhileLoneCommentsGiveNoRow) {
    const char *text = "a {~~old~>new~~}{>>why<<} b {>>lone<<} c {++add++} d {--gone--}{>>because<<}\n";
    const QString units = QString::fromUtf8(text);
    const QList<ChangeRow> rows = Parsed(text).changes();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].start, units.indexOf("{~~"));
    EXPECT_EQ(rows[0].stop, units.indexOf(" b "));
    EXPECT_TRUE(rows[0].label.contains("old") && rows[0].label.contains("new") && rows[0].label.contains("why"));
    EXPECT_EQ(rows[1].start, units.indexOf("{++"));
    EXPECT_EQ(rows[1].length, QString("{++add++}").size());
    EXPECT_EQ(rows[2].stop, units.indexOf("\n"));
    EXPECT_TRUE(rows[2].label.contains("gone") && rows[2].label.contains("because"));
    EXPECT_EQ(rows[2].length, rows[2].stop - rows[2].start);
    // A list never built differs from every built one, even an empty one.
    ChangeList never, empty;
    empty.present = true;
    EXPECT_NE(never, empty);
}
