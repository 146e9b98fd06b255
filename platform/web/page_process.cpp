#include "platform/web/page_process.h"

#include "platform/runtime/log.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr qint64 GiB = qint64(1) << 30;

// The fastest a page's data is taken to grow between two looks: a script
// allocating in a loop grows its process by about half of this.
constexpr qint64 FastestGrowthPerSecond = GiB;

// How long the looks may be apart, at most and at least.
constexpr qint64 LongestLookMilliseconds = 1000;
constexpr qint64 ShortestLookMilliseconds = 50;

qint64 growthIn(qint64 milliseconds) { return FastestGrowthPerSecond / 1000 * std::max<qint64>(milliseconds, 0); }

}  // namespace

qint64 PageProcess::defaultBound() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return 2 * GiB;
    return std::clamp(qint64(pages) * qint64(pageSize) / 4, GiB, 4 * GiB);
}

PageProcess::PageProcess(QWebEnginePage *page, QObject *parent)
    : QObject(parent), m_page(page), m_bound(defaultBound()) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &PageProcess::look);
    // A new process shows itself as the page loads; the looks then follow
    // it while it lives.
    connect(page, &QWebEnginePage::loadStarted, this, &PageProcess::look);
    connect(page, &QWebEnginePage::loadProgress, this, &PageProcess::look);
    connect(page, &QWebEnginePage::loadFinished, this, &PageProcess::look);
    connect(page, &QWebEnginePage::renderProcessPidChanged, this, &PageProcess::look);
}

void PageProcess::setBound(qint64 bytes) {
    if (bytes > 0)
        m_bound = bytes;
}

qint64 PageProcess::dataOf(qint64 pid) {
    // The sixth of statm's figures is the data (and stack), in pages.
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> figures = statm.readLine(256).simplified().split(' ');
    bool number = false;
    const qint64 pages = figures.size() > 5 ? figures[5].toLongLong(&number) : 0;
    return number ? pages * qint64(::sysconf(_SC_PAGE_SIZE)) : -1;
}

void PageProcess::look() {
    const qint64 pid = m_page->renderProcessPid();
    if (pid <= 0) {
        m_timer.stop();
        return;
    }
    if (pid != m_pid) {
        m_pid = pid;
        m_endedHere = false;
        m_data = 0;
        limit(pid);
    }
    if (m_endedHere)
        return;
    const qint64 data = dataOf(pid);
    if (data >= 0) {
        m_data = data;
        m_lookedAt.start();
    }
    if (m_data >= watermark()) {
        qCWarning(lcPlatform) << "A page's process holds" << m_data / (1 << 20) << "MB, near its bound of"
                              << m_bound / (1 << 20) << "MB: it is ended";
        m_why = End::TooMuchMemory;
        m_endedHere = true;
        ::kill(pid_t(pid), SIGKILL);
        return;
    }
    scheduleLook();
}

void PageProcess::limit(qint64 pid) {
    // Only ever lowered: the engine may have set a lower limit of its own.
    struct rlimit current;
    bool limited = ::prlimit(pid_t(pid), RLIMIT_DATA, nullptr, &current) == 0;
    if (limited) {
        struct rlimit wanted;
        wanted.rlim_cur = std::min<rlim_t>(current.rlim_cur, rlim_t(m_bound));
        wanted.rlim_max = std::min<rlim_t>(current.rlim_max, rlim_t(m_bound));
        limited = ::prlimit(pid_t(pid), RLIMIT_DATA, &wanted, nullptr) == 0;
    }
    if (!limited && !m_refusedLogged) {
        m_refusedLogged = true;
        qCWarning(lcPlatform) << "The system refused to limit a page's memory (" << strerror(errno)
                              << "): the page is ended when it comes near its bound";
    }
}

void PageProcess::scheduleLook() {
    const qint64 headroom = std::max<qint64>(watermark() - m_data, 0);
    m_timer.start(int(
        std::clamp(headroom / std::max<qint64>(growthIn(1), 1), ShortestLookMilliseconds, LongestLookMilliseconds)));
}

void PageProcess::end(End why) {
    const qint64 pid = m_page->renderProcessPid();
    if (pid <= 0 || m_endedHere)
        return;
    if (pid != m_pid) {
        m_pid = pid;
        m_data = 0;
    }
    m_why = why;
    m_endedHere = true;
    ::kill(pid_t(pid), SIGKILL);
}

PageProcess::End PageProcess::ended(QWebEnginePage::RenderProcessTerminationStatus status) {
    End why = End::Crashed;
    if (m_endedHere) {
        why = m_why;
    } else if ((status == QWebEnginePage::CrashedTerminationStatus ||
                status == QWebEnginePage::AbnormalTerminationStatus) &&
               m_lookedAt.isValid() && m_data + growthIn(m_lookedAt.elapsed()) >= watermark()) {
        // An allocation refused at the bound crashes the process: it could
        // have come there since it was last seen.
        why = End::TooMuchMemory;
    }
    m_pid = 0;
    m_data = 0;
    m_lookedAt.invalidate();
    m_endedHere = false;
    m_timer.stop();
    return why;
}

}  // namespace platform
