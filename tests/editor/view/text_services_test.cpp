// Misspelt words marked over Markdown and addresses shown as links, in an
// editor shown offscreen with the American English dictionary: what is
// prose and what is not, the word being typed, restyles small and large,
// ignored and learnt words, the switches, and Check Document Now.
#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QUrl>

#include <gtest/gtest.h>

#include "editor/smart_view_support.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/text_services.h"
#include "platform/files/workspace.h"
#include "platform/prefs/defaults.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/services/spelling/spell_service.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using editortest::ShownEditor;

namespace {

QStringList markedWords(ShownEditor &shown) {
    shown.view().textServices()->checkAll();
    QStringList words;
    for (const CharRange &range : shown.view().textServices()->misspellings())
        words.append(shown.text().mid(range.location, range.length));
    return words;
}

// Each construct holds a word of its own that no dictionary knows.
const char *const kMarkdown =
    "Title: Zqmetavalue\n"
    "Zqmetakey: plain\n"
    "\n"
    "# A zqheading here\n"
    "\n"
    "Some zqprose and `zqcode span` with *zqemph* and [zqlinktext](http://zqtarget.org/zqpath)\n"
    "and <http://zqauto.org> and <span class=\"zqattr\">zqinhtml</span> and $zqmath$.\n"
    "A note[^zqfootlabel], a citation[#zqcitelabel] and [zqref][zqreflabel] and {{zqfile.md}}.\n"
    "Tracked {++zqadded++} and {>>zqcomment<<} and &zqentity; too.\n"
    "Names: snake_zqcase, zqfile.md, mp3zq, e.g. and don't and colour.\n"
    "\n"
    "[^zqfootlabel]: The zqnotetext.\n"
    "[zqreflabel]: http://zqdef.org/zqdefpath \"A zqdeftitle\"\n"
    "\n"
    "```\n"
    "zqfenced code\n"
    "```\n"
    "\n"
    "    zqindented code\n"
    "\n"
    "| zqcell | two |\n"
    "|---|---|\n"
    "\n"
    "> A zqquoted line\n"
    "\n"
    "- a zqitem\n";

void clickAt(QWidget *viewport, QPoint point, Qt::KeyboardModifiers modifiers) {
    QMouseEvent press(QEvent::MouseButtonPress, point, viewport->mapToGlobal(point), Qt::LeftButton, Qt::LeftButton,
                      modifiers);
    QApplication::sendEvent(viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, point, viewport->mapToGlobal(point), Qt::LeftButton, Qt::NoButton,
                        modifiers);
    QApplication::sendEvent(viewport, &release);
}

}  // namespace

TEST(TextServices, MarksTheMisspeltWordsOfProseOnly) {
    ShownEditor shown;
    shown.show(QString::fromUtf8(kMarkdown));
    ASSERT_TRUE(shown.view().textServices()->checksSpelling());
    const QStringList expected = {
        QStringLiteral("Zqmetavalue"), QStringLiteral("zqheading"),  QStringLiteral("zqprose"),
        QStringLiteral("zqemph"),      QStringLiteral("zqlinktext"), QStringLiteral("zqinhtml"),
        QStringLiteral("zqref"),       QStringLiteral("zqadded"),    QStringLiteral("zqcomment"),
        QStringLiteral("colour"),      QStringLiteral("zqnotetext"), QStringLiteral("zqdeftitle"),
        QStringLiteral("zqcell"),      QStringLiteral("zqquoted"),   QStringLiteral("zqitem"),
    };
    EXPECT_EQ(markedWords(shown), expected);

    // The marks are the storage's overlays: its own style runs are as they
    // were, and no edit was made.
    EXPECT_TRUE(shown.inStep());
    EXPECT_FALSE(shown.storage().canUndo());
    const qsizetype prose = shown.text().indexOf(QStringLiteral("zqprose"));
    const QTextBlock block = shown.storage().document()->findBlock(int(prose));
    const QList<QTextLayout::FormatRange> overlays = shown.storage().overlayFormats(block);
    ASSERT_FALSE(overlays.isEmpty());
    EXPECT_EQ(overlays.first().format.underlineStyle(), QTextCharFormat::SpellCheckUnderline);
    EXPECT_EQ(overlays.first().format.underlineColor(), QColor(Qt::red));
    EXPECT_EQ(block.layout()->formats().size(), shown.storage().runs(block).size() + overlays.size());

    // New formats drop a block's lines: marks set outside an edit (in an
    // idle slice) must still have the layout lay the block out again, or
    // the view finds no lines there.
    shown.view().textServices()->ignoreWord(QStringLiteral("colour"));
    shown.view().textServices()->checkAll();
    const qsizetype names = shown.text().indexOf(QStringLiteral("Names:"));
    const QTextBlock changed = shown.storage().document()->findBlock(int(names));
    EXPECT_TRUE(shown.storage().overlayFormats(changed).isEmpty());
    shown.storage().documentLayout()->blockBoundingRect(changed);
    EXPECT_GT(changed.layout()->lineCount(), 0);
    EXPECT_GT(shown.view().offsetRectForLocation({names, 6}).width(), 0);
    EXPECT_EQ(shown.view().textServices()->misspellingAt(prose + 3), (CharRange{prose, 7}));
    EXPECT_EQ(shown.view().textServices()->misspellingAt(prose + 7), (CharRange{prose, 7}));
    EXPECT_FALSE(shown.view().textServices()->misspellingAt(prose - 1));
}

