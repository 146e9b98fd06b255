// Plain-text documents: decoding, writing with line endings, changes made by
// other programs (reloaded, merged, refused, merged while the user types,
// asked about once their keys pause, kept in the file with the typed text
// beside it when the session ends while they wait), what quitting cannot
// save in the file, revert, failed saves on a read-only folder and a full
// disk, and window frames per file.
#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <QtTest/QTest>

#include <functional>

#include <sys/stat.h>

#include "app/documents/kvx_document_window_controller.h"
#include "app/documents/text_decoding.h"
#include "support/scratch_disk.h"
#include "app/documents/document_fixture.h"
#include "editor/smart_text_view.h"
#include "platform/text/critic_diff.h"
#include "window/content/document_content.h"
#include "window/content/text_content.h"

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

namespace {

// The program's editor alone in a document's window, without the preview
// and sidebars (and so without the web engine): keys typed into it are the
// document's edits, as in the program's windows.
class EditorContent : public QWidget, public DocumentContent {
public:
    EditorContent() : m_storage(std::make_unique<SmartTextStorage>(platform::Defaults::standard())) {
        m_view = new SmartTextView(m_storage.get(), nullptr, this);
        m_text = new EditorTextContent(m_view);
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(m_view);
    }
    ~EditorContent() override { delete m_view; }  // before the storage it edits
    QWidget *widget() override { return this; }
    TextContent *textContent() const override { return m_text; }
    void setText(const QString &text, bool clearingUndo) override {
        if (clearingUndo)
            m_storage->setInitialText(text);
        else
            m_storage->bulkReplaceCharactersInRange({0, m_storage->length()}, text);
    }
    void setTransclusionPath(const QString &) override {}
    QByteArray exportToFormat(short, LeftOutFiles *) override { return {}; }
    std::optional<QStringList> tzrTags() override { return std::nullopt; }
    std::optional<QString> metadataForKey(const QString &) override { return std::nullopt; }
    void applyTheme(const QString &, const QString &) override {}
    void applyCSS(const QString &, const QString &) override {}
    void setOkToUpdatePreview(bool) override {}
    QWebEngineView *previewView() const override { return nullptr; }

private:
    std::unique_ptr<SmartTextStorage> m_storage;
    SmartTextView *m_view = nullptr;
    TextContent *m_text = nullptr;
};

// A person at the keyboard, keys going to the window that has the keyboard's
// focus, as the window system sends them: they type a key every 50 ms while
// `typing` says so; when a question shows, they type on for a moment once
// it has the keyboard (" " and Return, not yet having seen it), then read
// it and answer it with Return. What they found on the screen is kept.
class Typist : public QObject {
public:
    explicit Typist(std::function<bool()> typing) : m_typing(std::move(typing)) {
        m_keys.setInterval(50);
        connect(&m_keys, &QTimer::timeout, this, [this] { typeOn(); });
        m_look.setInterval(5);
        connect(&m_look, &QTimer::timeout, this, [this] { look(); });
        m_keys.start();
        m_look.start();
        m_sinceKey.start();
    }
    QString typed;
    QStringList questions;
    // The time since the last key when a question came up (none may be
    // shorter than the pause the program waits for).
    QList<qint64> stillBeforeQuestions;
    bool answeredByTheirReturn = false;
    // A question answered from a script came up (its loop shows nothing).
    void questionCame(const QString &question) {
        questions << question;
        stillBeforeQuestions << m_sinceKey.elapsed();
    }

private:
    static void key(Qt::Key key, char text) {
        if (QWindow *focused = QGuiApplication::focusWindow())
            QTest::keyClick(focused, key, Qt::NoModifier, text);
    }
    void typeOn() {
        if (!m_typing())
            return;
        // A question that came up since the last key, before this one.
        const bool shows = QApplication::activeModalWidget();
        if (shows && !m_showedAtLastKey)
            stillBeforeQuestions << m_sinceKey.elapsed();
        m_showedAtLastKey = shows;
        const char letter = char('a' + typed.size() % 26);
        typed += QChar(letter);
        m_sinceKey.restart();
        key(Qt::Key(Qt::Key_A + (letter - 'a')), letter);
    }
    void look() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box == m_answered)
            return;
        if (box != m_box) {
            m_box = box;
            m_typedOn = false;
            questions << box->text();
            if (!m_showedAtLastKey)
                stillBeforeQuestions << m_sinceKey.elapsed();
            m_showedAtLastKey = true;
            return;
        }
        // In the moment it has the keyboard: keys that would answer it.
        if (!m_typedOn) {
            if (QGuiApplication::focusWindow() != box->windowHandle())
                return;
            typed += " \n";
            key(Qt::Key_Space, ' ');
            key(Qt::Key_Return, '\r');
            m_typedOn = true;
            m_read.start();
            return;
        }
        if (m_read.elapsed() < 1500)
            return;
        m_answered = box;
        key(Qt::Key_Return, '\r');
        answeredByTheirReturn = !box->isVisible();
    }

    std::function<bool()> m_typing;
    QTimer m_keys, m_look;
    QElapsedTimer m_sinceKey, m_read;
    bool m_showedAtLastKey = false;
    bool m_typedOn = false;
    QPointer<QMessageBox> m_box, m_answered;
};

}  // namespace

