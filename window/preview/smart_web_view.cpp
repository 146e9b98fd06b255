#include "window/preview/smart_web_view.h"

#include "window/preview/editor_surface.h"
#include "window/bridge/engine_editor_link.h"
#include "window/scrollsync/scroll_fraction.h"

#include <QHideEvent>
#include <QResizeEvent>
#include <QShowEvent>
#include <QThread>
#include <QWebEnginePage>

#include <cmath>

namespace {

// The page's scale; the engine reports positions in pixels of the scaled page.
double pageScale(const QWebEnginePage *page) {
    return page->zoomFactor() > 0 ? page->zoomFactor() : 1.0;
}

}  // namespace

SmartWebView::SmartWebView(QWidget *parent) : platform::WebView(parent), m_controller(this) {
    // The preview never keeps keyboard focus: Tab passes it by, and focus
    // given to the page goes on to the editor.
    setFocusPolicy(Qt::NoFocus);
    setNavigationPolicy([this](const QUrl &url) {
        switch (m_controller.handleNavigation(url)) {
        case preview::LinkDecision::Follow:
            return Navigation::Follow;
        case preview::LinkDecision::Stay:
            return Navigation::Stay;
        case preview::LinkDecision::OpenOutside:
            return Navigation::Leave;
        }
        return Navigation::Stay;
    });
    // The page is changed by script after it loaded: the written links are
    // those of the HTML the controller holds, and none opens at once while
    // the document takes in other files.
    setWrittenLinks([this](const QString &href) { return m_controller.opensLinkAtOnce(href); });
    connect(this, &platform::WebView::renderProcessGone, this, [this](platform::PageProcess::End why) {
        switch (why) {
        case platform::PageProcess::End::Crashed:
            m_controller.renderProcessGone();
            break;
        case platform::PageProcess::End::TooMuchMemory:
            m_controller.pageEnded(PreviewController::PageEnd::TooMuchMemory, pageMemoryBound());
            break;
        case platform::PageProcess::End::NotAnswering:
            m_controller.pageEnded(PreviewController::PageEnd::NotAnswering);
            break;
        }
    });
    connect(page(), &QWebEnginePage::scrollPositionChanged, this, &SmartWebView::pageScrolled);
    // A page in parts fills the parts that come into view.
    connect(page(), &QWebEnginePage::scrollPositionChanged, &m_controller, &PreviewController::partsMayShow);

    // A window resize reloads once, when it has settled, so that the margins
    // follow the editor's new height; until then the page, laying itself out
    // at each new size, is sent nothing.
    m_windowResizeSettled.setSingleShot(true);
    m_windowResizeSettled.setInterval(ResizeSettleMilliseconds);
    connect(&m_windowResizeSettled, &QTimer::timeout, &m_controller, &PreviewController::windowResized);
    // The page lays itself out again at a new width, or when a picture or a
    // font arrives; its geometry follows once that has settled, in the same
    // wait as after body changes, so that a change that also changes the
    // page's size reads it once.
    connect(page(), &QWebEnginePage::contentsSizeChanged, &m_controller, &PreviewController::scheduleContentBounds);
}

SmartWebView::~SmartWebView() {
    if (m_window)
        m_window->removeEventFilter(this);
    // The page outlives this part of the view for a moment: it reports to
    // nobody here any more.
    disconnect(page(), nullptr, this, nullptr);
}

void SmartWebView::setLinkedTextView(EditorSurface *editor) {
    m_controller.setEditor(editor);
    setFocusTarget(editor ? editor->editorWidget() : nullptr);
}

bool SmartWebView::isHiddenInWindow() const {
    return isHiddenOrHasHiddenAncestor(this);
}

QMetaObject::Connection SmartWebView::observeHtmlString(const platform::Observable<PreviewHtml> &htmlString) {
    // The observable tells this view in its own thread: the HTML a cycle
    // stores on a background thread comes queued, each with the value as it
    // was stored, in order; the controller parks what comes while it
    // refreshes, the newest replacing the older.
    return htmlString.observe(this, [this](const PreviewHtml &html) { updatePreview(html); });
}

void SmartWebView::updatePreview(const PreviewHtml &html) {
    Q_ASSERT_X(QThread::currentThread() == thread(), "SmartWebView::updatePreview", "called off the view's thread");
    if (!m_window && !isHiddenInWindow())
        watchWindow();
    m_controller.updatePreview(html);
}

void SmartWebView::watchWindow() {
    QWidget *top = window();
    if (!top || top == this)
        return;
    m_window = top;
    top->installEventFilter(this);
}

bool SmartWebView::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_window && event->type() == QEvent::Resize) {
        const auto *resize = static_cast<QResizeEvent *>(event);
        if (resize->oldSize().isValid() && resize->oldSize() != resize->size()) {
            m_controller.windowResizing();
            m_windowResizeSettled.start();
        }
    }
    return platform::WebView::eventFilter(watched, event);
}

void SmartWebView::resizeEvent(QResizeEvent *event) {
    platform::WebView::resizeEvent(event);
    m_controller.scheduleContentBounds();
    m_controller.partsMayShow();
}

void SmartWebView::showEvent(QShowEvent *event) {
    platform::WebView::showEvent(event);
    m_controller.shown();
}

void SmartWebView::hideEvent(QHideEvent *event) {
    platform::WebView::hideEvent(event);
    // Not for a minimized window, which shows the view again as it was.
    if (!event->spontaneous())
        m_controller.hidden();
}

void SmartWebView::load(const QString &html, const QUrl &baseUrl, std::function<void(bool ok)> done) {
    // A document without a file stands in the temporary folder, whose files
    // are no business of its page.
    setShowsDocumentFolder(!m_controller.baseURL().isEmpty());
    loadHtml(html, baseUrl, std::move(done));
}

void SmartWebView::run(const QString &script, World world, ScriptDone done) {
    runScript(script, std::move(done), std::nullopt,
              world == World::Page ? QWebEngineScript::MainWorld : QWebEngineScript::ApplicationWorld);
}

QPointF SmartWebView::scrollPosition() const {
    return page()->scrollPosition() / pageScale(page());
}

// The engine reports the scroll position and the page's size in pixels of the
// zoomed page, the same unit as the view's height.
double SmartWebView::totalPercentageAtCenter() const {
    return scrollsync::totalPercentageAtCenter(page()->scrollPosition().y(), height(),
                                               page()->contentsSize().height());
}

void SmartWebView::alignTotalPercentage(double p, double h) {
    const double top = scrollsync::alignedTop(p, h, height(), page()->contentsSize().height());
    if (std::isnan(top))
        return;
    runScript(QStringLiteral("window.scrollTo(window.scrollX, %1)").arg(std::max(top, 0.0) / pageScale(page())), {},
              std::nullopt, QWebEngineScript::ApplicationWorld);
}
