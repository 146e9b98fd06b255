// The preferences store: its two layers, what persists and how, who hears of
// a change, and what happens to files that cannot be read or written.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <vector>

#include <unistd.h>

#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "support/log_capture.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using platform::Defaults;
using platform::Dispatch;
using platform::TextRange;
using testing_qt::LogCapture;
using testing_qt::spinUntil;

namespace {

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class DefaultsTest : public testing::Test {
protected:
    // In a folder that does not exist yet, as on a first start.
    QString path() const { return m_dir.filePath("config/Orvane/preferences.json"); }
    QTemporaryDir m_dir;
};

}  // namespace

TEST_F(DefaultsTest, StoredValuesOverRegisteredOnesOverZero) {
    Defaults defaults(path());
    defaults.registerDefaults({{"autoTag", true}, {"maxToCDepth", 10}, {"previewRatio", 0.5},
                               {"defaultCSS", "Github"}});
    EXPECT_TRUE(defaults.boolForKey("autoTag"));
    EXPECT_EQ(defaults.integerForKey("maxToCDepth"), 10);
    EXPECT_EQ(defaults.doubleForKey("previewRatio"), 0.5);
    EXPECT_EQ(defaults.stringForKey("defaultCSS"), "Github");

    // A stored zero still overrides: NO for "autoTag" turns tagging off.
    defaults.setBool(false, "autoTag");
    defaults.setInteger(0, "maxToCDepth");
    EXPECT_FALSE(defaults.boolForKey("autoTag"));
    EXPECT_EQ(defaults.integerForKey("maxToCDepth"), 0);
    EXPECT_TRUE(defaults.hasStoredValue("autoTag"));
    defaults.removeObject("autoTag");
    EXPECT_TRUE(defaults.boolForKey("autoTag"));

    // Keys in neither layer read the zero of each kind.
    EXPECT_FALSE(defaults.boolForKey("MERGE_FILE_CHANGES"));
    EXPECT_EQ(defaults.integerForKey("exportLineEndings"), 0);
    EXPECT_EQ(defaults.floatForKey("timeInUse"), 0.0f);
    EXPECT_TRUE(defaults.stringForKey("iCloudURL").isNull());
    EXPECT_TRUE(defaults.arrayForKey("x").isEmpty());
    EXPECT_TRUE(defaults.dictionaryForKey("x").isEmpty());
    EXPECT_TRUE(defaults.dataForKey("iCloudToken").isEmpty());
    EXPECT_FALSE(defaults.objectForKey("x").isValid());

    // Registered values are never written.
    EXPECT_TRUE(defaults.synchronize());
    const QByteArray text = readAll(path());
    EXPECT_TRUE(text.contains("\"maxToCDepth\": 0")) << text.constData();
    EXPECT_FALSE(text.contains("previewRatio"));
    EXPECT_FALSE(text.contains("autoTag"));
}

TEST_F(DefaultsTest, GettersConvertBetweenKindsAndReadOtherKindsAsZero) {
    Defaults defaults;  // in memory
    defaults.setObject("12px", "s");
    defaults.setObject(" YES", "yes");
    defaults.setObject("0.75", "half");
    defaults.setDouble(2.7, "d");
    defaults.setBool(true, "b");
    defaults.setObject(QVariantMap{{"k", 1}}, "map");
    defaults.setObject(QVariantList{"a", 2}, "mixed");
    defaults.setObject(QStringList{"a", "b"}, "strings");
    defaults.setDouble(1e300, "huge");

    EXPECT_EQ(defaults.integerForKey("s"), 12);
    EXPECT_TRUE(defaults.boolForKey("yes"));
    EXPECT_TRUE(defaults.boolForKey("s"));  // a leading digit 1-9
    EXPECT_EQ(defaults.doubleForKey("half"), 0.75);
    EXPECT_EQ(defaults.integerForKey("d"), 2);
    EXPECT_TRUE(defaults.boolForKey("d"));
    EXPECT_EQ(defaults.integerForKey("b"), 1);
    EXPECT_EQ(defaults.stringForKey("d"), "2.7");
    EXPECT_EQ(defaults.stringForKey("b"), "1");
    EXPECT_EQ(defaults.integerForKey("huge"), 0);  // out of range: zero, not undefined
    EXPECT_EQ(defaults.integerForKey("map"), 0);
    EXPECT_TRUE(defaults.stringForKey("map").isEmpty());
    EXPECT_TRUE(defaults.dictionaryForKey("s").isEmpty());
    EXPECT_EQ(defaults.stringArrayForKey("strings"), (QStringList{"a", "b"}));
    EXPECT_TRUE(defaults.stringArrayForKey("mixed").isEmpty());
    EXPECT_EQ(defaults.arrayForKey("mixed").size(), 2);

    // Kinds that cannot be written are refused, and the key keeps its value.
    LogCapture log;
    defaults.setObject(QVariant::fromValue(QPoint(1, 2)), "s");
    EXPECT_EQ(defaults.integerForKey("s"), 12);
    EXPECT_EQ(log.count("cannot be stored"), 1);
}

