// A document window end to end on a real display: the application opens the
// sample document in its window, typing reaches the preview, each sidebar
// and the info bar open and close from the menu's actions, a clean-up runs
// and is undone; and the program itself starts on the sample and shows it.
// Pictures of both are kept under the build folder.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>

#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "app/document_window.h"
#include "app/tzr_theme_controller.h"
#include "editor/smart_text_view.h"
#include "platform/action_router.h"
#include "platform/alerts.h"
#include "platform/pasteboard.h"
#include "platform/registered_defaults.h"
#include "support/qt_wait.h"
#include "window/sidebars/tzr_critic_view.h"
#include "window/sidebars/tzr_reference_view.h"
#include "window/sidebars/tzr_toc_view.h"
#include "window/smart_text_info_view.h"
#include "window/smart_web_view.h"
#include "window/tzr_master_view.h"

using namespace std::chrono_literals;

namespace {

const QString kSample = QStringLiteral(ORVANE_SOURCE_DIR "/examples/sample.md");

QString artifact(const QString &name) {
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    return QStringLiteral(ORVANE_ARTIFACT_DIR "/") + name;
}

// What the preview's page shows as text.
QString previewText(SmartWebView *preview) {
    QString text;
    bool answered = false;
    preview->runScript(QStringLiteral("document.body ? document.body.innerText : ''"),
                       [&](bool finished, const QVariant &result) {
                           answered = true;
                           if (finished)
                               text = result.toString();
                       });
    testing_qt::spinUntil([&] { return answered; }, 15s);
    return text;
}

bool previewShows(SmartWebView *preview, const QString &wanted) {
    return testing_qt::spinUntil([&] { return previewText(preview).contains(wanted); }, 30s);
}

void type(QWidget *widget, const QString &text) {
    for (QChar c : text) {
        const bool newline = c == u'\n';
        const int key = newline ? Qt::Key_Return : c.toUpper().unicode();
        const QString typed = newline ? QStringLiteral("\r") : QString(c);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, typed);
        QCoreApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, typed);
        QCoreApplication::sendEvent(widget, &release);
    }
}

// The preferences of a new user, in a file, made the standard store.
class NewUser {
public:
    explicit NewUser(const QString &path) : defaults_(path) {
        platform::registerDefaults(defaults_);
        defaults_.setBool(false, "checkForAnnouncements");
        previous_ = platform::Defaults::setStandard(&defaults_);
    }
    ~NewUser() { platform::Defaults::setStandard(previous_); }
    platform::Defaults &defaults() { return defaults_; }

private:
    platform::Defaults defaults_;
    platform::Defaults *previous_;
};

