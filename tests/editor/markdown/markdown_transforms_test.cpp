// The Markdown rewrites of plain text: lines as the transforms see them, line
// endings, list items and quotes built line by line while the text grows,
// and the stripping of markers.
#include <gtest/gtest.h>

#include "editor/markdown/markdown_transforms.h"
#include "platform/prefs/registered_defaults.h"
#include "support/qt_print.h"

using markdown::TextRange;

namespace {

QString fixed(QString text) {
    markdown::fixLineEndings(text);
    return text;
}

template <typename F>
QString applied(QString text, F transform) {
    transform(text);
    return text;
}

}  // namespace

TEST(MarkdownLines, EveryTerminatorEndsALineAndRangesGrowToWholeLines) {
    const QString text = QStringLiteral("one\r\ntwo\rthree\u2028four\nfive");
    auto bounds = markdown::lineBoundsAt(text, 1);
    EXPECT_EQ(bounds.start, 0);
    EXPECT_EQ(bounds.contentsEnd, 3);
    EXPECT_EQ(bounds.end, 5);  // CR LF is one terminator
    bounds = markdown::lineBoundsAt(text, 4);  // between the CR and the LF
    EXPECT_EQ(bounds.start, 0);
    EXPECT_EQ(bounds.end, 5);
    bounds = markdown::lineBoundsAt(text, 9);  // "three" after a lone CR
    EXPECT_EQ(bounds.start, 9);
    EXPECT_EQ(bounds.contentsEnd, 14);
    bounds = markdown::lineBoundsAt(text, text.size());
    EXPECT_EQ(bounds.start, text.indexOf(QStringLiteral("five")));
    EXPECT_EQ(bounds.end, text.size());

    EXPECT_EQ(markdown::lineRangeForRange(text, {6, 5}), (TextRange{5, 4 + 6}));  // "two\r" and "three\u2028"
    EXPECT_EQ(markdown::lineRangeForRange(text, {1, 0}), (TextRange{0, 5}));
    // A range ending right after a terminator does not take the next line.
    EXPECT_EQ(markdown::lineRangeForRange(text, {0, 5}), (TextRange{0, 5}));
    // Out of range: clamped, never past the text.
    EXPECT_EQ(markdown::lineRangeForRange(text, {-4, 1000}), (TextRange{0, text.size()}));
    EXPECT_EQ(markdown::clampedRange(text, {1000, 5}), (TextRange{text.size(), 0}));
    EXPECT_EQ(markdown::lineRangeForRange(QString(), {0, 0}), (TextRange{0, 0}));
}

TEST(MarkdownTransforms, LineEndingsBecomeLineFeeds) {
    EXPECT_EQ(fixed(QStringLiteral("one\r\ntwo\rthree")), QStringLiteral("one\ntwo\nthree"));
    EXPECT_EQ(fixed(QStringLiteral("\r\r\n\n\r")), QStringLiteral("\n\n\n\n"));
    EXPECT_EQ(fixed(QString()), QString());
}

TEST(MarkdownTransforms, TheBulletFollowsTheListMarkerPreference) {
    EXPECT_EQ(markdown::listBullet(0), QStringLiteral("*"));
    EXPECT_EQ(markdown::listBullet(1), QStringLiteral("+"));
    EXPECT_EQ(markdown::listBullet(2), QStringLiteral("-"));
    EXPECT_EQ(markdown::listBullet(7), QStringLiteral("*"));
    EXPECT_EQ(markdown::listBullet(-1), QStringLiteral("*"));
    platform::ScopedStandardDefaults defaults;
    EXPECT_EQ(markdown::listBullet(), QStringLiteral("*"));
    defaults.defaults().setInteger(2, QStringLiteral("tzrListMarker"));
    EXPECT_EQ(markdown::listBullet(), QStringLiteral("-"));

    // Words, a blank line and an indented line.
    QString text = QStringLiteral("word\n\n  indented");
    markdown::addListBulletsToRange(text, {0, text.size()});
    EXPECT_EQ(text, QStringLiteral("- word\n\n  - indented"));
}

TEST(MarkdownTransforms, ListItemsAreBuiltOncePerLineWhileTheTextGrows) {
    auto bullets = [](QString text) {
        markdown::addListBulletsToRange(text, {0, text.size()}, QStringLiteral("*"));
        return text;
    };
    // Lines that are items already keep their marker, with or without a
    // line feed after them; "*bold*" reads as an item too.
    EXPECT_EQ(bullets(QStringLiteral("* one\n2. two\n*bold* three\n- four")),
              QStringLiteral("* one\n2. two\n*bold* three\n- four"));
    EXPECT_EQ(bullets(QStringLiteral("+ last")), QStringLiteral("+ last"));
    EXPECT_EQ(bullets(QStringLiteral("12.no blank")), QStringLiteral("* 12.no blank"));
    // Every line of the range once, in every line-ending style, and only
    // those lines: each insertion shifts the lines after it.
    EXPECT_EQ(bullets(QStringLiteral("a\r\nb\rc\u2029d\n")), QStringLiteral("* a\r\n* b\r* c\u2029* d\n"));
    QString text = QStringLiteral("before\nfirst\nsecond\nafter");
    markdown::addListBulletsToRange(text, {9, 8}, QStringLiteral("+"));  // inside "first" to inside "second"
    EXPECT_EQ(text, QStringLiteral("before\n+ first\n+ second\nafter"));
    // Blank lines (blanks, tabs, no-break spaces) get nothing.
    EXPECT_EQ(bullets(QStringLiteral(" \t\u00A0\n\n")), QStringLiteral(" \t\u00A0\n\n"));

    QString numbered = QStringLiteral("one\ntwo\nthree");
    markdown::addListEnumeratorsToRange(numbered, {0, numbered.size()});
    EXPECT_EQ(numbered, QStringLiteral("1. one\n1. two\n1. three"));
    numbered = QStringLiteral("  1. kept\n- also kept\nnew");
    markdown::addListEnumeratorsToRange(numbered, {0, numbered.size()});
    EXPECT_EQ(numbered, QStringLiteral("  1. kept\n- also kept\n1. new"));
}

