// The gutter's index (lines or paragraphs, its thickness, when it is built
// again) and the marks of invisible characters, as models: no pixels here.
#include <QFontMetricsF>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include "editor/view/kvx_layout_manager.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/line_numbers_ruler_view.h"
#include "platform/prefs/defaults.h"
#include "editor/view_test_support.h"

using editortest::ShownView;

namespace {

int thicknessFor(const LineNumbersRulerView &ruler, int digits) {
    const double w = QFontMetricsF(ruler.font()).horizontalAdvance(QLatin1Char('0'));
    return int(std::ceil(std::max(std::ceil(digits * w + 8), std::ceil(w + 8)) * ruler.zoomFactor()));
}

}  // namespace

TEST(LineNumbersRuler, ThicknessFollowsTheDigitsOfTheLastNumber) {
    ShownView shown([](platform::Defaults &d) { d.setBool(true, QStringLiteral("showLineNumbers")); });
    shown.show(QString());
    LineNumbersRulerView *ruler = shown.view().verticalRulerView();
    ruler->updateLineInformation();
    EXPECT_EQ(ruler->linesInIndex(), 0);
    EXPECT_EQ(ruler->ruleThickness(), thicknessFor(*ruler, 1));
    EXPECT_TRUE(ruler->labelsInRect().isEmpty());

    // Nine lines (the empty line after the last line feed has no number).
    shown.storage().setInitialText(QStringLiteral("x\n").repeated(9));
    ruler->updateLineInformation();
    EXPECT_EQ(ruler->linesInIndex(), 9);
    EXPECT_EQ(ruler->ruleThickness(), thicknessFor(*ruler, 1));
    EXPECT_EQ(ruler->lineIndexForCharacterIndex(18), LineNumbersRulerView::kNotFound);
    shown.storage().replaceCharactersInRange({18, 0}, QStringLiteral("y"));
    ruler->updateLineInformation();
    EXPECT_EQ(ruler->linesInIndex(), 10);
    EXPECT_EQ(ruler->ruleThickness(), thicknessFor(*ruler, 2));
    EXPECT_EQ(ruler->lineIndexForCharacterIndex(18), 9);
    EXPECT_EQ(ruler->lineIndexForCharacterIndex(17), LineNumbersRulerView::kNotFound);
    // The view's text moves right with the gutter.
    EXPECT_EQ(shown.view().viewport()->geometry().left() - shown.view().contentsRect().left(),
              ruler->ruleThickness());

    // Zoomed, the gutter grows with the text.
    shown.view().setZoomFactorTo(2.0f);
    ruler->updateLineInformation();
    EXPECT_EQ(ruler->ruleThickness(), thicknessFor(*ruler, 2));
    EXPECT_GT(ruler->ruleThickness(), 2 * thicknessFor(*ruler, 2) / ruler->zoomFactor() - 1);
}

TEST(LineNumbersRuler, ParagraphsAreNonEmptyLinesAfterAnEmptyOne) {
    ShownView shown([](platform::Defaults &d) {
        d.setBool(true, QStringLiteral("showLineNumbers"));
        d.setBool(true, QStringLiteral("countParasNotLines"));
    });
    shown.show(QStringLiteral("a\nb\n\nc"));
    LineNumbersRulerView *ruler = shown.view().verticalRulerView();
    ruler->updateLineInformation();
    EXPECT_EQ(ruler->linesInIndex(), 2);
    EXPECT_EQ(ruler->lineIndexForCharacterIndex(0), 0);
    EXPECT_EQ(ruler->lineIndexForCharacterIndex(2), LineNumbersRulerView::kNotFound);
    EXPECT_EQ(ruler->lineIndexForCharacterIndex(4), LineNumbersRulerView::kNotFound);
    EXPECT_EQ(ruler->lineIndexForCharacterIndex(5), 1);
    QList<qsizetype> numbers;
    for (const LineNumbersRulerView::Label &label : ruler->labelsInRect())
        numbers.append(label.number);
    EXPECT_EQ(numbers, (QList<qsizetype>{1, 2}));

    // Typing inside a line keeps the paragraphs, and the index.
    shown.storage().replaceCharactersInRange({1, 0}, QStringLiteral("aa"));
    EXPECT_TRUE(ruler->isLineInformationValid());
    // Emptying a line makes a new paragraph start; the index is rebuilt.
    shown.storage().replaceCharactersInRange({4, 1}, QString());
    EXPECT_FALSE(ruler->isLineInformationValid());
    ruler->updateLineInformation();
    EXPECT_EQ(ruler->linesInIndex(), 2);  // "aaa\n\n\nc"
    EXPECT_EQ(ruler->lineIndexForCharacterIndex(6), 1);
    // A new line: rebuilt too.
    shown.storage().replaceCharactersInRange({0, 0}, QStringLiteral("z\n\n"));
    EXPECT_FALSE(ruler->isLineInformationValid());

    // Switching to line numbers numbers every line.
    shown.view().toggleShowLineNumbers();
    ruler->updateLineInformation();
    EXPECT_EQ(ruler->linesInIndex(), shown.storage().document()->blockCount());
}

