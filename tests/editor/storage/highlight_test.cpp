// Highlighting from the library's parse and themes: what each style does to
// the characters of its tokens, how styles inherit and layer, the view
// colours, and which blocks an edit restyles.
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include "editor/storage/smart_text_storage.h"
#include "editor/editor_test_support.h"

using editortest::LogCapture;
using editortest::writeTheme;

namespace {

QRgb rgb(const char *hex) { return QColor(QString::fromLatin1(hex)).rgba(); }

struct Styled {
    SmartTextStorage storage;
    Styled(const QString &theme, const QString &text) {
        storage.applyThemeFromPath(theme);
        storage.setInitialText(text);
    }
    CharAttrs at(const QString &needle, int offset = 0) const {
        qsizetype i = storage.string().indexOf(needle);
        EXPECT_GE(i, 0) << needle.toStdString();
        return storage.attributesAt(i + offset);
    }
};

}  // namespace

TEST(Highlight, HeadingsInheritFromTheHeadingStyleAndKeepTheirOwnSize) {
    QString theme = writeTheme(QStringLiteral("inherit.theme"), R"({
        "fontName": "DejaVu Sans", "fontSize": 12, "foregroundColor": "#000000",
        "heading": {"foregroundColor": "#CC0000"},
        "heading2": {"fontSize": 20}})");
    Styled s(theme, QStringLiteral("## ATX two\n\nUnderlined two\n---\n\nplain"));
    for (const char *text : {"ATX two", "Underlined two"}) {
        CharAttrs a = s.at(QString::fromLatin1(text));
        EXPECT_EQ(a.foreground, rgb("#CC0000")) << text;
        EXPECT_EQ(a.pointSize, 20) << text;
    }
    EXPECT_EQ(s.at(QStringLiteral("plain")).foreground, rgb("#000000"));
    EXPECT_EQ(s.at(QStringLiteral("plain")).pointSize, 12);
}

TEST(Highlight, LinkTargetsLookLikeTheirTextAndCodeHidesWhatIsInside) {
    Styled s(editortest::themePath(),
             QStringLiteral("A [link text](http://x.org/target) and `code *not emphasis*` and *real*."));
    CharAttrs text = s.at(QStringLiteral("link text"));
    CharAttrs target = s.at(QStringLiteral("target"));
    EXPECT_EQ(text.underline, 1);
    EXPECT_EQ(target.underline, 1);  // the brackets' style reaches the target
    CharAttrs inCode = s.at(QStringLiteral("not emphasis"));
    EXPECT_FALSE(inCode.italic);
    EXPECT_EQ(inCode.family, QStringLiteral("DejaVu Sans Mono"));
    EXPECT_TRUE(s.at(QStringLiteral("real")).italic);
}

TEST(Highlight, AFontStyleReplacesTraitsBeforeAddingItsOwn) {
    // Strong text with a code span inside: the code span's font replaces the
    // bold one, as a font replacement does, instead of merging with it.
    Styled s(editortest::themePath(), QStringLiteral("**bold `code` bold**"));
    EXPECT_TRUE(s.at(QStringLiteral("bold")).bold);
    CharAttrs code = s.at(QStringLiteral("code"));
    EXPECT_FALSE(code.bold);
    EXPECT_EQ(code.family, QStringLiteral("DejaVu Sans Mono"));
}

TEST(Highlight, ScaleAloneScalesTheDefaultFontInItsFamily) {
    QString theme = writeTheme(QStringLiteral("scale.theme"), R"({
        "fontName": "DejaVu Serif", "fontSize": 10, "emphasis": {"fontScale": 1.5}})");
    StoragePreferences p;
    p.defaultFontName = QStringLiteral("DejaVu Sans");
    p.defaultFontSize = 14;
    SmartTextStorage storage(p);
    storage.applyThemeFromPath(theme);
    storage.setInitialText(QStringLiteral("an *emphasised* word"));
    CharAttrs a = storage.attributesAt(storage.string().indexOf(QStringLiteral("emph")));
    EXPECT_EQ(a.family, QStringLiteral("DejaVu Sans"));
    EXPECT_FLOAT_EQ(a.pointSize, 21);
    // The base style's own font applies to the rest.
    EXPECT_EQ(storage.attributesAt(0).family, QStringLiteral("DejaVu Serif"));
}

