// Documents as tabs of one window, end to end on a real display: three
// files opened together are three tabs of one top-level window, named in
// the Window menu; the keys a Linux desktop uses for tabs switch them, each
// editor getting back its caret, scroll and focus, and the menus validate
// for the tab in front; a hidden tab's preview catches up when it is shown;
// closing an edited tab asks; a tab moves to a window of its own and all
// windows merge back. Pictures are kept under the build folder.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include "app/documents/smart_editor_document.h"
#include "e2e/preview_text.h"
#include "e2e/tabs_program.h"
#include "editor/smart_text_view.h"
#include "platform/documents/document.h"
#include "platform/documents/window_controller.h"
#include "platform/documents/window_tabs.h"
#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "support/large_documents.h"
#include "support/qt_wait.h"
#include "window/content/master_view_content.h"
#include "window/content/tzr_master_view.h"
#include "window/preview/smart_web_view.h"

using namespace std::chrono_literals;
using platform::WindowTabs;

namespace {

QString artifact(const QString &name) {
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    return QStringLiteral(ORVANE_ARTIFACT_DIR "/") + name;
}

bool writeAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A document of `lines` numbered lines under a heading.
QByteArray longText(const char *name, int lines) {
    QByteArray text = QByteArray("# ") + name + "\n\n";
    for (int i = 1; i <= lines; i++)
        text += QByteArray("Line ") + QByteArray::number(i) + " of " + name + ".\n\n";
    return text;
}

// Where the preview's first heading stands in its view, from the top; -1
// when there is none.
double headingTop(SmartWebView *preview) {
    double top = -1;
    bool answered = false;
    preview->runScript(QStringLiteral("(function () { var h = document.querySelector('h1');"
                                      " return h ? h.getBoundingClientRect().top : -1; })()"),
                       [&](bool finished, const QVariant &result) {
                           answered = true;
                           if (finished)
                               top = result.toDouble();
                       });
    testing_qt::spinUntil([&] { return answered; }, 15s);
    return top;
}

bool onScreenAndActive(QWidget *window) {
    return testing_qt::spinUntil([&] {
        window->activateWindow();
        return window->isVisible() && window->windowHandle() && window->windowHandle()->isExposed() &&
               window->isActiveWindow();
    });
}

// The top-level windows on screen that hold documents.
QList<QWidget *> documentWindowsOnScreen() {
    QList<QWidget *> shown;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->isVisible() && top->windowType() == Qt::Window &&
            (WindowTabs::isGroupWindow(top) || qobject_cast<platform::DocumentWindow *>(top)))
            shown.append(top);
    return shown;
}

// Whether the item that sends `action` is enabled once its menu shows.
bool enabledInMenu(TabsProgram &program, const char *action) {
    QAction *item = program.menuItem(action);
    auto *menu = item ? qobject_cast<QMenu *>(item->parent()) : nullptr;
    if (!menu)
        return false;
    platform::ActionRouter::validateMenu(menu);
    return item->isEnabled();
}

