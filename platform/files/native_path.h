// Paths as the file system knows them: bytes. A Linux file name is any bytes
// but "/" and NUL; one that is not UTF-8 (a name from an older system, from
// an archive, from a Latin-1 machine) is a file like any other, and the
// program must open, show, save, trash and reveal it.
//
// Qt turns such bytes into U+FFFD, which names another file (or none), and
// its directory listings leave such files out. Here the bytes that are not
// UTF-8 are kept in the string, each as one of U+DC80..U+DCFF (a lone low
// surrogate, which UTF-8 text never decodes to), so that nativePath() gives
// back the exact bytes:
//
//   const QString path = pathFromNative("/home/ann/caf\xe9.md");
//   nativePath(path) == "/home/ann/caf\xe9.md"
//
// For UTF-8 names both are QFile::decodeName() and QFile::encodeName().
// Qt's file classes (QFile, QFileInfo, QSaveFile) name files by
// QFile::encodeName(), so a path that isNativeOnly() must reach the file
// system through the calls below (or through a file descriptor).
//
// Any thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <QStringView>

#include <optional>

class QFile;

namespace platform {

// The bytes that name `path` on disk.
QByteArray nativePath(QStringView path);
// The path that bytes from the disk name; nativePath() gives them back.
QString pathFromNative(QByteArrayView bytes);
// Whether Qt's file classes would name another file than `path` (bytes in
// it that are not UTF-8).
bool isNativeOnly(QStringView path);
// The path to show people: the bytes that are not UTF-8 as U+FFFD.
QString displayablePath(QStringView path);

// What is at a path (links followed unless said otherwise).
struct PathStatus {
    bool exists = false;
    bool isDir = false;
    bool isFile = false;  // a regular file
    bool isSymLink = false;
    qint64 size = 0;
    QDateTime lastModified;
};
PathStatus pathStatus(const QString &path, bool followLinks = true);

// Opens `file` on the file at `path` (for reading or writing, never
// creating it); false, with the reason in `error`, when it cannot be.
bool openFile(QFile &file, const QString &path, QIODevice::OpenMode mode, QString *error = nullptr);

// The path with its links and "." and ".." resolved; empty when it does not
// name an existing file.
QString canonicalPath(const QString &path);
// The same for a path as its bytes; none when it names nothing.
std::optional<QByteArray> canonicalNativePath(const QByteArray &path);

}  // namespace platform
