// A file's tags, kept where desktop file managers keep them: the extended
// attribute "user.xdg.tags", a comma-separated list.
//
//   std::optional<QStringList> tags = FileTags::tags(path);  // nullopt: none to be had
//   FileTags::setTags(path, {"draft", "novel"});
//
// A file system without user extended attributes has no tags to read or
// write: tags() then gives nothing (not an empty list), so that callers can
// tell "no tags" from "tags unknown".
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

class FileTags {
public:
    static constexpr char kAttribute[] = "user.xdg.tags";

    // The file's tags (an empty list when it has none); nothing when the file
    // cannot be read or its file system keeps no user attributes.
    static std::optional<QStringList> tags(const QString &path);
    // Replaces the file's tags; an empty list removes the attribute. False,
    // with the reason in `error`, when they cannot be written.
    static bool setTags(const QString &path, const QStringList &tags, QString *error = nullptr);
    // Whether the file's file system keeps user attributes.
    static bool supported(const QString &path);

    // The attribute's text and back: blanks around each tag are dropped, and
    // so are empty tags and repeated ones.
    static QStringList parse(const QByteArray &value);
    static QByteArray format(const QStringList &tags);

    // What copyAttributes() could not give the new file.
    struct Copied {
        bool userAttributes = true;
        bool accessList = true;
    };
    // Gives the open file `toDescriptor` what the open file `fromDescriptor`
    // keeps in extended attributes, so that a file replaced by a new one
    // keeps them: every user attribute (tags, and whatever else other
    // programs keep there) and its access list, or no access list when the
    // old file has none (a new file may have taken one from its folder,
    // which would let others in). They are read from the old file itself,
    // never from its name, which a link may have taken meanwhile; a
    // descriptor that only names the file (O_PATH: the user may not read
    // it) is read through its entry in /proc. What could not be read or
    // what the target refused is said in the answer.
    static Copied copyAttributes(int fromDescriptor, int toDescriptor);
};

}  // namespace platform