TEST(WindowTabsEndToEnd, FilesOpenedTogetherAreTabsOfOneWindowEachKeepingItsOwnState) {
    TabsProgram program;
    for (const char *name : {"a.md", "b.md", "c.md"})
        ASSERT_TRUE(writeAll(program.path(name), longText(name, 300)));
    program.delegate->bringForward(
        program.delegate->openCommandLinePaths({program.path("a.md"), program.path("b.md"), program.path("c.md")}));
    SmartEditorDocument *a = program.document("a.md"), *b = program.document("b.md"), *c = program.document("c.md");
    ASSERT_TRUE(a && b && c);
    QWidget *wa = a->firstWindow(), *wb = b->firstWindow(), *wc = c->firstWindow();

    // One top-level window holds the three, in the order they were named,
    // the last in front.
    QWidget *group = wa->window();
    ASSERT_TRUE(WindowTabs::isGroupWindow(group));
    EXPECT_EQ(WindowTabs::tabbedWindows(group), QList<QWidget *>({wa, wb, wc}));
    EXPECT_EQ(documentWindowsOnScreen(), QList<QWidget *>({group}));
    group->resize(1200, 760);
    ASSERT_TRUE(onScreenAndActive(group));
    EXPECT_EQ(WindowTabs::keyWindow(), wc);
    EXPECT_EQ(group->windowTitle(), QStringLiteral("c.md[*]"));
    QTabBar *bar = WindowTabs::tabBar(group);
    ASSERT_TRUE(bar && bar->isVisible());
    EXPECT_EQ(bar->count(), 3);
    EXPECT_EQ(bar->tabText(0), QStringLiteral("a.md"));

    // The Window menu names each tab, the one in front checked.
    QMenu *windowMenu = program.delegate->mainMenu().topLevelMenu(QStringLiteral("Window"));
    emit windowMenu->aboutToShow();
    QStringList named, checked;
    for (QAction *item : windowMenu->actions())
        if (item->text().endsWith(QLatin1String(".md"))) {
            named << item->text();
            if (item->isChecked())
                checked << item->text();
        }
    EXPECT_EQ(named, QStringList({"a.md", "b.md", "c.md"}));
    EXPECT_EQ(checked, QStringList({"c.md"}));
    for (QAction *item : windowMenu->actions())
        if (item->text() == QLatin1String("a.md"))
            item->trigger();
    EXPECT_EQ(WindowTabs::keyWindow(), wa);

    // Each editor's own caret and scroll, set in its tab.
    struct Place {
        QWidget *tab;
        SmartTextView *editor;
        qsizetype caret;
        int scroll;
    };
    QList<Place> places;
    for (SmartEditorDocument *document : {a, b, c}) {
        WindowTabs::makeKeyAndOrderFront(document->firstWindow());
        SmartTextView *editor = contentOf(document)->textView();
        ASSERT_TRUE(testing_qt::spinUntil([&] { return QApplication::focusWidget() == editor; }, 30s));
        // Its blocks' heights settled first: settling keeps the text in view
        // where it is, and so moves the scroll bar.
        ASSERT_TRUE(testing_qt::spinUntil([&] { return !editorAtWork(contentOf(document)); }, 60s));
        const int index = int(places.size());
        editor->setSelectedRange({qsizetype(200 + 1500 * index), 0});
        editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum() / (index + 2));
        places.append(
            {document->firstWindow(), editor, editor->selectedRange().location, editor->verticalScrollBar()->value()});
    }
    EXPECT_TRUE(previewShows(contentOf(c)->webView(), QStringLiteral("Line 300 of c.md")));
    testing_qt::spinFor(500ms);
    group->screen()->grabWindow(group->winId()).save(artifact("e2e-three-tabs.png"), "PNG");

    // The desktop's keys for tabs, through the menus' shortcuts: each tab
    // comes back as it was left, its editor focused.
    struct Key {
        int key;
        Qt::KeyboardModifiers modifiers;
        int expected;
    };
    const Key keys[] = {
        {Qt::Key_Tab, Qt::ControlModifier, 0},                          // c -> a, around the end
        {Qt::Key_PageDown, Qt::ControlModifier, 1},                     // a -> b
        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 0},  // b -> a
        {Qt::Key_PageUp, Qt::ControlModifier, 2},                       // a -> c, around the start
        {Qt::Key_Tab, Qt::ControlModifier, 0},
        {Qt::Key_Tab, Qt::ControlModifier, 1},
    };
    for (const Key &key : keys) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key.key), key.modifiers);
        const Place &place = places[key.expected];
        EXPECT_EQ(WindowTabs::keyWindow(), place.tab) << "tab " << key.expected;
        EXPECT_TRUE(testing_qt::spinUntil([&] { return QApplication::focusWidget() == place.editor; }, 30s))
            << "tab " << key.expected;
        EXPECT_EQ(place.editor->selectedRange().location, place.caret);
        EXPECT_EQ(place.editor->verticalScrollBar()->value(), place.scroll);
        EXPECT_EQ(group->windowTitle(), WindowTabs::selectedWindow(group)->windowTitle());
    }
    EXPECT_EQ(WindowTabs::keyWindow(), wb);

    // The menus validate for the tab in front: only an edited one reverts.
    QTest::keyClicks(places[1].editor, QStringLiteral("edited "));
    EXPECT_TRUE(b->isDocumentEdited());
    EXPECT_TRUE(enabledInMenu(program, "revertDocumentToSaved:"));
    EXPECT_EQ(bar->tabText(1), QStringLiteral("b.md*"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(WindowTabs::keyWindow(), wa);
    EXPECT_FALSE(enabledInMenu(program, "revertDocumentToSaved:"));
    // Even with nothing focused, the tab in front is the window the menus see.
    QApplication::focusWidget()->clearFocus();
    EXPECT_FALSE(enabledInMenu(program, "revertDocumentToSaved:"));
    EXPECT_TRUE(enabledInMenu(program, "selectNextTab:"));
    EXPECT_TRUE(enabledInMenu(program, "moveTabToNewWindow:"));
    EXPECT_FALSE(enabledInMenu(program, "mergeAllWindows:"));
    WindowTabs::makeKeyAndOrderFront(wb);
    EXPECT_TRUE(enabledInMenu(program, "revertDocumentToSaved:"));
    // The menu bar holding the keyboard (as Alt leaves it): the menus still
    // see the editor of the tab in front, which gets the keyboard back.
    ASSERT_TRUE(testing_qt::spinUntil([&] { return QApplication::focusWidget() == places[1].editor; }, 30s));
    QMenuBar *menuBar = qobject_cast<QMainWindow *>(group)->menuBar();
    menuBar->setFocus(Qt::MenuBarFocusReason);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return QApplication::focusWidget() == menuBar; }, 30s));
    EXPECT_EQ(platform::ActionRouter::firstResponder(), places[1].editor);
    EXPECT_TRUE(enabledInMenu(program, "revertDocumentToSaved:"));
    platform::ActionRouter::returnKeyboardFromMenuBar();
    EXPECT_EQ(QApplication::focusWidget(), places[1].editor);

    // A hidden tab's preview catches up once it is in front again: another
    // program rewrites a.md while b is in front.
    ASSERT_TRUE(writeAll(program.path("a.md"), longText("a.md", 300) + "Written by another program.\n"));
    ASSERT_TRUE(testing_qt::spinUntil(
        [&] { return contentOf(a)->textString().contains(QStringLiteral("Written by another program.")); }, 10s));
    testing_qt::spinFor(500ms);
    WindowTabs::makeKeyAndOrderFront(wa);
    EXPECT_TRUE(previewShows(contentOf(a)->webView(), QStringLiteral("Written by another program.")));

    // Closing the edited tab by its close button asks; Cancel keeps it, in
    // front; Don't Save closes it.
    program.alerts.addAnswers({2});
    qobject_cast<QAbstractButton *>(bar->tabButton(1, QTabBar::RightSide))->click();
    QStringList asked;
    for (const platform::Alert &alert : program.alerts.shown())
        asked << alert.messageText;
    ASSERT_EQ(program.alerts.count(), 1) << qPrintable(asked.join(" | "));
    EXPECT_TRUE(program.alerts.shown().first().messageText.contains(QStringLiteral("“b.md”")));
    EXPECT_EQ(WindowTabs::tabbedWindows(group), QList<QWidget *>({wa, wb, wc}));
    EXPECT_EQ(WindowTabs::keyWindow(), wb);
    program.alerts.addAnswers({1});
    qobject_cast<QAbstractButton *>(bar->tabButton(1, QTabBar::RightSide))->click();
    EXPECT_EQ(program.alerts.count(), 2);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !program.document("b.md"); }, 30s));
    EXPECT_EQ(WindowTabs::tabbedWindows(group), QList<QWidget *>({wa, wc}));

    // Move Tab to New Window, then Merge All Windows, from the menu.
    WindowTabs::makeKeyAndOrderFront(wc);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return QApplication::focusWidget() == places[2].editor; }, 30s));
    program.menuItem("moveTabToNewWindow:")->trigger();
    EXPECT_EQ(wc->window(), wc);
    EXPECT_TRUE(onScreenAndActive(wc));
    EXPECT_EQ(documentWindowsOnScreen().size(), 2);
    EXPECT_EQ(WindowTabs::tabbedWindows(group), QList<QWidget *>({wa}));
    EXPECT_FALSE(bar->isVisible());
    EXPECT_TRUE(previewShows(contentOf(c)->webView(), QStringLiteral("Line 300 of c.md")));
    EXPECT_EQ(places[2].editor->selectedRange().location, places[2].caret);
    EXPECT_TRUE(enabledInMenu(program, "mergeAllWindows:"));
    EXPECT_FALSE(enabledInMenu(program, "selectNextTab:"));
    program.menuItem("mergeAllWindows:")->trigger();
    EXPECT_EQ(documentWindowsOnScreen(), QList<QWidget *>({wc->window()}));
    EXPECT_EQ(WindowTabs::tabbedWindows(wc), QList<QWidget *>({wc, wa}));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return WindowTabs::keyWindow() == wc; }, 30s));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return QApplication::focusWidget() == places[2].editor; }, 30s));
    EXPECT_EQ(program.alerts.count(), 2);
    ASSERT_TRUE(onScreenAndActive(wc->window()));
    testing_qt::spinFor(800ms);
    wc->window()->screen()->grabWindow(wc->window()->winId()).save(artifact("e2e-merged-tabs.png"), "PNG");
}

