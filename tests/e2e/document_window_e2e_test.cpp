// A document window end to end on a real display: the application opens the
// sample document in its window, typing reaches the preview, each sidebar
// and the info bar open and close from the menu's actions, a clean-up runs
// and is undone; a copy of the sample is edited, saved from the File menu,
// reached by a key of the user's key-binding file, undone back to clean, and
// closing it with changes asks first; and the program itself starts on the
// sample and shows it. Files the editor cannot show byte for byte are left
// as they were by the program, and text typed while another program
// rewrites the file survives. A menu closed with Escape leaves the keyboard
// with the editor, whose commands the next menu finds, and new windows
// cascade within the screen. Pictures are kept under the build folder.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>

#include "app/app_delegate.h"
#include "app/documents/smart_editor_document.h"
#include "app/extras/tzr_theme_controller.h"
#include "e2e/application.h"
#include "e2e/preview_text.h"
#include "e2e/new_user.h"
#include "e2e/window_manager.h"
#include "editor/input/completion_popup.h"
#include "editor/smart_text_view.h"
#include "editor/view/find_bar.h"
#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "platform/documents/document.h"
#include "platform/documents/document_controller.h"
#include "platform/documents/window_controller.h"
#include "platform/documents/window_tabs.h"
#include "platform/text/pasteboard.h"
#include "platform/prefs/registered_defaults.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "support/save_gate.h"
#include "window/sidebars/tzr_critic_view.h"
#include "window/sidebars/tzr_reference_view.h"
#include "window/sidebars/tzr_toc_view.h"
#include "window/sidebars/smart_text_info_view.h"
#include "window/preview/smart_web_view.h"
#include "window/content/master_view_content.h"
#include "window/content/tzr_master_view.h"

using namespace std::chrono_literals;

namespace {

const QString kSample = QStringLiteral(ORVANE_SOURCE_DIR "/examples/sample.md");

QString artifact(const QString &name) {
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    return QStringLiteral(ORVANE_ARTIFACT_DIR "/") + name;
}

// A copy of the sample and its appendix in `folder`; the copy's path.
QString copySample(const QString &folder) {
    const QString copy = folder + QStringLiteral("/notes.md");
    const bool copied = QFile::copy(kSample, copy) &&
                        QFile::copy(QStringLiteral(ORVANE_SOURCE_DIR "/examples/sample-appendix.md"),
                                    folder + QStringLiteral("/sample-appendix.md"));
    QFile(copy).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return copied ? copy : QString();
}

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void press(QWidget *widget, int key, Qt::KeyboardModifiers modifiers, const QString &text = QString()) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &up);
}

void type(QWidget *widget, const QString &text) {
    for (QChar c : text) {
        const bool newline = c == u'\n';
        const int key = newline ? int(Qt::Key_Return) : c.toUpper().unicode();
        const QString typed = newline ? QStringLiteral("\r") : QString(c);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, typed);
        QCoreApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, typed);
        QCoreApplication::sendEvent(widget, &release);
    }
}

TZRMasterView *contentOf(SmartEditorDocument *document) { return dynamic_cast<TZRMasterView *>(document->content()); }

// Whether `window` comes to be shown and exposed, waiting up to a minute: a
// window manager on a loaded machine can take seconds to map a new frame.
// Says what was missing when it does not.
::testing::AssertionResult onScreen(QWidget *window) {
    const bool shown = testing_qt::spinUntil(
        [window] {
            QWidget *top = window->window();
            return window->isVisible() && top->windowHandle() && top->windowHandle()->isExposed();
        },
        1min);
    if (shown)
        return ::testing::AssertionSuccess();
    QWidget *top = window->window();
    return ::testing::AssertionFailure()
           << "after a minute: " << (window->isVisible() ? "visible" : "not visible") << ", top "
           << (top->isVisible() ? "visible" : "not visible") << ", "
           << (!top->windowHandle()             ? "no native window"
               : top->windowHandle()->isExposed() ? "exposed"
                                                  : "not exposed")
           << ", X window " << (top->windowHandle() ? top->winId() : 0) << " ("
           << testing_x::describeWindow(top->windowHandle() ? top->winId() : 0) << "), geometry "
           << ::testing::PrintToString(top->geometry());
}

TEST(DocumentWindowEndToEnd, TypingReachesThePreviewTheSidebarsAndInfoBarToggleAndACleanUpIsUndone) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    // The sample's changes and its appendix, beside it.
    user.defaults().setBool(true, "EXT_CRITIC");
    user.defaults().setBool(true, "EXT_TRANSCLUDE");
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    const QString file = copySample(dir.path());
    ASSERT_FALSE(file.isEmpty());
    SmartEditorDocument *document = app.open(file);
    ASSERT_TRUE(document);
    TZRMasterView *content = contentOf(document);
    ASSERT_TRUE(content);
    SmartTextView *editor = content->textView();
    EXPECT_EQ(document->textView(), document->content()->textContent());
    EXPECT_EQ(document->textView()->parent(), editor);
    EXPECT_FALSE(document->isDocumentEdited());
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
    QWidget *window = document->firstWindow();
    window->windowHandle()->screen()->grabWindow(window->winId()).save(artifact("e2e-document-window.png"), "PNG");
    // Saving in place is on for a new user: closing saves the edits without
    // asking.
    const QByteArray shown = content->textString().toUtf8();
    QPointer<SmartEditorDocument> closing = document;
    EXPECT_TRUE(platform::ActionRouter::sendAction("performClose:", nullptr, editor));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return closing.isNull(); }));
    EXPECT_EQ(alerts.count(), 0);
    EXPECT_EQ(readAll(file), shown);
}

