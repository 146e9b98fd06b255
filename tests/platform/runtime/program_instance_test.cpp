// One running program: the first start owns and listens, a later one hands
// its paths over (their bytes kept) or, asked to run beside, is a guest; a
// socket left by a killed owner is taken over; what is not a start of ours
// is refused; an owner that stopped listening leaves later starts waiting.
// The socket lives only in a folder of the user's alone, and neither end
// speaks to a process of another user: where the tests run as root, that
// other user is real (a child process that drops to "nobody").
#include "platform/runtime/program_instance.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/files/native_path.h"
#include "support/qt_wait.h"

using platform::ProgramInstance;
using Role = platform::ProgramInstance::Role;
using namespace std::chrono_literals;

namespace {

// A later start, in a process of its own as far as the lock can tell: its
// own thread, its own lock file handle.
std::future<Role> laterStart(const QString &socket, QList<QByteArray> paths,
                             ProgramInstance::Mode mode = ProgramInstance::Mode::HandOver,
                             std::chrono::milliseconds patience = 10s) {
    return std::async(std::launch::async, [socket, paths = std::move(paths), mode, patience] {
        ProgramInstance instance(socket);
        return instance.claim(paths, mode, patience);
    });
}

Role waitFor(std::future<Role> &start) {
    testing_qt::spinUntil([&] { return start.wait_for(0s) == std::future_status::ready; }, 20s);
    return start.get();
}

TEST(ProgramInstance, TheFirstStartOwnsAndLaterOnesHandTheirPathsOver) {
    QTemporaryDir dir;
    const QString socket = dir.filePath("orvane");
    // A socket left by an owner that was killed: nobody listens there.
    {
        QFile stale(socket);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    ProgramInstance owner(socket);
    ASSERT_EQ(owner.claim({"/a.md"}), Role::Owner);
    EXPECT_TRUE(owner.isListening());
    QList<QStringList> received;
    QObject::connect(&owner, &ProgramInstance::pathsReceived, [&](const QStringList &paths) { received << paths; });

    // Paths keep their bytes, a name that is not UTF-8 among them.
    const QByteArray latin1("/home/ann/caf\xe9.md");
    auto start = laterStart(socket, {"/home/ann/notes.md", latin1});
    EXPECT_EQ(waitFor(start), Role::HandedOver);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return received.size() == 1; }));
    ASSERT_EQ(received.first().size(), 2);
    EXPECT_EQ(received.first().at(0), "/home/ann/notes.md");
    EXPECT_EQ(platform::nativePath(received.first().at(1)), latin1);

    // No paths: only to the front.
    auto bare = laterStart(socket, {});
    EXPECT_EQ(waitFor(bare), Role::HandedOver);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return received.size() == 2; }));
    EXPECT_TRUE(received.last().isEmpty());

    // Asked to run beside, a start is a guest and sends nothing.
    auto guest = laterStart(socket, {"/b.md"}, ProgramInstance::Mode::RunBeside);
    EXPECT_EQ(waitFor(guest), Role::Guest);
    testing_qt::spinFor(100ms);
    EXPECT_EQ(received.size(), 2);
}

TEST(ProgramInstance, WhatIsNotAStartOfOursIsRefused) {
    QTemporaryDir dir;
    const QString socket = dir.filePath("orvane");
    ProgramInstance owner(socket);
    ASSERT_EQ(owner.claim({}), Role::Owner);
    int received = 0;
    QObject::connect(&owner, &ProgramInstance::pathsReceived, [&] { received++; });
    QLocalSocket stranger;
    stranger.connectToServer(socket);
    ASSERT_TRUE(stranger.waitForConnected(1000));
    stranger.write(QByteArray("GET / HTTP/1.1\r\n\r\n").repeated(4));
    stranger.flush();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return stranger.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(stranger.bytesAvailable(), 0);
    EXPECT_EQ(received, 0);
    // The program still takes starts.
    auto start = laterStart(socket, {"/a.md"});
    EXPECT_EQ(waitFor(start), Role::HandedOver);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return received == 1; }));
}

