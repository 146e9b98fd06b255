// The program as a process: one program per user, display and preferences
// (later starts hand their files to it, as tabs of its front window, a
// killed one is taken over, two started at once end as one), and a
// terminating signal that ends it even while an alert waits for an answer
// (and its X server ending first, which keeps what the signal keeps),
// with the edit saved in place (beside the file, where another program's
// version was not taken in, else in the user's documents folder, whose
// place the next start tells), also where that version is a file of 1.5 GB,
// which is told of by its size and never read. A kill during a save leaves
// its text beside the file, told at each start until the file holds it.
// Started as root it runs, the web engine without its sandbox; a start that
// never showed a window leaves no crash for the next to offer. Keys typed
// while the save in place fails all reach the text, and so do keys typed
// while another program rewrites the file, whose question waits for them.
// A later start's File > Open Recent, by keys, opens what earlier ones did.
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "e2e/copied_text.h"
#include "e2e/window_manager.h"
#include "e2e/x_keyboard.h"
#include "platform/documents/document.h"
#include "platform/prefs/defaults.h"
#include "platform/files/kvx_sandbox_permission_manager.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "support/scratch_disk.h"

using namespace std::chrono_literals;

namespace {

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A user of the program: preferences and data folders of its own (so its
// program is its own), and the program started for it, its log collected.
class User {
public:
    User() {
        QDir().mkpath(QFileInfo(preferencesFile()).path());
        writeAll(preferencesFile(), "{\"checkForAnnouncements\": false}");
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString preferencesFile() const { return path("config/Tessaro/Orvane/preferences.json"); }
    // A preference as the file holds it now.
    QJsonValue onDisk(const QString &key) const {
        return QJsonValue::fromVariant(platform::Defaults::storedValuesInFile(preferencesFile()).value(key));
    }
    bool running() const { return onDisk("appCrashed") == QJsonValue(true); }
    // The files of the documents kept for the next start.
    QStringList keptDocuments() const {
        return QDir(path("state/Tessaro Orvane 4/Unsaved Documents")).entryList({"*.orvane-unsaved"}, QDir::Files);
    }
    QStringList recentFiles() const {
        return platform::Defaults::storedValuesInFile(preferencesFile()).value("recentDocumentPaths").toStringList();
    }

    // Starts the program in the user's folder, in the environment of the
    // tests as `adjust` changes it; what it logs is collected in `log`.
    void start(QProcess &orvane, const QStringList &arguments, QString *log,
               const std::function<void(QProcessEnvironment &)> &adjust = {}) const {
        orvane.setWorkingDirectory(m_dir.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("XDG_DATA_HOME", path("data"));
        environment.insert("XDG_STATE_HOME", path("state"));
        environment.remove("QT_QPA_PLATFORM");
        // Alerts are logged as they show.
        environment.insert("QT_LOGGING_RULES", "orvane.platform.info=true;qt.webenginecontext.info=false");
        if (adjust)
            adjust(environment);
        orvane.setProcessEnvironment(environment);
        orvane.setProcessChannelMode(QProcess::SeparateChannels);
        QObject::connect(&orvane, &QProcess::readyReadStandardError, &orvane,
                         [&orvane, log] { *log += QString::fromUtf8(orvane.readAllStandardError()); });
        orvane.start(QStringLiteral(ORVANE_BINARY), arguments);
    }
    // Starts the program on `file` and gives the keys to its window.
    ::testing::AssertionResult startTypingInto(QProcess &orvane, const QString &file, QString *log,
                                               const std::function<void(QProcessEnvironment &)> &adjust = {}) const {
        start(orvane, {file}, log, adjust);
        if (!testing_qt::spinUntil([&] { return running(); }, 30s))
            return ::testing::AssertionFailure() << "not started: " << log->toStdString();
        const std::string title = QFileInfo(file).fileName().toStdString();
        if (!testing_qt::spinUntil([&] { return testing_x::focusWindowTitled(title); }, 30s))
            return ::testing::AssertionFailure() << "no window of " << title;
        testing_qt::spinFor(500ms);
        return ::testing::AssertionSuccess();
    }

private:
    QTemporaryDir m_dir;
};

// How long a program that quit may take to end: once the web engine is down,
// the kernel releases its file watches, each taking seconds on a loaded
// machine (once, half a minute). Only a program held for good misses it.
constexpr std::chrono::seconds kEndsAfterQuitting{120};

bool finishes(QProcess &orvane, std::chrono::milliseconds within) {
    return testing_qt::spinUntil([&] { return orvane.state() == QProcess::NotRunning; }, within);
}

void quit(QProcess &orvane) {
    if (orvane.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(orvane.processId()), SIGTERM);
    if (!finishes(orvane, 30s)) {
        orvane.kill();
        orvane.waitForFinished();
    }
}

TEST(RunningProgram, LaterStartsHandTheirFilesToTheRunningProgramAndAKilledOneIsTakenOver) {
    User user;
    for (const char *name : {"a.md", "b.md", "project/c.md"}) {
        QDir().mkpath(QFileInfo(user.path(name)).path());
        ASSERT_TRUE(writeAll(user.path(name), "# Text\n"));
    }
    QProcess first;
    QString firstLog;
    user.start(first, {user.path("a.md")}, &firstLog);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 30s)) << firstLog.toStdString();

    // A start with a folder and a file, named from its working folder: it
    // hands them over and ends at once, without a word; the running program
    // opens the folder as a project and the file in front.
    QProcess second;
    QString secondLog;
    user.start(second, {"project", "./b.md"}, &secondLog);
    ASSERT_TRUE(finishes(second, 15s)) << secondLog.toStdString();
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(secondLog.contains("Alert:")) << secondLog.toStdString();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return user.recentFiles().contains(user.path("b.md")); }, 10s));
    EXPECT_TRUE(testing_qt::spinUntil(
        [&] { return !user.onDisk(KVXSandboxPermissionManager::bookmarkKey(user.path("project"))).isUndefined(); },
        10s));
    if (testing_x::canType()) {
        EXPECT_TRUE(testing_qt::spinUntil(
            [] {
                return testing_x::focusedWindowTitle().find("b.md") != std::string::npos &&
                       testing_x::topWindowTitle().find("b.md") != std::string::npos;
            },
            10s))
            << testing_x::focusedWindowTitle() << " has the keys, " << testing_x::topWindowTitle() << " is on top";

        // A start without files brings the running program forward, over
        // another program's window.
        // The running program may still be raising the window it was handed
        // (on a loaded machine its activation can come after its focus):
        // the other window is raised again until it has stayed on top for a
        // second.
        testing_x::CoveringWindow other;
        ASSERT_TRUE(other.isShown());
        QElapsedTimer onTop;
        ASSERT_TRUE(testing_qt::spinUntil(
            [&] {
                if (testing_x::topWindowTitle() != "Another program") {
                    other.raise();
                    onTop.invalidate();
                    return false;
                }
                if (!onTop.isValid())
                    onTop.start();
                return onTop.elapsed() >= 1000;
            },
            15s))
            << testing_x::topWindowTitle();
        QProcess third;
        QString thirdLog;
        user.start(third, {}, &thirdLog);
        ASSERT_TRUE(finishes(third, 15s)) << thirdLog.toStdString();
        EXPECT_EQ(third.exitCode(), 0);
        EXPECT_TRUE(testing_qt::spinUntil(
            [] { return testing_x::topWindowTitle().find("b.md") != std::string::npos; }, 10s))
            << testing_x::topWindowTitle();
    }

    // A screenshot is of a program's own windows: it runs beside, and leaves
    // the preferences (the crash flag among them) to the running program.
    const QString shot = QStringLiteral(ORVANE_ARTIFACT_DIR "/e2e-beside-running.png");
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    QFile::remove(shot);
    QProcess beside;
    QString besideLog;
    user.start(beside, {"--screenshot", shot, user.path("a.md")}, &besideLog);
    ASSERT_TRUE(finishes(beside, 60s)) << besideLog.toStdString();
    EXPECT_EQ(beside.exitCode(), 0);
    EXPECT_GT(QFileInfo(shot).size(), 0);
    EXPECT_FALSE(besideLog.contains("Possible crash detected")) << besideLog.toStdString();
    EXPECT_TRUE(user.running()) << "the running program's flag stays";
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_FALSE(firstLog.contains("Possible crash detected")) << firstLog.toStdString();

    // Killed, the program leaves its flag set and its socket behind: the next
    // start owns, offers the crash report, and takes later starts' files.
    first.kill();
    ASSERT_TRUE(finishes(first, 10s));
    QProcess restarted;
    QString restartedLog;
    user.start(restarted, {user.path("a.md")}, &restartedLog);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return restartedLog.contains("Possible crash detected"); }, 30s))
        << restartedLog.toStdString();
    EXPECT_EQ(restarted.state(), QProcess::Running);
    QProcess later;
    QString laterLog;
    ASSERT_TRUE(writeAll(user.path("d.md"), "# Later\n"));
    user.start(later, {"d.md"}, &laterLog);
    ASSERT_TRUE(finishes(later, 15s)) << laterLog.toStdString();
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return user.recentFiles().contains(user.path("d.md")); }, 10s));
    quit(restarted);
    EXPECT_EQ(user.onDisk("appCrashed"), QJsonValue(false));
}

