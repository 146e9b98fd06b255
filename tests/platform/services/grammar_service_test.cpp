// The grammar service over the system's English Link Grammar dictionary
// (link-grammar-dictionaries-en): which dictionary a locale gets, faulty
// sentences and their unlinked words, what is not judged, sentences judged
// on the service's own thread, and languages with no dictionary or a
// broken one.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/services/grammar/grammar_service.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using platform::GrammarService;
using Verdict = GrammarService::Verdict;

namespace {

GrammarService::Options english() { return {QStringLiteral("en"), {}}; }

QStringList unlinkedWords(const QString &sentence, const Verdict &verdict) {
    QStringList words;
    for (const GrammarService::Span &span : verdict.unlinked)
        words.append(sentence.mid(span.start, span.length));
    return words;
}

void write(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

TEST(GrammarService, ChoosesTheDictionaryOfTheLocalesLanguage) {
    const QString system = GrammarService::systemDataFolder();
    EXPECT_EQ(GrammarService::dictionaryFor(QStringLiteral("en_GB.UTF-8"), system), QStringLiteral("en"));
    EXPECT_EQ(GrammarService::dictionaryFor(QStringLiteral("en-US"), system), QStringLiteral("en"));
    EXPECT_EQ(GrammarService::dictionaryFor(QStringLiteral("C"), system), QStringLiteral("en"));
    EXPECT_EQ(GrammarService::dictionaryFor(QStringLiteral("POSIX"), system), QStringLiteral("en"));
    // No other language's grammar stands in: it would mark every sentence.
    EXPECT_EQ(GrammarService::dictionaryFor(QStringLiteral("de_DE.UTF-8"), system), QString());
    EXPECT_EQ(GrammarService::dictionaryFor(QStringLiteral("fr"), system), QString());
    QTemporaryDir empty;
    EXPECT_EQ(GrammarService::dictionaryFor(QStringLiteral("en_US"), empty.path()), QString());
    write(empty.filePath(QStringLiteral("de/4.0.dict")), "");
    EXPECT_EQ(GrammarService::dictionaryFor(QStringLiteral("de_AT"), empty.path()), QStringLiteral("de"));
}

TEST(GrammarService, FaultySentencesGiveTheirUnlinkedWordsAndCorrectionsPass) {
    GrammarService grammar(english());
    ASSERT_TRUE(grammar.hasDictionary());
    EXPECT_EQ(grammar.language(), QStringLiteral("en"));
    EXPECT_EQ(grammar.languageName(), QStringLiteral("English"));
    const std::pair<const char *, const char *> pairs[] = {
        {"He go to school yesterday.", "He went to school yesterday."},
        {"The cats sits on the mat.", "The cat sits on the mat."},
        {"I has a apple.", "I have an apple."},
        {"This are good ideas.", "These are good ideas."},
    };
    for (const auto &[faulty, corrected] : pairs) {
        const QString sentence = QString::fromLatin1(faulty);
        const Verdict verdict = grammar.check(sentence);
        EXPECT_EQ(verdict.kind, Verdict::Faulty) << faulty;
        EXPECT_FALSE(verdict.unlinked.isEmpty()) << faulty;
        EXPECT_LE(verdict.unlinked.size(), GrammarService::kMostUnlinked) << faulty;
        for (const QString &word : unlinkedWords(sentence, verdict))
            EXPECT_TRUE(sentence.split(QLatin1Char(' ')).contains(word) || word.size() == 1) << faulty << " " << word.toStdString();
        EXPECT_EQ(grammar.check(QString::fromLatin1(corrected)).kind, Verdict::Grammatical) << corrected;
    }
    EXPECT_EQ(unlinkedWords(QStringLiteral("I has a apple."), grammar.check(QStringLiteral("I has a apple."))),
              (QStringList{QStringLiteral("I"), QStringLiteral("a")}));
    // Names the dictionary does not know are taken as names.
    EXPECT_EQ(grammar.check(QStringLiteral("Orvane keeps your notes.")).kind, Verdict::Grammatical);
    // What was judged is remembered.
    ASSERT_TRUE(grammar.known(QStringLiteral("I have an apple.")).has_value());
    EXPECT_EQ(grammar.known(QStringLiteral("I have an apple."))->kind, Verdict::Grammatical);
    EXPECT_FALSE(grammar.known(QStringLiteral("Never asked about.")).has_value());
}

TEST(GrammarService, UnlinkedWordsAreFoundInTheSentencesOwnUnits) {
    GrammarService grammar(english());
    // Letters of two bytes and of two UTF-16 units before the fault.
    const QString sentence = QStringLiteral("Zoë and Renée say \U0001F600 that he go to school yesterday.");
    const Verdict verdict = grammar.check(sentence);
    ASSERT_EQ(verdict.kind, Verdict::Faulty);
    for (const QString &word : unlinkedWords(sentence, verdict)) {
        EXPECT_FALSE(word.trimmed().isEmpty());
        EXPECT_TRUE(sentence.contains(QLatin1Char(' ') + word + QLatin1Char(' ')) || sentence.startsWith(word) ||
                    word == QStringLiteral("\U0001F600"))
            << word.toStdString();
    }
}

TEST(GrammarService, WhatItCannotReadIsNotJudged) {
    GrammarService grammar(english());
    QString longest;
    for (int i = 0; i < GrammarService::kLongestSentence; i++)
        longest += i % 2 ? QStringLiteral("and ") : QStringLiteral("cats ");
    const QString tooLong = QStringLiteral("The ") + longest + QStringLiteral("dogs sleeps.");
    EXPECT_EQ(grammar.check(tooLong).kind, Verdict::NotJudged);
    EXPECT_EQ(grammar.check(QString()).kind, Verdict::NotJudged);
    EXPECT_EQ(grammar.check(QStringLiteral("   ")).kind, Verdict::NotJudged);
    EXPECT_EQ(grammar.check(QString(2000, QLatin1Char('x'))).kind, Verdict::NotJudged);
    // Bytes that are no language at all are judged without harm.
    const QString noise = QString::fromUtf8("\x01\x7f \xef\xbf\xbd ((( ]]] \"\" ''' ... !!");
    EXPECT_NE(grammar.check(noise).kind, Verdict::Grammatical);
}

TEST(GrammarService, JudgesRequestedSentencesOnItsOwnThread) {
    GrammarService grammar(english());
    QList<bool> loaded;
    QObject::connect(&grammar, &GrammarService::loaded, [&](bool available) { loaded.append(available); });
    QStringList told;
    QObject::connect(&grammar, &GrammarService::checked, [&](const QStringList &sentences) { told += sentences; });
    EXPECT_EQ(grammar.state(), GrammarService::State::Unloaded);
    const QObject requester;
    const QStringList sentences = {QStringLiteral("He go to school yesterday."),
                                   QStringLiteral("He went to school yesterday."),
                                   QStringLiteral("This are good ideas.")};
    for (const QString &sentence : sentences)
        grammar.request(sentence, &requester);
    // The request returns before the dictionary is loaded.
    EXPECT_EQ(grammar.state(), GrammarService::State::Loading);
    EXPECT_TRUE(grammar.isWorking());
    ASSERT_TRUE(testing_qt::spinUntil([&] { return told.size() == sentences.size() && !grammar.isWorking(); },
                                      std::chrono::seconds(30)))
        << told.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(loaded, QList<bool>{true});
    EXPECT_TRUE(grammar.isAvailable());
    EXPECT_EQ(told, sentences);
    EXPECT_EQ(grammar.known(sentences[0])->kind, Verdict::Faulty);
    EXPECT_EQ(grammar.known(sentences[1])->kind, Verdict::Grammatical);
    EXPECT_EQ(grammar.known(sentences[2])->kind, Verdict::Faulty);

    // A known sentence is not queued again.
    grammar.request(sentences[0], &requester);
    EXPECT_FALSE(grammar.isWorking());

    // What a requester cancels before it is parsed is dropped; an urgent
    // sentence goes ahead of those queued before it. The thread is held
    // while they are queued, so that none is parsed before the cancel.
    grammar.holdQueue(true);
    QStringList queued;
    for (int i = 0; i < 200; i++)
        queued.append(QStringLiteral("The %1 cats sleep on the mat.").arg(i));
    const QObject other;
    for (const QString &sentence : queued)
        grammar.request(sentence, &requester);
    grammar.request(QStringLiteral("The dog sleeps on the mat."), &other);
    grammar.request(QStringLiteral("She walk home."), &other, true);
    grammar.cancel(&requester);
    told.clear();
    grammar.holdQueue(false);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !grammar.isWorking(); }, std::chrono::seconds(30)));
    EXPECT_EQ(told, (QStringList{QStringLiteral("She walk home."), QStringLiteral("The dog sleeps on the mat.")}));
}