// Tabs passed through quickly, as a run of Ctrl+Tab does, each shown a
// moment before the next: once one is in front for good, its preview shows
// the document where its editor is, the heading at the top, rather than the
// empty margin above it.
TEST(WindowTabsEndToEnd, ATabPassedThroughShowsItsPreviewWhereItsEditorIsOnceInFront) {
    TabsProgram program;
    for (const char *name : {"a.md", "b.md", "c.md", "d.md"})
        ASSERT_TRUE(writeAll(program.path(name), QByteArray("# ") + name + "\n"));
    program.delegate->bringForward(
        program.delegate->openCommandLinePaths({program.path("a.md"), program.path("b.md"), program.path("c.md")}));
    QWidget *group = program.document("a.md")->firstWindow()->window();
    group->resize(900, 600);
    ASSERT_TRUE(onScreenAndActive(group));
    testing_qt::spinFor(300ms);
    program.delegate->bringForward(program.delegate->openCommandLinePaths({program.path("d.md")}));
    QList<SmartEditorDocument *> documents;
    for (const char *name : {"a.md", "b.md", "c.md", "d.md"})
        documents << program.document(name);
    ASSERT_FALSE(documents.contains(nullptr));
    ASSERT_EQ(WindowTabs::tabbedWindows(group).size(), 4);
    testing_qt::spinFor(800ms);  // the previews start in the meantime, behind d's tab
    for (SmartEditorDocument *document : documents) {
        WindowTabs::makeKeyAndOrderFront(document->firstWindow());
        testing_qt::spinFor(30ms);
    }
    for (SmartEditorDocument *document : documents) {
        WindowTabs::makeKeyAndOrderFront(document->firstWindow());
        SmartWebView *preview = contentOf(document)->webView();
        ASSERT_TRUE(previewShows(preview, document->displayName())) << qPrintable(document->displayName());
        EXPECT_TRUE(testing_qt::spinUntil(
            [&] {
                const double top = headingTop(preview);
                return top >= 0 && top < preview->height() / 3;
            },
            5s))
            << qPrintable(document->displayName()) << " heading at " << headingTop(preview) << " of "
            << preview->height();
    }
}

