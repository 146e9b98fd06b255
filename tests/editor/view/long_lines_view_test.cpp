// A line too long for Qt to hold as one block, shown in parts, in the
// editor: the caret, selections and hits where one part meets the next, the
// gutter's numbers and the character a part's end stands for, the paragraph
// commands, and the spelling, grammar and link marks of every part, whose
// pass ends.
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "editor/smart_view_support.h"
#include "editor/storage/line_parts.h"
#include "editor/view/kvx_layout_manager.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/line_numbers_ruler_view.h"
#include "editor/view/text_services.h"
#include "editor/view_test_support.h"
#include "support/qt_wait.h"

using editortest::ShownEditor;
using editortest::ShownView;

namespace {

QString proseLine(qsizetype units, const QString &sentence = QStringLiteral("Sentence %1 reads on and on. ")) {
    QString text;
    for (int i = 0; text.size() < units; i++)
        text += sentence.arg(i);
    return text;
}

// The first block of `storage` whose end stands for a character of its
// line, from block `from` on.
QTextBlock partEnding(const SmartTextStorage &storage, int from = 0) {
    for (QTextBlock block = storage.document()->findBlockByNumber(from); block.isValid(); block = block.next())
        if (storage.endsInLine(block))
            return block;
    return {};
}

// `piece` over and over, exactly, to `units` units or more.
QString over(const QString &piece, qsizetype units) {
    QString text;
    while (text.size() < units)
        text += piece;
    return text;
}

// The character (grapheme cluster) of `text` that holds the unit at `at`.
CharRange characterAround(const QString &text, qsizetype at) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(int(at + 1));
    const qsizetype start = finder.toPreviousBoundary();
    finder.setPosition(int(at));
    return {start, finder.toNextBoundary() - start};
}

}  // namespace

TEST(LongLinesInView, CaretSelectionAndHitsWhereOnePartMeetsTheNext) {
    ShownView shown;
    const QString line = proseLine(60000);
    shown.show(QStringLiteral("Intro.\n\n") + line + QStringLiteral("\n\nAfter.\n"), QSize(600, 400));
    SmartTextStorage &storage = shown.storage();
    KVXTextView &view = shown.view();
    const QTextBlock part = partEnding(storage);
    ASSERT_TRUE(part.isValid());
    const int end = part.position() + part.length() - 1;
    ASSERT_EQ(storage.partEnd(part), QLatin1Char(' '));
    view.setSelectedRange({end, 0});
    shown.settle();

    // The caret at the part's end (before the space it stands for) is at
    // the end of the part's last row; one on, at the start of the next row.
    const QRect before = view.cursorRect();
    view.setSelectedRange({end + 1, 0});
    shown.settle();
    const QRect after = view.cursorRect();
    EXPECT_GT(after.top(), before.top());
    EXPECT_LT(after.left(), before.left());
    EXPECT_TRUE(view.viewport()->rect().contains(after.center()));

    // A click there gives those positions back.
    LazyDocumentLayout *layout = storage.documentLayout();
    const QPointF offset(view.horizontalScrollBar()->value(), view.verticalScrollBar()->value());
    EXPECT_EQ(layout->hitTest(QPointF(after.center()) + offset, Qt::FuzzyHit), end + 1);
    EXPECT_EQ(layout->hitTest(QPointF(before.left() + 1, before.center().y()) + offset, Qt::FuzzyHit), end);

    // Up from the next part's first row lands on the part's last row, and
    // down comes back.
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &up);
    EXPECT_GE(view.selectedRange().location, part.position());
    EXPECT_LT(view.selectedRange().location, end + 1);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &down);
    EXPECT_EQ(view.selectedRange().location, end + 1);

    // A selection across the part's end holds the space, as copied.
    view.setSelectedRange({end - 5, 11});
    EXPECT_EQ(view.textOfRange(view.selectedRange()), storage.string().mid(end - 5, 11));
    view.copyAsPlainText();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), storage.string().mid(end - 5, 11));
    EXPECT_TRUE(storage.string().mid(end - 5, 11).contains(QLatin1Char(' ')));
}

