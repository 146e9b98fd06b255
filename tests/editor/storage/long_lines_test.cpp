// Lines too long for Qt to hold as one block, shown in parts: what the parts
// stand for, that edits anywhere in such a line (at its start, in its middle,
// at its end, across the end of a part) leave the parts and the styles a
// fresh showing of the same text has, and that a keystroke in such a line
// lays out and parses about a part whatever the line's length.
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

std::unique_ptr<SmartTextStorage> styled(const QString &text) {
    auto storage = std::make_unique<SmartTextStorage>();
    storage->applyThemeFromPath(editortest::themePath());
    storage->setInitialText(text);
    storage->finishLayingIn();
    storage->finishStylingAhead();
    return storage;
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

// `piece` over and over, exactly, to `units` units or more.
QString over(const QString &piece, qsizetype units) {
    QString text;
    while (text.size() < units)
        text += piece;
    return text;
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

namespace {

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
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, line);
    finder.setPosition(int(cut));
    const bool before = finder.isAtBoundary();
    finder.setPosition(int(cut + 1));
    return before && finder.isAtBoundary();
}

}  // namespace

// Lines of any content: an edit near a line's start, inside what the line
// repeats, changes a few of its parts, not every part after it, and every
// part stays within its bounds and holds whole characters.
TEST(LongLines, AnEditChangesOnlyThePartsNearItWhateverTheLineHolds) {
    struct Case {
        const char *what;
        QString line;
    };
    const Case cases[] = {
        {"a phrase of CJK prose repeated", over(QStringLiteral("我们今天去公园散步，天气很好。"), 300000)},
        {"zeros inlined as base64",
         QStringLiteral("![p](data:image/png;base64,") + QString(300000, QLatin1Char('A')) + QStringLiteral(")")},
        {"an emoji sequence repeated",
         over(QStringLiteral("👨‍👩‍👧‍👦👍🏽✋🏿e\u0301🏳️‍🌈"), 300000)},
        {"random CJK prose", randomCjk(300000, 4)},
        {"base64 of random bytes", base64Like(300000, 6)},
        {"text with spaces", prose(300000)},
        {"a stretch longer than a part repeated", over(base64Like(6000, 8), 300000)},
        {"a stretch of a few hundred units repeated", over(base64Like(700, 10), 300000)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString &typed : {QStringLiteral("x"), QStringLiteral("我"), QString()}) {
            SCOPED_TRACE(typed.isEmpty() ? "deleted" : "typed");
            auto storage = styled(QStringLiteral("Before.\n\n") + c.line + QStringLiteral("\n\nAfter.\n"));
            const QStringList before = partsOf(*storage);
            ASSERT_GT(before.size(), 40);
            const qsizetype at = 9 + 40;
            storage->replaceCharactersInRange({at, typed.isEmpty() ? 1 : 0}, typed);
            const QStringList after = partsOf(*storage);
            EXPECT_LE(changedParts(before, after), 4);
            const QString line = storage->string().mid(9, c.line.size() + (typed.isEmpty() ? -1 : typed.size()));
            qsizetype offset = 0;
            for (QTextBlock block = storage->document()->findBlock(9); storage->endsInLine(block) ; block = block.next()) {
                const qsizetype size = block.length() - 1;
                EXPECT_GE(size, lineparts::kMin);
                EXPECT_LE(size, lineparts::kLimit);
                offset += size;
                ASSERT_TRUE(endsBetweenCharacters(line, offset)) << "a part ends at unit " << offset;
                offset++;
            }
            EXPECT_GE(line.size() - offset, lineparts::kMin);
            auto fresh = styled(storage->string());
            EXPECT_EQ(partsOf(*fresh), after);
        }
    }
}