TEST(ProgramInstance, AQuittingOwnerLeavesStartsWaitingUntilItIsGoneThenOneOwns) {
    QTemporaryDir dir;
    const QString socket = dir.filePath("orvane");
    auto owner = std::make_unique<ProgramInstance>(socket);
    ASSERT_EQ(owner->claim({}), Role::Owner);
    owner->stopListening();
    EXPECT_FALSE(owner->isListening());
    // Nobody answers while the quitting owner holds on.
    auto impatient = laterStart(socket, {"/a.md"}, ProgramInstance::Mode::HandOver, 300ms);
    EXPECT_EQ(waitFor(impatient), Role::Unanswered);

    // Gone, it leaves the program to the start that waits.
    auto waiting = laterStart(socket, {"/a.md"});
    testing_qt::spinFor(200ms);
    owner.reset();
    EXPECT_EQ(waitFor(waiting), Role::Owner);
}

TEST(ProgramInstance, EachUserDisplayAndPreferencesFolderHasItsProgram) {
    QTemporaryDir runtime;
    const ProgramInstance::Places places{runtime.path(), QString(), QString()};
    const QString mine = ProgramInstance::socketPath("/home/ann/.config", "xcb :0", places);
    ASSERT_FALSE(mine.isEmpty());
    EXPECT_EQ(ProgramInstance::socketPath("/home/ann/.config/", "xcb :0", places), mine);
    EXPECT_NE(ProgramInstance::socketPath("/tmp/test-home/config", "xcb :0", places), mine);
    EXPECT_NE(ProgramInstance::socketPath("/home/ann/.config", "xcb :1", places), mine);
    EXPECT_LE(platform::nativePath(mine).size(), ProgramInstance::kLongestSocketPath);
}

// --- Other users ----------------------------------------------------------------------------------

// The user "nobody": another user for the tests that run as root.
constexpr uid_t kOtherUser = 65534;

bool canBecomeAnotherUser() { return ::geteuid() == 0; }