TEST(LongLinesInView, TheGutterNumbersTheLineOnceAndThePartsCharacterIsDrawn) {
    ShownView shown([](platform::Defaults &d) { d.setBool(true, QStringLiteral("showLineNumbers")); });
    // A picture inlined as base64: no space for a part to end at.
    QString picture = QStringLiteral("![p](data:image/png;base64,");
    for (int i = 0; picture.size() < 50000; i++)
        picture += QStringLiteral("iVBORw0KGgoAAAANSUhEUg%1AAAA").arg(i % 10);
    picture += QStringLiteral(")");
    shown.show(QStringLiteral("one\n") + picture + QStringLiteral("\nthree\n"));
    SmartTextStorage &storage = shown.storage();
    ASSERT_TRUE(storage.mayHaveLineParts());
    LineNumbersRulerView *ruler = shown.view().verticalRulerView();
    ruler->updateLineInformation();
    EXPECT_EQ(ruler->linesInIndex(), 3);
    EXPECT_EQ(ruler->lineIndexForCharacterIndex(4), 1);
    const qsizetype third = storage.string().indexOf(QStringLiteral("three"));
    EXPECT_EQ(ruler->lineIndexForCharacterIndex(third), 2);
    const QTextBlock part = partEnding(storage);
    ASSERT_TRUE(part.isValid());
    EXPECT_EQ(ruler->lineIndexForCharacterIndex(part.next().position()), LineNumbersRulerView::kNotFound);

    // The character the part's end stands for is drawn at the end of its
    // last row, invisible characters shown or not.
    const QChar character = storage.partEnd(part);
    ASSERT_FALSE(lineparts::isBlank(character));
    for (bool invisibles : {false, true}) {
        const QList<InvisibleMark> marks = shown.view().layoutManager()->marksInBlock(part, invisibles);
        ASSERT_FALSE(marks.isEmpty());
        EXPECT_EQ(marks.last().position, part.position() + part.length() - 1);
        EXPECT_EQ(marks.last().glyph, character.unicode());
        EXPECT_TRUE(marks.last().character);
    }
}

TEST(LongLinesInView, SpacesAtThePartsEndsAreMarkedAsSpaces) {
    ShownView shown;
    shown.show(proseLine(40000));
    const QTextBlock part = partEnding(shown.storage());
    ASSERT_TRUE(part.isValid());
    KVXLayoutManager *marks = shown.view().layoutManager();
    EXPECT_TRUE(marks->marksInBlock(part, false).isEmpty());
    const QList<InvisibleMark> shownMarks = marks->marksInBlock(part, true);
    ASSERT_FALSE(shownMarks.isEmpty());
    EXPECT_EQ(shownMarks.last().position, part.position() + part.length() - 1);
    EXPECT_EQ(shownMarks.last().glyph, KVXLayoutManager::kSpaceMark);
    EXPECT_FALSE(shownMarks.last().character);
}

TEST(LongLinesInView, ParagraphCommandsTakeTheWholeLine) {
    ShownEditor shown;
    const QString line = proseLine(50000);
    shown.show(QStringLiteral("Intro.\n\n") + line + QStringLiteral("\n\nAfter.\n"));
    const qsizetype start = 8, end = 8 + line.size();
    const qsizetype middle = start + line.size() / 2;
    ASSERT_TRUE(shown.storage().continuesLine(shown.storage().document()->findBlock(int(middle))));
    shown.select(middle);
    shown.view().performAction(QStringLiteral("selectParagraph:"), nullptr);
    EXPECT_EQ(shown.selection(), (CharRange{start, end + 1 - start}));
    shown.select(middle);
    shown.view().performAction(QStringLiteral("moveToEndOfParagraph:"), nullptr);
    EXPECT_EQ(shown.selection(), (CharRange{end, 0}));
    shown.view().performAction(QStringLiteral("moveToBeginningOfParagraph:"), nullptr);
    EXPECT_EQ(shown.selection(), (CharRange{start, 0}));
    // Ctrl+Return ends the line wherever in it the caret is.
    shown.select(middle);
    shown.press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(shown.text().mid(end, 2), QStringLiteral("\n\n"));
    EXPECT_EQ(shown.text().left(end), QStringLiteral("Intro.\n\n") + line);
    EXPECT_TRUE(shown.inStep());
}

