// Thousands of random edits through the storage, as a user and the program
// make them: typing, pasting, deleting, bulk replacing, undoing and redoing,
// in ASCII, accented letters, emoji and CR LF, with plenty of Markdown.
// After every edit the displayed document must show the buffer's text
// exactly, and its styles must be those a fresh storage gives the same text
// when it highlights it whole.
//
// ORVANE_RANDOM_EDITS sets the number of edits (default 1500) and
// ORVANE_RANDOM_EDIT_SEED the seed, for longer runs by hand.
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <random>

#include "editor/storage/heading_row.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/editor_test_support.h"
#include "textengine/buffer/smart_string.h"

using editortest::expectedShown;
using editortest::sameStyles;
using editortest::shownText;

namespace {

int environmentNumber(const char *name, int fallback) {
    bool ok = false;
    int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

const char16_t *const kFragments[] = {
    u"a", u"b", u"x", u" ", u"word", u"é", u"Ünï", u"ß", u"😀", u"🎉x", u"\n", u"\n\n", u"\r\n",
    u"\r", u"\t", u"# ", u"## ", u"### ", u"- ", u"* ", u"1. ", u"> ", u"```", u"```\n", u"    ",
    u"*", u"**", u"_", u"`", u"[", u"]", u"](", u")", u"![", u"[^1]", u"[^1]: note\n", u"{++",
    u"++}", u"{--", u"--}", u"$", u"$$", u"Title: x\n", u"===", u"---", u"| a | b |\n",
    u"|---|---|\n", u"<div>", u"</div>\n", u"<!--", u"-->", u":", u"~~", u"^", u"{{", u"}}",
    u"  \n", u"<http://x.org>", u"[link](http://x.org)", u"Term\n: definition\n",
};

class RandomEdits {
public:
    explicit RandomEdits(unsigned seed) : m_rng(seed) {}

    int number(int below) { return int(m_rng() % unsigned(below)); }

    QString fragment() {
        return QString::fromUtf16(kFragments[number(int(std::size(kFragments)))]);
    }

    QString text(int fragments) {
        QString text;
        for (int i = 0; i < fragments; i++)
            text += fragment();
        return text;
    }

    CharRange range(const SmartTextStorage &storage, int longest) {
        qsizetype n = storage.length();
        qsizetype at = n ? number(int(n + 1)) : 0;
        qsizetype length = qMin<qsizetype>(n - at, number(longest + 1));
        return {at, length};
    }

private:
    std::mt19937 m_rng;
};

// The document shows the buffer's text, the mirror text has its length, the
// caret lies in the text, and the styles are those of a whole-text highlight.
::testing::AssertionResult inStep(const SmartTextStorage &storage,
                                  const StoragePreferences &preferences) {
    if (shownText(storage) != expectedShown(storage))
        return ::testing::AssertionFailure() << "document differs from the buffer";
    if (qsizetype(smart_string_mirror_text(storage.buffer())->length) !=
        qsizetype(storage.document()->characterCount() - 1))
        return ::testing::AssertionFailure() << "mirror length differs";
    if (std::optional<CharRange> caret = storage.caretRange(); caret && caret->end() > storage.length())
        return ::testing::AssertionFailure() << "caret past the end";
    SmartTextStorage fresh(preferences);
    fresh.applyThemeFromPath(editortest::themePath());
    fresh.setInitialText(storage.string());
    if (fresh.string() != storage.string())
        return ::testing::AssertionFailure() << "text does not load back";
    return sameStyles(storage, fresh) << storage.string().toStdString();
}

const char kStart[] = "Title: Random\nAuthor: Zoë\n\n# Heading\n\nA paragraph with *emphasis* "
                      "and `code`.\n\n- one\n- two\n\n    indented\n\n```\nfenced\n```\n\n"
                      "> quote\n\nSetext\n---\n\n| a | b |\n|---|---|\n| 1 | 2 |\n\nEnd.\n";

}  // namespace

TEST(RandomEdits, DocumentAndStylesFollowTheBufferThroughThousandsOfEdits) {
    const int edits = environmentNumber("ORVANE_RANDOM_EDITS", 1500);
    const unsigned seed = unsigned(environmentNumber("ORVANE_RANDOM_EDIT_SEED", 20240525));
    RandomEdits random(seed);
    StoragePreferences preferences;
    preferences.extNotes = true;
    preferences.extCritic = true;
    SmartTextStorage storage(preferences);
    ASSERT_TRUE(storage.applyThemeFromPath(editortest::themePath()));
    storage.setInitialText(QString::fromUtf8(kStart));

    QString last;
    for (int step = 0; step < edits; step++) {
        const int op = random.number(100);
        QString what;
        if (storage.length() > 3000 && op < 60) {
            CharRange range = random.range(storage, 400);
            storage.replaceCharactersInRange(range, QString());
            what = QStringLiteral("cut %1+%2").arg(range.location).arg(range.length);
        } else if (op < 40) {
            CharRange range = random.range(storage, 0);
            QString text = random.fragment().left(1);
            if (text.at(0).isHighSurrogate())
                text = QStringLiteral("😀");
            storage.replaceCharactersInRange(range, text);
            what = QStringLiteral("type \"%1\" at %2").arg(text).arg(range.location);
        } else if (op < 55) {
            CharRange range = random.range(storage, 20);
            QString text = random.text(1 + random.number(6));
            storage.replaceCharactersInRange(range, text);
            what = QStringLiteral("paste \"%1\" over %2+%3").arg(text).arg(range.location).arg(range.length);
        } else if (op < 70) {
            CharRange range = random.range(storage, random.number(10) == 0 ? 200 : 8);
            storage.replaceCharactersInRange(range, QString());
            what = QStringLiteral("delete %1+%2").arg(range.location).arg(range.length);
        } else if (op < 80) {
            CharRange range = random.range(storage, 60);
            QString text = storage.string().mid(range.location, range.length);
            if (!text.isEmpty())
                text.insert(random.number(int(text.size() + 1)), random.text(1 + random.number(3)));
            storage.bulkReplaceCharactersInRange(range, text);
            what = QStringLiteral("bulk %1+%2").arg(range.location).arg(range.length);
        } else if (op < 92) {
            storage.undo();
            what = QStringLiteral("undo");
        } else {
            storage.redo();
            what = QStringLiteral("redo");
        }

        SCOPED_TRACE(QStringLiteral("step %1: %2\nbefore: %3").arg(step).arg(what, last).toStdString());
        ASSERT_TRUE(inStep(storage, preferences));
        last = storage.string();
    }
}

namespace {

void flatten(const std::vector<HeadingRow> &rows, std::vector<const HeadingRow *> &out) {
    for (const HeadingRow &row : rows) {
        out.push_back(&row);
        flatten(row.children, out);
    }
}

const char kSections[] = "Title: Sections\n\n# Één\n\nintro *text*\n\n## Kid ##\n\n- item\n"
                         "- item 2\n\n### Grandkid\n\n```\ncode\n```\n\n# Two 😀\n"
                         "## Learn C#\nbody\n## Next\n\n> quote {++add++}\n\nSetext\n---\n\n"
                         "text\n\n# Three\n\n#### Deep\n\n| a | b |\n|---|---|\n\nEnd.\n";

}  // namespace

// Line commands, heading levels, markup toggles, section moves and change
// tracking among typing, undo and redo: every command that changes the text
// undoes to the text before it and redoes to the text after it in one step,
// and the document and its styles follow every step.
TEST(RandomEdits, CommandsUndoInOneStepAndKeepTheDocumentInStep) {
    const int edits = environmentNumber("ORVANE_RANDOM_COMMANDS", 600);
    const unsigned seed = unsigned(environmentNumber("ORVANE_RANDOM_EDIT_SEED", 20240525));
    RandomEdits random(seed);
    StoragePreferences preferences;
    preferences.extNotes = true;
    preferences.extCritic = true;
    SmartTextStorage storage(preferences);
    ASSERT_TRUE(storage.applyThemeFromPath(editortest::themePath()));
    storage.setInitialText(QString::fromUtf8(kSections));

    const int actions[] = {1, 2, 3, 4, 10, 11, 7};
    QString last;
    for (int step = 0; step < edits; step++) {
        const int op = random.number(100);
        const QString before = storage.string();
        const quint64 generation = storage.editGeneration();
        bool command = true;
        QString what;
        if (op < 15) {
            command = false;
            CharRange range = random.range(storage, 6);
            QString text = random.text(1 + random.number(3));
            storage.replaceCharactersInRange(range, text);
            what = QStringLiteral("paste \"%1\" over %2+%3").arg(text).arg(range.location).arg(range.length);
        } else if (op < 40) {
            CharRange range = random.range(storage, 40);
            const int action = actions[random.number(int(std::size(actions)))];
            storage.shiftRange(range, action);
            what = QStringLiteral("shift %1 on %2+%3").arg(action).arg(range.location).arg(range.length);
        } else if (op < 52) {
            CharRange range = random.range(storage, 12);
            preferences.emphasisMarker = random.number(3);
            preferences.strongMarker = random.number(3);
            storage.setPreferences(preferences);
            const bool strong = random.number(2);
            strong ? storage.addStrongToRange(range) : storage.addEmphToRange(range);
            what = QStringLiteral("%1 (markers %2, %3) on %4+%5")
                       .arg(strong ? "strong" : "emphasis")
                       .arg(preferences.emphasisMarker).arg(preferences.strongMarker)
                       .arg(range.location).arg(range.length);
        } else if (op < 72) {
            std::vector<HeadingRow> rows = editortest::headingRows(storage);
            std::vector<const HeadingRow *> all;
            flatten(rows, all);
            if (all.empty())
                continue;
            std::vector<HeadingRow> moved{*all[size_t(random.number(int(all.size())))]};
            if (random.number(4) == 0)
                moved.push_back(*all[size_t(random.number(int(all.size())))]);
            const HeadingRow *target = all[size_t(random.number(int(all.size())))];
            const int mode = random.number(3);
            storage.moveToCHeadings(moved, mode == 0 ? target : nullptr,
                                    mode == 1 ? target : nullptr, mode == 2 ? target : nullptr);
            what = QStringLiteral("move %1 section(s) from %2 %3 %4")
                       .arg(moved.size()).arg(moved.front().start)
                       .arg(mode == 0 ? "onto" : mode == 1 ? "before" : "after")
                       .arg(target->start);
        } else if (op < 80) {
            command = false;
            CharRange range = random.range(storage, 30);
            switch (random.number(4)) {
            case 0: storage.increaseSelection(range); break;
            case 1: storage.decreaseSelection(range); break;
            case 2: storage.moveSelectionToNextParagraph(range); break;
            default: storage.moveSelectionToPreviousParagraph(range); break;
            }
            what = QStringLiteral("selection command on %1+%2").arg(range.location).arg(range.length);
            ASSERT_EQ(storage.string(), before) << what.toStdString();
        } else if (op < 84) {
            command = false;
            storage.toggleChangeTracking();
            what = QStringLiteral("tracking %1").arg(storage.isTrackingChanges() ? "on" : "off");
        } else if (op < 93) {
            command = false;
            storage.undo();
            what = QStringLiteral("undo");
        } else {
            command = false;
            storage.redo();
            what = QStringLiteral("redo");
        }

        SCOPED_TRACE(QStringLiteral("step %1: %2\nbefore: %3").arg(step).arg(what, last).toStdString());
        ASSERT_TRUE(inStep(storage, preferences));
        if (command && storage.editGeneration() != generation) {
            const QString after = storage.string();
            ASSERT_TRUE(storage.undo());
            ASSERT_EQ(storage.string(), before);
            ASSERT_TRUE(inStep(storage, preferences));
            ASSERT_TRUE(storage.redo());
            ASSERT_EQ(storage.string(), after);
        } else if (command) {
            ASSERT_EQ(storage.string(), before);
        }
        last = storage.string();
    }
}
