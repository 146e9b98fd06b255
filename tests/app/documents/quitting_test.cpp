// What quitting does with edits that cannot go into their file while nobody
// may be asked (a terminating signal: the session ends): the text goes into
// a file of its own, beside the file, else in the user's documents folder
// (made when it is missing), else in the program's own folder; the next
// start tells where, once. A quit that could keep the text nowhere says so
// and does not claim it did.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include "app/app_delegate.h"
#include "app/documents/document_fixture.h"
#include "app/extras/tzr_theme_controller.h"
#include "platform/files/folders.h"
#include "support/scratch_disk.h"

using namespace documents_test;
using platform::Document;
using testing_qt::spinFor;

namespace {

struct Quitting : DocumentFixture {
    platform::ScopedFolders folders;

    QString documentsFolder() const { return folders.layout().documents; }
    QString programFolder() const { return Document::textKeptAtQuitFolder(); }
    // Where the text of the file `name` goes first in `folder`.
    static QString keptIn(const QString &folder, const QString &name) {
        return QDir(folder).filePath(Document::textKeptAtQuitName(name, 1));
    }
    QList<Document::TextKeptAtQuit> record() { return Document::textsKeptAtQuit(prefs()); }

    // A document of the file `name` in `folder`, with typed text and
    // nothing saved by itself.
    SmartEditorDocument *edited(const QString &folder, const QString &name, const QByteArray &bytes,
                                const QString &typed) {
        const QString file = QDir(folder).filePath(name);
        if (!writeAll(file, bytes))
            return nullptr;
        SmartEditorDocument *document = openExisting(file);
        if (!document)
            return nullptr;
        document->setAutosaveDelay(std::chrono::hours(1));
        type(document, typed);
        return document;
    }

    // The end of this run, as the program ends it once its quit sequence
    // ran (the documents closed), and the next start of the program, on
    // these preferences: the alerts it raises at launch (answered OK).
    QList<platform::Alert> alertsOfTheNextStart() {
        for (platform::Document *document : controller.documents())
            document->close();
        const qsizetype before = alerts.count();
        prefs().setBool(false, "checkForAnnouncements");
        TZRThemeController extras(TZRThemeController::standardLocations());
        AppDelegate delegate(&prefs(), &extras);
        delegate.applicationDidFinishLaunching();
        spinFor(std::chrono::milliseconds(50));
        prefs().setBool(false, "appCrashed");
        return alerts.shown().mid(before);
    }
};

// A folder that takes no new file, as users meet one: a read-only file
// system (root writes through permissions), else a folder without write
// permission. Null when neither can be had here.
struct ReadOnlyFolder {
    testing_qt::ScratchDisk disk{1 << 20};
    QTemporaryDir fallback;

    bool usable() const { return disk.mounted() || ::geteuid() != 0; }
    QString path() const { return disk.mounted() ? disk.path() : fallback.path(); }
    bool lock() {
        if (disk.mounted())
            return disk.makeReadOnly();
        return QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    ~ReadOnlyFolder() {
        if (disk.mounted())
            disk.makeWritable();
        else
            QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
};

}  // namespace

// The file's folder takes no new file: a save that fails at quit, and
// another program's version that nobody took in, both keep the file as it
// is and put the text in the user's documents folder; the next start tells
// where, in one alert, and only once.
TEST_F(Quitting, WhereTheFilesFolderTakesNoNewFileTheTextGoesToTheDocumentsFolderAndTheNextStartSaysSo) {
    ReadOnlyFolder locked;
    if (!locked.usable())
        GTEST_SKIP() << "no mount and running as root: permissions do not stop root";
    ASSERT_TRUE(QDir().mkpath(documentsFolder()));
    SmartEditorDocument *failing = edited(locked.path(), "failing.md", "the old text\n", "Typed.");
    ASSERT_TRUE(failing);
    SmartEditorDocument *changed = edited(locked.path(), "changed.md", "ours\n", "Typed.");
    ASSERT_TRUE(changed);
    // Another program's version, not looked at yet (no event ran since).
    ASSERT_TRUE(writeAll(locked.path() + "/changed.md", "theirs\n"));
    ASSERT_TRUE(locked.lock());
    // (The file itself may be written where the folder may not.)
    if (!locked.disk.mounted()) {
        ASSERT_TRUE(QFile::setPermissions(locked.path() + "/failing.md", QFileDevice::ReadOwner));
    }

    EXPECT_TRUE(failing->saveBeforeQuitting());
    EXPECT_TRUE(changed->saveBeforeQuitting());
    EXPECT_EQ(readAll(locked.path() + "/failing.md"), "the old text\n");
    EXPECT_EQ(readAll(locked.path() + "/changed.md"), "theirs\n");
    const QString keptFailing = keptIn(documentsFolder(), "failing.md");
    const QString keptChanged = keptIn(documentsFolder(), "changed.md");
    EXPECT_EQ(readAll(keptFailing), "the old text\nTyped.");
    EXPECT_EQ(readAll(keptChanged), "ours\nTyped.");

    const QList<Document::TextKeptAtQuit> kept = record();
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(kept[0].file, locked.path() + "/failing.md");
    EXPECT_EQ(kept[0].keptIn, keptFailing);
    EXPECT_FALSE(kept[0].why.isEmpty());
    EXPECT_EQ(kept[1].file, locked.path() + "/changed.md");
    EXPECT_EQ(kept[1].keptIn, keptChanged);
    EXPECT_TRUE(kept[1].why.contains("another program")) << kept[1].why.toStdString();

    const QList<platform::Alert> told = alertsOfTheNextStart();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].informativeText.contains(keptFailing)) << told[0].informativeText.toStdString();
    EXPECT_TRUE(told[0].informativeText.contains(keptChanged)) << told[0].informativeText.toStdString();
    EXPECT_TRUE(record().isEmpty());
    EXPECT_TRUE(alertsOfTheNextStart().isEmpty());
}

