// The trash as desktops share it (items renamed into "files/", each with its
// ".trashinfo" in "info/"), the trash at the top of another file system, and
// showing files in the file manager through its bus service or, without
// one, by opening their folders.
#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/file_manager.h"
#include "platform/files/folders.h"
#include "platform/files/trash.h"
#include "support/qt_print.h"

using platform::FileManager;
using platform::Trash;

namespace {

void write(const QString &path, const QByteArray &bytes = "text\n") {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray read(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class TrashTest : public ::testing::Test {
protected:
    platform::ScopedFolders folders;  // the home trash goes below it
    QTemporaryDir work;
    QString trash = Trash::homeTrash();

    QString at(const QString &relative) const { return work.filePath(relative); }
    QString infoOf(const QString &name) const { return trash + "/info/" + name + ".trashinfo"; }
};

TEST_F(TrashTest, AnItemGoesIntoFilesWithAnInfoFileThatSaysWhereItWas) {
    const QString path = at(QStringLiteral("notes 100% café.md"));
    write(path, "mine\n");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QString trashed, error;
    ASSERT_TRUE(Trash::moveToTrash(path, &trashed, &error)) << qPrintable(error);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(trashed, trash + QStringLiteral("/files/notes 100% café.md"));
    EXPECT_EQ(read(trashed), "mine\n");

    const QList<QByteArray> lines = read(infoOf(QStringLiteral("notes 100% café.md"))).split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "[Trash Info]");
    EXPECT_EQ(lines[1], "Path=" + QUrl::toPercentEncoding(path, "/"));
    EXPECT_TRUE(lines[1].contains("notes%20100%25%20caf%C3%A9.md")) << lines[1].constData();
    ASSERT_TRUE(lines[2].startsWith("DeletionDate="));
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(lines[2].mid(13)), Qt::ISODate);
    EXPECT_TRUE(when >= before && when <= QDateTime::currentDateTime()) << lines[2].constData();
    EXPECT_EQ(lines[3], "");
    // The trash is the user's own.
    EXPECT_EQ(QFileInfo(trash).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
}

TEST_F(TrashTest, NamesTakenInTheTrashAreNeverReplaced) {
    for (int i = 0; i < 3; i++) {
        write(at(QStringLiteral("old.md")), QByteArray::number(i));
        ASSERT_TRUE(Trash::moveToTrash(at(QStringLiteral("old.md"))));
    }
    EXPECT_EQ(read(trash + "/files/old.md"), "0");
    EXPECT_EQ(read(trash + "/files/old.2.md"), "1");
    EXPECT_EQ(read(trash + "/files/old.3.md"), "2");
    EXPECT_TRUE(QFileInfo::exists(infoOf(QStringLiteral("old.3.md"))));

    // A name held by an info file alone, or by a file alone, is taken too.
    write(trash + "/info/README.trashinfo", "stale");
    write(trash + "/files/README.2", "stray");
    write(at(QStringLiteral("README")), "new");
    QString trashed;
    ASSERT_TRUE(Trash::moveToTrash(at(QStringLiteral("README")), &trashed));
    EXPECT_EQ(trashed, trash + "/files/README.3");
    EXPECT_EQ(read(trash + "/info/README.trashinfo"), "stale");
    EXPECT_EQ(read(trash + "/files/README.2"), "stray");
    EXPECT_FALSE(QFileInfo::exists(infoOf(QStringLiteral("README.2"))));
    EXPECT_EQ(read(trashed), "new");
}

TEST_F(TrashTest, FoldersGoWholeAndLinksGoThemselves) {
    write(at(QStringLiteral("project/a/b.md")));
    write(at(QStringLiteral("target.md")), "kept");
    ASSERT_TRUE(QFile::link(at(QStringLiteral("target.md")), at(QStringLiteral("project/link.md"))));
    ASSERT_TRUE(QFile::link(at(QStringLiteral("project")), at(QStringLiteral("via"))));

    // Through a link to its folder: the item itself moves, and the info file
    // names it by the resolved path.
    ASSERT_TRUE(Trash::moveToTrash(at(QStringLiteral("via/link.md/"))));
    EXPECT_TRUE(QFileInfo(trash + "/files/link.md").isSymLink());
    EXPECT_EQ(read(at(QStringLiteral("target.md"))), "kept");
    EXPECT_EQ(read(infoOf(QStringLiteral("link.md"))).split('\n').value(1),
              "Path=" + QUrl::toPercentEncoding(at(QStringLiteral("project/link.md")), "/"));

    ASSERT_TRUE(Trash::moveToTrash(at(QStringLiteral("project"))));
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("project"))));
    EXPECT_TRUE(QFileInfo::exists(trash + "/files/project/a/b.md"));
}

TEST_F(TrashTest, NothingMovesForAPathThatNamesNoItem) {
    QString error;
    for (const QString &path : {at(QStringLiteral("missing.md")), QStringLiteral("relative.md"), QString(),
                                at(QStringLiteral("..")), at(QStringLiteral("no/such/folder/x"))}) {
        error.clear();
        EXPECT_FALSE(Trash::moveToTrash(path, nullptr, &error)) << qPrintable(path);
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(trash + "/info")) << "no info file is left behind";
}

