// Lines too long for Qt to hold as one block, shown in parts: what the parts
// stand for, that edits anywhere in such a line (at its start, in its middle,
// at its end, across the end of a part) leave the parts and the styles a
// fresh showing of the same text has, and that a keystroke in such a line
// lays out and parses about a part whatever the line's length.
#include <QHash>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <QTextBoundaryFinder>

#include <random>

#include "editor/editor_test_support.h"
#include "editor/storage/line_parts.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/lazy_document_layout.h"

using editortest::expectedShown;
using editortest::shownText;

namespace {

using editortest::styled;

// A line of `units` units or more made of `piece` over and over, numbered
// so that no two stretches of it are alike.
QString repeated(const QString &piece, qsizetype units) {
    QString text;
    for (int i = 0; text.size() < units; i++)
        text += piece.arg(i);
    return text;
}

// Letters and digits with no space for the whole line, as a picture
// inlined as base64 has.
QString base64Like(qsizetype units, unsigned seed) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::mt19937 random(seed);
    QString text;
    text.reserve(units);
    for (qsizetype i = 0; i < units; i++)
        text += QLatin1Char(kAlphabet[random() % 64]);
    return text;
}

QString prose(qsizetype units) {
    return repeated(QStringLiteral("Sentence %1 has *some emphasis*, `a code span` and [a link](http://example.org/%1) "
                                   "in it, and then ends. "),
                    units);
}

// What the document shows of a storage, block by block: each block's text,
// what its end stands for and its style runs.
struct Shown {
    QStringList blocks;
    QString ends;
    QList<QList<AttributeRun>> runs;
    bool operator==(const Shown &) const = default;
};

Shown shownOf(const SmartTextStorage &storage) {
    Shown shown;
    for (QTextBlock block = storage.document()->firstBlock(); block.isValid(); block = block.next()) {
        shown.blocks.append(block.text());
        const QChar end = storage.partEnd(block);
        shown.ends += end.isNull() ? QChar(u'|') : end;
        shown.runs.append(storage.runs(block));
    }
    return shown;
}

// Where the two differ first, for a failure message.
std::string firstDifference(const Shown &a, const Shown &b) {
    if (a.blocks.size() != b.blocks.size())
        return "block counts " + std::to_string(a.blocks.size()) + " and " + std::to_string(b.blocks.size());
    for (qsizetype i = 0; i < a.blocks.size(); i++) {
        if (a.blocks[i] != b.blocks[i])
            return "text of block " + std::to_string(i) + " (" + std::to_string(a.blocks[i].size()) + " and " +
                   std::to_string(b.blocks[i].size()) + " units)";
        if (a.ends[i] != b.ends[i])
            return "end of block " + std::to_string(i);
        if (a.runs[i] != b.runs[i]) {
            std::string where = "styles of block " + std::to_string(i) + ":";
            for (qsizetype r = 0; r < qMax(a.runs[i].size(), b.runs[i].size()); r++) {
                const AttributeRun x = r < a.runs[i].size() ? a.runs[i][r] : AttributeRun{};
                const AttributeRun y = r < b.runs[i].size() ? b.runs[i][r] : AttributeRun{};
                if (!(x == y)) {
                    where += " run " + std::to_string(r) + " at " + std::to_string(x.start) + "+" +
                             std::to_string(x.length) + " and " + std::to_string(y.start) + "+" +
                             std::to_string(y.length) + " text \"" +
                             a.blocks[i].mid(qMin(x.start, y.start), 40).toStdString() + "\"";
                    break;
                }
            }
            return where;
        }
    }
    return "nothing";
}

// The texts of a line's parts, from the document.
QStringList partsOf(const SmartTextStorage &storage) {
    QStringList parts;
    for (QTextBlock block = storage.document()->firstBlock(); block.isValid(); block = block.next())
        parts.append(block.text());
    return parts;
}

// How many parts of `after` are not parts of `before` in the same order at
// the start or at the end: those an edit changed.
qsizetype changedParts(const QStringList &before, const QStringList &after) {
    qsizetype head = 0, tail = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head])
        head++;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        tail++;
    return after.size() - head - tail;
}

// `piece` over and over, exactly, to `units` units or more.
QString over(const QString &piece, qsizetype units) {
    QString text;
    while (text.size() < units)
        text += piece;
    return text;
}

