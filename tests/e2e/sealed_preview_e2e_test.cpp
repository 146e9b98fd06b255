// The program itself on a real display, with a new user's preferences: an
// attacker's document, opened with a listener on TCP and UDP ports of this
// machine, reads nothing of the user's and sends nothing out; a document that
// asks for alerts without end leaves the window taking keys, saving and
// quitting. In the document window, transclusion still takes files in from
// anywhere the document names, and the page shows them, sealed as ever.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include "app/documents/smart_editor_document.h"
#include "app/extras/tzr_theme_controller.h"
#include "e2e/application.h"
#include "e2e/new_user.h"
#include "e2e/preview_text.h"
#include "e2e/x_keyboard.h"
#include "platform/runtime/alerts.h"
#include "support/loopback_listener.h"
#include "support/qt_wait.h"
#include "support/stand_in_opener.h"
#include "webview/hostile_folder.h"
#include "webview/web_test_support.h"
#include "window/content/master_view_content.h"
#include "window/content/tzr_master_view.h"

using namespace std::chrono_literals;

namespace {

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program started on `document` for a user whose home is `home`, its
// log collected in `log`, the desktop's opener a stand-in.
void start(QProcess &orvane, const QString &home, const QString &document, QString *log) {
    const QString config = home + "/.config";
    writeProgramPreferences(config, "{\"checkForAnnouncements\": false}");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("XDG_CONFIG_HOME", config);
    environment.insert("XDG_DATA_HOME", home + "/.local/share");
    environment.insert("PATH", QString::fromLocal8Bit(StandInOpener::install().path()));
    environment.remove("QT_QPA_PLATFORM");
    // The attacker's sound and video make the engine look for the desktop's
    // session bus; without one it would start one through the display,
    // which can hang the program's end.
    if (!environment.contains("DBUS_SESSION_BUS_ADDRESS"))
        environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvane-tests/no-bus");
    // What the page writes to its console comes out in the program's log, and
    // what the program does not show.
    environment.insert("QT_LOGGING_RULES",
                       "qt.webenginecontext.info=false;orvane.platform.info=true;orvane.platform.page.debug=true");
    orvane.setProcessEnvironment(environment);
    QObject::connect(&orvane, &QProcess::readyReadStandardError, &orvane,
                     [&orvane, log] { *log += QString::fromLocal8Bit(orvane.readAllStandardError()); });
    orvane.start(QStringLiteral(ORVANE_BINARY), {document});
}

void quit(QProcess &orvane) {
    if (orvane.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(orvane.processId()), SIGTERM);
    if (!testing_qt::spinUntil([&] { return orvane.state() == QProcess::NotRunning; }, 30s)) {
        orvane.kill();
        orvane.waitForFinished();
    }
}

// What the page wrote to its console after `prefix`: its line of the log,
// up to where the log names the page at its end.
QString pageSaid(const QString &log, const QString &prefix) {
    const qsizetype at = log.indexOf("page console: " + prefix);
    if (at < 0)
        return QString();
    const qsizetype start = at + qsizetype(QStringLiteral("page console: ").size() + prefix.size());
    const qsizetype end = log.lastIndexOf(" at orvane:", log.indexOf(u'\n', start));
    return end < start ? QString() : log.mid(start, end - start);
}

// The resident memory of process `pid`, in bytes; -1 once it has gone.
qint64 residentMemoryOf(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

}  // namespace

TEST(SealedPreviewEndToEnd, AnAttackersDocumentReadsNothingAndSendsNothingOut) {
    StandInOpener::install().clear();
    LoopbackListener listener;
    ASSERT_TRUE(listener.isListening());
    hostile::Folder folder;
    ASSERT_TRUE(folder.write());
    const QByteArray text = "# Notes\n\n" + folder.fragment(listener.tcpPort(), listener.udpPort()).toUtf8();
    ASSERT_TRUE(hostile::writeFile(folder.document, text));

    QProcess orvane;
    QString log;
    start(orvane, folder.home, folder.document, &log);
    ASSERT_TRUE(orvane.waitForStarted(10000));
    // The document's script tried every way, and said what it got.
    const bool done = testing_qt::spinUntil([&] { return pageSaid(log, "got: ").contains("\"done\":true"); }, 90s);
    const QJsonObject got = QJsonDocument::fromJson(pageSaid(log, "got: ").toUtf8()).object();
    quit(orvane);
    ASSERT_TRUE(done) << log.toStdString();

    ASSERT_GE(got.value("sheets").toArray().size(), 2) << log.toStdString();
    for (const QJsonValue &rules : got.value("sheets").toArray())
        EXPECT_EQ(rules.toString(), "refused");
    EXPECT_EQ(got.value("outsideRule").toString(), "none");
    for (const QJsonValue &cues : got.value("cues").toArray())
        EXPECT_EQ(cues.toString(), "");
    const QJsonObject exists = got.value("exists").toObject();
    EXPECT_EQ(exists.value("inside").toString(), "shown");
    for (const char *name : {"inside missing", "link out", "outside", "outside missing", "system", "remote",
                             "sheet outside", "sheet outside missing", "sheet inside missing", "up", "sheet up"})
        EXPECT_EQ(exists.value(name).toString(), "error") << name;
    for (const QJsonValue &where : got.value("where").toArray())
        EXPECT_FALSE(where.toString().remove(folder.outside("")).contains(folder.home))
            << where.toString().toStdString();
    EXPECT_EQ(got.value("fetchOwn").toString(), "refused");
    EXPECT_EQ(got.value("xhrOwn").toString(), "refused");
    EXPECT_EQ(got.value("canvas").toString(), "refused");
    EXPECT_FALSE(log.contains(QString::fromLatin1(hostile::Secret)));

    EXPECT_TRUE(listener.heard().isEmpty()) << listener.heard().join(u'\n').toStdString();
    EXPECT_EQ(StandInOpener::install().calls(), QStringList());
}

TEST(SealedPreviewEndToEnd, ADocumentAskingForAlertsWithoutEndLeavesTheWindowUsable) {
    if (!testing_x::canType())
        GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
    QTemporaryDir home;
    const QString file = home.filePath("notes.md");
    ASSERT_TRUE(hostile::writeFile(file, "# Alerts\n\n<script>\nsetTimeout(function () { console.log('asking');"
                                         " for (;;) alert('again'); }, 100);\n</script>\n\nThe end.\n"));
    QProcess orvane;
    QString log;
    start(orvane, home.path(), file, &log);
    ASSERT_TRUE(orvane.waitForStarted(10000));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return log.contains("page console: asking"); }, 60s)) << log.toStdString();

    // The keys reach the editor, and Ctrl+Q saves and quits.
    ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("notes.md"); }, 30s));
    testing_qt::spinFor(500ms);
    ASSERT_TRUE(testing_x::typeText("typed "));
    ASSERT_TRUE(testing_x::pressKeys({"Control_L", "q"}));
    const bool quitted = testing_qt::spinUntil([&] { return orvane.state() == QProcess::NotRunning; }, 60s);
    if (!quitted)
        quit(orvane);
    ASSERT_TRUE(quitted) << log.toStdString();
    EXPECT_EQ(orvane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(orvane.exitCode(), 0);
    EXPECT_TRUE(readAll(file).startsWith("typed # Alerts")) << readAll(file).toStdString();
    EXPECT_EQ(log.count("Not shown: a page's"), 1);  // one line for the page, not one for each alert
}

