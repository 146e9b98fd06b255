#include "app/main_menu.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <utility>

#include "app/help/tzr_help_controller.h"
#include "platform/documents/window_tabs.h"
#include "platform/files/native_path.h"
#include "platform/runtime/action_router.h"

namespace {

// One line of the menu table: an item with its action and its key, a
// separator, or a submenu.
struct Entry {
    enum Kind { Item, Separator, Submenu, Placeholder };
    Kind kind;
    QString title;
    QString action;
    QKeySequence key;
    QList<Entry> children;
    bool checkable = false;
    QList<QKeySequence> moreKeys = {};  // keys that choose it too
};

Entry item(const char *title, const char *action, QKeySequence key = {}) {
    return {Entry::Item, QString::fromUtf8(title), QString::fromLatin1(action), key, {}};
}
Entry toggle(const char *title, const char *action, QKeySequence key = {}) {
    Entry e = item(title, action, key);
    e.checkable = true;
    return e;
}
// An item that more keys choose, besides its own.
Entry withKeys(Entry entry, QList<QKeySequence> more) {
    entry.moreKeys = std::move(more);
    return entry;
}
Entry separator() { return {Entry::Separator, {}, {}, {}, {}}; }
Entry submenu(const char *title, QList<Entry> children) {
    return {Entry::Submenu, QString::fromUtf8(title), {}, {}, std::move(children)};
}
// A submenu that someone else fills (themes, style sheets), by its name.
Entry placeholder(const char *title) { return {Entry::Placeholder, QString::fromUtf8(title), {}, {}, {}}; }

QKeySequence keys(const char *text) { return QKeySequence(QString::fromLatin1(text)); }

QList<Entry> applicationMenu() {
    return {
        item("About Orvane", "orderFrontStandardAboutPanel:"),
        separator(),
        item("Preferences…", "showPreferences:", keys("Ctrl+,")),
        item("Default Font…", "myChangeFont:"),
        separator(),
        submenu("Extras", {
                              item("Open Themes Folder", "openThemesFolder:"),
                              item("Open Style Sheets Folder", "openCSSFolder:"),
                              item("Open Expansions Folder", "openExpansionFolder:"),
                              item("Open Key Bindings Folder", "openKeyBindingsFolder:"),
                              separator(),
                              item("Get More Themes…", "getMoreThemes:"),
                          }),
        submenu("Announcements", {
                                     item("Check for Announcements", "showNewMessage:"),
                                     item("Show the Last Announcement", "showLastMessage:"),
                                     item("Join the Mailing List…", "loadSignup:"),
                                 }),
        separator(),
        item("Hide Orvane", "hide:", keys("Ctrl+H")),
        item("Show All", "unhideAllApplications:"),
        separator(),
        item("Quit Orvane", "terminate:", QKeySequence::Quit),
    };
}

QList<Entry> fileMenu() {
    return {
        item("New", "newDocument:", QKeySequence::New),
        item("New Tab", "newWindowForTab:", keys("Ctrl+T")),
        item("Open…", "openDocument:", QKeySequence::Open),
        item("Open Folder…", "openFolder:", keys("Ctrl+Shift+O")),
        submenu("Open Recent", {item("Clear Menu", "clearRecentDocuments:")}),
        separator(),
        item("Close", "performClose:", keys("Ctrl+W")),
        item("Save", "saveDocument:", QKeySequence::Save),
        item("Save As…", "saveDocumentAs:", keys("Ctrl+Shift+S")),
        item("Export…", "saveDocumentTo:", keys("Ctrl+Shift+E")),
        item("Revert to Saved", "revertDocumentToSaved:"),
        separator(),
        item("Compare with the Saved File", "diffToCriticMarkup:"),
        item("Transclude into a New Document", "transcludeToNewDocument:"),
        item("Open with Marked", "openWithMarked:"),
        separator(),
        item("Page Setup…", "runPageLayout:", keys("Ctrl+Shift+P")),
        item("Print Preview", "printPreview:"),
        item("Print…", "printDocument:", QKeySequence::Print),
    };
}

QList<Entry> editMenu() {
    return {
        item("Undo", "undo:", QKeySequence::Undo),
        item("Redo", "redo:", keys("Ctrl+Shift+Z")),
        separator(),
        item("Cut", "cut:", QKeySequence::Cut),
        item("Copy", "copy:", QKeySequence::Copy),
        submenu("Copy As", {
                               item("HTML", "copyAsHTML:", keys("Ctrl+Alt+C")),
                               item("LaTeX", "copyAsLaTeX:"),
                               item("Rich Text", "copyAsRichText:"),
                           }),
        item("Paste", "paste:", QKeySequence::Paste),
        submenu("Paste As", {
                                item("Bulleted List", "pasteAsBulletedList:"),
                                item("Numbered List", "pasteAsEnumeratedList:"),
                                item("Block Quote", "pasteAsBlockquote:"),
                                item("Table", "pasteAsTable:"),
                                item("Table Rows", "pasteAsTableRows:"),
                            }),
        item("Delete", "delete:"),
        item("Select All", "selectAll:", QKeySequence::SelectAll),
        separator(),
        submenu("Find", {
                            item("Find…", "performFindPanelAction:", QKeySequence::Find),
                        }),
        // No system table of text replacements exists here: its item is
        // left out.
        submenu("Spelling and Grammar", {
                                            item("Show Spelling and Grammar", "showGuessPanel:", keys("Ctrl+:")),
                                            item("Check Document Now", "checkSpelling:", keys("Ctrl+;")),
                                            separator(),
                                            toggle("Check Spelling While Typing", "toggleContinuousSpellChecking:"),
                                            toggle("Check Grammar With Spelling", "toggleGrammarChecking:"),
                                            toggle("Correct Spelling Automatically",
                                                   "toggleAutomaticSpellingCorrection:"),
                                        }),
        submenu("Substitutions", {
                                     item("Show Substitutions", "orderFrontSubstitutionsPanel:"),
                                     separator(),
                                     toggle("Smart Copy/Paste", "toggleSmartInsertDelete:"),
                                     toggle("Smart Quotes", "toggleAutomaticQuoteSubstitution:"),
                                     toggle("Smart Dashes", "toggleAutomaticDashSubstitution:"),
                                     toggle("Smart Links", "toggleAutomaticLinkDetection:"),
                                 }),
        submenu("Transformations", {
                                       item("Make Upper Case", "uppercaseWord:"),
                                       item("Make Lower Case", "lowercaseWord:"),
                                       item("Capitalize", "capitalizeWord:"),
                                       item("Title Case", "applyTitleCase:"),
                                   }),
        submenu("Speech", {
                              item("Start Speaking", "startSpeaking:"),
                              item("Stop Speaking", "stopSpeaking:"),
                          }),
    };
}

QList<Entry> formatMenu() {
    return {
        item("Strong", "addStrong:", QKeySequence::Bold),
        item("Emphasis", "addEmph:", QKeySequence::Italic),
        separator(),
        item("Indent", "shiftRight:", keys("Ctrl+]")),
        item("Outdent", "shiftLeft:", keys("Ctrl+[")),
        item("Move Line Up", "shiftUp:", keys("Ctrl+Meta+Up")),
        item("Move Line Down", "shiftDown:", keys("Ctrl+Meta+Down")),
        item("Increase Heading Level", "increaseLine:", keys("Ctrl+Shift+]")),
        item("Decrease Heading Level", "decreaseLine:", keys("Ctrl+Shift+[")),
        separator(),
        submenu("Make", {
                            item("Paragraph", "stripMarkers:"),
                            item("Block Quote", "makeBlockquote:"),
                            item("Bulleted List", "makeBulletedList:"),
                            item("Numbered List", "makeEnumeratedList:"),
                            item("Fenced Code Block", "makeFencedBlock:"),
                        }),
        item("Toggle List Type", "toggleList:"),
        submenu("List Indentation", {
                                        item("Space after Markers", "toggleListIndentToSpace:"),
                                        item("Tab after Markers", "toggleListIndentToTab:"),
                                    }),
        item("Insert Table of Contents", "insertTOC:"),
        submenu("Clean Up", {
                                item("Everything", "cleanupFull:"),
                                item("List Numbers", "cleanupList:"),
                                item("Unwrap Paragraphs", "unwrapParagraphs:"),
                                item("HTML Entities", "cleanupHTMLEntities:"),
                                item("Smart Typography", "cleanupSmartTypography:"),
                                item("Metadata", "cleanupMetadata:"),
                                item("Tables", "cleanupTables:"),
                            }),
        separator(),
        submenu("CriticMarkup", {
                                    toggle("Track Changes", "toggleChangeTracking:", keys("Ctrl+Shift+T")),
                                    item("Highlight", "wrapSelectionInCriticHighlight:"),
                                    item("Comment", "wrapSelectionInCriticComment:"),
                                    separator(),
                                    item("Accept Change", "acceptCurrentCriticMarkup:"),
                                    item("Reject Change", "rejectCurrentCriticMarkup:"),
                                    item("Next Change", "moveSelectionToNextCriticMarkup:"),
                                    item("Previous Change", "moveSelectionToPreviousCriticMarkup:"),
                                }),
        submenu("Selection", {
                                 item("Expand Selection", "increaseSelection:"),
                                 item("Shrink Selection", "decreaseSelection:"),
                                 item("Next Paragraph", "moveSelectionToNextParagraph:"),
                                 item("Previous Paragraph", "moveSelectionToPreviousParagraph:"),
                             }),
    };
}

QList<Entry> viewMenu() {
    return {
        toggle("Table of Contents", "toggleTOC:", keys("Ctrl+1")),
        toggle("References", "toggleRef:", keys("Ctrl+2")),
        toggle("Changes", "toggleCritic:", keys("Ctrl+3")),
        toggle("Preview", "togglePreview:", keys("Ctrl+4")),
        toggle("Info Bar", "toggleInfo:"),
        separator(),
        item("Swap Sidebars", "swapVisiblePanels:"),
        item("Swap Preview", "swapPreview:"),
        item("Go to Left Sidebar", "selectLeftSidebar:"),
        item("Go to Right Sidebar", "selectRightSidebar:"),
        item("Go to Editor", "selectEditor:"),
        separator(),
        item("Zoom In", "zoomIn:", QKeySequence::ZoomIn),
        item("Zoom Out", "zoomOut:", QKeySequence::ZoomOut),
        toggle("Zoom to Fit", "toggleAutoZoom:"),
        item("Zoom Preview In", "zoomPreviewIn:"),
        item("Zoom Preview Out", "zoomPreviewOut:"),
        item("Refresh Preview", "refreshPreview:", keys("Ctrl+R")),
        separator(),
        toggle("Typewriter Scrolling", "toggleTypewriterMode:"),
        toggle("Line Numbers", "toggleShowLineNumbers:"),
        toggle("Paragraph Numbers", "toggleShowParagraphNumbers:"),
        toggle("Invisible Characters", "toggleShowInvisibleCharacters:"),
        separator(),
        placeholder("Theme"),
        placeholder("Style Sheet"),
        separator(),
        // F11, as Linux desktops have it.
        item("Enter Full Screen", "toggleFullScreen:", QKeySequence(Qt::Key_F11)),
    };
}

QList<Entry> windowMenu() {
    return {
        item("Minimize", "performMiniaturize:", keys("Ctrl+M")),
        item("Zoom", "performZoom:"),
        separator(),
        // The keys of a Linux desktop's tabs as well. Ctrl+Shift+Tab comes
        // from the X server as Backtab with the Shift it took spent, from
        // other sources with Shift still held: both are the previous tab.
        withKeys(item("Show Previous Tab", "selectPreviousTab:", keys("Ctrl+Shift+{")),
                 {QKeySequence(Qt::CTRL | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                  QKeySequence(Qt::CTRL | Qt::Key_PageUp)}),
        withKeys(item("Show Next Tab", "selectNextTab:", keys("Ctrl+Shift+}")),
                 {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)}),
        item("Show First Tab", "gotoFirstTab:"),
        item("Move Tab to New Window", "moveTabToNewWindow:"),
        item("Merge All Windows", "mergeAllWindows:"),
        separator(),
        item("Bring All to Front", "arrangeInFront:"),
    };
}

// The property that marks the Window menu's items that name windows.
constexpr char kWindowListItem[] = "orvaneWindowListItem";
// The property that marks Open Recent's items that name documents (and the
// separator under them).
constexpr char kRecentItem[] = "orvaneRecentItem";

// What the full-screen item reads, by the active window's state.
const QString kEnterFullScreen = QStringLiteral("Enter Full Screen");
const QString kExitFullScreen = QStringLiteral("Exit Full Screen");

// The Window menu ends with the windows on screen, each tab by its name;
// the active one is checked, and choosing one brings it to the front.
void listWindows(QMenu *menu) {
    for (QAction *old : menu->actions())
        if (old->property(kWindowListItem).toBool()) {
            menu->removeAction(old);
            delete old;
        }
    QWidget *key = platform::WindowTabs::keyWindow();
    bool first = true;
    for (QWidget *window : platform::WindowTabs::windowsAndTabs()) {
        const QString title = platform::WindowTabs::displayedTitle(window);
        if (title.isEmpty())
            continue;
        if (std::exchange(first, false))
            menu->addSeparator()->setProperty(kWindowListItem, true);
        QAction *item = menu->addAction(title);
        item->setProperty(kWindowListItem, true);
        item->setCheckable(true);
        item->setChecked(window == key);
        QObject::connect(item, &QAction::triggered, item, [target = QPointer<QWidget>(window)] {
            if (target)
                platform::WindowTabs::makeKeyAndOrderFront(target);
        });
    }
}

QList<Entry> helpMenu() {
    QList<Entry> preferences;
    QList<Entry> pages;
    for (const TZRHelpController::Page &page : TZRHelpController::pages()) {
        Entry entry{Entry::Item, page.title, page.action, {}, {}};
        (page.action.startsWith(QLatin1String("orvanePrefs")) ? preferences : pages).append(entry);
    }
    QList<Entry> menu = {
        item("Orvane Guide", "showGuide:", QKeySequence::HelpContents),
        item("Tessaro Syntax Guide", "showCheatSheet:"),
        separator(),
    };
    menu << pages.mid(0, 2);
    Entry preferencesHelp = submenu("Preferences Help", {});
    preferencesHelp.children = preferences;
    menu << preferencesHelp << separator() << pages.mid(2);
    return menu;
}

}  // namespace

