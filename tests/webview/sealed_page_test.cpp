// The sealed page on the real web engine: an attacker's document shows what
// its folder holds, reads none of it and nothing around it, tells nothing of
// where it is, and sends nothing out, by any way a page has; its dialogs
// never hold the window.
#include "hostile_folder.h"
#include "platform/web/web_view.h"
#include "support/loopback_listener.h"
#include "support/qt_print.h"
#include "web_test_support.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineHistory>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace web_test;

namespace {

class SealedPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Sound and video make the engine look for the desktop's session
        // bus; without one, it would start one through the display, which
        // can hang the engine's end. Here it finds at once that there is
        // none.
        if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvane-tests/no-bus");
        window.resize(900, 700);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(view);
        window.show();
        view->setNavigationPolicy([](const QUrl &) { return platform::WebView::Navigation::Stay; });
        ASSERT_TRUE(folder.write());
        ASSERT_TRUE(listener.isListening());
    }

    // Loads the attacker's document and waits until it has tried every way.
    QJsonObject attack() {
        const QString page = "<!DOCTYPE html><html><head></head><body>" +
                             folder.fragment(listener.tcpPort(), listener.udpPort()) + "</body></html>";
        EXPECT_EQ(load(*view, page, QUrl::fromLocalFile(folder.document)), true);
        EXPECT_TRUE(waitUntil([&] { return got().value("done").toBool(); }, 60000)) << gotText().toStdString();
        return got();
    }
    QString gotText() { return evaluateText(*view, "document.getElementById('got').textContent"); }
    QJsonObject got() { return QJsonDocument::fromJson(gotText().toUtf8()).object(); }

    QWidget window;
    QLineEdit *field = new QLineEdit;
    platform::WebView *view = new platform::WebView;
    hostile::Folder folder;
    LoopbackListener listener;
};

// What the page's script noted in its `got`.
QJsonObject pageGot(platform::WebView &view) {
    return QJsonDocument::fromJson(evaluateText(view, "JSON.stringify(got)").toUtf8()).object();
}

// What the frame tests' pages share: `note(name, w)` notes in `got` what
// window `w` has of WebRTC ("undefined undefined" for none), `last(w)` is the
// last frame of `w` (of the page by default), by the frame count the window
// had at first, and `putFrameAndScript(name, shadowed)` puts in, by one call,
// a frame with an address (which loads nothing) and then a script made by
// script, in a shadow tree when `shadowed`, that notes the frame as `name`.
const char *FrameProbe = R"js(
window.got = {};
var frameCount = Object.getOwnPropertyDescriptor(window, 'length').get;
window.kind = function (w) {
  if (w === null || w === undefined) return 'no window';
  try { return String(w.RTCPeerConnection) + ' ' + String(w.webkitRTCPeerConnection); }
  catch (e) { return 'another origin'; }
};
window.note = function (name, w) { got[name] = kind(w); };
window.last = function (w) { w = w || window; return w[frameCount.call(w) - 1]; };
window.putFrameAndScript = function (name, shadowed) {
  var fragment = document.createDocumentFragment(), frame = document.createElement('iframe');
  frame.src = 'y.html';
  fragment.appendChild(frame);
  var script = document.createElement('script');
  script.text = 'note("' + name + '", last());';
  if (shadowed) {
    var shadow = document.createElement('div').attachShadow({mode: 'closed'});
    shadow.appendChild(script);
    fragment.appendChild(shadow.host);
  } else {
    fragment.appendChild(script);
  }
  document.body.appendChild(fragment);
};
)js";

}  // namespace

