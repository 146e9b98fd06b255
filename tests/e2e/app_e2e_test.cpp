// Orvane end to end on a real display: the program started on a document,
// its preferences changed in the window with the open editor following, a
// guide shown with an outside link handed to the browser, a clean quit that
// clears the crash flag, and a start after a crash that offers a report.
#include <QDir>
#include <QWindow>
#include <QParallelAnimationGroup>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QWebEnginePage>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

#include "app/app_delegate.h"
#include "app/help/kvx_static_web_window_controller.h"
#include "app/documents/smart_editor_document.h"
#include "app/prefs/smart_editor_preferences.h"
#include "app/extras/tzr_theme_controller.h"
#include "e2e/new_user.h"
#include "editor/view/kvx_text_view.h"
#include "editor/smart_text_view.h"
#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "platform/documents/document_controller.h"
#include "platform/prefs/registered_defaults.h"
#include "support/qt_wait.h"

using namespace std::chrono_literals;

namespace {

const QString kSample = QStringLiteral(ORVANE_SOURCE_DIR "/examples/sample.md");

void saveScreenshot(QWidget *window, const QString &name) {
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    const QString path = QStringLiteral(ORVANE_ARTIFACT_DIR "/") + name;
    window->screen()->grabWindow(window->winId()).save(path, "PNG");
}

QVariant onDisk(const QString &path, const QString &key) { return platform::Defaults(path).objectForKey(key); }

TEST(EndToEnd, PreferencesReachTheOpenEditorAGuideShowsAndQuittingClearsTheCrashFlag) {
    QTemporaryDir dir;
    const QString file = dir.filePath("preferences.json");
    NewUser user(file);
    platform::ScriptedAlerts alerts;
    TZRThemeController extras(TZRThemeController::standardLocations());
    SmartEditorPreferences prefs(&user.defaults(), &extras);
    QList<QUrl> browsed;
    KVXStaticWebView::setBrowserOpener([&](const QUrl &url) {
        browsed << url;
        return true;
    });

    platform::DocumentController documents;
    platform::DocumentController *previousDocuments = platform::DocumentController::setShared(&documents);
    {
        AppDelegate delegate(&user.defaults(), &extras, &prefs);
        delegate.installDocumentMachinery();
        delegate.applicationWillFinishLaunching();
        delegate.applicationDidFinishLaunching();
        EXPECT_EQ(onDisk(file, "appCrashed"), QVariant(true));
        delegate.openDocuments({kSample});
        auto *opened = qobject_cast<SmartEditorDocument *>(documents.documentForPath(kSample));
        ASSERT_TRUE(opened);
        QWidget *document = opened->firstWindow();
        auto *editor = document ? document->findChild<SmartTextView *>() : nullptr;
        ASSERT_TRUE(editor);
        ASSERT_TRUE(testing_qt::spinUntil([&] { document->activateWindow();
            return document->isVisible() && document->windowHandle() && document->windowHandle()->isExposed(); }));
        EXPECT_TRUE(editor->toPlainText().contains("A Short Tour"));
        EXPECT_EQ(alerts.count(), 0);
        saveScreenshot(document, "e2e-document.png");

        // Preferences, from the menu, through the router.
        QAction *showPreferences = delegate.mainMenu().itemForAction("showPreferences:");
        ASSERT_TRUE(showPreferences);
        showPreferences->trigger();
        ASSERT_TRUE(testing_qt::spinUntil([&] { return prefs.isWindowLoaded() && prefs.window()->isVisible(); }));
        prefs.toolbarItemForIdentifier("Appearance")->trigger();
        ASSERT_TRUE(testing_qt::spinUntil(
            [&] { return prefs.viewAnimation()->state() == QAbstractAnimation::Stopped; }));
        auto *padding = prefs.paneView("Appearance")->findChild<QSpinBox *>("horizontalPadding");
        ASSERT_TRUE(padding);
        const double marginBefore = editor->horizontalPadding();
        padding->setValue(160);
        EXPECT_DOUBLE_EQ(editor->rawHorizontalPadding(), 160);
        EXPECT_GT(editor->horizontalPadding(), marginBefore);
        testing_qt::spinFor(300ms);
        saveScreenshot(prefs.window(), "e2e-preferences.png");
        // The panes whose controls set where new windows start say so.
        for (const char *pane : {"General", "Preview", "Advanced", "Pro Features"}) {
            prefs.toolbarItemForIdentifier(pane)->trigger();
            ASSERT_TRUE(testing_qt::spinUntil(
                [&] { return prefs.viewAnimation()->state() == QAbstractAnimation::Stopped; }));
            testing_qt::spinFor(100ms);
            saveScreenshot(prefs.window(), QStringLiteral("e2e-preferences-%1.png")
                                               .arg(QString::fromLatin1(pane).toLower().replace(u' ', u'-')));
        }
        prefs.window()->close();

        // The program guide, its page from the application's resources.
        ASSERT_TRUE(platform::ActionRouter::sendAction("showGuide:", nullptr, editor));
        KVXStaticWebWindowController *guide = delegate.guideWindowController();
        ASSERT_TRUE(guide && guide->window()->isVisible());
        KVXStaticWebView *view = guide->webView();
        QString text;
        ASSERT_TRUE(testing_qt::spinUntil(
            [&] {
                view->page()->toPlainText([&](const QString &t) { text = t; });
                testing_qt::spinFor(50ms);
                return text.contains("Opening files");
            },
            30s));
        testing_qt::spinFor(300ms);
        saveScreenshot(guide->window(), "e2e-guide.png");

        // A link to a site goes to the browser; the guide stays.
        const QUrl before = view->url();
        // The guide sits under the main menu: zoom and close reach it.
        ASSERT_TRUE(guide->window()->menuBar()->actions().size() > 0);
        ASSERT_TRUE(platform::ActionRouter::sendAction("zoomIn:", nullptr, view));
        EXPECT_NEAR(view->zoomFactor(), 1.1, 1e-9);
        ASSERT_TRUE(platform::ActionRouter::sendAction("zoomOut:", nullptr, view));
        EXPECT_NEAR(view->zoomFactor(), 1.0, 1e-9);
        ASSERT_TRUE(platform::ActionRouter::sendAction("performClose:", nullptr, view));
        EXPECT_FALSE(guide->window()->isVisible());
        delegate.showGuide();
        EXPECT_TRUE(guide->window()->isVisible());
        guide->toggleVisibility();
        EXPECT_FALSE(guide->window()->isVisible());
        guide->toggleVisibility();
        ASSERT_TRUE(delegate.cheatSheetWindowController());
        delegate.showCheatSheet();
        KVXStaticWebView *syntax = delegate.cheatSheetWindowController()->webView();
        ASSERT_TRUE(testing_qt::spinUntil(
            [&] {
                syntax->page()->toPlainText([&](const QString &t) { text = t; });
                testing_qt::spinFor(50ms);
                return text.contains("CriticMarkup");
            },
            30s));
        syntax->page()->runJavaScript("document.querySelector('a[href^=\"https\"]').click()");
        ASSERT_TRUE(testing_qt::spinUntil([&] { return !browsed.isEmpty(); }, 10s));
        EXPECT_EQ(browsed.first(), QUrl("https://commonmark.org/help/"));
        testing_qt::spinFor(200ms);
        EXPECT_EQ(syntax->url().scheme(), "qrc");
        EXPECT_EQ(view->url(), before);
        // Closing hides; the window stays for the next time.
        delegate.cheatSheetWindowController()->window()->close();
        EXPECT_FALSE(delegate.cheatSheetWindowController()->window()->isVisible());

        delegate.applicationWillTerminate();
        opened->close();
        testing_qt::spinFor(50ms);
    }
    platform::DocumentController::setShared(previousDocuments);
    KVXStaticWebView::setBrowserOpener({});
    EXPECT_EQ(onDisk(file, "appCrashed"), QVariant(false));
    EXPECT_EQ(alerts.count(), 0);
}

// The program itself: a terminating signal quits it cleanly; a kill leaves
// the flag on disk, and the next start offers a crash report.
TEST(EndToEnd, TheProgramClearsTheFlagWhenItQuitsAndAfterACrashTheNextStartOffersAReport) {
    QTemporaryDir dir;
    const QString config = dir.filePath("config");
    ASSERT_TRUE(writeProgramPreferences(config, "{\"checkForAnnouncements\": false}"));
    const QString file = config + "/Tessaro/Orvane/preferences.json";
    auto launch = [&](QProcess &orvane, const QStringList &arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", config);
        environment.insert("XDG_DATA_HOME", dir.filePath("data"));
        environment.insert("XDG_STATE_HOME", dir.filePath("state"));
        environment.remove("QT_QPA_PLATFORM");
        // Alerts are logged as they show.
        environment.insert("QT_LOGGING_RULES", "orvane.platform.info=true;qt.webenginecontext.info=false");
        orvane.setProcessEnvironment(environment);
        orvane.start(QStringLiteral(ORVANE_BINARY), arguments);
        ASSERT_TRUE(orvane.waitForStarted(10000));
    };
    auto start = [&](QProcess &orvane) {
        orvane.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        launch(orvane, {kSample});
        // Running once the flag is on disk.
        ASSERT_TRUE(testing_qt::spinUntil([&] { return onDisk(file, "appCrashed") == QVariant(true); }, 30s));
    };

    QProcess clean;
    start(clean);
    ::kill(pid_t(clean.processId()), SIGTERM);
    ASSERT_TRUE(clean.waitForFinished(30000));
    EXPECT_EQ(clean.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(clean.exitCode(), 0);
    EXPECT_EQ(onDisk(file, "appCrashed"), QVariant(false));

    QProcess crashing;
    start(crashing);
    crashing.kill();
    ASSERT_TRUE(crashing.waitForFinished(30000));
    EXPECT_EQ(onDisk(file, "appCrashed"), QVariant(true));

    // The next start of the program offers to report it; its screen is
    // saved with the offer up, then it quits, which clears the flag.
    QProcess restarted;
    const QString shot = QStringLiteral(ORVANE_ARTIFACT_DIR "/e2e-crash-offer.png");
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    QFile::remove(shot);
    launch(restarted, {"--screenshot", shot, kSample});
    ASSERT_TRUE(restarted.waitForFinished(60000));
    EXPECT_EQ(restarted.exitCode(), 0);
    const QString log = QString::fromUtf8(restarted.readAllStandardError());
    EXPECT_TRUE(log.contains("Alert: Possible crash detected It appears that Tessaro Orvane did not quit properly."))
        << qPrintable(log);
    EXPECT_TRUE(QFileInfo(shot).size() > 0);
    EXPECT_EQ(onDisk(file, "appCrashed"), QVariant(false));

    // A start in process, over a file left by a crash, offers the report
    // with its two answers.
    {
        QFile prefs(file);
        ASSERT_TRUE(prefs.open(QIODevice::WriteOnly));
        prefs.write("{\"checkForAnnouncements\": false, \"appCrashed\": true}");
    }
    platform::ScriptedAlerts alerts({1});
    NewUser user(file);
    TZRThemeController extras(TZRThemeController::standardLocations());
    AppDelegate delegate(&user.defaults(), &extras);
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return alerts.count() > 0; }));
    EXPECT_EQ(alerts.shown().first().messageText, "Possible crash detected");
    EXPECT_EQ(alerts.shown().first().buttons, (QStringList{"Report Crash", "False Alarm"}));
}

}  // namespace