MainMenu::MainMenu() : m_root(new QMenu) {
    m_root->setObjectName(QStringLiteral("mainMenu"));
    m_root->setTitle(QStringLiteral("Main Menu"));
    std::function<void(QMenu *, const QList<Entry> &)> fill = [&](QMenu *menu, const QList<Entry> &entries) {
        platform::ActionRouter::validateOnShow(menu);
        for (const Entry &entry : entries) {
            switch (entry.kind) {
            case Entry::Separator:
                menu->addSeparator();
                break;
            case Entry::Item: {
                QAction *action = menu->addAction(entry.title);
                action->setObjectName(entry.action);
                if (entry.moreKeys.isEmpty())
                    action->setShortcut(entry.key);
                else
                    action->setShortcuts(QList<QKeySequence>{entry.key} + entry.moreKeys);
                action->setCheckable(entry.checkable);
                platform::ActionRouter::setAction(action, entry.action);
                break;
            }
            case Entry::Submenu: {
                QMenu *sub = menu->addMenu(entry.title);
                sub->setObjectName(entry.title);
                fill(sub, entry.children);
                break;
            }
            case Entry::Placeholder: {
                QMenu *sub = menu->addMenu(entry.title);
                sub->setObjectName(entry.title);
                // Filled by the extras; the window in front ticks its own.
                platform::ActionRouter::validateOnShow(sub);
                (entry.title == QLatin1String("Theme") ? m_themeMenu : m_cssMenu) = sub;
                break;
            }
            }
        }
    };
    const std::pair<const char *, QList<Entry>> menus[] = {
        {"Orvane", applicationMenu()}, {"File", fileMenu()},     {"Edit", editMenu()},
        {"Format", formatMenu()},      {"View", viewMenu()},     {"Window", windowMenu()},
        {"Help", helpMenu()},
    };
    for (const auto &[title, entries] : menus) {
        QMenu *menu = m_root->addMenu(QString::fromLatin1(title));
        menu->setObjectName(QString::fromLatin1(title));
        fill(menu, entries);
    }
    QMenu *windows = topLevelMenu(QStringLiteral("Window"));
    QObject::connect(windows, &QMenu::aboutToShow, windows, [windows] { listWindows(windows); });

    m_openRecentMenu = submenuTitled(QStringLiteral("Open Recent"));
    // Listed afresh as it shows, then its items validated like the others.
    QObject::connect(m_openRecentMenu, &QMenu::aboutToShow, m_openRecentMenu, [this] {
        updateOpenRecentMenu();
        platform::ActionRouter::validateMenu(m_openRecentMenu);
    });

    // The full-screen item follows the active window: another window
    // activated, or the active one's state changed (by the item, by F11, by
    // the window manager).
    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        QObject::connect(application, &QGuiApplication::focusWindowChanged, m_root, [this] { updateFullScreenItem(); });
    QMenu *view = topLevelMenu(QStringLiteral("View"));
    QObject::connect(view, &QMenu::aboutToShow, view, [this] { updateFullScreenItem(); });
    updateFullScreenItem();
}

