// Folder permissions: bookmarks kept under their folder's key, access found by
// walking up to a bookmarked parent, the panel that asks for more (from a
// background caller too), the common folder of two paths, and the platform's
// path rules.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <atomic>

#include "platform/runtime/dispatch.h"
#include "platform/files/folder_picker.h"
#include "platform/files/folders.h"
#include "platform/files/kvx_sandbox_permission_manager.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/files/sandbox.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using Manager = KVXSandboxPermissionManager;
using platform::ScriptedFolderPicker;

namespace {

class Permissions : public ::testing::Test {
protected:
    platform::ScopedStandardDefaults scoped;
    QTemporaryDir root;
    QString folder(const QString &relative) const {
        QDir().mkpath(root.filePath(relative));
        return root.filePath(relative);
    }
    QStringList bookmarkKeys() {
        QStringList keys = scoped.defaults().storedKeys();
        keys.removeIf([](const QString &k) { return !k.startsWith("access folder - "); });
        keys.sort();
        return keys;
    }
};

}  // namespace

TEST_F(Permissions, ABookmarkedFolderGrantsEverythingBelowItAndNothingAbove) {
    EXPECT_FALSE(Manager::isSandboxed());  // unless told
    const QString docs = folder("a/Docs");
    folder("a/Docs/Sub/Deeper");
    Manager::saveSecurityBookmarkForURL(docs, true);
    EXPECT_EQ(bookmarkKeys(), QStringList{"access folder - " + docs});
    EXPECT_TRUE(Manager::loadSecurityBookmarkForFolder(docs + "/Sub/Deeper"));
    EXPECT_TRUE(Manager::loadBookmarkHelper(docs + "/Sub/../"));  // looked up standardised
    EXPECT_FALSE(Manager::loadBookmarkHelper(docs + "/Sub"));
    EXPECT_FALSE(Manager::loadSecurityBookmarkForFolder(root.filePath("a")));
    EXPECT_FALSE(Manager::loadSecurityBookmarkForFolder("/"));  // the walk ends at the root
    // A bookmark whose folder has gone gives no access; the walk goes on.
    const QString gone = folder("a/Docs/Gone");
    Manager::saveSecurityBookmarkForURL(gone, false);
    QDir(gone).removeRecursively();
    EXPECT_FALSE(Manager::loadBookmarkHelper(gone));
    EXPECT_TRUE(Manager::loadSecurityBookmarkForFolder(gone));
    // No bookmark of a folder that does not exist.
    Manager::saveSecurityBookmarkForURL(gone, false);
    EXPECT_EQ(bookmarkKeys(), QStringList{"access folder - " + docs});
}

TEST_F(Permissions, ThePanelIsAskedOnlyWithoutABookmarkAndWhatItChoosesIsStored) {
    const QString asked = folder("x/Asked"), one = folder("x/One"), two = folder("x/Two");
    const QString format = "Access to \"%@\", please.";
    {
        ScriptedFolderPicker picker({std::nullopt});
        EXPECT_FALSE(Manager::getPermissionForFolder(asked, format, true));
        ASSERT_EQ(picker.requests().size(), 1);
        EXPECT_EQ(picker.requests()[0].startFolder, asked);
        EXPECT_EQ(picker.requests()[0].message, "Access to \"" + asked + "\", please.");
        EXPECT_TRUE(bookmarkKeys().isEmpty());
    }
    {
        ScriptedFolderPicker picker({QStringList{one, two}});
        EXPECT_TRUE(Manager::getPermissionForFolder(asked, format, true));
        EXPECT_EQ(bookmarkKeys(), (QStringList{"access folder - " + one, "access folder - " + two}));
        EXPECT_TRUE(Manager::getPermissionForFolder(one + "/below", format, true));  // covered: no panel
        EXPECT_EQ(picker.requests().size(), 1);
    }
    // A caller on another thread waits while the panel runs on the main one.
    std::atomic<bool> onMain{false};
    std::atomic<int> answer{-1};
    auto previous = platform::FolderPicker::setHandler([&](const platform::FolderRequest &) {
        onMain = platform::Dispatch::isMainThread();
        return std::optional<QStringList>(QStringList{asked});
    });
    platform::Dispatch::background([&] { answer = Manager::getPermissionForFolder(asked, format, false); });
    ASSERT_TRUE(testing_qt::spinUntil([&] { return answer >= 0; }));
    platform::FolderPicker::setHandler(previous);
    EXPECT_EQ(answer, 1);
    EXPECT_TRUE(onMain);

    Manager::clearExistingSecurityBookmarks();
    EXPECT_TRUE(bookmarkKeys().isEmpty());
}

TEST(PathRules, CommonFoldersAreCharacterPrefixesAndPathsAreStandardised) {
    EXPECT_EQ(Manager::parentFolderOfPath("/x/abc", "/x/abd/f.md"), "/x/ab");
    EXPECT_EQ(Manager::parentFolderOfPath(QString(), "/x/y/f.md"), "/x/y");
    EXPECT_EQ(Manager::parentFolderOfPath("/x/y/f.md", QString()), "/x/y");
    EXPECT_TRUE(Manager::parentFolderOfPath(QString(), QString()).isNull());
    EXPECT_EQ(Manager::parentFolderOfPath("/x/y", "/x/y"), "/x/y");
    EXPECT_EQ(Manager::parentFolderOfPath("/x", "/y/z"), "/");
    EXPECT_EQ(platform::standardizedPath("~/a/./b/../c/"), QDir::homePath() + "/a/c");
    EXPECT_EQ(platform::standardizedPath("/a//b/"), "/a/b");
    EXPECT_EQ(platform::deletingLastPathComponent("/a/b/"), "/a");
    EXPECT_EQ(platform::deletingLastPathComponent("/a"), "/");
    EXPECT_EQ(platform::deletingLastPathComponent("/"), "/");
    EXPECT_EQ(platform::deletingLastPathComponent("name"), "");
}
