// What the editor view paints, checked on offscreen grabs against positions
// computed from the fonts and the layout: the gutter's labels, the marks of
// invisible characters and hard line breaks, and the centred text column.
// One picture of a sample document is kept in the build folder.
#include <QFontMetricsF>
#include <QImage>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <functional>

#include "editor/view/kvx_layout_manager.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/line_numbers_ruler_view.h"
#include "editor/editor_test_support.h"
#include "platform/prefs/defaults.h"
#include "editor/view_test_support.h"

using editortest::ShownView;

namespace {

using Ink = std::function<bool(QRgb)>;

// The marks' neutral grey, as opposed to the blue text of the picture theme
// and its white background.
bool greyInk(QRgb p) {
    return qAbs(qRed(p) - qGreen(p)) <= 12 && qAbs(qGreen(p) - qBlue(p)) <= 12 && qRed(p) < 235;
}
bool blueInk(QRgb p) { return qBlue(p) - qRed(p) > 60; }
bool darkInk(QRgb p) { return qGray(p) < 200; }

// The bounding box of the ink in `area` (null when there is none).
QRect inkBounds(const QImage &image, QRect area, const Ink &ink) {
    area &= image.rect();
    QRect box;
    for (int y = area.top(); y <= area.bottom(); y++)
        for (int x = area.left(); x <= area.right(); x++)
            if (ink(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

QString pictureTheme() {
    static const QString path = editortest::writeTheme(
        QStringLiteral("picture.theme"),
        R"({"fontName": "DejaVu Sans", "fontSize": 12, "foregroundColor": "#0000C0",
            "backgroundColor": "#FFFFFF"})");
    return path;
}

// A shown view with the picture theme.
struct PictureView : ShownView {
    explicit PictureView(const std::function<void(platform::Defaults &)> &configure)
        : ShownView(configure, false) {
        storage().applyThemeFromPath(pictureTheme());
        QPalette palette = view().palette();
        palette.setColor(QPalette::Base, Qt::white);
        view().setPalette(palette);
        // No caret in these pictures: only text and marks.
        view().setCursorWidth(0);
    }
    // Shows the text with the caret at its start.
    void showAtStart(const QString &text, QSize size) {
        show(text, size);
        view().setSelectedRange({0, 0});
        view().verticalScrollBar()->setValue(0);
        settle();
    }
    // A rectangle of the document in the grabbed picture's coordinates.
    QRectF toPicture(const QRectF &document) {
        const QPoint viewport = view().viewport()->geometry().topLeft();
        return document.translated(viewport.x(), viewport.y() - view().verticalScrollBar()->value());
    }
};

const char kSample[] =
    "Title: A sample\nAuthor: Zoë\n\n"
    "# The editor view\n\n"
    "A paragraph long enough to wrap inside the centred column of the editor, "
    "with *emphasis*, **strong** text and `code`, so that the styles show.\n\n"
    "- an item\n- another\titem with a tab\n    - nested\n\n"
    "> A quote that ends  \nwith a hard break before this line.\n\n"
    "```\nint main() {\n\treturn 0;\n}\n```\n\n"
    "## Numbers\n\nLine one\nLine two\nLine three\n";

}  // namespace

TEST(ViewPictures, SampleDocumentIsKeptForLooking) {
    ShownView shown([](platform::Defaults &d) {
        d.setInteger(60, QStringLiteral("lineLength"));
        d.setBool(true, QStringLiteral("showLineNumbers"));
        d.setBool(true, QStringLiteral("showInvisibleCharacters"));
    });
    shown.show(QString::fromUtf8(kSample), QSize(760, 600));
    shown.view().setSelectedRange({0, 0});
    shown.view().verticalScrollBar()->setValue(0);
    shown.settle();
    const QImage picture = shown.grab();
    ASSERT_FALSE(picture.isNull());
    EXPECT_TRUE(picture.save(editortest::artifactPath(QStringLiteral("editor-view-sample.png"))));
}

TEST(ViewPictures, GutterLabelsStandRightAlignedAtTheirLines) {
    PictureView shown([](platform::Defaults &d) { d.setBool(true, QStringLiteral("showLineNumbers")); });
    QString text;
    for (int i = 1; i <= 12; i++)
        text += QStringLiteral("line %1\n").arg(i);
    text += QStringLiteral("a last line long enough to wrap at least once in this narrow view, "
                           "so that it takes two lines of the column");
    shown.showAtStart(text, QSize(360, 420));
    KVXTextView &view = shown.view();
    LineNumbersRulerView *ruler = view.verticalRulerView();
    const double zoom = ruler->zoomFactor();

    // Thickness from the widest number (13: two digits).
    const double zero = QFontMetricsF(ruler->font()).horizontalAdvance(QLatin1Char('0'));
    EXPECT_EQ(ruler->ruleThickness(), int(std::ceil(std::ceil(2 * zero + 8) * zoom)));
    EXPECT_EQ(ruler->width(), ruler->ruleThickness());

    QFont labelFont = ruler->font();
    labelFont.setPointSizeF(labelFont.pointSizeF() * zoom);
    const QFontMetricsF metrics(labelFont);
    const QImage picture = shown.grab();
    const QRect gutter = ruler->geometry();
    LazyDocumentLayout *layout = shown.storage().documentLayout();
    QRect expectedInk;
    int number = 0;
    for (QTextBlock block = shown.storage().document()->firstBlock(); block.isValid();
         block = block.next()) {
        number++;
        const QRectF bounds = layout->blockBoundingRect(block);
        const QTextLine first = block.layout()->lineAt(0);
        const double lineBottom = bounds.top() + first.y() + first.height() -
                                  view.verticalScrollBar()->value();
        const QString label = QString::number(number);
        const double right = gutter.width() - zoom - 2 * zoom;
        const QRectF rect(right - metrics.horizontalAdvance(label),
                          lineBottom - metrics.height() - 3 * zoom,
                          metrics.horizontalAdvance(label), metrics.height());
        const QRect inPicture = rect.translated(gutter.topLeft()).toAlignedRect();
        const QRect ink = inkBounds(picture, inPicture.adjusted(-1, -1, 1, 1), darkInk);
        ASSERT_FALSE(ink.isNull()) << "no label " << number;
        // Right-aligned against the divider, and on its line.
        EXPECT_LE(ink.right(), gutter.left() + int(right));
        EXPECT_GE(ink.right(), gutter.left() + int(right) - 3) << number;
        EXPECT_GE(ink.top(), inPicture.top() - 1);
        EXPECT_LE(ink.bottom(), inPicture.bottom() + 1);
        expectedInk |= inPicture.adjusted(-1, -1, 1, 1);
    }
    EXPECT_EQ(number, 13);
    // No ink anywhere else in the gutter but the divider: the wrapped line
    // has one label.
    const QRect labelsArea(gutter.left(), gutter.top(), gutter.width() - 2, gutter.height());
    EXPECT_EQ(inkBounds(picture, labelsArea, darkInk) | expectedInk, expectedInk);
    const QRect divider(gutter.right(), gutter.top() + 5, 1, 10);
    EXPECT_FALSE(inkBounds(picture, divider, [](QRgb p) { return qGray(p) < 220; }).isNull());
}

TEST(ViewPictures, InvisibleMarksSitOnTheirCharacters) {
    PictureView shown([](platform::Defaults &d) {
        d.setBool(true, QStringLiteral("showInvisibleCharacters"));
    });
    shown.showAtStart(QStringLiteral("ab cd\tef gh\nnext line"), QSize(500, 300));
    KVXTextView &view = shown.view();
    const QFontMetricsF metrics(view.layoutManager()->font());
    // Where each mark belongs: at its character's place in the line, on
    // the line's baseline; a line end after the line's last character.
    LazyDocumentLayout *layout = shown.storage().documentLayout();
    struct Expected {
        QChar glyph;
        QPointF origin;
    };
    QList<Expected> expected;
    for (QTextBlock block = shown.storage().document()->firstBlock(); block.isValid();
         block = block.next()) {
        const QPointF origin = layout->blockBoundingRect(block).topLeft();
        const QTextLine line = block.layout()->lineAt(0);
        const double baseline = origin.y() + line.y() + line.ascent();
        const QString text = block.text();
        for (int i = 0; i < text.size(); i++)
            if (text[i] == u' ' || text[i] == u'\t')
                expected.append({text[i] == u' ' ? QChar(0x00B7) : QChar(0x2192),
                                 QPointF(origin.x() + line.cursorToX(i), baseline)});
        if (block.next().isValid())
            expected.append({QChar(0x00AC), QPointF(origin.x() + line.cursorToX(text.size()), baseline)});
    }
    ASSERT_EQ(expected.size(), 5);  // two spaces, a tab, a line end; a space

    QImage picture = shown.grab();
    QRect union_;
    for (const Expected &mark : expected) {
        const QRectF box(mark.origin.x(), mark.origin.y() - metrics.ascent(),
                         metrics.horizontalAdvance(mark.glyph), metrics.ascent() + metrics.descent());
        const QRect inPicture = shown.toPicture(box).toAlignedRect().adjusted(-1, -1, 1, 1);
        EXPECT_FALSE(inkBounds(picture, inPicture, greyInk).isNull()) << mark.origin.x();
        union_ |= inPicture;
    }
    // Grey only where the marks are; the text stays blue.
    const QRect viewport = view.viewport()->geometry();
    EXPECT_EQ(inkBounds(picture, viewport, greyInk) | union_, union_);
    EXPECT_FALSE(inkBounds(picture, viewport, blueInk).isNull());

    // Switched off: no marks at all.
    view.toggleShowInvisibleCharacters();
    shown.settle();
    picture = shown.grab();
    EXPECT_TRUE(inkBounds(picture, viewport, greyInk).isNull());
}

TEST(ViewPictures, HardBreaksAreMarkedInTheTextsColourWithInvisiblesOff) {
    PictureView shown({});
    shown.showAtStart(QStringLiteral("a line that ends  \nwith a hard break\nand a plain end"),
                      QSize(500, 300));
    KVXTextView &view = shown.view();
    ASSERT_FALSE(view.showInvisibleCharacters());
    const QTextBlock first = shown.storage().document()->firstBlock();
    ASSERT_TRUE(shown.storage().hasHardBreak(first));
    const QList<InvisibleMark> marks = view.layoutManager()->marksInBlock(first, false);
    ASSERT_EQ(marks.size(), 1);
    EXPECT_TRUE(marks[0].hardBreak);
    EXPECT_EQ(marks[0].glyph, KVXLayoutManager::kLineBreakMark);
    EXPECT_TRUE(view.layoutManager()->marksInBlock(first.next(), false).isEmpty());

    const QImage picture = shown.grab();
    const QFontMetricsF metrics(shown.storage().document()->defaultFont());
    const QRectF box(marks[0].origin.x(), marks[0].origin.y() - metrics.ascent(),
                     metrics.horizontalAdvance(QChar(KVXLayoutManager::kLineBreakMark)),
                     metrics.ascent());
    const QRect inPicture = shown.toPicture(box).toAlignedRect().adjusted(-1, -1, 1, 1);
    EXPECT_FALSE(inkBounds(picture, inPicture, blueInk).isNull());
    EXPECT_TRUE(inkBounds(picture, view.viewport()->geometry(), greyInk).isNull());
    // Nothing after the plain line end.
    const QTextBlock second = first.next();
    const QRectF line = view.offsetRectForLocation({second.position() + second.length() - 1, 0});
    const QRectF after(line.right() + 1, line.top() + shown.storage().documentLayout()->topPadding(),
                       40, line.height());
    EXPECT_TRUE(inkBounds(picture, shown.toPicture(after).toAlignedRect(), blueInk).isNull());
}

TEST(ViewPictures, TheTextColumnIsCentredAtEveryZoom) {
    PictureView shown([](platform::Defaults &d) { d.setInteger(40, QStringLiteral("lineLength")); });
    QString text = QStringLiteral("llama ");
    for (int i = 0; i < 12; i++)
        text += QStringLiteral("lorem ipsum dolor sit amet consectetur adipiscing ");
    shown.showAtStart(text, QSize(760, 400));
    KVXTextView &view = shown.view();
    const double sample = QFontMetricsF(view.defaultFont())
                              .horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLM"));
    const double longestWord = QFontMetricsF(view.defaultFont()).horizontalAdvance(QStringLiteral("consectetur "));
    for (double zoom : {1.0, 1.5}) {
        view.setZoomFactorTo(float(zoom));
        view.verticalScrollBar()->setValue(0);
        shown.settle();
        const QRect viewport = view.viewport()->geometry();
        const double column = sample * 40 / 39 * view.zoomFactor();
        const double left = viewport.left() + (viewport.width() - column) / 2;
        const QImage picture = shown.grab();
        const QRect ink = inkBounds(picture, viewport, blueInk);
        ASSERT_FALSE(ink.isNull());
        EXPECT_GE(ink.left(), int(left) - 1) << zoom;
        EXPECT_LE(ink.left(), int(left) + 3 * zoom) << zoom;
        EXPECT_LE(ink.right(), int(left + column) + 1) << zoom;
        EXPECT_GE(ink.right(), int(left + column - longestWord * zoom)) << zoom;
    }
}
