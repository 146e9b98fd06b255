#include "platform/web/web_view.h"

#include "platform/files/workspace.h"
#include "platform/runtime/alerts.h"
#include "platform/runtime/log.h"
#include "platform/web/html_tags.h"
#include "platform/web/page_scheme.h"
#include "platform/web/page_scripts.h"
#include "platform/web/picture_seen.h"

#include <QAction>
#include <QChildEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFocusEvent>
#include <QLoggingCategory>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include <algorithm>

namespace platform {

namespace {

// What pages write to their console: shown only when asked for
// (QT_LOGGING_RULES="orvane.platform.page.debug=true").
Q_LOGGING_CATEGORY(lcPageConsole, "orvane.platform.page", QtInfoMsg)

// Where the inner HTML of the first body element lies in `html`: just after
// the start tag's ">" up to the last end tag. Tags are matched without regard
// to case; a ">" inside a quoted attribute value does not end the start tag.
std::optional<std::pair<qsizetype, qsizetype>> bodyContent(const QString &html) {
    qsizetype at = 0;
    while ((at = html.indexOf(QLatin1String("<body"), at, Qt::CaseInsensitive)) >= 0) {
        const qsizetype after = at + 5;
        if (after < html.size() && (html[after] == u'>' || html[after] == u'/' || html[after].isSpace()))
            break;
        at = after;
    }
    if (at < 0)
        return std::nullopt;
    const qsizetype start = htmlTagEnd(html, at + 5);
    if (start < 0)
        return std::nullopt;
    qsizetype end = html.lastIndexOf(QLatin1String("</body"), -1, Qt::CaseInsensitive);
    if (end < start)
        end = html.size();
    return std::make_pair(start, end);
}

// How old a click of the user's on a link may be when the engine asks about
// the navigation it makes, for that navigation to leave the page. Measured up
// to the question, not to the page's answer about its click: on a loaded
// machine the question and the page's answer may each take seconds, and a
// click the user made before the engine asked is no less the user's.
constexpr int ClickLifetimeMilliseconds = 10000;

// How long the page may take to answer about its click: a page busy with its
// own scripts answers only when they are done.
constexpr std::chrono::milliseconds ClickQuestionTimeout{30000};

// The URL of the link the user last clicked when it is %1 (however each
// escapes its characters), with the click's age in milliseconds, the link's
// href, whether that href leads to %1 from %2 (the page's own address),
// whether the user saw the link where the click fell and, when that was on a
// picture, what to look at in it (its address, the point as fractions of its
// width and height, its opacity and the colour behind it when known), once;
// null otherwise.
// A navigation to another address leaves the note alone: the page's scripts
// may ask to go elsewhere just as the user clicks, and their question may be
// answered after the click.
const char16_t *TakeClick = u"typeof orvaneTakeClick === 'function' ? orvaneTakeClick(%1, %2) : null";

// The largest picture file looked at to tell whether a click on it fell
// where it shows something.
constexpr qint64 MostPictureBytes = 64 << 20;

// The data of a page's process past which the next page comes in a process
// of its own; a process with an empty page holds about 100 MB.
constexpr qint64 FreshProcessAbove = qint64(256) << 20;

// How often a load looks whether the process of the page before has ended,
// and how long it waits for it at most: a process that outlives that (one
// the engine keeps for other pages) holds the page back no longer.
constexpr std::chrono::milliseconds LeavingProcessLook{10};
constexpr std::chrono::milliseconds LeavingProcessWait{5000};

// Whether the view's own scripts ran in the page (the click watch's, in the
// application's world).
const char16_t *HasOwnScripts = u"typeof orvaneTakeClick === 'function'";

bool isUnreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

}  // namespace

// The page: routes navigation, new windows and console lines to the view.
class WebView::Page : public QWebEnginePage {
public:
    Page(QWebEngineProfile *profile, WebView *view) : QWebEnginePage(profile, view), m_view(view) {}

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override {
        return m_view->decideNavigation(url, type, isMainFrame);
    }
    QWebEnginePage *createWindow(WebWindowType) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int line,
                                  const QString &source) override {
        qCDebug(lcPageConsole).noquote() << "page console:" << message << "at" << source << line;
        emit m_view->consoleMessage(message);
    }
    // A page's dialogs would each hold the window (and a page can ask for
    // them without end): none shows. A confirm is declined and a prompt
    // cancelled, but the engine's own question before a page with an
    // "unload" handler is left is answered yes, so that the program's loads
    // always go ahead.
    void javaScriptAlert(const QUrl &, const QString &message) override { m_view->pageDialog("alert", message); }
    bool javaScriptConfirm(const QUrl &, const QString &message) override {
        if (message == leaveQuestion())
            return true;
        m_view->pageDialog("confirm", message);
        return false;
    }
    bool javaScriptPrompt(const QUrl &, const QString &message, const QString &, QString *) override {
        m_view->pageDialog("prompt", message);
        return false;
    }
    QStringList chooseFiles(FileSelectionMode, const QStringList &, const QStringList &) override {
        m_view->pageDialog("file chooser", QString());
        return {};
    }

private:
    // The engine asks it through the page's confirm, in the words of the
    // page class.
    static QString leaveQuestion() {
        return QCoreApplication::translate(
            "QWebEnginePage", "Are you sure you want to leave this page? Changes that you made may not be saved.");
    }

