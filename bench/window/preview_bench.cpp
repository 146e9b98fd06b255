// How long a keystroke in a 1 MB document takes to reach the visible preview:
// the document library converts the edited text to HTML, and SmartWebView
// puts the changed blocks into the page on the real web engine; the time runs
// until the page has drawn a frame after the change. The goal is under
// 300 ms. For comparison, the same with the whole body replaced (what the
// preview falls back to when it does not know the page on screen).
//
// A page in parts: what a key costs the cut of a 20 MB body of real text
// (paragraphs, one table, one block quote) into parts at the writer's
// blocks, taken from the HTML the bridge publishes, beside the same cut by
// the nesting of the tags, which reads the whole body as the cut at blank
// lines did; what the bridge's decoding of the HTML with its blocks' places
// costs beside decoding it alone; and how long a key in a table of 10,000
// rows, or a quote of 40,000 lines, each one part of megabytes, takes to
// reach the visible page.
//
// Needs a display: run it under a virtual one, as root with the engine's
// sandbox off, for instance (one line)
//   QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
//   xvfb-run -a build/bench/preview_bench
#include <benchmark/benchmark.h>

#include "support/block_shapes.h"
#include "support/preview_render.h"
#include "support/real_markdown.h"
#include "support/shaped_documents.h"
#include "window/preview/page_parts.h"

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
#include <map>
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

// --- A page in parts ---------------------------------------------------------------

// A 20 MB document of one shape from the real corpus, rendered as the
// bridge renders it, before and after a letter typed at the marker in the
// middle of its block.
struct PartedDocument {
    PreviewHtml before, after;
    QByteArray bytes;  // the UTF-8 HTML of `before`, as the writer left it
    std::vector<size_t> offsets;
    explicit PartedDocument(const std::string &shape) {
        const QString text = QString::fromStdString(
            benchsupport::blockDocument(shape, benchsupport::realMarkdownCorpus(), size_t(20) << 20));
        // The caret after the marker, then after the letter typed there.
        const qsizetype caret = text.indexOf(QLatin1String(benchsupport::kMiddleMarker)) +
                                qsizetype(strlen(benchsupport::kMiddleMarker));
        QString typed = text;
        typed.insert(caret, u'x');
        before = renderedForPreview(text, caret);
        after = renderedForPreview(typed, caret + 1);
        bytes = before.html.toUtf8();
        // The places in bytes, as the writer gives them.
        size_t byte = 0;
        qsizetype from = 0;
        for (qsizetype start : *before.blockStarts) {
            byte += size_t(QStringView(before.html).mid(from, start - from).toUtf8().size());
            offsets.push_back(byte);
            from = start;
        }
    }
};

PartedDocument &partedDocument(const std::string &shape) {
    static std::map<std::string, std::unique_ptr<PartedDocument>> documents;
    std::unique_ptr<PartedDocument> &document = documents[shape];
    if (!document)
        document = std::make_unique<PartedDocument>(shape);
    return *document;
}

// The parts of a published page's body, cut at the writer's places or, with
// `nested`, by the nesting of the tags.
std::shared_ptr<const preview::BodyBlocks> partedBlocks(const PreviewHtml &published, bool nested) {
    const preview::TextRange body = *preview::bodyRange(published.html);
    return std::make_shared<const preview::BodyBlocks>(
        published.html,
        preview::partedBlockStarts(published.html, body, nested ? nullptr : published.blockStarts.get()),
        body.start + body.length);
}

// A key's cut in the background: the new body cut, the parts it touched
// found and taken part by part, the long ones spliced and the children the
// change lies among found in them.
void BM_PartedCutOfAKey(benchmark::State &state, const std::string &shape, bool nested) {
    PartedDocument &document = partedDocument(shape);
    const preview::BodyParts before(partedBlocks(document.before, nested));
    size_t inner = 0;
    for (auto _ : state) {
        preview::PartChange change = preview::changeParts(before, partedBlocks(document.after, nested));
        size_t splices = 0;
        for (const preview::PartHunk &hunk : preview::partByPart(before, change.parts, change.hunks)) {
            if (hunk.removed != 1 || hunk.inserted != 1)
                continue;
            const QStringView old = before.text(hunk.before), made = change.parts.text(hunk.after);
            if (const std::optional<preview::PartSplice> cut = preview::partSplice(old, made)) {
                splices++;
                inner += preview::innerRun(old, made, *cut).has_value();
            }
        }
        benchmark::DoNotOptimize(splices);
    }
    state.counters["inner_runs"] = double(inner) / double(state.iterations());
    state.counters["parts"] = double(before.count());
    state.counters["blocks"] = double(before.blocks().count());
}

