// What typing calls for in the Markdown editor, with keys sent to it: the
// spelling correction of a word as it ends, smart quotes and dashes, each an
// undo step of its own, beside smart pairs and change tracking; the context
// menu's guesses, the spelling panel, the menus' switches and the speaker's
// items.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include <gtest/gtest.h>

#include "editor/input/spelling_panels.h"
#include "editor/smart_view_support.h"
#include "editor/view/text_services.h"
#include "platform/prefs/defaults.h"
#include "platform/services/speech/speech_service.h"
#include "platform/services/spelling/spell_service.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using editortest::ShownEditor;

namespace {

void undo(ShownEditor &shown) { shown.view().performAction(QStringLiteral("undo:"), nullptr); }

void withSubstitutions(platform::Defaults &d) {
    d.setBool(true, QStringLiteral("smartQuotes"));
    d.setBool(true, QStringLiteral("smartDashes"));
}

bool itemState(ShownEditor &shown, const char *action, bool *checked) {
    QAction item;
    const bool enabled = shown.view().validateAction(QString::fromLatin1(action), &item);
    *checked = item.isChecked();
    return enabled;
}

}  // namespace

// --- Corrections ----------------------------------------------------------------------

TEST(TypingServices, AWordEndedIsCorrectedAsOneUndoStep) {
    ShownEditor shown;
    shown.show(QString());
    shown.view().takeTypedSpace();
    shown.type(QStringLiteral("It is becuase"));
    EXPECT_EQ(shown.text(), QStringLiteral("It is becuase"));
    shown.type(QStringLiteral(" "));
    EXPECT_EQ(shown.text(), QStringLiteral("It is because "));
    EXPECT_EQ(shown.selection(), (CharRange{14, 0}));
    EXPECT_TRUE(shown.view().typedSpace());
    EXPECT_TRUE(shown.inStep());
    // The correction shows for a moment.
    ASSERT_EQ(shown.view().extraSelections().size(), 1);
    EXPECT_EQ(shown.view().extraSelections().first().cursor.selectedText(), QStringLiteral("because"));

    // One undo gives back the word as typed, the next the typing.
    undo(shown);
    EXPECT_EQ(shown.text(), QStringLiteral("It is becuase "));
    undo(shown);
    EXPECT_NE(shown.text(), QStringLiteral("It is becuase "));

    // Punctuation and Return end a word too; typing goes on after it.
    shown.storage().setInitialText(QString());
    shown.select(0);
    shown.type(QStringLiteral("definately, absolutly\nmore"));
    EXPECT_EQ(shown.text(), QStringLiteral("definitely, absolutely\nmore"));

    // Correction needs no underlines: it works with checking switched off
    // too, and either way leaves the words of an address alone.
    for (const bool checking : {true, false}) {
        shown.defaults().setBool(checking, QStringLiteral("checkSpelling"));
        // (Not on the first line, where "see http:" would be a metadata key.)
        shown.storage().setInitialText(QStringLiteral("Text.\n\n"));
        shown.select(7);
        shown.type(QStringLiteral("becuase see http://exampel.org/recieve now "));
        EXPECT_EQ(shown.text(), QStringLiteral("Text.\n\nbecause see http://exampel.org/recieve now ")) << checking;
        EXPECT_TRUE(shown.view().textServices()->misspellings().isEmpty() || checking);
    }
}

TEST(TypingServices, CorrectionsLeaveSomeWordsAlone) {
    ShownEditor shown;
    shown.show(QString());
    // Capitalised; more than one word one edit away ("the", "ten", "tech"
    // ...); in code (smart pairs close the span as it opens, and the
    // closing backtick is typed over); learnt; with correction switched off.
    shown.view().textServices()->spelling()->learnWord(QStringLiteral("zqbecuase"));
    shown.type(QStringLiteral("Becuase teh `becuase ` zqbecuase "));
    EXPECT_EQ(shown.text(), QStringLiteral("Becuase teh `becuase ` zqbecuase "));
    shown.defaults().setBool(false, QStringLiteral("correctSpelling"));
    shown.type(QStringLiteral("becuase "));
    EXPECT_EQ(shown.text(), QStringLiteral("Becuase teh `becuase ` zqbecuase becuase "));
}

TEST(TypingServices, ChangeTrackingSeesACorrectionAsATypedChange) {
    ShownEditor shown;
    shown.show(QStringLiteral("Text.\n"));
    shown.view().toggleChangeTracking();
    shown.select(5);
    shown.type(QStringLiteral(" becuase "));
    // The correction lands inside the insertion typing made, as more typing
    // would.
    EXPECT_TRUE(shown.text().startsWith(QStringLiteral("Text.{++ because ++}"))) << shown.text().toStdString();
    EXPECT_FALSE(shown.text().contains(QStringLiteral("becuase")));
    EXPECT_TRUE(shown.inStep());
    undo(shown);
    EXPECT_TRUE(shown.text().startsWith(QStringLiteral("Text.{++ becuase ++}"))) << shown.text().toStdString();
}

