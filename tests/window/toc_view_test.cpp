// The table of contents over a real document and the engine bridge: the
// heading tree, following the caret, scrolling the editor to a heading,
// updates that keep the tree when only offsets changed, the pause between
// lists, the heading filter and what a dragged heading carries.
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>

#include "sidebar_test_support.h"
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
    EXPECT_TRUE(toc->fullData().offsetsValidFor(link->generation));
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
    EXPECT_TRUE(toc->fullData().offsetsValidFor(link->generation));
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
    EXPECT_EQ(SidebarUpdateCoalescer<HeaderList>::kResumeDelay, std::chrono::milliseconds(2000));
    toc->coalescer().setResumeDelay(std::chrono::milliseconds(300));
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
