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
#include <QApplication>
#include <QElapsedTimer>
#include <QTextDocument>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "bench/editor/editor_bench_support.h"
#include "bench/support/real_markdown.h"
#include "editor/smart_text_view.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/text_services.h"
#include "platform/prefs/registered_defaults.h"

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

}  // namespace