// Another program changes the file while the user types: the question
// waits until the keys pause, and meanwhile nothing saves over the other
// program's version (not the autosave, not Save); the keys typed in the
// moment the question takes the keyboard go to the text, not to its
// buttons; the user's answer then merges both.
TEST_F(DocumentFixture, TheQuestionAboutAnOutsideChangeWaitsForTheKeysToPauseAndTakesNoneTypedBefore) {
    ASSERT_FALSE(prefs().boolForKey("MERGE_FILE_CHANGES"));
    SmartEditorDocument::setContentFactory([] { return new EditorContent; });
    SmartEditorDocument *document = open("typed.md", "one\ntwo\n");
    ASSERT_TRUE(document);
    document->setAutosaveDelay(std::chrono::milliseconds(50));
    document->showWindows();
    QWidget *window = document->firstWindow();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    KVXTextView *editor = window->findChild<KVXTextView *>();
    ASSERT_TRUE(editor);
    editor->setFocus();
    // Real alerts, answered by the person at the keyboard.
    const platform::Alerts::Handler scripted = platform::Alerts::setHandler({});

    QElapsedTimer clock;
    clock.start();
    Typist user([&] { return clock.elapsed() < 2000; });
    ASSERT_TRUE(spinUntil([&] { return user.typed.size() >= 4; }));
    ASSERT_TRUE(renameSave(path("typed.md"), "one\nTWO\n"));
    bool savedOver = false;
    bool saveAsked = false;
    while (clock.elapsed() < 2000) {
        spinFor(std::chrono::milliseconds(20));
        if (!saveAsked && clock.elapsed() > 1200) {
            document->saveDocumentInBackground();
            saveAsked = true;
        }
        savedOver = savedOver || readAll(path("typed.md")) != "one\nTWO\n";
    }
    EXPECT_FALSE(savedOver) << "the other program's version was saved over while the keys came";
    // (What the user types on, once the question shows, is theirs too.)
    auto merged = [&] { return (user.typed + "one\nTWO\n").toUtf8(); };
    EXPECT_TRUE(spinUntil([&] { return user.answeredByTheirReturn && readAll(path("typed.md")) == merged(); },
                          std::chrono::seconds(20)))
        << readAll(path("typed.md")).toStdString() << "\nthe text: " << text(document).toStdString();
    platform::Alerts::setHandler(scripted);
    EXPECT_EQ(user.questions, QStringList{"File has changed"});
    for (const qint64 still : user.stillBeforeQuestions)
        EXPECT_GE(still, platform::Alerts::kTypingPause.count()) << "asked " << still << " ms after a key";
    EXPECT_TRUE(user.answeredByTheirReturn);
    EXPECT_EQ(text(document).toStdString(), merged().toStdString());
}

