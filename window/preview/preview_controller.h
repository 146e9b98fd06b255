// The live preview's update cycle, apart from the widget that shows it: what
// to do with each new HTML text, when to replace blocks of the body, the
// whole body or the whole page, and where the page stands afterwards.
//
// The cycle (all on the main thread; pages are prepared on a background
// thread between its steps):
// - A new HTML text is not shown while the preview is hidden: the newest is
//   held and shown once the view shows again (a cycle that began while the
//   view showed can end after it was hidden, and nothing else would bring the
//   page up to date). Nor is a page loaded while hidden, and a load under
//   way when the view is hidden is given up: the page is loaded once the
//   view shows again. A page is seen by no one until then, and its load
//   takes many turns of the event loop and much of the machine, which the
//   tab that came to the front needs for its own page. While a refresh
//   runs, it is parked (a newer one replaces it) and replayed once, 1 ms
//   after the refresh finished. While frozen it is kept but not shown.
// - Otherwise the page's head content is put in (style sheet, margins from
//   the editor's height, MathJax and highlight.js when asked) and the body
//   replaces the page's body: only the top-level blocks that changed when the
//   page on screen is known block by block, else the whole body. The whole
//   page is reloaded instead when "alwaysReloadPreview" is on, when a reload
//   was asked for, when the HTML has no body, after the page broke (its
//   process died, a script did not answer, failed or refused a change), and
//   when a body longer than kBodyScriptLimit would have to go in whole. A
//   loaded page counts as known block by block at once (its map is made
//   before any later change reaches it); only a map that fails makes it
//   unknown. The document getting another file (a first save, Save As
//   elsewhere) reloads it too: the page stands for the document at its
//   address, and shows the files of its folder.
// - Afterwards the block under the caret is put at the caret's height (with
//   "syncPreviewLocationWhileTyping"), or the page goes back to where it was,
//   and the page's geometry is fetched for the scroll synchroniser: at once
//   after a load, and after body changes only once they have settled (no
//   change for GeometrySettleMilliseconds), since reading it lays out the
//   whole page, which at the size of a book costs more than the change.
// - A body longer than preview::kPartedBodyChars goes to the page in parts
//   (page_parts.h): the parts around the caret's anchor filled, the others
//   empty with an estimated height, filled as the user scrolls to them and
//   emptied again when far. A change replaces the parts it touched. The
//   geometry then tells the scroll synchroniser where an empty part's blocks
//   would stand, in proportion to their text.
// Every step that waits for the page is answered exactly once by the driver,
// in time or not, so a page that hangs or dies never stops later updates.
// A refresh that failed (a change, or a fill of parts, not answered in time,
// refused or failed in the page; a load that did not finish) is followed by
// a load of the newest HTML after RetryFailedMilliseconds, unless another
// refresh has come meanwhile: after a burst of typing no change may follow,
// and the page would go on showing an older text, or nothing where parts
// were not filled. Failures in a row double the wait, up to
// RetryLongestMilliseconds, and while such a wait runs changes wait for it
// too: a page that fails every time is not loaded again and again.
// While the window is being resized the page lays itself out again at each
// new size, for seconds at the size of a book, and answers nothing
// meanwhile: changes wait (and so does the filling of parts); once the
// resize is over the page's margins follow the editor's new height in place
// and the changes that waited go in (a page that broke meanwhile is loaded
// afresh), and what it left unanswered meanwhile counts as no failure.
// A page whose process was ended (it took too much memory, or stopped
// answering) is not loaded again by any of this: the preview says so in
// words, keeps the newest HTML, and shows the document again only when the
// user asks (refreshPreview(), View ▸ Refresh Preview).
#pragma once

#include "window/bridge/preview_html.h"
#include "window/preview/page_parts.h"
#include "window/preview/preview_page.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointF>
#include <QTimer>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class EditorSurface;

// The page, as the update cycle drives it. SmartWebView drives a real web
// view; tests drive a fake one.
class PreviewPageDriver {
public:
    enum class World { Page, Application };
    using ScriptDone = std::function<void(bool finished, const QVariant &result)>;

