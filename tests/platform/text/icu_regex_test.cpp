// ICU's reading of patterns and templates on QRegularExpression: whole-string
// tests, Unicode classes and line terminators, "$n" templates over ranges,
// escaping, and invalid patterns that give neutral results.
#include <gtest/gtest.h>

#include "platform/text/icu_regex.h"
#include "support/qt_print.h"

using platform::IcuRegex;
using platform::TextRange;

TEST(IcuRegex, WholeStringMatchesAreAnchoredAtBothEndsAndFalseForInvalidPatterns) {
    using platform::matchesRegExp;
    EXPECT_TRUE(matchesRegExp("abc", "a.c"));
    EXPECT_FALSE(matchesRegExp("abc", "b"));
    EXPECT_FALSE(matchesRegExp("abcd", "a.c"));
    EXPECT_FALSE(matchesRegExp("xabc", "a.c"));
    EXPECT_TRUE(matchesRegExp("ab", "a|ab"));  // the alternation is inside the anchors
    EXPECT_FALSE(matchesRegExp("abc\n", "abc"));  // "\z", not "$": a final newline is text
    EXPECT_FALSE(matchesRegExp("abc", "(abc"));
    EXPECT_FALSE(matchesRegExp("", "["));
    EXPECT_FALSE(IcuRegex("(abc").isValid());
    EXPECT_FALSE(IcuRegex("(abc").errorString().isEmpty());

    // The table-of-contents filter: a word anywhere in a section, any case.
    EXPECT_TRUE(matchesRegExp("Some Words here", "(?i).*words.*"));
    EXPECT_FALSE(matchesRegExp("# Intro\n\nSome Words\nmore", "(?i).*words.*"));  // "." stops at lines...
    EXPECT_TRUE(IcuRegex("(?i).*words.*", IcuRegex::DotMatchesLineSeparators)
                    .matchesWhole("# Intro\n\nSome Words\nmore"));  // ...unless told otherwise

    // Comments in an extended pattern do not swallow the closing anchor.
    EXPECT_TRUE(IcuRegex("a b c # letters", IcuRegex::AllowCommentsAndWhitespace).matchesWhole("abc"));
    EXPECT_FALSE(IcuRegex("a b c # letters", IcuRegex::AllowCommentsAndWhitespace).matchesWhole("abcd"));
}

TEST(IcuRegex, ClassesAndLineTerminatorsFollowUnicodeAsInIcu) {
    EXPECT_TRUE(IcuRegex("\\w+").matchesWhole(QStringLiteral("Ünïcødé")));
    EXPECT_TRUE(IcuRegex("\\d+").matchesWhole(QStringLiteral("٣٤")));  // Arabic-Indic digits
    EXPECT_TRUE(IcuRegex("a\\sb").matchesWhole(QStringLiteral("a\u00A0b")));
    EXPECT_TRUE(IcuRegex("\\bcafé\\b").firstMatch(QStringLiteral("un café noir")).hasMatch());
    EXPECT_TRUE(IcuRegex("[[:alpha:]]+").matchesWhole(QStringLiteral("Ωmega")));
    EXPECT_TRUE(IcuRegex("\\p{Lu}\\p{Ll}+").matchesWhole(QStringLiteral("Ärger")));

    // "." stops at every Unicode line terminator; "$" matches before one.
    for (const QChar terminator : {QChar(u'\n'), QChar(u'\r'), QChar(0x0B), QChar(0x0C), QChar(0x85),
                                   QChar(0x2028), QChar(0x2029)}) {
        const QString text = QStringLiteral("a") + terminator + QStringLiteral("c");
        EXPECT_FALSE(IcuRegex("a.c").matchesWhole(text)) << int(terminator.unicode());
        EXPECT_TRUE(IcuRegex("^a$", IcuRegex::AnchorsMatchLines).firstMatch(text).hasMatch()) << int(terminator.unicode());
    }
    // Unix lines: only LF ends a line.
    EXPECT_TRUE(IcuRegex("a.c", IcuRegex::UseUnixLineSeparators).matchesWhole(QStringLiteral("a\u2028c")));
    EXPECT_FALSE(IcuRegex("a.c", IcuRegex::UseUnixLineSeparators).matchesWhole("a\nc"));
    EXPECT_TRUE(IcuRegex("ABC", IcuRegex::CaseInsensitive).matchesWhole("abc"));
}

