// The preview's math on the real web engine: documents of real formulas
// (tests/support/math_document.h: prose with inline math, display math,
// aligned derivations, matrices, cases) of 100 KB, 300 KB and 1 MB shown in
// SmartWebView with MathJax on, as the program shows them, and typed into in
// the middle. For each size it reports, one "name value unit" line each:
// - SIZE_view_set: the page asked for to every formula in view set;
// - SIZE_key_shown_median and _max: a key (one every 100 ms, 20 of them, a
//   word in the paragraph in the middle) to the page holding the text typed
//   up to it; SIZE_key_math_set: the last key to the math of its paragraph
//   set;
// - SIZE_quiet_after_typing and SIZE_cpu_after_typing: the last key to the
//   page's process using under 2% of a core over a second, and the CPU it
//   used meanwhile; SIZE_cpu_10s_after_typing, its share of a core over the
//   first ten seconds; SIZE_unset_when_quiet, the formulas left as written
//   then;
// - SIZE_scrolled_view_set: the view scrolled to the end of the page to
//   every formula in view set;
// - SIZE_whole_set and SIZE_cpu_whole_set: the whole page asked for (as
//   printing asks for it) to every formula set, and the CPU the page's
//   process used meanwhile.
// With --outputs it instead sets a whole page of math at --output-size KB
// in a plain page with each of MathJax's output processors (CommonHTML,
// HTML-CSS, SVG), configured as the preview configures MathJax otherwise:
// OUTPUT_one_block_median and _max, 40 paragraphs from all over the page
// set one at a time (as the preview's slices set them), then
// OUTPUT_whole_page, the rest set by one call, and OUTPUT_per_formula.
//
//   math_preview_bench [--sizes 100,300,1024]
//   math_preview_bench --outputs CommonHTML,HTML-CSS,SVG [--output-size 100]
//
// Needs a display: run it under a virtual one, as root with the engine's
// sandbox off, for instance (one line)
//   QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
//   xvfb-run -a -s "-screen 0 1600x1200x24" build/bench/math_preview_bench
#include "platform/prefs/registered_defaults.h"
#include "platform/web/engine_flags.h"
#include "platform/web/page_scheme.h"
#include "platform/web/page_scripts.h"
#include "support/math_document.h"
#include "window/preview/editor_surface.h"
#include "window/preview/preview_preferences.h"
#include "window/preview/smart_web_view.h"

#include "library/tzr.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>

#include <cstdio>
#include <cstdlib>
#include <memory>

// Last: the X headers it takes in define names that Qt's headers use.
#include "bench/support/running_program.h"

namespace {

using benchsupport::cpuOf;
using benchsupport::usedBetween;

void report(const QString &what, double value, const char *unit) {
    std::printf("%-32s %10.3f %s\n", qPrintable(what), value, unit);
    std::fflush(stdout);
}

bool waitUntil(const std::function<bool()> &done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// The value of `script` in the page's own world; invalid when it did not
// answer.
QVariant evaluate(platform::WebView &view, const QString &script) {
    QVariant answer;
    bool answered = false;
    view.runScript(script, [&](bool finished, const QVariant &result) {
        answered = true;
        if (finished)
            answer = result;
    }, std::chrono::milliseconds(60000));
    waitUntil([&] { return answered; }, 70000);
    return answer;
}

QString convert(const std::string &text) {
    char *html = tzr_string_convert(text.c_str(), TZR_EXT_COMPLETE | TZR_EXT_NOTES | TZR_EXT_SMART, 0, 0);
    const QString result = QString::fromUtf8(html);
    free(html);
    return result;
}

// Formulas not set yet: no output frame beside their source.
const QString UnsetMath = QStringLiteral(R"js((function () {
  var all = document.querySelectorAll('span.math'), n = 0;
  for (var i = 0; i < all.length; i++)
    if (!all[i].querySelector('script[type^="math/"]') || !all[i].querySelector('[id$="-Frame"]')) n++;
  return n;
})())js");

