// How long a keystroke in a 1 MB document takes to reach the visible preview:
// the document library converts the edited text to HTML, and SmartWebView
// puts the changed blocks into the page on the real web engine; the time runs
// until the page has drawn a frame after the change. The goal is under
// 300 ms. For comparison, the same with the whole body replaced (what the
// preview falls back to when it does not know the page on screen).
//
// Needs a display: run it under a virtual one, as root with the engine's
// sandbox off, for instance (one line)
//   QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
//   xvfb-run -a build/bench/preview_bench
#include <benchmark/benchmark.h>

#include "platform/prefs/registered_defaults.h"
#include "window/preview/preview_preferences.h"
#include "platform/web/engine_flags.h"
#include "platform/web/page_scheme.h"
#include "window/preview/smart_web_view.h"

#include "library/tzr.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <memory>

namespace {

constexpr uint64_t Extensions = TZR_EXT_COMPLETE | TZR_EXT_NOTES | TZR_EXT_SMART;

bool waitUntil(const std::function<bool()> &done, int milliseconds = 120000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// About 1 MB of Markdown: sections of paragraphs, lists and code.
QByteArray document() {
    QByteArray text;
    for (int section = 0; text.size() < 1024 * 1024; section++) {
        text += "## Section " + QByteArray::number(section) + "\n\n";
        for (int p = 0; p < 4; p++)
            text += "Paragraph " + QByteArray::number(p) + " of section " + QByteArray::number(section) +
                    " has *emphasis*, `code`, a [link](https://example.com/" + QByteArray::number(section) +
                    ") and enough plain words to wrap over a few lines in the preview pane beside the editor.\n\n";
        text += "* first item\n* second item with **strong** text\n* third item\n\n";
        if (section % 3 == 0)
            text += "```\nlet x = " + QByteArray::number(section) + ";\n```\n\n";
    }
    return text;
}

QString convert(const QByteArray &text) {
    char *html = tzr_string_convert(text.constData(), Extensions, 0, 0);
    const QString result = QString::fromUtf8(html);
    free(html);
    return result;
}

// A preview that shows the document, shared by the benchmarks.
struct Preview {
    Preview() {
        preferences.defaults().setBool(false, preview::SyncPreviewLocationWhileTyping);
        view.resize(900, 1000);
        view.show();
        QObject::connect(&view, &platform::WebView::consoleMessage, [this](const QString &message) {
            if (message == QLatin1String("orvane-frame"))
                frames++;
        });
        QObject::connect(&view.controller(), &PreviewController::refreshed, [this] { refreshes++; });
        view.updatePreview(convert(text));
        view.thawAndReload();
        waitUntil([this] { return refreshes > 0 && view.controller().knowsPageBlocks(); });
    }

    // One keystroke: a letter typed into a paragraph in the middle, converted
    // and shown; the time until the next frame is drawn.
    double keystroke() {
        const qsizetype at = text.indexOf("Paragraph 2 of section", text.size() / 2 + (typed % 50) * 997);
        text.insert(at, 'x');
        typed++;
        QElapsedTimer clock;
        clock.start();
        const int before = refreshes;
        view.updatePreview(convert(text));
        waitUntil([&] { return refreshes > before && !view.controller().isUpdating(); });
        const int seen = frames;
        view.runScript("requestAnimationFrame(function () { setTimeout(function () { console.log('orvane-frame'); }, 0); })",
                       {}, std::chrono::milliseconds(60000), QWebEngineScript::ApplicationWorld);
        waitUntil([&] { return frames > seen; });
        return clock.nsecsElapsed() / 1e9;
    }

    platform::ScopedStandardDefaults preferences;  // the user's own stay untouched
    QByteArray text = document();
    SmartWebView view;
    int refreshes = 0;
    int frames = 0;
    int typed = 0;
};

// Made on first use; gone before the application, as the engine requires.
std::unique_ptr<Preview> shared;

Preview &preview() {
    if (!shared)
        shared = std::make_unique<Preview>();
    return *shared;
}

void BM_KeystrokeToVisiblePreview(benchmark::State &state) {
    Preview &p = preview();
    state.counters["bytes"] = double(p.text.size());
    for (auto _ : state)
        state.SetIterationTime(p.keystroke());
}
BENCHMARK(BM_KeystrokeToVisiblePreview)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_KeystrokeWithWholeBody(benchmark::State &state) {
    Preview &p = preview();
    for (auto _ : state) {
        // Forget the page's blocks: the change cannot be patched in.
        bool done = false;
        p.view.runScript("window.orvaneBlocks = null", [&](bool, const QVariant &) { done = true; },
                         std::chrono::milliseconds(60000), QWebEngineScript::ApplicationWorld);
        waitUntil([&] { return done; });
        state.SetIterationTime(p.keystroke());
    }
}
BENCHMARK(BM_KeystrokeWithWholeBody)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ConvertOnly(benchmark::State &state) {
    const QByteArray text = document();
    for (auto _ : state)
        benchmark::DoNotOptimize(convert(text));
}
BENCHMARK(BM_ConvertOnly)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    // The web engine as the program starts it.
    platform::hardenWebEngineFlags();
    platform::PageScheme::registerScheme();
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    shared.reset();
    return 0;
}
