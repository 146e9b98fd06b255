// A web view for pages the program makes itself (the preview, help pages):
// QWebEngineView with what such pages need and nothing a page could abuse.
//
// - Loading: loadHtml() shows an HTML text as the document at a base URL
//   (relative links and images resolve against it, and document.location is
//   that URL). Texts of any size load: Qt's setHtml() silently shows nothing
//   once the text, percent-encoded into a data: URL, passes 2 MB, so a large
//   page is loaded as its head with an empty body and the body is then put in
//   by script. Loads run one at a time; a load asked for while another runs
//   waits, and a newer one replaces it. Every load reports back exactly once.
// - Scripts: runScript() reports back exactly once, with the result, or as
//   unfinished when the page did not answer within the timeout or the page's
//   process went away; a late answer is dropped.
// - Navigation: the page's own loads go ahead; every other navigation of the
//   main frame (a link, a form, a script setting location) is put to the
//   navigation policy. It follows the navigation in the page, keeps the page
//   where it is, or lets the URL leave for the link handler (by default the
//   user's own applications, through Workspace). Only a link the user
//   clicked leaves: a navigation of the link kind whose URL is that of the
//   link under the user's last click, a few seconds old at most. Scripts
//   setting location or clicking links, forms, refreshes and frames never
//   reach the link handler. Pages cannot open windows: a link that asks for
//   a new window is put to the policy as a link and never opens one here.
// - Local files: the page's profile is guarded (WebContentGuard): pictures,
//   style sheets, fonts and media of file: addresses load, but a script
//   cannot read a file, nor a frame show one.
// - No context menu, no plugins, no clipboard access for scripts, no focus
//   taken on navigation; keyboard focus given to the page goes on to the focus
//   target when one is set.
// - A render process that dies is reported by renderProcessGone(); pending
//   scripts and the pending load report back as unfinished first.
#pragma once

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

    static constexpr std::chrono::milliseconds DefaultScriptTimeout{10000};
    static constexpr std::chrono::milliseconds DefaultLoadTimeout{60000};
    // The longest data: URL that Chromium accepts.
    static constexpr qsizetype DataUrlLimit = 2 * 1024 * 1024;

    explicit WebView(QWidget *parent = nullptr);
    ~WebView() override;

    void loadHtml(const QString &html, const QUrl &baseUrl, LoadCallback done = {});
    bool isLoadingHtml() const { return m_loading; }

    // Runs `script` in the page's main world (where the page's own scripts
    // live) or in the application's world (the same document, but globals of
    // their own that the page cannot see or change).
    void runScript(const QString &script, ScriptCallback done = {},
                   std::chrono::milliseconds timeout = DefaultScriptTimeout,
                   quint32 world = QWebEngineScript::MainWorld);

    // Without a policy every navigation stays.
    void setNavigationPolicy(NavigationPolicy policy) { m_policy = std::move(policy); }
    // An empty handler restores the default, Workspace::openExternally().
    void setLinkHandler(LinkHandler handler) { m_linkHandler = std::move(handler); }
    void setFocusTarget(QWidget *target) { m_focusTarget = target; }
    QWidget *focusTarget() const { return m_focusTarget; }
    void setLoadTimeout(std::chrono::milliseconds timeout) { m_loadTimeout = timeout; }

    // The page's scale, within the engine's range 0.25 to 5.
    void setPageZoom(double factor);

    // A JavaScript string literal that reads back as exactly `text`: JSON
    // string syntax, with U+2028, U+2029 and "</" escaped as well, so that it
    // is also safe inside a script element.
    static QString stringLiteral(QStringView text);
    // How long the data: URL of `html` would be.
    static qsizetype dataUrlLength(const QString &html);

signals:
    void renderProcessGone();
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
    };
    struct PendingScript {
        ScriptCallback done;
        QTimer *timer = nullptr;
    };

    void startLoad(PendingLoad load);
    void pageLoadFinished(bool ok);
    void finishLoad(bool ok);
    void finishScript(quint64 id, bool finished, const QVariant &result);
    void failEverythingPending();
    bool decideNavigation(const QUrl &url, int type, bool isMainFrame);
    void followLinkFromNewWindow(const QUrl &url);
    // Hands `url` to the link handler when the user's last click was on a
    // link to it.
    void leaveIfClicked(const QUrl &url);
    void watchForFocus(QObject *child);

    Page *m_page = nullptr;
    NavigationPolicy m_policy;
    LinkHandler m_linkHandler;
    QPointer<QWidget> m_focusTarget;
    std::chrono::milliseconds m_loadTimeout = DefaultLoadTimeout;

    bool m_loading = false;
    bool m_expectOwnNavigation = false;
    quint64 m_loadSerial = 0;
    std::optional<PendingLoad> m_current;
    std::optional<PendingLoad> m_waiting;
    QString m_bodyToInject;  // the body of a large page, put in after its head loads
    bool m_injecting = false;
    QTimer *m_loadTimer = nullptr;

    // Cleared when the view goes: the page's late answers find it so.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    quint64 m_nextScript = 0;
    QHash<quint64, PendingScript> m_scripts;
};

}  // namespace platform
