// Plain-text documents: decoding, writing with line endings, changes made by
// other programs (reloaded, merged, refused, merged while the user types),
// revert, failed saves on a read-only folder and a full disk, and window
// frames per file.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include "app/documents/kvx_document_window_controller.h"
#include "app/documents/text_decoding.h"
#include "support/scratch_disk.h"
#include "app/documents/document_fixture.h"

using namespace documents_test;
using platform::SaveOperation;
using testing_qt::spinFor;
using testing_qt::spinUntil;

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}

}  // namespace

TEST(TextDecoding, ByteOrderMarksAloneMakeUtf16AndUtf32) {
    using textdecoding::Encoding;
    struct Case {
        const char *name;
        QByteArray data;
        QString text;
        Encoding encoding;
    };
    const Case cases[] = {
        {"UTF-8 with CRLF and CR", "a\r\nb\rc\n", "a\nb\nc\n", Encoding::UTF8},
        {"UTF-8 with its mark", QByteArray("\xEF\xBB\xBFh\xC3\xA9", 6), u"hé"_qs, Encoding::UTF8},
        // Six bytes, an even length that reads as UTF-16 without the rule.
        {"Latin-1", "caf\xE9s!", u"cafés!"_qs, Encoding::Latin1},
        {"Mac Roman", "Cr\x8Fme br\x9El\x8E" "e", u"Crème brûlée"_qs, Encoding::MacRoman},
        {"UTF-16 LE", bytes({0xFF, 0xFE, 'h', 0, 'i', 0, 0x0D, 0, 0x0A, 0}), "hi\n", Encoding::UTF16},
        {"UTF-16 BE", bytes({0xFE, 0xFF, 0, 'h', 0, 'i'}), "hi", Encoding::UTF16},
        {"UTF-32 LE", bytes({0xFF, 0xFE, 0, 0, 'o', 0, 0, 0, 'k', 0, 0, 0}), "ok", Encoding::UTF32},
        {"ASCII", "plain", "plain", Encoding::UTF8},
    };
    for (const Case &c : cases) {
        const std::optional<textdecoding::Decoded> decoded = textdecoding::decode(c.data);
        ASSERT_TRUE(decoded) << c.name;
        EXPECT_EQ(decoded->encoding, c.encoding) << c.name;
        EXPECT_EQ(textdecoding::normalizeLineEndings(decoded->text), c.text) << c.name;
    }
    // A UTF-16 byte string without its mark is not taken for UTF-16.
    EXPECT_NE(textdecoding::decode(bytes({'h', 0xE9, 'l', 0xE9}))->encoding, Encoding::UTF16);
    EXPECT_EQ(textdecoding::convertStringToWindows("a\nb"), "a\r\nb");
    EXPECT_EQ(textdecoding::convertStringToOldMac("a\nb"), "a\rb");
    EXPECT_EQ(textdecoding::withLineEndings("a\nb", 7), "a\nb");
}

TEST_F(DocumentFixture, ALatinOneFileOpensAsItselfAndIsSavedAsLatinOne) {
    SmartEditorDocument *document = open("latin.txt", "Caf\xE9 cr\xE8me\r\n");
    ASSERT_TRUE(document);
    EXPECT_EQ(text(document), u"Café crème\n"_qs);
    EXPECT_FALSE(document->isDocumentEdited());
    type(document, "ok");
    ASSERT_TRUE(document->saveDocument());
    // Its own encoding: the accented letters keep their bytes.
    EXPECT_EQ(readAll(path("latin.txt")), QByteArray("Caf\xE9 cr\xE8me\nok"));
    EXPECT_EQ(alerts.count(), 0);
}

