// What the bridge answers outside its cycles: exports with their head
// additions, tags, and the scroll anchor's place in a parse.
#include "window/bridge/engine_bridge_support.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "library/engine.h"
#include "library/export.h"

TEST_F(BridgeTest, HtmlExportsGetTheStyleSheetAndScriptsInTheirHeadLoadedOverHttpsOnly) {
    QTemporaryDir folder;
    editor.cssPath = folder.filePath("preview.css");
    QFile css(editor.cssPath);
    ASSERT_TRUE(css.open(QIODevice::WriteOnly) && css.write("p { color: red; }") > 0);
    css.close();
    makeBridge();
    editor.text = "Title: Doc\n\nText {++new++}.\n";
    EXPECT_FALSE(bridge->exportToFormat(0).contains("<style"));  // nothing asked for

    for (const char *key : {"exportPreviewCSS", "addMathJax", "addSyntaxHighlighting", "EXT_CRITIC_ACCEPT"})
        defaults.setBool(true, key);
    const QString html = QString::fromUtf8(bridge->exportToFormat(0));
    EXPECT_TRUE(html.contains("Text new."));  // prepared as the preview is
    const QString head = html.mid(html.indexOf("<style"));
    EXPECT_TRUE(head.startsWith("<style type=\"text/css\">p { color: red; }</style>\n<script type=\"text/javascript\" src=\""))
        << html.toStdString();
    EXPECT_TRUE(head.contains("/ajax/libs/mathjax/2.7.2/MathJax.js?config=TeX-AMS-MML_HTMLorMML\"></script>\n"
                              "<link rel=\"stylesheet\" href=\""));
    EXPECT_TRUE(head.contains("/ajax/libs/highlight.js/9.12.0/highlight.min.js\"></script>\n"
                              "<script>hljs.initHighlightingOnLoad();</script>\n</head>"));
    int addresses = 0;
    for (const auto &match : QRegularExpression("(?:src|href)=\"([^\"]*)\"").globalMatch(html)) {
        EXPECT_TRUE(match.captured(1).startsWith("https://")) << match.captured(1).toStdString();
        addresses++;
    }
    EXPECT_EQ(addresses, 3);

    // A snippet has no head: the additions open it. Other formats get none.
    editor.text = "Just text.\n";
    EXPECT_TRUE(bridge->exportToFormat(0).startsWith("<style type=\"text/css\">"));
    const QByteArray latex = bridge->exportToFormat(2);
    EXPECT_TRUE(latex.contains("Just text.") && !latex.contains("<script"));
}

