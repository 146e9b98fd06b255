// The preview's math on the real web engine, with MathJax from the system's
// package: a change goes into the page at once while the rest of the math
// waits to be set, everything is set when the whole page is asked for, the
// page's process goes quiet after typing stops while the math far from the
// view waits for the view to come near it, the block under the caret keeps
// its height on screen as the math around it is set, and a page that took
// random changes at random moments ends as a fresh page set whole.
#include "support/math_document.h"
#include "support/test_preferences.h"
#include "web_test_support.h"
#include "window/preview/editor_surface.h"
#include "window/preview/preview_preferences.h"
#include "window/preview/smart_web_view.h"

#include "library/tzr.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

using namespace web_test;

namespace {

QString convert(const QString &text) {
    char *html = tzr_string_convert(text.toUtf8().constData(), TZR_EXT_COMPLETE | TZR_EXT_NOTES | TZR_EXT_SMART,
                                    0, 0);
    const QString result = QString::fromUtf8(html);
    free(html);
    return result;
}

// The engine bridge's scroll anchor.
const QString Anchor =
    "<a id=\"TZRHTMLSCROLLPOINT\" style=\"font-size:0px;position:absolute;left:10px;\">.</a>";

// The formulas of the page (each in a span.math) that MathJax has not set:
// no output frame of its own beside its source (an error's frame does not
// count).
const QString UnsetMath = QStringLiteral(R"js((function () {
  var all = document.querySelectorAll('span.math'), n = 0;
  for (var i = 0; i < all.length; i++)
    if (!all[i].querySelector('script[type^="math/"]') ||
        !all[i].querySelector('[id$="-Frame"]:not(.MathJax_Error)')) n++;
  return n;
})())js");

// What a reader sees of the page's math and text, apart from the numbers
// MathJax gives its elements: each formula's source and the glyphs set for
// it, in order, and the text around them.
const QString PageReading = QStringLiteral(R"js((function () {
  var math = [];
  document.querySelectorAll('span.math').forEach(function (s) {
    var source = s.querySelector('script[type^="math/"]'), frame = s.querySelector('[id$="-Frame"]');
    math.push((source ? source.textContent : 'unset ' + s.textContent) + ' => ' +
              (frame ? frame.className + ' ' + frame.textContent : 'none'));
  });
  var body = document.body.cloneNode(true);
  body.querySelectorAll('span.math, [id^="MathJax"]').forEach(function (e) { e.remove(); });
  return JSON.stringify({math: math, text: body.textContent.replace(/\s+/g, ' ')});
})())js");

// An editor whose caret stays at 40% of its 700 pixels.
class StillEditor : public EditorSurface {
public:
    QWidget *editorWidget() const override { return nullptr; }
    QScrollBar *verticalScrollBar() const override { return nullptr; }
    double viewHeight() const override { return 700; }
    double cursorPosition() const override { return 0.4; }
    QRectF percentOffsetRectForRange(qsizetype, qsizetype) const override { return {}; }
    QByteArray utf8Text() const override { return {}; }
};

class MathPreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists("/usr/share/javascript/mathjax/MathJax.js"))
            GTEST_SKIP() << "MathJax is not installed (libjs-mathjax)";
        prefs.insert(preview::AddMathJax, true);
        prefs.insert(preview::SyncPreviewLocationWhileTyping, false);
        auto *layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(editor, 1);
        layout->addWidget(view, 1);
        window.resize(1200, 800);
        window.show();
        view->setLinkedTextView(&surface);
        QObject::connect(&view->controller(), &PreviewController::refreshed, [this] { refreshes++; });
    }

    bool settled(int atLeast) {
        return waitUntil([&] {
            return refreshes >= atLeast && !view->controller().isUpdating() && !view->isLoadingHtml();
        });
    }
    void open(const QString &html) {
        view->updatePreview(html);
        view->thawAndReload();
        ASSERT_TRUE(settled(1));
        ASSERT_TRUE(waitUntil([&] { return view->controller().knowsPageBlocks(); }));
    }
    int unset() { return evaluate(*view, UnsetMath).toInt(); }
    // Asks for the whole page, as printing does: whether every formula was
    // set.
    bool setWhole() {
        std::optional<bool> whole;
        view->controller().showWholePage([&](bool ok) { whole = ok; });
        waitUntil([&] { return whole.has_value(); }, 400000);
        return whole.value_or(false);
    }
    bool shows(const QString &words) {
        return evaluate(*view, QStringLiteral("document.body.textContent.indexOf(%1) >= 0")
                                   .arg(platform::WebView::stringLiteral(words)))
            .toBool();
    }

    TestPreferences prefs;
    int refreshes = 0;
    QWidget window;
    QTextEdit *editor = new QTextEdit;
    SmartWebView *view = new SmartWebView;
    StillEditor surface;
};

}  // namespace

