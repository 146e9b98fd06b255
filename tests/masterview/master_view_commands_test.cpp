// The document window's commands: sidebars shown and hidden one to a side,
// focus moves, side swaps, the preview and info bar toggles and their marks
// in the View menu, the text commands, each one edit that one undo takes
// back, the preferences the bridge and the page read followed at once, and
// the find bar at a new window's width.
#include "master_view_support.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QHash>
#include <QLabel>
#include <QMenu>

#include "editor/view/find_bar.h"
#include "platform/runtime/action_router.h"
#include "platform/text/pasteboard.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/sidebars/tzr_critic_view.h"
#include "window/sidebars/tzr_reference_view.h"
#include "window/sidebars/tzr_toc_view.h"

using namespace masterview_test;
using Sidebar = TZRMasterView::Sidebar;

TEST_F(MasterViewTest, ShowingASidebarHidesTheOneOnItsSideOnlyAndHidingAFocusedOneFocusesTheEditor) {
    open("# One\n\nText [ref].\n\n[ref]: http://example.org\n");
    view->toggleTOC();  // left
    EXPECT_TRUE(view->isSidebarVisible(Sidebar::TableOfContents));
    EXPECT_TRUE(defaults.boolForKey("tocIsVisible"));
    view->toggleRef();  // right: the table of contents stays
    EXPECT_TRUE(view->isSidebarVisible(Sidebar::TableOfContents));
    EXPECT_TRUE(view->isSidebarVisible(Sidebar::References));
    view->toggleCritic();  // left: the table of contents gives way
    EXPECT_FALSE(view->isSidebarVisible(Sidebar::TableOfContents));
    EXPECT_FALSE(defaults.boolForKey("tocIsVisible"));
    EXPECT_TRUE(view->isSidebarVisible(Sidebar::Changes));
    EXPECT_TRUE(defaults.boolForKey("criticIsVisible"));
    EXPECT_TRUE(view->isSidebarVisible(Sidebar::References));

    // The shown list is filled by the next cycle.
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !view->refView()->arrangedObjects().isEmpty(); },
                                      std::chrono::seconds(10)));

    // Focus moves by side; the last visible one on a side wins.
    window->activateWindow();
    view->selectRightSidebar();
    testing_qt::spinFor(std::chrono::milliseconds(20));
    EXPECT_TRUE(view->refView()->listView()->hasFocus());
    view->selectLeftSidebar();
    testing_qt::spinFor(std::chrono::milliseconds(20));
    EXPECT_TRUE(view->criticView()->listView()->hasFocus());
    view->toggleCritic();
    testing_qt::spinFor(std::chrono::milliseconds(20));
    EXPECT_FALSE(view->isSidebarVisible(Sidebar::Changes));
    EXPECT_FALSE(defaults.boolForKey("criticIsVisible"));
    EXPECT_TRUE(editor()->hasFocus());

    // Swapping moves the visible ones and their side preferences.
    view->swapVisiblePanels();
    EXPECT_FALSE(view->isSidebarOnRight(Sidebar::References));
    EXPECT_FALSE(defaults.boolForKey("refOnRight"));
    EXPECT_FALSE(view->isSidebarOnRight(Sidebar::TableOfContents));  // hidden: stays
    EXPECT_FALSE(defaults.boolForKey("tocOnRight"));
    // Now both on the left: showing the table of contents hides the references.
    view->toggleTOC();
    EXPECT_FALSE(view->isSidebarVisible(Sidebar::References));
    EXPECT_FALSE(defaults.boolForKey("refIsVisible"));
}

TEST_F(MasterViewTest, PreviewAndInfoBarToggleWithTheirPreferenceAndThePreviewSwapsForThisWindowOnly) {
    open("# Shown\n");
    ASSERT_TRUE(previewShows("Shown"));
    view->togglePreview();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !view->isPreviewVisible(); }));
    // Hidden, it shows nothing of the edits; shown again, it takes in the new text.
    editor()->insertText(QStringLiteral("Changed "));
    testing_qt::spinFor(std::chrono::milliseconds(400));
    view->togglePreview();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return view->isPreviewVisible(); }));
    EXPECT_TRUE(previewShows("Changed"));

    const int editorX = placeOf(editor()).x();
    view->swapPreview();
    testing_qt::spinFor(std::chrono::milliseconds(20));
    EXPECT_GT(placeOf(editor()).x(), editorX);
    EXPECT_FALSE(defaults.boolForKey("previewDefaultsLeft"));

    view->toggleInfo();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !view->isInfoBarVisible(); }));
    EXPECT_FALSE(defaults.boolForKey("showInfoBar"));
    view->toggleInfo();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return view->isInfoBarVisible(); }));
    EXPECT_TRUE(defaults.boolForKey("showInfoBar"));
}