TEST(Highlight, ParagraphStylesComeFromTheStyleAtTheParagraphStart) {
    QString theme = writeTheme(QStringLiteral("para.theme"), R"({
        "lineHeight": 1.5,
        "blockquote": {"paraSpace": 7},
        "codeBlock": {"leftIndent": 20, "rightIndent": 10, "paraSpaceBefore": 4}})");
    StoragePreferences p;
    p.defaultTextAlignment = 4;
    SmartTextStorage storage(p);
    storage.applyThemeFromPath(theme);
    storage.setInitialText(QStringLiteral("> quoted\n\n    code\n\nplain"));
    QTextDocument *d = storage.document();
    ParaAttrs quote = storage.paragraphAttributes(d->findBlockByNumber(0));
    EXPECT_EQ(quote.headIndent, 0);
    EXPECT_EQ(quote.spacingAfter, 7);
    EXPECT_EQ(quote.alignment, 4);
    EXPECT_EQ(quote.lineHeightMultiple, 1.5f);
    ParaAttrs code = storage.paragraphAttributes(d->findBlockByNumber(2));
    EXPECT_EQ(code.headIndent, 20);
    EXPECT_EQ(code.tailIndent, -10);
    EXPECT_EQ(code.spacingBefore, 4);
    // They reach Qt as block formats.
    QTextBlockFormat format = d->findBlockByNumber(2).blockFormat();
    EXPECT_EQ(format.leftMargin(), 20);
    EXPECT_EQ(format.rightMargin(), 10);
    EXPECT_EQ(format.topMargin(), 4);
    EXPECT_EQ(format.alignment(), Qt::AlignHCenter);
    EXPECT_EQ(format.lineHeight(), 150);
    // And the character styles as layout formats, never as document formats.
    EXPECT_FALSE(d->findBlockByNumber(2).layout()->formats().isEmpty());
    EXPECT_FALSE(d->findBlockByNumber(2).charFormat().hasProperty(QTextFormat::FontFamilies));
}

TEST(Highlight, HardLineBreaksMarkTheirLineFeed) {
    Styled s(editortest::themePath(), QStringLiteral("first line  \nsecond line\nthird"));
    QTextDocument *d = s.storage.document();
    EXPECT_TRUE(s.storage.hasHardBreak(d->findBlockByNumber(0)));
    EXPECT_FALSE(s.storage.hasHardBreak(d->findBlockByNumber(1)));
}

TEST(Highlight, ViewColoursAndTheirUnsetValues) {
    SmartTextStorage storage;
    storage.applyThemeFromPath(editortest::themePath());
    ThemeColors colors = storage.viewColors();
    EXPECT_EQ(colors.background.rgba(), rgb("#FFFFF8"));
    EXPECT_EQ(colors.text.rgba(), rgb("#222222"));
    EXPECT_EQ(colors.caret, QColor(Qt::black));  // its alpha is 0 in the theme
    ASSERT_TRUE(colors.selection.has_value());
    EXPECT_EQ(colors.selection->rgba(), QColor::fromRgba(0x80B4D5FE).rgba());
    EXPECT_FALSE(colors.sidebarBackground.has_value());
}

TEST(Highlight, ATransparentBaseColourLeavesTextVisible) {
    QString theme = writeTheme(QStringLiteral("clear.theme"), R"({
        "foregroundColor": "#00FF0000", "backgroundColor": "#00000000",
        "strong": {"bold": 1}})");
    Styled s(theme, QStringLiteral("some **text**"));
    EXPECT_EQ(s.storage.foregroundColor(), QColor(Qt::black));
    EXPECT_EQ(s.storage.backgroundColor(), QColor(Qt::white));
    EXPECT_EQ(qAlpha(s.at(QStringLiteral("some")).foreground), 255);
    EXPECT_EQ(qAlpha(s.at(QStringLiteral("text")).foreground), 255);
}

