// One running program per user, display and preferences folder. The first
// start owns the preferences and the crash flag; every later start hands the
// paths it was given to that program and ends, before it reads a preference
// or shows anything.
//
//   ProgramInstance instance(ProgramInstance::socketPath(Folders::configFolder(), display));
//   switch (instance.claim(paths)) {
//   case ProgramInstance::Role::HandedOver: return 0;   // the running one opens them
//   case ProgramInstance::Role::Owner: ...              // this is the program
//   }
//   connect(&instance, &ProgramInstance::pathsReceived, ...);
//
// How: the owner holds a lock on a file (flock) for the whole life of its
// process, so that the system lets the lock go however the process ends, a
// kill included; beside it is a local socket the owner listens on. A start
// that gets the lock is the owner: it takes the socket over (a killed owner
// leaves its socket behind) and listens. A start that does not get it
// connects, sends its paths, and ends once the owner says it has them.
// While the owner is starting, or quitting, there is no one to answer yet:
// the start tries again until the owner answers or the lock is free (then it
// owns), so two programs started at the same moment end as one.
//
// The paths travel as the bytes that name them on disk, and they are the
// user's business alone: the socket and its lock live only in a folder that
// no other user may enter (socketPath()), so that nobody else can listen
// there first, take the lock, or learn what the user opens; and both ends
// ask the system which user the other end runs as, and speak only to their
// own user. A start that finds another user's program at its socket says
// nothing to it and runs as the first program.
//
// Main thread only.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>

class QLocalServer;
class QLocalSocket;

namespace platform {

class ProgramInstance : public QObject {
    Q_OBJECT

public:
    enum class Role {
        Owner,       // this process is the program (it listens for later starts)
        HandedOver,  // the running program took the paths: this process ends
        Guest,       // another program runs and this one was asked not to hand over
        Unanswered,  // a program runs but did not take the paths in time
    };
    enum class Mode {
        HandOver,     // a running program gets the paths
        RunBeside,    // this process runs anyway (as a guest when another owns)
    };

    // The folders the socket may live in, in the order they are tried. Each
    // is used only when it is the user's alone: a folder, not a link to
    // one, owned by the user, that nobody else may enter, read or write.
    // The runtime folder is used as it is; in the others the program makes
    // a folder of its own (mode 0700) and checks it before every use, so
    // that one another user made there first is passed over, never used. A
    // folder too deep for the name of a socket is passed over too.
    struct Places {
        QString runtime;    // the user's runtime folder ($XDG_RUNTIME_DIR); empty when unset
        QString temporary;  // a folder every user writes in: "orvane-<uid>" is made in it
        QString cache;      // the user's own cache folder: "orvane-sockets" is made in it
        // This process's: its environment's runtime, temporary and cache folders.
        static Places ofThisProcess();
    };

    // The socket of the program of this user on `display` (the display
    // server the process draws on) with the preferences in
    // `preferencesFolder`, in the first of `places` that is the user's
    // alone (its folder made when missing); the lock file is beside it.
    // Empty when no place is safe: the program then runs without one
    // (claim() makes it the owner).
    static QString socketPath(const QString &preferencesFolder, const QString &display,
                              const Places &places = Places::ofThisProcess());
    // The longest path a local socket can be bound to (sun_path, without
    // its terminating zero).
    static constexpr qsizetype kLongestSocketPath = 107;
    // The display server this process draws on, e.g. "xcb :0".
    static QString currentDisplay();

    explicit ProgramInstance(const QString &socketPath, QObject *parent = nullptr);
    ~ProgramInstance() override;

    QString serverPath() const { return m_socketPath; }
    Role role() const { return m_role; }

    // Owns, or hands `paths` (absolute, as the bytes on disk; none: only
    // bring the program forward) to the program that owns, waiting at most
    // `patience` for one that is starting or quitting. No socket path, or a
    // lock file that cannot be made, leaves this process the owner (said in
    // the log), as if it ran alone; so does a program of another user at
    // the socket, which is told nothing.
    Role claim(const QList<QByteArray> &paths, Mode mode = Mode::HandOver,
               std::chrono::milliseconds patience = std::chrono::seconds(30));

    // The owner no longer takes paths (it is quitting); it keeps its lock
    // until the process ends, so that a start meanwhile waits for it to go
    // and then owns.
    void stopListening();
    bool isListening() const;

signals:
    // Paths a later start handed over (empty: it only asked to be brought
    // forward), as paths whose bytes are those on disk.
    void pathsReceived(const QStringList &paths);

private:
    enum class Answer { Taken, NoAnswer, Stranger };
    bool listen();
    void takeConnection(QLocalSocket *socket);
    static Answer handOver(const QString &socketPath, const QList<QByteArray> &paths, std::chrono::milliseconds wait);

    const QString m_socketPath;
    int m_lockFile = -1;
    Role m_role = Role::Owner;
    QLocalServer *m_server = nullptr;
};

}  // namespace platform
