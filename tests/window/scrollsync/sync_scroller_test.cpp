// When a scroll may be synchronised, and the editor's side of the scroll
// fractions, without a web page.
#include "window/scrollsync/sync_scroller.h"

#include "support/test_preferences.h"
#include "window/preview/preview_preferences.h"
#include "window/scrollsync/scroll_fraction.h"
#include "window/bridge/engine_scroll_map_source.h"
#include "window/preview/kvx_text_view_surface.h"
#include "window/bridge/tzr_engine.h"

#include "library/d_string.h"
#include "window/preview/text_edit_surface.h"
#include "editor/view/kvx_text_view.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/storage/smart_text_storage.h"
#include "platform/prefs/registered_defaults.h"
#include "window/widget_test_support.h"

#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextEdit>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

namespace {

class SyncScrollerTest : public ::testing::Test {
protected:
    void SetUp() override {
        edit.resize(400, 300);
        edit.setPlainText(QString("line\n").repeated(400));
        window_test::showAt(edit, QSize(400, 300));
        scroller.linkToTextView(&surface);
    }

    void wheel(Qt::KeyboardModifiers modifiers) {
        QWidget *target = edit.viewport();
        const QPointF at(10, 10);
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    }
    bool validWith(qint64 key, bool always, Qt::KeyboardModifiers modifiers) {
        prefs.insert(preview::SyncScrollModifierKey, key);
        prefs.insert(preview::AlwaysSyncScroll, always);
        wheel(modifiers);
        return scroller.isValidScrollAction();
    }

    TestPreferences prefs;
    QTextEdit edit;
    TextEditSurface surface{&edit};
    SyncScroller scroller;
};

}  // namespace

// Only wheel events start a synchronised scroll; with "alwaysSyncScroll" the
// modifier holds it back, without it only the modifier lets it go. 1 is
// Option, 2 Control, 3 Shift, anything else Command.
TEST_F(SyncScrollerTest, SynchronisesWheelScrollsByTheModifierRule) {
    EXPECT_FALSE(scroller.isValidScrollAction());  // no wheel yet
    EXPECT_TRUE(validWith(3, true, Qt::NoModifier));
    EXPECT_FALSE(validWith(3, true, Qt::ShiftModifier));
    EXPECT_TRUE(validWith(3, true, Qt::ControlModifier));
    EXPECT_FALSE(validWith(3, false, Qt::NoModifier));
    EXPECT_TRUE(validWith(3, false, Qt::ShiftModifier));
    EXPECT_TRUE(validWith(3, false, Qt::ShiftModifier | Qt::AltModifier));
    for (qint64 command : {0, 7, 42}) {
        EXPECT_TRUE(validWith(command, false, Qt::ControlModifier)) << command;
        EXPECT_FALSE(validWith(command, false, Qt::ShiftModifier)) << command;
    }
    EXPECT_TRUE(validWith(1, false, Qt::AltModifier));
    EXPECT_TRUE(validWith(2, false, Qt::MetaModifier));
    EXPECT_FALSE(validWith(2, false, Qt::ControlModifier));

    // A key pressed since is the current event: scrolling by keyboard does not
    // synchronise.
    EXPECT_TRUE(validWith(3, true, Qt::NoModifier));
    QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(&edit, &key);
    EXPECT_FALSE(scroller.isValidScrollAction());
    // So is a press on the scroll bar.
    wheel(Qt::NoModifier);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), edit.verticalScrollBar()->mapToGlobal(QPointF(2, 2)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit.verticalScrollBar(), &press);
    EXPECT_FALSE(scroller.isValidScrollAction());

    EXPECT_TRUE(SyncScroller::isGlobalPoint(edit.mapToGlobal(QPoint(5, 5)), &edit));
    EXPECT_FALSE(SyncScroller::isGlobalPoint(edit.mapToGlobal(QPoint(-5, 5)), &edit));
    EXPECT_FALSE(SyncScroller::isGlobalPoint(QPoint(), nullptr));
}

// Without a page there is no map: nothing is built and nothing moves.
TEST_F(SyncScrollerTest, BuildsNoMapWithoutAPage) {
    EXPECT_FALSE(scroller.updateScrollMap());
    EXPECT_FALSE(scroller.isScrollMapUpToDate());
    const int before = edit.verticalScrollBar()->value();
    scroller.scrollEditToMatchWeb();
    scroller.scrollWebToMatchEdit();
    EXPECT_EQ(edit.verticalScrollBar()->value(), before);
}

