// A document's preview end to end on a real display: a new document saved
// into a folder shows that folder's pictures at once, and saved as another
// file in another folder, that folder's; typing while the window is resized,
// and the preview after a resize; a word typed into a large document of math
// reaches the page at once, and the page's process is quiet soon after
// typing stops; a page of math prints with every formula set.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWindow>

#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include "e2e/application.h"
#include "e2e/new_user.h"
#include "e2e/preview_text.h"
#include "editor/smart_text_view.h"
#include "platform/documents/type_registry.h"
#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "support/math_document.h"
#include "support/process_cpu.h"
#include "support/qt_wait.h"
#include "support/sanitizers.h"
#include "support/shaped_documents.h"
#include "webview/web_test_support.h"
#include "editor/view/find_bar.h"
#include "window/content/master_view_content.h"
#include "window/content/tzr_master_view.h"
#include "window/preview/preview_page.h"
#include "window/preview/smart_web_view.h"

using namespace std::chrono_literals;

namespace {

// Types `text` into `widget` as keys.
void type(QWidget *widget, const QString &text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &release);
    }
}

// A title and sections (a heading, a paragraph long enough to wrap, a list
// and a quote) to `size` bytes; `count` gets the number of sections.
QByteArray sectionsDocument(qsizetype size, int *count = nullptr) {
    QByteArray text = "Title: A long one\n\n";
    int sections = 0;
    for (; text.size() < size; sections++)
        text += QStringLiteral("## Section %1\n\nSection %1 opens with *emphasis*, **strong words**, `code` and a "
                               "[link](https://example.com/%1), and goes on long enough to wrap.\n\n"
                               "- an item of %1\n- another\n\n> A quote in %1.\n\n")
                    .arg(sections)
                    .toUtf8();
    if (count)
        *count = sections;
    return text;
}

// Whether the page's body holds `wanted`.
bool pageShows(SmartWebView &preview, const QString &wanted) {
    return web_test::evaluate(preview, QStringLiteral("document.body.textContent.indexOf(%1) >= 0")
                                           .arg(platform::WebView::stringLiteral(wanted)))
        .toBool();
}

// A file of `text` opened by the program as a new user's, with the
// preferences `prefer` gives: its window's content at hand, null where the
// document did not open with a preview.
struct OpenedDocument {
    explicit OpenedDocument(const QByteArray &text, const QString &name = QStringLiteral("long.md"),
                            const std::function<void(platform::Defaults &)> &prefer = {})
        : user(dir.filePath("preferences.json")) {
        if (prefer)
            prefer(user.defaults());
        app.emplace(user.defaults(), TZRThemeController::standardLocations());
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return;
        file.close();
        document = app->open(path);
        auto *master = document ? dynamic_cast<TZRMasterView *>(document->content()) : nullptr;
        if (master && master->webView())
            content = master;
    }

    QTemporaryDir dir;
    NewUser user;
    platform::ScriptedAlerts alerts;
    std::optional<Application> app;
    SmartEditorDocument *document = nullptr;
    TZRMasterView *content = nullptr;
};

