// What the bridge answers outside its cycles: exports with their head
// additions, tags, and the scroll anchor's place in a parse.
#include "engine_bridge_support.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "engine.h"
#include "export.h"
#include "support/qt_print.h"
#include "tzr.h"

TEST_F(BridgeTest, HtmlExportsGetTheStyleSheetAndScriptsInTheirHeadFromHttpsOnly) {
    QTemporaryDir folder;
    editor.cssPath = folder.filePath("preview.css");
    QFile css(editor.cssPath);
    ASSERT_TRUE(css.open(QIODevice::WriteOnly));
    css.write("body { color: #123456; }");
    css.close();
    makeBridge();

    editor.text = "Title: Doc\n\nText.\n";
    EXPECT_FALSE(bridge->exportToFormat(0).contains("<style"));  // nothing asked for

    defaults.setBool(true, "exportPreviewCSS");
    defaults.setBool(true, "addMathJax");
    defaults.setBool(true, "addSyntaxHighlighting");
    const QString html = QString::fromUtf8(bridge->exportToFormat(0));
    const qsizetype head = html.indexOf("</head>");
    ASSERT_GT(head, 0);
    const QString insertion = html.mid(html.indexOf("<style type=\"text/css\">"));
    EXPECT_TRUE(insertion.startsWith("<style type=\"text/css\">body { color: #123456; }</style>\n"
                                     "<script type=\"text/javascript\" src=\""))
        << html.toStdString();
    EXPECT_TRUE(insertion.contains("/ajax/libs/mathjax/2.7.2/MathJax.js?config=TeX-AMS-MML_HTMLorMML\"></script>\n"
                                   "<link rel=\"stylesheet\" href=\""));
    EXPECT_TRUE(insertion.contains("/ajax/libs/highlight.js/9.12.0/highlight.min.js\"></script>\n"
                                   "<script>hljs.initHighlightingOnLoad();</script>\n</head>"));
    // Every address the export loads from is https.
    const QRegularExpression address("(?:src|href)=\"([^\"]*)\"");
    int addresses = 0;
    for (const auto &match : address.globalMatch(html)) {
        EXPECT_TRUE(match.captured(1).startsWith("https://")) << match.captured(1).toStdString();
        addresses++;
    }
    EXPECT_EQ(addresses, 3);

    // A snippet has no head: the additions open the text.
    editor.text = "Just text.\n";
    const QByteArray snippet = bridge->exportToFormat(0);
    EXPECT_TRUE(snippet.startsWith("<style type=\"text/css\">")) << snippet.constData();
    EXPECT_TRUE(snippet.endsWith("<p>Just text.</p>\n")) << snippet.constData();

    // Other formats get none of it.
    const QByteArray latex = bridge->exportToFormat(2);
    EXPECT_FALSE(latex.contains("<script"));
    EXPECT_TRUE(latex.contains("Just text."));
}

TEST_F(BridgeTest, ExportsArePreparedLikeThePreviewWithoutTouchingTheLiveEngine) {
    QTemporaryDir folder;
    QFile part(folder.filePath("part.md"));
    ASSERT_TRUE(part.open(QIODevice::WriteOnly));
    part.write("Transcluded.\n");
    part.close();
    defaults.setBool(true, "EXT_TRANSCLUDE");
    defaults.setBool(true, "EXT_CRITIC_REJECT");
    start("Title: T\ntzrheader: Head text\n\n{{part.md}} {++gone++}kept\n");
    const QString preview = bridge->htmlString().get();
    bridge->setTransclusionFolder(folder.path());
    bridge->setTransclusionFile(folder.filePath("doc.md"));
    const QString html = QString::fromUtf8(bridge->exportToFormat(0));
    EXPECT_TRUE(html.contains("Head text"));
    EXPECT_TRUE(html.contains("Transcluded."));
    EXPECT_FALSE(html.contains("gone"));
    EXPECT_TRUE(html.contains("kept"));
    // The source format is the text as the export prepared it.
    EXPECT_TRUE(QString::fromUtf8(bridge->exportToFormat(9)).contains("Transcluded."));
    EXPECT_EQ(bridge->htmlString().get(), preview);
    EXPECT_EQ(bridge->completedCycles(), 2u);
}

