// The sentences grammar reads in Markdown: what they say once the markup
// is left out, where they stand, where they end, and which of them can be
// judged at all.
#include <gtest/gtest.h>

#include <cstring>

#include "editor/markdown/prose_sentences.h"
#include "library/engine.h"
#include "library/token.h"
#include "library/tzr.h"
#include "support/qt_print.h"

namespace {

// The sentences of an ASCII text (its bytes are its units).
std::vector<prose::Sentence> read(const char *markdown) {
    tzr_engine *engine = tzr_engine_create_with_string(markdown, TZR_EXT_SMART | TZR_EXT_NOTES | TZR_EXT_CRITIC);
    const size_t length = strlen(markdown);
    token *root = tzr_engine_parse_substring(engine, 0, length);
    const std::vector<prose::Excluded> excluded = prose::excludedRanges(root, 0, qsizetype(length));
    std::vector<prose::Sentence> found = prose::sentences(root, QString::fromLatin1(markdown), 0, excluded);
    token_tree_free(root);
    tzr_engine_free(engine, true);
    return found;
}

// The sentences' texts, one a line.
QString texts(const std::vector<prose::Sentence> &found, bool judgedOnly = false) {
    QStringList list;
    for (const prose::Sentence &sentence : found)
        if (sentence.judged || !judgedOnly)
            list.append(sentence.text);
    return list.join(QLatin1Char('\n'));
}

QString judged(const std::vector<prose::Sentence> &found) { return texts(found, true); }

QString lines(const QStringList &list) { return list.join(QLatin1Char('\n')); }

}  // namespace

TEST(ProseSentences, ReadWhatTheTextSaysAndKnowWhereEachCharacterStands) {
    const char *markdown = "He **went** to [school](http://x.org) yesterday.[^1] I\n"
                           "has a _red_ apple. It is (mostly) true!\n";
    const std::vector<prose::Sentence> found = read(markdown);
    EXPECT_EQ(texts(found), lines({QStringLiteral("He went to school yesterday."),
                                         QStringLiteral("I has a red apple."), QStringLiteral("It is true!")}));
    EXPECT_EQ(judged(found), texts(found));
    const QString source = QString::fromLatin1(markdown);
    for (const prose::Sentence &sentence : found) {
        ASSERT_EQ(sentence.positions.size(), size_t(sentence.text.size()));
        for (qsizetype i = 0; i < sentence.text.size(); i++) {
            // Every character but the spaces that stand for line ends is
            // the text's own, where it stands.
            if (sentence.text[i] != QLatin1Char(' ') || source[sentence.positions[size_t(i)]] != QLatin1Char('\n')) {
                EXPECT_EQ(source[sentence.positions[size_t(i)]], sentence.text[i]) << sentence.text.toStdString();
            }
        }
        EXPECT_EQ(sentence.start, sentence.positions.front());
        EXPECT_EQ(sentence.end, sentence.positions.back() + 1);
    }
    EXPECT_EQ(found[0].start, 0);
    EXPECT_EQ(source.mid(found[1].start, found[1].end - found[1].start), QStringLiteral("I\nhas a _red_ apple."));
}

TEST(ProseSentences, SentencesThatHoldWhatIsNoProseAreNotJudged) {
    const std::vector<prose::Sentence> found = read("He runs `code` here.\n\n"
                                                    "He adds $x+1$ here.\n\n"
                                                    "He {++adds++} text here.\n\n"
                                                    "He sees <http://x.org> here.\n\n"
                                                    "He sees <b>bold</b> here.\n\n"
                                                    "He sees ![a picture](p.png) here.\n\n"
                                                    "He sees http://x.org/page here.\n\n"
                                                    "He sees the [?glossary] here.\n\n"
                                                    "He sees &copy; here.\n\n"
                                                    "He reads it all.\n");
    EXPECT_EQ(found.size(), 10u);
    EXPECT_EQ(judged(found), QStringLiteral("He reads it all."));
}

TEST(ProseSentences, OnlyBlocksOfRunningTextHoldSentences) {
    const std::vector<prose::Sentence> found = read("Title: The cats sits here.\n"
                                                    "Author: He go home.\n\n"
                                                    "# The heading says it all.\n\n"
                                                    "```\nThe fenced code is here.\n```\n\n"
                                                    "    The indented code is here.\n\n"
                                                    "| The cell is here. | Two. |\n|---|---|\n| A row is here. | B. |\n\n"
                                                    "<div>The block of HTML is here.</div>\n\n"
                                                    "[ref]: http://x.org \"The title is here.\"\n\n"
                                                    "> The quote goes\n> on here.\n\n"
                                                    "- The first item is here.\n- The second item\n  goes on here.\n\n"
                                                    "[^1]: The note is here.\n");
    EXPECT_EQ(texts(found), lines({QStringLiteral("The heading says it all."),
                                         QStringLiteral("The quote goes on here."),
                                         QStringLiteral("The first item is here."),
                                         QStringLiteral("The second item goes on here."),
                                         QStringLiteral("The note is here.")}));
    EXPECT_EQ(judged(found), texts(found));
}

TEST(ProseSentences, WhereSentencesEndAndWhichAreSentencesAtAll) {
    EXPECT_EQ(texts(read("Dr. Smith met J. Doe at 3.30 today. They talked, e.g. about cats. Why? Fine!\n")),
              lines({QStringLiteral("Dr. Smith met J. Doe at 3.30 today."),
                           QStringLiteral("They talked, e.g. about cats."), QStringLiteral("Why?"),
                           QStringLiteral("Fine!")}));
    EXPECT_EQ(texts(read("He said \"Go home.\" Then he left... and came back.\n")),
              lines({QStringLiteral("He said \"Go home.\""),
                           QStringLiteral("Then he left... and came back.")}));
    // A heading or an item without a full stop, a sentence being typed, one
    // in lower case, one word: no sentences to judge.
    const std::vector<prose::Sentence> found = read("## Getting started\n\n"
                                                    "- Fast parsing\n\n"
                                                    "The first one is done. The second one is\n\n"
                                                    "lower case goes here.\n\n"
                                                    "Done.\n\n"
                                                    "1999 was the year.\n");
    EXPECT_EQ(judged(found), lines({QStringLiteral("The first one is done."),
                                          QStringLiteral("1999 was the year.")}));
    EXPECT_EQ(found.size(), 7u);
    EXPECT_TRUE(read("").empty());
    EXPECT_TRUE(prose::sentences(nullptr, QString(), 0, {}).empty());
}
