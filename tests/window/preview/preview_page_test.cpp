// The preview's page text without a page: head content, body, blocks, links.
#include "window/preview/page_parts.h"
#include "window/preview/preview_page.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBoundaryFinder>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

using namespace preview;

namespace {

QStringList blocksOf(const QString &body) {
    const BodyBlocks blocks(body);
    QStringList list;
    for (qsizetype i = 0; i < blocks.count(); i++)
        list << blocks.block(i).toString();
    return list;
}

}  // namespace

// The head content, byte for byte, in its order; margins are the editor's
// height × 0.9 in single precision, truncated.
TEST(PreviewPage, BuildsTheHeadContentInItsOrder) {
    HeadOptions options;
    options.viewHeight = 500;
    EXPECT_EQ(headContent(options),
              "<style type=\"text/css\">@media screen{body {margin-top: 449px; margin-bottom: 449px;}}</style>");

    options.styleSheet = QStringLiteral("p { color: red; } /* 100%1 */");
    options.mathJax = true;
    options.syntaxHighlighting = true;
    options.scripts = {"c.js", "M.js", "t.js?a&b", "s.css", "h.js"};
    EXPECT_EQ(headContent(options),
              "<style type=\"text/css\">p { color: red; } /* 100%1 */</style>\n"
              "<style type=\"text/css\">@media screen{body {margin-top: 449px; margin-bottom: 449px;}}</style>"
              "<script type=\"text/javascript\" src=\"c.js\"></script>\n"
              "<script type=\"text/javascript\" src=\"M.js\"></script>\n"
              "<script type=\"text/javascript\" src=\"t.js?a&amp;b\"></script>\n"
              "<link rel=\"stylesheet\" href=\"s.css\">\n"
              "<script type=\"text/javascript\" src=\"h.js\"></script>\n"
              "<script>hljs.initHighlightingOnLoad();</script>\n");

    EXPECT_EQ(bodyMargin(0), 0);
    EXPECT_EQ(bodyMargin(10), 8);  // 8.9999997 is truncated
    EXPECT_EQ(bodyMargin(-5), 0);
    EXPECT_EQ(bodyMargin(std::nan("")), 0);
    EXPECT_EQ(bodyMargin(1e12), std::numeric_limits<int>::max());
    EXPECT_EQ(bodyMargin(1e300), 0);  // beyond single precision
}

TEST(PreviewPage, ReplacesThePagesOwnHeadOrPutsADocumentInFront) {
    qsizetype start = -1;
    EXPECT_EQ(applyHead("<html><head><title>T</title><style>x</style></head><body>b</body></html>", "H", &start),
              "<html><head>H</head><body>b</body></html>");
    EXPECT_EQ(start, 0);
    // Without "</head>" the head content goes just after "<head>".
    EXPECT_EQ(applyHead("<head><body>b</body>", "H"), "<head>H<body>b</body>");
    // Only the first head counts, and only "<head>" exactly.
    EXPECT_EQ(applyHead("<head>a</head><head>c</head>", "H"), "<head>H</head><head>c</head>");

    // A fragment: an empty document goes in front, and the body the
    // preview replaces is searched for after it.
    const QString page = applyHead("<p>snippet</p>", "H", &start);
    EXPECT_TRUE(page.startsWith("<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n"
                                "<head>\nH\n</head>\n<body></body>\n</html>\n"));
    EXPECT_EQ(page.mid(start), "<p>snippet</p>");
    EXPECT_FALSE(bodyRange(page, start));
    const QString withBody = applyHead("<body><p>x</p></body>", "H", &start);
    const auto range = bodyRange(withBody, start);
    ASSERT_TRUE(range);
    EXPECT_EQ(withBody.mid(range->start, range->length), "<p>x</p>");

    EXPECT_FALSE(bodyRange(u"<body>open"));
    EXPECT_FALSE(bodyRange(u"no body</body>"));
    const auto empty = bodyRange(u"<body></body>");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->start, 6);
    EXPECT_EQ(empty->length, 0);
}