// The folder's picture, style sheets (one imported), font and sound show;
// no script reads a style sheet's rules, a subtitle's cues, a picture's
// pixels, the sound's samples or a file by its address. Nothing outside the
// folder shows, through a link out of it either.
TEST_F(SealedPageTest, ShowsTheFoldersFilesAndReadsNoneOfThem) {
    StepWatch watch;
    watch.step("the attack");
    const QJsonObject found = attack();
    ASSERT_GE(found.value("sheets").toArray().size(), 2) << gotText().toStdString();
    for (const QJsonValue &rules : found.value("sheets").toArray())
        EXPECT_EQ(rules.toString(), "refused");
    EXPECT_TRUE(found.value("inlineRules").toString().contains("rgb(7, 8, 9)"));  // the page's own rules read
    EXPECT_EQ(found.value("outsideRule").toString(), "none");
    ASSERT_EQ(found.value("cues").toArray().size(), 2);
    for (const QJsonValue &cues : found.value("cues").toArray())
        EXPECT_EQ(cues.toString(), "");
    EXPECT_EQ(found.value("fetchOwn").toString(), "refused");
    EXPECT_EQ(found.value("xhrOwn").toString(), "refused");
    EXPECT_EQ(found.value("canvas").toString(), "refused");
    EXPECT_FALSE(gotText().contains(QString::fromLatin1(hostile::Secret)));
    EXPECT_FALSE(gotText().contains("FOLDER-RULE"));
    EXPECT_FALSE(gotText().contains("FOLDER-CUE"));

    // What the folder holds shows all the same.
    watch.step("what shows");
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.querySelector('p.q')).color"), "rgb(1, 2, 3)");
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.querySelector('p.q'), '::before').content"),
              "\"FOLDER-RULE \"");
    EXPECT_EQ(evaluateText(*view, "getComputedStyle(document.querySelector('p.d')).color"), "rgb(4, 5, 6)");
    EXPECT_EQ(evaluateText(*view, "var p = document.getElementById('pic'); p.naturalWidth + 'x' + p.naturalHeight"),
              "37x23");
    ASSERT_TRUE(waitUntil([&] {
        return evaluateText(*view, "Array.from(document.fonts).filter(function (f) { return f.family.indexOf("
                                   "'Folder Font') >= 0; }).map(function (f) { return f.status; }).join()") == "loaded";
    })) << "the folder's font did not load";
    watch.step("the sound's length");
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "document.getElementById('tone').duration").toDouble() > 5; }));

    // A click lets the page play sound: the folder's sound plays, but the
    // page hears silence; its own sound it hears.
    watch.step("the sound played");
    click(*view, QPointF(20, 20));
    ASSERT_TRUE(waitUntil([&] { return got().contains("audio") && got().contains("audioControl"); }, 30000))
        << gotText().toStdString();
    EXPECT_GT(got().value("audioControl").toDouble(), 0.1);
    EXPECT_EQ(got().value("audio").toDouble(), 0.0);
}

// Files outside the folder (by their addresses, by a link out of it, or the
// system's) fail as a missing file of the folder does, and nothing the page
// can see of itself names a folder of the user's.
TEST_F(SealedPageTest, TellsNothingOfWhatLiesOutsideTheFolderNorWhereItIs) {
    const QJsonObject found = attack();
    const QJsonObject exists = found.value("exists").toObject();
    EXPECT_EQ(exists.value("inside").toString(), "shown");
    for (const char *name : {"inside missing", "link out", "outside", "outside missing", "system", "remote",
                             "sheet outside", "sheet outside missing", "sheet inside missing", "up", "sheet up"})
        EXPECT_EQ(exists.value(name).toString(), "error") << name;
    const QString home = folder.dir.path();
    ASSERT_GE(found.value("where").toArray().size(), 8);
    for (const QJsonValue &where : found.value("where").toArray()) {
        // Addresses of files outside that the page named itself it knows.
        const QString seen = where.toString().remove(folder.outside(""));
        EXPECT_FALSE(seen.contains(home)) << where.toString().toStdString();
        EXPECT_FALSE(seen.contains("/ann/")) << where.toString().toStdString();
    }
    EXPECT_EQ(found.value("where").toArray().first().toString(), view->site().pageUrl().toString());
}

// No connection leaves the page, by any way it tries: WebRTC from a frame
// it made and reached at once, or one it wrote, included.
TEST_F(SealedPageTest, OpensNoConnectionOfItsOwn) {
    const QJsonObject found = attack();
    EXPECT_EQ(found.value("rtc").toObject().value("page").toString(), "refused");
    EXPECT_EQ(found.value("rtc").toObject().value("written frame").toString(), "refused");
    EXPECT_EQ(found.value("rtc").toObject().value("blank frame").toString(), "refused");
    EXPECT_TRUE(listener.heard().isEmpty()) << listener.heard().join(u'\n').toStdString() << "\n"
                                            << gotText().toStdString();
}

