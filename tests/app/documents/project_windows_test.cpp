// Folders opened as project windows: Open Folder (a project window per use,
// a file as a document), new tabs, the file list searched and following the
// disk through its search (its open folders and selection kept), files
// opened as tabs or elsewhere only when they are documents, previewed,
// deleted to the trash after a question per file, shown in the file manager
// (names that are not UTF-8 among them), and the window's frame, side width
// and theme kept.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDBusMessage>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>

#include <fcntl.h>
#include <sys/stat.h>

#include "app/documents/project_window_controller.h"
#include "app/documents/smart_editor_document_controller.h"
#include "app/documents/document_fixture.h"
#include "support/temporary_tree.h"
#include "platform/runtime/action_router.h"
#include "platform/files/file_manager.h"
#include "platform/files/kvx_folder_contents.h"
#include "platform/files/kvx_sandbox_permission_manager.h"
#include "platform/files/native_path.h"
#include "platform/files/quick_preview.h"
#include "platform/files/trash.h"
#include "platform/documents/window_tabs.h"
#include "platform/files/workspace.h"
#include "window/panes/matryoshka_view.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/sidebars/tzr_file_navigator_mac.h"

using documents_test::writeAll;
using platform::WindowTabs;

namespace {

SidebarRow entry(const QString &path) { return {{QStringLiteral("path"), path}}; }

class ProjectWindows : public ::testing::Test {
protected:
    platform::ScopedStandardDefaults defaults;
    QTemporaryDir folder;
    SmartEditorDocumentController controller;
    platform::DocumentController *previous = nullptr;
    platform::ScriptedAlerts alerts;
    platform::ScriptedPanels panels;
    QList<QUrl> openedElsewhere;
    QList<QStringList> revealed;

