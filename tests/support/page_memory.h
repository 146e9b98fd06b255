// The memory a web view's page processes hold, for tests that bound it: the
// data of a process (what PageProcess holds within its bound), and a watch
// that follows every process a page runs in from a thread of its own, many
// times a second, so that a short high while the test's thread waits on
// the page is not missed.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QObject>
#include <QWebEnginePage>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace testing_proc {

// The data a process holds (its VmData), in bytes; -1 once it is gone.
inline qint64 dataOfProcess(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (pid <= 0 || !status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmData:"))
            return line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// Every process `page` runs in from now on (a new page may come in a new
// one), looked at every few milliseconds until the watch goes.
class PageMemoryWatch {
public:
    explicit PageMemoryWatch(QWebEnginePage *page) {
        // The engine tells of a new process as the page loads in it, not
        // always by the change of its pid.
        const auto look = [this, page] { follow(page->renderProcessPid()); };
        look();
        m_connections << QObject::connect(page, &QWebEnginePage::renderProcessPidChanged, look)
                      << QObject::connect(page, &QWebEnginePage::loadStarted, look)
                      << QObject::connect(page, &QWebEnginePage::loadProgress, look)
                      << QObject::connect(page, &QWebEnginePage::loadFinished, look);
        m_thread = std::thread([this] { watch(); });
    }
    ~PageMemoryWatch() {
        for (const QMetaObject::Connection &connection : m_connections)
            QObject::disconnect(connection);
        m_stop = true;
        m_thread.join();
    }
    PageMemoryWatch(const PageMemoryWatch &) = delete;
    PageMemoryWatch &operator=(const PageMemoryWatch &) = delete;

    // The most any one of the processes held since the watch began or was
    // restarted.
    qint64 peak() const { return m_peak; }
    // The most all of them held at once.
    qint64 peakTogether() const { return m_peakTogether; }
    void restart() {
        m_peak = 0;
        m_peakTogether = 0;
    }

private:
    void follow(qint64 pid) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (pid > 0 && !m_pids.contains(pid))
            m_pids << pid;
    }
    void watch() {
        while (!m_stop) {
            QList<qint64> pids;
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                pids = m_pids;
            }
            qint64 together = 0;
            for (qint64 pid : pids) {
                const qint64 data = dataOfProcess(pid);
                if (data <= 0)
                    continue;
                together += data;
                if (data > m_peak)
                    m_peak = data;
            }
            if (together > m_peakTogether)
                m_peakTogether = together;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::mutex m_mutex;
    QList<qint64> m_pids;  // under m_mutex; those that ended read as none
    std::atomic<qint64> m_peak{0};
    std::atomic<qint64> m_peakTogether{0};
    std::atomic<bool> m_stop{false};
    QList<QMetaObject::Connection> m_connections;
    std::thread m_thread;
};

}  // namespace testing_proc