// The bridge's decoding of the HTML with its blocks' places, beside
// decoding it alone.
void BM_DecodeHtml(benchmark::State &state, const std::string &shape, bool withPlaces) {
    PartedDocument &document = partedDocument(shape);
    for (auto _ : state) {
        if (withPlaces) {
            std::vector<size_t> offsets = document.offsets;
            benchmark::DoNotOptimize(decodeWithOffsets(document.bytes.constData(), size_t(document.bytes.size()), offsets));
        } else {
            benchmark::DoNotOptimize(QString::fromUtf8(document.bytes));
        }
    }
    state.counters["MB"] = double(document.bytes.size()) / (1 << 20);
}

void registerPartedCuts() {
    for (const std::string shape : {"paragraphs", "table", "quote"}) {
        benchmark::RegisterBenchmark(("BM_PartedCutOfAKey/" + shape + "/MB:20/writer").c_str(), BM_PartedCutOfAKey,
                                     shape, false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_PartedCutOfAKey/" + shape + "/MB:20/nesting").c_str(), BM_PartedCutOfAKey,
                                     shape, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_DecodeHtml/" + shape + "/MB:20/places").c_str(), BM_DecodeHtml, shape, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_DecodeHtml/" + shape + "/MB:20/alone").c_str(), BM_DecodeHtml, shape, false)
            ->Unit(benchmark::kMillisecond);
    }
}

// A preview of one big block in parts: a table of 10,000 rows or a quote of
// 40,000 lines, the part that holds it filled around the caret.
struct BigBlockPreview {
    explicit BigBlockPreview(const QString &block) {
        preferences.defaults().setBool(false, preview::SyncPreviewLocationWhileTyping);
        text = QStringLiteral("# One block\n\n") + block + QStringLiteral("After the block.\n");
        view.resize(900, 1000);
        view.show();
        QObject::connect(&view, &platform::WebView::consoleMessage, [this](const QString &message) {
            if (message == QLatin1String("orvane-frame"))
                frames++;
        });
        QObject::connect(&view.controller(), &PreviewController::refreshed, [this] { refreshes++; });
        view.updatePreview(renderedForPreview(text, text.size() / 2));
        view.thawAndReload();
        waitUntil([this] { return refreshes > 0 && view.controller().pageParts() && !view.controller().isUpdating(); });
    }
    // A letter typed in the middle of the block, the caret after it; the
    // time until the page has drawn a frame with it.
    double keystroke() {
        const qsizetype at = text.indexOf(u' ', text.size() / 2 + (typed % 50) * 101);
        text.insert(at, u'x');
        typed++;
        QElapsedTimer clock;
        clock.start();
        const int before = refreshes;
        view.updatePreview(renderedForPreview(text, at + 1));
        waitUntil([&] { return refreshes > before && !view.controller().isUpdating(); });
        const int seen = frames;
        view.runScript("requestAnimationFrame(function () { setTimeout(function () { console.log('orvane-frame'); }, 0); })",
                       {}, std::chrono::milliseconds(60000), QWebEngineScript::ApplicationWorld);
        waitUntil([&] { return frames > seen; });
        return clock.nsecsElapsed() / 1e9;
    }

    platform::ScopedStandardDefaults preferences;
    QString text;
    SmartWebView view;
    int refreshes = 0;
    int frames = 0;
    int typed = 0;
};

std::unique_ptr<BigBlockPreview> bigBlock;

void BM_KeyInOneBigBlockToVisiblePreview(benchmark::State &state, bool table) {
    if (!bigBlock || bigBlock->text.contains(u"| Row 0 ") != table)
        bigBlock = std::make_unique<BigBlockPreview>(table ? shaped::table(10000) : shaped::quote(40000));
    state.counters["page_MB"] = double(bigBlock->view.controller().pageParts()->blocks().text().size()) / (1 << 20);
    for (auto _ : state)
        state.SetIterationTime(bigBlock->keystroke());
}
BENCHMARK_CAPTURE(BM_KeyInOneBigBlockToVisiblePreview, table_10000_rows, true)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_CAPTURE(BM_KeyInOneBigBlockToVisiblePreview, quote_40000_lines, false)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char **argv) {
    // The web engine as the program starts it.
    platform::hardenWebEngineFlags();
    platform::PageScheme::registerScheme();
    QApplication application(argc, argv);
    registerPartedCuts();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    shared.reset();
    bigBlock.reset();
    return 0;
}