// --- Quotes ----------------------------------------------------------------------------

TEST(TypingServices, QuotesAreCurledByContextEachAnUndoStep) {
    ShownEditor shown([](platform::Defaults &d) {
        withSubstitutions(d);
        d.setBool(false, QStringLiteral("enableSmartPairs"));
    });
    shown.show(QString());
    shown.type(QStringLiteral("\"Hi,\" she said, 'it's (\"fine\")' ok"));
    EXPECT_EQ(shown.text(), QStringLiteral("\u201CHi,\u201D she said, \u2018it\u2019s (\u201Cfine\u201D)\u2019 ok"));
    // One undo gives back the last straight quote typed.
    shown.storage().setInitialText(QString());
    shown.select(0);
    shown.type(QStringLiteral("a \""));
    EXPECT_EQ(shown.text(), QStringLiteral("a \u201C"));
    undo(shown);
    EXPECT_EQ(shown.text(), QStringLiteral("a \""));
    // The commands that insert a straight quote do so.
    shown.select(3);
    shown.view().performAction(QStringLiteral("insertDoubleQuoteIgnoringSubstitution:"), nullptr);
    shown.view().performAction(QStringLiteral("insertSingleQuoteIgnoringSubstitution:"), nullptr);
    EXPECT_EQ(shown.text(), QStringLiteral("a \"\"'"));
}

TEST(TypingServices, CurledQuotesComposeWithSmartPairs) {
    ShownEditor shown([](platform::Defaults &d) {
        withSubstitutions(d);
        d.setBool(true, QStringLiteral("enableSmartPairs"));
    });
    shown.show(QString());
    shown.type(QStringLiteral("Say \""));
    EXPECT_EQ(shown.text(), QStringLiteral("Say \u201C\u201D"));
    EXPECT_EQ(shown.selection(), (CharRange{5, 0}));
    shown.type(QStringLiteral("hello\""));
    EXPECT_EQ(shown.text(), QStringLiteral("Say \u201Chello\u201D"));
    EXPECT_EQ(shown.selection(), (CharRange{11, 0}));
    shown.type(QStringLiteral(" now"));
    EXPECT_EQ(shown.text(), QStringLiteral("Say \u201Chello\u201D now"));
    // Undoing the curling gives back the straight pair smart pairs made.
    shown.storage().setInitialText(QString());
    shown.select(0);
    shown.type(QStringLiteral("\""));
    undo(shown);
    EXPECT_EQ(shown.text(), QStringLiteral("\"\""));

    // An empty pair: the second quote typed steps over the closing mark.
    shown.storage().setInitialText(QString());
    shown.select(0);
    shown.type(QStringLiteral("a \"\" b"));
    EXPECT_EQ(shown.text(), QStringLiteral("a \u201C\u201D b"));
    EXPECT_EQ(shown.selection(), (CharRange{6, 0}));

    // A selection wrapped in a pair gets both marks curled, in one step.
    shown.storage().setInitialText(QStringLiteral("Say hello now.\n"));
    shown.select(4, 5);
    shown.type(QStringLiteral("\""));
    EXPECT_EQ(shown.text(), QStringLiteral("Say \u201Chello\u201D now.\n"));
    EXPECT_EQ(shown.view().textOfRange(shown.selection()), QStringLiteral("hello"));
    undo(shown);
    EXPECT_EQ(shown.text(), QStringLiteral("Say \"hello\" now.\n"));
}

TEST(TypingServices, QuotesFollowTheDocumentsLanguage) {
    ShownEditor shown([](platform::Defaults &d) {
        withSubstitutions(d);
        d.setBool(false, QStringLiteral("enableSmartPairs"));
    });
    shown.show(QStringLiteral("language: de\n\n"));
    shown.select(shown.text().size());
    shown.type(QStringLiteral("Er sagt \"ja\" und 'so'."));
    EXPECT_TRUE(shown.text().endsWith(QStringLiteral("Er sagt \u201Eja\u201C und \u201Aso\u2018.")));
    shown.storage().setInitialText(QStringLiteral("quoteslanguage: french\nlanguage: de\n\n"));
    shown.select(shown.text().size());
    shown.type(QStringLiteral("\"oui\""));
    EXPECT_TRUE(shown.text().endsWith(QStringLiteral("\u00ABoui\u00BB")));
}