// A document of `kilobytes` of math opened with MathJax on, with what its
// page shows of its math.
struct MathDocument : OpenedDocument {
    explicit MathDocument(int kilobytes)
        : OpenedDocument(QByteArray::fromStdString(mathdoc::document(size_t(kilobytes) * 1024)),
                         QStringLiteral("math.md"), [](platform::Defaults &d) { d.setBool(true, "addMathJax"); }),
          master(content), preview(content ? content->webView() : nullptr) {}
    bool shows(const QString &wanted) { return pageShows(*preview, wanted); }
    // The editor focused, its caret at the end of the words the midpoint
    // paragraph opens with, "The midpoint paragraph stands here".
    bool caretInTheMiddle() {
        const QString marker = QStringLiteral("The midpoint paragraph stands here");
        const qsizetype at = master->textString().indexOf(marker);
        if (at < 0)
            return false;
        master->textView()->setFocus();
        master->textView()->setSelectedRange({at + marker.size(), 0});
        return true;
    }
    // The formulas of the page that are not set.
    int unset() {
        return web_test::evaluate(*preview, R"js((function () {
          var all = document.querySelectorAll('span.math'), n = 0;
          for (var i = 0; i < all.length; i++) if (!all[i].querySelector('[id$="-Frame"]')) n++;
          return n;
        })())js")
            .toInt();
    }
    bool mathInViewSet() {
        return testing_qt::spinUntil(
            [&] {
                return web_test::evaluate(*preview, R"js((function () {
                  var all = document.querySelectorAll('span.math'), seen = 0;
                  for (var i = 0; i < all.length; i++) {
                    var box = all[i].getBoundingClientRect();
                    if (box.bottom < 0 || box.top > window.innerHeight) continue;
                    seen++;
                    if (!all[i].querySelector('[id$="-Frame"]')) return false;
                  }
                  return seen > 0;
                })())js")
                    .toBool();
            },
            120s);
    }

    TZRMasterView *master;
    SmartWebView *preview;
};

}  // namespace

// Ctrl+N, a first save into a folder that holds pic.png, then a reference to
// it typed: the picture shows, without a refresh. Saved as another file in
// another folder, the same reference shows that folder's picture.
TEST(DocumentPreviewEndToEnd, ADocumentShowsThePicturesOfTheFolderItIsSavedIn) {
    QTemporaryDir dir;
    const QString first = dir.filePath("first"), second = dir.filePath("second");
    ASSERT_TRUE(QDir().mkpath(first) && QDir().mkpath(second));
    QImage picture(37, 23, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(first + "/pic.png"));
    ASSERT_TRUE(picture.scaled(50, 10).save(second + "/pic.png"));

    NewUser user(dir.filePath("preferences.json"));
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    for (platform::Document *opened : app.documents.documents())
        opened->close();
    ASSERT_TRUE(platform::ActionRouter::sendAction("newDocument:", nullptr));
    ASSERT_EQ(app.documents.documents().size(), 1);
    SmartEditorDocument *document = app.shown(app.documents.documents().first());
    ASSERT_TRUE(document);
    auto *content = dynamic_cast<TZRMasterView *>(document->content());
    ASSERT_TRUE(content && content->webView());
    SmartWebView &preview = *content->webView();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !preview.controller().isFrozen(); }, 30s));

    // The width of the page's picture once it has come (0 for a broken one),
    // or -1 while there is none.
    auto pictureWidth = [&] {
        return web_test::evaluate(preview, "(function () { var i = document.querySelector('img');"
                                           " return i && i.complete ? i.naturalWidth : -1; })()")
            .toInt();
    };
    ASSERT_TRUE(document->saveToPath(first + "/notes.md", platform::types::kMarkdownType,
                                     platform::SaveOperation::SaveAs));
    content->textView()->setFocus();
    type(content->textView(), "![p](pic.png)\n");
    EXPECT_TRUE(testing_qt::spinUntil([&] { return pictureWidth() == 37; }, 30s)) << pictureWidth();

    ASSERT_TRUE(document->saveToPath(second + "/moved.md", platform::types::kMarkdownType,
                                     platform::SaveOperation::SaveAs));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return pictureWidth() == 50; }, 30s)) << pictureWidth();
    EXPECT_EQ(alerts.count(), 0);
}