TEST(PreviewPage, ReadsStyleSheetsInTheirEncoding) {
    QTemporaryDir folder;
    auto write = [&](const char *name, const QByteArray &bytes) {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    EXPECT_EQ(readStyleSheet(write("utf8.css", "p::before { content: \"\xC3\xA9\"; }")),
              QString::fromUtf8("p::before { content: \"\xC3\xA9\"; }"));
    EXPECT_EQ(readStyleSheet(write("latin1.css", "p::before { content: \"\xE9\"; }")),
              QString::fromUtf8("p::before { content: \"\xC3\xA9\"; }"));
    EXPECT_EQ(readStyleSheet(write("utf16.css", QByteArray("\xFF\xFEp\0{\0}\0", 8))), "p{}");
    EXPECT_FALSE(readStyleSheet(folder.filePath("missing.css")));
}

// A block is a top-level element with the text after it; what a browser would
// nest stays in one block.
TEST(PreviewPage, CutsTheBodyIntoTopLevelBlocks) {
    EXPECT_EQ(blocksOf("\n\n<h1 id=\"a\">A</h1>\n\n<p>x <em>y</em></p>\n\n<hr />\n<ul>\n<li>1</li>\n</ul>\n"),
              QStringList({"\n\n", "<h1 id=\"a\">A</h1>\n\n", "<p>x <em>y</em></p>\n\n", "<hr />\n",
                           "<ul>\n<li>1</li>\n</ul>\n"}));
    EXPECT_EQ(blocksOf("<p>a</p><p>b</p>"), QStringList({"<p>a</p>", "<p>b</p>"}));
    EXPECT_TRUE(blocksOf("").isEmpty());
    // Void elements, quoted ">" and comments do not nest.
    EXPECT_EQ(blocksOf("<img src=\"a>b\"><br><p title='>'>x</p><!-- <div> -->"),
              QStringList({"<img src=\"a>b\">", "<br>", "<p title='>'>x</p><!-- <div> -->"}));
    // Raw text holds no tags.
    EXPECT_EQ(blocksOf("<script>if (a < b) document.write('<div>')</script><pre>&lt;/script&gt;</pre>"),
              QStringList({"<script>if (a < b) document.write('<div>')</script>", "<pre>&lt;/script&gt;</pre>"}));
    EXPECT_EQ(blocksOf("<STYLE>p{}</style><P>x</P>"), QStringList({"<STYLE>p{}</style>", "<P>x</P>"}));
    // An end tag closes what is inside it; a stray one is ignored.
    EXPECT_EQ(blocksOf("<div><span>a</div></p><p>b</p>"), QStringList({"<div><span>a</div></p>", "<p>b</p>"}));
    // An element never closed holds the rest; so does "<div/>" (not
    // self-closing in HTML).
    EXPECT_EQ(blocksOf("<p>a</p><div>b<p>c</p>"), QStringList({"<p>a</p>", "<div>b<p>c</p>"}));
    EXPECT_EQ(blocksOf("<div/><p>c</p>"), QStringList({"<div/><p>c</p>"}));
    // A "<" that starts no tag is text; an unfinished tag ends the text.
    EXPECT_EQ(blocksOf("a < b<p>c</p><"), QStringList({"a < b", "<p>c</p><"}));
    EXPECT_EQ(blocksOf("<p>a</p><p class=\"x"), QStringList({"<p>a</p>", "<p class=\"x"}));
}

TEST(PreviewPage, FindsTheBlocksThatChanged) {
    const BodyBlocks before("<p>a</p><p>b</p><p>c</p><p>d</p>");
    auto change = [&](const QString &after) { return compareBlocks(before, BodyBlocks(after)); };
    BlockChange c = change("<p>a</p><p>B</p><p>c</p><p>d</p>");
    EXPECT_EQ(c.prefix, 1);
    EXPECT_EQ(c.removed, 1);
    EXPECT_EQ(c.inserted, 1);
    c = change("<p>a</p><p>b</p><p>c</p><p>d</p>");
    EXPECT_TRUE(c.none());
    c = change("<p>a</p><p>x</p><p>y</p><p>b</p><p>c</p><p>d</p>");
    EXPECT_EQ(c.prefix, 1);
    EXPECT_EQ(c.removed, 0);
    EXPECT_EQ(c.inserted, 2);
    c = change("<p>d</p>");
    EXPECT_EQ(c.prefix, 0);
    EXPECT_EQ(c.removed, 3);
    EXPECT_EQ(c.inserted, 0);
    // Repeated blocks: prefix and suffix never overlap.
    const BodyBlocks repeated("<p>a</p><p>a</p>");
    c = compareBlocks(repeated, BodyBlocks("<p>a</p><p>a</p><p>a</p>"));
    EXPECT_EQ(c.prefix + c.removed + (repeated.count() - c.prefix - c.removed), repeated.count());
    EXPECT_EQ(c.removed, 0);
    EXPECT_EQ(c.inserted, 1);

    EXPECT_EQ(BodyBlocks("<p>a</p><p>b</p><p>c</p>").joinedWithMarkers(1, 2),
              "<p>b</p><!--orvane-block--><p>c</p>");
    EXPECT_EQ(BodyBlocks("<p>a</p>").joinedWithMarkers(0, 0), "");
}

// Inside the range that differs, blocks that agree between two changes are
// kept: applying the runs to the old blocks always gives the new ones.
TEST(PreviewPage, SplitsChangesFarApartIntoRuns) {
    auto blocks = [](std::initializer_list<const char *> names) {
        QString body;
        for (const char *name : names)
            body += QStringLiteral("<p>%1</p>").arg(QLatin1String(name));
        return BodyBlocks(body);
    };
    auto apply = [](const BodyBlocks &before, const BodyBlocks &after, const std::vector<BlockHunk> &hunks) {
        QStringList result;
        for (qsizetype i = 0; i < before.count(); i++)
            result << before.block(i).toString();
        for (auto it = hunks.rbegin(); it != hunks.rend(); ++it) {
            result.remove(it->before, it->removed);
            for (qsizetype k = 0; k < it->inserted; k++)
                result.insert(it->before + k, after.block(it->after + k).toString());
        }
        return result.join(QString());
    };
    const BodyBlocks before = blocks({"a", "b", "c", "d", "e", "f", "g"});
    struct Case {
        BodyBlocks after;
        std::vector<BlockHunk> hunks;
    };
    const Case cases[] = {
        {blocks({"a", "B", "c", "d", "e", "F", "g"}), {{1, 1, 1, 1}, {5, 1, 5, 1}}},
        {blocks({"a", "x", "y", "b", "c", "d", "e", "g"}), {{1, 0, 1, 2}, {5, 1, 7, 0}}},
        {blocks({"a", "b", "c", "d", "e", "f", "g"}), {}},
        {blocks({"a", "b", "C", "d", "e", "f", "g"}), {{2, 1, 2, 1}}},
        {blocks({"z"}), {{0, 7, 0, 1}}},
    };
    for (const Case &c : cases) {
        const std::vector<BlockHunk> hunks = blockHunks(before, c.after);
        EXPECT_EQ(hunks, c.hunks) << c.after.text().toStdString();
        EXPECT_EQ(apply(before, c.after, hunks), c.after.text());
    }
    // Runs longer than the search stop it: the rest is one run, still right.
    QStringList many, changed;
    for (int i = 0; i < 100; i++) {
        many << QStringLiteral("<p>%1</p>").arg(i);
        changed << (i % 3 == 0 ? QStringLiteral("<p>%1</p>").arg(i) : QStringLiteral("<p>new %1</p>").arg(i));
    }
    changed.remove(40, 30);
    const BodyBlocks manyBefore(many.join(QString())), manyAfter(changed.join(QString()));
    const std::vector<BlockHunk> hunks = blockHunks(manyBefore, manyAfter);
    EXPECT_GT(hunks.size(), 1u);
    EXPECT_EQ(apply(manyBefore, manyAfter, hunks), manyAfter.text());
}

// Text of the body goes into the scripts as a string literal that reads back
// exactly, whatever it holds.
TEST(PreviewPage, PutsTheBodyIntoScriptsAsALiteral) {
    const QString body = QString::fromUtf8("<p>\"q\" \\ %1 %2</p>\r\n<p>a\xE2\x80\xA8" "b</p><script>x</script>");
    const QString script = replaceBodyScript(BodyBlocks(body), false);
    EXPECT_TRUE(script.contains(u"\"<p>\\\"q\\\" \\\\ %1 %2<\\/p>\\r\\n<!--orvane-block--><p>a\\u2028b<\\/p>"
                                u"<!--orvane-block--><script>x<\\/script>\""));
    EXPECT_TRUE(script.contains(u"split(body, 3)"));
    const QString patch = patchBlocksScript(BodyBlocks("<p>a</p><p>b</p>"), BodyBlocks("<p>a</p><p>%6</p>"),
                                            {1, 1, 1}, true, "window.scrollTo(0, 5)");
    EXPECT_TRUE(patch.contains(u"replaceRuns([[1,1,1,\"<p>%6<\\/p>\"]], 2, typesetting)"));
    EXPECT_TRUE(patch.contains(u"var typesetting = true;"));
    EXPECT_TRUE(patch.contains(u"try {window.scrollTo(0, 5)} catch (e) {}"));
    EXPECT_EQ(scrollToAnchorScript(120),
              "var target = document.getElementById(\"TZRHTMLSCROLLPOINT\");"
              "window.scrollBy(0,target.getBoundingClientRect().top-(120))");
    EXPECT_TRUE(scrollToAnchorScript(-40).endsWith(u"top-(-40))"));  // a caret above the view
}

TEST(PreviewPage, ReadsThePagesGeometry) {
    const auto geometry = parseGeometry(
        R"({"documentHeight": 2000, "viewHeight": 500, "scrollY": 100, "body": [8, 400, 600, 1200],
            "nodes": [["H1", 400, 40], ["P", 460, 20], ["#comment", 0, 0]]})");
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->body, QRectF(8, 400, 600, 1200));
    ASSERT_EQ(geometry->children.size(), 3u);
    EXPECT_EQ(geometry->children[1].name, "P");
    EXPECT_DOUBLE_EQ(geometry->contentPercentToTotalPercent(0), 0.2);
    EXPECT_DOUBLE_EQ(geometry->contentPercentToTotalPercent(1), 0.8);

    PageGeometry flat = *geometry;
    flat.documentHeight = 0;
    EXPECT_TRUE(std::isnan(flat.contentPercentToTotalPercent(0.5)));
    EXPECT_FALSE(flat.usable());

    EXPECT_FALSE(parseGeometry("null"));
    EXPECT_FALSE(parseGeometry("{\"nodes\": [[\"P\"]]}"));
}

