// The program's own URL scheme, "orvane:", from which its web views take the
// pages they show and what those pages show of this machine. A page never has
// a file: address, and its address tells nothing of the user's folders.
//
// - orvane://SITE/FOLDER/NAME is a page: SITE a random name for each web view
//   (its PageSite), FOLDER as many empty segments as the document's folder
//   lies deep (page_site.h), NAME the name of the document the page stands
//   for. The page's text comes from the program itself, with a
//   Content-Security-Policy at its start (see contentSecurityPolicy()).
// - orvane://SITE/FOLDER/PATH is the file at PATH below the document's
//   folder, which is what relative references of the document come to;
//   what they name above the folder is never served. What a page shows
//   of the folder (pictures, style sheets, sound and video) reaches it
//   through a file: address of the folder that names no folder of the user's
//   (/proc/self/fd/N/PATH, N a descriptor of the folder the program holds
//   open), so that the web engine counts it as another origin's: it shows,
//   but no script of the page reads its bytes (a style sheet's rules, the
//   samples of a sound, the pixels of a picture, a subtitle track, which the
//   engine then does not load at all). Fonts are the program's to serve
//   (the engine loads no other origin's fonts), and scripts read no font.
//   Only regular files below the folder are served, after every link on the
//   way is followed; a missing file and one outside answer alike.
// - orvane://javascript/PATH is a file of the system's shared script
//   packages (/usr/share/javascript: MathJax, highlight.js).
// - orvane://program/NAME is a script the program puts in its own pages
//   (resources/page, built into the program: see page_scripts.h), such as
//   MathJax's configuration and the preview's typesetter.
// Which request may load what is WebContentGuard's business; this file
// serves what it lets through. The folder's descriptors name files of this
// process, where the web engine reads file: addresses (its network service
// runs in the program's own process); should it read them elsewhere, the
// folder's files simply do not show.
//
// registerScheme() must be called before the application object is made;
// install() then puts the scheme's handler and the guard on a profile. Main
// thread only.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

class QWebEngineProfile;

namespace platform {

class PageScheme {
public:
    static constexpr char Name[] = "orvane";
    // The host of the system's shared script packages.
    static constexpr QStringView ScriptHost = u"javascript";
    // Where they are.
    static constexpr QStringView SystemScriptFolder = u"/usr/share/javascript";
    // The host of the program's own page scripts.
    static constexpr QStringView ProgramHost = u"program";

    // Makes the scheme known to the web engine; call before the application
    // object is made (the engine takes no scheme later). Calling it again
    // does nothing.
    static void registerScheme();
    // Serves the scheme on `profile` and guards its pages (WebContentGuard);
    // a profile that has both keeps them.
    static void install(QWebEngineProfile *profile);

    // The address of `path` (relative to the shared script folder).
    static QUrl scriptUrl(const QString &path);
    // The address of the program's own page script `name` ("typesetter.js").
    static QUrl programUrl(const QString &name);
    // The regular file of the shared script folder that `encodedPath` (a
    // URL's percent-encoded path) names; none outside it.
    static std::optional<QByteArray> scriptFile(const QByteArray &encodedPath);

    // The policy every page carries: it loads its scripts inline, from the
    // shared script packages or from the program itself, shows pictures, style sheets, fonts, sound and
    // video of its own site (and inline ones), and opens no connection,
    // frame, worker or object, sends no form and sets no base address.
    static QString contentSecurityPolicy();
    // `html` as UTF-8, with the character set and the policy at its start
    // (after its document type, so that the page keeps its mode).
    static QByteArray sealedPage(const QString &html);

    // Whether `path` (a URL's path) names a font by its extension.
    static bool isFontName(QStringView path);
    // Whether it names a style sheet.
    static bool isStyleSheetName(QStringView path);
};

}  // namespace platform
