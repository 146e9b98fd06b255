#include "platform/documents/document.h"

#include <QAction>
#include <QDateTime>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/runtime/alerts.h"
#include "platform/runtime/dispatch.h"
#include "platform/documents/document_controller.h"
#include "platform/files/file_kind.h"
#include "platform/documents/file_tags.h"
#include "platform/files/folders.h"
#include "platform/runtime/log.h"
#include "platform/prefs/defaults.h"
#include "platform/files/native_path.h"
#include "platform/documents/safe_write.h"
#include "platform/documents/window_controller.h"

namespace platform {

namespace {

// BLAKE2b: as sure as SHA-256 that two texts differ, at five times its
// speed (0.35 s for 200 MB here, where SHA-256 took 1.8 s at every save).
QByteArray contentHash(const QByteArray &bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Blake2b_256);
}

// A file's size as the user reads it ("1.5 GB"), as opening one asks it.
QString sizeForUser(qint64 bytes) { return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat); }

// The open file `descriptor` (which it closes) as a QFile, with its state as
// it is before anything of it is read; nothing, with the reason, for
// anything but a plain file (a pipe or a device could keep a read waiting
// forever).
std::optional<FileState> openPlainFile(QFile &file, int descriptor, QIODevice::OpenMode mode, QString *error) {
    auto fail = [error](const QString &why) -> std::optional<FileState> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!file.open(descriptor, mode, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return fail(file.errorString());
    }
    struct stat info;
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode))
        return fail(QStringLiteral("It is not a plain file."));
    return FileState::ofOpenFile(descriptor);
}

// The bytes of the open file `descriptor` (which it closes), with its state
// in `state` as it was before they were read; nothing, with the reason, for
// anything but a plain file, a failed read, or a file of more than
// `largest` bytes when that is given (of which no more than that is read,
// however it grows meanwhile).
std::optional<QByteArray> readOpenFile(int descriptor, FileState *state, QString *error,
                                       std::optional<qint64> largest = std::nullopt) {
    auto fail = [error](const QString &why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QFile file;
    const std::optional<FileState> before = openPlainFile(file, descriptor, QIODevice::ReadOnly, error);
    if (!before)
        return std::nullopt;
    auto tooLarge = [&](qint64 size) {
        return fail(QStringLiteral("It holds %1, more than %2.").arg(sizeForUser(size), sizeForUser(*largest)));
    };
    if (largest && before->size > *largest)
        return tooLarge(before->size);
    QByteArray bytes = largest ? file.read(*largest + 1) : file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    if (largest && bytes.size() > *largest)
        return tooLarge(bytes.size());
    if (state)
        *state = *before;
    return bytes;
}

// The hash of the bytes of the open file `descriptor` (which it closes), as
// contentHash() makes it of them whole, read a piece at a time: a file of
// any size costs no more memory than a piece. With its state in `state` as
// it was before it was read.
std::optional<QByteArray> hashOpenFile(int descriptor, FileState *state, QString *error) {
    QFile file;
    const std::optional<FileState> before =
        openPlainFile(file, descriptor, QIODevice::ReadOnly | QIODevice::Unbuffered, error);
    if (!before)
        return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Blake2b_256);
    QByteArray piece(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(piece.data(), piece.size());
        if (got < 0) {
            if (error)
                *error = file.errorString();
            return std::nullopt;
        }
        if (got == 0)
            break;
        hash.addData(QByteArrayView(piece.constData(), got));
    }
    if (state)
        *state = *before;
    return hash.result();
}

// Why the content file could not be opened where the document knows it.
QString openFailure(int error) {
    if (error == ENOENT)
        return QStringLiteral("It does not exist.");
    if (error == ELOOP)
        return QStringLiteral("Its place was taken by a link.");
    return QString::fromLocal8Bit(std::strerror(error));
}

// The texts quitting kept apart from their files, until the user is told:
// a list of their fields.
const QString kTextsKeptAtQuitKey = QStringLiteral("textsKeptAtQuit");

QVariantMap fieldsOf(const Document::TextKeptAtQuit &kept) {
    return {{QStringLiteral("file"), kept.file}, {QStringLiteral("keptIn"), kept.keptIn},
            {QStringLiteral("why"), kept.why}};
}

Document::TextKeptAtQuit keptOf(const QVariant &entry) {
    const QVariantMap fields = entry.toMap();
    return {fields.value(QStringLiteral("file")).toString(), fields.value(QStringLiteral("keptIn")).toString(),
            fields.value(QStringLiteral("why")).toString()};
}

// Told at the next start, where a text went or that it went nowhere: nobody
// may be there to see it now. On the disk before the session ends.
void noteForTheNextStart(const Document::TextKeptAtQuit &kept) {
    Defaults &defaults = Defaults::standard();
    QVariantList record = defaults.arrayForKey(kTextsKeptAtQuitKey);
    record.append(fieldsOf(kept));
    defaults.setObject(record, kTextsKeptAtQuitKey);
    if (!defaults.synchronize() && !defaults.filePath().isEmpty())
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("%1: where its text went could not be noted for the next start").arg(kept.file);
}

std::mutex s_hookMutex;
std::condition_variable s_hookReturned;
Document::SaveStepHook s_saveStepHook;
int s_hookCalls = 0;  // calls of the hook under way, on any thread

void reached(SaveStep step) {
    Document::SaveStepHook hook;
    {
        const std::lock_guard<std::mutex> lock(s_hookMutex);
        if (!s_saveStepHook)
            return;
        hook = s_saveStepHook;
        s_hookCalls++;
    }
    hook(step);
    {
        const std::lock_guard<std::mutex> lock(s_hookMutex);
        s_hookCalls--;
    }
    s_hookReturned.notify_all();
}

// The thread of saves: one at a time, in the order asked, whichever
// document asked (a disk takes one file after another best).
SerialQueue &saveQueue() {
    static SerialQueue queue(QStringLiteral("orvane saves"));
    return queue;
}

QString orWritten(const QString &reason) {
    return reason.isEmpty() ? QStringLiteral("The file could not be written.") : reason;
}

}  // namespace

// A save of the own file in place: what the main thread gives it, what its
// work finds, and whether that work is done (for a main thread that waits).
struct Document::SaveJob {
    SaveOperation operation = SaveOperation::Autosave;
    QString path;
    QString type;
    QString target;
    std::optional<FileState> unchanged;
    SaveSnapshot snapshot;
    quint64 changes = 0;       // the document's change count at the snapshot
    QPointer<Document> owner;  // read on the main thread only

    enum class Outcome { Written, Failed, ChangedOnDisk };
    Outcome outcome = Outcome::Failed;
    QString error;
    WriteReport report;
    FileState state;
    QByteArray hash;

    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
};

void Document::setSaveStepHook(SaveStepHook hook) {
    std::unique_lock<std::mutex> lock(s_hookMutex);
    s_saveStepHook = std::move(hook);
    // The hook replaced may be running on a save's thread: what it reaches
    // must outlive that call.
    s_hookReturned.wait(lock, [] { return s_hookCalls == 0; });
}

