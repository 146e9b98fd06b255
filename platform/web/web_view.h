// A web view for pages the program makes itself (the preview, help pages):
// QWebEngineView with what such pages need and nothing a page could abuse.
//
// - Loading: loadHtml() shows an HTML text as the page of a document (a file
//   URL): the program serves it from its own URL scheme (page_scheme.h), at an
//   address of the view's own site that names the document but none of the
//   user's folders, and relative references of the page come to the files of
//   the document's folder (setShowsDocumentFolder()); one that climbs out of
//   it stands for the file it names there, which a click may open but the
//   page is not shown (page_site.h). A page that follows one whose process
//   holds much comes at a host of its own, so that the engine runs it in a
//   new process, and after an empty page there, once the process of the
//   page before (with whatever it held) has ended: two such pages never
//   hold their memory at once. Texts of any size load: a large page is
//   loaded as its head with an empty body, and the body is then put in by
//   script. Loads run one at a time; a load asked for while
//   another runs waits, and a newer one replaces it. Every load reports back
//   exactly once; an end the engine reports before it said the load started
//   belongs to an earlier navigation (one a timed-out load left behind). A
//   page that came without the view's own scripts (which the engine now and
//   then fails to put in) is loaded once more, with them.
// - Scripts: runScript() reports back exactly once, with the result, or as
//   unfinished when the page did not answer within the timeout or the page's
//   process went away; a late answer is dropped.
// - Navigation: the page's own loads go ahead; every other navigation of the
//   main frame (a link, a form, a script setting location) is put to the
//   navigation policy, for the file a link to the document's folder stands
//   for, or the URL itself. It follows the navigation in the page, keeps the
//   page where it is, or lets the URL leave for the link handler (by default
//   the user's own applications, through Workspace; the view tells the user
//   in an alert of one that is refused). Only a link the user clicked leaves:
//   a navigation of the link kind whose URL is that of the link under the
//   user's last click (however each escapes its characters), made a few
//   seconds at most before the engine asked (a click whose default the page
//   prevented lets nothing leave). It leaves at once when the page's HTML
//   itself wrote that link (writtenLinks: an a or area element with that
//   href, resolved as the page resolves it) and the user saw it where the
//   click fell: on its own text or picture, as it was when the button went
//   down, plainly drawn against a background that can be told, with
//   nothing else drawn there; what the page's make-up leaves in doubt is
//   not seen (resources/page/click-watch.js). Any other address a click
//   leads to (a link a script made, changed, hid or stretched over the page)
//   is shown to the user in full first, and leaves only on "Open", which is
//   not the question's default button. Scripts setting location or clicking
//   links, forms, refreshes and frames never reach the link handler. Pages
//   cannot open windows: a link that asks for a new window is put to the
//   policy as a link and never opens one here.
// - Sealed: every page carries a policy that lets it open no connection,
//   frame, worker or object; the profile is guarded (WebContentGuard): the
//   pictures, style sheets, fonts, sound and video of the document's folder
//   show, but no script reads their bytes (what a style sheet does to the
//   page's elements is the page's to see, as their computed style), and
//   nothing else of this machine or of the network loads. WebRTC is taken
//   from the windows a page's scripts reach (a new frame's first, empty
//   document included: resources/page/window-seal.js), and the engine has
//   no way out for it, nor any name to look up, anyway (engine_flags.h).
//   So are blobs and a page's stores (IndexedDB, the cache, file systems),
//   which the engine keeps in the program's own process, out of reach of
//   the page's bound of memory; for the same reason the page keeps no
//   history but its present place, whose state and address are bounded, as
//   are a window's name and the page's frames (their number, names and
//   addresses), and it has no icons, downloads or permissions. A
//   page's alert, confirm and prompt show nothing (the first of each load is
//   logged), nor does it choose files: no page locks the window.
// - No context menu, no plugins, no clipboard access for scripts, no focus
//   taken on navigation; keyboard focus given to the page goes on to the focus
//   target when one is set.
// - The page's process is kept within a bound of memory (PageProcess): a
//   page that allocates without end is ended near it. A load that does not
//   finish in time ends the process (a page that answers nothing for so
//   long is stuck, and only a new process can show another page). A render
//   process that ends is reported by renderProcessGone() with why it
//   ended; pending scripts and the pending load report back as unfinished
//   first. While the process is still building what it was given (its
//   memory reaching a new high since the wait began, and again within each
//   BusyLook after: the engine laying out a paragraph of megabytes, for
//   many seconds without a colour emoji font), neither a load nor a script
//   runs out of time: the page answers once it is done, and loading it
//   again would only start the work anew.
#pragma once

