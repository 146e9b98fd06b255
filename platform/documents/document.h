// Documents: the platform's document machinery, which Qt does not have.
//
// A Document is one file's contents in memory with its windows. It knows its
// file (path and type identifier), whether it holds unsaved edits, and what
// it last read from or wrote to disk; it runs the File menu's commands (Save,
// Save As, Save To, Revert, Close) with their panels and alerts; it saves in
// place by itself when it autosaves; and it hears from a FilePresenter when
// another program changed its file.
//
// Subclasses give the contents: readFromData() turns a file's bytes into the
// document, dataOfType() gives the bytes to write for a type. A document kept
// as a folder (a package) replaces contentsOfPath() and writeToPath().
//
// Saving is safe: the bytes go to disk with writeFileAtomically(), a failed
// save is reported in an alert and changes nothing (the file on disk, the
// document's file, its edited state, what it knows of the disk), and the
// document learns what its own save left on disk, so that the save is never
// taken for another program's change. A save that could not keep who may use
// the file (its group, its access list) says so in a notice.
//
// A document writes only to the file it read or last saved: the same file
// (device and inode), or the same place, found with the links of every
// component of its path followed. Where its path has come to lead elsewhere
// (someone put a link in the file's place, or in a folder's on the way),
// Save asks first, naming the file whose text the document holds and the
// file it would write, and writes nothing if either changed meanwhile; the
// autosave never writes there, and another program's change is not taken
// in from there: the document keeps its text and says so once. What it
// knows of its file (which file it is, and where) comes from the file it
// read or wrote, as that file was open, never from a later look at its
// path: a link put there for a moment and taken away again is never taken
// for the document's file.
//
// An autosave that fails raises no alert, which would take the keys being
// typed: a notice that takes neither keys nor focus tells it once, the
// windows' titles say "Not Saved" while it keeps failing, and the document
// tries again by itself until a save succeeds; then the notice goes.
//
// Only an edit makes a document edited, and only an edited document is ever
// saved without the user asking (autosave, close, quit). A save in place
// that would change the file beyond the user's edits (lossOnSave(): bytes
// the document could not show as they are, an encoding that cannot hold the
// text) is never made silently: Save asks first, and autosave waits for it.
//
// Another program's change is taken in once the file has settled: still for
// the presenter's debounce, and for longer when it is empty or shorter than
// the document knew it (a program truncates a file before it writes it).
// A change the user is to be asked about waits, besides, until they stop
// typing (holdChangeWhileTyping()); until it is taken in, nothing saves
// over it, not even quitting, which puts the edits into a file of their own
// then (saveBeforeQuitting()).
//
// Another program's version larger than a file the program opens without
// asking (kLargestVersionTakenIn) is never read whole to be merged or
// compared: its size alone tells it from the document's own (whose bytes,
// where the sizes agree, are hashed a piece at a time). The user is told
// what it grew to and keeps their text, or opens the new version as
// opening such a file does, their text put in a file of its own first. A
// version kept out stays on the disk unseen: it is not asked about again,
// the autosave and closing do not save over it (only Save does), and
// quitting puts the text beside it.
//
// A save of the document's own file in place that the user does not wait on
// (the autosave after an edit and its retries, Save from the File menu)
// costs the main thread a snapshot of the contents (snapshotForSave()); the
// file's bytes are made of it, written, put on the disk and hashed on a
// thread of saves, and the outcome comes back to the main thread: only then
// do the document's file state, its hash and its merge base move, and a
// failure is told as the save's own (the autosave's notice, Save's alert).
// One such save is in flight at a time: saves asked for meanwhile become one
// more, of the newest contents, once it is done; edits made meanwhile keep
// the document edited; a change of the file seen meanwhile is looked at once
// it is done; and the autosave writes only over the file it last knew (a
// change made by another program since is taken in first). Whatever must
// have the file written before it goes on (Save or a save on closing asked
// for here, quitting, reverting, closing, another write) waits for the save
// in flight first.
//
// Everything here runs on the main thread, but the work of a save in
// flight.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/documents/document_controller.h"
#include "platform/documents/file_panels.h"
#include "platform/documents/file_presenter.h"
#include "platform/documents/unsaved_documents.h"

class QAction;
class QTimer;
class QWidget;

