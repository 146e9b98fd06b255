// The table of contents over a real document and the engine bridge: the
// heading tree, following the caret, scrolling the editor to a heading,
// updates that keep the tree when only offsets changed, the pause between
// lists, the heading filter and what a dragged heading carries.
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>

#include "platform/runtime/alerts.h"
#include "window/sidebar_test_support.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/sidebars/tzr_toc_view.h"

using namespace sidebartest;

namespace {

// The tree as shown: "A(B C) D".
QString shown(const QVariantList &rows) {
    QStringList parts;
    for (const QVariant &value : rows) {
        const QVariantMap row = value.toMap();
        QString part = rowLabel(row);
        if (row.contains("children"))
            part += "(" + shown(rowChildren(row)) + ")";
        parts.append(part);
    }
    return parts.join(' ');
}

}  // namespace

class TocTest : public DocumentTest {
protected:
    TZRTOCView *toc = nullptr;

    void SetUp() override {
        DocumentTest::SetUp();
        toc = place(new TZRTOCView);
        toc->coalescer().setResumeDelay(std::chrono::milliseconds(20));
    }
    // The document in the editor, listed in the sidebar.
    void open(const QString &text) {
        start(text);
        toc->observeEngine(bridge.get());
        toc->connectToTextView(editor);
        ASSERT_TRUE(settleAll());
    }
    void caretAt(const QString &text) { editor->setSelectedRange({storage->string().indexOf(text), 0}); }
    std::optional<IndexPath> selected() const { return toc->selectionIndexPath(); }
    QModelIndex indexAt(const IndexPath &path) const { return toc->treeModel()->indexForPath(path); }
};

TEST_F(TocTest, HeadingsShowAsATreeAndTheCaretsSectionIsSelected) {
    open("Preface text.\n\n" + sampleDocument());
    EXPECT_EQ(shown(toc->treeContent()), "Introduction(Background Method) Results(Naïve readings) Discussion");
    EXPECT_TRUE(toc->fullData().offsetsValidFor(link->editGeneration()));
    caretAt("We count");
    EXPECT_EQ(selected(), IndexPath({0, 1}));
    caretAt("# Results");
    EXPECT_EQ(selected(), IndexPath({1}));
    // Anywhere on a heading's line is the heading's own line.
    editor->setSelectedRange({storage->string().indexOf("# Results") + 5, 3});
    EXPECT_EQ(selected(), IndexPath({1}));
    caretAt("See [the data]");
    EXPECT_EQ(selected(), IndexPath({1, 0}));
    caretAt("More to come");
    EXPECT_EQ(selected(), IndexPath({2}));
    EXPECT_EQ(toc->lastSelectionIndexPath(), IndexPath({2}));
    // Above the first heading: the first heading.
    editor->setSelectedRange({3, 0});
    EXPECT_EQ(selected(), IndexPath({0}));

    // While a search text is set, the caret leaves the selection alone.
    toc->searchField()->setText("a");
    toc->setSelectionIndexPath({1});
    caretAt("We count");
    EXPECT_EQ(selected(), IndexPath({1}));
    toc->searchField()->clear();
    // So does a hidden sidebar.
    toc->hide();
    caretAt("We count");
    EXPECT_NE(selected(), IndexPath({0, 1}));
    toc->show();
    caretAt("See [the data]");
    EXPECT_EQ(selected(), IndexPath({1, 0}));

    // An empty document selects nothing.
    storage->setInitialText("No headings at all.\n");
    ASSERT_TRUE(settleAll());
    EXPECT_EQ(toc->treeContent().size(), 0);
    editor->setSelectedRange({4, 0});
    EXPECT_FALSE(selected());
}

TEST_F(TocTest, SelectingAHeadingCentresItsSectionWithoutMovingTheCaretAndReturnPutsTheCaretThere) {
    QString text = "# Top\n\n";
    for (int i = 0; i < 80; i++)
        text += QString("Paragraph %1 of the first section.\n\n").arg(i);
    text += "# Far Below\n\nThe end.\n";
    show();
    open(text);
    editor->setSelectedRange({2, 0});
    editor->verticalScrollBar()->setValue(0);
    const qsizetype far = storage->string().indexOf("# Far Below");

    toc->setSelectionIndexPath({1});  // as a click does
    EXPECT_EQ(editor->selectedRange(), CharRange({2, 0}));
    EXPECT_GT(editor->verticalScrollBar()->value(), 0);
    QTextCursor heading(editor->document());
    heading.setPosition(int(far));
    EXPECT_TRUE(editor->viewport()->rect().contains(editor->cursorRect(heading)));

    toc->tableView()->setFocus();
    pressKey(toc->tableView(), Qt::Key_Return);
    EXPECT_EQ(editor->selectedRange(), CharRange({far, 0}));
    EXPECT_TRUE(editor->hasFocus());
    // Following the caret there selects what is selected already.
    EXPECT_EQ(selected(), IndexPath({1}));
}