// Typing into a large document while its window is resized: the page, busy
// laying itself out at the new size, answers nothing for a while (here for
// twelve seconds, longer than a change may take), the change on its way to
// it included. That change, and those typed meanwhile, are not taken for a
// broken page: no retry waits, and the preview shows the text as typed soon
// after the page is free again.
TEST(DocumentPreviewEndToEnd, AResizeWhileTypingLeavesThePreviewShowingTheTextAsSoonAsThePageIsFree) {
    OpenedDocument opened(sectionsDocument(3600000));
    ASSERT_TRUE(opened.content);
    SmartEditorDocument *document = opened.document;
    TZRMasterView *content = opened.content;
    SmartWebView &preview = *content->webView();
    PreviewController &controller = preview.controller();
    auto shows = [&](const QString &wanted) { return pageShows(preview, wanted); };
    ASSERT_TRUE(testing_qt::spinUntil([&] { return shows("Section 1 opens"); }, 60s));
    ASSERT_TRUE(controller.pageParts());
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !controller.isUpdating(); }, 60s));
    content->textView()->setFocus();
    // Typed at the start of the first heading, in the page's first part.
    content->textView()->setSelectedRange({content->textString().indexOf(QStringLiteral("## Section 0")), 0});

    // The page lays itself out at the new size for twelve seconds.
    web_test::evaluate(preview, "window.addEventListener('resize', function slow() {"
                                " window.removeEventListener('resize', slow);"
                                " var end = Date.now() + 12000; while (Date.now() < end) {} })");
    bool retried = false;
    auto watch = [&] { retried = retried || controller.retryDelay() > 0; };
    // A key, and the window resized as its change sets out for the page.
    type(content->textView(), "x");
    ASSERT_TRUE(testing_qt::spinUntil([&] { return controller.isUpdating(); }, 30s));
    QWidget *window = document->firstWindow();
    window->resize(window->width() - 30, window->height() - 20);
    QElapsedTimer busy;
    busy.start();
    for (int step = 0; step < 30; step++) {
        type(content->textView(), "x");
        window->resize(window->width() + (step % 2 ? -30 : 30), window->height() + (step % 2 ? -20 : 20));
        testing_qt::spinFor(100ms);
        watch();
    }
    type(content->textView(), " typed");
    ASSERT_TRUE(testing_qt::spinUntil(
        [&] {
            watch();
            return busy.elapsed() > 12000 && shows("xxx typed");
        },
        60s));
    // No retry waited. How soon the text shows after that depends on the
    // machine (a loaded one under the sanitizers took 36 s, 12 of them the
    // page's own): the wait above only bounds a hang.
    EXPECT_FALSE(retried);
    EXPECT_EQ(opened.alerts.count(), 0);
}