// Menus opened with the pointer on the window's menu bar.
QMenu *menuOfBar(QMenuBar *bar, const QString &title) {
    for (QAction *item : bar->actions())
        if (item->menu() && item->menu()->objectName() == title)
            return item->menu();
    return nullptr;
}

bool openFromBar(QMenuBar *bar, QMenu *menu) {
    const QPoint at = bar->actionGeometry(menu->menuAction()).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, bar->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, bar->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &release);
    return testing_qt::spinUntil([&] { return menu->isVisible() && QApplication::activePopupWidget() == menu; });
}

bool closeWithEscape(QMenu *menu) {
    press(menu, Qt::Key_Escape, Qt::NoModifier);
    const bool closed = testing_qt::spinUntil([&] { return !menu->isVisible(); });
    testing_qt::spinFor(50ms);
    return closed;
}

QAction *itemOf(QMenu *menu, const char *action) {
    for (QAction *item : menu->actions())
        if (platform::ActionRouter::actionOf(item) == QLatin1String(action))
            return item;
    return nullptr;
}

// Escape closes a menu without stranding the keyboard on the menu bar: the
// editor has it back (typed keys reach the text), and the next menu finds
// the editor's commands, its View items marked as the window shows its
// panes. Menus validated while the bar or nobody holds the keyboard find
// the active window's editor too.
TEST(DocumentWindowEndToEnd, EscapeClosesAMenuAndTheEditorKeepsTheKeyboardAndItsCommands) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    const QString file = copySample(dir.path());
    ASSERT_FALSE(file.isEmpty());
    SmartEditorDocument *document = app.open(file);
    ASSERT_TRUE(document);
    TZRMasterView *content = contentOf(document);
    SmartTextView *editor = content->textView();
    auto *window = qobject_cast<QMainWindow *>(document->firstWindow());
    ASSERT_TRUE(window);
    editor->setFocus();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return editor->hasFocus(); }));
    editor->setSelectedRange({0, 0});
    type(editor, "Typed ");
    editor->setSelectedRange({0, 5});

    QMenuBar *bar = window->menuBar();
    QMenu *edit = menuOfBar(bar, "Edit");
    QMenu *view = menuOfBar(bar, "View");
    QMenu *format = menuOfBar(bar, "Format");
    ASSERT_TRUE(edit && view && format);

    auto editorCommandsEnabled = [&] {
        for (const char *action : {"undo:", "copy:", "paste:", "cut:"})
            EXPECT_TRUE(itemOf(edit, action) && itemOf(edit, action)->isEnabled()) << action;
        for (const char *action : {"togglePreview:", "toggleTOC:", "toggleInfo:", "zoomIn:", "toggleShowLineNumbers:"})
            EXPECT_TRUE(itemOf(view, action) && itemOf(view, action)->isEnabled()) << action;
        for (const char *action : {"addStrong:", "shiftRight:", "toggleList:"})
            EXPECT_TRUE(itemOf(format, action) && itemOf(format, action)->isEnabled()) << action;
    };

    // Opened with the pointer, closed with Escape: the keyboard is the editor's.
    ASSERT_TRUE(openFromBar(bar, edit));
    ASSERT_TRUE(closeWithEscape(edit));
    EXPECT_EQ(QApplication::focusWidget(), editor);
    editor->setSelectedRange({0, 0});
    type(QApplication::focusWidget(), "X");
    EXPECT_TRUE(content->textString().startsWith("XTyped "));
    editor->setSelectedRange({0, 6});

    // The next menus find the editor's commands; View marks what is shown.
    ASSERT_TRUE(openFromBar(bar, view));
    QAction *preview = itemOf(view, "togglePreview:");
    QAction *toc = itemOf(view, "toggleTOC:");
    QAction *info = itemOf(view, "toggleInfo:");
    ASSERT_TRUE(preview && toc && info);
    EXPECT_TRUE(preview->isChecked());
    EXPECT_TRUE(info->isChecked());
    EXPECT_FALSE(toc->isChecked());
    testing_qt::spinFor(300ms);
    QScreen *screen = window->windowHandle()->screen();
    screen->grabWindow(0)
        .copy(window->frameGeometry().adjusted(0, 0, 0, 200))
        .save(artifact("e2e-view-menu.png"), "PNG");
    ASSERT_TRUE(closeWithEscape(view));
    EXPECT_EQ(QApplication::focusWidget(), editor);
    ASSERT_TRUE(openFromBar(bar, edit));
    for (const char *action : {"undo:", "copy:", "cut:"})
        EXPECT_TRUE(itemOf(edit, action) && itemOf(edit, action)->isEnabled()) << action;
    ASSERT_TRUE(closeWithEscape(edit));

    // The menu bar holding the keyboard (as Alt leaves it), or nobody: the
    // menus are validated from the active window's editor all the same.
    bar->setFocus(Qt::MenuBarFocusReason);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return QApplication::focusWidget() == bar; }));
    for (QMenu *menu : {edit, view, format})
        platform::ActionRouter::validateMenu(menu);
    editorCommandsEnabled();
    EXPECT_EQ(platform::ActionRouter::targetForAction("undo:"), static_cast<platform::Responder *>(editor));
    EXPECT_TRUE(platform::ActionRouter::sendAction("toggleTOC:", nullptr));
    EXPECT_TRUE(content->isSidebarVisible(TZRMasterView::Sidebar::TableOfContents));
    QApplication::focusWidget()->clearFocus();
    ASSERT_EQ(QApplication::focusWidget(), nullptr) << QApplication::focusWidget()->metaObject()->className();
    for (QMenu *menu : {edit, view, format})
        platform::ActionRouter::validateMenu(menu);
    editorCommandsEnabled();
    EXPECT_TRUE(itemOf(view, "toggleTOC:")->isChecked());
}