// The next start of the program on `file`, quit once it runs (its flag is
// on disk once a window of it is on the screen): what it logged.
QString logOfTheNextStart(const User &user, const QString &file) {
    QProcess orvane;
    QString log;
    user.start(orvane, {file}, &log);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 60s)) << log.toStdString();
    quit(orvane);
    EXPECT_EQ(orvane.exitCode(), 0) << log.toStdString();
    return log;
}

const QString kWithoutSandbox =
    "Orvane is running as root, where the web engine's sandbox cannot work: the engine runs without it.";

// Root without the engine's sandbox turned off (the tests' environment turns
// it off): the engine would end the program before its first window, and the
// next start would offer to report a crash. The program runs, says once
// why the engine has no sandbox, and quits cleanly; a start whose sandbox
// was turned off already says nothing of it.
TEST(RunningProgram, StartedAsRootWithTheSandboxOnItRunsWithoutItAndSaysSoOnce) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "not run as root";
    User user;
    ASSERT_TRUE(writeAll(user.path("a.md"), "# A\n"));
    QProcess orvane;
    QString log;
    user.start(orvane, {"a.md"}, &log, [](QProcessEnvironment &environment) {
        environment.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
        environment.remove("QTWEBENGINE_DISABLE_SANDBOX");
    });
    // Its flag goes on disk once a window of it is on the screen.
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running() || orvane.state() == QProcess::NotRunning; }, 60s));
    ASSERT_EQ(orvane.state(), QProcess::Running) << "ended with status " << orvane.exitCode() << "\n"
                                                 << log.toStdString();
    EXPECT_EQ(log.count(kWithoutSandbox), 1) << log.toStdString();
    EXPECT_FALSE(log.contains("Running as root without")) << log.toStdString();
    quit(orvane);
    EXPECT_EQ(orvane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(orvane.exitCode(), 0) << log.toStdString();

    const QString later = logOfTheNextStart(user, "a.md");
    EXPECT_FALSE(later.contains("Possible crash detected")) << later.toStdString();
    EXPECT_FALSE(later.contains(kWithoutSandbox)) << later.toStdString();
}

// A start that ended before any of its windows reached the screen did not
// run for the user: it leaves no crash flag, and the next start offers no
// crash report.
TEST(RunningProgram, AStartThatNeverShowedAWindowIsNoCrashForTheNextStart) {
    User user;
    ASSERT_TRUE(writeAll(user.path("a.md"), "# A\n"));
    {
        testing_x::WindowsKeptOff keptOff;
        if (!keptOff.isKeeping())
            GTEST_SKIP() << "the windows cannot be kept off this display (a window manager runs, or no Xlib)";
        QProcess orvane;
        QString log;
        user.start(orvane, {"a.md"}, &log);
        // Killed while its document's window waits to be shown.
        ASSERT_TRUE(testing_qt::spinUntil([&] { return keptOff.windowAsked(); }, 60s)) << log.toStdString();
        orvane.kill();
        ASSERT_TRUE(finishes(orvane, 30s));
        EXPECT_NE(user.onDisk("appCrashed"), QJsonValue(true)) << log.toStdString();
    }
    const QString later = logOfTheNextStart(user, "a.md");
    EXPECT_FALSE(later.contains("Possible crash detected")) << later.toStdString();
}

// The titles of the windows on screen that hold `.md` files.
std::vector<std::string> documentWindowTitles() {
    std::vector<std::string> titles;
    for (const std::string &title : testing_x::shownWindowTitles())
        if (title.find(".md") != std::string::npos)
            titles.push_back(title);
    return titles;
}

bool frontTabIs(const std::string &name) {
    return testing_qt::spinUntil(
        [&] {
            const std::vector<std::string> titles = documentWindowTitles();
            return titles.size() == 1 && titles.front().find(name) != std::string::npos;
        },
        10s);
}

// Files named together open as tabs of one window; a later start's file
// joins them, after the tab in front; the desktop's keys go through them.
TEST(RunningProgram, FilesNamedTogetherAndAFileHandedOverAreTabsOfOneWindow) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    User user;
    for (const char *name : {"a.md", "b.md", "c.md", "d.md"})
        ASSERT_TRUE(writeAll(user.path(name), QByteArray("# ") + name + "\n"));
    QProcess orvane;
    QString log;
    user.start(orvane, {"a.md", "b.md", "c.md"}, &log);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 30s)) << log.toStdString();
    // One window on screen, the last file's tab in front.
    ASSERT_TRUE(frontTabIs("c.md")) << testing_x::topWindowTitle();

    QProcess later;
    QString laterLog;
    user.start(later, {"d.md"}, &laterLog);
    ASSERT_TRUE(finishes(later, 15s)) << laterLog.toStdString();
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_TRUE(frontTabIs("d.md")) << documentWindowTitles().size() << " windows";

    // The fourth tab, after the third: Ctrl+Tab goes round the four, in
    // order; Ctrl+Page Up back.
    ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("d.md"); }, 10s));
    testing_qt::spinFor(300ms);
    for (const char *name : {"a.md", "b.md", "c.md", "d.md"}) {
        ASSERT_TRUE(testing_x::pressKeys({"Control_L", "Tab"}));
        EXPECT_TRUE(frontTabIs(name)) << testing_x::topWindowTitle();
    }
    ASSERT_TRUE(testing_x::pressKeys({"Control_L", "Prior"}));
    EXPECT_TRUE(frontTabIs("c.md")) << testing_x::topWindowTitle();
    testing_qt::spinFor(1s);
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        screen->grabWindow(0).save(QStringLiteral(ORVANE_ARTIFACT_DIR "/e2e-handed-over-tabs.png"), "PNG");
    quit(orvane);
    EXPECT_EQ(orvane.exitCode(), 0) << log.toStdString();
}

