// The turns of idle work: the tasks of a widget in front go first, a turn
// ends soon after its time and leaves the rest for later, the turns space
// out while something waits and the work of widgets not shown waits for it,
// and a task destroyed or cancelled (its document closed), also by another
// task's slice in the same turn, never runs again.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/idle_work.h"
#include "support/qt_wait.h"

using namespace std::chrono_literals;
using platform::IdleTask;
using platform::IdleWork;

namespace {

// Slices of `units` units of work of `unitMs` each, checking the deadline
// between units; `log` gets the name at each slice.
struct Worker {
    Worker(std::string n, int u, int ms, std::vector<std::string> *l) : name(std::move(n)), units(u), unitMs(ms), log(l) {}
    std::string name;
    int units;
    int unitMs = 0;
    std::vector<std::string> *log;
    int slices = 0;
    IdleTask task{[this](QDeadlineTimer deadline) {
        slices++;
        log->push_back(name);
        do {
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < unitMs) {
            }
            units--;
        } while (units > 0 && !deadline.hasExpired());
        return units > 0;
    }};
};

// Runs turns until none is left (at most `most`), each turn's slices
// recorded as one entry of `turns`.
void runTurns(std::vector<std::string> &log, std::vector<std::vector<std::string>> &turns, int most = 1000) {
    for (int i = 0; i < most && IdleWork::instance().scheduledCount() > 0; i++) {
        log.clear();
        IdleWork::instance().runTurn();
        turns.push_back(log);
    }
}

}  // namespace

TEST(IdleWork, TheWidgetInFrontGoesFirstAndTheOthersTakeTurns) {
    std::vector<std::string> log;
    QWidget front;
    front.resize(200, 100);
    front.show();
    front.activateWindow();
    QWidget hidden;
    Worker background1{"b1", 3, 0, &log}, background2{"b2", 3, 0, &log}, shown{"front", 2, 0, &log};
    background1.task.setWidget(&hidden);
    background1.task.schedule();
    background2.task.schedule();
    shown.task.setWidget(&front);
    shown.task.schedule();
    ASSERT_EQ(IdleWork::instance().scheduledCount(), 3u);
    std::vector<std::vector<std::string>> turns;
    runTurns(log, turns);
    // Each slice here does one unit and the turn goes on to the next task:
    // the front first in every turn while it has work, then the others,
    // the one that waited longest first.
    ASSERT_FALSE(turns.empty());
    std::vector<std::string> all;
    for (const auto &turn : turns)
        all.insert(all.end(), turn.begin(), turn.end());
    EXPECT_EQ(all.front(), "front");
    EXPECT_EQ(shown.slices, 1);  // two units in one slice, the deadline far
    EXPECT_EQ(background1.units + background2.units, 0);
    EXPECT_EQ(IdleWork::instance().scheduledCount(), 0u);
}

TEST(IdleWork, ATurnEndsSoonAfterItsTimeAndTheEventLoopRunsBetweenTurns) {
    std::vector<std::string> log;
    // Three tasks of 40 units of 2 ms: a turn takes a few units of one or
    // two tasks, never all of them.
    std::vector<std::unique_ptr<Worker>> workers;
    for (const char *name : {"a", "b", "c"}) {
        workers.push_back(std::make_unique<Worker>(name, 40, 2, &log));
        workers.back()->task.schedule();
    }
    std::vector<std::vector<std::string>> turns;
    QElapsedTimer clock;
    int longest = 0;
    for (int i = 0; i < 2000 && IdleWork::instance().scheduledCount() > 0; i++) {
        log.clear();
        clock.start();
        IdleWork::instance().runTurn();
        longest = std::max(longest, int(clock.elapsed()));
        turns.push_back(log);
    }
    EXPECT_EQ(IdleWork::instance().scheduledCount(), 0u);
    // 240 ms of work in turns of 5 ms (a unit past the deadline at most),
    // each task getting slices in turn.
    EXPECT_GE(turns.size(), 240u / (IdleWork::kTurnMilliseconds + 2) / 2);
    for (const auto &turn : turns)
        EXPECT_LE(turn.size(), 3u);
    EXPECT_EQ(turns[0].front(), "a");
    EXPECT_EQ(turns[1].front(), "b");
    EXPECT_EQ(turns[2].front(), "c");
    // Timed turns on a loaded machine may be preempted: only a turn far past
    // its length would show slices that ignore the deadline.
    EXPECT_LT(longest, 1000);

    // Through the event loop: a timer of the test fires between turns.
    workers.clear();
    workers.push_back(std::make_unique<Worker>("loop", 200, 2, &log));
    workers.back()->task.schedule();
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ticks++; });
    tick.start(0);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return IdleWork::instance().scheduledCount() == 0; }, 60s));
    EXPECT_GT(workers.back()->slices, 10);
    EXPECT_GE(ticks, workers.back()->slices / 2);
}