namespace platform {

class Defaults;
class WindowController;

enum class SaveOperation {
    Save,      // to the document's own file (Save As when it has none)
    SaveAs,    // to a new file, which becomes the document's
    SaveTo,    // a copy elsewhere (export); the document keeps its file
    Autosave,  // in place, without the user asking
};

// The steps of a save of the document's own file in place. A hook called
// at each (Document::setSaveStepHook) lets a test see where each runs, and
// hold a save in flight.
enum class SaveStep {
    Snapshot,  // main thread: the contents taken, the work handed on
    Working,   // the save's thread: about to make the bytes and write them
    Written,   // the save's thread: the file written and hashed
    Awaited,   // main thread: about to wait for the save in flight
};

enum class ChangeKind {
    Done,     // an edit changed the contents
    Undone,   // an undo changed them, away from the saved contents
    Redone,   // a redo changed them, away from the saved contents
    Cleared,  // the contents are the saved ones again
};

class Document : public QObject {
    Q_OBJECT

public:
    explicit Document(QObject *parent = nullptr);
    ~Document() override;

    // --- The file ---------------------------------------------------------------------

    QString filePath() const { return m_filePath; }
    // Tells filePathChanged (the document's "fileURL") when it changes; the
    // file presenter follows the new path.
    void setFilePath(const QString &path);
    QString fileType() const { return m_fileType; }
    void setFileType(const QString &type) { m_fileType = type; }
    // The file whose bytes are the document: the file itself, or the text
    // file inside a package.
    virtual QString contentPath() const { return m_filePath; }

    // The file's name, or "Untitled" (and "Untitled 2" ...) without a file.
    QString displayName() const;
    int untitledNumber() const { return m_untitledNumber; }
    void setUntitledNumber(int number);

    // What the document last read from or wrote to its content file.
    const FileState &knownFileState() const { return m_fileState; }
    QDateTime fileModificationDate() const { return m_fileState.modificationDate(); }
    // The hash of the bytes it last read from or wrote to its content file.
    QByteArray knownContentHash() const { return m_contentHash; }

    // --- Edits ------------------------------------------------------------------------

    bool isDocumentEdited() const { return m_edited; }
    void updateChangeCount(ChangeKind kind);

    // --- Reading ------------------------------------------------------------------------

    // Reads the file at `path` as `type` into a new document: the document
    // takes the path (before readFromData runs, which may ask about the
    // file) and the type, and is not edited. False, with the reason in
    // `error`, when it cannot be read; the document then has no file.
    bool readFromPath(const QString &path, const QString &type, QString *error = nullptr);
    // The document's contents from a file's bytes. The base refuses.
    virtual bool readFromData(const QByteArray &data, const QString &type, QString *error);
    // The bytes of the document at `path` (of a package: its content file),
    // and in `state` the state of the file they were read from, taken from
    // that file itself (never by its path again, which a link may take).
    virtual std::optional<QByteArray> contentsOfPath(const QString &path, const QString &type, QString *error,
                                                     FileState *state) const;

    // --- Writing ------------------------------------------------------------------------

    // The bytes to write for `type`; nothing, with the reason in `error`,
    // when the document cannot make them. The base makes none.
    virtual std::optional<QByteArray> dataOfType(const QString &type, QString *error);
    // Writes the document to `path` as `type` safely; `written` receives the
    // bytes of its content file. The base writes dataOfType() atomically.
    virtual bool writeToPath(const QString &path, const QString &type, SaveOperation operation,
                             QByteArray *written, QString *error);
    // After a write succeeded, before the File menu's command returns.
    virtual void didWrite(const QString &path, const QString &type, SaveOperation operation);

    // What a save of the document's own file in place as `type` takes of it
    // on the main thread: a snapshot, cheap to take, and what makes the
    // file's bytes of it on the save's thread (it must reach nothing of the
    // document). Nothing when such a save goes through writeToPath() on the
    // main thread instead (a package). The base takes dataOfType().
    struct SaveSnapshot {
        std::function<std::optional<QByteArray>(QString *error)> bytes;
        // On the main thread once those bytes are the file on the disk,
        // before didWrite().
        std::function<void()> written;
    };
    virtual std::optional<SaveSnapshot> snapshotForSave(const QString &type);
    // After a save from a snapshot succeeded while the contents changed:
    // whether they now differ from what was written. The base: they do.
    virtual bool isEditedSinceSave() const { return true; }

