// The references sidebar over a real document and the engine bridge: the
// labels it lists and the reference links it inserts.
#include <QLineEdit>
#include <QMimeData>

#include "window/sidebar_test_support.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/sidebars/tzr_reference_view.h"

using namespace sidebartest;

class ReferencesTest : public DocumentTest {
protected:
    TZRReferenceView *refs = nullptr;

    void SetUp() override {
        DocumentTest::SetUp();
        refs = place(new TZRReferenceView);
        refs->coalescer().setResumeDelay(std::chrono::milliseconds(20));
    }
    void open(const QString &text) {
        start(text);
        refs->observeEngine(bridge.get());
        refs->connectToTextView(editor);
        ASSERT_TRUE(settleAll());
    }
    QPoint rowCentre(int row) {
        QAbstractItemView *list = refs->tableView();
        return list->visualRect(list->model()->index(row, 0)).center();
    }
};

TEST_F(ReferencesTest, LabelsAreListedAlphabeticallyAndADoubleClickLinksThemAtTheCaretOrAroundTheSelection) {
    show();
    open(sampleDocument() + "\n[apple]: http://example.org/apple\n");
    EXPECT_EQ(labels(refs->arrangedObjects()), QStringList({"apple", "Data", "Smith"}));

    // A word selected: it becomes the link's text.
    const qsizetype word = storage->string().indexOf("culture");
    editor->setSelectedRange({word, 7});
    refs->selectRow(2);
    doubleClick(refs->tableView()->viewport(), rowCentre(2));
    EXPECT_TRUE(storage->string().contains("café [culture][Smith] 😀"));
    EXPECT_EQ(editor->selectedRange(), CharRange({word + 16, 0}));

    // No selection: the bracketed labels at the caret, one per selected row.
    const qsizetype end = storage->length();
    editor->setSelectedRange({end, 0});
    refs->selectRows({0, 1});
    refs->actOnSelectedRow();
    EXPECT_EQ(storage->string().mid(end), "[apple][Data]");
    EXPECT_EQ(editor->selectedRange(), CharRange({storage->length(), 0}));

    // Return and Enter insert nothing.
    const QString before = storage->string();
    refs->tableView()->setFocus();
    pressKey(refs->tableView(), Qt::Key_Return);
    pressKey(refs->tableView(), Qt::Key_Enter);
    EXPECT_EQ(storage->string(), before);

    // A dragged label lands in the text as a reference.
    std::unique_ptr<QMimeData> data(refs->tableView()->model()->mimeData({refs->tableView()->model()->index(2, 0)}));
    EXPECT_EQ(data->text(), "[Smith]");
    // The filter narrows the list as in every sidebar.
    refs->searchField()->setText("MI");
    EXPECT_EQ(labels(refs->arrangedObjects()), QStringList({"Smith"}));
}