    WebView *m_view;
};

// Stands in for a window that a page asked for: catches the first navigation,
// hands a clicked link to the view's policy as if it had been clicked in the
// page itself, loads nothing, and goes away.
class WebView::LinkCatcher : public QWebEnginePage {
public:
    LinkCatcher(QWebEngineProfile *profile, WebView *view) : QWebEnginePage(profile, view), m_view(view) {
        settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        // A window that never navigates is dropped all the same, once a
        // click it could stand for is too old to leave.
        QTimer::singleShot(ClickLifetimeMilliseconds, this, &QObject::deleteLater);
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override {
        if (isMainFrame && type == NavigationTypeLinkClicked && m_view)
            m_view->followLinkFromNewWindow(url);
        deleteLater();
        return false;
    }

private:
    QPointer<WebView> m_view;
};

QWebEnginePage *WebView::Page::createWindow(WebWindowType) {
    return new LinkCatcher(profile(), m_view);
}

WebView::WebView(QWidget *parent) : QWebEngineView(parent) {
    // A page of its own on the default profile, so that its settings are ours
    // alone.
    m_page = new Page(QWebEngineProfile::defaultProfile(), this);
    setPage(m_page);
    QWebEngineSettings *settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    settings->setAttribute(QWebEngineSettings::ScrollAnimatorEnabled, false);
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    settings->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    settings->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    // No page has a file: address: what the pages show of a folder comes by
    // the folder's own addresses, which the guard lets through.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    PageScheme::install(m_page->profile());
    // Both run as each document is created, before any script of its own.
    const auto ownScript = [this](const QString &name, QStringView file, quint32 world, bool subFrames) {
        QWebEngineScript script;
        script.setName(name);
        script.setInjectionPoint(QWebEngineScript::DocumentCreation);
        script.setWorldId(world);
        script.setRunsOnSubFrames(subFrames);
        script.setSourceCode(pageResource(file));
        m_page->scripts().insert(script);
    };
    ownScript(QStringLiteral("orvane-window-seal"), u"window-seal.js", QWebEngineScript::MainWorld, true);
    ownScript(QStringLiteral("orvane-click-watch"), u"click-watch.js", QWebEngineScript::ApplicationWorld, false);
    setContextMenuPolicy(Qt::NoContextMenu);

    // The engine keeps in this process, out of reach of the page's bound of
    // memory, every place in its history a page moves to (a state given to
    // pushState, an address, a fragment), up to 50 of them: only the page's
    // present place is kept. Any other makes Back possible, which is the
    // sign to forget it (the engine tells of no place that keeps its
    // address). What a page may keep of the present one is bounded in the
    // page (resources/page/window-seal.js).
    connect(m_page->action(QWebEnginePage::Back), &QAction::changed, this, &WebView::forgetHistory,
            Qt::QueuedConnection);
    // A page's requests for a permission (to show notifications, say) are
    // refused at once: the engine keeps each one until it is answered.
    connect(m_page, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl &origin, QWebEnginePage::Feature feature) {
                m_page->setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
            });