TEST_F(DocumentFixture, WindowsLineEndingsOnDiskStillMergeAgainstTheEditorsText) {
    prefs().setInteger(1, "exportLineEndings");
    prefs().setBool(true, "MERGE_FILE_CHANGES");
    SmartEditorDocument *document = open("crlf.md", "one\ntwo\nthree\n");
    ASSERT_TRUE(document);
    type(document, "four\n");
    ASSERT_TRUE(document->saveDocument());
    EXPECT_EQ(readAll(path("crlf.md")), "one\r\ntwo\r\nthree\r\nfour\r\n");
    EXPECT_EQ(document->fileString(), "one\ntwo\nthree\nfour\n");

    // An edit here and another there, on disk in CRLF.
    type(document, "five\n");
    ASSERT_TRUE(renameSave(path("crlf.md"), "ONE\r\ntwo\r\nthree\r\nfour\r\n"));
    ASSERT_TRUE(spinUntil([&] { return text(document).startsWith("ONE"); }));
    EXPECT_EQ(text(document), "ONE\ntwo\nthree\nfour\nfive\n");
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(alerts.count(), 0);
}

TEST_F(DocumentFixture, AnOutsideChangeIsOfferedOnceAndReloadsOrMergesAsAnswered) {
    SmartEditorDocument *document = open("asked.md", "alpha\n");
    ASSERT_TRUE(document);

    // "No": nothing changes, and the same version is not offered again.
    alerts.addAnswers({1});
    ASSERT_TRUE(renameSave(path("asked.md"), "beta\n"));
    ASSERT_TRUE(spinUntil([&] { return alerts.count() == 1; }));
    EXPECT_EQ(alerts.shown().last().messageText, "File has changed");
    EXPECT_EQ(alerts.shown().last().informativeText,
              "The file on disk has been changed by another program. Do you want to merge the changes?");
    EXPECT_EQ(alerts.shown().last().buttons, (QStringList{"Merge", "No"}));
    spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(text(document), "alpha\n");
    document->checkFileOnDisk();
    EXPECT_EQ(alerts.count(), 1);

    // "Merge" on a document without edits: the disk text, not edited.
    alerts.addAnswers({0});
    ASSERT_TRUE(renameSave(path("asked.md"), "gamma\n"));
    ASSERT_TRUE(spinUntil([&] { return text(document) == "gamma\n"; }));
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(document->fileString(), "gamma\n");

    // Our own save is heard by the presenter, and is no change.
    type(document, "delta\n");
    ASSERT_TRUE(document->saveDocument());
    spinFor(std::chrono::milliseconds(150));
    EXPECT_EQ(alerts.count(), 2);

    // A file touched without a change of its bytes is no change either.
    ASSERT_TRUE(writeAll(path("asked.md"), "gamma\ndelta\n"));
    spinFor(std::chrono::milliseconds(150));
    EXPECT_EQ(alerts.count(), 2);
}

namespace {

// A person at the screen: reads each alert that opens for `reading`, then
// clicks `button`. Alerts are real modal ones, each with a loop of its own
// in which the program's timers go on; the texts of those shown are kept.
class Reader : public QObject {
public:
    Reader(std::chrono::milliseconds reading, QString button)
        : m_reading(reading), m_button(std::move(button)), m_scripted(platform::Alerts::setHandler({})) {
        m_look.setInterval(10);
        connect(&m_look, &QTimer::timeout, this, [this] { look(); });
        m_look.start();
    }
    ~Reader() override { platform::Alerts::setHandler(std::move(m_scripted)); }
    QStringList shown;

private:
    void look() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (box != m_box) {
            m_box = box;
            shown << box->text();
            m_since.start();
        }
        if (m_since.elapsed() < m_reading.count())
            return;
        for (QAbstractButton *button : box->buttons())
            if (button->text() == m_button) {
                m_box = nullptr;
                button->click();
                return;
            }
    }

    std::chrono::milliseconds m_reading;
    QString m_button;
    platform::Alerts::Handler m_scripted;
    QTimer m_look;
    QPointer<QMessageBox> m_box;
    QElapsedTimer m_since;
};

}  // namespace

