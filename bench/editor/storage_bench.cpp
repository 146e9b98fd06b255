// The editor's text storage on a 1 MB Markdown document, offscreen: loading
// and highlighting it whole, and keystrokes from the edit to styled and
// laid-out text (optionally painted), in the middle of the document, inside
// a code fence and next to one, and one that opens a fence; then the same
// keystrokes in the editor view with its gutter and invisible marks on, and
// as key presses sent to the Markdown editor, without spelling checked and
// with it (words marked as they end, corrections as they are typed); and
// keystrokes in a line of 5 MB that repeats one character.
// Keystroke benchmarks report the median and 95th percentile of single
// keystrokes.
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include <QKeyEvent>

#include "editor/view/kvx_text_view.h"
#include "editor/smart_text_view.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/text_services.h"
#include "editor/storage/smart_text_storage.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/services/grammar/grammar_service.h"
#include "editor_bench_support.h"

namespace {

using namespace benchsupport;

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
    benchsupport::runScoped(editor);
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
    benchsupport::runScoped(editor);
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

// Keystrokes in one line of 5 MB: a picture inlined as base64 of zero bytes
// ("AAAA..."), words after it. In the middle of the zeros (letters that
// split them), at their end (zeros, which make them longer), and just after
// them (letters, each typed where the zeros end). Nothing in such text
// tells one place from another: a key keeps the ends of the parts it does
// not reach, and reads and restyles about a part's neighbourhood of the
// line, whatever its length.
void BM_KeystrokeInLongRepeatedLine(benchmark::State &state) {
    static std::unique_ptr<Editor> editor;
    const QString head = QStringLiteral("Before.\n\n![p](data:image/png;base64,");
    constexpr qsizetype kZeros = 5 << 20;
    benchsupport::runScoped(editor, head + QString(kZeros, QLatin1Char('A')) +
                                        QStringLiteral(") and a few words after it.\n\nAfter.\n"));
    const int place = int(state.range(0));
    const qsizetype start = head.size() + (place == 0 ? kZeros / 2 : kZeros);
    const QString typed = place == 1 ? QStringLiteral("A") : QStringLiteral("x");
    editor->showAt(start);
    std::vector<double> ms;
    qsizetype at = start, length = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        editor->type(at, typed, false);
        ms.push_back(clock.nsecsElapsed() / 1e6);
        length++;
        if (place != 2)
            at++;
    }
    editor->storage.replaceCharactersInRange({start, length}, QString());
    QCoreApplication::processEvents();
    report(state, ms);
}
BENCHMARK(BM_KeystrokeInLongRepeatedLine)->Arg(0)->Arg(1)->Arg(2)->ArgName("place")->Iterations(40)
    ->Unit(benchmark::kMillisecond);

// The editor view over the same document, 1000 x 800, with the gutter
// numbering lines (or paragraphs) and the invisible marks drawn: after each
// keystroke the view keeps the caret in view, the gutter follows the text,
// and a painted keystroke paints the gutter and the marks too.
template <typename View>
struct ViewEditor {
    platform::ScopedStandardDefaults defaults;
    std::unique_ptr<SmartTextStorage> storage;
    std::unique_ptr<View> view;

