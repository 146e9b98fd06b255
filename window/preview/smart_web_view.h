// The HTML preview beside the editor of a document window.
//
// It shows each HTML text the window's engine publishes (observeHtmlString(),
// stored from any thread, handed to the view in its own thread) through
// PreviewController's update cycle: its own head
// content, the body's changed blocks put in by script, the block under the
// caret put at the caret's height. It starts frozen (nothing is loaded until
// thawAndReload()), keeps only the newest of what it is sent while hidden
// and puts that in as a change once it shows again (a page it was loading
// when hidden is loaded once it shows again), fits the page to the
// editor once the window has been resized (the margins follow the editor's
// height, in place; a page not known block by block is loaded afresh; the
// page, laying itself out at each new size, is sent nothing meanwhile),
// says so in words when its page's process was ended (for memory, or for
// not answering: see platform::PageProcess), and
// opens links that leave the document in the user's own applications: only
// links the user clicked, never what the page's scripts ask for; a link the
// document writes, seen where the click fell, at once (unless the document
// takes in other files), any other address after the user's yes (see
// platform::WebView, which also seals the page: it shows the document's
// folder, reads nothing of it and sends nothing out).
//
// For the scroll synchroniser it tells where the page is scrolled and moves
// it, as fractions of the whole page.
#pragma once

#include "platform/runtime/observable.h"
#include "platform/web/web_view.h"
#include "window/preview/preview_controller.h"

#include <QPointer>
#include <QTimer>

class EditorSurface;

class SmartWebView : public platform::WebView, private PreviewPageDriver {
    Q_OBJECT

public:
    // How long the window must stay one size before the page is fitted to it.
    static constexpr int ResizeSettleMilliseconds = 250;

    explicit SmartWebView(QWidget *parent = nullptr);
    ~SmartWebView() override;

    PreviewController &controller() { return m_controller; }
    const PreviewController &controller() const { return m_controller; }

    // The editor the preview follows; keyboard focus given to the preview
    // goes on to it.
    void setLinkedTextView(EditorSurface *editor);
    EditorSurface *linkedTextView() const { return m_controller.editor(); }

    void setBaseURL(const QUrl &url) { m_controller.setBaseURL(url); }
    QUrl baseURL() const { return m_controller.baseURL(); }
    QUrl previewURL() const { return m_controller.previewURL(); }
    QString activeCSSPath() const { return m_controller.activeCSSPath(); }
    void setReloadNextUpdate(bool reload) { m_controller.setReloadNextUpdate(reload); }
    bool reloadNextUpdate() const { return m_controller.reloadNextUpdate(); }
    QRectF webBodyRect() const { return m_controller.webBodyRect(); }
    double contentPercentToTotalPercent(double p) const { return m_controller.contentPercentToTotalPercent(p); }
    double zoomFactor() const { return m_controller.zoomFactor(); }

    // Shows every HTML text the engine publishes (its htmlString), whichever
    // thread stores it: the observable brings it to the main thread.
    QMetaObject::Connection observeHtmlString(const platform::Observable<PreviewHtml> &htmlString);

    // The view or one of its ancestors below the window is hidden.
    bool isHiddenInWindow() const override;

    // --- Scroll position as fractions of the page -------------------------------
    // The page's fraction at the middle of the view; NaN before the page has a
    // height.
    double totalPercentageAtCenter() const;
    void alignTotalPercentage(double p, double h);
    void centerVisibleAtTotalPercentage(double p) { alignTotalPercentage(p, 0.5); }

public slots:
    // Main thread; a newer HTML that comes while a refresh runs replaces an
    // older one waiting for it.
    void updatePreview(const QString &html) { updatePreview(PreviewHtml{html, nullptr}); }
    // The same with where the body's top-level blocks begin, as the engine
    // bridge publishes it.
    void updatePreview(const PreviewHtml &html);
    // Reloads the page (not one that was ended); the user's refresh reloads
    // it whatever became of it.
    void reloadPreview() { m_controller.reloadPreview(); }
    void refreshPreview() { m_controller.refreshPreview(); }
    void applyCSSFromPath(const QString &path) { m_controller.applyCSSFromPath(path); }
    void thawAndReload() { m_controller.thawAndReload(); }
    void thawWebview() { m_controller.thawWebview(); }
    void zoomIn() { m_controller.zoomIn(); }
    void zoomOut() { m_controller.zoomOut(); }
    void scaleBy(float factor) { m_controller.scaleBy(factor); }
    void setZoomFactorTo(float factor) { m_controller.setZoomFactorTo(factor); }
    void updateContentBounds() { m_controller.updateContentBounds(); }

signals:
    // The page was scrolled (by anyone).
    void pageScrolled();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // PreviewPageDriver
    void load(const QString &html, const QUrl &baseUrl, std::function<void(bool ok)> done) override;
    void abandonLoad() override { platform::WebView::abandonLoad(); }
    void run(const QString &script, World world, ScriptDone done) override;
    QPointF scrollPosition() const override;
    void setZoom(double factor) override { setPageZoom(factor); }

    void watchWindow();

    PreviewController m_controller;
    QPointer<QWidget> m_window;  // the window whose resizing refits the page
    QTimer m_windowResizeSettled;
};
