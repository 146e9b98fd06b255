// The editor's text storage on a 1 MB Markdown document, offscreen: loading
// and highlighting it whole, and keystrokes from the edit to styled and
// laid-out text (optionally painted), in the middle of the document, inside
// a code fence and next to one, and one that opens a fence; then the same
// keystrokes in the editor view with its gutter and invisible marks on.
// Keystroke benchmarks report the median and 95th percentile of single
// keystrokes.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "editor/kvx_text_view.h"
#include "editor/lazy_document_layout.h"
#include "editor/smart_text_storage.h"
#include "platform/registered_defaults.h"

namespace {

// About 1 MB of varied Markdown: headings, paragraphs with inline markup,
// lists, block quotes, code fences and tables, with some accented letters
// and emoji, so that offsets are not plain ASCII.
QString sampleDocument() {
    static const QString text = [] {
        std::mt19937 random(11);
        const char *words[] = {"editor", "storage", "layout", "paragraph", "block",  "token",
                               "théâtre", "naïve",  "keystroke", "fence", "émoji 😀", "mark",
                               "document", "highlight", "quick", "brown", "fox", "Zoë"};
        auto sentence = [&](int n) {
            QString s;
            for (int i = 0; i < n; i++) {
                QString w = QString::fromUtf8(words[random() % std::size(words)]);
                switch (random() % 12) {
                case 0: w = QStringLiteral("**") + w + QStringLiteral("**"); break;
                case 1: w = QStringLiteral("*") + w + QStringLiteral("*"); break;
                case 2: w = QStringLiteral("`") + w + QStringLiteral("`"); break;
                case 3: w = QStringLiteral("[") + w + QStringLiteral("](http://example.org/") + w + QStringLiteral(")"); break;
                default: break;
                }
                s += (i ? QStringLiteral(" ") : QString()) + w;
            }
            return s + QStringLiteral(".");
        };
        QString doc = QStringLiteral("Title: Benchmark\nAuthor: Zoë\n\n");
        int section = 0;
        while (doc.size() < 1024 * 1024) {
            doc += QStringLiteral("## Section %1\n\n").arg(++section);
            for (int p = 0; p < 3; p++)
                doc += sentence(10 + int(random() % 30)) + QStringLiteral("\n") +
                       sentence(5 + int(random() % 10)) + QStringLiteral("\n\n");
            doc += QStringLiteral("- ") + sentence(6) + QStringLiteral("\n- ") + sentence(8) +
                   QStringLiteral("\n    - ") + sentence(4) + QStringLiteral("\n\n");
            if (section % 3 == 0)
                doc += QStringLiteral("```\nint main() {\n    return %1;\n}\n```\n\n").arg(section);
            if (section % 4 == 0)
                doc += QStringLiteral("> ") + sentence(12) + QStringLiteral("\n\n");
            if (section % 7 == 0)
                doc += QStringLiteral("| a | b |\n|---|---|\n| 1 | 2 |\n\n");
        }
        return doc;
    }();
    return text;
}

const char kTheme[] = R"({
    "fontName": "DejaVu Sans", "fontSize": 11, "foregroundColor": "#222222",
    "backgroundColor": "#FFFFFF", "lineHeight": 1.2,
    "heading": {"foregroundColor": "#1A1A80", "bold": 1, "paraSpaceBefore": 10},
    "heading2": {"fontScale": 1.4},
    "codeBlock": {"fontName": "DejaVu Sans Mono", "backgroundColor": "#F0F0F0", "leftIndent": 20},
    "codeSpan": {"fontName": "DejaVu Sans Mono", "backgroundColor": "#F0F0F0"},
    "blockquote": {"leftIndent": 16, "italic": 1},
    "bulletList": {"leftIndent": 12},
    "metadata": {"foregroundColor": "#777777"},
    "table": {"fontName": "DejaVu Sans Mono"},
    "pairs": {"foregroundColor": "#999999"},
    "brackets": {"underline": 1},
    "markup": {"foregroundColor": "#AAAAAA"},
    "emphasis": {"italic": 1},
    "strong": {"bold": 1}
})";

QString themePath() {
    static QTemporaryDir dir;
    static QString path = [] {
        QString p = dir.filePath(QStringLiteral("bench.theme"));
        QFile file(p);
        file.open(QIODevice::WriteOnly);
        file.write(kTheme);
        return p;
    }();
    return path;
}