// Two starts at the same moment: one program, which opens both files.
TEST(RunningProgram, TwoStartsAtTheSameMomentEndAsOneProgram) {
    User user;
    ASSERT_TRUE(writeAll(user.path("a.md"), "# A\n"));
    ASSERT_TRUE(writeAll(user.path("b.md"), "# B\n"));
    QProcess one, two;
    QString oneLog, twoLog;
    user.start(one, {"a.md"}, &oneLog);
    user.start(two, {"b.md"}, &twoLog);
    ASSERT_TRUE(testing_qt::spinUntil(
        [&] { return one.state() == QProcess::NotRunning || two.state() == QProcess::NotRunning; }, 30s));
    testing_qt::spinFor(2s);
    ASSERT_NE(one.state() == QProcess::NotRunning, two.state() == QProcess::NotRunning)
        << oneLog.toStdString() << twoLog.toStdString();
    QProcess &ended = one.state() == QProcess::NotRunning ? one : two;
    QProcess &running = one.state() == QProcess::NotRunning ? two : one;
    EXPECT_EQ(ended.exitCode(), 0);
    EXPECT_TRUE(testing_qt::spinUntil(
        [&] {
            const QStringList recent = user.recentFiles();
            return recent.contains(user.path("a.md")) && recent.contains(user.path("b.md"));
        },
        10s))
        << user.recentFiles().join(", ").toStdString();
    quit(running);
    EXPECT_EQ(running.exitCode(), 0);
}

// A later start that names many files which are not there, and one that
// is: the running program opens that one and tells of the others in one
// alert, not in a modal alert each (which took an answer per file before
// the next file opened).
TEST(RunningProgram, MissingFilesHandedOverTogetherAreToldInOneAlert) {
    User user;
    ASSERT_TRUE(writeAll(user.path("a.md"), "# A\n"));
    ASSERT_TRUE(writeAll(user.path("here.md"), "# Here\n"));
    QProcess orvane;
    QString log;
    user.start(orvane, {"a.md"}, &log);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 30s)) << log.toStdString();

    QStringList named;
    for (int i = 0; i < 250; i++)
        named << QStringLiteral("gone%1.md").arg(i);
    named << "here.md";
    QProcess later;
    QString laterLog;
    user.start(later, named, &laterLog);
    ASSERT_TRUE(finishes(later, 15s)) << laterLog.toStdString();
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return user.recentFiles().contains(user.path("here.md")); }, 10s));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return log.contains("Alert: 250 documents could not be opened."); }, 10s))
        << log.toStdString();
    testing_qt::spinFor(1s);
    EXPECT_EQ(log.count("Alert:"), 1) << log.toStdString();
    EXPECT_TRUE(log.contains(user.path("gone0.md") + ": It does not exist.")) << log.toStdString();
    quit(orvane);
    EXPECT_EQ(orvane.exitCode(), 0) << log.toStdString();
}

// A new user's first start with two files, under a window manager that
// frames each window with a title bar: the window's whole frame, title bar
// included, is on the screen, where it can be dragged.
TEST(RunningProgram, AStartWithTwoFilesShowsItsWindowWithTheTitleBarOnTheScreen) {
    testing_x::WindowManager manager;
    if (!manager.isRunning())
        GTEST_SKIP() << "no window manager (openbox) on this display";
    User user;
    ASSERT_TRUE(writeAll(user.path("a.md"), "# A\n\nThe first file.\n"));
    ASSERT_TRUE(writeAll(user.path("b.md"), "# B\n\nThe second file.\n"));
    QProcess orvane;
    QString log;
    user.start(orvane, {"a.md", "b.md"}, &log);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 30s)) << log.toStdString();
    const QRect area = testing_x::workArea();
    // Moved on the screen by the program once it sees the window framed.
    const std::optional<QRect> frame =
        testing_x::settledFrameOfWindowTitled("b.md", [&](const QRect &framed) { return area.contains(framed); });
    ASSERT_TRUE(frame) << log.toStdString();
    EXPECT_TRUE(area.contains(*frame)) << "the frame " << ::testing::PrintToString(*frame) << " leaves "
                                       << ::testing::PrintToString(area);
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        screen->grabWindow(0).save(QStringLiteral(ORVANE_ARTIFACT_DIR "/e2e-two-file-start.png"), "PNG");
    quit(orvane);
    EXPECT_EQ(orvane.exitCode(), 0) << log.toStdString();
}

// A terminating signal sent to the program on "notes.md" while another
// program's version waits: `theirs` stays in the file, the user's text
// `mine` goes beside it, the crash flag is cleared, and the program ends as
// a quit ends it.
void endsBySignalKeepingTheirsAndMineBeside(QProcess &orvane, User &user, const QByteArray &theirs,
                                            const QByteArray &mine, const QString &log) {
    ::kill(pid_t(orvane.processId()), SIGTERM);
    const QString beside = user.path("notes (your edits, not merged).md");
    EXPECT_TRUE(testing_qt::spinUntil(
        [&] { return readAll(beside) == mine && user.onDisk("appCrashed") == QJsonValue(false); }, 30s))
        << readAll(beside).toStdString() << "\n" << log.toStdString();
    EXPECT_EQ(readAll(user.path("notes.md")), theirs) << "the other program's version was saved over";
    ASSERT_TRUE(finishes(orvane, kEndsAfterQuitting)) << "still running after the signal\n" << log.toStdString();
    EXPECT_EQ(orvane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(orvane.exitCode(), 0);
    if (orvane.state() != QProcess::NotRunning) {
        orvane.kill();
        orvane.waitForFinished();
    }
}

TEST(RunningProgram, ATerminatingSignalWhileAnAlertWaitsEndsTheProgramAndTheEditIsSaved) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    User user;
    const QString file = user.path("notes.md");
    ASSERT_TRUE(writeAll(file, "original\n"));
    QProcess orvane;
    QString log;
    // The keys go to the document's window once it has the focus.
    ASSERT_TRUE(user.startTypingInto(orvane, file, &log));
    ASSERT_TRUE(testing_x::typeText("typed "));
    testing_qt::spinFor(500ms);

    // Another program changes the file: the program asks whether to merge.
    ASSERT_TRUE(writeAll(file, "original\nfrom elsewhere\n"));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return log.contains("Alert: File has changed"); }, 10s))
        << log.toStdString();
    testing_qt::spinFor(500ms);  // the alert on screen, waiting

    // The quit sequence saves the edit and clears the crash flag at once;
    // the process ends some time after. An alert that held the program would
    // hold it for good. The question closes unanswered: the other program's
    // version, which nobody took in, stays in the file, and the edit goes
    // beside it.
    endsBySignalKeepingTheirsAndMineBeside(orvane, user, "original\nfrom elsewhere\n", "typed original\n", log);
}