// The editor's scroll position as a fraction of its document, both ways; a
// document without height moves nothing.
TEST_F(SyncScrollerTest, ReadsAndSetsTheEditorsPositionAsAFraction) {
    QScrollBar &bar = *edit.verticalScrollBar();
    const double documentHeight = bar.maximum() + bar.pageStep();
    scrollsync::centerVisibleAtTotalPercentage(bar, 0.5);
    EXPECT_NEAR(bar.value(), documentHeight * 0.5 - bar.pageStep() * 0.5, 1);
    EXPECT_NEAR(scrollsync::totalPercentageAtCenter(bar), 0.5, 1.0 / documentHeight);
    scrollsync::topVisibleAtTotalPercentage(bar, 0.25);
    EXPECT_NEAR(bar.value(), documentHeight * 0.25, 1);
    scrollsync::slidingAlignmentAtTotalPercentage(bar, 1.0);
    EXPECT_EQ(bar.value(), bar.maximum());
    scrollsync::centerVisibleAtTotalPercentage(bar, std::nan(""));
    EXPECT_EQ(bar.value(), bar.maximum());

    EXPECT_TRUE(std::isnan(scrollsync::totalPercentageAtCenter(0, 100, 0)));
    EXPECT_TRUE(std::isnan(scrollsync::alignedTop(0.5, 0.5, 100, 0)));
    EXPECT_DOUBLE_EQ(scrollsync::alignedTop(0.5, 7, 100, 1000), 400);  // the height is clamped to 1

    // Where a range of the text lies: the middle of its first line, as a
    // fraction of the document.
    const QRectF first = surface.percentOffsetRectForRange(0, 4);
    const QRectF middle = surface.percentOffsetRectForRange(200 * 5, 4);
    EXPECT_GT(first.top(), 0);
    EXPECT_NEAR(middle.top(), 0.5, 0.01);
    EXPECT_NEAR(middle.height(), first.height(), 1e-9);
    EXPECT_EQ(surface.viewHeight(), edit.viewport()->height());
    edit.moveCursor(QTextCursor::Start);
    bar.setValue(0);
    EXPECT_GT(surface.cursorPosition(), 0);
    EXPECT_LT(surface.cursorPosition(), 0.2);
}

// The editor view's positions and its scroll bar speak of the same document:
// a line centred by its fraction stands in the middle of the view, and its
// text reaches the map as the buffer's UTF-8.
TEST(KVXTextViewSurfaceTest, PlacesLinesInTheScrollBarsOwnFractions) {
    platform::ScopedStandardDefaults scope;
    SmartTextStorage storage(scope.defaults());
    KVXTextView view(&storage, &scope.defaults());
    QString text;
    for (int i = 0; i < 400; i++)
        text += QStringLiteral("Line %1 with caf\u00e9 in it\n").arg(i);
    storage.setInitialText(text);
    window_test::showAt(view, QSize(500, 400));
    storage.documentLayout()->finishLayout();
    KVXTextViewSurface surface(&view);
    EXPECT_EQ(surface.utf8Text(), text.toUtf8());
    EXPECT_EQ(surface.viewHeight(), view.viewHeight());
    const qsizetype line = text.indexOf(QStringLiteral("Line 250 "));
    const QRectF rect = surface.percentOffsetRectForRange(line, 8);
    scrollsync::centerVisibleAtTotalPercentage(*surface.verticalScrollBar(), rect.top());
    QTextCursor caret(view.document());
    caret.setPosition(int(line));
    view.setTextCursor(caret);
    scrollsync::centerVisibleAtTotalPercentage(*surface.verticalScrollBar(), rect.top());
    EXPECT_NEAR(surface.cursorPosition(), 0.5, 0.02);
    EXPECT_NEAR(scrollsync::totalPercentageAtCenter(*surface.verticalScrollBar()), rect.top(), 0.002);
}

// The map parses what the preview shows: the text with the document's header
// text put in front, as the engine bridge prepares it.
TEST(EngineScrollMapSourceTest, PreparesTheTextAsTheBridgeDoes) {
    platform::ScopedStandardDefaults scope;
    TZREngine engine;
    EngineScrollMapSource source(&engine);
    EXPECT_EQ(source.extensions(), TZREngine::extensions());
    DString *text = d_string_new("tzrheader: Read me first.\n\n# Title\n");
    source.prepareSource(text, 0, source.extensions());
    // Once in the metadata, once as text before the heading.
    const QString prepared = QString::fromUtf8(text->str);
    EXPECT_EQ(prepared.count("Read me first."), 2) << text->str;
    EXPECT_LT(prepared.lastIndexOf("Read me first."), prepared.indexOf("# Title"));
    d_string_free(text, true);
}
