// Typing into one big top-level block, in process: the Markdown editor
// (`SmartTextView` over the text storage, 1000 x 800, spelling checked, on
// the offscreen platform) opened on a document that holds a list, a fenced
// log, a table or a block quote of 1, 5 or 20 MB of real text, or the same
// text as paragraphs (bench/support/block_shapes.h), and keys typed at the
// block's start, in its middle and at its end.
//
//   blocks_bench [--benchmark_filter=REGEX]
//     BM_BlockKeys/SHAPE/MB:SIZE/WHERE, SHAPE one of paragraphs, list,
//     fence, table, quote; SIZE 1, 5 or 20; WHERE first, mid or last;
//     e.g. --benchmark_filter='BM_BlockKeys/(list|fence)/MB:5/'
//
// Each key is a key press sent to the editor, laid out and painted, after
// which the event loop runs until the editor's work is over (its styling
// ahead, the heights of its blocks, its spelling marks) and no turn of the
// loop has done any for 50 ms. Reported per key:
// - key_median_ms, key_max_ms: the key press itself, from the event to the
//   block painted;
// - cpu_median_ms, cpu_max_ms: the main thread's CPU from the key until its
//   work was over (the time column is their mean): what a key costs the
//   thread that must answer the next one;
// - busy_median_ms: from the key to the last turn of the loop that worked.
// The benchmark that opens a document also reports open_s (the text set),
// settled_s and settled_cpu_s (its work after opening over, or -1 after five
// minutes). The editor of one shape and size is kept for its three places.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTextDocument>
#include <QThread>

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/editor/editor_bench_support.h"
#include "bench/support/block_shapes.h"
#include "bench/support/real_markdown.h"
#include "bench/support/run_scoped.h"
#include "editor/smart_text_view.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/text_services.h"
#include "platform/prefs/registered_defaults.h"

