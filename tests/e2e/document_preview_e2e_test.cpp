// A document's preview as the document gets a file, end to end on a real
// display: a new document saved into a folder shows that folder's pictures
// at once, and saved as another file in another folder, that folder's.
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QWindow>

#include <gtest/gtest.h>

#include "e2e/application.h"
#include "e2e/new_user.h"
#include "platform/documents/type_registry.h"
#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "support/qt_wait.h"
#include "webview/web_test_support.h"
#include "window/content/master_view_content.h"
#include "window/content/tzr_master_view.h"
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