    m_process = new PageProcess(m_page, this);
    m_loadTimer = new QTimer(this);
    m_loadTimer->setSingleShot(true);
    connect(m_loadTimer, &QTimer::timeout, this, [this] {
        if (waitsOnBusyPage(m_loadTimer, m_loadLookedAt))
            return;
        qCWarning(lcPlatform) << "A page load did not finish in time: the page's process is ended";
        finishLoad(false);
        m_process->end(PageProcess::End::NotAnswering);
    });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        if (m_startAfterStop) {
            // The end of the navigation stopped for the load that waits.
            QMetaObject::invokeMethod(
                this, [this, serial = *m_startAfterStop] { startAfterStop(serial); }, Qt::QueuedConnection);
            return;
        }
        pageLoadFinished(ok);
    });
    // The engine that no longer loads, whether or not it reported the end
    // of what it stopped, takes the load that waits.
    m_stopLook = new QTimer(this);
    m_stopLook->setInterval(StopLook);
    connect(m_stopLook, &QTimer::timeout, this, [this] {
        if (m_startAfterStop && !m_page->isLoading())
            startAfterStop(*m_startAfterStop);
    });
    // A load is under way once the engine says it started: an end reported
    // before that belongs to an earlier navigation (one that a timed-out
    // load or an ended process left behind), not to this load.
    connect(m_page, &QWebEnginePage::loadStarted, this, [this] { m_loadStarted = m_loading; });
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                const PageProcess::End why = m_process->ended(status);
                m_pageSilent = false;
                qCWarning(lcPlatform) << "The page's render process ended:" << status << code
                                      << (why == PageProcess::End::TooMuchMemory  ? "(memory)"
                                          : why == PageProcess::End::NotAnswering ? "(not answering)"
                                                                                  : "");
                failEverythingPending();
                emit renderProcessGone(why);
            });
}

WebView::~WebView() {
    // Whoever waits goes away with the view (its owner, as a rule): nothing
    // is called back any more.
    for (PendingScript &pending : m_scripts)
        pending.done = nullptr;
    m_scripts.clear();
    m_current.reset();
    m_waiting.reset();
    // The page answers its pending scripts as it goes, after this part of
    // the view: the answers find the view gone.
    *m_alive = false;
    disconnect(m_page, nullptr, this, nullptr);
}

qsizetype WebView::dataUrlLength(const QString &html) {
    const QByteArray bytes = html.toUtf8();
    qsizetype length = qsizetype(sizeof("data:text/html;charset=UTF-8,") - 1);
    for (char c : bytes)
        length += isUnreserved(c) ? 1 : 3;
    return length;
}

QString WebView::stringLiteral(QStringView text) {
    QString out;
    out.reserve(text.size() + text.size() / 8 + 2);
    out += u'"';
    const char16_t *hex = u"0123456789abcdef";
    for (qsizetype i = 0; i < text.size(); i++) {
        const char16_t c = text[i].unicode();
        switch (c) {
        case u'"': out += u"\\\""; break;
        case u'\\': out += u"\\\\"; break;
        case u'\n': out += u"\\n"; break;
        case u'\r': out += u"\\r"; break;
        case u'\t': out += u"\\t"; break;
        case u'/':
            // "</" would end a script element that held this literal.
            out += (i > 0 && text[i - 1] == u'<') ? u"\\/" : u"/";
            break;
        default:
            if (c < 0x20 || c == 0x2028 || c == 0x2029) {
                out += u"\\u";
                out += QChar(hex[(c >> 12) & 0xF]);
                out += QChar(hex[(c >> 8) & 0xF]);
                out += QChar(hex[(c >> 4) & 0xF]);
                out += QChar(hex[c & 0xF]);
            } else {
                out += QChar(c);
            }
        }
    }
    out += u'"';
    return out;
}

// --- Loading -----------------------------------------------------------------

void WebView::setWrittenLinks(WrittenLinks writtenLinks) {
    m_writtenLinks = std::move(writtenLinks);
    m_loadedHtml.clear();
}

void WebView::loadHtml(const QString &html, const QUrl &baseUrl, LoadCallback done) {
    if (!m_writtenLinks)
        m_loadedHtml = html;
    PendingLoad load{html, baseUrl, std::move(done)};
    if (m_loading) {
        // One load at a time: the engine reports a load that a newer one
        // interrupts only sometimes, so overlapping loads could not be told
        // apart. The newest waiting load wins.
        if (m_waiting && m_waiting->done)
            m_waiting->done(false);
        m_waiting = std::move(load);
        return;
    }
    startLoad(std::move(load));
}