MainMenu::~MainMenu() { delete m_root; }

QMenu *MainMenu::topLevelMenu(const QString &title) const {
    for (QAction *item : m_root->actions())
        if (item->menu() && item->menu()->objectName() == title)
            return item->menu();
    return nullptr;
}

QList<QAction *> MainMenu::actionItems() const {
    QList<QAction *> items;
    std::function<void(QMenu *)> walk = [&](QMenu *menu) {
        for (QAction *item : menu->actions()) {
            if (item->menu())
                walk(item->menu());
            else if (!platform::ActionRouter::actionOf(item).isEmpty())
                items.append(item);
        }
    };
    walk(m_root);
    return items;
}

QAction *MainMenu::itemForAction(const QString &action) const {
    for (QAction *item : actionItems())
        if (platform::ActionRouter::actionOf(item) == action)
            return item;
    return nullptr;
}

QMenu *MainMenu::submenuTitled(const QString &title) const {
    std::function<QMenu *(QMenu *)> find = [&](QMenu *menu) -> QMenu * {
        for (QAction *item : menu->actions()) {
            if (QMenu *sub = item->menu()) {
                if (sub->objectName() == title)
                    return sub;
                if (QMenu *found = find(sub))
                    return found;
            }
        }
        return nullptr;
    };
    return find(m_root);
}