// Misspelt words, faulty sentences and addresses in the first, a middle
// and the last part of a long line are marked, and the pass that marks them
// ends.
TEST(LongLinesInView, EveryPartIsMarkedAndThePassEnds) {
    ShownEditor shown([](platform::Defaults &d) {
        d.setBool(true, QStringLiteral("smartLinks"));
        d.setBool(true, QStringLiteral("checkGrammar"));
    });
    const QString odd = QStringLiteral("He go to school today. See zqwordz at http://example.org/%1 now. ");
    const QString line = proseLine(9000) + odd.arg(1) + proseLine(20000) + odd.arg(2) + proseLine(9000) + odd.arg(3);
    // (A first line with a colon in it would be metadata, not prose.)
    shown.show(QStringLiteral("Intro.\n\n") + line + QStringLiteral("\n"));
    TextServices *services = shown.view().textServices();
    ASSERT_TRUE(services->checksSpelling());
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !services->isPending(); }, std::chrono::seconds(120)))
        << "the marks did not settle";
    ASSERT_GT(shown.storage().document()->blockCount(), 3);
    int words = 0, links = 0, faults = 0;
    for (const CharRange &range : services->misspellings())
        words += shown.text().mid(range.location, range.length) == QStringLiteral("zqwordz");
    for (const TextServices::Link &link : services->links())
        links += link.url.startsWith(QStringLiteral("http://example.org/"));
    for (const TextServices::GrammarFault &fault : services->grammarFaults())
        faults += fault.sentence.startsWith(QStringLiteral("He go to school"));
    EXPECT_EQ(words, 3);
    EXPECT_EQ(links, 3);
    EXPECT_GE(faults, 3);
}

// Opening a long line lays each of its parts out about once, whatever
// styles it meanwhile: a part not shown takes its styles when it is laid
// out, as it is shown or the layout's idle slices reach it. (Qt decodes a
// colour emoji's picture for its width each time a part holding it is laid
// out.)
TEST(LongLinesInView, OpeningALongLineLaysEachPartOutAboutOnce) {
    ShownView shown;
    SmartTextStorage &storage = shown.storage();
    LazyDocumentLayout *layout = storage.documentLayout();
    QString emoji;
    while (emoji.size() < 20000)
        emoji += QStringLiteral("👨‍👩‍👧‍👦👍🏽e\u0301🇫🇷 ");
    // More parts than the layout lays out at once when a change touches
    // them.
    const QString line = emoji + proseLine(340000);
    storage.setInitialText(QStringLiteral("# Title\n\n") + line + QStringLiteral("\n\nAfter.\n"));
    shown.view().resize(600, 400);
    shown.view().show();
    ASSERT_TRUE(testing_qt::spinUntil([&] {
        return !storage.isLayingIn() && !storage.isStylingAhead() && layout->isSettled();
    }, std::chrono::seconds(120)));
    ASSERT_GT(storage.document()->blockCount(), 80);
    // The parts shown first may be laid out again as the view takes its
    // final width.
    EXPECT_LE(layout->charactersLaidOut(), storage.length() + 16 * lineparts::kLimit);
}

