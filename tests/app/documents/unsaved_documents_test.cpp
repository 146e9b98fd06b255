// What the end of a session (a terminating signal: nobody may be asked)
// keeps of the documents whose text no file holds, untitled ones and those
// that do not save in place, and how the next start brings them back: each
// in its window, edited, as it was; another program's change of the file
// meanwhile taken in as any outside change is; a kept document that cannot
// be read told, where it is, and left there; one start only bringing each
// back, and removing what a program killed while it kept a document left
// half written. A Quit that asks keeps nothing the user did not keep open.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/app_delegate.h"
#include "app/documents/document_fixture.h"
#include "app/extras/tzr_theme_controller.h"
#include "platform/documents/unsaved_documents.h"
#include "platform/files/folders.h"

using namespace documents_test;
using platform::UnsavedDocuments;
using testing_qt::spinFor;
using namespace std::chrono_literals;

namespace {

struct SessionEnd : DocumentFixture {
    platform::ScopedFolders folders;

    static QString keptFolder() { return UnsavedDocuments::folder(); }
    // The kept documents' files waiting for a start, oldest first.
    static QStringList keptFiles() {
        QStringList files;
        for (const QString &name :
             QDir(keptFolder()).entryList({QStringLiteral("*.orvane-unsaved")}, QDir::Files, QDir::Name))
            files << QDir(keptFolder()).filePath(name);
        return files;
    }

    SmartEditorDocument *untitled(const QString &typed) {
        auto *document = qobject_cast<SmartEditorDocument *>(controller.openUntitledDocument(false));
        if (document && !typed.isEmpty())
            type(document, typed);
        return document;
    }
    // A document of the file `name`, with typed text not saved.
    SmartEditorDocument *edited(const QString &name, const QByteArray &bytes, const QString &typed) {
        SmartEditorDocument *document = open(name, bytes);
        if (!document)
            return nullptr;
        document->setAutosaveDelay(1h);
        type(document, typed);
        return document;
    }

    // The session ends: the program's quit sequence with nobody to answer,
    // then the program's end, which closes what is open.
    void theSessionEnds() {
        platform::Alerts::setUnattended(true);
        {
            TZRThemeController extras(TZRThemeController::standardLocations());
            AppDelegate delegate(&prefs(), &extras);
            delegate.applicationWillTerminate();
        }
        platform::Alerts::setUnattended(false);
        closeEverything();
    }
    void closeEverything() {
        for (platform::Document *document : controller.documents())
            document->close();
        spinFor(20ms);
    }
    // The next start of the program: the documents it brings back, in the
    // order it opens them.
    QList<SmartEditorDocument *> theNextStart() {
        TZRThemeController extras(TZRThemeController::standardLocations());
        AppDelegate delegate(&prefs(), &extras);
        delegate.bringBackUnsavedDocuments();
        spinFor(20ms);
        QList<SmartEditorDocument *> documents;
        for (platform::Document *document : controller.documents())
            documents << qobject_cast<SmartEditorDocument *>(document);
        return documents;
    }
    static QString name(platform::Document *document) { return document->displayName(); }
};

}  // namespace

// An untitled document (the window of a start without files), a second one
// (File > New), an empty one, and a file's document with autosave off:
// those with text not in a file are kept, each in a file of its own for the
// user alone, the file itself untouched; the empty one is not. The next
// start brings each back in its window, under its name, holding its text
// and edited (closing it asks), and keeps them no longer.
TEST_F(SessionEnd, UntitledDocumentsAndEditsNotSavedInPlaceComeBackInTheirWindowsAtTheNextStart) {
    prefs().setBool(false, "enableLionSaveFeatures");
    ASSERT_TRUE(untitled("A first note, typed at once."));
    ASSERT_TRUE(untitled("A second one.\nOn two lines, ünïcödé and 😀."));
    ASSERT_TRUE(untitled(QString()));
    ASSERT_TRUE(edited("notes.md", "original\n", "Typed."));
    ASSERT_EQ(controller.documents().size(), 4);

    theSessionEnds();
    EXPECT_EQ(readAll(path("notes.md")), "original\n") << "the user did not let it be saved by itself";
    const QStringList kept = keptFiles();
    ASSERT_EQ(kept.size(), 3);
    for (const QString &file : kept) {
        struct stat status {};
        ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u) << "the user's text is theirs alone";
    }
    struct stat folderStatus {};
    ASSERT_EQ(::stat(QFile::encodeName(keptFolder()).constData(), &folderStatus), 0);
    EXPECT_EQ(folderStatus.st_mode & 0777, 0700u);

    const QList<SmartEditorDocument *> back = theNextStart();
    ASSERT_EQ(back.size(), 3);
    EXPECT_EQ(name(back[0]), "Untitled");
    EXPECT_EQ(text(back[0]), "A first note, typed at once.");
    EXPECT_EQ(name(back[1]), "Untitled 2");
    EXPECT_EQ(text(back[1]), "A second one.\nOn two lines, ünïcödé and 😀.");
    EXPECT_EQ(back[2]->filePath(), path("notes.md"));
    EXPECT_EQ(text(back[2]), "original\nTyped.");
    for (SmartEditorDocument *document : back)
        EXPECT_TRUE(document->isDocumentEdited()) << name(document).toStdString();
    EXPECT_EQ(readAll(path("notes.md")), "original\n");
    EXPECT_TRUE(keptFiles().isEmpty());
    EXPECT_EQ(alerts.count(), 0);

    // Edited: closing asks, as before the session ended (Cancel keeps it).
    alerts.addAnswers({2});
    EXPECT_FALSE(back[1]->canClose());
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown()[0].messageText, "Do you want to save the changes made to the document “Untitled 2”?");

    // A start with nothing kept brings nothing back.
    closeEverything();
    EXPECT_TRUE(theNextStart().isEmpty());
}

