// Highlighting from the library's parse and themes: what each style does to
// the characters of its tokens, how styles inherit and layer, the view
// colours, and which blocks an edit restyles.
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include "editor/editor_test_support.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/lazy_document_layout.h"
#include "support/log_capture.h"
#include "support/qt_wait.h"

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

// A large text is styled from its start, the rest in idle slices; once done
// (and with edits made in between, before and inside the text still
// waiting) every block looks as a whole restyle of the final text makes it.
namespace {

QString largeText() {
    QString text = QStringLiteral("title: A long one\n\n");
    int section = 0;
    while (text.size() < SmartTextStorage::kStyleAheadBytes * 2) {
        section++;
        text += QStringLiteral("## Section %1\n\nA paragraph with *emphasis*, **strength** and `code`,\n"
                               "lazy on a second line [with a link](http://x.org/%1).\n\n")
                    .arg(section);
        text += QStringLiteral("- one\n- two *and* more\n\n    indented code\n\n> quoted **bold**\n\n");
        if (section % 150 == 0) {
            // A fence longer than what is parsed at a time.
            text += QStringLiteral("```\n");
            for (int line = 0; line < 2000; line++)
                text += QStringLiteral("# not a heading *not emphasis* %1\n").arg(line);
            text += QStringLiteral("```\n\n");
        }
    }
    return text;
}

std::vector<QList<AttributeRun>> runsOf(const SmartTextStorage &storage) {
    std::vector<QList<AttributeRun>> all;
    for (QTextBlock block = storage.document()->firstBlock(); block.isValid(); block = block.next())
        all.push_back(storage.runs(block));
    return all;
}

void expectSameStyles(const SmartTextStorage &styled, const QString &theme) {
    SmartTextStorage whole;
    whole.applyThemeFromPath(theme);
    whole.setInitialText(styled.string());
    whole.finishStylingAhead();
    EXPECT_FALSE(whole.isStylingAhead());
    ASSERT_EQ(whole.string(), styled.string());
    const auto expected = runsOf(whole), actual = runsOf(styled);
    ASSERT_EQ(expected.size(), actual.size());
    size_t differing = 0;
    for (size_t i = 0; i < expected.size(); i++)
        if (expected[i] != actual[i] && differing++ < 3)
            ADD_FAILURE() << "block " << i << " differs";
}

}  // namespace

TEST(Highlight, ALargeTextIsStyledFromItsStartAndTheRestWhileIdle) {
    const QString theme = editortest::themePath();
    const QString text = largeText();
    {
        SmartTextStorage storage;
        storage.applyThemeFromPath(theme);
        storage.replaceCharactersInRange({0, 0}, text);
        ASSERT_TRUE(storage.isStylingAhead());
        EXPECT_TRUE(storage.attributesAt(storage.string().indexOf("emphasis")).italic);
        // The end waits.
        const qsizetype last = storage.string().lastIndexOf("strength");
        EXPECT_FALSE(storage.attributesAt(last).bold);
        ASSERT_TRUE(testing_qt::spinUntil([&] { return !storage.isStylingAhead(); }, std::chrono::seconds(60)));
        EXPECT_TRUE(storage.attributesAt(last).bold);
        expectSameStyles(storage, theme);
    }
    {
        // Edits while it waits: one in the styled part that opens a fence,
        // one far in the waiting part, one that closes the fence again.
        SmartTextStorage storage;
        storage.applyThemeFromPath(theme);
        storage.setInitialText(text);
        ASSERT_TRUE(storage.isStylingAhead());
        storage.replaceCharactersInRange({storage.length() - 40, 0}, QStringLiteral("*typed far*"));
        storage.replaceCharactersInRange({storage.string().indexOf("## Section 3"), 0}, QStringLiteral("```\n"));
        storage.replaceCharactersInRange({storage.string().indexOf("## Section 5"), 0}, QStringLiteral("```\n"));
        storage.replaceCharactersInRange({storage.string().indexOf("- one"), 5}, QStringLiteral("* uno"));
        storage.finishStylingAhead();
        EXPECT_FALSE(storage.isStylingAhead());
        expectSameStyles(storage, theme);
    }
    {
        // Typing into a text styled whole is quiet: every keystroke's parse
        // gives a tree, so nothing is reported as failed.
        testing_qt::LogCapture log;
        SmartTextStorage storage;
        storage.applyThemeFromPath(theme);
        storage.setInitialText(QStringLiteral("# Title\n\nSome *text*.\n"));
        storage.replaceCharactersInRange({9, 0}, QStringLiteral("More "));
        EXPECT_FALSE(storage.isStylingAhead());
        EXPECT_FALSE(log.contains(QStringLiteral("highlighting parse gave no tree"))) << log.messages().join('\n').toStdString();
        expectSameStyles(storage, theme);
    }
}