// New documents opened one after another are tabs of one window, within the
// screen; moved to windows of their own, each stands a step from the last,
// the info bar at the bottom of each in sight, also when the frame the
// untitled windows keep would carry them off the screen.
TEST(DocumentWindowEndToEnd, NewWindowsOpenAndCascadeWithinTheScreen) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect available = screen->availableGeometry();
    // The frame the last untitled window left, low on the screen and almost
    // as tall as it.
    user.defaults().setObject(QStringLiteral("%1 %2 1100 %3")
                                  .arg(available.left() + 40)
                                  .arg(available.top() + 120)
                                  .arg(available.height() - 160),
                              platform::WindowController::frameKey("KVXDocument"));
    QList<QWidget *> tabs;
    for (int i = 0; i < 4; i++) {
        const int before = app.documents.documents().size();
        ASSERT_TRUE(platform::ActionRouter::sendAction("newDocument:", nullptr));
        ASSERT_EQ(app.documents.documents().size(), before + 1);
        QWidget *tab = app.documents.documents().last()->firstWindow();
        ASSERT_TRUE(onScreen(tab)) << i;
        testing_qt::spinFor(100ms);
        tabs << tab;
    }
    QWidget *group = tabs.first()->window();
    ASSERT_TRUE(platform::WindowTabs::isGroupWindow(group));
    EXPECT_EQ(platform::WindowTabs::tabbedWindows(group), tabs);
    EXPECT_TRUE(available.contains(group->frameGeometry()));
    // Each tab but the first moved to a window of its own, from the menu.
    QList<QWidget *> windows{group};
    for (int i = 1; i < 4; i++) {
        ASSERT_TRUE(platform::ActionRouter::sendAction("moveTabToNewWindow:", nullptr, tabs.at(i)));
        ASSERT_TRUE(tabs.at(i)->isWindow()) << i;
        ASSERT_TRUE(onScreen(tabs.at(i))) << i;
        testing_qt::spinFor(100ms);
        windows << tabs.at(i);
    }
    for (int i = 0; i < windows.size(); i++) {
        QWidget *window = windows.at(i);
        EXPECT_TRUE(available.contains(window->frameGeometry())) << i;
        auto *info = window->findChild<SmartTextInfoView *>();
        ASSERT_TRUE(info);
        const QRect shown(info->mapToGlobal(QPoint(0, 0)), info->size());
        EXPECT_TRUE(info->isVisible()) << i;
        EXPECT_TRUE(available.contains(shown)) << i;
        for (int j = 0; j < i; j++)
            EXPECT_NE(window->geometry().topLeft(), windows.at(j)->geometry().topLeft()) << i << " " << j;
    }
    EXPECT_EQ(windows.at(1)->geometry().topLeft() - windows.at(0)->geometry().topLeft(),
              QPoint(platform::WindowController::kCascadeStep, platform::WindowController::kCascadeStep));
    testing_qt::spinFor(300ms);
    screen->grabWindow(0).save(artifact("e2e-cascaded-windows.png"), "PNG");
}