    // --- The File menu ------------------------------------------------------------------------

    // Save: in place, or through the save panel when the document has no file.
    // In place, it asks first when lossOnSave() says what else would change.
    bool saveDocument();
    // Save as the File menu asks for it: as saveDocument(), but a save in
    // place is made in the background once its questions are answered, and
    // its failure is told in an alert when it is known. During a save in
    // flight it asks for one more.
    void saveDocumentInBackground();
    // Whether a save is in flight, and waiting for it: its outcome applies
    // now (the document's file state, base and edited state; a failure told).
    bool isSaving() const { return bool(m_saving); }
    void finishSaving();
    // Called at each SaveStep, on the thread that reaches it; setting another
    // returns once no call of the one it replaces is under way.
    using SaveStepHook = std::function<void(SaveStep)>;
    static void setSaveStepHook(SaveStepHook hook);
    bool saveDocumentAs();
    // Save To: a copy through the save panel; the document keeps its file.
    bool saveDocumentTo();
    // Writes without a panel; a failure is reported in an alert. True when
    // written.
    bool saveToPath(const QString &path, const QString &type, SaveOperation operation);
    // Asks, then reads the file again, dropping the edits.
    bool revertDocumentToSaved();
    // What revert does once the user agreed: the base reads the file as if
    // it were opened anew.
    virtual bool revertToContentsOfFile(QString *error);
    // Saves in place when the document autosaves in place, has a file and
    // holds edits; true when there was nothing to do or the save succeeded.
    // It writes nothing while lossOnSave() says the save would change more
    // than the edits, or while the document's path leads to another file
    // than its own: those saves are the user's to make. A failure raises no
    // alert (see savingProblem()), and the document tries again every
    // kAutosaveRetry until it saves. The file is written when it returns
    // (what quitting needs): a save in flight is waited for first.
    bool autosave();
    // What quitting saves when nobody may be asked (a terminating signal:
    // the session ends). A document whose text no file holds, untitled or
    // with edits it does not save in place by itself, is kept whole in the
    // program's state folder (UnsavedDocuments), for the next start to
    // bring back; where it cannot be, a file's edits go into a new file as
    // below, and an untitled document's loss is noted for the next start
    // to tell. Otherwise the edits, as autosave() saves them. Where they
    // may not go into the file unasked, or that save fails, the file stays
    // as it is, and the document's text goes into a new file named for it
    // (textKeptAtQuitName()): beside the file; where its folder takes no
    // new file, in the user's documents folder (made when it is missing);
    // where that fails too, in the program's own folder
    // (textKeptAtQuitFolder()). So it goes where another program's version
    // of the file has not been taken in (held until the user stops typing,
    // still settling, or its question closed unanswered by the quit), where
    // the path leads to another file now (beside the file whose text the
    // document holds), and where saving in place would change more than
    // the edits (lossOnSave()). Where the text went, or that it could go
    // nowhere, is noted in the preferences for the next start to tell
    // (textsKeptAtQuit()). False when the edits could not be put on the
    // disk.
    bool saveBeforeQuitting();
    // That file's name beside the file `name`, the `number`th tried (from 1).
    static QString textKeptAtQuitName(const QString &name, int number);
    // The last place quitting keeps a text in: a folder of the program's,
    // under the user's data folder.
    static QString textKeptAtQuitFolder();
    // A text quitting kept apart from its document's file: the file, where
    // the text went (empty: nowhere would take it), and why it did not go
    // into the file, in a sentence for the user.
    struct TextKeptAtQuit {
        QString file;
        QString keptIn;
        QString why;
        bool operator==(const TextKeptAtQuit &) const = default;
    };
    // Those noted in `defaults` and not told yet, oldest first.
    static QList<TextKeptAtQuit> textsKeptAtQuit(const Defaults &defaults);
    // Forgets those of `told`, once the user has seen them; any noted since
    // stay. Written to the disk at once.
    static void forgetTextsKeptAtQuit(Defaults &defaults, const QList<TextKeptAtQuit> &told);
    // What the next start needs to bring the document back as it is now
    // (unsavedDocument()), and taking back what a run that ended so kept
    // (takeBackUnsavedDocument(): into the window of this document, which
    // is untitled or of that document's file, as it was read now); false
    // when it could not be taken back. The base keeps nothing and takes
    // nothing back.
    virtual std::optional<UnsavedDocument> unsavedDocument() const;
    virtual bool takeBackUnsavedDocument(const UnsavedDocument &kept);
    // The same save as the delay after an edit and the retries start it:
    // not over a change of another program that is not taken in yet (it
    // looks at the file and tries again later), and in the background. It
    // returns at once; during a save in flight it asks for one more.
    void autosaveInBackground();
    static constexpr std::chrono::milliseconds kAutosaveRetry{5000};
    void setAutosaveRetry(std::chrono::milliseconds retry) { m_autosaveRetry = retry; }
    // Why the edits are not being saved by themselves (their autosave fails,
    // or the path leads to another file); empty when they are, or when there
    // are none. The windows' titles say "Not Saved" while it is not empty.
    QString savingProblem() const;

