// The view's geometry rules as arithmetic, and the selection remembered
// across a replacement of the text (the fuzzy match over UTF-8).
#include <QString>

#include <gtest/gtest.h>

#include "editor/view/selection_memory.h"
#include "editor/view/zoom_geometry.h"

using namespace zoomgeometry;

TEST(ZoomGeometry, StepsWithinHalfAPercentAndZeroAreDropped) {
    EXPECT_FALSE(zoomStepApplies(0));
    EXPECT_FALSE(zoomStepApplies(1.004));
    EXPECT_FALSE(zoomStepApplies(0.996));
    EXPECT_FALSE(zoomStepApplies(1));
    EXPECT_TRUE(zoomStepApplies(1.005));
    EXPECT_TRUE(zoomStepApplies(0.995));
    EXPECT_TRUE(zoomStepApplies(1.1));
}

TEST(ZoomGeometry, PaddingsAndTheCentredColumn) {
    EXPECT_DOUBLE_EQ(horizontalPadding(40, 2), 20);
    EXPECT_DOUBLE_EQ(verticalPadding(60, 2, false, 0.5, 800), 30);
    // Typewriter mode: the larger of t and 1 - t of the visible height.
    EXPECT_DOUBLE_EQ(verticalPadding(60, 1, true, 0.5, 800), 400);
    EXPECT_DOUBLE_EQ(verticalPadding(60, 1, true, 0.3, 800), 560);
    EXPECT_DOUBLE_EQ(verticalPadding(60, 1, true, 0.8, 800), 640);
    EXPECT_DOUBLE_EQ(verticalPadding(60, 2, true, 0.5, 800), 200);

    EXPECT_DOUBLE_EQ(idealWidth(390, 0), kNoIdealWidth);
    EXPECT_DOUBLE_EQ(idealWidth(390, 78), 780);
    // Centred once the column fits with the padding on both sides.
    EXPECT_DOUBLE_EQ(horizontalMargin(1000, 40, 600), 200);
    EXPECT_DOUBLE_EQ(horizontalMargin(680, 40, 600), 40);
    EXPECT_DOUBLE_EQ(horizontalMargin(681, 40, 600), 40.5);
    EXPECT_DOUBLE_EQ(horizontalMargin(1000, 40, kNoIdealWidth), 40);
    // A view narrower than four paddings keeps half its width for text.
    EXPECT_DOUBLE_EQ(horizontalMargin(100, 40, kNoIdealWidth), 25);
}

TEST(ZoomGeometry, OptimalZoomFitsTheColumnAndComesToRest) {
    struct Case {
        double width, ruler, padding, ideal;
    };
    for (const Case &c : {Case{1000, 0, 40, 600}, Case{1000, 30, 40, 600}, Case{500, 0, 40, 700},
                          Case{1600, 24, 20, 450}}) {
        const double f = optimalZoomFactor(c.width, c.ruler, c.padding, c.ideal);
        // At the new zoom the view (in text coordinates) holds the column
        // and its paddings, to within the step that is no longer applied.
        const double fit = (c.width / f) / (c.ideal + 2 * c.padding / f);
        EXPECT_NEAR(fit, 1.0, 0.01) << c.width << " " << c.ideal;
        EXPECT_FALSE(zoomStepApplies(optimalZoomStep(c.width / f, c.ruler, c.padding / f, c.ideal)));
    }
    // Already fitting: nothing to do.
    EXPECT_DOUBLE_EQ(optimalZoomFactor(680, 0, 40, 600), 1.0);
}

TEST(ZoomGeometry, IdealScrollPutsTheRangeAtTheTargetHeight) {
    // A 20-high line at 500 below a padding of 60, centred in 400.
    const double y = idealScrollY(400, 0.5, 60, 500, 20);
    EXPECT_DOUBLE_EQ(y + 0.5 * 400, 60 + 500 + 10);
    // At a third of the view.
    EXPECT_DOUBLE_EQ(idealScrollY(300, 1.0 / 3, 0, 300, 30) + 100, 310);
    // A range taller than the view shows from its top.
    EXPECT_DOUBLE_EQ(idealScrollY(400, 0.5, 60, 500, 900), 560);
    EXPECT_DOUBLE_EQ(safeScrollY(-30, 1000, 400), 0);
    EXPECT_DOUBLE_EQ(safeScrollY(900, 1000, 400), 600);
    EXPECT_DOUBLE_EQ(safeScrollY(120, 1000, 400), 120);
}

namespace {

CharRange restoreIn(const SelectionMemory &memory, const QString &text) {
    const QByteArray bytes = text.toUtf8();
    return memory.restore(bytes.constData(), size_t(bytes.size()));
}

}  // namespace

