// Observable values: which stores reach observers, in which thread, and that
// observers go with their context objects.
#include <gtest/gtest.h>

#include <QStringList>

#include <atomic>
#include <vector>

#include "platform/runtime/dispatch.h"
#include "platform/runtime/observable.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using platform::Dispatch;
using platform::Observable;
using testing_qt::spinUntil;

TEST(Observable, SetIfDifferentTellsOnlyRealChangesAndSetAlwaysTellsEveryStore) {
    Observable<QStringList> rows;
    Observable<int> count(7);
    EXPECT_EQ(count.get(), 7);
    QObject context;
    std::vector<QStringList> heard;
    std::vector<int> counts;
    rows.observe(&context, [&](const QStringList &v) { heard.push_back(v); });
    count.observe(&context, [&](int v) { counts.push_back(v); });

    EXPECT_TRUE(rows.setIfDifferent({"a", "b"}));
    EXPECT_FALSE(rows.setIfDifferent({"a", "b"}));
    EXPECT_TRUE(rows.setIfDifferent({"a"}));
    count.setAlways(7);  // unchanged, told all the same
    count.setAlways(7);
    count.setAlways(8);

    // Same thread: told at once, during the store.
    EXPECT_EQ(heard, (std::vector<QStringList>{{"a", "b"}, {"a"}}));
    EXPECT_EQ(counts, (std::vector<int>{7, 7, 8}));
    EXPECT_EQ(rows.get(), QStringList{"a"});
}

// A value whose == leaves out a stamp, as the sidebars' lists do.
struct Stamped {
    int value = 0;
    int stamp = 0;
    bool operator==(const Stamped &other) const { return value == other.value; }
};
Q_DECLARE_METATYPE(Stamped)

TEST(Observable, SetTellingIfDifferentStoresEqualValuesQuietly) {
    Observable<Stamped> rows;
    QObject context;
    int told = 0;
    rows.observe(&context, [&](const Stamped &) { told++; });
    EXPECT_TRUE(rows.setTellingIfDifferent({1, 1}));
    EXPECT_FALSE(rows.setTellingIfDifferent({1, 2}));
    EXPECT_EQ(rows.get().stamp, 2);  // stored all the same
    EXPECT_FALSE(rows.setIfDifferent({1, 3}));
    EXPECT_EQ(rows.get().stamp, 2);  // setIfDifferent keeps the old one
    EXPECT_TRUE(rows.setTellingIfDifferent({2, 4}));
    EXPECT_EQ(told, 2);
}

TEST(Observable, StoresFromAnotherThreadReachTheObserverOnItsThreadInOrder) {
    Observable<int> value;
    QObject context;
    std::vector<int> heard;
    std::atomic<bool> allOnMain{true};
    value.observe(&context, [&](int v) {
        if (!Dispatch::isMainThread())
            allOnMain = false;
        heard.push_back(v);
    });
    Dispatch::background([&] {
        for (int i = 1; i <= 100; i++)
            value.setAlways(i);
    });
    ASSERT_TRUE(spinUntil([&] { return heard.size() == 100; }));
    EXPECT_TRUE(allOnMain);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(heard[i], i + 1);
}

TEST(Observable, ObserversMayReadAndStoreAgainAndGoWithTheirContext) {
    Observable<int> value;
    std::vector<int> seen;
    auto *context = new QObject;
    value.observe(context, [&](int v) {
        seen.push_back(value.get());  // no deadlock reading inside the handler
        if (v < 3)
            value.setAlways(v + 1);  // nor storing
    });
    value.setAlways(1);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    delete context;
    value.setAlways(10);
    EXPECT_EQ(seen.size(), 3u);

    // A store queued for a context that is destroyed before it runs.
    auto *late = new QObject;
    bool told = false;
    value.observe(late, [&](int) { told = true; });
    Dispatch::background([&] { value.setAlways(11); });
    ASSERT_TRUE(Dispatch::waitForBackground());
    delete late;
    testing_qt::spinFor(std::chrono::milliseconds(10));
    EXPECT_FALSE(told);
}
