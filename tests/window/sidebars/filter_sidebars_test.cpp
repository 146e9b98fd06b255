// The filterable sidebar bases: filtering that ignores case and diacritics,
// sorting, rows found by number and by index path, acting on rows by key
// and double-click, linking an editor, keys passed on to it, expansion kept
// across new content, and what a drag carries and a drop receives.
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QTreeView>

#include <memory>

#include "window/sidebar_test_support.h"
#include "support/log_capture.h"
#include "window/sidebars/kvx_filter_outline_view.h"
#include "window/sidebars/kvx_filter_table_view.h"
#include "editor/view/find_bar.h"
#include "window/sidebars/kvx_list_views.h"

using namespace sidebartest;

namespace {

QVariantMap row(const QString &label, QVariantList children = {}) {
    QVariantMap map{{QStringLiteral("label"), label}};
    if (!children.isEmpty())
        map.insert(QStringLiteral("children"), children);
    return map;
}

QVariantList rows(const QStringList &labels) {
    QVariantList list;
    for (const QString &label : labels)
        list.append(row(label));
    return list;
}

// A table that records what it is asked to do.
class RecordingTable : public KVXFilterTableView {
public:
    using KVXFilterTableView::KVXFilterTableView;
    QList<int> acted;
    int updates = 0;
    void actOnTableRow(int row) override { acted.append(row); }
    void updateData() override { updates++; }
};

class RecordingOutline : public KVXFilterOutlineView {
public:
    using KVXFilterOutlineView::KVXFilterOutlineView;
    struct Drop {
        std::optional<IndexPath> item;
        int childIndex;
        QList<IndexPath> dragged;
    };
    QList<Drop> drops;

protected:
    bool acceptDrop(const QMimeData *, const std::optional<IndexPath> &item, int childIndex) override {
        drops.append({item, childIndex, draggedNodes()});
        return true;
    }
};

QRect rowRect(QAbstractItemView *view, const QModelIndex &index) { return view->visualRect(index); }

}  // namespace

TEST(FilterTable, FiltersByContainsIgnoringCaseAndDiacriticsAndSortsByLabelIgnoringCase) {
    platform::ScopedStandardDefaults scoped;
    KVXFilterTableView table;
    EXPECT_EQ(labels(table.arrangedObjects()), QStringList({"first", "second", "third"}));
    table.searchField()->setText("i");
    EXPECT_EQ(labels(table.arrangedObjects()), QStringList({"first", "third"}));
    table.searchField()->setText("I");
    EXPECT_EQ(table.numberOfRows(), 2);
    table.searchField()->clear();
    EXPECT_EQ(table.numberOfRows(), 3);

    table.setContent(rows({"cherry", "Éclair", "banana", "Apple", "plum"}));
    EXPECT_EQ(labels(table.arrangedObjects()), QStringList({"Apple", "banana", "cherry", "plum", "Éclair"}));
    // Accented and plain letters find each other, in either direction.
    table.searchField()->setText("e");
    EXPECT_EQ(labels(table.arrangedObjects()), QStringList({"Apple", "cherry", "Éclair"}));
    table.searchField()->setText("ÉCL");
    EXPECT_EQ(labels(table.arrangedObjects()), QStringList({"Éclair"}));
    // Rows are numbered among those shown.
    EXPECT_EQ(rowLabel(table.objectForRow(0).value()), "Éclair");
    EXPECT_FALSE(table.objectForRow(1));
    EXPECT_FALSE(table.objectForRow(-1));
    EXPECT_EQ(table.rowForObject(row("Éclair")), 0);
    EXPECT_FALSE(table.rowForObject(row("plum")));
    // New content is filtered by the search in force.
    table.setContent(rows({"eclat", "fig"}));
    EXPECT_EQ(labels(table.arrangedObjects()), QStringList({"eclat"}));
    EXPECT_EQ(labels(table.content()), QStringList({"eclat", "fig"}));
}

TEST(FilterTable, SelectedRowsStaySelectedAcrossNewContentWhereTheyAreStillShown) {
    platform::ScopedStandardDefaults scoped;
    KVXFilterTableView table;
    table.setContent(rows({"b", "d", "f"}));
    table.selectRows({1, 2});
    int told = 0;
    QObject::connect(&table, &KVXFilterTableView::selectionIndexesChanged, [&] { told++; });
    table.setContent(rows({"a", "b", "c", "d"}));  // "d" moved, "f" went
    EXPECT_EQ(table.selectedRows(), QList<int>({3}));
    EXPECT_GT(told, 0);
    table.setContent(rows({"x"}));
    EXPECT_TRUE(table.selectedRows().isEmpty());
}