// A storage with the document loaded and styled, shown in a QTextEdit of
// 1000 x 800 on the offscreen platform.
struct Editor {
    SmartTextStorage storage;
    QTextEdit view;

    Editor() {
        storage.applyThemeFromPath(themePath());
        storage.setInitialText(sampleDocument());
        view.setDocument(storage.document());
        view.resize(1000, 800);
        view.show();
        storage.documentLayout()->finishLayout();
        QCoreApplication::processEvents();
    }

    // Shows the text around `position` and settles every pending event.
    void showAt(qsizetype position) {
        QTextCursor cursor(storage.document());
        cursor.setPosition(int(position));
        view.setTextCursor(cursor);
        view.ensureCursorVisible();
        QCoreApplication::processEvents();
    }

    // One keystroke: the edit through the buffer, the restyle, and the
    // layout of the edited block (and the document size the scroll bars
    // need); with `paint`, the viewport painted too.
    void type(qsizetype position, const QString &text, bool paint) {
        storage.replaceCharactersInRange({position, 0}, text);
        QTextBlock block = storage.document()->findBlock(int(position));
        storage.documentLayout()->blockBoundingRect(block);
        storage.documentLayout()->documentSize();
        if (paint)
            view.viewport()->repaint();
    }
};

void report(benchmark::State &state, std::vector<double> &ms) {
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    state.counters["max_ms"] = ms.back();
}

void BM_LoadAndHighlight1MB(benchmark::State &state) {
    const QString text = sampleDocument();
    for (auto _ : state) {
        SmartTextStorage storage;
        storage.applyThemeFromPath(themePath());
        storage.setInitialText(text);
        benchmark::DoNotOptimize(storage.length());
    }
    state.counters["bytes"] = double(text.toUtf8().size());
}
BENCHMARK(BM_LoadAndHighlight1MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same, then shown in an editor and painted: what the user waits for.
// The exact heights of the blocks not shown follow in idle slices, timed
// apart (as one run of them, without the event loop between slices).
void BM_LoadHighlightAndShow1MB(benchmark::State &state) {
    const QString text = sampleDocument();
    double exact = 0;
    for (auto _ : state) {
        SmartTextStorage storage;
        storage.applyThemeFromPath(themePath());
        storage.setInitialText(text);
        QTextEdit view;
        view.setDocument(storage.document());
        view.resize(1000, 800);
        view.show();
        view.viewport()->repaint();
        state.PauseTiming();
        QElapsedTimer clock;
        clock.start();
        storage.documentLayout()->finishLayout();
        exact += clock.nsecsElapsed() / 1e6;
        view.setDocument(nullptr);
        state.ResumeTiming();
    }
    state.counters["exact_layout_ms"] = exact / double(state.iterations());
}
BENCHMARK(BM_LoadHighlightAndShow1MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// Keystrokes at a place of the document, a run of typing there.
void keystrokes(benchmark::State &state, qsizetype start, bool paint) {
    static std::unique_ptr<Editor> editor;
    if (!editor)
        editor = std::make_unique<Editor>();
    editor->showAt(start);
    std::vector<double> ms;
    qsizetype at = start;
    const QString letters = QStringLiteral("type some words é ");
    int i = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        editor->type(at, QString(letters[i++ % letters.size()]), paint);
        ms.push_back(clock.nsecsElapsed() / 1e6);
        at++;
    }
    // Take the typing out again, so that the next benchmark finds the text
    // as it was.
    editor->storage.replaceCharactersInRange({start, at - start}, QString());
    QCoreApplication::processEvents();
    report(state, ms);
}

qsizetype middleOf(const QString &needle) {
    const QString &text = sampleDocument();
    return text.indexOf(needle, text.size() / 2);
}

void BM_KeystrokeMidDocument(benchmark::State &state) {
    keystrokes(state, middleOf(QStringLiteral("\n\n")) + 2, state.range(0));
}
BENCHMARK(BM_KeystrokeMidDocument)->Arg(0)->Arg(1)->ArgName("paint")->Iterations(400)
    ->Unit(benchmark::kMillisecond);

void BM_KeystrokeInsideCodeFence(benchmark::State &state) {
    keystrokes(state, middleOf(QStringLiteral("return ")), state.range(0));
}
BENCHMARK(BM_KeystrokeInsideCodeFence)->Arg(0)->Arg(1)->ArgName("paint")->Iterations(400)
    ->Unit(benchmark::kMillisecond);

void BM_KeystrokeBeforeCodeFence(benchmark::State &state) {
    // At the end of the paragraph just above a fence.
    keystrokes(state, middleOf(QStringLiteral("\n\n```")), state.range(0));
}
BENCHMARK(BM_KeystrokeBeforeCodeFence)->Arg(0)->Arg(1)->ArgName("paint")->Iterations(400)
    ->Unit(benchmark::kMillisecond);

// The one kind of edit that changes the whole rest of the text: a fence
// opened (and closed again) above the middle, everything below changing
// between code and prose.
void BM_FenceOpenedAndClosed(benchmark::State &state) {
    static std::unique_ptr<Editor> editor;
    if (!editor)
        editor = std::make_unique<Editor>();
    const qsizetype at = middleOf(QStringLiteral("\n\n")) + 2;
    editor->showAt(at);
    std::vector<double> ms;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        editor->type(at, QStringLiteral("```\n"), false);
        editor->storage.replaceCharactersInRange({at, 4}, QString());
        ms.push_back(clock.nsecsElapsed() / 2e6);
    }
    report(state, ms);
}
BENCHMARK(BM_FenceOpenedAndClosed)->Iterations(10)->Unit(benchmark::kMillisecond);

