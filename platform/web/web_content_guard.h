// What the program's web pages may load.
//
// The preview shows documents the program did not write, raw HTML and scripts
// included. Its pages come from the program's own URL scheme (page_scheme.h),
// and every request of every page of a guarded profile comes here first:
// - the program's scheme: a site's page only as the page itself; its folder's
//   pictures, style sheets (".css"), sound and video only through the folder's
//   own file: address, which the engine counts as another origin's (so that
//   scripts cannot read what it shows), and its fonts from the site itself;
//   the shared scripts' host for scripts, style sheets, fonts and pictures;
//   the program's own page scripts as scripts.
//   Only the site's own page may ask for the site's files, and only regular
//   files below its folder, every link followed, are had; a file that is
//   missing and one that may not be had are refused alike.
// - file: only the addresses of a site's folder, asked for by that site's
//   page, as a picture, a style sheet, sound or video (a font is sent to the
//   site), never anything else: no script, frame, object, worker or read.
// - the network (http, https, ws, wss, ftp): nothing. No page of the program
//   loads anything from the network; what a document names there does not
//   show. (The engine's start-up flags, engine_flags.h, leave no way out to
//   what does not come here, such as WebRTC, and no name to look up.)
// Other schemes (the program's resources, data:, blob:, about:) are not this
// guard's business.
//
// protect() puts the guard on a profile, once; it then covers every page of
// that profile, and the workers the pages start. The guard is the profile's
// child. Main thread only (the engine asks it there).
#pragma once

#include <QUrl>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

class QWebEngineProfile;

namespace platform {

class WebContentGuard : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT

public:
    struct Decision {
        enum Kind { Allow, Block, Redirect };
        Kind kind = Block;
        QUrl to;  // where a redirect goes
        bool operator==(const Decision &) const = default;
    };

    // What becomes of a request of a page for `url` as `type`; `initiator` is
    // the origin of the page that asks (none for the program's own loads).
    static Decision decide(const QUrl &url, QWebEngineUrlRequestInfo::ResourceType type, const QUrl &initiator);

    // Guards every page of `profile` from now on; a profile guarded already
    // keeps its guard.
    static void protect(QWebEngineProfile *profile);
    static bool isProtected(const QWebEngineProfile *profile);

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;

private:
    explicit WebContentGuard(QObject *parent) : QWebEngineUrlRequestInterceptor(parent) {}
};

}  // namespace platform