// While the question about another program's change waits for an answer,
// the autosave that falls due neither asks it again nor writes over the
// change; once answered, the program's own save is no change of another
// program. Two outside edits: two questions.
TEST_F(DocumentFixture, TheProgramsOwnSaveNeverRaisesTheOutsideChangeQuestion) {
    ASSERT_TRUE(prefs().boolForKey("enableLionSaveFeatures"));
    ASSERT_FALSE(prefs().boolForKey("MERGE_FILE_CHANGES"));
    SmartEditorDocument *document = open("reading.md", "one\ntwo\nthree\n");
    ASSERT_TRUE(document);
    document->setAutosaveDelay(std::chrono::milliseconds(100));
    Reader user(std::chrono::milliseconds(800), "Merge");

    type(document, "four\n");
    ASSERT_TRUE(renameSave(path("reading.md"), "ONE\ntwo\nthree\n"));
    ASSERT_TRUE(
        spinUntil([&] { return readAll(path("reading.md")) == "ONE\ntwo\nthree\nfour\n"; }, std::chrono::seconds(10)))
        << readAll(path("reading.md")).toStdString() << user.shown.join(", ").toStdString();
    spinFor(std::chrono::milliseconds(400));

    ASSERT_TRUE(renameSave(path("reading.md"), "ONE\ntwo\nTHREE\nfour\n"));
    ASSERT_TRUE(spinUntil([&] { return text(document) == "ONE\ntwo\nTHREE\nfour\n"; }, std::chrono::seconds(10)));
    type(document, "five\n");
    ASSERT_TRUE(spinUntil([&] { return readAll(path("reading.md")) == "ONE\ntwo\nTHREE\nfour\nfive\n"; },
                          std::chrono::seconds(10)));
    spinFor(std::chrono::milliseconds(1200));
    EXPECT_EQ(user.shown.join(" | "), "File has changed | File has changed");
    EXPECT_EQ(text(document), "ONE\ntwo\nTHREE\nfour\nfive\n");
    EXPECT_FALSE(document->isDocumentEdited());
}

// The choice of yours, theirs or both: Cancel keeps the typed text and says
// beforehand that the next save replaces the file's version with it; Reload
// takes the file's; Merge as CriticMarkup shows both, marked, as one edit
// that Undo takes back.
TEST_F(DocumentFixture, ChangesThatCannotBeMergedOfferReloadCancelOrBothMarked) {
    prefs().setBool(true, "MERGE_FILE_CHANGES");
    SmartEditorDocument *document = open("clash.md", "The cat sat on the mat.\n");
    ASSERT_TRUE(document);
    storage(document)->replaceCharactersInRange({4, 3}, "dog");
    alerts.addAnswers({1});  // Cancel
    ASSERT_TRUE(renameSave(path("clash.md"), "The bird flew.\n"));
    ASSERT_TRUE(spinUntil([&] { return alerts.count() == 1; }));
    const platform::Alert asked = alerts.shown().last();
    EXPECT_EQ(asked.messageText, "File has changed");
    EXPECT_EQ(asked.informativeText,
              "The file on disk has been changed by another program, and the changes could not be merged "
              "successfully.  Do you want to reload the file?");
    EXPECT_EQ(asked.buttons, (QStringList{"Reload", "Cancel", "Merge as CriticMarkup"}));
    EXPECT_EQ(asked.note, "Cancel keeps your text: the file's version will be replaced at the next save.");
    EXPECT_EQ(text(document), "The dog sat on the mat.\n");
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(document->fileString(), "The cat sat on the mat.\n") << "Cancel keeps the old base";

    alerts.addAnswers({0});  // Reload
    ASSERT_TRUE(renameSave(path("clash.md"), "The fish swam.\n"));
    ASSERT_TRUE(spinUntil([&] { return text(document) == "The fish swam.\n"; }));
    EXPECT_FALSE(document->isDocumentEdited());

    SmartEditorDocument *both = open("both.md", "The cat sat on the mat.\n");
    ASSERT_TRUE(both);
    storage(both)->replaceCharactersInRange({4, 3}, "dog");
    alerts.addAnswers({2});  // Merge as CriticMarkup
    ASSERT_TRUE(renameSave(path("both.md"), "The bird flew.\n"));
    ASSERT_TRUE(spinUntil([&] { return alerts.count() == 3; }));
    EXPECT_EQ(alerts.shown().last().buttons, asked.buttons);
    EXPECT_EQ(text(both).toStdString(), "The {~~bird flew~>dog sat on the mat~~}.\n");
    EXPECT_EQ(both->fileString(), "The bird flew.\n");
    EXPECT_TRUE(both->isDocumentEdited());
    ASSERT_TRUE(storage(both)->undo());
    EXPECT_EQ(text(both).toStdString(), "The dog sat on the mat.\n");
    EXPECT_TRUE(both->isDocumentEdited());
    spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(alerts.count(), 3);
}

