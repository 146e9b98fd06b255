// The work an editor does over a large text while the program idles, after
// the text is opened: the text laid into the editor's document and styled
// from its start, the blocks' exact heights (of every block, or around what
// is shown in a very long text), and spelling marks, each in
// slices of a few milliseconds. The Markdown editor (`SmartTextView`, 1000 x
// 800, spelling checked) is opened on real Markdown of 1, 3.5, 5 and 20 MB
// and the event loop run until all of that work has ended.
//
// Reported: the time from setting the text to the last slice (idle_s), the
// main thread's CPU over it (cpu_s), the event loop's turns meanwhile (the
// median and the slowest: what a key typed then waits for), the slices of
// the spelling pass, and the blocks it looked at per block of the document
// (about one: a pass goes on where the last slice stopped, and is never
// started again).
//
// Meanwhile the tab brought to the front waits for its preview: four
// documents of real Markdown (5 MB each) opened together as tabs of one
// window, the last in front, as the program opens files named together.
// Once the tab in front has begun loading its preview's page (a second
// after its window was built), the first tab comes to the front, and once
// its preview shows its document, the second, and so on, the tab in front
// at launch last, while the editors style, lay out and check the spelling
// of their texts in the background. Reported, in seconds from a tab coming
// to the front until its page shows the document's heading: the first tab
// (first_s), the slower of the next two (later_s) and the tab in front at
// launch (launch_tab_s); and how many of the three tabs behind the first
// were still at work on their texts when its preview showed
// (behind_at_work). This part needs the web engine on a display: without
// one the benchmark runs the editor's part alone, offscreen.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextDocument>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "app/documents/smart_editor_document.h"
#include "bench/editor/editor_bench_support.h"
#include "bench/support/real_markdown.h"
#include "e2e/tabs_program.h"
#include "editor/smart_text_view.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/text_services.h"
#include "platform/documents/window_tabs.h"
#include "platform/files/folders.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/web/engine_flags.h"
#include "platform/web/page_scheme.h"
#include "window/content/master_view_content.h"
#include "window/content/tzr_master_view.h"
#include "window/preview/smart_web_view.h"

namespace {

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void BM_BackgroundWorkEnds(benchmark::State &state) {
    const QString text = QString::fromStdString(benchsupport::realMarkdown(size_t(state.range(0)) * 1024 * 1024 / 10));
    for (auto _ : state) {
        platform::ScopedStandardDefaults defaults;
        platform::Defaults &d = defaults.defaults();
        d.setBool(true, QStringLiteral("checkSpelling"));
        d.setObject(QStringLiteral("DejaVu Sans"), QStringLiteral("defaultFontName"));
        d.setFloat(11, QStringLiteral("defaultFontSize"));
        auto storage = std::make_unique<SmartTextStorage>(d);
        storage->applyThemeFromPath(benchsupport::themePath());
        auto view = std::make_unique<SmartTextView>(storage.get(), &d);
        view->resize(1000, 800);
        view->show();
        QCoreApplication::processEvents();

        const double cpu = threadSeconds();
        QElapsedTimer clock;
        clock.start();
        storage->setInitialText(text);
        TextServices *services = view->textServices();
        auto working = [&] {
            return storage->isStylingAhead() || !storage->documentLayout()->isSettled() || services->isPending();
        };
        // A timer due at every turn of the loop times the turns.
        std::vector<qint64> turns;
        QElapsedTimer turn;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (turn.isValid())
                turns.push_back(turn.nsecsElapsed());
            turn.start();
        });
        tick.start(0);
        // A generous bound: only a pass that never ends reaches it.
        while (working() && clock.elapsed() < 600000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        tick.stop();
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
        if (working())
            state.SkipWithError("background work still going after ten minutes");
        state.counters["idle_s"] = clock.nsecsElapsed() / 1e9;
        state.counters["cpu_s"] = threadSeconds() - cpu;
        if (!turns.empty()) {
            std::sort(turns.begin(), turns.end());
            state.counters["turn_median_ms"] = double(turns[turns.size() / 2]) / 1e6;
            state.counters["turn_max_ms"] = double(turns.back()) / 1e6;
        }
        state.counters["blocks"] = storage->document()->blockCount();
        state.counters["spelling_slices"] = double(services->pass().counts().slices);
        state.counters["looked_at_per_block"] =
            double(services->pass().counts().blocks) / storage->document()->blockCount();
        view.reset();
        storage.reset();
    }
}
// The size in tenths of a megabyte.
BENCHMARK(BM_BackgroundWorkEnds)->Arg(10)->Arg(35)->Arg(50)->Arg(200)->Arg(500)->ArgName("tenths_of_MB")
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// Whether `content`'s editor is at work, its spelling pass included.
bool atWork(TZRMasterView *content) {
    return editorAtWork(content) || content->textView()->textServices()->isPending();
}