// Each command once over the same text: what it makes, and one undo that
// brings back the text typed before it.
TEST_F(MasterViewTest, EveryTextCommandIsOneEditThatOneUndoTakesBack) {
    const QString original = "# Title\n\nFirst line\nsecond line\n\nA list:\n\n3. x\n7. y\n\nA &#8220;quote&#8221; and \u201csmart\u201d.\n";
    defaults.setBool(true, "markupInsertStamp");
    defaults.setObject(QStringLiteral("Ann"), "markupComment");
    defaults.setObject(QString(), "markupDateFormat");
    struct Case {
        const char *action;
        qsizetype location, length;
        const char *pasted;
        QString expected;
    };
    const QString first = "First line\nsecond line\n";
    const Case cases[] = {
        {"insertTOC:", 0, 0, nullptr, "{{TOC}}" + original},
        {"wrapSelectionInCriticHighlight:", 9, 5, nullptr, QString(original).replace("First", "{==First==}{>>Ann<<}")},
        {"wrapSelectionInCriticComment:", 9, 5, nullptr, QString(original).replace("First", "{>>First Ann<<}")},
        {"pasteAsBulletedList:", 0, 0, "milk\neggs\n", "* milk\n* eggs\n" + original},
        {"pasteAsEnumeratedList:", 0, 0, "milk\neggs\n", "1. milk\n2. eggs\n" + original},
        {"pasteAsBlockquote:", 0, 0, "milk", "> milk" + original},
        {"pasteAsTableRows:", 0, 0, "a,b\n", "| a\t| b\t|  \n" + original},
        {"makeBlockquote:", 12, 10, nullptr, QString(original).replace(first, "> First line\n> second line\n")},
        {"makeBulletedList:", 12, 10, nullptr, QString(original).replace(first, "* First line\n* second line\n")},
        {"makeEnumeratedList:", 12, 10, nullptr, QString(original).replace(first, "1. First line\n2. second line\n")},
        {"makeFencedBlock:", 12, 0, nullptr, QString(original).replace("First line\n", "```\nFirst line\n```\n\n")},
        {"stripMarkers:", 0, 3, nullptr, QString(original).replace("# Title", "Title")},
        {"cleanupList:", 45, 0, nullptr, QString(original).replace("3. x\n7. y", "1. x\n2. y")},
        {"cleanupHTMLEntities:", 0, 0, nullptr, QString(original).replace("&#8220;quote&#8221;", "\"quote\"")},
        {"cleanupSmartTypography:", 0, 0, nullptr, QString(original).replace("\u201csmart\u201d", "\"smart\"")},
        {"toggleList:", 45, 0, nullptr, QString(original).replace("3. x\n7. y", "* x\n* y")},
        {"unwrapParagraphs:", 12, 0, nullptr, QString(original).replace(first, "First line second line \n")},
    };
    open(original);
    defaults.setBool(false, "useTabsInTables");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.action);
        view->setText(original, true);
        // Typing first: the command must not join its undo step.
        select(original.size());
        editor()->insertText(QStringLiteral("z"));
        const QString typed = text();
        ASSERT_EQ(typed, original + "z");
        select(c.location, c.length);
        if (c.pasted)
            platform::Pasteboard::setString(QString::fromUtf8(c.pasted));
        EXPECT_TRUE(platform::ActionRouter::sendAction(QString::fromLatin1(c.action), nullptr, editor()));
        EXPECT_EQ(text(), c.expected + "z");
        editor()->smartUndo();
        EXPECT_EQ(text(), typed);
        editor()->smartUndo();
        EXPECT_EQ(text(), original);
    }
}