TEST(TextServices, TheWordBeingTypedIsMarkedOnceItEnds) {
    ShownEditor shown;
    shown.show(QStringLiteral("Start here.\n"));
    shown.select(10);
    shown.type(QStringLiteral(" zqtyped"));
    EXPECT_TRUE(markedWords(shown).isEmpty());
    shown.type(QStringLiteral(" "));
    EXPECT_EQ(markedWords(shown), QStringList{QStringLiteral("zqtyped")});

    // Going back into it and leaving it without a word's end marks it too.
    shown.type(QStringLiteral("zqagain"));
    EXPECT_EQ(markedWords(shown), QStringList{QStringLiteral("zqtyped")});
    shown.select(0);
    testing_qt::spinFor(std::chrono::milliseconds(20));
    EXPECT_EQ(markedWords(shown), (QStringList{QStringLiteral("zqtyped"), QStringLiteral("zqagain")}));

    // An edit that makes a word right takes its mark away at once.
    const qsizetype at = shown.text().indexOf(QStringLiteral("zqagain"));
    shown.storage().replaceCharactersInRange({at, 7}, QStringLiteral("again"));
    EXPECT_EQ(shown.view().textServices()->misspellings().size(), 1);
}

TEST(TextServices, ALargeRestyleIsMarkedInIdleSlicesScreenFirst) {
    ShownEditor shown;
    QString text;
    for (int i = 0; i < 3000; i++)
        text += QStringLiteral("Line %1 has a zqword in it.\n\n").arg(i);
    shown.show(text, QSize(600, 300));
    TextServices *services = shown.view().textServices();
    services->checkAll();
    EXPECT_EQ(services->misspellings().size(), 3000);

    // A fence opened at the top makes everything after it code: the
    // restyle is too large to mark at once.
    shown.storage().replaceCharactersInRange({0, 0}, QStringLiteral("```\n"));
    EXPECT_TRUE(services->isPending());
    testing_qt::spinFor(std::chrono::milliseconds(5));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !services->isPending(); }, std::chrono::seconds(10)));
    EXPECT_TRUE(services->misspellings().isEmpty());

    // Closing it again; the screen's blocks come first.
    shown.storage().replaceCharactersInRange({0, 4}, QString());
    EXPECT_TRUE(services->isPending());
    QCoreApplication::processEvents();
    const int top = shown.view().verticalScrollBar()->value();
    const QTextBlock last = shown.view().blockAtDocumentY(top + shown.view().viewport()->height());
    int shownLines = 0;
    for (QTextBlock b = shown.view().blockAtDocumentY(top); b.isValid() && b.blockNumber() <= last.blockNumber();
         b = b.next()) {
        if (b.text().isEmpty())
            continue;
        shownLines++;
        EXPECT_FALSE(shown.storage().overlayFormats(b).isEmpty()) << b.text().toStdString();
    }
    EXPECT_GT(shownLines, 3);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !services->isPending(); }, std::chrono::seconds(10)));
    EXPECT_EQ(services->misspellings().size(), 3000);
}

