// The document window's content: panes placed and sized from the
// preferences and sizes saved back, the text set for the document, the
// sidebars' colours by appearance, and closing while the bridge renders.
#include "master_view_support.h"

#include <QRandomGenerator>

#include "window/sidebars/kvx_list_views.h"
#include "window/sidebars/tzr_critic_view.h"
#include "window/sidebars/tzr_reference_view.h"
#include "window/sidebars/tzr_toc_view.h"
#include "window/sidebars/smart_text_info_view.h"

using namespace masterview_test;
using Sidebar = TZRMasterView::Sidebar;

TEST_F(MasterViewTest, ANewUsersWindowShowsEditorAndPreviewWithTheSidebarsClosedOnTheirSides) {
    open("# Title\n\nText.\n");
    EXPECT_TRUE(view->isPreviewVisible());
    EXPECT_TRUE(view->isInfoBarVisible());
    for (Sidebar which : {Sidebar::TableOfContents, Sidebar::References, Sidebar::Changes})
        EXPECT_FALSE(view->isSidebarVisible(which));
    EXPECT_TRUE(view->isSidebarOnRight(Sidebar::References));
    EXPECT_FALSE(view->isSidebarOnRight(Sidebar::TableOfContents));
    EXPECT_FALSE(view->isSidebarOnRight(Sidebar::Changes));
    // The editor takes half, on the left; the info bar sits under it.
    const QRect editor = placeOf(view->textView());
    const QRect preview = placeOf(view->webView());
    const QRect info = placeOf(view->infoView());
    EXPECT_LT(editor.x(), preview.x());
    EXPECT_NEAR(preview.width(), window->width() / 2, 3);
    EXPECT_EQ(info.height(), 30);
    EXPECT_GE(info.y(), editor.bottom());
    EXPECT_EQ(view->textView()->syncScroller(), static_cast<QObject *>(view->syncScroller()));
}

TEST_F(MasterViewTest, PreferencesPlaceThePanesOfANewWindow) {
    defaults.setBool(true, "tocIsVisible");
    defaults.setBool(true, "tocOnRight");
    defaults.setBool(true, "criticIsVisible");
    defaults.setBool(true, "previewDefaultsLeft");
    defaults.setBool(false, "showInfoBar");
    open("# Title\n");
    const QRect toc = placeOf(view->tocView());
    const QRect critic = placeOf(view->criticView());
    const QRect preview = placeOf(view->webView());
    const QRect editor = placeOf(view->textView());
    EXPECT_TRUE(view->isSidebarVisible(Sidebar::TableOfContents));
    EXPECT_TRUE(view->isSidebarVisible(Sidebar::Changes));
    EXPECT_FALSE(view->isSidebarVisible(Sidebar::References));
    EXPECT_GT(toc.x(), editor.right());
    EXPECT_GT(toc.x(), preview.right());
    EXPECT_LT(critic.right(), preview.x());
    EXPECT_LT(preview.right(), editor.x());
    EXPECT_EQ(toc.width(), 200);
    EXPECT_EQ(critic.width(), 250);
    EXPECT_FALSE(view->isInfoBarVisible());

    // A preview that opens in the outside previewer, or not at first, stays closed.
    defaults.setBool(true, "previewWithMarked");
    open("# Title\n");
    EXPECT_FALSE(view->isPreviewVisible());
    defaults.setBool(false, "previewWithMarked");
    defaults.setBool(false, "showPreviewAtFirst");
    open("# Title\n");
    EXPECT_FALSE(view->isPreviewVisible());
}

