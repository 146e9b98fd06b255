// The process that runs a web view's page, kept within what this machine can
// spare, and ended when it must be.
//
// - Memory: the process may hold at most bound() bytes of data of its own
//   (its script heap, array buffers, the document's nodes). As soon as the
//   process is known the kernel is told to hold it there (its RLIMIT_DATA:
//   an allocation past it fails, and the engine crashes the process), and a
//   thread of its own looks at the process's data many times a second, so
//   that a busy main thread does not delay the looks: a process that comes
//   near the bound (a page whose allocations fail there and that goes on
//   asking) is ended. A process that crashes while it held half its bound,
//   or could have come near the bound since it was last seen (at the pace
//   it was seen growing), ended for memory too: loading it again would only
//   end the same way. One killed from outside did not. Should the kernel
//   refuse the limit, the looks alone hold the page near its bound.
// - A process that stops answering can be ended on request (end()). Its
//   watch tells whether it is still building what it was given
//   (isGrowing()): a page that lays out megabytes takes memory step by
//   step, while one stuck in a loop of its own holds still (and one that
//   takes memory without end meets its bound).
// The object lives on the main thread; only its watch runs on another.
#pragma once

#include <QObject>
#include <QWebEnginePage>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {

class PageProcess : public QObject {
    Q_OBJECT

public:
    // Why a page's process ended.
    enum class End {
        Crashed,        // by itself, or killed from outside
        TooMuchMemory,  // at its memory bound
        NotAnswering,   // ended by end(NotAnswering)
    };

    // A quarter of this machine's memory, at least 1 GiB and at most 4 GiB.
    static qint64 defaultBound();

    explicit PageProcess(QWebEnginePage *page, QObject *parent = nullptr);
    ~PageProcess() override;

    // The most data the page's process may hold, in bytes; a new bound
    // applies to the next process.
    qint64 bound() const { return m_bound; }
    void setBound(qint64 bytes);

    // Learns the page's process: a process not seen before is limited and
    // watched from now on.
    void look();
    // Forgets what was seen of the process watched, for another one (under
    // m_mutex).
    void forgetLooks();
    // Ends the page's process now (for NotAnswering; TooMuchMemory is the
    // watch's own business).
    void end(End why);
    // The page's process ended with `status`: why it did. The process is
    // forgotten.
    End ended(QWebEnginePage::RenderProcessTerminationStatus status);
    // Whether the process's data reached a new high (by kRise or more over
    // the one before) since `since`.
    bool isGrowing(std::chrono::steady_clock::time_point since);
    static constexpr qint64 kRise = 64 * 1024;
    // How many bytes of data process `pid` holds; -1 when it cannot be read
    // (or it has ended).
    static qint64 dataOf(qint64 pid);

private:
    using Clock = std::chrono::steady_clock;

    void limit(qint64 pid, qint64 bound);
    // The watch's thread: looks at the process while there is one.
    void watch();
    // Data at which the process is ended: a little under the bound, where a
    // page whose allocations fail stays.
    static qint64 watermarkOf(qint64 bound) { return bound - bound / 16; }

    QWebEnginePage *m_page;
    qint64 m_bound;      // for the next process (main thread)
    bool m_refusedLogged = false;

    // Shared with the watch, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    qint64 m_pid = 0;            // the process watched
    qint64 m_watchedBound = 0;   // its bound
    qint64 m_data = 0;           // its data at the last look
    qint64 m_fastest = 0;        // the fastest it was seen growing, bytes a second
    Clock::time_point m_lookedAt;
    bool m_seen = false;         // m_data and m_lookedAt hold a look
    qint64 m_highest = 0;        // the most data it was seen holding
    Clock::time_point m_roseAt;  // when that last rose by kRise or more
    bool m_rose = false;         // m_roseAt holds a rise
    bool m_endedHere = false;
    End m_why = End::Crashed;

    std::thread m_watch;
};

}  // namespace platform