// Under a window manager, which frames each window with a title bar: two
// files opened together are tabs of one window whose frame, title bar
// included, is on the screen; the tab moved to a window of its own
// stands a step down and right from that window, not over it, its frame on
// the screen too. The frames are the X server's.
TEST(DocumentWindowEndToEnd, UnderAWindowManagerFramesAreOnTheScreenAndAMovedTabStandsAStepAside) {
    testing_x::WindowManager manager;
    if (!manager.isRunning())
        GTEST_SKIP() << "no window manager (openbox) on this display";
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    const QRect area = testing_x::workArea();
    ASSERT_FALSE(area.isEmpty());
    const auto onTheScreen = [&](const QRect &frame) { return area.contains(frame); };
    // Named together, as a start names them: the second joins the first
    // before the window manager placed the first.
    QStringList paths;
    for (const char *name : {"first.md", "second.md"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("# Text\n");
        paths << file.fileName();
    }
    app.delegate.openCommandLinePaths(paths);
    QList<QWidget *> windows;
    for (const QString &path : std::as_const(paths)) {
        platform::Document *document = app.documents.documentForPath(path);
        ASSERT_TRUE(document);
        windows << document->firstWindow();
    }
    ASSERT_EQ(platform::WindowTabs::tabbedWindows(windows.first()), windows);
    ASSERT_TRUE(onScreen(windows.first()->window()));
    // The frame is found by the title of the tab in front; which of the two
    // the window manager's first activation leaves there is not the question
    // here, so the second is brought forward.
    platform::WindowTabs::makeKeyAndOrderFront(windows.last());
    ASSERT_TRUE(onScreen(windows.last()));
    // Kept on the screen by the program once it sees the window framed.
    const QRect group = testing_x::settledFrameOfWindowTitled("second.md", onTheScreen).value_or(QRect());
    EXPECT_TRUE(area.contains(group)) << "the frame " << ::testing::PrintToString(group) << " leaves "
                                      << ::testing::PrintToString(area);
    EXPECT_GT(windows.last()->window()->geometry().top(), group.top()) << "a title bar above the window";

    ASSERT_TRUE(platform::ActionRouter::sendAction("moveTabToNewWindow:", nullptr, windows.last()));
    ASSERT_TRUE(windows.last()->isWindow());
    ASSERT_TRUE(onScreen(windows.last()));
    // The old window keeps the moved tab's title until it shows the other.
    const auto notTheOldWindow = [&](const QRect &frame) { return frame != group; };
    const QRect moved = testing_x::settledFrameOfWindowTitled("second.md", notTheOldWindow).value_or(QRect());
    const QRect stayed = testing_x::settledFrameOfWindowTitled("first.md").value_or(QRect());
    EXPECT_TRUE(area.contains(moved)) << ::testing::PrintToString(moved);
    EXPECT_TRUE(area.contains(stayed)) << ::testing::PrintToString(stayed);
    EXPECT_EQ(stayed, group) << "the old window stays where it was";
    EXPECT_EQ(moved.topLeft() - stayed.topLeft(),
              QPoint(platform::WindowController::kCascadeStep, platform::WindowController::kCascadeStep))
        << ::testing::PrintToString(moved) << " beside " << ::testing::PrintToString(stayed);
    testing_qt::spinFor(300ms);
    QGuiApplication::primaryScreen()->grabWindow(0).save(artifact("e2e-moved-tab-framed.png"), "PNG");

    // A file whose window was kept with its top at the screen's edge (kept
    // where no window manager framed it): shown, it moves down until its
    // title bar is on the screen too.
    for (platform::Document *document : app.documents.documents())
        document->close();
    ASSERT_TRUE(testing_qt::spinUntil([] { return !testing_x::frameOfWindowTitled(".md"); }));
    const QString third = dir.filePath("third.md");
    {
        QFile file(third);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("# Text\n");
    }
    user.defaults().setObject(platform::WindowController::frameString(QRect(area.left() + 300, area.top(), 900, 700)),
                              platform::WindowController::frameKey(third));
    app.delegate.openCommandLinePaths({third});
    // Moved by the program once it sees the window framed.
    const QRect kept = testing_x::settledFrameOfWindowTitled("third.md", onTheScreen).value_or(QRect());
    EXPECT_TRUE(area.contains(kept)) << ::testing::PrintToString(kept);
    EXPECT_EQ(kept.top(), area.top()) << "moved down as far as its title bar";
    EXPECT_NEAR(kept.left(), area.left() + 300, 8) << "and not sideways";
}

TEST(DocumentWindowEndToEnd, ACopyOfTheSampleIsEditedSavedFromTheMenuUndoneToCleanAndAsksBeforeClosing) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    // A user who saves by hand.
    user.defaults().setBool(false, "enableLionSaveFeatures");
    const QString file = copySample(dir.path());
    ASSERT_FALSE(file.isEmpty());
    // The user's key bindings: Ctrl+U makes the word upper case.
    TZRExtrasLocations locations = TZRThemeController::standardLocations();
    locations.dataFolders = {dir.filePath("data")};
    const QString bindings = locations.dataFolders.first() + u'/' +
                             TZRThemeController::folderOf(TZRThemeController::Kind::KeyBindings) + "/default." +
                             TZRThemeController::extensionOf(TZRThemeController::Kind::KeyBindings);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(bindings).path()));
    {
        QFile out(bindings);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(R"([{ "modifiers": ["cmd"], "key": "u", "action": "uppercaseWord:" }])");
    }
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), locations);
    SmartEditorDocument *document = app.open(file);
    ASSERT_TRUE(document);
    TZRMasterView *content = contentOf(document);
    ASSERT_TRUE(content);
    SmartTextView *editor = content->textView();
    QWidget *window = document->firstWindow();
    QFile sample(kSample);
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    const QByteArray original = sample.readAll();
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_FALSE(window->isWindowModified());
    // The window wears the main menu.
    ASSERT_TRUE(qobject_cast<QMainWindow *>(window));
    EXPECT_FALSE(qobject_cast<QMainWindow *>(window)->menuBar()->actions().isEmpty());

    // Typing marks the document edited; Save from the File menu writes it.
    editor->setFocus();
    editor->setSelectedRange({content->textString().size(), 0});
    type(editor, "\nwritten here\n");
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_TRUE(window->isWindowModified());
    QAction *save = app.delegate.mainMenu().itemForAction("saveDocument:");
    ASSERT_TRUE(save);
    platform::ActionRouter::validateMenu(app.delegate.mainMenu().topLevelMenu("File"), editor);
    EXPECT_TRUE(save->isEnabled());
    {
        // It is written in the background: keys typed while it is held there
        // are taken in at once; typed and erased, they leave nothing unsaved.
        testing_qt::SaveGate gate(platform::SaveStep::Working);
        save->trigger();
        ASSERT_TRUE(gate.waitUntilHeld());
        type(editor, "x");
        EXPECT_TRUE(content->textString().endsWith("\nwritten here\nx"));
        press(editor, Qt::Key_Backspace, Qt::NoModifier);
        EXPECT_TRUE(content->textString().endsWith("\nwritten here\n"));
        EXPECT_TRUE(document->isSaving());
        EXPECT_EQ(readAll(file), original);
        gate.open();
        ASSERT_TRUE(testing_qt::spinUntil([&] { return !document->isSaving(); }));
    }
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(readAll(file), original + "\nwritten here\n");
    EXPECT_EQ(alerts.count(), 0);

    // A key of the user's binding file reaches the editor.
    editor->setSelectedRange({content->textString().size() - 5, 0});
    press(editor, Qt::Key_U, Qt::ControlModifier);
    EXPECT_TRUE(content->textString().endsWith("\nwritten HERE\n")) << content->textString().right(20).toStdString();
    EXPECT_TRUE(document->isDocumentEdited());
    // Undone back to the saved text, the document is clean again; redone,
    // edited.
    ASSERT_TRUE(platform::ActionRouter::sendAction("undo:", nullptr, editor));
    EXPECT_TRUE(content->textString().endsWith("\nwritten here\n"));
    EXPECT_FALSE(document->isDocumentEdited());
    ASSERT_TRUE(platform::ActionRouter::sendAction("redo:", nullptr, editor));
    EXPECT_TRUE(document->isDocumentEdited());
    // Undone past the save: edited, the file's text is not what is shown.
    ASSERT_TRUE(platform::ActionRouter::sendAction("undo:", nullptr, editor));
    ASSERT_TRUE(platform::ActionRouter::sendAction("undo:", nullptr, editor));
    EXPECT_TRUE(document->isDocumentEdited());
    ASSERT_TRUE(platform::ActionRouter::sendAction("redo:", nullptr, editor));
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_TRUE(content->textString().endsWith("\nwritten here\n"));

    editor->setSelectedRange({content->textString().size(), 0});
    type(editor, "x");
    testing_qt::spinFor(1200ms);
    window->windowHandle()->screen()->grabWindow(window->winId()).save(artifact("e2e-saved-copy.png"), "PNG");

    // Closing with changes asks; Cancel keeps the window and the changes.
    alerts.addAnswers({2});
    EXPECT_TRUE(platform::ActionRouter::sendAction("performClose:", nullptr, editor));
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown().last().messageText,
              QStringLiteral("Do you want to save the changes made to the document “notes.md”?"));
    EXPECT_EQ(alerts.shown().last().buttons, (QStringList{"Save", "Don't Save", "Cancel"}));
    testing_qt::spinFor(50ms);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(document->isDocumentEdited());
    // The window's close button asks too; Save writes the file, then it goes.
    alerts.addAnswers({0});
    QPointer<SmartEditorDocument> closing = document;
    window->close();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return closing.isNull(); }));
    EXPECT_EQ(alerts.count(), 2);
    EXPECT_EQ(readAll(file), original + "\nwritten here\nx");
    EXPECT_TRUE(app.documents.documents().isEmpty());
}