TEST_F(TocTest, AListWithTheSameHeadingsOnlyRefreshesOffsetsAndANewHeadingKeepsWhatWasOpenAndSelected) {
    open(sampleDocument());
    toc->tableView()->expand(indexAt({0}));
    caretAt("We count");
    ASSERT_EQ(selected(), IndexPath({0, 1}));
    const qsizetype methodBefore = toc->fullData().rows[0].children[1].start;
    int resets = 0;
    QObject::connect(toc->treeModel(), &QAbstractItemModel::modelReset, [&] { resets++; });

    type(storage->string().indexOf("Earlier work"), "Much ");
    ASSERT_TRUE(settleAll());
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(toc->fullData().rows[0].children[1].start, methodBefore + 5);
    EXPECT_TRUE(toc->fullData().offsetsValidFor(link->editGeneration()));
    EXPECT_EQ(selected(), IndexPath({0, 1}));
    EXPECT_TRUE(toc->tableView()->isExpanded(indexAt({0})));

    // A new heading changes the tree; what was open stays open, the
    // selection stays where it was, and the editor does not scroll for it.
    editor->verticalScrollBar()->setValue(0);
    type(storage->string().indexOf("# Discussion"), "# Appendix\n\n");
    ASSERT_TRUE(settleAll());
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(shown(toc->treeContent()), "Introduction(Background Method) Results(Naïve readings) Appendix Discussion");
    EXPECT_TRUE(toc->tableView()->isExpanded(indexAt({0})));
    EXPECT_FALSE(toc->tableView()->isExpanded(indexAt({1})));
    EXPECT_EQ(selected(), IndexPath({0, 1}));
    EXPECT_EQ(editor->verticalScrollBar()->value(), 0);

    // With "expandTOCAlways", every changed tree opens whole.
    defaults.setBool(true, "expandTOCAlways");
    type(storage->string().indexOf("# Discussion"), "# More\n\n");
    ASSERT_TRUE(settleAll());
    EXPECT_TRUE(toc->tableView()->isExpanded(indexAt({1})));
}

TEST_F(TocTest, ListsWaitForTheEndOfThePauseWhereOnlyTheNewestIsShownAndHiddenSidebarsDropThem) {
    // The pause the program takes, far longer than the look below at what
    // shows during it, which a busy machine may stretch.
    EXPECT_EQ(SidebarUpdateCoalescer<HeaderList>::kResumeDelay, std::chrono::milliseconds(2000));
    toc->coalescer().setResumeDelay(SidebarUpdateCoalescer<HeaderList>::kResumeDelay);
    auto list = [](const QString &label) {
        HeaderList headers;
        headers.present = true;
        HeaderRow row;
        row.label = label;
        headers.rows = {row};
        return headers;
    };
    toc->updateData(list("one"));
    toc->updateData(list("two"));
    toc->updateData(list("three"));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !toc->treeContent().isEmpty(); }));
    EXPECT_EQ(shown(toc->treeContent()), "one");
    EXPECT_TRUE(toc->isUpdating());
    testing_qt::spinFor(std::chrono::milliseconds(150));
    EXPECT_EQ(shown(toc->treeContent()), "one");
    ASSERT_TRUE(testing_qt::spinUntil([&] { return shown(toc->treeContent()) == "three"; }));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !toc->isUpdating(); }));

    toc->hide();
    toc->updateData(list("hidden"));
    EXPECT_FALSE(toc->isUpdating());
    EXPECT_FALSE(toc->coalescer().needsFinalUpdate());
    testing_qt::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(shown(toc->treeContent()), "three");
}

TEST_F(TocTest, TheFilterMatchesWholeSectionsAcrossLinesAndAnUnfinishedPatternShowsEveryHeading) {
    open(sampleDocument());
    toc->searchField()->setText("espresso");
    EXPECT_EQ(shown(toc->treeContent()), "Results");
    toc->searchField()->setText("cups day");  // two lines of one section, both words
    EXPECT_EQ(shown(toc->treeContent()), "Introduction(Method)");
    EXPECT_TRUE(toc->tableView()->isExpanded(indexAt({0})));
    // Offsets come with the filtered rows: acting on one goes to its heading.
    toc->setSelectionIndexPath({0, 0});
    pressKey(toc->tableView(), Qt::Key_Return);
    EXPECT_EQ(editor->selectedRange().location, storage->string().indexOf("## Method"));

    toc->searchField()->setText("caf(");
    EXPECT_EQ(shown(toc->treeContent()), "Introduction(Background Method) Results(Naïve readings) Discussion");
    toc->searchField()->clear();
    EXPECT_FALSE(toc->tableView()->isExpanded(indexAt({0})));
    defaults.setBool(true, "expandTOCAlways");
    toc->searchField()->setText("x");
    toc->searchField()->clear();
    EXPECT_TRUE(toc->tableView()->isExpanded(indexAt({0})));
    EXPECT_TRUE(toc->tableView()->isExpanded(indexAt({1})));
}