// No window the page reaches has WebRTC, at any moment: not a frame's first,
// empty document, however the frame was made (by the parser, by script, by
// the parser writing, inside another frame, in a shadow tree, as an object),
// however the page reaches it (window[i], frames[i], the frame element, its
// document's view, its name), nor after a document was opened again. The
// empty documents run no script of the page's ("javascript:" ones
// included), and a frame's own document still shows and runs its scripts.
TEST_F(SealedPageTest, NoWindowThePageReachesHasWebRtc) {
    StepWatch watch;
    watch.step("the frames");
    const QUrl base = QUrl::fromLocalFile(folder.document);
    ASSERT_EQ(load(*view, QString::fromUtf8(R"html(
<iframe></iframe><iframe src="elsewhere.html" name="named"></iframe>
<object data="about:blank" type="text/html"></object><div id="host"></div>
<script>FRAME_PROBE
note('top', window);
note('parsed', window[0]);
note('parsed with an address', frames[1]);
note('parsed by name', window.named);
document.write('<iframe src="written.html"></iframe><script>note("written, then a script", last());<\/script>');
customElements.define('x-probe', class extends HTMLElement {
  connectedCallback() { note('parsed, then an element of the page', last()); }
});
</script>
<iframe src="later.html"></iframe><x-probe></x-probe>
<script>
var heard = false;
window.addEventListener('DOMNodeInserted', function () {
  if (!heard) note('the page hears a node', last());
  heard = true;
}, true);
var f = document.body.appendChild(document.createElement('iframe'));
note('appended', last());
note('appended, its element', f.contentWindow);
note('appended, its document', f.contentDocument.defaultView);
document.body.insertAdjacentHTML('beforeend', '<div><iframe src="x.html"></iframe></div>');
note('inserted as text', last());
putFrameAndScript('made with a script', false);
putFrameAndScript('made with a script in a shadow tree', true);
var select = document.body.appendChild(document.createElement('select'));
var option = document.createElement('option');
option.appendChild(document.createElement('iframe'));
select[0] = option;
note('in an option', last());
var child = f.contentWindow;
child.document.body.appendChild(child.document.createElement('iframe'));
note('in a frame', child[0]);
child[0].document.body.appendChild(child[0].document.createElement('iframe'));
note('in a frame in a frame', child[0][0]);
child.document.write('<iframe src="z.html"></iframe><script>parent.note("written into a frame", window[1]);<\/script>');
note('written into a frame, from outside', last(child));
child.document.open();
child.document.write('<p>again</p>');
child.document.close();
child.document.body.appendChild(child.document.createElement('iframe'));
note('in a frame opened again', last(child));
var o = document.createElement('object');
o.type = 'text/html';
o.data = 'about:blank';
document.body.appendChild(o);
note('object', o.contentWindow);
var shadow = document.getElementById('host').attachShadow({mode: 'closed'});
var s = document.createElement('iframe');
s.src = 's.html';
s.name = 'shadowed';
shadow.appendChild(s);
note('in a shadow tree', s.contentWindow);
note('in a shadow tree, by name', window.open('', 'shadowed'));
var js = document.body.appendChild(document.createElement('iframe'));
js.contentWindow.location.href = "javascript:'<script>parent.note(\"javascript: address\", window);<\/script>'";
var own = document.createElement('iframe');
own.srcdoc = '<p>its own</p><script>parent.note("its own document", window);' +
  ' document.body.appendChild(document.createElement("iframe")); parent.note("in its own document", window[0]);<\/script>';
document.body.appendChild(own);
window.addEventListener('load', function () {
  got.shown = own.contentDocument ? own.contentDocument.querySelector('p').textContent : 'not shown';
  // Every frame there is now, the object's too, whose frame comes with the
  // page's layout.
  (function walk(w, path) {
    for (var i = 0; i < w.length; i++) {
      var k = kind(w[i]);
      if (k !== 'undefined undefined' && k !== 'another origin') got['frame ' + path + i] = k;
      try { walk(w[i], path + i + '.'); } catch (e) {}
    }
  })(window, '');
  setTimeout(function () {
    document.open();
    document.write('<p id="again">opened again</p>');
    var again = document.body.appendChild(document.createElement('iframe'));
    note('opened again', again.contentWindow);
    note('opened again, window[i]', last());
    document.close();
    got.done = true;
  }, 0);
});
</script>)html")
                              .replace("FRAME_PROBE", QString::fromUtf8(FrameProbe)),
                   base),
              true);
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "window.got && window.got.done === true").toBool(); }, 60000))
        << evaluateText(*view, "JSON.stringify(window.got)").toStdString();
    const QJsonObject got = pageGot(*view);
    const QStringList reached = {"top",
                                 "parsed",
                                 "parsed with an address",
                                 "parsed by name",
                                 "written, then a script",
                                 "parsed, then an element of the page",
                                 "the page hears a node",
                                 "appended",
                                 "appended, its element",
                                 "appended, its document",
                                 "inserted as text",
                                 "made with a script",
                                 "made with a script in a shadow tree",
                                 "in an option",
                                 "in a frame",
                                 "in a frame in a frame",
                                 "written into a frame, from outside",
                                 "in a frame opened again",
                                 "object",
                                 "in a shadow tree",
                                 "in a shadow tree, by name",
                                 "its own document",
                                 "in its own document",
                                 "opened again",
                                 "opened again, window[i]"};
    for (const QString &name : reached)
        EXPECT_EQ(got.value(name).toString(), "undefined undefined") << name.toStdString();
    for (const QString &name : got.keys())
        EXPECT_FALSE(name.startsWith("frame "))
            << name.toStdString() << ": " << got.value(name).toString().toStdString();
    // The empty documents ran nothing of the page's.
    EXPECT_FALSE(got.contains("written into a frame"));
    EXPECT_FALSE(got.contains("javascript: address"));
    EXPECT_EQ(got.value("shown").toString(), "its own");
}

