// The folder watchers on real temporary folders: every kind of change is
// reported, the one folder's at once, folders that come, move and are
// replaced keep being followed, and an exhausted watch limit is reported.
#include "platform/documents/file_presenter.h"
#include "platform/files/directory_watcher.h"
#include "platform/files/inotify_watch.h"
#include "platform/files/kvx_directory_watcher.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include <dirent.h>
#include <unistd.h>

#include "support/file_times.h"
#include "support/log_capture.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using namespace std::chrono_literals;
using testing_qt::spinFor;
using testing_qt::spinUntil;

namespace {

// Long enough for any report on a busy machine: waits end at the report,
// and this only ends a wait for one that never comes.
constexpr auto kHang = 30s;

// Counts deliveries; may destroy the watcher it is told about.
struct Recorder : KVXDirectoryWatcherDelegate, DirectoryWatcherDelegate {
    int calls = 0;
    std::function<void()> onCall;
    void directoryDidChange(KVXDirectoryWatcher *) override { called(); }
    void directoryDidChange(DirectoryWatcher *) override { called(); }
    void called() {
        calls++;
        if (onCall)
            onCall();
    }
};

// The inotify instances this process holds open, as the system lists its
// descriptors.
int openInotifyInstances() {
    int count = 0;
    DIR *folder = opendir("/proc/self/fd");
    if (!folder)
        return -1;
    while (const dirent *entry = readdir(folder)) {
        char target[64] = {};
        const QByteArray link = QByteArray("/proc/self/fd/") + entry->d_name;
        if (readlink(link.constData(), target, sizeof target - 1) > 0 && QByteArray(target) == "anon_inode:inotify")
            count++;
    }
    closedir(folder);
    return count;
}

class FolderWatchers : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString at(const QString &relative) const { return m_dir.path() + "/" + relative; }
    void write(const QString &relative, const QByteArray &text = "text",
               QIODevice::OpenMode mode = QIODevice::WriteOnly) {
        QFile file(at(relative));
        ASSERT_TRUE(file.open(mode)) << relative.toStdString();
        file.write(text);
    }
    void mkdir(const QString &relative) { ASSERT_TRUE(QDir().mkpath(at(relative))); }
    void rename(const QString &from, const QString &to) {
        ASSERT_EQ(::rename(from.toLocal8Bit().constData(), to.toLocal8Bit().constData()), 0)
            << from.toStdString() << " -> " << to.toStdString();
    }

    // Whether `change` brings a new delivery.
    bool reported(const std::function<void()> &change) {
        const int before = m_recorder.calls;
        change();
        return spinUntil([&] { return m_recorder.calls > before; }, kHang);
    }
    // Whether `change` brings any delivery within `ms`.
    bool reportedWithin(const std::function<void()> &change, int ms) {
        const int before = m_recorder.calls;
        change();
        spinFor(std::chrono::milliseconds(ms));
        return m_recorder.calls > before;
    }

    QTemporaryDir m_dir;
    Recorder m_recorder;
};

#define EXPECT_REPORTED(change) EXPECT_TRUE(reported([&] { change; })) << "not reported: " #change

TEST_F(FolderWatchers, TreeWatcherReportsEveryChangeAnywhere) {
    mkdir("tree/a/b");
    write("tree/a/b/old.md");
    auto watcher = KVXDirectoryWatcher::watchFolderWithPath(at("tree"), &m_recorder);
    ASSERT_TRUE(watcher && watcher->isWatching());
    EXPECT_EQ(watcher->observedPath(), at("tree"));

    EXPECT_REPORTED(write("tree/top.md"));
    EXPECT_REPORTED(write("tree/a/b/deep.md"));
    EXPECT_REPORTED(write("tree/a/b/old.md", " more", QIODevice::Append));
    EXPECT_REPORTED(rename(at("tree/a/b/deep.md"), at("tree/a/b/renamed.md")));
    EXPECT_REPORTED(QFile::remove(at("tree/a/b/renamed.md")));
    EXPECT_REPORTED(testing_qt::setModificationTime(at("tree/a/b/old.md"), 1000));
    // A folder made after the watch began is followed, down to new depths.
    EXPECT_REPORTED(mkdir("tree/a/new"));
    EXPECT_REPORTED(mkdir("tree/a/new/deeper"));
    EXPECT_REPORTED(write("tree/a/new/deeper/x.md"));
    EXPECT_REPORTED(QDir(at("tree/a/new")).removeRecursively());

    // What hidden folders hold is not listed, so it is not followed.
    EXPECT_REPORTED(mkdir("tree/.cache"));
    EXPECT_FALSE(reportedWithin([&] { write("tree/.cache/blob"); }, 700));
}

