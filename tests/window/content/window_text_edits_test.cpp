// The text side of the window's commands: what each replaces, with what, and
// the selection afterwards; comments and their stamps; the ranges of the
// clean-ups. Selections past the text are clamped, never followed.
#include <gtest/gtest.h>

#include "platform/prefs/registered_defaults.h"
#include "window/content/window_text_edits.h"

using namespace windowedits;

namespace {

// The text after an edit.
QString applied(const QString &text, const TextEdit &edit) {
    QString result = text;
    result.replace(edit.range.location, edit.range.length, edit.text);
    return result;
}

std::tm fixedTime() {
    std::tm time{};
    time.tm_year = 2024 - 1900;
    time.tm_mon = 2;
    time.tm_mday = 9;
    time.tm_hour = 14;
    time.tm_min = 5;
    return time;
}

}  // namespace

TEST(CriticComments, StampIsEmptyUnlessTheFormatMakesSomething) {
    const std::tm time = fixedTime();
    EXPECT_EQ(criticStamp("%Y-%m-%d", time), " - 2024-03-09");
    EXPECT_EQ(criticStamp("", time), "");
    // A single blank would leave " -  " after the author.
    EXPECT_EQ(criticStamp(" ", time), "");
    // Longer than strftime's buffer: it reports nothing and leaves the buffer
    // undefined, which must not leak into the stamp.
    EXPECT_EQ(criticStamp(QString("%Y").repeated(600), time), "");
    // Text of the format itself is kept, accents included.
    EXPECT_EQ(criticStamp("été %H:%M", time), " - été 14:05");
}

TEST(CriticComments, CommentCarriesTheAuthorAndStampOnlyWhenAsked) {
    const std::tm time = fixedTime();
    EXPECT_EQ(criticMarkupComment(false, "Ann", "%Y", time), "{>><<}");
    EXPECT_EQ(criticMarkupComment(true, "Ann", "", time), "{>>Ann<<}");
    EXPECT_EQ(criticMarkupComment(true, "Ann", "%Y", time), "{>>Ann - 2024<<}");
    EXPECT_EQ(criticMarkupComment(true, "", "", time), "{>><<}");

    platform::ScopedStandardDefaults scoped;
    scoped.defaults().setBool(true, "markupInsertStamp");
    scoped.defaults().setObject(QStringLiteral("Zoë"), "markupComment");
    scoped.defaults().setObject(QString(), "markupDateFormat");
    EXPECT_EQ(criticMarkupCommentDefault(scoped.defaults()), "{>>Zoë<<}");
    scoped.defaults().setBool(false, "markupInsertStamp");
    EXPECT_EQ(criticMarkupCommentDefault(scoped.defaults()), "{>><<}");
}

TEST(CriticComments, WrappersKeepTheSelectedTextSelectedInsideTheMarks) {
    const QString text = "A café here.";
    const CharRange word{2, 4};  // "café"

    const TextEdit highlight = wrapInCriticHighlight(text, word, "{>>Ann<<}");
    EXPECT_EQ(applied(text, highlight), "A {==café==}{>>Ann<<} here.");
    EXPECT_EQ(highlight.selection, (CharRange{5, 4}));

    const TextEdit bare = wrapInCriticComment(text, word, "{>><<}");
    EXPECT_EQ(applied(text, bare), "A {>>café<<} here.");
    EXPECT_EQ(bare.selection, (CharRange{5, 4}));

    const TextEdit stamped = wrapInCriticComment(text, word, "{>>Ann - 2024<<}");
    EXPECT_EQ(applied(text, stamped), "A {>>café Ann - 2024<<} here.");
    EXPECT_EQ(stamped.selection, (CharRange{5, 4}));

    // An empty selection makes an empty mark at the caret.
    EXPECT_EQ(applied(text, wrapInCriticHighlight(text, {1, 0}, "{>><<}")), "A{====}{>><<} café here.");
    // A selection past the end is clamped to the text.
    const TextEdit past = wrapInCriticComment(text, {8, 50}, "{>><<}");
    EXPECT_EQ(past.range, (CharRange{8, 4}));
    EXPECT_EQ(applied(text, past), "A café h{>>ere.<<}");
    EXPECT_EQ(wrapInCriticComment(text, {-5, 2}, "{>><<}").range, (CharRange{0, 2}));
}

TEST(Blocks, TableOfContentsMarkerReplacesTheSelection) {
    EXPECT_EQ(applied("ab\ncd", insertTOC("ab\ncd", {1, 3})), "a{{TOC}}d");
    EXPECT_EQ(insertTOC("ab", {7, 1}).range, (CharRange{2, 0}));
}