// What a page changes of its own window first (the built-in functions and
// prototypes it may replace, its frame count, which it may overwrite), or of
// a frame's window before the frame's own document comes into it, makes no
// window it reaches afterwards have WebRTC.
TEST_F(SealedPageTest, NoWindowHasWebRtcWhateverThePageChangedOfItsOwn) {
    const QUrl base = QUrl::fromLocalFile(folder.document);
    ASSERT_EQ(load(*view, QString::fromUtf8(R"html(<body><script>FRAME_PROBE
Object.defineProperty(Array.prototype, '0', {set: function () {}, configurable: true});
Object.defineProperty(Array.prototype, '1', {set: function () {}, configurable: true});
Object.defineProperty(NodeList.prototype, 'length', {get: function () { return 0; }, configurable: true});
Object.defineProperty(Document.prototype, 'defaultView', {get: function () { return null; }, configurable: true});
RegExp.prototype.exec = function () { return null; };
String.prototype.startsWith = function () { return false; };
Object.prototype.get = function () {};
Object.prototype.attributeOldValue = true;
window.length = 0;
var f = document.createElement('iframe');
document.body.appendChild(f);
note('appended', last());
putFrameAndScript('made with a script', false);
putFrameAndScript('made with a script in a shadow tree', true);
document.write('<iframe src="written.html"></iframe><script>note("written, then a script", last());<\/script>');
var child = f.contentWindow;
child.document.open();
child.document.close();
child.document.body.appendChild(child.document.createElement('iframe'));
note('in a frame opened again', last(child));
// A frame's own document comes into the window the page reached first,
// and changed, through the frame's element.
var own = document.createElement('iframe');
own.srcdoc = '<body><script>document.body.appendChild(document.createElement("iframe"));' +
  ' parent.note("in its own document", window[0]); parent.got.done = true;<\/script>';
document.body.appendChild(own);
var early = own.contentWindow;
early.Reflect.apply = function () { return null; };
early.Object.getOwnPropertyNames = function () { return []; };
early.EventTarget.prototype.addEventListener = function () {};
early.MutationObserver = function () {};
</script>)html")
                              .replace("FRAME_PROBE", QString::fromUtf8(FrameProbe)),
                   base),
              true);
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "window.got && window.got.done === true").toBool(); }, 60000));
    const QJsonObject got = pageGot(*view);
    for (const char *name : {"appended", "made with a script", "made with a script in a shadow tree",
                             "written, then a script", "in a frame opened again", "in its own document"})
        EXPECT_EQ(got.value(name).toString(), "undefined undefined") << name;
}

namespace {

// The memory this process holds (its VmRSS), in bytes; the web engine keeps
// a page's blobs and stores here, in the program's own process.
qint64 residentMemory() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// How much this process grew at most, over what it held at first, while the
// page wrote no "done" into its "got" yet (for at most two minutes).
qint64 growthUntilDone(platform::WebView &view, qint64 before) {
    qint64 most = before;
    waitUntil(
        [&] {
            most = std::max(most, residentMemory());
            return evaluate(view, "window.got && got.done === true").toBool();
        },
        120000);
    pause(1000);
    return std::max(most, residentMemory()) - before;
}

}  // namespace

