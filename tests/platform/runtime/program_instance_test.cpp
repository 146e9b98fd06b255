// One running program: the first start owns and listens, a later one hands
// its paths over (their bytes kept) or, asked to run beside, is a guest; a
// socket left by a killed owner is taken over; what is not a start of ours
// is refused; an owner that stopped listening leaves later starts waiting.
#include "platform/runtime/program_instance.h"

#include <QLocalSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

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
    const QString mine = ProgramInstance::socketPath("/home/ann/.config", "xcb :0");
    EXPECT_EQ(ProgramInstance::socketPath("/home/ann/.config/", "xcb :0"), mine);
    EXPECT_NE(ProgramInstance::socketPath("/tmp/test-home/config", "xcb :0"), mine);
    EXPECT_NE(ProgramInstance::socketPath("/home/ann/.config", "xcb :1"), mine);
    EXPECT_LE(platform::nativePath(mine).size() + 5, 107) << "a socket path with its lock file's suffix";
}

}  // namespace
