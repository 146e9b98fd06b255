// Writing a file so that neither its old bytes nor its new ones are ever
// lost, and so that it stays the file it was: its names, its owner and
// group, its permissions, its access list and its user attributes (tags
// among them).
//
// Mostly the bytes go to a new file beside the old one, reach the disk, and
// take its place in one rename: the file is never seen half written, and a
// write that fails at any step leaves the old file as it was. The new file
// is given what the old one had besides its bytes. Where the old file was,
// the two trade names, and the file that left the place must be the one
// found: another program's version renamed there meanwhile goes back, and
// nothing is written. The new file is hidden, named for the file and for
// the program (".NAME.orvane-save-" and twelve letters), and locked while
// the save runs; one that a save cut short leaves is found when the file is
// opened next (clearSavesLeftBeside()).
//
// Where a new file cannot be the old one's equal, the bytes are written into
// the old file itself: a file with other names (hard links), which a new file
// would part from them; a file whose owner, group, access list or attributes
// a new file cannot have (another user's file, a group the user is not in);
// a file in a folder that takes no new file. Before the file is touched, the
// bytes being written and its old bytes are each copied to the disk, into a
// folder of the user's own (unfinishedSavesFolder()), and they go once the
// file holds the new bytes. A write that fails in between puts the old
// bytes back; a crash in between leaves both copies, which unfinishedSaves()
// finds. While it is written there, another program reading the file may
// see it half written.
//
// Only where neither way keeps the file as it was does the write make a new
// file that gives nobody more access than before: its group may then do no
// more with it than everybody may, and the write's report says what changed.
// A file with other names that cannot be written in place is not written.
//
// A symbolic link is followed, in every component of the path: the file it
// leads to is written, and the link stays a link. What stands at the place
// found is never followed again while it is written, so a link put there
// meanwhile is not written through: the old file is opened once it is found,
// and what it is and what it keeps besides its bytes are read from it, never
// again by its name; the file written says what it is before it takes the
// old one's place. A link that takes the place after that is the next
// write's to find.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "platform/documents/file_presenter.h"

namespace platform {

// What a write did besides writing the bytes.
struct WriteReport {
    bool inPlace = false;  // into the same file, after the safe copies
    // Sentences for the user on what the file could not keep (who may use
    // it, its attributes); empty when it kept everything.
    QString notKept;
    // The file written, as it was once its bytes were on the disk: its
    // state read from the file itself, whatever its place holds by the time
    // the write is reported.
    FileState written;
};

// False, with a sentence for the user in `error`, when the file could not be
// written; the old file is then as it was.
bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error = nullptr,
                         WriteReport *report = nullptr);

// The place a write of `path` lands: the path with the links of every
// component followed, the last one's too (a chain of them; a loop ends where
// it began to repeat). The file there need not exist.
QString realWritePath(const QString &path);

// Writes at `target`, a place realWritePath() gave: into the folder that is
// that place now, never through a link at its name (one put there since is
// refused).
bool writeFileAtRealPath(const QString &target, const QByteArray &data, QString *error = nullptr,
                         WriteReport *report = nullptr);

// Writes `data` into a new file at `path`, made for it: never over a file,
// nor through a link, that stands there (false, errno EEXIST). The file is
// the user's alone, and on the disk once this answers true.
bool writeNewFile(const QString &path, const QByteArray &data, QString *error = nullptr);

// Opens the file at `target`, a place realWritePath() gave, for reading, as
// a write finds it: in the folder that is that place now, never through a
// link at its name. -1 with errno otherwise (ELOOP for a link at its name,
// or one that took a folder's place on the way).
int openAtRealPath(const QString &target);

// --- Writes in place that did not finish -----------------------------------------------

// Where the copies of a write in place are kept while it runs.
QString unfinishedSavesFolder();

// The copies a write in place into the file at `target` (a real path) left:
// a crash stopped it before it was done.
struct UnfinishedSave {
    QString record;  // the folder holding the copies
    QString before;  // the copy of the file's old bytes; empty when not made
    QString after;   // the copy of the bytes being written; empty when not made
};
QList<UnfinishedSave> unfinishedSaves(const QString &target);
// Removes the copies.
void removeUnfinishedSave(const UnfinishedSave &save);

// --- New files of saves cut short -------------------------------------------------------

// A save cut short (the program killed, the machine stopped) after it made
// its new file beside the file, before that file took the file's place or
// went, leaves it there, hidden: the text being saved, whole or only its
// beginning, or, cut short just after the two traded names, the file's old
// text. Looks at those beside the file at `target` (a real path), whose
// bytes are `current` now: one that holds exactly those bytes holds nothing
// the file lacks, and is removed; the paths of the others are returned, for
// the user to be told (a text that is the file's beginning, or the file's
// with more, may still be the newest). Nothing else is touched: only a
// plain file (never a link) named as a save of that file names its new
// file, of this user's or the file's owner's, that no save under way holds.
QStringList clearSavesLeftBeside(const QString &target, const QByteArray &current);

// The steps of a write in place, in order. A hook called at each lets a test
// stop a write there, as a crash would.
enum class InPlaceStep {
    Copying,  // the record begun: the file's name written, no copy yet
    Copied,   // both copies on the disk, the file not touched yet
    Writing,  // the file's first part written, the rest not
    Written,  // the file holds the new bytes, the copies not removed yet
};
using InPlaceStepHook = void (*)(InPlaceStep);
void setInPlaceStepHook(InPlaceStepHook hook);

// The steps of a write, and of a read at a real path, that come after the
// file at the place was looked at: a hook called at each lets a test change
// what stands there (put a link in the file's place, and take it away) and
// see that the write or read keeps to the file it found. No hook: nothing.
enum class FileStep {
    Creating,        // the old file found and opened, the new file not made yet
    Renaming,        // the new file written and on the disk, not in the old one's place yet
    WritingInPlace,  // the old file found, not opened yet to be written where it is
    Written,         // the file written (in the old one's place, or the old one itself), not reported yet
    Reading,         // the place of a file to read checked, the file not opened yet
};
using FileStepHook = void (*)(FileStep);
void setFileStepHook(FileStepHook hook);

}  // namespace platform