void WebView::abandonLoad() {
    if (!m_loading)
        return;
    // The waiting load goes first, without starting: its report may ask
    // for a load of its own, which then starts as any other.
    std::optional<PendingLoad> waiting = std::exchange(m_waiting, std::nullopt);
    // Its end, when the engine reports one, finds no load under way.
    if (m_page->isLoading())
        m_page->triggerAction(QWebEnginePage::Stop);
    finishLoad(false);
    if (waiting && waiting->done)
        waiting->done(false);
}

void WebView::startLoad(PendingLoad load) {
    m_loading = true;
    m_loadSerial++;
    m_injecting = false;
    m_bodyToInject.clear();
    QString page = load.html;
    if (dataUrlLength(page) > DataUrlLimit - 4096) {
        // A large page: the engine takes its head with an empty body, and the
        // body put in by script once the head has loaded, far sooner than the
        // whole page in one piece from the program's scheme (at 20 MB, 11 s
        // against 28-44 s until laid out).
        if (auto body = bodyContent(page)) {
            m_bodyToInject = page.mid(body->first, body->second - body->first);
            page = page.left(body->first) + page.mid(body->second);
        } else {
            m_bodyToInject = page;
            page = QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body></body></html>");
        }
        m_injecting = true;
    }
    m_current = std::move(load);
    // A page that follows one whose process holds much comes at a host of
    // its own, and so in a process of its own: in the process of the page
    // before, it would be built while the old page's nodes, let go but not
    // yet collected, still held their memory (a list of a megabyte, 480 MB
    // of data in its page, took 830 MB loaded again there), and a large page
    // loaded again and again would pass its bound. It comes after an empty
    // page there: the old process lets its page go once the empty page is
    // in, and ends, and only then is the page built, so that the two never
    // hold their memory at once (the old one, freeing its nodes, may take as
    // long to end as the new one takes to be built). A page that holds
    // little stays where it is: a new process costs its start and cold
    // caches (MathJax's files and code read anew). So does one that stopped
    // answering: the load goes to it, and ends it should it not finish in
    // time, rather than leave it running behind.
    const qint64 before = m_page->renderProcessPid();
    const bool freshProcess =
        before > 0 && !m_pageSilent && PageProcess::dataOf(before) >= FreshProcessAbove;
    if (freshProcess)
        m_site.moveToNewHost();
    m_site.setDocument(m_current->baseUrl, m_showsFolder);
    QByteArray sealed = PageScheme::sealedPage(page);
    page.clear();
    m_leavingProcess = 0;
    m_pageToServe.clear();
    if (freshProcess) {
        m_leavingProcess = before;
        m_pageToServe = std::move(sealed);
        sealed = PageScheme::sealedPage(QStringLiteral("<!DOCTYPE html><html><head></head><body></body></html>"));
    }
    m_site.setPage(std::move(sealed));
    m_dialogLogged = false;
    m_busyLogged = false;
    loadServedPage();
}

void WebView::loadServedPage() {
    m_loadLookedAt = std::chrono::steady_clock::now();
    m_loadTimer->start(m_loadTimeout);
    m_expectOwnNavigation = true;
    m_loadStarted = false;
    // The engine still counts a load under way when its process ended in
    // the middle of it (no end is reported for it), and reports a load that
    // starts meanwhile with an end but no start: this load's end would pass
    // for the earlier one's, and the load would wait out its whole time.
    // Stopped, the earlier load reports its end at once, and this one
    // starts as any other once the engine has stopped: it reported that end
    // or no longer loads (the load's own time bounds the wait). A load
    // given up in the middle (abandonLoad()) is stopped alike: a load
    // started beside it while the engine still loaded was dropped without a
    // word when the page's process was busy.
    if (m_page->isLoading()) {
        // Waiting before the stop, which may report the end at once.
        m_startAfterStop = m_loadSerial;
        m_page->triggerAction(QWebEnginePage::Stop);
        if (m_startAfterStop && !m_page->isLoading())
            startAfterStop(*m_startAfterStop);
        else if (m_startAfterStop)
            m_stopLook->start();
        return;
    }
    m_page->load(m_site.pageUrl());
}

void WebView::startAfterStop(quint64 serial) {
    if (!m_startAfterStop || *m_startAfterStop != serial)
        return;
    m_startAfterStop.reset();
    m_stopLook->stop();
    if (m_loading && serial == m_loadSerial)
        m_page->load(m_site.pageUrl());
}

