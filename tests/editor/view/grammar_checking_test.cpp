// Faulty sentences marked over Markdown in an editor shown offscreen, with
// the English Link Grammar dictionary: which sentences are marked and where,
// what is never marked, the sentence being typed, verdicts coming from the
// grammar service's thread, the switch, the context menu, the spelling and
// grammar panel, and a language without a dictionary.
#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

#include "editor/input/spelling_panels.h"
#include "editor/smart_view_support.h"
#include "editor/view/grammar_marks.h"
#include "editor/view/text_services.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/alerts.h"
#include "platform/services/grammar/grammar_service.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using editortest::ShownEditor;

namespace {

void grammarOn(platform::Defaults &d) { d.setBool(true, QStringLiteral("checkGrammar")); }

// Marks every block, and waits for the verdicts of the grammar service's
// thread where checkAll() does not judge them itself.
void settleMarks(ShownEditor &shown) {
    TextServices *services = shown.view().textServices();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !services->isPending(); }, std::chrono::seconds(60)))
        << "the marks did not settle";
}

// What each grammar mark underlines, one a line.
QString marked(ShownEditor &shown) {
    QStringList found;
    for (const TextServices::GrammarFault &fault : shown.view().textServices()->grammarFaults())
        found.append(shown.view().textOfRange(fault.range));
    return found.join(QLatin1Char('\n'));
}

// The sentences marked (each once, in order), one a line.
QString markedSentences(ShownEditor &shown) {
    QStringList found;
    for (const TextServices::GrammarFault &fault : shown.view().textServices()->grammarFaults())
        if (!found.contains(fault.sentence))
            found.append(fault.sentence);
    return found.join(QLatin1Char('\n'));
}

QStringList titles(const QList<QAction *> &items) {
    QStringList list;
    for (QAction *item : items)
        list.append(item->isSeparator() ? QStringLiteral("-") : item->text());
    return list;
}

}  // namespace

TEST(GrammarChecking, TheFaultySentencesAreMarkedAndTheirCorrectionsNot) {
    ShownEditor shown(grammarOn);
    shown.show(QStringLiteral("He go to school yesterday. He went to school yesterday.\n\n"
                              "The cats sits on the mat. The cat sits on the\nmat.\n\n"
                              "- I has a apple.\n- I have an apple.\n\n"
                              "> This are good ideas.\n> These are good ideas.\n"));
    TextServices *services = shown.view().textServices();
    ASSERT_TRUE(services->checksGrammar());
    services->checkAll();
    EXPECT_FALSE(services->isPending());
    EXPECT_EQ(markedSentences(shown), QStringLiteral("He go to school yesterday.\nThe cats sits on the mat.\n"
                                                     "I has a apple.\nThis are good ideas."));
    // Under the words the parser leaves unlinked, all inside their sentence.
    // A short sentence with several words unlinked is wrong as a whole.
    EXPECT_EQ(marked(shown), QStringLiteral("He\nThe\ncats\nI has a apple.\nThis"));

    // A green wavy underline, told apart from spelling's red one.
    const TextServices::GrammarFault first = services->grammarFaults().first();
    const QTextBlock block = shown.storage().document()->findBlock(int(first.range.location));
    const QList<QTextLayout::FormatRange> overlays = shown.storage().overlayFormats(block);
    ASSERT_EQ(overlays.size(), 1);
    EXPECT_EQ(overlays.first().format.underlineStyle(), QTextCharFormat::SpellCheckUnderline);
    EXPECT_EQ(overlays.first().format.underlineColor(), GrammarMarks::color());
    EXPECT_NE(GrammarMarks::color(), QColor(Qt::red));
    EXPECT_TRUE(services->misspellings().isEmpty());
    EXPECT_EQ(services->grammarFaultAt(first.range.location + 1), first);
    EXPECT_FALSE(services->grammarFaultAt(shown.text().indexOf(QStringLiteral("went"))));
    // Marks are no edits.
    EXPECT_FALSE(shown.storage().canUndo());
    EXPECT_TRUE(shown.inStep());
}