    // With `grammar`, over the document of prose, grammar checked too; its
    // marks are left to the background.
    explicit ViewEditor(bool paragraphs, bool spelling = false, bool grammar = false) {
        platform::Defaults &d = defaults.defaults();
        d.setBool(spelling, QStringLiteral("checkSpelling"));
        d.setBool(spelling, QStringLiteral("correctSpelling"));
        d.setBool(grammar, QStringLiteral("checkGrammar"));
        d.setObject(QStringLiteral("DejaVu Sans"), QStringLiteral("defaultFontName"));
        d.setFloat(11, QStringLiteral("defaultFontSize"));
        d.setInteger(72, QStringLiteral("lineLength"));
        d.setBool(true, QStringLiteral("showLineNumbers"));
        d.setBool(paragraphs, QStringLiteral("countParasNotLines"));
        d.setBool(true, QStringLiteral("showInvisibleCharacters"));
        storage = std::make_unique<SmartTextStorage>(d);
        storage->applyThemeFromPath(themePath());
        storage->setInitialText(grammar ? proseDocument() : sampleDocument());
        view = std::make_unique<View>(storage.get(), &d);
        // Grammar's rows time the marking, not the text's own styling
        // ahead: all of the text is in and styled first.
        if (grammar) {
            storage->finishLayingIn();
            storage->finishStylingAhead();
        }
        view->resize(1000, 800);
        view->show();
        view->activateWindow();
        view->setFocus();
        storage->documentLayout()->finishLayout();
        QCoreApplication::processEvents();
        if (spelling && !grammar) {
            QElapsedTimer clock;
            clock.start();
            view->textServices()->checkAll();
            wholeCheckMs = clock.nsecsElapsed() / 1e6;
        }
    }
    double wholeCheckMs = 0;
    ~ViewEditor() {
        view.reset();
        storage.reset();
    }
};

void viewKeystrokes(benchmark::State &state, bool paragraphs) {
    static std::unique_ptr<ViewEditor<KVXTextView>> editors[2];
    std::unique_ptr<ViewEditor<KVXTextView>> &editor = editors[paragraphs];
    benchsupport::runScoped(editor, paragraphs);
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

// One key typed into the Markdown editor and laid out (and painted, when
// asked): its cost in milliseconds.
double typeKey(ViewEditor<SmartTextView> &editor, QChar letter, bool paint) {
    const QString typed(letter);
    const int key = letter == u' ' ? int(Qt::Key_Space) : int(letter.toUpper().unicode());
    QElapsedTimer clock;
    clock.start();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, typed);
    QCoreApplication::sendEvent(editor.view.get(), &press);
    editor.storage->documentLayout()->documentSize();
    if (paint)
        editor.view->repaint();
    return clock.nsecsElapsed() / 1e6;
}

// Key presses sent to the Markdown editor, as a person types: the key's
// interpretation, the edit through the storage, the caret taken from the
// buffer, the counts published and the label-completion check, on top of
// what the view's keystroke above costs.
void editorKeyPresses(benchmark::State &state, bool spelling) {
    static std::unique_ptr<ViewEditor<SmartTextView>> editors[2];
    std::unique_ptr<ViewEditor<SmartTextView>> &editor = editors[spelling];
    benchsupport::runScoped(editor, false, spelling);
    const bool paint = state.range(0);
    const qsizetype start = middleOf(QStringLiteral("\n\n")) + 2;
    editor->view->setSelectedRange({start, 0});
    QCoreApplication::processEvents();
    std::vector<double> ms;
    // With spelling, a misspelt word among them: marked as it ends, and
    // looked at for a correction.
    const QString letters =
        spelling ? QStringLiteral("type some wrods é ") : QStringLiteral("type some words é ");
    int i = 0;
    for (auto _ : state) {
        ms.push_back(typeKey(*editor, letters[i++ % letters.size()], paint));
    }
    const qsizetype end = editor->view->selectedRange().location;
    editor->storage->replaceCharactersInRange({start, end - start}, QString());
    QCoreApplication::processEvents();
    report(state, ms);
    if (spelling)
        state.counters["whole_check_ms"] = editor->wholeCheckMs;
}

void BM_EditorKeyPressLineNumbersAndInvisibles(benchmark::State &state) { editorKeyPresses(state, false); }
BENCHMARK(BM_EditorKeyPressLineNumbersAndInvisibles)->Arg(0)->Arg(1)->ArgName("paint")
    ->Iterations(400)->Unit(benchmark::kMillisecond);

// The same with spelling checked as the user types: the words of the
// restyled blocks looked up, the marks merged into their formats, and each
// ended word looked at for a correction. whole_check_ms is the marking of
// the whole document after it loads (done in idle slices in the editor).
void BM_EditorKeyPressSpellingChecked(benchmark::State &state) { editorKeyPresses(state, true); }
BENCHMARK(BM_EditorKeyPressSpellingChecked)->Arg(0)->Arg(1)->ArgName("paint")
    ->Iterations(400)->Unit(benchmark::kMillisecond);

