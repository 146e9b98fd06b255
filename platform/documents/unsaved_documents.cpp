#include "platform/documents/unsaved_documents.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSysInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/descriptor.h"
#include "platform/files/folders.h"
#include "platform/files/native_path.h"
#include "platform/runtime/log.h"

namespace platform {

namespace {

// The first line of every kept document's file.
const QByteArray kFormatLine = QByteArrayLiteral("Orvane unsaved document, format 1\n");
// Where the claims are, in the folder of those kept.
const QString kClaimed = QStringLiteral("Claimed");
// The file a claim's folder holds locked while its program claims.
const QByteArray kLockName = QByteArrayLiteral("lock");
// A claim's folder while it is made, before it holds its lock.
const QByteArray kNewClaim = QByteArrayLiteral(".new-");
// The end of the hidden name a kept document's file is written under.
const QByteArray kPartial = QByteArrayLiteral(".partial");

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QByteArray join(const QByteArray &folder, const QByteArray &name) { return folder + '/' + name; }

void syncFolder(const QByteArray &folder) {
    Descriptor descriptor(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (descriptor)
        ::fsync(descriptor.get());
}

// Writes `bytes` into a new file at `partial`, for the user alone, and
// gives it the name `whole` once it is on the disk. The new file is held
// locked until then: a start that can take the lock of such a file knows
// that nobody writes it any more (its writer was killed), and removes it.
// A start may remove it between its making and its lock; it is then made
// again.
bool writeHeldUntilWhole(const QByteArray &partial, const QByteArray &whole, const QByteArray &bytes,
                         QString *reason) {
    const QString name = displayablePath(pathFromNative(whole));
    auto fail = [&](const QString &why) {
        *reason = QStringLiteral("The file “%1” could not be written: %2.").arg(name, why);
        return false;
    };
    for (int attempt = 0; attempt < 5; attempt++) {
        Descriptor file(::open(partial.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file)
            return fail(systemError(errno));
        struct stat info;
        if (::flock(file.get(), LOCK_EX) != 0 || ::fstat(file.get(), &info) != 0) {
            const int cause = errno;
            ::unlink(partial.constData());
            return fail(systemError(cause));
        }
        if (info.st_nlink == 0)
            continue;  // a start took it for a writer's that was killed
        QFile out;
        QString why;
        if (!out.open(file.get(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle) ||
            out.write(bytes) != bytes.size() || !out.flush())
            why = out.errorString();
        out.close();
        if (why.isEmpty() && ::fsync(file.get()) != 0)
            why = systemError(errno);
        else if (why.isEmpty() && ::rename(partial.constData(), whole.constData()) != 0)
            why = systemError(errno);
        if (!why.isEmpty()) {
            ::unlink(partial.constData());
            return fail(why);
        }
        return true;
    }
    return fail(QStringLiteral("another program kept removing it"));
}

// Removes from `folder` the hidden files of documents being kept that
// nobody writes any more: their writers were killed before the files had
// their own names, and the system let their locks go. Nothing else goes,
// not even a file of that name that is not plain (a link, a folder).
void removeAbandonedPartials(const QByteArray &folder) {
    DIR *listing = ::opendir(folder.constData());
    if (!listing)
        return;
    const QByteArray end = QByteArray(UnsavedDocuments::kSuffix) + kPartial;
    int removed = 0;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith('.') || !name.endsWith(end))
            continue;
        Descriptor file(::openat(::dirfd(listing), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat info, named;
        if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
            ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;  // not a plain file, or its writer writes it still
        // Still under that name: a writer that finished gave it its own.
        if (::fstatat(::dirfd(listing), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            named.st_dev != info.st_dev || named.st_ino != info.st_ino)
            continue;
        if (::unlinkat(::dirfd(listing), entry->d_name, 0) == 0)
            removed++;
    }
    ::closedir(listing);
    if (removed > 0)
        qCInfo(lcPlatform).noquote() << QStringLiteral("%1 files of documents whose keeping was cut short are removed "
                                                       "from %2")
                                            .arg(removed)
                                            .arg(pathFromNative(folder));
}

// Makes `folder` when missing, for the user alone.
bool makePrivateFolder(const QString &folder) {
    if (!Folders::ensureFolder(folder))
        return false;
    if (::chmod(nativePath(folder).constData(), 0700) != 0) {
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("The folder %1 cannot be made the user's alone: %2").arg(folder, systemError(errno));
        return false;
    }
    return true;
}

// The names of the kept documents' files in `folder` (plain files, not
// links, nor the hidden ones being written), in the order they were kept.
QList<QByteArray> keptNames(const QByteArray &folder) {
    QList<QByteArray> names;
    DIR *listing = ::opendir(folder.constData());
    if (!listing)
        return names;
    const QByteArray suffix(UnsavedDocuments::kSuffix);
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name.startsWith('.') || !name.endsWith(suffix))
            continue;
        struct stat info;
        if (::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            names.append(name);
    }
    ::closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
}

// The folders in `folder`.
QList<QByteArray> folderNames(const QByteArray &folder) {
    QList<QByteArray> names;
    DIR *listing = ::opendir(folder.constData());
    if (!listing)
        return names;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat info;
        if (::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode))
            names.append(name);
    }
    ::closedir(listing);
    return names;
}

QByteArray hashOf(const QByteArray &text, const QByteArray &base) {
    QCryptographicHash hash(QCryptographicHash::Blake2b_256);
    hash.addData(text);
    hash.addData(base);
    return hash.result().toHex();
}

// Lengths as text: JSON's numbers lose what lies beyond 2^53.
QString number(qint64 value) { return QString::number(value); }

QByteArray encode(const UnsavedDocument &document) {
    QJsonObject info{
        {QStringLiteral("type"), document.fileType},
        {QStringLiteral("name"), document.displayName},
        {QStringLiteral("untitledNumber"), document.untitledNumber},
        {QStringLiteral("textLength"), number(qint64(document.text.size()))},
        {QStringLiteral("baseLength"), number(qint64(document.base.size()))},
        {QStringLiteral("hash"), QString::fromLatin1(hashOf(document.text, document.base))},
    };
    if (!document.filePath.isEmpty()) {
        // The path's bytes, which name the file whatever they are.
        info.insert(QStringLiteral("file"), QString::fromLatin1(nativePath(document.filePath).toBase64()));
        info.insert(QStringLiteral("contentHash"), QString::fromLatin1(document.contentHash.toHex()));
    }
    QByteArray bytes = kFormatLine + QJsonDocument(info).toJson(QJsonDocument::Compact) + '\n';
    bytes.reserve(bytes.size() + document.text.size() + document.base.size());
    bytes += document.text;
    bytes += document.base;
    return bytes;
}

std::optional<qint64> wholeNumber(const QJsonValue &value) {
    bool ok = false;
    const qint64 number = value.toString().toLongLong(&ok);
    return ok ? std::optional<qint64>(number) : std::nullopt;
}

std::optional<UnsavedDocument> decode(const QByteArray &bytes, QString *error) {
    auto fail = [error](const QString &why) -> std::optional<UnsavedDocument> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!bytes.startsWith(kFormatLine))
        return fail(QStringLiteral("It is not a document that Orvane kept, or its beginning is damaged."));
    const qsizetype start = kFormatLine.size();
    const qsizetype end = bytes.indexOf('\n', start);
    const QString damaged = QStringLiteral("It is damaged: ");
    if (end < 0)
        return fail(damaged + QStringLiteral("it ends within its description."));
    QJsonParseError parsing;
    const QJsonDocument json = QJsonDocument::fromJson(bytes.mid(start, end - start), &parsing);
    if (parsing.error != QJsonParseError::NoError || !json.isObject())
        return fail(damaged + QStringLiteral("its description cannot be read."));
    const QJsonObject info = json.object();
    const std::optional<qint64> textLength = wholeNumber(info.value(QStringLiteral("textLength")));
    const std::optional<qint64> baseLength = wholeNumber(info.value(QStringLiteral("baseLength")));
    if (!textLength || !baseLength || *textLength < 0 || *baseLength < 0)
        return fail(damaged + QStringLiteral("its description cannot be read."));
    const qint64 payload = bytes.size() - (end + 1);
    if (payload != *textLength + *baseLength)
        return fail(damaged + QStringLiteral("it holds %1 bytes of text where it should hold %2.")
                                  .arg(payload)
                                  .arg(*textLength + *baseLength));
    UnsavedDocument document;
    document.text = bytes.mid(end + 1, *textLength);
    document.base = bytes.mid(end + 1 + *textLength);
    if (hashOf(document.text, document.base) != info.value(QStringLiteral("hash")).toString().toLatin1())
        return fail(damaged + QStringLiteral("its text is not the text that was kept."));
    document.fileType = info.value(QStringLiteral("type")).toString();
    document.displayName = info.value(QStringLiteral("name")).toString();
    document.untitledNumber = info.value(QStringLiteral("untitledNumber")).toInt();
    if (const QString file = info.value(QStringLiteral("file")).toString(); !file.isEmpty()) {
        document.filePath = pathFromNative(QByteArray::fromBase64(file.toLatin1()));
        document.contentHash = QByteArray::fromHex(info.value(QStringLiteral("contentHash")).toString().toLatin1());
    }
    return document;
}

}  // namespace

QString UnsavedDocuments::folder() {
    return Folders::stateFolder() + QStringLiteral("/Tessaro Orvane 4/Unsaved Documents");
}

QString UnsavedDocuments::keep(const UnsavedDocument &document, QString *error, const QString &into) {
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return QString();
    };
    if (!makePrivateFolder(into))
        return fail(QStringLiteral("The folder “%1” cannot be made, or written.").arg(displayablePath(into)));
    // In the order kept, and never the name of another's: the time, a count
    // of this process's, and chance (another process keeps at the same
    // moment).
    static std::atomic<int> kept{0};
    const QString name = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) +
                         QStringLiteral("-%1-%2")
                             .arg(++kept, 4, 10, QLatin1Char('0'))
                             .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0')) +
                         QLatin1String(kSuffix);
    const QByteArray folder = nativePath(into);
    const QByteArray partial = join(folder, "." + nativePath(name) + kPartial);
    const QByteArray whole = join(folder, nativePath(name));
    QString reason;
    if (!writeHeldUntilWhole(partial, whole, encode(document), &reason))
        return fail(reason);
    syncFolder(folder);
    return pathFromNative(whole);
}