TEST(IcuRegex, TemplatesTakeDollarGroupsAndBackslashEscapes) {
    const IcuRegex heading("(?:\\A|\\n+)(#+)[ \\t]*(.*?)([ ]*#+[ ]*)$", IcuRegex::AnchorsMatchLines);
    EXPECT_EQ(heading.replaceMatches("## Title #####", "$1 $2 $1"), "## Title ##");

    const IcuRegex pair("(a)(b)?");
    auto expand = [&](const QString &templ) { return IcuRegex::expandTemplate(templ, pair.firstMatch("ac")); };
    EXPECT_EQ(expand("[$0|$1|$2]"), "[a|a|]");     // group 2 took no part: empty
    EXPECT_EQ(expand("$12"), "a2");                // two groups: "$12" is group 1, then "2"
    EXPECT_EQ(expand("$9"), "");                   // no such group
    EXPECT_EQ(expand("\\$1 costs $"), "$1 costs $");
    EXPECT_EQ(expand("\\\\$1\\"), "\\a\\");        // a lone final backslash stays
    EXPECT_EQ(expand("\\n"), "n");                 // not a newline, not a group

    const IcuRegex many("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)");
    EXPECT_EQ(IcuRegex::expandTemplate("$11-$10-$1", many.firstMatch("abcdefghijk")), "k-j-a");
}

TEST(IcuRegex, ReplacementsWithinARangeTreatItAsATextOfItsOwn) {
    const IcuRegex bullets("^([ \\t]*)(?:(?:[\\*\\+\\-][ \\t]+)|(?:\\d+\\.[ \\t]+))(.*?)$", IcuRegex::AnchorsMatchLines);
    const QString text = "- one\n- two\n  3. three\n- four";
    int count = -1;
    EXPECT_EQ(bullets.replaceMatches(text, "$1$2", std::nullopt, &count), "one\ntwo\n  three\nfour");
    EXPECT_EQ(count, 4);
    // Lines 2 and 3 only: from the "-" of "two" to the end of "three".
    EXPECT_EQ(bullets.replaceMatches(text, "$1$2", TextRange{6, 16}, &count), "- one\ntwo\n  three\n- four");
    EXPECT_EQ(count, 2);
    // "^" matches at the start of the range even inside a line.
    EXPECT_EQ(IcuRegex("^x").replaceMatches("axx", "y", TextRange{1, 2}), "ayx");
    // Ranges past the end are clipped; empty matches advance.
    EXPECT_EQ(IcuRegex("x*").replaceMatches("ab", "-", TextRange{1, 100}), "a-b-");
    EXPECT_EQ(IcuRegex("(").replaceMatches("text", "$0", std::nullopt, &count), "text");
    EXPECT_EQ(count, 0);
}

TEST(IcuRegex, EscapedPrefixesSpecialCharactersOnceAndWritesTabsAndNewlines) {
    using platform::escaped;
    EXPECT_EQ(escaped("a.b"), "a\\.b");
    EXPECT_EQ(escaped("\\"), "\\\\");
    EXPECT_EQ(escaped("*+?|{[()^$.#"), "\\*\\+\\?\\|\\{\\[\\(\\)\\^\\$\\.\\#");
    EXPECT_EQ(escaped("}] -"), "}] -");
    EXPECT_EQ(escaped("a\tb\nc"), "a\\tb\\nc");
    // What it escapes is then matched literally.
    for (const QString &text : {QStringLiteral("1+1=2 (really?)"), QStringLiteral("C:\\path\\*.md"),
                                QStringLiteral("#tag [x] {y} ^$|"), QStringLiteral("tab\there\nnext")})
        EXPECT_TRUE(platform::matchesRegExp(text, escaped(text))) << text.toStdString();
}
