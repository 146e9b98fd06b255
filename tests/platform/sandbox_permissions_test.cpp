// Folder permissions: bookmarks kept under their folder's key, access found
// by walking up to a bookmarked parent, the panel that asks for more, the
// common folder of two paths, and path standardisation.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>

#include "platform/dispatch.h"
#include "platform/folder_picker.h"
#include "platform/folders.h"
#include "platform/kvx_sandbox_permission_manager.h"
#include "platform/registered_defaults.h"
#include "platform/sandbox.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using Manager = KVXSandboxPermissionManager;
using platform::Defaults;
using platform::ScriptedFolderPicker;

namespace {

const QString kFormat = QStringLiteral("Access to \"%@\", please.");

class Permissions : public ::testing::Test {
protected:
    platform::ScopedStandardDefaults scoped;
    QTemporaryDir root;
    QString folder(const QString &relative) const {
        const QString path = root.filePath(relative);
        QDir().mkpath(path);
        return path;
    }
    QStringList bookmarkKeys() {
        QStringList keys = scoped.defaults().storedKeys();
        keys.removeIf([](const QString &k) { return !k.startsWith("access folder - "); });
        keys.sort();
        return keys;
    }
};

}  // namespace

TEST(SandboxDetection, NotSandboxedUnlessTold) {
    EXPECT_FALSE(Manager::isSandboxed());
    platform::Sandbox::setSandboxed(true);
    EXPECT_TRUE(Manager::isSandboxed());
    platform::Sandbox::setSandboxed(std::nullopt);
    EXPECT_FALSE(Manager::isSandboxed());
    // Nothing to bookmark where there is no folder; bytes that are no
    // bookmark name no folder.
    EXPECT_TRUE(platform::Sandbox::bookmarkData("/no/such/folder", true).isEmpty());
    EXPECT_FALSE(platform::Sandbox::resolveBookmark("junk").has_value());
}

TEST_F(Permissions, ABookmarkedFolderGrantsEverythingBelowIt) {
    const QString docs = folder("a/Docs");
    folder("a/Docs/Sub/Deeper");
    Manager::saveSecurityBookmarkForURL(docs, true);
    EXPECT_EQ(bookmarkKeys(), QStringList{"access folder - " + docs});
    EXPECT_TRUE(Manager::loadSecurityBookmarkForFolder(docs + "/Sub/Deeper"));
    EXPECT_TRUE(Manager::loadSecurityBookmarkForFolder(docs));
    // Keys are looked up with the asked path standardised.
    EXPECT_TRUE(Manager::loadBookmarkHelper(docs + "/Sub/../"));
    EXPECT_FALSE(Manager::loadBookmarkHelper(docs + "/Sub"));
    EXPECT_FALSE(Manager::loadSecurityBookmarkForFolder(root.filePath("a")));
    // The root without a bookmark ends the walk.
    EXPECT_FALSE(Manager::loadSecurityBookmarkForFolder("/"));
    // A bookmark whose folder has gone gives no access, and the walk goes on.
    const QString gone = folder("a/Docs/Gone");
    Manager::saveSecurityBookmarkForURL(gone, false);
    QDir(gone).removeRecursively();
    EXPECT_FALSE(Manager::loadBookmarkHelper(gone));
    EXPECT_TRUE(Manager::loadSecurityBookmarkForFolder(gone));
}

TEST_F(Permissions, ThePanelIsAskedOnlyWithoutABookmarkAndItsChoicesAreStored) {
    const QString asked = folder("x/Asked");
    const QString one = folder("x/One"), two = folder("x/Two");
    {
        ScriptedFolderPicker picker({std::nullopt});
        EXPECT_FALSE(Manager::getPermissionForFolder(asked, kFormat, true));
        ASSERT_EQ(picker.requests().size(), 1);
        EXPECT_EQ(picker.requests()[0].startFolder, asked);
        EXPECT_EQ(picker.requests()[0].message, "Access to \"" + asked + "\", please.");
        EXPECT_TRUE(bookmarkKeys().isEmpty());
    }
    {
        ScriptedFolderPicker picker({QStringList{one, two}});
        EXPECT_TRUE(Manager::getPermissionForFolder(asked, kFormat, true));
        EXPECT_EQ(bookmarkKeys(), (QStringList{"access folder - " + one, "access folder - " + two}));
        // Choosing other folders does not grant the one asked for.
        EXPECT_FALSE(Manager::loadSecurityBookmarkForFolder(asked));
        EXPECT_TRUE(Manager::loadSecurityBookmarkForFolder(two));
    }
    {
        // Covered now: no panel.
        ScriptedFolderPicker picker;
        EXPECT_TRUE(Manager::getPermissionForFolder(one + "/below", kFormat, true));
        EXPECT_TRUE(picker.requests().isEmpty());
    }
    Manager::clearExistingSecurityBookmarks();
    EXPECT_TRUE(bookmarkKeys().isEmpty());
}

TEST_F(Permissions, ABackgroundCallerWaitsWhileThePanelRunsOnTheMainThread) {
    const QString chosen = folder("bg/Chosen");
    std::atomic<bool> panelOnMain{false};
    std::atomic<int> answer{-1};
    platform::FolderPicker::Handler previous = platform::FolderPicker::setHandler([&](const platform::FolderRequest &) {
        panelOnMain = platform::Dispatch::isMainThread();
        return std::optional<QStringList>(QStringList{chosen});
    });
    platform::Dispatch::background([&] { answer = Manager::getPermissionForFolder(chosen, kFormat, false); });
    ASSERT_TRUE(testing_qt::spinUntil([&] { return answer >= 0; }));
    platform::FolderPicker::setHandler(previous);
    EXPECT_EQ(answer, 1);
    EXPECT_TRUE(panelOnMain);
}

TEST(CommonFolder, IsAPlainPrefixOfCharacters) {
    EXPECT_EQ(Manager::parentFolderOfPath("/x/abc", "/x/abd/f.md"), "/x/ab");
    EXPECT_EQ(Manager::parentFolderOfPath(QString(), "/x/y/f.md"), "/x/y");
    EXPECT_EQ(Manager::parentFolderOfPath("/x/y/f.md", QString()), "/x/y");
    EXPECT_TRUE(Manager::parentFolderOfPath(QString(), QString()).isNull());
    EXPECT_EQ(Manager::parentFolderOfPath("/x/y", "/x/y"), "/x/y");
    EXPECT_EQ(Manager::parentFolderOfPath("/x/docs", "/x/docs/a/b.png"), "/x/docs");
    EXPECT_EQ(Manager::parentFolderOfPath("/x", "/y/z"), "/");
}

TEST(PathStandardisation, FollowsThePlatformsRules) {
    EXPECT_EQ(platform::standardizedPath("~/a/./b/../c/"), QDir::homePath() + "/a/c");
    EXPECT_EQ(platform::standardizedPath("/a//b/"), "/a/b");
    EXPECT_EQ(platform::standardizedPath(""), "");
    EXPECT_EQ(platform::deletingLastPathComponent("/a/b/c.md"), "/a/b");
    EXPECT_EQ(platform::deletingLastPathComponent("/a/b/"), "/a");
    EXPECT_EQ(platform::deletingLastPathComponent("/a"), "/");
    EXPECT_EQ(platform::deletingLastPathComponent("/"), "/");
    EXPECT_EQ(platform::deletingLastPathComponent("name"), "");
}