TEST_F(FolderWatchers, FileSavedByAnotherProgramThroughRenameIsReportedAndStillFollowed) {
    mkdir("tree/docs");
    write("tree/docs/doc.md", "first");
    auto watcher = KVXDirectoryWatcher::watchFolderWithPath(at("tree"), &m_recorder);
    ASSERT_TRUE(watcher);

    // The safe save of most editors: a new file renamed over the old one.
    const QString save = QStringLiteral("cd '%1' && printf second > doc.md.tmp && mv doc.md.tmp doc.md")
                             .arg(at("tree/docs"));
    int status = -1;
    EXPECT_TRUE(reported([&] { status = QProcess::execute("/bin/sh", {"-c", save}); }));
    ASSERT_EQ(status, 0);
    // The new file is the one followed from then on.
    EXPECT_REPORTED(write("tree/docs/doc.md", " third", QIODevice::Append));
}

TEST_F(FolderWatchers, BurstOfChangesIsOneReport) {
    mkdir("tree/sub");
    auto watcher = KVXDirectoryWatcher::watchFolderWithPath(at("tree"), &m_recorder);
    ASSERT_TRUE(watcher);
    for (int i = 0; i < 100; i++)
        write(QStringLiteral("tree/sub/file%1.md").arg(i % 10), QByteArray::number(i));
    ASSERT_TRUE(spinUntil([&] { return m_recorder.calls > 0; }, kHang));
    spinFor(std::chrono::milliseconds(KVXDirectoryWatcher::kLatencyMs + 300));
    EXPECT_EQ(m_recorder.calls, 1);
}

TEST_F(FolderWatchers, FoldersMovedInsideTheTreeStayFollowedAndThoseMovedOutDoNot) {
    mkdir("tree/a/b");
    mkdir("outside");
    auto watcher = KVXDirectoryWatcher::watchFolderWithPath(at("tree"), &m_recorder);
    ASSERT_TRUE(watcher);

    EXPECT_REPORTED(rename(at("tree/a"), at("tree/moved")));
    EXPECT_REPORTED(write("tree/moved/b/x.md"));

    EXPECT_REPORTED(rename(at("tree/moved"), at("outside/gone")));
    EXPECT_FALSE(reportedWithin([&] { write("outside/gone/b/y.md"); }, 800));

    // And back in: followed again.
    EXPECT_REPORTED(rename(at("outside/gone"), at("tree/back")));
    EXPECT_REPORTED(write("tree/back/b/z.md"));
}

TEST_F(FolderWatchers, WatchedFolderReplacedByRenameIsWatchedAgain) {
    mkdir("tree");
    mkdir("staging/sub");
    Recorder oneFolder;
    auto tree = KVXDirectoryWatcher::watchFolderWithPath(at("tree"), &m_recorder);
    auto single = DirectoryWatcher::watchFolderWithPath(at("tree"), &oneFolder);
    ASSERT_TRUE(tree && single);

    EXPECT_REPORTED(rename(at("staging"), at("tree")));
    EXPECT_TRUE(spinUntil([&] { return oneFolder.calls > 0; }, kHang));
    spinFor(std::chrono::milliseconds(KVXDirectoryWatcher::kLatencyMs + 100));

    const int before = oneFolder.calls;
    EXPECT_REPORTED(write("tree/sub/new.md"));
    write("tree/top.md");
    EXPECT_TRUE(spinUntil([&] { return oneFolder.calls > before; }, kHang));
}