// Every name beside the file is taken, and the user has no documents folder:
// it is made, and the text goes there.
TEST_F(Quitting, WhereEveryNameBesideTheFileIsTakenTheTextGoesToADocumentsFolderMadeForIt) {
    SmartEditorDocument *document = edited(folder.path(), "notes.md", "ours\n", "Typed.");
    ASSERT_TRUE(document);
    for (int number = 1; number <= 100; number++)
        ASSERT_TRUE(writeAll(path(Document::textKeptAtQuitName("notes.md", number)), "the user's\n"));
    ASSERT_TRUE(writeAll(path("notes.md"), "theirs\n"));
    ASSERT_FALSE(QFileInfo::exists(documentsFolder()));

    EXPECT_TRUE(document->saveBeforeQuitting());
    EXPECT_EQ(readAll(path("notes.md")), "theirs\n");
    for (int number = 1; number <= 100; number++)
        EXPECT_EQ(readAll(path(Document::textKeptAtQuitName("notes.md", number))), "the user's\n");
    const QString kept = keptIn(documentsFolder(), "notes.md");
    EXPECT_EQ(readAll(kept), "ours\nTyped.");
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(kept).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "the user's text is theirs alone";
    ASSERT_EQ(record().size(), 1);
    EXPECT_EQ(record()[0].keptIn, kept);
}

// Neither the file's folder nor a documents folder takes the text: it goes
// to the program's own folder. Where even that cannot be had, the text is
// kept nowhere, and quitting says so rather than claim it was kept; the
// next start tells both, once they were seen.
TEST_F(Quitting, WhereNoDocumentsFolderCanBeHadTheTextGoesToTheProgramsFolderAndNowhereIsToldAsSuch) {
    ReadOnlyFolder locked;
    if (!locked.usable())
        GTEST_SKIP() << "no mount and running as root: permissions do not stop root";
    // A file where the documents folder would be.
    ASSERT_TRUE(QDir().mkpath(QFileInfo(documentsFolder()).path()));
    ASSERT_TRUE(writeAll(documentsFolder(), "not a folder\n"));
    SmartEditorDocument *first = edited(locked.path(), "first.md", "ours\n", "Typed.");
    ASSERT_TRUE(first);
    SmartEditorDocument *second = edited(locked.path(), "second.md", "ours too\n", "Typed.");
    ASSERT_TRUE(second);
    ASSERT_TRUE(writeAll(locked.path() + "/first.md", "theirs\n"));
    ASSERT_TRUE(writeAll(locked.path() + "/second.md", "theirs too\n"));
    ASSERT_TRUE(locked.lock());

    // Nor the user's data folder, where the program's own is.
    const QString data = folders.layout().userData;
    ASSERT_TRUE(!QFileInfo::exists(data) || QDir(data).removeRecursively());
    ASSERT_TRUE(writeAll(data, "not a folder\n"));
    EXPECT_FALSE(second->saveBeforeQuitting());
    EXPECT_EQ(readAll(locked.path() + "/second.md"), "theirs too\n");

    // The data folder back: the program's own folder is made in it.
    ASSERT_TRUE(QFile::remove(data));
    EXPECT_TRUE(first->saveBeforeQuitting());
    const QString kept = keptIn(programFolder(), "first.md");
    EXPECT_TRUE(kept.startsWith(data + "/"));
    EXPECT_EQ(readAll(kept), "ours\nTyped.");
    EXPECT_EQ(readAll(locked.path() + "/first.md"), "theirs\n");

    const QList<Document::TextKeptAtQuit> noted = record();
    ASSERT_EQ(noted.size(), 2);
    EXPECT_EQ(noted[0].file, locked.path() + "/second.md");
    EXPECT_TRUE(noted[0].keptIn.isEmpty());
    EXPECT_EQ(noted[1].keptIn, kept);
    // A start that ends before anybody answered the alert (the session
    // ending again) leaves it to the next.
    platform::Alerts::setUnattended(true);
    alertsOfTheNextStart();
    platform::Alerts::setUnattended(false);
    EXPECT_EQ(record(), noted);
    const QList<platform::Alert> told = alertsOfTheNextStart();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].informativeText.contains(kept)) << told[0].informativeText.toStdString();
    EXPECT_TRUE(told[0].informativeText.contains("“" + locked.path() + "/second.md” could not be kept anywhere"))
        << told[0].informativeText.toStdString();
}