// Lines of one shape, as Markdown's lists, table rows and numbered lines
// are: another program's change to the line the user is editing is never
// taken onto a line that looks like it, but asks; a change to the line
// next to it lands on that line.
TEST_F(DocumentFixture, AnOutsideChangeLandsOnItsOwnLineOrAsksWhenTheUserChangedTheSamePlace) {
    QString original;
    for (int i = 1; i <= 8; i++)
        original += QStringLiteral("Line %1 of the safety document.\n\n").arg(i);
    const qsizetype endOfLine3 = original.indexOf("Line 4") - 2;
    auto withAppended = [&](int line, const QString &words) {
        QString text = original;
        text.insert(text.indexOf(QStringLiteral("Line %1 ").arg(line + 1)) - 2, words);
        return text;
    };

    SmartEditorDocument *same = open("same.md", original.toUtf8());
    ASSERT_TRUE(same);
    same->setAutosaveDelay(std::chrono::hours(1));
    storage(same)->replaceCharactersInRange({endOfLine3, 0}, " LOCAL3");
    const QString mine = text(same);
    ASSERT_EQ(mine, withAppended(3, " LOCAL3"));
    alerts.addAnswers({0, 1});  // Merge, then Cancel
    ASSERT_TRUE(renameSave(path("same.md"), withAppended(3, " OUTSIDE3").toUtf8()));
    ASSERT_TRUE(spinUntil([&] { return alerts.count() == 2 || text(same).contains("OUTSIDE3"); }));
    EXPECT_EQ(text(same).toStdString(), mine.toStdString()) << "nothing merged silently";
    ASSERT_EQ(alerts.count(), 2);
    EXPECT_EQ(alerts.shown().last().buttons, (QStringList{"Reload", "Cancel", "Merge as CriticMarkup"}));
    EXPECT_TRUE(alerts.shown().last().informativeText.contains("could not be merged successfully"));
    EXPECT_EQ(same->fileString(), original) << "Cancel keeps the old base";
    EXPECT_TRUE(same->isDocumentEdited());

    SmartEditorDocument *next = open("next.md", original.toUtf8());
    ASSERT_TRUE(next);
    next->setAutosaveDelay(std::chrono::hours(1));
    storage(next)->replaceCharactersInRange({endOfLine3, 0}, " LOCAL3");
    alerts.addAnswers({0});  // Merge
    const QString theirs = withAppended(2, " OUTSIDE2");
    ASSERT_TRUE(renameSave(path("next.md"), theirs.toUtf8()));
    ASSERT_TRUE(spinUntil([&] { return text(next).contains("OUTSIDE2"); }));
    QString both = theirs;
    both.insert(both.indexOf("Line 4") - 2, " LOCAL3");
    EXPECT_EQ(text(next).toStdString(), both.toStdString());
    EXPECT_EQ(next->fileString(), theirs);
    EXPECT_EQ(alerts.count(), 3);
}