TEST_F(FolderWatchers, ExhaustedWatchLimitIsReportedAndTheRestStillWorks) {
    for (const char *folder : {"tree/a", "tree/b", "tree/c", "tree/d/e"})
        mkdir(folder);
    struct LimitGuard {
        LimitGuard() { platform::InotifyWatch::setWatchLimitForTesting(3); }
        ~LimitGuard() { platform::InotifyWatch::setWatchLimitForTesting(-1); }
    } limit;
    testing_qt::LogCapture log;

    auto watcher = KVXDirectoryWatcher::watchFolderWithPath(at("tree"), &m_recorder);
    ASSERT_TRUE(watcher && watcher->isWatching());
    // The tree and two of its five folders fit.
    EXPECT_EQ(watcher->unwatchedFolderCount(), 3);
    EXPECT_EQ(log.count("limit of inotify watches is reached"), 1);
    EXPECT_EQ(log.count("3 folder(s) under \"" + at("tree") + "\""), 1);
    EXPECT_REPORTED(write("tree/top.md"));

    // A folder watcher that cannot watch at all says so and gives nothing.
    platform::InotifyWatch::setWatchLimitForTesting(0);
    Recorder other;
    EXPECT_EQ(DirectoryWatcher::watchFolderWithPath(at("tree"), &other), nullptr);
    EXPECT_EQ(log.count("limit of inotify watches"), 2);
}

TEST_F(FolderWatchers, MissingArgumentsOrFoldersGiveNoWatcher) {
    mkdir("here");
    EXPECT_EQ(KVXDirectoryWatcher::watchFolderWithPath(at("here"), nullptr), nullptr);
    EXPECT_EQ(KVXDirectoryWatcher::watchFolderWithPath(QString(), &m_recorder), nullptr);
    EXPECT_EQ(DirectoryWatcher::watchFolderWithPath(at("here"), nullptr), nullptr);
    EXPECT_EQ(DirectoryWatcher::watchFolderWithPath(QString(), &m_recorder), nullptr);
    EXPECT_EQ(DirectoryWatcher::watchFolderWithPath(at("absent"), &m_recorder), nullptr);

    // The tree watcher of a missing folder exists and reports nothing, even
    // when the folder appears later.
    auto watcher = KVXDirectoryWatcher::watchFolderWithPath(at("absent"), &m_recorder);
    ASSERT_TRUE(watcher);
    EXPECT_FALSE(watcher->isWatching());
    EXPECT_FALSE(reportedWithin([&] { mkdir("absent"); write("absent/x.md"); }, 700));
}

TEST_F(FolderWatchers, OneFolderWatcherReportsItsOwnEntriesAtOnce) {
    mkdir("extras/sub");
    write("extras/theme.theme");
    auto watcher = DirectoryWatcher::watchFolderWithPath(at("extras"), &m_recorder);
    ASSERT_TRUE(watcher);
    EXPECT_EQ(watcher->observedPath(), at("extras"));

    // No gathering delay: a tree watcher of the same folder hears each
    // change as it does, and gathers for its latency before it reports.
    // What a change brought this watcher by the time the tree watcher
    // reported it, which each step waits for, so that the next step begins
    // with nothing pending.
    Recorder gathering;
    auto tree = KVXDirectoryWatcher::watchFolderWithPath(at("extras"), &gathering);
    ASSERT_TRUE(tree);
    auto beforeTheTree = [&](const std::function<void()> &change) {
        const int mine = m_recorder.calls;
        const int trees = gathering.calls;
        change();
        EXPECT_TRUE(spinUntil([&] { return gathering.calls > trees; }, kHang)) << "the tree watcher heard nothing";
        return m_recorder.calls - mine;
    };
    EXPECT_GT(beforeTheTree([&] { write("extras/new.css"); }), 0);
    EXPECT_GT(beforeTheTree([&] { rename(at("extras/new.css"), at("extras/renamed.css")); }), 0);
    EXPECT_GT(beforeTheTree([&] { write("extras/theme.theme", "edited in place"); }), 0);
    EXPECT_GT(beforeTheTree([&] { QFile::remove(at("extras/renamed.css")); }), 0);
    // Subfolders are not its business.
    EXPECT_EQ(beforeTheTree([&] { write("extras/sub/inner.css"); }), 0);

    // A watcher that is watching refuses a second start; after invalidate it
    // is silent, and it may start again.
    EXPECT_FALSE(watcher->startMonitoringDirectory(at("extras")));
    watcher->invalidate();
    EXPECT_EQ(beforeTheTree([&] { write("extras/after.css"); }), 0);
    EXPECT_TRUE(watcher->startMonitoringDirectory(at("extras")));
    EXPECT_GT(beforeTheTree([&] { write("extras/again.css"); }), 0);
}