TEST(Blocks, FencesTakeTheCaretsLineAndEndWithOneNewlineBeforeTheClosingFence) {
    const QString text = "intro\ncode line\nafter\n";
    const TextEdit fence = makeBlock(text, {8, 0}, 4);
    EXPECT_EQ(applied(text, fence), "intro\n```\ncode line\n```\n\nafter\n");
    EXPECT_EQ(fence.selection, (CharRange{6, 19}));
    EXPECT_FALSE(fence.renumberLists);
    // The last line has no newline: one is added before the closing fence.
    EXPECT_EQ(applied("one\ntwo", makeBlock("one\ntwo", {5, 0}, 4)), "one\n```\ntwo\n```\n\n");
    // Markers go first: a quoted heading becomes plain code.
    EXPECT_EQ(applied("> # Title\n", makeBlock("> # Title\n", {0, 0}, 4)), "```\nTitle\n```\n\n");
}

TEST(Blocks, ListsAndQuotesRewriteTheWholeTextWithoutASelectionAndTheSelectedLinesWithOne) {
    const QString text = "# Heading\none\n\n> two\n- three\n";
    const TextEdit bullets = makeBlock(text, {3, 0}, 2);
    EXPECT_EQ(applied(text, bullets), "* Heading\n* one\n\n* two\n* three\n");
    EXPECT_EQ(bullets.range, (CharRange{0, text.size()}));
    EXPECT_EQ(bullets.selection, (CharRange{0, bullets.text.size()}));
    EXPECT_TRUE(bullets.renumberLists);

    // A selection inside two lines takes both lines whole.
    const TextEdit quote = makeBlock(text, {12, 6}, 1);
    EXPECT_EQ(quote.range, (CharRange{10, 11}));
    EXPECT_EQ(applied(text, quote), "# Heading\n> one\n> \n> two\n- three\n");
    EXPECT_FALSE(quote.renumberLists);

    const TextEdit numbers = makeBlock(text, {22, 3}, 3);
    EXPECT_EQ(applied(text, numbers), "# Heading\none\n\n> two\n1. three\n");
    EXPECT_TRUE(numbers.renumberLists);

    EXPECT_EQ(applied(text, makeBlock(text, {0, 0}, 0)), "Heading\none\n\ntwo\nthree\n");
    // Other types strip the selection exactly.
    EXPECT_EQ(applied(text, makeBlock(text, {15, 5}, 9)), "# Heading\none\n\ntwo\n- three\n");
    // A selection far past the end is clamped: the last line.
    EXPECT_EQ(makeBlock("a\nb", {40, 2}, 4).range, (CharRange{2, 1}));
}

TEST(Paste, PastedTextTakesTheFormAndTheChosenBullet) {
    platform::ScopedStandardDefaults scoped;
    const QString text = "before after";
    const QString pasted = "milk\neggs";

    scoped.defaults().setInteger(1, "tzrListMarker");
    const TextEdit bullets = pasteAs(text, {7, 0}, PasteForm::BulletedList, pasted);
    EXPECT_EQ(applied(text, bullets), "before + milk\n+ eggsafter");
    EXPECT_TRUE(bullets.renumberLists);
    EXPECT_EQ(bullets.selection, std::nullopt);
    scoped.defaults().setInteger(7, "tzrListMarker");
    EXPECT_EQ(pasteAs(text, {7, 0}, PasteForm::BulletedList, pasted).text, "* milk\n* eggs");

    EXPECT_EQ(pasteAs(text, {0, 6}, PasteForm::EnumeratedList, pasted).text, "1. milk\n1. eggs");
    EXPECT_EQ(pasteAs(text, {0, 6}, PasteForm::Blockquote, pasted).text, "> milk\n> eggs");
    scoped.defaults().setBool(false, "useTabsInTables");
    EXPECT_EQ(pasteAs(text, {0, 0}, PasteForm::TableRows, "a,b\nc,d\n").text, "| a\t| b\t|  \n| c\t| d\t|  \n");
    EXPECT_EQ(pasteAs(text, {0, 0}, PasteForm::Table, "a,b\nc,d\n").text, "| a | b | \n| - | - | \n| c | d | \n");

    // An empty pasteboard pastes nothing in place of the selection.
    const TextEdit empty = pasteAs(text, {0, 7}, PasteForm::Blockquote, QString());
    EXPECT_EQ(applied(text, empty), "after");
}

TEST(Cleanups, RangesFollowTheCommandsRules) {
    EXPECT_EQ(cleanupRangeForCommand(2, {5, 0}, 40), (CharRange{0, 40}));
    EXPECT_EQ(cleanupRangeForCommand(3, {5, 0}, 40), (CharRange{0, 40}));
    EXPECT_EQ(cleanupRangeForCommand(3, {5, 2}, 40), (CharRange{5, 2}));
    EXPECT_EQ(cleanupRangeForCommand(4, {5, 2}, 40), (CharRange{0, 0}));
    EXPECT_EQ(cleanupRangeForCommand(0, {5, 0}, 40), (CharRange{5, 0}));
}