// Such a text goes into the displayed document from its start as well: the
// document holds whole lines of the text's start at once, and the rest goes
// in with the slices that style it. Only the document waits: the text, its
// counts and its one change report are whole at once, and laying in is no
// change of the text. An edit or undo meanwhile lays in all of it first and
// acts on the whole text; a whole restyle keeps it going.
TEST(Highlight, ALargeTextGoesIntoTheDocumentFromItsStartAndTheRestAsItIsStyled) {
    const QString theme = editortest::themePath();
    // Characters of two bytes and of two units, and carriage returns, so
    // that bytes, units and the shown text differ.
    const QString text = largeText().replace(QStringLiteral("more\n"), QStringLiteral("m\u00f6re \U0001F600\r\n"));
    {
        SmartTextStorage storage;
        storage.applyThemeFromPath(theme);
        QList<TextChange> changes;
        QObject::connect(&storage, &SmartTextStorage::textChanged,
                         [&](const TextChange &change) { changes.append(change); });
        storage.setInitialText(text);
        ASSERT_TRUE(storage.isLayingIn());
        EXPECT_EQ(storage.string(), text);
        EXPECT_EQ(storage.length(), text.size());
        const QString shown = editortest::expectedShown(storage);
        const qsizetype laid = storage.laidInLength();
        EXPECT_GE(laid, SmartTextStorage::kStyleAheadStretch);
        EXPECT_LT(laid, text.size() / 2);
        EXPECT_EQ(storage.document()->characterCount() - 1, laid);
        EXPECT_EQ(editortest::shownText(storage), shown.left(laid));
        EXPECT_EQ(shown.at(laid - 1), QLatin1Char('\n'));
        EXPECT_TRUE(storage.attributesAt(storage.string().indexOf("emphasis")).italic);
        ASSERT_EQ(changes.size(), 1);
        EXPECT_EQ(changes[0].insertedLength, text.size());
        const quint64 generation = storage.editGeneration();

        ASSERT_TRUE(testing_qt::spinUntil([&] { return !storage.isStylingAhead(); }, std::chrono::seconds(60)));
        EXPECT_FALSE(storage.isLayingIn());
        EXPECT_EQ(storage.laidInLength(), storage.length());
        EXPECT_EQ(editortest::shownText(storage), shown);
        EXPECT_EQ(changes.size(), 1);
        EXPECT_EQ(storage.editGeneration(), generation);
        expectSameStyles(storage, theme);
    }
    {
        // Typing far into the text that is not in yet, then undoing it.
        SmartTextStorage storage;
        storage.applyThemeFromPath(theme);
        storage.setInitialText(text);
        ASSERT_TRUE(storage.isLayingIn());
        const qsizetype far = storage.length() - 40;
        storage.replaceCharactersInRange({far, 0}, QStringLiteral("*typed far*"));
        EXPECT_FALSE(storage.isLayingIn());
        EXPECT_EQ(storage.string(), QString(text).insert(far, QStringLiteral("*typed far*")));
        EXPECT_EQ(editortest::shownText(storage), editortest::expectedShown(storage));
        EXPECT_TRUE(storage.isStylingAhead());
        ASSERT_TRUE(storage.undo());
        EXPECT_EQ(storage.string(), text);
        EXPECT_EQ(editortest::shownText(storage), editortest::expectedShown(storage));
        storage.finishStylingAhead();
        expectSameStyles(storage, theme);
    }
    {
        // Typing at the start, inside what is laid in.
        SmartTextStorage storage;
        storage.applyThemeFromPath(theme);
        storage.setInitialText(text);
        ASSERT_TRUE(storage.isLayingIn());
        storage.replaceCharactersInRange({0, 0}, QStringLiteral("# Top\n\n"));
        EXPECT_FALSE(storage.isLayingIn());
        EXPECT_EQ(editortest::shownText(storage), editortest::expectedShown(storage));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return !storage.isStylingAhead(); }, std::chrono::seconds(60)));
        expectSameStyles(storage, theme);
    }
    {
        // A theme applied meanwhile restyles what is in and goes on laying
        // in; a second large text replaces the first before it is all in.
        SmartTextStorage storage;
        storage.applyThemeFromPath(
            writeTheme(QStringLiteral("upright.theme"), R"({"fontName": "DejaVu Sans", "fontSize": 12})"));
        storage.setInitialText(text);
        ASSERT_TRUE(storage.isLayingIn());
        storage.applyThemeFromPath(theme);
        EXPECT_TRUE(storage.isLayingIn());
        EXPECT_TRUE(storage.attributesAt(storage.string().indexOf("emphasis")).italic);
        const QString second = QStringLiteral("# Second\n\n") + text;
        storage.setInitialText(second);
        ASSERT_TRUE(storage.isLayingIn());
        EXPECT_EQ(editortest::shownText(storage), editortest::expectedShown(storage).left(storage.laidInLength()));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return !storage.isStylingAhead(); }, std::chrono::seconds(60)));
        EXPECT_EQ(storage.string(), second);
        EXPECT_EQ(editortest::shownText(storage), editortest::expectedShown(storage));
        expectSameStyles(storage, theme);
    }
}