TEST(GrammarService, ALanguageWithoutADictionaryJudgesNothing) {
    GrammarService grammar({QStringLiteral("de_DE"), {}});
    EXPECT_FALSE(grammar.hasDictionary());
    EXPECT_EQ(grammar.languageName(), QStringLiteral("German"));
    EXPECT_FALSE(grammar.isAvailable());
    EXPECT_EQ(grammar.check(QStringLiteral("He go to school yesterday.")).kind, Verdict::NotJudged);
    const QObject requester;
    grammar.request(QStringLiteral("He go to school yesterday."), &requester);
    EXPECT_FALSE(grammar.isWorking());
    // The user is told once.
    EXPECT_TRUE(grammar.takeUnavailableNotice());
    EXPECT_FALSE(grammar.takeUnavailableNotice());
}

TEST(GrammarService, ABrokenDictionaryIsReportedAndJudgesNothing) {
    QTemporaryDir folder;
    write(folder.filePath(QStringLiteral("en/4.0.dict")), "this is ( not ; a dictionary <<< %%%\n");
    GrammarService grammar({QStringLiteral("en"), folder.path()});
    ASSERT_TRUE(grammar.hasDictionary());
    QList<bool> loaded;
    QObject::connect(&grammar, &GrammarService::loaded, [&](bool available) { loaded.append(available); });
    grammar.load();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !loaded.isEmpty(); }, std::chrono::seconds(30)));
    EXPECT_EQ(loaded, QList<bool>{false});
    EXPECT_EQ(grammar.state(), GrammarService::State::Failed);
    EXPECT_EQ(grammar.check(QStringLiteral("He go to school yesterday.")).kind, Verdict::NotJudged);
    const QObject requester;
    grammar.request(QStringLiteral("He go to school yesterday."), &requester);
    EXPECT_FALSE(grammar.isWorking());
}