// Four documents of 5 MB opened together as tabs: while their editors lay
// out and style their texts in the background, each tab brought to the
// front shows its preview, the first before the tabs behind it are done
// with their own work, which waits meanwhile. The tab in front at launch
// begins loading its page a second after its window is built; a tab brought
// forward during that load has it given up, and the page is loaded once
// that tab is in front again. How soon each preview comes is measured by
// bench/editor/background_bench.cpp: the waits here only catch a hang.
TEST(WindowTabsEndToEnd, ALargeDocumentsTabShowsItsPreviewBeforeTheTabsBehindAreDone) {
    constexpr auto hang = 3min;
    TabsProgram program;
    const char *names[] = {"a.md", "b.md", "c.md", "d.md"};
    QStringList paths;
    for (const char *name : names) {
        ASSERT_TRUE(writeAll(program.path(name), large::docs(name, 5 << 20)));
        paths << program.path(name);
    }
    program.delegate->bringForward(program.delegate->openCommandLinePaths(paths));
    QList<SmartEditorDocument *> documents;
    for (const char *name : names)
        documents << program.document(name);
    ASSERT_FALSE(documents.contains(nullptr));
    QWidget *group = documents.front()->firstWindow()->window();
    group->resize(1280, 800);
    ASSERT_TRUE(onScreenAndActive(group));
    SmartEditorDocument *a = documents[0], *d = documents[3];
    ASSERT_EQ(WindowTabs::keyWindow(), d->firstWindow());
    auto shows = [](SmartEditorDocument *document) {
        return previewText(contentOf(document)->webView())
            .contains(QStringLiteral("Section 2 of ") + document->displayName());
    };

    // The front tab's page on its way; every editor at work.
    SmartWebView *dPreview = contentOf(d)->webView();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return dPreview->controller().isUpdating(); }, hang));
    for (SmartEditorDocument *document : documents)
        ASSERT_TRUE(editorAtWork(contentOf(document))) << qPrintable(document->displayName()) << " done before the tabs came forward";

    // The first tab brought forward: the page of the tab now behind it is
    // given up, and the first tab's preview comes while the tabs behind
    // still have their work before them.
    WindowTabs::makeKeyAndOrderFront(a->firstWindow());
    EXPECT_FALSE(dPreview->isLoadingHtml());
    EXPECT_TRUE(testing_qt::spinUntil([&] { return shows(a); }, hang)) << "a.md";
    for (SmartEditorDocument *document : documents.mid(1)) {
        EXPECT_TRUE(editorAtWork(contentOf(document))) << qPrintable(document->displayName());
        EXPECT_FALSE(contentOf(document)->webView()->isLoadingHtml()) << qPrintable(document->displayName());
    }
    EXPECT_FALSE(shows(d));

    // Each of the others shows its own once in front, d's page loaded then.
    for (SmartEditorDocument *document : documents.mid(1)) {
        WindowTabs::makeKeyAndOrderFront(document->firstWindow());
        EXPECT_TRUE(testing_qt::spinUntil([&] { return shows(document); }, hang))
            << qPrintable(document->displayName());
    }
}