Document::Document(QObject *parent) : QObject(parent) {
    m_presenter = new FilePresenter(this);
    connect(m_presenter, &FilePresenter::changed, this, &Document::checkFileOnDisk);
    m_autosaveTimer = new QTimer(this);
    m_autosaveTimer->setSingleShot(true);
    connect(m_autosaveTimer, &QTimer::timeout, this, [this] { autosaveInBackground(); });
    m_settleTimer = new QTimer(this);
    m_settleTimer->setSingleShot(true);
    connect(m_settleTimer, &QTimer::timeout, this, [this] { checkFileOnDisk(); });
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer, &QTimer::timeout, this, [this] {
        if (m_edited && !m_autosaveFailure.isEmpty())
            autosaveInBackground();
    });
    // A failure that is over (a save succeeded, or nothing is left to save)
    // is told no more.
    connect(this, &Document::savingProblemChanged, this, [this] {
        if (m_autosaveFailure.isEmpty() && m_failureNotice)
            Alerts::withdrawNotice(std::exchange(m_failureNotice, 0));
    });
}

Document::~Document() {
    // Windows go first: their contents may still ask the document.
    for (WindowController *controller : std::as_const(m_windowControllers))
        delete controller;
}

// --- The file ---------------------------------------------------------------------------

void Document::setFilePath(const QString &path) {
    if (path == m_filePath)
        return;
    m_filePath = path;
    m_presenter->setPath(contentPath());
    emit filePathChanged(path);
    emit displayNameChanged(displayName());
}

QString Document::displayName() const {
    if (!m_filePath.isEmpty())
        return displayablePath(QFileInfo(m_filePath).fileName());
    if (m_untitledNumber <= 1)
        return QStringLiteral("Untitled");
    return QStringLiteral("Untitled %1").arg(m_untitledNumber);
}

void Document::setUntitledNumber(int number) {
    m_untitledNumber = number;
    emit displayNameChanged(displayName());
}

void Document::updateChangeCount(ChangeKind kind) {
    m_changes++;
    const bool edited = kind != ChangeKind::Cleared;
    if (edited) {
        scheduleAutosave();
    } else {
        m_autosaveTimer->stop();
        // Nothing left to save: a failure of the last autosave is over.
        m_retryTimer->stop();
        m_autosaveFailure.clear();
    }
    if (edited == m_edited)
        return;
    m_edited = edited;
    emit editedChanged(edited);
    emit savingProblemChanged();
}

QString Document::savingProblem() const {
    if (!m_edited)
        return QString();
    if (!m_elsewhere.isEmpty())
        return QStringLiteral("“%1” now leads to another file, “%2”.")
            .arg(displayName(), displayablePath(m_elsewhere));
    return m_autosaveFailure;
}

void Document::noteAutosaveFailure(const QString &reason) {
    const bool first = m_autosaveFailure.isEmpty();
    m_autosaveFailure = reason;
    qCInfo(lcPlatform).noquote() << QStringLiteral("%1 is not saved: %2").arg(m_filePath, reason);
    m_retryTimer->start(m_autosaveRetry);
    if (first)
        m_failureNotice =
            Alerts::notice({QStringLiteral("The document “%1” could not be saved.").arg(displayName()),
                            reason + QStringLiteral(" It is saved by itself as soon as it can be; until then its "
                                                    "window's title says “Not Saved”."),
                            {QStringLiteral("OK")},
                            AlertStyle::Warning},
                           firstWindow());
    emit savingProblemChanged();
}

void Document::noteLeadsElsewhere(const QString &target) {
    if (target == m_elsewhere)
        return;
    m_elsewhere = target;
    if (!target.isEmpty()) {
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("%1 now leads to another file, %2: not read or saved there").arg(contentPath(), target);
        Alerts::notice({QStringLiteral("“%1” now leads to another file, “%2”.").arg(displayName(), displayablePath(target)),
                        QStringLiteral("Its place was taken by a link, or a folder's on its way was. The document keeps "
                                       "the text of “%1”, and saves it into “%2” only when you save it and agree.")
                            .arg(displayablePath(m_knownTarget), displayablePath(target)),
                        {QStringLiteral("OK")},
                        AlertStyle::Warning},
                       firstWindow());
    }
    emit savingProblemChanged();
}

void Document::scheduleAutosave() {
    if (!autosavesInPlace() || m_filePath.isEmpty())
        return;
    if (!m_autosaveTimer->isActive())
        m_unsavedSince.start();
    const std::chrono::milliseconds longest = std::max(kAutosaveLongestWait, m_autosaveDelay);
    const std::chrono::milliseconds left = longest - std::chrono::milliseconds(m_unsavedSince.elapsed());
    m_autosaveTimer->start(std::clamp(left, std::chrono::milliseconds(0), m_autosaveDelay));
}

// --- Reading ----------------------------------------------------------------------------