void WebView::pageLoadFinished(bool ok) {
    if (!m_loading || !m_loadStarted)
        return;
    if (!ok) {
        finishLoad(false);
        return;
    }
    if (!m_pageToServe.isEmpty()) {
        m_leavingSince.start();
        loadAfterLeavingProcess();
        return;
    }
    // Now and then (after a page's process died, on a loaded machine) the
    // engine starts a page without the view's own scripts, and every later
    // load of that page goes without them too: no click would be noted and
    // WebRTC would stay. Put back, they come with the next load.
    const quint64 serial = m_loadSerial;
    runScript(
        QString::fromUtf16(HasOwnScripts),
        [this, serial](bool finished, const QVariant &has) {
            if (!m_loading || serial != m_loadSerial)
                return;
            if (finished && !has.toBool() && m_current && !m_current->retried) {
                qCWarning(lcPlatform) << "A page came without the view's own scripts: they are put back and the "
                                         "page loaded again";
                const QList<QWebEngineScript> own = m_page->scripts().toList();
                for (const QWebEngineScript &script : own) {
                    m_page->scripts().remove(script);
                    m_page->scripts().insert(script);
                }
                PendingLoad again = std::move(*m_current);
                again.retried = true;
                startLoad(std::move(again));
                return;
            }
            ownScriptsChecked();
        },
        std::nullopt, QWebEngineScript::ApplicationWorld);
}

void WebView::loadAfterLeavingProcess() {
    const qint64 leaving = m_leavingProcess;
    if (leaving > 0 && leaving != m_page->renderProcessPid() && PageProcess::dataOf(leaving) >= 0 &&
        m_leavingSince.elapsed() < LeavingProcessWait.count()) {
        const quint64 serial = m_loadSerial;
        QTimer::singleShot(LeavingProcessLook, this, [this, serial] {
            if (m_loading && serial == m_loadSerial)
                loadAfterLeavingProcess();
        });
        return;
    }
    m_leavingProcess = 0;
    m_site.setPage(std::exchange(m_pageToServe, QByteArray()));
    // The page's own load has the whole of its time.
    loadServedPage();
}

void WebView::ownScriptsChecked() {
    if (!m_injecting) {
        finishLoad(true);
        return;
    }
    m_injecting = false;
    const quint64 serial = m_loadSerial;
    const QString script = QStringLiteral("document.body.innerHTML = %1; true;").arg(stringLiteral(m_bodyToInject));
    m_bodyToInject.clear();
    // Putting in the body is the load's own work (megabytes parsed and laid
    // out): it has the load's time, not a script's.
    runScript(
        script,
        [this, serial](bool finished, const QVariant &result) {
            if (m_loading && serial == m_loadSerial)
                finishLoad(finished && result.toBool());
        },
        m_loadTimeout);
}

void WebView::finishLoad(bool ok) {
    if (!m_loading)
        return;
    m_site.releasePage();
    m_pageSilent = m_pageSilent && !ok;
    m_pageToServe.clear();
    m_leavingProcess = 0;
    m_loading = false;
    m_injecting = false;
    m_expectOwnNavigation = false;
    m_startAfterStop.reset();
    m_stopLook->stop();
    m_loadTimer->stop();
    std::optional<PendingLoad> finished = std::move(m_current);
    m_current.reset();
    if (m_waiting) {
        PendingLoad next = std::move(*m_waiting);
        m_waiting.reset();
        startLoad(std::move(next));
    }
    if (finished && finished->done)
        finished->done(ok);
}

void WebView::forgetHistory() {
    QWebEngineHistory *history = m_page->history();
    if (history->canGoBack() || history->canGoForward())
        history->clear();
}

// --- Scripts -----------------------------------------------------------------

void WebView::runScript(const QString &script, ScriptCallback done, std::optional<std::chrono::milliseconds> timeout,
                        quint32 world) {
    const quint64 id = ++m_nextScript;
    PendingScript pending{std::move(done), new QTimer(this), std::chrono::steady_clock::now()};
    pending.timer->setSingleShot(true);
    connect(pending.timer, &QTimer::timeout, this, [this, id] {
        auto it = m_scripts.find(id);
        if (it != m_scripts.end() && waitsOnBusyPage(it->timer, it->lookedAt))
            return;
        qCWarning(lcPlatform) << "A page script did not answer in time";
        m_pageSilent = true;
        finishScript(id, false, QVariant());
    });
    pending.timer->start(timeout.value_or(m_scriptTimeout));
    m_scripts.insert(id, std::move(pending));
    m_page->runJavaScript(script, world, [this, alive = m_alive, id](const QVariant &result) {
        if (!*alive)
            return;
        m_pageSilent = false;
        finishScript(id, true, result);
    });
}