TEST(TypingServices, NoSubstitutionsInCode) {
    ShownEditor shown([](platform::Defaults &d) {
        withSubstitutions(d);
        d.setBool(false, QStringLiteral("enableSmartPairs"));
    });
    shown.show(QStringLiteral("```\n\n```\n"));
    shown.select(4);
    shown.type(QStringLiteral("x = \"a\" -- b"));
    EXPECT_EQ(shown.text(), QStringLiteral("```\nx = \"a\" -- b\n```\n"));
    shown.storage().setInitialText(QStringLiteral("Run `` now.\n"));
    shown.select(5);
    shown.type(QStringLiteral("say \"hi\""));
    EXPECT_EQ(shown.text(), QStringLiteral("Run `say \"hi\"` now.\n"));
}

// --- Dashes ---------------------------------------------------------------------------------

TEST(TypingServices, DashesByContextEachAnUndoStep) {
    ShownEditor shown([](platform::Defaults &d) { withSubstitutions(d); });
    shown.show(QString());
    shown.type(QStringLiteral("a -- b, 1--2, a--b, c---d"));
    EXPECT_EQ(shown.text(), QStringLiteral("a \u2013 b, 1\u20132, a\u2014b, c\u2014d"));
    undo(shown);
    EXPECT_EQ(shown.text(), QStringLiteral("a \u2013 b, 1\u20132, a\u2014b, c---d"));

    // A line of dashes alone is a rule or an underline; a table's separator
    // and a list's dash stay as well.
    shown.storage().setInitialText(QString());
    shown.select(0);
    shown.type(QStringLiteral("Title\n---\n\n| a | b |\n|---|---|\n- item"));
    EXPECT_EQ(shown.text().toStdString(), "Title\n---\n\n| a | b |\n|---|---|\n- item");

    // The dashes of a CriticMarkup deletion's marks and of an HTML
    // comment's, typed before the text knows them as such.
    shown.storage().setInitialText(QStringLiteral("Text.\n\n"));
    shown.select(7);
    shown.type(QStringLiteral("Keep {--gone--} and <!-- a note --> here."));
    EXPECT_EQ(shown.text(), QStringLiteral("Text.\n\nKeep {--gone--} and <!-- a note --> here."));
}

// --- Context menu and panel -----------------------------------------------------------------

TEST(TypingServices, TheContextMenuOffersGuessesFirst) {
    ShownEditor shown;
    shown.show(QStringLiteral("Say helo to teh zqxwvqz.\n"));
    shown.view().textServices()->checkAll();
    QMenu menu;
    EXPECT_TRUE(shown.view().spellingMenuItems(1, &menu).isEmpty());

    const qsizetype at = shown.text().indexOf(QStringLiteral("teh"));
    QList<QAction *> items = shown.view().spellingMenuItems(at + 1, &menu);
    QStringList titles;
    for (QAction *item : items)
        titles.append(item->isSeparator() ? QStringLiteral("-") : item->text());
    ASSERT_EQ(titles.size(), 5 + 4);
    EXPECT_EQ(titles.first(), QStringLiteral("the"));
    EXPECT_EQ(titles.mid(5), (QStringList{QStringLiteral("-"), QStringLiteral("Ignore Spelling"),
                                          QStringLiteral("Learn Spelling"), QStringLiteral("-")}));
    items.first()->trigger();
    EXPECT_EQ(shown.text(), QStringLiteral("Say helo to the zqxwvqz.\n"));
    undo(shown);
    EXPECT_EQ(shown.text(), QStringLiteral("Say helo to teh zqxwvqz.\n"));

    // No guess at all.
    const qsizetype nonsense = shown.text().indexOf(QStringLiteral("zqxwvqz"));
    items = shown.view().spellingMenuItems(nonsense, &menu);
    ASSERT_FALSE(items.isEmpty());
    EXPECT_EQ(items.first()->text(), QStringLiteral("No Guesses Found"));
    EXPECT_FALSE(items.first()->isEnabled());
    items[2]->trigger();  // Ignore Spelling
    shown.view().textServices()->checkAll();
    EXPECT_FALSE(shown.view().textServices()->misspellingAt(nonsense));
    const qsizetype helo = shown.text().indexOf(QStringLiteral("helo"));
    EXPECT_TRUE(shown.view().textServices()->misspellingAt(helo));
}