#include "platform/web/page_process.h"
#include "platform/web/page_site.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace platform {

class WebView : public QWebEngineView {
    Q_OBJECT

public:
    using LoadCallback = std::function<void(bool ok)>;
    // `finished` is false when the script timed out or the page went away;
    // `result` is then invalid.
    using ScriptCallback = std::function<void(bool finished, const QVariant &result)>;
    // What becomes of a navigation that the page asked for (a link clicked,
    // a form sent, a script setting location).
    enum class Navigation {
        Follow,  // the page follows it (a fragment of the page itself)
        Stay,    // the page stays where it is
        Leave,   // the page stays; the URL goes to the link handler when the
                 // user clicked a link to it
    };
    using NavigationPolicy = std::function<Navigation(const QUrl &url)>;
    // Takes a URL that leaves the page (a link the user clicked).
    using LinkHandler = std::function<void(const QUrl &url)>;
    // Whether the page's own HTML, as it was before any script ran, has a
    // link (an a or area element) whose href attribute is `href`, which may
    // open at once (a page may let none of its links open at once).
    using WrittenLinks = std::function<bool(const QString &href)>;

    static constexpr std::chrono::milliseconds DefaultScriptTimeout{10000};
    static constexpr std::chrono::milliseconds DefaultLoadTimeout{60000};
    // Past this length (of the page as a data: URL, the longest Chromium
    // accepts, which is how pages were once loaded) a page loads as its head
    // with the body put in by script.
    static constexpr qsizetype DataUrlLimit = 2 * 1024 * 1024;
    // The longest address a frame in the page may move to (as the page's
    // own scripts bound it: resources/page/window-seal.js).
    static constexpr qsizetype FrameAddressLimit = 64 * 1024;
    // How often a wait on a page that is still building what it was given
    // looks again: the page must have grown since the last look.
    static constexpr std::chrono::milliseconds BusyLook{2000};
    // How often a load that waits for the end of a navigation it stopped
    // looks whether the engine still loads.
    static constexpr std::chrono::milliseconds StopLook{50};

    explicit WebView(QWidget *parent = nullptr);
    ~WebView() override;

    void loadHtml(const QString &html, const QUrl &baseUrl, LoadCallback done = {});
    bool isLoadingHtml() const { return m_loading; }
    // Gives up the load under way and the one waiting, if any: each reports
    // back at once that it did not finish, and the engine stops taking the
    // page in (a page no one will see for a while need not cost the machine
    // meanwhile).
    void abandonLoad();
    // Whether the pages show the files of their document's folder (on by
    // default); a document without a file of its own has none to show. Taken
    // at the next load.
    void setShowsDocumentFolder(bool shows) { m_showsFolder = shows; }
    // The view's site: the current page's address and its folder.
    const PageSite &site() const { return m_site; }

    // Runs `script` in the page's main world (where the page's own scripts
    // live) or in the application's world (the same document, but globals of
    // their own that the page cannot see or change). Without a time of its
    // own a script has the view's (scriptTimeout()).
    void runScript(const QString &script, ScriptCallback done = {},
                   std::optional<std::chrono::milliseconds> timeout = std::nullopt,
                   quint32 world = QWebEngineScript::MainWorld);

    // Without a policy every navigation stays.
    void setNavigationPolicy(NavigationPolicy policy) { m_policy = std::move(policy); }
    // An empty handler restores the default, Workspace::openExternally().
    void setLinkHandler(LinkHandler handler) { m_linkHandler = std::move(handler); }
    // Where the page's written links are looked up, for pages whose HTML
    // changes after it loaded (by script). Without it, the links of the HTML
    // last given to loadHtml() count, which the view then keeps.
    void setWrittenLinks(WrittenLinks writtenLinks);
    void setFocusTarget(QWidget *target) { m_focusTarget = target; }
    QWidget *focusTarget() const { return m_focusTarget; }
    void setLoadTimeout(std::chrono::milliseconds timeout) { m_loadTimeout = timeout; }
    // How long a script without a time of its own may take
    // (DefaultScriptTimeout unless set).
    void setScriptTimeout(std::chrono::milliseconds timeout) { m_scriptTimeout = timeout; }
    std::chrono::milliseconds scriptTimeout() const { return m_scriptTimeout; }

    // The page's scale, within the engine's range 0.25 to 5.
    void setPageZoom(double factor);

    // The most data the page's process may hold, in bytes (see PageProcess).
    qint64 pageMemoryBound() const { return m_process->bound(); }
    void setPageMemoryBound(qint64 bytes) { m_process->setBound(bytes); }