// With "MERGE_FILE_CHANGES" on, a change that merges with the typed text
// is merged among the keys, asking nothing; one that does not merge waits
// for the keys to pause before it asks (its version not saved over
// meanwhile). A change held that way is asked about at once when the user
// closes the document, before it saves.
TEST_F(DocumentFixture, WithMergeFileChangesAMergeAsksNothingAmongTheKeysAndAQuestionWaitsForThePause) {
    prefs().setBool(true, "MERGE_FILE_CHANGES");
    SmartEditorDocument::setContentFactory([] { return new EditorContent; });
    SmartEditorDocument *document = open("merging.md", "The cat sat on the mat.\nA last line.\n");
    ASSERT_TRUE(document);
    document->setAutosaveDelay(std::chrono::milliseconds(50));
    document->showWindows();
    QWidget *window = document->firstWindow();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    KVXTextView *editor = window->findChild<KVXTextView *>();
    ASSERT_TRUE(editor);
    editor->setFocus();
    editor->setSelectedRange({4, 0});  // typing between "The " and "cat"

    bool typing = true;
    Typist user([&] { return typing; });
    const platform::Alerts::Handler script = platform::Alerts::setHandler({});
    platform::Alerts::setHandler([&](const platform::Alert &alert) {
        user.questionCame(alert.informativeText);
        return script(alert);
    });
    auto typedLine = [&] { return "The " + user.typed + "cat sat on the mat.\n"; };

    // Merged among the keys, nothing asked.
    ASSERT_TRUE(spinUntil([&] { return user.typed.size() >= 4; }));
    ASSERT_TRUE(renameSave(path("merging.md"), "The cat sat on the mat.\nThe last line.\n"));
    ASSERT_TRUE(spinUntil([&] { return text(document).endsWith("The last line.\n"); }, std::chrono::seconds(10)));
    EXPECT_TRUE(typing);
    EXPECT_TRUE(user.questions.isEmpty());

    // Their version rewrites the line being typed in: held while the keys
    // come, then asked about (both, marked).
    alerts.addAnswers({2});
    QElapsedTimer clock;
    clock.start();
    const QByteArray theirs = "The bird flew.\nThe last line.\n";
    ASSERT_TRUE(renameSave(path("merging.md"), theirs));
    // (Shorter than the text it replaces, it is believed once it has been
    // still for a while.)
    bool savedOver = false;
    while (clock.elapsed() < platform::Document::kShrunkFileQuiet.count() + 1000) {
        spinFor(std::chrono::milliseconds(20));
        savedOver = savedOver || readAll(path("merging.md")) != theirs;
    }
    EXPECT_TRUE(user.questions.isEmpty());
    typing = false;
    EXPECT_FALSE(savedOver) << "the other program's version was saved over while the keys came";
    ASSERT_TRUE(spinUntil([&] { return !user.questions.isEmpty(); }, std::chrono::seconds(10)));
    ASSERT_EQ(user.questions.size(), 1);
    EXPECT_TRUE(user.questions[0].contains("could not be merged"))
        << user.questions[0].toStdString();
    for (const qint64 still : user.stillBeforeQuestions)
        EXPECT_GE(still, platform::Alerts::kTypingPause.count()) << "asked " << still << " ms after a key";
    const QString both =
        platform::mergeWithNewString(QString::fromUtf8(theirs), typedLine() + "The last line.\n", true);
    EXPECT_EQ(text(document).toStdString(), both.toStdString());

    // Held again while the keys come; closing the document asks about it
    // first, and then saves what the answer made (both, marked).
    alerts.addAnswers({2});
    const QByteArray again = "A dog ran.\nThe last line.\n";
    typing = true;
    ASSERT_TRUE(renameSave(path("merging.md"), again));
    ASSERT_TRUE(spinUntil([&] { return document->isChangeHeld() || user.questions.size() > 1; },
                          std::chrono::seconds(10)));
    // A machine busy enough to hold the keys back for the pause has the
    // question asked then, as a user who stopped typing would.
    const bool askedInAPause = user.questions.size() > 1;
    typing = false;
    if (askedInAPause) {
        EXPECT_GE(user.stillBeforeQuestions.back(), platform::Alerts::kTypingPause.count());
    } else {
        EXPECT_EQ(user.questions.size(), 1);
        EXPECT_TRUE(document->canClose());
    }
    EXPECT_EQ(user.questions.size(), 2);
    platform::Alerts::setHandler(script);
    // (Saved by closing, or by the autosave after the answer.)
    EXPECT_TRUE(spinUntil([&] { return QString::fromUtf8(readAll(path("merging.md"))) == text(document); },
                          std::chrono::seconds(10)));
    EXPECT_TRUE(readAll(path("merging.md")).contains("dog ran")) << readAll(path("merging.md")).toStdString();
}