// As above, where the file's folder takes no new file and the user has no
// documents folder: the typed text goes into a documents folder made for
// it, and the next start says where it is.
TEST(RunningProgram, ATerminatingSignalWhereNoFolderTakesTheTypedTextKeepsItInADocumentsFolderMadeForIt) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    testing_qt::ScratchDisk disk(1 << 20);
    if (!disk.mounted() && ::geteuid() == 0)
        GTEST_SKIP() << "no mount and running as root: permissions do not stop root";
    User user;
    const auto homeWithoutDocuments = [&user](QProcessEnvironment &environment) {
        environment.insert("HOME", user.path("home"));
    };
    ASSERT_TRUE(QDir().mkpath(user.path("home")));
    const QString file = disk.path() + "/notes.md";
    ASSERT_TRUE(writeAll(file, "original\n"));
    QProcess orvane;
    QString log;
    ASSERT_TRUE(user.startTypingInto(orvane, file, &log, homeWithoutDocuments));
    ASSERT_TRUE(testing_x::typeText("typed "));
    testing_qt::spinFor(500ms);
    ASSERT_TRUE(writeAll(file, "original\nfrom elsewhere\n"));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return log.contains("Alert: File has changed"); }, 10s))
        << log.toStdString();
    const bool locked = disk.mounted() ? disk.makeReadOnly()
                                       : QFile::setPermissions(disk.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ASSERT_TRUE(locked);

    ::kill(pid_t(orvane.processId()), SIGTERM);
    const QString kept = user.path("home/Documents/notes (your edits, not merged).md");
    EXPECT_TRUE(testing_qt::spinUntil(
        [&] { return readAll(kept) == "typed original\n" && user.onDisk("appCrashed") == QJsonValue(false); }, 30s))
        << log.toStdString();
    EXPECT_EQ(readAll(file), "original\nfrom elsewhere\n");
    ASSERT_TRUE(finishes(orvane, kEndsAfterQuitting)) << log.toStdString();
    EXPECT_EQ(orvane.exitCode(), 0);

    // The next start tells where the text is.
    QProcess next;
    QString nextLog;
    user.start(next, {file}, &nextLog, homeWithoutDocuments);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return nextLog.contains("Alert: When Orvane last quit"); }, 60s))
        << nextLog.toStdString();
    EXPECT_TRUE(nextLog.contains(kept)) << nextLog.toStdString();
    quit(next);
    if (disk.mounted())
        disk.makeWritable();
    else
        QFile::setPermissions(disk.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Another program rewrites the file while the user types, and the session
// ends (a terminating signal) while its version waits for the keys to
// pause: that version stays in the file, and the typed text goes beside it,
// in a file named for it; no question is left for anybody to answer.
TEST(RunningProgram, ATerminatingSignalWhileAnotherProgramsVersionWaitsForThePauseKeepsItAndTheTypedTextBeside) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    User user;
    const QString file = user.path("notes.md");
    ASSERT_TRUE(writeAll(file, "first line\nsecond line\n"));
    QProcess orvane;
    QString log;
    ASSERT_TRUE(user.startTypingInto(orvane, file, &log));
    const QString held = QStringLiteral("changed on disk: asked about once the keys pause");

    // A key every 150 ms; the other program's version comes among them, and
    // they go on until it is held.
    std::string typed;
    QElapsedTimer typing;
    typing.start();
    while (!log.contains(held) && typing.elapsed() < 30000) {
        const char key = char('a' + typed.size() % 26);
        ASSERT_TRUE(testing_x::typeText(std::string(1, key)));
        typed += key;
        if (typed.size() == 6) {
            ASSERT_EQ(QProcess::execute("sed", {"-i", "s/second/2nd/", file}), 0);
        }
        testing_qt::spinFor(150ms);
    }
    ASSERT_TRUE(log.contains(held)) << log.toStdString();
    // The keys reach the text, and the session ends within the pause.
    testing_qt::spinFor(300ms);
    endsBySignalKeepingTheirsAndMineBeside(orvane, user, "first line\n2nd line\n",
                                           QByteArray::fromStdString(typed) + "first line\nsecond line\n", log);
}

// The memory a process holds in RAM (its VmRSS), in bytes; -1 once it is
// gone.
qint64 residentMemory(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (pid <= 0 || !status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// Another program's file of `size` bytes (zeros, sparse: it takes no disk)
// at `path`: renamed over it, as most programs save, or written in place.
bool putSparseFile(const QString &path, qint64 size, bool inPlace) {
    QFile file(inPlace ? path : path + ".new~");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.resize(size))
        return false;
    file.close();
    return inPlace ||
           ::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) == 0;
}

// Another program puts a file of 1.5 GB in the place of the document's
// (renamed over it; in a second run, written in place) while the last keys
// wait for their save: the program tells what the file grew to without
// reading it (its memory stays far below the file's size), and a
// terminating signal, as a logout sends, keeps the typed text beside the
// file within the seconds a logout waits, the file as the other program
// left it. The next start tells where the text is.
TEST(RunningProgram, AFileReplacedByAHugeOneIsToldOfByItsSizeUnreadAndALogoutKeepsTheTypedTextBeside) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    // Growth of the program past this is a read of the file (a memory bound
    // in a test only because it catches that).
    constexpr qint64 kRead = qint64(1) << 30;
    constexpr qint64 kHuge = qint64(3) << 29;  // 1.5 GB
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "written in place" : "renamed over it");
        User user;
        const QString name = inPlace ? "rewritten" : "renamed";
        const QString file = user.path(name + ".md");
        ASSERT_TRUE(writeAll(file, "original\n"));
        QProcess orvane;
        QString log;
        ASSERT_TRUE(user.startTypingInto(orvane, file, &log));
        const qint64 pid = orvane.processId();
        // Typed, and saved in place by itself a moment later; typed again,
        // and the file replaced before that save comes.
        ASSERT_TRUE(testing_x::typeText("typed "));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return readAll(file) == "typed original\n"; }, 30s))
            << log.toStdString();
        const qint64 before = residentMemory(pid);
        ASSERT_GT(before, 0);
        qint64 most = before;
        auto watch = [&] {
            most = std::max(most, residentMemory(pid));
            return most - before < kRead;
        };
        ASSERT_TRUE(testing_x::typeText("more "));
        ASSERT_TRUE(putSparseFile(file, kHuge, inPlace));

        const QString told = QStringLiteral("Alert: File has changed The file on disk has been changed by another "
                                            "program and grew to 1.5 GB");
        testing_qt::spinUntil([&] { return !watch() || log.contains(told); }, 60s);
        if (!watch()) {
            orvane.kill();
            orvane.waitForFinished();
            FAIL() << "the program grew by " << (most - before) / 1048576 << " MB: it read the file";
        }
        ASSERT_TRUE(log.contains(told)) << log.toStdString();
        if (!inPlace) {
            QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
            testing_qt::spinFor(500ms);  // the alert drawn, for the picture only
            if (QScreen *screen = QGuiApplication::primaryScreen())
                screen->grabWindow(0).save(QStringLiteral(ORVANE_ARTIFACT_DIR "/e2e-huge-version.png"), "PNG");
        }

        ::kill(pid_t(pid), SIGTERM);
        const QString beside = user.path(name + " (your edits, not merged).md");
        EXPECT_TRUE(testing_qt::spinUntil(
            [&] {
                watch();
                return readAll(beside) == "typed more original\n" && user.onDisk("appCrashed") == QJsonValue(false);
            },
            20s))
            << readAll(beside).toStdString() << "\n" << log.toStdString();
        EXPECT_LT(most - before, kRead) << "the program grew by " << (most - before) / 1048576 << " MB";
        EXPECT_EQ(QFileInfo(file).size(), kHuge) << "the other program's version was saved over";
        ASSERT_TRUE(finishes(orvane, kEndsAfterQuitting)) << "still running after the signal\n" << log.toStdString();
        EXPECT_EQ(orvane.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(orvane.exitCode(), 0);

        ASSERT_TRUE(writeAll(user.path("other.md"), "# Other\n"));
        QProcess next;
        QString nextLog;
        user.start(next, {user.path("other.md")}, &nextLog);
        EXPECT_TRUE(testing_qt::spinUntil([&] { return nextLog.contains("Alert: When Orvane last quit"); }, 60s))
            << nextLog.toStdString();
        EXPECT_TRUE(nextLog.contains(beside)) << nextLog.toStdString();
        quit(next);
    }
}