mode_t modeOf(const QString &path) {
    struct stat info {};
    return ::lstat(platform::nativePath(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// What a start writes: the mark, the number of paths, each path.
QByteArray startMessage(const QList<QByteArray> &paths) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << QByteArrayLiteral("orvane-open-1") << quint32(paths.size());
    for (const QByteArray &path : paths)
        out << path;
    return bytes;
}

// A process of another user, forked from the test: it drops root's rights,
// does its part with system calls alone (the test's threads may hold locks
// the child would wait for forever), and reports two numbers through a pipe
// when the test asks for them. Ends with the object.
class OtherUsersProcess {
public:
    struct Report {
        long connections = -1;
        long bytes = -1;
    };

    ~OtherUsersProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        for (int fd : {m_ready, m_stop, m_report})
            if (fd >= 0)
                ::close(fd);
    }

    // Listens at `socket`, made in `folder` (made first, open to all, when
    // it is not there), holding the lock file beside it, and counts the
    // connections and bytes it gets.
    bool squat(const QString &folder, const QString &socket) {
        const QByteArray where = platform::nativePath(folder);
        const QByteArray name = platform::nativePath(socket);
        const QByteArray lock = name + ".lock";
        return start([&](int ready, int stop, int report) {
            ::mkdir(where.constData(), 0777);
            ::chmod(where.constData(), 0777);
            const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
            ::unlink(name.constData());
            if (::bind(listening, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
                ::listen(listening, 16) != 0)
                ::_exit(1);
            ::chmod(name.constData(), 0777);
            const int locked = ::open(lock.constData(), O_RDWR | O_CREAT, 0666);
            if (locked < 0 || ::flock(locked, LOCK_EX) != 0)
                ::_exit(1);
            ::fchmod(locked, 0666);
            (void)!::write(ready, "r", 1);
            Report counted{0, 0};
            pollfd watched[18];
            nfds_t count = 2;
            watched[0] = {listening, POLLIN, 0};
            watched[1] = {stop, POLLIN, 0};
            for (;;) {
                if (::poll(watched, count, -1) < 0)
                    continue;
                if (watched[1].revents)
                    break;
                if ((watched[0].revents & POLLIN) && count < 18) {
                    const int connection = ::accept(listening, nullptr, nullptr);
                    if (connection >= 0) {
                        counted.connections++;
                        watched[count++] = {connection, POLLIN, 0};
                    }
                }
                for (nfds_t i = 2; i < count; i++) {
                    if (!watched[i].revents || watched[i].fd < 0)
                        continue;
                    char buffer[4096];
                    const ssize_t got = ::read(watched[i].fd, buffer, sizeof buffer);
                    if (got > 0)
                        counted.bytes += got;
                    else
                        watched[i].fd = -1;  // poll passes over it
                }
            }
            (void)!::write(report, &counted, sizeof counted);
            ::_exit(0);
        });
    }

    // Connects to `socket`, says `message`, and counts the connections that
    // stayed open for an answer (0 or 1) and the bytes answered.
    bool speakTo(const QString &socket, const QByteArray &message) {
        const QByteArray name = platform::nativePath(socket);
        return start([&](int ready, int, int report) {
            const int connection = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
            if (::connect(connection, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
                ::_exit(1);
            (void)!::write(ready, "r", 1);
            (void)!::write(connection, message.constData(), size_t(message.size()));
            Report counted{1, 0};
            pollfd watched{connection, POLLIN, 0};
            while (::poll(&watched, 1, 10000) > 0) {
                char buffer[64];
                const ssize_t got = ::read(connection, buffer, sizeof buffer);
                if (got <= 0) {
                    counted.connections = 0;  // the other end closed it
                    break;
                }
                counted.bytes += got;
            }
            (void)!::write(report, &counted, sizeof counted);
            ::_exit(0);
        });
    }

    // Whether the child is at work (the event loop spins meanwhile).
    bool waitUntilReady() {
        char mark = 0;
        return testing_qt::spinUntil([&] { return readable(m_ready); }, 10s) && ::read(m_ready, &mark, 1) == 1;
    }

    // Stops the child and gives what it counted.
    Report finish() {
        Report report;
        (void)!::write(m_stop, "s", 1);
        if (testing_qt::spinUntil([&] { return readable(m_report); }, 15s))
            (void)!::read(m_report, &report, sizeof report);
        return report;
    }

private:
    static bool readable(int fd) {
        pollfd watched{fd, POLLIN, 0};
        return ::poll(&watched, 1, 0) > 0;
    }

    template <typename Body>
    bool start(Body body) {
        int ready[2], stop[2], report[2];
        if (::pipe(ready) != 0 || ::pipe(stop) != 0 || ::pipe(report) != 0)
            return false;
        m_pid = ::fork();
        if (m_pid == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0)
                ::_exit(1);
            body(ready[1], stop[0], report[1]);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(stop[0]);
        ::close(report[1]);
        m_ready = ready[0];
        m_stop = stop[1];
        m_report = report[0];
        return m_pid > 0;
    }

    pid_t m_pid = -1;
    int m_ready = -1, m_stop = -1, m_report = -1;
};

// A temporary folder like the system's: every user writes in it, none
// removes what another made.
struct SharedTemporaryFolder {
    SharedTemporaryFolder() { ::chmod(platform::nativePath(dir.path()).constData(), 01777); }
    QString path() const { return dir.path(); }
    QTemporaryDir dir;
};

TEST(ProgramInstance, TheSocketLivesOnlyInAFolderOfTheUsersAlone) {
    SharedTemporaryFolder shared;
    QTemporaryDir home;
    const QString cache = home.filePath("cache");
    const ProgramInstance::Places places{QString(), shared.path(), cache};
    const QString own = shared.path() + "/orvane-" + QString::number(::geteuid());
    const QString inCache = cache + "/orvane-sockets";
    const auto folderOf = [&](const QString &preferences = "/home/ann/.config") {
        return QFileInfo(ProgramInstance::socketPath(preferences, "xcb :0", places)).path();
    };

    // Without a runtime folder: a folder of the program's own in the shared
    // one, made for the user alone.
    EXPECT_EQ(folderOf(), own);
    EXPECT_EQ(modeOf(own), 0700u);

    // What is there when the user is not the only one who may use it is
    // passed over, not repaired: the user's own cache folder takes the socket.
    ASSERT_EQ(::chmod(platform::nativePath(own).constData(), 0777), 0);
    EXPECT_EQ(folderOf(), inCache);
    EXPECT_EQ(modeOf(inCache), 0700u);
    EXPECT_EQ(modeOf(own), 0777u);
    ASSERT_TRUE(QDir(own).removeRecursively());
    // A link to a folder, even one of the user's alone.
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), own));
    ASSERT_EQ(modeOf(elsewhere.path()), 0700u);
    EXPECT_EQ(folderOf(), inCache);
    ASSERT_TRUE(QFile::remove(own));
    // A file in its place.
    {
        QFile file(own);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(folderOf(), inCache);
    ASSERT_TRUE(QFile::remove(own));
    // A folder another user made first, closed to all but its owner.
    if (canBecomeAnotherUser()) {
        ASSERT_EQ(::mkdir(platform::nativePath(own).constData(), 0700), 0);
        ASSERT_EQ(::chown(platform::nativePath(own).constData(), kOtherUser, kOtherUser), 0);
        EXPECT_EQ(folderOf(), inCache);
        ASSERT_TRUE(QDir(own).removeRecursively());
    }
    EXPECT_EQ(folderOf(), own);

    // The runtime folder, when it is set and the user's alone, as it is.
    QTemporaryDir runtime;
    ASSERT_EQ(modeOf(runtime.path()), 0700u);
    EXPECT_EQ(
        QFileInfo(ProgramInstance::socketPath("/home/ann/.config", "xcb :0", {runtime.path(), shared.path(), cache}))
            .path(),
        runtime.path());
    ASSERT_EQ(::chmod(platform::nativePath(runtime.path()).constData(), 0755), 0);
    EXPECT_EQ(
        QFileInfo(ProgramInstance::socketPath("/home/ann/.config", "xcb :0", {runtime.path(), shared.path(), cache}))
            .path(),
        own);
    ASSERT_EQ(::chmod(platform::nativePath(runtime.path()).constData(), 0700), 0);
    // Too deep for a socket's name, a folder is passed over.
    const QString deep = runtime.filePath(QString(100, u'd'));
    ASSERT_TRUE(QDir().mkpath(deep));
    ASSERT_EQ(::chmod(platform::nativePath(deep).constData(), 0700), 0);
    const QString path = ProgramInstance::socketPath("/home/ann/.config", "xcb :0", {deep, shared.path(), cache});
    EXPECT_EQ(QFileInfo(path).path(), own);
    EXPECT_LE(platform::nativePath(path).size(), ProgramInstance::kLongestSocketPath);

    // Nowhere safe: no socket, and the start runs as the only program.
    ASSERT_EQ(::chmod(platform::nativePath(own).constData(), 0777), 0);
    const QString nowhere =
        ProgramInstance::socketPath("/home/ann/.config", "xcb :0", {QString(), shared.path(), deep});
    EXPECT_TRUE(nowhere.isEmpty()) << nowhere.toStdString();
    ProgramInstance alone(nowhere);
    EXPECT_EQ(alone.claim({"/a.md"}), Role::Owner);
    EXPECT_FALSE(alone.isListening());
}

// Another user got to the shared temporary folder first: made the folder the
// program would make there, listens at the socket's name and holds its
// lock. The user's starts meet each other elsewhere, and tell that user
// nothing.
TEST(ProgramInstance, AnotherUserCanNeitherListenForTheStartsNorBlockThem) {
    if (!canBecomeAnotherUser())
        GTEST_SKIP() << "needs root to run a process as another user";
    SharedTemporaryFolder shared;
    QTemporaryDir home;
    const ProgramInstance::Places places{QString(), shared.path(), home.filePath("cache")};
    const QString taken = shared.path() + "/orvane-" + QString::number(::geteuid());
    // The name the socket had there: the same in every folder.
    QTemporaryDir probe;
    const QString name =
        QFileInfo(ProgramInstance::socketPath("/home/ann/.config", "xcb :0", {probe.path(), {}, {}})).fileName();
    OtherUsersProcess squatter;
    ASSERT_TRUE(squatter.squat(taken, taken + "/" + name));
    ASSERT_TRUE(squatter.waitUntilReady());

    const QString socket = ProgramInstance::socketPath("/home/ann/.config", "xcb :0", places);
    ASSERT_FALSE(socket.isEmpty());
    EXPECT_FALSE(socket.startsWith(taken)) << socket.toStdString();
    ProgramInstance owner(socket);
    ASSERT_EQ(owner.claim({"/home/ann/first.md"}), Role::Owner);
    EXPECT_TRUE(owner.isListening());
    QList<QStringList> received;
    QObject::connect(&owner, &ProgramInstance::pathsReceived, [&](const QStringList &paths) { received << paths; });
    auto later =
        laterStart(ProgramInstance::socketPath("/home/ann/.config", "xcb :0", places), {"/home/ann/private/letter.md"});
    EXPECT_EQ(waitFor(later), Role::HandedOver);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return received.size() == 1; }));
    EXPECT_EQ(received.first(), QStringList{"/home/ann/private/letter.md"});

    const OtherUsersProcess::Report report = squatter.finish();
    EXPECT_EQ(report.connections, 0);
    EXPECT_EQ(report.bytes, 0);
}