QAction *MainMenu::menuItem(Item item) const {
    auto submenuItem = [this](const char *title) {
        QMenu *menu = submenuTitled(QString::fromLatin1(title));
        return menu ? menu->menuAction() : nullptr;
    };
    auto actionItem = [this](const char *action) { return itemForAction(QString::fromLatin1(action)); };
    switch (item) {
    case Item::Copy:
        return actionItem("copy:");
    case Item::CopyAs:
        return submenuItem("Copy As");
    case Item::Paste:
        return actionItem("paste:");
    case Item::PasteAs:
        return submenuItem("Paste As");
    case Item::CleanUp:
        return submenuItem("Clean Up");
    case Item::Convert:
        return submenuItem("Make");
    case Item::ToggleListType:
        return actionItem("toggleList:");
    case Item::ToggleChangeTracking:
        return actionItem("toggleChangeTracking:");
    case Item::AcceptCriticMarkup:
        return actionItem("acceptCurrentCriticMarkup:");
    case Item::RejectCriticMarkup:
        return actionItem("rejectCurrentCriticMarkup:");
    case Item::Theme:
        return m_themeMenu ? m_themeMenu->menuAction() : nullptr;
    case Item::StyleSheet:
        return m_cssMenu ? m_cssMenu->menuAction() : nullptr;
    case Item::TitleCase:
        return actionItem("applyTitleCase:");
    }
    return nullptr;
}