// A document of a megabyte, the caret taken far down by Find (the preview
// stays where it was: it follows the caret when the text changes), then
// the window resized: the page's margins follow the editor's new height,
// and soon after it shows the document where it was or where the caret is,
// never its blank margin with the title at the bottom until a key is typed.
TEST(DocumentPreviewEndToEnd, AfterAResizeThePreviewShowsTheDocumentWhereItWasOrAtTheCaret) {
    int sections = 0;
    OpenedDocument opened(sectionsDocument(1000000, &sections));
    ASSERT_TRUE(opened.content);
    SmartEditorDocument *document = opened.document;
    TZRMasterView *content = opened.content;
    SmartWebView &preview = *content->webView();
    PreviewController &controller = preview.controller();
    ASSERT_TRUE(previewSettles(&preview));

    // The text of the body's first element that reaches below the view's
    // top, and where its top stands in the view.
    auto topOfView = [&] {
        return web_test::evaluate(preview, "(function () { var c = document.body.children;"
                                           " for (var i = 0; i < c.length; i++) { var r = c[i].getBoundingClientRect();"
                                           "  if (r.bottom > 0 && r.height > 0 && c[i].textContent.trim())"
                                           "   return [c[i].textContent.trim().slice(0, 40), r.top]; }"
                                           " return null; })()")
            .toList();
    };
    ASSERT_TRUE(testing_qt::spinUntil([&] { return topOfView().size() == 2; }, 30s));
    const QVariantList before = topOfView();

    const QString wanted = QStringLiteral("Section %1 opens").arg(sections * 9 / 10);
    FindBar *find = content->textView()->findBar();
    find->showBar();
    find->setFindString(wanted);
    ASSERT_TRUE(find->findNext());
    find->hideBar();
    content->textView()->setFocus();
    testing_qt::spinFor(1500ms);
    EXPECT_EQ(topOfView().value(0), before.value(0)) << "the preview moved with the find";

    // Where the caret stands in the preview: the text of the section found,
    // in view.
    auto showsTheCaretsSection = [&] {
        return web_test::evaluate(preview, QStringLiteral("(function () { var w = %1;"
                                                          " var p = Array.prototype.find.call(document.querySelectorAll('p'),"
                                                          "  function (e) { return e.textContent.indexOf(w) === 0; });"
                                                          " if (!p) return false; var r = p.getBoundingClientRect();"
                                                          " return r.bottom > 0 && r.top < window.innerHeight; })()")
                                                   .arg(platform::WebView::stringLiteral(wanted)))
            .toBool();
    };
    auto whereItWas = [&] {
        const QVariantList now = topOfView();
        return now.size() == 2 && now[0] == before[0] && std::abs(now[1].toDouble() - before[1].toDouble()) < 60;
    };

    QWidget *window = document->firstWindow();
    window->resize(window->width() - 120, window->height() - 60);
    // The resize is over once the page's margins follow the editor's new
    // height.
    const int margin = preview::bodyMargin(content->textView()->viewHeight());
    ASSERT_TRUE(testing_qt::spinUntil(
        [&] {
            return !controller.isUpdating() &&
                   web_test::evaluate(preview, "parseFloat(getComputedStyle(document.body).marginTop)").toInt() ==
                       margin;
        },
        60s))
        << "the page's margins did not follow the editor's height";
    EXPECT_TRUE(testing_qt::spinUntil([&] { return whereItWas() || showsTheCaretsSection(); }, 10s))
        << "the view's top shows " << topOfView().value(0).toString().toStdString() << " at "
        << topOfView().value(1).toDouble() << ", before the resize " << before.value(0).toString().toStdString()
        << " at " << before.value(1).toDouble();
    EXPECT_EQ(opened.alerts.count(), 0);
}

// Typing far down a document of a megabyte while its window is resized
// again and again, as a user dragging its edge pauses and drags on: once the
// typed text has reached the page, the page shows text at every look, never
// a blank view while it loads afresh (which at this size takes seconds), and
// it ends showing all that was typed.
TEST(DocumentPreviewEndToEnd, ResizesWhileTypingNeverLeaveThePreviewBlank) {
    OpenedDocument opened(sectionsDocument(1000000));
    ASSERT_TRUE(opened.content);
    SmartEditorDocument *document = opened.document;
    TZRMasterView *content = opened.content;
    SmartWebView &preview = *content->webView();
    ASSERT_TRUE(previewSettles(&preview));
    FindBar *find = content->textView()->findBar();
    find->setFindString("Section 3000 opens");
    ASSERT_TRUE(find->findNext());
    content->textView()->setFocus();
    type(content->textView(), "Typed here");  // in place of what was found

    // The first text in view, or nothing when the view is blank.
    auto inView = [&] {
        return web_test::evaluateText(preview, "(function () { var c = document.body ? document.body.children : [];"
                                               " for (var i = 0; i < c.length; i++) { var r = c[i].getBoundingClientRect();"
                                               "  if (r.bottom > 0 && r.top < window.innerHeight && c[i].textContent.trim())"
                                               "   return c[i].textContent.trim().slice(0, 40); }"
                                               " return ''; })()");
    };
    auto shows = [&](const QString &wanted) { return pageShows(preview, wanted); };
    ASSERT_TRUE(testing_qt::spinUntil([&] { return shows("Typed here with"); }, 60s));

    QWidget *window = document->firstWindow();
    QStringList blank;
    QElapsedTimer clock;
    clock.start();
    for (int step = 0; clock.elapsed() < 15000; step++) {
        type(content->textView(), "x");
        if (step % 3 == 0)
            window->resize(window->width() + (step % 2 ? -30 : 30), window->height() + (step % 2 ? -20 : 20));
        testing_qt::spinFor(100ms);
        if (step % 5 == 0 && inView().isEmpty())
            blank << QString::number(clock.elapsed());
    }
    type(content->textView(), " done");
    EXPECT_TRUE(blank.isEmpty()) << "the view was blank at " << blank.join(", ").toStdString() << " ms";
    EXPECT_TRUE(testing_qt::spinUntil([&] { return shows("xxx done"); }, 60s));
    EXPECT_EQ(opened.alerts.count(), 0);
}