TEST(FilterTable, OutsideAWindowTheFloatingFormHasNoTopMarginAndWhiteCells) {
    platform::ScopedStandardDefaults scoped;
    KVXFilterTableView window, panel(KVXFilterSidebar::Form::HUD);
    for (KVXFilterTableView *table : {&window, &panel})
        showAndWait(*table);
    EXPECT_EQ(window.tableView()->mapTo(&window, QPoint(0, 0)).y(), 10);
    EXPECT_EQ(panel.tableView()->mapTo(&panel, QPoint(0, 0)).y(), 0);
    EXPECT_EQ(panel.tableView()->cellTextColor(), QColor(Qt::white));
    EXPECT_EQ(window.tableView()->cellTextColor(), QColor(Qt::black));
    // The search field, 22 high, stands 10 below the list and 10 above the bottom.
    const QRect list = window.tableView()->geometry(), field = window.searchField()->geometry();
    EXPECT_EQ(field.height(), 22);
    EXPECT_EQ(window.searchField()->mapTo(&window, QPoint(0, 0)).y(),
              window.tableView()->mapTo(&window, QPoint(0, list.height())).y() + 10);
    EXPECT_EQ(window.height() - window.searchField()->mapTo(&window, QPoint(0, field.height())).y(), 10);
}

TEST(FilterTable, TheFloatingPanelsTreeViewsShareOneTreeOfPlaceholderRowsAndEachIsLogged) {
    platform::ScopedStandardDefaults scoped;
    testing_qt::LogCapture log;
    RecordingTable table(KVXFilterSidebar::Form::HUD);
    std::unique_ptr<QTreeView> outline(table.createOutlineViewForHUD());
    std::unique_ptr<QTreeView> again(table.createOutlineViewForHUD());
    EXPECT_EQ(log.count("create filtertable outlineview for HUD"), 2);
    ASSERT_EQ(outline->model(), table.createTreeController());
    EXPECT_EQ(again->model(), outline->model());
    EXPECT_EQ(labels(table.createTreeController()->rows()), QStringList({"first", "second", "third"}));
    EXPECT_TRUE(outline->isHeaderHidden());
    EXPECT_EQ(outline->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(outline->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(outline->palette().color(QPalette::Text), QColor(Qt::white));
    // The flat list is untouched by it.
    EXPECT_EQ(labels(table.arrangedObjects()), QStringList({"first", "second", "third"}));

    showAndWait(*outline);
    doubleClick(outline->viewport(), outline->visualRect(outline->model()->index(1, 0)).center());
    EXPECT_EQ(table.acted, QList<int>({1}));
}

class SidebarLinkTest : public DocumentTest {};

TEST_F(SidebarLinkTest, ReturnEnterAndDoubleClickActOnRowsAndOtherKeysGoOnToTheLinkedEditor) {
    auto *table = place(new RecordingTable);
    table->setContent(rows({"alpha", "beta", "gamma"}));
    storage->setInitialText("hello world");
    show();
    table->tableView()->setFocus();
    // Nothing selected: the row is -1, and what that means is the sidebar's.
    pressKey(table->tableView(), Qt::Key_Return);
    table->selectRow(1);
    pressKey(table->tableView(), Qt::Key_Enter);
    pressKey(table->tableView(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(table->acted, QList<int>({-1, 1, 1}));

    table->acted.clear();
    QAbstractItemView *list = table->tableView();
    doubleClick(list->viewport(), rowRect(list, list->model()->index(2, 0)).center());
    doubleClick(list->viewport(), QPoint(20, list->viewport()->height() - 5));
    EXPECT_EQ(table->acted, QList<int>({2, -1}));

    // Return in the search field ends the search: it acts on nothing and
    // never reaches the text.
    table->acted.clear();
    table->connectToTextView(editor);
    KeysSeen seen(editor);
    pressKey(table->searchField(), Qt::Key_Return);
    EXPECT_TRUE(table->acted.isEmpty());
    EXPECT_TRUE(seen.keys.isEmpty());
    // A key neither the list nor the sidebar handles reaches the linked editor.
    pressKey(table->tableView(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(seen.keys, QList<int>({Qt::Key_F}));
    EXPECT_TRUE(editor->findBar()->isVisibleTo(editor));
    // Plain letters pick rows by their first letters, as lists do.
    pressKey(table->tableView(), Qt::Key_G, Qt::NoModifier, "g");
    EXPECT_EQ(table->selectedRows(), QList<int>({2}));
    EXPECT_EQ(seen.keys.size(), 1);
}

TEST_F(SidebarLinkTest, LinkingTheLinkedEditorAgainDoesNothingAndUnlinkingEmptiesTheList) {
    auto *table = place(new RecordingTable);
    EXPECT_EQ(table->linkedTextView(), nullptr);
    table->connectToTextView(editor);
    table->connectToTextView(editor);
    EXPECT_EQ(table->updates, 1);
    EXPECT_EQ(table->nextResponder(), editor);
    table->setContent(rows({"kept"}));
    table->disconnectFromTextView();
    EXPECT_EQ(table->linkedTextView(), nullptr);
    EXPECT_EQ(table->numberOfRows(), 0);
    // Unlinked, keys go nowhere near the editor.
    KeysSeen seen(editor);
    pressKey(table->tableView(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(seen.keys.isEmpty());
}

TEST(FilterOutline, RowsAreFoundDepthFirstAndOpenRowsStayOpenAcrossNewContent) {
    platform::ScopedStandardDefaults scoped;
    testing_qt::LogCapture log;
    KVXFilterOutlineView outline;
    EXPECT_EQ(labels(outline.treeContent()), QStringList({"first", "second", "third"}));
    const QVariantList tree = {row("b", {row("b2"), row("B1", {row("deep")})}), row("a"), row("c", {row("deep")})};
    outline.setTreeControllerContent(tree);
    // Sorted at every level, ignoring case.
    EXPECT_EQ(labels(outline.treeContent()), QStringList({"a", "b", "c"}));
    EXPECT_EQ(rowLabel(outline.objectAtPath({1, 0}).value()), "B1");
    // The first match depth first: "deep" under b's B1 before the one under c.
    EXPECT_EQ(outline.indexPathOfObject(row("deep")), IndexPath({1, 0, 0}));
    EXPECT_EQ(rowLabel(outline.parentOfObject(row("deep")).value()), "B1");
    EXPECT_FALSE(outline.parentOfObject(row("a")));
    EXPECT_FALSE(outline.indexPathOfObject(row("none")));
    EXPECT_FALSE(outline.objectAtPath({1, 5}));

    outline.expandAll();
    outline.tableView()->collapse(outline.treeModel()->indexForPath({2}));
    const QSet<QString> open = outline.expandedItems();
    EXPECT_EQ(open.size(), 2);  // b and b's B1
    // New content with one more row: the same rows open again, whatever
    // their new places.
    QVariantList more = tree;
    more.prepend(row("0", {row("zero")}));
    outline.setTreeControllerContent(more);
    EXPECT_TRUE(outline.expandedItems().isEmpty());
    outline.expandItemsInHash(open);
    EXPECT_EQ(outline.expandedItems(), open);
    EXPECT_TRUE(outline.tableView()->isExpanded(outline.treeModel()->indexForPath({2, 0})));
    EXPECT_FALSE(outline.tableView()->isExpanded(outline.treeModel()->indexForPath({0})));

    // The search text is only recorded here.
    outline.searchField()->setText("deep");
    EXPECT_EQ(outline.filterText(), "deep");
    EXPECT_EQ(outline.treeContent().size(), 4);
    EXPECT_EQ(log.count("need to subclass controlTextDidChange"), 1);
}

TEST(FilterOutline, ADragCarriesLabelsAndItsTypeAndADropNamesItsItemAndChildIndex) {
    platform::ScopedStandardDefaults scoped;
    RecordingOutline outline;
    outline.setTreeControllerContent({row("a", {row("a1"), row("a2")}), row("b")});
    SidebarRowModel *model = outline.treeModel();
    const QModelIndex a1 = model->indexForPath({0, 0}), b = model->indexForPath({1});
    std::unique_ptr<QMimeData> data(model->mimeData({a1, b}));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->text(), "a1\nb");
    EXPECT_TRUE(data->hasFormat("KVXOutlineDragType"));
    EXPECT_EQ(outline.draggedNodes(), QList<IndexPath>({{0, 0}, {1}}));

    EXPECT_TRUE(model->dropMimeData(data.get(), Qt::MoveAction, -1, 0, model->indexForPath({1})));
    EXPECT_TRUE(model->dropMimeData(data.get(), Qt::MoveAction, 1, 0, model->indexForPath({0})));
    EXPECT_TRUE(model->dropMimeData(data.get(), Qt::MoveAction, -1, 0, QModelIndex()));
    ASSERT_EQ(outline.drops.size(), 3);
    EXPECT_EQ(outline.drops[0].item, IndexPath({1}));
    EXPECT_EQ(outline.drops[0].childIndex, -1);
    EXPECT_EQ(outline.drops[1].item, IndexPath({0}));
    EXPECT_EQ(outline.drops[1].childIndex, 1);
    EXPECT_FALSE(outline.drops[2].item);
    EXPECT_EQ(outline.drops[2].dragged, QList<IndexPath>({{0, 0}, {1}}));
    // Data of other kinds is not taken.
    QMimeData text;
    text.setText("plain");
    EXPECT_FALSE(model->dropMimeData(&text, Qt::CopyAction, -1, 0, QModelIndex()));
    EXPECT_EQ(outline.drops.size(), 3);
}