TEST(Highlight, AMissingThemeIsLoggedAndLeavesPlainText) {
    LogCapture log;
    SmartTextStorage storage;
    EXPECT_FALSE(storage.applyThemeFromPath(QStringLiteral("/no/such/file.theme")));
    EXPECT_TRUE(log.contains(QStringLiteral("Error loading theme '/no/such/file.theme'")));
    storage.setInitialText(QStringLiteral("# heading"));
    EXPECT_TRUE(storage.document()->firstBlock().layout()->formats().isEmpty());
    EXPECT_EQ(storage.viewColors().background, QColor(Qt::white));
    EXPECT_EQ(storage.viewColors().text, QColor(Qt::black));
}

TEST(Highlight, ZoomScalesFontsAndMetricsButNotTheAttributes) {
    Styled s(editortest::themePath(), QStringLiteral("# Title\n\n    code"));
    QTextDocument *d = s.storage.document();
    const qreal size = d->firstBlock().layout()->formats().first().format.fontPointSize();
    s.storage.setZoomFactor(2.0);
    EXPECT_DOUBLE_EQ(d->firstBlock().layout()->formats().first().format.fontPointSize(), size * 2);
    EXPECT_EQ(d->findBlockByNumber(2).blockFormat().leftMargin(), 40);
    EXPECT_FLOAT_EQ(s.storage.attributesAt(2).pointSize, float(size));
}

// Which blocks an edit restyles: its neighbourhood, or everything after it
// when it changes where code fences begin and end.
class RestyleRange : public testing::Test {
protected:
    void SetUp() override {
        QString text;
        for (int i = 0; i < 40; i++)
            text += QStringLiteral("Paragraph %1 with *some* words.\n\n").arg(i);
        text += QStringLiteral("```\nfenced code\n```\n\n");
        for (int i = 0; i < 40; i++)
            text += QStringLiteral("After %1 with `code`.\n\n").arg(i);
        storage.applyThemeFromPath(editortest::themePath());
        storage.setInitialText(text);
        QObject::connect(&storage, &SmartTextStorage::restyled,
                         [this](CharRange range) { last = range; });
    }
    SmartTextStorage storage;
    CharRange last;
};

TEST_F(RestyleRange, TypingInAParagraphRestylesItsNeighbourhood) {
    qsizetype at = storage.string().indexOf(QStringLiteral("Paragraph 20")) + 5;
    storage.replaceCharactersInRange({at, 0}, QStringLiteral("x"));
    EXPECT_LT(last.length, 200);
    EXPECT_LE(last.location, at);
    EXPECT_GE(last.end(), at);
}

TEST_F(RestyleRange, DeletingAWholeBlockRestylesTheBlocksAroundIt) {
    qsizetype at = storage.string().indexOf(QStringLiteral("Paragraph 10"));
    qsizetype end = storage.string().indexOf(QStringLiteral("Paragraph 11"));
    storage.replaceCharactersInRange({at, end - at}, QString());
    EXPECT_LT(last.location, at - 10);
    EXPECT_GT(last.end(), at + 10);
}

TEST_F(RestyleRange, TypingInsideAFenceRestylesOnlyAroundTheFence) {
    qsizetype at = storage.string().indexOf(QStringLiteral("fenced code")) + 6;
    storage.replaceCharactersInRange({at, 0}, QStringLiteral("x"));
    EXPECT_LT(last.length, 300);
}

TEST_F(RestyleRange, OpeningAFenceRestylesEverythingAfterIt) {
    qsizetype at = storage.string().indexOf(QStringLiteral("Paragraph 30"));
    storage.replaceCharactersInRange({at, 0}, QStringLiteral("```\n"));
    EXPECT_EQ(last.end(), storage.length());
    // Everything down to the old opening fence is code now, and the old
    // closing fence opens a block that runs to the end.
    CharAttrs attrs = storage.attributesAt(storage.string().indexOf(QStringLiteral("Paragraph 35")));
    EXPECT_EQ(attrs.family, QStringLiteral("DejaVu Sans Mono"));
    attrs = storage.attributesAt(storage.string().indexOf(QStringLiteral("After 30")));
    EXPECT_EQ(attrs.family, QStringLiteral("DejaVu Sans Mono"));
    storage.undo();
    attrs = storage.attributesAt(storage.string().indexOf(QStringLiteral("After 30")));
    EXPECT_EQ(attrs.family, QStringLiteral("DejaVu Sans"));
}