QString randomCjk(qsizetype units, unsigned seed) {
    std::mt19937 random(seed);
    QString text;
    while (text.size() < units)
        text += QChar(char16_t(0x4E00 + random() % 0x5000));
    return text;
}

// Whether a part may end at `cut` of `line` without cutting into a
// character: the unit there is a grapheme cluster by itself, or a joiner
// between two emoji, which are then drawn side by side.
bool endsBetweenCharacters(const QString &line, qsizetype cut) {
    const QChar c = line[cut];
    if (c.isSurrogate() || c.isMark())
        return false;
    if (cut + 1 < line.size()) {
        const QChar next = line[cut + 1];
        if (next.isMark() || (next.isHighSurrogate() && cut + 2 < line.size() &&
                              QChar::category(QChar::surrogateToUcs4(next, line[cut + 2])) == QChar::Symbol_Modifier))
            return false;
    }
    if (c == QChar(0x200D))
        return cut > 1 && (line[cut - 1].isLowSurrogate() || line[cut - 1] == QChar(0xFE0F)) && cut + 1 < line.size() &&
               line[cut + 1].isHighSurrogate();
    // (A cluster is read from the units around it: a line of megabytes is
    // not segmented whole for each of its parts.)
    const qsizetype from = qMax<qsizetype>(0, cut - 32);
    const QString around = line.mid(from, 64);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, around);
    finder.setPosition(int(cut - from));
    const bool before = finder.isAtBoundary();
    finder.setPosition(int(cut + 1 - from));
    return before && finder.isAtBoundary();
}

// The grapheme cluster of `text` that begins at `at` or first after it.
CharRange clusterFrom(const QString &text, qsizetype at) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(int(at));
    if (!finder.isAtBoundary())
        finder.toNextBoundary();
    const qsizetype from = finder.position();
    return {from, finder.toNextBoundary() - from};
}

// Whether the parts of the line [start, start + length) of `storage` are
// within their bounds (the last one too) and each ends between characters.
testing::AssertionResult partsAreValid(const SmartTextStorage &storage, qsizetype start, qsizetype length) {
    const QString line = storage.string().mid(start, length);
    qsizetype offset = 0;
    for (QTextBlock block = storage.document()->findBlock(int(start)); storage.endsInLine(block);
         block = block.next()) {
        const qsizetype size = block.length() - 1;
        if (size < lineparts::kMin || size > lineparts::kLimit)
            return testing::AssertionFailure() << "a part of " << size << " units at unit " << offset;
        offset += size;
        if (!endsBetweenCharacters(line, offset))
            return testing::AssertionFailure() << "a part ends inside a character at unit " << offset;
        offset++;
    }
    if (line.size() - offset < lineparts::kMin || line.size() - offset > lineparts::kLimit)
        return testing::AssertionFailure() << "a last part of " << line.size() - offset << " units";
    return testing::AssertionSuccess();
}

// The styles of a document character by character: for each position, an
// index in `table` (whose runs' places are unused); -1 at a block's end (a
// line's end, or the character a part's end stands for, which is styled as
// a block's end where a showing cut elsewhere styles it as any character).
struct Styles {
    std::vector<qsizetype> at;
    QList<AttributeRun> table;
};

Styles stylesOf(const SmartTextStorage &storage) {
    Styles styles;
    styles.at.assign(size_t(storage.length()), -1);
    for (QTextBlock block = storage.document()->firstBlock(); block.isValid(); block = block.next()) {
        for (AttributeRun run : storage.runs(block)) {
            const qsizetype from = block.position() + run.start, length = run.length;
            run.start = run.length = 0;
            qsizetype index = styles.table.indexOf(run);
            if (index < 0) {
                index = styles.table.size();
                styles.table.append(run);
            }
            for (qsizetype i = from; i < from + length && i < qsizetype(styles.at.size()); i++)
                styles.at[size_t(i)] = index;
        }
    }
    return styles;
}

// The first position where two showings of the same text style a
// character differently (a character a part's end stands for in either one
// is not compared), or -1.
qsizetype firstStyleDifference(const Styles &a, const Styles &b) {
    if (a.at.size() != b.at.size())
        return 0;
    for (size_t i = 0; i < a.at.size(); i++)
        if (a.at[i] >= 0 && b.at[i] >= 0 && !(a.table[a.at[i]] == b.table[b.at[i]]))
            return qsizetype(i);
    return -1;
}
}  // namespace