    virtual bool autosavesInPlace() const { return false; }
    // How long after the last edit the document autosaves: each edit moves
    // the save to this delay after it, but a save never waits more than
    // kAutosaveLongestWait (or the delay, when longer) after the first edit
    // it saves, so that a long run of typing is saved during it.
    static constexpr std::chrono::milliseconds kAutosaveDelay{2000};
    static constexpr std::chrono::milliseconds kAutosaveLongestWait{10000};
    void setAutosaveDelay(std::chrono::milliseconds delay) { m_autosaveDelay = delay; }

    // What saving in place would change in the file besides the user's
    // edits, as sentences for an alert; empty when nothing. The base: nothing.
    virtual QString lossOnSave() const;

    // The types a panel of the operation offers; the base: the document's
    // own type.
    virtual QStringList writableTypesForSaveOperation(SaveOperation operation) const;
    // Sets up a save panel of the operation before it is shown.
    virtual void prepareSavePanel(SavePanel &panel, SaveOperation operation);

    // --- Closing ------------------------------------------------------------------------

    // Whether the document may close now: a document with edits saves them
    // in place when it autosaves (and the save changes nothing else), or
    // asks to save them (Save, Don't Save, Cancel), saying what else the
    // save would change. False keeps it open.
    bool canClose();
    // Closes the windows and the document, without asking.
    void close();
    bool isClosing() const { return m_closing; }

    // --- Windows ------------------------------------------------------------------------

    // Makes the document's windows; the base makes none.
    virtual void makeWindowControllers();
    // The document owns its window controllers.
    void addWindowController(WindowController *controller);
    const QList<WindowController *> &windowControllers() const { return m_windowControllers; }
    QWidget *firstWindow() const;
    void showWindows();

    // --- Actions ------------------------------------------------------------------------

    // The menu actions the document performs, by their names ("saveDocument:",
    // "saveDocumentAs:", "saveDocumentTo:", "revertDocumentToSaved:",
    // "performClose:"); subclasses add theirs.
    virtual bool respondsToAction(const QString &action) const;
    virtual bool performAction(const QString &action, QObject *sender);
    // Whether the item that sends the action is enabled.
    virtual bool validateAction(const QString &action, QAction *item);

    // --- Outside changes ------------------------------------------------------------------------

