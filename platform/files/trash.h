// The user's trash as the desktops share it (the freedesktop.org trash
// layout): a trash folder holds "files/", the trashed items under their trash
// names, and "info/", one "NAME.trashinfo" per item saying where it came from
// and when, so that the desktop's trash can list the items and put them back.
//
// An item goes into the trash of its own file system, by a rename and never
// by a copy: the home trash (the user's data folder's "Trash") when it lies on
// the same file system as the item, else the trash at the top of the item's
// file system ("$top/.Trash/$uid" when "$top/.Trash" is a sticky folder,
// else "$top/.Trash-$uid"). When there is no such trash, nothing is moved.
//
//   QString error;
//   if (!platform::Trash::moveToTrash("/home/ann/notes/old.md", nullptr, &error))
//       ... error says why
#pragma once

#include <QDateTime>
#include <QString>

namespace platform {

class Trash {
public:
    // Moves the item at `path` (a file, a folder with all it holds, or a
    // symbolic link, never what a link leads to) into its trash; on success
    // `trashedPath` receives where it now is. False, with the reason in
    // `error`, when nothing was moved.
    static bool moveToTrash(const QString &path, QString *trashedPath = nullptr, QString *error = nullptr);

    // The home trash: "Trash" in the user's data folder.
    static QString homeTrash();

    // The trash at the top of a file system whose top folder is `top`, for
    // the user running the program: "$top/.Trash/$uid" when "$top/.Trash" is
    // a folder (not a link) with the sticky bit, else "$top/.Trash-$uid".
    // The folder is made when missing; an empty string when it cannot be
    // made or is not a folder of this user's.
    static QString topTrash(const QString &top);

    // What "info/NAME.trashinfo" holds for an item that was at `path` (an
    // absolute path, or for a top trash one relative to the top folder) and
    // was trashed at `when`.
    static QByteArray trashInfo(const QString &path, const QDateTime &when);
};

}  // namespace platform