TEST_F(TocTest, ADraggedHeadingCarriesAReferenceLinkToIt) {
    open(sampleDocument());
    std::unique_ptr<QMimeData> data(toc->treeModel()->mimeData({indexAt({1, 0}), indexAt({2})}));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->text(), "[Naïve readings][naïvereadings]\n[Discussion][discussion]");
    EXPECT_TRUE(data->hasFormat("TZRToCOutlineDragType"));
    EXPECT_EQ(toc->draggedNodes(), QList<IndexPath>({{1, 0}, {2}}));
}

class TocMoveTest : public TocTest {
protected:
    // Drags the rows at `dragged` and drops them onto `item` (none: the
    // top) before its child `childIndex` (-1: onto the item), as the tree
    // view hands a drop over.
    bool drop(const QList<IndexPath> &dragged, const std::optional<IndexPath> &item, int childIndex) {
        QModelIndexList indexes;
        for (const IndexPath &path : dragged)
            indexes.append(indexAt(path));
        std::unique_ptr<QMimeData> data(toc->treeModel()->mimeData(indexes));
        return toc->treeModel()->dropMimeData(data.get(), Qt::MoveAction, childIndex, 0,
                                              item ? indexAt(*item) : QModelIndex());
    }
    // The headings of the text, in order.
    QStringList headingLines() const {
        QStringList lines;
        for (const QString &line : storage->string().split('\n'))
            if (line.startsWith('#'))
                lines.append(line);
        return lines;
    }
};

TEST_F(TocMoveTest, DroppedHeadingsMoveTheirWholeSectionsAsOneUndoableEdit) {
    open(sampleDocument());
    // After the first top-level heading: Discussion goes before Results.
    ASSERT_TRUE(drop({{2}}, std::nullopt, 1));
    EXPECT_EQ(headingLines(), QStringList({"# Introduction", "## Background", "## Method", "# Discussion",
                                           "# Results", "## Naïve readings"}));
    // The section goes whole, with the definitions at its end.
    EXPECT_LT(storage->string().indexOf("[Data]: http"), storage->string().indexOf("# Results"));
    ASSERT_TRUE(settleAll());
    EXPECT_EQ(shown(toc->treeContent()), "Introduction(Background Method) Discussion Results(Naïve readings)");

    // Onto a heading: the section becomes its last sub-section, one level
    // down; a sub-heading dragged with its own parent moves once, inside it.
    ASSERT_TRUE(drop({{0}, {0, 1}}, IndexPath{2}, -1));
    EXPECT_EQ(headingLines(), QStringList({"# Discussion", "# Results", "## Naïve readings", "## Introduction",
                                           "### Background", "### Method"}));
    EXPECT_EQ(storage->string().count("We count"), 1);
    ASSERT_TRUE(settleAll());
    // At the top of a heading's sub-headings.
    ASSERT_TRUE(drop({{0}}, IndexPath{1}, 0));
    EXPECT_EQ(headingLines(), QStringList({"# Results", "## Discussion", "## Naïve readings", "## Introduction",
                                           "### Background", "### Method"}));

    ASSERT_TRUE(storage->undo());
    EXPECT_EQ(headingLines(), QStringList({"# Discussion", "# Results", "## Naïve readings", "## Introduction",
                                           "### Background", "### Method"}));
}

TEST_F(TocMoveTest, DropsOnADraggedHeadingWithoutANeighbourWhileTrackingOrFromAnOlderListChangeNothing) {
    open(sampleDocument());
    const QString text = storage->string();
    EXPECT_FALSE(drop({{1}}, IndexPath{1}, -1));       // onto itself
    EXPECT_FALSE(drop({{0}}, IndexPath{2}, 0));        // Discussion has no sub-headings to go before
    EXPECT_FALSE(drop({{0}}, IndexPath{0, 1}, -1));    // into its own section
    EXPECT_EQ(storage->string(), text);

    {
        platform::ScriptedAlerts alerts;
        storage->startTrackingChanges();
        EXPECT_FALSE(drop({{2}}, std::nullopt, 0));
        storage->stopTrackingChanges();
        ASSERT_EQ(alerts.count(), 1);
        EXPECT_EQ(alerts.shown()[0].messageText, "Track Changes is enabled.");
        EXPECT_EQ(alerts.shown()[0].informativeText,
                  "You must disable Track Changes before using the TOC to rearrange text.");
        EXPECT_EQ(storage->string(), text);
    }

    // An edit between listing and dropping: the list no longer fits the
    // text, and the drop moves nothing, whatever the edit was.
    type(0, "Preface.\n\n");
    EXPECT_FALSE(drop({{2}}, std::nullopt, 0));
    EXPECT_EQ(storage->string(), "Preface.\n\n" + text);
    ASSERT_TRUE(settleAll());
    EXPECT_TRUE(drop({{2}}, std::nullopt, 0));
    EXPECT_TRUE(storage->string().startsWith("Preface.\n\n# Discussion\n\nMore to come.\n"));
    EXPECT_EQ(headingLines(), QStringList({"# Discussion", "# Introduction", "## Background", "## Method",
                                           "# Results", "## Naïve readings"}));
}