TEST(PreviewPage, DecidesWhereALinkGoes) {
    const QUrl document = QUrl::fromLocalFile("/home/ann/notes/doc.md");
    EXPECT_EQ(decideLink(document, QUrl("file:///home/ann/notes/doc.md#fn:1")), LinkDecision::Follow);
    EXPECT_EQ(decideLink(document, QUrl("file://localhost/home/ann/notes/doc.md#fn:1")), LinkDecision::Follow);
    EXPECT_EQ(decideLink(document, QUrl("file:///home/ann/notes/doc.md")), LinkDecision::Stay);
    // The document's name as a prefix of another file's is another file.
    EXPECT_EQ(decideLink(document, QUrl("file:///home/ann/notes/doc.md.bak")), LinkDecision::OpenOutside);
    EXPECT_EQ(decideLink(document, QUrl("file:///home/ann/notes/other.md")), LinkDecision::OpenOutside);
    EXPECT_EQ(decideLink(document, QUrl("https://example.com/#fn:1")), LinkDecision::OpenOutside);
    EXPECT_EQ(decideLink(document, QUrl("data:text/html,<p>x</p>")), LinkDecision::OpenOutside);

    const QUrl untitled = untitledPreviewUrl();
    EXPECT_EQ(untitled, QUrl::fromLocalFile(QDir::tempPath() + "/orvane.html"));
    EXPECT_EQ(decideLink(untitled, untitled.resolved(QUrl("#top"))), LinkDecision::Follow);
    EXPECT_EQ(decideLink(untitled, untitled.resolved(QUrl("picture.png"))), LinkDecision::OpenOutside);
}