    // A JavaScript string literal that reads back as exactly `text`: JSON
    // string syntax, with U+2028, U+2029 and "</" escaped as well, so that it
    // is also safe inside a script element.
    static QString stringLiteral(QStringView text);
    // How long the data: URL of `html` would be: the measure of a page's
    // size that decides how it loads.
    static qsizetype dataUrlLength(const QString &html);

signals:
    void renderProcessGone(platform::PageProcess::End why);
    // What the page wrote to its console (logged at debug level as well).
    void consoleMessage(const QString &message);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void childEvent(QChildEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    class Page;
    class LinkCatcher;
    friend class Page;
    friend class LinkCatcher;

    struct PendingLoad {
        QString html;
        QUrl baseUrl;
        LoadCallback done;
        bool retried = false;  // loaded again for want of the view's own scripts
    };
    struct PendingScript {
        ScriptCallback done;
        QTimer *timer = nullptr;
        std::chrono::steady_clock::time_point lookedAt;  // sent, or last looked at busy
    };

    void startLoad(PendingLoad load);
    void pageLoadFinished(bool ok);
    // The empty page that comes before a page is in: the page is loaded
    // once the process of the page before has ended.
    void loadAfterLeavingProcess();
    // Loads the page the site serves now, with the whole load time.
    void loadServedPage();
    // Starts the load of `serial` that waited for the end of a navigation
    // it stopped.
    void startAfterStop(quint64 serial);
    void ownScriptsChecked();
    void finishLoad(bool ok);
    // Keeps only the page's present place in its history.
    void forgetHistory();
    void finishScript(quint64 id, bool finished, const QVariant &result);
    void failEverythingPending();
    // When the page's process has grown since `since` (when the wait began
    // or last looked), starts `timer` for another look, moves `since` to
    // now and answers true.
    bool waitsOnBusyPage(QTimer *timer, std::chrono::steady_clock::time_point &since);
    bool decideNavigation(const QUrl &url, int type, bool isMainFrame);
    void followLinkFromNewWindow(const QUrl &url);
    // What a navigation to `url` stands for: the file of the document's
    // folder for an address of the site, else `url`.
    QUrl navigationTarget(const QUrl &url) const;
    // Hands `target` to the link handler when the user's last click was on a
    // link to `url`: at once for a link the page's HTML wrote that the user
    // saw where the click fell, after the user's yes for any other.
    void leaveIfClicked(const QUrl &url, const QUrl &target);
    void openClicked(const QUrl &target, bool atOnce);
    bool writesLink(const QString &href) const;
    // Whether the picture a click fell on shows something there, as the
    // click watch describes it (see TakeClick in web_view.cpp).
    bool pictureShows(const QVariantList &picture) const;
    // A dialog the page asked for, which shows nothing.
    void pageDialog(const char *kind, const QString &message);
    void watchForFocus(QObject *child);

    Page *m_page = nullptr;
    PageProcess *m_process = nullptr;
    PageSite m_site;
    bool m_showsFolder = true;
    bool m_dialogLogged = false;  // for the page now loaded
    bool m_busyLogged = false;    // a wait on a busy page was logged
    NavigationPolicy m_policy;
    LinkHandler m_linkHandler;
    WrittenLinks m_writtenLinks;
    QString m_loadedHtml;  // the HTML last loaded, without m_writtenLinks
    QPointer<QWidget> m_focusTarget;
    std::chrono::milliseconds m_loadTimeout = DefaultLoadTimeout;
    std::chrono::milliseconds m_scriptTimeout = DefaultScriptTimeout;

    bool m_loading = false;
    bool m_loadStarted = false;  // the engine said the current load started
    bool m_expectOwnNavigation = false;
    quint64 m_loadSerial = 0;
    std::optional<PendingLoad> m_current;
    std::optional<PendingLoad> m_waiting;
    QString m_bodyToInject;  // the body of a large page, put in after its head loads
    QByteArray m_pageToServe;  // the page to load once the empty one before it is in
    qint64 m_leavingProcess = 0;  // the process of the page before, until it ends
    bool m_pageSilent = false;    // a script went unanswered, and none answered since
    QElapsedTimer m_leavingSince;
    bool m_injecting = false;
    QTimer *m_loadTimer = nullptr;
    std::optional<quint64> m_startAfterStop;  // the load waiting for a stopped navigation's end
    QTimer *m_stopLook = nullptr;             // looks whether the engine still loads meanwhile
    std::chrono::steady_clock::time_point m_loadLookedAt;

    // Cleared when the view goes: the page's late answers find it so.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    quint64 m_nextScript = 0;
    QHash<quint64, PendingScript> m_scripts;
};

}  // namespace platform