// Sentences typed at 30 ms a key into the middle of a document of a
// megabyte, each ended with a space: once typing stops, the page holds each
// whole (the cycle run for the last key, a space, also took in letters typed
// while the cycle before it ran, and used to show none of them).
TEST(DocumentPreviewEndToEnd, TypedSentencesReachThePageWholeOnceTypingStops) {
    OpenedDocument opened(sectionsDocument(1000000));
    ASSERT_TRUE(opened.content);
    TZRMasterView *content = opened.content;
    SmartWebView &preview = *content->webView();
    ASSERT_TRUE(previewSettles(&preview));
    // Whether a paragraph of the page reads `wanted` (blanks collapsed, the
    // scroll anchor left out); looked at every 200 ms.
    auto shown = [&](const QString &wanted) {
        const QString script = QStringLiteral(
            "(function (w) { var p = document.getElementsByTagName('p');"
            " for (var i = 0; i < p.length; i++) {"
            "  if (p[i].textContent.indexOf(w.slice(0, 9)) < 0) continue;"
            "  var c = p[i].cloneNode(true), a = c.querySelector('#TZRHTMLSCROLLPOINT'); if (a) a.remove();"
            "  if (c.textContent.replace(/\\s+/g, ' ').indexOf(w) >= 0) return true; }"
            " return false; })(%1)").arg(platform::WebView::stringLiteral(wanted));
        return testing_qt::spinUntil(
            [&] {
                testing_qt::spinFor(200ms);
                return web_test::evaluate(preview, script).toBool();
            },
            30s);
    };
    content->textView()->setFocus();
    const QStringList sentences = {"okay fine ", "then some more here ", "and a last one "};
    for (int round = 0; round < int(sentences.size()); round++) {
        FindBar *find = content->textView()->findBar();
        find->setFindString(QStringLiteral("Section %1 opens").arg(1000 + 700 * round));
        ASSERT_TRUE(find->findNext());
        content->textView()->setFocus();
        for (QChar key : sentences[round]) {
            type(content->textView(), QString(key));
            testing_qt::spinFor(30ms);
        }
        const QString wanted = sentences[round] + "with emphasis";
        EXPECT_TRUE(shown(wanted)) << "the page lacks \"" << wanted.toStdString() << "\"";
    }
    EXPECT_EQ(opened.alerts.count(), 0);
}

