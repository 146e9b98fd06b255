#include "platform/runtime/idle_work.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

namespace platform {

IdleTask::IdleTask(Slice slice) : m_slice(std::move(slice)) {}

IdleTask::~IdleTask() {
    if (m_scheduled)
        IdleWork::instance().dequeue(this);
}

void IdleTask::schedule() {
    if (m_scheduled)
        return;
    m_scheduled = true;
    IdleWork::instance().enqueue(this);
}

void IdleTask::cancel() {
    if (!m_scheduled)
        return;
    m_scheduled = false;
    IdleWork::instance().dequeue(this);
}

IdleWork &IdleWork::instance() {
    // Made on first use and never destroyed: tasks may outlive any order of
    // static destruction, and the timer belongs to the main thread.
    static IdleWork *work = new IdleWork;
    return *work;
}

IdleWork::IdleWork() {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (turn())
            wake();
    });
}

void IdleWork::enqueue(IdleTask *task) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (!contains(task))
        m_queue.push_back(task);
    wake();
}

void IdleWork::dequeue(IdleTask *task) {
    m_queue.erase(std::remove(m_queue.begin(), m_queue.end(), task), m_queue.end());
    if (m_queue.empty())
        m_timer.stop();
}

bool IdleWork::contains(const IdleTask *task) const {
    return std::find(m_queue.begin(), m_queue.end(), task) != m_queue.end();
}

void IdleWork::wake() {
    if (m_queue.empty() || m_timer.isActive())
        return;
    m_timer.start(isHeld() ? kHeldGapMilliseconds : 0);
}

void IdleWork::hold(const QObject *holder) {
    if (!holder || std::find(m_holders.begin(), m_holders.end(), holder) != m_holders.end())
        return;
    m_holders.push_back(holder);
    connect(holder, &QObject::destroyed, this, [this, holder] {
        m_holders.erase(std::remove(m_holders.begin(), m_holders.end(), holder), m_holders.end());
        if (!isHeld() && m_timer.isActive()) {
            m_timer.stop();
            wake();
        }
    });
    // A turn due at once now waits for the gap.
    if (m_timer.isActive() && m_timer.interval() == 0) {
        m_timer.stop();
        wake();
    }
}

void IdleWork::release(const QObject *holder) {
    const auto at = std::find(m_holders.begin(), m_holders.end(), holder);
    if (at == m_holders.end())
        return;
    m_holders.erase(at);
    disconnect(holder, &QObject::destroyed, this, nullptr);
    if (!isHeld() && m_timer.isActive()) {
        m_timer.stop();
        wake();
    }
}

int IdleWork::rank(const IdleTask *task) {
    const QWidget *widget = task->m_widget;
    if (!widget || !widget->isVisible())
        return 2;
    return widget->isActiveWindow() ? 0 : 1;
}

bool IdleWork::turn() {
    if (m_queue.empty())
        return false;
    const QDeadlineTimer deadline(kTurnMilliseconds, Qt::PreciseTimer);
    // The order of this turn: by rank, the widget in front's tasks in their
    // fixed order, the others by the one that waited longest. A slice may
    // destroy, cancel or schedule any task (its own included), so each is
    // looked for in the queue again before its slice.
    std::vector<std::pair<int, IdleTask *>> order;
    order.reserve(m_queue.size());
    for (IdleTask *task : m_queue)
        order.emplace_back(rank(task), task);
    std::stable_sort(order.begin(), order.end(), [](const auto &a, const auto &b) {
        if (a.first != b.first)
            return a.first < b.first;
        if (a.first == 0)
            return a.second->m_order < b.second->m_order;
        return a.second->m_lastSlice < b.second->m_lastSlice;
    });
    // While held, the tasks in front keep to the turn's time too.
    const bool held = isHeld();
    for (const auto &[rank, task] : order) {
        // Each task of the editor in front has a slice of its own length in
        // every turn; the others share what is left of the turn's time.
        if ((rank > 0 || held) && deadline.hasExpired())
            break;
        if (!contains(task))
            continue;
        // While held, the work of a widget that is not shown (a tab behind
        // the one in front) waits: it is for no one to see yet, and what the
        // user waits for needs the loop.
        if (held && task->m_widget && !task->m_widget->isVisible())
            continue;
        task->m_lastSlice = ++m_slices;
        // Held by a copy: the slice may destroy the task.
        const IdleTask::Slice slice = task->m_slice;
        const bool more =
            slice(rank == 0 && !held ? QDeadlineTimer(kFrontSliceMilliseconds, Qt::PreciseTimer) : deadline);
        if (!contains(task))
            continue;
        if (!more) {
            task->m_scheduled = false;
            dequeue(task);
        }
    }
    return !m_queue.empty();
}

}  // namespace platform
