// One top-level block of megabytes (a list, a fenced code block, a table, a
// block quote): a keystroke in it parses and styles about its neighbourhood
// whatever the block's length, a large one is styled ahead a stretch at a
// time, and after any edit the styles are those a fresh styling of the whole
// text gives.
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "editor/editor_test_support.h"
#include "editor/storage/smart_text_storage.h"

using editortest::expectedShown;
using editortest::sameStyles;
using editortest::shownText;

namespace {

using editortest::styled;

// The kinds of big blocks, each made of lines numbered so that no two are
// alike, between a paragraph before and one after.
enum class Kind { NestedList, LooseOrderedList, Fence, Table, Quote };

const char *nameOf(Kind kind) {
    switch (kind) {
    case Kind::NestedList: return "a list with nested items";
    case Kind::LooseOrderedList: return "a loose ordered list";
    case Kind::Fence: return "a fenced log";
    case Kind::Table: return "a table";
    case Kind::Quote: return "a quote with lazy lines";
    }
    return "";
}

QString line(Kind kind, int i) {
    switch (kind) {
    case Kind::NestedList:
        if (i % 7 == 3)
            return QStringLiteral("    - nested %1 with `code`\n").arg(i);
        if (i % 13 == 5)
            return QStringLiteral("  lazy *text* %1\n").arg(i);
        return QStringLiteral("- item %1 with *emphasis* and [a link](http://x.org/%1)\n").arg(i);
    case Kind::LooseOrderedList:
        return QStringLiteral("%1. entry with **strength** %1\n\n").arg(i + 1);
    case Kind::Fence:
        return QStringLiteral("2024-05-01 12:00:%1 [INFO] *not emphasis* # not a heading %1\n").arg(i);
    case Kind::Table:
        return QStringLiteral("| %1 | *cell* | `code` %1 |\n").arg(i);
    case Kind::Quote:
        if (i % 9 == 4)
            return QStringLiteral(">\n");
        if (i % 11 == 6)
            return QStringLiteral("lazy line %1\n").arg(i);
        return QStringLiteral("> quoted *line* %1\n").arg(i);
    }
    return {};
}

// A document whose big block is about `units` long, after a heading and a
// paragraph or (`first`) at its very start; the block's text runs from
// `*blockStart` to `*blockEnd`.
QString document(Kind kind, qsizetype units, qsizetype *blockStart = nullptr, qsizetype *blockEnd = nullptr,
                 bool first = false) {
    QString text = first ? QString() : QStringLiteral("# Before\n\nA paragraph *before* it.\n\n");
    if (kind == Kind::Fence)
        text += QStringLiteral("```\n");
    else if (kind == Kind::Table)
        text += QStringLiteral("| a | b | c |\n|---|---|---|\n");
    if (blockStart)
        *blockStart = text.size();
    for (int i = 0; text.size() < units; i++)
        text += line(kind, i);
    if (kind == Kind::Fence)
        text += QStringLiteral("```\n");
    if (blockEnd)
        *blockEnd = text.size();
    text += QStringLiteral("\nA paragraph *after* it.\n");
    return text;
}

const Kind kKinds[] = {Kind::NestedList, Kind::LooseOrderedList, Kind::Fence, Kind::Table, Kind::Quote};

}  // namespace

// A keystroke at the start, in the middle and at the end of a block of 1 MB
// parses no more than one in a block of 100 KB does: a few lines around it,
// not the block.
TEST(BigBlocks, AKeystrokeParsesAboutItsNeighbourhoodWhateverTheBlocksLength) {
    for (Kind kind : kKinds) {
        SCOPED_TRACE(nameOf(kind));
        auto costs = [kind](qsizetype units) {
            qsizetype start = 0, end = 0;
            auto storage = styled(document(kind, units, &start, &end));
            std::vector<qint64> parsed;
            // The start a line into the block, the end a line before its
            // end: typed into the block's own lines.
            for (qsizetype at : {start + 2, (start + end) / 2, end - 12}) {
                const qint64 before = storage->unitsParsed();
                storage->replaceCharactersInRange({at, 0}, QStringLiteral("x"));
                parsed.push_back(storage->unitsParsed() - before);
            }
            return parsed;
        };
        const std::vector<qint64> small = costs(100000), large = costs(1000000);
        for (size_t i = 0; i < small.size(); i++) {
            SCOPED_TRACE(i);
            EXPECT_GT(large[i], 0);
            EXPECT_LE(large[i], 4000);
            EXPECT_LE(large[i], 2 * small[i] + 200);
        }
    }
}

