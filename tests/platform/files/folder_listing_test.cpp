// Folder listings: what is listed, in which order, how the tree hangs and
// what a search keeps; names that are not UTF-8 kept to the byte.
#include "platform/files/folder_listing.h"
#include "platform/files/native_path.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <fcntl.h>
#include <unistd.h>

#include "support/file_times.h"
#include "support/temporary_tree.h"

using platform::FileEntry;
using platform::FileSort;

namespace {

class FolderListing : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override { testing_qt::removeTreeByBytes(root()); }

    QString root() const { return m_dir.path(); }
    QString at(const QString &relative) const { return root() + "/" + relative; }

    void write(const QString &relative, const QByteArray &text = "text") {
        QDir().mkpath(QFileInfo(at(relative)).path());
        QFile file(at(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    void mkdir(const QString &relative) { ASSERT_TRUE(QDir().mkpath(at(relative))); }
    void setModified(const QString &relative, qint64 secondsSinceEpoch) {
        ASSERT_TRUE(testing_qt::setModificationTime(at(relative), secondsSinceEpoch));
    }

    static QStringList relativePaths(const std::vector<FileEntry> &files) {
        QStringList paths;
        for (const FileEntry &file : files)
            paths << file.relativePath;
        return paths;
    }
    static QStringList labels(const std::vector<FileEntry> &files) {
        QStringList names;
        for (const FileEntry &file : files)
            names << file.label;
        return names;
    }

    QTemporaryDir m_dir;
};

TEST_F(FolderListing, ListsVisibleItemsAtEveryDepthWithTheirKeys) {
    write("b.md");
    write("A.txt");
    write(".hidden");
    write(".git/config");
    write("sub/file.md", "12345");
    setModified("sub/file.md", 1700000000);

    const std::vector<FileEntry> files = platform::listFolder(root());
    // Each folder right before its contents; hidden files and what hidden
    // folders hold are not listed.
    EXPECT_EQ(relativePaths(files),
              QStringList({"/A.txt", "/b.md", "/sub", "/sub/file.md"}));

    const FileEntry &sub = files[2];
    EXPECT_EQ(sub.label, "sub");
    EXPECT_TRUE(sub.isDirectory);
    EXPECT_EQ(sub.parentPath, QFileInfo(root()).canonicalFilePath());

    const FileEntry &file = files[3];
    EXPECT_EQ(file.label, "file.md");
    EXPECT_FALSE(file.isDirectory);
    EXPECT_EQ(file.path, sub.path + "/file.md");
    EXPECT_EQ(file.parentPath, sub.path);
    EXPECT_EQ(file.modDate, QDateTime::fromSecsSinceEpoch(1700000000));
    EXPECT_TRUE(file.children.empty());

    const QVariantMap map = file.toVariantMap();
    EXPECT_EQ(map.keys(), QStringList({"isDirectory", "label", "modDate", "parentPath",
                                       "path", "relativePath"}));
    EXPECT_EQ(map.value("relativePath").toString(), "/sub/file.md");
}

TEST_F(FolderListing, SortsByDateAndByNameIgnoringCase) {
    write("b.md");
    write("C.md");
    write("a.md");
    setModified("b.md", 1000);
    setModified("C.md", 3000);
    setModified("a.md", 2000);

    EXPECT_EQ(labels(platform::listFolder(root(), FileSort::Newest)), QStringList({"C.md", "a.md", "b.md"}));
    EXPECT_EQ(labels(platform::listFolder(root(), FileSort::Oldest)), QStringList({"b.md", "a.md", "C.md"}));
    EXPECT_EQ(labels(platform::listFolder(root(), FileSort::Alphabetical)),
              QStringList({"a.md", "b.md", "C.md"}));
    EXPECT_EQ(labels(platform::listFolder(root(), FileSort::ReverseAlphabetical)),
              QStringList({"C.md", "b.md", "a.md"}));

    // Equal dates keep the listing's own order.
    setModified("C.md", 1000);
    setModified("a.md", 1000);
    EXPECT_EQ(labels(platform::listFolder(root(), FileSort::Newest)), QStringList({"C.md", "a.md", "b.md"}));
}

TEST_F(FolderListing, TreeHangsEveryEntryUnderItsParentWhateverTheOrder) {
    write("notes/2024/january.md");
    write("notes/todo.md");
    write("readme.md");
    setModified("notes/2024/january.md", 5000);  // newer than the folders holding it
    setModified("notes/todo.md", 4000);
    setModified("readme.md", 100);
    setModified("notes/2024", 300);
    setModified("notes", 200);

    // Newest first puts children before their folders.
    const std::vector<FileEntry> flat = platform::listFolder(root(), FileSort::Newest);
    ASSERT_EQ(flat.front().label, "january.md");
    const std::vector<FileEntry> tree = platform::fileHierarchy(flat);

    ASSERT_EQ(labels(tree), QStringList({"notes", "readme.md"}));
    const FileEntry &notes = tree[0];
    // Children keep the flat order: todo.md (4000) before 2024.
    ASSERT_EQ(labels(notes.children), QStringList({"todo.md", "2024"}));
    EXPECT_EQ(labels(notes.children[1].children), QStringList({"january.md"}));
    EXPECT_TRUE(notes.children[0].children.empty());
    EXPECT_FALSE(tree[1].toVariantMap().contains("children"));
    EXPECT_EQ(notes.toVariantMap().value("children").toList().size(), 2);
}

TEST_F(FolderListing, TreeOfInconsistentEntriesEnds) {
    // Entries made by hand that name each other as parents.
    FileEntry a{"a", true, {}, "/x", "/x", "/x/y", {}};
    FileEntry b{"b", true, {}, "/x/y", "/x/y", "/x", {}};
    const std::vector<FileEntry> tree = platform::fileHierarchy({a, b});
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(labels(tree[0].children), QStringList({"b"}));
}

TEST_F(FolderListing, SearchKeepsMatchesWithTheirDirectParentsOnly) {
    write("one/two/deep-note.md");
    write("one/other.md");
    write("Café/Menu.md");
    const std::vector<FileEntry> flat = platform::listFolder(root());

    // A match two levels down stands under its folder, which stands at the
    // top; the grandparent that did not match is left out.
    std::vector<FileEntry> tree = platform::fileHierarchy(platform::filesMatchingQuery(flat, "DEEP"));
    ASSERT_EQ(labels(tree), QStringList({"two"}));
    EXPECT_EQ(labels(tree[0].children), QStringList({"deep-note.md"}));

    // Case and diacritics are ignored; a folder that matches and is a parent
    // of a match counts once.
    EXPECT_EQ(relativePaths(platform::filesMatchingQuery(flat, "cafe")),
              QStringList({"/Café", "/Café/Menu.md"}));
    EXPECT_EQ(relativePaths(platform::filesMatchingQuery(flat, "two")),
              QStringList({"/one", "/one/two", "/one/two/deep-note.md"}));
    EXPECT_TRUE(platform::filesMatchingQuery(flat, "nowhere").empty());
}

TEST_F(FolderListing, SymbolicLinksAreResolvedInTheFolderAndNeverEntered) {
    write("real/doc.md");
    write("real/inner/x.md");
    ASSERT_EQ(symlink(at("real").toLocal8Bit().constData(), at("link").toLocal8Bit().constData()), 0);
    // A link back up would loop; one to nowhere has nothing to describe.
    ASSERT_EQ(symlink("..", at("real/up").toLocal8Bit().constData()), 0);
    ASSERT_EQ(symlink("missing", at("real/dangling").toLocal8Bit().constData()), 0);

    // Listed through a link: paths are the resolved ones and "relativePath"
    // is measured from the resolved folder.
    const std::vector<FileEntry> files = platform::listFolder(at("link"));
    EXPECT_EQ(relativePaths(files),
              QStringList({"/dangling", "/doc.md", "/inner", "/inner/x.md", "/up"}));
    const QString real = QFileInfo(at("real")).canonicalFilePath();
    EXPECT_EQ(files[1].path, real + "/doc.md");
    EXPECT_EQ(files[1].parentPath, real);
    EXPECT_FALSE(files[0].isDirectory);
    EXPECT_TRUE(files[4].isDirectory);  // described by its target, not entered
}

TEST_F(FolderListing, MissingFolderGivesNothing) {
    EXPECT_TRUE(platform::listFolder(at("absent")).empty());
    EXPECT_TRUE(platform::listFolder(QString()).empty());
    write("plain.md");
    EXPECT_TRUE(platform::listFolder(at("plain.md")).empty());
}

// Bytes from the disk come back as they were, whatever they are; UTF-8
// names read as Qt reads them.
TEST(NativePaths, EveryNameRoundTripsToItsBytesAndUtf8NamesReadAsQtReadsThem) {
    const QByteArray names[] = {
        "/home/ann/notes.md",
        "/home/ann/caf\xc3\xa9 \xe2\x80\x94 \xf0\x9f\x98\x80.md",  // é, a dash, an emoji
        "/home/ann/caf\xe9.md",                                         // Latin-1
        "/\xc0\x80 overlong, \xed\xa0\x80 surrogate, \xf5\x80 too high",
        "/cut short \xe2\x80",
        "/\xf0\x9f\x98\x80\xb0 a stray byte after an emoji",
        "/\x80\x81\xfe\xff",
    };
    for (const QByteArray &bytes : names) {
        const QString path = platform::pathFromNative(bytes);
        EXPECT_EQ(platform::nativePath(path), bytes) << bytes.toHex().constData();
        const bool utf8 = QString::fromUtf8(bytes).toUtf8() == bytes;
        EXPECT_EQ(platform::isNativeOnly(path), !utf8) << bytes.toHex().constData();
        if (utf8) {
            EXPECT_EQ(path, QFile::decodeName(bytes));
        }
        // Shown, the stray bytes read as replacement characters.
        EXPECT_EQ(platform::displayablePath(path), QString::fromUtf8(bytes)) << bytes.toHex().constData();
    }
    EXPECT_EQ(platform::pathFromNative("caf\xe9").size(), 4);
    // A text whose own characters look like the stand-ins is no path from
    // the disk, but keeps a pair as the pair it is.
    const QString pair = QString::fromUtf8("\xf0\x90\x8f\xbf");  // U+103FF: D800 DCFF
    EXPECT_EQ(platform::nativePath(pair), pair.toUtf8());
}

// The file of a name that is not UTF-8 is listed by a path that names it,
// which Qt's own listings leave out.
TEST_F(FolderListing, ANameThatIsNotUtf8IsListedByTheBytesThatNameIt) {
    write("plain.md");
    const QByteArray latin1 = QFile::encodeName(root()) + "/caf\xe9.md";
    {
        QFile file;
        const int descriptor = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(descriptor, 0);
        ASSERT_TRUE(file.open(descriptor, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
        file.write("caf\xc3\xa9\n");
    }
    const std::vector<FileEntry> files = platform::listFolder(root(), FileSort::Alphabetical);
    ASSERT_EQ(files.size(), 2u);
    const FileEntry &entry = files.at(0);
    EXPECT_EQ(entry.label, QString::fromUtf8("caf\xef\xbf\xbd.md"));
    EXPECT_EQ(platform::nativePath(entry.path), latin1);
    EXPECT_TRUE(platform::pathStatus(entry.path).isFile);
    EXPECT_EQ(platform::canonicalPath(entry.path), entry.path);
    QFile file;
    ASSERT_TRUE(platform::openFile(file, entry.path, QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "caf\xc3\xa9\n");
    EXPECT_FALSE(QFileInfo::exists(entry.path)) << "Qt names another file";
}

}  // namespace