// The session ends (a terminating signal: what quitting saves, nobody there
// to answer) while another program's version waits for the user's keys to
// pause: that version stays in the file, and the user's text goes beside
// it, into a new file named for it, never over a file already there. So it
// does where the path has come to lead to another file (beside the file
// whose text the document holds), and where saving in place would change
// more than the edits. Otherwise the edits go into the file.
TEST_F(DocumentFixture, QuittingPutsTheTextBesideTheFileWhereItMayNotGoIntoItUnasked) {
    SmartEditorDocument::setContentFactory([] { return new EditorContent; });
    SmartEditorDocument *document = open("notes.md", "one\ntwo\n");
    ASSERT_TRUE(document);
    document->setAutosaveDelay(std::chrono::hours(1));  // nothing saved by itself meanwhile
    document->showWindows();
    QWidget *window = document->firstWindow();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    KVXTextView *editor = window->findChild<KVXTextView *>();
    ASSERT_TRUE(editor);
    editor->setFocus();

    bool typing = true;
    Typist user([&] { return typing; });
    ASSERT_TRUE(spinUntil([&] { return user.typed.size() >= 4; }));
    const QByteArray theirs = "one\nTWO\n";
    ASSERT_TRUE(renameSave(path("notes.md"), theirs));
    ASSERT_TRUE(spinUntil([&] { return document->isChangeHeld(); }, std::chrono::seconds(10)));
    const QString taken = path("notes (your edits, not merged).md");
    ASSERT_TRUE(writeAll(taken, "a file of the user's, of that name\n"));
    EXPECT_TRUE(document->saveBeforeQuitting());
    const QString mine = text(document);  // (nothing ran since)
    typing = false;
    EXPECT_TRUE(mine.startsWith(user.typed.left(4))) << mine.toStdString();
    EXPECT_EQ(readAll(path("notes.md")), theirs) << "the other program's version was saved over";
    EXPECT_EQ(readAll(taken), "a file of the user's, of that name\n");
    const QString kept = path("notes (your edits, not merged, 2).md");
    EXPECT_EQ(QString::fromUtf8(readAll(kept)), mine);
    struct stat keptStatus {};
    ASSERT_EQ(::stat(QFile::encodeName(kept).constData(), &keptStatus), 0);
    EXPECT_EQ(keptStatus.st_mode & 0777, 0600u) << "the user's text is theirs alone";
    EXPECT_TRUE(user.questions.isEmpty());

    // Nothing waiting: the edits go into the file, and nothing beside it.
    SmartEditorDocument *plain = open("plain.txt", "plain\n");
    ASSERT_TRUE(plain);
    plain->setAutosaveDelay(std::chrono::hours(1));
    type(plain, "Typed.");
    EXPECT_TRUE(plain->saveBeforeQuitting());
    EXPECT_EQ(readAll(path("plain.txt")), "plain\nTyped.");
    EXPECT_FALSE(QFileInfo::exists(path("plain (your edits, not merged).txt")));
    // Another program's version with the same bytes as the document's file
    // (a file touched) is no version to keep apart from.
    type(plain, " More.");
    QFile touched(path("plain.txt"));
    ASSERT_TRUE(touched.open(QIODevice::ReadWrite));
    ASSERT_TRUE(touched.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    touched.close();
    EXPECT_TRUE(plain->saveBeforeQuitting());
    EXPECT_EQ(readAll(path("plain.txt")), "plain\nTyped. More.");
    EXPECT_FALSE(QFileInfo::exists(path("plain (your edits, not merged).txt")));

    // The path leads to another file now: nothing is written there.
    QTemporaryDir home;
    const QString secret = home.filePath("secret.md");
    ASSERT_TRUE(writeAll(secret, "the user's own\n"));
    SmartEditorDocument *linked = open("linked.md", "linked\n");
    ASSERT_TRUE(linked);
    linked->setAutosaveDelay(std::chrono::hours(1));
    type(linked, "Typed.");
    ASSERT_TRUE(replaceByLink(path("linked.md"), secret));
    EXPECT_TRUE(linked->saveBeforeQuitting());
    EXPECT_EQ(readAll(secret), "the user's own\n");
    EXPECT_EQ(readAll(path("linked (your edits, not merged).md")), "linked\nTyped.");
    EXPECT_FALSE(QFileInfo::exists(home.filePath("secret (your edits, not merged).md")));

    // A file the editor cannot show exactly, which only the user's own Save
    // may change: left as it is.
    const QByteArray withNul("a\0b\n", 4);
    SmartEditorDocument *inexact = open("nul.md", withNul);
    ASSERT_TRUE(inexact);
    inexact->setAutosaveDelay(std::chrono::hours(1));
    type(inexact, "Typed.");
    EXPECT_TRUE(inexact->saveBeforeQuitting());
    EXPECT_EQ(readAll(path("nul.md")), withNul);
    EXPECT_EQ(readAll(path("nul (your edits, not merged).md")), QString(text(inexact)).toUtf8());
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

    // A line typed after two blank lines, where the other program inserted
    // its own (and changed the first line): the same place, so it asks.
    const QString blanks = QStringLiteral("a\nb\n\n\nc\n");
    SmartEditorDocument *after = open("after.md", blanks.toUtf8());
    ASSERT_TRUE(after);
    after->setAutosaveDelay(std::chrono::hours(1));
    storage(after)->replaceCharactersInRange({blanks.indexOf(u'c'), 0}, "M\n");
    alerts.addAnswers({0, 1});  // Merge, then Cancel
    const QByteArray outside = "A\nb\n\n\nT\nc\n";
    ASSERT_TRUE(renameSave(path("after.md"), outside));
    ASSERT_TRUE(spinUntil([&] { return alerts.count() == 5 || text(after).contains(u'T'); }));
    EXPECT_EQ(text(after).toStdString(), "a\nb\n\n\nM\nc\n") << "nothing merged silently";
    ASSERT_EQ(alerts.count(), 5);
    EXPECT_TRUE(alerts.shown().last().informativeText.contains("could not be merged successfully"));
    EXPECT_EQ(after->fileString(), blanks) << "Cancel keeps the old base";
    EXPECT_EQ(readAll(path("after.md")), outside);
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