TEST(GrammarChecking, CodeLinksMetadataAndMarkupAreNeverMarked) {
    ShownEditor shown(grammarOn);
    const QString text = QStringLiteral("Title: He go to school yesterday.\n"
                                        "Summary: The cats sits on the mat.\n\n"
                                        "```\nHe go to school yesterday.\n```\n\n"
                                        "    The cats sits on the mat.\n\n"
                                        "He go to `school` yesterday. See <http://he.go.to/school> he go.\n\n"
                                        "| This are good ideas. | I has a apple. |\n|---|---|\n\n"
                                        "<p>This are good ideas.</p>\n\n"
                                        "[he go]: http://he.go.to \"He go to school yesterday.\"\n\n"
                                        "He go to [the school](http://he.go.to/school \"He go\") yesterday.[^n]\n\n"
                                        "She {++go++} home now. The {>>cats sits<<} here.\n\n"
                                        "[^n]: I has a apple.\n");
    shown.show(text);
    TextServices *services = shown.view().textServices();
    services->checkAll();
    // Only the link's sentence and the note's are read: without the link's
    // target and the note's label.
    EXPECT_EQ(markedSentences(shown), QStringLiteral("He go to the school yesterday.\nI has a apple."));
    const qsizetype target = text.indexOf(QStringLiteral("(http://he.go.to/school \"He go\")"));
    const qsizetype label = text.indexOf(QStringLiteral("[^n]:"));
    for (const TextServices::GrammarFault &fault : services->grammarFaults()) {
        EXPECT_TRUE(fault.range.end() <= target || fault.range.location >= target + 32)
            << shown.view().textOfRange(fault.range).toStdString();
        EXPECT_TRUE(fault.range.end() <= label || fault.range.location >= label + 5)
            << shown.view().textOfRange(fault.range).toStdString();
    }
}

TEST(GrammarChecking, TheSentenceBeingTypedIsJudgedOnceItEndsAndLeftAloneWhileEdited) {
    ShownEditor shown(grammarOn);
    shown.show(QStringLiteral("A first line.\n"));
    TextServices *services = shown.view().textServices();
    shown.select(13);
    // Words never judged before in this program, so that no verdict is
    // remembered: each comes from the service's thread.
    shown.type(QStringLiteral(" The zebras runs beside the river"));
    settleMarks(shown);
    EXPECT_TRUE(services->grammarFaults().isEmpty());
    shown.type(QStringLiteral("."));
    // The keystroke asked for the verdict and did not wait for it.
    EXPECT_TRUE(services->isPending());
    settleMarks(shown);
    EXPECT_EQ(markedSentences(shown), QStringLiteral("The zebras runs beside the river."));

    // Edited inside, it is left alone until the caret leaves it, then
    // judged as it now reads.
    const qsizetype runs = shown.text().indexOf(QStringLiteral("runs"));
    shown.select(runs + 4);
    shown.press(Qt::Key_Backspace);
    settleMarks(shown);
    EXPECT_TRUE(services->grammarFaults().isEmpty());
    shown.select(0);
    settleMarks(shown);
    EXPECT_TRUE(services->grammarFaults().isEmpty()) << marked(shown).toStdString();
    shown.select(runs + 3);
    shown.type(QStringLiteral("s"));
    shown.select(0);
    settleMarks(shown);
    EXPECT_EQ(markedSentences(shown), QStringLiteral("The zebras runs beside the river."));
}

TEST(GrammarChecking, ALoadedDocumentIsMarkedInTheBackground) {
    ShownEditor shown(grammarOn);
    QString text;
    for (int i = 0; i < 300; i++)
        text += QStringLiteral("Paragraph %1 says that the otters swims in a lake. The otters swim in lake %1.\n\n")
                    .arg(i);
    shown.show(text, QSize(600, 300));
    TextServices *services = shown.view().textServices();
    settleMarks(shown);
    EXPECT_EQ(markedSentences(shown).count(QLatin1Char('\n')) + 1, 300);
    for (const TextServices::GrammarFault &fault : services->grammarFaults())
        EXPECT_TRUE(fault.sentence.contains(QStringLiteral("otters swims"))) << fault.sentence.toStdString();
}

