// The program as a process: a terminating signal ends it even while an alert
// waits for an answer, with the edit saved in place.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include "e2e/x_keyboard.h"
#include "support/qt_wait.h"

using namespace std::chrono_literals;

namespace {

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A user of the program: preferences and data folders of its own (so its
// program is its own), and the program started for it, its log collected.
class User {
public:
    User() {
        QDir().mkpath(QFileInfo(preferencesFile()).path());
        writeAll(preferencesFile(), "{\"checkForAnnouncements\": false}");
    }
    QString path(const QString &name) const { return dir_.filePath(name); }
    QString preferencesFile() const { return path("config/Tessaro/Orvane/preferences.json"); }
    // A preference as the file holds it now.
    QJsonValue onDisk(const QString &key) const {
        return QJsonDocument::fromJson(readAll(preferencesFile())).object().value(key);
    }
    bool running() const { return onDisk("appCrashed") == QJsonValue(true); }

    // Starts the program; what it logs is collected in `log`.
    void start(QProcess &orvane, const QStringList &arguments, QString *log) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("XDG_DATA_HOME", path("data"));
        environment.remove("QT_QPA_PLATFORM");
        // Alerts are logged as they show.
        environment.insert("QT_LOGGING_RULES", "orvane.platform.info=true;qt.webenginecontext.info=false");
        orvane.setProcessEnvironment(environment);
        orvane.setProcessChannelMode(QProcess::SeparateChannels);
        QObject::connect(&orvane, &QProcess::readyReadStandardError, &orvane,
                         [&orvane, log] { *log += QString::fromUtf8(orvane.readAllStandardError()); });
        orvane.start(QStringLiteral(ORVANE_BINARY), arguments);
    }

private:
    QTemporaryDir dir_;
};

bool finishes(QProcess &orvane, std::chrono::milliseconds within) {
    return testing_qt::spinUntil([&] { return orvane.state() == QProcess::NotRunning; }, within);
}

TEST(RunningProgram, ATerminatingSignalWhileAnAlertWaitsEndsTheProgramAndTheEditIsSaved) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    User user;
    const QString file = user.path("notes.md");
    ASSERT_TRUE(writeAll(file, "original\n"));
    QProcess orvane;
    QString log;
    user.start(orvane, {file}, &log);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return user.running(); }, 30s)) << log.toStdString();
    // The keys go to the document's window once it has the focus.
    ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("notes.md"); }, 30s));
    testing_qt::spinFor(500ms);
    ASSERT_TRUE(testing_x::typeText("typed "));
    testing_qt::spinFor(500ms);

    // Another program changes the file: the program asks whether to merge.
    ASSERT_TRUE(writeAll(file, "original\nfrom elsewhere\n"));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return log.contains("Alert: File has changed"); }, 10s))
        << log.toStdString();
    testing_qt::spinFor(500ms);  // the alert on screen, waiting

    ::kill(pid_t(orvane.processId()), SIGTERM);
    ASSERT_TRUE(finishes(orvane, 5s)) << log.toStdString();
    EXPECT_EQ(orvane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(orvane.exitCode(), 0);
    EXPECT_TRUE(readAll(file).contains("typed original")) << readAll(file).toStdString();
    EXPECT_EQ(user.onDisk("appCrashed"), QJsonValue(false));
    if (orvane.state() != QProcess::NotRunning) {
        orvane.kill();
        orvane.waitForFinished();
    }
}

}  // namespace