// A page cannot make the program hold its data: it makes no blob (by any
// of the ways a page has), keeps nothing in IndexedDB, the cache or a file
// system, in its own window or a frame's. Its script, which keeps 768 MB
// of blobs and 512 MB in IndexedDB where it can, grows this process by far
// less; the page's own storage that the engine bounds stays.
TEST_F(SealedPageTest, APageMakesTheProgramHoldNoDataOfItsOwn) {
    const qint64 before = residentMemory();
    ASSERT_GT(before, 0);
    ASSERT_EQ(load(*view, R"html(<!DOCTYPE html><html><body><pre id="got"></pre><script>
var got = {}, kept = [], chunk = 16 << 20;
function show() { document.getElementById('got').textContent = JSON.stringify(got); }
function attempt(name, step) { try { got[name] = String(step()); } catch (e) { got[name] = 'refused'; } }
(function blobs(step) {
  if (step === 48) { got.blobs = 'made'; return stores(); }
  try { kept.push(URL.createObjectURL(new Blob([new Uint8Array(chunk)]))); }
  catch (e) { got.blobs = 'refused'; return stores(); }
  setTimeout(function () { blobs(step + 1); }, 0);
})(0);
function stores() {
  var open;
  try { open = indexedDB.open('filled'); } catch (e) { got.indexedDB = 'refused'; return rest(); }
  open.onupgradeneeded = function () { open.result.createObjectStore('s'); };
  open.onerror = function () { got.indexedDB = 'failed'; rest(); };
  open.onsuccess = function () {
    var db = open.result, step = 0;
    (function put() {
      if (step === 32) { got.indexedDB = 'stored'; return rest(); }
      var t = db.transaction('s', 'readwrite');
      t.objectStore('s').put(new Uint8Array(chunk), step++);
      t.oncomplete = put;
      t.onerror = t.onabort = function () { got.indexedDB = 'failed'; rest(); };
    })();
  };
}
function rest() {
  attempt('file', function () { return new File(['x'], 'x.txt').size; });
  attempt('response', function () { return typeof new Response('x').blob().then; });
  attempt('form', function () { return typeof new Response('x').formData().then; });
  attempt('caches', function () { return typeof caches.open; });
  attempt('storage', function () { return typeof navigator.storage.estimate; });
  attempt('file system', function () { return typeof webkitRequestFileSystem.call; });
  attempt('recorder', function () { return typeof MediaRecorder.isTypeSupported; });
  var frame = document.body.appendChild(document.createElement('iframe'));
  attempt('frame', function () {
    var w = frame.contentWindow;
    return typeof w.Blob + ' ' + typeof w.indexedDB + ' ' + typeof w.URL.createObjectURL;
  });
  attempt('local storage', function () {
    localStorage.setItem('kept', 'a little');
    return localStorage.getItem('kept');
  });
  got.done = true;
  show();
}
</script></body></html>)html",
                   QUrl::fromLocalFile(folder.document)),
              true);
    qint64 most = before;
    ASSERT_TRUE(waitUntil(
        [&] {
            most = std::max(most, residentMemory());
            return got().value("done").toBool();
        },
        120000))
        << gotText().toStdString();
    pause(2000);
    most = std::max(most, residentMemory());
    const QJsonObject found = got();
    for (const char *way : {"blobs", "indexedDB", "file", "response", "form", "caches", "storage", "file system",
                            "recorder"})
        EXPECT_EQ(found.value(way).toString(), QStringLiteral("refused")) << way;
    EXPECT_EQ(found.value("frame").toString(), "undefined undefined undefined");
    EXPECT_EQ(found.value("local storage").toString(), "a little");
    EXPECT_LT(most - before, qint64(300) << 20) << (most - before) / (1 << 20) << " MB more";
}

