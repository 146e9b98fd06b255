// A folder's listing follows the folder: `files` is renewed when it changes,
// and only for the folder it is set to.
#include "platform/files/kvx_folder_contents.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>

#include "platform/files/folders.h"
#include "platform/prefs/registered_defaults.h"
#include "support/file_times.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using namespace std::chrono_literals;
using testing_qt::spinFor;
using testing_qt::spinUntil;

namespace {

class FolderContents : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir().mkpath(at("one/sub")));
        ASSERT_TRUE(QDir().mkpath(at("two")));
    }
    QString at(const QString &relative) const { return m_dir.path() + "/" + relative; }
    void write(const QString &relative) {
        QFile file(at(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("text");
    }
    static QStringList labels(const std::vector<platform::FileEntry> &files) {
        QStringList names;
        for (const auto &file : files)
            names << file.label;
        return names;
    }

    QTemporaryDir m_dir;
};

TEST_F(FolderContents, FilesFollowTheFolderItIsSetTo) {
    auto contents = KVXFolderContents::initForURL(QUrl::fromLocalFile(at("one")));
    EXPECT_EQ(contents->displayName(), "one");
    EXPECT_TRUE(contents->files().empty());  // nothing listed before a change
    int changes = 0;
    QObject::connect(contents.get(), &KVXFolderContents::filesChanged, [&] { changes++; });

    write("one/sub/b.md");
    write("one/A.md");
    ASSERT_TRUE(spinUntil([&] { return changes > 0; }, 30s));
    EXPECT_EQ(labels(contents->files()), QStringList({"A.md", "b.md", "sub"}));

    // Set to another folder, it follows that one alone; setting it to the
    // same folder again changes nothing.
    contents->setBaseURL(QUrl::fromLocalFile(at("two")));
    contents->setBaseURL(QUrl::fromLocalFile(at("two")));
    changes = 0;
    write("one/ignored.md");
    spinFor(std::chrono::milliseconds(KVXDirectoryWatcher::kLatencyMs + 300));
    EXPECT_EQ(changes, 0);
    write("two/c.md");
    ASSERT_TRUE(spinUntil([&] { return changes > 0; }, 30s));
    EXPECT_EQ(labels(contents->files()), QStringList({"c.md"}));
}

TEST_F(FolderContents, TreeAndSearchUseTheChosenOrder) {
    write("one/a.md");
    write("one/sub/b.md");
    ASSERT_TRUE(testing_qt::setModificationTime(at("one/a.md"), 100));
    KVXFolderContents contents("Project", QUrl::fromLocalFile(at("one")));

    EXPECT_EQ(labels(contents.fileHierarchy()), QStringList({"a.md", "sub"}));
    contents.sortByNewest();
    const auto tree = contents.fileHierarchy();
    EXPECT_EQ(labels(tree), QStringList({"sub", "a.md"}));
    EXPECT_EQ(labels(tree[0].children), QStringList({"b.md"}));

    const auto found = contents.fileHierarchyMatchingQuery("B.MD");
    ASSERT_EQ(labels(found), QStringList({"sub"}));
    EXPECT_EQ(labels(found[0].children), QStringList({"b.md"}));

}

TEST_F(FolderContents, LocalICloudAndDropboxListingsFindTheirFolders) {
    platform::ScopedFolders folders;
    platform::ScopedStandardDefaults standard;
    ASSERT_TRUE(QDir().mkpath(folders.layout().documents));
    QFile note(folders.layout().documents + "/note.md");
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));

    auto local = KVXFolderContents::initForLocal();
    EXPECT_EQ(local->displayName(), "Local");
    EXPECT_EQ(labels(local->fileHierarchy()), QStringList({"note.md"}));

    // Without a container iCloud has no folder; with one, its "Documents".
    EXPECT_TRUE(KVXFolderContents::initForICloud()->baseURL().isEmpty());
    standard.defaults().setObject(at("one"), "iCloudURL");
    ASSERT_TRUE(QDir().mkpath(at("one/Documents")));
    write("one/Documents/synced.md");
    auto cloud = KVXFolderContents::initForICloud();
    EXPECT_EQ(cloud->displayName(), "iCloud");
    EXPECT_EQ(labels(cloud->fileHierarchy()), QStringList({"synced.md"}));

    // No folder, no files.
    auto dropbox = KVXFolderContents::initForDropbox();
    EXPECT_EQ(dropbox->displayName(), "Dropbox");
    EXPECT_TRUE(dropbox->fileHierarchy().empty());
}

}  // namespace
