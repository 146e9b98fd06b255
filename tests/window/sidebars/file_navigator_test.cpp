// The file list of project windows over a real folder: rows in the listing's
// order, folders kept open and files kept selected across new listings, the
// whole tree open while a search is shown, and every action on files handed
// to the delegate later, with the selected entries.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>

#include "platform/files/folder_listing.h"
#include "platform/prefs/registered_defaults.h"
#include "window/sidebar_test_support.h"
#include "support/qt_wait.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/sidebars/tzr_file_navigator_mac.h"

using namespace sidebartest;

namespace {

// What the delegate heard: the action and the files' relative paths.
struct Recorder : TZRFileNavigatorDelegate {
    QList<std::pair<QString, QStringList>> calls;

    void record(const char *action, const QList<SidebarRow> &files) {
        QStringList paths;
        for (const SidebarRow &file : files)
            paths.append(file.value(QStringLiteral("relativePath")).toString());
        calls.append({QString::fromLatin1(action), paths});
    }
    void openFiles(const QList<SidebarRow> &files) override { record("open", files); }
    void selectFiles(const QList<SidebarRow> &files) override { record("select", files); }
    void deleteFiles(const QList<SidebarRow> &files) override { record("delete", files); }
    void revealFiles(const QList<SidebarRow> &files) override { record("reveal", files); }

    QList<std::pair<QString, QStringList>> take() {
        testing_qt::spinFor(std::chrono::milliseconds(5));
        return std::exchange(calls, {});
    }
};

using Calls = QList<std::pair<QString, QStringList>>;

class FileNavigatorTest : public ::testing::Test {
protected:
    platform::ScopedStandardDefaults scoped;  // the look is read as the list is made
    QTemporaryDir dir;
    TZRFileNavigatorMac navigator;
    Recorder delegate;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char *file : {"notes.md", "b/one.md", "b/two.md", "b/deep/three.md", "a/four.txt"})
            write(QString::fromLatin1(file));
        navigator.setDelegate(&delegate);
        showAndWait(navigator);
        refresh();
        delegate.take();
    }

    void write(const QString &relative) {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("text\n");
    }
    // The listing as a project window gives it: A to Z, or the matches.
    void refresh() {
        auto flat = platform::listFolder(dir.path(), platform::FileSort::Alphabetical);
        if (!navigator.searchText().isEmpty())
            flat = platform::filesMatchingQuery(flat, navigator.searchText());
        navigator.setData(platform::fileHierarchy(flat));
    }
    QModelIndex indexOf(const QString &relative) const {
        for (const SidebarRow &row : allRows(navigator.treeContent()))
            if (row.value(QStringLiteral("relativePath")) == relative)
                return navigator.treeModel()->indexForPath(*navigator.indexPathOfObject(row));
        return {};
    }
    static QList<SidebarRow> allRows(const QVariantList &rows) {
        QList<SidebarRow> all;
        for (const QVariant &value : rows) {
            all.append(value.toMap());
            all += allRows(rowChildren(value.toMap()));
        }
        return all;
    }
    // The rows as shown: relative paths of the visible rows, top to bottom.
    QStringList visibleRows() const {
        QStringList shown;
        KVXOutlineView *view = navigator.tableView();
        for (QModelIndex index = view->model()->index(0, 0); index.isValid(); index = view->indexBelow(index))
            shown.append(navigator.treeModel()->rowAt(index).value(QStringLiteral("relativePath")).toString());
        return shown;
    }
    void select(const QStringList &relatives) {
        QList<IndexPath> paths;
        for (const QString &relative : relatives)
            paths.append(navigator.treeModel()->pathForIndex(indexOf(relative)));
        navigator.setSelectionIndexPaths(paths);
    }
};