TEST(LongLines, AreShownInPartsThatStandForTheirWholeText) {
    struct Case {
        const char *what;
        QString line;
        bool endsAtBlanks;
    };
    const Case cases[] = {
        {"prose", prose(120000), true},
        {"a picture inlined as base64",
         QStringLiteral("![a picture](data:image/png;base64,") + base64Like(90000, 5) + QStringLiteral(")"), false},
        {"cells between tabs", repeated(QStringLiteral("cell %1\t"), 70000), true},
        {"text with no spaces in another script", repeated(QStringLiteral("漢字かな%1"), 60000), false},
        {"emoji", repeated(QStringLiteral("😀%1"), 50000), false},
        // No character stands alone: a part ends at a joiner between two
        // emoji, else at a unit of one code point (here a presentation
        // selector), never inside a surrogate pair.
        {"emoji joined by joiners, and nothing else", over(QStringLiteral("😀\u200D😃\u200D😄"), 36000), false},
        {"emoji with a presentation selector, and nothing else", over(QStringLiteral("😀\uFE0F"), 36000), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString text = QStringLiteral("# Before\n\n") + c.line + QStringLiteral("\n\nAfter it.\n");
        auto storage = styled(text);
        const QTextDocument *document = storage->document();
        EXPECT_EQ(document->characterCount() - 1, storage->length());
        EXPECT_EQ(shownText(*storage), expectedShown(*storage));
        // The parts are those the line's text alone gives, and no block is
        // longer than the limit.
        const std::vector<qsizetype> cuts = lineparts::cuts(c.line);
        ASSERT_GT(cuts.size(), 4u);
        const QTextBlock first = document->findBlock(10);
        QTextBlock block = first;
        for (qsizetype cut : cuts) {
            ASSERT_TRUE(storage->endsInLine(block));
            EXPECT_EQ(block.position() + block.length() - 1, 10 + cut);
            const QChar end = storage->partEnd(block);
            EXPECT_EQ(end, c.line[cut]);
            EXPECT_FALSE(end.isSurrogate());
            EXPECT_EQ(lineparts::isBlank(end), c.endsAtBlanks);
            block = block.next();
            EXPECT_TRUE(storage->continuesLine(block));
        }
        EXPECT_FALSE(storage->endsInLine(block));
        for (QTextBlock b = document->firstBlock(); b.isValid(); b = b.next())
            EXPECT_LE(b.length() - 1, lineparts::kLimit);
        // Any part gives the whole line, and the lines around stay lines.
        const auto [lineFirst, lineLast] = storage->lineOf(document->findBlock(int(10 + c.line.size() / 2)));
        EXPECT_EQ(lineFirst, first);
        EXPECT_EQ(lineLast, block);
        EXPECT_FALSE(storage->continuesLine(first));
        EXPECT_FALSE(storage->endsInLine(first.previous()));
        EXPECT_EQ(block.next().next().text(), QStringLiteral("After it."));
        // The line's text reads on across its parts' ends: the emphasis of
        // a part far into it is styled.
        if (c.endsAtBlanks && c.line.contains(u'*')) {
            const qsizetype far = text.indexOf(QStringLiteral("some emphasis"), 10 + c.line.size() * 3 / 4);
            EXPECT_TRUE(storage->attributesAt(far).italic);
        }
    }
    // A line no longer than the limit is one block, however long.
    auto storage = styled(prose(lineparts::kLimit - 100).left(lineparts::kLimit));
    EXPECT_EQ(storage->document()->blockCount(), 1);
    EXPECT_FALSE(storage->mayHaveLineParts());
    // So is a line of emoji of two units and nothing else: a part could end
    // there only inside one of them.
    storage = styled(over(QStringLiteral("😀"), 3 * lineparts::kLimit));
    EXPECT_EQ(storage->document()->blockCount(), 1);
    EXPECT_EQ(shownText(*storage), expectedShown(*storage));
}

// Edits at a long line's start, in its middle and at its end, across the
// ends of its parts and of the line, joining and splitting lines and
// undoing them: after each, the document, its parts and its styles are
// those of a fresh storage given the same text.
TEST(LongLines, EditsLeaveThePartsAndStylesOfAFreshShowing) {
    const QString text = QStringLiteral("# A heading\n\n") + prose(60000) + QStringLiteral("\n\n- an item: ") +
                         prose(30000) + QStringLiteral("\n\nA picture: ![p](data:image/png;base64,") +
                         base64Like(40000, 9) + QStringLiteral(")\n\n```\n") +
                         repeated(QStringLiteral("code *%1* `x` "), 30000) + QStringLiteral("\n```\n\nThe end.\n");
    auto storage = styled(text);
    std::mt19937 random(23);
    const QString fragments[] = {QStringLiteral("x"),   QStringLiteral(" "),  QStringLiteral("word "),
                                 QStringLiteral("*"),   QStringLiteral("`"),  QStringLiteral("\n"),
                                 QStringLiteral("# "),  QStringLiteral("é"),  QStringLiteral("😀"),
                                 QStringLiteral("\t"), base64Like(6000, 3), QStringLiteral("\n\n")};
    auto somewhere = [&] {
        const qsizetype n = storage->length();
        // Half of the edits at or next to the end of a part or a line.
        if (random() % 2) {
            QTextBlock block = storage->document()->findBlock(int(random() % unsigned(n)));
            return qBound<qsizetype>(0, block.position() + block.length() - 1 + qsizetype(random() % 5) - 2, n);
        }
        return qsizetype(random() % unsigned(n + 1));
    };
    for (int step = 0; step < 200; step++) {
        const qsizetype at = somewhere();
        const int kind = int(random() % 8);
        if (kind < 4) {
            storage->replaceCharactersInRange({at, 0}, fragments[random() % std::size(fragments)]);
        } else if (kind < 6) {
            const qsizetype length = qMin<qsizetype>(storage->length() - at, qsizetype(random() % 3000));
            storage->replaceCharactersInRange({at, length}, QString());
        } else if (kind == 6) {
            storage->replaceCharactersInRange({at, qMin<qsizetype>(storage->length() - at, 1)}, QString());
        } else {
            storage->undo();
        }
        storage->finishStylingAhead();
        ASSERT_EQ(shownText(*storage), expectedShown(*storage)) << "after step " << step;
        if (step % 5 == 4) {
            auto fresh = styled(storage->string());
            const Shown now = shownOf(*storage), expected = shownOf(*fresh);
            ASSERT_TRUE(now == expected) << "after step " << step << ": " << firstDifference(now, expected);
        }
    }
}

// A keystroke at the start, in the middle and at the end of a line of
// 2 MB lays out and parses no more than one of 200 KB does: about a part,
// not the line.
TEST(LongLines, AKeystrokeLaysOutAndParsesAboutAPartWhateverTheLineLength) {
    struct Cost {
        qint64 laidOut = 0;
        qint64 parsed = 0;
    };
    auto costs = [](qsizetype units) {
        const QString line = prose(units);
        auto storage = styled(QStringLiteral("Before.\n\n") + line + QStringLiteral("\n\nAfter.\n"));
        LazyDocumentLayout *layout = storage->documentLayout();
        layout->finishLayout();
        std::vector<Cost> found;
        for (qsizetype at : {qsizetype(9), 9 + line.size() / 2, 9 + line.size()}) {
            const qint64 laid = layout->charactersLaidOut(), parsed = storage->unitsParsed();
            storage->replaceCharactersInRange({at, 0}, QStringLiteral("x"));
            layout->documentSize();
            found.push_back({layout->charactersLaidOut() - laid, storage->unitsParsed() - parsed});
        }
        return found;
    };
    const std::vector<Cost> small = costs(200000), large = costs(2000000);
    for (size_t i = 0; i < small.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_GT(large[i].laidOut, 0);
        // A few parts at most (the one typed in and those next to it), a
        // small share of the line, and no more than in the shorter line.
        EXPECT_LE(large[i].laidOut, 4 * lineparts::kLimit);
        EXPECT_LE(large[i].parsed, 8 * lineparts::kLimit);
        EXPECT_LE(large[i].laidOut, 2000000 / 20);
        EXPECT_LE(large[i].parsed, 2000000 / 20);
        EXPECT_LE(large[i].laidOut, 2 * small[i].laidOut + lineparts::kLimit);
        EXPECT_LE(large[i].parsed, 2 * small[i].parsed + lineparts::kLimit);
    }
}

// Edits while the rest of the text waits to be styled, where the styling
// stopped (the end of a long line's first part): what is styled ahead
// then is styled as a fresh showing of the same text is.
TEST(LongLines, EditsWhileTheRestWaitsToBeStyledLeaveAFreshShowing) {
    const QString line = prose(200000);
    const QString text = line + QStringLiteral("\n\nBetween.\n\n") + prose(100000) + QStringLiteral("\n\nThe end.\n");
    const qsizetype lineEnd = line.size();
    struct Edit {
        const char *what;
        qsizetype from, to;  // from the end of the first part
        QString inserted;
    };
    const Edit edits[] = {
        {"a line break there", 0, 0, QStringLiteral("\n")},
        {"a paragraph break before it", -1, -1, QStringLiteral("\n\n")},
        {"the part's end gone", -1, 0, QString()},
        {"across the part's end", -300, 300, QStringLiteral("x")},
        {"most of the line after it, leaving a short line", 0, lineEnd - 200, QString()},
        {"the rest of the line", 0, lineEnd, QString()},
        {"text typed there", 0, 0, QStringLiteral("typed ")},
    };
    for (const Edit &edit : edits) {
        SCOPED_TRACE(edit.what);
        SmartTextStorage storage;
        storage.applyThemeFromPath(editortest::themePath());
        storage.setInitialText(text);
        ASSERT_TRUE(storage.isStylingAhead());
        const QTextBlock first = storage.document()->firstBlock();
        ASSERT_TRUE(storage.endsInLine(first));
        const qsizetype at = first.position() + first.length();
        const qsizetype from = at + edit.from, to = edit.to == lineEnd ? lineEnd : at + edit.to;
        storage.replaceCharactersInRange({from, to - from}, edit.inserted);
        storage.finishStylingAhead();
        ASSERT_EQ(shownText(storage), expectedShown(storage));
        auto fresh = styled(storage.string());
        const Shown now = shownOf(storage), expected = shownOf(*fresh);
        EXPECT_TRUE(now == expected) << firstDifference(now, expected);
    }
}

// Lines of any content, each ending a repetition (or a stretch of its own)
// before a few words: an edit near the line's start, in its middle, at the
// end of what it repeats (its own character typed there), just after that
// and at the line's end, and the undo of each, changes a few parts of the
// line and reads and styles about a part's neighbourhood of it, however long
// the line and whatever it holds; every part stays within its bounds and
// holds whole characters, and the text and the caret are the text's.
// Compared at the end with a fresh showing of the edited text, the parts are
// the same where the text decides them. In text that repeats with a short
// period nothing does: every place looks like the next, the edited showing
// keeps the ends it had there and a fresh one counts them back from where
// the repetition ends, so there the styles are compared character by
// character instead of the parts.
TEST(LongLines, AnEditChangesOnlyThePartsNearItWhateverTheLineHolds) {
    struct Case {
        const char *what;
        QString body;  // the repetition, or the stretch
        QString own;   // a character that goes on with it
        bool repeats;  // with a period of kRadius or less
    };
    // Emoji joined, one with its presentation selector before a joiner, a
    // letter with its accent, and now and then a hand with a skin tone (Qt
    // lays out the emoji it draws in colour slowly: they are few).
    const QString emoji =
        over(QStringLiteral("😀\u200D😃\u200D😄😀\uFE0F\u200D😆e\u0301😇"), 180) + QStringLiteral("✋🏿");
    const QString cjk = QStringLiteral("我们今天去公园散步，天气很好。"), longer = base64Like(6000, 8),
                  shorter = base64Like(700, 10);
    const Case cases[] = {
        {"a phrase of CJK prose repeated", over(cjk, 40000), cjk.left(1), true},
        // Long enough that reading it whole at a key reads far more than a
        // key may.
        {"zeros inlined as base64", QStringLiteral("![p](data:image/png;base64,") + QString(240000, QLatin1Char('A')),
         QStringLiteral("A"), true},
        {"an emoji sequence repeated", over(emoji, 40000), emoji.left(2), true},
        {"random CJK prose", randomCjk(40000, 4), QStringLiteral("字"), false},
        {"base64 of random bytes", base64Like(40000, 6), QStringLiteral("Q"), false},
        {"text with spaces", prose(40000), QStringLiteral("S"), false},
        {"a stretch longer than a part repeated", over(longer, 40000), longer.left(1), false},
        {"a stretch of a few hundred units repeated", over(shorter, 40000), shorter.left(1), true},
    };
    const QString words = QStringLiteral(") and a few words.");
    const qsizetype start = 9;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString line = c.body + words;
        const QString text = QStringLiteral("Before.\n\n") + line + QStringLiteral("\n\nAfter.\n");
        auto storage = styled(text);
        const qsizetype end = start + c.body.size();
        struct Edit {
            const char *what;
            qsizetype at, removed;
            QString typed;
        };
        // Edits between characters.
        const CharRange near = clusterFrom(text, start + 40), middle = clusterFrom(text, start + c.body.size() / 2);
        const Edit edits[] = {
            {"typed near the start", near.location, 0, QStringLiteral("x")},
            {"deleted near the start", near.location, near.length, QString()},
            {"typed in the middle", middle.location, 0, QStringLiteral("我")},
            {"typed at the end of what repeats", end, 0, c.own},
            {"typed just after it", end, 0, QStringLiteral("y")},
            {"typed at the line's end", start + line.size(), 0, QStringLiteral("z")},
        };
        for (const Edit &edit : edits) {
            SCOPED_TRACE(edit.what);
            for (bool undo : {false, true}) {
                SCOPED_TRACE(undo ? "undone" : "done");
                const QStringList before = partsOf(*storage);
                const qint64 recut = storage->unitsRecut(), parsed = storage->unitsParsed();
                if (undo) {
                    ASSERT_TRUE(storage->undo());
                } else {
                    storage->replaceCharactersInRange({edit.at, edit.removed}, edit.typed);
                    EXPECT_EQ(storage->caretRange(), (CharRange{edit.at + edit.typed.size(), 0}));
                }
                const QStringList after = partsOf(*storage);
                EXPECT_LE(changedParts(before, after), 4);
                // The cuts and the styles near the edit are made again, the
                // rest not read.
                EXPECT_LE(storage->unitsRecut() - recut, 8 * lineparts::kLimit);
                EXPECT_LE(storage->unitsParsed() - parsed, 8 * lineparts::kLimit);
                const QString now = undo ? text : QString(text).replace(edit.at, edit.removed, edit.typed);
                ASSERT_TRUE(storage->textEquals(now));
                ASSERT_EQ(shownText(*storage), expectedShown(*storage));
                EXPECT_TRUE(partsAreValid(*storage, start, line.size() + now.size() - text.size()));
            }
        }
        // Two edits kept, then a fresh showing of that text.
        storage->replaceCharactersInRange({clusterFrom(text, start + c.body.size() / 3).location, 0},
                                          QStringLiteral("#"));
        storage->replaceCharactersInRange({end + 1, 0}, QStringLiteral("y"));
        storage->finishStylingAhead();
        auto fresh = styled(storage->string());
        if (c.repeats) {
            const qsizetype at = firstStyleDifference(stylesOf(*storage), stylesOf(*fresh));
            EXPECT_EQ(at, -1) << "styled differently at " << at;
        } else {
            const Shown now = shownOf(*storage), expected = shownOf(*fresh);
            EXPECT_TRUE(now == expected) << firstDifference(now, expected);
        }
    }
}