// Where a part of a long line ends inside a character (in emoji joined by
// joiners and nothing else, at a joiner; in emoji each with a presentation
// selector, at a selector), the caret never stops inside that character,
// moved by a key, put there or clicked there, and Backspace, Delete and a
// selection across the part's end deleted remove whole characters, as in
// a line shown in one block.
TEST(LongLinesInView, TheCaretAndDeletionsTakeWholeCharactersWhereAPartEndsInsideOne) {
    for (const QString &piece : {QStringLiteral("😀\u200D😃\u200D😄"), QStringLiteral("😀\uFE0F")}) {
        SCOPED_TRACE(piece.toStdString());
        // In a line shown whole, Backspace after the character and Delete
        // before it take it whole.
        {
            ShownEditor whole;
            whole.show(QStringLiteral("a") + piece + QStringLiteral("b\n"));
            whole.select(1 + piece.size());
            whole.press(Qt::Key_Backspace);
            EXPECT_EQ(whole.text(), QStringLiteral("ab\n"));
            whole.view().performAction(QStringLiteral("undo:"), nullptr);
            whole.select(1);
            whole.press(Qt::Key_Delete);
            EXPECT_EQ(whole.text(), QStringLiteral("ab\n"));
        }
        ShownEditor shown;
        const QString text = QStringLiteral("Intro.\n\n") + over(piece, 24000) + QStringLiteral("\n");
        shown.show(text);
        SmartTextStorage &storage = shown.storage();
        const QTextBlock part = partEnding(storage);
        ASSERT_TRUE(part.isValid());
        const qsizetype end = part.position() + part.length() - 1;
        const CharRange character = characterAround(text, end);
        ASSERT_GT(character.length, 1) << "the part ends between characters";
        auto isOutside = [&](qsizetype at) { return at == character.location || at == character.end(); };

        // Right goes past the character, Left back before it, and with
        // Shift the selection holds it whole.
        shown.select(character.location);
        shown.press(Qt::Key_Right);
        EXPECT_EQ(shown.selection(), (CharRange{character.end(), 0}));
        shown.press(Qt::Key_Left);
        EXPECT_EQ(shown.selection(), (CharRange{character.location, 0}));
        shown.press(Qt::Key_Right, Qt::ShiftModifier);
        EXPECT_EQ(shown.selection(), character);
        shown.select(character.end());
        shown.press(Qt::Key_Left, Qt::ShiftModifier);
        EXPECT_EQ(shown.selection(), character);
        // A caret put inside it, or a click at the part's end, lands beside it.
        for (qsizetype inside = character.location + 1; inside < character.end(); inside++) {
            shown.select(inside);
            EXPECT_TRUE(isOutside(shown.selection().location)) << "put at " << inside;
        }
        shown.select(0);
        shown.click(end);
        EXPECT_TRUE(isOutside(shown.selection().location)) << "clicked at " << shown.selection().location;

        // Backspace at the next part's start (past the character) and
        // Delete at this part's end (before it) remove it whole.
        shown.select(character.end());
        shown.press(Qt::Key_Backspace);
        EXPECT_EQ(shown.text(), QString(text).remove(character.location, character.length));
        EXPECT_TRUE(shown.inStep());
        shown.view().performAction(QStringLiteral("undo:"), nullptr);
        ASSERT_EQ(shown.text(), text);
        shown.select(character.location);
        shown.press(Qt::Key_Delete);
        EXPECT_EQ(shown.text(), QString(text).remove(character.location, character.length));
        EXPECT_TRUE(shown.inStep());
        shown.view().performAction(QStringLiteral("undo:"), nullptr);
        ASSERT_EQ(shown.text(), text);
        // A selection from a character of this part to one of the next,
        // deleted, goes with the characters it holds.
        const CharRange across{character.location - piece.size(), character.length + 2 * piece.size()};
        shown.select(across.location, across.length);
        EXPECT_EQ(shown.selection(), across);
        shown.press(Qt::Key_Delete);
        EXPECT_EQ(shown.text(), QString(text).remove(across.location, across.length));
        EXPECT_TRUE(shown.inStep());
    }
}
