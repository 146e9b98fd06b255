// The process that runs a web view's page, kept within what this machine can
// spare, and ended when it must be.
//
// - Memory: the process may hold at most bound() bytes of data of its own
//   (its script heap, array buffers, the document's nodes). As soon as the
//   process is known the kernel is told to hold it there (its RLIMIT_DATA:
//   an allocation past it fails), and its data is looked at, once a second
//   and more often as it nears the bound: a process that comes near the
//   bound (a page whose allocations fail there and that goes on asking) is
//   ended. A process that crashes while it could have reached the bound
//   since it was last seen ended for memory too; one killed from outside did
//   not. Should the kernel refuse the limit, the looks alone hold the page
//   near its bound.
// - A process that stops answering can be ended on request (end()).
// Main thread only.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QWebEnginePage>

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

    // The most data the page's process may hold, in bytes; a new bound
    // applies to the next process.
    qint64 bound() const { return m_bound; }
    void setBound(qint64 bytes);

    // Looks at the page's process now: a process not seen before is
    // limited, one near its bound is ended.
    void look();
    // Ends the page's process now (for NotAnswering; TooMuchMemory is the
    // watch's own business).
    void end(End why);
    // The page's process ended with `status`: why it did. The process is
    // forgotten.
    End ended(QWebEnginePage::RenderProcessTerminationStatus status);

private:
    // How many bytes of data the process holds; -1 when it cannot be read.
    static qint64 dataOf(qint64 pid);
    void limit(qint64 pid);
    // When to look again: sooner the nearer the data is to the bound.
    void scheduleLook();
    // Data at which the process is ended: a little under the bound, where a
    // page whose allocations fail stays.
    qint64 watermark() const { return m_bound - m_bound / 16; }

    QWebEnginePage *m_page;
    qint64 m_bound;
    qint64 m_pid = 0;   // the process looked at
    qint64 m_data = 0;  // its data at the last look
    QElapsedTimer m_lookedAt;
    bool m_endedHere = false;
    End m_why = End::Crashed;
    bool m_refusedLogged = false;
    QTimer m_timer;
};

}  // namespace platform