// Random edits inside big blocks (lists nested, loose, tight and ordered;
// fences opened and closed; tables; quotes with lazy lines; all of them in
// one text) leave the styles, and where a parse may begin, of a fresh
// styling of the same text.
TEST(BigBlocks, RandomEditsLeaveTheStylesOfAFreshStyling) {
    const QString fragments[] = {
        QStringLiteral("x"),    QStringLiteral(" "),     QStringLiteral("\n"),   QStringLiteral("\n\n"),
        QStringLiteral("- "),   QStringLiteral("* "),    QStringLiteral("1. "),  QStringLiteral("    "),
        QStringLiteral("  "),   QStringLiteral("\t"),    QStringLiteral("> "),   QStringLiteral(">"),
        QStringLiteral("```"),  QStringLiteral("```\n"), QStringLiteral("````"), QStringLiteral("|"),
        QStringLiteral("|---|---|---|\n"), QStringLiteral("*"), QStringLiteral("`"), QStringLiteral("==="),
        QStringLiteral("---"),  QStringLiteral("# "),    QStringLiteral("é"),    QStringLiteral("😀"),
        QStringLiteral("[x]("), QStringLiteral(")"),
    };
    QString mixed;
    for (Kind kind : kKinds)
        mixed += document(kind, 2500);
    struct Case {
        const char *what;
        QString text;
    };
    std::vector<Case> cases;
    for (Kind kind : kKinds)
        cases.push_back({nameOf(kind), document(kind, 6000)});
    cases.push_back({"all of them", mixed});
    std::mt19937 random(1106);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SmartTextStorage storage;
        ASSERT_TRUE(storage.applyThemeFromPath(editortest::themePath()));
        storage.setInitialText(c.text);
        QString last;
        for (int step = 0; step < 150; step++) {
            const qsizetype n = storage.length();
            const qsizetype at = qsizetype(random() % unsigned(n + 1));
            const int op = int(random() % 10);
            QString what;
            if (op < 5) {
                const QString text = fragments[random() % std::size(fragments)];
                storage.replaceCharactersInRange({at, 0}, text);
                what = QStringLiteral("type \"%1\" at %2").arg(text).arg(at);
            } else if (op < 8) {
                const qsizetype length = qMin<qsizetype>(n - at, qsizetype(random() % (op == 7 ? 200 : 4)));
                storage.replaceCharactersInRange({at, length}, QString());
                what = QStringLiteral("delete %1+%2").arg(at).arg(length);
            } else if (op == 8) {
                storage.undo();
                what = QStringLiteral("undo");
            } else {
                storage.redo();
                what = QStringLiteral("redo");
            }
            SCOPED_TRACE(QStringLiteral("step %1: %2\nbefore: %3").arg(step).arg(what, last).toStdString());
            ASSERT_EQ(shownText(storage), expectedShown(storage));
            SmartTextStorage fresh;
            fresh.applyThemeFromPath(editortest::themePath());
            fresh.setInitialText(storage.string());
            ASSERT_TRUE(sameStyles(storage, fresh)) << storage.string().toStdString();
            last = storage.string();
        }
    }
}

// A text that begins with a block of megabytes is styled ahead a stretch at
// a time: what a window shows first is styled without parsing the block
// whole, styling the rest parses each line about once, and the result is
// that of one parse of the whole text. Edits meanwhile, before and where the
// text that waits begins, are styled as a fresh styling of the final text
// styles them.
TEST(BigBlocks, AStretchOfABigBlockIsStyledAtATime) {
    for (Kind kind : kKinds) {
        SCOPED_TRACE(nameOf(kind));
        const QString text = document(kind, 1000000, nullptr, nullptr, true);
        SmartTextStorage storage;
        storage.applyThemeFromPath(editortest::themePath());
        storage.setInitialText(text);
        ASSERT_TRUE(storage.isStylingAhead());
        EXPECT_LE(storage.unitsParsed(), 2 * SmartTextStorage::kStyleAheadStretch);
        storage.finishStylingAhead();
        EXPECT_LE(storage.unitsParsed(), text.size() + text.size() / 10);

        SmartTextStorage whole;
        whole.applyThemeFromPath(editortest::themePath());
        whole.setInitialText(text);
        whole.finishLayingIn();
        whole.applyHighlighting();
        EXPECT_TRUE(sameStyles(storage, whole));
    }
    // A line that loses its first characters about where the first stretch
    // ends: before the text that waits, on its first line or inside it.
    for (Kind kind : kKinds) {
        SCOPED_TRACE(nameOf(kind));
        const QString text = document(kind, SmartTextStorage::kStyleAheadBytes + 4096);
        const qsizetype stretch = SmartTextStorage::kStyleAheadStretch;
        for (qsizetype at : {stretch - 120, stretch - 60, stretch - 10, stretch + 40}) {
            SCOPED_TRACE(at);
            SmartTextStorage storage;
            storage.applyThemeFromPath(editortest::themePath());
            storage.setInitialText(text);
            ASSERT_TRUE(storage.isStylingAhead());
            // The line at `at` loses its first two characters.
            const qsizetype lineStart = text.lastIndexOf(QLatin1Char('\n'), at) + 1;
            storage.replaceCharactersInRange({lineStart, 2}, QString());
            storage.finishStylingAhead();
            SmartTextStorage fresh;
            fresh.applyThemeFromPath(editortest::themePath());
            fresh.setInitialText(storage.string());
            fresh.finishLayingIn();
            fresh.applyHighlighting();
            ASSERT_TRUE(sameStyles(storage, fresh));
        }
    }
}