TEST_F(FileNavigatorTest, NewListingsKeepOpenFoldersAndTheListingsOrder) {
    EXPECT_EQ(visibleRows(), QStringList({"/a", "/b", "/notes.md"}));
    navigator.tableView()->expand(indexOf(QStringLiteral("/b")));
    navigator.tableView()->expand(indexOf(QStringLiteral("/b/deep")));
    // A file arrives that sorts before the others; the open folders stay open.
    write(QStringLiteral("b/aa.md"));
    refresh();
    EXPECT_EQ(visibleRows(), QStringList({"/a", "/b", "/b/aa.md", "/b/deep", "/b/deep/three.md", "/b/one.md",
                                          "/b/two.md", "/notes.md"}));
    // Newest first is kept as given, not sorted by name.
    QVariantList reversed;
    for (const QVariant &row : navigator.treeContent())
        reversed.prepend(row);
    navigator.setData(reversed);
    EXPECT_EQ(visibleRows().first(), QStringLiteral("/notes.md"));

    // A folder that went is simply absent.
    ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("b/deep"))).removeRecursively());
    refresh();
    EXPECT_EQ(visibleRows(), QStringList({"/a", "/b", "/b/aa.md", "/b/one.md", "/b/two.md", "/notes.md"}));
}

TEST_F(FileNavigatorTest, ASearchShowsEveryMatchOpenAndClearingItRestoresTheFolders) {
    navigator.tableView()->expand(indexOf(QStringLiteral("/a")));
    navigator.searchField()->setText(QStringLiteral("three"));
    refresh();
    EXPECT_EQ(visibleRows(), QStringList({"/b/deep", "/b/deep/three.md"}));
    // Every refresh during the search shows the matches open.
    write(QStringLiteral("b/deep/three-more.md"));
    refresh();
    EXPECT_EQ(visibleRows(), QStringList({"/b/deep", "/b/deep/three-more.md", "/b/deep/three.md"}));

    navigator.searchField()->clear();
    refresh();
    EXPECT_EQ(visibleRows(), QStringList({"/a", "/b", "/notes.md"}));
}

TEST_F(FileNavigatorTest, ActionsReachTheDelegateLaterWithAllSelectedEntries) {
    navigator.tableView()->expand(indexOf(QStringLiteral("/b")));
    select({"/b/one.md", "/notes.md"});
    EXPECT_EQ(delegate.take(), Calls({{"select", {"/b/one.md", "/notes.md"}}}));

    QMenu *menu = navigator.contextMenu();
    EXPECT_EQ(menu->title(), QStringLiteral("Contextual Menu"));
    QStringList titles, selectors;
    for (QAction *action : menu->actions()) {
        titles.append(action->text());
        selectors.append(action->objectName());
        EXPECT_TRUE(action->shortcut().isEmpty());
    }
    EXPECT_EQ(titles, QStringList({"Open File(s)", "Show In File Manager", "Delete File(s)"}));
    EXPECT_EQ(selectors, QStringList({"openFileRows:", "revealFileRows:", "deleteFileRows:"}));
    EXPECT_EQ(navigator.tableView()->contextMenuPolicy(), Qt::CustomContextMenu);

    // Both rows in one call, and not before the menu's action has returned.
    menu->actions().at(2)->trigger();
    EXPECT_TRUE(delegate.calls.isEmpty());
    EXPECT_EQ(delegate.take(), Calls({{"delete", {"/b/one.md", "/notes.md"}}}));
    menu->actions().at(1)->trigger();
    menu->actions().at(0)->trigger();
    EXPECT_EQ(delegate.take(), Calls({{"reveal", {"/b/one.md", "/notes.md"}}, {"open", {"/b/one.md", "/notes.md"}}}));

    // Return and Enter open the selection.
    pressKey(navigator.tableView(), Qt::Key_Return);
    pressKey(navigator.tableView(), Qt::Key_Enter);
    EXPECT_EQ(delegate.take(), Calls({{"open", {"/b/one.md", "/notes.md"}}, {"open", {"/b/one.md", "/notes.md"}}}));

    // A delegate that went hears nothing of what was asked before.
    menu->actions().at(0)->trigger();
    navigator.setDelegate(nullptr);
    testing_qt::spinFor(std::chrono::milliseconds(5));
    navigator.setDelegate(&delegate);
    EXPECT_TRUE(delegate.take().isEmpty());
}