TEST(MarkdownTransforms, QuotesGoOnEveryLineBlankOrNot) {
    QString text = QStringLiteral("word\n\nother");
    markdown::addBlockquoteToRange(text, {0, text.size()});
    EXPECT_EQ(text, QStringLiteral("> word\n> \n> other"));
    // An already quoted line is quoted again; the line after a final line
    // feed is no line.
    text = QStringLiteral("> quoted\n");
    markdown::addBlockquoteToRange(text, {0, text.size()});
    EXPECT_EQ(text, QStringLiteral("> > quoted\n"));
    text = QString();
    markdown::addBlockquoteToRange(text, {0, 0});
    EXPECT_EQ(text, QString());
}

TEST(MarkdownTransforms, MarkersAreStrippedLineByLine) {
    using markdown::stripMarkers;
    EXPECT_EQ(applied(QStringLiteral("## Title ##"), stripMarkers), QStringLiteral("Title"));
    EXPECT_EQ(applied(QStringLiteral("   * item"), stripMarkers), QStringLiteral("   item"));
    EXPECT_EQ(applied(QStringLiteral(">> twice"), stripMarkers), QStringLiteral("twice"));
    // A quoted item keeps its list marker: the quote stood before it when
    // list markers were looked for.
    EXPECT_EQ(applied(QStringLiteral("> - item"), stripMarkers), QStringLiteral("- item"));
    EXPECT_EQ(applied(QStringLiteral("- one\n10.\ttwo\n-dash\n+   three"), markdown::stripListMarkers),
              QStringLiteral("one\ntwo\n-dash\nthree"));
    EXPECT_EQ(applied(QStringLiteral("  \tindented\n\t\tmore\nnone"), markdown::stripIndents),
              QStringLiteral("indented\nmore\nnone"));
    EXPECT_EQ(applied(QStringLiteral("> a\n>\n>b"), markdown::stripBlockquoteMarkers),
              QStringLiteral("a\n\nb"));
    // Lines end at every terminator, CR LF included.
    EXPECT_EQ(applied(QStringLiteral("# a\r\n## b\r### c #"), markdown::stripHeaderMarkers),
              QStringLiteral("a\r\nb\rc"));
    EXPECT_EQ(applied(QStringLiteral("plain text\n"), stripMarkers), QStringLiteral("plain text\n"));
    EXPECT_EQ(applied(QString(), stripMarkers), QString());
}

TEST(MarkdownTransforms, AHashAtTheEndOfATitleIsNoClosingRun) {
    using markdown::stripHeaderMarkers;
    EXPECT_EQ(applied(QStringLiteral("### C#"), stripHeaderMarkers), QStringLiteral("C#"));
    EXPECT_EQ(applied(QStringLiteral("## Learn C# ##"), stripHeaderMarkers), QStringLiteral("Learn C#"));
    EXPECT_EQ(applied(QStringLiteral("# F# and C#\t#  "), stripHeaderMarkers), QStringLiteral("F# and C#"));
    // Headings of nothing but hashes are empty; "#" needs no blank after it.
    EXPECT_EQ(applied(QStringLiteral("## #\n###\n#tag"), stripHeaderMarkers), QStringLiteral("\n\ntag"));
    EXPECT_EQ(applied(QStringLiteral("# a # b"), stripHeaderMarkers), QStringLiteral("a # b"));
}

TEST(MarkdownTransforms, StrippingARangeLeavesTheRestAlone) {
    QString text = QStringLiteral("# keep\n# strip\n> strip\n> keep");
    const qsizetype from = text.indexOf(QStringLiteral("# strip"));
    const qsizetype to = text.indexOf(QStringLiteral("> keep"));
    markdown::stripMarkersFromRange(text, {from, to - from});
    EXPECT_EQ(text, QStringLiteral("# keep\nstrip\nstrip\n> keep"));
    // The range is a text of its own: "^" matches at its start, even inside
    // a line. A range past the text is clamped.
    text = QStringLiteral("a - b");
    markdown::stripListMarkersFromRange(text, {2, 100});
    EXPECT_EQ(text, QStringLiteral("a b"));
    text = QStringLiteral("> q");
    markdown::stripBlockquoteMarkersFromRange(text, {50, 3});
    EXPECT_EQ(text, QStringLiteral("> q"));
}