// Kills a process (kill -9) the moment a save of the file `name` writes
// into its new file beside it: a watch of the folder, read on a thread.
class KillDuringSave {
public:
    KillDuringSave(const QString &folder, const QString &name, pid_t process)
        : m_prefix("." + QFile::encodeName(name) + "."), m_process(process) {
        m_watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (m_watch >= 0)
            inotify_add_watch(m_watch, QFile::encodeName(folder).constData(), IN_MODIFY);
        m_thread = std::thread([this] { run(); });
    }
    ~KillDuringSave() {
        m_stop = true;
        m_thread.join();
        if (m_watch >= 0)
            ::close(m_watch);
    }
    // The name of the file being written when it killed; empty before.
    QString killedWriting() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_killedWriting;
    }

private:
    void run() {
        alignas(inotify_event) char buffer[16384];
        while (!m_stop && m_watch >= 0) {
            pollfd ready{m_watch, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0)
                continue;
            const ssize_t got = ::read(m_watch, buffer, sizeof buffer);
            for (ssize_t at = 0; at < got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                at += ssize_t(sizeof(inotify_event) + event->len);
                const QByteArray name = event->len ? QByteArray(event->name) : QByteArray();
                if (!name.startsWith(m_prefix))
                    continue;
                ::kill(m_process, SIGKILL);
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_killedWriting = QFile::decodeName(name);
                return;
            }
        }
    }

    const QByteArray m_prefix;
    const pid_t m_process;
    int m_watch = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QString m_killedWriting;
};

// The program killed (kill -9) while it saves a large document by itself,
// after its new file got the text and before that file took the file's
// place: the file keeps its text, and the text being saved stays beside it,
// hidden, under a name only a save of this program gives. Each later start
// on the file tells where that text is, until the file holds it (the user
// took it in): then the start removes it, and says nothing.
TEST(RunningProgram, AKillDuringASaveOfALargeDocumentLeavesItsTextWhichEachStartTellsOfUntilTheFileHoldsIt) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    User user;
    const QString file = user.path("large.md");
    QByteArray original;
    for (int paragraph = 0; original.size() < 4 * 1024 * 1024; paragraph++)
        original += "Paragraph " + QByteArray::number(paragraph) +
                    " of a long document, saved by itself a moment after each pause in the typing.\n\n";
    ASSERT_TRUE(writeAll(file, original));

    // A kill may come too late (the save done): a key more, and another try.
    QString left;
    for (int attempt = 0; attempt < 5 && left.isEmpty(); attempt++) {
        SCOPED_TRACE(attempt);
        QProcess orvane;
        QString log;
        ASSERT_TRUE(user.startTypingInto(orvane, file, &log));
        const QByteArray before = readAll(file);
        KillDuringSave killer(QFileInfo(file).absolutePath(), "large.md", pid_t(orvane.processId()));
        ASSERT_TRUE(testing_x::typeText("x"));
        // The save comes two seconds after the key.
        ASSERT_TRUE(finishes(orvane, 60s)) << log.toStdString();
        EXPECT_EQ(orvane.exitStatus(), QProcess::CrashExit);
        // (The user says "False Alarm" to the crash offer: the next start
        // takes the keys.)
        ASSERT_TRUE(writeAll(user.preferencesFile(), "{\"checkForAnnouncements\": false}"));
        const QString writing = killer.killedWriting();
        ASSERT_FALSE(writing.isEmpty()) << "no save was seen\n" << log.toStdString();
        if (QFileInfo::exists(user.path(writing)) && readAll(file) == before)
            left = user.path(writing);
    }
    ASSERT_FALSE(left.isEmpty()) << "no kill landed during a save";
    EXPECT_TRUE(QRegularExpression(R"(^\.large\.md\.orvane-save-[A-Za-z0-9]{12}$)")
                    .match(QFileInfo(left).fileName())
                    .hasMatch())
        << left.toStdString();
    const QByteArray kept = readAll(left);
    EXPECT_TRUE(kept.startsWith("x")) << "not the text being saved";
    const QByteArray onDisk = readAll(file);
    ASSERT_NE(kept, onDisk);

    // Told at each start, with where it is; kept.
    const QString told = QStringLiteral("Alert: A save of “large.md” was cut short.");
    for (int start = 0; start < 2; start++) {
        SCOPED_TRACE(start);
        QProcess orvane;
        QString log;
        user.start(orvane, {file}, &log);
        EXPECT_TRUE(testing_qt::spinUntil([&] { return log.contains(told) && log.contains(left); }, 60s))
            << log.toStdString();
        quit(orvane);
        EXPECT_EQ(readAll(left), kept);
        EXPECT_EQ(readAll(file), onDisk);
    }

    // The user takes that text in: the next start removes it, unsaid.
    ASSERT_TRUE(writeAll(file, kept));
    QProcess orvane;
    QString log;
    ASSERT_TRUE(user.startTypingInto(orvane, file, &log));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !QFileInfo::exists(left); }, 10s));
    EXPECT_FALSE(log.contains(told)) << log.toStdString();
    quit(orvane);
    EXPECT_EQ(readAll(file), kept);
}