TEST(TypingServices, TheSpellingPanelChangesFindsIgnoresAndLearns) {
    ShownEditor shown;
    shown.show(QStringLiteral("One becuase two zqpanelone three zqpaneltwo four zqpanelthree.\n"));
    shown.view().performAction(QStringLiteral("showGuessPanel:"), nullptr);
    SpellingPanel *panel = shown.view().spellingPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->word(), QStringLiteral("becuase"));
    EXPECT_EQ(panel->guesses().first(), QStringLiteral("because"));
    EXPECT_EQ(panel->replacement(), QStringLiteral("because"));
    EXPECT_EQ(shown.view().textOfRange(shown.selection()), QStringLiteral("becuase"));

    panel->changeButton()->click();
    EXPECT_TRUE(shown.text().startsWith(QStringLiteral("One because two")));
    EXPECT_EQ(panel->word(), QStringLiteral("zqpanelone"));
    panel->ignoreButton()->click();
    EXPECT_EQ(panel->word(), QStringLiteral("zqpaneltwo"));
    panel->learnButton()->click();
    EXPECT_TRUE(shown.view().textServices()->spelling()->hasLearnedWord(QStringLiteral("zqpaneltwo")));
    EXPECT_EQ(panel->word(), QStringLiteral("zqpanelthree"));
    panel->findNextButton()->click();
    // Round the text: the ignored and the learnt word are no longer found.
    EXPECT_EQ(panel->word(), QStringLiteral("zqpanelthree"));
    shown.view().textServices()->ignoreWord(QStringLiteral("zqpanelthree"));
    panel->findNextButton()->click();
    EXPECT_TRUE(panel->word().isEmpty());
    EXPECT_FALSE(panel->changeButton()->isEnabled());
}

// --- Menus ------------------------------------------------------------------------------------

TEST(TypingServices, TheSwitchesAreThePreferences) {
    ShownEditor shown;
    shown.show(QStringLiteral("Text.\n"));
    bool checked = false;
    const std::pair<const char *, const char *> switches[] = {
        {"toggleContinuousSpellChecking:", "checkSpelling"},  {"toggleAutomaticSpellingCorrection:", "correctSpelling"},
        {"toggleGrammarChecking:", "checkGrammar"},           {"toggleAutomaticQuoteSubstitution:", "smartQuotes"},
        {"toggleAutomaticDashSubstitution:", "smartDashes"},  {"toggleAutomaticLinkDetection:", "smartLinks"},
    };
    // Grammar is off for a new user.
    EXPECT_FALSE(shown.defaults().boolForKey(QStringLiteral("checkGrammar")));
    for (const auto &[action, key] : switches) {
        const QString name = QString::fromLatin1(key);
        const bool before = shown.defaults().boolForKey(name);
        EXPECT_TRUE(itemState(shown, action, &checked)) << action;
        EXPECT_EQ(checked, before) << action;
        shown.view().performAction(QString::fromLatin1(action), nullptr);
        EXPECT_EQ(shown.defaults().boolForKey(name), !before) << action;
        itemState(shown, action, &checked);
        EXPECT_EQ(checked, !before) << action;
    }
    EXPECT_TRUE(shown.view().respondsToAction(QStringLiteral("toggleGrammarChecking:")));
    EXPECT_FALSE(shown.view().respondsToAction(QStringLiteral("toggleAutomaticTextReplacement:")));

    // The substitutions panel shows the same switches, both ways.
    shown.view().performAction(QStringLiteral("orderFrontSubstitutionsPanel:"), nullptr);
    SubstitutionsPanel *panel = shown.view().substitutionsPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    QCheckBox *quotes = panel->switchFor(QStringLiteral("smartQuotes"));
    ASSERT_NE(quotes, nullptr);
    EXPECT_EQ(quotes->isChecked(), shown.defaults().boolForKey(QStringLiteral("smartQuotes")));
    quotes->click();
    EXPECT_EQ(quotes->isChecked(), shown.defaults().boolForKey(QStringLiteral("smartQuotes")));
    shown.defaults().setBool(!quotes->isChecked(), QStringLiteral("smartQuotes"));
    EXPECT_EQ(quotes->isChecked(), shown.defaults().boolForKey(QStringLiteral("smartQuotes")));
}

TEST(TypingServices, TheSpeakersItemsFollowItsState) {
    ShownEditor shown;
    shown.show(QStringLiteral("Words to say.\n"));
    bool checked = false;
    platform::SpeechService none(QStringLiteral("no-such-engine"));
    shown.view().setSpeechService(&none);
    EXPECT_FALSE(itemState(shown, "startSpeaking:", &checked));
    EXPECT_FALSE(itemState(shown, "stopSpeaking:", &checked));
    shown.view().performAction(QStringLiteral("startSpeaking:"), nullptr);
    EXPECT_EQ(none.state(), platform::SpeechService::State::Unavailable);

    platform::SpeechService flite(QStringLiteral("flite"));
    shown.view().setSpeechService(&flite);
    ASSERT_EQ(flite.state(), platform::SpeechService::State::Ready) << flite.errorString().toStdString();
    EXPECT_TRUE(itemState(shown, "startSpeaking:", &checked));
    EXPECT_FALSE(itemState(shown, "stopSpeaking:", &checked));
    shown.view().setSpeechService(nullptr);
}