TEST(BridgeTags, TagsAreSplitAtCommasAndLinesWithoutBracketsOrLoneDashes) {
    platform::ScopedStandardDefaults scoped;
    auto tags = [](const char *metadata) {
        return TZREngine::tzrTagsFromString(QString::fromUtf8(metadata) + "\n\nBody.\n");
    };
    // The library joins the lines of a value with a space.
    EXPECT_EQ(tags("Tags: a, b\n      c"), (QStringList{"a", "b c"}));
    EXPECT_EQ(tags("Tags: a,, b, -, c"), (QStringList{"a", "b", "-", "c"}));
    EXPECT_EQ(tags("Tags: [x, y]"), (QStringList{"x", "y"}));
    EXPECT_EQ(tags("Tags: one - two, three"), (QStringList{"one two", "three"}));
    EXPECT_EQ(tags("Tags: naïve tag ,other"), (QStringList{"naïve tag", "other"}));
    EXPECT_FALSE(tags("Title: none").has_value());
    EXPECT_FALSE(tags("Tags:").has_value());
    EXPECT_FALSE(TZREngine::tzrTagsFromString("").has_value());
}

TEST_F(BridgeTest, TagsAreReadFromTheLiveEngineBeforeAndBetweenCycles) {
    editor.setText("Tags: early\n\nText.\n");
    makeBridge();
    // Before the first cycle the engine holds no text yet.
    EXPECT_FALSE(bridge->tzrTags().has_value());
    bridge->enableUpdating();
    ASSERT_TRUE(settle());
    EXPECT_EQ(bridge->tzrTags(), QStringList{"early"});
    editAndSettle(6, 5, "late");
    EXPECT_EQ(bridge->tzrTags(), QStringList{"late"});
    // Asking between cycles leaves the next cycle as it would have been.
    editAndSettle(editor.text.size(), 0, "More.\n");
    EXPECT_TRUE(lastHtml().contains("More."));
}

namespace {

// The anchor offset for a caret in a parsed and exported text, and the HTML.
struct Anchored {
    tzr_engine *e;
    DString *html = d_string_new("");
    explicit Anchored(const char *text) : e(tzr_engine_create_with_string(text, TZR_EXT_NOTES)) {
        tzr_engine_parse_string(e);
        tzr_export_document(html, e, 0);
    }
    ~Anchored() {
        tzr_engine_free(e, true);
        d_string_free(html, true);
    }
    QString at(std::optional<size_t> caret) {
        DString *copy = d_string_new(html->str);
        insertScrollAnchor(copy, htmlOffsetForTextCharOffset(e, caret));
        QString result = QString::fromUtf8(copy->str);
        d_string_free(copy, true);
        return result.replace(QString::fromUtf8(kScrollAnchor), "|");
    }
};

}  // namespace

TEST(ScrollAnchor, GoesAfterTheInnermostTokenBeforeTheCaret) {
    const char *text = "Hello *there* world.\n\n\n\n> Quoted *deep* text.\n";
    const QString units = QString::fromUtf8(text);
    Anchored doc(text);
    // At the start: after the HTML of the token holding the first byte.
    EXPECT_TRUE(doc.at(0).startsWith("<p>Hello |<em>")) << doc.at(0).toStdString();
    EXPECT_TRUE(doc.at(units.indexOf("here")).contains("<em>there|</em>"));
    // Blank lines step back to the block before them.
    EXPECT_TRUE(doc.at(units.indexOf("\n\n\n") + 2).contains("world.|</p>"))
        << doc.at(units.indexOf("\n\n\n") + 2).toStdString();
    EXPECT_TRUE(doc.at(units.indexOf("eep")).contains("<em>deep|</em>"));
    EXPECT_TRUE(doc.at(units.indexOf("*deep")).contains("Quoted |<em>"));
    // Past the end: the last token.
    EXPECT_TRUE(doc.at(10000).contains("text.|</p>")) << doc.at(10000).toStdString();
    // No caret: no anchor.
    EXPECT_FALSE(doc.at(std::nullopt).contains("|"));
    // No parse: the anchor closes the HTML.
    tzr_engine *bare = tzr_engine_create_with_string("Text", 0);
    EXPECT_EQ(htmlOffsetForTextCharOffset(bare, 2), size_t(-1));
    EXPECT_EQ(htmlOffsetForTextCharOffset(nullptr, 2), size_t(-1));
    tzr_engine_free(bare, true);
    DString *html = d_string_new("<p>x</p>");
    insertScrollAnchor(html, size_t(-1));
    EXPECT_TRUE(QByteArray(html->str).endsWith(QByteArray("</p>") + kScrollAnchor));
    d_string_free(html, true);
}

TEST(ScrollAnchor, CountsTheCaretInUtf16Units) {
    // "é" is one unit in two bytes, the emoji two units in four bytes: the
    // "x" is unit 5 and byte 8.
    Anchored doc("é😀 *x* y\n");
    EXPECT_TRUE(doc.at(6).contains("<em>x|</em>")) << doc.at(6).toStdString();
    EXPECT_TRUE(doc.at(4).contains("é😀 |<em>")) << doc.at(4).toStdString();
}
