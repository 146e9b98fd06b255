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

// The pace a page's data is taken to grow at between two looks unless it
// was seen growing faster.
constexpr qint64 AssumedGrowthPerSecond = GiB;

// How often the watch looks at the process: often enough that a page
// allocating as fast as a script can gains a few tens of MB between looks,
// rarely enough to cost nothing.
constexpr auto LookInterval = std::chrono::milliseconds(20);

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
    // A new process shows itself as the page loads.
    connect(page, &QWebEnginePage::loadStarted, this, &PageProcess::look);
    connect(page, &QWebEnginePage::loadProgress, this, &PageProcess::look);
    connect(page, &QWebEnginePage::loadFinished, this, &PageProcess::look);
    connect(page, &QWebEnginePage::renderProcessPidChanged, this, &PageProcess::look);
    m_watch = std::thread([this] { watch(); });
}

PageProcess::~PageProcess() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_watch.join();
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
    // A process that has ended but is not yet reaped reads as all zeros:
    // that is no look at its data (a live process always has some).
    return number && pages > 0 ? pages * qint64(::sysconf(_SC_PAGE_SIZE)) : -1;
}

void PageProcess::forgetLooks() {
    m_data = 0;
    m_fastest = 0;
    m_seen = false;
    m_highest = 0;
    m_rose = false;
}

void PageProcess::look() {
    const qint64 pid = m_page->renderProcessPid();
    if (pid <= 0)
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (pid == m_pid)
            return;
        m_pid = pid;
        m_watchedBound = m_bound;
        forgetLooks();
        m_endedHere = false;
    }
    limit(pid, m_bound);
    m_wake.notify_all();
}

void PageProcess::limit(qint64 pid, qint64 bound) {
    // Only ever lowered: the engine may have set a lower limit of its own.
    struct rlimit current;
    bool limited = ::prlimit(pid_t(pid), RLIMIT_DATA, nullptr, &current) == 0;
    if (limited) {
        struct rlimit wanted;
        wanted.rlim_cur = std::min<rlim_t>(current.rlim_cur, rlim_t(bound));
        wanted.rlim_max = std::min<rlim_t>(current.rlim_max, rlim_t(bound));
        limited = ::prlimit(pid_t(pid), RLIMIT_DATA, &wanted, nullptr) == 0;
    }
    if (!limited && !m_refusedLogged) {
        m_refusedLogged = true;
        qCWarning(lcPlatform) << "The system refused to limit a page's memory (" << strerror(errno)
                              << "): the page is ended when it comes near its bound";
    }
}

void PageProcess::watch() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || (m_pid > 0 && !m_endedHere); });
        if (m_stopping)
            return;
        const qint64 pid = m_pid;
        lock.unlock();
        const qint64 data = dataOf(pid);
        const Clock::time_point now = Clock::now();
        lock.lock();
        if (pid != m_pid || m_endedHere)
            continue;  // forgotten or ended meanwhile
        if (data >= 0) {
            if (m_seen && data > m_data) {
                const auto apart = std::chrono::duration_cast<std::chrono::microseconds>(now - m_lookedAt).count();
                if (apart > 0)
                    m_fastest = std::max(m_fastest, qint64(double(data - m_data) * 1e6 / double(apart)));
            }
            m_data = data;
            m_lookedAt = now;
            m_seen = true;
            if (data >= m_highest + kRise) {
                m_highest = data;
                m_roseAt = now;
                m_rose = true;
            }
        }
        if (m_seen && m_data >= watermarkOf(m_watchedBound)) {
            qCWarning(lcPlatform) << "A page's process holds" << m_data / (1 << 20) << "MB, near its bound of"
                                  << m_watchedBound / (1 << 20) << "MB: it is ended";
            m_why = End::TooMuchMemory;
            m_endedHere = true;
            ::kill(pid_t(pid), SIGKILL);
            continue;
        }
        m_wake.wait_for(lock, LookInterval, [this, pid] { return m_stopping || m_pid != pid; });
    }
}

void PageProcess::end(End why) {
    const qint64 pid = m_page->renderProcessPid();
    if (pid <= 0)
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_endedHere && pid == m_pid)
            return;
        if (pid != m_pid) {
            m_pid = pid;
            forgetLooks();
        }
        m_why = why;
        m_endedHere = true;
        ::kill(pid_t(pid), SIGKILL);
    }
    m_wake.notify_all();
}

PageProcess::End PageProcess::ended(QWebEnginePage::RenderProcessTerminationStatus status) {
    End why = End::Crashed;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_endedHere) {
            why = m_why;
        } else if ((status == QWebEnginePage::CrashedTerminationStatus ||
                    status == QWebEnginePage::AbnormalTerminationStatus) &&
                   m_seen && m_watchedBound > 0) {
            // An allocation refused at the bound crashes the process. It
            // came there if it already held half of it, or could have since
            // it was last seen.
            const double since = std::chrono::duration<double>(Clock::now() - m_lookedAt).count();
            const qint64 pace = std::max(AssumedGrowthPerSecond, m_fastest);
            const double reach = double(m_data) + double(pace) * since;
            if (m_data >= m_watchedBound / 2 || reach >= double(watermarkOf(m_watchedBound)))
                why = End::TooMuchMemory;
        }
        m_pid = 0;
        m_data = 0;
        m_fastest = 0;
        m_seen = false;
        m_highest = 0;
        m_rose = false;
        m_endedHere = false;
    }
    m_wake.notify_all();
    return why;
}

bool PageProcess::isGrowing(Clock::time_point since) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_pid > 0 && !m_endedHere && m_rose && m_roseAt >= since;
}

}  // namespace platform