// The keys of a window of tabs, typed through the X server: Ctrl+Shift+Tab
// (which the server sends as a back-tab) shows the previous tab and edits
// nothing, so nothing is saved in place; Ctrl+Q quits a window of two or
// more tabs, and the program ends as it should, its flag cleared.
TEST(RunningProgram, CtrlShiftTabShowsThePreviousTabEditingNothingAndCtrlQQuitsAWindowOfTabs) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    User user;
    for (const char *name : {"a.md", "b.md", "c.md"})
        ASSERT_TRUE(writeAll(user.path(name), QByteArray("# ") + name + "\n\nSome text.\n"));
    const QDateTime written = QFileInfo(user.path("c.md")).lastModified();
    QProcess orvane;
    QString log;
    user.start(orvane, {"a.md", "b.md", "c.md"}, &log);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 30s)) << log.toStdString();
    ASSERT_TRUE(frontTabIs("c.md")) << testing_x::topWindowTitle();
    ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("c.md"); }, 10s));
    testing_qt::spinFor(300ms);

    ASSERT_TRUE(testing_x::pressKeys({"Control_L", "Shift_L", "Tab"}));
    EXPECT_TRUE(frontTabIs("b.md")) << testing_x::topWindowTitle();
    ASSERT_TRUE(testing_x::pressKeys({"Control_L", "Shift_L", "Tab"}));
    EXPECT_TRUE(frontTabIs("a.md")) << testing_x::topWindowTitle();
    // Well past the delay after which an edited document saves in place:
    // none was edited, no title carries the edited mark, no file was written.
    testing_qt::spinFor(platform::Document::kAutosaveDelay + 2s);
    for (const std::string &title : documentWindowTitles())
        EXPECT_EQ(title.find('*'), std::string::npos) << title;
    EXPECT_EQ(QFileInfo(user.path("c.md")).lastModified(), written);
    EXPECT_EQ(readAll(user.path("c.md")), QByteArray("# c.md\n\nSome text.\n"));

    ASSERT_TRUE(testing_x::focusWindowTitled("a.md"));
    ASSERT_TRUE(testing_x::pressKeys({"Control_L", "q"}));
    ASSERT_TRUE(finishes(orvane, kEndsAfterQuitting)) << log.toStdString();
    EXPECT_EQ(orvane.exitStatus(), QProcess::NormalExit) << log.toStdString();
    EXPECT_EQ(orvane.exitCode(), 0) << log.toStdString();
    EXPECT_FALSE(user.running());
}

// The document's folder stops taking writes while the user types, pausing
// between words: every key reaches the text ("folder. more" stays so, no
// alert takes the space), the failure is told once, in a notice beside the
// window, and the title says "Not Saved" while it lasts. Once the folder
// takes writes again, the program saves the text by itself and the mark
// goes.
TEST(RunningProgram, KeysTypedWhileTheSaveInPlaceFailsAllReachTheTextAndItIsSavedOnceItCanBe) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    testing_qt::ScratchDisk disk(1 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << "no file system could be mounted to make read-only (that needs root)";
    User user;
    const QString file = disk.path() + "/notes.md";
    ASSERT_TRUE(writeAll(file, "\n"));
    QProcess orvane;
    QString log;
    ASSERT_TRUE(user.startTypingInto(orvane, file, &log));
    auto marked = [] {
        for (const std::string &title : testing_x::shownWindowTitles())
            if (title.find("notes.md") != std::string::npos && title.find("Not Saved") != std::string::npos)
                return true;
        return false;
    };

    ASSERT_TRUE(disk.makeReadOnly());
    ASSERT_TRUE(testing_x::typeText("folder."));
    // The pause after the keys: the save in place fails, and says so.
    const QString told = QStringLiteral("Notice: The document “notes.md” could not be saved.");
    ASSERT_TRUE(testing_qt::spinUntil([&] { return log.contains(told) || log.contains("Alert:"); }, 30s))
        << log.toStdString();
    EXPECT_FALSE(log.contains("Alert:")) << log.toStdString();
    EXPECT_TRUE(testing_qt::spinUntil(marked, 10s));
    // The notice on the screen, the keys still with the document.
    EXPECT_TRUE(testing_qt::spinUntil(
        [] {
            const std::vector<std::string> titles = testing_x::shownWindowTitles();
            return std::find(titles.begin(), titles.end(), "Tessaro Orvane") != titles.end();
        },
        10s));
    EXPECT_NE(testing_x::focusedWindowTitle().find("notes.md"), std::string::npos) << testing_x::focusedWindowTitle();
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        screen->grabWindow(0).save(QStringLiteral(ORVANE_ARTIFACT_DIR "/e2e-save-refused.png"), "PNG");
    ASSERT_TRUE(testing_x::typeText(" more"));
    // The next pause: it fails again, told no more.
    const QString attempt = QStringLiteral("notes.md is not saved:");
    ASSERT_TRUE(testing_qt::spinUntil([&] { return log.count(attempt) >= 2; }, 30s)) << log.toStdString();
    EXPECT_EQ(log.count(told), 1) << log.toStdString();
    EXPECT_FALSE(log.contains("Alert:")) << log.toStdString();
    EXPECT_TRUE(marked());

    ASSERT_TRUE(disk.makeWritable());
    EXPECT_TRUE(testing_qt::spinUntil([&] { return readAll(file).contains("folder. more"); }, 30s))
        << readAll(file).toStdString() << "\n" << log.toStdString();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !marked(); }, 10s));
    EXPECT_EQ(log.count(told), 1) << log.toStdString();
    quit(orvane);
    EXPECT_EQ(orvane.exitCode(), 0) << log.toStdString();
}

// Another program rewrites the file (sed -i) while the user types a key
// every 150 ms, under a window manager that gives each new window the
// focus: every key reaches the text, the question about the change comes
// up only once the keys pause, a key typed in the moment it shows goes to
// the text rather than answering it, and answering it (Return: Merge)
// merges both.
TEST(RunningProgram, KeysTypedWhileAnotherProgramRewritesTheFileAllReachTheTextAndItsQuestionWaitsForThePause) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    testing_x::WindowManager manager;
    if (!manager.isRunning())
        GTEST_SKIP() << "no window manager (openbox) on this display";
    User user;
    const QString file = user.path("notes.md");
    ASSERT_TRUE(writeAll(file, "first line\nsecond line\n"));
    QProcess orvane;
    QString log;
    ASSERT_TRUE(user.startTypingInto(orvane, file, &log));
    const QString asked = QStringLiteral("Alert: File has changed");

    const std::string typed = "the quick brown fox jumps over a dog.";
    ASSERT_EQ(typed.size(), 37u);
    QElapsedTimer typing;
    typing.start();
    bool rewritten = false;
    // When the question came up, and the longest the keys had paused by
    // then (a machine busy enough to hold the test for as long as the pause
    // the program waits for lets it ask).
    qint64 askedAt = -1, lastKey = 0, longestPause = 0;
    for (const char key : typed) {
        if (askedAt < 0)
            longestPause = std::max(longestPause, typing.elapsed() - lastKey);
        lastKey = typing.elapsed();
        ASSERT_TRUE(testing_x::typeText(std::string(1, key)));
        if (!rewritten && typing.elapsed() >= 1500) {
            ASSERT_EQ(QProcess::execute("sed", {"-i", "s/second/2nd/", file}), 0);
            rewritten = true;
        }
        testing_qt::spinFor(150ms);
        if (askedAt < 0 && log.contains(asked))
            askedAt = typing.elapsed();
    }
    ASSERT_TRUE(rewritten);
    EXPECT_TRUE(askedAt < 0 || longestPause >= 1000)
        << "asked while the keys came, " << askedAt << " ms in, the longest pause " << longestPause << " ms";
    // The pause: the question comes up, and takes the focus.
    ASSERT_TRUE(testing_qt::spinUntil([&] { return log.contains(asked); }, 30s)) << log.toStdString();
    // A key in the moment it holds the focus, before the user has read it:
    // the text's.
    ASSERT_TRUE(testing_qt::spinUntil(
        [] {
            const std::string focused = testing_x::focusedWindowTitle();
            return !focused.empty() && focused.find("notes.md") == std::string::npos;
        },
        10s))
        << testing_x::focusedWindowTitle();
    ASSERT_TRUE(testing_x::typeText(" "));
    testing_qt::spinFor(1500ms);  // read
    EXPECT_EQ(log.count(asked), 1) << log.toStdString();
    // Past the autosave's delay after the last key: the other program's
    // version is not saved over while its question waits.
    EXPECT_EQ(readAll(file), "first line\n2nd line\n");
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        screen->grabWindow(0).save(QStringLiteral(ORVANE_ARTIFACT_DIR "/e2e-asked-after-the-keys.png"), "PNG");
    ASSERT_TRUE(testing_x::pressKeys({"Return"}));
    const QByteArray merged = QByteArray::fromStdString(typed) + " first line\n2nd line\n";
    EXPECT_TRUE(testing_qt::spinUntil([&] { return readAll(file) == merged; }, 30s))
        << readAll(file).toStdString() << "\n"
        << log.toStdString();
    EXPECT_EQ(log.count("Alert:"), 1) << log.toStdString();
    quit(orvane);
    EXPECT_EQ(orvane.exitCode(), 0) << log.toStdString();
}

