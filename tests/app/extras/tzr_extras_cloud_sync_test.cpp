// The sync of extras between two machines over one store folder: extras
// added, edited and deleted on one arrive on the other, deleted ones come
// back, and what the store says is never trusted further than it should be:
// unsafe names, a write that failed, files outside the user's folders.
#include "app/extras/tzr_extras_cloud_sync.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include "platform/files/cloud_store.h"
#include "platform/prefs/defaults.h"
#include "support/log_capture.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using Kind = TZRThemeController::Kind;
using Sync = TZRExtrasCloudSync;

namespace {

void write(const QString &path, const QByteArray &text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(text);
}

QByteArray read(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// One machine: its own data folders (the user's, then a shared one), its own
// preferences in memory with the switch on, and the common store folder.
struct Machine {
    QTemporaryDir root;
    TZRThemeController controller{{root.filePath("resources"), {root.filePath("user"), root.filePath("shared")}}};
    platform::Defaults defaults;
    platform::CloudStore store;
    Sync sync{controller, store, defaults};

    explicit Machine(const QString &storeFolder, bool on = true) : store(storeFolder) {
        defaults.setBool(on, "syncConfigFilesBetweenDevices");
    }
    QString user(Kind kind, const QString &name) const {
        return controller.userFolder(kind) + u'/' + name + u'.' + TZRThemeController::extensionOf(kind);
    }
    bool mark(const QString &fileName) const { return defaults.boolForKey(Sync::nameKey(fileName)); }
    QVariantMap entry(const QString &fileName) const { return store.dictionaryForKey(Sync::nameKey(fileName)); }
};

QVariantMap entry(const QString &name, const QString &body, bool deleted) {
    return {{"filename", name}, {"body", body}, {"deleted", deleted}};
}

class ExtrasSync : public testing::Test {
protected:
    QTemporaryDir m_storeFolder;
    std::unique_ptr<Machine> a_ = std::make_unique<Machine>(m_storeFolder.path());
    std::unique_ptr<Machine> b_ = std::make_unique<Machine>(m_storeFolder.path());
    Machine &a = *a_;
    Machine &b = *b_;

    void SetUp() override {
        a.sync.start();
        b.sync.start();
    }
    // Waits until `done` holds on the machines, as their stores hear the
    // folder change.
    static bool arrives(const std::function<bool()> &done) { return testing_qt::spinUntil(done); }
};

}  // namespace

TEST(ExtrasSyncNames, KeysAreStableHashesAndStoreNamesArePlainFileNames) {
    // FNV-1a over the UTF-8 bytes: the same on every machine, in every run.
    EXPECT_EQ(Sync::nameHash(""), 14695981039346656037ull);
    EXPECT_EQ(Sync::nameHash("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(Sync::nameKey("a"), "12638187200555641996");
    // One name however its accents were typed (composed or not).
    EXPECT_EQ(Sync::nameKey(QStringLiteral("Caf\u00E9.css")), Sync::nameKey(QStringLiteral("Cafe\u0301.css")));
    EXPECT_NE(Sync::nameKey("a.css"), Sync::nameKey("A.css"));

    for (const char *good : {"Solarized Dark.theme", "default.keybinding", "x.y.css", "Zoë.json"})
        EXPECT_TRUE(Sync::isSafeFileName(QString::fromUtf8(good))) << good;
    for (const char *bad : {"", ".css", ".hidden.css", "..", "../evil.css", "a/../b.css", "a..b.css",
                            "/etc/passwd.css", "sub/dir.css", "back\\slash.css", "noextension",
                            "tab\t.css"})
        EXPECT_FALSE(Sync::isSafeFileName(QString::fromUtf8(bad))) << bad;
    EXPECT_FALSE(Sync::isSafeFileName(QString(300, u'x') + ".css"));
    EXPECT_FALSE(Sync::isSafeFileName(QStringLiteral("nul\0.css")));
}

TEST_F(ExtrasSync, AddedEditedAndDeletedExtrasReachTheOtherMachine) {
    // A theme added on A arrives in B's Themes folder.
    write(a.user(Kind::Theme, "Dusk"), "{\"dusk\": 1}");
    a.sync.syncLocalToCloud();
    EXPECT_TRUE(a.mark("Dusk.theme"));
    EXPECT_EQ(a.entry("Dusk.theme"), entry("Dusk.theme", "{\"dusk\": 1}", false));
    ASSERT_TRUE(arrives([&] { return QFileInfo::exists(b.user(Kind::Theme, "Dusk")); }));
    EXPECT_EQ(read(b.user(Kind::Theme, "Dusk")), "{\"dusk\": 1}");
    EXPECT_TRUE(b.mark("Dusk.theme"));
    EXPECT_TRUE(b.controller.themeList().contains("Dusk"));
    EXPECT_FALSE(b.sync.isWriting());

    // A style sheet edited on B is written over A's copy.
    write(a.user(Kind::CSS, "Print"), "body {}");
    a.sync.syncLocalToCloud();
    ASSERT_TRUE(arrives([&] { return QFileInfo::exists(b.user(Kind::CSS, "Print")); }));
    write(b.user(Kind::CSS, "Print"), "body { margin: 0 }");
    b.sync.syncLocalToCloud();
    ASSERT_TRUE(arrives([&] { return read(a.user(Kind::CSS, "Print")) == "body { margin: 0 }"; }));
    // A's folder change, once seen, only confirms what it has.
    a.sync.syncLocalToCloud();
    EXPECT_EQ(a.entry("Print.css").value("body"), "body { margin: 0 }");

    // An expansion set deleted on A is removed from B's folder.
    write(a.user(Kind::Expansions, "Dates"), "{\"expansions\": []}");
    a.sync.syncLocalToCloud();
    ASSERT_TRUE(arrives([&] { return QFileInfo::exists(b.user(Kind::Expansions, "Dates")); }));
    ASSERT_TRUE(QFile::remove(a.user(Kind::Expansions, "Dates")));
    a.sync.syncLocalToCloud();
    EXPECT_TRUE(a.entry("Dates.json").value("deleted").toBool());
    EXPECT_FALSE(a.mark("Dates.json"));
    ASSERT_TRUE(arrives([&] { return !QFileInfo::exists(b.user(Kind::Expansions, "Dates")); }));
    EXPECT_FALSE(b.mark("Dates.json"));

    // The two machines now agree, and another pass changes nothing.
    const QVariantMap before = a.store.dictionaryRepresentation();
    a.sync.syncLocalToCloud();
    b.sync.syncLocalToCloud();
    EXPECT_EQ(a.store.dictionaryRepresentation(), before);
}

TEST_F(ExtrasSync, ADeletedEntryIsRevivedByADifferentCopyAndFollowedByAnEqualOne) {
    const QString different = a.user(Kind::Theme, "Revived"), equal = a.user(Kind::Theme, "Gone");
    write(different, "local text");
    write(equal, "same text");
    a.defaults.setBool(true, Sync::nameKey("Gone.theme"));
    ASSERT_TRUE(a.store.setObject(entry("Revived.theme", "old text", true), Sync::nameKey("Revived.theme")));
    ASSERT_TRUE(a.store.setObject(entry("Gone.theme", "same text", true), Sync::nameKey("Gone.theme")));
    a.sync.syncLocalToCloud();
    EXPECT_EQ(a.entry("Revived.theme"), entry("Revived.theme", "local text", false));
    EXPECT_TRUE(a.mark("Revived.theme"));
    EXPECT_FALSE(QFileInfo::exists(equal));
    EXPECT_FALSE(a.mark("Gone.theme"));
    EXPECT_TRUE(a.entry("Gone.theme").value("deleted").toBool());

    // An equal copy this machine never had marked is a revival too.
    write(equal, "same text");
    a.sync.syncLocalToCloud();
    EXPECT_FALSE(a.entry("Gone.theme").value("deleted").toBool());
}

TEST_F(ExtrasSync, RestoringBringsBackEveryDeletedExtra) {
    for (Kind kind : {Kind::Theme, Kind::KeyBindings}) {
        const QString name = "Old." + TZRThemeController::extensionOf(kind);
        ASSERT_TRUE(b.store.setObject(entry(name, "kept body", true), Sync::nameKey(name)));
    }
    // Present entries and local extras are left as they are.
    write(b.user(Kind::CSS, "Here"), "local");
    ASSERT_TRUE(b.store.setObject(entry("Here.css", "stored", true), Sync::nameKey("Here.css")));
    b.sync.restoreDeletedExtras();
    EXPECT_EQ(read(b.user(Kind::Theme, "Old")), "kept body");
    EXPECT_EQ(read(b.user(Kind::KeyBindings, "Old")), "kept body");
    EXPECT_FALSE(b.entry("Old.theme").value("deleted").toBool());
    EXPECT_EQ(read(b.user(Kind::CSS, "Here")), "local");
    EXPECT_TRUE(b.entry("Here.css").value("deleted").toBool());
    // Marked present by the next upload pass; the other machine gets them.
    EXPECT_FALSE(b.mark("Old.theme"));
    b.sync.syncLocalToCloud();
    EXPECT_TRUE(b.mark("Old.theme"));
    ASSERT_TRUE(arrives([&] { return QFileInfo::exists(a.user(Kind::KeyBindings, "Old")); }));
}

TEST_F(ExtrasSync, StoreEntriesOfOtherShapesAndUnsafeNamesAreIgnored) {
    testing_qt::LogCapture log;
    const QString outside = a.root.filePath("user/Tessaro Orvane 4/evil.css");
    auto put = [&](const QVariant &value, const QString &key) { ASSERT_TRUE(b.store.setObject(value, key)); };
    put(entry("notes.txt", "text", false), Sync::nameKey("notes.txt"));
    put(entry("../evil.css", "body {}", false), Sync::nameKey("../evil.css"));
    put(entry("/tmp/abs.css", "body {}", false), Sync::nameKey("/tmp/abs.css"));
    put(QVariantMap{{"filename", 7}, {"body", "x"}}, "7");
    put(QStringLiteral("not a map"), "8");
    put(QVariantMap{{"filename", "NoBody.css"}, {"deleted", false}}, Sync::nameKey("NoBody.css"));
    // A name under another name's key is no entry of either.
    put(entry("Decoy.css", "x", false), Sync::nameKey("Other.css"));
    ASSERT_TRUE(arrives([&] { return log.count("not a plain file name") >= 2; }));
    testing_qt::spinFor(std::chrono::milliseconds(100));
    EXPECT_FALSE(QFileInfo::exists(outside));
    EXPECT_FALSE(QFileInfo::exists("/tmp/abs.css") && read("/tmp/abs.css") == "body {}");
    EXPECT_TRUE(QDir(a.controller.userFolder(Kind::CSS)).entryList(QDir::Files).isEmpty());
    EXPECT_FALSE(a.sync.isWriting());

    // Nor do they take part in an upload pass.
    a.sync.syncLocalToCloud();
    EXPECT_EQ(a.store.objectForKey("8"), "not a map");

    // A key with no entry changes nothing, and later uploads still run.
    a.sync.handleCloudChange("no such key");
    EXPECT_FALSE(a.sync.isWriting());
    write(a.user(Kind::CSS, "After"), "x");
    a.sync.syncLocalToCloud();
    EXPECT_TRUE(a.mark("After.css"));
}

TEST_F(ExtrasSync, AFailedLocalWriteNeverBecomesADeletionElsewhere) {
    // Where B's Themes folder should be, a file stands: nothing can be
    // written there, even by root.
    write(b.controller.userFolder(Kind::Theme), "in the way");
    write(a.user(Kind::Theme, "Shared"), "theme");
    a.sync.syncLocalToCloud();
    testing_qt::LogCapture log;
    ASSERT_TRUE(arrives([&] { return log.count("cannot be used") >= 1; }));
    EXPECT_FALSE(b.mark("Shared.theme"));
    // B's next upload pass does not read the missing file as deleted here.
    b.sync.syncLocalToCloud();
    EXPECT_FALSE(a.entry("Shared.theme").value("deleted").toBool());
    EXPECT_EQ(read(a.user(Kind::Theme, "Shared")), "theme");
}

TEST_F(ExtrasSync, DeletionsStayInsideTheUsersFolderAndUnreadableFilesAreNotUploaded) {
    // A's copy of "Site.css" is in the shared data folder, which resolves
    // over the user's: a deletion from the store leaves it, and its mark.
    const QString sharedCopy = a.root.filePath("shared/Tessaro Orvane 4/CSS/Site.css");
    write(sharedCopy, "site");
    a.defaults.setBool(true, Sync::nameKey("Site.css"));
    ASSERT_TRUE(a.store.setObject(entry("Site.css", "site", true), Sync::nameKey("Site.css")));
    a.sync.syncLocalToCloud();
    EXPECT_EQ(read(sharedCopy), "site");
    EXPECT_TRUE(a.mark("Site.css"));
    EXPECT_TRUE(a.entry("Site.css").value("deleted").toBool());

    // A file that cannot be read (even by root) is neither uploaded with an
    // empty body nor taken for deleted.
    ASSERT_TRUE(QDir().mkpath(a.controller.userFolder(Kind::CSS)));
    ASSERT_TRUE(QFile::link("/proc/self/mem", a.user(Kind::CSS, "Unreadable")));
    ASSERT_TRUE(a.store.setObject(entry("Unreadable.css", "real text", false), Sync::nameKey("Unreadable.css")));
    a.defaults.setBool(true, Sync::nameKey("Unreadable.css"));
    a.sync.syncLocalToCloud();
    EXPECT_EQ(a.entry("Unreadable.css"), entry("Unreadable.css", "real text", false));
}

TEST(ExtrasSyncSwitch, OffNothingMovesAndTurningItOnTakesInTheStore) {
    QTemporaryDir storeFolder;
    Machine a(storeFolder.path()), b(storeFolder.path(), false);
    a.sync.start();
    b.sync.start();
    write(a.user(Kind::Theme, "Early"), "early");
    a.sync.syncLocalToCloud();
    write(b.user(Kind::CSS, "Mine"), "mine");
    b.sync.syncLocalToCloud();
    testing_qt::spinFor(std::chrono::milliseconds(150));
    EXPECT_FALSE(QFileInfo::exists(b.user(Kind::Theme, "Early")));
    EXPECT_TRUE(a.entry("Mine.css").isEmpty());
    EXPECT_FALSE(b.mark("Mine.css"));

    b.defaults.setBool(true, "syncConfigFilesBetweenDevices");
    EXPECT_EQ(read(b.user(Kind::Theme, "Early")), "early");
    EXPECT_TRUE(b.mark("Early.theme"));
    EXPECT_EQ(b.entry("Mine.css").value("body"), "mine");
}

TEST(ExtrasSyncStart, ANewMachineTakesInWhatTheStoreHolds) {
    QTemporaryDir storeFolder;
    auto a = std::make_unique<Machine>(storeFolder.path());
    a->sync.start();
    write(a->user(Kind::KeyBindings, "default"), "[]");
    a->sync.syncLocalToCloud();
    // A machine that starts later hears every entry at its first
    // synchronisation.
    Machine late(storeFolder.path());
    late.sync.start();
    EXPECT_EQ(read(late.user(Kind::KeyBindings, "default")), "[]");
    EXPECT_TRUE(late.mark("default.keybinding"));
}