TEST_F(DefaultsTest, KindsAndPathKeysSurviveAReopen) {
    const QString file = QStringLiteral("/home/ann//notes/draft.md");
    const QString folder = QStringLiteral("/home/ann/notes/");
    {
        Defaults defaults(path());
        defaults.setSelection({12, 3}, file);
        defaults.setObject("Dark", Defaults::keyForPath(u"Theme %@", folder));
        defaults.setObject("0 0 800 600", Defaults::windowFrameKey(file));
        defaults.setObject(QByteArray("\x01\x02", 2), Defaults::keyForPath(u"access folder - %@", folder));
        defaults.setFloat(1.0f, "timeInUse");
        defaults.setInteger(2, "exportLineEndings");
        defaults.setBool(true, "MERGE_FILE_CHANGES");
        defaults.setObject("a\\b/c", "C:\\path\\key");
    }  // written out when destroyed
    const QByteArray text = readAll(path());
    EXPECT_TRUE(text.contains("\"Selection /home/ann//notes/draft.md\": \"{12, 3}\"")) << text.constData();
    EXPECT_TRUE(text.contains("\"Theme /home/ann/notes/\": \"Dark\""));

    Defaults reopened(path());
    EXPECT_EQ(reopened.selectionForPath(file), (TextRange{12, 3}));
    EXPECT_EQ(reopened.stringForKey("Theme /home/ann/notes/"), "Dark");
    EXPECT_EQ(reopened.stringForKey("NSWindow Frame /home/ann//notes/draft.md"), "0 0 800 600");
    EXPECT_EQ(reopened.dataForKey("access folder - /home/ann/notes/"), QByteArray("\x01\x02", 2));
    EXPECT_TRUE(text.contains("\"timeInUse\": 1.0\n"));  // a real stays a real
    EXPECT_NE(reopened.objectForKey("timeInUse").typeId(), QMetaType::LongLong);
    EXPECT_EQ(reopened.objectForKey("exportLineEndings").typeId(), QMetaType::LongLong);
    EXPECT_EQ(reopened.objectForKey("MERGE_FILE_CHANGES").typeId(), QMetaType::Bool);
    EXPECT_EQ(reopened.stringForKey("C:\\path\\key"), "a\\b/c");
    EXPECT_FALSE(reopened.hasStoredValue("Selection /home/ann/notes/draft.md"));
}

TEST_F(DefaultsTest, SelectionTextIsReadStrictly) {
    using platform::rangeFromString;
    using platform::rangeToString;
    EXPECT_EQ(rangeToString({3, 5}), "{3, 5}");
    EXPECT_EQ(rangeFromString("{3, 5}"), (TextRange{3, 5}));
    EXPECT_EQ(rangeFromString(" {0,0} "), (TextRange{0, 0}));
    EXPECT_EQ(rangeFromString("{ 7 , 1 }"), (TextRange{7, 1}));
    for (const char *junk : {"", "3, 5", "{3}", "{3, 5, 6}", "{-1, 2}", "{3, x}", "{99999999999999999999, 1}"})
        EXPECT_FALSE(rangeFromString(junk).has_value()) << junk;
    Defaults defaults;
    defaults.setObject("garbage", Defaults::selectionKey("/a.md"));
    EXPECT_FALSE(defaults.selectionForPath("/a.md").has_value());
    EXPECT_FALSE(defaults.selectionForPath("/never.md").has_value());
}

TEST_F(DefaultsTest, ObserversHearChangesOfTheValueTheirKeyReads) {
    Defaults defaults(path());
    defaults.registerDefaults({{"appearanceTheme", 3}});
    QObject context;
    std::vector<QVariant> heard;
    std::vector<QString> many;
    defaults.observe("appearanceTheme", &context, [&](const QVariant &v) { heard.push_back(v); });
    defaults.observe(QStringList{"EXT_SMART", "EXT_NOTES"}, &context,
                     [&](const QString &key, const QVariant &) { many.push_back(key); });

    defaults.setInteger(3, "appearanceTheme");  // same value as registered: silent
    defaults.setInteger(1, "appearanceTheme");
    defaults.setInteger(1, "appearanceTheme");  // unchanged: silent
    defaults.removeObject("appearanceTheme");   // back to 3
    defaults.registerDefaults({{"appearanceTheme", 2}});
    defaults.setInteger(5, "unrelated");
    ASSERT_EQ(heard.size(), 3u);  // told at once on the main thread
    EXPECT_EQ(heard[0], 1);
    EXPECT_EQ(heard[1], 3);
    EXPECT_EQ(heard[2], 2);

    defaults.setBool(true, "EXT_SMART");
    defaults.setBool(true, "EXT_NOTES");
    defaults.setBool(true, "EXT_CRITIC");
    EXPECT_EQ(many, (std::vector<QString>{"EXT_SMART", "EXT_NOTES"}));

    // From another thread: the observer still runs on the main thread.
    std::atomic<bool> onMain{false};
    defaults.observe("fromWorker", &context, [&](const QVariant &) { onMain = Dispatch::isMainThread(); });
    Dispatch::background([&] { defaults.setBool(true, "fromWorker"); });
    ASSERT_TRUE(spinUntil([&] { return onMain.load(); }));

    // An observer goes with its context.
    auto *gone = new QObject;
    int calls = 0;
    defaults.observe("appearanceTheme", gone, [&](const QVariant &) { calls++; });
    delete gone;
    defaults.setInteger(0, "appearanceTheme");
    EXPECT_EQ(calls, 0);
}