// Should a process of another user be at either end of the socket all the
// same (a runtime folder it may write in, a socket made open to all), the
// start sends it no byte and runs as the first program, and the owner reads
// nothing from it.
TEST(ProgramInstance, NeitherEndSpeaksToAProcessOfAnotherUser) {
    if (!canBecomeAnotherUser())
        GTEST_SKIP() << "needs root to run a process as another user";
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(platform::nativePath(dir.path()).constData(), 0777), 0);

    // Another user's program listens and holds the lock.
    const QString theirs = dir.filePath("theirs");
    {
        OtherUsersProcess stranger;
        ASSERT_TRUE(stranger.squat(dir.path(), theirs));
        ASSERT_TRUE(stranger.waitUntilReady());
        ProgramInstance start(theirs);
        EXPECT_EQ(start.claim({"/home/ann/private/letter.md"}, ProgramInstance::Mode::HandOver, 5s), Role::Owner);
        const OtherUsersProcess::Report report = stranger.finish();
        EXPECT_EQ(report.bytes, 0);
    }

    // The user's program listens; another user's process connects and
    // says what a start would.
    const QString mine = dir.filePath("mine");
    ProgramInstance owner(mine);
    ASSERT_EQ(owner.claim({}), Role::Owner);
    ASSERT_TRUE(owner.isListening());
    ASSERT_EQ(::chmod(platform::nativePath(mine).constData(), 0777), 0);
    int received = 0;
    QObject::connect(&owner, &ProgramInstance::pathsReceived, [&] { received++; });
    OtherUsersProcess stranger;
    ASSERT_TRUE(stranger.speakTo(mine, startMessage({"/etc/passwd"})));
    ASSERT_TRUE(stranger.waitUntilReady());
    const OtherUsersProcess::Report report = stranger.finish();
    EXPECT_EQ(report.connections, 0) << "the owner closes the connection";
    EXPECT_EQ(report.bytes, 0) << "and answers nothing";
    testing_qt::spinFor(100ms);
    EXPECT_EQ(received, 0);
    // The user's own starts are still taken, the same message among them.
    auto start = laterStart(mine, {"/etc/passwd"});
    EXPECT_EQ(waitFor(start), Role::HandedOver);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return received == 1; }));
}

}  // namespace