// A tab moved to a window of its own and merged back, then the window of
// tabs closed as a whole, as quitting closes it: every tab closes, and what
// the group window deletes afterwards (its tabs' close buttons) finds
// nothing left of them.
TEST(WindowTabsEndToEnd, AWindowOfTabsMovedOutMergedBackAndClosedGoesWhole) {
    TabsProgram program;
    for (const char *name : {"a.md", "b.md", "c.md"})
        ASSERT_TRUE(writeAll(program.path(name), longText(name, 20)));
    program.delegate->bringForward(
        program.delegate->openCommandLinePaths({program.path("a.md"), program.path("b.md"), program.path("c.md")}));
    SmartEditorDocument *a = program.document("a.md"), *c = program.document("c.md");
    ASSERT_TRUE(a && c);
    QWidget *wa = a->firstWindow(), *wc = c->firstWindow();
    ASSERT_TRUE(onScreenAndActive(wa->window()));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return QApplication::focusWidget() == contentOf(c)->textView(); }, 30s));

    program.menuItem("moveTabToNewWindow:")->trigger();
    ASSERT_EQ(wc->window(), wc);
    ASSERT_TRUE(onScreenAndActive(wc));
    program.menuItem("mergeAllWindows:")->trigger();
    QWidget *group = wc->window();
    ASSERT_TRUE(WindowTabs::isGroupWindow(group));
    ASSERT_EQ(WindowTabs::tabbedWindows(group).size(), 3);
    WindowTabs::makeKeyAndOrderFront(wa);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return QApplication::focusWidget() == contentOf(a)->textView(); }, 30s));

    const QPointer<QWidget> closing = group;
    EXPECT_TRUE(group->close());
    EXPECT_TRUE(testing_qt::spinUntil([&] { return program.documents.documents().isEmpty() && !closing; }, 30s));
    EXPECT_TRUE(documentWindowsOnScreen().isEmpty());
    EXPECT_EQ(program.alerts.count(), 0);
}

}  // namespace