// Quitting without closing the windows (a terminating signal at log-out)
// must not lose what a document that saves in place has not saved yet.
TEST(DocumentWindowEndToEnd, QuittingSavesTheDocumentsThatSaveInPlace) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    ASSERT_TRUE(user.defaults().boolForKey("enableLionSaveFeatures"));
    const QString file = copySample(dir.path());
    ASSERT_FALSE(file.isEmpty());
    const QByteArray original = readAll(file);
    TZRExtrasLocations locations = TZRThemeController::standardLocations();
    locations.dataFolders = {dir.filePath("data")};
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), locations);
    SmartEditorDocument *document = app.open(file);
    ASSERT_TRUE(document);
    TZRMasterView *content = contentOf(document);
    ASSERT_TRUE(content);
    SmartTextView *editor = content->textView();
    editor->setFocus();
    editor->setSelectedRange({content->textString().size(), 0});
    type(editor, "not saved yet");
    ASSERT_TRUE(document->isDocumentEdited());
    ASSERT_EQ(readAll(file), original);  // the in-place save waits a while

    app.delegate.applicationWillTerminate();
    EXPECT_EQ(readAll(file), original + "not saved yet");
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(alerts.count(), 0);
}

TEST(DocumentWindowEndToEnd, TheProgramOpensTheSampleInItsWindow) {
    QTemporaryDir dir;
    const QString config = dir.filePath("config");
    ASSERT_TRUE(writeProgramPreferences(config, "{\"checkForAnnouncements\": false, \"tocIsVisible\": true}"));
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

    // A folder named on the command line opens as a project, not as a
    // document that cannot be read.
    const QString project = dir.filePath("project");
    ASSERT_TRUE(QDir().mkpath(project));
    ASSERT_FALSE(copySample(project).isEmpty());
    const QString projectShot = artifact("e2e-orvane-project.png");
    QFile::remove(projectShot);
    orvane.setProcessChannelMode(QProcess::SeparateChannels);
    orvane.start(QStringLiteral(ORVANE_BINARY), {"--screenshot", projectShot, project});
    ASSERT_TRUE(orvane.waitForFinished(60000));
    EXPECT_EQ(orvane.exitCode(), 0);
    EXPECT_GT(QFileInfo(projectShot).size(), 0);
    const QString errors = QString::fromUtf8(orvane.readAllStandardError());
    EXPECT_FALSE(errors.contains("could not be opened")) << errors.toStdString();
}

}  // namespace

namespace {

// What the program logs on its error channel, gathered as it comes.
struct ProgramLog {
    QProcess &program;
    QString text;
    bool waitFor(const QStringList &lines, std::chrono::milliseconds limit) {
        return testing_qt::spinUntil(
            [&] {
                text += QString::fromUtf8(program.readAllStandardError());
                for (const QString &line : lines)
                    if (!text.contains(line))
                        return false;
                return true;
            },
            limit);
    }
};

}  // namespace