    virtual ~PreviewPageDriver() = default;
    // The view or one of its ancestors below the window is hidden.
    virtual bool isHiddenInWindow() const = 0;
    virtual void load(const QString &html, const QUrl &baseUrl, std::function<void(bool ok)> done) = 0;
    // Gives up the load under way, if any: it is told at once that it did
    // not finish.
    virtual void abandonLoad() = 0;
    virtual void run(const QString &script, World world, ScriptDone done) = 0;
    // The page's scroll position in its own (CSS) pixels.
    virtual QPointF scrollPosition() const = 0;
    virtual void setZoom(double factor) = 0;
};

class PreviewController : public QObject {
    Q_OBJECT

public:
    explicit PreviewController(PreviewPageDriver *page, QObject *parent = nullptr);
    ~PreviewController() override;

    // The editor the preview follows (its height, its caret).
    void setEditor(EditorSurface *editor) { m_editor = editor; }
    EditorSurface *editor() const { return m_editor; }

    // The document's file URL; none for a document without a file. A new
    // one reloads the page.
    void setBaseURL(const QUrl &url);
    QUrl baseURL() const { return m_baseURL; }
    // What the page is loaded at: the base URL, or "orvane.html" in the
    // temporary folder.
    QUrl previewURL() const;

    // --- The update cycle -------------------------------------------------------
    void updatePreview(const QString &html) { updatePreview(PreviewHtml{html, nullptr}); }
    // The same with where the body's top-level blocks begin: a long body
    // goes to the page in parts cut only there.
    void updatePreview(const PreviewHtml &html);
    // The view shows again: the newest HTML held while it was hidden goes in,
    // or the page is loaded when it was not while hidden.
    void shown();
    // The view was hidden: a load under way is given up, and the page loaded
    // once it shows again.
    void hidden();
    // Reloads the whole page with the newest HTML (not while frozen, nor
    // when the page was ended); before any HTML came, the first to come is
    // loaded.
    void reloadPreview();
    // The user asked for the preview again: the whole page is reloaded, also
    // one that was ended.
    void refreshPreview();
    void applyCSSFromPath(const QString &path);
    QString activeCSSPath() const { return m_activeCSSPath; }
    void thawAndReload();
    void thawWebview() { m_frozen = false; }
    // The window is being resized: the page lays itself out again at each
    // new size, and may not answer for a while. Changes wait (the newest
    // HTML is kept) and nothing goes to the page until windowResized(),
    // which at once gives its margins the editor's new height in place,
    // whatever wait a retry was at, and then puts in the changes that
    // waited: the page stays where it was, or goes where they were made. A
    // page that is not known block by block, or broke, is loaded afresh
    // instead; a change the page did not answer meanwhile is not taken for
    // a broken page.
    void windowResizing();
    void windowResized();
    bool isFrozen() const { return m_frozen; }
    void setReloadNextUpdate(bool reload) { m_reloadNextUpdate = reload; }
    bool reloadNextUpdate() const { return m_reloadNextUpdate; }
    bool isUpdating() const { return m_updating; }

    // The last HTML received, and that HTML with the head content put in
    // (for a body in parts, without the body: the parts are cut in the HTML
    // received).
    const QString &baseSourceHTML() const { return m_baseSourceHTML; }
    const QString &currentSourceHTML() const { return m_currentSourceHTML; }
    // Whether the page on screen is known block by block (so that the next
    // change replaces only the blocks that differ).
    bool knowsPageBlocks() const { return m_pageBlocks != nullptr; }

    // The page's process ended: what was waiting has been answered; the page
    // is loaded afresh.
    void renderProcessGone();
    // The page's process was ended for what it did: the preview shows a note
    // that says why, in place of the document, until refreshPreview().
    enum class PageEnd { TooMuchMemory, NotAnswering };
    void pageEnded(PageEnd why, qint64 memoryBound = 0);
    bool isPageEnded() const { return m_pageEnded; }

    // --- A page in parts ------------------------------------------------------
    // The parts the page holds (null when it holds its body whole), and which
    // of them are filled.
    const std::shared_ptr<const preview::BodyParts> &pageParts() const { return m_pageParts; }
    const std::vector<bool> &filledParts() const { return m_partFilled; }
    // The page was scrolled or resized: the parts that come near the view
    // are filled soon after.
    void partsMayShow();
    // Fills every part and has every formula set, for what needs the whole
    // page (printing); `done` is told whether the page holds the whole body,
    // its math set. Until endWholePage() no part is emptied, and math far
    // from the view goes on being set.
    void showWholePage(std::function<void(bool whole)> done);
    void endWholePage();