// A long body is cut at the places the writer says its blocks begin, inside
// the body and in order, whatever the document's raw HTML leaves open; HTML
// that comes without them is cut by the nesting of its tags, which keeps
// everything after an open element in one block (and the blank lines before
// the first element with it).
TEST(PreviewPage, CutsTheWritersBlocksWhateverTheRawHtmlLeavesOpen) {
    const QString html = QStringLiteral(
        "<html><head></head><body>\n\n<p>one</p>\n\n<div align=\"center\">\n\n<p>inside an open div</p>\n\n"
        "<!-- a comment\n\n<p>not a block</p> -->\n\n<h2>two</h2>\n</body></html>");
    const TextRange body = *bodyRange(html);
    auto at = [&](const char *text) { return html.indexOf(QLatin1String(text)); };
    const std::vector<qsizetype> written{0, at("\n\n<p>one"), at("\n\n<div"), at("\n\n<p>inside"),
                                         at("\n\n<p>inside") - 1, at("\n\n<!--"), at("</body>")};
    auto blocks = [&](const std::vector<qsizetype> &starts) {
        QStringList list;
        for (size_t i = 0; i < starts.size(); i++)
            list << html.mid(starts[i], (i + 1 < starts.size() ? starts[i + 1] : body.start + body.length) - starts[i]);
        return list.join(u'|').toStdString();
    };
    EXPECT_EQ(blocks(partedBlockStarts(html, body, &written)),
              "\n\n<p>one</p>|\n\n<div align=\"center\">|\n\n<p>inside an open div</p>|"
              "\n\n<!-- a comment\n\n<p>not a block</p> -->\n\n<h2>two</h2>\n");
    EXPECT_EQ(blocks(partedBlockStarts(html, body, nullptr)),
              "\n\n<p>one</p>\n\n|<div align=\"center\">\n\n<p>inside an open div</p>\n\n"
              "<!-- a comment\n\n<p>not a block</p> -->\n\n<h2>two</h2>\n");
    const std::vector<qsizetype> none;
    EXPECT_EQ(partedBlockStarts(html, body, &none), std::vector<qsizetype>{body.start});
    EXPECT_TRUE(partedBlockStarts(html, TextRange{body.start, 0}, &written).empty());
}