// Another program changed the file while the program was not running: the
// kept edits come back into the file's window, and the change is taken in
// as any outside change is, against the text the edits were made on: asked
// about first, then merged (the file still as the other program left it),
// or, answered No, left out (the kept text as it was).
TEST_F(SessionEnd, AFileChangedMeanwhileIsTakenInAsAnOutsideChangeOfTheKeptEdits) {
    prefs().setBool(false, "enableLionSaveFeatures");
    ASSERT_TRUE(edited("merged.md", "one\ntwo\nthree\n", "Four."));
    ASSERT_TRUE(edited("declined.md", "one\ntwo\nthree\n", "Four."));
    theSessionEnds();
    ASSERT_TRUE(renameSave(path("merged.md"), "ONE\ntwo\nthree\n"));
    ASSERT_TRUE(renameSave(path("declined.md"), "one\ntwo\nTHREE\n"));

    alerts.addAnswers({0, 1});  // Merge, then No
    const QList<SmartEditorDocument *> back = theNextStart();
    ASSERT_EQ(back.size(), 2);
    ASSERT_EQ(alerts.count(), 2);
    for (const platform::Alert &alert : alerts.shown())
        EXPECT_EQ(alert.messageText, "File has changed");
    EXPECT_EQ(back[0]->filePath(), path("merged.md"));
    EXPECT_EQ(text(back[0]), "ONE\ntwo\nthree\nFour.");
    EXPECT_EQ(back[1]->filePath(), path("declined.md"));
    EXPECT_EQ(text(back[1]), "one\ntwo\nthree\nFour.");
    for (SmartEditorDocument *document : back)
        EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(readAll(path("merged.md")), "ONE\ntwo\nthree\n");
    EXPECT_EQ(readAll(path("declined.md")), "one\ntwo\nTHREE\n");
    EXPECT_TRUE(keptFiles().isEmpty());

    // A file unchanged since: its edits come back without a question.
    closeEverything();
    ASSERT_TRUE(edited("same.md", "same\n", "More."));
    theSessionEnds();
    const qsizetype before = alerts.count();
    const QList<SmartEditorDocument *> again = theNextStart();
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(text(again[0]), "same\nMore.");
    EXPECT_EQ(alerts.count(), before);
}

// A kept document that cannot be read back (cut short, damaged, not one of
// the program's at all) is told in one alert that names where it is and
// why, at each start, and never removed; the others come back.
TEST_F(SessionEnd, AKeptDocumentThatCannotBeReadIsToldWhereItIsAndStaysThere) {
    ASSERT_TRUE(untitled("Cut short."));
    ASSERT_TRUE(untitled("Damaged."));
    ASSERT_TRUE(untitled("Whole."));
    theSessionEnds();
    QStringList kept = keptFiles();
    ASSERT_EQ(kept.size(), 3);
    const QString cut = kept[0], damaged = kept[1];
    QByteArray bytes = readAll(cut);
    ASSERT_TRUE(writeAll(cut, bytes.left(bytes.size() - 3)));
    bytes = readAll(damaged);
    bytes[bytes.size() - 2] = 'X';
    ASSERT_TRUE(writeAll(damaged, bytes));
    const QString stranger = QDir(keptFolder()).filePath("00000000-stranger.orvane-unsaved");
    ASSERT_TRUE(writeAll(stranger, "Not a document the program kept.\n"));
    QMap<QString, QByteArray> contents;
    for (const QString &file : {cut, damaged, stranger})
        contents[file] = readAll(file);

    for (int start = 0; start < 2; start++) {
        SCOPED_TRACE(start);
        const qsizetype before = alerts.count();
        const QList<SmartEditorDocument *> back = theNextStart();
        if (start == 0) {
            ASSERT_EQ(back.size(), 1);
            EXPECT_EQ(text(back[0]), "Whole.");
        } else {
            EXPECT_TRUE(back.isEmpty());
        }
        ASSERT_EQ(alerts.count(), before + 1);
        const platform::Alert told = alerts.shown().last();
        EXPECT_EQ(told.messageText, "3 documents kept when Orvane last ended could not be brought back.");
        for (const QString &file : {cut, damaged, stranger}) {
            EXPECT_TRUE(told.informativeText.contains("“" + file + "”")) << told.informativeText.toStdString();
            EXPECT_EQ(readAll(file), contents[file]) << "left as it was";
        }
        EXPECT_TRUE(told.informativeText.contains("It is damaged")) << told.informativeText.toStdString();
        EXPECT_TRUE(told.informativeText.contains("not a document that Orvane kept"))
            << told.informativeText.toStdString();
        EXPECT_EQ(keptFiles().size(), 3);
        closeEverything();
    }
}