TEST_F(MasterViewTest, WrappedAndRemadeTextStaysSelectedAndCleanUpsKeepTheSelection) {
    open("Say café now.\n\n3. a\n7. b\n");
    select(4, 4);
    view->wrapSelectionInCriticHighlight();
    EXPECT_EQ(editor()->selectedRange(), (CharRange{7, 4}));
    EXPECT_EQ(editor()->textOfRange(editor()->selectedRange()), "café");

    view->setText("alpha\nbeta\n", true);
    select(2, 5);
    view->makeBulletedList();
    EXPECT_EQ(text(), "* alpha\n* beta\n");
    EXPECT_EQ(editor()->selectedRange(), (CharRange{0, 15}));

    // A caret inside the list stays on its letter when the numbers change.
    view->setText("😀 x\n\n9. one\n12. two\n", true);
    select(text().indexOf("two") + 1);
    view->cleanupCommand(0);
    EXPECT_EQ(text(), "😀 x\n\n1. one\n2. two\n");
    EXPECT_EQ(editor()->selectedRange().location, text().indexOf("two") + 1);
    // A selection the editor never had is clamped.
    view->cleanupCoreRange({900, 40}, 0);
    EXPECT_EQ(text(), "😀 x\n\n1. one\n2. two\n");
    view->cleanupCoreRange({0, 0}, 12);
    EXPECT_EQ(text(), "😀 x\n\n1. one\n2. two\n");
}

// A comment or a highlight is a note on the text, not text: with Track
// Changes on, the commands sent as the menu sends them, and the keys typed
// after them, give what they give with it off (the notes' marks not marked
// as an addition, the selection not marked deleted, typing in a comment
// made plainly), and each undo after takes back what it does with it off.
// Typing outside the notes is tracked as ever.
TEST_F(MasterViewTest, CommentsAndHighlightsWhileTrackingChangesAreWhatTheyAreWithout) {
    defaults.setBool(true, "markupInsertStamp");
    defaults.setObject(QString(), "markupComment");
    defaults.setBool(true, "markupInsertDateStamp");
    // No strftime codes: the stamp reads the same at every edit of the test.
    defaults.setObject(QStringLiteral("DATE"), "markupDateFormat");
    const QString original = "Text.\n";
    open(original);
    window->activateWindow();
    editor()->setFocus();
    auto send = [&](const char *action) {
        EXPECT_TRUE(platform::ActionRouter::sendAction(QString::fromLatin1(action), nullptr, editor())) << action;
    };

    struct Case {
        const char *name;
        CharRange selection;
        const char *action;
        qsizetype typeAt;  // where the keys go; -1: where the command leaves the selection
        const char *typed;
        QString expected;
    };
    const Case cases[] = {
        {"comment at the caret", {5, 0}, "wrapSelectionInCriticComment:", -1, "my comment",
         "Text.{>>my comment  - DATE<<}\n"},
        {"comment on a selection", {0, 4}, "wrapSelectionInCriticComment:", -1, "", "{>>Text  - DATE<<}.\n"},
        {"highlight on a selection", {0, 4}, "wrapSelectionInCriticHighlight:", 13, "note",
         "{==Text==}{>>note - DATE<<}.\n"},
        {"highlight at the caret", {5, 0}, "wrapSelectionInCriticHighlight:", 14, "note",
         "Text.{====}{>>note - DATE<<}\n"},
    };
    // The text and selection after the command, after the typing, and after
    // each undo until the original is back.
    // (The text is loaded with tracking off, or it would be tracked too.)
    auto load = [&](bool tracking, const QString &loaded) {
        if (editor()->isTrackingChanges())
            send("toggleChangeTracking:");
        view->setText(loaded, true);
        if (tracking)
            send("toggleChangeTracking:");
        EXPECT_EQ(editor()->isTrackingChanges(), tracking);
    };
    auto run = [&](const Case &c, bool tracking) {
        load(tracking, original);
        select(c.selection.location, c.selection.length);
        send(c.action);
        QStringList states = {text(), QString::number(editor()->selectedRange().location) + "," +
                                          QString::number(editor()->selectedRange().length)};
        if (c.typeAt >= 0)
            select(c.typeAt);
        typeText(editor(), QString::fromLatin1(c.typed));
        states << text();
        for (int undos = 0; undos < 20 && text() != original; undos++) {
            send("undo:");
            states << text();
        }
        return states;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList off = run(c, false);
        ASSERT_EQ(off.value(2), c.expected);
        EXPECT_EQ(off.last(), original);
        EXPECT_EQ(run(c, true), off);
    }

    // Typing elsewhere after a highlight is tracked: an addition with the
    // tracked changes' own comment.
    load(true, original);
    select(0, 4);
    send("wrapSelectionInCriticHighlight:");
    select(text().size() - 1);
    typeText(editor(), QStringLiteral("x"));
    EXPECT_EQ(text(), "{==Text==}{>> - DATE<<}.{++x++}{>> - DATE<<}\n");

    // Inside a change a note goes as typing there would: plainly in an
    // addition; not at all in a deletion, the selection left as it was.
    load(true, "{++new++} {--old--}\n");
    select(4, 1);
    send("wrapSelectionInCriticComment:");
    EXPECT_EQ(text(), "{++n{>>e  - DATE<<}w++} {--old--}\n");
    EXPECT_EQ(editor()->selectedRange(), (CharRange{7, 1}));
    const QString noted = text();
    select(noted.indexOf("old") + 1, 1);
    send("wrapSelectionInCriticComment:");
    EXPECT_EQ(text(), noted);
    EXPECT_EQ(editor()->selectedRange(), (CharRange{noted.indexOf("old") + 1, 1}));
}

