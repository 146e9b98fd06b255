// Documents never lose or change data: a file the editor cannot show byte
// for byte is told of and never written unasked; a file is written back in
// the encoding it was read in; another program's version is taken in only
// once it has settled, and a merge that would drop typed text asks instead.
// A document writes only to the file it read or saved, unless the user
// agrees to a question that names both files; an autosave that fails says so once, without an alert that could
// take the keys, and saves by itself once it can.
#include <QApplication>
#include <QMessageBox>
#include <QStringEncoder>

#include <functional>
#include <random>
#include <utility>

#include "app/documents/text_decoding.h"
#include "app/documents/three_way_merge.h"
#include "app/documents/document_fixture.h"
#include "support/scratch_disk.h"

using namespace documents_test;
using testing_qt::spinFor;
using testing_qt::spinUntil;
using namespace std::chrono_literals;

namespace {

QByteArray utf16(const QString &text, bool bigEndian) {
    QStringEncoder encoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE);
    return encoder.encode(text);
}

// Bytes of no text at all, the same at every run: a small program's worth,
// NULs, carriage returns and control bytes among them.
QByteArray binaryBytes(qsizetype size) {
    QByteArray bytes;
    std::mt19937 random(7);
    for (qsizetype i = 0; i < size; i++)
        bytes.append(char(random() & 0xFF));
    bytes[0] = '\x7F';
    bytes[1] = 'E';
    bytes[2] = 'L';
    bytes[3] = 'F';
    bytes[4] = '\r';
    bytes[5] = '\0';
    return bytes;
}

}  // namespace

TEST(TextDecoding, FidelitySaysWhatAFileLosesAndEncodingGivesBackItsBytes) {
    struct Case {
        const char *name;
        QByteArray bytes;
        int nulBytes;
        bool notText;
        bool exact;
    };
    const Case cases[] = {
        {"UTF-8", "Grüße\n", 0, false, true},
        {"Latin-1", "caf\xE9\n", 0, false, true},
        {"Mac Roman", "Cr\x8Fme\n", 0, false, true},
        {"CRLF, kept by the preference", "a\r\nb\r\n", 0, false, false},
        {"a NUL", QByteArray("a\0b", 3), 1, false, false},
        {"UTF-8 with a stray byte", "Gr\xC3\xBC\xC3\x9F" "e\xFF\n", 0, true, true},
        {"control bytes", "\x01\x02\xE9\n", 0, true, true},
        {"UTF-16 without its mark", utf16(u"Grüße 日本語"_qs, false), 6, false, false},
        // Malformed after a UTF-16 or UTF-32 mark: not read as that encoding
        // (Qt's decoders would show a replacement character and write back
        // other bytes), so the file is shown by a legacy encoding with its
        // NULs and never written unasked.
        {"UTF-16 cut off in its last unit", QByteArray("\xFF\xFE" "a\0b", 5), 1, false, false},
        {"UTF-16 with a lone surrogate", QByteArray("\xFE\xFF\xD8\x00\x00" "a", 6), 2, false, false},
        // (Its mark begins as UTF-16's does, and as UTF-16 it is well formed.)
        {"UTF-32 past U+10FFFF", QByteArray("\xFF\xFE\0\0" "a\0\0\0" "\0\0 \0", 12), 3, false, false},
    };
    for (const Case &c : cases) {
        const std::optional<textdecoding::Decoded> decoded = textdecoding::decode(c.bytes);
        ASSERT_TRUE(decoded) << c.name;
        const textdecoding::Fidelity fidelity = textdecoding::fidelity(c.bytes, *decoded, 0);
        EXPECT_EQ(fidelity.nulBytes, c.nulBytes) << c.name;
        EXPECT_EQ(fidelity.notText, c.notText) << c.name;
        EXPECT_EQ(fidelity.exact, c.exact) << c.name;
        if (c.exact) {
            EXPECT_EQ(textdecoding::encode(decoded->text, decoded->form()), c.bytes) << c.name;
        }
    }
    // Characters an encoding has no byte for.
    const textdecoding::Form latin1{textdecoding::Encoding::Latin1};
    EXPECT_FALSE(textdecoding::encode(u"€"_qs, latin1));
    EXPECT_FALSE(textdecoding::encode(QString(QChar(0x85)), latin1)) << "a C1 control, which Latin 1 never reads";
    EXPECT_EQ(textdecoding::encode(u"€"_qs, {textdecoding::Encoding::MacRoman}), QByteArray("\xDB"));
    EXPECT_EQ(textdecoding::encode(u"Ł"_qs, {textdecoding::Encoding::Latin2}), QByteArray("\xA3"));
    EXPECT_EQ(textdecoding::encode("a", {textdecoding::Encoding::UTF32, true, true}), QByteArray("\0\0\xFE\xFF\0\0\0a", 8));
}

