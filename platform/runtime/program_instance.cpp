#include "platform/runtime/program_instance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <memory>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/runtime/log.h"
#include "platform/files/native_path.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// What a start sends: this mark, the number of paths, then each path's bytes.
const QByteArray kGreeting = QByteArrayLiteral("orvane-open-1");
// The owner's word that it has the paths.
constexpr char kTaken = 'k';
// A message longer than this is no start of ours.
constexpr qsizetype kLongestMessage = 16 * 1024 * 1024;
constexpr quint32 kMostPaths = 100000;
constexpr qsizetype kLongestPath = 64 * 1024;
// How long a start may take to say what it came for.
constexpr int kMessageTimeoutMs = 10000;

QByteArray message(const QList<QByteArray> &paths) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kGreeting << quint32(paths.size());
    for (const QByteArray &path : paths)
        out << path;
    return bytes;
}

enum class Parsed { Incomplete, Bad, Done };

// Reads a message as it arrives: Incomplete until all of it is there, Bad as
// soon as it cannot be one of ours.
Parsed parse(const QByteArray &bytes, QList<QByteArray> *paths) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    // Each part: its length, then its bytes.
    auto part = [&in](qsizetype longest, QByteArray *into) {
        quint32 length = 0;
        in >> length;
        if (in.status() != QDataStream::Ok)
            return Parsed::Incomplete;
        if (length == 0 || length > quint32(longest))
            return Parsed::Bad;
        into->resize(qsizetype(length));
        if (in.readRawData(into->data(), int(length)) != int(length))
            return Parsed::Incomplete;
        return Parsed::Done;
    };
    QByteArray greeting;
    if (const Parsed read = part(kGreeting.size(), &greeting); read != Parsed::Done)
        return read;
    if (greeting != kGreeting)
        return Parsed::Bad;
    quint32 count = 0;
    in >> count;
    if (in.status() != QDataStream::Ok)
        return Parsed::Incomplete;
    if (count > kMostPaths)
        return Parsed::Bad;
    paths->clear();
    for (quint32 i = 0; i < count; i++) {
        QByteArray path;
        if (const Parsed read = part(kLongestPath, &path); read != Parsed::Done)
            return read;
        if (path.contains('\0'))
            return Parsed::Bad;
        paths->append(path);
    }
    return in.atEnd() ? Parsed::Done : Parsed::Bad;
}

QString lockPathOf(const QString &socketPath) { return socketPath + QStringLiteral(".lock"); }

QString systemError(int error) { return QString::fromLocal8Bit(strerror(error)); }

// Whether `folder` is this user's alone: a folder itself (not a link to
// one), owned by the user, that nobody else may enter, read or write. When
// not, `why` says what is wrong with it.
bool isPrivateFolder(const QString &folder, QString *why) {
    if (isNativeOnly(folder)) {
        // The local socket classes would name another file.
        *why = QStringLiteral("its name is not text");
        return false;
    }
    struct stat info;
    if (::lstat(nativePath(folder).constData(), &info) != 0) {
        *why = systemError(errno);
        return false;
    }
    if (S_ISLNK(info.st_mode))
        *why = QStringLiteral("it is a symbolic link");
    else if (!S_ISDIR(info.st_mode))
        *why = QStringLiteral("it is not a folder");
    else if (info.st_uid != ::geteuid())
        *why = QStringLiteral("it belongs to user %1").arg(qulonglong(info.st_uid));
    else if ((info.st_mode & 077) != 0)
        *why = QStringLiteral("other users may use it (mode %1)").arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    else
        return true;
    return false;
}

// Makes `folder` for this user alone (its parent must exist) and checks
// what is there, which may have been made by someone else.
bool makePrivateFolder(const QString &folder, QString *why) {
    if (::mkdir(nativePath(folder).constData(), 0700) != 0 && errno != EEXIST) {
        *why = systemError(errno);
        return false;
    }
    return isPrivateFolder(folder, why);
}

// The user the process at the other end of a local socket runs as.
std::optional<uid_t> peerUser(qintptr descriptor) {
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (descriptor < 0 || ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        size != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
}

bool isOwnUser(qintptr descriptor) {
    const std::optional<uid_t> user = peerUser(descriptor);
    return user && *user == ::geteuid();
}

}  // namespace