TEST_F(MasterViewTest, CopiesAsHTMLAndLaTeXTakeTheSelectionOrTheWholeText) {
    open("# Heading\n\nSome *text* here.\n");
    view->copyAsHTML();
    const QString html = platform::Pasteboard::string().value_or(QString());
    EXPECT_TRUE(html.contains("<h1 id=\"heading\">Heading</h1>")) << html.toStdString();
    EXPECT_TRUE(html.contains("<em>text</em>"));
    select(11, 17);
    view->copyAsLaTeX();
    const QString latex = platform::Pasteboard::string().value_or(QString());
    EXPECT_TRUE(latex.contains("\\emph{text}")) << latex.toStdString();
    EXPECT_FALSE(latex.contains("Heading"));
    // Accepted changes are accepted in the copy, as in the preview.
    defaults.setBool(true, "EXT_CRITIC_ACCEPT");
    view->setText("Keep {++this++}{--that--}.\n", true);
    select(0);
    view->copyAsHTML();
    const QString accepted = platform::Pasteboard::string().value_or(QString());
    EXPECT_TRUE(accepted.contains("Keep this.")) << accepted.toStdString();
}

TEST_F(MasterViewTest, ActionsSentFromTheEditorOrASidebarReachTheWindow) {
    open("# A\n");
    // (The editor finds in its own text: that action stops there.)
    for (const QString &name : TZRMasterView::actionNames())
        if (name != QLatin1String("performFindPanelAction:")) {
            EXPECT_EQ(platform::ActionRouter::targetForAction(name, editor()), static_cast<platform::Responder *>(view))
            << name.toStdString();
        }
    view->toggleTOC();
    EXPECT_TRUE(platform::ActionRouter::sendAction(QStringLiteral("toggleTOC:"), nullptr,
                                                   view->tocView()->listView()));
    EXPECT_FALSE(view->isSidebarVisible(Sidebar::TableOfContents));
    EXPECT_EQ(platform::ActionRouter::targetForAction(QStringLiteral("noSuchAction:"), editor()), nullptr);
}