void MainMenu::setRecentDocumentsSource(RecentDocuments source) {
    m_recentDocuments = std::move(source);
    updateOpenRecentMenu();
}

void MainMenu::updateOpenRecentMenu() {
    if (!m_openRecentMenu)
        return;
    // The old items go later: the list changes while one of them is being
    // chosen (it opens its file, which makes the file the newest).
    for (QAction *old : m_openRecentMenu->actions())
        if (old->property(kRecentItem).toBool()) {
            m_openRecentMenu->removeAction(old);
            old->deleteLater();
        }
    const QStringList paths = m_recentDocuments ? m_recentDocuments() : QStringList();
    if (paths.isEmpty())
        return;
    // Above Clear Menu, and a separator between.
    QAction *clear = m_openRecentMenu->actions().value(0);
    const QStringList titles = recentDocumentTitles(paths);
    for (qsizetype i = 0; i < paths.size(); i++) {
        auto *item = new QAction(QString(titles[i]).replace(u'&', QStringLiteral("&&")), m_openRecentMenu);
        item->setProperty(kRecentItem, true);
        item->setObjectName(openRecentAction());
        item->setData(paths[i]);
        platform::ActionRouter::setAction(item, openRecentAction());
        m_openRecentMenu->insertAction(clear, item);
    }
    QAction *separator = m_openRecentMenu->insertSeparator(clear);
    separator->setProperty(kRecentItem, true);
}