// Files the editor cannot show byte for byte, opened by the program itself,
// left past the autosave's delay and quit: each is told of, none is written.
TEST(DocumentWindowEndToEnd, TheProgramOpensFilesItCannotShowExactlyAndQuitsLeavingThemAsTheyWere) {
    QTemporaryDir dir;
    const QString config = dir.filePath("config");
    ASSERT_TRUE(writeProgramPreferences(config, "{\"checkForAnnouncements\": false}"));
    // One NUL byte; a program copied to a Markdown name; UTF-16 without its
    // byte-order mark.
    QByteArray program = readAll(QStringLiteral("/bin/ls"));
    if (program == "<unreadable>") {
        program.clear();
        for (int i = 0; i < 150000; i++)
            program.append(char((i * 7919 + i / 13) & 0xFF));
    }
    const QList<QPair<QString, QByteArray>> files{
        {dir.filePath("nul.md"), QByteArray("Title: a NUL\n\n\0 and on.\n", 24)},
        {dir.filePath("x.md"), program},
        {dir.filePath("utf16.md"), QStringEncoder(QStringConverter::Utf16LE).encode(u"Grüße 日本語\n"_qs)},
    };
    QStringList arguments;
    for (const auto &[path, bytes] : files) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
        arguments << path;
    }

    QProcess orvane;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", config);
    environment.insert("XDG_DATA_HOME", dir.filePath("data"));
    environment.remove("QT_QPA_PLATFORM");
    // Alerts are logged as they show.
    environment.insert("QT_LOGGING_RULES", "orvane.platform.info=true;qt.webenginecontext.info=false");
    orvane.setProcessEnvironment(environment);
    orvane.start(QStringLiteral(ORVANE_BINARY), arguments);
    ASSERT_TRUE(orvane.waitForStarted(10000));
    ProgramLog log{orvane, {}};
    const bool told = log.waitFor({"Alert: The document “nul.md” is not shown exactly as it is on disk. It contains "
                                   "1 NUL byte",
                                   "Alert: The document “x.md” is not shown exactly",
                                   "Alert: The document “utf16.md” is not shown exactly as it is on disk. It "
                                   "contains 7 NUL bytes"},
                                  60s);
    EXPECT_TRUE(told) << log.text.toStdString();
    // Well past the delay after which an edited document saves in place.
    testing_qt::spinFor(platform::Document::kAutosaveDelay + 2s);
    ::kill(pid_t(orvane.processId()), SIGTERM);
    ASSERT_TRUE(orvane.waitForFinished(30000));
    EXPECT_EQ(orvane.exitStatus(), QProcess::NormalExit);
    for (const auto &[path, bytes] : files)
        EXPECT_EQ(readAll(path), bytes) << path.toStdString() << " changed";
}

// Another program empties the file, pauses, then writes its version, while
// the user types: the typing is kept, merged with the other version.
TEST(DocumentWindowEndToEnd, TypedTextSurvivesAnotherProgramThatEmptiesTheFileAndThenWritesIt) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    user.defaults().setBool(true, "MERGE_FILE_CHANGES");
    const QString file = copySample(dir.path());
    ASSERT_FALSE(file.isEmpty());
    const QByteArray original = readAll(file);
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    SmartEditorDocument *document = app.open(file);
    ASSERT_TRUE(document);
    TZRMasterView *content = contentOf(document);
    ASSERT_TRUE(content);
    SmartTextView *editor = content->textView();
    editor->setFocus();
    editor->setSelectedRange({content->textString().size(), 0});
    type(editor, "\nTyped before ");

    // The other program's version: the first line changed.
    QByteArray theirs = original;
    theirs.replace("A Short Tour", "A Longer Tour");
    ASSERT_NE(theirs, original);
    const QString version = dir.filePath("theirs.md");
    {
        QFile out(version);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(theirs);
    }
    QProcess writer;
    writer.start(QStringLiteral("/bin/sh"),
                 {"-c", QStringLiteral(": > '%1'; sleep 0.4; cat '%2' > '%1'").arg(file, version)});
    ASSERT_TRUE(writer.waitForStarted(5000));
    // Typing goes on while it writes.
    for (const QString &word : {QStringLiteral("and "), QStringLiteral("while "), QStringLiteral("it wrote.")}) {
        testing_qt::spinFor(150ms);
        editor->setSelectedRange({content->textString().size(), 0});
        type(editor, word);
    }
    ASSERT_TRUE(writer.state() == QProcess::NotRunning || writer.waitForFinished(5000));
    EXPECT_EQ(writer.exitCode(), 0);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return content->textString().contains("A Longer Tour"); }, 10s))
        << alerts.count() << " alerts; " << content->textString().left(80).toStdString();
    EXPECT_TRUE(content->textString().endsWith("\nTyped before and while it wrote."))
        << content->textString().right(80).toStdString();
    EXPECT_EQ(alerts.count(), 0);
    // Saved in place a moment later: both versions in the file.
    ASSERT_TRUE(testing_qt::spinUntil(
        [&] { return readAll(file).endsWith("\nTyped before and while it wrote."); },
        platform::Document::kAutosaveDelay + 3s));
    EXPECT_TRUE(readAll(file).contains("A Longer Tour"));
}