// The page's history in a loop, each way a page has to put data into it
// for a few seconds and a dozen rounds at least: a state of 16 MB, an
// address of 2 MB by pushState, by a fragment and by a link, and the
// navigation API's own states. The engine kept up to 50 places with their
// states and addresses in this process (1 GB in 12 s); now it keeps the
// present place alone, whose state and address are bounded, and the page is
// told when it asks for more.
TEST_F(SealedPageTest, APagesHistoryNeverGrowsTheProgram) {
    const qint64 before = residentMemory();
    ASSERT_GT(before, 0);
    ASSERT_EQ(load(*view, R"html(<!DOCTYPE html><html><body><script>
var got = {tries: 0}, state = new Uint8Array(16 << 20), address = 'u'.repeat(2000000);
var link = document.body.appendChild(document.createElement('a'));
function attempt(name, step) {
  try { step(); got[name] = 'done'; } catch (e) { got[name] = e.name; }
}
var ends = Date.now() + 8000;
(function step() {
  var n = got.tries++;
  state[0] = n;
  attempt('state', function () { history.pushState({n: n, state: state}, ''); });
  attempt('replaced state', function () { history.replaceState(state, ''); });
  attempt('address', function () { history.pushState(null, '', '?' + n + address); });
  attempt('fragment', function () { location.hash = n + address; });
  attempt('link', function () { link.href = '#link' + n + address; link.click(); });
  attempt('navigation', function () { navigation.navigate('#' + n, {state: state}); });
  attempt('small', function () { history.pushState({n: n}, '', '#small' + n); });
  // A dozen rounds at least, however slowly a loaded machine takes them.
  if (Date.now() < ends || got.tries < 12) return setTimeout(step, 0);
  got.href = location.href.length;
  got.kept = JSON.stringify(history.state);
  got.done = true;
})();
</script></body></html>)html",
                   QUrl::fromLocalFile(folder.document)),
              true);
    const qint64 grown = growthUntilDone(*view, before);
    const QJsonObject found = pageGot(*view);
    ASSERT_TRUE(found.value("done").toBool()) << QJsonDocument(found).toJson().toStdString();
    EXPECT_GT(found.value("tries").toInt(), 10);
    for (const char *way : {"state", "replaced state", "address"})
        EXPECT_EQ(found.value(way).toString(), "QuotaExceededError") << way;
    EXPECT_EQ(found.value("navigation").toString(), "TypeError");
    // The long fragments were not moved to; the small places were.
    EXPECT_LT(found.value("href").toInt(), 1000);
    EXPECT_EQ(found.value("small").toString(), "done");
    EXPECT_TRUE(found.value("kept").toString().startsWith("{\"n\":")) << found.value("kept").toString().toStdString();
    EXPECT_TRUE(waitUntil([&] { return view->history()->count() == 1; }, 10000)) << view->history()->count();
    EXPECT_LT(grown, qint64(200) << 20) << grown / (1 << 20) << " MB more";
}

// What else a page could make the program keep for it, each for a few
// seconds in a loop: a window's name of 8 MB (the main window's, a frame's),
// icons with addresses of 2 MB, downloads of data addresses of 2 MB (the
// engine kept each one it was asked for, refused or not) and requests for
// the permission to show notifications (which flooded the program even
// when refused at once). None reaches the engine: a name that long throws,
// no link names an icon, a click on a link to download does nothing, and
// the page has no notifications; a frame is not made with a long name.
TEST_F(SealedPageTest, APageMakesTheProgramKeepNoNameIconDownloadOrRequestOfItsOwn) {
    const qint64 before = residentMemory();
    ASSERT_GT(before, 0);
    ASSERT_EQ(load(*view, R"html(<!DOCTYPE html><html><head><link rel="icon" href="parsed.png"></head><body><script>
var got = {}, longName = 'n'.repeat(8 << 20), address = 'a'.repeat(1900000), n = 0;
var frame = document.body.appendChild(document.createElement('iframe'));
try { document.body.insertAdjacentHTML('beforeend', '<iframe name="' + 'f'.repeat(1 << 20) + '"></iframe>'); }
catch (e) { got['frame named'] = e.name; }
function attempt(name, step) {
  try { var result = step(); got[name] = result === undefined ? 'done' : result; } catch (e) { got[name] = e.name; }
}
var ways = [
  function () {
    attempt('name', function () { window.name = n + longName; });
    attempt("a frame's name", function () { frame.contentWindow.name = n + longName; });
  },
  function () {
    if (document.head.children.length > 40) return;
    var icon = document.createElement('link');
    icon.rel = 'shortcut icon';
    icon.href = n + address + '.png';
    document.head.appendChild(icon);
  },
  function () {
    var link = document.body.appendChild(document.createElement('a'));
    link.href = 'data:text/plain,' + n + address;
    link.download = 'x.txt';
    var click = new MouseEvent('click', {bubbles: true, cancelable: true});
    link.dispatchEvent(click);
    got.download = click.defaultPrevented ? 'prevented' : 'made';
    link.remove();
  },
  function () {
    attempt('notifications', function () { for (var i = 0; i < 200; i++) Notification.requestPermission(); });
  }];
// Each way for six seconds, and a dozen times at least however slowly the
// page runs beside other work.
var way = 0, steps = 0, ends = Date.now() + 6000;
(function step() {
  n++;
  steps++;
  ways[way]();
  if (Date.now() > ends && steps >= 12) {
    if (++way === ways.length) {
      got.icons = document.head.querySelectorAll('link[rel]').length;
      got.links = document.head.querySelectorAll('link').length;
      got.done = true;
      return;
    }
    steps = 0;
    ends = Date.now() + 6000;
  }
  setTimeout(step, 0);
})();
</script></body></html>)html",
                   QUrl::fromLocalFile(folder.document)),
              true);
    const qint64 grown = growthUntilDone(*view, before);
    const QJsonObject found = pageGot(*view);
    ASSERT_TRUE(found.value("done").toBool()) << QJsonDocument(found).toJson().toStdString();
    EXPECT_EQ(found.value("frame named").toString(), "QuotaExceededError");
    EXPECT_EQ(found.value("name").toString(), "QuotaExceededError");
    EXPECT_EQ(found.value("a frame's name").toString(), "QuotaExceededError");
    EXPECT_GT(found.value("links").toInt(), 10);
    EXPECT_EQ(found.value("icons").toInt(-1), 0);
    EXPECT_EQ(found.value("download").toString(), "prevented");
    EXPECT_EQ(found.value("notifications").toString(), "TypeError");
    // A name that fits is kept.
    EXPECT_EQ(evaluateText(*view, "window.name = 'fits'; window.name"), "fits");
    EXPECT_LT(grown, qint64(200) << 20) << grown / (1 << 20) << " MB more";
}