// Whether every formula in view is set (and there is one).
const QString ViewSet = QStringLiteral(R"js((function () {
  var all = document.querySelectorAll('span.math'), seen = 0;
  var low = 0, high = all.length;
  while (low < high) {
    var middle = (low + high) >> 1;
    if (all[middle].getBoundingClientRect().bottom < 0) low = middle + 1; else high = middle;
  }
  for (var i = low; i < all.length; i++) {
    var box = all[i].getBoundingClientRect();
    if (box.top > window.innerHeight) break;
    seen++;
    if (!all[i].querySelector('[id$="-Frame"]')) return false;
  }
  return seen > 0;
})())js");

// An editor whose caret stays at 40% of its 800 pixels.
class StillEditor : public EditorSurface {
public:
    QWidget *editorWidget() const override { return nullptr; }
    QScrollBar *verticalScrollBar() const override { return nullptr; }
    double viewHeight() const override { return 800; }
    double cursorPosition() const override { return 0.4; }
    QRectF percentOffsetRectForRange(qsizetype, qsizetype) const override { return {}; }
    QByteArray utf8Text() const override { return {}; }
};

double median(std::vector<double> values) {
    return benchsupport::percentile(std::move(values), 0.5);
}

void measureSize(int kilobytes) {
    const QString name = kilobytes >= 1024 ? QStringLiteral("%1MB").arg(kilobytes / 1024)
                                           : QStringLiteral("%1KB").arg(kilobytes);
    std::string text = mathdoc::document(size_t(kilobytes) * 1024);
    // The caret's anchor where the engine bridge would put it: in the
    // paragraph typed into.
    const std::string marker = "The midpoint paragraph stands here.";
    const std::string anchor =
        "<a id=\"TZRHTMLSCROLLPOINT\" style=\"font-size:0px;position:absolute;left:10px;\">.</a>";
    auto html = [&](const std::string &source) {
        QString page = convert(source);
        page.replace("The midpoint paragraph", "The midpoint paragraph" + QString::fromStdString(anchor));
        return page;
    };
    SmartWebView view;
    StillEditor editor;
    view.setLinkedTextView(&editor);
    view.resize(900, 1000);
    view.show();
    int refreshes = 0;
    QObject::connect(&view.controller(), &PreviewController::refreshed, [&] { refreshes++; });
    const QString first = html(text);
    std::printf("%s: %.0f KB of Markdown, %.0f KB of HTML\n", qPrintable(name), double(text.size()) / 1024,
                double(first.size()) / 1024);

    QElapsedTimer open;
    open.start();
    view.updatePreview(first);
    view.thawAndReload();
    waitUntil([&] { return refreshes > 0 && view.controller().knowsPageBlocks(); }, 120000);
    report(name + "_loaded", open.elapsed() / 1000.0, "s");
    const int formulas = evaluate(view, "document.querySelectorAll('span.math').length").toInt();
    report(name + "_formulas", formulas, "");
    waitUntil([&] { return evaluate(view, ViewSet).toBool(); }, 600000);
    report(name + "_view_set", open.elapsed() / 1000.0, "s");

    // A word typed in the middle, a key every 100 ms.
    const std::string word = " typed quickly now";
    std::vector<double> shown;
    std::string typed;
    const size_t at = text.find(marker) + marker.size() - 1;
    QElapsedTimer lastKey;
    for (char c : word) {
        typed += c;
        std::string edited = text;
        edited.insert(at, typed);
        QElapsedTimer key;
        key.start();
        lastKey.start();
        view.updatePreview(html(edited));
        const QString probe = QStringLiteral("document.body.textContent.indexOf(%1) >= 0")
                                  .arg(platform::WebView::stringLiteral(QStringLiteral("stands here") +
                                                                        QString::fromStdString(typed)));
        const bool in = waitUntil([&] { return evaluate(view, probe).toBool(); }, 120000);
        shown.push_back(in ? key.elapsed() : -1);
        // The next key 100 ms after this one, or at once when this one took
        // longer.
        waitUntil([&] { return key.elapsed() >= 100; }, 100);
    }
    text.insert(at, typed);
    report(name + "_key_shown_median", median(shown), "ms");
    report(name + "_key_shown_max", *std::max_element(shown.begin(), shown.end()), "ms");
    const QString paragraphSet = QStringLiteral(R"js((function () {
      var a = document.getElementById('TZRHTMLSCROLLPOINT'), p = a && a.closest('p');
      return !!p && p.querySelectorAll('[id$="-Frame"]').length === p.querySelectorAll('script[type^="math/"]').length;
    })())js");
    waitUntil([&] { return evaluate(view, paragraphSet).toBool(); }, 120000);
    report(name + "_key_math_set", lastKey.elapsed(), "ms");

    // After typing: the page's process until it is quiet (the page is not
    // asked anything meanwhile: a question costs it a walk over its math).
    const pid_t page = pid_t(view.page()->renderProcessPid());
    const benchsupport::CpuSample atLastKey = cpuOf({page});
    benchsupport::QuietWatch quiet(page, &lastKey);
    double tenSeconds = -1;
    qint64 quietAt = -1;
    benchsupport::CpuSample atQuiet;
    while (lastKey.elapsed() < 30 * 60 * 1000 && (quietAt < 0 || tenSeconds < 0)) {
        waitUntil([] { return false; }, 200);
        const benchsupport::CpuSample now = cpuOf({page});
        if (tenSeconds < 0 && lastKey.elapsed() >= 10000)
            tenSeconds = 100.0 * usedBetween(atLastKey, now) / (lastKey.elapsed() / 1000.0);
        if (quietAt < 0 && (quietAt = quiet.sample()) >= 0)
            atQuiet = now;
    }
    report(name + "_quiet_after_typing", quietAt < 0 ? -1 : quietAt / 1000.0, "s");
    report(name + "_cpu_after_typing", usedBetween(atLastKey, quietAt < 0 ? cpuOf({page}) : atQuiet), "s");
    report(name + "_cpu_10s_after_typing", tenSeconds, "% core");
    report(name + "_unset_when_quiet", evaluate(view, UnsetMath).toInt(), "");

    // The end of the page scrolled to.
    QElapsedTimer scrolled;
    scrolled.start();
    evaluate(view, "window.scrollTo(0, document.documentElement.scrollHeight)");
    waitUntil([&] { return evaluate(view, ViewSet).toBool(); }, 600000);
    report(name + "_scrolled_view_set", scrolled.elapsed(), "ms");

    // The whole page, as printing asks for it.
    const benchsupport::CpuSample beforeWhole = cpuOf({page});
    QElapsedTimer whole;
    whole.start();
    bool answered = false, ok = false;
    view.controller().showWholePage([&](bool set) {
        answered = true;
        ok = set;
    });
    waitUntil([&] { return answered; }, 30 * 60 * 1000);
    const double wholeSeconds = whole.elapsed() / 1000.0;
    view.controller().endWholePage();
    report(name + "_whole_set", ok && evaluate(view, UnsetMath).toInt() == 0 ? wholeSeconds : -1, "s");
    report(name + "_cpu_whole_set", usedBetween(beforeWhole, cpuOf({page})), "s");
}

