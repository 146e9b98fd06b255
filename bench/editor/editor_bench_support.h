// What the editor's benchmarks share: a 1 MB Markdown document, a theme, an
// editor over a text storage shown offscreen, and the report of single
// keystrokes (median, 95th percentile, maximum). An editor several
// benchmarks share is kept with runScoped() (bench/support/run_scoped.h), so
// that it goes before the application object does.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "editor/view/lazy_document_layout.h"
#include "bench/support/run_scoped.h"
#include "editor/storage/smart_text_storage.h"

namespace benchsupport {

// About 1 MB of varied Markdown: headings, paragraphs with inline markup,
// lists, block quotes, code fences and tables, with some accented letters
// and emoji, so that offsets are not plain ASCII.
inline QString sampleDocument() {
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

// About 1 MB of English prose in Markdown for grammar: paragraphs of
// sentences of a dozen words, one in ten faulty (a verb that does not agree
// with its subject), some with emphasis, a link or a code span, under
// headings, with lists, quotes, fences and tables between.
inline QString proseDocument() {
    static const QString text = [] {
        std::mt19937 random(17);
        auto pick = [&random](const auto &list) { return QString::fromUtf8(list[random() % std::size(list)]); };
        const char *singular[] = {"The editor", "Our team", "The new parser", "A careful reader", "Each chapter",
                                  "The old house", "My sister", "The small village", "This morning", "The teacher",
                                  "Every student", "The river", "A quiet evening", "The café", "Her brother"};
        const char *plural[] = {"The editors", "Our friends", "The new parsers", "Careful readers", "The chapters",
                                "The old houses", "My parents", "The villagers", "The mornings", "The teachers",
                                "Most students", "The rivers", "Quiet evenings", "The cafés", "Her brothers"};
        const char *singularVerb[] = {"keeps", "opens", "reads", "follows", "finds", "shows", "brings", "holds"};
        const char *pluralVerb[] = {"keep", "open", "read", "follow", "find", "show", "bring", "hold"};
        const char *object[] = {"the long letter", "a green door", "the first page", "an old map", "the evening news",
                                "a simple plan", "the last train", "every window", "a warm coat", "the garden gate"};
        const char *adverbial[] = {"before dinner", "in the spring", "with great care", "after the storm",
                                   "every Sunday", "near the station", "without a word", "at the end of the day",
                                   "for the whole family", "during the long winter"};
        auto sentence = [&] {
            const bool many = random() % 2;
            // One in ten: the verb of the other number.
            const bool faulty = random() % 10 == 0;
            QString verb = (many != faulty) ? pick(pluralVerb) : pick(singularVerb);
            switch (random() % 20) {
            case 0: verb = QStringLiteral("**") + verb + QStringLiteral("**"); break;
            case 1: verb = QStringLiteral("*") + verb + QStringLiteral("*"); break;
            default: break;
            }
            QString thing = pick(object);
            if (random() % 25 == 0)
                thing = QStringLiteral("[") + thing + QStringLiteral("](http://example.org/page)");
            else if (random() % 40 == 0)
                thing = QStringLiteral("`") + thing + QStringLiteral("`");
            return (many ? pick(plural) : pick(singular)) + QLatin1Char(' ') + verb + QLatin1Char(' ') + thing +
                   QLatin1Char(' ') + pick(adverbial) + QLatin1Char('.');
        };
        auto paragraph = [&](int sentences) {
            QString p;
            for (int i = 0; i < sentences; i++)
                p += (i ? (i % 3 == 0 ? QStringLiteral("\n") : QStringLiteral(" ")) : QString()) + sentence();
            return p + QStringLiteral("\n\n");
        };
        QString doc = QStringLiteral("Title: Grammar benchmark\nAuthor: Zoë\n\n");
        int section = 0;
        while (doc.size() < 1024 * 1024) {
            doc += QStringLiteral("## Section %1\n\n").arg(++section);
            for (int p = 0; p < 3; p++)
                doc += paragraph(3 + int(random() % 6));
            doc += QStringLiteral("- ") + sentence() + QStringLiteral("\n- ") + sentence() + QStringLiteral("\n\n");
            if (section % 3 == 0)
                doc += QStringLiteral("```\nint main() {\n    return %1;\n}\n```\n\n").arg(section);
            if (section % 4 == 0)
                doc += QStringLiteral("> ") + sentence() + QStringLiteral("\n\n");
            if (section % 7 == 0)
                doc += QStringLiteral("| a | b |\n|---|---|\n| 1 | 2 |\n\n");
        }
        return doc;
    }();
    return text;
}

inline const char kTheme[] = R"({
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

inline QString themePath() {
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

// A storage with a document (the 1 MB one unless told) loaded and styled
// with a theme, shown in a QTextEdit of 1000 x 800 on the offscreen platform.
struct Editor {
    SmartTextStorage storage;
    QTextEdit view;

    Editor(const QString &text = sampleDocument(), const QString &theme = themePath(),
           const StoragePreferences &preferences = {})
        : storage(preferences) {
        storage.applyThemeFromPath(theme);
        storage.setInitialText(text);
        // A large text goes in from its start and the rest in idle slices;
        // the benchmarks measure the editor once all of it is in.
        storage.finishLayingIn();
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

inline void report(benchmark::State &state, std::vector<double> &ms) {
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    state.counters["max_ms"] = ms.back();
}

}  // namespace benchsupport