// Runs the event loop for `ms` milliseconds: what a typist leaves between
// two keys, in which idle slices mark blocks and verdicts come back. Each
// turn of the loop that did work is timed into `turns`: a key pressed then
// would have waited for it.
void idleFor(int ms, std::vector<double> *turns = nullptr) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QElapsedTimer turn;
        turn.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const double took = turn.nsecsElapsed() / 1e6;
        if (turns && took > 0.05)
            turns->push_back(took);
        QThread::usleep(200);
    }
}

// Key presses into the 1 MB document of prose with spelling checked, and
// grammar with it (grammar:1) or not (grammar:0, the same keys for a
// comparison), while the grammar service judges the document's sentences on
// its own thread and idle slices mark what it found: 20 ms of event loop
// between two keys. Keys are timed as in the rows above (median_ms,
// p95_ms); turn_p95_ms and turn_max_ms are the turns of the event loop
// between keys that did work (an idle slice of the marks or of the
// layout's heights, a batch of verdicts shown, a paint): a key pressed
// during one waits for it. Typed: sentences, each judged as it ends. marks
// is the number of grammar marks shown when the keys are done.
void BM_EditorKeyPressGrammarChecked(benchmark::State &state) {
    static std::unique_ptr<ViewEditor<SmartTextView>> editors[2];
    const bool grammar = state.range(0);
    const bool paint = state.range(1);
    std::unique_ptr<ViewEditor<SmartTextView>> &editor = editors[grammar];
    benchsupport::runScoped(editor, false, true, grammar);
    const QString &text = proseDocument();
    const qsizetype start = text.indexOf(QStringLiteral("\n\n"), text.size() / 2) + 2;
    editor->view->setSelectedRange({start, 0});
    QCoreApplication::processEvents();
    std::vector<double> ms;
    std::vector<double> turns;
    const QString letters = QStringLiteral("She walk to the park. They read a book. ");
    int i = 0;
    for (auto _ : state) {
        idleFor(20, &turns);
        ms.push_back(typeKey(*editor, letters[i++ % letters.size()], paint));
    }
    const qsizetype end = editor->view->selectedRange().location;
    editor->storage->replaceCharactersInRange({start, end - start}, QString());
    QCoreApplication::processEvents();
    report(state, ms);
    std::sort(turns.begin(), turns.end());
    if (!turns.empty()) {
        state.counters["turn_p95_ms"] = turns[std::min(turns.size() - 1, turns.size() * 95 / 100)];
        state.counters["turn_max_ms"] = turns.back();
    }
    state.counters["marks"] = double(editor->view->textServices()->grammarFaults().size());
}
BENCHMARK(BM_EditorKeyPressGrammarChecked)->ArgsProduct({{1, 0}, {0, 1}})->ArgNames({"grammar", "paint"})
    ->Iterations(400)->Unit(benchmark::kMillisecond);

// The whole 1 MB document of prose marked for grammar after it loads, in
// the background (the event loop running, nothing typed): how long until
// nothing waits, and how many grammar marks it shows then. A grammar
// service of its own, which remembers no verdict yet, loads its dictionary
// and judges every sentence.
void BM_GrammarMarks1MBInBackground(benchmark::State &state) {
    for (auto _ : state) {
        ViewEditor<SmartTextView> editor(false, true, true);
        QElapsedTimer clock;
        clock.start();
        platform::GrammarService grammar({});
        TextServices *services = editor.view->textServices();
        services->setGrammar(&grammar);
        while (services->isPending())
            idleFor(10);
        state.counters["marked_s"] = clock.nsecsElapsed() / 1e9;
        state.counters["marks"] = double(services->grammarFaults().size());
        services->setGrammar(&platform::GrammarService::shared());
    }
}
BENCHMARK(BM_GrammarMarks1MBInBackground)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
