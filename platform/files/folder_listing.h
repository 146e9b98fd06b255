// Folders listed as file entries, the rows of project windows and of the
// file navigator: flat in a chosen order, hung into a tree, or searched.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariantMap>

#include <vector>

namespace platform {

// One file or folder found below a listed folder.
struct FileEntry {
    QString label;             // "label": the item's name
    bool isDirectory = false;  // "isDirectory" (a link to a folder counts as one)
    QDateTime modDate;         // "modDate": the content's last modification
    QString path;              // "path": full path, symbolic links of the listed folder resolved
    QString relativePath;      // "relativePath": below the listed folder, beginning with "/"
    QString parentPath;        // "parentPath": `path` without its last component
    // "children": filled only in a tree, only on folders that received one.
    std::vector<FileEntry> children;

    bool operator==(const FileEntry &other) const = default;

    // The entry as a dictionary with the keys above ("children" only when
    // there are some, each child a dictionary too).
    QVariantMap toVariantMap() const;
};

// One entry read from a folder.
struct FolderEntry {
    QByteArray name;
    bool isFolder = false;  // a folder itself, not a link to one
};

// The entries of `folder` whose names do not begin with "." (hidden ones,
// and "." and ".."), in byte order of their names. False, with the errno of
// the refusal in `*error`, when the folder cannot be read.
bool visibleEntries(const QByteArray &folder, std::vector<FolderEntry> &entries, int *error = nullptr);

enum class FileSort {
    FileSystem,           // folder by folder, names in byte order
    Newest,               // "modDate", latest first
    Oldest,               // "modDate", earliest first
    Alphabetical,         // "label", ignoring case, in the user's language
    ReverseAlphabetical,  // "label", the other way round
};

// Every item below `folder` at any depth, hidden ones (names beginning with
// ".") left out and hidden folders not entered; each folder comes right
// before its contents, then sorted by `sort` (a stable sort). Symbolic links
// are listed but never entered. A folder that cannot be read gives nothing
// of its own; one that does not exist gives an empty list.
std::vector<FileEntry> listFolder(const QString &folder, FileSort sort = FileSort::FileSystem);

void sortFiles(std::vector<FileEntry> &files, FileSort sort);

// The entries whose parent is in the list hung under it, in the list's
// order; the others at the top, also in order.
std::vector<FileEntry> fileHierarchy(const std::vector<FileEntry> &flat);

// The entries whose "relativePath" holds `query`, ignoring case and
// diacritics, together with the direct parent folder of each, every path
// once and in the order of `flat`.
std::vector<FileEntry> filesMatchingQuery(const std::vector<FileEntry> &flat,
                                          const QString &query);

}  // namespace platform