namespace {

// A line of emoji and accented letters with no space, `units` long or
// more, varied by `seed`.
QString emojiLine(qsizetype units, unsigned seed) {
    const QString pieces[] = {
        QStringLiteral("👨‍👩‍👧‍👦"), QStringLiteral("👩🏽‍💻"), QStringLiteral("👍🏿"),      QStringLiteral("🇫🇷"),
        QStringLiteral("e\u0301"),     QStringLiteral("👨‍🔬"),   QStringLiteral("🇯🇵"),      QStringLiteral("o\u0308\u0302"),
        QStringLiteral("👋🏼"),        QStringLiteral("👩‍👧"),   QStringLiteral("👨🏻‍🚒"), QStringLiteral("🙌🏾"),
    };
    QString line;
    quint32 state = seed;
    while (line.size() < units) {
        state = state * 1103515245u + 12345u;
        line += pieces[(state >> 16) % 12];
    }
    return line;
}

// Where the breaks stand in `broken`, as offsets into the text without them.
std::vector<qsizetype> breaksOf(const QString &broken) {
    std::vector<qsizetype> places;
    qsizetype removed = 0;
    for (qsizetype at = broken.indexOf(u"<wbr>"); at >= 0; at = broken.indexOf(u"<wbr>", at + 5)) {
        places.push_back(at - removed);
        removed += 5;
    }
    return places;
}

bool isLineBreakOpportunity(const QString &text, qsizetype at) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Line, text);
    finder.setPosition(int(at));
    return finder.isAtBoundary() && (finder.boundaryReasons() & QTextBoundaryFinder::BreakOpportunity);
}

}  // namespace