    // --- Zoom ------------------------------------------------------------------
    void scaleBy(float factor);
    void zoomIn() { scaleBy(1.1f); }
    void zoomOut() { scaleBy(0.9090909f); }
    void setZoomFactorTo(float factor);
    double zoomFactor() const { return m_zoomFactor; }

    // --- Links ------------------------------------------------------------------
    // Decides a navigation the page asked for: a fragment of the document is
    // followed in the page, the document itself stays, anything else leaves
    // the preview. The view hands what leaves to the user's applications
    // only when the user clicked a link to it (at once when the document
    // writes that link and the user saw it, see opensLinkAtOnce(), else
    // after the user's yes), and the allowlist lets it go.
    preview::LinkDecision handleNavigation(const QUrl &url) const;
    // Whether the document writes a link (an a or area element) whose href
    // attribute is `href`: in the HTML the page shows, the newest HTML, or
    // the one waiting to go in, so that a page behind the newest HTML (or
    // ahead of the one it showed) still has its links. Looked up when asked,
    // once per click, rather than at every change.
    bool writesLink(const QString &href) const;
    // Whether a click on such a link may open it without a question: not
    // while the document takes in other files (transclusion on now, or when
    // the newest HTML came), whose text may stand in any address it writes.
    bool opensLinkAtOnce(const QString &href) const;

    // --- Geometry -------------------------------------------------------------------
    // The page's geometry as last fetched; none before the first fetch, or
    // when the page changed since and the new geometry is not in yet.
    const std::optional<preview::PageGeometry> &geometry() const { return m_geometry; }
    QRectF webBodyRect() const { return m_geometry ? m_geometry->body : QRectF(); }
    double contentPercentToTotalPercent(double p) const;
    // Fetches the geometry again (after the page's size or zoom changed).
    void updateContentBounds();
    // Fetches the geometry once the page has been left alone for
    // GeometrySettleMilliseconds (each call starts the wait again).
    void scheduleContentBounds() { m_geometrySettle.start(); }
    // How long body changes must pause before the geometry is read again.
    static constexpr int GeometrySettleMilliseconds = 250;
    // How long after a failed refresh the newest HTML is loaded again, and
    // the longest such wait after failures in a row.
    static constexpr int RetryFailedMilliseconds = 1000;
    static constexpr int RetryLongestMilliseconds = 60000;
    // The wait before the next retry; 0 when none is due.
    int retryDelay() const { return m_retryFailed.isActive() ? m_retryFailed.interval() : 0; }

signals:
    // A page was loaded in full (the scroll map is stale).
    void pageLoaded();
    // New geometry came in (the scroll map is stale).
    void geometryChanged();
    // A refresh finished (a body changed or a page loaded).
    void refreshed();

private:
    struct Prepared;
    struct Input;