namespace {

using namespace benchsupport;

double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct BlockEditor {
    platform::ScopedStandardDefaults defaults;
    std::unique_ptr<SmartTextStorage> storage;
    std::unique_ptr<SmartTextView> view;
    QString text;
    double openS = 0, settledS = -1, settledCpuS = 0;

    BlockEditor(const std::string &shape, int megabytes) {
        text = QString::fromStdString(blockDocument(shape, realMarkdownCorpus(), size_t(megabytes) << 20));
        platform::Defaults &d = defaults.defaults();
        d.setBool(true, QStringLiteral("checkSpelling"));
        d.setObject(QStringLiteral("DejaVu Sans"), QStringLiteral("defaultFontName"));
        d.setFloat(11, QStringLiteral("defaultFontSize"));
        storage = std::make_unique<SmartTextStorage>(d);
        storage->applyThemeFromPath(themePath());
        view = std::make_unique<SmartTextView>(storage.get(), &d);
        view->resize(1000, 800);
        view->show();
        view->activateWindow();
        view->setFocus();
        QCoreApplication::processEvents();

        const double cpu = threadCpuMs();
        QElapsedTimer clock;
        clock.start();
        storage->setInitialText(text);
        openS = double(clock.nsecsElapsed()) / 1e9;
        while (working() && clock.elapsed() < 300000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!working())
            settledS = double(clock.nsecsElapsed()) / 1e9;
        settledCpuS = (threadCpuMs() - cpu) / 1e3;
    }

    ~BlockEditor() {
        view.reset();
        storage.reset();
    }

    bool working() const {
        return storage->isLayingIn() || storage->isStylingAhead() || !storage->documentLayout()->isSettled() ||
               view->textServices()->isPending();
    }

    // Runs the event loop until the editor's work is over and no turn has
    // worked for 50 ms (a minute at most): the milliseconds from `since` to
    // the last turn that worked.
    double settle(const QElapsedTimer &since) {
        QElapsedTimer calm;
        calm.start();
        double lastWork = double(since.nsecsElapsed()) / 1e6;
        while (since.elapsed() < 60000) {
            QElapsedTimer turn;
            turn.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (turn.nsecsElapsed() > 50000 || working()) {
                lastWork = double(since.nsecsElapsed()) / 1e6;
                calm.restart();
            } else if (calm.elapsed() >= 50) {
                break;
            }
            QThread::usleep(200);
        }
        return lastWork;
    }
};

void blockKeys(benchmark::State &state, const std::string &shape, int megabytes, const char *marker) {
    static std::unique_ptr<BlockEditor> editor;
    static std::string made;
    const std::string key = shape + "/" + std::to_string(megabytes);
    const bool opening = made != key;
    if (opening) {
        // One large editor at a time.
        editor.reset();
        made.clear();
        runScoped(editor, shape, megabytes);
        made = key;
    }
    if (editor->text.isEmpty()) {
        state.SkipWithError("no text for this shape");
        return;
    }
    const qsizetype start = editor->text.indexOf(QLatin1String(marker)) + qsizetype(std::strlen(marker));
    editor->view->setSelectedRange({start, 0});
    {
        QElapsedTimer since;
        since.start();
        editor->settle(since);
    }
    std::vector<double> keyMs, cpuMs, busyMs;
    const QString letters = QStringLiteral("type some words ");
    int i = 0;
    for (auto _ : state) {
        const QChar letter = letters[i++ % letters.size()];
        const double cpu = threadCpuMs();
        QElapsedTimer since;
        since.start();
        QKeyEvent press(QEvent::KeyPress, letter == u' ' ? int(Qt::Key_Space) : int(letter.toUpper().unicode()),
                        Qt::NoModifier, QString(letter));
        QCoreApplication::sendEvent(editor->view.get(), &press);
        editor->storage->documentLayout()->documentSize();
        editor->view->repaint();
        keyMs.push_back(double(since.nsecsElapsed()) / 1e6);
        busyMs.push_back(editor->settle(since));
        cpuMs.push_back(threadCpuMs() - cpu);
        state.SetIterationTime(cpuMs.back() / 1e3);
    }
    // The typing taken out again, for the next place.
    const qsizetype end = editor->view->selectedRange().location;
    editor->storage->replaceCharactersInRange({start, end - start}, QString());
    {
        QElapsedTimer since;
        since.start();
        editor->settle(since);
    }
    auto percentile = [](std::vector<double> v, double share) {
        std::sort(v.begin(), v.end());
        return v.empty() ? -1.0 : v[std::min(v.size() - 1, size_t(double(v.size()) * share))];
    };
    state.counters["key_median_ms"] = percentile(keyMs, 0.5);
    state.counters["key_max_ms"] = percentile(keyMs, 1.0);
    state.counters["cpu_median_ms"] = percentile(cpuMs, 0.5);
    state.counters["cpu_max_ms"] = percentile(cpuMs, 1.0);
    state.counters["busy_median_ms"] = percentile(busyMs, 0.5);
    if (opening) {
        state.counters["open_s"] = editor->openS;
        state.counters["settled_s"] = editor->settledS;
        state.counters["settled_cpu_s"] = editor->settledCpuS;
        state.counters["document_MB"] = double(editor->text.toUtf8().size()) / double(1 << 20);
    }
}

// Every shape at every size, at its three places; fewer keys at 20 MB,
// where a key could cost seconds.
const bool registered = [] {
    for (const std::string &shape : blockShapes())
        for (int megabytes : {1, 5, 20})
            for (const auto &[where, marker] : {std::pair{"first", kFirstMarker}, std::pair{"mid", kMiddleMarker},
                                                std::pair{"last", kLastMarker}}) {
                const std::string name =
                    "BM_BlockKeys/" + shape + "/MB:" + std::to_string(megabytes) + "/" + where;
                const char *const place = marker;
                benchmark::RegisterBenchmark(name.c_str(),
                                             [shape, megabytes, place](benchmark::State &state) {
                                                 blockKeys(state, shape, megabytes, place);
                                             })
                    ->Iterations(megabytes >= 20 ? 10 : 20)
                    ->UseManualTime()
                    ->Unit(benchmark::kMillisecond);
            }
    return true;
}();

}  // namespace
