// Another program's version of a document's file, at any size: hundreds of
// scattered changes merged into a large document with scattered typing,
// taken in without a question and equal to what git merges of the three
// texts; and a version past the size a file opens without asking, told of
// by its size, kept out (nothing saves over it unasked, quitting puts the
// typed text beside it) or opened as opening asks, the typed text put
// beside it first.
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>

#include <random>
#include <set>

#include "app/documents/document_fixture.h"
#include "support/large_documents.h"

using namespace documents_test;
using platform::Document;
using testing_qt::spinUntil;

namespace {

struct OutsideVersions : DocumentFixture {};

QString joined(const QStringList &lines) { return lines.join(u'\n') + u'\n'; }

// What git merges of the three texts, as the independent reference; nothing
// when git is not on this machine (or fails).
std::optional<QString> gitMerge(const QString &folder, const QString &mine, const QString &base, const QString &theirs,
                                int *conflicts) {
    const QString git = QStandardPaths::findExecutable(QStringLiteral("git"));
    if (git.isEmpty())
        return std::nullopt;
    const QString minePath = folder + "/mine.txt", basePath = folder + "/base.txt", theirsPath = folder + "/theirs.txt";
    if (!writeAll(minePath, mine.toUtf8()) || !writeAll(basePath, base.toUtf8()) ||
        !writeAll(theirsPath, theirs.toUtf8()))
        return std::nullopt;
    QProcess merge;
    merge.start(git, {"merge-file", "-p", "-q", minePath, basePath, theirsPath});
    if (!merge.waitForFinished(120000) || merge.exitStatus() != QProcess::NormalExit || merge.exitCode() < 0)
        return std::nullopt;
    *conflicts = merge.exitCode();
    return QString::fromUtf8(merge.readAllStandardOutput());
}

}  // namespace