TEST_F(DocumentFixture, TextTypedWhileAnOutsideChangeArrivesIsKept) {
    prefs().setBool(true, "MERGE_FILE_CHANGES");
    QByteArray original;
    for (int i = 0; i < 200; i++)
        original += "Line " + QByteArray::number(i) + " of a long enough text to merge into.\n";
    SmartEditorDocument *document = open("typing.md", original);
    ASSERT_TRUE(document);
    // The document's own save, due seconds after a pause in the keys that a
    // busy machine can make, is no part of this.
    document->setAutosaveDelay(std::chrono::hours(1));

    // Keys every 2 ms while another program saves twice. Each save is
    // followed by a key typed before its change is heard, and the keys go
    // on while the change is taken in: keys come before, between and after
    // the two saves however fast this machine runs.
    QString typed;
    auto typeKey = [&] {
        const QString key = QString(QChar(char16_t(u'a' + typed.size() % 26)));
        typed += key;
        type(document, key);
    };
    QTimer keys;
    keys.setInterval(2);
    QObject::connect(&keys, &QTimer::timeout, typeKey);
    typeKey();
    keys.start();
    const qsizetype beforeFirst = typed.size();
    ASSERT_TRUE(renameSave(path("typing.md"), "A first line from elsewhere.\n" + original));
    typeKey();
    ASSERT_TRUE(spinUntil([&] { return text(document).startsWith("A first line from elsewhere.\n"); },
                          std::chrono::seconds(20)));
    const qsizetype beforeSecond = typed.size();
    QByteArray second = "A first line from elsewhere.\n" + original;
    second.replace("Line 100 of", "Line one hundred of");
    ASSERT_TRUE(writeAll(path("typing.md"), second));
    typeKey();
    ASSERT_TRUE(spinUntil([&] { return text(document).contains("Line one hundred of"); }, std::chrono::seconds(20)));
    typeKey();
    keys.stop();
    EXPECT_GT(beforeFirst, 0);
    EXPECT_GT(beforeSecond, beforeFirst);
    EXPECT_GT(typed.size(), beforeSecond);

    const QString shown = text(document);
    EXPECT_TRUE(shown.startsWith("A first line from elsewhere.\n"));
    EXPECT_TRUE(shown.contains("Line one hundred of"));
    EXPECT_TRUE(shown.endsWith(typed)) << "typed " << typed.size() << " keys, the text ends with "
                                       << shown.right(40).toStdString();
    EXPECT_EQ(document->fileString(), QString::fromUtf8(second));
    EXPECT_TRUE(document->isDocumentEdited());
}

TEST_F(DocumentFixture, RevertDropsTheEditsWithoutAMerge) {
    SmartEditorDocument *document = open("revert.md", "saved\n");
    ASSERT_TRUE(document);
    type(document, "unsaved");
    alerts.addAnswers({0});
    ASSERT_TRUE(document->revertDocumentToSaved());
    EXPECT_EQ(text(document), "saved\n");
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(alerts.count(), 1) << "revert asks once, and merges nothing";
}

namespace {

// After a failed save: reported, the old file whole, the document still
// edited with its old base.
void expectFailedSave(DocumentFixture &fixture, SmartEditorDocument *document, const QString &file,
                      const QByteArray &old) {
    ASSERT_GE(fixture.alerts.count(), 1);
    EXPECT_EQ(fixture.alerts.shown().last().messageText,
              QStringLiteral("The document “%1” could not be saved.").arg(document->displayName()));
    EXPECT_FALSE(fixture.alerts.shown().last().informativeText.isEmpty());
    EXPECT_EQ(readAll(file), old);
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(document->fileString(), QString::fromUtf8(old));
    const QStringList left = QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : left)
        EXPECT_FALSE(name.contains(QFileInfo(file).fileName() + u'.')) << "left behind: " << name.toStdString();
}

}  // namespace

