// The preview's update cycle against a page that answers when the test says.
#include "window/preview/preview_controller.h"

#include "library/tzr.h"
#include "window/scrollsync/scroll_map.h"

#include "window/preview/editor_surface.h"
#include "support/test_preferences.h"
#include "window/preview/preview_preferences.h"
#include "window/widget_test_support.h"

#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <limits>

namespace {

// What a step waits for comes at once at full speed, but making a long
// page's scripts under the sanitizers on a busy machine takes seconds: a step
// fails only after a minute.
bool waitUntil(const std::function<bool()> &done) { return window_test::waitUntil(done, 60000); }

// A page that records what it is asked and answers on demand.
class FakePage : public PreviewPageDriver {
public:
    struct Script {
        QString text;
        World world;
        ScriptDone done;
        QString kind() const {
            if (text.contains(u"'@media screen{body {margin-top: ' + margin"))
                return "margins";
            if (text.contains(u"function firstBelow"))
                return "parts-in-view";
            if (text.contains(u"window.orvanePartRatio = ratio"))
                return "size-parts";
            if (text.contains(u"function put("))
                return "parts";
            if (text.contains(u"if (!replaceRuns("))
                return "patch";
            if (text.contains(u"body.innerHTML = "))
                return "body";
            if (text.contains(u"window.orvaneBlocks = body ? split"))
                return "map";
            if (text.contains(u"JSON.stringify"))
                return "geometry";
            if (text.contains(u"orvaneTypesetter.addAll"))
                return "typeset";
            if (text.contains(u"t.setAll("))
                return "set-all";
            if (text.contains(u"TZRHTMLSCROLLPOINT"))
                return "anchor";
            if (text.contains(u"scrollTo"))
                return "restore";
            return "other";
        }
    };
    struct Load {
        QString html;
        QUrl base;
        std::function<void(bool)> done;
    };

    bool hidden = false;
    QPointF scroll;
    double zoom = 1;
    std::deque<Load> loads;
    std::deque<Script> scripts;
    QStringList log;  // kinds of everything asked, in order
    qsizetype longestScript = 0;

    bool isHiddenInWindow() const override { return hidden; }
    void load(const QString &html, const QUrl &base, std::function<void(bool)> done) override {
        loads.push_back({html, base, std::move(done)});
        log << "load";
    }
    // As the view does: each load given up is told so at once.
    void abandonLoad() override {
        log << "abandon";
        while (!loads.empty())
            finishLoad(false);
    }
    void run(const QString &script, World world, ScriptDone done) override {
        longestScript = std::max(longestScript, script.size());
        scripts.push_back({script, world, std::move(done)});
        log << scripts.back().kind();
    }
    QPointF scrollPosition() const override { return scroll; }
    void setZoom(double factor) override { zoom = factor; }

    // Answers the oldest pending load.
    void finishLoad(bool ok = true) {
        ASSERT_FALSE(loads.empty());
        Load load = std::move(loads.front());
        loads.pop_front();
        load.done(ok);
    }
    // Answers the oldest pending script of a kind with `result` (or as
    // unanswered).
    void answer(const QString &kind, const QVariant &result, bool finished = true) {
        for (auto it = scripts.begin(); it != scripts.end(); ++it) {
            if (it->kind() == kind) {
                Script script = std::move(*it);
                scripts.erase(it);
                if (script.done)
                    script.done(finished, result);
                return;
            }
        }
        ADD_FAILURE() << "no pending script of kind " << kind.toStdString();
    }
    bool pending(const QString &kind) const {
        for (const Script &script : scripts)
            if (script.kind() == kind)
                return true;
        return false;
    }
    const Script *last(const QString &kind) const {
        for (auto it = scripts.rbegin(); it != scripts.rend(); ++it)
            if (it->kind() == kind)
                return &*it;
        return nullptr;
    }
    // Answers every pending script that is not a refresh (geometry, map,
    // scrolling) as the real page would.
    void settle() {
        for (const char *kind : {"map", "anchor", "restore", "typeset", "size-parts", "other"})
            while (pending(kind))
                answer(kind, true);
        while (pending("geometry"))
            answer("geometry", R"({"documentHeight": 1000, "viewHeight": 400, "scrollY": 0,
                                   "body": [8, 100, 600, 800], "nodes": []})");
    }
};

class FakeEditor : public EditorSurface {
public:
    double height = 500;
    double cursor = 0.25;
    QWidget *editorWidget() const override { return nullptr; }
    QScrollBar *verticalScrollBar() const override { return nullptr; }
    double viewHeight() const override { return height; }
    double cursorPosition() const override { return cursor; }
    QRectF percentOffsetRectForRange(qsizetype, qsizetype) const override { return {}; }
    QByteArray utf8Text() const override { return {}; }
};

QString page(const QString &body) {
    return "<!DOCTYPE html>\n<html>\n<head>\n<title>t</title>\n</head>\n<body>\n" + body + "\n</body>\n</html>\n";
}

class PreviewControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        controller.setEditor(&editor);
    }

    // Thaws the preview and finishes its first load.
    void thawWith(const QString &html) {
        controller.updatePreview(html);
        controller.thawAndReload();
        ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
        fake.finishLoad();
        fake.settle();
        ASSERT_TRUE(waitUntil([&] { return !controller.isUpdating(); }));
    }
    bool idle() { return waitUntil([&] { return !controller.isUpdating(); }); }

    TestPreferences prefs;
    FakePage fake;
    FakeEditor editor;
    PreviewController controller{&fake};
};

}  // namespace

// Nothing is loaded while frozen, yet the newest HTML is kept and shown by the
// reload at thaw; the loaded page carries the head content and the block
// markers, which the map script then takes out.
TEST_F(PreviewControllerTest, KeepsTheNewestHtmlWhileFrozenAndShowsItAtThaw) {
    controller.updatePreview(page("<p>one</p>"));
    controller.updatePreview(page("<p>two</p>\n<p>three</p>"));
    controller.reloadPreview();
    QCoreApplication::processEvents();
    EXPECT_TRUE(fake.log.isEmpty());
    EXPECT_EQ(controller.baseSourceHTML(), page("<p>two</p>\n<p>three</p>"));

    controller.thawAndReload();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    const FakePage::Load &load = fake.loads.front();
    EXPECT_EQ(load.base, preview::untitledPreviewUrl());
    EXPECT_TRUE(load.html.contains(u"margin-top: 449px"));
    EXPECT_FALSE(load.html.contains(u"<title>"));
    EXPECT_TRUE(load.html.contains(u"<body>\n<!--orvane-block--><p>two</p>\n<!--orvane-block--><p>three</p>\n</body>"));
    EXPECT_FALSE(controller.currentSourceHTML().contains(u"orvane-block"));
    fake.finishLoad();
    ASSERT_TRUE(fake.pending("map"));
    EXPECT_TRUE(fake.last("map")->text.contains(u"split(body, 3)"));
    fake.answer("map", true);
    EXPECT_TRUE(controller.knowsPageBlocks());
    EXPECT_TRUE(fake.pending("anchor"));  // the block under the caret is put in place
    EXPECT_TRUE(idle());
}