// Seconds until `preview` shows `wanted` (asked of the page again each time
// it answers); nothing after `limit` seconds.
std::optional<double> secondsUntilShown(SmartWebView *preview, const QString &wanted, double limit) {
    QElapsedTimer clock;
    clock.start();
    bool asking = false, shown = false;
    while (!shown && clock.elapsed() < limit * 1000) {
        if (!asking) {
            asking = true;
            preview->runScript(QStringLiteral("document.body ? document.body.innerText : ''"),
                               [&](bool finished, const QVariant &text) {
                                   asking = false;
                                   shown = finished && text.toString().contains(wanted);
                               });
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    // The answer that came after the last look still belongs to this wait.
    while (asking)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return shown ? std::optional<double>(clock.nsecsElapsed() / 1e9) : std::nullopt;
}

void BM_FrontTabPreview(benchmark::State &state) {
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        state.SkipWithError("needs a display (run it under xvfb-run)");
        return;
    }
    const size_t bytes = size_t(state.range(0)) * 1024 * 1024 / 10;
    const int tabs = 4;
    constexpr double limit = 600;  // only a preview that never comes takes this long
    for (auto _ : state) {
        TabsProgram program;
        QStringList paths;
        for (int tab = 1; tab <= tabs; tab++) {
            const QString path = program.dir.filePath(QStringLiteral("tab%1.md").arg(tab));
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write(QByteArray("# Tab ") + QByteArray::number(tab) + " of the benchmark\n\n");
            file.write(QByteArray::fromStdString(benchsupport::realMarkdown(bytes)));
            file.close();
            paths << path;
        }
        QElapsedTimer launch;
        launch.start();
        program.delegate->bringForward(program.delegate->openCommandLinePaths(paths));
        QList<TZRMasterView *> contents;
        QList<QWidget *> windows;  // each tab's own window
        for (const QString &path : paths) {
            platform::Document *document = program.documents.documentForPath(path);
            contents << contentOf(document);
            windows << (document ? document->firstWindow() : nullptr);
        }
        if (contents.contains(nullptr) || windows.contains(nullptr)) {
            state.SkipWithError("the documents did not open");
            return;
        }
        QWidget *group = windows.front()->window();
        group->resize(1280, 800);
        group->activateWindow();
        // The tab in front at launch begins its page.
        SmartWebView *launchPreview = contents.back()->webView();
        while (!launchPreview->controller().isUpdating() && launch.elapsed() < limit * 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

        std::vector<double> seconds;
        int behindAtWork = 0;
        for (int tab = 0; tab < tabs; tab++) {
            platform::WindowTabs::makeKeyAndOrderFront(windows[tab]);
            const std::optional<double> shown = secondsUntilShown(
                contents[tab]->webView(), QStringLiteral("Tab %1 of the benchmark").arg(tab + 1), limit);
            if (!shown) {
                state.SkipWithError("a preview did not show its document within ten minutes");
                return;
            }
            seconds.push_back(*shown);
            if (tab == 0)
                for (int behind = 1; behind < tabs; behind++)
                    behindAtWork += atWork(contents[behind]) ? 1 : 0;
        }
        state.SetIterationTime(launch.nsecsElapsed() / 1e9);
        state.counters["first_s"] = seconds[0];
        state.counters["later_s"] = std::max(seconds[1], seconds[2]);
        state.counters["launch_tab_s"] = seconds[3];
        state.counters["behind_at_work"] = behindAtWork;
    }
}
// Each document's size in tenths of a megabyte.
BENCHMARK(BM_FrontTabPreview)->Arg(50)->ArgName("tenths_of_MB")->UseManualTime()->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

// The web engine as the program starts it, on the display given; without
// one, offscreen, for the editor's part alone.
int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::hardenWebEngineFlags();
    platform::PageScheme::registerScheme();
    QApplication application(argc, argv);
    platform::ScopedFolders folders;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    benchsupport::releaseRunScoped();
    return 0;
}