// Where the state folder takes nothing (a file in its place): a file's
// edits go beside it, as other edits kept at quit do, and an untitled
// document's text could be kept nowhere; the next start says both, and
// brings nothing back.
TEST_F(SessionEnd, WhereTheStateFolderTakesNothingTheEditsGoBesideTheirFileAndTheNextStartSaysWhatWasLost) {
    prefs().setBool(false, "enableLionSaveFeatures");
    ASSERT_TRUE(writeAll(folders.layout().state, "not a folder\n"));
    ASSERT_TRUE(untitled("Nowhere to go."));
    ASSERT_TRUE(edited("notes.md", "original\n", "Typed."));
    theSessionEnds();
    EXPECT_EQ(readAll(path("notes.md")), "original\n");
    const QString beside = path("notes (your edits, not merged).md");
    EXPECT_EQ(readAll(beside), "original\nTyped.");

    prefs().setBool(false, "checkForAnnouncements");
    TZRThemeController extras(TZRThemeController::standardLocations());
    AppDelegate delegate(&prefs(), &extras);
    delegate.applicationDidFinishLaunching();
    delegate.bringBackUnsavedDocuments();
    spinFor(50ms);
    EXPECT_TRUE(controller.documents().isEmpty());
    ASSERT_EQ(alerts.count(), 1);
    const QString told = alerts.shown()[0].informativeText;
    EXPECT_TRUE(told.contains("Your edits to “Untitled” could not be kept anywhere.")) << told.toStdString();
    EXPECT_TRUE(told.contains("“" + beside + "”")) << told.toStdString();
    EXPECT_TRUE(told.contains("could not be kept for the next start")) << told.toStdString();
    prefs().setBool(false, "appCrashed");
}

// Quit from the menu asks about each edited document: Cancel keeps the
// program running with them (a session ending then keeps them), and
// Don't Save discards: a quit after it keeps nothing, and the next start
// brings nothing back.
TEST_F(SessionEnd, AQuitThatAsksKeepsNothingTheUserDidNotSaveButCancelKeepsThemForASessionEnd) {
    for (const QString &typed : {QStringLiteral("First."), QStringLiteral("Second.")}) {
        SmartEditorDocument *document = untitled(typed);
        ASSERT_TRUE(document);
        document->showWindows();
    }
    alerts.addAnswers({2});  // Cancel
    EXPECT_FALSE(AppDelegate::closeAllWindows());
    EXPECT_EQ(alerts.shown().last().buttons, QStringList({"Save", "Don't Save", "Cancel"}));
    ASSERT_EQ(controller.documents().size(), 2);
    theSessionEnds();
    EXPECT_EQ(keptFiles().size(), 2);

    const QList<SmartEditorDocument *> back = theNextStart();
    ASSERT_EQ(back.size(), 2);
    for (SmartEditorDocument *document : back)
        document->showWindows();
    const qsizetype before = alerts.count();
    alerts.addAnswers({1, 1});  // Don't Save, for each
    EXPECT_TRUE(AppDelegate::closeAllWindows());
    EXPECT_EQ(alerts.count(), before + 2);
    spinFor(20ms);
    EXPECT_TRUE(controller.documents().isEmpty());
    theSessionEnds();
    EXPECT_TRUE(keptFiles().isEmpty());
    EXPECT_TRUE(theNextStart().isEmpty());
}

