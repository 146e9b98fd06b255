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
    // call.
    static bool openExternally(const QUrl &url);

    // Replaces the desktop's opener (tests); an empty function restores it.
    // The allowlist still decides before the opener is called.
    static void setOpenerForTesting(std::function<bool(const QUrl &)> opener);
};

}  // namespace platform