    Input snapshot(bool forReplacement);
    // Runs on a background thread.
    static std::shared_ptr<const Prepared> prepare(const Input &input);
    void startReplacement();
    void startReload();
    void applyReplacement(const std::shared_ptr<const Prepared> &prepared, quint64 generation);
    void replaceWholeBody(const std::shared_ptr<const Prepared> &prepared, quint64 generation);
    void replacementDone(const std::shared_ptr<const Prepared> &prepared, quint64 generation, bool finished,
                         bool mapped, bool layingOut);
    void applyReload(const std::shared_ptr<const Prepared> &prepared, quint64 generation);
    void loadDone(const std::shared_ptr<const Prepared> &prepared, quint64 generation, bool ok);
    // What puts the page where it belongs after a refresh; empty when it
    // stays where the refresh left it.
    QString positionScript() const;
    static PreviewPageDriver::World blockWorld(bool pageTypesets);
    void scrollToMatchTextView();
    // The margins of the page on screen set to the editor's height in place
    // (or the page loaded afresh), after a resize.
    void refitToEditor();
    void refitted(quint64 generation, bool finished, bool fitted, bool resizedAgain);
    void finishedUpdating();
    void resumeUpdating();
    // A refresh begins or ends; the idle work is held meanwhile.
    void setUpdating(bool updating);
    // A refresh's answer: a change went in, or a refresh failed and the page
    // is unknown (it is loaded afresh). A load alone does not count as
    // success: a page that loads but fails every change would otherwise be
    // loaded again and again at the shortest wait.
    void refreshSucceeded();
    // `layingOut`: the page did not answer while the window was resized.
    void refreshFailed(bool layingOut = false);
    // Changes wait for the retry that runs after failures in a row.
    bool backingOff() const { return m_pageBroken && m_failedInARow >= 2 && m_retryFailed.isActive(); }
    // A page in parts (preview_controller_parts.cpp).
    // Prepares a body long enough to go in parts; false for any other.
    static bool prepareParts(const Input &input, const QString &head, Prepared &prepared);
    void applyPartsChange(const std::shared_ptr<const Prepared> &prepared, quint64 generation);
    void loadPartedPage(const std::shared_ptr<const Prepared> &prepared, std::vector<bool> filled);
    void fillLoadedParts(const std::shared_ptr<const Prepared> &prepared, quint64 generation);
    void partsChanged(const std::shared_ptr<const Prepared> &prepared, quint64 generation, std::vector<bool> filled,
                      bool finished, bool changed, bool layingOut);
    void fillPartsInView();
    void fillParts(const std::shared_ptr<const preview::BodyParts> &parts, quint64 generation, const QString &view);
    void fillWholeStep();
    void setWholeMath(quint64 generation, qint64 left, QElapsedTimer progress);
    void partsDone(bool changed);
    // Parts to empty so that no more than kMaxFilledParts stay filled: the
    // farthest from [first, last] first.
    std::vector<qsizetype> partsToEmpty(std::vector<bool> &filled, qsizetype first, qsizetype last) const;
    // The geometry with the blocks of each empty part where they would stand.
    void expandEmptyParts(preview::PageGeometry &geometry) const;

    PreviewPageDriver *m_page;
    EditorSurface *m_editor = nullptr;
    QUrl m_baseURL;
    QString m_activeCSSPath;

    bool m_frozen = true;
    bool m_updating = false;
    bool m_needsFinalUpdate = false;
    bool m_reloadNextUpdate = false;
    bool m_hasHtml = false;  // some HTML came to be shown
    bool m_reloadAfterCycle = false;  // a reload asked for while a refresh ran
    bool m_resizing = false;          // the window is being resized
    bool m_refitAfterCycle = false;   // a resize ended while a refresh ran
    bool m_heldDuringResize = false;  // the page is behind the newest HTML since a resize
    quint64 m_resizes = 0;            // resizes begun, to tell what a script's wait saw
    PreviewHtml m_pendingData;
    std::optional<PreviewHtml> m_heldWhileHidden;
    std::optional<quint64> m_loadGeneration;  // the page generation whose load is under way
    bool m_loadWhenShown = false;             // a load was given up, or not started, while hidden
    bool m_newestTakesInFiles = false;  // transclusion was on when the newest HTML came
    QString m_baseSourceHTML;
    std::shared_ptr<const std::vector<qsizetype>> m_baseBlockStarts;  // where its top-level blocks begin
    QString m_currentSourceHTML;
    QPointF m_storedScrollPosition;
    double m_zoomFactor = 1.0;

    // The page on screen: its blocks as mapped (null when not known), whether
    // its head has MathJax or highlight.js (its block scripts then run in its
    // own world), whether it broke, and a number that changes with every
    // load.
    std::shared_ptr<const preview::BodyBlocks> m_pageBlocks;
    bool m_pageTypesets = false;
    bool m_pageBroken = false;
    bool m_pageEnded = false;
    quint64 m_pageGeneration = 0;
    qint64 m_lastCrashReload = -1;

    // The page's parts when it holds its body in parts, which are filled, and
    // the wait before the parts in view are looked for.
    std::shared_ptr<const preview::BodyParts> m_pageParts;
    std::vector<bool> m_partFilled;
    QTimer m_partsInView;
    bool m_partsCheckAfterCycle = false;
    bool m_wholePage = false;
    std::function<void(bool)> m_wholePageDone;

    QTimer m_retryFailed;
    int m_failedInARow = 0;
    QElapsedTimer m_lastFailure;

    quint64 m_geometryRequest = 0;
    QTimer m_geometrySettle;
    std::optional<preview::PageGeometry> m_geometry;
};
