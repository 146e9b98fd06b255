// Handing things to the user's other applications: the one place that decides
// which URLs may leave the program, and opens them.
//
// Only these leave: web pages (http, https), new mail (mailto) that names no
// file of this machine to attach or insert, and local files that are
// documents: regular files (after following links), with no execute
// permission for anyone, not starting with an interpreter line ("#!"), and
// neither by their name nor by their content of a kind that some desktop
// runs, installs or lets run code (executables, shared libraries, launchers
// and shortcuts, installers and packages, scripts, macro-enabled office
// documents). Everything else is refused and logged, whatever asked for it:
// a link in the preview, a file in a project list.
//
// The desktop's opener (xdg-open) is run as a process of its own and
// watched: it may take its time (a browser started in the foreground) and
// only its exit status says whether it opened anything, so what it did is
// learnt when it ends, never waited for. It runs in a session of its own and
// outlives the program, as what it opened does. Without xdg-open, Qt's
// opener is asked, which answers at once.
//
// The commands that open a page or a folder for the user tell them, in an
// alert, when it could not be opened, with the address or the folder's path
// to open by hand:
//
//   Workspace::openExternallyOrTell(page, "The page “Knowledge Base”");
//   Workspace::openFolderOrTell(themes, "The Themes folder");
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace platform {

class Workspace {
public:
    enum class Target { Refused, Web, Mail, Document };

    // What `url` is, as far as opening it outside goes. A file is looked at on
    // disk each time: a missing file is refused.
    static Target classify(const QUrl &url);
    static bool canOpenExternally(const QUrl &url) { return classify(url) != Target::Refused; }
    // Why `url` is refused, as the end of a sentence for the user ("there is
    // no such file."); empty when it is not refused.
    static QString refusal(const QUrl &url);

    // Opens `url` with the user's default application when classify() allows
    // it; returns whether it was handed over. A refusal is logged once per
    // call, and so is an opener that ends in failure.
    static bool openExternally(const QUrl &url);
    // The same, and `failed` runs on the main thread when `url` could not be
    // opened: at once (refused, no opener could be started) or once the
    // opener ends in failure.
    static bool openExternally(const QUrl &url, std::function<void()> failed);
    // Opens `url` and, when it could not be opened, says so in an alert that
    // names `what` ("The page “Knowledge Base”") and gives the address.
    // Returns whether it was handed over.
    static bool openExternallyOrTell(const QUrl &url, const QString &what);
    // Shows the folder at `path` in the user's file manager (a folder the
    // program chose: classify() refuses folders) and, when it could not be
    // shown (it is no folder, or no file manager opened it), says so in an
    // alert that names `what` ("The Themes folder") and gives its path.
    static void openFolderOrTell(const QString &path, const QString &what);
    // The alert that says `what` could not be opened, at `where` (an address
    // or a folder's path; none when `reason` says it); `reason` is a
    // sentence on why.
    static void tellNotOpened(const QString &what, const QString &where, const QString &reason);

    // Replaces the desktop's opener (tests); an empty function restores it.
    // The allowlist still decides before the opener is called.
    static void setOpenerForTesting(std::function<bool(const QUrl &)> opener);
};

}  // namespace platform