TEST_F(MasterViewTest, DraggedSizesAreSavedAndANewWindowOpensAtThem) {
    defaults.setBool(true, "criticIsVisible");
    defaults.setBool(true, "refIsVisible");
    defaults.setBool(true, "tocIsVisible");
    defaults.setBool(true, "tocOnRight");
    open("Text.\n", QSize(1400, 640));
    // Dividers dragged: the changes sidebar stands outermost on the left,
    // the references outermost on the right.
    auto drag = [](MatryoshkaView *pane, double x) { pane->setDividerTo(QPointF(x, pane->height() / 2.0)); };
    drag(view->criticPane(), 310);
    drag(view->refPane(), view->refPane()->width() - 230);
    drag(view->tocPane(), view->tocPane()->width() - 180);
    drag(view->previewPane(), view->previewPane()->width() * 0.6);
    EXPECT_NEAR(defaults.floatForKey("criticWidth"), 310, 2);
    EXPECT_NEAR(defaults.floatForKey("tocWidth"), 180, 2);
    EXPECT_NEAR(defaults.floatForKey("refWidth"), 230, 2);
    EXPECT_NEAR(defaults.floatForKey("previewRatio"), 0.6, 0.01);

    open("Text.\n", QSize(1400, 640));
    EXPECT_NEAR(placeOf(view->criticView()).width(), 310, 2);
    EXPECT_NEAR(placeOf(view->tocView()).width(), 180, 2);
    EXPECT_NEAR(placeOf(view->refView()).width(), 230, 2);
    EXPECT_NEAR(view->previewPane()->ratioTarget(), 0.6, 0.01);
    // Collapsing keeps the sizes.
    view->toggleCritic();
    EXPECT_NEAR(defaults.floatForKey("criticWidth"), 310, 2);
}

TEST_F(MasterViewTest, TextSetForTheDocumentIsNeverUndoneWhenClearingAndAnOrdinaryEditOtherwise) {
    open("first\n");
    RecordingDocument document;
    view->textView()->setOwningDocument(&document);
    view->setText("loaded text\n", true);
    EXPECT_EQ(text(), "loaded text\n");
    EXPECT_EQ(document.changes.last(), OwningDocument::ChangeKind::Cleared);
    EXPECT_FALSE(view->textView()->canUndo());

    view->setText("edited text\n", false);
    EXPECT_EQ(document.changes.last(), OwningDocument::ChangeKind::Done);
    ASSERT_TRUE(view->textView()->canUndo());
    view->textView()->smartUndo();
    EXPECT_EQ(text(), "loaded text\n");
    // From another thread the text is set on the main thread.
    std::thread other([&] { view->setText("from elsewhere\n", true); });
    testing_qt::spinUntil([&] { return text() == "from elsewhere\n"; });
    other.join();
    EXPECT_EQ(text(), "from elsewhere\n");
    view->textView()->setOwningDocument(nullptr);

    // The document's questions.
    view->setText("Title: Notes\ntags: a, b\n\nBody\n", true);
    EXPECT_EQ(view->metadataForKey("title"), "Notes");
    EXPECT_EQ(view->textCString(), QByteArray("Title: Notes\ntags: a, b\n\nBody\n"));
    EXPECT_TRUE(view->exportToFormat(0).contains("Body"));
}

TEST_F(MasterViewTest, TheTransclusionPathSetsTheFolderAndPreviewAddressAndAnEmptyPathOnlyForgetsTheFile) {
    open("Text\n");
    view->setTransclusionPath("/tmp/notes/today.md");
    EXPECT_EQ(view->engine()->transclusionFile(), "/tmp/notes/today.md");
    EXPECT_EQ(view->engine()->transclusionFolder(), "/tmp/notes");
    EXPECT_EQ(view->webView()->baseURL(), QUrl::fromLocalFile("/tmp/notes/today.md"));
    view->setTransclusionPath(QString());
    EXPECT_EQ(view->engine()->transclusionFile(), "");
    EXPECT_EQ(view->engine()->transclusionFolder(), "/tmp/notes");
    EXPECT_EQ(view->webView()->baseURL(), QUrl::fromLocalFile("/tmp/notes/today.md"));
}

