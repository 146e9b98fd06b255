// Elastic tab stops on a block of 1,000 tab-separated lines (five columns of
// words and numbers) between paragraphs, offscreen in a 1000 x 800 QTextEdit:
// a keystroke in a cell in the middle of the block, from the edit to styled
// and realigned text with the edited line laid out (optionally painted); a
// new line added to the block; and the realignment alone. The goal: under
// 50 ms per edit. Reports the median and 95th percentile.
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "editor/view/lazy_document_layout.h"
#include "editor/storage/smart_text_storage.h"
#include "editor_bench_support.h"

namespace {

constexpr int kLines = 1000;

QString sampleDocument() {
    static const QString text = [] {
        std::mt19937 random(5);
        const char *words[] = {"alpha", "beta", "Zoë", "gamma ray", "δ", "epsilon", "naïve",
                               "longer cell text", "x", "42", "3.14159", "2024-05-01"};
        QString doc = QStringLiteral("# Measurements\n\nA paragraph before the table.\n\n");
        for (int line = 0; line < kLines; line++) {
            for (int column = 0; column < 5; column++) {
                if (column)
                    doc += u'\t';
                doc += QString::fromUtf8(words[random() % std::size(words)]);
            }
            doc += u'\n';
        }
        doc += QStringLiteral("\nA paragraph after the table.\n");
        return doc;
    }();
    return text;
}

QString themePath() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.filePath(QStringLiteral("bench.theme"));
        QFile file(p);
        file.open(QIODevice::WriteOnly);
        file.write(R"({"fontName": "DejaVu Sans", "fontSize": 11, "foregroundColor": "#222222",
                       "heading": {"bold": 1}, "emphasis": {"italic": 1}})");
        return p;
    }();
    return path;
}

StoragePreferences elasticTabStops() {
    StoragePreferences preferences;
    preferences.useElasticTabstops = true;
    return preferences;
}

struct Editor : benchsupport::Editor {
    Editor() : benchsupport::Editor(sampleDocument(), themePath(), elasticTabStops()) {}

    // The start of the third cell of the middle line of the block.
    qsizetype middleCell() const {
        const QTextBlock block = storage.document()->findBlockByNumber(4 + kLines / 2);
        const QString text = block.text();
        return block.position() + text.indexOf(u'\t', text.indexOf(u'\t') + 1) + 1;
    }

    void edit(CharRange range, const QString &text, bool paint) {
        storage.replaceCharactersInRange(range, text);
        storage.documentLayout()->blockBoundingRect(storage.document()->findBlock(int(range.location)));
        storage.documentLayout()->documentSize();
        if (paint)
            view.viewport()->repaint();
    }
};

Editor &editor() {
    static std::unique_ptr<Editor> shared;
    return benchsupport::runScoped(shared);
}

using benchsupport::report;

// Typing into a cell widens its column now and then: every line of the
// block moves its stops.
void BM_KeystrokeInTabBlock(benchmark::State &state) {
    Editor &e = editor();
    const qsizetype start = e.middleCell();
    e.showAt(start);
    std::vector<double> ms;
    qsizetype at = start;
    const QString letters = QStringLiteral("typing a much longer cell ");
    int i = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        e.edit({at++, 0}, QString(letters[i++ % letters.size()]), state.range(0));
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    e.storage.replaceCharactersInRange({start, at - start}, QString());
    QCoreApplication::processEvents();
    report(state, ms);
}
BENCHMARK(BM_KeystrokeInTabBlock)->Arg(0)->Arg(1)->ArgName("paint")->Iterations(200)
    ->Unit(benchmark::kMillisecond);

// A new row typed into the block, and taken out again.
void BM_LineAddedToTabBlock(benchmark::State &state) {
    Editor &e = editor();
    const qsizetype at = e.middleCell();
    e.showAt(at);
    std::vector<double> ms;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        e.edit({at, 0}, QStringLiteral("new\trow\n"), false);
        e.edit({at, 8}, QString(), false);
        ms.push_back(clock.nsecsElapsed() / 2e6);
    }
    report(state, ms);
}
BENCHMARK(BM_LineAddedToTabBlock)->Iterations(50)->Unit(benchmark::kMillisecond);

// The realignment of the block alone, without an edit.
void BM_RealignTabBlock(benchmark::State &state) {
    Editor &e = editor();
    const qsizetype at = e.middleCell();
    std::vector<double> ms;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        e.storage.alignTabStopsInRange({at, 1});
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    report(state, ms);
}
BENCHMARK(BM_RealignTabBlock)->Iterations(100)->Unit(benchmark::kMillisecond);

}  // namespace