TEST_F(DefaultsTest, ManyThreadsReadAndWriteWhileChangesReachTheFile) {
    Defaults defaults(path());
    defaults.registerDefaults({{"shared", 1}});
    std::atomic<int> badReads{0};
    for (int t = 0; t < 4; t++) {
        Dispatch::background([&, t] {
            for (int i = 0; i < 200; i++) {
                defaults.setInteger(i, QStringLiteral("worker %1").arg(t));
                if (defaults.integerForKey("shared") != 1)
                    badReads++;
                if (defaults.integerForKey(QStringLiteral("worker %1").arg(t)) != i)
                    badReads++;
            }
        });
    }
    while (!Dispatch::waitForBackground(std::chrono::milliseconds(1)))
        QCoreApplication::processEvents();  // flushes queued from the workers run here
    EXPECT_EQ(badReads.load(), 0);
    EXPECT_TRUE(defaults.synchronize());
    Defaults reopened(path());
    for (int t = 0; t < 4; t++)
        EXPECT_EQ(reopened.integerForKey(QStringLiteral("worker %1").arg(t)), 199);
}

TEST_F(DefaultsTest, AStoreMadeOnAWorkerBelongsToTheMainThread) {
    writeAll(path(), "{\"a\": 1}");
    LogCapture log;  // Qt complains about objects split between threads
    std::unique_ptr<Defaults> made;
    Dispatch::background([&] { made = std::make_unique<Defaults>(path()); });
    ASSERT_TRUE(Dispatch::waitForBackground());
    EXPECT_EQ(made->thread(), QCoreApplication::instance()->thread());
    EXPECT_EQ(made->integerForKey("a"), 1);
    made->setInteger(2, "a");
    EXPECT_TRUE(made->synchronize());
    EXPECT_TRUE(readAll(path()).contains("\"a\": 2"));
    EXPECT_EQ(log.messages(), QStringList());
}

TEST_F(DefaultsTest, ADamagedFileIsReportedOnceKeptAsideAndReplaced) {
    const QByteArray damaged = "{\"EXT_SMART\": false, \"previewRatio\": 0.7";  // cut short
    writeAll(path(), damaged);
    LogCapture log;
    {
        Defaults defaults(path());
        defaults.registerDefaults({{"EXT_SMART", true}});
        EXPECT_TRUE(defaults.boolForKey("EXT_SMART"));
        EXPECT_EQ(defaults.doubleForKey("previewRatio"), 0.0);
        defaults.setDouble(0.4, "previewRatio");
        EXPECT_TRUE(defaults.synchronize());
    }
    EXPECT_EQ(log.count("is damaged"), 1);
    EXPECT_EQ(log.count("(expected ',' or '}' at byte 40)"), 1);  // says why
    EXPECT_EQ(readAll(path() + ".corrupt"), damaged);  // nothing of the user's is lost
    Defaults reopened(path());
    EXPECT_EQ(reopened.doubleForKey("previewRatio"), 0.4);
    EXPECT_EQ(log.count("is damaged"), 1);
}

TEST_F(DefaultsTest, AFileThatCannotBeReadIsLeftAloneAndTheSessionRunsOnDefaults) {
    // A folder where the file should be: unreadable as a file even for root.
    ASSERT_TRUE(QDir().mkpath(path()));
    LogCapture log;
    {
        Defaults defaults(path());
        defaults.setBool(true, "kept in memory");
        EXPECT_TRUE(defaults.boolForKey("kept in memory"));
        EXPECT_FALSE(defaults.synchronize());
    }
    EXPECT_EQ(log.count("cannot be read"), 1);
    EXPECT_TRUE(QFileInfo(path()).isDir());

    if (geteuid() != 0) {
        const QString other = m_dir.filePath("locked.json");
        writeAll(other, "{\"a\": 1}");
        QFile::setPermissions(other, QFileDevice::WriteOwner);
        {
            Defaults defaults(other);
            defaults.setInteger(2, "a");
        }
        QFile::setPermissions(other, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        EXPECT_EQ(readAll(other), "{\"a\": 1}");
        EXPECT_EQ(log.count("cannot be read"), 2);
    }
}

TEST_F(DefaultsTest, AFileThatCannotBeWrittenIsReportedOnceAndValuesLiveOn) {
    // The config folder would have to be made inside a regular file.
    writeAll(m_dir.filePath("plain"), "x");
    LogCapture log;
    Defaults defaults(m_dir.filePath("plain/preferences.json"));
    defaults.setInteger(7, "a");
    EXPECT_FALSE(defaults.synchronize());
    defaults.setInteger(8, "a");
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(defaults.integerForKey("a"), 8);
    EXPECT_EQ(log.count("cannot be saved"), 1);
}