// The editor view over the same document, 1000 x 800, with the gutter
// numbering lines (or paragraphs) and the invisible marks drawn: after each
// keystroke the view keeps the caret in view, the gutter follows the text,
// and a painted keystroke paints the gutter and the marks too.
struct ViewEditor {
    platform::ScopedStandardDefaults defaults;
    std::unique_ptr<SmartTextStorage> storage;
    std::unique_ptr<KVXTextView> view;

    explicit ViewEditor(bool paragraphs) {
        platform::Defaults &d = defaults.defaults();
        d.setObject(QStringLiteral("DejaVu Sans"), QStringLiteral("defaultFontName"));
        d.setFloat(11, QStringLiteral("defaultFontSize"));
        d.setInteger(72, QStringLiteral("lineLength"));
        d.setBool(true, QStringLiteral("showLineNumbers"));
        d.setBool(paragraphs, QStringLiteral("countParasNotLines"));
        d.setBool(true, QStringLiteral("showInvisibleCharacters"));
        storage = std::make_unique<SmartTextStorage>(d);
        storage->applyThemeFromPath(themePath());
        storage->setInitialText(sampleDocument());
        view = std::make_unique<KVXTextView>(storage.get(), &d);
        view->resize(1000, 800);
        view->show();
        storage->documentLayout()->finishLayout();
        QCoreApplication::processEvents();
    }
    ~ViewEditor() {
        view.reset();
        storage.reset();
    }
};

void viewKeystrokes(benchmark::State &state, bool paragraphs) {
    static std::unique_ptr<ViewEditor> editors[2];
    std::unique_ptr<ViewEditor> &editor = editors[paragraphs];
    if (!editor)
        editor = std::make_unique<ViewEditor>(paragraphs);
    const bool paint = state.range(0);
    const qsizetype start = middleOf(QStringLiteral("\n\n")) + 2;
    editor->view->setSelectedRange({start, 0});
    QCoreApplication::processEvents();
    std::vector<double> ms;
    qsizetype at = start;
    const QString letters = QStringLiteral("type some words é ");
    int i = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        editor->storage->replaceCharactersInRange({at, 0}, QString(letters[i++ % letters.size()]));
        editor->storage->documentLayout()->documentSize();
        if (paint)
            editor->view->repaint();
        ms.push_back(clock.nsecsElapsed() / 1e6);
        at++;
    }
    editor->storage->replaceCharactersInRange({start, at - start}, QString());
    QCoreApplication::processEvents();
    report(state, ms);
}

void BM_ViewKeystrokeLineNumbersAndInvisibles(benchmark::State &state) { viewKeystrokes(state, false); }
BENCHMARK(BM_ViewKeystrokeLineNumbersAndInvisibles)->Arg(0)->Arg(1)->ArgName("paint")
    ->Iterations(400)->Unit(benchmark::kMillisecond);

void BM_ViewKeystrokeParagraphNumbersAndInvisibles(benchmark::State &state) { viewKeystrokes(state, true); }
BENCHMARK(BM_ViewKeystrokeParagraphNumbersAndInvisibles)->Arg(0)->Arg(1)->ArgName("paint")
    ->Iterations(400)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
