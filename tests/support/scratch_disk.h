// Folders where writes fail the way they fail for users: a small file system
// that fills up, and one that is read-only. Both are a tmpfs mounted on a
// temporary folder, which needs the right to mount (root, as CI runs);
// elsewhere mounted() is false and the tests take another way: a folder
// without write permission, or a file-size limit (setrlimit) in a child
// process.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <functional>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_qt {

class ScratchDisk {
public:
    explicit ScratchDisk(qint64 bytes) : m_options("size=" + QByteArray::number(bytes)) {
        const QByteArray where = QFile::encodeName(m_dir.path());
        m_mounted = mount("tmpfs", where.constData(), "tmpfs", 0, m_options.constData()) == 0;
    }
    ~ScratchDisk() {
        if (m_mounted)
            umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    ScratchDisk(const ScratchDisk &) = delete;
    ScratchDisk &operator=(const ScratchDisk &) = delete;

    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }

    // Makes the whole file system read-only: root cannot write there either.
    bool makeReadOnly() {
        const QByteArray where = QFile::encodeName(m_dir.path());
        return m_mounted &&
               mount("tmpfs", where.constData(), nullptr, MS_REMOUNT | MS_RDONLY, m_options.constData()) == 0;
    }

    // Makes it writable again, as it was.
    bool makeWritable() {
        const QByteArray where = QFile::encodeName(m_dir.path());
        return m_mounted && mount("tmpfs", where.constData(), nullptr, MS_REMOUNT, m_options.constData()) == 0;
    }

    // Fills the file system until at most `left` bytes are free.
    bool fill(qint64 left) {
        QFile filler(path() + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return false;
        const QByteArray block(4096, 'x');
        for (;;) {
            if (filler.write(block) != block.size())
                break;
            if (!filler.flush())
                break;
            if (freeBytes() <= left)
                break;
        }
        return true;
    }

    qint64 freeBytes() const {
        struct statvfs info;
        if (statvfs(QFile::encodeName(path()).constData(), &info) != 0)
            return -1;
        return qint64(info.f_bavail) * qint64(info.f_frsize);
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_options;
    bool m_mounted = false;
};

// Runs `write` in a child process whose files may grow to `limit` bytes at
// most (beyond it a write fails with EFBIG); the child's exit status is 0
// when `write` answered true. -1 when the child could not be made.
inline int runWithFileSizeLimit(qint64 limit, const std::function<bool()> &write) {
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        struct rlimit bound = {rlim_t(limit), rlim_t(limit)};
        setrlimit(RLIMIT_FSIZE, &bound);
        signal(SIGXFSZ, SIG_IGN);
        _exit(write() ? 0 : 1);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace testing_qt