TEST_F(DocumentFixture, FilesTheEditorCannotShowExactlyAreToldOfAndNeverWrittenUnasked) {
    ASSERT_TRUE(prefs().boolForKey("enableLionSaveFeatures"));
    struct Case {
        const char *name;
        QByteArray bytes;
        QStringList told;
    };
    const QByteArray withNul("A line\nwith a \0 in\n", 19);
    const Case cases[] = {
        {"nul.md", withNul, {"It contains 1 NUL byte"}},
        {"x.md", binaryBytes(6000), {"NUL bytes", "It is not UTF-8 text"}},
        {"utf16.md", utf16(u"Grüße 日本語\n"_qs, false), {"It contains 7 NUL bytes"}},
    };
    for (const Case &c : cases) {
        const qsizetype before = alerts.count();
        SmartEditorDocument *document = open(c.name, c.bytes);
        ASSERT_TRUE(document) << c.name;
        document->setAutosaveDelay(20ms);
        EXPECT_FALSE(document->isDocumentEdited()) << c.name;
        ASSERT_EQ(alerts.count(), before + 1) << c.name << ": told once, when it opens";
        EXPECT_EQ(alerts.shown().last().messageText,
                  QStringLiteral("The document “%1” is not shown exactly as it is on disk.").arg(c.name));
        for (const QString &told : c.told)
            EXPECT_TRUE(alerts.shown().last().informativeText.contains(told))
                << c.name << ": " << alerts.shown().last().informativeText.toStdString();
        // Past the autosave's delay, then closed: nothing was written.
        spinFor(200ms);
        EXPECT_EQ(readAll(path(c.name)), c.bytes) << c.name;
        EXPECT_TRUE(document->canClose());
        EXPECT_EQ(alerts.count(), before + 1) << c.name;
        document->close();
        spinFor(20ms);
        EXPECT_EQ(readAll(path(c.name)), c.bytes) << c.name;
    }

    // Edited, it still waits for the user's Save, which says what goes.
    SmartEditorDocument *document = openExisting(path("nul.md"));
    ASSERT_TRUE(document);
    document->setAutosaveDelay(20ms);
    type(document, "!");
    spinFor(200ms);
    EXPECT_EQ(readAll(path("nul.md")), withNul);
    alerts.addAnswers({1});  // Cancel
    EXPECT_FALSE(document->saveDocument());
    EXPECT_EQ(alerts.shown().last().messageText, "Saving “nul.md” changes more in the file than your edits.");
    EXPECT_TRUE(alerts.shown().last().informativeText.contains("1 NUL byte"));
    EXPECT_EQ(alerts.shown().last().buttons, (QStringList{"Save", "Cancel"}));
    EXPECT_EQ(readAll(path("nul.md")), withNul);
    // Closing asks as a document that does not save in place, saying so.
    alerts.addAnswers({2});  // Cancel
    EXPECT_FALSE(document->canClose());
    EXPECT_EQ(alerts.shown().last().buttons, (QStringList{"Save", "Don't Save", "Cancel"}));
    EXPECT_TRUE(alerts.shown().last().informativeText.contains("NUL byte"));
    alerts.addAnswers({0});  // Save
    EXPECT_TRUE(document->saveDocument());
    EXPECT_EQ(readAll(path("nul.md")), "A line\nwith a  in\n!");
    // From then on the file is what the editor shows: saved in place again.
    type(document, "?");
    EXPECT_TRUE(spinUntil([&] { return readAll(path("nul.md")).endsWith("!?"); }));
}