ProgramInstance::Places ProgramInstance::Places::ofThisProcess() {
    // The variable itself: Qt's runtime location makes up a folder in the
    // shared temporary folder when it is unset.
    return {qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath(),
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)};
}

QString ProgramInstance::currentDisplay() {
    const QString platform = QGuiApplication::platformName();
    QString server;
    if (platform.startsWith(QLatin1String("wayland")))
        server = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"));
    else if (platform == QLatin1String("xcb"))
        server = qEnvironmentVariable("DISPLAY");
    return server.isEmpty() ? platform : platform + u' ' + server;
}

QString ProgramInstance::socketPath(const QString &preferencesFolder, const QString &display, const Places &places) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(nativePath(QDir::cleanPath(preferencesFolder)));
    hash.addData("\n");
    hash.addData(display.toUtf8());
    // A cache folder may be shared by the machines that mount the same
    // home: each has its own program.
    hash.addData("\n");
    hash.addData(QSysInfo::machineHostName().toUtf8());
    const QString name = QStringLiteral("orvane-") + QString::fromLatin1(hash.result().toHex().left(16));
    const QString user = QString::number(qulonglong(::geteuid()));

    struct Candidate {
        QString folder;
        bool made;  // the program's own folder, made when missing
    };
    QList<Candidate> candidates;
    if (!places.runtime.isEmpty())
        candidates.append({QDir::cleanPath(places.runtime), false});
    if (!places.temporary.isEmpty())
        candidates.append({QDir::cleanPath(places.temporary) + QStringLiteral("/orvane-") + user, true});
    if (!places.cache.isEmpty())
        candidates.append({QDir::cleanPath(places.cache) + QStringLiteral("/orvane-sockets"), true});
    for (const Candidate &candidate : std::as_const(candidates)) {
        const QString path = candidate.folder + u'/' + name;
        if (nativePath(path).size() > kLongestSocketPath)
            continue;  // too deep for a socket: not unsafe, no word
        if (candidate.made && !QDir().mkpath(QFileInfo(candidate.folder).path()))
            continue;
        QString why;
        if (candidate.made ? makePrivateFolder(candidate.folder, &why) : isPrivateFolder(candidate.folder, &why))
            return path;
        qCWarning(lcPlatform).noquote() << QStringLiteral("The folder %1 is not used for the running program's "
                                                          "socket: %2.")
                                               .arg(candidate.folder, why);
    }
    qCWarning(lcPlatform) << "No folder of this user's alone can hold the running program's socket: later starts "
                             "will not find this program.";
    return QString();
}

ProgramInstance::ProgramInstance(const QString &socketPath, QObject *parent)
    : QObject(parent), m_socketPath(socketPath) {}

ProgramInstance::~ProgramInstance() {
    stopListening();
    if (m_lockFile >= 0)
        ::close(m_lockFile);  // lets the lock go
}

bool ProgramInstance::isListening() const { return m_server && m_server->isListening(); }

ProgramInstance::Role ProgramInstance::claim(const QList<QByteArray> &paths, Mode mode,
                                             std::chrono::milliseconds patience) {
    if (m_socketPath.isEmpty())
        return m_role = Role::Owner;  // no safe place for a socket (socketPath() said so)
    if (m_lockFile < 0)
        m_lockFile =
            ::open(nativePath(lockPathOf(m_socketPath)).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lockFile < 0) {
        qCWarning(lcPlatform).noquote() << QStringLiteral("The lock %1 cannot be made (%2): later starts of the "
                                                          "program will not find this one.")
                                               .arg(lockPathOf(m_socketPath), systemError(errno));
        return m_role = Role::Owner;
    }
    const Clock::time_point deadline = Clock::now() + patience;
    for (;;) {
        if (::flock(m_lockFile, LOCK_EX | LOCK_NB) == 0) {
            listen();
            return m_role = Role::Owner;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            qCWarning(lcPlatform).noquote() << QStringLiteral("The lock %1 cannot be taken (%2): later starts of the "
                                                              "program will not find this one.")
                                                   .arg(lockPathOf(m_socketPath), systemError(errno));
            return m_role = Role::Owner;
        }
        if (mode == Mode::RunBeside)
            return m_role = Role::Guest;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return m_role = Role::Unanswered;
        switch (handOver(m_socketPath, paths, left)) {
        case Answer::Taken:
            return m_role = Role::HandedOver;
        case Answer::Stranger:
            qCWarning(lcPlatform).noquote()
                << QStringLiteral("A program of another user listens at %1: it is told nothing, and this program "
                                  "runs as if it were the first.")
                       .arg(m_socketPath);
            return m_role = Role::Owner;
        case Answer::NoAnswer:
            break;
        }
        QThread::msleep(50);  // the owner is starting or quitting
    }
}