    FilePresenter *presenter() const { return m_presenter; }
    // Compares the content file with what the document knows of it, and
    // calls presentedItemDidChange when another program changed it and the
    // file has settled; until then it looks again later. The presenter calls
    // this; so may anyone who knows of a change. While a change is being
    // taken in (its question open), a change is not taken in over it, and
    // the document does not autosave: both wait until it is done, and the
    // document then looks at the file again. So it does once a save in
    // flight is done, never while it writes the file.
    void checkFileOnDisk();
    // How long a file that is empty, or shorter than the document knew it,
    // must stay unchanged before it is taken for another program's version:
    // longer than a program that truncates a file and then writes it pauses
    // between the two.
    static constexpr std::chrono::milliseconds kShrunkFileQuiet{1500};
    // The largest version of the content file that another program's change
    // is read whole for (to be merged, compared or reloaded): the size a
    // file opens without a question. A larger one is told of instead.
    static constexpr qint64 kLargestVersionTakenIn = DocumentController::kLargeDocumentBytes;
    // The content file changed on disk, to a version of no more than
    // kLargestVersionTakenIn bytes; the base does nothing.
    virtual void presentedItemDidChange();
    // Whether a change is held until the user stops typing.
    bool isChangeHeld() const { return m_changeHeld; }

signals:
    void filePathChanged(const QString &path);
    void editedChanged(bool edited);
    void savingProblemChanged();
    void displayNameChanged(const QString &name);
    // Before the windows close.
    void closing();

protected:
    // The bytes of the content file now, read safely against a writer that
    // is still at work: `state` is the state they were read in. Nothing,
    // with the reason, when its path now leads to another file than the
    // document's own, or when the file holds more than `largest` bytes
    // where that is given (no more than that is read).
    std::optional<QByteArray> readContentFile(FileState *state, QString *error,
                                              std::optional<qint64> largest = std::nullopt) const;
    // The same, but the hash of the bytes (as isKnownContent() compares
    // them), read a piece at a time: a file of any size costs a piece of
    // memory.
    std::optional<QByteArray> hashContentFile(FileState *state, QString *error) const;
    // Writes the bytes of the file at `path` for writeToPath(): during a
    // save of the document's own file, its content file goes to the place
    // that save was checked or agreed for, and nowhere else.
    bool writeContents(const QString &path, const QByteArray &data, QString *error);
    // Records what is on disk: the state of the content file and the hash of
    // its bytes.
    void noteFileOnDisk(const FileState &state, const QByteArray &bytes);
    // Whether `bytes` are what the document last read or wrote.
    bool isKnownContent(const QByteArray &bytes) const;
    // Reports a failure in an alert.
    void reportError(const QString &message, const QString &reason) const;
    // For presentedItemDidChange(), before it asks the user about the
    // change: true when they are typing, and the question would come up
    // among their keys. The change is then held: not taken in now (it must
    // not be noted as seen), no save writes over it (the autosave and Save
    // wait), and the file is looked at again once the keyboard has been
    // still for Alerts::kTypingPause. Closing the document asks at once.
    bool holdChangeWhileTyping();

private:
    struct SaveJob;
    // The snapshot and what the save's thread needs, for a save of the own
    // file in place at `target`; null when the document gives no snapshot.
    // `unchanged`: the file must still be so (or not be there) when it is
    // written, else it is not.
    std::shared_ptr<SaveJob> prepareSave(SaveOperation operation, const QString &type, const QString &target,
                                         const std::optional<FileState> &unchanged);
    // Its work, on whatever thread runs it.
    static void performSave(SaveJob &job);
    // Starts a save in place in the background (on this thread, as ever,
    // when the document gives no snapshot).
    void saveInBackground(SaveOperation operation, const QString &target, const std::optional<FileState> &unchanged);
    // The outcome of the work, on the main thread: the bookkeeping of a
    // write that succeeded; false, with the reason, otherwise.
    bool applySave(SaveJob &job, QString *reason);
    // A save in flight is done: its outcome applied and told, and what waited
    // for it (another save, a look at the file) started.
    void finishSave(const std::shared_ptr<SaveJob> &job);
    // Save as the menu asks for it, once another program's version that a
    // save found on the disk is taken in (none may write over it unseen).
    void saveOnceLookedAt();
    // Where a save of the content file would write now, and whether that is
    // the file the document knows.
    struct Destination {
        QString target;
        bool known = true;
    };
    Destination destination() const;
    // Asks before writing the document into `target`, another file than
    // the one whose text it holds, naming both. What stood at `target` when
    // asked, when the user said Save and it still stands there, the path
    // still leading to it; nothing otherwise (a change meanwhile is told).
    std::optional<FileState> confirmDestination(const QString &target);
    // Writes without asking or reporting; the bookkeeping of a write that
    // succeeded. `target`: the place checked for a save of the own file;
    // `unchanged`: the file there must still be so when it is written.
    bool writeDocument(const QString &path, const QString &type, SaveOperation operation,
                       const std::optional<QString> &target, QString *reason,
                       const std::optional<FileState> &unchanged = std::nullopt);
    // The edits are not being saved by themselves, told in a notice the
    // first time: their autosave failed for `reason` (tried again after
    // kAutosaveRetry), or the path leads to `target`, another file (empty:
    // it leads to the document's own again).
    void noteAutosaveFailure(const QString &reason);
    void noteLeadsElsewhere(const QString &target);
    // Puts the document's text into a new file apart from its own, in the
    // first of the places saveBeforeQuitting() names that takes it; `why`
    // it does not go into the file, for the log. The new file's path;
    // empty when none took it.
    QString keepTextApart(const QString &why);
    // Keeps the whole document for the next start (unsavedDocument());
    // false, with the reason, where it cannot be.
    bool keepUnsavedDocument(QString *reason);
    // Whether the content file, where the document knows it, holds another
    // program's version that the document has not taken in. It reads no
    // more than a file as large as the document's own, a piece at a time.
    bool holdsUnseenVersion();
    // What readContentFile() and hashContentFile() make of the open file.
    using ReadOpenFile = std::function<std::optional<QByteArray>(int descriptor, FileState *state, QString *error)>;
    std::optional<QByteArray> readContentFileBy(const ReadOpenFile &read, FileState *state, QString *error) const;
    // Another program's version of the content file, `now`, past
    // kLargestVersionTakenIn: the user keeps their text, leaving it on the
    // disk unseen, or opens it (openLargeVersion()).
    void takeInLargeVersion(const FileState &now);
    // Opens the file's version in the document, asking as opening a file so
    // large does, and puts the typed text in a file of its own first. False
    // when it did not (the document keeps its text).
    bool openLargeVersion();
    // Tells what a write could not keep of the file, in a notice.
    void tellNotKept(const QString &name, const QString &notKept);
    // The file state and the hash of what the document now knows is on disk.
    void noteFileState(const FileState &state, const QByteArray &hash);
    // What saves cut short left of the file just read: the copies of a
    // write in place, the new files beside it. What holds nothing the file
    // lacks goes; the rest is told.
    void tellUnfinishedSaves(const QByteArray &bytes);
    bool runSavePanel(SaveOperation operation);
    void scheduleAutosave();
    // Asks before a save in place that changes more than the edits; true
    // when there is nothing to ask or the user said Save.
    bool confirmLossOnSave();
    // Whether the changed file `now` has been still long enough to be read;
    // when not, another look is scheduled.
    bool hasSettled(const FileState &now);