TEST_F(FileNavigatorTest, ArrowKeysPreviewEachRowAndDoubleClicksOpenFilesButToggleFolders) {
    KVXOutlineView *view = navigator.tableView();
    view->setFocus();
    select({"/a"});
    delegate.take();
    pressKey(view, Qt::Key_Down);
    pressKey(view, Qt::Key_Down);
    pressKey(view, Qt::Key_Up);
    EXPECT_EQ(delegate.take(), Calls({{"select", {"/b"}}, {"select", {"/notes.md"}}, {"select", {"/b"}}}));

    // A double-click on a folder opens it in the list and nothing else.
    doubleClick(view->viewport(), view->visualRect(indexOf(QStringLiteral("/b"))).center());
    EXPECT_TRUE(view->isExpanded(indexOf(QStringLiteral("/b"))));
    doubleClick(view->viewport(), view->visualRect(indexOf(QStringLiteral("/b"))).center());
    EXPECT_FALSE(view->isExpanded(indexOf(QStringLiteral("/b"))));
    for (const auto &call : delegate.take())
        EXPECT_NE(call.first, QStringLiteral("open"));
    // On a file it opens the file.
    doubleClick(view->viewport(), view->visualRect(indexOf(QStringLiteral("/notes.md"))).center());
    EXPECT_EQ(delegate.take().last(), std::make_pair(QStringLiteral("open"), QStringList({"/notes.md"})));
}

TEST_F(FileNavigatorTest, ANewListingKeepsTheSelectedFilesAndPreviewsThemAgain) {
    navigator.tableView()->expand(indexOf(QStringLiteral("/b")));
    select({"/b/two.md"});
    delegate.take();
    write(QStringLiteral("b/zz.md"));
    refresh();
    EXPECT_EQ(navigator.selectedObjects().size(), 1);
    EXPECT_EQ(delegate.take(), Calls({{"select", {"/b/two.md"}}}));

    // The selected file went: the preview hears that nothing is selected.
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("b/two.md"))));
    refresh();
    EXPECT_TRUE(navigator.selectedObjects().isEmpty());
    EXPECT_EQ(delegate.take(), Calls({{"select", {}}}));
    // Without a selection, a new listing says nothing.
    refresh();
    EXPECT_TRUE(delegate.take().isEmpty());
}

TEST_F(FileNavigatorTest, PictureOfAProjectsFilesInThePlainLook) {
    scoped.defaults().setInteger(2, "appearanceTheme");
    navigator.applyAppearanceTheme();
    navigator.setAutoFillBackground(true);
    QPalette palette = navigator.palette();
    palette.setColor(QPalette::Window, QColor(237, 237, 237));  // the project window's side pane
    navigator.setPalette(palette);
    KVXOutlineView *view = navigator.tableView();
    view->expand(indexOf(QStringLiteral("/b")));
    select({"/b/one.md"});
    view->setFocus();
    testing_qt::spinFor(std::chrono::milliseconds(20));
    const QImage image = navigator.grab().toImage().convertToFormat(QImage::Format_RGB32);
    image.save(artifactPath(QStringLiteral("file-navigator.png")));

    // The selected file in blue, the other rows in dark text, nested rows
    // indented, and the search field below the list.
    auto inView = [&](const QString &relative) {
        return view->visualRect(indexOf(relative)).translated(view->viewport()->mapTo(&navigator, QPoint(0, 0)));
    };
    auto count = [&](QRect area, auto ink) {
        int n = 0;
        area &= image.rect();
        for (int y = area.top(); y <= area.bottom(); y++)
            for (int x = area.left(); x <= area.right(); x++)
                n += ink(image.pixel(x, y));
        return n;
    };
    auto blue = [](QRgb p) { return qAbs(qRed(p) - 56) < 6 && qAbs(qGreen(p) - 117) < 6 && qAbs(qBlue(p) - 215) < 6; };
    auto dark = [](QRgb p) { return qGray(p) < 110; };
    const QRect selected = inView(QStringLiteral("/b/one.md"));
    EXPECT_GT(count(selected, blue), selected.width() * selected.height() / 2);
    for (const char *row : {"/a", "/b", "/b/two.md", "/notes.md"})
        EXPECT_GT(count(inView(QString::fromLatin1(row)), dark), 8) << row;  // "a" is one letter
    EXPECT_GT(inView(QStringLiteral("/b/two.md")).left(), inView(QStringLiteral("/b")).left());
    const QRect field(navigator.searchField()->mapTo(&navigator, QPoint(0, 0)), navigator.searchField()->size());
    EXPECT_GT(field.top(), inView(QStringLiteral("/notes.md")).bottom());
    EXPECT_LT(field.bottom(), navigator.height());
}

}  // namespace