// A document of 1 MB, then of 5 MB, with 50 edits typed here and there;
// another program changes some hundreds of scattered lines, none near an
// edit (a word rewritten, a sentence added, a line added or deleted). The
// merge keeps every change of both, so it is taken in without a question,
// and it is what git merges of the same three texts.
TEST_F(OutsideVersions, ALargeDocumentWithScatteredTypingTakesInHundredsOfScatteredChangesWithoutAQuestion) {
    prefs().setBool(true, "MERGE_FILE_CHANGES");
    for (const qsizetype megabytes : {1, 5}) {
        SCOPED_TRACE(megabytes);
        std::mt19937 random{unsigned(megabytes)};
        QStringList baseLines = QString::fromUtf8(large::docs("notes.md", megabytes << 20)).split(u'\n');
        baseLines.removeLast();  // (after the last line break)
        const QString base = joined(baseLines);
        QHash<QString, int> seen;
        for (const QString &line : baseLines)
            seen[line]++;
        auto isProse = [&](qsizetype at) {
            const QString &line = baseLines[at];
            return seen[line] == 1 && line.count(u' ') >= 4 && !line.startsWith(u'#');
        };

        // Typed edits on 50 lines of prose or list items, far apart.
        std::set<qsizetype> typedLines;
        while (typedLines.size() < 50) {
            const qsizetype at = qsizetype(random() % quint32(baseLines.size()));
            const auto next = typedLines.lower_bound(at - 20);
            if (isProse(at) && (next == typedLines.end() || *next > at + 20))
                typedLines.insert(at);
        }
        // The other program's changes: on lines said once, three lines from
        // any edit at least, and apart from each other.
        std::set<qsizetype> theirLines;
        while (theirLines.size() < 300) {
            const qsizetype at = qsizetype(random() % quint32(baseLines.size()));
            const auto typedNear = typedLines.lower_bound(at - 3);
            const auto theirsNear = theirLines.lower_bound(at - 2);
            if (baseLines[at].isEmpty() || seen[baseLines[at]] != 1 ||
                (typedNear != typedLines.end() && *typedNear <= at + 3) ||
                (theirsNear != theirLines.end() && *theirsNear <= at + 2))
                continue;
            theirLines.insert(at);
        }
        QStringList theirsLines;
        QStringList theirMarks;
        int change = 0;
        for (qsizetype at = 0; at < baseLines.size(); at++) {
            QString line = baseLines[at];
            if (!theirLines.count(at)) {
                theirsLines << line;
                continue;
            }
            const QString mark = QStringLiteral("outside%1").arg(change);
            switch (change++ % 4) {
            case 0:  // a word rewritten
                line.replace(line.indexOf(u' ') + 1, 0, mark + u' ');
                theirsLines << line;
                theirMarks << mark;
                break;
            case 1:  // a sentence added
                theirsLines << line + QStringLiteral(" And %1 said more.").arg(mark);
                theirMarks << mark;
                break;
            case 2:  // a line added after it
                theirsLines << line << QStringLiteral("A line %1 added by the other program.").arg(mark);
                theirMarks << mark;
                break;
            default:  // the line deleted
                break;
            }
        }
        const QString theirs = joined(theirsLines);

        const QString name = QStringLiteral("large%1.md").arg(megabytes);
        SmartEditorDocument *document = open(name, base.toUtf8());
        ASSERT_TRUE(document);
        document->setAutosaveDelay(std::chrono::hours(1));
        // Typed from the end backwards, so that each line's place in the
        // text stays that of the base: a word put in, or one typed over.
        std::vector<qsizetype> lineStarts{0};
        for (const QString &line : baseLines)
            lineStarts.push_back(lineStarts.back() + line.size() + 1);
        QStringList typedMarks;
        int edit = 0;
        for (auto at = typedLines.rbegin(); at != typedLines.rend(); ++at, ++edit) {
            const QString &line = baseLines[*at];
            qsizetype space = line.indexOf(u' ', line.size() / 2);
            if (space < 0)
                space = line.indexOf(u' ');
            const qsizetype wordEnd = line.indexOf(u' ', space + 1);
            const qsizetype start = lineStarts[size_t(*at)] + space + 1;
            const QString mark = QStringLiteral("typed%1").arg(edit);
            if (edit % 3 == 2 && wordEnd > 0)
                storage(document)->replaceCharactersInRange({start, wordEnd - space - 1}, mark);
            else
                storage(document)->replaceCharactersInRange({start, 0}, mark + u' ');
            typedMarks << mark;
        }
        const QString mine = text(document);
        ASSERT_TRUE(document->isDocumentEdited());

        const qsizetype before = alerts.count();
        ASSERT_TRUE(renameSave(path(name), theirs.toUtf8()));
        ASSERT_TRUE(spinUntil(
            [&] {
                return alerts.count() > before || document->knownFileState() == platform::FileState::at(path(name));
            },
            std::chrono::minutes(5)));
        EXPECT_EQ(alerts.count(), before) << "asked: " << alerts.shown().last().informativeText.toStdString();
        const QString merged = text(document);
        for (const QString &mark : typedMarks + theirMarks)
            EXPECT_TRUE(merged.contains(mark + u' ') || merged.contains(mark + u'.')) << mark.toStdString();
        EXPECT_EQ(document->fileString(), theirs);
        EXPECT_TRUE(document->isDocumentEdited());

        int conflicts = -1;
        if (const std::optional<QString> reference = gitMerge(folder.path(), mine, base, theirs, &conflicts)) {
            EXPECT_EQ(conflicts, 0);
            EXPECT_TRUE(merged == *reference) << "the merge differs from git's";
        } else {
            std::printf("git is not on this machine: the merge is not compared with git's\n");
        }
        document->close();
    }
}

namespace {

// A version of 12.5 MB of real text, past the size a file opens without
// asking.
constexpr qsizetype kGrownSize = 25 << 19;
static_assert(kGrownSize > platform::DocumentController::kLargeDocumentBytes);

QByteArray grownVersion(const QByteArray &name) { return large::docs(name, kGrownSize).left(kGrownSize); }

}  // namespace

