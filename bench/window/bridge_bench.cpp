// Typing while the engine bridge renders a 1 MB document in the background:
// the editor's keystrokes (the edit through the text storage, the restyle and
// the layout, as the storage benchmark times them) with the bridge attached,
// each keystroke starting a render, and the time the main thread spends
// serving the bridge (the copy of the text each cycle takes there). For
// comparison: the same keystrokes without the bridge, and the time one
// cycle takes from the edit to published HTML.
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "editor_bench_support.h"
#include "platform/runtime/dispatch.h"
#include "platform/prefs/registered_defaults.h"
#include "support/storage_engine_link.h"
#include "window/bridge/tzr_engine.h"

namespace {

using namespace benchsupport;

// The editor of the storage benchmark with a bridge over its storage,
// enabled, with the preview and the three sidebars shown.
struct BridgedEditor {
    platform::ScopedStandardDefaults defaults;
    Editor editor;
    StorageEngineLink link{editor.storage};
    TZREngine bridge;
    QObject observer;
    int stores = 0;

    BridgedEditor() {
        bridge.setEditor(&link);
        bridge.htmlString().observe(&observer, [this](const QString &) { stores++; });
        bridge.enableUpdating();
        waitUntilIdle();
    }
    ~BridgedEditor() {
        // Cycles still hop to the main thread: serve them while they end.
        while (platform::Dispatch::backgroundPool().activeThreadCount() > 0)
            QCoreApplication::processEvents();
    }
    void waitUntilIdle() {
        do {
            QElapsedTimer quiet;
            quiet.start();
            while (quiet.elapsed() < 120)
                QCoreApplication::processEvents();
        } while (bridge.isUpdating() || platform::Dispatch::backgroundPool().activeThreadCount() > 0);
    }
};

qsizetype middleParagraph() {
    const QString &text = sampleDocument();
    return text.indexOf(QStringLiteral("\n\n"), text.size() / 2) + 2;
}

// Keystrokes every `intervalMs` in the middle of the document, with the
// event loop run between them; with the bridge, every keystroke asks for a
// render and the renders follow one another without pause.
void typing(benchmark::State &state, Editor &editor, StorageEngineLink *link, int intervalMs) {
    const qsizetype start = middleParagraph();
    editor.showAt(start);
    const QString letters = QStringLiteral("type some words é ");
    std::vector<double> ms;
    qsizetype at = start;
    int i = 0;
    const int copiesBefore = link ? link->copies : 0;
    const qint64 copyNsBefore = link ? link->copyNanoseconds : 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        editor.type(at++, QString(letters[i++ % letters.size()]), false);
        ms.push_back(clock.nsecsElapsed() / 1e6);
        state.PauseTiming();
        QElapsedTimer between;
        between.start();
        while (between.elapsed() < intervalMs)
            QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    editor.storage.replaceCharactersInRange({start, at - start}, QString());
    report(state, ms);
    if (link && link->copies > copiesBefore) {
        state.counters["cycles"] = double(link->copies - copiesBefore);
        state.counters["copy_ms_per_cycle"] =
            double(link->copyNanoseconds - copyNsBefore) / 1e6 / double(link->copies - copiesBefore);
    }
}

void BM_KeystrokeWithoutBridge(benchmark::State &state) {
    static std::unique_ptr<Editor> editor;
    if (!editor)
        editor = std::make_unique<Editor>();
    typing(state, *editor, nullptr, 10);
}
BENCHMARK(BM_KeystrokeWithoutBridge)->Iterations(300)->Unit(benchmark::kMillisecond);

void BM_KeystrokeWhileRendering1MB(benchmark::State &state) {
    static std::unique_ptr<BridgedEditor> bridged;
    if (!bridged)
        bridged = std::make_unique<BridgedEditor>();
    typing(state, bridged->editor, &bridged->link, 10);
    bridged->waitUntilIdle();
}
BENCHMARK(BM_KeystrokeWhileRendering1MB)->Iterations(300)->Unit(benchmark::kMillisecond);

// One cycle over the 1 MB text: from the edit to the HTML published.
void BM_RenderCycle1MB(benchmark::State &state) {
    static std::unique_ptr<BridgedEditor> bridged;
    if (!bridged)
        bridged = std::make_unique<BridgedEditor>();
    const qsizetype at = middleParagraph();
    for (auto _ : state) {
        const int stores = bridged->stores;
        QElapsedTimer clock;
        clock.start();
        bridged->editor.type(at, QStringLiteral("x"), false);
        while (bridged->stores == stores)
            QCoreApplication::processEvents();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        state.PauseTiming();
        bridged->editor.storage.replaceCharactersInRange({at, 1}, QString());
        bridged->waitUntilIdle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RenderCycle1MB)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