void WebView::finishScript(quint64 id, bool finished, const QVariant &result) {
    auto it = m_scripts.find(id);
    if (it == m_scripts.end())
        return;  // answered already, or timed out
    PendingScript pending = std::move(*it);
    m_scripts.erase(it);
    pending.timer->deleteLater();
    if (pending.done)
        pending.done(finished, result);
}

bool WebView::waitsOnBusyPage(QTimer *timer, std::chrono::steady_clock::time_point &since) {
    const auto now = std::chrono::steady_clock::now();
    if (!m_process->isGrowing(since))
        return false;
    since = now;
    if (!m_busyLogged) {
        m_busyLogged = true;
        qCInfo(lcPlatform) << "The page is late, still building what it was given: it is waited for";
    }
    timer->start(BusyLook);
    return true;
}

void WebView::failEverythingPending() {
    const QList<quint64> ids = m_scripts.keys();
    for (quint64 id : ids)
        finishScript(id, false, QVariant());
    if (m_waiting && m_waiting->done) {
        LoadCallback done = std::move(m_waiting->done);
        m_waiting.reset();
        done(false);
    }
    m_waiting.reset();
    finishLoad(false);
}

// --- Navigation ----------------------------------------------------------------

bool WebView::decideNavigation(const QUrl &url, int type, bool isMainFrame) {
    if (!isMainFrame) {
        // A frame inside the page cannot take the page elsewhere, nor show
        // anything but what the page itself writes into it; nor move to an
        // address longer than the page itself may (the engine keeps a
        // frame's address many times over).
        return url.scheme() == QLatin1String("about") && url.toEncoded().size() <= FrameAddressLimit;
    }
    if (m_expectOwnNavigation && m_site.isPage(url) && type != QWebEnginePage::NavigationTypeLinkClicked) {
        m_expectOwnNavigation = false;
        return true;
    }
    const QUrl target = navigationTarget(url);
    switch (m_policy ? m_policy(target) : Navigation::Stay) {
    case Navigation::Follow:
        // Only within the page: the engine asks about nothing else that
        // ends in it.
        return m_site.isPage(url);
    case Navigation::Stay:
        return false;
    case Navigation::Leave:
        // Scripts setting location or clicking links come as links too; a
        // form, a refresh or a reload never leaves.
        if (type == QWebEnginePage::NavigationTypeLinkClicked)
            leaveIfClicked(url, target);
        else
            qCInfo(lcPlatform) << "A page's navigation stays in the page:" << loggedAddress(target);
        return false;
    }
    return false;
}

QUrl WebView::navigationTarget(const QUrl &url) const {
    return m_site.owns(url) ? m_site.documentUrlFor(url) : url;
}

void WebView::followLinkFromNewWindow(const QUrl &url) {
    // The link was meant to open beside the page; leaving is all it may do,
    // so a link into the page itself goes nowhere.
    const QUrl target = navigationTarget(url);
    if (m_policy && m_policy(target) == Navigation::Leave)
        leaveIfClicked(url, target);
}

void WebView::leaveIfClicked(const QUrl &url, const QUrl &target) {
    // The page has taken the click in by the time it asks to navigate: its
    // note is there to be read. The click's age when the engine asked is
    // taken as its age in the page less the time since the question: a page
    // busy before it answers costs the user's click nothing, and the age is
    // short only by the time the answer took on its way back once the page
    // read its clock, which the question's timeout bounds.
    QElapsedTimer asked;
    asked.start();
    runScript(
        QString::fromUtf16(TakeClick).arg(stringLiteral(url.toString(QUrl::FullyEncoded)),
                                          stringLiteral(m_site.pageUrl().toString(QUrl::FullyEncoded))),
        [this, target, asked](bool finished, const QVariant &answer) {
            const QVariantList clicked = finished ? answer.toList() : QVariantList();
            bool known = false;
            const double age = clicked.size() == 6 ? clicked[1].toDouble(&known) - double(asked.elapsed()) : 0;
            if (!known || !(age < ClickLifetimeMilliseconds)) {
                // Whether the page said no or never answered tells a busy
                // machine from a navigation no click asked for.
                qCInfo(lcPlatform)
                    << (finished ? "A page's navigation that no click of the user's asked for stays in the page:"
                                 : "A page's navigation stays in the page, its click unconfirmed in time:")
                    << loggedAddress(target);
                return;
            }
            // At once only for a link the user saw where the click fell, whose
            // href the page's HTML wrote, leading where the page's own
            // address takes it: a script that moved the page's address
            // (history) moves no written link.
            const bool atOnce = clicked[4].toBool() && clicked[3].toBool() && writesLink(clicked[2].toString()) &&
                                (clicked[5].isNull() || pictureShows(clicked[5].toList()));
            // Out of the engine's answer first: the question waits for the
            // user.
            QMetaObject::invokeMethod(
                this, [this, target, atOnce] { openClicked(target, atOnce); }, Qt::QueuedConnection);
        },
        ClickQuestionTimeout, QWebEngineScript::ApplicationWorld);
}

