// Change tracking, CriticMarkup marks and completions through the storage:
// tracked typing writes marks with the comment template, marks are found
// and judged where they really are, completion words come from the real
// text, and the emphasis toggles follow their marker preferences.
#include <gtest/gtest.h>

#include <ctime>

#include "editor/storage/critic_markup.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/editor_test_support.h"
#include "platform/prefs/defaults.h"
#include "platform/prefs/registered_defaults.h"

using editortest::expectedShown;
using editortest::shownText;

namespace {

QString marked(SmartTextStorage &storage, std::optional<CharRange> range) {
    return range ? storage.string().mid(range->location, range->length) : QStringLiteral("<none>");
}

CriticCommentPreferences comment(bool stamp, const QString &author, bool date,
                                 const QString &format) {
    return CriticCommentPreferences{stamp, author, date, format};
}

}  // namespace

TEST(StorageTracking, CommentTemplateAndStampFollowTheMarkupPreferences) {
    auto storageTemplate = &SmartTextStorage::criticMarkupCommentDefault;
    EXPECT_EQ(storageTemplate(comment(false, "Ann", true, "%Y")), QString());
    EXPECT_EQ(storageTemplate(comment(true, "Ann", false, "%Y")), "Ann");
    EXPECT_EQ(storageTemplate(comment(true, "Ann", true, "%d.%m")), "Ann - %d.%m");
    // The separator stands before any format but a single space, also
    // before one that gives no date text.
    EXPECT_EQ(storageTemplate(comment(true, "Ann", true, " ")), "Ann");
    EXPECT_EQ(storageTemplate(comment(true, "Ann", true, "")), "Ann - ");
    EXPECT_EQ(storageTemplate(comment(true, "Ann", true, "  ")), "Ann -   ");
    EXPECT_EQ(storageTemplate(comment(true, "", true, "")), " - ");

    // The window commands' comment, at a fixed moment.
    struct tm moment = {};
    moment.tm_year = 2024 - 1900, moment.tm_mon = 4, moment.tm_mday = 25, moment.tm_hour = 12;
    const std::time_t when = mktime(&moment);
    EXPECT_EQ(criticMarkupComment(comment(false, "Ann", true, "%Y"), when), "{>><<}");
    EXPECT_EQ(criticMarkupComment(comment(true, "Zoë", true, "%Y-%m-%d"), when),
              "{>>Zoë - 2024-05-25<<}");
    EXPECT_EQ(criticMarkupComment(comment(true, "Ann", false, " "), when), "{>>Ann<<}");
    // A stamp longer than its buffer formats to nothing: no stamp, and none
    // of whatever the buffer held before.
    EXPECT_EQ(criticMarkupComment(comment(true, "Ann", true, QString("%Y").repeated(600)), when),
              "{>>Ann<<}");
}

TEST(StorageTracking, TrackedTypingWritesMarksWithTheCommentTemplate) {
    StoragePreferences p;
    p.criticComment = comment(true, "Zoë", true, "%d/%m");
    SmartTextStorage storage(p);
    storage.setInitialText(QStringLiteral("Hello world"));
    storage.startTrackingChanges();
    ASSERT_TRUE(storage.isTrackingChanges());

    // The stamp is the date of the edit, read on both sides of it in case
    // the day turns in between.
    auto today = [] { return formatLocalTime(QStringLiteral("%d/%m"), std::time(nullptr)); };
    const QString before = today();
    storage.replaceCharactersInRange({5, 0}, QStringLiteral("!"));
    const QString text = storage.string();
    EXPECT_TRUE(text == "Hello{++!++}{>>Zoë - " + before + "<<} world" ||
                text == "Hello{++!++}{>>Zoë - " + today() + "<<} world")
        << text.toStdString();

    // A preference change rebuilds the option word and keeps tracking on; a
    // new author reaches the next mark.
    p.criticComment = comment(true, "Ann", false, QString());
    p.smartTab = true;
    storage.setPreferences(p);
    EXPECT_TRUE(storage.isTrackingChanges());
    storage.replaceCharactersInRange({storage.length() - 5, 5}, QString());
    EXPECT_TRUE(storage.string().endsWith(" {--world--}{>>Ann<<}")) << storage.string().toStdString();
    // Editing a deletion is refused, and the document shows no change.
    const QString refused = storage.string();
    EXPECT_EQ(storage.canEditRange({refused.indexOf("world"), 2}, 0), 0);
    storage.replaceCharactersInRange({refused.indexOf("world"), 2}, QString());
    EXPECT_EQ(storage.string(), refused);
    EXPECT_EQ(shownText(storage), expectedShown(storage));

    storage.toggleChangeTracking();
    EXPECT_FALSE(storage.isTrackingChanges());
    EXPECT_EQ(storage.canEditRange({refused.indexOf("world"), 2}, 0), 1);

    // An empty date format: the separator, and no date text after it.
    p.criticComment = comment(true, "Ann", true, QString());
    storage.setPreferences(p);
    storage.startTrackingChanges();
    storage.replaceCharactersInRange({0, 0}, QStringLiteral(">"));
    EXPECT_TRUE(storage.string().startsWith("{++>++}{>>Ann - <<}Hello")) << storage.string().toStdString();
}