TEST(SelectionMemory, SameTextGivesTheSameSelection) {
    const QString text = QStringLiteral("The quick brown fox jumps over the lazy dog. ").repeated(4);
    for (CharRange r : {CharRange{0, 0}, CharRange{10, 5}, CharRange{44, 60}, CharRange{170, 0}}) {
        SelectionMemory memory;
        memory.save(text, r);
        EXPECT_EQ(restoreIn(memory, text), r) << r.location << "+" << r.length;
    }
}

TEST(SelectionMemory, EndOfTextFollowsTheNewEnd) {
    SelectionMemory memory;
    memory.save(QStringLiteral("short text"), {10, 0});
    EXPECT_TRUE(memory.startSuffix().isEmpty());
    EXPECT_EQ(restoreIn(memory, QStringLiteral("a much longer text than before")), (CharRange{30, 0}));
    EXPECT_EQ(restoreIn(memory, QString()), (CharRange{0, 0}));
    // A non-empty selection reaching the end keeps its start text.
    SelectionMemory tail;
    tail.save(QStringLiteral("first line\nsecond line"), {11, 11});
    EXPECT_EQ(restoreIn(tail, QStringLiteral("added\nfirst line\nsecond line")), (CharRange{17, 11}));
}

TEST(SelectionMemory, MovedTextIsFoundAgain) {
    const QString before = QStringLiteral(
        "Alpha paragraph with some words.\n\nBeta paragraph that holds the caret here.\n\nGamma.");
    const qsizetype at = before.indexOf(QStringLiteral("caret"));
    SelectionMemory memory;
    memory.save(before, {at, 5});
    const QString after = QStringLiteral("A new opening line.\n\n") + before;
    EXPECT_EQ(restoreIn(memory, after), (CharRange{at + 21, 5}));

    // The start's text was deleted: the end's text finds the selection,
    // with the selection's old byte length.
    SelectionMemory both;
    const QString text = QStringLiteral("0123456789 remove this part, keep this end of the selection and more text");
    both.save(text, {11, 30});
    QString edited = text;
    edited.replace(QStringLiteral("remove this part, "), QStringLiteral("XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX "));
    const CharRange restored = restoreIn(both, edited);
    EXPECT_EQ(restored.length, 30);
    EXPECT_EQ(restored.end(), edited.indexOf(QStringLiteral("end of")) + 2)
        << restored.location << "+" << restored.length;
}

TEST(SelectionMemory, NonAsciiSuffixesAreCutToWhatTheMatchTakes) {
    // 25 units of Greek or CJK text are 50 or 75 bytes: cut at a character
    // boundary within 31 bytes, the match still finds them.
    const QString greek = QString::fromUtf8("Αλφα βήτα γάμμα δέλτα έψιλον ζήτα ήτα θήτα ιώτα κάππα λάμδα μι νι ξι");
    const QByteArray cut = SelectionMemory::matchPattern(greek);
    EXPECT_LE(cut.size(), 31);
    EXPECT_EQ(QString::fromUtf8(cut).toUtf8(), cut);  // whole characters only
    EXPECT_TRUE(greek.startsWith(QString::fromUtf8(cut)));

    const QString cjk = QString::fromUtf8(
        "春眠不覚暁処処聞啼鳥夜来風雨声花落知多少。床前明月光疑是地上霜挙頭望山月低頭思故郷。");
    for (const QString &text : {greek, cjk}) {
        const qsizetype at = text.size() / 3;
        SelectionMemory memory;
        memory.save(text, {at, 4});
        // Twelve characters inserted before: the old offset is wrong, the
        // text after it is not.
        const QString after = QString::fromUtf8("ééééééééééé ") + text;
        EXPECT_EQ(restoreIn(memory, after), (CharRange{at + 12, 4})) << text.left(8).toStdString();
    }

    // An emoji (a surrogate pair) at the 25th unit is not split.
    QString emoji = QStringLiteral("x").repeated(24) + QString::fromUtf8("😀") + QStringLiteral("tail");
    SelectionMemory memory;
    memory.save(emoji, {0, 0});
    EXPECT_EQ(memory.startSuffix().size(), 24);
    EXPECT_EQ(restoreIn(memory, QStringLiteral("y") + emoji), (CharRange{1, 0}));
}

TEST(SelectionMemory, NothingFoundKeepsTheByteLengthNearTheOldPlace) {
    const QString text = QStringLiteral("abcdefghijklmnopqrstuvwxyz").repeated(4);
    SelectionMemory memory;
    memory.save(text, {30, 10});
    const QString other = QStringLiteral("0123456789").repeated(12);
    const CharRange r = restoreIn(memory, other);
    EXPECT_EQ(r, (CharRange{20, 10}));  // e = b0 = 30, s = e - n
}
