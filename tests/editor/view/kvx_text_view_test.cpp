// The base editor view shown offscreen: what it takes from the preferences,
// zoom steps and the optimal zoom, margins and the centred column,
// typewriter scrolling and centring, the gutter and invisibles switches,
// copying, the positions other views read, the text that stays still while
// the heights of blocks above it settle, and the scroll bar meanwhile.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "editor/view/find_bar.h"
#include "editor/view/kvx_layout_manager.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/line_numbers_ruler_view.h"
#include "editor/editor_test_support.h"
#include "editor/smart_view_support.h"
#include "platform/prefs/defaults.h"
#include "platform/text/font_resolver.h"
#include "editor/view_test_support.h"
#include "support/qt_wait.h"

using editortest::ShownEditor;
using editortest::ShownView;

namespace {

QString paragraphs(int count) {
    QString text;
    for (int i = 0; i < count; i++)
        text += QStringLiteral("Paragraph %1 with words enough to wrap once or twice in a narrow "
                               "column, so that its height depends on the width.\n\n")
                    .arg(i);
    return text;
}

double sampleWidth(const QFont &font) {
    return QFontMetricsF(font).horizontalAdvance(
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLM"));
}

// Headings, each taller than the height its length gives a block that
// waits for its layout.
QString headings(int count) {
    QString text;
    for (int i = 0; i < count; i++)
        text += QStringLiteral("# Heading %1\n\n").arg(i);
    return text + QStringLiteral("The end.\n");
}

// Whether the caret's line shows in the view (its middle, as a pixel's
// rounding may leave its last row out) once the blocks shown are painted
// and the heights around them have settled.
::testing::AssertionResult caretShownOnceSettled(KVXTextView &view) {
    testing_qt::spinFor(std::chrono::milliseconds(300));
    const QRect caret = view.cursorRect();
    if (view.viewport()->rect().contains(caret.center()))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "caret line at " << caret.top() << ".." << caret.bottom()
                                         << ", view 0.." << view.viewport()->height() - 1;
}

// The point at fraction `t` of the caret's line, in viewport pixels:
// centring puts it at fraction `t` of the visible height.
double caretAt(KVXTextView &view, double t = 0.5) {
    const QRect caret = view.cursorRect();
    return caret.top() + caret.height() * t;
}

}  // namespace

TEST(KVXTextView, TakesItsSettingsFromThePreferences) {
    ShownView shown([](platform::Defaults &d) {
        d.setInteger(150, QStringLiteral("defaultZoom"));
        d.setBool(true, QStringLiteral("defaultTypewriterMode"));
        d.setFloat(0.3f, QStringLiteral("typewriterHeight"));
        d.setBool(true, QStringLiteral("showInvisibleCharacters"));
        d.setInteger(25, QStringLiteral("horizontalPadding"));
        d.setInteger(35, QStringLiteral("verticalPadding"));
        d.setBool(false, QStringLiteral("checkSpelling"));
        d.setBool(true, QStringLiteral("checkGrammar"));
    });
    KVXTextView &view = shown.view();
    EXPECT_DOUBLE_EQ(view.zoomFactor(), 1.5);
    EXPECT_DOUBLE_EQ(shown.storage().zoomFactor(), 1.5);
    EXPECT_DOUBLE_EQ(view.verticalRulerView()->zoomFactor(), 1.5);
    EXPECT_TRUE(view.typewriterMode());
    EXPECT_FLOAT_EQ(float(view.typewriterHeight()), 0.3f);
    EXPECT_TRUE(view.showInvisibleCharacters());
    EXPECT_DOUBLE_EQ(view.rawHorizontalPadding(), 25);
    EXPECT_DOUBLE_EQ(view.rawVerticalPadding(), 35);
    EXPECT_DOUBLE_EQ(view.horizontalPadding(), 25 / 1.5);
    EXPECT_EQ(view.defaultFont().family(), QStringLiteral("DejaVu Sans"));
    // Kept as the preferences say, and otherwise unused.
    EXPECT_FALSE(view.systemTextSettings().continuousSpellChecking);
    EXPECT_TRUE(view.systemTextSettings().automaticSpellingCorrection);
    EXPECT_TRUE(view.systemTextSettings().grammarChecking);
    shown.defaults().setBool(true, QStringLiteral("smartQuotes"));
    EXPECT_TRUE(view.systemTextSettings().automaticQuoteSubstitution);

    // A font that does not exist gives the stand-in for Palatino at 12.
    ShownView fallback([](platform::Defaults &d) {
        d.setObject(QStringLiteral("No Such Face Anywhere"), QStringLiteral("defaultFontName"));
    });
    EXPECT_EQ(fallback.view().defaultFont().family(),
              platform::FontResolver::resolveFamily(QStringLiteral("Palatino")));
    EXPECT_DOUBLE_EQ(fallback.view().defaultFont().pointSizeF(), 12);
}

TEST(KVXTextView, ZoomStepsAreFoldedIntoTextMarginsAndGutter) {
    ShownView shown([](platform::Defaults &d) { d.setBool(true, QStringLiteral("showLineNumbers")); });
    shown.show(paragraphs(3));
    KVXTextView &view = shown.view();
    LineNumbersRulerView *ruler = view.verticalRulerView();
    const int thickness = ruler->ruleThickness();

    view.scaleBy(1.004f);
    view.scaleBy(0);
    EXPECT_EQ(view.zoomFactor(), 1.0);

    view.setAutoZoom(true);
    for (int i = 0; i < 10; i++)
        view.zoomIn();
    EXPECT_FALSE(view.autoZoom());
    EXPECT_NEAR(view.zoomFactor(), std::pow(1.1, 10), 1e-4);
    EXPECT_DOUBLE_EQ(shown.storage().zoomFactor(), view.zoomFactor());
    EXPECT_DOUBLE_EQ(ruler->zoomFactor(), view.zoomFactor());
    // The storage's fonts, the padding on screen and the gutter grow.
    EXPECT_NEAR(shown.storage().document()->defaultFont().pointSizeF(), 12 * view.zoomFactor(), 1e-3);
    EXPECT_NEAR(shown.storage().documentLayout()->leftPadding(), 40, 0.5);
    EXPECT_DOUBLE_EQ(view.horizontalPadding(), 40 / view.zoomFactor());
    ruler->updateLineInformation();
    EXPECT_GT(ruler->ruleThickness(), thickness * 2);
    for (int i = 0; i < 10; i++)
        view.zoomOut();
    EXPECT_NEAR(view.zoomFactor(), 1.0, 1e-6);

    // The step to a target passes through a float, as the step is one.
    view.setZoomFactorTo(2.0f);
    EXPECT_NEAR(view.zoomFactor(), 2.0, 1e-6);
    view.setZoomFactorTo(0);
    EXPECT_NEAR(view.zoomFactor(), 1.0, 1e-6);

    // Reset: exactly 1, then the default zoom.
    shown.defaults().setInteger(120, QStringLiteral("defaultZoom"));
    view.scaleBy(1.3f);
    view.resetZoomFactor();
    EXPECT_DOUBLE_EQ(view.zoomFactor(), 1.2000000476837158);  // the float 1.2
    ruler->updateLineInformation();
    EXPECT_DOUBLE_EQ(ruler->zoomFactor(), view.zoomFactor());
}

TEST(KVXTextView, MarginsCentreAColumnOfTheLineLength) {
    ShownView plain;
    plain.show(paragraphs(2), QSize(900, 300));
    LazyDocumentLayout *layout = plain.storage().documentLayout();
    EXPECT_DOUBLE_EQ(plain.view().idealWidth(), 10000.0);
    EXPECT_DOUBLE_EQ(layout->leftPadding(), 40);
    EXPECT_DOUBLE_EQ(layout->topPadding(), 60);
    EXPECT_DOUBLE_EQ(layout->bottomPadding(), 60);

    ShownView column([](platform::Defaults &d) { d.setInteger(50, QStringLiteral("lineLength")); });
    column.show(paragraphs(2), QSize(900, 300));
    KVXTextView &view = column.view();
    const double ideal = sampleWidth(view.defaultFont()) * 50 / 39;
    EXPECT_NEAR(view.idealWidth(), ideal, 1e-9);
    LazyDocumentLayout *centred = column.storage().documentLayout();
    const double width = view.viewport()->width();
    EXPECT_NEAR(centred->leftPadding(), (width - ideal) / 2, 1e-6);
    EXPECT_EQ(centred->leftPadding(), centred->rightPadding());

    // Too narrow for the column and its paddings: the padding alone.
    view.resize(int(ideal) + 60, 300);
    column.settle();
    EXPECT_DOUBLE_EQ(centred->leftPadding(), 40);

    // The preferences are followed as they change.
    view.resize(900, 300);
    column.defaults().setInteger(30, QStringLiteral("lineLength"));
    EXPECT_NEAR(centred->leftPadding(), (view.viewport()->width() - ideal * 30 / 50) / 2, 1e-6);
    column.defaults().setInteger(0, QStringLiteral("lineLength"));
    column.defaults().setInteger(70, QStringLiteral("horizontalPadding"));
    EXPECT_DOUBLE_EQ(centred->leftPadding(), 70);
    column.defaults().setInteger(20, QStringLiteral("verticalPadding"));
    EXPECT_DOUBLE_EQ(centred->topPadding(), 20);
}

TEST(KVXTextView, OptimalZoomFitsTheLineLengthToTheWidth) {
    ShownView shown([](platform::Defaults &d) { d.setInteger(40, QStringLiteral("lineLength")); });
    shown.show(paragraphs(2), QSize(1000, 400));
    KVXTextView &view = shown.view();
    view.toggleAutoZoom();
    EXPECT_TRUE(view.autoZoom());
    EXPECT_TRUE(shown.defaults().boolForKey(QStringLiteral("defaultAutoZoom")));
    const double z = view.zoomFactor();
    EXPECT_GT(z, 1.2);
    // The column at this zoom plus the two paddings fills the view.
    EXPECT_NEAR((view.idealWidth() * z + 2 * 40) / view.viewport()->width(), 1.0, 0.015);

    // Narrower: the zoom follows the width.
    view.resize(700, 400);
    shown.settle();
    EXPECT_LT(view.zoomFactor(), z);
    EXPECT_NEAR((view.idealWidth() * view.zoomFactor() + 2 * 40) / view.viewport()->width(), 1.0,
                0.015);

    // Off again: the default zoom.
    view.toggleAutoZoom();
    EXPECT_DOUBLE_EQ(view.zoomFactor(), 1.0);
    // No line length: the default zoom.
    shown.defaults().setInteger(0, QStringLiteral("lineLength"));
    view.setZoomToOptimal();
    EXPECT_DOUBLE_EQ(view.zoomFactor(), 1.0);
}

TEST(KVXTextView, TypewriterModeHoldsTheCaretLineAtItsHeight) {
    ShownView shown([](platform::Defaults &d) {
        d.setBool(true, QStringLiteral("defaultTypewriterMode"));
    });
    shown.show(paragraphs(60), QSize(600, 400));
    KVXTextView &view = shown.view();
    LazyDocumentLayout *layout = shown.storage().documentLayout();
    const double visible = view.viewport()->height();
    EXPECT_DOUBLE_EQ(view.viewHeight(), visible);
    EXPECT_DOUBLE_EQ(layout->topPadding(), visible / 2);
    EXPECT_DOUBLE_EQ(layout->bottomPadding(), visible / 2);

    // The first line, the middle and the last line each come to the middle.
    for (qsizetype at : {qsizetype(0), shown.storage().length() / 2, shown.storage().length()}) {
        view.setSelectedRange({at, 0});
        view.forceRecenterCaret();
        EXPECT_NEAR(caretAt(view), visible / 2, 1.0) << at;
    }

    // At another height, and after the preference changes.
    shown.defaults().setFloat(0.25f, QStringLiteral("typewriterHeight"));
    EXPECT_DOUBLE_EQ(layout->topPadding(), visible * 0.75);
    view.setSelectedRange({shown.storage().length() / 3, 0});
    view.forceRecenterCaret();
    EXPECT_NEAR(caretAt(view, 0.25), visible * 0.25, 1.0);

    // Typing recentres the caret.
    view.setSelectedRange({shown.storage().length() / 2, 0});
    shown.storage().replaceCharactersInRange(view.selectedRange(), QStringLiteral("x"));
    EXPECT_NEAR(caretAt(view, 0.25), visible * 0.25, 1.0);

    // Off: the padding of the preferences, and the selection kept in view.
    view.toggleTypewriterMode();
    EXPECT_FALSE(view.typewriterMode());
    EXPECT_FALSE(shown.defaults().boolForKey(QStringLiteral("defaultTypewriterMode")));
    EXPECT_DOUBLE_EQ(layout->topPadding(), 60);
    const QRect caret = view.cursorRect();
    EXPECT_TRUE(view.viewport()->rect().contains(caret.center()));
}

TEST(KVXTextView, CentringFollowsTheMovingEndAndRefusesRangesPastTheText) {
    ShownView shown([](platform::Defaults &d) {
        d.setBool(true, QStringLiteral("defaultTypewriterMode"));
        d.setBool(true, QStringLiteral("typewriterFollowsSelection"));
    });
    shown.show(paragraphs(60), QSize(600, 400));
    KVXTextView &view = shown.view();
    QScrollBar *bar = view.verticalScrollBar();
    const double visible = view.viewport()->height();
    const qsizetype middle = shown.storage().length() / 2;

    view.setSelectedRange({middle, 0});
    view.centerCaretUsingTarget(true);
    const int centred = bar->value();
    // No change of the selection: no scrolling, even when scrolled away.
    bar->setValue(centred - 100);
    view.centerCaretUsingTarget(true);
    EXPECT_EQ(bar->value(), centred - 100);

    // Extending the selection downwards follows its end.
    view.setSelectedRange({middle, 2000});
    view.centerCaretUsingTarget(true);
    const QRectF end = view.offsetRectForLocation({middle + 2000, 0});
    const double endMiddle = end.center().y() + shown.storage().documentLayout()->topPadding() -
                             bar->value();
    EXPECT_NEAR(endMiddle, visible / 2, 1.0);

    // An arrow key recentres before it moves the caret.
    view.setSelectedRange({middle, 0});
    bar->setValue(0);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(&view, &down);
    EXPECT_GT(bar->value(), centred - 60);

    editortest::LogCapture log;
    const int before = bar->value();
    view.centerRange({shown.storage().length() - 1, 5}, true);
    view.tryToCenterRange({shown.storage().length() + 1, 0}, 0);
    EXPECT_EQ(bar->value(), before);
    EXPECT_EQ(log.texts().count(QStringLiteral("failed sanity check on scroll")), 2);
}

TEST(KVXTextView, GutterAndInvisiblesSwitchesAndTheirMenuStates) {
    ShownView shown;
    shown.show(QStringLiteral("a\nb\n\nc"));
    KVXTextView &view = shown.view();
    platform::Defaults &d = shown.defaults();
    LineNumbersRulerView *ruler = view.verticalRulerView();
    QAction lines, paras, typewriter, zoom;
    auto states = [&] {
        view.validateUserInterfaceItem(QStringLiteral("toggleShowLineNumbers:"), &lines);
        view.validateUserInterfaceItem(QStringLiteral("toggleShowParagraphNumbers:"), &paras);
        return QString::fromLatin1("%1%2").arg(lines.isChecked()).arg(paras.isChecked());
    };
    EXPECT_FALSE(view.showLineNumbers());
    EXPECT_FALSE(ruler->isVisible());
    EXPECT_EQ(states(), QStringLiteral("00"));

    view.toggleShowLineNumbers();
    EXPECT_TRUE(view.showLineNumbers() && ruler->isVisible() && !view.countParasNotLines());
    EXPECT_TRUE(d.boolForKey(QStringLiteral("showLineNumbers")));
    EXPECT_EQ(view.viewport()->geometry().left() - view.contentsRect().left(), ruler->ruleThickness());
    EXPECT_EQ(states(), QStringLiteral("10"));

    // From line numbers to paragraph numbers: the gutter stays.
    view.toggleShowParagraphNumbers();
    EXPECT_TRUE(view.showLineNumbers() && view.countParasNotLines());
    EXPECT_TRUE(d.boolForKey(QStringLiteral("countParasNotLines")));
    EXPECT_EQ(states(), QStringLiteral("01"));
    // ... and back: still shown, numbering lines.
    view.toggleShowLineNumbers();
    EXPECT_TRUE(view.showLineNumbers() && !view.countParasNotLines());
    EXPECT_EQ(states(), QStringLiteral("10"));
    // Line numbers again: hidden.
    view.toggleShowLineNumbers();
    EXPECT_FALSE(view.showLineNumbers() || ruler->isVisible());
    EXPECT_FALSE(d.boolForKey(QStringLiteral("showLineNumbers")));
    EXPECT_EQ(view.viewport()->geometry().left(), view.contentsRect().left());
    // Paragraph numbers from nothing shows them; twice hides them.
    view.toggleShowParagraphNumbers();
    EXPECT_EQ(states(), QStringLiteral("01"));
    view.toggleShowParagraphNumbers();
    EXPECT_EQ(states(), QStringLiteral("00"));

    view.validateUserInterfaceItem(QStringLiteral("toggleTypewriterMode:"), &typewriter);
    view.validateUserInterfaceItem(QStringLiteral("toggleAutoZoom:"), &zoom);
    EXPECT_TRUE(typewriter.isCheckable() && !typewriter.isChecked());
    EXPECT_TRUE(zoom.isCheckable() && !zoom.isChecked());

    view.toggleShowInvisibleCharacters();
    EXPECT_TRUE(view.showInvisibleCharacters());
    EXPECT_TRUE(d.boolForKey(QStringLiteral("showInvisibleCharacters")));

    // A new view opens with the last choices.
    ShownView next([](platform::Defaults &d) {
        d.setBool(true, QStringLiteral("showLineNumbers"));
        d.setBool(true, QStringLiteral("countParasNotLines"));
    });
    EXPECT_TRUE(next.view().showLineNumbers() && next.view().countParasNotLines());
}

TEST(KVXTextView, CopiesTheRealTextPlainAndRich) {
    ShownView shown;
    // A carriage return and a no-break space, which the document shows
    // differently from what the text holds.
    const QString text = QString::fromUtf8("# Title\n\nSome **bold**\rtext\u00A0here.");
    shown.show(text);
    KVXTextView &view = shown.view();
    QClipboard *clipboard = QApplication::clipboard();

    view.setSelectedRange({3, 0});
    view.copy();
    EXPECT_EQ(clipboard->text(), text);
    view.setSelectedRange({9, 13});
    view.copyAsPlainText();
    EXPECT_EQ(clipboard->text(), QString::fromUtf8("Some **bold**"));
    QKeyEvent copyKey(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    view.setSelectedRange({0, 0});
    QApplication::sendEvent(&view, &copyKey);
    EXPECT_EQ(clipboard->text(), text);

    view.setSelectedRange({9, 13});
    view.copyAsRichText();
    const QMimeData *data = clipboard->mimeData();
    ASSERT_TRUE(data->hasHtml());
    EXPECT_EQ(data->text(), QString::fromUtf8("Some **bold**"));
    EXPECT_TRUE(data->html().contains(QStringLiteral("font-weight:700")));
    EXPECT_TRUE(data->html().contains(QStringLiteral("bold")));
    EXPECT_FALSE(data->html().contains(QStringLiteral("Title")));

    view.setSelectedRange({0, 0});
    view.copyAsRichText();
    EXPECT_EQ(clipboard->mimeData()->text(), text);
    EXPECT_TRUE(clipboard->mimeData()->html().contains(QStringLiteral("#1a1a80")));  // heading colour
}

TEST(KVXTextView, PositionsForOtherViews) {
    ShownView shown;
    shown.show(paragraphs(40), QSize(600, 400));
    KVXTextView &view = shown.view();
    LazyDocumentLayout *layout = shown.storage().documentLayout();
    const qsizetype n = shown.storage().length();

    // The caret line centred: its middle at half the visible height.
    view.setSelectedRange({n / 2, 0});
    view.centerCaretUsingTarget(false);
    EXPECT_NEAR(view.cursorPosition(), 0.5, 1.0 / view.viewport()->height());

    // The rectangle of a range is its lines' glyphs, from the text's top.
    const QTextBlock block = shown.storage().document()->findBlock(int(n / 2));
    const QRectF bounds = layout->blockBoundingRect(block);
    const QRectF first = view.offsetRectForLocation({block.position(), 4});
    EXPECT_NEAR(first.top(), bounds.top() - layout->topPadding(), 1e-6);
    EXPECT_NEAR(first.left(), bounds.left(), 1e-6);
    const QTextLine line = block.layout()->lineAt(0);
    EXPECT_NEAR(first.width(), line.cursorToX(4) - line.cursorToX(0), 1e-6);
    EXPECT_NEAR(first.height(), line.height(), 1e-6);
    const QRectF whole = view.offsetRectForLocation({block.position(), block.length() - 1});
    EXPECT_NEAR(whole.height(), bounds.height(), 1e-6);

    // Fractions of the document's height, growing down the text.
    const QRectF top = view.percentOffsetRectForRange({0, 0});
    const QRectF middle = view.percentOffsetRectForRange({n / 2, 5});
    const QRectF end = view.percentOffsetRectForRange({n, 0});
    EXPECT_GT(top.y(), 0);
    EXPECT_LT(top.y(), middle.y());
    EXPECT_LT(middle.y(), end.y());
    EXPECT_LT(end.y(), 1);
    EXPECT_NEAR(top.y(), (layout->topPadding() + line.height() / 2) / layout->documentSize().height(),
                0.002);
}

TEST(KVXTextView, ViewHeightIsReadFromAnyThreadWithoutWaitingForTheMainThread) {
    ShownView shown;
    shown.show(QStringLiteral("text"), QSize(500, 321));
    KVXTextView &view = shown.view();
    // The main thread blocks on the worker; a hop to the main thread would
    // never return.
    std::promise<double> height;
    std::thread worker([&] { height.set_value(view.viewHeight()); });
    std::future<double> result = height.get_future();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    worker.join();
    EXPECT_DOUBLE_EQ(result.get(), view.viewport()->height());
}

TEST(KVXTextView, TextStaysStillWhileHeightsAboveItSettle) {
    ShownView shown;
    shown.storage().setInitialText(paragraphs(3000));
    KVXTextView &view = shown.view();
    view.resize(500, 400);
    view.show();
    QCoreApplication::processEvents();
    LazyDocumentLayout *layout = shown.storage().documentLayout();
    ASSERT_FALSE(layout->isExact());
    // Jump far down while the blocks above are still estimates.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    QCoreApplication::processEvents();
    const QTextBlock shownFirst = view.blockAtDocumentY(view.verticalScrollBar()->value());
    const double offset = view.verticalScrollBar()->value() - layout->blockTop(shownFirst.blockNumber());
    // The idle passes lay the rest of the text in and style it, and every
    // height becomes exact (hurried on a slice at a time). The blocks laid
    // in so far may all be exact before the rest of the text is in: on a
    // loaded machine the styling ahead gets few turns.
    SmartTextStorage &storage = shown.storage();
    ASSERT_TRUE(testing_qt::spinUntil(
        [&] { return !storage.isLayingIn() && !storage.isStylingAhead() && !layout->layoutSome(5); },
        std::chrono::minutes(2)));
    QCoreApplication::processEvents();
    EXPECT_TRUE(layout->isExact());
    const int y = view.verticalScrollBar()->value();
    EXPECT_EQ(view.blockAtDocumentY(y).blockNumber(), shownFirst.blockNumber());
    EXPECT_NEAR(y - layout->blockTop(shownFirst.blockNumber()), offset, 1.0);
}

// While a long text is laid in and its heights settle, each idle slice
// changes the scroll range: the bar is painted only when its picture
// changes (in a window with a web view every paint composes the whole
// window again), and what the screen shows of it is always its picture of
// the moment, also while the handle is moved in the middle of it.
TEST(KVXTextView, TheScrollBarIsPaintedOnlyWhenItsPictureChanges) {
    ShownView shown;
    shown.storage().setInitialText(paragraphs(10000));
    KVXTextView &view = shown.view();
    view.resize(500, 400);
    view.show();
    QCoreApplication::processEvents();
    QScrollBar *bar = view.verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    bar->setValue(0);

    // The bar's paints, but for those of its pictures taken here.
    struct Paints : QObject {
        int count = 0;
        bool grabbing = false;
        bool eventFilter(QObject *, QEvent *event) override {
            if (event->type() == QEvent::Paint && !grabbing)
                count++;
            return false;
        }
    } paints;
    bar->installEventFilter(&paints);
    auto picture = [&] {
        paints.grabbing = true;
        const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
        paints.grabbing = false;
        return image;
    };
    auto onScreen = [&] {
        const QRect place(bar->mapTo(&view, QPoint(0, 0)), bar->size());
        return view.screen()
            ->grabWindow(view.winId(), place.x(), place.y(), place.width(), place.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    int rangeChanges = 0;
    QObject::connect(bar, &QScrollBar::rangeChanged, &paints, [&] { rangeChanges++; });

    SmartTextStorage &storage = shown.storage();
    LazyDocumentLayout *layout = storage.documentLayout();
    QImage last = picture();
    int pictureChanges = 0, stale = 0, turns = 0;
    bool moved = false;
    const QDeadlineTimer deadline(std::chrono::minutes(2));
    while ((storage.isLayingIn() || storage.isStylingAhead() || !layout->isSettled()) && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        turns++;
        if (!moved && rangeChanges >= 50) {
            // The handle moved in the middle of it all.
            moved = true;
            bar->setValue(bar->maximum() / 2);
            QCoreApplication::processEvents();
        }
        // What the bar does about the turn's changes, then its paint: each
        // posts the next, which the event that posts it leaves for later.
        for (int i = 0; i < 3; i++)
            QCoreApplication::sendPostedEvents();
        const QImage now = picture();
        if (now != last)
            pictureChanges++;
        if (onScreen() != now)
            stale++;
        last = now;
    }
    ASSERT_FALSE(deadline.hasExpired());
    ASSERT_TRUE(moved) << "the scroll range changed " << rangeChanges << " times in " << turns << " turns";
    EXPECT_EQ(stale, 0) << "of " << turns << " turns";
    // A paint more than the pictures may come as the view settles.
    EXPECT_LE(paints.count, pictureChanges + 2)
        << rangeChanges << " changes of the range, " << pictureChanges << " of the picture";
}

TEST(KVXTextView, SelectionIsRestoredAfterTheWholeTextIsReplaced) {
    ShownView shown;
    const QString text = QString::fromUtf8("Ünïcödé text before the mark, then the mark itself, and after it more.");
    shown.show(text);
    KVXTextView &view = shown.view();
    const qsizetype at = text.indexOf(QStringLiteral("mark itself"));
    view.setSelectedRange({at, 4});
    view.saveSelection();
    shown.storage().setInitialText(QString::fromUtf8("Ëxtra wörds at the start. ") + text);
    view.restoreSelection();
    EXPECT_EQ(view.selectedRange(), (CharRange{at + 26, 4}));
    EXPECT_EQ(view.textOfRange(view.selectedRange()), QStringLiteral("mark"));

    // At the end of the text: at the end of the new one.
    view.setSelectedRange({shown.storage().length(), 0});
    view.saveSelection();
    shown.storage().setInitialText(QStringLiteral("short"));
    view.restoreSelection();
    EXPECT_EQ(view.selectedRange(), (CharRange{5, 0}));
}

// A large text goes into the view's document from its start while the rest
// waits; a selection made far in lays in the text up to it (and a stretch
// after it) and is selected as asked, and a key or a click acts on the
// whole text: all of it is laid in before they reach the document.
TEST(KVXTextView, ATextStillBeingLaidInIsWholeForSelectionsKeysAndClicks) {
    ShownView shown;
    shown.show(QStringLiteral("short\n"));
    SmartTextStorage &storage = shown.storage();
    KVXTextView &view = shown.view();
    const QString text = paragraphs(4000);
    storage.setInitialText(text);
    ASSERT_TRUE(storage.isLayingIn());

    const qsizetype far = text.indexOf(QStringLiteral("Paragraph 3000 "));
    ASSERT_GT(far, storage.laidInLength());
    view.setSelectedRange({far, 14});
    EXPECT_EQ(view.selectedRange(), (CharRange{far, 14}));
    EXPECT_EQ(view.textCursor().selectedText(), QStringLiteral("Paragraph 3000"));
    EXPECT_GE(storage.laidInLength(), far + SmartTextStorage::kStyleAheadStretch);
    ASSERT_TRUE(storage.isLayingIn());

    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(&view, &end);
    EXPECT_FALSE(storage.isLayingIn());
    EXPECT_EQ(view.selectedRange(), (CharRange{storage.length(), 0}));
    EXPECT_EQ(editortest::shownText(storage), editortest::expectedShown(storage));

    storage.setInitialText(text + QStringLiteral("The end.\n"));
    ASSERT_TRUE(storage.isLayingIn());
    const QPoint inside(view.viewport()->width() / 2, 10);
    QMouseEvent press(QEvent::MouseButtonPress, inside, view.viewport()->mapToGlobal(inside), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, view.viewport()->mapToGlobal(inside), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &release);
    EXPECT_FALSE(storage.isLayingIn());
    EXPECT_EQ(editortest::shownText(storage), editortest::expectedShown(storage));
}

// In a tall document whose blocks not shown yet have the heights their
// lengths give, the caret moved to the end, or anywhere far off, shows in
// the view once the blocks around it have their real heights: the base
// view's own keys, the Markdown editor's and a selection made far off.
TEST(KVXTextView, TheCaretShowsWhereItWentInATallDocumentOfEstimatedHeights) {
    {
        ShownView shown;
        shown.storage().setInitialText(headings(3000));
        KVXTextView &view = shown.view();
        view.resize(600, 400);
        view.show();
        QCoreApplication::processEvents();
        ASSERT_FALSE(shown.storage().documentLayout()->isExact());
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QApplication::sendEvent(&view, &end);
        EXPECT_EQ(view.selectedRange(), (CharRange{shown.storage().length(), 0}));
        EXPECT_TRUE(caretShownOnceSettled(view));
        view.setSelectedRange({shown.storage().string().indexOf(QStringLiteral("Heading 1500")), 0});
        view.makeCaretVisible();
        EXPECT_TRUE(caretShownOnceSettled(view));
    }
    {
        ShownEditor shown;
        shown.storage().setInitialText(headings(3000));
        SmartTextView &view = shown.view();
        view.resize(600, 400);
        view.show();
        QCoreApplication::processEvents();
        ASSERT_FALSE(shown.storage().documentLayout()->isExact());
        shown.press(Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(shown.selection(), (CharRange{shown.storage().length(), 0}));
        EXPECT_TRUE(caretShownOnceSettled(view));
        shown.press(Qt::Key_Home, Qt::ControlModifier);
        EXPECT_TRUE(caretShownOnceSettled(view));
    }
}