// Whether a window of the program shows `name` with unsaved edits (its
// title marked), within ten seconds.
bool editedWindowShows(const std::string &name) {
    return testing_qt::spinUntil(
        [&] {
            for (const std::string &title : testing_x::shownWindowTitles())
                if (title.find(name + "*") != std::string::npos)
                    return true;
            return false;
        },
        10s);
}

// The untitled window a start without files opens, typed into, and the
// session ends (a terminating signal): the text is kept for the user alone,
// and the next start opens it again as an untitled window holding that
// text, edited, and keeps it no longer.
TEST(RunningProgram, ATerminatingSignalKeepsAnUntitledDocumentAndTheNextStartBringsItBackEdited) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    User user;
    QProcess orvane;
    QString log;
    user.start(orvane, {}, &log);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 30s)) << log.toStdString();
    ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("Untitled"); }, 30s));
    testing_qt::spinFor(500ms);
    const std::string typed = "a first note. typed before the session ends.\nand a second line.";
    ASSERT_TRUE(testing_x::typeText(typed));
    ASSERT_TRUE(editedWindowShows("Untitled")) << log.toStdString();

    ::kill(pid_t(orvane.processId()), SIGTERM);
    ASSERT_TRUE(finishes(orvane, kEndsAfterQuitting)) << log.toStdString();
    EXPECT_EQ(orvane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(orvane.exitCode(), 0);
    EXPECT_EQ(user.keptDocuments().size(), 1) << log.toStdString();

    QProcess next;
    QString nextLog;
    user.start(next, {}, &nextLog);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 30s)) << nextLog.toStdString();
    EXPECT_TRUE(editedWindowShows("Untitled")) << nextLog.toStdString();
    ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("Untitled"); }, 10s));
    testing_qt::spinFor(500ms);
    EXPECT_EQ(testing_x::copiedText(), QString::fromStdString(typed)) << nextLog.toStdString();
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        screen->grabWindow(0).save(QStringLiteral(ORVANE_ARTIFACT_DIR "/e2e-untitled-brought-back.png"), "PNG");
    // That window only: no other untitled one beside it.
    int untitled = 0;
    for (const std::string &title : testing_x::shownWindowTitles())
        untitled += title.find("Untitled") != std::string::npos;
    EXPECT_EQ(untitled, 1);
    EXPECT_TRUE(user.keptDocuments().isEmpty());
    EXPECT_FALSE(nextLog.contains("Alert:")) << nextLog.toStdString();
    quit(next);
    EXPECT_EQ(next.exitCode(), 0) << nextLog.toStdString();
}

// A saved document with autosave off ("enableLionSaveFeatures" NO), typed
// into, and the session ends: the file stays as it was (the user chose to
// save it themselves), nothing is put beside it, and the next start, named
// another file, opens that file and brings back the document's window
// holding the typed text, edited.
TEST(RunningProgram, ATerminatingSignalKeepsEditsNotSavedInPlaceAndTheNextStartBringsThemBackBesideTheFilesNamed) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    User user;
    ASSERT_TRUE(
        writeAll(user.preferencesFile(), "{\"checkForAnnouncements\": false, \"enableLionSaveFeatures\": false}"));
    const QString file = user.path("notes.md");
    ASSERT_TRUE(writeAll(file, "original\n"));
    ASSERT_TRUE(writeAll(user.path("other.md"), "# Other\n"));
    QProcess orvane;
    QString log;
    ASSERT_TRUE(user.startTypingInto(orvane, file, &log));
    ASSERT_TRUE(testing_x::typeText("typed "));
    ASSERT_TRUE(editedWindowShows("notes.md")) << log.toStdString();
    // Well past the delay after which a document saving in place would.
    testing_qt::spinFor(platform::Document::kAutosaveDelay + 1s);
    ASSERT_EQ(readAll(file), "original\n");

    ::kill(pid_t(orvane.processId()), SIGTERM);
    ASSERT_TRUE(finishes(orvane, kEndsAfterQuitting)) << log.toStdString();
    EXPECT_EQ(orvane.exitCode(), 0);
    EXPECT_EQ(readAll(file), "original\n");
    EXPECT_FALSE(QFileInfo::exists(user.path("notes (your edits, not merged).md")));
    EXPECT_EQ(user.keptDocuments().size(), 1) << log.toStdString();

    QProcess next;
    QString nextLog;
    user.start(next, {"other.md"}, &nextLog);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 30s)) << nextLog.toStdString();
    // The file named in front, the document brought back behind it.
    ASSERT_TRUE(frontTabIs("other.md")) << testing_x::topWindowTitle();
    ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("other.md"); }, 10s));
    testing_qt::spinFor(300ms);
    ASSERT_TRUE(testing_x::pressKeys({"Control_L", "Shift_L", "Tab"}));
    ASSERT_TRUE(frontTabIs("notes.md")) << testing_x::topWindowTitle();
    EXPECT_TRUE(editedWindowShows("notes.md"));
    ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("notes.md"); }, 10s));
    testing_qt::spinFor(300ms);
    EXPECT_EQ(testing_x::copiedText(), "typed original\n") << nextLog.toStdString();
    EXPECT_EQ(readAll(file), "original\n");
    EXPECT_TRUE(user.keptDocuments().isEmpty());
    EXPECT_FALSE(nextLog.contains("Alert:")) << nextLog.toStdString();
    quit(next);
    EXPECT_EQ(next.exitCode(), 0) << nextLog.toStdString();
}