namespace {

// Whether every line of `storage` longer than a part has valid parts.
testing::AssertionResult everyLineHasValidParts(const SmartTextStorage &storage) {
    const QString text = storage.string();
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        if (end - start > lineparts::kLimit) {
            if (testing::AssertionResult valid = partsAreValid(storage, start, end - start); !valid)
                return valid << " (the line at " << start << ")";
        } else if (storage.endsInLine(storage.document()->findBlock(int(start)))) {
            return testing::AssertionFailure() << "a line of " << end - start << " units in parts";
        }
        start = end + 1;
    }
    return testing::AssertionSuccess();
}

}  // namespace

// Edits in text that repeats with a short period (base64 of zeros, a phrase
// with markup repeated): one splitting the repetition, its own character
// typed where it ends, a part's end deleted (two parts joined), a stretch
// across several parts deleted, a quarter of a megabyte pasted into it, and
// undoing and redoing those. Nothing in such text tells one place from
// another, so the showing keeps the ends of its parts there: each edit
// changes the parts near it only (and those of what it pasted), every part
// stays within its bounds and holds whole characters, and the text, the caret
// and the styles are those of a fresh showing of the same text. The parts
// themselves are not compared with the fresh showing's: that one counts the
// ends of a repetition's parts back from where the repetition ends, so it may
// cut it elsewhere; the styles are compared character by character.
TEST(LongLines, EditsInRepeatedTextKeepItsPartsAndLeaveTheStylesOfAFreshShowing) {
    const QString phrase = QStringLiteral("Repeated *emphasis*, `code` and [a link](x) here. ");
    const QString head = QStringLiteral("# Zeros and a phrase\n\n![p](data:image/png;base64,");
    const qsizetype zeros = head.size();
    QString text = head + QString(60000, QLatin1Char('A')) + QStringLiteral(") and after it.\n\n") +
                   over(phrase, 60000) + QStringLiteral("\n\nThe end.\n");
    const qsizetype phraseAt = text.indexOf(phrase);
    auto storage = styled(text);
    // A part's end in the phrase's line, past `from`.
    auto partEndAfter = [&](qsizetype from) {
        QTextBlock block = storage->document()->findBlock(int(from));
        while (!storage->endsInLine(block))
            block = block.next();
        return block.position() + block.length() - 1;
    };
    struct Step {
        const char *what;
        qsizetype at = 0, removed = 0;
        QString inserted;
        int undo = 0;  // or: 1 undo, -1 redo
    };
    const Step steps[] = {
        {"a letter typed inside the zeros", zeros + 30000, 0, QStringLiteral("x")},
        {"a zero typed where they end", zeros + 60001, 0, QStringLiteral("A")},
        {"a letter typed in the phrase", phraseAt + 30011, 0, QStringLiteral("y")},
        {"a part's end in the phrase deleted", partEndAfter(phraseAt + 20000), 1, QString()},
        {"a stretch across several parts deleted", phraseAt + 9000, 13000, QString()},
        {"a quarter of a megabyte of zeros pasted among them", zeros + 20000, 0, QString(1 << 18, QLatin1Char('A'))},
        {"the paste undone", 0, 0, {}, 1},
        {"the deletion undone", 0, 0, {}, 1},
        {"the deletion done again", 0, 0, {}, -1},
        {"the paste done again", 0, 0, {}, -1},
    };
    QHash<QString, Styles> freshStyles;
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        const QStringList before = partsOf(*storage);
        if (step.undo > 0) {
            ASSERT_TRUE(storage->undo());
        } else if (step.undo < 0) {
            ASSERT_TRUE(storage->redo());
        } else {
            storage->replaceCharactersInRange({step.at, step.removed}, step.inserted);
            text.replace(step.at, step.removed, step.inserted);
            ASSERT_TRUE(storage->textEquals(text));
            EXPECT_EQ(storage->caretRange(), (CharRange{step.at + step.inserted.size(), 0}));
        }
        storage->finishStylingAhead();
        const QStringList after = partsOf(*storage);
        // What a paste or the undo of a deletion brings is cut anew.
        EXPECT_LE(changedParts(before, after), 4 + qMax<qsizetype>(0, after.size() - before.size()));
        ASSERT_EQ(shownText(*storage), expectedShown(*storage));
        EXPECT_TRUE(everyLineHasValidParts(*storage));
        // (A text shown before, done again, is compared with what its
        // fresh showing was.)
        const QString now = storage->string();
        if (!freshStyles.contains(now))
            freshStyles.insert(now, stylesOf(*styled(now)));
        const qsizetype at = firstStyleDifference(stylesOf(*storage), freshStyles.value(now));
        EXPECT_EQ(at, -1) << "styled differently at " << at;
    }
    // Undoing the rest gives the text back.
    while (storage->undo())
        ;
    EXPECT_TRUE(storage->textEquals(head + QString(60000, QLatin1Char('A')) + QStringLiteral(") and after it.\n\n") +
                                    over(phrase, 60000) + QStringLiteral("\n\nThe end.\n")));
    EXPECT_EQ(shownText(*storage), expectedShown(*storage));
    EXPECT_TRUE(everyLineHasValidParts(*storage));
}