TEST(Cleanups, CleanUpsWorkOnWholeLinesInUnitsAfterMultibyteText) {
    // "😀" is two units and four bytes: ranges before the list must not
    // shift it.
    const QString text = "😀 café\n\n3. a\n7. b\n\nBetween.\n\n9. x\n8. y\n";
    const QByteArray utf8 = text.toUtf8();
    const qsizetype caret = text.indexOf("7. b") + 1;
    const std::optional<TextEdit> renumber = cleanup(utf8, text.size(), {caret, 0}, 0, 0, 0, 0);
    ASSERT_TRUE(renumber);
    EXPECT_EQ(applied(text, *renumber), "😀 café\n\n1. a\n2. b\n\nBetween.\n\n9. x\n8. y\n");

    // Entities over the whole text, the range reported in units.
    const QString quoted = "😀 &#8220;hi&#8221;\n";
    const std::optional<TextEdit> entities =
        cleanup(quoted.toUtf8(), quoted.size(), cleanupRangeForCommand(2, {0, 0}, quoted.size()), 2, 0, 0, 0);
    ASSERT_TRUE(entities);
    EXPECT_EQ(applied(quoted, *entities), "😀 \"hi\"\n");

    // Markers of the chosen kind.
    const QString list = "* a\n* b\n";
    const std::optional<TextEdit> numbered = cleanup(list.toUtf8(), list.size(), {0, 0}, 7, 0, 0, 1);
    ASSERT_TRUE(numbered);
    const QString asNumbers = applied(list, *numbered);
    EXPECT_EQ(asNumbers, "1. a\n2. b\n");
    const std::optional<TextEdit> bullets = cleanup(asNumbers.toUtf8(), asNumbers.size(), {0, 0}, 7, 0, 0, 1);
    ASSERT_TRUE(bullets);
    EXPECT_EQ(applied(asNumbers, *bullets), "+ a\n+ b\n");
}

TEST(Cleanups, UnknownTypesAndNothingToDoChangeNothingAndStaleRangesAreClamped) {
    const QString text = "plain words\n";
    EXPECT_FALSE(cleanup(text.toUtf8(), text.size(), {0, 0}, 10, 0, 0, 0));
    EXPECT_FALSE(cleanup(text.toUtf8(), text.size(), {0, 0}, -1, 0, 0, 0));
    EXPECT_FALSE(cleanup(QByteArray(), 0, {0, 0}, 6, 0, 0, 0));
    // A range past the end stands for the last line.
    const QString list = "3. a\n7. b";
    const std::optional<TextEdit> stale = cleanup(list.toUtf8(), list.size(), {500, 20}, 0, 0, 0, 0);
    ASSERT_TRUE(stale);
    EXPECT_EQ(applied(list, *stale), "1. a\n2. b");
}

TEST(Renumbering, ListsAreRenumberedInTheSameEditWhichGrowsOverTheWholeListAndKeepsTheNewTextSelected) {
    // The new items continue a list above them: the edit takes in its
    // lines, numbers that grow a digit included.
    QString text = "Items:\n\n";
    for (int n = 1; n <= 8; n++)
        text += QString("%1. old\n").arg(n);
    text += "\nnew a\nnew b\n";
    const qsizetype start = text.indexOf("new a");
    const TextEdit made = makeBlock(text, {start + 1, 8}, 3);
    const TextEdit edit = withListsRenumbered(text, made, 0, 0);
    EXPECT_TRUE(edit.differencesOnly);
    EXPECT_FALSE(edit.renumberLists);
    const QString result = applied(text, edit);
    EXPECT_TRUE(result.endsWith("8. old\n\n9. new a\n10. new b\n")) << result.toStdString();
    EXPECT_TRUE(result.startsWith("Items:\n\n1. old\n"));
    ASSERT_TRUE(edit.selection);
    EXPECT_EQ(result.mid(edit.selection->location, edit.selection->length), "9. new a\n10. new b\n");

    // Pasted items: the caret goes after them.
    const QString pastedInto = "1. first\n";
    const TextEdit pasted =
        withListsRenumbered(pastedInto, pasteAs(pastedInto, {9, 0}, PasteForm::EnumeratedList, "b\nc"), 0, 0);
    EXPECT_EQ(applied(pastedInto, pasted), "1. first\n2. b\n3. c");
    EXPECT_EQ(pasted.selection, (CharRange{pasted.text.size() + pasted.range.location, 0}));

    // Nothing to renumber: the edit as it was, to be applied as made.
    const TextEdit bullets = makeBlock("a\nb\n", {0, 0}, 2);
    const TextEdit same = withListsRenumbered("a\nb\n", bullets, 0, 0);
    EXPECT_FALSE(same.differencesOnly);
    EXPECT_EQ(applied("a\nb\n", same), "* a\n* b\n");
    const TextEdit quote = makeBlock("a\n", {0, 0}, 1);
    EXPECT_EQ(withListsRenumbered("a\n", quote, 0, 0), quote);
}