// File > Open Recent in a later start of the program, by keys alone: the
// files earlier starts opened are listed, newest first, and the one chosen
// opens in front.
TEST(RunningProgram, OpenRecentOfALaterStartOpensAFileAnEarlierStartOpenedChosenByKeys) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    User user;
    for (const char *name : {"first.md", "second.md"})
        ASSERT_TRUE(writeAll(user.path(name), QByteArray("# ") + name + "\n"));
    QProcess earlier;
    QString earlierLog;
    user.start(earlier, {user.path("first.md"), user.path("second.md")}, &earlierLog);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.recentFiles().size() == 2; }, 30s))
        << earlierLog.toStdString();
    EXPECT_EQ(user.recentFiles(), QStringList({user.path("second.md"), user.path("first.md")}));
    ::kill(pid_t(earlier.processId()), SIGTERM);
    ASSERT_TRUE(finishes(earlier, kEndsAfterQuitting)) << earlierLog.toStdString();

    QProcess later;
    QString log;
    user.start(later, {}, &log);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 30s)) << log.toStdString();
    ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("Untitled"); }, 30s));
    testing_qt::spinFor(500ms);
    // The menu bar by Alt, File to the right of the program's menu, Open
    // Recent the fifth of File's items; its second item is the older file.
    for (const std::vector<std::string> &keys : std::vector<std::vector<std::string>>{
             {"Alt_L"}, {"Right"}, {"Down"}, {"Down"}, {"Down"}, {"Down"}, {"Down"}, {"Right"}, {"Down"}, {"Return"}}) {
        ASSERT_TRUE(testing_x::pressKeys(keys));
        testing_qt::spinFor(150ms);
    }
    EXPECT_TRUE(testing_qt::spinUntil([] { return testing_x::topWindowTitle().find("first.md") != std::string::npos; },
                                      30s))
        << testing_x::topWindowTitle() << "\n"
        << log.toStdString();
    EXPECT_TRUE(testing_qt::spinUntil(
        [&] { return user.recentFiles().value(0) == user.path("first.md"); }, 10s));
    EXPECT_FALSE(log.contains("Alert:")) << log.toStdString();
    quit(later);
    EXPECT_EQ(later.exitCode(), 0) << log.toStdString();
}

}  // namespace

namespace {

// A virtual X server of the test's own, which it can end as a logout ends
// the session's; the display it gives is empty when it did not start.
class OwnXServer {
public:
    OwnXServer() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return;
        // The server writes its display's number on its descriptor 3 once it
        // takes connections.
        m_server.setChildProcessModifier([write = ends[1]] {
            if (write == 3)
                ::fcntl(3, F_SETFD, 0);
            else
                ::dup2(write, 3);
        });
        m_server.setStandardOutputFile(QProcess::nullDevice());
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.start("Xvfb",
                       {"-displayfd", "3", "-screen", "0", "1600x1200x24", "-nolisten", "tcp", "-noreset"});
        ::close(ends[1]);
        QByteArray number;
        QElapsedTimer waited;
        waited.start();
        pollfd readable{ends[0], POLLIN, 0};
        while (!number.endsWith('\n') && waited.elapsed() < 30000 &&
               ::poll(&readable, 1, int(30000 - waited.elapsed())) > 0) {
            char c = 0;
            if (::read(ends[0], &c, 1) != 1)
                break;
            number += c;
        }
        ::close(ends[0]);
        if (number.endsWith('\n'))
            m_display = ':' + QString::fromLatin1(number.trimmed());
    }
    ~OwnXServer() { end(); }
    OwnXServer(const OwnXServer &) = delete;
    OwnXServer &operator=(const OwnXServer &) = delete;

    QString display() const { return m_display; }
    // Ends the server as a session's end does (a terminating signal), and
    // waits for it to be gone.
    void end() {
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_server.terminate();
        if (!m_server.waitForFinished(30000)) {
            m_server.kill();
            m_server.waitForFinished();
        }
    }

private:
    QProcess m_server;
    QString m_display;
};

// The text of the window with the keyboard's focus, by the name it shows.
void readFocusedText(std::map<std::string, QString> *texts) {
    const std::string title = testing_x::focusedWindowTitle();
    (*texts)[title] = testing_x::copiedText();
}

}  // namespace

// A logout whose X server ends before the session's signal reaches the
// program (or sends none): with an untitled window and a file's window
// (autosave off) typed into, the program ends, keeping both as the signal
// would have; the file is left as it was, and the next start, on another
// display, brings both back, edited, with nothing to tell (no crash either).
TEST(RunningProgram, TheDisplayEndingUnderTheProgramKeepsWhatASignalKeepsAndTheNextStartBringsItBack) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    OwnXServer server;
    ASSERT_FALSE(server.display().isEmpty()) << "no virtual X server of the test's own (Xvfb)";
    User user;
    ASSERT_TRUE(
        writeAll(user.preferencesFile(), "{\"checkForAnnouncements\": false, \"enableLionSaveFeatures\": false}"));
    const QString file = user.path("notes.md");
    ASSERT_TRUE(writeAll(file, "original\n"));
    const std::string note = "a note typed before the display ended.";
    QProcess orvane;
    QString log;
    {
        testing_x::OnDisplay onTheServer(server.display().toStdString());
        ASSERT_TRUE(user.startTypingInto(orvane, file, &log, [&](QProcessEnvironment &environment) {
            environment.insert("DISPLAY", server.display());
        }));
        ASSERT_TRUE(testing_x::typeText("typed "));
        ASSERT_TRUE(editedWindowShows("notes.md")) << log.toStdString();
        ASSERT_TRUE(testing_x::pressKeys({"Control_L", "n"}));
        ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("Untitled"); }, 30s))
            << log.toStdString();
        testing_qt::spinFor(500ms);
        ASSERT_TRUE(testing_x::typeText(note));
        ASSERT_TRUE(editedWindowShows("Untitled")) << log.toStdString();
        // The server drops the keys the program has not read when it ends:
        // a window that a key after them opens tells that it read them all.
        ASSERT_TRUE(testing_x::pressKeys({"Control_L", "n"}));
        ASSERT_TRUE(testing_qt::spinUntil(
            [] {
                const std::vector<std::string> titles = testing_x::shownWindowTitles();
                return std::any_of(titles.begin(), titles.end(),
                                   [](const std::string &title) { return title.find("Untitled 2") == 0; });
            },
            30s))
            << log.toStdString();
    }

    server.end();
    ASSERT_TRUE(finishes(orvane, kEndsAfterQuitting)) << log.toStdString();
    EXPECT_EQ(orvane.exitStatus(), QProcess::NormalExit) << log.toStdString();
    EXPECT_EQ(readAll(file), "original\n");
    EXPECT_FALSE(QFileInfo::exists(user.path("notes (your edits, not merged).md")));
    ASSERT_EQ(user.keptDocuments().size(), 2) << log.toStdString();

    QProcess next;
    QString nextLog;
    user.start(next, {}, &nextLog);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 30s)) << nextLog.toStdString();
    // Both in one window, as tabs: each read in front in turn.
    ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("Tessaro Orvane"); }, 30s));
    testing_qt::spinFor(500ms);
    std::map<std::string, QString> texts;
    readFocusedText(&texts);
    const std::string first = testing_x::focusedWindowTitle();
    ASSERT_TRUE(testing_x::pressKeys({"Control_L", "Tab"}));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return testing_x::focusedWindowTitle() != first; }, 10s));
    testing_qt::spinFor(300ms);
    readFocusedText(&texts);
    ASSERT_EQ(texts.size(), 2u);
    for (const auto &[title, text] : texts) {
        if (title.find("notes.md*") == 0)
            EXPECT_EQ(text, "typed original\n");
        else if (title.find("Untitled*") == 0)
            EXPECT_EQ(text, QString::fromStdString(note));
        else
            ADD_FAILURE() << title << " is not a document brought back, edited";
    }
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        screen->grabWindow(0).save(QStringLiteral(ORVANE_ARTIFACT_DIR "/e2e-display-ended-brought-back.png"), "PNG");
    EXPECT_TRUE(user.keptDocuments().isEmpty());
    EXPECT_FALSE(nextLog.contains("Alert:")) << nextLog.toStdString();
    quit(next);
    EXPECT_EQ(next.exitCode(), 0) << nextLog.toStdString();
}
