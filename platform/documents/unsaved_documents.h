// Documents whose text is in no file, kept when the program ends without
// asking (a terminating signal: the session ends) for the next start to
// bring back: an untitled document, and the edits of a document that does
// not save in place by itself. Each is one file of its own in folder(),
// named for when it was kept (and so brought back in that order):
//
//   <state folder>/Tessaro Orvane 4/Unsaved Documents/
//       20250102-131415-123-0001-5f3a9c1e.orvane-unsaved
//
// A line that names the format; a line of JSON: the document's file (the
// bytes of its path), its type, its display name, the hash of the bytes it
// last knew in the file, and the lengths and hash of what follows; then the
// editor's text and the text of the file the edits were made on, both
// UTF-8. So a file cut short or damaged is told from a whole one. It is
// written under a hidden name, put on the disk, and only then takes its
// own name (one rename): a kill while it is written never leaves half a
// document to be taken for a whole one. Its writer holds the hidden file
// locked (flock) until it has its own name, so the half one such a kill
// leaves is told from one being written: a start removes it as it claims.
// The folder and the files are the user's alone.
//
// Bringing them back, a start claims them first, so that two programs of
// the user's starting at once never both do: each renames the files into a
// folder of its own under "Claimed", which it holds locked (flock) until it
// is done with them; a rename either takes a file or finds it gone. A
// folder whose lock nobody holds is a claim whose program ended before it
// was done (the system lets a lock go however a process ends): its files
// are taken over. A file brought back into a window goes (release()); one
// that cannot be read, or not brought back, goes back among those kept
// (giveBack()), where each later start finds it again. Nothing here
// removes a file it could not read.
//
// Any thread, one claim at a time per object.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace platform {

struct UnsavedDocument {
    QByteArray text;   // the editor's text, UTF-8
    QString filePath;  // the document's file; empty for an untitled one
    QString fileType;
    QString displayName;
    int untitledNumber = 0;
    // The document's file as it last read or wrote it (nothing for an
    // untitled one): the text the edits were made on, as the editor holds
    // it, and the hash of the file's bytes, which tells whether another
    // program changed the file since.
    QByteArray base;
    QByteArray contentHash;
    bool operator==(const UnsavedDocument &) const = default;
};

class UnsavedDocuments {
public:
    // Where they are kept: a folder of the program's in the user's state
    // folder.
    static QString folder();
    // The name a kept document's file ends in.
    static constexpr char kSuffix[] = ".orvane-unsaved";

    // Keeps `document` in `into` (made when missing): the path of its
    // file, on the disk when this returns; empty, with the reason in
    // `error`, when it could not be written (nothing is left half written
    // under a kept document's name).
    static QString keep(const UnsavedDocument &document, QString *error = nullptr, const QString &into = folder());
    // The document kept in the file at `path`; nothing, with the reason in a
    // sentence for the user, when it cannot be read or is not whole.
    static std::optional<UnsavedDocument> read(const QString &path, QString *error = nullptr);

    // This process's claim on the documents kept in a folder. Its own folder
    // goes when it does; whatever it still holds then goes back among those
    // kept.
    class Claim {
    public:
        explicit Claim(const QString &folder = UnsavedDocuments::folder());
        ~Claim();
        Claim(const Claim &) = delete;
        Claim &operator=(const Claim &) = delete;

        struct Entry {
            QString path;  // where the file is now (in the claim's folder)
            std::optional<UnsavedDocument> document;
            QString problem;  // why it could not be read, when it could not
        };
        // Claims every document kept, those of claims whose program ended
        // among them, and reads each; oldest first. None when the folder
        // does not exist, or no claim can be made (the reason is logged).
        // The hidden files of documents whose writer was killed before they
        // were whole go; those being written stay.
        QList<Entry> take();
        // The document is back: its file goes.
        void release(const Entry &entry);
        // Puts the file back among those kept; its path there (where it is
        // when it could not be moved).
        QString giveBack(const Entry &entry);

    private:
        bool makeOwnFolder();
        void takeOverEndedClaims();

        QString m_folder;
        QString m_own;  // this claim's folder; empty until made
        int m_lock = -1;
    };
};

}  // namespace platform