// Two hundred kilobytes of math: a word typed in the middle right after
// the page opened is in the page within seconds, while most of the math
// still waits to be set (a change used to wait for MathJax to set the whole
// page, minutes at this size); the math in view is set first, and once the
// whole page is asked for every formula is set, the changed paragraph's
// among them.
TEST_F(MathPreviewTest, AnEditGoesInAtOnceWhileTheRestWaitsAndEverythingIsSetForTheWholePage) {
    StepWatch watch(std::chrono::seconds(450));
    const QString text = QString::fromStdString(mathdoc::document(200 * 1024));
    watch.step("opening");
    open(convert(text));
    const int formulas = evaluate(*view, "document.querySelectorAll('span.math').length").toInt();
    ASSERT_GT(formulas, 1000);
    watch.step("the view set");
    // What stands in view is set first.
    ASSERT_TRUE(waitUntil([&] {
        return evaluate(*view, QStringLiteral(R"js((function () {
          var all = document.querySelectorAll('span.math'), seen = 0, set = 0;
          for (var i = 0; i < all.length && i < 400; i++) {
            var box = all[i].getBoundingClientRect();
            if (box.bottom < 0 || box.top > window.innerHeight) continue;
            seen++;
            if (all[i].querySelector('[id$="-Frame"]')) set++;
          }
          return seen > 0 && seen === set;
        })())js"))
            .toBool();
    }));

    watch.step("the edit");
    QString edited = text;
    edited.replace("The midpoint paragraph stands here.", "The midpoint paragraph stands here, typed $x_1$.");
    ASSERT_NE(edited, text);
    QElapsedTimer clock;
    clock.start();
    view->updatePreview(convert(edited));
    ASSERT_TRUE(waitUntil([&] { return shows("stands here, typed"); }, 60000));
    const qint64 shown = clock.elapsed();
    const int waiting = unset();
    EXPECT_LT(shown, 10000);
    EXPECT_GT(waiting, formulas / 4) << "the rest of the math was set before the edit showed";

    watch.step("everything set");
    ASSERT_TRUE(setWhole());
    EXPECT_EQ(unset(), 0) << "formulas of " << formulas;
    view->controller().endWholePage();
    EXPECT_TRUE(shows("stands here, typed"));
    EXPECT_EQ(evaluate(*view, "document.querySelectorAll('.MathJax_Error').length").toInt(), 0);
    EXPECT_EQ(evaluate(*view, "document.documentElement.children.length").toInt(), 2);
}