    void SetUp() override {
        previous = platform::DocumentController::setShared(&controller);
        controller.setDocumentFactory([](const QString &) { return new SmartEditorDocument; });
        platform::Workspace::setOpenerForTesting([this](const QUrl &url) {
            openedElsewhere.append(url);
            return true;
        });
        platform::FileManager::setHooksForTesting({[this](const QDBusMessage &call) {
                                                       revealed.append(call.arguments().value(0).toStringList());
                                                       return true;
                                                   },
                                                   {}});
        for (const char *name : {"notes.md", "chapter/one.md", "chapter/two.md"})
            write(QString::fromLatin1(name));
        QImage picture(60, 40, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        ASSERT_TRUE(picture.save(at("figure.png")));
        // Newest first, without ties: notes, the picture, the chapter.
        const QDateTime now = QDateTime::currentDateTime();
        age("chapter/one.md", now.addSecs(-3600));
        age("chapter/two.md", now.addSecs(-3600));
        age("chapter", now.addSecs(-1800));
        age("figure.png", now.addSecs(-1200));
        age("notes.md", now.addSecs(-600));
    }
    void age(const QString &name, const QDateTime &when) {
        const struct timespec times[2] = {{time_t(when.toSecsSinceEpoch()), 0}, {time_t(when.toSecsSinceEpoch()), 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(at(name)).constData(), times, 0), 0);
    }
    void TearDown() override {
        for (platform::Document *document : controller.documents())
            document->close();
        testing_qt::spinFor(std::chrono::milliseconds(20));
        platform::DocumentController::setShared(previous);
        platform::Workspace::setOpenerForTesting({});
        platform::FileManager::setHooksForTesting({});
        testing_qt::removeTreeByBytes(folder.path());
    }

    QString at(const QString &name) const { return folder.filePath(name); }
    void write(const QString &name, const QByteArray &bytes = "# Text\n") {
        QDir().mkpath(QFileInfo(at(name)).path());
        ASSERT_TRUE(writeAll(at(name), bytes));
    }
    ProjectWindowController *openProject(const QString &path) {
        const size_t before = controller.openProjects().size();
        controller.openFolderURL(QUrl::fromLocalFile(path));
        EXPECT_EQ(controller.openProjects().size(), before + 1);
        ProjectWindowController *project = controller.openProjects().back().get();
        testing_qt::spinUntil([&] { return project->window()->isVisible(); }, std::chrono::milliseconds(500));
        return project;
    }
    // The labels of the rows shown, top to bottom, with their depth.
    static QStringList shownRows(ProjectWindowController *project) {
        QStringList rows;
        KVXOutlineView *view = project->fileTable()->tableView();
        for (QModelIndex index = view->model()->index(0, 0); index.isValid(); index = view->indexBelow(index)) {
            const QString path = project->fileTable()->treeModel()->rowAt(index).value("relativePath").toString();
            rows.append(path);
        }
        return rows;
    }
    // Brings a window (or tab) to the front, and waits until it is active.
    static bool activate(QWidget *window) {
        WindowTabs::makeKeyAndOrderFront(window);
        return testing_qt::spinUntil([&] { return WindowTabs::keyWindow() == window; },
                                     std::chrono::milliseconds(1000));
    }
};

TEST_F(ProjectWindows, OpenFolderMakesAProjectWindowEachTimeAndOpensFilesAsDocuments) {
    panels.answerOpen({folder.path()});
    ASSERT_TRUE(platform::ActionRouter::sendAction(QStringLiteral("openFolder:"), nullptr));
    ASSERT_EQ(controller.openProjects().size(), 1u);
    ASSERT_EQ(panels.openPanels().size(), 1);
    EXPECT_TRUE(panels.openPanels().first().canChooseDirectories);
    ProjectWindowController *project = controller.openProjects().front().get();
    EXPECT_TRUE(project->window()->isVisible());
    EXPECT_EQ(project->window()->windowTitle(), QFileInfo(folder.path()).fileName());
    EXPECT_EQ(WindowTabs::tabbingIdentifier(project->window()), QStringLiteral("OrvaneDoc"));
    EXPECT_EQ(WindowTabs::tabbingMode(project->window()), WindowTabs::TabbingMode::Preferred);
    EXPECT_EQ(shownRows(project), QStringList({"/notes.md", "/figure.png", "/chapter"}));  // newest first
    EXPECT_FALSE(platform::Defaults::standard()
                     .dataForKey(KVXSandboxPermissionManager::bookmarkKey(folder.path()))
                     .isEmpty());

    // The same folder again: a second window. A cancelled panel: nothing.
    panels.answerOpen({folder.path()});
    controller.openFolder();
    panels.answerOpen({});
    controller.openFolder();
    EXPECT_EQ(controller.openProjects().size(), 2u);

    // A file opens as a document; one already open only comes to the front.
    panels.answerOpen({at("notes.md")});
    controller.openFolder();
    ASSERT_EQ(controller.documents().size(), 1);
    platform::Document *notes = controller.documents().first();
    EXPECT_EQ(notes->firstWindow()->window(), project->window()->window()) << "a tab of the project's group";
    WindowTabs::makeKeyAndOrderFront(project->window());
    EXPECT_FALSE(notes->firstWindow()->isVisible());
    panels.answerOpen({at("notes.md")});
    controller.openFolder();
    EXPECT_EQ(controller.documents().size(), 1);
    EXPECT_TRUE(notes->firstWindow()->isVisible());
    EXPECT_EQ(WindowTabs::selectedWindow(project->window()->window()), notes->firstWindow());
    EXPECT_TRUE(SmartEditorDocumentController::hasOpenDocuments());
}

TEST_F(ProjectWindows, ANewTabJoinsADocumentOrProjectWindowAndIsAPlainWindowElsewhere) {
    ProjectWindowController *project = openProject(folder.path());
    ASSERT_TRUE(activate(project->window()));
    const QRect projectFrame = project->window()->geometry();
    EXPECT_TRUE(controller.validateAction(QStringLiteral("newWindowForTab:"), nullptr));
    EXPECT_TRUE(controller.validateAction(QStringLiteral("openFolder:"), nullptr));
    ASSERT_TRUE(platform::ActionRouter::sendAction(QStringLiteral("newWindowForTab:"), nullptr));
    ASSERT_EQ(controller.documents().size(), 1);
    QWidget *tab = controller.documents().first()->firstWindow();
    EXPECT_EQ(WindowTabs::tabbedWindows(project->window()), QList<QWidget *>({project->window(), tab}));
    // One window on the screen, at the project window's place.
    EXPECT_EQ(tab->window(), project->window()->window());
    EXPECT_EQ(tab->window()->geometry(), projectFrame);
    EXPECT_TRUE(tab->isVisible());
    EXPECT_FALSE(project->window()->isVisible());

    // From the document window, the next tab joins the same group, after it.
    ASSERT_TRUE(activate(tab));
    controller.newWindowForTab();
    ASSERT_EQ(controller.documents().size(), 2);
    QWidget *third = controller.documents().last()->firstWindow();
    EXPECT_EQ(WindowTabs::tabbedWindows(tab), QList<QWidget *>({project->window(), tab, third}));
    // The first tab comes back.
    project->gotoFirstTab();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return WindowTabs::keyWindow() == project->window(); },
                                      std::chrono::milliseconds(1000)));
    EXPECT_TRUE(project->window()->isVisible());
    EXPECT_FALSE(third->isVisible());

    // Another kind of window (preferences, help): an ordinary new window.
    QMainWindow other;
    other.show();
    ASSERT_TRUE(activate(&other));
    EXPECT_FALSE(controller.validateAction(QStringLiteral("newWindowForTab:"), nullptr));
    controller.newWindowForTab();
    ASSERT_EQ(controller.documents().size(), 3);
    QWidget *plain = controller.documents().last()->firstWindow();
    EXPECT_TRUE(plain->isVisible());
    EXPECT_EQ(WindowTabs::tabbedWindows(plain), QList<QWidget *>({plain}));
}