// While a refresh runs, newer HTML is parked: the first is shown, the second
// dropped, the third shown once after the first finishes; only the changed
// block goes to the page.
TEST_F(PreviewControllerTest, CoalescesUpdatesSoThatTheNewestWins) {
    thawWith(page("<p>a</p>\n<p>b</p>"));
    fake.log.clear();
    controller.updatePreview(page("<p>a</p>\n<p>1</p>"));
    controller.updatePreview(page("<p>a</p>\n<p>2</p>"));
    controller.updatePreview(page("<p>a</p>\n<p>3</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    const FakePage::Script *first = fake.last("patch");
    EXPECT_TRUE(first->text.contains(u"\"<p>1<\\/p>\\n\""));
    EXPECT_TRUE(first->text.contains(u"replaceRuns([[2,1,1,"));
    // The page is put in place by the same script, so no frame shows the
    // change at the old position.
    EXPECT_TRUE(first->text.contains(u"TZRHTMLSCROLLPOINT"));
    EXPECT_EQ(first->world, PreviewPageDriver::World::Application);
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    EXPECT_TRUE(fake.last("patch")->text.contains(u"\"<p>3<\\/p>\\n\""));
    fake.answer("patch", true);
    fake.settle();
    EXPECT_TRUE(idle());
    EXPECT_EQ(fake.log.count("patch"), 2);
    EXPECT_EQ(fake.log.count("load"), 0);
    EXPECT_EQ(controller.baseSourceHTML(), page("<p>a</p>\n<p>3</p>"));
}

// Hidden: the HTML does not reach the page, but the newest is held and goes
// in once the view shows, even the one parked behind a refresh that ends
// after the view was hidden (a tab passed through while its cycle ran).
TEST_F(PreviewControllerTest, HoldsTheNewestHtmlWhileHiddenAndShowsItOnceShown) {
    thawWith(page("<p>a</p>"));
    fake.log.clear();
    fake.hidden = true;
    controller.updatePreview(page("<p>b</p>"));
    controller.updatePreview(page("<p>c</p>"));
    controller.shown();  // shown in a window that is itself hidden
    EXPECT_EQ(controller.baseSourceHTML(), page("<p>a</p>"));
    EXPECT_TRUE(idle());
    EXPECT_TRUE(fake.log.isEmpty());

    fake.hidden = false;
    controller.shown();
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    EXPECT_TRUE(fake.last("patch")->text.contains(u"<p>c<\\/p>"));
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(idle());
    controller.shown();  // nothing held any more
    EXPECT_TRUE(idle());
    EXPECT_EQ(fake.log.count("patch"), 1);

    controller.updatePreview(page("<p>d</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    controller.updatePreview(page("<p>e</p>"));  // parked behind the refresh
    fake.hidden = true;
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_EQ(controller.baseSourceHTML(), page("<p>d</p>"));
    fake.hidden = false;
    controller.shown();
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    EXPECT_TRUE(fake.last("patch")->text.contains(u"<p>e<\\/p>"));
    fake.answer("patch", true);
    fake.settle();
    EXPECT_TRUE(idle());
    EXPECT_EQ(controller.baseSourceHTML(), page("<p>e</p>"));
}

// A page is not loaded while hidden (a tab behind the one in front): a load
// under way when the view is hidden is given up, and one asked for while
// hidden (a new style sheet, say) waits; the page is loaded once the view
// shows, with the newest HTML. So is one whose refresh was still being
// prepared when the view was hidden.
TEST_F(PreviewControllerTest, APageIsLoadedOnlyOnceItsViewShows) {
    thawWith(page("<p>a</p>"));
    fake.log.clear();
    controller.reloadPreview();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.hidden = true;
    controller.hidden();
    EXPECT_TRUE(fake.loads.empty());
    EXPECT_EQ(fake.log.count("abandon"), 1);
    EXPECT_TRUE(idle());
    EXPECT_FALSE(controller.knowsPageBlocks());
    controller.updatePreview(page("<p>b</p>"));
    controller.applyCSSFromPath(QString());
    controller.shown();  // shown in a window that is itself hidden
    EXPECT_TRUE(idle());
    EXPECT_EQ(fake.log.count("load"), 1);
    EXPECT_FALSE(fake.log.contains("patch") || fake.log.contains("body")) << fake.log.join(' ').toStdString();

    fake.hidden = false;
    controller.shown();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>b</p>"));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(controller.knowsPageBlocks());
    EXPECT_EQ(fake.log.count("load"), 2);

    // Hidden while the page to load is still being prepared: nothing is
    // loaded until shown, and then the HTML it had.
    fake.log.clear();
    controller.reloadPreview();
    fake.hidden = true;
    controller.hidden();
    EXPECT_TRUE(idle());
    EXPECT_EQ(fake.log.count("load"), 0);
    fake.hidden = false;
    controller.shown();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>b</p>"));
    fake.finishLoad();
    fake.settle();
    EXPECT_TRUE(idle());
    EXPECT_EQ(fake.log.count("load"), 1);
    EXPECT_TRUE(controller.knowsPageBlocks());
}

// A thaw, or a refresh, before any HTML came (on a loaded machine the
// window thaws its preview before the engine publishes) loads nothing: the
// first HTML is loaded as the page, which runs the document's own scripts,
// rather than put by script into an empty page loaded first, which runs
// none of them.
TEST_F(PreviewControllerTest, ThePageBeforeAnyHtmlCameIsTheFirstHtmlLoaded) {
    controller.thawAndReload();
    controller.refreshPreview();
    QCoreApplication::processEvents();
    EXPECT_TRUE(fake.log.isEmpty());
    controller.updatePreview(page("<p>first</p>\n<script>document.title = 'ran';</script>"));
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<script>document.title = 'ran';</script>"));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_EQ(fake.log.count("load"), 1);
    EXPECT_FALSE(fake.log.contains("body") || fake.log.contains("patch")) << fake.log.join(' ').toStdString();
    EXPECT_TRUE(controller.knowsPageBlocks());
}

// The page is reloaded in full when asked, when "alwaysReloadPreview" is on,
// and when the HTML has no body to put in.
TEST_F(PreviewControllerTest, ReloadsWhenTheBodyCannotOrShouldNotBeReplaced) {
    thawWith(page("<p>a</p>"));
    controller.setReloadNextUpdate(true);
    controller.updatePreview(page("<p>b</p>"));
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_FALSE(controller.reloadNextUpdate());
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());

    prefs.insert(preview::AlwaysReloadPreview, true);
    controller.updatePreview(page("<p>c</p>"));
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());
    prefs.remove(preview::AlwaysReloadPreview);

    // A fragment gets an empty document in front; its body is not there to
    // replace, so the whole page loads and the fragment is not lost.
    controller.updatePreview("<p>fragment</p>");
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.endsWith("<p>fragment</p>"));
    fake.finishLoad();
    fake.settle();
    EXPECT_TRUE(idle());
    EXPECT_FALSE(controller.knowsPageBlocks());
    EXPECT_EQ(fake.log.count("patch") + fake.log.count("body"), 0);
}

// A patch that finds a different page gives way to the whole body; a page
// that does not answer, or whose process died, is loaded afresh next time;
// either way later updates go through.
TEST_F(PreviewControllerTest, RecoversFromAPageThatIsNotWhatItSeemsOrDoesNotAnswer) {
    thawWith(page("<p>a</p>"));
    controller.updatePreview(page("<p>b</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    fake.answer("patch", false);
    ASSERT_TRUE(fake.pending("body"));
    fake.answer("body", 2);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(controller.knowsPageBlocks());

    controller.updatePreview(page("<p>c</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    fake.answer("patch", QVariant(), false);  // the watchdog gave up
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_FALSE(controller.knowsPageBlocks());
    controller.updatePreview(page("<p>d</p>"));
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());

    // The process dies: one reload at once; a second death soon after waits
    // for the next update.
    fake.log.clear();
    controller.renderProcessGone();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad(false);
    fake.settle();
    ASSERT_TRUE(idle());
    controller.renderProcessGone();
    QCoreApplication::processEvents();
    EXPECT_EQ(fake.log.count("load"), 1);
    controller.updatePreview(page("<p>e</p>"));
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>e</p>"));
}

// A burst of changes whose refresh fails (the page did not answer, then the
// load of the newest HTML failed) leaves no later change to bring the page
// up to date: the preview tries the newest HTML again by itself, so that it
// ends showing the text as typed.
TEST_F(PreviewControllerTest, EndsShowingTheNewestHtmlAfterARefreshThatFailed) {
    thawWith(page("<p>a</p>"));
    controller.updatePreview(page("<p>b</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    controller.updatePreview(page("<p>c</p>"));
    controller.updatePreview(page("<p>last</p>"));
    fake.answer("patch", QVariant(), false);
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>last</p>"));
    fake.finishLoad(false);
    fake.settle();

    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>last</p>"));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(controller.knowsPageBlocks());
}

// A change that fails in the page (its script errs, or the page has no body
// for it) leaves the page unknown: the page gets the whole body, and when
// that fails too it is loaded afresh with the newest HTML, by itself.
TEST_F(PreviewControllerTest, AChangeThatFailsInThePageEndsInAWholeReload) {
    thawWith(page("<p>a</p>"));
    controller.updatePreview(page("<p>b</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    fake.answer("patch", QVariant());
    ASSERT_TRUE(fake.pending("body"));
    fake.answer("body", QVariant());
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_FALSE(controller.knowsPageBlocks());
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>b</p>"));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());

    // The same for a page that has lost its body.
    controller.updatePreview(page("<p>c</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    fake.answer("patch", false);
    fake.answer("body", 0);
    fake.settle();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>c</p>"));
}

// A page that fails every time is tried again at waits that double, up to
// a longest one, and changes wait with it (the retry loads the newest
// HTML); the user's refresh does not wait, and a change that goes in ends
// the waiting.
TEST_F(PreviewControllerTest, FailuresInARowAreRetriedAtGrowingWaits) {
    thawWith(page("<p>a</p>"));
    controller.updatePreview(page("<p>b</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    fake.answer("patch", QVariant(), false);
    fake.settle();
    ASSERT_TRUE(idle());
    int wait = PreviewController::RetryFailedMilliseconds;
    EXPECT_EQ(controller.retryDelay(), wait);
    while (wait < PreviewController::RetryLongestMilliseconds) {
        controller.reloadPreview();  // as the retry does when its wait is over
        ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
        fake.finishLoad(false);
        fake.settle();
        ASSERT_TRUE(idle());
        wait = std::min(2 * wait, PreviewController::RetryLongestMilliseconds);
        EXPECT_EQ(controller.retryDelay(), wait);
    }

    fake.log.clear();
    controller.updatePreview(page("<p>newest</p>"));
    ASSERT_TRUE(idle());
    EXPECT_TRUE(fake.log.isEmpty());
    EXPECT_EQ(controller.baseSourceHTML(), page("<p>newest</p>"));

    controller.refreshPreview();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>newest</p>"));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());
    controller.updatePreview(page("<p>typed</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_EQ(controller.retryDelay(), 0);
}

// The window resized: the page lays itself out at each new size, so
// nothing goes to it (the newest HTML is kept) until the resize is over; it
// is then loaded at once, also while failures before had a retry waiting,
// and failures count from the first again. A change the page left
// unanswered once the resize began is no failure. A reload asked for while
// a refresh ran does not wait for a retry either.
TEST_F(PreviewControllerTest, ChangesWaitWhileTheWindowIsResizedAndItsReloadWaitsForNoRetry) {
    thawWith(page("<p>a</p>"));
    // Two failures in a row: the retry waits 2 s, and changes with it.
    controller.updatePreview(page("<p>b</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    fake.answer("patch", QVariant(), false);
    fake.settle();
    ASSERT_TRUE(idle());
    controller.reloadPreview();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad(false);
    fake.settle();
    ASSERT_TRUE(idle());
    ASSERT_EQ(controller.retryDelay(), 2 * PreviewController::RetryFailedMilliseconds);

    fake.log.clear();
    controller.windowResizing();
    controller.updatePreview(page("<p>c</p>"));
    controller.updatePreview(page("<p>d</p>"));
    ASSERT_TRUE(idle());
    EXPECT_TRUE(fake.log.isEmpty()) << fake.log.join(' ').toStdString();
    controller.windowResized();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>d</p>"));
    EXPECT_EQ(controller.retryDelay(), 0);
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());

    // A change on its way as the resize begins, left unanswered.
    controller.updatePreview(page("<p>e</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    controller.windowResizing();
    controller.updatePreview(page("<p>f</p>"));
    fake.answer("patch", QVariant(), false);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_EQ(controller.retryDelay(), 0);
    EXPECT_TRUE(fake.loads.empty());
    controller.windowResized();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>f</p>"));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());

    // Failures in a row again, and a reload asked for while one runs, with a
    // change waiting behind it: the reload goes as soon as the refresh ends.
    controller.updatePreview(page("<p>g</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    fake.answer("patch", QVariant(), false);
    fake.settle();
    ASSERT_TRUE(idle());
    controller.reloadPreview();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    controller.reloadPreview();
    controller.updatePreview(page("<p>h</p>"));
    fake.finishLoad(false);
    fake.settle();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>h</p>"));
    EXPECT_GT(controller.retryDelay(), 0);  // its wait is not over
}

// At the end of a resize a page known block by block keeps its place and
// its text: its margins follow the editor's new height in place (no load,
// no scroll to the anchor, which a caret moved since would have left
// behind), and only the changes that waited during the resize then go in,
// put where they were made. A resize that ends during a refresh fits the
// page after it, before the change parked behind it. A page that does not
// answer, or has no margins of the preview's, is loaded afresh.
TEST_F(PreviewControllerTest, AResizeFitsThePagesMarginsInPlaceAndThenPutsInTheChangesThatWaited) {
    thawWith(page("<p>a</p>"));
    fake.log.clear();
    editor.height = 700;
    controller.windowResizing();
    controller.windowResized();
    ASSERT_TRUE(waitUntil([&] { return fake.pending("margins"); }));
    EXPECT_TRUE(fake.last("margins")->text.endsWith(QStringLiteral("(%1)").arg(preview::bodyMargin(700))));
    fake.answer("margins", true);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_EQ(fake.log.count("load"), 0);
    EXPECT_EQ(fake.log.count("anchor"), 0) << fake.log.join(' ').toStdString();

    controller.windowResizing();
    controller.updatePreview(page("<p>b</p>"));
    controller.windowResized();
    ASSERT_TRUE(waitUntil([&] { return fake.pending("margins"); }));
    EXPECT_FALSE(fake.pending("patch"));
    fake.answer("margins", true);
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    EXPECT_TRUE(fake.last("patch")->text.contains(u"<p>b<\\/p>"));
    EXPECT_TRUE(fake.last("patch")->text.contains(u"TZRHTMLSCROLLPOINT"));
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(controller.currentSourceHTML().contains(QStringLiteral("margin-top: %1px").arg(preview::bodyMargin(700))));

    // The resize ends while a change is on its way, another parked behind.
    fake.log.clear();
    controller.updatePreview(page("<p>c</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    controller.windowResizing();
    controller.updatePreview(page("<p>d</p>"));
    controller.windowResized();
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(waitUntil([&] { return fake.pending("margins"); }));
    fake.answer("margins", true);
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    EXPECT_TRUE(fake.last("patch")->text.contains(u"<p>d<\\/p>"));
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_EQ(fake.log.count("load"), 0);

    for (bool answered : {false, true}) {
        controller.windowResizing();
        controller.windowResized();
        ASSERT_TRUE(waitUntil([&] { return fake.pending("margins"); }));
        fake.answer("margins", answered ? QVariant(false) : QVariant(), answered);
        ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); })) << "answered " << answered;
        EXPECT_TRUE(fake.loads.front().html.contains(u"<p>d</p>"));
        fake.finishLoad();
        fake.settle();
        ASSERT_TRUE(idle());
    }
}

// A page ended for what it did (it took too much memory, or stopped
// answering) gives way to a note that says so; neither a change, nor any
// reload the preview would make by itself (a retry, a new file, a crash),
// loads the document again, and a change prepared before the end does not
// go into the note. The user's refresh loads the newest HTML.
TEST_F(PreviewControllerTest, AnEndedPageSaysWhyAndOnlyTheUsersRefreshShowsTheDocumentAgain) {
    thawWith(page("<p>a</p>"));
    controller.updatePreview(page("<p>b</p>"));
    fake.log.clear();
    controller.pageEnded(PreviewController::PageEnd::TooMuchMemory, qint64(3) << 30);
    ASSERT_EQ(fake.loads.size(), 1u);
    EXPECT_TRUE(fake.loads.front().html.contains(
        u"The preview of this document was ended: its page took more than 3.0 GB of memory. "
        u"View \u25B8 Refresh Preview shows it again."));
    EXPECT_FALSE(fake.loads.front().html.contains(u"<p>"));
    EXPECT_TRUE(controller.isPageEnded());
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_EQ(fake.log.count("patch") + fake.log.count("body"), 0);

    fake.log.clear();
    controller.updatePreview(page("<p>c</p>"));
    controller.reloadPreview();
    controller.setBaseURL(QUrl::fromLocalFile("/tmp/elsewhere/c.md"));
    controller.renderProcessGone();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(fake.log.isEmpty());
    EXPECT_EQ(controller.retryDelay(), 0);

    controller.refreshPreview();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>c</p>"));
    EXPECT_EQ(fake.loads.front().base, QUrl::fromLocalFile("/tmp/elsewhere/c.md"));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_FALSE(controller.isPageEnded());

    controller.pageEnded(PreviewController::PageEnd::NotAnswering);
    ASSERT_EQ(fake.loads.size(), 1u);
    EXPECT_TRUE(fake.loads.front().html.contains(u"The preview of this document was ended: its page stopped answering."));
}

// The document gets a file (a first save, Save As into another folder): the
// page is loaded again at the new address, which shows that folder's
// files; the same address again changes nothing, and a frozen preview
// loads nothing.
TEST_F(PreviewControllerTest, ANewFileForTheDocumentLoadsThePageAtItsAddress) {
    controller.setBaseURL(QUrl::fromLocalFile("/tmp/first/a.md"));
    EXPECT_TRUE(fake.loads.empty());
    thawWith(page("<p>a</p>"));
    fake.log.clear();
    controller.setBaseURL(QUrl::fromLocalFile("/tmp/first/a.md"));
    ASSERT_TRUE(idle());
    EXPECT_TRUE(fake.log.isEmpty());
    controller.setBaseURL(QUrl::fromLocalFile("/tmp/second/b.md"));
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_EQ(fake.loads.front().base, QUrl::fromLocalFile("/tmp/second/b.md"));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>a</p>"));
}

// A reload asked for while a refresh runs follows it, once, and loads the
// newest HTML; a style sheet change reloads with the sheet in the head.
TEST_F(PreviewControllerTest, ReloadsAfterTheRunningRefreshWithTheNewestHtml) {
    thawWith(page("<p>a</p>"));
    fake.log.clear();
    controller.updatePreview(page("<p>b</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    controller.reloadPreview();
    controller.reloadPreview();
    controller.updatePreview(page("<p>c</p>"));
    EXPECT_TRUE(fake.loads.empty());
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<p>c</p>"));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_EQ(fake.log.count("load"), 1);

    QTemporaryDir folder;
    QFile sheet(folder.filePath("look.css"));
    ASSERT_TRUE(sheet.open(QIODevice::WriteOnly));
    sheet.write("h1 { color: teal; }");
    sheet.close();
    controller.applyCSSFromPath(sheet.fileName());
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_EQ(controller.activeCSSPath(), sheet.fileName());
    EXPECT_TRUE(fake.loads.front().html.contains(u"<style type=\"text/css\">h1 { color: teal; }</style>"));
}

// After a refresh the block under the caret goes to the caret's height
// (divided by the zoom); a caret that is not a number leaves the page; with
// the preference off the page goes back to where it was.
TEST_F(PreviewControllerTest, PutsThePageWhereTheCaretIs) {
    thawWith(page("<p>a</p>"));
    controller.scaleBy(2.0f);
    EXPECT_DOUBLE_EQ(fake.zoom, 2.0);
    controller.updatePreview(page("<p>b</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    EXPECT_TRUE(fake.last("patch")->text.contains(u"top-(62))"));  // 0.25 × 500 ÷ 2
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(idle());

    editor.cursor = std::numeric_limits<double>::infinity();
    controller.updatePreview(page("<p>c</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    EXPECT_FALSE(fake.last("patch")->text.contains(u"scroll"));
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(idle());

    prefs.insert(preview::SyncPreviewLocationWhileTyping, false);
    fake.scroll = QPointF(0, 345);
    controller.updatePreview(page("<p>d</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    EXPECT_TRUE(fake.last("patch")->text.contains(u"window.scrollTo(0, 345)"));
}

TEST_F(PreviewControllerTest, ZoomsByTheProductOfItsSteps) {
    controller.zoomIn();
    controller.zoomIn();
    controller.zoomOut();
    EXPECT_FLOAT_EQ(float(controller.zoomFactor()), 1.1f);
    controller.setZoomFactorTo(1.0f);
    EXPECT_NEAR(controller.zoomFactor(), 1.0, 1e-6);
    EXPECT_NEAR(fake.zoom, 1.0, 1e-6);
    controller.scaleBy(0);
    controller.scaleBy(std::nanf(""));
    EXPECT_NEAR(controller.zoomFactor(), 1.0, 1e-6);
}

// Geometry arrives after each load, and after body changes once they have
// settled; a page without height cannot place a fraction.
TEST_F(PreviewControllerTest, FetchesThePagesGeometryAfterEachRefresh) {
    int changes = 0, loads = 0;
    QObject::connect(&controller, &PreviewController::geometryChanged, [&] { changes++; });
    QObject::connect(&controller, &PreviewController::pageLoaded, [&] { loads++; });
    EXPECT_TRUE(std::isnan(controller.contentPercentToTotalPercent(0)));
    thawWith(page("<p>a</p>"));
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(controller.webBodyRect(), QRectF(8, 100, 600, 800));
    EXPECT_DOUBLE_EQ(controller.contentPercentToTotalPercent(1), 0.9);
    controller.updatePreview(page("<p>b</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    fake.answer("patch", true);
    ASSERT_TRUE(waitUntil([&] { return fake.pending("geometry"); }));
    fake.answer("geometry", R"({"documentHeight": 0, "viewHeight": 0, "scrollY": 0, "body": [0, 0, 0, 0],
                               "nodes": []})");
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(std::isnan(controller.contentPercentToTotalPercent(0.5)));
}

// Reading the geometry lays out the whole page: changes that follow each
// other closely read it once, after the last.
TEST_F(PreviewControllerTest, ReadsTheGeometryOnceAfterABurstOfChanges) {
    thawWith(page("<p>a</p>"));
    int changes = 0;
    QObject::connect(&controller, &PreviewController::geometryChanged, [&] { changes++; });
    for (const char *body : {"<p>b</p>", "<p>c</p>", "<p>d</p>"}) {
        ASSERT_TRUE(waitUntil([&] { return !controller.isUpdating(); }));
        controller.updatePreview(page(body));
        ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
        fake.answer("patch", true);
        fake.settle();
        EXPECT_FALSE(fake.pending("geometry"));
    }
    EXPECT_EQ(changes, 0);
    ASSERT_TRUE(waitUntil([&] { return fake.pending("geometry"); }));
    fake.settle();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(fake.log.count("geometry"), 2);  // the load's and the burst's
}

// A page with MathJax or highlight.js gets its block scripts in its own world,
// where the page's typesetter takes their new blocks.
TEST_F(PreviewControllerTest, RunsBlockScriptsBesideTheTypesettersOfThePage) {
    prefs.insert(preview::AddMathJax, true);
    controller.updatePreview(page("<p>a</p>"));
    controller.thawAndReload();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    const QString head = fake.loads.front().html;
    const qsizetype config = head.indexOf(u"orvane://program/mathjax-config.js"),
                    mathJax = head.indexOf(u"orvane://javascript/mathjax/MathJax.js\""),
                    typesetter = head.indexOf(u"orvane://program/typesetter.js");
    EXPECT_TRUE(config >= 0 && config < mathJax && mathJax < typesetter) << head.toStdString();
    fake.finishLoad();
    ASSERT_TRUE(fake.pending("map"));
    EXPECT_EQ(fake.last("map")->world, PreviewPageDriver::World::Page);
    EXPECT_TRUE(fake.pending("typeset"));
    fake.settle();
    ASSERT_TRUE(idle());

    controller.updatePreview(page("<p>b</p>"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    EXPECT_EQ(fake.last("patch")->world, PreviewPageDriver::World::Page);
    EXPECT_TRUE(fake.last("patch")->text.contains(u"var typesetting = true;"));
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(controller.knowsPageBlocks());
    EXPECT_FALSE(fake.pending("body"));
}

// What needs the whole page (printing) waits for its math as well: the page
// is asked to set all of it, and asked again a little later until nothing
// is left; the answer is no when the page is loaded afresh, its process
// ends or it does not answer meanwhile; once printing is over the math far
// from the view waits again.
TEST_F(PreviewControllerTest, TheWholePageWaitsForItsMathAndSaysNoWhenThePageGoes) {
    prefs.insert(preview::AddMathJax, true);
    thawWith(page("<p>\\(x\\)</p>"));
    std::optional<bool> whole;
    auto askWhole = [&] {
        whole.reset();
        controller.showWholePage([&](bool ok) { whole = ok; });
        return waitUntil([&] { return fake.pending("set-all"); });
    };
    // Printing is over: the far math waits again.
    auto endWhole = [&] {
        controller.endWholePage();
        while (fake.pending("set-all")) {
            EXPECT_TRUE(fake.last("set-all")->text.contains(u"setAll(false)"));
            fake.answer("set-all", 5);
        }
    };
    ASSERT_TRUE(askWhole());
    EXPECT_EQ(fake.last("set-all")->world, PreviewPageDriver::World::Page);
    EXPECT_TRUE(fake.last("set-all")->text.contains(u"setAll(true)"));
    for (int left : {120, 120, 7}) {
        fake.answer("set-all", left);
        ASSERT_TRUE(waitUntil([&] { return fake.pending("set-all") || whole.has_value(); }));
        ASSERT_FALSE(whole.has_value());
    }
    fake.answer("set-all", 0);
    ASSERT_TRUE(whole.has_value());
    EXPECT_TRUE(*whole);
    controller.endWholePage();
    ASSERT_TRUE(fake.pending("set-all"));
    EXPECT_TRUE(fake.last("set-all")->text.contains(u"setAll(false)"));
    fake.answer("set-all", 5);
    EXPECT_FALSE(fake.pending("set-all"));

    // Not answered in time.
    ASSERT_TRUE(askWhole());
    fake.answer("set-all", QVariant(), false);
    ASSERT_TRUE(whole.has_value());
    EXPECT_FALSE(*whole);
    endWhole();
    fake.settle();

    // The page loaded afresh between two questions.
    ASSERT_TRUE(askWhole());
    fake.answer("set-all", 50);
    controller.reloadPreview();
    ASSERT_TRUE(waitUntil([&] { return whole.has_value() || fake.pending("set-all"); }));
    if (!whole.has_value())
        fake.answer("set-all", 50);
    ASSERT_TRUE(waitUntil([&] { return whole.has_value(); }));
    EXPECT_FALSE(*whole);
    endWhole();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());

    // Asked while a page is being loaded: its math is asked for once it has
    // come.
    controller.reloadPreview();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    whole.reset();
    controller.showWholePage([&](bool ok) { whole = ok; });
    testing_qt::spinFor(std::chrono::milliseconds(100));
    EXPECT_FALSE(fake.pending("set-all"));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(waitUntil([&] { return fake.pending("set-all"); }));
    fake.answer("set-all", 0);
    ASSERT_TRUE(whole.has_value());
    EXPECT_TRUE(*whole);
    endWhole();
    fake.settle();

    // The page's process ended while its math was being set: no, at once.
    ASSERT_TRUE(askWhole());
    controller.renderProcessGone();
    ASSERT_TRUE(whole.has_value());
    EXPECT_FALSE(*whole);
}

// A body too long to go to the page as one script string: changes go in as
// runs of changed blocks, also right after a load whose map has not answered
// yet (or answered too late for the watchdog); where the whole body has to go
// in (a page that is not the one the change was made against, blocks that
// could not be mapped), the page is loaded afresh, once, and later changes
// are runs again.
TEST_F(PreviewControllerTest, SendsALargeBodyAsChangedRunsAndLoadsItWholeOnlyWhenItMust) {
    auto largePage = [](const QString &changed) {
        QString body;
        for (int i = 0; body.size() <= preview::kBodyScriptLimit; i++)
            body += i == 5000 ? changed
                              : QStringLiteral("<p>paragraph %1 of a long document, with some words</p>\n").arg(i);
        return page(body);
    };
    const qsizetype smallScript = 64 * 1024;
    controller.updatePreview(largePage("<p>first</p>\n"));
    controller.thawAndReload();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad();
    ASSERT_TRUE(fake.pending("map"));
    ASSERT_TRUE(idle());

    // The map has not answered when the next change comes.
    fake.log.clear();
    controller.updatePreview(largePage("<p>second</p>\n"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    EXPECT_TRUE(fake.last("patch")->text.contains(u"<p>second<\\/p>"));
    fake.answer("map", QVariant(), false);
    fake.answer("patch", true);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(controller.knowsPageBlocks());
    EXPECT_LT(fake.longestScript, smallScript);

    // The page is not the one the change was made against.
    controller.updatePreview(largePage("<p>third</p>\n"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
    fake.answer("patch", false);
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_TRUE(fake.loads.front().html.contains(u"<!--orvane-block--><p>third</p>"));
    fake.finishLoad();
    // Its blocks could not be mapped either.
    fake.answer("map", false);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_FALSE(controller.knowsPageBlocks());
    controller.updatePreview(largePage("<p>fourth</p>\n"));
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad();
    fake.settle();
    ASSERT_TRUE(idle());
    for (const char *text : {"<p>fifth</p>\n", "<p>sixth</p>\n"}) {
        controller.updatePreview(largePage(text));
        ASSERT_TRUE(waitUntil([&] { return fake.pending("patch"); }));
        fake.answer("patch", true);
        fake.settle();
        ASSERT_TRUE(idle());
    }
    EXPECT_EQ(fake.log.count("load"), 2);
    EXPECT_EQ(fake.log.count("body"), 0);
    EXPECT_LT(fake.longestScript, smallScript);
    EXPECT_TRUE(controller.knowsPageBlocks());
}

// --- A long body in parts ---------------------------------------------------------------

namespace {

// A body longer than the parted limit: paragraphs that name themselves, the
// caret's anchor before paragraph `anchor`, paragraph `changed` replaced by
// `text` when given.
QString longPage(int anchor, int changed = -1, const QString &text = QString()) {
    QString body;
    for (int i = 0; body.size() <= preview::kPartedBodyChars + 100000; i++) {
        if (i == anchor)
            body += QStringLiteral("<a id=\"TZRHTMLSCROLLPOINT\"></a>\n\n");
        body += i == changed ? text
                             : QStringLiteral("<p>Paragraph %1 of a long document, with words enough to fill a "
                                              "line or two of the preview.</p>\n\n")
                                   .arg(i);
    }
    return page(body);
}

qsizetype filledCount(const PreviewController &controller) {
    const std::vector<bool> &filled = controller.filledParts();
    return qsizetype(std::count(filled.begin(), filled.end(), true));
}

}  // namespace

class PreviewPartsTest : public PreviewControllerTest {
protected:
    // Loads the long page with the anchor at paragraph `anchor`.
    void loadLong(int anchor) {
        controller.updatePreview(longPage(anchor));
        controller.thawAndReload();
        ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
        loaded = fake.loads.front().html;
        fake.finishLoad();
        ASSERT_TRUE(fake.pending("parts"));
        fills = fake.last("parts")->text;
        fake.answer("parts", true);
        fake.settle();
        ASSERT_TRUE(idle());
        ASSERT_NE(controller.pageParts(), nullptr);
    }
    // The part that holds paragraph `n`.
    qsizetype partOf(int n) const {
        const preview::BodyParts &parts = *controller.pageParts();
        const qsizetype at = parts.blocks().text().indexOf(QStringLiteral("<p>Paragraph %1 ").arg(n));
        return parts.partAt(at);
    }
    // Answers the page's view: parts [first, last] shown, `empty` near it.
    void answerView(qsizetype first, qsizetype last, const std::vector<qsizetype> &empty) {
        ASSERT_TRUE(waitUntil([&] { return fake.pending("parts-in-view"); }));
        QStringList list;
        for (qsizetype k : empty)
            list << QString::number(k);
        fake.answer("parts-in-view", QStringLiteral("{\"count\": %1, \"first\": %2, \"last\": %3, \"empty\": [%4]}")
                                         .arg(controller.pageParts()->count())
                                         .arg(first)
                                         .arg(last)
                                         .arg(list.join(',')));
    }

    QString loaded, fills;
};

// The page of a long body is loaded with every part empty (a few kilobytes,
// not the body), and only the parts around the caret's anchor are filled,
// each by itself.
TEST_F(PreviewPartsTest, LoadsALongBodyAsEmptyPartsAndFillsThoseAroundTheCaret) {
    loadLong(6000);
    const preview::BodyParts &parts = *controller.pageParts();
    EXPECT_GT(parts.count(), 60);
    EXPECT_LT(loaded.size(), 64 * 1024);
    EXPECT_EQ(loaded.count(u"class=\"orvane-part orvane-rest\""), parts.count());
    EXPECT_FALSE(loaded.contains(u"Paragraph 6000 "));
    const qsizetype anchor = partOf(6000);
    EXPECT_TRUE(fills.contains(QStringLiteral("fill(%1, ").arg(anchor)));
    EXPECT_TRUE(fills.contains(u"Paragraph 6000 "));
    EXPECT_FALSE(fills.contains(u"Paragraph 10 "));
    EXPECT_EQ(filledCount(controller), 3);
    EXPECT_TRUE(controller.filledParts()[size_t(anchor)]);
    EXPECT_LT(fake.longestScript, 4 * preview::kPartChars);
}

// A change replaces only the parts it touched: filled when the part was,
// empty (its text not sent) when it was not; a page that is not what the
// change was made against gets a fresh page of parts.
TEST_F(PreviewPartsTest, AChangeReplacesOnlyThePartsItTouched) {
    loadLong(6000);
    const qsizetype count = controller.pageParts()->count();
    fake.log.clear();

    controller.updatePreview(longPage(6000, 6001, "<p>Typed next to the caret</p>\n\n"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("parts"); }));
    QString script = fake.last("parts")->text;
    EXPECT_TRUE(script.contains(QStringLiteral("parts.length !== %1").arg(count)));
    EXPECT_TRUE(script.contains(QStringLiteral("put(%1, 1, [make(").arg(partOf(6000))));
    EXPECT_TRUE(script.contains(u"Typed next to the caret"));
    EXPECT_TRUE(script.contains(u"TZRHTMLSCROLLPOINT"));  // then the page goes to the caret
    fake.answer("parts", true);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_EQ(filledCount(controller), 3);

    // Far from every filled part: the part goes in empty.
    controller.updatePreview(longPage(6000, 20, "<p>Changed far away</p>\n\n"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("parts"); }));
    script = fake.last("parts")->text;
    EXPECT_TRUE(script.contains(QStringLiteral("put(%1, 1, [make(null").arg(partOf(19))));
    EXPECT_FALSE(script.contains(u"Changed far away"));
    EXPECT_LT(script.size(), 4 * preview::kPartChars);
    fake.answer("parts", true);
    fake.settle();
    ASSERT_TRUE(idle());

    // The page has other parts than the change was made against.
    controller.updatePreview(longPage(6000, 6001, "<p>Typed again</p>\n\n"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("parts"); }));
    fake.answer("parts", false);
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    EXPECT_LT(fake.loads.front().html.size(), 64 * 1024);
    fake.finishLoad();
    ASSERT_TRUE(fake.pending("parts"));
    EXPECT_TRUE(fake.last("parts")->text.contains(u"Typed again"));
    fake.answer("parts", true);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_EQ(fake.log.count("load"), 1);
    EXPECT_LT(fake.longestScript, 4 * preview::kPartChars);
}

// One long line is one block and so one part of megabytes: a key typed in it
// sends the page only what changed between what the old and new HTML share,
// checked against what the page holds before anything changes; an edit that
// rewrote most of a part, or a part short enough, goes whole.
TEST_F(PreviewPartsTest, AKeyInOneLongLineSendsOnlyWhatChangedInItsPart) {
    QString line;
    for (int i = 0; line.size() <= preview::kPartedBodyChars + 1000; i++)
        line += QStringLiteral("Sentence %1 of one long line. ").arg(i);
    auto longLine = [&](const QString &text) { return page("<p>" + text + "</p>\n"); };
    controller.updatePreview(longLine(line));
    controller.thawAndReload();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad();
    ASSERT_TRUE(fake.pending("parts"));
    fake.answer("parts", true);
    fake.settle();
    ASSERT_TRUE(idle());
    ASSERT_EQ(controller.pageParts()->count(), 1);
    const qsizetype oldLength = controller.pageParts()->text(0).size();
    fake.log.clear();

    line.insert(line.size() / 2, QStringLiteral("typed "));
    controller.updatePreview(longLine(line));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("parts"); }));
    const QString script = fake.last("parts")->text;
    EXPECT_TRUE(script.contains(QStringLiteral("if (!spliceable(0, %1)) return false;").arg(oldLength)));
    EXPECT_TRUE(script.contains(u"splice(0, "));
    EXPECT_TRUE(script.contains(u"typed "));
    EXPECT_FALSE(script.contains(u"put(0"));
    EXPECT_LT(script.size(), 4 * preview::kPartChars);
    fake.answer("parts", true);
    fake.settle();
    ASSERT_TRUE(idle());

    // A line rewritten whole goes whole.
    line = line.toUpper();
    controller.updatePreview(longLine(line));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("parts"); }));
    EXPECT_TRUE(fake.last("parts")->text.contains(u"put(0, 1, [make("));
    EXPECT_FALSE(fake.last("parts")->text.contains(u"if (!spliceable("));
    fake.answer("parts", true);
    fake.settle();
    ASSERT_TRUE(idle());
}

TEST(PageParts, ASpliceKeepsWholeCharactersAndOnlyLongParts) {
    const QString shortText(preview::kSplicedPartChars - 1, u'a');
    EXPECT_FALSE(preview::partSplice(shortText, shortText + u'b'));

    // Typed between the two halves of a character outside the first plane
    // (an emoji): the cut moves to the character's start.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x99\x82");
    const QString before = QString(preview::kSplicedPartChars, u'x') + emoji + emoji + QString(100, u'y');
    QString after = before;
    after.replace(preview::kSplicedPartChars, 2, QString::fromUtf8("\xF0\x9F\x99\x83"));  // the first emoji, another
    const auto cut = preview::partSplice(before, after);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->head, preview::kSplicedPartChars);
    EXPECT_EQ(cut->tail, 102);
    EXPECT_EQ(cut->oldLength, before.size());
    // What a page rebuilds from the old text and the middle sent is the new one.
    EXPECT_EQ(before.left(cut->head) + after.mid(cut->head, after.size() - cut->head - cut->tail) +
                  before.right(cut->tail),
              after);
    // Nothing changed: an empty middle.
    const auto same = preview::partSplice(before, before);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->head + same->tail, before.size());
}

// Parts are filled as the user scrolls to them, their text found in the page
// then; the filled parts far from the view are emptied again, so that the
// page holds a bounded number of them however far the user scrolls.
TEST_F(PreviewPartsTest, FillsThePartsScrolledToAndEmptiesThoseLeftFarBehind) {
    loadLong(0);
    const qsizetype count = controller.pageParts()->count();
    const qsizetype target = partOf(3000);
    controller.partsMayShow();
    answerView(target, target, {target, target + 1});
    ASSERT_TRUE(waitUntil([&] { return fake.pending("parts"); }));
    EXPECT_TRUE(fake.last("parts")->text.contains(u"Paragraph 3000 "));
    fake.answer("parts", true);
    ASSERT_TRUE(idle());
    EXPECT_TRUE(controller.filledParts()[size_t(target)]);
    EXPECT_TRUE(controller.filledParts()[size_t(target + 1)]);

    // Scrolling down through every part.
    for (qsizetype k = 0; k + 8 <= count; k += 8) {
        controller.partsMayShow();
        std::vector<qsizetype> empty;
        for (qsizetype j = k; j < k + 8; j++)
            if (!controller.filledParts()[size_t(j)])
                empty.push_back(j);
        answerView(k, k + 1, empty);
        if (empty.empty())
            continue;
        ASSERT_TRUE(waitUntil([&] { return fake.pending("parts"); }));
        fake.answer("parts", true);
        ASSERT_TRUE(idle());
        EXPECT_LE(filledCount(controller), preview::kMaxFilledParts);
        EXPECT_TRUE(controller.filledParts()[size_t(k)]);
    }
    EXPECT_FALSE(controller.filledParts()[0]);  // emptied, far behind
    ASSERT_GT(count, preview::kMaxFilledParts + 8);

    // A view that needs nothing sends nothing.
    fake.log.clear();
    controller.partsMayShow();
    answerView(count - 2, count - 1, {});
    ASSERT_TRUE(idle());
    EXPECT_EQ(fake.log.count("parts"), 0);
}

// Empty parts stand in the geometry as the blocks they hold, down their
// height, so that the scroll map pairs the editor's paragraphs with the
// page's across them.
TEST_F(PreviewPartsTest, TheScrollMapPairsBlocksAcrossEmptyParts) {
    loadLong(0);
    const preview::BodyParts &parts = *controller.pageParts();
    // Part 0 filled (two paragraphs shown as nodes), part 1 empty, 1000 px.
    const qsizetype inEmpty = parts.blockCount(1);
    controller.updateContentBounds();
    ASSERT_TRUE(fake.pending("geometry"));
    fake.answer("geometry", R"({"documentHeight": 2000, "viewHeight": 400, "scrollY": 0,
                               "body": [8, 0, 600, 2000],
                               "nodes": [["P", 0, 50], ["P", 50, 50], ["#orvane-rest:1", 100, 1000]]})");
    ASSERT_TRUE(controller.geometry());
    const std::vector<preview::PageGeometry::Node> &nodes = controller.geometry()->children;
    ASSERT_EQ(qsizetype(nodes.size()), 2 + inEmpty);
    EXPECT_EQ(nodes[2].name, "P");
    EXPECT_DOUBLE_EQ(nodes[2].top, 100);
    EXPECT_NEAR(nodes.back().top + nodes.back().height, 1100, 1e-6);
    for (size_t i = 3; i < nodes.size(); i++)
        EXPECT_GT(nodes[i].top, nodes[i - 1].top);

    // The editor's text of as many paragraphs, each a line.
    std::string text;
    for (qsizetype i = 0; i < 2 + inEmpty; i++)
        text += "Paragraph " + std::to_string(i) + "\n\n";
    tzr_engine *engine = tzr_engine_create_with_string(text.c_str(), TZR_EXT_NOTES);
    tzr_engine_parse_string(engine);
    const double total = double(text.size());
    const std::optional<scrollsync::ScrollMap> map = scrollsync::buildScrollMap(
        tzr_engine_root(engine), text.size(), 0, *controller.geometry(),
        [total](size_t start, size_t length) { return QRectF(0, start / total, 1, length / total); });
    tzr_engine_free(engine, true);
    ASSERT_TRUE(map);
    // A paragraph inside the empty part maps into the part's height.
    const double middle = (text.find("Paragraph " + std::to_string(2 + inEmpty / 2) + "\n") + 4) / total;
    const double web = map->webOffsetFromEditorOffset(middle);
    EXPECT_GT(web, 100.0 / 2000);
    EXPECT_LT(web, 1100.0 / 2000);
}

// Printing needs the whole page: every part is filled, in scripts of a
// bounded size, and none is emptied until printing is over.
TEST_F(PreviewPartsTest, FillsEveryPartForPrintingAndEmptiesAgainAfter) {
    loadLong(0);
    fake.longestScript = 0;
    // Printing may begin while a look at the view, asked as the user
    // scrolled, is still out: the page is held until it is answered.
    controller.partsMayShow();
    ASSERT_TRUE(waitUntil([&] { return fake.pending("parts-in-view"); }));
    std::optional<bool> whole;
    controller.showWholePage([&](bool ok) { whole = ok; });
    while (!whole) {
        ASSERT_TRUE(waitUntil(
            [&] { return fake.pending("parts") || fake.pending("parts-in-view") || whole.has_value(); }));
        if (fake.pending("parts-in-view"))
            answerView(0, 1, {});
        if (fake.pending("parts"))
            fake.answer("parts", true);
    }
    EXPECT_TRUE(*whole);
    EXPECT_EQ(filledCount(controller), controller.pageParts()->count());
    EXPECT_LT(fake.longestScript, 3 * (qsizetype(1) << 20));

    controller.endWholePage();
    answerView(0, 1, {});
    ASSERT_TRUE(waitUntil([&] { return fake.pending("parts"); }));
    EXPECT_TRUE(fake.last("parts")->text.contains(u"empty("));
    fake.answer("parts", true);
    ASSERT_TRUE(idle());
    EXPECT_LE(filledCount(controller), preview::kMaxFilledParts);
}

// Parts that fail as they are filled, after a load or as the user scrolls
// to them, would stay empty: the page is loaded again by itself.
TEST_F(PreviewPartsTest, PartsThatFailToFillLoadThePageAgain) {
    controller.updatePreview(longPage(6000));
    controller.thawAndReload();
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad();
    fake.answer("parts", QVariant());
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_EQ(controller.pageParts(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad();
    fake.answer("parts", true);
    fake.settle();
    ASSERT_TRUE(idle());
    ASSERT_NE(controller.pageParts(), nullptr);

    const qsizetype target = partOf(100);
    controller.partsMayShow();
    answerView(target, target, {target});
    ASSERT_TRUE(waitUntil([&] { return fake.pending("parts"); }));
    fake.answer("parts", QVariant());
    ASSERT_TRUE(idle());
    EXPECT_EQ(controller.pageParts(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad();
    ASSERT_TRUE(fake.pending("parts"));
}

// The same for a page in parts: a change that is not answered and a load of
// the newest parts that fails are followed by a load that shows them.
TEST_F(PreviewPartsTest, EndsShowingTheNewestPartsAfterARefreshThatFailed) {
    loadLong(6000);
    controller.updatePreview(longPage(6000, 6001, "<p>First key</p>\n\n"));
    ASSERT_TRUE(waitUntil([&] { return fake.pending("parts"); }));
    controller.updatePreview(longPage(6000, 6001, "<p>Last key</p>\n\n"));
    fake.answer("parts", QVariant(), false);
    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad(false);
    fake.settle();

    ASSERT_TRUE(waitUntil([&] { return !fake.loads.empty(); }));
    fake.finishLoad();
    ASSERT_TRUE(fake.pending("parts"));
    EXPECT_TRUE(fake.last("parts")->text.contains(u"Last key"));
    fake.answer("parts", true);
    fake.settle();
    ASSERT_TRUE(idle());
    EXPECT_NE(controller.pageParts(), nullptr);
}
