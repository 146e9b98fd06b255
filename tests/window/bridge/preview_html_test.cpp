// What the bridge hands the preview: the HTML with the places where the
// writer began each top-level block, decoded in one pass.
#include "support/preview_render.h"
#include "window/bridge/preview_html.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The blocks of `published`, each trimmed of the blank lines before it.
QStringList blocksOf(const PreviewHtml &published) {
    QStringList blocks;
    if (!published.blockStarts)
        return blocks;
    const std::vector<qsizetype> &starts = *published.blockStarts;
    for (size_t i = 0; i < starts.size(); i++) {
        const qsizetype end = i + 1 < starts.size() ? starts[i + 1] : published.html.indexOf(u"</body>", starts[i]);
        blocks << published.html.mid(starts[i], end - starts[i]).trimmed();
    }
    return blocks;
}

}  // namespace

// Each block the writer began at the top is one, whatever it nests or what
// raw HTML leaves open: a table's head and body, a quote's paragraphs and the
// lists inside a list stay inside their block, two lists of definitions the
// writer joins in one element are one block, a div the document leaves open
// does not take the blocks after it, and the notes come last, as one block.
TEST(PreviewHtml, FindsTheBlocksTheWriterBeganAtTheTop) {
    const QString text = QStringLiteral(
        "# Title\n\n| a | b |\n|---|---|\n| 1 | 2 |\n| 3 | 4 |\n\n> Quoted one.\n>\n> Quoted two.\n\n"
        "* item\n\n    * inner\n\n* item two\n\nTerm\n: Definition\n\nOther term\n: Other definition\n\n"
        "<div class=\"open\">\n\nAfter the open div, with a note[^n].\n\n```\ncode\n\n<p>in code</p>\n```\n\n"
        "[^n]: The note.\n\n    Its second paragraph.\n");
    const PreviewHtml published = renderedForPreview(text);
    const QStringList blocks = blocksOf(published);
    QStringList heads;
    for (const QString &block : blocks)
        heads << block.left(block.indexOf(u'>') + 1);
    EXPECT_EQ(heads.join(u' ').toStdString(),
              "<h1 id=\"title\"> <table> <blockquote> <ul> <dl> <div class=\"open\"> <p> <pre> "
              "<div class=\"footnotes\">");
    EXPECT_TRUE(blocks[1].endsWith(u"</table>"));
    EXPECT_TRUE(blocks[2].endsWith(u"</blockquote>"));
    EXPECT_EQ(blocks[4].count(u"<dt>"), 2);
    EXPECT_TRUE(blocks[8].endsWith(u"</div>"));
    // The blocks and the blank lines between them are the body's text.
    const qsizetype body = published.html.indexOf(u"<body>") + 6;
    EXPECT_EQ(published.html.mid(body, published.blockStarts->front() - body).trimmed(), QString());
    EXPECT_FALSE(renderedForPreview(QString()).html.isEmpty());
}

// The caret's anchor goes into the block of the caret's text, and the
// blocks after it begin after it; the text is decoded whole, characters
// beyond ASCII and before the blocks included.
TEST(PreviewHtml, TheAnchorStaysInTheCaretsBlock) {
    const QString text = QStringLiteral("# Tïtle 🙂\n\nFirst paragraph é.\n\nSecond paragraph.\n\nThird.\n");
    for (const QString &after : {QStringLiteral("First paragraph"), QStringLiteral("Third.")}) {
        const qsizetype caret = text.indexOf(after) + after.size();
        const PreviewHtml published = renderedForPreview(text, caret);
        const QStringList blocks = blocksOf(published);
        ASSERT_EQ(blocks.size(), 4) << blocks.join(u'|').toStdString();
        for (const QString &block : blocks)
            EXPECT_EQ(block.contains(u"TZRHTMLSCROLLPOINT"), block.contains(after)) << block.toStdString();
        QString without = published.html;
        EXPECT_EQ(without.remove(QString::fromUtf8(kScrollAnchor)), renderedForPreview(text).html);
    }
    EXPECT_TRUE(renderedForPreview(text).html.contains(u"Tïtle 🙂"));
}

// One pass decodes as fromUtf8 does, and each offset lands where the text
// before it ends: multi-byte characters, byte-order marks where a piece
// begins, and bytes that are no UTF-8 (which come out as fromUtf8 makes
// them, only the places moved).
TEST(PreviewHtml, DecodesInOnePassAsFromUtf8Does) {
    std::mt19937 random(17);
    const QByteArray pieces[] = {"<p>", "a", "\n\n", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x99\x82",
                                 "\xEF\xBB\xBF", "\xFF", "\xC3", "\xE2\x82", "\xF0\x9F", "\x80"};
    for (int round = 0; round < 400; round++) {
        const bool valid = round % 2 == 0;
        QByteArray bytes;
        std::vector<size_t> offsets;
        const int count = int(random() % 60);
        for (int k = 0; k < count; k++) {
            const QByteArray &piece = pieces[random() % (valid ? 7 : 12)];
            // Places stand before ASCII, where the writer begins a block.
            if (random() % 4 == 0 && (piece == "<p>" || piece == "\n\n"))
                offsets.push_back(size_t(bytes.size()));
            bytes += piece;
        }
        std::vector<size_t> places = offsets;
        const QString decoded = decodeWithOffsets(bytes.constData(), size_t(bytes.size()), places);
        if (valid) {
            ASSERT_EQ(decoded, QString::fromUtf8(bytes)) << bytes.toHex().toStdString();
            for (size_t k = 0; k < offsets.size(); k++)
                EXPECT_EQ(qsizetype(places[k]), QString::fromUtf8(bytes.left(qsizetype(offsets[k]))).size());
        } else {
            // Whatever the bytes, each piece is decoded by itself, and the
            // places are in order within the text.
            for (size_t k = 0; k < places.size(); k++) {
                EXPECT_LE(qsizetype(places[k]), decoded.size());
                if (k > 0) {
                    EXPECT_LE(places[k - 1], places[k]);
                }
            }
            EXPECT_EQ(decoded.count(u'<'), bytes.count('<'));
        }
    }
    // Places past the end, or out of order, are brought into it.
    std::vector<size_t> wild{5, 2, 100};
    EXPECT_EQ(decodeWithOffsets("abc", 3, wild), "abc");
    EXPECT_EQ(wild, (std::vector<size_t>{3, 3, 3}));
}