// Two programs of the user starting at once: the one that claims the kept
// documents first brings them back, the other none. A program that ended
// while it claimed them (killed) leaves them to the next start, which takes
// them over; a program that ends claiming them but not done gives them back.
TEST_F(SessionEnd, OnlyOneOfTwoStartsBringsAKeptDocumentBackAndAClaimOfAProgramThatEndedIsTakenOver) {
    ASSERT_TRUE(untitled("One."));
    ASSERT_TRUE(untitled("Two."));
    theSessionEnds();
    ASSERT_EQ(keptFiles().size(), 2);

    {
        // Another program claims them as this one starts.
        UnsavedDocuments::Claim other;
        ASSERT_EQ(other.take().size(), 2);
        EXPECT_TRUE(theNextStart().isEmpty());
        UnsavedDocuments::Claim third;
        EXPECT_TRUE(third.take().isEmpty());
        // It ends before it brought them back: they go back.
    }
    EXPECT_EQ(keptFiles().size(), 2);

    // Killed while it claims them: nobody gives them back.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        UnsavedDocuments::Claim dying;
        ::raise(dying.take().size() == 2 ? SIGKILL : SIGTERM);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child did not claim both";
    EXPECT_TRUE(keptFiles().isEmpty());

    const QList<SmartEditorDocument *> back = theNextStart();
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(text(back[0]), "One.");
    EXPECT_EQ(text(back[1]), "Two.");
    EXPECT_TRUE(keptFiles().isEmpty());
    EXPECT_TRUE(
        QDir(keptFolder() + "/Claimed").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty())
        << "the claims went with their programs";
}

// A kill while a document is being kept leaves its file half written under
// its hidden name: the next start to claim the kept documents removes it,
// and brings the whole ones back. One that another program is writing now
// (it holds it locked) stays until that program is gone, and that program
// keeps its document whole; every other file there stays as it is: a
// hidden one of another name, a link or a folder of such a name, and
// whatever a link leads to.
TEST_F(SessionEnd, AKeptDocumentHalfWrittenByAProgramKilledMeanwhileIsRemovedAndOneBeingWrittenStays) {
    ASSERT_TRUE(untitled("Whole."));
    theSessionEnds();
    ASSERT_EQ(keptFiles().size(), 1);
    const QByteArray whole = readAll(keptFiles()[0]);
    const QDir kept(keptFolder());
    const QString abandoned = kept.filePath(".20250102-131415-123-0001-5f3a9c1e.orvane-unsaved.partial");
    ASSERT_TRUE(writeAll(abandoned, whole.left(whole.size() / 2)));
    const QString writing = kept.filePath(".20250102-131415-124-0002-0badf00d.orvane-unsaved.partial");
    ASSERT_TRUE(writeAll(writing, whole.left(10)));
    const QString hidden = kept.filePath(".someone else's");
    ASSERT_TRUE(writeAll(hidden, "Not ours.\n"));
    const QString elsewhere = path("elsewhere.md");
    ASSERT_TRUE(writeAll(elsewhere, "Kept elsewhere.\n"));
    const QString link = kept.filePath(".link.orvane-unsaved.partial");
    ASSERT_TRUE(QFile::link(elsewhere, link));
    const QString folder = kept.filePath(".folder.orvane-unsaved.partial");
    ASSERT_TRUE(QDir().mkpath(folder));

    // The program writing it holds it locked until it is whole.
    const int writer = ::open(QFile::encodeName(writing).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);

    const QList<SmartEditorDocument *> back = theNextStart();
    ASSERT_EQ(back.size(), 1);
    EXPECT_EQ(text(back[0]), "Whole.");
    EXPECT_EQ(alerts.count(), 0);
    EXPECT_FALSE(QFileInfo::exists(abandoned));
    EXPECT_EQ(readAll(writing), whole.left(10));
    EXPECT_EQ(readAll(hidden), "Not ours.\n");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(elsewhere), "Kept elsewhere.\n");
    EXPECT_TRUE(QFileInfo(folder).isDir());
    closeEverything();

    // Its program killed before it was whole: the next start removes it.
    ::close(writer);
    EXPECT_TRUE(theNextStart().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(writing));
    EXPECT_TRUE(QFileInfo::exists(hidden));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo(folder).isDir());

    // Another program keeps a large document as a start claims: the file
    // it is writing is left to it, and it keeps the document whole.
    const QDir another(path("another folder"));
    platform::UnsavedDocument large;
    large.text = QByteArray(64 << 20, 'x');
    large.displayName = QStringLiteral("Large");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(UnsavedDocuments::keep(large, nullptr, another.path()).isEmpty() ? 1 : 0);
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 &&
           another.entryList(QDir::Files | QDir::Hidden).isEmpty())
        std::this_thread::yield();
    {
        // It ends at once, giving back whatever it claimed.
        UnsavedDocuments::Claim start(another.path());
        start.take();
    }
    if (ended == 0) {
        ASSERT_EQ(::waitpid(child, &status, 0), child);
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other program could not keep it";
    const QStringList keptThere = another.entryList({QStringLiteral("*.orvane-unsaved")}, QDir::Files);
    ASSERT_EQ(keptThere.size(), 1);
    EXPECT_EQ(UnsavedDocuments::read(another.filePath(keptThere[0])), large);
}