TEST(SealedPreviewEndToEnd, TransclusionStillTakesFilesInFromWhereTheDocumentNamesThem) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("a/b");
    ASSERT_TRUE(QDir().mkpath(folder) && QDir().mkpath(dir.filePath("elsewhere")));
    ASSERT_TRUE(hostile::writeFile(dir.filePath("elsewhere/absolute.md"), "Taken in by its whole path.\n"));
    ASSERT_TRUE(hostile::writeFile(dir.filePath("parent.md"), "Taken in from two folders up.\n"));
    QImage picture(37, 23, QImage::Format_RGB32);
    picture.fill(Qt::darkBlue);
    ASSERT_TRUE(picture.save(folder + "/pic.png", "PNG"));
    const QString document = folder + "/doc.md";
    ASSERT_TRUE(hostile::writeFile(document, "# Parts\n\n{{" +
                                                 QFile::encodeName(dir.filePath("elsewhere/absolute.md")) +
                                                 "}}\n\n{{../../parent.md}}\n\n![a picture](pic.png)\n"));
    NewUser user(dir.filePath("preferences.json"));
    user.defaults().setBool(true, "EXT_TRANSCLUDE");
    platform::ScriptedAlerts alerts;
    Application app(user.defaults(), TZRThemeController::standardLocations());
    SmartEditorDocument *opened = app.open(document);
    ASSERT_TRUE(opened);
    auto *content = dynamic_cast<TZRMasterView *>(opened->content());
    ASSERT_TRUE(content && content->webView());
    SmartWebView *preview = content->webView();
    EXPECT_TRUE(previewShows(preview, "Taken in by its whole path."));
    EXPECT_TRUE(previewShows(preview, "Taken in from two folders up."));
    EXPECT_TRUE(testing_qt::spinUntil(
        [&] {
            return web_test::evaluateText(*preview, "var p = document.querySelector('img');"
                                                    "p ? p.naturalWidth + 'x' + p.naturalHeight : ''") == "37x23";
        },
        30s));
    EXPECT_FALSE(
        web_test::evaluateText(*preview, "document.location.href + ' ' + document.baseURI").contains(dir.path()));
    EXPECT_EQ(alerts.count(), 0);
}