TEST_F(DocumentFixture, AFileIsWrittenBackInTheEncodingItWasReadIn) {
    struct Case {
        const char *name;
        QByteArray bytes;
        bool told;  // not UTF-8 text
        QByteArray typed;  // the bytes of "ok" there
    };
    // UTF-8 but for one stray byte: read as Mac Roman, strange letters and all.
    const QByteArray strayByte = "Gr\xC3\xBC\xC3\x9F" "e\xFF und mehr\n";
    const Case cases[] = {
        {"roman.md", "Cr\x8Fme br\x9El\x8E" "e\n", false, "ok"},
        {"stray.md", strayByte, true, "ok"},
        {"bom8.md", "\xEF\xBB\xBFmarked\n", false, "ok"},
        {"be16.md", "\xFE\xFF" + utf16(u"hé\n"_qs, true), false, utf16("ok", true)},
        {"le16.md", "\xFF\xFE" + utf16(u"日本\n"_qs, false), false, utf16("ok", false)},
    };
    for (const Case &c : cases) {
        const qsizetype before = alerts.count();
        SmartEditorDocument *document = open(c.name, c.bytes);
        ASSERT_TRUE(document) << c.name;
        EXPECT_FALSE(document->isDocumentEdited()) << c.name;
        ASSERT_EQ(alerts.count(), before + (c.told ? 1 : 0)) << c.name;
        if (c.told) {
            EXPECT_TRUE(alerts.shown().last().informativeText.contains("It is not UTF-8 text: it is shown as Mac Roman"))
                << alerts.shown().last().informativeText.toStdString();
        }
        type(document, "ok");
        ASSERT_TRUE(document->saveDocument()) << c.name;
        EXPECT_EQ(alerts.count(), before + (c.told ? 1 : 0)) << c.name << ": the save changes only the edit";
        EXPECT_EQ(readAll(path(c.name)), c.bytes + c.typed) << c.name;
        document->close();
    }

    // Text the encoding cannot hold: not saved in place, and Save asks
    // before it writes UTF-8.
    SmartEditorDocument *document = open("latin.md", "caf\xE9\n");
    ASSERT_TRUE(document);
    document->setAutosaveDelay(20ms);
    type(document, u"日"_qs);
    spinFor(200ms);
    EXPECT_EQ(readAll(path("latin.md")), "caf\xE9\n");
    const qsizetype before = alerts.count();
    alerts.addAnswers({0});
    ASSERT_TRUE(document->saveDocument());
    ASSERT_EQ(alerts.count(), before + 1);
    EXPECT_TRUE(alerts.shown().last().informativeText.contains("read as ISO Latin 1"));
    EXPECT_EQ(readAll(path("latin.md")), u"café\n日"_qs.toUtf8());
    EXPECT_EQ(document->fileForm().encoding, textdecoding::Encoding::UTF8);
}

TEST(ThreeWayMerge, AMergeThatDropsTypedTextIsNoSuccess) {
    // The other version deletes the paragraph being typed in: both changed
    // that place, and a result without the typed text is never a success.
    const char *words[] = {"alpha", "beta", "gamma", "delta", "river", "stone",
                           "light", "paper", "green", "north", "window", "table"};
    int refused = 0;
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
        if (merged.ok)
            EXPECT_TRUE(merged.text.contains(typed)) << "trial " << trial;
        else
            refused++;

        // A change elsewhere merges as before, the typing kept.
        QStringList other = paragraphs;
        other[(typedIn + 1) % count].prepend(QStringLiteral("New words. "));
        const MergeResult elsewhere = mergeOriginal(base, edited, other.join(QStringLiteral("\n\n")) + u'\n');
        if (elsewhere.ok && elsewhere.text.contains(typed) &&
            elsewhere.text.contains("New words. "))
            keptElsewhere++;
    }
    EXPECT_EQ(refused, 400) << "a paragraph typed in and deleted by the other version was merged";
    EXPECT_GE(keptElsewhere, 390);

    // A file read while its program had emptied it.
    QString text;
    for (int i = 0; i < 60; i++)
        text += QStringLiteral("Line %1 of the document as it was saved.\n").arg(i);
    const MergeResult emptied = mergeOriginal(text, text + "and typed since", QString());
    EXPECT_FALSE(emptied.ok);
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
    ASSERT_TRUE(spinUntil([&] { return text(document).contains("Line three of"); }, 30s));
    EXPECT_TRUE(text(document).endsWith("typed before the other program wrote"));
    EXPECT_EQ(document->fileString(), QString::fromUtf8(theirs));
    EXPECT_EQ(alerts.count(), 0);
}