std::optional<QByteArray> Document::contentsOfPath(const QString &path, const QString &, QString *error,
                                                   FileState *state) const {
    auto fail = [error](const QString &why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    // Anything but a plain file is not even opened (a device may answer an
    // open); what is opened is looked at again.
    if (!isRegularFile(path))
        return fail(QFileInfo::exists(path) ? QStringLiteral("It is not a plain file.")
                                            : QStringLiteral("It does not exist."));
    // The file the path leads to now: the one the user opened.
    const int descriptor = ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return fail(errno == ENOENT ? QStringLiteral("It does not exist.")
                                    : QString::fromLocal8Bit(std::strerror(errno)));
    return readOpenFile(descriptor, state, error);
}

std::optional<QByteArray> Document::readContentFile(FileState *state, QString *error,
                                                   std::optional<qint64> largest) const {
    return readContentFileBy(
        [largest](int descriptor, FileState *before, QString *reason) {
            return readOpenFile(descriptor, before, reason, largest);
        },
        state, error);
}

std::optional<QByteArray> Document::hashContentFile(FileState *state, QString *error) const {
    return readContentFileBy(hashOpenFile, state, error);
}

std::optional<QByteArray> Document::readContentFileBy(const ReadOpenFile &read, FileState *state,
                                                     QString *error) const {
    auto fail = [error](const QString &why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    // A file read while another program writes it may be cut short: read
    // until the file stands still around the read.
    for (int attempt = 0; attempt < 5; attempt++) {
        const Destination at = destination();
        if (!at.known)
            return fail(QStringLiteral("It now leads to another file, “%1”.").arg(displayablePath(at.target)));
        // The place checked, and no link put there since.
        const int descriptor = openAtRealPath(at.target);
        if (descriptor < 0)
            return fail(openFailure(errno));
        FileState before;
        QString reason;
        std::optional<QByteArray> bytes = read(descriptor, &before, &reason);
        if (!bytes)
            return fail(reason);
        // Still there, as it was read.
        if (FileState::at(at.target) == before) {
            if (state)
                *state = before;
            m_readTarget = at.target;
            return bytes;
        }
    }
    return fail(QStringLiteral("the file kept changing while it was read"));
}

bool Document::readFromData(const QByteArray &, const QString &type, QString *error) {
    if (error)
        *error = QStringLiteral("documents of type %1 cannot be read").arg(type);
    return false;
}

bool Document::readFromPath(const QString &path, const QString &type, QString *error) {
    finishSaving();
    const QString previousPath = m_filePath;
    const QString previousType = m_fileType;
    m_filePath = path;
    m_fileType = type;
    // The text, what the document knows of its file and where that file is
    // must all be one file's: a link put in the path, or taken from it,
    // while it is read would leave it one file's text with another's place,
    // and its saves would follow. Read until the file read still stands at
    // the place its path leads to.
    QString reason;
    QString target;
    FileState state;
    std::optional<QByteArray> bytes;
    for (int attempt = 0; attempt < 5; attempt++) {
        target = realWritePath(contentPath());
        bytes = contentsOfPath(path, type, &reason, &state);
        if (!bytes || FileState::at(target).isSameFile(state))
            break;
        bytes.reset();
        reason = QStringLiteral("It kept changing while it was read.");
    }
    if (!bytes || !readFromData(*bytes, type, &reason)) {
        m_filePath = previousPath;
        m_fileType = previousType;
        if (error)
            *error = reason;
        return false;
    }
    m_readTarget = target;
    noteFileOnDisk(state, *bytes);
    m_presenter->setPath(contentPath());
    updateChangeCount(ChangeKind::Cleared);
    emit displayNameChanged(displayName());
    tellUnfinishedSaves(*bytes);
    return true;
}

void Document::tellUnfinishedSaves(const QByteArray &bytes) {
    for (const UnfinishedSave &save : unfinishedSaves(m_knownTarget)) {
        // The file was never touched (its copies come first), or it holds
        // the text that was being saved: nothing was lost.
        QFile after;
        if (save.after.isEmpty() || (openFile(after, save.after, QIODevice::ReadOnly) && after.readAll() == bytes)) {
            removeUnfinishedSave(save);
            continue;
        }
        QStringList kept;
        if (!save.before.isEmpty())
            kept << QStringLiteral("The text it held before is kept in “%1”.").arg(displayablePath(save.before));
        kept << QStringLiteral("The text that was being saved is kept in “%1”.").arg(displayablePath(save.after));
        kept << QStringLiteral("The document shows the file as it is now.");
        Alerts::simpleAlert(kept.join(u' '), QStringLiteral("A save of “%1” was cut short.").arg(displayName()));
    }
    // The new files of saves cut short before they took the file's place.
    const QStringList left = clearSavesLeftBeside(m_knownTarget, bytes);
    if (left.isEmpty())
        return;
    QStringList named;
    for (const QString &file : left)
        named << QStringLiteral("“%1”").arg(displayablePath(file));
    Alerts::simpleAlert(
        (left.size() == 1 ? QStringLiteral("The text it was saving is kept beside the file, hidden, in %1. It is not "
                                           "the text the file holds: it may be your newest text, or only its "
                                           "beginning if the save stopped while it wrote it.")
                          : QStringLiteral("The texts they were saving are kept beside the file, hidden, in %1. "
                                           "None is the text the file holds: each may be your newest text, or only "
                                           "its beginning if the save stopped while it wrote it."))
                .arg(named.join(QStringLiteral(", "))) +
            QStringLiteral(" The document shows the file as it is now; remove what you no longer need."),
        left.size() == 1 ? QStringLiteral("A save of “%1” was cut short.").arg(displayName())
                         : QStringLiteral("Saves of “%1” were cut short.").arg(displayName()));
}

void Document::noteFileOnDisk(const FileState &state, const QByteArray &bytes) {
    noteFileState(state, contentHash(bytes));
}

void Document::noteFileState(const FileState &state, const QByteArray &hash) {
    m_fileState = state;
    m_contentHash = hash;
    m_versionLeftOnDisk.reset();
    // Where the bytes came from or went: what the document's path led to
    // then, not what it may lead to now.
    m_knownTarget = m_readTarget.isEmpty() ? realWritePath(contentPath()) : std::exchange(m_readTarget, QString());
    if (!m_elsewhere.isEmpty())
        noteLeadsElsewhere(QString());
}

Document::Destination Document::destination() const {
    const QString target = realWritePath(contentPath());
    if (m_knownTarget.isEmpty() || target == m_knownTarget)
        return {target, true};
    // The file moved (a folder on the way renamed, say): still the same one.
    return {target, FileState::at(target).isSameFile(m_fileState)};
}

bool Document::isKnownContent(const QByteArray &bytes) const { return contentHash(bytes) == m_contentHash; }

// --- Writing ----------------------------------------------------------------------------

std::optional<QByteArray> Document::dataOfType(const QString &type, QString *error) {
    if (error)
        *error = QStringLiteral("documents of type %1 cannot be written").arg(type);
    return std::nullopt;
}

bool Document::writeToPath(const QString &path, const QString &type, SaveOperation, QByteArray *written,
                           QString *error) {
    std::optional<QByteArray> data = dataOfType(type, error);
    if (!data)
        return false;
    if (!writeContents(path, *data, error))
        return false;
    if (written)
        *written = *data;
    return true;
}

bool Document::writeContents(const QString &path, const QByteArray &data, QString *error) {
    WriteReport report;
    const QString place = m_writeTarget && path == contentPath() ? *m_writeTarget : realWritePath(path);
    if (!writeFileAtRealPath(place, data, error, &report))
        return false;
    if (!report.notKept.isEmpty())
        m_notKept = report.notKept;
    m_written = Written{place, report.written};
    return true;
}

void Document::didWrite(const QString &, const QString &, SaveOperation) {}

void Document::reportError(const QString &message, const QString &reason) const {
    qCWarning(lcPlatform).noquote() << message << reason;
    Alerts::runModal({message, reason, {QStringLiteral("OK")}, AlertStyle::Warning}, firstWindow());
}

bool Document::saveToPath(const QString &path, const QString &type, SaveOperation operation) {
    std::optional<QString> target;
    std::optional<FileState> unchanged;
    // The document's own file: only where it is, or where the user agreed.
    if (operation != SaveOperation::SaveTo && !m_filePath.isEmpty() && path == m_filePath) {
        const Destination at = destination();
        if (!at.known) {
            if (operation == SaveOperation::Autosave) {
                noteLeadsElsewhere(at.target);
                return false;
            }
            const std::optional<FileState> agreed = confirmDestination(at.target);
            if (!agreed)
                return false;
            if (agreed->exists)
                unchanged = agreed;
        }
        target = at.target;
    }
    QString reason;
    if (!writeDocument(path, type, operation, target, &reason, unchanged)) {
        const QString message = operation == SaveOperation::SaveTo
                                    ? QStringLiteral("The document “%1” could not be exported as “%2”.")
                                          .arg(displayName(), QFileInfo(path).fileName())
                                    : QStringLiteral("The document “%1” could not be saved.").arg(displayName());
        reportError(message, reason.isEmpty() ? QStringLiteral("The file could not be written.") : reason);
        return false;
    }
    return true;
}

bool Document::writeDocument(const QString &path, const QString &type, SaveOperation operation,
                             const std::optional<QString> &target, QString *reason,
                             const std::optional<FileState> &unchanged) {
    // One write at a time: the save in flight first.
    finishSaving();
    // The own file in place: the same work as in the background, here.
    if (operation != SaveOperation::SaveTo && target && path == m_filePath) {
        if (const std::shared_ptr<SaveJob> job = prepareSave(operation, type, *target, unchanged)) {
            performSave(*job);
            return applySave(*job, reason);
        }
    }
    QByteArray written;
    m_writeTarget = target;
    m_notKept.clear();
    m_written.reset();
    const bool ok = writeToPath(path, type, operation, &written, reason);
    m_writeTarget.reset();
    const std::optional<Written> file = std::exchange(m_written, std::nullopt);
    if (!ok)
        return false;
    if (operation != SaveOperation::SaveTo) {
        m_fileType = type;
        if (path != m_filePath)
            setFilePath(path);
        // A save the user asked for makes the file the most recent one.
        if (operation != SaveOperation::Autosave)
            DocumentController::shared().noteRecentDocument(path);
        // The file written and its place, as the write found them (a
        // document that writes otherwise than through writeContents(): what
        // stands at the place its path leads to now).
        m_readTarget = file ? file->place : target ? *target : realWritePath(contentPath());
        noteFileOnDisk(file ? file->state : FileState::at(m_readTarget), written);
        m_autosaveFailure.clear();
        m_retryTimer->stop();
        updateChangeCount(ChangeKind::Cleared);
        emit savingProblemChanged();
    }
    tellNotKept(operation == SaveOperation::SaveTo ? QFileInfo(path).fileName() : displayName(),
                std::exchange(m_notKept, QString()));
    didWrite(path, type, operation);
    return true;
}

void Document::tellNotKept(const QString &name, const QString &notKept) {
    if (notKept.isEmpty())
        return;
    Alerts::notice({QStringLiteral("“%1” was saved, but its file could not stay as it was.").arg(name),
                    notKept,
                    {QStringLiteral("OK")},
                    AlertStyle::Warning},
                   firstWindow());
}

// --- Saving in place in the background --------------------------------------------------

std::optional<Document::SaveSnapshot> Document::snapshotForSave(const QString &type) {
    QString reason;
    std::optional<QByteArray> data = dataOfType(type, &reason);
    return SaveSnapshot{[data = std::move(data), reason](QString *error) {
                            if (!data && error)
                                *error = reason;
                            return data;
                        },
                        {}};
}

std::shared_ptr<Document::SaveJob> Document::prepareSave(SaveOperation operation, const QString &type,
                                                         const QString &target,
                                                         const std::optional<FileState> &unchanged) {
    std::optional<SaveSnapshot> snapshot = snapshotForSave(type);
    if (!snapshot)
        return nullptr;
    auto job = std::make_shared<SaveJob>();
    job->operation = operation;
    job->path = m_filePath;
    job->type = type;
    job->target = target;
    job->unchanged = unchanged;
    job->snapshot = std::move(*snapshot);
    job->changes = m_changes;
    job->owner = this;
    reached(SaveStep::Snapshot);
    return job;
}

void Document::performSave(SaveJob &job) {
    reached(SaveStep::Working);
    std::optional<QByteArray> bytes = job.snapshot.bytes(&job.error);
    // What the snapshot held goes with the work, here.
    job.snapshot.bytes = nullptr;
    const FileState now = bytes && job.unchanged ? FileState::at(job.target) : FileState();
    if (!bytes) {
        job.outcome = SaveJob::Outcome::Failed;
    } else if (job.unchanged && now.exists && !(now == *job.unchanged)) {
        // Another program wrote the file since the document last knew it
        // (or since the user agreed to save over it): its version is not
        // written over unseen.
        job.outcome = SaveJob::Outcome::ChangedOnDisk;
        job.error = QStringLiteral("The file changed while it was about to be saved; nothing was written.");
    } else if (!writeFileAtRealPath(job.target, *bytes, &job.error, &job.report)) {
        job.outcome = SaveJob::Outcome::Failed;
    } else {
        // The file written, as it told it: its place may hold another by now.
        job.state = job.report.written;
        job.hash = contentHash(*bytes);
        job.outcome = SaveJob::Outcome::Written;
        reached(SaveStep::Written);
    }
    bytes.reset();
    {
        const std::lock_guard<std::mutex> lock(job.mutex);
        job.done = true;
    }
    job.doneChanged.notify_all();
}

bool Document::applySave(SaveJob &job, QString *reason) {
    if (job.outcome != SaveJob::Outcome::Written) {
        if (reason)
            *reason = job.error;
        return false;
    }
    m_fileType = job.type;
    // What was written is what the path led to when the save began.
    m_readTarget = job.target;
    noteFileState(job.state, job.hash);
    m_autosaveFailure.clear();
    m_retryTimer->stop();
    if (job.snapshot.written)
        job.snapshot.written();
    // Edited meanwhile: still edited, unless the edits led back to the very
    // text written (their own autosave is already asked for).
    const bool editedSince = m_changes != job.changes && isEditedSinceSave();
    if (!editedSince)
        updateChangeCount(ChangeKind::Cleared);
    else if (!m_edited)
        updateChangeCount(ChangeKind::Done);
    emit savingProblemChanged();
    if (job.operation != SaveOperation::Autosave)
        DocumentController::shared().noteRecentDocument(job.path);
    tellNotKept(displayName(), job.report.notKept);
    didWrite(job.path, job.type, job.operation);
    return true;
}

void Document::saveInBackground(SaveOperation operation, const QString &target,
                                const std::optional<FileState> &unchanged) {
    const std::shared_ptr<SaveJob> job = prepareSave(operation, m_fileType, target, unchanged);
    if (!job) {
        QString reason;
        if (writeDocument(m_filePath, m_fileType, operation, target, &reason))
            return;
        if (operation == SaveOperation::Autosave)
            noteAutosaveFailure(orWritten(reason));
        else
            reportError(QStringLiteral("The document “%1” could not be saved.").arg(displayName()), orWritten(reason));
        return;
    }
    m_saving = job;
    saveQueue().async([job] {
        performSave(*job);
        Dispatch::main([job] {
            if (Document *owner = job->owner)
                owner->finishSave(job);
        });
    });
}

void Document::finishSaving() {
    if (!m_saving)
        return;
    const std::shared_ptr<SaveJob> job = m_saving;
    reached(SaveStep::Awaited);
    {
        std::unique_lock<std::mutex> lock(job->mutex);
        job->doneChanged.wait(lock, [&] { return job->done; });
    }
    finishSave(job);
}

void Document::finishSave(const std::shared_ptr<SaveJob> &job) {
    if (m_saving != job)
        return;  // applied already, by a wait for it
    m_saving.reset();
    const std::optional<SaveOperation> after = std::exchange(m_saveAfter, std::nullopt);
    bool saveAgain = after == SaveOperation::Autosave;
    QString reason;
    if (job->outcome == SaveJob::Outcome::ChangedOnDisk && job->operation != SaveOperation::Autosave) {
        // A Save the user agreed to, into a file that has changed since.
        reportError(QStringLiteral("The document “%1” could not be saved.").arg(displayName()), job->error);
    } else if (job->outcome == SaveJob::Outcome::ChangedOnDisk) {
        qCInfo(lcPlatform).noquote() << QStringLiteral("%1 changed before it was saved: taken in first").arg(m_filePath);
        saveAgain = true;
    } else if (!applySave(*job, &reason)) {
        if (job->operation == SaveOperation::Autosave)
            noteAutosaveFailure(orWritten(reason));
        else
            reportError(QStringLiteral("The document “%1” could not be saved.").arg(displayName()), orWritten(reason));
    }
    if (m_closing)
        return;
    // What waited for it goes on from the event loop, never inside a wait
    // for it: another program's change seen meanwhile, and the saves asked
    // for (the autosave looks at the file first; so does Save, when this
    // save found another program's version, which no save may write over
    // unseen).
    if (std::exchange(m_lookAgain, false))
        m_settleTimer->start(0);
    if (after == SaveOperation::Save) {
        if (job->outcome == SaveJob::Outcome::ChangedOnDisk)
            QTimer::singleShot(0, this, [this] { saveOnceLookedAt(); });
        else
            QTimer::singleShot(0, this, [this] { saveDocumentInBackground(); });
    } else if (saveAgain && m_edited) {
        m_autosaveTimer->start(0);
    }
}

void Document::saveOnceLookedAt() {
    if (m_closing)
        return;
    checkFileOnDisk();
    // Another program's version still settling, or its question open: the
    // save waits until it is taken in.
    if (m_settleTimer->isActive() || m_takingInChange) {
        QTimer::singleShot(std::chrono::milliseconds(50), this, [this] { saveOnceLookedAt(); });
        return;
    }
    saveDocumentInBackground();
}

std::optional<FileState> Document::confirmDestination(const QString &target) {
    // The question names both files: the one whose text the document holds
    // (which the window's title does not), and the one the save would write.
    const QString held = displayablePath(m_knownTarget);
    const QString heldName = displayablePath(QFileInfo(m_knownTarget).fileName());
    const QString there = displayablePath(target);
    const FileState found = FileState::at(target);
    const int answer = Alerts::runModal(
        {QStringLiteral("“%1” now leads to “%2”, not to “%3”, whose text the document holds.")
             .arg(displayName(), there, held),
         QStringLiteral("A link took the place of the file, or of a folder on its way, since the document was opened or "
                        "last saved. Saving writes the text of “%1” into “%2”%3. Do you want to save it there?")
             .arg(heldName, there,
                  found.exists ? QStringLiteral(", in place of what that file holds") : QStringLiteral(", a new file")),
         {QStringLiteral("Cancel"), QStringLiteral("Save")},
         AlertStyle::Warning},
        firstWindow());
    if (answer != 1)
        return std::nullopt;
    // The save writes what the question named, where it named: not where the
    // path has come to lead while it was open, nor over a file put there
    // meanwhile.
    if (realWritePath(contentPath()) != target || !(FileState::at(target) == found)) {
        reportError(QStringLiteral("The document “%1” could not be saved.").arg(displayName()),
                    QStringLiteral("“%1” changed while you were asked; nothing was written.").arg(there));
        return std::nullopt;
    }
    return found;
}

bool Document::saveDocument() {
    if (m_filePath.isEmpty())
        return runSavePanel(SaveOperation::SaveAs);
    if (!confirmLossOnSave())
        return false;
    return saveToPath(m_filePath, m_fileType, SaveOperation::Save);
}

void Document::saveDocumentInBackground() {
    if (m_closing)
        return;
    if (m_saving) {
        m_saveAfter = SaveOperation::Save;
        return;
    }
    if (m_filePath.isEmpty()) {
        saveDocument();
        return;
    }
    // Another program's version waits for the user to stop typing: it is
    // asked about first, and not saved over unseen.
    if (m_changeHeld) {
        saveOnceLookedAt();
        return;
    }
    if (!confirmLossOnSave())
        return;
    const Destination at = destination();
    std::optional<FileState> unchanged;
    if (!at.known) {
        const std::optional<FileState> agreed = confirmDestination(at.target);
        if (!agreed)
            return;
        if (agreed->exists)
            unchanged = agreed;
    }
    // (An autosave may have begun while the question was open.)
    finishSaving();
    saveInBackground(SaveOperation::Save, at.target, unchanged);
}

QString Document::lossOnSave() const { return QString(); }

bool Document::confirmLossOnSave() {
    const QString loss = lossOnSave();
    if (loss.isEmpty())
        return true;
    const int answer =
        Alerts::runModal({QStringLiteral("Saving “%1” changes more in the file than your edits.").arg(displayName()),
                          loss + QStringLiteral(" Do you want to save it anyway?"),
                          {QStringLiteral("Save"), QStringLiteral("Cancel")},
                          AlertStyle::Warning},
                         firstWindow());
    return answer == 0;
}

bool Document::saveDocumentAs() { return runSavePanel(SaveOperation::SaveAs); }

bool Document::saveDocumentTo() { return runSavePanel(SaveOperation::SaveTo); }

bool Document::autosave() {
    finishSaving();
    m_autosaveTimer->stop();
    m_retryTimer->stop();
    if (!autosavesInPlace() || m_filePath.isEmpty() || !m_edited)
        return true;
    const QString loss = lossOnSave();
    if (!loss.isEmpty()) {
        qCInfo(lcPlatform).noquote() << QStringLiteral("%1 waits for a save by the user: %2").arg(m_filePath, loss);
        return true;
    }
    const Destination at = destination();
    if (!at.known) {
        noteLeadsElsewhere(at.target);
        return false;
    }
    QString reason;
    if (writeDocument(m_filePath, m_fileType, SaveOperation::Autosave, at.target, &reason))
        return true;
    noteAutosaveFailure(orWritten(reason));
    return false;
}

bool Document::saveBeforeQuitting() {
    finishSaving();
    // No file holds its text, and the user did not say it should go into
    // the file unasked: kept whole, and brought back as it is. Where it
    // cannot be, the edits of a file go beside it as below; the next start
    // tells either.
    if (m_edited && (m_filePath.isEmpty() || !autosavesInPlace())) {
        QString reason;
        if (keepUnsavedDocument(&reason))
            return true;
        const QString why = QStringLiteral("They could not be kept for the next start: ") + reason;
        const TextKeptAtQuit kept{m_filePath.isEmpty() ? displayName() : m_filePath,
                                  m_filePath.isEmpty() ? QString() : keepTextApart(why), why};
        noteForTheNextStart(kept);
        return !kept.keptIn.isEmpty();
    }
    if (!autosavesInPlace() || m_filePath.isEmpty() || !m_edited)
        return autosave();
    // What the autosave would not write without the user (who cannot be
    // asked now), or would write over unseen; or what it could not write.
    QString why;
    if (!destination().known)
        why = QStringLiteral("The file's path had come to lead to another file, which was not written.");
    else if (const QString loss = lossOnSave(); !loss.isEmpty())
        why = QStringLiteral("Saving the file in place would have changed more than your edits: ") + loss;
    else if (holdsUnseenVersion())
        why = QStringLiteral("The file keeps another program's version, which had not been taken in.");
    else if (autosave())
        return true;
    else
        why = orWritten(m_autosaveFailure);
    m_autosaveTimer->stop();
    m_retryTimer->stop();
    const TextKeptAtQuit kept{m_filePath, keepTextApart(why), why};
    noteForTheNextStart(kept);
    return !kept.keptIn.isEmpty();
}

bool Document::keepUnsavedDocument(QString *reason) {
    m_autosaveTimer->stop();
    m_retryTimer->stop();
    const std::optional<UnsavedDocument> document = unsavedDocument();
    *reason = QStringLiteral("The document could not give its text.");
    const QString kept = document ? UnsavedDocuments::keep(*document, reason) : QString();
    const QString name = m_filePath.isEmpty() ? displayName() : m_filePath;
    if (kept.isEmpty()) {
        qCCritical(lcPlatform).noquote()
            << QStringLiteral("%1 could not be kept for the next start: %2").arg(name, *reason);
        return false;
    }
    qCInfo(lcPlatform).noquote() << QStringLiteral("%1 is kept for the next start in %2").arg(name, kept);
    return true;
}

std::optional<UnsavedDocument> Document::unsavedDocument() const { return std::nullopt; }

bool Document::takeBackUnsavedDocument(const UnsavedDocument &) { return false; }

QString Document::keepTextApart(const QString &why) {
    QString reason;
    const std::optional<QByteArray> data = dataOfType(m_fileType, &reason);
    if (!data) {
        qCWarning(lcPlatform).noquote() << QStringLiteral("%1: the text could not be kept: %2").arg(m_filePath, reason);
        return QString();
    }
    // Beside the file, where the user looks for it first; else in their
    // documents folder, made when it is missing; else in the program's own
    // folder, which is there as long as anything of the program can be.
    const QFileInfo file(m_knownTarget.isEmpty() ? contentPath() : m_knownTarget);
    const QString beside = file.absolutePath();
    for (const QString &folder : {beside, Folders::documentsFolder(), textKeptAtQuitFolder()}) {
        if (folder != beside && !Folders::ensureFolder(folder))
            continue;
        for (int number = 1; number <= 100; number++) {
            const QString kept = QDir(folder).filePath(textKeptAtQuitName(file.fileName(), number));
            if (writeNewFile(kept, *data, &reason)) {
                qCWarning(lcPlatform).noquote()
                    << QStringLiteral("%1: the document's text is kept in %2. %3").arg(m_knownTarget, kept, why);
                return kept;
            }
            if (errno != EEXIST)
                break;
        }
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("%1: the text could not be kept in %2: %3").arg(m_filePath, folder, reason);
    }
    qCCritical(lcPlatform).noquote() << QStringLiteral("%1: the edits are lost, no folder took them").arg(m_filePath);
    return QString();
}

QString Document::textKeptAtQuitFolder() {
    return Folders::userDataFolder() + QStringLiteral("/Tessaro Orvane 4/Edits Kept at Quit");
}

QList<Document::TextKeptAtQuit> Document::textsKeptAtQuit(const Defaults &defaults) {
    QList<TextKeptAtQuit> kept;
    for (const QVariant &entry : defaults.arrayForKey(kTextsKeptAtQuitKey))
        if (const TextKeptAtQuit text = keptOf(entry); !text.file.isEmpty())
            kept.append(text);
    return kept;
}

void Document::forgetTextsKeptAtQuit(Defaults &defaults, const QList<TextKeptAtQuit> &told) {
    QVariantList left;
    for (const QVariant &entry : defaults.arrayForKey(kTextsKeptAtQuitKey))
        if (const TextKeptAtQuit text = keptOf(entry); !text.file.isEmpty() && !told.contains(text))
            left.append(entry);
    if (left.isEmpty())
        defaults.removeObject(kTextsKeptAtQuitKey);
    else
        defaults.setObject(left, kTextsKeptAtQuitKey);
    defaults.synchronize();
}

QString Document::textKeptAtQuitName(const QString &name, int number) {
    // Before the extension, where it opens as the file does.
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const QString mark = number > 1 ? QStringLiteral(" (your edits, not merged, %1)").arg(number)
                                    : QStringLiteral(" (your edits, not merged)");
    return base + mark + extension;
}

bool Document::holdsUnseenVersion() {
    const Destination at = destination();
    if (!at.known)
        return false;
    const FileState now = FileState::at(at.target);
    if (!now.exists || now == m_fileState)
        return false;
    // Another size is another version, known without reading a byte of it
    // (it may be far larger than anything the document would read, and the
    // session may be ending).
    if (now.size != m_fileState.size)
        return true;
    // Of the same size: its bytes hashed a piece at a time, as large as the
    // document's own at most.
    FileState state;
    const std::optional<QByteArray> hash = hashContentFile(&state, nullptr);
    // (What cannot be read is not known to be the document's own.)
    if (!hash || *hash != m_contentHash) {
        m_readTarget.clear();
        return true;
    }
    noteFileState(state, *hash);
    return false;
}

void Document::autosaveInBackground() {
    m_autosaveTimer->stop();
    if (m_closing)
        return;
    // One in flight: one more once it is done, of the text then.
    if (m_saving) {
        if (!m_saveAfter)
            m_saveAfter = SaveOperation::Autosave;
        return;
    }
    // The user is being asked about another program's version (the question
    // runs a loop of its own, in which this timer fires): the file stays as
    // that program left it until they answered.
    if (m_takingInChange) {
        m_autosaveTimer->start(m_autosaveDelay);
        return;
    }
    m_retryTimer->stop();
    if (!autosavesInPlace() || m_filePath.isEmpty() || !m_edited)
        return;
    // Not there: its path leads to another file now (an edit or a change of
    // the file looks again).
    const Destination at = destination();
    if (!at.known) {
        noteLeadsElsewhere(at.target);
        return;
    }
    // Another program changed the file and its version is not taken in yet
    // (it may still be writing): writing now would put this text over it
    // unseen. Take it in first, or wait for it to settle.
    const FileState onDisk = FileState::at(at.target);
    // Another program's version too large to take in, which the user chose
    // to leave on the disk: only their own Save writes over it.
    if (m_versionLeftOnDisk && onDisk == *m_versionLeftOnDisk)
        return;
    if (onDisk.exists && !(onDisk == m_fileState)) {
        checkFileOnDisk();
        if (!(FileState::at(destination().target) == m_fileState)) {
            m_autosaveTimer->start(m_autosaveDelay);
            return;
        }
        // (Taking it in may have settled the edits, or asked.)
        if (!m_edited || m_closing)
            return;
    }
    const QString loss = lossOnSave();
    if (!loss.isEmpty()) {
        qCInfo(lcPlatform).noquote() << QStringLiteral("%1 waits for a save by the user: %2").arg(m_filePath, loss);
        return;
    }
    // The file as the document knows it, or none: the same must be there
    // when the save's thread writes.
    saveInBackground(SaveOperation::Autosave, at.target, m_fileState);
}

QStringList Document::writableTypesForSaveOperation(SaveOperation) const {
    return m_fileType.isEmpty() ? QStringList() : QStringList{m_fileType};
}

void Document::prepareSavePanel(SavePanel &, SaveOperation) {}

bool Document::runSavePanel(SaveOperation operation) {
    SavePanel panel;
    panel.title = operation == SaveOperation::SaveTo ? QStringLiteral("Export") : QStringLiteral("Save");
    panel.types = writableTypesForSaveOperation(operation);
    panel.nameFieldStringValue = m_filePath.isEmpty() ? displayName() : QFileInfo(m_filePath).completeBaseName();
    panel.directory = m_filePath.isEmpty() ? Folders::documentsFolder() : QFileInfo(m_filePath).absolutePath();
    prepareSavePanel(panel, operation);
    if (!FilePanels::runSavePanel(panel, firstWindow()))
        return false;
    if (!saveToPath(panel.path, panel.chosenType, operation))
        return false;
    if (!panel.tagNames.isEmpty()) {
        QString reason;
        if (!FileTags::setTags(panel.path, panel.tagNames, &reason))
            qCInfo(lcPlatform, "the tags of %s are not kept: %s", qPrintable(panel.path), qPrintable(reason));
    }
    return true;
}

bool Document::revertDocumentToSaved() {
    if (m_filePath.isEmpty())
        return false;
    const int answer = Alerts::runModal(
        {QStringLiteral("Do you want to revert to the most recently saved version of the document “%1”?")
             .arg(displayName()),
         QStringLiteral("Your current changes will be lost."),
         {QStringLiteral("Revert"), QStringLiteral("Cancel")},
         AlertStyle::Warning},
        firstWindow());
    if (answer != 0)
        return false;
    finishSaving();
    QString reason;
    if (!revertToContentsOfFile(&reason)) {
        reportError(QStringLiteral("The document “%1” could not be reverted.").arg(displayName()), reason);
        return false;
    }
    return true;
}

bool Document::revertToContentsOfFile(QString *error) {
    // The file the document knows, where it is: once its path leads to
    // another file, that file's text is not taken in.
    FileState state;
    const std::optional<QByteArray> bytes = readContentFile(&state, error);
    if (!bytes || !readFromData(*bytes, m_fileType, error))
        return false;
    noteFileOnDisk(state, *bytes);
    updateChangeCount(ChangeKind::Cleared);
    return true;
}

// --- Closing ----------------------------------------------------------------------------

bool Document::canClose() {
    // What a save in flight leaves decides.
    finishSaving();
    // Another program's version held while the user typed: the user, closing
    // the document, is asked about it now, before anything is saved over it.
    if (m_changeHeld) {
        m_askNow = true;
        checkFileOnDisk();
        m_askNow = false;
    }
    if (!m_edited)
        return true;
    const QString loss = m_filePath.isEmpty() ? QString() : lossOnSave();
    // Another program's version the user left on the disk is saved over
    // only when they say so.
    const bool overLeft = m_versionLeftOnDisk && FileState::at(destination().target) == *m_versionLeftOnDisk;
    // (Where the path leads to another file, the question below, and Save's.)
    if (autosavesInPlace() && !m_filePath.isEmpty() && loss.isEmpty() && destination().known && !overLeft)
        return saveToPath(m_filePath, m_fileType, SaveOperation::Autosave);
    QString informative = QStringLiteral("Your changes will be lost if you don't save them.");
    if (!loss.isEmpty())
        informative += QStringLiteral(" Saving them changes more in the file: ") + loss;
    if (overLeft)
        informative += QStringLiteral(" Saving them replaces the version another program left in the file (%1).")
                           .arg(sizeForUser(m_versionLeftOnDisk->size));
    const int answer = Alerts::runModal(
        {QStringLiteral("Do you want to save the changes made to the document “%1”?").arg(displayName()),
         informative,
         {QStringLiteral("Save"), QStringLiteral("Don't Save"), QStringLiteral("Cancel")},
         AlertStyle::Warning},
        firstWindow());
    if (answer == 0) {
        // The question said what the save changes: it is not asked twice.
        if (!loss.isEmpty())
            return saveToPath(m_filePath, m_fileType, SaveOperation::Save);
        return saveDocument();
    }
    return answer == 1;
}

void Document::close() {
    if (m_closing)
        return;
    // A save in flight is not given up: its outcome applies first.
    finishSaving();
    m_closing = true;
    m_autosaveTimer->stop();
    m_retryTimer->stop();
    m_presenter->setPath(QString());
    emit closing();
    const QList<WindowController *> controllers = std::exchange(m_windowControllers, {});
    for (WindowController *controller : controllers)
        controller->closeWindow();
    for (WindowController *controller : controllers)
        controller->deleteLater();
    DocumentController::shared().removeDocument(this);
    deleteLater();
}

// --- Windows ----------------------------------------------------------------------------

void Document::makeWindowControllers() {}

void Document::addWindowController(WindowController *controller) {
    if (!controller || m_windowControllers.contains(controller))
        return;
    m_windowControllers.append(controller);
    controller->setParent(this);
    controller->setDocument(this);
}

QWidget *Document::firstWindow() const {
    return m_windowControllers.isEmpty() ? nullptr : m_windowControllers.first()->window();
}

void Document::showWindows() {
    for (WindowController *controller : std::as_const(m_windowControllers))
        controller->showWindow();
}

// --- Actions ----------------------------------------------------------------------------

bool Document::respondsToAction(const QString &action) const {
    static const QStringList actions{
        QStringLiteral("saveDocument:"),          QStringLiteral("saveDocumentAs:"),
        QStringLiteral("saveDocumentTo:"),        QStringLiteral("revertDocumentToSaved:"),
        QStringLiteral("performClose:"),
    };
    return actions.contains(action);
}

bool Document::performAction(const QString &action, QObject *) {
    if (action == QLatin1String("saveDocument:"))
        saveDocumentInBackground();
    else if (action == QLatin1String("saveDocumentAs:"))
        saveDocumentAs();
    else if (action == QLatin1String("saveDocumentTo:"))
        saveDocumentTo();
    else if (action == QLatin1String("revertDocumentToSaved:"))
        revertDocumentToSaved();
    else if (action == QLatin1String("performClose:")) {
        if (canClose())
            close();
    } else
        return false;
    return true;
}

bool Document::validateAction(const QString &action, QAction *) {
    if (action == QLatin1String("revertDocumentToSaved:"))
        return !m_filePath.isEmpty() && m_edited;
    return true;
}

// --- Outside changes --------------------------------------------------------------------

void Document::checkFileOnDisk() {
    const QString path = contentPath();
    if (path.isEmpty() || m_closing)
        return;
    // Taking in a change may ask the user, in a loop of its own where the
    // presenter and the timers go on: a change seen meanwhile is looked at
    // once that is over, never in a second question over the first (which
    // would then note the file as it was before the answer, and take the
    // program's own save after it for another program's).
    if (m_takingInChange) {
        m_lookAgain = true;
        return;
    }
    // A save in flight changes the file: it is looked at once the save is
    // done and the document knows what it wrote.
    if (m_saving) {
        m_lookAgain = true;
        return;
    }
    // A change held while the user types is looked at again once they
    // stop (reading it meanwhile would only hold it again).
    if (m_changeHeld && !m_askNow) {
        if (const std::chrono::milliseconds left = Alerts::typingPauseLeft(); left.count() > 0) {
            m_settleTimer->start(left);
            return;
        }
    }
    m_changeHeld = false;
    // Its path leads to another file: that file's text is not the
    // document's, and is not taken in.
    const Destination at = destination();
    if (!at.known) {
        m_settleTimer->stop();
        m_unsettledState = FileState();
        noteLeadsElsewhere(at.target);
        return;
    }
    if (!m_elsewhere.isEmpty())
        noteLeadsElsewhere(QString());
    const FileState now = FileState::at(at.target);
    // Unchanged, or gone (deleted, moved away): the document keeps what it
    // holds, and a later save writes it anew. Or the version too large to
    // take in that the user chose to leave there: told once.
    if (now == m_fileState || !now.exists || (m_versionLeftOnDisk && now == *m_versionLeftOnDisk)) {
        m_settleTimer->stop();
        m_unsettledState = FileState();
        return;
    }
    if (!hasSettled(now))
        return;
    m_settleTimer->stop();
    m_unsettledState = FileState();
    m_takingInChange = true;
    m_lookAgain = false;
    if (now.size > kLargestVersionTakenIn)
        takeInLargeVersion(now);
    else
        presentedItemDidChange();
    m_takingInChange = false;
    if (m_closing)
        return;
    if (m_changeHeld) {
        // (Changes seen meanwhile are looked at with it.)
        m_lookAgain = false;
        m_settleTimer->start(std::max(Alerts::typingPauseLeft(), std::chrono::milliseconds(1)));
        return;
    }
    if (std::exchange(m_lookAgain, false))
        m_settleTimer->start(0);
}

bool Document::holdChangeWhileTyping() {
    if (!m_takingInChange || m_askNow || Alerts::typingPauseLeft().count() == 0)
        return false;
    qCInfo(lcPlatform).noquote()
        << QStringLiteral("%1 changed on disk: asked about once the keys pause").arg(m_filePath);
    m_changeHeld = true;
    return true;
}

bool Document::hasSettled(const FileState &now) {
    using std::chrono::milliseconds;
    // A file cut short may be one that its program is about to write: an
    // empty file, or one shorter than it was, is not believed at once.
    const bool shrunk = now.size == 0 || now.size < m_fileState.size;
    const qint64 quiet = (shrunk ? kShrunkFileQuiet : milliseconds(m_presenter->debounce())).count();
    if (!(now == m_unsettledState)) {
        m_unsettledState = now;
        m_unsettledSince.start();
    }
    // Still for `quiet`: seen unchanged that long, or last written that long
    // ago (the file's own clock, for a file that was still before the
    // document looked).
    const qint64 age = QDateTime::currentMSecsSinceEpoch() - now.modifiedNanoseconds / 1000000;
    const qint64 still = std::max(m_unsettledSince.elapsed(), age);
    if (still >= quiet)
        return true;
    m_settleTimer->start(milliseconds(quiet - still));
    return false;
}

void Document::presentedItemDidChange() {}

void Document::takeInLargeVersion(const FileState &now) {
    // Touched, or written again as it was: the document's own bytes, hashed
    // a piece at a time.
    if (now.size == m_fileState.size) {
        FileState state;
        if (const std::optional<QByteArray> hash = hashContentFile(&state, nullptr); hash && *hash == m_contentHash) {
            noteFileState(state, *hash);
            return;
        }
    }
    if (holdChangeWhileTyping())
        return;
    const QString size = sizeForUser(now.size);
    qCInfo(lcPlatform).noquote() << QStringLiteral("%1 changed on disk to %2: not read").arg(m_filePath, size);
    Alert alert{QStringLiteral("File has changed"),
                QStringLiteral("The file on disk has been changed by another program and %1 %2, too large to merge. "
                               "Do you want to keep your text, or open the new version?")
                    .arg(now.size > m_fileState.size ? QStringLiteral("grew to") : QStringLiteral("is now"), size),
                {QStringLiteral("Keep Mine"), QStringLiteral("Open New Version")},
                AlertStyle::Informational,
                m_edited ? QStringLiteral("Keep Mine leaves the file's version on disk until you save. Opening the "
                                          "new version first puts your text in a file beside it.")
                         : QStringLiteral("Keep Mine leaves the file's version on disk until you save.")};
    // It comes unasked, maybe among the user's keys, which must not answer it.
    alert.unasked = true;
    if (Alerts::runModal(alert, firstWindow()) == 1 && openLargeVersion())
        return;
    // Kept (or closed unanswered): the version stays on the disk, not taken
    // in, so nothing saves over it by itself and quitting puts the text
    // beside it; it is not asked about again.
    m_versionLeftOnDisk = now;
}

bool Document::openLargeVersion() {
    // As opening such a file asks.
    if (!DocumentController::confirmOpeningLargeFile(contentPath(), firstWindow()))
        return false;
    // The typed text first goes into a file of its own: the new version
    // takes its place in the window.
    if (m_edited) {
        const QString kept = keepTextApart(QStringLiteral("Another program's version of the file was opened in its "
                                                          "place."));
        if (kept.isEmpty()) {
            reportError(QStringLiteral("The new version of “%1” was not opened.").arg(displayName()),
                        QStringLiteral("Your text could not be kept in a file of its own; the document keeps it."));
            return false;
        }
        Alerts::simpleAlert(QStringLiteral("The document shows the file's new version. Your text is in “%1”.")
                                .arg(displayablePath(kept)),
                            QStringLiteral("Your edits to “%1” are kept apart.").arg(displayName()));
    }
    QString reason;
    if (!revertToContentsOfFile(&reason)) {
        reportError(QStringLiteral("The new version of “%1” could not be opened.").arg(displayName()), reason);
        return false;
    }
    return true;
}

}  // namespace platform