TEST(LineNumbersRuler, OneLabelPerLineAtItsFirstVisualLine) {
    ShownView shown([](platform::Defaults &d) { d.setBool(true, QStringLiteral("showLineNumbers")); });
    const QString wrapped = QStringLiteral("word ").repeated(80);
    shown.show(QStringLiteral("first\n") + wrapped + QStringLiteral("\nlast"), QSize(400, 500));
    KVXTextView &view = shown.view();
    view.verticalScrollBar()->setValue(0);
    LineNumbersRulerView *ruler = view.verticalRulerView();
    ruler->updateLineInformation();
    const QList<LineNumbersRulerView::Label> labels = ruler->labelsInRect();
    ASSERT_EQ(labels.size(), 3);
    LazyDocumentLayout *layout = shown.storage().documentLayout();
    QTextBlock block = shown.storage().document()->findBlockByNumber(1);
    ASSERT_GT(block.layout()->lineCount(), 2);
    const QTextLine first = block.layout()->lineAt(0);
    const QFontMetricsF metrics(ruler->font());
    // Its bottom 3 above its line's bottom, its right edge 2 left of the
    // divider.
    const double lineBottom = layout->blockBoundingRect(block).top() + first.y() + first.height();
    EXPECT_NEAR(labels[1].rect.bottom(), lineBottom - view.verticalScrollBar()->value() - 3, 1e-6);
    EXPECT_NEAR(labels[1].rect.right(), ruler->dividerRect().left() - 2, 1e-6);
    EXPECT_EQ(labels[2].number, 3);
    // Only labels whose grown rectangle meets the repainted area.
    const QRectF onlyFirst(0, labels[0].rect.top(), ruler->width(), 2);
    EXPECT_EQ(ruler->labelsInRect(onlyFirst).size(), 1);
}

TEST(InvisibleMarks, SpacesTabsAndLineEndsAtTheirPlaces) {
    ShownView shown;
    shown.show(QStringLiteral("a b\tc\nnext  \nhard\u00A0end"));
    KVXLayoutManager *marks = shown.view().layoutManager();
    const QTextBlock block = shown.storage().document()->firstBlock();
    const QPointF origin = shown.storage().documentLayout()->blockBoundingRect(block).topLeft();
    const QTextLine line = block.layout()->lineAt(0);
    const double baseline = origin.y() + line.y() + line.ascent();

    const QList<InvisibleMark> shownMarks = marks->marksInBlock(block, true);
    ASSERT_EQ(shownMarks.size(), 3);
    const char16_t glyphs[] = {0x00B7, 0x2192, 0x00AC};
    const int positions[] = {1, 3, 5};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(shownMarks[i].glyph, glyphs[i]);
        EXPECT_EQ(shownMarks[i].position, positions[i]);
        EXPECT_FALSE(shownMarks[i].hardBreak);
        EXPECT_DOUBLE_EQ(shownMarks[i].origin.x(), origin.x() + line.cursorToX(positions[i]));
        EXPECT_DOUBLE_EQ(shownMarks[i].origin.y(), baseline);
    }
    EXPECT_TRUE(marks->marksInBlock(block, false).isEmpty());

    // "next  " ends in a hard break: marked with invisibles off too; the
    // no-break space and the end of the text are not marked.
    const QList<InvisibleMark> hard = marks->marksInBlock(block.next(), false);
    ASSERT_EQ(hard.size(), 1);
    EXPECT_TRUE(hard[0].hardBreak);
    EXPECT_EQ(hard[0].position, block.next().position() + 6);
    EXPECT_EQ(marks->marksInBlock(block.next(), true).size(), 3);
    EXPECT_TRUE(marks->marksInBlock(shown.storage().document()->lastBlock(), true).isEmpty());

    // The marks' font: the editor's font size, times the zoom.
    EXPECT_DOUBLE_EQ(marks->font().pointSizeF(), 12);
    EXPECT_EQ(marks->markColor(), QColor(0x88, 0x88, 0x88, 0x88));
    shown.view().setZoomFactorTo(1.5f);
    EXPECT_NEAR(marks->font().pointSizeF(), 18, 1e-3);
}

TEST(InvisibleMarks, TheTypesetterShowsTabsAndLineEndsWithTheSameMarks) {
    using T = KVXATSTypesetter;
    auto glyph = [](T::Substitution s) { return s.glyph ? int(*s.glyph) : 0; };
    EXPECT_EQ(glyph(T::setNotShownAttribute(true, u'\n', false, true)), 0x00AC);
    EXPECT_EQ(glyph(T::setNotShownAttribute(true, u'\r', false, true)), 0x00AC);
    EXPECT_EQ(glyph(T::setNotShownAttribute(true, u'\t', false, true)), 0x2192);
    EXPECT_FALSE(T::setNotShownAttribute(true, u'\t', false, true).notShown);
    // Invisibles off, past the end, other characters, shown glyphs: as asked.
    EXPECT_TRUE(T::setNotShownAttribute(true, u'\n', false, false).notShown);
    EXPECT_TRUE(T::setNotShownAttribute(true, u'\n', true, true).notShown);
    EXPECT_TRUE(T::setNotShownAttribute(true, u'x', false, true).notShown);
    EXPECT_FALSE(T::setNotShownAttribute(false, u'\n', false, true).notShown);
    EXPECT_EQ(glyph(T::setNotShownAttribute(false, u'\n', false, true)), 0);
}

TEST(InvisibleMarks, EachEditorKeepsItsOwnMarkFont) {
    // Two windows at different sizes: the marks of one never take the
    // other's font.
    ShownView small;
    ShownView large([](platform::Defaults &d) {
        d.setFloat(20, QStringLiteral("defaultFontSize"));
        d.setInteger(150, QStringLiteral("defaultZoom"));
    });
    EXPECT_DOUBLE_EQ(small.view().layoutManager()->font().pointSizeF(), 12);
    EXPECT_DOUBLE_EQ(large.view().layoutManager()->font().pointSizeF(), 30);
    small.view().toggleShowInvisibleCharacters();
    EXPECT_DOUBLE_EQ(large.view().layoutManager()->font().pointSizeF(), 30);
}
