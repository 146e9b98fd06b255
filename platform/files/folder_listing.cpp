#include "platform/files/folder_listing.h"
#include "platform/files/native_path.h"
#include "platform/text/text_search.h"

#include <QCollator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QVariantList>

#include <algorithm>

#include <cerrno>

#include <dirent.h>
#include <sys/stat.h>

namespace platform {

QVariantMap FileEntry::toVariantMap() const {
    QVariantMap map{
        {QStringLiteral("label"), label},
        {QStringLiteral("isDirectory"), isDirectory},
        {QStringLiteral("modDate"), modDate},
        {QStringLiteral("path"), path},
        {QStringLiteral("relativePath"), relativePath},
        {QStringLiteral("parentPath"), parentPath},
    };
    if (!children.empty()) {
        QVariantList list;
        list.reserve(qsizetype(children.size()));
        for (const FileEntry &child : children)
            list.append(child.toVariantMap());
        map.insert(QStringLiteral("children"), list);
    }
    return map;
}

bool visibleEntries(const QByteArray &folder, std::vector<FolderEntry> &entries, int *error) {
    entries.clear();
    DIR *dir = opendir(folder.constData());
    if (!dir) {
        if (error)
            *error = errno;
        return false;
    }
    const QByteArray prefix = folder.endsWith('/') ? folder : folder + '/';
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        FolderEntry found{QByteArray(entry->d_name), entry->d_type == DT_DIR};
        if (entry->d_type == DT_UNKNOWN) {  // some file systems do not say
            struct stat info;
            found.isFolder = lstat((prefix + found.name).constData(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back(std::move(found));
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry &a, const FolderEntry &b) { return a.name < b.name; });
    return true;
}

namespace {

struct Folder {
    QByteArray path;
    std::vector<FolderEntry> entries;
    size_t next = 0;
};

QDateTime modificationDate(const struct stat &info) {
    return QDateTime::fromMSecsSinceEpoch(qint64(info.st_mtim.tv_sec) * 1000 +
                                          info.st_mtim.tv_nsec / 1000000);
}

}  // namespace

std::vector<FileEntry> listFolder(const QString &folder, FileSort sort) {
    std::vector<FileEntry> files;
    // Entries carry resolved paths, so "relativePath" is measured from the
    // resolved folder too: a link in the folder's own path must not shift it.
    const QString base = canonicalPath(folder);
    if (base.isEmpty())
        return files;
    const qsizetype cut = base.endsWith(u'/') ? base.size() - 1 : base.size();

    // Folders waiting to be finished; each folder's contents follow it.
    std::vector<Folder> open;
    auto enter = [&open](QByteArray path) {
        Folder folder{std::move(path), {}, 0};
        visibleEntries(folder.path, folder.entries);  // unreadable: nothing of its own
        open.push_back(std::move(folder));
    };
    enter(nativePath(base));
    while (!open.empty()) {
        Folder &top = open.back();
        if (top.next == top.entries.size()) {
            open.pop_back();
            continue;
        }
        const QByteArray &name = top.entries[top.next++].name;
        const QByteArray path = top.path.endsWith('/') ? top.path + name : top.path + '/' + name;
        struct stat own, target;
        if (lstat(path.constData(), &own) != 0)
            continue;  // gone since the folder was read
        const bool isLink = S_ISLNK(own.st_mode);
        // A link is described by what it points at, if that exists.
        const struct stat &info = isLink && stat(path.constData(), &target) == 0 ? target : own;

        FileEntry entry;
        // The name as people read it; the paths keep the bytes on disk, so a
        // name that is not UTF-8 still names its file.
        entry.label = QFile::decodeName(name);
        entry.isDirectory = S_ISDIR(info.st_mode);
        entry.modDate = modificationDate(info);
        entry.path = pathFromNative(path);
        entry.relativePath = entry.path.mid(cut);
        entry.parentPath = pathFromNative(top.path);
        files.push_back(std::move(entry));
        if (S_ISDIR(own.st_mode))
            enter(path);  // invalidates `top`
    }
    sortFiles(files, sort);
    return files;
}

void sortFiles(std::vector<FileEntry> &files, FileSort sort) {
    switch (sort) {
    case FileSort::FileSystem:
        return;
    case FileSort::Newest:
    case FileSort::Oldest: {
        const bool newest = sort == FileSort::Newest;
        std::stable_sort(files.begin(), files.end(), [newest](const FileEntry &a, const FileEntry &b) {
            return newest ? b.modDate < a.modDate : a.modDate < b.modDate;
        });
        return;
    }
    case FileSort::Alphabetical:
    case FileSort::ReverseAlphabetical: {
        // The user's language orders the names; folding the case first keeps
        // case out of it even where the collator would not (the C locale).
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::vector<std::pair<QCollatorSortKey, size_t>> keys;  // one per entry
        keys.reserve(files.size());
        for (size_t i = 0; i < files.size(); i++)
            keys.emplace_back(collator.sortKey(files[i].label.toCaseFolded()), i);
        const bool reverse = sort == FileSort::ReverseAlphabetical;
        std::stable_sort(keys.begin(), keys.end(), [reverse](const auto &a, const auto &b) {
            return reverse ? b.first.compare(a.first) < 0 : a.first.compare(b.first) < 0;
        });
        std::vector<FileEntry> sorted;
        sorted.reserve(files.size());
        for (const auto &key : keys)
            sorted.push_back(std::move(files[key.second]));
        files = std::move(sorted);
        return;
    }
    }
}

std::vector<FileEntry> fileHierarchy(const std::vector<FileEntry> &flat) {
    constexpr size_t kNone = size_t(-1);
    QHash<QString, size_t> indexOfPath;
    for (size_t i = 0; i < flat.size(); i++)
        indexOfPath.insert(flat[i].path, i);
    std::vector<std::vector<size_t>> kids(flat.size());
    std::vector<size_t> tops;
    for (size_t i = 0; i < flat.size(); i++) {
        const size_t parent = indexOfPath.value(flat[i].parentPath, kNone);
        // A parent's path is shorter than its child's, which also keeps
        // inconsistent entries from hanging in a loop.
        if (parent != kNone && flat[parent].path.size() < flat[i].path.size())
            kids[parent].push_back(i);
        else
            tops.push_back(i);
    }
    // Depth is bounded by the length of a path.
    auto build = [&](auto &self, size_t i) -> FileEntry {
        FileEntry entry = flat[i];
        entry.children.clear();
        entry.children.reserve(kids[i].size());
        for (size_t kid : kids[i])
            entry.children.push_back(self(self, kid));
        return entry;
    };
    std::vector<FileEntry> tree;
    tree.reserve(tops.size());
    for (size_t top : tops)
        tree.push_back(build(build, top));
    return tree;
}

std::vector<FileEntry> filesMatchingQuery(const std::vector<FileEntry> &flat,
                                          const QString &query) {
    const QString needle = foldedForSearch(query);
    std::vector<bool> keep(flat.size(), false);
    QSet<QString> parents;
    for (size_t i = 0; i < flat.size(); i++) {
        if (foldedForSearch(flat[i].relativePath).contains(needle)) {
            keep[i] = true;
            parents.insert(flat[i].parentPath);
        }
    }
    std::vector<FileEntry> found;
    QSet<QString> taken;  // a listing holds one entry per path
    for (size_t i = 0; i < flat.size(); i++) {
        if ((keep[i] || parents.contains(flat[i].path)) && !taken.contains(flat[i].path)) {
            taken.insert(flat[i].path);
            found.push_back(flat[i]);
        }
    }
    return found;
}

}  // namespace platform