TEST_F(ProjectWindows, TheListIsSearchedAndKeepsItsSearchOpenFoldersAndSelectionAcrossNewListings) {
    ProjectWindowController *project = openProject(folder.path());
    project->searchField()->setText(QStringLiteral("one"));
    EXPECT_EQ(shownRows(project), QStringList({"/chapter", "/chapter/one.md"}));
    // Cleared: the whole tree, the folder the search opened still open.
    project->searchField()->clear();
    EXPECT_EQ(shownRows(project), QStringList({"/notes.md", "/figure.png", "/chapter", "/chapter/one.md",
                                               "/chapter/two.md"}));

    // While a search is shown, each new listing goes through it: a file
    // appended to, one added that matches and one that does not, one removed.
    TZRFileNavigatorMac *list = project->fileTable();
    project->searchField()->setText(QStringLiteral("two"));
    EXPECT_EQ(shownRows(project), QStringList({"/chapter", "/chapter/two.md"}));
    list->setSelectionIndexPaths({IndexPath{0, 0}});
    ASSERT_EQ(list->selectedObjects().size(), 1);
    auto selectedPath = [&] {
        const QList<SidebarRow> rows = list->selectedObjects();
        return rows.size() == 1 ? rows.first().value("relativePath").toString() : QString();
    };
    auto relisted = [&](const std::function<void()> &change, const QStringList &wanted) {
        change();
        return testing_qt::spinUntil([&] { return shownRows(project) == wanted; }, std::chrono::seconds(30));
    };
    EXPECT_TRUE(relisted([&] { write(QStringLiteral("chapter/two.md"), "# Text\n\nMore.\n"); },
                         {"/chapter", "/chapter/two.md"}));
    EXPECT_EQ(selectedPath(), QStringLiteral("/chapter/two.md"));
    EXPECT_TRUE(
        relisted([&] { write(QStringLiteral("two more.md")); }, {"/two more.md", "/chapter", "/chapter/two.md"}));
    write(QStringLiteral("added.md"));
    testing_qt::spinFor(std::chrono::milliseconds(600));
    EXPECT_EQ(shownRows(project), QStringList({"/two more.md", "/chapter", "/chapter/two.md"}));
    EXPECT_TRUE(relisted([&] { QFile::remove(at("two more.md")); }, {"/chapter", "/chapter/two.md"}));
    EXPECT_EQ(project->searchField()->text(), QStringLiteral("two"));
    EXPECT_EQ(selectedPath(), QStringLiteral("/chapter/two.md"));

    // Without a search, the folders that were open stay open, the closed
    // ones closed, and the selection stays on its file.
    project->searchField()->clear();
    write(QStringLiteral("notes/inner.md"));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return shownRows(project).contains(QStringLiteral("/notes")); },
                                      std::chrono::milliseconds(5000)));
    KVXOutlineView *view = list->tableView();
    for (QModelIndex index = view->model()->index(0, 0); index.isValid(); index = view->indexBelow(index))
        if (list->treeModel()->rowAt(index).value("relativePath").toString() == QLatin1String("/notes"))
            view->setExpanded(index, true);
    const QStringList before = shownRows(project);
    EXPECT_TRUE(before.contains(QStringLiteral("/notes/inner.md")));
    EXPECT_TRUE(before.contains(QStringLiteral("/chapter/two.md")));
    EXPECT_EQ(selectedPath(), QStringLiteral("/chapter/two.md"));
    QStringList wanted = before;
    wanted.prepend(QStringLiteral("/last.md"));
    EXPECT_TRUE(relisted([&] { write(QStringLiteral("last.md")); }, wanted));
    EXPECT_EQ(selectedPath(), QStringLiteral("/chapter/two.md"));
}