// The View menu's marks say what the window shows, however it came to show
// it: the menu itself, a key (the action sent without the menu), an
// animation under way, a divider dragged until a pane has no room, and a
// preference the editor reads again.
TEST_F(MasterViewTest, TheViewMenusTogglesAreMarkedAsTheWindowShowsItsPanes) {
    open("# One\n\nText [ref].\n\n[ref]: http://example.org\n");
    const QStringList toggles = {"toggleTOC:",
                                 "toggleRef:",
                                 "toggleCritic:",
                                 "togglePreview:",
                                 "toggleInfo:",
                                 "toggleShowLineNumbers:",
                                 "toggleTypewriterMode:",
                                 "toggleShowInvisibleCharacters:"};
    QMenu menu;
    QHash<QString, QAction *> items;
    for (const QString &name : toggles) {
        QAction *item = menu.addAction(name);
        item->setCheckable(true);
        platform::ActionRouter::setAction(item, name);
        items.insert(name, item);
    }
    // The marks, as the menu shows them when it opens.
    auto marks = [&] {
        platform::ActionRouter::validateMenu(&menu, editor());
        QStringList on;
        for (const QString &name : toggles)
            if (items.value(name)->isChecked())
                on << name;
        return on;
    };
    auto send = [&](const char *action) {
        EXPECT_TRUE(platform::ActionRouter::sendAction(QString::fromLatin1(action), nullptr, editor())) << action;
    };

    // The menu sends to the window the user types in.
    window->activateWindow();
    editor()->setFocus();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return editor()->hasFocus(); }));

    // A new user's window: editor, preview and info bar, no sidebar.
    EXPECT_EQ(marks(), QStringList({"togglePreview:", "toggleInfo:"}));

    // From the menu: Qt turns the mark over before the window acts.
    items.value("toggleTOC:")->trigger();
    ASSERT_TRUE(view->isSidebarVisible(Sidebar::TableOfContents));
    EXPECT_EQ(marks(), QStringList({"toggleTOC:", "togglePreview:", "toggleInfo:"}));

    // By key: the preview and the info bar close with an animation; the
    // marks tell where they go at once, and again when they got there.
    send("togglePreview:");
    send("toggleInfo:");
    EXPECT_EQ(marks(), QStringList({"toggleTOC:"}));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !view->isPreviewVisible() && !view->isInfoBarVisible(); }));
    EXPECT_EQ(marks(), QStringList({"toggleTOC:"}));
    // A toggle sent while its pane still moves is ignored: the mark Qt
    // turned over is put back.
    send("togglePreview:");
    items.value("togglePreview:")->trigger();
    EXPECT_TRUE(view->previewPane()->isAdjusting());
    EXPECT_EQ(marks(), QStringList({"toggleTOC:", "togglePreview:"}));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !view->previewPane()->isAdjusting(); }));
    EXPECT_EQ(marks(), QStringList({"toggleTOC:", "togglePreview:"}));

    // The references on the right, their divider dragged to the left edge:
    // the table of contents keeps a sliver, the editor and the preview have
    // no room left.
    send("toggleRef:");
    testing_qt::spinFor(std::chrono::milliseconds(20));
    MatryoshkaView *refs = view->refPane();
    refs->setDividerTo(QPointF(0, refs->height() / 2.0));
    testing_qt::spinFor(std::chrono::milliseconds(20));
    saveScreenshot("view-menu-marks-squeezed.png");
    EXPECT_EQ(view->webView()->width(), 0);
    EXPECT_EQ(marks(), QStringList({"toggleTOC:", "toggleRef:"}));
    refs->setDividerTo(QPointF(refs->width() - 250.0, refs->height() / 2.0));
    testing_qt::spinFor(std::chrono::milliseconds(20));
    EXPECT_EQ(marks(), QStringList({"toggleTOC:", "toggleRef:", "togglePreview:"}));

    // Preferences: a change of the typing line reads typewriter scrolling
    // and the invisibles switch again, as the editor then shows them.
    defaults.setBool(true, "showInvisibleCharacters");
    defaults.setBool(true, "defaultTypewriterMode");
    defaults.setFloat(0.4f, "typewriterHeight");
    EXPECT_TRUE(editor()->showInvisibleCharacters());
    EXPECT_EQ(marks(), QStringList({"toggleTOC:", "toggleRef:", "togglePreview:", "toggleTypewriterMode:",
                                    "toggleShowInvisibleCharacters:"}));
    send("toggleShowInvisibleCharacters:");
    send("toggleTypewriterMode:");
    send("toggleShowLineNumbers:");
    EXPECT_EQ(marks(), QStringList({"toggleTOC:", "toggleRef:", "togglePreview:", "toggleShowLineNumbers:"}));
    saveScreenshot("view-menu-marks.png");
}

