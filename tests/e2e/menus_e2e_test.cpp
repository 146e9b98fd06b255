// The main menu worked with the keyboard alone on a real display, in the
// program's own windows: every submenu of the menu bar reached with Alt and
// the arrow keys has its items enabled as the editor the user works in
// enables them (as when it is opened by pointing), and Track Changes is
// chosen by keys; File > Open Recent lists the files opened, newest first,
// and one chosen with the keys opens in front; under a window manager, F11
// and the window manager put the window in and out of full screen, and the
// menu follows.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "app/documents/smart_editor_document.h"
#include "app/extras/tzr_theme_controller.h"
#include "app/main_menu.h"
#include "e2e/application.h"
#include "e2e/new_user.h"
#include "e2e/window_manager.h"
#include "editor/smart_text_view.h"
#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using namespace std::chrono_literals;

namespace {

QString write(const QTemporaryDir &dir, const QString &name) {
    QFile file(dir.filePath(name));
    const QByteArray text = "# " + name.toUtf8() + "\n\nSome text to work on.\n";
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? file.fileName() : QString();
}

QString artifact(const QString &name) {
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    return QStringLiteral(ORVANE_ARTIFACT_DIR "/") + name;
}

// The texts of a menu's items as it shows them, a separator as "-".
QStringList titles(QMenu *menu) {
    QStringList result;
    for (QAction *item : menu->actions())
        result << (item->isSeparator() ? QStringLiteral("-") : item->text());
    return result;
}

// Opens `menu` of the window's menu bar with the keys, as one who uses no
// pointer does: Alt gives the bar the keyboard, the arrows go along it to
// the menu's title and down into it.
bool openFromBar(QMenuBar *bar, QMenu *menu) {
    QWidget *typing = QApplication::focusWidget();
    if (!typing)
        return false;
    QTest::keyClick(typing, Qt::Key_Alt, Qt::AltModifier);
    if (!testing_qt::spinUntil([&] { return bar->hasFocus() && bar->activeAction(); }))
        return false;
    for (int presses = 0; bar->activeAction() != menu->menuAction(); presses++) {
        if (presses > bar->actions().size())
            return false;
        QTest::keyClick(bar, Qt::Key_Right);
    }
    QTest::keyClick(bar, Qt::Key_Down);
    return testing_qt::spinUntil([&] { return QApplication::activePopupWidget() == menu; });
}

// Moves down `menu` with the arrow key to the item of `submenu`, and opens
// it with the right arrow key.
bool openWithArrows(QMenu *menu, QMenu *submenu) {
    for (int presses = 0; menu->activeAction() != submenu->menuAction(); presses++) {
        if (presses > menu->actions().size())
            return false;
        QTest::keyClick(menu, Qt::Key_Down);
    }
    QTest::keyClick(menu, Qt::Key_Right);
    return testing_qt::spinUntil([&] { return QApplication::activePopupWidget() == submenu; });
}

void closeMenus() {
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    testing_qt::spinFor(20ms);
}

// Which of a menu's items that send actions are enabled.
QStringList enabledItems(QMenu *menu) {
    QStringList enabled;
    for (QAction *item : menu->actions())
        if (!platform::ActionRouter::actionOf(item).isEmpty() && item->isEnabled())
            enabled << platform::ActionRouter::actionOf(item);
    return enabled;
}

// Every submenu of the menu bar, opened with the keys, has its items enabled
// exactly as the editor the user works in enables them, as when it is opened
// by pointing; Track Changes is chosen with the keyboard.
TEST(MenusEndToEnd, EverySubmenuOpenedWithTheArrowKeysHasItsItemsEnabledAsThePointerFindsThem) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    MainMenu &menu = app.delegate.mainMenu();
    SmartEditorDocument *document = app.open(write(dir, "keys.md"));
    ASSERT_TRUE(document);
    auto *editor = document->firstWindow()->findChild<SmartTextView *>();
    auto *window = qobject_cast<QMainWindow *>(document->firstWindow()->window());
    ASSERT_TRUE(editor && window);
    editor->setFocus();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return editor->hasFocus(); }));
    editor->setSelectedRange({2, 4});
    QMenuBar *bar = window->menuBar();

    int submenus = 0;
    for (QAction *title : bar->actions()) {
        QMenu *top = title->menu();
        for (QAction *entry : top->actions()) {
            QMenu *submenu = entry->menu();
            if (!submenu)
                continue;
            submenus++;
            const std::string name = (top->title() + " > " + submenu->title()).toStdString();
            ASSERT_TRUE(openFromBar(bar, top)) << name;
            ASSERT_TRUE(openWithArrows(top, submenu)) << name;
            const QStringList byKeys = enabledItems(submenu);
            closeMenus();
            ASSERT_TRUE(testing_qt::spinUntil([&] { return editor->hasFocus(); })) << name;
            platform::ActionRouter::validateMenu(submenu, editor);
            EXPECT_EQ(byKeys, enabledItems(submenu)) << name;
        }
    }
    EXPECT_EQ(submenus, 18);

    // Format > CriticMarkup > Track Changes, by keys alone.
    QMenu *format = menu.topLevelMenu("Format");
    QMenu *critic = menu.submenuTitled("CriticMarkup");
    ASSERT_TRUE(openFromBar(bar, format));
    ASSERT_TRUE(openWithArrows(format, critic));
    QAction *tracking = menu.itemForAction("toggleChangeTracking:");
    EXPECT_TRUE(tracking->isEnabled());
    EXPECT_EQ(critic->activeAction(), tracking);
    EXPECT_FALSE(editor->isTrackingChanges());
    QTest::keyClick(critic, Qt::Key_Return);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return editor->isTrackingChanges(); }));
    closeMenus();
}