// The user keeps their text: the version stays in the file, unseen. It is
// not asked about again, the autosave does not write over it, closing asks
// rather than saves over it, and quitting puts the typed text beside it.
TEST_F(OutsideVersions, AVersionPastTheOpeningSizeIsToldOfByItsSizeAndKeptOutNothingSavesOverItUnasked) {
    SmartEditorDocument *document = open("kept.md", "ours\n");
    ASSERT_TRUE(document);
    document->setAutosaveDelay(std::chrono::hours(1));
    type(document, "Typed.");
    const QByteArray grown = grownVersion("kept.md");
    alerts.addAnswers({0});  // Keep Mine
    ASSERT_TRUE(renameSave(path("kept.md"), grown));
    ASSERT_TRUE(spinUntil([&] { return alerts.count() >= 1; }));
    const platform::Alert asked = alerts.shown().last();
    EXPECT_EQ(asked.messageText, "File has changed");
    EXPECT_EQ(asked.informativeText.toStdString(),
              "The file on disk has been changed by another program and grew to 12.5 MB, too large to merge. Do you "
              "want to keep your text, or open the new version?");
    EXPECT_EQ(asked.buttons, (QStringList{"Keep Mine", "Open New Version"}));
    EXPECT_TRUE(asked.unasked);
    EXPECT_EQ(text(document), "ours\nTyped.");
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(document->fileString(), "ours\n");

    document->checkFileOnDisk();
    document->autosaveInBackground();
    document->finishSaving();
    EXPECT_EQ(alerts.count(), 1);
    EXPECT_TRUE(readAll(path("kept.md")) == grown);

    alerts.addAnswers({2});  // Cancel
    EXPECT_FALSE(document->canClose());
    ASSERT_EQ(alerts.count(), 2);
    EXPECT_EQ(alerts.shown().last().buttons, (QStringList{"Save", "Don't Save", "Cancel"}));
    EXPECT_TRUE(alerts.shown().last().informativeText.contains("another program left in the file (12.5 MB)"))
        << alerts.shown().last().informativeText.toStdString();
    EXPECT_TRUE(readAll(path("kept.md")) == grown);

    EXPECT_TRUE(document->saveBeforeQuitting());
    EXPECT_TRUE(readAll(path("kept.md")) == grown);
    EXPECT_EQ(readAll(path("kept (your edits, not merged).md")), "ours\nTyped.");
    const QList<Document::TextKeptAtQuit> kept = Document::textsKeptAtQuit(prefs());
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(kept[0].why.contains("another program")) << kept[0].why.toStdString();
}

// The user opens the new version, and is asked as opening a file that large
// asks: "No" keeps their text and leaves the version on the disk; "Open"
// puts their text beside the file first and shows the version. The
// document's own file is then past that size: written again as it was it
// is told from another version by its bytes, and asks nothing; another
// version of the same size is asked about.
TEST_F(OutsideVersions, OpeningAVersionPastTheOpeningSizeAsksAsOpeningDoesAndPutsTheTypedTextBesideFirst) {
    SmartEditorDocument *document = open("grown.md", "ours\n");
    ASSERT_TRUE(document);
    document->setAutosaveDelay(std::chrono::hours(1));
    type(document, "Typed.");
    const QString beside = path("grown (your edits, not merged).md");
    QByteArray grown = grownVersion("grown.md");
    alerts.addAnswers({1, 1});  // Open New Version, No
    ASSERT_TRUE(renameSave(path("grown.md"), grown));
    ASSERT_TRUE(spinUntil([&] { return alerts.count() >= 2; }));
    EXPECT_EQ(alerts.shown()[1].messageText.toStdString(),
              "The document “grown.md” is large: 12.5 MB. Do you want to open it?");
    EXPECT_EQ(text(document), "ours\nTyped.");
    EXPECT_FALSE(QFileInfo::exists(beside));
    document->checkFileOnDisk();
    EXPECT_EQ(alerts.count(), 2);

    grown.replace(0, 1, "%");
    alerts.addAnswers({1, 0});  // Open New Version, Open
    ASSERT_TRUE(renameSave(path("grown.md"), grown));
    ASSERT_TRUE(spinUntil([&] { return !document->isDocumentEdited(); }, std::chrono::minutes(2)));
    ASSERT_EQ(alerts.count(), 5);
    EXPECT_TRUE(alerts.shown()[4].informativeText.contains(beside)) << alerts.shown()[4].informativeText.toStdString();
    EXPECT_EQ(readAll(beside), "ours\nTyped.");
    EXPECT_TRUE(text(document) == QString::fromUtf8(grown));
    EXPECT_TRUE(document->fileString() == QString::fromUtf8(grown));

    ASSERT_TRUE(writeAll(path("grown.md"), grown));
    ASSERT_TRUE(spinUntil([&] { return document->knownFileState() == platform::FileState::at(path("grown.md")); }));
    EXPECT_EQ(alerts.count(), 5);

    grown.replace(0, 1, "#");
    alerts.addAnswers({0});  // Keep Mine
    ASSERT_TRUE(renameSave(path("grown.md"), grown));
    ASSERT_TRUE(spinUntil([&] { return alerts.count() == 6; }));
    EXPECT_TRUE(alerts.shown()[5].informativeText.contains("and is now 12.5 MB"))
        << alerts.shown()[5].informativeText.toStdString();
}
