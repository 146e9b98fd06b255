// Typing while the engine bridge renders a 1 MB document in the background:
// the editor's keystrokes (the edit through the text storage, the restyle and
// the layout, as the storage benchmark times them) with the bridge attached,
// each keystroke starting a render, and the time the main thread spends
// serving the bridge (the copy of the text each cycle takes there). For
// comparison: the same keystrokes without the bridge, the time one cycle
// takes from the edit to published HTML, and from the edit's announcement
// (the storage telling of its change, which the bridge follows) to the HTML
// stored and to the HTML reaching an observer on the main thread.
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <atomic>

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
    // When the storage told of its last change; connected before the link,
    // so that it is told first.
    QObject announcements;
    QElapsedTimer clock;
    qint64 announcedNs = 0;
    std::atomic<qint64> publishedNs{0};
    qint64 deliveredNs = 0;
    StorageEngineLink link{editor.storage};
    TZREngine bridge;
    QObject observer;
    int stores = 0;

    BridgedEditor() {
        clock.start();
        QObject::connect(&editor.storage, &SmartTextStorage::textChanged, &announcements,
                         [this](const TextChange &) { announcedNs = clock.nsecsElapsed(); });
        bridge.setEditor(&link);
        // In the thread that stores the HTML, as it is stored.
        bridge.htmlString().observe(
            &announcements, [this](const PreviewHtml &) { publishedNs = clock.nsecsElapsed(); },
            Qt::DirectConnection);
        bridge.htmlString().observe(&announcements, [this](const PreviewHtml &) { deliveredNs = clock.nsecsElapsed(); });
        bridge.htmlString().observe(&observer, [this](const PreviewHtml &) { stores++; });
        bridge.enableUpdating();
        waitUntilIdle();
    }
    ~BridgedEditor() {
        // Cycles post their ends to the main thread: take them in while the
        // cycles finish.
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
    benchsupport::runScoped(editor);
    typing(state, *editor, nullptr, 10);
}
BENCHMARK(BM_KeystrokeWithoutBridge)->Iterations(300)->Unit(benchmark::kMillisecond);

void BM_KeystrokeWhileRendering1MB(benchmark::State &state) {
    static std::unique_ptr<BridgedEditor> bridged;
    benchsupport::runScoped(bridged);
    typing(state, bridged->editor, &bridged->link, 10);
    bridged->waitUntilIdle();
}
BENCHMARK(BM_KeystrokeWhileRendering1MB)->Iterations(300)->Unit(benchmark::kMillisecond);

// One cycle over the 1 MB text: from the edit to the HTML published.
void BM_RenderCycle1MB(benchmark::State &state) {
    static std::unique_ptr<BridgedEditor> bridged;
    benchsupport::runScoped(bridged);
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

// One cycle over the 1 MB text, from the edit's announcement: to the HTML
// stored (the time), and to the HTML at an observer on the main thread
// (delivered_median_ms, delivered_p95_ms). The argument keeps the main
// thread busy for that many milliseconds after the edit, as a long layout or
// a script would.
void BM_AnnouncementToPublished1MB(benchmark::State &state) {
    static std::unique_ptr<BridgedEditor> bridged;
    benchsupport::runScoped(bridged);
    const qsizetype at = middleParagraph();
    const qint64 busyMs = state.range(0);
    std::vector<double> published, delivered;
    for (auto _ : state) {
        const int stores = bridged->stores;
        bridged->publishedNs = 0;
        bridged->editor.type(at, QStringLiteral("x"), false);
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < busyMs)
            QThread::usleep(100);
        while (bridged->stores == stores)
            QCoreApplication::processEvents();
        const double ms = double(bridged->publishedNs - bridged->announcedNs) / 1e6;
        published.push_back(ms);
        delivered.push_back(double(bridged->deliveredNs - bridged->announcedNs) / 1e6);
        state.SetIterationTime(ms / 1e3);
        state.PauseTiming();
        bridged->editor.storage.replaceCharactersInRange({at, 1}, QString());
        bridged->waitUntilIdle();
        state.ResumeTiming();
    }
    report(state, published);
    std::sort(delivered.begin(), delivered.end());
    state.counters["delivered_median_ms"] = delivered[delivered.size() / 2];
    state.counters["delivered_p95_ms"] = delivered[std::min(delivered.size() - 1, delivered.size() * 95 / 100)];
}
BENCHMARK(BM_AnnouncementToPublished1MB)->Arg(0)->Arg(20)->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