// A table of 10,000 rows and a quote of 40,000 lines, each a block of
// megabytes in a page long enough to go to the preview in parts: once the
// page holds every part, the table holds every row, in order, in its body,
// and the quote every paragraph; no row or paragraph stands outside them.
TEST(DocumentPreviewEndToEnd, ATableAndAQuoteOfMegabytesKeepEveryRowAndParagraph) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    struct Shape {
        const char *name;
        QString text;
        const char *inside;   // the elements that must all be there, in order
        const char *outside;  // the same elements anywhere in the page
        const char *first;    // the text each of them begins with, numbered
        int step;             // the number of the i-th: i × step
        int count;
    };
    const Shape shapes[] = {
        {"table.md", QStringLiteral("# A table\n\n") + shaped::table(10000) + QStringLiteral("After the table.\n"),
         "table > tbody > tr", "tr", "Row %1 of the table", 1, 10000},
        {"quote.md", QStringLiteral("# A quote\n\n") + shaped::quote(40000) + QStringLiteral("After the quote.\n"),
         "blockquote > p", "p", "Quote line %1 says", 2, 20000},
    };
    for (const Shape &shape : shapes) {
        SCOPED_TRACE(shape.name);
        const QString path = dir.filePath(QString::fromLatin1(shape.name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(shape.text.toUtf8()) > 0);
        file.close();
        SmartEditorDocument *document = app.open(path);
        ASSERT_TRUE(document);
        auto *content = dynamic_cast<TZRMasterView *>(document->content());
        ASSERT_TRUE(content && content->webView());
        SmartWebView &preview = *content->webView();
        PreviewController &controller = preview.controller();
        ASSERT_TRUE(testing_qt::spinUntil([&] { return controller.pageParts() && !controller.isUpdating(); }, 120s));
        std::optional<bool> whole;
        controller.showWholePage([&](bool ok) { whole = ok; });
        ASSERT_TRUE(testing_qt::spinUntil([&] { return whole.has_value(); }, 120s));
        ASSERT_TRUE(*whole);
        // Each element's first words, read from the page: the rows or the
        // paragraphs, numbered, with the second line of a paragraph.
        QString numbered = QStringLiteral(R"js((function () {
var inside = document.querySelectorAll(INSIDE), all = document.querySelectorAll(OUTSIDE), wrong = [];
for (var i = 0; i < inside.length && wrong.length < 3; i++) {
  var words = inside[i].textContent.trim();
  if (words.indexOf(FIRST.replace('%1', i * STEP)) !== 0) wrong.push(i + ': ' + words.slice(0, 60));
}
return JSON.stringify({inside: inside.length, all: all.length, wrong: wrong});
})())js");
        numbered.replace(QLatin1String("INSIDE"), platform::WebView::stringLiteral(QString::fromLatin1(shape.inside)));
        numbered.replace(QLatin1String("OUTSIDE"), platform::WebView::stringLiteral(QString::fromLatin1(shape.outside)));
        numbered.replace(QLatin1String("FIRST"), platform::WebView::stringLiteral(QString::fromLatin1(shape.first)));
        numbered.replace(QLatin1String("STEP"), QString::number(shape.step));
        const QString answer = web_test::evaluateText(preview, numbered);
        controller.endWholePage();
        // Besides them, the table's head row, or the paragraph after the quote.
        const QString expected =
            QStringLiteral("{\"inside\":%1,\"all\":%2,\"wrong\":[]}").arg(shape.count).arg(shape.count + 1);
        EXPECT_EQ(answer.toStdString(), expected.toStdString());
        document->close();
    }
    EXPECT_EQ(alerts.count(), 0);
}

// A document of a few hundred kilobytes of math, opened with MathJax on: a
// word typed in its middle soon after is in the page within seconds, long
// before MathJax has set the page's math (the change used to wait for all
// of it, minutes at this size).
TEST(DocumentPreviewEndToEnd, AWordTypedIntoALargeDocumentOfMathReachesThePageAtOnce) {
    if (!QFile::exists("/usr/share/javascript/mathjax/MathJax.js"))
        GTEST_SKIP() << "MathJax is not installed (libjs-mathjax)";
    MathDocument math(300);
    ASSERT_TRUE(math.preview);
    SmartWebView &preview = *math.preview;
    // MathJax at work on the page.
    ASSERT_TRUE(testing_qt::spinUntil([&] { return math.shows("midpoint paragraph"); }, 60s));
    ASSERT_TRUE(testing_qt::spinUntil(
        [&] { return web_test::evaluate(preview, "document.querySelectorAll('[id$=\"-Frame\"]').length").toInt() > 0; },
        60s));

    SmartTextView *editor = math.master->textView();
    ASSERT_TRUE(math.caretInTheMiddle());
    QElapsedTimer clock;
    clock.start();
    type(editor, ", typed");
    ASSERT_TRUE(testing_qt::spinUntil([&] { return math.shows("stands here, typed."); }, 60s));
    EXPECT_LT(clock.elapsed(), 15000);
    EXPECT_GT(math.unset(), 0) << "the page's math was all set before the word showed";
    EXPECT_EQ(math.alerts.count(), 0);
}

