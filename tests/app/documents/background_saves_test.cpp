// A text document's save in place runs off the main thread: the main thread
// takes a copy of the buffer's UTF-8 bytes, and the file's bytes (its line
// endings, its encoding) are made of it, written and hashed on the save's
// thread. While such a save is in flight nothing is lost: the typing goes on
// and stays unsaved until the next save, another program's version is taken
// in rather than written over, and closing or quitting waits for it.
#include <QStringEncoder>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "app/documents/document_fixture.h"
#include "support/save_gate.h"

using namespace documents_test;
using platform::SaveStep;
using testing_qt::SaveGate;
using testing_qt::spinFor;
using testing_qt::spinUntil;
using namespace std::chrono_literals;

namespace {

QByteArray utf16BigEndian(const QString &text) {
    QStringEncoder encoder(QStringConverter::Utf16BE);
    return "\xFE\xFF" + QByteArray(encoder.encode(text));
}

// Removes the last `count` units of the text, as Backspace would.
void erase(KVXTextDocument *document, qsizetype count) {
    SmartTextStorage *s = DocumentFixture::storage(document);
    s->replaceCharactersInRange({s->length() - count, count}, QString());
}

struct stat statusOf(const QString &path) {
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

}  // namespace

// The file keeps its form (UTF-16 with Windows line endings here, and a
// UTF-8 file its line endings too), written from the snapshot: what is typed
// while it is written stays unsaved, the base is the text written, and the
// next save writes the rest. Edits that come back to the text written leave
// nothing unsaved.
TEST_F(DocumentFixture, TypingWhileASaveIsInFlightStaysUnsavedAndTheFileKeepsItsForm) {
    prefs().setInteger(1, "exportLineEndings");
    struct Case {
        const char *name;
        QByteArray bytes;
        QByteArray (*encoded)(const QString &);
    };
    const Case cases[] = {
        {"utf16.md", utf16BigEndian("one\r\n"), utf16BigEndian},
        {"utf8.md", "one\r\n", [](const QString &text) { return text.toUtf8(); }},
    };
    for (const Case &c : cases) {
        SmartEditorDocument *document = open(c.name, c.bytes);
        ASSERT_TRUE(document) << c.name;
        EXPECT_FALSE(document->isDocumentEdited()) << c.name;
        // The saves below are the ones the delay after the typing would make.
        document->setAutosaveDelay(1h);
        SaveGate gate(SaveStep::Working);

        type(document, u"twö"_qs);
        document->autosaveInBackground();
        ASSERT_TRUE(gate.waitUntilHeld()) << c.name;
        // Typed while the save is held where it writes: taken in at once.
        type(document, "three");
        EXPECT_EQ(text(document), u"one\ntwöthree"_qs) << c.name;
        EXPECT_TRUE(document->isSaving()) << c.name;
        EXPECT_EQ(readAll(path(c.name)), c.bytes) << c.name;
        EXPECT_EQ(document->fileString(), "one\n") << c.name << ": the base moved before the file was written";
        gate.open();
        ASSERT_TRUE(spinUntil([&] { return !document->isSaving(); })) << c.name;
        EXPECT_TRUE(document->isDocumentEdited()) << c.name << ": the typing while it was written counts as saved";
        EXPECT_EQ(readAll(path(c.name)), c.encoded(u"one\r\ntwö"_qs)) << c.name;
        EXPECT_EQ(document->fileString(), u"one\ntwö"_qs) << c.name;

        document->autosaveInBackground();
        ASSERT_TRUE(spinUntil([&] { return !document->isSaving(); })) << c.name;
        EXPECT_FALSE(document->isDocumentEdited()) << c.name;
        EXPECT_EQ(readAll(path(c.name)), c.encoded(u"one\r\ntwöthree"_qs)) << c.name;
        EXPECT_EQ(document->fileString(), u"one\ntwöthree"_qs) << c.name;
        EXPECT_EQ(text(document), u"one\ntwöthree"_qs) << c.name;
        // The main thread took the text; its bytes were made, written and
        // hashed elsewhere.
        EXPECT_EQ(gate.where(SaveStep::Snapshot), std::make_pair(2, 0)) << c.name;
        EXPECT_EQ(gate.where(SaveStep::Working), std::make_pair(0, 2)) << c.name;
        EXPECT_EQ(gate.where(SaveStep::Written), std::make_pair(0, 2)) << c.name;

        // Typed and taken back while the save is in flight: nothing unsaved.
        gate.shut();
        type(document, "!");
        document->autosaveInBackground();
        ASSERT_TRUE(gate.waitUntilHeld(2)) << c.name;
        type(document, "?");
        erase(document, 1);
        EXPECT_TRUE(document->isDocumentEdited()) << c.name;
        gate.open();
        ASSERT_TRUE(spinUntil([&] { return !document->isSaving(); })) << c.name;
        EXPECT_FALSE(document->isDocumentEdited()) << c.name;
        EXPECT_EQ(readAll(path(c.name)), c.encoded(u"one\r\ntwöthree!"_qs)) << c.name;
        document->close();
    }
    EXPECT_EQ(alerts.count(), 0);
}

// Another program's version that comes while a save is in flight is never
// written over: one that comes before the save writes makes it give way, is
// merged with the typing and saved with it (also by a Save asked for
// meanwhile); one that comes after is taken in once the save is done,
// against the text it wrote.
TEST_F(DocumentFixture, AnotherProgramsChangeDuringASaveInFlightIsTakenInNotWrittenOver) {
    prefs().setBool(true, "MERGE_FILE_CHANGES");
    QByteArray original;
    for (int i = 0; i < 12; i++)
        original += "Line " + QByteArray::number(i) + " of a text that two programs change.\n";
    SmartEditorDocument *document = open("shared.md", original);
    ASSERT_TRUE(document);
    document->setAutosaveDelay(20ms);

    {
        SaveGate gate(SaveStep::Working);
        type(document, "Typed at the end.\n");
        ASSERT_TRUE(gate.waitUntilHeld());
        QByteArray theirs = original;
        theirs.replace("Line 3 of", "Line three of");
        ASSERT_TRUE(renameSave(path("shared.md"), theirs));
        spinFor(100ms);
        gate.open();
        const QByteArray both = theirs + "Typed at the end.\n";
        ASSERT_TRUE(spinUntil([&] { return readAll(path("shared.md")) == both && !document->isDocumentEdited(); }, 10s))
            << readAll(path("shared.md")).toStdString();
        EXPECT_EQ(text(document), QString::fromUtf8(both));
        EXPECT_EQ(document->fileString(), QString::fromUtf8(both));
    }
    {
        SaveGate gate(SaveStep::Written);
        type(document, "Typed again.\n");
        ASSERT_TRUE(gate.waitUntilHeld());
        const QByteArray written = readAll(path("shared.md"));
        ASSERT_TRUE(written.endsWith("Typed at the end.\nTyped again.\n"));
        QByteArray theirs = written;
        theirs.replace("Line 7 of", "Line seven of");
        ASSERT_TRUE(renameSave(path("shared.md"), theirs));
        spinFor(100ms);
        gate.open();
        ASSERT_TRUE(spinUntil([&] { return text(document) == QString::fromUtf8(theirs); }, 10s))
            << text(document).toStdString();
        spinFor(300ms);
        EXPECT_EQ(readAll(path("shared.md")), theirs);
        EXPECT_FALSE(document->isDocumentEdited());
        EXPECT_EQ(document->fileString(), QString::fromUtf8(theirs));
    }
    {
        // Save, asked for while an autosave is in flight that then finds
        // another program's version: that version is taken in first.
        document->setAutosaveDelay(1h);
        SaveGate gate(SaveStep::Working);
        type(document, "Saved from the menu.\n");
        document->autosaveInBackground();
        ASSERT_TRUE(gate.waitUntilHeld());
        document->saveDocumentInBackground();
        QByteArray theirs = readAll(path("shared.md"));
        theirs.replace("Line 9 of", "Line nine of");
        ASSERT_TRUE(renameSave(path("shared.md"), theirs));
        gate.open();
        const QByteArray both = theirs + "Saved from the menu.\n";
        ASSERT_TRUE(spinUntil([&] { return readAll(path("shared.md")) == both && !document->isDocumentEdited(); }, 10s))
            << readAll(path("shared.md")).toStdString();
        EXPECT_EQ(text(document), QString::fromUtf8(both));
    }
    EXPECT_EQ(alerts.count(), 0);
}

// Closing a window, or quitting, while a save is in flight waits for that
// save and then saves what was typed after it, before the window goes.
TEST_F(DocumentFixture, ClosingOrQuittingWhileASaveIsInFlightWaitsForItAndSavesTheRest) {
    SmartEditorDocument *document = open("closing.md", "Start.\n");
    ASSERT_TRUE(document);
    document->setAutosaveDelay(20ms);
    SaveGate gate(SaveStep::Working);
    gate.openWhenAwaited();

    type(document, "Saving.");
    ASSERT_TRUE(gate.waitUntilHeld());
    type(document, " Quitting.");
    EXPECT_TRUE(document->autosave()) << "what quitting does";
    EXPECT_EQ(readAll(path("closing.md")), "Start.\nSaving. Quitting.");
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_FALSE(document->isSaving());

    gate.shut();
    type(document, " Closing.");
    ASSERT_TRUE(gate.waitUntilHeld(2));
    type(document, " Closed.");
    EXPECT_TRUE(document->canClose());
    EXPECT_EQ(readAll(path("closing.md")), "Start.\nSaving. Quitting. Closing. Closed.");
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(gate.where(SaveStep::Awaited), std::make_pair(2, 0));
    document->close();
    spinFor(100ms);
    EXPECT_EQ(readAll(path("closing.md")), "Start.\nSaving. Quitting. Closing. Closed.");
    EXPECT_EQ(alerts.count(), 0);
}

// A save in flight writes the file as one on the main thread does: a file
// with another name (a hard link) where it is, keeping its mode and its
// extended attributes. A link put in the file's place while the save waits
// to write is never written through: Save tells its failure in its alert,
// the autosave tells where the file now leads in a notice that takes no
// keys, and the text stays unsaved.
TEST_F(DocumentFixture, ASaveInFlightKeepsTheFileAsItWasAndNeverWritesThroughALinkPutInItsPlace) {
    QTemporaryDir elsewhere;
    QTemporaryDir home;
    const QString bashrc = home.filePath(".bashrc");
    const QByteArray theirs = "export PATH=/usr/bin\n";
    ASSERT_TRUE(writeAll(bashrc, theirs));
    const QString file = path("kept.md");
    const QString other = elsewhere.filePath("other name.md");
    SmartEditorDocument *document = open("kept.md", "Kept.\n");
    ASSERT_TRUE(document);
    document->setAutosaveDelay(1h);
    ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    const bool tagged = ::lsetxattr(QFile::encodeName(file).constData(), "user.kept", "yes", 3, 0) == 0;
    const ino_t inode = statusOf(file).st_ino;
    SaveGate gate(SaveStep::Working);

    type(document, "Typed.");
    document->autosaveInBackground();
    ASSERT_TRUE(gate.waitUntilHeld());
    gate.open();
    ASSERT_TRUE(spinUntil([&] { return !document->isSaving(); }));
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(readAll(other), "Kept.\nTyped.") << "the other name kept the old text";
    EXPECT_EQ(statusOf(file).st_ino, inode);
    EXPECT_EQ(statusOf(file).st_mode & 07777, 0640u);
    if (tagged) {
        char value[8] = {};
        EXPECT_EQ(::lgetxattr(QFile::encodeName(file).constData(), "user.kept", value, sizeof value), 3);
        EXPECT_STREQ(value, "yes");
    }
    EXPECT_EQ(alerts.count(), 0);

    // Save, asked for from the menu: the link is not written through.
    gate.shut();
    type(document, " Saved?");
    document->saveDocumentInBackground();
    ASSERT_TRUE(gate.waitUntilHeld(2));
    ASSERT_TRUE(replaceByLink(file, bashrc));
    gate.open();
    ASSERT_TRUE(spinUntil([&] { return alerts.count() > 0; })) << "the failure is not told";
    EXPECT_FALSE(alerts.shown()[0].notice);
    EXPECT_EQ(alerts.shown()[0].messageText, "The document “kept.md” could not be saved.");
    EXPECT_TRUE(alerts.shown()[0].informativeText.contains("replaced by a link"))
        << alerts.shown()[0].informativeText.toStdString();
    EXPECT_EQ(readAll(bashrc), theirs);
    EXPECT_EQ(readAll(other), "Kept.\nTyped.");
    EXPECT_TRUE(document->isDocumentEdited());
    document->close();

    // The autosave.
    SmartEditorDocument *linked = open("linked.md", "Linked.\n");
    ASSERT_TRUE(linked);
    linked->setAutosaveDelay(1h);
    const qsizetype before = alerts.count();
    gate.shut();
    type(linked, "Typed.");
    linked->autosaveInBackground();
    ASSERT_TRUE(gate.waitUntilHeld(3));
    ASSERT_TRUE(replaceByLink(path("linked.md"), bashrc));
    gate.open();
    ASSERT_TRUE(spinUntil([&] { return alerts.count() > before && !linked->isSaving(); }));
    spinFor(200ms);  // what the change of the file brings
    // (It finds the file changed, and looks at it: it leads elsewhere.)
    EXPECT_EQ(alerts.shown()[before].messageText,
              QStringLiteral("“linked.md” now leads to another file, “%1”.").arg(bashrc));
    for (qsizetype i = before; i < alerts.count(); i++)
        EXPECT_TRUE(alerts.shown()[i].notice) << "an alert that takes the keys: "
                                              << alerts.shown()[i].messageText.toStdString();
    EXPECT_EQ(readAll(bashrc), theirs);
    EXPECT_TRUE(linked->isDocumentEdited());
    EXPECT_EQ(text(linked), "Linked.\nTyped.");
}