TEST(StorageTracking, CommentTemplateAndMarkersFollowTheUserPreferencesAsTheyChange) {
    platform::ScopedStandardDefaults scoped;
    platform::Defaults &defaults = scoped.defaults();
    defaults.setBool(true, QStringLiteral("markupInsertStamp"));
    defaults.setBool(false, QStringLiteral("markupInsertDateStamp"));
    defaults.setObject(QStringLiteral("Ann"), QStringLiteral("markupComment"));
    SmartTextStorage storage(defaults);
    storage.setInitialText(QStringLiteral("ab"));
    storage.startTrackingChanges();
    storage.replaceCharactersInRange({1, 0}, QStringLiteral("x"));
    defaults.setObject(QStringLiteral("Bob"), QStringLiteral("markupComment"));
    storage.replaceCharactersInRange({0, 0}, QStringLiteral("y"));
    EXPECT_EQ(storage.string(), QStringLiteral("{++y++}{>>Bob<<}a{++x++}{>>Ann<<}b"));

    // The emphasis marker is the one set when the toggle runs.
    storage.stopTrackingChanges();
    storage.setInitialText(QStringLiteral("some words"));
    defaults.setInteger(1, QStringLiteral("tzrEmphasisMarker"));
    storage.addEmphToRange({5, 5});
    EXPECT_EQ(storage.string(), QStringLiteral("some _words_"));
    storage.stopObservingDefaults();
}

TEST(StorageTracking, MarksAreFoundAndJudgedWhereTheyAreAfterTextOutsideAscii) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("Zoë 😀 says {++hi++} and {--bye--}, then {~~a~>b~~}."));
    auto next = storage.rangeOfNextCriticChange(0);
    EXPECT_EQ(marked(storage, next), QStringLiteral("{++hi++}"));
    // Inside a mark, the next one is the following mark.
    next = storage.rangeOfNextCriticChange(next->location + 3);
    EXPECT_EQ(marked(storage, next), QStringLiteral("{--bye--}"));
    const CharRange bye = *next;
    next = storage.rangeOfNextCriticChange(next->end());
    EXPECT_EQ(marked(storage, next), QStringLiteral("{~~a~>b~~}"));
    // Around the text both ways.
    EXPECT_EQ(marked(storage, storage.rangeOfNextCriticChange(next->end())), "{++hi++}");
    EXPECT_EQ(marked(storage, storage.rangeOfPreviousCriticChange(0)), "{~~a~>b~~}");
    EXPECT_EQ(storage.rangeOfCriticChangeIntersectingRange({bye.location + 4, 0}), bye);
    EXPECT_FALSE(storage.rangeOfCriticChangeIntersectingRange({0, 3}));

    // Judging one mark: its text settled replaces it.
    storage.replaceCharactersInRange(bye, stringRejectingChanges(marked(storage, bye)));
    auto sub = storage.rangeOfCriticChangeIntersectingRange({storage.string().indexOf("a~>"), 1});
    storage.replaceCharactersInRange(*sub, stringAcceptingChanges(marked(storage, sub)));
    EXPECT_EQ(storage.string(), QStringLiteral("Zoë 😀 says {++hi++} and bye, then b."));
    EXPECT_EQ(shownText(storage), expectedShown(storage));
    EXPECT_EQ(stringAcceptingChanges("Keep {++née++}{--old--} {==lit==}{>>n<<}."), "Keep née lit.");
    EXPECT_EQ(stringRejectingChanges("Keep {++née++}{--old--} {==lit==}{>>n<<}."), "Keep old lit.");

    storage.setInitialText(QStringLiteral("No marks at all."));
    EXPECT_FALSE(storage.rangeOfNextCriticChange(0));
    EXPECT_FALSE(storage.rangeOfPreviousCriticChange(5));
}