    QString m_filePath;
    QString m_fileType;
    int m_untitledNumber = 0;
    bool m_edited = false;
    bool m_closing = false;
    FileState m_fileState;
    QString m_knownTarget;  // where that file is: its path, links followed
    mutable QString m_readTarget;  // where readContentFile() last read
    std::optional<QString> m_writeTarget;  // during a save of the own file
    // The content file the last writeContents() wrote: its place, and its
    // state as the write found it.
    struct Written {
        QString place;
        FileState state;
    };
    std::optional<Written> m_written;
    QString m_notKept;  // what the last write could not keep of the file
    QString m_autosaveFailure;  // why the last autosave failed
    QString m_elsewhere;        // the other file the path leads to, once told
    QTimer *m_retryTimer = nullptr;
    std::chrono::milliseconds m_autosaveRetry = kAutosaveRetry;
    QByteArray m_contentHash;
    FilePresenter *m_presenter = nullptr;
    QList<WindowController *> m_windowControllers;
    QTimer *m_autosaveTimer = nullptr;
    std::chrono::milliseconds m_autosaveDelay = kAutosaveDelay;
    QElapsedTimer m_unsavedSince;  // the first edit the pending autosave saves
    QTimer *m_settleTimer = nullptr;
    FileState m_unsettledState;     // a change seen, not yet settled
    QElapsedTimer m_unsettledSince;
    bool m_takingInChange = false;  // presentedItemDidChange() runs (it may ask)
    bool m_changeHeld = false;      // a change waits for the user to stop typing
    std::optional<FileState> m_versionLeftOnDisk;  // too large to take in, kept out by the user
    bool m_askNow = false;          // the user acts on the document: no change is held
    quint64 m_failureNotice = 0;    // the notice that the autosave fails
    bool m_lookAgain = false;       // a change was seen meanwhile
    quint64 m_changes = 0;          // updateChangeCount() calls, to tell edits made during a save
    std::shared_ptr<SaveJob> m_saving;         // the save in flight
    std::optional<SaveOperation> m_saveAfter;  // asked for while it was
};

}  // namespace platform