// A megabyte of math (some 7,000 formulas), a word typed in its middle: the
// word is in the page, and within seconds of the last key the page's
// process is quiet, leaving the math far from the view as written (it used
// to set all of it after every pause in typing, over twenty minutes of a
// full core at this size).
TEST(DocumentPreviewEndToEnd, AfterAWordTypedIntoAMegabyteOfMathThePagesProcessGoesQuiet) {
    if (!QFile::exists("/usr/share/javascript/mathjax/MathJax.js"))
        GTEST_SKIP() << "MathJax is not installed (libjs-mathjax)";
    MathDocument math(1024);
    ASSERT_TRUE(math.preview);
    SmartWebView &preview = *math.preview;
    ASSERT_TRUE(testing_qt::spinUntil([&] { return math.shows("midpoint paragraph"); }, 120s));
    ASSERT_TRUE(math.mathInViewSet());

    SmartTextView *editor = math.master->textView();
    ASSERT_TRUE(math.caretInTheMiddle());
    for (QChar c : QStringLiteral(", typed")) {
        type(editor, QString(c));
        testing_qt::spinFor(100ms);
    }
    ASSERT_TRUE(testing_qt::spinUntil([&] { return math.shows("stands here, typed."); }, 60s));

    // Quiet: under a twentieth of a core over two seconds, beginning within
    // half a minute of the last key.
    const qint64 quiet = testing_proc::quietAfter(preview.page()->renderProcessPid(), 2s, 0.05, 30s,
                                                  [](auto time) { testing_qt::spinFor(time); });
    EXPECT_GE(quiet, 0) << "the page's process was still busy half a minute after typing stopped";
    EXPECT_TRUE(math.shows("stands here, typed."));
    EXPECT_GT(math.unset(), 0);
    EXPECT_EQ(math.alerts.count(), 0);
}

// Printing a page of math to PDF right after it opened, its math far from
// the view still as written: the page is printed with every formula set
// (the PDF's pages are pictures of the page, so the page is read as it is
// laid out on paper).
TEST(DocumentPreviewEndToEnd, APageOfMathPrintsEveryFormulaSet) {
    if (!QFile::exists("/usr/share/javascript/mathjax/MathJax.js"))
        GTEST_SKIP() << "MathJax is not installed (libjs-mathjax)";
    MathDocument math(100);
    ASSERT_TRUE(math.preview);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return math.shows("midpoint paragraph"); }, 120s));
    ASSERT_TRUE(math.mathInViewSet());

    // The formulas not set when the page is laid out on paper.
    web_test::evaluate(*math.preview, R"js(window.addEventListener('beforeprint', function () {
      var all = document.querySelectorAll('span.math'), n = 0;
      for (var i = 0; i < all.length; i++) if (!all[i].querySelector('[id$="-Frame"]')) n++;
      window.unsetWhenPrinted = n;
    }), true)js");
    const QString pdf = math.dir.filePath("math.pdf");
    ASSERT_TRUE(math.document->printPreviewToPdf(pdf));
    EXPECT_GT(QFileInfo(pdf).size(), 0);
    EXPECT_EQ(web_test::evaluate(*math.preview, "'unsetWhenPrinted' in window ? window.unsetWhenPrinted : -1").toInt(),
              0);
    EXPECT_EQ(math.unset(), 0);
    EXPECT_EQ(web_test::evaluate(*math.preview, "document.querySelectorAll('.MathJax_Error').length").toInt(), 0);
    EXPECT_EQ(math.alerts.count(), 0);
}