TEST_F(TrashTest, ATrashAtTheTopOfAFileSystemIsTheSharedOneOnlyWhenItIsSticky) {
    const QString uid = QString::number(getuid());
    // Without a shared ".Trash": the user's own ".Trash-UID", made private.
    EXPECT_EQ(Trash::topTrash(work.path()), work.filePath(".Trash-" + uid));
    EXPECT_EQ(QFileInfo(work.filePath(".Trash-" + uid)).permissions() & QFile::ReadOther, QFile::Permissions());

    // A shared ".Trash" without the sticky bit, or a link to a sticky one,
    // is not trusted.
    QTemporaryDir plain, linked, sticky;
    ASSERT_TRUE(QDir(plain.path()).mkdir(QStringLiteral(".Trash")));
    EXPECT_EQ(Trash::topTrash(plain.path()), plain.filePath(".Trash-" + uid));

    const QString shared = sticky.filePath(QStringLiteral(".Trash"));
    ASSERT_TRUE(QDir().mkdir(shared));
    ASSERT_EQ(chmod(QFile::encodeName(shared).constData(), 01777), 0);
    ASSERT_TRUE(QFile::link(shared, linked.filePath(QStringLiteral(".Trash"))));
    EXPECT_EQ(Trash::topTrash(linked.path()), linked.filePath(".Trash-" + uid));
    EXPECT_EQ(Trash::topTrash(sticky.path()), shared + "/" + uid);

    // A file where the user's trash would be: no trash.
    QTemporaryDir blocked;
    write(blocked.filePath(".Trash-" + uid));
    EXPECT_EQ(Trash::topTrash(blocked.path()), QString());

    // Items in a top trash are named relative to the top.
    EXPECT_EQ(Trash::trashInfo(QStringLiteral("notes/a b.md"), QDateTime(QDate(2024, 2, 29), QTime(23, 5, 7))),
              "[Trash Info]\nPath=notes/a%20b.md\nDeletionDate=2024-02-29T23:05:07\n");
}

// --- Showing files ----------------------------------------------------------------------------------

class FileManagerTest : public ::testing::Test {
protected:
    QTemporaryDir work;
    QList<QDBusMessage> calls;
    QStringList opened;
    bool serviceAnswers = true;

    void SetUp() override {
        FileManager::setHooksForTesting({
            [this](const QDBusMessage &message) {
                calls.append(message);
                return serviceAnswers;
            },
            [this](const QString &folder) {
                opened.append(folder);
                return true;
            },
        });
        write(work.filePath(QStringLiteral("a b.md")));
        write(work.filePath(QStringLiteral("sub/c.md")));
        write(work.filePath(QStringLiteral("sub/d.md")));
    }
    void TearDown() override { FileManager::setHooksForTesting({}); }
};

TEST_F(FileManagerTest, TheServiceShowsTheItemsSelected) {
    const QStringList paths{work.filePath(QStringLiteral("a b.md")), work.filePath(QStringLiteral("sub/c.md"))};
    ASSERT_TRUE(FileManager::revealFiles(paths));
    ASSERT_EQ(calls.size(), 1);
    const QDBusMessage &call = calls.first();
    EXPECT_EQ(call.service(), QStringLiteral("org.freedesktop.FileManager1"));
    EXPECT_EQ(call.path(), QStringLiteral("/org/freedesktop/FileManager1"));
    EXPECT_EQ(call.interface(), QStringLiteral("org.freedesktop.FileManager1"));
    EXPECT_EQ(call.member(), QStringLiteral("ShowItems"));
    ASSERT_EQ(call.arguments().size(), 2);
    EXPECT_EQ(call.arguments().at(0).toStringList(),
              QStringList({QUrl::fromLocalFile(paths[0]).toString(QUrl::FullyEncoded),
                           QUrl::fromLocalFile(paths[1]).toString(QUrl::FullyEncoded)}));
    EXPECT_TRUE(call.arguments().at(0).toStringList().first().endsWith(QStringLiteral("/a%20b.md")));
    EXPECT_EQ(call.arguments().at(1).toString(), QString());
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(FileManagerTest, WithoutTheServiceEachFolderOpensOnceAndMissingItemsAreLeftOut) {
    serviceAnswers = false;
    const QString gone = work.filePath(QStringLiteral("gone/x.md"));
    ASSERT_TRUE(FileManager::revealFiles({work.filePath(QStringLiteral("sub/c.md")), gone,
                                          work.filePath(QStringLiteral("a b.md")),
                                          work.filePath(QStringLiteral("sub/d.md"))}));
    EXPECT_EQ(opened, QStringList({work.filePath(QStringLiteral("sub")), work.path()}));
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls.first().arguments().at(0).toStringList().size(), 3);

    // A dangling link is an item of its own.
    ASSERT_TRUE(QFile::link(gone, work.filePath(QStringLiteral("dangling"))));
    opened.clear();
    EXPECT_TRUE(FileManager::revealFiles({work.filePath(QStringLiteral("dangling"))}));
    EXPECT_EQ(opened, QStringList({work.path()}));

    // Nothing to show: nothing is asked.
    calls.clear();
    EXPECT_FALSE(FileManager::revealFiles({gone, QStringLiteral("relative.md")}));
    EXPECT_FALSE(FileManager::revealFiles({}));
    EXPECT_TRUE(calls.isEmpty());
}

}  // namespace