// A document whose script puts states of 16 MB and addresses of 2 MB into
// its page's history for eight seconds leaves the program's memory where
// it was (the engine kept them in the program's process, 50 places deep),
// and the page goes on.
TEST(SealedPreviewEndToEnd, ADocumentFillingItsHistoryLeavesTheProgramsMemoryAlone) {
    QTemporaryDir home;
    const QString file = home.filePath("history.md");
    ASSERT_TRUE(hostile::writeFile(file, R"md(# History

<script>
setTimeout(function () {
  var state = new Uint8Array(16 << 20), address = 'u'.repeat(2000000), n = 0, refused = 0;
  var ends = Date.now() + 8000;
  console.log('history: started');
  (function step() {
    state[0] = n++;
    try { history.pushState({n: n, state: state}, ''); } catch (e) { refused++; }
    try { history.pushState(null, '', '#' + n + address); } catch (e) { refused++; }
    location.hash = n + address;
    // A dozen rounds at least, however slowly a loaded machine takes them.
    if (Date.now() < ends || n < 12) return setTimeout(step, 0);
    console.log('history: done ' + n + ' ' + refused + ' ' + location.href.length);
  })();
}, 500);
</script>
)md"));
    QProcess orvane;
    QString log;
    start(orvane, home.path(), file, &log);
    ASSERT_TRUE(orvane.waitForStarted(10000));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return log.contains("page console: history: started"); }, 60s))
        << log.toStdString();
    const qint64 before = residentMemoryOf(orvane.processId());
    qint64 most = before;
    const bool done = testing_qt::spinUntil(
        [&] {
            most = std::max(most, residentMemoryOf(orvane.processId()));
            return log.contains("page console: history: done");
        },
        90s);
    testing_qt::spinFor(1s);
    most = std::max(most, residentMemoryOf(orvane.processId()));
    const QStringList said = pageSaid(log, "history: done ").split(u' ');
    quit(orvane);
    ASSERT_TRUE(done) << log.toStdString();
    ASSERT_GT(before, 0);
    ASSERT_EQ(said.size(), 3) << log.toStdString();
    EXPECT_GT(said[0].toInt(), 10);
    EXPECT_EQ(said[1].toInt(), 2 * said[0].toInt());  // every state and address was too large
    EXPECT_LT(said[2].toInt(), 1000);                  // and the page never moved to a long fragment
    EXPECT_LT(most - before, qint64(300) << 20) << (most - before) / (1 << 20) << " MB more";
}