namespace {

// Presses Escape in the next modal window (an alert, the print dialog) as
// soon as it shows and has the keyboard; one that is still up after the deadline is closed, and
// the test told. The modal's own event loop runs the checks.
class EscapeTheNextModal {
public:
    EscapeTheNextModal() {
        m_clock.start();
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            // Pressed once it has the keyboard, as a person would.
            if (!modal || (!m_pressed && !modal->isActiveWindow())) {
                if (modal)
                    modal->activateWindow();
                if (m_clock.elapsed() > 20000)
                    m_timer.stop();
                return;
            }
            if (!m_pressed) {
                m_pressed = true;
                press(modal->focusWidget() ? modal->focusWidget() : modal, Qt::Key_Escape, Qt::NoModifier);
            } else if (m_clock.elapsed() > 20000) {
                m_stuck = true;
                modal->close();
            }
            if (!QApplication::activeModalWidget())
                m_timer.stop();
        });
        m_timer.start();
    }
    bool pressed() const { return m_pressed; }
    bool stuck() const { return m_stuck; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    bool m_pressed = false;
    bool m_stuck = false;
};

// WCAG's contrast ratio of two colours, `front` blended over `back`.
double contrast(QColor front, const QColor &back) {
    const double a = front.alphaF();
    front = QColor::fromRgbF(float(front.redF() * a + back.redF() * (1 - a)),
                             float(front.greenF() * a + back.greenF() * (1 - a)),
                             float(front.blueF() * a + back.blueF() * (1 - a)));
    auto luminance = [](const QColor &c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double l1 = luminance(front), l2 = luminance(back);
    return (std::max(l1, l2) + 0.05) / (std::min(l1, l2) + 0.05);
}

}  // namespace

// A completion the list offers stands in the editor only tentatively: the
// preview, Save and the save in place have the word typed. A menu, an alert
// or the print dialog taking the keyboard withdraws it, and the Escape that
// closes them (or the list itself) goes no further: the file on disk stays
// as it was.
TEST(DocumentWindowEndToEnd, ACompletionOfferedIsNotTextAndTheEscapeThatClosesSomethingElseStaysThere) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    const QString file = dir.filePath("notes.md");
    const QByteArray original("# Speling heading\n\nSome third item here.\n\nSpel");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(original) == original.size());
    }
    Application app(user.defaults(), TZRThemeController::standardLocations());
    SmartEditorDocument *document = app.open(file);
    ASSERT_TRUE(document);
    TZRMasterView *content = contentOf(document);
    SmartTextView *editor = content->textView();
    auto *window = qobject_cast<QMainWindow *>(document->firstWindow());
    ASSERT_TRUE(window);
    editor->setFocus();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return editor->hasFocus(); }));
    ASSERT_TRUE(previewShows(content->webView(), "Spel"));

    auto offer = [&] {
        // Back in the window, as a click in the text would bring the user.
        EXPECT_TRUE(testing_qt::spinUntil([&] {
            window->activateWindow();
            editor->setFocus();
            return editor->hasFocus();
        }));
        editor->setSelectedRange({content->textString().size(), 0});
        press(editor, Qt::Key_Escape, Qt::NoModifier);
        EXPECT_TRUE(editor->completionPopup() && editor->completionPopup()->isVisible());
        EXPECT_TRUE(content->textString().endsWith("\n\nSpeling heading"));
        EXPECT_TRUE(editor->hasTentativeCompletion());
    };
    auto withdrawn = [&](const char *what) {
        EXPECT_TRUE(content->textString().endsWith("\n\nSpel")) << what << ": " << content->textString().toStdString();
        EXPECT_FALSE(editor->completionPopup()->isVisible()) << what;
        EXPECT_FALSE(editor->hasTentativeCompletion()) << what;
    };

    // Offered: the document, Save and the preview have the word typed.
    offer();
    EXPECT_EQ(document->textView()->text(), QString::fromUtf8(original));
    ASSERT_TRUE(platform::ActionRouter::sendAction("saveDocument:", nullptr, editor));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !document->isSaving(); }));
    EXPECT_EQ(readAll(file), original);
    testing_qt::spinFor(1s);
    EXPECT_EQ(previewText(content->webView()).count("Speling heading"), 1) << previewText(content->webView()).toStdString();

    // The list's own Escape closes it, the word typed back.
    press(editor, Qt::Key_Escape, Qt::NoModifier);
    withdrawn("the list");

    // A menu opened with the pointer, closed with Escape.
    offer();
    QMenuBar *bar = window->menuBar();
    QMenu *edit = menuOfBar(bar, "Edit");
    ASSERT_TRUE(edit);
    ASSERT_TRUE(openFromBar(bar, edit));
    ASSERT_TRUE(closeWithEscape(edit));
    withdrawn("a menu");

    // An alert, closed with Escape.
    offer();
    {
        EscapeTheNextModal escape;
        platform::Alerts::runModal({QStringLiteral("Speech is not available"),
                                    QStringLiteral("No audio device available"),
                                    {QStringLiteral("OK")},
                                    platform::AlertStyle::Warning},
                                   window);
        EXPECT_TRUE(escape.pressed());
        EXPECT_FALSE(escape.stuck());
    }
    testing_qt::spinFor(100ms);
    withdrawn("an alert");

    // The print dialog, closed with Escape.
    offer();
    {
        EscapeTheNextModal escape;
        ASSERT_TRUE(platform::ActionRouter::sendAction("printDocument:", nullptr, editor));
        EXPECT_TRUE(escape.pressed());
        EXPECT_FALSE(escape.stuck());
    }
    testing_qt::spinFor(100ms);
    withdrawn("the print dialog");

    // Offered once more and left there past the save in place's delay.
    offer();
    testing_qt::spinFor(platform::Document::kAutosaveDelay + 2s);
    EXPECT_EQ(readAll(file), original);
}