TEST(StorageTracking, CompletionsComeFromTheRealText) {
    StoragePreferences p;
    p.extNotes = true;
    SmartTextStorage storage(p);
    storage.setInitialText(QStringLiteral(
        "# Über alles\n\n## Überblick\n\nSee [Apple][] and [^pine].\n\n"
        "[apple]: http://a.example\n[^pine]: A note.\n\nÜb"));
    const CharRange typed{storage.length() - 2, 2};
    int index = 7;
    QStringList words = storage.completionsForPartialWordRange(typed, &index);
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(words.contains("Über alles") && words.contains("Überblick"))
        << words.join('|').toStdString();
    EXPECT_FALSE(words.contains("Üb"));

    // Labels: only words that begin with the typed text, whatever its case;
    // "pi" is in "^pine" but does not begin it.
    storage.addBibtexToAutoComplete(QSet<QString>{"#apfel2020", "#Pineau"});
    auto labels = [&](const char *text) {
        storage.replaceCharactersInRange(typed, QString::fromUtf8(text));
        return storage.labelCompletionsForPartialWordRange(typed, &index);
    };
    EXPECT_EQ(labels("AP"), QStringList{"apple"});
    EXPECT_EQ(labels("#p"), QStringList{"#Pineau"});
    EXPECT_EQ(index, 0);
    EXPECT_EQ(labels("pi"), QStringList());
    EXPECT_EQ(index, -1);
    EXPECT_TRUE(storage.completionsForPartialWordRange(typed, &index).contains("^pine"));
}

TEST(StorageTracking, EmphasisAndStrongToggleAsOneStepWithTheirMarkers) {
    StoragePreferences p;
    SmartTextStorage storage(p);
    storage.setInitialText(QStringLiteral("Zoë writes text"));
    storage.addEmphToRange({11, 4});
    EXPECT_EQ(storage.string(), QStringLiteral("Zoë writes *text*"));
    EXPECT_EQ(marked(storage, storage.caretRange()), QStringLiteral("text"));
    // Toggled again on the selection it left: unmarked.
    storage.addEmphToRange(*storage.caretRange());
    EXPECT_EQ(storage.string(), QStringLiteral("Zoë writes text"));

    p.strongMarker = 1;
    storage.setPreferences(p);
    storage.addStrongToRange({0, 3});
    EXPECT_EQ(storage.string(), QStringLiteral("__Zoë__ writes text"));
    EXPECT_EQ(shownText(storage), expectedShown(storage));

    // A stray marker preference, or another type, changes nothing at all:
    // undo then finds the strong toggle, then the emphasis one.
    p.emphasisMarker = 2;
    p.strongMarker = -1;
    storage.setPreferences(p);
    const quint64 generation = storage.editGeneration();
    storage.addEmphToRange({8, 6});
    storage.addStrongToRange({8, 6});
    storage.addMarkupType(100, {8, 6});
    EXPECT_EQ(storage.editGeneration(), generation);
    ASSERT_TRUE(storage.undo());
    EXPECT_EQ(storage.string(), QStringLiteral("Zoë writes text"));
    ASSERT_TRUE(storage.undo());
    EXPECT_EQ(storage.string(), QStringLiteral("Zoë writes *text*"));
}