// At the width a new window has, the find bar stands in two rows and every
// label in it shows whole: the count of matches, the case switch, the
// buttons.
TEST_F(MasterViewTest, TheFindBarsLabelsShowWholeInAWindowOfNineHundredPixels) {
    QString text;
    for (int i = 0; i < 12; i++)
        text += QStringLiteral("The match number %1 of the text.\n\n").arg(i);
    open(text, QSize(900, 700));
    FindBar *bar = editor()->findBar();
    bar->showBar();
    bar->setFindString(QStringLiteral("match"));
    testing_qt::spinFor(std::chrono::milliseconds(50));
    ASSERT_EQ(bar->status(), QStringLiteral("12 matches"));
    EXPECT_FALSE(bar->fitsOneRow(bar->width()));
    // The bar has the room it asks for above the text.
    EXPECT_EQ(bar->height(), bar->heightForWidth(bar->width()));
    EXPECT_GE(editor()->viewport()->mapTo(editor(), QPoint(0, 0)).y(), bar->height());

    const QRect inside = bar->rect();
    QList<QRect> placed;
    for (QWidget *control : bar->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (!control->isVisible())
            continue;
        const QRect place = control->geometry();
        EXPECT_TRUE(inside.contains(place)) << control->metaObject()->className();
        for (const QRect &other : std::as_const(placed))
            EXPECT_FALSE(place.intersects(other)) << control->metaObject()->className();
        placed << place;
        // Labels whole: a text never gets less than it needs.
        QString label;
        if (auto *text = qobject_cast<QLabel *>(control))
            label = text->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(control))
            label = button->text();
        if (!label.isEmpty()) {
            EXPECT_GE(place.width(), control->fontMetrics().horizontalAdvance(label)) << label.toStdString();
        }
        if (qobject_cast<QAbstractButton *>(control) || qobject_cast<QLabel *>(control)) {
            EXPECT_GE(place.width(), control->minimumSizeHint().width()) << label.toStdString();
        }
    }
    EXPECT_GE(placed.size(), 9);
    saveScreenshot("find-bar-900.png");

    // Wide enough, one row.
    window->resize(1900, 700);
    testing_qt::spinUntil([&] { return bar->fitsOneRow(bar->width()); });
    testing_qt::spinFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(bar->fitsOneRow(bar->width()));
    EXPECT_EQ(bar->height(), bar->heightForWidth(bar->width()));
    EXPECT_LT(bar->height(), bar->heightForWidth(400));
    saveScreenshot("find-bar-1900.png");
}

// The preferences the bridge reads at each cycle reach an open window at
// once, with no edit to start one: the depth of the table of contents, its
// headings all open, and the page's scripts.
TEST_F(MasterViewTest, TheContentsDepthAndExpansionAndThePagesScriptsFollowTheirPreferencesAtOnce) {
    open("# One\n\n## Two\n\n### Three\n\n# Four\n");
    ASSERT_TRUE(previewShows("Four"));
    view->toggleTOC();
    ASSERT_TRUE(
        testing_qt::spinUntil([&] { return view->tocView()->fullData().rows.size() == 2; }, std::chrono::seconds(10)));
    ASSERT_EQ(view->tocView()->fullData().rows.first().children.size(), 1);
    KVXOutlineView *list = view->tocView()->tableView();
    const QModelIndex one = list->model()->index(0, 0);
    list->setExpanded(one, false);
    ASSERT_FALSE(list->isExpanded(one));

    // Nothing more to render: only a preference can start a cycle now.
    testing_qt::spinFor(std::chrono::milliseconds(1500));
    defaults.setBool(true, "expandTOCAlways");
    EXPECT_TRUE(list->isExpanded(one));
    defaults.setInteger(1, "maxToCDepth");
    EXPECT_TRUE(testing_qt::spinUntil([&] { return view->tocView()->fullData().rows.first().children.isEmpty(); },
                                      std::chrono::seconds(10)));
    EXPECT_EQ(view->tocView()->fullData().rows.size(), 2);

    auto head = [&] { return web_test::evaluateText(*view->webView(), QStringLiteral("document.head.innerHTML")); };
    EXPECT_FALSE(head().contains("highlight"));
    defaults.setBool(true, "addSyntaxHighlighting");
    EXPECT_TRUE(testing_qt::spinUntil([&] { return head().contains("highlight"); }, std::chrono::seconds(10)));
}
