// A folder opened as a project end to end on a real display: Open Folder from
// the main menu shows the folder's files under the main menu, the selected
// file previewed beside them; Return opens it as a document in a tab of the
// project window, and New Tab from the menu adds an untitled one to the
// group. Pictures are kept under the build folder.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>

#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "app/documents/project_window_controller.h"
#include "app/documents/smart_editor_document_controller.h"
#include "app/extras/tzr_theme_controller.h"
#include "platform/runtime/alerts.h"
#include "platform/documents/document.h"
#include "platform/documents/file_panels.h"
#include "platform/files/quick_preview.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/documents/window_tabs.h"
#include "support/qt_wait.h"
#include "window/sidebars/kvx_list_views.h"

using namespace std::chrono_literals;

namespace {

void saveScreenshot(QWidget *window, const QString &name) {
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    window->screen()->grabWindow(window->winId()).save(QStringLiteral(ORVANE_ARTIFACT_DIR "/") + name, "PNG");
}

bool onScreenAndActive(QWidget *window) {
    return testing_qt::spinUntil([&] {
        window->activateWindow();
        return window->isVisible() && window->windowHandle() && window->windowHandle()->isExposed() &&
               window->isActiveWindow();
    });
}

TEST(ProjectWindowEndToEnd, OpenFolderFromTheMenuShowsTheFilesAndOpensOneAsATab) {
    platform::ScopedStandardDefaults user;
    user.defaults().setBool(false, "checkForAnnouncements");
    platform::ScriptedAlerts alerts;
    platform::ScriptedPanels panels;
    QTemporaryDir folder;
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORVANE_SOURCE_DIR "/examples/sample.md"), folder.filePath("notes.md")));
    QFile(folder.filePath("notes.md")).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("drafts")));
    QFile idea(folder.filePath("drafts/idea.md"));
    ASSERT_TRUE(idea.open(QIODevice::WriteOnly));
    idea.write("# An idea\n");
    idea.close();

    TZRThemeController extras(TZRThemeController::standardLocations());
    SmartEditorDocumentController documents;
    platform::DocumentController *previous = platform::DocumentController::setShared(&documents);
    {
        AppDelegate delegate(&user.defaults(), &extras);
        delegate.installDocumentMachinery();

        panels.answerOpen({folder.path()});
        QAction *openFolder = delegate.mainMenu().itemForAction(QStringLiteral("openFolder:"));
        ASSERT_TRUE(openFolder);
        openFolder->trigger();
        ASSERT_EQ(documents.openProjects().size(), 1u);
        ProjectWindowController *project = documents.openProjects().front().get();
        QMainWindow *window = project->window();
        window->resize(900, 560);
        ASSERT_TRUE(onScreenAndActive(window));
        ASSERT_TRUE(window->menuBar());
        QStringList menus;
        for (QAction *menu : window->menuBar()->actions())
            menus << menu->text();
        EXPECT_TRUE(menus.contains(QStringLiteral("File"))) << qPrintable(menus.join(", "));

        // The notes selected: previewed beside the list.
        TZRFileNavigatorMac *list = project->fileTable();
        KVXOutlineView *view = list->tableView();
        QModelIndex notes;
        for (QModelIndex index = view->model()->index(0, 0); index.isValid(); index = view->indexBelow(index))
            if (list->treeModel()->rowAt(index).value("label") == QStringLiteral("notes.md"))
                notes = index;
        ASSERT_TRUE(notes.isValid());
        view->setFocus();
        list->setSelectionIndexPath(list->treeModel()->pathForIndex(notes));
        ASSERT_TRUE(testing_qt::spinUntil(
            [&] { return project->preview()->kind() == platform::QuickPreview::Kind::Text; }, 2s));
        EXPECT_TRUE(project->preview()->textView()->toPlainText().contains(QStringLiteral("A Short Tour")));
        testing_qt::spinFor(100ms);
        saveScreenshot(window, QStringLiteral("e2e-project.png"));

        // Return opens it as a tab of the project window, which becomes one
        // window with a tab bar, in its place.
        const QRect projectFrame = window->geometry();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(view, &press);
        ASSERT_TRUE(testing_qt::spinUntil([&] { return documents.documents().size() == 1; }, 30s));
        QWidget *tab = documents.documents().first()->firstWindow();
        QWidget *group = tab->window();
        ASSERT_TRUE(onScreenAndActive(group));
        EXPECT_EQ(window->window(), group);
        EXPECT_EQ(group->geometry(), projectFrame);
        EXPECT_EQ(platform::WindowTabs::tabbedWindows(window), QList<QWidget *>({window, tab}));
        EXPECT_EQ(platform::WindowTabs::keyWindow(), tab);
        EXPECT_TRUE(tab->isVisible());
        EXPECT_FALSE(window->isVisible());
        ASSERT_TRUE(platform::WindowTabs::tabBar(group));
        EXPECT_TRUE(platform::WindowTabs::tabBar(group)->isVisible());
        testing_qt::spinFor(1500ms);  // the preview is loaded a second after the window is made
        saveScreenshot(group, QStringLiteral("e2e-project-tab.png"));

        // New Tab from the menu joins the group, after the selected tab.
        delegate.mainMenu().itemForAction(QStringLiteral("newWindowForTab:"))->trigger();
        ASSERT_EQ(documents.documents().size(), 2);
        QWidget *untitled = documents.documents().last()->firstWindow();
        EXPECT_EQ(platform::WindowTabs::tabbedWindows(window), QList<QWidget *>({window, tab, untitled}));
        EXPECT_EQ(alerts.count(), 0);
        // The project's tab selected again: its list, as it was.
        platform::WindowTabs::makeKeyAndOrderFront(window);
        EXPECT_TRUE(testing_qt::spinUntil([&] { return QApplication::focusWidget() == view; }, 30s));
        EXPECT_EQ(project->preview()->kind(), platform::QuickPreview::Kind::Text);
        testing_qt::spinFor(300ms);
        saveScreenshot(group, QStringLiteral("e2e-project-two-document-tabs.png"));

        for (platform::Document *document : documents.documents())
            document->close();
        project->close();
        testing_qt::spinFor(50ms);
    }
    platform::DocumentController::setShared(previous);
}

}  // namespace