// A paragraph (or a list) of more lines than a large restyle: an edit in
// it restyles all its lines, and only the lines whose styles it changed are
// marked again, at once; the others keep their marks.
TEST(TextServices, AnEditInALongParagraphMarksOnlyTheLinesItChanged) {
    ShownEditor shown;
    QString text = QStringLiteral("Intro.\n\n");
    for (int i = 0; i < 300; i++)
        text += QStringLiteral("Line %1 has a zqword in it.\n").arg(i);
    shown.show(text, QSize(600, 300));
    TextServices *services = shown.view().textServices();
    services->checkAll();
    ASSERT_EQ(services->misspellings().size(), 300);

    const qsizetype at = shown.text().indexOf(QStringLiteral(" in it.\nLine 151 "));
    shown.storage().replaceCharactersInRange({at, 0}, QStringLiteral(" zqmore"));
    EXPECT_FALSE(services->isPending());
    EXPECT_EQ(services->misspellings().size(), 301);
    shown.storage().replaceCharactersInRange({at, 7}, QString());
    EXPECT_FALSE(services->isPending());
    EXPECT_EQ(services->misspellings().size(), 300);
}

// A large text is styled from its start in idle slices, and marked in idle
// slices screen first: a line marked before it is styled gets its marks
// again once it is.
TEST(TextServices, ALargeTextStyledAheadEndsWithEveryMark) {
    ShownEditor shown;
    QString text;
    for (int i = 0; i < 12000; i++)
        text += QStringLiteral("Line %1 has a zqword in it.\n\n").arg(i);
    ASSERT_GT(text.size(), SmartTextStorage::kStyleAheadBytes);
    shown.show(text, QSize(600, 300));
    TextServices *services = shown.view().textServices();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !shown.storage().isStylingAhead() && !services->isPending(); },
                                      std::chrono::seconds(60)));
    EXPECT_EQ(services->misspellings().size(), 12000);
}

// A window may drop the text storage before the editor views that show it.
TEST(TextServices, AViewOutlivingItsStorageGoesCleanly) {
    platform::ScopedStandardDefaults scoped;
    auto storage = std::make_unique<SmartTextStorage>(scoped.defaults());
    auto view = std::make_unique<SmartTextView>(storage.get(), &scoped.defaults());
    storage->setInitialText(QStringLiteral("Some zqword here.\n"));
    view->textServices()->checkAll();
    ASSERT_EQ(view->textServices()->misspellings().size(), 1);
    storage.reset();
    testing_qt::spinFor(std::chrono::milliseconds(10));
    view.reset();
}

TEST(TextServices, IgnoredWordsStayInTheirDocumentLearntWordsEverywhere) {
    ShownEditor first;
    ShownEditor second;
    first.show(QStringLiteral("A zqignored and a zqlearnt word.\n"));
    second.show(QStringLiteral("Another zqignored and zqlearnt.\n"));
    first.view().textServices()->ignoreWord(QStringLiteral("zqignored"));
    EXPECT_EQ(markedWords(first), QStringList{QStringLiteral("zqlearnt")});
    EXPECT_EQ(markedWords(second), (QStringList{QStringLiteral("zqignored"), QStringLiteral("zqlearnt")}));

    platform::SpellService &spelling = *first.view().textServices()->spelling();
    EXPECT_TRUE(spelling.learnWord(QStringLiteral("zqlearnt")));
    EXPECT_TRUE(markedWords(first).isEmpty());
    EXPECT_EQ(markedWords(second), QStringList{QStringLiteral("zqignored")});
}