// Sentences too long to judge, one huge paragraph, and bytes that are no
// language: nothing is asked for that cannot be judged, and nothing waits.
TEST(GrammarChecking, WhatCannotBeJudgedIsLeftAloneQuickly) {
    ShownEditor shown(grammarOn);
    QString longest = QStringLiteral("The cats");
    for (int i = 0; i < platform::GrammarService::kLongestSentence; i++)
        longest += QStringLiteral(" and dogs");
    longest += QStringLiteral(" sits here.");
    QString huge = QStringLiteral("He");
    for (int i = 0; i < 40000; i++)
        huge += QStringLiteral(" go");
    huge += QLatin1Char('.');
    QString noise;
    for (int i = 0; i < 2000; i++)
        noise += QChar(char16_t(0x20 + (i * 7919) % 0x2000));
    shown.show(longest + QStringLiteral("\n\n") + huge + QStringLiteral("\n\n") + noise +
               QStringLiteral(".\n\nHe go home. He goes home.\n"));
    settleMarks(shown);
    EXPECT_EQ(markedSentences(shown), QStringLiteral("He go home."));
}

TEST(GrammarChecking, TheSwitchTakesTheMarksAwayAndBringsThemBack) {
    ShownEditor shown;
    shown.show(QStringLiteral("He go to school yesterday. Some zqword here.\n"));
    TextServices *services = shown.view().textServices();
    services->checkAll();
    // Off for a new user.
    EXPECT_FALSE(services->checksGrammar());
    EXPECT_TRUE(services->grammarFaults().isEmpty());
    EXPECT_EQ(services->misspellings().size(), 1);

    shown.view().performAction(QStringLiteral("toggleGrammarChecking:"), nullptr);
    EXPECT_TRUE(shown.defaults().boolForKey(QStringLiteral("checkGrammar")));
    EXPECT_TRUE(services->checksGrammar());
    settleMarks(shown);
    EXPECT_EQ(marked(shown), QStringLiteral("He"));
    EXPECT_EQ(services->misspellings().size(), 1);

    shown.defaults().setBool(false, QStringLiteral("checkGrammar"));
    EXPECT_FALSE(services->checksGrammar());
    settleMarks(shown);
    EXPECT_TRUE(services->grammarFaults().isEmpty());
    EXPECT_EQ(services->misspellings().size(), 1);
    // With spelling off too, grammar alone still marks; a key bound to the
    // action switches it as well.
    shown.defaults().setBool(false, QStringLiteral("checkSpelling"));
    editortest::ScopedKeyBindings bindings(R"json([
        { "key": "g", "modifiers": ["cmd", "opt"], "action": "toggleGrammarChecking:" }
    ])json");
    shown.press(Qt::Key_G, Qt::ControlModifier | Qt::AltModifier, QStringLiteral("g"));
    EXPECT_TRUE(shown.defaults().boolForKey(QStringLiteral("checkGrammar")));
    settleMarks(shown);
    EXPECT_EQ(marked(shown), QStringLiteral("He"));
    EXPECT_TRUE(services->misspellings().isEmpty());
    EXPECT_EQ(shown.text(), QStringLiteral("He go to school yesterday. Some zqword here.\n"));
}

TEST(GrammarChecking, TheContextMenuReadsTheFaultAndIgnoresItInThisDocument) {
    ShownEditor shown(grammarOn);
    ShownEditor other(grammarOn);
    shown.show(QStringLiteral("All is well. I has a apple. He say hello.\n"));
    other.show(QStringLiteral("I has a apple.\n"));
    shown.view().textServices()->checkAll();
    other.view().textServices()->checkAll();
    QMenu menu;
    EXPECT_TRUE(shown.view().spellingMenuItems(1, &menu).isEmpty());
    const QList<QAction *> items = shown.view().spellingMenuItems(shown.text().indexOf(QStringLiteral("has")), &menu);
    EXPECT_EQ(titles(items), (QStringList{GrammarMarks::reading(), QStringLiteral("Ignore Grammar"),
                                          QStringLiteral("-")}));
    EXPECT_FALSE(items.first()->isEnabled());
    items[1]->trigger();
    shown.view().textServices()->checkAll();
    EXPECT_EQ(markedSentences(shown), QStringLiteral("He say hello."));
    other.view().textServices()->checkAll();
    EXPECT_EQ(markedSentences(other), QStringLiteral("I has a apple."));

    // A misspelt word in a faulty sentence gets both sets of items.
    shown.show(QStringLiteral("He go to scool yesterday.\n"));
    shown.view().textServices()->checkAll();
    QStringList both;
    for (const QString &title : titles(shown.view().spellingMenuItems(0, &menu)))
        both.append(title);
    EXPECT_TRUE(both.contains(QStringLiteral("Ignore Grammar")));
    const QStringList spelling = titles(
        shown.view().spellingMenuItems(shown.text().indexOf(QStringLiteral("scool")) + 1, &menu));
    EXPECT_TRUE(spelling.contains(QStringLiteral("Ignore Spelling")));
}