TEST_F(ProjectWindows, TextOpensAsTabsAndOnlyDocumentsOpenElsewhere) {
    ProjectWindowController *project = openProject(folder.path());
    write(QStringLiteral("run"), "\x7f" "ELF\x02\x01\x01");
    ASSERT_EQ(chmod(QFile::encodeName(at("run")).constData(), 0755), 0);
    ASSERT_EQ(mkfifo(QFile::encodeName(at("pipe.md")).constData(), 0600), 0);

    project->openFiles({entry(at("notes.md")), entry(at("figure.png")), entry(at("chapter"))});
    ASSERT_EQ(controller.documents().size(), 1);
    QWidget *notes = controller.documents().first()->firstWindow();
    EXPECT_EQ(WindowTabs::tabbedWindows(project->window()), QList<QWidget *>({project->window(), notes}));
    EXPECT_EQ(openedElsewhere, QList<QUrl>({QUrl::fromLocalFile(at("figure.png"))}));
    EXPECT_EQ(alerts.count(), 0);

    // Open already: to the front, no second document.
    WindowTabs::makeKeyAndOrderFront(project->window());
    EXPECT_FALSE(notes->isVisible());
    project->openFiles({entry(at("notes.md"))});
    EXPECT_EQ(controller.documents().size(), 1);
    EXPECT_TRUE(notes->isVisible());
    EXPECT_EQ(WindowTabs::selectedWindow(notes->window()), notes);

    // A program and a pipe never leave, nor is the pipe read; the user hears why.
    openedElsewhere.clear();
    project->openFiles({entry(at("run")), entry(at("pipe.md"))});
    EXPECT_TRUE(openedElsewhere.isEmpty());
    EXPECT_EQ(controller.documents().size(), 1);
    ASSERT_EQ(alerts.count(), 2);
    EXPECT_EQ(alerts.shown().first().messageText, QStringLiteral("Not Opened"));
    EXPECT_EQ(alerts.shown().first().informativeText, ProjectWindowController::notOpenedMessage(at("run")));
}

TEST_F(ProjectWindows, TheSelectedFileIsPreviewedAndFilesAreShownInTheFileManager) {
    ProjectWindowController *project = openProject(folder.path());
    project->selectFiles({entry(at("figure.png"))});
    EXPECT_EQ(project->preview()->previewItem(), at("figure.png"));
    EXPECT_EQ(project->preview()->kind(), platform::QuickPreview::Kind::Image);
    project->selectFiles({entry(at("figure.png")), entry(at("notes.md"))});
    EXPECT_EQ(project->preview()->kind(), platform::QuickPreview::Kind::Nothing);

    project->revealFiles({entry(at("notes.md")), entry(at("chapter/one.md"))});
    ASSERT_EQ(revealed.size(), 1);
    EXPECT_EQ(revealed.first(), QStringList({QUrl::fromLocalFile(at("notes.md")).toString(QUrl::FullyEncoded),
                                              QUrl::fromLocalFile(at("chapter/one.md")).toString(QUrl::FullyEncoded)}));
}

