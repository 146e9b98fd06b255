// Work done while the program idles, shared out in short turns of the main
// thread's event loop.
//
// Each editor works through its whole text in the background: it lays it
// into its document and styles it, settles the heights of its blocks, marks
// its misspelt words. Each such pass is an IdleTask that does a slice of its
// work when asked and says whether any is left. All of them, of every open
// document, run from one place, IdleWork, which gives them together one
// turn per pass of the event loop: between two turns the loop handles
// whatever came meanwhile (keys, paints, the web engine's own work for a
// page). A pass with a timer of its own for each slice would instead take a
// slice of every pass of every document in each pass of the loop, and with
// a few large documents open the loop went round only every 70 to 100 ms: a
// page that needs a few hundred turns of the loop to load waited for
// seconds.
//
// In a turn each task of a widget shown in the active window (the editor in
// front) has a slice of its own length, in a fixed order (what the others
// build on first: the styles of a text before the layout that measures
// them); then, while the turn's kTurnMilliseconds last, those of widgets
// shown elsewhere, then the rest (tabs behind the one in front), the one
// that waited longest first. The editor in front thus works as if it were
// alone, and the others take their turns once it is done.
//
// While something the user waits for is under way (a preview's page being
// loaded or changed, see hold()), every task keeps to the turn's time and
// turns come only every kHeldGapMilliseconds, so that the work it needs
// from the loop comes through between them; the tasks of widgets that are
// not shown (tabs behind the one in front) wait until it is over, so that
// the tab brought to the front gets its preview before they go on.
//
// Main thread only. A task leaves the queue when it is destroyed, also in
// the middle of a turn (by a slice of another task, or its own): the turn
// never touches it after that.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

class IdleTask {
public:
    // Does a slice of the work, stopping once `deadline` has expired (read
    // between its units of work; a slice may overrun by one unit); returns
    // whether work is left. A forever deadline asks for all of it.
    using Slice = std::function<bool(QDeadlineTimer deadline)>;

    explicit IdleTask(Slice slice);
    ~IdleTask();
    IdleTask(const IdleTask &) = delete;
    IdleTask &operator=(const IdleTask &) = delete;

    // Work waits: slices run in the turns to come until one says none is left.
    void schedule();
    // No slice runs until schedule() is called again.
    void cancel();
    bool isScheduled() const { return m_scheduled; }

    // The widget the work is for: work for one shown in the active window goes
    // first, its tasks in the order of `order` (the lowest first).
    void setWidget(QWidget *widget, int order = 0) {
        m_widget = widget;
        m_order = order;
    }
    QWidget *widget() const { return m_widget; }

private:
    friend class IdleWork;
    Slice m_slice;
    QPointer<QWidget> m_widget;
    int m_order = 0;
    bool m_scheduled = false;
    // When it last had a slice, counted in slices of all tasks.
    std::uint64_t m_lastSlice = 0;
};

class IdleWork : public QObject {
    Q_OBJECT
public:
    // A turn's length, the longest a slice of a task in front may take (each
    // keeps to its own length within it), and the pause between turns while
    // held.
    static constexpr int kTurnMilliseconds = 5;
    static constexpr int kFrontSliceMilliseconds = 10;
    static constexpr int kHeldGapMilliseconds = 12;

    static IdleWork &instance();

    // Something the user waits for is under way, for `holder`, until
    // released (or `holder` is destroyed): turns come only every
    // kHeldGapMilliseconds meanwhile.
    void hold(const QObject *holder);
    void release(const QObject *holder);
    bool isHeld() const { return !m_holders.empty(); }

    // Tasks that wait for slices.
    std::size_t scheduledCount() const { return m_queue.size(); }
    // Runs one turn now (tests); false when no task waits.
    bool runTurn() { return turn(); }

private:
    IdleWork();
    friend class IdleTask;
    void enqueue(IdleTask *task);
    void dequeue(IdleTask *task);
    bool contains(const IdleTask *task) const;
    void wake();
    bool turn();
    // 0 for a widget shown in the active window, 1 shown elsewhere, 2 else.
    static int rank(const IdleTask *task);

    std::vector<IdleTask *> m_queue;
    std::vector<const QObject *> m_holders;
    QTimer m_timer;
    std::uint64_t m_slices = 0;
};

}  // namespace platform