TEST_F(MasterViewTest, SidebarBackgroundsAndColoursFollowTheAppearance) {
    defaults.setBool(true, "tocIsVisible");
    defaults.setInteger(2, "appearanceTheme");
    open("# Title\n");
    EXPECT_EQ(view->tocPane()->backgroundColor(), QColor(237, 237, 237));
    EXPECT_EQ(view->criticPane()->backgroundColor(), QColor(237, 237, 237));

    // The editor theme's sidebar colours, at once when the setting changes.
    defaults.setInteger(3, "appearanceTheme");
    testing_qt::spinFor(std::chrono::milliseconds(20));
    const ThemeColors &colors = view->textView()->themeColors();
    ASSERT_TRUE(colors.sidebarBackground);
    EXPECT_EQ(view->tocPane()->backgroundColor(), *colors.sidebarBackground);
    if (colors.sidebarText) {
        EXPECT_EQ(view->tocView()->listColours().textColor(), *colors.sidebarText);
    }
    if (colors.sidebarHighlight) {
        EXPECT_EQ(view->refView()->listColours().highlightColor(), *colors.sidebarHighlight);
    }

    defaults.setInteger(0, "appearanceTheme");
    testing_qt::spinFor(std::chrono::milliseconds(20));
    EXPECT_EQ(view->refPane()->backgroundColor().alpha(), 0);
}

TEST_F(MasterViewTest, TheBridgeStartsAfterAFifthOfASecondAndThePreviewAfterASecond) {
    QElapsedTimer clock;
    clock.start();
    open("# Heading one\n\nBody text.\n");
    // Seen once it has come, however long the window took to show: no
    // sooner than a fifth of a second after the view was made (less the
    // twentieth a coarse timer may fire early).
    ASSERT_TRUE(testing_qt::spinUntil([&] { return view->engine()->completedCycles() > 0; }, std::chrono::seconds(60)));
    EXPECT_GE(clock.elapsed(), 190);
    EXPECT_TRUE(previewShows("Heading one"));
    EXPECT_GE(clock.elapsed(), 1000);
}

// Windows closed at every moment of their first cycles, with a document large
// enough that a cycle is still rendering: nothing they leave behind may run
// into a freed view (the sanitizers watch).
TEST_F(MasterViewTest, ClosingWhileTheBridgeRendersIsClean) {
    QString big;
    for (int n = 0; big.size() < 400000; n++)
        big += QStringLiteral("## Part %1\n\nSome *words* and a [link](http://x/%1) with {++more++}.[^n%1]\n\n"
                              "[^n%1]: A note.\n\n")
                   .arg(n);
    defaults.setBool(true, "tocIsVisible");
    defaults.setBool(true, "refIsVisible");
    for (int delay : {0, 150, 220, 260, 400, 1100}) {
        open(big);
        testing_qt::spinFor(std::chrono::milliseconds(delay));
        editor()->insertText(QStringLiteral("x"));
        view->engine()->updateData(std::nullopt);
        // Closed while a cycle runs or waits to resume.
        close();
    }
    // A window that never ran a cycle goes as cleanly.
    open("short");
    close();
}

// A large text loaded into the window goes into the editor from its start,
// the rest while the program idles; the preview and the contents have the
// whole text from the first, and the document hears of the load alone.
TEST_F(MasterViewTest, ALargeTextReachesThePreviewAndTheContentsWholeWhileTheEditorTakesItIn) {
    open("# Start\n");
    RecordingDocument document;
    view->textView()->setOwningDocument(&document);
    view->toggleTOC();
    QString large;
    int headings = 0;
    while (large.size() < 2 * SmartTextStorage::kStyleAheadBytes) {
        headings++;
        large += QStringLiteral("# Heading %1\n\nA paragraph with *emphasis* and `code`, number %1.\n\n").arg(headings);
    }
    large += QStringLiteral("# The last heading\n");
    headings++;
    view->setText(large, true);
    SmartTextStorage *storage = view->textView()->storage();
    ASSERT_TRUE(storage->isLayingIn());
    EXPECT_EQ(text(), large);
    const QList<OwningDocument::ChangeKind> loaded = document.changes;
    ASSERT_FALSE(loaded.isEmpty());
    EXPECT_EQ(loaded.last(), OwningDocument::ChangeKind::Cleared);

    EXPECT_TRUE(previewShows(QStringLiteral("The last heading")));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return view->tocView()->fullData().rows.size() == headings; },
                                      std::chrono::seconds(30)));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !storage->isLayingIn(); }, std::chrono::seconds(30)));
    EXPECT_EQ(storage->document()->toPlainText(), large);
    EXPECT_EQ(document.changes, loaded);
    view->textView()->setOwningDocument(nullptr);
}