// A file named on a Latin-1 machine ("caf\xe9.md", not UTF-8) is a file like
// any other: previewed, opened, saved under its own name, shown and trashed.
TEST_F(ProjectWindows, AFileWhoseNameIsNotUtf8IsPreviewedOpenedSavedShownAndTrashed) {
    const QByteArray onDisk = QFile::encodeName(folder.path()) + "/caf\xe9.md";
    {
        const int descriptor = ::open(onDisk.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(descriptor, 0);
        ASSERT_EQ(::write(descriptor, "# Caf\n", 6), 6);
        ::close(descriptor);
    }
    const auto namesOnDisk = [&] {
        QList<QByteArray> names;
        for (const platform::FolderEntry &entry : [&] {
                 std::vector<platform::FolderEntry> entries;
                 platform::visibleEntries(QFile::encodeName(folder.path()), entries);
                 return entries;
             }())
            names.append(entry.name);
        return names;
    };
    const QList<QByteArray> before = namesOnDisk();
    ProjectWindowController *project = openProject(folder.path());
    QString path;
    for (const platform::FileEntry &file : project->folderContents()->fileHierarchy())
        if (platform::nativePath(file.path) == onDisk)
            path = file.path;
    ASSERT_FALSE(path.isEmpty()) << "listed by a path that names it";

    project->selectFiles({entry(path)});
    EXPECT_EQ(project->preview()->kind(), platform::QuickPreview::Kind::Text);
    EXPECT_EQ(project->preview()->textView()->toPlainText(), "# Caf\n");

    project->openFiles({entry(path)});
    ASSERT_EQ(controller.documents().size(), 1) << alerts.shown().value(0).informativeText.toStdString();
    auto *document = qobject_cast<SmartEditorDocument *>(controller.documents().first());
    ASSERT_TRUE(document);
    EXPECT_EQ(platform::nativePath(document->filePath()), onDisk);
    EXPECT_EQ(document->displayName(), QString::fromUtf8("caf\xef\xbf\xbd.md"));
    documents_test::DocumentFixture::type(document, "More.\n");
    ASSERT_TRUE(document->saveDocument());
    EXPECT_EQ(namesOnDisk(), before) << "saved in place, no file of another name";
    QFile saved;
    ASSERT_TRUE(platform::openFile(saved, path, QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "# Caf\nMore.\n");
    saved.close();
    document->close();
    EXPECT_EQ(alerts.count(), 0);

    project->revealFiles({entry(path)});
    ASSERT_EQ(revealed.size(), 1);
    EXPECT_EQ(revealed.first(),
              QStringList({QUrl::fromLocalFile(folder.path()).toString(QUrl::FullyEncoded) + "/caf%E9.md"}));

    alerts.addAnswers({0});  // OK
    project->deleteFiles({entry(path)});
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown().first().informativeText,
              QStringLiteral("Are you certain you wish to delete the file \"%1\"?  It will be moved to the trash.")
                  .arg(platform::displayablePath(path)));
    struct stat info;
    EXPECT_NE(::lstat(onDisk.constData(), &info), 0);
    const QByteArray trashed = QFile::encodeName(platform::Trash::homeTrash()) + "/files/caf\xe9.md";
    EXPECT_EQ(::lstat(trashed.constData(), &info), 0);
    // Its info file says where it was by the bytes, to be put back there.
    QFile infoFile;
    ASSERT_TRUE(platform::openFile(infoFile,
                                   platform::pathFromNative(QFile::encodeName(platform::Trash::homeTrash()) +
                                                            "/info/caf\xe9.md.trashinfo"),
                                   QIODevice::ReadOnly));
    EXPECT_TRUE(infoFile.readAll().contains("/caf%E9.md\n"));
}

TEST_F(ProjectWindows, DeletingAsksForEachFileMovesItToTheTrashAndGoesOnAfterAFailure) {
    ProjectWindowController *project = openProject(folder.path());
    write(QStringLiteral("gone.md"));
    const QList<SidebarRow> files{entry(at("notes.md")), entry(at("chapter/one.md")), entry(at("gone.md")),
                                  entry(at("chapter/two.md"))};
    ASSERT_TRUE(QFile::remove(at("gone.md")));  // behind the list's back
    alerts.addAnswers({0, 1, 0, 0});             // OK, Cancel, OK, OK
    project->deleteFiles(files);

    const QList<platform::Alert> shown = alerts.shown();
    ASSERT_EQ(shown.size(), 5);
    const platform::Alert &first = shown.at(0);
    EXPECT_EQ(first.messageText, QStringLiteral("Warning"));
    EXPECT_EQ(first.informativeText,
              QStringLiteral("Are you certain you wish to delete the file \"%1\"?  It will be moved to the trash.")
                  .arg(at("notes.md")));
    EXPECT_EQ(first.buttons, QStringList({"OK", "Cancel"}));
    EXPECT_EQ(first.style, platform::AlertStyle::Critical);
    // The file that went asks, fails, and the loop goes on with the next.
    EXPECT_EQ(shown.at(3).messageText, QStringLiteral("Error"));
    EXPECT_EQ(shown.at(3).informativeText, QStringLiteral("There was an error deleting the selected file."));
    EXPECT_TRUE(shown.at(4).informativeText.contains(at("chapter/two.md")));

    EXPECT_FALSE(QFileInfo::exists(at("notes.md")));
    EXPECT_TRUE(QFileInfo::exists(platform::Trash::homeTrash() + QStringLiteral("/files/notes.md")));
    EXPECT_TRUE(QFileInfo::exists(at("chapter/one.md")));  // cancelled
    EXPECT_FALSE(QFileInfo::exists(at("chapter/two.md")));

    // A folder is named as one, with all it holds.
    alerts.addAnswers({1});
    project->deleteFiles({entry(at("chapter"))});
    EXPECT_EQ(alerts.shown().last().informativeText,
              QStringLiteral("Are you certain you wish to delete the folder \"%1\" and everything in it?  "
                             "It will be moved to the trash.")
                  .arg(at("chapter")));
    EXPECT_TRUE(QFileInfo::exists(at("chapter")));
}

TEST_F(ProjectWindows, FrameSideWidthAndThemeAreKeptForTheFolder) {
    platform::Defaults &prefs = platform::Defaults::standard();
    const QString frameKey = platform::WindowController::frameKey(folder.path());
    ProjectWindowController *project = openProject(folder.path());
    project->paneView()->setFixedTarget(260);
    EXPECT_FLOAT_EQ(prefs.floatForKey(QStringLiteral("projectFileWidth")), 260.0f);

    // (A frame within the test screen's 800 x 600: one partly off it would
    // come back moved onto it.)
    project->window()->setGeometry(30, 40, 700, 500);
    testing_qt::spinFor(std::chrono::milliseconds(20));
    prefs.removeObject(frameKey);
    project->close();
    EXPECT_FALSE(project->window()->isVisible());
    EXPECT_EQ(platform::WindowController::frameFromString(prefs.stringForKey(frameKey)),
              std::optional<QRect>(QRect(30, 40, 700, 500)));
    // Closed, the project no longer follows its folder.
    EXPECT_EQ(project->folderContents(), nullptr);

    // Reopened: the frame and side width come back; in full screen, closing keeps no frame.
    ProjectWindowController *again = openProject(folder.path());
    EXPECT_EQ(again->window()->geometry(), QRect(30, 40, 700, 500));
    EXPECT_DOUBLE_EQ(again->paneView()->fixedTarget(), 260.0);
    again->window()->showFullScreen();
    testing_qt::spinUntil([&] { return again->isFullScreen(); }, std::chrono::milliseconds(500));
    prefs.removeObject(frameKey);
    again->window()->close();  // as the user closes it
    EXPECT_FALSE(prefs.hasStoredValue(frameKey));
    EXPECT_EQ(again->folderContents(), nullptr);

    // The project's theme: kept by folder unless it is the default.
    const QString themeKey = platform::Defaults::keyForPath(u"Theme %@", folder.path());
    const QString standard = prefs.stringForKey(QStringLiteral("defaultTheme"));
    again->applyThemeNamed(QStringLiteral("Paper"));
    EXPECT_EQ(prefs.stringForKey(themeKey), QStringLiteral("Paper"));
    EXPECT_EQ(openProject(folder.path())->activeTheme(), QStringLiteral("Paper"));
    again->applyThemeNamed(standard);
    EXPECT_FALSE(prefs.hasStoredValue(themeKey));

    // The theme menu reaches the project window from its list, and ticks its theme.
    ProjectWindowController *last = controller.openProjects().back().get();
    QAction item(QStringLiteral("Solar"));
    item.setCheckable(true);
    platform::Responder *target =
        platform::ActionRouter::targetForAction(QStringLiteral("selectTheme:"), last->fileTable()->tableView());
    ASSERT_NE(target, nullptr);
    target->performAction(QStringLiteral("selectTheme:"), &item);
    EXPECT_EQ(last->activeTheme(), QStringLiteral("Solar"));
    target->validateAction(QStringLiteral("selectTheme:"), &item);
    EXPECT_TRUE(item.isChecked());
}

TEST_F(ProjectWindows, TheSidePaneTakesTheColourOfThePlainLook) {
    platform::Defaults::standard().setInteger(2, "appearanceTheme");
    ProjectWindowController *project = openProject(folder.path());
    project->applyThemeNamed(QStringLiteral("Paper"));
    EXPECT_EQ(project->paneView()->backgroundColor(), QColor(237, 237, 237));
    platform::Defaults::standard().setInteger(0, "appearanceTheme");
    project->applyAppearanceToAssistant(project->fileTable());
    EXPECT_EQ(project->paneView()->backgroundColor().alpha(), 0);
    platform::Defaults::standard().setInteger(3, "appearanceTheme");
    project->applyAppearanceToAssistant(project->fileTable());
    EXPECT_EQ(project->paneView()->backgroundColor().alpha(), 0);  // left as it was
}

TEST_F(ProjectWindows, PictureOfAProjectWindowPreviewingItsNotes) {
    platform::Defaults::standard().setInteger(2, "appearanceTheme");
    write(QStringLiteral("notes.md"), "# Notes\n\nThe project's notes, shown as text beside the list.\n");
    ProjectWindowController *project = openProject(folder.path());
    project->window()->resize(760, 420);
    project->applyThemeNamed(QStringLiteral("Paper"));
    TZRFileNavigatorMac *list = project->fileTable();
    list->tableView()->expandAll();
    const QModelIndex notes = [&] {
        for (QModelIndex index = list->tableView()->model()->index(0, 0); index.isValid();
             index = list->tableView()->indexBelow(index))
            if (list->treeModel()->rowAt(index).value("label") == QStringLiteral("notes.md"))
                return index;
        return QModelIndex();
    }();
    ASSERT_TRUE(notes.isValid());
    list->setSelectionIndexPath(list->treeModel()->pathForIndex(notes));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return project->preview()->previewItem() == at("notes.md"); },
                                      std::chrono::milliseconds(500)));
    testing_qt::spinFor(std::chrono::milliseconds(30));
    const QImage image = project->window()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    image.save(QStringLiteral(ORVANE_ARTIFACT_DIR "/project-window.png"));

    // The list on the left, the notes' text on the right.
    auto dark = [&](QRect area) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); y++)
            for (int x = area.left(); x <= area.right(); x++)
                n += qGray(image.pixel(x, y)) < 110;
        return n;
    };
    const QRect side(list->mapTo(project->window(), QPoint(0, 0)), list->size());
    const QRect text(project->preview()->mapTo(project->window(), QPoint(0, 0)), project->preview()->size());
    EXPECT_LT(side.right(), text.left());
    EXPECT_EQ(side.width(), 200);  // the registered width
    EXPECT_GT(dark(side), 200);
    EXPECT_GT(dark(text), 300);

    // The picture, at its own size in the middle of the preview.
    project->selectFiles({entry(at("figure.png"))});
    testing_qt::spinFor(std::chrono::milliseconds(30));
    const QImage withPicture = project->window()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    withPicture.save(QStringLiteral(ORVANE_ARTIFACT_DIR "/project-window-picture.png"));
    EXPECT_EQ(withPicture.pixelColor(text.center()), QColor(Qt::darkCyan));
    EXPECT_NE(withPicture.pixelColor(text.center() + QPoint(40, 0)), QColor(Qt::darkCyan));
}

}  // namespace