TEST(TextServices, SwitchingCheckingOffTakesTheMarksAway) {
    ShownEditor shown;
    shown.show(QStringLiteral("A zqswitched word.\n"));
    EXPECT_EQ(markedWords(shown).size(), 1);
    shown.defaults().setBool(false, QStringLiteral("checkSpelling"));
    EXPECT_FALSE(shown.view().textServices()->checksSpelling());
    EXPECT_TRUE(markedWords(shown).isEmpty());
    const QTextBlock block = shown.storage().document()->firstBlock();
    EXPECT_TRUE(shown.storage().overlayFormats(block).isEmpty());
    shown.type(QStringLiteral("zqmore "));
    EXPECT_TRUE(markedWords(shown).isEmpty());
    shown.defaults().setBool(true, QStringLiteral("checkSpelling"));
    EXPECT_EQ(markedWords(shown).size(), 2);

    // Check Document Now finds words whether marks show or not.
    shown.defaults().setBool(false, QStringLiteral("checkSpelling"));
    shown.select(0);
    shown.view().checkSpelling();
    EXPECT_EQ(shown.view().textOfRange(shown.selection()), QStringLiteral("zqmore"));
    shown.view().checkSpelling();
    EXPECT_EQ(shown.view().textOfRange(shown.selection()), QStringLiteral("zqswitched"));
    // Round the text to the first one again.
    shown.view().checkSpelling();
    EXPECT_EQ(shown.view().textOfRange(shown.selection()), QStringLiteral("zqmore"));
}

TEST(TextServices, CheckDocumentNowSkipsWhatIsNotProse) {
    ShownEditor shown;
    shown.show(QStringLiteral("`zqcode` [a](http://zqurl.org) fine\n\n```\nzqfence\n```\n\nthen zqfound\n"));
    shown.view().checkSpelling();
    EXPECT_EQ(shown.view().textOfRange(shown.selection()), QStringLiteral("zqfound"));
}

TEST(TextServices, AddressesShowAsLinksThatCtrlClickOpens) {
    ShownEditor shown([](platform::Defaults &d) { d.setBool(true, QStringLiteral("smartLinks")); });
    shown.show(QStringLiteral("See www.example.com, (https://example.org/a_(b)) or mail me@example.net.\n"
                              "Not `http://code.example.com` nor\n\n    http://indented.example.com\n\n"
                              "[text](http://target.example.com) and <mailto:x@example.com>\n"));
    TextServices *services = shown.view().textServices();
    services->checkAll();
    QStringList urls;
    for (const TextServices::Link &link : services->links())
        urls.append(link.url);
    EXPECT_EQ(urls, (QStringList{QStringLiteral("http://www.example.com"), QStringLiteral("https://example.org/a_(b)"),
                                 QStringLiteral("mailto:me@example.net"), QStringLiteral("http://target.example.com"),
                                 QStringLiteral("mailto:x@example.com")}));
    const TextServices::Link first = services->links().first();
    EXPECT_EQ(shown.view().textOfRange(first.range), QStringLiteral("www.example.com"));

    QList<QUrl> opened;
    platform::Workspace::setOpenerForTesting([&opened](const QUrl &url) {
        opened.append(url);
        return true;
    });
    const QPoint inside = shown.pointAt(first.range.location + 4);
    clickAt(shown.view().viewport(), inside, Qt::ControlModifier);
    // A plain click only places the caret.
    clickAt(shown.view().viewport(), inside, Qt::NoModifier);
    platform::Workspace::setOpenerForTesting({});
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QStringLiteral("http://www.example.com"))});

    shown.defaults().setBool(false, QStringLiteral("smartLinks"));
    services->checkAll();
    EXPECT_TRUE(services->links().isEmpty());
}

namespace {

// Everything that works over the text while the program idles has stopped:
// the text is all laid in and styled, every height is exact, and no block
// waits for its marks.
bool backgroundIsDone(ShownEditor &shown) {
    return !shown.storage().isStylingAhead() && shown.storage().documentLayout()->isExact() &&
           !shown.view().textServices()->isPending();
}

// Paragraphs of a few short lines each; `lines` lines in all.
QString paragraphLines(int lines) {
    QString text;
    text.reserve(lines * 16);
    for (int i = 0; i < lines; i++)
        text += i % 4 == 3 ? QStringLiteral("\n") : QStringLiteral("A fine line %1.\n").arg(i);
    return text;
}

}  // namespace