bool WebView::pictureShows(const QVariantList &picture) const {
    if (picture.size() != 4 && picture.size() != 7)
        return false;
    const QString address = picture[0].toString();
    std::optional<QByteArray> bytes = dataUrlBytes(address);
    if (!bytes) {
        // A file of the document's folder, as the page was served it.
        const std::optional<QByteArray> path = m_site.folderPathOf(QUrl(address));
        const std::optional<QByteArray> file = path ? m_site.folderFile(*path) : std::nullopt;
        QFile picture(file ? QFile::decodeName(*file) : QString());
        if (!file || !picture.open(QIODevice::ReadOnly) || picture.size() > MostPictureBytes)
            return false;
        bytes = picture.readAll();
    }
    std::optional<QColor> behind;
    if (picture.size() == 7)
        behind = QColor(picture[4].toInt(), picture[5].toInt(), picture[6].toInt());
    return pictureShowsAt(*bytes, QPointF(picture[1].toDouble(), picture[2].toDouble()), picture[3].toDouble(), behind);
}

bool WebView::writesLink(const QString &href) const {
    return m_writtenLinks ? m_writtenLinks(href) : htmlHasLink(m_loadedHtml, href);
}

void WebView::openClicked(const QUrl &target, bool atOnce) {
    const QString address = QString::fromUtf8(target.toEncoded());
    if (!atOnce) {
        QPointer<WebView> alive(this);
        // Only a choice made on purpose opens it: Return, as Escape, cancels.
        Alert question{QStringLiteral("Open this address?"), address,
                       {QStringLiteral("Open"), QStringLiteral("Cancel")}};
        question.defaultButton = 1;
        const int choice = Alerts::runModal(question, window());
        if (choice != 0) {
            qCInfo(lcPlatform) << "A clicked address that may not open at once was not opened:"
                               << loggedAddress(target);
            return;
        }
        if (!alive)
            return;
    }
    if (m_linkHandler) {
        m_linkHandler(target);
        return;
    }
    if (Workspace::openExternally(target))
        return;
    const QString refusal = Workspace::refusal(target);
    Alerts::simpleAlert(refusal.isEmpty() ? QStringLiteral("No application could open “%1”.").arg(address)
                                          : QStringLiteral("“%1” was not opened: %2").arg(address, refusal),
                        QStringLiteral("Not Opened"));
}

void WebView::pageDialog(const char *kind, const QString &message) {
    // One line for each page: a page asking without end fills no log.
    if (m_dialogLogged)
        return;
    m_dialogLogged = true;
    qCInfo(lcPlatform).noquote() << "Not shown: a page's" << kind << message.left(200);
}

// --- Focus, menus and zoom --------------------------------------------------------

void WebView::childEvent(QChildEvent *event) {
    QWebEngineView::childEvent(event);
    if (event->added())
        watchForFocus(event->child());
}

void WebView::watchForFocus(QObject *child) {
    if (child && child->isWidgetType())
        child->installEventFilter(this);
}

bool WebView::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusIn && m_focusTarget && watched->parent() == this) {
        QPointer<QWidget> target = m_focusTarget;
        QMetaObject::invokeMethod(
            this,
            [target] {
                if (target && target->isEnabled())
                    target->setFocus(Qt::OtherFocusReason);
            },
            Qt::QueuedConnection);
    }
    return QWebEngineView::eventFilter(watched, event);
}

void WebView::contextMenuEvent(QContextMenuEvent *event) {
    event->accept();
}

void WebView::setPageZoom(double factor) {
    if (!(factor > 0))
        return;
    setZoomFactor(std::clamp(factor, 0.25, 5.0));
}

}  // namespace platform