// A long run of text gets breaks every few thousand units, each where a line
// may break anyway and between whole characters, so that the text reads and
// wraps as it did; an edit moves only the breaks near it (but in text that
// repeats with a short period, which has breaks only every so often, counted
// from where the repetition begins); short runs, tags, raw-text elements,
// comments and character references get none, nor does a long word, which
// has no place to break.
TEST(PreviewPage, PutsBreaksInLongRunsOfTextWhereALineMayBreak) {
    const QString repeated = QString(QStringLiteral("Words of prose, &amp; more. ")).repeated(8000);
    for (const QString &line : {emojiLine(200000, 1), repeated}) {
        const QString html = QStringLiteral("<h1>Title</h1>\n\n<p>") + line + QStringLiteral("</p>\n");
        const QString broken = withBreaksInLongText(html);
        QString restored = broken;
        EXPECT_EQ(restored.remove(QStringLiteral("<wbr>")), html);
        // Places given with the text stand before the same text after.
        std::vector<qsizetype> offsets{0, html.indexOf(u"<p>"), html.indexOf(u"</p>"), html.size()};
        const std::vector<qsizetype> given = offsets;
        EXPECT_EQ(withBreaksInLongText(html, &offsets), broken);
        for (size_t k = 0; k < offsets.size(); k++) {
            EXPECT_EQ(broken.left(offsets[k]).remove(QStringLiteral("<wbr>")), html.left(given[k])) << k;
            EXPECT_FALSE(broken.mid(offsets[k]).startsWith(u"<wbr>")) << k;
        }
        const std::vector<qsizetype> places = breaksOf(broken);
        ASSERT_GE(places.size(), size_t(line.size() / (kLongestUnbroken + 512)));
        qsizetype last = html.indexOf(u"<p>") + 3;
        for (qsizetype place : places) {
            EXPECT_TRUE(isLineBreakOpportunity(html, place)) << place;
            EXPECT_FALSE(html[place].isLowSurrogate() || html[place].isMark() || html[place] == QChar(0x200D));
            const qsizetype reference = html.lastIndexOf(u'&', place - 1);
            EXPECT_TRUE(reference < 0 || place - reference > 8 || html.mid(reference, place - reference).contains(u';'))
                << "inside a reference";
            EXPECT_LE(place - last, kLongestUnbroken + 512);
            last = place;
        }
        if (line == repeated)
            continue;
        // Typed in the middle: the breaks before it stay, those after it
        // move with the text, but for a few near it.
        const qsizetype at = html.size() / 2;
        QString edited = html;
        edited.insert(at, QStringLiteral("typed"));
        const std::vector<qsizetype> after = breaksOf(withBreaksInLongText(edited));
        std::vector<qsizetype> expected;
        for (qsizetype place : places)
            expected.push_back(place <= at ? place : place + 5);
        std::vector<qsizetype> moved;
        std::set_symmetric_difference(expected.begin(), expected.end(), after.begin(), after.end(),
                                      std::back_inserter(moved));
        EXPECT_LE(moved.size(), size_t(6));
        for (qsizetype place : moved)
            EXPECT_LT(std::abs(place - at), 3 * kLongestUnbroken);
    }

    const QString emoji = emojiLine(40000, 2);
    const QString letters = QString(QStringLiteral("abcdefghij")).repeated(4000);
    const QString untouched[] = {
        QStringLiteral("<p>") + emoji.left(kLongText - 100) + QStringLiteral("</p>"),
        QStringLiteral("<p><a href=\"http://example.org/") + emoji + QStringLiteral("\">link</a></p>"),
        QStringLiteral("<script>var s = \"") + emoji + QStringLiteral("\";</script><p>after</p>"),
        QStringLiteral("<style>/* ") + emoji + QStringLiteral(" */</style>"),
        QStringLiteral("<!-- ") + emoji + QStringLiteral(" --><p>after</p>"),
        QStringLiteral("<p>") + QStringLiteral("&amp;").repeated(8000) + QStringLiteral("</p>"),
        QStringLiteral("<pre><code>") + letters + QStringLiteral("</code></pre>"),
    };
    for (const QString &html : untouched)
        EXPECT_EQ(withBreaksInLongText(html), html) << html.left(40).toStdString();
}