TEST(GrammarChecking, ThePanelShowsFaultySentencesAfterTheMisspeltWordsInThem) {
    ShownEditor shown(grammarOn);
    shown.show(QStringLiteral("He go to scool yesterday. All is well here. This are good ideas.\n"));
    shown.view().textServices()->checkAll();
    shown.view().performAction(QStringLiteral("showGuessPanel:"), nullptr);
    SpellingPanel *panel = shown.view().spellingPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->word(), QStringLiteral("scool"));
    panel->findNextButton()->click();
    EXPECT_TRUE(panel->word().isEmpty());
    EXPECT_EQ(panel->sentence(), QStringLiteral("He go to scool yesterday."));
    EXPECT_EQ(panel->status(), GrammarMarks::reading() + QLatin1Char('.'));
    EXPECT_EQ(shown.view().textOfRange(shown.selection()), QStringLiteral("He go to scool yesterday."));
    EXPECT_FALSE(panel->changeButton()->isEnabled());
    EXPECT_FALSE(panel->learnButton()->isEnabled());
    EXPECT_TRUE(panel->ignoreButton()->isEnabled());
    panel->findNextButton()->click();
    EXPECT_EQ(panel->sentence(), QStringLiteral("This are good ideas."));
    panel->ignoreButton()->click();
    // Round the text: the ignored sentence is no longer found.
    EXPECT_EQ(panel->word(), QStringLiteral("scool"));
    panel->findNextButton()->click();
    EXPECT_EQ(panel->sentence(), QStringLiteral("He go to scool yesterday."));
    panel->findNextButton()->click();
    EXPECT_EQ(panel->word(), QStringLiteral("scool"));
    shown.view().textServices()->checkAll();
    EXPECT_EQ(markedSentences(shown), QStringLiteral("He go to scool yesterday."));

    // Without grammar checked, the panel finds words alone.
    shown.defaults().setBool(false, QStringLiteral("checkGrammar"));
    panel->findNextButton()->click();
    EXPECT_EQ(panel->word(), QStringLiteral("scool"));
}

TEST(GrammarChecking, ALanguageWithoutADictionaryMarksNothingAndTellsOnce) {
    platform::GrammarService german({QStringLiteral("de_DE"), {}});
    platform::ScriptedAlerts alerts;
    ShownEditor shown;
    ShownEditor second;
    shown.view().textServices()->setGrammar(&german);
    second.view().textServices()->setGrammar(&german);
    shown.show(QStringLiteral("He go to school yesterday.\n"));
    shown.defaults().setBool(true, QStringLiteral("checkGrammar"));
    ASSERT_TRUE(shown.view().textServices()->checksGrammar());
    settleMarks(shown);
    EXPECT_TRUE(shown.view().textServices()->grammarFaults().isEmpty());
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown().first().messageText, QStringLiteral("Grammar is not checked"));
    EXPECT_TRUE(alerts.shown().first().informativeText.contains(QStringLiteral("German")));
    // Once: not again when turned on again, nor in another window.
    shown.defaults().setBool(false, QStringLiteral("checkGrammar"));
    shown.defaults().setBool(true, QStringLiteral("checkGrammar"));
    second.defaults().setBool(true, QStringLiteral("checkGrammar"));
    EXPECT_EQ(alerts.count(), 1);
    // Nothing to find either.
    shown.select(0);
    EXPECT_FALSE(shown.view().textServices()->nextGrammarFault(0));
    shown.view().textServices()->setGrammar(&platform::GrammarService::shared());
    second.view().textServices()->setGrammar(&platform::GrammarService::shared());
}