TEST_F(DocumentFixture, SavingIntoAReadOnlyFolderFailsAndKeepsTheFile) {
    testing_qt::ScratchDisk disk(1 << 20);
    const QString where = disk.mounted() ? disk.path() : path("locked");
    QDir().mkpath(where);
    const QString file = where + QStringLiteral("/kept.md");
    ASSERT_TRUE(writeAll(file, "the old text\n"));
    SmartEditorDocument *document = openExisting(file);
    ASSERT_TRUE(document);
    if (disk.mounted()) {
        ASSERT_TRUE(disk.makeReadOnly());
    } else {
        if (geteuid() == 0)
            GTEST_SKIP() << "no mount and running as root: permissions do not stop root";
        // The file too: one the user may write is written where it is.
        ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner));
        ASSERT_TRUE(QFile::setPermissions(where, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    type(document, "new words");
    EXPECT_FALSE(document->saveDocument());
    expectFailedSave(*this, document, file, "the old text\n");
    if (!disk.mounted())
        QFile::setPermissions(where, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    document->close();
}

TEST_F(DocumentFixture, SavingOntoAFullDiskFailsAndKeepsTheFileAndTheBase) {
    testing_qt::ScratchDisk disk(256 * 1024);
    const QString where = disk.mounted() ? disk.path() : folder.path();
    const QString file = where + QStringLiteral("/full.md");
    const QByteArray old = "first line\nsecond line\n";
    ASSERT_TRUE(writeAll(file, old));
    SmartEditorDocument *document = openExisting(file);
    ASSERT_TRUE(document);
    // More than the disk has left, in lines of a usual length.
    QString typed;
    for (int i = 0; i < 400; i++)
        typed += QStringLiteral("%1 words typed into the document until the disk cannot hold them.\n").arg(i, 4);
    type(document, typed);

    if (disk.mounted()) {
        ASSERT_TRUE(disk.fill(16 * 1024));
        EXPECT_FALSE(document->saveDocument());
        // The system's own words for it.
        EXPECT_TRUE(alerts.shown().last().informativeText.endsWith(": No space left on device."))
            << alerts.shown().last().informativeText.toStdString();
    } else {
        // The same failure through a file-size limit, in a child process.
        const int status = testing_qt::runWithFileSizeLimit(16 * 1024, [&] { return document->saveDocument(); });
        ASSERT_GE(status, 0);
        EXPECT_EQ(status, 1) << "the save should have failed";
        GTEST_SKIP() << "checked in a child process only: no tmpfs could be mounted";
    }
    expectFailedSave(*this, document, file, old);

    // The base did not move: once there is room, another program's change
    // merges against the old text. (It adds a line at the start: one added at
    // the end would meet the typing there, which no merge orders.)
    QFile::remove(disk.path() + QStringLiteral("/filler"));
    prefs().setBool(true, "MERGE_FILE_CHANGES");
    ASSERT_TRUE(renameSave(file, "zeroth line\nfirst line\nsecond line\n"));
    ASSERT_TRUE(spinUntil([&] { return text(document).contains("zeroth line"); }))
        << alerts.count() << " alerts; " << text(document).left(60).toStdString();
    EXPECT_TRUE(text(document).endsWith(typed));
    ASSERT_TRUE(document->saveDocument());
    EXPECT_TRUE(readAll(file).startsWith("zeroth line\nfirst line\nsecond line\n"));
    document->close();
}

TEST_F(DocumentFixture, WindowsKeepAFramePerFile) {
    using platform::WindowController;
    prefs().setObject("30 40 500 400", WindowController::frameKey("KVXDocument"));
    SmartEditorDocument *first = open("framed.md", "x");
    ASSERT_TRUE(first);
    WindowController *window = first->windowControllers().first();
    EXPECT_EQ(window->window()->size(), QSize(500, 400)) << "a new file starts from the untitled frame";
    EXPECT_EQ(window->frameAutosaveName(), path("framed.md"));
    window->window()->resize(610, 420);
    first->close();
    spinFor(std::chrono::milliseconds(10));
    SmartEditorDocument *again = openExisting(path("framed.md"));
    EXPECT_EQ(again->windowControllers().first()->window()->size(), QSize(610, 420));

    // Saved under a new name, the window keeps the frame it has.
    again->windowControllers().first()->window()->resize(555, 333);
    prefs().setObject("1 1 100 100", WindowController::frameKey(path("renamed.md")));
    ASSERT_TRUE(again->saveToPath(path("renamed.md"), platform::types::kMarkdownType, SaveOperation::SaveAs));
    EXPECT_EQ(again->windowControllers().first()->window()->size(), QSize(555, 333));
    EXPECT_TRUE(prefs().stringForKey(WindowController::frameKey(path("renamed.md"))).endsWith("555 333"));

    KVXDocumentWindowController controller;
    prefs().setInteger(800, "fullScreenWidth");
    EXPECT_EQ(controller.willUseFullScreenContentSize({1440, 900}), QSize(800, 900));
    prefs().setInteger(0, "fullScreenWidth");
    EXPECT_EQ(controller.willUseFullScreenContentSize({1440, 900}), QSize(5, 900));
}