QStringList MainMenu::recentDocumentTitles(const QStringList &paths) {
    struct Place {
        QString name;
        QStringList folders;  // from the root down
    };
    QList<Place> places;
    for (const QString &path : paths) {
        const QString shown = platform::displayablePath(QDir::cleanPath(path));
        const qsizetype slash = shown.lastIndexOf(u'/');
        places.append(
            {shown.mid(slash + 1), shown.left(std::max<qsizetype>(slash, 0)).split(u'/', Qt::SkipEmptyParts)});
    }
    // The folder shown for `place`: its last `depth` folders, or all of it.
    const auto folderOf = [](const Place &place, qsizetype depth) {
        if (depth < place.folders.size())
            return place.folders.mid(place.folders.size() - depth).join(u'/');
        const QString whole = u'/' + place.folders.join(u'/');
        const QString home = QDir::homePath();
        if (whole == home)
            return QStringLiteral("~");
        if (whole.startsWith(home + u'/'))
            return u'~' + whole.mid(home.size());
        return whole;
    };
    QStringList titles;
    for (qsizetype i = 0; i < places.size(); i++) {
        QList<qsizetype> namesakes;
        qsizetype deepest = 0;
        for (qsizetype j = 0; j < places.size(); j++)
            if (places[j].name == places[i].name) {
                namesakes.append(j);
                deepest = std::max(deepest, places[j].folders.size());
            }
        if (namesakes.size() < 2) {
            titles.append(places[i].name);
            continue;
        }
        // The fewest folders that tell every one of the same name apart.
        qsizetype depth = 1;
        for (; depth <= deepest; depth++) {
            QStringList ends;
            for (qsizetype j : namesakes) {
                const QStringList &folders = places[j].folders;
                ends.append(folders.mid(std::max<qsizetype>(0, folders.size() - depth)).join(u'/'));
            }
            ends.removeDuplicates();
            if (ends.size() == namesakes.size())
                break;
        }
        titles.append(QStringLiteral("%1 — %2").arg(places[i].name, folderOf(places[i], depth)));
    }
    return titles;
}

void MainMenu::updateFullScreenItem() {
    if (!m_fullScreenItem)
        m_fullScreenItem = itemForAction(QStringLiteral("toggleFullScreen:"));
    QAction *item = m_fullScreenItem;
    QWidget *active = QApplication::activeWindow();
    QWindow *window = active ? active->windowHandle() : nullptr;
    if (window != m_watchedWindow) {
        QObject::disconnect(m_windowStateConnection);
        m_watchedWindow = window;
        if (window)
            m_windowStateConnection =
                QObject::connect(window, &QWindow::windowStateChanged, m_root, [this] { updateFullScreenItem(); });
    }
    if (item)
        item->setText(window && (window->windowStates() & Qt::WindowFullScreen) ? kExitFullScreen : kEnterFullScreen);
}

void MainMenu::install(QMainWindow *window) const {
    QMenuBar *bar = window->menuBar();
    for (QAction *item : m_root->actions())
        if (item->menu())
            bar->addMenu(item->menu());
}