// A document of many more blocks than a slice can look at: the pass goes on
// from slice to slice, looks at each block about once, and ends, with every
// misspelt word marked, from the first line to the last.
TEST(TextServices, APassOverAHugeDocumentEndsWithEveryMark) {
    ShownEditor shown;
    QString text = QStringLiteral("Zqfirst line.\n") + paragraphLines(100000) + QStringLiteral("A zqmiddle line.\n") +
                   paragraphLines(100000) + QStringLiteral("The zqlast line.");
    shown.show(text, QSize(600, 300));
    TextServices *services = shown.view().textServices();
    ASSERT_TRUE(services->checksSpelling());
    ASSERT_TRUE(testing_qt::spinUntil([&] { return backgroundIsDone(shown); }, std::chrono::minutes(5)))
        << "still working after five minutes: " << services->pass().counts().slices << " slices";
    const int blocks = shown.storage().document()->blockCount();
    EXPECT_GE(blocks, 200000);
    EXPECT_LE(services->pass().counts().blocks, qint64(blocks) * 2);

    // Idle now: no slice runs any more.
    const qint64 slices = services->pass().counts().slices;
    for (int i = 0; i < 20; i++)
        QCoreApplication::processEvents();
    EXPECT_EQ(services->pass().counts().slices, slices);

    QStringList words;
    for (const CharRange &range : services->misspellings())
        words.append(shown.text().mid(range.location, range.length));
    EXPECT_EQ(words, (QStringList{QStringLiteral("Zqfirst"), QStringLiteral("zqmiddle"), QStringLiteral("zqlast")}));
}

// An edit while a pass over the whole text is under way (one that a word
// ignored started), behind where it has got to: the lines it restyled are
// marked too, and the pass goes on where it was instead of from the edit,
// so that each block is still looked at about once.
TEST(TextServices, AnEditDuringAPassIsCoveredWithoutStartingItAgain) {
    ShownEditor shown;
    const int lines = 60000;
    shown.show(QStringLiteral("Zqfirst line.\n") + paragraphLines(lines / 2) + QStringLiteral("A zqmiddle line.\n") +
                   paragraphLines(lines / 2) + QStringLiteral("The zqlast line."),
               QSize(600, 300));
    TextServices *services = shown.view().textServices();
    const BlockPass &pass = services->pass();
    QTextDocument *document = shown.storage().document();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return backgroundIsDone(shown); }, std::chrono::minutes(2)));

    const qint64 before = pass.counts().blocks;
    services->ignoreWord(QStringLiteral("zqunused"));
    const QTextBlock middle = document->findBlockByNumber(lines / 2);
    ASSERT_TRUE(pass.isWaiting(middle));
    ASSERT_TRUE(
        testing_qt::spinUntil([&] { return !pass.isWaiting(middle) || !pass.isPending(); }, std::chrono::minutes(2)));
    ASSERT_TRUE(pass.isPending()) << "the pass ended before the edit";

    QString pasted;
    for (int i = 0; i < 200; i++)
        pasted += QStringLiteral("A zqpasted line.\n");
    const qsizetype at = document->findBlockByNumber(lines / 4).position();
    shown.storage().replaceCharactersInRange({at, 0}, pasted);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return backgroundIsDone(shown); }, std::chrono::minutes(2)));

    QStringList expected{QStringLiteral("Zqfirst")};
    for (int i = 0; i < 200; i++)
        expected.append(QStringLiteral("zqpasted"));
    expected += {QStringLiteral("zqmiddle"), QStringLiteral("zqlast")};
    QStringList words;
    for (const CharRange &range : services->misspellings())
        words.append(shown.text().mid(range.location, range.length));
    EXPECT_EQ(words, expected);
    // Going back to the edit and on from there would look at a quarter of
    // the blocks again.
    EXPECT_LE(pass.counts().blocks - before, document->blockCount() + 1000);
}