// The styles and marks of a long text are the storage's own until a block is
// laid out: only then does the block's QTextLayout (an object Qt keeps as
// long as the block) take their formats, so that a text of millions of
// lines does not hold a layout for each. Whatever was laid out before its
// styles came is laid out again with them.
TEST(Highlight, StylesReachABlocksLayoutWhenItIsLaidOut) {
    SmartTextStorage storage;
    storage.applyThemeFromPath(editortest::themePath());
    const QString text = largeText();
    storage.setInitialText(text);
    ASSERT_TRUE(storage.isStylingAhead());
    LazyDocumentLayout *layout = storage.documentLayout();
    QTextDocument *d = storage.document();

    // A block laid out before the styling reached it, unstyled.
    storage.finishLayingIn();
    const QTextBlock early = d->findBlock(int(text.lastIndexOf(QStringLiteral("## Section"))));
    ASSERT_TRUE(early.isValid());
    EXPECT_TRUE(storage.runs(early).isEmpty());
    layout->blockBoundingRect(early);
    EXPECT_TRUE(early.layout()->formats().isEmpty());

    storage.finishStylingAhead();
    const QTextBlock far = d->findBlock(int(text.lastIndexOf(QStringLiteral("A paragraph with"))));
    ASSERT_TRUE(far.isValid());
    ASSERT_FALSE(layout->isLaidOut(far.blockNumber()));
    const QList<AttributeRun> runs = storage.runs(far);
    EXPECT_GT(runs.size(), 2);
    EXPECT_TRUE(storage.attributesAt(far.position() + far.text().indexOf(QStringLiteral("emphasis"))).italic);

    // Marks on it are kept too, and reach its layout with the styles.
    QTextCharFormat underline;
    underline.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    storage.setOverlayFormats(far, {{2, 9, underline}});
    ASSERT_EQ(storage.overlayFormats(far).size(), 1);
    EXPECT_EQ(storage.overlayFormats(far).first().start, 2);
    EXPECT_FALSE(layout->isLaidOut(far.blockNumber()));
    EXPECT_TRUE(far.layout()->formats().isEmpty());

    const QRectF bounds = layout->blockBoundingRect(far);
    EXPECT_GT(bounds.height(), 0);
    const auto *style = static_cast<const BlockStyle *>(far.userData());
    ASSERT_NE(style, nullptr);
    const QList<QTextLayout::FormatRange> formats = far.layout()->formats();
    ASSERT_EQ(formats.size(), style->runs.size() + 1);
    EXPECT_EQ(formats.last().format.underlineStyle(), QTextCharFormat::WaveUnderline);
    EXPECT_EQ(formats.last().start, 2);

    // The block laid out unstyled took its styles when they came, and is
    // laid out again with them.
    EXPECT_FALSE(early.layout()->formats().isEmpty());
    EXPECT_FALSE(layout->isLaidOut(early.blockNumber()));
    layout->blockBoundingRect(early);
    EXPECT_TRUE(layout->isLaidOut(early.blockNumber()));
}

// A long text laid in from its start settles as the long document it will
// be, from its first lines on: only around what is shown, not every block
// while the document is still short.
TEST(Highlight, ALongTextLaidInSettlesAsItsWholeLengthFromTheStart) {
    SmartTextStorage storage;
    storage.applyThemeFromPath(editortest::themePath());
    LazyDocumentLayout *layout = storage.documentLayout();
    QString text;
    for (int i = 0; i < 180000; i++) {
        text += i % 3 == 2 ? QStringLiteral("\n") : QStringLiteral("a\n");
        if (i == 90000) {
            // A code fence longer than a stretch of styling.
            text += QStringLiteral("```\n") + QStringLiteral("b\n").repeated(40000) + QStringLiteral("```\n\n");
        }
    }
    layout->setSettleLimit(200000);
    storage.setInitialText(text);
    ASSERT_TRUE(storage.isLayingIn());
    const int laidIn = storage.document()->blockCount();
    ASSERT_GT(size_t(laidIn), 4 * LazyDocumentLayout::kSettleRadius);
    ASSERT_LT(laidIn, 200000);
    // One long slice does all there is to do now.
    EXPECT_FALSE(layout->layoutSome(60000));
    EXPECT_EQ(layout->estimatedBlocks(), laidIn - int(LazyDocumentLayout::kSettleRadius) - 1);

    ASSERT_TRUE(testing_qt::spinUntil([&] { return !storage.isStylingAhead() && layout->isSettled(); },
                                      std::chrono::seconds(60)));
    EXPECT_FALSE(storage.isLayingIn());
    // Qt's layouts hold the formats of about the blocks settled, not of
    // every block styled.
    int inLayouts = 0;
    for (QTextBlock block = storage.document()->firstBlock(); block.isValid(); block = block.next())
        if (const auto *style = static_cast<const BlockStyle *>(block.userData()); style && style->inLayout)
            inLayouts++;
    EXPECT_GE(inLayouts, int(LazyDocumentLayout::kSettleRadius));
    EXPECT_LE(inLayouts, int(LazyDocumentLayout::kSettleRadius) * 2);
}