// Frames a page makes in a loop, hidden, each way a frame could make the
// program keep something of the page's, for a few seconds each: frames whose
// first, empty documents move to an address of 2 MB (by their location),
// frames moved to such an address by their element, frames named with 32 MB
// as they are made (by a call, by markup, by writing) and frames by the
// hundred. The engine kept each name and address many times over, and a few
// hundred kilobytes of every frame: a frame's address is not let stay long,
// and the frame goes with it; names and addresses too long are refused, and
// a page holds a hundred frames at most. A frame that fits is made as ever.
TEST_F(SealedPageTest, APagesFramesNeverGrowTheProgram) {
    const qint64 before = residentMemory();
    ASSERT_GT(before, 0);
    ASSERT_EQ(load(*view, R"html(<!DOCTYPE html><html><body><script>
var got = {}, address = 'a'.repeat(2000000), longName = 'n'.repeat(32 << 20);
function frame() {
  var f = document.createElement('iframe');
  f.style.display = 'none';
  return f;
}
var fitting = frame();
fitting.name = 'fits';
fitting.src = 'about:blank#fits';
document.body.appendChild(fitting);
got.fits = fitting.contentWindow.name + ' ' + fitting.contentWindow.location.hash;
var ways = [
  ['moved', function (n) {
    var f = document.body.appendChild(frame());
    f.contentWindow.location.hash = n + address;
    got['moved to'] = f.isConnected ? f.contentWindow.location.href.length : 'gone';
  }],
  ['addressed', function (n) { document.body.appendChild(frame()).src = 'about:blank?' + n + address; }],
  ['named', function (n) {
    var f = frame();
    f.name = longName;
    document.body.appendChild(f);
  }],
  ['named in markup', function (n) {
    document.body.insertAdjacentHTML('beforeend', '<iframe style="display:none" name="' + longName + '"></iframe>');
  }],
  ['named in writing', function (n) {
    document.write('<iframe style="display:none" name="' + longName + '"></iframe>');
  }],
  ['many', function (n) { for (var i = 0; i < 25; i++) document.body.appendChild(frame()); }]];
// Each way for four seconds and eight times at least, however slowly the
// page runs beside other work, or until it is refused.
var way = 0, n = 0, refused = false, ends = Date.now() + 4000;
(function step() {
  var name = ways[way][0];
  try { ways[way][1](++n); got[name] = n; } catch (e) { got[name] = e.name; refused = true; }
  if (refused || (Date.now() > ends && n >= 8) || n >= 1000) {
    got[name + ' frames'] = window.length;
    if (++way === ways.length) { got.done = true; return; }
    n = 0;
    refused = false;
    ends = Date.now() + 4000;
    var frames = document.querySelectorAll('iframe');
    for (var i = 1; i < frames.length; i++) frames[i].remove();
  }
  setTimeout(step, 0);
})();
</script></body></html>)html",
                   QUrl::fromLocalFile(folder.document)),
              true);
    const qint64 grown = growthUntilDone(*view, before);
    const QJsonObject found = pageGot(*view);
    ASSERT_TRUE(found.value("done").toBool()) << QJsonDocument(found).toJson().toStdString();
    EXPECT_EQ(found.value("fits").toString(), "fits #fits");
    // Moved many times, each frame gone with its address.
    EXPECT_GT(found.value("moved").toInt(), 3);
    EXPECT_EQ(found.value("moved to").toString(), "gone");
    EXPECT_EQ(found.value("moved frames").toInt(-1), 1);
    for (const char *way : {"addressed", "named", "named in markup", "named in writing"}) {
        EXPECT_EQ(found.value(way).toString(), "QuotaExceededError") << way;
        EXPECT_LE(found.value(QString::fromUtf8(way) + " frames").toInt(-1), 2) << way;
    }
    EXPECT_EQ(found.value("many").toString(), "QuotaExceededError");
    EXPECT_EQ(found.value("many frames").toInt(), 100);
    EXPECT_LT(grown, qint64(200) << 20) << grown / (1 << 20) << " MB more";
}