// File > Open Recent, from the window's menu bar with the keys: the files
// opened, newest first, above Clear Menu; the one chosen opens in front.
TEST(MenusEndToEnd, OpenRecentListsTheFilesOpenedAndOneChosenWithTheKeysOpens) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    MainMenu &menu = app.delegate.mainMenu();
    const QString first = write(dir, "first.md");
    const QString second = write(dir, "second.md");
    SmartEditorDocument *opened = app.open(first);
    ASSERT_TRUE(opened);
    opened->close();
    testing_qt::spinFor(50ms);
    SmartEditorDocument *document = app.open(second);
    ASSERT_TRUE(document);
    auto *window = qobject_cast<QMainWindow *>(document->firstWindow()->window());
    ASSERT_TRUE(window);
    auto *editor = document->firstWindow()->findChild<SmartTextView *>();
    ASSERT_TRUE(editor);
    editor->setFocus();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return editor->hasFocus(); }));

    QMenu *file = menu.topLevelMenu("File");
    QMenu *recent = menu.submenuTitled("Open Recent");
    ASSERT_TRUE(file && recent);
    ASSERT_TRUE(openFromBar(window->menuBar(), file));
    ASSERT_TRUE(openWithArrows(file, recent));
    EXPECT_EQ(titles(recent), QStringList({"second.md", "first.md", "-", "Clear Menu"}));
    testing_qt::spinFor(300ms);
    window->screen()
        ->grabWindow(0)
        .copy(window->frameGeometry().adjusted(0, 0, 400, 0))
        .save(artifact("e2e-open-recent-menu.png"), "PNG");

    // The first file, chosen with the keys.
    QTest::keyClick(recent, Qt::Key_Down);
    ASSERT_TRUE(recent->activeAction());
    EXPECT_EQ(recent->activeAction()->text(), "first.md");
    QTest::keyClick(recent, Qt::Key_Return);
    platform::Document *reopened = nullptr;
    ASSERT_TRUE(testing_qt::spinUntil([&] { return (reopened = app.documents.documentForPath(first)) != nullptr; }));
    // In front: its window (or its tab) shown, the current document.
    EXPECT_TRUE(testing_qt::spinUntil(
        [&] { return reopened->firstWindow()->isVisible() && app.documents.currentDocument() == reopened; }));
    EXPECT_EQ(alerts.count(), 0);
    EXPECT_EQ(titles(recent).mid(0, 2), QStringList({"first.md", "second.md"}));
}

// Under a window manager: F11 puts the window in full screen, the item then
// reads Exit Full Screen, the text is no wider than "fullScreenWidth", and
// the window manager taking the window out of full screen (and back) is
// followed by the item as well.
TEST(MenusEndToEnd, UnderAWindowManagerFullScreenFollowsF11AndTheWindowManager) {
    testing_x::WindowManager manager;
    if (!manager.isRunning())
        GTEST_SKIP() << "no window manager (openbox) on this display";
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    user.defaults().setInteger(700, "fullScreenWidth");
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    SmartEditorDocument *document = app.open(write(dir, "wide.md"));
    ASSERT_TRUE(document);
    QWidget *window = document->firstWindow()->window();
    auto *editor = document->firstWindow()->findChild<SmartTextView *>();
    ASSERT_TRUE(editor);
    editor->setFocus();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return editor->hasFocus(); }));
    QAction *item = app.delegate.mainMenu().itemForAction("toggleFullScreen:");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->text(), "Enter Full Screen");

    QTest::keyClick(editor, Qt::Key_F11);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return window->isFullScreen(); }, 30s));
    EXPECT_EQ(item->text(), "Exit Full Screen");
    EXPECT_TRUE(testing_qt::spinUntil([&] { return window->width() > 700 && editor->width() <= 700; }, 30s))
        << window->width() << " " << editor->width();

    ASSERT_TRUE(testing_x::askForFullScreen(window->winId(), false));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !window->isFullScreen(); }, 30s));
    EXPECT_EQ(item->text(), "Enter Full Screen");
    ASSERT_TRUE(testing_x::askForFullScreen(window->winId(), true));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return window->isFullScreen(); }, 30s));
    EXPECT_EQ(item->text(), "Exit Full Screen");
    QTest::keyClick(editor, Qt::Key_F11);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !window->isFullScreen(); }, 30s));
    EXPECT_EQ(item->text(), "Enter Full Screen");
}

}  // namespace
