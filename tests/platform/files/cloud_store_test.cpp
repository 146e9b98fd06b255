// The folder-backed key-value store: values that persist and reach other
// stores over the same folder, the keys each change announces (the first
// synchronisation all of them, later only what others changed), file names
// for any key, and a folder that cannot be written.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/files/cloud_store.h"
#include "support/log_capture.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using platform::CloudStore;

namespace {

// Every key announced so far, in order.
struct Heard {
    QStringList keys;
    explicit Heard(CloudStore &store) {
        QObject::connect(&store, &CloudStore::didChangeExternally,
                         [this](const QStringList &changed) { keys += changed; });
    }
};

QVariantMap extra(const QString &name, const QString &body, bool deleted = false) {
    return {{"filename", name}, {"body", body}, {"deleted", deleted}};
}

}  // namespace

TEST(CloudStore, ValuesPersistAndKeysOfAnyShapeGetFilesOfTheirOwn) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("store/nested");
    {
        CloudStore store(folder);
        EXPECT_TRUE(store.isUsable());
        EXPECT_TRUE(store.setObject(extra("Dark.theme", "{ }"), "123"));
        EXPECT_TRUE(store.setObject(QStringLiteral("slash"), "a/b"));
        EXPECT_TRUE(store.setObject(QStringLiteral("dot"), ".hidden"));
        EXPECT_TRUE(store.setObject(42, QStringLiteral("ü")));
        EXPECT_FALSE(store.setObject(QStringLiteral("x"), QString()));
        EXPECT_EQ(store.dictionaryForKey("123"), extra("Dark.theme", "{ }"));
        EXPECT_TRUE(store.dictionaryForKey("a/b").isEmpty());  // not a map
    }
    // Only files of keys, none hidden, none in subfolders.
    const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(files.size(), 4) << files.join(", ").toStdString();
    for (const QString &file : files)
        EXPECT_FALSE(file.startsWith(u'.') || file.contains(u'/')) << file.toStdString();
    EXPECT_EQ(CloudStore::keyForFileName(CloudStore::fileNameForKey("a/b")), "a/b");
    EXPECT_EQ(CloudStore::keyForFileName(CloudStore::fileNameForKey(".hidden")), ".hidden");
    EXPECT_TRUE(CloudStore::keyForFileName("notes.txt").isEmpty());
    EXPECT_TRUE(CloudStore::keyForFileName(".json").isEmpty());
    EXPECT_TRUE(CloudStore::keyForFileName("a%2fb.json").isEmpty());  // not as this store writes it

    // Another store over the folder reads them back; junk beside them is
    // no key.
    QFile junk(folder + "/junk.json");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not json");
    junk.close();
    CloudStore again(folder);
    QVariantMap all = again.dictionaryRepresentation();
    EXPECT_EQ(all.keys(), QStringList({".hidden", "123", "a/b", "ü"}));
    EXPECT_EQ(all.value("ü").toInt(), 42);
    EXPECT_EQ(all.value("123").toMap().value("deleted").typeId(), QMetaType::Bool);
    EXPECT_TRUE(again.removeObjectForKey("a/b"));
    EXPECT_FALSE(CloudStore(folder).objectForKey("a/b").isValid());
}

TEST(CloudStore, OthersChangesAreAnnouncedAndOwnWritesAreNot) {
    QTemporaryDir dir;
    CloudStore a(dir.path());
    ASSERT_TRUE(a.setObject(extra("One.css", "1"), "1"));
    CloudStore b(dir.path());
    Heard heardA(a), heardB(b);

    // The first synchronisation announces everything there is; the next,
    // nothing new.
    b.synchronize();
    EXPECT_EQ(heardB.keys, QStringList({"1"}));
    b.synchronize();
    EXPECT_EQ(heardB.keys, QStringList({"1"}));

    // A change by one store reaches the other through the folder's watcher.
    ASSERT_TRUE(a.setObject(extra("One.css", "changed"), "1"));
    ASSERT_TRUE(a.setObject(extra("Two.css", "2"), "2"));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return heardB.keys.size() >= 3; }));
    EXPECT_EQ(heardB.keys.mid(1), QStringList({"1", "2"}));
    EXPECT_EQ(b.dictionaryForKey("1").value("body"), "changed");
    EXPECT_TRUE(b.removeObjectForKey("2"));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return heardA.keys.contains("2"); }));
    EXPECT_FALSE(a.objectForKey("2").isValid());
    // Nobody hears their own writes.
    testing_qt::spinFor(std::chrono::milliseconds(100));
    EXPECT_FALSE(heardA.keys.contains("1"));
    EXPECT_EQ(heardB.keys.count("2"), 1);

    // A file another tool is still writing is not taken until it reads.
    QFile partial(dir.filePath(CloudStore::fileNameForKey("1")));
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
    partial.write("{\"value\": {\"filename\": \"One.c");
    partial.close();
    b.synchronize();
    EXPECT_EQ(b.dictionaryForKey("1").value("body"), "changed");
}

TEST(CloudStore, AFolderThatCannotBeWrittenRefusesWithAReason) {
    QTemporaryDir dir;
    QFile inTheWay(dir.filePath("store"));
    ASSERT_TRUE(inTheWay.open(QIODevice::WriteOnly));
    inTheWay.close();
    testing_qt::LogCapture log;
    CloudStore store(dir.filePath("store"));
    EXPECT_FALSE(store.isUsable());
    EXPECT_FALSE(store.setObject(extra("a.css", "x"), "1"));
    EXPECT_FALSE(store.objectForKey("1").isValid());
    EXPECT_GE(log.count("cannot write \"1\""), 1);
    store.synchronize();
    EXPECT_TRUE(store.dictionaryRepresentation().isEmpty());
}