// A page's alert, confirm and prompt show nothing, however many it asks for:
// the window goes on taking keys, and the page goes on; a page that asks
// before it is left is left when the program loads another.
TEST_F(SealedPageTest, APagesDialogsNeverHoldTheWindow) {
    // A dialog that holds the window is noted and sent away, so that the test
    // goes on to fail rather than wait for an answer.
    QStringList held;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            const QLabel *label = dialog->findChild<QLabel *>();
            held << dialog->windowTitle() + (label ? ": " + label->text() : QString());
            dialog->close();
        }
    });
    watch.start(50);
    const QUrl base = QUrl::fromLocalFile(folder.document);
    ASSERT_EQ(load(*view,
                   "<p id='n'>0</p><script>var n = 0; var answers = String(confirm('Sure?')) + ' ' + "
                   "String(prompt('Name?', 'x'));"
                   "(function ask() { for (var i = 0; i < 50; i++) { alert('again'); n++; }"
                   " document.getElementById('n').textContent = n + ' ' + answers; setTimeout(ask, 0); })();</script>",
                   base),
              true);
    ASSERT_TRUE(waitUntil([&] { return evaluateText(*view, "String(n)").toInt() > 1000; })) << held.size();
    EXPECT_TRUE(held.isEmpty()) << held.size() << " dialogs, the first " << held.value(0).toStdString();
    EXPECT_TRUE(evaluateText(*view, "document.getElementById('n').textContent").endsWith(" false null"));
    window.activateWindow();
    field->setFocus();
    QTest::keyClicks(field, "typed");
    EXPECT_EQ(field->text(), "typed");

    // A page that asks before it is left, after a click of the user's.
    ASSERT_EQ(load(*view,
                   "<p>x</p><script>window.onbeforeunload = function (e) { e.preventDefault(); e.returnValue = 'Stay?';"
                   " return 'Stay?'; };</script>",
                   base),
              true);
    click(*view, QPointF(20, 20));
    pause(100);
    ASSERT_EQ(load(*view, "<p id='next'>next</p>", base), true);
    EXPECT_EQ(evaluateText(*view, "document.getElementById('next').textContent"), "next");
    EXPECT_TRUE(held.isEmpty()) << held.size() << " dialogs, the first " << held.value(0).toStdString();
}

// A document without a file of its own stands in the temporary folder,
// whose files its page does not show; its scripts run all the same.
TEST_F(SealedPageTest, AnUntitledDocumentsPageShowsNoFolder) {
    view->setShowsDocumentFolder(false);
    const QString temporary = QDir::tempPath();
    QImage picture(5, 5, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QString name = QStringLiteral("orvane-untitled-%1.png").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(picture.save(temporary + u'/' + name, "PNG"));
    ASSERT_EQ(load(*view,
                   "<p id='ran'></p><img id='pic' src='" + name +
                       "'><script>document.getElementById('ran').textContent = 'ran';</script>",
                   QUrl::fromLocalFile(temporary + "/orvane.html")),
              true);
    EXPECT_EQ(evaluateText(*view, "document.getElementById('ran').textContent"), "ran");
    ASSERT_TRUE(waitUntil([&] { return evaluate(*view, "document.getElementById('pic').complete").toBool(); }));
    EXPECT_EQ(evaluate(*view, "document.getElementById('pic').naturalWidth").toInt(), 0);
    QFile::remove(temporary + u'/' + name);
}
