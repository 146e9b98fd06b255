#include "platform/documents/file_tags.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <sys/xattr.h>

#include "platform/runtime/log.h"
#include "platform/files/native_path.h"

namespace platform {

namespace {

QByteArray encoded(const QString &path) { return nativePath(path); }

bool unsupported(int error) { return error == ENOTSUP || error == EOPNOTSUPP; }

// The value of one attribute, as `get` reads it (`get(name, buffer, size)`,
// the size it needs with no buffer); nothing with errno set on failure
// (ENODATA when the file has no such attribute).
template <typename Get>
std::optional<QByteArray> attributeBy(const Get &get, const char *name) {
    for (int attempt = 0; attempt < 4; attempt++) {
        const ssize_t size = get(name, nullptr, 0);
        if (size < 0)
            return std::nullopt;
        QByteArray value(qsizetype(size), '\0');
        const ssize_t got = get(name, value.data(), size_t(value.size()));
        if (got >= 0) {
            value.truncate(qsizetype(got));
            return value;
        }
        if (errno != ERANGE)  // ERANGE: it grew meanwhile, ask again
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QByteArray> attribute(const QByteArray &path, const char *name) {
    return attributeBy([&](const char *n, void *v, size_t s) { return getxattr(path.constData(), n, v, s); }, name);
}

// The attributes of an open file. A descriptor that only names its file
// (O_PATH) has no attributes of its own to give: its entry in /proc leads
// to that very file, and is read instead.
class OpenFileAttributes {
public:
    explicit OpenFileAttributes(int descriptor) : m_descriptor(descriptor) {
        std::snprintf(m_entry, sizeof m_entry, "/proc/self/fd/%d", descriptor);
    }
    ssize_t get(const char *name, void *value, size_t size) const {
        const ssize_t got = fgetxattr(m_descriptor, name, value, size);
        return got < 0 && errno == EBADF ? getxattr(m_entry, name, value, size) : got;
    }
    ssize_t list(char *names, size_t size) const {
        const ssize_t got = flistxattr(m_descriptor, names, size);
        return got < 0 && errno == EBADF ? listxattr(m_entry, names, size) : got;
    }
    std::optional<QByteArray> attribute(const char *name) const {
        return attributeBy([this](const char *n, void *v, size_t s) { return get(n, v, s); }, name);
    }

private:
    int m_descriptor;
    char m_entry[64];
};

}  // namespace

QStringList FileTags::parse(const QByteArray &value) {
    QStringList tags;
    for (const QString &part : QString::fromUtf8(value).split(u',')) {
        const QString tag = part.trimmed();
        if (!tag.isEmpty() && !tags.contains(tag))
            tags << tag;
    }
    return tags;
}

QByteArray FileTags::format(const QStringList &tags) {
    QStringList kept;
    for (const QString &tag : tags) {
        // A comma inside a tag would split it in two when read back.
        const QString clean = QString(tag).replace(u',', u' ').trimmed();
        if (!clean.isEmpty() && !kept.contains(clean))
            kept << clean;
    }
    return kept.join(u',').toUtf8();
}

std::optional<QStringList> FileTags::tags(const QString &path) {
    const std::optional<QByteArray> value = attribute(encoded(path), kAttribute);
    if (value)
        return parse(*value);
    if (errno == ENODATA)
        return QStringList();
    return std::nullopt;
}

bool FileTags::setTags(const QString &path, const QStringList &tags, QString *error) {
    const QByteArray file = encoded(path);
    const QByteArray value = format(tags);
    int result;
    if (value.isEmpty()) {
        result = removexattr(file.constData(), kAttribute);
        if (result < 0 && errno == ENODATA)
            result = 0;
    } else {
        result = setxattr(file.constData(), kAttribute, value.constData(), size_t(value.size()), 0);
    }
    if (result == 0)
        return true;
    if (error)
        *error = unsupported(errno) ? QStringLiteral("the file system keeps no tags")
                                    : QString::fromLocal8Bit(strerror(errno));
    return false;
}

bool FileTags::supported(const QString &path) {
    const QByteArray file = encoded(path);
    if (getxattr(file.constData(), kAttribute, nullptr, 0) >= 0)
        return true;
    return errno == ENODATA;
}

FileTags::Copied FileTags::copyAttributes(int fromDescriptor, int toDescriptor) {
    static constexpr char kAccessList[] = "system.posix_acl_access";
    Copied copied;
    const OpenFileAttributes from(fromDescriptor);
    if (const std::optional<QByteArray> list = from.attribute(kAccessList)) {
        copied.accessList = fsetxattr(toDescriptor, kAccessList, list->constData(), size_t(list->size()), 0) == 0;
    } else if (errno == ENODATA || unsupported(errno)) {
        copied.accessList = fremovexattr(toDescriptor, kAccessList) == 0 || errno == ENODATA || unsupported(errno);
    } else {
        copied.accessList = false;
    }
    ssize_t size = from.list(nullptr, 0);
    if (size < 0) {
        copied.userAttributes = unsupported(errno);
        return copied;
    }
    std::vector<char> names(size_t(size) + 1, '\0');
    size = from.list(names.data(), names.size() - 1);
    if (size < 0) {
        copied.userAttributes = false;
        return copied;
    }
    for (const char *name = names.data(); name < names.data() + size; name += strlen(name) + 1) {
        if (strncmp(name, "user.", 5) != 0)
            continue;
        const std::optional<QByteArray> value = from.attribute(name);
        if (!value || fsetxattr(toDescriptor, name, value->constData(), size_t(value->size()), 0) < 0) {
            qCDebug(lcPlatform, "the attribute %s is not kept: %s", name, strerror(errno));
            copied.userAttributes = false;
        }
    }
    return copied;
}

}  // namespace platform