// Sends the paths and waits for the owner's word. NoAnswer when there was no
// one to take them, or the owner went before it answered; Stranger, with
// nothing sent, when the one listening is not of this user.
ProgramInstance::Answer ProgramInstance::handOver(const QString &socketPath, const QList<QByteArray> &paths,
                                                  std::chrono::milliseconds wait) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(int(std::min<qint64>(wait.count(), 1000))))
        return Answer::NoAnswer;
    if (!isOwnUser(socket.socketDescriptor())) {
        socket.abort();
        return Answer::Stranger;
    }
    socket.write(message(paths));
    const Clock::time_point deadline = Clock::now() + wait;
    while (socket.bytesToWrite() > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !socket.waitForBytesWritten(int(left.count())))
            return Answer::NoAnswer;
    }
    // Sent: the owner has them and answers once it read them. Not sent
    // again, which would open them twice.
    while (socket.bytesAvailable() == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !socket.waitForReadyRead(int(left.count())))
            return Answer::NoAnswer;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kTaken ? Answer::Taken : Answer::NoAnswer;
}

bool ProgramInstance::listen() {
    // The folder keeps other users out (socketPath()); the socket itself
    // gets no access options, for which Qt would make a temporary folder
    // beside it, whose longer name may not fit a socket's.
    m_server = new QLocalServer(this);
    // The lock is ours: a socket there was left by a program that ended
    // without removing it (a kill, a crash).
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath)) {
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("Later starts of the program will not find this one: %1").arg(m_server->errorString());
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (m_server && m_server->hasPendingConnections())
            takeConnection(m_server->nextPendingConnection());
    });
    return true;
}

void ProgramInstance::takeConnection(QLocalSocket *socket) {
    socket->setParent(this);
    // Only the user's own starts: from anybody else not a byte is read.
    if (!isOwnUser(socket->socketDescriptor())) {
        qCWarning(lcPlatform) << "A connection from a process of another user was refused.";
        socket->abort();
        socket->deleteLater();
        return;
    }
    auto received = std::make_shared<QByteArray>();
    auto *timeout = new QTimer(socket);
    timeout->setSingleShot(true);
    timeout->start(kMessageTimeoutMs);
    // A start that says nothing in time, or nothing of ours, is cut off.
    auto refuse = [socket] {
        socket->abort();
        socket->deleteLater();
    };
    connect(timeout, &QTimer::timeout, socket, refuse);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, received, timeout, refuse] {
        *received += socket->readAll();
        QList<QByteArray> bytes;
        const Parsed parsed = received->size() > kLongestMessage ? Parsed::Bad : parse(*received, &bytes);
        if (parsed == Parsed::Incomplete)
            return;
        timeout->stop();
        if (parsed == Parsed::Bad) {
            qCWarning(lcPlatform) << "A message that is not a start of the program was refused.";
            refuse();
            return;
        }
        QStringList paths;
        for (const QByteArray &path : std::as_const(bytes))
            paths.append(pathFromNative(path));
        socket->putChar(kTaken);
        socket->flush();
        socket->disconnectFromServer();
        // Once the answer is on its way: opening may take a while, or ask.
        QMetaObject::invokeMethod(this, [this, paths] { emit pathsReceived(paths); }, Qt::QueuedConnection);
    });
    if (socket->bytesAvailable() > 0)
        emit socket->readyRead();
}

void ProgramInstance::stopListening() {
    if (!m_server)
        return;
    m_server->close();
    delete m_server;
    m_server = nullptr;
}

}  // namespace platform