std::optional<UnsavedDocument> UnsavedDocuments::read(const QString &path, QString *error) {
    auto fail = [error](const QString &why) -> std::optional<UnsavedDocument> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    Descriptor descriptor(::open(nativePath(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!descriptor)
        return fail(QStringLiteral("It cannot be read: %1.").arg(systemError(errno)));
    struct stat info;
    if (::fstat(descriptor.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return fail(QStringLiteral("It is not a plain file."));
    QFile file;
    if (!file.open(descriptor.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return fail(QStringLiteral("It cannot be read: %1.").arg(file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("It cannot be read: %1.").arg(file.errorString()));
    return decode(bytes, error);
}

// --- Claims ------------------------------------------------------------------------------

UnsavedDocuments::Claim::Claim(const QString &folder) : m_folder(folder) {}

UnsavedDocuments::Claim::~Claim() {
    if (m_own.isEmpty())
        return;
    const QByteArray own = nativePath(m_own);
    for (const QByteArray &name : keptNames(own))
        giveBack({pathFromNative(join(own, name)), std::nullopt, QString()});
    // The lock goes first: a claim without one is one that ended.
    ::unlink(join(own, kLockName).constData());
    ::rmdir(own.constData());
    ::close(m_lock);
}

bool UnsavedDocuments::Claim::makeOwnFolder() {
    const QString claimed = m_folder + u'/' + kClaimed;
    if (!makePrivateFolder(claimed))
        return false;
    const QByteArray parent = nativePath(claimed);
    // Made under a hidden name and locked there, and only then given its
    // own: no other start ever sees it without its lock held. One that
    // took it meanwhile for a claim whose program ended (and removed it)
    // makes this one try another.
    for (int attempt = 0; attempt < 5; attempt++) {
        const QByteArray name = QSysInfo::machineHostName().toUtf8().left(64).replace('/', '_') + '-' +
                                QByteArray::number(::getpid()) + '-' +
                                QByteArray::number(QRandomGenerator::system()->generate(), 16);
        const QByteArray making = join(parent, kNewClaim + name);
        if (::mkdir(making.constData(), 0700) != 0)
            continue;
        Descriptor lock(
            ::open(join(making, kLockName).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (lock && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0 &&
            ::rename(making.constData(), join(parent, name).constData()) == 0) {
            m_own = pathFromNative(join(parent, name));
            m_lock = lock.release();
            return true;
        }
        if (lock)
            ::unlink(join(making, kLockName).constData());
        ::rmdir(making.constData());
    }
    qCWarning(lcPlatform).noquote()
        << QStringLiteral("No claim can be made in %1 on the documents kept: %2").arg(claimed, systemError(errno));
    return false;
}

void UnsavedDocuments::Claim::takeOverEndedClaims() {
    const QByteArray claimed = nativePath(m_folder + u'/' + kClaimed);
    const QByteArray own = nativePath(m_own);
    for (const QByteArray &name : folderNames(claimed)) {
        const QByteArray folder = join(claimed, name);
        if (folder == own)
            continue;
        const QByteArray lockPath = join(folder, kLockName);
        Descriptor lock(::open(lockPath.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
        if (lock ? ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0 : errno != ENOENT)
            continue;  // its program claims still (or it cannot be told)
        // Its program ended, or it was about to remove the folder, empty.
        const QList<QByteArray> names = keptNames(folder);
        for (const QByteArray &kept : names)
            ::rename(join(folder, kept).constData(), join(own, kept).constData());
        if (!names.isEmpty())
            qCInfo(lcPlatform).noquote() << QStringLiteral("%1 documents kept are taken over from %2, whose program "
                                                           "ended before it brought them back")
                                                .arg(names.size())
                                                .arg(pathFromNative(folder));
        if (lock)
            ::unlink(lockPath.constData());
        ::rmdir(folder.constData());
    }
}

QList<UnsavedDocuments::Claim::Entry> UnsavedDocuments::Claim::take() {
    QList<Entry> entries;
    const QByteArray folder = nativePath(m_folder);
    if (!pathStatus(m_folder, false).isDir)
        return entries;
    if (m_own.isEmpty() && !makeOwnFolder())
        return entries;
    takeOverEndedClaims();
    removeAbandonedPartials(folder);
    const QByteArray own = nativePath(m_own);
    // A rename takes the file, or finds it taken by another start.
    for (const QByteArray &name : keptNames(folder))
        ::rename(join(folder, name).constData(), join(own, name).constData());
    for (const QByteArray &name : keptNames(own)) {
        Entry entry{pathFromNative(join(own, name)), std::nullopt, QString()};
        entry.document = read(entry.path, &entry.problem);
        entries.append(entry);
    }
    return entries;
}

void UnsavedDocuments::Claim::release(const Entry &entry) {
    if (::unlink(nativePath(entry.path).constData()) != 0)
        qCWarning(lcPlatform).noquote() << QStringLiteral("The document kept in %1 is back, but its file stays: %2")
                                               .arg(entry.path, systemError(errno));
}

QString UnsavedDocuments::Claim::giveBack(const Entry &entry) {
    const QByteArray from = nativePath(entry.path);
    const QByteArray to = join(nativePath(m_folder), from.mid(from.lastIndexOf('/') + 1));
    if (::rename(from.constData(), to.constData()) != 0) {
        qCWarning(lcPlatform).noquote() << QStringLiteral("The document kept in %1 cannot go back to %2: %3")
                                               .arg(entry.path, m_folder, systemError(errno));
        return entry.path;
    }
    return pathFromNative(to);
}

}  // namespace platform