// Three hundred kilobytes of math, a word and a formula typed in the
// middle a key at a time: once typing stops the typesetter has nothing
// running or due while the math at the end of the page is still as written
// (it used to set all of it, a slice after another, for minutes), the math
// in and near the view and the typed paragraph's are set, and the view
// scrolled to the end has the math there set. A short page still ends with
// all its math set.
TEST_F(MathPreviewTest, AfterTypingTheTypesetterGoesQuietWithTheFarMathUnsetUntilTheViewComesNear) {
    StepWatch watch(std::chrono::seconds(400));
    const QString text = QString::fromStdString(mathdoc::document(300 * 1024, 3));
    // With the caret's anchor in the paragraph typed into: the page follows
    // it.
    auto withAnchor = [](QString html) {
        return html.replace("The midpoint paragraph", "The midpoint paragraph" + Anchor);
    };
    prefs.insert(preview::SyncPreviewLocationWhileTyping, true);
    watch.step("opening");
    open(withAnchor(convert(text)));
    // Whether every formula from `above` to `below` screens around the view
    // is set (and there is one), and whether the last formula of the page is.
    auto setAround = [&](int above, int below) {
        return evaluate(*view, QStringLiteral(R"js((function () {
          var all = document.querySelectorAll('span.math'), h = window.innerHeight, seen = 0;
          for (var i = 0; i < all.length; i++) {
            var box = all[i].getBoundingClientRect();
            if (box.bottom < %1 * h || box.top > %2 * h) continue;
            seen++;
            if (!all[i].querySelector('[id$="-Frame"]')) return false;
          }
          return seen > 0;
        })())js")
                                   .arg(-above)
                                   .arg(1 + below))
            .toBool();
    };
    const QString LastSet = QStringLiteral(R"js((function () {
      var all = document.querySelectorAll('span.math');
      return !!all[all.length - 1].querySelector('[id$="-Frame"]');
    })())js");
    const QString Quiet = QStringLiteral("orvaneTypesetter.busy() === false");

    watch.step("typing");
    const QString word = QStringLiteral(" typed $x_2$");
    QString typed;
    for (QChar c : word) {
        typed += c;
        QString edited = text;
        edited.replace("stands here.", "stands here" + typed + ".");
        view->updatePreview(withAnchor(convert(edited)));
        pause(100);
    }
    ASSERT_TRUE(waitUntil([&] { return shows("stands here typed"); }));

    watch.step("quiet");
    // Nothing running or due, twice a second apart: no idle slice is
    // waiting for its turn either.
    ASSERT_TRUE(waitUntil([&] {
        if (!evaluate(*view, Quiet).toBool())
            return false;
        pause(1000);
        return evaluate(*view, Quiet).toBool();
    }, 120000)) << unset() << " formulas unset";
    EXPECT_GT(evaluate(*view, "orvaneTypesetter.waiting()").toInt(), 0);
    EXPECT_FALSE(evaluate(*view, LastSet).toBool()) << "the math far from the view was set";
    EXPECT_TRUE(setAround(1, 1));
    EXPECT_TRUE(evaluate(*view, QStringLiteral(R"js((function () {
      var p = document.getElementById('TZRHTMLSCROLLPOINT').closest('p');
      return p.querySelectorAll('[id$="-Frame"]').length === p.querySelectorAll('script[type^="math/"]').length &&
             p.querySelectorAll('script[type^="math/"]').length > 0;
    })())js"))
                    .toBool());

    watch.step("scrolled to the end");
    evaluate(*view, "window.scrollTo(0, document.documentElement.scrollHeight)");
    ASSERT_TRUE(waitUntil([&] { return setAround(0, 0); }, 60000));
    EXPECT_TRUE(evaluate(*view, LastSet).toBool());
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, Quiet).toBool(); }, 60000));
    EXPECT_GT(unset(), 0);

    // A short page costs little to set whole: it ends with every formula
    // set, asked for or not.
    watch.step("a short page");
    view->updatePreview(convert(QString::fromStdString(mathdoc::document(12 * 1024, 5))));
    view->reloadPreview();
    ASSERT_TRUE(waitUntil([&] { return !view->controller().isUpdating() && !view->isLoadingHtml(); }));
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, Quiet).toBool() && unset() == 0; }, 120000)) << unset();
}

// The block under the caret stands at the caret's height after the page
// loads and after a change, also once the math above it in view is set and
// has grown or shrunk: each slice of math put back what the reader looks at.
TEST_F(MathPreviewTest, TheCaretsBlockKeepsTheCaretsHeightAsTheMathAroundItIsSet) {
    prefs.insert(preview::SyncPreviewLocationWhileTyping, true);
    QString text = QString::fromStdString(mathdoc::document(60 * 1024, 7));
    auto withAnchor = [](QString html) {
        return html.replace("The midpoint paragraph stands here.", "The midpoint paragraph" + Anchor + " stands here.");
    };
    const int expected = int(surface.cursorPosition() * surface.viewHeight());
    auto anchorTop = [&] {
        return evaluate(*view, "document.getElementById('TZRHTMLSCROLLPOINT').getBoundingClientRect().top")
            .toDouble();
    };
    // Set: what is in view and the screen's height around it.
    auto viewSet = [&] {
        return evaluate(*view, QStringLiteral(R"js((function () {
          var all = document.querySelectorAll('span.math'), h = window.innerHeight;
          for (var i = 0; i < all.length; i++) {
            var box = all[i].getBoundingClientRect();
            if (box.bottom >= -h && box.top <= 2 * h && !all[i].querySelector('[id$="-Frame"]')) return false;
          }
          return true;
        })())js"))
            .toBool();
    };
    open(withAnchor(convert(text)));
    ASSERT_TRUE(waitUntil(viewSet));
    pause(300);
    EXPECT_NEAR(anchorTop(), expected, 2);

    // Display math put in just above the caret's paragraph, and the view's
    // math unset again around it (the change's blocks come in raw).
    text.replace("The midpoint paragraph stands here.",
                 "$$\\sum_{k=0}^{n} \\binom{n}{k} = 2^n$$\n\n$$\\int_0^1 x^2\\,dx = \\frac{1}{3}$$\n\n"
                 "The midpoint paragraph stands here.");
    view->updatePreview(withAnchor(convert(text)));
    ASSERT_TRUE(settled(2));
    ASSERT_TRUE(waitUntil(viewSet));
    pause(300);
    EXPECT_NEAR(anchorTop(), expected, 2);
}

