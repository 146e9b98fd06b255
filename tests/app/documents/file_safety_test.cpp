// Documents never lose or change data: another program's version is taken
// in only once it has settled, and a merge that would drop typed text asks
// instead.
#include <random>

#include "app/three_way_merge.h"
#include "app/documents/document_fixture.h"

using namespace documents_test;
using testing_qt::spinFor;
using testing_qt::spinUntil;
using namespace std::chrono_literals;

TEST(ThreeWayMerge, AMergeThatDropsTypedTextIsNoSuccess) {
    // The other version deletes the paragraph being typed in: whatever the
    // patches do, a result without the typed text is never a success.
    const char *words[] = {"alpha", "beta", "gamma", "delta", "river", "stone",
                           "light", "paper", "green", "north", "window", "table"};
    int caught = 0;
    int keptElsewhere = 0;
    for (int trial = 0; trial < 400; trial++) {
        std::mt19937 random{unsigned(trial)};
        QStringList paragraphs;
        const int count = 4 + int(random() % 6);
        for (int i = 0; i < count; i++) {
            QStringList line;
            for (int j = 8 + int(random() % 30); j > 0; j--)
                line << QString::fromLatin1(words[random() % 12]);
            paragraphs << line.join(u' ') + u'.';
        }
        const QString base = paragraphs.join(QStringLiteral("\n\n")) + u'\n';
        const int typedIn = int(random() % unsigned(count));
        const QString typed = QStringLiteral(" typed%1 words").arg(trial);
        QStringList mine = paragraphs;
        mine[typedIn].insert(int(random() % unsigned(mine[typedIn].size() + 1)), typed);
        const QString edited = mine.join(QStringLiteral("\n\n")) + u'\n';

        QStringList theirs = paragraphs;
        theirs.removeAt(typedIn);
        const MergeResult merged = mergeOriginal(base, edited, theirs.join(QStringLiteral("\n\n")) + u'\n');
        if (merged.ok && merged.keepsTyped)
            EXPECT_TRUE(merged.text.contains(typed)) << "trial " << trial;
        else if (merged.ok)
            caught++;

        // A change elsewhere merges as before, the typing kept.
        QStringList other = paragraphs;
        other[(typedIn + 1) % count].prepend(QStringLiteral("New words. "));
        const MergeResult elsewhere = mergeOriginal(base, edited, other.join(QStringLiteral("\n\n")) + u'\n');
        if (elsewhere.ok && elsewhere.keepsTyped && elsewhere.text.contains(typed) &&
            elsewhere.text.contains("New words. "))
            keptElsewhere++;
    }
    EXPECT_GT(caught, 0) << "no trial lost the typing: the check was never needed";
    EXPECT_GE(keptElsewhere, 390);

    // A file read while its program had emptied it.
    QString text;
    for (int i = 0; i < 60; i++)
        text += QStringLiteral("Line %1 of the document as it was saved.\n").arg(i);
    const MergeResult emptied = mergeOriginal(text, text + "and typed since", QString());
    EXPECT_FALSE(emptied.ok && emptied.keepsTyped);
    EXPECT_TRUE(keepsAddedText("ab", "aXb", "aXb!"));
    EXPECT_FALSE(keepsAddedText("ab", "aXYb", "aYb"));
    EXPECT_TRUE(keepsAddedText("same", "same", ""));
}

TEST_F(DocumentFixture, AFileEmptiedAndThenWrittenByAnotherProgramKeepsTheTypedText) {
    prefs().setBool(true, "MERGE_FILE_CHANGES");
    QByteArray original;
    for (int i = 0; i < 40; i++)
        original += "Line " + QByteArray::number(i) + " of the text another program rewrites.\n";
    SmartEditorDocument *document = open("rewritten.md", original);
    ASSERT_TRUE(document);
    type(document, "typed before the other program wrote");

    // Truncated, a pause longer than the presenter's debounce, then written.
    ASSERT_TRUE(writeAll(path("rewritten.md"), QByteArray()));
    spinFor(300ms);
    EXPECT_TRUE(text(document).endsWith("typed before the other program wrote"));
    QByteArray theirs = original;
    theirs.replace("Line 3 of", "Line three of");
    ASSERT_TRUE(writeAll(path("rewritten.md"), theirs));
    ASSERT_TRUE(spinUntil([&] { return text(document).contains("Line three of"); }, 5s));
    EXPECT_TRUE(text(document).endsWith("typed before the other program wrote"));
    EXPECT_EQ(document->fileString(), QString::fromUtf8(theirs));
    EXPECT_EQ(alerts.count(), 0);
}

TEST_F(DocumentFixture, AMergeThatWouldLoseTypedTextAsksWhichVersionToKeep) {
    prefs().setBool(true, "MERGE_FILE_CHANGES");
    // Another program deletes the paragraph being typed in: every patch
    // applies, and the typing would go with the paragraph.
    const QString original = "The first paragraph has a number of words in it, enough to match.\n\n"
                             "The second paragraph is where the typing goes, and it is long as well.\n\n"
                             "The third paragraph stays.\n";
    QString theirs = original;
    theirs.remove(original.indexOf("The second"), original.indexOf("The third") - original.indexOf("The second"));
    const QStringList answers{"Keep Mine", "Take Theirs", "Merge as CriticMarkup"};
    for (int answer = 0; answer < 3; answer++) {
        const QString name = QStringLiteral("deleted%1.md").arg(answer);
        SmartEditorDocument *document = open(name, original.toUtf8());
        ASSERT_TRUE(document);
        storage(document)->replaceCharactersInRange({original.indexOf("typing goes") + 11, 0}, " (typed here)");
        const QString mine = text(document);
        ASSERT_TRUE(mine.contains("typing goes (typed here),"));
        const qsizetype before = alerts.count();
        alerts.addAnswers({answer});
        ASSERT_TRUE(renameSave(path(name), theirs.toUtf8()));
        ASSERT_TRUE(spinUntil([&] { return alerts.count() > before; }, 5s)) << answers[answer].toStdString();
        EXPECT_EQ(alerts.shown().last().messageText, "File has changed");
        EXPECT_EQ(alerts.shown().last().buttons, answers);
        EXPECT_EQ(document->fileString(), theirs);
        if (answer == 0) {
            EXPECT_EQ(text(document), mine);
            EXPECT_TRUE(document->isDocumentEdited());
        } else if (answer == 1) {
            EXPECT_EQ(text(document), theirs);
            EXPECT_FALSE(document->isDocumentEdited());
        } else {
            const QString marked = text(document);
            EXPECT_TRUE(marked.contains("{++") && marked.contains("(typed here)") &&
                        marked.endsWith("The third paragraph stays.\n"))
                << marked.toStdString();
            EXPECT_TRUE(document->isDocumentEdited());
        }
        spinFor(100ms);
        EXPECT_EQ(alerts.count(), before + 1) << "asked once";
    }
}