TEST_F(DocumentFixture, AMergeThatWouldLoseTypedTextAsksWhichVersionToKeep) {
    prefs().setBool(true, "MERGE_FILE_CHANGES");
    // Another program deletes the paragraph being typed in: both changed
    // that place, and the typing would go with the paragraph. Cancel keeps
    // the typing, Reload takes the file's version, and Merge as CriticMarkup
    // shows both.
    const QString original = "The first paragraph has a number of words in it, enough to match.\n\n"
                             "The second paragraph is where the typing goes, and it is long as well.\n\n"
                             "The third paragraph stays.\n";
    QString theirs = original;
    theirs.remove(original.indexOf("The second"), original.indexOf("The third") - original.indexOf("The second"));
    const QStringList answers{"Reload", "Cancel", "Merge as CriticMarkup"};
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
        ASSERT_TRUE(spinUntil([&] { return alerts.count() > before; }, 30s)) << answers[answer].toStdString();
        EXPECT_EQ(alerts.shown().last().messageText, "File has changed");
        EXPECT_EQ(alerts.shown().last().buttons, answers);
        EXPECT_EQ(document->fileString(), answer == 1 ? original : theirs);
        if (answer == 1) {
            EXPECT_EQ(text(document), mine);
            EXPECT_TRUE(document->isDocumentEdited());
        } else if (answer == 0) {
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

namespace {

QString titleOf(platform::Document *document) { return document->firstWindow()->windowTitle(); }

}  // namespace

// A link put in the place of the document's file, or of a folder on its
// way, does not make the document another file's: that file's text is not
// taken in, the autosave never writes into it, and Save asks first, naming
// it. A link the user opened the file through is theirs, and saves as ever.
TEST_F(DocumentFixture, ADocumentWritesOnlyTheFileItReadOrSavedUnlessTheUserAgrees) {
    QTemporaryDir home;
    const QString bashrc = home.filePath(".bashrc");
    const QByteArray theirs = "export PATH=/usr/bin\n";
    ASSERT_TRUE(writeAll(bashrc, theirs));

    // With unsaved edits.
    SmartEditorDocument *document = open("notes.md", "The notes.\n");
    ASSERT_TRUE(document);
    document->setAutosaveDelay(20ms);
    type(document, "Typed.");
    ASSERT_TRUE(replaceByLink(path("notes.md"), bashrc));
    ASSERT_TRUE(spinUntil([&] { return alerts.count() > 0; }));
    EXPECT_TRUE(alerts.shown().last().notice) << "told while typing: it must not take the keys";
    EXPECT_EQ(alerts.shown().last().messageText, QStringLiteral("“notes.md” now leads to another file, “%1”.").arg(bashrc));
    EXPECT_EQ(text(document), "The notes.\nTyped.") << "another file's text was taken in";
    EXPECT_FALSE(document->autosave());
    spinFor(200ms);  // the autosave's delay, many times over
    EXPECT_EQ(readAll(bashrc), theirs);
    EXPECT_EQ(alerts.count(), 1) << "told once";
    EXPECT_TRUE(titleOf(document).contains("Not Saved")) << titleOf(document).toStdString();
    // Closing does not save it there by itself: it asks as Save would.
    alerts.addAnswers({2});  // Cancel
    EXPECT_FALSE(document->canClose());
    EXPECT_EQ(alerts.shown().last().buttons, (QStringList{"Save", "Don't Save", "Cancel"}));
    EXPECT_EQ(readAll(bashrc), theirs);
    // Save asks, naming the file it would write; Cancel writes nothing.
    alerts.addAnswers({0});
    EXPECT_FALSE(document->saveDocument());
    EXPECT_EQ(alerts.shown().last().messageText,
              QStringLiteral("“notes.md” now leads to “%1”, not to “%2”, whose text the document holds.")
                  .arg(bashrc, QFileInfo(folder.path()).canonicalFilePath() + "/notes.md"));
    EXPECT_EQ(alerts.shown().last().buttons, (QStringList{"Cancel", "Save"}));
    EXPECT_FALSE(alerts.shown().last().notice);
    EXPECT_EQ(readAll(bashrc), theirs);
    EXPECT_TRUE(document->isDocumentEdited());
    // Save, and the user said so: written there.
    alerts.addAnswers({1});
    EXPECT_TRUE(document->saveDocument());
    EXPECT_EQ(readAll(bashrc), "The notes.\nTyped.");
    EXPECT_TRUE(QFileInfo(path("notes.md")).isSymLink());
    EXPECT_FALSE(titleOf(document).contains("Not Saved"));

    // Without edits: the document keeps its own text, and typing into it
    // later saves nothing there.
    const QString profile = home.filePath(".profile");
    ASSERT_TRUE(writeAll(profile, theirs));
    SmartEditorDocument *clean = open("clean.md", "Clean text.\n");
    ASSERT_TRUE(clean);
    clean->setAutosaveDelay(20ms);
    const qsizetype before = alerts.count();
    ASSERT_TRUE(replaceByLink(path("clean.md"), profile));
    ASSERT_TRUE(spinUntil([&] { return alerts.count() > before; }));
    EXPECT_TRUE(alerts.shown().last().messageText.contains(profile));
    EXPECT_EQ(text(clean), "Clean text.\n");
    EXPECT_FALSE(clean->isDocumentEdited());
    type(clean, "More.");
    spinFor(200ms);
    EXPECT_EQ(readAll(profile), theirs);
    EXPECT_EQ(alerts.count(), before + 1);
    // Nor is reverting to the saved text reading that file.
    alerts.addAnswers({0});
    EXPECT_FALSE(clean->revertDocumentToSaved());
    EXPECT_EQ(text(clean), "Clean text.\nMore.");

    // A folder on the way replaced by a link to the user's own folder.
    ASSERT_TRUE(QDir().mkpath(path("sub")));
    ASSERT_TRUE(writeAll(home.filePath("inner.md"), theirs));
    SmartEditorDocument *inner = open("sub/inner.md", "Inner text.\n");
    ASSERT_TRUE(inner);
    type(inner, "Typed.");
    ASSERT_TRUE(QDir().rename(path("sub"), path("moved")));
    ASSERT_TRUE(QFile::link(home.path(), path("sub")));
    alerts.addAnswers({0});
    EXPECT_FALSE(inner->saveDocument());
    EXPECT_TRUE(alerts.shown().last().messageText.contains(home.filePath("inner.md")));
    EXPECT_EQ(readAll(home.filePath("inner.md")), theirs);

    // The user's own link, through which the file was opened.
    ASSERT_TRUE(writeAll(home.filePath("real.md"), "Real.\n"));
    ASSERT_TRUE(QFile::link(home.filePath("real.md"), path("mine.md")));
    SmartEditorDocument *mine = openExisting(path("mine.md"));
    ASSERT_TRUE(mine);
    type(mine, "Mine.");
    const qsizetype asked = alerts.count();
    EXPECT_TRUE(mine->saveDocument());
    EXPECT_EQ(alerts.count(), asked);
    EXPECT_EQ(readAll(home.filePath("real.md")), "Real.\nMine.");
    EXPECT_TRUE(QFileInfo(path("mine.md")).isSymLink());
}

// Another user swaps the document's path for a link to one of the user's
// private files while the user opens it, and puts their own file back once
// the user saved: the window, titled with the shared name, holds the
// private file's text. Save's question then names the file whose text the
// document holds and where the path now leads, and says what Save would
// write where; Save writes only what it named: not once the path has come
// to lead elsewhere while it was open, nor over a file put there meanwhile
// or before the save's write.
TEST_F(DocumentFixture, AQuestionAfterThePathChangedNamesTheFileWhoseTextTheDocumentHoldsAndWhereItWouldGo) {
    QTemporaryDir home;
    const QString diary = home.filePath("diary.md");
    ASSERT_TRUE(writeAll(diary, "My own notes.\n"));
    const QString shared = path("doc.md");
    ASSERT_TRUE(writeAll(shared, "The shared text.\n"));
    ASSERT_TRUE(replaceByLink(shared, diary));
    SmartEditorDocument *document = openExisting(shared);
    ASSERT_TRUE(document);
    document->setAutosaveDelay(std::chrono::hours(1));
    EXPECT_EQ(text(document), "My own notes.\n") << "a link is followed when a file is opened";
    // Saved while the link stands: the file whose text it holds, unasked.
    type(document, "More.");
    document->saveDocumentInBackground();
    ASSERT_TRUE(spinUntil([&] { return !document->isSaving() && !document->isDocumentEdited(); }));
    EXPECT_EQ(readAll(diary), "My own notes.\nMore.");
    EXPECT_EQ(alerts.count(), 0);
    // The other user's file takes the place again.
    ASSERT_TRUE(renameSave(shared, "The shared text.\n"));
    ASSERT_TRUE(spinUntil([&] { return alerts.count() > 0; }));
    type(document, " Private.");
    const QString held = QFileInfo(diary).canonicalFilePath();
    const QString there = QFileInfo(shared).canonicalFilePath();
    auto lastQuestion = [&]() -> platform::Alert {
        const QList<platform::Alert> shown = alerts.shown();
        for (auto it = shown.rbegin(); it != shown.rend(); ++it)
            if (it->buttons == QStringList{"Cancel", "Save"})
                return *it;
        return {};
    };
    auto unwritten = [&] {
        EXPECT_EQ(readAll(diary), "My own notes.\nMore.");
        EXPECT_TRUE(document->isDocumentEdited());
    };

    // Ctrl+S: the question names both, and what Save would write where.
    alerts.addAnswers({0});  // Cancel
    document->saveDocumentInBackground();
    platform::Alert question = lastQuestion();
    EXPECT_EQ(question.messageText,
              QStringLiteral("“doc.md” now leads to “%1”, not to “%2”, whose text the document holds.").arg(there, held));
    EXPECT_TRUE(question.informativeText.contains(
        QStringLiteral("Saving writes the text of “diary.md” into “%1”, in place of what that file holds.").arg(there)))
        << question.informativeText.toStdString();
    EXPECT_EQ(readAll(shared), "The shared text.\n");
    unwritten();

    // Save, while the other user puts another version there as the user reads
    // the question: nothing is written, and the user is told.
    const platform::Alerts::Handler script = platform::Alerts::setHandler({});
    std::function<void()> whileAsked;
    platform::Alerts::setHandler([&](const platform::Alert &alert) {
        if (alert.buttons == QStringList{"Cancel", "Save"} && whileAsked)
            std::exchange(whileAsked, {})();
        return script(alert);
    });
    whileAsked = [&] { ASSERT_TRUE(renameSave(shared, "Their second version.\n")); };
    qsizetype before = alerts.count();
    alerts.addAnswers({1});  // Save
    document->saveDocumentInBackground();
    spinUntil([&] { return !document->isSaving(); });
    EXPECT_EQ(readAll(shared), "Their second version.\n");
    unwritten();
    ASSERT_GT(alerts.count(), before + 1);
    EXPECT_EQ(alerts.shown().last().messageText, "The document “doc.md” could not be saved.");
    EXPECT_TRUE(alerts.shown().last().informativeText.contains("changed while you were asked"));

    // Save as closing asks for it, while the path comes to lead to another
    // of the user's files: nothing is written there, nor anywhere.
    const QString other = home.filePath("other.md");
    ASSERT_TRUE(writeAll(other, "Another of mine.\n"));
    whileAsked = [&] { ASSERT_TRUE(replaceByLink(shared, other)); };
    alerts.addAnswers({1});
    EXPECT_FALSE(document->saveDocument());
    EXPECT_EQ(readAll(other), "Another of mine.\n");
    EXPECT_TRUE(QFileInfo(shared).isSymLink());
    unwritten();
    ASSERT_TRUE(renameSave(shared, "Their second version.\n"));

    // Save, and their version put there after the answer, before the save's
    // write: not written over.
    whileAsked = {};
    before = alerts.count();
    platform::Document::setSaveStepHook([&](platform::SaveStep step) {
        if (step == platform::SaveStep::Working)
            renameSave(shared, "Their third version.\n");
    });
    alerts.addAnswers({1});
    document->saveDocumentInBackground();
    spinUntil([&] { return !document->isSaving(); });
    platform::Document::setSaveStepHook({});
    EXPECT_EQ(readAll(shared), "Their third version.\n");
    unwritten();
    ASSERT_GT(alerts.count(), before + 1);
    EXPECT_EQ(alerts.shown().last().messageText, "The document “doc.md” could not be saved.");

    // Save, agreed with nothing changed since: written where the question
    // said, which is the document's file from then on.
    alerts.addAnswers({1});
    document->saveDocumentInBackground();
    ASSERT_TRUE(spinUntil([&] { return !document->isSaving() && !document->isDocumentEdited(); }));
    platform::Alerts::setHandler(script);
    EXPECT_TRUE(lastQuestion().informativeText.contains("in place of what that file holds"));
    EXPECT_EQ(readAll(shared), "My own notes.\nMore. Private.");
    EXPECT_EQ(readAll(diary), "My own notes.\nMore.");
    before = alerts.count();
    type(document, " Next.");
    EXPECT_TRUE(document->saveDocument());
    EXPECT_EQ(alerts.count(), before);
    EXPECT_EQ(readAll(shared), "My own notes.\nMore. Private. Next.");
}

// With its folder refusing writes, a document that saves in place goes on
// taking keys: the failure is told once, in a notice that takes no keys,
// the window's title says "Not Saved" while it lasts, and once the folder
// takes writes again the document is saved by itself. Save, asked for, says
// plainly when it fails.
TEST_F(DocumentFixture, AnAutosaveThatFailsIsToldOnceWithoutTakingKeysAndSavesByItselfOnceItCan) {
    testing_qt::ScratchDisk disk(1 << 20);
    const QString where = disk.mounted() ? disk.path() : path("refusing");
    ASSERT_TRUE(QDir().mkpath(where));
    const QString file = where + QStringLiteral("/notes.md");
    ASSERT_TRUE(writeAll(file, "A line.\n"));
    SmartEditorDocument *document = openExisting(file);
    ASSERT_TRUE(document);
    document->setAutosaveDelay(20ms);
    document->setAutosaveRetry(50ms);
    auto refuse = [&](bool refusing) {
        if (disk.mounted())
            return refusing ? disk.makeReadOnly() : disk.makeWritable();
        // (The file too: one the user may write is written where it is.)
        return QFile::setPermissions(where, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                (refusing ? QFileDevice::Permissions() : QFileDevice::WriteOwner)) &&
               QFile::setPermissions(file, QFileDevice::ReadOwner |
                                               (refusing ? QFileDevice::Permissions() : QFileDevice::WriteOwner));
    };
    if (!disk.mounted() && geteuid() == 0)
        GTEST_SKIP() << "no mount and running as root: permissions do not stop root";
    ASSERT_TRUE(refuse(true));

    type(document, "folder.");
    ASSERT_TRUE(spinUntil([&] { return alerts.count() > 0; })) << "the failure is not told";
    EXPECT_TRUE(alerts.shown().last().notice) << "an alert that takes the keys";
    EXPECT_EQ(alerts.shown().last().messageText, "The document “notes.md” could not be saved.");
    EXPECT_TRUE(titleOf(document).contains("Not Saved")) << titleOf(document).toStdString();
    EXPECT_FALSE(document->savingProblem().isEmpty());
    type(document, " more");
    EXPECT_FALSE(document->autosave());
    spinFor(300ms);  // more tries, by the delay after the keys and by themselves
    EXPECT_EQ(alerts.count(), 1) << "told once while it keeps failing";
    EXPECT_EQ(text(document), "A line.\nfolder. more");
    EXPECT_EQ(readAll(file), "A line.\n");

    ASSERT_TRUE(refuse(false));
    ASSERT_TRUE(spinUntil([&] { return readAll(file) == "A line.\nfolder. more" && !document->isSaving(); }, 10s))
        << "not saved by itself";
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_FALSE(titleOf(document).contains("Not Saved")) << titleOf(document).toStdString();
    EXPECT_EQ(alerts.count(), 1);

    // Save, asked for, says so in an alert.
    ASSERT_TRUE(refuse(true));
    type(document, "!");
    EXPECT_FALSE(document->saveDocument());
    ASSERT_EQ(alerts.count(), 2);
    EXPECT_FALSE(alerts.shown().last().notice);
    EXPECT_EQ(alerts.shown().last().messageText, "The document “notes.md” could not be saved.");
    // From the menu as well, where the save goes on in the background.
    document->saveDocumentInBackground();
    ASSERT_TRUE(spinUntil([&] { return alerts.count() >= 3; }));
    EXPECT_FALSE(alerts.shown()[2].notice);
    EXPECT_EQ(alerts.shown()[2].messageText, "The document “notes.md” could not be saved.");
    EXPECT_TRUE(document->isDocumentEdited());
    ASSERT_TRUE(refuse(false));
    document->close();
}

// The notice that the autosave fails shows while it does: once the document
// has saved itself, it goes (a new failure is told anew).
TEST_F(DocumentFixture, TheNoticeThatTheAutosaveFailsGoesOnceTheDocumentIsSaved) {
    testing_qt::ScratchDisk disk(1 << 20);
    const QString where = disk.mounted() ? disk.path() : path("refusing");
    ASSERT_TRUE(QDir().mkpath(where));
    const QString file = where + QStringLiteral("/notes.md");
    ASSERT_TRUE(writeAll(file, "A line.\n"));
    if (!disk.mounted() && geteuid() == 0)
        GTEST_SKIP() << "no mount and running as root: permissions do not stop root";
    auto refuse = [&](bool refusing) {
        if (disk.mounted())
            return refusing ? disk.makeReadOnly() : disk.makeWritable();
        return QFile::setPermissions(where, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                (refusing ? QFileDevice::Permissions() : QFileDevice::WriteOwner)) &&
               QFile::setPermissions(file, QFileDevice::ReadOwner |
                                               (refusing ? QFileDevice::Permissions() : QFileDevice::WriteOwner));
    };
    SmartEditorDocument *document = openExisting(file);
    ASSERT_TRUE(document);
    document->setAutosaveDelay(20ms);
    document->setAutosaveRetry(50ms);
    document->showWindows();
    // The notices on the screen, as the user sees them.
    const platform::Alerts::Handler scripted = platform::Alerts::setHandler({});
    auto noticesShown = [&] {
        int shown = 0;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(widget);
                box && box->isVisible() && box->text() == "The document “notes.md” could not be saved.")
                shown++;
        return shown;
    };

    ASSERT_TRUE(refuse(true));
    type(document, "folder.");
    EXPECT_TRUE(spinUntil([&] { return noticesShown() == 1; }));
    ASSERT_TRUE(refuse(false));
    ASSERT_TRUE(spinUntil([&] { return readAll(file) == "A line.\nfolder." && !document->isSaving(); }, 10s));
    EXPECT_TRUE(spinUntil([&] { return noticesShown() == 0; })) << "the notice stays after the save";

    ASSERT_TRUE(refuse(true));
    type(document, " Again.");
    EXPECT_TRUE(spinUntil([&] { return noticesShown() == 1; }));
    ASSERT_TRUE(refuse(false));
    EXPECT_TRUE(spinUntil([&] { return noticesShown() == 0; }));
    EXPECT_EQ(readAll(file), "A line.\nfolder. Again.");
    platform::Alerts::setHandler(scripted);
    document->close();
}