// Random changes at random moments, some while a slice of math is being set
// (MathJax is made to pause after every formula, so that a slice spans many
// tasks and changes land inside it): the page ends as the same HTML loaded
// afresh and set by MathJax whole, formula for formula.
TEST_F(MathPreviewTest, RandomChangesAtRandomMomentsEndAsAFreshPageSetWhole) {
    StepWatch watch(std::chrono::seconds(300));
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto below = [&](int n) { return int(random() % unsigned(n)); };
    QString text = QString::fromStdString(mathdoc::document(40 * 1024, seed));
    watch.step("opening");
    open(convert(text));
    // Every formula costs a task of its own from here on.
    evaluate(*view, "MathJax.Hub.processUpdateTime = 0; MathJax.Hub.processUpdateDelay = 5;");

    const QStringList pieces = {"A new sentence with $\\alpha_{%1} + \\beta$ in it.\n\n",
                                "$$\\prod_{i=1}^{%1} \\left(1 + x_i\\right)$$\n\n",
                                "$$\\begin{aligned} y &= %1x \\\\ z &= y^2 \\end{aligned}$$\n\n",
                                "Plain words, number %1.\n\n"};
    for (int step = 0; step < 25; step++) {
        watch.step("a change");
        // Cut at a blank line: a paragraph goes, or another comes, or a
        // formula in a paragraph changes.
        const int at = text.indexOf("\n\n", below(int(text.size())));
        if (at < 0)
            continue;
        const int next = text.indexOf("\n\n", at + 2);
        switch (below(3)) {
        case 0:
            if (next > 0)
                text.remove(at + 2, next - at);
            break;
        case 1:
            text.insert(at + 2, pieces[below(int(pieces.size()))].arg(step));
            break;
        default: {
            const int dollar = text.indexOf('$', at);
            if (dollar > 0)
                text.insert(dollar + 1, QStringLiteral("%1 + ").arg(step));
        }
        }
        view->updatePreview(convert(text));
        pause(below(400));
    }
    watch.step("settling");
    ASSERT_TRUE(waitUntil([&] { return !view->controller().isUpdating(); }, 200000));
    ASSERT_TRUE(setWhole());
    EXPECT_EQ(unset(), 0);
    view->controller().endWholePage();
    pause(500);
    const QString reading = evaluate(*view, PageReading).toString();
    EXPECT_EQ(evaluate(*view, "document.documentElement.children.length").toInt(), 2);

    // The same HTML, as the preview would load it, set whole by MathJax.
    watch.step("the fresh page");
    platform::WebView fresh;
    fresh.resize(view->size());
    fresh.show();
    ASSERT_EQ(load(fresh, view->controller().currentSourceHTML(), view->previewURL()), true);
    ASSERT_TRUE(waitUntil([&] { return evaluate(fresh, "!!(window.MathJax && MathJax.isReady)").toBool(); }));
    evaluate(fresh, "MathJax.Hub.Queue(['Typeset', MathJax.Hub, document.body, function () { window.setWhole = true; }])");
    ASSERT_TRUE(waitUntil([&] { return evaluate(fresh, "!!window.setWhole").toBool(); }, 200000));
    EXPECT_EQ(evaluate(fresh, UnsetMath).toInt(), 0);
    const QString whole = evaluate(fresh, PageReading).toString();
    EXPECT_EQ(reading.toStdString(), whole.toStdString());
}