TEST_F(FolderWatchers, DelegateMayDestroyTheWatcherThatCallsIt) {
    mkdir("tree");
    std::unique_ptr<KVXDirectoryWatcher> tree = KVXDirectoryWatcher::watchFolderWithPath(at("tree"), &m_recorder);
    Recorder oneFolder;
    std::unique_ptr<DirectoryWatcher> single = DirectoryWatcher::watchFolderWithPath(at("tree"), &oneFolder);
    ASSERT_TRUE(tree && single);
    m_recorder.onCall = [&] { tree.reset(); };
    oneFolder.onCall = [&] { single.reset(); };

    write("tree/a.md");
    EXPECT_TRUE(spinUntil([&] { return !tree && !single; }, kHang));
    write("tree/b.md");
    spinFor(100ms);
    EXPECT_EQ(m_recorder.calls, 1);
    EXPECT_EQ(oneFolder.calls, 1);
}

// Closing an inotify instance can wait seconds in the kernel: watchers and
// presenters let go of theirs without closing it on their own thread. Until
// it is closed elsewhere its descriptor stays open, so that no new watch
// gets its number meanwhile.
TEST_F(FolderWatchers, WatchesLetGoOfAreClosedOnAnotherThread) {
    using platform::InotifyWatch;
    mkdir("tree/a");
    write("tree/doc.md");
    ASSERT_TRUE(spinUntil([] { return InotifyWatch::closing() == 0; }, 60s)) << "earlier closes never ended";
    const int before = openInotifyInstances();
    ASSERT_GE(before, 0);
    struct Hold {
        Hold() { InotifyWatch::holdClosingForTesting(true); }
        ~Hold() { InotifyWatch::holdClosingForTesting(false); }
    } hold;

    Recorder oneFolder;
    auto tree = KVXDirectoryWatcher::watchFolderWithPath(at("tree"), &m_recorder);
    auto single = DirectoryWatcher::watchFolderWithPath(at("tree"), &oneFolder);
    platform::FilePresenter presenter;
    ASSERT_TRUE(tree && single && presenter.setPath(at("tree/doc.md")));
    ASSERT_EQ(openInotifyInstances(), before + 3);

    tree.reset();
    single->invalidate();
    presenter.setPath(QString());
    EXPECT_EQ(InotifyWatch::closing(), 3);
    EXPECT_EQ(openInotifyInstances(), before + 3) << "closed on the thread that let go of them";

    // Watching goes on meanwhile, on descriptors of its own.
    ASSERT_TRUE(single->startMonitoringDirectory(at("tree")));
    EXPECT_EQ(openInotifyInstances(), before + 4);
    write("tree/new.md");
    EXPECT_TRUE(spinUntil([&] { return oneFolder.calls > 0; }, 30s));

    InotifyWatch::holdClosingForTesting(false);
    EXPECT_TRUE(spinUntil([&] { return InotifyWatch::closing() == 0; }, 60s));
    EXPECT_EQ(openInotifyInstances(), before + 1);
}

}  // namespace
