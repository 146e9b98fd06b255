// The spelling service over the system's American English dictionary
// (hunspell-en-us): which dictionary a locale gets, words and guesses, the
// corrections one edit away, and the user's word list on disk: kept, read at
// start, its faults told, and a list too long read only in part.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/runtime/alerts.h"
#include "platform/services/spelling/spell_service.h"
#include "support/scratch_disk.h"

using platform::SpellService;

namespace {

SpellService::Options english(const QString &personalList = QString()) {
    return SpellService::Options{QStringLiteral("en_US"), {}, personalList};
}

void touch(const QString &path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

QString fileText(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

TEST(SpellService, ChoosesTheDictionaryOfTheLocale) {
    QTemporaryDir folder;
    for (const char *name : {"en_US", "de_AT", "pt_BR"})
        touch(folder.filePath(QString::fromLatin1(name) + QStringLiteral(".dic")));
    const QStringList folders{folder.path()};
    EXPECT_EQ(SpellService::dictionaryFor(QStringLiteral("pt_BR.UTF-8"), folders), QStringLiteral("pt_BR"));
    EXPECT_EQ(SpellService::dictionaryFor(QStringLiteral("pt-BR"), folders), QStringLiteral("pt_BR"));
    // Another country of the same language, then American English.
    EXPECT_EQ(SpellService::dictionaryFor(QStringLiteral("de_DE"), folders), QStringLiteral("de_AT"));
    EXPECT_EQ(SpellService::dictionaryFor(QStringLiteral("fr_FR"), folders), QStringLiteral("en_US"));
    EXPECT_EQ(SpellService::dictionaryFor(QStringLiteral("C"), folders), QStringLiteral("en_US"));
    QTemporaryDir empty;
    EXPECT_EQ(SpellService::dictionaryFor(QStringLiteral("en_US"), {empty.path()}), QString());
}

TEST(SpellService, KnowsWordsAndGuessesOthers) {
    SpellService spelling(english());
    ASSERT_TRUE(spelling.isAvailable());
    EXPECT_EQ(spelling.language(), QStringLiteral("en_US"));
    for (const char *word : {"house", "House", "don't", "don\u2019t", "Paris", "colors"})
        EXPECT_TRUE(spelling.isCorrect(QString::fromUtf8(word))) << word;
    for (const char *word : {"becuase", "paris", "colours", "qzxwv"})
        EXPECT_FALSE(spelling.isCorrect(QString::fromUtf8(word))) << word;

    const QStringList guesses = spelling.suggestions(QStringLiteral("becuase"));
    ASSERT_FALSE(guesses.isEmpty());
    EXPECT_EQ(guesses.first(), QStringLiteral("because"));
    EXPECT_LE(spelling.suggestions(QStringLiteral("teh")).size(), 5);
    EXPECT_EQ(spelling.suggestions(QStringLiteral("teh"), 2).size(), 2);

    // One edit away: a swap, a letter changed, left out, or added.
    EXPECT_EQ(spelling.singleEditCorrections(QStringLiteral("becuase")), QStringList{QStringLiteral("because")});
    EXPECT_EQ(spelling.singleEditCorrections(QStringLiteral("definately")), QStringList{QStringLiteral("definitely")});
    EXPECT_TRUE(spelling.singleEditCorrections(QStringLiteral("abolutely")).contains(QStringLiteral("absolutely")));
    EXPECT_TRUE(spelling.singleEditCorrections(QStringLiteral("realy")).contains(QStringLiteral("really")));
    // Many words are one edit from "teh"; none from a correct word or from
    // nonsense.
    EXPECT_GT(spelling.singleEditCorrections(QStringLiteral("teh")).size(), 2);
    EXPECT_EQ(spelling.singleEditCorrections(QStringLiteral("teh"), 2).size(), 2);
    EXPECT_TRUE(spelling.singleEditCorrections(QStringLiteral("house")).isEmpty());
    EXPECT_TRUE(spelling.singleEditCorrections(QStringLiteral("qzxwvq")).isEmpty());
}

// A run of letters longer than any word (encoded data, a hash written out)
// is not judged: it is not marked, and the search for a correction, which
// grows with the square of its length, is not made.
TEST(SpellService, RunsLongerThanAnyWordAreNotJudged) {
    SpellService spelling(english());
    ASSERT_TRUE(spelling.isAvailable());
    const QString longest = QStringLiteral("pneumonoultramicroscopicsilicovolcanoconiosis");
    EXPECT_TRUE(spelling.isCorrect(longest));
    QString typo = longest;
    typo.remove(3, 1);
    EXPECT_FALSE(spelling.isCorrect(typo));
    EXPECT_EQ(spelling.singleEditCorrections(typo), QStringList{longest});

    const QString run = QStringLiteral("abcdefghij").repeated(3000);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(spelling.isCorrect(run));
    EXPECT_TRUE(spelling.singleEditCorrections(run).isEmpty());
    EXPECT_TRUE(spelling.suggestions(run).isEmpty());
    // The search, made, takes minutes at this length: the bound catches it
    // however busy the machine, and says nothing of its speed otherwise.
    EXPECT_LT(clock.elapsed(), 30000);
}

TEST(SpellService, WithoutADictionaryNothingIsMisspelt) {
    QTemporaryDir empty;
    SpellService spelling({QString(), {empty.path()}, QString()});
    EXPECT_FALSE(spelling.isAvailable());
    EXPECT_TRUE(spelling.language().isEmpty());
    EXPECT_TRUE(spelling.isCorrect(QStringLiteral("qzxwv")));
    EXPECT_TRUE(spelling.suggestions(QStringLiteral("becuase")).isEmpty());
    EXPECT_TRUE(spelling.singleEditCorrections(QStringLiteral("becuase")).isEmpty());
}

TEST(SpellService, LearntWordsAreKeptOnDiskAndReadAtStart) {
    QTemporaryDir home;
    const QString list = home.filePath(QStringLiteral("Tessaro Orvane 4/Spelling/Learned Words.txt"));
    {
        SpellService spelling(english(list));
        EXPECT_FALSE(spelling.isCorrect(QStringLiteral("Orvane")));
        int changed = 0;
        QObject::connect(&spelling, &SpellService::wordsChanged, [&changed] { changed++; });
        EXPECT_TRUE(spelling.learnWord(QStringLiteral("Orvane")));
        EXPECT_TRUE(spelling.learnWord(QStringLiteral("Zürichsee")));
        EXPECT_TRUE(spelling.learnWord(QStringLiteral("Orvane")));
        EXPECT_EQ(changed, 3);
        EXPECT_TRUE(spelling.isCorrect(QStringLiteral("Orvane")));
        EXPECT_TRUE(spelling.hasLearnedWord(QStringLiteral("Zürichsee")));
        // A learnt word may be what one edit reaches.
        EXPECT_EQ(spelling.singleEditCorrections(QStringLiteral("Orvnae")), QStringList{QStringLiteral("Orvane")});
        EXPECT_FALSE(spelling.learnWord(QStringLiteral("  ")));
    }
    EXPECT_EQ(fileText(list), QStringLiteral("Orvane\nZürichsee\n"));

    SpellService again(english(list));
    EXPECT_TRUE(again.isCorrect(QStringLiteral("Orvane")));
    EXPECT_TRUE(again.isCorrect(QStringLiteral("Zürichsee")));
    EXPECT_EQ(again.learnedWords(), (QStringList{QStringLiteral("Orvane"), QStringLiteral("Zürichsee")}));
    EXPECT_FALSE(again.isCorrect(QStringLiteral("Orvanes")));
}

TEST(SpellService, AWordListThatCannotBeWrittenStillLearnsForTheSession) {
    QTemporaryDir home;
    // The list's folder is a file: nothing can be made there.
    touch(home.filePath(QStringLiteral("blocked")));
    SpellService spelling(english(home.filePath(QStringLiteral("blocked/Learned Words.txt"))));
    EXPECT_FALSE(spelling.learnWord(QStringLiteral("Orvane")));
    EXPECT_TRUE(spelling.isCorrect(QStringLiteral("Orvane")));
}

// Learn Spelling into a list that cannot be written says so, once while the
// list stays unwritable: the word counts as correct for the session only,
// and a later start indeed does not know it.
TEST(SpellService, AWordListThatCannotBeWrittenIsToldOnce) {
    QTemporaryDir home;
    const QString list = home.filePath(QStringLiteral("Learned Words.txt"));
    // A folder in the list's place.
    ASSERT_TRUE(QDir().mkpath(list));
    platform::ScriptedAlerts alerts;
    {
        SpellService spelling(english(list));
        EXPECT_FALSE(spelling.learnWord(QStringLiteral("Orvane")));
        ASSERT_EQ(alerts.count(), 1);
        EXPECT_EQ(alerts.shown().last().messageText, QStringLiteral("The learned word cannot be kept."));
        EXPECT_TRUE(alerts.shown().last().informativeText.startsWith(
            QStringLiteral("“Orvane” counts as spelt correctly until the program quits, but it is not kept")))
            << alerts.shown().last().informativeText.toStdString();
        EXPECT_TRUE(alerts.shown().last().informativeText.contains(list));
        EXPECT_FALSE(spelling.learnWord(QStringLiteral("Zqxlearnt")));
        EXPECT_EQ(alerts.count(), 1) << "told once";
        EXPECT_TRUE(spelling.isCorrect(QStringLiteral("Orvane")));
        EXPECT_TRUE(spelling.isCorrect(QStringLiteral("Zqxlearnt")));

        // Written again, the list takes words; a fault after that is told again.
        ASSERT_TRUE(QDir(list).removeRecursively());
        EXPECT_TRUE(spelling.learnWord(QStringLiteral("Tessaro")));
        EXPECT_EQ(fileText(list), QStringLiteral("Tessaro\n"));
        ASSERT_TRUE(QFile::remove(list));
        ASSERT_TRUE(QDir().mkpath(list));
        EXPECT_FALSE(spelling.learnWord(QStringLiteral("Qwertzish")));
        EXPECT_EQ(alerts.count(), 2);
    }

    // A read-only disk under a list that holds words.
    testing_qt::ScratchDisk disk(1024 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << "a read-only disk needs the right to mount (root)";
    const QString onDisk = disk.path() + QStringLiteral("/Learned Words.txt");
    {
        SpellService spelling(english(onDisk));
        EXPECT_TRUE(spelling.learnWord(QStringLiteral("Orvane")));
    }
    ASSERT_TRUE(disk.makeReadOnly());
    {
        SpellService spelling(english(onDisk));
        EXPECT_TRUE(spelling.isCorrect(QStringLiteral("Orvane")));
        EXPECT_FALSE(spelling.learnWord(QStringLiteral("Zqxlearnt")));
        ASSERT_EQ(alerts.count(), 3);
        EXPECT_TRUE(alerts.shown().last().informativeText.contains(QStringLiteral("Zqxlearnt")));
        EXPECT_TRUE(spelling.isCorrect(QStringLiteral("Zqxlearnt")));
    }
    SpellService restarted(english(onDisk));
    EXPECT_TRUE(restarted.isCorrect(QStringLiteral("Orvane")));
    EXPECT_FALSE(restarted.isCorrect(QStringLiteral("Zqxlearnt")));
    EXPECT_EQ(alerts.count(), 3);
}

// A list of 32 MB: only its end is read, the words learnt last, and the user
// is told that the list was cut. A list within the bound is read whole,
// without a word.
TEST(SpellService, AWordListTooLongIsReadFromItsEndAndTheUserIsTold) {
    QTemporaryDir home;
    const QString list = home.filePath(QStringLiteral("Learned Words.txt"));
    QByteArray words;
    int count = 0;
    while (words.size() < 32 * 1024 * 1024)
        words += "zq" + QByteArray::number(count++).rightJustified(8, '0') + '\n';
    {
        QFile file(list);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(words), words.size());
    }
    const auto word = [](int i) { return QStringLiteral("zq") + QString::number(i).rightJustified(8, u'0'); };
    platform::ScriptedAlerts alerts;
    {
        SpellService spelling(english(list));
        EXPECT_TRUE(spelling.isCorrect(word(count - 1)));
        EXPECT_TRUE(spelling.isCorrect(word(count - 1000)));
        EXPECT_FALSE(spelling.isCorrect(word(0)));
        EXPECT_FALSE(spelling.isCorrect(word(count / 2)));
        // Whole lines only: the first word read is one of the list.
        const QStringList learned = spelling.learnedWords();
        ASSERT_FALSE(learned.isEmpty());
        EXPECT_EQ(learned.size(), SpellService::kMostPersonalListBytes / 11);
        EXPECT_EQ(learned.first(), word(count - int(learned.size())));
        ASSERT_EQ(alerts.count(), 1);
        EXPECT_EQ(alerts.shown().last().messageText,
                  QStringLiteral("The list of learned words is too long to be read in full."));
        EXPECT_TRUE(alerts.shown().last().informativeText.contains(list));

        // A word learnt now goes to the end, and is read at the next start.
        EXPECT_TRUE(spelling.learnWord(QStringLiteral("Orvane")));
    }
    SpellService again(english(list));
    EXPECT_TRUE(again.isCorrect(QStringLiteral("Orvane")));
    EXPECT_EQ(alerts.count(), 2);

    // Within the bound: all of it, and nothing to tell.
    ASSERT_TRUE(QFile::resize(list, SpellService::kMostPersonalListBytes / 11 * 11));
    SpellService whole(english(list));
    EXPECT_TRUE(whole.isCorrect(word(0)));
    EXPECT_EQ(whole.learnedWords().size(), SpellService::kMostPersonalListBytes / 11);
    EXPECT_EQ(alerts.count(), 2);
}