TEST(IdleWork, TurnsSpaceOutWhileHeldAndGoOnWhenReleased) {
    std::vector<std::string> log;
    auto holder = std::make_unique<QObject>();
    IdleWork::instance().hold(holder.get());
    EXPECT_TRUE(IdleWork::instance().isHeld());
    Worker worker{"held", 1 << 30, 0, &log};
    worker.task.schedule();
    QElapsedTimer clock;
    clock.start();
    testing_qt::spinFor(300ms);
    // At most one turn every kHeldGapMilliseconds.
    EXPECT_GE(worker.slices, 1);
    EXPECT_LE(worker.slices, int(clock.elapsed()) / IdleWork::kHeldGapMilliseconds + 2);
    // A holder that goes away releases its hold, and the work goes on.
    const int held = worker.slices;
    holder.reset();
    EXPECT_FALSE(IdleWork::instance().isHeld());
    EXPECT_TRUE(testing_qt::spinUntil([&] { return worker.slices > held + 5; }, 30s));
    worker.task.cancel();
    EXPECT_EQ(IdleWork::instance().scheduledCount(), 0u);
}

// While something the user waits for is under way (the preview of the tab
// brought to the front), the work of a widget not shown (a tab behind it)
// waits, however little the widget in front has to do; the work of a widget
// shown and work for no widget go on. Released, the waiting work goes on.
TEST(IdleWork, TheWorkOfWidgetsNotShownWaitsWhileHeld) {
    std::vector<std::string> log;
    QWidget front;
    front.resize(200, 100);
    front.show();
    front.activateWindow();
    QWidget behind;  // never shown, as a tab behind the one in front
    Worker shown{"front", 1 << 30, 0, &log}, hidden{"behind", 1 << 30, 0, &log}, none{"none", 1 << 30, 0, &log};
    shown.task.setWidget(&front);
    hidden.task.setWidget(&behind);
    for (Worker *worker : {&shown, &hidden, &none})
        worker->task.schedule();
    auto holder = std::make_unique<QObject>();
    IdleWork::instance().hold(holder.get());
    for (int i = 0; i < 20; i++)
        IdleWork::instance().runTurn();
    EXPECT_EQ(hidden.slices, 0);
    EXPECT_GE(shown.slices, 10);
    // Nothing left in front: still the hidden widget's work waits, and the
    // work for no widget has the turns.
    shown.task.cancel();
    for (int i = 0; i < 20; i++)
        IdleWork::instance().runTurn();
    EXPECT_EQ(hidden.slices, 0);
    EXPECT_GE(none.slices, 10);

    holder.reset();
    for (int i = 0; i < 20 && hidden.slices == 0; i++)
        IdleWork::instance().runTurn();
    EXPECT_GE(hidden.slices, 1);
    hidden.task.cancel();
    none.task.cancel();
    EXPECT_EQ(IdleWork::instance().scheduledCount(), 0u);
}

// A document closed while its work waits, or by the slice of another task
// in the same turn, or by its own slice: its task is never run again, and
// nothing it owned is touched (the sanitizers see any use after its end).
TEST(IdleWork, ATaskDestroyedOrCancelledIsNeverRunAgain) {
    std::vector<std::string> log;
    auto closing = std::make_unique<Worker>("closing", 5, 0, &log);
    auto cancelled = std::make_unique<Worker>("cancelled", 5, 0, &log);
    std::unique_ptr<IdleTask> selfClosing;
    int selfSlices = 0;
    selfClosing = std::make_unique<IdleTask>([&](QDeadlineTimer) {
        selfSlices++;
        selfClosing.reset();  // the document closes from within its own work
        return true;
    });
    int closerSlices = 0;
    IdleTask closer([&](QDeadlineTimer) {
        closerSlices++;
        closing.reset();  // another document's work closes this one
        cancelled->task.cancel();
        return false;
    });
    closer.schedule();
    closing->task.schedule();
    cancelled->task.schedule();
    selfClosing->schedule();
    IdleWork::instance().runTurn();
    EXPECT_EQ(closerSlices, 1);
    EXPECT_EQ(selfSlices, 1);
    EXPECT_EQ(closing, nullptr);
    EXPECT_EQ(cancelled->slices, 0);
    EXPECT_EQ(IdleWork::instance().scheduledCount(), 0u);
    testing_qt::spinFor(50ms);
    EXPECT_EQ(cancelled->slices, 0);
    EXPECT_TRUE(log.empty());
    // A cancelled task takes work again once scheduled.
    cancelled->task.schedule();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return IdleWork::instance().scheduledCount() == 0; }, 30s));
    EXPECT_EQ(cancelled->units, 0);
}
