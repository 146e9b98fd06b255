// Where blocks run and when: the main thread, the background pool, serial
// queues, delays, and the hand-over at quit that must not hang.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <csignal>
#include <vector>

#include <unistd.h>

#include "platform/runtime/dispatch.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using namespace std::chrono_literals;
using platform::Dispatch;
using platform::SerialQueue;
using testing_qt::spinFor;
using testing_qt::spinUntil;

TEST(Dispatch, MainSyncRunsInlineOnTheMainThreadAndWaitsFromOthers) {
    bool ran = false;
    EXPECT_TRUE(Dispatch::mainSync([&] {
        // Nested on the main thread: inline again, no deadlock.
        EXPECT_TRUE(Dispatch::mainSync([&] { ran = true; }));
    }));
    EXPECT_TRUE(ran);

    std::atomic<bool> done{false};
    bool ranOnMain = false, returned = false;
    int seenAfterReturn = 0;
    int value = 0;
    Dispatch::background([&] {
        returned = Dispatch::mainSync([&] {
            ranOnMain = Dispatch::isMainThread();
            value = 42;
        });
        seenAfterReturn = value;  // mainSync came back only after the block
        done = true;
    });
    ASSERT_TRUE(spinUntil([&] { return done.load(); }));
    EXPECT_TRUE(returned);
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(seenAfterReturn, 42);
}

TEST(Dispatch, MainQueuesForLaterInOrderAndPerformOnMainRunsAtOnceOnlyThere) {
    std::vector<int> order;
    Dispatch::main([&] { order.push_back(1); });
    Dispatch::main([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());  // never inline, even on the main thread
    Dispatch::performOnMain([&] { order.push_back(0); });
    EXPECT_EQ(order, std::vector<int>{0});
    ASSERT_TRUE(spinUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));

    std::atomic<bool> onMain{false}, done{false};
    Dispatch::background([&] {
        Dispatch::performOnMain([&] {
            onMain = Dispatch::isMainThread();
            done = true;
        });
    });
    ASSERT_TRUE(spinUntil([&] { return done.load(); }));
    EXPECT_TRUE(onMain);
}

TEST(Dispatch, BlocksBoundToAContextAreDroppedWithIt) {
    bool queued = false, delayed = false, kept = false;
    auto *context = new QObject;
    Dispatch::main(context, [&] { queued = true; });
    Dispatch::after(20ms, context, [&] { delayed = true; });
    delete context;
    QObject survivor;
    Dispatch::after(20ms, &survivor, [&] { kept = true; });
    ASSERT_TRUE(spinUntil([&] { return kept; }));
    spinFor(30ms);
    EXPECT_FALSE(queued);
    EXPECT_FALSE(delayed);
}

TEST(Dispatch, AfterRunsOnTheMainThreadOnceTheDelayHasPassedEvenWhenAskedFromElsewhere) {
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> firedAt{-1};
    std::atomic<bool> onMain{false};
    Dispatch::background([&] {
        Dispatch::after(40ms, [&] {
            onMain = Dispatch::isMainThread();
            firedAt = clock.elapsed();
        });
    });
    ASSERT_TRUE(spinUntil([&] { return firedAt >= 0; }));
    EXPECT_TRUE(onMain);
    EXPECT_GE(firedAt.load(), 38);
}

TEST(Dispatch, BackgroundRunsOnAPoolOfItsOwnThatABusyGlobalPoolCannotStarve) {
    QThreadPool *global = QThreadPool::globalInstance();
    ASSERT_NE(&Dispatch::backgroundPool(), global);
    QSemaphore release;
    const int busy = global->maxThreadCount();
    for (int i = 0; i < busy; i++)
        global->start([&] { release.acquire(); });

    std::atomic<bool> ran{false}, offMain{false};
    Dispatch::background([&] {
        offMain = !Dispatch::isMainThread();
        ran = true;
    });
    EXPECT_TRUE(spinUntil([&] { return ran.load(); }, 30s));
    EXPECT_TRUE(offMain);
    release.release(busy);
    global->waitForDone();
    EXPECT_TRUE(Dispatch::waitForBackground(5s));
}

TEST(SerialQueue, RunsItsBlocksOneAtATimeInOrderAndWaitsForThemWhenDestroyed) {
    std::vector<int> order;
    std::atomic<int> running{0}, mostAtOnce{0};
    std::atomic<bool> sawCurrent{true};
    std::atomic<bool> lastDone{false};
    {
        SerialQueue queue(QStringLiteral("test queue"));
        EXPECT_FALSE(queue.isCurrent());
        for (int i = 0; i < 40; i++) {
            queue.async([&, i] {
                int now = ++running;
                mostAtOnce = std::max(mostAtOnce.load(), now);
                if (!queue.isCurrent())
                    sawCurrent = false;
                if (i % 8 == 0)
                    QThread::msleep(2);
                order.push_back(i);
                --running;
            });
        }
        queue.async([&] {
            QThread::msleep(20);
            lastDone = true;
        });
    }  // the destructor waits for the queue to drain
    EXPECT_TRUE(lastDone);
    ASSERT_EQ(order.size(), 40u);
    for (int i = 0; i < 40; i++)
        EXPECT_EQ(order[i], i);
    EXPECT_EQ(mostAtOnce.load(), 1);
    EXPECT_TRUE(sawCurrent);
}

TEST(Dispatch, OnceRunsItsBlockOnceAcrossThreads) {
    std::once_flag flag;
    std::atomic<int> runs{0};
    for (int i = 0; i < 16; i++)
        Dispatch::background([&] { Dispatch::once(flag, [&] { runs++; }); });
    ASSERT_TRUE(Dispatch::waitForBackground(5s));
    EXPECT_EQ(runs.load(), 1);
}

// At quit the main thread drains the background pool. A block that is then
// waiting for the main thread must give up instead of waiting for ever, and
// every later mainSync returns false at once. Runs in a child process, since
// the dispatcher stays shut down afterwards.
TEST(DispatchDeathTest, QuittingReleasesBlocksThatWaitForTheMainThread) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            alarm(20);  // a hang ends the child with a signal, failing the test
            std::atomic<bool> asking{false};
            std::atomic<int> answers{0};
            Dispatch::background([&] {
                asking = true;
                if (!Dispatch::mainSync([] {}))  // the main thread is in shutdown()
                    answers++;
                if (!Dispatch::mainSync([] {}))
                    answers++;
            });
            while (!asking)
                QThread::msleep(1);
            QThread::msleep(20);
            Dispatch::shutdown();
            bool dropped = true;
            Dispatch::main([&] { dropped = false; });
            QCoreApplication::processEvents();
            std::_Exit(answers == 2 && dropped && Dispatch::isShuttingDown() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