// View ▸ Theme and View ▸ Style Sheet, from the window's menu: the open
// window changes, keeps the choice for its file and ticks only its own. On
// the dark theme the find bar has the window's colours, its labels and
// fields readable.
TEST(DocumentWindowEndToEnd, ThemeAndStyleSheetMenusChangeTheOpenWindowAndTheFindBarStaysReadable) {
    QTemporaryDir dir;
    NewUser user(dir.filePath("preferences.json"));
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    const QString file = copySample(dir.path());
    ASSERT_FALSE(file.isEmpty());
    SmartEditorDocument *document = app.open(file);
    ASSERT_TRUE(document);
    TZRMasterView *content = contentOf(document);
    SmartTextView *editor = content->textView();
    auto *window = qobject_cast<QMainWindow *>(document->firstWindow());
    ASSERT_TRUE(window);
    editor->setFocus();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return editor->hasFocus(); }));
    ASSERT_TRUE(previewShows(content->webView(), "A Short Tour"));
    QMenu *view = menuOfBar(window->menuBar(), "View");
    ASSERT_TRUE(view);
    QMenu *themes = view->findChild<QMenu *>("Theme");
    QMenu *sheets = view->findChild<QMenu *>("Style Sheet");
    ASSERT_TRUE(themes && sheets);
    auto ticked = [](QMenu *menu) {
        emit menu->aboutToShow();
        QStringList names;
        for (QAction *item : menu->actions())
            if (item->isChecked())
                names << TZRThemeController::styleNameOf(item);
        return names;
    };
    auto item = [](QMenu *menu, const QString &name) -> QAction * {
        for (QAction *action : menu->actions())
            if (TZRThemeController::styleNameOf(action) == name)
                return action;
        return nullptr;
    };
    auto shoot = [&](const char *name) {
        testing_qt::spinFor(500ms);
        window->screen()->grabWindow(0).copy(window->frameGeometry()).save(artifact(name), "PNG");
    };

    const QString dark = user.defaults().stringForKey("defaultTheme");
    EXPECT_EQ(document->activeTheme(), dark);
    EXPECT_EQ(ticked(themes), QStringList({dark}));
    const QColor darkBackground = editor->palette().color(QPalette::Base);
    shoot("e2e-theme-before.png");

    ASSERT_TRUE(item(themes, "Typewriter"));
    item(themes, "Typewriter")->trigger();
    EXPECT_EQ(document->activeTheme(), "Typewriter");
    EXPECT_EQ(user.defaults().stringForKey(platform::Defaults::keyForPath(u"Theme %@", file)), "Typewriter");
    EXPECT_NE(editor->palette().color(QPalette::Base), darkBackground);
    EXPECT_EQ(ticked(themes), QStringList({"Typewriter"}));
    const QString sheet = document->activeCSS() == "Orvane" ? "Github" : "Orvane";
    ASSERT_TRUE(item(sheets, sheet));
    item(sheets, sheet)->trigger();
    EXPECT_EQ(document->activeCSS(), sheet);
    EXPECT_EQ(user.defaults().stringForKey(platform::Defaults::keyForPath(u"CSS %@", file)), sheet);
    EXPECT_TRUE(content->webView()->activeCSSPath().endsWith("/" + sheet + ".css"))
        << content->webView()->activeCSSPath().toStdString();
    EXPECT_EQ(ticked(sheets), QStringList({sheet}));
    shoot("e2e-theme-after.png");

    // Back to the dark theme, which is no choice of the file's.
    item(themes, dark)->trigger();
    EXPECT_EQ(editor->palette().color(QPalette::Base), darkBackground);
    EXPECT_FALSE(user.defaults().hasStoredValue(platform::Defaults::keyForPath(u"Theme %@", file)));
    EXPECT_EQ(ticked(themes), QStringList({dark}));

    FindBar *find = editor->findBar();
    find->showBar();
    find->setFindString("tour");
    find->setReplaceString(QString());
    ASSERT_TRUE(testing_qt::spinUntil([&] { return find->isVisible(); }));
    const QPalette bar = find->palette();
    for (QLabel *label : find->findChildren<QLabel *>())
        EXPECT_GE(contrast(label->palette().color(QPalette::WindowText), bar.color(QPalette::Window)), 4.5)
            << label->text().toStdString();
    for (QCheckBox *box : find->findChildren<QCheckBox *>())
        EXPECT_GE(contrast(box->palette().color(QPalette::WindowText), bar.color(QPalette::Window)), 4.5)
            << box->text().toStdString();
    for (QLineEdit *field : find->findChildren<QLineEdit *>()) {
        const QPalette colours = field->palette();
        EXPECT_GE(contrast(colours.color(QPalette::Text), colours.color(QPalette::Base)), 4.5);
        EXPECT_GE(contrast(colours.color(QPalette::PlaceholderText), colours.color(QPalette::Base)), 2.5)
            << field->placeholderText().toStdString();
    }
    shoot("e2e-find-bar-solarized-dark.png");
    EXPECT_EQ(alerts.count(), 0);
}