// A plain page of `html`'s body with MathJax configured as the preview
// configures it, but for `output`, set whole.
void measureOutput(const QString &output, int kilobytes) {
    const QString body = [&] {
        const QString page = convert(mathdoc::document(size_t(kilobytes) * 1024));
        const qsizetype open = page.indexOf("<body>"), close = page.lastIndexOf("</body>");
        return page.mid(open + 6, close - open - 6);
    }();
    QString config = platform::pageResource(u"mathjax-config.js");
    config.replace("'output/CommonHTML'", "'output/" + output + "'");
    const QString page =
        "<!DOCTYPE html>\n<html><head><script>" + config + "</script><script src=\"" +
        platform::PageScheme::scriptUrl(QStringLiteral("mathjax/MathJax.js")).toString() +
        "\"></script></head><body>" + body + "</body></html>";
    platform::WebView view;
    view.resize(900, 1000);
    view.show();
    bool loaded = false;
    view.loadHtml(page, QUrl::fromLocalFile("/tmp/math.html"), [&](bool) { loaded = true; });
    waitUntil([&] { return loaded; }, 120000);
    waitUntil([&] { return evaluate(view, "!!(window.MathJax && MathJax.isReady)").toBool(); }, 120000);
    const int formulas = evaluate(view, "document.querySelectorAll('span.math').length").toInt();
    // Blocks one at a time, as the preview's slices set them: 40 paragraphs
    // from all over the page, each set by a call of its own.
    evaluate(view, R"js((function () {
      var blocks = Array.prototype.filter.call(document.body.children, function (e) {
        return !!e.querySelector('span.math'); });
      var pick = [], times = [];
      for (var i = 0; i < 40; i++) pick.push(blocks[Math.floor((i + 0.5) * blocks.length / 40)]);
      function next() {
        if (!pick.length) { times.sort(function (a, b) { return a - b; }); window.blockTimes = times; return; }
        var e = pick.shift(), t = performance.now();
        MathJax.Hub.Typeset(e, function () { times.push(performance.now() - t); setTimeout(next, 0); });
      }
      next();
    })())js");
    waitUntil([&] { return evaluate(view, "!!window.blockTimes").toBool(); }, 600000);
    report(output + "_one_block_median", evaluate(view, "window.blockTimes[20]").toDouble(), "ms");
    report(output + "_one_block_max", evaluate(view, "window.blockTimes[39]").toDouble(), "ms");
    QElapsedTimer clock;
    clock.start();
    evaluate(view, "MathJax.Hub.Queue(['Typeset', MathJax.Hub, document.body, function () { window.setWhole = true; }])");
    waitUntil([&] { return evaluate(view, "!!window.setWhole").toBool(); }, 30 * 60 * 1000);
    const double seconds = clock.elapsed() / 1000.0;
    report(output + QStringLiteral("_whole_page_%1KB").arg(kilobytes), seconds, "s");
    report(output + "_per_formula", 1000.0 * seconds / std::max(1, formulas), "ms");
}

}  // namespace

int main(int argc, char **argv) {
    // The web engine as the program starts it.
    platform::hardenWebEngineFlags();
    platform::PageScheme::registerScheme();
    QApplication application(argc, argv);
    QStringList sizes = {"100", "300", "1024"}, outputs;
    int outputSize = 100;
    const QStringList arguments = application.arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i++) {
        if (arguments[i] == "--sizes")
            sizes = arguments[++i].split(',');
        else if (arguments[i] == "--outputs")
            outputs = arguments[++i].split(',');
        else if (arguments[i] == "--output-size")
            outputSize = arguments[++i].toInt();
    }
    platform::ScopedStandardDefaults preferences;  // the user's own stay untouched
    preferences.defaults().setBool(true, preview::AddMathJax);
    preferences.defaults().setBool(true, preview::SyncPreviewLocationWhileTyping);
    std::printf("load average %s", benchsupport::readProc(QStringLiteral("/proc/loadavg")).constData());
    if (!outputs.isEmpty()) {
        for (const QString &output : outputs)
            measureOutput(output, outputSize);
    } else {
        for (const QString &size : sizes)
            measureSize(size.toInt());
    }
    std::printf("load average %s", benchsupport::readProc(QStringLiteral("/proc/loadavg")).constData());
    return 0;
}