TEST_F(BridgeTest, TagsAreSplitAtCommasWithoutBracketsOrLoneDashes) {
    auto tags = [](const char *metadata) { return TZREngine::tzrTagsFromString(QString::fromUtf8(metadata) + "\n\nBody.\n"); };
    // A line end parts tags as a comma does, whether the line is indented
    // or not, and a list of (indented) lines each led by "-" gives one tag
    // a line.
    EXPECT_EQ(tags("Tags: a, b\n      c"), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(tags("Tags: a, b\nc"), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(tags("Tags:\n    - a\n    - b"), (QStringList{"a", "b"}));
    EXPECT_EQ(tags("Tags:\n\t- two words\n\t- b\nTitle: T"), (QStringList{"two words", "b"}));
    EXPECT_EQ(tags("Title: T\nTags:\ta,\tb\n---"), (QStringList{"a", "b"}));
    EXPECT_EQ(tags("Tags: [x, y]"), (QStringList{"x", "y"}));
    EXPECT_EQ(tags("Tags: one - two, naïve ,,three"), (QStringList{"one two", "naïve", "three"}));
    EXPECT_FALSE(tags("Title: none").has_value());
    EXPECT_FALSE(tags("Tags:").has_value());

    // From the live engine: none before the first cycle, then the text's.
    editor.setText("Tags: early\n\nText.\n");
    makeBridge();
    EXPECT_FALSE(bridge->tzrTags().has_value());
    bridge->enableUpdating();
    ASSERT_TRUE(settle());
    EXPECT_EQ(bridge->tzrTags(), QStringList{"early"});
    editAndSettle(6, 5, "late");
    EXPECT_EQ(bridge->tzrTags(), QStringList{"late"});
    editAndSettle(editor.text.size(), 0, "More.\n");  // a cycle after the question
    EXPECT_EQ(withoutAnchor(lastHtml()), rendered(editor.text.toUtf8()));
}

namespace {

// `html` with the anchor for a caret at `caret` shown as "|".
QString anchoredAt(tzr_engine *e, const DString *html, std::optional<size_t> caret) {
    DString *copy = d_string_new(html->str);
    insertScrollAnchor(copy, htmlOffsetForTextCharOffset(e, caret));
    const QString result = QString::fromUtf8(copy->str).replace(QString::fromUtf8(kScrollAnchor), "|");
    d_string_free(copy, true);
    return result;
}

}  // namespace

TEST(ScrollAnchor, GoesAfterTheInnermostTokenBeforeTheCaretCountedInUtf16Units) {
    const char *text = "Hello *there* world.\n\n\n\n> Quoted é😀 *deep* text.\n";
    tzr_engine *e = tzr_engine_create_with_string(text, TZR_EXT_NOTES);
    tzr_engine_parse_string(e);
    DString *html = d_string_new("");
    tzr_export_document(html, e, 0);
    auto at = [&](std::optional<size_t> caret) { return anchoredAt(e, html, caret); };
    const QString units = QString::fromUtf8(text);
    EXPECT_TRUE(at(0).startsWith("<p>Hello |<em>")) << at(0).toStdString();
    EXPECT_TRUE(at(units.indexOf("here")).contains("<em>there|</em>"));
    // Blank lines step back to the block before them.
    EXPECT_TRUE(at(units.indexOf("\n\n\n") + 2).contains("world.|</p>"));
    // The emoji counts two units, the accent one.
    EXPECT_TRUE(at(units.indexOf("eep")).contains("<em>deep|</em>")) << at(units.indexOf("eep")).toStdString();
    EXPECT_TRUE(at(10000).contains("text.|</p>"));
    EXPECT_FALSE(at(std::nullopt).contains("|"));
    tzr_engine_reset(e);  // no parse: the anchor closes the HTML
    EXPECT_TRUE(at(2).endsWith("</blockquote>|"));
    tzr_engine_free(e, true);
    d_string_free(html, true);
}

// Text the writer prints as it stands (code, rules, raw HTML, the metadata,
// a note's label) has no place of its own in the HTML: a caret in it, or past
// a last block made of it, gets the anchor after the block that holds it, in
// the body, never at the start of the page.
TEST(ScrollAnchor, StandsAfterTheBlockForACaretInTextWrittenAsItStands) {
    struct Case {
        const char *text;
        const char *caretBefore;  // the caret stands before this text; the end when null
        const char *expected;     // what the HTML holds around the anchor
    };
    const Case cases[] = {
        {"First.\n\n```\ncode\n```\n", nullptr, "</code></pre>|"},
        {"First.\n\n```\ncode\n```\n\n\n", nullptr, "</code></pre>|"},
        {"First.\n\n    indented\n", nullptr, "</code></pre>|"},
        {"First.\n\n---\n", nullptr, "<hr />|"},
        {"First.\n\n<div>\nraw\n</div>\n", nullptr, "</div>\n|"},
        {"First.\n\n```\ncode\n```\n\nLast.\n", "de\n```", "</code></pre>|"},
        {"First with `some code` in it.\n", "code`", "<code>some code</code>|"},
        {"First with a note[^n] in it.\n\n[^n]: The note.\n", "n] in", "<sup>1</sup></a>| in it."},
        {"Title: Doc\n\nFirst.\n\n```\ncode\n```\n", nullptr, "</code></pre>|"},
        {"Title: Doc\n\nFirst.\n", "Doc", "<body>\n\n|<p>First."},
        {"Title: Doc\n", nullptr, "<body>\n\n|"},
    };
    for (const Case &c : cases) {
        tzr_engine *e = tzr_engine_create_with_string(c.text, TZR_EXT_NOTES);
        tzr_engine_parse_string(e);
        DString *html = d_string_new("");
        tzr_export_document(html, e, 0);
        const QString units = QString::fromUtf8(c.text);
        const qsizetype caret = c.caretBefore ? units.indexOf(QString::fromUtf8(c.caretBefore)) : units.size();
        ASSERT_GE(caret, 0) << c.text;
        const QString result = anchoredAt(e, html, size_t(caret));
        EXPECT_TRUE(result.contains(QString::fromUtf8(c.expected))) << c.text << "\n" << result.toStdString();
        EXPECT_EQ(result.count(u'|'), 1 + QString::fromUtf8(html->str).count(u'|')) << c.text;
        d_string_free(html, true);
        tzr_engine_free(e, true);
    }
}