TEST(DocumentWindowEndToEnd, TypingReachesThePreviewTheSidebarsAndInfoBarToggleAndACleanUpIsUndone) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    // The sample's changes and its appendix, beside it.
    user.defaults().setBool(true, "EXT_CRITIC");
    user.defaults().setBool(true, "EXT_TRANSCLUDE");
    platform::ScriptedAlerts alerts;
    TZRThemeController extras(TZRThemeController::standardLocations());
    AppDelegate delegate(&user.defaults(), &extras);
    QPointer<DocumentWindow> document;
    delegate.setDocumentOpener([&](const QString &path) {
        document = new DocumentWindow(path);
        delegate.installMainMenu(document);
        document->show();
    });
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    delegate.openDocuments({kSample});
    ASSERT_TRUE(document);
    ASSERT_TRUE(testing_qt::spinUntil([&] {
        document->activateWindow();
        return document->isVisible() && document->windowHandle() && document->windowHandle()->isExposed();
    }));
    TZRMasterView *content = document->content();
    SmartTextView *editor = document->editor();
    EXPECT_TRUE(content->textString().startsWith("Title:  A Short Tour"));
    ASSERT_TRUE(previewShows(content->webView(), "A Short Tour"));
    // Transcluded from beside the document.
    EXPECT_TRUE(previewShows(content->webView(), "Appendix"));

    // Typing at the end of the text.
    editor->setFocus();
    editor->setSelectedRange({content->textString().size(), 0});
    type(editor, "\nTyped in the window.\n");
    EXPECT_TRUE(content->textString().endsWith("Typed in the window.\n"));
    EXPECT_TRUE(previewShows(content->webView(), "Typed in the window."));

    // Each sidebar from the menu's actions, and the info bar.
    auto send = [&](const char *action) {
        EXPECT_TRUE(platform::ActionRouter::sendAction(QString::fromLatin1(action), nullptr, editor)) << action;
        testing_qt::spinFor(50ms);
    };
    send("toggleTOC:");
    EXPECT_TRUE(content->isSidebarVisible(TZRMasterView::Sidebar::TableOfContents));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !content->tocView()->fullData().rows.isEmpty(); }, 15s));
    send("toggleCritic:");
    EXPECT_TRUE(content->isSidebarVisible(TZRMasterView::Sidebar::Changes));
    EXPECT_FALSE(content->isSidebarVisible(TZRMasterView::Sidebar::TableOfContents));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return content->criticView()->arrangedObjects().size() == 3; }, 15s));
    send("toggleCritic:");
    send("toggleTOC:");
    send("toggleRef:");
    EXPECT_TRUE(content->isSidebarVisible(TZRMasterView::Sidebar::References));
    EXPECT_TRUE(content->isSidebarVisible(TZRMasterView::Sidebar::TableOfContents));
    send("toggleInfo:");
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !content->isInfoBarVisible(); }));
    send("toggleInfo:");
    EXPECT_TRUE(testing_qt::spinUntil([&] { return content->isInfoBarVisible(); }));
    EXPECT_TRUE(content->infoView()->statusText().startsWith("Words:"));

    // A clean-up from the menu, and its undo, on a pasted list.
    platform::Pasteboard::setString(QStringLiteral("\n3. one\n9. two\n"));
    send("paste:");
    const QString typed = content->textString();
    ASSERT_TRUE(typed.endsWith("\n3. one\n9. two\n"));
    editor->setSelectedRange({typed.size() - 4, 0});
    send("cleanupList:");
    EXPECT_TRUE(content->textString().endsWith("1. one\n2. two\n"));
    EXPECT_TRUE(previewShows(content->webView(), "two"));
    send("undo:");
    EXPECT_EQ(content->textString(), typed);

    testing_qt::spinFor(800ms);
    document->windowHandle()->screen()->grabWindow(document->winId()).save(artifact("e2e-document-window.png"), "PNG");
    delegate.applicationWillTerminate();
    document->close();
    testing_qt::spinUntil([&] { return document.isNull(); });
    EXPECT_EQ(alerts.count(), 0);
}

TEST(DocumentWindowEndToEnd, TheProgramOpensTheSampleInItsWindow) {
    QTemporaryDir dir;
    const QString config = dir.filePath("config");
    const QString prefs = config + "/Tessaro/Orvane/preferences.json";
    ASSERT_TRUE(QDir().mkpath(QFileInfo(prefs).path()));
    {
        QFile file(prefs);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{\"checkForAnnouncements\": false, \"tocIsVisible\": true}");
    }
    const QString shot = artifact("e2e-orvane-sample.png");
    QFile::remove(shot);
    QProcess orvane;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", config);
    environment.insert("XDG_DATA_HOME", dir.filePath("data"));
    environment.remove("QT_QPA_PLATFORM");
    environment.insert("QT_LOGGING_RULES", "qt.webenginecontext.info=false");
    orvane.setProcessEnvironment(environment);
    orvane.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    orvane.start(QStringLiteral(ORVANE_BINARY), {"--screenshot", shot, kSample});
    ASSERT_TRUE(orvane.waitForFinished(60000));
    EXPECT_EQ(orvane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(orvane.exitCode(), 0);
    EXPECT_GT(QFileInfo(shot).size(), 0);
}

}  // namespace
